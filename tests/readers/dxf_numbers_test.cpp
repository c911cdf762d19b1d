#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>

#include "readers/dxf/DXFTokenizer.h"

// ---- reals

struct TRealRow {
  const char* Name;
  std::string Text;
  double Value;
  bool Ok;
};

class DxfReal : public testing::TestWithParam<TRealRow> {};

TEST_P(DxfReal, Parse) {
  const auto& R = GetParam();
  double V = -123;
  EXPECT_EQ(DXFStrToFloat(R.Text, V), R.Ok);
  EXPECT_EQ(V, R.Value);  // exact: parsing is correctly rounded
}

INSTANTIATE_TEST_SUITE_P(
    Rows, DxfReal,
    testing::Values(
        TRealRow{"plain", "1.5", 1.5, true},
        TRealRow{"comma_separator", "1,5", 1.5, true},
        TRealRow{"exponent", "-2.5E+3", -2500, true},
        TRealRow{"lower_exponent", "2.5e-1", 0.25, true},
        TRealRow{"plus_sign", "+7", 7, true},
        TRealRow{"leading_and_trailing_spaces", "  3.25  ", 3.25, true},
        TRealRow{"no_integer_part", ".5", 0.5, true},
        TRealRow{"no_fraction_digits", "2.", 2, true},
        TRealRow{"correct_rounding", "0.1", 0.1, true},
        TRealRow{"seventeen_digits", "0.30000000000000004", 0.30000000000000004, true},
        TRealRow{"one_then_400_zeros", "1." + std::string(400, '0'), 1.0, true},
        TRealRow{"400_digit_fraction", "0." + std::string(399, '0') + "1", 0, false},
        TRealRow{"junk_keeps_prefix", "1.5x", 1.5, true},
        TRealRow{"integer_with_letters", "12abc", 12, true},
        TRealRow{"incomplete_exponent", "3e+", 3, true},
        TRealRow{"comma_then_junk", "4,2;", 4.2, true},
        TRealRow{"long_comma_real", "-1," + std::string(100, '0') + "5", -1.0, true},
        TRealRow{"huge_digit_string", std::string(400, '9'), 0, false},
        TRealRow{"exponent_overflow", "1e99999999999999999999", 0, false},
        TRealRow{"inf_word", "inf", 0, false},
        TRealRow{"nan_word", "nan", 0, false},
        TRealRow{"only_sign", "-", 0, false},
        TRealRow{"only_dot", ".", 0, false},
        TRealRow{"empty", "", 0, false},
        TRealRow{"double_sign", "+-1", 0, false}),
    [](const auto& I) { return std::string(I.param.Name); });

// Reals as writers print them take a shortcut past the general parser; both must
// give the same, correctly rounded double (strtod in the C locale is the reference).
TEST(DxfReal, WrittenFormsRoundLikeStrtod) {
  std::mt19937_64 Rng(20261209);
  std::setlocale(LC_NUMERIC, "C");
  for (int I = 0; I < 20000; ++I) {
    std::string T;
    if (Rng() % 3 == 0) T += '-';
    const int IntDigits = int(Rng() % 10), FracDigits = int(Rng() % 18);
    for (int K = 0; K < IntDigits; ++K) T += char('0' + Rng() % 10);
    if (IntDigits == 0 || FracDigits > 0 || Rng() % 2) T += '.';
    for (int K = 0; K < FracDigits; ++K) T += char('0' + Rng() % 10);
    if (T == "-." || T == ".") T += '5';
    double Ours = -123;
    ASSERT_TRUE(DXFStrToFloat(T, Ours)) << T;
    const double Ref = std::strtod(T.c_str(), nullptr);
    ASSERT_EQ(std::memcmp(&Ours, &Ref, sizeof Ref), 0) << T << ": " << Ours << " vs " << Ref;
  }
}

// ---- integers

struct TIntRow {
  const char* Name;
  std::string Text;
  int Value;
  bool Ok;
};

class DxfInt : public testing::TestWithParam<TIntRow> {};

TEST_P(DxfInt, Parse) {
  const auto& R = GetParam();
  int V = -123;
  EXPECT_EQ(DXFStrToInt(R.Text, V), R.Ok);
  EXPECT_EQ(V, R.Value);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, DxfInt,
    testing::Values(TIntRow{"plain", "70", 70, true},
                    TIntRow{"right_aligned", "     1", 1, true},
                    TIntRow{"trailing_spaces", "5  ", 5, true},
                    TIntRow{"negative", "-32768", -32768, true},
                    TIntRow{"int32_max", "2147483647", 2147483647, true},
                    TIntRow{"int32_min", "-2147483648", -2147483647 - 1, true},
                    TIntRow{"int32_overflow", "2147483648", 0, false},
                    TIntRow{"int64_overflow", "99999999999999999999999", 0, false},
                    TIntRow{"trailing_letters", "12abc", 0, false},
                    TIntRow{"real_text", "1.0", 0, false},
                    TIntRow{"empty", "", 0, false},
                    TIntRow{"sign_only", "+", 0, false}),
    [](const auto& I) { return std::string(I.param.Name); });

TEST(DxfInt64, Limits) {
  int64_t V;
  EXPECT_TRUE(DXFStrToInt64("-9223372036854775808", V));
  EXPECT_EQ(V, INT64_MIN);
  EXPECT_TRUE(DXFStrToInt64("9223372036854775807", V));
  EXPECT_EQ(V, INT64_MAX);
  EXPECT_FALSE(DXFStrToInt64("9223372036854775808", V));
  EXPECT_EQ(V, 0);
}

// ---- handles

struct THandleRow {
  const char* Name;
  std::string Text;
  uint64_t Value;
  bool Ok;
};

class DxfHandle : public testing::TestWithParam<THandleRow> {};

TEST_P(DxfHandle, Parse) {
  const auto& R = GetParam();
  uint64_t V = 123;
  EXPECT_EQ(DXFStrToHandle(R.Text, V), R.Ok);
  EXPECT_EQ(V, R.Value);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, DxfHandle,
    testing::Values(THandleRow{"short", "1F", 0x1F, true},
                    THandleRow{"lower_case", "abc", 0xABC, true},
                    THandleRow{"sixteen_digits", "FFFFFFFFFFFFFFFF", UINT64_MAX, true},
                    THandleRow{"seventeen_digits", "1FFFFFFFFFFFFFFFF", 0, false},
                    THandleRow{"leading_zeros_fit", "00000000000000000A", 0xA, true},
                    THandleRow{"junk", "1G", 0, false},
                    THandleRow{"empty", "", 0, false}),
    [](const auto& I) { return std::string(I.param.Name); });
