#pragma once
// The per-drawing list of SHX fonts and text styles, the SHX search path, and the
// layout and measurement of strings in SHX fonts.
//
// File names compare upper-cased; on this case-sensitive file system a name is
// found in a folder whatever the case of the file on disk. A font that is not
// found never makes text vanish: it is served by the nearest of the fonts we ship
// (see fonts/NOTICE), and the substitution is recorded for the host to report.
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "SHX.h"

enum TqdSymbolType : uint8_t { stUndefined = 0, stNormal = 1, stBigFont = 2 };
enum TqdTextGeneration : uint8_t { ttNormal = 0, ttBackward = 1, ttUpSideDown = 2 };

// The text box exchanged between text entities and fonts, in font units.
struct TqdFontParams {
  double Above = 0, Below = 0, Width = 0, Height = 0, Left = 0, Bottom = 0, Right = 0, Top = 0, After = 0, DY = 0,
         DX = 0;
};

// How a requested font name was served.
enum TqdFontResolution : uint8_t {
  frFile = 0,        // the font itself
  frSubstitute = 1,  // another SHX font stands in
  frNone = 2,        // nothing: even the fallbacks are missing
};

struct TqdFontRequest {
  std::string Name;  // as asked for
  bool Big = false;
  TqdFontResolution Kind = frNone;
  std::string Path;  // the file used, empty for frNone
};

struct TqdTextStyle {
  std::string FontPath, BigFontPath;
  std::string Name;  // upper case
  TqdTextGeneration TextGeneration = ttNormal;
  double ObliqueAngle = 0, Width = 1;
  bool Vertical = false, UpSideDown = false, Backwards = false;
  int FontIndex = -1, BigFontIndex = -1;
  bool FontExists = false;
};

// Style bits of the drawing entry points.
constexpr int cSHXUnderscore = 4;
constexpr int cSHXOverscore = 8;

class TqdSHXFontList;
class TqdTextGlyph;

class TqdTextIterator {
public:
  // AMap holds one byte per wide character: 2 marks a big-font symbol.
  TqdTextIterator(std::string_view AString, std::u16string_view AWideString, std::string_view AMap,
                  TqdSHXFont* AFont, TqdSHXFont* ABigFont);

  // Appends the glyphs from pen (0, 0); returns the final pen and whether a
  // big-font glyph was used.
  void Iterate(bool AVertical, bool ABackward, int AStyle, TqdSHXVertexList& Poly, double& X, double& Y, bool& ABig);
  bool Iterate(TqdFontProcParams& P);
  // False, with every output 0, when there is nothing to measure.
  bool IterateBox(bool Vertical, int FStyle, double& Above, double& Below, double& Width, double& Height,
                  double& RealLeft, double& RealBottom, double& RealRight, double& RealTop, double& After);
  bool IterateBox(const TqdFontProcParams& P, double& Above, double& Below, double& Width, double& Height,
                  double& RealLeft, double& RealBottom, double& RealRight, double& RealTop, double& After);
  bool HasBigFontSymbols() {
    BuildTyped();
    return FHasBigFontSymbols;
  }
  double Scale() const { return FScale; }
  // Where a character the fonts lack is looked for before "?" stands in.
  void SetFallbacks(TqdSHXFontList* AList) { FFallbacks = AList; }
  // Above and Below of the text: the big font's (each 0 replaced by the main
  // font's) when a big-font glyph was used, else the main font's.
  void MixedHeight(bool BigUsed, double& Above, double& Below) const;

private:
  enum TDrawResult { drFailed, drNormal, drSubstituted };
  void BuildTyped();
  TDrawResult DrawChar(TqdSHXFont* F, uint32_t C, bool Substitute, bool Scaled, TqdFontProcParams& P);
  // The size factor of a glyph of F beside the main font's glyphs.
  double FactorOf(const TqdSHXFont* F) const;

