#pragma once
// The root of every drawing item, the counted links to table items, placeholders for
// forward references, and the groups and tables that own children.
//
// Ownership: a group owns its children (std::unique_ptr). Table items also carry a
// reference count (one for the table they are in, one per linking TqdTableItem); when
// a table lets go of an item that is still referenced, the references keep it alive
// and the last one to drop it frees it.
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "CADColor.h"
#include "DXFConst.h"
#include "ExtData.h"
#include "qdConsts.h"
#include "qdLists.h"
#include "qdSpatialIndex.h"

class TqdDXFConverter;
class TqdDXFEntity;
class TqdDXFGroup;
class TqdDXFLayer;
class TqdDXFLineType;
class TqdDXFDictionary;


// Every recursive walk over file-made structure stops at this depth.
inline constexpr int cnstMaxNestingDepth = 256;
// Groups refuse children below this depth, so that freeing a tree stays shallow.
inline constexpr int cnstMaxTreeDepth = 1024;

class TqdNode;
struct TqdXMLResult;

// Base of every database object; its XML behaviour is added by the XML unit.
class TqdListObject {
public:
  TqdListObject() = default;
  TqdListObject(const TqdListObject&) = delete;
  TqdListObject& operator=(const TqdListObject&) = delete;
  virtual ~TqdListObject() = default;

  // The XML form (Properties.h): adds this object's element to AParent (modes are a
  // TqdXMLMode set) and returns it; null when nothing was added.
  virtual TqdNode* ToXML(TqdNode& AParent, unsigned AModes) const;
  // Applies the attributes and child elements of ANode; what cannot be applied goes to
  // AResult (when given). Returns a TqdXMLStatus.
  virtual int FromXML(const TqdNode& ANode, TqdXMLResult* AResult);
};

// A class reference: makes a new instance of one entity class.
using TqdEntityClass = std::unique_ptr<TqdDXFEntity> (*)();
template <class T> std::unique_ptr<TqdDXFEntity> NewEntityOf() { return std::make_unique<T>(); }
template <class T> constexpr TqdEntityClass ClassOf() { return &NewEntityOf<T>; }

// The named, counted part of a table item (and of a table).
struct TqdNamedItem {
  TqdDXFEntity* FOwner = nullptr;  // the table the item is in
  int FRefCount = 0;
  TqdDXFEntity* FAncestor = nullptr;  // the item itself
  std::string FName;
  // Set when a table let go of the item while it was referenced: the references own it.
  bool FOwnedByRefs = false;
};

// What a reader stores for a table item it cannot link yet.
enum TqdLinkType { ltByName = 0, ltByHandle = 1, ltByIndex = 2, ltByPlotStyleName = 3 };

// The predefined plot-style names a by-plot-style-name placeholder indexes.
inline constexpr const char* cnstPlotStyleNames[] = {"ByLayer", "ByBlock", "Normal"};

class TqdLinkObject {
public:
  static std::unique_ptr<TqdLinkObject> ByName(std::string_view AName);
  static std::unique_ptr<TqdLinkObject> ByHandle(std::uint64_t AHandle);
  static std::unique_ptr<TqdLinkObject> ByIndex(std::int64_t AIndex);
  static std::unique_ptr<TqdLinkObject> ByPlotStyleName(std::int64_t AIndex);

  TqdLinkType LinkType() const { return FLinkType; }
  const std::string& Name() const { return FName; }
  std::uint64_t HandleValue() const { return FHandle; }
  std::int64_t IndexValue() const { return FIndex; }
  // Resolves once against AOwner and caches the result; an index outside the owner's
  // children (or the plot-style names) stays unresolved.
  TqdDXFEntity* GetObject(TqdDXFEntity* AOwner);
  TqdDXFEntity* FObject = nullptr;

private:
  TqdLinkType FLinkType = ltByName;
  std::string FName;
  std::uint64_t FHandle = 0;
  std::int64_t FIndex = 0;
  bool FResolved = false;
};

