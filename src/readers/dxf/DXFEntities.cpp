// Group codes -> attributes for every entity, table item and object type the reader
// creates. The generic reader (DXF.cpp) has already given the item its handle, layer,
// linetype, colour and lineweight; what follows is each type's own data.
#include "DXFMapping.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string>
#include <unordered_map>
#include <vector>

#include "DXF.h"
#include "DXFMapperBase.h"
#include "Dimensions.h"
#include "Faces.h"
#include "Hatches.h"
#include "Inserts.h"
#include "Objects.h"
#include "Others.h"
#include "Polylines.h"
#include "Properties.h"
#include "Schema.h"
#include "TableItems.h"
#include "Texts.h"

namespace {

using namespace dxfmap;

// ---------------------------------------------------------------- simple geometry

// The groups of a class that are a plain field list, applied through its rows
// (database/Schema.cpp): each group read is converted as its row says and written
// with the row's own setter, ancestors' rows first. Groups not read leave the fresh
// instance's value.
class TRowMapper : public TBaseMapper {
public:
  void Commit(TdxfReader&, TqdDXFEntity& E) override {
    TqdXMLContext Ctx;
    TqdData D;
    for (const TqdSchemaGroup& G : Groups(E))
      if (G.Row->Write && Value(G, D)) G.Row->Write(E, D, Ctx);
  }

private:
  // The rows of a class, worked out once per class and thread.
  static const std::vector<TqdSchemaGroup>& Groups(const TqdDXFEntity& E) {
    thread_local std::unordered_map<const char*, std::vector<TqdSchemaGroup>> Cache;
    auto It = Cache.find(E.ClassName());
    if (It == Cache.end()) It = Cache.emplace(E.ClassName(), SchemaDXFGroups(E)).first;
    return It->second;
  }
  // The group's value as the row takes it; false when the group was not read.
  bool Value(const TqdSchemaGroup& G, TqdData& D) const {
    const int C = G.DXF.Code;
    switch (XMLAttribInfo(G.Row->Id).Type) {
      case dtTFPoint:
        if (C == 210) {
          D.SetValueAsFPoint(FExtr);
          return true;
        }
        if (C < 10 || C > 18 || G.DXF.Step != 10 || !FHasP[C % 10]) return false;
        D.SetValueAsFPoint(FP[C % 10]);
        return true;
      case dtDouble: {
        double V = 0;
        if (C == 38 || C == 39) V = C == 38 ? FElevation : FThickness;
        else if (C >= 40 && C <= 59 && HasF(C)) V = F(C);
        else return false;
        D.SetValueAsDouble(G.DXF.Conv == dcRadians ? V * cRadToDeg : V);
        return true;
      }
      case dtInteger:
      case dtBool: {
        int V = 0;
        if (((C >= 60 && C <= 79) || (C >= 90 && C <= 99)) && HasI(C)) V = I(C);
        else if (C >= 280 && C <= 290 && FHasI280[C - 280]) V = FI280[C - 280];
        else return false;
        if (G.DXF.Mask) V = (V & static_cast<int>(G.DXF.Mask)) != 0;
        if (G.DXF.Conv == dcNot) V = !V;
        if (G.DXF.Conv == dcSign) V = V >= 0;
        if (XMLAttribInfo(G.Row->Id).Type == dtBool) D.SetValueAsBool(V != 0);
        else D.SetValueAsInt(V);
        return true;
      }
      case dtString:
        if (C < 1 || C > 9 || !FHasS[C]) return false;
        D.SetValueAsStr(FS[C]);
        return true;
      default:
        return false;  // names, handles and colours are linked by the common steps
    }
  }
};

class TCircleMapper : public TBaseMapper {
public:
  void Commit(TdxfReader&, TqdDXFEntity& E) override {
    auto* C = dynamic_cast<TqdDXFCircle*>(&E);
    if (!C) return;
    C->SetExtrusion(FExtr);
    C->SetZThick(FThickness);
    C->SetFlags(I(70));
    C->SetPoint(FP[0]);
    // A radius not above 1e-9 becomes 1 (the class default, which SetRadius keeps).
    C->SetRadius(F(40));
    auto* A = dynamic_cast<TqdDXFArc*>(C);
    if (!A) return;
    if (auto* El = dynamic_cast<TqdDXFEllipse*>(A)) {
      El->SetStartAngle(F(41, 0) * cRadToDeg);
      El->SetEndAngle(HasF(42) ? F(42) * cRadToDeg : 360.0);
      El->SetRadPt(FP[1]);
      El->SetRatio(F(40, 1));
      return;
    }
    A->SetStartAngle(F(50, 0));
    A->SetEndAngle(F(51, 360));
  }
};

// ---------------------------------------------------------------- polylines

void CommitPolylineBase(TqdDXFPolyline& P, const TFPoint& Extr, double Thick, int Flags, double W40, double W41,
                        double W43) {
  P.SetExtrusion(Extr);
  P.SetZThick(Thick);
  P.SetFlags(Flags);
  P.SetStartWidth(ToSingle(W40));
  P.SetEndWidth(ToSingle(W41));
  P.SetGlobalWidth(ToSingle(W43));
}

class TPolylineMapper : public TBaseMapper {
public:
  void Commit(TdxfReader&, TqdDXFEntity& E) override {
    auto* P = dynamic_cast<TqdDXFPolyline*>(&E);
    if (!P) return;
    CommitPolylineBase(*P, FExtr, FThickness, I(70), F(40), F(41), F(43));
    P->SetMeshM(I(73) != 0 ? I(73) : I(71));
    P->SetMeshN(I(74) != 0 ? I(74) : I(72));
    P->SetElevation(FP[0].Z);
  }
};

class TVertexMapper : public TBaseMapper {
public:
  void Commit(TdxfReader&, TqdDXFEntity& E) override {
    auto* V = dynamic_cast<TqdDXFVertex*>(&E);
    if (!V) return;
    V->SetPoint(FP[0]);
    V->SetStartWidth(F(40));
    V->SetEndWidth(F(41));
    V->SetBulge(F(42));
    V->SetFlags(I(70));
    for (int K = 0; K < 4; ++K)
      if (HasI(71 + K)) V->SetPolyFaceVertexIndex(K + 1, I(71 + K));
  }
};

// Every code 10 closes the vertex read so far; the last one is added at the commit,
// and only when a code 10 was read at all.
class TLWPolylineMapper : public TBaseMapper {
public:
  void Property(TdxfReader& R) override {
    if (R.Code() == 10 && FHasP[0]) Flush();
    TBaseMapper::Property(R);
  }
  void Commit(TdxfReader&, TqdDXFEntity& E) override {
    auto* P = dynamic_cast<TqdDXFLWPolyline*>(&E);
    if (!P) return;
    if (FHasP[0]) Flush();
    CommitPolylineBase(*P, FExtr, FThickness, I(70), 0, 0, F(43));
    P->ReserveVertices(static_cast<int>(FVertices.size()));
    for (const TV& V : FVertices) P->AddVertex({V.P.X, V.P.Y, 0}, V.Bulge, V.SW, V.EW);
    P->SetElevation(FElevation);
  }

private:
  struct TV {
    TFPoint P;
    double SW, EW, Bulge;
  };
  void Flush() {
    // Code 90 announces the count; a hostile one only gets a modest head start.
    if (FVertices.empty()) FVertices.reserve(static_cast<std::size_t>(std::clamp(I(90), 1, 4096)));
    FVertices.push_back({FP[0], F(40), F(41), F(42)});
    FF[0] = FF[1] = FF[2] = 0;
  }
  std::vector<TV> FVertices;
};

// Control points (10) and fit points (11) close when the next one starts; the last
// of each at the commit, only when one was read.
class TSplineMapper : public TBaseMapper {
public:
  void Property(TdxfReader& R) override {
    const int C = R.Code();
    if (C == 100 && Trim(R.Value()) == "AcDbHelix") FHelixPart = true;
    if (FHelixPart) {
      HelixCode(R, C);
      return;
    }
    if (C == 10 && FHasP[0]) FControls.push_back(FP[0]);
    if (C == 11 && FHasP[1]) FFit.push_back(FP[1]);
    if (C == 40) FKnots.push_back(R.FloatValue());
    if (C == 41) FWeights.push_back(R.FloatValue());
    if (C == 1070) FXFlags = R.IntValue(), FHasXFlags = true;
    TBaseMapper::Property(R);
  }
  void Commit(TdxfReader&, TqdDXFEntity& E) override {
    auto* S = dynamic_cast<TqdDXFSpline*>(&E);
    if (!S) return;
    if (FHasP[0]) FControls.push_back(FP[0]);
    if (FHasP[1]) FFit.push_back(FP[1]);
    S->SetExtrusion(FExtr);
    S->SetZThick(FThickness);
    S->SetFlags(I(70));
    for (const TFPoint& P : FControls) S->Controls().Add(P);
    for (const TFPoint& P : FFit) S->Fit().Add(P);
    for (double K : FKnots)
      if (std::isfinite(K) && std::fabs(K) <= std::numeric_limits<float>::max()) S->Knots().Add(static_cast<float>(K));
    for (double W : FWeights) S->AddWeight(W);
    S->SetBeginningTangent(FP[2]);
    S->SetEndingTangent(FP[3]);
    if (HasI(71)) S->SetDegree(I(71));
    if (FHasXFlags) S->SetFlagsExtented(FXFlags);
    if (auto* H = dynamic_cast<TqdCADHelix*>(S)) {
      H->SetPoint(FAxisBase);
      H->SetStartPoint(FStart);
      H->SetRadius(FRadius);
      H->SetTurns(FTurns);
      H->SetTurnHeight(FTurnHeight);
      H->SetClockwise(FClockwise);
    }
  }

private:
  void HelixCode(TdxfReader& R, int C) {
    switch (C) {
      case 10: FAxisBase.X = R.FloatValue(); break;
      case 20: FAxisBase.Y = R.FloatValue(); break;
      case 30: FAxisBase.Z = R.FloatValue(); break;
      case 11: FStart.X = R.FloatValue(); break;
      case 21: FStart.Y = R.FloatValue(); break;
      case 31: FStart.Z = R.FloatValue(); break;
      case 40: FRadius = R.FloatValue(); break;
      case 41: FTurns = R.FloatValue(); break;
      case 42: FTurnHeight = R.FloatValue(); break;
      // Handedness 1 is right-handed (counter-clockwise): stored inverted.
      case 290: FClockwise = R.IntValue() == 0; break;
      default: break;
    }
  }
  std::vector<TFPoint> FControls, FFit;
  std::vector<double> FKnots, FWeights;
  int FXFlags = 0;
  bool FHasXFlags = false;
  bool FHelixPart = false;
  TFPoint FAxisBase, FStart;
  double FRadius = 0, FTurns = 0, FTurnHeight = 0;
  bool FClockwise = false;
};

// ---------------------------------------------------------------- inserts

void LinkBlock(TdxfReader& R, TqdDXFInsert& I, std::string_view AName) {
  const std::string Name(Trim(AName));
  if (Name.empty()) return;
  if (TqdDXFEntity* Records = R.Converter()->GetSection(csBlockRecords))
    if (auto* Rec = dynamic_cast<TqdDXFBlockRecord*>(Records->FindEntByName(Name))) {
      I.SetBlockRecord(Rec);
      return;
    }
  I.SetBlockLink(TqdLinkObject::ByName(Name));
}

class TInsertMapper : public TBaseMapper {
public:
  explicit TInsertMapper(bool AArray = true) : FArray(AArray) {}
  std::unique_ptr<TqdDXFEntity> Replacement() override {
    // The counts as read: 1 x 1 (or 0) stays a plain insert.
    const int Cols = I(70), Rows = I(71);
    if (FArray && ((Cols > 0 && Rows > 1) || (Cols > 1 && Rows > 0))) return std::make_unique<TqdCADMInsert>();
    return nullptr;
  }
  void Commit(TdxfReader& R, TqdDXFEntity& E) override {
    auto* In = dynamic_cast<TqdDXFInsert*>(&E);
    if (!In) return;
    In->SetExtrusion(FExtr);
    In->SetPoint(FP[0]);
    In->SetScale({F(41, 1), F(42, 1), F(43, 1)});
    In->SetAngle(F(50));
    LinkBlock(R, *In, S(2));
    if (auto* M = dynamic_cast<TqdCADMInsert*>(In)) {
      M->SetNumCols(I(70));
      M->SetNumRows(I(71));
      M->SetColSpacing(F(44));
      M->SetRowSpacing(F(45));
    }
  }

protected:
  bool FArray;
};

// ---------------------------------------------------------------- texts

void LinkStyle(TdxfReader& R, TqdTableItem& AItem, std::string_view AName) {
  std::string Name(Trim(AName));
  if (Name.empty()) Name = "STANDARD";
  if (TqdDXFEntity* Styles = R.Converter()->GetSection(csStyles))
    if (auto* St = dynamic_cast<TqdDXFStyle*>(Styles->FindEntByName(Name))) {
      AItem.SetItem(St);
      return;
    }
  AItem.SetLink(TqdLinkObject::ByName(Name));
}

class TTextMapper : public TBaseMapper {
public:
  // A multi-line attribute (R2018) ends with its MTEXT: the flag 71 after the lock
  // position, copies of 72 and the alignment point, then "Embedded Object" (101)
  // with the MTEXT's own groups. Those would overwrite the attribute's generation,
  // alignment, insertion and width factor; only the MTEXT's text is taken from them.
  void Property(TdxfReader& R) override {
    const int C = R.Code();
    if (C == 101) FEmbedded = true;
    if (FEmbedded) {
      if (C == 3 && FMText.size() < cMaxKeptData) FMText += R.UValue();
      else if (C == 1) FMTextLast = R.UValue();
      return;
    }
    if (C == 100) {
      const std::string_view V = Trim(R.Value());
      FAttrib280 = V == "AcDbAttribute" || V == "AcDbAttributeDefinition" ? 0 : -1;
    } else if (C == 280 && FAttrib280 >= 0) {
      ++FAttrib280;
    } else if (FAttrib280 >= 2 && (C == 71 || C == 72 || C == 11 || C == 21 || C == 31)) {
      return;
    }
    TBaseMapper::Property(R);
  }
  void Code(TdxfReader& R, int C) override {
    // The lock position of attributes also comes as extended data of "AcDbAttr".
    if (C == 1001) FAttr = Trim(R.Value()) == "AcDbAttr";
    else if (FAttr && C == 1070 && FAttrData.Count() < 16)
      FAttrData.AddInt16(C, static_cast<std::int16_t>(std::clamp(R.IntValue(), -32768, 32767)));
  }
  void Commit(TdxfReader& R, TqdDXFEntity& E) override {
    auto* T = dynamic_cast<TqdDXFText*>(&E);
    if (!T) return;
    std::string Text = S(1);
    if (FEmbedded) Text = FMText + FMTextLast;
    for (std::size_t P = 0; (P = Text.find("^ ", P)) != std::string::npos; ++P) Text.erase(P + 1, 1);
    T->SetText(Text);
    LinkStyle(R, T->StyleItem(), S(7));
    T->SetPoint(FP[0]);
    if (FHasP[1]) T->SetPoint1(FP[1]);
    T->SetExtrusion(FExtr);
    T->SetHeight(F(40));
    T->SetScale(F(41, 1));
    T->SetRotation(F(50));
    T->SetObliqueAngle(F(51));
    T->SetGenerationFlags(I(71));
    T->SetHAlign(static_cast<std::uint8_t>(std::clamp(I(72), 0, 5)));
    // Attributes take the vertical alignment from code 74.
    const int V = dynamic_cast<TqdDXFAttdef*>(T) ? I(74) : I(73);
    T->SetVAlign(static_cast<std::uint8_t>(std::clamp(V, 0, 3)));
    if (auto* A = dynamic_cast<TqdDXFAttdef*>(T)) {
      A->SetValue(FEmbedded ? Text : S(1));
      A->SetTag(S(2));
      A->SetFlags(I(70));
      if (FHasI280[0] && R.Version() >= acR2007) A->SetLockPosition(FI280[0] != 0);
      if (FAttrData.Count() > 0) A->SetAttrExtData(FAttrData);
    }
  }

private:
  bool FAttr = false;
  TqdCADExtendedData FAttrData;
  bool FEmbedded = false;
  int FAttrib280 = -1;  // 280 groups met in the attribute's own subclass; -1 outside it
  std::string FMText, FMTextLast;
};

class TMTextMapper : public TBaseMapper {
public:
  // The "Embedded Object" record after code 101 repeats points and sizes in other
  // meanings (its 11 is the insertion point, its 40 the column width); it holds the
  // columns of R2018 files. Extended data (from 1000 on) ends it.
  void Property(TdxfReader& R) override {
    const int C = R.Code();
    if (C == 101) FEmbedded = true;
    if (C >= 1000) FEmbedded = false;
    if (FEmbedded) Embedded(R, C);
    else TBaseMapper::Property(R);
  }
  void Code(TdxfReader& R, int C) override {
    if (C == 3 && FText.size() < cMaxKeptData) FText += R.UValue();
    else if (C == 46) FCols.DefinedHeight = R.FloatValue();
    // The column groups as plain groups of the entity (the extended data or the
    // embedded object after them wins).
    else if (C == 75) FCols.Type = R.IntValue();
    else if (C == 76) FCols.Count = R.IntValue();
    else if (C == 78) FCols.FlowReversed = R.IntValue() != 0;
    else if (C == 79) FCols.AutoHeight = R.IntValue() != 0;
    else if (C == 49) FCols.Gutter = R.FloatValue();
    else if (C >= 1000) ExtData(R, C);
  }
  void Commit(TdxfReader& R, TqdDXFEntity& E) override {
    auto* T = dynamic_cast<TqdDXFMText*>(&E);
    if (!T) return;
    T->SetText(FText + S(1));
    LinkStyle(R, T->StyleItem(), S(7));
    T->SetPoint(FP[0]);
    if (FHasP[1]) T->SetPoint1(FP[1]);
    T->SetExtrusion(FExtr);
    T->SetHeight(F(40));
    T->SetRectWidth(F(41));
    T->SetLineSpacingFactor(F(44, 1));
    T->SetAngle(F(50));
    T->SetAlign(I(71, 1));
    T->SetLineSpacingStyle(I(73, 1));
    T->SetColumns(FCols);
    // The later columns of files before R2018 are texts of their own that follow the
    // first; they take its column width.
    if (FCols.Type != 0 && FCols.Width > 0)
      for (std::uint64_t H : FLinked)
        if (R.FMTextColumnWidths.size() < cMaxHeavyItems) R.FMTextColumnWidths[H] = FCols.Width;
    if (auto It = R.FMTextColumnWidths.find(T->Handle()); T->Handle() && It != R.FMTextColumnWidths.end())
      T->SetLinkedColumnWidth(It->second);
  }

private:
  void Embedded(TdxfReader& R, int C) {
    switch (C) {
      case 41: FCols.DefinedHeight = R.FloatValue(); break;
      case 44: FCols.Width = R.FloatValue(); break;
      case 45: FCols.Gutter = R.FloatValue(); break;
      case 71: FCols.Type = R.IntValue(); break;
      case 72: FCols.Count = R.IntValue(); break;
      case 73: FCols.AutoHeight = R.IntValue() != 0; break;
      case 74: FCols.FlowReversed = R.IntValue() != 0; break;
      case 46:
        if (FCols.Heights.size() < TqdDXFMText::cMaxColumnHeights) FCols.Heights.push_back(R.FloatValue());
        break;
      default: break;
    }
  }
  // ACAD's extended data of files before R2018: named sections of pairs, a 1070 with
  // the group code and the value after it; code 50 gives a count and that many 1040s.
  void ExtData(TdxfReader& R, int C) {
    if (C == 1001) {
      FAcad = Trim(R.Value()) == "ACAD";
      FSection = 0;
      return;
    }
    if (!FAcad) return;
    if (C == 1000) {
      const std::string_view V = Trim(R.Value());
      FSection = V == "ACAD_MTEXT_COLUMN_INFO_BEGIN" ? 1 : V == "ACAD_MTEXT_COLUMNS_BEGIN" ? 2
               : V == "ACAD_MTEXT_DEFINED_HEIGHT_BEGIN" ? 3 : 0;
      FKey = 0;
      return;
    }
    if (FSection == 2 && C == 1005) {
      if (FLinked.size() < TqdDXFMText::cMaxColumnHeights) FLinked.push_back(R.HandleValue());
      return;
    }
    if (C != 1070 && C != 1040) return;
    if (FHeightsLeft > 0 && C == 1040) {
      --FHeightsLeft;
      if (FCols.Heights.size() < TqdDXFMText::cMaxColumnHeights) FCols.Heights.push_back(R.FloatValue());
      return;
    }
    FHeightsLeft = 0;
    if (FKey == 0) {
      if (C == 1070) FKey = R.IntValue();
      return;
    }
    const int K = FKey;
    FKey = 0;
    if (FSection == 1) {
      switch (K) {
        case 75: FCols.Type = R.IntValue(); break;
        case 76: FCols.Count = R.IntValue(); break;
        case 78: FCols.FlowReversed = R.IntValue() != 0; break;
        case 79: FCols.AutoHeight = R.IntValue() != 0; break;
        case 48: FCols.Width = R.FloatValue(); break;
        case 49: FCols.Gutter = R.FloatValue(); break;
        case 50:
          FHeightsLeft = std::max(R.IntValue(), 0);
          break;
        default: break;
      }
    } else if (FSection == 3 && K == 46) {
      FCols.DefinedHeight = R.FloatValue();
    }
  }

