#pragma once
// The DWG reader: the version dispatch and the R13-R2000 file structure (file
// header, section locators, header variables, classes, object map, measurement).
//
// The file is read in place: every section and object read goes through a bounded
// bit cursor over the image, so no offset, size or count from the file reaches
// memory outside it. Releases whose container is not built fail with a message
// naming the version.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "DXFConv.h"
#include "qdDWGBits.h"
#include "qdDWGSegments.h"
#include "qdDWGUtils.h"
#include "qdLoadPasses.h"
#include "qdReaders.h"

class EdwgError : public EqdError {
public:
  using EqdError::EqdError;
};

// The file is shorter than its header, or a section lies beyond it.
class EdwgReadError : public EdwgError {
public:
  using EdwgError::EdwgError;
};

using TdwgLoadOptions = TqdLoadOptions;

struct TdwgLoadResult : TqdLoadResult {
  // 1 metric, 0 imperial, -1 unknown (no measurement record in the file).
  int Millimetres = -1;
};

// One section locator record.
struct TdwgLocator {
  int Number = 0;
  std::uint32_t Seeker = 0;
  std::uint32_t Size = 0;
};

// One class record of the classes section.
struct TdwgClass {
  int Number = 0;
  int ProxyFlags = 0;
  std::string AppName, CppName, DXFName;
  bool WasZombie = false;
  int ItemClassID = 0;
};

struct TdwgHeaderHandles {
  std::uint64_t CLAYER = 0, CELTYPE = 0, CMLSTYLE = 0, DIMSTYLE = 0, DIMBLK = 0, DIMBLK1 = 0, DIMBLK2 = 0,
                DIMLDRBLK = 0, DIMTXSTY = 0, TEXTSTYLE = 0;
};

// R2004 and later: the fixed bytes at the start of the file as stored.
struct TqdDWGMeatadata {
  std::string Version;
  int ReleaseVersion = 6;  // maintenance release
  std::uint32_t PreviewAddress = 0;
  int OrigFileSavedVer = 0, OrigFileSavedReleaseVer = 0;
  int CodePage = 0;
  std::uint32_t SecurityFlags = 0, SummaryInfoAddress = 0, VBAProjectAddress = 0;
};

// Reads the 44 metadata bytes; false when the file is shorter than that.
bool ReadDWGMetadata(const std::uint8_t* AData, std::size_t ASize, TqdDWGMeatadata& AOut);

// Header dates as read (day number and milliseconds).
struct TdwgHeaderDates {
  std::int64_t CreatedDay = 0, CreatedMs = 0, UpdatedDay = 0, UpdatedMs = 0, EditingDays = 0, EditingMs = 0;
};

class TdwgReader : public TqdDrawingLoader {
public:
  // AImage stays readable for the reader's life.
  TdwgReader(TqdDXFConverter& AConverter, const std::uint8_t* AImage, std::size_t ASize, TqdDWGVersion AVersion);
  TdwgReader(const TdwgReader&) = delete;
  TdwgReader& operator=(const TdwgReader&) = delete;
  virtual ~TdwgReader();

  // Reads the file header and every section the locators name.
  void ReadFile();

  // The object data of map element AIndex: a cursor over its bits (after the MS
  // size) and its size in bytes; false with AError set when the location, the size
  // or the CRC do not fit the image.
  // From R2010 on the cursor starts after the handle-stream size (at the type), and
  // the stored size counts from there.
  bool ObjectData(std::size_t AIndex, TdwgBitCursor& AData, std::string& AError) const;
  // The same with the object's bounds: Start is its first data bit (after the MS
  // size, and from R2010 on the handle-stream size), End
  // the bit after its data; from R2010 on HandlesAt is where the handle stream
  // begins (End minus the stored handle-stream size), before R2010 0 (the object's
  // RL bit size places it). SplitObjectStreams then gives data, strings, handles.
  struct TdwgObjectEnvelope {
    TdwgBitCursor Data;
    std::uint64_t Start = 0, End = 0, HandlesAt = 0;
  };
  bool ObjectEnvelope(std::size_t AIndex, TdwgObjectEnvelope& AOut, std::string& AError) const;

  // ---- what was read
  TqdDWGVersion Version() const { return FVersion; }
  std::size_t ImageSize() const { return FSize; }
  int CodePage() const { return FCodePage; }
  const std::vector<TdwgLocator>& Locators() const { return FLocators; }
  const std::vector<TdwgClass>& Classes() const { return FClasses; }
  const TqdObjectsMap& ObjMap() const { return FObjMap; }
  TqdObjectsMap& ObjMap() { return FObjMap; }
  const TdwgHeaderHandles& HeaderHandles() const { return FHeaderHandles; }
  const TdwgHeaderDates& HeaderDates() const { return FDates; }
  bool HeaderRead() const { return FHeaderRead; }
  const TqdDWGMeatadata& Metadata() const { return FMetadata; }
  void SetMetadata(const TqdDWGMeatadata& M) { FMetadata = M; }
  // Sections carry a 64-bit size: R2010 from maintenance release 4, and R2013 on.
  bool LateSized() const;
  // ISOLINES as read (kept for diagnostics; it says nothing about units).
  int IsoLines() const { return FIsoLines; }
  int Millimetres() const { return FMillimetres; }
  std::uint64_t MaxHandle() const { return FMaxHandle; }
  std::uint64_t ModelSpaceRecord() const { return FModelSpaceRecord; }
  std::uint64_t PaperSpaceRecord() const { return FPaperSpaceRecord; }

