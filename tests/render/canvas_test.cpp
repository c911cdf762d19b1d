// Pixel checks of the QPainter canvas on small QImages: with antialiasing off
// every pixel is either untouched or exactly the requested colour.
#include <gtest/gtest.h>

#include <QFile>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <climits>
#include <cmath>
#include <limits>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "qdQtCanvas.h"
#include "qdQtInternal.h"

namespace {

constexpr TqdDeviceColor Red = 0x0000FF;   // 0x00BBGGRR
constexpr TqdDeviceColor Blue = 0xFF0000;
constexpr TqdDeviceColor Green = 0x00FF00;
constexpr QRgb White = 0xFFFFFFFF;
constexpr double Nan = std::numeric_limits<double>::quiet_NaN();
constexpr double Inf = std::numeric_limits<double>::infinity();

using TPixels = std::set<std::pair<int, int>>;

QImage Blank(int W = 16, int H = 16) {
  QImage Img(W, H, QImage::Format_RGB32);
  Img.fill(Qt::white);
  return Img;
}

QRgb Rgb(TqdDeviceColor C) { return qRgb(C & 0xFF, (C >> 8) & 0xFF, (C >> 16) & 0xFF); }

// Pixels that are not white; fails when one of them is not exactly Color.
TPixels Painted(const QImage& Img, TqdDeviceColor Color) {
  TPixels R;
  for (int Y = 0; Y < Img.height(); ++Y)
    for (int X = 0; X < Img.width(); ++X) {
      const QRgb P = Img.pixel(X, Y);
      if (P == White) continue;
      EXPECT_EQ(P, Rgb(Color)) << "pixel " << X << "," << Y;
      R.insert({X, Y});
    }
  return R;
}

TPixels Box(int L, int T, int R, int B) {  // Right/Bottom inclusive
  TPixels P;
  for (int Y = T; Y <= B; ++Y)
    for (int X = L; X <= R; ++X) P.insert({X, Y});
  return P;
}

void SetRedPen(TqdCanvas& C, int Width = 1) { C.SetPen({Red, Width, psSolid, pmCopy}); }

// ---- lines

struct TLineCase {
  const char* Name;
  TqdPoint A, B;
  TPixels Expected;
};

class LinePixels : public ::testing::TestWithParam<TLineCase> {};

TEST_P(LinePixels, FlatCapsLeaveTheFarEndPixel) {
  const TLineCase& K = GetParam();
  QImage Img = Blank();
  {
    TqdQtCanvas C(&Img);
    SetRedPen(C);
    C.Line(K.A, K.B);
  }
  EXPECT_EQ(Painted(Img, Red), K.Expected);
}

INSTANTIATE_TEST_SUITE_P(
    Canvas, LinePixels,
    ::testing::Values(
        TLineCase{"horizontal", {1, 2}, {6, 2}, Box(1, 2, 5, 2)},
        TLineCase{"leftwards paints as rightwards", {6, 2}, {1, 2}, Box(1, 2, 5, 2)},
        TLineCase{"vertical", {3, 1}, {3, 5}, Box(3, 1, 3, 4)},
        TLineCase{"diagonal", {0, 0}, {4, 4}, {{0, 0}, {1, 1}, {2, 2}, {3, 3}}},
        TLineCase{"partly off the device", {-5, 3}, {2, 3}, Box(0, 3, 1, 3)}),
    [](const auto& I) {
      std::string N = I.param.Name;
      for (char& Ch : N)
        if (Ch == ' ') Ch = '_';
      return N;
    });

TEST(Canvas, PolylineSegmentsMeetWithoutGaps) {
  QImage Img = Blank();
  {
    TqdQtCanvas C(&Img);
    SetRedPen(C);
    const TqdPoint P[] = {{1, 1}, {5, 1}, {5, 4}};
    C.Polyline(P);
  }
  TPixels E = Box(1, 1, 4, 1);
  E.merge(Box(5, 1, 5, 3));
  EXPECT_EQ(Painted(Img, Red), E);

  Img = Blank();
  {
    TqdQtCanvas C(&Img);
    SetRedPen(C);
    const TqdPoint P[] = {{10, 1}, {5, 1}, {5, 5}};
    C.Polyline(P);
  }
  E = Box(5, 1, 9, 1);
  E.merge(Box(5, 1, 5, 4));
  EXPECT_EQ(Painted(Img, Red), E);
}

TEST(Canvas, ClosedPolylinePaintsEveryCorner) {
  QImage Img = Blank();
  {
    TqdQtCanvas C(&Img);
    SetRedPen(C);
    C.SetBrush({Blue, bsSolid});  // a closed outline is not filled
    const TqdPoint P[] = {{2, 2}, {10, 2}, {10, 6}, {2, 6}};
    C.ClosedPolyline(P);
  }
  TPixels E = Box(2, 2, 10, 6);
  for (auto P : Box(3, 3, 9, 5)) E.erase(P);
  EXPECT_EQ(Painted(Img, Red), E);
}

TEST(Canvas, PenWidthCoversThatManyRows) {
  for (int W : {0, 1, 2, 3, 5}) {
    QImage Img = Blank();
    {
      TqdQtCanvas C(&Img);
      SetRedPen(C, W);
      C.Line({2, 8}, {12, 8});
    }
    const TPixels P = Painted(Img, Red);
    std::set<int> Rows, Cols;
    for (auto [X, Y] : P) Rows.insert(Y), Cols.insert(X);
    EXPECT_EQ(int(Rows.size()), std::max(W, 1)) << "width " << W;
    EXPECT_EQ(*Cols.begin(), 2) << "width " << W;
    EXPECT_EQ(*Cols.rbegin(), 11) << "width " << W;  // flat caps: no overhang
  }
}

// Rubber bands and highlight inversion rely on a second pass undoing the first.
TEST(Canvas, RasterOperationsUndoThemselves) {
  QImage Img = Blank();
  Img.setPixel(3, 3, qRgb(10, 200, 30));
  const QImage Before = Img;
  {
    TqdQtCanvas C(&Img);
    C.SetPen({Red, 1, psSolid, pmXor});
    C.Line({1, 1}, {10, 6});
    EXPECT_NE(Img, Before);
    C.Line({1, 1}, {10, 6});
    C.InvertRect({0, 0, 8, 8});
    EXPECT_EQ(Img.pixel(1, 1), qRgb(0, 0, 0));
    C.InvertRect({0, 0, 8, 8});
  }
  EXPECT_EQ(Img, Before);
}

TEST(Canvas, AntialiasingIsOffUnlessAskedFor) {
  for (bool On : {false, true}) {
    QImage Img = Blank();
    {
      TqdQtCanvas C(&Img);
      C.SetAntialiasing(On);
      SetRedPen(C, 2);
      C.Line({1, 2}, {14, 11});
    }
    bool Blended = false;
    for (int Y = 0; Y < 16; ++Y)
      for (int X = 0; X < 16; ++X)
        if (Img.pixel(X, Y) != White && Img.pixel(X, Y) != Rgb(Red)) Blended = true;
    EXPECT_EQ(Blended, On);
  }
}

// ---- fills

TEST(Canvas, PolygonFillIsExactlyTheBrushColour) {
  for (TqdPenStyle Outline : {psClear, psSolid}) {
    QImage Img = Blank();
    {
      TqdQtCanvas C(&Img);
      C.SetPen({Red, 1, Outline, pmCopy});
      C.SetBrush({Red, bsSolid});
      const TqdPoint P[] = {{1, 1}, {9, 1}, {9, 9}, {1, 9}};
      C.Polygon(P);
    }
    // The outline adds the edge pixels at the far ends.
    EXPECT_EQ(Painted(Img, Red), Outline == psClear ? Box(1, 1, 8, 8) : Box(1, 1, 9, 9));
  }
}

TEST(Canvas, FillModeDecidesTheCentreOfAStar) {
  // A five-pointed star drawn in one stroke: its centre has winding number 2.
  const TqdPoint Star[] = {{20, 2}, {31, 36}, {2, 15}, {38, 15}, {9, 36}};
  for (auto [Mode, CentreFilled] : {std::pair{fmAlternate, false}, std::pair{fmWinding, true}}) {
    QImage Img = Blank(40, 40);
    {
      TqdQtCanvas C(&Img);
      C.SetPen({0, 1, psClear, pmCopy});
      C.SetBrush({Red, bsSolid});
      C.SetPolyFillMode(Mode);
      C.Polygon(Star);
    }
    EXPECT_EQ(Img.pixel(20, 20) == Rgb(Red), CentreFilled) << "mode " << Mode;
    EXPECT_EQ(Img.pixel(20, 6), Rgb(Red)) << "mode " << Mode;  // a tip
  }
}

TEST(Canvas, PolyPolygonLeavesTheInnerLoopOpen) {
  QImage Img = Blank(20, 20);
  {
    TqdQtCanvas C(&Img);
    C.SetPen({0, 1, psClear, pmCopy});
    C.SetBrush({Red, bsSolid});
    const TqdDPoint P[] = {{2, 2}, {18, 2}, {18, 18}, {2, 18}, {6, 6}, {14, 6}, {14, 14}, {6, 14}};
    const int Counts[] = {4, 4};
    C.PolyPolygon(std::span<const TqdDPoint>(P), Counts);
  }
  TPixels E = Box(2, 2, 17, 17);
  for (auto P : Box(6, 6, 13, 13)) E.erase(P);
  EXPECT_EQ(Painted(Img, Red), E);
}

TEST(Canvas, RectanglesCoverLeftToRightMinusOne) {
  QImage Img = Blank();
  {
    TqdQtCanvas C(&Img);
    C.SetBrush({Red, bsSolid});
    C.FillRect({2, 3, 7, 5});
  }
  EXPECT_EQ(Painted(Img, Red), Box(2, 3, 6, 4));

  Img = Blank();
  {
    TqdQtCanvas C(&Img);
    SetRedPen(C);
    C.SetBrush({0, bsClear});
    C.Rectangle({7, 5, 2, 1});  // corners in either order
  }
  TPixels E = Box(2, 1, 6, 4);
  for (auto P : Box(3, 2, 5, 3)) E.erase(P);
  EXPECT_EQ(Painted(Img, Red), E);
}

TEST(Canvas, EllipseStaysInsideItsBox) {
  QImage Img = Blank(20, 20);
  {
    TqdQtCanvas C(&Img);
    SetRedPen(C);
    C.SetBrush({Red, bsSolid});
    C.Ellipse({3, 5, 17, 13});
  }
  const TPixels P = Painted(Img, Red);
  ASSERT_FALSE(P.empty());
  int L = 99, T = 99, R = -1, B = -1;
  for (auto [X, Y] : P) L = std::min(L, X), T = std::min(T, Y), R = std::max(R, X), B = std::max(B, Y);
  EXPECT_EQ(L, 3);
  EXPECT_EQ(T, 5);
  EXPECT_GE(R, 15);
  EXPECT_LE(R, 16);
  EXPECT_GE(B, 11);
  EXPECT_LE(B, 12);
  EXPECT_TRUE(P.count({10, 9}));
}

// Arc ends are rays from the centre; on a flat ellipse the ray's direction is
// not the ellipse parameter.
TEST(Canvas, ArcRunsCounterClockwiseBetweenTheRays) {
  QImage Img = Blank(81, 41);
  {
    TqdQtCanvas C(&Img);
    SetRedPen(C);
    C.Arc({0, 0, 81, 41}, {60, 0}, {20, 40});  // from the 45 degree ray to the 225 degree one
  }
  const TPixels Q = Painted(Img, Red);
  ASSERT_FALSE(Q.empty());
  bool StartsOnTheRay = false;
  for (auto [X, Y] : Q) {
    const int DX = X - 40, DY = 20 - Y;  // from the centre, Y up
    if (DX > 0 && std::abs(DX - DY) <= 1) StartsOnTheRay = true;
    EXPECT_FALSE(DX > 1 && DY < DX - 2) << X << "," << Y;    // clockwise of the start ray
    EXPECT_FALSE(DX < -1 && DY < DX - 2) << X << "," << Y;   // past the end ray
  }
  EXPECT_TRUE(StartsOnTheRay);
  EXPECT_TRUE(Q.count({40, 0}));  // passes the top
  EXPECT_TRUE(Q.count({0, 20}) || Q.count({0, 19}));  // and the left end
}

TEST(Canvas, SetPixelWritesOnePixel) {
  QImage Img = Blank();
  {
    TqdQtCanvas C(&Img);
    C.SetPixel(4, 7, Blue);
    C.SetPixel(-1, 3, Blue);
    C.SetPixel(16, 3, Blue);
    C.SetPen({Red, 1, psSolid, pmXor});  // the pen's mode does not apply
    C.SetPixel(4, 7, Blue);
  }
  EXPECT_EQ(Painted(Img, Blue), TPixels({{4, 7}}));
}

// Batched pixels equal pixel-by-pixel ones on every image format, under a clip of
// two rectangles, and keep their place in the drawing order.
TEST(Canvas, SetPixelsMatchesSetPixelUnderClipAndOrder) {
  std::vector<TqdPoint> Pts;
  for (int Y = -2; Y < 18; Y += 3)
    for (int X = -2; X < 18; X += 2) Pts.push_back({X, Y});
  TqdRegion Clip, Second;
  Clip.SetRect({1, 1, 7, 7});
  Second.SetRect({9, 4, 15, 14});
  Clip.Union(Second);
  for (const QImage::Format F : {QImage::Format_RGB32, QImage::Format_ARGB32_Premultiplied, QImage::Format_RGB888}) {
    QImage A(16, 16, F), B(16, 16, F);
    A.fill(Qt::white);
    B.fill(Qt::white);
    for (QImage* Img : {&A, &B}) {
      TqdQtCanvas C(Img);
      C.SetClipRegion(Clip);
      if (Img == &A) C.SetPixels(Pts, Green);
      else
        for (const TqdPoint& P : Pts) C.SetPixel(P.X, P.Y, Green);
      // Drawn after the pixels: the line covers the ones on its row.
      SetRedPen(C);
      C.Line({0, 4}, {16, 4});
      if (Img == &A) C.SetPixels(std::vector<TqdPoint>{{10, 4}}, Blue);
      else C.SetPixel(10, 4, Blue);
    }
    EXPECT_EQ(A, B) << int(F);
    EXPECT_EQ(A.pixel(10, 4), Rgb(Blue) | 0xFF000000u);
    EXPECT_EQ(A.pixel(12, 4), Rgb(Red) | 0xFF000000u);
    EXPECT_EQ(A.pixel(8, 7), White);  // between the two rectangles
  }
}

TEST(Canvas, ImageIsStretchedIntoTheRectangle) {
  TqdImage Pic;
  ASSERT_TRUE(Pic.Create(2, 2, Red));
  Pic.SetPixel(1, 0, Green);
  Pic.SetPixel(0, 1, Blue);
  Pic.SetPixel(1, 1, 0);
  QImage Img = Blank();
  {
    TqdQtCanvas C(&Img);
    C.DrawImage({4, 4, 12, 12}, Pic);
  }
  EXPECT_EQ(Img.pixel(4, 4), Rgb(Red));
  EXPECT_EQ(Img.pixel(11, 4), Rgb(Green));
  EXPECT_EQ(Img.pixel(4, 11), Rgb(Blue));
  EXPECT_EQ(Img.pixel(11, 11), Rgb(0));
  EXPECT_EQ(Img.pixel(3, 3), White);
  EXPECT_EQ(Img.pixel(12, 12), White);
  EXPECT_FALSE(Pic.IsMonochrome());
}

TEST(Canvas, GradientTriangleBlendsItsCorners) {
  QImage Img = Blank(40, 40);
  {
    TqdQtCanvas C(&Img);
    const TqdPoint P[3] = {{0, 0}, {40, 0}, {0, 40}};
    const TqdDeviceColor Colors[3] = {Red, Green, Blue};
    C.GradientTriangle(P, Colors);
  }
  auto Near = [](QRgb A, QRgb B) {
    return std::abs(qRed(A) - qRed(B)) < 16 && std::abs(qGreen(A) - qGreen(B)) < 16 &&
           std::abs(qBlue(A) - qBlue(B)) < 16;
  };
  EXPECT_TRUE(Near(Img.pixel(0, 0), Rgb(Red)));
  EXPECT_TRUE(Near(Img.pixel(38, 0), Rgb(Green)));
  EXPECT_TRUE(Near(Img.pixel(0, 38), Rgb(Blue)));
  EXPECT_TRUE(Near(Img.pixel(13, 13), qRgb(85, 85, 85)));  // a third of each
  EXPECT_EQ(Img.pixel(30, 30), White);                     // outside
}

// ---- regions and clipping

std::vector<TqdPoint> Square(int L, int T, int R, int B) { return {{L, T}, {R, T}, {R, B}, {L, B}}; }

struct TNestCase {
  const char* Name;
  int Loops;  // nested squares, outermost first
  std::vector<std::pair<TqdPoint, bool>> Probes;
};

class NestedRegion : public ::testing::TestWithParam<TNestCase> {};

TEST_P(NestedRegion, XorCombinedLoopsAlternate) {
  const TNestCase& K = GetParam();
  TqdRegion Rgn;
  for (int I = 0; I < K.Loops; ++I) {
    TqdRegion Loop;
    Loop.SetPolygon(Square(2 + 4 * I, 2 + 4 * I, 30 - 4 * I, 30 - 4 * I), fmAlternate);
    Rgn.Exclude(Loop);
  }
  QImage Img = Blank(32, 32);
  {
    TqdQtCanvas C(&Img);
    Rgn.Select(C);
    C.SetBrush({Red, bsSolid});
    C.FillRect({0, 0, 32, 32});
  }
  for (auto [P, Filled] : K.Probes) {
    EXPECT_EQ(Img.pixel(P.X, P.Y) == Rgb(Red), Filled) << P.X << "," << P.Y;
    EXPECT_EQ(Rgn.Contains(P.X, P.Y), Filled) << P.X << "," << P.Y;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Canvas, NestedRegion,
    ::testing::Values(
        TNestCase{"one_loop", 1, {{{1, 1}, false}, {{2, 2}, true}, {{16, 16}, true}, {{29, 29}, true}, {{30, 30}, false}}},
        TNestCase{"ring", 2, {{{3, 3}, true}, {{5, 5}, true}, {{6, 6}, false}, {{16, 16}, false}, {{26, 26}, true}}},
        TNestCase{"innermost_filled_again", 3, {{{3, 3}, true}, {{7, 7}, false}, {{10, 10}, true}, {{16, 16}, true}}}),
    [](const auto& I) { return std::string(I.param.Name); });

// A hatch is filled through its region, a single loop as a polygon: both
// must cover the same pixels.
struct TShapeCase {
  const char* Name;
  std::vector<TqdPoint> Points;
  TqdFillMode Mode;
};

class RegionMatchesFill : public ::testing::TestWithParam<TShapeCase> {};

TEST_P(RegionMatchesFill, SamePixels) {
  const TShapeCase& K = GetParam();
  QImage Filled = Blank(40, 40), Clipped = Blank(40, 40);
  {
    TqdQtCanvas C(&Filled);
    C.SetPen({0, 1, psClear, pmCopy});
    C.SetBrush({Red, bsSolid});
    C.SetPolyFillMode(K.Mode);
    C.Polygon(K.Points);
  }
  {
    TqdQtCanvas C(&Clipped);
    TqdRegion R;
    R.SetPolygon(K.Points, K.Mode);
    C.SetClipRegion(R);
    C.SetBrush({Red, bsSolid});
    C.FillRect({0, 0, 40, 40});
  }
  // Pixel centres exactly on an edge may round either way (the fill works in
  // fixed point); anything else must agree.
  const TPixels A = Painted(Clipped, Red), B = Painted(Filled, Red);
  auto OnEdge = [&](std::pair<int, int> P, const TPixels& Other) {
    for (int DY = -1; DY <= 1; ++DY)
      for (int DX = -1; DX <= 1; ++DX)
        if ((DX || DY) && !Other.count({P.first + DX, P.second + DY})) return true;
    return false;
  };
  size_t Differ = 0;
  for (auto P : A)
    if (!B.count(P)) {
      ++Differ;
      EXPECT_TRUE(OnEdge(P, B)) << "only in the region: " << P.first << "," << P.second;
    }
  for (auto P : B)
    if (!A.count(P)) {
      ++Differ;
      EXPECT_TRUE(OnEdge(P, A)) << "only in the fill: " << P.first << "," << P.second;
    }
  EXPECT_LE(Differ * 20, B.size() + 20) << Differ << " pixels differ";
}

INSTANTIATE_TEST_SUITE_P(
    Canvas, RegionMatchesFill,
    ::testing::Values(
        TShapeCase{"triangle", {{1, 1}, {19, 4}, {6, 17}}, fmAlternate},
        TShapeCase{"thin_sliver", {{0, 0}, {39, 3}, {0, 1}}, fmAlternate},
        TShapeCase{"star_alternate", {{20, 2}, {31, 36}, {2, 15}, {38, 15}, {9, 36}}, fmAlternate},
        TShapeCase{"star_winding", {{20, 2}, {31, 36}, {2, 15}, {38, 15}, {9, 36}}, fmWinding},
        TShapeCase{"partly_off_device", {{-20, -5}, {30, 10}, {10, 60}}, fmAlternate},
        TShapeCase{"concave", {{2, 2}, {30, 2}, {30, 30}, {16, 10}, {2, 30}}, fmAlternate}),
    [](const auto& I) { return std::string(I.param.Name); });

TEST(Canvas, RegionStackPopRestoresTheOuterClip) {
  TqdRegionStack Stack;
  EXPECT_EQ(Stack.GetTop(), nullptr);
  Stack.Push(nullptr);
  ASSERT_NE(Stack.GetTop(), nullptr);
  EXPECT_TRUE(Stack.GetTop()->IsNull());

  TqdRegion Outer;
  Outer.SetRect({0, 0, 8, 16});  // left half
  Stack.Push(Outer);
  Outer.SetRect({0, 0, 1, 1});  // the stack holds its own copy
  EXPECT_EQ(Stack.GetTop()->GetBox().Right, 8);

  TqdRegion Inner;
  Inner.SetRect({0, 0, 16, 4});
  Inner.Intersect(*Stack.GetTop());  // top-left quarter strip
  Stack.Push(Inner);

  QImage Img = Blank();
  {
    TqdQtCanvas C(&Img);
    C.SetBrush({Red, bsSolid});
    Stack.GetTop()->Select(C);
    C.FillRect({0, 0, 16, 16});
    EXPECT_EQ(Painted(Img, Red), Box(0, 0, 7, 3));

    Stack.Pop();
    Stack.GetTop()->Select(C);
    C.FillRect({0, 0, 16, 16});
    EXPECT_EQ(Img.pixel(7, 15), Rgb(Red));
    EXPECT_EQ(Img.pixel(8, 15), White);

    Stack.Pop();
    Stack.GetTop()->Select(C);  // null: no clipping
    C.FillRect({0, 0, 16, 16});
  }
  EXPECT_EQ(Painted(Img, Red), Box(0, 0, 15, 15));
  Stack.Pop();
  Stack.Pop();  // more pops than pushes are harmless
  EXPECT_EQ(Stack.Count(), 0);
}

TEST(Canvas, RegionOperations) {
  TqdRegion A, B;
  A.SetRect({0, 0, 10, 10});
  B.SetRect({5, 5, 15, 15});
  TqdRegion U = A;
  U.Union(B);
  EXPECT_EQ(U.GetState(), rsComplex);
  EXPECT_EQ(U.GetBox().Right, 15);
  TqdRegion I = A;
  I.Intersect(B);
  EXPECT_EQ(I.GetState(), rsSimple);
  EXPECT_EQ(I.GetBox().Left, 5);
  I.Offset(-5, -5);
  EXPECT_TRUE(I.Contains(0, 0));
  EXPECT_FALSE(I.Contains(5, 5));
  for (int K = 0; K < 20; ++K) I.Offset(INT_MAX, INT_MIN);  // pinned at the device range
  EXPECT_LE(I.GetBox().Right, qdMaxDeviceCoord + 1);
  EXPECT_GE(I.GetBox().Top, -qdMaxDeviceCoord);
  TqdRegion None;
  None.SetRect({20, 20, 30, 30});
  None.Intersect(A);
  EXPECT_FALSE(None.IsNull());  // an empty clip still clips everything
  EXPECT_TRUE(None.IsEmpty());
  EXPECT_EQ(None.GetState(), rsEmpty);
  EXPECT_FALSE(None.IntersectsRect({0, 0, 100, 100}));
  EXPECT_TRUE(TqdRegion().IntersectsRect({0, 0, 1, 1}));
  std::vector<TqdIntRect> Rects;
  U.GetRects(Rects);
  EXPECT_GE(Rects.size(), 2u);

  QImage Img = Blank();
  {
    TqdQtCanvas C(&Img);
    C.SetClipRegion(None);
    C.SetPixel(3, 3, Red);
    const TqdIntRect Box = C.ClipBox();
    EXPECT_EQ(Box.Right - Box.Left, 0);
  }
  EXPECT_TRUE(Painted(Img, Red).empty());
}

// Regions keep the banded rectangles QRegion keeps for the same operations, so
// clips and SVG clip paths come out as they would with QRegion itself.
TEST(Canvas, RegionRectanglesAreTheOnesQRegionKeeps) {
  std::mt19937 Rng(11);
  std::uniform_int_distribution<int> Coord(-10, 50);
  std::uniform_int_distribution<int> OpOf(0, 2);
  for (int Round = 0; Round < 40; ++Round) {
    TqdRegion R;
    QRegion Q;
    for (int Step = 0; Step < 6; ++Step) {
      TqdRegion Part;
      if (Step % 2 == 0)
        Part.SetRect({Coord(Rng), Coord(Rng), Coord(Rng), Coord(Rng)});
      else
        Part.SetPolygon(std::vector<TqdPoint>{{Coord(Rng), Coord(Rng)}, {Coord(Rng), Coord(Rng)}, {Coord(Rng), Coord(Rng)}},
                        fmAlternate);
      const QRegion QP = qdToQRegion(Part);
      const int Op = Step == 0 ? 1 : OpOf(Rng);
      if (Op == 0) {
        R.Intersect(Part);
        Q = Q.intersected(QP);
      } else if (Op == 1) {
        R.Union(Part);
        Q = Q.united(QP);
      } else {
        R.Exclude(Part);
        Q = Q.xored(QP);
      }
      std::vector<QRect> Mine;
      for (const QRect& A : qdToQRegion(R)) Mine.push_back(A);
      const std::vector<QRect> Theirs(Q.begin(), Q.end());
      ASSERT_EQ(Mine, Theirs) << "round " << Round << " step " << Step;
      ASSERT_EQ(R.GetState() == rsComplex, Q.rectCount() > 1);
    }
  }
}

TEST(Canvas, RestoreStateBringsBackPenBrushAndClip) {
  QImage Img = Blank();
  {
    TqdQtCanvas C(&Img);
    SetRedPen(C);
    C.IntersectClipRect({0, 0, 4, 16});
    C.SaveState();
    C.SetPenColor(Blue);
    C.SetClipRegion(TqdRegion());
    C.Line({0, 8}, {16, 8});
    C.RestoreState();
    C.RestoreState();  // nothing left to restore
    EXPECT_EQ(C.Pen().Color, Red);
    EXPECT_EQ(C.ClipBox().Right, 4);
    C.Line({0, 2}, {16, 2});
  }
  EXPECT_EQ(Img.pixel(15, 8), Rgb(Blue));
  EXPECT_EQ(Img.pixel(3, 2), Rgb(Red));
  EXPECT_EQ(Img.pixel(4, 2), White);
}

// A widget's paint event lends its painter: the canvas draws through it and
// hands it back as it was.
TEST(Canvas, BorrowedPainterIsHandedBackUnchanged) {
  QImage Img = Blank();
  QPainter P(&Img);
  P.setPen(QPen(Qt::green, 5));
  P.setClipRect(0, 0, 8, 8);
  {
    TqdQtCanvas C(P);
    EXPECT_TRUE(C.IsActive());
    EXPECT_EQ(C.DeviceSizePixels(), (TqdPoint{16, 16}));
    SetRedPen(C);
    C.Line({0, 12}, {16, 12});  // the canvas's clip (none) replaces the painter's
  }
  EXPECT_EQ(P.pen().color(), QColor(Qt::green));
  EXPECT_EQ(P.pen().widthF(), 5.0);
  EXPECT_TRUE(P.hasClipping());
  P.end();
  EXPECT_EQ(Painted(Img, Red), Box(0, 12, 15, 12));
}

// ---- hostile numbers

struct TCoordCase {
  const char* Name;
  double In;
  int Out;
};

class DeviceCoord : public ::testing::TestWithParam<TCoordCase> {};

TEST_P(DeviceCoord, Saturates) { EXPECT_EQ(qdDeviceCoord(GetParam().In), GetParam().Out); }

INSTANTIATE_TEST_SUITE_P(
    Canvas, DeviceCoord,
    ::testing::Values(TCoordCase{"nan", Nan, 0}, TCoordCase{"plus_inf", Inf, qdMaxDeviceCoord},
                      TCoordCase{"minus_inf", -Inf, -qdMaxDeviceCoord},
                      TCoordCase{"huge", 1e300, qdMaxDeviceCoord},
                      TCoordCase{"just_beyond_int", 2147483648.0, qdMaxDeviceCoord},
                      TCoordCase{"half_up", 2.5, 3}, TCoordCase{"half_down", -2.5, -3},
                      TCoordCase{"ordinary", 41.4, 41}),
    [](const auto& I) { return std::string(I.param.Name); });

TEST(Canvas, HugeAndNanCoordinatesDrawWithoutFaults) {
  QImage Img = Blank();
  {
    TqdQtCanvas C(&Img);
    SetRedPen(C, 3);
    C.SetBrush({Red, bsSolid});
    const TqdPoint Wild[] = {{INT_MIN, INT_MIN}, {INT_MAX, INT_MAX}, {INT_MAX, INT_MIN}};
    C.Polyline(Wild);
    C.Polygon(Wild);
    C.Ellipse({INT_MIN, INT_MIN, INT_MAX, INT_MAX});
    C.Arc({INT_MIN, 0, INT_MAX, 10}, {INT_MAX, 0}, {INT_MIN, 0});
    C.Rectangle({INT_MIN, INT_MIN, INT_MAX, INT_MAX});
    C.SetPixel(INT_MAX, INT_MIN, Red);
    const TqdDPoint D[] = {{Nan, 0}, {Inf, -Inf}, {1e300, 3}, {-1e300, 3}};
    C.Polyline(std::span<const TqdDPoint>(D));
    C.Polygon(std::span<const TqdDPoint>(D));
    TqdRegion R;
    R.SetPolygon(Wild, fmWinding);
    R.Offset(INT_MAX, INT_MIN);
    C.IntersectClipRegion(R);
    C.FillRect({0, 0, 16, 16});
  }
  SUCCEED();
}

TEST(Canvas, HugeTriangleRegionStillCoversTheDevice) {
  TqdRegion R;
  const TqdPoint Tri[] = {{-1000000000, -1000000000}, {1000000000, -1000000000}, {0, 1000000000}};
  R.SetPolygon(Tri, fmAlternate);
  EXPECT_TRUE(R.Contains(0, 0));
  EXPECT_TRUE(R.Contains(4000, 3000));
  EXPECT_TRUE(R.Contains(-4000, 3000));
  // Limited to the device range: a band per row, not per row of the vertices.
  std::vector<TqdIntRect> Rects;
  R.GetRects(Rects);
  EXPECT_LE(Rects.size(), 70000u);
}

TEST(Canvas, MalformedCountsDrawNothing) {
  QImage Img = Blank();
  {
    TqdQtCanvas C(&Img);
    SetRedPen(C);
    C.SetBrush({Red, bsSolid});
    const TqdPoint P[] = {{1, 1}, {10, 1}, {10, 10}};
    const int TooMany[] = {2, 2};
    const int Negative[] = {3, -1};
    C.PolyPolyline(P, TooMany);
    C.PolyPolygon(P, TooMany);
    C.PolyPolyline(P, Negative);
    C.PolyPolygon(P, Negative);
    C.Polyline(std::span<const TqdPoint>(P, 1));
    C.FillRect({5, 5, 5, 9});  // no width
  }
  EXPECT_TRUE(Painted(Img, Red).empty());
}

// ---- device queries

TEST(Canvas, DeviceSizeAndResolution) {
  QImage Img = Blank(400, 300);
  Img.setDotsPerMeterX(3780);  // 96.012 dpi
  Img.setDotsPerMeterY(7560);
  TqdQtCanvas C(&Img);
  EXPECT_EQ(C.DeviceSizePixels(), (TqdPoint{400, 300}));
  EXPECT_NEAR(C.DeviceSizeMM().X, 400 / 3.78, 1e-9);
  EXPECT_NEAR(C.MMPerPixelX(), 1 / 3.78, 1e-12);
  EXPECT_NEAR(C.PixelsPerInchY(), 7560 * 0.0254, 1e-9);
  EXPECT_FALSE(C.IsMetafile());
  EXPECT_FALSE(C.IsPrinter());
}

// A device that reports no usable size must not make lineweights 0 or NaN.
TEST(Canvas, DeviceWithoutSizeFallsBackTo96Dpi) {
  QImage Null;
  TqdQtCanvas OnNull(&Null);
  EXPECT_FALSE(OnNull.IsActive());
  EXPECT_EQ(OnNull.DeviceSizePixels(), (TqdPoint{0, 0}));
  EXPECT_DOUBLE_EQ(OnNull.MMPerPixelX(), 25.4 / 96);
  EXPECT_DOUBLE_EQ(OnNull.PixelsPerInchY(), 96);
  OnNull.Line({0, 0}, {5, 5});  // nothing to paint on, no fault
  EXPECT_EQ(OnNull.ClipBox().Right, 0);

  TqdQtCanvas OnNothing(static_cast<QPaintDevice*>(nullptr));
  EXPECT_DOUBLE_EQ(OnNothing.PixelsPerInchX(), 96);
}

// ---- SVG

TEST(Canvas, SvgFileIsWellFormedAndHonoursTheClip) {
  QTemporaryDir Dir;
  ASSERT_TRUE(Dir.isValid());
  const std::string Name = (Dir.path() + "/out.svg").toStdString();
  {
    auto C = qdCreateSvgCanvas(Name, 40, 40, "test");
    ASSERT_NE(C, nullptr);
    EXPECT_TRUE(C->IsMetafile());
    EXPECT_EQ(C->DeviceSizePixels(), (TqdPoint{40, 40}));
    C->SetPen({0, 1, psClear, pmCopy});
    C->SetBrush({Red, bsSolid});
    C->Polygon(Square(2, 2, 18, 18));
    // A ring clip: the blue fill and the thick line must stay out of its hole.
    TqdRegion Ring, Hole;
    Ring.SetPolygon(Square(20, 0, 40, 40), fmAlternate);
    Hole.SetPolygon(Square(26, 10, 34, 30), fmAlternate);
    Ring.Exclude(Hole);
    C->SetClipRegion(Ring);
    C->SetBrush({Blue, bsSolid});
    C->FillRect({0, 32, 40, 40});
    C->SetPen({Blue, 3, psSolid, pmCopy});
    C->Line({0, 20}, {40, 20});
  }
  QFile F(QString::fromStdString(Name));
  ASSERT_TRUE(F.open(QIODevice::ReadOnly));
  const QByteArray Bytes = F.readAll();
  QXmlStreamReader Xml(Bytes);
  int Paths = 0;
  while (!Xml.atEnd())
    if (Xml.readNext() == QXmlStreamReader::StartElement &&
        (Xml.name() == u"path" || Xml.name() == u"polygon"))
      ++Paths;
  EXPECT_FALSE(Xml.hasError()) << Xml.errorString().toStdString();
  EXPECT_GE(Paths, 1);

  // Render it back and look at the pixels.
  QSvgRenderer Renderer(Bytes);
  ASSERT_TRUE(Renderer.isValid());
  QImage Img = Blank(40, 40);
  {
    QPainter P(&Img);
    Renderer.render(&P, QRectF(0, 0, 40, 40));
  }
  EXPECT_EQ(Img.pixel(10, 10), Rgb(Red));
  EXPECT_EQ(Img.pixel(30, 35), Rgb(Blue));
  EXPECT_EQ(Img.pixel(10, 35), White);  // fill outside the clip
  EXPECT_EQ(Img.pixel(23, 20), Rgb(Blue));
  EXPECT_EQ(Img.pixel(30, 20), White);  // line inside the hole
  EXPECT_EQ(Img.pixel(10, 20), White);  // line left of the clip
}

TEST(Canvas, SvgCanvasRefusesAnUnwritableFile) {
  EXPECT_EQ(qdCreateSvgCanvas("/nonexistent-dir/x.svg", 10, 10), nullptr);
  EXPECT_EQ(qdCreateSvgCanvas("/tmp/never.svg", 0, 10), nullptr);
}

TEST(Canvas, TextOutPaintsInTheFontColour) {
  QImage Img = Blank(60, 30);
  {
    TqdQtCanvas C(&Img);
    TqdFont F;
    F.Color = Blue;
    F.Height = 20;
    C.SetFont(F);
    C.TextOut(2, 24, "HH");
  }
  int Blues = 0;
  for (int Y = 0; Y < 30; ++Y)
    for (int X = 0; X < 60; ++X) Blues += Img.pixel(X, Y) == Rgb(Blue);
  EXPECT_GT(Blues, 10);  // fonts are not antialiased exactly, but the colour is ours
}

}  // namespace
