// draftwell-cli in-process: usage and exit status, and `info` on files written here.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <unistd.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <QImage>

#include "Info.h"
#include "cli_test_util.h"

namespace fs = std::filesystem;

namespace {

// Rows of pixels darker than mid grey in a picture file (empty when unreadable).
std::vector<std::vector<bool>> DarkPixels(const std::string& AFile) {
  QImage I(QString::fromStdString(AFile));
  std::vector<std::vector<bool>> R;
  for (int Y = 0; Y < I.height(); ++Y) {
    R.emplace_back(I.width());
    for (int X = 0; X < I.width(); ++X) R.back()[X] = qGray(I.pixel(X, Y)) < 128;
  }
  return R;
}

const char* const cSmall =
    "999\nwritten by a test\n"
    "0\nSECTION\n2\nHEADER\n9\n$ACADVER\n1\nAC1009\n9\n$DWGCODEPAGE\n3\nANSI_1252\n"
    "9\n$EXTMIN\n10\n1\n20\n2\n30\n0\n9\n$INSUNITS\n70\n6\n0\nENDSEC\n"
    "0\nSECTION\n2\nTABLES\n0\nTABLE\n2\nLAYER\n0\nLAYER\n2\nWALLS\n70\n0\n62\n3\n0\nENDTAB\n0\nENDSEC\n"
    "0\nSECTION\n2\nENTITIES\n"
    "0\nLINE\n8\nWALLS\n10\n0\n20\n0\n30\n0\n11\n4\n21\n3\n31\n0\n"
    "0\nPOINT\n8\n0\n10\n-1\n20\n5\n30\n0\n"
    "0\nLINE\n8\n0\n67\n1\n10\n0\n20\n0\n30\n0\n11\n1\n21\n1\n31\n0\n"
    "0\nENDSEC\n0\nEOF\n";

struct TUsageCase {
  const char* Name;
  std::vector<std::string> Args;
  int Status;
  const char* InOut;  // expected in stdout, or null
  const char* InErr;  // expected in stderr, or null
};

class CliUsage : public testing::TestWithParam<TUsageCase> {};

TEST_P(CliUsage, status_and_message) {
  const TUsageCase& C = GetParam();
  TRun R = RunArgs(C.Args);
  EXPECT_EQ(R.Status, C.Status);
  if (C.InOut) EXPECT_NE(R.Out.find(C.InOut), std::string::npos) << R.Out;
  if (C.InErr) EXPECT_NE(R.Err.find(C.InErr), std::string::npos) << R.Err;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CliUsage,
    testing::Values(TUsageCase{"no_arguments", {}, 2, nullptr, "Usage:"},
                    TUsageCase{"help", {"help"}, 0, "info FILE [--json]", nullptr},
                    TUsageCase{"dash_dash_help", {"--help"}, 0, "Exit status", nullptr},
                    TUsageCase{"info_help", {"info", "--help"}, 0, "--json", nullptr},
                    TUsageCase{"version", {"version"}, 0, "draftwell-cli ", nullptr},
                    TUsageCase{"unknown_command", {"frobnicate"}, 2, nullptr, "unknown command"},
                    TUsageCase{"info_without_file", {"info"}, 2, nullptr, "FILE"},
                    TUsageCase{"info_unknown_option", {"info", "x.dxf", "--yaml"}, 2, nullptr, "unknown option"},
                    TUsageCase{"info_two_files", {"info", "a.dxf", "b.dxf"}, 2, nullptr, "one file"}),
    [](const auto& I) { return std::string(I.param.Name); });

TEST(CliInfo, json_has_every_key_and_the_facts_of_the_file) {
  TTempFile F("small.dxf", cSmall);
  TRun R = RunArgs({"info", F.Path.string(), "--json"});
  ASSERT_EQ(R.Status, 0) << R.Err << R.Out;
  const std::string& J = R.Out;
  for (const char* Key : {"\"file\": \"draftwell_cli_", "\"format\": \"dxf-text\"", "\"version\": \"AC1009\"",
                          "\"layouts\": [", "\"name\": \"Model\"", "\"block\": \"*MODEL_SPACE\"",
                          "\"entity_count\": 2", "\"LINE\": 1", "\"POINT\": 1", "\"name\": \"Layout1\"",
                          "\"box\": [", "\"layers\": [", "\"WALLS\"", "\"linetypes\": [", "\"text_styles\": [",
                          "\"dimstyles\": [", "\"blocks\": [", "\"header\": {", "\"EXTMIN\": [\n      1,\n      2,",
                          "\"INSUNITS\": 6", "\"TILEMODE\": 1", "\"MEASUREMENT\": 0", "\"CODEPAGE\": \"ANSI_1252\"",
                          "\"load_ms\": ", "\"fonts\": [", "\"warnings\": ["})
    EXPECT_NE(J.find(Key), std::string::npos) << Key << "\n" << J;
  EXPECT_EQ(J.find("\"error\""), std::string::npos);
  // The model box holds the line and the point.
  EXPECT_NE(J.find("\"box\": [\n        -1,\n        0,\n        0,\n        4,\n        5,\n        0\n      ]"),
            std::string::npos)
      << J;
}

TEST(CliInfo, json_lists_each_font_asked_for_and_its_substitute) {
  // The standard style of this file asks for the default "simplex.shx", which no
  // system here installs: our simplex stands in, listed as a substitute; a standard
  // font standing in is the normal case and no warning.
  TTempFile F("fonts.dxf", cSmall);
  TRun R = RunArgs({"info", F.Path.string(), "--json"});
  ASSERT_EQ(R.Status, 0) << R.Err << R.Out;
  const size_t At = R.Out.find("\"fonts\": [");
  ASSERT_NE(At, std::string::npos) << R.Out;
  const std::string Fonts = R.Out.substr(At, R.Out.find(']', At) - At);
  EXPECT_NE(Fonts.find("\"name\": \"simplex.shx\""), std::string::npos) << Fonts;
  if (Fonts.find("\"kind\": \"substitute\"") != std::string::npos) {
    EXPECT_NE(Fonts.find("draftwell-simplex.shx"), std::string::npos) << Fonts;
    EXPECT_EQ(R.Out.find("SHX font \\\"simplex.shx\\\" not found"), std::string::npos) << R.Out;
  } else {
    EXPECT_NE(Fonts.find("\"kind\": \"file\""), std::string::npos) << Fonts;  // a real simplex.shx installed
  }
}

TEST(CliInfo, text_output_names_the_same_facts) {
  TTempFile F("small_text.dxf", cSmall);
  TRun R = RunArgs({"info", F.Path.string()});
  ASSERT_EQ(R.Status, 0) << R.Err;
  for (const char* Line : {"format:      dxf-text", "version:     AC1009", "Model [*MODEL_SPACE]: 2 entities",
                           "    LINE: 1", "layers:      0, WALLS", "CODEPAGE ANSI_1252"})
    EXPECT_NE(R.Out.find(Line), std::string::npos) << Line << "\n" << R.Out;
}

TEST(CliInfo, missing_file_exits_1_with_an_error) {
  TRun R = RunArgs({"info", "/nonexistent/nothing.dxf", "--json"});
  EXPECT_EQ(R.Status, 1);
  EXPECT_NE(R.Out.find("\"error\": \"Cannot read /nonexistent/nothing.dxf"), std::string::npos) << R.Out;
}

TEST(CliInfo, broken_file_reports_the_read_error_and_what_was_read) {
  std::string Bin("AutoCAD Binary DXF\r\n\x1a\0", 22);
  Bin += std::string("\0\0SECTION\0\2\0ENTITIES\0\0\0LINE\0\x08\0" "0\0", 33);
  Bin += std::string("\xd0\x07", 2);  // group code 2000 has no type
  TTempFile F("broken.dxf", Bin);
  TRun R = RunArgs({"info", F.Path.string(), "--json"});
  EXPECT_EQ(R.Status, 1);
  EXPECT_NE(R.Out.find("\"format\": \"dxf-binary\""), std::string::npos) << R.Out;
  EXPECT_NE(R.Out.find("\"error\": \"DXF read error on line"), std::string::npos) << R.Out;
  EXPECT_NE(R.Out.find("\"LINE\": 1"), std::string::npos) << R.Out;
}

}  // namespace

