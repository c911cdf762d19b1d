#include "Inserts.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

#include "DXFConv.h"
#include "Hatches.h"
#include "Objects.h"
#include "Polylines.h"
#include "TableItems.h"

namespace {

// Attributes move with their insert; only text-like children carry points.
TqdDXFText* AsText(TqdDXFEntity* E) { return dynamic_cast<TqdDXFText*>(E); }

bool IsZeroFactor(double V) { return std::fabs(V) <= 1e-9; }

}  // namespace

// ---------------------------------------------------------------- insert

TqdDXFInsert::~TqdDXFInsert() {
  if (FReferencedBlock) FReferencedBlock->RemoveReference(this);
  FBlockRecord = nullptr;
}

TqdDXFBlock* TqdDXFInsert::Block() const { return FBlockRecord ? FBlockRecord->Block() : nullptr; }

void TqdDXFInsert::SetBlock(TqdDXFBlock* B) { SetBlockRecord(B ? B->BlockRecord() : nullptr); }

void TqdDXFInsert::SetBlockRecord(TqdDXFBlockRecord* R) {
  FBlockLink.reset();
  if (R == FBlockRecord) return;
  if (FReferencedBlock) FReferencedBlock->RemoveReference(this);
  FBlockRecord = R;
  if (TqdDXFBlock* New = Block()) New->AddReference(this);
}

void TqdDXFInsert::SetBlockLink(std::unique_ptr<TqdLinkObject> L) {
  SetBlockRecord(nullptr);
  FBlockLink = std::move(L);
}

TqdDXFEntity* TqdDXFInsert::GetEntity(int Index) const {
  if (Index < 0 || Index >= Count()) return nullptr;
  return FAttribs[static_cast<std::size_t>(Index)].get();
}

int TqdDXFInsert::InsertEntity(int Index, std::unique_ptr<TqdDXFEntity> E) {
  if (!E) return -1;
  if (E->Owner()) {
    (void)E.release();  // owned elsewhere: never re-parent, never free it here
    return -1;
  }
  if (E->EntType() != ceAttrib) return -1;
  Index = std::clamp(Index, 0, Count());
  E->SetOwner(this);
  FAttribs.insert(FAttribs.begin() + Index, std::move(E));
  return Index;
}

std::unique_ptr<TqdDXFEntity> TqdDXFInsert::DeleteEntity(int Index) {
  if (Index < 0 || Index >= Count()) return nullptr;
  std::unique_ptr<TqdDXFEntity> E = std::move(FAttribs[static_cast<std::size_t>(Index)]);
  FAttribs.erase(FAttribs.begin() + Index);
  E->SetOwner(nullptr);
  return E;
}

int TqdDXFInsert::IndexOfEntity(const TqdDXFEntity* E) const {
  for (int I = Count() - 1; I >= 0; --I)
    if (FAttribs[static_cast<std::size_t>(I)].get() == E) return I;
  return -1;
}

void TqdDXFInsert::Clear(bool ADoFree) {
  while (!FAttribs.empty()) DeleteEntity(Count() - 1);
}

void TqdDXFInsert::AttributeAssign(TqdDXFEntity& ADest, const TqdDXFEntity& ASource) { ADest.AssignEntity(ASource); }

void TqdDXFInsert::CopyAttributes(const TqdDXFInsert& ASource) {
  Clear(true);
  for (const auto& A : ASource.FAttribs) {
    std::unique_ptr<TqdDXFEntity> N = A->NewInstance();
    AttributeAssign(*N, *A);
    InsertEntity(Count(), std::move(N));
  }
  if (HasAttribs()) FInternalFlags |= 1;
}

void TqdDXFInsert::LoadAttributes(TqdDXFConverter* C) {
  if (!C) return;
  for (const auto& A : FAttribs) C->Loads(A.get());
}

void TqdDXFInsert::MoveAttributes(const TFPoint& D) {
  for (const auto& A : FAttribs)
    if (TqdDXFText* T = AsText(A.get())) {
      if (T->UsesPoint1()) T->SetPoint1(AddFPoint(T->Point1(), D));
      T->SetPoint(AddFPoint(T->Point(), D));
    }
}

void TqdDXFInsert::SetPoint(const TFPoint& P) {
  if (!IsFiniteFPoint(P)) return;
  MoveAttributes(SubFPoint(P, FPoint));
  FPoint = P;
}

