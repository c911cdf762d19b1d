#include "Blocks.h"

#include "CachedCast.h"

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <mutex>

#include "DXFConv.h"
#include "Inserts.h"
#include "Objects.h"
#include "qdFunction.h"

// ---------------------------------------------------------------- block

TqdDXFBlock::TqdDXFBlock()
    : FOwnedRecord(new TqdDXFBlockRecord(TqdDXFBlockRecord::TAdopt{}, this)) {
  FBlockRecord = FOwnedRecord.get();
}

TqdDXFBlock::TqdDXFBlock(TAdopt, TqdDXFBlockRecord* ARecord) : FBlockRecord(ARecord) {}

TqdDXFBlock::~TqdDXFBlock() {
  if (FLayout) FLayout->ForgetBlock(this);
  // Inserts link blocks by plain pointer: they lose the link rather than dangle.
  for (TqdDXFInsert* I : References()) {
    RemoveReference(I);
    if (I->FBlockRecord == FBlockRecord) I->FBlockRecord = nullptr;
  }
  // The children go before the record their names and links may refer to.
  TqdDXFGroup::Clear(true);
}

std::string TqdDXFBlock::Name() const { return FBlockRecord ? FBlockRecord->Name() : std::string(); }

void TqdDXFBlock::SetName(std::string_view AName) {
  if (FBlockRecord) FBlockRecord->SetNameUnchecked(AName);
}

std::string TqdDXFBlock::Description() const {
  return FBlockRecord ? FBlockRecord->Description() : std::string();
}

void TqdDXFBlock::SetDescription(std::string_view V) {
  if (FBlockRecord) FBlockRecord->SetDescription(V);
}

void TqdDXFBlock::SetOffset(const TFPoint& P) {
  if (IsFiniteFPoint(P)) FOffset = P;
}

std::string TqdDXFBlock::XrefPath() const {
  if (FXrefPath.empty() && FXref) return FXref->Path();
  return FXrefPath;
}

bool TqdDXFBlock::IsBlockIntetnal() const {
  if (FFlag & cnstBlockAnonymous) return true;
  const std::string N = Name();
  return !N.empty() && N[0] == '*';
}

bool TqdDXFBlock::IsModalSpaceBlock() const { return FLayout && FLayout->Index() == 0; }

bool TqdDXFBlock::IsAcadTableBlock() const {
  if (!IsBlockIntetnal()) return false;
  const std::string N = Name();
  if (N.size() < 3 || (N[1] != 'T' && N[1] != 't')) return false;
  return (N[2] >= '0' && N[2] <= '9') || N.rfind("*TqdTbl", 0) == 0;
}

void TqdDXFBlock::AddReference(TqdDXFInsert* I) {
  if (!I || I->FReferencedBlock == this) return;
  if (I->FReferencedBlock) I->FReferencedBlock->RemoveReference(I);
  I->FReferencedBlock = this;
  I->FPrevReference = nullptr;
  I->FNextReference = FFirstReference;
  if (FFirstReference) FFirstReference->FPrevReference = I;
  FFirstReference = I;
  ++FReferenceCount;
}

void TqdDXFBlock::RemoveReference(TqdDXFInsert* I) {
  // Only from the chain the insert is really in (its record may have changed block).
  if (!I || I->FReferencedBlock != this) return;
  if (I->FPrevReference)
    I->FPrevReference->FNextReference = I->FNextReference;
  else
    FFirstReference = I->FNextReference;
  if (I->FNextReference) I->FNextReference->FPrevReference = I->FPrevReference;
  I->FReferencedBlock = nullptr;
  I->FPrevReference = I->FNextReference = nullptr;
  --FReferenceCount;
}

std::vector<TqdDXFInsert*> TqdDXFBlock::References() const {
  std::vector<TqdDXFInsert*> R;
  R.reserve(FReferenceCount);
  for (TqdDXFInsert* I = FFirstReference; I; I = I->FNextReference) R.push_back(I);
  return R;
}

int TqdDXFBlock::InsertEntity(int Index, std::unique_ptr<TqdDXFEntity> E) {
  if (IsLoaded() && !FLayout) return -1;
  return TqdDXFGroupEntity::InsertEntity(Index, std::move(E));
}

