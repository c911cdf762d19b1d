#include "Curves.h"

#include <algorithm>
#include <cmath>

#include "DXFConv.h"
#include "TableItems.h"
#include "qdCurveMath.h"
#include "qdFunction.h"
#include "qdShapeEdge.h"

namespace {
int CircleParts(const TqdDXFConverter* C) {
  const int n = C ? C->NumberOfPartsInCircle() : 0;
  return n > 1 ? n : 48;
}
int SplineParts(const TqdDXFConverter* C) {
  const int n = C ? C->NumberOfPartsInSpline() : 0;
  return n > 1 ? n : 24;
}
} // namespace

// ---------------------------------------------------------------- base

TFPoint TqdCADBasePolyline::GetPolyPoint(int Index) const {
  EnsurePoints();
  if (Index < 0 || Index >= FPolyPoints.Count()) return cnstFPointZero;
  return FPolyPoints[Index];
}

int TqdCADBasePolyline::BasePointCount() const {
  const int n = FPolyPoints.Count();
  return FZThick != 0 ? n / 2 : n;
}

namespace {
// The shift of the elevation and of the thickness, in world coordinates.
void ElevationVectors(double Elev, double Thick, const TFPoint& Extrusion, TFPoint& EV,
                      TFPoint& TV) {
  EV = {0, 0, Elev};
  TV = {0, 0, Thick};
  if (IsNonDefaultExtrusion(Extrusion)) {
    EV = OCSToWCS(EV, Extrusion);
    TV = OCSToWCS(TV, Extrusion);
  }
}
} // namespace

TFRect TqdCADBasePolyline::ElevatedBox(TFRect Box) const {
  const double elev = Elevation();
  if ((FZThick == 0 && elev == 0) || Box.Left > Box.Right) return Box;
  TFPoint ev, tv;
  ElevationVectors(elev, FZThick, Extrusion(), ev, tv);
  OffsetBox(Box, ev.X, ev.Y, ev.Z);
  if (FZThick != 0) {
    TFRect raised = Box;
    OffsetBox(raised, tv.X, tv.Y, tv.Z);
    UnionBoxes(Box, raised);
  }
  return Box;
}

void TqdCADBasePolyline::ApplyElevationTo(TFPointList& L, bool AddThickCopy) const {
  const double elev = Elevation();
  if (FZThick == 0 && elev == 0) return;
  TFPoint ev, tv;
  ElevationVectors(elev, FZThick, Extrusion(), ev, tv);
  const int n = L.Count();
  for (int i = 0; i < n; ++i) L[i] = AddFPoint(L[i], ev);
  if (AddThickCopy && FZThick != 0) {
    L.SetCapacity(2 * n);
    for (int i = 0; i < n; ++i) L.Add(AddFPoint(L[i], tv));
  }
}

void TqdCADBasePolyline::ApplyElevation() {
  if (IsPolygonMesh()) return;
  ApplyElevationTo(FPolyPoints, true);
}

void TqdCADBasePolyline::UpdatePolyBox() {
  EnsurePoints();
  FBox = cnstBadRect;
  for (const TFPoint& p : FPolyPoints) UnionBoxPoint(FBox, p);
}

void TqdCADBasePolyline::Loaded(TqdDXFConverter* C) {
  FBox = cnstBadRect;
  // The linetype default of the pen classes, without moving the base point.
  TqdDXFObjectEntityLineType::Loaded(C);
  if (C && !Layer() && !FLayerItem.Link()) SetLayer(C->LayerByName("0"));
  FFlags &= ~cnstLinetypePoints;
  FDeferredParts = 0;
  const int parts = CircleParts(C);
  TFRect box = cnstBadRect;
  if (DeferredBox(C, parts, box)) {
    FPolyPoints.Clear(true);
    FDeferredParts = parts;
    FBox = ElevatedBox(box);
    return;
  }
  GeneratePoints(C);
  FinishPoints();
  UpdatePolyBox();
}

void TqdCADBasePolyline::FinishPoints() {
  if (FPolyPoints.Count() > cnstMaxEntityPoints) FPolyPoints.SetCount(cnstMaxEntityPoints);
  // The points stay as long as the drawing: drop the slack of growing the list.
  if (FPolyPoints.Capacity() > FPolyPoints.Count()) FPolyPoints.SetCapacity(FPolyPoints.Count());
  ApplyElevation();
}

void TqdCADBasePolyline::MakeDeferredPoints() {
  const int parts = FDeferredParts;
  FDeferredParts = 0;
  MakeCurvePoints(parts);
  FinishPoints();
  // The box stays the exact one computed at load: the points lie inside it.
}

