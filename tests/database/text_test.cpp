// Text, multiline text and text codes: placement and the faults that hostile values
// from files must not cause (divisions by zero, runaway loops, overruns).
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>

#include "DXFConv.h"
#include "Texts.h"
#include "qdFunction.h"

namespace {

struct TTextFixture : ::testing::Test {
  TqdDXFConverter C;
  std::unique_ptr<TqdDXFText> Text(const std::string& S, double H = 2.5) {
    auto T = std::make_unique<TqdDXFText>();
    T->SetText(S);
    T->SetHeight(H);
    T->Loaded(&C);
    return T;
  }
  std::unique_ptr<TqdDXFMText> MText(const std::string& S, double H = 2.5, double RW = 0) {
    auto T = std::make_unique<TqdDXFMText>();
    T->SetText(S);
    T->SetHeight(H);
    T->SetRectWidth(RW);
    T->Loaded(&C);
    return T;
  }
};

bool Finite(const TFRect& B) { return IsFiniteBox(B) && !IsBadBox(B); }
double Width(const TFRect& B) { return B.Right - B.Left; }

}  // namespace

TEST(TextCodes, Decode) {
  struct {
    const char* In;
    std::u16string Out;
  } Rows[] = {
      {"%%dC", u"\u00B0C"},  {"%%%", u"%"},          {"%%065", u"A"},       {"a\\U+0041b", u"aAb"},
      {"x\\U+00", u"x"},     {"%%", u""},            {"\\\\", u"\\"},       {"%%p1", u"\u00B11"},
      {"\\M+1", u""},        {"%%u", u""},           {"\\U+", u""},
      {"%%127%%128%%129", u"\u00B0\u00B1\u2205"},       {"%%176%%216", u"\u00B0\u00D8"},
  };
  for (const auto& R : Rows) EXPECT_EQ(qdDecodeTextCodes(R.In), R.Out) << R.In;
  bool U = false, O = false;
  qdDecodeTextCodes("%%uABC%%u%%o", &U, &O);
  EXPECT_FALSE(U);
  EXPECT_TRUE(O);
}

TEST(TextCodes, ObliqueIsReducedAndClamped) {
  struct {
    double In, Out;
  } Rows[] = {{90, 85}, {-90, -85}, {450, 85}, {370, 10}, {-350, 10}, {1e300, 0}, {NAN, 0}, {30, 30}};
  for (const auto& R : Rows) EXPECT_NEAR(qdClampOblique(R.In), R.Out, 1e-6) << R.In;
}

TEST_F(TTextFixture, PlainTextHasAFiniteBox) {
  auto T = Text("Hello");
  ASSERT_TRUE(Finite(T->Box()));
  EXPECT_NEAR(T->Box().Left, 0, 0.5);
  EXPECT_GT(Width(T->Box()), 2.5);
  EXPECT_FALSE(T->Runs().empty());
}

TEST_F(TTextFixture, ObliqueAndWidthFactorExtremesStayBounded) {
  for (double A : {90.0, -90.0, 270.0, 1e9}) {
    auto T = std::make_unique<TqdDXFText>();
    T->SetText("ABC");
    T->SetHeight(1);
    T->SetObliqueAngle(A);
    T->SetScale(0);  // a width factor 0 from a file
    T->Loaded(&C);
    ASSERT_TRUE(Finite(T->Box())) << A;
    EXPECT_LT(Width(T->Box()), 50) << A;
  }
}

TEST_F(TTextFixture, FitWithCoincidentPointsAndHeightZero) {
  auto T = std::make_unique<TqdDXFText>();
  T->SetText("ABC");
  T->SetHeight(0);
  T->SetHAlign(5);
  T->SetPoint({1, 1, 0});
  T->SetPoint1({1, 1, 0});
  T->Loaded(&C);
  EXPECT_TRUE(Finite(T->Box()));
}