void TqdDXFBlock::Clear(bool ADoFree) {
  TqdDXFGroupEntity::Clear(ADoFree);
  SetIsLoaded(false);
  FBox = cnstBadRect;
  FXref = nullptr;
  FFlag &= ~cnstBlockHasAttributes;
}

void TqdDXFBlock::UpdateAttributeFlag() {
  bool Any = false, AnyConstant = false;
  for (int I = 0; FHadAttdef && I < Count(); ++I)
    if (const TqdDXFEntity* E = GetEntity(I); E && E->EntType() == ceAttdef)
      if (const auto* A = CachedCast<const TqdDXFAttdef>(E)) {
        Any = true;
        if (A->Constant()) AnyConstant = true;
      }
  if (Any && !AnyConstant)
    FFlag |= cnstBlockHasAttributes;
  else
    FFlag &= ~cnstBlockHasAttributes;
}

void TqdDXFBlock::NumberViewport(TqdDXFViewport* V) {
  if (!V) return;
  ++FViewPortOrdIndex;
  V->SetOrdIndex(FViewPortOrdIndex);
  if (FViewPortOrdIndex == 0 || !FViewPortWithMinIndex) {
    FViewPortWithMinIndex = V;
    return;
  }
  if (V->Handle() < FViewPortWithMinIndex->Handle()) {
    const int Mine = V->OrdIndex();
    V->SetOrdIndex(FViewPortWithMinIndex->OrdIndex());
    FViewPortWithMinIndex->SetOrdIndex(Mine);
    FViewPortWithMinIndex = V;
  }
}

void TqdDXFBlock::ListNotify(TqdDXFEntity* E, TListNotification Action) {
  TqdDXFGroupEntity::ListNotify(E, Action);
  if (!E) return;
  const TqdCADEntities T = E->EntType();
  if (Action == lnAdded) {
    if (T == ceAttdef) {
      FHadAttdef = true;
      const auto* A = static_cast<const TqdDXFAttdef*>(E);
      if (A->Constant())
        FFlag &= ~cnstBlockHasAttributes;
      else
        FFlag |= cnstBlockHasAttributes;
    } else if (T == ceViewport) {
      NumberViewport(static_cast<TqdDXFViewport*>(E));
    } else if (T == ceXRef) {
      FXref = static_cast<TqdDXFXref*>(E);
      if (TqdDXFConverter* C = Converter()) C->AddXRefItem(FXref);
    }
    return;
  }
  if (T == ceAttdef) {
    UpdateAttributeFlag();
  } else if (T == ceViewport) {
    auto* V = static_cast<TqdDXFViewport*>(E);
    V->SetOrdIndex(-1);
    if (FViewPortWithMinIndex == V) FViewPortWithMinIndex = nullptr;
  } else if (T == ceXRef) {
    if (FXref == E) FXref = nullptr;
    if (TqdDXFConverter* C = Converter()) C->RemoveXRefItem(static_cast<TqdDXFXref*>(E));
  }
}

void TqdDXFBlock::UpdateBox() {
  FBox = cnstBadRect;
  TqdDXFConverter* C = Converter();
  for (int I = 0; I < Count(); ++I) {
    TqdDXFEntity* E = GetEntity(I);
    if (!E || !E->Visibility()) continue;
    const TqdCADEntities T = E->EntType();
    if (T == ceAttdef) {
      FHadAttdef = true;
      const auto* A = static_cast<const TqdDXFAttdef*>(E);
      if (A->Flags() == 0 || A->NotAppear() || A->Value().empty()) continue;
    } else if (auto* Ins = CachedCast<TqdDXFInsert>(E)) {
      // The insert loads its block on demand (a block being loaded is skipped there).
      if (C) C->Loads(Ins);
    }
    UnionBoxes(FBox, E->Box());
  }
}

void TqdDXFBlock::Loaded(TqdDXFConverter* C) {
  if (IsLoaded() || IsLoading()) return;
  // Marked before anything is measured: an insert of this block met while measuring it
  // (directly or through other blocks) finds the mark and does not load it again.
  SetIsLoading(true);
  try {
    if (C) LoadXref(C);
    UpdateAttributeFlag();
    TqdDXFGroupEntity::Loaded(C);
  } catch (...) {
    SetIsLoading(false);
    throw;
  }
  SetIsLoading(false);
  SetIsLoaded(true);
  if (C && FBlockRecord) C->Loads(FBlockRecord);
}

