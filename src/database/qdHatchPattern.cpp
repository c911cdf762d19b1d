#include "qdHatchPattern.h"

#include <algorithm>
#include <cmath>

#include "qdFunction.h"
#include "qdLines.h"
#include "qdTicks.h"

// ---------------------------------------------------------------- pattern data

namespace {

constexpr double cnstDegToRad = 3.14159265358979323846 / 180.0;

double WithoutTurns(double A) { return A - std::trunc(A / 360.0) * 360.0; }

TFPoint Rotated(const TFPoint& P, double Deg) {
  const double C = std::cos(Deg * cnstDegToRad), S = std::sin(Deg * cnstDegToRad);
  return {P.X * C - P.Y * S, P.X * S + P.Y * C, P.Z};
}

}  // namespace

void TqdCADHatchPatternData::AssignEntity(const TqdDXFEntity& Source) {
  if (const auto* S = dynamic_cast<const TqdCADHatchPatternData*>(&Source)) CopyPatterns(*S);
}

TqdHatchPatternData& TqdCADHatchPatternData::AddPatternData(const TFPoint& ABasePoint, double ASign, double Angle) {
  TqdHatchPatternData D;
  D.LineAngle = Angle;
  D.BaseP = ABasePoint;
  D.Offset = {1, ASign, 0};
  FPatterns.push_back(std::move(D));
  return FPatterns.back();
}

void TqdCADHatchPatternData::ClearPatterns(bool AClearCapacity) {
  FAngle = 0;
  FName.clear();
  FScale = 1;
  FPatterns.clear();
  if (AClearCapacity) FPatterns.shrink_to_fit();
}

void TqdCADHatchPatternData::CopyPatterns(const TqdCADHatchPatternData& Source) {
  FAngle = Source.FAngle;
  FName = Source.FName;
  FScale = Source.FScale;
  FPatterns = Source.FPatterns;
}

void TqdCADHatchPatternData::RotateLines(double Delta) {
  if (!std::isfinite(Delta) || Delta == 0) return;
  for (TqdHatchPatternData& L : FPatterns) {
    L.LineAngle += Delta;
    L.BaseP = Rotated(L.BaseP, Delta);
    L.Offset = Rotated(L.Offset, Delta);
  }
}

void TqdCADHatchPatternData::ScaleLines(double Factor) {
  if (!std::isfinite(Factor) || Factor == 1) return;
  for (TqdHatchPatternData& L : FPatterns) {
    L.BaseP = {L.BaseP.X * Factor, L.BaseP.Y * Factor, 0};
    L.Offset = {L.Offset.X * Factor, L.Offset.Y * Factor, 0};
    if (L.IsDash)
      for (double& D : L.Lines) D *= Factor;
  }
}

void TqdCADHatchPatternData::DoAngle(double A) {
  if (!std::isfinite(A) || std::fabs(A) >= 2147483647.0) return;
  const double A1 = WithoutTurns(A);
  RotateLines(A1 - FAngle);
  FAngle = A1;
}

void TqdCADHatchPatternData::DoScale(double A) {
  if (!std::isfinite(A)) return;
  // A stored scale that is not usable counts as 1, so the factor is never A itself
  // applied on top of lines already at some other scale.
  const double Current = std::isfinite(FScale) && FScale > 1e-6 ? FScale : 1.0;
  ScaleLines(A / Current);
  FScale = A;
}

// ---------------------------------------------------------------- loops

