#include "DXFBase.h"
#include "qdSpatialIndex.h"

#include "CachedCast.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <unordered_set>

#include "DXFConv.h"
#include "TableItems.h"
#include "qdFunction.h"

// ---------------------------------------------------------------- placeholders

std::unique_ptr<TqdLinkObject> TqdLinkObject::ByName(std::string_view AName) {
  auto L = std::make_unique<TqdLinkObject>();
  L->FLinkType = ltByName;
  L->FName.assign(AName);
  return L;
}
std::unique_ptr<TqdLinkObject> TqdLinkObject::ByHandle(std::uint64_t AHandle) {
  auto L = std::make_unique<TqdLinkObject>();
  L->FLinkType = ltByHandle;
  L->FHandle = AHandle;
  return L;
}
std::unique_ptr<TqdLinkObject> TqdLinkObject::ByIndex(std::int64_t AIndex) {
  auto L = std::make_unique<TqdLinkObject>();
  L->FLinkType = ltByIndex;
  L->FIndex = AIndex;
  return L;
}
std::unique_ptr<TqdLinkObject> TqdLinkObject::ByPlotStyleName(std::int64_t AIndex) {
  auto L = std::make_unique<TqdLinkObject>();
  L->FLinkType = ltByPlotStyleName;
  L->FIndex = AIndex;
  return L;
}

TqdDXFEntity* TqdLinkObject::GetObject(TqdDXFEntity* AOwner) {
  if (FResolved) return FObject;
  if (!AOwner) return nullptr;
  FResolved = true;
  switch (FLinkType) {
    case ltByName: FObject = AOwner->FindEntByName(FName); break;
    case ltByHandle: FObject = FHandle ? AOwner->FindEntByHandle(false, false, FHandle) : nullptr; break;
    case ltByIndex:
      // File values index here: anything outside the children stays unresolved.
      FObject = (FIndex >= 0 && FIndex < AOwner->Count()) ? AOwner->GetEntity(static_cast<int>(FIndex))
                                                          : nullptr;
      break;
    case ltByPlotStyleName: {
      constexpr std::int64_t N = sizeof(cnstPlotStyleNames) / sizeof(cnstPlotStyleNames[0]);
      FObject = (FIndex >= 0 && FIndex < N) ? AOwner->FindEntByName(cnstPlotStyleNames[FIndex]) : nullptr;
      break;
    }
  }
  return FObject;
}

// ---------------------------------------------------------------- counted links

void TqdTableItem::SetItem(TqdDXFEntity* Value) {
  if (Value) FLink.reset();
  if (Value == FItem) return;
  TqdDXFEntity* Old = FItem;
  FItem = Value;
  if (Value)
    if (TqdNamedItem* N = Value->GetNamedItem()) ++N->FRefCount;
  if (Old)
    if (TqdNamedItem* N = Old->GetNamedItem()) {
      if (N->FRefCount > 0) --N->FRefCount;
      // Only an item its table let go of belongs to its references.
      if (N->FRefCount == 0 && !N->FOwner && N->FOwnedByRefs) delete Old;
    }
}

void TqdTableItem::SetLink(std::unique_ptr<TqdLinkObject> ALink) {
  SetItem(nullptr);
  FLink = std::move(ALink);
}

void ReleaseEntity(std::unique_ptr<TqdDXFEntity> E) {
  if (!E) return;
  if (TqdNamedItem* N = E->GetNamedItem(); N && N->FRefCount > 0) {
    N->FOwnedByRefs = true;
    (void)E.release();  // the last reference frees it
  }
}

// ---------------------------------------------------------------- TqdDXFEntity

TqdDXFEntity::~TqdDXFEntity() = default;

TqdDXFConverter* TqdDXFEntity::Converter() const {
  const TqdDXFEntity* E = this;
  for (int Depth = 0; E && Depth < cnstMaxNestingDepth; ++Depth) {
    if (TqdDXFConverter* C = E->OwnConverter()) return C;
    E = E->Owner();
  }
  return nullptr;
}

void TqdDXFEntity::SetLType(TqdDXFEntity* Value) {
  SetLineType(dynamic_cast<TqdDXFLineType*>(Value));
}

bool TqdDXFEntity::Visible() const {
  if (!Visibility()) return false;
  const TqdDXFLayer* L = Layer();
  return !L || (L->Visible() && !L->Frozen());
}

