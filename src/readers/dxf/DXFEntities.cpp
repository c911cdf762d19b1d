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
#include "Dimensions.h"
#include "Faces.h"
#include "Hatches.h"
#include "Inserts.h"
#include "Objects.h"
#include "Others.h"
#include "Polylines.h"
#include "TableItems.h"
#include "Texts.h"

namespace {

constexpr double cRadToDeg = 57.29577951308232;
// Kept data of one object (ACIS text, proxy bytes) never grows beyond this.
constexpr std::size_t cMaxKeptData = std::size_t(64) << 20;

std::string_view Trim(std::string_view S) {
  while (!S.empty() && (S.front() == ' ' || S.front() == '\t')) S.remove_prefix(1);
  while (!S.empty() && (S.back() == ' ' || S.back() == '\t' || S.back() == '\r')) S.remove_suffix(1);
  return S;
}

// Single precision as the widths are stored, with the float range as the limit.
double ToSingle(double V) {
  constexpr double M = 3.4028235e38;
  if (!std::isfinite(V)) return 0;
  return static_cast<float>(std::clamp(V, -M, M));
}

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

// ---------------------------------------------------------------- simple geometry

class TFaceMapper : public TBaseMapper {
public:
  void Commit(TdxfReader&, TqdDXFEntity& E) override {
    auto* S = dynamic_cast<TqdDXFSolid*>(&E);
    if (!S) return;
    S->SetPoint(FP[0]);
    S->SetPoint1(FP[1]);
    S->SetPoint2(FP[2]);
    S->SetPoint3(FP[3]);
    S->SetExtrusion(FExtr);
    S->SetZThick(FThickness);
    if (auto* F3 = dynamic_cast<TqdDXF3dFace*>(S)) F3->SetFlags(I(70));
  }
};

class TRayMapper : public TBaseMapper {
public:
  void Commit(TdxfReader&, TqdDXFEntity& E) override {
    if (auto* R = dynamic_cast<TqdDXFRay*>(&E)) {
      R->SetStartPoint(FP[0]);
      R->SetDirection(FP[1]);
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
  // meanings (its 11 is the insertion point, its 40 the column width).
  void Property(TdxfReader& R) override {
    if (R.Code() == 101) FEmbedded = true;
    if (!FEmbedded) TBaseMapper::Property(R);
  }
  void Code(TdxfReader& R, int C) override {
    if (C == 3 && FText.size() < cMaxKeptData) FText += R.UValue();
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
  }

private:
  bool FEmbedded = false;
  std::string FText;
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

// Lists filled one item per group: the file's size bounds them, these caps bound the
// memory a hostile file can make per group read.
constexpr std::size_t cMaxHatchItems = std::size_t(1) << 22;
// Edges and multiline vertices weigh a few hundred bytes each.
constexpr std::size_t cMaxHeavyItems = std::size_t(1) << 18;

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

// ---------------------------------------------------------------- table items

class TLayerMapper : public TBaseMapper {
public:
  void Commit(TdxfReader&, TqdDXFEntity& E) override {
    auto* L = dynamic_cast<TqdDXFLayer*>(&E);
    if (!L) return;
    L->SetVisible(I(62, 7) >= 0);
    if (FHasI280[10]) L->SetIsPlotting(FI280[10] != 0);
  }
};

// Every 49 starts an element; the element codes before the first 49 have nothing to
// act on and are ignored.
class TLTypeMapper : public TBaseMapper {
public:
  void Code(TdxfReader& R, int C) override {
    if (C == 49) {
      if (FElements.size() < cMaxHeavyItems) FElements.push_back({R.FloatValue()});
      return;
    }
    if (FElements.empty()) return;
    TqdLineTypeElement& El = FElements.back();
    switch (C) {
      case 74: El.ComplexType = R.IntValue(); break;
      case 75: El.ShapeNumber = R.IntValue(); break;
      case 46: El.Scale = R.FloatValue(); break;
      case 50: El.Rotation = R.FloatValue(); break;
      case 44: El.Offset.X = R.FloatValue(); break;
      case 45: El.Offset.Y = R.FloatValue(); break;
      case 9: El.Text = R.UValue(); break;
      default: break;
    }
  }
  void Commit(TdxfReader&, TqdDXFEntity& E) override {
    auto* T = dynamic_cast<TqdDXFLineType*>(&E);
    if (!T || T->ElementCount() > 0) return;
    for (const TqdLineTypeElement& El : FElements)
      if (std::isfinite(El.Dash) && std::isfinite(El.Scale) && std::isfinite(El.Rotation) && IsFiniteFPoint(El.Offset))
        T->AddElement(El);
  }

private:
  std::vector<TqdLineTypeElement> FElements;
};

class TStyleMapper : public TBaseMapper {
public:
  void Code(TdxfReader& R, int C) override {
    if (C == 1001) FAcad = Trim(R.Value()) == "ACAD";
    else if (FAcad && C == 1000) FFace = std::string(Trim(R.UValue()));
    else if (FAcad && C == 1071) FFontStyle = R.IntValue(), FHasFontStyle = true;
  }
  void Commit(TdxfReader&, TqdDXFEntity& E) override {
    auto* St = dynamic_cast<TqdDXFStyle*>(&E);
    if (!St) return;
    if (FHasS[3]) {
      const std::string Font(Trim(S(3)));
      St->FPrimaryFont = Font.empty() ? "simplex.shx" : Font;
    } else {
      St->FPrimaryFont = "txt";
    }
    if (FHasS[4]) St->FBigFont = std::string(Trim(S(4)));
    if (!FFace.empty()) St->FFontName = FFace;
    if (FHasFontStyle) St->FFontStyle = FFontStyle;
  }

private:
  bool FAcad = false;
  std::string FFace;
  int FFontStyle = 0;
  bool FHasFontStyle = false;
};

class TVportMapper : public TBaseMapper {
public:
  void Code(TdxfReader& R, int C) override {
    if (C >= 110 && C <= 132) {
      TFPoint& P = (C % 10 == 0) ? FUcs[0] : (C % 10 == 1) ? FUcs[1] : FUcs[2];
      const double V = R.FloatValue();
      if (C < 120) P.X = V;
      else if (C < 130) P.Y = V;
      else P.Z = V;
      FHasUcs = true;
    }
  }
  void Commit(TdxfReader&, TqdDXFEntity& E) override {
    auto* V = dynamic_cast<TqdDXFVport*>(&E);
    if (!V) return;
    if (HasI(72)) V->FCircleZoomPercent = I(72);
    if (FHasUcs && IsFiniteFPoint(FUcs[0]) && IsFiniteFPoint(FUcs[1]) && IsFiniteFPoint(FUcs[2])) {
      V->FUCSOrigin = FUcs[0];
      V->FUCSXDir = FUcs[1];
      V->FUCSYDir = FUcs[2];
    }
    V->FUCSVP = I(65) == 1;
    if (HasF(41) && std::isfinite(F(41))) V->FViewAspectRatio = F(41);
    if (IsFiniteFPoint(FP[2])) V->FViewCenterPoint = FP[2];
    if (FHasP[6]) V->SetViewDirection(FP[6]);
    if (IsFiniteFPoint(FP[7])) V->FViewTarget = FP[7];
    if (HasF(40) && std::isfinite(F(40))) V->FViewHeight = F(40);
    if (std::isfinite(F(51))) V->FViewTwistAngle = F(51);
  }

private:
  TFPoint FUcs[3] = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
  bool FHasUcs = false;
};

// The dimension variables by their DXF codes; the text style by handle.
class TDimStyleMapper : public TBaseMapper {
public:
  // Codes absent from the file keep the item's defaults.
  explicit TDimStyleMapper(const TqdDXFEntity* AItem) {
    if (const auto* D = dynamic_cast<const TqdDXFDimensionStyle*>(AItem)) FProps = D->FDimProps;
  }
  void Code(TdxfReader& R, int C) override {
    TqdDimStyle& D = FProps;
    auto Real = [&](double& V) {
      const double X = R.FloatValue();
      if (std::isfinite(X)) V = X;
    };
    auto Flag = [&](bool& B) { B = R.IntValue() != 0; };
    auto Colour = [&](TqdColorCAD& K) { K = TqdColorCAD::Index(std::clamp(R.IntValue(), 0, 256)); };
    auto Weight = [&](double& W) {
      const int I = R.IntValue();
      if (I >= -3 && I <= 211) W = I > 0 ? I / 100.0 : I;
    };
    switch (C) {
      case 3: D.Post = R.UValue(); break;
      case 4: D.APost = R.UValue(); break;
      case 40: Real(D.Scale); break;
      case 41: Real(D.Asz); break;
      case 42: Real(D.Exo); break;
      case 44: Real(D.Exe); break;
      case 141: Real(D.Cen); break;
      case 140: Real(D.Txt); break;
      case 142: Real(D.Tsz); break;
      case 143: Real(D.AltF); break;
      case 144: Real(D.LFac); break;
      case 147: Real(D.Gap); break;
      case 73: Flag(D.Tih); break;
      case 74: Flag(D.Toh); break;
      case 75: Flag(D.SE1); break;
      case 76: Flag(D.SE2); break;
      case 77: D.Tad = R.IntValue(); break;
      case 78: D.Zin = std::clamp(R.IntValue(), 0, 15); break;
      case 278: D.DSep = ClampDimDSep(R.IntValue()); break;
      case 170: Flag(D.Alt); break;
      case 172: Flag(D.Tofl); break;
      case 173: Flag(D.Sah); break;
      case 174: D.Tix = R.IntValue(); break;
      case 176: Colour(D.ClrD); break;
      case 177: Colour(D.ClrE); break;
      case 178: Colour(D.ClrT); break;
      case 271: D.Dec = R.IntValue(); break;
      case 281: Flag(D.SD1); break;
      case 282: Flag(D.SD2); break;
      case 371: Weight(D.LwD); break;
      case 372: Weight(D.LwE); break;
      case 340: FTextStyle = R.HandleValue(); break;
      // Arrow blocks: by name up to R12, by block-record handle since.
      case 5: case 6: case 7: FBlkNames[C == 5 ? 0 : C == 6 ? 1 : 2] = std::string(Trim(R.UValue())); break;
      case 341: case 342: case 343: case 344: FBlkHandles[C == 341 ? 3 : C - 342] = R.HandleValue(); break;
      default: break;
    }
  }
  void Commit(TdxfReader& R, TqdDXFEntity& E) override {
    auto* D = dynamic_cast<TqdDXFDimensionStyle*>(&E);
    if (!D) return;
    FProps.Dec = ClampDimDec(FProps.Dec);
    D->FDimProps = FProps;
    for (int I = 0; I < 4; ++I) {
      if (!FBlkNames[I].empty()) {
        D->FBlks[static_cast<std::size_t>(I)] = FBlkNames[I];
        const int T = ArrowTypeByName(FBlkNames[I], 0);
        std::uint8_t& Slot = I == 0 ? D->FDimProps.Arrows.Blk : I == 1 ? D->FDimProps.Arrows.Blk1 : I == 2 ? D->FDimProps.Arrows.Blk2 : D->FDimProps.Arrows.LrBlk;
        Slot = ArrowTypeToByte(T);
      }
      if (FBlkHandles[I]) D->FBlkHandles[static_cast<std::size_t>(I)] = FBlkHandles[I];
    }
    if (!FTextStyle) return;
    if (const TqdDXFEntity* Styles = R.Converter()->GetSection(csStyles))
      for (int I = 0; I < Styles->Count(); ++I)
        if (auto* St = dynamic_cast<TqdDXFStyle*>(Styles->GetEntity(I)); St && St->Handle() == FTextStyle) {
          D->SetTextStyle(St);
          break;
        }
  }

private:
  TqdDimStyle FProps;
  std::uint64_t FTextStyle = 0;
  std::string FBlkNames[4];
  std::uint64_t FBlkHandles[4] = {};
};

class TBlockRecordMapper : public TBaseMapper {
public:
  void Commit(TdxfReader& R, TqdDXFEntity& E) override {
    auto* Rec = dynamic_cast<TqdDXFBlockRecord*>(&E);
    if (!Rec) return;
    const std::string Name(Trim(S(2)));
    if (Name.empty()) {
      char Buf[24];
      std::snprintf(Buf, sizeof Buf, "*U$%llX", static_cast<unsigned long long>(E.Handle()));
      Rec->SetNameUnchecked(Buf);
    } else if (Name.size() == 2 && Name[0] == '*') {
      const TqdDXFEntity* Blocks = R.Converter()->GetSection(csBlocks);
      Rec->SetNameUnchecked(Name + std::to_string(Blocks ? Blocks->Count() : 0));
    }
  }
};

// ---------------------------------------------------------------- objects

// After the subclass marker, 5 is a sort handle and 331 an entity handle; the two
// lists pair up to the shorter one.
class TSortEntsMapper : public TBaseMapper {
public:
  void Property(TdxfReader& R) override {
    const int C = R.Code();
    if (C == 102) FInReactors = !Trim(R.Value()).empty() && Trim(R.Value()).front() == '{';
    if (C == 330 && !FInReactors) FBlockRecord = R.HandleValue();
    if (C == 100 && Trim(R.Value()) == "AcDbSortentsTable") FTable = true;
    else if (FTable && C == 5 && FSort.size() < cMaxHatchItems) FSort.push_back(R.HandleValue());
    else if (FTable && C == 331 && FEnts.size() < cMaxHatchItems) FEnts.push_back(R.HandleValue());
    TBaseMapper::Property(R);
  }
  void Commit(TdxfReader&, TqdDXFEntity& E) override {
    auto* T = dynamic_cast<TqdDXFSortEntsTable*>(&E);
    if (!T) return;
    const std::size_t N = std::min(FSort.size(), FEnts.size());
    T->FPairs.clear();
    for (std::size_t K = 0; K < N; ++K) T->FPairs.push_back({FEnts[K], FSort[K]});
    T->SetNameUnchecked("ACAD_SORTENTS");
    // The last owner outside reactor groups is the record whose block is sorted.
    if (FBlockRecord) T->BlockItem().SetLink(TqdLinkObject::ByHandle(FBlockRecord));
  }

private:
  bool FInReactors = false;
  std::uint64_t FBlockRecord = 0;
  bool FTable = false;
  std::vector<std::uint64_t> FSort, FEnts;
};

// 10/20 boundary points (each 20 completes one), 40s by position: the front clip
// distance after 72 = 1, the rest fill the two 4 x 3 matrices; values beyond the 24
// they hold are ignored.
class TSpatialFilterMapper : public TBaseMapper {
public:
  void Code(TdxfReader& R, int C) override {
    if (C == 10) FX = R.FloatValue();
    else if (C == 20 && FBounds.size() < cMaxHatchItems) FBounds.push_back({FX, R.FloatValue(), 0});
    else if (C == 72) FFrontPending = R.IntValue() == 1;
    else if (C == 40) {
      const double V = R.FloatValue();
      if (FFrontPending) {
        FFront = V;
        FFrontPending = false;
      } else if (FM.size() < 24) {
        FM.push_back(V);
      }
    }
  }
  void Commit(TdxfReader&, TqdDXFEntity& E) override {
    auto* S = dynamic_cast<TqdCADSpatialFilter*>(&E);
    if (!S) return;
    for (const TFPoint& P : FBounds)
      if (IsFiniteFPoint(P)) S->FBounds.push_back(P);
    S->SetExtrusion(FExtr);
    if (IsFiniteFPoint(FP[1])) S->FClipbdorg = FP[1];
    S->FDisplayBounds = I(71) == 1;
    S->FFrontClip = I(72) == 1;
    if (std::isfinite(FFront)) S->FFrontDist = FFront;
    S->FBackClip = I(73) == 1;
    if (std::isfinite(F(41))) S->FBackDist = F(41);
    for (int K = 0; K < 2; ++K) {
      if (FM.size() < static_cast<std::size_t>(12 * (K + 1))) break;
      const double* m = &FM[12 * K];
      bool Finite = true;
      for (int J = 0; J < 12; ++J) Finite &= std::isfinite(m[J]);
      if (!Finite) continue;
      TFMatrix& M = K == 0 ? S->FInvBlkTransform : S->FClip;
      M.EX = {m[0], m[4], m[8]};
      M.EY = {m[1], m[5], m[9]};
      M.EZ = {m[2], m[6], m[10]};
      M.E0 = {m[3], m[7], m[11]};
    }
  }

private:
  double FX = 0;
  std::vector<TFPoint> FBounds;
  bool FFrontPending = false;
  double FFront = 0;
  std::vector<double> FM;
};

// I71 switches to element codes: 49 starts an element, 62/420/6 set the last one
// (making one first when there is none).
class TMLineStyleMapper : public TBaseMapper {
public:
  void Property(TdxfReader& R) override {
    const int C = R.Code();
    if (FElementsPart && (C == 49 || C == 62 || C == 420 || C == 6)) {
      if (C == 49) {
        if (FElements.size() < cMaxHeavyItems) FElements.push_back({R.FloatValue()});
        return;
      }
      if (FElements.empty()) FElements.push_back({0});
      TEl& El = FElements.back();
      if (C == 62) El.Color = TqdColorCAD::Index(std::clamp(R.IntValue(), 0, 256));
      else if (C == 420) El.Color = TqdColorCAD::RGB(SwapRGB(R.IntValue()));
      else El.LType = std::string(Trim(R.UValue()));
      return;
    }
    if (C == 420) FRGB = static_cast<std::int64_t>(R.IntValue() & 0xFFFFFF);
    TBaseMapper::Property(R);
    if (C == 71) FElementsPart = true;
  }
  void Commit(TdxfReader& R, TqdDXFEntity& E) override {
    auto* M = dynamic_cast<TqdMLineStyle*>(&E);
    if (!M) return;
    M->SetNameUnchecked(Trim(S(2)));
    if (FRGB >= 0) M->SetColorCAD(TqdColorCAD::RGB(SwapRGB(static_cast<int>(FRGB))));
    else if (HasI(62)) M->SetColorCAD(TqdColorCAD::Index(std::clamp(I(62), 0, 256)));
    M->SetFlags(I(70));
    if (M->Count() > 0) return;
    for (const TEl& El : FElements) {
      TqdDXFLineType* LT = El.LType.empty() ? nullptr : R.Converter()->LTypeByName(El.LType);
      TqdMLineEntry* Entry = M->NewEntry(El.Color, LT, std::isfinite(El.Offset) ? El.Offset : 0);
      if (Entry && !El.LType.empty() && !LT) Entry->LineTypeItem().SetLink(TqdLinkObject::ByName(El.LType));
    }
  }

private:
  static std::uint32_t SwapRGB(int V) {
    const auto Rgb = static_cast<std::uint32_t>(V) & 0xFFFFFF;
    return ((Rgb & 0xFF) << 16) | (Rgb & 0xFF00) | ((Rgb >> 16) & 0xFF);
  }
  struct TEl {
    double Offset = 0;
    TqdColorCAD Color = TqdColorCAD::Index(clByLayer);
    std::string LType;
  };
  bool FElementsPart = false;
  std::vector<TEl> FElements;
  std::int64_t FRGB = -1;
};

// The page setup codes; in a LAYOUT they come before the subclass marker
// "AcDbLayout", after which 10..37 are the layout's own points.
class TPlotMapper : public TBaseMapper {
public:
  explicit TPlotMapper(bool ALayout) : FLayout(ALayout) {}
  void Property(TdxfReader& R) override {
    const int C = R.Code();
    if (C == 100 && Trim(R.Value()) == "AcDbLayout") FLayoutPart = true;
    if (FLayoutPart) {
      TBaseMapper::Property(R);
      return;
    }
    TqdPlotSettingsData& D = FData;
    auto Num = [&] { return R.FloatValue(); };
    auto Byte = [&] { return static_cast<std::uint8_t>(std::clamp(R.IntValue(), 0, 255)); };
    switch (C) {
      case 1: D.PageSetupName = R.UValue(); break;
      case 2: D.PrintOrConfigName = R.UValue(); break;
      case 4: D.PaperSize = R.UValue(); break;
      case 6: D.PlotViewName = R.UValue(); break;
      case 7: D.CurrentStyleSheet = R.UValue(); break;
      case 40: D.UnprintableMargin.Left = Num(); break;
      case 41: D.UnprintableMargin.Bottom = Num(); break;
      case 42: D.UnprintableMargin.Right = Num(); break;
      case 43: D.UnprintableMargin.Top = Num(); break;
      case 44: D.PlotPaperSize.X = Num(); break;
      case 45: D.PlotPaperSize.Y = Num(); break;
      case 46: D.PlotOrigin.X = Num(); break;
      case 47: D.PlotOrigin.Y = Num(); break;
      case 48: D.PlotWindowAreaMin.X = Num(); break;
      case 49: D.PlotWindowAreaMin.Y = Num(); break;
      case 140: D.PlotWindowAreaMax.X = Num(); break;
      case 141: D.PlotWindowAreaMax.Y = Num(); break;
      case 142: D.NumeratorOfCustomPrintScale = Num(); break;
      case 143: D.DenominatorOfCustomPrintScale = Num(); break;
      case 70: D.PlotLayoutFlags = static_cast<TqdPlotLayoutFlags>(R.IntValue() & 0xFFFF); break;
      case 72: D.PlotPaperUnits = Byte(); break;
      case 73: FRotation = R.IntValue(); FHasRotation = true; break;
      case 74: D.PlotType = Byte(); break;
      case 75: D.StandardScaleType = Byte(); break;
      case 76: D.ShadePlotMode = R.IntValue(); break;
      case 77: D.ShadePlotResolutionLevel = R.IntValue(); break;
      case 78: D.ShadePlotCustomDPI = R.IntValue(); break;
      case 147: D.FloatingPointScaleFactor = Num(); break;
      case 148: D.PaperImageOrigin.X = Num(); break;
      case 149: D.PaperImageOrigin.Y = Num(); break;
      default: break;
    }
  }
  void Commit(TdxfReader&, TqdDXFEntity& E) override {
    // The tab order holds whatever the page setup is like.
    if (auto* L = dynamic_cast<TqdDXFLayout*>(&E); L && FLayout && FLayoutPart && HasI(71))
      L->SetTabOrder(I(71));
    if (!Finite()) return;  // a page setup with non-finite numbers stays the default
    TqdDXFPlotSettings Tmp;
    TqdDXFPlotSettings* P = FLayout ? &Tmp : dynamic_cast<TqdDXFPlotSettings*>(&E);
    if (!P) return;
    const std::string Name = P->Name();
    P->FData = FData;
    if (FHasRotation) P->SetPlotRotation(FRotation);
    if (!FLayout) {
      if (!Name.empty()) P->SetNameUnchecked(Name);
      return;
    }
    auto* L = dynamic_cast<TqdDXFLayout*>(&E);
    if (!L) return;
    if (!L->PlotSettings()) return;  // a layout that keeps no page setup
    L->SetPlotSettings(&Tmp);
    if (IsFiniteFPoint(FP[3]) && IsFiniteFPoint(FP[6]) && IsFiniteFPoint(FP[7])) {
      L->FUCSOrigin = FP[3];
      L->FUCSXDir = FP[6];
      L->FUCSYDir = FP[7];
    }
  }

private:
  bool Finite() const {
    const TqdPlotSettingsData& D = FData;
    for (double V : {D.UnprintableMargin.Left, D.UnprintableMargin.Top, D.UnprintableMargin.Right,
                     D.UnprintableMargin.Bottom, D.PlotPaperSize.X, D.PlotPaperSize.Y, D.PlotOrigin.X, D.PlotOrigin.Y,
                     D.PlotWindowAreaMin.X, D.PlotWindowAreaMin.Y, D.PlotWindowAreaMax.X, D.PlotWindowAreaMax.Y,
                     D.NumeratorOfCustomPrintScale, D.DenominatorOfCustomPrintScale, D.FloatingPointScaleFactor,
                     D.PaperImageOrigin.X, D.PaperImageOrigin.Y})
      if (!std::isfinite(V)) return false;
    return true;
  }
  bool FLayout;
  bool FLayoutPart = false;
  TqdPlotSettingsData FData;
  int FRotation = 0;
  bool FHasRotation = false;
};

// After the subclass marker (and its optional 280) every group is kept as typed data.
class TXRecordMapper : public TBaseMapper {
public:
  void Property(TdxfReader& R) override {
    const int C = R.Code();
    if (C == 100 && Trim(R.Value()) == "AcDbXrecord") {
      FData = true;
      FFirst = true;
      return;
    }
    if (!FData) return;
    if (FFirst && C == 280) {
      FFirst = false;
      return;
    }
    FFirst = false;
    if (FCount >= cMaxHatchItems) return;
    ++FCount;
    if ((C >= 10 && C <= 59) || (C >= 110 && C <= 149) || (C >= 210 && C <= 239) || (C >= 460 && C <= 469) ||
        (C >= 1010 && C <= 1059)) {
      const double V = R.FloatValue();
      if (std::isfinite(V)) FItems.AddDouble(C, V);
    } else if ((C >= 320 && C <= 369) || (C >= 390 && C <= 399) || (C >= 480 && C <= 481) || C == 1005 ||
               C == 105 || C == 5) {
      FItems.AddInt64(C, static_cast<std::int64_t>(R.HandleValue()));
    } else if ((C >= 60 && C <= 99) || (C >= 170 && C <= 179) || (C >= 270 && C <= 299) || (C >= 370 && C <= 389) ||
               (C >= 400 && C <= 409) || (C >= 420 && C <= 459) || (C >= 1060 && C <= 1071)) {
      FItems.AddInt(C, R.IntValue());
    } else {
      FItems.AddString(C, R.UValue());
    }
  }
  void Commit(TdxfReader&, TqdDXFEntity& E) override {
    if (auto* X = dynamic_cast<TqdDXFXRecord*>(&E)) X->FData = std::move(FItems);
  }

private:
  bool FData = false, FFirst = false;
  std::size_t FCount = 0;
  TqdCADExtendedData FItems;
};

class TDictionaryVarMapper : public TBaseMapper {
public:
  void Commit(TdxfReader&, TqdDXFEntity& E) override {
    if (auto* V = dynamic_cast<TqdDXFDictionaryVar*>(&E)) {
      V->FValue = S(1);
      V->FSchema = FI280[0];
    }
  }
};

class TRasterVariablesMapper : public TBaseMapper {
public:
  void Commit(TdxfReader&, TqdDXFEntity& E) override {
    if (auto* V = dynamic_cast<TqdCADRasterVariables*>(&E)) {
      V->FDisplayFrame = I(70) == 1;
      V->FDisplayQuality = I(71) == 1 ? 1 : 0;
      V->FUnits = I(72);
    } else if (auto* W = dynamic_cast<TqdCADWipeoutVariables*>(&E)) {
      W->FFrame = I(70) == 1;
    }
  }
};

}  // namespace

namespace {
enum TMapperKind {
  mkNone, mkFace, mkRay, mkCircle, mkPolyline, mkVertex, mkLWPolyline, mkSpline, mkInsert,
  mkText, mkMText, mkShape, mkDimension, mkLeader, mkTolerance, mkHatch, mkMPolygon, mkWipeout,
  mkMLine, mkViewport, mkLayer, mkLType, mkStyle, mkVport, mkBlockRecord, mkDimStyle,
  mkSortEnts, mkSpatialFilter, mkMLineStyle, mkRasterVariables, mkPlotSettings, mkLayout,
  mkXRecord, mkDictionaryVar
};

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
  return MapperKindByName(UpperNameText(Trim(AName)));
}

std::unique_ptr<TdxfMapper> CreateDXFMapper(std::string_view AName, TqdDXFEntity* AItem) {
  return CreateDXFMapperOfKind(DXFMapperKind(AName), AName, AItem);
}

std::unique_ptr<TdxfMapper> CreateDXFMapperOfKind(int AKind, std::string_view AName,
                                                  TqdDXFEntity* AItem) {
  if (!AItem) return nullptr;
  switch (static_cast<TMapperKind>(AKind)) {
  case mkNone: return nullptr;
  case mkFace: return std::make_unique<TFaceMapper>();
  case mkRay: return std::make_unique<TRayMapper>();
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
  case mkLayer: return std::make_unique<TLayerMapper>();
  case mkLType: return std::make_unique<TLTypeMapper>();
  case mkStyle: return std::make_unique<TStyleMapper>();
  case mkVport: return std::make_unique<TVportMapper>();
  case mkBlockRecord: return std::make_unique<TBlockRecordMapper>();
  case mkDimStyle: return std::make_unique<TDimStyleMapper>(AItem);
  case mkSortEnts: return std::make_unique<TSortEntsMapper>();
  case mkSpatialFilter: return std::make_unique<TSpatialFilterMapper>();
  case mkMLineStyle: return std::make_unique<TMLineStyleMapper>();
  case mkRasterVariables: return std::make_unique<TRasterVariablesMapper>();
  case mkPlotSettings: return std::make_unique<TPlotMapper>(false);
  case mkLayout: return std::make_unique<TPlotMapper>(true);
  case mkXRecord: return std::make_unique<TXRecordMapper>();
  case mkDictionaryVar: return std::make_unique<TDictionaryVarMapper>();
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
