#include "DimStyles.h"

#include <cctype>
#include <cmath>

#include "Blocks.h"
#include "CADColor.h"
#include "Curves.h"
#include "DXFConv.h"
#include "Faces.h"
#include "Polylines.h"
#include "TableItems.h"

const char* const cnstArrowNames[cnstArrowTypeCount] = {
    "_CLOSEDFILLED", "_CLOSEDBLANK", "_CLOSED",   "_DOT",         "_ARCHTICK",     "_OBLIQUE",   "_OPEN",
    "_ORIGIN",       "_ORIGIN2",     "_OPEN90",   "_OPEN30",      "_DOTSMALL",     "_DOTBLANK",  "_SMALL",
    "_BOXBLANK",     "_BOXFILLED",   "_DATUMBLANK", "_DATUMFILLED", "_INTEGRAL",   "_USERARROW", "_NONE"};

int ArrowTypeByName(std::string_view AName, int ADefault) {
  while (!AName.empty() && (AName.front() == ' ' || AName.front() == '\t')) AName.remove_prefix(1);
  while (!AName.empty() && (AName.back() == ' ' || AName.back() == '\t')) AName.remove_suffix(1);
  if (AName.empty()) return ADefault;
  std::string N = UpperNameText(AName);
  if (N[0] != '_') N.insert(N.begin(), '_');
  for (int I = 0; I < cnstArrowTypeCount; ++I)
    if (N == cnstArrowNames[I]) return I;
  return cnstArrowUser;
}

std::string ArrowNameOfType(int AType) {
  return AType >= 0 && AType < cnstArrowTypeCount ? cnstArrowNames[AType] : std::string();
}

int ArrowTypeOfBlock(const TqdDXFBlock* ABlock) {
  if (!ABlock) return 0;
  return ArrowTypeByName(ABlock->Name(), cnstArrowUser);
}

std::uint8_t ArrowTypeToByte(int AType) {
  if (AType == -1) return cnstArrowByteNone;
  if (AType < -1 || AType >= cnstArrowTypeCount) return 0;
  return static_cast<std::uint8_t>(AType);
}

int ArrowTypeFromByte(std::uint8_t AByte) {
  if (AByte == cnstArrowByteNone) return -1;
  return AByte < cnstArrowTypeCount ? AByte : 0;
}

// ---------------------------------------------------------------- arrow geometry

namespace {

constexpr double cSixth = 1.0 / 6.0;

template <class T> T* NewIn(TqdDXFConverter* C, TqdDXFBlock* B) {
  auto E = std::make_unique<T>();
  T* Raw = E.get();
  if (C) {
    C->DoCreate(Raw);
    Raw->SetConverter(C);
    Raw->SetLayer(C->LayerByName("0"));
  }
  Raw->SetColorCAD(TqdColorCAD::Index(clByBlock));
  Raw->SetLineWeight(cnstLWByBlock);
  if (B->AddEntity(std::move(E)) < 0) return nullptr;
  return Raw;
}

void Line(TqdDXFConverter* C, TqdDXFBlock* B, double X1, double Y1, double X2, double Y2) {
  if (auto* L = NewIn<TqdDXFLine>(C, B)) L->SetLine({X1, Y1, 0}, {X2, Y2, 0});
}

void Circle(TqdDXFConverter* C, TqdDXFBlock* B, double R) {
  if (auto* E = NewIn<TqdDXFCircle>(C, B)) {
    E->SetPoint({0, 0, 0});
    E->SetRadius(R);
  }
}

void Solid(TqdDXFConverter* C, TqdDXFBlock* B, const TFPoint (&P)[4]) {
  if (auto* S = NewIn<TqdDXFSolid>(C, B)) {
    S->SetPoint(P[0]);
    S->SetPoint1(P[1]);
    S->SetPoint2(P[2]);
    S->SetPoint3(P[3]);
  }
}

void Dot(TqdDXFConverter* C, TqdDXFBlock* B, double HalfLength) {
  if (auto* P = NewIn<TqdDXFLWPolyline>(C, B)) {
    P->AddVertex({-HalfLength, 0, 0}, 1);
    P->AddVertex({HalfLength, 0, 0}, 1);
    P->SetGlobalWidth(0.5);
    P->SetClosed(true);
  }
}

void Arc(TqdDXFConverter* C, TqdDXFBlock* B, double X, double Y, double R, double A1, double A2) {
  if (auto* A = NewIn<TqdDXFArc>(C, B)) {
    A->SetPoint({X, Y, 0});
    A->SetRadius(R);
    A->SetStartAngle(A1);
    A->SetEndAngle(A2);
  }
}

}  // namespace

