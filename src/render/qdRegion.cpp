// Clip regions and images on top of QRegion and QImage.
#include <QColor>
#include <QPolygon>
#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

#include "qdQtInternal.h"

namespace {

// Polygons are cut to this box before they become regions: the region is
// built scanline by scanline, so a vertex far away would cost memory and time
// per row without adding a visible pixel, and QRegion gives up (and leaks)
// on polygons more than 100000 rows high.
constexpr double RegionLimit = 32767.0;

// One Sutherland-Hodgman pass against an axis-aligned half-plane. The cut keeps
// winding numbers inside the half-plane, so both fill modes survive it.
void ClipHalfPlane(std::vector<QPointF>& Pts, int Axis, double Limit, bool KeepBelow) {
  if (Pts.empty()) return;
  auto Coord = [Axis](const QPointF& P) { return Axis == 0 ? P.x() : P.y(); };
  auto Inside = [&](const QPointF& P) { return KeepBelow ? Coord(P) <= Limit : Coord(P) >= Limit; };
  std::vector<QPointF> Out;
  Out.reserve(Pts.size() + 4);
  QPointF Prev = Pts.back();
  for (const QPointF& Cur : Pts) {
    const bool CurIn = Inside(Cur), PrevIn = Inside(Prev);
    if (CurIn != PrevIn) {
      const double T = (Limit - Coord(Prev)) / (Coord(Cur) - Coord(Prev));
      QPointF X = Prev + (Cur - Prev) * T;
      if (Axis == 0) X.setX(Limit); else X.setY(Limit);
      Out.push_back(X);
    }
    if (CurIn) Out.push_back(Cur);
    Prev = Cur;
  }
  Pts.swap(Out);
}

}  // namespace

QRect qdToQRect(const TqdIntRect& R) {
  int L = qdClampDeviceCoord(R.Left), T = qdClampDeviceCoord(R.Top);
  int Ri = qdClampDeviceCoord(R.Right), B = qdClampDeviceCoord(R.Bottom);
  if (Ri < L) std::swap(L, Ri);
  if (B < T) std::swap(T, B);
  if (Ri == L || B == T) return QRect();
  return QRect(L, T, Ri - L, B - T);
}

TqdIntRect qdFromQRect(const QRect& R) {
  if (R.isEmpty()) return {};
  return {R.x(), R.y(), R.x() + R.width(), R.y() + R.height()};
}

QColor qdToQColor(TqdDeviceColor C) {
  return QColor(int(C & 0xFF), int((C >> 8) & 0xFF), int((C >> 16) & 0xFF));
}

// ---- TqdRegion

void TqdRegionAccess::Set(TqdRegion& R, QRegion Rgn) {
  if (!R.FData) R.FData = std::make_unique<TqdRegionData>();
  R.FData->Rgn = std::move(Rgn);
}

TqdRegion::TqdRegion() = default;
TqdRegion::TqdRegion(const TqdRegion& Other)
    : FData(Other.FData ? std::make_unique<TqdRegionData>(*Other.FData) : nullptr) {}
TqdRegion& TqdRegion::operator=(const TqdRegion& Other) {
  if (this != &Other)
    FData = Other.FData ? std::make_unique<TqdRegionData>(*Other.FData) : nullptr;
  return *this;
}
TqdRegion::TqdRegion(TqdRegion&&) noexcept = default;
TqdRegion& TqdRegion::operator=(TqdRegion&&) noexcept = default;
TqdRegion::~TqdRegion() = default;

void TqdRegion::SetPolygon(std::span<const TqdPoint> Points, TqdFillMode FillMode) {
  QPolygon Poly;
  if (Points.size() >= 3) {
    bool Far = false;
    for (const TqdPoint& P : Points)
      if (std::abs(qdClampDeviceCoord(P.X)) > RegionLimit ||
          std::abs(qdClampDeviceCoord(P.Y)) > RegionLimit)
        Far = true;
    if (!Far) {
      Poly.reserve(static_cast<qsizetype>(Points.size()));
      for (const TqdPoint& P : Points) Poly.append(QPoint(P.X, P.Y));
    } else {
      std::vector<QPointF> F;
      F.reserve(Points.size());
      for (const TqdPoint& P : Points)
        F.emplace_back(qdClampDeviceCoord(P.X), qdClampDeviceCoord(P.Y));
      ClipHalfPlane(F, 0, -RegionLimit, false);
      ClipHalfPlane(F, 0, RegionLimit, true);
      ClipHalfPlane(F, 1, -RegionLimit, false);
      ClipHalfPlane(F, 1, RegionLimit, true);
      for (const QPointF& P : F) Poly.append(QPoint(qdDeviceCoord(P.x()), qdDeviceCoord(P.y())));
    }
  }
  QRegion Rgn;
  if (Poly.size() >= 3)
    Rgn = QRegion(Poly, FillMode == fmWinding ? Qt::WindingFill : Qt::OddEvenFill);
  TqdRegionAccess::Set(*this, std::move(Rgn));
}

void TqdRegion::SetRect(const TqdIntRect& R) { TqdRegionAccess::Set(*this, QRegion(qdToQRect(R))); }

void TqdRegion::Clear() { FData.reset(); }

void TqdRegion::Intersect(const TqdRegion& Other) {
  if (!Other.FData) return;
  if (!FData) {
    *this = Other;
    return;
  }
  FData->Rgn = FData->Rgn.intersected(Other.FData->Rgn);
}

void TqdRegion::Exclude(const TqdRegion& Other) {
  if (!Other.FData) return;
  if (!FData) {
    *this = Other;
    return;
  }
  FData->Rgn = FData->Rgn.xored(Other.FData->Rgn);
}

