// The data-segment file: a hand-made stream (segment index, data index, a data
// segment with an inline entry and a blob reference, a blob segment), its damaged
// variants, and the sections of the R2013 and R2018 corpus files.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>

#include "readers/dwg/DWG.h"
#include "readers/dwg/DWG2004.h"
#include "readers/dwg/qdDWGSegments.h"

namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<std::uint8_t>;

void Put32(Bytes& B, std::size_t At, std::uint32_t V) {
  if (B.size() < At + 4) B.resize(At + 4, 0);
  std::memcpy(B.data() + At, &V, 4);
}
void Put64(Bytes& B, std::size_t At, std::uint64_t V) {
  if (B.size() < At + 8) B.resize(At + 8, 0);
  std::memcpy(B.data() + At, &V, 8);
}
void PutText(Bytes& B, std::size_t At, const std::string& S) {
  if (B.size() < At + S.size()) B.resize(At + S.size(), 0);
  std::memcpy(B.data() + At, S.data(), S.size());
}

void Segment(Bytes& B, std::size_t At, const char* AName, std::uint32_t AIndex, std::uint32_t ASize,
             std::uint32_t AObjAlign = 0) {
  B.resize(std::max(B.size(), At + ASize), 0);
  B[At] = 0xD5, B[At + 1] = 0xAC;
  PutText(B, At + 2, AName);
  Put32(B, At + 8, AIndex);
  Put32(B, At + 16, ASize);
  Put32(B, At + 36, AObjAlign);
  for (int I = 40; I < 48; ++I) B[At + I] = 0x55;
}

// Offsets of the parts of the hand-made file.
constexpr std::size_t cSegIdx = 64, cDatIdx = 192, cData = 320, cBlob = 640;

Bytes SegmentFile() {
  Bytes B(56, 0);
  Put32(B, 24, cSegIdx);  // SegIdxOffset
  Put32(B, 32, 4);        // SegIdxEntryCount
  Put32(B, 40, 1);        // DatIdxIndex
  Segment(B, cSegIdx, "segidx", 0, 128);
  const std::size_t Offsets[4] = {0, cDatIdx, cData, cBlob};
  for (int I = 0; I < 4; ++I) {
    Put64(B, cSegIdx + 48 + 12 * I, Offsets[I]);
    Put32(B, cSegIdx + 56 + 12 * I, 128);
  }
  Segment(B, cDatIdx, "datidx", 1, 128);
  Put32(B, cDatIdx + 48, 3);  // entries
  const std::uint32_t Entries[3][3] = {{2, 0, 0}, {2, 20, 0}, {0, 40, 0}};
  for (int I = 0; I < 3; ++I)
    for (int K = 0; K < 3; ++K) Put32(B, cDatIdx + 56 + 12 * I + 4 * K, Entries[I][K]);
  // Data segment: entry headers after its header, data from 8 x 16 bytes on.
  Segment(B, cData, "_data_", 2, 320, 8);
  Put64(B, cData + 48 + 8, 0x30);
  Put32(B, cData + 48 + 16, 0);
  Put64(B, cData + 68 + 8, 0x2A);
  Put32(B, cData + 68 + 16, 64);
  Put32(B, cData + 128, 20);
  PutText(B, cData + 132, "ACIS BinaryFile 1234");
  Put32(B, cData + 192, 0xBB106BB1);
  Put64(B, cData + 196, 10);      // total size
  Put32(B, cData + 204, 1);       // one page
  Put32(B, cData + 228, 3);       // in segment 3
  Put32(B, cData + 232, 10);
  Segment(B, cBlob, "blob01", 3, 128);
  Put64(B, cBlob + 48, 10);
  Put32(B, cBlob + 68, 1);   // PageCount
  Put64(B, cBlob + 72, 10);  // PageDataSize
  PutText(B, cBlob + 80, "\x89PNG123456");
  return B;
}

TqdSegmentedFile Read(const Bytes& B) {
  TqdSegmentedFile F;
  F.CreateFromMemory(nullptr, B.size(), B.data());
  F.ReadFile();
  return F;
}

