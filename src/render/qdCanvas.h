#pragma once
// The device the draw pipeline paints through: pens, brushes, polylines,
// polygons, arcs, pixels, clip regions, images and saved states, all in device
// pixels. The interface knows nothing of the toolkit behind it, so the library
// stays usable headless; qt/qdQtCanvas.h paints it with QPainter and
// qdRecordingCanvas.h logs what is drawn.
//
// Pixel rules (what a raster device with antialiasing off writes):
// - a point (X, Y) is the pixel in column X, row Y;
// - a 1-pixel line segment paints along its major axis from the smaller
//   coordinate up to but not including the larger one (flat caps): a segment
//   and its reverse paint the same pixels, and the segments of a polyline meet
//   without gaps; whoever needs the far end pixel adds it;
// - a filled polygon or region without outline covers the pixels whose centres
//   lie inside it: the square (0,0)-(4,0)-(4,4)-(0,4) covers columns and rows
//   0..3; an outline in a 1-pixel pen adds the edge pixels 0..4;
// - rectangles (TqdIntRect) cover Left..Right-1 and Top..Bottom-1;
// - a region built from a polygon holds the pixels its fill covers (a pixel
//   centre exactly on a slanted edge may round the other way).
#include <cstdint>
#include <memory>
#include <algorithm>
#include <span>
#include <string>
#include <vector>

#include "qdFunction.h"

// 0x00BBGGRR, as the drawing's colours; the top byte is ignored by devices.
using TqdDeviceColor = std::uint32_t;

struct TqdPoint {
  int X = 0, Y = 0;
  friend bool operator==(const TqdPoint&, const TqdPoint&) = default;
};

// Sub-pixel device point, same axes as TqdPoint.
struct TqdDPoint {
  double X = 0, Y = 0;
};

// Device coordinates are clamped to +/- this; it leaves room for sums and
// differences of two coordinates in an int and is far beyond any device.
constexpr int qdMaxDeviceCoord = 1 << 28;

// The one conversion of a computed double to a device coordinate: rounded
// half away from zero, saturated to +/- qdMaxDeviceCoord; NaN gives 0.
int qdDeviceCoord(double V);
TqdPoint qdDevicePoint(double X, double Y);
// Clamps an integer coordinate into the device range.
int qdClampDeviceCoord(int V);

// Fallback resolution of a device that reports no usable size.
constexpr double qdDefaultPixelsPerInch = 96.0;

enum TqdPenStyle { psSolid, psDash, psDot, psDashDot, psDashDotDot, psClear };
// How the pen combines with what is there: copy, or the xor modes a rubber
// band uses (raster devices only; vector targets copy).
enum TqdPenMode { pmCopy, pmXor, pmNotXor };
enum TqdBrushStyle {
  bsSolid, bsClear, bsHorizontal, bsVertical, bsFDiagonal, bsBDiagonal, bsCross, bsDiagCross
};
enum TqdFillMode { fmAlternate, fmWinding };

struct TqdPen {
  TqdDeviceColor Color = 0;
  int Width = 1;  // pixels; 0 and 1 both give the thinnest line
  TqdPenStyle Style = psSolid;
  TqdPenMode Mode = pmCopy;
  friend bool operator==(const TqdPen&, const TqdPen&) = default;
};

struct TqdBrush {
  TqdDeviceColor Color = 0xFFFFFF;
  TqdBrushStyle Style = bsSolid;
  friend bool operator==(const TqdBrush&, const TqdBrush&) = default;
};

struct TqdFont {
  TqdDeviceColor Color = 0;
  int Height = 12;      // pixels
  int Width = 0;        // average character width in pixels; 0 keeps the face's
  int Escapement = 0;   // tenths of a degree, counter-clockwise
  bool Bold = false;
  bool Italic = false;
  std::string Face = "Sans Serif";
  friend bool operator==(const TqdFont&, const TqdFont&) = default;
};

// A gradient brush in device pixels: linear from P0 to P1, or radial around P0 with
// Radius; colour stops at positions 0..1 in increasing order.
struct TqdGradient {
  bool Radial = false;
  TqdDPoint P0, P1;
  double Radius = 0;
  std::vector<std::pair<double, TqdDeviceColor>> Stops;
};

enum TqdRegionState { rsNull, rsEmpty, rsSimple, rsComplex };

class TqdCanvas;
struct TqdRegionData;

