// Clip regions as banded rectangles and pictures as plain pixel words.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <utility>

#include "qdCanvas.h"

struct TqdRegionData {
  std::vector<TqdIntRect> Rects;  // banded, see qdCanvas.h
};

struct TqdImageData {
  int W = 0, H = 0;
  bool Alpha = false;
  std::vector<std::uint32_t> Px;
};

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
std::vector<TqdIntRect> ScanPolygon(std::span<const TqdDPoint> Pts, bool Winding) {
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

  std::vector<TqdIntRect> Rects;
  std::vector<const TEdge*> Active;
  std::vector<std::pair<double, int>> Cross;
  std::vector<std::pair<int, int>> Spans, PrevSpans;
  size_t BandStart = 0;  // first rect of the band that the previous row built
  size_t Next = 0;
  int Row = Edges.front().FirstRow;
  auto Flush = [&](int Y) {
    // Spans of row Y: extend the previous band when equal, else a new band.
    if (!Spans.empty() && Spans == PrevSpans && !Rects.empty() && Rects.back().Bottom == Y) {
      for (size_t K = BandStart; K < Rects.size(); ++K) Rects[K].Bottom = Y + 1;
    } else {
      BandStart = Rects.size();
      for (auto [L, R] : Spans) Rects.push_back({L, Y, R + 1, Y + 1});
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
  return Rects;
}


using TSpans = std::vector<std::pair<int, int>>;  // [Left, Right) columns, sorted, apart

enum TOp { opAnd, opOr, opXor };

// The columns of a band under Op from the columns of both operands.
void CombineSpans(const TSpans& A, const TSpans& B, TOp Op, TSpans& Out) {
  Out.clear();
  std::vector<int> Xs;
  Xs.reserve(2 * (A.size() + B.size()));
  for (auto [L, R] : A) Xs.insert(Xs.end(), {L, R});
  for (auto [L, R] : B) Xs.insert(Xs.end(), {L, R});
  std::sort(Xs.begin(), Xs.end());
  Xs.erase(std::unique(Xs.begin(), Xs.end()), Xs.end());
  size_t IA = 0, IB = 0;
  for (size_t K = 0; K + 1 < Xs.size(); ++K) {
    const int X0 = Xs[K], X1 = Xs[K + 1];
    while (IA < A.size() && A[IA].second <= X0) ++IA;
    while (IB < B.size() && B[IB].second <= X0) ++IB;
    const bool InA = IA < A.size() && A[IA].first <= X0;
    const bool InB = IB < B.size() && B[IB].first <= X0;
    const bool In = Op == opAnd ? InA && InB : Op == opOr ? InA || InB : InA != InB;
    if (!In) continue;
    if (!Out.empty() && Out.back().second == X0)
      Out.back().second = X1;
    else
      Out.emplace_back(X0, X1);
  }
}

// Appends a band of rows [Y0, Y1), extending the last band when it ends at Y0
// with the same columns, so that the result stays banded.
void AddBand(std::vector<TqdIntRect>& Rects, size_t& LastBand, const TSpans& Spans, int Y0, int Y1) {
  if (Spans.empty()) return;
  if (LastBand < Rects.size() && Rects.back().Bottom == Y0 && Rects.size() - LastBand == Spans.size()) {
    bool Same = true;
    for (size_t K = 0; K < Spans.size() && Same; ++K)
      Same = Rects[LastBand + K].Left == Spans[K].first && Rects[LastBand + K].Right == Spans[K].second;
    if (Same) {
      for (size_t K = LastBand; K < Rects.size(); ++K) Rects[K].Bottom = Y1;
      return;
    }
  }
  LastBand = Rects.size();
  for (auto [L, R] : Spans) Rects.push_back({L, Y0, R, Y1});
}

// The columns of the band of Rects that covers row Y, walking Index forward.
void SpansAt(const std::vector<TqdIntRect>& Rects, size_t& Index, int Y, TSpans& Out) {
  Out.clear();
  while (Index < Rects.size() && Rects[Index].Bottom <= Y) ++Index;
  for (size_t K = Index; K < Rects.size() && Rects[K].Top <= Y && Rects[K].Top == Rects[Index].Top; ++K)
    Out.emplace_back(Rects[K].Left, Rects[K].Right);
}

std::vector<TqdIntRect> Combine(const std::vector<TqdIntRect>& A, const std::vector<TqdIntRect>& B, TOp Op) {
  std::vector<int> Ys;
  Ys.reserve(2 * (A.size() + B.size()));
  for (const TqdIntRect& R : A) Ys.insert(Ys.end(), {R.Top, R.Bottom});
  for (const TqdIntRect& R : B) Ys.insert(Ys.end(), {R.Top, R.Bottom});
  std::sort(Ys.begin(), Ys.end());
  Ys.erase(std::unique(Ys.begin(), Ys.end()), Ys.end());
  std::vector<TqdIntRect> Out;
  size_t IA = 0, IB = 0, LastBand = std::numeric_limits<size_t>::max();
  TSpans SA, SB, S;
  for (size_t K = 0; K + 1 < Ys.size(); ++K) {
    SpansAt(A, IA, Ys[K], SA);
    SpansAt(B, IB, Ys[K], SB);
    CombineSpans(SA, SB, Op, S);
    AddBand(Out, LastBand, S, Ys[K], Ys[K + 1]);
  }
  return Out;
}

// R with its corners clamped into the device range and put in order; an empty
// rectangle when it has no area.
TqdIntRect Normalized(const TqdIntRect& R) {
  int L = qdClampDeviceCoord(R.Left), T = qdClampDeviceCoord(R.Top);
  int Ri = qdClampDeviceCoord(R.Right), B = qdClampDeviceCoord(R.Bottom);
  if (Ri < L) std::swap(L, Ri);
  if (B < T) std::swap(T, B);
  if (Ri == L || B == T) return {};
  return {L, T, Ri, B};
}

}  // namespace

// ---- TqdRegion

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
  auto Data = std::make_unique<TqdRegionData>();
  const bool Bad = std::any_of(Points.begin(), Points.end(),
                               [](const TqdDPoint& P) { return std::isnan(P.X) || std::isnan(P.Y); });
  if (Points.size() >= 3 && !Bad) {
    std::vector<TqdDPoint> D(Points.begin(), Points.end());
    for (TqdDPoint& P : D) {
      P.X = std::clamp(P.X, double(-qdMaxDeviceCoord), double(qdMaxDeviceCoord));
      P.Y = std::clamp(P.Y, double(-qdMaxDeviceCoord), double(qdMaxDeviceCoord));
    }
    Data->Rects = ScanPolygon(D, FillMode == fmWinding);
  }
  FData = std::move(Data);
}

