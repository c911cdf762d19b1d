#pragma once
// What the parts of the DXF writer share: the output, the handles given out and the
// warnings gathered. Only the writer's own files include it.
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "DXFOutput.h"
#include "DXFBase.h"
#include "DXFWriter.h"

class TqdDXFConverter;
class TqdDXFEntity;
class TqdDXFBlock;
class TqdDXFDictionary;

namespace dxfw {

// Thrown to stop the write when the progress callback cancels.
struct TCancelled {};

struct TContext {
  TContext(const TqdDXFConverter& AC, TqdDXFOutput& AOut, const TqdDXFWriteOptions& AOptions)
      : C(AC), Out(AOut), Rel(AOptions.Release), Progress(AOptions.Progress) {}

  const TqdDXFConverter& C;
  TqdDXFOutput& Out;
  TqdDWGVersion Rel;
  std::function<bool(int)> Progress;

  // ---- handles: an item keeps its own when it is unique, else gets a fresh one; only
  // the items given a fresh one are listed.
  std::unordered_map<const TqdDXFEntity*, std::uint64_t> Fresh;
  std::uint64_t Next = 1;
  std::uint64_t Seed = 1;  // $HANDSEED: above every handle written
  std::uint64_t H(const TqdDXFEntity* E) const {
    if (!E) return 0;
    if (!Fresh.empty()) {
      auto It = Fresh.find(E);
      if (It != Fresh.end()) return It->second;
    }
    return E->Handle();
  }
  std::uint64_t NewHandle() { return Next++; }
  // Extension dictionaries and the item that owns each.
  std::unordered_map<const TqdDXFEntity*, const TqdDXFEntity*> DictOwner;
  // The block record handle of a block (the block's own when it has no record).
  std::unordered_map<const TqdDXFBlock*, std::uint64_t> RecordOf;
  // Blocks read without a block record: written with one made for them.
  std::vector<const TqdDXFBlock*> RecordlessBlocks;
  // Underlay definitions and the object type their underlays give them.
  std::unordered_map<const TqdDXFEntity*, std::string> UnderlayDefinitionTypes;
  std::uint64_t RootDictionary = 0;
  std::uint64_t BlockRecordTable = 0;
  std::uint64_t LayoutOf(const TqdDXFBlock* B) const;
  std::unordered_map<const TqdDXFBlock*, std::uint64_t> LayoutHandles;

  // ---- warnings, counted per kind
  std::map<std::string, int> WarnCounts;
  void Warn(const std::string& S) { ++WarnCounts[S]; }

  // ---- progress over the entities written
  std::uint64_t Total = 1, Done = 0;
  void Step() {
    ++Done;
    if ((Done & 1023) == 0) Report();
  }
  // Reports the share written; a false answer cancels.
  void Report() {
    if (!Progress) return;
    const int P = static_cast<int>(Done * 100 / (Total ? Total : 1));
    if (!Progress(P > 99 ? 99 : P)) throw TCancelled{};
  }

  // The model space block and the first paper space's block.
  const TqdDXFBlock* ModelBlock = nullptr;
  const TqdDXFBlock* PaperBlock = nullptr;
  // Entities of the first paper space: written with the paper space flag.
  bool InPaper = false;

  bool R13() const { return Rel >= acR13; }
  bool R2000() const { return Rel >= acR2000; }
  bool R2004() const { return Rel >= acR2004; }
  // Subclass markers only from R13.
  void Marker(const char* M) {
    if (R13()) Out.Str(100, M);
  }
};

// The common groups that open every item: type, handle, extension dictionary,
// owner. AHandleCode 105 for dimension styles.
void WriteHead(TContext& X, const char* AType, const TqdDXFEntity& E, std::uint64_t AOwner, int AHandleCode = 5);
// The extended data of E, every application.
void WriteExtendedData(TContext& X, const TqdDXFEntity& E);
// E's groups from its class rows, each subclass marker before its rows, in class order.
// ASkip: codes a hand-written part writes instead. ALastMarker: the marker written
// last (a marker is not repeated).
void WriteRows(TContext& X, const TqdDXFEntity& E, std::initializer_list<int> ASkip, const char*& ALastMarker);
// An integer, double or point row of E by attribute id, as its row reads it.
bool ReadRow(const TqdDXFEntity& E, int AId, double& AValue);

// Sections.
void WriteTables(TContext& X);
void WriteBlocks(TContext& X);
void WriteEntities(TContext& X);
void WriteObjects(TContext& X);
// One graphical entity (with its vertices or attributes and SEQEND) owned by AOwner.
void WriteEntity(TContext& X, const TqdDXFEntity& E, std::uint64_t AOwner);
// The DXF type E is written as ("" when it cannot be written).
const char* EntityTypeName(const TContext& X, const TqdDXFEntity& E);

std::string LayerName(const TqdDXFEntity& E);
// A block's name as written: R12's $MODEL_SPACE and $PAPER_SPACE take the later '*' form.
std::string BlockName(const TContext& X, const TqdDXFEntity& B);
// "ANSI_1252" for 1252.
std::string CodePageName(int ACodePage);

}  // namespace dxfw
