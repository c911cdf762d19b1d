#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include "readers/dxf/DXFTokenizer.h"

namespace {

const std::string cSentinel("AutoCAD Binary DXF\r\n\x1a\0", 22);

// Writes a binary DXF: the sentinel, then groups with 1- or 2-byte codes.
struct TBinWriter {
  int CodeSize;
  std::string S = cSentinel;

  explicit TBinWriter(int ACodeSize) : CodeSize(ACodeSize) {}

  TBinWriter& Code(int C) {
    if (CodeSize == 1 && C >= 255) {
      S += char(255);
      Raw<int16_t>(int16_t(C));
    } else if (CodeSize == 1) {
      S += char(C);
    } else {
      Raw<int16_t>(int16_t(C));
    }
    return *this;
  }
  template <typename T>
  TBinWriter& Raw(T V) {
    char B[sizeof(T)];
    std::memcpy(B, &V, sizeof(T));
    S.append(B, sizeof(T));
    return *this;
  }
  TBinWriter& Str(int C, const std::string& V) {
    Code(C);
    S += V;
    S += '\0';
    return *this;
  }
  TBinWriter& Real(int C, double V) { return Code(C).Raw(V); }
  TBinWriter& I16(int C, int16_t V) { return Code(C).Raw(V); }
  TBinWriter& I32(int C, int32_t V) { return Code(C).Raw(V); }
  TBinWriter& I64(int C, int64_t V) { return Code(C).Raw(V); }
  TBinWriter& Byte(int C, uint8_t V) { return Code(C).Raw(V); }
  TBinWriter& Chunk(int C, const std::string& Bytes) {
    Code(C);
    S += char(Bytes.size());
    S += Bytes;
    return *this;
  }
};

struct TReader {
  std::string Data;
  TdxfFormatInfo Info;
  TdxfBinTokenizer T;
  explicit TReader(const std::string& D)
      : Data(D), Info(DetectDXFFormat(Data.data(), Data.size())),
        T(Data.data(), Data.size(), Info.Start, Info.GroupCodeSize) {}
};

}  // namespace

TEST(DxfBinaryTokenizer, TwoByteCodes) {
  TBinWriter W(2);
  W.Str(0, "SECTION").Str(2, "ENTITIES").Str(0, "LINE").Str(5, "1F").Real(10, 1.25).I16(62, -3).I32(90, 70000).Byte(
      290, 1);
  TReader R(W.S);
  ASSERT_EQ(R.Info.Format, dfBinary);
  ASSERT_EQ(R.Info.GroupCodeSize, 2);
  auto& T = R.T;
  T.Next();
  EXPECT_EQ(T.Code(), 0);
  EXPECT_EQ(T.Value(), "SECTION");
  EXPECT_EQ(T.PrevPos(), 22u);
  T.Next();
  T.Next();
  EXPECT_EQ(T.Value(), "LINE");
  T.Next();
  EXPECT_EQ(T.HandleValue(), 0x1Fu);
  T.Next();
  EXPECT_EQ(T.FloatValue(), 1.25);
  EXPECT_EQ(T.Value(), "1.25");
  T.Next();
  EXPECT_EQ(T.IntValue(), -3);
  T.Next();
  EXPECT_EQ(T.IntValue(), 70000);
  T.Next();
  EXPECT_EQ(T.Code(), 290);
  EXPECT_EQ(T.IntValue(), 1);
  EXPECT_EQ(T.Line(), 16);
  T.Next();
  EXPECT_TRUE(T.AtEnd());
  EXPECT_EQ(T.Value(), "SEQEND");
}

TEST(DxfBinaryTokenizer, OneByteCodesDetectedAfterSentinel) {
  TBinWriter W(1);
  W.Str(0, "SECTION").Str(2, "HEADER").I16(70, 5);
  TReader R(W.S);
  ASSERT_EQ(R.Info.GroupCodeSize, 1);
  R.T.Next();
  EXPECT_EQ(R.T.Value(), "SECTION");
  R.T.Next();
  EXPECT_EQ(R.T.Value(), "HEADER");
  R.T.Next();
  EXPECT_EQ(R.T.Code(), 70);
  EXPECT_EQ(R.T.IntValue(), 5);
}

