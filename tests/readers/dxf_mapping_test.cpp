// Group codes in, attributes out: the per-type mapping of the DXF reader, and the
// faults hostile or sloppy files provoke in it (codes that name an edge, a pattern
// line, an element or a vertex that does not exist; counts that ask for huge lists).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "Dimensions.h"
#include "Faces.h"
#include "Hatches.h"
#include "Inserts.h"
#include "Objects.h"
#include "Others.h"
#include "Polylines.h"
#include "TableItems.h"
#include "Texts.h"
#include "dxf_test_util.h"

namespace {

TGroups Concat(std::initializer_list<TGroups> Parts) {
  TGroups R;
  for (const TGroups& P : Parts) R.insert(R.end(), P.begin(), P.end());
  return R;
}

std::string Entities(const TGroups& Body, const char* Version = "AC1027") {
  return TextDXF(Concat({{{0, "SECTION"}, {2, "HEADER"}, {9, "$ACADVER"}, {1, Version}, {0, "ENDSEC"}},
                         {{0, "SECTION"}, {2, "ENTITIES"}},
                         Body,
                         {{0, "ENDSEC"}, {0, "EOF"}}}));
}

// The I-th model-space entity of a file holding Body, as class T (null when other).
template <class T>
struct TOne {
  TLoaded L;
  T* E = nullptr;
  explicit TOne(const TGroups& Body, int I = 0, const char* Version = "AC1027") : L(Entities(Body, Version)) {
    const TqdDXFLayout* Lay = L.Conv().GetLayout(0);
    const TqdDXFBlock* B = Lay ? Lay->PaperSpaceBlockField() : nullptr;
    if (B && I < B->Count()) E = dynamic_cast<T*>(B->GetEntity(I));
  }
};

std::string Objects(const TGroups& Body) {
  return TextDXF(Concat({{{0, "SECTION"}, {2, "OBJECTS"}}, Body, {{0, "ENDSEC"}, {0, "EOF"}}}));
}

template <class T>
T* FindObject(TqdDXFConverter& C) {
  const TqdDXFEntity* O = C.GetSection(csObjects);
  for (int I = 0; O && I < O->Count(); ++I)
    if (auto* X = dynamic_cast<T*>(O->GetEntity(I))) return X;
  return nullptr;
}

// ---------------------------------------------------------------- every type has its class

TEST(DxfMapping, EveryEntityTypeOfTheRegistryBecomesAnItem) {
  const char* Types[] = {"TEXT",      "MTEXT",   "SHAPE",    "DIMENSION", "LEADER", "TOLERANCE",
                         "HATCH",     "MPOLYGON", "WIPEOUT", "IMAGE",     "OLE2FRAME", "ACAD_TABLE",
                         "ACAD_PROXY_ENTITY", "MESH", "REGION", "3DSOLID", "BODY", "PLANESURFACE"};
  TGroups Body;
  for (const char* T : Types) Body.insert(Body.end(), {{0, T}, {8, "0"}});
  TLoaded L(Entities(Body));
  ASSERT_TRUE(L.R.Ok) << L.R.Error;
  const std::vector<std::string> Got = L.Types(0);
  ASSERT_EQ(Got.size(), std::size(Types));
  for (std::size_t I = 0; I < Got.size(); ++I) EXPECT_EQ(Got[I], Types[I]);
}

// ---------------------------------------------------------------- geometry

TEST(DxfMapping, CircleArcEllipse) {
  {
    TOne<TqdDXFCircle> C({{0, "CIRCLE"}, {10, "1"}, {20, "2"}, {30, "3"}, {40, "0"}, {39, "4"}});
    ASSERT_TRUE(C.E);
    EXPECT_EQ(C.E->Radius(), 1.0);  // a radius not above 1e-9 becomes 1
    EXPECT_EQ(C.E->ZThick(), 4.0);
  }
  {
    TOne<TqdDXFArc> A({{0, "ARC"}, {10, "1"}, {20, "2"}, {40, "5"}, {50, "30"}});
    ASSERT_TRUE(A.E);
    EXPECT_EQ(A.E->Radius(), 5.0);
    EXPECT_EQ(A.E->StartAngle(), 30.0);
    EXPECT_EQ(A.E->EndAngle(), 360.0);  // end absent
  }
  {
    TOne<TqdDXFEllipse> E({{0, "ELLIPSE"}, {10, "0"}, {20, "0"}, {11, "4"}, {21, "0"}, {40, "0.5"}, {41, "0"},
                           {42, "3.141592653589793"}});
    ASSERT_TRUE(E.E);
    EXPECT_NEAR(E.E->StartAngle(), 0, 1e-12);
    EXPECT_NEAR(E.E->EndAngle(), 180, 1e-12);
    EXPECT_EQ(E.E->Ratio(), 0.5);
    EXPECT_EQ(E.E->RadPt().X, 4.0);
  }
}

TEST(DxfMapping, FacesAndRays) {
  TOne<TqdDXF3dFace> F({{0, "3DFACE"}, {10, "1"}, {11, "2"}, {12, "3"}, {13, "4"}, {70, "5"}});
  ASSERT_TRUE(F.E);
  EXPECT_EQ(F.E->Point2().X, 3.0);
  EXPECT_EQ(F.E->Point3().X, 4.0);
  EXPECT_EQ(F.E->Flags(), 5);
  TOne<TqdDXFRay> R({{0, "XLINE"}, {10, "1"}, {20, "2"}, {11, "0"}, {21, "1"}});
  ASSERT_TRUE(R.E);
  EXPECT_EQ(R.E->StartPoint().Y, 2.0);
  EXPECT_EQ(R.E->Direction().Y, 1.0);
}

TEST(DxfMapping, PolylineMeshCountsPreferCodes73And74) {
  TOne<TqdDXFPolyline> P({{0, "POLYLINE"}, {66, "1"}, {10, "0"}, {20, "0"}, {30, "7"}, {70, "16"}, {71, "4"},
                          {72, "5"}, {73, "8"}, {74, "0"}, {43, "1e300"},
                          {0, "VERTEX"}, {10, "1"}, {20, "2"}, {42, "0.5"}, {71, "1"}, {72, "-2"},
                          {0, "SEQEND"}});
  ASSERT_TRUE(P.E);
  EXPECT_EQ(P.E->MeshM(), 8);
  EXPECT_EQ(P.E->MeshN(), 5);
  EXPECT_EQ(P.E->Elevation(), 7.0);
  EXPECT_EQ(P.E->GlobalWidth(), 3.4028234663852886e38);  // single precision, clamped
  ASSERT_EQ(P.E->Count(), 1);
  EXPECT_EQ(P.E->GetVertex(0)->Bulge(), 0.5);
  EXPECT_EQ(P.E->GetVertex(0)->PolyFaceVertexIndex(2), -2);
}

TEST(DxfMapping, LWPolylineEveryCode10StartsAVertex) {
  TOne<TqdDXFLWPolyline> P({{0, "LWPOLYLINE"}, {90, "3"}, {70, "1"}, {38, "2.5"},
                            {10, "0"}, {20, "0"}, {40, "1"}, {41, "2"},
                            {10, "5"}, {20, "0"}, {42, "1"},
                            {10, "5"}, {20, "5"}});
  ASSERT_TRUE(P.E);
  ASSERT_EQ(P.E->Count(), 3);
  EXPECT_EQ(P.E->GetVertex(0)->StartWidth(), 1.0);
  EXPECT_EQ(P.E->GetVertex(0)->EndWidth(), 2.0);
  EXPECT_EQ(P.E->GetVertex(0)->Bulge(), 0.0);
  EXPECT_EQ(P.E->GetVertex(1)->StartWidth(), 0.0);  // reset after each vertex
  EXPECT_EQ(P.E->GetVertex(1)->Bulge(), 1.0);
  EXPECT_EQ(P.E->GetVertex(2)->Point().Y, 5.0);
  EXPECT_EQ(P.E->Elevation(), 2.5);
  EXPECT_TRUE(P.E->Closed());
}

TEST(DxfMapping, NoPhantomVertexWithoutCode10) {
  TOne<TqdDXFLWPolyline> P({{0, "LWPOLYLINE"}, {90, "0"}, {70, "0"}, {40, "1"}});
  ASSERT_TRUE(P.E);
  EXPECT_EQ(P.E->Count(), 0);
  TOne<TqdDXFSpline> S({{0, "SPLINE"}, {70, "8"}, {71, "3"}, {40, "0"}, {40, "1"}});
  ASSERT_TRUE(S.E);
  EXPECT_EQ(S.E->Controls().Count(), 0);
  EXPECT_EQ(S.E->Fit().Count(), 0);
}

TEST(DxfMapping, SplinePointsKnotsWeightsAndTangents) {
  TOne<TqdDXFSpline> S({{0, "SPLINE"}, {70, "8"}, {71, "2"}, {40, "0"}, {40, "0"}, {40, "0"}, {40, "1"},
                        {40, "1"}, {40, "1"}, {41, "1"}, {41, "2"}, {41, "1"}, {12, "1"}, {13, "2"},
                        {10, "0"}, {20, "0"}, {10, "1"}, {20, "1"}, {10, "2"}, {20, "0"},
                        {11, "0"}, {21, "0"}, {11, "2"}, {21, "0"}});
  ASSERT_TRUE(S.E);
  EXPECT_EQ(S.E->Controls().Count(), 3);
  EXPECT_EQ(S.E->Fit().Count(), 2);
  EXPECT_EQ(S.E->Knots().Count(), 6);
  EXPECT_EQ(S.E->BeginningTangent().X, 1.0);
  EXPECT_EQ(S.E->EndingTangent().X, 2.0);
}

// ---------------------------------------------------------------- inserts and texts

TGroups Block(const char* Name) {
  return {{0, "BLOCK"}, {2, Name}, {70, "0"}, {10, "0"}, {20, "0"}, {0, "LINE"}, {10, "0"}, {11, "1"}, {0, "ENDBLK"}};
}

std::string WithBlock(const TGroups& Ents) {
  return TextDXF(Concat({{{0, "SECTION"}, {2, "BLOCKS"}}, Block("B"), {{0, "ENDSEC"}, {0, "SECTION"}, {2, "ENTITIES"}},
                         Ents, {{0, "ENDSEC"}, {0, "EOF"}}}));
}

TqdDXFEntity* First(TLoaded& L) {
  const TqdDXFLayout* Lay = L.Conv().GetLayout(0);
  const TqdDXFBlock* B = Lay ? Lay->PaperSpaceBlockField() : nullptr;
  return B && B->Count() ? B->GetEntity(0) : nullptr;
}

TEST(DxfMapping, ArrayInsertDetection) {
  struct TCase {
    const char* Cols;
    const char* Rows;
    bool Array;
  } Cases[] = {{"3", "1", true}, {"1", "2", true}, {"1", "1", false}, {"0", "5", false}, {"2", "0", false}};
  for (const TCase& K : Cases) {
    SCOPED_TRACE(std::string(K.Cols) + "x" + K.Rows);
    TLoaded L(WithBlock({{0, "INSERT"}, {2, "B"}, {10, "1"}, {20, "2"}, {41, "2"}, {50, "90"}, {70, K.Cols},
                         {71, K.Rows}, {44, "10"}}));
    auto* I = dynamic_cast<TqdDXFInsert*>(First(L));
    ASSERT_TRUE(I);
    EXPECT_EQ(I->Block() != nullptr, true);
    EXPECT_EQ(I->Point().X, 1.0);
    auto* M = dynamic_cast<TqdCADMInsert*>(I);
    EXPECT_EQ(M != nullptr, K.Array);
    if (M && K.Cols[0] == '3') {
      EXPECT_EQ(M->NumCols(), 3);
      EXPECT_EQ(M->NumRows(), 1);
      EXPECT_EQ(M->ColSpacing(), 10.0);
    }
  }
}

TEST(DxfMapping, AttribTakesVerticalAlignmentFrom74) {
  TLoaded L(WithBlock({{0, "INSERT"}, {66, "1"}, {2, "B"}, {0, "ATTRIB"}, {1, "v"}, {2, "TAG"}, {70, "0"}, {73, "2"},
                       {74, "1"}, {72, "1"}, {11, "1"}, {21, "1"}, {1001, "AcDbAttr"}, {1070, "0"}, {1070, "1"},
                       {0, "SEQEND"}}));
  auto* I = dynamic_cast<TqdDXFInsert*>(First(L));
  ASSERT_TRUE(I);
  ASSERT_EQ(I->Count(), 1);
  auto* A = dynamic_cast<TqdDXFAttrib*>(I->GetEntity(0));
  ASSERT_TRUE(A);
  EXPECT_EQ(A->VAlign(), 1);
  EXPECT_EQ(A->HAlign(), 1);
  EXPECT_EQ(A->Value(), "v");
  EXPECT_TRUE(A->LockPosition());  // from the extended data of AcDbAttr
}

TEST(DxfMapping, TextAndMText) {
  TOne<TqdDXFText> T({{0, "TEXT"}, {1, "a^ b"}, {7, "  "}, {10, "1"}, {40, "2.5"}, {41, "0.8"}, {50, "45"},
                      {71, "2"}, {72, "2"}, {73, "3"}, {11, "4"}, {21, "5"}});
  ASSERT_TRUE(T.E);
  EXPECT_EQ(T.E->Text(), "a^b");
  EXPECT_EQ(T.E->Height(), 2.5);
  EXPECT_EQ(T.E->Scale(), 0.8);
  EXPECT_EQ(T.E->Rotation(), 45.0);
  EXPECT_EQ(T.E->HAlign(), 2);
  EXPECT_EQ(T.E->VAlign(), 3);
  EXPECT_EQ(T.E->Point1().Y, 5.0);
  EXPECT_EQ(T.E->GenerationFlags(), 2);
  ASSERT_TRUE(T.E->Style());  // empty name means STANDARD
  TOne<TqdDXFMText> M({{0, "MTEXT"}, {3, "one "}, {3, "two "}, {1, "three"}, {41, "20"}, {44, "1.5"}, {71, "5"},
                       {50, "30"}});
  ASSERT_TRUE(M.E);
  EXPECT_EQ(M.E->Text(), "one two three");
  EXPECT_EQ(M.E->RectWidth(), 20.0);
  EXPECT_EQ(M.E->LineSpacingFactor(), 1.5);
  EXPECT_EQ(M.E->Align(), 5);
  EXPECT_EQ(M.E->Angle(), 30.0);
}

TEST(DxfMapping, MTextColumnsFromExtendedDataAndEmbeddedObject) {
  // Before R2018: ACAD's extended data on the first column, which lists the texts
  // of the later columns; those take its column width instead of their own 41.
  TGroups Old = {{0, "MTEXT"}, {5, "2D"}, {1, "a"}, {41, "64"}, {50, "0"}, {1001, "ACAD"},
                 {1000, "ACAD_MTEXT_COLUMN_INFO_BEGIN"},
                 {1070, "75"}, {1070, "2"}, {1070, "79"}, {1070, "0"}, {1070, "76"}, {1070, "3"},
                 {1070, "78"}, {1070, "1"}, {1070, "48"}, {1040, "20"}, {1070, "49"}, {1040, "1.5"},
                 {1070, "50"}, {1070, "3"}, {1040, "20"}, {1040, "30"}, {1040, "0"},
                 {1000, "ACAD_MTEXT_COLUMN_INFO_END"},
                 {1000, "ACAD_MTEXT_COLUMNS_BEGIN"}, {1070, "47"}, {1070, "2"}, {1005, "2E"},
                 {1000, "ACAD_MTEXT_COLUMNS_END"},
                 {1000, "ACAD_MTEXT_DEFINED_HEIGHT_BEGIN"}, {1070, "46"}, {1040, "50"},
                 {1000, "ACAD_MTEXT_DEFINED_HEIGHT_END"},
                 {0, "MTEXT"}, {5, "2E"}, {1, "b"}, {41, "64"}};
  TOne<TqdDXFMText> A(Old, 0, "AC1015");
  ASSERT_TRUE(A.E);
  const TqdMTextColumns& C = A.E->Columns();
  EXPECT_EQ(C.Type, 2);
  EXPECT_EQ(C.Count, 3);
  EXPECT_TRUE(C.FlowReversed);
  EXPECT_FALSE(C.AutoHeight);
  EXPECT_EQ(C.Width, 20.0);
  EXPECT_EQ(C.Gutter, 1.5);
  EXPECT_EQ(C.DefinedHeight, 50.0);
  EXPECT_EQ(C.Heights, (std::vector<double>{20, 30, 0}));
  EXPECT_EQ(A.E->Angle(), 0.0);  // the 50 of the heights is no rotation
  EXPECT_EQ(A.E->LinkedColumnWidth(), 0.0);
  TOne<TqdDXFMText> B(Old, 1, "AC1015");
  ASSERT_TRUE(B.E);
  EXPECT_EQ(B.E->Columns().Type, 0);
  EXPECT_EQ(B.E->LinkedColumnWidth(), 20.0);
  EXPECT_EQ(B.E->RectWidth(), 64.0);  // the file's value stays as it was

  // R2018: one text, the columns in the embedded object after 101, whose 11 and 40
  // are no insertion point and no frame width of the text.
  TOne<TqdDXFMText> N({{0, "MTEXT"}, {10, "5"}, {40, "1"}, {41, "62"}, {46, "100"}, {1, "a"},
                       {101, "Embedded Object"}, {70, "1"}, {11, "7"}, {40, "99"}, {41, "100"}, {42, "62"},
                       {43, "100"}, {71, "1"}, {72, "3"}, {44, "20"}, {45, "1"}, {73, "0"}, {74, "0"},
                       {1001, "AcadAnnotative"}});
  ASSERT_TRUE(N.E);
  EXPECT_EQ(N.E->Point().X, 5.0);
  EXPECT_EQ(N.E->RectWidth(), 62.0);
  const TqdMTextColumns& S = N.E->Columns();
  EXPECT_EQ(S.Type, 1);
  EXPECT_EQ(S.Count, 3);
  EXPECT_EQ(S.Width, 20.0);
  EXPECT_EQ(S.Gutter, 1.0);
  EXPECT_EQ(S.DefinedHeight, 100.0);
  EXPECT_TRUE(S.Heights.empty());
}

TEST(DxfMapping, DimensionIsAnInsertOfItsBlock) {
  TLoaded L(WithBlock({{0, "DIMENSION"}, {2, "B"}, {3, ""}, {10, "1"}, {11, "2"}, {12, "3"}, {13, "4"}, {14, "5"},
                       {70, "33"}, {1, "<>"}, {41, "5"}, {54, "90"}, {53, "15"}}));
  auto* D = dynamic_cast<TqdDXFDimension*>(First(L));
  ASSERT_TRUE(D);
  EXPECT_TRUE(D->Block());
  EXPECT_EQ(D->Point().X, 3.0);
  EXPECT_EQ(D->Scale().X, 1.0);  // scale forced
  EXPECT_EQ(D->Angle(), 90.0);
  EXPECT_EQ(D->FDefPoint.X, 1.0);
  EXPECT_EQ(D->FLinDefPoint2.X, 5.0);
  EXPECT_EQ(D->FFlags, 33);
  EXPECT_EQ(D->FTextRotation, 15.0);
  ASSERT_TRUE(D->Style());
  EXPECT_TRUE(SameNameText(D->Style()->Name(), L.Conv().HeadVarStruct().DimStyle));
}

TGroups BlocklessDimension(const char* X2) {
  return {{0, "DIMENSION"}, {10, X2}, {20, "5"}, {11, "5"}, {21, "5"}, {70, "32"}, {13, "0"}, {23, "0"},
          {14, X2},          {24, "0"}, {1001, "ACAD"}, {1000, "DSTYLE"}, {1002, "{"}, {1070, "41"}, {1040, "0.5"},
          {1070, "271"},     {1070, "1"}, {1002, "}"}};
}

TEST(DxfMapping, BlocklessDimensionsAreGeneratedWhileBlocksLoad) {
  // Dimensions without blocks inside many blocks: each generates "*qdDim" blocks and
  // arrow blocks while BLOCKS is being walked.
  TGroups Blocks{{0, "SECTION"}, {2, "BLOCKS"}};
  for (int I = 0; I < 40; ++I) {
    const std::string Name = "B" + std::to_string(I);
    const TGroups B{{0, "BLOCK"}, {2, Name}, {70, "0"}, {10, "0"}, {20, "0"}};
    Blocks.insert(Blocks.end(), B.begin(), B.end());
    const TGroups D = BlocklessDimension("10");
    Blocks.insert(Blocks.end(), D.begin(), D.end());
    Blocks.push_back({0, "ENDBLK"});
  }
  Blocks.push_back({0, "ENDSEC"});
  TGroups Ents{{0, "SECTION"}, {2, "ENTITIES"}};
  const TGroups D = BlocklessDimension("20");
  Ents.insert(Ents.end(), D.begin(), D.end());
  Ents.insert(Ents.end(), {{0, "ENDSEC"}, {0, "EOF"}});
  TLoaded L(TextDXF(Concat({Blocks, Ents})));
  ASSERT_TRUE(L.R.Ok) << L.R.Error;
  auto* M = dynamic_cast<TqdDXFDimension*>(First(L));
  ASSERT_TRUE(M);
  ASSERT_TRUE(M->Block());
  EXPECT_TRUE(M->Block()->IsLoaded());
  EXPECT_EQ(M->ArrowSize(), 0.5);  // from its DSTYLE data
  EXPECT_EQ(M->Precision(), 1);
  EXPECT_EQ(M->MeasurementText(), "20,0");
  int Generated = 0;
  const TqdDXFEntity* All = L.Conv().GetSection(csBlocks);
  for (int I = 0; All && I < All->Count(); ++I)
    if (auto* B = dynamic_cast<TqdDXFBlock*>(All->GetEntity(I)); B && IsGeneratedDimBlockName(B->Name())) {
      ++Generated;
      EXPECT_TRUE(B->IsLoaded()) << B->Name();
    }
  EXPECT_EQ(Generated, 41);
  EXPECT_TRUE(L.Conv().BlockByName("_CLOSEDFILLED"));
}

TEST(DxfMapping, LeaderTakesItsArrowFromTheOverrides) {
  TOne<TqdDXFLeader> L({{0, "LEADER"}, {3, "Standard"}, {71, "1"}, {72, "0"}, {10, "10"}, {20, "40"},
                        {10, "20"}, {20, "50"}, {10, "30"}, {20, "50"}, {1001, "ACAD"}, {1000, "DSTYLE"},
                        {1002, "{"}, {1070, "41"}, {1040, "3.0"}, {1070, "79"}, {1070, "0"}, {1070, "40"},
                        {1040, "2.0"}, {1070, "140"}, {1002, "}"}});
  ASSERT_TRUE(L.E);
  EXPECT_EQ(L.E->ArrowSize(), 3.0);
  EXPECT_EQ(L.E->ArrowScale(), 2.0);
  ASSERT_TRUE(L.E->ArrowInsert());
  EXPECT_TRUE(L.E->ArrowInsert()->Visibility());
  EXPECT_NEAR(L.E->ArrowInsert()->Scale().X, 6.0, 1e-9);
  EXPECT_NEAR(L.E->ArrowAngle(), -135.0, 1e-9);
}

TEST(DxfMapping, DimStyleArrowBlocksAndDecimals) {
  TLoaded L(TextDXF(Concat({{{0, "SECTION"}, {2, "TABLES"}, {0, "TABLE"}, {2, "DIMSTYLE"}, {0, "DIMSTYLE"},
                             {2, "S1"}, {70, "0"}, {5, "_DOT"}, {271, "32000"}, {41, "0.3"}, {0, "ENDTAB"},
                             {0, "ENDSEC"}, {0, "EOF"}}})));
  ASSERT_TRUE(L.R.Ok) << L.R.Error;
  auto* S = dynamic_cast<TqdDXFDimensionStyle*>(L.Conv().GetSection(csDimStyles)->FindEntByName("S1"));
  ASSERT_TRUE(S);
  EXPECT_EQ(S->DIMDEC(), 8);
  EXPECT_EQ(S->ArrowType(), 3);
  EXPECT_EQ(S->ArrowSize(), 0.3);
  EXPECT_TRUE(L.Conv().BlockByName("_DOT"));
}

// ---------------------------------------------------------------- hatches

TGroups Hatch(const TGroups& Paths, const TGroups& Pattern = {}) {
  return Concat({{{0, "HATCH"}, {10, "0"}, {20, "0"}, {30, "2"}, {2, "ANSI31"}, {70, "0"}, {71, "0"}},
                 Paths, {{75, "0"}, {76, "1"}}, Pattern});
}

const Tqd2DBoundaryList& PathOf(const TqdCADCurvePolygon* H, std::size_t I = 0) {
  return *H->BoundaryData().FBoundaries.at(I);
}

template <class T> const T* EdgeOf(const TqdCADCurvePolygon* H, int I, std::size_t Path = 0) {
  return dynamic_cast<const T*>(PathOf(H, Path).GetItem(I));
}

TEST(DxfMapping, HatchEdgesOfEveryKind) {
  TOne<TqdCADHatch> H(Hatch({{91, "1"}, {92, "1"}, {93, "4"},
                             {72, "1"}, {10, "0"}, {20, "0"}, {11, "1"}, {21, "0"},
                             {72, "2"}, {10, "1"}, {20, "1"}, {40, "1"}, {50, "0"}, {51, "90"}, {73, "1"},
                             {72, "3"}, {10, "0"}, {20, "1"}, {11, "2"}, {21, "0"}, {40, "0.5"}, {50, "0"}, {51, "180"},
                             {72, "4"}, {94, "3"}, {73, "0"}, {74, "0"}, {95, "4"}, {96, "4"},
                             {40, "0"}, {40, "1"}, {10, "0"}, {20, "0"}, {10, "1"}, {20, "2"}, {42, "1"},
                             {97, "0"}}));
  ASSERT_TRUE(H.E);
  EXPECT_EQ(H.E->Elevation().Z, 2.0);
  ASSERT_EQ(H.E->GetBoundaryDataCount(), 1);
  ASSERT_EQ(PathOf(H.E).GetCount(), 4);
  // Loading chained the edges: find each by its kind.
  const Tqd2DLine* Ln = nullptr;
  const Tqd2DArc* Ar = nullptr;
  const Tqd2DEllipse* El = nullptr;
  const Tqd2DSpline* Sp = nullptr;
  for (int I = 0; I < 4; ++I) {
    const Tqd2DCurve* C = PathOf(H.E).GetItem(I);
    if (auto* X = dynamic_cast<const Tqd2DLine*>(C)) Ln = X;
    else if (auto* Y = dynamic_cast<const Tqd2DEllipse*>(C)) El = Y;
    else if (auto* Z = dynamic_cast<const Tqd2DArc*>(C)) Ar = Z;
    else if (auto* W = dynamic_cast<const Tqd2DSpline*>(C)) Sp = W;
  }
  ASSERT_TRUE(Ln && Ar && El && Sp);
  EXPECT_EQ(std::max(Ln->FEndPoint.X, Ln->FStartPoint.X), 1.0);
  EXPECT_EQ(Ar->FRadius, 1.0);
  EXPECT_EQ(El->FMajorPoint.X, 2.0);
  EXPECT_EQ(El->FRadius, 0.5);
  EXPECT_EQ(Sp->FControls.size(), 2u);
  EXPECT_EQ(Sp->FControls[1].Y, 2.0);
  EXPECT_EQ(Sp->FKnots.size(), 2u);
  EXPECT_EQ(H.E->GetHatchName(), "ANSI31");
}

TEST(DxfMapping, PolylinePathIsFlagValue2NotBitValue4) {
  // Type 2 (polyline) with has-bulge 1: a polyline edge that keeps its vertices.
  TOne<TqdCADHatch> P(Hatch({{91, "1"}, {92, "3"}, {72, "1"}, {73, "1"}, {93, "2"},
                             {10, "0"}, {20, "0"}, {42, "0.5"}, {10, "4"}, {20, "0"}, {97, "0"}}));
  ASSERT_TRUE(P.E);
  ASSERT_EQ(P.E->GetBoundaryDataCount(), 1);
  const auto* C = EdgeOf<Tqd2DPolyline>(P.E, 0);
  ASSERT_TRUE(C);
  EXPECT_TRUE(C->Closed());
  ASSERT_EQ(C->FVertexes.size(), 2u);
  ASSERT_EQ(C->FBulges.size(), 1u);
  EXPECT_EQ(C->FBulges[0], 0.5f);
  // Type 4 (derived) is not a polyline path: 72 = 1 is a line there.
  TOne<TqdCADHatch> D(Hatch({{91, "1"}, {92, "4"}, {93, "1"}, {72, "1"}, {10, "0"}, {20, "0"}, {11, "1"}, {21, "0"}}));
  ASSERT_TRUE(D.E);
  EXPECT_TRUE(EdgeOf<Tqd2DLine>(D.E, 0));
}

TEST(DxfMapping, HatchCodesWithNothingToActOnAreIgnored) {
  // Edge codes before any 72, after a 72 that makes no edge, and pattern codes before
  // the first 53: none may touch a missing edge or line.
  TOne<TqdCADHatch> H(Hatch({{91, "1"}, {92, "1"}, {93, "1"}, {11, "5"}, {21, "5"}, {40, "1"}, {42, "1"}, {50, "1"},
                             {73, "1"}, {74, "1"}, {94, "3"}, {72, "9"}, {10, "1"}, {20, "1"}, {11, "1"}, {40, "2"},
                             {97, "0"}},
                            {{52, "0"}, {41, "1"}, {77, "0"}, {78, "1"}, {43, "1"}, {44, "1"}, {45, "1"}, {46, "1"},
                             {79, "2"}, {49, "1"}, {49, "-1"}}));
  ASSERT_TRUE(H.E);
  ASSERT_EQ(H.E->GetBoundaryDataCount(), 1);
  EXPECT_EQ(PathOf(H.E).GetCount(), 0);
  EXPECT_TRUE(H.E->HatchPatternData().empty());
}

TEST(DxfMapping, PatternDashCountDoesNotReserveTheCount) {
  TOne<TqdCADHatch> H(Hatch({{91, "0"}}, {{52, "0"}, {41, "1"}, {78, "2"}, {53, "45"}, {43, "1"}, {44, "2"},
                                          {45, "3"}, {46, "4"}, {79, "2147483647"}, {49, "1"}, {49, "-0.5"},
                                          {53, "0"}, {49, "2"}}));
  ASSERT_TRUE(H.E);
  ASSERT_EQ(H.E->HatchPatternData().size(), 2u);
  const TqdHatchPatternData& L = H.E->HatchPatternData()[0];
  EXPECT_EQ(L.LineAngle, 45.0);
  EXPECT_EQ(L.Offset.Y, 4.0);
  EXPECT_EQ(L.DashNum, 2147483647);
  EXPECT_TRUE(L.IsDash);
  EXPECT_EQ(L.Lines.size(), 2u);
  EXPECT_LE(L.Lines.capacity(), 64u);
  // A 49 without a 79 makes the dash list.
  EXPECT_EQ(H.E->HatchPatternData()[1].Lines.size(), 1u);
}

TEST(DxfMapping, SolidHatchIsACurvePolygon) {
  TGroups B = Hatch({{91, "1"}, {92, "2"}, {72, "0"}, {73, "1"}, {93, "3"}, {10, "0"}, {20, "0"}, {10, "1"},
                     {20, "0"}, {10, "1"}, {20, "1"}, {97, "0"}});
  for (auto& [C, V] : B)
    if (C == 70) V = "1";
  TOne<TqdCADCurvePolygon> S(B);
  ASSERT_TRUE(S.E);
  EXPECT_EQ(dynamic_cast<TqdCADHatch*>(S.E), nullptr);
  EXPECT_EQ(S.E->EntType(), ceCurvePolygon);
  EXPECT_TRUE(S.E->GetSolidFill());
  ASSERT_EQ(S.E->GetBoundaryDataCount(), 1);
  EXPECT_EQ(EdgeOf<Tqd2DPolyline>(S.E, 0)->FVertexes.size(), 3u);
  // The loop was built and closed.
  ASSERT_EQ(S.E->LoopCount(), 1);
  EXPECT_EQ(S.E->Loop(0).size(), 4u);
  EXPECT_EQ(S.L.Types(0), std::vector<std::string>{"HATCH"});
}

TEST(DxfMapping, HatchGradientAndMPolygon) {
  TOne<TqdCADCurvePolygon> G(Hatch({{91, "0"}}, {{450, "1"}, {451, "0"}, {452, "0"}, {453, "2"}, {460, "1.5707963267948966"},
                                          {461, "0"}, {463, "0"}, {63, "5"}, {421, "255"}, {463, "1"}, {63, "2"},
                                          {421, "16711680"}, {470, "LINEAR"}}));
  ASSERT_TRUE(G.E);
  EXPECT_NEAR(G.E->GradientAngle(), 90, 1e-9);
  EXPECT_TRUE(G.E->FGradientUseCenter);
  EXPECT_EQ(G.E->GradientName(), "LINEAR");
  EXPECT_EQ(G.E->FType, gtLinear);
  EXPECT_EQ(G.E->GetGradientColorCAD(0).Color, 0xFF0000u);  // 0x0000FF read, byte order reversed
  EXPECT_EQ(G.E->GetGradientColorCAD(1).Color, 0x0000FFu);
  TOne<TqdCADMPolygon> M({{0, "MPOLYGON"}, {2, "SOLID"}, {71, "1"}, {91, "1"}, {92, "2"}, {72, "1"}, {73, "1"},
                          {93, "2"}, {10, "0"}, {20, "0"}, {10, "1"}, {20, "1"}, {63, "3"}, {11, "7"}, {21, "8"}});
  ASSERT_TRUE(M.E);
  EXPECT_TRUE(M.E->GetSolidFill());
  EXPECT_EQ(M.E->GetFillColor().IndexValue(), 3);
  EXPECT_EQ(M.E->GetOffset().X, 7.0);
  ASSERT_EQ(M.E->GetBoundaryDataCount(), 1);
  const auto* E = EdgeOf<Tqd2DPolyline>(M.E, 0);
  ASSERT_TRUE(E);
  EXPECT_TRUE(E->Closed());
  EXPECT_EQ(E->FVertexes.size(), 2u);
  // The offset moves the multi-polygon: its box is the loop's, shifted.
  EXPECT_NEAR(M.E->Box().Left, 7.0, 1e-9);
}

TEST(DxfMapping, ZeroExtrusionIsTheDefaultPlane) {
  TGroups B = Hatch({{91, "1"}, {92, "2"}, {72, "0"}, {73, "1"}, {93, "3"}, {10, "0"}, {20, "0"}, {10, "1"},
                     {20, "0"}, {10, "1"}, {20, "1"}, {97, "0"}},
                    {{210, "0"}, {220, "0"}, {230, "0"}});
  TOne<TqdCADHatch> H(B);
  ASSERT_TRUE(H.E);
  EXPECT_EQ(H.E->Extrusion(), cnstExtrusion);
  const TFRect R = H.E->Box();
  EXPECT_TRUE(std::isfinite(R.Left) && std::isfinite(R.Z1));
  EXPECT_NEAR(R.Right, 1.0, 1e-9);
}

// ---------------------------------------------------------------- multilines, wipeouts, leaders

TEST(DxfMapping, MLineVerticesAndCodesBeforeAnyVertex) {
  // 41 before any 74, 74 before the first 11: a vertex is made for them.
  TOne<TqdCADMLine> M({{0, "MLINE"}, {2, "STANDARD"}, {40, "2"}, {70, "1"}, {71, "2"}, {73, "2"}, {41, "9"}, {74, "2"},
                       {10, "0"}, {20, "0"},
                       {11, "0"}, {21, "0"}, {12, "1"}, {22, "0"}, {13, "0"}, {23, "1"}, {74, "2"}, {41, "0"}, {41, "1"},
                       {11, "5"}, {21, "0"}, {12, "1"}, {22, "0"}, {13, "0"}, {23, "1"}, {74, "1"}, {41, "3"}});
  ASSERT_TRUE(M.E);
  EXPECT_EQ(M.E->ScaleFactor(), 2.0);
  EXPECT_EQ(M.E->Justify(), 1);
  EXPECT_EQ(M.E->Flags(), 2);
  ASSERT_EQ(M.E->ItemsCount(), 3);
  EXPECT_EQ(M.E->GetItem(1)->Point().X, 0.0);
  EXPECT_EQ(M.E->GetItem(1)->GetParam(0, 1), 1.0f);
  EXPECT_EQ(M.E->GetItem(2)->Point().X, 5.0);
  EXPECT_EQ(M.E->GetItem(2)->GetPCount(0), 2);  // padded to two values
}

TEST(DxfMapping, WipeoutImageLeaderTolerance) {
  TOne<TqdDXFImageEnt> I({{0, "IMAGE"}, {10, "1"}, {20, "2"}, {11, "0.5"}, {12, "0"}, {22, "0.5"}, {13, "640"},
                          {23, "480"}, {340, "2A"}, {70, "7"}, {280, "1"}, {71, "1"}, {91, "2"}, {14, "-0.5"},
                          {24, "-0.5"}, {14, "639.5"}, {24, "479.5"}});
  ASSERT_TRUE(I.E);
  EXPECT_EQ(I.E->FSize.X, 640.0);
  EXPECT_EQ(I.E->FUVector.X, 0.5);
  EXPECT_EQ(I.E->FImageDefHandle, 0x2Au);
  EXPECT_TRUE(I.E->FClipping);
  ASSERT_EQ(I.E->FBoundary.size(), 2u);
  EXPECT_EQ(I.E->FBoundary[1].Y, 479.5);
  TOne<TqdDXFLeader> L({{0, "LEADER"}, {3, "Standard"}, {71, "1"}, {72, "0"}, {73, "3"}, {76, "2"},
                        {10, "0"}, {20, "0"}, {30, "0"}, {10, "5"}, {20, "5"}, {30, "0"}, {40, "2"}});
  ASSERT_TRUE(L.E);
  EXPECT_EQ(L.E->ControlCount(), 2);
  EXPECT_EQ(L.E->GetControlPoint(1).Y, 5.0);
  ASSERT_TRUE(L.E->DimStyle());
  EXPECT_TRUE(SameNameText(L.E->DimStyle()->Name(), "Standard"));
  TOne<TqdDXFTolerance> T({{0, "TOLERANCE"}, {3, "Standard"}, {1, "{\\Fgdt;j}%%v0.1"}, {10, "3"}});
  ASSERT_TRUE(T.E);
  EXPECT_EQ(T.E->Text(), "{\\Fgdt;j}%%v0.1");
  EXPECT_EQ(T.E->Point().X, 3.0);
}

// ---------------------------------------------------------------- tables

std::string Tables(const TGroups& Body) {
  return TextDXF(Concat({{{0, "SECTION"}, {2, "TABLES"}}, Body, {{0, "ENDSEC"}, {0, "EOF"}}}));
}

TEST(DxfMapping, LayerOffByNegativeColour) {
  TLoaded L(Tables({{0, "TABLE"}, {2, "LAYER"}, {0, "LAYER"}, {2, "Off"}, {70, "0"}, {62, "-7"}, {290, "0"},
                    {0, "ENDTAB"}}));
  auto* Lay = dynamic_cast<TqdDXFLayer*>(L.Conv().GetSection(csLayers)->FindEntByName("Off"));
  ASSERT_TRUE(Lay);
  EXPECT_FALSE(Lay->Visible());
  EXPECT_EQ(std::abs(Lay->ColorCAD().IndexValue()), 7);  // colour 7 of a layer that is off
  EXPECT_FALSE(Lay->IsPlotting());
}

TEST(DxfMapping, LinetypeElementCodesBefore49AreIgnored) {
  TLoaded L(Tables({{0, "TABLE"}, {2, "LTYPE"}, {0, "LTYPE"}, {2, "DASHED2"}, {70, "0"}, {73, "2"}, {40, "1.5"},
                    {74, "2"}, {75, "3"}, {46, "9"}, {9, "x"},  // no element yet
                    {49, "1"}, {74, "0"}, {49, "-0.5"}, {74, "2"}, {9, "GAS"}, {46, "0.1"}, {44, "-0.1"},
                    {0, "ENDTAB"}}));
  auto* T = L.Conv().LTypeByName("DASHED2");
  ASSERT_TRUE(T);
  ASSERT_EQ(T->ElementCount(), 2);
  EXPECT_EQ(T->Element(0).Dash, 1.0);
  EXPECT_EQ(T->Element(0).ComplexType, 0);
  EXPECT_EQ(T->Element(1).Text, "GAS");
  EXPECT_EQ(T->Element(1).Offset.X, -0.1);
}

TEST(DxfMapping, BlockRecordWithoutNameIsNamedByItsHandle) {
  TLoaded L(Tables({{0, "TABLE"}, {2, "BLOCK_RECORD"}, {0, "BLOCK_RECORD"}, {5, "1F"}, {2, ""}, {0, "ENDTAB"}}));
  const TqdDXFEntity* R = L.Conv().GetSection(csBlockRecords);
  ASSERT_TRUE(R);
  EXPECT_TRUE(R->FindEntByName("*U$1F"));
}

TEST(DxfMapping, StyleFontsAndVport) {
  TLoaded L(Tables({{0, "TABLE"}, {2, "STYLE"}, {0, "STYLE"}, {2, "S1"}, {70, "0"}, {3, " "}, {1001, "ACAD"},
                    {1000, "Arial"}, {1071, "50331682"}, {0, "STYLE"}, {2, "S2"}, {70, "0"}, {0, "ENDTAB"},
                    {0, "TABLE"}, {2, "VPORT"}, {0, "VPORT"}, {2, "*ACTIVE"}, {70, "0"}, {12, "5"}, {22, "6"},
                    {40, "100"}, {41, "1.5"}, {72, "1000"}, {0, "ENDTAB"}}));
  auto* S1 = L.Conv().StyleByName("S1");
  ASSERT_TRUE(S1);
  EXPECT_EQ(S1->FPrimaryFont, "simplex.shx");
  EXPECT_EQ(S1->FFontName, "Arial");
  EXPECT_EQ(S1->FFontStyle, 50331682);
  auto* S2 = L.Conv().StyleByName("S2");
  ASSERT_TRUE(S2);
  EXPECT_EQ(S2->FPrimaryFont, "txt");
  auto* V = dynamic_cast<TqdDXFVport*>(L.Conv().GetSection(csVPorts)->FindEntByName("*ACTIVE"));
  ASSERT_TRUE(V);
  EXPECT_EQ(V->FViewCenterPoint.Y, 6.0);
  EXPECT_EQ(V->FViewHeight, 100.0);
  EXPECT_EQ(V->FCircleZoomPercent, 1000);
}

// ---------------------------------------------------------------- objects

TEST(DxfMapping, SpatialFilterIgnoresValuesBeyondItsMatrices) {
  TGroups G{{0, "SPATIAL_FILTER"}, {5, "40"}, {100, "AcDbFilter"}, {100, "AcDbSpatialFilter"}, {70, "2"},
            {10, "0"}, {20, "0"}, {10, "4"}, {20, "3"}, {210, "0"}, {220, "0"}, {230, "1"}, {11, "0"}, {21, "0"},
            {31, "0"}, {71, "1"}, {72, "1"}, {40, "7"}, {73, "1"}, {41, "-2"}};
  for (int K = 0; K < 40; ++K) G.push_back({40, std::to_string(K)});
  TLoaded L(Objects(G));
  auto* F = FindObject<TqdCADSpatialFilter>(L.Conv());
  ASSERT_TRUE(F);
  ASSERT_EQ(F->FBounds.size(), 2u);
  EXPECT_EQ(F->FBounds[1].Y, 3.0);
  EXPECT_TRUE(F->FFrontClip);
  EXPECT_EQ(F->FFrontDist, 7.0);
  EXPECT_EQ(F->FBackDist, -2.0);
  EXPECT_TRUE(F->FDisplayBounds);
  // Row by row: EX = (m0, m4, m8), E0 = (m3, m7, m11); the second matrix from value 12.
  EXPECT_EQ(F->FInvBlkTransform.EX.Y, 4.0);
  EXPECT_EQ(F->FInvBlkTransform.E0.Z, 11.0);
  EXPECT_EQ(F->FClip.EX.X, 12.0);
}

TEST(DxfMapping, SortEntsTablePairsUpToTheShorterList) {
  TLoaded L(TextDXF(Concat({{{0, "SECTION"}, {2, "TABLES"}, {0, "TABLE"}, {2, "BLOCK_RECORD"}, {0, "BLOCK_RECORD"},
                             {5, "1F"}, {2, "*Model_Space"}, {0, "ENDTAB"}, {0, "ENDSEC"}},
                            {{0, "SECTION"}, {2, "OBJECTS"}, {0, "SORTENTSTABLE"}, {5, "50"}, {102, "{ACAD_REACTORS"},
                             {330, "77"}, {102, "}"}, {330, "1F"}, {100, "AcDbSortentsTable"}, {331, "A1"},
                             {5, "B1"}, {331, "A2"}, {5, "B2"}, {5, "B3"}, {0, "ENDSEC"}, {0, "EOF"}}})));
  auto* T = FindObject<TqdDXFSortEntsTable>(L.Conv());
  ASSERT_TRUE(T);
  ASSERT_EQ(T->FPairs.size(), 2u);
  EXPECT_EQ(T->BlockHandle(), 0x1Fu);  // the last owner outside the reactors
  EXPECT_EQ(T->Handle(), 0x50u);       // later code 5s are sort keys, not its handle
  EXPECT_EQ(T->FPairs[1].first, 0xA2u);
  EXPECT_EQ(T->FPairs[1].second, 0xB2u);
}

TEST(DxfMapping, SortEntsTableGivesTheDrawOrder) {
  // A3 first (sort key 1), then A2 (its own handle), then A1 (sort key B9).
  TLoaded L(TextDXF(Concat({{{0, "SECTION"}, {2, "TABLES"}, {0, "TABLE"}, {2, "BLOCK_RECORD"}, {0, "BLOCK_RECORD"},
                             {5, "1F"}, {2, "*Model_Space"}, {0, "ENDTAB"}, {0, "ENDSEC"}},
                            {{0, "SECTION"}, {2, "ENTITIES"}, {0, "LINE"}, {5, "A1"}, {8, "0"}, {10, "0"}, {20, "0"},
                             {11, "1"}, {21, "1"}, {0, "LINE"}, {5, "A2"}, {8, "0"}, {10, "0"}, {20, "0"}, {11, "1"},
                             {21, "2"}, {0, "LINE"}, {5, "A3"}, {8, "0"}, {10, "0"}, {20, "0"}, {11, "1"}, {21, "3"},
                             {0, "ENDSEC"}},
                            {{0, "SECTION"}, {2, "OBJECTS"}, {0, "SORTENTSTABLE"}, {5, "50"}, {330, "1F"},
                             {100, "AcDbSortentsTable"}, {331, "A1"}, {5, "B9"}, {331, "A3"}, {5, "1"}, {0, "ENDSEC"},
                             {0, "EOF"}}})));
  const TqdDXFBlock* M = L.Conv().ModelSpace();
  ASSERT_TRUE(M);
  std::vector<std::uint64_t> H;
  for (int I = 0; I < M->Count(); ++I) H.push_back(M->GetEntity(I)->Handle());
  EXPECT_EQ(H, (std::vector<std::uint64_t>{0xA3, 0xA2, 0xA1}));
}

TEST(DxfMapping, MLineStyleElements) {
  TLoaded L(Objects({{0, "MLINESTYLE"}, {5, "60"}, {2, "TWO"}, {70, "1"}, {62, "3"}, {71, "2"}, {6, "BYLAYER"},
                     {49, "0.5"}, {62, "1"}, {6, "BYLAYER"}, {49, "-0.5"}, {420, "255"}}));
  auto* S = FindObject<TqdMLineStyle>(L.Conv());
  ASSERT_TRUE(S);
  EXPECT_TRUE(S->Filled());
  ASSERT_EQ(S->Count(), 3);  // the 6 before the first 49 made an element
  EXPECT_EQ(S->GetEntry(1)->Offset(), 0.5);
  EXPECT_EQ(S->GetEntry(1)->ColorCAD().IndexValue(), 1);
  EXPECT_EQ(S->GetEntry(2)->ColorCAD().Color, 0xFF0000u);
}

TEST(DxfMapping, PlotSettingsXRecordAndDictionaryVar) {
  TLoaded L(Objects({{0, "PLOTSETTINGS"}, {5, "70"}, {100, "AcDbPlotSettings"}, {1, "Setup1"}, {2, "plotter.pc3"},
                     {4, "ISO_A4"}, {40, "7.5"}, {41, "20"}, {44, "297"}, {45, "210"}, {70, "688"}, {72, "1"},
                     {73, "1"}, {74, "5"}, {75, "0"}, {142, "1"}, {143, "2"},
                     {0, "XRECORD"}, {5, "71"}, {100, "AcDbXrecord"}, {280, "1"}, {1, "text"}, {40, "2.5"},
                     {70, "3"}, {330, "1F"},
                     {0, "DICTIONARYVAR"}, {5, "72"}, {100, "DictionaryVariables"}, {280, "0"}, {1, "2"}}));
  auto* P = FindObject<TqdDXFPlotSettings>(L.Conv());
  ASSERT_TRUE(P);
  EXPECT_EQ(P->FData.PaperSize, "ISO_A4");
  EXPECT_EQ(P->FData.UnprintableMargin.Left, 7.5);
  EXPECT_EQ(P->FData.UnprintableMargin.Bottom, 20.0);
  EXPECT_EQ(P->FData.PlotPaperSize.X, 297.0);
  EXPECT_EQ(P->FData.PlotLayoutFlags, 688);
  EXPECT_EQ(P->PlotRotation(), static_cast<TqdPlotRotation>(1));
  EXPECT_EQ(P->FData.DenominatorOfCustomPrintScale, 2.0);
  auto* X = FindObject<TqdDXFXRecord>(L.Conv());
  ASSERT_TRUE(X);
  EXPECT_EQ(X->FData.Count(), 4);  // the 280 after the marker is not data
  auto* V = FindObject<TqdDXFDictionaryVar>(L.Conv());
  ASSERT_TRUE(V);
  EXPECT_EQ(V->FValue, "2");
}

TEST(DxfMapping, ViewportCodesAndTheMViewRecordOfOlderFiles) {
  TOne<TqdDXFViewport> V({{0, "VIEWPORT"}, {67, "1"}, {10, "5"}, {20, "6"}, {40, "100"}, {41, "50"}, {68, "2"},
                          {69, "3"}, {12, "1"}, {22, "2"}, {45, "20"}, {90, "32864"}, {331, "2A"}, {341, "2B"}});
  // The viewport is in paper space; look there.
  const TqdDXFBlock* PS = nullptr;
  for (int I = 0; I < V.L.Conv().LayoutsCount(); ++I)
    if (I > 0) PS = V.L.Conv().GetLayout(I)->PaperSpaceBlockField();
  TqdDXFViewport* E = nullptr;
  for (int I = 0; PS && I < PS->Count(); ++I) E = E ? E : dynamic_cast<TqdDXFViewport*>(PS->GetEntity(I));
  ASSERT_TRUE(E);
  EXPECT_EQ(E->FrozenLayers().size(), 2u);
  EXPECT_EQ(E->Flags(), 32864);
  TOne<TqdDXFViewport> M({{0, "VIEWPORT"}, {10, "5"}, {20, "6"}, {40, "100"}, {41, "50"}, {68, "1"}, {69, "2"},
                          {1001, "ACAD"}, {1000, "MVIEW"}, {1002, "{"}, {1070, "16"}, {1010, "1"}, {1020, "2"},
                          {1030, "3"}, {1010, "0"}, {1020, "0"}, {1030, "1"}, {1040, "15"}, {1040, "40"},
                          {1040, "7"}, {1040, "8"}, {1040, "0"}, {1002, "{"}, {1003, "HIDDEN"}, {1002, "}"},
                          {1002, "}"}});
  ASSERT_TRUE(M.E);
  EXPECT_EQ(M.E->ViewTarget().Y, 2.0);
  EXPECT_EQ(M.E->MSpaceHeight(), 40.0);
  EXPECT_EQ(M.E->MSpaceCenter().X, 7.0);
  ASSERT_EQ(M.E->FrozenLayers().size(), 1u);
  auto* Hidden = M.L.Conv().GetSection(csLayers)->FindEntByName("HIDDEN");
  ASSERT_TRUE(Hidden);
  EXPECT_EQ(M.E->FrozenLayers()[0], Hidden->Handle());
}

TEST(DxfMapping, DimensionStyleVariables) {
  TLoaded L(Tables({{0, "TABLE"}, {2, "DIMSTYLE"}, {0, "DIMSTYLE"}, {105, "2E"}, {2, "ISO-25"}, {70, "0"},
                    {3, " mm"}, {40, "2"}, {41, "2.5"}, {140, "3.5"}, {142, "1.25"}, {147, "0.625"}, {73, "0"}, {77, "1"}, {172, "1"},
                    {176, "3"}, {271, "2"}, {371, "25"}, {0, "ENDTAB"}}));
  auto* D = dynamic_cast<TqdDXFDimensionStyle*>(L.Conv().GetSection(csDimStyles)->FindEntByName("ISO-25"));
  ASSERT_TRUE(D);
  EXPECT_EQ(D->FDimProps.Post, " mm");
  EXPECT_EQ(D->FDimProps.Scale, 2.0);
  EXPECT_EQ(D->FDimProps.Asz, 2.5);
  EXPECT_EQ(D->FDimProps.Txt, 3.5);
  EXPECT_EQ(D->FDimProps.Tsz, 1.25);
  EXPECT_TRUE(D->FDimProps.Tofl);
  EXPECT_FALSE(D->FDimProps.Tih);
  EXPECT_EQ(D->FDimProps.Tad, 1);
  EXPECT_EQ(D->FDimProps.ClrD.IndexValue(), 3);
  EXPECT_EQ(D->FDimProps.Dec, 2);
  EXPECT_EQ(D->FDimProps.LwD, 0.25);
}

TEST(DxfMapping, DxfXrefsLoadThroughTheInstalledLoader) {
  RegisterDXFReader();
  const std::string Path = ::testing::TempDir() + "dxf_mapping_xref.dxf";
  {
    const std::string D = Entities({{0, "LINE"}, {10, "0"}, {20, "0"}, {11, "4"}, {21, "3"}});
    std::FILE* F = std::fopen(Path.c_str(), "wb");
    ASSERT_TRUE(F);
    std::fwrite(D.data(), 1, D.size(), F);
    std::fclose(F);
  }
  TqdConverterRef C(new TqdDXFConverter(TqdConverterParams{true, {}}));
  ASSERT_FALSE(C->XRefLoader().Extensions.empty());
  TqdDXFInsert* I = C->AddXRef(Path, nullptr, 0, {1, 1, 1}, {0, 0, 0});
  ASSERT_TRUE(I && I->Block());
  ASSERT_TRUE(I->Block()->Xref());
  TqdDXFConverter* Ref = I->Block()->Xref()->XRefConverter();
  ASSERT_TRUE(Ref);
  ASSERT_TRUE(Ref->GetLayout(0));
  EXPECT_EQ(Ref->GetLayout(0)->PaperSpaceBlockField()->Count(), 1);
  std::remove(Path.c_str());
}

TEST(DxfMapping, HostileCountsStayBounded) {
  // Many edges without data, a path type that is not a polyline path, a huge dash
  // count, element codes everywhere: all read, nothing grows beyond the groups read.
  TGroups H{{0, "HATCH"}, {91, "1"}, {92, "1"}, {93, "2147483647"}};
  for (int K = 0; K < 2000; ++K) H.push_back({72, K % 2 ? "9" : "1"});
  H.insert(H.end(), {{97, "2147483647"}, {78, "2147483647"}, {53, "0"}, {79, "-5"}, {79, "2147483647"}});
  TOne<TqdCADHatch> T(H);
  ASSERT_TRUE(T.E);
  ASSERT_EQ(T.E->GetBoundaryDataCount(), 1);
  EXPECT_EQ(PathOf(T.E).GetCount(), 1000);
  EXPECT_LE(T.E->HatchPatternData().at(0).Lines.capacity(), 64u);
}

}  // namespace