TEST_F(TTextFixture, FitFromOriginToTenTenTurns45) {
  auto T = std::make_unique<TqdDXFText>();
  T->SetText("ABC");
  T->SetHeight(1);
  T->SetHAlign(5);
  T->SetPoint({0, 0, 0});
  T->SetPoint1({10, 10, 0});
  T->Loaded(&C);
  const TFMatrix& M = T->GetMatrix();
  EXPECT_NEAR(std::atan2(M.EX.Y, M.EX.X) * 180 / M_PI, 45, 1e-6);
  EXPECT_EQ(T->Rotation(), 0);  // derived, the stored rotation stays
}

TEST_F(TTextFixture, LoadingTwiceGivesTheSameResult) {
  for (int HA : {0, 2, 3, 5}) {
    auto T = std::make_unique<TqdDXFText>();
    T->SetText("Twice");
    T->SetHeight(2);
    T->SetHAlign(static_cast<std::uint8_t>(HA));
    T->SetGenerationFlags(6);
    T->SetPoint({0, 0, 0});
    T->SetPoint1({20, 5, 0});
    T->Loaded(&C);
    const TFRect B1 = T->Box();
    const double H = T->Height(), S = T->Scale(), R = T->Rotation();
    T->Loaded(&C);
    EXPECT_EQ(T->Box(), B1) << HA;
    EXPECT_EQ(T->Height(), H);
    EXPECT_EQ(T->Scale(), S);
    EXPECT_EQ(T->Rotation(), R);
  }
}

TEST_F(TTextFixture, RightAlignedWithoutSecondPointIsLeftAligned) {
  auto A = Text("Right");
  auto T = std::make_unique<TqdDXFText>();
  T->SetText("Right");
  T->SetHeight(2.5);
  T->SetHAlign(2);
  T->Loaded(&C);
  EXPECT_EQ(T->Box(), A->Box());
}

TEST_F(TTextFixture, MTextHostileCodes) {
  // Each row must load (no hang, no overrun) and draw something.
  const char* Rows[] = {
      "}}}abc",                 // unbalanced closing braces
      "\\$abc",                 // no stacked level
      "abc\\S1/2",              // stack without ";"
      "a^Ib^Ic",                // tabs
      "\\pt1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18,19,20;a^Ib",  // more than 15 stops
      "abc\\U+00",              // short escapes at the end
      "abc\\M+1",
      "abc\\f",
      "abc\\H",
      "abc\\p",
      "{{{{{{{{{{{{{{{{{{{{{{{{{{{{{{{{{{{{{{{{{{{{{{{{{{{{{{{{{{{{{{{{{{{{{{{abc",
      "abc\\",
      "abc%%",
  };
  for (const char* R : Rows) {
    auto M = MText(R);
    EXPECT_TRUE(Finite(M->Box())) << R;
  }
}

TEST_F(TTextFixture, MTextTabsWithHeightZeroFinish) {
  auto M = MText("a^Ib^Ic", 0);
  EXPECT_TRUE(Finite(M->Box()));
}

TEST_F(TTextFixture, MTextTabStops) {
  // Height 2: default stops every 8.
  auto One = MText("a^Ib", 2);
  auto Two = MText("a^I^Ib", 2);
  EXPECT_NEAR(One->Box().Right - Two->Box().Right, -8, 0.5);
  EXPECT_GT(One->Box().Right, 8);
}

TEST_F(TTextFixture, MTextWrapsInsideItsWidthAndAlwaysProgresses) {
  auto Wide = MText("aaa bbb ccc ddd eee fff", 1, 0);
  auto Wrapped = MText("aaa bbb ccc ddd eee fff", 1, 5);
  EXPECT_GT(Wrapped->Box().Top - Wrapped->Box().Bottom, 2 * (Wide->Box().Top - Wide->Box().Bottom));
  // A width that holds no character still places every word, one a line.
  auto Tiny = MText("aaa bbb ccc       ddd", 1, 1e-6);
  EXPECT_TRUE(Finite(Tiny->Box()));
  auto Blanks = MText("a          b", 1, 1e-3);
  EXPECT_TRUE(Finite(Blanks->Box()));
}

