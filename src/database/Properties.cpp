#include "Properties.h"

#include <cmath>
#include <mutex>
#include <type_traits>
#include <typeinfo>
#include <unordered_map>
#include <unordered_set>

#include "DXFConv.h"
#include "Dimensions.h"
#include "Faces.h"
#include "Hatches.h"
#include "Inserts.h"
#include "Objects.h"
#include "Others.h"
#include "Polylines.h"
#include "Texts.h"
#include "MultiLeaders.h"
#include "Underlays.h"

// ---------------------------------------------------------------- values

namespace {

TqdXMLColorCAD ToXMLColor(const TqdColorCAD& C) { return {C.Active == acRGBColor ? 1 : 0, C.Color, C.AlbumString}; }
TqdColorCAD FromXMLColor(const TqdXMLColorCAD& C) {
  TqdColorCAD R = C.Active == 1 ? TqdColorCAD::RGB(C.Color) : TqdColorCAD::Index(static_cast<int>(C.Color));
  R.AlbumString = C.AlbumString;
  return R;
}

// A handle value, kept apart from plain integers by its type.
struct THandle {
  std::uint64_t V = 0;
};

void Put(TqdData& D, double V) { D.SetValueAsDouble(V); }
void Put(TqdData& D, int V) { D.SetValueAsInt(V); }
void Put(TqdData& D, bool V) { D.SetValueAsBool(V); }
void Put(TqdData& D, const std::string& V) { D.SetValueAsStr(V); }
void Put(TqdData& D, const TFPoint& V) { D.SetValueAsFPoint(V); }
void Put(TqdData& D, const TqdColorCAD& V) { D.SetValueAsColorCAD(ToXMLColor(V)); }
void Put(TqdData& D, THandle V) { D.SetValueAsHandle(V.V); }
void Put(TqdData& D, const TqdXMLVersion& V) { D.SetValueAsVersion(V); }

bool Get(const TqdData& D, double& V) { return D.TryAsDouble(V); }
bool Get(const TqdData& D, int& V) { return D.TryAsInt(V); }
bool Get(const TqdData& D, bool& V) { return D.TryAsBool(V); }
bool Get(const TqdData& D, std::string& V) {
  V = D.GetValueAsText();
  return true;
}
bool Get(const TqdData& D, TFPoint& V) { return D.TryAsFPoint(V); }
bool Get(const TqdData& D, TqdColorCAD& V) {
  TqdXMLColorCAD C;
  if (!D.TryAsColorCAD(C)) return false;
  V = FromXMLColor(C);
  return true;
}
bool Get(const TqdData& D, THandle& V) { return D.TryAsHandle(V.V); }
bool Get(const TqdData& D, TqdXMLVersion& V) { return D.TryAsVersion(V); }

// "DimStyle": a handle when the text reads as one, else a style name.
TqdDXFDimensionStyle* DimStyleFromText(const TqdDXFEntity& E, const std::string& V) {
  TqdDXFConverter* C = E.Converter();
  const TqdDXFEntity* Styles = C ? C->GetSection(csDimStyles) : nullptr;
  if (!Styles || V.empty()) return nullptr;
  std::uint64_t H = 0;
  bool IsHandle = V.size() <= 16;
  for (char Ch : V) {
    const int D = Ch >= '0' && Ch <= '9' ? Ch - '0' : Ch >= 'A' && Ch <= 'F' ? Ch - 'A' + 10 : Ch >= 'a' && Ch <= 'f' ? Ch - 'a' + 10 : -1;
    if (D < 0) {
      IsHandle = false;
      break;
    }
    H = H * 16 + static_cast<std::uint64_t>(D);
  }
  if (IsHandle && H)
    for (int I = 0; I < Styles->Count(); ++I)
      if (auto* S = dynamic_cast<TqdDXFDimensionStyle*>(Styles->GetEntity(I)); S && S->Handle() == H) return S;
  return dynamic_cast<TqdDXFDimensionStyle*>(Styles->FindEntByName(V));
}

template <class T> void SetDimStyleByText(T& X, TqdTableItem& Item, const std::string& V) {
  if (TqdDXFDimensionStyle* S = DimStyleFromText(X, V)) {
    if constexpr (std::is_same_v<T, TqdDXFDimension>) X.SetStyle(S);
    else X.SetDimStyle(S);
  } else if (!V.empty()) {
    Item.SetLink(TqdLinkObject::ByName(V));
  }
}

// A property of class T holding values of type V: Get(const T&) -> V, Set(T&, V)
// (nullptr for read-only).
template <class T, class V, class G, class S = std::nullptr_t>
TqdPropertyDesc Prop(int Id, G AGet, S ASet = nullptr) {
  TqdPropertyDesc P;
  P.Id = Id;
  P.Read = [AGet](const TqdDXFEntity& E, TqdData& D) { Put(D, static_cast<V>(AGet(static_cast<const T&>(E)))); };
  if constexpr (!std::is_null_pointer_v<S>)
    P.Write = [ASet](TqdDXFEntity& E, const TqdData& D, TqdXMLContext&) {
      V Value{};
      if (!Get(D, Value)) return false;
      if constexpr (std::is_same_v<V, double>)
        if (!std::isfinite(Value)) return false;
      ASet(static_cast<T&>(E), Value);
      return true;
    };
  return P;
}

// A property that names a table item: Set(T&, name, converter) looks the name up in
// the drawing and answers false when there is no such item.
template <class T, class G, class S>
TqdPropertyDesc NameProp(int Id, G AGet, S ASet) {
  TqdPropertyDesc P;
  P.Id = Id;
  P.Read = [AGet](const TqdDXFEntity& E, TqdData& D) { D.SetValueAsStr(AGet(static_cast<const T&>(E))); };
  P.Write = [ASet](TqdDXFEntity& E, const TqdData& D, TqdXMLContext& Ctx) {
    TqdDXFConverter* C = Ctx.Converter ? Ctx.Converter : E.Converter();
    return C != nullptr && ASet(static_cast<T&>(E), D.GetValueAsText(), *C);
  };
  return P;
}

template <class T> bool Is(const TqdDXFEntity& E) { return dynamic_cast<const T*>(&E) != nullptr; }

std::string ItemName(const TqdDXFEntity* E) { return E ? E->Name() : std::string(); }

bool IsGraphicalChild(const TqdDXFEntity&, const TqdDXFEntity& C) {
  return Is<TqdDXFObjectEntity>(C) && !Is<TqdDXFGroup>(C) && !Is<TqdDXFAttrib>(C);
}
bool IsVertexChild(const TqdDXFEntity&, const TqdDXFEntity& C) { return Is<TqdDXFVertex>(C); }
bool IsAttribChild(const TqdDXFEntity&, const TqdDXFEntity& C) { return Is<TqdDXFAttrib>(C); }
bool IsMLineEntryChild(const TqdDXFEntity&, const TqdDXFEntity& C) { return Is<TqdMLineEntry>(C); }
bool NoNewChild(const TqdDXFEntity&, const TqdDXFEntity&) { return false; }
bool IsBlockChild(const TqdDXFEntity&, const TqdDXFEntity& C) { return typeid(C) == typeid(TqdDXFBlock); }
bool IsDictionaryChild(const TqdDXFEntity&, const TqdDXFEntity& C) { return Is<TqdDXFDictionary>(C); }
// Non-graphical objects; a layout is not made from text (it owns a block of its own).
bool IsObjectChild(const TqdDXFEntity&, const TqdDXFEntity& C) {
  return Is<TqdDXFDictionary>(C) || Is<TqdDXFXRecord>(C) || Is<TqdDXFImageDef>(C) || Is<TqdDXFAcadTableStyle>(C) ||
         Is<TqdDXFSortEntsTable>(C) || Is<TqdCADRasterVariables>(C) || Is<TqdCADWipeoutVariables>(C) ||
         Is<TqdDXFDictionaryVar>(C) || Is<TqdMLineStyle>(C) || Is<TqdDXFMLeaderStyle>(C) ||
         Is<TqdCADUnderlayDefinition>(C) ||
         (Is<TqdDXFPlotSettings>(C) && !Is<TqdDXFLayout>(C));
}
// A symbol table holds items of its own kind only.
bool IsTableItemChild(const TqdDXFEntity& T, const TqdDXFEntity& C) {
  const std::string N = UpperNameText(T.Name());
  if (N == "LAYER") return typeid(C) == typeid(TqdDXFLayer);
  if (N == "LTYPE") return typeid(C) == typeid(TqdDXFLineType);
  if (N == "STYLE") return typeid(C) == typeid(TqdDXFStyle);
  if (N == "DIMSTYLE") return typeid(C) == typeid(TqdDXFDimensionStyle);
  if (N == "APPID") return typeid(C) == typeid(TqdDXFAppID);
  if (N == "VPORT") return typeid(C) == typeid(TqdDXFVport);
  return false;
}

#define QD_CLASS(T) #T, &Is<T>

// ---------------------------------------------------------------- the descriptions

// In tree order: every class comes after its ancestors.
std::vector<TqdClassDescription> MakeDescriptions() {
  std::vector<TqdClassDescription> L;
  using E = TqdDXFEntity;

  {
    TqdPropertyDesc LT = NameProp<E>(
        xaLineType, [](const E& X) { return ItemName(static_cast<const TqdDXFEntity*>(X.LineType())); },
        [](E& X, const std::string& N, TqdDXFConverter& C) {
          TqdDXFLineType* T = C.LTypeByName(N);
          if (!T) return false;
          X.SetLineType(T);
          return true;
        });
    LT.IsDefault = [](const E& X) {
      const std::string N = ItemName(static_cast<const TqdDXFEntity*>(X.LineType()));
      return N.empty() || N == "BYLAYER";
    };
    LT.EmptyInHelp = true;
    TqdPropertyDesc H = Prop<E, THandle>(xaHandle, [](const E& X) { return THandle{X.Handle()}; });
    H.IsDefault = [](const E& X) { return X.Handle() == 0; };
    L.push_back({QD_CLASS(TqdDXFEntity),
                 {Prop<E, double>(xaLineWeight, [](const E& X) { return X.LineWeight(); },
                                  [](E& X, double V) { X.SetLineWeight(V); }),
                  H,
                  Prop<E, int>(xaFlags, [](const E& X) { return X.Flags(); }, [](E& X, int V) { X.SetFlags(V); }), LT},
                 nullptr, 1});
  }
  {
    using T = TqdDXFObjectEntity;
    L.push_back({QD_CLASS(TqdDXFObjectEntity),
                 {NameProp<T>(
                     xaLayer, [](const T& X) { return ItemName(static_cast<const TqdDXFEntity*>(X.Layer())); },
                     [](T& X, const std::string& N, TqdDXFConverter& C) {
                       // A layer of the drawing is taken whatever its name; a new one
                       // only under a valid name.
                       TqdDXFLayer* Ly = dynamic_cast<TqdDXFLayer*>(C.ItemByName(N, csLayers, false));
                       if (!Ly && IsValidLayerName(N)) Ly = C.LayerByName(N);
                       if (!Ly) return false;
                       X.SetLayer(Ly);
                       return true;
                     })}});
  }
  {
    using T = TqdDXFObjectEntityColor;
    L.push_back({QD_CLASS(TqdDXFObjectEntityColor),
                 {Prop<T, TqdColorCAD>(xaColor, [](const T& X) { return X.ColorCAD(); },
                                       [](T& X, const TqdColorCAD& V) { X.SetColorCAD(V); })}});
  }
  {
    using T = TqdDXFPenEntity;
    L.push_back({QD_CLASS(TqdDXFPenEntity),
                 {Prop<T, double>(xaLineTypeScale, [](const T& X) { return X.LineTypeScale(); },
                                  [](T& X, double V) { X.SetLineTypeScale(V); })}});
  }
  {
    using T = TqdDXFCustomVertex;
    L.push_back({QD_CLASS(TqdDXFCustomVertex),
                 {Prop<T, TFPoint>(xaPoint, [](const T& X) { return X.Point(); },
                                   [](T& X, const TFPoint& V) { X.SetPoint(V); })}});
  }
  {
    using T = TqdDXFPenLine;
    L.push_back({QD_CLASS(TqdDXFPenLine),
                 {Prop<T, double>(xaThickness, [](const T& X) { return X.ZThick(); },
                                  [](T& X, double V) { X.SetZThick(V); }),
                  Prop<T, TFPoint>(xaExtrusion, [](const T& X) { return X.Extrusion(); },
                                   [](T& X, const TFPoint& V) { X.SetExtrusion(V); })}});
  }
  {
    using T = TqdDXFLine;
    TqdPropertyDesc Len = Prop<T, double>(xaLength, [](const T& X) { return X.Length(); },
                                          [](T& X, double V) { X.SetLength(V); });
    Len.Always = true;
    L.push_back({QD_CLASS(TqdDXFLine),
                 {Prop<T, TFPoint>(xaPoint1, [](const T& X) { return X.Point1(); },
                                   [](T& X, const TFPoint& V) { X.SetPoint1(V); }),
                  Len,
                  Prop<T, double>(xaAngle, [](const T& X) { return X.Angle(); },
                                  [](T& X, double V) { X.SetAngle(V); })}});
    L.back().Properties.back().IsDefault = [](const E& X) { return static_cast<const T&>(X).Angle() == 0; };
  }
  {
    using T = TqdDXFSolid;
    L.push_back({QD_CLASS(TqdDXFSolid),
                 {Prop<T, TFPoint>(xaPoint2, [](const T& X) { return X.Point2(); },
                                   [](T& X, const TFPoint& V) { X.SetPoint2(V); }),
                  Prop<T, TFPoint>(xaPoint3, [](const T& X) { return X.Point3(); },
                                   [](T& X, const TFPoint& V) { X.SetPoint3(V); })}});
  }
  {
    using T = TqdDXFRay;
    L.push_back({QD_CLASS(TqdDXFRay),
                 {Prop<T, TFPoint>(xaStartPoint, [](const T& X) { return X.StartPoint(); },
                                   [](T& X, const TFPoint& V) { X.SetStartPoint(V); })}});
  }
  {
    using T = TqdDXFCircle;
    L.push_back({QD_CLASS(TqdDXFCircle),
                 {Prop<T, double>(xaRadius, [](const T& X) { return X.Radius(); },
                                  [](T& X, double V) { X.SetRadius(V); }),
                  Prop<T, double>(xaLength, [](const T& X) { return X.GetLength(); }),
                  Prop<T, double>(xaArea, [](const T& X) { return X.GetArea(); })}});
  }
  {
    using T = TqdDXFArc;
    L.push_back({QD_CLASS(TqdDXFArc),
                 {Prop<T, double>(xaEndAngle, [](const T& X) { return X.EndAngle(); },
                                  [](T& X, double V) { X.SetEndAngle(V); }),
                  Prop<T, double>(xaStartAngle, [](const T& X) { return X.StartAngle(); },
                                  [](T& X, double V) { X.SetStartAngle(V); })}});
  }
  {
    using T = TqdDXFEllipse;
    L.push_back({QD_CLASS(TqdDXFEllipse),
                 {Prop<T, TFPoint>(xaRadPt, [](const T& X) { return X.RadPt(); },
                                   [](T& X, const TFPoint& V) { X.SetRadPt(V); }),
                  Prop<T, double>(xaRatio, [](const T& X) { return X.Ratio(); },
                                  [](T& X, double V) { X.SetRatio(V); })}});
  }
  {
    using T = TqdDXFVertex;
    L.push_back({QD_CLASS(TqdDXFVertex),
                 {Prop<T, TFPoint>(xaPoint, [](const T& X) { return X.Point(); },
                                   [](T& X, const TFPoint& V) { X.SetPoint(V); }),
                  Prop<T, double>(xaBulge, [](const T& X) { return X.Bulge(); },
                                  [](T& X, double V) { X.SetBulge(V); }),
                  Prop<T, double>(xaStartWidth, [](const T& X) { return X.StartWidth(); },
                                  [](T& X, double V) { X.SetStartWidth(V); }),
                  Prop<T, double>(xaEndWidth, [](const T& X) { return X.EndWidth(); },
                                  [](T& X, double V) { X.SetEndWidth(V); })}});
  }
  {
    using T = TqdDXFPolyline;
    L.push_back({QD_CLASS(TqdDXFPolyline),
                 {Prop<T, double>(xaGlobalWidth, [](const T& X) { return X.GlobalWidth(); },
                                  [](T& X, double V) { X.SetGlobalWidth(V); }),
                  Prop<T, bool>(xaClosed, [](const T& X) { return X.Closed(); },
                                [](T& X, bool V) { X.SetClosed(V); }),
                  Prop<T, double>(xaElevation, [](const T& X) { return X.Elevation(); },
                                  [](T& X, double V) { X.SetElevation(V); })},
                 &IsVertexChild});
  }
  {
    using T = TqdDXFSpline;
    L.push_back({QD_CLASS(TqdDXFSpline),
                 {Prop<T, int>(xaDegree, [](const T& X) { return X.Degree(); }, [](T& X, int V) { X.SetDegree(V); }),
                  Prop<T, TFPoint>(xaStartTangentVector, [](const T& X) { return X.BeginningTangent(); },
                                   [](T& X, const TFPoint& V) { X.SetBeginningTangent(V); }),
                  Prop<T, TFPoint>(xaEndTangentVector, [](const T& X) { return X.EndingTangent(); },
                                   [](T& X, const TFPoint& V) { X.SetEndingTangent(V); })}});
  }
  {
    using T = TqdCADHelix;
    L.push_back({QD_CLASS(TqdCADHelix),
                 {Prop<T, TFPoint>(xaStart, [](const T& X) { return X.StartPoint(); },
                                   [](T& X, const TFPoint& V) { X.SetStartPoint(V); }),
                  Prop<T, double>(xaRadius, [](const T& X) { return X.Radius(); },
                                  [](T& X, double V) { X.SetRadius(V); }),
                  Prop<T, double>(xaTurns, [](const T& X) { return X.Turns(); }, [](T& X, double V) { X.SetTurns(V); }),
                  Prop<T, double>(xaTurnHeight, [](const T& X) { return X.TurnHeight(); },
                                  [](T& X, double V) { X.SetTurnHeight(V); }),
                  Prop<T, bool>(xaClockwise, [](const T& X) { return X.Clockwise(); },
                                [](T& X, bool V) { X.SetClockwise(V); })}});
  }
  // ---- table items and containers
  {
    using T = TqdDXFOwneredItem;
    L.push_back({QD_CLASS(TqdDXFOwneredItem),
                 {Prop<T, std::string>(xaName, [](const T& X) { return X.Name(); },
                                       [](T& X, const std::string& V) { X.SetName(V); })}});
  }
  {
    using T = TqdDXFTable;
    L.push_back({QD_CLASS(TqdDXFTable),
                 {Prop<T, std::string>(xaName, [](const T& X) { return X.Name(); })},
                 &IsTableItemChild});
  }
  // Sections are made by the drawing; tables, the block record view and layouts are not
  // made from text.
  L.push_back({QD_CLASS(TqdDXFSection), {}, &NoNewChild});
  L.push_back({QD_CLASS(TqdDXFSectionBlocks), {}, &IsBlockChild});
  L.push_back({QD_CLASS(TqdDXFSectionObjects), {}, &IsDictionaryChild});
  L.push_back({QD_CLASS(TqdDXFDictionary), {}, &IsObjectChild});
  L.push_back({QD_CLASS(TqdDXFBlockRecords), {}, &NoNewChild});
  {
    using T = TqdDXFBlock;
    L.push_back({QD_CLASS(TqdDXFBlock),
                 {Prop<T, std::string>(xaName, [](const T& X) { return X.Name(); }),
                  Prop<T, TFPoint>(xaBasePoint, [](const T& X) { return X.Offset(); },
                                   [](T& X, const TFPoint& V) { X.SetOffset(V); })},
                 &IsGraphicalChild});
  }
  L.push_back({QD_CLASS(TqdDXFBlockRecord), {}, nullptr, 0});
  L.push_back({QD_CLASS(TqdDXFLayout), {}, nullptr, 0});
  {
    using T = TqdDXFInsert;
    L.push_back({QD_CLASS(TqdDXFInsert),
                 {NameProp<T>(
                      xaBlockName, [](const T& X) { return ItemName(X.Block()); },
                      [](T& X, const std::string& N, TqdDXFConverter& C) {
                        TqdDXFBlock* B = C.BlockByName(N);
                        if (!B || B->Layout()) return false;  // a layout's block is not inserted
                        X.SetBlock(B);
                        return true;
                      }),
                  Prop<T, TFPoint>(xaScale, [](const T& X) { return X.Scale(); },
                                   [](T& X, const TFPoint& V) { X.SetScale(V); }),
                  Prop<T, double>(xaAngle, [](const T& X) { return X.Angle(); },
                                  [](T& X, double V) { X.SetAngle(V); })},
                 &IsAttribChild});
  }
  {
    using T = TqdCADMInsert;
    L.push_back({QD_CLASS(TqdCADMInsert),
                 {Prop<T, int>(xaColumnCount, [](const T& X) { return X.NumCols(); },
                               [](T& X, int V) { X.SetNumCols(V); }),
                  Prop<T, int>(xaRowCount, [](const T& X) { return X.NumRows(); }, [](T& X, int V) { X.SetNumRows(V); }),
                  Prop<T, double>(xaColSpacing, [](const T& X) { return X.ColSpacing(); },
                                  [](T& X, double V) { X.SetColSpacing(V); }),
                  Prop<T, double>(xaRowSpacing, [](const T& X) { return X.RowSpacing(); },
                                  [](T& X, double V) { X.SetRowSpacing(V); })}});
  }
  {
    using T = TqdDXFDimension;
    auto Pt = [](int Id, TFPoint T::*F) {
      return Prop<T, TFPoint>(Id, [F](const T& X) { return X.*F; }, [F](T& X, const TFPoint& V) {
        if (IsFiniteFPoint(V)) X.*F = V;
      });
    };
    auto StyleName = [](const TqdTableItem& I, const TqdDXFEntity* S) {
      if (S) return S->Name();
      return I.Link() ? I.Link()->Name() : std::string();
    };
    L.push_back({QD_CLASS(TqdDXFDimension),
                 {Prop<T, std::string>(
                      xaDimStyle,
                      [StyleName](const T& X) { return StyleName(const_cast<T&>(X).DimStyleItem(), X.Style()); },
                      [](T& X, const std::string& V) { SetDimStyleByText(X, X.DimStyleItem(), V); }),
                  Pt(xaDefPoint, &T::FDefPoint), Pt(xaLinDefPoint1, &T::FLinDefPoint1),
                  Pt(xaLinDefPoint2, &T::FLinDefPoint2), Pt(xaMiddlePoint, &T::FMiddlePoint),
                  Pt(xaArcDefPoint, &T::FArcDefPoint), Pt(xaRadDefPoint, &T::FRadDefPoint),
                  Prop<T, int>(xaArrowType, [](const T& X) { return X.ArrowType(); },
                               [](T& X, int V) {
                                 if (V >= -1 && V <= 20) X.SetArrowType(V);
                               }),
                  Prop<T, double>(xaArrowSize, [](const T& X) { return X.ArrowSize(); },
                                  [](T& X, double V) { X.SetArrowSize(V); })},
                 nullptr});
  }
  {
    using T = TqdDXFLeader;
    L.push_back({QD_CLASS(TqdDXFLeader),
                 {Prop<T, bool>(xaArrowhead, [](const T& X) { return X.FArrowhead; },
                                [](T& X, bool V) { X.FArrowhead = V; }),
                  Prop<T, std::string>(
                      xaDimStyle,
                      [](const T& X) {
                        if (const auto* S = X.DimStyle()) return S->Name();
                        auto& I = const_cast<T&>(X).DimStyleItem();
                        return I.Link() ? I.Link()->Name() : std::string();
                      },
                      [](T& X, const std::string& V) { SetDimStyleByText(X, X.DimStyleItem(), V); }),
                  Prop<T, int>(xaLeaderPathType, [](const T& X) { return X.IsSpline() ? 1 : 0; },
                               [](T& X, int V) { X.SetIsSpline(V == 1); }),
                  Prop<T, int>(xaArrowType, [](const T& X) { return X.ArrowType(); },
                               [](T& X, int V) {
                                 if (V >= -1 && V <= 20) X.SetArrowType(V);
                               }),
                  Prop<T, double>(xaArrowSize, [](const T& X) { return X.ArrowSize(); },
                                  [](T& X, double V) { X.SetArrowSize(V); })}});
  }
  {
    using T = TqdDXFTolerance;
    L.push_back({QD_CLASS(TqdDXFTolerance),
                 {Prop<T, double>(xaDimScaleOverall, [](const T& X) { return X.DimScaleOverall(); },
                                  [](T& X, double V) { X.SetDimScaleOverall(V); }),
                  Prop<T, double>(xaDimGap, [](const T& X) { return X.GAP(); },
                                  [](T& X, double V) { X.SetGAP(V); })}});
  }
  {
    using T = TqdDXFText;
    L.push_back({QD_CLASS(TqdDXFText),
                 {Prop<T, double>(xaHeight, [](const T& X) { return X.Height(); },
                                  [](T& X, double V) { X.SetHeight(V); }),
                  Prop<T, double>(xaRotation, [](const T& X) { return X.Rotation(); },
                                  [](T& X, double V) { X.SetRotation(V); }),
                  Prop<T, double>(xaWidthFactor, [](const T& X) { return X.Scale(); },
                                  [](T& X, double V) { X.SetScale(V); }),
                  Prop<T, double>(xaObliqueAngle, [](const T& X) { return X.ObliqueAngle(); },
                                  [](T& X, double V) { X.SetObliqueAngle(V); }),
                  Prop<T, std::string>(xaText, [](const T& X) { return X.Text(); },
                                       [](T& X, const std::string& V) { X.SetText(V); }),
                  NameProp<T>(
                      xaStyleName, [](const T& X) { return ItemName(X.Style()); },
                      [](T& X, const std::string& N, TqdDXFConverter& C) {
                        TqdDXFStyle* S = dynamic_cast<TqdDXFStyle*>(C.ItemByName(N, csStyles, false));
                        if (!S && IsValidTableName(N)) S = C.StyleByName(N);
                        if (!S) return false;
                        X.SetStyle(S);
                        return true;
                      })}});
  }
  {
    using T = TqdDXFMText;
    L.push_back({QD_CLASS(TqdDXFMText),
                 {Prop<T, double>(xaRectWidth, [](const T& X) { return X.RectWidth(); },
                                  [](T& X, double V) { X.SetRectWidth(V); }),
                  Prop<T, std::string>(xaTextValue, [](const T& X) { return X.Text(); },
                                       [](T& X, const std::string& V) { X.SetText(V); })}});
  }
  {
    using T = TqdDXFAttdef;
    L.push_back({QD_CLASS(TqdDXFAttdef),
                 {Prop<T, std::string>(xaTag, [](const T& X) { return X.Tag(); },
                                       [](T& X, const std::string& V) { X.SetTag(V); }),
                  Prop<T, std::string>(xaValue, [](const T& X) { return X.Value(); },
                                       [](T& X, const std::string& V) { X.SetValue(V); })}});
  }
  {
    using T = TqdDXFCustomColor;
    L.push_back({QD_CLASS(TqdDXFCustomColor),
                 {Prop<T, TqdColorCAD>(xaColor, [](const T& X) { return X.ColorCAD(); },
                                       [](T& X, const TqdColorCAD& V) { X.SetColorCAD(V); })}});
  }
  {
    using T = TqdDXFLayer;
    L.push_back({QD_CLASS(TqdDXFLayer),
                 {Prop<T, bool>(xaVisible, [](const T& X) { return X.Visible(); },
                                [](T& X, bool V) { X.SetVisible(V); }),
                  Prop<T, bool>(xaLocked, [](const T& X) { return X.Locked(); }, [](T& X, bool V) { X.SetLocked(V); }),
                  Prop<T, bool>(xaFrozen, [](const T& X) { return X.Frozen(); }, [](T& X, bool V) { X.SetFrozen(V); }),
                  Prop<T, bool>(xaFrozenByNewViewPort, [](const T& X) { return X.IsFrozenByNewViewPort(); },
                                [](T& X, bool V) { X.SetIsFrozenByNewViewPort(V); }),
                  Prop<T, bool>(xaXrefLink, [](const T& X) { return X.XrefLink(); }),
                  Prop<T, bool>(xaIsPlotting, [](const T& X) { return X.IsPlotting(); },
                                [](T& X, bool V) { X.SetIsPlotting(V); })}});
  }
  {
    using T = TqdDXFStyle;
    auto D = [](int Id, double T::*F) {
      return Prop<T, double>(Id, [F](const T& X) { return X.*F; }, [F](T& X, double V) { X.*F = V; });
    };
    auto S = [](int Id, std::string T::*F) {
      return Prop<T, std::string>(Id, [F](const T& X) { return X.*F; },
                                  [F](T& X, const std::string& V) { X.*F = V; });
    };
    auto I = [](int Id, int T::*F) {
      return Prop<T, int>(Id, [F](const T& X) { return X.*F; }, [F](T& X, int V) { X.*F = V; });
    };
    L.push_back({QD_CLASS(TqdDXFStyle),
                 {D(xaWidthFactor, &T::FWidthFactor), D(xaObliqueAngle, &T::FObliqueAngle),
                  I(xaTextGenFlags, &T::FTextGenFlags), D(xaLastHeightUsed, &T::FLastHeightUsed),
                  S(xaPrimaryFont, &T::FPrimaryFont), S(xaBigFont, &T::FBigFont), S(xaFontName, &T::FFontName),
                  D(xaFixedHeight, &T::FFixedHeight), I(xaFontStyle, &T::FFontStyle)}});
  }
  {
    using T = TqdDXFViewport;
    L.push_back(
        {QD_CLASS(TqdDXFViewport),
         {Prop<T, TFPoint>(xaPSpaceCenter, [](const T& X) { return X.PSpaceCenter(); },
                           [](T& X, const TFPoint& V) { X.SetPSpaceCenter(V); }),
          Prop<T, TFPoint>(xaMSpaceCenter, [](const T& X) { return X.MSpaceCenter(); },
                           [](T& X, const TFPoint& V) { X.SetMSpaceCenter(V); }),
          Prop<T, TFPoint>(xaViewDirection, [](const T& X) { return X.ViewDirection(); },
                           [](T& X, const TFPoint& V) { X.SetViewDirection(V); }),
          Prop<T, TFPoint>(xaViewTarget, [](const T& X) { return X.ViewTarget(); },
                           [](T& X, const TFPoint& V) { X.SetViewTarget(V); }),
          Prop<T, double>(xaPSpaceWidth, [](const T& X) { return X.PSpaceWidth(); },
                          [](T& X, double V) { X.SetPSpaceWidth(V); }),
          Prop<T, double>(xaPSpaceHeight, [](const T& X) { return X.PSpaceHeight(); },
                          [](T& X, double V) { X.SetPSpaceHeight(V); }),
          Prop<T, double>(xaFrontClipPlane, [](const T& X) { return X.FrontClipPlane(); },
                          [](T& X, double V) { X.SetFrontClipPlane(V); }),
          Prop<T, double>(xaBackClipPlane, [](const T& X) { return X.BackClipPlane(); },
                          [](T& X, double V) { X.SetBackClipPlane(V); }),
          Prop<T, double>(xaMSpaceHeight, [](const T& X) { return X.MSpaceHeight(); },
                          [](T& X, double V) { X.SetMSpaceHeight(V); }),
          Prop<T, double>(xaViewTwistAngle, [](const T& X) { return X.ViewTwistAngle(); },
                          [](T& X, double V) { X.SetViewTwistAngle(V); }),
          Prop<T, int>(xaStatusField, [](const T& X) { return X.StatusField(); },
                       [](T& X, int V) { X.SetStatusField(V); }),
          Prop<T, int>(xaThisID, [](const T& X) { return X.ThisID(); }, [](T& X, int V) { X.SetThisID(V); }),
          // Kept as a number: the viewport finds its boundary among its owner's children.
          Prop<T, THandle>(xaClippingBoundaryHandle, [](const T& X) { return THandle{X.ClippingBoundaryHandle()}; },
                           [](T& X, THandle V) { X.SetClippingBoundaryHandle(V.V); })}});
  }
  {
    using T = TqdDXFVport;
    auto P = [](int Id, TFPoint T::*F) {
      return Prop<T, TFPoint>(Id, [F](const T& X) { return X.*F; }, [F](T& X, const TFPoint& V) {
        if (IsFiniteFPoint(V)) X.*F = V;
      });
    };
    auto D = [](int Id, double T::*F) {
      return Prop<T, double>(Id, [F](const T& X) { return X.*F; }, [F](T& X, double V) { X.*F = V; });
    };
    L.push_back({QD_CLASS(TqdDXFVport),
                 {Prop<T, int>(xaCircleZoomPercent, [](const T& X) { return X.FCircleZoomPercent; },
                               [](T& X, int V) { X.FCircleZoomPercent = V; }),
                  P(xaUCSOrigin, &T::FUCSOrigin), P(xaUCSXDir, &T::FUCSXDir), P(xaUCSYDir, &T::FUCSYDir),
                  Prop<T, bool>(xaUCSVP, [](const T& X) { return X.FUCSVP; }, [](T& X, bool V) { X.FUCSVP = V; }),
                  D(xaViewAspectRatio, &T::FViewAspectRatio), P(xaViewCenterPoint, &T::FViewCenterPoint),
                  Prop<T, TFPoint>(xaViewDirection, [](const T& X) { return X.ViewDirection(); },
                                   [](T& X, const TFPoint& V) { X.SetViewDirection(V); }),
                  P(xaViewTarget, &T::FViewTarget), D(xaViewHeight, &T::FViewHeight),
                  D(xaViewTwistAngle, &T::FViewTwistAngle)}});
  }
  {
    using T = TqdDXFLayout;
    auto P = [](int Id, TFPoint T::*F) {
      return Prop<T, TFPoint>(Id, [F](const T& X) { return X.*F; }, [F](T& X, const TFPoint& V) {
        if (IsFiniteFPoint(V)) X.*F = V;
      });
    };
    L.push_back({QD_CLASS(TqdDXFLayout),
                 {Prop<T, std::string>(xaPaperSpaceBlock, [](const T& X) { return ItemName(X.PaperSpaceBlockField()); }),
                  P(xaUCSOrigin, &T::FUCSOrigin), P(xaUCSXDir, &T::FUCSXDir), P(xaUCSYDir, &T::FUCSYDir)},
                 nullptr, 0});
  }
  {
    using T = TqdDXFXref;
    L.push_back({QD_CLASS(TqdDXFXref), {Prop<T, std::string>(xaFileName, [](const T& X) { return X.Path(); })}});
  }
  {
    using T = TqdDXFImageDef;
    L.push_back({QD_CLASS(TqdDXFImageDef),
                 {Prop<T, std::string>(xaFileName, [](const T& X) { return X.FFileName; },
                                       [](T& X, const std::string& V) { X.FFileName = V; })}});
  }
  {
    using T = TqdCADWipeout;
    auto P = [](int Id, TFPoint T::*F) {
      return Prop<T, TFPoint>(Id, [F](const T& X) { return X.*F; }, [F](T& X, const TFPoint& V) {
        if (IsFiniteFPoint(V)) X.*F = V;
      });
    };
    L.push_back({QD_CLASS(TqdCADWipeout), {P(xaUVector, &T::FUVector), P(xaVVector, &T::FVVector), P(xaSize, &T::FSize)}});
  }
  {
    using T = TqdDXFImageEnt;
    L.push_back({QD_CLASS(TqdDXFImageEnt),
                 {NameProp<T>(
                     xaImageDef,
                     [](const T& X) {
                       TqdData D;
                       D.SetValueAsHandle(X.FImageDef ? X.FImageDef->Handle() : X.FImageDefHandle);
                       return D.GetValueAsText();
                     },
                     [](T& X, const std::string& Text, TqdDXFConverter& C) {
                       // The handle is looked up among the drawing's image definitions,
                       // never used as an address.
                       TqdData D;
                       D.SetValueAsStr(Text);
                       std::uint64_t H = 0;
                       if (!D.TryAsHandle(H)) return false;
                       TqdDXFEntity* Def = H && C.Main() ? C.Main()->FindEntByHandle(true, false, H) : nullptr;
                       X.FImageDefHandle = H;
                       X.FImageDef = dynamic_cast<TqdDXFImageDef*>(Def);
                       return true;
                     })}});
  }
  {
    using T = TqdCADMLine;
    L.push_back({QD_CLASS(TqdCADMLine),
                 {Prop<T, int>(xaJustify, [](const T& X) { return X.Justify(); },
                               [](T& X, int V) {
                                 if (V >= 0 && V <= 2) X.SetJustify(static_cast<std::uint8_t>(V));
                               })}});
  }
  {
    using T = TqdCADPolyPolygon;
    L.push_back({QD_CLASS(TqdCADPolyPolygon),
                 {Prop<T, std::string>(xaHatchName, [](const T& X) { return X.GetHatchName(); },
                                       [](T& X, const std::string& V) { X.SetHatchName(V); }),
                  Prop<T, bool>(xaSolidFill, [](const T& X) { return X.GetSolidFill(); },
                                [](T& X, bool V) { X.SetSolidFill(V); })}});
  }
  {
    using T = TqdCADCurvePolygon;
    L.push_back({QD_CLASS(TqdCADCurvePolygon),
                 {Prop<T, double>(xaElevation, [](const T& X) { return X.Elevation().Z; },
                                  [](T& X, double V) { X.SetElevation({0, 0, V}); }),
                  Prop<T, TFPoint>(xaExtrusion, [](const T& X) { return X.Extrusion(); },
                                   [](T& X, const TFPoint& V) { X.SetExtrusion(V); }),
                  Prop<T, TFPoint>(xaOffset, [](const T& X) { return TFPoint{X.GetOffset().X, X.GetOffset().Y, 0}; },
                                   [](T& X, const TFPoint& V) { X.SetOffset(V.Point2D()); })}});
  }
  {
    using T = TqdCADHatch;
    L.push_back({QD_CLASS(TqdCADHatch),
                 {Prop<T, double>(xaPatternAngle, [](const T& X) { return X.PatternAngle(); },
                                  [](T& X, double V) { X.SetPatternAngle(V); }),
                  Prop<T, double>(xaPatternScale, [](const T& X) { return X.PatternScale(); },
                                  [](T& X, double V) { X.SetPatternScale(V); })}});
  }
  {
    using T = TqdDXFDictionaryVar;
    L.push_back({QD_CLASS(TqdDXFDictionaryVar),
                 {Prop<T, std::string>(xaDictValue, [](const T& X) { return X.FValue; },
                                       [](T& X, const std::string& V) { X.FValue = V; })}});
  }
  {
    using T = TqdMLineEntry;
    L.push_back({QD_CLASS(TqdMLineEntry),
                 {Prop<T, TqdColorCAD>(xaColor, [](const T& X) { return X.ColorCAD(); },
                                       [](T& X, const TqdColorCAD& V) { X.SetColorCAD(V); }),
                  Prop<T, double>(xaOffset, [](const T& X) { return X.Offset(); },
                                  [](T& X, double V) { X.SetOffset(V); })}});
  }
  L.push_back({QD_CLASS(TqdMLineStyle), {}, &IsMLineEntryChild});
  return L;
}

#undef QD_CLASS

const std::vector<TqdClassDescription>& Descriptions() {
  static const std::vector<TqdClassDescription> D = MakeDescriptions();
  return D;
}

// ---------------------------------------------------------------- header variables

struct THeaderProp {
  int Id;
  std::function<void(const TqdHeadVarStruct&, TqdData&)> Read;
  std::function<bool(TqdHeadVarStruct&, const TqdData&)> Write;
};

template <class V> THeaderProp HProp(int Id, V TqdHeadVarStruct::*F) {
  return {Id, [F](const TqdHeadVarStruct& H, TqdData& D) { Put(D, H.*F); },
          [F](TqdHeadVarStruct& H, const TqdData& D) {
            V Value{};
            if (!Get(D, Value)) return false;
            H.*F = Value;
            return true;
          }};
}

const std::vector<THeaderProp>& HeaderProps() {
  using H = TqdHeadVarStruct;
  static const std::vector<THeaderProp> P = {
      {xaACADVer, [](const H& X, TqdData& D) { D.SetValueAsVersion({static_cast<int>(X.Version), 0}); }, nullptr},
      {xaCodePage, [](const H& X, TqdData& D) { D.SetValueAsInt(X.CodePage); }, nullptr},
      HProp(xaTextStyle, &H::TextStyle),
      HProp(xaCLayer, &H::CLayer),
      HProp(xaCELType, &H::CELType),
      HProp(xaCEColor, &H::CEColor),
      HProp(xaCELTScale, &H::CELTScale),
      HProp(xaCELWeight, &H::CELWeight),
      HProp(xaDimStyle, &H::DimStyle),
      HProp(xaDIMTXSTY, &H::DimTextStyle),
      HProp(xaEXTMIN, &H::ExtMim),
      HProp(xaExtMax, &H::ExtMax),
      HProp(xaFILLETRAD, &H::FilletRadius),
      HProp(xaInsUnits, &H::InsUnits),
      HProp(xaLTScale, &H::LTScale),
      HProp(xaMeasurement, &H::Measurement),
      HProp(xaPDMODE, &H::PointDisplayMode),
      HProp(xaPDSIZE, &H::PointDisplaySize),
      HProp(xaTextSize, &H::TextSize),
      HProp(xaTileMode, &H::TileMode),
      HProp(xaUCSORG, &H::UCSORG),
      HProp(xaUCSXDir, &H::UCSXDir),
      HProp(xaUCSYDir, &H::UCSYDir),
      HProp(xaInsBase, &H::InsBase),
      {xaAttmode, [](const H& X, TqdData& D) { D.SetValueAsInt(X.AttMode); },
       [](H& X, const TqdData& D) {
         int V = 0;
         if (!D.TryAsInt(V) || V < attOff || V > attAll) return false;
         X.AttMode = static_cast<TqdAttributeMode>(V);
         return true;
       }},
  };
  return P;
}

// ---------------------------------------------------------------- class table

std::unordered_map<std::string, TqdEntityClass>& XMLClassTable() {
  static std::unordered_map<std::string, TqdEntityClass> T;
  return T;
}


template <class... T> void RegisterAll() {
  (XMLClassTable().emplace(XMLLowerText(GetXMLName(T().ClassName())), ClassOf<T>()), ...);
}

}  // namespace

