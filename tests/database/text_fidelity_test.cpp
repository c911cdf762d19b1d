// What a text holds is what it draws: signs of mechanical drawings in SHX and
// TrueType styles, multiline text codes written without their terminator,
// paragraph alignment and margins, and columns.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "DXFConv.h"
#include "TTF.h"
#include "TableItems.h"
#include "Texts.h"
#include "qdFunction.h"

namespace {

struct TFidelity : ::testing::Test {
  TqdDXFConverter C;
  TqdDXFStyle* Style(const std::string& Name, const std::string& Font, const std::string& Face) {
    auto* S = dynamic_cast<TqdDXFStyle*>(C.NewNamedEntity(C.GetOrCreateSection(csStyles), ClassOf<TqdDXFStyle>(), Name));
    S->FPrimaryFont = Font;
    S->FFontName = Face;
    C.Loads(S);
    return S;
  }
  std::unique_ptr<TqdDXFText> Text(TqdDXFStyle* S, const std::string& Str) {
    auto T = std::make_unique<TqdDXFText>();
    T->SetText(Str);
    T->SetHeight(10);
    T->SetStyle(S);
    T->Loaded(&C);
    return T;
  }
  std::unique_ptr<TqdDXFMText> MText(TqdDXFStyle* S, const std::string& Str, double Width = 0) {
    auto T = std::make_unique<TqdDXFMText>();
    T->SetText(Str);
    T->SetHeight(10);
    T->SetRectWidth(Width);
    if (S) T->SetStyle(S);
    T->Loaded(&C);
    return T;
  }
};

// Outline points rounded to a hundredth of the text height, relative to the first:
// equal for equal glyphs, different for different ones.
std::vector<std::pair<long, long>> Outline(const std::vector<TqdTextPath>& Paths) {
  std::vector<std::pair<long, long>> R;
  for (const TqdTextPath& P : Paths)
    for (const TFPoint& Q : P.Points) R.emplace_back(std::lround(Q.X * 10), std::lround(Q.Y * 10));
  if (R.empty()) return R;
  const auto O = R.front();
  for (auto& Q : R) Q = {Q.first - O.first, Q.second - O.second};
  return R;
}

template <class T>
std::vector<std::pair<long, long>> OutlineOf(const T& E) {
  std::vector<TqdTextPath> P;
  E.GetPaths(P);
  return Outline(P);
}

}  // namespace

// ---------------------------------------------------------------- signs

TEST_F(TFidelity, SignsDrawTheirOwnGlyphsInShxAndTrueTypeStyles) {
  struct TStyleRow {
    const char* Name;
    const char* Font;
    const char* Face;
  } Styles[] = {{"SHX", "txt.shx", ""}, {"TRUETYPE", "arial.ttf", "Arial"}};
  // The same three signs written as codes and as Unicode escapes.
  const char* Codes[] = {"%%c", "%%d", "%%p"};
  const char* Escapes[] = {"\\U+2205", "\\U+00B0", "\\U+00B1"};
  for (const TStyleRow& St : Styles) {
    TqdDXFStyle* S = Style(St.Name, St.Font, St.Face);
    const auto Missing = OutlineOf(*Text(S, "?"));
    ASSERT_FALSE(Missing.empty()) << St.Name;
    std::vector<std::vector<std::pair<long, long>>> Seen;
    for (int I = 0; I < 3; ++I) {
      const auto FromText = OutlineOf(*Text(S, Codes[I]));
      const auto FromMText = OutlineOf(*MText(S, Codes[I]));
      const auto Escaped = OutlineOf(*MText(S, Escapes[I]));
      EXPECT_FALSE(FromText.empty()) << St.Name << " " << Codes[I];
      EXPECT_NE(FromText, Missing) << St.Name << " " << Codes[I] << " draws \"?\"";
      EXPECT_NE(FromMText, Missing) << St.Name << " MTEXT " << Codes[I];
      EXPECT_EQ(FromMText.size(), FromText.size()) << St.Name << " " << Codes[I];
      EXPECT_EQ(Escaped, FromMText) << St.Name << " " << Escapes[I];
      for (const auto& Other : Seen) EXPECT_NE(FromText, Other) << St.Name << " " << Codes[I];
      Seen.push_back(FromText);
    }
  }
  // Font substitutions are reported; nothing was left out.
  for (const std::string& W : C.Warnings()) EXPECT_EQ(W.find("not drawn"), std::string::npos) << W;
}

