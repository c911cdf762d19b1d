#pragma once
// A canvas that paints nothing and logs every primitive with the state it was
// drawn in (pen, brush, fill mode, clip): what is drawn, in which order and how,
// without a toolkit. The tests of the draw pipeline read the log.
#include <string>
#include <vector>

#include "qdCanvas.h"

enum TqdRecordKind {
  rkPolyline, rkPolyPolyline, rkClosedPolyline, rkPolygon, rkPolyPolygon, rkEllipse, rkArc,
  rkPixels, rkRectangle, rkFillRect, rkFillRegion, rkInvertRect, rkText, rkImage,
  rkGradientTriangle, rkGradientPolyPolygon
};

// "Polyline", "FillRect", ... for messages.
const char* qdRecordKindName(TqdRecordKind Kind);

struct TqdRecord {
  TqdRecordKind Kind = rkPolyline;
  TqdPen Pen;
  TqdBrush Brush;
  TqdFillMode FillMode = fmAlternate;
  // The clip in force; null when the canvas did not clip.
  TqdRegion Clip;
  // Device points as given (integer points widened); for Arc: start, end.
  std::vector<TqdDPoint> Points;
  // Points per part; one part for the single-part primitives.
  std::vector<int> Counts;
  // Pixel colours (one per point), gradient corner or stop colours.
  std::vector<TqdDeviceColor> Colors;
  // Rectangle, ellipse or arc box, image destination, the box of a filled region.
  TqdIntRect Box;
  std::string Text;
  // Size of a drawn image.
  int ImageWidth = 0, ImageHeight = 0;

  // The smallest rectangle holding the points (and Box when it has area), Right
  // and Bottom exclusive after rounding outwards.
  TqdIntRect Bounds() const;
};

class TqdRecordingCanvas : public TqdCanvas {
 public:
  // A device of Width x Height pixels at 96 pixels per inch.
  TqdRecordingCanvas(int Width, int Height);

  const std::vector<TqdRecord>& Records() const { return FRecords; }
  void Clear() { FRecords.clear(); }
  // The records of one kind, in order.
  std::vector<const TqdRecord*> OfKind(TqdRecordKind Kind) const;
  // One line per record ("Polyline pen=0000ff/1 pts=(1,2)(3,4)"), for failure
  // messages.
  std::string Describe() const;

  void Polyline(std::span<const TqdPoint> Points) override;
  void Polyline(std::span<const TqdDPoint> Points) override;
  void PolyPolyline(std::span<const TqdPoint> Points, std::span<const int> Counts) override;
  void PolyPolyline(std::span<const TqdDPoint> Points, std::span<const int> Counts) override;
  void ClosedPolyline(std::span<const TqdPoint> Points) override;
  void Polygon(std::span<const TqdPoint> Points) override;
  void Polygon(std::span<const TqdDPoint> Points) override;
  void PolyPolygon(std::span<const TqdPoint> Points, std::span<const int> Counts) override;
  void PolyPolygon(std::span<const TqdDPoint> Points, std::span<const int> Counts) override;
  void Ellipse(const TqdIntRect& Box) override;
  void Arc(const TqdIntRect& Box, TqdPoint Start, TqdPoint End) override;
  void SetPixel(int X, int Y, TqdDeviceColor Color) override;
  void SetPixels(std::span<const TqdPoint> Points, TqdDeviceColor Color) override;
  void SetPixelColors(std::span<const TqdPoint> Points, std::span<const TqdDeviceColor> Colors) override;
  void Rectangle(const TqdIntRect& R) override;
  void FillRect(const TqdIntRect& R) override;
  void FillRegion(const TqdRegion& Region) override;
  void InvertRect(const TqdIntRect& R) override;
  void TextOut(int X, int Y, const std::string& Text) override;
  void DrawImage(const TqdIntRect& Dest, const TqdImage& Image) override;
  void GradientTriangle(const TqdPoint (&Corners)[3], const TqdDeviceColor (&Colors)[3]) override;
  void GradientPolyPolygon(std::span<const TqdDPoint> Points, std::span<const int> Counts,
                           const TqdGradient& Gradient) override;

  TqdPoint DeviceSizePixels() const override { return FSize; }
  TqdDPoint DeviceSizeMM() const override;
  bool IsMetafile() const override { return false; }
  bool IsPrinter() const override { return false; }
  bool IsActive() const override { return true; }

 private:
  // A record of Kind in the current state, appended to the log.
  TqdRecord& Add(TqdRecordKind Kind);
  // Points and parts as the canvas contract reads them; false (nothing
  // recorded) for malformed counts.
  template <class P>
  bool AddParts(TqdRecordKind Kind, std::span<const P> Points, std::span<const int> Counts);

  TqdPoint FSize;
  std::vector<TqdRecord> FRecords;
};
