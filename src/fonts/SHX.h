#pragma once
// One SHX file as an object: the three kinds (shape font, big font, Unicode font),
// its shape index, the shape byte-code interpreter and the per-orientation glyph
// cache. Glyphs are vertex lists in shape units with bulge arcs and a pen flag.
//
// SHX files are untrusted: every count, offset and length from the file is checked
// against the bytes that are there, subshape references are bounded in depth and
// refuse cycles, and a glyph whose output is not finite or grows beyond a cap fails
// (the text layer then draws "?").
#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "qdError.h"

class EqdSHXError : public EqdError {
public:
  using EqdError::EqdError;
};

enum TqdSHXKinds : uint8_t { tkNormSHX = 0, tkBigSHX = 1, tkUnicodeSHX = 2, tkUndefined = 3 };

struct TqdSHXVertex {
  double X = 0, Y = 0;
  // Tangent of a quarter of the included angle of the arc from the previous vertex;
  // positive is counter-clockwise, 0 a straight segment.
  double Bulge = 0;
  // False: this vertex starts a new stroke.
  bool PenDown = false;
};
using TqdSHXVertexList = std::vector<TqdSHXVertex>;

// One shape interpreted at scale 1 from the origin, in shape units.
struct TqdSHXPolyData {
  std::unique_ptr<TqdSHXVertexList> Poly;  // none until built
  double Xoff = 0, Yoff = 0;               // the advance
  double Scaleoff = 1;                     // scale in force at the end of the shape
  double FirstDown = 0, LastDown = 0;      // ink left and ink right
  double Top = 0, Bottom = 0;
};

struct TqdSHXRecord {
  uint16_t ShapeNumber = 0;
  uint16_t DefBytes = 0;
  std::string ShapeName;
  uint32_t BytesPos = 0;
  TqdSHXPolyData ShapePoly, ShapePolyVert;
  // Set while the glyph of that orientation is being interpreted, so that a
  // subshape reference back to it fails instead of recursing.
  bool Building[2] = {false, false};
  // Set once the glyph of that orientation failed; it is not tried again.
  bool Failed[2] = {false, false};
};

// The pen state passed through glyph generation.
struct TqdFontProcParams {
  double X = 0, Y = 0;
  bool Vertical = false, Backward = false, Underscore = false, Overscore = false;
  bool HasBigSymbol = false;
  TqdSHXVertexList* Poly = nullptr;
};

class TqdSHXFont {
public:
  // How deep subshape references may nest.
  static constexpr int cMaxSubshapeDepth = 16;
  // The most vertices one glyph may have (subshapes multiply).
  static constexpr size_t cMaxGlyphVertices = 1u << 18;
  // The most vertices the glyph caches of one font may hold together.
  static constexpr size_t cMaxFontVertices = 1u << 22;

  explicit TqdSHXFont(std::string AFontPath);
  ~TqdSHXFont();
  TqdSHXFont(const TqdSHXFont&) = delete;
  TqdSHXFont& operator=(const TqdSHXFont&) = delete;

  // Reads the file's index. False when the file is missing or cannot be read
  // whole; true also for an unknown signature (Loaded() stays false then).
  bool Load();
  // The same from bytes held in memory (the name only names the font).
  bool LoadFromBytes(std::vector<uint8_t> AData);

  bool HasSymbol(uint32_t ASymbol) const;
  bool HasSymbol(uint8_t ALead, uint8_t ATrail) const { return HasSymbol(ALead * 256u + ATrail); }
  // Appends the glyph of Symb with its origin at (InX, InY), scale 1; false (and
  // nothing appended) when the shape does not exist or cannot be built.
  bool GetSymbol(uint32_t Symb, double InX, double InY, const TqdFontProcParams& AFontParams,
                 TqdSHXVertexList& Poly, double& OutX, double& OutY);
  bool GetScaledSymbol(uint32_t Symb, double InX, double InY, double Scale, const TqdFontProcParams& AFontParams,
                       TqdSHXVertexList& Poly, double& OutX, double& OutY);
  // The cached glyph of a shape in one orientation, built on demand; null when the
  // shape does not exist or cannot be built.
  const TqdSHXPolyData* Glyph(uint32_t Symb, bool Vertical);
  // Index of the record of a shape number, -1 when absent.
  int RecordIndex(uint32_t Symb) const;