TEST_F(TTextFixture, MTextZeroDirectionIsNotGiven) {
  auto M = std::make_unique<TqdDXFMText>();
  M->SetText("Direction");
  M->SetHeight(1);
  M->SetPoint1({0, 0, 0});
  M->SetAngle(0);
  M->Loaded(&C);
  EXPECT_NEAR(M->EffectiveAngle(), 0, 1e-9);
  EXPECT_GT(Width(M->Box()), M->Box().Top - M->Box().Bottom);
}

TEST_F(TTextFixture, MTextBottomRightAttachment) {
  auto M = std::make_unique<TqdDXFMText>();
  M->SetText("Corner");
  M->SetHeight(1);
  M->SetAlign(9);
  M->SetPoint({10, 10, 0});
  M->Loaded(&C);
  ASSERT_TRUE(Finite(M->Box()));
  EXPECT_NEAR(M->Box().Right, 10, 1e-6);
  EXPECT_NEAR(M->Box().Bottom, 10, 1e-6);
}

TEST_F(TTextFixture, MTextHeightCodeDoubles) {
  auto A = MText("ab", 1);
  auto B = MText("\\H2x;ab", 1);
  EXPECT_NEAR(Width(B->Box()), 2 * Width(A->Box()), 0.05 * Width(B->Box()));
}

// ---------------------------------------------------------------- shapes

#include <filesystem>
#include <fstream>
#include <unistd.h>

#include "../fonts/ShxBuilders.h"
#include "SHXFontList.h"
#include "TableItems.h"

namespace {

// A drawing with a shape-file style whose file holds "BOX" (number 5): a square of
// 2 x 2 vector units from the origin.
struct TShapeFixture : ::testing::Test {
  TqdDXFConverter C;
  std::filesystem::path Dir;
  void SetUp() override {
    Dir = std::filesystem::temp_directory_path() / ("dw-shapes-" + std::to_string(::getpid()));
    std::filesystem::create_directories(Dir);
    TBytes D{'B', 'O', 'X', 0, 1, 0x20, 0x24, 0x28, 0x2C, 0};
    const TBytes F = NormalFont({{5, D}});
    std::ofstream(Dir / "myshapes.shx", std::ios::binary).write(reinterpret_cast<const char*>(F.data()), F.size());
    ASSERT_TRUE(C.SHXFonts()->InsertSearchDir(Dir.string()));
    auto* S = dynamic_cast<TqdDXFStyle*>(C.NewNamedEntity(C.GetOrCreateSection(csStyles), ClassOf<TqdDXFStyle>(), "SHAPES"));
    S->SetFlags(1);
    S->FPrimaryFont = "myshapes.shx";
    C.Loads(S);
  }
  void TearDown() override { std::filesystem::remove_all(Dir); }
  std::unique_ptr<TqdDXFShape> Shape(const std::string& Name, double H, double Rot = 0) {
    auto T = std::make_unique<TqdDXFShape>();
    T->SetShapeName(Name);
    T->SetPoint({10, 20, 0});
    T->SetHeight(H);
    T->SetRotation(Rot);
    T->Loaded(&C);
    return T;
  }
  bool Warned(const std::string& Part) const {
    for (const std::string& W : C.Warnings())
      if (W.find(Part) != std::string::npos) return true;
    return false;
  }
};

}  // namespace

TEST_F(TShapeFixture, ShapeIsDrawnFromItsShapeFileAtItsSize) {
  auto T = Shape("box", 3);  // names compare upper-cased
  ASSERT_TRUE(Finite(T->Box()));
  EXPECT_EQ(T->ShapeNumber(), 5);
  // A vector unit of a shape file is one unit of the shape's size.
  EXPECT_NEAR(T->Box().Left, 10, 1e-9);
  EXPECT_NEAR(T->Box().Bottom, 20, 1e-9);
  EXPECT_NEAR(Width(T->Box()), 6, 1e-9);
  EXPECT_NEAR(T->Box().Top - T->Box().Bottom, 6, 1e-9);
  std::vector<TqdTextPath> P;
  T->GetPaths(P);
  ASSERT_FALSE(P.empty());
  EXPECT_FALSE(P[0].Filled);
  // Rotated a quarter turn the square lies left of the insertion point.
  auto R = Shape("BOX", 3, 90);
  EXPECT_NEAR(R->Box().Right, 10, 1e-9);
  EXPECT_NEAR(R->Box().Left, 4, 1e-9);
  EXPECT_FALSE(Warned("SHAPE"));
}

