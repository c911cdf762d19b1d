#include "DXFConv.h"

#include <unordered_set>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <limits>
#include <tuple>

#include "Inserts.h"
#include "qdFunction.h"

// ---------------------------------------------------------------- generated-handle list

// The list grows as items come: room for cnstInitialCapacity items reserved up front
// cost every load (8 MB allocated and released, also for a file of ten lines) more
// than the few regrowths of a large file.
TqdMapEntities::TqdMapEntities() = default;

void TqdMapEntities::Add(TqdDXFEntity* E) {
  if (!E || FIndex.count(E)) return;
  FIndex.emplace(E, FItems.size());
  FItems.push_back(E);
}

void TqdMapEntities::Remove(TqdDXFEntity* E) {
  auto It = FIndex.find(E);
  if (It == FIndex.end()) return;
  FItems[It->second] = nullptr;
  FIndex.erase(It);
}

std::vector<TqdDXFEntity*> TqdMapEntities::Items() const {
  std::vector<TqdDXFEntity*> R;
  R.reserve(FIndex.size());
  for (TqdDXFEntity* E : FItems)
    if (E) R.push_back(E);
  return R;
}

// ---------------------------------------------------------------- bounded cursor

void TqdSourceCursor::Need(std::uint64_t ACount) const {
  if (ACount > FSize - FPos) throw EqdSourceBounds("Read beyond the end of the data");
}

void TqdSourceCursor::Seek(std::uint64_t APos) {
  if (APos > FSize) throw EqdSourceBounds("Offset beyond the end of the data");
  FPos = static_cast<std::size_t>(APos);
}

void TqdSourceCursor::Skip(std::uint64_t ACount) {
  Need(ACount);
  FPos += static_cast<std::size_t>(ACount);
}

std::uint8_t TqdSourceCursor::ReadByte() {
  Need(1);
  return FData[FPos++];
}

std::uint64_t TqdSourceCursor::ReadUInt(int ABytes) {
  if (ABytes < 1 || ABytes > 8) throw EqdSourceBounds("Bad integer size");
  Need(static_cast<std::uint64_t>(ABytes));
  std::uint64_t V = 0;
  for (int I = 0; I < ABytes; ++I) V |= static_cast<std::uint64_t>(FData[FPos + I]) << (8 * I);
  FPos += static_cast<std::size_t>(ABytes);
  return V;
}

double TqdSourceCursor::ReadDouble() {
  const std::uint64_t Bits = ReadUInt(8);
  double D;
  std::memcpy(&D, &Bits, sizeof D);
  return D;
}

std::string TqdSourceCursor::ReadBytes(std::uint64_t ACount) {
  Need(ACount);
  std::string S(reinterpret_cast<const char*>(FData + FPos), static_cast<std::size_t>(ACount));
  FPos += static_cast<std::size_t>(ACount);
  return S;
}

std::uint64_t TqdSourceCursor::CheckCount(std::uint64_t ACount, std::uint64_t AItemSize) const {
  const std::uint64_t Size = std::max<std::uint64_t>(AItemSize, 1);
  if (ACount > (FSize - FPos) / Size) throw EqdSourceBounds("Count beyond the end of the data");
  return ACount;
}

// ---------------------------------------------------------------- section table

const char* TqdDXFConverter::SectionName(int Index) {
  static const char* const Names[cnstSectionCount] = {
      "TABLES", "BLOCKS",       "ENTITIES", "APPID",     "LTYPE",     "LAYER",       "STYLE",  "DIMSTYLE",
      "BLOCK_RECORD", "VPORT", "MLINESTYLES", "IMAGEDEFS", "LAYOUTS", "TABLESTYLES", "OBJECTS"};
  return (Index >= 0 && Index < cnstSectionCount) ? Names[Index] : "";
}

TqdEntityClass TqdDXFConverter::SectionItemClass(int Index) {
  switch (Index) {
    case csTables: return ClassOf<TqdDXFTable>();
    case csBlocks: return ClassOf<TqdDXFBlock>();
    case csAppID: return ClassOf<TqdDXFAppID>();
    case csLTypes: return ClassOf<TqdDXFLineType>();
    case csLayers: return ClassOf<TqdDXFLayer>();
    case csStyles: return ClassOf<TqdDXFStyle>();
    case csDimStyles: return ClassOf<TqdDXFDimensionStyle>();
    case csBlockRecords: return ClassOf<TqdDXFBlockRecord>();
    case csVPorts: return ClassOf<TqdDXFVport>();
    case csMLineStyles: return ClassOf<TqdMLineStyle>();
    case csImageDefs: return ClassOf<TqdDXFImageDef>();
    case csLayouts: return ClassOf<TqdDXFLayout>();
    case csTableStyles: return ClassOf<TqdDXFAcadTableStyle>();
    case csObjects: return ClassOf<TqdDXFDictionary>();
    default: return nullptr;  // ENTITIES: an entity needs a concrete class
  }
}

// ---------------------------------------------------------------- construction

TqdDXFConverter::TqdDXFConverter(const TqdConverterParams& AParams) {
  FFileName = AParams.FileName;
  if (AParams.CheckHandles) EnableGeneratedHandles();
  FAllArcsAsCurves = true;
  FImportMode = imView;
  FRefs = 1;

  std::unique_ptr<TqdDXFEntity> Root;
  NewNamedEntity(nullptr, ClassOf<TqdDXFSection>(), "SECTIONS", &Root);
  FMain.reset(static_cast<TqdDXFSection*>(Root.release()));
  FMain->FOnListNotify = [this](TqdDXFEntity* E, TListNotification A) { MainSectionNotify(E, A); };

  NewNamedEntity(FMain.get(), ClassOf<TqdDXFSectionTables>(), "TABLES");
  NewNamedEntity(FMain.get(), ClassOf<TqdDXFSectionObjects>(), "OBJECTS");
  NewNamedEntity(FMain.get(), ClassOf<TqdDXFSectionBlocks>(), "BLOCKS");

  NewNamedEntity(FObjectsSection, ClassOf<TqdDXFDictionary>(), "MLINESTYLES");
  NewNamedEntity(FObjectsSection, ClassOf<TqdDXFDictionary>(), "LAYOUTS");
  NewNamedEntity(FObjectsSection, ClassOf<TqdDXFDictionary>(), "IMAGEDEFS");

  FNumberOfPartsInCircle = 48;
  FNumberOfPartsInSpline = 24;
  FDefaultLayoutIndex = -1;
  FTransform3D = cnstIdentityMat;

  AddLayout(std::make_unique<TqdDXFLayout>());
  auto Second = std::make_unique<TqdDXFLayout>();
  TqdDXFLayout* SecondRaw = Second.get();
  AddLayout(std::move(Second));
  SecondRaw->SetNameUnchecked(cnstLayout1Name);

  FViewPortRect = cnstBadRect;
  FViewTwistMatrix = cnstIdentityMat;
  FSHXFonts = std::make_unique<TqdSHXFontList>(SHXLibrarySearchPath(), "simplex.shx");
  FUseSHXFonts = true;
  FIsCrossoverMatrix = true;
  FMeshQuality = 0.01;
  FXRefLoader = DefaultXRefLoader();
  ResetHeader();
}

TqdDXFConverter* TqdDXFConverter::CreateFromFile(std::string_view AFileName) {
  auto* C = new TqdDXFConverter();
  C->SetFileName(AFileName);
  return C;
}

TqdDXFConverter::~TqdDXFConverter() {
  Clear();
  FStatus = stDestroying;
  FSource.clear();
  // The tree goes without telling the converter about every container on the way.
  if (FMain) FMain->FOnListNotify = nullptr;
  for (TqdDXFSection* S : {FTablesSection, FObjectsSection, FBlocksSection})
    if (S) S->FOnListNotify = nullptr;
  if (FLayouts) FLayouts->FOnListNotify = nullptr;
  FMain.reset();
  FDetachedLayouts.reset();
  FXRefs.clear();
  FSHXFonts.reset();
  FDrwPropInfo.reset();
  FDrwPropCustomSummaryInfo.reset();
  FMapEntities.reset();
  FEntityExtra.clear();
}

