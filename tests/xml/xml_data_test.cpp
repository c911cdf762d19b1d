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

TEST(AttribTable, names_look_up_without_case) {
  EXPECT_EQ(XMLAttribIdByName("layer"), 4);
  EXPECT_EQ(XMLAttribIdByName("LAYER"), 4);
  EXPECT_EQ(XMLAttribIdByName("Layer"), 4);
  EXPECT_EQ(XMLAttribIdByName("area"), 46);  // listed twice: the first id
  EXPECT_STREQ(XMLAttribName(211), "Area");
  EXPECT_EQ(XMLAttribIdByName("vnxLine"), cnstXMLClassNameId);
  EXPECT_EQ(XMLAttribIdByName("NoSuchName"), 0);
  EXPECT_EQ(XMLAttribIdByName(""), 0);
  EXPECT_EQ(XMLAttribIdByName(std::string(500, 'a')), 0);
  EXPECT_EQ(XMLAttribName(0), nullptr);
  EXPECT_EQ(XMLAttribName(224), nullptr);
  EXPECT_EQ(XMLAttribName(-5), nullptr);
  for (int I = 1; I < cnstXMLClassNameId; ++I) {
    ASSERT_NE(XMLAttribName(I), nullptr) << I;
    if (I != 211) EXPECT_EQ(XMLAttribIdByName(XMLAttribName(I)), I) << XMLAttribName(I);
  }
}

TEST(AttribTable, telling_rows) {
  struct TRow {
    int Id;
    const char* Name;
    TqdDataType Type;
    const char* Description;
  };
  for (const TRow& R : {TRow{1, "LineWeight", dtDouble, "Line Weight in mm"},
                        TRow{4, "Layer", dtEntName, "Name of a Layer"},
                        TRow{5, "LineType", dtEntName, "Name of a LineType"},
                        TRow{7, "Handle", dtEntHandle, "Handle value"},
                        TRow{9, "Color", dtColorCAD, "Color specified with TqdColorCAD"},
                        TRow{12, "Point", dtTFPoint, "3D Point defining entity"}}) {
    const TqdXMLAttribInfo& I = XMLAttribInfo(R.Id);
    EXPECT_STREQ(I.Name, R.Name);
    EXPECT_EQ(I.Type, R.Type) << R.Name;
    EXPECT_STREQ(I.Description, R.Description);
  }
  EXPECT_EQ(XMLAttribInfo(8).Type, dtList);
  EXPECT_EQ(XMLAttribInfo(34).Type, dtFPoints2DOr3D);
  EXPECT_EQ(XMLAttribInfo(37).Type, dtSingles);
  for (int I = 137; I <= 141; ++I) EXPECT_EQ(XMLAttribInfo(I).Type, dtList);
  EXPECT_EQ(XMLAttribInfo(159).Type, dtStringInternal);
  EXPECT_EQ(XMLAttribInfo(177).Type, dtProcedure);
  EXPECT_STREQ(DataTypeName(dtTFPoint), "FPoint");
  EXPECT_STREQ(DataTypeName(dtBool), "Boolean");
}

}  // namespace