  bool FEmbedded = false;
  std::string FText;
  TqdMTextColumns FCols;
  std::vector<std::uint64_t> FLinked;
  bool FAcad = false;
  int FSection = 0;  // 1 column info, 2 linked columns, 3 defined height
  int FKey = 0;          // the group code whose value comes next
  int FHeightsLeft = 0;  // column heights still to come after code 50
};

class TShapeMapper : public TBaseMapper {
public:
  void Commit(TdxfReader&, TqdDXFEntity& E) override {
    auto* T = dynamic_cast<TqdDXFShape*>(&E);
    if (!T) return;
    T->SetShapeName(Trim(S(2)));
    T->SetPoint(FP[0]);
    T->SetExtrusion(FExtr);
    T->SetHeight(F(40));
    T->SetScale(F(41, 1));
    T->SetRotation(F(50));
    T->SetObliqueAngle(F(51));
  }
};

// ---------------------------------------------------------------- dimensions

class TDimensionMapper : public TBaseMapper {
public:
  void Commit(TdxfReader& R, TqdDXFEntity& E) override {
    auto* D = dynamic_cast<TqdDXFDimension*>(&E);
    if (!D) return;
    D->SetExtrusion(FExtr);
    D->SetPoint(FP[2]);
    D->SetScale({1, 1, 1});
    D->SetAngle(F(54));
    LinkBlock(R, *D, S(2));
    std::string Style(Trim(S(3)));
    if (Style.empty()) Style = R.Converter()->HeadVarStruct().DimStyle;
    if (!Style.empty()) D->DimStyleItem().SetLink(TqdLinkObject::ByName(Style));
    D->FDefPoint = FP[0];
    D->FMiddlePoint = FP[1];
    D->FLinDefPoint1 = FP[3];
    D->FLinDefPoint2 = FP[4];
    D->FRadDefPoint = FP[5];
    D->FArcDefPoint = FP[6];
    D->FFlags = I(70);
    D->FTextOverride = S(1);
    D->SetTextRotation(F(53));
    // The line angle of a rotated dimension (code 50, 0 when absent), kept apart from
    // the insert's rotation.
    if (std::isfinite(F(50))) D->FDimLineAngle = F(50);
    if (std::isfinite(F(42))) D->FMeasurement = F(42);
  }
};

class TLeaderMapper : public TBaseMapper {
public:
  void Code(TdxfReader& R, int C) override {
    if (C == 10) {
      if (FVertices.size() < cMaxKeptData / sizeof(TFPoint)) FVertices.emplace_back();
    } else if ((C == 20 || C == 30) && !FVertices.empty()) {
      (C == 20 ? FVertices.back().Y : FVertices.back().Z) = R.FloatValue();
    } else if (C == 340) {
      FAnnotation = R.HandleValue();
    } else if (C == 211) {
      FHook.X = R.FloatValue();
    } else if (C == 221) {
      FHook.Y = R.FloatValue();
    } else if (C == 231) {
      FHook.Z = R.FloatValue();
    }
    if (C == 10 && !FVertices.empty()) FVertices.back().X = R.FloatValue();
  }
  void Commit(TdxfReader& R, TqdDXFEntity& E) override {
    auto* L = dynamic_cast<TqdDXFLeader*>(&E);
    if (!L) return;
    L->SetExtrusion(FExtr);
    for (const TFPoint& P : FVertices)
      if (IsFiniteFPoint(P)) L->Controls().Add(P);
    if (L->ControlCount() > 0) L->SetPoint(L->GetControlPoint(0));
    L->FArrowhead = I(71, 1) != 0;
    L->SetIsSpline(I(72) == 1);
    L->FAnnotationType = I(73, 3);
    L->FHookDirection = I(74);
    L->FHookLine = I(75);
    if (std::isfinite(F(40))) L->FAnnotationHeight = F(40);
    if (std::isfinite(F(41))) L->FAnnotationWidth = F(41);
    if (IsFiniteFPoint(FHook)) L->FHookVector = FHook;
    L->FAnnotationHandle = FAnnotation;
    const std::string Style(Trim(S(3)));
    if (!Style.empty()) L->DimStyleItem().SetLink(TqdLinkObject::ByName(Style));
  }

private:
  std::vector<TFPoint> FVertices;
  TFPoint FHook{1, 0, 0};
  std::uint64_t FAnnotation = 0;
};

class TToleranceMapper : public TBaseMapper {
public:
  void Commit(TdxfReader&, TqdDXFEntity& E) override {
    auto* T = dynamic_cast<TqdDXFTolerance*>(&E);
    if (!T) return;
    T->SetText(S(1));
    T->SetPoint(FP[0]);
    if (FHasP[1] && IsFiniteFPoint(FP[1])) T->SetDirection(FP[1]);
    T->SetExtrusion(FExtr);
    const std::string Style(Trim(S(3)));
    if (!Style.empty()) T->DimStyleItem().SetLink(TqdLinkObject::ByName(Style));
  }
};

// ---------------------------------------------------------------- hatches

// Boundary paths, pattern lines and gradient codes, each acting on what the codes
// before it made. Codes that name an edge, a path or a pattern line that does not
// exist are ignored.
class THatchMapper : public TBaseMapper {
public:
  explicit THatchMapper(bool AMPolygon) : FMPolygon(AMPolygon) {}
  // A solid hatch (bit 0 of code 70) is a curve polygon.
  std::unique_ptr<TqdDXFEntity> Replacement() override {
    if (!FMPolygon && (I(70) & 1) != 0) return std::make_unique<TqdCADCurvePolygon>();
    return nullptr;
  }
  void Code(TdxfReader& R, int C) override;
  void Commit(TdxfReader& R, TqdDXFEntity& E) override;

private:
  Tqd2DCurve* Edge() {
    if (!FPath || FPath->FObjects.empty()) return nullptr;
    return FPath->FObjects.back().get();
  }
  TqdHatchPatternData* Line() { return FLines.empty() ? nullptr : &FLines.back(); }
  bool FMPolygon;
  std::size_t FEdges = 0;  // edges and paths made
  std::unique_ptr<TqdCADBoundaryData> FData = std::make_unique<TqdCADBoundaryData>();
  Tqd2DBoundaryList* FPath = nullptr;  // the current path, null when none
  bool FHas91 = false;
  int FPathType = 0;
  int FFitCounter = -2;
  bool FSolid = false;
  int FGradT = 0, FGradA = 0;
  TqdColorCAD FGrad[2] = {TqdColorCAD::RGB(0xFF0000), TqdColorCAD::RGB(0xFFFFFF)};
  bool FHasElevation = false;
  TFPoint FElev;
  std::vector<TqdHatchPatternData> FLines;
  double FAngle = 0, FScale = 1;
  double FGradAngle = 0;
  bool FGradUseCenter = true;
  std::string FGradName;
  TqdColorCAD FFill = TqdColorCAD::Index(clByLayer);
  bool FHasFill = false;
};

void THatchMapper::Code(TdxfReader& R, int C) {
  double V = (C >= 10 && C <= 59) || (C >= 460 && C <= 462) ? R.FloatValue() : 0;
  if (!std::isfinite(V)) V = 0;
  Tqd2DCurve* E = Edge();
  switch (C) {
    case 10:
    case 20:
    case 30:
      if (!FHas91) {
        FElev = FP[0];
        FHasElevation = true;
        return;
      }
      if (!E || C == 30) return;
      if (auto* PL = dynamic_cast<Tqd2DPolyline*>(E)) {
        if (C == 10) {
          if (PL->FVertexes.size() < cMaxHatchItems) PL->AddVertex({V, 0});
        } else {
          PL->GetLastVertex().Y = V;
        }
      } else if (auto* SP = dynamic_cast<Tqd2DSpline*>(E)) {
        if (C == 10) {
          if (SP->FControls.size() < cMaxHatchItems) SP->AddControl({V, 0});
        } else {
          SP->GetLastVertex().Y = V;
        }
      } else if (auto* L = dynamic_cast<Tqd2DLine*>(E)) {
        (C == 10 ? L->FStartPoint.X : L->FStartPoint.Y) = V;
      } else if (auto* A = dynamic_cast<Tqd2DArc*>(E)) {
        (C == 10 ? A->FCenterPoint.X : A->FCenterPoint.Y) = V;
      }
      return;
    case 11:
    case 21:
      if (!E || FMPolygon) return;
      if (auto* L = dynamic_cast<Tqd2DLine*>(E)) (C == 11 ? L->FEndPoint.X : L->FEndPoint.Y) = V;
      else if (auto* EL = dynamic_cast<Tqd2DEllipse*>(E)) (C == 11 ? EL->FMajorPoint.X : EL->FMajorPoint.Y) = V;
      return;
    case 40:
      if (auto* A = dynamic_cast<Tqd2DArc*>(E)) A->FRadius = V;
      else if (auto* SP = dynamic_cast<Tqd2DSpline*>(E); SP && SP->FKnots.size() < cMaxHatchItems) SP->AddKnot(V);
      return;
    case 42:
      if (auto* PL = dynamic_cast<Tqd2DPolyline*>(E)) {
        // A bulge belongs to the vertex read last.
        if (!PL->FVertexes.empty() && PL->FBulges.size() < PL->FVertexes.size()) PL->AddBulge(V);
      } else if (auto* SP = dynamic_cast<Tqd2DSpline*>(E); SP && SP->FWeights.size() < cMaxHatchItems) {
        SP->AddWeight(V);
      }
      return;
    case 50:
      if (auto* A = dynamic_cast<Tqd2DArc*>(E)) A->FStartParam = V;
      return;
    case 51:
      if (auto* A = dynamic_cast<Tqd2DArc*>(E)) A->FEndParam = V;
      return;
    case 72: {
      if (FEdges >= cMaxHeavyItems) return;
      if (!FPath) {
        FPath = FData->Add(static_cast<std::uint8_t>(FPathType & 0xFF));
        ++FEdges;
      }
      const int K = R.IntValue();
      std::unique_ptr<Tqd2DCurve> New;
      if (FMPolygon) {
        auto P = std::make_unique<Tqd2DPolyline>();
        P->SetClosed(true);
        New = std::move(P);
      } else {
        FFitCounter = -2;
        // Bit 2 of the path type marks a polyline path: there 72 is the has-bulge flag.
        const bool PolyPath = (FPathType & 2) != 0;
        if (K == 0 || (K == 1 && PolyPath)) New = std::make_unique<Tqd2DPolyline>();
        else if (K == 1) New = std::make_unique<Tqd2DLine>();
        else if (K == 2) New = std::make_unique<Tqd2DArc>();
        else if (K == 3) New = std::make_unique<Tqd2DEllipse>();
        else if (K == 4) {
          New = std::make_unique<Tqd2DSpline>();
          if (R.Version() >= acR2010) FFitCounter = -1;
        } else
          return;  // makes no edge
      }
      FPath->Add(std::move(New));
      ++FEdges;
      return;
    }
    case 73:
      if (!E || FMPolygon) return;
      if (auto* PL = dynamic_cast<Tqd2DPolyline*>(E)) PL->SetClosed(R.IntValue() == 1);
      else if (auto* A = dynamic_cast<Tqd2DArc*>(E)) A->SetCounterClockWise(R.IntValue() == 1);
      else if (auto* SP = dynamic_cast<Tqd2DSpline*>(E)) SP->SetRational(R.IntValue() == 1);
      return;
    case 74:
      if (auto* SP = dynamic_cast<Tqd2DSpline*>(E); SP && !FMPolygon) SP->SetPeriodic(R.IntValue() == 1);
      return;
    case 94:
      if (auto* SP = dynamic_cast<Tqd2DSpline*>(E); SP && !FMPolygon) SP->SetDegree(R.IntValue());
      return;
    case 97:
      if (FFitCounter == -1) FFitCounter = R.IntValue();
      else FPath = nullptr;
      return;
    case 91: FHas91 = true; return;
    case 92:
      FPathType = R.IntValue();
      FPath = nullptr;
      return;
    case 52: FAngle = V; return;
    case 41: FScale = V; return;
    case 53: {
      if (FLines.size() >= cMaxHeavyItems) return;
      TqdHatchPatternData L;
      L.LineAngle = V;
      FLines.push_back(std::move(L));
      return;
    }
    case 43:
    case 44:
    case 45:
    case 46: {
      TqdHatchPatternData* L = Line();
      if (!L) return;
      if (C == 43) L->BaseP.X = V;
      else if (C == 44) L->BaseP.Y = V;
      else if (C == 45) L->Offset.X = V;
      else L->Offset.Y = V;
      return;
    }
    case 79: {
      TqdHatchPatternData* L = Line();
      if (!L) return;
      const int N = R.IntValue();
      L->DashNum = N;
      L->IsDash = N > 0;
      // Room for the count, but never more than a small list before the dashes arrive.
      if (N > 0) L->Lines.reserve(static_cast<std::size_t>(std::min(N, 64)));
      return;
    }
    case 49: {
      TqdHatchPatternData* L = Line();
      if (L && L->Lines.size() < cMaxHatchItems) L->Lines.push_back(V);
      return;
    }
    case 63: {
      const int Ix = R.IntValue();
      if (FMPolygon) {
        FFill = TqdColorCAD::Index(std::clamp(Ix, 0, 256));
        FHasFill = true;
      } else {
        const int N = FGradT + FGradA;
        ++FGradA;
        if (N >= 0 && N <= 1) FGrad[N] = TqdColorCAD::Index(std::clamp(Ix, 0, 256));
      }
      return;
    }
    case 421: {
      const auto Rgb = static_cast<std::uint32_t>(R.IntValue()) & 0xFFFFFF;
      const std::uint32_t Bgr = ((Rgb & 0xFF) << 16) | (Rgb & 0xFF00) | ((Rgb >> 16) & 0xFF);
      if (FGradT >= 0 && FGradT <= 1) FGrad[FGradT] = TqdColorCAD::RGB(Bgr);
      if (FGradT < 2) ++FGradT;
      return;
    }
    case 450: FSolid = R.IntValue() == 0; return;
    case 460: FGradAngle = V * cRadToDeg; return;
    case 461: FGradUseCenter = std::fabs(V) < 1e-6; return;
    case 470: FGradName = FSolid ? std::string() : R.UValue(); return;
    default: return;
  }
}

void THatchMapper::Commit(TdxfReader&, TqdDXFEntity& Ent) {
  auto* H = dynamic_cast<TqdCADCurvePolygon*>(&Ent);
  if (!H) return;
  H->SetExtrusion(FExtr);
  if (FHasElevation) H->SetElevation(FElev);
  H->SetHatchName(std::string(Trim(S(2))));
  H->FHatchName = std::string(Trim(S(2)));
  H->FBoundaryData = std::move(FData);
  FData = std::make_unique<TqdCADBoundaryData>();
  FPath = nullptr;
  H->SetGradientColorCAD(0, FGrad[0]);
  H->SetGradientColorCAD(1, FGrad[1]);
  H->SetGradientAngle(FGradAngle);
  H->FGradientUseCenter = FGradUseCenter;
  H->SetGradientName(FGradName);
  H->SetIslandStyle(I(75));
  H->SetOffset(FP[1].Point2D());
  auto* P = dynamic_cast<TqdCADHatch*>(H);
  if (!P) return;
  TqdCADHatchPatternData& D = P->PatternData();
  D.FPatterns = std::move(FLines);
  if (std::isfinite(FAngle)) D.FAngle = FAngle;
  if (std::isfinite(FScale)) D.FScale = FScale;
  if (auto* M = dynamic_cast<TqdCADMPolygon*>(P)) {
    M->SetSolidFill((I(71) & 1) != 0);
    M->SetFillColor(FHasFill ? FFill : M->ColorCAD());
  }
}

// ---------------------------------------------------------------- others

class TWipeoutMapper : public TBaseMapper {
public:
  void Code(TdxfReader& R, int C) override {
    if (C == 24 && FBoundary.size() < cMaxHatchItems) FBoundary.push_back({FP[4].X, FP[4].Y, 0});
    if (C == 340) FImageDef = R.HandleValue();
  }
  void Commit(TdxfReader& R, TqdDXFEntity& E) override {
    auto* W = dynamic_cast<TqdCADWipeout*>(&E);
    if (!W) return;
    W->FFlags = I(70);
    W->FClipType = I(71);
    W->SetPoint(FP[0]);
    if (FHasP[1] && IsFiniteFPoint(FP[1])) W->FUVector = FP[1];
    if (FHasP[2] && IsFiniteFPoint(FP[2])) W->FVVector = FP[2];
    if (IsFiniteFPoint(FP[3])) W->FSize = FP[3];
    for (const TFPoint& P : FBoundary)
      if (IsFiniteFPoint(P)) W->FBoundary.push_back(P);
    W->FClipping = FHasI280[0] && FI280[0] != 0;
    W->SetExtrusion(FExtr);
    if (auto* Im = dynamic_cast<TqdDXFImageEnt*>(W)) {
      Im->FImageDefHandle = FImageDef;
      (void)R;
    }
  }

private:
  std::vector<TFPoint> FBoundary;
  std::uint64_t FImageDef = 0;
};

// The faces of a mesh face list (count, then indexes) whose indexes all name one of
// AVertices vertices; the number of faces dropped.
int KeepValidMeshFaces(std::vector<std::int32_t>& AFaces, std::size_t AVertices) {
  std::vector<std::int32_t> Kept;
  int Dropped = 0;
  for (std::size_t I = 0; I < AFaces.size();) {
    const std::int32_t N = AFaces[I];
    if (N <= 0 || static_cast<std::size_t>(N) > AFaces.size() - I - 1) {
      ++Dropped;  // a count past the list ends it
      break;
    }
    bool Ok = true;
    for (std::int32_t K = 1; K <= N; ++K)
      Ok = Ok && AFaces[I + K] >= 0 && static_cast<std::size_t>(AFaces[I + K]) < AVertices;
    if (Ok) Kept.insert(Kept.end(), AFaces.begin() + static_cast<std::ptrdiff_t>(I),
                        AFaces.begin() + static_cast<std::ptrdiff_t>(I + N + 1));
    else ++Dropped;
    I += static_cast<std::size_t>(N) + 1;
  }
  AFaces.swap(Kept);
  return Dropped;
}

// Keeps the data lines of codes 1 and 3 (ACIS text) or 310 (binary chunks); for a
// MESH also its vertices (92, then codes 10) and face list (93, then codes 90).
class TDataMapper : public TBaseMapper {
public:
  explicit TDataMapper(std::string_view AName) : FName(AName) {}
  void Code(TdxfReader& R, int C) override {
    if (C == 100) FMesh = Trim(R.Value()) == "AcDbSubDMesh";
    if (FMesh) MeshCode(R, C);
    if ((C == 1 || C == 3 || C == 310) && FData.size() < cMaxKeptData) {
      FBinary = FBinary || C == 310;
      // Code 3 carries the tail of a text line longer than 255 characters.
      const bool Tail = C == 3 && (FLastText == 1 || FLastText == 3);
      if (C != 310 && !Tail && !FData.empty()) FData += '\n';
      std::string_view V = R.Value();
      // A tail keeps its leading spaces: they belong to the line.
      if (Tail)
        while (!V.empty() && V.back() == '\r') V.remove_suffix(1);
      else
        V = Trim(V);
      FData += V;
      FLastText = C;
    }
  }
  void Commit(TdxfReader& R, TqdDXFEntity& E) override {
    if (auto* P = dynamic_cast<TqdDXFPenLine*>(&E)) P->SetExtrusion(FExtr);
    if (auto* Rg = dynamic_cast<TqdDXFRegion*>(&E)) {
      // Files before R2007 store the text obfuscated (each character c above the space
      // as 159 - c); the item keeps it plain, as DWG files give it.
      if (R.Version() < acR2007 && !FBinary)
        for (char& Ch : FData)
          if (static_cast<unsigned char>(Ch) > 32) Ch = static_cast<char>(159 - static_cast<unsigned char>(Ch));
      Rg->FAcisData = std::move(FData);
      Rg->FDXFName = FName;
    } else if (auto* Px = dynamic_cast<TqdDXFProxy*>(&E)) {
      Px->FProxyData = qdHexToBytes(FData);
      Px->FDXFName = FName;
      if (const int Dropped = KeepValidMeshFaces(FFaces, FVertices.size()))
        R.Converter()->AddWarning("MESH: " + std::to_string(Dropped) +
                                  " faces naming vertices that do not exist: not kept");
      Px->FMeshVertices = std::move(FVertices);
      Px->FMeshFaces = std::move(FFaces);
    } else if (auto* O = dynamic_cast<TqdDXFOle2Frame*>(&E)) {
      O->SetPoint(FP[0]);
      if (IsFiniteFPoint(FP[1])) O->FPoint1 = FP[1];
      O->FData = std::move(FData);
    } else if (auto* T = dynamic_cast<TqdDXFAcadTable*>(&E)) {
      T->SetPoint(FP[0]);
      LinkBlock(R, *T, S(2));
      T->FRows = I(91);
      T->FCols = I(92);
      if (FHasP[1] && IsFiniteFPoint(FP[1])) T->FDirection = FP[1];
    }
  }

private:
  void MeshCode(TdxfReader& R, int C) {
    const auto Count = [&R] { return static_cast<std::size_t>(std::clamp(R.IntValue(), 0, static_cast<int>(cMaxHeavyItems))); };
    if (C == 92) {
      FPart = 1;
      FWant = Count();
    } else if (C == 93) {
      FPart = 2;
      FWant = Count();
    } else if (C == 94 || C == 95) {
      FPart = 0;
    } else if (FPart == 1 && C == 10 && FVertices.size() < FWant) {
      FVertices.push_back({R.FloatValue(), 0, 0});
    } else if (FPart == 1 && (C == 20 || C == 30) && !FVertices.empty()) {
      (C == 20 ? FVertices.back().Y : FVertices.back().Z) = R.FloatValue();
    } else if (FPart == 2 && C == 90 && FFaces.size() < FWant) {
      FFaces.push_back(R.IntValue());
    }
  }
  std::string FName;
  std::string FData;
  bool FBinary = false;  // data of code 310
  int FLastText = 0;      // the code of the last data line
  bool FMesh = false;
  int FPart = 0;  // 1 vertices, 2 faces
  std::size_t FWant = 0;
  std::vector<TFPoint> FVertices;
  std::vector<std::int32_t> FFaces;
};

// ---------------------------------------------------------------- multilines

// Each code 11 closes the vertex read so far and starts a new one; 74 starts a
// parameter list of the current vertex and 41 adds to it. A 74 or 41 before any
// vertex makes one, so no code acts on nothing.
class TMLineMapper : public TBaseMapper {
public:
  void Property(TdxfReader& R) override {
    const int C = R.Code();
    if (C == 11) Close();
    TBaseMapper::Property(R);
    if (C == 11) {
      if (FVertices.size() < cMaxHeavyItems) {
        FVertices.push_back(std::make_unique<TqdMVertex>());
        FClosed = false;
      }
    } else if (C == 74) {
      Current().NewList();
    } else if (C == 41) {
      const double V = R.FloatValue();
      Current().Add(static_cast<float>(ToSingle(V)));
    }
  }
  void Commit(TdxfReader&, TqdDXFEntity& E) override {
    Close();
    auto* M = dynamic_cast<TqdCADMLine*>(&E);
    if (!M) return;
    for (auto& V : FVertices) M->AddItem(std::move(V));
    FVertices.clear();
    M->SetStartPoint(FP[0]);
    M->SetExtrusion(FExtr);
    M->SetScaleFactor(F(40, 1));
    M->SetJustify(static_cast<std::uint8_t>(std::clamp(I(70), 0, 255)));
    M->SetFlags(I(71));
    std::string Name(Trim(S(2)));
    if (Name.empty()) Name = "STANDARD";
    M->StyleItem().SetLink(TqdLinkObject::ByName(Name));
  }

private:
  TqdMVertex& Current() {
    if (FVertices.empty() || FClosed) {
      FVertices.push_back(std::make_unique<TqdMVertex>());
      FClosed = false;
    }
    return *FVertices.back();
  }
  void Close() {
    if (FVertices.empty() || FClosed) return;
    TqdMVertex& V = *FVertices.back();
    V.Complete();
    V.SetPoint(FP[1]);
    V.SetDirection(FP[2]);
    V.SetMiter(FP[3]);
    FClosed = true;
  }
  std::vector<std::unique_ptr<TqdMVertex>> FVertices;
  bool FClosed = false;
};

// ---------------------------------------------------------------- viewports

class TViewportMapper : public TBaseMapper {
public:
  void Code(TdxfReader& R, int C) override {
    if ((C == 331 || C == 341) && FFrozen.size() < cMaxHatchItems) FFrozen.push_back(R.HandleValue());
    if (C == 340) FBoundary = R.HandleValue();
    // The "MVIEW" record of older files, in extended data of application ACAD.
    if (C == 1001) {
      FAcad = Trim(R.Value()) == "ACAD";
      if (FAcad) FHasAcad = true;
    } else if (FAcad && C == 1003 && FXLayers.size() < cMaxHeavyItems) {
      FXLayers.emplace_back(Trim(R.UValue()));
    } else if (FAcad && C >= 1010 && C <= 1030 && C % 10 == 0) {
      // 1010/1020/1030 of the first point are the target, of the second the direction.
      if (C == 1010) ++FXPoints;
      if (FXPoints >= 1 && FXPoints <= 2) {
        TFPoint& P = FXPoint[FXPoints - 1];
        (C == 1010 ? P.X : C == 1020 ? P.Y : P.Z) = R.FloatValue();
      }
    } else if (FAcad && C == 1040 && FXReals < 4) {
      FXReal[FXReals++] = R.FloatValue();
    }
  }
  void Commit(TdxfReader& R, TqdDXFEntity& E) override {
    auto* V = dynamic_cast<TqdDXFViewport*>(&E);
    if (!V) return;
    V->SetPSpaceCenter(FP[0]);
    V->SetMSpaceCenter(FP[2]);
    if (FHasP[6]) V->SetViewDirection(FP[6]);
    V->SetViewTarget(FP[7]);
    V->SetPSpaceWidth(F(40));
    V->SetPSpaceHeight(F(41));
    V->SetFrontClipPlane(F(43));
    V->SetBackClipPlane(F(44));
    V->SetMSpaceHeight(F(45));
    V->SetViewTwistAngle(F(51));
    if (HasI(68)) V->SetStatusField(I(68));
    if (HasI(69)) V->SetThisID(I(69));
    V->SetFlags(I(90));
    if (FBoundary) V->SetClippingBoundaryHandle(FBoundary);
    for (std::uint64_t H : FFrozen) V->FrozenLayers().push_back(H);
    if (!FHasAcad) return;
    V->SetXDataAppName("ACAD");
    for (const std::string& N : FXLayers)
      if (TqdDXFLayer* L = N.empty() ? nullptr : R.Converter()->LayerByName(N)) {
        // A layer made here has no handle yet: it gets the next one now.
        if (L->Handle() == 0) {
          std::uint64_t H = 0;
          if (R.Converter()->CheckHandle(H)) L->SetHandle(H);
        }
        if (L->Handle()) V->FrozenLayers().push_back(L->Handle());
      }
    if (FXPoints >= 1) V->SetViewTarget(FXPoint[0]);
    if (FXPoints >= 2) V->SetViewDirection(FXPoint[1]);
    if (FXReals >= 1) V->SetViewTwistAngle(FXReal[0]);
    if (FXReals >= 2) V->SetMSpaceHeight(FXReal[1]);
    if (FXReals >= 4) V->SetMSpaceCenter({FXReal[2], FXReal[3], 0});
  }

private:
  std::vector<std::uint64_t> FFrozen;
  std::uint64_t FBoundary = 0;
  bool FAcad = false, FHasAcad = false;
  std::vector<std::string> FXLayers;
  int FXPoints = 0, FXReals = 0;
  TFPoint FXPoint[2];
  double FXReal[4] = {};
};

}  // namespace