int TqdDXFConverter::Release() {
  if (FRefs > 0) --FRefs;
  if (FRefs == 0) {
    if (FStatus == stLoading) {
      StopLoading();
      FStatus = stDefault;
      return 0;
    }
    delete this;
    return 0;
  }
  return FRefs;
}

// ---------------------------------------------------------------- registration by name

void TqdDXFConverter::MainSectionNotify(TqdDXFEntity* E, TListNotification Action) {
  auto* S = dynamic_cast<TqdDXFSection*>(E);
  if (!S) return;
  const std::string N = S->Name();
  if (Action == lnAdded) {
    if (N == "BLOCKS") {
      FBlocksSection = S;
    } else if (N == "TABLES") {
      FTablesSection = S;
      S->FOnListNotify = [this](TqdDXFEntity* X, TListNotification A) { TablesSectionNotify(X, A); };
    } else if (N == "OBJECTS") {
      FObjectsSection = S;
      S->FOnListNotify = [this](TqdDXFEntity* X, TListNotification A) { ObjectsSectionNotify(X, A); };
    }
    return;
  }
  if (S == FBlocksSection) FBlocksSection = nullptr;
  if (S == FTablesSection) {
    FTablesSection = nullptr;
    S->FOnListNotify = nullptr;
  }
  if (S == FObjectsSection) {
    FObjectsSection = nullptr;
    S->FOnListNotify = nullptr;
  }
}

void TqdDXFConverter::TablesSectionNotify(TqdDXFEntity* E, TListNotification Action) {
  auto* T = dynamic_cast<TqdDXFTable*>(E);
  if (!T) return;
  struct Slot {
    const char* Name;
    TqdDXFTable** Field;
    bool GroupRelease;
  };
  const Slot Slots[] = {{"BLOCK_RECORD", &FBlockRecords, false}, {"LTYPE", &FLTypes, true},
                        {"LAYER", &FLayers, true},                {"STYLE", &FStyles, true},
                        {"DIMSTYLE", &FDimStyles, true},          {"VPORT", &FVPorts, false},
                        {"APPID", &FAppIDs, false}};
  if (Action == lnAdded) {
    const std::string N = T->Name();
    for (const Slot& S : Slots)
      if (N == S.Name) {
        *S.Field = T;
        if (S.GroupRelease) T->SetInternalFlags(T->InternalFlags() | 2);
      }
    return;
  }
  for (const Slot& S : Slots)
    if (*S.Field == T) *S.Field = nullptr;
  if (T == FVPorts || !FVPorts) FActiveVPort = nullptr;
}

void TqdDXFConverter::ObjectsSectionNotify(TqdDXFEntity* E, TListNotification Action) {
  auto* D = dynamic_cast<TqdDXFDictionary*>(E);
  if (!D) return;
  if (Action == lnAdded) {
    const std::string N = D->Name();
    if (N == "LAYOUTS" || N == "ACAD_LAYOUT") {
      FLayouts = D;
      D->FOnListNotify = [this](TqdDXFEntity* X, TListNotification A) { LayoutsNotify(X, A); };
    } else if (N == "IMAGEDEFS" || N == "ACAD_IMAGE_DICT") {
      FImageDefs = D;
    } else if (N == "MLINESTYLES" || N == "ACAD_MLINESTYLE") {
      FMStyles = D;
    } else if (N == "TABLESTYLES" || N == "ACAD_TABLESTYLE") {
      FTableStyles = D;
    } else if (N == "FIELDLIST" || N == "ACAD_FIELDLIST") {
      FFieldList = D;
    }
    return;
  }
  bool Registered = false;
  for (TqdDXFDictionary** F : {&FLayouts, &FImageDefs, &FMStyles, &FTableStyles, &FFieldList})
    if (*F == D) {
      if (F == &FLayouts) D->FOnListNotify = nullptr;
      *F = nullptr;
      Registered = true;
    }
  // Whatever linked the dictionary as its extension dictionary loses it.
  if (!Registered) ForgetDictionary(D);
}

void TqdDXFConverter::LayoutsNotify(TqdDXFEntity* E, TListNotification Action) {
  if (Action == lnAdded) {
    if (OnLayoutAdd) OnLayoutAdd(E);
  } else if (OnLayoutRemove) {
    OnLayoutRemove(E);
  }
}

void TqdDXFConverter::EntityNotify(TqdDXFEntity* E, TListNotification Action) {
  if (Action == lnAdded || !E) return;
  if (E == FActiveVPort) FActiveVPort = nullptr;
  if (E->FHasExtra)
    if (TqdEntityExtra* X = GetEntityExtra(E, false)) {
      X->Dictionary = nullptr;
      X->DictionaryHandle = 0;
      DropEmptyExtra(E);
    }
}

// ---------------------------------------------------------------- sections

TqdDXFEntity* TqdDXFConverter::GetSection(int Index) const {
  switch (Index) {
    case csTables: return FTablesSection;
    case csBlocks: return FBlocksSection;
    case csEntities: return ModelSpace();
    case csAppID: return FAppIDs;
    case csLTypes: return FLTypes;
    case csLayers: return FLayers;
    case csStyles: return FStyles;
    case csDimStyles: return FDimStyles;
    case csBlockRecords: return FBlockRecords;
    case csVPorts: return FVPorts;
    case csMLineStyles: return FMStyles;
    case csImageDefs: return FImageDefs;
    case csLayouts: return FLayouts;
    case csTableStyles: return FTableStyles;
    case csObjects: return FObjectsSection;
    default: return nullptr;
  }
}

void TqdDXFConverter::SetSection(int Index, TqdDXFEntity* Group) {
  if (Index == csEntities || Index == csMLineStyles || Index < 0 || Index >= cnstSectionCount) return;
  if (Index == csTables || Index == csBlocks || Index == csObjects) {
    auto* S = dynamic_cast<TqdDXFSection*>(Group);
    if (Group && !S) return;
    if (Index == csTables) FTablesSection = S;
    if (Index == csBlocks) FBlocksSection = S;
    if (Index == csObjects) FObjectsSection = S;
    return;
  }
  auto* T = dynamic_cast<TqdDXFTable*>(Group);
  if (Group && !T) return;
  switch (Index) {
    case csAppID: FAppIDs = T; break;
    case csLTypes: FLTypes = T; break;
    case csLayers: FLayers = T; break;
    case csStyles: FStyles = T; break;
    case csDimStyles: FDimStyles = T; break;
    case csBlockRecords: FBlockRecords = T; break;
    case csVPorts: FVPorts = T; break;
    default: {
      auto* D = dynamic_cast<TqdDXFDictionary*>(Group);
      if (Group && !D) return;
      if (Index == csImageDefs) FImageDefs = D;
      if (Index == csLayouts) FLayouts = D;
      if (Index == csTableStyles) FTableStyles = D;
    }
  }
}

TqdDXFEntity* TqdDXFConverter::GetOrCreateSection(TConvSection Index) {
  if (TqdDXFEntity* S = GetSection(Index)) return S;
  TqdDXFEntity* Made = nullptr;
  switch (Index) {
    case csTables:
      Made = NewNamedEntity(FMain.get(), ClassOf<TqdDXFSectionTables>(), SectionName(Index));
      break;
    case csBlocks:
      Made = NewNamedEntity(FMain.get(), ClassOf<TqdDXFSectionBlocks>(), SectionName(Index));
      break;
    case csObjects:
      Made = NewNamedEntity(FMain.get(), ClassOf<TqdDXFSectionObjects>(), SectionName(Index));
      break;
    case csEntities:
      // The model space is layout 0's block; without layouts there is none to make.
      return nullptr;
    case csBlockRecords:
      if (TqdDXFEntity* Tables = GetOrCreateSection(csTables))
        Made = NewNamedEntity(Tables, ClassOf<TqdDXFBlockRecords>(), SectionName(Index));
      break;
    case csMLineStyles:
    case csImageDefs:
    case csLayouts:
    case csTableStyles:
      if (TqdDXFEntity* Objects = GetOrCreateSection(csObjects))
        Made = NewNamedEntity(Objects, ClassOf<TqdDXFDictionary>(), SectionName(Index));
      break;
    default: Made = NewNamedTable(SectionName(Index), ClassOf<TqdDXFTable>()); break;
  }
  if (!Made) return nullptr;
  Loads(Made);
  SetSection(Index, Made);
  return GetSection(Index);
}

