#include "qdFunction.h"

#include <algorithm>
#include <cmath>
#include <limits>

// ---- tolerance tests

bool IsZeroValue(double Eps, double V) {
  if (Eps == 0) Eps = fDoubleResolution;
  return std::fabs(V) <= Eps;
}

bool IsEqualValues(double Eps, double A, double B) {
  const double m = std::min(std::fabs(A), std::fabs(B));
  return std::fabs(A - B) <= std::max(Eps, Eps * m);
}

bool IsEqualFPoints(const TFPoint& A, const TFPoint& B, double Eps) {
  return IsZeroValue(Eps, A.X - B.X) && IsZeroValue(Eps, A.Y - B.Y) && IsZeroValue(Eps, A.Z - B.Z);
}

bool IsEqualF2DPoints(const TF2DPoint& A, const TF2DPoint& B, double Eps) {
  if (Eps <= 0) Eps = fDoubleResolution;
  return std::fabs(A.X - B.X) <= Eps && std::fabs(A.Y - B.Y) <= Eps;
}

bool IsBadPoint(const TFPoint& P) {
  return IsEqualValues(1e-9, P.X, cnstMaxDouble) && IsEqualValues(1e-9, P.Y, cnstMaxDouble) &&
         IsEqualValues(1e-9, P.Z, cnstMaxDouble);
}

bool IsBadPoint2D(const TF2DPoint& P) {
  return IsEqualValues(1e-9, P.X, cnstMaxDouble) && IsEqualValues(1e-9, P.Y, cnstMaxDouble);
}

int Sign(double V) {
  if (V > fDoubleResolution) return 1;
  if (V < -fDoubleResolution) return -1;
  return 0;
}

bool IsFiniteFPoint(const TFPoint& P) {
  return std::isfinite(P.X) && std::isfinite(P.Y) && std::isfinite(P.Z);
}

// ---- points and vectors

TFPoint AddFPoint(const TFPoint& A, const TFPoint& B) {
  return {A.X + B.X, A.Y + B.Y, A.Z + B.Z};
}
TFPoint SubFPoint(const TFPoint& A, const TFPoint& B) {
  return {A.X - B.X, A.Y - B.Y, A.Z - B.Z};
}
TFPoint MiddleFPoint(const TFPoint& A, const TFPoint& B) {
  return {(A.X + B.X) / 2, (A.Y + B.Y) / 2, (A.Z + B.Z) / 2};
}
TFPoint MiddleFPoint2D(const TFPoint& A, const TFPoint& B) {
  return {(A.X + B.X) / 2, (A.Y + B.Y) / 2, 0};
}
TFPoint ScaleFPoint(const TFPoint& P, double K) {
  return {P.X * K, P.Y * K, P.Z * K};
}
TFPoint MulFPoint(const TFPoint& P, const TFPoint& Q) {
  return {P.X * Q.X, P.Y * Q.Y, P.Z * Q.Z};
}
TFPoint NegateFPoint(const TFPoint& P) {
  return {-P.X, -P.Y, -P.Z};
}

TFPoint ReciprocalFPoint(const TFPoint& P) {
  if (P.X != 0 && P.Y != 0 && P.Z != 0) return {1 / P.X, 1 / P.Y, 1 / P.Z};
  return cnstFPointSingle;
}

double DotFPoint(const TFPoint& A, const TFPoint& B) {
  return A.X * B.X + A.Y * B.Y + A.Z * B.Z;
}

TFPoint CrossFPoint(const TFPoint& A, const TFPoint& B) {
  return {A.Y * B.Z - A.Z * B.Y, A.Z * B.X - A.X * B.Z, A.X * B.Y - A.Y * B.X};
}

TFPoint NormalizeFPoint(const TFPoint& P) {
  const double len = std::sqrt(DotFPoint(P, P));
  if (len == 0 || !std::isfinite(len)) return P;
  return {P.X / len, P.Y / len, P.Z / len};
}

TFPoint DirectionFPoint(const TFPoint& A, const TFPoint& B) {
  if (A == B) return cnstFPointZero;
  return NormalizeFPoint(SubFPoint(B, A));
}

bool IsNonDefaultExtrusion(const TFPoint& N) {
  return !(N.X == 0 && N.Y == 0 && N.Z == 1);
}

