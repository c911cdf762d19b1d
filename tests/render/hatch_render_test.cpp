// Filled areas on the device: a solid fill around a hole, pattern lines at their angle
// and spacing cut at the boundary, gradients that blend, wipeouts that cover, and
// hatches whose pattern is too dense drawn filled.
#include <gtest/gtest.h>

#include <QImage>
#include <cmath>
#include <memory>

#include "CADImage.h"
#include "DXFConv.h"
#include "Entities.h"
#include "Hatches.h"
#include "Others.h"
#include "qdQtCanvas.h"

namespace {

constexpr TqdDeviceColor Red = 0x0000FF;

// A drawing whose view is 0..100 in X and Y: point (x, y) is pixel (x, 100 - y).
struct TScene {
  TqdCADdxfImage Img;
  TqdDXFConverter& C = *Img.Converter();
  TqdDXFBlock* Model = C.ModelSpace();

  template <class T> T* Add(std::unique_ptr<T> E) {
    E->SetColorCAD(TqdColorCAD::Index(1));
    T* Raw = E.get();
    Model->AddEntity(std::move(E));
    return Raw;
  }
  QImage Render() {
    C.LoadAll();
    Img.SetIsWithoutBorder(true);
    Img.SetDrawingBox({0, 100, 0, 100, 0, 0});
    Img.SetCurrentLayout(C.GetLayout(0), 0);
    QImage Q(100, 100, QImage::Format_RGB32);
    Q.fill(Qt::white);
    TqdQtCanvas Canvas(&Q);
    Img.Draw(Canvas, {0, 0, 100, 100});
    Canvas.End();
    return Q;
  }
};

void AddSquare(TqdCADCurvePolygon& H, double X0, double Y0, double X1, double Y1) {
  Tqd2DBoundaryList* L = H.AddBoundaryList(1);
  auto Edge = [&](TF2DPoint A, TF2DPoint B) {
    auto E = std::make_unique<Tqd2DLine>();
    E->SetStartPoint(A);
    E->SetEndPoint(B);
    L->Add(std::move(E));
  };
  Edge({X0, Y0}, {X1, Y0});
  Edge({X1, Y0}, {X1, Y1});
  Edge({X1, Y1}, {X0, Y1});
  Edge({X0, Y1}, {X0, Y0});
}

TqdDeviceColor At(const QImage& Q, double X, double Y) {
  const QRgb P = Q.pixel(static_cast<int>(X), static_cast<int>(100 - Y));
  return MakeRGB(qRed(P), qGreen(P), qBlue(P));
}

bool IsRed(const QImage& Q, double X, double Y) { return At(Q, X, Y) == Red; }

}  // namespace

TEST(HatchPixels, SolidFillAroundAnEmptyHole) {
  TScene S;
  auto* P = S.Add(std::make_unique<TqdCADCurvePolygon>());
  AddSquare(*P, 10, 10, 90, 90);
  AddSquare(*P, 40, 40, 60, 60);
  const QImage Q = S.Render();
  EXPECT_TRUE(IsRed(Q, 20, 50));
  EXPECT_TRUE(IsRed(Q, 50, 20));
  EXPECT_TRUE(IsRed(Q, 80, 80));
  EXPECT_FALSE(IsRed(Q, 50, 50));  // the hole
  EXPECT_FALSE(IsRed(Q, 45, 55));
  EXPECT_FALSE(IsRed(Q, 5, 5));    // outside
  EXPECT_FALSE(IsRed(Q, 95, 50));
}

TEST(HatchPixels, PatternLinesAtTheirAngleAndSpacingCutAtTheBoundary) {
  TScene S;
  auto* H = S.Add(std::make_unique<TqdCADHatch>());
  AddSquare(*H, 10, 10, 90, 90);
  // 45 degrees, 10 units apart across the lines: y - x = 14.142 k.
  TqdHatchPatternData D;
  D.LineAngle = 45;
  D.Offset = {-10 / std::sqrt(2.0), 10 / std::sqrt(2.0), 0};
  H->HatchPatternData().push_back(D);
  const QImage Q = S.Render();
  ASSERT_FALSE(H->ParsedLines().empty());
  const double Step = 10 * std::sqrt(2.0);
  for (int K = -2; K <= 2; ++K) {
    const double X = 50 - K * Step;  // on a line in row y = 50
    bool Hit = false;
    for (int DX = -1; DX <= 1; ++DX) Hit = Hit || IsRed(Q, X + DX, 50);
    EXPECT_TRUE(Hit) << "line " << K;
    EXPECT_FALSE(IsRed(Q, X + Step / 2, 50)) << "between lines " << K;
  }
  // The line y = x continues outside the boundary, but the pattern stops there.
  EXPECT_TRUE(IsRed(Q, 30, 30) || IsRed(Q, 30, 31) || IsRed(Q, 31, 30));
  for (double T : {3.0, 5.0, 7.0, 93.0, 95.0}) EXPECT_FALSE(IsRed(Q, T, T)) << T;
}

TEST(HatchPixels, GradientBlendsBetweenItsColours) {
  TScene S;
  auto* G = S.Add(std::make_unique<TqdCADCurvePolygon>());
  AddSquare(*G, 0, 0, 100, 100);
  G->SetGradientName("LINEAR");
  G->SetGradientColorCAD(0, TqdColorCAD::RGB(0x000000));
  G->SetGradientColorCAD(1, TqdColorCAD::RGB(0xFFFFFF));
  const QImage Q = S.Render();
  const TqdDeviceColor L = At(Q, 5, 50), M = At(Q, 50, 50), R = At(Q, 95, 50);
  EXPECT_LT(GetRValue(L), GetRValue(M));
  EXPECT_LT(GetRValue(M), GetRValue(R));
  EXPECT_GT(GetRValue(M), 60);
  EXPECT_LT(GetRValue(M), 200);
}

TEST(HatchPixels, TooDensePatternIsDrawnFilled) {
  TScene S;
  auto* H = S.Add(std::make_unique<TqdCADHatch>());
  AddSquare(*H, 10, 10, 90, 90);
  TqdHatchPatternData D;
  D.Offset = {0, 1e-6, 0};
  H->HatchPatternData().push_back(D);
  const QImage Q = S.Render();
  EXPECT_EQ(H->PatternFallback(), pfMemoryLimit);
  EXPECT_TRUE(IsRed(Q, 50, 50));
  EXPECT_FALSE(IsRed(Q, 5, 50));
}

TEST(HatchPixels, WipeoutCoversWhatLiesUnder) {
  TScene S;
  auto* P = S.Add(std::make_unique<TqdCADCurvePolygon>());
  AddSquare(*P, 0, 0, 100, 100);
  auto W = std::make_unique<TqdCADWipeout>();
  W->SetPoint({20, 20, 0});
  W->FSize = {60, 60, 1};
  W->FClipType = 1;
  W->FBoundary = {{-0.5, -0.5, 0}, {59.5, 59.5, 0}};
  S.Add(std::move(W));
  const QImage Q = S.Render();
  EXPECT_TRUE(IsRed(Q, 10, 10));
  EXPECT_FALSE(IsRed(Q, 50, 50));
}