TqdEntityExtra* TqdDXFEntity::Extra(bool ACreate) const {
  if (!ACreate && !FHasExtra) return nullptr;
  TqdDXFConverter* C = Converter();
  return C ? C->GetEntityExtra(this, ACreate) : nullptr;
}

TqdDXFDictionary* TqdDXFEntity::Dictionary() const {
  const TqdEntityExtra* X = Extra(false);
  return X ? X->Dictionary : nullptr;
}

void TqdDXFEntity::SetDictionary(TqdDXFDictionary* D) {
  if (TqdDXFConverter* C = Converter()) C->SetEntityDictionary(this, D);
}

const TqdCADExtendedData* TqdDXFEntity::GetEED(std::string_view AAppID) const {
  const TqdEntityExtra* X = Extra(false);
  if (!X) return nullptr;
  auto It = X->EED.find(UpperNameText(AAppID));
  return It == X->EED.end() ? nullptr : &It->second;
}

void TqdDXFEntity::SetEED(const TqdCADExtendedData& AValue, std::string_view AAppID) {
  if (TqdDXFConverter* C = Converter()) C->SetEntityEED(this, AAppID, AValue);
}

void TqdDXFEntity::SetExtDataHyperLink(const TqdCADExtendedData& D) {
  SetHyperLink(HyperLinkFromExtData(D));
}

TqdDXFEntity* TqdDXFEntity::FindEntByName(std::string_view AName) const {
  return GetEntity(IndexOfName(AName));
}

bool TqdDXFEntity::RemoveEntity(TqdDXFEntity* AEntity) {
  bool Found = false;
  for (int I = Count() - 1; I >= 0; --I)
    if (GetEntity(I) == AEntity) {
      ReleaseEntity(DeleteEntity(I));
      Found = true;
    }
  return Found;
}

int TqdDXFEntity::IndexOfHandle(std::uint64_t AHandle) const {
  for (int I = Count() - 1; I >= 0; --I)
    if (const TqdDXFEntity* E = GetEntity(I); E && E->Handle() == AHandle) return I;
  return -1;
}

namespace {

TqdDXFEntity* FindByHandle(const TqdDXFEntity* G, bool AChildren, bool AInsert, std::uint64_t H,
                           int Depth, std::unordered_set<const TqdDXFEntity*>& Searched) {
  if (Depth > cnstMaxNestingDepth) return nullptr;
  const int N = G->Count();
  for (int I = N - 1; I >= 0; --I)
    if (TqdDXFEntity* E = G->GetEntity(I); E && E->Handle() == H) return E;
  if (AChildren)
    for (int I = 0; I < N; ++I)
      if (TqdDXFEntity* E = G->GetEntity(I))
        if (TqdDXFEntity* R = FindByHandle(E, AChildren, AInsert, H, Depth + 1, Searched)) return R;
  if (AInsert && G->IsInsert())
    // A block is searched once: it cannot hold the handle the second time either, and
    // a block that inserts itself would otherwise never end.
    if (TqdDXFEntity* B = G->InsertBlock(); B && Searched.insert(B).second)
      return FindByHandle(B, AChildren, AInsert, H, Depth + 1, Searched);
  return nullptr;
}

}  // namespace

TqdDXFEntity* TqdDXFEntity::FindEntByHandle(bool AIterateChildren, bool AIterateInsert,
                                            std::uint64_t AHandle) const {
  if (AHandle == 0) return nullptr;
  std::unordered_set<const TqdDXFEntity*> Searched;
  return FindByHandle(this, AIterateChildren, AIterateInsert, AHandle, 0, Searched);
}

void TqdDXFEntity::RegisterHandle(TqdDXFConverter* C) {
  if (C) C->CheckEntityHandle(this);
}

void TqdDXFEntity::Clone(const TqdDXFEntity& Source) {
  AssignEntity(Source);
  SetHandle(Source.Handle());
}

// ---------------------------------------------------------------- object entities

TqdDXFObjectEntity::~TqdDXFObjectEntity() {
  FGroup.reset();
  if (FHasExtra)
    if (TqdDXFConverter* C = Converter()) C->RemoveEntityEED(this);
  FLayerItem.SetItem(nullptr);
  TqdDXFObjectEntity::SetConverter(nullptr);
}

