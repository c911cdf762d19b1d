// The OBJECTS section: the root dictionary (the drawing's own containers under their
// DXF names), layouts with their plot settings, dictionaries and what they hold,
// extension dictionaries under the items that own them.
#include <cmath>

#include "Blocks.h"
#include "DXFConv.h"
#include "DXFWriterAreas.h"
#include "MultiLeaders.h"
#include "Objects.h"
#include "Others.h"
#include "Underlays.h"
#include "TableItems.h"

namespace dxfw {

namespace {

template <class T> const T* As(const TqdDXFEntity* E) { return dynamic_cast<const T*>(E); }

// The drawing's containers and the keys they go under in the root dictionary.
const char* RootKey(std::string_view N) {
  static const std::pair<const char*, const char*> Keys[] = {
      {"LAYOUTS", "ACAD_LAYOUT"},         {"MLINESTYLES", "ACAD_MLINESTYLE"},
      {"TABLESTYLES", "ACAD_TABLESTYLE"}, {"PLOTSETTINGS", "ACAD_PLOTSETTINGS"},
      {"IMAGEDEFS", "ACAD_IMAGE_DICT"},   {"AcDbVariableDictionary", "AcDbVariableDictionary"},
      {"COLORS", "ACAD_COLOR"},           {"SCALELIST", "ACAD_SCALELIST"},
      {"MATERIALS", "ACAD_MATERIAL"},     {"FIELDLIST", "ACAD_FIELDLIST"},
      {"RASTERVARIABLES", "ACAD_IMAGE_VARS"}, {"WIPEOUTVARIABLES", "ACAD_WIPEOUT_VARS"}};
  for (const auto& [A, B] : Keys)
    if (N == A) return B;
  return nullptr;
}

void WritePlotSettings(TContext& X, const TqdPlotSettingsData& D) {
  TqdDXFOutput& O = X.Out;
  X.Marker("AcDbPlotSettings");
  O.Str(1, D.PageSetupName);
  O.Str(2, D.PrintOrConfigName);
  O.Str(4, D.PaperSize);
  O.Str(6, D.PlotViewName);
  O.Dbl(40, D.UnprintableMargin.Left);
  O.Dbl(41, D.UnprintableMargin.Bottom);
  O.Dbl(42, D.UnprintableMargin.Right);
  O.Dbl(43, D.UnprintableMargin.Top);
  O.Dbl(44, D.PlotPaperSize.X);
  O.Dbl(45, D.PlotPaperSize.Y);
  O.Dbl(46, D.PlotOrigin.X);
  O.Dbl(47, D.PlotOrigin.Y);
  O.Dbl(48, D.PlotWindowAreaMin.X);
  O.Dbl(49, D.PlotWindowAreaMin.Y);
  O.Dbl(140, D.PlotWindowAreaMax.X);
  O.Dbl(141, D.PlotWindowAreaMax.Y);
  O.Dbl(142, D.NumeratorOfCustomPrintScale);
  O.Dbl(143, D.DenominatorOfCustomPrintScale);
  O.Int(70, static_cast<std::int64_t>(D.PlotLayoutFlags));
  O.Int(72, D.PlotPaperUnits);
  O.Int(73, static_cast<int>(D.PlotRotation));
  O.Int(74, D.PlotType);
  O.Str(7, D.CurrentStyleSheet);
  O.Int(75, D.StandardScaleType);
  O.Int(76, D.ShadePlotMode);
  O.Int(77, D.ShadePlotResolutionLevel);
  O.Int(78, D.ShadePlotCustomDPI);
  O.Dbl(147, D.FloatingPointScaleFactor);
  O.Dbl(148, D.PaperImageOrigin.X);
  O.Dbl(149, D.PaperImageOrigin.Y);
}

void WriteObject(TContext& X, const TqdDXFEntity& E, std::uint64_t AOwner, int ADepth);

void WriteDictionary(TContext& X, const TqdDXFEntity& D, std::uint64_t AOwner, int ADepth,
                     const std::vector<std::pair<std::string, std::uint64_t>>& AExtra = {}) {
  TqdDXFOutput& O = X.Out;
  WriteHead(X, "DICTIONARY", D, AOwner);
  X.Marker("AcDbDictionary");
  O.Int(281, 1);
  for (const auto& [K, H] : AExtra) {
    O.Str(3, K);
    O.Handle(350, H);
  }
  const bool Layouts = D.Name() == "LAYOUTS";
  for (int I = 0; I < D.Count(); ++I) {
    const TqdDXFEntity* C = D.GetEntity(I);
    if (!C) continue;
    std::string K = C->Name();
    if (K.empty()) K = "Unnamed" + std::to_string(I);
    (void)Layouts;
    O.Str(3, K);
    O.Handle(350, X.H(C));
  }
  WriteExtendedData(X, D);
  for (int I = 0; I < D.Count(); ++I)
    if (const TqdDXFEntity* C = D.GetEntity(I)) WriteObject(X, *C, X.H(&D), ADepth + 1);
}

void WriteLayout(TContext& X, const TqdDXFLayout& L, std::uint64_t AOwner, int ATab) {
  TqdDXFOutput& O = X.Out;
  WriteHead(X, "LAYOUT", L, AOwner);
  TqdPlotSettingsData PS;
  if (L.PlotSettings()) PS = L.PlotSettings()->FData;
  WritePlotSettings(X, PS);
  X.Marker("AcDbLayout");
  O.Str(1, L.Name());
  O.Int(70, 1);
  O.Int(71, L.TabOrder() >= 0 ? L.TabOrder() : ATab);
  O.Point(10, {0, 0, 0}, false);
  O.Point(11, {12, 9, 0}, false);
  O.Point(12, {0, 0, 0});
  O.Point(14, L.ExtMin());
  O.Point(15, L.ExtMax());
  O.Dbl(146, 0);
  O.Point(13, L.FUCSOrigin);
  O.Point(16, L.FUCSXDir);
  O.Point(17, L.FUCSYDir);
  O.Int(76, 0);
  const TqdDXFBlock* B = L.PaperSpaceBlockField();
  std::uint64_t Rec = 0;
  if (B) Rec = X.RecordOf.count(B) ? X.RecordOf.at(B) : X.H(B);
  O.Handle(330, Rec);
  WriteExtendedData(X, L);
}

void WriteObject(TContext& X, const TqdDXFEntity& E, std::uint64_t AOwner, int ADepth) {
  if (ADepth > cnstMaxTreeDepth) return;
  TqdDXFOutput& O = X.Out;
  X.Step();
  if (As<TqdDXFDictionary>(&E)) {
    WriteDictionary(X, E, AOwner, ADepth);
  } else if (const auto* L = As<TqdDXFLayout>(&E)) {
    WriteLayout(X, *L, AOwner, 0);
  } else if (const auto* P = As<TqdDXFPlotSettings>(&E)) {
    WriteHead(X, "PLOTSETTINGS", E, AOwner);
    WritePlotSettings(X, P->FData);
  } else if (const auto* R = As<TqdDXFXRecord>(&E)) {
    WriteHead(X, "XRECORD", E, AOwner);
    X.Marker("AcDbXrecord");
    O.Int(280, 1);
    for (const TqdExtData& D : R->FData.Items()) {
      const int C = D.ECode;
      if (C == 5 || C == 100 || C == 102 || C == 330 || C == 360 || C < 0) continue;
      switch (D.EType) {
        case edtString: O.Str(C, D.EString); break;
        case edtBinary: O.Bytes(C, D.EString); break;
        case edtF2DPoint:
        case edtF3DPoint: O.Point(C, D.EPoint); break;
        case edtSingle:
        case edtDouble: O.Dbl(C, D.EDouble); break;
        case edtInt64:
          if (DXFValueKind(C) == dvHandle) O.Handle(C, static_cast<std::uint64_t>(D.EInt));
          else O.Int(C, D.EInt);
          break;
        case edtByte:
        case edtInt16:
        case edtInt: O.Int(C, D.EInt); break;
        default: break;
      }
    }
  } else if (const auto* V = As<TqdDXFDictionaryVar>(&E)) {
    WriteHead(X, "DICTIONARYVAR", E, AOwner);
    X.Marker("DictionaryVariables");
    O.Int(280, 0);
    O.Str(1, V->FValue);
  } else if (const auto* D = As<TqdDXFImageDef>(&E)) {
    WriteHead(X, "IMAGEDEF", E, AOwner);
    X.Marker("AcDbRasterImageDef");
    O.Int(90, 0);
    O.Str(1, D->FFileName);
    O.Point(10, {1, 1, 0}, false);
    O.Point(11, {1, 1, 0}, false);
    O.Int(280, 1);
    O.Int(281, 0);
  } else if (const auto* RV = As<TqdCADRasterVariables>(&E)) {
    WriteHead(X, "RASTERVARIABLES", E, AOwner);
    X.Marker("AcDbRasterVariables");
    O.Int(90, 0);
    O.Int(70, RV->FDisplayFrame ? 1 : 0);
    O.Int(71, RV->FDisplayQuality);
    O.Int(72, RV->FUnits);
  } else if (const auto* WV = As<TqdCADWipeoutVariables>(&E)) {
    WriteHead(X, "WIPEOUTVARIABLES", E, AOwner);
    X.Marker("AcDbWipeoutVariables");
    O.Int(70, WV->FFrame ? 1 : 0);
  } else if (const auto* M = As<TqdMLineStyle>(&E)) {
    WriteHead(X, "MLINESTYLE", E, AOwner);
    X.Marker("AcDbMlineStyle");
    O.Str(2, E.Name());
    O.Int(70, E.Flags());
    O.Str(3, "");
    O.Int(62, 256);
    O.Dbl(51, 90);
    O.Dbl(52, 90);
    O.Int(71, M->Count());
    for (int I = 0; I < M->Count(); ++I) {
      const TqdMLineEntry* En = M->GetEntry(I);
      if (!En) continue;
      O.Dbl(49, En->Offset());
      const TqdColorCAD C = En->ColorCAD();
      O.Int(62, C.Active == acIndexColor ? C.IndexValue() : 7);
      const auto* LT = reinterpret_cast<const TqdDXFEntity*>(En->LineType());
      O.Str(6, LT ? LT->Name() : std::string("BYLAYER"));
    }
  } else if (As<TqdDXFAcadTableStyle>(&E)) {
    // The style's cells are not kept: its name and the defaults.
    WriteHead(X, "TABLESTYLE", E, AOwner);
    X.Marker("AcDbTableStyle");
    O.Int(280, 0);
    O.Str(3, "");
    O.Int(70, 0);
    O.Int(71, 0);
    O.Dbl(40, 0.06);
    O.Dbl(41, 0.06);
    O.Int(280, 0);
    O.Int(281, 0);
  } else if (const auto* ST = As<TqdDXFSortEntsTable>(&E)) {
    WriteHead(X, "SORTENTSTABLE", E, AOwner);
    X.Marker("AcDbSortentsTable");
    std::uint64_t Rec = ST->BlockHandle();
    if (const TqdDXFBlock* B = ST->Block(const_cast<TqdDXFConverter*>(&X.C)))
      Rec = X.RecordOf.count(B) ? X.RecordOf.at(B) : X.H(B);
    O.Handle(330, Rec);
    for (const auto& [Ent, Key] : ST->FPairs) {
      O.Handle(331, Ent);
      O.Handle(5, Key);
    }
  } else if (const auto* UD = As<TqdCADUnderlayDefinition>(&E)) {
    // The definition's type follows the underlays that use it; PDF when none says.
    std::string Type = "PDFDEFINITION";
    if (X.UnderlayDefinitionTypes.count(&E)) Type = X.UnderlayDefinitionTypes.at(&E);
    WriteHead(X, Type.c_str(), E, AOwner);
    X.Marker("AcDbUnderlayDefinition");
    O.Str(1, UD->FFileName);
    O.Str(2, UD->FPageName);
  } else if (const auto* MS = As<TqdDXFMLeaderStyle>(&E)) {
    WriteHead(X, "MLEADERSTYLE", E, AOwner);
    WriteMLeaderStyle(X, *MS);
  } else {
    X.Warn(std::string(E.ClassName() + 3) + " objects were not written: this writer does not write them yet");
  }
}

}  // namespace

void WriteObjects(TContext& X) {
  TqdDXFOutput& O = X.Out;
  O.Str(0, "SECTION");
  O.Str(2, "OBJECTS");
  const TqdDXFEntity* S = X.C.GetSection(csObjects);
  // The root: the first free-standing dictionary; the drawing's containers join it.
  const TqdDXFEntity* Root = nullptr;
  std::vector<const TqdDXFEntity*> Containers, Others;
  for (int I = 0; S && I < S->Count(); ++I) {
    const TqdDXFEntity* E = S->GetEntity(I);
    if (!E) continue;
    if (RootKey(E->Name())) Containers.push_back(E);
    else if (!Root && As<TqdDXFDictionary>(E) && !X.DictOwner.count(E)) Root = E;
    else Others.push_back(E);
  }
  const std::uint64_t RootHandle = Root ? X.H(Root) : X.NewHandle();
  X.RootDictionary = RootHandle;
  std::vector<std::pair<std::string, std::uint64_t>> Extra;
  for (const TqdDXFEntity* C : Containers) Extra.emplace_back(RootKey(C->Name()), X.H(C));
  if (Root) {
    WriteDictionary(X, *Root, 0, 0, Extra);
  } else {
    O.Str(0, "DICTIONARY");
    O.Handle(5, RootHandle);
    O.Handle(330, 0);
    X.Marker("AcDbDictionary");
    O.Int(281, 1);
    for (const auto& [K, H] : Extra) {
      O.Str(3, K);
      O.Handle(350, H);
    }
  }
  for (const TqdDXFEntity* C : Containers) {
    if (C->Name() == "LAYOUTS") {
      // Layouts in tab order; the model first.
      WriteHead(X, "DICTIONARY", *C, RootHandle);
      X.Marker("AcDbDictionary");
      O.Int(281, 1);
      for (int I = 0; I < C->Count(); ++I)
        if (const TqdDXFEntity* L = C->GetEntity(I)) {
          O.Str(3, L->Name());
          O.Handle(350, X.H(L));
        }
      for (int I = 0; I < C->Count(); ++I)
        if (const auto* L = As<TqdDXFLayout>(C->GetEntity(I))) WriteLayout(X, *L, X.H(C), I);
      continue;
    }
    WriteObject(X, *C, RootHandle, 1);
  }
  for (const TqdDXFEntity* E : Others) {
    auto It = X.DictOwner.find(E);
    WriteObject(X, *E, It != X.DictOwner.end() ? X.H(It->second) : RootHandle, 1);
  }
  O.Str(0, "ENDSEC");
}

}  // namespace dxfw
