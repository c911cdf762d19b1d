#include "Others.h"

#include <cmath>

#include "qdFunction.h"

std::vector<TFPoint> TqdCADWipeout::ClipPolygon() const {
  std::vector<TFPoint> R;
  auto Map = [&](double X, double Y) {
    const double A = X + 0.5, B = FSize.Y - 0.5 - Y;
    const TFPoint P{FPoint.X + A * FUVector.X + B * FVVector.X, FPoint.Y + A * FUVector.Y + B * FVVector.Y,
                    FPoint.Z + A * FUVector.Z + B * FVVector.Z};
    if (IsFiniteFPoint(P)) R.push_back(P);
  };
  if (FClipType == 1) {
    if (FBoundary.size() < 2) return R;
    const TFPoint A = FBoundary[0], B = FBoundary[1];
    Map(A.X, A.Y);
    Map(B.X, A.Y);
    Map(B.X, B.Y);
    Map(A.X, B.Y);
    return R;
  }
  R.reserve(FBoundary.size());
  for (const TFPoint& P : FBoundary) Map(P.X, P.Y);
  return R;
}

TFRect TqdCADWipeout::Box() const {
  TFRect B = cnstBadRect;
  for (const TFPoint& P : ClipPolygon()) UnionBoxPoint(B, P);
  return B;
}

double TqdCADWipeout::Width() const { return std::hypot(FUVector.X, FUVector.Y) * FSize.X; }
double TqdCADWipeout::Height() const { return std::hypot(FVVector.X, FVVector.Y) * FSize.Y; }

void TqdCADWipeout::SetWidth(double W) {
  const double Cur = Width();
  if (!std::isfinite(W) || !std::isfinite(Cur) || std::fabs(Cur) <= 1e-12) return;
  const double F = std::fabs(W / Cur);
  if (F == 0 || !std::isfinite(F)) return;
  FUVector.X *= F;
  FUVector.Y *= F;
  FVVector.X *= F;
  FVVector.Y *= F;
}

void TqdCADWipeout::SetHeight(double H) {
  const double Cur = Height();
  if (!std::isfinite(H) || !std::isfinite(Cur) || std::fabs(Cur) <= 1e-12) return;
  const double F = std::fabs(H / Cur);
  if (F == 0 || !std::isfinite(F)) return;
  FUVector.X *= F;
  FUVector.Y *= F;
  FVVector.X *= F;
  FVVector.Y *= F;
}

void TqdCADWipeout::AssignEntity(const TqdDXFEntity& Source) {
  TqdDXFPenLine::AssignEntity(Source);
  if (const auto* S = dynamic_cast<const TqdCADWipeout*>(&Source)) {
    FFlags = S->FFlags;
    FClipType = S->FClipType;
    FUVector = S->FUVector;
    FVVector = S->FVVector;
    FSize = S->FSize;
    FBoundary = S->FBoundary;
    FClipping = S->FClipping;
  }
}

void TqdDXFImageEnt::AssignEntity(const TqdDXFEntity& Source) {
  TqdCADWipeout::AssignEntity(Source);
  if (const auto* S = dynamic_cast<const TqdDXFImageEnt*>(&Source)) {
    FImageDefHandle = S->FImageDefHandle;
    FImageDef = S->FImageDef;
  }
}

void TqdDXFOle2Frame::AssignEntity(const TqdDXFEntity& Source) {
  TqdDXFPenLine::AssignEntity(Source);
  if (const auto* S = dynamic_cast<const TqdDXFOle2Frame*>(&Source)) {
    FPoint1 = S->FPoint1;
    FData = S->FData;
  }
}

void TqdDXFAcadTable::AssignEntity(const TqdDXFEntity& Source) {
  TqdDXFInsert::AssignEntity(Source);
  if (const auto* S = dynamic_cast<const TqdDXFAcadTable*>(&Source)) {
    FRows = S->FRows;
    FCols = S->FCols;
    FDirection = S->FDirection;
  }
}

void TqdDXFProxy::AssignEntity(const TqdDXFEntity& Source) {
  TqdCADGeneratedEntity::AssignEntity(Source);
  if (const auto* S = dynamic_cast<const TqdDXFProxy*>(&Source)) {
    FDXFName = S->FDXFName;
    FMeshVertices = S->FMeshVertices;
    FMeshFaces = S->FMeshFaces;
  }
}

void TqdDXFRegion::AssignEntity(const TqdDXFEntity& Source) {
  TqdDXFPenLine::AssignEntity(Source);
  if (const auto* S = dynamic_cast<const TqdDXFRegion*>(&Source)) {
    FAcisData = S->FAcisData;
    FDXFName = S->FDXFName;
  }
}