const TFPointList& TqdCADBasePolyline::DrawPoints(TFPointList& Scratch, double PixelsPerUnit) const {
  if (FDeferredParts != 0) {
    Scratch.Clear(false);
    const int Parts = PixelsPerUnit > 0 ? ViewParts(FDeferredParts, PixelsPerUnit) : FDeferredParts;
    if (CurvePointsInto(Parts, Scratch)) {
      // As FinishPoints leaves the kept points.
      if (Scratch.Count() > cnstMaxEntityPoints) Scratch.SetCount(cnstMaxEntityPoints);
      ApplyElevationTo(Scratch, true);
      return Scratch;
    }
  }
  return PolyPoints();
}

double TqdCADBasePolyline::GetArea() const {
  EnsurePoints();
  const int n = BasePointCount();
  double a = 0;
  for (int i = 0; i < n; ++i) {
    const TFPoint& p = FPolyPoints[i];
    const TFPoint& q = FPolyPoints[(i + 1) % n];
    a += p.X * q.Y - q.X * p.Y;
  }
  return std::fabs(a) / 2;
}

double TqdCADBasePolyline::GetLength() const {
  EnsurePoints();
  const int n = BasePointCount();
  double len = 0;
  for (int i = 1; i < n; ++i) len += std::sqrt(SqrDistance(FPolyPoints[i - 1], FPolyPoints[i]));
  if (Closed() && n > 1) len += std::sqrt(SqrDistance(FPolyPoints[n - 1], FPolyPoints[0]));
  return len;
}

void TqdCADBasePolyline::AssignEntity(const TqdDXFEntity& Source) {
  TqdDXFPenLine::AssignEntity(Source);
  if (const auto* S = dynamic_cast<const TqdCADBasePolyline*>(&Source)) FFlags = S->FFlags;
}

// ---------------------------------------------------------------- circle

void TqdDXFCircle::SetRadius(double V) {
  if (std::isfinite(V) && V > 1e-9) FRadius = V;
}

TqdDXFCircle::TEllipseParams TqdDXFCircle::GetEllipseParams() const {
  return {FRadius, FRadius, 1, 0, 0, 360};
}

void TqdDXFCircle::Loaded(TqdDXFConverter* C) {
  FFlags |= cnstPLinegen;
  TqdCADBasePolyline::Loaded(C);
}

void TqdDXFCircle::GeneratePoints(TqdDXFConverter* C) {
  MakeCurvePoints(CircleParts(C));
}

void TqdDXFCircle::MakeCurvePoints(int Parts) {
  FPolyPoints.Clear(false);
  FPolyPoints.SetCapacity(Parts + 1);
  CurvePointsInto(Parts, FPolyPoints);
}

bool TqdDXFCircle::CurvePointsInto(int Parts, TFPointList& Out) const {
  const TEllipseParams e = GetEllipseParams();
  const int From = Out.Count();
  EllipseArcPoints(FPoint, e.RX, e.RY, e.CosT, e.SinT, e.Start, e.End, Parts, Out);
  // The curve is drawn in its object coordinate system.
  if (!IsNonDefaultExtrusion(Extrusion())) return true;
  const TFMatrix m = ExtrusionMatrix(Extrusion());
  for (int i = From; i < Out.Count(); ++i) Out[i] = TransformPoint(Out[i], m);
  return true;
}

int TqdDXFCircle::ViewParts(int Parts, double PixelsPerUnit) const {
  const TEllipseParams e = GetEllipseParams();
  const double r = std::max(std::fabs(e.RX), std::fabs(e.RY)) * PixelsPerUnit;
  const double Sweep = e.End - e.Start;
  if (!std::isfinite(r) || !(r > 0) || !std::isfinite(Sweep) || !(Sweep > 0) || Parts < 2) return Parts;
  // A chord of angle a strays r(1 - cos(a/2)) from the curve: a tenth of a pixel
  // is not seen. Whole turns keep at least 8 segments.
  constexpr double Tol = 0.1;
  const double Half = r > Tol ? std::acos(1 - Tol / r) : cnstPi / 2;
  const double Turn = std::max(8.0, std::ceil(cnstPi / Half));
  const double N = Sweep >= 360 ? Turn : std::ceil(Turn * Sweep / 360);
  return N >= Parts ? Parts : std::max(1, static_cast<int>(N));
}