void TqdDXFBlock::AssignEntity(const TqdDXFEntity& Source) {
  TqdDXFGroupEntity::AssignEntity(Source);
  if (const auto* S = dynamic_cast<const TqdDXFBlock*>(&Source)) {
    SetName(S->Name());
    SetDescription(S->Description());
    FOffset = S->FOffset;
    FXrefPath = S->FXrefPath;
  }
}

// ---------------------------------------------------------------- external references

namespace {

namespace fs = std::filesystem;

// Drawings being loaded as xrefs anywhere in the process, by file identity.
std::mutex GLoadingLock;
std::vector<std::string> GLoadingXRefs;

std::string SlashPath(std::string_view P) {
  std::string S(P);
  std::replace(S.begin(), S.end(), '\\', '/');
  return S;
}

bool IsFile(const std::string& P) {
  std::error_code Ec;
  return !P.empty() && fs::is_regular_file(fs::path(P), Ec);
}

// One key per file whatever the spelling: relative or absolute, "..", symlinks, hard
// links and case-insensitive file systems all meet in the device and inode.
std::string FileKey(const std::string& APath) {
  if (APath.empty()) return {};
  struct stat St {};
  if (::stat(APath.c_str(), &St) == 0)
    return "inode:" + std::to_string(static_cast<unsigned long long>(St.st_dev)) + ":" +
           std::to_string(static_cast<unsigned long long>(St.st_ino));
  std::error_code Ec;
  const fs::path P = fs::weakly_canonical(fs::path(SlashPath(APath)), Ec);
  return Ec ? SlashPath(APath) : P.string();
}

bool KnowsExtension(const TqdXRefLoader& L, const std::string& Ext) {
  for (const std::string& E : L.Extensions)
    if (SameNameText(E, Ext)) return true;
  return false;
}

// The path as given, with the loader's extensions when it has none.
std::string FindWithExtensions(const std::string& P, const TqdXRefLoader& L) {
  if (fs::path(P).has_extension()) return IsFile(P) ? P : std::string();
  for (const char* Ext : {".dwg", ".dxf"})
    if (KnowsExtension(L, Ext) && IsFile(P + Ext)) return P + Ext;
  for (const std::string& Ext : L.Extensions)
    if (IsFile(P + Ext)) return P + Ext;
  return {};
}

std::string LocateXRef(TqdDXFConverter& C, const std::string& APath) {
  const TqdXRefLoader& L = C.XRefLoader();
  const std::string P = SlashPath(APath);
  if (std::string F = FindWithExtensions(P, L); !F.empty()) return F;
  if (std::string F = FindWithExtensions(fs::path(P).lexically_normal().string(), L); !F.empty()) return F;
  std::vector<std::string> Dirs(C.XRefSearchPaths().begin(), C.XRefSearchPaths().end());
  // Without search paths a relative path is also taken from the drawing's own folder.
  if (Dirs.empty() && !C.FileName().empty()) Dirs.push_back(fs::path(SlashPath(C.FileName())).parent_path().string());
  for (const std::string& D : Dirs) {
    if (D.empty()) continue;
    if (std::string F = FindWithExtensions(SlashPath(D) + "/" + P, L); !F.empty()) return F;
    // A path from another machine: its file name in the search folder.
    const std::string Leaf = fs::path(P).filename().string();
    if (!Leaf.empty() && Leaf != P)
      if (std::string F = FindWithExtensions(SlashPath(D) + "/" + Leaf, L); !F.empty()) return F;
  }
  if (C.OnXRefResolve) {
    std::string Resolved = APath;
    if (C.OnXRefResolve(C, Resolved))
      if (std::string F = FindWithExtensions(SlashPath(Resolved), L); !F.empty()) return F;
  }
  return {};
}

}  // namespace

