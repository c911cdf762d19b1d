#include "Schema.h"

#include <cmath>
#include <type_traits>
#include <typeinfo>

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
#include "Properties.h"
#include "SchemaValues.h"


namespace {

using namespace qdschema;


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
    TqdPropertyDesc H = Prop<E, THandle>(xaHandle, [](const E& X) { return THandle{X.Handle()}; }).Dxf(5, "");
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
                     }).Dxf(8, "AcDbEntity")}});
    // Table items and objects keep these rows without the entity's groups.
    L.back().DXFOverrides = {{xaLineType, {.Code = 6, .Subclass = "AcDbEntity"}},
                             {xaLineWeight, {.Code = 370, .Subclass = "AcDbEntity"}}};
  }
  {
    using T = TqdDXFObjectEntityColor;
    L.push_back({QD_CLASS(TqdDXFObjectEntityColor),
                 {Prop<T, TqdColorCAD>(xaColor, [](const T& X) { return X.ColorCAD(); },
                                       [](T& X, const TqdColorCAD& V) { X.SetColorCAD(V); }).Dxf(62, "AcDbEntity")}});
  }
  {
    using T = TqdDXFPenEntity;
    L.push_back({QD_CLASS(TqdDXFPenEntity),
                 {Prop<T, double>(xaLineTypeScale, [](const T& X) { return X.LineTypeScale(); },
                                  [](T& X, double V) { X.SetLineTypeScale(V); }).Dxf(48, "AcDbEntity")}});
  }
  {
    using T = TqdDXFCustomVertex;
    L.push_back({QD_CLASS(TqdDXFCustomVertex),
                 {Prop<T, TFPoint>(xaPoint, [](const T& X) { return X.Point(); },
                                   [](T& X, const TFPoint& V) { X.SetPoint(V); }).Dxf(10)}});
  }
  {
    using T = TqdDXFPenLine;
    L.push_back({QD_CLASS(TqdDXFPenLine),
                 {Prop<T, double>(xaThickness, [](const T& X) { return X.ZThick(); },
                                  [](T& X, double V) { X.SetZThick(V); }).Dxf(39),
                  Prop<T, TFPoint>(xaExtrusion, [](const T& X) { return X.Extrusion(); },
                                   [](T& X, const TFPoint& V) { X.SetExtrusion(V); }).Dxf(210)}});
  }
  {
    using T = TqdDXFLine;
    TqdPropertyDesc Len = Prop<T, double>(xaLength, [](const T& X) { return X.Length(); },
                                          [](T& X, double V) { X.SetLength(V); });
    Len.Always = true;
    L.push_back({QD_CLASS(TqdDXFLine),
                 {Prop<T, TFPoint>(xaPoint1, [](const T& X) { return X.Point1(); },
                                   [](T& X, const TFPoint& V) { X.SetPoint1(V); }).Dxf(11),
                  Len,
                  Prop<T, double>(xaAngle, [](const T& X) { return X.Angle(); },
                                  [](T& X, double V) { X.SetAngle(V); })}});
    L.back().Subclass = "AcDbLine";
    L.back().Properties.back().IsDefault = [](const E& X) { return static_cast<const T&>(X).Angle() == 0; };
  }
  {
    using T = TqdDXFSolid;
    L.push_back({QD_CLASS(TqdDXFSolid),
                 // Redescribed: a solid's own setter drops its cached matrix.
                 {Prop<T, TFPoint>(xaPoint1, [](const T& X) { return X.Point1(); },
                                   [](T& X, const TFPoint& V) { X.SetPoint1(V); }).Dxf(11),
                  Prop<T, TFPoint>(xaPoint2, [](const T& X) { return X.Point2(); },
                                   [](T& X, const TFPoint& V) { X.SetPoint2(V); }).Dxf(12),
                  Prop<T, TFPoint>(xaPoint3, [](const T& X) { return X.Point3(); },
                                   [](T& X, const TFPoint& V) { X.SetPoint3(V); }).Dxf(13)}});
    L.back().Subclass = "AcDbTrace";
  }
  {
    using T = TqdDXFRay;
    L.push_back({QD_CLASS(TqdDXFRay),
                 {Prop<T, TFPoint>(xaStartPoint, [](const T& X) { return X.StartPoint(); },
                                   [](T& X, const TFPoint& V) { X.SetStartPoint(V); }).Dxf(10),
                  Prop<T, TFPoint>(xaDirection, [](const T& X) { return X.Direction(); },
                                   [](T& X, const TFPoint& V) { X.SetDirection(V); }).Dxf(11)}});
    L.back().Subclass = "AcDbRay";
    L.back().DXFOverrides = {{xaPoint1, {}}, {xaPoint, {}}};
  }
  {
    using T = TqdDXFCircle;
    L.push_back({QD_CLASS(TqdDXFCircle),
                 {Prop<T, double>(xaRadius, [](const T& X) { return X.Radius(); },
                                  [](T& X, double V) { X.SetRadius(V); }).Dxf(40),
                  Prop<T, double>(xaLength, [](const T& X) { return X.GetLength(); }),
                  Prop<T, double>(xaArea, [](const T& X) { return X.GetArea(); })}});
    L.back().Subclass = "AcDbCircle";
    L.back().DXFOverrides = {{xaFlags, {70}}};
  }
  {
    using T = TqdDXFArc;
    L.push_back({QD_CLASS(TqdDXFArc),
                 {Prop<T, double>(xaEndAngle, [](const T& X) { return X.EndAngle(); },
                                  [](T& X, double V) { X.SetEndAngle(V); }).Dxf(51),
                  Prop<T, double>(xaStartAngle, [](const T& X) { return X.StartAngle(); },
                                  [](T& X, double V) { X.SetStartAngle(V); }).Dxf(50)}});
    L.back().Subclass = "AcDbArc";
  }
  {
    using T = TqdDXFEllipse;
    L.push_back({QD_CLASS(TqdDXFEllipse),
                 {Prop<T, TFPoint>(xaRadPt, [](const T& X) { return X.RadPt(); },
                                   [](T& X, const TFPoint& V) { X.SetRadPt(V); }).Dxf(11),
                  Prop<T, double>(xaRatio, [](const T& X) { return X.Ratio(); },
                                  [](T& X, double V) { X.SetRatio(V); }).Dxf(40)}});
    L.back().Subclass = "AcDbEllipse";
    // An ellipse's parameters in radians under its own codes; 40 is its ratio.
    L.back().DXFOverrides = {{xaRadius, {}},
                             {xaStartAngle, {.Code = 41, .Conv = dcRadians}},
                             {xaEndAngle, {.Code = 42, .Conv = dcRadians}}};
  }
  {
    using T = TqdDXFVertex;
    L.push_back({QD_CLASS(TqdDXFVertex),
                 {Prop<T, TFPoint>(xaPoint, [](const T& X) { return X.Point(); },
                                   [](T& X, const TFPoint& V) { X.SetPoint(V); }).Dxf(10),
                  Prop<T, double>(xaBulge, [](const T& X) { return X.Bulge(); },
                                  [](T& X, double V) { X.SetBulge(V); }).Dxf(42),
                  Prop<T, double>(xaStartWidth, [](const T& X) { return X.StartWidth(); },
                                  [](T& X, double V) { X.SetStartWidth(V); }).Dxf(40),
                  Prop<T, double>(xaEndWidth, [](const T& X) { return X.EndWidth(); },
                                  [](T& X, double V) { X.SetEndWidth(V); }).Dxf(41)}});
    L.back().Subclass = "AcDbVertex";
    L.back().DXFOverrides = {{xaFlags, {70}}};
  }
  {
    using T = TqdDXFPolyline;
    L.push_back({QD_CLASS(TqdDXFPolyline),
                 {Prop<T, double>(xaGlobalWidth, [](const T& X) { return X.GlobalWidth(); },
                                  [](T& X, double V) { X.SetGlobalWidth(V); }).Dxf(43),
                  Prop<T, bool>(xaClosed, [](const T& X) { return X.Closed(); },
                                [](T& X, bool V) { X.SetClosed(V); }).Dxf(70).Bit(1),
                  Prop<T, double>(xaElevation, [](const T& X) { return X.Elevation(); },
                                  [](T& X, double V) { X.SetElevation(V); }).Dxf(30)},
                 &IsVertexChild});
    L.back().Subclass = "AcDb2dPolyline";
    L.back().DXFOverrides = {{xaPoint, {}}, {xaFlags, {70}}};
  }
  {
    using T = TqdDXFSpline;
    L.push_back({QD_CLASS(TqdDXFSpline),
                 {Prop<T, int>(xaDegree, [](const T& X) { return X.Degree(); }, [](T& X, int V) { X.SetDegree(V); }).Dxf(71),
                  Prop<T, TFPoint>(xaStartTangentVector, [](const T& X) { return X.BeginningTangent(); },
                                   [](T& X, const TFPoint& V) { X.SetBeginningTangent(V); }).Dxf(12),
                  Prop<T, TFPoint>(xaEndTangentVector, [](const T& X) { return X.EndingTangent(); },
                                   [](T& X, const TFPoint& V) { X.SetEndingTangent(V); }).Dxf(13)}});
    L.back().Subclass = "AcDbSpline";
    L.back().DXFOverrides = {{xaFlags, {70}}};
  }
  {
    using T = TqdCADHelix;
    L.push_back({QD_CLASS(TqdCADHelix),
                 {Prop<T, TFPoint>(xaStart, [](const T& X) { return X.StartPoint(); },
                                   [](T& X, const TFPoint& V) { X.SetStartPoint(V); }).Dxf(11),
                  Prop<T, double>(xaRadius, [](const T& X) { return X.Radius(); },
                                  [](T& X, double V) { X.SetRadius(V); }).Dxf(40),
                  Prop<T, double>(xaTurns, [](const T& X) { return X.Turns(); }, [](T& X, double V) { X.SetTurns(V); }).Dxf(41),
                  Prop<T, double>(xaTurnHeight, [](const T& X) { return X.TurnHeight(); },
                                  [](T& X, double V) { X.SetTurnHeight(V); }).Dxf(42),
                  Prop<T, bool>(xaClockwise, [](const T& X) { return X.Clockwise(); },
                                [](T& X, bool V) { X.SetClockwise(V); }).Dxf(290).Conv(dcNot)}});
    L.back().Subclass = "AcDbHelix";
  }
  // ---- table items and containers
  {
    using T = TqdDXFOwneredItem;
    L.push_back({QD_CLASS(TqdDXFOwneredItem),
                 {Prop<T, std::string>(xaName, [](const T& X) { return X.Name(); },
                                       [](T& X, const std::string& V) { X.SetName(V); })}});
  }
  {
    // A symbol table's items: name and flags as groups (an object's name is the key of
    // its dictionary entry instead).
    TqdClassDescription D;
    D.ClassName = "TqdDXFPenTableItem";
    D.Applies = &Is<TqdDXFPenTableItem>;
    D.DXFOverrides = {{xaName, {2}}, {xaFlags, {70}}};
    L.push_back(std::move(D));
  }
  {
    using T = TqdDXFTable;
    L.push_back({QD_CLASS(TqdDXFTable),
                 {Prop<T, std::string>(xaName, [](const T& X) { return X.Name(); }).Dxf(2, "")},
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
                 {Prop<T, std::string>(xaName, [](const T& X) { return X.Name(); }).Dxf(2),
                  Prop<T, TFPoint>(xaBasePoint, [](const T& X) { return X.Offset(); },
                                   [](T& X, const TFPoint& V) { X.SetOffset(V); }).Dxf(10)},
                 &IsGraphicalChild});
    L.back().Subclass = "AcDbBlockBegin";
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
                      }).Dxf(2),
                  Prop<T, TFPoint>(xaScale, [](const T& X) { return X.Scale(); },
                                   [](T& X, const TFPoint& V) { X.SetScale(V); }).Dxf(41).Step(1),
                  Prop<T, double>(xaAngle, [](const T& X) { return X.Angle(); },
                                  [](T& X, double V) { X.SetAngle(V); }).Dxf(50)},
                 &IsAttribChild});
    L.back().Subclass = "AcDbBlockReference";
  }
  {
    using T = TqdCADMInsert;
    L.push_back({QD_CLASS(TqdCADMInsert),
                 {Prop<T, int>(xaColumnCount, [](const T& X) { return X.NumCols(); },
                               [](T& X, int V) { X.SetNumCols(V); }).Dxf(70),
                  Prop<T, int>(xaRowCount, [](const T& X) { return X.NumRows(); }, [](T& X, int V) { X.SetNumRows(V); }).Dxf(71),
                  Prop<T, double>(xaColSpacing, [](const T& X) { return X.ColSpacing(); },
                                  [](T& X, double V) { X.SetColSpacing(V); }).Dxf(44),
                  Prop<T, double>(xaRowSpacing, [](const T& X) { return X.RowSpacing(); },
                                  [](T& X, double V) { X.SetRowSpacing(V); }).Dxf(45)}});
    L.back().Subclass = "AcDbMInsertBlock";
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
                      [](T& X, const std::string& V) { SetDimStyleByText(X, X.DimStyleItem(), V); }).Dxf(3),
                  Pt(xaDefPoint, &T::FDefPoint).Dxf(10), Pt(xaLinDefPoint1, &T::FLinDefPoint1).Dxf(13, "AcDbAlignedDimension"),
                  Pt(xaLinDefPoint2, &T::FLinDefPoint2).Dxf(14, "AcDbAlignedDimension"), Pt(xaMiddlePoint, &T::FMiddlePoint).Dxf(11),
                  Pt(xaArcDefPoint, &T::FArcDefPoint).Dxf(16, "AcDb3PointAngularDimension"), Pt(xaRadDefPoint, &T::FRadDefPoint).Dxf(15, "AcDbRadialDimension"),
                  Prop<T, int>(xaArrowType, [](const T& X) { return X.ArrowType(); },
                               [](T& X, int V) {
                                 if (V >= -1 && V <= 20) X.SetArrowType(V);
                               }),
                  Prop<T, double>(xaArrowSize, [](const T& X) { return X.ArrowSize(); },
                                  [](T& X, double V) { X.SetArrowSize(V); })},
                 nullptr});
    L.back().Subclass = "AcDbDimension";
    L.back().DXFOverrides = {{xaPoint, {12}}, {xaScale, {}}, {xaAngle, {54}}};
  }
  {
    using T = TqdDXFLeader;
    L.push_back({QD_CLASS(TqdDXFLeader),
                 {Prop<T, bool>(xaArrowhead, [](const T& X) { return X.FArrowhead; },
                                [](T& X, bool V) { X.FArrowhead = V; }).Dxf(71),
                  Prop<T, std::string>(
                      xaDimStyle,
                      [](const T& X) {
                        if (const auto* S = X.DimStyle()) return S->Name();
                        auto& I = const_cast<T&>(X).DimStyleItem();
                        return I.Link() ? I.Link()->Name() : std::string();
                      },
                      [](T& X, const std::string& V) { SetDimStyleByText(X, X.DimStyleItem(), V); }).Dxf(3),
                  Prop<T, int>(xaLeaderPathType, [](const T& X) { return X.IsSpline() ? 1 : 0; },
                               [](T& X, int V) { X.SetIsSpline(V == 1); }).Dxf(72),
                  Prop<T, int>(xaArrowType, [](const T& X) { return X.ArrowType(); },
                               [](T& X, int V) {
                                 if (V >= -1 && V <= 20) X.SetArrowType(V);
                               }),
                  Prop<T, double>(xaArrowSize, [](const T& X) { return X.ArrowSize(); },
                                  [](T& X, double V) { X.SetArrowSize(V); })}});
    L.back().Subclass = "AcDbLeader";
    L.back().DXFOverrides = {{xaFlags, {}}, {xaThickness, {}}, {xaDegree, {}}, {xaStartTangentVector, {}}, {xaEndTangentVector, {}}};
  }
  {
    using T = TqdDXFTolerance;
    L.push_back({QD_CLASS(TqdDXFTolerance),
                 {Prop<T, double>(xaDimScaleOverall, [](const T& X) { return X.DimScaleOverall(); },
                                  [](T& X, double V) { X.SetDimScaleOverall(V); }),
                  Prop<T, double>(xaDimGap, [](const T& X) { return X.GAP(); },
                                  [](T& X, double V) { X.SetGAP(V); })}});
    L.back().Subclass = "AcDbFcf";
    L.back().DXFOverrides = {{xaHeight, {}}, {xaRotation, {}}, {xaStyleName, {}}, {xaRectWidth, {}},
                             {xaColumnType, {}}, {xaColumnCount, {}}, {xaColumnFlowReversed, {}},
                             {xaColumnAutoHeight, {}}, {xaColumnGutter, {}}, {xaDefinedHeight, {}}};
  }
  {
    using T = TqdDXFText;
    L.push_back({QD_CLASS(TqdDXFText),
                 {Prop<T, double>(xaHeight, [](const T& X) { return X.Height(); },
                                  [](T& X, double V) { X.SetHeight(V); }).Dxf(40),
                  Prop<T, double>(xaRotation, [](const T& X) { return X.Rotation(); },
                                  [](T& X, double V) { X.SetRotation(V); }).Dxf(50),
                  Prop<T, double>(xaWidthFactor, [](const T& X) { return X.Scale(); },
                                  [](T& X, double V) { X.SetScale(V); }).Dxf(41),
                  Prop<T, double>(xaObliqueAngle, [](const T& X) { return X.ObliqueAngle(); },
                                  [](T& X, double V) { X.SetObliqueAngle(V); }).Dxf(51),
                  Prop<T, std::string>(xaText, [](const T& X) { return X.Text(); },
                                       [](T& X, const std::string& V) { X.SetText(V); }).Dxf(1),
                  NameProp<T>(
                      xaStyleName, [](const T& X) { return ItemName(X.Style()); },
                      [](T& X, const std::string& N, TqdDXFConverter& C) {
                        TqdDXFStyle* S = dynamic_cast<TqdDXFStyle*>(C.ItemByName(N, csStyles, false));
                        if (!S && IsValidTableName(N)) S = C.StyleByName(N);
                        if (!S) return false;
                        X.SetStyle(S);
                        return true;
                      }).Dxf(7)}});
    L.back().Subclass = "AcDbText";
  }
  {
    using T = TqdDXFMText;
    L.push_back({QD_CLASS(TqdDXFMText),
                 {Prop<T, double>(xaRectWidth, [](const T& X) { return X.RectWidth(); },
                                  [](T& X, double V) { X.SetRectWidth(V); }).Dxf(41),
                  Prop<T, std::string>(xaTextValue, [](const T& X) { return X.Text(); },
                                       [](T& X, const std::string& V) { X.SetText(V); }).Dxf(1),
                  // Columns (files before R2018 keep them in extended data, R2018 in the
                  // embedded object; the codes are the ones both use).
                  Prop<T, int>(xaColumnType, [](const T& X) { return X.Columns().Type; },
                               [](T& X, int V) { auto C = X.Columns(); C.Type = V; X.SetColumns(C); }).Dxf(75, nullptr, acR2018),
                  Prop<T, int>(xaColumnCount, [](const T& X) { return X.Columns().Count; },
                               [](T& X, int V) { auto C = X.Columns(); C.Count = V; X.SetColumns(C); }).Dxf(76, nullptr, acR2018),
                  Prop<T, bool>(xaColumnFlowReversed, [](const T& X) { return X.Columns().FlowReversed; },
                                [](T& X, bool V) { auto C = X.Columns(); C.FlowReversed = V; X.SetColumns(C); }).Dxf(78, nullptr, acR2018),
                  Prop<T, bool>(xaColumnAutoHeight, [](const T& X) { return X.Columns().AutoHeight; },
                                [](T& X, bool V) { auto C = X.Columns(); C.AutoHeight = V; X.SetColumns(C); }).Dxf(79, nullptr, acR2018),
                  // 48 is every entity's linetype scale: no group of its own here.
                  Prop<T, double>(xaColumnWidth, [](const T& X) { return X.Columns().Width; },
                                  [](T& X, double V) { auto C = X.Columns(); C.Width = V; X.SetColumns(C); }),
                  Prop<T, double>(xaColumnGutter, [](const T& X) { return X.Columns().Gutter; },
                                  [](T& X, double V) { auto C = X.Columns(); C.Gutter = V; X.SetColumns(C); }).Dxf(49, nullptr, acR2018),
                  Prop<T, double>(xaDefinedHeight, [](const T& X) { return X.Columns().DefinedHeight; },
                                  [](T& X, double V) { auto C = X.Columns(); C.DefinedHeight = V; X.SetColumns(C); }).Dxf(46, nullptr, acR2007),
                  // The heights follow their count as repeated 50 groups, which MTEXT also
                  // uses for its rotation: no group of their own here.
                  Prop<T, std::string>(xaColumnHeights, [](const T& X) { return X.ColumnHeightsText(); },
                                       [](T& X, const std::string& V) { X.SetColumnHeightsText(V); })}});
    L.back().Subclass = "AcDbMText";
    L.back().DXFOverrides = {{xaWidthFactor, {}}, {xaText, {}}, {xaObliqueAngle, {}}};
  }
  {
    using T = TqdDXFAttdef;
    L.push_back({QD_CLASS(TqdDXFAttdef),
                 {Prop<T, std::string>(xaTag, [](const T& X) { return X.Tag(); },
                                       [](T& X, const std::string& V) { X.SetTag(V); }).Dxf(2),
                  Prop<T, std::string>(xaValue, [](const T& X) { return X.Value(); },
                                       [](T& X, const std::string& V) { X.SetValue(V); }).Dxf(1)}});
    L.back().Subclass = "AcDbAttributeDefinition";
    L.back().DXFOverrides = {{xaText, {}}};
  }
  {
    using T = TqdDXFCustomColor;
    L.push_back({QD_CLASS(TqdDXFCustomColor),
                 {Prop<T, TqdColorCAD>(xaColor, [](const T& X) { return X.ColorCAD(); },
                                       [](T& X, const TqdColorCAD& V) { X.SetColorCAD(V); }).Dxf(62)}});
  }
  {
    using T = TqdDXFLayer;
    L.push_back({QD_CLASS(TqdDXFLayer),
                 {Prop<T, bool>(xaVisible, [](const T& X) { return X.Visible(); },
                                [](T& X, bool V) { X.SetVisible(V); }).Dxf(62).Conv(dcSign),
                  Prop<T, bool>(xaLocked, [](const T& X) { return X.Locked(); }, [](T& X, bool V) { X.SetLocked(V); }).Dxf(70).Bit(4),
                  Prop<T, bool>(xaFrozen, [](const T& X) { return X.Frozen(); }, [](T& X, bool V) { X.SetFrozen(V); }).Dxf(70).Bit(1),
                  Prop<T, bool>(xaFrozenByNewViewPort, [](const T& X) { return X.IsFrozenByNewViewPort(); },
                                [](T& X, bool V) { X.SetIsFrozenByNewViewPort(V); }).Dxf(70).Bit(2),
                  Prop<T, bool>(xaXrefLink, [](const T& X) { return X.XrefLink(); }).Dxf(70).Bit(16),
                  Prop<T, bool>(xaIsPlotting, [](const T& X) { return X.IsPlotting(); },
                                [](T& X, bool V) { X.SetIsPlotting(V); }).Dxf(290, nullptr, acR2000)}});
    L.back().Subclass = "AcDbLayerTableRecord";
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
                 {D(xaWidthFactor, &T::FWidthFactor).Dxf(41), D(xaObliqueAngle, &T::FObliqueAngle).Dxf(50),
                  I(xaTextGenFlags, &T::FTextGenFlags).Dxf(71), D(xaLastHeightUsed, &T::FLastHeightUsed).Dxf(42),
                  S(xaPrimaryFont, &T::FPrimaryFont).Dxf(3), S(xaBigFont, &T::FBigFont).Dxf(4), S(xaFontName, &T::FFontName),
                  D(xaFixedHeight, &T::FFixedHeight).Dxf(40), I(xaFontStyle, &T::FFontStyle)}});
    L.back().Subclass = "AcDbTextStyleTableRecord";
  }
  {
    using T = TqdDXFViewport;
    L.push_back(
        {QD_CLASS(TqdDXFViewport),
         {Prop<T, TFPoint>(xaPSpaceCenter, [](const T& X) { return X.PSpaceCenter(); },
                           [](T& X, const TFPoint& V) { X.SetPSpaceCenter(V); }).Dxf(10),
          Prop<T, TFPoint>(xaMSpaceCenter, [](const T& X) { return X.MSpaceCenter(); },
                           [](T& X, const TFPoint& V) { X.SetMSpaceCenter(V); }).Dxf(12),
          Prop<T, TFPoint>(xaViewDirection, [](const T& X) { return X.ViewDirection(); },
                           [](T& X, const TFPoint& V) { X.SetViewDirection(V); }).Dxf(16),
          Prop<T, TFPoint>(xaViewTarget, [](const T& X) { return X.ViewTarget(); },
                           [](T& X, const TFPoint& V) { X.SetViewTarget(V); }).Dxf(17),
          Prop<T, double>(xaPSpaceWidth, [](const T& X) { return X.PSpaceWidth(); },
                          [](T& X, double V) { X.SetPSpaceWidth(V); }).Dxf(40),
          Prop<T, double>(xaPSpaceHeight, [](const T& X) { return X.PSpaceHeight(); },
                          [](T& X, double V) { X.SetPSpaceHeight(V); }).Dxf(41),
          Prop<T, double>(xaFrontClipPlane, [](const T& X) { return X.FrontClipPlane(); },
                          [](T& X, double V) { X.SetFrontClipPlane(V); }).Dxf(43),
          Prop<T, double>(xaBackClipPlane, [](const T& X) { return X.BackClipPlane(); },
                          [](T& X, double V) { X.SetBackClipPlane(V); }).Dxf(44),
          Prop<T, double>(xaMSpaceHeight, [](const T& X) { return X.MSpaceHeight(); },
                          [](T& X, double V) { X.SetMSpaceHeight(V); }).Dxf(45),
          Prop<T, double>(xaViewTwistAngle, [](const T& X) { return X.ViewTwistAngle(); },
                          [](T& X, double V) { X.SetViewTwistAngle(V); }).Dxf(51),
          Prop<T, int>(xaStatusField, [](const T& X) { return X.StatusField(); },
                       [](T& X, int V) { X.SetStatusField(V); }).Dxf(68),
          Prop<T, int>(xaThisID, [](const T& X) { return X.ThisID(); }, [](T& X, int V) { X.SetThisID(V); }).Dxf(69),
          // Kept as a number: the viewport finds its boundary among its owner's children.
          Prop<T, THandle>(xaClippingBoundaryHandle, [](const T& X) { return THandle{X.ClippingBoundaryHandle()}; },
                           [](T& X, THandle V) { X.SetClippingBoundaryHandle(V.V); }).Dxf(340, nullptr, acR2000)}});
    L.back().Subclass = "AcDbViewport";
    L.back().DXFOverrides = {{xaLineType, {}}, {xaLineWeight, {}}, {xaFlags, {90}}};
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
                               [](T& X, int V) { X.FCircleZoomPercent = V; }).Dxf(72),
                  P(xaUCSOrigin, &T::FUCSOrigin).Dxf(110, nullptr, acR2000), P(xaUCSXDir, &T::FUCSXDir).Dxf(111, nullptr, acR2000), P(xaUCSYDir, &T::FUCSYDir).Dxf(112, nullptr, acR2000),
                  Prop<T, bool>(xaUCSVP, [](const T& X) { return X.FUCSVP; }, [](T& X, bool V) { X.FUCSVP = V; }).Dxf(65),
                  D(xaViewAspectRatio, &T::FViewAspectRatio).Dxf(41), P(xaViewCenterPoint, &T::FViewCenterPoint).Dxf(12),
                  Prop<T, TFPoint>(xaViewDirection, [](const T& X) { return X.ViewDirection(); },
                                   [](T& X, const TFPoint& V) { X.SetViewDirection(V); }).Dxf(16),
                  P(xaViewTarget, &T::FViewTarget).Dxf(17), D(xaViewHeight, &T::FViewHeight).Dxf(40),
                  D(xaViewTwistAngle, &T::FViewTwistAngle).Dxf(51)}});
    L.back().Subclass = "AcDbViewportTableRecord";
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
                  P(xaUCSOrigin, &T::FUCSOrigin).Dxf(13), P(xaUCSXDir, &T::FUCSXDir).Dxf(16), P(xaUCSYDir, &T::FUCSYDir).Dxf(17)},
                 nullptr, 0});
    L.back().Subclass = "AcDbLayout";
  }
  {
    using T = TqdDXFXref;
    L.push_back({QD_CLASS(TqdDXFXref), {Prop<T, std::string>(xaFileName, [](const T& X) { return X.Path(); })}});
  }
  {
    using T = TqdDXFImageDef;
    L.push_back({QD_CLASS(TqdDXFImageDef),
                 {Prop<T, std::string>(xaFileName, [](const T& X) { return X.FFileName; },
                                       [](T& X, const std::string& V) { X.FFileName = V; }).Dxf(1)}});
    L.back().Subclass = "AcDbRasterImageDef";
  }
  {
    using T = TqdCADWipeout;
    auto P = [](int Id, TFPoint T::*F) {
      return Prop<T, TFPoint>(Id, [F](const T& X) { return X.*F; }, [F](T& X, const TFPoint& V) {
        if (IsFiniteFPoint(V)) X.*F = V;
      });
    };
    L.push_back({QD_CLASS(TqdCADWipeout), {P(xaUVector, &T::FUVector).Dxf(11), P(xaVVector, &T::FVVector).Dxf(12), P(xaSize, &T::FSize).Dxf(13).Step(10)}});
    L.back().Subclass = "AcDbRasterImage";
    L.back().DXFOverrides = {{xaThickness, {}}};
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
                     }).Dxf(340)}});
  }
  {
    using T = TqdCADMLine;
    L.push_back({QD_CLASS(TqdCADMLine),
                 {Prop<T, int>(xaJustify, [](const T& X) { return X.Justify(); },
                               [](T& X, int V) {
                                 if (V >= 0 && V <= 2) X.SetJustify(static_cast<std::uint8_t>(V));
                               }).Dxf(70)}});
    L.back().Subclass = "AcDbMline";
    L.back().DXFOverrides = {{xaFlags, {71}}, {xaPoint, {}}, {xaBlockName, {}}, {xaScale, {}}, {xaAngle, {}}};
  }
  {
    using T = TqdCADPolyPolygon;
    L.push_back({QD_CLASS(TqdCADPolyPolygon),
                 {Prop<T, std::string>(xaHatchName, [](const T& X) { return X.GetHatchName(); },
                                       [](T& X, const std::string& V) { X.SetHatchName(V); }).Dxf(2),
                  Prop<T, bool>(xaSolidFill, [](const T& X) { return X.GetSolidFill(); },
                                [](T& X, bool V) { X.SetSolidFill(V); }).Dxf(70).Bit(1)}});
    L.back().Subclass = "AcDbHatch";
    L.back().DXFOverrides = {{xaThickness, {}}, {xaPoint, {}}};
  }
  {
    using T = TqdCADCurvePolygon;
    L.push_back({QD_CLASS(TqdCADCurvePolygon),
                 {Prop<T, double>(xaElevation, [](const T& X) { return X.Elevation().Z; },
                                  [](T& X, double V) { X.SetElevation({0, 0, V}); }).Dxf(30),
                  Prop<T, TFPoint>(xaExtrusion, [](const T& X) { return X.Extrusion(); },
                                   [](T& X, const TFPoint& V) { X.SetExtrusion(V); }).Dxf(210),
                  Prop<T, TFPoint>(xaOffset, [](const T& X) { return TFPoint{X.GetOffset().X, X.GetOffset().Y, 0}; },
                                   [](T& X, const TFPoint& V) { X.SetOffset(V.Point2D()); })}});
  }
  {
    using T = TqdCADHatch;
    L.push_back({QD_CLASS(TqdCADHatch),
                 {Prop<T, double>(xaPatternAngle, [](const T& X) { return X.PatternAngle(); },
                                  [](T& X, double V) { X.SetPatternAngle(V); }).Dxf(52),
                  Prop<T, double>(xaPatternScale, [](const T& X) { return X.PatternScale(); },
                                  [](T& X, double V) { X.SetPatternScale(V); }).Dxf(41)}});
  }
  {
    using T = TqdDXFDictionaryVar;
    L.push_back({QD_CLASS(TqdDXFDictionaryVar),
                 {Prop<T, std::string>(xaDictValue, [](const T& X) { return X.FValue; },
                                       [](T& X, const std::string& V) { X.FValue = V; }).Dxf(1)}});
    L.back().Subclass = "DictionaryVariables";
  }
  {
    using T = TqdMLineEntry;
    L.push_back({QD_CLASS(TqdMLineEntry),
                 {Prop<T, TqdColorCAD>(xaColor, [](const T& X) { return X.ColorCAD(); },
                                       [](T& X, const TqdColorCAD& V) { X.SetColorCAD(V); }).Dxf(62),
                  Prop<T, double>(xaOffset, [](const T& X) { return X.Offset(); },
                                  [](T& X, double V) { X.SetOffset(V); }).Dxf(49)}});
    L.back().Subclass = "AcDbMlineStyle";
  }
  L.push_back({QD_CLASS(TqdMLineStyle), {}, &IsMLineEntryChild});
  L.back().Subclass = "AcDbMlineStyle";
  L.back().DXFOverrides = {{xaName, {}}};  // the key of its dictionary entry
  // Classes without rows of their own: their marker, and the groups of inherited
  // rows that differ in them.
  auto Mark = [&L](const char* Name, bool (*Applies)(const TqdDXFEntity&), const char* Subclass,
                   std::vector<TqdDXFOverride> Overrides = {}) {
    TqdClassDescription D;
    D.ClassName = Name;
    D.Applies = Applies;
    D.Subclass = Subclass;
    D.DXFOverrides = std::move(Overrides);
    L.push_back(std::move(D));
  };
  Mark("TqdDXFPoint", &Is<TqdDXFPoint>, "AcDbPoint");
  Mark("TqdDXF3dFace", &Is<TqdDXF3dFace>, "AcDbFace",
       {{xaPoint, {10, 10, 0, dcPlain, "AcDbFace"}}, {xaPoint1, {11, 10, 0, dcPlain, "AcDbFace"}},
        {xaPoint2, {12, 10, 0, dcPlain, "AcDbFace"}}, {xaPoint3, {13, 10, 0, dcPlain, "AcDbFace"}},
        {xaFlags, {70, 10, 0, dcPlain, "AcDbFace"}}});
  Mark("TqdDXFXline", &Is<TqdDXFXline>, "AcDbXline", {{xaStartPoint, {10, 10, 0, dcPlain, "AcDbXline"}}});
  Mark("TqdDXFAttrib", &Is<TqdDXFAttrib>, "AcDbAttribute",
       {{xaTag, {2, 10, 0, dcPlain, "AcDbAttribute"}}, {xaValue, {1, 10, 0, dcPlain, "AcDbAttribute"}}});
  Mark("TqdDXFShape", &Is<TqdDXFShape>, "AcDbShape", {{xaText, {}}, {xaStyleName, {}}});
  Mark("TqdDXFLineType", &Is<TqdDXFLineType>, "AcDbLinetypeTableRecord");
  Mark("TqdDXFAppID", &Is<TqdDXFAppID>, "AcDbRegAppTableRecord");
  Mark("TqdDXFDimensionStyle", &Is<TqdDXFDimensionStyle>, "AcDbDimStyleTableRecord");
  Mark("TqdDXFBlockRecord", &Is<TqdDXFBlockRecord>, "AcDbBlockTableRecord");
  // Entities read from their kept data: no point or thickness group of their own.
  Mark("TqdDXFRegion", &Is<TqdDXFRegion>, nullptr, {{xaPoint, {}}, {xaThickness, {}}});
  Mark("TqdCADGeneratedEntity", &Is<TqdCADGeneratedEntity>, nullptr, {{xaPoint, {}}, {xaThickness, {}}});
  Mark("TqdDXFMultiLeader", &Is<TqdDXFMultiLeader>, "AcDbMLeader", {{xaExtrusion, {}}});
  Mark("TqdDXFAcadTable", &Is<TqdDXFAcadTable>, "AcDbBlockReference", {{xaScale, {}}, {xaAngle, {}}});
  Mark("TqdCADUnderlay", &Is<TqdCADUnderlay>, "AcDbUnderlayReference", {{xaPoint, {10}}});
  Mark("TqdDXFOle2Frame", &Is<TqdDXFOle2Frame>, "AcDbOle2Frame", {{xaThickness, {}}});
  Mark("TqdDXFLWPolyline", &Is<TqdDXFLWPolyline>, "AcDbPolyline",
       {{xaPoint, {}}, {xaElevation, {38}}, {xaGlobalWidth, {.Code = 43, .Subclass = "AcDbPolyline"}}});
  // An MPOLYGON fills by its own flag and keeps an offset vector.
  Mark("TqdCADMPolygon", &Is<TqdCADMPolygon>, "AcDbMPolygon", {{xaSolidFill, {71}}, {xaOffset, {11}}});

  return L;
}

