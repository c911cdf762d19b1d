#pragma once
// Filled areas. For now the plain filled polygon set that multilines use for their
// fill; the hatch unit builds patterns, gradients and boundary paths on top of it.
#include <vector>

#include "DXFBase.h"

class TqdCADPolyPolygon : public TqdDXFPenLine {
  QD_ENTITY_CLASS(TqdCADPolyPolygon)
public:
  TqdCADEntities EntType() const override { return cePolyPolygon; }
  // Closed loops in world coordinates (non-finite points are refused).
  int LoopCount() const { return static_cast<int>(FLoops.size()); }
  const std::vector<TFPoint>& Loop(int I) const { return FLoops.at(static_cast<std::size_t>(I)); }
  void AddLoop(const std::vector<TFPoint>& APoints);
  void ClearLoops() { FLoops.clear(); }
  TFRect Box() const override { return FBox; }
  // The box of the loops.
  void Loaded(TqdDXFConverter* C) override;
  void AssignEntity(const TqdDXFEntity& Source) override;

private:
  std::vector<std::vector<TFPoint>> FLoops;
  TFRect FBox = cnstBadRect;
};
