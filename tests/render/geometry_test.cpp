// What the draw pipeline draws, in which order, with which pen and under which
// clip, read from the recording canvas: no toolkit, no pixels.
#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "Faces.h"
#include "Scene.h"
#include "qdIterator.h"
#include "qdRecordingCanvas.h"

namespace {

constexpr TqdDeviceColor Red = 0x0000FF, Green = 0x00FF00, Blue = 0xFF0000;

struct TRecScene : TSceneBase {
  std::unique_ptr<TqdRecordingCanvas> Canvas;
  // The log of one frame; valid until the next call.
  const TqdRecordingCanvas& Record(int Size = 100, int Layout = 0) {
    Prepare(Layout);
    Canvas = std::make_unique<TqdRecordingCanvas>(Size, Size);
    Img.Draw(*Canvas, {0, 0, Size, Size});
    return *Canvas;
  }
};

// The line-like records (what a line entity becomes), in order.
std::vector<const TqdRecord*> Strokes(const TqdRecordingCanvas& C) {
  std::vector<const TqdRecord*> R;
  for (const TqdRecord& Rec : C.Records())
    if (Rec.Kind == rkPolyline || Rec.Kind == rkPolyPolyline) R.push_back(&Rec);
  return R;
}

// The device rows the strokes start on.
std::set<int> Rows(const std::vector<const TqdRecord*>& Recs) {
  std::set<int> R;
  for (const TqdRecord* Rec : Recs)
    if (!Rec->Points.empty()) R.insert(int(Rec->Points.front().Y));
  return R;
}

// ---------------------------------------------------------------- draw order

TEST(DrawOrder, EntitiesAreDrawnInListOrderWithTheirOwnPens) {
  TRecScene S;
  AddLine(S.Model, {10, 50, 0}, {90, 50, 0}, 1);
  AddLine(S.Model, {50, 10, 0}, {50, 90, 0}, 3);
  AddLine(S.Model, {10, 10, 0}, {90, 90, 0}, 5);
  const TqdRecordingCanvas& C = S.Record();
  const auto L = Strokes(C);
  ASSERT_EQ(L.size(), 3u) << C.Describe();
  EXPECT_EQ(L[0]->Pen.Color, Red);
  EXPECT_EQ(L[1]->Pen.Color, Green);
  EXPECT_EQ(L[2]->Pen.Color, Blue);
  for (const TqdRecord* R : L) EXPECT_EQ(R->Pen.Style, psSolid);
  // Drawing (x, y) is device (x, 100 - y).
  EXPECT_EQ(L[0]->Bounds().Top, 50);
  EXPECT_EQ(L[1]->Bounds().Left, 50);
  const TqdIntRect D = L[2]->Bounds();
  EXPECT_EQ(D.Left, 10);
  EXPECT_EQ(D.Top, 10);
  EXPECT_EQ(D.Right, 91);
  EXPECT_EQ(D.Bottom, 91);
}

TEST(DrawOrder, BackgroundComesFirst) {
  TRecScene S;
  AddLine(S.Model, {10, 50, 0}, {90, 50, 0}, 1);
  const TqdRecordingCanvas& C = S.Record();
  ASSERT_FALSE(C.Records().empty());
  const TqdRecord& First = C.Records().front();
  EXPECT_EQ(First.Kind, rkFillRect) << C.Describe();
  EXPECT_EQ(First.Brush.Color, S.Img.BackgroundColor());
}

TEST(DrawOrder, SolidCornersAreTakenInDrawingOrder) {
  TRecScene S;
  auto So = std::make_unique<TqdDXFSolid>();
  // Corners 3 and 4 are crossed in the file: drawn as a square, not a bow tie.
  So->SetPoint({20, 20, 0});
  So->SetPoint1({80, 20, 0});
  So->SetPoint2({20, 80, 0});
  So->SetPoint3({80, 80, 0});
  So->SetColorCAD(TqdColorCAD::Index(5));
  AddTo(S.Model, std::move(So));
  const TqdRecordingCanvas& C = S.Record();
  std::vector<const TqdRecord*> Fills = C.OfKind(rkPolygon);
  for (const TqdRecord* R : C.OfKind(rkPolyPolygon)) Fills.push_back(R);
  ASSERT_EQ(Fills.size(), 1u) << C.Describe();
  const TqdRecord& F = *Fills[0];
  EXPECT_EQ(F.Brush.Color, Blue);
  EXPECT_EQ(F.Brush.Style, bsSolid);
  ASSERT_GE(F.Points.size(), 4u);
  // A convex outline: every turn goes the same way.
  int Sign = 0;
  for (size_t I = 0; I < 4; ++I) {
    const TqdDPoint &A = F.Points[I], &B = F.Points[(I + 1) % 4], &P = F.Points[(I + 2) % 4];
    const double Cross = (B.X - A.X) * (P.Y - B.Y) - (B.Y - A.Y) * (P.X - B.X);
    const int Turn = Cross > 0 ? 1 : Cross < 0 ? -1 : 0;
    EXPECT_NE(Turn, 0);
    if (Sign == 0) Sign = Turn;
    EXPECT_EQ(Turn, Sign) << "corner " << I << ": a bow tie\n" << C.Describe();
  }
  const TqdIntRect B = F.Bounds();
  EXPECT_EQ(B.Left, 20);
  EXPECT_EQ(B.Top, 20);
  EXPECT_EQ(B.Right, 81);
  EXPECT_EQ(B.Bottom, 81);
}

// ---------------------------------------------------------------- culling

TEST(Culling, HiddenLayersAndInvisibleEntitiesAreNotDrawn) {
  TRecScene S;
  Layer(S.C, "Frozen", 1)->SetFrozen(true);
  Layer(S.C, "Off", 1)->SetVisible(false);
  AddLine(S.Model, {10, 20, 0}, {90, 20, 0})->SetLayer(S.C.LayerByName("Frozen"));
  AddLine(S.Model, {10, 40, 0}, {90, 40, 0})->SetLayer(S.C.LayerByName("Off"));
  AddLine(S.Model, {10, 60, 0}, {90, 60, 0}, 1)->SetVisibility(false);
  // A block on a frozen layer hides its layer-"0" content too.
  TqdDXFBlock* B = NewBlock(S.C, "B");
  AddLine(B, {0, 0, 0}, {80, 0, 0}, 1)->SetLayer(S.C.LayerByName("0"));
  AddInsert(S.Model, B, {10, 80, 0})->SetLayer(S.C.LayerByName("Frozen"));
  AddLine(S.Model, {10, 90, 0}, {90, 90, 0}, 1);  // the one that shows
  const TqdRecordingCanvas& C = S.Record();
  const auto L = Strokes(C);
  ASSERT_EQ(L.size(), 1u) << C.Describe();
  EXPECT_EQ(L[0]->Pen.Color, Red);
  EXPECT_EQ(Rows(L), std::set<int>{10});
}

TEST(Culling, EntitiesOutsideTheViewAreSkipped) {
  TRecScene S;
  AddLine(S.Model, {300, 50, 0}, {400, 50, 0}, 3);
  AddLine(S.Model, {10, -200, 0}, {90, -300, 0}, 3);
  AddLine(S.Model, {10, 50, 0}, {90, 50, 0}, 1);
  const TqdRecordingCanvas& C = S.Record();
  const auto L = Strokes(C);
  ASSERT_EQ(L.size(), 1u) << C.Describe();
  EXPECT_EQ(L[0]->Pen.Color, Red);
  const auto& St = S.Img.Iterator()->Stats();
  EXPECT_EQ(St.Skipped + St.Culled, 2) << St.Skipped << " skipped, " << St.Culled << " culled";
}

TEST(Culling, RaysAndConstructionLinesAreCutToTheView) {
  TRecScene S;
  auto X = std::make_unique<TqdDXFXline>();
  X->SetStartPoint({50, 50, 0});
  X->SetDirection({1, 0, 0});
  X->SetColorCAD(TqdColorCAD::Index(1));
  AddTo(S.Model, std::move(X));
  auto R = std::make_unique<TqdDXFRay>();
  R->SetStartPoint({50, 30, 0});
  R->SetDirection({1, 0, 0});
  R->SetColorCAD(TqdColorCAD::Index(3));
  AddTo(S.Model, std::move(R));
  AddLine(S.Model, {1, 1, 0}, {2, 2, 0}, 5);  // rays alone give the layout no box
  const TqdRecordingCanvas& C = S.Record();
  const TqdRecord *XLine = nullptr, *Ray = nullptr;
  for (const TqdRecord* Rec : Strokes(C)) {
    if (Rec->Pen.Color == Red) XLine = Rec;
    if (Rec->Pen.Color == Green) Ray = Rec;
  }
  ASSERT_TRUE(XLine && Ray) << C.Describe();
  // Both ends within reach of the view, however far the line runs.
  const TqdIntRect XB = XLine->Bounds(), RB = Ray->Bounds();
  EXPECT_LE(XB.Left, 0);
  EXPECT_GE(XB.Right, 100);
  EXPECT_GE(XB.Left, -1000);
  EXPECT_LE(XB.Right, 1100);
  EXPECT_EQ(XB.Top, 50);
  EXPECT_EQ(RB.Left, 50) << "a ray has one end";
  EXPECT_GE(RB.Right, 100);
  EXPECT_LE(RB.Right, 1100);
  EXPECT_EQ(RB.Top, 70);
  EXPECT_EQ(S.Img.Iterator()->Stats().Drawn, 2);
}

TEST(Culling, LayersFrozenInAViewportAreHiddenThereOnly) {
  TRecScene S;
  TqdDXFLayer* L = Layer(S.C, "Hidden", 1);
  L->SetHandle(0x99);
  AddLine(S.Model, {-10, 0, 0}, {10, 0, 0})->SetLayer(L);
  S.C.AddLayout(std::make_unique<TqdDXFLayout>());
  TqdDXFBlock* Paper = S.C.GetLayout(1)->PaperSpaceBlock();
  AddViewport(S.C, Paper, 0x10, {50, 50, 0}, 100, 100, {0, 0, 0}, 100);
  AddViewport(S.C, Paper, 0x20, {25, 50, 0}, 40, 40, {0, 0, 0}, 40)->SetVisibleBoundary(false);
  TqdDXFViewport* V2 = AddViewport(S.C, Paper, 0x30, {75, 50, 0}, 40, 40, {0, 0, 0}, 40);
  V2->SetVisibleBoundary(false);
  V2->FrozenLayers().push_back(0x99);
  const TqdRecordingCanvas& C = S.Record(100, 1);
  std::vector<const TqdRecord*> Reds;
  for (const TqdRecord* R : Strokes(C))
    if (R->Pen.Color == Red) Reds.push_back(R);
  ASSERT_EQ(Reds.size(), 1u) << C.Describe();
  ASSERT_FALSE(Reds[0]->Clip.IsNull());
  const TqdIntRect Clip = Reds[0]->Clip.GetBox();
  EXPECT_LE(Clip.Right, 50) << "drawn in the left viewport";
  EXPECT_FALSE(L->FrozenByViewPort()) << "a frame changes nothing in the drawing";
}

// ---------------------------------------------------------------- clipping

TEST(Clipping, PaperViewportClipsItsModelView) {
  TRecScene S;
  AddLine(S.Model, {-1000, 0, 0}, {1000, 0, 0}, 1);  // crosses the whole view
  S.C.AddLayout(std::make_unique<TqdDXFLayout>());
  TqdDXFBlock* Paper = S.C.GetLayout(1)->PaperSpaceBlock();
  AddViewport(S.C, Paper, 0x10, {50, 50, 0}, 100, 100, {0, 0, 0}, 100);  // the sheet
  TqdDXFViewport* V = AddViewport(S.C, Paper, 0x20, {50, 50, 0}, 40, 40, {0, 0, 0}, 40);
  V->SetVisibleBoundary(false);
  ASSERT_TRUE(V->IsOn());
  const TqdRecordingCanvas& C = S.Record(100, 1);
  std::vector<const TqdRecord*> Reds;
  for (const TqdRecord* R : Strokes(C))
    if (R->Pen.Color == Red) Reds.push_back(R);
  ASSERT_EQ(Reds.size(), 1u) << C.Describe();
  const TqdRecord& L = *Reds[0];
  EXPECT_EQ(Rows(Reds), std::set<int>{50});
  ASSERT_FALSE(L.Clip.IsNull()) << "the model line is drawn under the viewport's clip";
  const TqdIntRect Clip = L.Clip.GetBox();
  EXPECT_EQ(Clip.Left, 30);
  EXPECT_EQ(Clip.Right, 70);
  EXPECT_EQ(Clip.Top, 30);
  EXPECT_EQ(Clip.Bottom, 70);
  EXPECT_TRUE(L.Clip.Contains(50, 50));
  EXPECT_FALSE(L.Clip.Contains(25, 50));
  EXPECT_FALSE(L.Clip.Contains(75, 50));
}

TEST(Clipping, ClippedReferenceDrawsUnderItsClipBox) {
  TRecScene S;
  TqdDXFBlock* B = NewBlock(S.C, "B");
  AddLine(B, {0, 0, 0}, {80, 0, 0}, 1);
  auto I = std::make_unique<TqdCADClipInsert>();
  I->SetBlock(B);
  I->SetPoint({10, 50, 0});
  I->SetClipBox({40, 60, 0, 60, 40, 0});
  AddTo(S.Model, std::move(I));
  AddLine(S.Model, {10, 20, 0}, {90, 20, 0}, 3);  // after the reference: the view's clip
  const TqdRecordingCanvas& C = S.Record();
  const auto L = Strokes(C);
  ASSERT_EQ(L.size(), 2u) << C.Describe();
  ASSERT_FALSE(L[0]->Clip.IsNull());
  const TqdIntRect Clip = L[0]->Clip.GetBox();
  EXPECT_TRUE(L[0]->Clip.Contains(50, 50));
  EXPECT_FALSE(L[0]->Clip.Contains(30, 50));
  EXPECT_FALSE(L[0]->Clip.Contains(70, 50));
  EXPECT_GE(Clip.Left, 39);
  EXPECT_LE(Clip.Right, 62);
  EXPECT_EQ(L[1]->Pen.Color, Green);
  const TqdIntRect After = L[1]->Clip.GetBox();
  EXPECT_TRUE(L[1]->Clip.IsNull() || (After.Left == 0 && After.Top == 0 && After.Right == 100 && After.Bottom == 100))
      << "the clip ends with the reference\n" << C.Describe();
}

// ---------------------------------------------------------------- the recorder itself

TEST(RecordingCanvas, LogsStateWithEachPrimitiveAndRefusesMalformedCounts) {
  TqdRecordingCanvas C(20, 10);
  C.SetPen({Red, 3, psDash, pmCopy});
  C.IntersectClipRect({0, 0, 5, 5});
  C.Line({1, 1}, {4, 1});
  C.SaveState();
  C.SetBrush({Blue, bsCross});
  C.SetClipRegion(TqdRegion());
  C.FillRect({2, 2, 8, 8});
  C.RestoreState();
  const TqdPoint Pts[3] = {{0, 0}, {1, 1}, {2, 2}};
  const int Bad[2] = {2, 5};
  C.PolyPolyline(std::span<const TqdPoint>(Pts), std::span<const int>(Bad));
  C.SetPixel(3, 3, Green);
  ASSERT_EQ(C.Records().size(), 3u) << C.Describe();
  const TqdRecord& Line = C.Records()[0];
  EXPECT_EQ(Line.Kind, rkPolyline);
  EXPECT_EQ(Line.Pen, (TqdPen{Red, 3, psDash, pmCopy}));
  EXPECT_EQ(Line.Clip.GetBox().Right, 5);
  ASSERT_EQ(Line.Points.size(), 2u);
  EXPECT_EQ(Line.Points[1].X, 4);
  const TqdRecord& Fill = C.Records()[1];
  EXPECT_EQ(Fill.Brush, (TqdBrush{Blue, bsCross}));
  EXPECT_TRUE(Fill.Clip.IsNull());
  const TqdRecord& Px = C.Records()[2];
  EXPECT_EQ(Px.Kind, rkPixels);
  EXPECT_FALSE(Px.Clip.IsNull()) << "the saved clip came back";
  EXPECT_EQ(Px.Colors, std::vector<TqdDeviceColor>{Green});
  EXPECT_EQ(C.ClipBox().Right, 5);
  EXPECT_EQ(C.PixelsPerInchX(), qdDefaultPixelsPerInch);
}

}  // namespace