  std::string FText;
  std::u16string FWideText;
  std::vector<TqdSymbolType> FMapWideText;
  // (0 main / 1 big / 2 fallback SHX font / 3 outline glyph, code)
  std::vector<std::pair<int, uint32_t>> FWideTextTyped;
  std::vector<TqdSHXFont*> FWideTextTypedFonts;
  std::vector<const TqdSHXPolyData*> FWideTextTypedOutlines;  // kind 3
  bool FTyped = false;
  TqdSHXFont* FFont = nullptr;
  TqdSHXFont* FBigFont = nullptr;
  bool FHasBigFontSymbols = false;
  double FScale = 0;
  TqdSHXFontList* FFallbacks = nullptr;
};

class TqdSHXFontList {
public:
  // ASearchPath: folders separated by ";" or ":", searched in order.
  explicit TqdSHXFontList(std::string_view ASearchPath = {}, std::string_view ADefault = "simplex.shx",
                          std::string_view ADefaultBigFont = {});
  ~TqdSHXFontList();

  TqdTextStyle* AddStyle(std::string_view AName, std::string_view AFontName, std::string_view ABigFontName,
                         bool AVertical, bool AUpSideDown, bool ABackwards, double AObliqueAngle, double AWidth);
  int IndexFontOfName(std::string_view AName) const;
  // The loaded font of a style (its big font with ABig), or of a font name.
  TqdSHXFont* Font(const TqdTextStyle* AStyle, std::string_view AName, bool ABig);
  bool IsUnicodeFont(const TqdTextStyle* AStyle, std::string_view AName, bool ABig);
  // Shape of a shape-file font by number or name; fills in the other and the font.
  bool FindShape(int& ANumber, std::string& AName, std::string& AFontPath) const;
  // The same search, giving the shape file itself (null when no shape file has it).
  TqdSHXFont* FindShapeFont(int& ANumber, std::string& AName) const;
  const TqdTextStyle* StyleByName(std::string_view AName) const;

  // Drawing: vertices appended to Poly; Above, Below, Left, Bottom, Top, Right of AParams.
  bool DrawText(const TqdTextStyle* AStyle, std::string_view AText, std::u16string_view AWide,
                std::string_view AMap, int AStyleBits, TqdSHXVertexList& Poly, TqdFontParams& AParams);
  bool DrawText(std::string_view AStyleName, std::string_view AText, std::u16string_view AWide,
                std::string_view AMap, int AStyleBits, TqdSHXVertexList& Poly, TqdFontParams& AParams);
  bool DrawTextInFont(std::string_view AFontName, std::string_view AText, std::u16string_view AWide,
                      std::string_view AMap, int AStyleBits, bool ABackward, bool AVertical, TqdSHXVertexList& Poly,
                      TqdFontParams& AParams);
  // Measuring: Above, Below, Width, Height, Left, Bottom, Right, Top, After of AParams.
  bool MeasureText(const TqdTextStyle* AStyle, std::string_view AText, std::u16string_view AWide,
                   std::string_view AMap, int AStyleBits, TqdFontParams& AParams);
  bool MeasureText(std::string_view AStyleName, std::string_view AText, std::u16string_view AWide,
                   std::string_view AMap, int AStyleBits, TqdFontParams& AParams);
  bool MeasureTextInFont(std::string_view AFontName, std::string_view AText, std::u16string_view AWide,
                         std::string_view AMap, int AStyleBits, bool AVertical, TqdFontParams& AParams);

  // Puts a folder first (the drawing's own folder); false when it does not exist.
  bool InsertSearchDir(std::string_view ADir);
  // The first of the fonts we ship that has a character, loaded on first need; null
  // when none has it. Not recorded as a request: the drawing did not ask for it.
  TqdSHXFont* FallbackFor(uint32_t ACode);
  // A character no SHX font has, as strokes along the outline of its TrueType
  // glyph (from the face fontconfig offers for it), capitals 1 unit high; null when
  // no installed face has it either.
  const TqdSHXPolyData* OutlineGlyph(uint32_t ACode);

  // Where a font name is served from, and how; records the request.
  TqdFontRequest Resolve(std::string_view AName, bool ABig = false);