// A clip region: a set of device pixels. A default region is null, which means
// "no clipping" when selected into a canvas; a region built from geometry may
// still be empty (clips everything away). The pixels are kept as banded
// rectangles: sorted by rows, then columns; the rectangles of a band share their
// rows, do not touch, and two bands that touch differ in their columns.
class TqdRegion {
 public:
  TqdRegion();
  TqdRegion(const TqdRegion& Other);
  TqdRegion& operator=(const TqdRegion& Other);
  TqdRegion(TqdRegion&&) noexcept;
  TqdRegion& operator=(TqdRegion&&) noexcept;
  ~TqdRegion();

  // The pixels inside the polygon under the fill mode: the pixels of the
  // polygon's fill without outline. A NaN coordinate gives an empty region.
  void SetPolygon(std::span<const TqdPoint> Points, TqdFillMode FillMode);
  void SetPolygon(std::span<const TqdDPoint> Points, TqdFillMode FillMode);
  void SetRect(const TqdIntRect& R);
  // Back to null (no clipping).
  void Clear();
  // Logical and. A null operand stands for "everything": a null Other changes
  // nothing, a null this takes Other.
  void Intersect(const TqdRegion& Other);
  // Exclusive-or combination, so that nested loops alternate between filled and
  // hole. A null this starts from Other; a null Other changes nothing.
  void Exclude(const TqdRegion& Other);
  void Union(const TqdRegion& Other);
  void CopyFrom(const TqdRegion& Other) { *this = Other; }
  void Offset(int DX, int DY);
  // Takes the canvas's current clip region (null when it does not clip).
  void Update(const TqdCanvas& Canvas);
  // Makes this the canvas's clip region; a null region removes clipping.
  void Select(TqdCanvas& Canvas) const;
  // Fills the region with the canvas's brush.
  void Paint(TqdCanvas& Canvas) const;

  bool IsNull() const;
  // True for null and for a region without pixels.
  bool IsEmpty() const;
  TqdRegionState GetState() const;
  // Bounding box (Right/Bottom exclusive); all zero for null or empty regions.
  TqdIntRect GetBox() const;
  bool Contains(int X, int Y) const;
  // True when some pixel of R (Right/Bottom exclusive) is in the region; a null
  // region contains everything.
  bool IntersectsRect(const TqdIntRect& R) const;
  // The disjoint rectangles that make up the region, for exporters.
  void GetRects(std::vector<TqdIntRect>& Rects) const;
  // The banded rectangles themselves; empty for null and empty regions.
  std::span<const TqdIntRect> Rects() const;

 private:
  std::unique_ptr<TqdRegionData> FData;  // nullptr: null region
};

// The clip regions of nested viewports, clipped inserts and fills; owns
// copies of what is pushed.
class TqdRegionStack {
 public:
  // Pushes a copy of Region; nullptr pushes a null region (no clipping).
  void Push(const TqdRegion* Region);
  void Push(const TqdRegion& Region) { Push(&Region); }
  // Frees the top; nothing on an empty stack.
  void Pop();
  // nullptr when the stack is empty.
  TqdRegion* GetTop();
  const TqdRegion* GetTop() const;
  int Count() const { return static_cast<int>(FItems.size()); }
  // Rectangles of the top region (cleared when the stack is empty).
  void GetData(std::vector<TqdIntRect>& Rects) const;

 private:
  std::vector<std::unique_ptr<TqdRegion>> FItems;
};

struct TqdImageData;

// A picture to stretch into a rectangle (raster images of the drawing). Pixels
// use the device colour convention; transparent parts of a decoded picture stay
// transparent when it is drawn. The pixels are 32-bit words 0xAARRGGBB with the
// alpha premultiplied, row after row (opaque pictures have alpha 0xFF); files
// are decoded by the toolkit side (qt/qdQtCanvas.h, qdImageFromQt).
class TqdImage {
 public:
  TqdImage();
  TqdImage(const TqdImage& Other);
  TqdImage& operator=(const TqdImage& Other);
  TqdImage(TqdImage&&) noexcept;
  TqdImage& operator=(TqdImage&&) noexcept;
  ~TqdImage();

