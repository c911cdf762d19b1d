// The DXF writer: handles, the header and classes, the order of the sections, and
// the safe save. Tables, blocks and entities, objects each have a file of their own.
#include "DXFWriter.h"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <ostream>

#include "Blocks.h"
#include "DXFConv.h"
#include "DXFWriterInternal.h"
#include "DimStyles.h"
#include "Objects.h"
#include "Polylines.h"
#include "Schema.h"
#include "TableItems.h"
#include "XMLAttribs.h"

namespace dxfw {

std::string CodePageName(int ACodePage) { return "ANSI_" + std::to_string(ACodePage ? ACodePage : 1252); }

std::string LayerName(const TqdDXFEntity& E) {
  const TqdDXFEntity* L = reinterpret_cast<const TqdDXFEntity*>(E.Layer());
  std::string N = L ? L->Name() : std::string();
  return N.empty() ? std::string("0") : N;
}

std::string BlockName(const TContext& X, const TqdDXFEntity& B) {
  // The model space and the first paper space under the names the format gives them.
  // (a name that differs only in case is kept).
  std::string N = B.Name();
  if (X.R13() && &B == X.ModelBlock && !SameNameText(N, "*Model_Space")) return "*Model_Space";
  if (X.R13() && &B == X.PaperBlock && !SameNameText(N, "*Paper_Space")) return "*Paper_Space";
  if (SameNameText(N, "$MODEL_SPACE")) return "*Model_Space";
  if (SameNameText(N, "$PAPER_SPACE")) return "*Paper_Space";
  return N;
}

std::uint64_t TContext::LayoutOf(const TqdDXFBlock* B) const {
  auto It = LayoutHandles.find(B);
  return It == LayoutHandles.end() ? 0 : It->second;
}

namespace {

const char* VersionName(TqdDWGVersion R) {
  if (R >= acR2018) return "AC1032";
  if (R >= acR2000) return "AC1015";
  return "AC1009";
}

// Handles for every item of the drawing: its own when it has one that no item before
// it took, else a fresh one above all of them.
void GiveHandles(TContext& X) {
  std::vector<const TqdDXFEntity*> Items;
  std::uint64_t Synthetic = 64;
  std::vector<const TqdDXFBlock*> Blocks;
  std::vector<const TqdDXFLayout*> Layouts;
  struct TWalk {
    std::vector<const TqdDXFEntity*>& Items;
    std::vector<const TqdDXFBlock*>& Blocks;
    std::vector<const TqdDXFLayout*>& Layouts;
    std::uint64_t& Synthetic;
    // AGraphical: E is a block's entity (or one of its parts), never a block or layout.
    void Go(const TqdDXFEntity* E, int Depth, bool AGraphical) {
      if (!E || Depth > cnstMaxTreeDepth) return;
      Items.push_back(E);
      const TqdDXFBlock* B = AGraphical ? nullptr : dynamic_cast<const TqdDXFBlock*>(E);
      if (B) {
        Blocks.push_back(B);
        Synthetic += 3;  // end marker, record, layout link
      } else if (const auto* L = AGraphical ? nullptr : dynamic_cast<const TqdDXFLayout*>(E)) {
        // A layout lists its block's entities: they are the block's.
        Layouts.push_back(L);
        return;
      }
      // An entity's parts have handles of their own only when they are written as items
      // (heavy polyline vertices, attributes); a light polyline's vertices are not.
      if (AGraphical && !E->Complex() && !E->IsInsert()) return;
      const int N = E->Count();
      if (N > 0 && E->Complex()) ++Synthetic;  // SEQEND
      for (int I = 0; I < N; ++I) Go(E->GetEntity(I), Depth + 1, AGraphical || B);
    }
  } W{Items, Blocks, Layouts, Synthetic};
  if (X.C.Main()) W.Go(X.C.Main(), 0, false);
  // Sorted by handle (then by place), the first of equal handles keeps it.
  std::vector<std::pair<std::uint64_t, std::size_t>> ByHandle;
  ByHandle.reserve(Items.size());
  for (std::size_t I = 0; I < Items.size(); ++I) ByHandle.emplace_back(Items[I]->Handle(), I);
  std::sort(ByHandle.begin(), ByHandle.end());
  std::uint64_t Max = X.C.FMaxHandle;
  if (!ByHandle.empty()) Max = std::max(Max, ByHandle.back().first);
  X.Next = Max + 1;
  std::vector<std::size_t> Renumber;
  for (std::size_t K = 0; K < ByHandle.size(); ++K)
    if (ByHandle[K].first == 0 || (K > 0 && ByHandle[K - 1].first == ByHandle[K].first)) Renumber.push_back(ByHandle[K].second);
  std::sort(Renumber.begin(), Renumber.end());
  X.Fresh.reserve(Renumber.size());
  for (std::size_t I : Renumber) X.Fresh.emplace(Items[I], X.NewHandle());
  for (const TqdDXFEntity* E : Items)
    if (E->FHasExtra)
      if (const TqdDXFDictionary* D = E->Dictionary()) X.DictOwner.emplace(D, E);
  for (const TqdDXFBlock* B : Blocks)
    if (B->BlockRecord() && X.H(B->BlockRecord())) X.RecordOf[B] = X.H(B->BlockRecord());
  for (const TqdDXFLayout* L : Layouts)
    if (L->PaperSpaceBlockField()) X.LayoutHandles[L->PaperSpaceBlockField()] = X.H(L);
  for (const TqdDXFBlock* B : Blocks)
    if (!X.RecordOf.count(B)) {
      X.RecordOf[B] = X.NewHandle();
      X.RecordlessBlocks.push_back(B);
    }
  // The spaces take the format's names unless another block holds one of them.
  const TqdDXFBlock* Paper = nullptr;
  for (int I = 0; I < X.C.LayoutsCount(); ++I)
    if (const TqdDXFLayout* L = X.C.GetLayout(I); L && L->PaperSpaceBlockField() && L->PaperSpaceBlockField() != X.C.ModelSpace()) {
      Paper = L->PaperSpaceBlockField();
      break;
    }
  bool ModelNameFree = true, PaperNameFree = true;
  for (const TqdDXFBlock* B : Blocks) {
    const std::string N = B->Name();
    if (B != X.C.ModelSpace() && (SameNameText(N, "*Model_Space") || SameNameText(N, "$MODEL_SPACE"))) ModelNameFree = false;
    if (B != Paper && (SameNameText(N, "*Paper_Space") || SameNameText(N, "$PAPER_SPACE"))) PaperNameFree = false;
  }
  if (ModelNameFree) X.ModelBlock = X.C.ModelSpace();
  if (PaperNameFree) X.PaperBlock = Paper;
  X.Seed = X.Next + Synthetic;
  X.Total = Items.size() ? Items.size() : 1;
}

void HeaderVar(TqdDXFOutput& O, const char* AName) { O.Str(9, AName); }

void WriteHeader(TContext& X) {
  TqdDXFOutput& O = X.Out;
  const TqdHeadVarStruct& H = X.C.HeadVarStruct();
  // Names of table items only when they differ from a fresh drawing's: a reader may
  // make the item it names as soon as it reads the name, out of its table's order.
  O.Str(0, "SECTION");
  O.Str(2, "HEADER");
  HeaderVar(O, "$ACADVER");
  O.Str(1, VersionName(X.Rel));
  if (X.R2000()) {
    HeaderVar(O, "$ACADMAINTVER");
    O.Int(X.Rel >= acR2018 ? 90 : 70, X.Rel >= acR2018 ? 105 : 20);
  }
  // From R2007 text is UTF-8 whatever the page says; the page is kept for readers
  // that convert older releases' text.
  if (H.CodePage || X.Rel < acR2007) {
    HeaderVar(O, "$DWGCODEPAGE");
    O.Str(3, CodePageName(H.CodePage));
  }
  HeaderVar(O, "$INSBASE");
  O.Point(10, H.InsBase);
  HeaderVar(O, "$EXTMIN");
  O.Point(10, H.ExtMim);
  HeaderVar(O, "$EXTMAX");
  O.Point(10, H.ExtMax);
  HeaderVar(O, "$LTSCALE");
  O.Dbl(40, H.LTScale);
  HeaderVar(O, "$ATTMODE");
  O.Int(70, H.AttMode == attOff ? 0 : H.AttMode == attNormal ? 1 : 2);
  HeaderVar(O, "$TEXTSIZE");
  O.Dbl(40, H.TextSize);
  HeaderVar(O, "$PDMODE");
  O.Int(70, H.PointDisplayMode);
  HeaderVar(O, "$PDSIZE");
  O.Dbl(40, H.PointDisplaySize);
  if (H.TextStyle != cnstDefaultHeadVarStruct.TextStyle) {
    HeaderVar(O, "$TEXTSTYLE");
    O.Str(7, H.TextStyle);
  }
  if (H.CLayer != cnstDefaultHeadVarStruct.CLayer) {
    HeaderVar(O, "$CLAYER");
    O.Str(8, H.CLayer);
  }
  if (H.CELType != cnstDefaultHeadVarStruct.CELType) {
    HeaderVar(O, "$CELTYPE");
    O.Str(6, H.CELType);
  }
  HeaderVar(O, "$CECOLOR");
  O.Int(62, H.CEColor.Active == acIndexColor ? H.CEColor.IndexValue() : 256);
  HeaderVar(O, "$FILLETRAD");
  O.Dbl(40, H.FilletRadius);
  HeaderVar(O, "$TILEMODE");
  O.Int(70, H.TileMode);
  HeaderVar(O, "$UCSORG");
  O.Point(10, H.UCSORG);
  HeaderVar(O, "$UCSXDIR");
  O.Point(10, H.UCSXDir);
  HeaderVar(O, "$UCSYDIR");
  O.Point(10, H.UCSYDir);
  if (H.DimStyle != cnstDefaultHeadVarStruct.DimStyle) {
    HeaderVar(O, "$DIMSTYLE");
    O.Str(2, H.DimStyle);
  }
  HeaderVar(O, "$PSLTSCALE");
  O.Int(70, H.PSLTScale);
  const auto Weight = [](double W) { return W > 0 ? static_cast<int>(std::lround(W * 100)) : static_cast<int>(W); };
  if (X.R13()) {
    HeaderVar(O, "$CELTSCALE");
    O.Dbl(40, H.CELTScale);
    if (H.DimTextStyle != cnstDefaultHeadVarStruct.DimTextStyle) {
      HeaderVar(O, "$DIMTXSTY");
      O.Str(7, H.DimTextStyle);
    }
    HeaderVar(O, "$MEASUREMENT");
    O.Int(70, H.Measurement ? 1 : 0);
  }
  if (X.R2000()) {
    HeaderVar(O, "$CELWEIGHT");
    O.Int(370, Weight(H.CELWeight));
    HeaderVar(O, "$INSUNITS");
    O.Int(70, H.InsUnits);
    HeaderVar(O, "$XCLIPFRAME");
    O.Int(280, H.XClipFrame);
  }
  const TqdDimStyle& D = H.DimProps;
  auto Flag = [&](const char* N, bool V) {
    HeaderVar(O, N);
    O.Int(70, V ? 1 : 0);
  };
  auto Real = [&](const char* N, double V) {
    HeaderVar(O, N);
    O.Dbl(40, V);
  };
  auto Int = [&](const char* N, int V) {
    HeaderVar(O, N);
    O.Int(70, V);
  };
  auto Colour = [&](const char* N, const TqdColorCAD& C) {
    HeaderVar(O, N);
    O.Int(70, C.Active == acIndexColor ? C.IndexValue() : 0);
  };
  Flag("$DIMALT", D.Alt);
  Real("$DIMALTF", D.AltF);
  HeaderVar(O, "$DIMAPOST");
  O.Str(1, D.APost);
  HeaderVar(O, "$DIMPOST");
  O.Str(1, D.Post);
  Real("$DIMASZ", D.Asz);
  Flag("$DIMSAH", D.Sah);
  Colour("$DIMCLRD", D.ClrD);
  Colour("$DIMCLRE", D.ClrE);
  Colour("$DIMCLRT", D.ClrT);
  Flag("$DIMSD1", D.SD1);
  Flag("$DIMSD2", D.SD2);
  Flag("$DIMSE1", D.SE1);
  Flag("$DIMSE2", D.SE2);
  Real("$DIMEXE", D.Exe);
  Real("$DIMEXO", D.Exo);
  Real("$DIMGAP", D.Gap);
  Real("$DIMLFAC", D.LFac);
  Real("$DIMSCALE", D.Scale);
  Int("$DIMTAD", D.Tad);
  Flag("$DIMTIH", D.Tih);
  Int("$DIMTIX", D.Tix);
  Flag("$DIMTOH", D.Toh);
  Flag("$DIMTOFL", D.Tofl);
  Real("$DIMTXT", D.Txt);
  Real("$DIMTSZ", D.Tsz);
  Int("$DIMZIN", D.Zin);
  // Arrow names: a block's name for the standard arrows; the closed filled arrow is the
  // empty name.
  const std::pair<const char*, std::uint8_t> Arrows[] = {{"$DIMBLK", D.Arrows.Blk},
                                                         {"$DIMBLK1", D.Arrows.Blk1},
                                                         {"$DIMBLK2", D.Arrows.Blk2},
                                                         {"$DIMLDRBLK", D.Arrows.LrBlk}};
  for (const auto& [N, B] : Arrows) {
    const int T = ArrowTypeFromByte(B);
    if (T <= 0 || T == cnstArrowUser) continue;
    HeaderVar(O, N);
    O.Str(1, ArrowNameOfType(T));
  }
  if (X.R2000()) {
    Int("$DIMDEC", D.Dec);
    if (D.DSep) Int("$DIMDSEP", D.DSep);
    HeaderVar(O, "$DIMLWD");
    O.Int(70, Weight(D.LwD));
    HeaderVar(O, "$DIMLWE");
    O.Int(70, Weight(D.LwE));
  }
  if (!X.R13()) {
    HeaderVar(O, "$HANDLING");
    O.Int(70, 1);
  }
  HeaderVar(O, "$HANDSEED");
  O.Handle(5, X.Seed);
  O.Str(0, "ENDSEC");
}

// The custom classes the objects and entities written need.
void WriteClasses(TContext& X) {
  TqdDXFOutput& O = X.Out;
  O.Str(0, "SECTION");
  O.Str(2, "CLASSES");
  struct TClass {
    const char* Dxf;
    const char* Cpp;
    bool Entity;
  };
  static const TClass Classes[] = {
      {"ACDBDICTIONARYWDFLT", "AcDbDictionaryWithDefault", false},
      {"DICTIONARYVAR", "AcDbDictionaryVar", false},
      {"XRECORD", "AcDbXrecord", false},
      {"LAYOUT", "AcDbLayout", false},
      {"PLOTSETTINGS", "AcDbPlotSettings", false},
      {"IMAGEDEF", "AcDbRasterImageDef", false},
      {"RASTERVARIABLES", "AcDbRasterVariables", false},
      {"WIPEOUTVARIABLES", "AcDbWipeoutVariables", false},
      {"SORTENTSTABLE", "AcDbSortentsTable", false},
      {"TABLESTYLE", "AcDbTableStyle", false},
      {"IMAGE", "AcDbRasterImage", true},
      {"WIPEOUT", "AcDbWipeout", true},
      {"MLEADERSTYLE", "AcDbMLeaderStyle", false},
      {"MULTILEADER", "AcDbMLeader", true},
      {"PDFDEFINITION", "AcDbPdfDefinition", false},
      {"DWFDEFINITION", "AcDbDwfDefinition", false},
      {"DGNDEFINITION", "AcDbDgnDefinition", false},
      {"PDFUNDERLAY", "AcDbPdfReference", true},
      {"DWFUNDERLAY", "AcDbDwfReference", true},
      {"DGNUNDERLAY", "AcDbDgnReference", true},
  };
  for (const TClass& K : Classes) {
    O.Str(0, "CLASS");
    O.Str(1, K.Dxf);
    O.Str(2, K.Cpp);
    O.Str(3, "ObjectDBX Classes");
    O.Int(90, K.Entity ? 127 : 0);
    if (X.Rel >= acR2004) O.Int(91, 0);
    O.Int(280, 0);
    O.Int(281, K.Entity ? 1 : 0);
  }
  O.Str(0, "ENDSEC");
}

// The rows of a class and the order they are written in, worked out once per class:
// each marker with the rows that follow it.
struct TPlan {
  std::vector<TqdSchemaGroup> Rows;
  std::vector<std::pair<const char*, std::vector<int>>> Markers;
  bool Graphical = false;
};

const TPlan& PlanOf(const TqdDXFEntity& E) {
  thread_local std::unordered_map<const char*, TPlan> Cache;
  auto It = Cache.find(E.ClassName());
  if (It != Cache.end()) return It->second;
  TPlan P;
  P.Rows = SchemaDXFGroups(E);
  // Graphical entities write their common groups by hand (WriteEntity).
  P.Graphical = dynamic_cast<const TqdDXFObjectEntity*>(&E) != nullptr;
  for (int I = 0; I < static_cast<int>(P.Rows.size()); ++I) {
    const char* M = P.Rows[I].DXF.Subclass ? P.Rows[I].DXF.Subclass : "";
    auto Found = std::find_if(P.Markers.begin(), P.Markers.end(),
                              [M](const auto& K) { return std::strcmp(K.first, M) == 0; });
    if (Found == P.Markers.end()) P.Markers.push_back({M, {I}});
    else Found->second.push_back(I);
  }
  return Cache.emplace(E.ClassName(), std::move(P)).first->second;
}

const std::vector<TqdSchemaGroup>& RowsOf(const TqdDXFEntity& E) { return PlanOf(E).Rows; }

bool InRelease(const TContext& X, const TqdDXFField& F) { return X.Rel >= F.MinRelease && X.Rel <= F.MaxRelease; }

bool IsIntegerType(int T) { return T == dtInteger || T == dtBool || T == dtByte || T == dtWord || T == dtInt64; }

// The common groups the item head and the entity part write by hand.
bool IsCommonCode(int C) {
  return C == 5 || C == 6 || C == 8 || C == 48 || C == 60 || C == 62 || C == 67 || C == 370 || C == 420;
}

}  // namespace

bool ReadRow(const TqdDXFEntity& E, int AId, double& AValue) {
  for (const TqdSchemaGroup& G : RowsOf(E))
    if (G.Row->Id == AId) {
      TqdData D;
      G.Row->Read(E, D);
      AValue = D.GetValueAsDouble();
      return true;
    }
  return false;
}

void WriteRows(TContext& X, const TqdDXFEntity& E, std::initializer_list<int> ASkip, const char*& ALastMarker) {
  const TPlan& Plan = PlanOf(E);
  const std::vector<TqdSchemaGroup>& Rows = Plan.Rows;
  auto Skipped = [&](int C) {
    for (int S : ASkip)
      if (S == C) return true;
    return false;
  };
  // Integer groups several rows share (a whole value and its bits): merged first.
  struct TInt {
    int Code;
    std::int64_t Value;
    bool Written;
  };
  std::array<TInt, 16> Ints;
  int IntCount = 0;
  auto IntSlot = [&](int C) -> TInt& {
    for (int I = 0; I < IntCount; ++I)
      if (Ints[I].Code == C) return Ints[I];
    if (IntCount == static_cast<int>(Ints.size())) return Ints[IntCount - 1];
    Ints[IntCount] = {C, 0, false};
    return Ints[IntCount++];
  };
  for (const TqdSchemaGroup& G : Rows) {
    const int Type = XMLAttribInfo(G.Row->Id).Type;
    if (!IsIntegerType(Type) || G.DXF.Mask || G.DXF.Conv == dcSign) continue;
    TqdData D;
    G.Row->Read(E, D);
    std::int64_t V = Type == dtBool ? D.GetValueAsBool() : D.GetValueAsInt64();
    if (G.DXF.Conv == dcNot) V = !V;
    IntSlot(G.DXF.Code).Value = V;
  }
  for (const TqdSchemaGroup& G : Rows) {
    if (!G.DXF.Mask) continue;
    TqdData D;
    G.Row->Read(E, D);
    bool B = D.GetValueAsBool();
    if (G.DXF.Conv == dcNot) B = !B;
    TInt& S = IntSlot(G.DXF.Code);
    S.Value = B ? (S.Value | G.DXF.Mask) : (S.Value & ~static_cast<std::int64_t>(G.DXF.Mask));
  }
  TqdData D;
  for (const auto& [M, Indexes] : Plan.Markers) {
    bool Opened = false;
    for (int Ix : Indexes) {
      const TqdSchemaGroup& G = Rows[Ix];
      const int C = G.DXF.Code;
      if (C == 5 || (Plan.Graphical && IsCommonCode(C)) || Skipped(C) || !InRelease(X, G.DXF)) continue;
      if (!Opened) {
        Opened = true;
        if (*M && std::strcmp(ALastMarker, M) != 0) {
          X.Marker(M);
          ALastMarker = M;
        }
      }
      const int Type = XMLAttribInfo(G.Row->Id).Type;
      if (IsIntegerType(Type)) {
        if (G.DXF.Conv == dcSign) continue;
        TInt& S = IntSlot(C);
        if (S.Written) continue;
        S.Written = true;
        X.Out.Int(C, S.Value);
        continue;
      }
      G.Row->Read(E, D);
      switch (Type) {
        case dtTFPoint: {
          const TFPoint P = D.GetValueAsFPoint();
          X.Out.Dbl(C, P.X);
          X.Out.Dbl(C + G.DXF.Step, P.Y);
          X.Out.Dbl(C + 2 * G.DXF.Step, P.Z);
          break;
        }
        case dtSingle:
        case dtDouble: {
          double V = D.GetValueAsDouble();
          if (G.DXF.Conv == dcRadians) V *= std::numbers::pi / 180.0;
          X.Out.Dbl(C, V);
          break;
        }
        case dtString:
        case dtStringInternal:
        case dtEntName: X.Out.Str(C, D.GetValueAsText()); break;
        case dtEntHandle:
        case dtHandle: {
          const std::uint64_t H = D.GetValueAsHandle();
          if (H || DXFValueKind(C) != dvHandle) X.Out.Handle(C, H);
          break;
        }
        case dtColorCAD: {
          const TqdXMLColorCAD K = D.GetValueAsColorCAD();
          // A layer's sign row says whether the colour is shown.
          bool Off = false;
          for (const TqdSchemaGroup& S : Rows)
            if (S.DXF.Code == C && S.DXF.Conv == dcSign) {
              TqdData B;
              S.Row->Read(E, B);
              Off = !B.GetValueAsBool();
            }
          int Index = K.Active == 0 ? static_cast<int>(static_cast<std::int32_t>(K.Color)) : 7;
          if (Index < 0) Index = -Index;
          X.Out.Int(C, Off ? -(Index ? Index : 7) : Index);
          if (K.Active == 1 && X.R2004()) {
            const std::uint32_t Bgr = K.Color;
            X.Out.Int(420, ((Bgr & 0xFF) << 16) | (Bgr & 0xFF00) | ((Bgr >> 16) & 0xFF));
          }
          break;
        }
        default: break;
      }
    }
  }
}

void WriteHead(TContext& X, const char* AType, const TqdDXFEntity& E, std::uint64_t AOwner, int AHandleCode) {
  TqdDXFOutput& O = X.Out;
  O.Str(0, AType);
  O.Handle(AHandleCode, X.H(&E));
  if (!X.R13()) return;
  if (const TqdDXFDictionary* D = E.FHasExtra ? E.Dictionary() : nullptr; D && X.H(D)) {
    O.Str(102, "{ACAD_XDICTIONARY");
    O.Handle(360, X.H(D));
    O.Str(102, "}");
  }
  O.Handle(330, AOwner);
}

void WriteExtendedData(TContext& X, const TqdDXFEntity& E) {
  if (!E.FHasExtra) return;
  TqdDXFConverter& C = const_cast<TqdDXFConverter&>(X.C);
  const TqdEntityExtra* Extra = C.GetEntityExtra(&E, false);
  if (!Extra) return;
  TqdDXFOutput& O = X.Out;
  for (const auto& [App, Data] : Extra->EED) {
    bool Named = false;
    for (const TqdExtData& D : Data.Items()) {
      if (D.ECode == 1001) {
        if (Named) continue;  // one application per record
        Named = true;
      } else if (!Named) {
        O.Str(1001, App);
        Named = true;
      }
      switch (D.EType) {
        case edtString: O.Str(D.ECode, D.EString); break;
        case edtBinary: O.Bytes(D.ECode, D.EString); break;
        case edtF2DPoint:
        case edtF3DPoint: O.Point(D.ECode, D.EPoint); break;
        case edtSingle:
        case edtDouble: O.Dbl(D.ECode, D.EDouble); break;
        case edtInt64:
          if (D.ECode == 1005) O.Handle(1005, static_cast<std::uint64_t>(D.EInt));
          else O.Int(D.ECode, D.EInt);
          break;
        case edtByte:
        case edtInt16:
        case edtInt: O.Int(D.ECode, D.EInt); break;
        default: break;
      }
    }
  }
}

}  // namespace dxfw

