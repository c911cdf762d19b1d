#include <gtest/gtest.h>

#include <limits>
#include <string>

#include "ExtData.h"

namespace {

TEST(ExtData, ReadsByIndexAndByCodeWithNeutralMisses) {
  TqdCADExtendedData D;
  D.AddString(1001, "MYAPP");
  D.AddInt16(1070, 5);
  D.AddDouble(1040, 2.5);
  D.AddPoint(1010, {1, 2, 3});
  EXPECT_EQ(D.DataInt(1), 5);
  EXPECT_EQ(D.DataDouble(2), 2.5);
  EXPECT_EQ(D.DataString(1), "") << "a string read of a number is empty";
  EXPECT_EQ(D.DataPoint(3), (TFPoint{1, 2, 3}));
  EXPECT_EQ(D.DataInt(17), 0);
  EXPECT_EQ(D.DataPoint(-1), (TFPoint{}));
  EXPECT_EQ(D.DataType(4), edtUndefined);
  D.UseCode = true;
  EXPECT_EQ(D.DataDouble(1040), 2.5);
  EXPECT_EQ(D.DataString(1001), "MYAPP");
  EXPECT_EQ(D.DataInt(1071), 0);
}

TEST(ExtData, SortedKeepsCodeOrderAndDuplicates) {
  TqdCADExtendedData D;
  D.SetSorted(true);
  D.AddInt(1070, 1);
  D.AddString(1000, "a");
  D.AddInt(1070, 2);
  D.AddString(1000, "b");
  ASSERT_EQ(D.Count(), 4);
  EXPECT_EQ(D.DataString(0), "a");
  EXPECT_EQ(D.DataString(1), "b");
  EXPECT_EQ(D.DataInt(2), 1);
  EXPECT_EQ(D.DataInt(3), 2);
}

TEST(ExtData, StringsAreCutTo255CharactersNotInsideOne) {
  TqdCADExtendedData D;
  D.AddString(1000, std::string(300, 'x'));
  EXPECT_EQ(D.DataString(0).size(), 255u);
  std::string Wide;
  for (int I = 0; I < 300; ++I) Wide += "\xC3\xA9";  // é, two bytes each
  D.AddString(1000, Wide);
  EXPECT_EQ(D.DataString(1).size(), 510u);
  // ASCII up to the cut, a two-byte character just at it or just before it.
  D.AddString(1000, std::string(255, 'x') + "\xC3\xA9");
  EXPECT_EQ(D.DataString(2).size(), 255u);
  D.AddString(1000, std::string(254, 'x') + "\xC3\xA9" + "yy");
  EXPECT_EQ(D.DataString(3).size(), 256u);
}

TEST(ExtData, binary_chunk_longer_than_255_keeps_its_length_prefix_consistent) {
  TqdCADExtendedData D;
  D.AddBinary(1004, std::string(300, '\x7F'));
  D.AddBinary(1004, "abc");
  EXPECT_EQ(D.DataBinary(0).size(), 255u);
  EXPECT_EQ(D.DataBinary(1), "abc");
  EXPECT_EQ(static_cast<unsigned char>(D.Items()[0].EString[0]), 255);
}

TEST(ExtData, NonFiniteNumbersDoNotEnter) {
  TqdCADExtendedData D;
  D.AddDouble(1040, std::numeric_limits<double>::quiet_NaN());
  D.AddPoint(1010, {std::numeric_limits<double>::infinity(), 1, 2});
  EXPECT_EQ(D.DataDouble(0), 0);
  EXPECT_EQ(D.DataPoint(1), (TFPoint{0, 1, 2}));
  D.AddDouble(1040, 1e300);
  EXPECT_EQ(D.DataInt(2), 0) << "out-of-range double read as integer";
}

TEST(ExtData, NameTestsIgnoreCase) {
  TqdCADExtendedData D;
  D.AddString(1001, "Pe_Url");
  D.AddString(1000, "Sub");
  EXPECT_TRUE(D.IsEqualName("PE_URL"));
  EXPECT_TRUE(D.IsEqualSubName("sub"));
  EXPECT_FALSE(D.IsEqualSubName("other"));
}

struct LinkRow {
  const char* Name;
  const char* Link;
  const char* Back;
};

class HyperLinkRoundTrip : public testing::TestWithParam<LinkRow> {};

TEST_P(HyperLinkRoundTrip, SurvivesExtendedData) {
  const TqdCADExtendedData D = HyperLinkToExtData(GetParam().Link);
  EXPECT_TRUE(D.IsEqualName("PE_URL"));
  EXPECT_EQ(D.Count(), 8);
  EXPECT_EQ(HyperLinkFromExtData(D), GetParam().Back);
}

INSTANTIATE_TEST_SUITE_P(
    Links, HyperLinkRoundTrip,
    testing::Values(LinkRow{"url_and_description", "http://a.b/c#Descr", "http://a.b/c#Descr"},
                    LinkRow{"url_only", "http://a.b", "http://a.b"},
                    LinkRow{"second_hash_stays_in_description", "u#d#e", "u#d#e"}),
    [](const auto& I) { return std::string(I.param.Name); });

TEST(HyperLink, ExportLayout) {
  const TqdCADExtendedData D = HyperLinkToExtData("url#descr");
  EXPECT_EQ(D.DataString(1), "descr");
  EXPECT_EQ(D.DataString(3), "url");
  EXPECT_EQ(D.DataCode(5), 1071);
  EXPECT_EQ(D.DataInt(5), 1);
  EXPECT_EQ(D.DataString(7), "}");
}

}  // namespace