void FillArrowBlock(TqdDXFConverter* C, TqdDXFBlock* B, int AType) {
  if (!B || B->IsLoaded() || B->Count() > 0) return;
  switch (AType) {
    case 0: case cnstArrowUser:
      Solid(C, B, {{-1, cSixth, 0}, {0, 0, 0}, {-1, cSixth, 0}, {-1, -cSixth, 0}});
      Line(C, B, -1, 0, -2, 0);
      break;
    case 1: case 2:
      Line(C, B, -1, cSixth, 0, 0);
      Line(C, B, 0, 0, -1, -cSixth);
      Line(C, B, -1, cSixth, -1, -cSixth);
      if (AType == 2) Line(C, B, 0, 0, -1, 0);
      break;
    case 3:
      Dot(C, B, 0.25);
      Line(C, B, -0.5, 0, -1, 0);
      break;
    case 4:
      if (auto* P = NewIn<TqdDXFLWPolyline>(C, B)) {
        P->AddVertex({-0.5, -0.5, 0});
        P->AddVertex({0.5, 0.5, 0});
        P->SetGlobalWidth(0.15);
        P->SetClosed(true);
      }
      break;
    case 5:
      Line(C, B, -0.5, -0.5, 0.5, 0.5);
      break;
    case 6: case 9: case 10: {
      const double Y = AType == 6 ? cSixth : AType == 9 ? 0.5 : 0.26794919;
      const double X = AType == 9 ? -0.5 : -1;
      Line(C, B, X, Y, 0, 0);
      Line(C, B, 0, 0, X, -Y);
      Line(C, B, 0, 0, -1, 0);
      break;
    }
    case 7:
      Circle(C, B, 0.5);
      Line(C, B, 0, 0, -1, 0);
      break;
    case 8:
      Circle(C, B, 0.5);
      Circle(C, B, 0.25);
      Line(C, B, -0.5, 0, -1, 0);
      break;
    case 11:
      Dot(C, B, 0.0625);
      break;
    case 12:
      Circle(C, B, 0.5);
      Line(C, B, -0.5, 0, -1, 0);
      break;
    case 13:
      Circle(C, B, 0.25);
      break;
    case 14:
      Line(C, B, -0.5, -0.5, 0.5, -0.5);
      Line(C, B, 0.5, -0.5, 0.5, 0.5);
      Line(C, B, 0.5, 0.5, -0.5, 0.5);
      Line(C, B, -0.5, 0.5, -0.5, -0.5);
      Line(C, B, -0.5, 0, -1, 0);
      break;
    case 15:
      Solid(C, B, {{-0.5, 0.5, 0}, {0.5, 0.5, 0}, {-0.5, -0.5, 0}, {0.5, -0.5, 0}});
      Line(C, B, -0.5, 0, -1, 0);
      break;
    case 16:
      Line(C, B, 0, 0.57735027, -1, 0);
      Line(C, B, -1, 0, 0, -0.57735027);
      Line(C, B, 0, -0.57735027, 0, 0.57735027);
      break;
    case 17:
      Solid(C, B, {{0, 0.57735027, 0}, {-1, 0, 0}, {0, -0.57735027, 0}, {0, -0.57735027, 0}});
      break;
    case 18:
      Arc(C, B, 0.44488802, -0.09133463, 0.45416667, 102, 168);
      Arc(C, B, -0.44488802, 0.09133463, 0.45416667, 282, 348);
      break;
    default:  // 20 "_NONE" and anything unknown: nothing
      break;
  }
}