TqdHatchLoops::TqdHatchLoops(const std::vector<std::vector<TFPoint>>& ALoops) {
  FLoops.reserve(ALoops.size());
  for (const auto& Src : ALoops) {
    TLoop L;
    L.PointCount = static_cast<int>(Src.size());
    if (!Src.empty()) {
      // Edges whose end meets their start within 1e-6 are skipped; the start stays.
      TF2DPoint S = Src.front().Point2D();
      const std::size_t N = Src.size();
      for (std::size_t I = 1; I <= N; ++I) {
        const TF2DPoint P = Src[I % N].Point2D();
        if (IsEqualF2DPoints(S, P, 1e-6)) continue;
        L.Edges.push_back({S, P});
        S = P;
      }
      for (const TFPoint& P : Src) UnionBoxPoint2D(L.Box, P);
      NormalizeBox(L.Box);
    }
    // Rows of edges: about one edge per row, each edge entered in the rows its Y range
    // meets; an index larger than a few entries per edge takes fewer rows.
    const std::size_t NE = L.Edges.size();
    const double H = L.Box.Top - L.Box.Bottom;
    if (NE > 8 && H > 0) {
      std::size_t Rows = std::min<std::size_t>(NE, 1 << 16);
      for (;;) {
        const double RowH = H / static_cast<double>(Rows);
        std::size_t Total = 0;
        for (const TEdge& E : L.Edges) {
          const double Lo = std::min(E.A.Y, E.B.Y) - L.Box.Bottom, Hi = std::max(E.A.Y, E.B.Y) - L.Box.Bottom;
          Total += static_cast<std::size_t>(std::clamp(std::floor(Hi / RowH) - std::floor(Lo / RowH), 0.0, 1e9)) + 1;
        }
        if (Total <= 8 * NE + Rows || Rows <= 1) {
          L.RowH = RowH;
          break;
        }
        Rows /= 4;
        if (Rows < 1) Rows = 1;
      }
      const std::size_t NRows = std::max<std::size_t>(1, static_cast<std::size_t>(std::llround(H / L.RowH)));
      auto RowOf = [&](double Y) {
        const double R = std::floor((Y - L.Box.Bottom) / L.RowH);
        return static_cast<std::size_t>(std::clamp(R, 0.0, static_cast<double>(NRows - 1)));
      };
      std::vector<int> Counts(NRows + 1, 0);
      for (const TEdge& E : L.Edges)
        for (std::size_t R = RowOf(std::min(E.A.Y, E.B.Y) - 1e-9), Hi = RowOf(std::max(E.A.Y, E.B.Y) + 1e-9); R <= Hi; ++R)
          ++Counts[R + 1];
      for (std::size_t R = 1; R <= NRows; ++R) Counts[R] += Counts[R - 1];
      L.Starts = Counts;
      L.Items.resize(static_cast<std::size_t>(Counts[NRows]));
      for (std::size_t K = 0; K < NE; ++K) {
        const TEdge& E = L.Edges[K];
        for (std::size_t R = RowOf(std::min(E.A.Y, E.B.Y) - 1e-9), Hi = RowOf(std::max(E.A.Y, E.B.Y) + 1e-9); R <= Hi; ++R)
          L.Items[static_cast<std::size_t>(Counts[R]++)] = static_cast<int>(K);
      }
    }
    FEdgeCount += NE;
    FLoops.push_back(std::move(L));
  }
}

namespace {

// Distance from M to the segment A-B is below Eps.
bool OnSegment(const TF2DPoint& A, const TF2DPoint& B, const TF2DPoint& M, double Eps) {
  const double DX = B.X - A.X, DY = B.Y - A.Y;
  const double L2 = DX * DX + DY * DY;
  double T = L2 > 0 ? ((M.X - A.X) * DX + (M.Y - A.Y) * DY) / L2 : 0;
  T = std::clamp(T, 0.0, 1.0);
  const double PX = A.X + DX * T - M.X, PY = A.Y + DY * T - M.Y;
  return PX * PX + PY * PY < Eps * Eps;
}

}  // namespace

