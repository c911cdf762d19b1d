#include "Faces.h"

#include "qdFunction.h"

// ---------------------------------------------------------------- solid

void TqdDXFSolid::SetPoint(const TFPoint& P) {
  TqdDXFLine::SetPoint(P);
  FMatrix.reset();
}
void TqdDXFSolid::SetPoint1(const TFPoint& P) {
  TqdDXFLine::SetPoint1(P);
  FMatrix.reset();
}
void TqdDXFSolid::SetPoint2(const TFPoint& P) {
  if (IsFiniteFPoint(P)) FPoint2 = P;
  FMatrix.reset();
}
void TqdDXFSolid::SetPoint3(const TFPoint& P) {
  if (IsFiniteFPoint(P)) FPoint3 = P;
  FMatrix.reset();
}
void TqdDXFSolid::SetExtrusion(const TFPoint& P) {
  TqdDXFLine::SetExtrusion(P);
  FMatrix.reset();
}

const TFMatrix& TqdDXFSolid::GetMatrix() const {
  if (!FMatrix) FMatrix = std::make_unique<TFMatrix>(ExtrusionMatrix(Extrusion()));
  return *FMatrix;
}

int TqdDXFSolid::GetPoints(TFPoint (&Points)[4], bool AddZThick, bool Extruding) const {
  Points[0] = FPoint;
  Points[1] = FPoint1;
  Points[2] = FPoint2;
  Points[3] = FPoint3;
  int count = 4;
  if (IsEqualFPoints(Points[1], Points[2], 1e-9)) {
    Points[2] = Points[3];
    --count;
  }
  if (IsEqualFPoints(Points[0], Points[3], 1e-9)) --count;
  if (IsEqualFPoints(Points[0], Points[2], 1e-9)) {
    Points[2] = Points[3];
    --count;
  }
  // A triangle written with its last two corners equal.
  if (count == 4 && IsEqualFPoints(Points[2], Points[3], 1e-9)) --count;
  if (count < 1) count = 1;
  if (AddZThick && FZThick != 0)
    for (TFPoint& p : Points) p.Z += FZThick;
  if (Extruding && IsNonDefaultExtrusion(Extrusion()))
    for (TFPoint& p : Points) p = TransformPoint(p, GetMatrix());
  return count;
}

TFRect TqdDXFSolid::Box() const {
  TFRect r = cnstBadRect;
  TFPoint pts[4];
  const int n = GetPoints(pts, false, true);
  for (int i = 0; i < n; ++i) UnionBoxPoint(r, pts[i]);
  if (FZThick != 0) {
    const int m = GetPoints(pts, true, true);
    for (int i = 0; i < m; ++i) UnionBoxPoint(r, pts[i]);
  }
  return r;
}

void TqdDXFSolid::Loaded(TqdDXFConverter* C) {
  TqdDXFLine::Loaded(C);
  FMatrix.reset();
  TFPoint p[4] = {FPoint, FPoint1, FPoint2, FPoint3};
  if (IsNonDefaultExtrusion(Extrusion()))
    for (TFPoint& q : p) q = TransformPoint(q, GetMatrix());
  auto normal = [](const TFPoint& a, const TFPoint& b, const TFPoint& c) {
    return CrossFPoint(SubFPoint(b, a), SubFPoint(c, a));
  };
  const TFPoint n1 = normal(p[0], p[1], p[2]);
  const TFPoint n2 = normal(p[0], p[2], p[3]);
  std::uint8_t f = InternalFlags() & 2;
  if (VectorLength(n1) == 0)
    f |= cnstFirstZeroArea;
  else if (n1.Z < 0)
    f |= cnstFirstReversed;
  if (VectorLength(n2) == 0)
    f |= cnstSecondZeroArea;
  else if (n2.Z < 0)
    f |= cnstSecondReversed;
  SetInternalFlags(f);
}

void TqdDXFSolid::AssignEntity(const TqdDXFEntity& Source) {
  TqdDXFLine::AssignEntity(Source);
  if (const auto* S = dynamic_cast<const TqdDXFSolid*>(&Source)) {
    FPoint2 = S->FPoint2;
    FPoint3 = S->FPoint3;
  }
  FMatrix.reset();
}

void TqdDXF3dFace::AssignEntity(const TqdDXFEntity& Source) {
  TqdDXFSolid::AssignEntity(Source);
  if (const auto* S = dynamic_cast<const TqdDXF3dFace*>(&Source)) F3DFlags = S->F3DFlags;
}

// ---------------------------------------------------------------- ray

void TqdDXFRay::SetStartPoint(const TFPoint& P) {
  if (!IsFiniteFPoint(P)) return;
  FStartPoint = P;
  SetPoint(IsNonDefaultExtrusion(Extrusion()) ? OCSToWCS(P, Extrusion()) : P);
  SetPoint1(FPoint);
}

TFRect TqdDXFRay::Box() const {
  return {FPoint.X, FPoint.Y, FPoint.Z, FPoint.X, FPoint.Y, FPoint.Z};
}

void TqdDXFRay::AssignEntity(const TqdDXFEntity& Source) {
  TqdDXFLine::AssignEntity(Source);
  if (const auto* S = dynamic_cast<const TqdDXFRay*>(&Source)) {
    FStartPoint = S->FStartPoint;
    FDirection = S->FDirection;
  }
}
