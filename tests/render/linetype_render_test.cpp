// Linetypes on the device: gaps where the pattern has them, solid lines where the
// dashes would be smaller than a pixel, BYLAYER and BYBLOCK patterns, dashes that keep
// their drawing size inside scaled block references, and frames that leave the
// database as it was.
#include <gtest/gtest.h>

#include <QImage>
#include <memory>
#include <string>

#include "CADImage.h"
#include "DXFConv.h"
#include "Entities.h"
#include "Inserts.h"
#include "TableItems.h"
#include "qdIterator.h"
#include "qdQtCanvas.h"

namespace {

constexpr TqdDeviceColor Red = 0x0000FF;

// A drawing whose view is 0..100 in X and Y: point (x, y) is pixel (x, 100 - y).
struct TScene {
  TqdCADdxfImage Img;  // a CAD file's picture: dashes measured in drawing units
  TqdDXFConverter& C = *Img.Converter();
  TqdDXFBlock* Model = C.ModelSpace();

  TqdDXFLineType* LineType(const std::string& Name, std::initializer_list<double> Dashes) {
    auto* LT = dynamic_cast<TqdDXFLineType*>(C.NewNamedEntity(C.GetOrCreateSection(csLTypes),
                                                               ClassOf<TqdDXFLineType>(), Name));
    for (double D : Dashes) {
      TqdLTypeElement E;
      E.Dash = D;
      LT->AddElement(E);
    }
    C.Loads(LT);
    return LT;
  }
  TqdDXFLine* Line(TqdDXFEntity* Owner, TFPoint A, TFPoint B, TqdDXFLineType* LT, int Aci = 1) {
    auto L = std::make_unique<TqdDXFLine>();
    L->SetLine(A, B);
    L->SetColorCAD(TqdColorCAD::Index(Aci));
    L->SetLineType(LT);
    TqdDXFLine* Raw = L.get();
    Owner->AddEntity(std::move(L));
    return Raw;
  }
  QImage Render() {
    C.LoadAll();
    Img.SetIsWithoutBorder(true);
    Img.SetDrawingBox({0, 100, 0, 100, 0, 0});
    Img.SetCurrentLayout(C.GetLayout(0), 0);
    QImage Q(100, 100, QImage::Format_RGB32);
    Q.fill(Qt::white);
    TqdQtCanvas Canvas(&Q);
    Img.Draw(Canvas, {0, 0, 100, 100});
    Canvas.End();
    return Q;
  }
};

bool IsRed(const QImage& Q, int X, int Y) {
  const QRgb P = Q.pixel(X, Y);
  return MakeRGB(qRed(P), qGreen(P), qBlue(P)) == Red;
}

// Painted pixels of row Y between columns 0 and 99, and the longest unpainted run
// between the first and the last painted pixel.
struct TRow {
  int Painted = 0;
  int LongestGap = 0;
};

TRow Row(const QImage& Q, int Y) {
  TRow R;
  int First = -1, Last = -1;
  for (int X = 0; X < 100; ++X)
    if (IsRed(Q, X, Y)) {
      ++R.Painted;
      if (First < 0) First = X;
      Last = X;
    }
  int Run = 0;
  for (int X = First; X >= 0 && X <= Last; ++X) {
    Run = IsRed(Q, X, Y) ? 0 : Run + 1;
    R.LongestGap = std::max(R.LongestGap, Run);
  }
  return R;
}

std::vector<bool> Pixels(const QImage& Q, int Y) {
  std::vector<bool> P;
  for (int X = 0; X < 100; ++X) P.push_back(IsRed(Q, X, Y));
  return P;
}

TEST(LinetypePixels, DashedLineShowsItsGaps) {
  TScene S;
  TqdDXFLineType* Dashed = S.LineType("DASHED", {10, -10});
  S.Line(S.Model, {0, 50, 0}, {100, 50, 0}, Dashed);
  const QImage Q = S.Render();
  const TRow R = Row(Q, 50);
  EXPECT_GE(R.Painted, 45);
  EXPECT_LE(R.Painted, 56);
  EXPECT_GE(R.LongestGap, 9);
  EXPECT_EQ(S.Img.Iterator()->Stats().Dashed, 1);
}

TEST(LinetypePixels, DashesBelowAPixelDrawSolid) {
  TScene S;
  TqdDXFLineType* Dashed = S.LineType("DASHED", {10, -10});
  S.Line(S.Model, {0, 50, 0}, {100, 50, 0}, Dashed)->SetLineTypeScale(0.01);  // 0.1-pixel dashes
  S.C.HeadVarStruct().LTScale = 1;
  const QImage Q = S.Render();
  EXPECT_GE(Row(Q, 50).Painted, 99);
  EXPECT_EQ(S.Img.Iterator()->Stats().Dashed, 0);
}

TEST(LinetypePixels, DrawingScaleTimesEntityScale) {
  TScene S;
  TqdDXFLineType* Dashed = S.LineType("DASHED", {1, -1});
  S.Line(S.Model, {0, 50, 0}, {100, 50, 0}, Dashed)->SetLineTypeScale(2);
  S.C.HeadVarStruct().LTScale = 5;  // dashes of 10
  const QImage Q = S.Render();
  EXPECT_GE(Row(Q, 50).LongestGap, 9);
}

TEST(LinetypePixels, ByLayerAndByBlockPatterns) {
  TScene S;
  TqdDXFLineType* Dashed = S.LineType("DASHED", {10, -10});
  TqdDXFLayer* L = S.C.LayerByName("HIDDEN");
  L->SetLineType(Dashed);
  TqdDXFLine* A = S.Line(S.Model, {0, 80, 0}, {100, 80, 0}, dynamic_cast<TqdDXFLineType*>(S.C.ItemByName("BYLAYER", csLTypes, true)));
  A->SetLayer(L);
  // A BYBLOCK line in a block takes the reference's linetype.
  auto* B = dynamic_cast<TqdDXFBlock*>(
      S.C.NewNamedEntity(S.C.GetOrCreateSection(csBlocks), ClassOf<TqdDXFBlock>(), "B"));
  S.Line(B, {0, 0, 0}, {100, 0, 0}, dynamic_cast<TqdDXFLineType*>(S.C.ItemByName("BYBLOCK", csLTypes, true)));
  auto I = std::make_unique<TqdDXFInsert>();
  I->SetBlock(B);
  I->SetPoint({0, 20, 0});
  I->SetLineType(Dashed);
  S.Model->AddEntity(std::move(I));
  const QImage Q = S.Render();
  EXPECT_GE(Row(Q, 20).LongestGap, 9) << "BYLAYER";
  EXPECT_GE(Row(Q, 80).LongestGap, 9) << "BYBLOCK";
}

TEST(LinetypePixels, DashesKeepTheirDrawingSizeInScaledReferences) {
  TScene S;
  TqdDXFLineType* Dashed = S.LineType("DASHED", {10, -10});
  S.Line(S.Model, {0, 70, 0}, {100, 70, 0}, Dashed);
  auto* B = dynamic_cast<TqdDXFBlock*>(
      S.C.NewNamedEntity(S.C.GetOrCreateSection(csBlocks), ClassOf<TqdDXFBlock>(), "HALF"));
  TqdDXFLine* Inner = S.Line(B, {0, 0, 0}, {50, 0, 0}, Dashed);
  auto I = std::make_unique<TqdDXFInsert>();
  I->SetBlock(B);
  I->SetPoint({0, 30, 0});
  I->SetScale({2, 2, 1});
  S.Model->AddEntity(std::move(I));
  const TFPoint Before = Inner->Point1();
  const QImage Q = S.Render();
  EXPECT_EQ(Pixels(Q, 70), Pixels(Q, 30)) << "the same dashes as the line outside the reference";
  // The frame cut a scaled copy: the block's line is exactly as it was.
  EXPECT_EQ(Inner->Point1().X, Before.X);
  EXPECT_EQ(Inner->Point1().Y, Before.Y);
  S.Render();
  EXPECT_EQ(Inner->Point1().X, Before.X);
}

TEST(LinetypePixels, FlattenedReferenceDrawsSolid) {
  // A reference with a vanishing axis has nothing to measure dashes in.
  TScene S;
  TqdDXFLineType* Dashed = S.LineType("DASHED", {10, -10});
  auto* B = dynamic_cast<TqdDXFBlock*>(
      S.C.NewNamedEntity(S.C.GetOrCreateSection(csBlocks), ClassOf<TqdDXFBlock>(), "FLAT"));
  S.Line(B, {0, 0, 0}, {0, 100, 0}, Dashed);
  auto I = std::make_unique<TqdDXFInsert>();
  I->SetBlock(B);
  I->SetPoint({50, 0, 0});
  I->SetScale({1e-13, 1, 1});
  S.Model->AddEntity(std::move(I));
  const QImage Q = S.Render();
  EXPECT_EQ(S.Img.Iterator()->Stats().Dashed, 0);
  int Painted = 0;
  for (int Y = 1; Y < 99; ++Y) Painted += IsRed(Q, 50, Y);
  EXPECT_GE(Painted, 97);
}

}  // namespace

