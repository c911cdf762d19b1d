#pragma once
// Point generation shared by the curve entities: conic arcs, fit-point splines.
#include "qdConsts.h"
#include "qdLists.h"

// Start and end angles (degrees) of an arc ready to be walked from start to end:
// an end below the start is moved up by whole turns, whatever the input values.
void ArcSweepAngles(double& StartDeg, double& EndDeg);

// N + 1 points of an elliptic arc around C with radii RX, RY, the major axis along
// (CosT, SinT), from StartDeg to EndDeg; Z of every point is C.Z.
void EllipseArcPoints(const TFPoint& C, double RX, double RY, double CosT, double SinT,
                      double StartDeg, double EndDeg, int N, TFPointList& Out);

// C2 cubic interpolation through fit points. Coincident neighbours are removed from
// Fit first; tangents with all components 0 count as absent. Appends
// (count - 1) * Parts points to Out, the last one equal to the last fit point, and
// returns the chord length of the fit points.
double InterpolateFitPoints(TFPointList& Fit, TFPoint BeginTangent, TFPoint EndTangent, int Parts,
                            TFPointList& Out);

// Centre of the arc that a bulge makes between P1 and P2 (no points are made).
TFPoint BulgeCenter(const TFPoint& P1, const TFPoint& P2, double Bulge);

// Adds to Box the arc C + A·cos t + B·sin t for t from T0 over Sweep radians (either
// sign): its end points and, inside the sweep, the extremes of each axis. Exact for
// circles, ellipses and their arcs in any plane, without tessellating them.
void UnionConicArcBox(TFRect& Box, const TFPoint& C, const TFPoint& A, const TFPoint& B, double T0,
                      double Sweep);