TqdDXFBlock* ArrowBlockOfType(TqdDXFConverter* C, int AType) {
  if (!C || AType < 0 || AType >= cnstArrowTypeCount || AType == cnstArrowUser) return nullptr;
  const char* Name = cnstArrowNames[AType];
  if (TqdDXFBlock* B = C->BlockByName(Name)) return B;
  TqdDXFEntity* Blocks = C->GetOrCreateSection(csBlocks);
  auto* B = dynamic_cast<TqdDXFBlock*>(C->NewNamedEntity(Blocks, ClassOf<TqdDXFBlock>(), Name));
  if (!B) return nullptr;
  B->SetFlags(0);
  FillArrowBlock(C, B, AType);
  C->LoadBlock(B);
  return B;
}

TqdDXFBlock* ClosedFilledLineBlock(TqdDXFConverter* C) {
  if (!C) return nullptr;
  if (TqdDXFBlock* B = C->BlockByName(cnstClosedFilledLineName)) return B;
  TqdDXFEntity* Blocks = C->GetOrCreateSection(csBlocks);
  auto* B = dynamic_cast<TqdDXFBlock*>(C->NewNamedEntity(Blocks, ClassOf<TqdDXFBlock>(), cnstClosedFilledLineName));
  if (!B) return nullptr;
  if (auto* L = NewIn<TqdDXFLine>(C, B)) {
    L->SetLine({0, -1.0 / 3.0, 0}, {0, -1, 0});
    L->SetLineWeight(cnstLWByLayer);
  }
  C->LoadBlock(B);
  return B;
}

namespace {
TqdDXFBlock* BlockOfRecordHandle(const TqdDXFConverter* C, std::uint64_t H);
}

// ---------------------------------------------------------------- dimension style

void TqdDXFDimensionStyle::InitProps(const TqdHeadVarStruct* AHeader) {
  FDimProps = AHeader ? AHeader->DimProps : cnstDefaultHeadVarStruct.DimProps;
  FTextStyleItem.SetItem(nullptr);
  FTextStyleItem.ClearLink();
}

TqdDXFDimensionStyle* TqdDXFDimensionStyle::PropertyOwner(int, bool) { return this; }

void TqdDXFDimensionStyle::SetArrowSize(double V) {
  if (std::isfinite(V) && V >= 0) PropertyOwner(vnDIMASZ, true)->FDimProps.Asz = V;
}

TqdDimTextPosVert TqdDXFDimensionStyle::TextPosVert() const {
  const int V = PropertyOwnerRead(vnDIMTAD)->FDimProps.Tad;
  return V >= pvCenter && V <= pvJIS ? static_cast<TqdDimTextPosVert>(V) : pvCenter;
}

TqdDXFStyle* TqdDXFDimensionStyle::TextStyle() const {
  return dynamic_cast<TqdDXFStyle*>(PropertyOwnerRead(vnDIMTXSTY)->FTextStyleItem.Item());
}

void TqdDXFDimensionStyle::SetTextStyle(TqdDXFStyle* S) {
  PropertyOwner(vnDIMTXSTY, true)->FTextStyleItem.SetItem(S);
}

namespace {
constexpr int cSlotIndex[4] = {vnDIMBLK, vnDIMBLK1, vnDIMBLK2, vnDIMLRBLK};
std::uint8_t& SlotByte(TqdDimStyle& D, int ASlot) {
  switch (ASlot) {
    case 1: return D.Arrows.Blk1;
    case 2: return D.Arrows.Blk2;
    case 3: return D.Arrows.LrBlk;
    default: return D.Arrows.Blk;
  }
}
}  // namespace

