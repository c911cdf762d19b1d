// Dimension styles and their overrides, arrow blocks, generated dimension blocks,
// leaders and tolerance frames, built in code.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "DXFConv.h"
#include "Dimensions.h"
#include "Faces.h"
#include "Polylines.h"
#include "Registry.h"
#include "TableItems.h"

namespace {

template <class T> T* AddTo(TqdDXFEntity* Owner, std::unique_ptr<T> E) {
  T* Raw = E.get();
  return Owner->AddEntity(std::move(E)) >= 0 ? Raw : nullptr;
}

// A drawing with its standard tables (STANDARD text and dimension styles).
struct TDrawing {
  TqdDXFConverter C;
  TDrawing() {
    C.SetLoadingState(true, 0);
    C.SetLoadingState(false, 0);
  }
  TqdDXFDimensionStyle* Standard() { return C.DimensionStyleByName("STANDARD"); }
};

TqdDXFDimension* AddLinear(TqdDXFConverter& C, const TFPoint& P1, const TFPoint& P2, const TFPoint& Def,
                           const TFPoint& Mid, int Flags = 0, double LineAngle = 0) {
  auto D = std::make_unique<TqdDXFDimension>();
  D->FLinDefPoint1 = P1;
  D->FLinDefPoint2 = P2;
  D->FDefPoint = Def;
  D->FMiddlePoint = Mid;
  D->FFlags = Flags;
  D->FDimLineAngle = LineAngle;
  return AddTo(C.ModelSpace(), std::move(D));
}

template <class T> std::vector<T*> ChildrenOf(const TqdDXFEntity* B) {
  std::vector<T*> R;
  for (int I = 0; B && I < B->Count(); ++I)
    if (auto* E = dynamic_cast<T*>(B->GetEntity(I)); E && typeid(*E) == typeid(T)) R.push_back(E);
  return R;
}

std::vector<std::pair<int, double>> Pairs(const TqdCADExtendedData& D) {
  std::vector<std::pair<int, double>> R;
  for (const TqdExtData& X : D.Items())
    if (X.ECode == 1070 || X.ECode == 1040) R.emplace_back(X.ECode, X.ECode == 1040 ? X.EDouble : double(X.EInt));
  return R;
}

TqdCADExtendedData DStyle(std::initializer_list<std::pair<int, double>> Items, bool Close = true) {
  TqdCADExtendedData D;
  BeginDStyleData(D);
  for (const auto& [Code, V] : Items) {
    if (Code == 1040) D.AddDouble(1040, V);
    else if (Code == 1005) D.AddInt64(1005, static_cast<std::int64_t>(V));
    else D.AddInt16(Code, static_cast<std::int16_t>(V));
  }
  if (Close) D.AddString(1002, "}");
  return D;
}

// ---------------------------------------------------------------- arrows

struct TArrowNameRow {
  const char* Name;
  int Default, Expected;
};

class ArrowNames : public ::testing::TestWithParam<TArrowNameRow> {};

TEST_P(ArrowNames, LookUp) {
  EXPECT_EQ(ArrowTypeByName(GetParam().Name, GetParam().Default), GetParam().Expected);
}

INSTANTIATE_TEST_SUITE_P(Table, ArrowNames,
                         ::testing::Values(TArrowNameRow{"_CLOSEDFILLED", 5, 0}, TArrowNameRow{"closedfilled", 5, 0},
                                           TArrowNameRow{"_ClosedFilled", 5, 0}, TArrowNameRow{"_DOT", 5, 3},
                                           TArrowNameRow{"none", 5, 20}, TArrowNameRow{"MyArrow", 5, 19},
                                           TArrowNameRow{"", 5, 5}, TArrowNameRow{"_ARCHTICK", 0, 4}));

TEST(Arrows, TypeValuesOutsideTheTableAreRangeChecked) {
  struct TRow {
    int In, Stored;
  } Rows[] = {{-1, -1}, {0, 0}, {20, 20}, {21, 0}, {-2, 0}, {-1000, 0}, {255, 0}, {1 << 20, 0}};
  for (const TRow& R : Rows) EXPECT_EQ(ArrowTypeFromByte(ArrowTypeToByte(R.In)), R.Stored) << R.In;
  // A byte carried from elsewhere past the table reads as the default.
  EXPECT_EQ(ArrowTypeFromByte(200), 0);
  EXPECT_EQ(ArrowNameOfType(21), "");
  EXPECT_EQ(ArrowNameOfType(-1), "");
  TDrawing W;
  EXPECT_EQ(ArrowBlockOfType(&W.C, 25), nullptr);
  EXPECT_EQ(ArrowBlockOfType(&W.C, -7), nullptr);
  TqdDXFDimensionStyle* S = W.Standard();
  S->SetArrowType(-5);
  EXPECT_EQ(S->ArrowType(), 0);
  S->SetArrowType(77);
  EXPECT_EQ(S->ArrowType(), 0);
}

TEST(Arrows, SettingATypeCreatesItsBlock) {
  TDrawing W;
  ASSERT_EQ(W.C.BlockByName("_DOT"), nullptr);
  W.Standard()->SetArrowType1(3);
  TqdDXFBlock* B = W.C.BlockByName("_DOT");
  ASSERT_TRUE(B);
  EXPECT_EQ(W.Standard()->ArrowType1(), 3);
  EXPECT_EQ(W.Standard()->DIMBLK1(), B);
  const auto Dots = ChildrenOf<TqdDXFLWPolyline>(B);
  const auto Lines = ChildrenOf<TqdDXFLine>(B);
  ASSERT_EQ(Dots.size(), 1u);
  ASSERT_EQ(Lines.size(), 1u);
  EXPECT_NEAR(Dots[0]->Box().Right - Dots[0]->Box().Left, 1.0, 0.05);  // diameter 1 with its width
  EXPECT_EQ(Lines[0]->Point().X, -0.5);
  EXPECT_EQ(Lines[0]->Point1().X, -1.0);
  EXPECT_TRUE(Lines[0]->ColorCAD().IsByBlock());
  // A second request finds it.
  W.Standard()->SetArrowType2(3);
  EXPECT_EQ(W.Standard()->DIMBLK2(), B);
}

// ---------------------------------------------------------------- overrides

TEST(Overrides, WriteInTableOrderAndReadBackTheSameBits) {
  TDrawing W;
  TqdDXFDimension* D = AddLinear(W.C, {0, 0, 0}, {10, 0, 0}, {10, 5, 0}, {5, 5, 0});
  W.C.Loads(D);
  D->Properties()->SetDIMCLRD(TqdColorCAD::Index(1));
  D->SetArrowSize(0.25);
  const TqdCADExtendedData X = D->GetExtData("ACAD");
  ASSERT_GE(X.Count(), 4);
  EXPECT_EQ(X.DataString(0), "ACAD");
  EXPECT_EQ(X.DataString(1), "DSTYLE");
  EXPECT_EQ(X.DataString(2), "{");
  EXPECT_EQ(X.DataString(X.Count() - 1), "}");
  const std::vector<std::pair<int, double>> Want{{1070, 41}, {1040, 0.25}, {1070, 176}, {1070, 1}};
  EXPECT_EQ(Pairs(X), Want);

  TqdDXFDimensionProperties P;
  ASSERT_TRUE(P.SetDStyleData(X));
  EXPECT_EQ(P.Overrides(), (1u << vnDIMASZ) | (1u << vnDIMCLRD));
  EXPECT_EQ(P.ArrowSize(), 0.25);
  EXPECT_EQ(P.DIMCLRD().IndexValue(), 1);
  // The style itself is untouched.
  EXPECT_EQ(W.Standard()->ArrowSize(), 0.18);
}

struct TDStyleRow {
  const char* Name;
  TqdCADExtendedData Data;
  std::uint32_t Bits;
};

TEST(Overrides, DStyleReadingToleratesBrokenLists) {
  const TDStyleRow Rows[] = {
      {"DIMTIH from 73 = 1", DStyle({{1070, 73}, {1070, 1}}), 1u << vnDIMTIH},
      {"code at the end without a value", DStyle({{1070, 41}, {1040, 2}, {1070, 140}}, false), 1u << vnDIMASZ},
      {"code just before the brace", DStyle({{1070, 41}, {1040, 2}, {1070, 140}}), 1u << vnDIMASZ},
      {"value of the wrong kind skipped", DStyle({{1070, 41}, {1070, 3}, {1070, 140}, {1040, 0.5}}), 1u << vnDIMTXT},
      {"unknown codes skipped", DStyle({{1070, 79}, {1070, 0}, {1070, 43}, {1040, 0.38}, {1070, 77}, {1070, 1}}),
       1u << vnDIMTAD},
      {"handle not found leaves nothing", DStyle({{1070, 342}, {1005, 0x7777}}), 0},
      {"empty", DStyle({}), 0},
  };
  for (const TDStyleRow& R : Rows) {
    TqdDXFDimensionProperties P;
    EXPECT_TRUE(P.SetDStyleData(R.Data)) << R.Name;
    EXPECT_EQ(P.Overrides(), R.Bits) << R.Name;
  }
  TqdDXFDimensionProperties P;
  ASSERT_TRUE(P.SetDStyleData(DStyle({{1070, 73}, {1070, 1}, {1070, 140}, {1040, -0.3}})));
  EXPECT_TRUE(P.DIMTIH());
  EXPECT_EQ(P.TextHeight(), 0.3);  // absolute value
  TqdCADExtendedData Other;
  Other.AddString(1001, "ACAD");
  Other.AddString(1000, "MVIEW");
  EXPECT_FALSE(P.SetDStyleData(Other));
}

TEST(Overrides, DecimalsAreClamped) {
  struct TRow {
    long long In;
    int Out;
  } Rows[] = {{-3, 0}, {0, 0}, {4, 4}, {8, 8}, {9, 8}, {32767, 8}, {-32768, 0}};
  for (const TRow& R : Rows) {
    TqdDXFDimensionProperties P;
    P.SetDIMDEC(R.In);
    EXPECT_EQ(P.DIMDEC(), R.Out) << R.In;
    TqdDXFDimensionProperties Q;
    Q.SetDStyleData(DStyle({{1070, 271}, {1070, double(std::clamp<long long>(R.In, -32768, 32767))}}));
    EXPECT_EQ(Q.DIMDEC(), R.Out) << R.In;
  }
  // A value stored directly (as a reader might) is clamped when read.
  TqdDXFDimensionStyle S;
  S.FDimProps.Dec = 1000;
  EXPECT_EQ(S.DIMDEC(), 8);
  EXPECT_EQ(FormatDimMeasurement(1.5, 1000), "1,50000000");
}

TEST(Overrides, OwnerIsAlwaysAPlainStyle) {
  TDrawing W;
  TqdDXFDimensionStyle* S = W.Standard();
  S->SetArrowSize(3);
  TqdDXFDimensionProperties A, B;
  A.SetOwnerStyle(S);
  B.SetOwnerStyle(&A);  // an override object cannot own
  EXPECT_EQ(B.GetOwnerStyle(), nullptr);
  B.SetOwnerStyle(&B);
  EXPECT_EQ(B.GetOwnerStyle(), nullptr);
  A.SetArrowSize(5);
  B.ResetOverrides(&A);  // takes A's values and A's owner
  EXPECT_EQ(B.GetOwnerStyle(), S);
  EXPECT_EQ(B.Overrides(), 0u);
  EXPECT_EQ(B.ArrowSize(), 3.0);  // reads through to the style, not A
  B.ResetOverrides(&B);
  EXPECT_EQ(B.ArrowSize(), 3.0);
  // A value set on the override stays there; the rest follow the style.
  B.SetTextHeight(1);
  S->SetTextHeight(2);
  S->SetExtLineExt(0.5);
  EXPECT_EQ(B.TextHeight(), 1.0);
  EXPECT_EQ(B.ExtLineExt(), 0.5);
}

// ---------------------------------------------------------------- measurement and fit

TEST(Measurement, Format) {
  struct TRow {
    double V;
    int Dec;
    const char* Want;
  } Rows[] = {{10, 2, "10,00"}, {10, 0, "10"}, {8.94427191, 4, "8,9443"}, {0.5, 1, "0,5"},
              {-0.00001, 2, "0,00"}, {1234567.891, 4, "1234568,0000"}, {123456789, 2, "1,234568E+08"}};
  for (const TRow& R : Rows) EXPECT_EQ(FormatDimMeasurement(R.V, R.Dec), R.Want) << R.V;
}

TEST(Measurement, FitModes) {
  struct TRow {
    double L, A, W;
    int Mode;
  } Rows[] = {{10, 0.18, 1.2, 1}, {9, 2.5, 4, 2}, {7, 2.5, 2, 4}, {5, 1, 3, 3}, {0.8, 0.18, 1, 2}};
  for (const TRow& R : Rows) EXPECT_EQ(DimFitMode(R.L, R.A, R.W, 0.09), R.Mode) << R.L;
  // Text above the line: arrows and text each need only their own room (20 units, 5 arrows
  // and an 8-unit text keep all inside, where on the line the arrows would go out).
  EXPECT_EQ(DimFitMode(20, 5, 8, 1.25), 3);
  struct TOff {
    double L, A, W;
    int Mode;
  } Off[] = {{20, 5, 8, 1}, {20, 5, 19, 2}, {6, 2.5, 2, 3}, {2, 2.5, 1.5, 4}};
  for (const TOff& R : Off) EXPECT_EQ(DimFitModeOffLine(R.L, R.A, R.W, R.A / 4), R.Mode) << R.L << " " << R.W;
}

TEST(Measurement, RotatedDimensionMeasuresAlongItsLine) {
  TqdDXFDimension D;
  D.FLinDefPoint1 = {0, 0, 0};
  D.FLinDefPoint2 = {10, 5, 0};
  D.FDefPoint = {10, 8, 0};
  D.FDimLineAngle = 0;
  EXPECT_DOUBLE_EQ(D.Measurement(), 10);
  D.FDimLineAngle = 90;
  EXPECT_NEAR(D.Measurement(), 5, 1e-12);
  // Without an angle the extension direction (second origin -> definition point) rules.
  D.FDimLineAngle = std::nan("");
  EXPECT_DOUBLE_EQ(D.Measurement(), 10);
  // Aligned: the direct distance.
  D.FFlags = 1;
  D.FDefPoint = {8, 9, 0};
  EXPECT_NEAR(D.Measurement(), std::hypot(10, 5), 1e-12);
}

// ---------------------------------------------------------------- generated blocks

TEST(Generated, HorizontalDimensionReadsTenWithArrowsAtTheLineEnds) {
  TDrawing W;
  W.Standard()->SetDIMDEC(2);
  TqdDXFDimension* D = AddLinear(W.C, {0, 0, 0}, {10, 5, 0}, {10, 8, 0}, {5, 8, 0});
  W.C.Loads(D);
  TqdDXFBlock* B = D->Block();
  ASSERT_TRUE(B);
  EXPECT_EQ(B->Name(), "*qdDim0");
  const auto Texts = ChildrenOf<TqdDXFText>(B);
  ASSERT_EQ(Texts.size(), 1u);
  EXPECT_EQ(Texts[0]->Text(), "10,00");
  // Two arrowheads at the ends of the dimension line (y = 8), pointing outwards, and
  // the auxiliary tails at the same points.
  std::vector<TqdDXFInsert*> Arrows;
  for (TqdDXFInsert* I : ChildrenOf<TqdDXFInsert>(B))
    if (I->Block() && I->Block()->Name() == "_CLOSEDFILLED") Arrows.push_back(I);
  ASSERT_EQ(Arrows.size(), 2u);
  EXPECT_NEAR(Arrows[0]->Point().X, 0, 1e-9);
  EXPECT_NEAR(Arrows[0]->Point().Y, 8, 1e-9);
  EXPECT_NEAR(Arrows[0]->Angle(), 180, 1e-6);
  EXPECT_NEAR(Arrows[1]->Point().X, 10, 1e-9);
  EXPECT_NEAR(Arrows[1]->Point().Y, 8, 1e-9);
  EXPECT_NEAR(Arrows[1]->Angle(), 0, 1e-6);
  EXPECT_NEAR(Arrows[0]->Scale().X, 0.18, 1e-9);
  // The extension lines pass DIMEXE beyond the dimension line and start DIMEXO off
  // their origins; the box is finite and covers the whole dimension.
  const auto Lines = ChildrenOf<TqdDXFLine>(B);
  ASSERT_EQ(Lines.size(), 4u);
  EXPECT_NEAR(Lines[0]->Point().Y, 0.0625, 1e-9);
  EXPECT_NEAR(Lines[0]->Point1().Y, 8.18, 1e-9);
  EXPECT_NEAR(Lines[1]->Point().Y, 5.0625, 1e-9);
  const TFRect R = D->Box();
  ASSERT_TRUE(IsFiniteBox(R));
  EXPECT_LE(R.Left, 0.0);
  EXPECT_GE(R.Right, 10.0);
  EXPECT_EQ(D->Point().X, 0.0);
}

TEST(Generated, DecimalSeparatorOfTheStyleElseOfTheDrawing) {
  // "," only when neither the dimension's style nor the drawing sets a separator.
  struct TRow {
    const char* Name;
    int Header, Style;
    const char* Want;
  } Rows[] = {{"none", 0, 0, "10,00"},
              {"drawing", '.', 0, "10.00"},
              {"style", 0, '.', "10.00"},
              {"style wins", ',', '.', "10.00"},
              {"unprintable", 7, 0, "10,00"}};
  for (const TRow& R : Rows) {
    TDrawing W;
    W.Standard()->SetDIMDEC(2);
    W.C.HeadVarStruct().DimProps.DSep = ClampDimDSep(R.Header);
    if (R.Style) W.Standard()->SetDIMDSEP(R.Style);
    TqdDXFDimension* D = AddLinear(W.C, {0, 0, 0}, {10, 5, 0}, {10, 8, 0}, {5, 8, 0});
    W.C.Loads(D);
    ASSERT_TRUE(D->Block()) << R.Name;
    const auto Texts = ChildrenOf<TqdDXFText>(D->Block());
    ASSERT_EQ(Texts.size(), 1u) << R.Name;
    EXPECT_EQ(Texts[0]->Text(), R.Want) << R.Name;
  }
}

TEST(Generated, ZeroExtensionDirectionFallsBackOrMakesNothing) {
  TDrawing W;
  // The dimension line passes through the second origin, no angle given.
  TqdDXFDimension* D = AddLinear(W.C, {0, 0, 0}, {10, 0, 0}, {10, 0, 0}, {5, 1, 0}, 1);
  W.C.Loads(D);
  ASSERT_TRUE(D->Block());
  EXPECT_TRUE(IsFiniteBox(D->Box()));
  for (TqdDXFLine* L : ChildrenOf<TqdDXFLine>(D->Block())) {
    EXPECT_TRUE(IsFiniteFPoint(L->Point()));
    EXPECT_TRUE(IsFiniteFPoint(L->Point1()));
  }
  EXPECT_EQ(ChildrenOf<TqdDXFText>(D->Block())[0]->Text(), "10,0000");
  // Everything in one point: nothing to measure along, nothing generated.
  TqdDXFDimension* Z = AddLinear(W.C, {3, 3, 0}, {3, 3, 0}, {3, 3, 0}, {4, 4, 0}, 1, std::nan(""));
  W.C.Loads(Z);
  EXPECT_EQ(Z->Block(), nullptr);
  // Text at the definition point, or an angular type: nothing either.
  TqdDXFDimension* T = AddLinear(W.C, {0, 0, 0}, {10, 0, 0}, {10, 5, 0}, {10, 5, 0});
  W.C.Loads(T);
  EXPECT_EQ(T->Block(), nullptr);
  TqdDXFDimension* A = AddLinear(W.C, {0, 0, 0}, {10, 0, 0}, {10, 5, 0}, {5, 5, 0}, 2);
  W.C.Loads(A);
  EXPECT_EQ(A->Block(), nullptr);
}

TEST(Generated, CopySharingTheBlockGetsItsOwn) {
  TDrawing W;
  TqdDXFDimension* D = AddLinear(W.C, {0, 0, 0}, {10, 0, 0}, {10, 5, 0}, {5, 5, 0});
  W.C.Loads(D);
  TqdDXFBlock* B = D->Block();
  ASSERT_TRUE(B);
  auto Copy = std::make_unique<TqdDXFDimension>();
  Copy->AssignEntity(*D);
  TqdDXFDimension* K = AddTo(W.C.ModelSpace(), std::move(Copy));
  ASSERT_TRUE(K);
  K->FLinDefPoint2 = {20, 0, 0};
  K->FDefPoint = {20, 5, 0};
  W.C.Loads(K);
  ASSERT_TRUE(K->Block());
  EXPECT_NE(K->Block(), B);
  EXPECT_EQ(D->Block(), B);
  EXPECT_EQ(ChildrenOf<TqdDXFText>(B)[0]->Text(), "10,0000");
  EXPECT_EQ(ChildrenOf<TqdDXFText>(K->Block())[0]->Text(), "20,0000");
  // The sole user regenerates in place.
  D->FLinDefPoint2 = {12, 0, 0};
  D->FDefPoint = {12, 5, 0};
  W.C.Loads(D);
  EXPECT_EQ(D->Block(), B);
  EXPECT_EQ(ChildrenOf<TqdDXFText>(B)[0]->Text(), "12,0000");
}

TEST(Generated, OverridesAndTextOverride) {
  TDrawing W;
  TqdDXFDimension* D = AddLinear(W.C, {0, 0, 0}, {10, 0, 0}, {10, 5, 0}, {5, 5, 0});
  D->SetTextOverride("42 mm");
  D->Properties()->SetDIMSD1(true);
  D->Properties()->SetDIMSE2(true);
  D->Properties()->SetDIMCLRD(TqdColorCAD::Index(3));
  W.C.Loads(D);
  ASSERT_TRUE(D->Block());
  EXPECT_EQ(ChildrenOf<TqdDXFText>(D->Block())[0]->Text(), "42 mm");
  const auto Lines = ChildrenOf<TqdDXFLine>(D->Block());
  ASSERT_EQ(Lines.size(), 4u);
  EXPECT_TRUE(Lines[0]->Visibility());   // extension line 1
  EXPECT_FALSE(Lines[1]->Visibility());  // extension line 2 suppressed
  EXPECT_FALSE(Lines[2]->Visibility());  // dimension line 1 suppressed
  EXPECT_EQ(Lines[3]->ColorCAD().IndexValue(), 3);
  // DIMPOST frames the number.
  TqdDXFDimension* P = AddLinear(W.C, {0, 0, 0}, {10, 0, 0}, {10, 5, 0}, {5, 5, 0});
  P->Properties()->FDimProps.Post = "<> mm";
  P->Properties()->SetDIMDEC(0);
  EXPECT_EQ(P->MeasurementText(), "10 mm");
}

TEST(Generated, AngleBracketsInAnOverrideStandForTheMeasurement) {
  TDrawing W;
  W.Standard()->SetDIMDEC(1);
  TqdDXFDimension* D = AddLinear(W.C, {0, 0, 0}, {12.5, 0, 0}, {12.5, 5, 0}, {6, 5, 0});
  D->SetTextOverride("R<> typ.");
  W.C.Loads(D);
  EXPECT_EQ(D->MeasurementText(), "R12,5 typ.");
  // DIMPOST still frames the number inside the override.
  W.Standard()->FDimProps.Post = "<> mm";
  EXPECT_EQ(D->MeasurementText(), "R12,5 mm typ.");
  W.Standard()->FDimProps.Post.clear();
  // One blank suppresses the text; the lines and arrows are still made.
  D->SetTextOverride(" ");
  EXPECT_EQ(D->MeasurementText(), "");
  W.C.Loads(D);
  ASSERT_TRUE(D->Block());
  EXPECT_EQ(ChildrenOf<TqdDXFText>(D->Block())[0]->Text(), "");
  EXPECT_EQ(ChildrenOf<TqdDXFLine>(D->Block()).size(), 4u);
}

TEST(Generated, DimScaleSizesArrowsTextAndExtensions) {
  TDrawing W;
  W.Standard()->SetScale(10);
  TqdDXFDimension* D = AddLinear(W.C, {0, 0, 0}, {100, 0, 0}, {100, 30, 0}, {50, 30, 0});
  W.C.Loads(D);
  TqdDXFBlock* B = D->Block();
  ASSERT_TRUE(B);
  // The number is not scaled; every size is.
  EXPECT_EQ(ChildrenOf<TqdDXFText>(B)[0]->Text(), "100,0000");
  EXPECT_NEAR(ChildrenOf<TqdDXFText>(B)[0]->Height(), 1.8, 1e-9);
  const auto Lines = ChildrenOf<TqdDXFLine>(B);
  ASSERT_EQ(Lines.size(), 4u);
  EXPECT_NEAR(Lines[0]->Point().Y, 0.625, 1e-9);
  EXPECT_NEAR(Lines[0]->Point1().Y, 31.8, 1e-9);
  for (TqdDXFInsert* I : ChildrenOf<TqdDXFInsert>(B)) {
    if (I->Block() && I->Block()->Name() == "_CLOSEDFILLED") {
      EXPECT_NEAR(I->Scale().X, 1.8, 1e-9);
    }
  }
  // DIMSCALE 0 (fit to the viewport) draws at unit scale.
  W.Standard()->SetScale(0);
  W.C.Loads(D);
  EXPECT_NEAR(ChildrenOf<TqdDXFText>(D->Block())[0]->Height(), 0.18, 1e-9);
}

TEST(Generated, TickSizeReplacesTheArrowsByObliqueStrokes) {
  TDrawing W;
  W.Standard()->FDimProps.Tsz = 2.5;
  TqdDXFDimension* D = AddLinear(W.C, {0, 0, 0}, {20, 0, 0}, {20, 10, 0}, {10, 10, 0});
  W.C.Loads(D);
  ASSERT_TRUE(D->Block());
  const auto Inserts = ChildrenOf<TqdDXFInsert>(D->Block());
  ASSERT_EQ(Inserts.size(), 2u);  // no arrowheads, no tails
  for (TqdDXFInsert* I : Inserts) {
    ASSERT_TRUE(I->Block());
    EXPECT_EQ(I->Block()->Name(), "_OBLIQUE");
    EXPECT_NEAR(I->Scale().X, 2.5, 1e-9);
    EXPECT_NEAR(I->Point().Y, 10, 1e-9);
  }
}

// Text above the line (DIMTAD 1) lands where the writing program put it: the text
// middle point files store (code 11) is the oracle. A 6-unit vertical dimension with
// 2.5 arrows fits neither (mode 4) yet is too long to lead its text out.
TEST(Generated, TextAboveTheLineAlsoWhenTheArrowsGoOutside) {
  TDrawing W;
  TqdDXFDimensionStyle* S = W.Standard();
  S->SetArrowSize(2.5);
  S->SetTextHeight(2.5);
  S->SetTextOffset(0.625);
  S->SetExtLineOffset(0.625);
  S->SetExtLineExt(1.25);
  S->SetTextPosVert(pvAbove);
  S->SetDIMTIH(false);
  S->SetDIMTOH(false);
  S->SetDIMDEC(0);
  TqdDXFDimension* D = AddLinear(W.C, {30, 3, 0}, {30, -3, 0}, {45, 3, 0}, {43.125, 0, 0}, 0, 90);
  W.C.Loads(D);
  ASSERT_TRUE(D->Block());
  const auto Texts = ChildrenOf<TqdDXFText>(D->Block());
  ASSERT_EQ(Texts.size(), 1u);
  EXPECT_EQ(Texts[0]->Text(), "6");
  EXPECT_NEAR(Texts[0]->Rotation(), 90, 1e-9);
  // Left of the vertical line (the smaller X), by half the height plus the gap on each side.
  const TFRect R = Texts[0]->Box();
  EXPECT_NEAR((R.Left + R.Right) / 2, 43.125, 0.05);
  EXPECT_LT(R.Right, 45.0);
  EXPECT_NEAR((R.Top + R.Bottom) / 2, 0, 0.05);
  // Arrows outside, pointing at the extension lines.
  for (TqdDXFInsert* I : ChildrenOf<TqdDXFInsert>(D->Block())) {
    if (I->Block() && I->Block()->Name() == "_CLOSEDFILLED") {
      EXPECT_NEAR(I->Angle(), I->Point().Y > 0 ? 270 : 90, 1e-6);
    }
  }
  // Centred on the line the text stays when the style says so.
  S->SetTextPosVert(pvCenter);
  W.C.Loads(D);
  const TFRect C0 = ChildrenOf<TqdDXFText>(D->Block())[0]->Box();
  EXPECT_NEAR((C0.Left + C0.Right) / 2, 45, 0.05);
}

// Text above the line stands the gap plus half its nominal height off the line, as its
// writer places the middle point: a comma's descender does not lift it, and a TrueType
// style keeps the gap too.
TEST(Generated, TextAboveStandsTheGapOffTheLine) {
  TDrawing W;
  TqdDXFDimensionStyle* S = W.Standard();
  S->SetArrowSize(2.5);
  S->SetTextHeight(2.5);
  S->SetTextOffset(0.625);
  S->SetTextPosVert(pvAbove);
  S->SetDIMDEC(1);
  TqdDXFDimension* D = AddLinear(W.C, {0, 0, 0}, {12.7, 0, 0}, {0, 10, 0}, {6.35, 11.875, 0});
  for (const char* Font : {"", "Arial"}) {
    W.C.StyleByName("STANDARD")->FFontName = Font;
    W.C.Loads(D);
    ASSERT_TRUE(D->Block());
    const auto Texts = ChildrenOf<TqdDXFText>(D->Block());
    ASSERT_EQ(Texts.size(), 1u);
    EXPECT_EQ(Texts[0]->Text(), "12,7");
    EXPECT_NEAR(Texts[0]->Point().X, 6.35, 1e-9) << Font;
    EXPECT_NEAR(Texts[0]->Point().Y, 10 + 0.625 + 1.25, 1e-9) << Font;
  }
}

// DIMTIX keeps the text between the extension lines where the fit would lead it out
// (9 units, 2.5 arrows: arrows inside, text outside); the broken line stays between
// the arrow points even when the text is wider than they are apart.
TEST(Generated, ForcedTextStaysBetweenTheExtensionLines) {
  TDrawing W;
  TqdDXFDimensionStyle* S = W.Standard();
  S->SetArrowSize(2.5);
  S->SetTextHeight(2.5);
  S->SetDIMTIX(1);
  TqdDXFDimension* D = AddLinear(W.C, {0, 0, 0}, {9, 0, 0}, {9, 5, 0}, {4.5, 5, 0});
  D->SetTextOverride("FORCED INSIDE");
  W.C.Loads(D);
  ASSERT_TRUE(D->Block());
  const auto Texts = ChildrenOf<TqdDXFText>(D->Block());
  ASSERT_EQ(Texts.size(), 1u);
  const TFRect R = Texts[0]->Box();
  EXPECT_NEAR((R.Left + R.Right) / 2, 4.5, 0.05);
  EXPECT_GT(R.Right - R.Left, 9.0);
  const auto Lines = ChildrenOf<TqdDXFLine>(D->Block());
  EXPECT_EQ(Lines.size(), 4u);  // no stub or landing
  for (const TqdDXFLine* L : Lines)
    if (L->Point().Y == 5 && L->Point1().Y == 5) {
      EXPECT_GE(std::min(L->Point().X, L->Point1().X), -1e-9);
      EXPECT_LE(std::max(L->Point().X, L->Point1().X), 9 + 1e-9);
    }
  for (TqdDXFInsert* I : ChildrenOf<TqdDXFInsert>(D->Block()))
    if (I->Block() && I->Block()->Name() == "_CLOSEDFILLED") EXPECT_NEAR(I->Angle(), I->Point().X < 1 ? 180 : 0, 1e-6);
  // Without it the text is led out beside the line.
  S->SetDIMTIX(0);
  W.C.Loads(D);
  EXPECT_GT(ChildrenOf<TqdDXFLine>(D->Block()).size(), 4u);
}

// DIMTOFL keeps a dimension line between the extension lines when the arrows go
// outside (10 units, 2-unit arrows, a long text: mode 3), broken around the text.
TEST(Generated, LineBetweenOutwardArrowsWithDimTofl) {
  TDrawing W;
  TqdDXFDimensionStyle* S = W.Standard();
  S->SetArrowSize(2);
  S->SetTextHeight(1);
  TqdDXFDimension* D = AddLinear(W.C, {0, 0, 0}, {10, 0, 0}, {10, 4, 0}, {5, 4, 0});
  D->SetTextOverride("12345678");
  auto Inside = [&]() {
    double Len = 0;
    for (const TqdDXFLine* L : ChildrenOf<TqdDXFLine>(D->Block()))
      if (L->Visibility() && L->Point().Y == 4 && L->Point1().Y == 4) Len += std::fabs(L->Point1().X - L->Point().X);
    return Len;
  };
  W.C.Loads(D);
  ASSERT_TRUE(D->Block());
  EXPECT_EQ(Inside(), 0.0);
  S->FDimProps.Tofl = true;
  W.C.Loads(D);
  const double Len = Inside();
  EXPECT_GT(Len, 0.5);
  EXPECT_LT(Len, 10.0);  // broken around the text
  for (TqdDXFInsert* I : ChildrenOf<TqdDXFInsert>(D->Block()))
    if (I->Block() && I->Block()->Name() == "_CLOSEDFILLED") EXPECT_NEAR(I->Angle(), I->Point().X < 1 ? 0 : 180, 1e-6);
  // Text above, arrows too long to fit: one whole line under the text.
  S->SetTextPosVert(pvAbove);
  S->SetArrowSize(6);
  D->SetTextOverride("12");
  W.C.Loads(D);
  EXPECT_NEAR(Inside(), 10.0, 1e-9);
}

// An override with multiline-text codes (a stacked tolerance) is laid out as such,
// centred where the plain number would be; codes must not show as characters.
TEST(Generated, FormattedOverrideBecomesAMultilineText) {
  TDrawing W;
  W.Standard()->SetTextHeight(2.5);
  W.Standard()->SetArrowSize(2.5);
  TqdDXFDimension* D = AddLinear(W.C, {0, 0, 0}, {50, 0, 0}, {50, 20, 0}, {25, 20, 0});
  D->SetTextOverride("\\A1;50\\S0.01^ 0.02;");
  W.C.Loads(D);
  ASSERT_TRUE(D->Block());
  const auto MTexts = ChildrenOf<TqdDXFMText>(D->Block());
  ASSERT_EQ(MTexts.size(), 1u);
  EXPECT_TRUE(ChildrenOf<TqdDXFText>(D->Block()).empty());
  EXPECT_EQ(MTexts[0]->Text(), "\\A1;50\\S0.01^ 0.02;");
  const TFRect R = MTexts[0]->Box();
  ASSERT_TRUE(IsFiniteBox(R));
  EXPECT_NEAR((R.Left + R.Right) / 2, 25, 0.05);
  EXPECT_NEAR((R.Top + R.Bottom) / 2, 20, 0.6);
  // Narrower than the code characters drawn one by one would be.
  EXPECT_LT(R.Right - R.Left, 2.5 * 8);
  // Plain overrides and escaped backslashes stay single-line texts.
  D->SetTextOverride("R<> \\\\ 2");
  W.C.Loads(D);
  EXPECT_TRUE(ChildrenOf<TqdDXFMText>(D->Block()).empty());
  ASSERT_EQ(ChildrenOf<TqdDXFText>(D->Block()).size(), 1u);
}

TEST(Generated, TextRotationReadsLeftToRight) {
  TDrawing W;
  W.Standard()->SetDIMTIH(false);
  W.Standard()->SetDIMTOH(false);
  // An aligned dimension whose line runs at 135 degrees.
  TqdDXFDimension* D = AddLinear(W.C, {0, 0, 0}, {-10, 10, 0}, {-9, 11, 0}, {-4, 6, 0}, 1);
  W.C.Loads(D);
  ASSERT_TRUE(D->Block());
  EXPECT_NEAR(ChildrenOf<TqdDXFText>(D->Block())[0]->Rotation(), 315, 1e-4);
  W.Standard()->SetDIMTIH(true);
  W.C.Loads(D);
  EXPECT_NEAR(ChildrenOf<TqdDXFText>(D->Block())[0]->Rotation(), 0, 1e-9);
}

// ---------------------------------------------------------------- leaders and frames

TqdDXFLeader* AddLeader(TqdDXFConverter& C, std::initializer_list<TFPoint> Pts, bool Spline = false) {
  auto L = std::make_unique<TqdDXFLeader>();
  for (const TFPoint& P : Pts) L->Controls().Add(P);
  L->SetIsSpline(Spline);
  return AddTo(C.ModelSpace(), std::move(L));
}

TEST(Leaders, DirectionSkipsCoincidentPointsAndArrowFits) {
  TDrawing W;
  TqdDXFLeader* L = AddLeader(W.C, {{0, 0, 0}, {0, 0, 0}, {10, 0, 0}});
  L->SetArrowSize(2.5);
  W.C.Loads(L);
  ASSERT_TRUE(L->ArrowInsert());
  EXPECT_TRUE(L->ArrowInsert()->Visibility());
  EXPECT_NEAR(L->ArrowAngle(), 180, 1e-9);
  ASSERT_TRUE(L->ArrowInsert()->Block());
  EXPECT_EQ(L->ArrowInsert()->Block()->Name(), "_CLOSEDFILLED");
  EXPECT_NEAR(L->ArrowInsert()->Scale().X, 2.5, 1e-9);
  EXPECT_TRUE(IsFiniteBox(L->Box()));
  L->SetArrowSize(6);
  W.C.Loads(L);
  EXPECT_FALSE(L->ArrowInsert()->Visibility());
  // Nearly vertical first segment: no NaN from rounding.
  TqdDXFLeader* V = AddLeader(W.C, {{1e-300, 5, 0}, {0, 0, 0}});
  W.C.Loads(V);
  EXPECT_TRUE(std::isfinite(V->ArrowAngle()));
  // Colour follows onto the arrowhead.
  L->SetColorCAD(TqdColorCAD::Index(5));
  EXPECT_EQ(L->ArrowInsert()->ColorCAD().IndexValue(), 5);
}

TEST(Leaders, SplineKnotsAndShortLeaders) {
  TDrawing W;
  TqdDXFLeader* L = AddLeader(W.C, {{0, 0, 0}, {3, 4, 0}, {3, 10, 0}}, true);
  W.C.Loads(L);
  const std::vector<float> Want{0, 0, 5, 11, 11, 11, 11};
  ASSERT_EQ(L->KnotCount(), 7);
  for (int I = 0; I < 7; ++I) EXPECT_EQ(L->Knots()[I], Want[static_cast<std::size_t>(I)]) << I;
  EXPECT_GE(L->PointCount(), 2);
  TqdDXFLeader* One = AddLeader(W.C, {{0, 0, 0}});
  W.C.Loads(One);
  EXPECT_FALSE(IsFiniteBox(One->Box()));
}

TEST(Tolerances, FramesAroundTheCells) {
  TDrawing W;
  auto T = std::make_unique<TqdDXFTolerance>();
  T->SetText("{\\Fgdt;j}%%v{\\Fgdt;n}0.1%%vA^J{\\Fgdt;u}%%v0.05");
  T->SetPoint({0, 0, 0});
  T->SetHeight(1);
  TqdDXFTolerance* Raw = AddTo(W.C.ModelSpace(), std::move(T));
  W.C.Loads(Raw);
  ASSERT_TRUE(Raw->FrameBlock());
  const auto Texts = ChildrenOf<TqdDXFText>(Raw->FrameBlock());
  ASSERT_EQ(Texts.size(), 5u);
  EXPECT_EQ(Texts[2]->Text(), "A");
  const auto Lines = ChildrenOf<TqdDXFLine>(Raw->FrameBlock());
  EXPECT_EQ(Lines.size(), 2u * 2 + 4 + 3);  // two rows: top, bottom and the cell edges
  const TFRect R = Raw->Box();
  ASSERT_TRUE(IsFiniteBox(R));
  EXPECT_NEAR(R.Top, 0, 1e-9);
  EXPECT_NEAR(R.Bottom, -4, 1e-9);  // two rows of twice the text height
  // Gap: a value near 0 removes it.
  Raw->SetGAP(0.3);
  EXPECT_EQ(Raw->GAP(), 0.3);
  Raw->SetGAP(1e-9);
  EXPECT_EQ(Raw->GAP(), W.Standard()->TextOffset());
}

}  // namespace
