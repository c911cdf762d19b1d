#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "readers/dxf/DXFTokenizer.h"

namespace {

struct TGroup {
  int Code;
  std::string Value;
};

std::vector<TGroup> ReadAll(const std::string& S) {
  TdxfTokenizer T(S.data(), S.size());
  std::vector<TGroup> G;
  for (int I = 0; I < 1000; ++I) {
    T.Next();
    if (T.AtEnd()) break;
    G.push_back({T.Code(), std::string(T.Value())});
  }
  return G;
}

bool operator==(const TGroup& A, const TGroup& B) { return A.Code == B.Code && A.Value == B.Value; }

void PrintTo(const TGroup& G, std::ostream* OS) { *OS << G.Code << ":\"" << G.Value << "\""; }

}  // namespace

TEST(DxfTextTokenizer, GroupsAndConvertedValues) {
  std::string S = "  0\r\nLINE\r\n  8\r\nWalls\r\n 10\r\n1.5\r\n 70\r\n     6\r\n  5\r\n2F\r\n";
  TdxfTokenizer T(S.data(), S.size());
  T.Next();
  EXPECT_EQ(T.Code(), 0);
  EXPECT_EQ(T.Value(), "LINE");
  EXPECT_EQ(T.Line(), 2);
  T.Next();
  EXPECT_EQ(T.Code(), 8);
  EXPECT_EQ(T.StrValue(), "Walls");
  T.Next();
  EXPECT_EQ(T.FloatValue(), 1.5);
  EXPECT_EQ(T.ValueType(), vtReal);
  T.Next();
  EXPECT_EQ(T.IntValue(), 6);
  EXPECT_EQ(T.Value(), "6");
  T.Next();
  EXPECT_EQ(T.HandleValue(), 0x2Fu);
  EXPECT_EQ(T.Line(), 10);
  EXPECT_FALSE(T.AtEnd());
  T.Next();
  EXPECT_TRUE(T.AtEnd());
  EXPECT_EQ(T.Code(), 0);
  EXPECT_EQ(T.Value(), "SEQEND");
  T.Next();  // stays at the end
  EXPECT_TRUE(T.AtEnd());
}

TEST(DxfTextTokenizer, BlankLinesBetweenGroupsAreIgnored) {
  std::vector<TGroup> Want = {{0, "LINE"}, {10, "1"}, {1, "x"}};
  EXPECT_EQ(ReadAll("0\nLINE\n\n\n10\n1\r\n\r\n1\nx\n"), Want);
}

TEST(DxfTextTokenizer, EmptyStringValue) {
  std::vector<TGroup> Want = {{1, ""}, {0, "EOF"}};
  EXPECT_EQ(ReadAll("1\n\n0\nEOF\n"), Want);
}

TEST(DxfTextTokenizer, LastLineWithoutLineEnd) {
  std::string S = "0\nEOF";
  TdxfTokenizer T(S.data(), S.size());
  T.Next();
  EXPECT_TRUE(T.IsEOF());
  EXPECT_FALSE(T.AtEnd());
  EXPECT_EQ(T.Value(), "EOF");
}

TEST(DxfTextTokenizer, CodeWithoutValueEndsTheStream) {
  std::vector<TGroup> Want = {{0, "LINE"}};
  EXPECT_EQ(ReadAll("0\nLINE\n10\n"), Want);
  EXPECT_EQ(ReadAll("0\nLINE\n10"), Want);
}

TEST(DxfTextTokenizer, MalformedCodeReadsAsZero) {
  std::vector<TGroup> Want = {{0, "A"}, {0, "B"}};
  EXPECT_EQ(ReadAll("x1\nA\n99999999999\nB\n"), Want);
}

TEST(DxfTextTokenizer, StringValuesKeepTheirSpaces) {
  std::vector<TGroup> Want = {{1, "  two words "}};
  EXPECT_EQ(ReadAll("1\n  two words \n"), Want);
}