TEST(DxfMapping, MultiLineAttribKeepsItsOwnFieldsAndTakesTheEmbeddedText) {
  // As an R2018 file writes it: the multi-line flag and copies after the lock
  // position, then the embedded MTEXT whose groups mean other things.
  TLoaded L(WithBlock({{0, "INSERT"}, {66, "1"}, {2, "B"}, {0, "ATTRIB"}, {100, "AcDbText"}, {10, "1"}, {20, "2"},
                       {40, "2.5"}, {1, ""}, {72, "2"}, {11, "7"}, {21, "8"}, {100, "AcDbAttribute"}, {280, "0"},
                       {2, "TAG"}, {70, "0"}, {74, "3"}, {280, "1"}, {71, "2"}, {72, "0"}, {11, "9"}, {21, "9"},
                       {101, "Embedded Object"}, {10, "7"}, {20, "8"}, {40, "2.5"}, {41, "0"}, {46, "0"},
                       {71, "1"}, {72, "5"}, {3, "first "}, {1, "second"}, {73, "1"}, {44, "1"}, {0, "SEQEND"}}));
  auto* I = dynamic_cast<TqdDXFInsert*>(First(L));
  ASSERT_TRUE(I);
  ASSERT_EQ(I->Count(), 1);
  auto* A = dynamic_cast<TqdDXFAttrib*>(I->GetEntity(0));
  ASSERT_TRUE(A);
  EXPECT_EQ(A->Value(), "first second");
  EXPECT_EQ(A->Text(), "first second");
  EXPECT_EQ(A->Point().X, 1.0);
  EXPECT_EQ(A->Point1().X, 7.0);
  EXPECT_EQ(A->Scale(), 1.0);  // the embedded 41 is the frame width, not the width factor
  EXPECT_EQ(A->GenerationFlags(), 0);
  EXPECT_EQ(A->HAlign(), 2);
  EXPECT_EQ(A->VAlign(), 3);
}

