#include "SHXFontList.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>

#include "ShxBuilders.h"

namespace {

const std::string cBundled = DRAFTWELL_BUNDLED_FONTS_DIR;

bool HaveBundled() { return std::filesystem::exists(cBundled + "/draftwell-simplex.shx"); }

#define NEED_BUNDLED() \
  if (!HaveBundled()) GTEST_SKIP() << "bundled fonts not built in " << cBundled << " (hershey-fonts-data missing)"

// A text font: 'A' advance 6 with ink from 1 to 5; ' ' advance 4; '?' advance 3.
TBytes LetterFont(int Above = 10, bool WithQuestion = true) {
  std::vector<TTestShape> S{{0, InfoDef("letters", Above, 2)},
                            {'A', Def({2, 0x10, 1, 0x44, 0x40, 2, 0x4C, 0x10, 0})},
                            {' ', Def({2, 0x40, 0})},
                            {'B', Def({1, 0x20, 2, 0x88, 0})}};
  if (WithQuestion) S.push_back({'?', Def({1, 0x30, 0})});
  return NormalFont(S);
}

TEST(SHXSearchPath, EmptyPiecesAndMissingFolders) {
  TTempDir D("path");
  TqdSHXFontList L("/no/such/folder;;  " + D.Path.string() + "  ;");
  ASSERT_EQ(L.SearchPath().size(), 1u);
  EXPECT_EQ(L.SearchPath()[0], D.Dir());
  EXPECT_TRUE(L.InsertSearchDir(std::filesystem::temp_directory_path().string()));
  EXPECT_FALSE(L.InsertSearchDir("/no/such/folder"));
  EXPECT_EQ(L.SearchPath().size(), 2u);
}

TEST(SHXSearchPath, NamesFoundWhateverTheirCase) {
  TTempDir D("case");
  WriteFile(D.Path / "MyFont.Shx", LetterFont());
  TqdSHXFontList L(D.Dir());
  const TqdTextStyle* S = L.AddStyle("Standard", "myfont", "", false, false, false, 0, 1);
  EXPECT_TRUE(S->FontExists);
  EXPECT_EQ(S->FontPath, D.Dir() + "MyFont.Shx");
  ASSERT_GE(S->FontIndex, 0);
  EXPECT_TRUE(L.FontAt(S->FontIndex)->Loaded());
  EXPECT_EQ(L.IndexFontOfName("MYFONT.ttf"), S->FontIndex);
  EXPECT_EQ(L.StyleByName("standard"), S);
  ASSERT_EQ(L.Requests().size(), 1u);
  EXPECT_EQ(L.Requests()[0].Kind, frFile);
  EXPECT_TRUE(L.MissedFonts().empty());
}

TEST(SHXSearchPath, EnvironmentAndUserFolder) {
  TTempDir A("env"), Data("xdg");
  WriteFile(A.Path / "x.shx", LetterFont());
  std::filesystem::create_directories(Data.Path / "Vantrex/Resources/SHX");
  WriteFile(Data.Path / "Vantrex/Resources/SHX/y.SHX", LetterFont());
  TTempDir Empty("noshx");
  const std::string Old = std::getenv("DRAFTWELL_SHX_PATH") ? std::getenv("DRAFTWELL_SHX_PATH") : "";
  const std::string OldX = std::getenv("XDG_DATA_HOME") ? std::getenv("XDG_DATA_HOME") : "";
  setenv("DRAFTWELL_SHX_PATH", (Empty.Path.string() + ":" + A.Path.string()).c_str(), 1);
  setenv("XDG_DATA_HOME", Data.Path.string().c_str(), 1);
  SHXResetLibrarySearchPath();
  const std::string P = SHXLibrarySearchPath();
  setenv("DRAFTWELL_SHX_PATH", Old.c_str(), 1);
  setenv("XDG_DATA_HOME", OldX.c_str(), 1);
  SHXResetLibrarySearchPath();
  const size_t EnvAt = P.find(A.Dir() + ";");
  const size_t UserAt = P.find((Data.Path / "Vantrex/Resources/SHX/").string());
  ASSERT_NE(EnvAt, std::string::npos) << P;
  ASSERT_NE(UserAt, std::string::npos) << P;
  EXPECT_LT(EnvAt, UserAt);
  EXPECT_EQ(P.find(Empty.Dir()), std::string::npos) << "a folder without SHX files is left out";
  if (HaveBundled()) {
    const size_t BundledAt = P.find(SHXBundledFontsDir());
    EXPECT_LT(EnvAt, BundledAt);
    EXPECT_LT(BundledAt, UserAt);
  }
}

TEST(SHXFallback, MissingFontsServedByOurs) {
  NEED_BUNDLED();
  TqdSHXFontList L(cBundled);
  struct TRow {
    const char* Asked;
    const char* Served;
  };
  const TRow Rows[] = {{"txt", "draftwell-simplex.shx"},    {"romans.shx", "draftwell-simplex.shx"},
                       {"ROMAND.SHX", "draftwell-duplex.shx"}, {"romanc", "draftwell-complex.shx"},
                       {"greeks", "draftwell-greek.shx"},     {"cyrillic.shx", "draftwell-cyrillic.shx"},
                       {"nosuchfont", "draftwell-simplex.shx"}};
  for (const TRow& R : Rows) {
    const TqdTextStyle* S = L.AddStyle(R.Asked, R.Asked, "", false, false, false, 0, 1);
    EXPECT_FALSE(S->FontExists) << R.Asked;
    EXPECT_EQ(std::filesystem::path(S->FontPath).filename().string(), R.Served) << R.Asked;
    ASSERT_NE(L.FontAt(S->FontIndex), nullptr);
    EXPECT_TRUE(L.FontAt(S->FontIndex)->Loaded()) << R.Asked;
  }
  EXPECT_EQ(L.MissedFonts().size(), std::size(Rows));
  // The default font is missing too: our simplex stands in for it.
  EXPECT_EQ(std::filesystem::path(L.DefaultFontPath()).filename().string(), "draftwell-simplex.shx");
  // A missing TrueType file falls back as well but is not an SHX font missed.
  L.AddStyle("T", "arial.ttf", "", false, false, false, 0, 1);
  EXPECT_EQ(std::count(L.MissedFonts().begin(), L.MissedFonts().end(), "ARIAL.TTF"), 0);
  for (const TqdFontRequest& R : L.Requests()) EXPECT_EQ(R.Kind, frSubstitute) << R.Name;
}

TEST(SHXFallback, NoFontAtAllDrawsAndMeasuresNothing) {
  TTempDir D("nofonts");
  TqdSHXFontList L(D.Dir());
  EXPECT_TRUE(L.DefaultFontPath().empty());
  const TqdTextStyle* S = L.AddStyle("S", "romans", "", false, false, false, 0, 1);
  EXPECT_TRUE(S->FontPath.empty());
  EXPECT_EQ(S->FontIndex, -1);
  EXPECT_EQ(L.FontCount(), 0);
  ASSERT_EQ(L.Requests().size(), 1u);
  EXPECT_EQ(L.Requests()[0].Kind, frNone);
  TqdSHXVertexList Poly;
  TqdFontParams P;
  EXPECT_FALSE(L.DrawText(S, "AB", {}, {}, 0, Poly, P));
  EXPECT_TRUE(Poly.empty());
  EXPECT_FALSE(L.MeasureText(S, "AB", {}, {}, 0, P));
  EXPECT_EQ(P.Height, 0);
  EXPECT_EQ(P.Width, 0);
  // An iterator over no font at all.
  TqdTextIterator It("AB", {}, {}, nullptr, nullptr);
  double X = 1, Y = 1;
  bool Big = true;
  It.Iterate(false, false, 0, Poly, X, Y, Big);
  EXPECT_TRUE(Poly.empty());
  EXPECT_EQ(X, 0);
}

// Measuring.
struct TBox {
  double Above, Below, Width, Height, Left, Bottom, Right, Top, After;
  bool Ok;
};

TBox Measure(TqdSHXFont* F, std::string_view Text, int Style = 0, bool Vertical = false, TqdSHXFont* Big = nullptr) {
  TqdTextIterator It(Text, {}, {}, F, Big);
  TBox B{};
  B.Ok = It.IterateBox(Vertical, Style, B.Above, B.Below, B.Width, B.Height, B.Left, B.Bottom, B.Right, B.Top,
                       B.After);
  return B;
}

TEST(SHXMeasure, OneLetterAndSpaces) {
  TqdSHXFont F("letters.shx");
  ASSERT_TRUE(F.LoadFromBytes(LetterFont()));
  const TBox A = Measure(&F, "A");
  ASSERT_TRUE(A.Ok);
  EXPECT_DOUBLE_EQ(A.Left, 1);
  EXPECT_DOUBLE_EQ(A.Width, 6);  // max(advance 6, ink right 5)
  EXPECT_DOUBLE_EQ(A.After, 6);
  EXPECT_DOUBLE_EQ(A.Top, 4);
  EXPECT_DOUBLE_EQ(A.Bottom, 0);
  EXPECT_DOUBLE_EQ(A.Height, 4);
  EXPECT_DOUBLE_EQ(A.Above, 10);
  EXPECT_DOUBLE_EQ(A.Below, 2);
  // Space, letter, space: the spaces count by their advances only.
  const TBox S = Measure(&F, " A ");
  EXPECT_DOUBLE_EQ(S.Left, 0);
  EXPECT_DOUBLE_EQ(S.After, 4 + 6 + 4);
  EXPECT_DOUBLE_EQ(S.Width, 4 + 6 + 4);
  EXPECT_DOUBLE_EQ(S.Right, 14);
  // Underscore and overscore widen the box.
  const TBox U = Measure(&F, "A", cSHXUnderscore | cSHXOverscore);
  EXPECT_DOUBLE_EQ(U.Bottom, -2);
  EXPECT_DOUBLE_EQ(U.Top, 12);
}

TEST(SHXMeasure, BackwardGlyphs) {
  // 'B' draws 2 units and moves back 8: a backward glyph.
  TqdSHXFont F("letters.shx");
  ASSERT_TRUE(F.LoadFromBytes(LetterFont()));
  const TBox B = Measure(&F, "AB");
  ASSERT_TRUE(B.Ok);
  EXPECT_DOUBLE_EQ(B.Left, 1 + 0);  // the last non-space glyph adds its ink left (0)
  EXPECT_DOUBLE_EQ(B.Width, -(B.Right - B.Left));
}

TEST(SHXMeasure, NothingMeasurableIsEmpty) {
  // Neither the glyphs nor "?" exist: zeros and false, not a box of 1e5.
  TqdSHXFont F("letters.shx");
  ASSERT_TRUE(F.LoadFromBytes(LetterFont(10, false)));
  const TBox B = Measure(&F, "xyz");
  EXPECT_FALSE(B.Ok);
  EXPECT_EQ(B.Height, 0);
  EXPECT_EQ(B.Bottom, 0);
  EXPECT_EQ(B.Top, 0);
  const TBox V = Measure(&F, "xyz", 0, true);
  EXPECT_FALSE(V.Ok);
  EXPECT_EQ(V.Width, 0);
  EXPECT_FALSE(Measure(&F, "").Ok);
  // With "?" present, the unknown glyphs measure as "?".
  TqdSHXFont Q("letters.shx");
  ASSERT_TRUE(Q.LoadFromBytes(LetterFont()));
  EXPECT_DOUBLE_EQ(Measure(&Q, "x").Width, 3);
}

TEST(SHXMeasure, VerticalText) {
  TqdSHXFont F("letters.shx");
  ASSERT_TRUE(F.LoadFromBytes(NormalFont({{0, InfoDef("v", 10, 2)}, {'A', Def({1, 0x20, 2, 0x2C, 0})}})));
  const TBox B = Measure(&F, "AA", 0, true);
  ASSERT_TRUE(B.Ok);
  EXPECT_DOUBLE_EQ(B.Left, 0);
  EXPECT_DOUBLE_EQ(B.Right, 2);
  EXPECT_DOUBLE_EQ(B.Width, 2);
  EXPECT_DOUBLE_EQ(B.Height, 0 - (-2 * 2.0));
}

TEST(SHXLayout, MixedBigFontText) {
  TqdSHXFont Main("main.shx"), Big("big.shx");
  ASSERT_TRUE(Main.LoadFromBytes(NormalFont({{0, InfoDef("m", 8, 2)}, {'A', Def({1, 0x80, 0})}})));
  ASSERT_TRUE(Big.LoadFromBytes(BigFont({{0, InfoDef("b", 2, 0)}, {0x8140, Def({1, 0x20, 0})}})));
  const std::string Text = std::string("A") + char(0x81) + char(0x40) + "A";
  TqdTextIterator It(Text, {}, {}, &Main, &Big);
  EXPECT_DOUBLE_EQ(It.Scale(), 0.25);
  TqdSHXVertexList Poly;
  double X = 0, Y = 0;
  bool UsedBig = false;
  It.Iterate(false, false, 0, Poly, X, Y, UsedBig);
  EXPECT_TRUE(UsedBig);
  EXPECT_DOUBLE_EQ(X, 8 * 0.25 + 2 + 8 * 0.25);
  TBox B = Measure(&Main, Text, 0, false, &Big);
  EXPECT_DOUBLE_EQ(B.Above, 2);
  EXPECT_DOUBLE_EQ(B.Below, 2);  // the big font's 0 is replaced by the main font's
  EXPECT_DOUBLE_EQ(B.After, 6);
  // The same through the wide string with a map.
  const std::u16string W = {u'A', char16_t(0x8140), u'A'};
  TqdTextIterator Wi({}, W, std::string("\1\2\1"), &Main, &Big);
  TqdSHXVertexList P2;
  Wi.Iterate(false, false, 0, P2, X, Y, UsedBig);
  EXPECT_TRUE(UsedBig);
  EXPECT_DOUBLE_EQ(X, 6);
}

TEST(SHXLayout, ExtendedBigFontAsBigFontIgnored) {
  TqdSHXFont Main("main.shx"), Ext("ext.shx");
  ASSERT_TRUE(Main.LoadFromBytes(NormalFont({{0, InfoDef("m", 8, 2)}, {'A', Def({1, 0x80, 0})}, {0x81, Def({0x10, 0})}, {0x40, Def({0x10, 0})}})));
  ASSERT_TRUE(Ext.LoadFromBytes(BigFont({{0, {'x', 0, 30, 0, 0, 30, 0}}, {0x8140, Def({1, 0x20, 0})}})));
  ASSERT_TRUE(Ext.ExtndBig());
  TqdTextIterator It(std::string("A") + char(0x81) + char(0x40), {}, {}, &Main, &Ext);
  TqdSHXVertexList Poly;
  double X = 0, Y = 0;
  bool UsedBig = true;
  It.Iterate(false, false, 0, Poly, X, Y, UsedBig);
  EXPECT_FALSE(UsedBig);
  EXPECT_DOUBLE_EQ(X, 8 + 1 + 1);
}

TEST(SHXLayout, MissingGlyphDrawsQuestionMark) {
  TqdSHXFont F("letters.shx");
  ASSERT_TRUE(F.LoadFromBytes(LetterFont()));
  TqdTextIterator It("AzA", {}, {}, &F, nullptr);
  TqdSHXVertexList Poly;
  double X = 0, Y = 0;
  bool Big = false;
  It.Iterate(false, false, 0, Poly, X, Y, Big);
  EXPECT_DOUBLE_EQ(X, 6 + 3 + 6);
}

// The fonts we ship: "ABC 123" advances by the widths the Hershey data defines.
std::map<int, int> HersheyAdvances(const std::string& Jhf) {
  std::map<int, int> R;
  std::ifstream In(Jhf);
  std::string Line;
  int Code = 32;
  while (std::getline(In, Line))
    if (Line.size() >= 10) R[Code++] = (Line[9] - 'R') - (Line[8] - 'R');
  return R;
}

TEST(SHXBundled, FontsLoadAndLayOutWithTheirWidths) {
  NEED_BUNDLED();
  const std::pair<const char*, const char*> Fonts[] = {{"draftwell-simplex.shx", "rowmans"},
                                                       {"draftwell-duplex.shx", "rowmand"},
                                                       {"draftwell-complex.shx", "timesr"},
                                                       {"draftwell-greek.shx", "greeks"},
                                                       {"draftwell-cyrillic.shx", "cyrillic"}};
  for (const auto& [File, Source] : Fonts) {
    TqdSHXFontList L(cBundled);
    const TqdTextStyle* S = L.AddStyle("S", File, "", false, false, false, 0, 1);
    ASSERT_TRUE(S->FontExists) << File;
    TqdSHXFont* F = L.FontAt(S->FontIndex);
    ASSERT_TRUE(F && F->Loaded()) << File;
    EXPECT_EQ(F->Kind(), tkUnicodeSHX);  // the signs live above 255
    for (uint32_t Sign : {0xB0u, 0xB1u, 0x2205u, 0xD8u, 0xB2u, 0xB3u, 0xB5u, 0x3A9u, 0x2248u, 0x2264u, 0x2265u,
                          0x2260u, 0xD7u, 0xF7u, 0x3C0u, 0x394u, 0x221Eu}) {
      const TqdSHXPolyData* G = F->Glyph(Sign, false);
      ASSERT_NE(G, nullptr) << File << " " << Sign;
      EXPECT_GT(G->Xoff, 0) << File << " " << Sign;
      EXPECT_GT(G->Poly->size(), 2u) << File << " " << Sign;
    }
    EXPECT_EQ(F->Above(), 21);
    EXPECT_EQ(F->Below(), 7);
    const std::string Text = "ABC 123";
    TqdSHXVertexList Poly;
    TqdFontParams P;
    ASSERT_TRUE(L.DrawText(S, Text, {}, {}, 0, Poly, P)) << File;
    EXPECT_GT(Poly.size(), 20u);
    const std::string Jhf = std::string("/usr/share/hershey-fonts/") + Source + ".jhf";
    if (std::filesystem::exists(Jhf)) {
      const std::map<int, int> Adv = HersheyAdvances(Jhf);
      double Expected = 0;
      for (char C : Text) Expected += Adv.at(C);
      EXPECT_DOUBLE_EQ(P.Right, Expected) << File;
      for (char C : Text) {
        const TqdSHXPolyData* G = F->Glyph(uint8_t(C), false);
        ASSERT_NE(G, nullptr);
        EXPECT_DOUBLE_EQ(G->Xoff, Adv.at(C)) << File << " '" << C << "'";
        EXPECT_DOUBLE_EQ(G->Yoff, 0);
      }
    }
    EXPECT_DOUBLE_EQ(P.Top, 21);
    EXPECT_DOUBLE_EQ(P.Bottom, -7);
    TqdFontParams M;
    ASSERT_TRUE(L.MeasureText("s", Text, {}, {}, 0, M));
    EXPECT_NEAR(M.Top, 21, 1.01) << File;  // capitals reach the cap height
    EXPECT_NEAR(M.Bottom, 0, 1.01) << File;
    EXPECT_GT(M.Width, 0);
    EXPECT_LE(M.Width, P.Right + 1e-9);
    for (const TqdSHXVertex& V : Poly) ASSERT_TRUE(std::isfinite(V.X) && std::isfinite(V.Y));
  }
}

TEST(SHXBundled, ServedThroughFontNames) {
  NEED_BUNDLED();
  TqdSHXFontList L(cBundled);
  TqdSHXFont* F = L.Font(nullptr, "txt", false);
  ASSERT_NE(F, nullptr);
  EXPECT_EQ(std::filesystem::path(F->Name()).filename().string(), "draftwell-simplex.shx");
  TqdSHXVertexList Poly;
  TqdFontParams P;
  EXPECT_TRUE(L.DrawTextInFont("romans.shx", {}, SHXWideFromUTF8("Hi"), {}, 0, false, false, Poly, P));
  EXPECT_GT(P.Right, 0);
  EXPECT_TRUE(L.IsUnicodeFont(nullptr, "txt", false));
}

TEST(SHXBundled, SignsAFontLacksComeFromOurs) {
  NEED_BUNDLED();
  TTempDir D("signs");
  WriteFile(D.Path / "letters.shx", LetterFont());
  TqdSHXFontList L(D.Dir() + ";" + cBundled);
  const TqdTextStyle* S = L.AddStyle("S", "letters.shx", "", false, false, false, 0, 1);
  ASSERT_TRUE(S->FontExists);
  auto Draw = [&](const std::u16string& T, TqdFontParams& P) {
    TqdSHXVertexList Poly;
    EXPECT_TRUE(L.DrawText(S, {}, T, std::string(T.size(), '\1'), 0, Poly, P));
    return Poly.size();
  };
  TqdFontParams Q, Deg, Both;
  const std::size_t NQ = Draw(u"?", Q), NDeg = Draw(u"\u00B0", Deg);
  // The degree sign is our ring, scaled from our capitals (21) to the font's (10).
  EXPECT_GT(NDeg, NQ);
  EXPECT_NEAR(Deg.Right, 10.0 * 10 / 21, 1e-9);
  // Measured as drawn: the same advance.
  TqdFontParams M;
  ASSERT_TRUE(L.MeasureText(S, {}, u"A\u00B0", std::string(2, '\1'), 0, M));
  Draw(u"A\u00B0", Both);
  EXPECT_NEAR(Both.Right, 6 + Deg.Right, 1e-9);
}

TEST(SHXShapeFonts, FoundByNumberAndName) {
  const std::string P = std::string(DRAFTWELL_CORPUS_DIR) + "/shx/acadsharp-test_shape.shx";
  if (!std::filesystem::exists(P)) GTEST_SKIP() << "corpus font " << P << " not present";
  TqdSHXFontList L(std::filesystem::path(P).parent_path().string());
  L.AddStyle("", "acadsharp-test_shape.shx", "", false, false, false, 0, 1);
  int N = 0;
  std::string Name = "my-shape", Font;
  ASSERT_TRUE(L.FindShape(N, Name, Font));
  EXPECT_EQ(N, 1);
  N = 1;
  Name.clear();
  ASSERT_TRUE(L.FindShape(N, Name, Font));
  EXPECT_EQ(Name, "MY-SHAPE");
  N = 2;
  Name.clear();
  EXPECT_FALSE(L.FindShape(N, Name, Font));
}

TEST(SHXWide, FromUTF8) {
  EXPECT_EQ(SHXWideFromUTF8("A\xC3\xA9\xE4\xB8\x80"), (std::u16string{u'A', 0xE9, 0x4E00}));
  EXPECT_EQ(SHXWideFromUTF8("\xF0\x9F\x98\x80").size(), 2u);
  EXPECT_EQ(SHXWideFromUTF8("\xE4"), std::u16string(1, char16_t(0xFFFD)));
}

}  // namespace