// With 1-byte codes, 255 escapes a 2-byte code (extended data of R12 files).
TEST(DxfBinaryTokenizer, binary_dxf_code_255_escape) {
  TBinWriter W(1);
  W.Str(0, "LINE").Str(1001, "APP").Str(1000, "text").I16(1070, 7).Real(1040, 2.5).I32(1071, -9).Str(0, "EOF");
  TReader R(W.S);
  auto& T = R.T;
  T.Next();
  T.Next();
  EXPECT_EQ(T.Code(), 1001);
  EXPECT_EQ(T.Value(), "APP");
  T.Next();
  EXPECT_EQ(T.Code(), 1000);
  EXPECT_EQ(T.Value(), "text");
  T.Next();
  EXPECT_EQ(T.IntValue(), 7);
  T.Next();
  EXPECT_EQ(T.FloatValue(), 2.5);
  T.Next();
  EXPECT_EQ(T.IntValue(), -9);
  T.Next();
  EXPECT_TRUE(T.IsEOF());
  EXPECT_FALSE(T.AtEnd());
}

// Codes that text files type but older binary readers rejected.
TEST(DxfBinaryTokenizer, binary_dxf_wide_code_set) {
  TBinWriter W(2);
  W.Str(0, "LINE").Str(410, "Layout1").Str(999, "comment").Str(430, "book").Str(391, "2A").Str(480, "3B").I16(400, 12).I64(
      160, 1234567890123);
  W.Real(240, 0.5).Str(1009, "x").Str(102, "{ACAD_REACTORS");
  TReader R(W.S);
  auto& T = R.T;
  T.Next();
  T.Next();
  EXPECT_EQ(T.Code(), 410);
  EXPECT_EQ(T.Value(), "Layout1");
  T.Next();
  EXPECT_EQ(T.Value(), "comment");
  T.Next();
  EXPECT_EQ(T.Value(), "book");
  T.Next();
  EXPECT_EQ(T.HandleValue(), 0x2Au);
  T.Next();
  EXPECT_EQ(T.Code(), 480);
  EXPECT_EQ(T.HandleValue(), 0x3Bu);
  T.Next();
  EXPECT_EQ(T.IntValue(), 12);
  T.Next();
  EXPECT_EQ(T.Int64Value(), 1234567890123);
  EXPECT_EQ(T.Value(), "1234567890123");
  T.Next();
  EXPECT_EQ(T.FloatValue(), 0.5);
  T.Next();
  EXPECT_EQ(T.Value(), "x");
  T.Next();
  EXPECT_EQ(T.Value(), "{ACAD_REACTORS");
  T.Next();
  EXPECT_TRUE(T.AtEnd());
}

TEST(DxfBinaryTokenizer, ChunkIsUpperCaseHex) {
  TBinWriter W(2);
  W.Str(0, "OLE2FRAME").Chunk(310, std::string("\x00\xAB\x7f", 3)).Chunk(1004, "").Chunk(310, std::string(255, '\xff'));
  TReader R(W.S);
  auto& T = R.T;
  T.Next();
  T.Next();
  EXPECT_EQ(T.Code(), 310);
  EXPECT_EQ(T.Value(), "00AB7F");
  T.Next();
  EXPECT_EQ(T.Code(), 1004);
  EXPECT_EQ(T.Value(), "");
  T.Next();
  EXPECT_EQ(T.Value(), std::string(510, 'F'));
  T.Next();
  EXPECT_TRUE(T.AtEnd());
}

TEST(DxfBinaryTokenizer, IllegalCodeRaisesWithPosition) {
  TBinWriter W(2);
  W.Str(0, "LINE").Code(1200).Str(1, "x");
  TReader R(W.S);
  R.T.Next();
  try {
    R.T.Next();
    FAIL() << "no exception";
  } catch (const EReadError& E) {
    EXPECT_STREQ(E.what(), "Illegal group code 1200 at 0000001d");
    EXPECT_EQ(E.Position(), 29u);
  }
}

TEST(DxfBinaryTokenizer, NonFiniteRealsReadAsZero) {
  TBinWriter W(2);
  W.Str(0, "POINT").Real(10, std::numeric_limits<double>::infinity()).Real(20, -std::numeric_limits<double>::infinity()).Real(
      30, std::nan(""));
  TReader R(W.S);
  R.T.Next();
  for (int I = 0; I < 3; ++I) {
    R.T.Next();
    EXPECT_EQ(R.T.FloatValue(), 0.0) << "group " << I;
  }
}

