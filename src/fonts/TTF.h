#pragma once
// TrueType text as geometry: a face and a string become point contours. Each
// glyph is outlined once per face and style at a fixed cell height and kept in a
// process-wide container; one outline serves every text height by scaling.
// Faces are found through the system's font registry (Windows names map to
// metric-compatible faces) and outlined by the font engine.
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "TTFNames.h"
#include "qdConsts.h"
#include "qdError.h"
#include "qdLists.h"

class ETTFError : public EqdError {
public:
  using EqdError::EqdError;
};

// Glyphs are outlined at this cell height (ascent plus descent of the face).
inline constexpr double cnstTTFCellHeight = 5472;
// Tolerance of the finest coarse outline level, cell units.
inline constexpr double cnstTTFCoarseTolerance = 0.7;
// Curve quality of the shared curve generator for outlines.
inline constexpr unsigned cnstTTFQualityApproximation = 4;
// The face that stands in when a face cannot be found.
inline constexpr std::string_view cnstTTFFallbackFamily = "DejaVu Sans";

struct TqdTTFPoint {
  float X = 0, Y = 0;
  friend bool operator==(const TqdTTFPoint&, const TqdTTFPoint&) = default;
};

struct TqdTTFRect {
  float Left = 0, Top = 0, Right = 0, Bottom = 0;
  TqdTTFPoint TopLeft() const { return {Left, Top}; }
  TqdTTFPoint BottomRight() const { return {Right, Bottom}; }
  friend bool operator==(const TqdTTFRect&, const TqdTTFRect&) = default;
};
// The start of a union: the first point replaces it.
inline constexpr TqdTTFRect cnstTTFEmptyRect{1e20f, -1e20f, -1e20f, 1e20f};

using TqdTTFContour = std::vector<TqdTTFPoint>;

// One character of one face, in cell units. Never changed once built.
struct TqdGlyph {
  char32_t FCode = 0;
  // Left 0, Right the advance; Top and Bottom the outline's highest and lowest Y
  // (0 without outline).
  TqdTTFRect FBox;
  // Closed contours: the first point repeated at the end.
  std::vector<TqdTTFContour> FPolyPolyline;
  // The outline's own X extent (0 to 0 without outline).
  float FRealLeft = 0, FRealRight = 0;
  // Coarser forms of the outline for small texts, made on first use (under the
  // face's lock): level k keeps the outline within cnstTTFCoarseTolerance * 4^k
  // cell units.
  static constexpr int cnstCoarseLevels = 7;
  std::vector<TqdTTFContour> FCoarse[cnstCoarseLevels];
  bool FCoarseMade[cnstCoarseLevels] = {};
  bool HasOutline() const { return !FPolyPolyline.empty(); }
  float Advance() const { return FBox.Right - FBox.Left; }
};

// How an asked face or file name was satisfied.
enum TqdTTFResolutionKind {
  trkFile,       // the face or file asked for is installed
  trkSubstitute, // another face stands in (a metric-compatible one, or the fallback)
  trkNone,       // no face at all could be found
};
const char* TTFResolutionKindName(TqdTTFResolutionKind AKind); // "file", "substitute", "none"

struct TqdTTFResolution {
  std::string AskedName;
  unsigned AskedStyles = 0;
  TqdTTFResolutionKind Kind = trkNone;
  std::string FaceName;   // full name of the face used
  std::string FamilyName; // its family
  std::string FileName;   // path of its file
  int FaceIndex = 0;      // face within the file
  // The face has not the asked weight or slant: outlines are emboldened or slanted.
  bool SynthesizeBold = false, SynthesizeItalic = false;
  // "Arial -> Liberation Sans", for load warnings.
  std::string Describe() const;
};

