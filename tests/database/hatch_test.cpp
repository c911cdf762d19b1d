// Filled areas: loops built from boundary edges, edge tessellation, gradients, wipeout
// clip polygons, and the pattern generator with its limits.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "DXFConv.h"
#include "Hatches.h"
#include "Others.h"
#include "qdHatchPattern.h"
#include "qdShapeEdge.h"

namespace {

std::unique_ptr<Tqd2DLine> Line(TF2DPoint A, TF2DPoint B) {
  auto L = std::make_unique<Tqd2DLine>();
  L->SetStartPoint(A);
  L->SetEndPoint(B);
  return L;
}

// A converter-less load of an area: loops, box and pattern.
template <class T> void Load(T& A) { A.Loaded(nullptr); }

void AddSquare(TqdCADCurvePolygon& H, double X0, double Y0, double X1, double Y1, std::uint8_t Type = 1) {
  Tqd2DBoundaryList* L = H.AddBoundaryList(Type);
  L->Add(Line({X0, Y0}, {X1, Y0}));
  L->Add(Line({X1, Y0}, {X1, Y1}));
  L->Add(Line({X1, Y1}, {X0, Y1}));
  L->Add(Line({X0, Y1}, {X0, Y0}));
}

TqdHatchPatternData PatternLine(double Angle, TFPoint Base, TFPoint Offset, std::vector<double> Dashes = {}) {
  TqdHatchPatternData D;
  D.LineAngle = Angle;
  D.BaseP = Base;
  D.Offset = Offset;
  D.DashNum = static_cast<int>(Dashes.size());
  D.IsDash = !Dashes.empty();
  D.Lines = std::move(Dashes);
  return D;
}

// Pairs of the generated pattern whose points both have this Y.
std::vector<std::pair<double, double>> PiecesAtY(const TqdCADHatch& H, double Y) {
  std::vector<std::pair<double, double>> R;
  const auto& L = H.ParsedLines();
  for (std::size_t I = 0; I + 1 < L.size(); I += 2)
    if (std::fabs(L[I].Y - Y) < 1e-9 && std::fabs(L[I + 1].Y - Y) < 1e-9)
      R.push_back({std::min(L[I].X, L[I + 1].X), std::max(L[I].X, L[I + 1].X)});
  std::sort(R.begin(), R.end());
  return R;
}

}  // namespace

// ---------------------------------------------------------------- loop builder

TEST(HatchLoops, ShuffledAndReversedEdgesChainIntoOneLoop) {
  TqdCADCurvePolygon P;
  Tqd2DBoundaryList* L = P.AddBoundaryList(1);
  L->Add(Line({0, 0}, {10, 0}));
  L->Add(Line({0, 10}, {10, 10}));   // reversed
  L->Add(Line({10, 0}, {10, 10}));
  L->Add(Line({0, 10}, {0, 0}));
  Load(P);
  ASSERT_EQ(P.LoopCount(), 1);
  const auto& Loop = P.Loop(0);
  ASSERT_EQ(Loop.size(), 5u);  // closed
  const TF2DPoint Want[] = {{0, 0}, {10, 0}, {10, 10}, {0, 10}, {0, 0}};
  for (int I = 0; I < 5; ++I) {
    EXPECT_NEAR(Loop[I].X, Want[I].X, 1e-12) << I;
    EXPECT_NEAR(Loop[I].Y, Want[I].Y, 1e-12) << I;
  }
  EXPECT_NEAR(P.Box().Right, 10, 1e-12);
}

