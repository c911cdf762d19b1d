// The spatial index over large groups: queries never leave out an entity that
// meets the area, stay in list order and follow edits; frames drawn through it
// are the same pixels as frames that walk every entity; one-pixel entities sent in
// batches keep the colour of the last one drawn on each pixel.
#include <gtest/gtest.h>

#include <QImage>
#include <algorithm>
#include <climits>
#include <random>

#include "CADImage.h"
#include "DXFConv.h"
#include "Curves.h"
#include "Entities.h"
#include "Faces.h"
#include "qdIterator.h"
#include "qdQtCanvas.h"
#include "qdSpatialIndex.h"

namespace {

TqdDXFLine* AddLine(TqdDXFEntity* Owner, TFPoint A, TFPoint B, int Aci) {
  auto L = std::make_unique<TqdDXFLine>();
  L->SetPoint(A);
  L->SetPoint1(B);
  L->SetColorCAD(TqdColorCAD::Index(Aci));
  TqdDXFLine* Raw = L.get();
  return Owner->AddEntity(std::move(L)) >= 0 ? Raw : nullptr;
}

// Lines scattered over 0..1000, a few long ones, of colours 1 to 6.
void Scatter(TqdDXFEntity* Model, int N, unsigned Seed) {
  std::mt19937 R(Seed);
  std::uniform_real_distribution<double> P(0, 1000), D(-3, 3), Long(-400, 400);
  for (int I = 0; I < N; ++I) {
    const double X = P(R), Y = P(R);
    const bool IsLong = I % 97 == 0;
    AddLine(Model, {X, Y, 0}, {X + (IsLong ? Long(R) : D(R)), Y + (IsLong ? Long(R) : D(R)), 0}, 1 + I % 6);
  }
}

struct TThreshold {
  int Saved = TqdSpatialIndex::MinEntities();
  explicit TThreshold(int V) { TqdSpatialIndex::MinEntities() = V; }
  ~TThreshold() { TqdSpatialIndex::MinEntities() = Saved; }
};

// Zoom times the fitted picture about (CX, CY) of a 200 x 200 target.
QImage Frame(TqdCADImage& Img, int Zoom, int CX = 100, int CY = 100) {
  QImage Q(200, 200, QImage::Format_RGB32);
  Q.fill(Qt::white);
  TqdQtCanvas Canvas(&Q);
  const int S = 200 * Zoom;
  Img.Draw(Canvas, {CX - S / 2, CY - S / 2, CX - S / 2 + S, CY - S / 2 + S});
  Canvas.End();
  return Q;
}

struct TScene {
  TqdCADImage Img;
  TqdDXFConverter& C = *Img.Converter();
  TqdDXFBlock* Model = C.ModelSpace();
  void Ready() {
    C.LoadAll();
    Img.SetIsWithoutBorder(true);
    Img.SetDrawingBox({0, 1000, 0, 1000, 0, 0});
    Img.SetCurrentLayout(C.GetLayout(0), 0);
  }
};

bool Meets(const TFRect& B, double X0, double Y0, double X1, double Y1) {
  return B.Left <= X1 && B.Right >= X0 && B.Bottom <= Y1 && B.Top >= Y0;
}

}  // namespace

TEST(SpatialIndex, QueriesFindEveryEntityOfTheAreaInListOrder) {
  TScene S;
  Scatter(S.Model, 3000, 7);
  S.Ready();
  const TqdSpatialIndex* Ix = S.Model->SpatialIndex();
  ASSERT_NE(Ix, nullptr);
  EXPECT_EQ(Ix->Count(), S.Model->Count());
  std::mt19937 R(3);
  std::uniform_real_distribution<double> P(-50, 1050), W(0, 200);
  std::vector<int> Hits;
  for (int Q = 0; Q < 200; ++Q) {
    const double X0 = P(R), Y0 = P(R), X1 = X0 + W(R), Y1 = Y0 + (Q % 10 == 0 ? 0 : W(R));
    ASSERT_TRUE(Ix->Query(X0, Y0, X1, Y1, Hits));
    ASSERT_TRUE(std::is_sorted(Hits.begin(), Hits.end()));
    ASSERT_EQ(std::adjacent_find(Hits.begin(), Hits.end()), Hits.end());
    for (int I = 0; I < S.Model->Count(); ++I)
      if (Meets(S.Model->GetEntity(I)->Box(), X0, Y0, X1, Y1))
        ASSERT_TRUE(std::binary_search(Hits.begin(), Hits.end(), I)) << "entity " << I << " query " << Q;
  }
  // The whole extent: the caller walks everything.
  EXPECT_FALSE(Ix->Query(-1e6, -1e6, 1e6, 1e6, Hits));
}