bool TqdHatchLoops::InsideLoop(const TLoop& L, const TF2DPoint& M) const {
  if (L.PointCount < 3) return false;
  const TFRect& B = L.Box;
  if (M.X < B.Left - 1e-9 || M.X > B.Right + 1e-9 || M.Y < B.Bottom - 1e-9 || M.Y > B.Top + 1e-9) return false;
  bool In = false;
  auto Test = [&](const TEdge& E) {
    if (OnSegment(E.A, E.B, M, 1e-15)) return false;
    if ((E.A.Y > M.Y) != (E.B.Y > M.Y)) {
      const double X = E.A.X + (M.Y - E.A.Y) * (E.B.X - E.A.X) / (E.B.Y - E.A.Y);
      if (M.X < X) In = !In;
    }
    return true;
  };
  if (L.RowH > 0) {
    const std::size_t NRows = L.Starts.size() - 1;
    const double R = std::floor((M.Y - B.Bottom) / L.RowH);
    const std::size_t Row = static_cast<std::size_t>(std::clamp(R, 0.0, static_cast<double>(NRows - 1)));
    for (int K = L.Starts[Row]; K < L.Starts[Row + 1]; ++K)
      if (!Test(L.Edges[static_cast<std::size_t>(L.Items[static_cast<std::size_t>(K)])])) return false;
    return In;
  }
  for (const TEdge& E : L.Edges)
    if (!Test(E)) return false;
  return In;
}

bool TqdHatchLoops::Inside(const TF2DPoint& M) const {
  int N = 0;
  for (const TLoop& L : FLoops)
    if (InsideLoop(L, M)) ++N;
  return (N & 1) != 0;
}

// ---------------------------------------------------------------- clipper

void TqdParserLineHatch::TryEdge(const TqdHatchLoops::TEdge& E, std::vector<TF2DPoint>& Out) {
  const double RX = FPoint2.X - FPoint1.X, RY = FPoint2.Y - FPoint1.Y;
  const double SX = E.B.X - E.A.X, SY = E.B.Y - E.A.Y;
  const double Den = RX * SY - RY * SX;
  const double QX = E.A.X - FPoint1.X, QY = E.A.Y - FPoint1.Y;
  if (std::fabs(Den) > FAccuracyCmp) {
    const double T = (QX * SY - QY * SX) / Den;  // on the line
    const double U = (QX * RY - QY * RX) / Den;  // on the edge
    if (T >= -FAccuracyCmp && T <= 1 + FAccuracyCmp && U >= -FAccuracyCmp && U <= 1 + FAccuracyCmp)
      Out.push_back({FPoint1.X + RX * T, FPoint1.Y + RY * T});
    return;
  }
  // Parallel: an edge lying on the line is a boundary edge.
  const double Len = std::hypot(RX, RY);
  if (Len <= 0) return;
  const double DA = std::fabs(QX * RY - QY * RX) / Len;
  const double DB = std::fabs((E.B.X - FPoint1.X) * RY - (E.B.Y - FPoint1.Y) * RX) / Len;
  if (DA < 1e-6 && DB < 1e-6) FBoundaryEdges.push_back(E);
}

void TqdParserLineHatch::Parse(const TF2DPoint& AP1, const TF2DPoint& AP2, std::vector<TF2DPoint>& AParsedLines,
                               const std::vector<std::pair<int, int>>* AEdges) {
  const auto& Loops = FLoops.Loops();
  if (Loops.empty()) return;
  FPoint1 = AP1;
  FPoint2 = AP2;
  FBoundaryEdges.clear();
  const std::size_t N = AParsedLines.size();
  if (AEdges) {
    for (const auto& [L, K] : *AEdges) TryEdge(Loops[static_cast<std::size_t>(L)].Edges[static_cast<std::size_t>(K)], AParsedLines);
  } else {
    for (const auto& L : Loops)
      for (const auto& E : L.Edges) TryEdge(E, AParsedLines);
  }
  auto First = AParsedLines.begin() + static_cast<std::ptrdiff_t>(N);
  std::sort(First, AParsedLines.end(), [](const TF2DPoint& A, const TF2DPoint& B) {
    return A.Y < B.Y || (A.Y == B.Y && A.X < B.X);
  });
  // Of two equal neighbours the first goes.
  std::size_t W = N;
  for (std::size_t I = N; I < AParsedLines.size(); ++I) {
    if (I + 1 < AParsedLines.size() && IsEqualF2DPoints(AParsedLines[I], AParsedLines[I + 1], 1e-6)) continue;
    AParsedLines[W++] = AParsedLines[I];
  }
  AParsedLines.resize(W);
  // Keep the points where the class of the stretch after them changes.
  bool Prev = false;  // outside
  std::size_t D = N;
  while (D + 1 < AParsedLines.size()) {
    const TF2DPoint M{(AParsedLines[D].X + AParsedLines[D + 1].X) / 2, (AParsedLines[D].Y + AParsedLines[D + 1].Y) / 2};
    bool In;
    bool OnEdge = false;
    for (const auto& E : FBoundaryEdges)
      if (OnSegment(E.A, E.B, M, 1e-9)) {
        OnEdge = true;
        break;
      }
    In = !OnEdge && FLoops.Inside(M);
    if (In == Prev) {
      AParsedLines.erase(AParsedLines.begin() + static_cast<std::ptrdiff_t>(D));
    } else {
      ++D;
      Prev = In;
    }
  }
  // A last point that leaves nothing is not an entry.
  if (D < AParsedLines.size() && !Prev) AParsedLines.resize(D);
}