TqdDXFBlock* TqdDXFDimensionStyle::ArrowBlock(int ASlot) const {
  if (ASlot < 0 || ASlot > 3) return nullptr;
  const TqdDXFDimensionStyle* O = PropertyOwnerRead(cSlotIndex[ASlot]);
  const TqdDXFConverter* C = Converter();
  if (!C || O->FBlks[static_cast<std::size_t>(ASlot)].empty()) return nullptr;
  return C->BlockByName(O->FBlks[static_cast<std::size_t>(ASlot)]);
}

const std::string& TqdDXFDimensionStyle::ArrowBlockName(int ASlot) const {
  static const std::string Empty;
  if (ASlot < 0 || ASlot > 3) return Empty;
  return PropertyOwnerRead(cSlotIndex[ASlot])->FBlks[static_cast<std::size_t>(ASlot)];
}

void TqdDXFDimensionStyle::SetArrowBlock(int ASlot, TqdDXFBlock* B) {
  if (ASlot < 0 || ASlot > 3) return;
  TqdDXFDimensionStyle* O = PropertyOwner(cSlotIndex[ASlot], true);
  O->FBlks[static_cast<std::size_t>(ASlot)] = B ? B->Name() : std::string();
  SlotByte(O->FDimProps, ASlot) = ArrowTypeToByte(ArrowTypeOfBlock(B));
}

void TqdDXFDimensionStyle::SetArrowSlot(int ASlot, int AType) {
  if (ASlot < 0 || ASlot > 3) return;
  const std::uint8_t Byte = ArrowTypeToByte(AType);
  const int T = ArrowTypeFromByte(Byte);
  TqdDXFDimensionStyle* O = PropertyOwner(cSlotIndex[ASlot], true);
  if (T == -1 || T == cnstArrowUser) {
    SlotByte(O->FDimProps, ASlot) = Byte;
    return;
  }
  if (TqdDXFBlock* B = ArrowBlockOfType(Converter(), T)) {
    SetArrowBlock(ASlot, B);
  } else {
    O->FBlks[static_cast<std::size_t>(ASlot)].clear();
    SlotByte(O->FDimProps, ASlot) = Byte;
  }
}

bool TqdDXFDimensionStyle::ReplaceBlock(const TqdDXFBlock* ABlockPrev, TqdDXFBlock* ABlockNew) {
  if (!ABlockPrev) return false;
  const std::string Prev = ABlockPrev->Name();
  bool Any = false;
  for (int S = 0; S < 4; ++S) {
    auto& N = FBlks[static_cast<std::size_t>(S)];
    if (N.empty() || !SameNameText(N, Prev)) continue;
    N = ABlockNew ? ABlockNew->Name() : std::string();
    if (ABlockNew) SlotByte(FDimProps, S) = ArrowTypeToByte(ArrowTypeOfBlock(ABlockNew));
    Any = true;
  }
  return Any;
}

void TqdDXFDimensionStyle::Loaded(TqdDXFConverter* C) {
  TqdDXFPenTableItem::Loaded(C);
  FDimProps.Dec = ClampDimDec(FDimProps.Dec);
  if (!C || dynamic_cast<TqdDXFDimensionProperties*>(this)) return;
  // A standard arrow the style names but the drawing lacks is made now; the others are
  // made when something draws with them, so that a drawing gains no unused blocks.
  for (int S = 0; S < 4; ++S) {
    auto& N = FBlks[static_cast<std::size_t>(S)];
    if (N.empty() || C->BlockByName(N)) continue;
    const int T = ArrowTypeByName(N, cnstArrowUser);
    if (T == cnstArrowUser) continue;
    if (TqdDXFBlock* B = ArrowBlockOfType(C, T)) N = B->Name();
  }
}

