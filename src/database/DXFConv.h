#pragma once
// The drawing database: one converter holds one drawing.
//
// How a reader fills a converter:
//   conv->Clear();
//   conv->SetSourceStream(bytes, size);          // optional: the file held in memory
//   conv->SetLoadingState(true, 0);
//   conv->InitializeSectionsBegin();             // optional
//   ... create items (TqdEntityRegistry::CreateByDXFName), fill them, add them to their
//       container (AddEntity), store placeholders (TqdTableItem::SetLink) for forward
//       references, file extended data (SetEntityEED) and dictionaries
//       (SetEntityDictionary) against the object itself, then conv->Loads(item) ...
//   conv->ResolveAllLinks();
//   conv->LoadAll();
//   conv->SetLoadingState(false, end);           // completes the standard items
//   conv->SortEntities();
// Entities of the model space go into ModelSpace() (layout 0's block, found or made by
// name "*MODEL_SPACE" in BLOCKS); find blocks with BlockByName or NewNamedEntity so
// that a file's "*Model_Space" block and this one are the same.
// Handles: CheckHandle/FMaxHandle; items read without a handle get theirs in
// ApplyGeneratedHandles at the end when the converter was made with CheckHandles.
// Block references: an INSERT with more than one row or column is a TqdCADMInsert; its
// block is a placeholder (TqdDXFInsert::SetBlockLink) resolved in BLOCK_RECORD, and its
// ATTRIBs are its children. A clipped reference keeps its SPATIAL_FILTER in its
// extension dictionary under "ACAD_FILTER"/"SPATIAL". Xref blocks are read through the
// loader a reader layer installs with SetDefaultXRefLoader; problems the database meets
// (missing xrefs, huge arrays) are in Warnings().
#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "Blocks.h"
#include "DXFBase.h"
#include "DXFConst.h"
#include "Entities.h"
#include "Objects.h"
#include "SHXFontList.h"
#include "TableItems.h"

struct TqdConverterParams {
  bool CheckHandles = false;
  std::string FileName;
};

// Items read without a handle, in the order they were met, until handles are issued.
class TqdMapEntities {
public:
  static constexpr int cnstInitialCapacity = 1048576;
  TqdMapEntities();
  // Each item is held at most once.
  void Add(TqdDXFEntity* E);
  void Remove(TqdDXFEntity* E);
  bool Contains(const TqdDXFEntity* E) const { return FIndex.count(E) != 0; }
  int Count() const { return static_cast<int>(FIndex.size()); }
  // Live items in list order.
  std::vector<TqdDXFEntity*> Items() const;

private:
  std::vector<TqdDXFEntity*> FItems;  // removed items leave a null slot
  std::unordered_map<const TqdDXFEntity*, std::size_t> FIndex;
};

// Reads driven by offsets, lengths or counts from a file: every access is checked
// against the end of the data and raises EqdSourceBounds instead of running past it.
class TqdSourceCursor {
public:
  TqdSourceCursor(const std::uint8_t* AData, std::size_t ASize) : FData(AData), FSize(ASize) {}
  std::size_t Position() const { return FPos; }
  std::size_t Remaining() const { return FSize - FPos; }
  void Seek(std::uint64_t APos);
  void Skip(std::uint64_t ACount);
  std::uint8_t ReadByte();
  // Little-endian unsigned integer of ABytes (1..8) bytes.
  std::uint64_t ReadUInt(int ABytes);
  double ReadDouble();
  // Copies ACount bytes; ACount is checked before anything is allocated.
  std::string ReadBytes(std::uint64_t ACount);
  // A count of items of at least AItemSize bytes each that the remaining data can hold.
  std::uint64_t CheckCount(std::uint64_t ACount, std::uint64_t AItemSize) const;

private:
  void Need(std::uint64_t ACount) const;
  const std::uint8_t* FData;
  std::size_t FSize;
  std::size_t FPos = 0;
};

class TqdDXFConverter;
class TqdDXFInsert;

