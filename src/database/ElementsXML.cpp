// The XML child elements of an item that are lists rather than attributes: a spline's
// control points, fit points, knots and weights, and every item's extended data. They
// are written after the item's attributes and read back from untrusted text: counts
// only size reservations up to the elements present, values must be finite, and no
// text becomes a pointer.
#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "Curves.h"
#include "DXFConv.h"
#include "Hatches.h"
#include "Properties.h"
#include "TableItems.h"
#include "qdXMLParser.h"

namespace {

constexpr int cnstMaxXMLItems = 1 << 20;
// Extended data of one application never holds more items than its 16 KB allow.
constexpr int cnstMaxExtDataItems = 16384;

bool Named(const TqdNodeSample& N, int Id) { return XMLEqualNoCase(N.GetName(), XMLAttribName(Id)); }

TqdData IntData(int V) {
  TqdData D;
  D.SetValueAsInt(V);
  return D;
}

// A list element: "Count" and one child per item, each holding its value as text.
TqdNode* AddList(TqdNode& Parent, int AListId, int ACount) {
  TqdNode* L = Parent.AddChildNV(XMLAttribName(AListId));
  L->AddAttribId(xaCount, IntData(ACount));
  return L;
}

// The reservation a list element may make: the items present, never the claimed count.
int Room(const TqdNode& L) {
  int Count = 0;
  if (const TqdNodeAttrib* A = L.GetAttributeByName(XMLAttribName(xaCount))) A->FValue.TryAsInt(Count);
  return std::clamp(std::min(Count, L.GetChildNodesCount()), 0, cnstMaxXMLItems);
}

template <class F> void ForItems(const TqdNode& L, int AItemId, F&& Fn) {
  int N = 0;
  for (const auto& X : L.Childs())
    if (X->Type == ntElement && Named(*X, AItemId) && N++ < cnstMaxXMLItems) Fn(*X);
}

void ReadPoints(const TqdNode& L, TFPointList& Out, TqdXMLResult* R) {
  Out.Clear();
  Out.SetCapacity(Room(L));
  ForItems(L, xaPoint, [&](const TqdNode& X) {
    TFPoint P;
    if (X.Text.TryAsFPoint(P) && IsFiniteFPoint(P)) Out.Add(P);
    else if (R) R->Report(X, "\"Point\": value \"" + X.Text.GetValueAsText() + "\" refused");
  });
}

void ReadSingles(const TqdNode& L, int AItemId, TqdXMLResult* R, const std::function<void(double)>& Add) {
  ForItems(L, AItemId, [&](const TqdNode& X) {
    double V;
    // A single must hold it too.
    if (X.Text.TryAsDouble(V) && std::isfinite(V) && std::fabs(V) <= 3.4e38) Add(V);
    else if (R) R->Report(X, "\"" + std::string(X.GetName()) + "\": value \"" + X.Text.GetValueAsText() + "\" refused");
  });
}

// ---------------------------------------------------------------- spline

void SplineToXML(const TqdDXFSpline& S, TqdNode& N, bool All) {
  auto Points = [&](int Id, const TFPointList& L) {
    if (L.Count() == 0 && !All) return;
    TqdNode* X = AddList(N, Id, L.Count());
    TqdData D;
    for (int I = 0; I < L.Count(); ++I) {
      D.SetValueAsFPoint(L[I]);
      X->AddChildNV(XMLAttribName(xaPoint), D);
    }
  };
  auto Singles = [&](int Id, int ItemId, const TqdSingleList& L) {
    if (L.Count() == 0 && !All) return;
    TqdNode* X = AddList(N, Id, L.Count());
    TqdData D;
    for (int I = 0; I < L.Count(); ++I) {
      D.SetValueAsSingle(L[I]);
      X->AddChildNV(XMLAttribName(ItemId), D);
    }
  };
  Points(xaControlPoints, S.Controls());
  Points(xaFitPoints, S.Fit());
  Singles(xaKnotsPoints, xaKnot, S.Knots());
  Singles(xaWeights, xaWeight, S.Weights());
}

bool SplineFromXML(TqdDXFSpline& S, const TqdNode& C, TqdXMLResult* R) {
  if (Named(C, xaControlPoints)) {
    ReadPoints(C, S.Controls(), R);
  } else if (Named(C, xaFitPoints)) {
    ReadPoints(C, S.Fit(), R);
  } else if (Named(C, xaKnotsPoints)) {
    TqdSingleList& K = S.Knots();
    K.Clear();
    K.SetCapacity(Room(C));
    ReadSingles(C, xaKnot, R, [&](double V) { K.Add(static_cast<float>(V)); });
  } else if (Named(C, xaWeights)) {
    S.ClearWeights();
    ReadSingles(C, xaWeight, R, [&](double V) { S.AddWeight(V); });
  } else {
    return false;
  }
  if (R) ++R->Applied;
  return true;
}

// ---------------------------------------------------------------- extended data

// The item types by their names in the XML form ("Type" attribute of each "Value").
constexpr const char* cnstExtDataTypeNames[] = {"Undefined", "Byte",     "Int16",    "Int",    "Int64",  "Single",
                                                "Double",    "String",   "F2DPoint", "FPoint", "Binary", "Object"};

std::string HexText(std::string_view Bytes) {
  static const char* Digits = "0123456789ABCDEF";
  std::string S;
  S.reserve(Bytes.size() * 2);
  for (unsigned char B : Bytes) {
    S += Digits[B >> 4];
    S += Digits[B & 15];
  }
  return S;
}

bool FromHexText(std::string_view T, std::string& Out) {
  if (T.size() % 2) return false;
  Out.clear();
  for (std::size_t I = 0; I < T.size(); I += 2) {
    int V = 0;
    for (char Ch : {T[I], T[I + 1]}) {
      const int D = Ch >= '0' && Ch <= '9' ? Ch - '0' : Ch >= 'A' && Ch <= 'F' ? Ch - 'A' + 10 : Ch >= 'a' && Ch <= 'f' ? Ch - 'a' + 10 : -1;
      if (D < 0) return false;
      V = V * 16 + D;
    }
    Out += static_cast<char>(V);
  }
  return true;
}

void WriteExtDataItem(const TqdExtData& X, TqdNode& L) {
  TqdData D;
  switch (X.EType) {
    case edtByte:
    case edtInt16:
    case edtInt:
    case edtInt64: D.SetValueAsInt64(X.EInt); break;
    case edtSingle: D.SetValueAsSingle(static_cast<float>(X.EDouble)); break;
    case edtDouble: D.SetValueAsDouble(X.EDouble); break;
    case edtString: D.SetValueAsStr(X.EString); break;
    case edtF2DPoint: D.SetValueAsF2DPoint({X.EPoint.X, X.EPoint.Y}); break;
    case edtF3DPoint: D.SetValueAsFPoint(X.EPoint); break;
    // Without its length prefix.
    case edtBinary: D.SetValueAsStr(HexText(std::string_view(X.EString).substr(X.EString.empty() ? 0 : 1))); break;
    // An address is shown for what it is and never read back.
    case edtObject: D.SetValueAsPointer(X.EObject); break;
    default: break;
  }
  TqdNode* V = L.AddChildNV(XMLAttribName(xaValue), D);
  V->AddAttribNV("Code", IntData(X.ECode));
  TqdData T;
  T.SetValueAsStr(cnstExtDataTypeNames[X.EType >= edtUndefined && X.EType <= edtObject ? X.EType : 0]);
  V->AddAttribNV("Type", T);
}

// One "Value" element into AData; false (with the reason) when refused.
bool ReadExtDataItem(const TqdNode& V, TqdCADExtendedData& AData, std::string& Why) {
  int Code = 0;
  const TqdNodeAttrib* CA = V.GetAttributeByName("Code");
  if (!CA || !CA->FValue.TryAsInt(Code) || Code < 1000 || Code > 1071) return Why = "a code from 1000 to 1071 is needed", false;
  const TqdNodeAttrib* TA = V.GetAttributeByName("Type");
  int Type = -1;
  if (TA)
    for (int I = edtByte; I <= edtObject; ++I)
      if (XMLEqualNoCase(TA->FValue.GetValueAsText(), cnstExtDataTypeNames[I])) Type = I;
  if (Type < 0) return Why = "unknown type", false;
  const TqdData& D = V.Text;
  std::int64_t I = 0;
  double F = 0;
  TFPoint P;
  switch (Type) {
    case edtByte:
      if (!D.TryAsInt64(I) || I < 0 || I > 255) break;
      return AData.AddByte(Code, static_cast<std::uint8_t>(I)), true;
    case edtInt16:
      if (!D.TryAsInt64(I) || I < -32768 || I > 32767) break;
      return AData.AddInt16(Code, static_cast<std::int16_t>(I)), true;
    case edtInt:
      if (!D.TryAsInt64(I) || I < INT32_MIN || I > INT32_MAX) break;
      return AData.AddInt(Code, static_cast<std::int32_t>(I)), true;
    case edtInt64:
      if (!D.TryAsInt64(I)) break;
      return AData.AddInt64(Code, I), true;
    case edtSingle:
      if (!D.TryAsDouble(F) || !std::isfinite(F) || std::fabs(F) > 3.4e38) break;
      return AData.AddSingle(Code, static_cast<float>(F)), true;
    case edtDouble:
      if (!D.TryAsDouble(F) || !std::isfinite(F)) break;
      return AData.AddDouble(Code, F), true;
    case edtString: return AData.AddString(Code, D.GetValueAsText()), true;
    case edtF2DPoint:
      if (!D.TryAsFPoint(P) || !IsFiniteFPoint(P)) break;
      return AData.AddF2DPoint(Code, {P.X, P.Y}), true;
    case edtF3DPoint:
      if (!D.TryAsFPoint(P) || !IsFiniteFPoint(P)) break;
      return AData.AddPoint(Code, P), true;
    case edtBinary: {
      std::string Bytes;
      if (!FromHexText(D.GetValueAsText(), Bytes)) break;
      return AData.AddBinary(Code, Bytes), true;
    }
    case edtObject: return Why = "an object is never read from text", false;
    default: break;
  }
  Why = "value \"" + D.GetValueAsText() + "\" refused";
  return false;
}

void ExtDataToXML(const TqdDXFEntity& E, TqdNode& N) {
  TqdDXFConverter* C = E.Converter();
  const auto* Items = C ? C->GetEEDItems(&E) : nullptr;
  if (!Items) return;
  for (const auto& [App, Data] : *Items) {
    TqdNode* L = N.AddChildNV(XMLAttribName(xaExtData));
    TqdData D;
    D.SetValueAsStr(App);
    L->AddAttribId(xaName, D);
    L->AddAttribId(xaCount, IntData(Data.Count()));
    for (const TqdExtData& X : Data.Items()) WriteExtDataItem(X, *L);
  }
}

// Replaces the record of the application "Name" (an element without items removes it).
bool ExtDataFromXML(TqdDXFEntity& E, const TqdNode& L, TqdXMLResult* R) {
  if (!Named(L, xaExtData)) return false;
  const TqdNodeAttrib* NA = L.GetAttributeByName(XMLAttribName(xaName));
  const std::string App = NA ? NA->FValue.GetValueAsText() : std::string();
  TqdDXFConverter* C = E.Converter();
  if (!C || !IsValidTableName(App)) {
    if (R) R->Report(L, C ? "\"ExtData\" needs a valid application name" : "\"ExtData\" of an item outside a drawing");
    return true;
  }
  TqdCADExtendedData Data;
  int N = 0;
  for (const auto& V : L.Childs()) {
    if (V->Type != ntElement) continue;
    std::string Why;
    if (!Named(*V, xaValue)) Why = "\"" + std::string(V->GetName()) + "\" is not an extended data item";
    else if (N >= cnstMaxExtDataItems) Why = "too many extended data items";
    else if (ReadExtDataItem(*V, Data, Why)) ++N;
    if (!Why.empty() && R) R->Report(*V, "\"ExtData\": " + Why);
  }
  // The application is known to the drawing, as a reader files it.
  if (Data.Count() > 0) C->ItemByName(App, csAppID, true);
  C->SetEntityEED(&E, App, Data);
  if (R) ++R->Applied;
  return true;
}

}  // namespace

void qdOwnElementsToXML(const TqdDXFEntity& E, TqdNode& ANode, unsigned AModes) {
  const bool All = (AModes & (xmlGetDefaultValue | xmCallHelp)) != 0;
  qdAreaToXML(E, ANode, AModes);
  if (const auto* S = dynamic_cast<const TqdDXFSpline*>(&E)) SplineToXML(*S, ANode, All);
  ExtDataToXML(E, ANode);
}

bool qdOwnElementsFromXML(TqdDXFEntity& E, const TqdNode& AChild, TqdXMLResult* AResult) {
  if (qdAreaFromXML(E, AChild, AResult)) return true;
  if (auto* S = dynamic_cast<TqdDXFSpline*>(&E); S && SplineFromXML(*S, AChild, AResult)) return true;
  return ExtDataFromXML(E, AChild, AResult);
}