void TqdDXFDimensionStyle::ResolveLinks(TqdDXFConverter* C) {
  TqdDXFPenTableItem::ResolveLinks(C);
  ResolveTableItem<TqdDXFStyle>(FTextStyleItem, C, csStyles);
  for (std::size_t S = 0; S < 4; ++S) {
    if (!FBlkHandles[S]) continue;
    if (TqdDXFBlock* B = BlockOfRecordHandle(C, FBlkHandles[S])) SetArrowBlock(static_cast<int>(S), B);
    FBlkHandles[S] = 0;
  }
}

void TqdDXFDimensionStyle::AssignEntity(const TqdDXFEntity& Source) {
  TqdDXFPenTableItem::AssignEntity(Source);
  if (const auto* S = dynamic_cast<const TqdDXFDimensionStyle*>(&Source)) {
    FDimProps = S->FDimProps;
    FBlks = S->FBlks;
    FTextStyleItem.SetItem(S->FTextStyleItem.Item());
  }
}

// ---------------------------------------------------------------- overrides

TqdDXFDimensionStyle* TqdDXFDimensionProperties::GetOwnerStyle() const {
  return dynamic_cast<TqdDXFDimensionStyle*>(FOwnerStyleItem.Item());
}

TqdDXFDimensionStyle* TqdDXFDimensionProperties::PropertyOwner(int AIndex, bool AForWrite) {
  if (AForWrite && AIndex >= 0 && AIndex < 32) FPropertiesInit |= 1u << AIndex;
  if (IsOverridden(AIndex)) return this;
  TqdDXFDimensionStyle* O = GetOwnerStyle();
  // The owner is a plain style (SetOwnerStyle sees to it), so it answers itself.
  if (O && !AForWrite) return O->PropertyOwner(AIndex, false);
  return this;
}

void TqdDXFDimensionProperties::SetOwnerStyle(TqdDXFDimensionStyle* AStyle) {
  if (AStyle == this || dynamic_cast<TqdDXFDimensionProperties*>(AStyle)) return;
  FOwnerStyleItem.SetItem(AStyle);
}

void TqdDXFDimensionProperties::ResetOverrides(TqdDXFDimensionStyle* AStyle) {
  FPropertiesInit = 0;
  if (!AStyle || AStyle == this) return;
  // An override object hands over its owner, never itself.
  TqdDXFDimensionStyle* Plain = AStyle;
  if (auto* P = dynamic_cast<TqdDXFDimensionProperties*>(AStyle)) {
    FDimProps = P->FDimProps;
    FBlks = P->FBlks;
    FTextStyleItem.SetItem(P->FTextStyleItem.Item());
    Plain = P->GetOwnerStyle();
  } else {
    FDimProps = AStyle->FDimProps;
    FBlks = AStyle->FBlks;
    FTextStyleItem.SetItem(AStyle->TextStyleItem().Item());
  }
  SetOwnerStyle(Plain);
}

void TqdDXFDimensionProperties::AssignEntity(const TqdDXFEntity& Source) {
  TqdDXFDimensionStyle::AssignEntity(Source);
  if (const auto* S = dynamic_cast<const TqdDXFDimensionProperties*>(&Source)) {
    FPropertiesInit = S->FPropertiesInit;
    SetOwnerStyle(S->GetOwnerStyle());
  }
}

void BeginDStyleData(TqdCADExtendedData& AData) {
  AData.AddString(1001, "ACAD");
  AData.AddString(1000, "DSTYLE");
  AData.AddString(1002, "{");
}

