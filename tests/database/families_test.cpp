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
  Tqd2DBoundaryList* L = H.AddBoundaryList(2);
  auto* C = static_cast<Tqd2DPolyline*>(L->Add(std::make_unique<Tqd2DPolyline>()));
  C->AddVertex({0, 0});
  C->AddVertex({1, 0});
  C->AddBulge(0.5);
  C->AddVertex({1, 1});
  H.AddBoundaryList(1);  // empty loops are not copied
  H.HatchPatternData().push_back({45, {1, 2, 0}, {0, 3, 0}, 2, {1, -1}, true});
  H.SetGradientAngle(30);
  H.SetOffset({5, 6});
  H.SetHatchName("ANSI31");
  auto K = CopyOf(H);
  ASSERT_TRUE(K);
  ASSERT_EQ(K->GetBoundaryDataCount(), 1);
  const Tqd2DBoundaryList* KL = K->GetBoundaryDataLast();
  EXPECT_EQ(KL->FBoundaryType, 2);
  const auto* KC = dynamic_cast<const Tqd2DPolyline*>(KL->GetItem(0));
  ASSERT_TRUE(KC);
  EXPECT_NE(KC, C);  // a copy of its own
  EXPECT_EQ(KC->FVertexes.size(), 3u);
  EXPECT_EQ(KC->Bulge(1), 0.5);
  EXPECT_EQ(K->HatchPatternData().at(0).Lines.size(), 2u);
  EXPECT_EQ(K->GradientAngle(), 30.0);
  EXPECT_EQ(K->GetOffset().X, 5.0);
  EXPECT_EQ(K->GetHatchName(), "ANSI31");
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
