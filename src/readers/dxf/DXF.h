#pragma once
// The DXF reader: text and binary DXF into a drawing database.
//
// A pull parser over the file held in memory: the tokenizer delivers one group at a
// time and a tree of short-lived reader objects (TdxfObject and its subclasses)
// consumes them. Each reader object makes its database item at once, collects the
// groups of its object, commits them into the item, adds the item to its container
// and reads nested objects. References to table items not read yet become
// placeholders that the converter resolves after the whole file is read.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "DXFConv.h"
#include "DXFMapping.h"
#include "DXFTokenizer.h"
#include "qdLoadPasses.h"
#include "qdReaders.h"

class TdxfReader;
class TdxfDirectList;

// Lineweights of code 370: -3..-1 as they are, standard weights in hundredths; false
// for other values.
bool LineWeightOf(int W, double& AValue);

// The one error the reader raises: "DXF read error on line %d: %s\r\n%s".
class EdxfReadError : public EqdError {
public:
  using EqdError::EqdError;
};

// What a reader object reads, by the name of its object.
enum TdxfKind : std::uint8_t {
  dkUnknown,     // skipped with all its groups
  dkEndMarker,   // SEQEND, ENDSEC, ENDTAB, ENDBLK, EOF
  dkEntity,      // a graphical entity
  dkPolyline,    // owns VERTEX children up to SEQEND
  dkInsert,      // owns ATTRIB children up to SEQEND (when code 66 says so)
  dkSubEntity,   // VERTEX, ATTRIB: only inside their owner
  dkTableItem,   // LTYPE, LAYER, STYLE, DIMSTYLE, VPORT, APPID
  dkBlockRecord,
  dkBlock,
  dkTable,
  dkDictionary,
  dkLayout,
  dkObject  // other non-graphical objects
};

// The kind of a DXF object name (compared without case); dkUnknown for others.
TdxfKind DXFObjectKind(std::string_view AName);

// Nesting of complex entities deeper than this reads the children as plain objects.
inline constexpr int cnstMaxDXFNesting = 32;

class TdxfObject {
public:
  TdxfObject(TdxfReader& AReader, TdxfObject* AOwner, std::string_view AName, TdxfKind AKind);
  TdxfObject(const TdxfObject&) = delete;
  TdxfObject& operator=(const TdxfObject&) = delete;
  virtual ~TdxfObject();

  // ---- the protocol, in the order the reader uses it
  // Makes the database item of the object's class (none for unregistered names).
  virtual void Create();
  virtual void Read();
  virtual void ReadProperties();
  virtual void ReadProperty();
  virtual void Commit();
  virtual void ApplyHandle();
  virtual void ApplyExtData() {}
  virtual void ReadChildren();
  // Reads one child named AName; true when it was this object's end marker.
  virtual bool ReadChild(std::string_view AName);
  virtual std::unique_ptr<TdxfObject> CreateChild(std::string_view AName);
  // Adds the child's item to this object's item; false when refused (the child frees it).
  virtual bool AddChild(TdxfObject& AChild);
  virtual bool IsEndMarker(std::string_view AName) const { return false; }
  // A name that ends the children without being one (it belongs to an outer object).
  virtual bool IsOuterName(std::string_view AName) const;
  // Whether a child of this name is read at all (others end the children).
  virtual bool AcceptsChild(std::string_view AName) const { return true; }
  // The item (no longer the reader object's) found its place in the drawing.
  virtual void Placed(TqdDXFEntity* AItem) {}

  TqdDXFConverter* GetConverter() const;
  // Takes the item out of the reader object (null when it has none or it was added).
  std::unique_ptr<TqdDXFEntity> ExtractEntity();
  TqdDXFEntity* Ent() const { return FEnt; }
  const std::string& Name() const { return FName; }
  TdxfKind Kind() const { return FKind; }
  int Depth() const { return FDepth; }

  bool FAdded = false;
  bool FComplex = false;
  bool FPaperSpace = false;
  std::uint64_t FHandle = 0;
  std::uint64_t FSoftOwnerID = 0;      // first 330 outside reactor groups
  std::uint64_t FLastSoftOwnerID = 0;  // last 330 outside reactor groups
  int FSoftOwnerCount = 0;
  std::uint64_t FExtDictionaryID = 0;  // first 360 inside a reactor group
  bool FReactorsRead = false;
  bool FHasText[10] = {};
  std::string FTexts[10];  // codes 1-4 and 6-9
  int FInt70 = 0;
  bool FHas70 = false;
  // An entity of an unknown class, read into a proxy.
  bool FAsProxy = false;

protected:
  void ReadXData();
  void FlushXDataPoint();
  void FileXData();
  // Runs the type's mapping around the generic commit (DXFEntities.cpp).
  void CommitMapped();

