// What the first bytes of a file say it is, and the whole file held in memory.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "qdFileKinds.h"
#include "qdMappedFile.h"

namespace fs = std::filesystem;

namespace {

struct TKindRow {
  const char* Name;
  std::string Bytes;
  const char* Family;
  const char* Version;
};

std::string Bytes(const char* S, std::size_t N) { return std::string(S, N); }

class ContentKind : public testing::TestWithParam<TKindRow> {};

TEST_P(ContentKind, first_bytes_name_the_family) {
  const TKindRow& R = GetParam();
  const TqdContentKind K = qdIdentifyContent(R.Bytes.data(), R.Bytes.size());
  EXPECT_EQ(K.Family, R.Family);
  EXPECT_EQ(K.Version, R.Version);
  if (*R.Family) EXPECT_FALSE(K.Description.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ContentKind,
    testing::Values(
        TKindRow{"dwg_r2000", "AC1015\0\0\0\0\0\0", "dwg", "AC1015"},
        TKindRow{"dwg_r12", "AC1009\0\0\0\0", "dwg", "AC1009"},
        TKindRow{"dwg_r2_10", "AC2.10\0\0", "dwg", "AC2.10"},
        TKindRow{"dxf_text", "  0\nSECTION\n  2\nHEADER\n", "dxf", ""},
        TKindRow{"dxf_text_crlf_comment", "999\r\nwritten by hand\r\n0\r\nSECTION\r\n", "dxf", ""},
        TKindRow{"dxf_with_bom", "\xEF\xBB\xBF" "0\nSECTION\n", "dxf", ""},
        TKindRow{"dxf_binary", Bytes("AutoCAD Binary DXF\r\n\x1a\0", 22), "dxf", ""},
        TKindRow{"hpgl", "IN;SP1;PA0,0;", "hpgl", ""},
        TKindRow{"hpgl_bp", "BPINPS33640,36000;", "hpgl", ""},
        TKindRow{"pcl_pjl", "\x1b%-12345X@PJL\n", "hpgl", ""},
        TKindRow{"png", "\x89PNG\r\n\x1a\n....", "png", ""},
        TKindRow{"jpeg", "\xFF\xD8\xFF\xE0..", "jpeg", ""},
        TKindRow{"tiff_big_endian", Bytes("MM\0*\0\0\0\x08", 8), "tiff", ""},
        TKindRow{"gzip", "\x1F\x8B\x08\0", "gzip", ""},
        TKindRow{"zip", "PK\x03\x04....", "zip", ""},
        TKindRow{"words_are_nothing", "just some words\n", "", ""},
        TKindRow{"number_without_section", "12\nnot a drawing\n", "", ""},
        TKindRow{"lower_case_letters_are_not_hpgl", "in;sp1;", "", ""},
        TKindRow{"empty", "", "", ""}),
    [](const auto& I) { return std::string(I.param.Name); });

TEST(ContentKind, plot_classes_take_their_wrappings) {
  EXPECT_TRUE(qdContentFits("hpgl", "gzip"));
  EXPECT_TRUE(qdContentFits("hpgl", "zip"));
  EXPECT_TRUE(qdContentFits("dxf", ""));
  EXPECT_TRUE(qdContentFits("", "dwg"));
  EXPECT_FALSE(qdContentFits("dxf", "dwg"));
  EXPECT_FALSE(qdContentFits("dxf", "gzip"));
}

fs::path TempFile(const std::string& Name, const std::string& Bytes) {
  const fs::path P = fs::temp_directory_path() / ("draftwell_map_" + std::to_string(::getpid()) + "_" + Name);
  std::ofstream(P, std::ios::binary) << Bytes;
  return P;
}

TEST(MappedFile, zero_bytes_follow_the_data_also_at_a_page_boundary) {
  const auto Page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
  for (std::size_t Size : {std::size_t(1), Page - 1, Page, 2 * Page}) {
    SCOPED_TRACE(Size);
    const fs::path P = TempFile("pad", std::string(Size, 'x'));
    TqdMappedFile F;
    ASSERT_TRUE(F.Open(P.string())) << F.Error();
    ASSERT_EQ(F.Size(), Size);
    const auto* D = static_cast<const unsigned char*>(F.Data());
    EXPECT_EQ(D[Size - 1], 'x');
    for (std::size_t I = 0; I < cnstMappedFilePadding; ++I) EXPECT_EQ(D[Size + I], 0) << I;
    fs::remove(P);
  }
}

TEST(MappedFile, errors_name_the_reason) {
  TqdMappedFile F;
  EXPECT_FALSE(F.Open("/nonexistent/file.dxf"));
  EXPECT_FALSE(F.Error().empty());
  EXPECT_FALSE(F.Open(fs::temp_directory_path().string()));
  EXPECT_EQ(F.Error(), "Is a directory");
  std::string Err;
  EXPECT_TRUE(qdReadFileHead("/nonexistent/file.dxf", 16, &Err).empty());
  EXPECT_FALSE(Err.empty());
}

TEST(MappedFile, head_reads_at_most_what_is_asked) {
  const fs::path P = TempFile("head", "0123456789");
  EXPECT_EQ(qdReadFileHead(P.string(), 4).size(), 4u);
  EXPECT_EQ(qdReadFileHead(P.string(), 64).size(), 10u);
  fs::remove(P);
}

// A pipe opened by name (as a FIFO or /dev/stdin would be): read up to the bound,
// refused beyond it.
TEST(MappedFile, a_stream_is_read_up_to_its_bound) {
  constexpr std::size_t cnstBound = std::size_t(1) << 20;
  struct Row {
    const char* Name;
    std::size_t Bytes;
    bool Ok;
  } Rows[] = {{"empty", 0, true}, {"exactly the bound", cnstBound, true}, {"one byte beyond", cnstBound + 1, false}};
  for (const Row& R : Rows) {
    SCOPED_TRACE(R.Name);
    int Fds[2];
    ASSERT_EQ(::pipe(Fds), 0);
    std::thread Writer([&] {
      const std::string Chunk(4096, 'z');
      std::size_t Left = R.Bytes;
      while (Left > 0) {
        const ssize_t N = ::write(Fds[1], Chunk.data(), std::min(Left, Chunk.size()));
        if (N <= 0) break;
        Left -= static_cast<std::size_t>(N);
      }
      ::close(Fds[1]);
    });
    TqdMappedFile F;
    const bool Ok = F.Open("/proc/self/fd/" + std::to_string(Fds[0]), cnstBound);
    ::close(Fds[0]);
    Writer.join();
    EXPECT_EQ(Ok, R.Ok) << F.Error();
    if (R.Ok) {
      EXPECT_EQ(F.Size(), R.Bytes);
      EXPECT_FALSE(F.Mapped());
    } else {
      EXPECT_EQ(F.Error(), "not a regular file, and longer than 1 MiB");
      EXPECT_EQ(F.Size(), 0u);
    }
  }
}

}  // namespace