// Finds the face for a face name ("Arial", "Arial Bold", "Liberation Sans") or a
// font file name ("arial.ttf", "C:\Fonts\ARIAL.TTF", "LiberationSans-Regular.ttf").
// Style suffixes of the name add to AStyles. Results are remembered per name.
TqdTTFResolution ResolveTTFFace(const std::string& AName, unsigned AStyles = 0);
// Every resolution asked so far, in the order first asked (for reports of a load).
std::vector<TqdTTFResolution> TTFResolutionsAsked();
// The faces that stood in for characters a drawing's faces lack, in the order
// first used (process-wide).
std::vector<TqdTTFResolution> TTFFallbackFacesUsed();
// Forgets the remembered resolutions and the font table (after fonts were installed).
void ResetTTFRegistry();

// The table of installed faces and their files.
class TqdTableFonts {
public:
  struct TEntry {
    std::string Name;   // full face name
    std::string File;   // file name without folder
    std::string Path;   // full path
    std::string Family; // family name
    int Index = 0;      // face index within the file
    int Type = fttUnknown;
    unsigned Styles = 0; // bold/italic of the face
  };

  static TqdTableFonts& Instance();

  // The file (without folder) of a face name; empty when unknown.
  std::string GetFileName(const std::string& AFontName);
  // The face name of a file name (with or without folder); empty when unknown.
  std::string GetFontName(const std::string& AFileName);
  // The font type of a face's file; fttUnknown when unknown.
  int GetFontType(const std::string& AFontName);
  // Whether a face's file holds outlines this unit reads.
  bool IsTrueTypeFont(const std::string& AFontName) { return IsOutlineFontType(GetFontType(AFontName)); }

  bool FindByName(const std::string& AFontName, TEntry& AEntry);
  bool FindByFile(const std::string& AFileName, TEntry& AEntry);
  bool FindByPath(const std::string& APath, int AIndex, TEntry& AEntry);
  int Count();
  std::vector<TEntry> Entries();
  void Reset();

private:
  TqdTableFonts() = default;
  void Build(); // under the registry's lock
  // Binary search of a sort index by one field, without regard to case.
  bool Find(const std::vector<int>& AIndex, std::string TEntry::*AField, const std::string& AKey,
            TEntry& AEntry);
  bool FAddedFonts = false;
  std::vector<TEntry> FEntries;
  std::vector<int> FSortNames, FSortFiles;
};

// Integer point for device output.
struct TqdTTFIntPoint {
  int X = 0, Y = 0;
};

// Receives integer outlines for a device; the canvas implements it.
class TqdGDIAdapter {
public:
  virtual ~TqdGDIAdapter() = default;
  virtual void Polyline(const TqdTTFIntPoint* APoints, int ACount) = 0;
  virtual void PolyPolyline(const TqdTTFIntPoint* APoints, const int* ACounts, int ACount) = 0;
  virtual void PolyPolygon(const TqdTTFIntPoint* APoints, const int* ACounts, int ACount) = 0;
  virtual void SetPolyFillMode(int AMode) = 0; // 1 alternate, 2 winding
};

// What a box query gives besides the box.
struct TqdTTFBoxParams {
  double Above = 0, Below = 0; // the face's ascent and descent through the matrix
};

// The glyph set of one face and style.
class TqdTextGlyph {
public:
  TqdTextGlyph();
  ~TqdTextGlyph();
  TqdTextGlyph(const TqdTextGlyph&) = delete;
  TqdTextGlyph& operator=(const TqdTextGlyph&) = delete;

  // Finds and opens the face; the glyphs already made are dropped.
  void SetFontParams(const std::string& AFontName, unsigned AFontStyle);
  const std::string& FontName() const { return FFontName; }
  unsigned FontStyle() const { return FFontStyle; }
  const TqdTTFResolution& Resolution() const { return FResolution; }
  bool HasFace() const { return FFace != nullptr; }

  // Makes the glyphs of "Q", "y" and every character of the text (ATextW when
  // not empty, else AText) and the scale factor when not yet made.
  void LoadedW(const std::u16string& AText, const std::u16string& ATextW);
  void InitKoef();

