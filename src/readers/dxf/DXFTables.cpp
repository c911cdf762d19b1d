// Group codes -> attributes of the table entries (layers, linetypes, styles, view
// ports, dimension styles, block records) and of the non-graphical objects the
// reader creates; the entities are in DXFEntities.cpp.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string>
#include <vector>

#include "DXFMapperBase.h"
#include "Objects.h"
#include "Others.h"
#include "TableItems.h"

namespace {

using namespace dxfmap;

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

std::unique_ptr<TdxfMapper> dxfmap::CreateTableMapper(int AKind, TqdDXFEntity* AItem) {
  switch (static_cast<TMapperKind>(AKind)) {
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
    default: return nullptr;
  }
}