using namespace dxfw;

TqdDXFWriteResult WriteDXF(const TqdDXFConverter& ADrawing, std::ostream& AStream, const TqdDXFWriteOptions& AOptions) {
  TqdDXFWriteResult R;
  TqdDXFWriteOptions Opt = AOptions;
  if (Opt.Release != acR2018 && Opt.Release != acR2000 && Opt.Release != acR12) {
    R.Error = "This release cannot be written; choose R2018, R2000 or R12";
    return R;
  }
  TqdDXFOutput Out(AStream, Opt.Binary, Opt.Release, ADrawing.HeadVarStruct().CodePage);
  TContext X(ADrawing, Out, Opt);
  try {
    GiveHandles(X);
    X.Report();
    WriteHeader(X);
    if (X.R13()) WriteClasses(X);
    X.Report();
    WriteTables(X);
    X.Report();
    WriteBlocks(X);
    X.Report();
    WriteEntities(X);
    X.Report();
    if (X.R13()) WriteObjects(X);
    Out.Str(0, "EOF");
  } catch (const TCancelled&) {
    Out.Flush();
    R.Cancelled = true;
    R.Error = "The save was cancelled";
    return R;
  }
  if (X.Next > X.Seed) X.Warn("more handles were needed than the header's handle seed allows");
  if (!Out.Flush() || !AStream.flush()) {
    R.Error = "The file could not be written";
    return R;
  }
  for (const auto& [Text, Count] : X.WarnCounts)
    R.Warnings.push_back(Count > 1 ? Text + " (" + std::to_string(Count) + ")" : Text);
  if (Opt.Progress) Opt.Progress(100);
  R.Ok = true;
  return R;
}