void TqdXMLResult::Report(const TqdNodeSample& ANode, const std::string& AMessage) {
  ++Skipped;
  if (Messages.size() >= cnstMaxMessages) return;
  std::string M;
  if (ANode.HasPosition())
    M = "line " + std::to_string(ANode.Position.Line) + ", column " + std::to_string(ANode.Position.Column) + ": ";
  Messages.push_back(M + AMessage);
}

std::string GetPropertyName(std::string_view N) {
  if (N.substr(0, 6) == "TqdDXF" || N.substr(0, 6) == "TqdCAD") return std::string(N.substr(6));
  if (N.substr(0, 5) == "Tqd2D") return "h" + std::string(N.substr(5));
  if (N.substr(0, 3) == "Tqd") return std::string(N.substr(3));
  return std::string(N);
}

std::string GetXMLName(std::string_view AClassName) { return "vnx" + GetPropertyName(AClassName); }

void RegisterXMLClasses() {
  static std::once_flag Once;
  std::call_once(Once, [] {
    RegisterAll<TqdDXFLine, TqdDXFPoint, TqdDXFSolid, TqdDXFTrace, TqdDXF3dFace, TqdDXFCircle, TqdDXFArc,
                TqdDXFEllipse, TqdDXFPolyline, TqdDXFVertex, TqdDXFLWPolyline, TqdDXFSpline, TqdCADHelix, TqdDXFRay,
                TqdDXFXline, TqdDXFLayer, TqdDXFLineType, TqdDXFStyle, TqdDXFAppID, TqdDXFDimensionStyle,
                TqdDXFVport, TqdDXFBlockRecord, TqdDXFBlock, TqdDXFTable, TqdDXFSection, TqdDXFSectionTables,
                TqdDXFSectionBlocks, TqdDXFSectionObjects, TqdDXFSectionHeader, TqdDXFSectionEntities,
                TqdDXFDictionary, TqdDXFGroup, TqdDXFGroupEntity, TqdDXFBlockRecords, TqdDXFLayout,
                TqdDXFPlotSettings, TqdDXFXRecord, TqdDXFImageDef, TqdMLineStyle, TqdMLineEntry,
                TqdDXFAcadTableStyle, TqdDXFSortEntsTable, TqdCADRasterVariables, TqdCADWipeoutVariables,
                TqdDXFInsert, TqdCADMInsert, TqdCADClipInsert, TqdDXFAttdef, TqdDXFAttrib, TqdCADMLine, TqdMVertex,
                TqdDXFViewport, TqdCADSpatialFilter, TqdDXFText, TqdDXFMText, TqdDXFShape, TqdDXFDimension,
                TqdDXFLeader, TqdDXFTolerance, TqdCADPolyPolygon, TqdCADCurvePolygon, TqdCADHatch, TqdCADMPolygon,
                TqdCADWipeout, TqdDXFImageEnt, TqdDXFOle2Frame, TqdDXFAcadTable, TqdDXFProxy, TqdDXFRegion,
                TqdDXF3dSolid, TqdDXFBody, TqdDXFDictionaryVar, TqdDXFXref, TqdCADGradientPolygon, TqdCADFill,
                TqdCADUnderlay, TqdCADUnderlayDefinition, TqdDXFMultiLeader, TqdDXFMLeaderStyle>();
  });
}