void TqdDXFInsert::SetAngle(double V) {
  if (!std::isfinite(V) || !NormalizeAngle(V)) return;
  const double D = V - FAngle;
  auto Turn = [&](const TFPoint& P) { return AddFPoint(RotateFPoint2D(SubFPoint(P, FPoint), D), FPoint); };
  for (const auto& A : FAttribs)
    if (TqdDXFText* T = AsText(A.get())) {
      if (T->UsesPoint1()) T->SetPoint1(Turn(T->Point1()));
      T->SetPoint(Turn(T->Point()));
      double R = T->Rotation() + D;
      NormalizeAngle(R);
      T->SetRotation(R);
    }
  FAngle = static_cast<float>(V);
}

void TqdDXFInsert::SetScale(const TFPoint& V) {
  if (!IsFiniteFPoint(V)) return;
  if (HasAttribs()) {
    // An axis whose old or new factor is 0 has no ratio: its attributes stay as they are.
    TFPoint R{1, 1, 1};
    for (int I = 0; I < 3; ++I)
      if (!IsZeroFactor(FScale[I]) && !IsZeroFactor(V[I])) R[I] = V[I] / FScale[I];
    auto Scaled = [&](const TFPoint& P) { return AddFPoint(MulFPoint(SubFPoint(P, FPoint), R), FPoint); };
    for (const auto& A : FAttribs)
      if (TqdDXFText* T = AsText(A.get())) {
        T->SetHeight(T->Height() * R.Y);
        T->SetScale(T->Scale() * R.X / R.Y);
        if (T->UsesPoint1()) T->SetPoint1(Scaled(T->Point1()));
        T->SetPoint(Scaled(T->Point()));
      }
  }
  FScale = V;
}

void TqdDXFInsert::SetExtrusion(const TFPoint& P) {
  if (!IsFiniteFPoint(P)) return;
  FExtrusion = (P.X == 0 && P.Y == 0 && P.Z == 0) ? cnstExtrusion : P;
}

void TqdDXFInsert::SetLineWeight(double V) {
  if (std::isfinite(V)) FLineWeight = V;
}

TFPoint TqdDXFInsert::BlockOffset() const {
  const TqdDXFBlock* B = Block();
  if (!B) return cnstFPointZero;
  TFPoint O = B->Offset();
  if (const TqdDXFXref* X = B->Xref(); X && X->XRefConverter())
    O = AddFPoint(O, X->XRefConverter()->HeadVarStruct().InsBase);
  return O;
}

void TqdDXFInsert::RebuildMatrix() {
  ResetMatrix();
  FMatrix = PlacementMatrix(FPoint, FScale, FExtrusion, FMatrix, FAngle, NegateFPoint(BlockOffset()));
}

std::string TqdDXFInsert::Name() const {
  if (FSceneElement >= 1) return "SceneElement";
  const TqdDXFBlock* B = Block();
  return B ? B->Name() : std::string();
}

TqdDXFLayer* TqdDXFInsert::RealLayer() const {
  const TqdDXFInsert* I = this;
  for (int Depth = 0; I && Depth < cnstMaxNestingDepth; ++Depth) {
    TqdDXFLayer* L = I->Layer();
    if (!L || L->Name() != "0" || !I->FOwnerInsert) return L;
    I = I->FOwnerInsert;
  }
  return Layer();
}

std::string TqdDXFInsert::EntName() const {
  const TqdDXFBlock* B = Block();
  return std::string(EntType() == ceMLine ? "MLINE" : "INSERT") + " " + (B ? B->Name() : std::string());
}

TqdCADSpatialFilter* TqdDXFInsert::SpatialFilter() const {
  const TqdDXFDictionary* D = Dictionary();
  if (!D) return nullptr;
  if (const TqdDXFEntity* F = D->FindEntByName("ACAD_FILTER"))
    if (auto* S = dynamic_cast<TqdCADSpatialFilter*>(F->FindEntByName("SPATIAL"))) return S;
  return nullptr;
}

std::vector<TFPoint> TqdDXFInsert::ClipBoundary() const {
  const TqdCADSpatialFilter* F = SpatialFilter();
  return F ? F->Boundary(FMatrix) : std::vector<TFPoint>();
}