void TqdDXFObjectEntity::SetConverter(TqdDXFConverter* C) {
  if (C == FConverter) return;
  if (FConverter) FConverter->GeneratedListRemove(this);
  FConverter = C;
  if (C && FHandle == 0 && NeedsHandle()) C->GeneratedListAdd(this);
}

TqdDXFLayer* TqdDXFObjectEntity::Layer() const {
  return CachedCast<TqdDXFLayer>(FLayerItem.Item());
}

void TqdDXFObjectEntity::SetLayer(TqdDXFLayer* ALayer) { FLayerItem.SetItem(ALayer); }

TqdDXFEntity* TakePlaceholderTarget(TqdTableItem& AItem, TqdDXFConverter* C, int ASection) {
  TqdLinkObject* L = AItem.Link();
  TqdDXFEntity* Found = nullptr;
  if (L && C)
    if (TqdDXFEntity* Table = C->GetSection(ASection)) Found = L->GetObject(Table);
  AItem.ClearLink();
  return Found;
}

void TqdDXFObjectEntity::ResolveLinks(TqdDXFConverter* C) {
  TqdLinkObject* L = FLayerItem.Link();
  if (!L || !C) return;
  TqdDXFEntity* Found = nullptr;
  if (TqdDXFEntity* Table = C->GetSection(csLayers)) Found = L->GetObject(Table);
  TqdDXFLayer* Layer = dynamic_cast<TqdDXFLayer*>(Found);
  if (!Layer) {
    if (L->LinkType() == ltByName && !L->Name().empty())
      Layer = C->LayerByName(L->Name());
    else if (TqdDXFEntity* Table = C->GetSection(csLayers))
      Layer = dynamic_cast<TqdDXFLayer*>(Table->FindEntByName("0"));
  }
  FLayerItem.SetItem(nullptr);
  FLayerItem.ClearLink();
  FLayerItem.SetItem(Layer);
}

void TqdDXFObjectEntity::AssignEntity(const TqdDXFEntity& Source) {
  TqdDXFEntity::AssignEntity(Source);
  SetHyperLink(Source.HyperLink());
  SetLineWeight(Source.LineWeight());
  SetLineTypeScale(Source.LineTypeScale());
  if (const auto* S = dynamic_cast<const TqdDXFObjectEntity*>(&Source)) {
    FInternalFlags = S->FInternalFlags;
    FLayerItem.SetItem(S->FLayerItem.Item());
    FFlag = S->FFlag;
    FPenStyle = S->FPenStyle;
  }
}

TqdDXFGroup* TqdDXFObjectEntity::GetGroup(bool ACreate) {
  if (!FGroup && ACreate) {
    FGroup = std::make_unique<TqdDXFGroup>();
    FGroup->SetOwner(this);
  }
  return FGroup.get();
}

void TqdDXFObjectEntity::FreeGroup() { FGroup.reset(); }

void TqdDXFObjectEntityColor::AssignEntity(const TqdDXFEntity& Source) {
  TqdDXFObjectEntity::AssignEntity(Source);
  FColor = Source.ColorCAD();
}

void TqdDXFPenEntity::SetLineTypeScale(double V) {
  if (std::isfinite(V)) FLineTypeScale = std::fabs(V);
}

void TqdDXFPenEntity::AssignEntity(const TqdDXFEntity& Source) {
  TqdDXFObjectEntityColor::AssignEntity(Source);
}

TqdDXFLineType* TqdDXFObjectEntityLineType::LineType() const {
  return dynamic_cast<TqdDXFLineType*>(FLineTypeItem.Item());
}

void TqdDXFObjectEntityLineType::SetLineType(TqdDXFLineType* AType) { FLineTypeItem.SetItem(AType); }

void TqdDXFObjectEntityLineType::Loaded(TqdDXFConverter* C) {
  TqdDXFPenEntity::Loaded(C);
  if (C && !FLineTypeItem.Item() && !FLineTypeItem.Link())
    FLineTypeItem.SetItem(C->ByLayerLType());
}

void TqdDXFObjectEntityLineType::ResolveLinks(TqdDXFConverter* C) {
  TqdDXFPenEntity::ResolveLinks(C);
  ResolveTableItem<TqdDXFLineType>(FLineTypeItem, C, csLTypes);
}

void TqdDXFObjectEntityLineType::AssignEntity(const TqdDXFEntity& Source) {
  TqdDXFPenEntity::AssignEntity(Source);
  FLineTypeItem.SetItem(Source.LineType());
}

