#pragma once
// Text entities: single-line text (and through it attributes and shapes) and
// multiline text. Loading resolves the fonts (SHX through the drawing's font list,
// TrueType through the glyph container) and computes runs: a string in one font with
// the matrix from font units to the coordinates the entity lives in. Glyph points are
// made from the runs when drawn, so that a drawing of many texts keeps only matrices.
#include <memory>
#include <string>
#include <vector>

#include "DXFBase.h"
#include "TableItems.h"
#include "qdFunction.h"

struct TqdTextStyle;
class TqdSHXFontList;
class TqdTextGlyph;
class TqdSHXFont;

// One run of glyphs in one font, or one straight line (underline, fraction bar).
struct TqdTextRun {
  std::u16string Text;
  TqdSHXFontList* FontList = nullptr;
  const TqdTextStyle* SHXStyle = nullptr;  // SHX through a style
  std::string SHXFont;                     // SHX by font name (MText \F)
  TqdTextGlyph* TTF = nullptr;             // TrueType
  TqdSHXFont* ShapeFont = nullptr;         // one shape of a shape file (Text: its number)
  TFMatrix Matrix;                         // font units to entity coordinates
  bool IsLine = false;                     // A..B in font units
  TFPoint A, B;
  int ColorIndex = -1;  // -1: the entity's colour
  bool TrueColor = false;
  std::uint32_t RGB = 0;
  bool HasFont() const { return TTF || ShapeFont || SHXStyle || !SHXFont.empty(); }
};

// Glyph outlines in entity coordinates: polylines, or closed contours to fill.
struct TqdTextPath {
  std::vector<TFPoint> Points;
  std::vector<int> Counts;
  bool Filled = false;
  int ColorIndex = -1;
  bool TrueColor = false;
  std::uint32_t RGB = 0;
};

// The measure of a run in font units.
struct TqdRunMetrics {
  double Advance = 0;   // pen advance
  double Units = 0;     // font units per text height
  double Descent = 0;   // below the baseline, positive
  double Ascent = 0;    // the font's line height above the baseline (SHX: Units)
  double InkTop = 0, InkBottom = 0;
};

// Font lookup and measurement shared by the text entities.
bool qdMeasureRun(const TqdTextRun& R, TqdRunMetrics& M);
// Appends the run's outlines through AMatrix (applied after the run's matrix).
// ATolerance (units of the output, 0 for full detail): how far outlines may stray
// from the glyphs, so that small texts are drawn with few points.
void qdRunPaths(const TqdTextRun& R, const TFMatrix& AMatrix, std::vector<TqdTextPath>& Out,
                double ATolerance = 0);
// The same into Out[AUsed...], reusing the storage of paths already there (Out is
// not shrunk); AUsed grows by the paths made. For drawing many texts in a row.
void qdRunPaths(const TqdTextRun& R, const TFMatrix& AMatrix, std::vector<TqdTextPath>& Out,
                std::size_t& AUsed, double ATolerance);
// TEXT string codes: %%d, %%p, %%c, %%%, %%nnn, \U+XXXX, \M+NXXXX, a doubled
// backslash; %%u and %%o toggle under- and overline (reported, not kept).
std::u16string qdDecodeTextCodes(std::string_view AText, bool* AUnder = nullptr, bool* AOver = nullptr);
// An oblique angle reduced to (-180, 180] and clamped to the drawable -85..85.
double qdClampOblique(double ADegrees);