TFPoint SafeExtrusion(const TFPoint& N) {
  if (!IsFiniteFPoint(N)) return cnstExtrusion;
  const double len = std::sqrt(DotFPoint(N, N));
  if (!(len > 1e-9) || !std::isfinite(len)) return cnstExtrusion;
  return N;
}

// ---- distances

double SqrDistance(const TFPoint& A, const TFPoint& B) {
  const double dx = A.X - B.X, dy = A.Y - B.Y, dz = A.Z - B.Z;
  return dx * dx + dy * dy + dz * dz;
}
double SqrDistance2D(const TFPoint& A, const TFPoint& B) {
  const double dx = A.X - B.X, dy = A.Y - B.Y;
  return dx * dx + dy * dy;
}
double SqrDistance2D(const TF2DPoint& A, const TF2DPoint& B) {
  const double dx = A.X - B.X, dy = A.Y - B.Y;
  return dx * dx + dy * dy;
}

static double RootAboveTolerance(double sq) {
  return sq <= 1e-9 ? 0.0 : std::sqrt(sq);
}

double VectorLength(const TFPoint& V) {
  return RootAboveTolerance(DotFPoint(V, V));
}
double Distance(const TFPoint& A, const TFPoint& B) {
  return RootAboveTolerance(SqrDistance(A, B));
}
double Distance2D(const TFPoint& A, const TFPoint& B) {
  return RootAboveTolerance(SqrDistance2D(A, B));
}
double Distance2D(const TF2DPoint& A, const TF2DPoint& B) {
  return RootAboveTolerance(SqrDistance2D(A, B));
}

double Hypot2D(double A, double B) {
  const double r = std::sqrt(std::fabs(A * A + B * B));
  return std::isfinite(r) ? r : 0.0;
}

double TriangleArea(const TFPoint& A, const TFPoint& B, const TFPoint& C) {
  const double a = std::sqrt(SqrDistance2D(B, C));
  const double b = std::sqrt(SqrDistance2D(A, C));
  const double c = std::sqrt(SqrDistance2D(A, B));
  const double s = (a + b + c) / 2;
  const double prod = s * (s - a) * (s - b) * (s - c);
  if (!(prod > 1e-9)) return 0;
  return std::sqrt(prod);
}

// ---- angles

double DegreesToRadians(double V) {
  return V * fRadiansPerDegree;
}
double RadiansToDegrees(double V) {
  return V * fDegreesPerRadian;
}

double AngleOfVector(const TFPoint& P1, const TFPoint& P2, int Unit, double SY, double SX,
                     double Eps) {
  const TqdAngleUnitRow& u = cnstAngleUnits[Unit == auRadian ? 1 : 0];
  const double dx = (P2.X - P1.X) * SX;
  const double dy = (P2.Y - P1.Y) * SY;
  if (std::fabs(dx) <= Eps) return dy < 0 ? u.Quarter + u.Half : u.Quarter;
  const double t = std::atan(std::fabs(dy) / std::fabs(dx)) * u.FromRadians;
  double r;
  if (dx >= 0)
    r = dy >= 0 ? t : u.Full - t;
  else
    r = dy >= 0 ? u.Half - t : u.Half + t;
  if (r >= u.Full || IsEqualValues(1e-9, r, u.Full)) r = 0;
  return r;
}

double AngleOfXY(double Y, double X) {
  return AngleOfVector(cnstFPointZero, {X, Y, 0});
}

double ArcSinClamped(double V) {
  if (V >= 1) return cnstPi / 2;
  if (V <= -1) return -cnstPi / 2;
  return std::asin(V);
}

double AngleBetween(const TFPoint& A, const TFPoint& B, const TFPoint& C) {
  const double b2 = SqrDistance2D(A, B);
  const double c2 = SqrDistance2D(A, C);
  const double a2 = SqrDistance2D(B, C);
  const double p = b2 * c2;
  if (!(p > 1e-9)) return 90;
  const double cs = (b2 + c2 - a2) / (2 * std::sqrt(p));
  if (cs >= 1) return 0;
  if (cs <= -1) return 180;
  double r = RadiansToDegrees(std::acos(cs));
  if (r > 270) r = 360 - r;
  return r;
}

