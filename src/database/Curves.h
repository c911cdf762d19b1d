#pragma once
// Entities whose geometry is a tessellated point list: the common base, circles,
// arcs, ellipses and splines. Polylines are in Polylines.h.
#include <cmath>
#include <vector>

#include "DXFBase.h"
#include "Entities.h"
#include "qdFunction.h"
#include "qdLists.h"

// Upper bound of points one entity keeps, whatever its data asks for.
inline constexpr int cnstMaxEntityPoints = 4000000;

class TqdCADBasePolyline : public TqdDXFPenLine {
public:
  // Flag bits.
  static constexpr int cnstClosed = 1;
  static constexpr int cnst3DPolyline = 8;
  static constexpr int cnstPolygonMesh = 16;
  static constexpr int cnstMeshNClosed = 32;
  static constexpr int cnstPolyfaceMesh = 64;
  static constexpr int cnstPLinegen = 128;
  static constexpr int cnstJoinDashes = 512;
  static constexpr int cnstLinetypePoints = 2048;

  const TFPointList& PolyPoints() const {
    EnsurePoints();
    return FPolyPoints;
  }
  int PointCount() const {
    EnsurePoints();
    return FPolyPoints.Count();
  }
  // The points are made on first use (the box is known without them).
  bool PointsDeferred() const { return FDeferredParts != 0; }
  // The points a frame draws: the kept ones, or, while a curve's points are still to
  // be made, the same points made into Scratch and not kept (kept for every circle of
  // a huge drawing they would be most of its memory).
  // PixelsPerUnit (device pixels per drawing unit, 0 for unknown) lets a curve made
  // there use fewer segments where a tenth of a pixel holds them, never more than
  // its kept points would have.
  const TFPointList& DrawPoints(TFPointList& Scratch, double PixelsPerUnit = 0) const;
  // The computed point Index; the zero point outside the list.
  TFPoint GetPolyPoint(int Index) const;
  int Flags() const override { return FFlags; }
  void SetFlags(int V) override { FFlags = V; }
  TFRect Box() const override { return FBox; }
  bool IsPolyZThickness() const { return FZThick != 0; }
  bool IsMeshNClosed() const { return (FFlags & cnstMeshNClosed) != 0; }
  bool IsPLinegen() const { return (FFlags & cnstPLinegen) != 0; }

  virtual void ApplyElevation();
  virtual bool Closed() const { return (FFlags & cnstClosed) != 0; }
  virtual double Elevation() const { return 0; }
  virtual bool IsPolygonMesh() const { return false; }
  virtual void SetClosed(bool V) { FFlags = V ? (FFlags | cnstClosed) : (FFlags & ~cnstClosed); }
  virtual void SetIsPLinegen(bool V) {
    FFlags = V ? (FFlags | cnstPLinegen) : (FFlags & ~cnstPLinegen);
  }
  virtual void UpdatePolyBox();
  virtual void GeneratePoints(TqdDXFConverter* C) { FPolyPoints.Clear(false); }
  virtual double GetArea() const;
  virtual double GetLength() const;
  virtual bool HasWidth(bool AFull) const { return false; }
  // Points per separate path when the points hold several paths that are not
  // joined (a plotter's merged pen strokes); empty for one path.
  virtual const std::vector<int>* PathCounts() const { return nullptr; }

  // The common completion: default layer and linetype, points, elevation, box.
  void Loaded(TqdDXFConverter* C) override;
  // The points are computed in world coordinates; the base point is not moved.
  void ApplyExtrusion() override {}
  bool DependsOnCircleParts() const override { return true; }
  bool DependsOnSplineParts() const override { return true; }
  void AssignEntity(const TqdDXFEntity& Source) override;

protected:
  // The points of the first half when the entity is thick (the raised copy follows).
  int BasePointCount() const;
  void ApplyElevationTo(TFPointList& L, bool AddThickCopy) const;
  // The box of points Box after ApplyElevation: moved by the elevation, with the
  // raised copy of a thick entity.
  TFRect ElevatedBox(TFRect Box) const;

