#include "qdLoadPasses.h"

#include <cstring>
#include <typeinfo>
#include <unordered_map>
#include <unordered_set>

#include "Blocks.h"
#include "Hatches.h"
#include "Objects.h"
#include "Registry.h"

namespace {

bool SameText(std::string_view A, std::string_view B) { return SameNameText(A, B); }

std::string_view Trimmed(std::string_view S) {
  while (!S.empty() && (S.front() == ' ' || S.front() == '\t')) S.remove_prefix(1);
  while (!S.empty() && (S.back() == ' ' || S.back() == '\t' || S.back() == '\r')) S.remove_suffix(1);
  return S;
}

// A dynamic_cast that fails walks the class tree comparing type names: over every
// entity of a big drawing that dominated the finishing passes. The answer is the
// same for every item of one dynamic type, so it is asked once per type.
template <class T>
class TTypeTest {
public:
  const T* operator()(const TqdDXFEntity* E) {
    const std::type_info* K = &typeid(*E);
    for (const auto& [Type, Is] : FSeen)
      if (Type == K) return Is ? static_cast<const T*>(E) : nullptr;
    const T* R = dynamic_cast<const T*>(E);
    FSeen.emplace_back(K, R != nullptr);
    return R;
  }

private:
  std::vector<std::pair<const std::type_info*, bool>> FSeen;
};

}  // namespace

std::string SpaceBlockName(std::string_view AName) {
  std::string N = UpperNameText(Trimmed(AName));
  if (!N.empty() && N[0] == '$') N[0] = '*';
  return N;
}

void TqdDrawingLoader::Warn(const std::string& AKey) { ++FWarnings[AKey]; }

void TqdDrawingLoader::NoteNotDrawn(std::string_view AType, int ACount) {
  if (ACount > 0) FNotDrawn[UpperNameText(AType)] += ACount;
}

std::vector<std::string> TqdDrawingLoader::Warnings() const {
  std::vector<std::string> R;
  for (const auto& [Text, N] : FWarnings) R.push_back(N > 1 ? Text + " (" + std::to_string(N) + ")" : Text);
  for (const auto& [Type, N] : FNotDrawn) R.push_back(Type + ": " + std::to_string(N) + " not drawn");
  return R;
}

void TqdDrawingLoader::NoteOwnDictionaries() {
  FOwnDictionaries[0] = FConverter->GetSection(csImageDefs);
  FOwnDictionaries[1] = FConverter->GetSection(csLayouts);
}

bool TqdDrawingLoader::SafeAdd(TqdDXFEntity* AOwner, std::unique_ptr<TqdDXFEntity>& E) {
  if (!AOwner || !E || E->Owner()) return false;
  // The same limits the container applies, checked first: a container that refuses
  // frees the item, and the reader may still point into it.
  int Depth = 0;
  for (const TqdDXFEntity* P = AOwner; P; P = P->Owner())
    if (P == E.get() || ++Depth >= cnstMaxTreeDepth) return false;
  TqdDXFEntity* Raw = E.get();
  if (AOwner->AddEntity(std::move(E)) >= 0) return true;
  // Refused and freed by the container: nothing may remember it.
  Forget(Raw);
  return false;
}

TqdDXFAppID* TqdDrawingLoader::GetAppIDEnt(std::string_view AName) {
  return dynamic_cast<TqdDXFAppID*>(FConverter->ItemByName(AName, csAppID, true));
}

void TqdDrawingLoader::NoteBlock(TqdDXFBlock* B) {
  if (!B) return;
  const std::string N = SpaceBlockName(B->Name());
  if (N == cnstModelSpaceName) {
    if (!FModelSpace) FModelSpace = B;
  } else if (N == cnstPaperSpaceName) {
    if (!FPaperSpace) FPaperSpace = B;
  }
}

void TqdDrawingLoader::EnsureSpaceBlocks() {
  FConverter->GetOrCreateSection(csBlockRecords);
  TqdDXFEntity* Blocks = FConverter->GetOrCreateSection(csBlocks);
  if (!Blocks) return;
  for (TqdDXFBlock** Slot : {&FModelSpace, &FPaperSpace}) {
    if (*Slot) continue;
    const char* Name = Slot == &FModelSpace ? cnstModelSpaceName : cnstPaperSpaceName;
    auto* B = dynamic_cast<TqdDXFBlock*>(FConverter->NewNamedEntity(Blocks, ClassOf<TqdDXFBlock>(), Name));
    *Slot = B;
  }
}