void RegisterXMLClass(TqdEntityClass AClass) {
  RegisterXMLClasses();
  if (AClass) XMLClassTable().emplace(XMLLowerText(GetXMLName(AClass()->ClassName())), AClass);
}

TqdEntityClass XMLClassByName(std::string_view AXMLName) {
  RegisterXMLClasses();
  auto It = XMLClassTable().find(XMLLowerText(AXMLName));
  return It == XMLClassTable().end() ? nullptr : It->second;
}

const TqdClassProperties& ClassProperties(const TqdDXFEntity& E) {
  // Keyed by views of the names the entries hold.
  static std::unordered_map<std::string_view, std::unique_ptr<TqdClassProperties>> Cache;
  // Walks meet runs of one class: the last answer is checked first.
  static const char* LastName = nullptr;
  static const TqdClassProperties* Last = nullptr;
  const char* Name = E.ClassName();
  if (Name == LastName) return *Last;
  auto It = Cache.find(std::string_view(Name));
  if (It != Cache.end()) {
    LastName = Name;
    Last = It->second.get();
    return *Last;
  }
  auto CP = std::make_unique<TqdClassProperties>();
  CP->ClassName = Name;
  CP->XMLName = GetXMLName(Name);
  for (const TqdClassDescription& D : Descriptions()) {
    if (!D.Applies(E)) continue;
    for (const TqdPropertyDesc& P : D.Properties) {
      short& Slot = CP->ById[static_cast<std::size_t>(P.Id)];
      if (Slot) {
        CP->Properties[static_cast<std::size_t>(Slot - 1)] = &P;  // redescribed in place
      } else {
        CP->Properties.push_back(&P);
        Slot = static_cast<short>(CP->Properties.size());
      }
    }
    if (D.Accepts) CP->Accepts = D.Accepts;
    if (D.WritesChildren >= 0) CP->WritesChildren = D.WritesChildren == 1;
  }
  CP->Prototype = E.NewInstance();
  const std::string_view Key = CP->ClassName;
  LastName = Name;
  Last = CP.get();
  return *Cache.emplace(Key, std::move(CP)).first->second;
}