int TqdDXFConverter::GetCount(int Index) const {
  const TqdDXFEntity* S = GetSection(Index);
  return S ? S->Count() : 0;
}

TqdDXFEntity* TqdDXFConverter::ItemByName(std::string_view AName, TConvSection ASection, bool ACreate) {
  TqdDXFEntity* Container = GetOrCreateSection(ASection);
  if (!Container) return nullptr;
  if (TqdDXFEntity* Found = Container->FindEntByName(AName)) return Found;
  if (!ACreate) return nullptr;
  TqdEntityClass Class = SectionItemClass(ASection);
  if (!Class) return nullptr;
  TqdDXFEntity* E = NewNamedEntity(Container, Class, AName);
  if (E) Loads(E);
  return E;
}

TqdDXFLayer* TqdDXFConverter::LayerByName(std::string_view AName) {
  return dynamic_cast<TqdDXFLayer*>(ItemByName(AName, csLayers, true));
}

TqdDXFDimensionStyle* TqdDXFConverter::DimensionStyleByName(std::string_view AName) {
  return dynamic_cast<TqdDXFDimensionStyle*>(ItemByName(AName, csDimStyles, true));
}

TqdDXFStyle* TqdDXFConverter::StyleByName(std::string_view AName) {
  const std::string N = AName.empty() ? std::string("STANDARD") : UpperNameText(AName);
  return dynamic_cast<TqdDXFStyle*>(ItemByName(N, csStyles, true));
}

TqdDXFLineType* TqdDXFConverter::LTypeByName(std::string_view AName) const {
  return FLTypes ? dynamic_cast<TqdDXFLineType*>(FLTypes->FindEntByName(AName)) : nullptr;
}

TqdDXFLineType* TqdDXFConverter::ByLayerLType() {
  if (!FLoadingAll || !FLTypes) return LTypeByName("BYLAYER");
  if (FByLayerTable != FLTypes || FByLayerStamp != FLTypes->IndexStamp()) {
    FByLayer = LTypeByName("BYLAYER");
    FByLayerTable = FLTypes;
    FByLayerStamp = FLTypes->IndexStamp();
  }
  return FByLayer;
}

TqdDXFBlock* TqdDXFConverter::BlockByName(std::string_view AName) const {
  return FBlocksSection ? dynamic_cast<TqdDXFBlock*>(FBlocksSection->FindEntByName(AName)) : nullptr;
}

TqdDXFLayer* TqdDXFConverter::GetLayer(int I) const {
  return FLayers ? dynamic_cast<TqdDXFLayer*>(FLayers->GetEntity(I)) : nullptr;
}

TqdDXFLineType* TqdDXFConverter::GetLType(int I) const {
  return FLTypes ? dynamic_cast<TqdDXFLineType*>(FLTypes->GetEntity(I)) : nullptr;
}

TqdDXFLayout* TqdDXFConverter::GetLayout(int I) const {
  return FLayouts ? dynamic_cast<TqdDXFLayout*>(FLayouts->GetEntity(I)) : nullptr;
}

int TqdDXFConverter::LayoutsCount() const { return FLayouts ? FLayouts->Count() : 0; }

TqdDXFBlock* TqdDXFConverter::ModelSpace() const {
  TqdDXFLayout* L = GetLayout(0);
  return L ? L->PaperSpaceBlock() : nullptr;
}

TqdDXFEntity* TqdDXFConverter::GetEntity(int I) const {
  const TqdDXFBlock* M = ModelSpace();
  return M ? M->GetEntity(I) : nullptr;
}

TqdDXFEntity* TqdDXFConverter::NewNamedEntity(TqdDXFEntity* AOwner, TqdEntityClass AClass,
                                              std::string_view AName,
                                              std::unique_ptr<TqdDXFEntity>* AOrphan) {
  if (AOwner)
    if (TqdDXFEntity* Found = AOwner->FindEntByName(AName)) return Found;
  if (!AClass) return nullptr;
  std::unique_ptr<TqdDXFEntity> E = AClass();
  TqdDXFEntity* Raw = E.get();
  DoCreate(Raw);
  Raw->SetConverter(this);
  // Names given by the converter are not checked: they come from files and defaults.
  if (auto* O = dynamic_cast<TqdDXFOwneredItem*>(Raw))
    O->SetNameUnchecked(AName);
  else
    Raw->SetName(AName);
  if (!AOwner) {
    if (!AOrphan) return nullptr;  // nobody would own it
    *AOrphan = std::move(E);
    return Raw;
  }
  if (AOwner->AddEntity(std::move(E)) < 0) return nullptr;
  return Raw;
}

TqdDXFTable* TqdDXFConverter::NewNamedTable(std::string_view AName, TqdEntityClass AClass) {
  TqdDXFEntity* Tables = GetOrCreateSection(csTables);
  if (!Tables) return nullptr;
  auto* T = dynamic_cast<TqdDXFTable*>(
      NewNamedEntity(Tables, AClass ? AClass : ClassOf<TqdDXFTable>(), AName));
  if (T) Loads(T);
  return T;
}

std::unique_ptr<TqdDXFEntity> TqdDXFConverter::ExtractFromTable(TqdDXFEntity* ATable, TqdDXFEntity* AEntity) {
  if (!ATable || ATable->Count() == 0) return nullptr;
  const int I = ATable->IndexOfEntity(AEntity);
  return I < 0 ? nullptr : ATable->DeleteEntity(I);
}

bool TqdDXFConverter::DeleteBlock(TqdDXFBlock* ABlock, bool DoFree, std::unique_ptr<TqdDXFEntity>* AKeep) {
  std::unique_ptr<TqdDXFEntity> B = ExtractFromTable(FBlocksSection, ABlock);
  if (!B) return false;
  if (TqdDXFLayout* L = ABlock->Layout()) L->ForgetBlock(ABlock);
  ABlock->SetLayout(nullptr);
  if (!DoFree && AKeep)
    *AKeep = std::move(B);
  else
    ReleaseEntity(std::move(B));
  return true;
}

int TqdDXFConverter::AddLayout(std::unique_ptr<TqdDXFLayout> ALayout) {
  if (!ALayout) return -1;
  TqdDXFEntity* Layouts = GetOrCreateSection(csLayouts);
  if (!Layouts) return -1;
  ALayout->SetConverter(this);
  return Layouts->AddEntity(std::move(ALayout));
}

void TqdDXFConverter::SortLayouts(const TqdDXFLayout* AModel) {
  auto* Layouts = dynamic_cast<TqdDXFGroup*>(FLayouts);
  if (!Layouts) return;
  auto Key = [AModel](const TqdDXFEntity* E) {
    const auto* L = dynamic_cast<const TqdDXFLayout*>(E);
    const int Tab = L ? L->TabOrder() : -1;
    return std::tuple(E != AModel, Tab < 0, Tab, E->Handle());
  };
  Layouts->SortChildren([&Key](const TqdDXFEntity* A, const TqdDXFEntity* B) { return Key(A) < Key(B); });
}

void TqdDXFConverter::FillMainSection() {
  GetOrCreateSection(csTables);
  GetOrCreateSection(csBlocks);
  GetOrCreateSection(csObjects);
  GetOrCreateSection(csBlockRecords);
  GetOrCreateSection(csImageDefs);
  GetOrCreateSection(csMLineStyles);
  GetOrCreateSection(csLayouts);
  GetOrCreateSection(csTableStyles);
  if (!FFieldList && FObjectsSection)
    if (TqdDXFEntity* F = NewNamedEntity(FObjectsSection, ClassOf<TqdDXFDictionary>(), "FIELDLIST"))
      Loads(F);
}

