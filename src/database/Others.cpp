#include "Others.h"

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
  if (const auto* S = dynamic_cast<const TqdDXFProxy*>(&Source)) FDXFName = S->FDXFName;
}

void TqdDXFRegion::AssignEntity(const TqdDXFEntity& Source) {
  TqdDXFPenLine::AssignEntity(Source);
  if (const auto* S = dynamic_cast<const TqdDXFRegion*>(&Source)) {
    FAcisData = S->FAcisData;
    FDXFName = S->FDXFName;
  }
}
