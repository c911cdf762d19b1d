#include "qdQtCanvas.h"

#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <cstring>
#include <QLinearGradient>
#include <QRadialGradient>
#include <QPaintEngine>
#include <QPainterPath>
#include <QPainterPathStroker>
#include <QPageSize>
#include <QPdfWriter>
#include <QSvgGenerator>
#include <algorithm>
#include <cmath>
#include <numbers>

#include "qdQtInternal.h"

namespace {

// Wider pens than this are drawn this wide; lineweights never come close.
constexpr int MaxPenWidth = 4096;

// Sums the part counts; -1 when a count is negative or the parts need more
// points than given (the call then draws nothing).
qsizetype CheckedTotal(size_t Available, std::span<const int> Counts) {
  qsizetype Total = 0;
  for (int C : Counts) {
    if (C < 0) return -1;
    Total += C;
    if (size_t(Total) > Available) return -1;
  }
  return Total;
}

QPoint ToQ(const TqdPoint& P) { return QPoint(qdClampDeviceCoord(P.X), qdClampDeviceCoord(P.Y)); }

double ClampD(double V) { return std::clamp(V, double(-qdMaxDeviceCoord), double(qdMaxDeviceCoord)); }

bool IsBad(const TqdDPoint& P) { return std::isnan(P.X) || std::isnan(P.Y); }

QPointF ToQ(const TqdDPoint& P) { return QPointF(ClampD(P.X), ClampD(P.Y)); }

bool HaveGuiApp() { return qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr; }

Qt::BrushStyle ToQt(TqdBrushStyle S) {
  switch (S) {
    case bsSolid: return Qt::SolidPattern;
    case bsClear: return Qt::NoBrush;
    case bsHorizontal: return Qt::HorPattern;
    case bsVertical: return Qt::VerPattern;
    case bsFDiagonal: return Qt::FDiagPattern;
    case bsBDiagonal: return Qt::BDiagPattern;
    case bsCross: return Qt::CrossPattern;
    case bsDiagCross: return Qt::DiagCrossPattern;
  }
  return Qt::SolidPattern;
}

// Angle of the ellipse parameter for the point where the ray from the centre
// through (DX, DY) meets the ellipse of radii A, B (device Y down, angles
// counter-clockwise on screen, in degrees as QPainterPath wants them).
double ParamAngle(double A, double B, double DX, double DY) {
  if (DX == 0 && DY == 0) return 0;
  return std::atan2(A * -DY, B * DX) * 180.0 / std::numbers::pi;
}

}  // namespace

TqdQtCanvas::TqdQtCanvas(QPaintDevice* Device) { BeginOn(Device); }

TqdQtCanvas::TqdQtCanvas(QPainter& Painter) : FPainter(&Painter), FBorrowed(true) {
  if (!FPainter->isActive()) return;
  FPainter->save();
  DetectTarget();
}

void TqdQtCanvas::DetectTarget() {
  const QPaintEngine* E = FPainter->paintEngine();
  const QPaintEngine::Type T = E ? E->type() : QPaintEngine::Raster;
  FRasterOps = E && E->hasFeature(QPaintEngine::RasterOpModes);
  FClipByGeometry = T == QPaintEngine::SVG;
  FMetafile = T == QPaintEngine::SVG || T == QPaintEngine::Picture;
  FPrinter = T == QPaintEngine::Pdf;
  FPainter->setRenderHint(QPainter::Antialiasing, FAntialiasing);
}

TqdQtCanvas::~TqdQtCanvas() { End(); }

namespace {
// Rows a band paints beyond its own: the engine clips a line at the clip's edge
// differently from one that runs on, so a band's own rows lie this far inside its clip.
constexpr int cnstBandMargin = 16;

// A band of an image painted in an image of its own with the same coordinates (only
// the band's rows and margins are ever touched, so only they take memory): the rows
// are copied in when it begins and the band's own rows copied back when it ends.
class TqdQtBandCanvas : public TqdQtCanvas {
 public:
  TqdQtBandCanvas(QImage& Target, int Top, int Bottom)
      : FTarget(Target), FTop(Top), FBottom(Bottom), FOwn(Target.width(), Target.height(), Target.format()) {
    FOwn.setDotsPerMeterX(Target.dotsPerMeterX());
    FOwn.setDotsPerMeterY(Target.dotsPerMeterY());
    FFrom = std::max(0, Top - cnstBandMargin);
    FTo = std::min(Target.height(), Bottom + cnstBandMargin);
    Copy(Target, FOwn, FFrom, FTo);
    BeginOn(&FOwn);
  }
  ~TqdQtBandCanvas() override {
    End();
    Copy(FOwn, FTarget, std::max(0, FTop), std::min(FTarget.height(), FBottom));
  }
  // The rows painted, margins included.
  int From() const { return FFrom; }
  int To() const { return FTo; }