double ModAngle(double Full, double V) {
  return V - Full * std::trunc(V / Full);
}

bool NormalizeAngle(double& V, bool Radians) {
  if (!(std::fabs(V) < 2147483647.0)) return false;
  V = ModAngle(Radians ? 2 * cnstPi : 360.0, V);
  return true;
}

bool IsSameAngle(double A, double B) {
  return ModAngle(360, std::fabs(B - A)) < 1e-9;
}

void NormalizeArcAngles(TqdArcR& Arc) {
  Arc.AngleS = ModAngle(360, Arc.AngleS);
  if (Arc.AngleE > 360) Arc.AngleE = ModAngle(360, Arc.AngleE);
}

bool IsAngleInArc(double Start, double End, double A) {
  auto eq = [](double x, double y) { return IsEqualValues(1e-9, x, y); };
  if (eq(Start, End)) return eq(A, Start);
  if (End > Start) return (Start <= A && A <= End) || eq(A, Start) || eq(A, End);
  return (Start <= A && A <= 360) || (0 <= A && A <= End) || eq(A, Start) || eq(A, End) ||
         eq(A, 0) || eq(A, 360);
}

double ArcLength(double Start, double End, double Radius) {
  return std::fabs(End - Start) * Radius * cnstPi / 180;
}

double Circumference(double R) {
  return R * 2 * cnstPi;
}

// ---- rotation in the plane

TFPoint RotateFPoint2D(const TFPoint& P, double AngleDeg) {
  const double a = DegreesToRadians(AngleDeg);
  const double c = std::cos(a), s = std::sin(a);
  return {P.X * c - P.Y * s, P.X * s + P.Y * c, P.Z};
}

TFPoint PolarPoint(const TFPoint& P, const TFPoint& Centre, bool IsAbsolute, double AngleRad) {
  const double sq = SqrDistance2D(P, Centre);
  if (sq <= 1e-9) return P;
  const double r = std::sqrt(sq);
  double a = AngleRad;
  if (!IsAbsolute) a += std::atan2(P.Y - Centre.Y, P.X - Centre.X);
  return {Centre.X + r * std::cos(a), Centre.Y + r * std::sin(a), P.Z};
}

// ---- matrices

TFMatrix TranslationMatrix(const TFPoint& D) {
  TFMatrix m;
  m.E0 = D;
  return m;
}

TFMatrix ScalingMatrix(double SX, double SY, double SZ) {
  TFMatrix m;
  m.EX.X = SX;
  m.EY.Y = SY;
  m.EZ.Z = SZ;
  return m;
}

TFMatrix UniformScalingMatrix(double S) {
  return ScalingMatrix(S, S, S);
}

TFMatrix RotationMatrix(int Axis, double AngleRad, double Eps) {
  double c = std::cos(AngleRad), s = std::sin(AngleRad);
  // Whole quarter turns get exact values so that axis-aligned drawings stay exact.
  const double q = AngleRad / (cnstPi / 2);
  if (std::fabs(q) < 1e15) {
    const double rq = std::round(q);
    if (std::fabs(q - rq) <= Eps) {
      const long long k = ((static_cast<long long>(rq) % 4) + 4) % 4;
      static constexpr double kc[4] = {1, 0, -1, 0};
      static constexpr double ks[4] = {0, 1, 0, -1};
      c = kc[k];
      s = ks[k];
    }
  }
  TFMatrix m;
  switch (Axis) {
  case 0:
    m.EY = {0, c, s};
    m.EZ = {0, -s, c};
    break;
  case 1:
    m.EX = {c, 0, -s};
    m.EZ = {s, 0, c};
    break;
  default:
    m.EX = {c, s, 0};
    m.EY = {-s, c, 0};
    break;
  }
  return m;
}

TFMatrix RotationZMatrix(double AngleDeg) {
  return RotationMatrix(2, DegreesToRadians(AngleDeg), 1e-9);
}

TFPoint TransformVector(const TFPoint& V, const TFMatrix& M) {
  return {V.X * M.EX.X + V.Y * M.EY.X + V.Z * M.EZ.X, V.X * M.EX.Y + V.Y * M.EY.Y + V.Z * M.EZ.Y,
          V.X * M.EX.Z + V.Y * M.EY.Z + V.Z * M.EZ.Z};
}

