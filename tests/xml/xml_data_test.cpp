// Typed values and their text forms; the attribute table.
#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <functional>

#include "qdXMLParser.h"

namespace {

struct TTextCase {
  const char* Name;
  std::function<void(TqdData&)> Set;
  const char* Text;
};

class DataText : public testing::TestWithParam<TTextCase> {};

TEST_P(DataText, writes_the_text_form) {
  TqdData D;
  GetParam().Set(D);
  EXPECT_EQ(D.GetValueAsText(), GetParam().Text);
}

INSTANTIATE_TEST_SUITE_P(
    Forms, DataText,
    testing::Values(
        TTextCase{"point_z_zero_has_two_numbers", [](TqdData& D) { D.SetValueAsFPoint({3, 4, 0}); }, "3,4"},
        TTextCase{"point_z_given_has_three", [](TqdData& D) { D.SetValueAsFPoint({1, -2, 2.5}); }, "1,-2,2.5"},
        TTextCase{"rgb_red", [](TqdData& D) { D.SetValueAsColorCAD({1, 0x0000FF, ""}); }, "1;$FF0000;"},
        TTextCase{"index_seven", [](TqdData& D) { D.SetValueAsColorCAD({0, 7, ""}); }, "0;7;"},
        TTextCase{"index_with_album", [](TqdData& D) { D.SetValueAsColorCAD({0, 256, "BOOK"}); }, "0;256;BOOK"},
        TTextCase{"platform_colour_red_most_significant", [](TqdData& D) { D.SetValueAsColor(0x0000FF); }, "#FF0000"},
        TTextCase{"colour_without_leading_zeros", [](TqdData& D) { D.SetValueAsColor(0x010000); }, "#1"},
        TTextCase{"handle", [](TqdData& D) { D.SetValueAsHandle(0x1A2B); }, "$1A2B"},
        TTextCase{"pointer_has_sixteen_digits", [](TqdData& D) { D.SetValueAsPointer(reinterpret_cast<void*>(0xBEEF)); },
                  "$000000000000BEEF"},
        TTextCase{"double_five", [](TqdData& D) { D.SetValueAsDouble(5); }, "5"},
        TTextCase{"double_fraction", [](TqdData& D) { D.SetValueAsDouble(0.1); }, "0.1"},
        TTextCase{"double_fifteen_digits", [](TqdData& D) { D.SetValueAsDouble(1.0 / 3); }, "0.333333333333333"},
        TTextCase{"double_negative_zero", [](TqdData& D) { D.SetValueAsDouble(-0.0); }, "0"},
        TTextCase{"double_not_finite_is_zero", [](TqdData& D) { D.SetValueAsDouble(NAN); }, "0"},
        TTextCase{"single", [](TqdData& D) { D.SetValueAsSingle(0.1f); }, "0.1"},
        TTextCase{"bool", [](TqdData& D) { D.SetValueAsBool(true); }, "true"},
        TTextCase{"int64", [](TqdData& D) { D.SetValueAsInt64(-9000000000LL); }, "-9000000000"},
        TTextCase{"integer_point", [](TqdData& D) { D.SetValueAsPoint({-1, 2}); }, "-1,2"},
        TTextCase{"integer_rect", [](TqdData& D) { D.SetValueAsRect({1, 2, 3, 4}); }, "1,2,3,4"},
        TTextCase{"flat_box_four_numbers", [](TqdData& D) { D.SetValueAsFRect({0, 5, 0, 4, 1, 0}); }, "0,5,4,1"},
        TTextCase{"box_with_z_six_numbers", [](TqdData& D) { D.SetValueAsFRect({0, 5, 1, 4, 1, 2}); },
                  "0,5,1,4,1,2"},
        TTextCase{"version", [](TqdData& D) { D.SetValueAsVersion({2, 5}); }, "2.5"},
        TTextCase{"list_type_writes_nothing", [](TqdData& D) { D.SetValueAsType(dtList, "x"); }, ""}),
    [](const auto& I) { return std::string(I.param.Name); });

TEST(Data, reads_text_back_as_each_type) {
  TqdData D;
  D.SetValueAsStr(" 1.5 , -2 ");
  TFPoint P;
  ASSERT_TRUE(D.TryAsFPoint(P));
  EXPECT_EQ(P, (TFPoint{1.5, -2, 0}));
  D.SetValueAsStr("1;$FF0000;Book");
  EXPECT_EQ(D.GetValueAsColorCAD(), (TqdXMLColorCAD{1, 0x0000FF, "Book"}));
  D.SetValueAsStr("#FF0000");
  EXPECT_EQ(D.GetValueAsColor(), 0x0000FFu);
  D.SetValueAsStr("$ff");
  EXPECT_EQ(D.GetValueAsHandle(), 0xFFu);
  D.SetValueAsStr("TRUE");
  EXPECT_TRUE(D.GetValueAsBool());
  D.SetValueAsStr("0,5,4,1");
  EXPECT_EQ(D.GetValueAsFRect(), (TFRect{0, 5, 0, 4, 1, 0}));
}

TEST(Data, refuses_text_that_is_not_of_the_type) {
  TqdData D;
  double V = 7;
  for (const char* S : {"", "abc", "1,5", "nan", "inf", "1e999", "1.5x"}) {
    D.SetValueAsStr(S);
    EXPECT_FALSE(D.TryAsDouble(V)) << S;
  }
  EXPECT_EQ(V, 7);
  int I = 0;
  D.SetValueAsStr("2.5");
  EXPECT_FALSE(D.TryAsInt(I));
  D.SetValueAsStr("99999999999");
  EXPECT_FALSE(D.TryAsInt(I));
  TqdXMLColorCAD C;
  for (const char* S : {"7", "2;7;", "1;$1000000;", "0;x;"}) {
    D.SetValueAsStr(S);
    EXPECT_FALSE(D.TryAsColorCAD(C)) << S;
  }
  TFPoint P;
  D.SetValueAsStr("1,2,3,4");
  EXPECT_FALSE(D.TryAsFPoint(P));
}

TEST(Data, text_never_becomes_a_pointer) {
  TqdData D;
  D.SetValueAsStr("$00007FFFDEADBEEF");
  EXPECT_EQ(D.GetValueAsPointer(), nullptr);
  int X = 0;
  D.SetValueAsPointer(&X);
  EXPECT_EQ(D.GetValueAsPointer(), &X);
  TqdData Copy;
  Copy.SetValueAsStr(D.GetValueAsText());
  EXPECT_EQ(Copy.GetValueAsPointer(), nullptr);
}

TEST(Data, doubles_use_a_dot_whatever_the_locale) {
  const char* Found = nullptr;
  for (const char* L : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "ru_RU.UTF-8", "de_DE"})
    if (std::setlocale(LC_ALL, L)) {
      Found = L;
      break;
    }
  if (!Found) GTEST_SKIP() << "no locale with a decimal comma is installed";
  TqdData D;
  D.SetValueAsDouble(2.5);
  const std::string T = D.GetValueAsText();
  D.SetValueAsStr("0.25");
  const double V = D.GetValueAsDouble();
  std::setlocale(LC_ALL, "C");
  EXPECT_EQ(T, "2.5");
  EXPECT_EQ(V, 0.25);
}

