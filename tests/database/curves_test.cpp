#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "Curves.h"
#include "DXFConv.h"
#include "Faces.h"
#include "Polylines.h"
#include "qdFunction.h"

namespace {
void ExpectPointNear(const TFPoint& a, const TFPoint& b, double eps = 1e-9) {
  EXPECT_NEAR(a.X, b.X, eps);
  EXPECT_NEAR(a.Y, b.Y, eps);
  EXPECT_NEAR(a.Z, b.Z, eps);
}

// Entities loaded without a drawing use the library defaults (48 circle parts).
template <class T> void Load(T& E) {
  E.Loaded(nullptr);
}
} // namespace

TEST(Circle, FullRingAndThickCopy) {
  TqdDXFCircle c;
  c.SetPoint({1, 2, 0});
  c.SetRadius(3);
  c.SetRadius(0); // refused
  Load(c);
  ASSERT_EQ(c.PointCount(), 49);
  ExpectPointNear(c.GetPolyPoint(0), {4, 2, 0});
  ExpectPointNear(c.GetPolyPoint(48), {4, 2, 0});
  ExpectPointNear(c.GetPolyPoint(12), {1, 5, 0});
  EXPECT_NEAR(c.Box().Left, -2, 1e-9);
  EXPECT_NEAR(c.Box().Top, 5, 1e-9);
  EXPECT_TRUE(c.Closed());
  EXPECT_NEAR(c.GetArea(), cnstPi * 9, 1e-9);
  c.SetZThick(2);
  Load(c);
  ASSERT_EQ(c.PointCount(), 98); // the ring and its raised copy
  ExpectPointNear(c.GetPolyPoint(49), {4, 2, 2});
  Load(c);
  EXPECT_EQ(c.PointCount(), 98); // loading twice gives the same points
}

TEST(Circle, ExtrusionTakesPointsToWorld) {
  TqdDXFCircle c;
  c.SetPoint({0, 0, 5});
  c.SetRadius(1);
  c.SetExtrusion({0, 0, -1}); // mirrored: OCS X is world -X
  Load(c);
  ExpectPointNear(c.GetPolyPoint(0), {-1, 0, -5});
}