void TqdRegion::Union(const TqdRegion& Other) {
  if (!Other.FData) return;
  if (!FData) {
    *this = Other;
    return;
  }
  FData->Rgn = FData->Rgn.united(Other.FData->Rgn);
}

void TqdRegion::Offset(int DX, int DY) {
  if (FData) FData->Rgn.translate(qdClampDeviceCoord(DX), qdClampDeviceCoord(DY));
}

void TqdRegion::Update(const TqdCanvas& Canvas) { *this = Canvas.ClipRegion(); }

void TqdRegion::Select(TqdCanvas& Canvas) const { Canvas.SetClipRegion(*this); }

void TqdRegion::Paint(TqdCanvas& Canvas) const { Canvas.FillRegion(*this); }

bool TqdRegion::IsNull() const { return !FData; }

bool TqdRegion::IsEmpty() const { return !FData || FData->Rgn.isEmpty(); }

TqdRegionState TqdRegion::GetState() const {
  if (!FData) return rsNull;
  const int N = FData->Rgn.rectCount();
  return N == 0 ? rsEmpty : N == 1 ? rsSimple : rsComplex;
}

TqdIntRect TqdRegion::GetBox() const {
  return FData ? qdFromQRect(FData->Rgn.boundingRect()) : TqdIntRect{};
}

bool TqdRegion::Contains(int X, int Y) const { return !FData || FData->Rgn.contains(QPoint(X, Y)); }

bool TqdRegion::IntersectsRect(const TqdIntRect& R) const {
  const QRect Q = qdToQRect(R);
  if (Q.isEmpty()) return false;
  return !FData || FData->Rgn.intersects(Q);
}

void TqdRegion::GetRects(std::vector<TqdIntRect>& Rects) const {
  Rects.clear();
  if (!FData) return;
  for (const QRect& R : FData->Rgn) Rects.push_back(qdFromQRect(R));
}

// ---- TqdImage

namespace {
// Images beyond this many pixels are refused rather than allocated.
constexpr qint64 MaxImagePixels = qint64(1) << 26;

QImage Normalized(const QImage& Img) {
  if (Img.isNull()) return {};
  return Img.convertToFormat(Img.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied
                                                   : QImage::Format_RGB32);
}
}  // namespace

void TqdImageAccess::Set(TqdImage& I, const QImage& Img) {
  QImage N = Normalized(Img);
  if (N.isNull()) {
    I.FData.reset();
    return;
  }
  if (!I.FData) I.FData = std::make_unique<TqdImageData>();
  I.FData->Img = std::move(N);
}

TqdImage::TqdImage() = default;
TqdImage::TqdImage(const TqdImage& Other)
    : FData(Other.FData ? std::make_unique<TqdImageData>(*Other.FData) : nullptr) {}
TqdImage& TqdImage::operator=(const TqdImage& Other) {
  if (this != &Other)
    FData = Other.FData ? std::make_unique<TqdImageData>(*Other.FData) : nullptr;
  return *this;
}
TqdImage::TqdImage(TqdImage&&) noexcept = default;
TqdImage& TqdImage::operator=(TqdImage&&) noexcept = default;
TqdImage::~TqdImage() = default;

bool TqdImage::Create(int Width, int Height, TqdDeviceColor Fill) {
  FData.reset();
  if (Width <= 0 || Height <= 0 || qint64(Width) * Height > MaxImagePixels) return false;
  QImage Img(Width, Height, QImage::Format_RGB32);
  if (Img.isNull()) return false;
  Img.fill(qdToQColor(Fill));
  TqdImageAccess::Set(*this, Img);
  return true;
}

bool TqdImage::LoadFromFile(const std::string& FileName) {
  QImage Img;
  if (!Img.load(QString::fromStdString(FileName)) ||
      qint64(Img.width()) * Img.height() > MaxImagePixels) {
    FData.reset();
    return false;
  }
  TqdImageAccess::Set(*this, Img);
  return FData != nullptr;
}

bool TqdImage::LoadFromMemory(std::span<const std::uint8_t> Bytes) {
  QImage Img;
  if (Bytes.empty() || Bytes.size() > size_t(std::numeric_limits<int>::max()) ||
      !Img.loadFromData(Bytes.data(), static_cast<int>(Bytes.size())) ||
      qint64(Img.width()) * Img.height() > MaxImagePixels) {
    FData.reset();
    return false;
  }
  TqdImageAccess::Set(*this, Img);
  return FData != nullptr;
}

bool TqdImage::IsEmpty() const { return !FData; }
int TqdImage::Width() const { return FData ? FData->Img.width() : 0; }
int TqdImage::Height() const { return FData ? FData->Img.height() : 0; }

void TqdImage::SetPixel(int X, int Y, TqdDeviceColor Color) {
  if (!FData || !FData->Img.valid(X, Y)) return;
  FData->Img.setPixelColor(X, Y, qdToQColor(Color));
}

TqdDeviceColor TqdImage::Pixel(int X, int Y) const {
  if (!FData || !FData->Img.valid(X, Y)) return 0;
  const QRgb C = FData->Img.pixel(X, Y);
  return TqdDeviceColor(qRed(C)) | (TqdDeviceColor(qGreen(C)) << 8) | (TqdDeviceColor(qBlue(C)) << 16);
}

bool TqdImage::IsMonochrome() const {
  if (!FData) return false;
  const QImage& Img = FData->Img;
  for (int Y = 0; Y < Img.height(); ++Y) {
    const QRgb* Line = reinterpret_cast<const QRgb*>(Img.constScanLine(Y));
    for (int X = 0; X < Img.width(); ++X) {
      const QRgb C = Line[X] & 0xFFFFFF;
      if (C != 0 && C != 0xFFFFFF) return false;
    }
  }
  return true;
}
