#pragma once
// Value records of the geometry kernel and their shared constants.
#include <cstdint>
#include <limits>

struct TF2DPoint {
  double X = 0, Y = 0;
  double& operator[](int i) { return i == 0 ? X : Y; }
  double operator[](int i) const { return i == 0 ? X : Y; }
  friend bool operator==(const TF2DPoint&, const TF2DPoint&) = default;
};

struct TFPoint {
  double X = 0, Y = 0, Z = 0;
  TF2DPoint Point2D() const { return {X, Y}; }
  double Elevation() const { return Z; }
  double& operator[](int i) { return i == 0 ? X : (i == 1 ? Y : Z); }
  double operator[](int i) const { return i == 0 ? X : (i == 1 ? Y : Z); }
  friend bool operator==(const TFPoint&, const TFPoint&) = default;
};

struct TF2DRect {
  double Left = 0, Top = 0, Right = 0, Bottom = 0;
  TF2DPoint TopLeft() const { return {Left, Top}; }
  TF2DPoint BottomRight() const { return {Right, Bottom}; }
  friend bool operator==(const TF2DRect&, const TF2DRect&) = default;
};

// Y grows upwards: in a valid box Bottom <= Top.
struct TFRect {
  double Left = 0, Top = 0, Z1 = 0, Right = 0, Bottom = 0, Z2 = 0;
  TFPoint TopLeft() const { return {Left, Top, Z1}; }
  TFPoint BottomRight() const { return {Right, Bottom, Z2}; }
  void SetTopLeft(const TFPoint& p) { Left = p.X, Top = p.Y, Z1 = p.Z; }
  void SetBottomRight(const TFPoint& p) { Right = p.X, Bottom = p.Y, Z2 = p.Z; }
  friend bool operator==(const TFRect&, const TFRect&) = default;
};

// Row-vector convention: P maps to P.X*EX + P.Y*EY + P.Z*EZ + E0.
struct TFMatrix {
  TFPoint EX{1, 0, 0}, EY{0, 1, 0}, EZ{0, 0, 1}, E0{0, 0, 0};
  TFPoint& V(int row) { return row == 0 ? EX : row == 1 ? EY : row == 2 ? EZ : E0; }
  const TFPoint& V(int row) const { return row == 0 ? EX : row == 1 ? EY : row == 2 ? EZ : E0; }
  double& M(int row, int col) { return V(row)[col]; }
  double M(int row, int col) const { return V(row)[col]; }
  friend bool operator==(const TFMatrix&, const TFMatrix&) = default;
};

struct TqdHashItem {
  std::uint64_t HashCode = 0;
  void* Data = nullptr;
  friend bool operator==(const TqdHashItem&, const TqdHashItem&) = default;
};

// Arc made from a bulge: centre, radius, start and end angle in degrees.
struct TqdArcR {
  TFPoint Center;
  double Radius = 0;
  double AngleS = 0;
  double AngleE = 0;
};

inline constexpr double cnstBadValue = 1e20;
inline constexpr double cnstMaxDouble = std::numeric_limits<double>::max();

inline constexpr TFMatrix cnstIdentityMat{};
inline constexpr TFPoint cnstXOrtAxis{1, 0, 0};
inline constexpr TFPoint cnstYOrtAxis{0, 1, 0};
inline constexpr TFPoint cnstZOrtAxis{0, 0, 1};
inline constexpr TFPoint cnstFPointZero{0, 0, 0};
inline constexpr TFPoint cnstExtrusion{0, 0, 1};
inline constexpr TFPoint cnstFPointSingle{1, 1, 1};
inline constexpr TF2DPoint cnstF2DPointZero{0, 0};
inline constexpr TFRect cnstBadRect{cnstBadValue,  -cnstBadValue, cnstBadValue,
                                    -cnstBadValue, cnstBadValue,  -cnstBadValue};
inline constexpr TF2DRect cnstBad2DRect{cnstBadValue, -cnstBadValue, -cnstBadValue, cnstBadValue};
inline constexpr TFPoint cnstBadPoint{cnstMaxDouble, cnstMaxDouble, cnstMaxDouble};
// Marks a text alignment point that was not given.
inline constexpr double cnstUnsetValue = -93823560581120.0;
inline constexpr TFPoint cnstUnsetPoint{cnstUnsetValue, cnstUnsetValue, 0};

inline constexpr double fDegreesPerRadian = 57.29577951308232;
inline constexpr double fRadiansPerDegree = 0.017453292519943295;
inline constexpr double cnstPi = 3.14159265358979323846;

// Angle units: 0 = degrees, 1 = radians.
enum TqdAngleUnit : int { auDegree = 0, auRadian = 1 };
struct TqdAngleUnitRow {
  double FromRadians, Half, Quarter, Full;
};
inline constexpr TqdAngleUnitRow cnstAngleUnits[2] = {
    {fDegreesPerRadian, 180.0, 90.0, 360.0},
    {1.0, cnstPi, cnstPi / 2, 2 * cnstPi},
};

// Tolerance used wherever a rule says "zero" without naming one.
inline constexpr double fDoubleResolution = 1e-9;