TEST(DxfBinaryTokenizer, TextOfOtherTypesConverts) {
  TBinWriter W(2);
  W.Str(0, "TEXT").Str(1, "12").I16(70, 3).Real(40, 2.0);
  TReader R(W.S);
  R.T.Next();
  R.T.Next();
  EXPECT_EQ(R.T.IntValue(), 12);
  R.T.Next();
  EXPECT_EQ(R.T.FloatValue(), 3.0);
  EXPECT_EQ(R.T.Value(), "3");
  R.T.Next();
  EXPECT_EQ(R.T.IntValue(), 2);  // "2" is an integer text
}

// ---- truncation: every value width cut by the end of data

struct TCutRow {
  const char* Name;
  int CodeSize;
  std::string Groups;  // after the sentinel; the last group is cut by one byte
};

class DxfBinaryTruncated : public testing::TestWithParam<TCutRow> {};

TEST_P(DxfBinaryTruncated, EndsWithSeqend) {
  const auto& P = GetParam();
  TBinWriter W(P.CodeSize);
  W.Str(0, "LINE");
  std::string Full = W.S + P.Groups;
  // Every cut inside the last group must end the stream cleanly after LINE.
  for (size_t Cut = W.S.size(); Cut < Full.size(); ++Cut) {
    std::string Data = Full.substr(0, Cut);
    // A copy on the heap of exactly the cut size, so that ASan sees over-reads.
    std::unique_ptr<char[]> Buf(new char[Data.size()]);
    std::memcpy(Buf.get(), Data.data(), Data.size());
    TdxfBinTokenizer T(Buf.get(), Data.size(), 22, P.CodeSize);
    T.Next();
    EXPECT_EQ(T.Value(), "LINE");
    T.Next();
    EXPECT_TRUE(T.AtEnd()) << "cut at " << Cut;
    EXPECT_EQ(T.Code(), 0);
    EXPECT_EQ(T.Value(), "SEQEND");
    EXPECT_EQ(T.Pos(), Data.size());
  }
}

std::string Group(int CodeSize, void (*F)(TBinWriter&)) {
  TBinWriter W(CodeSize);
  F(W);
  return W.S.substr(22);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, DxfBinaryTruncated,
    testing::Values(
        TCutRow{"string", 2, Group(2, [](TBinWriter& W) { W.Str(8, "LAYER"); })},
        TCutRow{"handle", 2, Group(2, [](TBinWriter& W) { W.Str(5, "ABC"); })},
        TCutRow{"double", 2, Group(2, [](TBinWriter& W) { W.Real(10, 1.0); })},
        TCutRow{"int16", 2, Group(2, [](TBinWriter& W) { W.I16(70, 1); })},
        TCutRow{"int32", 2, Group(2, [](TBinWriter& W) { W.I32(90, 1); })},
        TCutRow{"int64", 2, Group(2, [](TBinWriter& W) { W.I64(160, 1); })},
        TCutRow{"byte", 2, Group(2, [](TBinWriter& W) { W.Byte(290, 1); })},
        TCutRow{"chunk", 2, Group(2, [](TBinWriter& W) { W.Chunk(310, "abcdef"); })},
        TCutRow{"one_byte_code_double", 1, Group(1, [](TBinWriter& W) { W.Real(10, 1.0); })},
        TCutRow{"escaped_code", 1, Group(1, [](TBinWriter& W) { W.I16(1070, 1); })},
        TCutRow{"escaped_string", 1, Group(1, [](TBinWriter& W) { W.Str(1000, "xd"); })}),
    [](const auto& I) { return std::string(I.param.Name); });

TEST(DxfBinaryTokenizer, MadeBeforeItsData) {
  TBinWriter W(1);
  W.Str(0, "SECTION");
  TdxfBinTokenizer T(1);
  T.Next();
  EXPECT_TRUE(T.AtEnd());
  T.Reset(W.S.data(), W.S.size(), 22);
  T.Next();
  EXPECT_EQ(T.Value(), "SECTION");
  EXPECT_EQ(T.GroupCodeSize(), 1);
}

TEST(DxfBinaryTokenizer, StringsAreCappedInLength) {
  for (const bool Over : {false, true}) {
    TBinWriter W(2);
    W.Str(0, "TEXT").Str(1, std::string(cnstMaxDXFLine + (Over ? 1 : 0), 'x')).Str(0, "EOF");
    TReader R(W.S);
    try {
      R.T.Next();
      R.T.Next();
      EXPECT_FALSE(Over) << "no exception";
      EXPECT_EQ(R.T.Value().size(), cnstMaxDXFLine);
    } catch (const EReadError& E) {
      EXPECT_TRUE(Over) << E.what();
      EXPECT_EQ(E.Position(), 31u);  // after the sentinel, the first group and the code
    }
  }
}
