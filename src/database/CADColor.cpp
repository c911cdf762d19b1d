#include "CADColor.h"

#include <array>
#include <cmath>

namespace {

std::array<std::uint32_t, 256> BuildPalette() {
  std::array<std::uint32_t, 256> P{};
  const int Fixed[10][3] = {{0, 0, 0},     {255, 0, 0},     {255, 255, 0},  {0, 255, 0},
                            {0, 255, 255}, {0, 0, 255},     {255, 0, 255},  {255, 255, 255},
                            {128, 128, 128}, {192, 192, 192}};
  for (int i = 0; i < 10; ++i) P[i] = MakeRGB(Fixed[i][0], Fixed[i][1], Fixed[i][2]);
  const double Values[5] = {255, 204, 153, 127, 76};
  for (int i = 10; i < 250; ++i) {
    const int Hue = ((i - 10) / 10) * 15;
    const int O = (i - 10) % 10;
    const double V = Values[O / 2];
    // Channel fractions of a fully saturated colour of value 1 at this hue.
    const double H = Hue / 60.0;
    const int Sector = static_cast<int>(H);
    const double F = H - Sector;
    double R = 0, G = 0, B = 0;
    switch (Sector) {
      case 0: R = 1, G = F, B = 0; break;
      case 1: R = 1 - F, G = 1, B = 0; break;
      case 2: R = 0, G = 1, B = F; break;
      case 3: R = 0, G = 1 - F, B = 1; break;
      case 4: R = F, G = 0, B = 1; break;
      default: R = 1, G = 0, B = 1 - F; break;
    }
    if (O % 2 == 1) R = 0.5 + 0.5 * R, G = 0.5 + 0.5 * G, B = 0.5 + 0.5 * B;
    P[i] = MakeRGB(static_cast<int>(V * R), static_cast<int>(V * G), static_cast<int>(V * B));
  }
  const int Greys[6] = {51, 91, 132, 173, 214, 255};
  for (int i = 0; i < 6; ++i) P[250 + i] = MakeRGB(Greys[i], Greys[i], Greys[i]);
  return P;
}

const std::array<std::uint32_t, 256>& Palette() {
  static const std::array<std::uint32_t, 256> P = BuildPalette();
  return P;
}

int NearestPaletteIndex(std::uint32_t Value) {
  const auto& P = Palette();
  int Best = 0;
  long long BestDist = -1;
  for (int i = 0; i < 256; ++i) {
    const long long DR = GetRValue(P[i]) - GetRValue(Value);
    const long long DG = GetGValue(P[i]) - GetGValue(Value);
    const long long DB = GetBValue(P[i]) - GetBValue(Value);
    const long long D = DR * DR + DG * DG + DB * DB;
    if (BestDist < 0 || D < BestDist) Best = i, BestDist = D;
  }
  return Best;
}

std::uint32_t ComparableValue(const TqdColorCAD& C) {
  if (C.Active == acRGBColor) return C.Color & 0xFFFFFF;
  return ACIPaletteColor(C.IndexValue());
}

}  // namespace

std::uint32_t ACIPaletteColor(int Index) {
  if (Index < 0 || Index > 255) return 0;
  return Palette()[Index];
}

bool operator==(const TqdColorCAD& A, const TqdColorCAD& B) {
  if (A.Active == B.Active) return A.Color == B.Color;
  return ComparableValue(A) == ComparableValue(B);
}

std::uint32_t ColorCADToPlatform(const TqdColorCAD& C) {
  if (C.Active == acRGBColor) return C.Color;
  const int I = C.IndexValue();
  if (I < 0) return C.Color;
  if (I == clByBlock) return clPlatformByBlock;
  if (I == clForeground) return clDefaultForeground;
  if (I >= clByLayer) return clPlatformByLayer;
  return Palette()[I];
}

TqdColorCAD PlatformToColorCAD(std::uint32_t Value) {
  if (Value == clDefaultForeground) return TqdColorCAD::Index(clForeground);
  if (Value == clPlatformByLayer) return TqdColorCAD::Index(clByLayer);
  if (Value == clPlatformByBlock) return TqdColorCAD::Index(clByBlock);
  const std::uint32_t RGBValue = Value & 0xFFFFFF;
  const int I = NearestPaletteIndex(RGBValue);
  if (Palette()[I] == RGBValue) return TqdColorCAD::Index(I == 0 ? clForeground : I);
  return TqdColorCAD::RGB(RGBValue);
}

TqdColorCAD PlatformToColorCADHPGL(std::uint32_t Value) {
  if (Value == 0xFFFFFF) return TqdColorCAD::RGB(0xFFFFFF);
  if (Value == clDefaultForeground) {
    TqdColorCAD C;
    C.Active = acRGBColor;
    C.Color = clDefaultForeground;
    return C;
  }
  return PlatformToColorCAD(Value);
}

bool LineWeightFromInt(long long W, double& MM) {
  if (W >= -3 && W <= -1) {
    MM = static_cast<double>(W);
    return true;
  }
  for (int S : cnstStandardLineWeights)
    if (S == W) {
      MM = W / 100.0;
      return true;
    }
  return false;
}

int LineWeightToStandard(double MM) {
  // Checked before any conversion: a double outside int range cannot be converted.
  if (!std::isfinite(MM) || MM > 1e6 || MM < -1e6) return -3;
  if (MM <= 0) {
    const double R = std::nearbyint(MM);
    return R >= -3 ? static_cast<int>(R) : -3;
  }
  const double N = std::nearbyint(MM * 100);
  int Result = 0;
  for (int S : cnstStandardLineWeights)
    if (S <= N) Result = S;
  return Result;
}
