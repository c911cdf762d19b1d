#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "qdFunction.h"
#include "qdShapeEdge.h"

namespace {
void ExpectPointNear(const TFPoint& a, const TFPoint& b, double eps = 1e-9) {
  EXPECT_NEAR(a.X, b.X, eps);
  EXPECT_NEAR(a.Y, b.Y, eps);
  EXPECT_NEAR(a.Z, b.Z, eps);
}

bool AllFinite(const TFPointList& l) {
  for (const TFPoint& p : l)
    if (!IsFiniteFPoint(p)) return false;
  return true;
}
} // namespace

TEST(Generator, PartCountsAndQualityClamp) {
  TqdGeneratorShapeEdge g;
  EXPECT_EQ(g.NumberCirclePart(), 48u);
  EXPECT_EQ(g.NumberSplinePart(), 24u);
  g.SetNumberCirclePart(2);
  EXPECT_EQ(g.NumberCirclePart(), 3u);
  g.SetNumberCirclePart(1000);
  EXPECT_EQ(g.NumberCirclePart(), 255u);
  g.SetNumberSplinePart(0);
  EXPECT_EQ(g.NumberSplinePart(), 3u);
  g.SetQualityApproximation(9);
  EXPECT_EQ(g.QualityApproximation(), 6u);
  EXPECT_DOUBLE_EQ(g.DistanceToleranceSquare(), 0.5 / 100);
  EXPECT_DOUBLE_EQ(g.DistanceToleranceManhattan(), 0.4);
}

TEST(Generator, OutputKinds) {
  TqdGeneratorShapeEdge g;
  TF2DPointList p2;
  g.SetBaseList(&p2);
  g.PutPoint({1, 2, 3});
  EXPECT_EQ(p2[0], (TF2DPoint{1, 2}));
  TqdDoubleList d;
  g.SetBaseList(&d);
  g.PutPoint({1, 2, 3});
  EXPECT_EQ(d.ToVector(), (std::vector<double>{1, 2, 3}));
  TqdIntegerList ints; // a type the generator does not write
  g.SetBaseList(&ints);
  g.PutPoint({1, 2, 3});
  EXPECT_EQ(ints.Count(), 0);
  TqdPointerList ptrs;
  std::vector<std::unique_ptr<TFPoint>> owned;
  g.SetListAndProc(&ptrs, nullptr, [&](const TFPoint& p) {
    owned.push_back(std::make_unique<TFPoint>(p));
    return owned.back().get();
  });
  g.PutPoint({4, 5, 6});
  ASSERT_EQ(ptrs.Count(), 1);
  EXPECT_EQ(*static_cast<TFPoint*>(ptrs[0]), (TFPoint{4, 5, 6}));
  g.SetListAndProc(nullptr, nullptr);
  EXPECT_FALSE(g.HasOutput());
}

TEST(BulgeArc, HalfCircleCounterClockwise) {
  TFPointList l;
  const TqdArcR arc = BulgeArcPoints({0, 0, 0}, {2, 0, 0}, l, 48, 1);
  ExpectPointNear(arc.Center, {1, 0, 0});
  EXPECT_NEAR(arc.Radius, 1, 1e-12);
  EXPECT_NEAR(arc.AngleS, -180, 1e-9);
  EXPECT_NEAR(arc.AngleE, 0, 1e-9);
  ASSERT_EQ(l.Count(), 49);
  EXPECT_EQ(l[0], (TFPoint{0, 0, 0}));
  EXPECT_EQ(l[48], (TFPoint{2, 0, 0}));
  ExpectPointNear(l[24], {1, -1, 0});
  // counter-clockwise: the angle around the centre grows
  for (int i = 1; i < l.Count(); ++i)
    EXPECT_GT(CrossFPoint(SubFPoint(l[i - 1], arc.Center), SubFPoint(l[i], arc.Center)).Z, 0);
}

TEST(BulgeArc, NegativeBulgeRunsClockwise) {
  TFPointList l;
  BulgeArcPoints({0, 0, 0}, {2, 0, 0}, l, 48, -1);
  ASSERT_EQ(l.Count(), 49);
  ExpectPointNear(l[24], {1, 1, 0});
}

TEST(BulgeArc, QuarterArcRadius) {
  TFPointList l;
  const double b = std::tan(cnstPi / 8); // 90 degrees included angle
  const TqdArcR arc = BulgeArcPoints({1, 0, 0}, {0, 1, 0}, l, 12, b);
  ExpectPointNear(arc.Center, {0, 0, 0});
  EXPECT_NEAR(arc.Radius, 1, 1e-12);
  for (const TFPoint& p : l) EXPECT_NEAR(std::hypot(p.X, p.Y), 1, 1e-12);
}