bool TqdDXFCircle::DeferredBox(const TqdDXFConverter* C, int Parts, TFRect& Box) const {
  const TEllipseParams e = GetEllipseParams();
  TFPoint c = FPoint, a{e.RX * e.CosT, e.RX * e.SinT, 0}, b{-e.RY * e.SinT, e.RY * e.CosT, 0};
  if (IsNonDefaultExtrusion(Extrusion())) {
    const TFMatrix m = ExtrusionMatrix(Extrusion());
    c = TransformPoint(c, m);
    a = TransformVector(a, m);
    b = TransformVector(b, m);
  }
  Box = cnstBadRect;
  UnionConicArcBox(Box, c, a, b, DegreesToRadians(e.Start), DegreesToRadians(e.End - e.Start));
  return Box.Left <= Box.Right;
}

double TqdDXFCircle::GetArea() const {
  return cnstPi * FRadius * FRadius;
}
double TqdDXFCircle::GetLength() const {
  return 2 * cnstPi * FRadius;
}

void TqdDXFCircle::AssignEntity(const TqdDXFEntity& Source) {
  TqdCADBasePolyline::AssignEntity(Source);
  if (const auto* S = dynamic_cast<const TqdDXFCircle*>(&Source)) FRadius = S->FRadius;
}

// ---------------------------------------------------------------- arc

TqdDXFCircle::TEllipseParams TqdDXFArc::GetEllipseParams() const {
  double s = FStartAngle, e = FEndAngle;
  ArcSweepAngles(s, e);
  return {FRadius, FRadius, 1, 0, s, e};
}

bool TqdDXFArc::Closed() const {
  return IsSameAngle(FStartAngle, FEndAngle);
}

TFPoint TqdDXFArc::PointAtAngle(double Deg) const {
  const double a = DegreesToRadians(Deg);
  const TFPoint p{FPoint.X + FRadius * std::cos(a), FPoint.Y + FRadius * std::sin(a), FPoint.Z};
  return IsNonDefaultExtrusion(Extrusion()) ? OCSToWCS(p, Extrusion()) : p;
}

TFPoint TqdDXFArc::StartPoint() const {
  return PointAtAngle(FStartAngle);
}
TFPoint TqdDXFArc::EndPoint() const {
  return PointAtAngle(FEndAngle);
}

TqdArcR TqdDXFArc::Arc() const {
  return {FPoint, FRadius, FStartAngle, FEndAngle};
}

void TqdDXFArc::SetArc(const TqdArcR& A) {
  SetPoint(A.Center);
  SetRadius(A.Radius);
  SetStartAngle(A.AngleS);
  SetEndAngle(A.AngleE);
}

double TqdDXFArc::GetLength() const {
  return std::fabs(FEndAngle - FStartAngle) * FRadius * cnstPi / 180;
}

double TqdDXFArc::GetArea() const {
  double s = FStartAngle, e = FEndAngle;
  ArcSweepAngles(s, e);
  const double theta = DegreesToRadians(e - s);
  const double sector = FRadius * FRadius * theta / 2;
  const double triangle = FRadius * FRadius * std::fabs(std::sin(theta)) / 2;
  return e - s > 180 ? sector + triangle : sector - triangle;
}

double TqdDXFArc::GetHeight() const {
  double s = FStartAngle, e = FEndAngle;
  ArcSweepAngles(s, e);
  double mid = (s + e) / 2;
  if (mid > 360) mid -= 360;
  const TFPoint a = PointAtAngle(s), b = PointAtAngle(e), m = PointAtAngle(mid);
  return std::sqrt(SqrDistance(MiddleFPoint(a, b), m));
}

void TqdDXFArc::AssignEntity(const TqdDXFEntity& Source) {
  TqdDXFCircle::AssignEntity(Source);
  if (const auto* S = dynamic_cast<const TqdDXFArc*>(&Source)) {
    FStartAngle = S->FStartAngle;
    FEndAngle = S->FEndAngle;
  }
}

// ---------------------------------------------------------------- ellipse

void TqdDXFEllipse::SetRadPt(const TFPoint& P) {
  if (IsFiniteFPoint(P)) FRadPt = P;
}

TqdDXFCircle::TEllipseParams TqdDXFEllipse::GetEllipseParams() const {
  double s = FStartAngle, e = FEndAngle;
  // Ellipses that run through 0 are swept like arcs; a sweep is at most one turn.
  ArcSweepAngles(s, e);
  if (s < e && e >= 360 && e > s + 360) e = s + 360;
  const double r = std::sqrt(FRadPt.X * FRadPt.X + FRadPt.Y * FRadPt.Y);
  TEllipseParams p{r, r * FRatio, 1, 0, s, e};
  if (r > 1e-10) {
    p.CosT = FRadPt.X / r;
    p.SinT = FRadPt.Y / r;
  }
  return p;
}

