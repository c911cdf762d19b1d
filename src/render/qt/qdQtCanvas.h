#pragma once
// The canvas on QPainter (QtGui only): a QImage, a widget's paint event, or an
// SVG file.
#include <QPainter>
#include <QPainterPath>
#include <QPoint>
#include <QVector>
#include <memory>
#include <string>

#include "qdCanvas.h"

class QImage;
class QPaintDevice;

class TqdQtCanvas : public TqdCanvas {
 public:
  // Paints on Device until End() or destruction.
  explicit TqdQtCanvas(QPaintDevice* Device);
  // Paints through a painter that someone else began (a widget's paint
  // event); the painter's own state is restored on destruction.
  explicit TqdQtCanvas(QPainter& Painter);
  ~TqdQtCanvas() override;

  // Off by default so that colours are exact; the screen may turn it on.
  void SetAntialiasing(bool Value);
  bool Antialiasing() const { return FAntialiasing; }
  // What the target is (SVG and QPicture count as metafiles, PDF as a
  // printer); settable for devices Qt cannot tell apart.
  void SetIsMetafile(bool Value) { FMetafile = Value; }
  void SetIsPrinter(bool Value) { FPrinter = Value; }
  // Finishes painting (a file target is written); later primitives do nothing.
  void End();

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

  TqdPoint DeviceSizePixels() const override;
  TqdDPoint DeviceSizeMM() const override;
  bool IsMetafile() const override { return FMetafile; }
  bool IsPrinter() const override { return FPrinter; }
  bool IsActive() const override;
  // Plain 32-bit images in memory only.
  std::unique_ptr<TqdCanvas> BandCanvas(const TqdIntRect& Band) override;

 protected:
  TqdQtCanvas() = default;
  // Begins an owned painter on Device (for subclasses that own the device).
  void BeginOn(QPaintDevice* Device);

 private:
  // Reads what the painter's target can do.
  void DetectTarget();
  // Applies the changed state; false when nothing can be painted.
  bool Ready();
  void ApplyPen();
  // Sets the pixels straight in the target image when that gives the engine's
  // result; false when the engine has to draw them.
  bool WritePixels(std::span<const TqdPoint> Points, TqdDeviceColor Color);
  template <class ColorAt>
  bool WritePixelsOf(std::span<const TqdPoint> Points, ColorAt&& Color);
  QPainterPath PartsPath(std::span<const TqdPoint> Points, std::span<const int> Counts, bool Close) const;
  QPainterPath PartsPath(std::span<const TqdDPoint> Points, std::span<const int> Counts, bool Close) const;
  // Draws a path with the pen only / the brush only / both, honouring the
  // clip on targets that cannot clip themselves.
  void StrokePath(const QPainterPath& Path);
  void FillPath(const QPainterPath& Path, const QBrush& Brush);

  std::unique_ptr<QPainter> FOwnPainter;
  QPainter* FPainter = nullptr;
  bool FBorrowed = false;
  bool FAntialiasing = false;
  bool FMetafile = false;
  bool FPrinter = false;
  // Raster operations (xor pens, inversion) work on this target.
  bool FRasterOps = false;
  // The target ignores QPainter clipping (SVG): clipping is done on geometry.
  bool FClipByGeometry = false;
  QPainterPath FClipPath;  // the clip region as a path when FClipByGeometry
  QVector<QPoint> FBuf;
  QVector<QPointF> FBufF;
};

// A canvas that writes an SVG file of Width x Height pixels (the picture is
// finished when the canvas is destroyed or End() is called); nullptr when the
// file cannot be opened.
std::unique_ptr<TqdQtCanvas> qdCreateSvgCanvas(const std::string& FileName, int Width, int Height,
                                               const std::string& Title = {});

// A canvas that writes a one-page PDF file of Width x Height pixels at 96 pixels
// per inch, vector paths as they are drawn; nullptr when the file cannot be opened.
std::unique_ptr<TqdQtCanvas> qdCreatePdfCanvas(const std::string& FileName, int Width, int Height,
                                               const std::string& Title = {});

TqdImage qdImageFromQt(const QImage& Image);