  // Curves whose box is computed without their points make the points on first use:
  // most are never asked for at load, and kept for every curve they were most of the
  // drawing's memory.
  void EnsurePoints() const {
    if (FDeferredParts != 0) const_cast<TqdCADBasePolyline*>(this)->MakeDeferredPoints();
  }
  // The points as GeneratePoints makes them with CircleParts segments a circle.
  virtual void MakeCurvePoints(int Parts) {}
  // The same points appended to Out, the entity unchanged; false when the curve has
  // to keep its points to draw them.
  virtual bool CurvePointsInto(int Parts, TFPointList& Out) const { return false; }
  // The segments (at most Parts) that draw the curve within a tenth of a pixel at
  // PixelsPerUnit.
  virtual int ViewParts(int Parts, double PixelsPerUnit) const { return Parts; }
  // The box of the points MakeCurvePoints would make, before the elevation; false
  // when the curve has to make its points to know it.
  virtual bool DeferredBox(const TqdDXFConverter* C, int Parts, TFRect& Box) const {
    return false;
  }

  TFPointList FPolyPoints;
  int FFlags = 0;
  int FDeferredParts = 0;  // segments a circle when the points are still to be made
  TFRect FBox = cnstBadRect;

private:
  void MakeDeferredPoints();
  // Caps the points, drops the slack and applies the elevation.
  void FinishPoints();
};

class TqdDXFCircle : public TqdCADBasePolyline {
  QD_ENTITY_CLASS(TqdDXFCircle)
public:
  TqdCADEntities EntType() const override { return ceCircle; }
  double Radius() const { return FRadius; }
  // A radius not above 1e-9 (or not finite) is ignored.
  void SetRadius(double V);
  bool Closed() const override { return true; }
  // Radii, major-axis direction and angles (degrees) of the curve to tessellate.
  struct TEllipseParams {
    double RX, RY, CosT, SinT, Start, End;
  };
  virtual TEllipseParams GetEllipseParams() const;
  void Loaded(TqdDXFConverter* C) override;
  void GeneratePoints(TqdDXFConverter* C) override;
  double GetArea() const override;
  double GetLength() const override;
  void AssignEntity(const TqdDXFEntity& Source) override;

protected:
  void MakeCurvePoints(int Parts) override;
  bool CurvePointsInto(int Parts, TFPointList& Out) const override;
  int ViewParts(int Parts, double PixelsPerUnit) const override;
  bool DeferredBox(const TqdDXFConverter* C, int Parts, TFRect& Box) const override;
  double FRadius = 1;
};

class TqdDXFArc : public TqdDXFCircle {
  QD_ENTITY_CLASS(TqdDXFArc)
public:
  TqdCADEntities EntType() const override { return ceArc; }
  double StartAngle() const { return FStartAngle; }
  void SetStartAngle(double V) {
    if (std::isfinite(V)) FStartAngle = V;
  }
  double EndAngle() const { return FEndAngle; }
  void SetEndAngle(double V) {
    if (std::isfinite(V)) FEndAngle = V;
  }
  // Start and end in world coordinates.
  TFPoint StartPoint() const;
  TFPoint EndPoint() const;
  TqdArcR Arc() const;
  void SetArc(const TqdArcR& A);
  bool Closed() const override;
  TEllipseParams GetEllipseParams() const override;
  double GetArea() const override;
  double GetLength() const override;
  // Distance from the chord's middle to the arc's middle point.
  virtual double GetHeight() const;
  void AssignEntity(const TqdDXFEntity& Source) override;

protected:
  TFPoint PointAtAngle(double Deg) const;
  double FStartAngle = 0;
  double FEndAngle = 360;
};

class TqdDXFEllipse : public TqdDXFArc {
  QD_ENTITY_CLASS(TqdDXFEllipse)
public:
  TqdCADEntities EntType() const override { return ceEllipse; }
  // The major-axis end relative to the centre.
  TFPoint RadPt() const { return FRadPt; }
  void SetRadPt(const TFPoint& P);
  double Ratio() const { return FRatio; }
  void SetRatio(double V) {
    if (std::isfinite(V)) FRatio = V;
  }
  bool IsExtruded() const override { return FIsExtruded; }
  TEllipseParams GetEllipseParams() const override;
  void Loaded(TqdDXFConverter* C) override;
  double GetArea() const override { return 0; }
  double GetLength() const override { return 0; }
  void AssignEntity(const TqdDXFEntity& Source) override;

protected:
  TFPoint FRadPt{1, 0, 0};
  double FRatio = 1;
  // Centre and axis are still in world coordinates.
  bool FIsExtruded = true;
};