TEST(HatchLoops, EdgesThatDoNotMeetMoveToALoopOfTheirOwn) {
  // The second pair starts 0.01 away: too far to chain. Both lists own their edges
  // (a shared edge would be freed twice; the sanitizer build catches it).
  TqdCADCurvePolygon P;
  Tqd2DBoundaryList* L = P.AddBoundaryList(1);
  L->Add(Line({0, 0}, {10, 0}));
  L->Add(Line({20.01, 0}, {30, 0}));
  L->Add(Line({10, 0}, {10, 10}));
  L->Add(Line({30, 0}, {30, 10}));
  Load(P);
  ASSERT_EQ(P.GetBoundaryDataCount(), 2);
  EXPECT_EQ(P.BoundaryData().FBoundaries[0]->GetCount(), 2);
  EXPECT_EQ(P.BoundaryData().FBoundaries[1]->GetCount(), 2);
  EXPECT_EQ(P.LoopCount(), 2);
  // A copy and a second load keep every edge once.
  auto C = std::make_unique<TqdCADCurvePolygon>();
  C->AssignEntity(P);
  Load(*C);
  EXPECT_EQ(C->LoopCount(), 2);
}

TEST(HatchLoops, LoopsUsedByType) {
  struct TCase {
    const char* Name;
    std::uint8_t Type;
    bool Solid;
    bool Used;
  } Cases[] = {{"text box, solid", 8, true, false},     {"text box outermost, solid", 24, true, true},
               {"text box, pattern", 8, false, true},   {"never used, solid", 128, true, false},
               {"never used, pattern", 128, false, false}, {"external", 1, true, true}};
  for (const TCase& C : Cases) {
    std::unique_ptr<TqdCADCurvePolygon> P =
        C.Solid ? std::make_unique<TqdCADCurvePolygon>() : std::make_unique<TqdCADHatch>();
    AddSquare(*P, 0, 0, 1, 1, C.Type);
    Load(*P);
    EXPECT_EQ(P->LoopCount(), C.Used ? 1 : 0) << C.Name;
  }
}

TEST(HatchLoops, ThousandsOfShuffledEdgesChain) {
  // A 10,000-gon given in a scrambled order with every other edge reversed.
  constexpr int N = 10000;
  std::vector<std::unique_ptr<Tqd2DCurve>> E;
  for (int I = 0; I < N; ++I) {
    const double A = 2 * M_PI * I / N, B = 2 * M_PI * (I + 1) / N;
    TF2DPoint P{100 * std::cos(A), 100 * std::sin(A)}, Q{100 * std::cos(B), 100 * std::sin(B)};
    E.push_back(I % 2 ? Line(Q, P) : Line(P, Q));
  }
  TqdCADCurvePolygon Poly;
  Tqd2DBoundaryList* L = Poly.AddBoundaryList(1);
  for (int I = 0; I < N; ++I) L->Add(std::move(E[static_cast<std::size_t>((I * 7919) % N)]));
  Load(Poly);
  ASSERT_EQ(Poly.LoopCount(), 1);
  EXPECT_EQ(Poly.Loop(0).size(), static_cast<std::size_t>(N + 1));
}

TEST(HatchLoops, EdgesWithoutPointsAddNothing) {
  // A polyline edge without vertices ends at (0, 0) and is dropped before chaining.
  Tqd2DPolyline Empty;
  EXPECT_EQ(Empty.GetEndPoint(), (TF2DPoint{0, 0}));
  TqdCADCurvePolygon P;
  Tqd2DBoundaryList* L = P.AddBoundaryList(1);
  L->Add(std::make_unique<Tqd2DPolyline>());
  L->Add(Line({5, 5}, {6, 5}));
  L->Add(Line({6, 5}, {6, 6}));
  L->Add(Line({6, 6}, {5, 5}));
  Load(P);
  ASSERT_EQ(P.LoopCount(), 1);
  for (const TFPoint& Q : P.Loop(0)) EXPECT_GE(Q.X, 5.0);
}

// ---------------------------------------------------------------- edges

TEST(HatchEdges, ClockwiseArcWalksDownFromZero) {
  Tqd2DArc A;
  A.FRadius = 1;
  A.FStartParam = 0;
  A.FEndParam = 90;
  TqdGeneratorShapeEdge G;
  A.BuildPoints(G);
  ASSERT_EQ(A.GetCount(), 49);
  EXPECT_NEAR(A.GetPoints(0).X, 1, 1e-12);
  EXPECT_NEAR(A.GetPoints(0).Y, 0, 1e-12);
  EXPECT_NEAR(A.GetPoints(48).X, 0, 1e-12);
  EXPECT_NEAR(A.GetPoints(48).Y, -1, 1e-12);
  EXPECT_LT(A.GetPoints(24).Y, 0);
}

