#pragma once
// Blocks, their records, and the BLOCK_RECORD table that is a view over BLOCKS.
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

#include "DXFBase.h"

class TqdDXFBlockRecord;
class TqdDXFLayout;

class TqdDXFInsert;
class TqdDXFViewport;
class TqdDXFXref;

// Block-type flags (DXF 70 of BLOCK).
inline constexpr int cnstBlockAnonymous = 1;
inline constexpr int cnstBlockHasAttributes = 2;
inline constexpr int cnstBlockXRef = 4;
inline constexpr int cnstBlockXRefOverlay = 8;
inline constexpr int cnstBlockXRefResolved = 32;

class TqdDXFBlock : public TqdDXFGroupEntity {
  QD_ENTITY_CLASS(TqdDXFBlock)
public:
  // A block and its record are made together; the block owns the record.
  TqdDXFBlock();
  // Detaches the layout and clears the block link of every insert that uses it.
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
  // The xref item's path when none was set.
  std::string XrefPath() const;
  void SetXrefPath(std::string_view P) { FXrefPath.assign(P); }
  TqdDXFXref* Xref() const { return FXref; }
  // The inserts that link this block (each once, the latest first).
  std::vector<TqdDXFInsert*> References() const;
  std::size_t ReferenceCount() const { return FReferenceCount; }
  // Internal flag bit 0: the block's entities are loaded.
  bool IsLoaded() const { return (FInternalFlags & 1) != 0; }
  void SetIsLoaded(bool V) { FInternalFlags = V ? (FInternalFlags | 1) : (FInternalFlags & ~1); }
  // Internal flag bit 2: the block is measuring itself; on-demand loads skip it, which
  // ends cycles of blocks that insert each other.
  bool IsLoading() const { return (FInternalFlags & 4) != 0; }
  void SetIsLoading(bool V) { FInternalFlags = V ? (FInternalFlags | 4) : (FInternalFlags & ~4); }

  bool IsBlockByXRef() const { return (FFlag & (cnstBlockXRef | cnstBlockXRefResolved)) != 0; }
  bool IsBlockXrefOverlay() const { return (FFlag & cnstBlockXRefOverlay) != 0; }
  bool IsBlockIntetnal() const;
  bool IsModalSpaceBlock() const;
  bool IsAcadTableBlock() const;

  // Refused once the block is loaded, unless it is a layout's block.
  int InsertEntity(int Index, std::unique_ptr<TqdDXFEntity> E) override;
  // Children freed, not loaded, bad box, no xref, flag 2 cleared.
  void Clear(bool ADoFree) override;
  void ListNotify(TqdDXFEntity* E, TListNotification Action) override;
  // Boxes of the visible children; inserts load their blocks first (skipping blocks
  // that are being loaded), attribute definitions count only when they show.
  void UpdateBox() override;
  // Xref resolution, attribute flag, box, loaded mark, record.
  void Loaded(TqdDXFConverter* C) override;
  void AssignEntity(const TqdDXFEntity& Source) override;

  // ---- paper-space viewport bookkeeping
  // Numbers a viewport that became a child; the smallest handle holds the lowest ordinal.
  void NumberViewport(TqdDXFViewport* V);
  TqdDXFViewport* ViewPortWithMinIndex() const { return FViewPortWithMinIndex; }

private:
  friend class TqdDXFBlockRecord;
  friend class TqdDXFBlockRecords;
  friend class TqdDXFInsert;
  struct TAdopt {};
  TqdDXFBlock(TAdopt, TqdDXFBlockRecord* ARecord);
  void AddReference(TqdDXFInsert* I);
  void RemoveReference(TqdDXFInsert* I);
  void UpdateAttributeFlag();
  void LoadXref(TqdDXFConverter* C);
  TqdDXFBlockRecord* FBlockRecord = nullptr;
  std::unique_ptr<TqdDXFBlockRecord> FOwnedRecord;
  TFPoint FOffset;
  TqdDXFLayout* FLayout = nullptr;
  std::string FXrefPath;
  TqdDXFXref* FXref = nullptr;
  // The inserts linking the block, chained through the inserts themselves: a drawing
  // of many inserts adds and drops them without an allocation or a hash each.
  TqdDXFInsert* FFirstReference = nullptr;
  std::size_t FReferenceCount = 0;
  int FViewPortOrdIndex = -1;
  TqdDXFViewport* FViewPortWithMinIndex = nullptr;
  // An attribute definition was ever added: without one the flag needs no scan.
  bool FHadAttdef = false;
};

// The blocks on the path of one walk through inserts (drawing, measuring). A block
// met again on its own path is skipped there: the insert keeps its block, the walk
// just does not enter it twice. The path is also capped in depth.
class TqdBlockPath {
public:
  // False when B is already on the path or the path is cnstMaxNestingDepth deep.
  bool Enter(const TqdDXFBlock* B);
  void Leave(const TqdDXFBlock* B);
  int Depth() const { return static_cast<int>(FPath.size()); }

private:
  std::vector<const TqdDXFBlock*> FPath;
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