  TdxfReader& FReader;
  TdxfObject* FOwner;
  std::string FName;
  TdxfKind FKind;
  int FDepth = 0;
  TqdDXFEntity* FEnt = nullptr;
  std::unique_ptr<TqdDXFEntity> FOwnedEnt;  // until the item is added
  std::unique_ptr<TdxfMapper> FMapper;      // the type's own group codes
  // Extended data by application, in the order met.
  std::vector<std::pair<std::string, TqdCADExtendedData>> FEEDItems;
  bool FXPointOpen = false;
  int FXPointCode = 0;
  TFPoint FXPoint;
};

// Options and results of a load.
struct TdxfLoadResult {
  bool Ok = false;            // the file was read (possibly with warnings)
  std::string Error;          // why the load failed, when it did
  TdxfFormat Format = dfText;
  int GroupCodeSize = 0;      // binary files: 1 or 2
  std::string AcadVer;        // $ACADVER as written ("" when absent)
  std::string CodePageName;   // $DWGCODEPAGE as written ("" when absent)
  std::vector<std::string> Warnings;
  double LoadMs = 0;
  // With RecordNames: the DXF name an entity was read as where it differs from the
  // name its class stands for (3DLINE is read as LINE); DXFNameOf answers for all.
  std::unordered_map<const TqdDXFEntity*, std::string_view> DXFNames;
};

// The name an entity's class stands for: its class name without the library prefix,
// in capitals (TqdDXFLine: "LINE").
std::string DXFClassName(const TqdDXFEntity& E);
// The DXF name E was read as (a load with RecordNames): the recorded one, else the
// name of its class.
std::string DXFNameOf(const TdxfLoadResult& R, const TqdDXFEntity& E);

struct TdxfLoadOptions {
  bool RecordNames = false;
  // Called once per object read with the position and the end of data; may call the
  // converter's StopLoading to cancel.
  std::function<void(std::size_t APos, std::size_t ALimit)> OnProgress;
  // Entities given as values (DXFDirect.h): the markers of the data name them by
  // their position here. The list must outlive the load; the reader takes them.
  TdxfDirectList* Direct = nullptr;
};

class TdxfReader : public TqdDrawingLoader {
public:
  explicit TdxfReader(TqdDXFConverter* Conv);
  TdxfReader(const TdxfReader&) = delete;
  TdxfReader& operator=(const TdxfReader&) = delete;
  virtual ~TdxfReader();

  // Reads the converter's source completely into the converter. Raises EdxfReadError
  // after the steps that complete the drawing have run on what was read.
  void Read();

  // ---- the current group
  void Next();
  int Code() const { return FTokenizer->Code(); }
  std::string_view Value() const { return FTokenizer->Value(); }
  std::string StrValue() const { return FTokenizer->StrValue(); }
  const std::string& UValue() const { return FTokenizer->UValue(); }
  int IntValue() const { return FTokenizer->IntValue(); }
  double FloatValue() const { return FTokenizer->FloatValue(); }
  std::uint64_t HandleValue() const { return FTokenizer->HandleValue(); }
  TqdDWGVersion Version() const { return FTokenizer->Version(); }
  int Line() const { return FTokenizer->Line(); }
  // End of data, or the EOF object.
  bool AtEnd() const { return FTokenizer->IsEOF(); }
  // The last comment read (upper-cased), or empty.
  std::string FileInfo() const { return FFileInfo.empty() ? std::string() : FFileInfo.back(); }

  // ---- lookups that give the item or store a placeholder in ALink
  void GetLayers(TqdTableItem& ALink, std::string_view AName);
  void GetLTypes(TqdTableItem& ALink, std::string_view AName);

  // ---- results
  const std::string& AcadVer() const { return FAcadVer; }
  const std::string& CodePageName() const { return FCodePageName; }
  // Something that looks like DXF was read (a section, a table or an object).
  bool SawData() const { return FSawData; }

  TdxfLoadOptions FOptions;
  std::unordered_map<const TqdDXFEntity*, std::string_view> FDXFNames;
  // Column widths of the linked columns of multiline texts, by the handle of the text
  // that holds a column (files before R2018 list them in the first column's text).
  std::unordered_map<std::uint64_t, double> FMTextColumnWidths;

protected:
  TdxfReader(TqdDXFConverter* Conv, std::unique_ptr<TdxfTokenizer> ATokenizer);