TEST_F(TFidelity, EveryAddedShxSignHasAGlyph) {
  TqdDXFStyle* S = Style("SHX", "txt.shx", "");
  const auto Missing = OutlineOf(*Text(S, "?"));
  const char* Signs[] = {"\\U+00B0", "\\U+00B1", "\\U+2205", "\\U+00D8", "\\U+00B2", "\\U+00B3",
                         "\\U+00B5", "\\U+03A9", "\\U+2248", "\\U+2264", "\\U+2265", "\\U+2260",
                         "\\U+00D7", "\\U+00F7", "\\U+03C0", "\\U+0394", "\\U+221E", "%%176",
                         "%%177", "%%216"};
  for (const char* Sign : Signs) {
    const auto O = OutlineOf(*Text(S, Sign));
    EXPECT_FALSE(O.empty()) << Sign;
    EXPECT_NE(O, Missing) << Sign;
  }
}

TEST_F(TFidelity, CjkInAnArialStyleComesFromAFaceThatHasIt) {
  TqdDXFStyle* S = Style("TRUETYPE", "arial.ttf", "Arial");
  // Were they the face's missing-glyph box, the three would be the same outline.
  const auto A = OutlineOf(*Text(S, "\xE6\x97\xA5")), B = OutlineOf(*Text(S, "\xE6\x9C\xAC")),
             D = OutlineOf(*Text(S, "\xE8\xAA\x9E"));
  ASSERT_FALSE(A.empty());
  EXPECT_NE(A, B);
  EXPECT_NE(B, D);
  EXPECT_NE(A, D);
  const std::vector<TqdTTFResolution> Used = TTFFallbackFacesUsed();
  EXPECT_FALSE(Used.empty()) << "no fallback face named for info";
}

TEST_F(TFidelity, CharactersNoShxFontHasAreDrawnFromATrueTypeGlyph) {
  TqdDXFStyle* S = Style("SHX", "txt.shx", "");
  const auto Missing = OutlineOf(*Text(S, "?"));
  const auto A = OutlineOf(*Text(S, "\xE6\x97\xA5")), B = OutlineOf(*Text(S, "\xE6\x9C\xAC"));
  ASSERT_FALSE(A.empty());
  EXPECT_NE(A, Missing);
  EXPECT_NE(A, B);
  // It stands in the line like the letters around it: "A" + sign + "A" is wider than "AA".
  auto Wide = Text(S, "A\xE6\x97\xA5" "A"), Narrow = Text(S, "AA");
  EXPECT_GT(Wide->Box().Right - Wide->Box().Left, 1.5 * (Narrow->Box().Right - Narrow->Box().Left));
}

// ---------------------------------------------------------------- MText codes

namespace {

std::u16string AllText(const TqdDXFMText& M) {
  std::u16string S;
  for (const TqdTextRun& R : M.Runs())
    if (!R.IsLine) S += R.Text;
  return S;
}

}  // namespace

