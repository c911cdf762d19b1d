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