// ---------------------------------------------------------------- item completion

void TqdDXFConverter::Loads(TqdDXFEntity* E) {
  if (!E) return;
  E->RegisterHandle(this);
  E->SetConverter(this);
  E->Loaded(this);
  ++FCount;
  if (TqdDXFEntity* O = E->Owner()) O->ChildChanged(E);
}

void TqdDXFConverter::LoadsGroup(TqdDXFEntity* E) {
  if (!E) return;
  CheckGroupHandles(E);
  const int N = E->Count();
  for (int I = 0; I < N; ++I)
    if (TqdDXFEntity* Child = E->GetEntity(I)) {
      Child->SetConverter(this);
      Child->Loaded(this);
    }
  FCount += static_cast<std::size_t>(N);
  E->ChildChanged(nullptr);
}

void TqdDXFConverter::DoCreate(TqdDXFEntity* Sender) {
  if (OnCreate) OnCreate(Sender);
}

// ---------------------------------------------------------------- handles

bool TqdDXFConverter::CheckHandle(std::uint64_t& H) {
  if (H != 0) {
    FMaxHandle = std::max(FMaxHandle, H);
    return false;
  }
  // At the top of the range a new handle would wrap to 0 ("none") and then collide.
  if (FMaxHandle == std::numeric_limits<std::uint64_t>::max()) return false;
  H = ++FMaxHandle;
  return true;
}

void TqdDXFConverter::CheckEntityHandle(TqdDXFEntity* E) {
  if (!E) return;
  if (FStatus == stLoading && FMapEntities) {
    if (E->Handle() != 0) {
      FMaxHandle = std::max(FMaxHandle, E->Handle());
    } else if (E->NeedsHandle()) {
      E->SetConverter(this);
      GeneratedListAdd(E);
    }
    return;
  }
  std::uint64_t H = E->Handle();
  if (CheckHandle(H)) E->SetHandle(H);
}

void TqdDXFConverter::CheckGroupHandles(TqdDXFEntity* G) {
  if (!G) return;
  const int N = G->Count();
  for (int I = 0; I < N; ++I) CheckEntityHandle(G->GetEntity(I));
}

void TqdDXFConverter::EnableGeneratedHandles() {
  if (!FMapEntities) FMapEntities = std::make_unique<TqdMapEntities>();
}

void TqdDXFConverter::GeneratedListAdd(TqdDXFEntity* E) {
  if (FMapEntities && E && E->Handle() == 0) FMapEntities->Add(E);
}

void TqdDXFConverter::GeneratedListRemove(TqdDXFEntity* E) {
  if (FMapEntities) FMapEntities->Remove(E);
}

void TqdDXFConverter::ApplyGeneratedHandles() {
  if (!FMapEntities) return;
  for (TqdDXFEntity* E : FMapEntities->Items())
    if (E->Handle() == 0) {
      std::uint64_t H = 0;
      if (CheckHandle(H)) E->SetHandle(H);
    }
  FMapEntities.reset();
}

void TqdDXFConverter::ClearHandlesBelow(TqdDXFEntity* E, const TqdDXFEntity* AKeep, int ADepth) {
  if (!E || ADepth > cnstMaxNestingDepth) return;
  // A record's children are its block's: they are met in BLOCKS.
  if (dynamic_cast<TqdDXFBlockRecord*>(E) || dynamic_cast<TqdDXFBlockRecords*>(E)) return;
  const int N = E->Count();
  for (int I = 0; I < N; ++I) {
    TqdDXFEntity* Child = E->GetEntity(I);
    if (!Child || Child == AKeep) continue;
    Child->SetHandle(0);
    if (Child->NeedsHandle()) GeneratedListAdd(Child);
    if (auto* B = dynamic_cast<TqdDXFBlock*>(Child)) {
      B->BlockRecord()->SetHandle(0);
      GeneratedListAdd(B->BlockRecord());
    }
    ClearHandlesBelow(Child, AKeep, ADepth + 1);
  }
}

void TqdDXFConverter::ClearHandles() {
  const TqdDXFBlock* Model = GetLayout(0) ? GetLayout(0)->PaperSpaceBlockField() : nullptr;
  for (TqdDXFEntity* S : {static_cast<TqdDXFEntity*>(FTablesSection),
                          static_cast<TqdDXFEntity*>(FBlocksSection),
                          static_cast<TqdDXFEntity*>(FObjectsSection)})
    ClearHandlesBelow(S, Model, 0);
}

// ---------------------------------------------------------------- loading

void TqdDXFConverter::SetSourceStream(const void* AData, std::size_t ASize) {
  FSourceView = nullptr;
  FSource.clear();
  FSource.reserve(ASize + 4);
  if (ASize) {
    const auto* P = static_cast<const std::uint8_t*>(AData);
    FSource.assign(P, P + ASize);
  }
  // Text scanners stop at CR, LF or NUL without testing the length.
  for (std::uint8_t B : {13, 10, 0, 0}) FSource.push_back(B);
  FLimit = ASize;
}

void TqdDXFConverter::SetSourceStream(std::vector<std::uint8_t>&& AData) {
  FSourceView = nullptr;
  FSource = std::move(AData);
  FLimit = FSource.size();
  for (std::uint8_t B : {13, 10, 0, 0}) FSource.push_back(B);
}

void TqdDXFConverter::SetSourceView(const void* AData, std::size_t ASize) {
  FSource.clear();
  FSourceView = static_cast<const std::uint8_t*>(AData);
  FLimit = AData ? ASize : 0;
}

void TqdDXFConverter::DropSource() {
  FSource.clear();
  FSource.shrink_to_fit();
  FSourceView = nullptr;
  FLimit = 0;
}

std::size_t TqdDXFConverter::Count() const {
  const std::size_t N = FStatus == stLoading ? FLimit : FCount;
  return std::max<std::size_t>(N, 1);
}

void TqdDXFConverter::SetLoadingState(bool ALoading, std::size_t APos) {
  if (ALoading) {
    // A stop asked for before the reader began (while the host showed the start of
    // the load) still counts.
    if (FStatus != stLoading && FMapEntities) ClearHandles();
    FStatus = stLoading;
    FPos = FStopped ? 0 : APos + 1;
    return;
  }
  FStatus = stDefault;
  InitializeSectionsEnd(1);
  FPos = APos + 1;
}

TqdDXFEntity* TqdDXFConverter::NewSectionTable(TConvSection Index) { return GetOrCreateSection(Index); }

void TqdDXFConverter::InitializeSectionsBegin() {
  for (TConvSection S : {csLTypes, csLayers, csStyles, csDimStyles, csBlockRecords, csVPorts})
    NewSectionTable(S);
  FillMainSection();
}

void TqdDXFConverter::ValidateTableName(std::string& AName, TConvSection ASection, bool AFinal) {
  if (AFinal) {
    const TqdDXFEntity* S = GetSection(ASection);
    if (!S || !S->FindEntByName(AName)) {
      AName = "STANDARD";
      return;
    }
  }
  if (!IsValidTableName(AName)) AName = "STANDARD";
}

void TqdDXFConverter::InitializeSectionsEnd(int AFinalizationLoading) {
  const bool Final = AFinalizationLoading != 0;
  GetOrCreateSection(csLTypes);
  for (const char* N : {"BYLAYER", "BYBLOCK", "CONTINUOUS"}) ItemByName(N, csLTypes, true);

  ValidateTableName(FHeadVarStruct.TextStyle, csStyles, Final);
  StyleByName(FHeadVarStruct.TextStyle);

  ValidateTableName(FHeadVarStruct.DimStyle, csDimStyles, Final);
  if (TqdDXFDimensionStyle* DS = DimensionStyleByName(FHeadVarStruct.DimStyle); DS && !DS->TextStyle()) {
    ValidateTableName(FHeadVarStruct.DimTextStyle, csStyles, Final);
    DS->SetTextStyle(StyleByName(FHeadVarStruct.DimTextStyle));
  }
  StyleByName("STANDARD");
  DimensionStyleByName("STANDARD");

  for (int I = 0; I <= csVPorts; ++I) {
    if (I == csEntities) continue;
    Loads(NewSectionTable(static_cast<TConvSection>(I)));
  }
  ItemByName("VNXINVENTORY", csAppID, true);

  if (TqdDXFLineType* Continuous = LTypeByName("CONTINUOUS"))
    for (int I = 0; I < GetCount(csLayers); ++I)
      if (TqdDXFLayer* L = GetLayer(I); L && !L->LineType() && !L->LineTypeItem().Link())
        L->SetLineType(Continuous);

  if (LayoutsCount() >= 2) CleaningLayouts(GetLayout(1)->Count() == 0);
  ApplyGeneratedHandles();
}

