#include "Dimensions.h"

void TqdDXFDimension::AssignEntity(const TqdDXFEntity& Source) {
  TqdDXFInsert::AssignEntity(Source);
  if (const auto* S = dynamic_cast<const TqdDXFDimension*>(&Source)) {
    FDimStyleName = S->FDimStyleName;
    FDefPoint = S->FDefPoint;
    FTextMidPoint = S->FTextMidPoint;
    FLinDefPoint1 = S->FLinDefPoint1;
    FLinDefPoint2 = S->FLinDefPoint2;
    FRadDefPoint = S->FRadDefPoint;
    FArcDefPoint = S->FArcDefPoint;
    FDimType = S->FDimType;
    FTextOverride = S->FTextOverride;
    FTextRotation = S->FTextRotation;
    FMeasurement = S->FMeasurement;
  }
}

void TqdDXFLeader::AssignEntity(const TqdDXFEntity& Source) {
  TqdDXFPenLine::AssignEntity(Source);
  if (const auto* S = dynamic_cast<const TqdDXFLeader*>(&Source)) {
    FVertices = S->FVertices;
    FAnnotationType = S->FAnnotationType;
    FHookDirection = S->FHookDirection;
    FHookLine = S->FHookLine;
    FArrowHead = S->FArrowHead;
    FPathType = S->FPathType;
    FAnnotationHeight = S->FAnnotationHeight;
    FAnnotationWidth = S->FAnnotationWidth;
    FHookVector = S->FHookVector;
    FAnnotationHandle = S->FAnnotationHandle;
    FDimStyleName = S->FDimStyleName;
    FArrowBlockName = S->FArrowBlockName;
  }
}

void TqdDXFTolerance::AssignEntity(const TqdDXFEntity& Source) {
  TqdDXFPenLine::AssignEntity(Source);
  if (const auto* S = dynamic_cast<const TqdDXFTolerance*>(&Source)) {
    FText = S->FText;
    FDirection = S->FDirection;
    FDimStyleName = S->FDimStyleName;
  }
}
