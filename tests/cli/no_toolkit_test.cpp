// `info` and `dump` of the real program start no toolkit: they run where no Qt
// platform plugin can be loaded.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <string>

#include "cli_test_util.h"

namespace {

const char* const cLine =
    "0\nSECTION\n2\nENTITIES\n"
    "0\nLINE\n8\n0\n10\n0\n20\n0\n30\n0\n11\n4\n21\n3\n31\n0\n"
    "0\nENDSEC\n0\nEOF\n";

struct TOut {
  int Status = -1;
  std::string Text;
};

TOut RunShell(const std::string& Command) {
  TOut R;
  FILE* P = ::popen(Command.c_str(), "r");
  if (!P) return R;
  char Buf[4096];
  for (std::size_t N; (N = std::fread(Buf, 1, sizeof Buf, P)) > 0;) R.Text.append(Buf, N);
  const int S = ::pclose(P);
  R.Status = WIFEXITED(S) ? WEXITSTATUS(S) : -1;
  return R;
}

struct TCommandCase {
  const char* Name;
  const char* Args;   // after the file name
  const char* InOut;  // expected in the output
};

class WithoutPlatformPlugin : public testing::TestWithParam<TCommandCase> {};

TEST_P(WithoutPlatformPlugin, Runs) {
  const TTempFile F("noplugin.dxf", cLine);
  const TCommandCase& K = GetParam();
  // A toolkit started here would abort: the platform does not exist.
  const std::string Cmd = std::string("QT_QPA_PLATFORM=nonexistent QT_QPA_PLATFORM_PLUGIN_PATH=/nonexistent '") +
                          DRAFTWELL_CLI + "' " + K.Name + " '" + F.Path.string() + "' " + K.Args + " 2>&1";
  const TOut R = RunShell(Cmd);
  EXPECT_EQ(R.Status, 0) << R.Text;
  EXPECT_NE(R.Text.find(K.InOut), std::string::npos) << R.Text;
  EXPECT_EQ(R.Text.find("platform plugin"), std::string::npos) << R.Text;
}

INSTANTIATE_TEST_SUITE_P(Cli, WithoutPlatformPlugin,
                         testing::Values(TCommandCase{"info", "", "LINE: 1"}, TCommandCase{"dump", "", "TqdDXFLine"},
                                         TCommandCase{"dump", "--xml", "<vnxLine "}),
                         [](const auto& I) { return std::string(I.param.Name) + (*I.param.Args ? "_xml" : ""); });

// Nor does it link one: the dynamic linker's work is part of every start.
TEST(CliLinking, the_program_needs_no_toolkit_library_and_paints_through_its_partner) {
  const TOut L = RunShell(std::string("ldd '") + DRAFTWELL_CLI + "' 2>&1");
  ASSERT_EQ(L.Status, 0) << L.Text;
  EXPECT_EQ(L.Text.find("libQt6"), std::string::npos) << L.Text;
  // The painting commands still work through the same program.
  const TTempFile F("partner.dxf", cLine);
  const std::string Png = F.Path.string() + ".png";
  const TOut R = RunShell(std::string("'") + DRAFTWELL_CLI + "' render '" + F.Path.string() + "' -o '" + Png +
                          "' --size 64x48 2>&1");
  EXPECT_EQ(R.Status, 0) << R.Text;
  EXPECT_NE(R.Text.find("64x48"), std::string::npos) << R.Text;
  std::remove(Png.c_str());
}

}  // namespace
