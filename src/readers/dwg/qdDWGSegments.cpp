#include "qdDWGSegments.h"

#include <algorithm>
#include <cstring>

#include "qdDWGBits.h"

namespace {

constexpr std::uint32_t cnstBlobMarker = 0xBB106BB1;
constexpr std::uint64_t cnstSegmentHeader = 48;

TqdSegIdxEntryType KindOf(const std::string& N) {
  if (N == "segidx") return stSegInd;
  if (N == "datidx") return stDatInd;
  if (N == "_data_") return stData;
  if (N == "schidx") return stSchInd;
  if (N == "schdat" || N == "search") return stSchData;
  if (N == "blob01") return stBlob01;
  if (N == "prvsav") return stPrvsav;
  if (N == "freesp") return stFreesp;
  return stUnknown;
}

} // namespace

TqdDSDataEntryType DataSegmentEntryType(const std::uint8_t* D, std::uint64_t N) {
  const auto Starts = [&](const char* S) {
    const std::size_t L = std::strlen(S);
    return N >= L && std::memcmp(D, S, L) == 0;
  };
  if (!D) return etUnknown;
  if (Starts("ACIS BinaryFile") || Starts("ASM BinaryFile")) return etACISBin;
  if (Starts("\x89PNG")) return etPNG;
  return etUnknown;
}

void TqdSegmentedFile::CreateFromMemory(TqdDXFConverter* AConverter, std::size_t ASize, const void* AMemory) {
  FConverter = AConverter;
  const auto* P = static_cast<const std::uint8_t*>(AMemory);
  FStream.assign(P, P + (P ? ASize : 0));
}

bool TqdSegmentedFile::ReadSegmentHeader(std::uint64_t A, TqdFileSegment& S) const {
  if (A > FStream.size() || FStream.size() - A < cnstSegmentHeader) return false;
  const std::uint8_t* P = FStream.data() + A;
  for (int I = 40; I < 48; ++I)
    if (P[I] != 0x55) return false;
  TqdFileSegmentHeader& H = S.Header;
  H.Signature = static_cast<std::uint16_t>(P[0] | (P[1] << 8));
  H.Name.assign(reinterpret_cast<const char*>(P + 2), 6);
  H.SegmentIndex = qdLoadRL(P + 8);
  H.Unknown1 = qdLoadRL(P + 12);
  H.SegmentSize = qdLoadRL(P + 16);
  H.Unknown2 = qdLoadRL(P + 20);
  H.DataStorageRevision = qdLoadRL(P + 24);
  H.Unknown3 = qdLoadRL(P + 28);
  H.SysDataAlignOffset = qdLoadRL(P + 32);
  H.ObjDataAlignOffset = qdLoadRL(P + 36);
  S.StartOffset = A;
  return true;
}

std::uint64_t TqdSegmentedFile::SegmentEnd(const TqdFileSegment& S) const {
  // The stored size is the file's word: the stream bounds it.
  return std::min<std::uint64_t>(S.StartOffset + S.Header.SegmentSize, FStream.size());
}