 private:
  static void Copy(const QImage& From, QImage& To, int Y0, int Y1) {
    // constBits / the target's memory: its painter holds it detached already.
    uchar* Bits = const_cast<uchar*>(To.constBits());
    const qsizetype Stride = To.bytesPerLine();
    for (int Y = Y0; Y < Y1; ++Y) std::memcpy(Bits + Stride * Y, From.constScanLine(Y), static_cast<std::size_t>(Stride));
  }
  QImage& FTarget;
  int FTop, FBottom, FFrom = 0, FTo = 0;
  QImage FOwn;
};
}  // namespace

std::unique_ptr<TqdCanvas> TqdQtCanvas::BandCanvas(const TqdIntRect& Band) {
  if (!IsActive() || FMetafile || FPrinter || FClipByGeometry) return nullptr;
  QPaintDevice* D = FPainter->device();
  if (!D || D->devType() != QInternal::Image) return nullptr;
  auto* Img = static_cast<QImage*>(D);
  const QImage::Format F = Img->format();
  if (F != QImage::Format_RGB32 && F != QImage::Format_ARGB32 && F != QImage::Format_ARGB32_Premultiplied)
    return nullptr;
  // A clip or transform the caller set on the painter itself is not known here.
  if (Img->devicePixelRatio() != 1.0 || !FPainter->transform().isIdentity() ||
      (ClipRegion().IsNull() && FPainter->hasClipping()))
    return nullptr;
  auto C = std::make_unique<TqdQtBandCanvas>(*Img, Band.Top, Band.Bottom);
  if (!C->IsActive()) return nullptr;
  C->SetAntialiasing(FAntialiasing);
  if (!ClipRegion().IsNull()) C->SetClipRegion(ClipRegion());
  C->IntersectClipRect({Band.Left, C->From(), Band.Right, C->To()});
  return C;
}

void TqdQtCanvas::BeginOn(QPaintDevice* Device) {
  // A device without an engine (a null QImage) cannot be painted on.
  if (!Device || !Device->paintEngine()) return;
  FOwnPainter = std::make_unique<QPainter>();
  if (!FOwnPainter->begin(Device)) {
    FOwnPainter.reset();
    return;
  }
  FPainter = FOwnPainter.get();
  DetectTarget();
}

void TqdQtCanvas::End() {
  if (!FPainter) return;
  if (FBorrowed) {
    if (FPainter->isActive()) FPainter->restore();
  } else {
    FPainter->end();
  }
  FPainter = nullptr;
  FOwnPainter.reset();
}

bool TqdQtCanvas::IsActive() const { return FPainter && FPainter->isActive(); }

void TqdQtCanvas::SetAntialiasing(bool Value) {
  FAntialiasing = Value;
  if (IsActive()) FPainter->setRenderHint(QPainter::Antialiasing, Value);
}

void TqdQtCanvas::ApplyPen() {
  const TqdPen& P = FState.Pen;
  if (P.Style == psClear) {
    FPainter->setPen(Qt::NoPen);
  } else {
    const int W = std::clamp(P.Width, 1, MaxPenWidth);
    QPen Q(qdToQColor(P.Color), W, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin);
    // Dash lengths in pixels, as device pens draw them; the pattern is in
    // units of the pen width.
    QList<qreal> Pattern;
    switch (P.Style) {
      case psDash: Pattern = {18, 6}; break;
      case psDot: Pattern = {3, 3}; break;
      case psDashDot: Pattern = {9, 6, 3, 6}; break;
      case psDashDotDot: Pattern = {9, 3, 3, 3, 3, 3}; break;
      default: break;
    }
    if (!Pattern.isEmpty()) {
      for (qreal& V : Pattern) V = std::max<qreal>(V / W, 0.5);
      Q.setDashPattern(Pattern);
    }
    FPainter->setPen(Q);
  }
  if (FRasterOps) {
    switch (P.Mode) {
      case pmCopy: FPainter->setCompositionMode(QPainter::CompositionMode_SourceOver); break;
      case pmXor: FPainter->setCompositionMode(QPainter::RasterOp_SourceXorDestination); break;
      case pmNotXor: FPainter->setCompositionMode(QPainter::RasterOp_NotSourceXorDestination); break;
    }
  }
}

