#pragma once
// Dimensions, leaders and tolerance frames as far as the file gives them: a dimension
// is drawn through its block (an insert of it); the definition points, the leader
// vertices and the frame text wait for the dimension unit. Leaders and frames keep
// the bad box until then.
#include <cstdint>
#include <string>
#include <vector>

#include "Inserts.h"

class TqdDXFDimension : public TqdDXFInsert {
  QD_ENTITY_CLASS(TqdDXFDimension)
public:
  TqdCADEntities EntType() const override { return ceDimension; }
  void AssignEntity(const TqdDXFEntity& Source) override;

  std::string FDimStyleName;
  TFPoint FDefPoint;       // code 10
  TFPoint FTextMidPoint;   // code 11
  TFPoint FLinDefPoint1;   // code 13
  TFPoint FLinDefPoint2;   // code 14
  TFPoint FRadDefPoint;    // code 15
  TFPoint FArcDefPoint;    // code 16
  int FDimType = 0;        // code 70
  std::string FTextOverride;
  double FTextRotation = 0;  // degrees
  double FMeasurement = 0;   // code 42
};

class TqdDXFLeader : public TqdDXFPenLine {
  QD_ENTITY_CLASS(TqdDXFLeader)
public:
  TqdCADEntities EntType() const override { return ceLeader; }
  void AssignEntity(const TqdDXFEntity& Source) override;

  std::vector<TFPoint> FVertices;
  int FAnnotationType = 3;   // code 73
  int FHookDirection = 0;    // code 74
  int FHookLine = 0;         // code 75
  bool FArrowHead = true;    // code 71
  int FPathType = 0;         // code 72: 0 straight, 1 spline
  double FAnnotationHeight = 0, FAnnotationWidth = 0;
  TFPoint FHookVector{1, 0, 0};
  std::uint64_t FAnnotationHandle = 0;
  std::string FDimStyleName;
  std::string FArrowBlockName = "_CLOSEDFILLED";
};

class TqdDXFTolerance : public TqdDXFPenLine {
  QD_ENTITY_CLASS(TqdDXFTolerance)
public:
  TqdCADEntities EntType() const override { return ceTolerance; }
  void AssignEntity(const TqdDXFEntity& Source) override;

  std::string FText;
  TFPoint FDirection{1, 0, 0};
  std::string FDimStyleName;
};