void TqdRegion::SetRect(const TqdIntRect& R) {
  auto Data = std::make_unique<TqdRegionData>();
  const TqdIntRect N = Normalized(R);
  if (N.Right > N.Left) Data->Rects.push_back(N);
  FData = std::move(Data);
}

void TqdRegion::Clear() { FData.reset(); }

void TqdRegion::Intersect(const TqdRegion& Other) {
  if (!Other.FData) return;
  if (!FData) {
    *this = Other;
    return;
  }
  FData->Rects = Combine(FData->Rects, Other.FData->Rects, opAnd);
}

void TqdRegion::Exclude(const TqdRegion& Other) {
  if (!Other.FData) return;
  if (!FData) {
    *this = Other;
    return;
  }
  FData->Rects = Combine(FData->Rects, Other.FData->Rects, opXor);
}

void TqdRegion::Union(const TqdRegion& Other) {
  if (!Other.FData) return;
  if (!FData) {
    *this = Other;
    return;
  }
  FData->Rects = Combine(FData->Rects, Other.FData->Rects, opOr);
}

void TqdRegion::Offset(int DX, int DY) {
  if (!FData || FData->Rects.empty()) return;
  // The region stays within the device range however often it moves.
  const TqdIntRect B = GetBox();
  const std::int64_t X = std::clamp<std::int64_t>(DX, std::int64_t(-qdMaxDeviceCoord) - B.Left,
                                                  std::int64_t(qdMaxDeviceCoord) - (B.Right - 1));
  const std::int64_t Y = std::clamp<std::int64_t>(DY, std::int64_t(-qdMaxDeviceCoord) - B.Top,
                                                  std::int64_t(qdMaxDeviceCoord) - (B.Bottom - 1));
  for (TqdIntRect& R : FData->Rects) {
    R.Left += int(X);
    R.Right += int(X);
    R.Top += int(Y);
    R.Bottom += int(Y);
  }
}

void TqdRegion::Update(const TqdCanvas& Canvas) { *this = Canvas.ClipRegion(); }

void TqdRegion::Select(TqdCanvas& Canvas) const { Canvas.SetClipRegion(*this); }

void TqdRegion::Paint(TqdCanvas& Canvas) const { Canvas.FillRegion(*this); }

bool TqdRegion::IsNull() const { return !FData; }

bool TqdRegion::IsEmpty() const { return !FData || FData->Rects.empty(); }

