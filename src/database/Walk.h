#pragma once
// A walk through a layout as drawing and exporting need it: every entity with the
// matrix from its block into the layout, through block references (array cells
// included) and, on paper layouts, through the viewports into the model space.
//
// The walk is safe on any drawing: a block met again on its own path is skipped on that
// path (its insert keeps the link), nesting stops at cnstMaxNestingDepth, an array
// draws at most cnstMaxInsertCells cells, and one walk enters blocks at most ALimit
// times in all; what is cut off is reported as the box of the insert instead.
#include <cstdint>
#include <functional>

#include "Inserts.h"
#include "Objects.h"

enum TqdWalkKind {
  wkEntity,     // an entity of a block (or an attribute of an insert)
  wkInsertBox,  // an insert whose (remaining) copies were cut off: draw its box
  wkViewport    // a viewport frame on the paper; the model space follows through it
};

struct TqdWalkStep {
  TqdWalkKind Kind = wkEntity;
  TqdDXFEntity* Entity = nullptr;
  // Block coordinates to layout coordinates (times the matrix the walk started with).
  TFMatrix Matrix = cnstIdentityMat;
  // The innermost insert whose block holds the entity (null at the layout's level).
  TqdDXFInsert* Insert = nullptr;
  // The viewport the model space is seen through (null elsewhere).
  TqdDXFViewport* Viewport = nullptr;
  int Depth = 0;
};

class TqdLayoutWalker {
public:
  // Returns false to stop the walk.
  using TProc = std::function<bool(const TqdWalkStep&)>;
  // Block entries of one walk, all inserts and array cells together.
  static constexpr std::uint64_t cnstDefaultLimit = 10000000;

  explicit TqdLayoutWalker(std::uint64_t ALimit = cnstDefaultLimit) : FLimit(ALimit) {}
  // False when Proc stopped the walk.
  bool Walk(TqdDXFLayout& ALayout, const TFMatrix& AMatrix, const TProc& AProc);
  bool WalkBlock(TqdDXFBlock& ABlock, const TFMatrix& AMatrix, const TProc& AProc);
  std::uint64_t Entries() const { return FEntries; }
  // Some copies were cut off by the limits.
  bool Capped() const { return FCapped; }

private:
  bool WalkChildren(TqdDXFBlock& B, const TFMatrix& M, TqdDXFInsert* AInsert, TqdDXFViewport* AViewport,
                    int ADepth);
  bool WalkInsert(TqdDXFInsert& I, const TFMatrix& M, TqdDXFViewport* AViewport, int ADepth);
  bool WalkViewport(TqdDXFViewport& V, const TFMatrix& M, int ADepth);
  bool Report(TqdWalkKind K, TqdDXFEntity* E, const TFMatrix& M, TqdDXFInsert* I, TqdDXFViewport* V, int D);

  const TProc* FProc = nullptr;
  TqdBlockPath FPath;
  std::uint64_t FLimit;
  std::uint64_t FEntries = 0;
  bool FCapped = false;
};