namespace {

// A DWG header and a file of nothing, each under a DXF name (a plot stream under a
// DXF name is read by the plotter reader).
const std::string cDWGHead = std::string("AC1015") + std::string(122, '\0');

TEST(CliFailures, nothing_read_is_one_line_and_exit_1) {
  struct TRow {
    const char* Name;
    std::string Bytes;
    const char* Reason;
  };
  const TRow Rows[] = {
      {"dwg_named_dxf.dxf", cDWGHead, "dwg_named_dxf.dxf is a DWG drawing (AC1015)"},
      {"empty.dxf", "", "empty.dxf: "},
      {"words.dxf", "just some words\n", "words.dxf: "},
  };
  for (const TRow& Row : Rows) {
    SCOPED_TRACE(Row.Name);
    TTempFile F(Row.Name, Row.Bytes);
    TRun T = RunArgs({"info", F.Path.string()});
    EXPECT_EQ(T.Status, 1);
    EXPECT_EQ(T.Out, "") << "nothing is described when nothing was read";
    EXPECT_EQ(std::count(T.Err.begin(), T.Err.end(), '\n'), 1) << T.Err;
    EXPECT_NE(T.Err.find(Row.Reason), std::string::npos) << T.Err;
    EXPECT_EQ(T.Err.find("format:"), std::string::npos);
    TRun J = RunArgs({"info", F.Path.string(), "--json"});
    EXPECT_EQ(J.Status, 1);
    EXPECT_EQ(J.Out.find("\"layouts\""), std::string::npos) << J.Out;
    EXPECT_NE(J.Out.find("\"file\": \"draftwell_cli_"), std::string::npos) << J.Out;
    EXPECT_NE(J.Out.find("\"error\": \""), std::string::npos) << J.Out;
  }
}

TEST(CliFailures, missing_file_names_the_file_in_one_line) {
  TRun R = RunArgs({"info", "/nonexistent/nothing.dxf"});
  EXPECT_EQ(R.Status, 1);
  EXPECT_EQ(R.Out, "");
  EXPECT_EQ(R.Err, "draftwell-cli info: Cannot read /nonexistent/nothing.dxf: No such file or directory\n");
}

TEST(CliFailures, render_of_an_unreadable_file_writes_nothing) {
  TTempFile F("render_dwg.dxf", cDWGHead);
  const fs::path Out = fs::temp_directory_path() / ("draftwell_cli_" + std::to_string(::getpid()) + "_none.png");
  fs::remove(Out);
  TRun R = RunArgs({"render", F.Path.string(), "-o", Out.string()});
  EXPECT_EQ(R.Status, 1);
  EXPECT_FALSE(fs::exists(Out));
  EXPECT_EQ(R.Out.find("wrote"), std::string::npos) << R.Out;
  EXPECT_NE(R.Err.find("is a DWG drawing (AC1015)"), std::string::npos) << R.Err;
}

TEST(CliHelp, lists_every_command_the_formats_and_exit_codes) {
  for (const std::vector<std::string>& Args : {std::vector<std::string>{"help"}, std::vector<std::string>{"--help"}}) {
    TRun R = RunArgs(Args);
    const std::string& Text = R.Out;
    for (const char* Word : {"info FILE", "render FILE", "version", "Formats", "DXF", "DWG", "HPGL/2", "Exit status"})
      EXPECT_NE(Text.find(Word), std::string::npos) << Word << "\n" << Text;
  }
}

TEST(CliInfo, entities_read_but_not_drawn_are_counted_in_the_warnings) {
  const std::string Text =
      "0\nSECTION\n2\nENTITIES\n"
      "0\nMULTILEADER\n8\n0\n0\nMULTILEADER\n8\n0\n"
      "0\nLINE\n8\n0\n10\n0\n20\n0\n30\n0\n11\n1\n21\n1\n31\n0\n"
      "0\nTEXT\n8\n0\n10\n0\n20\n0\n30\n0\n40\n1\n1\nhello\n"
      "0\nENDSEC\n0\nEOF\n";
  TTempFile F("not_drawn.dxf", Text);
  TRun R = RunArgs({"info", F.Path.string(), "--json"});
  ASSERT_EQ(R.Status, 0) << R.Err << R.Out;
  EXPECT_NE(R.Out.find("\"MULTILEADER: 2 not drawn\""), std::string::npos) << R.Out;
  EXPECT_EQ(R.Out.find("TEXT: 1 not drawn"), std::string::npos) << R.Out;  // texts are drawn
  EXPECT_EQ(R.Out.find("LINE: 1 not drawn"), std::string::npos) << R.Out;
}

TEST(CliInfo, a_file_cut_short_says_where_it_ends) {
  std::string Text = cSmall;
  Text.resize(Text.find("0\nPOINT"));
  TTempFile F("cut.dxf", Text);
  TRun R = RunArgs({"info", F.Path.string()});
  EXPECT_EQ(R.Status, 0) << R.Err;
  EXPECT_NE(R.Out.find("the file ends early at line"), std::string::npos) << R.Out;
  EXPECT_NE(R.Out.find("the drawing is incomplete"), std::string::npos) << R.Out;
  EXPECT_NE(R.Out.find("LINE: 1"), std::string::npos) << R.Out;
}

TEST(CliInfo, long_name_lists_wrap_under_their_column) {
  std::string Text = "0\nSECTION\n2\nBLOCKS\n";
  for (int I = 0; I < 60; ++I)
    Text += "0\nBLOCK\n8\n0\n2\nBLOCK_NUMBER_" + std::to_string(I) + "\n70\n0\n10\n0\n20\n0\n30\n0\n0\nENDBLK\n";
  Text += "0\nENDSEC\n0\nEOF\n";
  TTempFile F("blocks.dxf", Text);
  TRun R = RunArgs({"info", F.Path.string()});
  ASSERT_EQ(R.Status, 0) << R.Err;
  // Only the wrapped list is measured: other lines hold paths (fonts resolve to
  // files under the build folder), which are never wrapped and whose length
  // depends on where the checkout lies.
  std::istringstream Lines(R.Out);
  std::vector<std::string> List;
  for (std::string L; std::getline(Lines, L);) {
    if (L.rfind("blocks:", 0) == 0)
      List.push_back(L);
    else if (!List.empty() && L.rfind("             ", 0) == 0 && L.find("BLOCK_NUMBER_") != std::string::npos)
      List.push_back(L);
    else if (!List.empty())
      break;
  }
  ASSERT_GE(List.size(), 2u) << R.Out;
  std::size_t Names = 0;
  for (const std::string& L : List) {
    EXPECT_LE(L.size(), 100u) << L;
    for (std::size_t P = L.find("BLOCK_NUMBER_"); P != std::string::npos; P = L.find("BLOCK_NUMBER_", P + 1)) ++Names;
  }
  EXPECT_EQ(Names, 60u) << R.Out;
}

}  // namespace

