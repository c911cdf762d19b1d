// Object decoders of R13 and later, one object at a time: the groups each writes for
// fields built bit by bit, and the faults of damaged counts and sizes.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "readers/dwg/DWGObjects.h"
#include "readers/dxf/DXFTokenizer.h"
#include "dwg_test_util.h"

namespace {

// One group as written: code and value as text (numbers formatted).
using TGroups = std::vector<std::pair<int, std::string>>;

TGroups Parse(const std::string& S) {
  TGroups R;
  std::size_t P = 0;
  while (P + 2 <= S.size()) {
    const int C = static_cast<std::int16_t>(static_cast<std::uint8_t>(S[P]) | (static_cast<std::uint8_t>(S[P + 1]) << 8));
    P += 2;
    std::string V;
    switch (BinaryValueKind(C)) {
      case bvString: {
        const std::size_t E = S.find('\0', P);
        V = S.substr(P, E - P);
        P = E + 1;
        break;
      }
      case bvChunk: {
        const std::size_t N = static_cast<std::uint8_t>(S[P]);
        V = std::to_string(N);
        P += 1 + N;
        break;
      }
      case bvByte: V = std::to_string(static_cast<std::uint8_t>(S[P])); P += 1; break;
      case bvInt16: {
        std::int16_t I;
        std::memcpy(&I, S.data() + P, 2);
        V = std::to_string(I);
        P += 2;
        break;
      }
      case bvInt32: {
        std::int32_t I;
        std::memcpy(&I, S.data() + P, 4);
        V = std::to_string(I);
        P += 4;
        break;
      }
      case bvInt64: P += 8; break;
      case bvDouble: {
        double D;
        std::memcpy(&D, S.data() + P, 8);
        char Buf[32];
        std::snprintf(Buf, sizeof Buf, "%g", D);
        V = Buf;
        P += 8;
        break;
      }
      default: return R;
    }
    R.emplace_back(C, V);
  }
  return R;
}

int CountOf(const TGroups& G, int C) {
  int N = 0;
  for (const auto& [Code, V] : G) N += Code == C;
  return N;
}

std::string First(const TGroups& G, int C) {
  for (const auto& [Code, V] : G)
    if (Code == C) return V;
  return "(none)";
}

// Decodes the data bits (and handle bits) with a decoder; the groups, or "throws".
struct TRun {
  bool Threw = false;
  std::string Why;
  TGroups Groups;
  std::uint64_t BitsLeft = 0;
};

TRun Decode(const TdwgDecoder* Dec, int AType, const TBitWriter& AData, const TBitWriter& AHandles = {},
         TqdDWGVersion AVersion = acR2000) {
  TRun R;
  EXPECT_NE(Dec, nullptr);
  if (!Dec) return R;
  const std::string D = AData.Str(), H = AHandles.Str();
  TdwgObj O;
  O.V = AVersion;
  O.Type = AType;
  O.Handle = 0x40;
  O.D = TdwgBitCursor(D.data(), D.size(), AVersion);
  O.D.SetEnd(AData.BitCount());
  O.H = TdwgBitCursor(H.data(), H.size(), AVersion);
  auto Strings = CreateStringReader(AVersion, &O.D, 1252, false);
  O.Strings = Strings.get();
  TdwgGroupWriter W;
  try {
    Dec->Fn(O, W);
    if (!O.D.Ok()) throw EdwgError("data cut short");
  } catch (const std::exception& X) {
    R.Threw = true;
    R.Why = X.what();
  }
  R.Groups = Parse(W.FData);
  R.BitsLeft = O.D.BitsLeft();
  return R;
}

// ---------------------------------------------------------------- LWPOLYLINE

TBitWriter LWPolyline(int AFlags, int APoints, int ABulges, int AWidths) {
  TBitWriter W;
  W.BS(AFlags);
  W.BL(APoints);
  if (AFlags & 16) W.BL(ABulges);
  if (AFlags & 32) W.BL(AWidths);
  for (int I = 0; I < std::min(APoints, 4); ++I) {
    if (I == 0) {
      W.RD(1.0);
      W.RD(2.0);
    } else {
      W.BB(3);  // DD: a full double
      W.RD(1.0 + I);
      W.BB(3);
      W.RD(2.0);
    }
  }
  for (int I = 0; I < ABulges; ++I) W.BD(0.5);
  for (int I = 0; I < AWidths; ++I) {
    W.BD(0.25);
    W.BD(0.75);
  }
  return W;
}

TEST(DWGObjectDecoders, LWPolylineCountsBeyondThePointsAreReadAndDropped) {
  const TdwgDecoder* Dec = DWGEntityDecoderByClass("LWPOLYLINE");
  struct TRow {
    const char* Name;
    int Flags, Points, Bulges, Widths;
  } Rows[] = {
      {"as many as points", 16 | 32, 3, 3, 3},
      {"more bulges than points", 16, 2, 5, 0},
      {"more widths than points", 32, 2, 0, 4},
      {"closed", 512, 3, 0, 0},
  };
  for (const TRow& Row : Rows) {
    const TRun R = Decode(Dec, 77, LWPolyline(Row.Flags, Row.Points, Row.Bulges, Row.Widths));
    SCOPED_TRACE(Row.Name);
    ASSERT_FALSE(R.Threw) << R.Why;
    EXPECT_EQ(R.BitsLeft, 0u);
    EXPECT_EQ(CountOf(R.Groups, 10), Row.Points);
    EXPECT_EQ(CountOf(R.Groups, 42), Row.Bulges ? Row.Points : 0);
    EXPECT_EQ(CountOf(R.Groups, 40), Row.Widths ? Row.Points : 0);
    EXPECT_EQ(First(R.Groups, 70), (Row.Flags & 512) ? "1" : "0");
  }
}

TEST(DWGObjectDecoders, CountsTheDataCannotHoldAreRefused) {
  const TRun R = Decode(DWGEntityDecoderByClass("LWPOLYLINE"), 77, LWPolyline(0, 0x7FFFFFF0, 0, 0));
  EXPECT_TRUE(R.Threw);
  EXPECT_NE(R.Why.find("exceeds"), std::string::npos) << R.Why;
  // A spline whose knot count is far beyond its data.
  TBitWriter S;
  S.BL(1);  // scenario: control points
  S.BL(3);  // degree
  S.B(0);
  S.B(0);
  S.B(0);
  S.BD(0);
  S.BD(0);
  S.BL(100000);  // knots
  S.BL(4);
  S.B(0);
  EXPECT_TRUE(Decode(DWGEntityDecoder(36), 36, S).Threw);
}

// ---------------------------------------------------------------- HATCH

TBitWriter Hatch(int APathFlags, bool APixelSize) {
  TBitWriter W;
  W.BD(0);     // elevation
  W.BD(0);     // extrusion x
  W.BD(0);     // y
  W.BD(1.0);   // z
  W.TV("SOLID");
  W.B(1);      // solid
  W.B(0);      // associative
  W.BL(1);     // paths
  W.BL(APathFlags | 2);  // polyline path
  W.B(0);      // no bulges
  W.B(1);      // closed
  W.BL(3);
  for (int I = 0; I < 3; ++I) {
    W.RD(I);
    W.RD(I * 2);
  }
  W.BL(0);     // source boundaries
  W.BS(0);     // style
  W.BS(1);     // pattern type
  if (APixelSize) W.BD(0.125);
  W.BL(1);     // seeds
  W.RD(5);
  W.RD(6);
  return W;
}

TEST(DWGObjectDecoders, HatchPixelSizeFollowsADerivedPath) {
  const TdwgDecoder* Dec = DWGEntityDecoderByClass("HATCH");
  {
    const TRun R = Decode(Dec, 78, Hatch(4, true));
    ASSERT_FALSE(R.Threw) << R.Why;
    EXPECT_EQ(R.BitsLeft, 0u);
    EXPECT_EQ(First(R.Groups, 47), "0.125");
    EXPECT_EQ(First(R.Groups, 98), "1");
  }
  {
    const TRun R = Decode(Dec, 78, Hatch(1, false));
    ASSERT_FALSE(R.Threw) << R.Why;
    EXPECT_EQ(R.BitsLeft, 0u);
    EXPECT_EQ(CountOf(R.Groups, 47), 0);
    EXPECT_EQ(First(R.Groups, 98), "1");
    EXPECT_EQ(CountOf(R.Groups, 10), 3 + 1 + 1);  // the elevation point, three vertices, the seed
  }
}

// ---------------------------------------------------------------- DIMENSION

TEST(DWGObjectDecoders, R2000DimensionsReadTheActualMeasurement) {
  TBitWriter W;
  W.BD(0);
  W.BD(0);
  W.BD(1.0);   // extrusion
  W.RD(5);
  W.RD(6);     // text midpoint
  W.BD(0);     // elevation
  W.RC(1);     // flags
  W.TV("");    // user text
  W.BD(0);     // text rotation
  W.BD(0);     // horizontal direction
  W.BD(1.0);
  W.BD(1.0);
  W.BD(1.0);   // insertion scale
  W.BD(0);     // insertion rotation
  W.BS(5);     // attachment
  W.BS(1);     // line-spacing style
  W.BD(1.0);   // line-spacing factor
  W.BD(42.5);  // actual measurement
  W.RD(0);
  W.RD(0);     // clone insertion point
  for (double X : {1.0, 44.0, 20.0}) {  // 13, 14, 10
    W.BD(X);
    W.BD(0);
    W.BD(0);
  }
  W.BD(0);     // extension line rotation
  W.BD(0);     // dimension rotation
  const TRun R = Decode(DWGEntityDecoder(21), 21, W);
  ASSERT_FALSE(R.Threw) << R.Why;
  EXPECT_EQ(R.BitsLeft, 0u);
  EXPECT_EQ(First(R.Groups, 42), "42.5");
  EXPECT_EQ(First(R.Groups, 13), "1");
  EXPECT_EQ(First(R.Groups, 14), "44");
  EXPECT_EQ(First(R.Groups, 10), "20");
}

// ---------------------------------------------------------------- LTYPE, OLE2FRAME

TEST(DWGObjectDecoders, LinetypeTextsStayInsideTheirArea) {
  auto LType = [](int AOffset, char AFill) {
    TBitWriter W;
    W.TV("dashes");  // description
    W.BD(1.0);       // pattern length
    W.RC('A');       // alignment
    W.RC(1);         // dashes
    W.BD(1.0);
    W.BS(AOffset);   // text offset
    W.RD(0);
    W.RD(0);
    W.BD(1.0);
    W.BD(0);
    W.BS(2);         // a text dash
    std::string Area(256, AFill);
    if (AFill == '\0') Area.replace(0, 3, "GAS");
    W.Bytes(Area);
    return W;
  };
  TBitWriter H;
  H.H(5, 0);  // the dash's style
  struct TRow {
    const char* Name;
    int Offset;
    char Fill;
    const char* Text;
  } Rows[] = {
      {"text at offset 0", 0, '\0', "GAS"},
      {"offset beyond the area", 300, '\0', ""},
      {"no terminating NUL", 250, 'x', "xxxxxx"},
  };
  for (const TRow& Row : Rows) {
    SCOPED_TRACE(Row.Name);
    const TRun R = Decode(DWGObjectDecoder(57), 57, LType(Row.Offset, Row.Fill), H);
    ASSERT_FALSE(R.Threw) << R.Why;
    EXPECT_EQ(R.BitsLeft, 0u);
    EXPECT_EQ(First(R.Groups, 9), Row.Text);
  }
}

TEST(DWGObjectDecoders, OleFrameCornersOnlyFromDataLongEnough) {
  for (int Len : {8, 64, 100}) {
    SCOPED_TRACE(Len);
    TBitWriter W;
    W.BS(2);    // type
    W.BS(1);    // mode
    W.BL(Len);  // data length
    W.Bytes(std::string(Len, '\0'));
    W.RC(0);
    const TRun R = Decode(DWGEntityDecoder(74), 74, W);
    ASSERT_FALSE(R.Threw) << R.Why;
    EXPECT_EQ(CountOf(R.Groups, 10), Len >= 64 ? 1 : 0);
  }
  TBitWriter Long;
  Long.BS(2);
  Long.BS(1);
  Long.BL(1 << 30);  // more than the object holds
  EXPECT_TRUE(Decode(DWGEntityDecoder(74), 74, Long).Threw);
}

// ---------------------------------------------------------------- dispatch

TEST(DWGObjectDecoders, DispatchByTypeAndClass) {
  struct TRow {
    int Type;
    const char* Class;
    const char* Name;
  } Rows[] = {
      {19, nullptr, "LINE"},       {8, nullptr, "INSERT"},        {14, nullptr, "VERTEX"},
      {29, nullptr, "POLYLINE"},   {77, nullptr, "LWPOLYLINE"},   {78, nullptr, "HATCH"},
      {51, nullptr, "LAYER"},      {49, nullptr, "BLOCK_RECORD"}, {42, nullptr, "DICTIONARY"},
      {0, "IMAGEDEF", "IMAGEDEF"}, {0, "LAYOUT", "LAYOUT"},       {0, "WIPEOUT", "WIPEOUT"},
  };
  for (const TRow& Row : Rows) {
    const TdwgDecoder* D = Row.Class ? DWGEntityDecoderByClass(Row.Class) : DWGEntityDecoder(Row.Type);
    if (!D) D = Row.Class ? DWGObjectDecoderByClass(Row.Class) : DWGObjectDecoder(Row.Type);
    ASSERT_NE(D, nullptr) << Row.Name;
    EXPECT_STREQ(D->Name, Row.Name);
  }
  // Read directly, 54 and 55 create nothing; kinds without a decoder neither.
  for (int T : {54, 55, 9, 43, 60, 61, 62, 63, 70, 71, 499})
    EXPECT_TRUE(DWGEntityDecoder(T) == nullptr && DWGObjectDecoder(T) == nullptr) << T;
}

// ---------------------------------------------------------------- envelope

// An R2000 LINE whose stored data size in bits is ABits (0: the true size).
std::string LineWithBitSize(std::uint32_t ABits) {
  TBitWriter W;
  W.BS(0x13);
  W.RL(ABits);
  W.H(0, 0x20);
  W.BS(0);     // no extended data
  W.B(0);      // no graphics
  W.BB(2);     // model space
  W.BL(0);     // reactors
  W.B(1);      // no links
  W.BS(256);   // colour
  W.BD(1.0);   // linetype scale
  W.BB(0);
  W.BB(0);
  W.BS(0);
  W.RC(29);
  W.B(1);      // z's are zero
  W.RD(1.0);
  W.BB(0);
  W.RD(2.0);
  W.BB(0);
  W.B(1);
  W.B(1);
  W.H(3, 0);   // extension dictionary
  W.H(5, 0);   // layer
  std::string Body = W.Str();
  std::string S;
  S.push_back(static_cast<char>(Body.size() & 0xFF));  // MS size
  S.push_back(static_cast<char>((Body.size() >> 8) & 0x7F));
  S += Body;
  const std::uint16_t C = CRC8(cnstDWGCRCSeed, S.data(), S.size());
  S.push_back(static_cast<char>(C & 0xFF));
  S.push_back(static_cast<char>(C >> 8));
  return S;
}

TEST(DWGObjectEnvelope, DataBitSizeBeyondTheObjectFailsTheObject) {
  const std::string Obj = LineWithBitSize(0x00FFFFFF);
  std::size_t Head = 0;
  for (int Pass = 0; Pass < 2; ++Pass)
    Head = DWGFile("AC1015", {{2, MapBlock({{0x20, static_cast<std::int32_t>(Head)}}) + MapEnd()}}).size();
  const std::string File =
      DWGFile("AC1015", {{2, MapBlock({{0x20, static_cast<std::int32_t>(Head)}}) + MapEnd()}}) + Obj;
  TqdConverterRef C(new TqdDXFConverter(TqdConverterParams{true, {}}));
  const TdwgLoadResult R = LoadDWGFromMemory(File.data(), File.size(), *C.get());
  ASSERT_TRUE(R.Ok) << R.Error;
  bool Named = false;
  for (const std::string& W : R.Warnings) Named |= W.find("data bit size beyond the object") != std::string::npos;
  EXPECT_TRUE(Named) << ::testing::PrintToString(R.Warnings);
}

}  // namespace