namespace {

using namespace dxfmap;

// One hash lookup per object instead of a chain of comparisons: the mapper is chosen
// for every entity of a drawing.
TMapperKind MapperKindByName(const std::string& N) {
  static const std::unordered_map<std::string, TMapperKind> Kinds = {
      {"LINE", mkNone}, {"3DLINE", mkNone}, {"POINT", mkNone},
      {"SOLID", mkFace}, {"TRACE", mkFace}, {"3DFACE", mkFace},
      {"RAY", mkRay}, {"XLINE", mkRay},
      {"CIRCLE", mkCircle}, {"ARC", mkCircle}, {"ELLIPSE", mkCircle},
      {"POLYLINE", mkPolyline}, {"VERTEX", mkVertex}, {"LWPOLYLINE", mkLWPolyline},
      {"SPLINE", mkSpline}, {"HELIX", mkSpline}, {"INSERT", mkInsert},
      {"TEXT", mkText}, {"ATTDEF", mkText}, {"ATTRIB", mkText}, {"MTEXT", mkMText},
      {"SHAPE", mkShape}, {"DIMENSION", mkDimension}, {"LEADER", mkLeader},
      {"TOLERANCE", mkTolerance}, {"HATCH", mkHatch}, {"MPOLYGON", mkMPolygon},
      {"WIPEOUT", mkWipeout}, {"IMAGE", mkWipeout}, {"MLINE", mkMLine},
      {"VIEWPORT", mkViewport}, {"LAYER", mkLayer}, {"LTYPE", mkLType}, {"STYLE", mkStyle},
      {"VPORT", mkVport}, {"BLOCK_RECORD", mkBlockRecord}, {"DIMSTYLE", mkDimStyle},
      {"SORTENTSTABLE", mkSortEnts}, {"SPATIAL_FILTER", mkSpatialFilter},
      {"MLINESTYLE", mkMLineStyle}, {"RASTERVARIABLES", mkRasterVariables},
      {"WIPEOUTVARIABLES", mkRasterVariables}, {"PLOTSETTINGS", mkPlotSettings},
      {"LAYOUT", mkLayout}, {"XRECORD", mkXRecord}, {"DICTIONARYVAR", mkDictionaryVar}};
  const auto It = Kinds.find(N);
  return It == Kinds.end() ? static_cast<TMapperKind>(-1) : It->second;
}
} // namespace