TEST_F(TFidelity, CodesWithoutTheirTerminatorKeepTheTextAfterThem) {
  struct TRow {
    const char* Name;
    const char* Written;
    const char* Terminated;  // null: nothing to compare the width with
    const char16_t* Last;    // the last word, which must be drawn
  } Rows[] = {
      {"colour", "Aaa bbb {\\C1ccc ddd} eee fff ggg", "Aaa bbb {\\C1;ccc ddd} eee fff ggg", u"ggg"},
      {"width factor", "Aaa {\\W2ccc} ddd", "Aaa {\\W2;ccc} ddd", u"ddd"},
      {"relative height", "Aaa {\\H2xccc} ddd", "Aaa {\\H2x;ccc} ddd", u"ddd"},
      {"true colour", "Aaa {\\c255ccc} ddd", "Aaa {\\c255;ccc} ddd", u"ddd"},
      {"unknown code", "Aaa \\Zbbb ccc", nullptr, u"ccc"},
      {"font without its end", "Aaa {\\Farial ccc} ddd", nullptr, u"ddd"},
      {"height without a number", "Aaa {\\Hccc} ddd", nullptr, u"ddd"},
  };
  for (const TRow& R : Rows) {
    auto M = MText(nullptr, R.Written);
    const std::u16string All = AllText(*M);
    EXPECT_NE(All.find(R.Last), std::u16string::npos) << R.Name;
    if (!R.Terminated) continue;
    auto T = MText(nullptr, R.Terminated);
    EXPECT_EQ(All, AllText(*T)) << R.Name;
    EXPECT_NEAR(M->Box().Right - M->Box().Left, T->Box().Right - T->Box().Left, 1e-6) << R.Name;
  }
  // The colour applies to the words inside the group only.
  auto M = MText(nullptr, "Aaa bbb {\\C1ccc ddd} eee");
  bool Red = false;
  for (const TqdTextRun& R : M->Runs()) {
    if (R.Text.find(u"ccc") != std::u16string::npos) Red = R.ColorIndex == 1;
    if (R.Text.find(u"eee") != std::u16string::npos) EXPECT_NE(R.ColorIndex, 1);
  }
  EXPECT_TRUE(Red);
}

// ---------------------------------------------------------------- paragraphs

namespace {

// The left and right ends of the pen over the runs holding any of the words.
void Span(const TqdDXFMText& M, std::initializer_list<const char16_t*> Words, double& L, double& R) {
  L = 1e300, R = -1e300;
  for (const TqdTextRun& Run : M.Runs()) {
    if (Run.IsLine) continue;
    bool Hit = false;
    for (const char16_t* W : Words) Hit = Hit || Run.Text.find(W) != std::u16string::npos;
    if (!Hit) continue;
    TqdRunMetrics Me;
    ASSERT_TRUE(qdMeasureRun(Run, Me));
    std::u16string T = Run.Text;
    // A trailing blank advances the pen but shows nothing.
    double Adv = Me.Advance;
    if (!T.empty() && T.back() == u' ') {
      TqdTextRun Trimmed = Run;
      Trimmed.Text = T.substr(0, T.find_last_not_of(u' ') + 1);
      TqdRunMetrics MT;
      ASSERT_TRUE(qdMeasureRun(Trimmed, MT));
      Adv = MT.Advance;
    }
    L = std::min(L, TransformPoint({0, 0, 0}, Run.Matrix).X);
    R = std::max(R, TransformPoint({Adv, 0, 0}, Run.Matrix).X);
  }
}

}  // namespace

TEST_F(TFidelity, ParagraphsAlignWithinTheirMargins) {
  auto M = MText(nullptr, "First.\\P\\P\\pxqc;Second centred.\\P\\pxqr;Third right.", 200);
  double L = 0, R = 0;
  Span(*M, {u"First"}, L, R);
  EXPECT_NEAR(L, 0, 1e-6);
  Span(*M, {u"Second", u"centred"}, L, R);
  EXPECT_NEAR((L + R) / 2, 100, 0.5);
  Span(*M, {u"Third", u"right"}, L, R);
  EXPECT_NEAR(R, 200, 0.5);
  // Margins: the right margin moves the right end in; the left margin and the first
  // line's indent move the start.
  auto Margins = MText(nullptr, "\\pxr20,qr;Right in margin\\P\\pxi5,l10,ql,r*;Indented", 200);
  Span(*Margins, {u"margin"}, L, R);
  EXPECT_NEAR(R, 180, 0.5);
  Span(*Margins, {u"Indented"}, L, R);
  EXPECT_NEAR(L, 15, 1e-3);
}

