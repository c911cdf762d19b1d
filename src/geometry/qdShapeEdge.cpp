#include "qdShapeEdge.h"

#include <cmath>

#include "qdFunction.h"

bool IsStraightBulge(double Bulge) {
  return !std::isfinite(Bulge) || std::fabs(Bulge) < cnstMinBulge;
}

TqdGeneratorShapeEdge::TqdGeneratorShapeEdge() {
  UpdateTolerances();
}

void TqdGeneratorShapeEdge::SetListAndProc(TqdPointerList* AList, TqdAddPointProc AProc,
                                           TqdCreatePointFunc ACreatePoint) {
  std::lock_guard<std::recursive_mutex> g(FLock);
  FList = AList;
  FListType = AList ? ltList : ltNil;
  FAddPoint = AProc;
  FCreatePoint = std::move(ACreatePoint);
}

void TqdGeneratorShapeEdge::SetBaseList(TqdBaseList* AList) {
  std::lock_guard<std::recursive_mutex> g(FLock);
  FList = AList;
  FListType = AList ? AList->GetListType() : ltNil;
  FAddPoint = nullptr;
  FCreatePoint = nullptr;
}

static unsigned ClampParts(unsigned Value) {
  return Value < 3 ? 3 : (Value > 255 ? 255 : Value);
}

void TqdGeneratorShapeEdge::SetNumberCirclePart(unsigned Value) {
  FNumberCirclePart = ClampParts(Value);
}
void TqdGeneratorShapeEdge::SetNumberSplinePart(unsigned Value) {
  FNumberSplinePart = ClampParts(Value);
}

void TqdGeneratorShapeEdge::SetQualityApproximation(unsigned Value) {
  FQualityApproximation = Value > 6 ? 6 : Value;
  UpdateTolerances();
}

void TqdGeneratorShapeEdge::UpdateTolerances() {
  static constexpr double kQuality[7] = {1.0, 1e-6, 0.005, 0.1, 1.0, 5.0, 10.0};
  FRecursionLimit = 16;
  const double x = kQuality[FQualityApproximation];
  FDistanceToleranceSquare = 0.5 / (x * x);
  FDistanceToleranceManhattan = 4 / x;
}

void TqdGeneratorShapeEdge::PutPoint(const TFPoint& P) {
  std::lock_guard<std::recursive_mutex> g(FLock);
  if (!FList || FPutCount >= cnstMaxPointsPerCurve) return;
  ++FPutCount;
  switch (FListType) {
  case ltList: {
    auto* list = static_cast<TqdPointerList*>(FList);
    if (FCreatePoint) {
      if (void* obj = FCreatePoint(P)) list->Add(obj);
    } else if (FAddPoint) {
      FAddPoint(list, P);
    }
    break;
  }
  case ltFPoint:
    static_cast<TFPointList*>(FList)->Add(P);
    break;
  case ltF2DPoint:
    static_cast<TF2DPointList*>(FList)->Add({P.X, P.Y});
    break;
  case ltDouble: {
    auto* list = static_cast<TqdDoubleList*>(FList);
    list->Add(P.X);
    list->Add(P.Y);
    list->Add(P.Z);
    break;
  }
  default:
    break;
  }
}

namespace {
// Resets the per-operation point budget on entry of a public curve operation.
struct TOperation {
  std::lock_guard<std::recursive_mutex> Guard;
  TOperation(std::recursive_mutex& M, int& Count) : Guard(M) { Count = 0; }
};

double AngleAround(const TFPoint& C, const TFPoint& P) {
  double a = std::atan2(P.Y - C.Y, P.X - C.X);
  if (a < 0) a += 2 * cnstPi;
  if (a >= 2 * cnstPi) a = 0;
  return a;
}
} // namespace

