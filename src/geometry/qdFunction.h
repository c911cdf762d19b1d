#pragma once
// Free routines of the geometry kernel: tolerances, points, distances, angles,
// matrices, object coordinate systems and boxes.
#include <cstdint>
#include <string_view>

#include "qdConsts.h"

// ---- tolerance tests
bool IsZeroValue(double Eps, double V);
bool IsEqualValues(double Eps, double A, double B);
bool IsEqualFPoints(const TFPoint& A, const TFPoint& B, double Eps = fDoubleResolution);
bool IsEqualF2DPoints(const TF2DPoint& A, const TF2DPoint& B, double Eps = fDoubleResolution);
bool IsBadPoint(const TFPoint& P);
bool IsBadPoint2D(const TF2DPoint& P);
int Sign(double V);
// True when every coordinate is finite.
bool IsFiniteFPoint(const TFPoint& P);

// ---- points and vectors
TFPoint AddFPoint(const TFPoint& A, const TFPoint& B);
TFPoint SubFPoint(const TFPoint& A, const TFPoint& B);
TFPoint MiddleFPoint(const TFPoint& A, const TFPoint& B);
TFPoint MiddleFPoint2D(const TFPoint& A, const TFPoint& B);
TFPoint ScaleFPoint(const TFPoint& P, double K);
TFPoint MulFPoint(const TFPoint& P, const TFPoint& Q);
TFPoint NegateFPoint(const TFPoint& P);
TFPoint ReciprocalFPoint(const TFPoint& P);
double DotFPoint(const TFPoint& A, const TFPoint& B);
TFPoint CrossFPoint(const TFPoint& A, const TFPoint& B);
TFPoint NormalizeFPoint(const TFPoint& P);
TFPoint DirectionFPoint(const TFPoint& A, const TFPoint& B);
bool IsNonDefaultExtrusion(const TFPoint& N);
// An extrusion that is zero, tiny or not finite stands for the default (0,0,1).
TFPoint SafeExtrusion(const TFPoint& N);

// ---- distances
double SqrDistance(const TFPoint& A, const TFPoint& B);
double SqrDistance2D(const TFPoint& A, const TFPoint& B);
double SqrDistance2D(const TF2DPoint& A, const TF2DPoint& B);
double VectorLength(const TFPoint& V);
double Distance(const TFPoint& A, const TFPoint& B);
double Distance2D(const TFPoint& A, const TFPoint& B);
double Distance2D(const TF2DPoint& A, const TF2DPoint& B);
double Hypot2D(double A, double B);
double TriangleArea(const TFPoint& A, const TFPoint& B, const TFPoint& C);

// ---- angles
double DegreesToRadians(double V);
double RadiansToDegrees(double V);
double AngleOfVector(const TFPoint& P1, const TFPoint& P2, int Unit = auDegree, double SY = 1,
                     double SX = 1, double Eps = fDoubleResolution);
double AngleOfXY(double Y, double X);
double ArcSinClamped(double V);
double AngleBetween(const TFPoint& A, const TFPoint& B, const TFPoint& C);
double ModAngle(double Full, double V);
// Returns whether the reduction was applied (|V| < 2147483647).
bool NormalizeAngle(double& V, bool Radians = false);
bool IsSameAngle(double A, double B);
void NormalizeArcAngles(TqdArcR& Arc);
bool IsAngleInArc(double Start, double End, double A);
double ArcLength(double Start, double End, double Radius);
double Circumference(double R);

// ---- rotation in the plane
TFPoint RotateFPoint2D(const TFPoint& P, double AngleDeg);
TFPoint PolarPoint(const TFPoint& P, const TFPoint& Centre, bool IsAbsolute, double AngleRad);

// ---- matrices
TFMatrix TranslationMatrix(const TFPoint& D);
TFMatrix ScalingMatrix(double SX, double SY, double SZ);
TFMatrix UniformScalingMatrix(double S);
TFMatrix RotationMatrix(int Axis, double AngleRad, double Eps = fDoubleResolution);
TFMatrix RotationZMatrix(double AngleDeg);
TFMatrix ComposeMatrices(const TFMatrix& A, const TFMatrix& B);
TFMatrix TranslateMatrix(const TFMatrix& M, const TFPoint& D);
TFMatrix ScaleMatrix(const TFMatrix& M, const TFPoint& S);
TFPoint TransformPoint(const TFPoint& P, const TFMatrix& M);
TFPoint TransformVector(const TFPoint& V, const TFMatrix& M);
TFMatrix TransposeMatrix(const TFMatrix& M);
// General affine inverse; a singular matrix gives the identity and Ok = false.
TFMatrix InvertMatrix(const TFMatrix& M, bool* Ok = nullptr);
double MatrixDeterminant(const TFMatrix& M);
TFPoint ScaleOfMatrix(const TFMatrix& M, double Eps);
bool IsMatrixSkewed(const TFMatrix& M, bool CheckAspect);

// ---- object coordinate systems
struct TqdOCSAxes {
  TFPoint Ax, Ay, Az;
};
TqdOCSAxes OCSAxes(const TFPoint& N);
TFPoint WCSToOCS(const TFPoint& P, const TFPoint& N);
TFPoint OCSToWCS(const TFPoint& P, const TFPoint& N);
TFMatrix ExtrusionMatrix(const TFPoint& N);
TFMatrix ExtrusionRotationMatrix(const TFPoint& N, double AngleDeg);
TFMatrix PlacementMatrix(const TFPoint& BasePoint, const TFPoint& Scale, const TFPoint& N,
                         const TFMatrix& Prefix, double AngleDeg, const TFPoint& Offset);
TFPoint RotateAroundAxis(const TFPoint& V, const TFPoint& Axis, double AngleRad);
TFMatrix ViewMatrix(const TFPoint& Direction, double TwistDeg);

// ---- boxes
bool IsBadBox(const TFRect& R);
bool IsBadBox2D(const TF2DRect& R);
// True when the box is valid and every value is finite.
bool IsFiniteBox(const TFRect& R);
void UnionBoxPoint(TFRect& R, const TFPoint& P);
void UnionBoxPoint2D(TFRect& R, const TFPoint& P);
void UnionBoxes(TFRect& R, const TFRect& B);
void InflateBox(TFRect& R, double DX, double DY, double DZ);
void OffsetBox(TFRect& R, double DX, double DY, double DZ);
void NormalizeBox(TFRect& R);
TF2DPoint BoxSize(const TFRect& R);
TFRect TransformBox(const TFRect& R, const TFMatrix& M);

// Integer rectangles for device coordinates; containment includes both edges and
// accepts either corner order.
struct TqdIntRect {
  int Left = 0, Top = 0, Right = 0, Bottom = 0;
};
bool PointInIntRect(const TqdIntRect& R, int X, int Y);
bool IntRectInIntRect(const TqdIntRect& Outer, const TqdIntRect& Inner);

// ---- numbers
// Round half away from zero; the one rounding helper of the project.
double RoundHalfAway(double V);
// Round to int with saturation; NaN gives Fallback.
int RoundToInt(double V, int Fallback = 0);

// S without its leading and trailing blanks (spaces, tabs, CR and LF).
std::string_view TrimBlanks(std::string_view S);