// Reads a referenced drawing into a converter; filled by the reader layer.
struct TqdXRefLoader {
  // File extensions it reads, lower case with the dot (".dxf", ".dwg").
  std::vector<std::string> Extensions;
  // Fills ATarget from the file; false or an exception leaves the xref unresolved.
  std::function<bool(TqdDXFConverter& ATarget, const std::string& AFileName)> Load;
};
// The loader new converters start with.
void SetDefaultXRefLoader(TqdXRefLoader L);
const TqdXRefLoader& DefaultXRefLoader();
// Xrefs nested deeper than this are not loaded.
inline constexpr int cnstMaxXRefNesting = 16;

class TqdDXFConverter : public TqdListObject {
public:
  using TEntityEvent = std::function<void(TqdDXFEntity*)>;
  using TNotifyEvent = std::function<void(TqdDXFConverter*)>;

  explicit TqdDXFConverter(const TqdConverterParams& AParams = {});
  // The drawing as XML (Properties.cpp): header, and with xmAddSectionEntities the sections.
  TqdNode* ToXML(TqdNode& AParent, unsigned AModes) const override;
  int FromXML(const TqdNode& ANode, TqdXMLResult* AResult) override;
  static TqdDXFConverter* CreateFromFile(std::string_view AFileName);
  // Use Release(); deleting directly is for owners that hold the only reference.
  ~TqdDXFConverter() override;

  // ---- lifetime
  int Reference() { return ++FRefs; }
  // Frees the converter at zero (or, while loading, stops the load instead).
  int Release();
  int RefCount() const { return FRefs; }

  // ---- sections and tables
  TqdDXFEntity* GetSection(int Index) const;
  void SetSection(int Index, TqdDXFEntity* Group);
  TqdDXFEntity* GetOrCreateSection(TConvSection Index);
  int GetCount(int Index) const;
  TqdDXFSection* Main() const { return FMain.get(); }
  TqdDXFEntity* ItemByName(std::string_view AName, TConvSection ASection, bool ACreate);
  TqdDXFLayer* LayerByName(std::string_view AName);
  TqdDXFDimensionStyle* DimensionStyleByName(std::string_view AName);
  TqdDXFStyle* StyleByName(std::string_view AName);
  TqdDXFLineType* LTypeByName(std::string_view AName) const;
  // LTypeByName("BYLAYER"), the line type of every entity given none. While LoadAll runs
  // (one thread) it is looked up once per state of the line type table, not per entity.
  TqdDXFLineType* ByLayerLType();
  TqdDXFBlock* BlockByName(std::string_view AName) const;
  TqdDXFLayer* GetLayer(int I) const;
  TqdDXFLineType* GetLType(int I) const;
  TqdDXFLayout* GetLayout(int I) const;
  int LayoutsCount() const;
  TqdDXFEntity* GetEntity(int I) const;
  // The model-space block (made on first use when a reader built the layouts itself).
  TqdDXFBlock* ModelSpace() const;
  // Finds AName in AOwner first; otherwise makes an item of AClass named AName and
  // appends it to AOwner (null when the owner refuses it). Without an owner the caller
  // receives ownership through AOrphan.
  TqdDXFEntity* NewNamedEntity(TqdDXFEntity* AOwner, TqdEntityClass AClass, std::string_view AName,
                               std::unique_ptr<TqdDXFEntity>* AOrphan = nullptr);
  TqdDXFTable* NewNamedTable(std::string_view AName, TqdEntityClass AClass = nullptr);
  std::unique_ptr<TqdDXFEntity> ExtractFromTable(TqdDXFEntity* ATable, TqdDXFEntity* AEntity);
  // Takes the block out of BLOCKS; it is freed when DoFree, else handed over in AKeep.
  bool DeleteBlock(TqdDXFBlock* ABlock, bool DoFree, std::unique_ptr<TqdDXFEntity>* AKeep = nullptr);
  int AddLayout(std::unique_ptr<TqdDXFLayout> ALayout);
  // AModel first, then the layouts in tab order, as their tabs show. Equal tab orders
  // keep the order of creation (handle); layouts without one go last, by handle.
  void SortLayouts(const TqdDXFLayout* AModel);
  void FillMainSection();

  // ---- item completion
  // Handle step, converter link, then the item computes its derived data.
  void Loads(TqdDXFEntity* E);
  void LoadsGroup(TqdDXFEntity* E);
  void DoCreate(TqdDXFEntity* Sender);
  TEntityEvent OnCreate;

