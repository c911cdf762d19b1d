// Blocks, inserts, arrays, clipped references, attributes and multilines, built in code.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "DXFConv.h"
#include "DXFDump.h"
#include "Hatches.h"
#include "Inserts.h"
#include "Polylines.h"
#include "Registry.h"
#include "qdFunction.h"

namespace {

template <class T> T* AddTo(TqdDXFEntity* Owner, std::unique_ptr<T> E) {
  T* Raw = E.get();
  return Owner->AddEntity(std::move(E)) >= 0 ? Raw : nullptr;
}

TqdDXFBlock* NewBlock(TqdDXFConverter& C, const std::string& Name) {
  return dynamic_cast<TqdDXFBlock*>(C.NewNamedEntity(C.GetOrCreateSection(csBlocks), ClassOf<TqdDXFBlock>(), Name));
}

TqdDXFLine* AddLine(TqdDXFEntity* Owner, const TFPoint& A, const TFPoint& B) {
  auto L = std::make_unique<TqdDXFLine>();
  L->SetLine(A, B);
  return AddTo(Owner, std::move(L));
}

template <class T = TqdDXFInsert>
T* AddInsert(TqdDXFEntity* Owner, TqdDXFBlock* B, const TFPoint& P, const TFPoint& S = {1, 1, 1}, double A = 0) {
  auto I = std::make_unique<T>();
  I->SetBlock(B);
  I->SetPoint(P);
  I->SetScale(S);
  I->SetAngle(A);
  return AddTo(Owner, std::move(I));
}

void ExpectBox(const TFRect& R, double L, double B, double Rt, double T, const char* What = "") {
  EXPECT_NEAR(R.Left, L, 1e-9) << What;
  EXPECT_NEAR(R.Bottom, B, 1e-9) << What;
  EXPECT_NEAR(R.Right, Rt, 1e-9) << What;
  EXPECT_NEAR(R.Top, T, 1e-9) << What;
}

void ExpectPoint(const TFPoint& P, double X, double Y, double Z = 0) {
  EXPECT_NEAR(P.X, X, 1e-9);
  EXPECT_NEAR(P.Y, Y, 1e-9);
  EXPECT_NEAR(P.Z, Z, 1e-9);
}

// ---------------------------------------------------------------- placement

struct TPlacementRow {
  const char* Name;
  TFPoint Base, Scale, Extrusion;
  double Angle;
  TFPoint Offset, Block, Expected;
};

class Placement : public ::testing::TestWithParam<TPlacementRow> {};

TEST_P(Placement, MapsBlockPoint) {
  const TPlacementRow& R = GetParam();
  TqdDXFConverter C;
  TqdDXFBlock* B = NewBlock(C, "B");
  B->SetOffset(R.Offset);
  AddLine(B, {0, 0, 0}, {1, 1, 0});
  TqdDXFInsert* I = AddInsert(C.ModelSpace(), B, R.Base, R.Scale, R.Angle);
  I->SetExtrusion(R.Extrusion);
  C.Loads(I);
  const TFPoint P = TransformPoint(R.Block, I->GetMatrix());
  ExpectPoint(P, R.Expected.X, R.Expected.Y, R.Expected.Z);
}

INSTANTIATE_TEST_SUITE_P(
    Inserts, Placement,
    ::testing::Values(
        TPlacementRow{"identity", {0, 0, 0}, {1, 1, 1}, {0, 0, 1}, 0, {0, 0, 0}, {3, 4, 5}, {3, 4, 5}},
        TPlacementRow{"scaled_turned_moved", {10, 0, 0}, {2, 2, 1}, {0, 0, 1}, 90, {0, 0, 0}, {1, 0, 0}, {10, 2, 0}},
        TPlacementRow{"mirrored_in_x", {10, 0, 0}, {-1, 1, 1}, {0, 0, 1}, 0, {0, 0, 0}, {1, 2, 0}, {9, 2, 0}},
        TPlacementRow{"block_offset_lands_on_base", {7, 8, 0}, {3, 3, 3}, {0, 0, 1}, 30, {5, 5, 0}, {5, 5, 0},
                      {7, 8, 0}},
        TPlacementRow{"ocs_minus_z_base_and_axes", {10, 0, 0}, {1, 1, 1}, {0, 0, -1}, 0, {0, 0, 0}, {1, 0, 0},
                      {-11, 0, 0}},
        TPlacementRow{"zero_extrusion_reads_as_z", {1, 1, 0}, {1, 1, 1}, {0, 0, 0}, 0, {0, 0, 0}, {1, 0, 0},
                      {2, 1, 0}}),
    [](const auto& I) { return std::string(I.param.Name); });

TEST(Inserts, AngleIsNormalisedAndHugeAnglesIgnored) {
  TqdDXFInsert I;
  I.SetAngle(450);
  EXPECT_NEAR(I.Angle(), 90, 1e-6);
  I.SetAngle(-450);
  EXPECT_NEAR(I.Angle(), -90, 1e-6);
  I.SetAngle(3e9);
  EXPECT_NEAR(I.Angle(), -90, 1e-6);
  I.SetAngle(std::nan(""));
  EXPECT_NEAR(I.Angle(), -90, 1e-6);
}

// ---------------------------------------------------------------- boxes through blocks

TEST(InsertBoxes, NestedMirroredAndTurnedInsertsMeasureTheLayout) {
  TqdDXFConverter C;
  TqdDXFBlock* A = NewBlock(C, "A");
  AddLine(A, {0, 0, 0}, {1, 2, 0});
  TqdDXFBlock* B = NewBlock(C, "B");
  AddInsert(B, A, {10, 0, 0}, {-1, 1, 1});  // A mirrored: x in [9,10], y in [0,2]
  TqdDXFInsert* Top = AddInsert(C.ModelSpace(), B, {0, 0, 0}, {1, 1, 1}, 90);
  C.LoadAll();
  ExpectBox(B->Box(), 9, 0, 10, 2, "block B");
  ExpectBox(Top->Box(), -2, 9, 0, 10, "turned insert");
  ExpectBox(C.GetLayout(0)->Box(), -2, 9, 0, 10, "model layout");
}

TEST(InsertBoxes, OcsInsertBoxIsInWorldCoordinates) {
  TqdDXFConverter C;
  TqdDXFBlock* A = NewBlock(C, "A");
  AddLine(A, {0, 0, 0}, {2, 1, 0});
  TqdDXFInsert* I = AddInsert(C.ModelSpace(), A, {10, 0, 3});
  I->SetExtrusion({0, 0, -1});
  C.LoadAll();
  // OCS of -Z: x turns into -x, z into -z.
  EXPECT_NEAR(I->Box().Left, -12, 1e-9);
  EXPECT_NEAR(I->Box().Right, -10, 1e-9);
  EXPECT_NEAR(I->Box().Bottom, 0, 1e-9);
  EXPECT_NEAR(I->Box().Top, 1, 1e-9);
  EXPECT_NEAR(I->Box().Z1, -3, 1e-9);
}

TEST(InsertBoxes, InsertOfEmptyBlockHasTheBadBox) {
  TqdDXFConverter C;
  TqdDXFBlock* A = NewBlock(C, "EMPTY");
  TqdDXFInsert* I = AddInsert(C.ModelSpace(), A, {1, 1, 0});
  C.LoadAll();
  EXPECT_TRUE(IsBadBox(I->Box()));
}

TEST(InsertBoxes, PlaceholderResolvesInBlockRecordsByName) {
  TqdDXFConverter C;
  C.InitializeSectionsBegin();
  auto I = std::make_unique<TqdDXFInsert>();
  I->SetBlockLink(TqdLinkObject::ByName("late"));
  TqdDXFInsert* Raw = AddTo(C.ModelSpace(), std::move(I));
  TqdDXFBlock* B = NewBlock(C, "LATE");
  AddLine(B, {0, 0, 0}, {1, 1, 0});
  C.ResolveAllLinks();
  C.LoadAll();
  EXPECT_EQ(Raw->Block(), B);
  ExpectBox(Raw->Box(), 0, 0, 1, 1);
}

// ---------------------------------------------------------------- cycles

TEST(BlockCycles, BlockInsertingItselfIsMeasuredOnceWithoutRecursion) {
  TqdDXFConverter C;
  TqdDXFBlock* S = NewBlock(C, "SELF");
  AddLine(S, {0, 0, 0}, {1, 1, 0});
  TqdDXFInsert* Inner = AddInsert(S, S, {5, 5, 0});
  TqdDXFInsert* Top = AddInsert(C.ModelSpace(), S, {0, 0, 0});
  C.LoadAll();
  ExpectBox(S->Box(), 0, 0, 1, 1, "the cycle adds nothing");
  ExpectBox(Top->Box(), 0, 0, 1, 1);
  EXPECT_EQ(Inner->Block(), S) << "the link stays";
  // Loading it again on demand (an editor reload) ends as well.
  S->SetIsLoaded(false);
  C.Loads(Top);
  EXPECT_TRUE(S->IsLoaded());
  EXPECT_EQ(C.ModelSpace()->FindEntByHandle(true, true, 0xFFFFFF), nullptr);
}

TEST(BlockCycles, BlocksInsertingEachOtherEndAndKeepTheirLinks) {
  TqdDXFConverter C;
  TqdDXFBlock* A = NewBlock(C, "A");
  TqdDXFBlock* B = NewBlock(C, "B");
  AddLine(A, {0, 0, 0}, {1, 1, 0});
  AddLine(B, {10, 10, 0}, {11, 11, 0});
  TqdDXFInsert* AB = AddInsert(A, B, {0, 0, 0});
  TqdDXFInsert* BA = AddInsert(B, A, {0, 0, 0});
  AddInsert(C.ModelSpace(), A, {0, 0, 0});
  C.LoadAll();
  EXPECT_TRUE(A->IsLoaded());
  EXPECT_TRUE(B->IsLoaded());
  ExpectBox(C.GetLayout(0)->Box(), 0, 0, 11, 11);
  EXPECT_EQ(AB->Block(), B);
  EXPECT_EQ(BA->Block(), A);
}

TEST(BlockCycles, BlockLoadedDirectlyThroughLoadsSkipsItsOwnInsert) {
  // The on-demand path without LoadAll: the mark set before measuring ends the cycle.
  TqdDXFConverter C;
  TqdDXFBlock* S = NewBlock(C, "SELF");
  AddLine(S, {0, 0, 0}, {2, 2, 0});
  AddInsert(S, S, {1, 0, 0});
  C.Loads(S);
  EXPECT_TRUE(S->IsLoaded());
  EXPECT_FALSE(S->IsLoading());
  ExpectBox(S->Box(), 0, 0, 2, 2);
}

TEST(BlockCycles, deep_block_nesting_is_capped) {
  TqdDXFConverter C;
  std::vector<TqdDXFBlock*> Chain;
  for (int I = 0; I < 1500; ++I) Chain.push_back(NewBlock(C, "N" + std::to_string(I)));
  AddLine(Chain.back(), {0, 0, 0}, {1, 1, 0});
  for (std::size_t I = 0; I + 1 < Chain.size(); ++I) AddInsert(Chain[I], Chain[I + 1], {1, 0, 0});
  AddInsert(C.ModelSpace(), Chain.front(), {0, 0, 0});
  C.LoadAll();
  for (TqdDXFBlock* B : Chain) EXPECT_TRUE(B->IsLoaded());
  // Within the cap the content is measured through every level.
  EXPECT_TRUE(IsFiniteBox(Chain[Chain.size() - 100]->Box()));
}

TEST(InsertBoxes, OverflowingScaleGivesNoInfiniteBox) {
  TqdDXFConverter C;
  TqdDXFBlock* A = NewBlock(C, "A");
  AddLine(A, {0, 0, 0}, {1e300, 1, 0});
  TqdDXFInsert* I = AddInsert(C.ModelSpace(), A, {0, 0, 0}, {1e300, 1, 1});
  AddLine(C.ModelSpace(), {0, 0, 0}, {2, 2, 0});
  C.LoadAll();
  EXPECT_TRUE(IsBadBox(I->Box()));
  EXPECT_TRUE(IsFiniteBox(C.GetLayout(0)->Box()));
}

// A walk as the draw pipeline makes it: a block met again on its path is skipped there.
int CountLines(const TqdDXFBlock* B, TqdBlockPath& Path) {
  if (!Path.Enter(B)) return 0;
  int N = 0;
  for (int I = 0; I < B->Count(); ++I) {
    const TqdDXFEntity* E = B->GetEntity(I);
    if (E->EntType() == ceLine) ++N;
    if (const auto* Ins = dynamic_cast<const TqdDXFInsert*>(E); Ins && Ins->Block()) N += CountLines(Ins->Block(), Path);
  }
  Path.Leave(B);
  return N;
}

TEST(BlockCycles, WalkSkipsTheClosingInsertAndNeverDetachesItsBlock) {
  TqdDXFConverter C;
  TqdDXFBlock* A = NewBlock(C, "A");
  TqdDXFBlock* B = NewBlock(C, "B");
  AddLine(A, {0, 0, 0}, {1, 1, 0});
  AddLine(B, {0, 0, 0}, {1, 1, 0});
  TqdDXFInsert* AB = AddInsert(A, B, {0, 0, 0});
  TqdDXFInsert* BA = AddInsert(B, A, {0, 0, 0});
  C.LoadAll();
  TqdBlockPath Path;
  EXPECT_EQ(CountLines(A, Path), 2);
  EXPECT_EQ(CountLines(B, Path), 2);
  EXPECT_EQ(AB->Block(), B);
  EXPECT_EQ(BA->Block(), A);
  EXPECT_EQ(Path.Depth(), 0);
}

// ---------------------------------------------------------------- block lifetime

TEST(BlockLifetime, DeletedBlockLeavesItsInsertsWithoutALink) {
  TqdDXFConverter C;
  TqdDXFBlock* A = NewBlock(C, "A");
  AddLine(A, {0, 0, 0}, {1, 1, 0});
  TqdDXFInsert* I = AddInsert(C.ModelSpace(), A, {0, 0, 0});
  TqdDXFInsert* J = AddInsert(C.ModelSpace(), A, {5, 0, 0});
  C.LoadAll();
  ASSERT_EQ(A->References().size(), 2u);
  C.ModelSpace()->RemoveEntity(J);
  EXPECT_EQ(A->References().size(), 1u);
  ASSERT_TRUE(C.DeleteBlock(A, true));
  EXPECT_EQ(I->Block(), nullptr);
  EXPECT_EQ(I->BlockRecord(), nullptr);
  C.Loads(I);
  EXPECT_TRUE(IsBadBox(I->Box()));
  C.Loads(C.GetLayout(0));
}

// Inserts are chained through themselves in their block: dropping one from the middle,
// moving one to another block and deleting a block must keep every chain whole.
TEST(BlockLifetime, ReferenceChainsFollowInsertsBetweenBlocks) {
  TqdDXFConverter C;
  TqdDXFBlock* A = NewBlock(C, "A");
  TqdDXFBlock* B = NewBlock(C, "B");
  TqdDXFInsert* I = AddInsert(C.ModelSpace(), A, {0, 0, 0});
  TqdDXFInsert* J = AddInsert(C.ModelSpace(), A, {1, 0, 0});
  TqdDXFInsert* K = AddInsert(C.ModelSpace(), A, {2, 0, 0});
  ASSERT_EQ(A->ReferenceCount(), 3u);
  C.ModelSpace()->RemoveEntity(J);  // the middle of the chain
  EXPECT_EQ(A->References(), (std::vector<TqdDXFInsert*>{K, I}));
  K->SetBlock(B);
  K->SetBlock(B);  // a second link to the same block counts once
  EXPECT_EQ(A->References(), std::vector<TqdDXFInsert*>{I});
  EXPECT_EQ(B->References(), std::vector<TqdDXFInsert*>{K});
  ASSERT_TRUE(C.DeleteBlock(A, true));
  EXPECT_EQ(I->Block(), nullptr);
  EXPECT_EQ(B->ReferenceCount(), 1u);
  C.ModelSpace()->RemoveEntity(K);
  EXPECT_EQ(B->ReferenceCount(), 0u);
}

TEST(BlockLifetime, ClearingTheDrawingWithInsertsBetweenBlocksIsSafe) {
  auto* C = new TqdDXFConverter();
  TqdDXFBlock* A = NewBlock(*C, "A");
  TqdDXFBlock* B = NewBlock(*C, "B");
  AddInsert(A, B, {0, 0, 0});
  AddInsert(B, A, {0, 0, 0});
  AddInsert(C->ModelSpace(), A, {0, 0, 0});
  C->LoadAll();
  C->Clear();
  EXPECT_EQ(C->GetCount(csBlocks), 0);
  C->Release();
}

TEST(BlockLifetime, sort_table_outlives_its_block_on_clear) {
  // BLOCKS is cleared before OBJECTS: the sort table must not hold the block itself.
  auto* C = new TqdDXFConverter();
  C->InitializeSectionsBegin();
  TqdDXFBlock* A = NewBlock(*C, "A");
  A->BlockRecord()->SetHandle(0x40);
  auto* T = dynamic_cast<TqdDXFSortEntsTable*>(
      C->NewNamedEntity(C->GetOrCreateSection(csObjects), ClassOf<TqdDXFSortEntsTable>(), "ACAD_SORTENTS"));
  T->BlockItem().SetLink(TqdLinkObject::ByHandle(0x40));
  C->ResolveAllLinks();
  EXPECT_EQ(T->Block(C), A);
  C->Clear();
  C->Release();
}

TEST(Blocks, LoadedBlockRefusesNewEntitiesButLayoutBlocksAccept) {
  TqdDXFConverter C;
  TqdDXFBlock* A = NewBlock(C, "A");
  AddLine(A, {0, 0, 0}, {1, 1, 0});
  C.Loads(A);
  ASSERT_TRUE(A->IsLoaded());
  EXPECT_EQ(AddLine(A, {0, 0, 0}, {2, 2, 0}), nullptr);
  C.LoadAll();
  EXPECT_NE(AddLine(C.ModelSpace(), {0, 0, 0}, {2, 2, 0}), nullptr);
  A->Clear(true);
  EXPECT_FALSE(A->IsLoaded());
  EXPECT_NE(AddLine(A, {0, 0, 0}, {2, 2, 0}), nullptr);
}

struct TBlockNameRow {
  const char* Name;
  int Flags;
  bool Internal, Table;
};
class BlockNames : public ::testing::TestWithParam<TBlockNameRow> {};
TEST_P(BlockNames, Classify) {
  TqdDXFConverter C;
  TqdDXFBlock* B = NewBlock(C, GetParam().Name);
  B->SetFlags(GetParam().Flags);
  EXPECT_EQ(B->IsBlockIntetnal(), GetParam().Internal);
  EXPECT_EQ(B->IsAcadTableBlock(), GetParam().Table);
}
INSTANTIATE_TEST_SUITE_P(Blocks, BlockNames,
                         ::testing::Values(TBlockNameRow{"plain", 0, false, false},
                                           TBlockNameRow{"anonymous_flag", 1, true, false},
                                           TBlockNameRow{"*U12", 0, true, false},
                                           TBlockNameRow{"*T3", 0, true, true},
                                           TBlockNameRow{"*t7", 0, true, true},
                                           TBlockNameRow{"*TqdTbl", 0, true, true},
                                           TBlockNameRow{"*TX", 0, true, false}),
                         [](const auto& I) {
                           std::string N = I.param.Name;
                           for (char& Ch : N)
                             if (!std::isalnum(static_cast<unsigned char>(Ch))) Ch = '_';
                           return N + "_" + std::to_string(I.index);
                         });

// ---------------------------------------------------------------- arrays

TEST(ArrayInserts, BoxSpansTheGrid) {
  TqdDXFConverter C;
  TqdDXFBlock* A = NewBlock(C, "A");
  AddLine(A, {0, 0, 0}, {1, 1, 0});
  auto* M = AddInsert<TqdCADMInsert>(C.ModelSpace(), A, {0, 0, 0});
  M->SetNumCols(3);
  M->SetNumRows(2);
  M->SetColSpacing(10);
  M->SetRowSpacing(5);
  C.LoadAll();
  ExpectBox(M->Box(), 0, 0, 21, 6);
  ExpectPoint(TransformPoint({0, 0, 0}, M->CellMatrix(1, 2)), 20, 5);
  EXPECT_FALSE(M->IsCapped());
  EXPECT_TRUE(C.Warnings().empty());
}

TEST(ArrayInserts, TheGridTurnsWithTheAngle) {
  // Columns run along the turned X axis: at 90 degrees the second column stands above the first.
  TqdDXFConverter C;
  TqdDXFBlock* A = NewBlock(C, "A");
  AddLine(A, {0, 0, 0}, {1, 0, 0});
  auto* M = AddInsert<TqdCADMInsert>(C.ModelSpace(), A, {5, 0, 0});
  M->SetAngle(90);
  M->SetNumCols(2);
  M->SetNumRows(2);
  M->SetColSpacing(10);
  M->SetRowSpacing(4);
  C.LoadAll();
  ExpectPoint(TransformPoint({0, 0, 0}, M->CellMatrix(0, 1)), 5, 10);
  ExpectPoint(TransformPoint({0, 0, 0}, M->CellMatrix(1, 0)), 1, 0);
  ExpectPoint(M->CellOffset(1, 1), -4, 10);
  // The lines end at (5,1), (5,11), (1,1) and (1,11): the box holds all four copies.
  ExpectBox(M->Box(), 1, 0, 5, 11);
}

TEST(ArrayInserts, ZeroColumnsCountAsOneInsteadOfAShiftedBox) {
  TqdDXFConverter C;
  TqdDXFBlock* A = NewBlock(C, "A");
  AddLine(A, {0, 0, 0}, {1, 1, 0});
  auto* M = AddInsert<TqdCADMInsert>(C.ModelSpace(), A, {0, 0, 0});
  M->SetNumCols(0);
  M->SetColSpacing(10);
  C.LoadAll();
  ExpectBox(M->Box(), 0, 0, 1, 1);
  EXPECT_EQ(M->CellCount(), 1u);
}

TEST(ArrayInserts, HugeGridIsCappedAndReported) {
  TqdDXFConverter C;
  TqdDXFBlock* A = NewBlock(C, "A");
  AddLine(A, {0, 0, 0}, {1, 1, 0});
  auto* M = AddInsert<TqdCADMInsert>(C.ModelSpace(), A, {0, 0, 0});
  M->SetNumCols(65535);
  M->SetNumRows(65535);
  M->SetColSpacing(2);
  M->SetRowSpacing(2);
  M->SetNumRows(70000);  // out of range: ignored
  C.LoadAll();
  EXPECT_EQ(M->NumRows(), 65535);
  EXPECT_TRUE(M->IsCapped());
  EXPECT_EQ(M->DrawnCellCount(), cnstMaxInsertCells);
  ExpectBox(M->Box(), 0, 0, 65534 * 2 + 1, 65534 * 2 + 1);
  ASSERT_EQ(C.Warnings().size(), 1u);
  EXPECT_NE(C.Warnings()[0].find("1000000"), std::string::npos);
  C.Loads(M);  // a reload does not repeat the warning
  EXPECT_EQ(C.Warnings().size(), 1u);
}

// ---------------------------------------------------------------- clipped references

TqdCADSpatialFilter* ClipWith(TqdDXFConverter& C, TqdDXFInsert* I, const std::vector<TFPoint>& Bounds) {
  TqdDXFEntity* Objects = C.GetOrCreateSection(csObjects);
  auto* Ext = dynamic_cast<TqdDXFDictionary*>(C.NewNamedEntity(Objects, ClassOf<TqdDXFDictionary>(), ""));
  auto* Filters = C.NewNamedEntity(Ext, ClassOf<TqdDXFDictionary>(), "ACAD_FILTER");
  auto* F = dynamic_cast<TqdCADSpatialFilter*>(C.NewNamedEntity(Filters, ClassOf<TqdCADSpatialFilter>(), "SPATIAL"));
  F->FBounds = Bounds;
  C.SetEntityDictionary(I, Ext);
  return F;
}

TEST(ClippedInserts, RectangleCutsTheBox) {
  TqdDXFConverter C;
  TqdDXFBlock* A = NewBlock(C, "A");
  AddLine(A, {0, 0, 0}, {10, 10, 0});
  TqdDXFInsert* I = AddInsert(C.ModelSpace(), A, {100, 0, 0});
  ClipWith(C, I, {{2, 3, 0}, {5, 20, 0}});
  C.LoadAll();
  ExpectBox(I->Box(), 102, 3, 105, 10);
  EXPECT_EQ(I->ClipBoundary().size(), 4u);
}

TEST(ClippedInserts, ShownFrameKeepsTheBoundaryBox) {
  TqdDXFConverter C;
  TqdDXFBlock* A = NewBlock(C, "A");
  AddLine(A, {0, 0, 0}, {10, 10, 0});
  TqdDXFInsert* I = AddInsert(C.ModelSpace(), A, {0, 0, 0});
  ClipWith(C, I, {{2, 3, 0}, {5, 20, 0}})->FDisplayBounds = true;
  C.LoadAll();
  ExpectBox(I->Box(), 2, 3, 5, 20);
  C.HeadVarStruct().XClipFrame = 0;
  C.Loads(I);
  ExpectBox(I->Box(), 2, 3, 5, 10);
}

struct TDegenerateRow {
  const char* Name;
  std::vector<TFPoint> Bounds;
};
class DegenerateFilters : public ::testing::TestWithParam<TDegenerateRow> {};

TEST_P(DegenerateFilters, ClipNothingInsteadOfHidingTheInsert) {
  TqdDXFConverter C;
  TqdDXFBlock* A = NewBlock(C, "A");
  AddLine(A, {0, 0, 0}, {10, 10, 0});
  TqdDXFInsert* I = AddInsert(C.ModelSpace(), A, {0, 0, 0});
  ClipWith(C, I, GetParam().Bounds);
  C.LoadAll();
  ExpectBox(I->Box(), 0, 0, 10, 10);
  EXPECT_TRUE(I->ClipBoundary().empty());
}

INSTANTIATE_TEST_SUITE_P(ClippedInserts, DegenerateFilters,
                         ::testing::Values(TDegenerateRow{"no_points", {}},
                                           TDegenerateRow{"one_point", {{1, 1, 0}}},
                                           TDegenerateRow{"two_equal_points", {{1, 1, 0}, {1, 1, 0}}},
                                           TDegenerateRow{"rectangle_without_width", {{1, 1, 0}, {1, 5, 0}}},
                                           TDegenerateRow{"polygon_of_two_distinct", {{1, 1, 0}, {2, 2, 0}, {1, 1, 0}}},
                                           TDegenerateRow{"collinear_polygon", {{0, 0, 0}, {1, 1, 0}, {3, 3, 0}}}),
                         [](const auto& I) { return std::string(I.param.Name); });

TEST(ClippedInserts, ClipInsertReportsItsClipBoxAndMovesIt) {
  TqdDXFConverter C;
  TqdDXFBlock* A = NewBlock(C, "A");
  AddLine(A, {0, 0, 0}, {10, 10, 0});
  auto* I = AddInsert<TqdCADClipInsert>(C.ModelSpace(), A, {0, 0, 0});
  I->SetClipBox({2, 8, 0, 6, 3, 0});
  C.LoadAll();
  ExpectBox(I->Box(), 2, 3, 6, 8);
  I->SetPoint({1, 1, 0});
  C.Loads(I);
  ExpectBox(I->Box(), 3, 4, 7, 9);
}

// ---------------------------------------------------------------- attributes

TqdDXFAttrib* AddAttrib(TqdDXFInsert* I, const TFPoint& P, double Height = 2) {
  auto A = std::make_unique<TqdDXFAttrib>();
  A->SetPoint(P);
  A->SetHeight(Height);
  A->SetTag("T");
  A->SetValue("v");
  return AddTo(I, std::move(A));
}

TEST(Attributes, InsertTakesOnlyAttributes) {
  TqdDXFInsert I;
  EXPECT_NE(AddAttrib(&I, {0, 0, 0}), nullptr);
  EXPECT_EQ(I.AddEntity(std::make_unique<TqdDXFAttdef>()), -1);
  EXPECT_EQ(I.AddEntity(std::make_unique<TqdDXFLine>()), -1);
  EXPECT_EQ(I.Count(), 1);
  EXPECT_TRUE(I.HasAttribs());
  EXPECT_EQ(I.GetEntity(0)->Owner(), &I);
}

TEST(Attributes, MoveTurnAndScaleWithTheirInsert) {
  TqdDXFInsert I;
  I.SetPoint({10, 0, 0});
  TqdDXFAttrib* A = AddAttrib(&I, {12, 0, 0});
  A->SetHAlign(1);
  A->SetPoint1({13, 0, 0});
  I.SetPoint({20, 0, 0});
  ExpectPoint(A->Point(), 22, 0);
  ExpectPoint(A->Point1(), 23, 0);
  I.SetAngle(90);
  ExpectPoint(A->Point(), 20, 2);
  ExpectPoint(A->Point1(), 20, 3);
  EXPECT_NEAR(A->Rotation(), 90, 1e-6);
  I.SetScale({2, 4, 1});
  ExpectPoint(A->Point(), 20, 8);
  EXPECT_NEAR(A->Height(), 8, 1e-9);
  EXPECT_NEAR(A->Scale(), 0.5, 1e-9);
}

TEST(Attributes, insert_scale_from_zero_keeps_attributes_finite) {
  TqdDXFInsert I;
  I.SetScale({0, 0, 1});  // DXF 41/42 of 0 occur in files
  TqdDXFAttrib* A = AddAttrib(&I, {3, 4, 0});
  I.SetScale({2, 2, 1});
  EXPECT_TRUE(std::isfinite(A->Height()));
  EXPECT_TRUE(std::isfinite(A->Scale()));
  EXPECT_TRUE(IsFiniteFPoint(A->Point()));
  EXPECT_NEAR(A->Height(), 2, 1e-12);
  I.SetScale({1, 0, 1});  // and back to a zero
  EXPECT_NEAR(A->Height(), 2, 1e-12);
  EXPECT_NEAR(A->Scale(), 0.5, 1e-12);
}

TEST(Attributes, TagAndValueOfDefinitionsAndAttributes) {
  TqdDXFAttdef D;
  D.SetTag("NAME");
  D.SetValue("default");
  EXPECT_EQ(D.Tag(), "NAME");
  EXPECT_EQ(D.Text(), "NAME");
  EXPECT_EQ(D.Value(), "default");
  EXPECT_EQ(D.EntName(), "ATTDEF TAG = NAME");
  TqdDXFAttrib A;
  A.SetText("shown");
  A.SetTag("NAME");
  EXPECT_EQ(A.Text(), "shown");
  A.SetValue("filled in");
  EXPECT_EQ(A.Text(), "filled in");
  EXPECT_EQ(A.Value(), "filled in");
}

TEST(Attributes, OnlyConstantDefinitionsDrawInInserts) {
  TqdDXFAttdef D;
  EXPECT_FALSE(D.DrawsInInsert());
  D.SetConstant(true);
  EXPECT_TRUE(D.DrawsInInsert());
  D.SetHasChanging(true);
  EXPECT_FALSE(D.DrawsInInsert());
  D.SetHasChanging(false);
  D.SetPreset(true);
  EXPECT_FALSE(D.DrawsInInsert());
  TqdDXFAttrib A;
  EXPECT_TRUE(A.DrawsInInsert());
  A.SetNotAppear(true);
  EXPECT_FALSE(A.DrawsInInsert());
}

TEST(Attributes, LockPositionRoundTripsThroughAcDbAttr) {
  TqdDXFAttdef D;
  D.SetLockPosition(true);
  const TqdCADExtendedData X = D.AttrExtData();
  ASSERT_EQ(X.Count(), 3);
  EXPECT_TRUE(X.IsEqualName("AcDbAttr"));
  TqdDXFAttdef E;
  E.SetAttrExtData(X);
  EXPECT_TRUE(E.LockPosition());
}

TEST(Attributes, BlockFlagTwoFollowsNonConstantDefinitions) {
  TqdDXFConverter C;
  TqdDXFBlock* B = NewBlock(C, "A");
  auto D = std::make_unique<TqdDXFAttdef>();
  TqdDXFAttdef* Var = AddTo(B, std::move(D));
  EXPECT_EQ(B->Flags() & cnstBlockHasAttributes, cnstBlockHasAttributes);
  auto K = std::make_unique<TqdDXFAttdef>();
  K->SetConstant(true);
  TqdDXFAttdef* Const = AddTo(B, std::move(K));
  EXPECT_EQ(B->Flags() & cnstBlockHasAttributes, 0);
  B->RemoveEntity(Const);
  EXPECT_EQ(B->Flags() & cnstBlockHasAttributes, cnstBlockHasAttributes);
  B->RemoveEntity(Var);
  EXPECT_EQ(B->Flags() & cnstBlockHasAttributes, 0);
}

TEST(Attributes, CopyAttributesLoadsThemWithTheInsert) {
  TqdDXFConverter C;
  TqdDXFInsert Src;
  AddAttrib(&Src, {1, 2, 0});
  TqdDXFBlock* A = NewBlock(C, "A");
  AddLine(A, {0, 0, 0}, {1, 1, 0});
  TqdDXFInsert* I = AddInsert(C.ModelSpace(), A, {0, 0, 0});
  I->CopyAttributes(Src);
  ASSERT_EQ(I->Count(), 1);
  EXPECT_NE(I->GetEntity(0), Src.GetEntity(0));
  EXPECT_EQ(I->InternalFlags() & 1, 1);
  C.LoadAll();
  EXPECT_EQ(I->InternalFlags() & 1, 0);
  EXPECT_NE(I->GetEntity(0)->Layer(), nullptr) << "the attribute went through Loads";
}

// ---------------------------------------------------------------- multilines

TqdMLineStyle* NewStyle(TqdDXFConverter& C, const std::vector<double>& Offsets, bool Fill) {
  auto* S = dynamic_cast<TqdMLineStyle*>(
      C.NewNamedEntity(C.GetOrCreateSection(csMLineStyles), ClassOf<TqdMLineStyle>(), "S"));
  for (double O : Offsets) S->NewEntry(TqdColorCAD::Index(1), nullptr, O);
  S->SetFlags(Fill ? 1 : 0);
  return S;
}

TqdCADMLine* NewMLine(TqdDXFConverter& C, TqdMLineStyle* S, const std::vector<std::vector<std::vector<float>>>& Lists) {
  auto M = std::make_unique<TqdCADMLine>();
  M->SetStyle(S);
  for (std::size_t I = 0; I < Lists.size(); ++I) {
    auto V = std::make_unique<TqdMVertex>();
    V->SetPoint({10.0 * static_cast<double>(I), 0, 0});
    V->SetDirection({1, 0, 0});
    V->SetMiter({0, 1, 0});
    for (const auto& L : Lists[I]) {
      V->NewList();
      for (float X : L) V->Add(X);
    }
    V->Complete();
    M->AddItem(std::move(V));
  }
  return AddTo(C.ModelSpace(), std::move(M));
}

std::vector<TFPoint> PolylinePoints(const TqdDXFEntity* E) {
  std::vector<TFPoint> R;
  if (const auto* P = dynamic_cast<const TqdDXFPolyline*>(E))
    for (int I = 0; I < P->Count(); ++I) R.push_back(P->GetVertex(I)->Point());
  return R;
}

TEST(MLines, TwoElementsGiveTwoPolylinesAndTheFillComesFirst) {
  TqdDXFConverter C;
  TqdMLineStyle* S = NewStyle(C, {0.5, -0.5}, true);
  TqdCADMLine* M = NewMLine(C, S, {{{0.5f, 0}, {-0.5f, 0}}, {{0.5f, 0}, {-0.5f, 0}}});
  C.Loads(M);
  const TqdDXFBlock* B = M->PrivateBlock();
  ASSERT_EQ(B->Count(), 3);
  EXPECT_EQ(B->GetEntity(0)->EntType(), cePolyPolygon);
  const auto P1 = PolylinePoints(B->GetEntity(1));
  ASSERT_EQ(P1.size(), 2u);
  ExpectPoint(P1[0], 0, 0.5);
  ExpectPoint(P1[1], 10, 0.5);
  const auto P2 = PolylinePoints(B->GetEntity(2));
  ASSERT_EQ(P2.size(), 2u);
  ExpectPoint(P2[1], 10, -0.5);
  const auto* Fill = static_cast<const TqdCADPolyPolygon*>(B->GetEntity(0));
  ASSERT_EQ(Fill->LoopCount(), 1);
  ASSERT_EQ(Fill->Loop(0).size(), 5u);  // closed when loaded
  ExpectPoint(Fill->Loop(0)[4], 0, 0.5);
  ExpectPoint(Fill->Loop(0)[0], 0, 0.5);
  ExpectPoint(Fill->Loop(0)[1], 10, 0.5);
  ExpectPoint(Fill->Loop(0)[2], 10, -0.5);
  ExpectPoint(Fill->Loop(0)[3], 0, -0.5);
  ExpectBox(M->Box(), 0, -0.5, 10, 0.5);
}

TEST(MLines, DashListsCutAnElementIntoPieces) {
  TqdDXFConverter C;
  TqdMLineStyle* S = NewStyle(C, {0.5}, false);
  TqdCADMLine* M = NewMLine(C, S, {{{0.5f, 0, 2, 3, 5}}, {{0.5f, 0, 2, 3, 5}}});
  C.Loads(M);
  const TqdDXFBlock* B = M->PrivateBlock();
  ASSERT_EQ(B->Count(), 3);
  const std::vector<std::vector<double>> Xs = {{0, 2}, {3, 5, 10, 12}, {13, 15}};
  for (int I = 0; I < 3; ++I) {
    const auto P = PolylinePoints(B->GetEntity(I));
    ASSERT_EQ(P.size(), Xs[static_cast<std::size_t>(I)].size()) << I;
    for (std::size_t J = 0; J < P.size(); ++J) ExpectPoint(P[J], Xs[static_cast<std::size_t>(I)][J], 0.5);
  }
}

TEST(MLines, mline_style_with_more_elements_than_vertex_lists) {
  TqdDXFConverter C;
  TqdMLineStyle* S = NewStyle(C, {1, 0, -1}, true);
  TqdCADMLine* M = NewMLine(C, S, {{{1, 0}, {0, 0}}, {{1, 0}, {0, 0}}});
  C.Loads(M);
  const TqdDXFBlock* B = M->PrivateBlock();
  // The fill and one polyline per element that has lists; element 3 adds nothing.
  EXPECT_EQ(B->Count(), 3);
  for (int I = 0; I < B->Count(); ++I) EXPECT_TRUE(IsFiniteBox(B->GetEntity(I)->Box())) << I;
}

TEST(MLines, mline_fill_after_vertex_without_lists) {
  TqdDXFConverter C;
  TqdMLineStyle* S = NewStyle(C, {1, -1}, true);
  TqdCADMLine* M = NewMLine(C, S, {{{1, 0}, {-1, 0}}, {}, {{2, 0}, {-2, 0}}});
  C.Loads(M);
  const auto* Fill = dynamic_cast<const TqdCADPolyPolygon*>(M->PrivateBlock()->GetEntity(0));
  ASSERT_NE(Fill, nullptr);
  ASSERT_EQ(Fill->Loop(0).size(), 5u);  // closed when loaded
  ExpectPoint(Fill->Loop(0)[0], 0, 1);
  ExpectPoint(Fill->Loop(0)[1], 20, 2);
  ExpectPoint(Fill->Loop(0)[2], 20, -2);
  ExpectPoint(Fill->Loop(0)[3], 0, -1);
  // The vertex without lists ends each element's polyline: two pieces per element.
  EXPECT_EQ(M->PrivateBlock()->Count(), 1 + 4);
}

TEST(MLines, WithoutStyleNothingIsBuilt) {
  TqdDXFConverter C;
  TqdCADMLine* M = NewMLine(C, nullptr, {{{0.5f, 0}}, {{0.5f, 0}}});
  C.Loads(M);
  EXPECT_EQ(M->PrivateBlock()->Count(), 0);
  EXPECT_TRUE(IsBadBox(M->Box()));
}

// ---------------------------------------------------------------- registry and dump

TEST(InsertRegistry, NamesMakeTheirClasses) {
  RegisterDatabaseClasses();
  for (const char* N : {"INSERT", "ATTDEF", "ATTRIB", "MLINE", "SPATIAL_FILTER", "VIEWPORT"})
    EXPECT_NE(TqdEntityRegistry::CreateByDXFName(N), nullptr) << N;
  EXPECT_EQ(TqdEntityRegistry::CreateByDXFName("INSERT")->EntType(), ceInsert);
  EXPECT_EQ(TqdEntityRegistry::CreateByDXFName("VIEWPORT")->EntType(), ceViewport);
}

TEST(InsertDump, ShowsBlockPointScaleAndAngle) {
  TqdDXFConverter C;
  TqdDXFBlock* A = NewBlock(C, "DOOR");
  AddLine(A, {0, 0, 0}, {1, 1, 0});
  AddInsert(C.ModelSpace(), A, {1, 2, 0}, {2, 2, 1}, 90);
  const std::string D = DumpConverter(C);
  EXPECT_NE(D.find("TqdDXFInsert"), std::string::npos) << D;
  EXPECT_NE(D.find("block=\"DOOR\" at (1,2,0) scale (2,2,1) angle 90"), std::string::npos) << D;
}

}  // namespace