void TqdDXFEllipse::Loaded(TqdDXFConverter* C) {
  if (FIsExtruded && IsNonDefaultExtrusion(Extrusion())) {
    FPoint = WCSToOCS(FPoint, Extrusion());
    FRadPt = WCSToOCS(FRadPt, Extrusion());
  }
  FIsExtruded = false;
  const double r = std::sqrt(FRadPt.X * FRadPt.X + FRadPt.Y * FRadPt.Y);
  if (r > 1e-9 && std::isfinite(r)) FRadius = r;
  TqdDXFArc::Loaded(C);
}

void TqdDXFEllipse::AssignEntity(const TqdDXFEntity& Source) {
  TqdDXFArc::AssignEntity(Source);
  if (const auto* S = dynamic_cast<const TqdDXFEllipse*>(&Source)) {
    FRadPt = S->FRadPt;
    FRatio = S->FRatio;
    FIsExtruded = S->FIsExtruded;
  }
}

// ---------------------------------------------------------------- spline

void TqdDXFSpline::AddWeight(double W) {
  if (std::isfinite(W)) FWeights.Add(static_cast<float>(W));
}

void TqdDXFSpline::SetDegree(int V) {
  if (V >= 0 && V <= 255) FDegree = V;
}

TFPoint TqdDXFSpline::GetControlPoint(int I) const {
  return I >= 0 && I < FControls.Count() ? FControls[I] : cnstFPointZero;
}

TFPoint TqdDXFSpline::GetFitPoint(int I) const {
  return I >= 0 && I < FFit.Count() ? FFit[I] : cnstFPointZero;
}

void TqdDXFSpline::Loaded(TqdDXFConverter* C) {
  FPolyPoints.Clear(false);
  FExtrusion.reset(); // splines are always in world coordinates
  const int parts = SplineParts(C);
  if (IsFitPolyline()) {
    for (const TFPoint& p : FFit)
      if (FPolyPoints.Count() == 0 || !IsEqualFPoints(FPolyPoints.GetLast(), p, 1e-9))
        FPolyPoints.Add(p);
  } else if (IsByAngles()) {
    FLen = InterpolateFitPoints(FFit, FBeginningTangent, FEndingTangent, parts, FPolyPoints);
  } else if (FKnots.Count() == 0) {
    FPolyPoints.Assign(FControls);
  } else {
    TqdDoubleList knots, weights;
    knots.SetCapacity(FKnots.Count());
    for (float k : FKnots) knots.Add(k);
    for (float w : FWeights) weights.Add(w);
    TqdGeneratorShapeEdge g;
    g.SetNumberSplinePart(static_cast<unsigned>(parts));
    g.SetBaseList(&FPolyPoints);
    if (TqdGeneratorShapeEdge::IsBSpline(FDegree)) {
      g.CreateBSpline(FControls, knots, FDegree, (FFlags & cnstRational) ? &weights : nullptr);
    } else {
      double inc = 1.0 / parts;
      if (FFit.Count() < 2 && FControls.Count() > 4 && FControls[2].X == FControls[3].X &&
          FControls[2].Y == FControls[3].Y)
        inc = 0.01;
      g.CreateSplineByKnots(FControls, knots, inc);
    }
  }
  TqdCADBasePolyline::Loaded(C);
}

void TqdDXFSpline::GeneratePoints(TqdDXFConverter* C) {
  if (FPolyPoints.Count() == 0 && FFit.Count() > FControls.Count())
    for (const TFPoint& p : FFit) FPolyPoints.Add({p.X, p.Y, 0});
}

void TqdDXFSpline::AssignEntity(const TqdDXFEntity& Source) {
  TqdCADBasePolyline::AssignEntity(Source);
  if (const auto* S = dynamic_cast<const TqdDXFSpline*>(&Source)) {
    FBeginningTangent = S->FBeginningTangent;
    FEndingTangent = S->FEndingTangent;
    FControls.Assign(S->FControls);
    FDegree = S->FDegree;
    FFit.Assign(S->FFit);
    FKnots.Assign(S->FKnots);
    FWeights.Assign(S->FWeights);
    FLen = S->FLen;
    FFlagsExtented = S->FFlagsExtented;
  }
}

// ---------------------------------------------------------------- helix

void TqdCADHelix::AssignEntity(const TqdDXFEntity& Source) {
  TqdDXFSpline::AssignEntity(Source);
  if (const auto* S = dynamic_cast<const TqdCADHelix*>(&Source)) {
    FStartPoint = S->FStartPoint;
    FRadius = S->FRadius;
    FTurns = S->FTurns;
    FTurnHeight = S->FTurnHeight;
    FClockwise = S->FClockwise;
  }
}