  // A Width x Height image filled with Fill; false (and empty) for sizes that
  // are not positive or too large to allocate.
  bool Create(int Width, int Height, TqdDeviceColor Fill = 0xFFFFFF);
  // Takes Width x Height words in the layout above; false (and empty) when the
  // size is not positive, too large, or does not match the words given.
  bool Assign(int Width, int Height, std::vector<std::uint32_t> Pixels, bool HasAlpha);
  bool IsEmpty() const;
  // Whether some pixel may be transparent.
  bool HasAlpha() const;
  // The words, Width() per row; nullptr when empty.
  const std::uint32_t* Bits() const;
  int Width() const;
  int Height() const;
  // Out-of-range positions are ignored / read as 0.
  void SetPixel(int X, int Y, TqdDeviceColor Color);
  TqdDeviceColor Pixel(int X, int Y) const;
  // True when every pixel is black or white (such pictures are inverted on a
  // black background).
  bool IsMonochrome() const;

 private:
  std::unique_ptr<TqdImageData> FData;
};

// The device. Drawing state (pen, brush, font, fill mode, clip region, current
// position) lives here and is saved and restored as a whole; implementations
// paint the primitives and read the state through the dirty flags.
// Malformed input (negative counts, counts beyond the points given) draws
// nothing; coordinates are clamped into the device range.
class TqdCanvas {
 public:
  TqdCanvas() = default;
  TqdCanvas(const TqdCanvas&) = delete;
  TqdCanvas& operator=(const TqdCanvas&) = delete;
  virtual ~TqdCanvas() = default;

  // ---- state
  const TqdPen& Pen() const { return FState.Pen; }
  void SetPen(const TqdPen& Value);
  void SetPenColor(TqdDeviceColor Value);
  void SetPenWidth(int Value);
  void SetPenStyle(TqdPenStyle Value);
  void SetPenMode(TqdPenMode Value);
  const TqdBrush& Brush() const { return FState.Brush; }
  void SetBrush(const TqdBrush& Value);
  void SetBrushColor(TqdDeviceColor Value);
  void SetBrushStyle(TqdBrushStyle Value);
  const TqdFont& Font() const { return FState.Font; }
  void SetFont(const TqdFont& Value);
  TqdFillMode PolyFillMode() const { return FState.FillMode; }
  void SetPolyFillMode(TqdFillMode Value) { FState.FillMode = Value; }

  // Pushes the whole state; RestoreState pops it (nothing when none is saved).
  void SaveState();
  void RestoreState();
  int SavedStateCount() const { return static_cast<int>(FSaved.size()); }

  // ---- clipping
  // Null when the canvas does not clip.
  const TqdRegion& ClipRegion() const { return FState.Clip; }
  // A null region removes clipping.
  void SetClipRegion(const TqdRegion& Region);
  void IntersectClipRect(const TqdIntRect& R);
  void IntersectClipRegion(const TqdRegion& Region);
  // The device rectangle limited by the clip region (Right/Bottom exclusive).
  TqdIntRect ClipBox() const;