// A counted link from an entity to a table item, or a placeholder for one.
class TqdTableItem {
public:
  TqdTableItem() = default;
  TqdTableItem(const TqdTableItem&) = delete;
  TqdTableItem& operator=(const TqdTableItem&) = delete;
  ~TqdTableItem() { SetItem(nullptr); }

  TqdDXFEntity* Item() const { return FItem; }
  // Counts Value and releases the old item (freed when nothing holds it any more).
  void SetItem(TqdDXFEntity* Value);
  TqdLinkObject* Link() const { return FLink.get(); }
  // Stores a placeholder; the current item is released.
  void SetLink(std::unique_ptr<TqdLinkObject> ALink);
  void ClearLink() { FLink.reset(); }

private:
  TqdDXFEntity* FItem = nullptr;
  std::unique_ptr<TqdLinkObject> FLink;
};

// Per-object data the converter keeps for an entity: its extension dictionary and its
// extended data by application name (upper-cased).
struct TqdEntityExtra {
  TqdDXFDictionary* Dictionary = nullptr;
  // A dictionary known by handle only until the objects are read (0: none).
  std::uint64_t DictionaryHandle = 0;
  std::map<std::string, TqdCADExtendedData> EED;
};

class TqdDXFEntity : public TqdListObject {
public:
  TqdDXFEntity() = default;
  ~TqdDXFEntity() override;

  // ---- class identity
  // A fresh instance of the same class (the virtual constructor).
  virtual std::unique_ptr<TqdDXFEntity> NewInstance() const = 0;
  virtual const char* ClassName() const = 0;
  virtual TqdCADEntities EntType() const { return ceEntity; }
  TqdEntClass EntClass() const { return static_cast<TqdEntClass>(EntType() << 8); }
  virtual bool IsVertexBased() const { return false; }
  virtual bool NeedsHandle() const { return false; }
  virtual bool Complex() const { return false; }
  virtual bool IsInsert() const { return false; }

  // ---- links
  // The entity's own converter, else the nearest owner's.
  virtual TqdDXFConverter* Converter() const;
  // The converter set on this entity itself (null when it uses its owner's).
  virtual TqdDXFConverter* OwnConverter() const { return nullptr; }
  virtual void SetConverter(TqdDXFConverter* C) {}
  virtual TqdDXFEntity* Owner() const { return nullptr; }
  virtual void SetOwner(TqdDXFEntity* AOwner) {}
  virtual TqdNamedItem* GetNamedItem() { return nullptr; }

  // ---- common attributes (neutral defaults)
  virtual std::uint64_t Handle() const { return 0; }
  virtual void SetHandle(std::uint64_t H) {}
  virtual std::string Name() const { return {}; }
  virtual void SetName(std::string_view AName) {}
  virtual TqdDXFLayer* Layer() const { return nullptr; }
  virtual void SetLayer(TqdDXFLayer* ALayer) {}
  virtual TqdDXFLineType* LineType() const { return nullptr; }
  virtual void SetLineType(TqdDXFLineType* AType) {}
  // Sets the linetype only when Value is one, else clears it.
  void SetLType(TqdDXFEntity* Value);
  virtual double LineTypeScale() const { return 1.0; }
  virtual void SetLineTypeScale(double V) {}
  virtual double LineWeight() const { return cnstLWByLayer; }
  virtual void SetLineWeight(double V) {}
  virtual TqdColorCAD ColorCAD() const { return TqdColorCAD::Index(clByLayer); }
  virtual void SetColorCAD(const TqdColorCAD& C) {}
  // The colour as a platform value, through the colour conversions.
  std::uint32_t Color() const { return ColorCADToPlatform(ColorCAD()); }
  void SetColor(std::uint32_t Value) { SetColorCAD(PlatformToColorCAD(Value)); }
  virtual TFPoint Extrusion() const { return cnstExtrusion; }
  virtual void SetExtrusion(const TFPoint& P) {}
  virtual double GetThickness() const { return 0; }
  virtual TFRect Box() const { return cnstBadRect; }
  virtual bool Visibility() const { return true; }
  virtual void SetVisibility(bool V) {}
  // Own visibility and, with a layer, that layer on and not frozen.
  virtual bool Visible() const;
  virtual int Flags() const { return 0; }
  virtual void SetFlags(int V) {}
  virtual std::uint8_t InternalFlags() const { return 0; }
  virtual void SetInternalFlags(std::uint8_t V) {}
  virtual std::string HyperLink() const { return {}; }
  virtual void SetHyperLink(std::string_view V) {}
  virtual bool PaperSpace() const { return false; }
  virtual void SetPaperSpace(bool V) {}