class TqdDXFSpline : public TqdCADBasePolyline {
  QD_ENTITY_CLASS(TqdDXFSpline)
public:
  static constexpr int cnstRational = 4;

  TqdCADEntities EntType() const override { return ceSpline; }
  TFPoint BeginningTangent() const { return FBeginningTangent; }
  void SetBeginningTangent(const TFPoint& P) {
    if (IsFiniteFPoint(P)) FBeginningTangent = P;
  }
  TFPoint EndingTangent() const { return FEndingTangent; }
  void SetEndingTangent(const TFPoint& P) {
    if (IsFiniteFPoint(P)) FEndingTangent = P;
  }
  TFPointList& Controls() { return FControls; }
  const TFPointList& Controls() const { return FControls; }
  TFPointList& Fit() { return FFit; }
  const TFPointList& Fit() const { return FFit; }
  TqdSingleList& Knots() { return FKnots; }
  const TqdSingleList& Knots() const { return FKnots; }
  const TqdSingleList& Weights() const { return FWeights; }
  void AddWeight(double W);
  void ClearWeights() { FWeights.Clear(); }
  int Degree() const { return FDegree; }
  void SetDegree(int V);
  int ControlCount() const { return FControls.Count(); }
  int FitCount() const { return FFit.Count(); }
  int KnotCount() const { return FKnots.Count(); }
  TFPoint GetControlPoint(int I) const;
  TFPoint GetFitPoint(int I) const;
  // The chord length of the fit points (computed).
  double Length() const { return FLen; }
  bool IsByAngles() const { return FControls.Count() < FFit.Count(); }
  int FlagsExtented() const { return FFlagsExtented; }
  void SetFlagsExtented(int V) { FFlagsExtented = V; }
  // Drawn through its fit points as a polyline.
  virtual bool IsFitPolyline() const { return (FFlagsExtented & 1) != 0; }

  void Loaded(TqdDXFConverter* C) override;
  void GeneratePoints(TqdDXFConverter* C) override;
  bool DependsOnCircleParts() const override { return false; }
  void AssignEntity(const TqdDXFEntity& Source) override;

protected:
  TFPoint FBeginningTangent, FEndingTangent;
  TFPointList FControls;
  int FDegree = 3;
  TFPointList FFit;
  TqdSingleList FKnots;
  double FLen = 0;
  TqdSingleList FWeights;
  int FFlagsExtented = 0;
};

// A helix keeps its spline points (written by the file) and its own description:
// axis base point (Point), start point, radius, turns, turn height and handedness.
class TqdCADHelix : public TqdDXFSpline {
  QD_ENTITY_CLASS(TqdCADHelix)
public:
  TqdCADEntities EntType() const override { return ceHelix; }
  TFPoint StartPoint() const { return FStartPoint; }
  void SetStartPoint(const TFPoint& P) {
    if (IsFiniteFPoint(P)) FStartPoint = P;
  }
  double Radius() const { return FRadius; }
  void SetRadius(double V) {
    if (std::isfinite(V)) FRadius = V;
  }
  double Turns() const { return FTurns; }
  void SetTurns(double V) {
    if (std::isfinite(V)) FTurns = V;
  }
  double TurnHeight() const { return FTurnHeight; }
  void SetTurnHeight(double V) {
    if (std::isfinite(V)) FTurnHeight = V;
  }
  bool Clockwise() const { return FClockwise; }
  void SetClockwise(bool V) { FClockwise = V; }
  void AssignEntity(const TqdDXFEntity& Source) override;

protected:
  TFPoint FStartPoint;
  double FRadius = 1;
  double FTurns = 1;
  double FTurnHeight = 0;
  bool FClockwise = false;
};