TEST_F(TShapeFixture, ShapeByNumberAndMissingShapes) {
  // DWG files name a shape by its number.
  auto N = Shape("5", 1);
  EXPECT_TRUE(Finite(N->Box()));
  auto M = Shape("NO-SUCH-SHAPE", 1);
  EXPECT_FALSE(Finite(M->Box()));
  EXPECT_TRUE(M->Runs().empty());
  EXPECT_TRUE(Warned("SHAPE: shape \"NO-SUCH-SHAPE\" not found"));
  auto Z = Shape("70000", 1);  // not a 16-bit number
  EXPECT_FALSE(Finite(Z->Box()));
}

TEST(TextCodes, DoubleByteCharacters) {
  // Family 1 is code page 932: 0x82A0 is HIRAGANA LETTER A; family 5 is 936.
  EXPECT_EQ(qdDecodeTextCodes("a\\M+182A0b"), u"a\u3042b");
  EXPECT_EQ(qdDecodeTextCodes("\\M+5B0A1"), u"\u554A");
  EXPECT_EQ(qdDecodeTextCodes("\\M+182"), u"");  // too few digits: dropped
}

// ---------------------------------------------------------------- MText lines

namespace {

struct TMTextLines : TTextFixture {
  std::unique_ptr<TqdDXFMText> Make(const std::string& S, double H, int Align = 1, double F = 1) {
    auto T = std::make_unique<TqdDXFMText>();
    T->SetText(S);
    T->SetHeight(H);
    T->SetAlign(Align);
    T->SetLineSpacingFactor(F);
    T->Loaded(&C);
    return T;
  }
  // The origin (baseline start) of the first run that shows S.
  static TFPoint Origin(const TqdDXFMText& M, const std::u16string& S) {
    for (const TqdTextRun& R : M.Runs())
      if (!R.IsLine && R.Text == S) return TransformPoint({0, 0, 0}, R.Matrix);
    ADD_FAILURE() << "no run";
    return {};
  }
  // Font heights of the text's font at height H: above, below the baseline.
  static void Heights(const TqdDXFMText& M, double H, double& Above, double& Below) {
    TqdRunMetrics Me;
    ASSERT_FALSE(M.Runs().empty());
    ASSERT_TRUE(qdMeasureRun(M.Runs().front(), Me));
    Above = Me.Ascent / Me.Units * H;
    Below = Me.Descent / Me.Units * H;
  }
};

}  // namespace

TEST_F(TMTextLines, VerticalAlignmentWithinTheLine) {
  // A line of height 2 holding a piece of height 1: bottom keeps the baseline, centre
  // lifts by half the difference, top by all of it.
  for (int V = 0; V <= 2; ++V) {
    auto M = Make("{\\H2;A}\\A" + std::to_string(V) + ";{\\H1;B}", 1);
    const TFPoint PA = Origin(*M, u"A"), PB = Origin(*M, u"B");
    EXPECT_NEAR(PB.Y - PA.Y, 0.5 * V, 1e-6) << V;
  }
  // Out-of-range values are ignored.
  auto M = Make("{\\H2;A}\\A7;{\\H1;B}", 1);
  EXPECT_NEAR(Origin(*M, u"B").Y, Origin(*M, u"A").Y, 1e-6);
  // Codes cut short at the end of the string.
  EXPECT_TRUE(Finite(Make("ab\\A", 1)->Box()));
  EXPECT_TRUE(Finite(Make("ab\\T", 1)->Box()));
  EXPECT_TRUE(Finite(Make("ab\\Tx;c\\A-1;d", 1)->Box()));
}

