#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "qdFunction.h"

namespace {
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

void ExpectPointNear(const TFPoint& a, const TFPoint& b, double eps = 1e-12) {
  EXPECT_NEAR(a.X, b.X, eps);
  EXPECT_NEAR(a.Y, b.Y, eps);
  EXPECT_NEAR(a.Z, b.Z, eps);
}

void ExpectIdentity(const TFMatrix& m, double eps = 1e-12) {
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 3; ++j)
      EXPECT_NEAR(m.M(i, j), cnstIdentityMat.M(i, j), eps) << i << "," << j;
}
} // namespace

TEST(Tolerance, ZeroAndEqualValues) {
  EXPECT_TRUE(IsZeroValue(0, 1e-9)); // an Eps of 0 means 1e-9
  EXPECT_FALSE(IsZeroValue(0, 2e-9));
  EXPECT_TRUE(IsZeroValue(0.5, -0.5));
  // absolute tolerance that becomes relative for large values
  EXPECT_TRUE(IsEqualValues(1e-9, 1e12, 1e12 + 100));
  EXPECT_FALSE(IsEqualValues(1e-9, 1.0, 1.0 + 1e-8));
  EXPECT_TRUE(IsBadPoint(cnstBadPoint));
  EXPECT_FALSE(IsBadPoint({cnstMaxDouble, cnstMaxDouble, 0}));
  EXPECT_EQ(Sign(2e-9), 1);
  EXPECT_EQ(Sign(-2e-9), -1);
  EXPECT_EQ(Sign(1e-10), 0);
  EXPECT_TRUE(IsEqualF2DPoints({1, 2}, {1, 2 + 1e-10}, 0)); // Eps <= 0 means 1e-9
}

TEST(Points, VectorOperations) {
  EXPECT_EQ(CrossFPoint({1, 0, 0}, {0, 1, 0}), (TFPoint{0, 0, 1}));
  EXPECT_EQ(NormalizeFPoint(cnstFPointZero), cnstFPointZero);
  ExpectPointNear(NormalizeFPoint({3, 4, 0}), {0.6, 0.8, 0});
  EXPECT_EQ(DirectionFPoint({1, 1, 1}, {1, 1, 1}), cnstFPointZero);
  EXPECT_EQ(ReciprocalFPoint({2, 0, 4}), cnstFPointSingle);
  EXPECT_EQ(ReciprocalFPoint({2, 4, -0.5}), (TFPoint{0.5, 0.25, -2}));
  EXPECT_FALSE(IsNonDefaultExtrusion({0, 0, 1}));
  EXPECT_TRUE(IsNonDefaultExtrusion({0, 0, -1}));
  EXPECT_EQ(MiddleFPoint2D({0, 0, 4}, {2, 2, 8}).Z, 0);
}

TEST(Distances, TinyDistancesReadAsZero) {
  EXPECT_EQ(Distance2D(TFPoint{0, 0, 0}, TFPoint{1e-5, 0, 0}), 0);
  EXPECT_EQ(VectorLength({3e-5, 0, 0}), 0);
  EXPECT_NEAR(VectorLength({4e-5, 0, 0}), 4e-5, 1e-12);
  EXPECT_EQ(Distance2D(TFPoint{0, 0, 0}, TFPoint{3, 4, 100}), 5);
  EXPECT_EQ(Hypot2D(3, 4), 5);
  EXPECT_EQ(Hypot2D(1e200, 1e200), 0); // overflow is a failed computation
  EXPECT_NEAR(TriangleArea({0, 0, 0}, {4, 0, 0}, {0, 3, 0}), 6, 1e-12);
  EXPECT_EQ(TriangleArea({0, 0, 0}, {1, 1, 0}, {2, 2, 0}), 0);
}

struct AngleCase {
  const char* name;
  friend void PrintTo(const AngleCase& c, std::ostream* os) { *os << c.name; }
  TFPoint p1, p2;
  double expected;
};