// ---------------------------------------------------------------- dashes

namespace {

double FloorTol(double X) {
  double R = std::nearbyint(X);
  if (R - X >= 1e-15) R -= 1;
  return R;
}

}  // namespace

bool qdDashHatchPiece(const TF2DPoint& E, const TF2DPoint& X, const TF2DPoint& P, const std::vector<double>& ADashes,
                      std::vector<TFPoint>& AOut, double AMemoryLeft) {
  const std::size_t N = ADashes.size() & ~std::size_t(1);  // an odd last entry is never used
  double L = 0;
  for (std::size_t I = 0; I < N; ++I) L += std::fabs(ADashes[I]);
  const double Len = std::hypot(X.X - E.X, X.Y - E.Y);
  auto Whole = [&] {
    AOut.push_back({E.X, E.Y, 0});
    AOut.push_back({X.X, X.Y, 0});
    return false;
  };
  if (N < 2 || !std::isfinite(L) || !(L > 0) || !std::isfinite(Len) || Len < 1e-4 || Len / L > qdDashLimit())
    return Whole();
  // The output of one piece is bounded before it is made.
  const double MaxPoints = (Len / L + 2) * static_cast<double>(N);
  if (MaxPoints * 24 > AMemoryLeft) throw EqdLimitMemoryUsesException();
  // The lower end: smaller Y, or smaller X for a horizontal piece.
  const bool Horizontal = std::fabs(P.Y - E.Y) < 1e-6 && std::fabs(E.Y - X.Y) < 1e-6;
  const bool ELower = Horizontal ? E.X <= X.X : E.Y <= X.Y;
  const TF2DPoint S = ELower ? E : X, T = ELower ? X : E;
  const double UX = (T.X - S.X) / Len, UY = (T.Y - S.Y) / Len;
  const double Ell = std::hypot(P.X - S.X, P.Y - S.Y);
  const double Q = FloorTol(Ell / L);
  const bool Above = Horizontal ? P.X > S.X : P.Y > S.Y;
  const double Move = (Above ? -(Q + 1) : Q) * L;
  const TF2DPoint P1{P.X + UX * Move, P.Y + UY * Move};
  double F = std::hypot(P1.X - S.X, P1.Y - S.Y);
  if (F > L && std::fabs(F - L) >= 1e-15) F = std::fmod(F, L);  // rounding
  const std::size_t Start = AOut.size();
  const std::size_t Cap = static_cast<std::size_t>(MaxPoints) + 2;
  auto At = [&](double Dist) { AOut.push_back({S.X + (T.X - S.X) * Dist / Len, S.Y + (T.Y - S.Y) * Dist / Len, 0}); };
  auto Next = [&](std::size_t J) { return ADashes[(J + 1) % N]; };
  auto Emit = [&](std::size_t J, double Dist) {
    if (ADashes[J] * Next(J) > 0) return;
    At(Dist);
  };
  double Tt = 0;
  bool Done = false;
  if (std::fabs(F - L) < 1e-15) {
    if (ADashes[0] >= 0) At(0);
  } else {
    double Cum = 0;
    std::size_t I = 0;
    for (; I < N; ++I) {
      Cum += std::fabs(ADashes[I]);
      if (Cum >= F) break;
    }
    if (I == N) return true;
    if (ADashes[I] >= 0) At(0);
    Tt = Cum - F;
    if (Tt >= Len) {
      if (ADashes[I] >= 0) At(Len);
      Done = true;
    } else {
      Emit(I, Tt);
      for (std::size_t J = I + 1; J < N && !Done; ++J) {
        Tt += std::fabs(ADashes[J]);
        if (Tt >= Len) {
          if (ADashes[J] >= 0) At(Len);
          Done = true;
        } else {
          Emit(J, Tt);
        }
      }
    }
  }
  for (std::size_t J = 0; !Done; J = (J + 1) % N) {
    Tt += std::fabs(ADashes[J]);
    if (Tt >= Len || std::fabs(Tt - Len) < 1e-6) {
      if (ADashes[J] >= 0) At(Len);
      break;
    }
    Emit(J, Tt);
    if (AOut.size() - Start > Cap) break;
  }
  // The output is read in pairs: an unpaired last point would shift every later pair.
  if ((AOut.size() - Start) % 2 != 0) AOut.pop_back();
  return true;
}

