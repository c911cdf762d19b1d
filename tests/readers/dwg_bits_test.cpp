// The DWG bit stream primitives, byte by byte: codes, edge values, and what a read
// past the end of its stream does (0, a sticky overflow flag, no access beyond).
#include <gtest/gtest.h>

#include <cmath>
#include <deque>
#include <functional>
#include <limits>

#include "dwg_test_util.h"
#include "readers/dwg/qdDWGBits.h"

namespace {

// Keeps its bytes for the rest of the run, so that rows may pass temporaries.
TdwgBitCursor Cursor(const std::vector<std::uint8_t>& V, TqdDWGVersion Ver = acR2000) {
  static std::deque<std::vector<std::uint8_t>> Kept;
  Kept.push_back(V);
  return TdwgBitCursor(Kept.back().data(), Kept.back().size(), Ver);
}

// ---------------------------------------------------------------- numbers

struct TIntRow {
  const char* Name;
  std::vector<std::uint8_t> Data;
  std::function<std::int64_t(TdwgBitCursor&)> Read;
  std::int64_t Expected;
  std::uint64_t BitsUsed;
  bool Overflow = false;
};

class DWGIntPrimitives : public ::testing::TestWithParam<TIntRow> {};

TEST_P(DWGIntPrimitives, ReadsValueAndBits) {
  const TIntRow& R = GetParam();
  TdwgBitCursor C = Cursor(R.Data);
  EXPECT_EQ(R.Read(C), R.Expected);
  EXPECT_EQ(C.Position(), R.BitsUsed);
  EXPECT_EQ(C.Overflow(), R.Overflow);
}

std::vector<TIntRow> IntRows() {
  auto BS = [](TdwgBitCursor& C) -> std::int64_t { return C.ReadBS(); };
  auto BL = [](TdwgBitCursor& C) -> std::int64_t { return C.ReadBL(); };
  auto RC = [](TdwgBitCursor& C) -> std::int64_t { return C.ReadRC(); };
  auto RS = [](TdwgBitCursor& C) -> std::int64_t { return C.ReadRS(); };
  auto RL = [](TdwgBitCursor& C) -> std::int64_t { return C.ReadRL(); };
  auto MS = [](TdwgBitCursor& C) -> std::int64_t { return C.ReadMS(); };
  auto MC = [](TdwgBitCursor& C) -> std::int64_t { return C.ReadMC(); };
  auto UMC = [](TdwgBitCursor& C) -> std::int64_t { return static_cast<std::int64_t>(C.ReadUMC()); };
  auto BLL = [](TdwgBitCursor& C) -> std::int64_t { return static_cast<std::int64_t>(C.ReadBLL()); };
  auto OffsetRC = [](TdwgBitCursor& C) -> std::int64_t {
    C.Skip(3);
    return C.ReadRC();
  };
  auto OffsetRS = [](TdwgBitCursor& C) -> std::int64_t {
    C.Skip(5);
    return C.ReadRS();
  };
  std::vector<TIntRow> R = {
      {"bs_code0_rs", Bytes({0x00, 0x00, 0x40}), BS, 0x0100, 18},       // 00, RS 0x0100 (bytes 00 01)
      {"bs_code1_rc", Bytes({0x7F, 0xC0}), BS, 0xFF, 10},               // 01, RC 0xFF
      {"bs_code2_zero", Bytes({0x80}), BS, 0, 2},                       // 10
      {"bs_code3_256_no_payload", Bytes({0xC0}), BS, 256, 2},           // 11
      {"bl_code3_zero", Bytes({0xC0}), BL, 0, 2},
      {"bl_code1_rc", Bytes({0x41, 0x40}), BL, 5, 10},
      {"bl_code0_rl", Bytes({0x00, 0x00, 0x00, 0x00, 0x40}), BL, 0x01000000, 34},
      {"rc_unaligned", Bytes({0x1F, 0xE0}), OffsetRC, 0xFF, 11},
      {"rs_unaligned_negative", Bytes({0x07, 0xFF, 0xF8}), OffsetRS, -1, 21},
      {"rl_little_endian", Bytes({0x78, 0x56, 0x34, 0x12}), RL, 0x12345678, 32},
      {"rc_past_end", Bytes({}), RC, 0, 0, true},
      {"rs_half_there", Bytes({0x12}), RS, 0, 8, true},
      {"bs_payload_missing", Bytes({0x00}), BS, 0, 8, true},
      {"ms_one_word", Bytes({0xFF, 0x7F}), MS, 32767, 16},
      {"ms_two_words", Bytes({0xFF, 0xFF, 0x01, 0x00}), MS, 65535, 32},
      {"ms_endless_words_stop", Bytes({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}), MS, 0, 64, true},
      {"ms_past_end", Bytes({0xFF, 0xFF}), MS, 0, 16, true},
      {"mc_negative_one", Bytes({0x41}), MC, -1, 8},
      {"mc_two_bytes", Bytes({0x81, 0x01}), MC, 129, 16},
      {"mc_five_bytes_no_shift_overflow", Bytes({0xFF, 0xFF, 0xFF, 0xFF, 0x3F}), MC, -1, 40},
      {"mc_endless_stop", Bytes({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}), MC, 0, 40, true},
      {"umc_two_bytes", Bytes({0x81, 0x01}), UMC, 129, 16},
      {"umc_ten_bytes", Bytes({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x01}), UMC, -1, 80},
      {"umc_endless_stop", std::vector<std::uint8_t>(16, 0xFF), UMC, 0, 80, true},
      {"bll_two_bytes", Bytes({0x40, 0x20, 0x40}), BLL, 0x0201, 19},  // 010, then 0x01 0x02
  };
  return R;
}

INSTANTIATE_TEST_SUITE_P(Rows, DWGIntPrimitives, ::testing::ValuesIn(IntRows()),
                         [](const auto& I) { return std::string(I.param.Name); });

// ---------------------------------------------------------------- doubles

std::vector<std::uint8_t> BDBits(double D) {
  TBitWriter W;
  W.BB(0);
  W.RD(D);
  return W.Data();
}

TEST(DWGDoubles, BDCodesAndAbsurdValues) {
  struct Row {
    const char* Name;
    std::vector<std::uint8_t> Data;
    double Expected;
  } Rows[] = {
      {"code1_one", Bytes({0x40}), 1.0},
      {"code2_zero", Bytes({0x80}), 0.0},
      {"code3_zero", Bytes({0xC0}), 0.0},
      {"nan_reads_zero", BDBits(std::numeric_limits<double>::quiet_NaN()), 0.0},
      {"1e102_reads_zero", BDBits(1E102), 0.0},
      {"minus_1e101_stays", BDBits(-1E101), -1E101},
      {"plain", BDBits(2.5), 2.5},
  };
  for (const Row& R : Rows) {
    TdwgBitCursor C = Cursor(R.Data);
    EXPECT_EQ(C.ReadBD(), R.Expected) << R.Name;
    EXPECT_TRUE(C.Ok()) << R.Name;
  }
  // Codes 1 to 3 consume no payload: the next field follows at once.
  TdwgBitCursor C = Cursor(Bytes({0x5F}));  // 01, then BB 01 -> 1.0, 1.0
  EXPECT_EQ(C.ReadBD(), 1.0);
  EXPECT_EQ(C.Position(), 2u);
}

TEST(DWGDoubles, DDReplacesBytesInReadingOrder) {
  // Code 2 over 1.0 (3FF0 0000 0000 0000): RS 0x1234 into bytes 5 and 6, then RL.
  TBitWriter W;
  W.BB(2);
  W.RS(0x1234);
  W.RL(0x89ABCDEF);
  TdwgBitCursor C = Cursor(W.Data());
  const double D = C.ReadDD(1.0);
  std::uint64_t U;
  std::memcpy(&U, &D, 8);
  EXPECT_EQ(U, 0x3FF0123489ABCDEFull);
  TBitWriter W0;
  W0.BB(0);
  TdwgBitCursor C0 = Cursor(W0.Data());
  EXPECT_EQ(C0.ReadDD(7.5), 7.5);
}

TEST(DWGDoubles, ThicknessAndExtrusionByRelease) {
  TdwgBitCursor C = Cursor(Bytes({0x80}), acR2000);  // B 1
  EXPECT_EQ(C.ReadBT(), 0.0);
  EXPECT_EQ(C.Position(), 1u);
  TdwgBitCursor E = Cursor(Bytes({0x80}), acR2000);
  EXPECT_EQ(E.ReadBE(), (TFPoint{0, 0, 1}));
  TdwgBitCursor R14 = Cursor(Bytes({0x40}), acR14);  // BD code 1
  EXPECT_EQ(R14.ReadBT(), 1.0);
}

// ---------------------------------------------------------------- handles

TEST(DWGHandles, CodesAgainstTheReference) {
  struct Row {
    const char* Name;
    std::vector<std::uint8_t> Data;
    std::uint64_t Expected;
  } Rows[] = {
      {"code6_plus_one", Bytes({0x60}), 0x30},
      {"code8_minus_one_ignores_offset", Bytes({0x81, 0x05}), 0x2E},
      {"codeC_minus_offset", Bytes({0xC1, 0x05}), 0x2A},
      {"codeA_plus_offset", Bytes({0xA1, 0x05}), 0x34},
      {"code5_absolute_msb_first", Bytes({0x52, 0x01, 0x00}), 0x100},
  };
  for (const Row& R : Rows) {
    TdwgBitCursor C = Cursor(R.Data);
    int Code = -1;
    EXPECT_EQ(C.ReadH(0x2F, &Code), R.Expected) << R.Name;
    EXPECT_EQ(Code, R.Data[0] >> 4) << R.Name;
    EXPECT_TRUE(C.Ok()) << R.Name;
  }
}

TEST(DWGHandles, CountBeyondTheStreamOverflows) {
  TdwgBitCursor C = Cursor(Bytes({0x5F, 0x01}));  // 15 bytes announced, 1 there
  EXPECT_EQ(C.ReadH(0), 0u);
  EXPECT_TRUE(C.Overflow());
}

// ---------------------------------------------------------------- cursor limits

TEST(DWGCursor, OverflowIsStickyAndStopsAtTheEnd) {
  const auto D = Bytes({0xAB, 0xCD});
  TdwgBitCursor C = Cursor(D);
  EXPECT_EQ(C.ReadRL(), 0u);
  EXPECT_TRUE(C.Overflow());
  EXPECT_EQ(C.Position(), 16u);
  C.SetPosition(0);
  EXPECT_EQ(C.ReadRC(), 0xAB);  // reads work again, the flag stays
  EXPECT_TRUE(C.Overflow());
}

TEST(DWGCursor, SubCursorHasItsOwnLimits) {
  const auto D = Bytes({0x11, 0x22, 0x33, 0x44});
  TdwgBitCursor C = Cursor(D);
  TdwgBitCursor S = C.Sub(8, 24);
  EXPECT_EQ(S.ReadRC(), 0x22);
  EXPECT_EQ(S.ReadRC(), 0x33);
  EXPECT_EQ(S.ReadRC(), 0);
  EXPECT_TRUE(S.Overflow());
  EXPECT_FALSE(C.Overflow());
  // A range beyond the parent is clamped to it.
  TdwgBitCursor Far = C.Sub(100, 1000);
  EXPECT_EQ(Far.BitsLeft(), 0u);
  EXPECT_EQ(C.Sub(16, 1000).End(), 32u);
}

TEST(DWGCursor, ReadBytesChecksTheCountFirst) {
  const auto D = Bytes({1, 2, 3, 4, 5});
  TdwgBitCursor C = Cursor(D);
  EXPECT_TRUE(C.ReadBytes(1ull << 40).empty());  // no allocation of a terabyte
  EXPECT_TRUE(C.Overflow());
  TdwgBitCursor U = Cursor(D);
  U.Skip(4);
  EXPECT_EQ(U.ReadBytes(3), std::string("\x10\x20\x30", 3));
}

TEST(DWGCursor, LastBytesReadWithoutTouchingBeyond) {
  // An exact-size heap copy: AddressSanitizer sees any read past it.
  std::unique_ptr<std::uint8_t[]> P(new std::uint8_t[3]{0x12, 0x34, 0x56});
  TdwgBitCursor C(P.get(), 3);
  C.Skip(7);
  EXPECT_EQ(C.ReadRC(), 0x1A);
  EXPECT_EQ(C.ReadBits(9), 0x056u);
  EXPECT_TRUE(C.Ok());
}

TEST(DWGCursor, SkipTemplateMatchesFieldByFieldReads) {
  TBitWriter W;
  W.B(1);
  W.BS(300);
  W.BL(7);
  W.BD(2.25);
  W.RD(1.5);
  W.RD(2.5);  // 2RD
  W.RS(9);
  W.RC(3);
  W.BS(5);
  W.BB(1);
  W.RC(0xEE);  // BS + BB 1 + RC
  W.Bits(2, 3);
  W.RC(1);
  W.RC(2);  // BLL of 2 bytes
  W.RC(0x5A);
  TdwgBitCursor C = Cursor(W.Data());
  static constexpr std::uint8_t T[] = {skB, skBS, skBL, skBD, sk2RD, skRS, skRC, skBSBB, skBLL};
  C.SkipFields(T);
  EXPECT_EQ(C.ReadRC(), 0x5A);
  EXPECT_TRUE(C.Ok());
}

// ---------------------------------------------------------------- strings

TEST(DWGStrings, LengthsCharactersAndNUL) {
  struct Row {
    const char* Name;
    std::function<void(TBitWriter&)> Write;
    std::string Expected;
    bool Overflow;
  } Rows[] = {
      {"plain", [](TBitWriter& W) { W.TV("ABC"); }, "ABC", false},
      {"trailing_nul_dropped", [](TBitWriter& W) { W.TV(std::string("AB\0", 3)); }, "AB", false},
      {"empty", [](TBitWriter& W) { W.BS(0); }, "", false},
      {"negative_rs_length", [](TBitWriter& W) { W.BS(-5); }, "", false},
      {"length_beyond_stream_clamped",
       [](TBitWriter& W) {
         W.BS(1000);
         W.Bytes("XYZ");
       },
       "XYZ", true},
      {"code_page_1252", [](TBitWriter& W) { W.TV("\xE9t\xE9"); }, "\xC3\xA9t\xC3\xA9", false},
  };
  for (const Row& R : Rows) {
    TBitWriter W;
    R.Write(W);
    TdwgBitCursor C = Cursor(W.Data());
    TdwgAnsiStringReader S(&C, 1252);
    EXPECT_EQ(S.ReadT(), R.Expected) << R.Name;
    EXPECT_EQ(C.Overflow(), R.Overflow) << R.Name;
  }
}

TEST(DWGStrings, WideStringsAndTheirLimits) {
  TBitWriter W;
  W.BS(3);
  W.RS('H');
  W.RS(0x00E9);
  W.RS(0);
  TdwgBitCursor C = Cursor(W.Data());
  TdwgWideStringReader S(&C, 0);
  EXPECT_EQ(S.ReadT(), "H\xC3\xA9");
  TBitWriter Long;
  Long.BS(30000);  // 60000 bytes announced
  Long.RS('A');
  TdwgBitCursor L = Cursor(Long.Data());
  TdwgWideStringReader SL(&L, 0);
  EXPECT_EQ(SL.ReadT(), "A");
  EXPECT_TRUE(L.Overflow());
}

TEST(DWGStrings, ParseReaderDecodesEscapes) {
  TBitWriter W;
  W.TV("x\\U+0041y\\U+00");
  TdwgBitCursor C = Cursor(W.Data());
  TdwgAnsiStringReaderParse P(&C, 1252);
  EXPECT_EQ(P.ReadT(), "xAy");
}

TEST(DWGStrings, ExtendedDataFormWithCodePageIndex) {
  TBitWriter W;
  W.RS(2);
  W.RC(29);  // 1251
  W.Bytes("\xC4\xE0");
  TdwgBitCursor C = Cursor(W.Data());
  TdwgAnsiStringReader S(&C, 1252);
  EXPECT_EQ(S.ReadTRS(), "\xD0\x94\xD0\xB0");  // "Да"
}

TEST(DWGStrings, StringStreamLocator) {
  // Data of 64 bits, then a 16-bit stream, its RS size and the end bit.
  auto Make = [](int EndBit, int Size, int DataBits) {
    TBitWriter W;
    W.Bits(0, DataBits);
    W.Bits(0xAAAA, 16);  // the stream
    W.RS(Size);
    W.B(EndBit);
    return W;
  };
  {
    TBitWriter W = Make(1, 16, 64);
    TdwgBitCursor C = Cursor(W.Data());
    const std::uint64_t E = W.BitCount();
    const TdwgStringStream S = LocateStringStream(C, 0, E);
    ASSERT_TRUE(S.Present);
    EXPECT_EQ(S.Begin, 64u);
    EXPECT_EQ(S.End, 80u);
  }
  {
    TBitWriter W = Make(0, 16, 64);
    TdwgBitCursor C = Cursor(W.Data());
    EXPECT_FALSE(LocateStringStream(C, 0, W.BitCount()).Present) << "end bit 0: no strings";
  }
  {
    TBitWriter W = Make(1, 5000, 64);  // larger than the object
    TdwgBitCursor C = Cursor(W.Data());
    EXPECT_FALSE(LocateStringStream(C, 0, W.BitCount()).Present);
  }
  {
    const auto D = Bytes({0xFF, 0xFF});
    TdwgBitCursor C = Cursor(D);
    EXPECT_FALSE(LocateStringStream(C, 4, 16).Present) << "too small for the size fields";
  }
}

// ---------------------------------------------------------------- colours, tables

TEST(DWGColors, TrueColorByHighByte) {
  const TqdColorCAD RGB = TrueColorFromBL(0xC2FF8000);
  EXPECT_EQ(RGB.Active, acRGBColor);
  EXPECT_EQ(GetRValue(RGB.Color), 0xFF);
  EXPECT_EQ(GetGValue(RGB.Color), 0x80);
  EXPECT_EQ(GetBValue(RGB.Color), 0x00);
  EXPECT_EQ(TrueColorFromBL(0xC3000005).IndexValue(), 5);
  EXPECT_EQ(TrueColorFromBL(0xC1000000).IndexValue(), 0);
  EXPECT_EQ(TrueColorFromBL(0xC0000000).IndexValue(), 256);
}

TEST(DWGColors, IndexAndR2004Forms) {
  TBitWriter W;
  W.BS(0x1FF | 0x200);
  TdwgBitCursor C = Cursor(W.Data());
  EXPECT_EQ(TdwgIndexColorReader().ReadColor(C, nullptr).IndexValue(), 0x1FF);
  TBitWriter R;
  R.BS(0);
  R.BL(static_cast<std::int32_t>(0xC2102030u));
  R.RC(1);
  R.TV("Red");
  TdwgBitCursor RC = Cursor(R.Data(), acR2004);
  TdwgAnsiStringReader S(&RC, 0);
  const TqdColorCAD Col = TdwgR18ColorReader().ReadColor(RC, &S);
  EXPECT_EQ(Col.Active, acRGBColor);
  EXPECT_EQ(Col.AlbumString, "Red");
  EXPECT_TRUE(RC.Ok());
}

TEST(DWGTables, LineweightsAndCodePages) {
  EXPECT_DOUBLE_EQ(LineWeightByIndex(0), 0.0);
  EXPECT_DOUBLE_EQ(LineWeightByIndex(5), 0.18);
  EXPECT_DOUBLE_EQ(LineWeightByIndex(23), 2.11);
  EXPECT_EQ(LineWeightByIndex(24), -1);
  EXPECT_EQ(LineWeightByIndex(30), -2);
  EXPECT_EQ(LineWeightByIndex(31), -3);
  EXPECT_EQ(LineWeightByIndex(40), -1);
  EXPECT_EQ(DWGCodePages(30), 1252);
  EXPECT_EQ(DWGCodePages(43), 1200);
  EXPECT_EQ(DWGCodePages(31), 0);
  EXPECT_EQ(DWGCodePages(61), 0);
}

// ---------------------------------------------------------------- dates, checksums

TEST(DWGDates, CalendarLimits) {
  std::int64_t T = -7;
  EXPECT_TRUE(HeaderJulianToUnix(2440588, 0, T));
  EXPECT_EQ(T, 3 * 3600);  // noon of the Julian day less nine hours
  T = -7;
  EXPECT_FALSE(HeaderJulianToUnix(-1, 0, T));
  EXPECT_FALSE(HeaderJulianToUnix(cnstDWGMaxJulianDay + 1, 0, T));
  EXPECT_FALSE(HeaderJulianToUnix(2440588, cnstMsPerDay, T));
  EXPECT_EQ(T, -7);
  EXPECT_EQ(JulianDateIntToUnix(2440588, 1000), 4 * 3600 + 1);
  EXPECT_EQ(JulianDateIntToUnix(0x7FFFFFFF, 0), 0);
  EXPECT_EQ(JulianDateIntToUnix(2440588, -5), 0);
}

TEST(DWGChecksums, KnownValues) {
  EXPECT_EQ(CRC8(0, "123456789", 9), 0xBB3D);  // CRC-16/ARC check value
  EXPECT_EQ(CRC32(0, "123456789", 9), 0xCBF43926u);
  EXPECT_EQ(CRC8(cnstDWGCRCSeed, "", 0), cnstDWGCRCSeed);
}

// The checksums take eight bytes a step: every length and alignment, and a checksum
// carried over split buffers, must agree with the plain byte-at-a-time definition.
TEST(DWGChecksums, WordStepsMatchBytewise) {
  std::vector<std::uint8_t> Data(300);
  std::uint32_t X = 12345;
  for (auto& B : Data) B = static_cast<std::uint8_t>((X = X * 1103515245u + 12345u) >> 16);
  const auto Ref16 = [](std::uint16_t C, const std::uint8_t* P, std::size_t N) {
    for (std::size_t I = 0; I < N; ++I) {
      C ^= P[I];
      for (int K = 0; K < 8; ++K) C = static_cast<std::uint16_t>((C & 1) ? (C >> 1) ^ 0xA001u : C >> 1);
    }
    return C;
  };
  const auto Ref32 = [](std::uint32_t C, const std::uint8_t* P, std::size_t N) {
    C = ~C;
    for (std::size_t I = 0; I < N; ++I) {
      C ^= P[I];
      for (int K = 0; K < 8; ++K) C = (C & 1) ? (C >> 1) ^ 0xEDB88320u : C >> 1;
    }
    return ~C;
  };
  for (std::size_t Off = 0; Off < 8; ++Off)
    for (std::size_t N = 0; N + Off <= Data.size(); N += (N < 40 ? 1 : 37)) {
      EXPECT_EQ(CRC8(cnstDWGCRCSeed, Data.data() + Off, N), Ref16(cnstDWGCRCSeed, Data.data() + Off, N)) << Off << " " << N;
      EXPECT_EQ(CRC32(0x1234, Data.data() + Off, N), Ref32(0x1234, Data.data() + Off, N)) << Off << " " << N;
    }
  const std::uint16_t Head = CRC8(cnstDWGCRCSeed, Data.data(), 13);
  EXPECT_EQ(CRC8(Head, Data.data() + 13, 200), CRC8(cnstDWGCRCSeed, Data.data(), 213));
}

// ---------------------------------------------------------------- TqdDWGBits

std::string ObjectData(const std::string& Body, int SizeDelta = 0, bool GoodCRC = true) {
  std::string S;
  const std::size_t Size = Body.size() + static_cast<std::size_t>(SizeDelta);
  S.push_back(static_cast<char>(Size & 0xFF));
  S.push_back(static_cast<char>((Size >> 8) & 0x7F));
  S += Body;
  const std::uint16_t C = CRC8(cnstDWGCRCSeed, S.data(), S.size());
  S.push_back(static_cast<char>(GoodCRC ? C & 0xFF : ~C & 0xFF));
  S.push_back(static_cast<char>(C >> 8));
  return S;
}

TEST(DWGBitsClass, ObjectDataSizeAndCRC) {
  const std::string Good = ObjectData("\x40\x41\x42");
  TqdDWGBits B(0, true);
  B.CreateFromDWGObjectData(Good.data(), Good.size());
  EXPECT_EQ(B.ReadRC(), 0x40);
  EXPECT_EQ(B.GetSize(), Good.size());

  const std::string Long = ObjectData("\x40", 200);  // claims 201 bytes
  TqdDWGBits L(0, true);
  EXPECT_THROW(
      {
        try {
          L.CreateFromDWGObjectData(Long.data(), Long.size());
        } catch (const EDWGBitsError& E) {
          EXPECT_STREQ(E.what(), "CRC does not match");
          throw;
        }
      },
      EDWGBitsError);
  const std::string Bad = ObjectData("\x40\x41", 0, false);
  TqdDWGBits X(0, true);
  EXPECT_THROW(X.CreateFromDWGObjectData(Bad.data(), Bad.size()), EDWGBitsError);
}

TEST(DWGBitsClass, SentinelsAndVersions) {
  const std::string M = "..BEGIN\x41\x42\x43" "END..";
  TqdDWGBits B(0, true);
  B.CreateFromMemoryAndSentinel(M.data(), M.size(), "BEGIN", "END");
  EXPECT_EQ(B.ReadRC(), 0x41);
  EXPECT_EQ(B.ReadRC(), 0x42);
  EXPECT_EQ(B.ReadRC(), 0x43);
  EXPECT_EQ(B.ReadRC(), 0);
  EXPECT_TRUE(B.Bits().Overflow());
  TqdDWGBits N(0, true);
  EXPECT_THROW(N.CreateFromMemoryAndSentinel(M.data(), M.size(), "NOPE", ""), EDWGBitsError);
  EXPECT_THROW(N.CreateFromMemoryAndSentinel(M.data(), M.size(), "BEGIN", "NOPE"), EDWGBitsError);
  EXPECT_EQ(CreateDWGBits(acR2018, 0), nullptr);
  ASSERT_NE(CreateDWGBits(acR2007, 0), nullptr);
  EXPECT_EQ(CreateDWGBits(acR2007, 0)->GetVersion(), acR2004);
  // UTF-16 summary texts from R2007 on.
  TBitWriter W;
  W.RS(2);
  W.RS('O');
  W.RS('K');
  const auto D = W.Data();
  auto B7 = CreateDWGBits(acR2007, 0);
  B7->CreateFromMemory(D.data(), D.size());
  EXPECT_EQ(B7->ReadSummaryInfoText(0), "OK");
  // A summary date outside the calendar keeps a zero date.
  TBitWriter J;
  J.RL(0xFFFFFFFF);
  J.RL(0);
  const auto JD = J.Data();
  TqdDWGBits JB(0, true);
  JB.CreateFromMemory(JD.data(), JD.size());
  EXPECT_EQ(JB.ReadJulianDateIntAsDateTime(), 0);
}

} // namespace
