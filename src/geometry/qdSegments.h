#pragma once
// Outline of a wide polyline as quadrilaterals of four points each.
#include <vector>

#include "qdConsts.h"
#include "qdLists.h"

// One polyline vertex as the outline builder sees it. Count is how many points the
// vertex produced in the polyline's point list (-1 for a spline-frame control vertex).
struct TqdOutlineVertex {
  double StartWidth = 0;
  double EndWidth = 0;
  double Bulge = 0;
  int Count = 1;
};

class TqdCreatorSegments {
public:
  // Builds the quadrilaterals into Quads (emptied first). Points are in the plane of
  // the polyline. Returns false and leaves Quads empty when the point counts of the
  // vertices do not add up to the point list.
  static bool Build(const TFPointList& Points, const std::vector<TqdOutlineVertex>& Vertices,
                    double GlobalWidth, double PolyStartWidth, bool Closed, TFPointList& Quads);
};