  // ---- extended data and extension dictionary (kept by the converter per object)
  TqdDXFDictionary* Dictionary() const;
  void SetDictionary(TqdDXFDictionary* D);
  // Null when the entity has no record for that application.
  const TqdCADExtendedData* GetEED(std::string_view AAppID) const;
  // An empty record removes the application's data.
  void SetEED(const TqdCADExtendedData& AValue, std::string_view AAppID);
  // The "PE_URL" form of the hyperlink.
  TqdCADExtendedData GetExtDataHyperLink() const { return HyperLinkToExtData(HyperLink()); }
  void SetExtDataHyperLink(const TqdCADExtendedData& D);

  // ---- children (plain entities have none and refuse insertion)
  virtual int Count() const { return 0; }
  // Null outside 0..Count()-1.
  virtual TqdDXFEntity* GetEntity(int Index) const { return nullptr; }
  // Takes E; returns its index, or -1 when refused (E is then freed).
  virtual int InsertEntity(int Index, std::unique_ptr<TqdDXFEntity> E) { return -1; }
  int AddEntity(std::unique_ptr<TqdDXFEntity> E) { return InsertEntity(Count(), std::move(E)); }
  // Removes child Index without freeing it; null when out of range.
  virtual std::unique_ptr<TqdDXFEntity> DeleteEntity(int Index) { return nullptr; }
  virtual void ExchangeEntity(int I, int J) {}
  virtual int IndexOfEntity(const TqdDXFEntity* E) const { return -1; }
  virtual int IndexOfName(std::string_view AName) const { return -1; }
  virtual TqdDXFEntity* FindEntByName(std::string_view AName) const;
  virtual void Clear(bool ADoFree) {}
  // Deletes every occurrence of AEntity (freed under the release rule).
  bool RemoveEntity(TqdDXFEntity* AEntity);
  int IndexOfHandle(std::uint64_t AHandle) const;
  // Own children last first, then (AIterateChildren) each child recursively, then
  // (AIterateInsert) an insert's block; depth-capped, each block searched once.
  TqdDXFEntity* FindEntByHandle(bool AIterateChildren, bool AIterateInsert,
                                std::uint64_t AHandle) const;
  // The block an insert shows (null for everything else).
  virtual TqdDXFEntity* InsertBlock() const { return nullptr; }

  // ---- loading protocol
  // The converter's handle step for this item.
  virtual void RegisterHandle(TqdDXFConverter* C);
  // Computes derived data (geometry, box, default links).
  virtual void Loaded(TqdDXFConverter* C) {}
  // Replaces placeholders by the items they name.
  virtual void ResolveLinks(TqdDXFConverter* C) {}
  // Whether a child may hold placeholders (the link pass need not visit them otherwise).
  virtual bool ChildrenHaveLinks() const { return true; }
  // A child of this group was inserted, extracted or deleted.
  virtual void ListNotify(TqdDXFEntity* E, TListNotification Action) {}
  // Child E (null: every child) was recomputed; its box may have changed.
  virtual void ChildChanged(TqdDXFEntity* E) {}
  // Table name index maintenance (-1 where there is none).
  virtual int IndexAdd(TqdDXFEntity* E) { return -1; }
  virtual int IndexRemove(TqdDXFEntity* E) { return -1; }
  // Whether a change of the curve tessellation counts needs a reload of this entity.
  virtual bool DependsOnCircleParts() const { return false; }
  virtual bool DependsOnSplineParts() const { return false; }