bool XMLWritesChildren(const TqdDXFEntity& E) { return ClassProperties(E).WritesChildren && E.Count() > 0; }

// ---------------------------------------------------------------- ToXML

namespace {

bool IsDefaultValue(const TqdClassProperties& CP, const TqdPropertyDesc& P, const TqdDXFEntity& E,
                    const TqdData& Value) {
  if (P.Always) return false;
  if (P.IsDefault) return P.IsDefault(E);
  if (!CP.Prototype) return false;
  TqdData D;
  P.Read(*CP.Prototype, D);
  return D.GetValueAsText() == Value.GetValueAsText();
}

// The attributes E writes under Modes, in order: the one rule for nodes and streams.
template <class F> void ForEachWritten(const TqdClassProperties& CP, const TqdDXFEntity& E, TqdXMLMode Modes, F&& Fn) {
  if (Modes & xmOnlyChildNodes) return;
  const bool All = (Modes & (xmlGetDefaultValue | xmCallHelp)) != 0;
  TqdData D;
  for (const TqdPropertyDesc* P : CP.Properties) {
    P->Read(E, D);
    if (!All && IsDefaultValue(CP, *P, E, D)) continue;
    if ((Modes & xmCallHelp) && P->EmptyInHelp) D.SetValueAsStr("");
    Fn(P->Id, D);
  }
}

// The element of E with its attributes, without children.
TqdNode* AddOwnElement(const TqdDXFEntity& E, TqdNode& AParent, TqdXMLMode Modes) {
  const TqdClassProperties& CP = ClassProperties(E);
  auto N = std::make_unique<TqdNode>(CP.XMLName);
  N->Entity = const_cast<TqdDXFEntity*>(&E);
  ForEachWritten(CP, E, Modes, [&](int Id, const TqdData& D) { N->AddAttribId(Id, D); });
  if (!(Modes & xmCallHelp)) qdOwnElementsToXML(E, *N, Modes);
  return AParent.AddChild(std::move(N));
}

// The start tag AddOwnElement's node would write, straight into Out.
void AppendOwnStartTag(std::string& Out, const TqdDXFEntity& E, TqdXMLMode Modes, bool AClose) {
  const TqdClassProperties& CP = ClassProperties(E);
  Out += '<';
  Out += CP.XMLName;
  ForEachWritten(CP, E, Modes, [&](int Id, const TqdData& D) {
    Out += ' ';
    Out += XMLAttribName(Id);
    Out += "=\"";
    D.AppendValueAsText(Out, true);
    Out += '"';
  });
  Out += AClose ? "/>" : ">";
}

struct TWriteFrame {
  const TqdDXFEntity* E;
  TqdNode* List;  // where its children go
  int Next;
};

// Iterative: the stack holds the open containers; nesting is capped, and a container
// met twice on one walk (shared through a link) lists its children once, so that no
// sharing multiplies the output.
TqdNode* WriteTree(const TqdDXFEntity& ARoot, TqdNode& AParent, TqdXMLMode Modes) {
  TqdNode* Top = AddOwnElement(ARoot, AParent, Modes);
  if (!Top || !(Modes & xmAddSubEntities)) return Top;
  std::unordered_set<const TqdDXFEntity*> Seen;
  std::vector<TWriteFrame> Stack;
  auto Open = [&](const TqdDXFEntity& E, TqdNode* Node) {
    if (!XMLWritesChildren(E) || static_cast<int>(Stack.size()) >= cnstXMLMaxDepth) return;
    if (!Seen.insert(&E).second) return;
    TqdNode* List = (Modes & xmNoSubEntitiesNode) ? Node : Node->AddChildNV(XMLAttribName(xaSubEntities));
    Stack.push_back({&E, List, 0});
  };
  Open(ARoot, Top);
  while (!Stack.empty()) {
    TWriteFrame& F = Stack.back();
    if (F.Next >= F.E->Count()) {
      Stack.pop_back();
      continue;
    }
    const TqdDXFEntity* C = F.E->GetEntity(F.Next++);
    if (!C) continue;
    TqdNode* N = AddOwnElement(*C, *F.List, Modes);
    Open(*C, N);
  }
  return Top;
}

}  // namespace