// ---------------------------------------------------------------- group writer

// The writer's byte layout is what the binary DXF reader takes: handles as upper-case
// hexadecimal text without leading zeros ("0" for 0), doubles as 8 little-endian bytes.
TEST(DWGGroupWriter, HandlesAndRealsAsTheBinaryReaderTakesThem) {
  TdwgGroupWriter W;
  W.HndAlways(5, 0);
  W.HndAlways(330, 0x2A3F);
  W.HndAlways(5, 0xFFFFFFFFFFFFFFFFull);
  W.Hnd(360, 0);  // nothing for handle 0
  W.Real(10, 1.5);
  const std::string Expected = std::string("\x05\x00" "0\0", 4) + std::string("\x4A\x01" "2A3F\0", 7) +
                               std::string("\x05\x00" "FFFFFFFFFFFFFFFF\0", 19) +
                               std::string("\x0A\x00\x00\x00\x00\x00\x00\x00\xF8\x3F", 10);
  EXPECT_EQ(W.FData, Expected);
}

// ---------------------------------------------------------------- MULTILEADER

// An R2000 multileader with text content: ALeaders leaders of one line of APoints
// points each (the counts are written as given; at most 2 leaders and 4 points follow).
TBitWriter MultiLeader(std::int32_t ALeaders, int APoints, TBitWriter* AHandles) {
  TBitWriter W;
  W.BL(ALeaders);
  for (int L = 0; L < std::min(ALeaders, 2); ++L) {
    W.B(1);  // has last point
    W.B(0);  // no dog-leg
    for (int I = 0; I < 3; ++I) W.BD(10.0 + L);
    W.BL(0);     // breaks
    W.BL(L);     // branch index
    W.BD(2.5);   // dog-leg length
    W.BL(1);     // lines
    W.BL(APoints);
    for (int P = 0; P < std::min(APoints, 4); ++P)
      for (int I = 0; I < 3; ++I) W.BD(P);
    W.BL(0);  // breaks
    W.BL(0);  // line index
  }
  W.BD(1.0);                            // scale
  for (int I = 0; I < 3; ++I) W.BD(0);  // content base
  W.BD(2.5);                            // text height
  W.BD(1.0);                            // arrow size
  W.BD(0.5);                            // landing gap
  for (int I = 0; I < 4; ++I) W.BS(1);  // attachments, angle type, alignment
  W.B(1);                               // text contents
  W.TV("Note");
  W.BD(0); W.BD(0); W.BD(1.0);  // normal
  AHandles->H(5, 0x11);         // text style
  W.BD(5); W.BD(6); W.BD(0);    // location
  W.BD(1.0); W.BD(0); W.BD(0);  // direction
  W.BD(0);                      // rotation
  W.BD(0);                      // width
  W.BD(0);                      // height
  W.BD(1.0);                    // line-spacing factor
  W.BS(1);                      // line-spacing style
  W.BS(7);                      // colour
  W.BS(1);                      // attachment
  W.BS(5);                      // flow
  W.BS(0);                      // background colour
  W.BD(1.0);
  W.BL(0);
  W.B(0); W.B(0);
  W.BS(0);
  W.B(0);
  W.BD(0); W.BD(0);
  W.B(0);
  W.BL(0);  // column sizes
  W.B(0); W.B(0);
  for (int I = 0; I < 9; ++I) W.BD(0);  // plane
  W.B(0);
  AHandles->H(5, 0x22);  // style
  W.BL(0);               // override flags
  W.BS(1);               // straight
  W.BS(256);             // line colour by layer
  AHandles->H(5, 0);     // linetype
  W.BL(-2);              // line weight
  W.B(1); W.B(1);
  W.BD(8);
  AHandles->H(5, 0);  // arrow
  W.BD(4);
  W.BS(2);            // text content
  AHandles->H(5, 0x11);
  W.BS(1); W.BS(1); W.BS(0); W.BS(0);
  W.BS(0);            // text colour by block
  W.B(0);
  AHandles->H(5, 0);  // block
  W.BS(0);
  W.BD(1.0); W.BD(1.0); W.BD(1.0);
  W.BD(0);
  W.BS(0);
  W.B(0);
  W.BL(0);  // arrowheads
  W.BL(0);  // block attributes
  W.B(0);
  W.BS(0); W.BS(0);
  W.BD(1.0);
  return W;
}

