// Walks through layouts: inserts, arrays, cycles and viewports.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "DXFConv.h"
#include "Walk.h"
#include "qdFunction.h"

namespace {

TqdDXFBlock* NewBlock(TqdDXFConverter& C, const std::string& Name) {
  return dynamic_cast<TqdDXFBlock*>(C.NewNamedEntity(C.GetOrCreateSection(csBlocks), ClassOf<TqdDXFBlock>(), Name));
}

void AddLine(TqdDXFEntity* Owner, const TFPoint& A, const TFPoint& B) {
  auto L = std::make_unique<TqdDXFLine>();
  L->SetLine(A, B);
  Owner->AddEntity(std::move(L));
}

template <class T = TqdDXFInsert> T* AddInsert(TqdDXFEntity* Owner, TqdDXFBlock* B, const TFPoint& P) {
  auto I = std::make_unique<T>();
  I->SetBlock(B);
  I->SetPoint(P);
  T* Raw = I.get();
  Owner->AddEntity(std::move(I));
  return Raw;
}

struct TSeen {
  std::vector<TFPoint> LineStarts;  // in layout coordinates
  int Boxes = 0, Frames = 0, ThroughViewport = 0;
};

TqdLayoutWalker::TProc Collect(TSeen& S) {
  return [&S](const TqdWalkStep& Step) {
    if (Step.Kind == wkInsertBox) ++S.Boxes;
    if (Step.Kind == wkViewport) ++S.Frames;
    if (const auto* L = dynamic_cast<const TqdDXFLine*>(Step.Entity); L && Step.Kind == wkEntity) {
      S.LineStarts.push_back(TransformPoint(L->Point(), Step.Matrix));
      if (Step.Viewport) ++S.ThroughViewport;
    }
    return true;
  };
}

TEST(Walks, SelfInsertingBlockIsWalkedOnceAndKeepsItsLink) {
  TqdDXFConverter C;
  TqdDXFBlock* S = NewBlock(C, "SELF");
  AddLine(S, {0, 0, 0}, {1, 1, 0});
  TqdDXFInsert* Inner = AddInsert(S, S, {5, 5, 0});
  AddInsert(C.ModelSpace(), S, {10, 0, 0});
  C.LoadAll();
  TSeen Seen;
  TqdLayoutWalker W;
  EXPECT_TRUE(W.Walk(*C.GetLayout(0), cnstIdentityMat, Collect(Seen)));
  ASSERT_EQ(Seen.LineStarts.size(), 1u);
  EXPECT_NEAR(Seen.LineStarts[0].X, 10, 1e-9);
  EXPECT_EQ(Inner->Block(), S);
}

TEST(Walks, ArrayCellsAreWalkedAndTheRestIsABox) {
  TqdDXFConverter C;
  TqdDXFBlock* A = NewBlock(C, "A");
  AddLine(A, {0, 0, 0}, {1, 1, 0});
  auto* M = AddInsert<TqdCADMInsert>(C.ModelSpace(), A, {0, 0, 0});
  M->SetNumCols(3);
  M->SetNumRows(2);
  M->SetColSpacing(10);
  M->SetRowSpacing(5);
  C.LoadAll();
  TSeen All;
  TqdLayoutWalker W;
  W.Walk(*C.GetLayout(0), cnstIdentityMat, Collect(All));
  ASSERT_EQ(All.LineStarts.size(), 6u);
  EXPECT_NEAR(All.LineStarts[5].X, 20, 1e-9);
  EXPECT_NEAR(All.LineStarts[5].Y, 5, 1e-9);
  EXPECT_FALSE(W.Capped());
  TSeen Part;
  TqdLayoutWalker Small(4);
  Small.Walk(*C.GetLayout(0), cnstIdentityMat, Collect(Part));
  EXPECT_EQ(Part.LineStarts.size(), 4u);
  EXPECT_EQ(Part.Boxes, 1);
  EXPECT_TRUE(Small.Capped());
}

TEST(Walks, nested_minsert_grids_stop_at_the_walk_limit) {
  TqdDXFConverter C;
  TqdDXFBlock* Inner = NewBlock(C, "INNER");
  AddLine(Inner, {0, 0, 0}, {1, 1, 0});
  TqdDXFBlock* Outer = NewBlock(C, "OUTER");
  auto* MI = AddInsert<TqdCADMInsert>(Outer, Inner, {0, 0, 0});
  MI->SetNumCols(1000);
  MI->SetNumRows(1000);
  auto* MO = AddInsert<TqdCADMInsert>(C.ModelSpace(), Outer, {0, 0, 0});
  MO->SetNumCols(1000);
  MO->SetNumRows(1000);
  C.LoadAll();
  std::uint64_t Lines = 0;
  TqdLayoutWalker W(20000);
  W.Walk(*C.GetLayout(0), cnstIdentityMat, [&](const TqdWalkStep& S) {
    Lines += S.Kind == wkEntity;
    return true;
  });
  EXPECT_LE(W.Entries(), 20000u);
  EXPECT_LT(Lines, 20000u);
  EXPECT_TRUE(W.Capped());
}

TEST(Walks, PaperLayoutShowsTheModelThroughEveryViewportThatIsOn) {
  TqdDXFConverter C;
  AddLine(C.ModelSpace(), {50, 50, 0}, {60, 60, 0});
  TqdDXFBlock* Paper = C.GetLayout(1)->PaperSpaceBlock();
  auto AddViewport = [&](std::uint64_t H, const TFPoint& Centre) {
    auto V = std::make_unique<TqdDXFViewport>();
    V->SetHandle(H);
    V->SetPSpaceCenter(Centre);
    V->SetPSpaceWidth(10);
    V->SetPSpaceHeight(10);
    V->SetMSpaceHeight(100);
    V->SetMSpaceCenter({50, 50, 0});
    TqdDXFViewport* Raw = V.get();
    Paper->AddEntity(std::move(V));
    return Raw;
  };
  AddViewport(1, {0, 0, 0});  // the sheet
  AddViewport(2, {5, 5, 0});
  AddViewport(3, {25, 5, 0});
  TqdDXFViewport* Off = AddViewport(4, {45, 5, 0});
  Off->SetOff(true);
  C.LoadAll();
  TSeen Seen;
  TqdLayoutWalker W;
  W.Walk(*C.GetLayout(1), cnstIdentityMat, Collect(Seen));
  EXPECT_EQ(Seen.Frames, 3);
  ASSERT_EQ(Seen.ThroughViewport, 2);
  EXPECT_NEAR(Seen.LineStarts[0].X, 5, 1e-9);
  EXPECT_NEAR(Seen.LineStarts[1].X, 25, 1e-9);
  EXPECT_EQ(C.Transform3d(), cnstIdentityMat) << "restored after the walk";
}

TEST(Walks, ModelSpaceShowingThePaperAgainDoesNotRecurse) {
  TqdDXFConverter C;
  TqdDXFBlock* Paper = C.GetLayout(1)->PaperSpaceBlock();
  auto V = std::make_unique<TqdDXFViewport>();
  V->SetHandle(2);
  V->SetPSpaceWidth(10);
  V->SetPSpaceHeight(10);
  Paper->AddEntity(std::make_unique<TqdDXFViewport>());  // the sheet
  Paper->AddEntity(std::move(V));
  AddLine(Paper, {0, 0, 0}, {1, 1, 0});
  AddInsert(C.ModelSpace(), Paper, {0, 0, 0});
  C.LoadAll();
  TSeen Seen;
  TqdLayoutWalker W;
  EXPECT_TRUE(W.Walk(*C.GetLayout(1), cnstIdentityMat, Collect(Seen)));
  EXPECT_EQ(Seen.LineStarts.size(), 1u);
}

TEST(Walks, RandomBlockGraphsLoadWalkAndFreeSafely) {
  // Blocks inserting each other at random (cycles, arrays, deleted blocks): loading,
  // walking and freeing must end and touch nothing freed.
  std::uint32_t Seed = 12345;
  auto Next = [&](std::uint32_t N) {
    Seed = Seed * 1664525u + 1013904223u;
    return (Seed >> 8) % N;
  };
  for (int Round = 0; Round < 20; ++Round) {
    auto* C = new TqdDXFConverter();
    std::vector<TqdDXFBlock*> Blocks;
    for (int I = 0; I < 12; ++I) {
      Blocks.push_back(NewBlock(*C, "B" + std::to_string(I)));
      AddLine(Blocks.back(), {0, 0, 0}, {1.0 + I, 1, 0});
    }
    for (int I = 0; I < 60; ++I) {
      TqdDXFEntity* Owner = Next(4) == 0 ? static_cast<TqdDXFEntity*>(C->ModelSpace()) : Blocks[Next(12)];
      TqdDXFBlock* Target = Blocks[Next(12)];
      if (Next(5) == 0) {
        auto* M = AddInsert<TqdCADMInsert>(Owner, Target, {double(Next(50)), double(Next(50)), 0});
        M->SetNumCols(static_cast<int>(Next(40)));
        M->SetNumRows(static_cast<int>(Next(40)));
        M->SetColSpacing(3);
        M->SetRowSpacing(2);
      } else {
        AddInsert(Owner, Target, {double(Next(50)), double(Next(50)), 0})->SetAngle(Next(360));
      }
    }
    for (int I = 0; I < 3; ++I) {
      const std::size_t K = Next(static_cast<std::uint32_t>(Blocks.size()));
      C->DeleteBlock(Blocks[K], true);
      Blocks.erase(Blocks.begin() + static_cast<std::ptrdiff_t>(K));
    }
    C->LoadAll();
    TqdLayoutWalker W(20000);
    std::uint64_t Steps = 0;
    W.Walk(*C->GetLayout(0), cnstIdentityMat, [&](const TqdWalkStep&) { return ++Steps < 500000; });
    EXPECT_TRUE(IsBadBox(C->GetLayout(0)->Box()) || IsFiniteBox(C->GetLayout(0)->Box()));
    C->Release();
  }
}

TEST(Walks, ProcCanStopTheWalk) {
  TqdDXFConverter C;
  for (int I = 0; I < 5; ++I) AddLine(C.ModelSpace(), {0, 0, 0}, {1, 1, 0});
  int N = 0;
  TqdLayoutWalker W;
  EXPECT_FALSE(W.Walk(*C.GetLayout(0), cnstIdentityMat, [&](const TqdWalkStep&) { return ++N < 2; }));
  EXPECT_EQ(N, 2);
}

}  // namespace
