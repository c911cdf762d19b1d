#pragma once
// The linetype pattern engine: the dashes, gaps, dots and embedded texts or shapes of
// one linetype, and the cutting of segments, polygons, curves and polylines into the
// short pieces a renderer draws. It works in the entity's coordinates and knows
// nothing of the screen.
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "qdConsts.h"
#include "qdLists.h"

class TqdDXFConverter;
class TqdDXFEntity;

// One element of a linetype definition as read from a file.
struct TqdLTypeElement {
  // Bits of ComplexType.
  static constexpr int cnstAbsoluteRotation = 1;
  static constexpr int cnstText = 2;
  static constexpr int cnstShape = 4;

  double Dash = 0;       // > 0 dash, < 0 gap of |Dash|, 0 dot (drawing units)
  int ComplexType = 0;   // bits above
  std::string Text;      // embedded text
  int ShapeNumber = 0;   // embedded shape
  double Scale = 1;      // height of the embedded text or shape
  double Rotation = 0;   // degrees, relative to the line unless absolute
  TFPoint Offset;        // X and Y offset of the embedded object from its place
};

// Kinds of prepared elements.
enum : int {
  lkPlain = 0,     // dash, gap or dot
  lkSHX = 1,       // embedded text or shape as SHX strokes
  lkTrueType = 2,  // embedded text as TrueType outline strokes
  lkAbsolute = 4,  // added to lkSHX or lkTrueType: rotation not relative to the line
};

struct TqdEmbeddedStrokes;

// A prepared element. Embedded objects keep what they were made from (text or shape
// number, style, offset, scale, rotation), so that a font layer can turn them into
// strokes, and their strokes in the element's own frame: origin at the element's place,
// X along the line, already offset, rotated and sized. The strokes are made on first
// use: a drawing names many linetypes with texts and shapes and draws few of them.
struct TqdSimpleElement {
  int Kind = lkPlain;
  double Value = 0;  // the dash value of a plain element
  int Source = -1;                          // embedded: index of the definition element
  const TqdDXFEntity* Style = nullptr;      // embedded: the text style (may be null)
  // Shared by the copies of the pattern (the renderer's working copies).
  std::shared_ptr<TqdEmbeddedStrokes> Embedded;
  bool IsEmbedded() const { return (Kind & 3) != 0; }
  // The strokes of an embedded object, made once (thread-safely) on the first call;
  // empty for a plain element or when no font gave strokes.
  const std::vector<std::vector<TFPoint>>& Strokes() const;
};

// Makes the strokes of an embedded text or shape of a linetype. Fonts are a layer of
// their own: when none is installed (qdSetLTypeStrokeMaker), embedded objects keep their
// place in the pattern and draw nothing. Returns false when no font gave strokes; Width
// and Height are the absolute sizes of the object's box.
using TqdLTypeStrokeMaker = std::function<bool(const TqdLTypeElement& Element, const TqdDXFEntity* Style,
                                               const TqdDXFConverter* Converter, int& Kind,
                                               std::vector<std::vector<TFPoint>>& Strokes, double& Width,
                                               double& Height)>;
void qdSetLTypeStrokeMaker(TqdLTypeStrokeMaker Maker);

// The dash limit: the largest number of whole patterns one segment or one curve
// receives; beyond it the piece is drawn solid. Process-wide, 8000.
inline constexpr int cnstDefaultDashLimit = 8000;
int qdDashLimit();
// Sets the dash limit for its lifetime and restores the previous one, also when the
// work in between throws.
class TqdDashLimitGuard {
 public:
  explicit TqdDashLimitGuard(int Limit);
  ~TqdDashLimitGuard();
  TqdDashLimitGuard(const TqdDashLimitGuard&) = delete;
  TqdDashLimitGuard& operator=(const TqdDashLimitGuard&) = delete;

 private:
  int FPrevious;
};

class TqdLines {
 public:
  TqdLines() = default;
  // Copies everything, prepared elements included (the renderer's working copies).
  TqdLines(const TqdLines& Other) = default;
  TqdLines& operator=(const TqdLines& Other) = default;

  void Add(const TqdLTypeElement& AElement);
  void AddTick(double AValue);
  // One plain element per value of AValues[0..AHigh].
  void Initialize(const double* AValues, int AHigh);
  // Mode flags, pattern length, scale and the definition; the owner prepares again.
  void Assign(const TqdLines& ASource);
  // Drops the definition elements (prepared ones stay until the next Loaded).
  void Clear();
  // Prepares the pattern: measures it and turns embedded objects into prepared elements.
  // Styles, when given, holds the text style of each definition element.
  void Loaded(const TqdDXFConverter* AConverter, std::span<const TqdDXFEntity* const> Styles = {});

  bool IsSolid() const { return FElements.size() < 2; }
  bool IsDotted() const;
  double PatternLength() const { return FPatternLength; }
  // The pattern's length plus the sizes of its embedded objects (makes their strokes).
  double MaxSizeOfPatterns() const;
  // The longest |Dash| of the prepared plain elements.
  double LongestElement() const { return FLongest; }
  double Scale() const { return FScale; }
  // Below 1e-6 (or not finite) the scale is 1.
  void SetScale(double V);
  bool IsUniform() const { return FIsUniform; }
  void SetIsUniform(bool V) { FIsUniform = V; }
  bool IsAutocadMetod() const { return FIsAutocadMetod; }
  void SetIsAutocadMetod(bool V) { FIsAutocadMetod = V; }
  // Null for an index out of range.
  const TqdLTypeElement* GetElement(int AIndex) const;
  TqdLTypeElement* GetElement(int AIndex);
  int ElementsCount() const { return static_cast<int>(FElements.size()); }
  const std::vector<TqdLTypeElement>& Elements() const { return FElements; }
  const std::vector<TqdSimpleElement>& SimpleElements() const { return FSimpleElements; }

  // The cutting operations append pairs of points (each pair one drawn piece; a dot is
  // a pair of equal points) to ADottedPoints and never clear it.
  // One straight segment, the pattern starting afresh.
  void Line(const TFPoint& APoint1, const TFPoint& APoint2, std::vector<TFPoint>& ADottedPoints) const;
  // A polygon, the pattern starting afresh on each segment.
  void Poly(std::span<const TFPoint> APoints, std::vector<TFPoint>& ADottedPoints, bool AClose) const;
  // One continuous path: the pattern runs on across the vertices.
  void Curve(std::span<const TFPoint> APoints, std::vector<TFPoint>& ADottedPoints, bool AClose) const;
  // A polyline with per-segment counts: 1 a straight segment to the next point, c > 1 a
  // run of c points tessellating one arc; counts below 1 take no points.
  void Vertexes(std::span<const TFPoint> APoints, std::span<const int> ACounts, std::vector<TFPoint>& ADottedPoints,
                bool Close) const;

 private:
  double StartOffset(double A, double B) const;
  // Places the strokes of embedded element E at base point S + V * T, along V.
  void PlaceEmbedded(const TqdSimpleElement& E, const TFPoint& S, const TFPoint& V, double T,
                     std::vector<TFPoint>& Out) const;
  void CurveWalk(const std::vector<TFPoint>& Q, const std::vector<double>& H, double T, double V, double O,
                 std::vector<TFPoint>& Out) const;

  std::vector<TqdLTypeElement> FElements;
  std::vector<TqdSimpleElement> FSimpleElements;
  double FPatternLength = 0;
  double FMaxSizeOfPatterns = 0;
  double FLongest = 0;
  double FScale = 1;
  bool FIsUniform = false;
  bool FIsAutocadMetod = false;
};