TEST(DWGObjectDecoders, MultiLeaderWritesContextLeadersAndLines) {
  const TdwgDecoder* Dec = DWGEntityDecoderByClass("MULTILEADER");
  ASSERT_NE(Dec, nullptr);
  TBitWriter H;
  const TBitWriter D = MultiLeader(2, 3, &H);
  const TRun R = Decode(Dec, 500, D, H);
  ASSERT_FALSE(R.Threw) << R.Why;
  EXPECT_EQ(R.BitsLeft, 0u);
  // Two leaders of one line each, nested inside the context data.
  EXPECT_EQ(CountOf(R.Groups, 300), 1);
  EXPECT_EQ(CountOf(R.Groups, 302), 2);
  EXPECT_EQ(CountOf(R.Groups, 304), 2 + 1);  // two lines and the text
  EXPECT_EQ(CountOf(R.Groups, 305), 2);
  EXPECT_EQ(CountOf(R.Groups, 303), 2);
  EXPECT_EQ(CountOf(R.Groups, 301), 1);
  int Context = -1, Style = -1, Text = -1, Vertices = 0;
  for (std::size_t I = 0; I < R.Groups.size(); ++I) {
    const auto& [C, V] = R.Groups[I];
    if (C == 301) Context = static_cast<int>(I);
    if (C == 340 && V == "22") Style = static_cast<int>(I);
    if (C == 304 && V == "Note") Text = static_cast<int>(I);
    if (C == 10 && Context < 0 && I > 0 && R.Groups[I - 1].first != 291) ++Vertices;
  }
  EXPECT_GT(Text, 0);
  EXPECT_GT(Style, Context) << "the style handle follows the context data";
  EXPECT_LT(Text, Context);
  EXPECT_EQ(Vertices, 2 * 3 + 1);  // the line points and the content base
  std::string Weight;  // the leader's own 171 comes after the context's attachment
  for (const auto& [C, V] : R.Groups)
    if (C == 171) Weight = V;
  EXPECT_EQ(Weight, "-2");
}