TEST(SpatialIndex, FollowsLoadsAndIsDroppedWhenChildrenChange) {
  TScene S;
  Scatter(S.Model, 1000, 11);
  S.Ready();
  const TqdSpatialIndex* Ix = S.Model->SpatialIndex();
  ASSERT_NE(Ix, nullptr);
  // An entity moved far away and recomputed is found where it is now.
  auto* L = static_cast<TqdDXFLine*>(S.Model->GetEntity(500));
  L->SetPoint({5000, 5000, 0});
  L->SetPoint1({5001, 5001, 0});
  S.C.Loads(L);
  ASSERT_EQ(S.Model->SpatialIndex(), Ix);
  std::vector<int> Hits;
  ASSERT_TRUE(Ix->Query(4990, 4990, 5010, 5010, Hits));
  EXPECT_NE(std::find(Hits.begin(), Hits.end(), 500), Hits.end());
  // A new child drops the index; the next one covers it.
  AddLine(S.Model, {-500, -500, 0}, {-499, -499, 0}, 1);
  const TqdSpatialIndex* Ix2 = S.Model->SpatialIndex();
  ASSERT_NE(Ix2, nullptr);
  EXPECT_EQ(Ix2->Count(), 1001);
  ASSERT_TRUE(Ix2->Query(-501, -501, -498, -498, Hits));
  EXPECT_NE(std::find(Hits.begin(), Hits.end(), 1000), Hits.end());
  // Small groups have none.
  TScene Small;
  Scatter(Small.Model, 10, 1);
  Small.Ready();
  EXPECT_EQ(Small.Model->SpatialIndex(), nullptr);
}

TEST(SpatialIndex, FramesThroughTheIndexAreTheSamePixels) {
  TScene S;
  Scatter(S.Model, 4000, 5);
  S.Ready();
  for (const auto& [Zoom, CX, CY] : {std::tuple{1, 100, 100}, {4, 100, 100}, {8, 530, -300}, {16, -900, 1200}}) {
    QImage Walked, Indexed;
    {
      TThreshold Off(INT_MAX);
      Walked = Frame(S.Img, Zoom, CX, CY);
    }
    Indexed = Frame(S.Img, Zoom, CX, CY);
    EXPECT_EQ(Walked, Indexed) << "zoom " << Zoom;
    if (Zoom >= 8) EXPECT_GT(S.Img.Iterator()->Stats().Culled, 3000);
  }
  // After moving entities (some by Loads) the frames still agree.
  for (int I = 0; I < 4000; I += 7) {
    auto* L = static_cast<TqdDXFLine*>(S.Model->GetEntity(I));
    L->SetPoint({L->Point().X + 300, L->Point().Y - 200, 0});
    L->SetPoint1({L->Point1().X + 300, L->Point1().Y - 200, 0});
    S.C.Loads(L);
  }
  QImage Walked;
  {
    TThreshold Off(INT_MAX);
    Walked = Frame(S.Img, 4, 300, 0);
  }
  EXPECT_EQ(Walked, Frame(S.Img, 4, 300, 0));
}

TEST(SpatialIndex, OnePixelEntitiesKeepTheLastColourOfEachPixel) {
  // Coincident tiny lines of alternating colours: the last drawn shows, as if
  // each had been drawn on its own.
  TScene S;
  for (int I = 0; I < 600; ++I) {
    const int K = I % 300;
    const double X = 100 + (K % 30) * 10, Y = 100 + (K / 30) * 10;
    AddLine(S.Model, {X, Y, 0}, {X + 0.1, Y + 0.1, 0}, I < 300 ? 1 : 5);
  }
  S.Ready();
  const QImage Q = Frame(S.Img, 1);
  // 0..1000 into 200 pixels: drawing (x, y) is pixel (x / 5, 200 - y / 5).
  int Blue = 0, Red = 0;
  for (int Y = 0; Y < 200; ++Y)
    for (int X = 0; X < 200; ++X) {
      const QRgb P = Q.pixel(X, Y);
      Blue += P == qRgb(0, 0, 255);
      Red += P == qRgb(255, 0, 0);
    }
  EXPECT_EQ(Red, 0);
  EXPECT_EQ(Blue, 300);
  EXPECT_GE(S.Img.Iterator()->Stats().Pixels, 600);
}

struct TDeferPixels {
  bool Saved = TqdCADIterator::DeferPixels();
  explicit TDeferPixels(bool V) { TqdCADIterator::DeferPixels() = V; }
  ~TDeferPixels() { TqdCADIterator::DeferPixels() = Saved; }
};