  // ---- handles of the tables and dictionaries, from the header
  std::uint64_t FBlockControl = 0, FLayerControl = 0, FStyleControl = 0, FLTypeControl = 0, FVPortControl = 0,
                FAppIDControl = 0, FDimStyleControl = 0, FViewControl = 0, FUCSControl = 0;
  std::uint64_t FGroupDict = 0, FMLStylesDict = 0, FNamedObjects = 0, FLayoutsDict = 0, FPlotSettingsDict = 0,
                FPlotStylesDict = 0, FMaterialDict = 0, FColors = 0;
  std::uint64_t FLTByLayer = 0, FLTByBlock = 0, FLTContinious = 0;

protected:
  // The section of a locator, or an exception "DWG file header is corrupted".
  TdwgBitCursor SectionCursor(const TdwgLocator& ALoc) const;
  void ReadHeaderVars(const TdwgLocator& ALoc);
  void ReadHeaderValues(TdwgBitCursor& D, TdwgBitCursor& S, TdwgBitCursor& H);
  void ReadClasses(const TdwgLocator& ALoc);
  void ReadObjectMap(const TdwgLocator& ALoc);
  void ReadMeasurement(const TdwgLocator& ALoc);
  void ReadSummaryInfo(const TdwgLocator& ALoc);
public:
  // Decodes the objects of the kinds read so far; ATypes holds each map element's
  // object type (-1 when its envelope does not fit the file).
  void ReadObjects(const std::vector<int>& ATypes);
  // R2013 on: the data-segment file (ACIS data by handle), when the file has one.
  const TqdSegmentedFile* SegmentedFile() const { return FSegmentedFile.get(); }
  // Handles of the objects that became drawing items.
  const std::unordered_set<std::uint64_t>& Decoded() const { return FDecoded; }
  // The objects were decoded and the drawing completed (ReadObjects did it all).
  bool ObjectsLoaded() const { return FObjectsLoaded; }
  // Warnings of the completing passes over the decoded objects.
  const std::vector<std::string>& ObjectWarnings() const { return FObjectWarnings; }
  // With ARecord, the object type each entity was read as, where its class names
  // another (TqdLoadResult::Names).
  void SetRecordNames(bool ARecord) { FRecordNames = ARecord; }
  // Called once every object is decoded, before the drawing is built: the owner of
  // a rebuilt image frees it there (the image is no longer read), which keeps it out
  // of the load's peak memory.
  void SetImageDone(std::function<void()> ADone) { FImageDone = std::move(ADone); }
  std::unordered_map<const TqdDXFEntity*, std::string_view>& ObjectNames() { return FObjectNames; }

protected:
  void ReadTemplate(const TdwgLocator& ALoc);
  void ReadDataSegments(const TdwgLocator& ALoc);

  const std::uint8_t* FImage;
  std::size_t FSize;
  TqdDWGVersion FVersion;
  int FCodePage = 0;
  std::vector<TdwgLocator> FLocators;
  std::vector<TdwgClass> FClasses;
  TqdObjectsMap FObjMap;
  TdwgHeaderHandles FHeaderHandles;
  TdwgHeaderDates FDates;
  std::unique_ptr<IColorReader> FColorReader;
  std::uint64_t FMaxHandle = 0;
  std::uint64_t FModelSpaceRecord = 0, FPaperSpaceRecord = 0;
  int FIsoLines = 0;
  int FMillimetres = -1;
  bool FHeaderRead = false;
  TqdDWGMeatadata FMetadata;
  std::unordered_set<std::uint64_t> FDecoded;
  std::unique_ptr<TqdSegmentedFile> FSegmentedFile;
  bool FObjectsLoaded = false;
  bool FRecordNames = false;
  std::function<void()> FImageDone;
  std::vector<std::string> FObjectWarnings;
  std::unordered_map<const TqdDXFEntity*, std::string_view> FObjectNames;
};

// Loads DWG bytes into AConverter. Never throws for bad input: failures are in the
// result, and what was read before a fault stays.
TdwgLoadResult LoadDWGFromMemory(const void* AData, std::size_t ASize, TqdDXFConverter& AConverter,
                                 const TdwgLoadOptions& AOptions = {});

// Registers the reader for format "dwg" (call once at start-up).
void RegisterDWGReader();

// The sentinels that open the header-variables and classes sections.
extern const std::uint8_t cnstDWGHeaderSentinel[16];
extern const std::uint8_t cnstDWGClassesSentinel[16];