TEST(DxfMapping, MeshKeepsVerticesAndOnlyFacesWhoseIndexesExist) {
  TOne<TqdDXFProxy> M({{0, "MESH"}, {100, "AcDbEntity"}, {100, "AcDbSubDMesh"}, {71, "2"}, {72, "0"}, {91, "0"},
                       {92, "3"}, {10, "0"}, {20, "0"}, {30, "0"}, {10, "1"}, {20, "0"}, {30, "0"}, {10, "0"},
                       {20, "1"}, {30, "2"}, {93, "11"}, {90, "3"}, {90, "0"}, {90, "1"}, {90, "2"}, {90, "3"},
                       {90, "0"}, {90, "1"}, {90, "7"}, {90, "9"}, {90, "0"}, {90, "1"}, {94, "1"}, {90, "0"},
                       {90, "1"}});
  ASSERT_TRUE(M.E);
  ASSERT_EQ(M.E->FMeshVertices.size(), 3u);
  EXPECT_EQ(M.E->FMeshVertices[2].Z, 2.0);
  // The second face names vertex 7; the third's count runs past the list.
  EXPECT_EQ(M.E->FMeshFaces, (std::vector<std::int32_t>{3, 0, 1, 2}));
}

// Modeller text of files before R2007 is stored obfuscated; the item keeps it plain,
// as later files and DWG files give it.
TEST(DxfMapping, SolidTextIsKeptPlainFromEveryRelease) {
  // "400 1 1 0" and "body $-1 #" as files before R2007 store them.
  TOne<TqdDXF3dSolid> Old({{0, "3DSOLID"}, {100, "AcDbModelerGeometry"}, {70, "1"}, {1, "koo n n o"}, {1, "=0;& {rn |"}},
                          0, "AC1015");
  TOne<TqdDXF3dSolid> New({{0, "3DSOLID"}, {100, "AcDbModelerGeometry"}, {70, "1"}, {1, "400 1 1 0"}, {1, "body $-1 #"}},
                          0, "AC1021");
  ASSERT_TRUE(Old.E && New.E);
  EXPECT_EQ(Old.E->FAcisData, "400 1 1 0\nbody $-1 #");
  EXPECT_EQ(New.E->FAcisData, Old.E->FAcisData);
  // Code 3 continues the line before it.
  TOne<TqdDXF3dSolid> Long({{0, "3DSOLID"}, {100, "AcDbModelerGeometry"}, {70, "1"}, {1, "400 1 1 0"}, {1, "body $-1"},
                            {3, " #"}, {1, "End-of-ACIS-data"}},
                           0, "AC1021");
  ASSERT_TRUE(Long.E);
  EXPECT_EQ(Long.E->FAcisData, "400 1 1 0\nbody $-1 #\nEnd-of-ACIS-data");
}
