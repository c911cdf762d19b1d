#include "SHX.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "ShxBuilders.h"

namespace {

constexpr double cPi = 3.14159265358979323846;

// A text font with the given shapes after an info record (Above 10, Below 2).
std::unique_ptr<TqdSHXFont> Font(std::vector<TTestShape> Shapes) {
  Shapes.insert(Shapes.begin(), {0, InfoDef("test", 10, 2)});
  auto F = std::make_unique<TqdSHXFont>("test.shx");
  EXPECT_TRUE(F->LoadFromBytes(NormalFont(Shapes)));
  EXPECT_TRUE(F->Loaded());
  return F;
}

const TqdSHXPolyData& Built(TqdSHXFont& F, uint32_t N, bool Vertical = false) {
  const TqdSHXPolyData* G = F.Glyph(N, Vertical);
  EXPECT_NE(G, nullptr) << "shape " << N;
  static TqdSHXPolyData Empty;
  return G ? *G : Empty;
}

bool Finite(const TqdSHXVertexList& L) {
  for (const TqdSHXVertex& V : L)
    if (!std::isfinite(V.X) || !std::isfinite(V.Y) || !std::isfinite(V.Bulge)) return false;
  return true;
}

TEST(SHXInterpreter, PenCodesAndVectors) {
  auto F = Font({{65, Def({1, 2, 0x14, 1, 0x10, 0})}});
  const TqdSHXPolyData& G = Built(*F, 65);
  ASSERT_EQ(G.Poly->size(), 3u);
  const TqdSHXVertex E[3] = {{0, 0, 0, false}, {0, 1, 0, false}, {1, 1, 0, true}};
  for (int I = 0; I < 3; ++I) {
    EXPECT_DOUBLE_EQ((*G.Poly)[I].X, E[I].X) << I;
    EXPECT_DOUBLE_EQ((*G.Poly)[I].Y, E[I].Y) << I;
    EXPECT_EQ((*G.Poly)[I].PenDown, E[I].PenDown) << I;
  }
  EXPECT_DOUBLE_EQ(G.Xoff, 1);
  EXPECT_DOUBLE_EQ(G.Yoff, 1);
  EXPECT_DOUBLE_EQ(G.FirstDown, 0);
  EXPECT_DOUBLE_EQ(G.LastDown, 1);
}

TEST(SHXInterpreter, VerticalOnlyCommand) {
  // 14 then a vector; 14 then code 9 with two pairs; then one plain vector.
  auto F = Font({{65, Def({14, 0x14, 14, 9, 1, 1, 2, 2, 0, 0, 0x10, 0})}});
  const TqdSHXPolyData& H = Built(*F, 65, false);
  EXPECT_DOUBLE_EQ(H.Xoff, 1);
  EXPECT_DOUBLE_EQ(H.Yoff, 0);
  EXPECT_EQ(H.Poly->size(), 2u);
  const TqdSHXPolyData& V = Built(*F, 65, true);
  EXPECT_DOUBLE_EQ(V.Xoff, 4);
  EXPECT_DOUBLE_EQ(V.Yoff, 4);
  EXPECT_EQ(V.Poly->size(), 5u);
}

TEST(SHXInterpreter, PositionStack) {
  // Five pushes at x = 1..5 (the fifth ignored), then a pop: back at x = 4.
  auto F = Font({{65, Def({2, 0x10, 5, 0x10, 5, 0x10, 5, 0x10, 5, 0x10, 5, 6, 0})}});
  const TqdSHXPolyData& G = Built(*F, 65);
  EXPECT_DOUBLE_EQ(G.Xoff, 4);
  EXPECT_FALSE(G.Poly->back().PenDown);
  // A pop on an empty stack is ignored.
  auto E = Font({{65, Def({6, 0x10, 0})}});
  EXPECT_DOUBLE_EQ(Built(*E, 65).Xoff, 1);
}

TEST(SHXInterpreter, ScaleCodes) {
  auto F = Font({{65, Def({3, 0, 0x10, 4, 3, 3, 3, 0x10, 4, 2, 0x10, 0})}});
  const TqdSHXPolyData& G = Built(*F, 65);
  EXPECT_DOUBLE_EQ(G.Xoff, 1 + 1 + 2);
  EXPECT_DOUBLE_EQ(G.Scaleoff, 2);
}

TEST(SHXInterpreter, OctantFullCircle) {
  auto F = Font({{65, Def({2, 8, 1, 0, 1, 10, 1, 0x00, 0})}});
  const TqdSHXPolyData& G = Built(*F, 65);
  ASSERT_EQ(G.Poly->size(), 4u);
  const TqdSHXVertex& A = (*G.Poly)[2];
  const TqdSHXVertex& B = (*G.Poly)[3];
  EXPECT_NEAR(A.X, -1, 1e-12);
  EXPECT_NEAR(A.Y, 0, 1e-12);
  EXPECT_DOUBLE_EQ(A.Bulge, 1);
  EXPECT_DOUBLE_EQ(B.X, 1);
  EXPECT_DOUBLE_EQ(B.Y, 0);
  EXPECT_DOUBLE_EQ(B.Bulge, 1);
  EXPECT_DOUBLE_EQ(G.Xoff, 1);
  EXPECT_NEAR(G.Top, 1, 0.05);
  EXPECT_NEAR(G.Bottom, -1, 0.05);
}

TEST(SHXInterpreter, OctantArcClockwise) {
  auto F = Font({{65, Def({10, 1, 0x92, 0})}});
  const TqdSHXPolyData& G = Built(*F, 65);
  EXPECT_NEAR(G.Poly->back().Bulge, -std::tan(22.5 * cPi / 180), 1e-12);
}

// Octant counts 8 and above ask for a whole turn or more: the arc is split into
// pieces below a half turn each, keeps its direction and stays finite.
struct TArcCase {
  const char* Name;
  TBytes Def;
  double Sweep;  // degrees, signed
};

class SHXLongArcs : public ::testing::TestWithParam<TArcCase> {};

TEST_P(SHXLongArcs, SplitIntoFiniteHalfTurns) {
  auto F = Font({{65, GetParam().Def}});
  const TqdSHXPolyData& G = Built(*F, 65);
  ASSERT_TRUE(Finite(*G.Poly));
  double Sum = 0;
  for (size_t I = 1; I < G.Poly->size(); ++I) {
    const double B = (*G.Poly)[I].Bulge;
    EXPECT_LE(std::fabs(B), 1.0 + 1e-12);
    Sum += 4 * std::atan(B) * 180 / cPi;
  }
  EXPECT_NEAR(Sum, GetParam().Sweep, 1e-9);
  EXPECT_GT(G.Top, 0.5);
}

INSTANTIATE_TEST_SUITE_P(
    Arcs, SHXLongArcs,
    ::testing::Values(TArcCase{"fractional_whole_turn", Def({2, 8, 1, 0, 1, 11, 0, 0, 0, 1, 0x00, 0}), 360},
                      TArcCase{"octant_count_8", Def({2, 8, 1, 0, 1, 10, 1, 0x08, 0}), 360},
                      TArcCase{"octant_count_12_clockwise", Def({2, 8, 1, 0, 1, 10, 1, 0x8C, 0}), -540},
                      TArcCase{"fractional_count_15", Def({2, 8, 1, 0, 1, 11, 0, 0, 0, 1, 0x0F, 0}), 675}),
    [](const auto& I) { return std::string(I.param.Name); });

TEST(SHXInterpreter, FractionalArcWithoutEndOffset) {
  // Start offset 100/256 of an octant: 18 whole degrees (17.6 rounded up).
  auto F = Font({{65, Def({11, 100, 0, 0, 10, 0x01, 0})}});
  const TqdSHXPolyData& G = Built(*F, 65);
  EXPECT_NEAR(G.Poly->back().Bulge, std::tan((45.0 - 18.0) / 4 * cPi / 180), 1e-12);
}

TEST(SHXInterpreter, BulgeCodes) {
  auto F = Font({{65, Def({12, 10, 0, 127, 13, 0, 10, 127, 0, -10 & 0xFF, -127 & 0xFF, 0, 0, 0x10, 0})}});
  const TqdSHXPolyData& G = Built(*F, 65);
  ASSERT_EQ(G.Poly->size(), 5u);
  EXPECT_DOUBLE_EQ((*G.Poly)[1].Bulge, 1);
  EXPECT_DOUBLE_EQ((*G.Poly)[2].Bulge, 1);
  EXPECT_DOUBLE_EQ((*G.Poly)[3].Bulge, -1);
  EXPECT_DOUBLE_EQ(G.Xoff, 11);
  EXPECT_NEAR(G.Bottom, -5, 0.1);  // the first half circle dips below the baseline
}

TEST(SHXInterpreter, ScaleGrowingToInfinityFails) {
  TBytes D{0};
  for (int I = 0; I < 200; ++I) D.insert(D.end(), {4, 255});
  D.insert(D.end(), {0x10, 0});
  auto F = Font({{65, D}, {66, Def({0x10, 0})}});
  EXPECT_EQ(F->Glyph(65, false), nullptr);
  EXPECT_NE(F->Glyph(66, false), nullptr);
}

TEST(SHXLookup, NormalFontNumbers) {
  auto F = Font({{65, Def({0x10, 0})}});
  EXPECT_TRUE(F->HasSymbol(65));
  EXPECT_FALSE(F->HasSymbol(0));
  EXPECT_FALSE(F->HasSymbol(256));
  EXPECT_FALSE(F->HasSymbol(65 + 256));
}

TEST(SHXLookup, RecordsBeyondIndex255StillMapped) {
  // 300 records: shape 65 sits at record 299.
  std::vector<TTestShape> S;
  for (int I = 0; I < 298; ++I) S.push_back({1000 + I, Def({0x10, 0})});
  S.push_back({65, Def({0x30, 0})});
  auto F = Font(S);
  ASSERT_EQ(F->NumChars(), 300);
  ASSERT_TRUE(F->HasSymbol(65));
  EXPECT_DOUBLE_EQ(Built(*F, 65).Xoff, 3);
}

TEST(SHXSubshapes, OrdinaryReferenceAdvances) {
  auto F = Font({{65, Def({0x10, 0})}, {66, Def({7, 65, 7, 65, 0x14, 0})}});
  const TqdSHXPolyData& G = Built(*F, 66);
  EXPECT_DOUBLE_EQ(G.Xoff, 2);
  EXPECT_DOUBLE_EQ(G.Yoff, 1);
}

struct TSubCase {
  const char* Name;
  std::vector<TTestShape> Shapes;
  bool Builds;
};

class SHXSubshapeBounds : public ::testing::TestWithParam<TSubCase> {};

std::vector<TTestShape> Chain(int Length) {
  // Shape 100 + i refers to 100 + i + 1; the last draws.
  std::vector<TTestShape> S;
  for (int I = 0; I < Length; ++I) S.push_back({100 + I, Def({7, 100 + I + 1, 0x10, 0})});
  S.push_back({100 + Length, Def({0x10, 0})});
  return S;
}

TEST_P(SHXSubshapeBounds, FailsCleanly) {
  auto F = Font(GetParam().Shapes);
  const TqdSHXPolyData* G = F->Glyph(100, false);
  EXPECT_EQ(G != nullptr, GetParam().Builds);
  EXPECT_EQ(F->Glyph(100, true) != nullptr, GetParam().Builds);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SHXSubshapeBounds,
    ::testing::Values(TSubCase{"self_reference", {{100, Def({0x10, 7, 100, 0})}}, false},
                      TSubCase{"cycle_of_two", {{100, Def({7, 101, 0})}, {101, Def({0x10, 7, 100, 0})}}, false},
                      TSubCase{"missing_subshape", {{100, Def({7, 42, 0})}}, false},
                      TSubCase{"chain_of_10", Chain(10), true}, TSubCase{"chain_of_40", Chain(40), false}),
    [](const auto& I) { return std::string(I.param.Name); });

TEST(SHXSubshapes, OutputGrowthCapped) {
  // 30000 references to a shape of 30000 vectors would be 9e8 vertices.
  TBytes Many{0}, Long{0};
  for (int I = 0; I < 30000; ++I) Long.push_back(0x10);
  Long.push_back(0);
  for (int I = 0; I < 30000; ++I) Many.insert(Many.end(), {7, 66});
  Many.push_back(0);
  auto F = Font({{65, Many}, {66, Long}});
  EXPECT_NE(F->Glyph(66, false), nullptr);
  EXPECT_EQ(F->Glyph(65, false), nullptr);
}

TEST(SHXSubshapes, CacheOfOneFontBounded) {
  // Forty glyphs of 240000 vertices each: the caches stop before 4M vertices.
  TBytes Long{0};
  for (int I = 0; I < 30000; ++I) Long.push_back(0x10);
  Long.push_back(0);
  std::vector<TTestShape> S{{1, Long}};
  for (int G = 0; G < 40; ++G) S.push_back({100 + G, Def({7, 1, 7, 1, 7, 1, 7, 1, 7, 1, 7, 1, 7, 1, 7, 1, 0})});
  auto F = Font(S);
  size_t Total = 0;
  int Built = 0;
  for (int G = 0; G < 40; ++G)
    if (const TqdSHXPolyData* D = F->Glyph(100 + G, false)) Total += D->Poly->size(), ++Built;
  EXPECT_GT(Built, 0);
  EXPECT_LT(Built, 40);
  EXPECT_LE(Total, TqdSHXFont::cMaxFontVertices);
}

// An extended big font: its info record is name + 6 bytes long.
TBytes ExtendedBig(const std::vector<TTestShape>& Shapes) {
  TBytes Info{'x', 0, 30, 0, 0, 30, 0};
  std::vector<TTestShape> All{{0, Info}};
  All.insert(All.end(), Shapes.begin(), Shapes.end());
  return BigFont(All);
}

TEST(SHXSubshapes, ExtendedBigFontReferences) {
  // 0x8140 draws in place shape 0x8141 from origin (2, 3); 0x8142 names a shape
  // that does not exist; 0x8143 refers to itself.
  TqdSHXFont F("ext.shx");
  ASSERT_TRUE(F.LoadFromBytes(ExtendedBig({{0x8140, Def({7, 0, 0x81, 0x41, 2, 3, 10, 10, 0x10, 0})},
                                           {0x8141, Def({0x14, 0})},
                                           {0x8142, Def({7, 0, 0x7F, 0xFF, 0, 0, 0, 0, 0})},
                                           {0x8143, Def({7, 0, 0x81, 0x43, 0, 0, 0, 0, 0})}})));
  ASSERT_TRUE(F.ExtndBig());
  EXPECT_EQ(F.Above(), 30);
  const TqdSHXPolyData* G = F.Glyph(0x8140, false);
  ASSERT_NE(G, nullptr);
  EXPECT_DOUBLE_EQ(G->Xoff, 3);
  EXPECT_DOUBLE_EQ(G->Yoff, 4);
  EXPECT_EQ(F.Glyph(0x8142, false), nullptr);
  EXPECT_EQ(F.Glyph(0x8143, false), nullptr);
}

TEST(SHXLoad, InfoRecordBoundedByItsLength) {
  // A two-byte info record without its zero: Above and Below read 0, not the
  // bytes of the next definition.
  auto B = NormalFont({{0, {'a', 'b'}}, {65, Def({0x10, 0})}});
  TqdSHXFont F("t.shx");
  ASSERT_TRUE(F.LoadFromBytes(B));
  EXPECT_EQ(F.Above(), 0);
  EXPECT_EQ(F.Below(), 0);
  EXPECT_TRUE(F.HasSymbol(65));
}

TEST(SHXLoad, UnicodeFontWithoutShapes) {
  TqdSHXFont F("u.shx");
  ASSERT_TRUE(F.LoadFromBytes(UnicodeFont(InfoDef("u", 8, 2), {}, 0)));
  EXPECT_EQ(F.Kind(), tkUnicodeSHX);
  EXPECT_EQ(F.NumChars(), 0);
  EXPECT_EQ(F.Above(), 8);
}

TEST(SHXLoad, UnicodeFontCountBeyondFileStopsAtEnd) {
  TqdSHXFont F("u.shx");
  ASSERT_TRUE(F.LoadFromBytes(UnicodeFont(InfoDef("u", 8, 2), {{0x4E00, Def({0x10, 0})}, {65, Def({0x20, 0})}}, 65535)));
  EXPECT_EQ(F.NumChars(), 2);
  EXPECT_FALSE(F.LoadError().empty());
  EXPECT_TRUE(F.HasSymbol(0x4E00));
  EXPECT_DOUBLE_EQ(Built(F, 65).Xoff, 2);
}

TEST(SHXLoad, UnicodeSubshapeTakesTwoBytes) {
  TqdSHXFont F("u.shx");
  ASSERT_TRUE(F.LoadFromBytes(
      UnicodeFont(InfoDef("u", 8, 2), {{0x4E00, Def({0x10, 0})}, {0x4E01, Def({7, 0x4E, 0x00, 0x20, 0})}})));
  EXPECT_DOUBLE_EQ(Built(F, 0x4E01).Xoff, 3);
}

TEST(SHXLoad, BigFontIndexBounded) {
  // An entry count far beyond the file, and empty slots: the index ends at the
  // first definition.
  const std::vector<TTestShape> S{{0, InfoDef("big", 2, 0)}, {0x8141, Def({0x10, 0})}, {0x8140, Def({0x20, 0})}};
  for (long Entries : {3L, 60000L}) {
    TqdSHXFont F("b.shx");
    ASSERT_TRUE(F.LoadFromBytes(BigFont(S, Entries, 2))) << Entries;
    EXPECT_EQ(F.Kind(), tkBigSHX);
    EXPECT_EQ(F.Above(), 2);
    EXPECT_TRUE(F.HasSymbol(0x81, 0x40));
    EXPECT_TRUE(F.HasSymbol(0x81, 0x41));
    EXPECT_EQ(F.NumChars(), 3);  // the info record and two shapes
    EXPECT_DOUBLE_EQ(Built(F, 0x8140).Xoff, 2);
  }
}

TEST(SHXLoad, EveryTruncationFailsCleanly) {
  const std::vector<TBytes> Fonts = {
      NormalFont({{0, InfoDef("n", 10, 2)}, {65, Def({0x10, 7, 66, 0})}, {66, Def({10, 1, 0, 0})}}),
      UnicodeFont(InfoDef("u", 8, 2), {{0x4E00, Def({0x10, 0})}, {65, Def({12, 1, 1, 50, 0})}}),
      BigFont({{0, InfoDef("big", 2, 0)}, {0x8140, Def({0x20, 0})}})};
  for (const TBytes& Full : Fonts) {
    for (size_t L = 0; L <= Full.size(); ++L) {
      TqdSHXFont F("cut.shx");
      F.LoadFromBytes(TBytes(Full.begin(), Full.begin() + long(L)));
      TqdFontProcParams P;
      TqdSHXVertexList Out;
      for (uint32_t C : {65u, 66u, 0x4E00u, 0x8140u}) {
        double X, Y;
        if (F.GetSymbol(C, 0, 0, P, Out, X, Y)) {
          EXPECT_TRUE(std::isfinite(X) && std::isfinite(Y));
        }
      }
    }
    TqdSHXFont Whole("whole.shx");
    ASSERT_TRUE(Whole.LoadFromBytes(Full));
    EXPECT_TRUE(Whole.Loaded());
  }
  // Cut inside the index of a normal font: no font.
  TBytes N = NormalFont({{0, InfoDef("n", 10, 2)}, {65, Def({0x10, 0})}});
  TqdSHXFont F("cut.shx");
  EXPECT_FALSE(F.LoadFromBytes(TBytes(N.begin(), N.begin() + 32)));
  EXPECT_FALSE(F.Loaded());
}

TEST(SHXLoad, UnknownSignatureStaysUnloaded) {
  TqdSHXFont F("x.shx");
  EXPECT_TRUE(F.LoadFromBytes(TBytes{'h', 'e', 'l', 'l', 'o'}));
  EXPECT_FALSE(F.Loaded());
  EXPECT_FALSE(F.HasSymbol(65));
}

TEST(SHXLoad, MissingFileAndCodePage) {
  TqdSHXFont F("/nonexistent/dir/bigfont.shx");
  EXPECT_FALSE(F.Load());
  EXPECT_EQ(F.GetCodePage(), 932);
  EXPECT_EQ(SHXBigFontCodePageValue("GBCBIG.SHX"), 936 | 0x10000);
  EXPECT_EQ(SHXBigFontCodePageValue("simplex.shx"), 0);
  EXPECT_TRUE(SHXAddBigFontCodePage("/x/MyBig.shx", 949));
  EXPECT_FALSE(SHXAddBigFontCodePage("mybig.SHX", 949));
}

// Font files are read once per process and shared; a file changed on disk is read anew.
TEST(SHXLoad, FileReadOnceAndAgainWhenChanged) {
  const auto Dir = std::filesystem::temp_directory_path() / ("shx-load-" + std::to_string(::getpid()));
  std::filesystem::create_directories(Dir);
  const std::string Path = (Dir / "changing.shx").string();
  auto Write = [&](const std::vector<TTestShape>& Shapes) {
    const std::vector<uint8_t> B = NormalFont(Shapes);
    std::ofstream(Path, std::ios::binary).write(reinterpret_cast<const char*>(B.data()), std::streamsize(B.size()));
  };
  Write({{0, InfoDef("one", 10, 2)}, {65, Def({0x10, 0})}});
  TqdSHXFont A(Path), B(Path);
  ASSERT_TRUE(A.Load());
  ASSERT_TRUE(B.Load());
  EXPECT_DOUBLE_EQ(Built(A, 65).Xoff, 1);
  EXPECT_DOUBLE_EQ(Built(B, 65).Xoff, 1);
  EXPECT_FALSE(B.HasSymbol(66));
  // Another size: the next load sees the new shapes, the loaded fonts keep theirs.
  Write({{0, InfoDef("two", 10, 2)}, {65, Def({0x20, 0})}, {66, Def({0x30, 0})}});
  TqdSHXFont C(Path);
  ASSERT_TRUE(C.Load());
  EXPECT_DOUBLE_EQ(Built(C, 65).Xoff, 2);
  EXPECT_DOUBLE_EQ(Built(C, 66).Xoff, 3);
  EXPECT_DOUBLE_EQ(Built(A, 65).Xoff, 1);
  std::filesystem::remove_all(Dir);
}

TEST(SHXGetSymbol, UnderscoreOverscoreAndScale) {
  auto F = Font({{65, Def({1, 0x40, 0})}});
  TqdFontProcParams P;
  P.Underscore = P.Overscore = true;
  TqdSHXVertexList Out;
  double X = 0, Y = 0;
  ASSERT_TRUE(F->GetSymbol(65, 10, 0, P, Out, X, Y));
  EXPECT_DOUBLE_EQ(X, 14);
  ASSERT_EQ(Out.size(), 2u + 4u);
  EXPECT_DOUBLE_EQ(Out[2].Y, -2);
  EXPECT_DOUBLE_EQ(Out[2].X, 10 - 0.6);
  EXPECT_DOUBLE_EQ(Out[4].Y, 12);
  TqdSHXVertexList S;
  ASSERT_TRUE(F->GetScaledSymbol(65, 1, 1, 0.5, TqdFontProcParams(), S, X, Y));
  EXPECT_DOUBLE_EQ(X, 3);
  EXPECT_DOUBLE_EQ(S.back().X, 3);
  EXPECT_FALSE(F->GetSymbol(66, 0, 0, P, Out, X, Y));
}

// The open fonts of the shared corpus.
std::string Corpus(const char* Name) { return std::string(DRAFTWELL_CORPUS_DIR) + "/shx/" + Name; }

TEST(SHXCorpus, UnicodeFont) {
  const std::string P = Corpus("kst32b.shx");
  if (!std::filesystem::exists(P)) GTEST_SKIP() << "corpus font " << P << " not present";
  TqdSHXFont F(P);
  ASSERT_TRUE(F.Load());
  EXPECT_EQ(F.Kind(), tkUnicodeSHX);
  EXPECT_GT(F.NumChars(), 6000);
  EXPECT_GT(F.Above(), 0);
  int Built = 0;
  for (const TqdSHXRecord& R : F.Shapes()) {
    const TqdSHXPolyData* G = F.Glyph(R.ShapeNumber, false);
    if (G) {
      ++Built;
      ASSERT_TRUE(Finite(*G->Poly)) << R.ShapeNumber;
    }
  }
  EXPECT_GT(Built, int(F.NumChars()) * 9 / 10);
  const TqdSHXPolyData* A = F.Glyph('A', false);
  ASSERT_NE(A, nullptr);
  EXPECT_GT(A->Xoff, 0);
  EXPECT_GT(A->Top, 0);
}

TEST(SHXCorpus, ShapeFile) {
  const std::string P = Corpus("acadsharp-test_shape.shx");
  if (!std::filesystem::exists(P)) GTEST_SKIP() << "corpus font " << P << " not present";
  TqdSHXFont F(P);
  ASSERT_TRUE(F.Load());
  EXPECT_EQ(F.Kind(), tkNormSHX);
  EXPECT_TRUE(F.IsShape());
  ASSERT_EQ(F.NumChars(), 1);
  const TqdSHXRecord& R = F.Shapes()[0];
  EXPECT_FALSE(R.ShapeName.empty());
  // The source names the shape in its "*number,length,NAME" line.
  std::ifstream Src(Corpus("acadsharp-test_shape.shp"));
  std::string Line, Name;
  while (std::getline(Src, Line))
    if (!Line.empty() && Line[0] == '*') {
      Name = Line.substr(Line.find_last_of(',') + 1);
      while (!Name.empty() && (Name.back() == '\r' || Name.back() == ' ')) Name.pop_back();
      break;
    }
  EXPECT_EQ(R.ShapeName, SHXUpperCase(Name));
  const TqdSHXPolyData* G = F.Glyph(R.ShapeNumber, false);
  ASSERT_NE(G, nullptr);
  EXPECT_GT(G->Poly->size(), 1u);
}

}  // namespace