  // The glyph of a code, made on first use; nullptr only without a face.
  const TqdGlyph* Glyph(char32_t ACode);
  bool HasGlyph(char32_t ACode); // made already
  // Whether the face draws the code itself (not its default glyph).
  bool HasOwnGlyph(char32_t ACode);
  // Whether the code draws as its own glyph, from the face or a fallback face.
  bool CanDraw(char32_t ACode);

  // Box of the text in cell units through AMatrix: (0, top) to (advance, bottom).
  // False, and the empty box, for an empty text.
  bool GetBoxW(const std::u16string& AText, const std::u16string& ATextW, TFRect& ABox,
               const TFMatrix& AMatrix = cnstIdentityMat, TqdTTFBoxParams* AParams = nullptr);
  // Each contour becomes a polyline in AList; with AEpsilon, a point closer than
  // it in every coordinate to the last point kept is skipped. Underline and
  // strike-out lines follow from AFontStyles. Returns the contours added.
  // ATolerance (cell units, 0 for the full outline) lets small texts take a
  // coarser outline that stays within it.
  int GetPolyPolylineW(const std::u16string& AText, const std::u16string& ATextW,
                       const TFPoint* AEpsilon, std::vector<TFPointList>& AList,
                       const TFMatrix& AMatrix, unsigned AFontStyles, double ATolerance = 0);
  // Integer outlines to a device, one call per glyph.
  void DrawTextExtW(TqdGDIAdapter& ADC, unsigned AFontStyles, const TFMatrix& AMatrix,
                    const std::u16string& ATextW, const std::u16string& AText = {});

  // A text of height h is drawn with the scale h * FKoef / cnstTTFCellHeight.
  double HeightScale(double AHeight) const { return AHeight * FKoef / cnstTTFCellHeight; }
  // The face's average character width, cell units (0 without a face).
  double AverageCharWidth() const { return FAverageWidth; }

  double FKoef = 0;
  bool FFillText = true;
  float FAbove = 0, FBelow = 0; // ascent and descent, cell units
  // Glyphs outlined by the font engine so far: each code once.
  int OutlinedCount() const { return FOutlined.load(); }
  int GlyphCount();
  // Codes of 256 and above in the order first made.
  std::vector<char32_t> UniCodes();

private:
  struct TFace;
  const TqdGlyph* GlyphLocked(char32_t ACode);
  // The glyph's contours within ATolerance cell units (the full outline for 0).
  const std::vector<TqdTTFContour>& ContoursLocked(const TqdGlyph* AGlyph, double ATolerance);
  std::unique_ptr<TqdGlyph> MakeGlyph(char32_t ACode);
  unsigned CharIndex(char32_t ACode);
  double ReferenceHeight(char32_t ACode);
  void CloseFace();

  std::recursive_mutex FLock; // the glyph lists and the face
  std::string FFontName;
  unsigned FFontStyle = 0;
  TqdTTFResolution FResolution;
  TFace* FFace = nullptr;
  std::unique_ptr<TqdGlyph> FGlyphs[256];
  std::vector<std::unique_ptr<TqdGlyph>> FGlyphsHigh; // slot 256 + i
  std::vector<char32_t> FGlyphsUniCode;               // code of slot 256 + i
  std::unordered_map<char32_t, int> FUniIndex;
  std::atomic<int> FOutlined{0};
  double FAverageWidth = 0;
};

// The process-wide glyph sets, one per face and style (bold, italic).
class TqdContainerOfTextGlyphs {
public:
  static TqdContainerOfTextGlyphs& Instance();