  friend class TdxfObject;
  friend class TdxfMain;
  friend class TdxfHeader;
  friend class TdxfEntities;
  friend class TdxfObjects;
  friend class TdxfTable;
  friend class TdxfTables;
  friend class TdxfTableItem;
  friend class TdxfBlock;
  friend class TdxfDictionary;
  friend class TdxfLayout;
  friend class TdxfEntity;
  friend class TdxfObjectItem;
  friend class TdxfDirect;

  // ---- helpers of the reader objects
  void NoteProgress();
  void NoteDXFName(const TqdDXFEntity* E, std::string_view AName);
  // Puts a read object where it belongs: the dictionary that listed it, else OBJECTS.
  void PlaceObject(TdxfObject& AObj);
  // Adds a table item to ATable unless its name is there already; true when added.
  bool AddTableItem(TqdDXFEntity* ATable, TdxfObject& AChild);
  // E is gone: nothing may point at it any more.
  void ForgetObject(const TqdDXFEntity* E);
  void Forget(const TqdDXFEntity* E) override { FDXFNames.erase(E); }
  void FinishingTick() override {
    if (FOptions.OnProgress) FOptions.OnProgress(FTokenizer->Limit(), FTokenizer->Limit());
  }
  TqdDXFEntity* ObjectDestination(std::uint64_t AHandle) const;

  // ---- steps after reading
  void Finish();

  std::unique_ptr<TdxfTokenizer> FTokenizer;
  std::unique_ptr<TdxfObject> FMain;
  std::vector<std::string> FFileInfo;
  std::string FAcadVer, FCodePageName;
  bool FSawData = false;
  bool FSawEOF = false;
  bool FCancelled = false;

  std::unordered_map<std::uint64_t, TqdDXFDictionary*> FDictionaries;
  std::unordered_map<std::uint64_t, TqdDXFEntity*> FObjectsByHandle;
  struct TEntry {
    TqdDXFDictionary* Dictionary;
    std::string Name;
  };
  std::unordered_map<std::uint64_t, TEntry> FPendingEntries;
  std::set<std::string, std::less<>> FNameStore;  // DXF names outside the static table

  struct TNameHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view S) const { return std::hash<std::string_view>()(S); }
  };

public:
  // What an object name of the file stands for, looked up once per spelling.
  struct TNameInfo {
    TdxfKind Kind = dkUnknown;
    TqdEntityClass Class = nullptr;
    int MapperKind = -1;
  };
  TNameInfo NameInfo(std::string_view AName);

protected:
  std::unordered_map<std::string, TNameInfo, TNameHash, std::equal_to<>> FNameInfos;
  // The classes of the entities given as values (DXFDirect.h), by kind.
  TNameInfo FDirectInfos[4];
  bool FDirectInfoSet[4] = {};

  // Layers and linetypes found by name: thousands of entities name the same few.
  // Emptied whenever a table item is added or an item is dropped.
  std::unordered_map<std::string, TqdDXFEntity*, TNameHash, std::equal_to<>> FFoundLayers,
      FFoundLTypes;
  // DXFClassName by class (ClassName() is one static string per class).
  std::unordered_map<const char*, std::string> FClassNames;
  // The last class whose entity came under the class's own name, and that name as
  // given: runs of one type skip the map and the case-blind comparison.
  const char* FSameClass = nullptr;
  std::string FSameName;
  // The layer found last for an entity given as values, by the address of its pooled
  // name (one string per name for the whole load); only layers kept in FFoundLayers.
  const std::string* FDirectLayerName = nullptr;
  TqdDXFEntity* FDirectLayer = nullptr;
  void ForgetFoundItems() {
    FFoundLayers.clear();
    FFoundLTypes.clear();
    FDirectLayerName = nullptr;
    FDirectLayer = nullptr;
  }
};

// Binary DXF with 1- or 2-byte group codes.
class TdxfBinReader : public TdxfReader {
public:
  TdxfBinReader(TqdDXFConverter* AConverter, int AGroupCodeSize);
  int FGroupCodeSize;
};

// Loads DXF bytes (text or binary, detected) into AConverter. Never throws for bad
// input: failures are reported in the result, and what was read stays in the drawing.
TdxfLoadResult LoadDXFFromMemory(const void* AData, std::size_t ASize, TqdDXFConverter& AConverter,
                                 const TdxfLoadOptions& AOptions = {});
// Maps the file (or reads it when it cannot be mapped) and loads it.
TdxfLoadResult LoadDXFFile(const std::string& APath, TqdDXFConverter& AConverter,
                           const TdxfLoadOptions& AOptions = {});

// Registers the database classes the reader creates (call once at start-up).
void RegisterDXFReader();