TEST_F(TFidelity, RightMarginWrapsWords) {
  auto Wide = MText(nullptr, "aaa bbb ccc ddd", 1000);
  auto Narrow = MText(nullptr, "\\pxr990;aaa bbb ccc ddd", 1000);
  // The margin leaves room for a word or so a line: the text grows downwards.
  EXPECT_GT(Narrow->Box().Top - Narrow->Box().Bottom, 2 * (Wide->Box().Top - Wide->Box().Bottom));
}

// ---------------------------------------------------------------- lines

namespace {

// The lines of a text, each as its start and end in the text's own units.
std::vector<std::pair<TFPoint, TFPoint>> LinesOf(const std::vector<TqdTextRun>& Runs) {
  std::vector<std::pair<TFPoint, TFPoint>> R;
  for (const TqdTextRun& Run : Runs)
    if (Run.IsLine) R.emplace_back(TransformPoint(Run.A, Run.Matrix), TransformPoint(Run.B, Run.Matrix));
  return R;
}

}  // namespace

TEST_F(TFidelity, UnderlineCodesInTextMarkTheirStretch) {
  auto Whole = Text(nullptr, "ABC");
  const double W = Whole->Box().Right - Whole->Box().Left;
  struct TRow {
    const char* Name;
    const char* Text;
    int Lines;
    double From, To;  // shares of the width of "ABC"
  } Rows[] = {{"both ends", "%%uABC%%u def", 1, 0, 1},
              {"to the end", "def %%uABC", 1, -1, -1},
              {"none", "ABC", 0, 0, 0},
              {"percent sign is no code", "%%%uABC", 0, 0, 0}};
  for (const TRow& R : Rows) {
    auto T = Text(nullptr, R.Text);
    const auto L = LinesOf(T->Runs());
    ASSERT_EQ(static_cast<int>(L.size()), R.Lines) << R.Name;
    if (L.empty()) continue;
    EXPECT_LT(L[0].first.Y, T->Point().Y) << R.Name << ": below the baseline";
    if (R.From >= 0) {
      EXPECT_NEAR(L[0].first.X, R.From * W, 0.05 * W) << R.Name;
      EXPECT_NEAR(L[0].second.X, R.To * W, 0.3 * W) << R.Name;
    } else {
      EXPECT_NEAR(L[0].second.X, T->Box().Right, 0.05 * W) << R.Name;
    }
  }
}

TEST_F(TFidelity, StrikeThroughCrossesTheMiddleOfTheLetters) {
  auto M = MText(nullptr, "\\KStruck\\k plain");
  const auto L = LinesOf(M->Runs());
  ASSERT_EQ(L.size(), 1u);
  // Height 10: the capitals reach 10 above the baseline of the run.
  double Base = 0;
  for (const TqdTextRun& R : M->Runs())
    if (!R.IsLine && R.Text.find(u"Struck") != std::u16string::npos) Base = TransformPoint({0, 0, 0}, R.Matrix).Y;
  EXPECT_NEAR(L[0].first.Y - Base, 5, 0.5);
}

// ---------------------------------------------------------------- columns

namespace {

// Where each word of a text starts: its pen position in the text's own units.
struct TWordAt {
  std::u16string Word;
  double X, Y;
};
std::vector<TWordAt> Words(const TqdDXFMText& M) {
  std::vector<TWordAt> R;
  for (const TqdTextRun& Run : M.Runs()) {
    if (Run.IsLine) continue;
    const std::size_t F = Run.Text.find_first_not_of(u' ');
    if (F == std::u16string::npos) continue;
    const TFPoint P = TransformPoint({0, 0, 0}, Run.Matrix);
    R.push_back({Run.Text.substr(F, Run.Text.find_last_not_of(u' ') - F + 1), P.X, P.Y});
  }
  return R;
}

std::string ManyWords(int N) {
  std::string S;
  for (int I = 0; I < N; ++I) S += "w" + std::to_string(I) + " ";
  return S;
}

}  // namespace