void TqdDXFBlock::LoadXref(TqdDXFConverter* C) {
  const std::string Path = XrefPath();
  if (Path.empty() || !IsBlockByXRef()) return;
  // An overlay is not followed inside another xref.
  if (IsBlockXrefOverlay() && C->OwnerConverter()) return;
  const std::string File = LocateXRef(*C, Path);
  const std::string Key = FileKey(File);
  // Loaded before (the block was only marked for measuring again): keep it.
  if (FXref && FXref->XRefConverter() && !File.empty() && FXref->FFileKey == Key) return;
  // The drawing itself and every drawing above it on the xref path are never loaded
  // again: that would recurse without end.
  if (!File.empty()) {
    int Level = 0;
    for (TqdDXFConverter* A = C; A && Level <= cnstMaxXRefNesting; A = A->OwnerConverter(), ++Level)
      if (!A->FileName().empty() && FileKey(A->FileName()) == Key) {
        C->AddWarning("Xref \"" + Path + "\" refers back to a drawing that references it; not loaded");
        return;
      }
    std::lock_guard<std::mutex> Lock(GLoadingLock);
    if (std::find(GLoadingXRefs.begin(), GLoadingXRefs.end(), Key) != GLoadingXRefs.end()) {
      C->AddWarning("Xref \"" + Path + "\" is being loaded already; not loaded again");
      return;
    }
  }

  TqdDXFGroupEntity::Clear(true);
  FXref = nullptr;
  FOffset = {0, 0, 0};
  auto X = std::make_unique<TqdDXFXref>();
  C->DoCreate(X.get());
  X->SetConverter(C);
  X->SetPath(Path);
  {
    std::string Stem = fs::path(SlashPath(Path)).stem().string();
    X->SetNameUnchecked(Stem);
  }
  if (File.empty()) {
    C->AddWarning("Xref file not found: \"" + Path + "\"");
    return;
  }
  X->FFileKey = Key;

  // A drawing this converter loaded already is shared.
  TqdDXFConverter* Ref = nullptr;
  for (TqdDXFXref* Other : C->XRefs())
    if (Other && Other->XRefConverter() && Other->FFileKey == Key) {
      Ref = Other->XRefConverter();
      Ref->Reference();
      break;
    }
  if (!Ref) {
    if (C->XRefNesting() + 1 > cnstMaxXRefNesting) {
      C->AddWarning("Xref \"" + Path + "\" is nested too deep; not loaded");
      return;
    }
    const TqdXRefLoader& L = C->XRefLoader();
    if (!L.Load) {
      C->AddWarning("Xref \"" + Path + "\" cannot be read: no reader for xrefs");
      return;
    }
    TqdConverterParams Params;
    Params.CheckHandles = true;
    Params.FileName = File;
    Ref = new TqdDXFConverter(Params);
    Ref->FOwnerConverter = C;
    Ref->FContainerXref = X.get();
    // Nested xrefs are found and read the way this drawing's are.
    Ref->SetXRefLoader(L);
    Ref->SetXRefSearchPath(C->XRefSearchPath());
    Ref->OnXRefResolve = C->OnXRefResolve;
    bool Ok = false;
    {
      std::lock_guard<std::mutex> Lock(GLoadingLock);
      GLoadingXRefs.push_back(Key);
    }
    try {
      Ok = L.Load(*Ref, File);
    } catch (...) {
      Ok = false;
    }
    {
      std::lock_guard<std::mutex> Lock(GLoadingLock);
      auto It = std::find(GLoadingXRefs.rbegin(), GLoadingXRefs.rend(), Key);
      if (It != GLoadingXRefs.rend()) GLoadingXRefs.erase(std::next(It).base());
    }
    if (!Ok) {
      Ref->FContainerXref = nullptr;
      Ref->FOwnerConverter = nullptr;
      Ref->Release();
      C->AddWarning("Xref \"" + Path + "\" could not be read");
      return;
    }
  }
  X->SetXRefConverter(Ref);
  TqdDXFXref* Raw = X.get();
  if (TqdDXFGroupEntity::InsertEntity(Count(), std::move(X)) < 0) return;
  C->Loads(Raw);
}

// ---------------------------------------------------------------- walk path

bool TqdBlockPath::Enter(const TqdDXFBlock* B) {
  if (!B || static_cast<int>(FPath.size()) >= cnstMaxNestingDepth) return false;
  if (std::find(FPath.begin(), FPath.end(), B) != FPath.end()) return false;
  FPath.push_back(B);
  return true;
}

void TqdBlockPath::Leave(const TqdDXFBlock* B) {
  if (!FPath.empty() && FPath.back() == B) FPath.pop_back();
}

// ---------------------------------------------------------------- record

TqdDXFBlockRecord::TqdDXFBlockRecord() : FPendingBlock(new TqdDXFBlock(TqdDXFBlock::TAdopt{}, this)) {
  FBlock = FPendingBlock.get();
}