class TqdDXFText : public TqdDXFCustomVertex {
  QD_ENTITY_CLASS(TqdDXFText)
public:
  TqdCADEntities EntType() const override { return ceText; }
  const std::string& Text() const { return FText; }
  virtual void SetText(std::string_view V) { FText.assign(V); }
  double Height() const { return FHeight; }
  void SetHeight(double V) {
    if (std::isfinite(V)) FHeight = V;
  }
  double Rotation() const { return FRotation; }
  // Degrees; values a float cannot hold are ignored.
  void SetRotation(double V);
  // The width factor.
  double Scale() const { return FScale; }
  void SetScale(double V) {
    if (std::isfinite(V)) FScale = V;
  }
  double ObliqueAngle() const { return FObliqueAngle; }
  void SetObliqueAngle(double V) {
    if (std::isfinite(V)) FObliqueAngle = V;
  }
  // 0 left, 1 centre, 2 right, 3 aligned, 4 middle, 5 fit.
  std::uint8_t HAlign() const { return FHAlign; }
  void SetHAlign(std::uint8_t V) { FHAlign = V; }
  // 0 baseline, 1 bottom, 2 middle, 3 top.
  std::uint8_t VAlign() const { return FVAlign; }
  void SetVAlign(std::uint8_t V) { FVAlign = V; }
  // Text generation flags: 2 mirrored in X, 4 mirrored in Y.
  int GenerationFlags() const { return FGenerationFlags; }
  void SetGenerationFlags(int V) { FGenerationFlags = V; }
  // The second alignment point; counts as given when X and Y differ from the unset value.
  TFPoint Point1() const { return FPoint1; }
  void SetPoint1(const TFPoint& P) {
    if (IsFiniteFPoint(P)) FPoint1 = P;
  }
  bool HasPoint1() const { return FPoint1.X != cnstUnsetValue && FPoint1.Y != cnstUnsetValue; }
  // The second point takes part in the placement (any alignment but left on the baseline).
  bool UsesPoint1() const { return HasPoint1() && (FHAlign != 0 || FVAlign != 0); }
  TFPoint Extrusion() const override { return FExtrusion; }
  // (0,0,0) and non-finite vectors store (0,0,1).
  void SetExtrusion(const TFPoint& P) override;
  double LineWeight() const override { return FLineWeight; }
  void SetLineWeight(double V) override {
    if (std::isfinite(V)) FLineWeight = V;
  }
  TqdDXFStyle* Style() const;
  void SetStyle(TqdDXFStyle* S) { FTextStyleItem.SetItem(S); }
  TqdTableItem& StyleItem() { return FTextStyleItem; }
  TFRect Box() const override { return FBox; }
  void ResolveLinks(TqdDXFConverter* C) override;
  // Default layer, linetype and style; fonts, runs, matrix and box.
  void Loaded(TqdDXFConverter* C) override;
  void AssignEntity(const TqdDXFEntity& Source) override;
  // Glyph space to entity coordinates of the (first) run.
  const TFMatrix& GetMatrix() const { return FMatrix; }
  TFPoint StartPoint() const { return FStartPoint; }
  const std::vector<TqdTextRun>& Runs() const { return FRuns; }
  // The outlines of every run in entity coordinates.
  void GetPaths(std::vector<TqdTextPath>& Out, double ATolerance = 0) const;
  // Into Out[0..], reusing the storage of the paths there; returns how many were made.
  std::size_t GetPathsReusing(std::vector<TqdTextPath>& Out, double ATolerance) const;
  bool Backward() const;
  bool UpsideDown() const;

protected:
  // The string a text shows (attributes: their value; shapes: their character).
  virtual std::u16string ShownText(bool* AUnder, bool* AOver) const;
  // Fonts of a run from the text's style (TrueType face or SHX style), with fallbacks.
  void ResolveRunFont(TqdDXFConverter* C, TqdTextRun& R) const;
  // The first step of every reload: no runs, box or matrix yet; the default layer.
  void ResetPlacement(TqdDXFConverter* C);
  TFMatrix FMatrix;
  TFPoint FStartPoint;
  std::vector<TqdTextRun> FRuns;
  TFRect FBox = cnstBadRect;
  std::string FText;
  double FHeight = 0;
  float FRotation = 0;
  double FScale = 1.0;
  double FObliqueAngle = 0;
  std::uint8_t FHAlign = 0;
  std::uint8_t FVAlign = 0;
  int FGenerationFlags = 0;
  TFPoint FPoint1 = cnstUnsetPoint;
  TFPoint FExtrusion = cnstExtrusion;
  double FLineWeight = cnstLWByLayer;
  TqdTableItem FTextStyleItem;
};