TEST(DWGObjectDecoders, MultiLeaderCountsBeyondTheDataAreRefused) {
  const TdwgDecoder* Dec = DWGEntityDecoderByClass("MULTILEADER");
  TBitWriter H1, H2;
  const TRun Leaders = Decode(Dec, 500, MultiLeader(0x7FFFFFF0, 2, &H1), H1);
  EXPECT_TRUE(Leaders.Threw);
  EXPECT_NE(Leaders.Why.find("exceeds"), std::string::npos) << Leaders.Why;
  const TRun Points = Decode(Dec, 500, MultiLeader(1, 0x7FFFFFF0, &H2), H2);
  EXPECT_TRUE(Points.Threw);
}

TEST(DWGObjectDecoders, ProxyGraphicsBecomeChunks) {
  const TdwgDecoder* Dec = DWGEntityDecoder(498);
  ASSERT_NE(Dec, nullptr);
  EXPECT_STREQ(Dec->Name, "ACAD_PROXY_ENTITY");
  // 300 bytes of graphics: a size group and chunks of at most 127 bytes.
  std::string Graphics(300, '\x5A');
  TdwgObj O;
  O.V = acR2000;
  O.G = TdwgBitCursor(Graphics.data(), Graphics.size());
  TdwgGroupWriter W;
  DWGWriteProxyGraphics(O, W);
  const TGroups G = Parse(W.FData);
  EXPECT_EQ(First(G, 92), "300");
  EXPECT_EQ(CountOf(G, 310), 3);
  // Without graphics nothing is written.
  TdwgObj Empty;
  TdwgGroupWriter E;
  DWGWriteProxyGraphics(Empty, E);
  EXPECT_TRUE(E.FData.empty());
}

