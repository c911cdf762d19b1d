#pragma once
// A grid over the boxes of a group's children, so that a view shows what lies in
// it without testing every entity. Levels of ever coarser cells: each child sits
// in the finest level whose cells are at least as large as its box, in the cell of
// its lower-left corner. Queries answer child indices in list order (the draw
// order); they may name children outside the area (callers test the box again),
// never leave out one inside it.
#include <cstdint>
#include <vector>

#include "qdConsts.h"

class TqdDXFEntity;

class TqdSpatialIndex {
 public:
  // Groups smaller than this are walked whole (an index would not pay); a
  // process-wide setting (tests compare frames with and without the index).
  static int& MinEntities() {
    static int V = 512;
    return V;
  }

  // Indexes the children of G as they are now.
  explicit TqdSpatialIndex(const TqdDXFEntity& G);

  int Count() const { return FCount; }
  // The XY extent of the indexed boxes and their Z range.
  double MinX() const { return FMinX; }
  double MinY() const { return FMinY; }
  double MaxX() const { return FMaxX; }
  double MaxY() const { return FMaxY; }
  double MinZ() const { return FMinZ; }
  double MaxZ() const { return FMaxZ; }

  // Indices (ascending) of the children whose boxes may meet the XY area, plus
  // those without a usable box. False when the area covers the whole extent: the
  // caller walks every child (Out is then left empty).
  bool Query(double X0, double Y0, double X1, double Y1, std::vector<int>& Out) const;

  // The same for the device rectangle (X0, Y0)-(X1, Y1) that matrix M (children's
  // coordinates to the device) shows; false also when M cannot be inverted in XY.
  bool QueryDevice(const TFMatrix& M, double X0, double Y0, double X1, double Y1, std::vector<int>& Out) const;

  // Child Slot of the group was recomputed: its box may have moved. False when so
  // many moved that the index should be rebuilt.
  bool Moved(int Slot);

 private:
  struct TLevel {
    double CW = 1, CH = 1;
    int NX = 1, NY = 1;
    std::vector<int> Start;  // NX * NY + 1 offsets into Items
    std::vector<int> Items;
  };
  const TqdDXFEntity& FGroup;
  int FCount = 0;
  double FMinX = 0, FMinY = 0, FMaxX = 0, FMaxY = 0, FMinZ = 0, FMaxZ = 0;
  std::vector<TLevel> FLevels;
  std::vector<int> FAlways;  // children without a finite box
  std::vector<int> FMoved;   // recomputed since the build (tested by their box now)
  mutable std::vector<std::uint64_t> FBits;
};