void TqdDrawingLoader::MakeRootDictionary() {
  if (FNamedObjects || FReadObjects) return;
  TqdDXFEntity* Objects = FConverter->GetOrCreateSection(csObjects);
  if (!Objects) return;
  auto D = std::make_unique<TqdDXFDictionary>();
  TqdDXFDictionary* Raw = D.get();
  FConverter->DoCreate(Raw);
  Raw->SetConverter(FConverter);
  Raw->SetName("DICTIONARY");
  FConverter->CheckEntityHandle(Raw);
  if (Objects->InsertEntity(0, std::move(D)) >= 0) FNamedObjects = Raw;
}

void TqdDrawingLoader::DropOwnDictionaries() {
  // The converter's own image-definition and layout dictionaries make way for the file's.
  TqdDXFEntity* Objects = FConverter->GetSection(csObjects);
  if (!Objects) return;
  for (TqdDXFEntity* D : FOwnDictionaries)
    if (D && Objects->IndexOfEntity(D) >= 0) ReleaseEntity(FConverter->ExtractFromTable(Objects, D));
}

void TqdDrawingLoader::TakeStandardDictionaries() {
  struct TPair {
    const char* DXFName;
    const char* ConvName;
    TqdEntityClass Class;
  };
  const TPair Pairs[] = {
      {"ACAD_LAYOUT", "LAYOUTS", nullptr},
      {"ACAD_IMAGE_DICT", "IMAGEDEFS", nullptr},
      {"ACAD_MLINESTYLE", "MLINESTYLES", nullptr},
      {"ACAD_TABLESTYLE", "TABLESTYLES", nullptr},
      {"ACAD_PLOTSETTINGS", "PLOTSETTINGS", nullptr},
      {"ACAD_IMAGE_VARS", "RASTERVARIABLES", ClassOf<TqdCADRasterVariables>()},
      {"ACAD_WIPEOUT_VARS", "WIPEOUTVARIABLES", ClassOf<TqdCADWipeoutVariables>()},
      {"AcDbVariableDictionary", "AcDbVariableDictionary", nullptr},
      {"ACAD_COLOR", "COLORS", nullptr},
      {"ACAD_SCALELIST", "SCALELIST", nullptr},
      {"ACAD_MATERIAL", "MATERIALS", nullptr},
      {"ACAD_FIELDLIST", "FIELDLIST", nullptr},
  };
  TqdDXFEntity* Objects = FConverter->GetOrCreateSection(csObjects);
  if (!Objects) return;
  for (const TPair& P : Pairs) {
    if (Objects->FindEntByName(P.ConvName)) continue;
    const TqdEntityClass Class = P.Class ? P.Class : ClassOf<TqdDXFDictionary>();
    std::unique_ptr<TqdDXFEntity> Item;
    if (FNamedObjects) {
      TqdDXFEntity* Entry = FNamedObjects->FindEntByName(P.DXFName);
      // Only an entry of the expected class takes the converter's name.
      const std::unique_ptr<TqdDXFEntity> Probe = Class();
      if (Entry && std::strcmp(Entry->ClassName(), Probe->ClassName()) == 0)
        Item = FNamedObjects->DeleteEntity(FNamedObjects->IndexOfEntity(Entry));
    }
    if (!Item) {
      Item = Class();
      FConverter->DoCreate(Item.get());
      Item->SetConverter(FConverter);
    }
    Item->SetName(P.ConvName);
    SafeAdd(Objects, Item);
  }
}

