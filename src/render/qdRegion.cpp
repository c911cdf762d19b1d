// Clip regions and images on top of QRegion and QImage.
#include <QColor>
#include <QPolygon>
#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

#include "qdQtInternal.h"

namespace {

// Regions are built for rows and columns within +/- this: a region only ever
// clips a device, and a vertex far away must not cost a row of rectangles
// per pixel of its height.
constexpr int RegionLimit = 32768;

struct TEdge {
  double X0, Y0, DX, DY;
  int FirstRow, LastRow, Dir;
};

// The pixels whose centres lie inside the polygon, the rule of the polygon
// fill, as banded rectangles: rows scanned with an active edge list, equal
// neighbouring rows merged into one band.
QRegion ScanPolygon(std::span<const TqdDPoint> Pts, bool Winding) {
  std::vector<TEdge> Edges;
  Edges.reserve(Pts.size());
  for (size_t I = 0; I < Pts.size(); ++I) {
    const TqdDPoint& A = Pts[I];
    const TqdDPoint& B = Pts[(I + 1) % Pts.size()];
    if (A.Y == B.Y) continue;
    const double Top = std::min(A.Y, B.Y), Bottom = std::max(A.Y, B.Y);
    // Rows whose centre Y + 0.5 lies in [Top, Bottom).
    const double First = std::ceil(Top - 0.5), Last = std::ceil(Bottom - 0.5) - 1;
    if (Last < First || Last < -RegionLimit || First >= RegionLimit) continue;
    TEdge E;
    E.X0 = A.X;
    E.Y0 = A.Y;
    E.DX = B.X - A.X;
    E.DY = B.Y - A.Y;
    E.FirstRow = int(std::max(First, double(-RegionLimit)));
    E.LastRow = int(std::min(Last, double(RegionLimit - 1)));
    E.Dir = B.Y > A.Y ? 1 : -1;
    Edges.push_back(E);
  }
  if (Edges.empty()) return {};
  std::sort(Edges.begin(), Edges.end(),
            [](const TEdge& A, const TEdge& B) { return A.FirstRow < B.FirstRow; });

  std::vector<QRect> Rects;
  std::vector<const TEdge*> Active;
  std::vector<std::pair<double, int>> Cross;
  std::vector<std::pair<int, int>> Spans, PrevSpans;
  size_t BandStart = 0;  // first rect of the band that the previous row built
  size_t Next = 0;
  int Row = Edges.front().FirstRow;
  auto Flush = [&](int Y) {
    // Spans of row Y: extend the previous band when equal, else a new band.
    if (!Spans.empty() && Spans == PrevSpans && !Rects.empty() && Rects.back().bottom() == Y - 1) {
      for (size_t K = BandStart; K < Rects.size(); ++K) Rects[K].setBottom(Y);
    } else {
      BandStart = Rects.size();
      for (auto [L, R] : Spans) Rects.emplace_back(QPoint(L, Y), QPoint(R, Y));
    }
    PrevSpans.swap(Spans);
  };
  while (Next < Edges.size() || !Active.empty()) {
    if (Active.empty() && Next < Edges.size()) Row = std::max(Row, Edges[Next].FirstRow);
    while (Next < Edges.size() && Edges[Next].FirstRow <= Row) Active.push_back(&Edges[Next++]);
    std::erase_if(Active, [Row](const TEdge* E) { return E->LastRow < Row; });
    if (Active.empty()) continue;
    const double YC = Row + 0.5;
    Cross.clear();
    for (const TEdge* E : Active) {
      // Clamped so that a nearly flat edge cannot overshoot its ends.
      const double T = std::clamp((YC - E->Y0) / E->DY, 0.0, 1.0);
      Cross.emplace_back(E->X0 + T * E->DX, E->Dir);
    }
    std::sort(Cross.begin(), Cross.end());
    Spans.clear();
    int Wind = 0;
    double SpanStart = 0;
    for (size_t K = 0; K < Cross.size(); ++K) {
      const bool WasIn = Winding ? Wind != 0 : (K % 2) == 1;
      Wind += Cross[K].second;
      const bool IsIn = Winding ? Wind != 0 : (K % 2) == 0;
      if (!WasIn && IsIn) SpanStart = Cross[K].first;
      if (WasIn && !IsIn) {
        // Pixels X with SpanStart < X + 0.5 <= end, as the fill rounds.
        const double L = std::max(std::floor(SpanStart + 0.5), double(-RegionLimit));
        const double R = std::min(std::floor(Cross[K].first + 0.5) - 1, double(RegionLimit - 1));
        if (R < L) continue;
        if (!Spans.empty() && Spans.back().second >= int(L) - 1)
          Spans.back().second = std::max(Spans.back().second, int(R));
        else
          Spans.emplace_back(int(L), int(R));
      }
    }
    Flush(Row);
    ++Row;
  }
  QRegion Rgn;
  if (!Rects.empty()) Rgn.setRects(Rects.data(), int(Rects.size()));
  return Rgn;
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
  std::vector<TqdDPoint> D;
  D.reserve(Points.size());
  for (const TqdPoint& P : Points) D.push_back({double(qdClampDeviceCoord(P.X)), double(qdClampDeviceCoord(P.Y))});
  SetPolygon(std::span<const TqdDPoint>(D), FillMode);
}

void TqdRegion::SetPolygon(std::span<const TqdDPoint> Points, TqdFillMode FillMode) {
  QRegion Rgn;
  const bool Bad = std::any_of(Points.begin(), Points.end(),
                               [](const TqdDPoint& P) { return std::isnan(P.X) || std::isnan(P.Y); });
  if (Points.size() >= 3 && !Bad) {
    std::vector<TqdDPoint> D(Points.begin(), Points.end());
    for (TqdDPoint& P : D) {
      P.X = std::clamp(P.X, double(-qdMaxDeviceCoord), double(qdMaxDeviceCoord));
      P.Y = std::clamp(P.Y, double(-qdMaxDeviceCoord), double(qdMaxDeviceCoord));
    }
    Rgn = ScanPolygon(D, FillMode == fmWinding);
  }
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
  if (!FData || FData->Rgn.isEmpty()) return;
  // The region stays within the device range however often it moves.
  const QRect B = FData->Rgn.boundingRect();
  const qint64 X = std::clamp<qint64>(DX, qint64(-qdMaxDeviceCoord) - B.left(),
                                      qint64(qdMaxDeviceCoord) - B.right());
  const qint64 Y = std::clamp<qint64>(DY, qint64(-qdMaxDeviceCoord) - B.top(),
                                      qint64(qdMaxDeviceCoord) - B.bottom());
  FData->Rgn.translate(int(X), int(Y));
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
