// Frames drawn in bands by several threads, levels of detail and what frames keep
// between frames: a banded frame is the one-thread frame pixel for pixel, the
// second frame the first, and a changed text is drawn as it now is.
#include <gtest/gtest.h>

#include <QImage>
#include <algorithm>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "CADImage.h"
#include "DXFConv.h"
#include "Scene.h"
#include "Texts.h"
#include "qdDrawCache.h"
#include "qdIterator.h"
#include "qdQtCanvas.h"

namespace {

// Lines, curves and polylines on a dashed layer and on a solid one, texts large and
// tiny, a filled hatch, a solid, points and references to a block: every kind of
// primitive a band boundary can cut.
std::string MixedDXF() {
  std::ostringstream D;
  D << "0\nSECTION\n2\nTABLES\n"
       "0\nTABLE\n2\nLTYPE\n70\n1\n"
       "0\nLTYPE\n2\nDASHED\n70\n0\n3\n__ __\n72\n65\n73\n2\n40\n3.0\n49\n2.0\n74\n0\n49\n-1.0\n74\n0\n"
       "0\nENDTAB\n"
       "0\nTABLE\n2\nLAYER\n70\n2\n"
       "0\nLAYER\n2\nD\n70\n0\n62\n1\n6\nDASHED\n"
       "0\nLAYER\n2\nS\n70\n0\n62\n5\n6\nCONTINUOUS\n"
       "0\nENDTAB\n0\nENDSEC\n";
  D << "0\nSECTION\n2\nBLOCKS\n0\nBLOCK\n8\n0\n2\nB\n70\n0\n10\n0\n20\n0\n"
       "0\nCIRCLE\n8\n0\n10\n0\n20\n0\n40\n2\n"
       "0\nLINE\n8\n0\n10\n-2\n20\n-2\n11\n2\n21\n2\n"
       "0\nTEXT\n8\n0\n10\n-2\n20\n2.5\n40\n1\n1\nBk\n"
       "0\nENDBLK\n8\n0\n0\nENDSEC\n";
  D << "0\nSECTION\n2\nENTITIES\n";
  for (int K = 0; K < 40; ++K) {
    const double X = (K % 8) * 25.0, Y = (K / 8) * 20.0;
    const char* L = K % 2 ? "D" : "S";
    D << "0\nLINE\n8\n" << L << "\n10\n" << X << "\n20\n" << Y << "\n11\n" << X + 20 << "\n21\n" << Y + 15 << "\n";
    D << "0\nCIRCLE\n8\n" << L << "\n10\n" << X + 10 << "\n20\n" << Y + 8 << "\n40\n" << 3 + K % 5 << "\n";
    D << "0\nLWPOLYLINE\n8\n" << L << "\n90\n3\n70\n1\n10\n" << X << "\n20\n" << Y + 2 << "\n42\n0.5\n10\n"
      << X + 8 << "\n20\n" << Y + 2 << "\n10\n" << X + 4 << "\n20\n" << Y + 9 << "\n";
    D << "0\nTEXT\n8\nS\n10\n" << X + 1 << "\n20\n" << Y + 12 << "\n40\n" << (K % 3 ? 0.3 : 3.5) << "\n1\nText "
      << K << "\n";
    D << "0\nINSERT\n8\nD\n2\nB\n10\n" << X + 15 << "\n20\n" << Y + 4 << "\n41\n" << 0.5 + K % 3 << "\n42\n"
      << 0.5 + K % 3 << "\n";
    D << "0\nPOINT\n8\nS\n10\n" << X + 3 << "\n20\n" << Y + 17 << "\n";
  }
  D << "0\nSOLID\n8\nS\n10\n60\n20\n30\n11\n80\n21\n30\n12\n60\n22\n50\n13\n80\n23\n50\n";
  D << "0\nHATCH\n8\nD\n10\n0\n20\n0\n30\n0\n2\nSOLID\n70\n1\n71\n0\n91\n1\n92\n1\n93\n4\n"
       "72\n1\n10\n100\n20\n10\n11\n140\n21\n10\n"
       "72\n1\n10\n140\n20\n10\n11\n140\n21\n70\n"
       "72\n1\n10\n140\n20\n70\n11\n100\n21\n70\n"
       "72\n1\n10\n100\n20\n70\n11\n100\n21\n10\n"
       "97\n0\n75\n0\n76\n1\n98\n0\n";
  D << "0\nENDSEC\n0\nEOF\n";
  return D.str();
}

std::unique_ptr<TqdCADImage> LoadDXF(const std::string& Text) {
  std::istringstream In(Text);
  auto I = std::make_unique<TqdCADdxfImage>();
  I->SetIsProcessMessages(false);
  I->LoadFromStream(In);
  return I;
}

std::unique_ptr<TqdCADImage> LoadFile(const std::string& Path) {
  TqdPicture P;
  P.LoadFromFile(Path);
  if (!dynamic_cast<TqdCADImage*>(P.Graphic())) return nullptr;
  std::unique_ptr<TqdCADImage> I(static_cast<TqdCADImage*>(P.TakeGraphic().release()));
  I->SetIsProcessMessages(false);
  return I;
}

struct TFrameOptions {
  int Threads = 1;
  bool Antialiasing = false;
  bool Clip = false;  // the caller clips the canvas to a rectangle first
  int Zoom = 1;       // the picture this many times the window, about its centre
};

QImage Frame(TqdCADImage& I, const TFrameOptions& O, int W = 640, int H = 480) {
  QImage Q(W, H, QImage::Format_RGB32);
  Q.fill(Qt::gray);
  I.SetDrawThreads(O.Threads);
  TqdQtCanvas C(&Q);
  C.SetAntialiasing(O.Antialiasing);
  if (O.Clip) C.IntersectClipRect({37, 21, W - 50, H - 33});
  const int PW = W * O.Zoom, PH = H * O.Zoom;
  I.Draw(C, {W / 2 - PW / 2, H / 2 - PH / 2, W / 2 - PW / 2 + PW, H / 2 - PH / 2 + PH});
  C.End();
  I.SetDrawThreads(1);
  return Q;
}

// Where two pictures first differ, for the failure message.
std::string FirstDifference(const QImage& A, const QImage& B) {
  for (int Y = 0; Y < A.height(); ++Y)
    for (int X = 0; X < A.width(); ++X)
      if (A.pixel(X, Y) != B.pixel(X, Y))
        return "first difference at (" + std::to_string(X) + ", " + std::to_string(Y) + ")";
  return "same";
}

void ExpectBandsEqualOneThread(TqdCADImage& I, const std::string& Name) {
  const struct {
    const char* Case;
    TFrameOptions Options;
  } Rows[] = {
      {"full view", {}},
      {"antialiased", {1, true, false, 1}},
      {"clipped canvas", {1, false, true, 1}},
      {"zoomed 4x", {1, false, false, 4}},
  };
  for (const auto& R : Rows) {
    const QImage One = Frame(I, R.Options);
    const auto OneStats = I.Iterator()->Stats();
    // Drawn again: outlines kept from the first frame draw the same picture.
    const QImage Again = Frame(I, R.Options);
    EXPECT_TRUE(One == Again) << Name << ", " << R.Case << ": second frame, " << FirstDifference(One, Again);
    for (int Threads : {2, 3, 7}) {
      TFrameOptions O = R.Options;
      O.Threads = Threads;
      const QImage Banded = Frame(I, O);
      EXPECT_TRUE(One == Banded) << Name << ", " << R.Case << ", " << Threads << " threads: "
                                 << FirstDifference(One, Banded);
      // Entities across a band boundary are visited by each band.
      EXPECT_GE(I.Iterator()->Stats().Drawn, OneStats.Drawn) << Name << ", " << R.Case;
    }
  }
}

TEST(BandedFrame, EqualsTheOneThreadFramePixelForPixel) {
  auto I = LoadDXF(MixedDXF());
  ASSERT_NE(I->CurrentLayout(), nullptr);
  I->SetLevelOfDetail(false);
  ExpectBandsEqualOneThread(*I, "mixed drawing");
  I->SetLevelOfDetail(true);
  ExpectBandsEqualOneThread(*I, "mixed drawing, levels of detail");
}

TEST(BandedFrame, CorpusDrawingsEqualTheOneThreadFrame) {
  // Texts in TrueType and SHX fonts, hatches, dimensions, a paper space with viewports.
  const char* Files[] = {"ezdxf-text_fonts.dxf", "qcad-hatch016_two_hatches.dxf", "ldwg-sample_2010.dxf",
                         "ezdxf-mtext_complex_inline_codes.dxf", "qcad-dimangular000.dxf"};
  int Found = 0;
  for (const char* F : Files) {
    const std::string Path = std::string(DRAFTWELL_CORPUS_DIR) + "/dxf/" + F;
    if (!std::ifstream(Path)) continue;
    auto I = LoadFile(Path);
    if (!I || !I->CurrentLayout()) continue;
    ++Found;
    ExpectBandsEqualOneThread(*I, F);
  }
  if (Found == 0) GTEST_SKIP() << "corpus absent: " << DRAFTWELL_CORPUS_DIR;
}

TEST(BandedFrame, SelectionCanvasKeepsOneThread) {
  // The selection raster numbers entities in drawing order: bands would interleave them.
  auto I = LoadDXF(MixedDXF());
  QImage Sel(640, 480, QImage::Format_RGB32);
  Sel.fill(Qt::black);
  TqdQtCanvas SC(&Sel);
  I->SetSelectionCanvas(&SC);
  const QImage Q = Frame(*I, {4, false, false, 1});
  I->SetSelectionCanvas(nullptr);
  SC.End();
  EXPECT_TRUE(Q == Frame(*I, {}));
  std::vector<const TqdDXFEntity*> Seen = I->SelectionEntities();
  std::sort(Seen.begin(), Seen.end());
  EXPECT_EQ(std::unique(Seen.begin(), Seen.end()), Seen.end()) << "each entity numbered once";
}

// ---------------------------------------------------------------- levels of detail

struct TTextScene : TSceneBase {
  TqdDXFText* Text = nullptr;
  explicit TTextScene(double Height, const char* S = "HELLO") {
    auto T = std::make_unique<TqdDXFText>();
    T->SetPoint({10, 50, 0});
    T->SetHeight(Height);
    T->SetText(S);
    T->SetColorCAD(TqdColorCAD::Index(1));
    Text = AddTo(Model, std::move(T));
  }
  QImage Render(bool LOD) {
    Prepare();
    Img.SetLevelOfDetail(LOD);
    QImage Q(100, 100, QImage::Format_RGB32);
    Q.fill(Qt::white);
    TqdQtCanvas C(&Q);
    Img.Draw(C, {0, 0, 100, 100});
    C.End();
    return Q;
  }
};

// The rows holding red pixels.
std::vector<int> RedRows(const QImage& Q) {
  std::vector<int> R;
  for (int Y = 0; Y < Q.height(); ++Y)
    for (int X = 0; X < Q.width(); ++X)
      if (Q.pixel(X, Y) == qRgb(255, 0, 0)) {
        R.push_back(Y);
        break;
      }
  return R;
}

TEST(LevelOfDetail, TinyTextIsALineOnlyWhenAsked) {
  TTextScene S(2.0);  // two pixels high in the 100-unit view
  const QImage Full = S.Render(false);
  EXPECT_EQ(S.Img.Iterator()->Stats().TextLines, 0);
  EXPECT_FALSE(RedRows(Full).empty()) << "drawn as outlines";
  const QImage Lod = S.Render(true);
  EXPECT_EQ(S.Img.Iterator()->Stats().TextLines, 1);
  const std::vector<int> Rows = RedRows(Lod);
  ASSERT_FALSE(Rows.empty());
  // One row (and the end pixel below it), as long as the text.
  EXPECT_LE(Rows.size(), 2u);
  int Red = 0;
  for (int X = 0; X < 100; ++X) Red += Lod.pixel(X, Rows.front()) == qRgb(255, 0, 0);
  EXPECT_GE(Red, 8) << "the line runs along the text";
}

TEST(LevelOfDetail, ReadableTextIsTheSameEitherWay) {
  TTextScene S(8.0);
  const QImage Full = S.Render(false);
  const QImage Lod = S.Render(true);
  EXPECT_EQ(S.Img.Iterator()->Stats().TextLines, 0);
  EXPECT_TRUE(Full == Lod) << FirstDifference(Full, Lod);
}

// ---------------------------------------------------------------- kept outlines

TEST(KeptOutlines, ChangedTextIsDrawnAsItNowIs) {
  TTextScene S(10.0, "IIII");
  const QImage Before = S.Render(false);
  EXPECT_EQ(S.Img.DrawCache().Entries(), 1u);
  S.Text->SetText("WWWW");
  S.C.Loads(S.Text);
  const QImage After = S.Render(false);
  TTextScene Fresh(10.0, "WWWW");
  const QImage Expected = Fresh.Render(false);
  EXPECT_FALSE(Before == After);
  EXPECT_TRUE(After == Expected) << FirstDifference(After, Expected);
  S.Img.DrawCache().Clear();
  EXPECT_EQ(S.Img.DrawCache().Entries(), 0u);
  EXPECT_EQ(S.Img.DrawCache().Bytes(), 0u);
}

}  // namespace