TEST_F(TMTextLines, TrackingStretchesAdvancesNotGlyphs) {
  auto Plain = Make("abc", 1);
  auto Tracked = Make("\\T2;abc", 1);
  const double WP = Plain->Box().Right - Plain->Box().Left;
  ASSERT_GT(WP, 0.5);
  EXPECT_NEAR(Tracked->Box().Right - Tracked->Box().Left, 2 * WP, 0.02 * WP);
  // Each character keeps its size: the scale of its run is the plain one.
  const TFMatrix& MP = Plain->Runs().front().Matrix;
  const TFMatrix& MT = Tracked->Runs().front().Matrix;
  const TFPoint UP = TransformPoint({1, 1, 0}, MP), OP = TransformPoint({0, 0, 0}, MP);
  const TFPoint UT = TransformPoint({1, 1, 0}, MT), OT = TransformPoint({0, 0, 0}, MT);
  EXPECT_NEAR(UP.X - OP.X, UT.X - OT.X, 1e-9);
  EXPECT_NEAR(UP.Y - OP.Y, UT.Y - OT.Y, 1e-9);
  // "c" starts after two stretched advances.
  EXPECT_GT(Origin(*Tracked, u"c").X - Origin(*Tracked, u"a").X, WP);
  // Hostile factors are held to the editor's range 0.75..4.
  auto Huge = Make("\\T1e300;abc", 1);
  EXPECT_NEAR(Huge->Box().Right - Huge->Box().Left, 4 * WP, 0.04 * WP);
  auto Neg = Make("\\T-5;abc", 1);
  EXPECT_LT(Neg->Box().Right - Neg->Box().Left, WP);
  EXPECT_GT(Neg->Box().Right - Neg->Box().Left, 0.74 * WP);
}

TEST_F(TMTextLines, LinePitchFollowsTheFontAndTheFactor) {
  auto One = Make("A\\PB", 2);
  double Ab = 0, Be = 0;
  Heights(*One, 2, Ab, Be);
  ASSERT_GT(Ab, 0);
  // Font height of the line plus the base font's depth; the factor scales it.
  const double Pitch = Origin(*One, u"A").Y - Origin(*One, u"B").Y;
  EXPECT_NEAR(Pitch, Ab + 2 * Be, 1e-6);
  auto Two = Make("A\\PB", 2, 1, 2);
  EXPECT_NEAR(Origin(*Two, u"A").Y - Origin(*Two, u"B").Y, 2 * Pitch, 1e-6);
  // The first baseline hangs by the text height.
  EXPECT_NEAR(Origin(*One, u"A").Y, -2, 1e-6);
  // A taller first line pushes the next one down by its own font height: its top is 4
  // above its baseline, the next top 2·(Ab + Be) + Be lower and 2 above the next baseline.
  auto Tall = Make("{\\H4;A}\\PB", 2);
  EXPECT_NEAR(Origin(*Tall, u"A").Y - Origin(*Tall, u"B").Y, 2 * Ab + 3 * Be - 2, 1e-6);
}

TEST_F(TMTextLines, LeadingBreaks) {
  auto Plain = Make("A", 2);
  auto Two = Make("\\P\\PA", 2);
  double Ab = 0, Be = 0;
  Heights(*Plain, 2, Ab, Be);
  // Each empty line is one line pitch of the base font ("@" gives its height).
  EXPECT_NEAR(Origin(*Plain, u"A").Y - Origin(*Two, u"A").Y, 2 * (Ab + 2 * Be), 1e-6);
  // Bottom attachments: the breaks change nothing.
  auto B1 = Make("A", 2, 7), B2 = Make("\\P\\PA", 2, 7);
  EXPECT_NEAR(B1->Box().Top, B2->Box().Top, 1e-9);
  EXPECT_NEAR(B1->Box().Bottom, B2->Box().Bottom, 1e-9);
}