// The layer looks names up in whatever table its owner installs (xml_test_table.cpp).
TEST(AttribTable, names_look_up_without_case) {
  EXPECT_EQ(XMLAttribIdByName("layer"), 1);
  EXPECT_EQ(XMLAttribIdByName("LAYER"), 1);
  EXPECT_EQ(XMLAttribIdByName("area"), 3);  // listed twice: the first id
  EXPECT_STREQ(XMLAttribName(5), "Area");
  EXPECT_EQ(XMLAttribInfo(2).Type, dtTFPoint);
  EXPECT_EQ(XMLAttribIdByName("vnxLine"), cnstXMLClassNameId);
  EXPECT_EQ(XMLAttribIdByName("NoSuchName"), 0);
  EXPECT_EQ(XMLAttribIdByName(""), 0);
  EXPECT_EQ(XMLAttribIdByName(std::string(500, 'a')), 0);
  EXPECT_EQ(XMLAttribName(0), nullptr);
  EXPECT_EQ(XMLAttribName(4), nullptr);  // a gap in the table
  EXPECT_EQ(XMLAttribName(cnstXMLClassNameId), nullptr);
  EXPECT_EQ(XMLAttribName(-5), nullptr);
  EXPECT_EQ(XMLAttribName(XMLAttribCount()), nullptr);
}

TEST(AttribTable, type_names) {
  EXPECT_STREQ(DataTypeName(dtTFPoint), "FPoint");
  EXPECT_STREQ(DataTypeName(dtBool), "Boolean");
}

}  // namespace
