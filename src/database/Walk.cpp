#include "Walk.h"

#include "DXFConv.h"

bool TqdLayoutWalker::Report(TqdWalkKind K, TqdDXFEntity* E, const TFMatrix& M, TqdDXFInsert* I, TqdDXFViewport* V,
                             int D) {
  TqdWalkStep S;
  S.Kind = K;
  S.Entity = E;
  S.Matrix = M;
  S.Insert = I;
  S.Viewport = V;
  S.Depth = D;
  return (*FProc)(S);
}

bool TqdLayoutWalker::Walk(TqdDXFLayout& ALayout, const TFMatrix& AMatrix, const TProc& AProc) {
  TqdDXFBlock* B = ALayout.PaperSpaceBlockField();
  return B ? WalkBlock(*B, AMatrix, AProc) : true;
}

bool TqdLayoutWalker::WalkBlock(TqdDXFBlock& ABlock, const TFMatrix& AMatrix, const TProc& AProc) {
  FProc = &AProc;
  if (!FPath.Enter(&ABlock)) return true;
  const bool Go = WalkChildren(ABlock, AMatrix, nullptr, nullptr, 0);
  FPath.Leave(&ABlock);
  return Go;
}

bool TqdLayoutWalker::WalkChildren(TqdDXFBlock& B, const TFMatrix& M, TqdDXFInsert* AInsert,
                                   TqdDXFViewport* AViewport, int ADepth) {
  // By index: a step may not add children, but must not break the walk if it did.
  for (int K = 0; K < B.Count(); ++K) {
    TqdDXFEntity* E = B.GetEntity(K);
    if (!E) continue;
    if (auto* I = dynamic_cast<TqdDXFInsert*>(E)) {
      if (!WalkInsert(*I, M, AViewport, ADepth)) return false;
    } else if (auto* V = dynamic_cast<TqdDXFViewport*>(E)) {
      if (!WalkViewport(*V, M, ADepth)) return false;
    } else if (!Report(wkEntity, E, M, AInsert, AViewport, ADepth)) {
      return false;
    }
  }
  return true;
}

bool TqdLayoutWalker::WalkInsert(TqdDXFInsert& I, const TFMatrix& M, TqdDXFViewport* AViewport, int ADepth) {
  TqdDXFBlock* B = I.Block();
  if (B && FPath.Enter(B)) {
    auto* Array = dynamic_cast<TqdCADMInsert*>(&I);
    const std::uint64_t Cells = Array ? Array->CellCount() : 1;
    const std::uint64_t Allowed = Array ? Array->DrawnCellCount() : 1;
    const int Cols = Array ? Array->EffectiveCols() : 1;
    std::uint64_t Done = 0;
    bool Go = true;
    // The budget is checked per cell: nested arrays spend it while a cell is walked.
    for (; Done < Allowed && Go && FEntries < FLimit; ++Done) {
      ++FEntries;
      const TFMatrix CellMatrix =
          Array ? Array->CellMatrix(static_cast<int>(Done / static_cast<std::uint64_t>(Cols)),
                                    static_cast<int>(Done % static_cast<std::uint64_t>(Cols)))
                : I.GetMatrix();
      Go = WalkChildren(*B, ComposeMatrices(CellMatrix, M), &I, AViewport, ADepth + 1);
    }
    FPath.Leave(B);
    if (!Go) return false;
    if (Done < Cells) {
      FCapped = true;
      if (!Report(wkInsertBox, &I, M, nullptr, AViewport, ADepth)) return false;
    }
  }
  // The attributes lie in the insert's own space.
  for (int K = 0; K < I.Count(); ++K)
    if (TqdDXFEntity* A = I.GetEntity(K))
      if (!Report(wkEntity, A, M, &I, AViewport, ADepth)) return false;
  return true;
}

bool TqdLayoutWalker::WalkViewport(TqdDXFViewport& V, const TFMatrix& M, int ADepth) {
  // An off viewport (status 0) shows its frame only; other viewports that are not on
  // (the sheet itself) show nothing.
  if (!V.IsOn()) return V.StatusField() != 0 || Report(wkViewport, &V, M, nullptr, &V, ADepth);
  if (!Report(wkViewport, &V, M, nullptr, &V, ADepth)) return false;
  TqdViewportPass Pass(V, M);
  if (!Pass.Active()) return true;
  TqdDXFConverter* C = V.Converter();
  TqdDXFLayout* Model = C ? C->GetLayout(0) : nullptr;
  TqdDXFBlock* B = Model ? Model->PaperSpaceBlockField() : nullptr;
  if (!B || !FPath.Enter(B)) return true;
  const bool Go = WalkChildren(*B, Pass.Matrix(), nullptr, &V, ADepth + 1);
  FPath.Leave(B);
  return Go;
}