void TqdDXFConverter::CleaningLayouts(bool ADeletePSpace) {
  if (!FLayouts) return;
  for (int I = LayoutsCount() - 1; I >= 2; --I) {
    TqdDXFLayout* L = GetLayout(I);
    if (!L || L->Count() != 0) continue;
    TqdDXFBlock* B = L->PaperSpaceBlockField();
    ReleaseEntity(FLayouts->DeleteEntity(I));
    if (B) DeleteBlock(B, true);
  }
  if (ADeletePSpace && LayoutsCount() > 1) ReleaseEntity(FLayouts->DeleteEntity(1));
}

void TqdDXFConverter::ResolveDepthFirst(TqdDXFEntity* E, int ADepth) {
  if (!E || ADepth > cnstMaxNestingDepth) return;
  const int N = E->ChildrenHaveLinks() ? E->Count() : 0;
  for (int I = 0; I < N; ++I) ResolveDepthFirst(E->GetEntity(I), ADepth + 1);
  E->ResolveLinks(this);
}

namespace {
// The block whose entities an item shows as its children (block records, layouts).
const TqdDXFBlock* ShownBlock(const TqdDXFEntity* Item) {
  if (const auto* R = dynamic_cast<const TqdDXFBlockRecord*>(Item)) return R->Block();
  if (const auto* L = dynamic_cast<const TqdDXFLayout*>(Item)) return L->PaperSpaceBlockField();
  return nullptr;
}
} // namespace

void TqdDXFConverter::ResolveTableLike(TqdDXFEntity* T) {
  if (!T) return;
  const int N = T->Count();
  for (int I = 0; I < N; ++I)
    if (TqdDXFEntity* Item = T->GetEntity(I)) {
      // The entities of a block kept in BLOCKS are resolved with the blocks: one pass
      // over a large model space instead of three.
      if (const TqdDXFBlock* B = ShownBlock(Item); B && FBlocksSection && B->Owner() == FBlocksSection)
        continue;
      const int M = Item->Count();
      for (int J = 0; J < M; ++J)
        if (TqdDXFEntity* Child = Item->GetEntity(J)) Child->ResolveLinks(this);
    }
  for (int I = 0; I < N; ++I)
    if (TqdDXFEntity* Item = T->GetEntity(I)) Item->ResolveLinks(this);
  T->ResolveLinks(this);
}

void TqdDXFConverter::ResolveAllLinks() {
  if (!FMain) return;
  FMain->ResolveLinks(this);
  if (TqdDXFEntity* H = FMain->FindEntByName("HEADER")) H->ResolveLinks(this);
  for (TConvSection S : {csStyles, csLTypes, csLayers, csDimStyles, csBlockRecords}) {
    TqdDXFEntity* T = GetSection(S);
    ResolveTableLike(T);
    if ((S == csLTypes || S == csLayers) && T)
      if (auto* G = dynamic_cast<TqdDXFGroup*>(T))
        G->SortChildren([](const TqdDXFEntity* A, const TqdDXFEntity* B) { return A->Handle() < B->Handle(); });
  }
  if (FObjectsSection) {
    const int N = FObjectsSection->Count();
    for (int I = 0; I < N; ++I) {
      TqdDXFEntity* Child = FObjectsSection->GetEntity(I);
      if (Child == FLayouts)
        ResolveTableLike(Child);
      else
        ResolveDepthFirst(Child, 0);
    }
  }
  ResolveDepthFirst(FBlocksSection, 0);

  // Extension dictionaries known by handle only: link them now that OBJECTS is read.
  std::vector<std::pair<const TqdDXFEntity*, std::uint64_t>> Pending;
  for (const auto& [E, X] : FEntityExtra)
    if (X->DictionaryHandle) Pending.emplace_back(E, X->DictionaryHandle);
  for (const auto& [E, H] : Pending) {
    TqdEntityExtra* X = GetEntityExtra(E, false);
    auto* D = FObjectsSection ? dynamic_cast<TqdDXFDictionary*>(FObjectsSection->FindEntByHandle(true, false, H))
                              : nullptr;
    X->DictionaryHandle = 0;
    X->Dictionary = D;
    DropEmptyExtra(E);
  }
}

void TqdDXFConverter::LoadDepthFirst(TqdDXFEntity* E, int ADepth) {
  if (!E || ADepth > cnstMaxNestingDepth) return;
  const int N = E->Count();
  for (int I = 0; I < N; ++I) LoadDepthFirst(E->GetEntity(I), ADepth + 1);
  Loads(E);
}

bool TqdDXFConverter::IsBlockLoading(const TqdDXFBlock* ABlock) const {
  return ABlock && (ABlock->IsLoading() || FLoadingBlocks.count(ABlock) != 0);
}

void TqdDXFConverter::LoadBlock(TqdDXFBlock* ABlock) {
  if (!ABlock || ABlock->IsLoaded() || ABlock->IsLoading() || FLoadingBlocks.count(ABlock) ||
      FLoadDepth >= cnstMaxNestingDepth)
    return;
  struct Guard {
    TqdDXFConverter* C;
    const TqdDXFBlock* B;
    ~Guard() {
      C->FLoadingBlocks.erase(B);
      --C->FLoadDepth;
    }
  };
  FLoadingBlocks.insert(ABlock);
  ++FLoadDepth;
  Guard G{this, ABlock};
  const int N = ABlock->Count();
  for (int I = 0; I < N; ++I) {
    LoadDepthFirst(ABlock->GetEntity(I), FLoadDepth);
    if ((I & 4095) != 4095 || I + 1 == N) continue;
    if (FOnLoadingTick) FOnLoadingTick();
    if (FStopped && !FStoppedBeforeFinish) {
      // Stopped while finishing: what is not loaded yet is not kept half made.
      for (int J = ABlock->Count() - 1; J > I; --J) ReleaseEntity(ABlock->DeleteEntity(J));
      break;
    }
  }
  Loads(ABlock);
  ABlock->SetIsLoaded(true);
}

void TqdDXFConverter::LoadAll() {
  struct TLoading {
    TqdDXFConverter& C;
    explicit TLoading(TqdDXFConverter& AC) : C(AC) { C.FLoadingAll = true; C.FByLayerTable = nullptr; }
    ~TLoading() { C.FLoadingAll = false; C.FByLayerTable = nullptr; C.FByLayer = nullptr; }
  } Loading(*this);
  FStatus = stDefault;
  FStoppedBeforeFinish = FStopped;
  for (TConvSection S : {csStyles, csLTypes, csLayers, csDimStyles}) {
    TqdDXFEntity* T = GetSection(S);
    const int N = T ? T->Count() : 0;
    for (int I = 0; I < N; ++I) Loads(T->GetEntity(I));
  }
  if (FObjectsSection) {
    const int N = FObjectsSection->Count();
    for (int I = 0; I < N; ++I)
      if (TqdDXFEntity* Child = FObjectsSection->GetEntity(I); Child != FLayouts) LoadDepthFirst(Child, 0);
  }
  if (FBlocksSection) {
    // Loading adds blocks (arrows, generated dimensions) and may re-order BLOCKS: walk
    // a snapshot, then load what was added meanwhile.
    std::vector<TqdDXFBlock*> Walk;
    std::unordered_set<const TqdDXFEntity*> Seen;
    for (int Round = 0; Round < 8; ++Round) {
      Walk.clear();
      const int N = FBlocksSection->Count();
      for (int I = 0; I < N; ++I)
        if (auto* B = dynamic_cast<TqdDXFBlock*>(FBlocksSection->GetEntity(I)); B && Seen.insert(B).second)
          Walk.push_back(B);
      if (Walk.empty()) break;
      for (TqdDXFBlock* B : Walk)
        if (!B->Layout()) LoadBlock(B);
    }
  }
  const int NL = LayoutsCount();
  for (int I = 0; I < NL; ++I)
    if (TqdDXFLayout* L = GetLayout(I)) LoadBlock(L->PaperSpaceBlockField());
  for (int I = 0; I < NL; ++I) Loads(GetLayout(I));
}