// The columns of a multiline text. Static columns share one height (DefinedHeight);
// dynamic ones have either that height (AutoHeight) or one of their own each (Heights;
// 0 or a missing entry: as high as the text needs). Every column is Width wide with
// Gutter between neighbours.
struct TqdMTextColumns {
  int Type = 0;  // 0 none, 1 static, 2 dynamic
  int Count = 0;
  bool FlowReversed = false;
  bool AutoHeight = false;
  double Width = 0;
  double Gutter = 0;
  double DefinedHeight = 0;
  std::vector<double> Heights;
  bool operator==(const TqdMTextColumns&) const = default;
};

// Multiline text: the text with its formatting codes, the frame width and the line
// spacing. Its layout (and so its box) belongs to the text unit.
class TqdDXFMText : public TqdDXFText {
  QD_ENTITY_CLASS(TqdDXFMText)
public:
  TqdCADEntities EntType() const override { return ceMText; }
  double RectWidth() const { return FRectWidth; }
  void SetRectWidth(double V) {
    if (std::isfinite(V)) FRectWidth = V;
  }
  double LineSpacingFactor() const { return FLineSpacingFactor; }
  void SetLineSpacingFactor(double V) {
    if (std::isfinite(V)) FLineSpacingFactor = V;
  }
  // Attachment point 1..9 (top left .. bottom right).
  int Align() const { return FAlign; }
  void SetAlign(int V) { FAlign = V; }
  int LineSpacingStyle() const { return FLineSpacingStyle; }
  void SetLineSpacingStyle(int V) { FLineSpacingStyle = V; }
  // Degrees.
  double Angle() const { return Rotation(); }
  void SetAngle(double V) { SetRotation(V); }
  bool Hyphenation() const { return FHyphenation; }
  void SetHyphenation(bool V) { FHyphenation = V; }
  // Column layout; Type 0 lays the text out in one column of RectWidth.
  const TqdMTextColumns& Columns() const { return FColumns; }
  // Non-finite sizes and negative counts are dropped; at most cMaxColumnHeights heights.
  void SetColumns(const TqdMTextColumns& V);
  // The heights as text, "20,30,0" (the form the property rows give them).
  std::string ColumnHeightsText() const;
  void SetColumnHeightsText(std::string_view V);
  // Files before R2018 store the second and later columns as texts of their own
  // whose frame width is the whole width; the first column's text gives them its
  // column width, which wins over RectWidth in their layout. Not stored: it comes
  // from the first text each time the drawing is read.
  double LinkedColumnWidth() const { return FLinkedColumnWidth; }
  void SetLinkedColumnWidth(double V) { FLinkedColumnWidth = std::isfinite(V) && V > 0 ? V : 0; }
  static constexpr std::size_t cMaxColumnHeights = 1000;
  void AssignEntity(const TqdDXFEntity& Source) override;
  // Parses the formatted string into runs laid out in lines.
  void Loaded(TqdDXFConverter* C) override;
  // The rotation used: the direction vector's when given (and not zero), else Angle.
  double EffectiveAngle() const;

protected:
  double FRectWidth = 0;
  double FLineSpacingFactor = 1.0;
  int FAlign = 1;
  int FLineSpacingStyle = 1;
  bool FHyphenation = false;
  TqdMTextColumns FColumns;
  double FLinkedColumnWidth = 0;
};

// A shape of a shape font, placed like a text.
class TqdDXFShape : public TqdDXFText {
  QD_ENTITY_CLASS(TqdDXFShape)
public:
  TqdCADEntities EntType() const override { return ceShape; }
  const std::string& ShapeName() const { return FShapeName; }
  void SetShapeName(std::string_view V) { FShapeName.assign(V); }
  // 0 until the shape is found by its name (DWG files give the number as the name).
  int ShapeNumber() const { return FShapeNumber; }
  void SetShapeNumber(int V) { FShapeNumber = V; }
  void AssignEntity(const TqdDXFEntity& Source) override;
  // Finds the shape in the drawing's shape files and places its strokes; a shape no
  // shape file holds is left out with a load warning.
  void Loaded(TqdDXFConverter* C) override;

protected:
  std::string FShapeName;
  int FShapeNumber = 0;
};