struct StraightBulgeCase {
  const char* name;
  friend void PrintTo(const StraightBulgeCase& c, std::ostream* os) { *os << c.name; }
  double bulge;
};
class StraightBulgeTest : public ::testing::TestWithParam<StraightBulgeCase> {};
// Regression: a 1e-16 bulge scattered points units away from the chord.
TEST_P(StraightBulgeTest, TinyOrNonFiniteBulgeIsAStraightSegment) {
  TFPointList l;
  TqdGeneratorShapeEdge g;
  g.SetBaseList(&l);
  TqdArcR arc;
  EXPECT_FALSE(g.CreateBulgesArc({0, 0, 0}, {10, 0, 0}, arc, GetParam().bulge));
  ASSERT_EQ(l.Count(), 2);
  EXPECT_EQ(l[0], (TFPoint{0, 0, 0}));
  EXPECT_EQ(l[1], (TFPoint{10, 0, 0}));
  EXPECT_EQ(arc.Radius, 0);
}
INSTANTIATE_TEST_SUITE_P(
    BulgeArc, StraightBulgeTest,
    ::testing::Values(StraightBulgeCase{"noise_1e_16", 1e-16},
                      StraightBulgeCase{"noise_negative", -5e-11},
                      StraightBulgeCase{"nan", std::numeric_limits<double>::quiet_NaN()},
                      StraightBulgeCase{"inf", std::numeric_limits<double>::infinity()}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(BulgeArc, SmallButRealBulgeStaysNearTheChord) {
  TFPointList l;
  BulgeArcPoints({0, 0, 0}, {10, 0, 0}, l, 48, 1e-8);
  for (const TFPoint& p : l) EXPECT_LT(std::fabs(p.Y), 1e-6);
}

// Regression: Z grew by a fifteenth of the rise per point and overshot the end.
TEST(BulgeArc, ZRisesEvenlyToTheEnd) {
  TFPointList l;
  BulgeArcPoints({0, 0, 0}, {2, 0, 48}, l, 48, 1);
  ASSERT_EQ(l.Count(), 49);
  for (int i = 0; i < l.Count(); ++i) EXPECT_NEAR(l[i].Z, i, 1e-9);
}

TEST(BSpline, DegreesHandled) {
  EXPECT_FALSE(TqdGeneratorShapeEdge::IsBSpline(3));
  EXPECT_FALSE(TqdGeneratorShapeEdge::IsBSpline(0));
  EXPECT_FALSE(TqdGeneratorShapeEdge::IsBSpline(10));
  EXPECT_TRUE(TqdGeneratorShapeEdge::IsBSpline(2));
  TqdGeneratorShapeEdge g;
  TFPointList out;
  g.SetBaseList(&out);
  TFPointList c{{0, 0, 0}, {1, 1, 0}, {2, 0, 0}, {3, 1, 0}};
  TqdDoubleList k{0, 0, 0, 0, 1, 1, 1, 1};
  EXPECT_FALSE(g.CreateBSpline(c, k, 3));
  EXPECT_EQ(out.Count(), 0);
}

TEST(BSpline, QuadraticBezierThroughEnds) {
  TqdGeneratorShapeEdge g;
  g.SetNumberSplinePart(4);
  TFPointList out;
  g.SetBaseList(&out);
  TFPointList c{{0, 0, 0}, {1, 2, 0}, {2, 0, 0}};
  TqdDoubleList k{0, 0, 0, 1, 1, 1};
  EXPECT_TRUE(g.CreateBSpline(c, k, 2));
  ASSERT_EQ(out.Count(), 5);
  ExpectPointNear(out[0], {0, 0, 0});
  ExpectPointNear(out[2], {1, 1, 0}); // Bezier midpoint
  ExpectPointNear(out[4], {2, 0, 0});
}

TEST(BSpline, RationalQuarterCircle) {
  const double w = std::sqrt(0.5);
  TFPointList c{{1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
  TqdDoubleList k{0, 0, 0, 1, 1, 1};
  TqdDoubleList weights{1, w, 1};
  for (double t : {0.0, 0.25, 0.5, 0.9, 1.0}) {
    TFPoint p;
    ASSERT_TRUE(EvaluateBSpline(c, k, t, 2, &weights, p));
    EXPECT_NEAR(std::hypot(p.X, p.Y), 1, 1e-12) << t;
  }
}

struct BadSplineCase {
  const char* name;
  friend void PrintTo(const BadSplineCase& c, std::ostream* os) { *os << c.name; }
  int controls;
  std::vector<double> knots;
  std::vector<double> weights;
};
class BadSplineTest : public ::testing::TestWithParam<BadSplineCase> {};
// Regression: short knot or weight vectors from a file read out of bounds.
TEST_P(BadSplineTest, EvaluationStaysInBounds) {
  const BadSplineCase& c = GetParam();
  TFPointList controls;
  for (int i = 0; i < c.controls; ++i) controls.Add({double(i), double(i % 2), 0});
  TqdDoubleList knots, weights;
  knots.AppendDynArray(c.knots);
  weights.AppendDynArray(c.weights);
  TqdGeneratorShapeEdge g;
  TFPointList out;
  g.SetBaseList(&out);
  g.CreateBSpline(controls, knots, 2, c.weights.empty() ? nullptr : &weights);
  EXPECT_TRUE(AllFinite(out));
  g.CreateSplineByKnots(controls, knots, 0.1);
  EXPECT_TRUE(AllFinite(out));
}
INSTANTIATE_TEST_SUITE_P(
    BSpline, BadSplineTest,
    ::testing::Values(BadSplineCase{"short_knot_vector", 5, {0, 0, 1, 2}, {}},
                      BadSplineCase{
                          "fewer_weights_than_controls", 4, {0, 0, 0, 1, 2, 2, 2}, {1, 2}},
                      BadSplineCase{"more_controls_than_knots_allow", 9, {0, 1}, {}},
                      BadSplineCase{"single_knot", 3, {5}, {}},
                      BadSplineCase{"decreasing_knots", 4, {3, 2, 1, 0, -1, -2, -3}, {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(BSpline, FailedEvaluationEndsAtTheLastControl) {
  TFPointList controls{{0, 0, 0}, {1, 1, 0}, {2, 0, 0}, {3, 3, 0}};
  TqdDoubleList knots{0, 0, 0, 1, 2}; // too short for the last span
  TqdGeneratorShapeEdge g;
  TFPointList out;
  g.SetBaseList(&out);
  g.CreateBSpline(controls, knots, 2);
  ASSERT_GT(out.Count(), 0);
  EXPECT_EQ(out.GetLast(), (TFPoint{3, 3, 0}));
}

TEST(SplineByKnots, ClampedCubicPassesThroughEnds) {
  TFPointList c{{0, 0, 0}, {1, 2, 0}, {3, 2, 0}, {4, 0, 0}};
  TqdDoubleList k{0, 0, 0, 0, 1, 1, 1, 1};
  TqdGeneratorShapeEdge g;
  TFPointList out;
  g.SetBaseList(&out);
  g.CreateSplineByKnots(c, k, 0.25);
  // first control, 4 steps of the one span, last control
  ASSERT_EQ(out.Count(), 6);
  ExpectPointNear(out[0], {0, 0, 0});
  ExpectPointNear(out[1], {0, 0, 0});
  ExpectPointNear(out[3], {2, 1.5, 0}); // cubic Bezier midpoint
  ExpectPointNear(out[5], {4, 0, 0});
  EXPECT_EQ(k.Count(), 8); // the caller's knots are not touched
}

// Regression: empty knots read knot -1; a zero or tiny step never advanced.
TEST(SplineByKnots, DegenerateInputsTerminate) {
  TFPointList c{{0, 0, 0}, {1, 2, 0}, {3, 2, 0}, {4, 0, 0}, {5, 5, 0}};
  TqdGeneratorShapeEdge g;
  TFPointList out;
  g.SetBaseList(&out);
  g.CreateSplineByKnots(c, TqdDoubleList(), 0.1);
  EXPECT_EQ(out.Count(), 5); // the control polygon
  out.Clear();
  TqdDoubleList k{0, 0, 0, 0, 1, 2, 2, 2, 2};
  g.CreateSplineByKnots(c, k, 0);
  EXPECT_LE(out.Count(), 2 + 2 * 1000);
  out.Clear();
  TqdDoubleList huge{1e300, 1e300, 1e300, 1e300, 1e300 * (1 + 1e-15), 2e300, 2e300, 2e300, 2e300};
  g.CreateSplineByKnots(c, huge, 1e-30);
  EXPECT_LE(out.Count(), 2 + 2 * 1000);
  EXPECT_TRUE(AllFinite(out));
}

TEST(Quadratic, SubdivisionPutsInteriorPointsOnly) {
  TqdGeneratorShapeEdge g;
  TFPointList none;
  g.CreateQuadraticSpline({0, 0, 0}, {1, 1, 0}, {2, 0, 0}); // no output: nothing happens
  g.SetBaseList(&none);
  g.CreateQuadraticSpline({0, 0, 0}, {1, 0, 0}, {2, 0, 0}); // collinear: one midpoint
  ASSERT_EQ(none.Count(), 1);
  ExpectPointNear(none[0], {1, 0, 0});
  TFPointList curve;
  g.SetBaseList(&curve);
  g.CreateQuadraticSpline({0, 0, 0}, {50, 100, 0}, {100, 0, 0});
  EXPECT_GT(curve.Count(), 4);
  for (const TFPoint& p : curve) {
    const double t = p.X / 100; // for this symmetric curve x is linear in t
    EXPECT_NEAR(p.Y, 2 * t * (1 - t) * 100, 1e-9);
  }
}
