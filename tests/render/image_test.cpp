// CAD images drawn offscreen: pixels of small drawings built in code, and the
// image's extents, colours, progress and format table.
#include <gtest/gtest.h>

#include <QImage>
#include <cmath>
#include <limits>
#include <sstream>
#include <string>

#include "CADImage.h"
#include "Curves.h"
#include "DXFConv.h"
#include "Entities.h"
#include "Faces.h"
#include "Inserts.h"
#include "Objects.h"
#include "Polylines.h"
#include "TableItems.h"
#include "qdIterator.h"
#include "Scene.h"
#include "qdQtCanvas.h"

namespace {

constexpr TqdDeviceColor Red = 0x0000FF, Green = 0x00FF00, Blue = 0xFF0000, White = 0xFFFFFF, Black = 0;

struct TScene : TSceneBase {
  QImage Render(int Size = 100, int Layout = 0) {
    Prepare(Layout);
    QImage Q(Size, Size, QImage::Format_RGB32);
    Q.fill(Qt::gray);
    TqdQtCanvas Canvas(&Q);
    Img.Draw(Canvas, {0, 0, Size, Size});
    Canvas.End();
    return Q;
  }
};

TqdDeviceColor At(const QImage& Q, int X, int Y) {
  const QRgb P = Q.pixel(X, Y);
  return MakeRGB(qRed(P), qGreen(P), qBlue(P));
}

int CountColor(const QImage& Q, TqdDeviceColor C) {
  int N = 0;
  for (int Y = 0; Y < Q.height(); ++Y)
    for (int X = 0; X < Q.width(); ++X) N += At(Q, X, Y) == C;
  return N;
}

// ---------------------------------------------------------------- pixels

TEST(DrawPixels, RedLineLandsWhereItBelongs) {
  TScene S;
  AddLine(S.Model, {10, 50, 0}, {90, 50, 0}, 1);
  const QImage Q = S.Render();
  EXPECT_EQ(At(Q, 50, 50), Red);
  EXPECT_EQ(At(Q, 10, 50), Red);
  EXPECT_EQ(At(Q, 90, 50), Red) << "the end pixel is painted";
  EXPECT_EQ(At(Q, 50, 49), White);
  EXPECT_EQ(At(Q, 5, 50), White);
  EXPECT_EQ(At(Q, 95, 50), White);
  EXPECT_EQ(CountColor(Q, Qt::gray), 0) << "the background fills the rectangle";
}

struct TColorRow {
  const char* Name;
  int EntityAci;    // of the line inside the innermost block
  int InnerAci;     // of the reference to the inner block
  int OuterAci;     // of the reference to the outer block (0: no outer block)
  const char* EntityLayer;
  const char* InnerLayer;
  TqdDeviceColor Expected;
};

// Layers: "0" white (ACI 7), "G" green, "B" blue.
const TColorRow ColorRows[] = {
    {"ByBlockTakesTheReferenceColour", clByBlock, 1, -1, "0", "0", Red},
    {"ByBlockThroughAByBlockReferenceTakesTheOuterOne", clByBlock, clByBlock, 5, "0", "0", Blue},
    {"ByLayerOnLayerZeroTakesTheReferenceLayer", clByLayer, 1, -1, "0", "G", Green},
    {"ByLayerOnItsOwnLayerKeepsIt", clByLayer, 1, -1, "B", "G", Blue},
    {"ExplicitColourWins", 3, 1, 5, "B", "0", Green},
    {"ByBlockAtTopLevelIsTheDefaultColour", clByBlock, clByBlock, -1, "0", "0", Black},
};

class BlockColours : public ::testing::TestWithParam<TColorRow> {};

TEST_P(BlockColours, ResolveThroughReferences) {
  const TColorRow& R = GetParam();
  TScene S;
  Layer(S.C, "0", 7);
  Layer(S.C, "G", 3);
  Layer(S.C, "B", 5);
  TqdDXFBlock* Inner = NewBlock(S.C, "INNER");
  TqdDXFLine* L = AddLine(Inner, {0, 0, 0}, {40, 0, 0}, R.EntityAci);
  L->SetLayer(S.C.LayerByName(R.EntityLayer));
  TqdDXFEntity* Owner = S.Model;
  TFPoint P{30, 50, 0};
  if (R.OuterAci >= 0) {
    TqdDXFBlock* Outer = NewBlock(S.C, "OUTER");
    AddInsert(S.Model, Outer, {30, 50, 0}, {1, 1, 1}, R.OuterAci)->SetLayer(S.C.LayerByName("0"));
    Owner = Outer;
    P = {};
  }
  AddInsert(Owner, Inner, P, {1, 1, 1}, R.InnerAci)->SetLayer(S.C.LayerByName(R.InnerLayer));
  const QImage Q = S.Render();
  EXPECT_EQ(At(Q, 50, 50), R.Expected);
}

INSTANTIATE_TEST_SUITE_P(Rows, BlockColours, ::testing::ValuesIn(ColorRows),
                         [](const auto& I) { return std::string(I.param.Name); });

TEST(DrawPixels, WidePolylineIsFilled) {
  TScene S;
  auto P = std::make_unique<TqdDXFLWPolyline>();
  P->AddVertex({10, 50, 0});
  P->AddVertex({90, 50, 0});
  P->SetGlobalWidth(10);
  P->SetColorCAD(TqdColorCAD::Index(1));
  AddTo(S.Model, std::move(P));
  const QImage Q = S.Render();
  EXPECT_EQ(At(Q, 50, 47), Red);
  EXPECT_EQ(At(Q, 50, 53), Red);
  EXPECT_EQ(At(Q, 50, 40), White);
  EXPECT_GT(CountColor(Q, Red), 700);
}

TEST(DrawPixels, PolyfaceDrawsVisibleEdgesAndSkipsBrokenFaces) {
  TScene S;
  auto P = std::make_unique<TqdDXFPolyline>();
  P->SetFlags(TqdCADBasePolyline::cnstPolyfaceMesh);
  P->SetMeshM(4);
  P->SetMeshN(2);
  P->SetColorCAD(TqdColorCAD::Index(1));
  for (const TFPoint& Q : {TFPoint{20, 20, 0}, TFPoint{80, 20, 0}, TFPoint{80, 80, 0}, TFPoint{20, 80, 0}})
    P->AddVertex(Q)->SetFlags(192);
  const int Faces[2][4] = {{1, 2, -3, 4}, {1, 2, 3, 99}};  // edge 3-4 hidden; vertex 99 does not exist
  for (const auto& F : Faces) {
    TqdDXFVertex* V = P->AddVertex({});
    V->SetFlags(TqdDXFVertex::cnstPolyfaceRecord);
    for (int K = 0; K < 4; ++K) V->SetPolyFaceVertexIndex(K + 1, F[K]);
  }
  AddTo(S.Model, std::move(P));
  const QImage Q = S.Render();
  EXPECT_EQ(At(Q, 50, 80), Red);
  EXPECT_EQ(At(Q, 80, 50), Red);
  EXPECT_EQ(At(Q, 20, 50), Red);
  EXPECT_EQ(At(Q, 50, 20), White) << "the hidden edge";
  EXPECT_EQ(At(Q, 50, 50), White) << "the broken face adds no diagonal";
}

TEST(DrawPixels, LineweightWidensThePenAndZeroDpiFallsBack) {
  TScene S;
  TqdDXFLine* L = AddLine(S.Model, {10, 50, 0}, {90, 50, 0}, 1);
  L->SetLineWeight(2.11);  // 7.97 pixels at 96 dpi
  S.C.LoadAll();
  S.Img.SetIsWithoutBorder(true);
  S.Img.SetDrawingBox({0, 100, 0, 100, 0, 0});
  S.Img.SetCurrentLayout(S.C.GetLayout(0), 0);
  QImage Q(100, 100, QImage::Format_RGB32);
  Q.setDotsPerMeterX(0);
  Q.setDotsPerMeterY(0);
  TqdQtCanvas Canvas(&Q);
  S.Img.Draw(Canvas, {0, 0, 100, 100});
  Canvas.End();
  int Rows = 0;
  for (int Y = 40; Y < 60; ++Y) Rows += At(Q, 50, Y) == Red;
  EXPECT_EQ(Rows, 8);
}

TEST(DrawPixels, PaletteGreyOnItsBackgroundGetsTheContrastGrey) {
  TScene S;
  AddLine(S.Model, {10, 50, 0}, {90, 50, 0}, 255);
  EXPECT_EQ(At(S.Render(), 50, 50), MakeRGB(178, 178, 178));
  // Printed, the grey is not needed, but white ink is still not lost on white paper.
  S.Img.SetPrinting(pntDirectColor);
  EXPECT_EQ(At(S.Render(), 50, 50), MakeRGB(0, 0, 0));
}

TEST(DrawPixels, BlackModeDrawsEverythingInTheDefaultColour) {
  TScene S;
  AddLine(S.Model, {10, 50, 0}, {90, 50, 0}, 1);
  S.Img.SetDrawMode(dmBlack);
  S.Img.SetDefaultColor(Green);
  EXPECT_EQ(At(S.Render(), 50, 50), Green);
}

// ---------------------------------------------------------------- viewports and layouts

TEST(Layouts, SwitchingLayoutsDrawsTheOtherSpace) {
  TScene S;
  AddLine(S.Model, {10, 50, 0}, {90, 50, 0}, 1);
  S.C.AddLayout(std::make_unique<TqdDXFLayout>());
  AddLine(S.C.GetLayout(1)->PaperSpaceBlock(), {10, 30, 0}, {90, 30, 0}, 5);
  QImage Q = S.Render(100, 0);
  EXPECT_EQ(At(Q, 50, 50), Red);
  EXPECT_EQ(CountColor(Q, Blue), 0);
  Q = S.Render(100, 1);
  EXPECT_EQ(At(Q, 50, 70), Blue);
  EXPECT_EQ(CountColor(Q, Red), 0);
  EXPECT_TRUE(S.Img.SelectLayout("0"));
  EXPECT_EQ(S.Img.CurrentLayout(), S.C.GetLayout(0));
  EXPECT_FALSE(S.Img.SelectLayout("no such layout"));
  EXPECT_FALSE(S.Img.SelectLayout("7"));
}

TEST(Layouts, NoLayoutDrawsNothingAndLeavesAValidEmptyState) {
  TqdCADImage I;
  I.SetCurrentLayout(nullptr);
  EXPECT_EQ(I.GetWidth(), 1);
  EXPECT_EQ(I.GetHeight(), 1);
  QImage Q(10, 10, QImage::Format_RGB32);
  Q.fill(Qt::gray);
  TqdQtCanvas C(&Q);
  I.Draw(C, {0, 0, 10, 10});
  C.End();
  EXPECT_EQ(CountColor(Q, MakeRGB(160, 160, 164)), 100);
}

// ---------------------------------------------------------------- hostile structure

TEST(HostileBlocks, SelfInsertingBlockIsDrawnOnceWithoutRecursion) {
  TScene S;
  TqdDXFBlock* B = NewBlock(S.C, "SELF");
  AddLine(B, {0, 0, 0}, {40, 0, 0}, 1);
  TqdDXFInsert* Inner = AddInsert(B, B, {0, 20, 0});
  AddInsert(S.Model, B, {30, 50, 0});
  S.C.LoadAll();
  S.C.Loads(Inner);  // measured again now that its block has a box: the walk meets the cycle
  ASSERT_TRUE(IsFiniteBox(Inner->Box()));
  const QImage Q = S.Render();
  EXPECT_EQ(At(Q, 50, 50), Red);
  EXPECT_EQ(At(Q, 50, 30), White) << "the inner reference is not entered";
  EXPECT_EQ(S.Img.Iterator()->Stats().BlocksRefused, 1);
  EXPECT_EQ(Inner->Block(), B) << "nothing is detached";
}

TEST(HostileBlocks, MutualReferencesAndDeepChainsEnd) {
  TScene S;
  TqdDXFBlock* A = NewBlock(S.C, "A");
  TqdDXFBlock* B = NewBlock(S.C, "B");
  TqdDXFInsert* AB = AddInsert(A, B, {1, 0, 0});
  TqdDXFInsert* BA = AddInsert(B, A, {1, 0, 0});
  AddLine(A, {0, 0, 0}, {30, 0, 0}, 1);
  AddLine(B, {0, 0, 0}, {30, 0, 0}, 1);
  AddInsert(S.Model, A, {50, 50, 0});
  S.C.LoadAll();
  S.C.Loads(AB);
  S.C.Loads(BA);
  S.Render();
  EXPECT_GE(S.Img.Iterator()->Stats().BlocksRefused, 1);
}

TEST(HostileBlocks, DeepChainsStopAtTheDepthCap) {
  TScene S;
  // A chain of 200 distinct blocks, each inserting the next: deeper than the walk goes.
  TqdDXFBlock* Prev = nullptr;
  for (int I = 0; I < 200; ++I) {
    TqdDXFBlock* N = NewBlock(S.C, "CHAIN" + std::to_string(I));
    AddLine(N, {0, 0, 0}, {40, 0, 0}, 1);
    if (Prev) AddInsert(N, Prev, {0, 0, 0});
    Prev = N;
  }
  AddInsert(S.Model, Prev, {10, 10, 0});
  S.Render();
  EXPECT_EQ(S.Img.Iterator()->Stats().BlocksRefused, 1);
}

TEST(HostileBlocks, ZeroScaleReferenceDrawsAtMostAPixel) {
  TScene S;
  TqdDXFBlock* B = NewBlock(S.C, "B");
  AddLine(B, {0, 0, 0}, {40, 40, 0}, 1);
  AddInsert(S.Model, B, {50, 50, 0}, {0, 0, 0});
  AddInsert(S.Model, B, {10, 10, 0}, {0, 1, 1});  // flat in X: a vertical line
  const QImage Q = S.Render();
  EXPECT_LE(CountColor(Q, Red), 1 + 41);
  EXPECT_EQ(At(Q, 10, 70), Red);
}

TEST(HostileBlocks, HugeCoordinatesSaturate) {
  TScene S;
  AddLine(S.Model, {-1e300, 50, 0}, {1e300, 50, 0}, 1);
  AddLine(S.Model, {50, -1e300, 0}, {50, 1e300, 0}, 3);
  const QImage Q = S.Render();
  EXPECT_EQ(At(Q, 10, 50), Red);
  EXPECT_EQ(At(Q, 50, 10), Green);
}

TEST(HostileBlocks, ArrayCellsAreDrawnAndCapped) {
  TScene S;
  TqdDXFBlock* B = NewBlock(S.C, "B");
  AddLine(B, {0, 0, 0}, {5, 0, 0}, 1);
  auto M = std::make_unique<TqdCADMInsert>();
  M->SetBlock(B);
  M->SetPoint({10, 10, 0});
  M->SetNumCols(3);
  M->SetNumRows(2);
  M->SetColSpacing(20);
  M->SetRowSpacing(30);
  AddTo(S.Model, std::move(M));
  const QImage Q = S.Render();
  for (int Row = 0; Row < 2; ++Row)
    for (int Col = 0; Col < 3; ++Col) EXPECT_EQ(At(Q, 12 + 20 * Col, 90 - 30 * Row), Red) << Row << "," << Col;
}

// A dimension as the pipeline sees one: an entity that shows a block in drawing
// coordinates.
class TTestDimension : public TqdDXFPenLine {
  QD_ENTITY_CLASS(TTestDimension)
 public:
  TqdCADEntities EntType() const override { return ceDimension; }
  TqdDXFEntity* InsertBlock() const override { return FBlock; }
  TFRect Box() const override { return FBlock ? FBlock->Box() : cnstBadRect; }
  TqdDXFBlock* FBlock = nullptr;
};

TEST(Dimensions, DrawTheirBlockWithByBlockColourWhenVisible) {
  TScene S;
  TqdDXFBlock* B = NewBlock(S.C, "*D1");
  AddLine(B, {10, 50, 0}, {90, 50, 0}, clByBlock);
  auto D = std::make_unique<TTestDimension>();
  D->FBlock = B;
  D->SetColorCAD(TqdColorCAD::Index(5));
  AddTo(S.Model, std::move(D));
  EXPECT_EQ(At(S.Render(), 50, 50), Blue);
  S.Img.SetDimensionsVisible(false);
  EXPECT_EQ(At(S.Render(), 50, 50), White);
}

// ---------------------------------------------------------------- selection sink

TEST(SelectionSink, ReceivesThePrimitivesInTheEntityNumber) {
  TScene S;
  AddLine(S.Model, {10, 50, 0}, {90, 50, 0}, 1);
  TqdDXFBlock* B = NewBlock(S.C, "B");
  AddLine(B, {0, 0, 0}, {80, 0, 0}, 3);
  AddInsert(S.Model, B, {10, 20, 0});
  QImage Sel(100, 100, QImage::Format_RGB32);
  Sel.fill(Qt::black);
  TqdQtCanvas SelCanvas(&Sel);
  S.Img.SetSelectionCanvas(&SelCanvas);
  S.Render();
  SelCanvas.End();
  ASSERT_EQ(S.Img.SelectionEntities().size(), 2u);
  EXPECT_EQ(At(Sel, 50, 50), 1u);
  EXPECT_EQ(At(Sel, 50, 80), 2u) << "entities inside a reference share its number";
  EXPECT_EQ(S.Img.SelectionEntities()[1]->EntType(), ceInsert);
}

// ---------------------------------------------------------------- the image

TEST(ImageExtents, BorderIsAFractionOfTheBox) {
  TScene S;
  AddLine(S.Model, {0, 0, 0}, {100, 50, 0}, 1);
  S.C.LoadAll();
  S.Img.SetCurrentLayout(S.C.GetLayout(0), 0);
  EXPECT_DOUBLE_EQ(S.Img.XMin(), -12.5);
  EXPECT_DOUBLE_EQ(S.Img.XMax(), 112.5);
  EXPECT_DOUBLE_EQ(S.Img.YMin(), -6.25);
  EXPECT_DOUBLE_EQ(S.Img.YMax(), 56.25);
  S.Img.SetIsWithoutBorder(true);
  EXPECT_DOUBLE_EQ(S.Img.XMin(), 0);
  EXPECT_DOUBLE_EQ(S.Img.YMax(), 50);
  EXPECT_EQ(S.Img.GetWidth(), 101);
}

TEST(ImageExtents, NonFiniteLayoutBoxGivesTheDefaultBox) {
  TScene S;
  const double Inf = std::numeric_limits<double>::infinity();
  S.C.GetLayout(0)->SetBox({0, Inf, 0, 10, 0, 0});
  S.Img.SetCurrentLayout(S.C.GetLayout(0), 0);
  EXPECT_TRUE(std::isfinite(S.Img.Zoom()));
  EXPECT_TRUE(std::isfinite(S.Img.XMax()));
  EXPECT_GE(S.Img.GetWidth(), 1);
  S.Img.SetMatrixForRect({0, 0, 100, 100});
  const TqdPoint P = S.Img.GetPoint({0, 0, 0});
  EXPECT_LT(std::abs(P.X), 1000);
}

TEST(ImageExtents, DisproportionateDrawingGrowsItsShortSide) {
  TScene S;
  S.C.GetLayout(0)->SetBox({0, 1, 0, 1000, 0, 0});
  S.Img.SetResizeDisproportionateDrawing(true);
  S.Img.SetIsWithoutBorder(true);
  S.Img.SetCurrentLayout(S.C.GetLayout(0), 0);
  EXPECT_DOUBLE_EQ(S.Img.XMax() - S.Img.XMin(), S.Img.YMax() - S.Img.YMin());
}

TEST(ImageCoordinates, DeviceToCADInvertsTheDrawMatrix) {
  TScene S;
  AddLine(S.Model, {0, 0, 0}, {200, 100, 0}, 1);
  S.C.LoadAll();
  S.Img.SetCurrentLayout(S.C.GetLayout(0), 0);
  S.Img.SetMatrixForRect({0, 0, 250, 125});
  const TqdPoint P = S.Img.GetPoint({200, 100, 0});
  const TFPoint Back = S.Img.DeviceToCAD(P.X, P.Y);
  EXPECT_NEAR(Back.X, 200, 1);
  EXPECT_NEAR(Back.Y, 100, 1);
  const TFPoint Mid = S.Img.GetCADCoords(0.5, 0.5);
  EXPECT_NEAR(Mid.X, 100, 1e-9);
  EXPECT_NEAR(Mid.Y, 50, 1e-9);
}

TEST(ImageRotation, BadRotationFollowsTheAngle) {
  TScene S;
  S.Img.SetCurrentLayout(S.C.GetLayout(0), 0);
  S.Img.Rotate(2, 45);
  EXPECT_TRUE(S.Img.BadRotation());
  S.Img.Rotate(2, 450);
  EXPECT_FALSE(S.Img.BadRotation());
  S.Img.RotToView(vdSWIsometric);
  const TFMatrix A = S.C.GetLayout(0)->RotMatrix();
  S.Img.RotToView(vdTop);
  S.Img.RotToView(vdSWIsometric);
  EXPECT_EQ(S.C.GetLayout(0)->RotMatrix(), A);
}

TEST(ImageColours, ContrastGreyOfTheBackground) {
  EXPECT_EQ(TqdCADImage::ContrastColor(White), MakeRGB(178, 178, 178));
  EXPECT_EQ(TqdCADImage::ContrastColor(Black), White);
  TqdCADImage I;
  I.SetBackgroundColor(Black);
  EXPECT_EQ(I.ChangeBackgroundColor(), White);
}

TEST(ImageProgress, PercentOfAnEmptyTotalIsZero) {
  EXPECT_EQ(TqdCADImage::ProgressPercent(5, 0), 0);
  EXPECT_EQ(TqdCADImage::ProgressPercent(5, -3), 0);
  EXPECT_EQ(TqdCADImage::ProgressPercent(50, 200), 25);
  EXPECT_EQ(TqdCADImage::ProgressPercent(1LL << 62, 1LL << 62), 100);
}

TEST(ImageProgress, RunningReportsAreThrottled) {
  TqdCADImage I;
  int Running = 0;
  I.OnProgress = [&](TqdGraphic*, TqdProgressStage S, int, const std::string&) { Running += S == psRunning; };
  I.OnProcessMessages = [] {};
  for (int K = 0; K < 10000; ++K) I.ReaderProgress(psRunning, K, 10000);
  EXPECT_GE(Running, 1);
  EXPECT_LE(Running, 3);
}

std::string SmallDXF(int Lines) {
  std::string S = "0\nSECTION\n2\nENTITIES\n";
  for (int I = 0; I < Lines; ++I)
    S += "0\nLINE\n8\n0\n62\n1\n10\n" + std::to_string(I) + "\n20\n0\n11\n" + std::to_string(I) + "\n21\n10\n";
  return S + "0\nENDSEC\n0\nEOF\n";
}

TEST(ImageLoading, DXFFromAStreamAndStopLoading) {
  TqdCADdxfImage I;
  std::istringstream In(SmallDXF(3));
  I.LoadFromStream(In);
  ASSERT_TRUE(I.LoadOk()) << I.LoadError();
  ASSERT_NE(I.CurrentLayout(), nullptr);
  EXPECT_EQ(I.CurrentLayout()->Count(), 3);
  EXPECT_NEAR(I.PureExtents().Right, 2, 1e-9);

  TqdCADdxfImage Stopped;
  Stopped.OnProcessMessages = [] {};
  Stopped.OnProgress = [&](TqdGraphic*, TqdProgressStage S, int, const std::string&) {
    if (S == psRunning) Stopped.StopLoading();
  };
  std::istringstream Big(SmallDXF(20000));
  Stopped.LoadFromStream(Big);
  ASSERT_NE(Stopped.CurrentLayout(), nullptr);
  EXPECT_LT(Stopped.CurrentLayout()->Count(), 20000);
}

TEST(ImageLoading, ReentrantLoadAndLayoutChangeAreRefused) {
  TqdCADdxfImage I;
  bool Refused = false, Painted = false;
  I.OnProcessMessages = [&] {
    if (!I.Loading()) return;
    try {
      std::istringstream Again(SmallDXF(1));
      I.LoadFromStream(Again);
    } catch (const EqdImageError&) {
      Refused = true;
    }
    I.SetCurrentLayout(nullptr);  // ignored while the reader owns the drawing
    QImage Q(10, 10, QImage::Format_RGB32);
    Q.fill(Qt::gray);
    TqdQtCanvas C(&Q);
    I.Draw(C, {0, 0, 10, 10});  // a paint event meanwhile draws nothing
    C.End();
    Painted = Painted || Q.pixel(5, 5) != QColor(Qt::gray).rgb();
  };
  std::istringstream In(SmallDXF(5));
  I.LoadFromStream(In);
  EXPECT_TRUE(Refused);
  EXPECT_FALSE(Painted);
  ASSERT_NE(I.CurrentLayout(), nullptr);
  EXPECT_EQ(I.CurrentLayout()->Count(), 5);
}

TEST(FormatTable, ExtensionsChooseTheClassAndShellsSayNotSupported) {
  RegisterCADImages();
  const TqdGraphicFormats& F = TqdGraphicFormats::Instance();
  ASSERT_NE(F.Find("DXF"), nullptr);
  EXPECT_NE(dynamic_cast<TqdCADdxfImage*>(F.Find(".dxf")->Factory().get()), nullptr);
  EXPECT_NE(dynamic_cast<TqdDWGImage*>(F.Find("dwt")->Factory().get()), nullptr);
  EXPECT_NE(dynamic_cast<TqdHPGLImage*>(F.Find("hpgl2")->Factory().get()), nullptr);
  TqdPicture P;
  EXPECT_THROW(P.LoadFromFile("a.unknown"), EqdError);
  EXPECT_EQ(P.Graphic(), nullptr);
}

}  // namespace
