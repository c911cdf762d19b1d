// The XML form of an area's loops and pattern lines: what is written reads back the
// same, and hostile nodes make no foreign edges and no allocation from their counts.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "Hatches.h"
#include "Properties.h"
#include "qdXMLParser.h"

namespace {

std::unique_ptr<TqdCADHatch> Sample() {
  auto H = std::make_unique<TqdCADHatch>();
  Tqd2DBoundaryList* L = H->AddBoundaryList(3);
  auto* Ln = static_cast<Tqd2DLine*>(L->Add(std::make_unique<Tqd2DLine>()));
  Ln->SetStartPoint({0, 0});
  Ln->SetEndPoint({4, 0});
  auto* A = static_cast<Tqd2DArc*>(L->Add(std::make_unique<Tqd2DArc>()));
  A->FCenterPoint = {4, 2};
  A->FRadius = 2;
  A->FStartParam = 270;
  A->FEndParam = 90;
  auto* E = static_cast<Tqd2DEllipse*>(L->Add(std::make_unique<Tqd2DEllipse>()));
  E->FMajorPoint = {3, 1};
  E->FRadius = 0.5;
  auto* P = static_cast<Tqd2DPolyline*>(L->Add(std::make_unique<Tqd2DPolyline>()));
  P->AddVertex({4, 4});
  P->AddBulge(0.25);
  P->AddVertex({0, 4});
  P->SetClosed(false);
  auto* S = static_cast<Tqd2DSpline*>(L->Add(std::make_unique<Tqd2DSpline>()));
  S->SetDegree(2);
  S->AddControl({0, 4});
  S->AddControl({-1, 2});
  S->AddControl({0, 0});
  for (double K : {0, 0, 0, 1, 1, 1}) S->AddKnot(K);
  H->SetHatchName("ANSI31");
  H->PatternData().FAngle = 15;
  H->PatternData().FScale = 2;
  H->HatchPatternData().push_back({45, {1, 2, 0}, {-1, 1, 0}, 2, {3, -1.5}, true});
  return H;
}

}  // namespace

TEST(XMLHatch, LoopsAndPatternLinesReadBackTheSame) {
  auto H = Sample();
  TqdNode Root;
  const TqdNode* N = H->ToXML(Root, 0);
  ASSERT_TRUE(N);
  ASSERT_TRUE(N->GetChildByName("Boundaries"));
  ASSERT_TRUE(N->GetChildByName("Pattrens"));
  // Through text, as a file would carry it.
  std::string Text;
  WriteXMLNode(Text, *N);
  TqdParser P;
  ASSERT_TRUE(P.LoadFromString(Text)) << Text;
  TqdCADHatch K;
  TqdXMLResult R;
  K.FromXML(*P.ROOT().GetChildNode(0), &R);
  EXPECT_TRUE(R.Messages.empty()) << (R.Messages.empty() ? "" : R.Messages[0]);
  ASSERT_EQ(K.GetBoundaryDataCount(), 1);
  const Tqd2DBoundaryList* L = K.GetBoundaryDataLast();
  EXPECT_EQ(L->FBoundaryType, 3);
  ASSERT_EQ(L->GetCount(), 5);
  const Tqd2DBoundaryList* Src = H->GetBoundaryDataLast();
  for (int I = 0; I < 5; ++I) EXPECT_TRUE(L->GetItem(I)->IsEdgeEqual(*Src->GetItem(I))) << I;
  EXPECT_EQ(K.GetHatchName(), "ANSI31");
  EXPECT_EQ(K.PatternAngle(), 15.0);
  EXPECT_EQ(K.PatternScale(), 2.0);
  ASSERT_EQ(K.HatchPatternData().size(), 1u);
  const TqdHatchPatternData& D = K.HatchPatternData()[0];
  EXPECT_EQ(D.LineAngle, 45.0);
  EXPECT_EQ(D.Offset, (TFPoint{-1, 1, 0}));
  EXPECT_TRUE(D.IsDash);
  EXPECT_EQ(D.DashNum, 2);
  EXPECT_EQ(D.Lines, (std::vector<double>{3, -1.5}));
}

TEST(XMLHatch, HostileNodesMakeNoForeignEdgesAndTrustNoCounts) {
  TqdParser P;
  ASSERT_TRUE(P.LoadFromString(
      "<vnxHatch><Boundaries><Boundary Flags=\"1\">"
      "<vnxLine Point=\"0,0\" Point1=\"1,1\"/><vnxhLine StartPoint=\"0,0\" EndPoint=\"1,0\"/>"
      "<vnxhPolyline><Vertexes Count=\"2000000000\"><Vertex Point=\"1,0\"/><Vertex Point=\"1,1\" Bulge=\"nan\"/>"
      "</Vertexes></vnxhPolyline><vnxCircle/>"
      "</Boundary></Boundaries>"
      "<Pattrens Name=\"X\"><Pattren LineAngle=\"inf\" Count=\"2\"><Lines Count=\"2000000000\">"
      "<Dash Value=\"1\"/><dash Value=\"nan\"/><Other Value=\"5\"/></Lines></Pattren></Pattrens></vnxHatch>"));
  TqdCADHatch H;
  TqdXMLResult R;
  H.FromXML(*P.ROOT().GetChildNode(0), &R);
  ASSERT_EQ(H.GetBoundaryDataCount(), 1);
  const Tqd2DBoundaryList* L = H.GetBoundaryDataLast();
  ASSERT_EQ(L->GetCount(), 2);  // the line entity and the circle were refused
  EXPECT_EQ(L->GetItem(0)->GetEdgeType(), etLine);
  const auto* PL = dynamic_cast<const Tqd2DPolyline*>(L->GetItem(1));
  ASSERT_TRUE(PL);
  EXPECT_EQ(PL->FVertexes.size(), 2u);
  EXPECT_LE(PL->FVertexes.capacity(), 8u);
  EXPECT_TRUE(PL->FBulges.empty());
  EXPECT_EQ(R.Messages.size(), 2u);
  ASSERT_EQ(H.HatchPatternData().size(), 1u);
  EXPECT_EQ(H.HatchPatternData()[0].LineAngle, 0.0);
  EXPECT_EQ(H.HatchPatternData()[0].Lines, (std::vector<double>{1}));
  EXPECT_LE(H.HatchPatternData()[0].Lines.capacity(), 8u);
  // Loading what was read is safe.
  H.Loaded(nullptr);
}
