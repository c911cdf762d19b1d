// The JSON writer: escaping, numbers, nesting.
#include <gtest/gtest.h>

#include <limits>

#include "Json.h"

namespace {

struct TEscapeCase {
  const char* Name;
  std::string In, Out;
};

class JsonEscape : public testing::TestWithParam<TEscapeCase> {};

TEST_P(JsonEscape, strings_are_escaped) { EXPECT_EQ(TJsonWriter::Escape(GetParam().In), GetParam().Out); }

INSTANTIATE_TEST_SUITE_P(
    Cases, JsonEscape,
    testing::Values(TEscapeCase{"plain", "abc", "\"abc\""}, TEscapeCase{"quote", "a\"b", "\"a\\\"b\""},
                    TEscapeCase{"backslash", "C:\\x", "\"C:\\\\x\""},
                    TEscapeCase{"newline_and_cr", "a\r\nb", "\"a\\r\\nb\""},
                    TEscapeCase{"control", std::string("a\x01" "b", 3), "\"a\\u0001b\""},
                    TEscapeCase{"nul", std::string("a\0b", 3), "\"a\\u0000b\""},
                    TEscapeCase{"utf8_passes", "\xCE\x9B", "\"\xCE\x9B\""}),
    [](const auto& I) { return std::string(I.param.Name); });

TEST(JsonWriter, numbers_are_shortest_exact_and_non_finite_is_null) {
  TJsonWriter W;
  W.BeginArray();
  W.Number(0.1);
  W.Number(-2.5e300);
  W.Number(std::numeric_limits<double>::quiet_NaN());
  W.Number(std::numeric_limits<double>::infinity());
  W.Number(-0.0);
  W.Int(-7);
  W.EndArray();
  EXPECT_EQ(W.Text(), "[\n  0.1,\n  -2.5e+300,\n  null,\n  null,\n  0,\n  -7\n]\n");
}

TEST(JsonWriter, nested_objects_and_empty_containers) {
  TJsonWriter W;
  W.BeginObject();
  W.Key("a");
  W.BeginObject();
  W.EndObject();
  W.Key("b");
  W.BeginArray();
  W.String("x");
  W.Null();
  W.Bool(true);
  W.EndArray();
  W.EndObject();
  EXPECT_EQ(W.Text(), "{\n  \"a\": {},\n  \"b\": [\n    \"x\",\n    null,\n    true\n  ]\n}\n");
}

}  // namespace