  int IndexOf(const std::string& AFontName, unsigned AStyles);
  // Creates, registers and preloads the set for a face and style, or gives the
  // one registered already.
  TqdTextGlyph* AddTextGlyphsByFont(const std::string& AFontName, unsigned AFontStyle,
                                    int ACharSet = 1);
  TqdTextGlyph* GetTextGlyph(int AIndex); // nullptr past the end
  int GetCount();
  void Clear();
  void Lock() { FLock.lock(); }
  void Unlock() { FLock.unlock(); }
  int Reference();
  int Release(); // the last release clears the container

private:
  TqdContainerOfTextGlyphs() = default;
  static std::string Key(const std::string& AFontName, unsigned AStyles);
  std::recursive_mutex FLock;
  std::vector<std::pair<std::string, std::unique_ptr<TqdTextGlyph>>> FContainer; // sorted by key
  int FRefs = 0;
};

// Style bits a font object adds to those of the text.
enum TqdTTFFontStyleExt : unsigned {
  fstCondensed = 16,
  fstUpward = 32,
  fstDownward = 64,
};

// The logical font a font object describes for a device.
struct TqdLogFont {
  int Height = 0, Width = 0;
  int Escapement = 0, Orientation = 0; // tenths of a degree
  int Weight = 400;
  bool Italic = false, Underline = false, StrikeOut = false;
  int CharSet = 1;
  std::u16string FaceName;
};

// A font object: face name, height, character set and the style bits, with
// condensed, upward and downward beside bold, italic, underline and strike-out.
class TmvFont {
public:
  static constexpr std::size_t cnstMaxFaceName = 30;
  virtual ~TmvFont() = default;
  virtual std::u16string Name() const { return FName; }
  virtual void SetName(const std::u16string& AName) { FName = AName; }
  unsigned Style() const { return FStyle; }
  // Upward and downward exclude each other: given both, the one not set before
  // stays; when neither was set before, both are dropped.
  void SetStyle(unsigned AStyle);
  int Height() const { return FHeight; }
  void SetHeight(int AHeight) { FHeight = AHeight; }
  int CharSet() const { return FCharSet; }
  void SetCharSet(int ACharSet) { FCharSet = ACharSet; }
  // The average character width of the face at this height (the condensed width).
  int AverageCharWidth() const;
  virtual TqdLogFont LogicalFont() const;

protected:
  std::u16string FName;
  unsigned FStyle = 0;
  int FHeight = 0;
  int FCharSet = 1;
};

// A font object that carries width, weight, escapement and orientation packed
// into the last four characters of its face-name string.
class TmvExtFont : public TmvFont {
public:
  static constexpr std::size_t cnstNameChars = 115, cnstPackedLength = 120;
  TmvExtFont() { SetName(u""); }
  std::u16string Name() const override;
  void SetName(const std::u16string& AName) override;
  const std::u16string& Packed() const { return FName; }
  int Width() const { return Slot(0); }
  void SetWidth(int AValue) { SetSlot(0, AValue); }
  int Weight() const { return Slot(1); }
  void SetWeight(int AValue) { SetSlot(1, AValue); }
  int Escapement() const { return Slot(2); }
  // Also moves the orientation when the two were equal.
  void SetEscapement(int AValue);
  int Orientation() const;
  void SetOrientation(int AValue);
  TqdLogFont LogicalFont() const override;

private:
  int Slot(int I) const;
  void SetSlot(int I, int AValue);
};

// cnstTTFCellHeight over the reference letter's height, falling back to the
// ascent and then the em size when the letter measures nothing.
double TTFScaleFactor(double ARefHeight, double AAscent, double AEmSize);

class TqdGeneratorShapeEdge;
// The points of a cubic curve from P0 to P3 into the generator's output, both
// ends included, in steps fine enough for the outline tolerance.
void TTFCubicPoints(TqdGeneratorShapeEdge& AGenerator, const TFPoint& P0, const TFPoint& P1,
                    const TFPoint& P2, const TFPoint& P3);

// Each UTF-16 unit is a code; surrogate pairs become one code.
std::u32string TTFTextCodes(const std::u16string& AText, const std::u16string& ATextW);
std::u16string TTFUtf8ToUtf16(std::string_view AText);
