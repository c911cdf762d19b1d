// The plotter reader: arcs, circles, wedges, curves, rectangles and polygons.
#include "HPGL2.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "Blocks.h"
#include "Curves.h"
#include "Inserts.h"
#include "Objects.h"
#include "TableItems.h"
#include "Texts.h"
#include "qdFunction.h"

#include "HPGL2Consts.h"

using namespace qdhpgl;

namespace {
// A fill loop handed over closed, as loading would close it: loading then neither
// copies nor grows it. Its points come from ToDrawing, so they are finite.
void AddClosedLoop(std::vector<std::vector<TFPoint>>& Loops, std::vector<TFPoint>&& L) {
  if (L.empty()) return;
  if (!IsEqualF2DPoints(L.back().Point2D(), L.front().Point2D(), 1e-9)) L.push_back(L.front());
  Loops.push_back(std::move(L));
}
}  // namespace

// ---- arcs and curves

TF2DPoint TqdHPGLReader::AxisScale() const {
  if (!FScaling) return {1, 1};
  return {FScale.X != 0 ? FScale.X : 1, FScale.Y != 0 ? FScale.Y : 1};
}

// C is in plotter space (user units times the scale); the radius and angles are in
// user units, where the arc is round. Under unequal scales it is an ellipse on paper.
void TqdHPGLReader::AddArc(const TF2DPoint& C, double R, double AStart, double ASweep) {
  if (!(R > 0) || !std::isfinite(R) || !std::isfinite(AStart) || !std::isfinite(ASweep) || R > cnstMaxCoord) return;
  ASweep = std::clamp(ASweep, -360.0, 360.0);
  const TF2DPoint S = AxisScale();
  auto At = [&](double Deg) {
    const double A = Deg * M_PI / 180;
    return TF2DPoint{C.X + R * std::cos(A) * S.X, C.Y + R * std::sin(A) * S.Y};
  };
  const TF2DPoint End = At(AStart + ASweep);
  const bool Round = std::fabs(std::fabs(S.X) - std::fabs(S.Y)) <= 1e-9 * std::fabs(S.X);
  if (FPolyMode || std::fabs(ASweep) >= 360 || !Round || WidePen()) {
    // Points: for a polygon, a full turn, or an ellipse.
    const int N = std::clamp(static_cast<int>(std::ceil(std::fabs(ASweep) / 5)), 2, 72);
    if (!FPolyMode && FLine.empty()) StartPolyline();
    for (int I = 1; I <= N; ++I) AddPoint(At(AStart + ASweep * I / N), false);
    if (!FPolyMode) FinishPolyline();
    FPenPos = End;
    return;
  }
  FinishPolyline();
  const TF2DPoint P0 = At(AStart);
  const TFPoint DC = ToDrawing(C.X, C.Y, false), DS = ToDrawing(P0.X, P0.Y, false), DE = ToDrawing(End.X, End.Y, false);
  double SA = std::atan2(DS.Y - DC.Y, DS.X - DC.X) * 180 / M_PI;
  double EA = std::atan2(DE.Y - DC.Y, DE.X - DC.X) * 180 / M_PI;
  // A mirrored scale turns the other way.
  const bool CCW = (ASweep > 0) == (S.X * S.Y > 0);
  if (!CCW) std::swap(SA, EA);
  auto Arc = std::make_unique<TqdDXFArc>();
  Arc->SetPoint(DC);
  Arc->SetRadius(R * std::fabs(S.X) * cnstMMPerStep);
  Arc->SetStartAngle(SA);
  Arc->SetEndAngle(EA);
  AddEntity(std::move(Arc), false);
  FPenPos = End;
}

void TqdHPGLReader::ArcAbs(bool ARelative) {
  if (!ReadParams(true) || FCommandParameters.size() < 3) return;
  TF2DPoint C{FCommandParameters[0], FCommandParameters[1]};
  if (ARelative) C = {FPenPos.X + C.X, FPenPos.Y + C.Y};
  const TF2DPoint S = AxisScale();
  // The sweep was read as a coordinate: undo its scale.
  const double Sweep = FCommandParameters[2] / S.X;
  const double UX = (FPenPos.X - C.X) / S.X, UY = (FPenPos.Y - C.Y) / S.Y;
  const double R = std::hypot(UX, UY);
  const double Start = std::atan2(UY, UX) * 180 / M_PI;
  if (FPenDown || FPolyMode) AddArc(C, R, Start, Sweep);
  else {
    const double A = (Start + Sweep) * M_PI / 180;
    if (std::isfinite(A) && R > 0) FPenPos = {C.X + R * std::cos(A) * S.X, C.Y + R * std::sin(A) * S.Y};
  }
  Moved();
}