TqdDXFWriteResult SaveDXFFile(const TqdDXFConverter& ADrawing, const std::string& AFileName,
                              const TqdDXFWriteOptions& AOptions) {
  namespace fs = std::filesystem;
  TqdDXFWriteResult R;
  const fs::path Target(AFileName);
  fs::path Folder = Target.parent_path();
  if (Folder.empty()) Folder = ".";
  std::string Templ = (Folder / ("." + Target.filename().string() + ".XXXXXX")).string();
  std::vector<char> Name(Templ.begin(), Templ.end());
  Name.push_back('\0');
  const int Fd = mkstemp(Name.data());
  if (Fd < 0) {
    R.Error = "Cannot write to " + Folder.string() + ": " + std::strerror(errno);
    return R;
  }
  close(Fd);
  const std::string Temp(Name.data());
  {
    std::ofstream S(Temp, std::ios::binary | std::ios::trunc);
    if (!S) {
      const int E = errno;
      std::remove(Temp.c_str());
      R.Error = "Cannot write " + Temp + ": " + std::strerror(E);
      return R;
    }
    R = WriteDXF(ADrawing, S, AOptions);
    if (R.Ok) {
      S.close();
      if (S.fail()) {
        R.Ok = false;
        R.Error = "The file could not be written";
      }
    }
    if (!R.Ok) {
      const int E = errno;
      if (!R.Cancelled && E) R.Error += std::string(": ") + std::strerror(E);
      std::remove(Temp.c_str());
      return R;
    }
  }
  // The new file takes the old one's permissions when there was one.
  std::error_code Ec;
  const fs::file_status St = fs::status(Target, Ec);
  if (!Ec && fs::exists(St)) fs::permissions(Temp, St.permissions(), Ec);
  else fs::permissions(Temp, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read | fs::perms::others_read, Ec);
  if (std::rename(Temp.c_str(), AFileName.c_str()) != 0) {
    const int E = errno;
    std::remove(Temp.c_str());
    R.Ok = false;
    R.Error = "Cannot replace " + AFileName + ": " + std::strerror(E);
  }
  return R;
}