void TqdDXFInsert::ResolveLinks(TqdDXFConverter* C) {
  TqdDXFCustomVertex::ResolveLinks(C);
  if (!FBlockLink || !C) return;
  TqdDXFEntity* Found = nullptr;
  if (TqdDXFEntity* Table = C->GetSection(csBlockRecords)) Found = FBlockLink->GetObject(Table);
  if (auto* R = dynamic_cast<TqdDXFBlockRecord*>(Found))
    SetBlockRecord(R);
  else if (auto* B = dynamic_cast<TqdDXFBlock*>(Found))
    SetBlock(B);
  else
    FBlockLink.reset();  // names no block: the insert shows nothing
}

TqdDXFBlock* TqdDXFInsert::PrepareBlock(TqdDXFConverter* C) {
  if (FBlockLink) ResolveLinks(C);
  TqdDXFBlock* B = Block();
  // A block being loaded is skipped by LoadBlock: that ends cycles of self-insertion.
  if (B && C && !B->IsLoaded()) C->LoadBlock(B);
  return B;
}

void TqdDXFInsert::ComputeBox(TqdDXFConverter* C) {
  const TqdDXFBlock* B = Block();
  // An insert of a block that is still being measured closes a cycle: it adds nothing,
  // as it draws nothing on that path.
  if (!B || (C && C->IsBlockLoading(B))) return;
  const TFRect BlockBox = B->Box();
  const bool HasEntities = B->Count() > 0 && !IsBadBox(BlockBox);
  const TqdCADSpatialFilter* F = SpatialFilter();
  const std::vector<TFPoint> Bounds = F ? F->Boundary(FMatrix) : std::vector<TFPoint>();
  if (!Bounds.empty()) {
    TFRect R = cnstBadRect;
    for (const TFPoint& P : Bounds) UnionBoxPoint(R, P);
    const bool FrameShown = F->FDisplayBounds && (!C || C->HeadVarStruct().XClipFrame != 0);
    if (!FrameShown) {
      const TFRect T = HasEntities ? TransformBox(BlockBox, FMatrix) : cnstBadRect;
      if (IsBadBox(T)) {
        R = cnstBadRect;
      } else {
        R.Left = std::max(R.Left, T.Left);
        R.Right = std::min(R.Right, T.Right);
        R.Top = std::min(R.Top, T.Top);
        R.Bottom = std::max(R.Bottom, T.Bottom);
        R.Z1 = T.Z1;
        R.Z2 = T.Z2;
        if (IsBadBox(R)) R = cnstBadRect;
      }
    }
    FBox = R;
    return;
  }
  if (HasEntities) FBox = TransformBox(BlockBox, FMatrix);
}

void TqdDXFInsert::Loaded(TqdDXFConverter* C) {
  TqdDXFCustomVertex::Loaded(C);
  FBox = cnstBadRect;
  TqdDXFBlock* B = PrepareBlock(C);
  RebuildMatrix();
  if (B && (B->Count() > 0 || HasAttribs())) ComputeBox(C);
  if (FInternalFlags & 1) {
    FInternalFlags &= ~1;
    LoadAttributes(C);
  }
  for (const auto& A : FAttribs) {
    const auto* T = dynamic_cast<const TqdDXFAttdef*>(A.get());
    if (T && !T->NotAppear()) UnionBoxes(FBox, T->Box());
  }
  // Huge scales or grids can overflow: such a box would poison every extents above it.
  if (!IsBadBox(FBox) && !IsFiniteBox(FBox)) FBox = cnstBadRect;
  if (C && !Layer() && !FLayerItem.Link()) SetLayer(C->LayerByName("0"));
}

void TqdDXFInsert::AssignEntity(const TqdDXFEntity& Source) {
  TqdDXFCustomVertex::AssignEntity(Source);
  if (const auto* S = dynamic_cast<const TqdDXFInsert*>(&Source)) {
    SetBlockRecord(S->FBlockRecord);
    if (S->FBlockLink) FBlockLink = std::make_unique<TqdLinkObject>(*S->FBlockLink);
    FExtrusion = S->FExtrusion;
    FLineWeight = S->FLineWeight;
    FSceneElement = S->FSceneElement;
    FAngle = S->FAngle;
    FScale = S->FScale;
    FBox = S->FBox;
    FMatrix = S->FMatrix;
  }
}

// ---------------------------------------------------------------- array insert

void TqdCADMInsert::SetNumCols(int V) {
  if (V >= 0 && V <= 65535) FNumCols = static_cast<std::uint16_t>(V);
}