void TqdDXFConverter::SortEntities() {
  // With a BLOCK_RECORD table the order comes from each block's sort table, which the
  // block unit applies; without one the model space is ordered by depth.
  if (FBlockRecords) return;
  SortEntitiesInZDepth();
}

void TqdDXFConverter::SortEntitiesInZDepth() {
  TqdDXFBlock* M = ModelSpace();
  if (!M || M->Count() < 2) return;
  auto Centre = [](const TqdDXFEntity* E) {
    const TFRect B = E->Box();
    return (B.Z1 + B.Z2) / 2;
  };
  const double C0 = Centre(M->GetEntity(0));
  bool Flat = true;
  for (int I = 1; I < M->Count() && Flat; ++I)
    if (!(std::fabs(Centre(M->GetEntity(I)) - C0) <= 1e-6)) Flat = false;
  if (Flat) return;
  // A strict weak order: NaN keys last, everything else by value. A tolerance in the
  // comparison would not be transitive, which std::sort must not be given.
  M->SortChildren([](const TqdDXFEntity* A, const TqdDXFEntity* B) {
    const TFRect RA = A->Box(), RB = B->Box();
    const double KA = RA.Z1 + RA.Z2, KB = RB.Z1 + RB.Z2;
    const bool NA = std::isnan(KA), NB = std::isnan(KB);
    if (NA || NB) return !NA && NB;
    return KA < KB;
  });
}

void TqdDXFConverter::Clear() {
  const TConvStatus Previous = FStatus;
  FStatus = stClearing;
  try {
    for (auto& [E, X] : FEntityExtra) const_cast<TqdDXFEntity*>(E)->FHasExtra = false;
    FEntityExtra.clear();
    FCount = 0;
    // Removing an xref item takes it off FXRefs: walk a copy.
    const std::vector<TqdDXFXref*> XRefItems = FXRefs;
    for (auto It = XRefItems.rbegin(); It != XRefItems.rend(); ++It)
      if (TqdDXFEntity* O = (*It)->Owner()) O->RemoveEntity(*It);
    FXRefs.clear();
    FActiveVPort = nullptr;

    // Layouts 0 and 1 survive; their blocks go with BLOCKS.
    TqdDXFDictionary* Layouts = FLayouts;
    std::unique_ptr<TqdDXFEntity> LayoutsHold;
    if (Layouts && FObjectsSection) LayoutsHold = ExtractFromTable(FObjectsSection, Layouts);
    if (Layouts) {
      Layouts->FOnListNotify = nullptr;
      for (int I = Layouts->Count() - 1; I >= 0; --I) {
        if (auto* L = dynamic_cast<TqdDXFLayout*>(Layouts->GetEntity(I))) L->SetPaperSpaceBlock(nullptr);
        if (I > 1) ReleaseEntity(Layouts->DeleteEntity(I));
      }
    }
    // Emptied and put back, so that the tree keeps its three sections.
    std::unique_ptr<TqdDXFEntity> Held[3];
    TqdDXFSection* Sections[3] = {FBlocksSection, FObjectsSection, FTablesSection};
    for (int I = 0; I < 3; ++I)
      if (TqdDXFSection* S = Sections[I]) {
        S->Clear(true);
        Held[I] = ExtractFromTable(FMain.get(), S);
      }
    FMain->Clear(true);
    for (int I : {2, 1, 0})
      if (Held[I]) FMain->AddEntity(std::move(Held[I]));
    if (LayoutsHold) {
      if (FObjectsSection)
        FObjectsSection->AddEntity(std::move(LayoutsHold));
      else
        FDetachedLayouts = std::move(LayoutsHold);
    }
    FStatus = stDefault;
  } catch (...) {
    FStatus = Previous == stLoading ? stLoading : stDefault;
    throw;
  }
}

// ---------------------------------------------------------------- geometry and view

void TqdDXFConverter::DoExtents() {
  const int N = LayoutsCount();
  for (int I = 0; I < N; ++I) Loads(GetLayout(I));
}

TFRect TqdDXFConverter::Extents() {
  const TFPoint& A = FHeadVarStruct.ExtMim;
  const TFPoint& B = FHeadVarStruct.ExtMax;
  FExtents = {A.X, A.Y, A.Z, B.X, B.Y, B.Z};
  return FExtents;
}

TqdDXFVport* TqdDXFConverter::ActiveVPort() {
  // The cached port is only trusted while it is still in the VPORT table.
  if (FActiveVPort && (!FVPorts || FVPorts->IndexOfEntity(FActiveVPort) < 0)) FActiveVPort = nullptr;
  if (!FActiveVPort) FActiveVPort = dynamic_cast<TqdDXFVport*>(ItemByName("*ACTIVE", csVPorts, true));
  return FActiveVPort;
}

void TqdDXFConverter::SetActiveVPort(TqdDXFVport* V) {
  FActiveVPort = V;
  FViewTwistMatrix = V ? ViewMatrix(V->ViewDirection(), V->FViewTwistAngle) : cnstIdentityMat;
  if (!FIsCrossoverMatrix) FViewTwistMatrix = ComposeMatrices(FViewTwistMatrix, ScalingMatrix(1, -1, 1));
}

float TqdDXFConverter::Angle() {
  const TqdDXFVport* V = ActiveVPort();
  if (!V) return 0.0f;
  // A file may store any double here; only what a float holds converts.
  const double A = V->FViewTwistAngle;
  if (!std::isfinite(A) || std::fabs(A) > std::numeric_limits<float>::max()) return 0.0f;
  return static_cast<float>(A);
}

void TqdDXFConverter::SetAngle(double V) {
  if (!std::isfinite(V) || std::fabs(V) >= 2147483647.0) return;
  V = V - std::trunc(V / 360.0) * 360.0;
  if (TqdDXFVport* P = ActiveVPort()) P->FViewTwistAngle = V;
}

TFPoint TqdDXFConverter::VPort() {
  const TqdDXFVport* V = ActiveVPort();
  return V ? V->ViewDirection() : cnstZOrtAxis;
}

bool TqdDXFConverter::Is3D() {
  const TFPoint D = VPort();
  return D.X != 0 || D.Y != 0;
}

int TqdDXFConverter::CircleZoomPercent() {
  const TqdDXFVport* V = ActiveVPort();
  return V ? V->FCircleZoomPercent : 100;
}

TFMatrix TqdDXFConverter::GetUCS(const TqdDXFLayout* ALayout) {
  TFPoint O{0, 0, 0}, X{1, 0, 0}, Y{0, 1, 0};
  if (!ALayout || ALayout->IsModel()) {
    const TqdDXFVport* V = ActiveVPort();
    if (V && V->FUCSVP) {
      O = V->FUCSOrigin, X = V->FUCSXDir, Y = V->FUCSYDir;
    } else {
      O = FHeadVarStruct.UCSORG, X = FHeadVarStruct.UCSXDir, Y = FHeadVarStruct.UCSYDir;
    }
  }
  const TFPoint Z = CrossFPoint(X, Y);
  TFMatrix M;
  M.EX = X;
  M.EY = Y;
  M.EZ = Z;
  M.E0 = {-DotFPoint(O, X), -DotFPoint(O, Y), -DotFPoint(O, Z)};
  return M;
}