TEST(DWGSegmentedFile, ReadsEntriesByHandle) {
  const TqdSegmentedFile F = Read(SegmentFile());
  EXPECT_TRUE(F.Problems().empty()) << F.Problems().front();
  ASSERT_EQ(F.Count(), 2u);  // the entry of segment 0 is ignored
  TqdDataSegmentEntry E;
  ASSERT_TRUE(F.GetDataEntry(F.IndexOf(0x2A), E));
  EXPECT_EQ(E.EntryType, etPNG);
  EXPECT_EQ(E.DataSize, 10u);
  ASSERT_TRUE(F.GetDataEntry(F.IndexOf(0x30), E));
  EXPECT_EQ(E.EntryType, etACISBin);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(E.Data), E.DataSize), "ACIS BinaryFile 1234");
  EXPECT_EQ(F.IndexOf(5), -1);
  EXPECT_FALSE(F.GetDataEntry(7, E));
  EXPECT_EQ(E.Data, nullptr);
  EXPECT_EQ(F.SegmentIndex()[3].Kind, stBlob01);
  EXPECT_EQ(F.SegmentIndex()[0].Kind, stUnknown);
}

TEST(DWGSegmentedFile, EntryTypes) {
  const auto T = [](const char* S) { return DataSegmentEntryType(reinterpret_cast<const std::uint8_t*>(S), std::strlen(S)); };
  EXPECT_EQ(T("ASM BinaryFile4"), etACISBin);
  EXPECT_EQ(T("ACIS BinaryFile"), etACISBin);
  EXPECT_EQ(T("\x89PNG\r\n"), etPNG);
  EXPECT_EQ(T("ACIS Binary"), etUnknown);
  EXPECT_EQ(T("400 0 1 0"), etUnknown);
}

TEST(DWGSegmentedFile, DamageLeavesEntriesWithoutData) {
  struct Row {
    const char* Name;
    std::function<void(Bytes&)> Edit;
    std::size_t Entries;  // entries kept
    bool AcisData, PngData;
  } Rows[] = {
      {"segment_index_count", [](Bytes& B) { Put32(B, 32, 0xFFFFFFFF); }, 0, false, false},
      {"segment_index_offset_beyond", [](Bytes& B) { Put32(B, 24, 0x7FFFFFFF); }, 0, false, false},
      {"segment_index_alignment", [](Bytes& B) { B[cSegIdx + 47] = 0; }, 0, false, false},
      {"data_index_index", [](Bytes& B) { Put32(B, 40, 4); }, 0, false, false},
      {"data_index_count", [](Bytes& B) { Put32(B, cDatIdx + 48, 0x7FFFFFFF); }, 0, false, false},
      {"entry_offset_beyond", [](Bytes& B) { Put64(B, cSegIdx + 48 + 24, 0xFFFFFFFFFFFF); }, 0, false, false},
      {"entry_local_offset", [](Bytes& B) { Put32(B, cDatIdx + 56 + 4, 0xFFFFFFF0); }, 1, false, true},
      // h + 4 wraps in 32 bits.
      {"data_size_wraps", [](Bytes& B) { Put32(B, cData + 128, 0xFFFFFFFC); }, 2, false, true},
      {"data_size_past_segment", [](Bytes& B) { Put32(B, cData + 128, 200); }, 2, false, true},
      {"data_local_offset", [](Bytes& B) { Put32(B, cData + 48 + 16, 0xFFFFFFF0); }, 2, false, true},
      {"segment_size_beyond_stream", [](Bytes& B) { Put32(B, cData + 16, 0xFFFFFFFF); }, 2, true, true},
      {"blob_page_count", [](Bytes& B) { Put32(B, cData + 204, 0xFFFFFFFF); }, 2, true, false},
      {"blob_two_pages", [](Bytes& B) { Put32(B, cData + 204, 2); }, 2, true, false},
      {"blob_page_segment", [](Bytes& B) { Put32(B, cData + 228, 99); }, 2, true, false},
      {"blob_record_size", [](Bytes& B) { Put64(B, cBlob + 72, 0xFFFFFFFFFFFF); }, 2, true, false},
      {"blob_record_count", [](Bytes& B) { Put32(B, cBlob + 68, 0x7FFFFFFF); }, 2, true, true},
  };
  for (const Row& R : Rows) {
    Bytes B = SegmentFile();
    R.Edit(B);
    const TqdSegmentedFile F = Read(B);
    EXPECT_EQ(F.Count(), R.Entries) << R.Name;
    TqdDataSegmentEntry E;
    EXPECT_EQ(F.GetDataEntry(F.IndexOf(0x30), E) && E.Data != nullptr, R.AcisData) << R.Name;
    EXPECT_EQ(F.GetDataEntry(F.IndexOf(0x2A), E) && E.Data != nullptr, R.PngData) << R.Name;
    for (std::size_t I = 0; I < F.Count(); ++I)
      if (F.GetDataEntry(static_cast<std::ptrdiff_t>(I), E) && E.Data)
        EXPECT_TRUE(E.DataSize <= B.size()) << R.Name;
  }
  // Every truncation reads cleanly.
  const Bytes Whole = SegmentFile();
  for (std::size_t N = 1; N < Whole.size(); N += 7) (void)Read(Bytes(Whole.begin(), Whole.begin() + N));
  TqdSegmentedFile Empty;
  try {
    Empty.ReadFile();
    ADD_FAILURE();
  } catch (const TqdDataSegFileError& X) {
    EXPECT_STREQ(X.what(), "Data segment file in not initialized");
  }
}