bool TqdQtCanvas::Ready() {
  if (!IsActive()) return false;
  if (FDirty & dsPen) ApplyPen();
  if (FDirty & dsBrush)
    FPainter->setBrush(QBrush(qdToQColor(FState.Brush.Color), ToQt(FState.Brush.Style)));
  // Fonts need the application object; without one the font waits.
  unsigned Left = 0;
  if ((FDirty & dsFont) && !HaveGuiApp()) Left = dsFont;
  else if (FDirty & dsFont) {
    QFont F(QString::fromStdString(FState.Font.Face));
    F.setPixelSize(std::clamp(FState.Font.Height, 1, 32767));
    F.setBold(FState.Font.Bold);
    F.setItalic(FState.Font.Italic);
    if (FState.Font.Width > 0) {
      const int Avg = QFontMetrics(F).averageCharWidth();
      if (Avg > 0) F.setStretch(std::clamp(int(qint64(FState.Font.Width) * 100 / Avg), 1, 4000));
    }
    FPainter->setFont(F);
  }
  if (FDirty & dsClip) {
    const bool Clips = !FState.Clip.IsNull();
    if (FClipByGeometry) {
      FClipPath = QPainterPath();
      if (Clips) FClipPath.addRegion(qdToQRegion(FState.Clip));
    } else if (Clips) {
      FPainter->setClipRegion(qdToQRegion(FState.Clip));
    } else {
      FPainter->setClipping(false);
    }
  }
  FDirty = Left;
  return true;
}

QPainterPath TqdQtCanvas::PartsPath(std::span<const TqdPoint> Points, std::span<const int> Counts,
                                    bool Close) const {
  QPainterPath Path;
  size_t I = 0;
  for (int C : Counts) {
    if (C >= 2) {
      Path.moveTo(ToQ(Points[I]));
      for (int K = 1; K < C; ++K) Path.lineTo(ToQ(Points[I + K]));
      if (Close) Path.closeSubpath();
    }
    I += size_t(C);
  }
  return Path;
}

QPainterPath TqdQtCanvas::PartsPath(std::span<const TqdDPoint> Points, std::span<const int> Counts,
                                    bool Close) const {
  QPainterPath Path;
  size_t I = 0;
  for (int C : Counts) {
    const auto Part = Points.subspan(I, size_t(C));
    I += size_t(C);
    if (C < 2 || std::any_of(Part.begin(), Part.end(), IsBad)) continue;
    Path.moveTo(ToQ(Part[0]));
    for (int K = 1; K < C; ++K) Path.lineTo(ToQ(Part[K]));
    if (Close) Path.closeSubpath();
  }
  return Path;
}

void TqdQtCanvas::StrokePath(const QPainterPath& Path) {
  if (FState.Pen.Style == psClear || Path.isEmpty()) return;
  if (FClipByGeometry && !FState.Clip.IsNull()) {
    // The target cannot clip: the stroke becomes its outline, cut to the clip.
    QPainterPathStroker S(FPainter->pen());
    const QPainterPath Outline = S.createStroke(Path).intersected(FClipPath);
    if (!Outline.isEmpty()) FPainter->fillPath(Outline, FPainter->pen().color());
    return;
  }
  FPainter->strokePath(Path, FPainter->pen());
}

void TqdQtCanvas::FillPath(const QPainterPath& Path, const QBrush& Brush) {
  if (Brush.style() == Qt::NoBrush || Path.isEmpty()) return;
  if (FClipByGeometry && !FState.Clip.IsNull()) {
    const QPainterPath Cut = Path.intersected(FClipPath);
    if (!Cut.isEmpty()) FPainter->fillPath(Cut, Brush);
    return;
  }
  FPainter->fillPath(Path, Brush);
}