// ---------------------------------------------------------------- R2018 multi-line attributes

namespace {

void TU(TBitWriter& W, const std::string& S) {
  W.BS(static_cast<int>(S.size()));
  for (unsigned char C : S) W.RS(C);
}

// An ATTRIB of R2018 with all text fields at their defaults, then its attribute type.
TBitWriter MultiLineAttrib(int AType, bool ACutInsideTheMText = false) {
  TBitWriter W;
  W.RC(0xFF);  // data flags: only insertion, height and text follow
  W.RD(1.0);
  W.RD(2.0);
  W.B(1);  // BE default
  W.B(1);  // BT zero
  W.RD(2.5);
  TU(W, "");
  W.RC(0);      // version
  W.RC(AType);  // attribute type
  if (AType > 1) {
    // embedded entity header
    W.BB(0);
    W.BL(0);
    W.B(1);
    W.B(0);
    W.BS(256);  // ENC by layer
    W.BD(1.0);
    W.BB(0);
    W.BB(0);
    W.BB(0);
    W.RC(0);
    W.B(0);
    W.B(0);
    W.B(0);
    W.BS(0);
    W.RC(29);
    // MTEXT fields
    W.BD(5);
    W.BD(6);
    W.BD(0);  // insertion
    W.BD(0);
    W.BD(0);
    W.BD(1);  // extrusion
    W.BD(1);
    W.BD(0);
    W.BD(0);  // x direction
    W.BD(0);
    W.BD(0);
    W.BD(2.5);
    W.BS(1);
    W.BS(5);
    W.BD(0);
    W.BD(0);
    TU(W, "line one\r\nline two");
    if (ACutInsideTheMText) return W;
    W.BS(1);
    W.BD(1.0);
    W.B(0);
    W.BL(0);
    W.B(1);  // column data follows
    W.BS(4);
    W.B(1);
    W.BL(1);
    for (int I = 0; I < 6; ++I) W.BD(0);
    for (int I = 0; I < 4; ++I) W.BD(0);
    W.BS(2);  // column type 2 with heights
    W.BL(2);
    W.BD(0);
    W.BD(0);
    W.B(0);
    W.B(0);
    W.BD(3);
    W.BD(4);
    W.BS(0);  // no annotative data
  }
  TU(W, "TAG");
  W.BS(0);
  W.RC(8);  // preset
  W.B(1);
  return W;
}

}  // namespace