void TqdDXFCustomVertex::SetPoint(const TFPoint& P) {
  if (IsFiniteFPoint(P)) FPoint = P;
}

void TqdDXFCustomVertex::AssignEntity(const TqdDXFEntity& Source) {
  TqdDXFObjectEntityLineType::AssignEntity(Source);
  if (const auto* S = dynamic_cast<const TqdDXFCustomVertex*>(&Source)) FPoint = S->Point();
}

void TqdDXFPenLine::SetExtrusion(const TFPoint& P) {
  if (!IsFiniteFPoint(P)) return;
  if (IsEqualFPoints(P, cnstExtrusion, fDoubleResolution))
    FExtrusion.reset();
  else
    FExtrusion = std::make_unique<TFPoint>(P);
}

void TqdDXFPenLine::SetLineWeight(double V) {
  if (std::isfinite(V)) FLineWeight = V;
}

void TqdDXFPenLine::SetLWeight(int W) {
  if (FLineWeight == cnstLWByLayer) FLineWeight = W / 100.0;
}

void TqdDXFPenLine::SetZThick(double V) {
  if (std::isfinite(V)) FZThick = V;
}

void TqdDXFPenLine::ApplyExtrusion() {
  if (FExtrusion) FPoint = OCSToWCS(FPoint, *FExtrusion);
}

void TqdDXFPenLine::Loaded(TqdDXFConverter* C) {
  TqdDXFCustomVertex::Loaded(C);
  ApplyExtrusion();
}

void TqdDXFPenLine::AssignEntity(const TqdDXFEntity& Source) {
  TqdDXFCustomVertex::AssignEntity(Source);
  if (const auto* S = dynamic_cast<const TqdDXFPenLine*>(&Source)) {
    if (S->FExtrusion)
      FExtrusion = std::make_unique<TFPoint>(*S->FExtrusion);
    else
      FExtrusion.reset();
    FLineWeight = S->FLineWeight;
    FZThick = S->FZThick;
  }
}

// ---------------------------------------------------------------- table items

TqdDXFOwneredItem::TqdDXFOwneredItem() { FNamedItem.FAncestor = this; }

TqdDXFOwneredItem::~TqdDXFOwneredItem() {
  if (FHasExtra)
    if (TqdDXFConverter* C = Converter()) C->RemoveEntityEED(this);
  TqdDXFOwneredItem::SetConverter(nullptr);
}

void TqdDXFOwneredItem::SetConverter(TqdDXFConverter* C) {
  if (C == FConverter) return;
  if (FConverter) FConverter->GeneratedListRemove(this);
  FConverter = C;
  if (C && FHandle == 0 && NeedsHandle()) C->GeneratedListAdd(this);
}

namespace {
// Entering a table counts one reference to a named item, leaving it drops that one.
void EnterOrLeaveTable(TqdNamedItem& N, TqdDXFEntity* AOwner) {
  if (AOwner == N.FOwner) return;
  if (!N.FOwner && AOwner) {
    ++N.FRefCount;
    N.FOwnedByRefs = false;
  } else if (N.FOwner && !AOwner && N.FRefCount > 0) {
    --N.FRefCount;
  }
  N.FOwner = AOwner;
}
} // namespace

void TqdDXFOwneredItem::SetOwner(TqdDXFEntity* AOwner) { EnterOrLeaveTable(FNamedItem, AOwner); }

void TqdDXFOwneredItem::SetNameUnchecked(std::string_view AName) {
  TqdDXFEntity* O = FNamedItem.FOwner;
  if (O) O->IndexRemove(this);
  FNamedItem.FName.assign(AName);
  if (O) O->IndexAdd(this);
}

void TqdDXFOwneredItem::AssignEntity(const TqdDXFEntity& Source) {
  TqdDXFEntity::AssignEntity(Source);
  SetNameUnchecked(Source.Name());
}

void TqdDXFPenTableItem::AssignEntity(const TqdDXFEntity& Source) {
  TqdDXFOwneredItem::AssignEntity(Source);
  FFlags = Source.Flags();
}

void TqdDXFCustomColor::AssignEntity(const TqdDXFEntity& Source) {
  TqdDXFPenTableItem::AssignEntity(Source);
  FColor = Source.ColorCAD();
}

// ---------------------------------------------------------------- groups