// ---------------------------------------------------------------- generator

namespace {

struct TGenState {
  const TqdHatchLimits& Limits;
  std::uint64_t StartMs;
  double Memory = 0;
  void Charge(double Bytes) {
    Memory += Bytes;
    if (!(Memory <= Limits.MemoryBytes)) throw EqdLimitMemoryUsesException();
  }
  void CheckTime() const {
    if (GetTickCount() - StartMs > Limits.TimeMs) throw EqdLimitTimeUsesException();
  }
};

struct TPiece {
  TF2DPoint E, X, P;
};

// Lays one family over the box and clips it; appends the pieces.
void FamilyPieces(const TqdHatchLoops& Loops, const TFRect& R, const TqdHatchPatternData& Line, int& H,
                  TGenState& G, std::vector<TPiece>& Pieces) {
  const double W = R.Right - R.Left, Ht = R.Top - R.Bottom;
  if (!(W > 0) || !(Ht > 0)) return;
  const double Theta = Line.LineAngle * cnstDegToRad;
  const TF2DPoint B = Line.BaseP.Point2D(), O = Line.Offset.Point2D();
  if (!std::isfinite(Theta) || !std::isfinite(B.X) || !std::isfinite(B.Y) || !std::isfinite(O.X) || !std::isfinite(O.Y))
    return;
  const double Ct = std::cos(Theta), St = std::sin(Theta);
  const bool Vert = std::fabs(Ct) < 0.001, Horz = !Vert && std::fabs(St) < 0.001;
  const bool NearHalfPi = std::fabs(std::fabs(std::remainder(Theta, 2 * 3.14159265358979323846)) - 3.14159265358979323846 / 2) < 1e-6;
  // An offset that does not move from one line to the next.
  if (O.X == 0 && (NearHalfPi || O.Y == 0)) return;
  if (O.X != 0 && !NearHalfPi && std::fabs(O.Y / O.X - St / Ct) < 1e-5) return;
  const double Size = std::max(W, Ht);
  // Families drawn exactly vertical or horizontal step by one component of the offset.
  if (Vert && !(std::fabs(O.X) > 1e-9 * Size)) return;
  if (Horz && !(std::fabs(O.Y) > 1e-9 * Size)) return;

  // Phase point: a point of the family near the box's top-left corner.
  const TF2DPoint C{R.Left, R.Top};
  double L = 0;
  for (double D : Line.Lines) L += std::fabs(D);
  if (!std::isfinite(L)) L = 0;
  TF2DPoint S;
  if (NearHalfPi) {
    S = {C.X, B.Y + (C.X - B.X) * O.Y / O.X};
  } else if (O.X == 0) {
    S = C;
  } else {
    const double Den = O.X * St - O.Y * Ct;
    const double K = ((C.X - B.X) * St - (C.Y - B.Y) * Ct) / Den;
    S = {B.X + K * O.X, B.Y + K * O.Y};
  }
  const double OL = std::hypot(O.X, O.Y);
  const double K = std::trunc(std::hypot(S.X - B.X, S.Y - B.Y) / OL);
  TF2DPoint B1{B.X + K * O.X, B.Y + K * O.Y};
  const TF2DPoint B2{B.X - K * O.X, B.Y - K * O.Y};
  if (SqrDistance2D(B2, S) < SqrDistance2D(B1, S)) B1 = B2;
  const double M = L != 0 ? std::trunc(std::hypot(C.X - S.X, C.Y - S.Y) / L) * L : std::hypot(S.X - B1.X, S.Y - B1.Y);
  const TF2DPoint Q1{B1.X + M * Ct, B1.Y + M * St}, Q2{B1.X - M * Ct, B1.Y - M * St};
  const TF2DPoint P0 = SqrDistance2D(Q1, C) <= SqrDistance2D(Q2, C) ? Q1 : Q2;
  if (!std::isfinite(P0.X) || !std::isfinite(P0.Y)) return;

  // Style classification.
  if (Vert) H = H == hsHorizontal ? hsCross : hsVertical;
  else if (Horz) H = H == hsVertical ? hsCross : hsHorizontal;
  else if ((Ct > 0) == (St > 0)) H = H == hsBDiagonal ? hsDiagCross : hsFDiagonal;
  else H = H == hsFDiagonal ? hsDiagCross : hsBDiagonal;

  // The lines' direction and normal; line j lies at normal coordinate S0 + j * Step.
  const TF2DPoint Dir = Vert ? TF2DPoint{0, 1} : Horz ? TF2DPoint{1, 0} : TF2DPoint{Ct, St};
  const TF2DPoint Nrm{-Dir.Y, Dir.X};
  const double S0 = Nrm.X * P0.X + Nrm.Y * P0.Y;
  const double Step = Nrm.X * O.X + Nrm.Y * O.Y;
  // A step too small for the box is left to the budget below, which it exceeds.
  if (!(std::fabs(Step) > 0)) return;
  auto JRange = [&](double Lo, double Hi, double& J0, double& J1) {
    double A = (Lo - S0) / Step, Bv = (Hi - S0) / Step;
    if (A > Bv) std::swap(A, Bv);
    J0 = std::ceil(A - 1e-9);
    J1 = std::floor(Bv + 1e-9);
  };
  double CMin = 1e300, CMax = -1e300;
  for (const TF2DPoint& Q : {TF2DPoint{R.Left, R.Bottom}, TF2DPoint{R.Left, R.Top}, TF2DPoint{R.Right, R.Bottom},
                             TF2DPoint{R.Right, R.Top}}) {
    const double V = Nrm.X * Q.X + Nrm.Y * Q.Y;
    CMin = std::min(CMin, V);
    CMax = std::max(CMax, V);
  }
  double J0, J1;
  JRange(CMin, CMax, J0, J1);
  if (!(J1 >= J0)) return;
  // Every line costs its share of the budget before any is made.
  G.Charge((J1 - J0 + 1) * 52);

  // Edges by the first line they may meet, swept over the lines in order.
  struct TCand {
    double J0, J1;
    int Loop, Edge;
  };
  std::vector<TCand> Cands;
  const auto& LL = Loops.Loops();
  for (std::size_t LI = 0; LI < LL.size(); ++LI)
    for (std::size_t EI = 0; EI < LL[LI].Edges.size(); ++EI) {
      const auto& E = LL[LI].Edges[EI];
      const double VA = Nrm.X * E.A.X + Nrm.Y * E.A.Y, VB = Nrm.X * E.B.X + Nrm.Y * E.B.Y;
      const double Tol = 1e-9 * (std::fabs(VA) + std::fabs(VB) + Size) + 1e-6;
      double A, Bv;
      JRange(std::min(VA, VB) - Tol, std::max(VA, VB) + Tol, A, Bv);
      A = std::max(A, J0);
      Bv = std::min(Bv, J1);
      if (Bv >= A) Cands.push_back({A, Bv, static_cast<int>(LI), static_cast<int>(EI)});
    }
  std::sort(Cands.begin(), Cands.end(), [](const TCand& A, const TCand& B) { return A.J0 < B.J0; });
  std::vector<std::pair<int, int>> Active;
  std::vector<double> ActiveEnd;
  std::size_t Next = 0;
  TqdParserLineHatch Parser(Loops);
  std::vector<TF2DPoint> Hits;
  double J = J0;
  while (J <= J1) {
    if (Next >= Cands.size() && Active.empty()) break;
    // No edge meets the lines before the next candidate's first line.
    if (Active.empty() && Cands[Next].J0 > J) J = Cands[Next].J0;
    while (Next < Cands.size() && Cands[Next].J0 <= J) {
      Active.push_back({Cands[Next].Loop, Cands[Next].Edge});
      ActiveEnd.push_back(Cands[Next].J1);
      ++Next;
    }
    std::size_t Wr = 0;
    for (std::size_t I = 0; I < Active.size(); ++I)
      if (ActiveEnd[I] >= J) {
        Active[Wr] = Active[I];
        ActiveEnd[Wr++] = ActiveEnd[I];
      }
    Active.resize(Wr);
    ActiveEnd.resize(Wr);
    const TF2DPoint Q{P0.X + J * O.X, P0.Y + J * O.Y};
    TF2DPoint A, Bp;
    if (Vert) {
      A = {Q.X, R.Bottom};
      Bp = {Q.X, R.Top};
    } else if (Horz) {
      A = {R.Left, Q.Y};
      Bp = {R.Right, Q.Y};
    } else {
      A = {Q.X + (R.Top - Q.Y) * Ct / St, R.Top};
      Bp = {Q.X + (R.Bottom - Q.Y) * Ct / St, R.Bottom};
    }
    Hits.clear();
    if (!Active.empty()) Parser.Parse(A, Bp, Hits, &Active);
    G.CheckTime();
    G.Charge(48.0 * static_cast<double>(Hits.size()) + 4);
    for (std::size_t I = 0; I + 1 < Hits.size(); I += 2) Pieces.push_back({Hits[I], Hits[I + 1], Q});
    J += 1;
  }
}

}  // namespace

