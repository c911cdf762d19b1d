#pragma once
// Entity colours (the ACI palette of 256 indexes, and RGB values) and lineweights.
#include <cstdint>
#include <string>

enum TqdActiveColor { acIndexColor, acRGBColor };

inline constexpr int clByBlock = 0;
inline constexpr int clByLayer = 256;
inline constexpr int clForeground = 7;

// Platform colour codes that stand for a role instead of a value.
inline constexpr std::uint32_t clDefaultForeground = 0x1FFFFFFF;
inline constexpr std::uint32_t clPlatformByLayer = 0x2FFFFFFF;
inline constexpr std::uint32_t clPlatformByBlock = 0x3FFFFFFF;

// Platform colours are 0x00BBGGRR (red in the low byte).
inline constexpr std::uint32_t MakeRGB(int R, int G, int B) {
  return static_cast<std::uint32_t>(R & 0xFF) | (static_cast<std::uint32_t>(G & 0xFF) << 8) |
         (static_cast<std::uint32_t>(B & 0xFF) << 16);
}
inline constexpr int GetRValue(std::uint32_t C) { return static_cast<int>(C & 0xFF); }
inline constexpr int GetGValue(std::uint32_t C) { return static_cast<int>((C >> 8) & 0xFF); }
inline constexpr int GetBValue(std::uint32_t C) { return static_cast<int>((C >> 16) & 0xFF); }
// DXF true colours are 0x00RRGGBB; the conversion swaps red and blue (it is its own inverse).
inline constexpr std::uint32_t SwapRedBlue(std::uint32_t C) {
  return ((C & 0xFF) << 16) | (C & 0xFF00) | ((C >> 16) & 0xFF);
}

// The platform value of ACI entry Index (0..255); other indexes give black.
std::uint32_t ACIPaletteColor(int Index);

struct TqdColorCAD {
  TqdActiveColor Active = acIndexColor;
  // An ACI index (0 BYBLOCK, 256 BYLAYER, negative: colour of a layer that is off) or
  // an RGB value 0x00BBGGRR; index colours are stored as two's complement.
  std::uint32_t Color = clByLayer;
  std::string AlbumString;

  static TqdColorCAD Index(int AIndex) {
    TqdColorCAD C;
    C.Color = static_cast<std::uint32_t>(AIndex);
    return C;
  }
  static TqdColorCAD RGB(std::uint32_t AValue) {
    TqdColorCAD C;
    C.Active = acRGBColor;
    C.Color = AValue & 0xFFFFFF;
    return C;
  }
  // The signed ACI index of an index colour.
  int IndexValue() const { return static_cast<std::int32_t>(Color); }
  bool IsByLayer() const { return Active == acIndexColor && IndexValue() == clByLayer; }
  bool IsByBlock() const { return Active == acIndexColor && IndexValue() == clByBlock; }
};

// Different kinds compare the index colour's palette value with the RGB value.
bool operator==(const TqdColorCAD& A, const TqdColorCAD& B);

// CAD colour -> platform colour (role codes for BYBLOCK, BYLAYER and index 7).
std::uint32_t ColorCADToPlatform(const TqdColorCAD& C);
// Platform colour -> CAD colour: nearest palette entry when exact, else RGB.
TqdColorCAD PlatformToColorCAD(std::uint32_t Value);
// The plotter variant: pure white stays RGB white, the foreground code stays as it is.
TqdColorCAD PlatformToColorCADHPGL(std::uint32_t Value);

// ---- lineweights (millimetres; -1 BYLAYER, -2 BYBLOCK, -3 DEFAULT)
inline constexpr double cnstLWByLayer = -1;
inline constexpr double cnstLWByBlock = -2;
inline constexpr double cnstLWDefault = -3;
inline constexpr int cnstStandardLineWeights[24] = {0,  5,  9,  13, 15, 18,  20,  25,
                                                    30, 35, 40, 50, 53, 60,  70,  80,
                                                    90, 100, 106, 120, 140, 158, 200, 211};
// An integer weight (DXF code 370) as millimetres; false when it is not legal.
bool LineWeightFromInt(long long W, double& MM);
// Millimetres -> the standard integer weight at or below (x*100 rounded half to even,
// capped at 211); special values keep their code; NaN and absurd values give -3.
int LineWeightToStandard(double MM);
