// The attribute-holding classes of texts, hatches, dimensions and the other families:
// a copy (NewInstance + AssignEntity, as clones and array inserts make them) carries
// every attribute, and none of them claims a box before its geometry exists.
#include <gtest/gtest.h>

#include "Dimensions.h"
#include "Hatches.h"
#include "Others.h"
#include "Registry.h"
#include "Texts.h"

namespace {

template <class T>
std::unique_ptr<T> CopyOf(const T& Source) {
  std::unique_ptr<TqdDXFEntity> E = Source.NewInstance();
  E->AssignEntity(Source);
  return std::unique_ptr<T>(dynamic_cast<T*>(E.release()));
}

TEST(Families, HatchCopyCarriesPathsPatternAndGradient) {
  TqdCADMPolygon H;
  Tqd2DBoundaryList L;
  L.FBoundaryType = 2;
  Tqd2DCurve C;
  C.FType = etPolyline;
  C.FVertexes = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}};
  C.FBulges = {0.5f};
  L.FObjects.push_back(C);
  H.FBoundaries.push_back(L);
  H.FPatternLines.push_back({45, {1, 2, 0}, {0, 3, 0}, 2, true, {1, -1}});
  H.FGradientAngle = 30;
  H.FOffset = {5, 6, 0};
  H.FHatchName = "ANSI31";
  auto K = CopyOf(H);
  ASSERT_TRUE(K);
  ASSERT_EQ(K->FBoundaries.size(), 1u);
  EXPECT_EQ(K->FBoundaries[0].FBoundaryType, 2);
  EXPECT_EQ(K->FBoundaries[0].FObjects[0].FVertexes.size(), 3u);
  EXPECT_EQ(K->FPatternLines.at(0).Lines.size(), 2u);
  EXPECT_EQ(K->FGradientAngle, 30.0);
  EXPECT_EQ(K->FOffset.X, 5.0);
  EXPECT_EQ(K->FHatchName, "ANSI31");
  EXPECT_EQ(K->EntType(), ceMPolygon);
}

TEST(Families, TextFamilyCopies) {
  TqdDXFMText M;
  M.SetText("a\\Pb");
  M.SetRectWidth(10);
  M.SetAlign(5);
  M.SetLineSpacingFactor(1.5);
  auto K = CopyOf(M);
  EXPECT_EQ(K->Text(), "a\\Pb");
  EXPECT_EQ(K->RectWidth(), 10.0);
  EXPECT_EQ(K->Align(), 5);
  EXPECT_EQ(K->LineSpacingFactor(), 1.5);
  TqdDXFShape S;
  S.SetShapeName("BOX");
  EXPECT_EQ(CopyOf(S)->ShapeName(), "BOX");
}

TEST(Families, DimensionLeaderToleranceAndOthersCopy) {
  TqdDXFDimension D;
  D.FFlags = 33;
  D.FLinDefPoint2 = {4, 5, 0};
  D.FTextOverride = "<>";
  auto DK = CopyOf(D);
  EXPECT_EQ(DK->FFlags, 33);
  EXPECT_EQ(DK->FLinDefPoint2.Y, 5.0);
  TqdDXFLeader L;
  L.Controls().Add({0, 0, 0});
  L.Controls().Add({1, 1, 0});
  EXPECT_EQ(CopyOf(L)->ControlCount(), 2);
  TqdDXFImageEnt I;
  I.FBoundary = {{-0.5, -0.5, 0}};
  I.FImageDefHandle = 0x2A;
  auto IK = CopyOf(I);
  EXPECT_EQ(IK->FImageDefHandle, 0x2Au);
  EXPECT_EQ(IK->FBoundary.size(), 1u);
  TqdDXF3dSolid S;
  S.FAcisData = "400 0 1 0";
  EXPECT_EQ(CopyOf(S)->FAcisData, "400 0 1 0");
}

TEST(Families, NoGuessedBoxes) {
  RegisterDatabaseClasses();
  for (const char* N : {"TEXT", "MTEXT", "SHAPE", "LEADER", "TOLERANCE", "HATCH", "MPOLYGON", "WIPEOUT", "IMAGE",
                        "OLE2FRAME", "ACAD_PROXY_ENTITY", "MESH", "REGION", "3DSOLID", "BODY", "NURBSURFACE"}) {
    SCOPED_TRACE(N);
    std::unique_ptr<TqdDXFEntity> E = TqdEntityRegistry::CreateByDXFName(N);
    ASSERT_TRUE(E);
    EXPECT_EQ(E->Box(), cnstBadRect);
  }
}

}  // namespace