namespace {

enum TValueKind { vkReal, vkBool, vkInt, vkColour, vkHandle, vkWeight };
struct TDStyleRow {
  int Code;
  int Index;
  TValueKind Kind;
};
constexpr TDStyleRow cDStyleRows[] = {
    {40, vnDIMSCALE, vkReal},  {41, vnDIMASZ, vkReal},     {42, vnDIMEXO, vkReal},   {44, vnDIMEXE, vkReal},
    {73, vnDIMTIH, vkBool},    {74, vnDIMTOH, vkBool},     {75, vnDIMSE1, vkBool},   {76, vnDIMSE2, vkBool},
    {77, vnDIMTAD, vkInt},     {140, vnDIMTXT, vkReal},    {141, vnDIMCEN, vkReal},  {144, vnDIMLFAC, vkReal},
    {147, vnDIMGAP, vkReal},   {173, vnDIMSAH, vkBool},    {174, vnDIMTIX, vkInt},   {176, vnDIMCLRD, vkColour},
    {177, vnDIMCLRE, vkColour}, {178, vnDIMCLRT, vkColour}, {271, vnDIMDEC, vkInt},  {281, vnDIMSD1, vkBool},
    {282, vnDIMSD2, vkBool},   {340, vnDIMTXSTY, vkHandle}, {341, vnDIMLRBLK, vkHandle}, {342, vnDIMBLK, vkHandle},
    {343, vnDIMBLK1, vkHandle}, {344, vnDIMBLK2, vkHandle}, {371, vnDIMLWD, vkWeight}, {372, vnDIMLWE, vkWeight},
    {78, vnDIMZIN, vkInt},     {278, vnDIMDSEP, vkInt}};

int ColourIndex(const TqdColorCAD& C) { return C.Active == acIndexColor ? C.IndexValue() : 256; }

TqdDXFBlock* BlockOfRecordHandle(const TqdDXFConverter* C, std::uint64_t H) {
  const TqdDXFEntity* Blocks = C ? C->GetSection(csBlocks) : nullptr;
  if (!Blocks || !H) return nullptr;
  for (int I = 0; I < Blocks->Count(); ++I)
    if (auto* B = dynamic_cast<TqdDXFBlock*>(Blocks->GetEntity(I)))
      if ((B->BlockRecord() && B->BlockRecord()->Handle() == H) || B->Handle() == H) return B;
  return nullptr;
}

}  // namespace

