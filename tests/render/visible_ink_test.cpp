// Ink that would vanish on the background is drawn so that it shows, and point
// symbols sized by the view: rendered through draftwell-cli render, in-process.
#include <gtest/gtest.h>

#include <QImage>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "CADImage.h"
#include "RenderCommand.h"

namespace {

namespace fs = std::filesystem;

struct TTempDir {
  fs::path Path = fs::temp_directory_path() / ("dw_ink_" + std::to_string(::getpid()));
  TTempDir() { fs::create_directories(Path); }
  ~TTempDir() {
    std::error_code E;
    fs::remove_all(Path, E);
  }
  std::string File(const std::string& Name) const { return (Path / Name).string(); }
};

QImage Render(const TTempDir& D, const std::string& Dxf, const std::string& Background, int W, int H) {
  const std::string In = D.File("in.dxf"), Png = D.File("out.png");
  std::ofstream(In) << Dxf;
  std::string Out, Err;
  EXPECT_EQ(RunCliWithRender({"render", In, "-o", Png, "--size", std::to_string(W) + "x" + std::to_string(H),
                              "--background", Background},
                             Out, Err),
            0)
      << Err;
  return QImage(QString::fromStdString(Png));
}

int CountColour(const QImage& Q, unsigned RGB) {
  int N = 0;
  for (int Y = 0; Y < Q.height(); ++Y)
    for (int X = 0; X < Q.width(); ++X) N += (Q.pixel(X, Y) & 0xFFFFFF) == RGB;
  return N;
}

}  // namespace

TEST(VisibleInk, InkTooCloseToTheBackgroundTakesTheDefaultColour) {
  // Layer "0" as QCAD and LibreCAD write it: index 7 and true-colour white.
  const std::string Tables =
      "0\nSECTION\n2\nTABLES\n0\nTABLE\n2\nLAYER\n70\n1\n"
      "0\nLAYER\n2\n0\n70\n0\n62\n7\n420\n16777215\n6\nCONTINUOUS\n0\nENDTAB\n0\nENDSEC\n";
  struct TRow {
    const char* Name;
    const char* Colour;  // the groups that colour the lines
    const char* Background;
    unsigned Want;
  } Rows[] = {
      {"true-colour white on white", "420\n16777215\n", "white", 0x000000},
      {"near white on white", "420\n15790320\n", "white", 0x000000},
      {"layer in true-colour white", "", "white", 0x000000},
      {"true-colour black on black", "420\n0\n", "black", 0xFFFFFF},
      {"red stays red", "420\n16711680\n", "white", 0xFF0000},
      {"light grey far enough stays", "420\n12632256\n", "white", 0xC0C0C0},
  };
  TTempDir D;
  for (const TRow& R : Rows) {
    std::string Lines;
    for (int Y : {0, 50})
      Lines += "0\nLINE\n8\n0\n" + std::string(R.Colour) + "10\n0\n20\n" + std::to_string(Y) + "\n11\n100\n21\n" +
               std::to_string(Y) + "\n";
    const QImage Q = Render(D, Tables + "0\nSECTION\n2\nENTITIES\n" + Lines + "0\nENDSEC\n0\nEOF\n", R.Background, 200, 150);
    ASSERT_FALSE(Q.isNull()) << R.Name;
    EXPECT_GT(CountColour(Q, R.Want), 100) << R.Name;
  }
}

TEST(VisibleInk, RuleOfTheImage) {
  TqdCADImage I;
  I.SetBackgroundColor(0xFFFFFF);
  I.SetDefaultColor(0);
  EXPECT_EQ(I.VisibleInk(0xFFFFFF), 0u);
  EXPECT_EQ(I.VisibleInk(MakeRGB(207, 207, 207)), 0u);    // 48 off in every channel
  EXPECT_EQ(I.VisibleInk(MakeRGB(206, 255, 255)), MakeRGB(206, 255, 255));  // one channel beyond
  I.SetBackgroundColor(0);
  I.SetDefaultColor(0xFFFFFF);
  EXPECT_EQ(I.VisibleInk(MakeRGB(10, 20, 30)), 0xFFFFFFu);
  // A default colour that vanishes too: black or white by the background's brightness.
  I.SetDefaultColor(0);
  EXPECT_EQ(I.VisibleInk(0), 0xFFFFFFu);
  I.SetBackgroundColor(MakeRGB(230, 230, 230));
  I.SetDefaultColor(0xFFFFFF);
  EXPECT_EQ(I.VisibleInk(0xFFFFFF), 0u);
}

TEST(PointSymbols, NegativeSizeIsAShareOfTheViewHeight) {
  // $PDSIZE -3: 3 % of a 600-pixel view is 18 pixels, however large the drawing.
  const std::string Dxf =
      "0\nSECTION\n2\nHEADER\n9\n$PDMODE\n70\n3\n9\n$PDSIZE\n40\n-3\n0\nENDSEC\n"
      "0\nSECTION\n2\nENTITIES\n"
      "0\nPOINT\n8\n0\n10\n0\n20\n0\n30\n0\n"
      "0\nPOINT\n8\n0\n10\n5\n20\n3.75\n30\n0\n"
      "0\nENDSEC\n0\nEOF\n";
  TTempDir D;
  const QImage Q = Render(D, Dxf, "white", 800, 600);
  ASSERT_FALSE(Q.isNull());
  // The two crosses lie in opposite corners: the ink of each half is one cross.
  for (int Half = 0; Half < 2; ++Half) {
    int L = 800, R = -1, T = 600, B = -1;
    for (int Y = 0; Y < 600; ++Y)
      for (int X = Half * 400; X < Half * 400 + 400; ++X)
        if ((Q.pixel(X, Y) & 0xFFFFFF) != 0xFFFFFF) L = std::min(L, X), R = std::max(R, X), T = std::min(T, Y), B = std::max(B, Y);
    ASSERT_GE(R, L) << "no cross in half " << Half;
    EXPECT_NEAR(R - L, 18, 1) << Half;
    EXPECT_NEAR(B - T, 18, 1) << Half;
  }
}

TEST(PointSymbols, ZeroSizeIsFivePercentAndNeverSizesTheDrawing) {
  const std::string Dxf =
      "0\nSECTION\n2\nHEADER\n9\n$PDMODE\n70\n2\n9\n$PDSIZE\n40\n0\n0\nENDSEC\n"
      "0\nSECTION\n2\nENTITIES\n"
      "0\nPOINT\n8\n0\n10\n0\n20\n0\n30\n0\n"
      "0\nLINE\n8\n0\n10\n-100\n20\n-75\n11\n100\n21\n75\n"
      "0\nENDSEC\n0\nEOF\n";
  TTempDir D;
  const QImage Q = Render(D, Dxf, "white", 800, 600);
  ASSERT_FALSE(Q.isNull());
  // The "+" at the centre: its horizontal arm is 5 % of 600 pixels long (the row
  // that holds it is the widest near the centre).
  int Widest = -1;
  for (int Y = 295; Y <= 305; ++Y) {
    int L = 800, R = -1;
    for (int X = 300; X < 500; ++X)
      if ((Q.pixel(X, Y) & 0xFFFFFF) != 0xFFFFFF) L = std::min(L, X), R = std::max(R, X);
    Widest = std::max(Widest, R - L);
  }
  EXPECT_NEAR(Widest, 30, 2);
}
