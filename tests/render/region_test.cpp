// Clip regions without a toolkit: boolean operations against a pixel-set model,
// the banded form the toolkit side relies on, and that this binary needs no Qt.
#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "qdCanvas.h"

namespace {

using TPixels = std::set<std::pair<int, int>>;

constexpr int Span = 48;  // the model covers -8..39 in both axes

TPixels PixelsOf(const TqdRegion& R) {
  TPixels P;
  for (int Y = -8; Y < Span - 8; ++Y)
    for (int X = -8; X < Span - 8; ++X)
      if (R.Contains(X, Y)) P.insert({X, Y});
  return P;
}

TPixels PixelsOfRects(const TqdRegion& R) {
  TPixels P;
  for (const TqdIntRect& A : R.Rects())
    for (int Y = A.Top; Y < A.Bottom; ++Y)
      for (int X = A.Left; X < A.Right; ++X) P.insert({X, Y});
  return P;
}

// The banded form: rows then columns, rectangles of a band share their rows and
// do not touch, bands that touch differ in their columns.
void ExpectBanded(const TqdRegion& R, const std::string& What) {
  const auto Rs = R.Rects();
  size_t BandStart = 0, PrevStart = 0, PrevEnd = 0;
  for (size_t I = 0; I <= Rs.size(); ++I) {
    if (I < Rs.size()) {
      ASSERT_LT(Rs[I].Left, Rs[I].Right) << What;
      ASSERT_LT(Rs[I].Top, Rs[I].Bottom) << What;
    }
    if (I < Rs.size() && I > BandStart && Rs[I].Top == Rs[BandStart].Top) {
      EXPECT_EQ(Rs[I].Bottom, Rs[BandStart].Bottom) << What;
      EXPECT_GT(Rs[I].Left, Rs[I - 1].Right) << What << ": touching rectangles in a band";
      continue;
    }
    if (I == BandStart) continue;
    // Band [BandStart, I) ends here.
    if (PrevEnd > PrevStart) {
      EXPECT_GE(Rs[BandStart].Top, Rs[PrevStart].Bottom) << What << ": bands overlap";
      if (Rs[BandStart].Top == Rs[PrevStart].Bottom && I - BandStart == PrevEnd - PrevStart) {
        bool Same = true;
        for (size_t K = 0; K < I - BandStart; ++K)
          Same = Same && Rs[BandStart + K].Left == Rs[PrevStart + K].Left &&
                 Rs[BandStart + K].Right == Rs[PrevStart + K].Right;
        EXPECT_FALSE(Same) << What << ": two touching bands with the same columns";
      }
    }
    PrevStart = BandStart;
    PrevEnd = I;
    BandStart = I;
  }
}

TqdRegion RectRegion(int L, int T, int R, int B) {
  TqdRegion Rgn;
  Rgn.SetRect({L, T, R, B});
  return Rgn;
}

TPixels RectPixels(int L, int T, int R, int B) {
  TPixels P;
  for (int Y = T; Y < B; ++Y)
    for (int X = L; X < R; ++X) P.insert({X, Y});
  return P;
}

enum TOpKind { okIntersect, okUnion, okExclude };

TPixels ModelOp(const TPixels& A, const TPixels& B, TOpKind Op) {
  TPixels R;
  for (const auto& P : A)
    if (Op == okUnion || (Op == okIntersect) == (B.count(P) > 0)) R.insert(P);
  if (Op != okIntersect)
    for (const auto& P : B)
      if (!A.count(P)) R.insert(P);
  return R;
}

void Apply(TqdRegion& A, const TqdRegion& B, TOpKind Op) {
  if (Op == okIntersect) A.Intersect(B);
  else if (Op == okUnion) A.Union(B);
  else A.Exclude(B);
}

struct TOpCase {
  const char* Name;
  TqdIntRect A, B;
  TOpKind Op;
  size_t Rects;  // rectangles of the banded result
};

class RegionOps : public ::testing::TestWithParam<TOpCase> {};

TEST_P(RegionOps, MatchThePixelModelInBandedForm) {
  const TOpCase& K = GetParam();
  TqdRegion A = RectRegion(K.A.Left, K.A.Top, K.A.Right, K.A.Bottom);
  const TqdRegion B = RectRegion(K.B.Left, K.B.Top, K.B.Right, K.B.Bottom);
  Apply(A, B, K.Op);
  const TPixels Want = ModelOp(RectPixels(K.A.Left, K.A.Top, K.A.Right, K.A.Bottom),
                               RectPixels(K.B.Left, K.B.Top, K.B.Right, K.B.Bottom), K.Op);
  EXPECT_EQ(PixelsOf(A), Want);
  EXPECT_EQ(PixelsOfRects(A), Want);
  ExpectBanded(A, K.Name);
  EXPECT_EQ(A.Rects().size(), K.Rects);
}

INSTANTIATE_TEST_SUITE_P(
    Region, RegionOps,
    ::testing::Values(
        TOpCase{"overlap_union", {0, 0, 10, 10}, {5, 5, 15, 15}, okUnion, 3},
        TOpCase{"overlap_intersect", {0, 0, 10, 10}, {5, 5, 15, 15}, okIntersect, 1},
        TOpCase{"overlap_xor", {0, 0, 10, 10}, {5, 5, 15, 15}, okExclude, 4},
        TOpCase{"side_by_side_union_merges", {0, 0, 10, 10}, {10, 0, 20, 10}, okUnion, 1},
        TOpCase{"stacked_union_merges", {0, 0, 10, 10}, {0, 10, 10, 20}, okUnion, 1},
        TOpCase{"apart_intersect_is_empty", {0, 0, 5, 5}, {20, 20, 30, 30}, okIntersect, 0},
        TOpCase{"hole_by_xor", {0, 0, 30, 30}, {10, 10, 20, 20}, okExclude, 4},
        TOpCase{"same_xor_is_empty", {3, 3, 9, 9}, {3, 3, 9, 9}, okExclude, 0},
        TOpCase{"negative_coordinates", {-8, -8, 2, 2}, {-4, -6, 8, 0}, okUnion, 3}),
    [](const auto& I) { return std::string(I.param.Name); });

TEST(Region, RandomOperationSequencesMatchThePixelModel) {
  std::mt19937 Rng(37);
  std::uniform_int_distribution<int> Coord(-8, 39);
  std::uniform_int_distribution<int> OpOf(0, 2);
  for (int Round = 0; Round < 60; ++Round) {
    TqdRegion R;
    TPixels Model;
    bool Null = true;
    for (int Step = 0; Step < 6; ++Step) {
      TqdRegion Part;
      TPixels PartPixels;
      if (Step % 2 == 0) {
        int L = Coord(Rng), T = Coord(Rng), Ri = Coord(Rng), B = Coord(Rng);
        Part.SetRect({L, T, Ri, B});  // either corner order
        PartPixels = RectPixels(std::min(L, Ri), std::min(T, B), std::max(L, Ri), std::max(T, B));
      } else {
        const std::vector<TqdPoint> Tri{{Coord(Rng), Coord(Rng)}, {Coord(Rng), Coord(Rng)}, {Coord(Rng), Coord(Rng)}};
        Part.SetPolygon(Tri, fmAlternate);
        PartPixels = PixelsOf(Part);
        ExpectBanded(Part, "triangle");
      }
      const auto Op = static_cast<TOpKind>(OpOf(Rng));
      Apply(R, Part, Op);
      Model = Null ? PartPixels : ModelOp(Model, PartPixels, Op);
      Null = false;
      const std::string What = "round " + std::to_string(Round) + " step " + std::to_string(Step);
      ASSERT_EQ(PixelsOfRects(R), Model) << What;
      ASSERT_EQ(PixelsOf(R), Model) << What;
      ExpectBanded(R, What);
      const TqdIntRect Box = R.GetBox();
      for (const auto& [X, Y] : Model) ASSERT_TRUE(X >= Box.Left && X < Box.Right && Y >= Box.Top && Y < Box.Bottom);
      ASSERT_EQ(R.IntersectsRect({-8, -8, 40, 40}), !Model.empty()) << What;
    }
  }
}

TEST(Region, OffsetMovesEveryPixel) {
  TqdRegion R = RectRegion(0, 0, 4, 4);
  R.Union(RectRegion(6, 2, 8, 10));
  const TPixels Before = PixelsOf(R);
  R.Offset(3, -2);
  TPixels Moved;
  for (auto [X, Y] : Before) Moved.insert({X + 3, Y - 2});
  EXPECT_EQ(PixelsOf(R), Moved);
}

TEST(Image, PlainPixelWordsKeepTheDeviceColours) {
  TqdImage I;
  EXPECT_FALSE(I.Create(0, 3));
  EXPECT_FALSE(I.Create(1 << 14, 1 << 14)) << "beyond the pixel budget";
  ASSERT_TRUE(I.Create(3, 2, 0x0000FF));
  EXPECT_EQ(I.Bits()[0], 0xFFFF0000u) << "0xAARRGGBB words";
  I.SetPixel(2, 1, 0x123456);
  I.SetPixel(5, 5, 0);  // outside: ignored
  EXPECT_EQ(I.Pixel(2, 1), 0x123456u);
  EXPECT_EQ(I.Pixel(9, 9), 0u);
  EXPECT_FALSE(I.IsMonochrome());
  ASSERT_TRUE(I.Assign(2, 1, {0xFF000000u, 0xFFFFFFFFu}, false));
  EXPECT_TRUE(I.IsMonochrome());
  EXPECT_FALSE(I.Assign(2, 2, {0xFF000000u}, false)) << "too few words";
  EXPECT_TRUE(I.IsEmpty());
}

// The render core is usable where no toolkit is installed.
TEST(Linkage, NoQtLibraryIsLoaded) {
  std::ifstream Maps("/proc/self/maps");
  if (!Maps) GTEST_SKIP() << "no /proc/self/maps here";
  std::string Line;
  while (std::getline(Maps, Line)) EXPECT_EQ(Line.find("libQt"), std::string::npos) << Line;
}

}  // namespace