TFPoint TransformPoint(const TFPoint& P, const TFMatrix& M) {
  return AddFPoint(TransformVector(P, M), M.E0);
}

TFMatrix ComposeMatrices(const TFMatrix& A, const TFMatrix& B) {
  TFMatrix r;
  r.EX = TransformVector(A.EX, B);
  r.EY = TransformVector(A.EY, B);
  r.EZ = TransformVector(A.EZ, B);
  r.E0 = TransformPoint(A.E0, B);
  return r;
}

TFMatrix TranslateMatrix(const TFMatrix& M, const TFPoint& D) {
  return ComposeMatrices(M, TranslationMatrix(D));
}

TFMatrix ScaleMatrix(const TFMatrix& M, const TFPoint& S) {
  TFMatrix r = M;
  for (int i = 0; i < 4; ++i) r.V(i) = MulFPoint(r.V(i), S);
  return r;
}

TFMatrix TransposeMatrix(const TFMatrix& M) {
  TFMatrix r;
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) r.M(i, j) = M.M(j, i);
  r.E0 = NegateFPoint(M.E0);
  return r;
}

double MatrixDeterminant(const TFMatrix& M) {
  return DotFPoint(M.EX, CrossFPoint(M.EY, M.EZ));
}

TFMatrix InvertMatrix(const TFMatrix& M, bool* Ok) {
  TFMatrix r;
  const double det = MatrixDeterminant(M);
  const double scale = VectorLength(M.EX) * VectorLength(M.EY) * VectorLength(M.EZ);
  const bool regular = std::isfinite(det) && scale > 0 && std::fabs(det) > 1e-12 * scale;
  if (regular) {
    // Rows of the inverse (row-vector convention): adjugate over the determinant.
    const TFPoint c0 = CrossFPoint(M.EY, M.EZ);
    const TFPoint c1 = CrossFPoint(M.EZ, M.EX);
    const TFPoint c2 = CrossFPoint(M.EX, M.EY);
    for (int i = 0; i < 3; ++i) {
      r.V(i) = TFPoint{c0[i] / det, c1[i] / det, c2[i] / det};
    }
  } else {
    // Singular (a flattening scale): invert what can be inverted, row by row.
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 3; ++j) r.M(i, j) = M.M(j, i);
    for (int j = 0; j < 3; ++j) {
      const double sq = DotFPoint(M.V(j), M.V(j));
      if (sq != 0 && std::isfinite(sq))
        for (int i = 0; i < 3; ++i) r.M(i, j) /= sq;
    }
  }
  r.E0 = NegateFPoint(TransformVector(M.E0, r));
  if (Ok) *Ok = regular;
  return r;
}

TFPoint ScaleOfMatrix(const TFMatrix& M, double Eps) {
  double s[3];
  int nonZero = 0;
  double sum = 0;
  for (int i = 0; i < 3; ++i) {
    const double sq = DotFPoint(M.V(i), M.V(i));
    s[i] = sq > Eps ? std::sqrt(sq) : 0;
    if (s[i] != 0) {
      ++nonZero;
      sum += s[i];
    }
  }
  if (nonZero == 0) {
    s[0] = s[1] = s[2] = 10 * Eps;
  } else if (nonZero == 1) {
    for (double& v : s) v = sum;
  } else if (nonZero == 2) {
    for (double& v : s)
      if (v == 0) v = sum / 2;
  }
  return {s[0], s[1], s[2]};
}

bool IsMatrixSkewed(const TFMatrix& M, bool CheckAspect) {
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j)
      if (i != j && std::fabs(M.M(i, j)) > 1e-6) return true;
  if (CheckAspect) {
    if (!(M.EX.X > 1e-6 && M.EY.Y < -1e-6)) return true;
    if (!(std::fabs(std::fabs(M.EX.X / M.EY.Y) - 1) <= 0.15)) return true;
  }
  return false;
}

// ---- object coordinate systems