  // ---- primitives (pen for lines, brush for fills, pen outline on fills)
  virtual void Polyline(std::span<const TqdPoint> Points) = 0;
  virtual void Polyline(std::span<const TqdDPoint> Points) = 0;
  // Counts gives the number of points of each part, taken in order from Points.
  virtual void PolyPolyline(std::span<const TqdPoint> Points, std::span<const int> Counts) = 0;
  virtual void PolyPolyline(std::span<const TqdDPoint> Points, std::span<const int> Counts) = 0;
  // A closed outline (the joint at the first vertex is a real join).
  virtual void ClosedPolyline(std::span<const TqdPoint> Points) = 0;
  virtual void Polygon(std::span<const TqdPoint> Points) = 0;
  virtual void Polygon(std::span<const TqdDPoint> Points) = 0;
  // All parts form one area under PolyFillMode (holes with fmAlternate).
  virtual void PolyPolygon(std::span<const TqdPoint> Points, std::span<const int> Counts) = 0;
  virtual void PolyPolygon(std::span<const TqdDPoint> Points, std::span<const int> Counts) = 0;
  // Ellipse inscribed in Box, filled with the brush and outlined with the pen.
  virtual void Ellipse(const TqdIntRect& Box) = 0;
  // Counter-clockwise (as seen on the device) arc of the ellipse inscribed in
  // Box, from the ray centre->Start to the ray centre->End; Start == End gives
  // the whole ellipse.
  virtual void Arc(const TqdIntRect& Box, TqdPoint Start, TqdPoint End) = 0;
  virtual void SetPixel(int X, int Y, TqdDeviceColor Color) = 0;
  // Sets every pixel of Points to Color (the same pixels as one SetPixel each).
  virtual void SetPixels(std::span<const TqdPoint> Points, TqdDeviceColor Color) {
    for (const TqdPoint& P : Points) SetPixel(P.X, P.Y, Color);
  }
  // Sets pixel I of Points to Colors[I], in order (the same as one SetPixel each).
  virtual void SetPixelColors(std::span<const TqdPoint> Points, std::span<const TqdDeviceColor> Colors) {
    const std::size_t N = std::min(Points.size(), Colors.size());
    std::size_t From = 0;
    for (std::size_t I = 1; I <= N; ++I)
      if (I == N || Colors[I] != Colors[From]) {
        SetPixels(Points.subspan(From, I - From), Colors[From]);
        From = I;
      }
  }
  void MoveTo(int X, int Y) { FState.PenPos = {qdClampDeviceCoord(X), qdClampDeviceCoord(Y)}; }
  // Line from the current position; the position moves to (X, Y).
  void LineTo(int X, int Y);
  TqdPoint PenPos() const { return FState.PenPos; }
  void Line(TqdPoint A, TqdPoint B);
  // Outline with the pen on the edge pixels, interior with the brush.
  virtual void Rectangle(const TqdIntRect& R) = 0;
  // Fills R with the brush, no outline.
  virtual void FillRect(const TqdIntRect& R) = 0;
  virtual void FillRegion(const TqdRegion& Region) = 0;
  // Inverts the colours of R (raster devices only).
  virtual void InvertRect(const TqdIntRect& R) = 0;
  // UTF-8 text at (X, Y) = left end of the baseline, in the font. Drawings
  // draw their text as glyph outlines; this is for labels only.
  virtual void TextOut(int X, int Y, const std::string& Text) = 0;
  // Stretches Image into Dest.
  virtual void DrawImage(const TqdIntRect& Dest, const TqdImage& Image) = 0;
  // Fills the triangle with colours blended from its corners (the pixels of
  // the triangle's fill). Targets that cannot blend, and triangles too large
  // to blend, are filled in the first corner's colour.
  virtual void GradientTriangle(const TqdPoint (&Corners)[3], const TqdDeviceColor (&Colors)[3]) = 0;
  // Fills the parts (one area under PolyFillMode) with the gradient, no outline.
  // Targets that cannot blend fill with the first stop's colour.
  virtual void GradientPolyPolygon(std::span<const TqdDPoint> Points, std::span<const int> Counts,
                                   const TqdGradient& Gradient);

  // ---- device
  // Raw sizes as the device reports them; either may be 0.
  virtual TqdPoint DeviceSizePixels() const = 0;
  virtual TqdDPoint DeviceSizeMM() const = 0;
  // Vector targets that keep the primitives rather than pixels.
  virtual bool IsMetafile() const = 0;
  virtual bool IsPrinter() const = 0;
  // False when the device could not be opened; every primitive then does nothing.
  // A canvas for one horizontal band of this canvas's target, usable from another
  // thread while the other bands are drawn: it may paint a margin around Band (within
  // this canvas's clip), and the target receives Band's rows, as drawn there, when
  // the band canvas is destroyed. Null when the target cannot be split that way.
  virtual std::unique_ptr<TqdCanvas> BandCanvas(const TqdIntRect& Band) {
    (void)Band;
    return nullptr;
  }
  virtual bool IsActive() const = 0;
  // Millimetres per pixel; 25.4 / 96 when the device reports a size that is
  // not positive and finite.
  double MMPerPixelX() const;
  double MMPerPixelY() const;
  double PixelsPerInchX() const { return 25.4 / MMPerPixelX(); }
  double PixelsPerInchY() const { return 25.4 / MMPerPixelY(); }

 protected:
  enum : unsigned { dsPen = 1, dsBrush = 2, dsFont = 4, dsClip = 8, dsAll = 15 };
  struct TqdCanvasState {
    TqdPen Pen;
    TqdBrush Brush;
    TqdFont Font;
    TqdFillMode FillMode = fmAlternate;
    TqdRegion Clip;
    TqdPoint PenPos;
  };
  TqdCanvasState FState;
  // Which parts of FState changed since the implementation last applied them.
  unsigned FDirty = dsAll;

 private:
  std::vector<TqdCanvasState> FSaved;
};