void qdGenerateHatchPattern(const std::vector<std::vector<TFPoint>>& ALoops, const TFRect& ABox,
                            const std::vector<TqdHatchPatternData>& APatterns, int& AStyle,
                            std::vector<TFPoint>& AOut, const TqdHatchLimits& ALimits) {
  TGenState G{ALimits, GetTickCount()};
  const TqdHatchLoops Loops(ALoops);
  int H = AStyle;
  std::vector<TPiece> Pieces;
  std::vector<double> Dashes;
  std::vector<TFPoint> Tmp;
  for (const TqdHatchPatternData& Line : APatterns) {
    Pieces.clear();
    FamilyPieces(Loops, ABox, Line, H, G, Pieces);
    if (!Line.IsDash) {
      for (const TPiece& P : Pieces) {
        AOut.push_back({P.E.X, P.E.Y, 0});
        AOut.push_back({P.X.X, P.X.Y, 0});
      }
    } else if (!Pieces.empty()) {
      Dashes = Line.Lines;
      const double A = Line.LineAngle - FloorTol(Line.LineAngle / 360) * 360;
      if (A >= 180) std::reverse(Dashes.begin(), Dashes.end());
      for (const TPiece& P : Pieces) {
        Tmp.clear();
        if (Dashes.size() < 2) {
          Tmp.push_back({P.E.X, P.E.Y, 0});
          Tmp.push_back({P.X.X, P.X.Y, 0});
        } else {
          qdDashHatchPiece(P.E, P.X, P.P, Dashes, Tmp, ALimits.MemoryBytes - G.Memory);
        }
        G.CheckTime();
        G.Charge(24.0 * static_cast<double>(Tmp.size()));
        AOut.insert(AOut.end(), Tmp.begin(), Tmp.end());
      }
    }
    if (AOut.size() > ALimits.MaxPoints) throw EqdLimitMemoryUsesException();
  }
  AStyle = H;
}