class AngleOfVectorTest : public ::testing::TestWithParam<AngleCase> {};
TEST_P(AngleOfVectorTest, Degrees) {
  const AngleCase& c = GetParam();
  const double a = AngleOfVector(c.p1, c.p2);
  EXPECT_NEAR(a, c.expected, 1e-12);
  EXPECT_GE(a, 0);
  EXPECT_LT(a, 360);
}
INSTANTIATE_TEST_SUITE_P(
    Angles, AngleOfVectorTest,
    ::testing::Values(AngleCase{"straight_down_is_exactly_270", {0, 0, 0}, {0, -5, 0}, 270},
                      AngleCase{"straight_up", {0, 0, 0}, {0, 5, 0}, 90},
                      AngleCase{"just_below_axis_is_zero_not_360", {0, 0, 0}, {1, -1e-12, 0}, 0},
                      AngleCase{"second_quadrant", {0, 0, 0}, {-1, 1, 0}, 135},
                      AngleCase{"third_quadrant", {0, 0, 0}, {-1, -1, 0}, 225},
                      AngleCase{"fourth_quadrant", {1, 1, 0}, {2, 0, 0}, 315},
                      AngleCase{"negative_x_axis", {0, 0, 0}, {-3, 0, 0}, 180}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Angles, RadiansAndHelpers) {
  EXPECT_NEAR(AngleOfVector({0, 0, 0}, {0, -1, 0}, auRadian), 1.5 * cnstPi, 1e-15);
  EXPECT_EQ(AngleOfXY(1, 0), 90);
  EXPECT_EQ(ArcSinClamped(2), cnstPi / 2);
  EXPECT_EQ(ArcSinClamped(-7), -cnstPi / 2);
  EXPECT_NEAR(AngleBetween({0, 0, 0}, {1, 0, 0}, {0, 1, 0}), 90, 1e-12);
  EXPECT_NEAR(AngleBetween({0, 0, 0}, {1, 0, 0}, {-1, 0, 0}), 180, 1e-12);
  EXPECT_EQ(AngleBetween({0, 0, 0}, {0, 0, 0}, {1, 0, 0}), 90); // degenerate side
  EXPECT_EQ(ModAngle(360, -370), -10);
  EXPECT_EQ(ModAngle(360, 725), 5);
  double v = 1e12;
  EXPECT_FALSE(NormalizeAngle(v));
  EXPECT_EQ(v, 1e12);
  v = 3 * cnstPi;
  EXPECT_TRUE(NormalizeAngle(v, true));
  EXPECT_NEAR(v, cnstPi, 1e-12);
  EXPECT_TRUE(IsSameAngle(10, 370));
  EXPECT_FALSE(IsSameAngle(10, 11));
  TqdArcR arc{{}, 1, 400, 350};
  NormalizeArcAngles(arc);
  EXPECT_EQ(arc.AngleS, 40);
  EXPECT_EQ(arc.AngleE, 350); // left alone unless above 360
  EXPECT_NEAR(ArcLength(0, 90, 2), cnstPi, 1e-12);
}

struct InArcCase {
  const char* name;
  friend void PrintTo(const InArcCase& c, std::ostream* os) { *os << c.name; }
  double start, end, a;
  bool inside;
};
class InArcTest : public ::testing::TestWithParam<InArcCase> {};
TEST_P(InArcTest, Cases) {
  const InArcCase& c = GetParam();
  EXPECT_EQ(IsAngleInArc(c.start, c.end, c.a), c.inside);
}
INSTANTIATE_TEST_SUITE_P(Arcs, InArcTest,
                         ::testing::Values(InArcCase{"inside_plain", 10, 90, 45, true},
                                           InArcCase{"outside_plain", 10, 90, 95, false},
                                           InArcCase{"on_end", 10, 90, 90, true},
                                           InArcCase{"through_zero_high", 350, 10, 355, true},
                                           InArcCase{"through_zero_low", 350, 10, 5, true},
                                           InArcCase{"through_zero_at_360", 350, 10, 360, true},
                                           InArcCase{"through_zero_outside", 350, 10, 180, false},
                                           InArcCase{"empty_arc_at_start", 30, 30, 30, true},
                                           InArcCase{"empty_arc_elsewhere", 30, 30, 31, false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Rotation, PlaneRotationAndPolarPoints) {
  ExpectPointNear(RotateFPoint2D({1, 0, 7}, 90), {0, 1, 7});
  ExpectPointNear(PolarPoint({2, 0, 5}, {1, 0, 0}, false, cnstPi / 2), {1, 1, 5});
  ExpectPointNear(PolarPoint({2, 0, 5}, {1, 0, 0}, true, cnstPi), {0, 0, 5});
  EXPECT_EQ(PolarPoint({1, 0, 3}, {1, 0, 0}, false, 1), (TFPoint{1, 0, 3}));
}

TEST(Matrices, QuarterTurnsAreExact) {
  for (double a : {90.0, 90.0 + 1e-12, -270.0, 450.0}) {
    const TFMatrix m = RotationZMatrix(a);
    EXPECT_EQ(m.EX, (TFPoint{0, 1, 0})) << a;
    EXPECT_EQ(m.EY, (TFPoint{-1, 0, 0})) << a;
  }
  EXPECT_EQ(RotationZMatrix(180).EX, (TFPoint{-1, 0, 0}));
  const TFMatrix rx = RotationMatrix(0, cnstPi / 2);
  EXPECT_EQ(rx.EY, (TFPoint{0, 0, 1}));
  EXPECT_EQ(rx.EZ, (TFPoint{0, -1, 0}));
  const TFMatrix ry = RotationMatrix(1, cnstPi / 2);
  EXPECT_EQ(ry.EX, (TFPoint{0, 0, -1}));
  EXPECT_EQ(ry.EZ, (TFPoint{1, 0, 0}));
}

TEST(Matrices, ComposeAppliesFirstThenSecond) {
  const TFMatrix a = TranslationMatrix({1, 0, 0});
  const TFMatrix b = RotationZMatrix(90);
  ExpectPointNear(TransformPoint({0, 0, 0}, ComposeMatrices(a, b)), {0, 1, 0});
  ExpectPointNear(TransformPoint({0, 0, 0}, ComposeMatrices(b, a)), {1, 0, 0});
  const TFMatrix s = ScaleMatrix(TranslationMatrix({1, 2, 3}), {2, 3, 4});
  ExpectPointNear(TransformPoint({1, 1, 1}, s), {4, 9, 16});
  ExpectPointNear(TransformVector({1, 1, 1}, s), {2, 3, 4});
  const TFMatrix t = TransposeMatrix(RotationZMatrix(30));
  ExpectIdentity(ComposeMatrices(RotationZMatrix(30), t));
}

struct InvertCase {
  const char* name;
  friend void PrintTo(const InvertCase& c, std::ostream* os) { *os << c.name; }
  TFMatrix m;
};
class InvertMatrixTest : public ::testing::TestWithParam<InvertCase> {};
TEST_P(InvertMatrixTest, ComposesToIdentity) {
  const TFMatrix& m = GetParam().m;
  bool ok = false;
  const TFMatrix inv = InvertMatrix(m, &ok);
  EXPECT_TRUE(ok);
  ExpectIdentity(ComposeMatrices(m, inv), 1e-12);
  ExpectIdentity(ComposeMatrices(inv, m), 1e-12);
}
INSTANTIATE_TEST_SUITE_P(
    Matrices, InvertMatrixTest,
    ::testing::Values(
        InvertCase{"uniform_scale_rotate_translate",
                   TranslateMatrix(ScaleMatrix(RotationZMatrix(30), {2, 2, 2}), {5, -3, 1})},
        // Regression: dividing rows instead of columns was wrong for non-uniform scale.
        InvertCase{"nonuniform_scale_then_rotate",
                   ComposeMatrices(ScalingMatrix(2, 1, 1), RotationZMatrix(30))},
        InvertCase{"nested_nonuniform_inserts_skewed",
                   ComposeMatrices(ComposeMatrices(ScalingMatrix(2, 1, 1), RotationZMatrix(30)),
                                   TranslateMatrix(ScalingMatrix(1, 3, 1), {4, 4, 0}))},
        InvertCase{"mirror", ScalingMatrix(-1, 1, 1)},
        InvertCase{"extrusion", ExtrusionMatrix({0.3, -0.2, 0.9})}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Matrices, SingularInverseDoesNotDivideByZero) {
  bool ok = true;
  const TFMatrix inv = InvertMatrix(ScalingMatrix(2, 4, 0), &ok);
  EXPECT_FALSE(ok);
  EXPECT_NEAR(inv.EX.X, 0.5, 1e-15);
  EXPECT_NEAR(inv.EY.Y, 0.25, 1e-15);
  EXPECT_EQ(inv.EZ.Z, 0);
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 3; ++j) EXPECT_TRUE(std::isfinite(inv.M(i, j)));
}

TEST(Matrices, ScaleOfMatrixFillsMissingScales) {
  EXPECT_EQ(ScaleOfMatrix(ScalingMatrix(2, 3, 4), 1e-100), (TFPoint{2, 3, 4}));
  EXPECT_EQ(ScaleOfMatrix(ScalingMatrix(2, 0, 0), 1e-100), (TFPoint{2, 2, 2}));
  EXPECT_EQ(ScaleOfMatrix(ScalingMatrix(2, 4, 0), 1e-100), (TFPoint{2, 4, 3}));
  EXPECT_EQ(ScaleOfMatrix(ScalingMatrix(0, 0, 0), 0.5), (TFPoint{5, 5, 5}));
}

TEST(Matrices, Skew) {
  EXPECT_FALSE(IsMatrixSkewed(ScalingMatrix(2, -2, 1), true));
  EXPECT_TRUE(IsMatrixSkewed(ScalingMatrix(2, -3, 1), true)); // aspect beyond 15 %
  EXPECT_TRUE(IsMatrixSkewed(ScalingMatrix(2, 2, 1), true));  // not the Y-flipped device
  EXPECT_FALSE(IsMatrixSkewed(ScalingMatrix(2, 2, 1), false));
  EXPECT_TRUE(IsMatrixSkewed(RotationZMatrix(10), false));
}

struct OCSCase {
  const char* name;
  friend void PrintTo(const OCSCase& c, std::ostream* os) { *os << c.name; }
  TFPoint n, ax, ay, az;
};
class OCSAxesTest : public ::testing::TestWithParam<OCSCase> {};
TEST_P(OCSAxesTest, ArbitraryAxis) {
  const OCSCase& c = GetParam();
  const TqdOCSAxes a = OCSAxes(c.n);
  ExpectPointNear(a.Ax, c.ax, 1e-9);
  ExpectPointNear(a.Ay, c.ay, 1e-9);
  ExpectPointNear(a.Az, c.az, 1e-9);
}
INSTANTIATE_TEST_SUITE_P(
    OCS, OCSAxesTest,
    ::testing::Values(
        OCSCase{"world", {0, 0, 1}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}},
        OCSCase{"flipped", {0, 0, -1}, {-1, 0, 0}, {0, 1, 0}, {0, 0, -1}},
        OCSCase{"scaled_normal", {0, 0, 5}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}},
        // Regression: a zero, tiny or NaN extrusion collapsed every point to the origin.
        OCSCase{"zero_extrusion_is_default", {0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}},
        OCSCase{"tiny_extrusion_is_default", {1e-12, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}},
        OCSCase{"nan_extrusion_is_default", {kNaN, 0, 1}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}},
        OCSCase{"infinite_extrusion_is_default", {kInf, 0, 1}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}},
        OCSCase{"x_axis", {1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {1, 0, 0}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(OCS, HelperAxisThreshold) {
  // Below 1/64 the world Y axis is the helper, at 0.02 the world Z axis.
  const TqdOCSAxes small = OCSAxes({0.01, 0, 1});
  const TqdOCSAxes large = OCSAxes({0.02, 0, 1});
  EXPECT_NEAR(small.Ax.Y, 0, 1e-12); // Y x Az lies in the XZ plane
  EXPECT_NEAR(large.Ax.Z, 0, 1e-12); // Z x Az lies in the XY plane
  EXPECT_GT(std::fabs(small.Ax.Z), 1e-3);
}

TEST(OCS, RoundTripAndPlacement) {
  const TFPoint n{0.2, -0.7, 0.4};
  const TFPoint p{3, -2, 5};
  ExpectPointNear(OCSToWCS(WCSToOCS(p, n), n), p, 1e-12);
  // Block at (10,0) in OCS of default extrusion, scaled 2, rotated 90.
  const TFMatrix m =
      PlacementMatrix({10, 0, 0}, {2, 2, 2}, cnstExtrusion, cnstIdentityMat, 90, {-1, 0, 0});
  ExpectPointNear(TransformPoint({1, 0, 0}, m), {10, 0, 0});
  ExpectPointNear(TransformPoint({2, 0, 0}, m), {10, 2, 0});
}

TEST(OCS, RotateAroundAxisAndViewMatrix) {
  ExpectPointNear(RotateAroundAxis({1, 0, 0}, {0, 0, 2}, cnstPi / 2), {0, 1, 0});
  EXPECT_EQ(RotateAroundAxis({1, 2, 3}, {0, 0, 0}, 1), (TFPoint{1, 2, 3}));
  EXPECT_EQ(RotateAroundAxis({1, 2, 3}, {0, 0, 1}, 1e-7), (TFPoint{1, 2, 3}));
  // A plan view twisted by 90 degrees shows world X along view Y.
  const TFMatrix v = ViewMatrix({0, 0, 1}, 90);
  ExpectPointNear(TransformPoint({1, 0, 0}, v), {0, 1, 0}, 1e-12);
  ExpectIdentity(ViewMatrix({0, 0, 1}, 0));
}

TEST(Boxes, BadBoxAndUnions) {
  TFRect r = cnstBadRect;
  EXPECT_TRUE(IsBadBox(r));
  UnionBoxPoint(r, {1, 2, 3});
  EXPECT_EQ(r, (TFRect{1, 2, 3, 1, 2, 3}));
  EXPECT_FALSE(IsBadBox(r));
  TFRect nan = r;
  nan.Z2 = kNaN;
  EXPECT_TRUE(IsBadBox(nan));
  // Non-finite boxes and points must not poison extents.
  TFRect grown = r;
  UnionBoxes(grown, nan);
  UnionBoxes(grown, TFRect{-kInf, 5, 0, 0, 0, 0});
  UnionBoxPoint(grown, {kNaN, 100, 0});
  UnionBoxes(grown, cnstBadRect);
  EXPECT_EQ(grown, r);
  UnionBoxes(grown, TFRect{-1, 5, 0, 0, 4, 0});
  EXPECT_EQ(grown, (TFRect{-1, 5, 0, 1, 2, 3}));
  TFRect p2 = cnstBadRect;
  UnionBoxPoint2D(p2, {1, 2, 99});
  EXPECT_EQ(p2.Z1, cnstBadValue);
}

TEST(Boxes, InflateOffsetNormalizeSize) {
  TFRect r{0, 2, 0, 4, 0, 1};
  InflateBox(r, 1, 1, 1);
  EXPECT_EQ(r, (TFRect{-1, 3, -1, 5, -1, 2}));
  OffsetBox(r, 1, 1, 1);
  EXPECT_EQ(r, (TFRect{0, 4, 0, 6, 0, 3}));
  TFRect inv{4, 0, 0, 0, 2, 0};
  NormalizeBox(inv);
  EXPECT_EQ(inv, (TFRect{0, 2, 0, 4, 0, 0}));
  EXPECT_EQ(BoxSize(inv), (TF2DPoint{4, 2}));
}

TEST(Boxes, TransformBoxHoldsRotatedCorners) {
  const TFRect r{0, 1, 0, 2, 0, 0};
  const TFRect t = TransformBox(r, RotationZMatrix(90));
  EXPECT_NEAR(t.Left, -1, 1e-12);
  EXPECT_NEAR(t.Right, 0, 1e-12);
  EXPECT_NEAR(t.Bottom, 0, 1e-12);
  EXPECT_NEAR(t.Top, 2, 1e-12);
  const TFRect t45 = TransformBox(r, RotationZMatrix(45));
  EXPECT_NEAR(t45.Right - t45.Left, 3 / std::sqrt(2.0), 1e-12);
  EXPECT_TRUE(IsBadBox(TransformBox(cnstBadRect, RotationZMatrix(45))));
}

TEST(Boxes, IntegerContainmentIncludesEdgesEitherOrder) {
  const TqdIntRect r{10, 20, 0, 0};
  EXPECT_TRUE(PointInIntRect(r, 0, 0));
  EXPECT_TRUE(PointInIntRect(r, 10, 20));
  EXPECT_FALSE(PointInIntRect(r, 11, 5));
  EXPECT_TRUE(IntRectInIntRect(r, {1, 1, 10, 20}));
}

TEST(Numbers, RoundingSaturates) {
  EXPECT_EQ(RoundHalfAway(2.5), 3);
  EXPECT_EQ(RoundHalfAway(-2.5), -3);
  EXPECT_EQ(RoundToInt(1e300), std::numeric_limits<int>::max());
  EXPECT_EQ(RoundToInt(-kInf), std::numeric_limits<int>::min());
  EXPECT_EQ(RoundToInt(kNaN, -7), -7);
  EXPECT_EQ(RoundToInt(-1.5), -2);
}