void TqdCADMInsert::SetNumRows(int V) {
  if (V >= 0 && V <= 65535) FNumRows = static_cast<std::uint16_t>(V);
}

void TqdCADMInsert::SetColSpacing(double V) {
  if (std::isfinite(V)) FColSpacing = V;
}

void TqdCADMInsert::SetRowSpacing(double V) {
  if (std::isfinite(V)) FRowSpacing = V;
}

TFPoint TqdCADMInsert::CellOffsetOCS(int ARow, int ACol) const {
  // The grid turns with the reference, as every program that writes MINSERT
  // lays it out: columns run along the rotated X axis, rows along the rotated Y.
  const double A = static_cast<double>(FAngle) * cnstPi / 180.0;
  const double C = std::cos(A), S = std::sin(A);
  const double DX = ACol * FColSpacing, DY = ARow * FRowSpacing;
  return {DX * C - DY * S, DX * S + DY * C, 0};
}

TFPoint TqdCADMInsert::CellOffset(int ARow, int ACol) const {
  return TransformVector(CellOffsetOCS(ARow, ACol), ExtrusionMatrix(FExtrusion));
}

TFMatrix TqdCADMInsert::CellMatrix(int ARow, int ACol) const {
  const TFPoint D = CellOffsetOCS(ARow, ACol);
  const TFPoint P{FPoint.X + D.X, FPoint.Y + D.Y, FPoint.Z};
  return PlacementMatrix(P, FScale, FExtrusion, cnstIdentityMat, FAngle, NegateFPoint(BlockOffset()));
}

void TqdCADMInsert::SetPoint(const TFPoint& P) {
  TqdDXFInsert::SetPoint(P);
  RebuildMatrix();
}

void TqdCADMInsert::ComputeBox(TqdDXFConverter* C) {
  TqdDXFInsert::ComputeBox(C);
  if (IsBadBox(FBox)) return;
  // A turned grid is a parallelogram: take the copy at each of its corners.
  const TFRect One = FBox;
  const int R = EffectiveRows() - 1, K = EffectiveCols() - 1;
  for (const auto& [Row, Col] : {std::pair{0, K}, std::pair{R, 0}, std::pair{R, K}}) {
    const TFPoint D = CellOffset(Row, Col);
    TFRect Moved = One;
    OffsetBox(Moved, D.X, D.Y, D.Z);
    UnionBoxes(FBox, Moved);
  }
  if (IsCapped() && C)
    C->AddWarning("Array insert of block \"" + Name() + "\" has " + std::to_string(CellCount()) +
                  " cells: the first " + std::to_string(cnstMaxInsertCells) + " are drawn, the rest as a box");
}

void TqdCADMInsert::AssignEntity(const TqdDXFEntity& Source) {
  TqdDXFInsert::AssignEntity(Source);
  if (const auto* S = dynamic_cast<const TqdCADMInsert*>(&Source)) {
    FNumCols = S->FNumCols;
    FNumRows = S->FNumRows;
    FColSpacing = S->FColSpacing;
    FRowSpacing = S->FRowSpacing;
  }
}

// ---------------------------------------------------------------- clip insert

void TqdCADClipInsert::SetPoint(const TFPoint& P) {
  if (!IsFiniteFPoint(P)) return;
  if (!IsBadBox(FClipBox)) {
    const TFPoint D = SubFPoint(P, FPoint);
    OffsetBox(FClipBox, D.X, D.Y, D.Z);
  }
  TqdDXFInsert::SetPoint(P);
}

void TqdCADClipInsert::ComputeBox(TqdDXFConverter* C) {
  TqdDXFInsert::ComputeBox(C);
  if (IsBadBox(FBox) || IsBadBox(FClipBox)) return;
  FBox.Left = std::max(FBox.Left, FClipBox.Left);
  FBox.Right = std::min(FBox.Right, FClipBox.Right);
  FBox.Top = std::min(FBox.Top, FClipBox.Top);
  FBox.Bottom = std::max(FBox.Bottom, FClipBox.Bottom);
  if (IsBadBox(FBox)) FBox = cnstBadRect;
}

void TqdCADClipInsert::AssignEntity(const TqdDXFEntity& Source) {
  TqdDXFInsert::AssignEntity(Source);
  if (const auto* S = dynamic_cast<const TqdCADClipInsert*>(&Source)) FClipBox = S->FClipBox;
}

// ---------------------------------------------------------------- attributes