void TqdDrawingLoader::EnsureStandardItems() {
  TqdDXFConverter* C = FConverter;
  C->StyleByName("STANDARD");
  for (const char* N : {"BYLAYER", "BYBLOCK", "CONTINUOUS"}) C->ItemByName(N, csLTypes, true);
  auto Rank = [](const TqdDXFEntity* E, std::initializer_list<const char*> Front) {
    int R = 0;
    for (const char* N : Front) {
      if (SameText(E->Name(), N)) return R;
      ++R;
    }
    return R;
  };
  if (auto* LT = dynamic_cast<TqdDXFGroup*>(C->GetSection(csLTypes)))
    LT->SortChildren([&](const TqdDXFEntity* A, const TqdDXFEntity* B) {
      const int RA = Rank(A, {"BYBLOCK", "BYLAYER", "CONTINUOUS"}), RB = Rank(B, {"BYBLOCK", "BYLAYER", "CONTINUOUS"});
      if (RA != RB) return RA < RB;
      return A->Handle() < B->Handle();
    });
  C->LayerByName("0");
  if (auto* LA = dynamic_cast<TqdDXFGroup*>(C->GetSection(csLayers)))
    LA->SortChildren([&](const TqdDXFEntity* A, const TqdDXFEntity* B) {
      const int RA = Rank(A, {"0"}), RB = Rank(B, {"0"});
      if (RA != RB) return RA < RB;
      return A->Handle() < B->Handle();
    });
  C->DimensionStyleByName("STANDARD");
  TqdDXFVport* Active = FActiveVPort;
  if (!Active)
    if (TqdDXFEntity* VP = C->GetSection(csVPorts))
      for (int I = 0; I < VP->Count() && !Active; ++I)
        if (auto* V = dynamic_cast<TqdDXFVport*>(VP->GetEntity(I)); V && SameText(Trimmed(V->Name()), "*ACTIVE"))
          Active = V;
  if (Active) C->SetActiveVPort(Active);
}

void TqdDrawingLoader::MakeLayouts() {
  TqdDXFConverter* C = FConverter;
  auto* Layouts = dynamic_cast<TqdDXFDictionary*>(C->GetOrCreateSection(csLayouts));
  if (!Layouts) return;
  // The layouts dictionary holds layouts only; anything else a file put there moves to
  // OBJECTS.
  if (TqdDXFEntity* Objects = C->GetSection(csObjects))
    for (int I = Layouts->Count() - 1; I >= 0; --I)
      if (!dynamic_cast<TqdDXFLayout*>(Layouts->GetEntity(I))) {
        std::unique_ptr<TqdDXFEntity> E = Layouts->DeleteEntity(I);
        if (!SafeAdd(Objects, E)) ReleaseEntity(std::move(E));
      }
  // Layouts name their blocks by record handle. A layout that names its block is a
  // layout wherever the file put it (a file may lack its layouts dictionary).
  for (const auto& [L, H] : FLayoutBlocks) {
    if (TqdDXFEntity* O = L->Owner(); O && O != Layouts) {
      std::unique_ptr<TqdDXFEntity> E = O->DeleteEntity(O->IndexOfEntity(L));
      // Back where it was when the layouts refuse it (it was just there, so it fits).
      if (E && !SafeAdd(Layouts, E) && E && !SafeAdd(O, E)) (void)E.release();
    }
    if (L->Owner() != Layouts) continue;
    auto It = FBlockRecordsByHandle.find(H);
    if (It == FBlockRecordsByHandle.end() || !It->second->Block()) continue;
    TqdDXFBlock* B = It->second->Block();
    if (!B->Layout() && !L->PaperSpaceBlockField()) L->SetPaperSpaceBlock(B);
  }
  auto Give = [&](TqdDXFBlock* B, const char* Name) {
    if (!B || B->Layout()) return;
    auto L = std::make_unique<TqdDXFLayout>();
    TqdDXFLayout* Raw = L.get();
    C->DoCreate(Raw);
    Raw->SetNameUnchecked(Name);
    if (C->AddLayout(std::move(L)) >= 0) Raw->SetPaperSpaceBlock(B);
  };
  Give(FModelSpace, cnstModelLayoutName);
  Give(FPaperSpace, cnstLayout1Name);
  C->SortLayouts(FModelSpace ? FModelSpace->Layout() : nullptr);
  for (int I = Layouts->Count() - 1; I >= 1; --I) {
    auto* L = dynamic_cast<TqdDXFLayout*>(Layouts->GetEntity(I));
    if (!L || L->Count() != 0) continue;
    TqdDXFBlock* B = L->PaperSpaceBlockField();
    ReleaseEntity(Layouts->DeleteEntity(I));
    if (B == FPaperSpace) FPaperSpace = nullptr;
    if (I > 1 && B && B != FModelSpace) C->DeleteBlock(B, true);
  }
}