TqdOCSAxes OCSAxes(const TFPoint& N) {
  TqdOCSAxes r;
  r.Az = NormalizeFPoint(SafeExtrusion(N));
  const double limit = 1.0 / 64;
  const TFPoint w =
      (std::fabs(r.Az.X) >= limit || std::fabs(r.Az.Y) >= limit) ? cnstZOrtAxis : cnstYOrtAxis;
  r.Ax = NormalizeFPoint(CrossFPoint(w, r.Az));
  r.Ay = NormalizeFPoint(CrossFPoint(r.Az, r.Ax));
  return r;
}

TFPoint WCSToOCS(const TFPoint& P, const TFPoint& N) {
  const TqdOCSAxes a = OCSAxes(N);
  return {DotFPoint(P, a.Ax), DotFPoint(P, a.Ay), DotFPoint(P, a.Az)};
}

TFPoint OCSToWCS(const TFPoint& P, const TFPoint& N) {
  const TqdOCSAxes a = OCSAxes(N);
  return AddFPoint(AddFPoint(ScaleFPoint(a.Ax, P.X), ScaleFPoint(a.Ay, P.Y)),
                   ScaleFPoint(a.Az, P.Z));
}

TFMatrix ExtrusionMatrix(const TFPoint& N) {
  const TqdOCSAxes a = OCSAxes(N);
  TFMatrix m;
  m.EX = a.Ax;
  m.EY = a.Ay;
  m.EZ = a.Az;
  return m;
}

TFMatrix ExtrusionRotationMatrix(const TFPoint& N, double AngleDeg) {
  return ComposeMatrices(RotationZMatrix(AngleDeg), ExtrusionMatrix(N));
}

TFMatrix PlacementMatrix(const TFPoint& BasePoint, const TFPoint& Scale, const TFPoint& N,
                         const TFMatrix& Prefix, double AngleDeg, const TFPoint& Offset) {
  TFMatrix m = TranslateMatrix(Prefix, Offset);
  m = ScaleMatrix(m, Scale);
  m = ComposeMatrices(m, ExtrusionRotationMatrix(N, AngleDeg));
  return TranslateMatrix(m, OCSToWCS(BasePoint, N));
}

TFPoint RotateAroundAxis(const TFPoint& V, const TFPoint& Axis, double AngleRad) {
  if (std::fabs(AngleRad) < 1e-6) return V;
  const double sq = DotFPoint(Axis, Axis);
  if (sq == 0 || !std::isfinite(sq)) return V;
  const TFPoint k = sq == 1 ? Axis : ScaleFPoint(Axis, 1 / std::sqrt(sq));
  const double c = std::cos(AngleRad), s = std::sin(AngleRad);
  const TFPoint kxv = CrossFPoint(k, V);
  const double kv = DotFPoint(k, V);
  return AddFPoint(AddFPoint(ScaleFPoint(V, c), ScaleFPoint(kxv, s)), ScaleFPoint(k, kv * (1 - c)));
}

TFMatrix ViewMatrix(const TFPoint& Direction, double TwistDeg) {
  const TqdOCSAxes a = OCSAxes(Direction);
  TFMatrix m;
  const double t = DegreesToRadians(-TwistDeg);
  m.EX = RotateAroundAxis(a.Ax, a.Az, t);
  m.EY = RotateAroundAxis(a.Ay, a.Az, t);
  m.EZ = a.Az;
  m.E0 = cnstFPointZero;
  return TransposeMatrix(m);
}

// ---- boxes

bool IsBadBox(const TFRect& R) {
  if (std::isnan(R.Left) || std::isnan(R.Top) || std::isnan(R.Z1) || std::isnan(R.Right) ||
      std::isnan(R.Bottom) || std::isnan(R.Z2))
    return true;
  return R.Right < R.Left || R.Top < R.Bottom || R.Z2 < R.Z1;
}

bool IsBadBox2D(const TF2DRect& R) {
  if (std::isnan(R.Left) || std::isnan(R.Top) || std::isnan(R.Right) || std::isnan(R.Bottom))
    return true;
  return R.Right < R.Left || R.Top < R.Bottom;
}

bool IsFiniteBox(const TFRect& R) {
  return !IsBadBox(R) && std::isfinite(R.Left) && std::isfinite(R.Top) && std::isfinite(R.Z1) &&
         std::isfinite(R.Right) && std::isfinite(R.Bottom) && std::isfinite(R.Z2);
}

