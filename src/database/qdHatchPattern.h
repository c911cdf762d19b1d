#pragma once
// Hatch patterns: the pattern lines a hatch carries (already rotated and scaled, as the
// file gives them), the clipper of one line against the hatch's loops, and the
// generator that lays each line's family over the loops, clips and dashes it, within a
// memory and a time budget.
#include <cstdint>
#include <string>
#include <vector>

#include "DXFBase.h"
#include "qdError.h"

enum TqdHatchStyle { hsSolid, hsPatternData, hsHorizontal, hsVertical, hsFDiagonal, hsBDiagonal, hsCross, hsDiagCross };
enum TqdFillStyle { fsSolid, fsClear, fsHorizontal, fsVertical, fsFDiagonal, fsBDiagonal, fsCross, fsDiagCross, fsCAD };

// One pattern line.
struct TqdHatchPatternData {
  double LineAngle = 0;  // degrees
  TFPoint BaseP;         // a point of one line of the family, where the dashes start
  TFPoint Offset;        // from one line of the family to the next
  int DashNum = 0;       // dash entries as read
  std::vector<double> Lines;  // > 0 dash, < 0 gap, 0 dot
  bool IsDash = false;
};

class TqdCADHatchPatternData : public TqdDXFEntity {
  QD_ENTITY_CLASS(TqdCADHatchPatternData)
public:
  void AssignEntity(const TqdDXFEntity& Source) override;
  // A line through ABasePoint at Angle with offset (1, ASign, 0) and no dashes.
  TqdHatchPatternData& AddPatternData(const TFPoint& ABasePoint, double ASign, double Angle);
  // Angle 0, no name, scale 1, no lines.
  void ClearPatterns(bool AClearCapacity);
  void CopyPatterns(const TqdCADHatchPatternData& Source);
  // Stores the angle (whole turns removed) and rotates the lines by the change.
  void DoAngle(double A);
  // Stores the scale and scales the lines by the change. Non-finite values are ignored.
  void DoScale(double A);
  // Rotates (degrees) or scales the lines alone.
  void RotateLines(double Delta);
  void ScaleLines(double Factor);

  double FAngle = 0;
  std::string FName;
  double FScale = 1;
  std::vector<TqdHatchPatternData> FPatterns;
};

class EqdLimitMemoryUsesException : public EqdError {
public:
  EqdLimitMemoryUsesException() : EqdError("Hatch Memory Limit") {}
};
class EqdLimitTimeUsesException : public EqdError {
public:
  EqdLimitTimeUsesException() : EqdError("Hatch Time Limit") {}
};

// The budget of one generation.
struct TqdHatchLimits {
  double MemoryBytes = 33554432.0;   // estimated storage
  std::size_t MaxPoints = 1398101;   // output points
  std::uint64_t TimeMs = 180000;     // wall time
};

// Loops of a hatch prepared for clipping: their edges (degenerate ones merged away),
// boxes, and per loop a row index of edges by Y for the inside test.
class TqdHatchLoops {
public:
  struct TEdge {
    TF2DPoint A, B;
  };
  struct TLoop {
    std::vector<TEdge> Edges;
    TFRect Box = cnstBadRect;
    int PointCount = 0;
    // Edges by row of the box: rows are RowH high from Box.Bottom; Starts has one
    // entry per row plus one into Items.
    double RowH = 0;
    std::vector<int> Starts, Items;
  };
  explicit TqdHatchLoops(const std::vector<std::vector<TFPoint>>& ALoops);
  const std::vector<TLoop>& Loops() const { return FLoops; }
  // Inside an odd number of loops; a point on an edge (within 1e-15) is not inside.
  bool Inside(const TF2DPoint& M) const;
  std::size_t EdgeCount() const { return FEdgeCount; }

private:
  bool InsideLoop(const TLoop& L, const TF2DPoint& M) const;
  std::vector<TLoop> FLoops;
  std::size_t FEdgeCount = 0;
};

// Clips one line against the loops: the points where the segment enters and leaves
// the area, alternating.
class TqdParserLineHatch {
public:
  explicit TqdParserLineHatch(const TqdHatchLoops& ALoops) : FLoops(ALoops) {}
  // Appends to AParsedLines; AEdges, when given, are the only edges that may meet the
  // line (pairs of loop index and edge index), else every edge is tried.
  void Parse(const TF2DPoint& AP1, const TF2DPoint& AP2, std::vector<TF2DPoint>& AParsedLines,
             const std::vector<std::pair<int, int>>* AEdges = nullptr);

private:
  void TryEdge(const TqdHatchLoops::TEdge& E, std::vector<TF2DPoint>& Out);
  const TqdHatchLoops& FLoops;
  double FAccuracyCmp = 1e-9;
  TF2DPoint FPoint1, FPoint2;
  std::vector<TqdHatchLoops::TEdge> FBoundaryEdges;
};

// The generator's view of the brush-like hatch styles it classifies families into.
// AStyle starts as the hatch's style and ends as the style of the lines it laid.
// Raises EqdLimitMemoryUsesException or EqdLimitTimeUsesException at a limit.
void qdGenerateHatchPattern(const std::vector<std::vector<TFPoint>>& ALoops, const TFRect& ABox,
                            const std::vector<TqdHatchPatternData>& APatterns, int& AStyle,
                            std::vector<TFPoint>& AOut, const TqdHatchLimits& ALimits = {});

// Dashes one clipped piece E-X of a line whose dash sequence starts at P (step of the
// generator, exposed for tests). Appends pairs of points; returns false when the piece
// was output whole.
bool qdDashHatchPiece(const TF2DPoint& E, const TF2DPoint& X, const TF2DPoint& P, const std::vector<double>& ADashes,
                      std::vector<TFPoint>& AOut, double AMemoryLeft);
