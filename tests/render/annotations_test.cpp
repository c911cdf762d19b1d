// Proxy graphics streams built here, multileaders and underlays read from small DXF
// files, and entities of unknown classes: decoded, built, drawn and counted.
#include <gtest/gtest.h>

#include <QImage>
#include <cmath>
#include <cstring>
#include <fstream>
#include <limits>
#include <string>

#include "Blocks.h"
#include "CADImage.h"
#include "readers/dxf/DXF.h"
#include "DXFConv.h"
#include "MultiLeaders.h"
#include "Others.h"
#include "Texts.h"
#include "Underlays.h"
#include "qdIterator.h"
#include "qdProxyGraphics.h"
#include "qdQtCanvas.h"
#include "../readers/dxf_test_util.h"

namespace {

// ---------------------------------------------------------------- stream writer

class TStream {
public:
  TStream& U32(std::uint32_t V) {
    PutLE(FCmd, V, 4);
    return *this;
  }
  TStream& F64(double V) {
    std::uint64_t B;
    std::memcpy(&B, &V, 8);
    PutLE(FCmd, B, 8);
    return *this;
  }
  TStream& Pt(double X, double Y, double Z = 0) { return F64(X).F64(Y).F64(Z); }
  TStream& Raw(const std::string& S) {
    FCmd += S;
    return *this;
  }
  TStream& Str(const std::string& S) {
    FCmd += S;
    FCmd.push_back('\0');
    while (FCmd.size() % 4) FCmd.push_back('\0');
    return *this;
  }
  TStream& WStr(const std::u16string& S) {
    for (char16_t C : S) PutLE(FCmd, C, 2);
    PutLE(FCmd, 0, 2);
    while (FCmd.size() % 4) FCmd.push_back('\0');
    return *this;
  }
  // Ends the command of type T begun by the calls since the last End.
  TStream& End(std::uint32_t T) {
    PutLE(FBody, FCmd.size() + 8, 4);
    PutLE(FBody, T, 4);
    FBody += FCmd;
    FCmd.clear();
    ++FCount;
    return *this;
  }
  std::string Bytes() const {
    std::string S;
    PutLE(S, FBody.size() + 8, 4);
    PutLE(S, FCount, 4);
    return S + FBody;
  }

private:
  std::string FCmd, FBody;
  std::uint32_t FCount = 0;
};

// DWG bit coding, high bit first, for the lightweight polyline command.
class TBitWriter {
public:
  TBitWriter& Bits(std::uint64_t V, int N) {
    for (int I = N - 1; I >= 0; --I) {
      if (FN % 8 == 0) FS.push_back('\0');
      if ((V >> I) & 1) FS.back() = static_cast<char>(FS.back() | (0x80 >> (FN % 8)));
      ++FN;
    }
    return *this;
  }
  TBitWriter& Byte(int V) { return Bits(static_cast<std::uint64_t>(V) & 0xFF, 8); }
  TBitWriter& RD(double D) {
    std::uint64_t B;
    std::memcpy(&B, &D, 8);
    for (int I = 0; I < 8; ++I) Byte(static_cast<int>((B >> (8 * I)) & 0xFF));
    return *this;
  }
  const std::string& Data() const { return FS; }

private:
  std::string FS;
  int FN = 0;
};

std::string LWPolylineData() {
  TBitWriter W;
  W.Bits(1, 2).Byte(16);                       // BS flag: bulges
  W.Bits(1, 2).Byte(3);                        // BL points
  W.Bits(1, 2).Byte(3);                        // BL bulges
  W.RD(0).RD(0);                               // first vertex
  W.Bits(3, 2).RD(2).Bits(0, 2);               // DD x: full; DD y: as before
  W.Bits(0, 2).Bits(3, 2).RD(2);               // DD x: as before; DD y: full
  W.Bits(1, 2).Bits(2, 2).Bits(2, 2);          // BD bulges 1, 0, 0
  return W.Data();
}

std::string Hex(const std::string& B) {
  static const char* D = "0123456789ABCDEF";
  std::string H;
  for (unsigned char C : B) {
    H += D[C >> 4];
    H += D[C & 15];
  }
  return H;
}

TFRect BoxOf(const TqdProxyPrimitive& P) {
  TFRect R = cnstBadRect;
  for (const TFPoint& Q : P.Points) UnionBoxPoint(R, Q);
  return R;
}

// ---------------------------------------------------------------- primitives

struct TPrimitiveRow {
  const char* Name;
  std::string Stream;
  TqdProxyPrimitiveKind Kind;
  TFRect Box;  // of the outline, to 1e-6 (Z ignored)
  bool Closed, Filled;
};

std::vector<TPrimitiveRow> PrimitiveRows() {
  const double Pi = 3.14159265358979323846;
  return {
      {"circle", TStream().Pt(5, 5).F64(2).Pt(0, 0, 1).End(pgcCircle).Bytes(), ppkCircle, {3, 7, 0, 7, 3, 0}, true,
       false},
      {"circle_three_points", TStream().Pt(1, 0).Pt(0, 1).Pt(-1, 0).End(pgcCircle3P).Bytes(), ppkCircle,
       {-1, 1, 0, 1, -1, 0}, true, false},
      {"quarter_arc", TStream().Pt(0, 0).F64(10).Pt(0, 0, 1).Pt(1, 0).F64(Pi / 2).U32(0).End(pgcCircularArc).Bytes(),
       ppkArc, {0, 10, 0, 10, 0, 0}, false, false},
      {"half_arc_three_points", TStream().Pt(1, 0).Pt(0, 1).Pt(-1, 0).U32(0).End(pgcCircularArc3P).Bytes(), ppkArc,
       {-1, 1, 0, 1, 0, 0}, false, false},
      {"polyline", TStream().U32(3).Pt(0, 0).Pt(4, 0).Pt(4, 3).End(pgcPolyline).Bytes(), ppkPolyline,
       {0, 3, 0, 4, 0, 0}, false, false},
      {"polygon_filled", TStream().U32(1).End(pgcFill).U32(3).Pt(0, 0).Pt(2, 0).Pt(0, 2).End(pgcPolygon).Bytes(),
       ppkPolygon, {0, 2, 0, 2, 0, 0}, true, true},
      {"polygon_unfilled", TStream().U32(3).Pt(0, 0).Pt(2, 0).Pt(0, 2).End(pgcPolygon).Bytes(), ppkPolygon,
       {0, 2, 0, 2, 0, 0}, true, false},
      {"full_ellipse", TStream().Pt(0, 0).Pt(0, 0, 1).F64(4).F64(2).F64(0).F64(2 * Pi).F64(0).End(pgcEllipticArc).Bytes(),
       ppkEllipse, {-4, 2, 0, 4, -2, 0}, true, false},
      {"polyline_with_normal", TStream().U32(2).Pt(1, 1).Pt(3, 2).Pt(0, 0, 1).End(pgcPolylineWithNormals).Bytes(),
       ppkPolyline, {1, 2, 0, 3, 1, 0}, false, false},
      {"lightweight_polyline_with_a_half_circle",
       TStream().U32(static_cast<std::uint32_t>(LWPolylineData().size())).Raw(LWPolylineData())
           .End(pgcLWPolyline).Bytes(),
       ppkPolyline, {0, 2, 0, 2, -1, 0}, false, false},
      {"translated_by_matrix",
       TStream().F64(1).F64(0).F64(0).F64(10).F64(0).F64(1).F64(0).F64(20).F64(0).F64(0).F64(1).F64(0)
           .F64(0).F64(0).F64(0).F64(1).End(pgcPushMatrix)
           .U32(2).Pt(0, 0).Pt(1, 1).End(pgcPolyline).End(pgcPopMatrix).Bytes(),
       ppkPolyline, {10, 21, 0, 11, 20, 0}, false, false},
  };
}

class ProxyPrimitive : public ::testing::TestWithParam<TPrimitiveRow> {};

TEST_P(ProxyPrimitive, DecodesToItsOutline) {
  const TPrimitiveRow& Row = GetParam();
  const TqdProxyGraphicsResult R = TqdProxyGraphics::Decode(Row.Stream);
  EXPECT_TRUE(R.Error.empty()) << R.Error;
  ASSERT_EQ(R.Primitives.size(), 1u);
  const TqdProxyPrimitive& P = R.Primitives[0];
  EXPECT_EQ(P.Kind, Row.Kind);
  EXPECT_EQ(P.Closed, Row.Closed);
  EXPECT_EQ(P.Filled, Row.Filled);
  const TFRect B = BoxOf(P);
  EXPECT_NEAR(B.Left, Row.Box.Left, 1e-6);
  EXPECT_NEAR(B.Right, Row.Box.Right, 1e-6);
  EXPECT_NEAR(B.Top, Row.Box.Top, 1e-6);
  EXPECT_NEAR(B.Bottom, Row.Box.Bottom, 1e-6);
}

INSTANTIATE_TEST_SUITE_P(Rows, ProxyPrimitive, ::testing::ValuesIn(PrimitiveRows()),
                         [](const auto& I) { return std::string(I.param.Name); });

TEST(ProxyGraphics, TextsKeepStringHeightAndDirection) {
  const std::string S = TStream()
                            .Pt(1, 2).Pt(0, 0, 1).Pt(0, 1).F64(2.5).F64(0.8).F64(0).Str("Plain")
                            .End(pgcText)
                            .Pt(3, 4).Pt(0, 0, 1).Pt(1, 0).F64(1).F64(1).F64(0).WStr(u"\u00c4rger \u20ac")
                            .End(pgcUnicodeText)
                            .Bytes();
  const TqdProxyGraphicsResult R = TqdProxyGraphics::Decode(S);
  ASSERT_EQ(R.Primitives.size(), 2u) << R.Error;
  EXPECT_EQ(R.Primitives[0].Kind, ppkText);
  EXPECT_EQ(R.Primitives[0].Text, "Plain");
  EXPECT_DOUBLE_EQ(R.Primitives[0].Height, 2.5);
  EXPECT_DOUBLE_EQ(R.Primitives[0].WidthFactor, 0.8);
  EXPECT_NEAR(R.Primitives[0].Direction.Y, 1, 1e-12);
  EXPECT_EQ(R.Primitives[1].Text, "\xc3\x84rger \xe2\x82\xac");
  EXPECT_DOUBLE_EQ(R.Primitives[1].Center.X, 3);
}

TEST(ProxyGraphics, AttributesApplyToTheFollowingPrimitives) {
  const std::string S = TStream()
                            .U32(1).End(pgcColor)
                            .U32(2).Pt(0, 0).Pt(1, 0).End(pgcPolyline)
                            .U32(0xC2102030).End(pgcTrueColor)
                            .U32(3).End(pgcLayer)
                            .U32(50).End(pgcLineWeight)
                            .U32(2).Pt(0, 0).Pt(1, 0).End(pgcPolyline)
                            .U32(0xC1000000).End(pgcTrueColor)
                            .U32(2).Pt(0, 0).Pt(1, 0).End(pgcPolyline)
                            .Bytes();
  const TqdProxyGraphicsResult R = TqdProxyGraphics::Decode(S);
  ASSERT_EQ(R.Primitives.size(), 3u) << R.Error;
  EXPECT_EQ(R.Primitives[0].Attr.Color, TqdColorCAD::Index(1));
  EXPECT_EQ(R.Primitives[0].Attr.LayerIndex, -1);
  EXPECT_EQ(R.Primitives[1].Attr.Color, TqdColorCAD::RGB(MakeRGB(0x10, 0x20, 0x30)));
  EXPECT_EQ(R.Primitives[1].Attr.LayerIndex, 3);
  EXPECT_DOUBLE_EQ(R.Primitives[1].Attr.LineWeight, 0.5);
  EXPECT_EQ(R.Primitives[2].Attr.Color, TqdColorCAD::Index(clByBlock));
}

// ---------------------------------------------------------------- hostile streams

struct THostileRow {
  const char* Name;
  std::string Stream;
  std::size_t MaxPrimitives;
  bool Truncated;
};

std::string Cut(const std::string& S, std::size_t N) { return S.substr(0, std::min(S.size(), N)); }

std::vector<THostileRow> HostileRows() {
  const std::string Good = TStream().U32(2).Pt(0, 0).Pt(1, 1).End(pgcPolyline).U32(2).Pt(0, 0).Pt(2, 2)
                               .End(pgcPolyline).Bytes();
  std::string HugeCount = TStream().U32(0xFFFFFFF0u).Pt(0, 0).End(pgcPolyline).Bytes();
  std::string ZeroSize = Good;
  ZeroSize[8] = ZeroSize[9] = ZeroSize[10] = ZeroSize[11] = 0;
  std::string Oversize = Good;
  Oversize[0] = Oversize[1] = Oversize[2] = '\xff';
  const double NaN = std::numeric_limits<double>::quiet_NaN();
  TStream Deep;
  for (int I = 0; I < 1000; ++I)
    Deep.F64(2).F64(0).F64(0).F64(0).F64(0).F64(2).F64(0).F64(0).F64(0).F64(0).F64(2).F64(0).F64(0).F64(0).F64(0)
        .F64(1).End(pgcPushMatrix);
  Deep.U32(2).Pt(0, 0).Pt(1, 1).End(pgcPolyline);
  return {
      {"empty", "", 0, true},
      {"header_only_cut", Cut(Good, 6), 0, true},
      {"cut_inside_second_command", Cut(Good, Good.size() - 5), 1, true},
      {"vertex_count_beyond_bytes", HugeCount, 0, true},
      {"command_size_zero", ZeroSize, 0, true},
      {"size_word_beyond_data", Oversize, 2, true},
      {"nan_radius_dropped", TStream().Pt(0, 0).F64(NaN).Pt(0, 0, 1).End(pgcCircle).Bytes(), 0, false},
      {"nan_vertex_dropped", TStream().U32(3).Pt(0, 0).Pt(NaN, 1).Pt(1, 1).End(pgcPolyline).Bytes(), 1, false},
      {"shell_face_beyond_list", TStream().U32(1).Pt(0, 0).U32(2).U32(50).U32(0).End(pgcShell).Bytes(), 0, true},
      {"matrix_stack_capped", Deep.Bytes(), 1, false},
  };
}

class HostileProxyStream : public ::testing::TestWithParam<THostileRow> {};

TEST_P(HostileProxyStream, StopsCleanlyAndKeepsWhatWasRead) {
  const THostileRow& Row = GetParam();
  const TqdProxyGraphicsResult R = TqdProxyGraphics::Decode(Row.Stream);
  EXPECT_LE(R.Primitives.size(), Row.MaxPrimitives);
  EXPECT_EQ(R.Truncated, Row.Truncated) << R.Error;
  for (const TqdProxyPrimitive& P : R.Primitives)
    for (const TFPoint& Q : P.Points) EXPECT_TRUE(IsFiniteFPoint(Q));
}

INSTANTIATE_TEST_SUITE_P(Rows, HostileProxyStream, ::testing::ValuesIn(HostileRows()),
                         [](const auto& I) { return std::string(I.param.Name); });

TEST(ProxyGraphics, MatrixStackDeeperThanTheCapStillPairsPops) {
  TStream S;
  const auto Push = [&](double DX) {
    S.F64(1).F64(0).F64(0).F64(DX).F64(0).F64(1).F64(0).F64(0).F64(0).F64(0).F64(1).F64(0).F64(0).F64(0).F64(0).F64(1)
        .End(pgcPushMatrix);
  };
  for (int I = 0; I < TqdProxyGraphics::cnstMaxMatrixDepth + 10; ++I) Push(1);
  for (int I = 0; I < TqdProxyGraphics::cnstMaxMatrixDepth + 10; ++I) S.End(pgcPopMatrix);
  S.U32(2).Pt(0, 0).Pt(1, 0).End(pgcPolyline);
  const TqdProxyGraphicsResult R = TqdProxyGraphics::Decode(S.Bytes());
  ASSERT_EQ(R.Primitives.size(), 1u);
  // Every push was popped: the line is where the stream put it.
  EXPECT_DOUBLE_EQ(R.Primitives[0].Points[0].X, 0);
}

TEST(ProxyGraphics, HexTextDecodesAndStopsAtTheFirstForeignCharacter) {
  EXPECT_EQ(qdHexToBytes("41 42\r\n4a"), "ABJ");
  EXPECT_EQ(qdHexToBytes("414G42"), "A");
  EXPECT_EQ(qdHexToBytes("414"), "A");
}

// ---------------------------------------------------------------- files

TGroups Cat(std::initializer_list<TGroups> Parts) {
  TGroups R;
  for (const TGroups& P : Parts) R.insert(R.end(), P.begin(), P.end());
  return R;
}

TGroups Entities(const TGroups& Body) {
  return Cat({{{0, "SECTION"}, {2, "ENTITIES"}}, Body, {{0, "ENDSEC"}}});
}

const TGroups cEnd{{0, "EOF"}};

TGroups MultiLeader(bool WithText) {
  TGroups G{{0, "MULTILEADER"}, {5, "80"}, {100, "AcDbEntity"}, {8, "0"}, {100, "AcDbMLeader"},
            {300, "CONTEXT_DATA{"}, {40, "1"}, {10, "50"}, {20, "50"}, {30, "0"}, {41, "5"}, {140, "4"},
            {290, WithText ? "1" : "0"}, {304, "Note"}, {11, "0"}, {21, "0"}, {31, "1"}, {12, "60"}, {22, "55"},
            {32, "0"}, {13, "1"}, {23, "0"}, {33, "0"}, {171, "1"},
            {302, "LEADER{"}, {290, "1"}, {291, "1"}, {10, "50"}, {20, "50"}, {30, "0"}, {11, "1"}, {21, "0"},
            {31, "0"}, {40, "8"},
            {304, "LEADER_LINE{"}, {10, "10"}, {20, "10"}, {30, "0"}, {10, "30"}, {20, "40"}, {30, "0"}, {91, "0"},
            {305, "}"}, {303, "}"}, {301, "}"},
            {170, "1"}, {91, "-1056964608"}, {171, "-2"}, {290, "1"}, {291, "1"}, {41, "8"}, {42, "4"},
            {172, WithText ? "2" : "0"}};
  return G;
}

struct TRead {
  TLoaded L;
  explicit TRead(const TGroups& G) : L(TextDXF(G)) {}
  TqdDXFEntity* First() {
    TqdDXFBlock* M = L.Conv().GetLayout(0)->PaperSpaceBlockField();
    return M && M->Count() ? M->GetEntity(0) : nullptr;
  }
  std::vector<std::string> NotDrawn() {
    TqdLoadResult N;
    N.Names = L.R.DXFNames;
    return qdNotDrawnWarnings(L.Conv(), &N);
  }
};

int CountOf(const TqdDXFEntity* B, TqdCADEntities T) {
  int N = 0;
  for (int I = 0; B && I < B->Count(); ++I) N += B->GetEntity(I)->EntType() == T;
  return N;
}

TEST(MultiLeaders, LeaderLineArrowDoglegAndTextAreBuiltAndMeasured) {
  TRead F(Cat({Entities(MultiLeader(true)), cEnd}));
  ASSERT_TRUE(F.L.R.Ok) << F.L.R.Error;
  auto* M = dynamic_cast<TqdDXFMultiLeader*>(F.First());
  ASSERT_NE(M, nullptr);
  ASSERT_EQ(M->FBranches.size(), 1u);
  ASSERT_EQ(M->FBranches[0].Lines.size(), 1u);
  EXPECT_EQ(M->FBranches[0].Lines[0].Vertices.size(), 2u);
  EXPECT_EQ(M->FText, "Note");
  ASSERT_NE(M->InsertBlock(), nullptr);
  EXPECT_TRUE(qdEntityIsDrawn(M));
  EXPECT_FALSE(M->DrawnFromProxy());
  const TqdDXFEntity* G = M->InsertBlock();
  EXPECT_EQ(CountOf(G, cePolyline), 1);      // the leader line through 3 points
  EXPECT_EQ(CountOf(G, cePolyPolygon), 1);   // the arrow
  EXPECT_EQ(CountOf(G, ceLine), 1);          // the dog-leg
  EXPECT_EQ(CountOf(G, ceMText), 1);
  // The box holds the arrow tip, the dog-leg end and the text.
  const TFRect B = M->Box();
  ASSERT_TRUE(IsFiniteBox(B));
  EXPECT_LE(B.Left, 10);
  EXPECT_LE(B.Bottom, 10);
  EXPECT_GE(B.Right, 58);
  EXPECT_GE(B.Top, 50);
  EXPECT_TRUE(F.NotDrawn().empty());
}

TEST(MultiLeaders, WithoutContentDataTheProxyGraphicsAreDrawn) {
  TGroups G{{0, "MULTILEADER"}, {5, "81"}, {100, "AcDbEntity"}, {8, "0"}, {92, "0"}};
  const std::string Bytes = TStream().U32(2).Pt(0, 0).Pt(7, 9).End(pgcPolyline).Bytes();
  G.push_back({310, Hex(Bytes)});
  G.push_back({100, "AcDbMLeader"});
  TRead F(Cat({Entities(G), cEnd}));
  auto* M = dynamic_cast<TqdDXFMultiLeader*>(F.First());
  ASSERT_NE(M, nullptr);
  EXPECT_TRUE(M->DrawnFromProxy());
  EXPECT_NEAR(M->Box().Right, 7, 1e-9);
  EXPECT_NEAR(M->Box().Top, 9, 1e-9);
}

TEST(MultiLeaders, DrawnLeaderLeavesInkOnThePicture) {
  TqdCADImage Img;
  RegisterDXFReader();
  const std::string D = TextDXF(Cat({Entities(MultiLeader(false)), cEnd}));
  const TdxfLoadResult R = LoadDXFFromMemory(D.data(), D.size(), *Img.Converter());
  ASSERT_TRUE(R.Ok) << R.Error;
  TqdDXFConverter& C = *Img.Converter();
  C.LoadAll();
  Img.SetIsWithoutBorder(true);
  Img.SetDrawingBox({0, 100, 0, 100, 0, 0});
  Img.SetCurrentLayout(C.GetLayout(0), 0);
  QImage Q(100, 100, QImage::Format_RGB32);
  Q.fill(Qt::gray);
  TqdQtCanvas Canvas(&Q);
  Img.Draw(Canvas, {0, 0, 100, 100});
  Canvas.End();
  // Midway along the first segment, (20, 25) in drawing units, is pixel (20, 75).
  int Ink = 0;
  for (int Y = 73; Y <= 77; ++Y)
    for (int X = 18; X <= 22; ++X) Ink += Q.pixel(X, Y) != QColor(Qt::gray).rgb();
  EXPECT_GT(Ink, 0);
}

TEST(Underlays, FrameIsTheClipBoundaryAndShowsTheFileName) {
  TGroups Ent{{0, "PDFUNDERLAY"}, {5, "90"}, {100, "AcDbEntity"}, {8, "0"}, {100, "AcDbUnderlayReference"},
              {340, "91"}, {10, "100"}, {20, "200"}, {30, "0"}, {41, "2"}, {42, "2"}, {43, "1"}, {50, "0"},
              {280, "3"}, {91, "2"}, {11, "1"}, {21, "1"}, {11, "6"}, {21, "4"}};
  TGroups Obj{{0, "SECTION"}, {2, "OBJECTS"}, {0, "PDFDEFINITION"}, {5, "91"},
              {100, "AcDbUnderlayDefinition"}, {1, "C:\\plans\\site.pdf"}, {2, "1"}, {0, "ENDSEC"}};
  TRead F(Cat({Entities(Ent), Obj, cEnd}));
  ASSERT_TRUE(F.L.R.Ok) << F.L.R.Error;
  auto* U = dynamic_cast<TqdCADUnderlay*>(F.First());
  ASSERT_NE(U, nullptr);
  const std::vector<TFPoint> Fr = U->Frame();
  ASSERT_EQ(Fr.size(), 4u);
  EXPECT_DOUBLE_EQ(Fr[0].X, 102);
  EXPECT_DOUBLE_EQ(Fr[0].Y, 202);
  EXPECT_DOUBLE_EQ(Fr[2].X, 112);
  EXPECT_DOUBLE_EQ(Fr[2].Y, 208);
  EXPECT_EQ(U->ShownName(), "site.pdf (1)");
  const TqdDXFEntity* G = U->InsertBlock();
  ASSERT_NE(G, nullptr);
  EXPECT_EQ(CountOf(G, cePolyline), 1);
  ASSERT_EQ(CountOf(G, ceText), 1);
  EXPECT_TRUE(qdEntityIsDrawn(U));
}

TEST(Underlays, WithoutClippingTheUnitSquareIsPlaced) {
  TGroups Ent{{0, "DWFUNDERLAY"}, {5, "92"}, {100, "AcDbEntity"}, {8, "0"}, {10, "0"}, {20, "0"}, {30, "0"},
              {41, "10"}, {42, "10"}, {43, "1"}, {50, "90"}, {280, "2"}};
  TRead F(Cat({Entities(Ent), cEnd}));
  auto* U = dynamic_cast<TqdCADUnderlay*>(F.First());
  ASSERT_NE(U, nullptr);
  const TFRect B = U->Box();
  EXPECT_NEAR(B.Left, -10, 1e-9);
  EXPECT_NEAR(B.Right, 0, 1e-9);
  EXPECT_NEAR(B.Top, 10, 1e-9);
  EXPECT_EQ(U->ShownName(), "DWFUNDERLAY");
}

TEST(UnknownClasses, WithoutGraphicsTheyAreCountedByName) {
  TRead F(Cat({Entities({{0, "AECWALLTHING"}, {5, "A0"}, {8, "0"}, {0, "AECWALLTHING"}, {5, "A1"}, {8, "0"}}), cEnd}));
  ASSERT_TRUE(F.L.R.Ok);
  const std::vector<std::string> W = F.NotDrawn();
  EXPECT_NE(std::find(W.begin(), W.end(), "AECWALLTHING: 2 not drawn"), W.end()) << ::testing::PrintToString(W);
}

TEST(UnknownClasses, WithProxyGraphicsTheyAreDrawn) {
  const std::string Bytes = TStream().Pt(0, 0).F64(3).Pt(0, 0, 1).End(pgcCircle).Bytes();
  TRead F(Cat({Entities({{0, "AECWALLTHING"}, {5, "A0"}, {100, "AcDbEntity"}, {8, "0"}, {92, "0"},
                         {310, Hex(Bytes)}}),
               cEnd}));
  auto* P = dynamic_cast<TqdDXFProxy*>(F.First());
  ASSERT_NE(P, nullptr);
  EXPECT_EQ(P->FDXFName, "AECWALLTHING");
  EXPECT_TRUE(qdEntityIsDrawn(P));
  EXPECT_NEAR(P->Box().Right, 3, 1e-9);
  EXPECT_TRUE(F.NotDrawn().empty());
}

}  // namespace

