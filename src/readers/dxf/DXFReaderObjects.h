#pragma once
// The reader's objects (sections, tables, blocks, entities, objects) as DXF.cpp
// and DXFSections.cpp implement them; only those two include this.
#include <string_view>

#include "DXF.h"
#include "ExtData.h"

namespace dxfread {
// S without its leading blanks and trailing blanks and CR.
std::string_view Trimmed(std::string_view S);
inline bool SameText(std::string_view A, std::string_view B) { return SameNameText(A, B); }
inline bool IsGraphical(TdxfKind K) { return K == dkEntity || K == dkPolyline || K == dkInsert; }
inline bool IsObjectKind(TdxfKind K) { return K == dkDictionary || K == dkLayout || K == dkObject; }
}  // namespace dxfread

using dxfread::IsGraphical;
using dxfread::IsObjectKind;
using dxfread::SameText;
using dxfread::Trimmed;

// ---------------------------------------------------------------- reader objects

// Objects without an item of their own that only mark an end.
class TdxfSeqend : public TdxfObject {
public:
  using TdxfObject::TdxfObject;
  void Create() override {}
};

// A graphical entity: the generic groups, and the base point of the simplest types.
class TdxfEntity : public TdxfObject {
public:
  using TdxfObject::TdxfObject;
  // One of these lives and dies per entity of the file, and it is large enough for
  // the allocator's slow path (which first consolidates every small free chunk):
  // freed blocks are kept for the next entity instead.
  static void* operator new(std::size_t N);
  static void operator delete(void* P, std::size_t N);
  void ReadProperty() override;
  void Commit() override;
  bool IsEndMarker(std::string_view AName) const override { return SameText(AName, "SEQEND"); }
  bool AcceptsChild(std::string_view AName) const override {
    if (FKind == dkPolyline) return SameText(AName, "VERTEX");
    if (FKind == dkInsert) return SameText(AName, "ATTRIB");
    return false;
  }
  bool AddChild(TdxfObject& AChild) override;

  TFPoint FPoints[10] = {};
  double FElevation = 0, FZThick = 0;
  double FFloats[20] = {};
  bool FHasFloat[20] = {};
  int FInts[20] = {};
  bool FHasInt[20] = {};
  TFPoint FExtrusion{0, 0, 1};
  int FLineWeight = -1;
  bool FHasLineWeight = false;
  std::int64_t FRGB = -1;
};

class TdxfTableItem : public TdxfEntity {
public:
  using TdxfEntity::TdxfEntity;
  void Commit() override;
  bool AcceptsChild(std::string_view) const override { return false; }
};

class TdxfBlock : public TdxfEntity {
public:
  using TdxfEntity::TdxfEntity;
  void Create() override;
  void Commit() override;
  bool IsEndMarker(std::string_view AName) const override { return SameText(AName, "ENDBLK"); }
  bool IsOuterName(std::string_view AName) const override {
    return TdxfObject::IsOuterName(AName) || SameText(AName, "BLOCK");
  }
  bool AcceptsChild(std::string_view) const override { return true; }
  bool AddChild(TdxfObject& AChild) override;
};

class TdxfTable : public TdxfObject {
public:
  using TdxfObject::TdxfObject;
  void Create() override;
  void Commit() override;
  bool IsEndMarker(std::string_view AName) const override { return SameText(AName, "ENDTAB"); }
  bool IsOuterName(std::string_view AName) const override {
    return TdxfObject::IsOuterName(AName) || SameText(AName, "TABLE");
  }
  bool AddChild(TdxfObject& AChild) override;

private:
  std::string FTableName;  // upper-cased
  bool FKnown = false;
};

class TdxfObjectItem : public TdxfObject {
public:
  using TdxfObject::TdxfObject;
  void Commit() override;
};

class TdxfLayout : public TdxfObjectItem {
public:
  using TdxfObjectItem::TdxfObjectItem;
  void Commit() override;
  void Placed(TqdDXFEntity* AItem) override;
};

class TdxfDictionary : public TdxfObjectItem {
public:
  using TdxfObjectItem::TdxfObjectItem;
  void ReadProperty() override;
  void Commit() override;
  void Placed(TqdDXFEntity* AItem) override;

private:
  struct TEntry {
    std::string Name;
    std::uint64_t Handle;
    bool Hard;
  };
  std::vector<TEntry> FEntries;
  std::string FEntryName;
  bool FHardOwner = false;
};

// Sections read their children up to ENDSEC and keep no item of their own.
class TdxfSection : public TdxfObject {
public:
  using TdxfObject::TdxfObject;
  void Create() override {}
  bool IsEndMarker(std::string_view AName) const override { return SameText(AName, "ENDSEC"); }
  void Read() override {
    FComplex = true;
    TdxfObject::Read();
  }
};

class TdxfHeader : public TdxfSection {
public:
  using TdxfSection::TdxfSection;
  void ReadProperty() override;

private:
  std::string FVar;
};

class TdxfTables : public TdxfSection {
public:
  using TdxfSection::TdxfSection;
  void Create() override;
  bool AddChild(TdxfObject& AChild) override;
};

class TdxfBlocks : public TdxfSection {
public:
  using TdxfSection::TdxfSection;
  void Create() override;
};

class TdxfEntities : public TdxfSection {
public:
  using TdxfSection::TdxfSection;
  void Create() override { FReader.EnsureSpaceBlocks(); }
  bool AddChild(TdxfObject& AChild) override;
};

class TdxfObjects : public TdxfSection {
public:
  using TdxfSection::TdxfSection;
  void Create() override { FReader.FConverter->GetOrCreateSection(csObjects); }
  bool AddChild(TdxfObject& AChild) override;
};

// CLASSES, THUMBNAILIMAGE and sections nobody knows: read and dropped.
class TdxfCustomSection : public TdxfSection {
public:
  using TdxfSection::TdxfSection;
  bool AddChild(TdxfObject&) override { return false; }
};

class TdxfMain : public TdxfObject {
public:
  using TdxfObject::TdxfObject;
  void Create() override {}
  void Read() override;
  bool AddChild(TdxfObject& AChild) override;
};
