#include "Objects.h"

#include <string>

#include "Blocks.h"
#include "DXFConv.h"
#include "TableItems.h"
#include "qdFunction.h"

TqdDXFLayout::TqdDXFLayout() : FPlotSettings(std::make_unique<TqdDXFPlotSettings>()) {
  FNamedItem.FName = cnstModelLayoutName;
}

TqdDXFLayout::~TqdDXFLayout() {
  if (FPaperSpaceBlock) FPaperSpaceBlock->SetLayout(nullptr);
}

void TqdDXFLayout::SetPaperSpaceBlock(TqdDXFBlock* B) {
  if (B == FPaperSpaceBlock) return;
  if (FPaperSpaceBlock) FPaperSpaceBlock->SetLayout(nullptr);
  FPaperSpaceBlock = B;
  if (B) {
    if (TqdDXFLayout* Other = B->Layout(); Other && Other != this) Other->ForgetBlock(B);
    B->SetLayout(this);
  }
}

int TqdDXFLayout::Index() const {
  const TqdDXFConverter* C = Converter();
  if (!C) return -1;
  for (int I = 0; I < C->LayoutsCount(); ++I)
    if (C->GetLayout(I) == this) return I;
  return -1;
}

TqdDXFBlock* TqdDXFLayout::PaperSpaceBlock() {
  if (FPaperSpaceBlock) return FPaperSpaceBlock;
  TqdDXFConverter* C = Converter();
  if (!C) return nullptr;
  TqdDXFEntity* Blocks = C->GetOrCreateSection(csBlocks);
  if (!Blocks) return nullptr;
  const int I = Index();
  std::string BlockName;
  if (I == 0)
    BlockName = cnstModelSpaceName;
  else if (I == 1)
    BlockName = cnstPaperSpaceName;
  else if (I >= 2)
    BlockName = std::string(cnstPaperSpaceName) + std::to_string(I - 2);
  else
    BlockName = "*[" + Name() + "]";
  auto* B = dynamic_cast<TqdDXFBlock*>(C->NewNamedEntity(Blocks, ClassOf<TqdDXFBlock>(), BlockName));
  if (!B) return nullptr;
  C->CheckEntityHandle(B);
  C->CheckEntityHandle(B->BlockRecord());
  SetPaperSpaceBlock(B);
  return B;
}

int TqdDXFLayout::Count() const { return FPaperSpaceBlock ? FPaperSpaceBlock->Count() : 0; }

TqdDXFEntity* TqdDXFLayout::GetEntity(int Index) const {
  return FPaperSpaceBlock ? FPaperSpaceBlock->GetEntity(Index) : nullptr;
}

int TqdDXFLayout::InsertEntity(int Index, std::unique_ptr<TqdDXFEntity> E) {
  TqdDXFBlock* B = PaperSpaceBlock();
  return B ? B->InsertEntity(Index, std::move(E)) : -1;
}

std::unique_ptr<TqdDXFEntity> TqdDXFLayout::DeleteEntity(int Index) {
  return FPaperSpaceBlock ? FPaperSpaceBlock->DeleteEntity(Index) : nullptr;
}

int TqdDXFLayout::IndexOfEntity(const TqdDXFEntity* E) const {
  return FPaperSpaceBlock ? FPaperSpaceBlock->IndexOfEntity(E) : -1;
}

int TqdDXFLayout::IndexOfName(std::string_view AName) const {
  return FPaperSpaceBlock ? FPaperSpaceBlock->IndexOfName(AName) : -1;
}

namespace {

bool LayerShows(const TqdDXFLayer* L) { return !L || (L->Visible() && !L->Frozen()); }

// An insert on a layer that is off (not frozen) still counts when its block shows
// something.
bool InsertShowsSomething(const TqdDXFEntity* E) {
  const TqdDXFEntity* B = E->InsertBlock();
  if (!B) return false;
  for (int I = 0; I < B->Count(); ++I) {
    const TqdDXFEntity* Child = B->GetEntity(I);
    const TqdDXFLayer* L = Child ? Child->Layer() : nullptr;
    if (Child && LayerShows(L) && !(L && L->FrozenByViewPort())) return true;
  }
  return false;
}

}  // namespace

void TqdDXFLayout::Loaded(TqdDXFConverter* C) {
  TqdDXFOwneredItem::Loaded(C);
  FBox = cnstBadRect;
  if (!FPaperSpaceBlock) return;
  FPaperSpaceBlock->SetIsLoaded(false);
  for (int I = 0; I < FPaperSpaceBlock->Count(); ++I) {
    const TqdDXFEntity* E = FPaperSpaceBlock->GetEntity(I);
    if (!E) continue;
    const TqdCADEntities T = E->EntType();
    // Rays and construction lines are infinite; their clipped part is added by the
    // curve unit once it exists.
    if (T == ceRay || T == ceXline || T == ceEntity) continue;
    if (T == cePoint && C && C->PointDisplayMode() == 1) continue;
    if (!E->Visibility()) continue;
    if (T != ceViewport) {
      const TqdDXFLayer* L = E->Layer();
      if (!LayerShows(L)) {
        const bool Keep = E->IsInsert() && L && !L->Frozen() && InsertShowsSomething(E);
        if (!Keep) continue;
      }
    }
    UnionBoxes(FBox, E->Box());
  }
}

void TqdDXFLayout::AssignEntity(const TqdDXFEntity& Source) {
  TqdDXFOwneredItem::AssignEntity(Source);
  if (const auto* S = dynamic_cast<const TqdDXFLayout*>(&Source)) {
    FBox = S->FBox;
    FCADSpace = S->FCADSpace;
    FRotMatrix = S->FRotMatrix;
    FRotZAngle = S->FRotZAngle;
    FUCSOrigin = S->FUCSOrigin;
    FUCSXDir = S->FUCSXDir;
    FUCSYDir = S->FUCSYDir;
  }
}

void TqdDXFSortEntsTable::ResolveLinks(TqdDXFConverter* C) {
  TqdDXFOwneredItem::ResolveLinks(C);
  TqdLinkObject* L = FBlockItem.Link();
  if (!L || !C) return;
  TqdDXFEntity* Found = nullptr;
  if (TqdDXFEntity* Table = C->GetSection(csBlockRecords)) Found = L->GetObject(Table);
  FBlockItem.ClearLink();
  if (auto* R = dynamic_cast<TqdDXFBlockRecord*>(Found))
    FBlockItem.SetItem(R->Block());
  else
    FBlockItem.SetItem(dynamic_cast<TqdDXFBlock*>(Found));
}