TEST(SpatialIndex, PixelsWaitingPastPrimitivesGiveTheSameFrame) {
  // One-pixel entities under and beside lines, wide lines, circles and solids drawn
  // between them in other colours, in both orders: whether the pixels wait past
  // primitives that do not cover them or not, every pixel ends the same.
  TScene S;
  std::mt19937 R(17);
  std::uniform_real_distribution<double> P(0, 1000), D(-60, 60);
  for (int I = 0; I < 3000; ++I) {
    const double X = P(R), Y = P(R);
    switch (I % 10) {
      case 0: case 1: case 2: {
        auto* L = AddLine(S.Model, {X, Y, 0}, {X + D(R), Y + D(R), 0}, 1 + I % 7);
        if (I % 3 == 0) L->SetLineWeight(I % 2 ? 1.4 : 0.5);
        break;
      }
      case 3: {
        auto C = std::make_unique<TqdDXFCircle>();
        C->SetPoint({X, Y, 0});
        C->SetRadius(std::fabs(D(R)) / 3 + 1);
        C->SetColorCAD(TqdColorCAD::Index(2 + I % 5));
        S.Model->AddEntity(std::move(C));
        break;
      }
      case 4: {
        auto F = std::make_unique<TqdDXFSolid>();
        F->SetPoint({X, Y, 0});
        F->SetPoint1({X + 15, Y, 0});
        F->SetPoint2({X, Y + 12, 0});
        F->SetPoint3({X + 15, Y + 12, 0});
        F->SetColorCAD(TqdColorCAD::Index(3 + I % 4));
        S.Model->AddEntity(std::move(F));
        break;
      }
      default:
        // Tiny lines, a third of them on the pixel of an earlier one.
        AddLine(S.Model, {X, Y, 0}, {X + 0.2, Y + 0.1, 0}, 1 + I % 6);
        break;
    }
  }
  S.Ready();
  for (const auto& [Zoom, CX, CY] : {std::tuple{1, 100, 100}, {2, 0, 150}, {4, 300, -100}}) {
    QImage Waiting, Flushed;
    {
      TDeferPixels Off(false);
      Flushed = Frame(S.Img, Zoom, CX, CY);
    }
    Waiting = Frame(S.Img, Zoom, CX, CY);
    EXPECT_GT(S.Img.Iterator()->Stats().Pixels, 50) << "zoom " << Zoom;
    EXPECT_EQ(Flushed, Waiting) << "zoom " << Zoom;
  }
}

TEST(SpatialIndex, CanvasSetPixelsEqualsPixelByPixel) {
  const std::vector<TqdPoint> Pts = {{0, 0}, {5, 5}, {19, 19}, {7, 3}, {-3, 4}, {25, 2}, {10, 10}, {11, 10}};
  QImage A(20, 20, QImage::Format_RGB32), B(20, 20, QImage::Format_RGB32);
  A.fill(Qt::white);
  B.fill(Qt::white);
  {
    TqdQtCanvas CA(&A), CB(&B);
    CA.IntersectClipRect({2, 2, 15, 15});
    CB.IntersectClipRect({2, 2, 15, 15});
    CA.SetPixels(Pts, 0x00FF00);
    for (const TqdPoint& P : Pts) CB.SetPixel(P.X, P.Y, 0x00FF00);
  }
  EXPECT_EQ(A, B);
}

TEST(SpatialIndex, CanvasSetPixelColorsEqualsPixelByPixel) {
  // Repeated pixels keep the last colour; outside the clip nothing is set; the
  // engine's path (smoothed edges on) gives the same as the direct one.
  const std::vector<TqdPoint> Pts = {{0, 0}, {5, 5}, {19, 19}, {7, 3}, {5, 5}, {-3, 4}, {25, 2}, {10, 10}, {7, 3}};
  const std::vector<TqdDeviceColor> Cs = {0xFF, 0xFF00, 0xFF0000, 0xFF, 0xFF0000, 0xFF00, 0xFF, 0x808080, 0xFF00};
  for (bool Smooth : {false, true}) {
    QImage A(20, 20, QImage::Format_RGB32), B(20, 20, QImage::Format_RGB32);
    A.fill(Qt::white);
    B.fill(Qt::white);
    {
      TqdQtCanvas CA(&A), CB(&B);
      CA.SetAntialiasing(Smooth);
      CA.IntersectClipRect({2, 2, 15, 15});
      CB.IntersectClipRect({2, 2, 15, 15});
      CA.SetPixelColors(Pts, Cs);
      for (std::size_t I = 0; I < Pts.size(); ++I) CB.SetPixel(Pts[I].X, Pts[I].Y, Cs[I]);
    }
    EXPECT_EQ(A, B) << "smooth " << Smooth;
    EXPECT_EQ(A.pixel(5, 5), qRgb(0, 0, 255));
    EXPECT_EQ(A.pixel(7, 3), qRgb(0, 255, 0));
  }
}
