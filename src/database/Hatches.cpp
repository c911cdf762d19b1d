#include "Hatches.h"

#include "DXFConv.h"
#include "qdFunction.h"

void TqdCADPolyPolygon::AddLoop(const std::vector<TFPoint>& APoints) {
  std::vector<TFPoint> L;
  L.reserve(APoints.size());
  for (const TFPoint& P : APoints)
    if (IsFiniteFPoint(P)) L.push_back(P);
  FLoops.push_back(std::move(L));
}

void TqdCADPolyPolygon::Loaded(TqdDXFConverter* C) {
  TqdDXFPenLine::Loaded(C);
  if (C && !Layer() && !FLayerItem.Link()) SetLayer(C->LayerByName("0"));
  FBox = cnstBadRect;
  for (const auto& L : FLoops)
    for (const TFPoint& P : L) UnionBoxPoint(FBox, P);
}

void TqdCADPolyPolygon::AssignEntity(const TqdDXFEntity& Source) {
  TqdDXFPenLine::AssignEntity(Source);
  if (const auto* S = dynamic_cast<const TqdCADPolyPolygon*>(&Source)) {
    FLoops = S->FLoops;
    FBox = S->FBox;
  }
}

void TqdCADCurvePolygon::AssignEntity(const TqdDXFEntity& Source) {
  TqdCADPolyPolygon::AssignEntity(Source);
  if (const auto* S = dynamic_cast<const TqdCADCurvePolygon*>(&Source)) {
    FBoundaries = S->FBoundaries;
    FHatchName = S->FHatchName;
    FSolidFill = S->FSolidFill;
    FGradientColor[0] = S->FGradientColor[0];
    FGradientColor[1] = S->FGradientColor[1];
    FGradientAngle = S->FGradientAngle;
    FGradientUseCenter = S->FGradientUseCenter;
    FGradientName = S->FGradientName;
    FElevation = S->FElevation;
    FHatchExtrusion = S->FHatchExtrusion;
  }
}

void TqdCADHatch::AssignEntity(const TqdDXFEntity& Source) {
  TqdCADCurvePolygon::AssignEntity(Source);
  if (const auto* S = dynamic_cast<const TqdCADHatch*>(&Source)) {
    FHatchStyle = S->FHatchStyle;
    FPatternType = S->FPatternType;
    FPatternAngle = S->FPatternAngle;
    FPatternScale = S->FPatternScale;
    FPatternLines = S->FPatternLines;
  }
}

void TqdCADMPolygon::AssignEntity(const TqdDXFEntity& Source) {
  TqdCADHatch::AssignEntity(Source);
  if (const auto* S = dynamic_cast<const TqdCADMPolygon*>(&Source)) {
    FOffset = S->FOffset;
    FFillColor = S->FFillColor;
  }
}