void UnionBoxPoint(TFRect& R, const TFPoint& P) {
  if (!IsFiniteFPoint(P)) return; // one bad coordinate must not poison a whole extents box
  R.Left = std::min(R.Left, P.X);
  R.Right = std::max(R.Right, P.X);
  R.Bottom = std::min(R.Bottom, P.Y);
  R.Top = std::max(R.Top, P.Y);
  R.Z1 = std::min(R.Z1, P.Z);
  R.Z2 = std::max(R.Z2, P.Z);
}

void UnionBoxPoint2D(TFRect& R, const TFPoint& P) {
  if (!std::isfinite(P.X) || !std::isfinite(P.Y)) return;
  R.Left = std::min(R.Left, P.X);
  R.Right = std::max(R.Right, P.X);
  R.Bottom = std::min(R.Bottom, P.Y);
  R.Top = std::max(R.Top, P.Y);
}

void UnionBoxes(TFRect& R, const TFRect& B) {
  if (!IsFiniteBox(B)) return;
  UnionBoxPoint(R, B.TopLeft());
  UnionBoxPoint(R, B.BottomRight());
}

void InflateBox(TFRect& R, double DX, double DY, double DZ) {
  R.Left -= DX;
  R.Right += DX;
  R.Bottom -= DY;
  R.Top += DY;
  R.Z1 -= DZ;
  R.Z2 += DZ;
}

void OffsetBox(TFRect& R, double DX, double DY, double DZ) {
  R.Left += DX;
  R.Right += DX;
  R.Top += DY;
  R.Bottom += DY;
  R.Z1 += DZ;
  R.Z2 += DZ;
}

void NormalizeBox(TFRect& R) {
  if (R.Left > R.Right) std::swap(R.Left, R.Right);
  if (R.Bottom > R.Top) std::swap(R.Bottom, R.Top);
}

TF2DPoint BoxSize(const TFRect& R) {
  return {std::fabs(R.Right - R.Left), std::fabs(R.Top - R.Bottom)};
}

TFRect TransformBox(const TFRect& R, const TFMatrix& M) {
  if (IsBadBox(R)) return cnstBadRect;
  const TFPoint c{(R.Left + R.Right) / 2, (R.Top + R.Bottom) / 2, (R.Z1 + R.Z2) / 2};
  const TFPoint h{(R.Right - R.Left) / 2, (R.Top - R.Bottom) / 2, (R.Z2 - R.Z1) / 2};
  const TFPoint cc = TransformPoint(c, M);
  TFPoint e;
  for (int j = 0; j < 3; ++j)
    e[j] = std::fabs(M.EX[j]) * h.X + std::fabs(M.EY[j]) * h.Y + std::fabs(M.EZ[j]) * h.Z;
  return {cc.X - e.X, cc.Y + e.Y, cc.Z - e.Z, cc.X + e.X, cc.Y - e.Y, cc.Z + e.Z};
}

bool PointInIntRect(const TqdIntRect& R, int X, int Y) {
  const int l = std::min(R.Left, R.Right), r = std::max(R.Left, R.Right);
  const int t = std::min(R.Top, R.Bottom), b = std::max(R.Top, R.Bottom);
  return X >= l && X <= r && Y >= t && Y <= b;
}

bool IntRectInIntRect(const TqdIntRect& Outer, const TqdIntRect& Inner) {
  return PointInIntRect(Outer, Inner.Left, Inner.Top) &&
         PointInIntRect(Outer, Inner.Right, Inner.Bottom);
}

// ---- numbers

double RoundHalfAway(double V) {
  return std::round(V);
}

int RoundToInt(double V, int Fallback) {
  if (std::isnan(V)) return Fallback;
  const double r = std::round(V);
  if (r >= static_cast<double>(std::numeric_limits<int>::max()))
    return std::numeric_limits<int>::max();
  if (r <= static_cast<double>(std::numeric_limits<int>::min()))
    return std::numeric_limits<int>::min();
  return static_cast<int>(r);
}

std::string_view TrimBlanks(std::string_view S) {
  auto Blank = [](char C) { return C == ' ' || C == '\t' || C == '\r' || C == '\n'; };
  while (!S.empty() && Blank(S.front())) S.remove_prefix(1);
  while (!S.empty() && Blank(S.back())) S.remove_suffix(1);
  return S;
}