void TqdHPGLReader::ArcThree(bool ARelative) {
  if (!ReadParams(true) || FCommandParameters.size() < 4) return;
  const TF2DPoint S = AxisScale();
  // In user units, where the arc is round.
  const TF2DPoint A{FPenPos.X / S.X, FPenPos.Y / S.Y};
  TF2DPoint B{FCommandParameters[0] / S.X, FCommandParameters[1] / S.Y};
  TF2DPoint C{FCommandParameters[2] / S.X, FCommandParameters[3] / S.Y};
  if (ARelative) {
    B = {A.X + B.X, A.Y + B.Y};
    C = {A.X + C.X, A.Y + C.Y};
  }
  const TF2DPoint CEnd{C.X * S.X, C.Y * S.Y};
  const double D = 2 * (A.X * (B.Y - C.Y) + B.X * (C.Y - A.Y) + C.X * (A.Y - B.Y));
  const double Span = std::max({std::fabs(B.X - A.X), std::fabs(B.Y - A.Y), std::fabs(C.X - A.X), std::fabs(C.Y - A.Y)});
  if (!std::isfinite(D) || std::fabs(D) <= 1e-12 * Span * Span) {
    // Collinear: a line to the end.
    if (FPenDown || FPolyMode) AddPoint(CEnd, false);
    else FPenPos = CEnd;
    Moved();
    return;
  }
  const double A2 = A.X * A.X + A.Y * A.Y, B2 = B.X * B.X + B.Y * B.Y, C2 = C.X * C.X + C.Y * C.Y;
  const TF2DPoint O{(A2 * (B.Y - C.Y) + B2 * (C.Y - A.Y) + C2 * (A.Y - B.Y)) / D,
                    (A2 * (C.X - B.X) + B2 * (A.X - C.X) + C2 * (B.X - A.X)) / D};
  const double R = std::hypot(A.X - O.X, A.Y - O.Y);
  const double SA = std::atan2(A.Y - O.Y, A.X - O.X) * 180 / M_PI;
  const double EA = std::atan2(C.Y - O.Y, C.X - O.X) * 180 / M_PI;
  const double Turn = (B.X - A.X) * (C.Y - A.Y) - (B.Y - A.Y) * (C.X - A.X);
  double Sweep = std::fmod(EA - SA, 360.0);
  if (Turn > 0 && Sweep <= 0) Sweep += 360;
  if (Turn < 0 && Sweep >= 0) Sweep -= 360;
  if (FPenDown || FPolyMode) AddArc({O.X * S.X, O.Y * S.Y}, R, SA, Sweep);
  FPenPos = CEnd;
  Moved();
}

void TqdHPGLReader::Bezier(bool ARelative) {
  if (!ReadParams(true) || FCommandParameters.size() < 6) return;
  std::vector<TF2DPoint> Pts{FPenPos};
  TF2DPoint Base = FPenPos;
  for (std::size_t I = 0; I + 1 < FCommandParameters.size(); I += 2) {
    TF2DPoint P{FCommandParameters[I], FCommandParameters[I + 1]};
    if (ARelative) P = {Base.X + P.X, Base.Y + P.Y};
    Pts.push_back(P);
    if (ARelative && (Pts.size() - 1) % 3 == 0) Base = P;
  }
  if ((Pts.size() - 4) % 3 != 0) return;
  const std::size_t Curves = (Pts.size() - 1) / 3;
  if (FPenDown && !FPolyMode) {
    FinishPolyline();
    auto S = std::make_unique<TqdDXFSpline>();
    S->SetDegree(3);
    for (std::size_t K = 0; K < Curves; ++K)
      for (int J = 0; J < 4; ++J) {
        const TF2DPoint& P = Pts[3 * K + static_cast<std::size_t>(J)];
        S->Controls().Add(ToDrawing(P.X, P.Y, false));
      }
    for (int J = 0; J < 4; ++J) S->Knots().Add(0);
    for (std::size_t K = 1; K < Curves; ++K)
      for (int J = 0; J < 4; ++J) S->Knots().Add(static_cast<float>(static_cast<double>(K) / Curves));
    for (int J = 0; J < 4; ++J) S->Knots().Add(1);
    AddEntity(std::move(S), false);
    FPenPos = Pts.back();
  } else if (FPenDown) {
    for (std::size_t K = 0; K < Curves; ++K) {
      const TF2DPoint* Q = &Pts[3 * K];
      for (int I = 1; I <= 16; ++I) {
        const double T = I / 16.0, U = 1 - T;
        AddPoint({U * U * U * Q[0].X + 3 * U * U * T * Q[1].X + 3 * U * T * T * Q[2].X + T * T * T * Q[3].X,
                  U * U * U * Q[0].Y + 3 * U * U * T * Q[1].Y + 3 * U * T * T * Q[2].Y + T * T * T * Q[3].Y},
                 false);
      }
    }
  } else {
    FPenPos = Pts.back();
  }
  Moved();
}