TqdCADExtendedData TqdDXFDimensionProperties::GetDStyleData() const {
  TqdCADExtendedData D;
  BeginDStyleData(D);
  const TqdDimStyle& P = FDimProps;
  for (const TDStyleRow& R : cDStyleRows) {
    if (!IsOverridden(R.Index)) continue;
    switch (R.Index) {
      case vnDIMSCALE: D.AddInt16(1070, 40), D.AddDouble(1040, P.Scale); break;
      case vnDIMASZ: D.AddInt16(1070, 41), D.AddDouble(1040, P.Asz); break;
      case vnDIMEXO: D.AddInt16(1070, 42), D.AddDouble(1040, P.Exo); break;
      case vnDIMEXE: D.AddInt16(1070, 44), D.AddDouble(1040, P.Exe); break;
      case vnDIMTIH: D.AddInt16(1070, 73), D.AddInt16(1070, P.Tih ? 1 : 0); break;
      case vnDIMTOH: D.AddInt16(1070, 74), D.AddInt16(1070, P.Toh ? 1 : 0); break;
      case vnDIMSE1: D.AddInt16(1070, 75), D.AddInt16(1070, P.SE1 ? 1 : 0); break;
      case vnDIMSE2: D.AddInt16(1070, 76), D.AddInt16(1070, P.SE2 ? 1 : 0); break;
      case vnDIMTAD: D.AddInt16(1070, 77), D.AddInt16(1070, static_cast<std::int16_t>(P.Tad)); break;
      case vnDIMTXT: D.AddInt16(1070, 140), D.AddDouble(1040, P.Txt); break;
      case vnDIMCEN: D.AddInt16(1070, 141), D.AddDouble(1040, P.Cen); break;
      case vnDIMLFAC: D.AddInt16(1070, 144), D.AddDouble(1040, P.LFac); break;
      case vnDIMGAP: D.AddInt16(1070, 147), D.AddDouble(1040, P.Gap); break;
      case vnDIMSAH: D.AddInt16(1070, 173), D.AddInt16(1070, P.Sah ? 1 : 0); break;
      case vnDIMTIX: D.AddInt16(1070, 174), D.AddInt16(1070, static_cast<std::int16_t>(P.Tix)); break;
      case vnDIMCLRD: D.AddInt16(1070, 176), D.AddInt16(1070, static_cast<std::int16_t>(ColourIndex(P.ClrD))); break;
      case vnDIMCLRE: D.AddInt16(1070, 177), D.AddInt16(1070, static_cast<std::int16_t>(ColourIndex(P.ClrE))); break;
      case vnDIMCLRT: D.AddInt16(1070, 178), D.AddInt16(1070, static_cast<std::int16_t>(ColourIndex(P.ClrT))); break;
      case vnDIMDEC: D.AddInt16(1070, 271), D.AddInt16(1070, static_cast<std::int16_t>(ClampDimDec(P.Dec))); break;
      case vnDIMSD1: D.AddInt16(1070, 281), D.AddInt16(1070, P.SD1 ? 1 : 0); break;
      case vnDIMSD2: D.AddInt16(1070, 282), D.AddInt16(1070, P.SD2 ? 1 : 0); break;
      case vnDIMTXSTY:
        if (const TqdDXFEntity* S = FTextStyleItem.Item()) D.AddInt16(1070, 340), D.AddInt64(1005, static_cast<std::int64_t>(S->Handle()));
        break;
      case vnDIMLRBLK: case vnDIMBLK: case vnDIMBLK1: case vnDIMBLK2: {
        const int Slot = R.Index == vnDIMLRBLK ? 3 : R.Index == vnDIMBLK ? 0 : R.Index == vnDIMBLK1 ? 1 : 2;
        const TqdDXFConverter* C = Converter();
        const TqdDXFBlock* B = C ? C->BlockByName(FBlks[static_cast<std::size_t>(Slot)]) : nullptr;
        if (B && B->BlockRecord()) D.AddInt16(1070, static_cast<std::int16_t>(R.Code)), D.AddInt64(1005, static_cast<std::int64_t>(B->BlockRecord()->Handle()));
        break;
      }
      case vnDIMLWD: D.AddInt16(1070, 371), D.AddInt16(1070, static_cast<std::int16_t>(LineWeightToStandard(P.LwD))); break;
      case vnDIMLWE: D.AddInt16(1070, 372), D.AddInt16(1070, static_cast<std::int16_t>(LineWeightToStandard(P.LwE))); break;
      case vnDIMZIN: D.AddInt16(1070, 78), D.AddInt16(1070, static_cast<std::int16_t>(P.Zin)); break;
      case vnDIMDSEP: D.AddInt16(1070, 278), D.AddInt16(1070, static_cast<std::int16_t>(P.DSep)); break;
      default: break;
    }
  }
  D.AddString(1002, "}");
  return D;
}