TEST(HatchEdges, MalformedEdgesGiveFinitePointsOrNone) {
  TqdGeneratorShapeEdge G;
  // Ellipse with ratio 0 or negative: the angle stays the parameter.
  for (double Ratio : {0.0, -1.0}) {
    Tqd2DEllipse E;
    E.FMajorPoint = {2, 0};
    E.FRadius = Ratio;
    E.FEndParam = 360;
    EXPECT_EQ(E.AngleToParam(30), 30.0);
    E.BuildPoints(G);
    for (int I = 0; I < E.GetCount(); ++I) EXPECT_TRUE(std::isfinite(E.GetPoints(I).X));
  }
  // Splines: no knots, fewer weights than controls, a single control point.
  Tqd2DSpline S;
  S.SetDegree(3);
  for (TF2DPoint P : {TF2DPoint{0, 0}, {1, 1}, {2, 0}, {3, 1}, {4, 0}}) S.AddControl(P);
  S.SetRational(true);
  S.AddWeight(1);
  S.BuildPoints(G);
  EXPECT_GT(S.GetCount(), 2);
  for (int I = 0; I < S.GetCount(); ++I) EXPECT_TRUE(std::isfinite(S.GetPoints(I).Y));
  Tqd2DSpline Q;
  Q.SetDegree(2);
  for (TF2DPoint P : {TF2DPoint{0, 0}, {1, 1}, {2, 0}}) Q.AddControl(P);
  Q.SetRational(true);
  Q.AddWeight(2);  // one weight for three points: not used
  Q.BuildPoints(G);
  EXPECT_GT(Q.GetCount(), 2);
  Tqd2DSpline One;
  One.AddControl({1, 1});
  One.BuildPoints(G);
  EXPECT_EQ(One.GetCount(), 0);
}

TEST(HatchEdges, BulgesBelongToTheVertexAddedLast) {
  Tqd2DPolyline P;
  P.AddVertex({0, 0});
  P.AddVertex({1, 0});
  P.AddVertex({1, 1});
  P.AddBulge(0.5);
  ASSERT_EQ(P.FBulges.size(), 3u);
  EXPECT_EQ(P.Bulge(0), 0.0);
  EXPECT_EQ(P.Bulge(2), 0.5);
  EXPECT_EQ(P.Bulge(7), 0.0);
}

// ---------------------------------------------------------------- gradients, wipeouts

TEST(HatchGradient, NamesAndColours) {
  TqdCADGradientPolygon G;
  G.SetGradientName("linear");
  EXPECT_EQ(G.FType, gtLinear);
  EXPECT_EQ(G.GradientName(), "LINEAR");
  EXPECT_EQ(G.GetHatchName(), "GRADIENT");
  G.SetGradientName("SWIRL");
  EXPECT_EQ(G.FType, gtOther);
  EXPECT_EQ(G.GradientName(), "UNKNOWN");
  G.SetGradientName(std::string("INVSPHERICAL\0\0", 14));
  EXPECT_EQ(G.FType, gtInvSpherical);
  TqdCADHatch H;
  EXPECT_EQ(H.GetHatchName(), "SOLID");
  H.SetGradientName("CYLINDER");
  EXPECT_EQ(H.GetHatchName(), "GRADIENT");
  // Indexes outside 0..1 read colour 7 and write nothing.
  const TqdColorCAD Before = G.GetGradientColorCAD(1);
  for (int I : {-1, 2, 1000}) {
    EXPECT_EQ(G.GetGradientColorCAD(I).IndexValue(), 7) << I;
    G.SetGradientColorCAD(I, TqdColorCAD::Index(3));
  }
  EXPECT_EQ(G.GetGradientColorCAD(1).Color, Before.Color);
  G.SetGradientAngle(-370);
  EXPECT_EQ(G.GradientAngle(), -10.0);
  G.SetGradientAngle(NAN);
  G.SetGradientAngle(3e9);
  EXPECT_EQ(G.GradientAngle(), -10.0);
}

