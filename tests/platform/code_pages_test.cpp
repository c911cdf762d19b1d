#include <gtest/gtest.h>

#include <string>

#include "qdCodePages.h"

// ---- conversion to UTF-8

struct TConvRow {
  const char* Name;
  int CodePage;
  std::string Bytes;
  std::string Utf8;
};

class CodePageConversion : public testing::TestWithParam<TConvRow> {};

TEST_P(CodePageConversion, ToUtf8) {
  const auto& R = GetParam();
  EXPECT_EQ(CodePageToUTF8(R.CodePage, R.Bytes), R.Utf8);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, CodePageConversion,
    testing::Values(
        TConvRow{"ascii_any_page", 1251, "Layer 0", "Layer 0"},
        TConvRow{"cp1251_cyrillic", 1251, "\xCF\xF0\xE8\xE2\xE5\xF2", "Привет"},
        TConvRow{"cp1252_system_default", 0, "Stra\xDF" "e \x80", "Straße €"},
        TConvRow{"cp1252_hole_is_replaced", 1252, "a\x81z", "a\xEF\xBF\xBDz"},
        TConvRow{"cp932_kanji", 932, "\x93\xFA\x96\x7B", "日本"},
        TConvRow{"cp932_backslash_stays", 932, "a\\b", "a\\b"},
        TConvRow{"cp932_cut_lead_byte", 932, "A\x93", "A\xEF\xBF\xBD"},
        TConvRow{"cp932_bad_trail_byte", 932, "\x81\x20" "B", "\xEF\xBF\xBD B"},
        TConvRow{"cp936_gbk", 936, "\xD6\xD0\xCE\xC4", "中文"},
        TConvRow{"cp949_korean", 949, "\xC7\xD1\xB1\xDB", "한글"},
        TConvRow{"cp950_big5", 950, "\xA4\xA4\xA4\xE5", "中文"},
        TConvRow{"johab_backslash_is_won", 1361, "\\", "₩"},
        TConvRow{"utf16le", 1200, std::string("A\0\x16\x04", 4), "AЖ"},
        TConvRow{"utf16le_odd_byte", 1200, std::string("A\0B", 3), "A\xEF\xBF\xBD"},
        TConvRow{"ascii_page_high_byte", 20127, "a\xE9", "a\xEF\xBF\xBD"},
        TConvRow{"iso8859_5", 28595, "\xB0", "А"},
        TConvRow{"mac_roman", 10000, "\x8A", "ä"},
        // CP1258 holds a base letter back waiting for a combining mark: the
        // last letter only comes out when the converter is flushed.
        TConvRow{"cp1258_flush_last_letter", 1258, "\xE0", "à"},
        TConvRow{"cp1258_combining_mark", 1258, "a\xEC", "á"},
        TConvRow{"unknown_page_reads_as_1252", 77777, "\xE9", "é"}),
    [](const auto& I) { return std::string(I.param.Name); });

TEST(CodePages, ConverterIsReusedAfterBadInput) {
  // A cached converter must not carry state from one string into the next.
  EXPECT_EQ(CodePageToUTF8(932, "\x93"), "\xEF\xBF\xBD");
  EXPECT_EQ(CodePageToUTF8(932, "\x96\x7B"), "本");
  EXPECT_EQ(CodePageToUTF8(1258, "a"), "a");
  EXPECT_EQ(CodePageToUTF8(1258, "\xE0" "b"), "àb");
}

TEST(CodePages, EffectivePage) {
  EXPECT_EQ(EffectiveCodePage(0), 1252);
  EXPECT_EQ(EffectiveCodePage(932), 932);
  EXPECT_EQ(EffectiveCodePage(-5), 1252);
  EXPECT_TRUE(IsCodePageSupported(1361));
  EXPECT_FALSE(IsCodePageSupported(0));
}

TEST(CodePages, SanitizeUtf8) {
  EXPECT_EQ(SanitizeUTF8("plain"), "plain");
  EXPECT_EQ(SanitizeUTF8("日本"), "日本");
  EXPECT_EQ(SanitizeUTF8("a\xC3"), "a\xEF\xBF\xBD");           // cut sequence
  EXPECT_EQ(SanitizeUTF8("\xC0\xAF"), "\xEF\xBF\xBD\xEF\xBF\xBD");  // overlong
  EXPECT_EQ(SanitizeUTF8("\xED\xA0\x80"), "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD");  // surrogate
}

// ---- DecodeCharEscapes

struct TEscRow {
  const char* Name;
  std::string In;
  std::string Out;
};

class CharEscapes : public testing::TestWithParam<TEscRow> {};

TEST_P(CharEscapes, Decode) {
  const auto& R = GetParam();
  EXPECT_EQ(DecodeCharEscapes(R.In, 1252), R.Out);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, CharEscapes,
    testing::Values(
        TEscRow{"no_escape", "abc", "abc"},
        TEscRow{"unicode_escape", "\\U+00B0C", "°C"},
        TEscRow{"unicode_lower_hex", "\\U+00e9", "é"},
        TEscRow{"two_in_a_row", "\\U+041F\\U+0440", "Пр"},
        TEscRow{"surrogate_pair", "\\U+D83D\\U+DE00", "😀"},
        TEscRow{"lone_surrogate", "\\U+D83Dx", "\xEF\xBF\xBDx"},
        TEscRow{"short_unicode_drops_marker_and_digits", "a\\U+12z", "az"},
        TEscRow{"short_unicode_at_end", "a\\U+", "a"},
        TEscRow{"nul_unit_dropped", "a\\U+0000b", "ab"},
        TEscRow{"mbcs_932", "\\M+193FA", "日"},
        TEscRow{"mbcs_950", "\\M+2A4A4", "中"},
        TEscRow{"mbcs_949", "\\M+3C7D1", "한"},
        TEscRow{"mbcs_936", "\\M+5D6D0", "中"},
        TEscRow{"mbcs_default_page", "\\M+900E9", "é"},
        TEscRow{"short_mbcs", "x\\M+193Fy", "xy"},
        TEscRow{"other_backslash_kept", "\\P\\U", "\\P\\U"},
        TEscRow{"lowercase_marker_kept", "\\u+0041", "\\u+0041"}),
    [](const auto& I) { return std::string(I.param.Name); });

TEST(CodePages, DoubleByteHelper) {
  EXPECT_EQ(DoubleByteCharToUTF8(932, 0x93, 0xFA), "日");
  EXPECT_EQ(DoubleByteCharToUTF8(932, 0xFF, 0xFF), "\xEF\xBF\xBD\xEF\xBF\xBD");
  EXPECT_EQ(DoubleByteCharToUTF8(1252, 0, 'A'), "A");
}

TEST(CodePages, AppendUtf8) {
  std::string S;
  AppendUTF8(S, U'A');
  AppendUTF8(S, U'é');
  AppendUTF8(S, 0x20AC);
  AppendUTF8(S, 0x1F600);
  AppendUTF8(S, 0x110000);
  EXPECT_EQ(S, "Aé€😀\xEF\xBF\xBD");
}

TEST(CodePages, ManyPageNumbersStayBounded) {
  // Page numbers come from files; unknown ones read as 1252 and known ones keep working.
  for (int P = 40000; P < 40200; ++P) EXPECT_EQ(CodePageToUTF8(P, "\xE9"), "é");
  EXPECT_EQ(CodePageToUTF8(1251, "\xC4"), "Д");
  EXPECT_EQ(CodePageToUTF8(932, "\x93\xFA"), "日");
}