void TqdDXFAttdef::SetTag(std::string_view V) {
  FText.assign(V);
  FTagItem.FName.assign(V);
}

void TqdDXFAttdef::SetOwner(TqdDXFEntity* AOwner) {
  FTagItem.FOwner = AOwner;
  TqdDXFText::SetOwner(AOwner);
}

std::string TqdDXFAttdef::EntName() const {
  return std::string(EntType() == ceAttrib ? "ATTRIB" : "ATTDEF") + " TAG = " + Tag();
}

bool TqdDXFAttdef::DrawsInInsert() const {
  if (EntType() == ceAttrib) return !NotAppear();
  if (FFlags == 0 || NotAppear() || Controlled() || Preset()) return false;
  return !FHasChanging;
}

TqdCADExtendedData TqdDXFAttdef::AttrExtData() const {
  TqdCADExtendedData D;
  D.AddString(1001, "AcDbAttr");
  D.AddInt16(1070, 0);
  D.AddInt16(1070, FLockPosition ? 1 : 0);
  return D;
}

void TqdDXFAttdef::SetAttrExtData(const TqdCADExtendedData& AData) {
  const auto& Items = AData.Items();
  for (std::size_t I = 0; I + 1 < Items.size(); ++I)
    if (Items[I].ECode == 1070 && AData.DataInt(static_cast<int>(I)) == 0 && Items[I + 1].ECode == 1070) {
      FLockPosition = AData.DataInt(static_cast<int>(I + 1)) != 0;
      return;
    }
}

void TqdDXFAttdef::AssignEntity(const TqdDXFEntity& Source) {
  TqdDXFText::AssignEntity(Source);
  if (const auto* S = dynamic_cast<const TqdDXFAttdef*>(&Source)) {
    FTagItem.FName = S->FTagItem.FName;
    FHasChanging = S->FHasChanging;
    FValue = S->FValue;
    FFlags = S->FFlags;
    FLockPosition = S->FLockPosition;
  }
}

void TqdDXFAttrib::SetValue(std::string_view V) {
  SetText(V);
  FValue = FText;
}

// ---------------------------------------------------------------- multiline vertex

void TqdMVertex::Complete() {
  if (!FParams.empty())
    while (FParams.back().size() < 2) FParams.back().push_back(0.0f);
}

void TqdMVertex::NewList() {
  Complete();
  FParams.emplace_back();
}

void TqdMVertex::Add(float V) {
  if (FParams.empty()) FParams.emplace_back();
  FParams.back().push_back(std::isfinite(V) ? V : 0.0f);
}

int TqdMVertex::GetPCount(int I) const {
  if (I < 0 || I >= ParamsCount()) return 0;
  return static_cast<int>(FParams[static_cast<std::size_t>(I)].size());
}

float TqdMVertex::GetParam(int I, int J) const {
  if (J < 0 || J >= GetPCount(I)) return 0.0f;
  return FParams[static_cast<std::size_t>(I)][static_cast<std::size_t>(J)];
}

void TqdMVertex::AssignEntity(const TqdDXFEntity& Source) {
  TqdDXFEntity::AssignEntity(Source);
  if (const auto* S = dynamic_cast<const TqdMVertex*>(&Source)) {
    FPoint = S->FPoint;
    FDirection = S->FDirection;
    FMiter = S->FMiter;
    FParams = S->FParams;
  }
}

// ---------------------------------------------------------------- multiline style

TqdDXFLineType* TqdMLineEntry::LineType() const { return dynamic_cast<TqdDXFLineType*>(FLineTypeItem.Item()); }

void TqdMLineEntry::ResolveLinks(TqdDXFConverter* C) {
  ResolveTableItem<TqdDXFLineType>(FLineTypeItem, C, csLTypes);
}

void TqdMLineEntry::AssignEntity(const TqdDXFEntity& Source) {
  TqdDXFEntity::AssignEntity(Source);
  if (const auto* S = dynamic_cast<const TqdMLineEntry*>(&Source)) {
    FColor = S->FColor;
    FLineTypeItem.SetItem(S->FLineTypeItem.Item());
    FOffset = S->FOffset;
  }
}

TqdMLineStyle::~TqdMLineStyle() { FEntries.clear(); }

TqdDXFEntity* TqdMLineStyle::GetEntity(int Index) const {
  if (Index < 0 || Index >= Count()) return nullptr;
  return FEntries[static_cast<std::size_t>(Index)].get();
}