  // ---- handles
  // Issues FMaxHandle+1 for H = 0 (true when issued); otherwise raises FMaxHandle. At
  // the largest handle nothing is issued: a wrapped handle would mean "none".
  bool CheckHandle(std::uint64_t& H);
  void CheckEntityHandle(TqdDXFEntity* E);
  void CheckGroupHandles(TqdDXFEntity* G);
  void ApplyGeneratedHandles();
  bool GeneratedHandlesEnabled() const { return FMapEntities != nullptr; }
  void EnableGeneratedHandles();
  void GeneratedListAdd(TqdDXFEntity* E);
  void GeneratedListRemove(TqdDXFEntity* E);
  std::uint64_t FMaxHandle = 0;
  // Numbers the dimension blocks this library generates ("*qdDim" N).
  int FAddedDimensionsCount = 0;

  // ---- loading
  // Copies the bytes and appends CR LF 0 0; FLimit is the offset of the CR. Text
  // scanners may rely on the terminator; reads driven by offsets, lengths or counts
  // from the file go through SourceCursor().
  void SetSourceStream(const void* AData, std::size_t ASize);
  // The same without a copy: the converter takes the buffer.
  void SetSourceStream(std::vector<std::uint8_t>&& AData);
  // Bytes the caller keeps alive until DropSource (a mapped file): no copy and no
  // terminator, so only scanners bounded by Limit() may read it.
  void SetSourceView(const void* AData, std::size_t ASize);
  // Forgets the source (a reader is done with it).
  void DropSource();
  const std::uint8_t* Source() const {
    return FSourceView ? FSourceView : (FSource.empty() ? nullptr : FSource.data());
  }
  std::size_t Limit() const { return FLimit; }
  TqdSourceCursor SourceCursor() const { return {Source(), FLimit}; }
  void SetLoadingState(bool ALoading, std::size_t APos);
  void InitializeSectionsBegin();
  void InitializeSectionsEnd(int AFinalizationLoading);
  // Replaces an invalid or (AFinal) missing name by "STANDARD".
  void ValidateTableName(std::string& AName, TConvSection ASection, bool AFinal);
  void CleaningLayouts(bool ADeletePSpace);
  void ResolveAllLinks();
  void LoadAll();
  void SortEntities();
  void SortEntitiesInZDepth();
  // Ends a running load at the reader's next check; the drawing keeps what was read.
  void StopLoading() {
    FStopped = true;
    FPos = 0;
  }
  bool LoadingStopped() const { return FStopped; }
  // Called now and then while the finishing passes load a large drawing, so that a
  // host can keep its window alive (and call StopLoading). A stop that arrives then
  // drops the entities not loaded yet.
  void SetOnLoadingTick(std::function<void()> F) { FOnLoadingTick = std::move(F); }
  std::size_t Count() const;
  std::size_t Pos() const { return FPos; }
  void SetPos(std::size_t APos) { FPos = APos; }
  TConvStatus Status() const { return FStatus; }
  void SetStatus(TConvStatus S) { FStatus = S; }
  // Loads a block on demand (an insert met a block not loaded yet); a block already
  // being loaded, or nested deeper than cnstMaxNestingDepth, is skipped.
  void LoadBlock(TqdDXFBlock* ABlock);
  // The block is being loaded or measured right now (an insert of it met meanwhile
  // closes a cycle of blocks inserting each other).
  bool IsBlockLoading(const TqdDXFBlock* ABlock) const;
  void Clear();

  // ---- header and properties
  TqdHeadVarStruct& HeadVarStruct() { return FHeadVarStruct; }
  const TqdHeadVarStruct& HeadVarStruct() const { return FHeadVarStruct; }
  void ResetHeader() { FHeadVarStruct = cnstDefaultHeadVarStruct; }
  double LTScale() const { return FHeadVarStruct.LTScale; }
  int PointDisplayMode() const { return FHeadVarStruct.PointDisplayMode; }
  void SetPointDisplayMode(int V) { FHeadVarStruct.PointDisplayMode = V; }
  int CodePage() const { return FHeadVarStruct.CodePage; }
  const std::string& FileName() const { return FFileName; }
  void SetFileName(std::string_view V) { FFileName.assign(V); }
  TqdImportMode ImportMode() const { return FImportMode; }
  void SetImportMode(TqdImportMode V) { FImportMode = V; }
  std::size_t FHeadEnd = 0;

