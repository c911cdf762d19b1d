#pragma once
// The reader of R9 to R12 drawings ("AC1004", "AC1006", "AC1009"): a byte-oriented
// layout of a fixed header with the section addresses and table descriptors,
// fixed-size table entries, and length-framed entity records.
//
// Every read goes through a cursor bounded by the record (or table entry) and the
// file: a record whose fields run past its length is dropped and passed over by its
// length, a length below the record header ends the section, and groups (blocks,
// polylines, inserts with attributes) take only the children their kind can hold, so
// nesting never follows the file.
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "DXFConv.h"
#include "qdDWGUtils.h"
#include "qdLoadPasses.h"
#include "qdReaders.h"

class TqdDXFBlock;
class TqdDXFBlockRecord;
class TqdDXFLayer;
class TqdDXFLineType;
class TqdDXFStyle;
class TqdDXFVport;
class TqdDXFViewport;

// A cursor over [Pos, End) of one image: reads past End return 0 and set Bad.
class Tdwg12Cursor {
public:
  Tdwg12Cursor() = default;
  Tdwg12Cursor(const std::uint8_t* AImage, std::size_t APos, std::size_t AEnd) : FImage(AImage), FPos(APos), FEnd(AEnd) {}
  int RC();
  int RS();            // unsigned 16 bits
  int RSS();           // signed 16 bits
  std::uint32_t RL();
  double RD();         // non-finite values read as 0
  TFPoint Point2(double AZ);
  TFPoint Point3();
  // At most AMax bytes of a string (RS length, then the bytes); the rest is skipped.
  std::string String(std::size_t AMax = 256);
  // A fixed field of N bytes up to its first NUL.
  std::string Fixed(std::size_t N);
  void Skip(std::size_t N);
  bool Bad() const { return FBad; }
  std::size_t Pos() const { return FPos; }
  std::size_t End() const { return FEnd; }
  std::size_t Left() const { return FPos < FEnd ? FEnd - FPos : 0; }
  bool Take(std::size_t N);  // false (and Bad) when fewer than N bytes are left

private:
  const std::uint8_t* FImage = nullptr;
  std::size_t FPos = 0, FEnd = 0;
  bool FBad = false;
};

// A table descriptor of the file header.
struct Tdwg12TableRecord {
  int Size = 0;
  int Count = 0;
  std::uint32_t Start = 0;
};

// The file header fields the reader uses.
struct Tdwg12Header {
  std::uint32_t Entities = 0, EntEnd = 0, Blocks = 0, BlockEnd = 0;
  Tdwg12TableRecord BlockRecords, Layers, Styles, LTypes, View;
};

// The readers' limits (the format itself has none).
struct Tdwg12Limits {
  static constexpr int ElevationPlaces = 5;
  // Paper-space layouts one drawing may name.
  static constexpr int MaxLayouts = 255;
  // Bytes of the file header and the VPORT descriptor at 0x500.
  static constexpr std::size_t HeaderBytes = 356;
  static constexpr std::size_t VPortDescriptor = 0x500;
  // R11/R12 only.
  static constexpr std::size_t AppIDDescriptor = 0x512;
  static constexpr std::size_t DimStyleDescriptor = 0x522;
  static constexpr std::size_t TileModeOffset = 0x631;
};

// One record's frame: type, flags, and its extent in the image.
struct Tdwg12Frame {
  int Type = 0, Flags = 0;
  std::size_t Start = 0, End = 0;
};

class Tdwg11Reader : public TqdDrawingLoader {
public:
  Tdwg11Reader(TqdDXFConverter& AConverter, const std::uint8_t* AImage, std::size_t ASize, TqdDWGVersion AVersion);
  ~Tdwg11Reader() override;

  void ReadFile();
  void SetProgress(std::function<void(std::size_t, std::size_t)> F) { FOnProgress = std::move(F); }