TEST(HatchWipeout, ClipPolygonAndSize) {
  TqdCADWipeout W;
  W.FSize = {10, 5, 1};
  W.FClipType = 1;
  W.FBoundary = {{-0.5, -0.5, 0}, {9.5, 4.5, 0}};
  const auto P = W.ClipPolygon();
  ASSERT_EQ(P.size(), 4u);
  const TF2DPoint Want[] = {{0, 5}, {10, 5}, {10, 0}, {0, 0}};
  for (int I = 0; I < 4; ++I) {
    EXPECT_NEAR(P[I].X, Want[I].X, 1e-12);
    EXPECT_NEAR(P[I].Y, Want[I].Y, 1e-12);
  }
  W.FBoundary.resize(1);
  EXPECT_TRUE(W.ClipPolygon().empty());
  // Width of a wipeout without size: nothing changes, nothing becomes NaN.
  TqdCADWipeout Z;
  Z.FSize = {0, 0, 0};
  Z.SetWidth(5);
  Z.SetHeight(NAN);
  EXPECT_EQ(Z.FUVector, (TFPoint{1, 0, 0}));
  EXPECT_EQ(Z.FVVector, (TFPoint{0, 1, 0}));
  W.SetWidth(20);
  EXPECT_NEAR(W.Width(), 20, 1e-12);
}

// ---------------------------------------------------------------- pattern lines

TEST(HatchPattern, SquareWithOneLine) {
  TqdCADHatch H;
  AddSquare(H, 0, 0, 10, 10);
  H.HatchPatternData().push_back(PatternLine(0, {0, 0, 0}, {0, 1, 0}));
  Load(H);
  ASSERT_EQ(H.ParsedLines().size(), 18u);
  for (int Y = 1; Y <= 9; ++Y) {
    const auto P = PiecesAtY(H, Y);
    ASSERT_EQ(P.size(), 1u) << Y;
    EXPECT_NEAR(P[0].first, 0, 1e-9);
    EXPECT_NEAR(P[0].second, 10, 1e-9);
  }
  EXPECT_TRUE(PiecesAtY(H, 0).empty());
  EXPECT_TRUE(PiecesAtY(H, 10).empty());
  EXPECT_EQ(H.HatchStyle(), hsHorizontal);
}

TEST(HatchPattern, HolesAndIslands) {
  TqdCADHatch H;
  AddSquare(H, 0, 0, 10, 10);
  AddSquare(H, 3, 3, 7, 7, 0);
  AddSquare(H, 4.5, 4.5, 5.5, 5.5, 0);
  H.HatchPatternData().push_back(PatternLine(0, {0, 0, 0}, {0, 1, 0}));
  Load(H);
  const auto P = PiecesAtY(H, 5);
  // Y = 5: outer, hole 3..7, island 4.5..5.5 hatched again.
  ASSERT_EQ(P.size(), 3u);
  EXPECT_NEAR(P[0].second, 3, 1e-9);
  EXPECT_NEAR(P[1].first, 4.5, 1e-9);
  EXPECT_NEAR(P[1].second, 5.5, 1e-9);
  EXPECT_NEAR(P[2].first, 7, 1e-9);
}

TEST(HatchPattern, IslandStyles) {
  struct TCase {
    const char* Name;
    int Style;
    std::size_t Pieces;
  } Cases[] = {{"nested", 0, 3}, {"outermost", 1, 2}, {"ignore", 2, 1}};
  for (const TCase& C : Cases) {
    TqdCADHatch H;
    AddSquare(H, 0, 0, 10, 10, 1);         // external
    AddSquare(H, 3, 3, 7, 7, 16);          // outermost
    AddSquare(H, 4.5, 4.5, 5.5, 5.5, 0);   // an island inside
    H.SetIslandStyle(C.Style);
    H.HatchPatternData().push_back(PatternLine(0, {0, 0, 0}, {0, 1, 0}));
    Load(H);
    EXPECT_EQ(PiecesAtY(H, 5).size(), C.Pieces) << C.Name;
  }
}