void TqdQtCanvas::Polyline(std::span<const TqdPoint> Points) {
  if (Points.size() < 2 || !Ready()) return;
  if (FClipByGeometry) {
    const int C[1] = {int(std::min<size_t>(Points.size(), size_t(std::numeric_limits<int>::max())))};
    StrokePath(PartsPath(Points, C, false));
    return;
  }
  FBuf.resize(qsizetype(Points.size()));
  for (size_t I = 0; I < Points.size(); ++I) FBuf[qsizetype(I)] = ToQ(Points[I]);
  FPainter->drawPolyline(FBuf.constData(), int(FBuf.size()));
}

void TqdQtCanvas::Polyline(std::span<const TqdDPoint> Points) {
  if (Points.size() < 2 || Points.size() > size_t(std::numeric_limits<int>::max()) || !Ready()) return;
  const int C[1] = {int(Points.size())};
  StrokePath(PartsPath(Points, C, false));
}

void TqdQtCanvas::PolyPolyline(std::span<const TqdPoint> Points, std::span<const int> Counts) {
  if (CheckedTotal(Points.size(), Counts) < 0 || !Ready()) return;
  if (!FClipByGeometry) {
    // Part by part through the fast line path of the raster engine.
    size_t I = 0;
    for (int C : Counts) {
      if (C >= 2) Polyline(Points.subspan(I, size_t(C)));
      I += size_t(C);
    }
    return;
  }
  StrokePath(PartsPath(Points, Counts, false));
}

void TqdQtCanvas::PolyPolyline(std::span<const TqdDPoint> Points, std::span<const int> Counts) {
  if (CheckedTotal(Points.size(), Counts) < 0 || !Ready()) return;
  StrokePath(PartsPath(Points, Counts, false));
}

void TqdQtCanvas::ClosedPolyline(std::span<const TqdPoint> Points) {
  if (Points.size() < 2 || Points.size() > size_t(std::numeric_limits<int>::max()) || !Ready()) return;
  const int C[1] = {int(Points.size())};
  StrokePath(PartsPath(Points, C, true));
}

void TqdQtCanvas::Polygon(std::span<const TqdPoint> Points) {
  if (Points.size() < 2 || Points.size() > size_t(std::numeric_limits<int>::max()) || !Ready()) return;
  if (FClipByGeometry) {
    const int C[1] = {int(Points.size())};
    PolyPolygon(Points, C);
    return;
  }
  FBuf.resize(qsizetype(Points.size()));
  for (size_t I = 0; I < Points.size(); ++I) FBuf[qsizetype(I)] = ToQ(Points[I]);
  FPainter->drawPolygon(FBuf.constData(), int(FBuf.size()),
                        FState.FillMode == fmWinding ? Qt::WindingFill : Qt::OddEvenFill);
}

void TqdQtCanvas::Polygon(std::span<const TqdDPoint> Points) {
  if (Points.size() > size_t(std::numeric_limits<int>::max())) return;
  const int C[1] = {int(Points.size())};
  PolyPolygon(Points, C);
}

void TqdQtCanvas::PolyPolygon(std::span<const TqdPoint> Points, std::span<const int> Counts) {
  if (CheckedTotal(Points.size(), Counts) < 0 || !Ready()) return;
  QPainterPath Path = PartsPath(Points, Counts, true);
  Path.setFillRule(FState.FillMode == fmWinding ? Qt::WindingFill : Qt::OddEvenFill);
  FillPath(Path, FPainter->brush());
  StrokePath(Path);
}

void TqdQtCanvas::PolyPolygon(std::span<const TqdDPoint> Points, std::span<const int> Counts) {
  if (CheckedTotal(Points.size(), Counts) < 0 || !Ready()) return;
  QPainterPath Path = PartsPath(Points, Counts, true);
  Path.setFillRule(FState.FillMode == fmWinding ? Qt::WindingFill : Qt::OddEvenFill);
  FillPath(Path, FPainter->brush());
  StrokePath(Path);
}

namespace {
// The ellipse of a device box: its outline runs through the edge pixels
// Left..Right-1, Top..Bottom-1.
QRectF EllipseRect(const TqdIntRect& Box) {
  const QRect R = qdToQRect(Box);
  if (R.isEmpty()) return {};
  return QRectF(R.x(), R.y(), R.width() - 1, R.height() - 1);
}
}  // namespace