TqdNode* TqdListObject::ToXML(TqdNode&, unsigned) const { return nullptr; }
int TqdListObject::FromXML(const TqdNode&, TqdXMLResult*) { return xsDone; }

TqdNode* TqdDXFEntity::ToXML(TqdNode& AParent, unsigned AModes) const { return WriteTree(*this, AParent, AModes); }

namespace {

TqdNode* AddHeaderElement(const TqdHeadVarStruct& H, TqdNode& AParent, TqdXMLMode Modes) {
  auto N = std::make_unique<TqdNode>(GetXMLName("TqdDXFSectionHeader"));
  if (!(Modes & xmOnlyChildNodes)) {
    TqdData D;
    D.SetValueAsStr("HEADER");
    N->AddAttribId(xaName, D);
    const bool All = (Modes & (xmlGetDefaultValue | xmCallHelp)) != 0;
    TqdData Def;
    for (const THeaderProp& P : HeaderProps()) {
      P.Read(H, D);
      if (!All) {
        P.Read(cnstDefaultHeadVarStruct, Def);
        if (Def.GetValueAsText() == D.GetValueAsText()) continue;
      }
      N->AddAttribId(P.Id, D);
    }
  }
  return AParent.AddChild(std::move(N));
}

}  // namespace

TqdNode* TqdDXFConverter::ToXML(TqdNode& AParent, unsigned AModes) const {
  TqdNode* N = AParent.AddChildNV(GetXMLName("TqdDXFConverter"));
  N->Entity = const_cast<TqdDXFConverter*>(this);
  AddHeaderElement(FHeadVarStruct, *N, AModes);
  if ((AModes & xmAddSectionEntities) && Main()) {
    const TqdDXFSection& M = *Main();
    for (int I = 0; I < M.Count(); ++I)
      if (const TqdDXFEntity* S = M.GetEntity(I)) S->ToXML(*N, AModes | xmAddSubEntities);
  }
  return N;
}