  int GetCodePage();

  int Above() const { return FAbove; }
  int Below() const { return FBelow; }
  int Modes() const { return FModes; }
  double LineFeed();
  void SetLineFeed(double V) { FLineFeed = V; }
  int CodePage() { return GetCodePage(); }
  bool Loaded() const { return FKind != tkUndefined; }
  const std::string& Name() const { return FName; }
  uint16_t NumChars() const { return FNumChars; }
  const std::vector<TqdSHXRecord>& Shapes() const { return FShapes; }
  TqdSHXKinds Kind() const { return FKind; }
  bool IsShape() const { return FIsShape; }
  bool ExtndBig() const { return FExtndBig; }
  int CharHeight() const { return FCharHeight; }
  int CharWidth() const { return FCharWidth; }
  int Encoding() const { return FEncoding; }
  int Embtype() const { return FEmbtype; }
  const std::vector<std::pair<uint16_t, uint16_t>>& BigFontRanges() const { return FBigFontRanges; }
  // Why the last load failed, or what was cut short; empty after a clean load.
  const std::string& LoadError() const { return FLoadError; }

private:
  struct TPosStack {
    double X[4], Y[4];
    int Count = 0;
  };
  struct TShapeRun;

  bool OpenSource();
  void CloseSource();
  bool ReadAt(uint64_t Pos, size_t Size, uint8_t* Out);
  // Up to Size bytes at Pos, fewer where the data ends.
  std::vector<uint8_t> ReadSome(uint64_t Pos, size_t Size);
  bool LoadIndex();
  bool LoadNormal();
  bool LoadBig();
  bool LoadUnicode();
  void TakeInfo(const std::vector<uint8_t>& B, bool Extended);
  bool LoadShapeBytes(TqdSHXRecord& R, std::vector<uint8_t>& Bytes);
  TqdSHXPolyData* BuildGlyph(int Index, bool Vertical, int Depth);
  bool Interpret(int Index, const std::vector<uint8_t>& Bytes, bool Vertical, TqdSHXVertexList& Out, double& X,
                 double& Y, double& S, bool& Pen, TPosStack* Stack, int Depth);
  void SortRecords();

  std::string FName;
  TqdSHXKinds FKind = tkUndefined;
  uint16_t FNumChars = 0;
  std::vector<TqdSHXRecord> FShapes;
  int FAbove = 0, FBelow = 0, FModes = 0;
  int FEncoding = 0, FEmbtype = 0;
  bool FIsShape = false;
  double FLineFeed = 0;
  int FCodePage = -1;
  // Normal fonts: record index of shape n (1..255) at n-1, -1 for none. Ints, so
  // that fonts with more than 255 records still map every shape.
  int FixedTable[255];
  std::vector<std::pair<uint16_t, uint16_t>> FBigFontRanges;
  bool FExtndBig = false;
  int FCharHeight = 0, FCharWidth = 0;

  // Bytes held in memory: given (LoadFromBytes) or the file's, shared by every font
  // of the process that reads the same unchanged file. Otherwise the file is read.
  bool FInMemory = false;
  std::FILE* FFile = nullptr;
  std::shared_ptr<const std::vector<uint8_t>> FData;
  uint64_t FSize = 0;
  std::string FLoadError;
  // Set when a subshape went deeper than the cap during the current build.
  bool FDepthHit = false;
  size_t FCachedVertices = 0;
};

// Process-wide existence caches, asked of the system once per path.
bool SHXFileExists(const std::string& APath);
bool SHXDirectoryExists(const std::string& APath);
void SHXMarkFileMissing(const std::string& APath);
// Forgets every cached answer (tests and hosts that install fonts while running).
void SHXClearExistenceCaches();

// The big-font code page table: low 16 bits a code page, bit 16 an internal big font.
int SHXBigFontCodePageValue(std::string_view AFileName);  // 0 when absent
bool SHXAddBigFontCodePage(std::string_view AFilePath, int AValue);

std::string SHXUpperCase(std::string_view S);