int DXFMapperKind(std::string_view AName) {
  return MapperKindByName(UpperNameText(dxfmap::Trim(AName)));
}

std::unique_ptr<TdxfMapper> CreateDXFMapper(std::string_view AName, TqdDXFEntity* AItem) {
  return CreateDXFMapperOfKind(DXFMapperKind(AName), AName, AItem);
}

std::unique_ptr<TdxfMapper> CreateDXFMapperOfKind(int AKind, std::string_view AName,
                                                  TqdDXFEntity* AItem) {
  using namespace dxfmap;
  if (!AItem) return nullptr;
  switch (static_cast<TMapperKind>(AKind)) {
  case mkNone: return nullptr;
  case mkFace:
  case mkRay: return std::make_unique<TRowMapper>();
  case mkCircle: return std::make_unique<TCircleMapper>();
  case mkPolyline: return std::make_unique<TPolylineMapper>();
  case mkVertex: return std::make_unique<TVertexMapper>();
  case mkLWPolyline: return std::make_unique<TLWPolylineMapper>();
  case mkSpline: return std::make_unique<TSplineMapper>();
  case mkInsert: return std::make_unique<TInsertMapper>();
  case mkText: return std::make_unique<TTextMapper>();
  case mkMText: return std::make_unique<TMTextMapper>();
  case mkShape: return std::make_unique<TShapeMapper>();
  case mkDimension: return std::make_unique<TDimensionMapper>();
  case mkLeader: return std::make_unique<TLeaderMapper>();
  case mkTolerance: return std::make_unique<TToleranceMapper>();
  case mkHatch: return std::make_unique<THatchMapper>(false);
  case mkMPolygon: return std::make_unique<THatchMapper>(true);
  case mkWipeout: return std::make_unique<TWipeoutMapper>();
  case mkMLine: return std::make_unique<TMLineMapper>();
  case mkViewport: return std::make_unique<TViewportMapper>();
  case mkLayer: case mkLType: case mkStyle: case mkVport: case mkBlockRecord: case mkDimStyle:
  case mkSortEnts: case mkSpatialFilter: case mkMLineStyle: case mkRasterVariables: case mkPlotSettings:
  case mkLayout: case mkXRecord: case mkDictionaryVar:
    return dxfmap::CreateTableMapper(AKind, AItem);
  }
  if (auto M = CreateDXFAnnotationMapper(AName, AItem)) return M;
  // Classes read by their generic data reader (solids, proxies, OLE frames, tables).
  if (dynamic_cast<TqdDXFRegion*>(AItem) || dynamic_cast<TqdDXFProxy*>(AItem) ||
      dynamic_cast<TqdDXFOle2Frame*>(AItem) || dynamic_cast<TqdDXFAcadTable*>(AItem))
    return std::make_unique<TDataMapper>(UpperNameText(Trim(AName)));
  return nullptr;
}

void RegisterDXFMapping() {
  TqdXRefLoader L;
  L.Extensions = {".dxf"};
  L.Load = [](TqdDXFConverter& ATarget, const std::string& AFileName) {
    return LoadDXFFile(AFileName, ATarget).Ok;
  };
  SetDefaultXRefLoader(std::move(L));
}