TEST_F(TFidelity, ColumnsFlowTheTextAtTheirWidthGutterAndHeight) {
  const std::string Str = ManyWords(40);
  struct TRow {
    const char* Name;
    TqdMTextColumns Cols;
    std::vector<double> Limits;  // the lowest baseline each column may reach (0: any)
  } Rows[] = {
      {"static", {1, 3, false, false, 100, 10, 150, {}}, {150, 150, 0}},
      {"dynamic, one height", {2, 0, false, true, 100, 10, 120, {}}, {120, 120, 120, 120}},
      {"dynamic, heights of their own", {2, 3, false, false, 100, 10, 0, {100, 200, 0}}, {100, 200, 0}},
  };
  auto Plain = MText(nullptr, Str, 100);
  for (const TRow& R : Rows) {
    auto M = std::make_unique<TqdDXFMText>();
    M->SetText(Str);
    M->SetHeight(10);
    M->SetRectWidth(330);  // the whole width: the columns' own width wins
    M->SetColumns(R.Cols);
    M->Loaded(&C);
    const auto W = Words(*M);
    // Every word drawn, in order, as in one column of the same width.
    ASSERT_EQ(W.size(), Words(*Plain).size()) << R.Name;
    std::vector<int> Used(R.Limits.size() + 1, 0);
    int Last = 0;
    for (std::size_t I = 0; I < W.size(); ++I) {
      EXPECT_EQ(W[I].Word, Words(*Plain)[I].Word) << R.Name;
      const int K = static_cast<int>(std::floor(W[I].X / 110));
      ASSERT_GE(K, 0) << R.Name;
      ASSERT_LT(K, static_cast<int>(Used.size())) << R.Name;
      EXPECT_LE(W[I].X - K * 110, 100 + 1e-6) << R.Name << ": inside its column, not in the gutter";
      EXPECT_GE(K, Last) << R.Name << ": columns fill from the left";
      Last = K;
      ++Used[K];
      if (static_cast<std::size_t>(K) < R.Limits.size() && R.Limits[K] > 0)
        EXPECT_GT(W[I].Y, -R.Limits[K]) << R.Name << " column " << K;
    }
    EXPECT_GT(Used[1], 0) << R.Name << ": the text flows on";
    // The box spans the columns used, from the attachment point.
    const double Span = M->Box().Right - M->Box().Left;
    const double N = (Span + 10) / 110;
    EXPECT_NEAR(N, std::round(N), 1e-9) << R.Name;
    EXPECT_GE(N, 2) << R.Name;
    EXPECT_NEAR(M->Box().Left, 0, 1e-6) << R.Name;
  }
}

TEST_F(TFidelity, ColumnBreaksAndReversedFlow) {
  auto Make = [&](const std::string& Str, bool Reversed) {
    auto M = std::make_unique<TqdDXFMText>();
    M->SetText(Str);
    M->SetHeight(10);
    M->SetColumns({1, 2, Reversed, false, 100, 10, 500, {}});
    M->Loaded(&C);
    return M;
  };
  // \N starts the next column at the top, however much room the first has left.
  auto M = Make("Aaa\\NBbb", false);
  auto W = Words(*M);
  ASSERT_EQ(W.size(), 2u);
  EXPECT_NEAR(W[1].X, 110, 1e-6);
  EXPECT_NEAR(W[1].Y, W[0].Y, 1e-6);
  // Right to left: the first column on the right.
  auto R = Make("Aaa\\NBbb", true);
  W = Words(*R);
  ASSERT_EQ(W.size(), 2u);
  EXPECT_NEAR(W[0].X, 110, 1e-6);
  EXPECT_NEAR(W[1].X, 0, 1e-6);
  // Outside columns \N breaks nothing.
  auto P = MText(nullptr, "Aaa\\NBbb");
  EXPECT_EQ(AllText(*P), u"AaaBbb");
}