// A PDF page holds the same picture as the PNG: turned back into pixels by the
// system's PDF rasteriser, the drawn pixels of the two agree.
TEST(CliRender, pdf_page_matches_the_png) {
  TTempFile F("render_pdf.dxf", cSmall);
  const std::string Base = (fs::temp_directory_path() / ("draftwell_cli_" + std::to_string(::getpid()) + "_pdf")).string();
  const std::string Png = Base + ".png", Pdf = Base + ".pdf";
  TRun A = RunArgs({"render", F.Path.string(), "-o", Png, "--size", "400x300"});
  TRun B = RunArgs({"render", F.Path.string(), "-o", Pdf, "--size", "400x300"});
  ASSERT_EQ(A.Status, 0) << A.Err;
  ASSERT_EQ(B.Status, 0) << B.Err;
  std::ifstream In(Pdf, std::ios::binary);
  std::string Head(5, '\0');
  In.read(Head.data(), 5);
  EXPECT_EQ(Head, "%PDF-");
  if (std::system("command -v pdftoppm >/dev/null 2>&1") != 0) {
    fs::remove(Png);
    fs::remove(Pdf);
    GTEST_SKIP() << "pdftoppm (poppler-utils) is not installed";
  }
  const std::string Cmd = "pdftoppm -r 96 -png -singlefile '" + Pdf + "' '" + Base + "_back'";
  ASSERT_EQ(std::system(Cmd.c_str()), 0);
  const std::vector<std::vector<bool>> P = DarkPixels(Png), Q = DarkPixels(Base + "_back.png");
  fs::remove(Png);
  fs::remove(Pdf);
  fs::remove(Base + "_back.png");
  ASSERT_EQ(P.size(), 300u);
  ASSERT_EQ(Q.size(), 300u);
  int Drawn = 0, Matched = 0;
  for (int Y = 0; Y < 300; ++Y)
    for (int X = 0; X < 400; ++X) {
      if (!P[Y][X]) continue;
      ++Drawn;
      bool Near = false;
      for (int DY = -2; DY <= 2 && !Near; ++DY)
        for (int DX = -2; DX <= 2 && !Near; ++DX) {
          const int V = Y + DY, U = X + DX;
          Near = V >= 0 && V < 300 && U >= 0 && U < 400 && Q[V][U];
        }
      Matched += Near;
    }
  EXPECT_GT(Drawn, 50);
  EXPECT_GE(Matched, Drawn * 9 / 10) << Matched << " of " << Drawn;
}