TqdDXFGroup::~TqdDXFGroup() {
  FOnListNotify = nullptr;
  TqdDXFGroup::Clear(true);
}

TqdDXFEntity* TqdDXFGroup::GetEntity(int Index) const {
  if (Index < 0 || Index >= Count()) return nullptr;
  return FEntities[static_cast<std::size_t>(Index)].get();
}

int TqdDXFGroup::InsertEntity(int Index, std::unique_ptr<TqdDXFEntity> E) {
  FSpatialIndex.reset();
  if (!E || E->EntType() == ceSeqEnd) return -1;
  if (E->Owner()) {
    // Someone else owns it: never re-parent, never free it here.
    (void)E.release();
    return -1;
  }
  // The owner chain is finite: no insertion ever closed a cycle.
  int Depth = 0;
  for (const TqdDXFEntity* P = this; P; P = P->Owner(), ++Depth)
    if (P == E.get()) {
      (void)E.release();  // a group cannot hold one of its owners
      return -1;
    }
  if (Depth >= cnstMaxTreeDepth) return -1;
  Index = std::clamp(Index, 0, Count());
  TqdDXFEntity* Raw = E.get();
  FEntities.insert(FEntities.begin() + Index, std::move(E));
  ListNotify(Raw, lnAdded);
  return Index;
}

std::unique_ptr<TqdDXFEntity> TqdDXFGroup::DeleteEntity(int Index) {
  if (Index < 0 || Index >= Count()) return nullptr;
  FSpatialIndex.reset();
  std::unique_ptr<TqdDXFEntity> E = std::move(FEntities[static_cast<std::size_t>(Index)]);
  FEntities.erase(FEntities.begin() + Index);
  ListNotify(E.get(), lnExtracted);
  return E;
}

std::unique_ptr<TqdDXFEntity> TqdDXFGroup::SetEntity(int Index, std::unique_ptr<TqdDXFEntity> E) {
  if (Index < 0 || Index >= Count()) return E;
  std::unique_ptr<TqdDXFEntity> Old = DeleteEntity(Index);
  InsertEntity(Index, std::move(E));
  return Old;
}

void TqdDXFGroup::ExchangeEntity(int I, int J) {
  if (I < 0 || J < 0 || I >= Count() || J >= Count()) return;
  FSpatialIndex.reset();
  std::swap(FEntities[static_cast<std::size_t>(I)], FEntities[static_cast<std::size_t>(J)]);
}

int TqdDXFGroup::IndexOfEntity(const TqdDXFEntity* E) const {
  for (int I = Count() - 1; I >= 0; --I)
    if (FEntities[static_cast<std::size_t>(I)].get() == E) return I;
  return -1;
}

int TqdDXFGroup::IndexOfName(std::string_view AName) const {
  for (int I = Count() - 1; I >= 0; --I)
    if (SameNameText(FEntities[static_cast<std::size_t>(I)]->Name(), AName)) return I;
  return -1;
}

void TqdDXFGroup::Clear(bool ADoFree) {
  while (!FEntities.empty()) ReleaseEntity(DeleteEntity(Count() - 1));
}

void TqdDXFGroup::SortChildren(
    const std::function<bool(const TqdDXFEntity*, const TqdDXFEntity*)>& Less) {
  FSpatialIndex.reset();
  std::stable_sort(FEntities.begin(), FEntities.end(),
                   [&](const std::unique_ptr<TqdDXFEntity>& A, const std::unique_ptr<TqdDXFEntity>& B) {
                     return Less(A.get(), B.get());
                   });
}

const TqdSpatialIndex* TqdDXFGroup::SpatialIndex() const {
  if (Count() < TqdSpatialIndex::MinEntities()) {
    FSpatialIndex.reset();
    return nullptr;
  }
  if (!FSpatialIndex) {
    FSpatialIndex = std::make_unique<TqdSpatialIndex>(*this);
    for (std::size_t I = 0; I < FEntities.size(); ++I) FEntities[I]->FIndexSlot = static_cast<std::uint32_t>(I);
  }
  return FSpatialIndex.get();
}

void TqdDXFGroup::DropSpatialIndex() const { FSpatialIndex.reset(); }

void TqdDXFGroup::ChildChanged(TqdDXFEntity* E) {
  if (!FSpatialIndex) return;
  const std::uint32_t S = E ? E->FIndexSlot : 0xFFFFFFFF;
  if (S >= FEntities.size() || FEntities[S].get() != E || !FSpatialIndex->Moved(static_cast<int>(S)))
    FSpatialIndex.reset();
}

