#pragma once
// The curve generator: turns bulge arcs, B-splines and quadratic curves into points.
#include <functional>
#include <mutex>

#include "qdConsts.h"
#include "qdLists.h"

using TqdAddPointProc = void (*)(TqdPointerList* List, const TFPoint& P);
using TqdCreatePointFunc = std::function<void*(const TFPoint& P)>;

// Bulges this small (or not finite) are straight segments: a radius of chord/(4b)
// loses all precision and scatters the points.
inline constexpr double cnstMinBulge = 1e-10;
bool IsStraightBulge(double Bulge);

// One B-spline point by Cox-de Boor; false when a needed control point or knot is missing.
bool EvaluateBSpline(const TFPointList& Controls, const TqdDoubleList& Knots, double T, int Degree,
                     const TqdDoubleList* Weights, TFPoint& Point);

class TqdGeneratorShapeEdge {
public:
  // Upper bound of points one curve operation puts, whatever the input says.
  static constexpr int cnstMaxPointsPerCurve = 1000000;

  TqdGeneratorShapeEdge();
  TqdGeneratorShapeEdge(const TqdGeneratorShapeEdge&) = delete;
  TqdGeneratorShapeEdge& operator=(const TqdGeneratorShapeEdge&) = delete;

  // Output into a pointer list through AProc, or through ACreatePoint when given.
  void SetListAndProc(TqdPointerList* AList, TqdAddPointProc AProc,
                      TqdCreatePointFunc ACreatePoint = nullptr);
  // Output into a typed list; the item type is asked from the list.
  void SetBaseList(TqdBaseList* AList);
  bool HasOutput() const { return FListType != ltNil && FList != nullptr; }
  TqdListType ListType() const { return FListType; }

  unsigned NumberCirclePart() const { return FNumberCirclePart; }
  void SetNumberCirclePart(unsigned Value);
  unsigned NumberSplinePart() const { return FNumberSplinePart; }
  void SetNumberSplinePart(unsigned Value);
  unsigned QualityApproximation() const { return FQualityApproximation; }
  void SetQualityApproximation(unsigned Value);
  double DistanceToleranceSquare() const { return FDistanceToleranceSquare; }
  double DistanceToleranceManhattan() const { return FDistanceToleranceManhattan; }

  void PutPoint(const TFPoint& P);

  // Puts the arc's points (n + 1 with both ends) and fills Arc. A straight bulge
  // puts the two ends, gives a zero radius and returns false.
  bool CreateBulgesArc(const TFPoint& P1, const TFPoint& P2, TqdArcR& Arc, double Bulge);
  // Degrees 1, 2 and 4..9; returns false when it did nothing.
  bool CreateBSpline(const TFPointList& AControls, const TqdDoubleList& AKnots, int ADegree,
                     const TqdDoubleList* AWeights = nullptr);
  // Cubic spline by its knots; the knot list is not changed.
  void CreateSplineByKnots(const TFPointList& AControls, const TqdDoubleList& AKnots, double AIncT);
  void CreateQuadraticSpline(const TFPoint& APoint1, const TFPoint& APoint2,
                             const TFPoint& APoint3);
  static bool IsBSpline(int ADegree);

private:
  void UpdateTolerances();
  void SubdivideQuadratic(const TFPoint& P0, const TFPoint& P1, const TFPoint& P2, int Depth);
  void TessellateBSpline(const TFPointList& AControls, const TqdDoubleList& AKnots, int ADegree,
                         const TqdDoubleList* AWeights);

  TqdAddPointProc FAddPoint = nullptr;
  TqdCreatePointFunc FCreatePoint;
  double FDistanceToleranceManhattan = 0;
  double FDistanceToleranceSquare = 0;
  void* FList = nullptr;
  TqdListType FListType = ltNil;
  std::recursive_mutex FLock;
  unsigned FNumberCirclePart = 48;
  unsigned FNumberSplinePart = 24;
  unsigned FQualityApproximation = 0;
  unsigned char FRecursionLimit = 16;
  int FPutCount = 0; // points put by the current operation
};

// Arc points of one bulge segment into List with the given number of parts.
TqdArcR BulgeArcPoints(const TFPoint& P1, const TFPoint& P2, TFPointList& List, unsigned Parts,
                       double Bulge);