void TqdQtCanvas::Ellipse(const TqdIntRect& Box) {
  const QRect Q = qdToQRect(Box);
  if (Q.isEmpty() || !Ready()) return;
  QPainterPath Path;
  Path.addEllipse(EllipseRect(Box));
  FillPath(Path, FPainter->brush());
  StrokePath(Path);
}

void TqdQtCanvas::Arc(const TqdIntRect& Box, TqdPoint Start, TqdPoint End) {
  const QRect Q = qdToQRect(Box);
  if (Q.isEmpty() || !Ready()) return;
  const QRectF R = EllipseRect(Box);
  const QPointF C = R.center();
  const double A = R.width() / 2, B = R.height() / 2;
  const QPointF S = ToQ(Start), E = ToQ(End);
  const double A0 = ParamAngle(A, B, S.x() - C.x(), S.y() - C.y());
  const double A1 = ParamAngle(A, B, E.x() - C.x(), E.y() - C.y());
  double Sweep = A1 - A0;
  while (Sweep <= 0) Sweep += 360;
  while (Sweep > 360) Sweep -= 360;
  if (S == E) Sweep = 360;
  QPainterPath Path;
  Path.arcMoveTo(R, A0);
  Path.arcTo(R, A0, Sweep);
  StrokePath(Path);
}

void TqdQtCanvas::SetPixel(int X, int Y, TqdDeviceColor Color) {
  if (!Ready()) return;
  const QRect R(qdClampDeviceCoord(X), qdClampDeviceCoord(Y), 1, 1);
  if (FClipByGeometry) {
    QPainterPath Path;
    Path.addRect(R);
    FillPath(Path, QBrush(qdToQColor(Color)));
    return;
  }
  // A pixel is set, whatever the pen's mode.
  const bool Mixing = FRasterOps && FState.Pen.Mode != pmCopy;
  if (Mixing) FPainter->setCompositionMode(QPainter::CompositionMode_SourceOver);
  FPainter->fillRect(R, qdToQColor(Color));
  if (Mixing) FDirty |= dsPen;
}

void TqdQtCanvas::SetPixels(std::span<const TqdPoint> Points, TqdDeviceColor Color) {
  if (Points.empty() || !Ready()) return;
  if (FClipByGeometry || (FRasterOps && FState.Pen.Mode != pmCopy) || FAntialiasing) {
    TqdCanvas::SetPixels(Points, Color);
    return;
  }
  if (WritePixels(Points, Color)) return;
  // One call through the raster engine's point path: an aliased one-pixel square
  // pen at integer positions covers exactly the pixel a 1 x 1 fill would.
  FBuf.resize(qsizetype(Points.size()));
  for (size_t I = 0; I < Points.size(); ++I) FBuf[qsizetype(I)] = ToQ(Points[I]);
  const QPen Saved = FPainter->pen();
  QPen P(qdToQColor(Color), 1, Qt::SolidLine, Qt::SquareCap);
  FPainter->setPen(P);
  FPainter->drawPoints(FBuf.constData(), int(FBuf.size()));
  FPainter->setPen(Saved);
}

bool TqdQtCanvas::WritePixels(std::span<const TqdPoint> Points, TqdDeviceColor Color) {
  const QRgb V = qdToQColor(Color).rgb();
  return WritePixelsOf(Points, [V](std::size_t) { return V; });
}