bool TqdGeneratorShapeEdge::CreateBulgesArc(const TFPoint& P1, const TFPoint& P2, TqdArcR& Arc,
                                            double Bulge) {
  TOperation op(FLock, FPutCount);
  if (IsStraightBulge(Bulge)) {
    Arc = TqdArcR{MiddleFPoint(P1, P2), 0, 0, 0};
    if (HasOutput()) {
      PutPoint(P1);
      PutPoint(P2);
    }
    return false;
  }
  const double mx = (P1.X + P2.X) / 2, my = (P1.Y + P2.Y) / 2;
  const double hx = P1.X - mx, hy = P1.Y - my;
  const double sx = mx - Bulge * hy, sy = my + Bulge * hx;
  const double t = (1 - Bulge * Bulge) / (2 * Bulge);
  const TFPoint c{mx + hy * t, my - hx * t, P1.Z};
  const double r = std::sqrt((sx - c.X) * (sx - c.X) + (sy - c.Y) * (sy - c.Y));
  double a1 = AngleAround(c, P1), a2 = AngleAround(c, P2);
  if (Bulge > 0 && a1 > a2) a1 -= 2 * cnstPi;
  if (Bulge < 0 && a1 < a2) a2 -= 2 * cnstPi;
  const double d1 = RadiansToDegrees(a1), d2 = RadiansToDegrees(a2);
  Arc.Center = c;
  Arc.Radius = r;
  Arc.AngleS = d1 < d2 ? d1 : d2;
  Arc.AngleE = d1 < d2 ? d2 : d1;
  if (HasOutput()) {
    PutPoint(P1);
    const unsigned n = FNumberCirclePart;
    const double step = (a1 - a2) / n;
    const double dz = (P2.Z - P1.Z) / n;
    for (unsigned i = 1; i < n; ++i) {
      const double a = a1 - i * step;
      PutPoint({c.X + r * std::cos(a), c.Y + r * std::sin(a), P1.Z + dz * i});
    }
    PutPoint(P2);
  }
  return true;
}

bool EvaluateBSpline(const TFPointList& Controls, const TqdDoubleList& Knots, double T, int Degree,
                     const TqdDoubleList* Weights, TFPoint& Point) {
  const int nk = Knots.Count();
  if (Degree < 0 || Degree > 32 || nk < 2) return false;
  const double* K = Knots.Data();
  int i = 0;
  for (int k = nk - 2; k >= 1; --k) {
    if (K[k] < K[k + 1] && K[k] <= T && T <= K[k + 1]) {
      i = k;
      break;
    }
  }
  const int span = i > Degree ? i : Degree;
  if (span >= Controls.Count()) return false;
  if (span + Degree >= nk) return false; // a short knot vector

  double N[34], left[34], right[34];
  N[0] = 1;
  for (int j = 1; j <= Degree; ++j) {
    left[j] = T - K[span + 1 - j];
    right[j] = K[span + j] - T;
    double saved = 0;
    for (int r = 0; r < j; ++r) {
      const double den = right[r + 1] + left[j - r];
      const double tmp = den != 0 ? N[r] / den : 0;
      N[r] = saved + right[r + 1] * tmp;
      saved = left[j - r] * tmp;
    }
    N[j] = saved;
  }

  TFPoint p{};
  double w = 0;
  for (int j = 0; j <= Degree; ++j) {
    const int idx = span - Degree + j;
    TFPoint c = Controls.Data()[idx];
    double wt = 1;
    if (Weights && idx < Weights->Count()) wt = Weights->Data()[idx];
    if (Weights) c = ScaleFPoint(c, wt);
    p = AddFPoint(p, ScaleFPoint(c, N[j]));
    w += N[j] * wt;
  }
  if (Weights && !IsZeroValue(1e-9, w)) p = ScaleFPoint(p, 1 / w);
  if (!IsFiniteFPoint(p)) return false;
  Point = p;
  return true;
}

bool TqdGeneratorShapeEdge::IsBSpline(int ADegree) {
  return ADegree == 1 || ADegree == 2 || (ADegree >= 4 && ADegree <= 9);
}

void TqdGeneratorShapeEdge::TessellateBSpline(const TFPointList& AControls,
                                              const TqdDoubleList& AKnots, int ADegree,
                                              const TqdDoubleList* AWeights) {
  const unsigned parts = FNumberSplinePart;
  bool failed = false;
  for (int j = 0; j + 1 < AKnots.Count(); ++j) {
    const double k0 = AKnots.Data()[j], k1 = AKnots.Data()[j + 1];
    const double step = (k1 - k0) / parts;
    if (step == 0 || !std::isfinite(step)) continue;
    for (unsigned k = 0; k <= parts; ++k) {
      const double t = k == parts ? k1 : k0 + k * step;
      TFPoint p;
      if (EvaluateBSpline(AControls, AKnots, t, ADegree, AWeights, p))
        PutPoint(p);
      else
        failed = true;
    }
    if (FPutCount >= cnstMaxPointsPerCurve) break;
  }
  if (failed && AControls.Count() >= 2) PutPoint(AControls.GetLast());
}

