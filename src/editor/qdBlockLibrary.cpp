#include "qdBlockLibrary.h"

#include <cmath>
#include <cstdio>

#include "CADImage.h"
#include "Inserts.h"
#include "qdFunction.h"
#include "TableItems.h"
#include "qdDrawingNavigator.h"

namespace {

// One counter for the whole program: names of library blocks never repeat
// while it runs (an object's address could, once it is freed).
unsigned& BlockCounter() {
  static unsigned N = 0;
  return N;
}

}  // namespace

std::unique_ptr<TqdDXFEntity> qdCopyEntity(const TqdDXFEntity& E) {
  std::unique_ptr<TqdDXFEntity> C = E.NewInstance();
  C->AssignEntity(E);
  if (auto* I = dynamic_cast<TqdDXFInsert*>(C.get()))
    if (const auto* S = dynamic_cast<const TqdDXFInsert*>(&E)) I->CopyAttributes(*S);
  return C;
}

TqdBlockLibrary::TqdBlockLibrary() = default;
TqdBlockLibrary::~TqdBlockLibrary() { Clear(); }

TqdCADImage* TqdBlockLibrary::Img() const { return FDNavigator ? FDNavigator->CADImage() : nullptr; }

TqdDXFConverter* TqdBlockLibrary::Converter() const {
  TqdCADImage* I = Img();
  return I ? I->Converter() : nullptr;
}

void TqdBlockLibrary::Clear() { FBlockList.clear(); }

const TqdDXFBlock* TqdBlockLibrary::Block(int Index) const {
  return Index >= 0 && Index < Count() ? FBlockList[static_cast<std::size_t>(Index)].get() : nullptr;
}

std::vector<std::string> TqdBlockLibrary::Names() const {
  std::vector<std::string> R;
  for (const auto& B : FBlockList) R.push_back(B->Name());
  return R;
}

std::vector<std::string> TqdBlockLibrary::Captions() const {
  std::vector<std::string> R;
  for (const auto& B : FBlockList) {
    const int N = B->Count();
    R.push_back(B->Name() + " \u2014 " + std::to_string(N) + (N == 1 ? " entity" : " entities"));
  }
  return R;
}

std::string TqdBlockLibrary::NextName() { return "Copy " + std::to_string(++BlockCounter()); }

TFPoint qdLowerLeft(const std::vector<TqdDXFEntity*>& Entities) {
  TFRect Box = cnstBadRect;
  for (const TqdDXFEntity* E : Entities)
    if (E && !IsBadBox(E->Box())) UnionBoxes(Box, E->Box());
  if (IsBadBox(Box)) return {0, 0, 0};
  return {std::min(Box.Left, Box.Right), std::min(Box.Top, Box.Bottom), 0};
}

TqdDXFBlock* TqdBlockLibrary::CopyAsBlock(const std::vector<TqdDXFEntity*>& Entities) {
  if (Entities.empty()) return nullptr;
  auto B = std::make_unique<TqdDXFBlock>();
  B->SetName(NextName());
  // The copy keeps world coordinates; its base point is where the selection
  // starts, so that a paste puts that corner at the point typed.
  B->SetOffset(qdLowerLeft(Entities));
  for (const TqdDXFEntity* E : Entities)
    if (E) B->AddEntity(qdCopyEntity(*E));
  FBlockList.push_back(std::move(B));
  return FBlockList.back().get();
}

TqdDXFInsert* TqdBlockLibrary::PasteAsBlock(int Index, float Y, float X) {
  TqdCADImage* I = Img();
  TqdDXFConverter* C = Converter();
  TqdDXFBlock* Model = C ? C->ModelSpace() : nullptr;
  TqdDXFEntity* Blocks = C ? C->GetOrCreateSection(csBlocks) : nullptr;
  if (!I || !Model || !Blocks || Index < 0 || Index >= Count()) return nullptr;
  if (!std::isfinite(X) || !std::isfinite(Y)) return nullptr;
  C->GetOrCreateSection(csBlockRecords);
  std::unique_ptr<TqdDXFBlock> Owned = std::move(FBlockList[static_cast<std::size_t>(Index)]);
  FBlockList.erase(FBlockList.begin() + Index);
  TqdDXFBlock* B = Owned.get();
  // Block names are unique in a drawing (without regard to case), and a file may
  // hold names of this very form.
  while (C->BlockByName(B->Name())) B->SetName(NextName());
  for (int K = 0; K < B->Count(); ++K)
    if (TqdDXFEntity* E = B->GetEntity(K)) {
      C->DoCreate(E);
      C->Loads(E);
    }
  C->DoCreate(B);
  B->SetConverter(C);
  if (Blocks->AddEntity(std::move(Owned)) < 0) return nullptr;
  C->CheckEntityHandle(B->BlockRecord());
  C->Loads(B);
  auto Ref = std::make_unique<TqdDXFInsert>();
  TqdDXFInsert* R = Ref.get();
  C->DoCreate(R);
  R->SetBlock(B);
  R->SetPoint({X, Y, 0});
  // On the layer new entities go to.
  if (TqdDXFLayer* L = C->LayerByName(C->HeadVarStruct().CLayer)) R->SetLayer(L);
  if (Model->AddEntity(std::move(Ref)) < 0) return nullptr;
  C->Loads(R);
  // The model layout's box is the drawing's extents: it takes the new reference.
  if (TqdDXFLayout* L = C->GetLayout(0)) {
    TFRect Box = L->Box();
    UnionBoxes(Box, R->Box());
    L->SetBox(Box);
  }
  I->GetExtents();
  if (FDNavigator) FDNavigator->Invalidate();
  return R;
}