template <class ColorAt>
bool TqdQtCanvas::WritePixelsOf(std::span<const TqdPoint> Points, ColorAt&& Color) {
  // Opaque pixels on a plain 32-bit image are stored as the raster engine would
  // store them: the engine draws straight into the image's memory, so writing
  // there between its calls keeps the order of drawing. Anything that would mix
  // or transform the colour takes the engine's path.
  QPaintDevice* D = FPainter->device();
  if (!D || D->devType() != QInternal::Image) return false;
  auto* Img = static_cast<QImage*>(D);
  const QImage::Format F = Img->format();
  if (F != QImage::Format_RGB32 && F != QImage::Format_ARGB32 && F != QImage::Format_ARGB32_Premultiplied)
    return false;
  if (Img->devicePixelRatio() != 1.0 || FPainter->opacity() != 1.0 || !FPainter->transform().isIdentity())
    return false;
  if (FPainter->compositionMode() != QPainter::CompositionMode_SourceOver &&
      FPainter->compositionMode() != QPainter::CompositionMode_Source)
    return false;
  QRect Bounds(0, 0, Img->width(), Img->height());
  const TqdRegion& Clip = FState.Clip;
  // A clip of the caller's that this canvas did not set is not known here.
  if (Clip.IsNull() && FPainter->hasClipping()) return false;
  const bool Complex = Clip.GetState() == rsComplex;
  if (!Clip.IsNull()) Bounds &= qdToQRect(Clip.GetBox());
  if (Bounds.isEmpty()) return true;
  // constBits: the painter holds the image detached already.
  uchar* Bits = const_cast<uchar*>(Img->constBits());
  const qsizetype Stride = Img->bytesPerLine();
  for (std::size_t I = 0; I < Points.size(); ++I) {
    const TqdPoint& P = Points[I];
    if (!Bounds.contains(P.X, P.Y)) continue;
    if (Complex && !Clip.Contains(P.X, P.Y)) continue;
    reinterpret_cast<QRgb*>(Bits + Stride * P.Y)[P.X] = Color(I);
  }
  return true;
}

void TqdQtCanvas::SetPixelColors(std::span<const TqdPoint> Points, std::span<const TqdDeviceColor> Colors) {
  if (Points.empty() || Colors.size() != Points.size() || !Ready()) return;
  if (!FClipByGeometry && !(FRasterOps && FState.Pen.Mode != pmCopy) && !FAntialiasing &&
      WritePixelsOf(Points, [Colors](std::size_t I) {
        const TqdDeviceColor C = Colors[I];
        return qRgb(int(C & 0xFF), int((C >> 8) & 0xFF), int((C >> 16) & 0xFF));
      }))
    return;
  TqdCanvas::SetPixelColors(Points, Colors);
}

void TqdQtCanvas::Rectangle(const TqdIntRect& R) {
  const QRect Q = qdToQRect(R);
  if (Q.isEmpty() || !Ready()) return;
  if (FState.Pen.Style == psClear || FClipByGeometry) {
    QPainterPath Fill;
    Fill.addRect(Q);
    FillPath(Fill, FPainter->brush());
    if (FState.Pen.Style != psClear) {
      QPainterPath Outline;
      Outline.addRect(QRectF(Q.x(), Q.y(), Q.width() - 1, Q.height() - 1));
      StrokePath(Outline);
    }
    return;
  }
  FPainter->drawRect(QRect(Q.x(), Q.y(), Q.width() - 1, Q.height() - 1));
}

void TqdQtCanvas::FillRect(const TqdIntRect& R) {
  const QRect Q = qdToQRect(R);
  if (Q.isEmpty() || !Ready()) return;
  QPainterPath Path;
  Path.addRect(Q);
  FillPath(Path, FPainter->brush());
}

void TqdQtCanvas::FillRegion(const TqdRegion& Region) {
  if (Region.IsEmpty() || !Ready()) return;
  QPainterPath Path;
  Path.addRegion(qdToQRegion(Region));
  FillPath(Path, FPainter->brush());
}

void TqdQtCanvas::InvertRect(const TqdIntRect& R) {
  const QRect Q = qdToQRect(R);
  if (Q.isEmpty() || !FRasterOps || !Ready()) return;
  FPainter->save();
  FPainter->setCompositionMode(QPainter::RasterOp_NotDestination);
  FPainter->fillRect(Q, Qt::white);
  FPainter->restore();
}

void TqdQtCanvas::TextOut(int X, int Y, const std::string& Text) {
  // Fonts need the application object; without one there is no text.
  if (Text.empty() || !HaveGuiApp() || !Ready()) return;
  FPainter->save();
  FPainter->setPen(qdToQColor(FState.Font.Color));
  FPainter->translate(qdClampDeviceCoord(X), qdClampDeviceCoord(Y));
  if (FState.Font.Escapement != 0) FPainter->rotate(-FState.Font.Escapement / 10.0);
  FPainter->drawText(QPointF(0, 0), QString::fromUtf8(Text.data(), qsizetype(Text.size())));
  FPainter->restore();
}