  // ---- geometry and view
  void DoExtents();
  TFRect Extents();
  void SetExtents(const TFRect& R) { FExtents = R; }
  TFMatrix GetUCS(const TqdDXFLayout* ALayout);
  TqdDXFVport* ActiveVPort();
  void SetActiveVPort(TqdDXFVport* V);
  TFMatrix ViewTwistMatrix() const { return FViewTwistMatrix; }
  float Angle();
  void SetAngle(double V);
  TFPoint VPort();
  bool Is3D();
  int CircleZoomPercent();
  // While the model space is drawn through a viewport: cut to ViewPortRect (device
  // side of the iteration matrix).
  bool ViewPortCut() const { return FViewPortCut; }
  void SetViewPortCut(bool V) { FViewPortCut = V; }
  TFRect ViewPortRect() const { return FViewPortRect; }
  void SetViewPortRect(const TFRect& R) { FViewPortRect = R; }
  TFMatrix Transform3d() const { return FTransform3D; }
  void SetTransform3d(const TFMatrix& M) { FTransform3D = M; }
  bool IsCrossoverMatrix() const { return FIsCrossoverMatrix; }
  void SetIsCrossoverMatrix(bool V) { FIsCrossoverMatrix = V; }
  int NumberOfPartsInCircle() const { return FNumberOfPartsInCircle; }
  void SetNumberOfPartsInCircle(int V);
  int NumberOfPartsInSpline() const { return FNumberOfPartsInSpline; }
  void SetNumberOfPartsInSpline(int V);
  // The layout to show first: the model with $TILEMODE 1, else the paper layout that was
  // current when the drawing was saved (layout 1 when none is marked). Decided once.
  int DefaultLayoutIndex();
  bool AllArcsAsCurves() const { return FAllArcsAsCurves; }
  void SetAllArcsAsCurves(bool V) { FAllArcsAsCurves = V; }
  double MeshQuality() const { return FMeshQuality; }
  bool UseSHXFonts() const { return FUseSHXFonts; }
  void SetUseSHXFonts(bool V) { FUseSHXFonts = V; }
  TqdSHXFontList* SHXFonts() const { return FSHXFonts.get(); }
  TqdDXFDictionary* FieldList() const { return FFieldList; }
  // The "RASTERVARIABLES" object's frame switch (True without one); writing makes it.
  bool DisplayImageFrame() const;
  void SetDisplayImageFrame(bool V);
  // The "WIPEOUTVARIABLES" object's frame switch inverted (False without one).
  bool HideWipeouts() const;
  void SetHideWipeouts(bool V);
  // Problems met while building the drawing that a caller may want to report (huge
  // arrays drawn in part, missing xref files, ...); each text once, at most 1000. An
  // xref's drawing passes its warnings to the drawing that references it.
  const std::vector<std::string>& Warnings() const { return FWarnings; }
  void AddWarning(std::string_view AText);
  // Counts how often tessellation changes reloaded entities (for callers and tests).
  int ReloadCount() const { return FReloadCount; }

  // ---- external references
  // Makes an xref block of the file AName with an insert of it in ALayout's block (the
  // model space without a layout); the file is loaded through XRefLoader(). A missing
  // or unreadable file leaves the block empty and a warning; the insert is returned.
  TqdDXFInsert* AddXRef(std::string_view AName, TqdDXFLayout* ALayout, double ARotation,
                        const TFPoint& AScale, const TFPoint& APos);
  // The xref items of this drawing's blocks.
  const std::vector<TqdDXFXref*>& XRefs() const { return FXRefs; }
  void AddXRefItem(TqdDXFXref* X);
  void RemoveXRefItem(const TqdDXFXref* X);
  // The loader that reads a referenced drawing (the database reads no files itself);
  // new converters copy the process-wide default (SetDefaultXRefLoader).
  const TqdXRefLoader& XRefLoader() const { return FXRefLoader; }
  void SetXRefLoader(TqdXRefLoader L) { FXRefLoader = std::move(L); }
  // May supply a path for an xref file that was not found; true when it did.
  std::function<bool(TqdDXFConverter& AConverter, std::string& APath)> OnXRefResolve;
  // The converter of the drawing that references this one as an xref.
  TqdDXFConverter* OwnerConverter() const { return FOwnerConverter; }
  // The top of the owner chain (this converter when it is not an xref).
  TqdDXFConverter* RootConverter();
  // How many xref levels lie above this drawing.
  int XRefNesting() const;
  std::string XRefSearchPath() const;
  void SetXRefSearchPath(std::string_view APaths);
  const std::set<std::string>& XRefSearchPaths() const { return FXRefSearchPaths; }
  TqdDXFConverter* FOwnerConverter = nullptr;
  TqdDXFXref* FContainerXref = nullptr;

