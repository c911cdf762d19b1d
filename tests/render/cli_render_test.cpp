// draftwell-cli render and info --render, run in-process on small files.
#include <gtest/gtest.h>

#include <QImage>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "RenderCommand.h"

namespace {

namespace fs = std::filesystem;

struct TTempDir {
  fs::path Path = fs::temp_directory_path() / ("dw_render_" + std::to_string(::getpid()));
  TTempDir() { fs::create_directories(Path); }
  ~TTempDir() {
    std::error_code E;
    fs::remove_all(Path, E);
  }
  std::string File(const std::string& Name) const { return (Path / Name).string(); }
};

// One red horizontal line from (0, 0) to (100, 0) and a green one above it.
std::string WriteDrawing(const TTempDir& D) {
  const std::string P = D.File("lines.dxf");
  std::ofstream(P) << "0\nSECTION\n2\nENTITIES\n"
                      "0\nLINE\n8\n0\n62\n1\n10\n0\n20\n0\n11\n100\n21\n0\n"
                      "0\nLINE\n8\n0\n62\n3\n10\n0\n20\n50\n11\n100\n21\n50\n"
                      "0\nENDSEC\n0\nEOF\n";
  return P;
}

int RunCommand(const std::vector<std::string>& Args, std::string& Out, std::string& Err) {
  Out.clear();
  Err.clear();
  return RunCliWithRender(Args, Out, Err);
}

TEST(CliRender, WritesAPngOfTheRequestedSizeAndBackground) {
  TTempDir D;
  const std::string In = WriteDrawing(D), Png = D.File("out.png");
  std::string Out, Err;
  ASSERT_EQ(RunCommand({"render", In, "-o", Png, "--size", "200x150", "--background", "black"}, Out, Err), 0) << Err;
  QImage Q(QString::fromStdString(Png));
  ASSERT_FALSE(Q.isNull());
  EXPECT_EQ(Q.width(), 200);
  EXPECT_EQ(Q.height(), 150);
  EXPECT_EQ(Q.pixel(0, 0) & 0xFFFFFF, 0u);
  int Red = 0, Green = 0;
  for (int Y = 0; Y < Q.height(); ++Y)
    for (int X = 0; X < Q.width(); ++X) {
      Red += (Q.pixel(X, Y) & 0xFFFFFF) == 0xFF0000;
      Green += (Q.pixel(X, Y) & 0xFFFFFF) == 0x00FF00;
    }
  EXPECT_GT(Red, 100) << "the red line spans the width less the border";
  EXPECT_GT(Green, 100);
}

TEST(CliRender, WritesSvgThroughTheVectorCanvas) {
  TTempDir D;
  const std::string In = WriteDrawing(D), Svg = D.File("out.svg");
  std::string Out, Err;
  ASSERT_EQ(RunCommand({"render", In, "-o", Svg, "--layout", "Model"}, Out, Err), 0) << Err;
  std::ifstream F(Svg);
  const std::string Text((std::istreambuf_iterator<char>(F)), std::istreambuf_iterator<char>());
  EXPECT_NE(Text.find("<svg"), std::string::npos);
  EXPECT_NE(Text.find("#ff0000"), std::string::npos);
}

struct TUsageRow {
  const char* Name;
  std::vector<std::string> Args;
  int Status;
};

class CliRenderUsage : public ::testing::TestWithParam<TUsageRow> {};

TEST_P(CliRenderUsage, Refuses) {
  TTempDir D;
  const std::string In = WriteDrawing(D);
  std::vector<std::string> Args = GetParam().Args;
  for (std::string& A : Args) {
    if (A == "IN") A = In;
    if (A == "OUT") A = D.File("o.png");
  }
  std::string Out, Err;
  EXPECT_EQ(RunCommand(Args, Out, Err), GetParam().Status) << Err;
  EXPECT_FALSE(Err.empty());
}

const TUsageRow UsageRows[] = {
    {"NoOutput", {"render", "IN"}, 2},
    {"BadSize", {"render", "IN", "-o", "OUT", "--size", "0x10"}, 2},
    {"BadBackground", {"render", "IN", "-o", "OUT", "--background", "grey"}, 2},
    {"UnknownLayout", {"render", "IN", "-o", "OUT", "--layout", "Nope"}, 2},
    {"OtherExtension", {"render", "IN", "-o", "x.jpg"}, 2},
    {"MissingFile", {"render", "/nonexistent/x.dxf", "-o", "OUT"}, 1},
};

INSTANTIATE_TEST_SUITE_P(Rows, CliRenderUsage, ::testing::ValuesIn(UsageRows),
                         [](const auto& I) { return std::string(I.param.Name); });

TEST(CliInfo, RenderAddsRenderMsAndKeepsTheRest) {
  TTempDir D;
  const std::string In = WriteDrawing(D);
  std::string Plain, Timed, Err;
  ASSERT_EQ(RunCommand({"info", In, "--json"}, Plain, Err), 0);
  ASSERT_EQ(RunCommand({"info", In, "--json", "--render"}, Timed, Err), 0);
  const std::size_t K = Timed.find("\"render_ms\": ");
  ASSERT_NE(K, std::string::npos) << Timed;
  EXPECT_EQ(Plain.find("render_ms"), std::string::npos);
  // Everything before the new key is what info printed (load time aside).
  const auto Before = [](const std::string& S) { return S.substr(0, S.find("\"load_ms\"")); };
  EXPECT_EQ(Before(Timed), Before(Plain));
  EXPECT_EQ(Timed[Timed.find_last_not_of(" \n")], '}');
}

}  // namespace