TEST(DWGObjectDecoders, MultiLineAttributeWritesItsEmbeddedMText) {
  const TdwgDecoder* Dec = DWGEntityDecoder(2);
  const TRun Single = Decode(Dec, 2, MultiLineAttrib(1), {}, acR2018);
  ASSERT_FALSE(Single.Threw) << Single.Why;
  EXPECT_EQ(CountOf(Single.Groups, 101), 0);
  EXPECT_EQ(First(Single.Groups, 2), "TAG");

  const TRun Multi = Decode(Dec, 2, MultiLineAttrib(2), {}, acR2018);
  ASSERT_FALSE(Multi.Threw) << Multi.Why;
  // The tag and flags after the MTEXT part are where they belong, and nothing is left.
  EXPECT_EQ(First(Multi.Groups, 2), "TAG");
  EXPECT_EQ(First(Multi.Groups, 70), "8");
  EXPECT_EQ(Multi.BitsLeft, 0u);
  // After the marker come the MTEXT's own groups, its text in the DXF form.
  std::size_t At = 0;
  while (At < Multi.Groups.size() && Multi.Groups[At].first != 101) ++At;
  ASSERT_LT(At, Multi.Groups.size());
  EXPECT_EQ(Multi.Groups[At].second, "Embedded Object");
  TGroups After(Multi.Groups.begin() + static_cast<std::ptrdiff_t>(At), Multi.Groups.end());
  EXPECT_EQ(First(After, 1), "line one\\Pline two");
  EXPECT_EQ(First(After, 10), "5");
  EXPECT_EQ(First(After, 71), "1");

  const TRun Cut = Decode(Dec, 2, MultiLineAttrib(4, true), {}, acR2018);
  EXPECT_TRUE(Cut.Threw);
}