void TqdDrawingLoader::FileApplications() {
  for (const std::string& App : FAppNames) GetAppIDEnt(App);
}

void TqdDrawingLoader::Complete(std::size_t AEnd) {
  TqdDXFConverter* C = FConverter;
  MakeRootDictionary();
  DropOwnDictionaries();
  EnsureStandardItems();
  TakeStandardDictionaries();
  C->FillMainSection();
  EnsureSpaceBlocks();
  MakeLayouts();
  C->ApplyLayerRoundtripColors();
  C->ResolveAllLinks();
  C->SetOnLoadingTick([this] { FinishingTick(); });
  C->LoadAll();
  C->SetOnLoadingTick(nullptr);
  FileApplications();
  C->SetLoadingState(false, AEnd);
  C->SortEntities();
  ApplySortTables();
  NoteHatchFallbacks();
  if (Stopped()) Warn("Loading cancelled: the drawing is incomplete");
}

void TqdDrawingLoader::ApplySortTables() {
  TqdDXFConverter* C = FConverter;
  TqdDXFEntity* Objects = C->GetSection(csObjects);
  if (!Objects) return;
  // Sort tables live in dictionaries (a block record's extension dictionary) anywhere
  // under OBJECTS; the walk is bounded in depth and visits each container once.
  std::vector<const TqdDXFSortEntsTable*> Tables;
  std::unordered_set<const TqdDXFEntity*> Seen;
  std::vector<std::pair<const TqdDXFEntity*, int>> Stack{{Objects, 0}};
  TTypeTest<TqdDXFSortEntsTable> IsSortTable;
  TTypeTest<TqdDXFDictionary> IsDictionary;
  while (!Stack.empty()) {
    const auto [G, Depth] = Stack.back();
    Stack.pop_back();
    if (!Seen.insert(G).second) continue;
    for (int I = 0; I < G->Count(); ++I) {
      const TqdDXFEntity* E = G->GetEntity(I);
      if (!E) continue;
      if (const auto* T = IsSortTable(E)) Tables.push_back(T);
      // Only dictionaries hold them: the walk never goes through a layout's or
      // another object's own children (a large drawing has many).
      else if (E->Count() > 0 && Depth < 64 && IsDictionary(E)) Stack.push_back({E, Depth + 1});
    }
  }
  std::unordered_set<const TqdDXFBlock*> Sorted;
  for (const TqdDXFSortEntsTable* T : Tables) {
    TqdDXFBlock* B = T->Block(C);
    // One order per block: the first table that names it.
    if (!B || T->FPairs.empty() || !Sorted.insert(B).second) continue;
    std::unordered_map<std::uint64_t, std::uint64_t> Keys;
    Keys.reserve(T->FPairs.size());
    for (const auto& [Ent, Sort] : T->FPairs) Keys.try_emplace(Ent, Sort);
    // Entities the table does not list sort by their own handle; equal keys keep the
    // order of the file.
    auto Key = [&](const TqdDXFEntity* E) {
      const std::uint64_t H = E->Handle();
      const auto It = Keys.find(H);
      return It == Keys.end() ? H : It->second;
    };
    B->SortChildren([&](const TqdDXFEntity* A, const TqdDXFEntity* Bp) { return Key(A) < Key(Bp); });
  }
}

void TqdDrawingLoader::NoteHatchFallbacks() {
  const TqdDXFEntity* Blocks = FConverter->GetSection(csBlocks);
  int Dense = 0, Slow = 0;
  TTypeTest<TqdCADHatch> IsHatch;
  for (int I = 0; Blocks && I < Blocks->Count(); ++I) {
    const TqdDXFEntity* B = Blocks->GetEntity(I);
    for (int J = 0; B && J < B->Count(); ++J)
      if (const TqdDXFEntity* E = B->GetEntity(J); !E) continue;
      else if (const auto* H = IsHatch(E)) {
        if (H->PatternFallback() == pfMemoryLimit) ++Dense;
        else if (H->PatternFallback() == pfTimeLimit) ++Slow;
      }
  }
  // Each met once per hatch: the warning counts them.
  for (int K = 0; K < Dense; ++K) Warn("Hatch pattern too dense to generate: drawn filled");
  for (int K = 0; K < Slow; ++K) Warn("Hatch pattern took too long to generate: drawn filled");
}
