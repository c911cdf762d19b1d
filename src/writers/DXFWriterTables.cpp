// The TABLES section: symbol tables in the order readers expect, each item's groups
// from its class rows; line type patterns and block records by hand.
#include <algorithm>
#include <cmath>

#include "Blocks.h"
#include "DXFConv.h"
#include "DXFWriterInternal.h"
#include "DimStyles.h"
#include "Objects.h"
#include "TableItems.h"

namespace dxfw {

namespace {

const TqdDXFEntity* FindTable(const TContext& X, std::string_view AName) {
  const TqdDXFEntity* T = X.C.GetSection(csTables);
  if (!T) return nullptr;
  for (int I = 0; I < T->Count(); ++I)
    if (const TqdDXFEntity* E = T->GetEntity(I); E && SameNameText(E->Name(), AName)) return E;
  return nullptr;
}

const char* RecordMarker(std::string_view T) {
  if (T == "VPORT") return "AcDbViewportTableRecord";
  if (T == "LTYPE") return "AcDbLinetypeTableRecord";
  if (T == "LAYER") return "AcDbLayerTableRecord";
  if (T == "STYLE") return "AcDbTextStyleTableRecord";
  if (T == "VIEW") return "AcDbViewTableRecord";
  if (T == "UCS") return "AcDbUCSTableRecord";
  if (T == "APPID") return "AcDbRegAppTableRecord";
  if (T == "DIMSTYLE") return "AcDbDimStyleTableRecord";
  return "AcDbBlockTableRecord";
}

int Weight(double W) { return W > 0 ? static_cast<int>(std::lround(W * 100)) : static_cast<int>(W); }

void WriteLineTypePattern(TContext& X, const TqdDXFLineType& L, std::uint64_t AStyle) {
  TqdDXFOutput& O = X.Out;
  const TqdLines& P = L.Lines();
  O.Str(3, L.Description());
  O.Int(72, 65);
  O.Int(73, P.ElementsCount());
  double Length = 0;
  for (const TqdLTypeElement& E : P.Elements()) Length += std::fabs(E.Dash);
  O.Dbl(40, Length);
  for (const TqdLTypeElement& E : P.Elements()) {
    O.Dbl(49, E.Dash);
    if (!X.R13()) continue;
    O.Int(74, E.ComplexType);
    if (E.ComplexType & (TqdLTypeElement::cnstText | TqdLTypeElement::cnstShape)) {
      O.Int(75, (E.ComplexType & TqdLTypeElement::cnstShape) ? E.ShapeNumber : 0);
      O.Handle(340, AStyle);
      O.Dbl(46, E.Scale);
      O.Dbl(50, E.Rotation);
      O.Dbl(44, E.Offset.X);
      O.Dbl(45, E.Offset.Y);
      if (E.ComplexType & TqdLTypeElement::cnstText) O.Str(9, E.Text);
    }
  }
}

// A dimension style's values: the appearance record the dimension unit reads.
void WriteDimStyleValues(TContext& X, const TqdDXFDimensionStyle& S) {
  TqdDXFOutput& O = X.Out;
  const TqdDimStyle& D = S.FDimProps;
  auto Colour = [](const TqdColorCAD& C) { return C.Active == acIndexColor ? C.IndexValue() : 7; };
  O.Str(3, D.Post);
  O.Str(4, D.APost);
  O.Dbl(40, D.Scale);
  O.Dbl(41, D.Asz);
  O.Dbl(42, D.Exo);
  O.Dbl(44, D.Exe);
  O.Dbl(140, D.Txt);
  O.Dbl(141, D.Cen);
  O.Dbl(142, D.Tsz);
  O.Dbl(143, D.AltF);
  O.Dbl(144, D.LFac);
  O.Dbl(147, D.Gap);
  O.Int(73, D.Tih);
  O.Int(74, D.Toh);
  O.Int(75, D.SE1);
  O.Int(76, D.SE2);
  O.Int(77, D.Tad);
  O.Int(78, D.Zin);
  O.Int(170, D.Alt);
  O.Int(172, D.Tofl);
  O.Int(173, D.Sah);
  O.Int(174, D.Tix);
  O.Int(176, Colour(D.ClrD));
  O.Int(177, Colour(D.ClrE));
  O.Int(178, Colour(D.ClrT));
  if (X.R2000()) {
    O.Int(271, D.Dec);
    if (D.DSep) O.Int(278, D.DSep);
    O.Int(371, Weight(D.LwD));
    O.Int(372, Weight(D.LwE));
  }
  O.Int(281, D.SD1);
  O.Int(282, D.SD2);
  if (X.R13()) {
    if (const auto* T = reinterpret_cast<const TqdDXFEntity*>(S.TextStyle())) O.Handle(340, X.H(T));
    // Arrow blocks by their block record (the handles the style was read with).
    for (int I = 0; I < 4; ++I) {
      std::uint64_t H = S.FBlkHandles[static_cast<std::size_t>(I)];
      if (const std::string& N = S.FBlks[static_cast<std::size_t>(I)]; !H && !N.empty())
        if (const TqdDXFBlock* B = X.C.BlockByName(N)) H = X.RecordOf.count(B) ? X.RecordOf.at(B) : 0;
      if (H) O.Handle(I == 3 ? 341 : 342 + I, H);
    }
  } else {
    for (int I = 0; I < 3; ++I)
      if (!S.FBlks[static_cast<std::size_t>(I)].empty()) O.Str(5 + I, S.FBlks[static_cast<std::size_t>(I)]);
  }
}

void WriteItem(TContext& X, std::string_view ATable, const TqdDXFEntity& E, std::uint64_t AOwner,
               std::uint64_t AStyle) {
  TqdDXFOutput& O = X.Out;
  const std::string Type(ATable);
  WriteHead(X, Type.c_str(), E, AOwner, ATable == "DIMSTYLE" && X.R13() ? 105 : 5);
  X.Marker("AcDbSymbolTableRecord");
  const char* Last = "";
  if (ATable == "BLOCK_RECORD") {
    X.Marker("AcDbBlockTableRecord");
    const auto* R = dynamic_cast<const TqdDXFBlockRecord*>(&E);
    O.Str(2, BlockName(X, R && R->Block() ? *static_cast<const TqdDXFEntity*>(R->Block()) : E));
    if (X.R2000() && R && R->Block()) O.Handle(340, X.LayoutOf(R->Block()));
    if (X.R2000()) {
      O.Int(70, E.Flags());
      O.Int(280, 1);
      O.Int(281, 0);
    }
    WriteExtendedData(X, E);
    return;
  }
  if (ATable == "VIEW" || ATable == "UCS") {
    X.Marker(RecordMarker(ATable));
    O.Str(2, E.Name());
    O.Int(70, E.Flags());
    WriteExtendedData(X, E);
    return;
  }
  WriteRows(X, E, {}, Last);
  if (!*Last) {
    // Classes with no rows of their own: the record marker, name and flags.
    X.Marker(RecordMarker(ATable));
  }
  if (ATable == "LAYER") {
    const auto& L = static_cast<const TqdDXFLayer&>(E);
    const TqdDXFEntity* LT = reinterpret_cast<const TqdDXFEntity*>(L.LineType());
    O.Str(6, LT && !LT->Name().empty() ? LT->Name() : std::string("CONTINUOUS"));
    if (X.R2000()) O.Int(370, Weight(L.LineWeight()));
  } else if (ATable == "DIMSTYLE") {
    WriteDimStyleValues(X, static_cast<const TqdDXFDimensionStyle&>(E));
  } else if (ATable == "LTYPE") {
    WriteLineTypePattern(X, static_cast<const TqdDXFLineType&>(E), AStyle);
  }
  WriteExtendedData(X, E);
}

}  // namespace

void WriteTables(TContext& X) {
  TqdDXFOutput& O = X.Out;
  O.Str(0, "SECTION");
  O.Str(2, "TABLES");
  // The tables in the drawing's order, then those every reader needs that it lacks.
  std::vector<std::string> Order;
  if (const TqdDXFEntity* T = X.C.GetSection(csTables))
    for (int I = 0; I < T->Count(); ++I)
      if (const TqdDXFEntity* E = T->GetEntity(I)) Order.push_back(UpperNameText(E->Name()));
  for (const char* N : {"VPORT", "LTYPE", "LAYER", "STYLE", "APPID", "DIMSTYLE", "BLOCK_RECORD"})
    if (std::find(Order.begin(), Order.end(), N) == Order.end()) Order.push_back(N);
  // The first text style: the one complex line type elements name.
  std::uint64_t FirstStyle = 0;
  if (const TqdDXFEntity* S = FindTable(X, "STYLE"); S && S->Count() > 0) FirstStyle = X.H(S->GetEntity(0));
  for (const std::string& Name : Order) {
    const std::string_view N(Name);
    if (N == "BLOCK_RECORD" && !X.R13()) continue;
    const TqdDXFEntity* T = FindTable(X, N);
    const std::uint64_t TH = T ? X.H(T) : X.NewHandle();
    const bool Records = N == "BLOCK_RECORD";
    O.Str(0, "TABLE");
    O.Str(2, Name);
    O.Handle(5, TH);
    if (Records) X.BlockRecordTable = TH;
    if (X.R13()) {
      O.Handle(330, 0);
      X.Marker("AcDbSymbolTable");
    }
    const int Count = T ? T->Count() : 0;
    O.Int(70, Count + (Records ? static_cast<int>(X.RecordlessBlocks.size()) : 0));
    if (N == "DIMSTYLE" && X.R13()) {
      X.Marker("AcDbDimStyleTable");
      O.Int(71, 0);
    }
    for (int I = 0; I < Count; ++I) {
      const TqdDXFEntity* E = T->GetEntity(I);
      if (!E) continue;
      WriteItem(X, N, *E, TH, FirstStyle);
      X.Step();
    }
    if (Records)
      for (const TqdDXFBlock* B : X.RecordlessBlocks) {
        O.Str(0, "BLOCK_RECORD");
        O.Handle(5, X.RecordOf[B]);
        O.Handle(330, TH);
        X.Marker("AcDbSymbolTableRecord");
        X.Marker("AcDbBlockTableRecord");
        O.Str(2, BlockName(X, *B));
        if (X.R2000()) {
          O.Handle(340, X.LayoutOf(B));
          O.Int(70, 0);
          O.Int(280, 1);
          O.Int(281, 0);
        }
      }
    O.Str(0, "ENDTAB");
  }
  O.Str(0, "ENDSEC");
}

}  // namespace dxfw
