#include <gtest/gtest.h>

#include <cmath>

#include "qdCurveMath.h"
#include "qdFunction.h"
#include "qdSegments.h"
#include "qdShapeEdge.h"

namespace {
void ExpectPointNear(const TFPoint& a, const TFPoint& b, double eps = 1e-9) {
  EXPECT_NEAR(a.X, b.X, eps);
  EXPECT_NEAR(a.Y, b.Y, eps);
  EXPECT_NEAR(a.Z, b.Z, eps);
}
} // namespace

struct SweepCase {
  const char* name;
  double start, end, wantStart, wantEnd;
  friend void PrintTo(const SweepCase& c, std::ostream* os) { *os << c.name; }
};
class ArcSweepTest : public ::testing::TestWithParam<SweepCase> {};
TEST_P(ArcSweepTest, EndRunsCounterClockwiseFromStart) {
  const SweepCase& c = GetParam();
  double s = c.start, e = c.end;
  ArcSweepAngles(s, e);
  EXPECT_NEAR(s, c.wantStart, 1e-9);
  EXPECT_NEAR(e, c.wantEnd, 1e-9);
}
INSTANTIATE_TEST_SUITE_P(
    Arcs, ArcSweepTest,
    ::testing::Values(SweepCase{"through_zero", 350, 10, 350, 370},
                      // Regression: moving the end up once gave a 40 degree clockwise arc.
                      SweepCase{"far_apart_angles", 100, -300, 100, 420},
                      SweepCase{"negative_both", -30, -400, 330, 680},
                      SweepCase{"full_circle_untouched", 0, 360, 0, 360},
                      SweepCase{"ordinary_untouched", -10, 10, -10, 10}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(EllipseArc, PointsAroundTheWholeEllipse) {
  TFPointList out;
  EllipseArcPoints({1, 2, 3}, 2, 1, 0, 1, 0, 360, 4, out); // major axis along Y
  ASSERT_EQ(out.Count(), 5);
  ExpectPointNear(out[0], {1, 4, 3});
  ExpectPointNear(out[1], {0, 2, 3});
  ExpectPointNear(out[2], {1, 0, 3});
  ExpectPointNear(out[4], out[0]);
}

TEST(FitPoints, ThreePointsGiveTwoSpansOfParts) {
  TFPointList fit{{0, 0, 0}, {5, 5, 0}, {10, 0, 0}};
  TFPointList out;
  const double len = InterpolateFitPoints(fit, {}, {}, 8, out);
  EXPECT_NEAR(len, 2 * std::sqrt(50.0), 1e-12);
  ASSERT_EQ(out.Count(), 16);
  ExpectPointNear(out[0], {0, 0, 0});
  ExpectPointNear(out[8], {5, 5, 0}); // passes through the middle fit point
  EXPECT_EQ(out.GetLast(), (TFPoint{10, 0, 0}));
  for (int i = 2; i < 8; ++i) EXPECT_NEAR(out[i].Y, out[16 - i].Y, 1e-9); // symmetric
}

TEST(FitPoints, TwoPointsMakeAStraightLine) {
  TFPointList fit{{0, 0, 0}, {4, 2, 0}};
  TFPointList out;
  InterpolateFitPoints(fit, {}, {}, 4, out);
  ASSERT_EQ(out.Count(), 4);
  for (const TFPoint& p : out) EXPECT_NEAR(p.Y, p.X / 2, 1e-12);
}

TEST(FitPoints, TangentsBendTheEnds) {
  TFPointList fit{{0, 0, 0}, {10, 0, 0}};
  TFPointList out;
  InterpolateFitPoints(fit, {0, 1, 0}, {0, -1, 0}, 10, out);
  EXPECT_GT(out[5].Y, 1); // pulled up by both tangents
  // a tangent component outside [-1, 1] is ignored
  TFPointList out2;
  TFPointList fit2{{0, 0, 0}, {10, 0, 0}};
  InterpolateFitPoints(fit2, {0, 7, 0}, {}, 10, out2);
  for (const TFPoint& p : out2) EXPECT_NEAR(p.Y, 0, 1e-12);
}

// Regression: coincident and nearly coincident fit points divided by a zero interval.
TEST(FitPoints, CoincidentPointsNeverGiveNaN) {
  TFPointList fit{{0, 0, 0}, {0, 0, 0}, {1e-6, 0, 0}, {5, 5, 0}, {5, 5, 0}, {10, 0, 0}};
  TFPointList out;
  InterpolateFitPoints(fit, {}, {}, 6, out);
  EXPECT_EQ(fit.Count(), 3);
  EXPECT_EQ(out.Count(), 12);
  for (const TFPoint& p : out) EXPECT_TRUE(IsFiniteFPoint(p));
  TFPointList single{{1, 1, 1}, {1, 1, 1}};
  TFPointList none;
  EXPECT_EQ(InterpolateFitPoints(single, {}, {}, 6, none), 0);
  EXPECT_EQ(none.Count(), 0);
}

TEST(Outline, ConstantWidthMitreAtTheBend) {
  const TFPointList pts{{0, 0, 0}, {10, 0, 0}, {10, 10, 0}};
  std::vector<TqdOutlineVertex> v(3);
  TFPointList quads;
  ASSERT_TRUE(TqdCreatorSegments::Build(pts, v, 2, 0, false, quads));
  ASSERT_EQ(quads.Count(), 8);
  // first quad: (0,-1) (11,-1) (9,1) (0,1); second: (11,-1) (11,10) (9,10) (9,1)
  ExpectPointNear(quads[0], {0, -1, 0});
  ExpectPointNear(quads[1], {11, -1, 0});
  ExpectPointNear(quads[2], {9, 1, 0});
  ExpectPointNear(quads[4], {11, -1, 0});
  ExpectPointNear(quads[7], {9, 1, 0});
}

TEST(Outline, VertexWidthsTaperAndSharedWidthBecomesGlobal) {
  const TFPointList pts{{0, 0, 0}, {10, 0, 0}};
  std::vector<TqdOutlineVertex> v{{2, 4, 0, 1}, {0, 0, 0, 1}};
  TFPointList quads;
  ASSERT_TRUE(TqdCreatorSegments::Build(pts, v, 0, 0, false, quads));
  ASSERT_EQ(quads.Count(), 4);
  ExpectPointNear(quads[0], {0, -1, 0});
  ExpectPointNear(quads[1], {10, -2, 0});
  // every vertex but the last shares one width: it becomes the global width
  std::vector<TqdOutlineVertex> same{{3, 3, 0, 1}, {0, 0, 0, 1}};
  ASSERT_TRUE(TqdCreatorSegments::Build(pts, same, 0, 0, false, quads));
  ExpectPointNear(quads[1], {10, -1.5, 0});
}

TEST(Outline, ArcHalfWidthLimitedToRadius) {
  TFPointList pts;
  BulgeArcPoints({0, 0, 0}, {2, 0, 0}, pts, 8, 1); // radius 1
  pts.Delete(pts.High());                          // the end is the next vertex's point
  pts.Add({2, 0, 0});
  std::vector<TqdOutlineVertex> v{{0, 0, 1, 9}, {0, 0, 0, 1}};
  v[0].Count = pts.Count() - 1;
  TFPointList quads;
  ASSERT_TRUE(TqdCreatorSegments::Build(pts, v, 6, 0, false, quads));
  ASSERT_GT(quads.Count(), 0);
  for (const TFPoint& q : quads) EXPECT_LE(std::hypot(q.X - 1, q.Y), 2 + 1e-9);
}

TEST(Outline, ClosedSquareJoinsAllCorners) {
  const TFPointList pts{{0, 0, 0}, {10, 0, 0}, {10, 10, 0}, {0, 10, 0}};
  std::vector<TqdOutlineVertex> v(4);
  TFPointList quads;
  ASSERT_TRUE(TqdCreatorSegments::Build(pts, v, 2, 0, true, quads));
  ASSERT_EQ(quads.Count(), 16);
  // the closing join moved the first quad's start corners to the outer corner
  ExpectPointNear(quads[0], {-1, -1, 0});
  ExpectPointNear(quads[3], {1, 1, 0});
  ExpectPointNear(quads[13], {-1, -1, 0});
}

// Regression: counts that no longer matched the point list made the walk read past it.
TEST(Outline, MismatchedCountsBuildNothing) {
  const TFPointList pts{{0, 0, 0}, {10, 0, 0}};
  std::vector<TqdOutlineVertex> v{{1, 1, 0, 5}, {1, 1, 0, 1}};
  TFPointList quads{{1, 1, 1}};
  EXPECT_FALSE(TqdCreatorSegments::Build(pts, v, 0, 0, false, quads));
  EXPECT_EQ(quads.Count(), 0);
  std::vector<TqdOutlineVertex> zero(2);
  EXPECT_TRUE(TqdCreatorSegments::Build(pts, zero, 0, 0, false, quads));
  EXPECT_EQ(quads.Count(), 0); // no width, no outline
}