TEST(HatchPattern, DashesLineUpFromLineToLine) {
  for (const std::vector<double>& Dashes : {std::vector<double>{1, -1}, std::vector<double>{1, -1, 0}}) {
    TqdCADHatch H;
    AddSquare(H, 0, 0, 10, 10);
    H.HatchPatternData().push_back(PatternLine(0, {0, 0, 0}, {0, 1, 0}, Dashes));
    Load(H);
    for (int Y = 1; Y <= 9; ++Y) {
      const auto P = PiecesAtY(H, Y);
      ASSERT_EQ(P.size(), 5u) << Y;
      for (int K = 0; K < 5; ++K) {
        EXPECT_NEAR(P[K].first, 2 * K, 1e-9);
        EXPECT_NEAR(P[K].second, 2 * K + 1, 1e-9);
      }
    }
  }
}

TEST(HatchPattern, FamiliesThatGenerateNothing) {
  struct TCase {
    const char* Name;
    TqdHatchPatternData Line;
  } Cases[] = {
      {"offset along a 30 degree line", PatternLine(30, {0, 0, 0}, {1, std::tan(M_PI / 6), 0})},
      {"offset zero", PatternLine(0, {0, 0, 0}, {0, 0, 0})},
      {"nearly vertical, offset along it", PatternLine(90.05, {0, 0, 0}, {0, 1, 0})},
      {"nearly horizontal, offset along it", PatternLine(0.05, {0, 0, 0}, {1, 0, 0})},
      {"angle not a number", PatternLine(NAN, {0, 0, 0}, {0, 1, 0})},
  };
  for (const TCase& C : Cases) {
    TqdCADHatch H;
    AddSquare(H, 0, 0, 10, 10);
    H.HatchPatternData().push_back(C.Line);
    Load(H);
    EXPECT_TRUE(H.ParsedLines().empty()) << C.Name;
    EXPECT_EQ(H.PatternFallback(), pfNone) << C.Name;
  }
}

TEST(HatchPattern, FamilyWhoseAnchorLineMissesTheBoxIsStillLaid) {
  TqdCADHatch H;
  AddSquare(H, 100, 0, 110, 10);
  H.HatchPatternData().push_back(PatternLine(225, {0, 0, 0}, {2.245, -2.245, 0}));
  Load(H);
  EXPECT_GE(H.ParsedLines().size(), 8u);
}

TEST(HatchPattern, DashListsThatCannotAdvance) {
  struct TCase {
    const char* Name;
    std::vector<double> Dashes;
  } Cases[] = {{"zeros before a dash", {0, 0, 5}}, {"all zero", {0, 0}}, {"tiny", {1e-300, -1e-300}}};
  for (const TCase& C : Cases) {
    TqdCADHatch H;
    AddSquare(H, 0, 0, 10, 10);
    H.HatchPatternData().push_back(PatternLine(0, {0, 0, 0}, {0, 1, 0}, C.Dashes));
    Load(H);
    // Whole pieces (nothing to dash by) or a fallback, and never an endless list.
    EXPECT_LE(H.ParsedLines().size(), 1398101u) << C.Name;
    EXPECT_EQ(H.ParsedLines().size() % 2, 0u) << C.Name;
  }
  // A 50-unit piece of 10,000 patterns is drawn whole.
  std::vector<TFPoint> Out;
  EXPECT_FALSE(qdDashHatchPiece({0, 0}, {50, 0}, {0, 0}, {0.0025, -0.0025}, Out, 1e9));
  EXPECT_EQ(Out.size(), 2u);
}