int TqdDXFConverter::DefaultLayoutIndex() {
  if (FDefaultLayoutIndex >= 0) return FDefaultLayoutIndex;
  const int N = LayoutsCount();
  int D = 0;
  if (FHeadVarStruct.TileMode == 0 && N >= 2) {
    // Paper layouts stand in tab order, so the first tab need not be the current one;
    // the layout current at saving owns *PAPER_SPACE (the others *PAPER_SPACE0, ...).
    // The field, not PaperSpaceBlock(): asking must not make blocks.
    D = 1;
    for (int I = 1; I < N; ++I) {
      const TqdDXFLayout* L = GetLayout(I);
      const TqdDXFBlock* B = L ? L->PaperSpaceBlockField() : nullptr;
      if (B && SameNameText(B->Name(), cnstPaperSpaceName)) {
        D = I;
        break;
      }
    }
  }
  FDefaultLayoutIndex = D;
  return D;
}

void TqdDXFConverter::SetNumberOfPartsInCircle(int V) {
  if (V == FNumberOfPartsInCircle) return;
  FNumberOfPartsInCircle = V <= 1 ? 48 : V;
  ReloadCurves(true);
}

void TqdDXFConverter::SetNumberOfPartsInSpline(int V) {
  if (V == FNumberOfPartsInSpline) return;
  FNumberOfPartsInSpline = V <= 1 ? 24 : V;
  ReloadCurves(false);
}

void TqdDXFConverter::ReloadCurves(bool ACircle) {
  if (FStatus == stEditing || !FBlocksSection) return;
  const int NB = FBlocksSection->Count();
  for (int I = 0; I < NB; ++I) {
    TqdDXFEntity* B = FBlocksSection->GetEntity(I);
    const int N = B ? B->Count() : 0;
    for (int J = 0; J < N; ++J)
      if (TqdDXFEntity* E = B->GetEntity(J);
          E && (ACircle ? E->DependsOnCircleParts() : E->DependsOnSplineParts())) {
        Loads(E);
        ++FReloadCount;
      }
  }
  // Referenced drawings are drawn with the same tessellation.
  for (TqdDXFXref* X : std::vector<TqdDXFXref*>(FXRefs))
    if (TqdDXFConverter* R = X ? X->XRefConverter() : nullptr) {
      if (ACircle)
        R->SetNumberOfPartsInCircle(FNumberOfPartsInCircle);
      else
        R->SetNumberOfPartsInSpline(FNumberOfPartsInSpline);
    }
}

bool TqdDXFConverter::DisplayImageFrame() const {
  const auto* R = FObjectsSection
                      ? dynamic_cast<const TqdCADRasterVariables*>(FObjectsSection->FindEntByName("RASTERVARIABLES"))
                      : nullptr;
  return R ? R->FDisplayFrame : true;
}

void TqdDXFConverter::SetDisplayImageFrame(bool V) {
  TqdDXFEntity* Objects = GetOrCreateSection(csObjects);
  if (!Objects) return;
  auto* R = dynamic_cast<TqdCADRasterVariables*>(
      NewNamedEntity(Objects, ClassOf<TqdCADRasterVariables>(), "RASTERVARIABLES"));
  if (R) R->FDisplayFrame = V;
}

bool TqdDXFConverter::HideWipeouts() const {
  const auto* W = FObjectsSection
                      ? dynamic_cast<const TqdCADWipeoutVariables*>(FObjectsSection->FindEntByName("WIPEOUTVARIABLES"))
                      : nullptr;
  return W ? !W->FFrame : false;
}

void TqdDXFConverter::SetHideWipeouts(bool V) {
  TqdDXFEntity* Objects = GetOrCreateSection(csObjects);
  if (!Objects) return;
  auto* W = dynamic_cast<TqdCADWipeoutVariables*>(
      NewNamedEntity(Objects, ClassOf<TqdCADWipeoutVariables>(), "WIPEOUTVARIABLES"));
  if (W) W->FFrame = !V;
}

// ---------------------------------------------------------------- external references

std::string TqdDXFConverter::XRefSearchPath() const {
  std::string R;
  for (const std::string& P : FXRefSearchPaths) {
    if (!R.empty()) R += ';';
    R += P;
  }
  return R;
}

void TqdDXFConverter::SetXRefSearchPath(std::string_view APaths) {
  FXRefSearchPaths.clear();
  while (!APaths.empty()) {
    const std::size_t P = APaths.find(';');
    const std::string_view Part = APaths.substr(0, P);
    if (!Part.empty()) FXRefSearchPaths.emplace(Part);
    if (P == std::string_view::npos) break;
    APaths.remove_prefix(P + 1);
  }
}

namespace {

TqdXRefLoader& DefaultLoaderSlot() {
  static TqdXRefLoader L;
  return L;
}

}  // namespace

void SetDefaultXRefLoader(TqdXRefLoader L) { DefaultLoaderSlot() = std::move(L); }
const TqdXRefLoader& DefaultXRefLoader() { return DefaultLoaderSlot(); }

void TqdDXFConverter::AddXRefItem(TqdDXFXref* X) {
  if (X && std::find(FXRefs.begin(), FXRefs.end(), X) == FXRefs.end()) FXRefs.push_back(X);
}

void TqdDXFConverter::RemoveXRefItem(const TqdDXFXref* X) {
  auto It = std::find(FXRefs.begin(), FXRefs.end(), X);
  if (It != FXRefs.end()) FXRefs.erase(It);
}

TqdDXFConverter* TqdDXFConverter::RootConverter() {
  TqdDXFConverter* C = this;
  for (int I = 0; C->FOwnerConverter && I <= cnstMaxXRefNesting; ++I) C = C->FOwnerConverter;
  return C;
}

int TqdDXFConverter::XRefNesting() const {
  int N = 0;
  for (const TqdDXFConverter* C = FOwnerConverter; C && N <= cnstMaxXRefNesting; C = C->FOwnerConverter) ++N;
  return N;
}

void TqdDXFConverter::AddWarning(std::string_view AText) {
  // A drawing loaded as an xref reports to the drawing that is shown.
  if (TqdDXFConverter* Root = RootConverter(); Root != this) {
    Root->AddWarning(AText);
    return;
  }
  if (FWarnings.size() >= 1000) return;
  for (const std::string& W : FWarnings)
    if (W == AText) return;
  FWarnings.emplace_back(AText);
}

TqdDXFInsert* TqdDXFConverter::AddXRef(std::string_view AName, TqdDXFLayout* ALayout, double ARotation,
                                       const TFPoint& AScale, const TFPoint& APos) {
  TqdDXFEntity* Blocks = GetOrCreateSection(csBlocks);
  GetOrCreateSection(csBlockRecords);
  if (!Blocks) return nullptr;
  auto Insert = std::make_unique<TqdDXFInsert>();
  TqdDXFInsert* I = Insert.get();
  I->SetLayer(LayerByName(FHeadVarStruct.CLayer));
  auto NewBlock = std::make_unique<TqdDXFBlock>();
  TqdDXFBlock* B = NewBlock.get();
  B->SetLayer(I->Layer());
  DoCreate(I);
  DoCreate(B);
  B->SetConverter(this);
  std::string Stem(AName);
  std::replace(Stem.begin(), Stem.end(), '\\', '/');
  if (const std::size_t Slash = Stem.rfind('/'); Slash != std::string::npos) Stem.erase(0, Slash + 1);
  if (const std::size_t Dot = Stem.rfind('.'); Dot != std::string::npos && Dot > 0) Stem.erase(Dot);
  B->SetName(Stem);
  B->SetXrefPath(AName);
  B->SetFlags(cnstBlockXRef);
  if (Blocks->AddEntity(std::move(NewBlock)) < 0) return nullptr;
  CheckEntityHandle(B->BlockRecord());
  Loads(B);  // resolves the xref: the block's only child becomes the xref item
  I->SetBlock(B);
  I->SetPoint(APos);
  I->SetScale(AScale);
  I->SetAngle(ARotation);
  TqdDXFEntity* Target = ALayout ? static_cast<TqdDXFEntity*>(ALayout->PaperSpaceBlock()) : ModelSpace();
  if (!Target || Target->AddEntity(std::move(Insert)) < 0) return nullptr;
  Loads(I);
  if (ALayout) {
    TFRect R = ALayout->Box();
    UnionBoxes(R, I->Box());
    ALayout->SetBox(R);
  }
  return I;
}