bool TqdGeneratorShapeEdge::CreateBSpline(const TFPointList& AControls, const TqdDoubleList& AKnots,
                                          int ADegree, const TqdDoubleList* AWeights) {
  TOperation op(FLock, FPutCount);
  if (!IsBSpline(ADegree)) return false;
  TessellateBSpline(AControls, AKnots, ADegree, AWeights);
  return true;
}

namespace {
// Cubic Cox-de Boor basis N(j, p, t) with zero knot differences contributing 0.
double Basis(const double* K, int j, int p, double t) {
  if (p == 0) return (K[j] <= t && t < K[j + 1]) ? 1.0 : 0.0;
  double r = 0;
  const double d1 = K[j + p] - K[j];
  if (d1 != 0) r += (t - K[j]) / d1 * Basis(K, j, p - 1, t);
  const double d2 = K[j + p + 1] - K[j + 1];
  if (d2 != 0) r += (K[j + p + 1] - t) / d2 * Basis(K, j + 1, p - 1, t);
  return r;
}
} // namespace

void TqdGeneratorShapeEdge::CreateSplineByKnots(const TFPointList& AControls,
                                                const TqdDoubleList& AKnots, double AIncT) {
  TOperation op(FLock, FPutCount);
  const int n = AControls.Count();
  if (n == 0) return;
  if (AKnots.Count() == 0) {
    // Without knots there is no spline: the control polygon is the best we have.
    for (const TFPoint& p : AControls) PutPoint(p);
    return;
  }
  TqdDoubleList knots(AKnots);
  knots.SetSorted(false);
  while (knots.Count() - n < 4) knots.Add(knots.GetLast());
  const double* K = knots.Data();
  // The step is counted with an integer so that it always advances.
  int m = 1000;
  if (std::isfinite(AIncT) && AIncT > 0) {
    const double q = std::ceil(1 / AIncT);
    m = q < 1 ? 1 : (q > 1000 ? 1000 : static_cast<int>(q));
  }
  PutPoint(AControls.GetFirst());
  if (n >= 4) {
    for (int s = 3; s <= n - 1 && FPutCount < cnstMaxPointsPerCurve; ++s) {
      const double k0 = K[s], k1 = K[s + 1];
      if (!(k1 > k0)) continue;
      for (int k = 0; k < m; ++k) {
        const double t = k0 + k * (k1 - k0) / m;
        if (!(t < k1)) break;
        TFPoint p{};
        for (int i = 0; i <= 3; ++i)
          p = AddFPoint(p, ScaleFPoint(AControls.Data()[s + i - 3], Basis(K, s + i - 3, 3, t)));
        PutPoint(p);
      }
    }
  }
  PutPoint(AControls.GetLast());
}

void TqdGeneratorShapeEdge::CreateQuadraticSpline(const TFPoint& APoint1, const TFPoint& APoint2,
                                                  const TFPoint& APoint3) {
  TOperation op(FLock, FPutCount);
  if (!HasOutput()) return;
  SubdivideQuadratic(APoint1, APoint2, APoint3, 0);
}

void TqdGeneratorShapeEdge::SubdivideQuadratic(const TFPoint& P0, const TFPoint& P1,
                                               const TFPoint& P2, int Depth) {
  const TFPoint p01 = MiddleFPoint2D(P0, P1);
  const TFPoint p12 = MiddleFPoint2D(P1, P2);
  const TFPoint p012 = MiddleFPoint2D(p01, p12);
  const double d = std::fabs((P1.X - P2.X) * (P2.Y - P0.Y) - (P1.Y - P2.Y) * (P2.X - P0.X));
  bool flat;
  if (d <= 1e-30) {
    flat = std::fabs((P1.X - P0.X) + (P1.X - P2.X)) + std::fabs((P1.Y - P0.Y) + (P1.Y - P2.Y)) <=
           FDistanceToleranceManhattan;
  } else {
    flat = d * d <= SqrDistance2D(P2, P0) * FDistanceToleranceSquare;
  }
  if (flat) {
    PutPoint(p012);
    return;
  }
  if (Depth + 1 <= FRecursionLimit) {
    SubdivideQuadratic(P0, p01, p012, Depth + 1);
    SubdivideQuadratic(p012, p12, P2, Depth + 1);
  }
}

TqdArcR BulgeArcPoints(const TFPoint& P1, const TFPoint& P2, TFPointList& List, unsigned Parts,
                       double Bulge) {
  TqdGeneratorShapeEdge g;
  g.SetNumberCirclePart(Parts);
  g.SetBaseList(&List);
  TqdArcR arc;
  g.CreateBulgesArc(P1, P2, arc, Bulge);
  return arc;
}
