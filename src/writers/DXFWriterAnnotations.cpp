// Multileaders and their styles: the context data, leaders and leader lines between
// their brace markers, as the reader maps them by hand.
#include "DXFWriterAreas.h"

#include <cmath>

#include "MultiLeaders.h"

namespace dxfw {

namespace {

// A colour in the 32-bit form multileaders keep: kind in the high byte.
std::int64_t RawColour(const TqdColorCAD& C) {
  std::uint32_t V;
  if (C.Active != acIndexColor) {
    const std::uint32_t R = C.Color & 0xFF, G = (C.Color >> 8) & 0xFF, B = (C.Color >> 16) & 0xFF;
    V = 0xC2000000u | (R << 16) | (G << 8) | B;
  } else if (C.IsByLayer()) {
    V = 0xC0000000u;
  } else if (C.IsByBlock()) {
    V = 0xC1000000u;
  } else {
    V = 0xC3000000u | (static_cast<std::uint32_t>(C.IndexValue()) & 0xFF);
  }
  return static_cast<std::int32_t>(V);
}

int Weight(double W) { return W > 0 ? static_cast<int>(std::lround(W * 100)) : static_cast<int>(W); }

}  // namespace

void WriteMultiLeader(TContext& X, const TqdDXFMultiLeader& M) {
  TqdDXFOutput& O = X.Out;
  X.Marker("AcDbMLeader");
  O.Int(270, 2);
  O.Str(300, "CONTEXT_DATA{");
  O.Dbl(40, M.FContextScale);
  O.Point(10, M.FContentBase);
  O.Dbl(41, M.FTextHeight);
  O.Dbl(140, M.FContextArrowSize);
  O.Dbl(145, M.FLandingGap);
  O.Int(174, 1);
  O.Int(175, 1);
  O.Int(176, 0);
  O.Int(177, 0);
  O.Int(290, M.FHasText ? 1 : 0);
  if (M.FHasText) {
    O.Str(304, M.FText);
    O.Point(11, M.FTextNormal);
    O.Handle(340, M.FContextTextStyleHandle);
    O.Point(12, M.FTextLocation);
    O.Point(13, M.FTextDirection);
    O.Dbl(42, M.FTextRotation);
    O.Dbl(43, M.FTextWidth);
    O.Dbl(44, 0);
    O.Dbl(45, M.FLineSpacingFactor);
    O.Int(170, M.FLineSpacingStyle);
    O.Int(90, RawColour(M.FContextTextColor));
    O.Int(171, M.FTextAttachment);
    O.Int(172, 1);
    O.Int(91, static_cast<std::int32_t>(0xC1000000u));
    O.Dbl(141, 1.5);
    O.Int(92, 0);
    O.Int(291, 0);
    O.Int(292, 0);
    O.Int(173, 0);
    O.Int(293, 0);
    O.Dbl(142, 0);
    O.Dbl(143, 0);
    O.Int(294, 0);
    O.Int(295, 0);
  }
  O.Int(296, M.FHasBlock ? 1 : 0);
  if (M.FHasBlock) {
    O.Handle(341, M.FContextBlockHandle);
    O.Point(14, M.FBlockNormal);
    O.Point(15, M.FBlockLocation);
    O.Point(16, M.FContextBlockScale);
    O.Dbl(46, M.FContextBlockRotation);
    O.Int(93, RawColour(M.FContextBlockColor));
    for (int I = 0; I < 16; ++I) O.Dbl(47, I % 5 == 0 ? 1.0 : 0.0);
  }
  O.Point(110, {0, 0, 0});
  O.Point(111, {1, 0, 0});
  O.Point(112, {0, 1, 0});
  O.Int(297, 0);
  int Index = 0;
  for (const TqdMLeaderBranch& B : M.FBranches) {
    O.Str(302, "LEADER{");
    O.Int(290, B.HasLastPoint ? 1 : 0);
    O.Int(291, B.HasDogleg ? 1 : 0);
    O.Point(10, B.LastPoint);
    O.Point(11, B.DoglegVector);
    O.Int(90, Index++);
    O.Dbl(40, B.DoglegLength);
    int Line = 0;
    for (const TqdMLeaderLine& L : B.Lines) {
      O.Str(304, "LEADER_LINE{");
      for (const TFPoint& P : L.Vertices) O.Point(10, P);
      O.Int(91, Line++);
      if (L.HasColor) O.Int(92, RawColour(L.Color));
      O.Str(305, "}");
    }
    O.Int(271, 0);
    O.Str(303, "}");
  }
  O.Int(272, 9);
  O.Int(273, 9);
  O.Str(301, "}");
  O.Handle(340, M.FStyleHandle);
  O.Int(90, 0);
  if (M.FLeaderLineType >= 0) O.Int(170, M.FLeaderLineType);
  if (M.FHasLineColor) O.Int(91, RawColour(M.FLineColor));
  if (M.FHasLineWeight) O.Int(171, Weight(M.FLineWeight));
  if (M.FEnableLanding >= 0) O.Int(290, M.FEnableLanding);
  if (M.FEnableDogleg >= 0) O.Int(291, M.FEnableDogleg);
  if (M.FDoglegLength >= 0) O.Dbl(41, M.FDoglegLength);
  if (M.FArrowHandle) O.Handle(342, M.FArrowHandle);
  if (M.FArrowSize >= 0) O.Dbl(42, M.FArrowSize);
  if (M.FContentType >= 0) O.Int(172, M.FContentType);
  if (M.FTextStyleHandle) O.Handle(343, M.FTextStyleHandle);
  if (M.FHasTextColor) O.Int(92, RawColour(M.FTextColor));
  if (M.FBlockHandle) {
    O.Handle(344, M.FBlockHandle);
    O.Int(93, RawColour(M.FBlockColor));
    O.Point(10, M.FBlockScale);
    O.Dbl(43, M.FBlockRotation);
  }
  for (const TqdMLeaderAttribute& A : M.FAttributes) {
    O.Handle(330, A.AttdefHandle);
    O.Int(177, 0);
    O.Dbl(44, 0);
    O.Str(302, A.Text);
  }
}

void WriteMLeaderStyle(TContext& X, const TqdDXFMLeaderStyle& S) {
  TqdDXFOutput& O = X.Out;
  X.Marker("AcDbMLeaderStyle");
  O.Int(179, 2);
  O.Int(170, S.FContentType);
  O.Int(171, 1);
  O.Int(172, 0);
  O.Int(90, 2);
  O.Int(173, S.FLeaderLineType);
  O.Int(91, RawColour(S.FLineColor));
  O.Int(92, Weight(S.FLineWeight));
  O.Int(290, S.FEnableLanding ? 1 : 0);
  O.Dbl(42, S.FLandingGap);
  O.Int(291, S.FEnableDogleg ? 1 : 0);
  O.Dbl(43, S.FDoglegLength);
  O.Str(3, S.Name());
  if (S.FArrowHandle) O.Handle(341, S.FArrowHandle);
  O.Dbl(44, S.FArrowSize);
  O.Str(300, "");
  if (S.FTextStyleHandle) O.Handle(342, S.FTextStyleHandle);
  O.Int(174, 1);
  O.Int(178, 1);
  O.Int(175, 1);
  O.Int(176, 0);
  O.Int(93, RawColour(S.FTextColor));
  O.Dbl(45, S.FTextHeight);
  O.Int(292, 0);
  O.Int(297, 0);
  O.Dbl(46, 4);
  if (S.FBlockHandle) O.Handle(343, S.FBlockHandle);
  O.Int(94, static_cast<std::int32_t>(0xC1000000u));
  O.Dbl(47, 1);
  O.Dbl(49, 1);
  O.Dbl(140, 1);
  O.Int(293, 1);
  O.Dbl(141, 0);
  O.Int(294, 1);
  O.Dbl(142, S.FScale);
  O.Int(295, 0);
  O.Int(296, 0);
  O.Dbl(143, 3.75);
  O.Int(271, 0);
  O.Int(272, 9);
  O.Int(273, 9);
}

}  // namespace dxfw
