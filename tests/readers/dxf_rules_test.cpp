#include <gtest/gtest.h>

#include <string>

#include "readers/dxf/DXFTokenizer.h"

// ---- format detection

TEST(DxfFormat, Detection) {
  std::string Bin2("AutoCAD Binary DXF\r\n\x1a\0\0\0SECTION", 31);
  std::string Bin1("AutoCAD Binary DXF\r\n\x1a\0\0SECTION", 30);
  std::string Bare("AutoCAD Binary DXF\r\n\x1a\0", 22);
  std::string Near("AutoCAD Binary DXF\r\n\x1a\1\0\0", 24);

  auto F = DetectDXFFormat(Bin2.data(), Bin2.size());
  EXPECT_EQ(F.Format, dfBinary);
  EXPECT_EQ(F.Start, 22u);
  EXPECT_EQ(F.GroupCodeSize, 2);
  F = DetectDXFFormat(Bin1.data(), Bin1.size());
  EXPECT_EQ(F.Format, dfBinary);
  EXPECT_EQ(F.GroupCodeSize, 1);
  F = DetectDXFFormat(Bare.data(), Bare.size());
  EXPECT_EQ(F.Format, dfBinary);
  EXPECT_EQ(F.Start, 22u);
  F = DetectDXFFormat(Near.data(), Near.size());
  EXPECT_EQ(F.Format, dfText);
  EXPECT_EQ(F.Start, 0u);
  F = DetectDXFFormat("AutoCAD", 7);
  EXPECT_EQ(F.Format, dfText);
  F = DetectDXFFormat("", 0);
  EXPECT_EQ(F.Format, dfText);
}

// ---- the type table and the binary widths derived from it

struct TTypeRow {
  const char* Name;
  int Code;
  TdxfValueType Type;
  TdxfBinaryValue Binary;
};

class DxfGroupCodeTypes : public testing::TestWithParam<TTypeRow> {};

TEST_P(DxfGroupCodeTypes, TypeAndBinaryWidth) {
  const auto& R = GetParam();
  EXPECT_EQ(GroupCodeType(R.Code), R.Type);
  EXPECT_EQ(BinaryValueKind(R.Code), R.Binary);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, DxfGroupCodeTypes,
    testing::Values(TTypeRow{"entity_name", 0, vtString, bvString},
                    TTypeRow{"handle", 5, vtHandle, bvString},
                    TTypeRow{"point_x", 10, vtReal, bvDouble},
                    TTypeRow{"color", 62, vtInteger, bvInt16},
                    TTypeRow{"int32_flags", 90, vtInteger, bvInt32},
                    TTypeRow{"subclass", 100, vtString, bvString},
                    TTypeRow{"int64", 160, vtOther, bvInt64},
                    TTypeRow{"int8_as_int16", 280, vtInteger, bvInt16},
                    TTypeRow{"bool", 290, vtInteger, bvByte},
                    TTypeRow{"binary_chunk", 310, vtOther, bvChunk},
                    TTypeRow{"soft_pointer", 330, vtHandle, bvString},
                    TTypeRow{"handle_391", 391, vtHandle, bvString},
                    TTypeRow{"int16_400", 400, vtInteger, bvInt16},
                    TTypeRow{"layout_name", 410, vtString, bvString},
                    TTypeRow{"true_color", 420, vtInteger, bvInt32},
                    TTypeRow{"color_name", 430, vtString, bvString},
                    TTypeRow{"transparency", 440, vtInteger, bvInt32},
                    TTypeRow{"string_471", 471, vtString, bvString},
                    TTypeRow{"handle_480", 480, vtOther, bvString},
                    TTypeRow{"comment", 999, vtString, bvString},
                    TTypeRow{"xdata_chunk", 1004, vtString, bvChunk},
                    TTypeRow{"xdata_handle", 1005, vtHandle, bvString},
                    TTypeRow{"xdata_int16", 1070, vtInteger, bvInt16},
                    TTypeRow{"xdata_int32", 1071, vtInteger, bvInt32},
                    TTypeRow{"reactor_chain", -5, vtOther, bvString},
                    TTypeRow{"below_table", -6, vtOther, bvIllegal},
                    TTypeRow{"above_table", 1072, vtOther, bvIllegal}),
    [](const auto& I) { return std::string(I.param.Name); });

