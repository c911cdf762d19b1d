// draftwell-cli thumbnail in-process: usage, the picture, and reading cut short at
// the time budget.
#include <gtest/gtest.h>

#include <QImage>
#include <QString>
#include <filesystem>
#include <string>

#include "cli_test_util.h"

namespace fs = std::filesystem;

namespace {

const char* const cDrawing =
    "0\nSECTION\n2\nENTITIES\n"
    "0\nLINE\n8\n0\n10\n0\n20\n0\n30\n0\n11\n100\n21\n40\n31\n0\n"
    "0\nCIRCLE\n8\n0\n62\n1\n10\n50\n20\n20\n30\n0\n40\n15\n"
    "0\nENDSEC\n0\nEOF\n";

// Lines enough that reading them outlasts the load's quarter-second progress
// reports in the sanitized build.
std::string ManyLines(int N) {
  std::string S = "0\nSECTION\n2\nENTITIES\n";
  for (int I = 0; I < N; ++I) {
    const std::string X = std::to_string(I % 300), Y = std::to_string(I / 300);
    S += "0\nLINE\n8\n0\n10\n" + X + "\n20\n" + Y + "\n11\n" + X + ".5\n21\n" + Y + ".5\n";
  }
  return S + "0\nENDSEC\n0\nEOF\n";
}

std::size_t InkPixels(const QImage& I) {
  std::size_t N = 0;
  for (int Y = 0; Y < I.height(); ++Y)
    for (int X = 0; X < I.width(); ++X) N += qGray(I.pixel(X, Y)) < 200;
  return N;
}

struct TThumbUsage {
  const char* Name;
  std::vector<std::string> Args;  // after "thumbnail"
  const char* InErr;
};

class ThumbnailUsage : public testing::TestWithParam<TThumbUsage> {};

TEST_P(ThumbnailUsage, is_refused_with_status_2) {
  std::vector<std::string> Args{"thumbnail"};
  Args.insert(Args.end(), GetParam().Args.begin(), GetParam().Args.end());
  const TRun R = RunArgs(Args);
  EXPECT_EQ(R.Status, 2);
  EXPECT_NE(R.Err.find(GetParam().InErr), std::string::npos) << R.Err;
  EXPECT_FALSE(fs::exists("/nonexistent-out.png"));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ThumbnailUsage,
    testing::Values(TThumbUsage{"no_files", {}, "Usage: draftwell-cli thumbnail"},
                    TThumbUsage{"one_file", {"a.dxf"}, "Usage: draftwell-cli thumbnail"},
                    TThumbUsage{"three_files", {"a.dxf", "b.png", "c.png"}, "Usage:"},
                    TThumbUsage{"size_zero", {"a.dxf", "b.png", "--size", "0"}, "--size wants"},
                    TThumbUsage{"size_too_large", {"a.dxf", "b.png", "--size", "4097"}, "1 to 4096"},
                    TThumbUsage{"size_not_a_number", {"a.dxf", "b.png", "--size", "12px"}, "--size wants"},
                    TThumbUsage{"size_without_value", {"a.dxf", "b.png", "--size"}, "--size wants"},
                    TThumbUsage{"budget_negative", {"a.dxf", "b.png", "--budget", "-5"}, "--budget wants"},
                    TThumbUsage{"unknown_option", {"a.dxf", "b.png", "--layout", "1"}, "unknown option '--layout'"}),
    [](const auto& I) { return std::string(I.param.Name); });

TEST(Thumbnail, help_names_the_options) {
  const TRun R = RunArgs({"thumbnail", "--help"});
  EXPECT_EQ(R.Status, 0);
  for (const char* W : {"--size N", "--budget MS", "256", "1000"}) EXPECT_NE(R.Out.find(W), std::string::npos) << W;
  const TRun H = RunArgs({"help"});
  EXPECT_NE(H.Out.find("thumbnail FILE OUT.png"), std::string::npos) << H.Out;
}

TEST(Thumbnail, square_png_with_the_drawing_whatever_the_name) {
  TTempFile F("thumb.dxf", cDrawing);
  // File managers hand over names of their own, without an extension.
  const fs::path Out = fs::temp_directory_path() / ("draftwell_thumb_" + std::to_string(::getpid()));
  const TRun R = RunArgs({"thumbnail", F.Path.string(), Out.string(), "--size", "96"});
  ASSERT_EQ(R.Status, 0) << R.Err;
  EXPECT_NE(R.Out.find("(96x96)"), std::string::npos) << R.Out;
  EXPECT_EQ(R.Out.find("stopped"), std::string::npos) << R.Out;
  const QImage I(QString::fromStdString(Out.string()), "PNG");
  fs::remove(Out);
  ASSERT_EQ(I.size(), QSize(96, 96));
  EXPECT_GT(InkPixels(I), 50u);
  EXPECT_EQ(I.pixel(0, 0), qRgb(255, 255, 255));
}

TEST(Thumbnail, default_size_is_256) {
  TTempFile F("thumb_default.dxf", cDrawing);
  const fs::path Out = fs::temp_directory_path() / ("draftwell_thumb256_" + std::to_string(::getpid()) + ".png");
  ASSERT_EQ(RunArgs({"thumbnail", F.Path.string(), Out.string()}).Status, 0);
  EXPECT_EQ(QImage(QString::fromStdString(Out.string())).size(), QSize(256, 256));
  fs::remove(Out);
}

TEST(Thumbnail, unreadable_file_writes_nothing) {
  TTempFile F("thumb_broken.dwg", "AC1015 and nothing else of a drawing");
  const fs::path Out = fs::temp_directory_path() / ("draftwell_thumb_broken_" + std::to_string(::getpid()) + ".png");
  const TRun R = RunArgs({"thumbnail", F.Path.string(), Out.string()});
  EXPECT_EQ(R.Status, 1);
  EXPECT_NE(R.Err.find("draftwell-cli thumbnail: "), std::string::npos) << R.Err;
  EXPECT_FALSE(fs::exists(Out));
}

// A budget that runs out while reading: the lines read by then are drawn, and a
// stop at the deadline is not a failure.
TEST(Thumbnail, reading_stops_at_the_budget_and_draws_what_was_read) {
  TTempFile F("thumb_many.dxf", ManyLines(40000));
  const fs::path Cut = fs::temp_directory_path() / ("draftwell_thumb_cut_" + std::to_string(::getpid()) + ".png");
  const fs::path Whole = fs::temp_directory_path() / ("draftwell_thumb_all_" + std::to_string(::getpid()) + ".png");
  const TRun A = RunArgs({"thumbnail", F.Path.string(), Cut.string(), "--budget", "1", "--size", "128"});
  ASSERT_EQ(A.Status, 0) << A.Err;
  if (A.Out.find("reading stopped after 1 ms") == std::string::npos) {
    fs::remove(Cut);
    GTEST_SKIP() << "read whole before its first progress report after the deadline: " << A.Out;
  }
  const TRun B = RunArgs({"thumbnail", F.Path.string(), Whole.string(), "--budget", "0", "--size", "128"});
  ASSERT_EQ(B.Status, 0) << B.Err;
  EXPECT_EQ(B.Out.find("stopped"), std::string::npos) << B.Out;
  const QImage C(QString::fromStdString(Cut.string())), W(QString::fromStdString(Whole.string()));
  fs::remove(Cut);
  fs::remove(Whole);
  EXPECT_GT(InkPixels(C), 0u);
  EXPECT_LT(InkPixels(C), InkPixels(W));
}

}  // namespace