  // ---- per-object data (keyed by the object itself, so items without a handle or
  // with a duplicated one keep their own)
  TqdEntityExtra* GetEntityExtra(const TqdDXFEntity* E, bool ACreate);
  // The records of one entity by application name (null when it has none).
  const std::map<std::string, TqdCADExtendedData>* GetEEDItems(const TqdDXFEntity* E);
  void SetEntityEED(TqdDXFEntity* E, std::string_view AAppName, const TqdCADExtendedData& AData);
  void RemoveEntityEED(TqdDXFEntity* E);
  void SetEntityDictionary(TqdDXFEntity* E, TqdDXFDictionary* D);
  // For readers that meet the dictionary's handle before the dictionary: linked at the
  // end of ResolveAllLinks (looked up in OBJECTS).
  void SetEntityDictionaryHandle(TqdDXFEntity* E, std::uint64_t AHandle);
  TqdDXFDictionary* EntityDictionary(const TqdDXFEntity* E);
  // Drops the records of one application from every entity.
  void RemoveAppEED(std::string_view AAppName);
  // Drops every link to D (D is going away).
  void ForgetDictionary(const TqdDXFDictionary* D);
  // Layers' colours from their "ACAD_XREC_ROUNDTRIP" records.
  void ApplyLayerRoundtripColors();

  // ---- notifications from groups
  void EntityNotify(TqdDXFEntity* E, TListNotification Action);

  // ---- drawing properties ("1" hyperlink base ... "9" revision number)
  std::string DrwProp(int AKey);
  void SetDrwProp(int AKey, std::string_view V);
  std::string DrwPropTitle() { return DrwProp(2); }
  std::string DrwPropComments() { return DrwProp(6); }
  const std::vector<std::pair<std::string, std::string>>& DrwPropCustomSummaryInfo();
  // Adds only non-empty pairs, at most 10.
  bool CustomSummaryInfoAdd(std::string_view Key, std::string_view Value);
  void ClearDrawingProp();
  std::int64_t FDrwPropCreatedDateTime = 0;
  std::int64_t FDrwPropModifiedDateTime = 0;
  std::int64_t FDrwPropTotalEditingTime = 0;

  // ---- events
  TEntityEvent OnLayoutAdd, OnLayoutRemove;
  std::function<void(std::string_view AText, bool AUnicode, std::string& AName)> OnFindFont;
  // Font name used for a text: "Arial Unicode MS" or "Arial", then OnFindFont.
  std::string DoFindFont(std::string_view AText, bool AUnicode);

private:
  void MainSectionNotify(TqdDXFEntity* E, TListNotification Action);
  void TablesSectionNotify(TqdDXFEntity* E, TListNotification Action);
  void ObjectsSectionNotify(TqdDXFEntity* E, TListNotification Action);
  void LayoutsNotify(TqdDXFEntity* E, TListNotification Action);
  TqdDXFEntity* NewSectionTable(TConvSection Index);
  void ClearHandles();
  void ReloadCurves(bool ACircle);
  void LoadDepthFirst(TqdDXFEntity* E, int ADepth);
  static const char* SectionName(int Index);
  static TqdEntityClass SectionItemClass(int Index);
  void ResolveDepthFirst(TqdDXFEntity* E, int ADepth);
  void ResolveTableLike(TqdDXFEntity* T);
  void ClearHandlesBelow(TqdDXFEntity* E, const TqdDXFEntity* AKeep, int ADepth);
  void DropEmptyExtra(const TqdDXFEntity* E);
  void EnsureDrwProps();

  int FRefs = 1;
  TConvStatus FStatus = stDefault;
  std::string FFileName;
  TqdImportMode FImportMode = imView;
  TqdHeadVarStruct FHeadVarStruct;

