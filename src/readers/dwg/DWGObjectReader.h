#pragma once
// The object reader of DWGObjects.cpp, as the decoders of DWGTables.cpp see it
// through TdwgObj::Ctx (the names of layers, styles, blocks read so far).
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "DWGDirect.h"
#include "DWGObjects.h"
#include "readers/dxf/DXF.h"

class TdwgObjectReader {
public:
  TdwgObjectReader(TdwgReader& AReader, const std::vector<int>& ATypes)
      : R(AReader), FTypes(ATypes), FColors(CreateColorReader(AReader.Version())) {}

  // Decodes every object; the drawing as binary DXF.
  std::string Run();

  TdwgReader& R;
  IColorReader& Colors() { return *FColors; }

  // ---- names of table records by handle ("" when unknown)
  std::unordered_map<std::uint64_t, std::string> FLayers, FLTypes, FStyles, FDimStyles, FBlocks, FAppIDs, FMLStyles;
  static const std::string& Find(const std::unordered_map<std::uint64_t, std::string>& M, std::uint64_t H) {
    static const std::string Empty;
    auto It = M.find(H);
    return It == M.end() ? Empty : It->second;
  }

  // Block records.
  struct TBlockHeader {
    std::uint64_t Handle = 0, BlockEnt = 0, EndBlk = 0, Layout = 0, Owner = 0;
    std::string Name, Xref, Description;
    int Flags = 0;
    TFPoint Base;
    std::string EntryGroups, EntryEED;  // the BLOCK_RECORD entry
  };
  std::vector<TBlockHeader> FBlockHeaders;
  // The block control's entries, in order: anonymous and extra paper-space records
  // are named by their position here.
  std::vector<std::uint64_t> FBlockEntries;
  // BLOCK and ENDBLK entities by handle: their common groups.
  struct TMarker {
    std::string Layer;
    bool Paper = false;
    std::string EED;
  };
  std::unordered_map<std::uint64_t, TMarker> FMarkers;

  struct TRecord {
    std::uint64_t Handle = 0, Owner = 0;
    const TdwgDecoder* Dec = nullptr;
    std::string Groups, EED;
    std::int32_t Direct = -1;  // given as values: its place in FDirect
  };
  std::vector<TRecord> FEntities;
  // Entities given as values, in the order read; the image names them by position.
  TdxfDirectList FDirect;
  TdwgNamePool FNames;
  const bool FDirectOn = DWGDirectEntities();
  // Table entries and controls by table name.
  std::map<std::string, std::vector<std::string>> FTableEntries;
  std::map<std::string, std::string> FTableHeads;
  std::vector<std::pair<std::uint64_t, std::string>> FObjects;
  struct TStyleEntry {
    std::uint64_t Handle;
    std::string Groups, EED;
  };
  std::vector<TStyleEntry> FStyleEntries;
  // Styles without a name become "SHAPE0", "SHAPE1" ... (the first free).
  void NameShapeStyles();
  // Viewport numbers (group 69) by handle, from the lists of the layouts (R2004 and
  // later): the first listed is the layout's own paper-space viewport, number 1.
  std::unordered_map<std::uint64_t, int> FViewportIds;
  std::unordered_map<std::uint64_t, int> FListedViewports;  // paper block -> listed count
  std::unordered_set<std::uint64_t> FViewportsOff;
  // Gives every viewport its number: the listed ones theirs, the others the next
  // numbers of their block in the order they were read.
  void NumberViewports();
  // The header's current layer, linetype and styles, named by their handles.
  void ApplyHeaderNames(TqdHeadVarStruct& H) const;

private:
  const TdwgDecoder* DecoderOf(int AType, std::string& AName) const;
  // Decodes map element I; false when it failed.
  bool DecodeOne(std::size_t I, const TdwgDecoder& Dec, int AType);
  // The common values of an entity given as values (DWGDirect.h); false when it
  // keeps its groups.
  bool DirectHead(TdwgObj& O, const TdwgDecoder& Dec, TdxfDirectEntity& E);
  void ReadEntityCommon(TdwgObj& O, TdwgBitCursor& C, std::uint64_t& AHandlesAt);
  void ReadEED(TdwgObj& O, TdwgBitCursor& C);
  void WriteEntityHead(TdwgObj& O, const TdwgDecoder& Dec, TdwgGroupWriter& W);
  std::string Assemble();
  void WriteEntity(TdwgGroupWriter& W, std::size_t AIndex, bool APaper, int ADepth);
  // Writes the marker of the run of entities given as values not yet written.
  void FlushDirect(TdwgGroupWriter& W);
  std::int32_t FRunFirst = 0, FRunCount = 0;
  void Fail(std::uint64_t AHandle, const char* AName, const std::string& AWhy);

  const std::vector<int>& FTypes;
  std::unique_ptr<IColorReader> FColors;
  // Entities of classes without a decoder of their own, by class number.
  mutable std::unordered_map<int, TdwgDecoder> FClassDecoders;
  std::unordered_map<std::uint64_t, std::vector<std::size_t>> FChildren;  // entity -> sub-entities
  std::unordered_map<std::uint64_t, std::size_t> FSeqends;                // owner -> SEQEND record
  std::size_t FFailed = 0;
  std::string FFirstFailure;
  TdwgGroupWriter FScratch;  // the groups of the object being decoded
  std::unique_ptr<TdwgStringReader> FStrings;
};