// ---------------------------------------------------------------- FromXML

namespace {

int ApplyNode(TqdDXFEntity& E, const TqdNode& Node, TqdXMLContext& Ctx);

// One attribute (or attribute-like child element) of E.
void ApplyValue(TqdDXFEntity& E, const TqdClassProperties& CP, const TqdNodeSample& N, int Id, const TqdData& V,
                TqdXMLContext& Ctx) {
  TqdXMLResult* R = Ctx.Result;
  const std::string Name(N.GetName());
  if (Id == 0) {
    if (R) R->Report(N, "unknown attribute \"" + Name + "\"");
    return;
  }
  if (Id == xaHandle) {
    // Handles key the converter's maps: a written handle could duplicate another.
    TqdData Cur;
    Cur.SetValueAsHandle(E.Handle());
    if (R && Cur.GetValueAsText() != V.GetValueAsText()) R->Report(N, "\"Handle\" is read-only");
    return;
  }
  const TqdPropertyDesc* P = CP.Find(Id);
  if (!P) {
    if (R) R->Report(N, "\"" + Name + "\" is not an attribute of " + CP.XMLName);
    return;
  }
  if (!P->Write) {
    // An unchanged read-only value is no fault (a node written by ToXML carries them).
    TqdData Cur;
    P->Read(E, Cur);
    if (Cur.GetValueAsText() != V.GetValueAsText() && R) R->Report(N, "\"" + Name + "\" is read-only");
    return;
  }
  // A value equal to the current one is left alone: derived attributes written next to
  // the ones they derive from do not move them by rounding.
  TqdData Cur;
  P->Read(E, Cur);
  if (Cur.GetValueAsText() == V.GetValueAsText()) return;
  bool Ok = false;
  try {
    Ok = P->Write(E, V, Ctx);
  } catch (const EqdError& X) {
    if (R) R->Report(N, "\"" + Name + "\": " + X.what());
    return;
  }
  if (!Ok) {
    if (R) R->Report(N, "\"" + Name + "\": value \"" + V.GetValueAsText() + "\" refused");
    return;
  }
  if (R) ++R->Applied;
}

// The "Name" an element carries (empty when none).
std::string NodeName(const TqdNode& N) {
  const TqdNodeAttrib* A = N.GetAttributeByName(XMLAttribName(xaName));
  return A ? A->FValue.GetValueAsText() : std::string();
}

// The sub-entities in List: child i updates E's child i when it has the same class (and,
// in a named container, the same name); else the child of that class and name, when
// there is one; otherwise a new item of the element's class is made, if E can own it.
void ApplySubEntities(TqdDXFEntity& E, const TqdClassProperties& CP, const TqdNode& List, bool AIncludeOthers,
                      TqdXMLContext& Ctx) {
  TqdXMLResult* R = Ctx.Result;
  TqdDXFConverter* Conv = Ctx.Converter ? Ctx.Converter : E.Converter();
  // Tables, sections and dictionaries find their children by name.
  const bool NamedKids = Is<TqdDXFTable>(E);
  int Index = 0;
  if (auto* PL = dynamic_cast<TqdDXFPolyline*>(&E)) {
    // Room for the elements actually present, never for a count the text claims.
    PL->ReserveVertices(std::min(List.GetChildNodesCount(), 1 << 20));
  }
  auto Apply = [&](TqdDXFEntity& X, const TqdNode& N) {
    ++Ctx.Depth;
    ApplyNode(X, N, Ctx);
    --Ctx.Depth;
  };
  for (const auto& CN : List.Childs()) {
    if (Ctx.Stopped) return;
    if (CN->Type != ntElement) continue;
    if (!AIncludeOthers && XMLAttribIdByName(CN->GetName()) != cnstXMLClassNameId) continue;
    const TqdEntityClass Class = XMLClassByName(CN->GetName());
    if (!Class) {
      if (R) R->Report(*CN, "unknown class \"" + std::string(CN->GetName()) + "\"");
      continue;
    }
    const std::string Name = NamedKids ? NodeName(*CN) : std::string();
    auto SameKind = [&](const TqdDXFEntity* X) {
      return X && CP.WritesChildren && XMLClassByName(ClassProperties(*X).XMLName) == Class &&
             (!NamedKids || Name.empty() || SameNameText(X->Name(), Name));
    };
    TqdDXFEntity* Existing = Index < E.Count() ? E.GetEntity(Index) : nullptr;
    if (SameKind(Existing)) {
      ++Index;
      Apply(*Existing, *CN);
      continue;
    }
    if (NamedKids && !Name.empty()) {
      const int I = E.IndexOfName(Name);
      if (TqdDXFEntity* Found = I >= 0 ? E.GetEntity(I) : nullptr; SameKind(Found)) {
        Apply(*Found, *CN);
        continue;
      }
    }
    std::unique_ptr<TqdDXFEntity> New = Class();
    if (!CP.Accepts || !CP.Accepts(E, *New)) {
      if (R) R->Report(*CN, CP.XMLName + " cannot own " + std::string(CN->GetName()));
      continue;
    }
    if (NamedKids) {
      // A named item is made by the drawing under a valid name, as a reader makes it.
      const bool Valid = Is<TqdDXFLayer>(*New) ? IsValidLayerName(Name) : IsValidTableName(Name);
      if (!Conv || !Valid) {
        if (R) R->Report(*CN, std::string(CN->GetName()) + " needs a valid \"Name\"");
        continue;
      }
      TqdDXFEntity* Made = Conv->NewNamedEntity(&E, Class, Name);
      if (!Made) {
        if (R) R->Report(*CN, CP.XMLName + " refused " + std::string(CN->GetName()));
        continue;
      }
      Apply(*Made, *CN);
      Conv->CheckEntityHandle(Made);
      if (Ctx.Created) Ctx.Created->push_back(Made);
      Index = E.Count();
      continue;
    }
    // Owned first, so that what the item keeps in the drawing (extended data) goes with
    // it should it be freed.
    TqdDXFEntity* Raw = New.get();
    if (E.AddEntity(std::move(New)) < 0) {
      if (R) R->Report(*CN, CP.XMLName + " refused " + std::string(CN->GetName()));
      continue;
    }
    Index = E.Count();
    Apply(*Raw, *CN);
    if (Conv) Conv->CheckEntityHandle(Raw);
    if (Ctx.Created) Ctx.Created->push_back(Raw);
  }
}

int ApplyNode(TqdDXFEntity& E, const TqdNode& Node, TqdXMLContext& Ctx) {
  TqdXMLResult* R = Ctx.Result;
  if (Ctx.Depth >= cnstXMLMaxDepth) {
    if (R) R->Report(Node, "elements nested too deep");
    return xsStopped;
  }
  const TqdClassProperties& CP = ClassProperties(E);
  const TqdEntityClass NodeClass = XMLClassByName(Node.GetName());
  if (NodeClass && XMLLowerText(Node.GetName()) != XMLLowerText(CP.XMLName)) {
    if (R) R->Report(Node, std::string(Node.GetName()) + " does not describe a " + CP.XMLName);
    return xsWrongClass;
  }
  for (const auto& A : Node.Attributes()) {
    if (Ctx.Stopped || (R && R->Stop && R->Stop(*A))) return Ctx.Stopped = true, xsStopped;
    ApplyValue(E, CP, *A, XMLAttribIdByName(A->GetName()), A->FValue, Ctx);
  }
  for (const auto& C : Node.Childs()) {
    if (Ctx.Stopped || (R && R->Stop && R->Stop(*C))) return Ctx.Stopped = true, xsStopped;
    if (C->Type != ntElement) continue;
    if (qdOwnElementsFromXML(E, *C, R)) continue;
    const int Id = XMLAttribIdByName(C->GetName());
    if (Id == xaSubEntities) {
      ApplySubEntities(E, CP, *C, true, Ctx);
    } else if (Id == cnstXMLClassNameId) {
      // Sub-entities written without their list element; gathered below in order.
    } else {
      ApplyValue(E, CP, *C, Id, C->Text, Ctx);
    }
  }
  bool Direct = false;
  for (const auto& C : Node.Childs())
    Direct = Direct || (C->Type == ntElement && XMLAttribIdByName(C->GetName()) == cnstXMLClassNameId);
  if (Direct && !Ctx.Stopped) ApplySubEntities(E, CP, Node, false, Ctx);
  return Ctx.Stopped ? xsStopped : xsDone;
}

}  // namespace

