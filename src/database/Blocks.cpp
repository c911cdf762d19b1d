#include "Blocks.h"

#include "DXFConv.h"
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

void TqdDXFBlock::Loaded(TqdDXFConverter* C) {
  TqdDXFGroupEntity::Loaded(C);
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
