#pragma once
// Blocks, their records, and the BLOCK_RECORD table that is a view over BLOCKS.
#include <memory>
#include <string>

#include "DXFBase.h"

class TqdDXFBlockRecord;
class TqdDXFLayout;

class TqdDXFBlock : public TqdDXFGroupEntity {
  QD_ENTITY_CLASS(TqdDXFBlock)
public:
  // A block and its record are made together; the block owns the record.
  TqdDXFBlock();
  ~TqdDXFBlock() override;

  TqdDXFBlockRecord* BlockRecord() const { return FBlockRecord; }
  // Name and description live in the record.
  std::string Name() const override;
  void SetName(std::string_view AName) override;
  std::string Description() const;
  void SetDescription(std::string_view V);
  TFPoint Offset() const { return FOffset; }
  void SetOffset(const TFPoint& P);
  TqdDXFLayout* Layout() const { return FLayout; }
  void SetLayout(TqdDXFLayout* L) { FLayout = L; }
  bool SpecPaperSpace() const { return FLayout != nullptr; }
  std::string XrefPath() const { return FXrefPath; }
  void SetXrefPath(std::string_view P) { FXrefPath.assign(P); }
  // Internal flag bit 0: the block's entities are loaded.
  bool IsLoaded() const { return (FInternalFlags & 1) != 0; }
  void SetIsLoaded(bool V) { FInternalFlags = V ? (FInternalFlags | 1) : (FInternalFlags & ~1); }
  // Computes the box and loads the record.
  void Loaded(TqdDXFConverter* C) override;
  void AssignEntity(const TqdDXFEntity& Source) override;

private:
  friend class TqdDXFBlockRecord;
  friend class TqdDXFBlockRecords;
  struct TAdopt {};
  TqdDXFBlock(TAdopt, TqdDXFBlockRecord* ARecord);
  TqdDXFBlockRecord* FBlockRecord = nullptr;
  std::unique_ptr<TqdDXFBlockRecord> FOwnedRecord;
  TFPoint FOffset;
  TqdDXFLayout* FLayout = nullptr;
  std::string FXrefPath;
};

class TqdDXFBlockRecord : public TqdDXFPenTableItem {
  QD_ENTITY_CLASS(TqdDXFBlockRecord)
public:
  // A record made on its own makes its block, which it holds until the record enters
  // the BLOCK_RECORD table (the block then goes to BLOCKS and owns the record).
  TqdDXFBlockRecord();
  ~TqdDXFBlockRecord() override;

  TqdDXFBlock* Block() const { return FBlock; }
  std::string Description() const { return FDescription; }
  void SetDescription(std::string_view V) { FDescription.assign(V); }
  // The record's child operations are the block's.
  int Count() const override;
  TqdDXFEntity* GetEntity(int Index) const override;
  int InsertEntity(int Index, std::unique_ptr<TqdDXFEntity> E) override;
  std::unique_ptr<TqdDXFEntity> DeleteEntity(int Index) override;
  void ExchangeEntity(int I, int J) override;
  int IndexOfEntity(const TqdDXFEntity* E) const override;
  int IndexOfName(std::string_view AName) const override;

private:
  friend class TqdDXFBlock;
  friend class TqdDXFBlockRecords;
  struct TAdopt {};
  TqdDXFBlockRecord(TAdopt, TqdDXFBlock* ABlock);
  TqdDXFBlock* FBlock = nullptr;
  std::unique_ptr<TqdDXFBlock> FPendingBlock;
  std::string FDescription;

public:
  // Re-files the block in BLOCKS' name index.
  void SetNameUnchecked(std::string_view AName) override;
};

// The BLOCK_RECORD table: stores nothing; item i is the record of block i of BLOCKS.
class TqdDXFBlockRecords : public TqdDXFTable {
  QD_ENTITY_CLASS(TqdDXFBlockRecords)
public:
  TqdDXFBlockRecords();
  std::string Name() const override { return "BLOCK_RECORD"; }
  void SetName(std::string_view) override {}
  int Count() const override;
  TqdDXFEntity* GetEntity(int Index) const override;
  // Adds the record's block to BLOCKS (refused without a converter or for a record
  // that already belongs to a block there).
  int InsertEntity(int Index, std::unique_ptr<TqdDXFEntity> E) override;
  std::unique_ptr<TqdDXFEntity> DeleteEntity(int Index) override { return nullptr; }
  void ExchangeEntity(int, int) override {}
  int IndexOfEntity(const TqdDXFEntity* E) const override;
  int IndexOfName(std::string_view AName) const override;
  TqdDXFEntity* FindEntByName(std::string_view AName) const override;
  void ResolveLinks(TqdDXFConverter* C) override {}
  void Clear(bool) override {}

private:
  TqdDXFGroup* Blocks() const;
};