  const Tdwg12Header& Header() const { return FHeader; }
  std::uint64_t ProgressTotal() const { return FCount; }
  // The layout blocks, model space first.
  const std::vector<TqdDXFBlock*>& Layouts() const { return FLayouts; }
  int ElevationDepth() const { return FElevIndex; }
  // Items read under another name than their class's (3DLINE as a line).
  const std::vector<std::pair<const TqdDXFEntity*, const char*>>& ReadNames() const { return FNames; }

protected:
  virtual int NameBytes() const { return 32; }
  virtual bool WideLTypeIndex() const { return false; }
  bool IsR9() const { return FVersion == acR09; }

  void ReadHeader();
  void ReadBlockRecords();
  void ReadLayers();
  void ReadStyles();
  void ReadLTypes();
  void ReadVPorts();
  void ReadNamedTables();
  // Calls Entry for each entry cursor of the table; AMin is the smallest entry that
  // holds the fields read.
  template <class F> void ForEachEntry(const Tdwg12TableRecord& T, const char* AName, std::size_t AMin, F Entry);
  void ReadBlocksSection();
  void ReadEntitiesSection();
  // The frame at APos inside [.., ASecEnd); false ends the section.
  bool Frame(std::size_t APos, std::size_t ASecEnd, Tdwg12Frame& AOut);
  // Reads the record at AFrame (and its group); returns where the next record starts.
  // AOwner receives the item (null: read and dropped). AInBlocks: inside a block
  // definition. ADepth: nesting of groups.
  std::size_t ReadRecord(const Tdwg12Frame& AFrame, std::size_t ASecEnd, TqdDXFEntity* AOwner, bool AInBlocks,
                         int ADepth);
  std::unique_ptr<TqdDXFEntity> ReadEntity(const Tdwg12Frame& AFrame, bool AInBlocks, int& APaper, bool& APushed);
  void ReadViewportEED(TqdDXFViewport& V, Tdwg12Cursor C);
  void Finish();

  // Elevation stack
  void PushElevation(double Z);
  void PopElevation();
  double Elevation() const { return FElevations[static_cast<std::size_t>(FElevIndex)]; }

  void Progress(std::size_t AAdd);
  TqdDXFBlock* NewBlock(const std::string& AName);
  void AddLayout(const std::string& ABlockName, int AAt);

  const std::uint8_t* FImage;
  std::size_t FSize;
  TqdDWGVersion FVersion;
  Tdwg12Header FHeader;
  Tdwg12TableRecord FVPortTableRecord, FAppIDTableRecord, FDimStyleTableRecord;
  std::vector<TqdDXFBlockRecord*> FBlockRecords;  // by table index (null: none)
  std::vector<std::uint32_t> FBlockOffsets;
  std::vector<bool> FBlockDefined;
  std::vector<TqdDXFLayer*> FLayers;
  std::vector<TqdDXFStyle*> FStyles;
  std::vector<TqdDXFLineType*> FLTypes;
  std::vector<TqdDXFVport*> FVPorts;
  std::vector<TqdDXFBlock*> FLayouts;
  int FPaperRecords = 0;
  int FStandardStyle = -1;
  int FBlockLayout = 0;  // the layout whose block is being read (entities section: -1)
  std::array<double, Tdwg12Limits::ElevationPlaces> FElevations{};
  int FElevIndex = 0;
  std::uint64_t FCount = 1, FDone = 0;
  std::size_t FCorrupt = 0;
  std::function<void(std::size_t, std::size_t)> FOnProgress;
  std::vector<std::pair<const TqdDXFEntity*, const char*>> FNames;
};

class Tdwg12Reader : public Tdwg11Reader {
public:
  using Tdwg11Reader::Tdwg11Reader;

protected:
  int NameBytes() const override { return 34; }
  bool WideLTypeIndex() const override { return true; }
};

// The releases this reader takes: AC1004 (R9), AC1006 (R10), AC1009 (R11/R12).
bool IsDWG12Release(const TdwgVersionInfo& AInfo);

// Reads an R9-R12 image into AConverter (cleared first) and fills AResult; never
// throws for bad input.
void LoadDWG12(const std::uint8_t* AImage, std::size_t ASize, const TdwgVersionInfo& AInfo, TqdDXFConverter& AConverter,
               const TqdLoadOptions& AOptions, TqdLoadResult& AResult);