void TqdQtCanvas::DrawImage(const TqdIntRect& Dest, const TqdImage& Image) {
  const QImage Pic = qdToQImage(Image);
  const QImage* Img = &Pic;
  const QRect Q = qdToQRect(Dest);
  if (Pic.isNull() || Q.isEmpty() || !Ready()) return;
  if (FClipByGeometry && !FState.Clip.IsNull()) {
    FPainter->save();
    FPainter->setClipPath(FClipPath);
    FPainter->drawImage(Q, *Img);
    FPainter->restore();
    return;
  }
  FPainter->drawImage(Q, *Img);
}

void TqdQtCanvas::GradientTriangle(const TqdPoint (&Corners)[3], const TqdDeviceColor (&Colors)[3]) {
  if (!Ready()) return;
  QPointF P[3];
  for (int I = 0; I < 3; ++I) P[I] = ToQ(Corners[I]);
  // Only the visible part of the triangle's box is blended.
  const QRect Bounds = QPolygonF({P[0], P[1], P[2]}).boundingRect().toAlignedRect();
  const TqdIntRect Clip = ClipBox();
  const QRect Area = Bounds.intersected(QRect(Clip.Left, Clip.Top, Clip.Right - Clip.Left, Clip.Bottom - Clip.Top));
  const double Det = (P[1].x() - P[0].x()) * (P[2].y() - P[0].y()) - (P[2].x() - P[0].x()) * (P[1].y() - P[0].y());
  constexpr qint64 MaxBlendPixels = qint64(1) << 22;
  if (Area.isEmpty() || Det == 0) return;
  if (FClipByGeometry || qint64(Area.width()) * Area.height() > MaxBlendPixels) {
    QPainterPath Path;
    Path.addPolygon(QPolygonF({P[0], P[1], P[2]}));
    Path.closeSubpath();
    FillPath(Path, QBrush(qdToQColor(Colors[0])));
    return;
  }
  QImage Img(Area.size(), QImage::Format_ARGB32_Premultiplied);
  if (Img.isNull()) return;
  Img.fill(Qt::transparent);
  for (int Y = 0; Y < Area.height(); ++Y) {
    QRgb* Line = reinterpret_cast<QRgb*>(Img.scanLine(Y));
    const double PY = Area.y() + Y + 0.5;
    for (int X = 0; X < Area.width(); ++X) {
      const double PX = Area.x() + X + 0.5;
      // Barycentric weights of the pixel centre.
      const double W1 = ((PX - P[0].x()) * (P[2].y() - P[0].y()) - (P[2].x() - P[0].x()) * (PY - P[0].y())) / Det;
      const double W2 = ((P[1].x() - P[0].x()) * (PY - P[0].y()) - (PX - P[0].x()) * (P[1].y() - P[0].y())) / Det;
      const double W0 = 1 - W1 - W2;
      if (W0 < 0 || W1 < 0 || W2 < 0) continue;
      double Ch[3];
      for (int K = 0; K < 3; ++K) {
        const int Shift = 8 * K;
        Ch[K] = W0 * ((Colors[0] >> Shift) & 0xFF) + W1 * ((Colors[1] >> Shift) & 0xFF) +
                W2 * ((Colors[2] >> Shift) & 0xFF);
      }
      Line[X] = qRgb(qBound(0, int(Ch[0] + 0.5), 255), qBound(0, int(Ch[1] + 0.5), 255),
                     qBound(0, int(Ch[2] + 0.5), 255));
    }
  }
  FPainter->drawImage(Area.topLeft(), Img);
}

TqdPoint TqdQtCanvas::DeviceSizePixels() const {
  if (!IsActive() || !FPainter->device()) return {};
  const QPaintDevice* D = FPainter->device();
  return {D->width(), D->height()};
}

TqdDPoint TqdQtCanvas::DeviceSizeMM() const {
  if (!IsActive() || !FPainter->device()) return {};
  const QPaintDevice* D = FPainter->device();
  if (D->devType() == QInternal::Image) {
    // Whole millimetres lose too much on small images: use the resolution.
    const QImage* Img = static_cast<const QImage*>(D);
    const int MX = Img->dotsPerMeterX(), MY = Img->dotsPerMeterY();
    return {MX > 0 ? Img->width() * 1000.0 / MX : 0.0, MY > 0 ? Img->height() * 1000.0 / MY : 0.0};
  }
  return {double(D->widthMM()), double(D->heightMM())};
}