struct ArcCase {
  const char* name;
  double start, end;
  TFPoint first, last;
  friend void PrintTo(const ArcCase& c, std::ostream* os) { *os << c.name; }
};
class ArcPointsTest : public ::testing::TestWithParam<ArcCase> {};
TEST_P(ArcPointsTest, Sweep) {
  const ArcCase& c = GetParam();
  TqdDXFArc a;
  a.SetRadius(1);
  a.SetStartAngle(c.start);
  a.SetEndAngle(c.end);
  Load(a);
  ASSERT_EQ(a.PointCount(), 49);
  ExpectPointNear(a.GetPolyPoint(0), c.first);
  ExpectPointNear(a.GetPolyPoint(48), c.last);
  // counter-clockwise throughout
  for (int i = 1; i < a.PointCount(); ++i)
    EXPECT_GE(CrossFPoint(a.GetPolyPoint(i - 1), a.GetPolyPoint(i)).Z, -1e-12);
}
INSTANTIATE_TEST_SUITE_P(
    Arcs, ArcPointsTest,
    ::testing::Values(ArcCase{"through_zero_350_to_10",
                              350,
                              10,
                              {std::cos(-cnstPi / 18), std::sin(-cnstPi / 18), 0},
                              {std::cos(cnstPi / 18), std::sin(cnstPi / 18), 0}},
                      // Regression: far-apart angles gave a short clockwise arc.
                      ArcCase{"far_apart_100_to_minus_300",
                              100,
                              -300,
                              {std::cos(100 * cnstPi / 180), std::sin(100 * cnstPi / 180), 0},
                              {std::cos(60 * cnstPi / 180), std::sin(60 * cnstPi / 180), 0}},
                      ArcCase{"quarter", 0, 90, {1, 0, 0}, {0, 1, 0}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Arc, MeasuresAndEnds) {
  TqdDXFArc a;
  a.SetRadius(2);
  a.SetStartAngle(0);
  a.SetEndAngle(180);
  EXPECT_NEAR(a.GetLength(), 2 * cnstPi, 1e-12);
  EXPECT_NEAR(a.GetArea(), 2 * cnstPi, 1e-12); // half disc
  EXPECT_NEAR(a.GetHeight(), 2, 1e-12);
  ExpectPointNear(a.EndPoint(), {-2, 0, 0});
  EXPECT_FALSE(a.Closed());
  a.SetEndAngle(360);
  EXPECT_TRUE(a.Closed());
  a.SetStartAngle(0);
  a.SetEndAngle(270);
  EXPECT_NEAR(a.GetArea(), 3 * cnstPi + 2, 1e-9); // sector + triangle beyond 180 degrees
}

TEST(Ellipse, WholeEllipseAndExtrusionOnce) {
  TqdDXFEllipse e;
  e.SetPoint({10, 0, 0});
  e.SetRadPt({0, 4, 0}); // major axis along Y
  e.SetRatio(0.5);
  e.SetStartAngle(0);
  e.SetEndAngle(360);
  Load(e);
  ASSERT_EQ(e.PointCount(), 49);
  ExpectPointNear(e.GetPolyPoint(0), {10, 4, 0});
  ExpectPointNear(e.GetPolyPoint(12), {8, 0, 0});
  EXPECT_NEAR(e.Radius(), 4, 1e-12);

  TqdDXFEllipse m; // world-coordinate centre and axis with a mirrored extrusion
  m.SetPoint({3, 0, 0});
  m.SetRadPt({1, 0, 0});
  m.SetExtrusion({0, 0, -1});
  Load(m);
  ExpectPointNear(m.GetPolyPoint(0), {4, 0, 0});
  Load(m); // converted to object coordinates once only
  ExpectPointNear(m.GetPolyPoint(0), {4, 0, 0});
}

TEST(Spline, FitPointsWithoutControls) {
  TqdDXFSpline s;
  s.Fit().Add({0, 0, 0});
  s.Fit().Add({5, 5, 0});
  s.Fit().Add({10, 0, 0});
  Load(s);
  ASSERT_EQ(s.PointCount(), 48); // 2 spans of 24 parts
  EXPECT_EQ(s.GetPolyPoint(47), (TFPoint{10, 0, 0}));
  EXPECT_GT(s.Length(), 14);
  EXPECT_FALSE(s.IsExtruded());
}

TEST(Spline, KnotsByDegree) {
  // cubic: the knot-based routine, weights ignored
  TqdDXFSpline c;
  for (TFPoint p : {TFPoint{0, 0, 0}, TFPoint{1, 2, 0}, TFPoint{3, 2, 0}, TFPoint{4, 0, 0}})
    c.Controls().Add(p);
  for (float k : {0.f, 0.f, 0.f, 0.f, 1.f, 1.f, 1.f, 1.f}) c.Knots().Add(k);
  for (double w : {1.0, 100.0, 1.0, 1.0}) c.AddWeight(w);
  c.SetFlags(TqdDXFSpline::cnstRational);
  Load(c);
  ExpectPointNear(c.GetPolyPoint(0), {0, 0, 0});
  ExpectPointNear(c.PolyPoints().GetLast(), {4, 0, 0});
  for (const TFPoint& p : c.PolyPoints()) EXPECT_LE(p.Y, 1.5 + 1e-9); // weight 100 not applied

  // rational quadratic: a quarter circle
  TqdDXFSpline q;
  q.SetDegree(2);
  for (TFPoint p : {TFPoint{1, 0, 0}, TFPoint{1, 1, 0}, TFPoint{0, 1, 0}}) q.Controls().Add(p);
  for (float k : {0.f, 0.f, 0.f, 1.f, 1.f, 1.f}) q.Knots().Add(k);
  for (double w : {1.0, std::sqrt(0.5), 1.0}) q.AddWeight(w);
  q.SetFlags(TqdDXFSpline::cnstRational);
  Load(q);
  ASSERT_GT(q.PointCount(), 10);
  for (const TFPoint& p : q.PolyPoints()) EXPECT_NEAR(std::hypot(p.X, p.Y), 1, 1e-6);
}

TEST(Spline, ControlsWithoutKnotsAndFitPolyline) {
  TqdDXFSpline s;
  s.Controls().Add({0, 0, 0});
  s.Controls().Add({1, 1, 0});
  Load(s);
  EXPECT_EQ(s.PointCount(), 2);
  TqdDXFSpline f;
  f.SetFlagsExtented(1);
  for (TFPoint p : {TFPoint{0, 0, 0}, TFPoint{0, 0, 0}, TFPoint{2, 2, 0}}) f.Fit().Add(p);
  Load(f);
  EXPECT_EQ(f.PointCount(), 2); // the repeated fit point is skipped
}

namespace {
std::unique_ptr<TqdDXFPolyline> Poly(std::initializer_list<TFPoint> pts, bool lw = false) {
  std::unique_ptr<TqdDXFPolyline> p =
      lw ? std::make_unique<TqdDXFLWPolyline>() : std::make_unique<TqdDXFPolyline>();
  for (const TFPoint& q : pts) p->AddVertex(q);
  return p;
}
} // namespace

TEST(Polyline, ClosedTriangleAndBulgedClosingSegment) {
  auto p = Poly({{0, 0, 0}, {10, 0, 0}, {10, 10, 0}});
  p->SetClosed(true);
  Load(*p);
  EXPECT_EQ(p->PointCount(), 3); // no closing duplicate
  p->GetVertex(2)->SetBulge(1);
  Load(*p);
  EXPECT_EQ(p->PointCount(), 2 + 49);
  EXPECT_EQ(p->PointsCounts().ToVector(), (std::vector<int>{1, 1, 49}));
  EXPECT_NEAR(p->GetLength(), 20 + cnstPi * std::sqrt(200.0) / 2, 0.1);
}

TEST(Polyline, ElevationAndExtrusion) {
  auto p = Poly({{0, 0, 7}, {1, 0, 7}});
  p->SetElevation(3);
  p->SetExtrusion({0, 0, -1});
  Load(*p);
  // Z is replaced by the elevation, and X mirrored by the extrusion
  ExpectPointNear(p->GetPolyPoint(1), {-1, 0, -3});
  auto lw = Poly({{0, 0, 0}, {1, 0, 0}}, true);
  lw->SetExtrusion({0, 0, -1});
  Load(*lw);
  // a lightweight polyline in a mirrored object system is mirrored too
  ExpectPointNear(lw->GetPolyPoint(1), {-1, 0, 0});
}

TEST(Polyline, WideLightweightMitre) {
  auto p = Poly({{0, 0, 0}, {10, 0, 0}, {10, 10, 0}}, true);
  p->SetGlobalWidth(2);
  Load(*p);
  ASSERT_EQ(p->Arrows().Count(), 8);
  ExpectPointNear(p->Arrows()[1], {11, -1, 0});
  ExpectPointNear(p->Arrows()[2], {9, 1, 0});
  EXPECT_NEAR(p->Box().Right, 11, 1e-9); // the box holds the outline
  EXPECT_FALSE(static_cast<TqdDXFLWPolyline*>(p.get())->IsOnePixelOptimisationValid());
}

TEST(Polyline, MeshVertexCounts) {
  TqdDXFPolyline m;
  m.SetFlags(80); // polyface-like flags: M + N vertices are enough
  m.SetMeshM(3);
  m.SetMeshN(4);
  for (int i = 0; i < 7; ++i) m.AddVertex({double(i), 0, 0});
  Load(m);
  EXPECT_EQ(m.PointCount(), 7);
  TqdDXFPolyline g;
  g.SetFlags(16);
  g.SetMeshM(3);
  g.SetMeshN(4);
  for (int i = 0; i < 11; ++i) g.AddVertex({double(i), 0, 0});
  Load(g);
  EXPECT_EQ(g.PointCount(), 0); // 12 needed
  // Regression: 16-bit counts multiplied past 2^31, and negative sizes.
  TqdDXFPolyline h;
  h.SetFlags(16);
  h.SetMeshM(65535);
  h.SetMeshN(65535);
  h.AddVertex({0, 0, 0});
  Load(h);
  EXPECT_EQ(h.PointCount(), 0);
  h.SetMeshM(-3);
  Load(h);
  EXPECT_EQ(h.PointCount(), 1); // not a mesh: an ordinary polyline
}

TEST(Polyline, PolyfaceFacesOutOfRangeAreSkipped) {
  TqdDXFPolyline pf;
  pf.SetFlags(64);
  for (int i = 0; i < 3; ++i) {
    TqdDXFVertex* v = pf.AddVertex({double(i), double(i % 2), 0});
    v->SetFlags(192);
  }
  TqdDXFVertex* good = pf.AddVertex({});
  good->SetFlags(128);
  good->SetPolyFaceVertexIndex(1, 1);
  good->SetPolyFaceVertexIndex(2, -2);
  good->SetPolyFaceVertexIndex(3, 3);
  TqdDXFVertex* bad = pf.AddVertex({});
  bad->SetFlags(128);
  bad->SetPolyFaceVertexIndex(1, 1);
  bad->SetPolyFaceVertexIndex(2, 99);
  Load(pf);
  EXPECT_TRUE(pf.IsPolyFaceMesh());
  EXPECT_EQ(pf.PolyFaceVertexIndexes().Count(), 8);
  int f[4];
  EXPECT_TRUE(pf.GetPolyFace(0, f));
  EXPECT_EQ(f[1], -2);
  EXPECT_FALSE(pf.GetPolyFace(1, f));
  EXPECT_FALSE(pf.GetPolyFace(2, f));
}

TEST(Polyline, AcceptsOnlyVertices) {
  TqdDXFPolyline p;
  EXPECT_EQ(p.AddEntity(std::make_unique<TqdDXFLine>()), -1);
  p.SetPolyline3D(true);
  auto v = std::make_unique<TqdDXFVertex>();
  v->SetBulge(0.5);
  TqdDXFVertex* raw = v.get();
  EXPECT_EQ(p.AddEntity(std::move(v)), 0);
  EXPECT_TRUE(raw->Is3DVertex());
  EXPECT_EQ(raw->Bulge(), 0);
  EXPECT_EQ(raw->Owner(), &p);
}

TEST(Polyline, ImportModeMakesArcsAndLines) {
  TqdDXFConverter conv;
  conv.SetImportMode(imImport);
  auto p = Poly({{0, 0, 0}, {2, 0, 0}, {2, 2, 0}});
  p->GetVertex(0)->SetBulge(1);
  p->Loaded(&conv);
  ASSERT_EQ(p->PolyLineEntities().size(), 2u);
  auto* arc = dynamic_cast<TqdDXFArc*>(p->PolyLineEntities()[0].get());
  ASSERT_NE(arc, nullptr);
  EXPECT_NEAR(arc->Radius(), 1, 1e-12);
  EXPECT_NE(dynamic_cast<TqdDXFLine*>(p->PolyLineEntities()[1].get()), nullptr);
}

TEST(Solid, DuplicateCornersAndHints) {
  TqdDXFSolid s;
  s.SetPoint({0, 0, 0});
  s.SetPoint1({1, 0, 0});
  s.SetPoint2({0, 1, 0});
  s.SetPoint3({0, 1, 0});
  TFPoint pts[4];
  EXPECT_EQ(s.GetPoints(pts, false, false), 3);
  s.SetZThick(2);
  EXPECT_EQ(s.Box().Z2, 2);
  s.Loaded(nullptr);
  EXPECT_TRUE(s.InternalFlags() & TqdDXFSolid::cnstSecondZeroArea);
  s.SetExtrusion({0, 0, -1});
  EXPECT_EQ(s.Box().Left, -1); // the cached matrix was dropped with the extrusion
}

TEST(Ray, BoxIsTheStartPoint) {
  TqdDXFRay r;
  r.SetStartPoint({3, 4, 5});
  r.SetDirection({1, 1, 0});
  const TFRect b = r.Box();
  EXPECT_EQ(b.Left, 3);
  EXPECT_EQ(b.Right, 3);
  EXPECT_EQ(b.Top, 4);
  EXPECT_EQ(r.Point1(), (TFPoint{3, 4, 5}));
  TqdDXFXline x;
  EXPECT_EQ(x.EntType(), ceXline);
}

TEST(Helix, DrawsItsSplinePointsAndKeepsItsDescription) {
  TqdCADHelix h;
  h.SetDegree(2);
  for (TFPoint p : {TFPoint{1, 0, 0}, TFPoint{1, 1, 0.5}, TFPoint{0, 1, 1}}) h.Controls().Add(p);
  for (float k : {0.f, 0.f, 0.f, 1.f, 1.f, 1.f}) h.Knots().Add(k);
  h.SetTurns(0.25);
  h.SetRadius(1);
  h.Loaded(nullptr);
  EXPECT_EQ(h.EntType(), ceHelix);
  EXPECT_GT(h.PointCount(), 2);
  EXPECT_NEAR(h.Box().Z2, 1, 1e-12);
  TqdCADHelix c;
  c.AssignEntity(h);
  EXPECT_EQ(c.Turns(), 0.25);
  EXPECT_EQ(c.ControlCount(), 3);
}

// Curves that make their points on first use get their box from their geometry at
// load: it must hold every point made later and be as tight as a fine tessellation.
namespace {
struct TDeferredCase {
  const char* name;
  std::unique_ptr<TqdCADBasePolyline> (*make)();
  friend void PrintTo(const TDeferredCase& c, std::ostream* os) { *os << c.name; }
};

std::unique_ptr<TqdCADBasePolyline> TiltedThickCircle() {
  auto c = std::make_unique<TqdDXFCircle>();
  c->SetPoint({1, -2, 3});
  c->SetRadius(2.5);
  c->SetExtrusion({0.3, 0.4, 0.866});
  c->SetZThick(2);
  return c;
}
std::unique_ptr<TqdCADBasePolyline> MirroredArcThroughZero() {
  auto a = std::make_unique<TqdDXFArc>();
  a->SetPoint({5, 5, 1});
  a->SetRadius(3);
  a->SetStartAngle(350);
  a->SetEndAngle(20);
  a->SetExtrusion({0, 0, -1});
  return a;
}
std::unique_ptr<TqdCADBasePolyline> ArcSeveralTurnsApart() {
  auto a = std::make_unique<TqdDXFArc>();
  a->SetRadius(1);
  a->SetStartAngle(100);
  a->SetEndAngle(-300);
  return a;
}
std::unique_ptr<TqdCADBasePolyline> RotatedEllipseArc() {
  auto e = std::make_unique<TqdDXFEllipse>();
  e->SetPoint({10, 0, 0});
  e->SetRadPt({3, 4, 0});
  e->SetRatio(0.4);
  e->SetStartAngle(30);
  e->SetEndAngle(250);
  e->SetExtrusion({0, 0.6, 0.8});
  return e;
}
std::unique_ptr<TqdCADBasePolyline> ClosedBulgedLW() {
  auto p = std::make_unique<TqdDXFLWPolyline>();
  p->AddVertex({0, 0, 0}, 0.5);
  p->AddVertex({4, 0, 0}, -1.2);
  p->AddVertex({4, 3, 0}, 3);
  p->AddVertex({1, 3, 0});
  p->SetClosed(true);
  p->SetElevation(2);
  p->SetZThick(1);
  return p;
}
std::unique_ptr<TqdCADBasePolyline> MirroredBulgedLW() {
  auto p = std::make_unique<TqdDXFLWPolyline>();
  p->AddVertex({0, 0, 0}, 1);
  p->AddVertex({2, 0, 0}, -0.3);
  p->AddVertex({2, 5, 0});
  p->SetExtrusion({0, 0, -1});
  return p;
}
std::unique_ptr<TqdCADBasePolyline> TiltedHeavyPolyline() {
  auto p = std::make_unique<TqdDXFPolyline>();
  p->AddVertex({0, 0, 0}, -0.7);
  p->AddVertex({3, 1, 0}, 0.2);
  p->AddVertex({6, -1, 0});
  p->SetElevation(-4);
  p->SetExtrusion({0.5, -0.5, 0.7071});
  return p;
}

class DeferredBox : public ::testing::TestWithParam<TDeferredCase> {};
} // namespace

TEST_P(DeferredBox, HoldsThePointsAndIsTight) {
  TqdDXFConverter coarse, fine;
  fine.SetNumberOfPartsInCircle(20000);
  auto e = GetParam().make();
  e->Loaded(&coarse);
  ASSERT_TRUE(e->PointsDeferred());
  const TFRect box = e->Box();
  for (const TFPoint& p : e->PolyPoints()) {
    EXPECT_GE(p.X, box.Left - 1e-9);
    EXPECT_LE(p.X, box.Right + 1e-9);
    EXPECT_GE(p.Y, box.Bottom - 1e-9);
    EXPECT_LE(p.Y, box.Top + 1e-9);
    EXPECT_GE(p.Z, box.Z1 - 1e-9);
    EXPECT_LE(p.Z, box.Z2 + 1e-9);
  }
  EXPECT_FALSE(e->PointsDeferred());
  EXPECT_EQ(e->Box().Left, box.Left); // making the points keeps the box

  auto f = GetParam().make();
  f->Loaded(&fine);
  TFRect dense = cnstBadRect;
  for (const TFPoint& p : f->PolyPoints()) UnionBoxPoint(dense, p);
  // Bulge arcs take at most the generator's cap of parts: a few 1e-5 of their radius;
  // the 48-part points miss extremes by about 2e-3 of it.
  ExpectPointNear(dense.TopLeft(), box.TopLeft(), 5e-4);
  ExpectPointNear(dense.BottomRight(), box.BottomRight(), 5e-4);
}

// Points made per frame at the kept count are the kept points, point for point;
// a coarse view takes fewer and keeps none.
TEST_P(DeferredBox, FramePointsAreTheKeptOnes) {
  auto e = GetParam().make();
  e->Loaded(nullptr);
  ASSERT_TRUE(e->PointsDeferred());
  TFPointList scratch, coarse;
  const TFPointList& frame = e->DrawPoints(scratch, 0);
  const int coarseCount = e->DrawPoints(coarse, 0.5).Count();
  EXPECT_TRUE(e->PointsDeferred());
  EXPECT_LE(coarseCount, frame.Count());
  const TFPointList copy = frame;
  const TFPointList& kept = e->PolyPoints();
  ASSERT_EQ(copy.Count(), kept.Count());
  for (int i = 0; i < kept.Count(); ++i) ExpectPointNear(copy[i], kept[i], 0);
}

INSTANTIATE_TEST_SUITE_P(
    Curves, DeferredBox,
    ::testing::Values(TDeferredCase{"tilted_thick_circle", TiltedThickCircle},
                      TDeferredCase{"mirrored_arc_through_zero", MirroredArcThroughZero},
                      TDeferredCase{"arc_several_turns_apart", ArcSeveralTurnsApart},
                      TDeferredCase{"rotated_ellipse_arc", RotatedEllipseArc},
                      TDeferredCase{"closed_bulged_lw", ClosedBulgedLW},
                      TDeferredCase{"mirrored_bulged_lw", MirroredBulgedLW},
                      TDeferredCase{"tilted_heavy_polyline", TiltedHeavyPolyline}),
    [](const auto& i) { return std::string(i.param.name); });

// A frame's points follow the curve's size on screen: small ones take fewer
// segments (every chord within a tenth of a pixel), large ones the kept count, and
// none of them is kept.
TEST(DeferredBox, DrawPointsFollowTheViewSize) {
  struct TCase {
    std::unique_ptr<TqdCADBasePolyline> (*make)();
    double ppu;       // pixels per unit
    int lo, hi;       // expected point count range
  };
  const TCase cases[] = {
      {TiltedThickCircle, 1, 18, 30},         // radius 2.5 px (and its raised copy)
      {TiltedThickCircle, 1000, 98, 98},      // 2,500 px: all 48 segments, both copies
      {MirroredArcThroughZero, 4, 2, 6},      // 30 degrees of a 12 px circle
      {RotatedEllipseArc, 2, 8, 40},
      {RotatedEllipseArc, 0, 49, 49},         // unknown scale: the full count
  };
  for (const TCase& c : cases) {
    auto e = c.make();
    e->Loaded(nullptr);
    ASSERT_TRUE(e->PointsDeferred());
    TFPointList scratch;
    const TFPointList& pts = e->DrawPoints(scratch, c.ppu);
    EXPECT_GE(pts.Count(), c.lo) << c.ppu;
    EXPECT_LE(pts.Count(), c.hi) << c.ppu;
    EXPECT_TRUE(e->PointsDeferred());
    // The ends are those of the full-count points.
    TFPointList full;
    const TFPointList& all = e->DrawPoints(full, 0);
    ExpectPointNear(pts[0], all[0], 1e-9);
    ExpectPointNear(pts[pts.Count() - 1], all[all.Count() - 1], 1e-9);
  }
  // A plain circle: each chord's middle within 0.1 px of the circle.
  TqdDXFCircle c;
  c.SetPoint({0, 0, 0});
  c.SetRadius(10);
  c.Loaded(nullptr);
  TFPointList scratch;
  const TFPointList& pts = c.DrawPoints(scratch, 2);  // a 20 px radius
  ASSERT_GT(pts.Count(), 9);
  ASSERT_LT(pts.Count(), 49);
  for (int i = 1; i < pts.Count(); ++i) {
    const double mx = (pts[i - 1].X + pts[i].X) / 2, my = (pts[i - 1].Y + pts[i].Y) / 2;
    EXPECT_LE((10 - std::hypot(mx, my)) * 2, 0.1 + 1e-9);
    EXPECT_NEAR(std::hypot(pts[i].X, pts[i].Y), 10, 1e-9);
  }
}

// Widths need the outline at once: such polylines make their points at load.
TEST(DeferredBox, WidePolylineMakesPointsAtLoad) {
  TqdDXFLWPolyline p;
  p.AddVertex({0, 0, 0}, 0.5, 1, 1);
  p.AddVertex({4, 0, 0});
  p.Loaded(nullptr);
  EXPECT_FALSE(p.PointsDeferred());
  EXPECT_GT(p.Arrows().Count(), 3);
}