  const std::string& DefaultFontPath() const { return FDefaultFontPath; }
  void SetDefaultFontPath(std::string V) {
    FDefaultFontPath = std::move(V);
    ClearStrokes();
  }
  const std::string& DefaultBigFontPath() const { return FDefaultBigFontPath; }
  int FontCount() const { return int(FFonts.size()); }
  TqdSHXFont* FontAt(int I) const { return I >= 0 && I < FontCount() ? FFonts[I].get() : nullptr; }
  const std::string& FontKey(int I) const { return FFontKeys[I]; }
  int StyleCount() const { return int(FStyles.size()); }
  const TqdTextStyle* StyleAt(int I) const { return FStyles[I].second.get(); }
  const std::vector<std::string>& SearchPath() const { return FSearchPath; }
  void AddSearchPath(const std::string& ADir);
  const std::vector<std::string>& MissedFonts() const { return FMissedFonts; }
  // Every font name asked for, once each (upper-cased name), in order of asking.
  const std::vector<TqdFontRequest>& Requests() const { return FRequests; }

  // Strokes of strings drawn before (font units, X and Y pairs, one count per stroke),
  // by a key the caller makes from the font, the string and the detail: a redraw need
  // not run the shape interpreter again. Dropped whenever fonts may change.
  struct TStrokes {
    std::vector<double> XY;
    std::vector<int> Counts;
  };
  const TStrokes* CachedStrokes(const std::string& AKey) const {
    auto It = FStrokes.find(AKey);
    return It == FStrokes.end() ? nullptr : &It->second;
  }
  const TStrokes& StoreStrokes(std::string AKey, TStrokes AStrokes);
  void ClearStrokes() {
    FStrokes.clear();
    FStrokeValues = 0;
  }

private:
  std::string FindInDir(const std::string& ADir, std::string_view AUpperName);
  std::string FindInSearchPath(std::string_view AName);
  std::string Substitute(std::string_view AUpperName);
  int AddFont(const std::string& AKey, const std::string& APath, bool ALoad);
  void Record(const TqdFontRequest& R);
  TqdSHXFont* StyleFont(const TqdTextStyle* S, bool Big);

  std::vector<std::unique_ptr<TqdSHXFont>> FFonts;
  std::vector<std::string> FFontKeys;
  std::unordered_map<std::string, int> FFontIndex;
  std::vector<std::pair<std::string, std::unique_ptr<TqdTextStyle>>> FStyles;
  std::vector<std::string> FSearchPath;
  std::vector<std::pair<std::string, TqdSHXFont*>> FShapeFonts;
  std::vector<std::string> FMissedFonts;
  std::vector<TqdFontRequest> FRequests;
  std::string FDefaultFontGiven, FDefaultFontName, FDefaultFontPath, FDefaultBigFontName, FDefaultBigFontPath;
  // Folder listings: upper-cased file name to the name on disk.
  std::map<std::string, std::map<std::string, std::string>> FListings;
  std::vector<std::unique_ptr<TqdSHXFont>> FFallbackFonts;
  bool FFallbacksLoaded = false;
  std::unique_ptr<TqdTextGlyph> FOutlineFace;
  std::unordered_map<uint32_t, std::unique_ptr<TqdSHXPolyData>> FOutlineGlyphs;
  std::unordered_map<std::string, TStrokes> FStrokes;
  std::size_t FStrokeValues = 0;
};

// The folders searched for SHX fonts, joined with ";": the folders of
// DRAFTWELL_SHX_PATH (":" or ";" separated) that hold SHX files, our bundled fonts
// folder, then $XDG_DATA_HOME/Vantrex/Resources/SHX. Built once per process.
const std::string& SHXLibrarySearchPath();
// Our bundled fonts folder (empty when it cannot be found).
std::string SHXBundledFontsDir();
// Rebuilds the library search path (tests that change the environment).
void SHXResetLibrarySearchPath();

// The wide form and per-character map of UTF-8 text for the drawing entry points.
std::u16string SHXWideFromUTF8(std::string_view AText);