// The corpus: every R2013 and R2018 file's data-segment section reads without
// problems, and every ACIS entry is found by its handle.
TEST(DWGSegmentedFile, CorpusSections) {
  const fs::path Dir = fs::path(DRAFTWELL_CORPUS_DIR) / "dwg";
  std::error_code EC;
  if (!fs::is_directory(Dir, EC)) GTEST_SKIP() << "no DWG corpus at " << Dir;
  int Files = 0, WithSegments = 0;
  std::size_t Acis = 0;
  for (const auto& D : fs::directory_iterator(Dir, EC)) {
    const std::string N = D.path().filename().string();
    if (N.rfind("r2013_", 0) != 0 && N.rfind("r2018_", 0) != 0) continue;
    std::ifstream In(D.path(), std::ios::binary);
    const Bytes F(std::istreambuf_iterator<char>(In), {});
    const TdwgVersionInfo V = DWGVersionFromBytes(F.data(), F.size());
    TdwgContainerImage Img;
    ReadDWG2004Container(F.data(), F.size(), V.Version, Img);
    ++Files;
    TqdConverterRef C(new TqdDXFConverter(TqdConverterParams{true, {}}));
    TdwgReader R(*C.get(), Img.Data.data(), Img.Size, V.Version);
    TqdDWGMeatadata M;
    ASSERT_TRUE(ReadDWGMetadata(F.data(), F.size(), M));
    R.SetMetadata(M);
    R.ReadFile();
    for (const std::string& W : R.Warnings()) EXPECT_EQ(W.find("data-segment"), std::string::npos) << N << ": " << W;
    const TqdSegmentedFile* S = R.SegmentedFile();
    if (!S) continue;
    ++WithSegments;
    for (std::size_t I = 0; I < S->Count(); ++I) {
      TqdDataSegmentEntry E;
      ASSERT_TRUE(S->GetDataEntry(static_cast<std::ptrdiff_t>(I), E));
      if (E.EntryType != etACISBin) continue;
      ++Acis;
      EXPECT_GE(S->IndexOf(E.Header.Handle), 0) << N;
    }
  }
  EXPECT_GT(Files, 0);
  EXPECT_GT(WithSegments, 0);
  RecordProperty("acis_entries", static_cast<int>(Acis));
  std::printf("data-segment files: %d of %d; ACIS entries: %zu\n", WithSegments, Files, Acis);
}

} // namespace