namespace {

TEST(UnknownClasses, CorpusProxyEntitiesAreDrawnExactlyWhenTheyCarryGraphics) {
  const std::string Path = std::string(DRAFTWELL_CORPUS_DIR) + "/dxf/ldwg-2013_gh109_1.dxf";
  if (!std::ifstream(Path)) GTEST_SKIP() << "corpus file absent: " << Path;
  TqdConverterRef C{new TqdDXFConverter(TqdConverterParams{true, {}})};
  RegisterDXFReader();
  const TdxfLoadResult R = LoadDXFFile(Path, *C.get());
  ASSERT_TRUE(R.Ok) << R.Error;
  const TqdDXFEntity* Blocks = C.get()->GetSection(csBlocks);
  int WithGraphics = 0, Without = 0;
  for (int B = 0; B < Blocks->Count(); ++B)
    for (int I = 0; I < Blocks->GetEntity(B)->Count(); ++I)
      if (const auto* P = dynamic_cast<const TqdDXFProxy*>(Blocks->GetEntity(B)->GetEntity(I))) {
        const TqdProxyGraphicsResult G = TqdProxyGraphics::Decode(P->FProxyData);
        EXPECT_TRUE(G.Error.empty()) << G.Error;
        const bool Has = !G.Primitives.empty();
        (Has ? WithGraphics : Without)++;
        EXPECT_EQ(P->InsertBlock() != nullptr, Has);
      }
  EXPECT_GT(WithGraphics, 0);
  TqdLoadResult N;
  const std::vector<std::string> W = qdNotDrawnWarnings(*C.get(), &N);
  const std::string Expected = "ACAD_PROXY_ENTITY: " + std::to_string(Without) + " not drawn";
  EXPECT_EQ(Without == 0, std::find(W.begin(), W.end(), Expected) == W.end()) << ::testing::PrintToString(W);
}

}  // namespace