bool TqdDXFDimensionProperties::SetDStyleData(const TqdCADExtendedData& AData) {
  if (!AData.IsEqualName("ACAD") || !AData.IsEqualSubName("DSTYLE")) return false;
  FPropertiesInit = 0;
  const auto& Items = AData.Items();
  TqdDXFConverter* C = Converter();
  auto IsInt = [](const TqdExtData& X) {
    return X.EType == edtByte || X.EType == edtInt16 || X.EType == edtInt || X.EType == edtInt64;
  };
  // The pairs start after the opening brace; each 1070 names a code and the next item
  // holds its value. A code with no value after it ends the list.
  for (std::size_t I = 2; I + 1 < Items.size(); ++I) {
    const TqdExtData& K = Items[I];
    if (K.ECode == 1002) {
      if (K.EString == "}") break;
      continue;
    }
    if (K.ECode != 1070) continue;
    const TqdExtData& V = Items[I + 1];
    if (V.ECode == 1002) break;
    ++I;
    const int Code = static_cast<int>(K.EInt);
    const TDStyleRow* Row = nullptr;
    for (const TDStyleRow& R : cDStyleRows)
      if (R.Code == Code) Row = &R;
    if (!Row) continue;
    const bool Real = V.EType == edtDouble || V.EType == edtSingle;
    switch (Row->Kind) {
      case vkReal: {
        if (!Real || !std::isfinite(V.EDouble)) break;
        double X = V.EDouble;
        if (Row->Index == vnDIMTXT || Row->Index == vnDIMLFAC) X = std::fabs(X);
        switch (Row->Index) {
          case vnDIMSCALE: SetScale(X); break;
          case vnDIMASZ: SetArrowSize(X); break;
          case vnDIMEXO: SetExtLineOffset(X); break;
          case vnDIMEXE: SetExtLineExt(X); break;
          case vnDIMTXT: SetTextHeight(X); break;
          case vnDIMCEN: SetSizeCenterMark(X); break;
          case vnDIMLFAC: SetDIMLFAC(X); break;
          case vnDIMGAP: SetTextOffset(X); break;
          default: break;
        }
        break;
      }
      case vkBool: case vkInt: case vkColour: case vkWeight: {
        if (!IsInt(V)) break;
        const long long X = V.EInt;
        const bool B = X == 1;
        switch (Row->Index) {
          case vnDIMTIH: SetDIMTIH(B); break;
          case vnDIMTOH: SetDIMTOH(B); break;
          case vnDIMSE1: SetDIMSE1(B); break;
          case vnDIMSE2: SetDIMSE2(B); break;
          case vnDIMSAH: SetDIMSAH(B); break;
          case vnDIMSD1: SetDIMSD1(B); break;
          case vnDIMSD2: SetDIMSD2(B); break;
          case vnDIMTAD: SetTextPosVert(static_cast<int>(std::clamp<long long>(X, -32768, 32767))); break;
          case vnDIMTIX: SetDIMTIX(static_cast<int>(std::clamp<long long>(X, -32768, 32767))); break;
          case vnDIMDEC: SetDIMDEC(X); break;
          case vnDIMZIN: SetDIMZIN(static_cast<int>(std::clamp<long long>(X, 0, 15))); break;
          case vnDIMDSEP: SetDIMDSEP(X); break;
          case vnDIMCLRD: SetDIMCLRD(TqdColorCAD::Index(static_cast<int>(std::clamp<long long>(X, 0, 257)))); break;
          case vnDIMCLRE: SetDIMCLRE(TqdColorCAD::Index(static_cast<int>(std::clamp<long long>(X, 0, 257)))); break;
          case vnDIMCLRT: SetDIMCLRT(TqdColorCAD::Index(static_cast<int>(std::clamp<long long>(X, 0, 257)))); break;
          case vnDIMLWD: case vnDIMLWE: {
            double MM = 0;
            if (!LineWeightFromInt(X, MM)) break;
            if (Row->Index == vnDIMLWD) SetDIMLWD(MM);
            else SetDIMLWE(MM);
            break;
          }
          default: break;
        }
        break;
      }
      case vkHandle: {
        if (V.ECode != 1005 || !IsInt(V)) break;
        const auto H = static_cast<std::uint64_t>(V.EInt);
        if (Row->Index == vnDIMTXSTY) {
          const TqdDXFEntity* Styles = C ? C->GetSection(csStyles) : nullptr;
          for (int J = 0; Styles && J < Styles->Count(); ++J)
            if (auto* S = dynamic_cast<TqdDXFStyle*>(Styles->GetEntity(J)); S && H && S->Handle() == H) {
              SetTextStyle(S);
              break;
            }
        } else if (TqdDXFBlock* B = BlockOfRecordHandle(C, H)) {
          SetArrowBlock(Row->Index == vnDIMLRBLK ? 3 : Row->Index == vnDIMBLK ? 0 : Row->Index == vnDIMBLK1 ? 1 : 2, B);
        }
        break;
      }
    }
  }
  return true;
}
