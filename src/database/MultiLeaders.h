#pragma once
// Multileaders: leader lines with arrows, landings and dog-legs, pointing at a
// multiline text or a block with its attributes. The geometry is built when the entity
// is loaded from its context data (what the file stores as laid out), with the
// entity's overrides before its style's values; when that gives nothing, the proxy
// graphics the file carries are drawn instead.
#include <cstdint>
#include <string>
#include <vector>

#include "DXFBase.h"
#include "qdProxyGraphics.h"

class TqdDXFBlock;

// MLEADERSTYLE: the values a multileader takes when it does not override them.
class TqdDXFMLeaderStyle : public TqdDXFOwneredItem {
  QD_ENTITY_CLASS(TqdDXFMLeaderStyle)
public:
  int FContentType = 2;      // 0 none, 1 block, 2 multiline text
  int FLeaderLineType = 1;   // 0 invisible, 1 straight, 2 spline
  TqdColorCAD FLineColor = TqdColorCAD::Index(clByBlock);
  double FLineWeight = cnstLWByBlock;
  bool FEnableLanding = true;
  bool FEnableDogleg = true;
  double FDoglegLength = 8;
  double FLandingGap = 2;
  std::uint64_t FArrowHandle = 0;  // block record of the arrow; 0 closed filled
  double FArrowSize = 4;
  std::uint64_t FTextStyleHandle = 0;
  TqdColorCAD FTextColor = TqdColorCAD::Index(clByBlock);
  double FTextHeight = 4;
  std::uint64_t FBlockHandle = 0;
  double FScale = 1;
  void AssignEntity(const TqdDXFEntity& Source) override;
};

struct TqdMLeaderLine {
  std::vector<TFPoint> Vertices;  // from the arrow end towards the landing
  std::uint64_t ArrowHandle = 0;  // 0: the leader's
  double ArrowSize = 0;           // 0: the leader's
  TqdColorCAD Color = TqdColorCAD::Index(clByBlock);
  bool HasColor = false;
};

struct TqdMLeaderBranch {
  bool HasLastPoint = false;
  bool HasDogleg = false;
  TFPoint LastPoint;            // where the lines meet the landing
  TFPoint DoglegVector{1, 0, 0};
  double DoglegLength = 0;
  std::vector<TqdMLeaderLine> Lines;
};

struct TqdMLeaderAttribute {
  std::uint64_t AttdefHandle = 0;
  std::string Text;
};

class TqdDXFMultiLeader : public TqdCADGeneratedEntity {
  QD_ENTITY_CLASS(TqdDXFMultiLeader)
public:
  TqdCADEntities EntType() const override { return ceMultiLeader; }
  void AssignEntity(const TqdDXFEntity& Source) override;
  // The style named by FStyleHandle (null when there is none).
  TqdDXFMLeaderStyle* Style() const { return FStyle; }

  // ---- the leader (entity values; FOverrides says which the file set)
  std::uint64_t FStyleHandle = 0;
  int FContentType = -1;      // -1 the style's
  int FLeaderLineType = -1;   // -1 the style's
  TqdColorCAD FLineColor = TqdColorCAD::Index(clByBlock);
  bool FHasLineColor = false;
  double FLineWeight = cnstLWByBlock;
  bool FHasLineWeight = false;
  int FEnableLanding = -1, FEnableDogleg = -1;  // -1 the style's
  double FDoglegLength = -1;
  std::uint64_t FArrowHandle = 0;
  double FArrowSize = -1;
  std::uint64_t FTextStyleHandle = 0;
  TqdColorCAD FTextColor = TqdColorCAD::Index(clByBlock);
  bool FHasTextColor = false;
  std::uint64_t FBlockHandle = 0;
  TqdColorCAD FBlockColor = TqdColorCAD::Index(clByBlock);
  TFPoint FBlockScale{1, 1, 1};
  double FBlockRotation = 0;  // radians
  std::vector<TqdMLeaderAttribute> FAttributes;

  // ---- context data (the laid-out values)
  double FContextScale = 1;
  TFPoint FContentBase;
  double FTextHeight = 0;
  double FContextArrowSize = 0;
  double FLandingGap = 0;
  bool FHasText = false;
  std::string FText;
  TFPoint FTextNormal{0, 0, 1};
  std::uint64_t FContextTextStyleHandle = 0;
  TFPoint FTextLocation;
  TFPoint FTextDirection{1, 0, 0};
  double FTextRotation = 0;  // radians
  double FTextWidth = 0;
  double FLineSpacingFactor = 1;
  int FLineSpacingStyle = 1;
  TqdColorCAD FContextTextColor = TqdColorCAD::Index(clByBlock);
  bool FHasContextTextColor = false;
  int FTextAttachment = 1;
  bool FHasBlock = false;
  std::uint64_t FContextBlockHandle = 0;
  TFPoint FBlockNormal{0, 0, 1};
  TFPoint FBlockLocation;
  TFPoint FContextBlockScale{1, 1, 1};
  double FContextBlockRotation = 0;
  TqdColorCAD FContextBlockColor = TqdColorCAD::Index(clByBlock);
  bool FHasContextBlockColor = false;
  std::vector<TqdMLeaderBranch> FBranches;

protected:
  bool BuildGeometry(TqdDXFConverter* C, TqdDXFBlock& ABlock) override;

private:
  TqdDXFMLeaderStyle* FStyle = nullptr;
};

// The block of a block record handle (or of the block's own handle); null when none.
TqdDXFBlock* qdBlockByRecordHandle(TqdDXFConverter* C, std::uint64_t AHandle);
// A non-graphical object by handle, searched through the objects section.
TqdDXFEntity* qdObjectByHandle(TqdDXFConverter* C, std::uint64_t AHandle);