TEST(DxfTextTokenizer, OldMacLineEnds) {
  std::vector<TGroup> Want = {{0, "LINE"}, {40, "2"}};
  EXPECT_EQ(ReadAll("0\rLINE\r40\r2\r"), Want);
}

struct TConvRow {
  const char* Name;
  std::string Text;  // one group
  int Int;
  double Float;
  uint64_t Handle;
};

class DxfTextValueConversion : public testing::TestWithParam<TConvRow> {};

TEST_P(DxfTextValueConversion, Accessors) {
  const auto& R = GetParam();
  TdxfTokenizer T(R.Text.data(), R.Text.size());
  T.Next();
  ASSERT_FALSE(T.AtEnd());
  EXPECT_EQ(T.IntValue(), R.Int);
  EXPECT_EQ(T.FloatValue(), R.Float);
  EXPECT_EQ(T.HandleValue(), R.Handle);
}

// A value of another type than asked converts its trimmed text.
INSTANTIATE_TEST_SUITE_P(
    Rows, DxfTextValueConversion,
    testing::Values(TConvRow{"real_comma", "10\n1,5\n", 0, 1.5, 0},
                    TConvRow{"real_exponent", "40\n-2.5E+3\n", 0, -2500, 0},
                    TConvRow{"real_junk_prefix", "40\n1.5x\n", 0, 1.5, 0},
                    TConvRow{"real_nonfinite", "40\n1e999\n", 0, 0, 0x1E999},
                    TConvRow{"int_with_letters", "70\n12abc\n", 0, 12, 0x12ABC},
                    TConvRow{"int_overflow", "90\n4294967296\n", 0, 4294967296.0, 0x4294967296},
                    TConvRow{"int_on_string_code", "1\n 42 \n", 42, 42, 0x42},
                    TConvRow{"bool_code_kept_as_text", "290\n1\n", 1, 1, 1},
                    TConvRow{"handle_17_digits", "5\n10000000000000000\n", 0, 1e16, 0},
                    TConvRow{"handle_spaces", "330\n  1A  \n", 0, 1, 0x1A}),
    [](const auto& I) { return std::string(I.param.Name); });

TEST(DxfTextTokenizer, Int64ForWideCodes) {
  std::string S = "160\n123456789012\n";
  TdxfTokenizer T(S.data(), S.size());
  T.Next();
  EXPECT_EQ(T.Int64Value(), 123456789012);
  EXPECT_EQ(T.IntValue(), 0);
}

TEST(DxfTextTokenizer, PositionsAndStart) {
  std::string S = "\xEF\xBB\xBF" "0\nA\n1\nB\n";
  TdxfFormatInfo F = DetectDXFFormat(S.data(), S.size());
  ASSERT_EQ(F.Format, dfText);
  TdxfTokenizer T(S.data(), S.size(), F.Start);
  T.Next();
  EXPECT_EQ(T.PrevPos(), 3u);
  EXPECT_EQ(T.Pos(), 7u);
  EXPECT_EQ(T.Value(), "A");
  T.Next();
  EXPECT_EQ(T.PrevPos(), 7u);
  EXPECT_EQ(T.Pos(), T.Limit());
}

TEST(DxfTextTokenizer, JumpToEndCancels) {
  std::string S = "0\nA\n0\nB\n";
  TdxfTokenizer T(S.data(), S.size());
  T.Next();
  T.JumpToEnd();
  T.Next();
  EXPECT_TRUE(T.AtEnd());
}

// ---- strings

TEST(DxfTextTokenizer, StringsDecodeByCodePageBeforeR2007) {
  std::string S = "1\n\xCF\xF0\xE8\n1\n\xD0\x9F\n";
  TdxfTokenizer T(S.data(), S.size());
  T.SetCodePage(1251);
  T.Next();
  EXPECT_EQ(T.StrValue(), "При");
  T.SetVersion(acR2007);
  T.Next();
  EXPECT_EQ(T.StrValue(), "П");  // UTF-8 from 2007 on
}

