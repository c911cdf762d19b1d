#pragma once
// The per-type group-code mapping of the DXF reader: which codes each object keeps and
// which attributes of its database item they set. The generic reader objects of DXF.cpp
// hand every group to the object's mapper and call it once at the commit, after the
// steps common to all items (handle, layer, linetype, colour, lineweight).
#include <cstdint>
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class TdxfReader;
class TqdDXFEntity;

// Reader objects and mappers live for one object of the file each, and many are too
// large for the allocator's fast path: their blocks are kept for the next object,
// by size, per thread.
void* DXFTakeBlock(std::size_t N);
void DXFGiveBlock(void* P, std::size_t N) noexcept;

class TdxfMapper {
public:
  virtual ~TdxfMapper() = default;
  static void* operator new(std::size_t N) { return DXFTakeBlock(N); }
  static void operator delete(void* P, std::size_t N) noexcept { DXFGiveBlock(P, N); }
  // One group of the object (the reader's current group), before the generic storage.
  virtual void Property(TdxfReader& R) = 0;
  // Before the commit: an item of another class to read into instead (array inserts).
  virtual std::unique_ptr<TqdDXFEntity> Replacement() { return nullptr; }
  // After the common commit steps: the type's own attributes.
  virtual void Commit(TdxfReader& R, TqdDXFEntity& E) = 0;
};

// The mapper of an object of DXF name AName read into AItem (null when the generic
// reading is all the type needs).
std::unique_ptr<TdxfMapper> CreateDXFMapper(std::string_view AName, TqdDXFEntity* AItem);
// The same in two steps, for readers that remember the kind of each name they met.
int DXFMapperKind(std::string_view AName);
std::unique_ptr<TdxfMapper> CreateDXFMapperOfKind(int AKind, std::string_view AName,
                                                  TqdDXFEntity* AItem);

// Mappers of multileaders, their styles, underlays and their definitions
// (DXFAnnotations.cpp); null for other items.
std::unique_ptr<TdxfMapper> CreateDXFAnnotationMapper(std::string_view AName, TqdDXFEntity* AItem);

// Installs what the mapping needs process-wide (the DXF xref loader).
void RegisterDXFMapping();

// A mapper kept by hand because the object's groups are not a plain field list
// (DXFMapperList.cpp): the DXF names it serves (space separated; "*" the steps every
// object takes), why, and the group codes it applies that no class row holds.
struct TqdDXFHandMapper {
  std::string_view Names;
  std::string_view Reason;
  std::vector<int> Codes;
};
const std::vector<TqdDXFHandMapper>& DXFHandWrittenMappers();
// The codes the hand-written mappers apply to an object of DXF name AName.
std::vector<int> DXFHandWrittenCodes(std::string_view AName);
