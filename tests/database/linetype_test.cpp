// The linetype pattern engine: dashes, gaps and dots along segments, polygons, curves
// and polylines; pattern preparation; the dash limit; and the linetype table item.
#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>
#include <utility>
#include <vector>

#include "DXFConv.h"
#include "TableItems.h"
#include "qdLines.h"

namespace {

using TPieces = std::vector<std::pair<double, double>>;

TqdLines Pattern(std::initializer_list<double> Dashes, bool Uniform = false, bool Acad = false) {
  TqdLines L;
  for (double D : Dashes) L.AddTick(D);
  L.SetIsUniform(Uniform);
  L.SetIsAutocadMetod(Acad);
  L.Loaded(nullptr);
  return L;
}

// Pieces along the X axis as (start, end) positions.
TPieces Along(const std::vector<TFPoint>& Out) {
  TPieces R;
  for (int I = 0; I + 1 < static_cast<int>(Out.size()); I += 2) R.push_back({Out[I].X, Out[I + 1].X});
  return R;
}

void ExpectPieces(const TPieces& Got, const TPieces& Want) {
  ASSERT_EQ(Got.size(), Want.size());
  for (std::size_t I = 0; I < Want.size(); ++I) {
    EXPECT_NEAR(Got[I].first, Want[I].first, 1e-9) << "piece " << I;
    EXPECT_NEAR(Got[I].second, Want[I].second, 1e-9) << "piece " << I;
  }
}

struct TLineRow {
  const char* Name;
  std::vector<double> Dashes;
  bool Uniform;
  double Length;
  TPieces Want;
};

class LineCuts : public ::testing::TestWithParam<TLineRow> {};

TEST_P(LineCuts, PiecesFallWhereThePatternPutsThem) {
  const TLineRow& R = GetParam();
  TqdLines L;
  for (double D : R.Dashes) L.AddTick(D);
  L.SetIsUniform(R.Uniform);
  L.Loaded(nullptr);
  std::vector<TFPoint> Out;
  L.Line({0, 0, 0}, {R.Length, 0, 0}, Out);
  ExpectPieces(Along(Out), R.Want);
}

const TLineRow LineRows[] = {
    {"centred_whole_patterns", {1, -1}, false, 10, {{0, 0.5}, {1.5, 2.5}, {3.5, 4.5}, {5.5, 6.5}, {7.5, 8.5}, {9.5, 10}}},
    {"centred_leftover_split", {1, -1}, false, 10.6,
     {{0, 0.8}, {1.8, 2.8}, {3.8, 4.8}, {5.8, 6.8}, {7.8, 8.8}, {9.8, 10.6}}},
    {"uniform_from_the_start", {1, -1}, true, 10, {{0, 1}, {2, 3}, {4, 5}, {6, 7}, {8, 9}}},
    {"dots_centred", {0, -0.25}, false, 1.1, {{0, 0}, {0.3, 0.3}, {0.55, 0.55}, {0.8, 0.8}, {1.1, 1.1}}},
    {"shorter_than_a_pattern_is_solid", {1, -1}, false, 1.5, {{0, 1.5}}},
    {"shorter_than_a_pattern_dotted_gives_end_dots", {0, -2}, false, 1.5, {{0, 0}, {1.5, 1.5}}},
    {"beyond_the_dash_limit_is_solid", {1, -1}, false, 2.0 * 8000 + 5, {{0, 16005}}},
    // A pattern that begins with a gap keeps that gap's own length when uniform, and
    // centres with equal gaps at both ends otherwise.
    {"leading_gap_uniform", {-1, 1}, true, 4, {{1, 2}, {3, 4}}},
    {"leading_gap_centred", {-1, 1}, false, 10, {{0.5, 1.5}, {2.5, 3.5}, {4.5, 5.5}, {6.5, 7.5}, {8.5, 9.5}}},
};

INSTANTIATE_TEST_SUITE_P(Rows, LineCuts, ::testing::ValuesIn(LineRows),
                         [](const auto& I) { return std::string(I.param.Name); });

TEST(LinePatterns, ScaleStretchesThePattern) {
  TqdLines L = Pattern({1, -1}, true);
  L.SetScale(2);
  std::vector<TFPoint> Out;
  L.Line({0, 0, 0}, {8, 0, 0}, Out);
  ExpectPieces(Along(Out), {{0, 2}, {4, 6}});
  L.SetScale(1e-9);  // below 1e-6: taken as 1
  EXPECT_EQ(L.Scale(), 1);
}

// Total length of the dashes (pieces that are not dots).
double DashLength(const std::vector<TFPoint>& Out) {
  double S = 0;
  for (int I = 0; I + 1 < static_cast<int>(Out.size()); I += 2) S += Distance(Out[I], Out[I + 1]);
  return S;
}

std::vector<TFPoint> Circle(double Circumference, int Parts) {
  const double R = Circumference / (2 * M_PI);
  std::vector<TFPoint> P;
  for (int I = 0; I < Parts; ++I) {
    const double A = 2 * M_PI * I / Parts;
    P.push_back({R * std::cos(A), R * std::sin(A), 0});
  }
  return P;
}

TEST(CurvePatterns, ClosedCurveGetsWholeStretchedPatterns) {
  // A straight "closed" path of 9.5 units is easier to measure than a circle: four
  // patterns of 2 stretched by 9.5 / 8, dashes meeting across the closing point.
  const std::vector<TFPoint> Path = {{0, 0, 0}, {4.75, 0, 0}};
  std::vector<TFPoint> Out;
  Pattern({1, -1}).Curve(Path, Out, true);
  // Half a dash at the start, three whole dashes, and the other half at the end.
  EXPECT_NEAR(DashLength(Out), 4 * 1.1875, 1e-9);
  EXPECT_NEAR(Out[0].X, 0, 1e-12);
  EXPECT_NEAR(Out[static_cast<int>(Out.size()) - 1].X, 0, 1e-12);  // back at the start
}

TEST(CurvePatterns, AutocadMethodRoundsThePatternCount) {
  const std::vector<TFPoint> Path = {{0, 0, 0}, {4.75, 0, 0}};
  std::vector<TFPoint> Out;
  Pattern({1, -1}, true, true).Curve(Path, Out, true);
  // round(4.75) = 5 patterns stretched to 9.5 / 10 each.
  EXPECT_NEAR(DashLength(Out), 5 * 0.95, 1e-9);
}

TEST(CurvePatterns, ShortClosedCurveWithAutocadMethodIsSolid) {
  std::vector<TFPoint> Out;
  Pattern({1, -1}, true, true).Curve(Circle(1.5, 32), Out, true);
  EXPECT_NEAR(DashLength(Out), 1.5, 0.01);
  EXPECT_EQ(static_cast<int>(Out.size()), 2 * 32);  // every segment
}

TEST(CurvePatterns, PatternRunsOnAcrossVertices) {
  // Two segments of 1.5: a uniform 1 / -0.25 pattern puts a dash round the corner.
  const std::vector<TFPoint> Path = {{0, 0, 0}, {1.5, 0, 0}, {1.5, 1.5, 0}};
  std::vector<TFPoint> Out;
  Pattern({1, -0.25}, true).Curve(Path, Out, false);
  ASSERT_EQ(static_cast<int>(Out.size()), 8);
  EXPECT_NEAR(Out[1].X, 1, 1e-12);     // [0, 1]
  EXPECT_NEAR(Out[2].X, 1.25, 1e-12);  // [1.25, corner] ...
  EXPECT_TRUE(Out[3] == Path[1]);
  EXPECT_TRUE(Out[4] == Path[1]);      // ... [corner, 0.75 up]
  EXPECT_NEAR(Out[5].Y, 0.75, 1e-12);
  EXPECT_NEAR(Out[6].Y, 1, 1e-12);     // [1, 1.5] up the second segment
  EXPECT_TRUE(Out[7] == Path[2]);
}

TEST(CurvePatterns, CoincidentPointsGiveOneDot) {
  const std::vector<TFPoint> Path(5, TFPoint{3, 4, 0});
  std::vector<TFPoint> Out;
  Pattern({1, -1}).Curve(Path, Out, false);
  ASSERT_EQ(static_cast<int>(Out.size()), 2);
  EXPECT_TRUE(Out[0] == Out[1]);
  EXPECT_TRUE(Out[0] == (TFPoint{3, 4, 0}));
}

TEST(PolyPatterns, EachSegmentStartsAfresh) {
  const std::vector<TFPoint> Square = {{0, 0, 0}, {10, 0, 0}, {10, 10, 0}, {0, 10, 0}};
  std::vector<TFPoint> Out;
  Pattern({1, -1}).Poly(Square, Out, true);
  EXPECT_EQ(static_cast<int>(Out.size()), 4 * 6 * 2);  // six pieces on each of four sides
}

TEST(VertexPatterns, StraightSegmentsAndArcRuns) {
  // Counts: a straight segment, then a run of 3 points tessellating an arc.
  const std::vector<TFPoint> Pts = {{0, 0, 0}, {10, 0, 0}, {15, 5, 0}, {20, 0, 0}};
  const std::vector<int> Counts = {1, 3};
  std::vector<TFPoint> Out;
  Pattern({1, -1}).Vertexes(Pts, Counts, Out, false);
  ASSERT_GE(static_cast<int>(Out.size()), 12);
  EXPECT_NEAR(Out[0].X, 0, 1e-12);
  EXPECT_NEAR(Out[static_cast<int>(Out.size()) - 1].X, 20, 1e-9);
}

TEST(VertexPatterns, CountsPastThePointsStayWithinThem) {
  // Counts of a polyline whose points were capped: runs never read past the list.
  const std::vector<TFPoint> Pts = {{0, 0, 0}, {10, 0, 0}, {20, 0, 0}};
  const std::vector<int> Counts = {1, 50, 1, 1, -1, 4};
  std::vector<TFPoint> Out;
  Pattern({1, -1}).Vertexes(Pts, Counts, Out, true);
  for (const TFPoint& P : Out) {
    EXPECT_GE(P.X, -1e-9);
    EXPECT_LE(P.X, 20 + 1e-9);
  }
  EXPECT_GT(static_cast<int>(Out.size()), 0);
}

// ---------------------------------------------------------------- preparation

TEST(PatternPreparation, TextElementKeepsItsDashAndItsPlace) {
  TqdLines L;
  TqdLTypeElement Text;
  Text.Dash = 0.5;
  Text.ComplexType = TqdLTypeElement::cnstText;
  Text.Text = "GAS";
  Text.Scale = 0.1;
  Text.Rotation = 0;
  Text.Offset = {-0.1, -0.05, 0};
  L.Add(Text);
  L.AddTick(-0.5);
  L.Loaded(nullptr);
  const auto& S = L.SimpleElements();
  ASSERT_EQ(S.size(), 3u);
  EXPECT_EQ(S[0].Kind, lkPlain);
  EXPECT_EQ(S[0].Value, 0.5);
  EXPECT_TRUE(S[1].IsEmbedded());
  ASSERT_EQ(S[1].Source, 0);
  EXPECT_EQ(L.GetElement(S[1].Source)->Text, "GAS");
  EXPECT_EQ(L.GetElement(S[1].Source)->Offset.X, -0.1);
  EXPECT_EQ(L.PatternLength(), 1.0);
  // No font layer: the text draws nothing, the dash stays.
  std::vector<TFPoint> Out;
  L.Line({0, 0, 0}, {10, 0, 0}, Out);
  EXPECT_EQ(static_cast<int>(Out.size()), 2 * 11);
}

TEST(PatternPreparation, StrokesOfEmbeddedObjectsArePlacedWhereTheirDashEnds) {
  qdSetLTypeStrokeMaker([](const TqdLTypeElement&, const TqdDXFEntity*, const TqdDXFConverter*, int& Kind,
                           std::vector<std::vector<TFPoint>>& Strokes, double& W, double& H) {
    Strokes = {{{0, 0, 0}, {0, 1, 0}}};  // a tick across the line
    W = 0.1;
    H = 1;
    return true;
  });
  TqdLines L;
  TqdLTypeElement Text;
  Text.Dash = 1;
  Text.ComplexType = TqdLTypeElement::cnstText;
  Text.Text = "X";
  L.Add(Text);
  L.AddTick(-1);
  L.SetIsUniform(true);
  L.Loaded(nullptr);
  qdSetLTypeStrokeMaker(nullptr);
  EXPECT_DOUBLE_EQ(L.MaxSizeOfPatterns(), 2 + 0.1 + 1);
  std::vector<TFPoint> Out;
  L.Line({0, 0, 0}, {0, 4, 0}, Out);  // upwards: the tick turns to point left
  ASSERT_EQ(static_cast<int>(Out.size()), 8);  // [0, 1], tick, [2, 3], tick
  EXPECT_NEAR(Out[2].X, 0, 1e-12);
  EXPECT_NEAR(Out[2].Y, 1, 1e-12);
  EXPECT_NEAR(Out[3].X, -1, 1e-12);
  EXPECT_NEAR(Out[3].Y, 1, 1e-12);
}

TEST(PatternPreparation, EmbeddedStrokesAreMadeOnceOnFirstUse) {
  int Calls = 0;
  qdSetLTypeStrokeMaker([&Calls](const TqdLTypeElement&, const TqdDXFEntity*, const TqdDXFConverter*, int&,
                                 std::vector<std::vector<TFPoint>>& Strokes, double&, double&) {
    ++Calls;
    Strokes = {{{0, 0, 0}, {0, 1, 0}}};
    return true;
  });
  TqdLines L;
  TqdLTypeElement Text;
  Text.Dash = 1;
  Text.ComplexType = TqdLTypeElement::cnstText;
  Text.Text = "X";
  L.Add(Text);
  L.AddTick(-1);
  L.Loaded(nullptr);
  qdSetLTypeStrokeMaker(nullptr);
  EXPECT_EQ(Calls, 0) << "preparing a pattern that is never drawn makes no strokes";
  std::vector<TFPoint> Out;
  L.Line({0, 0, 0}, {4, 0, 0}, Out);
  EXPECT_EQ(Calls, 1);
  const std::size_t One = Out.size();
  const TqdLines Copy = L;  // the renderer's working copy shares what was made
  Out.clear();
  Copy.Line({0, 0, 0}, {4, 0, 0}, Out);
  L.Line({0, 0, 0}, {4, 0, 0}, Out);
  EXPECT_EQ(Calls, 1);
  EXPECT_EQ(Out.size(), 2 * One) << "the copy draws the same strokes";
}

TEST(PatternPreparation, SolidAndDottedAndZeroLength) {
  EXPECT_TRUE(Pattern({1}).IsSolid());
  EXPECT_TRUE(Pattern({0, -1}).IsDotted());
  EXPECT_FALSE(Pattern({1, -1}).IsDotted());
  TqdLines Z = Pattern({0, 0});
  EXPECT_TRUE(Z.SimpleElements().empty());  // no length: solid
  std::vector<TFPoint> Out;
  Z.Line({0, 0, 0}, {5, 0, 0}, Out);
  ExpectPieces(Along(Out), {{0, 5}});
  EXPECT_EQ(Pattern({1, -1}).GetElement(2), nullptr);
  EXPECT_EQ(Pattern({1, -1}).GetElement(-1), nullptr);
}

TEST(PatternPreparation, AssignCopiesTheDefinitionNotThePreparation) {
  TqdLines A = Pattern({1, -1}, true);
  A.SetScale(3);
  TqdLines B;
  B.Assign(A);
  EXPECT_EQ(B.ElementsCount(), 2);
  EXPECT_EQ(B.Scale(), 3);
  EXPECT_TRUE(B.IsUniform());
  EXPECT_TRUE(B.SimpleElements().empty());
}

// ---------------------------------------------------------------- bounds

TEST(PatternBounds, DashesAndEmbeddedOnlyOnAClosedCurveEnd) {
  // The first prepared element is embedded (no start offset) and the pattern is made
  // of dashes only: the walk must end however the sums round.
  TqdLines L;
  TqdLTypeElement Shape;
  Shape.ComplexType = TqdLTypeElement::cnstText;
  Shape.Text = "*";
  L.Add(Shape);
  L.AddTick(0.1);
  L.SetIsUniform(true);
  L.SetIsAutocadMetod(true);
  L.Loaded(nullptr);
  for (int Parts : {3, 7, 64, 1000}) {
    std::vector<TFPoint> Out;
    L.Curve(Circle(10.0000000001, Parts), Out, true);
    EXPECT_LE(static_cast<int>(Out.size()), 2 * (100 + 2) + 2 * Parts) << Parts;
    EXPECT_GT(static_cast<int>(Out.size()), 0);
  }
}

TEST(PatternBounds, DashLimitGuardRestoresEvenWhenWorkThrows) {
  EXPECT_EQ(qdDashLimit(), cnstDefaultDashLimit);
  try {
    TqdDashLimitGuard G(qdDashLimit() / 8);
    EXPECT_EQ(qdDashLimit(), 1000);
    throw std::runtime_error("polyline failed");
  } catch (const std::runtime_error&) {
  }
  EXPECT_EQ(qdDashLimit(), cnstDefaultDashLimit);
  // The lowered limit makes long pieces solid sooner.
  TqdDashLimitGuard G(1000);
  std::vector<TFPoint> Out;
  Pattern({1, -1}).Line({0, 0, 0}, {2005, 0, 0}, Out);
  EXPECT_EQ(static_cast<int>(Out.size()), 2);
}

TEST(PatternBounds, HugeAndTinyValuesStaySolidAndFinite) {
  std::vector<TFPoint> Out;
  Pattern({1e300, -1e300}).Curve(Circle(10, 16), Out, true);
  Pattern({1e-300, -1e-300}).Curve(Circle(10, 16), Out, true);
  Pattern({1, -1}).Line({0, 0, 0}, {1e308, 0, 0}, Out);
  for (const TFPoint& P : Out) EXPECT_TRUE(IsFiniteFPoint(P));
}

// ---------------------------------------------------------------- table item

TEST(LineTypeItem, ContinuousInAnyCaseHasNoPattern) {
  TqdDXFConverter C;
  auto* LT = dynamic_cast<TqdDXFLineType*>(
      C.NewNamedEntity(C.GetOrCreateSection(csLTypes), ClassOf<TqdDXFLineType>(), "continuous"));
  ASSERT_NE(LT, nullptr);
  TqdLTypeElement E;
  E.Dash = 1;
  LT->AddElement(E);
  E.Dash = -1;
  LT->AddElement(E);
  C.Loads(LT);
  EXPECT_EQ(LT->Name(), "CONTINUOUS");
  EXPECT_EQ(LT->ElementCount(), 0);
  EXPECT_TRUE(LT->Lines().IsSolid());
}

TEST(LineTypeItem, LoadingPreparesThePatternAndScaleFollows) {
  TqdDXFConverter C;
  auto* LT = dynamic_cast<TqdDXFLineType*>(
      C.NewNamedEntity(C.GetOrCreateSection(csLTypes), ClassOf<TqdDXFLineType>(), "DASHED"));
  ASSERT_NE(LT, nullptr);
  for (double D : {0.5, -0.25}) {
    TqdLTypeElement E;
    E.Dash = D;
    LT->AddElement(E);
  }
  LT->SetLineTypeScale(-2);
  C.Loads(LT);
  EXPECT_EQ(LT->Lines().PatternLength(), 0.75);
  EXPECT_EQ(LT->Lines().SimpleElements().size(), 2u);
  EXPECT_EQ(LT->Lines().Scale(), 2);
  EXPECT_THROW(LT->Element(5), std::out_of_range);
}

}  // namespace
