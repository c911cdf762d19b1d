// What draftwell-cli says about files it cannot use: each message names the real
// cause (not a DWG, not a plot file, no extension, the system's reason for an
// unwritable output), and a usage error is one line with a pointer to --help.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>

#include "cli_test_util.h"

namespace {

std::string RandomBytes(std::size_t N) {
  std::string S(N, '\0');
  unsigned X = 12345;
  for (char& C : S) {
    X = X * 1103515245u + 12345u;
    C = static_cast<char>(X >> 16);
  }
  return S;
}

const char* const cLine = "0\nSECTION\n2\nENTITIES\n0\nLINE\n8\n0\n10\n0\n20\n0\n11\n1\n21\n1\n0\nENDSEC\n0\nEOF\n";

struct TFileCase {
  const char* Name;
  const char* File;
  std::string Bytes;
  const char* Said;  // in the error output
};

class CliFileMessages : public testing::TestWithParam<TFileCase> {};

TEST_P(CliFileMessages, name_the_cause) {
  const TFileCase& C = GetParam();
  TTempFile F(C.File, C.Bytes);
  const TRun R = RunArgs({"info", F.Path.string()});
  EXPECT_EQ(R.Status, 1) << R.Out << R.Err;
  EXPECT_NE(R.Err.find(C.Said), std::string::npos) << R.Err;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CliFileMessages,
    testing::Values(TFileCase{"random_dwg", "random.dwg", RandomBytes(4096), "Not a DWG file"},
                    TFileCase{"letters_plt", "letters.plt", std::string(2000, 'Z') + "QQ;", "Not a plot file"},
                    TFileCase{"no_extension", "noext", RandomBytes(512), "has no extension"}),
    [](const auto& I) { return std::string(I.param.Name); });

TEST(CliMessages, random_plot_file_is_not_silently_drawn) {
  TTempFile F("random.plt", RandomBytes(8192));
  const TRun R = RunArgs({"info", F.Path.string()});
  const std::string All = R.Out + R.Err;
  EXPECT_TRUE(All.find("not a plot file") != std::string::npos || All.find("Not a plot file") != std::string::npos)
      << All;
}

TEST(CliMessages, unwritable_output_gives_the_reason) {
  if (::geteuid() == 0) GTEST_SKIP() << "root may write anywhere";
  TTempFile F("line.dxf", cLine);
  const std::filesystem::path Dir = std::filesystem::temp_directory_path() / ("draftwell_ro_" + std::to_string(::getpid()));
  std::filesystem::create_directory(Dir);
  ::chmod(Dir.c_str(), 0555);
  const TRun R = RunArgs({"render", F.Path.string(), "-o", (Dir / "out.png").string()});
  ::chmod(Dir.c_str(), 0755);
  std::filesystem::remove_all(Dir);
  EXPECT_EQ(R.Status, 1);
  EXPECT_NE(R.Err.find("Permission denied"), std::string::npos) << R.Err;
}

TEST(CliMessages, missing_folder_gives_the_reason) {
  TTempFile F("line.dxf", cLine);
  const TRun R = RunArgs({"render", F.Path.string(), "-o", "/nonexistent-folder/out.png"});
  EXPECT_EQ(R.Status, 1);
  EXPECT_NE(R.Err.find("cannot write '/nonexistent-folder/out.png': No such file or directory"), std::string::npos)
      << R.Err;
}

// One line and where the rest is, never the whole help.
TEST(CliMessages, usage_errors_are_one_line) {
  for (const std::vector<std::string>& Args :
       {std::vector<std::string>{}, {"frobnicate"}, {"info"}, {"info", "a.dxf", "--yaml"}, {"render", "a.dxf"},
        {"thumbnail", "a.dxf"}, {"dump"}}) {
    const TRun R = RunArgs(Args);
    EXPECT_EQ(R.Status, 2);
    const auto Lines = std::count(R.Err.begin(), R.Err.end(), '\n');
    EXPECT_LE(Lines, 2) << R.Err;
    EXPECT_NE(R.Err.find("--help"), std::string::npos) << R.Err;
  }
}

}  // namespace