#undef QD_CLASS

}  // namespace

const std::vector<TqdClassDescription>& SchemaDescriptions() {
  static const std::vector<TqdClassDescription> D = MakeDescriptions();
  return D;
}


std::vector<TqdSchemaGroup> SchemaDXFGroups(const TqdDXFEntity& E) {
  std::vector<const TqdClassDescription*> Chain;
  for (const TqdClassDescription& D : SchemaDescriptions())
    if (D.Applies(E)) Chain.push_back(&D);
  // A null marker is the first one met from the class that sets the group onwards.
  auto Mark = [&Chain](TqdSchemaGroup& X, std::size_t AFrom) {
    for (std::size_t J = AFrom; !X.DXF.Subclass && J < Chain.size(); ++J) X.DXF.Subclass = Chain[J]->Subclass;
  };
  std::vector<TqdSchemaGroup> G;
  for (std::size_t I = 0; I < Chain.size(); ++I)
    for (const TqdPropertyDesc& P : Chain[I]->Properties) {
      // A class that redescribes a row replaces the ancestor's.
      std::erase_if(G, [&](const TqdSchemaGroup& X) { return X.Row->Id == P.Id; });
      G.push_back({&P, P.DXF});
      Mark(G.back(), I);
    }
  // Overrides once every row is in place: a class may be described before the
  // ancestor that adds the row it overrides (a tolerance before texts).
  for (std::size_t I = 0; I < Chain.size(); ++I)
    for (const TqdDXFOverride& O : Chain[I]->DXFOverrides)
      for (TqdSchemaGroup& X : G)
        if (X.Row->Id == O.Id) {
          X.DXF = O.DXF;
          Mark(X, I);
        }
  std::erase_if(G, [](const TqdSchemaGroup& X) { return X.DXF.Code == 0; });
  return G;
}

std::vector<int> SchemaGroupCodes(const TqdSchemaGroup& G) {
  const int C = G.DXF.Code;
  switch (XMLAttribInfo(G.Row->Id).Type) {
    case dtTFPoint: return {C, C + G.DXF.Step, C + 2 * G.DXF.Step};
    case dtColorCAD: return {C, 420};  // the index, then the true colour (R2004+)
    default: return {C};
  }
}