int TqdMLineStyle::InsertEntity(int Index, std::unique_ptr<TqdDXFEntity> E) {
  if (!E) return -1;
  if (E->Owner()) {
    (void)E.release();
    return -1;
  }
  if (!dynamic_cast<TqdMLineEntry*>(E.get())) return -1;
  Index = std::clamp(Index, 0, Count());
  E->SetOwner(this);
  FEntries.insert(FEntries.begin() + Index, std::move(E));
  return Index;
}

std::unique_ptr<TqdDXFEntity> TqdMLineStyle::DeleteEntity(int Index) {
  if (Index < 0 || Index >= Count()) return nullptr;
  std::unique_ptr<TqdDXFEntity> E = std::move(FEntries[static_cast<std::size_t>(Index)]);
  FEntries.erase(FEntries.begin() + Index);
  E->SetOwner(nullptr);
  return E;
}

int TqdMLineStyle::IndexOfEntity(const TqdDXFEntity* E) const {
  for (int I = Count() - 1; I >= 0; --I)
    if (FEntries[static_cast<std::size_t>(I)].get() == E) return I;
  return -1;
}

TqdMLineEntry* TqdMLineStyle::NewEntry(const TqdColorCAD& AColor, TqdDXFLineType* ALType, double AOffset) {
  auto E = std::make_unique<TqdMLineEntry>();
  E->SetColorCAD(AColor);
  E->SetLineType(ALType);
  E->SetOffset(AOffset);
  TqdMLineEntry* Raw = E.get();
  return InsertEntity(Count(), std::move(E)) >= 0 ? Raw : nullptr;
}

void TqdMLineStyle::AssignEntity(const TqdDXFEntity& Source) {
  TqdDXFCustomColor::AssignEntity(Source);
  if (const auto* S = dynamic_cast<const TqdMLineStyle*>(&Source)) {
    FEntries.clear();
    for (const auto& E : S->FEntries) {
      std::unique_ptr<TqdDXFEntity> N = E->NewInstance();
      N->AssignEntity(*E);
      InsertEntity(Count(), std::move(N));
    }
  }
}

// ---------------------------------------------------------------- multiline

TqdCADMLine::TqdCADMLine() : FPrivateBlock(std::make_unique<TqdDXFBlock>()) {
  SetBlock(FPrivateBlock.get());
  SetLineTypeScale(1.0);
}

TqdCADMLine::~TqdCADMLine() {
  SetBlockRecord(nullptr);
  FPrivateBlock.reset();
}

TqdMLineStyle* TqdCADMLine::Style() const { return dynamic_cast<TqdMLineStyle*>(FStyleItem.Item()); }

void TqdCADMLine::SetStyle(TqdMLineStyle* S) { FStyleItem.SetItem(S); }

TqdMVertex* TqdCADMLine::GetItem(int I) const {
  if (I < 0 || I >= ItemsCount()) return nullptr;
  return FItems[static_cast<std::size_t>(I)].get();
}

TqdMVertex* TqdCADMLine::AddItem(std::unique_ptr<TqdMVertex> V) {
  if (!V || V->Owner()) {
    (void)V.release();
    return nullptr;
  }
  V->SetOwner(this);
  FItems.push_back(std::move(V));
  return FItems.back().get();
}

void TqdCADMLine::ResolveLinks(TqdDXFConverter* C) {
  TqdDXFInsert::ResolveLinks(C);
  TqdLinkObject* L = FStyleItem.Link();
  if (!L || !C) return;
  TqdDXFEntity* Found = nullptr;
  if (TqdDXFEntity* Styles = C->GetSection(csMLineStyles)) Found = L->GetObject(Styles);
  FStyleItem.ClearLink();
  FStyleItem.SetItem(dynamic_cast<TqdMLineStyle*>(Found));
}

