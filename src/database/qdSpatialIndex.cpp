#include "qdSpatialIndex.h"

#include <algorithm>
#include <cmath>

#include "DXFBase.h"
#include "qdFunction.h"

namespace {
// Cells are kept within this count per side, so that a hostile extent cannot ask
// for a huge grid.
constexpr int cnstMaxCellsPerSide = 2048;

int CellOf(double V, double Min, double Size, int N) {
  const double C = std::floor((V - Min) / Size);
  if (!(C >= 0)) return 0;  // also NaN
  if (C >= N - 1) return N - 1;
  return static_cast<int>(C);
}
}  // namespace

TqdSpatialIndex::TqdSpatialIndex(const TqdDXFEntity& G) : FGroup(G) {
  FCount = G.Count();
  struct TBox {
    float X0, Y0, X1, Y1;
  };
  std::vector<TBox> Boxes(static_cast<std::size_t>(FCount));
  std::vector<char> Has(static_cast<std::size_t>(FCount), 0);
  bool Any = false;
  for (int I = 0; I < FCount; ++I) {
    const TqdDXFEntity* E = G.GetEntity(I);
    const TFRect B = E ? E->Box() : cnstBadRect;
    if (!E || !IsFiniteBox(B) || B.Left > B.Right || B.Bottom > B.Top || std::fabs(B.Left) > 1e30 ||
        std::fabs(B.Right) > 1e30 || std::fabs(B.Top) > 1e30 || std::fabs(B.Bottom) > 1e30) {
      FAlways.push_back(I);
      continue;
    }
    // Floats rounded outwards keep the index conservative.
    Boxes[static_cast<std::size_t>(I)] = {std::nextafter(static_cast<float>(B.Left), -INFINITY),
                                          std::nextafter(static_cast<float>(B.Bottom), -INFINITY),
                                          std::nextafter(static_cast<float>(B.Right), INFINITY),
                                          std::nextafter(static_cast<float>(B.Top), INFINITY)};
    Has[static_cast<std::size_t>(I)] = 1;
    const double Z1 = std::min(B.Z1, B.Z2), Z2 = std::max(B.Z1, B.Z2);
    if (!Any) {
      FMinX = B.Left, FMaxX = B.Right, FMinY = B.Bottom, FMaxY = B.Top, FMinZ = Z1, FMaxZ = Z2;
      Any = true;
    } else {
      FMinX = std::min(FMinX, B.Left), FMaxX = std::max(FMaxX, B.Right);
      FMinY = std::min(FMinY, B.Bottom), FMaxY = std::max(FMaxY, B.Top);
      FMinZ = std::min(FMinZ, Z1), FMaxZ = std::max(FMaxZ, Z2);
    }
  }
  FBits.assign((static_cast<std::size_t>(FCount) + 63) / 64, 0);
  if (!Any) return;
  const double W = std::max(FMaxX - FMinX, 1e-9), H = std::max(FMaxY - FMinY, 1e-9);
  // About four children per finest cell, cells roughly square.
  const double Cells = std::max(1.0, (FCount - static_cast<double>(FAlways.size())) / 4.0);
  const double Side = std::sqrt(Cells * W / H);
  int NX = static_cast<int>(std::clamp(std::ceil(Side), 1.0, double(cnstMaxCellsPerSide)));
  int NY = static_cast<int>(std::clamp(std::ceil(Cells / std::max(Side, 1.0)), 1.0, double(cnstMaxCellsPerSide)));
  for (;;) {
    TLevel L;
    L.NX = NX, L.NY = NY;
    L.CW = W / NX, L.CH = H / NY;
    FLevels.push_back(std::move(L));
    if (NX == 1 && NY == 1) break;
    NX = (NX + 1) / 2;
    NY = (NY + 1) / 2;
  }
  // Level and cell of each child; then a counting sort per level (children stay in
  // list order within a cell).
  std::vector<std::uint8_t> Lev(static_cast<std::size_t>(FCount), 0);
  std::vector<int> Cell(static_cast<std::size_t>(FCount), 0);
  for (TLevel& L : FLevels) L.Start.assign(static_cast<std::size_t>(L.NX) * L.NY + 1, 0);
  const int Top = static_cast<int>(FLevels.size()) - 1;
  for (int I = 0; I < FCount; ++I) {
    if (!Has[static_cast<std::size_t>(I)]) continue;
    const TBox& B = Boxes[static_cast<std::size_t>(I)];
    const double BW = double(B.X1) - B.X0, BH = double(B.Y1) - B.Y0;
    int K = 0;
    while (K < Top && (BW > FLevels[static_cast<std::size_t>(K)].CW || BH > FLevels[static_cast<std::size_t>(K)].CH)) ++K;
    TLevel& L = FLevels[static_cast<std::size_t>(K)];
    const int C = CellOf(B.Y0, FMinY, L.CH, L.NY) * L.NX + CellOf(B.X0, FMinX, L.CW, L.NX);
    Lev[static_cast<std::size_t>(I)] = static_cast<std::uint8_t>(K);
    Cell[static_cast<std::size_t>(I)] = C;
    ++L.Start[static_cast<std::size_t>(C) + 1];
  }
  for (TLevel& L : FLevels) {
    for (std::size_t C = 1; C < L.Start.size(); ++C) L.Start[C] += L.Start[C - 1];
    L.Items.resize(static_cast<std::size_t>(L.Start.back()));
  }
  std::vector<std::vector<int>> Fill(FLevels.size());
  for (std::size_t K = 0; K < FLevels.size(); ++K) Fill[K].assign(FLevels[K].Start.begin(), FLevels[K].Start.end() - 1);
  for (int I = 0; I < FCount; ++I) {
    if (!Has[static_cast<std::size_t>(I)]) continue;
    const std::size_t K = Lev[static_cast<std::size_t>(I)];
    FLevels[K].Items[static_cast<std::size_t>(Fill[K][static_cast<std::size_t>(Cell[static_cast<std::size_t>(I)])]++)] = I;
  }
}