TEST(LinetypePixels, EmbeddedTextIsDrawnBesideTheLine) {
  TScene S;
  auto* LT = dynamic_cast<TqdDXFLineType*>(S.C.NewNamedEntity(S.C.GetOrCreateSection(csLTypes),
                                                              ClassOf<TqdDXFLineType>(), "GASLINE"));
  TqdLTypeElement D;
  D.Dash = 20;
  LT->AddElement(D);
  TqdLTypeElement T;  // "GAS" in a gap of 20, standing 4 high across the line
  T.Dash = -20;
  T.ComplexType = TqdLTypeElement::cnstText;
  T.Text = "GAS";
  T.Scale = 4;
  T.Offset = {2, -2, 0};
  LT->AddElement(T);
  S.C.Loads(LT);
  ASSERT_EQ(LT->Lines().SimpleElements().size(), 3u);
  EXPECT_FALSE(LT->Lines().SimpleElements()[2].Strokes().empty()) << "the text became strokes";
  S.Line(S.Model, {0, 50, 0}, {100, 50, 0}, LT);
  const QImage Q = S.Render();
  // Letters reach 2 above and below the line, where a plain dashed line paints nothing.
  int Off = 0;
  for (int Y : {47, 48, 52, 53}) Off += Row(Q, Y).Painted;
  EXPECT_GT(Off, 4);
  EXPECT_GT(Row(Q, 50).LongestGap, 3) << "the gaps stay";
}