namespace {

// Deterministic damage to real fonts: flipped bytes anywhere, then every glyph
// built in both orientations. Nothing may crash or come out non-finite.
TEST(SHXRobustness, DamagedFontsBuildOrFailCleanly) {
  std::vector<std::string> Files = {std::string(DRAFTWELL_BUNDLED_FONTS_DIR) + "/draftwell-simplex.shx",
                                    Corpus("acadsharp-test_shape.shx")};
  uint32_t Seed = 12345;
  auto Rand = [&] { return Seed = Seed * 1103515245u + 12345u, Seed >> 8; };
  int Tried = 0;
  for (const std::string& P : Files) {
    std::ifstream In(P, std::ios::binary);
    if (!In) continue;
    const TBytes Orig((std::istreambuf_iterator<char>(In)), std::istreambuf_iterator<char>());
    for (int Round = 0; Round < 150; ++Round) {
      TBytes B = Orig;
      const int Flips = 1 + int(Rand() % 8);
      for (int I = 0; I < Flips; ++I) B[Rand() % B.size()] = uint8_t(Rand());
      TqdSHXFont F("damaged.shx");
      F.LoadFromBytes(B);
      for (const TqdSHXRecord& R : F.Shapes())
        for (bool V : {false, true})
          if (const TqdSHXPolyData* G = F.Glyph(R.ShapeNumber, V)) {
            ASSERT_TRUE(Finite(*G->Poly));
          }
      ++Tried;
    }
  }
  if (Tried == 0) GTEST_SKIP() << "no font to damage (bundled fonts and corpus both absent)";
}

}  // namespace