TEST(HatchPattern, HostilePatternStopsAtTheLimitAndFallsBack) {
  // Spacing 1e-6 over a million units: far beyond the budget. The generation stops
  // before laying a line, the hatch keeps its loops and is drawn filled.
  TqdCADHatch H;
  AddSquare(H, -5e5, -5e5, 5e5, 5e5);
  H.HatchPatternData().push_back(PatternLine(45, {0, 0, 0}, {-1e-6, 1e-6, 0}, {1e-7, -1e-7}));
  H.HatchPatternData().push_back(PatternLine(0, {0, 0, 0}, {0, 1e-6, 0}));
  Load(H);
  EXPECT_TRUE(H.ParsedLines().empty());
  EXPECT_EQ(H.ParsedLines().capacity(), 0u);
  EXPECT_EQ(H.PatternFallback(), pfMemoryLimit);
  EXPECT_EQ(H.HatchStyle(), hsSolid);  // unchanged
  EXPECT_EQ(H.LoopCount(), 1);
  // Tiny spacing along a slanted family.
  TqdCADHatch S;
  AddSquare(S, -5e5, -5e5, 5e5, 5e5);
  S.HatchPatternData().push_back(PatternLine(30, {0, 0, 0}, {0, 1e-6, 0}));
  Load(S);
  EXPECT_EQ(S.PatternFallback(), pfMemoryLimit);
  // Many short pieces: a dense dash list on a modest area also stops at the budget.
  TqdCADHatch D;
  AddSquare(D, 0, 0, 1000, 1000);
  D.HatchPatternData().push_back(PatternLine(0, {0, 0, 0}, {0, 0.01, 0}, {0.2, -0.2}));
  Load(D);
  EXPECT_EQ(D.PatternFallback(), pfMemoryLimit);
}

TEST(HatchPattern, FillStylesAngleAndScale) {
  TqdCADHatch H;
  H.SetFillStyle(fsCross);
  ASSERT_EQ(H.HatchPatternData().size(), 2u);
  EXPECT_EQ(H.HatchPatternData()[0].LineAngle, 0.0);
  EXPECT_EQ(H.HatchPatternData()[1].LineAngle, 90.0);
  EXPECT_EQ(H.HatchPatternData()[1].Offset, (TFPoint{1, 1, 0}));
  H.SetPatternScale(2);
  EXPECT_EQ(H.FillStyle(), fsCAD);
  EXPECT_EQ(H.HatchPatternData()[0].Offset.X, 2.0);
  H.SetPatternScale(3);
  EXPECT_EQ(H.HatchPatternData()[0].Offset.X, 3.0);
  H.SetPatternScale(0);
  H.SetPatternScale(NAN);
  EXPECT_EQ(H.PatternScale(), 3.0);
  H.SetPatternAngle(370);
  EXPECT_EQ(H.PatternAngle(), 10.0);
  EXPECT_NEAR(H.HatchPatternData()[0].LineAngle, 10, 1e-12);
  H.SetPatternAngle(NAN);
  EXPECT_EQ(H.PatternAngle(), 10.0);
  // A stored scale that is not positive counts as 1.
  TqdCADHatch Z;
  Z.HatchPatternData().push_back(PatternLine(0, {0, 0, 0}, {0, 1, 0}));
  Z.PatternData().FScale = 0;
  Z.SetPatternScale(2);
  EXPECT_EQ(Z.HatchPatternData()[0].Offset.Y, 2.0);
}

TEST(HatchPattern, ClipperOnAScrambledBoundary) {
  // The clipper's result does not depend on being given only the edges near the line.
  std::vector<std::vector<TFPoint>> Loops{{{0, 0, 0}, {10, 0, 0}, {10, 10, 0}, {5, 5, 0}, {0, 10, 0}}};
  TqdHatchLoops L(Loops);
  TqdParserLineHatch P(L);
  std::vector<TF2DPoint> Out;
  P.Parse({-1, 7}, {11, 7}, Out);
  ASSERT_EQ(Out.size(), 4u);
  EXPECT_NEAR(Out[1].X, 3, 1e-9);
  EXPECT_NEAR(Out[2].X, 7, 1e-9);
}
