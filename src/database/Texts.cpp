#include "Texts.h"

#include <cmath>
#include <limits>

#include "DXFConv.h"

void TqdDXFText::SetRotation(double V) {
  if (std::isfinite(V) && std::fabs(V) <= std::numeric_limits<float>::max()) FRotation = static_cast<float>(V);
}

void TqdDXFText::SetExtrusion(const TFPoint& P) {
  if (!IsFiniteFPoint(P)) return;
  FExtrusion = (P.X == 0 && P.Y == 0 && P.Z == 0) ? cnstExtrusion : P;
}

TqdDXFStyle* TqdDXFText::Style() const { return dynamic_cast<TqdDXFStyle*>(FTextStyleItem.Item()); }

void TqdDXFText::ResolveLinks(TqdDXFConverter* C) {
  TqdDXFCustomVertex::ResolveLinks(C);
  ResolveTableItem<TqdDXFStyle>(FTextStyleItem, C, csStyles);
}

void TqdDXFText::Loaded(TqdDXFConverter* C) {
  TqdDXFCustomVertex::Loaded(C);
  if (!C) return;
  if (!Layer() && !FLayerItem.Link()) SetLayer(C->LayerByName("0"));
  if (!Style() && !FTextStyleItem.Link()) SetStyle(C->StyleByName(C->HeadVarStruct().TextStyle));
}

void TqdDXFText::AssignEntity(const TqdDXFEntity& Source) {
  TqdDXFCustomVertex::AssignEntity(Source);
  if (const auto* S = dynamic_cast<const TqdDXFText*>(&Source)) {
    FBox = S->FBox;
    FText = S->FText;
    FHeight = S->FHeight;
    FRotation = S->FRotation;
    FScale = S->FScale;
    FObliqueAngle = S->FObliqueAngle;
    FHAlign = S->FHAlign;
    FVAlign = S->FVAlign;
    FGenerationFlags = S->FGenerationFlags;
    FPoint1 = S->FPoint1;
    FExtrusion = S->FExtrusion;
    FLineWeight = S->FLineWeight;
    FTextStyleItem.SetItem(S->FTextStyleItem.Item());
  }
}

void TqdDXFMText::AssignEntity(const TqdDXFEntity& Source) {
  TqdDXFText::AssignEntity(Source);
  if (const auto* S = dynamic_cast<const TqdDXFMText*>(&Source)) {
    FRectWidth = S->FRectWidth;
    FLineSpacingFactor = S->FLineSpacingFactor;
    FAlign = S->FAlign;
    FLineSpacingStyle = S->FLineSpacingStyle;
    FHyphenation = S->FHyphenation;
  }
}

void TqdDXFShape::AssignEntity(const TqdDXFEntity& Source) {
  TqdDXFText::AssignEntity(Source);
  if (const auto* S = dynamic_cast<const TqdDXFShape*>(&Source)) FShapeName = S->FShapeName;
}