bool TqdSpatialIndex::Moved(int Slot) {
  if (Slot < 0 || Slot >= FCount) return true;
  FMoved.push_back(Slot);
  return static_cast<int>(FMoved.size()) <= std::max(1024, FCount / 16);
}

bool TqdSpatialIndex::Query(double X0, double Y0, double X1, double Y1, std::vector<int>& Out) const {
  Out.clear();
  if (!(X0 <= X1 && Y0 <= Y1)) {
    // Nothing can be in an empty area but what has no box.
    if (std::isnan(X0) || std::isnan(X1) || std::isnan(Y0) || std::isnan(Y1)) return false;
  }
  if (FLevels.empty() || (X0 <= FMinX && Y0 <= FMinY && X1 >= FMaxX && Y1 >= FMaxY)) return false;
  auto Mark = [this](int I) { FBits[static_cast<std::size_t>(I) >> 6] |= std::uint64_t{1} << (I & 63); };
  std::size_t Marked = 0;
  for (const TLevel& L : FLevels) {
    // A child reaches at most one cell beyond its corner's cell.
    const int CX0 = CellOf(X0 - L.CW, FMinX, L.CW, L.NX), CX1 = CellOf(X1, FMinX, L.CW, L.NX);
    const int CY0 = CellOf(Y0 - L.CH, FMinY, L.CH, L.NY), CY1 = CellOf(Y1, FMinY, L.CH, L.NY);
    if (X1 < FMinX - L.CW || Y1 < FMinY - L.CH || X0 > FMaxX || Y0 > FMaxY) continue;
    for (int CY = CY0; CY <= CY1; ++CY) {
      const std::size_t Row = static_cast<std::size_t>(CY) * L.NX;
      const int From = L.Start[Row + CX0], To = L.Start[Row + CX1 + 1];
      for (int K = From; K < To; ++K) Mark(L.Items[static_cast<std::size_t>(K)]);
      Marked += static_cast<std::size_t>(To - From);
    }
  }
  for (int I : FAlways) Mark(I);
  for (int I : FMoved) {
    const TqdDXFEntity* E = FGroup.GetEntity(I);
    const TFRect B = E ? E->Box() : cnstBadRect;
    if (!IsFiniteBox(B) || (B.Left <= X1 && B.Right >= X0 && B.Bottom <= Y1 && B.Top >= Y0)) Mark(I);
  }
  Out.reserve(Marked + FAlways.size() + FMoved.size());
  for (std::size_t W = 0; W < FBits.size(); ++W) {
    std::uint64_t V = FBits[W];
    if (!V) continue;
    FBits[W] = 0;
    while (V) {
      const int B = __builtin_ctzll(V);
      Out.push_back(static_cast<int>(W * 64 + static_cast<std::size_t>(B)));
      V &= V - 1;
    }
  }
  return true;
}

bool TqdSpatialIndex::QueryDevice(const TFMatrix& M, double DX0, double DY0, double DX1, double DY1,
                                  std::vector<int>& Out) const {
  Out.clear();
  // The area of the children's plane under the device rectangle: its corners taken
  // back through the matrix at both ends of the Z range.
  const double A = M.EX.X, B = M.EY.X, C = M.EX.Y, D = M.EY.Y;
  const double Det = A * D - B * C;
  const double Scale = std::max({std::fabs(A), std::fabs(B), std::fabs(C), std::fabs(D)});
  if (!std::isfinite(Det) || !(std::fabs(Det) > 1e-12 * Scale * Scale)) return false;
  const double X[2] = {DX0, DX1}, Y[2] = {DY0, DY1}, Z[2] = {FMinZ, FMaxZ};
  double X0 = INFINITY, Y0 = INFINITY, X1 = -INFINITY, Y1 = -INFINITY;
  for (double Zv : Z)
    for (double Xv : X)
      for (double Yv : Y) {
        const double U = Xv - M.E0.X - Zv * M.EZ.X, V = Yv - M.E0.Y - Zv * M.EZ.Y;
        const double PX = (D * U - B * V) / Det, PY = (A * V - C * U) / Det;
        X0 = std::min(X0, PX), X1 = std::max(X1, PX), Y0 = std::min(Y0, PY), Y1 = std::max(Y1, PY);
      }
  if (!(std::isfinite(X0) && std::isfinite(X1) && std::isfinite(Y0) && std::isfinite(Y1))) return false;
  // A hair wider against rounding.
  const double EX = (X1 - X0) * 1e-9 + 1e-9, EY = (Y1 - Y0) * 1e-9 + 1e-9;
  return Query(X0 - EX, Y0 - EY, X1 + EX, Y1 + EY, Out);
}
