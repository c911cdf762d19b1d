#pragma once
// What the mappers of DXFEntities.cpp and DXFTables.cpp share: the generic
// storage of group values every mapper keeps, and the kinds of mapper by name.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "DXF.h"
#include "DXFMapping.h"

namespace dxfmap {

enum TMapperKind {
  mkNone, mkFace, mkRay, mkCircle, mkPolyline, mkVertex, mkLWPolyline, mkSpline, mkInsert,
  mkText, mkMText, mkShape, mkDimension, mkLeader, mkTolerance, mkHatch, mkMPolygon, mkWipeout,
  mkMLine, mkViewport, mkLayer, mkLType, mkStyle, mkVport, mkBlockRecord, mkDimStyle,
  mkSortEnts, mkSpatialFilter, mkMLineStyle, mkRasterVariables, mkPlotSettings, mkLayout,
  mkXRecord, mkDictionaryVar
};

constexpr double cRadToDeg = 57.29577951308232;
// Kept data of one object (ACIS text, proxy bytes) never grows beyond this.
constexpr std::size_t cMaxKeptData = std::size_t(64) << 20;

inline std::string_view Trim(std::string_view S) {
  while (!S.empty() && (S.front() == ' ' || S.front() == '\t')) S.remove_prefix(1);
  while (!S.empty() && (S.back() == ' ' || S.back() == '\t' || S.back() == '\r')) S.remove_suffix(1);
  return S;
}

// Single precision as the widths are stored, with the float range as the limit.
inline double ToSingle(double V) {
  constexpr double M = 3.4028235e38;
  if (!std::isfinite(V)) return 0;
  return static_cast<float>(std::clamp(V, -M, M));
}

// Lists filled one item per group: the file's size bounds them, these caps bound the
// memory a hostile file can make per group read.
constexpr std::size_t cMaxHatchItems = std::size_t(1) << 22;
// Edges and multiline vertices weigh a few hundred bytes each.
constexpr std::size_t cMaxHeavyItems = std::size_t(1) << 18;

// The generic part every mapper keeps: Pk, Fc, Ic, Sc as the file gave them.
class TBaseMapper : public TdxfMapper {
public:
  void Property(TdxfReader& R) override {
    const int C = R.Code();
    if (C >= 10 && C <= 39) {
      if (C == 38 || C == 39) {
        (C == 38 ? FElevation : FThickness) = R.FloatValue();
      } else {
        TFPoint& P = FP[C % 10];
        const double V = R.FloatValue();
        if (C < 20) {
          P.X = V;
          FHasP[C % 10] = true;
        } else if (C < 30)
          P.Y = V;
        else
          P.Z = V;
      }
    } else if (C >= 40 && C <= 59) {
      FF[C - 40] = R.FloatValue();
      FHasF[C - 40] = true;
    } else if ((C >= 60 && C <= 79) || (C >= 90 && C <= 99)) {
      const int K = C < 90 ? C - 60 : C - 70;
      FI[K] = R.IntValue();
      FHasI[K] = true;
    } else if (C >= 1 && C <= 9) {
      FS[C] = R.UValue();
      FHasS[C] = true;
    } else if (C == 210) {
      FExtr.X = R.FloatValue();
    } else if (C == 220) {
      FExtr.Y = R.FloatValue();
    } else if (C == 230) {
      FExtr.Z = R.FloatValue();
    } else if (C >= 280 && C <= 290) {
      FI280[C - 280] = R.IntValue();
      FHasI280[C - 280] = true;
    }
    Code(R, C);
  }

protected:
  virtual void Code(TdxfReader&, int) {}
  double F(int C, double Default = 0) const { return FHasF[C - 40] ? FF[C - 40] : Default; }
  bool HasF(int C) const { return FHasF[C - 40]; }
  int I(int C, int Default = 0) const {
    const int K = C < 90 ? C - 60 : C - 70;
    return FHasI[K] ? FI[K] : Default;
  }
  bool HasI(int C) const { return FHasI[C < 90 ? C - 60 : C - 70]; }
  const std::string& S(int C) const { return FS[C]; }

  TFPoint FP[10] = {};
  bool FHasP[10] = {};
  double FF[20] = {};
  bool FHasF[20] = {};
  int FI[30] = {};
  bool FHasI[30] = {};
  std::string FS[10];
  bool FHasS[10] = {};
  int FI280[11] = {};
  bool FHasI280[11] = {};
  TFPoint FExtr{0, 0, 1};
  double FElevation = 0, FThickness = 0;
};

// The mapper of a table entry or non-graphical object of kind AKind
// (DXFTables.cpp).
std::unique_ptr<TdxfMapper> CreateTableMapper(int AKind, TqdDXFEntity* AItem);

}  // namespace dxfmap