void TqdCADMLine::BuildBlock(TqdDXFConverter* C) {
  TqdDXFBlock* B = FPrivateBlock.get();
  const TqdMLineStyle* S = Style();
  B->Clear(true);
  B->SetConverter(C);
  auto NewPolyline = [&](const TqdMLineEntry* Entry) {
    auto P = std::make_unique<TqdDXFPolyline>();
    P->SetColorCAD(Entry->ColorCAD());
    P->SetLineType(Entry->LineType());
    P->SetLayer(Layer());
    P->SetExtrusion(FExtrusion);
    P->SetLineTypeScale(LineTypeScale());
    P->SetLineWeight(FLineWeight);
    P->SetClosed(IsClosed());
    P->SetIsPLinegen(true);
    P->SetPolyline3D(true);
    TqdDXFPolyline* Raw = P.get();
    return B->AddEntity(std::move(P)) >= 0 ? Raw : nullptr;
  };
  auto Finish = [&](TqdDXFPolyline* P) {
    if (!P) return;
    if (P->Count() == 0)
      B->RemoveEntity(P);  // an element without points here leaves nothing behind
    else if (C)
      C->Loads(P);
  };
  for (int E = 0; E < S->Count(); ++E) {
    const TqdMLineEntry* Entry = S->GetEntry(E);
    if (!Entry) continue;
    TqdDXFPolyline* P = NewPolyline(Entry);
    for (const auto& V : FItems) {
      // The lists follow the vertex, not the style: a vertex without list E adds
      // nothing for this element and ends its current polyline.
      const int N = V->GetPCount(E);
      if (N == 0) {
        if (P && P->Count() > 0) {
          Finish(P);
          P = NewPolyline(Entry);
        }
        continue;
      }
      const TFPoint A = AddFPoint(V->Point(), ScaleFPoint(V->Miter(), V->GetParam(E, 0)));
      for (int J = 1; J < N; ++J) {
        if (P) P->AddVertex(AddFPoint(A, ScaleFPoint(V->Direction(), V->GetParam(E, J))));
        if (J % 2 == 0 && J != N - 1) {
          Finish(P);
          P = NewPolyline(Entry);
        }
      }
    }
    Finish(P);
  }
  if (S->Filled()) {
    // One loop: the outermost offsets forward, the innermost back. Only vertices with
    // lists contribute, so the insert position is their running count.
    std::vector<TFPoint> Loop;
    std::size_t K = 0;
    for (const auto& V : FItems) {
      if (V->ParamsCount() == 0) continue;
      float Hi = -1e30f, Lo = 1e30f;
      for (int E = 0; E < V->ParamsCount(); ++E)
        if (V->GetPCount(E) > 0) {
          Hi = std::max(Hi, V->GetParam(E, 0));
          Lo = std::min(Lo, V->GetParam(E, 0));
        }
      if (Hi < Lo) continue;
      Loop.insert(Loop.begin() + static_cast<std::ptrdiff_t>(K), AddFPoint(V->Point(), ScaleFPoint(V->Miter(), Hi)));
      Loop.insert(Loop.begin() + static_cast<std::ptrdiff_t>(K + 1),
                  AddFPoint(V->Point(), ScaleFPoint(V->Miter(), Lo)));
      ++K;
    }
    if (K >= 2) {
      auto Fill = std::make_unique<TqdCADPolyPolygon>();
      Fill->SetColorCAD(S->ColorCAD());
      Fill->SetLayer(Layer());
      Fill->AddLoop(Loop);
      TqdCADPolyPolygon* Raw = Fill.get();
      if (B->InsertEntity(0, std::move(Fill)) >= 0 && C) C->Loads(Raw);
    }
  }
}

void TqdCADMLine::Loaded(TqdDXFConverter* C) {
  if (FStyleItem.Link()) ResolveLinks(C);
  if (!Style()) return;
  if (C && !LineType() && !FLineTypeItem.Link()) {
    SetLineType(dynamic_cast<TqdDXFLineType*>(C->ItemByName("BYBLOCK", csLTypes, true)));
    SetColorCAD(TqdColorCAD::Index(clByBlock));
  }
  BuildBlock(C);
  TqdDXFInsert::Loaded(C);
}

void TqdCADMLine::AssignEntity(const TqdDXFEntity& Source) {
  // The private block stays this multiline's own.
  TqdDXFBlockRecord* Own = FBlockRecord;
  TqdDXFInsert::AssignEntity(Source);
  SetBlockRecord(Own);
  if (const auto* S = dynamic_cast<const TqdCADMLine*>(&Source)) {
    FStyleItem.SetItem(S->FStyleItem.Item());
    FFlags = S->FFlags;
    FJustify = S->FJustify;
    FScaleFactor = S->FScaleFactor;
    FStartPoint = S->FStartPoint;
    FItems.clear();
    for (const auto& V : S->FItems) {
      auto N = std::make_unique<TqdMVertex>();
      N->AssignEntity(*V);
      AddItem(std::move(N));
    }
  }
}
