// Layouts, viewports, page setups and saved views, built in code.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "DXFConv.h"
#include "DXFDump.h"
#include "Faces.h"
#include "Inserts.h"
#include "qdFunction.h"

namespace {

template <class T> T* AddTo(TqdDXFEntity* Owner, std::unique_ptr<T> E) {
  T* Raw = E.get();
  return Owner->AddEntity(std::move(E)) >= 0 ? Raw : nullptr;
}

TqdDXFViewport* AddViewport(TqdDXFEntity* Owner, std::uint64_t Handle, const TFPoint& Centre, double W, double H) {
  auto V = std::make_unique<TqdDXFViewport>();
  V->SetHandle(Handle);
  V->SetPSpaceCenter(Centre);
  V->SetPSpaceWidth(W);
  V->SetPSpaceHeight(H);
  return AddTo(Owner, std::move(V));
}

void ExpectPoint(const TFPoint& P, double X, double Y, double Z = 0) {
  EXPECT_NEAR(P.X, X, 1e-9);
  EXPECT_NEAR(P.Y, Y, 1e-9);
  EXPECT_NEAR(P.Z, Z, 1e-9);
}

// ---------------------------------------------------------------- layouts and blocks

TEST(Layouts, SpaceBlocksAreNamedByIndex) {
  TqdDXFConverter C;
  C.AddLayout(std::make_unique<TqdDXFLayout>());
  C.AddLayout(std::make_unique<TqdDXFLayout>());
  ASSERT_EQ(C.LayoutsCount(), 4);
  EXPECT_EQ(C.GetLayout(1)->PaperSpaceBlock()->Name(), "*PAPER_SPACE");
  EXPECT_EQ(C.GetLayout(2)->PaperSpaceBlock()->Name(), "*PAPER_SPACE0");
  EXPECT_EQ(C.GetLayout(3)->PaperSpaceBlock()->Name(), "*PAPER_SPACE1");
  auto Loose = std::make_unique<TqdDXFLayout>();
  Loose->SetConverter(&C);
  Loose->SetNameUnchecked("Sheet");
  EXPECT_EQ(Loose->Index(), -1);
  TqdDXFBlock* B = Loose->PaperSpaceBlock();
  ASSERT_NE(B, nullptr);
  EXPECT_EQ(B->Name(), "*[Sheet]");
  Loose.reset();
  EXPECT_EQ(B->Layout(), nullptr);
}

TEST(Layouts, WithoutConverterThereIsNoBlock) {
  TqdDXFLayout L;
  EXPECT_TRUE(L.IsModel());
  EXPECT_EQ(L.PaperSpaceBlock(), nullptr);
  EXPECT_EQ(L.Count(), 0);
  EXPECT_EQ(L.GetEntity(0), nullptr);
  EXPECT_EQ(L.Index(), -1);
}

TEST(Layouts, ReadingTheBlockClearsItsLoadedMark) {
  TqdDXFConverter C;
  TqdDXFBlock* B = C.ModelSpace();
  ASSERT_NE(B, nullptr);
  C.Loads(B);
  EXPECT_TRUE(B->IsLoaded());
  EXPECT_EQ(C.GetLayout(0)->PaperSpaceBlock(), B);
  EXPECT_FALSE(B->IsLoaded());
}

// Paper layouts as a row of a table: name, handle, tab order (negative: none given).
struct TTabLayout {
  const char* Name;
  std::uint64_t Handle;
  int Tab;
};
struct TTabCase {
  const char* Case;
  std::vector<TTabLayout> Layouts;
  std::vector<std::string> Expected;  // after "Model"
};

void PrintTo(const TTabCase& C, std::ostream* O) { *O << C.Case; }

class TabOrder : public ::testing::TestWithParam<TTabCase> {};

TEST_P(TabOrder, ModelFirstThenTheTabsAsTheyShow) {
  TqdDXFConverter C;
  // The model's own tab order must not move it from the front.
  C.GetLayout(0)->SetTabOrder(9);
  for (std::size_t I = 0; I < GetParam().Layouts.size(); ++I) {
    const TTabLayout& T = GetParam().Layouts[I];
    TqdDXFLayout* L = I == 0 ? C.GetLayout(1) : nullptr;
    if (!L) {
      auto New = std::make_unique<TqdDXFLayout>();
      L = New.get();
      ASSERT_GE(C.AddLayout(std::move(New)), 0);
    }
    L->SetNameUnchecked(T.Name);
    L->SetHandle(T.Handle);
    L->SetTabOrder(T.Tab);
  }
  C.SortLayouts(C.GetLayout(0));
  std::vector<std::string> Names;
  for (int I = 0; I < C.LayoutsCount(); ++I) Names.push_back(C.GetLayout(I)->Name());
  std::vector<std::string> Expected{cnstModelLayoutName};
  Expected.insert(Expected.end(), GetParam().Expected.begin(), GetParam().Expected.end());
  EXPECT_EQ(Names, Expected);
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, TabOrder,
    ::testing::Values(
        TTabCase{"tab_order_wins_over_handle_order", {{"A", 0x30, 3}, {"B", 0x40, 1}, {"C", 0x50, 2}}, {"B", "C", "A"}},
        TTabCase{"equal_tab_orders_keep_handle_order", {{"A", 0x50, 1}, {"B", 0x40, 1}, {"C", 0x30, 0}}, {"C", "B", "A"}},
        TTabCase{"no_tab_order_goes_last_by_handle", {{"A", 0x30, -1}, {"B", 0x60, 2}, {"C", 0x20, -7}}, {"B", "C", "A"}}),
    [](const auto& I) { return std::string(I.param.Case); });

TEST(Layouts, NamedPageSetupInObjectsReplacesTheLayoutsCopy) {
  TqdDXFConverter C;
  auto* P = dynamic_cast<TqdDXFPlotSettings*>(
      C.NewNamedEntity(C.GetOrCreateSection(csObjects), ClassOf<TqdDXFPlotSettings>(), "A3 setup"));
  ASSERT_NE(P, nullptr);
  EXPECT_EQ(P->FData.PageSetupName, "A3 setup");
  P->FData.PaperSize = "ISO A3";
  TqdDXFLayout* L = C.GetLayout(1);
  L->PlotSettings()->FData.PageSetupName = "a3 SETUP";
  C.Loads(L);
  EXPECT_EQ(L->PlotSettings()->FData.PaperSize, "ISO A3");
}

TEST(Layouts, AssignCopiesPageSetupViewAndTabOrder) {
  TqdDXFLayout A, B;
  A.PlotSettings()->FData.PaperSize = "Letter";
  A.SetTabOrder(4);
  A.View()->PushView({1, 2, 3, 4});
  A.SetBox({0, 1, 0, 1, 0, 0});
  A.SetRotZAngle(30);
  B.AssignEntity(A);
  EXPECT_TRUE(IsBadBox(B.Box()));
  EXPECT_EQ(B.RotZAngle(), 0);
  EXPECT_EQ(B.PlotSettings()->FData.PaperSize, "Letter");
  EXPECT_EQ(B.View()->ActiveView(), (TqdView::TRect{1, 2, 3, 4}));
  EXPECT_EQ(B.TabOrder(), 4);
}

TEST(Layouts, RaysCountWhereTheyCrossTheRestOfTheBox) {
  TqdDXFConverter C;
  auto L = std::make_unique<TqdDXFLine>();
  L->SetLine({0, 0, 0}, {10, 10, 0});
  C.ModelSpace()->AddEntity(std::move(L));
  auto Ray = [&](auto Made, const TFPoint& Start, const TFPoint& Dir) {
    Made->SetStartPoint(Start);
    Made->SetDirection(Dir);
    C.ModelSpace()->AddEntity(std::move(Made));
  };
  Ray(std::make_unique<TqdDXFRay>(), {20, 5, 0}, {-1, 0, 0});     // points into the box
  Ray(std::make_unique<TqdDXFRay>(), {30, 5, 0}, {1, 0, 0});      // points away
  Ray(std::make_unique<TqdDXFXline>(), {40, 5, 0}, {1, 0, 0});    // runs both ways
  Ray(std::make_unique<TqdDXFXline>(), {50, 50, 0}, {1, 0, 0});   // passes above
  C.LoadAll();
  EXPECT_NEAR(C.GetLayout(0)->Box().Right, 40, 1e-9);
  EXPECT_NEAR(C.GetLayout(0)->Box().Top, 10, 1e-9);
}

// ---------------------------------------------------------------- viewports

TEST(Viewports, OrdinalsGoToTheSmallestHandleFirst) {
  TqdDXFConverter C;
  TqdDXFBlock* Paper = C.GetLayout(1)->PaperSpaceBlock();
  TqdDXFViewport* V10 = AddViewport(Paper, 10, {0, 0, 0}, 1, 1);
  TqdDXFViewport* V5 = AddViewport(Paper, 5, {0, 0, 0}, 1, 1);
  TqdDXFViewport* V7 = AddViewport(Paper, 7, {0, 0, 0}, 1, 1);
  EXPECT_EQ(V10->OrdIndex(), 1);
  EXPECT_EQ(V5->OrdIndex(), 0);
  EXPECT_EQ(V7->OrdIndex(), 2);
  EXPECT_EQ(Paper->ViewPortWithMinIndex(), V5);
  std::unique_ptr<TqdDXFEntity> Out = Paper->DeleteEntity(Paper->IndexOfEntity(V5));
  EXPECT_EQ(V5->OrdIndex(), -1);
  EXPECT_EQ(Paper->ViewPortWithMinIndex(), nullptr);
}

TEST(Viewports, MatrixScalesModelSpaceAboutTheViewCentre) {
  TqdDXFViewport V;
  V.SetPSpaceCenter({5, 5, 0});
  V.SetPSpaceHeight(10);
  V.SetMSpaceHeight(100);
  V.SetMSpaceCenter({50, 50, 0});
  V.Loaded(nullptr);
  ExpectPoint(TransformPoint({50, 50, 0}, V.Matrix()), 5, 5);
  ExpectPoint(TransformPoint({0, 0, 0}, V.Matrix()), 0, 0);
  V.SetMSpaceHeight(0);
  V.Loaded(nullptr);
  ExpectPoint(TransformPoint({51, 50, 0}, V.Matrix()), 6, 5);
}

TEST(Viewports, TwistTurnsTheModelAndZeroDirectionReadsAsZ) {
  TqdDXFViewport V;
  V.SetPSpaceHeight(1);
  V.SetMSpaceHeight(1);
  V.SetViewDirection({0, 0, 0});
  V.SetViewTwistAngle(90);
  V.Loaded(nullptr);
  ExpectPoint(V.ViewDirection(), 0, 0, 1);
  const TFPoint P = TransformPoint({1, 0, 0}, V.Matrix());
  EXPECT_NEAR(std::hypot(P.X, P.Y), 1, 1e-9);
  EXPECT_NEAR(P.X, 0, 1e-9) << "a quarter turn";
  for (double X : {V.Matrix().E0.X, V.Matrix().E0.Y}) EXPECT_TRUE(std::isfinite(X));
}

TEST(Viewports, ExtremeHeightsKeepAFiniteMatrix) {
  TqdDXFViewport V;
  V.SetPSpaceHeight(1e300);
  V.SetMSpaceHeight(1e-300);
  V.Loaded(nullptr);
  EXPECT_TRUE(IsFiniteFPoint(V.Matrix().EX));
  EXPECT_TRUE(IsFiniteFPoint(V.Matrix().E0));
}

TEST(Viewports, InModelSpaceIsOffWithoutFrameOrBox) {
  TqdDXFConverter C;
  TqdDXFViewport* V = AddViewport(C.ModelSpace(), 0x20, {5, 5, 0}, 10, 10);
  C.Loads(V);
  EXPECT_TRUE(V->InModelSpace());
  EXPECT_TRUE(V->IsOff());
  EXPECT_EQ(V->StatusField(), 0);
  EXPECT_FALSE(V->VisibleBoundary());
  EXPECT_TRUE(IsBadBox(V->Box()));
  V->SetVisibleBoundary(true);
  EXPECT_FALSE(V->VisibleBoundary());
}

TEST(Viewports, SheetViewportHasNoBoxAndOffViewportKeepsItsFrame) {
  TqdDXFConverter C;
  TqdDXFBlock* Paper = C.GetLayout(1)->PaperSpaceBlock();
  TqdDXFViewport* Sheet = AddViewport(Paper, 1, {0, 0, 0}, 400, 300);
  TqdDXFViewport* Off = AddViewport(Paper, 2, {50, 50, 0}, 20, 10);
  TqdDXFViewport* On = AddViewport(Paper, 3, {100, 50, 0}, 20, 10);
  Off->SetOff(true);
  for (TqdDXFViewport* V : {Sheet, Off, On}) C.Loads(V);
  EXPECT_FALSE(Sheet->IsOn());
  EXPECT_TRUE(IsBadBox(Sheet->Box()));
  EXPECT_FALSE(Off->IsOn());
  EXPECT_EQ(Off->StatusField(), 0);
  EXPECT_TRUE(Off->IsDraw());
  EXPECT_NEAR(Off->Box().Left, 40, 1e-9);
  EXPECT_TRUE(On->IsOn());
  // The paper layout's box: the frames of the off and on viewports, not the sheet.
  C.Loads(C.GetLayout(1));
  const TFRect R = C.GetLayout(1)->Box();
  EXPECT_NEAR(R.Left, 40, 1e-9);
  EXPECT_NEAR(R.Right, 110, 1e-9);
  EXPECT_NEAR(R.Bottom, 45, 1e-9);
  EXPECT_NEAR(R.Top, 55, 1e-9);
}

TEST(Viewports, PaperLayoutBoxTakesInsertsAndSeveralViewports) {
  TqdDXFConverter C;
  TqdDXFBlock* Blk = dynamic_cast<TqdDXFBlock*>(
      C.NewNamedEntity(C.GetOrCreateSection(csBlocks), ClassOf<TqdDXFBlock>(), "TITLE"));
  auto L = std::make_unique<TqdDXFLine>();
  L->SetLine({0, 0, 0}, {10, 5, 0});
  Blk->AddEntity(std::move(L));
  TqdDXFBlock* Paper = C.GetLayout(1)->PaperSpaceBlock();
  AddViewport(Paper, 1, {0, 0, 0}, 1000, 1000);
  AddViewport(Paper, 2, {10, 10, 0}, 10, 10);
  AddViewport(Paper, 3, {30, 10, 0}, 10, 10);
  auto I = std::make_unique<TqdDXFInsert>();
  I->SetBlock(Blk);
  I->SetPoint({100, 0, 0});
  I->SetScale({-1, 1, 1});  // mirrored title block
  Paper->AddEntity(std::move(I));
  C.LoadAll();
  const TFRect R = C.GetLayout(1)->Box();
  EXPECT_NEAR(R.Left, 5, 1e-9);
  EXPECT_NEAR(R.Right, 100, 1e-9);
  EXPECT_NEAR(R.Bottom, 0, 1e-9);
  EXPECT_NEAR(R.Top, 15, 1e-9);
}

TEST(Viewports, BoundaryIsASiblingPolylineFoundByHandle) {
  TqdDXFConverter C;
  TqdDXFBlock* Paper = C.GetLayout(1)->PaperSpaceBlock();
  TqdDXFViewport* V = AddViewport(Paper, 2, {0, 0, 0}, 10, 10);
  V->SetClippingBoundaryHandle(0x99);
  EXPECT_EQ(V->GetBoundary(&C), nullptr);
  auto Line = std::make_unique<TqdDXFLine>();
  Line->SetHandle(0x99);
  TqdDXFLine* Raw = AddTo(Paper, std::move(Line));
  EXPECT_EQ(V->GetBoundary(&C), Raw);
  EXPECT_EQ(V->UsableBoundary(&C), nullptr) << "a line is no usable boundary";
  Paper->RemoveEntity(Raw);
  EXPECT_EQ(V->GetBoundary(&C), nullptr) << "a deleted boundary is forgotten, not kept dangling";
}

TEST(Viewports, ModelPassSetsAndRestoresTheConverterState) {
  TqdDXFConverter C;
  C.InitializeSectionsBegin();
  TqdDXFLayer* Frozen = C.LayerByName("HIDDEN");
  Frozen->SetHandle(0x77);
  TqdDXFBlock* Paper = C.GetLayout(1)->PaperSpaceBlock();
  AddViewport(Paper, 1, {0, 0, 0}, 100, 100);
  TqdDXFViewport* V = AddViewport(Paper, 2, {5, 5, 0}, 10, 10);
  V->SetMSpaceHeight(100);
  V->SetMSpaceCenter({50, 50, 0});
  V->FrozenLayers().push_back(0x77);
  C.Loads(V);
  const TFMatrix Device = ScalingMatrix(2, 2, 1);
  {
    TqdViewportPass Pass(*V, Device);
    ASSERT_TRUE(Pass.Active());
    EXPECT_TRUE(V->Active());
    EXPECT_TRUE(C.ViewPortCut());
    EXPECT_NEAR(C.ViewPortRect().Right, 20, 1e-9);
    EXPECT_TRUE(Frozen->FrozenByViewPort());
    ExpectPoint(TransformPoint({50, 50, 0}, Pass.Matrix()), 10, 10);
    ExpectPoint(TransformPoint({50, 50, 0}, C.Transform3d()), 5, 5);
    TqdViewportPass Again(*V, Device);
    EXPECT_FALSE(Again.Active()) << "a viewport met again during its own pass is skipped";
  }
  EXPECT_FALSE(V->Active());
  EXPECT_FALSE(C.ViewPortCut());
  EXPECT_TRUE(IsBadBox(C.ViewPortRect()));
  EXPECT_FALSE(Frozen->FrozenByViewPort());
  EXPECT_EQ(C.Transform3d(), cnstIdentityMat);
  TqdViewportPass Sheet(*dynamic_cast<TqdDXFViewport*>(Paper->GetEntity(0)), Device);
  EXPECT_FALSE(Sheet.Active()) << "the sheet viewport shows nothing";
}

TEST(Viewports, AcadExtendedDataHasFourteenValues) {
  TqdDXFViewport V;
  const TqdCADExtendedData D = V.GetExtData("acad");
  ASSERT_EQ(D.Count(), 14);
  EXPECT_EQ(D.DataString(0), "ACAD");
  EXPECT_EQ(D.DataString(1), "MVIEW");
  EXPECT_EQ(D.DataString(2), "{");
  EXPECT_EQ(D.DataString(13), "}");
  EXPECT_EQ(V.GetExtData("OTHER").Count(), 0);
}

TEST(Viewports, DumpShowsThem) {
  TqdDXFConverter C;
  TqdDXFViewport* V = AddViewport(C.GetLayout(1)->PaperSpaceBlock(), 2, {5, 5, 0}, 10, 8);
  C.Loads(V);
  const std::string D = DumpConverter(C);
  EXPECT_NE(D.find("TqdDXFViewport"), std::string::npos) << D;
  EXPECT_NE(D.find("centre (5,5,0) size 10x8"), std::string::npos) << D;
}

// ---------------------------------------------------------------- plot settings

TEST(PlotSettings, InchesAtOneToOne) {
  TqdDXFPlotSettings P;
  P.FData.PlotPaperUnits = ppuInches;
  EXPECT_NEAR(P.CustomPrintScaleKoef(), 1 / 25.4, 1e-12);
}

struct TScaleRow {
  const char* Name;
  double Numerator, Denominator, Expected;
};
class ScaleKoef : public ::testing::TestWithParam<TScaleRow> {};
TEST_P(ScaleKoef, IsPositiveAndFinite) {
  TqdDXFPlotSettings P;
  P.FData.NumeratorOfCustomPrintScale = GetParam().Numerator;
  P.FData.DenominatorOfCustomPrintScale = GetParam().Denominator;
  EXPECT_DOUBLE_EQ(P.CustomPrintScaleKoef(), GetParam().Expected);
  P.FData.PlotPaperSize = {210, 297};
  const TFRect R = P.PlotPaperArea();
  EXPECT_GT(std::fabs(R.Right - R.Left), 0);
  EXPECT_TRUE(std::isfinite(R.Right));
}
INSTANTIATE_TEST_SUITE_P(
    PlotSettings, ScaleKoef,
    ::testing::Values(TScaleRow{"one_to_two", 1, 2, 2}, TScaleRow{"zero_numerator", 0, 5, 1},
                      TScaleRow{"zero_denominator", 1, 0, 1}, TScaleRow{"negative_denominator", 1, -2, 1},
                      TScaleRow{"nan_denominator", 1, std::numeric_limits<double>::quiet_NaN(), 1},
                      TScaleRow{"overflowing_ratio", 1e-300, 1e300, 1}),
    [](const auto& I) { return std::string(I.param.Name); });

TEST(PlotSettings, RawEnumerationsOutOfRangeReadAsDefaults) {
  TqdDXFPlotSettings P;
  P.FData.PlotPaperUnits = 7;
  P.FData.PlotType = 200;
  EXPECT_EQ(P.PlotPaperUnits(), ppuMM);
  EXPECT_EQ(P.PlotType(), ptLayoutInformation);
  EXPECT_EQ(P.FData.PlotPaperUnits, 7) << "the raw byte stays for a round trip";
  P.SetPlotRotation(5);
  EXPECT_EQ(P.PlotRotation(), prNoRotation);
  P.SetPlotRotation(3);
  EXPECT_EQ(P.PlotRotation(), pr90DegreesCW);
  TqdDXFLayout L;
  L.SetPlotPaperUnits(9);
  EXPECT_EQ(L.PlotPaperUnits(), ppuMM);
}

TEST(PlotSettings, LandscapeReadAndWrite) {
  TqdDXFPlotSettings P;
  P.FData.PlotPaperSize = {297, 210};
  EXPECT_TRUE(P.LandScape());
  P.SetLandScape(false);
  EXPECT_EQ(P.PlotRotation(), pr90DegreesCW);
  EXPECT_FALSE(P.LandScape());
}

TEST(PlotSettings, DefaultPageFitsTheExtents) {
  TqdDXFPlotSettings P;
  EXPECT_TRUE(P.SetDefaultValueByExtents({0, 50, 0, 100, 0, 0}, false));
  EXPECT_EQ(P.FData.PaperSize, "A4");
  EXPECT_EQ(P.PlotRotation(), pr90DegreesCounterCW);
  EXPECT_DOUBLE_EQ(P.FData.UnprintableMargin.Left, 3.2);
  EXPECT_DOUBLE_EQ(P.FData.NumeratorOfCustomPrintScale, 1);
  EXPECT_NEAR(P.FData.DenominatorOfCustomPrintScale, 1 / 2.906, 1e-9);
  EXPECT_TRUE(P.IsFitToPaper());
  TqdDXFPlotSettings Bad;
  EXPECT_FALSE(Bad.SetDefaultValueByExtents(cnstBadRect, false));
  EXPECT_DOUBLE_EQ(Bad.FData.DenominatorOfCustomPrintScale, 1);
}

TEST(PlotSettings, fit_factor_zero_after_turn_with_flat_box) {
  TqdDXFPlotSettings P;
  P.FData.PlotRotation = pr90DegreesCounterCW;
  EXPECT_TRUE(P.SetDefaultValueByExtents({0, 0, 0, 100, 0, 0}, true));
  EXPECT_TRUE(std::isfinite(P.FData.DenominatorOfCustomPrintScale));
  EXPECT_GT(P.FData.DenominatorOfCustomPrintScale, 0);
}

TEST(PlotSettings, WindowPlotPrintsTheOverlapOfMarginsAndWindow) {
  TqdDXFPlotSettings P;
  P.FData.PlotPaperSize = {100, 50};
  P.FData.PlotType = ptWindowSpecified;
  P.FData.PlotWindowAreaMin = {10, 10};
  P.FData.PlotWindowAreaMax = {200, 30};
  const TFRect R = P.PlotPrintableArea();
  EXPECT_DOUBLE_EQ(R.Left, 10);
  EXPECT_DOUBLE_EQ(R.Right, 100);
  EXPECT_DOUBLE_EQ(R.Bottom, 10);
  EXPECT_DOUBLE_EQ(R.Top, 30);
}

TEST(PlotSettings, NameIsThePageSetupName) {
  TqdDXFPlotSettings P;
  P.SetName("Plot A");
  EXPECT_EQ(P.Name(), "Plot A");
  EXPECT_EQ(P.FData.PageSetupName, "Plot A");
}

// ---------------------------------------------------------------- saved view

TEST(SavedView, ActiveViewWithoutStack) {
  TqdView V;
  EXPECT_EQ(V.ActiveView(), (TqdView::TRect{}));
  EXPECT_EQ(V.PopView(), (TqdView::TRect{}));
  V.SetActiveView({1, 2, 3, 4});
  EXPECT_TRUE(V.HasBaseView());
  EXPECT_EQ(V.ActiveView(), (TqdView::TRect{1, 2, 3, 4}));
}

TEST(SavedView, StackKeepsTheBaseAndAtMost256Pushed) {
  TqdView V;
  for (int I = 0; I < 300; ++I) V.PushView({I, I, I, I});
  EXPECT_EQ(V.StackCount(), 257);
  EXPECT_EQ(V.ActiveView().Left, 299);
  for (int I = 0; I < 256; ++I) V.PopView();
  EXPECT_FALSE(V.HasView());
  EXPECT_EQ(V.PopView().Left, 0) << "the base view";
  EXPECT_EQ(V.StackCount(), 1);
  V.SetDrawMatrix(ScalingMatrix(2, 2, 2));
  EXPECT_TRUE(V.HasDrawMatrix());
  V.Clear(true);
  EXPECT_FALSE(V.HasDrawMatrix());
  EXPECT_FALSE(V.HasBaseView());
}

}  // namespace
