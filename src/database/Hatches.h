#pragma once
// Filled areas. For now the plain filled polygon set that multilines use for their
// fill; the hatch unit builds patterns, gradients and boundary paths on top of it.
#include <cmath>
#include <cstdint>
#include <string>
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

// ---- boundary paths and pattern lines as the file gives them; the loop builder and
// the pattern generator of the hatch unit turn them into loops and lines.

enum Tqd2DEdgeType : std::uint8_t { etPolyline, etLine, etArc, etEllipse, etSpline };

// One boundary edge (points in the hatch's plane, Z 0).
struct Tqd2DCurve {
  Tqd2DEdgeType FType = etLine;
  TFPoint FStartPoint, FEndPoint;     // line
  TFPoint FCenterPoint, FMajorPoint;  // arc and ellipse (major axis end relative to the centre)
  double FRadius = 0;                 // arc radius, ellipse minor-to-major ratio
  double FStartParam = 0, FEndParam = 0;  // degrees
  bool FCounterClockwise = false;
  std::vector<TFPoint> FVertexes;     // polyline vertices, spline control points
  std::vector<float> FBulges;         // polyline bulges (absent until the first)
  bool FClosed = false;
  std::vector<double> FKnots, FWeights;
  int FDegree = 3;
  bool FRational = false, FPeriodic = false;
  int FFitCount = 0;
};

// One loop: its DXF path flags (1 external, 2 polyline, 4 derived, 8 text box,
// 16 outermost) and its edges.
struct Tqd2DBoundaryList {
  int FBoundaryType = 1;
  std::vector<Tqd2DCurve> FObjects;
};

struct TqdHatchPatternLine {
  double LineAngle = 0;
  TFPoint BaseP, Offset;
  int DashNum = 0;
  bool IsDash = false;
  std::vector<double> Lines;
};

// A solid area bounded by curve edges: the boundary paths, gradient and plane.
class TqdCADCurvePolygon : public TqdCADPolyPolygon {
  QD_ENTITY_CLASS(TqdCADCurvePolygon)
public:
  TqdCADEntities EntType() const override { return ceCurvePolygon; }
  void AssignEntity(const TqdDXFEntity& Source) override;
  void SetElevation(const TFPoint& P) {
    if (std::isfinite(P.Z)) FElevation = {0, 0, P.Z};
  }
  TFPoint Elevation3() const { return FElevation; }

  std::vector<Tqd2DBoundaryList> FBoundaries;
  std::string FHatchName;
  bool FSolidFill = true;
  // Gradient: two colours, angle in degrees, centred flag, name.
  TqdColorCAD FGradientColor[2] = {TqdColorCAD::RGB(0xFF0000), TqdColorCAD::RGB(0xFFFFFF)};
  double FGradientAngle = 0;
  bool FGradientUseCenter = true;
  std::string FGradientName;
  TFPoint FElevation;
  TFPoint FHatchExtrusion = cnstExtrusion;
};

// A pattern hatch.
class TqdCADHatch : public TqdCADCurvePolygon {
  QD_ENTITY_CLASS(TqdCADHatch)
public:
  TqdCADHatch() { FSolidFill = false; }
  TqdCADEntities EntType() const override { return ceHatch; }
  void AssignEntity(const TqdDXFEntity& Source) override;

  int FHatchStyle = 0;       // code 75
  int FPatternType = 1;      // code 76
  double FPatternAngle = 0;  // degrees (code 52)
  double FPatternScale = 1;  // code 41
  std::vector<TqdHatchPatternLine> FPatternLines;
};

class TqdCADMPolygon : public TqdCADHatch {
  QD_ENTITY_CLASS(TqdCADMPolygon)
public:
  TqdCADEntities EntType() const override { return ceMPolygon; }
  void AssignEntity(const TqdDXFEntity& Source) override;
  TFPoint FOffset;
  TqdColorCAD FFillColor = TqdColorCAD::Index(clByLayer);
};