// ---------------------------------------------------------------- per-object data

TqdEntityExtra* TqdDXFConverter::GetEntityExtra(const TqdDXFEntity* E, bool ACreate) {
  if (!E) return nullptr;
  auto It = FEntityExtra.find(E);
  if (It != FEntityExtra.end()) return It->second.get();
  if (!ACreate) return nullptr;
  auto& Slot = FEntityExtra[E];
  Slot = std::make_unique<TqdEntityExtra>();
  const_cast<TqdDXFEntity*>(E)->FHasExtra = true;
  return Slot.get();
}

void TqdDXFConverter::DropEmptyExtra(const TqdDXFEntity* E) {
  auto It = FEntityExtra.find(E);
  if (It == FEntityExtra.end()) return;
  const TqdEntityExtra& X = *It->second;
  if (X.Dictionary || X.DictionaryHandle || !X.EED.empty()) return;
  FEntityExtra.erase(It);
  const_cast<TqdDXFEntity*>(E)->FHasExtra = false;
}

const std::map<std::string, TqdCADExtendedData>* TqdDXFConverter::GetEEDItems(const TqdDXFEntity* E) {
  const TqdEntityExtra* X = GetEntityExtra(E, false);
  return (X && !X->EED.empty()) ? &X->EED : nullptr;
}

void TqdDXFConverter::SetEntityEED(TqdDXFEntity* E, std::string_view AAppName, const TqdCADExtendedData& AData) {
  if (!E) return;
  if (AData.Count() == 0) {
    if (TqdEntityExtra* X = GetEntityExtra(E, false)) {
      X->EED.erase(UpperNameText(AAppName));
      DropEmptyExtra(E);
    }
    return;
  }
  GetEntityExtra(E, true)->EED[UpperNameText(AAppName)] = AData;
}

void TqdDXFConverter::RemoveEntityEED(TqdDXFEntity* E) {
  if (!E) return;
  FEntityExtra.erase(E);
  E->FHasExtra = false;
}

void TqdDXFConverter::SetEntityDictionary(TqdDXFEntity* E, TqdDXFDictionary* D) {
  if (!E) return;
  if (!D) {
    if (TqdEntityExtra* X = GetEntityExtra(E, false)) {
      X->Dictionary = nullptr;
      X->DictionaryHandle = 0;
      DropEmptyExtra(E);
    }
    return;
  }
  TqdEntityExtra* X = GetEntityExtra(E, true);
  X->Dictionary = D;
  X->DictionaryHandle = 0;
}

void TqdDXFConverter::SetEntityDictionaryHandle(TqdDXFEntity* E, std::uint64_t AHandle) {
  if (!E) return;
  if (AHandle == 0) {
    SetEntityDictionary(E, nullptr);
    return;
  }
  TqdEntityExtra* X = GetEntityExtra(E, true);
  X->Dictionary = nullptr;
  X->DictionaryHandle = AHandle;
}

TqdDXFDictionary* TqdDXFConverter::EntityDictionary(const TqdDXFEntity* E) {
  const TqdEntityExtra* X = GetEntityExtra(E, false);
  return X ? X->Dictionary : nullptr;
}

void TqdDXFConverter::RemoveAppEED(std::string_view AAppName) {
  const std::string Key = UpperNameText(AAppName);
  std::vector<const TqdDXFEntity*> Emptied;
  for (auto& [E, X] : FEntityExtra)
    if (X->EED.erase(Key)) Emptied.push_back(E);
  for (const TqdDXFEntity* E : Emptied) DropEmptyExtra(E);
}

void TqdDXFConverter::ForgetDictionary(const TqdDXFDictionary* D) {
  if (!D) return;
  std::vector<const TqdDXFEntity*> Emptied;
  for (auto& [E, X] : FEntityExtra)
    if (X->Dictionary == D) {
      X->Dictionary = nullptr;
      Emptied.push_back(E);
    }
  for (const TqdDXFEntity* E : Emptied) DropEmptyExtra(E);
}

void TqdDXFConverter::ApplyLayerRoundtripColors() {
  for (int I = 0; I < GetCount(csLayers); ++I) {
    TqdDXFLayer* L = GetLayer(I);
    const TqdDXFDictionary* D = L ? L->Dictionary() : nullptr;
    const auto* X = D ? dynamic_cast<const TqdDXFXRecord*>(D->FindEntByName("ACAD_XREC_ROUNDTRIP")) : nullptr;
    if (!X) continue;
    std::string Key;
    for (const TqdExtData& V : X->FData.Items()) {
      if (V.EType == edtString && V.ECode == 102) {
        Key = V.EString;
      } else if (Key == "COLORACI" && V.ECode == 70 && V.EInt >= 0 && V.EInt <= 256) {
        L->SetColorCAD(TqdColorCAD::Index(static_cast<int>(V.EInt)));
      } else if (Key == "COLORTRUE" && V.ECode == 90) {
        L->SetColorCAD(TqdColorCAD::RGB(SwapRedBlue(static_cast<std::uint32_t>(V.EInt) & 0xFFFFFF)));
      }
    }
  }
}

// ---------------------------------------------------------------- drawing properties

void TqdDXFConverter::EnsureDrwProps() {
  if (!FDrwPropInfo) {
    FDrwPropInfo = std::make_unique<std::vector<std::pair<std::string, std::string>>>();
    *FDrwPropInfo = {{"1", ""}, {"2", "Vantrex"}, {"3", ""}, {"4", ""},
                     {"6", "Made with the Draftwell drawing library"},
                     {"7", ""}, {"8", ""}, {"9", ""}};
  }
  if (!FDrwPropCustomSummaryInfo)
    FDrwPropCustomSummaryInfo = std::make_unique<std::vector<std::pair<std::string, std::string>>>();
}

std::string TqdDXFConverter::DrwProp(int AKey) {
  EnsureDrwProps();
  const std::string K = std::to_string(AKey);
  for (const auto& [N, V] : *FDrwPropInfo)
    if (N == K) return V;
  return {};
}

void TqdDXFConverter::SetDrwProp(int AKey, std::string_view V) {
  EnsureDrwProps();
  const std::string K = std::to_string(AKey);
  for (auto& [N, Value] : *FDrwPropInfo)
    if (N == K) {
      Value.assign(V);
      return;
    }
  FDrwPropInfo->emplace_back(K, std::string(V));
}

const std::vector<std::pair<std::string, std::string>>& TqdDXFConverter::DrwPropCustomSummaryInfo() {
  EnsureDrwProps();
  return *FDrwPropCustomSummaryInfo;
}

bool TqdDXFConverter::CustomSummaryInfoAdd(std::string_view Key, std::string_view Value) {
  EnsureDrwProps();
  if (Key.empty() || Value.empty() || FDrwPropCustomSummaryInfo->size() >= 10) return false;
  FDrwPropCustomSummaryInfo->emplace_back(std::string(Key), std::string(Value));
  return true;
}

void TqdDXFConverter::ClearDrawingProp() {
  EnsureDrwProps();
  FDrwPropInfo->clear();
  FDrwPropCustomSummaryInfo->clear();
  const auto Now = std::chrono::duration_cast<std::chrono::seconds>(
                       std::chrono::system_clock::now().time_since_epoch())
                       .count();
  FDrwPropCreatedDateTime = Now;
  FDrwPropModifiedDateTime = Now;
  FDrwPropTotalEditingTime = 0;
}

std::string TqdDXFConverter::DoFindFont(std::string_view AText, bool AUnicode) {
  std::string Name = AUnicode ? "Arial Unicode MS" : "Arial";
  if (OnFindFont) OnFindFont(AText, AUnicode, Name);
  return Name;
}