int TqdDXFEntity::FromXML(const TqdNode& ANode, TqdXMLResult* AResult) {
  TqdXMLContext Ctx;
  Ctx.Result = AResult;
  Ctx.Converter = Converter();
  return ApplyNode(*this, ANode, Ctx);
}

namespace {

void ApplyHeader(TqdHeadVarStruct& Head, const TqdNode& H, TqdXMLResult* AResult) {
  for (const auto& A : H.Attributes()) {
    const int Id = XMLAttribIdByName(A->GetName());
    if (Id == xaName) continue;
    const THeaderProp* P = nullptr;
    for (const THeaderProp& Q : HeaderProps())
      if (Q.Id == Id) P = &Q;
    if (!P) {
      if (AResult) AResult->Report(*A, "\"" + std::string(A->GetName()) + "\" is not a writable header variable");
      continue;
    }
    // An unchanged value is no change (a node written by ToXML carries the read-only ones).
    TqdData Cur;
    P->Read(Head, Cur);
    if (Cur.GetValueAsText() == A->FValue.GetValueAsText()) continue;
    if (!P->Write) {
      if (AResult) AResult->Report(*A, "\"" + std::string(A->GetName()) + "\" is not a writable header variable");
      continue;
    }
    TqdHeadVarStruct Copy = Head;
    if (!P->Write(Copy, A->FValue)) {
      if (AResult) AResult->Report(*A, "\"" + std::string(A->GetName()) + "\": value refused");
      continue;
    }
    Head = std::move(Copy);
    if (AResult) ++AResult->Applied;
  }
}

}  // namespace