namespace {

// A drawing whose style "TALL" uses a font 10 units above and 5 below the baseline
// (txt is 6 and 2), so the line pitch shows which heights it comes from.
struct TMTextFonts : TMTextLines {
  std::filesystem::path Dir;
  void SetUp() override {
    Dir = std::filesystem::temp_directory_path() / ("dw-mtextfonts-" + std::to_string(::getpid()));
    std::filesystem::create_directories(Dir);
    // Every glyph: a stroke 10 up, back down with the pen up, 8 to the right.
    std::vector<TTestShape> Shapes{{0, InfoDef("tall", 10, 5)}};
    for (int Ch : {'0', '@', 'A', 'B'}) Shapes.push_back({Ch, Def({1, 0xA4, 2, 0xAC, 0x80, 0})});
    const TBytes F = NormalFont(Shapes);
    std::ofstream(Dir / "tall.shx", std::ios::binary).write(reinterpret_cast<const char*>(F.data()), F.size());
    ASSERT_TRUE(C.SHXFonts()->InsertSearchDir(Dir.string()));
  }
  void TearDown() override { std::filesystem::remove_all(Dir); }
  TqdDXFStyle* NewStyle(const std::string& Name) {
    return dynamic_cast<TqdDXFStyle*>(C.NewNamedEntity(C.GetOrCreateSection(csStyles), ClassOf<TqdDXFStyle>(), Name));
  }
  std::unique_ptr<TqdDXFMText> Styled(TqdDXFStyle* S, const std::string& Str, double H, int LSStyle = 1) {
    auto T = std::make_unique<TqdDXFMText>();
    T->SetText(Str);
    T->SetHeight(H);
    T->SetStyle(S);
    T->SetLineSpacingStyle(LSStyle);
    T->Loaded(&C);
    return T;
  }
};

}  // namespace

TEST_F(TMTextFonts, LinePitchOfAnotherShxFont) {
  TqdDXFStyle* S = NewStyle("TALL");
  S->FPrimaryFont = "tall.shx";
  C.Loads(S);
  auto M = Styled(S, "A\\PB", 2);
  ASSERT_FALSE(M->Runs().empty());
  ASSERT_FALSE(M->Runs().front().TTF);
  double Ab = 0, Be = 0;
  Heights(*M, 2, Ab, Be);
  ASSERT_NEAR(Ab, 2, 1e-9);
  ASSERT_NEAR(Be, 1, 1e-9);
  // Above + below of the line plus the base font's below: 2 + 1 + 1, not 5/3 of 2.
  EXPECT_NEAR(Origin(*M, u"A").Y - Origin(*M, u"B").Y, 4, 1e-6);
  // Exact spacing takes no extra line gap either way: the same pitch.
  auto E = Styled(S, "A\\PB", 2, 2);
  EXPECT_NEAR(Origin(*E, u"A").Y - Origin(*E, u"B").Y, 4, 1e-6);
  // A smaller line after it hangs by its own font heights.
  auto Mixed = Styled(S, "A\\P{\\H1;B}\\PA", 2);
  std::vector<double> Ys;
  for (const TqdTextRun& R : Mixed->Runs())
    if (!R.IsLine) Ys.push_back(TransformPoint({0, 0, 0}, R.Matrix).Y);
  ASSERT_EQ(Ys.size(), 3u);
  // Line 1 top 0, baseline -2; line 2 top -(3 + 1) = -4, baseline -5; line 3 top
  // -4 - (1.5 + 1) = -6.5, baseline -8.5.
  EXPECT_NEAR(Ys[0], -2, 1e-6);
  EXPECT_NEAR(Ys[1], -5, 1e-6);
  EXPECT_NEAR(Ys[2], -8.5, 1e-6);
}

TEST_F(TMTextFonts, LinePitchOfATrueTypeFace) {
  TqdDXFStyle* S = NewStyle("FACE");
  S->FFontName = "DejaVu Sans";
  C.Loads(S);
  auto M = Styled(S, "A\\PB", 3);
  ASSERT_FALSE(M->Runs().empty());
  if (!M->Runs().front().TTF) GTEST_SKIP() << "no TrueType face is installed";
  double Ab = 0, Be = 0;
  Heights(*M, 3, Ab, Be);
  ASSERT_GT(Ab, 3);  // the face's ascent lies above its capitals
  ASSERT_GT(Be, 0);
  // The face's ascent and descent plus its descent again, as for any font.
  EXPECT_NEAR(Origin(*M, u"A").Y - Origin(*M, u"B").Y, Ab + 2 * Be, 1e-6);
  // The first baseline still hangs by the text height (capitals touch the top).
  EXPECT_NEAR(Origin(*M, u"A").Y, -3, 1e-6);
}