// ---------------------------------------------------------------- VIEWPORT

namespace {

// An R2000 viewport with AFrozen frozen-layer handles announced; AStatus its flags.
TBitWriter Viewport(std::int32_t AFrozen, std::int32_t AStatus) {
  TBitWriter W;
  for (int I = 0; I < 3; ++I) W.BD(I + 1.0);  // centre
  W.BD(4.0);                                   // width
  W.BD(3.0);                                   // height
  for (int I = 0; I < 6; ++I) W.BD(I == 5 ? 1.0 : 0.0);  // view target, direction
  W.BD(0.0);  // twist
  W.BD(8.0);  // view height
  for (int I = 0; I < 4; ++I) W.BD(0.0);  // lens, front, back, snap angle
  for (int I = 0; I < 8; ++I) W.RD(0.0);  // view centre, snap base, snap and grid spacing
  W.BS(100);         // circle zoom
  W.BL(AFrozen);     // frozen layers
  W.BL(AStatus);     // status flags
  W.TV("");          // style sheet
  W.RC(0);           // render mode
  W.B(0);
  W.B(0);
  for (int I = 0; I < 9; ++I) W.BD(0.0);  // UCS origin and axes
  W.BD(0.0);  // elevation
  W.BS(0);    // orthographic type
  return W;
}

}  // namespace