int TqdDXFConverter::FromXML(const TqdNode& ANode, TqdXMLResult* AResult) {
  // The header variables, then each section element applied to the drawing's section of
  // that class and name: its tables, blocks and objects are updated by name, and new
  // items are made only where their container can own them.
  const std::string HeaderName = XMLLowerText(GetXMLName("TqdDXFSectionHeader"));
  TqdXMLContext Ctx;
  Ctx.Result = AResult;
  Ctx.Converter = this;
  std::vector<TqdDXFEntity*> Created;
  Ctx.Created = &Created;
  int Status = xsDone;
  for (const auto& C : ANode.Childs()) {
    if (C->Type != ntElement) continue;
    if (Ctx.Stopped || (AResult && AResult->Stop && AResult->Stop(*C))) {
      Status = xsStopped;
      break;
    }
    if (XMLLowerText(C->GetName()) == HeaderName) {
      ApplyHeader(FHeadVarStruct, *C, AResult);
      continue;
    }
    const TqdEntityClass Class = XMLClassByName(C->GetName());
    std::unique_ptr<TqdDXFEntity> Probe = Class ? Class() : nullptr;
    if (!Probe || !dynamic_cast<TqdDXFSection*>(Probe.get())) {
      if (AResult) AResult->Report(*C, "\"" + std::string(C->GetName()) + "\" is not a section");
      continue;
    }
    const std::string Name = NodeName(*C);
    TqdDXFEntity* Target = nullptr;
    for (int I = 0; Main() && I < Main()->Count() && !Target; ++I) {
      TqdDXFEntity* S = Main()->GetEntity(I);
      if (S && typeid(*S) == typeid(*Probe) && (Name.empty() || SameNameText(S->Name(), Name))) Target = S;
    }
    if (!Target) {
      if (AResult) AResult->Report(*C, "Error section!");
      Status = xsWrongClass;
      continue;
    }
    if (ApplyNode(*Target, *C, Ctx) == xsStopped) Status = xsStopped;
  }
  // Items made from the text get their derived data like items a reader makes.
  for (TqdDXFEntity* E : Created) Loads(E);
  return Status;
}

// ---------------------------------------------------------------- inspector and help

std::vector<TqdXMLPropertyInfo> XMLProperties(const TqdDXFEntity& E) {
  std::vector<TqdXMLPropertyInfo> R;
  const TqdClassProperties& CP = ClassProperties(E);
  TqdData D;
  for (const TqdPropertyDesc* P : CP.Properties) {
    P->Read(E, D);
    const TqdXMLAttribInfo& I = XMLAttribInfo(P->Id);
    R.push_back({P->Id, I.Name, D.GetValueAsText(), DataTypeName(I.Type), I.Description,
                 !P->Write || P->Id == xaHandle});
  }
  return R;
}

std::string XMLDescription(const TqdDXFEntity& E) {
  std::string S = ClassProperties(E).XMLName + "\n";
  for (const TqdXMLPropertyInfo& P : XMLProperties(E))
    S += "  " + P.Name + " (" + P.TypeName + (P.ReadOnly ? ", read-only" : "") + "): " + P.Description + "\n";
  return S;
}

// ---------------------------------------------------------------- streaming

namespace {

void Indent(std::string& Out, int Level) {
  Out += '\n';
  Out.append(static_cast<std::size_t>(Level) * 2, ' ');
}

}  // namespace

void StreamXML(std::string& Out, const TqdDXFEntity& ARoot, TqdXMLMode Modes, int ALevel) {
  // The same tree WriteTree builds, written as it is walked.
  struct TFrame {
    const TqdDXFEntity* E;
    int Next;
    bool ListNode;
  };
  std::unordered_set<const TqdDXFEntity*> Seen;
  std::vector<TFrame> Stack;
  auto Write = [&](const TqdDXFEntity& E, int Level) {
    Indent(Out, Level);
    const bool Children = (Modes & xmAddSubEntities) && XMLWritesChildren(E) &&
                          static_cast<int>(Stack.size()) < cnstXMLMaxDepth && Seen.insert(&E).second;
    // Loops, pattern lines, spline lists and extended data are elements of their own.
    TqdNode Extra;
    if (!(Modes & xmCallHelp)) qdOwnElementsToXML(E, Extra, Modes);
    AppendOwnStartTag(Out, E, Modes, !Children && !Extra.HasChildNodes());
    for (const auto& X : Extra.Childs()) {
      Indent(Out, Level + 1);
      WriteXMLNode(Out, *X, true, Level + 1);
    }
    if (!Children) {
      if (Extra.HasChildNodes()) {
        Indent(Out, Level);
        Out += "</" + ClassProperties(E).XMLName + ">";
      }
      return;
    }
    const bool List = !(Modes & xmNoSubEntitiesNode);
    if (List) {
      Indent(Out, Level + 1);
      Out += "<SubEntities>";
    }
    Stack.push_back({&E, 0, List});
  };
  Write(ARoot, ALevel);
  while (!Stack.empty()) {
    TFrame& F = Stack.back();
    const int Level = ALevel + static_cast<int>(Stack.size()) * 2 - 1;
    if (F.Next >= F.E->Count()) {
      const TFrame Done = F;
      Stack.pop_back();
      if (Done.ListNode) {
        Indent(Out, Level);
        Out += "</SubEntities>";
      }
      Indent(Out, Level - 1);
      Out += "</" + ClassProperties(*Done.E).XMLName + ">";
      continue;
    }
    const TqdDXFEntity* C = F.E->GetEntity(F.Next++);
    if (!C) continue;
    Write(*C, Level + 1);
  }
}

void StreamXML(std::string& Out, const TqdDXFConverter& C, TqdXMLMode Modes, int ALevel) {
  const std::string Name = GetXMLName("TqdDXFConverter");
  Indent(Out, ALevel);
  Out += "<" + Name + ">";
  TqdNode Scratch;
  const TqdNode* H = AddHeaderElement(C.HeadVarStruct(), Scratch, Modes);
  Indent(Out, ALevel + 1);
  WriteXMLStartTag(Out, *H, true);
  if ((Modes & xmAddSectionEntities) && C.Main()) {
    const TqdDXFSection& M = *C.Main();
    for (int I = 0; I < M.Count(); ++I)
      if (const TqdDXFEntity* S = M.GetEntity(I)) StreamXML(Out, *S, Modes | xmAddSubEntities, ALevel + 1);
  }
  Indent(Out, ALevel);
  Out += "</" + Name + ">";
}