  std::unique_ptr<TqdDXFSection> FMain;
  TqdDXFSection* FTablesSection = nullptr;
  TqdDXFSection* FBlocksSection = nullptr;
  TqdDXFSection* FObjectsSection = nullptr;
  TqdDXFTable* FAppIDs = nullptr;
  TqdDXFTable* FLTypes = nullptr;
  bool FLoadingAll = false;
  const TqdDXFTable* FByLayerTable = nullptr;
  std::uint64_t FByLayerStamp = 0;
  TqdDXFLineType* FByLayer = nullptr;
  TqdDXFTable* FLayers = nullptr;
  TqdDXFTable* FStyles = nullptr;
  TqdDXFTable* FDimStyles = nullptr;
  TqdDXFTable* FBlockRecords = nullptr;
  TqdDXFTable* FVPorts = nullptr;
  TqdDXFDictionary* FMStyles = nullptr;
  TqdDXFDictionary* FImageDefs = nullptr;
  TqdDXFDictionary* FLayouts = nullptr;
  TqdDXFDictionary* FTableStyles = nullptr;
  TqdDXFDictionary* FFieldList = nullptr;
  // The layouts dictionary when Clear found no OBJECTS to put it back into.
  std::unique_ptr<TqdDXFEntity> FDetachedLayouts;

  std::vector<std::uint8_t> FSource;
  const std::uint8_t* FSourceView = nullptr;
  std::size_t FPos = 0;
  bool FStopped = false;
  bool FStoppedBeforeFinish = false;
  std::function<void()> FOnLoadingTick;
  std::size_t FLimit = 0;
  std::size_t FCount = 0;

  std::unique_ptr<TqdMapEntities> FMapEntities;
  std::unordered_map<const TqdDXFEntity*, std::unique_ptr<TqdEntityExtra>> FEntityExtra;

  int FDefaultLayoutIndex = -1;
  TqdDXFVport* FActiveVPort = nullptr;
  TFMatrix FViewTwistMatrix = cnstIdentityMat;
  TFMatrix FTransform3D = cnstIdentityMat;
  bool FIsCrossoverMatrix = true;
  TFRect FViewPortRect = cnstBadRect;
  bool FViewPortCut = false;
  TFRect FExtents = cnstBadRect;

  std::vector<TqdDXFXref*> FXRefs;
  std::set<std::string> FXRefSearchPaths;
  TqdXRefLoader FXRefLoader;
  std::vector<std::string> FWarnings;

  int FNumberOfPartsInCircle = 48;
  int FNumberOfPartsInSpline = 24;
  bool FAllArcsAsCurves = true;
  double FMeshQuality = 0.01;
  bool FUseSHXFonts = true;
  std::unique_ptr<TqdSHXFontList> FSHXFonts;
  int FReloadCount = 0;

  // Blocks being loaded on demand (cycles of blocks inserting each other).
  std::unordered_set<const TqdDXFBlock*> FLoadingBlocks;
  int FLoadDepth = 0;
  bool FInLoadAll = false;

  std::unique_ptr<std::vector<std::pair<std::string, std::string>>> FDrwPropInfo;
  std::unique_ptr<std::vector<std::pair<std::string, std::string>>> FDrwPropCustomSummaryInfo;
};

// Owns one reference of a converter.
class TqdConverterRef {
public:
  explicit TqdConverterRef(TqdDXFConverter* C = nullptr) : FConv(C) {}
  ~TqdConverterRef() {
    if (FConv) FConv->Release();
  }
  TqdConverterRef(const TqdConverterRef&) = delete;
  TqdConverterRef& operator=(const TqdConverterRef&) = delete;
  TqdDXFConverter* operator->() const { return FConv; }
  TqdDXFConverter* get() const { return FConv; }

private:
  TqdDXFConverter* FConv;
};

// Default name of new layouts and of the second one.
inline constexpr const char* cnstModelLayoutName = "Model";
inline constexpr const char* cnstLayout1Name = "Layout1";
// Name of the model-space block.
inline constexpr const char* cnstModelSpaceName = "*MODEL_SPACE";
inline constexpr const char* cnstPaperSpaceName = "*PAPER_SPACE";