TEST(DWGObjectDecoders, ViewportKeepsItsFrozenLayersAndRefusesCountsBeyondItsHandles) {
  const TdwgDecoder* Dec = DWGEntityDecoder(34);
  TBitWriter H;
  H.H(5, 0x21);  // frozen layers
  H.H(5, 0x22);
  H.H(5, 0x30);  // clip boundary
  H.H(5, 0);     // viewport entity header
  const TRun R = Decode(Dec, 34, Viewport(2, 0x20000), H);
  ASSERT_FALSE(R.Threw) << R.Why;
  EXPECT_EQ(R.BitsLeft, 0u);
  EXPECT_EQ(CountOf(R.Groups, 331), 2);
  EXPECT_EQ(First(R.Groups, 340), "30");  // hex, as DXF writes handles
  EXPECT_EQ(First(R.Groups, 90), std::to_string(0x20000));
  // A count the handle stream cannot hold fails the object instead of looping.
  const TRun Bad = Decode(Dec, 34, Viewport(0x7FFFFFF0, 0), H);
  EXPECT_TRUE(Bad.Threw);
}

// ---------------------------------------------------------------- 3DSOLID

namespace {

// Obfuscates modeller text as files store it.
std::string Obfuscated(std::string S) {
  for (char& Ch : S)
    if (static_cast<unsigned char>(Ch) > 32) Ch = static_cast<char>(159 - static_cast<unsigned char>(Ch));
  return S;
}

}  // namespace

TEST(DWGObjectDecoders, SolidTextIsReadPlainAndABlockBeyondTheDataEndsIt) {
  const TdwgDecoder* Dec = DWGEntityDecoder(38);
  TBitWriter W;
  W.B(0);   // not empty
  W.B(0);
  W.BS(1);  // text
  const std::string A = Obfuscated("400 1 1 0\nbody $-1 #\n"), B = Obfuscated("End-of-ACIS-data\n");
  W.BL(static_cast<std::int32_t>(A.size()));
  W.Bytes(A);
  W.BL(static_cast<std::int32_t>(B.size()));
  W.Bytes(B);
  W.BL(0);
  TRun R = Decode(Dec, 38, W);
  ASSERT_FALSE(R.Threw) << R.Why;
  ASSERT_EQ(CountOf(R.Groups, 1), 3);
  EXPECT_EQ(First(R.Groups, 1), "400 1 1 0");
  // A block size past the object keeps what came before it.
  TBitWriter Bad;
  Bad.B(0);
  Bad.B(0);
  Bad.BS(1);
  Bad.BL(static_cast<std::int32_t>(A.size()));
  Bad.Bytes(A);
  Bad.BL(0x7FFFFFF0);
  R = Decode(Dec, 38, Bad);
  ASSERT_FALSE(R.Threw) << R.Why;
  EXPECT_EQ(CountOf(R.Groups, 1), 2);
  EXPECT_EQ(R.BitsLeft, 0u);
}