// ---- SVG

namespace {

class TqdSvgCanvas : public TqdQtCanvas {
 public:
  TqdSvgCanvas(const std::string& FileName, int Width, int Height, const std::string& Title) {
    FGenerator.setFileName(QString::fromStdString(FileName));
    FGenerator.setSize(QSize(Width, Height));
    FGenerator.setViewBox(QRect(0, 0, Width, Height));
    FGenerator.setResolution(int(qdDefaultPixelsPerInch));
    if (!Title.empty()) FGenerator.setTitle(QString::fromStdString(Title));
    BeginOn(&FGenerator);
  }
  // The painter must finish before the generator goes.
  ~TqdSvgCanvas() override { End(); }

 private:
  QSvgGenerator FGenerator;
};

class TqdPdfCanvas : public TqdQtCanvas {
 public:
  TqdPdfCanvas(const std::string& FileName, int Width, int Height, const std::string& Title)
      : FWriter(QString::fromStdString(FileName)) {
    // One device pixel per 1/96 inch: the page is the picture, without margins.
    const QSizeF Points(Width * 72.0 / qdDefaultPixelsPerInch, Height * 72.0 / qdDefaultPixelsPerInch);
    FWriter.setPageSize(QPageSize(Points, QPageSize::Point, QString(), QPageSize::ExactMatch));
    FWriter.setPageMargins(QMarginsF(0, 0, 0, 0));
    FWriter.setResolution(int(qdDefaultPixelsPerInch));
    FWriter.setCreator(QStringLiteral("draftwell"));
    if (!Title.empty()) FWriter.setTitle(QString::fromStdString(Title));
    BeginOn(&FWriter);
  }
  ~TqdPdfCanvas() override { End(); }

 private:
  QPdfWriter FWriter;
};

}  // namespace

std::unique_ptr<TqdQtCanvas> qdCreatePdfCanvas(const std::string& FileName, int Width, int Height,
                                               const std::string& Title) {
  if (Width <= 0 || Height <= 0) return nullptr;
  auto C = std::make_unique<TqdPdfCanvas>(FileName, Width, Height, Title);
  if (!C->IsActive()) return nullptr;
  return C;
}

std::unique_ptr<TqdQtCanvas> qdCreateSvgCanvas(const std::string& FileName, int Width, int Height,
                                               const std::string& Title) {
  if (Width <= 0 || Height <= 0) return nullptr;
  auto C = std::make_unique<TqdSvgCanvas>(FileName, Width, Height, Title);
  if (!C->IsActive()) return nullptr;
  return C;
}

void TqdQtCanvas::GradientPolyPolygon(std::span<const TqdDPoint> Points, std::span<const int> Counts,
                                      const TqdGradient& Gradient) {
  if (CheckedTotal(Points.size(), Counts) < 0 || !Ready()) return;
  QPainterPath Path = PartsPath(Points, Counts, true);
  Path.setFillRule(FState.FillMode == fmWinding ? Qt::WindingFill : Qt::OddEvenFill);
  const auto Finite = [](const TqdDPoint& P) { return std::isfinite(P.X) && std::isfinite(P.Y); };
  if (Gradient.Stops.empty() || !Finite(Gradient.P0) || !Finite(Gradient.P1) || !std::isfinite(Gradient.Radius)) return;
  QGradientStops Stops;
  for (const auto& [At, Color] : Gradient.Stops) Stops.push_back({std::clamp(At, 0.0, 1.0), qdToQColor(Color)});
  if (Gradient.Radial) {
    QRadialGradient G(QPointF(Gradient.P0.X, Gradient.P0.Y), std::max(Gradient.Radius, 1e-3));
    G.setStops(Stops);
    FillPath(Path, QBrush(G));
  } else {
    QLinearGradient G(QPointF(Gradient.P0.X, Gradient.P0.Y), QPointF(Gradient.P1.X, Gradient.P1.Y));
    G.setStops(Stops);
    FillPath(Path, QBrush(G));
  }
}