// ---- $DWGCODEPAGE names

struct TPageRow {
  const char* Name;
  std::string Text;
  int Page;
};

class DxfCodePageNames : public testing::TestWithParam<TPageRow> {};

TEST_P(DxfCodePageNames, Page) { EXPECT_EQ(DXFCodePageByName(GetParam().Text), GetParam().Page); }

INSTANTIATE_TEST_SUITE_P(
    Rows, DxfCodePageNames,
    testing::Values(TPageRow{"ansi", "ANSI_1252", 1252}, TPageRow{"ansi_lower", "ansi_1251", 1251},
                    TPageRow{"ansi_dash", "ANSI-932", 932}, TPageRow{"ansi_no_separator", "ANSI936", 936},
                    TPageRow{"dos", "DOS850", 850}, TPageRow{"dos_underscore", "DOS_866", 866},
                    TPageRow{"iso", "ISO8859-1", 28591}, TPageRow{"iso_underscore", "ISO_8859_15", 28605},
                    TPageRow{"iso_other", "ISO2022", 0}, TPageRow{"johab", "JOHAB", 1361},
                    TPageRow{"gb2312", "GB2312", 936}, TPageRow{"ksc5601", "KSC5601", 949},
                    TPageRow{"big5", "BIG5", 950}, TPageRow{"ascii", "ASCII", 20127},
                    TPageRow{"utf16", "UTF-16", 1200}, TPageRow{"mac_roman", "MAC-ROMAN", 10000},
                    TPageRow{"padded", "  ANSI_1250 ", 1250}, TPageRow{"ansi_junk", "ANSI_12x", 0},
                    TPageRow{"unknown", "UTF8", 0}, TPageRow{"empty", "", 0}),
    [](const auto& I) { return std::string(I.param.Name); });

// ---- $ACADVER

struct TVersionRow {
  const char* Name;
  std::string Text;
  TqdDWGVersion Version;
};

class DxfReleaseNames : public testing::TestWithParam<TVersionRow> {};

TEST_P(DxfReleaseNames, Release) {
  // acR11 as the current value: it is no result of the rule, so "unchanged" shows.
  EXPECT_EQ(DXFVersionByName(GetParam().Text, acR11), GetParam().Version);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, DxfReleaseNames,
    testing::Values(TVersionRow{"r9_1001", "AC1001", acR09}, TVersionRow{"r9_1004", "AC1004", acR09},
                    TVersionRow{"r10", "AC1006", acR10}, TVersionRow{"r12", "AC1009", acR12},
                    TVersionRow{"r13", "AC1012", acR13}, TVersionRow{"r14_1013", "AC1013", acR14},
                    TVersionRow{"r14", "AC1014", acR14}, TVersionRow{"r2000", "AC1015", acR2000},
                    TVersionRow{"r2004", "AC1018", acR2004}, TVersionRow{"r2007", "AC1021", acR2007},
                    TVersionRow{"r2010", "AC1024", acR2010}, TVersionRow{"r2013", "AC1027", acR2013},
                    TVersionRow{"r2018", "AC1032", acR2018}, TVersionRow{"r26", "AC2.10", acR09},
                    TVersionRow{"r26_22", "AC2.22", acR09}, TVersionRow{"unknown_1005", "AC1005", acR11},
                    TVersionRow{"unknown_2x", "AC2.30", acR11}, TVersionRow{"too_short", "AC101", acR11},
                    TVersionRow{"lower_case", "ac1015", acR2000}, TVersionRow{"trailing_space", "AC1015 ", acR2000},
                    TVersionRow{"garbage", "HELLO!", acR11}),
    [](const auto& I) { return std::string(I.param.Name); });

TEST(DxfComments, Inventory) {
  EXPECT_TRUE(IsInventoryComment("Created by INVENTORY 2.0"));
  EXPECT_TRUE(IsInventoryComment("inventory"));
  EXPECT_FALSE(IsInventoryComment("Inventor"));
}
