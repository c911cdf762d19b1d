#pragma once
// What every reader shares once its own format is read: the state the completing
// passes need (the space blocks, layouts and the block records they name, the active
// viewport, the root dictionary) and the passes themselves, in the order a drawing is
// completed: root dictionary, the converter's own dictionaries, standard table items,
// standard dictionaries, space blocks, layouts built and ordered, links resolved,
// everything loaded, handles issued and entities sorted.
//
// A reader derives from TqdDrawingLoader, fills the fields while it reads and calls
// Complete() once at the end, whether the read ended well or not.
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "DXFConv.h"

class TqdDrawingLoader {
 public:
  explicit TqdDrawingLoader(TqdDXFConverter* AConverter) : FConverter(AConverter) {}
  TqdDrawingLoader(const TqdDrawingLoader&) = delete;
  TqdDrawingLoader& operator=(const TqdDrawingLoader&) = delete;
  virtual ~TqdDrawingLoader() = default;

  TqdDXFConverter* Converter() const { return FConverter; }
  // Warnings by text: "text", or "text (N)" when met N times; then one "TYPE: N not
  // drawn" per entity type read but not drawn.
  std::vector<std::string> Warnings() const;
  void Warn(const std::string& AKey);
  // An entity of this type was read (or skipped) but is not drawn.
  void NoteNotDrawn(std::string_view AType, int ACount = 1);
  // StopLoading was called on the converter.
  bool Stopped() const { return FConverter->LoadingStopped(); }

  // Adds E to AOwner unless that would close a cycle, nest too deep or E is owned;
  // true when added. A refusing container frees the item: Forget is told first.
  bool SafeAdd(TqdDXFEntity* AOwner, std::unique_ptr<TqdDXFEntity>& E);
  TqdDXFAppID* GetAppIDEnt(std::string_view AName);
  // Remembers the first "*Model_Space" and "*Paper_Space" blocks met.
  void NoteBlock(TqdDXFBlock* B);
  // Makes the space blocks that were not read (and the block record table).
  void EnsureSpaceBlocks();

  // ---- completing passes (Complete runs them all)
  // AEnd is the end of the data, for the converter's loading state.
  void Complete(std::size_t AEnd);
  void MakeRootDictionary();
  void DropOwnDictionaries();
  void EnsureStandardItems();
  void TakeStandardDictionaries();
  void MakeLayouts();
  void FileApplications();
  // Puts the entities of every block that has a sort table (SORTENTSTABLE) in the
  // drawing's own draw order.
  void ApplySortTables();
  // Warns of hatches whose pattern stopped at a generation limit.
  void NoteHatchFallbacks();
  // Takes the converter's own dictionaries aside before the file's objects arrive.
  void NoteOwnDictionaries();

 protected:
  // E is about to be freed: the reader must forget every pointer to it.
  virtual void Forget(const TqdDXFEntity* E) {}
  // The finishing passes are loading entities: a reader reports progress here.
  virtual void FinishingTick() {}

  TqdDXFConverter* FConverter;
  TqdDXFDictionary* FNamedObjects = nullptr;
  std::unordered_map<std::uint64_t, TqdDXFBlockRecord*> FBlockRecordsByHandle;
  // Layouts and the handle of the block record that holds their entities.
  std::vector<std::pair<TqdDXFLayout*, std::uint64_t>> FLayoutBlocks;
  TqdDXFBlock* FModelSpace = nullptr;
  TqdDXFBlock* FPaperSpace = nullptr;
  TqdDXFVport* FActiveVPort = nullptr;
  TqdDXFEntity* FOwnDictionaries[2] = {};
  bool FReadObjects = false;  // the file had non-graphical objects
  std::set<std::string> FAppNames;

 private:
  std::map<std::string, int> FWarnings;
  std::map<std::string, int> FNotDrawn;
};

// "*MODEL_SPACE" for "*Model_Space0" and the like: the name a space block goes by.
std::string SpaceBlockName(std::string_view AName);