  // ---- copying
  // Copies what Source has of this class's fields.
  virtual void AssignEntity(const TqdDXFEntity& Source) {}
  // AssignEntity, then the source's handle.
  void Clone(const TqdDXFEntity& Source);

  // ---- XML form (Properties.cpp walks the class's attribute description)
  TqdNode* ToXML(TqdNode& AParent, unsigned AModes) const override;
  int FromXML(const TqdNode& ANode, TqdXMLResult* AResult) override;

  // Set by the converter while it holds per-object data for this entity.
  bool FHasExtra = false;
  // Its position in its owner's spatial index (in the padding: costs no memory).
  std::uint32_t FIndexSlot = 0xFFFFFFFF;

protected:
  TqdEntityExtra* Extra(bool ACreate) const;
};

// Boilerplate of a concrete class: its virtual constructor and class name.
#define QD_ENTITY_CLASS(Name)                                                                     \
public:                                                                                            \
  std::unique_ptr<TqdDXFEntity> NewInstance() const override { return std::make_unique<Name>(); } \
  const char* ClassName() const override { return #Name; }

// Frees a removed item unless table-item references still hold it; then they own it.
void ReleaseEntity(std::unique_ptr<TqdDXFEntity> E);

// The item that the placeholder in AItem names in section ASection of C (null when none);
// the placeholder is dropped.
TqdDXFEntity* TakePlaceholderTarget(TqdTableItem& AItem, TqdDXFConverter* C, int ASection);

// Replaces a placeholder by the item of class T it names, or by nothing.
template <class T> void ResolveTableItem(TqdTableItem& AItem, TqdDXFConverter* C, int ASection) {
  if (!AItem.Link() || !C) return;
  AItem.SetItem(dynamic_cast<T*>(TakePlaceholderTarget(AItem, C, ASection)));
}

// ---------------------------------------------------------------- graphical branch

class TqdDXFObjectEntity : public TqdDXFEntity {
public:
  TqdDXFObjectEntity() = default;
  ~TqdDXFObjectEntity() override;

  bool NeedsHandle() const override { return true; }
  TqdDXFConverter* OwnConverter() const override { return FConverter; }
  void SetConverter(TqdDXFConverter* C) override;
  TqdDXFEntity* Owner() const override { return FOwner; }
  void SetOwner(TqdDXFEntity* AOwner) override { FOwner = AOwner; }
  std::uint64_t Handle() const override { return FHandle; }
  void SetHandle(std::uint64_t H) override { FHandle = H; }
  TqdDXFLayer* Layer() const override;
  void SetLayer(TqdDXFLayer* ALayer) override;
  TqdTableItem& LayerItem() { return FLayerItem; }
  int Flags() const override { return FFlag; }
  void SetFlags(int V) override { FFlag = V; }
  bool Visibility() const override { return (FFlag & 128) == 0; }
  void SetVisibility(bool V) override { FFlag = V ? (FFlag & ~128) : (FFlag | 128); }
  // Flag bit 4: kept and copied; its meaning belongs to the classes that use it.
  bool FlagBit4() const { return (FFlag & 16) != 0; }
  void SetFlagBit4(bool V) { FFlag = V ? (FFlag | 16) : (FFlag & ~16); }
  std::uint8_t InternalFlags() const override { return FInternalFlags; }
  void SetInternalFlags(std::uint8_t V) override { FInternalFlags = V; }
  // The two 4-bit pen attributes (bits 8-11 and 12-15 of the pen style).
  int PenAttr1() const { return (FPenStyle >> 8) & 0xF; }
  int PenAttr2() const { return (FPenStyle >> 12) & 0xF; }
  void SetPenAttr1(int V) { FPenStyle = static_cast<std::uint16_t>((FPenStyle & ~0x0F00) | ((V & 0xF) << 8)); }
  void SetPenAttr2(int V) { FPenStyle = static_cast<std::uint16_t>((FPenStyle & ~0xF000) | ((V & 0xF) << 12)); }
  void ResolveLinks(TqdDXFConverter* C) override;
  void AssignEntity(const TqdDXFEntity& Source) override;
  // The auxiliary group of a complex entity's generated children (made on demand).
  TqdDXFGroup* GetGroup(bool ACreate);
  void FreeGroup();

protected:
  TqdDXFConverter* FConverter = nullptr;
  TqdDXFEntity* FOwner = nullptr;
  std::unique_ptr<TqdDXFGroup> FGroup;
  std::uint64_t FHandle = 0;
  TqdTableItem FLayerItem;
  std::uint8_t FInternalFlags = 0;
  int FFlag = 0;
  std::uint16_t FPenStyle = 0;
};

class TqdDXFObjectEntityColor : public TqdDXFObjectEntity {
public:
  TqdColorCAD ColorCAD() const override { return FColor; }
  void SetColorCAD(const TqdColorCAD& C) override { FColor = C; }
  std::string HyperLink() const override { return FHyperLink; }
  void SetHyperLink(std::string_view V) override { FHyperLink.assign(V); }
  void AssignEntity(const TqdDXFEntity& Source) override;

protected:
  TqdColorCAD FColor = TqdColorCAD::Index(clByLayer);
  std::string FHyperLink;
};

class TqdDXFPenEntity : public TqdDXFObjectEntityColor {
public:
  double LineTypeScale() const override { return FLineTypeScale; }
  // Stores the absolute value; non-finite values are ignored.
  void SetLineTypeScale(double V) override;
  void AssignEntity(const TqdDXFEntity& Source) override;

protected:
  double FLineTypeScale = 1.0;
};

class TqdDXFObjectEntityLineType : public TqdDXFPenEntity {
public:
  TqdDXFLineType* LineType() const override;
  void SetLineType(TqdDXFLineType* AType) override;
  TqdTableItem& LineTypeItem() { return FLineTypeItem; }
  // Gives the entity the converter's "BYLAYER" linetype when it has none.
  void Loaded(TqdDXFConverter* C) override;
  void ResolveLinks(TqdDXFConverter* C) override;
  void AssignEntity(const TqdDXFEntity& Source) override;

protected:
  TqdTableItem FLineTypeItem;
};

class TqdDXFCustomVertex : public TqdDXFObjectEntityLineType {
public:
  virtual TFPoint Point() const { return FPoint; }
  // Non-finite coordinates are refused.
  virtual void SetPoint(const TFPoint& P);
  void AssignEntity(const TqdDXFEntity& Source) override;

protected:
  TFPoint FPoint;
};

class TqdDXFPenLine : public TqdDXFCustomVertex {
public:
  TFPoint Extrusion() const override { return FExtrusion ? *FExtrusion : cnstExtrusion; }
  // Kept only when it differs from (0,0,1) by more than 1e-9 somewhere.
  void SetExtrusion(const TFPoint& P) override;
  double LineWeight() const override { return FLineWeight; }
  void SetLineWeight(double V) override;
  // Stores W/100 only while the lineweight is still BYLAYER.
  void SetLWeight(int W);
  double Thickness() const { return FLineWeight; }
  double ZThick() const { return FZThick; }
  void SetZThick(double V);
  double GetThickness() const override { return FZThick; }
  virtual bool IsExtruded() const { return FExtrusion != nullptr; }
  // Moves the base point from the object coordinate system to world coordinates.
  virtual void ApplyExtrusion();
  void Loaded(TqdDXFConverter* C) override;
  void AssignEntity(const TqdDXFEntity& Source) override;

protected:
  std::unique_ptr<TFPoint> FExtrusion;
  double FLineWeight = cnstLWByLayer;
  double FZThick = 0;
};

// ---------------------------------------------------------------- table-item branch

class TqdDXFOwneredItem : public TqdDXFEntity {
public:
  TqdDXFOwneredItem();
  ~TqdDXFOwneredItem() override;

  bool NeedsHandle() const override { return true; }
  TqdDXFConverter* OwnConverter() const override { return FConverter; }
  void SetConverter(TqdDXFConverter* C) override;
  TqdDXFEntity* Owner() const override { return FNamedItem.FOwner; }
  // Entering a table counts one reference, leaving it drops one.
  void SetOwner(TqdDXFEntity* AOwner) override;
  TqdNamedItem* GetNamedItem() override { return &FNamedItem; }
  std::uint64_t Handle() const override { return FHandle; }
  void SetHandle(std::uint64_t H) override { FHandle = H; }
  std::string Name() const override { return FNamedItem.FName; }
  // Names the item (re-filing it in its table's name index); classes that check
  // names check in SetName and leave SetNameUnchecked to readers and the converter.
  void SetName(std::string_view AName) override { SetNameUnchecked(AName); }
  virtual void SetNameUnchecked(std::string_view AName);
  int RefCount() const { return FNamedItem.FRefCount; }
  void AssignEntity(const TqdDXFEntity& Source) override;

protected:
  TqdDXFConverter* FConverter = nullptr;
  std::uint64_t FHandle = 0;
  TqdNamedItem FNamedItem;
};

class TqdDXFPenTableItem : public TqdDXFOwneredItem {
public:
  int Flags() const override { return FFlags; }
  void SetFlags(int V) override { FFlags = V; }
  void AssignEntity(const TqdDXFEntity& Source) override;

protected:
  int FFlags = 0;
};

class TqdDXFCustomColor : public TqdDXFPenTableItem {
public:
  TqdColorCAD ColorCAD() const override { return FColor; }
  void SetColorCAD(const TqdColorCAD& C) override { FColor = C; }
  void AssignEntity(const TqdDXFEntity& Source) override;

protected:
  TqdColorCAD FColor = TqdColorCAD::Index(clByLayer);
};

// ---------------------------------------------------------------- containers

class TqdDXFGroup : public TqdDXFObjectEntity {
  QD_ENTITY_CLASS(TqdDXFGroup)
public:
  using TOnListNotify = std::function<void(TqdDXFEntity* E, TListNotification Action)>;

  TqdDXFGroup() = default;
  ~TqdDXFGroup() override;

  int Count() const override { return static_cast<int>(FEntities.size()); }
  TqdDXFEntity* GetEntity(int Index) const override;
  // Refuses null, SEQEND markers, items that already have an owner, the group itself
  // or one of its owners (no cycles), and insertion deeper than cnstMaxTreeDepth.
  int InsertEntity(int Index, std::unique_ptr<TqdDXFEntity> E) override;
  std::unique_ptr<TqdDXFEntity> DeleteEntity(int Index) override;
  // Swaps E into slot Index; returns the item that was there.
  std::unique_ptr<TqdDXFEntity> SetEntity(int Index, std::unique_ptr<TqdDXFEntity> E);
  void ExchangeEntity(int I, int J) override;
  int IndexOfEntity(const TqdDXFEntity* E) const override;
  int IndexOfName(std::string_view AName) const override;
  // Removes every child. The group owns its children, so they are always freed (under
  // the release rule); take one out with DeleteEntity to keep it.
  void Clear(bool ADoFree) override;
  void ListNotify(TqdDXFEntity* E, TListNotification Action) override;
  // Reorders the children (stable; no notifications: membership does not change).
  void SortChildren(const std::function<bool(const TqdDXFEntity*, const TqdDXFEntity*)>& Less);
  void Loaded(TqdDXFConverter* C) override { UpdateBox(); }
  virtual void UpdateBox() {}
  bool Complex() const override { return true; }
  // The grid over the children's boxes, made on first use (null for small groups);
  // dropped when children come, go or change places, kept current by ChildChanged.
  const TqdSpatialIndex* SpatialIndex() const;
  void DropSpatialIndex() const;
  void ChildChanged(TqdDXFEntity* E) override;

  TOnListNotify FOnListNotify;

protected:
  std::vector<std::unique_ptr<TqdDXFEntity>> FEntities;
  mutable std::unique_ptr<TqdSpatialIndex> FSpatialIndex;
};

class TqdDXFTable : public TqdDXFGroup {
  QD_ENTITY_CLASS(TqdDXFTable)
public:
  TqdDXFTable();
  ~TqdDXFTable() override;

  TqdNamedItem* GetNamedItem() override { return &FNamedItem; }
  TqdDXFEntity* Owner() const override { return FNamedItem.FOwner; }
  void SetOwner(TqdDXFEntity* AOwner) override;
  std::string Name() const override { return FNamedItem.FName; }
  void SetName(std::string_view AName) override;
  // Uses the name index: the most recently added of equal names wins.
  TqdDXFEntity* FindEntByName(std::string_view AName) const override;
  int IndexAdd(TqdDXFEntity* E) override;
  int IndexRemove(TqdDXFEntity* E) override;
  void RebuildIndex();
  int IndexSize() const { return static_cast<int>(FSortEntList.size()); }
  // Changes whenever the name index does; unique across tables, so that a lookup kept
  // with it stays valid while it is unchanged.
  std::uint64_t IndexStamp() const { return FIndexStamp; }
  // Rebuilds the name index when it has drifted from the children.
  void ResolveLinks(TqdDXFConverter* C) override;
  void ListNotify(TqdDXFEntity* E, TListNotification Action) override;
  void Clear(bool ADoFree) override;
  void AssignEntity(const TqdDXFEntity& Source) override;

protected:
  TqdNamedItem FNamedItem;
  // Upper-cased name -> item; equal names keep their insertion order.
  std::multimap<std::string, TqdDXFEntity*> FSortEntList;
  std::uint64_t FIndexStamp = 0;
  void IndexChanged();
};

class TqdDXFSection : public TqdDXFTable {
  QD_ENTITY_CLASS(TqdDXFSection)
public:
  // The HEADER section records where the header ended in the source.
  void Loaded(TqdDXFConverter* C) override;
};

class TqdDXFSectionTables : public TqdDXFSection {
  QD_ENTITY_CLASS(TqdDXFSectionTables)
};
class TqdDXFSectionBlocks : public TqdDXFSection {
  QD_ENTITY_CLASS(TqdDXFSectionBlocks)
};
class TqdDXFSectionObjects : public TqdDXFSection {
  QD_ENTITY_CLASS(TqdDXFSectionObjects)
};
class TqdDXFSectionHeader : public TqdDXFSection {
  QD_ENTITY_CLASS(TqdDXFSectionHeader)
};
class TqdDXFSectionEntities : public TqdDXFSection {
  QD_ENTITY_CLASS(TqdDXFSectionEntities)
};

class TqdDXFDictionary : public TqdDXFTable {
  QD_ENTITY_CLASS(TqdDXFDictionary)
public:
  ~TqdDXFDictionary() override;
};

// A group with a box: the base of blocks.
class TqdDXFGroupEntity : public TqdDXFGroup {
  QD_ENTITY_CLASS(TqdDXFGroupEntity)
public:
  TFRect Box() const override { return FBox; }
  void SetBox(const TFRect& R) { FBox = R; }
  // The union of the boxes of the visible children.
  void UpdateBox() override;

protected:
  TFRect FBox = cnstBadRect;
};