void TqdHPGLReader::Circle() {
  if (!ReadParams(false) || FCommandParameters.empty()) return;
  const double R = std::fabs(FCommandParameters[0]);
  if (!(R > 0) || !std::isfinite(R) || R > cnstMaxCoord) return;
  const TF2DPoint C = FPenPos, S = AxisScale();
  if (FPolyMode) {
    // A circle is a sub-polygon of its own.
    FPolyBuffer.emplace_back();
    for (int I = 0; I <= 72; ++I) {
      const double A = I * 5 * M_PI / 180;
      FPolyBuffer.back().push_back(ToDrawing(C.X + R * std::cos(A) * S.X, C.Y + R * std::sin(A) * S.Y, false));
    }
    FPolyNewSub = true;
    return;
  }
  FinishPolyline();
  if (std::fabs(std::fabs(S.X) - std::fabs(S.Y)) > 1e-9 * std::fabs(S.X) || WidePen()) {
    // Unequal scales: an ellipse on paper; a broad pen: a wide closed stroke.
    StartPolyline();
    FLine.clear();
    for (int I = 0; I <= 72; ++I) {
      const double A = I * 5 * M_PI / 180;
      FLine.push_back(ToDrawing(C.X + R * std::cos(A) * S.X, C.Y + R * std::sin(A) * S.Y, false));
    }
    FinishPolyline();
  } else {
    auto E = std::make_unique<TqdDXFCircle>();
    E->SetPoint(ToDrawing(C.X, C.Y, false));
    E->SetRadius(R * std::fabs(S.X) * cnstMMPerStep);
    AddEntity(std::move(E), false);
  }
  FPenPos = C;
}

void TqdHPGLReader::Wedge(bool AFill) {
  // EW / WG radius, start angle, sweep [, chord angle]: a pie slice around the pen.
  if (!ReadParams(false) || FCommandParameters.size() < 3) return;
  double R = FCommandParameters[0], Start = FCommandParameters[1], Sweep = FCommandParameters[2];
  double Chord = FCommandParameters.size() >= 4 ? std::fabs(FCommandParameters[3]) : 5;
  if (!std::isfinite(R) || !std::isfinite(Start) || !std::isfinite(Sweep) || !std::isfinite(Chord)) return;
  if (R == 0 || std::fabs(R) > cnstMaxCoord) return;
  if (R < 0) {
    R = -R;
    Start += 180;
  }
  Sweep = std::clamp(Sweep, -360.0, 360.0);
  Chord = std::clamp(Chord, 0.5, 180.0);
  const int Steps = std::max(1, static_cast<int>(std::ceil(std::fabs(Sweep) / Chord)));
  const TF2DPoint C = FPenPos, S = AxisScale();
  std::vector<TFPoint> L;
  L.reserve(static_cast<std::size_t>(Steps) + 3);
  L.push_back(ToDrawing(C.X, C.Y, false));
  for (int I = 0; I <= Steps; ++I) {
    const double A = (Start + Sweep * I / Steps) * M_PI / 180;
    L.push_back(ToDrawing(C.X + R * std::cos(A) * S.X, C.Y + R * std::sin(A) * S.Y, false));
  }
  L.push_back(L.front());
  if (FPolyMode) {
    FPolyBuffer.push_back(std::move(L));
    FPolyNewSub = true;
    return;
  }
  FinishPolyline();
  if (AFill) {
    std::vector<std::vector<TFPoint>> Loops;
    AddClosedLoop(Loops, std::move(L));
    AddFill(std::move(Loops));
  } else {
    auto P = std::make_unique<TqdFlatPoly>();
    P->AddStroke(L);
    AddEntity(std::move(P), false);
  }
  FPenPos = C;
}

void TqdHPGLReader::Comment() {
  while (FPos < FLimit && (FMem[FPos] == ' ' || FMem[FPos] == '\r' || FMem[FPos] == '\n')) ++FPos;
  if (FPos < FLimit && FMem[FPos] == '"') {
    ++FPos;
    while (FPos < FLimit && FMem[FPos] != '"') ++FPos;
    if (FPos < FLimit) ++FPos;
  }
  SkipUnknown();
}

// ---- rectangles and polygons


void TqdHPGLReader::AddFillRect(const TF2DPoint& A, const TF2DPoint& B) {
  std::vector<TFPoint> L;
  L.reserve(5);
  L = {ToDrawing(A.X, A.Y, false), ToDrawing(B.X, A.Y, false), ToDrawing(B.X, B.Y, false), ToDrawing(A.X, B.Y, false)};
  std::vector<std::vector<TFPoint>> Loops;
  AddClosedLoop(Loops, std::move(L));
  AddFill(std::move(Loops));
}