TqdDXFBlockRecord::TqdDXFBlockRecord(TAdopt, TqdDXFBlock* ABlock) : FBlock(ABlock) {}

TqdDXFBlockRecord::~TqdDXFBlockRecord() = default;

void TqdDXFBlockRecord::SetNameUnchecked(std::string_view AName) {
  TqdDXFEntity* BlocksOwner = FBlock ? FBlock->Owner() : nullptr;
  if (BlocksOwner) BlocksOwner->IndexRemove(FBlock);
  TqdDXFPenTableItem::SetNameUnchecked(AName);
  if (BlocksOwner) BlocksOwner->IndexAdd(FBlock);
}

int TqdDXFBlockRecord::Count() const { return FBlock ? FBlock->Count() : 0; }
TqdDXFEntity* TqdDXFBlockRecord::GetEntity(int Index) const {
  return FBlock ? FBlock->GetEntity(Index) : nullptr;
}
int TqdDXFBlockRecord::InsertEntity(int Index, std::unique_ptr<TqdDXFEntity> E) {
  return FBlock ? FBlock->InsertEntity(Index, std::move(E)) : -1;
}
std::unique_ptr<TqdDXFEntity> TqdDXFBlockRecord::DeleteEntity(int Index) {
  return FBlock ? FBlock->DeleteEntity(Index) : nullptr;
}
void TqdDXFBlockRecord::ExchangeEntity(int I, int J) {
  if (FBlock) FBlock->ExchangeEntity(I, J);
}
int TqdDXFBlockRecord::IndexOfEntity(const TqdDXFEntity* E) const {
  return FBlock ? FBlock->IndexOfEntity(E) : -1;
}
int TqdDXFBlockRecord::IndexOfName(std::string_view AName) const {
  return FBlock ? FBlock->IndexOfName(AName) : -1;
}

// ---------------------------------------------------------------- BLOCK_RECORD view

TqdDXFBlockRecords::TqdDXFBlockRecords() { FNamedItem.FName = "BLOCK_RECORD"; }

TqdDXFGroup* TqdDXFBlockRecords::Blocks() const {
  TqdDXFConverter* C = Converter();
  return C ? dynamic_cast<TqdDXFGroup*>(C->GetSection(csBlocks)) : nullptr;
}

int TqdDXFBlockRecords::Count() const {
  const TqdDXFGroup* B = Blocks();
  return B ? B->Count() : 0;
}

TqdDXFEntity* TqdDXFBlockRecords::GetEntity(int Index) const {
  const TqdDXFGroup* B = Blocks();
  const auto* Block = B ? dynamic_cast<const TqdDXFBlock*>(B->GetEntity(Index)) : nullptr;
  return Block ? Block->BlockRecord() : nullptr;
}

int TqdDXFBlockRecords::InsertEntity(int Index, std::unique_ptr<TqdDXFEntity> E) {
  auto* R = dynamic_cast<TqdDXFBlockRecord*>(E.get());
  if (!R) return -1;
  if (!R->FPendingBlock) {
    (void)E.release();  // its block owns it already
    return -1;
  }
  TqdDXFGroup* B = Blocks();
  if (!B) return -1;
  std::unique_ptr<TqdDXFBlock> Block = std::move(R->FPendingBlock);
  Block->FOwnedRecord.reset(static_cast<TqdDXFBlockRecord*>(E.release()));
  return B->InsertEntity(Index, std::move(Block));
}

int TqdDXFBlockRecords::IndexOfEntity(const TqdDXFEntity* E) const {
  const auto* R = dynamic_cast<const TqdDXFBlockRecord*>(E);
  const TqdDXFGroup* B = Blocks();
  return (R && B) ? B->IndexOfEntity(R->Block()) : -1;
}

int TqdDXFBlockRecords::IndexOfName(std::string_view AName) const {
  const TqdDXFGroup* B = Blocks();
  return B ? B->IndexOfName(AName) : -1;
}

TqdDXFEntity* TqdDXFBlockRecords::FindEntByName(std::string_view AName) const {
  const TqdDXFGroup* B = Blocks();
  const auto* Block = B ? dynamic_cast<const TqdDXFBlock*>(B->FindEntByName(AName)) : nullptr;
  return Block ? Block->BlockRecord() : nullptr;
}