TqdRegionState TqdRegion::GetState() const {
  if (!FData) return rsNull;
  const size_t N = FData->Rects.size();
  return N == 0 ? rsEmpty : N == 1 ? rsSimple : rsComplex;
}

TqdIntRect TqdRegion::GetBox() const {
  if (!FData || FData->Rects.empty()) return {};
  const std::vector<TqdIntRect>& Rs = FData->Rects;
  TqdIntRect B{Rs.front().Left, Rs.front().Top, Rs.front().Right, Rs.back().Bottom};
  for (const TqdIntRect& R : Rs) {
    B.Left = std::min(B.Left, R.Left);
    B.Right = std::max(B.Right, R.Right);
  }
  return B;
}

bool TqdRegion::Contains(int X, int Y) const {
  if (!FData) return true;
  const std::vector<TqdIntRect>& Rs = FData->Rects;
  // Bands come in row order, so the bottoms never decrease.
  auto It = std::partition_point(Rs.begin(), Rs.end(), [Y](const TqdIntRect& R) { return R.Bottom <= Y; });
  for (; It != Rs.end() && It->Top <= Y; ++It)
    if (X >= It->Left && X < It->Right) return true;
  return false;
}

bool TqdRegion::IntersectsRect(const TqdIntRect& R) const {
  const TqdIntRect Q = Normalized(R);
  if (Q.Right <= Q.Left) return false;
  if (!FData) return true;
  const std::vector<TqdIntRect>& Rs = FData->Rects;
  auto It = std::partition_point(Rs.begin(), Rs.end(), [&Q](const TqdIntRect& A) { return A.Bottom <= Q.Top; });
  for (; It != Rs.end() && It->Top < Q.Bottom; ++It)
    if (It->Left < Q.Right && It->Right > Q.Left) return true;
  return false;
}

void TqdRegion::GetRects(std::vector<TqdIntRect>& Rects) const {
  Rects.clear();
  if (FData) Rects = FData->Rects;
}

std::span<const TqdIntRect> TqdRegion::Rects() const {
  if (!FData) return {};
  return FData->Rects;
}

// ---- TqdImage

namespace {
// Images beyond this many pixels are refused rather than allocated.
constexpr std::int64_t MaxImagePixels = std::int64_t(1) << 26;

// 0x00BBGGRR to an opaque 0xAARRGGBB word.
std::uint32_t ToWord(TqdDeviceColor C) {
  return 0xFF000000u | ((C & 0xFF) << 16) | (C & 0xFF00) | ((C >> 16) & 0xFF);
}
}  // namespace

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
  if (Width <= 0 || Height <= 0 || std::int64_t(Width) * Height > MaxImagePixels) return false;
  return Assign(Width, Height, std::vector<std::uint32_t>(size_t(Width) * size_t(Height), ToWord(Fill)), false);
}

bool TqdImage::Assign(int Width, int Height, std::vector<std::uint32_t> Pixels, bool HasAlpha) {
  FData.reset();
  if (Width <= 0 || Height <= 0 || std::int64_t(Width) * Height > MaxImagePixels ||
      Pixels.size() != size_t(Width) * size_t(Height))
    return false;
  FData = std::make_unique<TqdImageData>();
  FData->W = Width;
  FData->H = Height;
  FData->Alpha = HasAlpha;
  FData->Px = std::move(Pixels);
  return true;
}

bool TqdImage::IsEmpty() const { return !FData; }
bool TqdImage::HasAlpha() const { return FData && FData->Alpha; }
const std::uint32_t* TqdImage::Bits() const { return FData ? FData->Px.data() : nullptr; }
int TqdImage::Width() const { return FData ? FData->W : 0; }
int TqdImage::Height() const { return FData ? FData->H : 0; }

void TqdImage::SetPixel(int X, int Y, TqdDeviceColor Color) {
  if (!FData || X < 0 || Y < 0 || X >= FData->W || Y >= FData->H) return;
  FData->Px[size_t(Y) * size_t(FData->W) + size_t(X)] = ToWord(Color);
}

TqdDeviceColor TqdImage::Pixel(int X, int Y) const {
  if (!FData || X < 0 || Y < 0 || X >= FData->W || Y >= FData->H) return 0;
  const std::uint32_t C = FData->Px[size_t(Y) * size_t(FData->W) + size_t(X)];
  return ((C >> 16) & 0xFF) | (C & 0xFF00) | ((C & 0xFF) << 16);
}

bool TqdImage::IsMonochrome() const {
  if (!FData) return false;
  return std::all_of(FData->Px.begin(), FData->Px.end(), [](std::uint32_t W) {
    const std::uint32_t C = W & 0xFFFFFF;
    return C == 0 || C == 0xFFFFFF;
  });
}