bool TqdHPGLReader::RectCorners(bool ARelative, TF2DPoint& A, TF2DPoint& B) {
  if (!ReadParams(true) || FCommandParameters.size() < 2) return false;
  A = FPenPos;
  B = {FCommandParameters[0], FCommandParameters[1]};
  if (ARelative) B = {A.X + B.X, A.Y + B.Y};
  FinishPolyline();
  return true;
}

void TqdHPGLReader::RectEdge(bool ARelative) {
  TF2DPoint A, B;
  if (!RectCorners(ARelative, A, B)) return;
  auto P = std::make_unique<TqdFlatPoly>();
  P->Points() = {ToDrawing(A.X, A.Y, false), ToDrawing(B.X, A.Y, false), ToDrawing(B.X, B.Y, false),
                 ToDrawing(A.X, B.Y, false), ToDrawing(A.X, A.Y, false)};
  AddEntity(std::move(P), false);
}

void TqdHPGLReader::RectFill(bool ARelative) {
  TF2DPoint A, B;
  if (!RectCorners(ARelative, A, B)) return;
  AddFillRect(A, B);
}

void TqdHPGLReader::PolygonMode() {
  if (!ReadParams(false)) return;
  int N = 0;
  if (!FCommandParameters.empty() && !IntParam(0, 0, 2, N)) return;
  if (N == 0) {
    FinishPolyline();
    FPolyBuffer.clear();
    FPenPos0 = FPenPos;
    FPolyMode = true;
    FPolyNewSub = true;
  } else if (N == 1 && FPolyMode) {
    FPenDown = false;
    FNextPointUp = true;
    FPolyNewSub = true;
  } else if (N == 2 && FPolyMode) {
    std::size_t Outlines = 0;
    for (const auto& B : FPolyBuffer)
      if (B.size() >= 2) ++Outlines;
    if (Outlines == 1)
      for (auto& B : FPolyBuffer)
        if (B.size() >= 2 && (B.front().X != B.back().X || B.front().Y != B.back().Y)) {
          TFPoint P = B.front();
          P.Z = 0;
          B.push_back(P);
        }
    FPolyMode = false;
    FPenPos = FPenPos0;
    FNextPointUp = false;
  }
}

void TqdHPGLReader::EdgePolygon() {
  FinishPolyline();
  for (const auto& B : FPolyBuffer) {
    std::vector<TFPoint> Run;
    auto Flush = [&] {
      if (Run.size() >= 2) {
        auto P = std::make_unique<TqdFlatPoly>();
        P->Points() = std::move(Run);
        AddEntity(std::move(P), false);
      }
      Run.clear();
    };
    for (const TFPoint& Q : B) {
      if (Q.Z != 0) {
        // Reached with the pen up: an outline restarts here.
        Flush();
        Run.push_back({Q.X, Q.Y, 0});
        continue;
      }
      Run.push_back(Q);
    }
    // A sub-polygon closes back to its start.
    if (!Run.empty() && !B.empty() && Run.size() == B.size() &&
        (B.front().X != Run.back().X || B.front().Y != Run.back().Y))
      Run.push_back({B.front().X, B.front().Y, 0});
    Flush();
  }
}

void TqdHPGLReader::FillPolygon() {
  FinishPolyline();
  std::vector<std::vector<TFPoint>> Loops;
  Loops.reserve(FPolyBuffer.size());
  for (const auto& B : FPolyBuffer) {
    if (B.empty()) continue;
    std::vector<TFPoint> L;
    L.reserve(B.size() + 1);
    for (TFPoint Q : B) {
      Q.Z = 0;
      if (L.empty() || L.back().X != Q.X || L.back().Y != Q.Y) L.push_back(Q);
    }
    if (L.empty()) continue;
    AddClosedLoop(Loops, std::move(L));
  }
  AddFill(std::move(Loops));
}


void TqdHPGLReader::RasterFill() {
  if (!ReadParams(false)) return;
  const auto& P = FCommandParameters;
  if (P.empty()) {
    FRasterFillInk.clear();
    return;
  }
  // RF index, width, height, then width x height pen numbers (0: no ink).
  if (P.size() < 3 || !(P[0] >= 1 && P[0] <= 8) || !(P[1] >= 1 && P[1] <= 255) || !(P[2] >= 1 && P[2] <= 255))
    return;
  const std::size_t N = static_cast<std::size_t>(P[1]) * static_cast<std::size_t>(P[2]);
  std::size_t Inked = 0, Given = 0;
  for (std::size_t I = 3; I < P.size() && Given < N; ++I, ++Given)
    if (P[I] != 0) ++Inked;
  FRasterFillInk[static_cast<int>(P[0])] = static_cast<double>(Inked) / static_cast<double>(N);
}