TEST(DxfTextTokenizer, InvalidUtf8InNewFilesIsReplaced) {
  std::string S = "1\nA\xFF\n";
  TdxfTokenizer T(S.data(), S.size());
  T.SetVersion(acR2018);
  T.Next();
  EXPECT_EQ(T.StrValue(), "A\xEF\xBF\xBD");
}

TEST(DxfTextTokenizer, UValueDecodesEscapes) {
  std::string S = "1\n\\U+00B0 \\M+193FA\n";
  TdxfTokenizer T(S.data(), S.size());
  T.Next();
  EXPECT_EQ(T.UValue(), "° 日");
  EXPECT_EQ(T.StrValue(), "\\U+00B0 \\M+193FA");
}

TEST(DxfTextTokenizer, InventoryCommentSwitchesToCp1251) {
  std::string S = "999\nInventory list\n1\n\xC4\n";
  TdxfTokenizer T(S.data(), S.size());
  T.Next();
  T.NoteComment();
  EXPECT_EQ(T.CodePage(), 1251);
  T.Next();
  EXPECT_EQ(T.StrValue(), "Д");
}

TEST(DxfTextTokenizer, EofWithTrailingSpaces) {
  std::string S = "  0\r\nEOF  \r\n";
  TdxfTokenizer T(S.data(), S.size());
  T.Next();
  EXPECT_TRUE(T.IsEOF());
  EXPECT_FALSE(T.AtEnd());
}

TEST(DxfTextTokenizer, ResetStartsANewFile) {
  TdxfTokenizer T;
  T.Next();
  EXPECT_TRUE(T.AtEnd());
  std::string A = "0\nA\n0\nB\n", B = "1\nx\n";
  T.Reset(A.data(), A.size());
  T.SetCodePage(1251);
  T.SetVersion(acR2018);
  T.Next();
  T.Next();
  T.Next();
  EXPECT_TRUE(T.AtEnd());
  T.Reset(B.data(), B.size());
  EXPECT_FALSE(T.AtEnd());
  EXPECT_EQ(T.Line(), 0);
  EXPECT_EQ(T.CodePage(), 0);
  EXPECT_EQ(T.Version(), acR09);
  T.Next();
  EXPECT_EQ(T.Value(), "x");
}

TEST(DxfTextTokenizer, LinesAreCappedInLength) {
  // A value line, a code line and a number line of the cap pass; one byte more is
  // refused with its offset, whether or not a line end follows somewhere.
  const std::string Cap(cnstMaxDXFLine, 'x'), Over(cnstMaxDXFLine + 1, 'x');
  const std::string Digits(cnstMaxDXFLine, '1');
  struct Row {
    const char* Name;
    std::string Text;
    bool Ok;
  } Rows[] = {
      {"value_at_cap", "1\n" + Cap + "\n0\nEOF\n", true},
      {"value_at_cap_at_the_end", "1\n" + Cap, true},
      {"value_over_cap", "1\n" + Over + "\n0\nEOF\n", false},
      {"value_over_cap_at_the_end", "1\n" + Over, false},
      {"real_over_cap", "10\n" + Digits + "1\n0\nEOF\n", false},
      {"code_over_cap", Over + "\nx\n", false},
  };
  for (const Row& R : Rows) {
    TdxfTokenizer T(R.Text.data(), R.Text.size());
    try {
      while (!T.AtEnd()) T.Next();
      EXPECT_TRUE(R.Ok) << R.Name << ": no exception";
    } catch (const EReadError& E) {
      EXPECT_FALSE(R.Ok) << R.Name << ": " << E.what();
      const std::size_t At = std::string_view(R.Name).starts_with("code") ? 0 : R.Text.find('\n') + 1;
      EXPECT_EQ(E.Position(), At) << R.Name;
      EXPECT_EQ(std::string(E.what()), "Line at offset " + std::to_string(At) + " is longer than 1048576 bytes") << R.Name;
    }
  }
}