void TqdDXFGroup::ListNotify(TqdDXFEntity* E, TListNotification Action) {
  TqdDXFConverter* C = Converter();
  if (Action == lnAdded) {
    if (C) C->EntityNotify(E, Action);
    E->SetOwner(this);
    if (FOnListNotify) FOnListNotify(E, Action);
  } else {
    if (FOnListNotify) FOnListNotify(E, Action);
    E->SetOwner(nullptr);
    if (C) C->EntityNotify(E, Action);
  }
}

// ---------------------------------------------------------------- tables

TqdDXFTable::TqdDXFTable() { FNamedItem.FAncestor = this; }

TqdDXFTable::~TqdDXFTable() {
  FOnListNotify = nullptr;
  TqdDXFTable::Clear(true);
}

void TqdDXFTable::SetOwner(TqdDXFEntity* AOwner) {
  if (AOwner == FNamedItem.FOwner) return;
  EnterOrLeaveTable(FNamedItem, AOwner);
  FOwner = AOwner;
}

void TqdDXFTable::SetName(std::string_view AName) {
  TqdDXFEntity* O = FNamedItem.FOwner;
  if (O) O->IndexRemove(this);
  FNamedItem.FName.assign(AName);
  if (O) O->IndexAdd(this);
}

TqdDXFEntity* TqdDXFTable::FindEntByName(std::string_view AName) const {
  // The last of equal names: the one before the first greater name, when equal.
  const std::string Key = UpperNameText(AName);
  auto It = FSortEntList.upper_bound(Key);
  if (It == FSortEntList.begin()) return nullptr;
  --It;
  return It->first == Key ? It->second : nullptr;
}

void TqdDXFTable::IndexChanged() {
  static std::atomic<std::uint64_t> Stamps{0};
  FIndexStamp = ++Stamps;
}

int TqdDXFTable::IndexAdd(TqdDXFEntity* E) {
  IndexChanged();
  FSortEntList.emplace(UpperNameText(E->Name()), E);  // lands after equal names
  return 0;
}

int TqdDXFTable::IndexRemove(TqdDXFEntity* E) {
  IndexChanged();
  auto Range = FSortEntList.equal_range(UpperNameText(E->Name()));
  for (auto It = Range.first; It != Range.second; ++It)
    if (It->second == E) {
      FSortEntList.erase(It);
      return 0;
    }
  for (auto It = FSortEntList.begin(); It != FSortEntList.end(); ++It)
    if (It->second == E) {
      FSortEntList.erase(It);
      return 0;
    }
  return -1;
}

void TqdDXFTable::RebuildIndex() {
  FSortEntList.clear();
  IndexChanged();
  for (int I = 0; I < Count(); ++I)
    if (TqdDXFEntity* E = GetEntity(I)) IndexAdd(E);
}

void TqdDXFTable::ResolveLinks(TqdDXFConverter* C) {
  if (IndexSize() != Count()) RebuildIndex();
}

void TqdDXFTable::ListNotify(TqdDXFEntity* E, TListNotification Action) {
  if (Action == lnAdded) {
    TqdDXFGroup::ListNotify(E, Action);
    IndexAdd(E);
  } else {
    IndexRemove(E);
    TqdDXFGroup::ListNotify(E, Action);
  }
}

void TqdDXFTable::Clear(bool ADoFree) {
  TqdDXFGroup::Clear(ADoFree);
  FSortEntList.clear();
  IndexChanged();
}

void TqdDXFTable::AssignEntity(const TqdDXFEntity& Source) {
  TqdDXFGroup::AssignEntity(Source);
  SetName(Source.Name());
}

void TqdDXFSection::Loaded(TqdDXFConverter* C) {
  TqdDXFTable::Loaded(C);
  if (C && Name() == "HEADER") C->FHeadEnd = C->Pos();
}

TqdDXFDictionary::~TqdDXFDictionary() {
  if (TqdDXFConverter* C = Converter()) C->ForgetDictionary(this);
}

void TqdDXFGroupEntity::UpdateBox() {
  FBox = cnstBadRect;
  for (int I = 0; I < Count(); ++I)
    if (const TqdDXFEntity* E = GetEntity(I); E && E->Visibility()) UnionBoxes(FBox, E->Box());
}
