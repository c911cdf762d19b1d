// The plotter reader's units, limits and small conversions, shared by its files.
#pragma once

#include <cmath>
#include <cstdint>

#include "CADColor.h"

namespace qdhpgl {


inline constexpr double cnstMMPerStep = 0.025;
// A label line feed, in character heights.
inline constexpr double cnstLineStep = 1.7;
inline constexpr std::uint32_t cnstDefaultPenColor = 0x1FFFFFFF;
// Plotter coordinates beyond this are not plotter coordinates (they would only
// poison extents and the draw matrix).
inline constexpr double cnstMaxCoord = 1e12;

inline constexpr std::uint32_t RGBValue(int R, int G, int B) {
  return static_cast<std::uint32_t>(R) | (static_cast<std::uint32_t>(G) << 8) | (static_cast<std::uint32_t>(B) << 16);
}

inline const std::uint32_t cDefaultPenColors[8] = {cnstDefaultPenColor, cnstDefaultPenColor, RGBValue(255, 0, 0),
                                            RGBValue(0, 128, 0),  RGBValue(255, 255, 0), RGBValue(0, 0, 255),
                                            RGBValue(128, 0, 128), RGBValue(0, 255, 255)};

// A pen colour as an entity colour: the default value is the foreground colour
// (ACI 7), every other value the RGB colour itself.
inline TqdColorCAD PenColorCAD(std::uint32_t V) { return V > 0xFFFFFF ? TqdColorCAD::Index(7) : TqdColorCAD::RGB(V); }

inline bool IsLetter(int C) { return (C >= 'A' && C <= 'Z') || (C >= 'a' && C <= 'z'); }

// Integer conversion of a file value after a range check.
inline bool ToInt(double V, int ALo, int AHi, int& AOut) {
  if (!std::isfinite(V)) return false;
  const double R = std::round(V);
  if (R < ALo || R > AHi) return false;
  AOut = static_cast<int>(R);
  return true;
}


}  // namespace qdhpgl