TEST_F(TMTextFonts, ShxArcsFollowTheTolerance) {
  // "O" of two bulge arcs (semicircles of radius 4 about (4, 0)), font height 8.
  std::vector<TTestShape> Shapes{{0, InfoDef("round", 8, 2)},
                                 {'O', Def({1, 12, 8, 0, 127, 12, 0xF8, 0, 127, 2, 0xA0, 0})}};
  const TBytes F = NormalFont(Shapes);
  std::ofstream(Dir / "round.shx", std::ios::binary).write(reinterpret_cast<const char*>(F.data()), F.size());
  TqdDXFStyle* S = NewStyle("ROUND");
  S->FPrimaryFont = "round.shx";
  C.Loads(S);
  TqdDXFText T;
  T.SetText("O");
  T.SetHeight(8);
  T.SetStyle(S);
  T.Loaded(&C);
  ASSERT_FALSE(T.Runs().empty());
  ASSERT_FALSE(T.Runs().front().TTF);
  auto Points = [&](double Tol) {
    std::vector<TqdTextPath> P;
    T.GetPaths(P, Tol);
    std::vector<TFPoint> R;
    for (const TqdTextPath& Q : P) R.insert(R.end(), Q.Points.begin(), Q.Points.end());
    return R;
  };
  const std::vector<TFPoint> Full = Points(0), Coarse = Points(0.5), Tiny = Points(100);
  // Strokes kept from the first drawing give the same points again, at each detail.
  const std::vector<TFPoint> Again = Points(0.5);
  ASSERT_EQ(Again.size(), Coarse.size());
  for (std::size_t K = 0; K < Again.size(); ++K) EXPECT_EQ(Again[K], Coarse[K]);
  EXPECT_EQ(Points(0).size(), Full.size());
  // Another string of the same font is not served the first one's strokes.
  TqdDXFText T2;
  T2.SetText("OO");
  T2.SetHeight(8);
  T2.SetStyle(S);
  T2.Loaded(&C);
  std::vector<TqdTextPath> P2;
  T2.GetPaths(P2, 0.5);
  ASSERT_EQ(P2.size(), 1u);
  EXPECT_EQ(P2[0].Points.size(), 2 * Coarse.size());
  ASSERT_GT(Full.size(), 8u);
  EXPECT_LT(Coarse.size(), Full.size());
  EXPECT_GE(Coarse.size(), 5u);  // still a round shape
  EXPECT_GE(Tiny.size(), 3u);    // at least the chords of the two arcs
  // Paths drawn into storage left from a longer text hold only the new text's points.
  std::vector<TqdTextPath> Reused;
  ASSERT_EQ(T2.GetPathsReusing(Reused, 0.5), 1u);
  EXPECT_EQ(Reused[0].Points.size(), P2[0].Points.size());
  ASSERT_EQ(T.GetPathsReusing(Reused, 0.5), 1u);
  ASSERT_EQ(Reused[0].Points.size(), Coarse.size());
  for (std::size_t K = 0; K < Coarse.size(); ++K) EXPECT_EQ(Reused[0].Points[K], Coarse[K]);
  int Sum = 0;
  for (int N : Reused[0].Counts) Sum += N;
  EXPECT_EQ(static_cast<std::size_t>(Sum), Coarse.size());

  // Every point lies on the circle, and the chords stray no further than the tolerance.
  for (const TFPoint& Q : Coarse) EXPECT_NEAR(std::hypot(Q.X - 4, Q.Y), 4, 1e-6);
  for (std::size_t K = 1; K < Coarse.size(); ++K) {
    const double MX = (Coarse[K].X + Coarse[K - 1].X) / 2, MY = (Coarse[K].Y + Coarse[K - 1].Y) / 2;
    EXPECT_LE(4 - std::hypot(MX - 4, MY), 0.5 + 1e-9);
  }
}