void TqdSegmentedFile::ReadFile() {
  FSegIdxSegment.clear();
  FDatIdxEntries.clear();
  FDatIdxOffsets.clear();
  FDataSegment.clear();
  FBlobEntries.clear();
  FBlobSegmentWasRead = false;
  FProblems.clear();
  if (FStream.empty()) throw TqdDataSegFileError("Data segment file in not initialized");
  if (FStream.size() < 56) {
    FProblems.push_back("shorter than its header");
    return;
  }
  const std::uint8_t* P = FStream.data();
  TqdSegmentedFileHeader& H = FHeader;
  std::uint32_t* const Fields[14] = {&H.FileSignature, &H.FileHeaderSize, &H.Unknown3,     &H.Version,
                                     &H.Unknown5,      &H.DsEntryCount,   &H.SegIdxOffset, &H.SegIdxUnknown,
                                     &H.SegIdxEntryCount, &H.SchIdxIndex, &H.DatIdxIndex,  &H.SearchIndex,
                                     &H.PrvsavIndex,   &H.FileSize};
  for (int I = 0; I < 14; ++I) *Fields[I] = qdLoadRL(P + 4 * I);
  const std::uint64_t SegIdxAt = FHeader.SegIdxOffset;
  FStartOffset = 0;
  TqdFileSegment SI;
  if (SegIdxAt == 0 || !ReadSegmentHeader(SegIdxAt, SI)) {
    if (SegIdxAt != 0) FProblems.push_back("no segment index at " + std::to_string(SegIdxAt));
    return;
  }
  // Each entry is 12 bytes: the count is bounded by what follows the header.
  const std::uint64_t EntriesAt = SegIdxAt + cnstSegmentHeader;
  const std::uint64_t Count = FHeader.SegIdxEntryCount;
  if (Count > (FStream.size() - EntriesAt) / 12) {
    FProblems.push_back("segment index of " + std::to_string(Count) + " entries does not fit the stream");
    return;
  }
  FSegIdxSegment.resize(static_cast<std::size_t>(Count));
  for (std::size_t I = 0; I < Count; ++I) {
    TqdSegIdxEntry& E = FSegIdxSegment[I];
    E.Offset = qdLoadRLL(P + EntriesAt + 12 * I);
    E.Size = qdLoadRL(P + EntriesAt + 12 * I + 8);
    TqdFileSegment S;
    if (E.Offset != 0 && ReadSegmentHeader(E.Offset, S)) E.Kind = KindOf(S.Header.Name);
  }
  // The data index.
  if (FHeader.DatIdxIndex >= FSegIdxSegment.size()) {
    FProblems.push_back("data index " + std::to_string(FHeader.DatIdxIndex) + " is not in the segment index");
    return;
  }
  TqdFileSegment DI;
  if (!ReadSegmentHeader(FSegIdxSegment[FHeader.DatIdxIndex].Offset, DI)) {
    FProblems.push_back("no data index segment");
    return;
  }
  {
    const std::uint64_t End = SegmentEnd(DI);
    const std::uint64_t At = DI.StartOffset + cnstSegmentHeader;
    if (End < At + 8) {
      FProblems.push_back("data index cut short");
      return;
    }
    const std::uint64_t N = qdLoadRL(P + At);  // RL count, RL skipped
    if (N > (End - At - 8) / 12) {
      FProblems.push_back("data index of " + std::to_string(N) + " entries does not fit its segment");
      return;
    }
    for (std::uint64_t I = 0; I < N; ++I) {
      const std::uint8_t* Q = P + At + 8 + 12 * I;
      TqdDatIdxEntry E{qdLoadRL(Q), qdLoadRL(Q + 4), qdLoadRL(Q + 8)};
      if (E.SegmentIndex == 0) continue;
      FDatIdxEntries.push_back(E);
      FDatIdxOffsets[E.SegmentIndex].push_back(E.LocalOffset);
    }
  }
  for (const auto& [Index, Offsets] : FDatIdxOffsets)
    if (Index < FSegIdxSegment.size() && FSegIdxSegment[Index].Kind == stData) ReadDataSegment(Index, Offsets);
  std::stable_sort(FDataSegment.begin(), FDataSegment.end(),
                   [](const TqdDataSegmentEntry& A, const TqdDataSegmentEntry& B) {
                     return A.Header.Handle < B.Header.Handle;
                   });
}

void TqdSegmentedFile::ReadDataSegment(std::size_t AIndex, const std::vector<std::uint32_t>& AOffsets) {
  TqdFileSegment S;
  if (!ReadSegmentHeader(FSegIdxSegment[AIndex].Offset, S)) return;
  const std::uint64_t End = SegmentEnd(S);
  const std::uint8_t* P = FStream.data();
  const std::size_t First = FDataSegment.size();
  for (const std::uint32_t L : AOffsets) {
    const std::uint64_t At = S.StartOffset + cnstSegmentHeader + L;  // 64-bit: L is the file's word
    if (At + 20 > End) {
      FProblems.push_back("data entry header beyond its segment");
      continue;
    }
    TqdDataSegmentEntry E;
    E.Header.EntrySize = qdLoadRL(P + At);
    E.Header.Unknown = qdLoadRL(P + At + 4);
    E.Header.Handle = qdLoadRLL(P + At + 8);
    E.Header.LocalOffset = qdLoadRL(P + At + 16);
    FDataSegment.push_back(E);
  }
  for (std::size_t I = First; I < FDataSegment.size(); ++I) {
    TqdDataSegmentEntry& E = FDataSegment[I];
    const std::uint64_t Pos =
        S.StartOffset + static_cast<std::uint64_t>(S.Header.ObjDataAlignOffset) * 16 + E.Header.LocalOffset;
    if (Pos > End || End - Pos < 4) continue;
    const std::uint64_t H = qdLoadRL(P + Pos);
    if (H == 0) continue;
    if (H == cnstBlobMarker) {
      ReadBlobReference(E, Pos + 4, End);
      continue;
    }
    // 64-bit: h + 4 must not wrap.
    if (H > End - Pos - 4) {
      FProblems.push_back("data entry of " + std::to_string(H) + " bytes larger than its segment");
      continue;
    }
    E.Data = P + Pos + 4;
    E.DataSize = H;
    E.EntryType = DataSegmentEntryType(E.Data, H);
  }
}

