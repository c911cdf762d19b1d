#pragma once
// The data-segment file of R2013 and later ("AcDb:AcDsPrototype_1b"): a small
// file system of segments (index, data index, data, blobs) that holds the ACIS data
// of solids, regions, bodies and surfaces, served by object handle.
//
// Every count, offset and size is checked against its segment and against the
// stream before it is used; what does not fit leaves that entry without data.
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "qdError.h"

class TqdDXFConverter;

class TqdDataSegFileError : public EqdError {
public:
  using EqdError::EqdError;
};

struct TqdSegmentedFileHeader {
  std::uint32_t FileSignature = 0, FileHeaderSize = 0, Unknown3 = 0, Version = 0, Unknown5 = 0, DsEntryCount = 0,
                SegIdxOffset = 0, SegIdxUnknown = 0, SegIdxEntryCount = 0, SchIdxIndex = 0, DatIdxIndex = 0,
                SearchIndex = 0, PrvsavIndex = 0, FileSize = 0;
};

struct TqdFileSegmentHeader {
  std::uint16_t Signature = 0;
  std::string Name;  // six characters
  std::uint32_t SegmentIndex = 0, Unknown1 = 0, SegmentSize = 0, Unknown2 = 0, DataStorageRevision = 0,
                Unknown3 = 0, SysDataAlignOffset = 0, ObjDataAlignOffset = 0;
};

enum TqdSegIdxEntryType { stUnknown, stSegInd, stDatInd, stData, stSchInd, stSchData, stBlob01, stPrvsav, stFreesp };

struct TqdFileSegment {
  TqdFileSegmentHeader Header;
  std::uint64_t StartOffset = 0;
};

struct TqdSegIdxEntry {
  std::uint64_t Offset = 0;
  std::uint32_t Size = 0;
  TqdSegIdxEntryType Kind = stUnknown;
};

struct TqdDatIdxEntry {
  std::uint32_t SegmentIndex = 0, LocalOffset = 0, SchemaIndex = 0;
};

struct TqdDatHeaderEntry {
  std::uint32_t EntrySize = 0, Unknown = 0;
  std::uint64_t Handle = 0;
  std::uint32_t LocalOffset = 0;
};

struct TqdDataBlobReference {
  std::uint64_t TotalDataSize = 0;
  std::uint32_t PageCount = 0, RecordSize = 0, PageSize = 0, LastPageSize = 0, Unknown1 = 0, Unknown2 = 0;
  // (segment index, size) per page.
  std::vector<std::pair<std::uint32_t, std::uint32_t>> Pages;
};

struct TqdBlobEntryReferenceHeader {
  std::uint64_t TotalDataSize = 0, PageStartOffset = 0;
  std::uint32_t PageIndex = 0, PageCount = 0;
  std::uint64_t PageDataSize = 0;
};

struct TqdBlobEntryReference {
  TqdBlobEntryReferenceHeader Header;
  std::uint64_t SegmentOffset = 0;
  const std::uint8_t* Data = nullptr;
};

enum TqdDSDataEntryType { etUnknown, etACISBin, atACISTxt, etPNG };

struct TqdDataSegmentEntry {
  TqdDatHeaderEntry Header;
  TqdDataBlobReference BlobReference;
  std::uint64_t DataSize = 0;
  TqdDSDataEntryType EntryType = etUnknown;
  const std::uint8_t* Data = nullptr;  // into the file's own copy of the section
  bool DataNeedsToDispose = false;
};

// The type of entry data by its first bytes.
TqdDSDataEntryType DataSegmentEntryType(const std::uint8_t* AData, std::uint64_t ASize);

class TqdSegmentedFile {
public:
  // Copies the section bytes.
  void CreateFromMemory(TqdDXFConverter* AConverter, std::size_t ASize, const void* AMemory);
  // Reads everything; an empty stream raises TqdDataSegFileError "Data segment file
  // in not initialized". Damage never raises: the entries that fit are kept.
  void ReadFile();
  // The data entry of an object handle, or -1.
  std::ptrdiff_t IndexOf(std::uint64_t AHandle) const;
  // The entry, or an empty one for an index out of range (then false).
  bool GetDataEntry(std::ptrdiff_t AIndex, TqdDataSegmentEntry& AOut) const;

  std::size_t Count() const { return FDataSegment.size(); }
  const TqdSegmentedFileHeader& Header() const { return FHeader; }
  const std::vector<TqdSegIdxEntry>& SegmentIndex() const { return FSegIdxSegment; }
  // What did not fit, for load warnings.
  const std::vector<std::string>& Problems() const { return FProblems; }

private:
  bool ReadSegmentHeader(std::uint64_t AOffset, TqdFileSegment& AOut) const;
  // [start, end) of a segment within the stream.
  std::uint64_t SegmentEnd(const TqdFileSegment& S) const;
  void ReadDataSegment(std::size_t AIndex, const std::vector<std::uint32_t>& AOffsets);
  void ReadBlobSegments();
  void ReadBlobReference(TqdDataSegmentEntry& E, std::uint64_t APos, std::uint64_t AEnd);

  TqdDXFConverter* FConverter = nullptr;
  TqdSegmentedFileHeader FHeader;
  std::uint64_t FStartOffset = 0;
  std::vector<TqdSegIdxEntry> FSegIdxSegment;
  std::vector<TqdDatIdxEntry> FDatIdxEntries;
  std::map<std::uint32_t, std::vector<std::uint32_t>> FDatIdxOffsets;  // segment index -> local offsets
  std::vector<TqdDataSegmentEntry> FDataSegment;
  std::vector<TqdBlobEntryReference> FBlobEntries;
  std::vector<std::uint8_t> FStream;
  bool FBlobSegmentWasRead = false;
  std::vector<std::string> FProblems;
};
