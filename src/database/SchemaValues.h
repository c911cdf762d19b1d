#pragma once
// Values between the class rows and TqdData: one overload per value type, shared by
// the rows (Schema.cpp) and the header variables (Properties.cpp). Internal to the
// database unit.
#include <cstdint>
#include <string>
#include <typeinfo>

#include "CADColor.h"
#include "DXFBase.h"
#include "qdXMLParser.h"

namespace qdschema {

inline TqdXMLColorCAD ToXMLColor(const TqdColorCAD& C) { return {C.Active == acRGBColor ? 1 : 0, C.Color, C.AlbumString}; }
inline TqdColorCAD FromXMLColor(const TqdXMLColorCAD& C) {
  TqdColorCAD R = C.Active == 1 ? TqdColorCAD::RGB(C.Color) : TqdColorCAD::Index(static_cast<int>(C.Color));
  R.AlbumString = C.AlbumString;
  return R;
}

// A handle value, kept apart from plain integers by its type.
struct THandle {
  std::uint64_t V = 0;
};

inline void Put(TqdData& D, double V) { D.SetValueAsDouble(V); }
inline void Put(TqdData& D, int V) { D.SetValueAsInt(V); }
inline void Put(TqdData& D, bool V) { D.SetValueAsBool(V); }
inline void Put(TqdData& D, const std::string& V) { D.SetValueAsStr(V); }
inline void Put(TqdData& D, const TFPoint& V) { D.SetValueAsFPoint(V); }
inline void Put(TqdData& D, const TqdColorCAD& V) { D.SetValueAsColorCAD(ToXMLColor(V)); }
inline void Put(TqdData& D, THandle V) { D.SetValueAsHandle(V.V); }
inline void Put(TqdData& D, const TqdXMLVersion& V) { D.SetValueAsVersion(V); }

inline bool Get(const TqdData& D, double& V) { return D.TryAsDouble(V); }
inline bool Get(const TqdData& D, int& V) { return D.TryAsInt(V); }
inline bool Get(const TqdData& D, bool& V) { return D.TryAsBool(V); }
inline bool Get(const TqdData& D, std::string& V) {
  V = D.GetValueAsText();
  return true;
}
inline bool Get(const TqdData& D, TFPoint& V) { return D.TryAsFPoint(V); }
inline bool Get(const TqdData& D, TqdColorCAD& V) {
  TqdXMLColorCAD C;
  if (!D.TryAsColorCAD(C)) return false;
  V = FromXMLColor(C);
  return true;
}
inline bool Get(const TqdData& D, THandle& V) { return D.TryAsHandle(V.V); }
inline bool Get(const TqdData& D, TqdXMLVersion& V) { return D.TryAsVersion(V); }

template <class T> bool Is(const TqdDXFEntity& E) { return dynamic_cast<const T*>(&E) != nullptr; }

}  // namespace qdschema