void TqdSegmentedFile::ReadBlobSegments() {
  FBlobSegmentWasRead = true;
  const std::uint8_t* P = FStream.data();
  for (const TqdSegIdxEntry& SE : FSegIdxSegment) {
    if (SE.Kind != stBlob01) continue;
    TqdFileSegment S;
    if (!ReadSegmentHeader(SE.Offset, S)) continue;
    const std::uint64_t End = SegmentEnd(S);
    std::uint64_t At = S.StartOffset + cnstSegmentHeader;
    std::uint64_t Records = 1;
    for (std::uint64_t R = 0; R < Records; ++R) {
      if (At > End || End - At < 32) break;
      TqdBlobEntryReference B;
      B.Header.TotalDataSize = qdLoadRLL(P + At);
      B.Header.PageStartOffset = qdLoadRLL(P + At + 8);
      B.Header.PageIndex = qdLoadRL(P + At + 16);
      B.Header.PageCount = qdLoadRL(P + At + 20);
      B.Header.PageDataSize = qdLoadRLL(P + At + 24);
      if (R == 0) Records = B.Header.PageCount;  // bounded by the segment below
      if (B.Header.PageDataSize > End - At - 32) {
        FProblems.push_back("blob record larger than its segment");
        break;
      }
      B.SegmentOffset = S.StartOffset;
      B.Data = P + At + 32;
      FBlobEntries.push_back(B);
      At += 32 + B.Header.PageDataSize;
    }
  }
  std::stable_sort(FBlobEntries.begin(), FBlobEntries.end(),
                   [](const TqdBlobEntryReference& A, const TqdBlobEntryReference& B) {
                     return A.SegmentOffset < B.SegmentOffset;
                   });
}

void TqdSegmentedFile::ReadBlobReference(TqdDataSegmentEntry& E, std::uint64_t At, std::uint64_t End) {
  if (!FBlobSegmentWasRead) ReadBlobSegments();
  if (At > End || End - At < 32) return;
  const std::uint8_t* P = FStream.data() + At;
  TqdDataBlobReference& R = E.BlobReference;
  R.TotalDataSize = qdLoadRLL(P);
  R.PageCount = qdLoadRL(P + 8);
  R.RecordSize = qdLoadRL(P + 12);
  R.PageSize = qdLoadRL(P + 16);
  R.LastPageSize = qdLoadRL(P + 20);
  R.Unknown1 = qdLoadRL(P + 24);
  R.Unknown2 = qdLoadRL(P + 28);
  // 8 bytes per page, within the segment.
  if (R.PageCount > (End - At - 32) / 8) {
    FProblems.push_back("blob reference of " + std::to_string(R.PageCount) + " pages does not fit its segment");
    R.PageCount = 0;
    return;
  }
  for (std::uint32_t I = 0; I < R.PageCount; ++I) R.Pages.emplace_back(qdLoadRL(P + 32 + 8 * I), qdLoadRL(P + 36 + 8 * I));
  if (R.PageCount != 1) return;  // multi-page blobs get no data
  const std::uint32_t Seg = R.Pages[0].first;
  if (Seg >= FSegIdxSegment.size()) return;
  const std::uint64_t Offset = FSegIdxSegment[Seg].Offset;
  const auto It = std::lower_bound(FBlobEntries.begin(), FBlobEntries.end(), Offset,
                                   [](const TqdBlobEntryReference& B, std::uint64_t O) { return B.SegmentOffset < O; });
  if (It == FBlobEntries.end() || It->SegmentOffset != Offset) return;
  E.Data = It->Data;
  E.DataSize = It->Header.PageDataSize;
  E.EntryType = DataSegmentEntryType(E.Data, E.DataSize);
}

std::ptrdiff_t TqdSegmentedFile::IndexOf(std::uint64_t AHandle) const {
  const auto It = std::lower_bound(FDataSegment.begin(), FDataSegment.end(), AHandle,
                                   [](const TqdDataSegmentEntry& E, std::uint64_t H) { return E.Header.Handle < H; });
  if (It == FDataSegment.end() || It->Header.Handle != AHandle) return -1;
  return It - FDataSegment.begin();
}

bool TqdSegmentedFile::GetDataEntry(std::ptrdiff_t AIndex, TqdDataSegmentEntry& AOut) const {
  if (AIndex < 0 || static_cast<std::size_t>(AIndex) >= FDataSegment.size()) {
    AOut = TqdDataSegmentEntry{};
    return false;
  }
  AOut = FDataSegment[static_cast<std::size_t>(AIndex)];
  return true;
}
