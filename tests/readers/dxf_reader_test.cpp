// The DXF reader over small files written here: structure, strings, extended data,
// dictionaries, the steps after reading, and the faults hostile files provoke.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <limits>
#include <string>

#include "DimStyles.h"
#include "dxf_test_util.h"

namespace {

TGroups Concat(std::initializer_list<TGroups> Parts) {
  TGroups R;
  for (const TGroups& P : Parts) R.insert(R.end(), P.begin(), P.end());
  return R;
}

TGroups Section(const char* Name, const TGroups& Body) {
  return Concat({{{0, "SECTION"}, {2, Name}}, Body, {{0, "ENDSEC"}}});
}

TGroups Line(const char* Layer, double X0, double Y0, double X1, double Y1, bool Paper = false) {
  TGroups G{{0, "LINE"}, {8, Layer}};
  if (Paper) G.push_back({67, "1"});
  for (auto [C, V] : {std::pair{10, X0}, {20, Y0}, {30, 0.0}, {11, X1}, {21, Y1}, {31, 0.0}})
    G.push_back({C, std::to_string(V)});
  return G;
}

TGroups Layer(const char* Name, int Color) {
  return {{0, "LAYER"}, {2, Name}, {70, "0"}, {62, std::to_string(Color)}, {6, "CONTINUOUS"}};
}

TGroups Table(const char* Name, const TGroups& Items) {
  return Concat({{{0, "TABLE"}, {2, Name}, {70, "1"}}, Items, {{0, "ENDTAB"}}});
}

const TGroups cEOF{{0, "EOF"}};

std::vector<std::string> LayoutNames(TqdDXFConverter& C) {
  std::vector<std::string> N;
  for (int I = 0; I < C.LayoutsCount(); ++I) N.push_back(C.GetLayout(I)->Name());
  return N;
}

std::vector<std::string> BlockNames(TqdDXFConverter& C) {
  std::vector<std::string> N;
  const TqdDXFEntity* B = C.GetSection(csBlocks);
  for (int I = 0; I < B->Count(); ++I) N.push_back(B->GetEntity(I)->Name());
  return N;
}

// ---------------------------------------------------------------- structure

TEST(DxfReader, blank_lines_between_groups_read_as_if_absent) {
  const TGroups G = Concat({Section("ENTITIES", Concat({Line("0", 0, 0, 1, 1), Line("0", 2, 2, 3, 3)})), cEOF});
  TLoaded Plain(TextDXF(G));
  TLoaded Blank(TextDXF(G, "\r\n\r\n\n"));
  ASSERT_TRUE(Blank.R.Ok) << Blank.R.Error;
  EXPECT_EQ(Blank.Types(0), Plain.Types(0));
  EXPECT_EQ(Blank.Types(0), (std::vector<std::string>{"LINE", "LINE"}));
  EXPECT_TRUE(Blank.R.Warnings.empty());
}

TEST(DxfReader, file_without_header_reads_with_default_header) {
  TLoaded L(TextDXF(Concat({Section("ENTITIES", Line("0", 0, 0, 4, 2)), cEOF})));
  ASSERT_TRUE(L.R.Ok);
  EXPECT_EQ(L.R.AcadVer, "");
  EXPECT_EQ(L.Conv().HeadVarStruct().Version, acR09);
  EXPECT_EQ(L.Conv().CodePage(), 0);
  // The layout box is the line's.
  const TFRect B = L.Conv().GetLayout(0)->Box();
  EXPECT_DOUBLE_EQ(B.Left, 0);
  EXPECT_DOUBLE_EQ(B.Right, 4);
  EXPECT_DOUBLE_EQ(B.Top, 2);
}

TEST(DxfReader, entities_without_blocks_get_space_blocks_and_both_layouts) {
  TLoaded L(TextDXF(Concat({Section("ENTITIES", Concat({Line("0", 0, 0, 1, 1), Line("0", 0, 0, 5, 5, true)})), cEOF})));
  ASSERT_TRUE(L.R.Ok);
  EXPECT_EQ(LayoutNames(L.Conv()), (std::vector<std::string>{"Model", "Layout1"}));
  EXPECT_EQ(L.Conv().GetLayout(0)->PaperSpaceBlockField()->Name(), "*MODEL_SPACE");
  EXPECT_EQ(L.Conv().GetLayout(1)->PaperSpaceBlockField()->Name(), "*PAPER_SPACE");
  // Code 67 puts the second line into the paper space.
  EXPECT_EQ(L.Conv().GetLayout(0)->Count(), 1);
  EXPECT_EQ(L.Conv().GetLayout(1)->Count(), 1);
}

TEST(DxfReader, empty_paper_layout_is_dropped_after_reading) {
  TLoaded L(TextDXF(Concat({Section("ENTITIES", Line("0", 0, 0, 1, 1)), cEOF})));
  EXPECT_EQ(LayoutNames(L.Conv()), (std::vector<std::string>{"Model"}));
}

TEST(DxfReader, header_variables_set_release_code_page_and_extents) {
  const TGroups Header{{9, "$ACADVER"},  {1, "AC1015"},  {9, "$DWGCODEPAGE"}, {3, "ANSI_1251"},
                       {9, "$EXTMIN"},   {10, "-1.5"},   {20, "2"},           {30, "0"},
                       {9, "$INSUNITS"}, {70, "6"},      {9, "$TILEMODE"},    {70, "0"},
                       {9, "$UNKNOWN"},  {70, "99"},     {9, "$LTSCALE"},     {40, "0"}};
  TLoaded L(TextDXF(Concat({Section("HEADER", Header), Section("ENTITIES", {}), cEOF})));
  ASSERT_TRUE(L.R.Ok);
  const TqdHeadVarStruct& H = L.Conv().HeadVarStruct();
  EXPECT_EQ(L.R.AcadVer, "AC1015");
  EXPECT_EQ(L.R.CodePageName, "ANSI_1251");
  EXPECT_EQ(H.Version, acR2000);
  EXPECT_EQ(H.CodePage, 1251);
  EXPECT_DOUBLE_EQ(H.ExtMim.X, -1.5);
  EXPECT_DOUBLE_EQ(H.ExtMim.Y, 2);
  EXPECT_EQ(H.InsUnits, 6);
  EXPECT_EQ(H.TileMode, 0);
  EXPECT_DOUBLE_EQ(H.LTScale, 1.0);  // 0 means 1
}

TEST(DxfReader, decimal_separator_from_the_header_and_the_dimension_style) {
  const TGroups Style{{0, "DIMSTYLE"}, {2, "ISO"}, {70, "0"}, {271, "2"}, {278, "44"}};
  TLoaded L(TextDXF(Concat({Section("HEADER", {{9, "$ACADVER"}, {1, "AC1015"}, {9, "$DIMDSEP"}, {70, "46"}}),
                            Section("TABLES", Table("DIMSTYLE", Style)), Section("ENTITIES", {}), cEOF})));
  ASSERT_TRUE(L.R.Ok) << L.R.Error;
  EXPECT_EQ(L.Conv().HeadVarStruct().DimProps.DSep, '.');
  const TqdDXFDimensionStyle* S = L.Conv().DimensionStyleByName("ISO");
  ASSERT_NE(S, nullptr);
  EXPECT_EQ(S->DIMDSEP(), ',');
  // A drawing that sets none keeps none: the dimension text then takes ",".
  TLoaded N(TextDXF(Concat({Section("ENTITIES", {}), cEOF})));
  EXPECT_EQ(N.Conv().HeadVarStruct().DimProps.DSep, 0);
}

// ---------------------------------------------------------------- strings

struct TStringCase {
  const char* Name;
  TGroups Header;
  std::string LayerBytes;
  std::string Expected;
};

class DxfStrings : public testing::TestWithParam<TStringCase> {};

TEST_P(DxfStrings, layer_names_decode_by_release_and_code_page) {
  const TStringCase& T = GetParam();
  const TGroups G = Concat({T.Header, Section("TABLES", Table("LAYER", Layer(T.LayerBytes.c_str(), 1))),
                            Section("ENTITIES", Line(T.LayerBytes.c_str(), 0, 0, 1, 1)), cEOF});
  TLoaded L(TextDXF(G));
  ASSERT_TRUE(L.R.Ok) << L.R.Error;
  EXPECT_NE(L.Conv().GetSection(csLayers)->FindEntByName(T.Expected), nullptr);
  EXPECT_EQ(L.Conv().GetEntity(0)->Layer()->Name(), T.Expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DxfStrings,
    testing::Values(
        TStringCase{"inventory_comment_means_1251", {{999, "Made by an INVENTORY tool"}}, "\xC0\xC1", "\xD0\x90\xD0\x91"},
        TStringCase{"code_page_from_header",
                    Section("HEADER", {{9, "$ACADVER"}, {1, "AC1015"}, {9, "$DWGCODEPAGE"}, {3, "ANSI_1251"}}),
                    "\xC0", "\xD0\x90"},
        TStringCase{"utf8_from_2007_on", Section("HEADER", {{9, "$ACADVER"}, {1, "AC1021"}}), "\xD0\x90", "\xD0\x90"},
        TStringCase{"unicode_escape", {}, "\\U+039B", "\xCE\x9B"},
        TStringCase{"default_code_page_1252", {}, "\xC4", "\xC3\x84"}),
    [](const auto& I) { return std::string(I.param.Name); });

// ---------------------------------------------------------------- tables and links

TEST(DxfReader, layer_listed_twice_keeps_the_first_definition) {
  const TGroups G = Concat({Section("TABLES", Table("LAYER", Concat({Layer("0", 1), Layer("0", 2), Layer("A", 3)}))),
                            Section("ENTITIES", Line("A", 0, 0, 1, 1)), cEOF});
  TLoaded L(TextDXF(G));
  const TqdDXFEntity* Layers = L.Conv().GetSection(csLayers);
  int Zeros = 0;
  for (int I = 0; I < Layers->Count(); ++I) Zeros += Layers->GetEntity(I)->Name() == "0";
  EXPECT_EQ(Zeros, 1);
  EXPECT_EQ(Layers->FindEntByName("0")->ColorCAD().IndexValue(), 1);
  ASSERT_EQ(L.R.Warnings.size(), 1u);
  EXPECT_NE(L.R.Warnings[0].find("duplicate"), std::string::npos);
}

TEST(DxfReader, forward_layer_reference_resolves_to_the_tables_layer) {
  // ENTITIES before TABLES: the line meets "WALLS" before the table defines it.
  const TGroups G = Concat({Section("ENTITIES", Line("Walls", 0, 0, 1, 1)),
                            Section("TABLES", Table("LAYER", Concat({Layer("0", 7), Layer("WALLS", 3)}))), cEOF});
  TLoaded L(TextDXF(G));
  ASSERT_TRUE(L.R.Ok);
  const TqdDXFLayer* Layer = L.Conv().GetEntity(0)->Layer();
  ASSERT_NE(Layer, nullptr);
  EXPECT_EQ(Layer, L.Conv().GetSection(csLayers)->FindEntByName("WALLS"));
  EXPECT_EQ(Layer->ColorCAD().IndexValue(), 3);
  EXPECT_EQ(L.Conv().GetSection(csLayers)->Count(), 2);
}

TEST(DxfReader, standard_items_exist_after_reading_nothing_but_a_line) {
  TLoaded L(TextDXF(Concat({Section("ENTITIES", Line("X", 0, 0, 1, 1)), cEOF})));
  TqdDXFConverter& C = L.Conv();
  for (const char* N : {"BYBLOCK", "BYLAYER", "CONTINUOUS"}) EXPECT_NE(C.LTypeByName(N), nullptr) << N;
  EXPECT_NE(C.GetSection(csLayers)->FindEntByName("0"), nullptr);
  EXPECT_NE(C.GetSection(csLayers)->FindEntByName("X"), nullptr);  // made for the line
  EXPECT_NE(C.GetSection(csStyles)->FindEntByName("STANDARD"), nullptr);
  EXPECT_NE(C.GetSection(csDimStyles)->FindEntByName("STANDARD"), nullptr);
}

// ---------------------------------------------------------------- blocks

TEST(DxfReader, blocks_are_read_with_their_entities_and_space_blocks_found_by_name) {
  const TGroups Blocks = Concat({{{0, "BLOCK"}, {2, "$MODEL_SPACE"}, {70, "0"}, {10, "0"}, {20, "0"}, {30, "0"}},
                                 {{0, "ENDBLK"}},
                                 {{0, "BLOCK"}, {2, "DOOR"}, {70, "0"}, {10, "1"}, {20, "2"}, {30, "0"}},
                                 Line("0", 0, 0, 1, 0),
                                 Line("0", 0, 0, 0, 1),
                                 {{0, "ENDBLK"}}});
  TLoaded L(TextDXF(Concat({Section("BLOCKS", Blocks), Section("ENTITIES", Line("0", 0, 0, 1, 1)), cEOF})));
  ASSERT_TRUE(L.R.Ok);
  const TqdDXFBlock* Door = L.Conv().BlockByName("door");
  ASSERT_NE(Door, nullptr);
  EXPECT_EQ(Door->Count(), 2);
  EXPECT_DOUBLE_EQ(Door->Offset().Y, 2);
  EXPECT_EQ(L.Conv().GetLayout(0)->PaperSpaceBlockField()->Name(), "$MODEL_SPACE");
  EXPECT_EQ(L.Conv().GetLayout(0)->Count(), 1);
}

// ---------------------------------------------------------------- failures

TEST(DxfReader, truncated_file_keeps_entities_before_the_cut) {
  const std::string Full = TextDXF(Concat({Section("ENTITIES", Concat({Line("0", 0, 0, 1, 1), Line("0", 0, 0, 2, 2),
                                                                        Line("0", 0, 0, 3, 3)})),
                                           cEOF}));
  const std::size_t Cut = Full.find("LINE", Full.find("LINE", Full.find("LINE") + 1) + 1) + 12;
  TLoaded L(Full.substr(0, Cut));
  ASSERT_TRUE(L.R.Ok) << L.R.Error;
  EXPECT_EQ(L.Types(0).size(), 3u);  // two whole lines and the one cut in the middle
  ASSERT_EQ(L.R.Warnings.size(), 1u);
  EXPECT_NE(L.R.Warnings[0].find("EOF"), std::string::npos);
}

TEST(DxfReader, binary_error_reports_line_and_keeps_what_was_read) {
  std::string D = BinaryDXF(Concat({Section("ENTITIES", Line("0", 0, 0, 1, 1))}));
  PutLE(D, 2000, 2);  // no such group code
  D += "junk";
  TLoaded L(D);
  EXPECT_FALSE(L.R.Ok);
  EXPECT_EQ(L.R.Error.rfind("DXF read error on line ", 0), 0u) << L.R.Error;
  EXPECT_NE(L.R.Error.find("\r\nIllegal group code 2000 at"), std::string::npos) << L.R.Error;
  EXPECT_EQ(L.Types(0), (std::vector<std::string>{"LINE"}));
}

TEST(DxfReader, not_dxf_at_all_is_an_error) {
  TLoaded L("just some words\nnothing else\n");
  EXPECT_FALSE(L.R.Ok);
  EXPECT_FALSE(L.R.Error.empty());
}

TEST(DxfReader, progress_handler_can_cancel_and_the_partial_drawing_stays) {
  TGroups Lines;
  for (int I = 0; I < 50; ++I) {
    const TGroups L = Line("0", 0, 0, I, I);
    Lines.insert(Lines.end(), L.begin(), L.end());
  }
  const std::string D = TextDXF(Concat({Section("ENTITIES", Lines), cEOF}));
  TqdConverterRef C(new TqdDXFConverter());
  int Calls = 0;
  TdxfLoadOptions O;
  O.OnProgress = [&](std::size_t, std::size_t) {
    if (++Calls == 10) C->StopLoading();
  };
  RegisterDXFReader();
  TdxfLoadResult R = LoadDXFFromMemory(D.data(), D.size(), *C.get(), O);
  EXPECT_TRUE(R.Ok);
  EXPECT_GT(C->GetLayout(0)->Count(), 0);
  EXPECT_LT(C->GetLayout(0)->Count(), 50);
  EXPECT_EQ(C->Status(), stDefault);
}

// ---------------------------------------------------------------- binary

TEST(DxfReader, binary_files_with_two_and_one_byte_codes_read_the_same) {
  const TGroups G = Concat({Section("HEADER", {{9, "$ACADVER"}, {1, "AC1009"}}),
                            Section("ENTITIES", Concat({Line("0", 0, 0, 1, 1),
                                                        {{1001, "MYAPP"}, {1000, "tag"}, {1070, "7"}}})),
                            cEOF});
  for (int Size : {2, 1}) {
    SCOPED_TRACE(Size);
    TLoaded L(BinaryDXF(G, Size));
    ASSERT_TRUE(L.R.Ok) << L.R.Error;
    EXPECT_EQ(L.R.Format, dfBinary);
    EXPECT_EQ(L.R.GroupCodeSize, Size);
    EXPECT_EQ(L.R.AcadVer, "AC1009");
    ASSERT_EQ(L.Types(0), (std::vector<std::string>{"LINE"}));
    // The 1-byte form reaches extended data through the 255 escape.
    const TqdCADExtendedData* X = L.Conv().GetEntity(0)->GetEED("MYAPP");
    ASSERT_NE(X, nullptr);
    EXPECT_EQ(X->DataString(1), "tag");
    EXPECT_EQ(X->DataInt(2), 7);
    EXPECT_TRUE(L.R.Warnings.empty());
  }
}

// ---------------------------------------------------------------- extended data

TEST(DxfReader, extended_data_of_an_entity_without_handle_is_kept) {
  const TGroups G = Concat({Section("ENTITIES", Concat({Line("0", 0, 0, 1, 1),
                                                        {{1001, "APP1"},
                                                         {1000, "text"},
                                                         {1020, "9"},  // Y without a point: ignored
                                                         {1010, "1"},
                                                         {1020, "2"},
                                                         {1030, "3"},
                                                         {1040, "2.5"},
                                                         {1071, "70000"},
                                                         {1005, "1F"},
                                                         {1001, "APP2"},
                                                         {1000, "second"}}})),
                            cEOF});
  TLoaded L(TextDXF(G));
  const TqdDXFEntity* E = L.Conv().GetEntity(0);
  ASSERT_NE(E, nullptr);
  const TqdCADExtendedData* A = E->GetEED("APP1");
  ASSERT_NE(A, nullptr);
  ASSERT_EQ(A->Count(), 6);
  EXPECT_EQ(A->DataString(0), "APP1");
  EXPECT_EQ(A->DataString(1), "text");
  EXPECT_EQ(A->DataType(2), edtF3DPoint);
  EXPECT_DOUBLE_EQ(A->DataPoint(2).Y, 2);
  EXPECT_DOUBLE_EQ(A->DataPoint(2).Z, 3);
  EXPECT_DOUBLE_EQ(A->DataDouble(3), 2.5);
  EXPECT_EQ(A->DataInt(4), 70000);
  EXPECT_EQ(A->DataInt(5), 0x1F);
  ASSERT_NE(E->GetEED("APP2"), nullptr);
  // The applications exist in APPID after reading.
  EXPECT_NE(L.Conv().GetSection(csAppID)->FindEntByName("APP1"), nullptr);
  EXPECT_NE(L.Conv().GetSection(csAppID)->FindEntByName("APP2"), nullptr);
  // The line was given a handle at the end, and the data stayed with it.
  EXPECT_NE(E->Handle(), 0u);
}

TEST(DxfReader, handle_seed_at_the_top_saturates_instead_of_wrapping) {
  const TGroups G = Concat({Section("HEADER", {{9, "$HANDSEED"}, {5, "FFFFFFFFFFFFFFFF"}}),
                            Section("ENTITIES", Concat({Line("0", 0, 0, 1, 1), Line("0", 0, 0, 2, 2)})), cEOF});
  TLoaded L(TextDXF(G));
  ASSERT_TRUE(L.R.Ok);
  EXPECT_EQ(L.Conv().FMaxHandle, std::numeric_limits<std::uint64_t>::max());
  for (int I = 0; I < 2; ++I) EXPECT_NE(L.Conv().GetEntity(I)->Handle(), 1u);
}

// ---------------------------------------------------------------- objects

TGroups Dict(const char* Handle, const char* Owner, const TGroups& Entries) {
  return Concat({{{0, "DICTIONARY"}, {5, Handle}, {330, Owner}, {100, "AcDbDictionary"}}, Entries});
}

TEST(DxfReader, dictionary_tree_and_layouts_from_objects) {
  const TGroups Objects = Concat({Dict("C", "0", {{3, "ACAD_LAYOUT"}, {350, "1A"}}),
                                  Dict("1A", "C", {{3, "Model"}, {350, "22"}, {3, "Sheet A"}, {350, "1E"}}),
                                  {{0, "LAYOUT"}, {5, "22"}, {330, "1A"}, {1, "Model"}, {330, "1F"}},
                                  {{0, "LAYOUT"}, {5, "1E"}, {330, "1A"}, {1, "Sheet A"}, {330, "1B"}}});
  const TGroups Records = Table("BLOCK_RECORD", Concat({{{0, "BLOCK_RECORD"}, {5, "1F"}, {2, "*Model_Space"}},
                                                        {{0, "BLOCK_RECORD"}, {5, "1B"}, {2, "*Paper_Space"}}}));
  const TGroups G = Concat({Section("TABLES", Records),
                            Section("ENTITIES", Concat({Line("0", 0, 0, 1, 1), Line("0", 0, 0, 1, 1, true)})),
                            Section("OBJECTS", Objects), cEOF});
  TLoaded L(TextDXF(G));
  ASSERT_TRUE(L.R.Ok) << L.R.Error;
  EXPECT_EQ(LayoutNames(L.Conv()), (std::vector<std::string>{"Model", "Sheet A"}));
  EXPECT_EQ(L.Conv().GetLayout(1)->PaperSpaceBlockField()->Name(), "*Paper_Space");
  EXPECT_EQ(L.Conv().GetLayout(1)->Count(), 1);
  EXPECT_EQ(BlockNames(L.Conv()), (std::vector<std::string>{"*Model_Space", "*Paper_Space"}));
  EXPECT_TRUE(L.R.Warnings.empty());
}

TGroups Layout(const char* Handle, const char* Name, const char* Tab, const char* Record) {
  // The page setup part first, as files write it; the layout's own 1 and 71 follow the
  // AcDbLayout marker.
  return {{0, "LAYOUT"}, {5, Handle}, {330, "1A"}, {100, "AcDbPlotSettings"}, {1, ""}, {70, "688"},
          {100, "AcDbLayout"}, {1, Name}, {70, "1"}, {71, Tab}, {330, Record}};
}

TEST(DxfReader, paper_layouts_follow_the_tab_order_not_handles_or_the_dictionary) {
  // Dictionary order A, B, C; handle order C, A, B; tab order C, B, A.
  const TGroups Objects =
      Concat({Dict("C", "0", {{3, "ACAD_LAYOUT"}, {350, "1A"}}),
              Dict("1A", "C", {{3, "Model"}, {350, "22"}, {3, "Sheet A"}, {350, "30"}, {3, "Sheet B"}, {350, "40"},
                               {3, "Sheet C"}, {350, "1E"}}),
              Layout("22", "Model", "0", "1F"), Layout("30", "Sheet A", "3", "31"), Layout("40", "Sheet B", "2", "41"),
              Layout("1E", "Sheet C", "1", "1B")});
  const TGroups Records = Table("BLOCK_RECORD", Concat({{{0, "BLOCK_RECORD"}, {5, "1F"}, {2, "*Model_Space"}},
                                                        {{0, "BLOCK_RECORD"}, {5, "1B"}, {2, "*Paper_Space"}},
                                                        {{0, "BLOCK_RECORD"}, {5, "31"}, {2, "*Paper_Space0"}},
                                                        {{0, "BLOCK_RECORD"}, {5, "41"}, {2, "*Paper_Space1"}}}));
  const TGroups Blocks = Concat({{{0, "BLOCK"}, {2, "*Paper_Space0"}, {70, "0"}, {10, "0"}, {20, "0"}, {30, "0"}},
                                 Line("0", 0, 0, 1, 0), {{0, "ENDBLK"}},
                                 {{0, "BLOCK"}, {2, "*Paper_Space1"}, {70, "0"}, {10, "0"}, {20, "0"}, {30, "0"}},
                                 Line("0", 0, 0, 0, 1), {{0, "ENDBLK"}}});
  TLoaded L(TextDXF(Concat({Section("TABLES", Records), Section("BLOCKS", Blocks),
                            Section("ENTITIES", Concat({Line("0", 0, 0, 1, 1), Line("0", 0, 0, 1, 1, true)})),
                            Section("OBJECTS", Objects), cEOF})));
  ASSERT_TRUE(L.R.Ok) << L.R.Error;
  EXPECT_EQ(LayoutNames(L.Conv()), (std::vector<std::string>{"Model", "Sheet C", "Sheet B", "Sheet A"}));
  std::vector<int> Tabs;
  for (int I = 0; I < L.Conv().LayoutsCount(); ++I)
    Tabs.push_back(L.Conv().GetLayout(I)->TabOrder());
  EXPECT_EQ(Tabs, (std::vector<int>{0, 1, 2, 3}));
}

// Sheet A is the first tab, Sheet B the second; the record named by SheetB is the block
// that Sheet B's entities land in when they carry code 67.
std::string TwoSheets(const char* TileMode, const char* SheetB) {
  const TGroups Objects =
      Concat({Dict("C", "0", {{3, "ACAD_LAYOUT"}, {350, "1A"}}),
              Dict("1A", "C", {{3, "Model"}, {350, "22"}, {3, "Sheet A"}, {350, "30"}, {3, "Sheet B"}, {350, "1E"}}),
              Layout("22", "Model", "0", "1F"), Layout("30", "Sheet A", "1", "31"), Layout("1E", "Sheet B", "2", "1B")});
  const TGroups Records = Table("BLOCK_RECORD", Concat({{{0, "BLOCK_RECORD"}, {5, "1F"}, {2, "*Model_Space"}},
                                                        {{0, "BLOCK_RECORD"}, {5, "1B"}, {2, SheetB}},
                                                        {{0, "BLOCK_RECORD"}, {5, "31"}, {2, "*Paper_Space0"}}}));
  const TGroups Blocks = Concat({{{0, "BLOCK"}, {2, "*Paper_Space0"}, {70, "0"}, {10, "0"}, {20, "0"}, {30, "0"}},
                                 Line("0", 0, 0, 1, 0), {{0, "ENDBLK"}},
                                 {{0, "BLOCK"}, {2, SheetB}, {70, "0"}, {10, "0"}, {20, "0"}, {30, "0"}},
                                 Line("0", 0, 0, 0, 1), {{0, "ENDBLK"}}});
  return TextDXF(Concat({Section("HEADER", {{9, "$ACADVER"}, {1, "AC1015"}, {9, "$TILEMODE"}, {70, TileMode}}),
                         Section("TABLES", Records), Section("BLOCKS", Blocks),
                         Section("ENTITIES", Line("0", 0, 0, 1, 1)), Section("OBJECTS", Objects), cEOF}));
}

TEST(DxfReader, default_layout_is_the_paper_layout_saved_current_not_the_first_tab) {
  TLoaded L(TwoSheets("0", "*Paper_Space"));
  ASSERT_TRUE(L.R.Ok) << L.R.Error;
  ASSERT_EQ(LayoutNames(L.Conv()), (std::vector<std::string>{"Model", "Sheet A", "Sheet B"}));
  EXPECT_EQ(L.Conv().DefaultLayoutIndex(), 2);
  TLoaded Model(TwoSheets("1", "*Paper_Space"));
  EXPECT_EQ(Model.Conv().DefaultLayoutIndex(), 0);
  // No sheet owns the paper-space block: the first tab.
  TLoaded Unmarked(TwoSheets("0", "*Paper_Space1"));
  ASSERT_EQ(LayoutNames(Unmarked.Conv()), (std::vector<std::string>{"Model", "Sheet A", "Sheet B"}));
  EXPECT_EQ(Unmarked.Conv().DefaultLayoutIndex(), 1);
}

TEST(DxfReader, dictionary_cycles_are_refused) {
  // A lists B, B lists A and itself, C lists its owner A: none of it may loop.
  const TGroups Objects = Concat({Dict("A", "0", {{3, "B"}, {350, "B"}, {3, "SELF"}, {350, "A"}}),
                                  Dict("B", "A", {{3, "A"}, {350, "A"}, {3, "SELF"}, {350, "B"}, {3, "C"}, {350, "C"}}),
                                  Dict("C", "B", {{3, "UP"}, {350, "A"}, {3, "UP2"}, {350, "B"}})});
  TLoaded L(TextDXF(Concat({Section("OBJECTS", Objects), cEOF})));
  ASSERT_TRUE(L.R.Ok) << L.R.Error;
  bool Refused = false;
  for (const std::string& W : L.R.Warnings) Refused |= W.find("refused") != std::string::npos;
  EXPECT_TRUE(Refused);
  // Every item has a finite owner chain.
  const TqdDXFEntity* Objs = L.Conv().GetSection(csObjects);
  std::function<void(const TqdDXFEntity*, int)> Walk = [&](const TqdDXFEntity* E, int Depth) {
    ASSERT_LT(Depth, 10);
    for (int I = 0; I < E->Count(); ++I) Walk(E->GetEntity(I), Depth + 1);
  };
  Walk(Objs, 0);
}

TEST(DxfReader, dictionary_entry_read_before_its_dictionary_moves_in) {
  const TGroups Objects = Concat({{{0, "XRECORD"}, {5, "30"}, {330, "C"}, {100, "AcDbXrecord"}},
                                  Dict("C", "0", {{3, "MYREC"}, {350, "30"}})});
  TLoaded L(TextDXF(Concat({Section("OBJECTS", Objects), cEOF})));
  const TqdDXFEntity* Objs = L.Conv().GetSection(csObjects);
  const TqdDXFEntity* Root = nullptr;
  for (int I = 0; I < Objs->Count(); ++I)
    if (Objs->GetEntity(I)->Handle() == 0xC) Root = Objs->GetEntity(I);
  ASSERT_NE(Root, nullptr);
  ASSERT_NE(Root->FindEntByName("MYREC"), nullptr);
  EXPECT_EQ(Root->FindEntByName("MYREC")->Handle(), 0x30u);
}

// ---------------------------------------------------------------- nesting

TEST(DxfReader, nested_complex_objects_do_not_nest_without_bound) {
  // Every INSERT and every VERTEX claims children (66 1); thousands deep in a row.
  TGroups Body{{0, "POLYLINE"}, {66, "1"}, {8, "0"}};
  for (int I = 0; I < 3000; ++I) Body.insert(Body.end(), {{0, I % 2 ? "INSERT" : "VERTEX"}, {66, "1"}, {8, "0"}});
  Body = Concat({Body, {{0, "SEQEND"}}, Line("0", 0, 0, 1, 1)});
  TLoaded L(TextDXF(Concat({Section("ENTITIES", Body), Section("BLOCKS", {}), cEOF})));
  ASSERT_TRUE(L.R.Ok) << L.R.Error;
  // The line after the chain still lands in the model space.
  const std::vector<std::string> T = L.Types(0);
  ASSERT_FALSE(T.empty());
  EXPECT_EQ(T.back(), "LINE");
}

TEST(DxfReader, code_66_on_a_line_does_not_swallow_the_next_entities) {
  const TGroups Body = Concat({{{0, "LINE"}, {66, "1"}, {8, "0"}}, Line("0", 0, 0, 1, 1), Line("0", 0, 0, 2, 2)});
  TLoaded L(TextDXF(Concat({Section("ENTITIES", Body), cEOF})));
  EXPECT_EQ(L.Types(0).size(), 3u);
}

TEST(DxfReader, table_inside_a_table_ends_the_first) {
  const TGroups Tables = Concat({{{0, "TABLE"}, {2, "LAYER"}}, Layer("A", 1),
                                 Table("LTYPE", {{{0, "LTYPE"}, {2, "DASHED"}, {70, "0"}}}), Layer("B", 2),
                                 {{0, "ENDTAB"}}});
  TLoaded L(TextDXF(Concat({Section("TABLES", Tables), cEOF})));
  ASSERT_TRUE(L.R.Ok);
  EXPECT_NE(L.Conv().GetSection(csLayers)->FindEntByName("A"), nullptr);
  EXPECT_NE(L.Conv().LTypeByName("DASHED"), nullptr);
}

}  // namespace

namespace {

// ---------------------------------------------------------------- files on disk

// A file read through its mapping hands back the pages behind the reader as it goes
// (every few megabytes): what it loads must be what the same text loads from memory.
TEST(DxfReader, large_mapped_file_reads_the_same_as_from_memory) {
  // Lines before and after six megabytes of comments: the reader passes several
  // release points with entities on both sides.
  TGroups Body;
  for (int I = 0; I < 4000; ++I) {
    if (I == 2000)
      for (int K = 0; K < 6; ++K) Body.push_back({999, std::string(1 << 20, 'c')});
    TGroups L = Line(I % 2 ? "A" : "B", I, 0, I, 1);
    Body.insert(Body.end(), L.begin(), L.end());
  }
  const std::string D = TextDXF(Concat({Section("ENTITIES", Body), cEOF}));
  ASSERT_GT(D.size(), std::size_t(6) << 20);  // past the first release
  const std::string Path = testing::TempDir() + "draftwell-large-mapped.dxf";
  {
    std::FILE* F = std::fopen(Path.c_str(), "wb");
    ASSERT_NE(F, nullptr);
    ASSERT_EQ(std::fwrite(D.data(), 1, D.size(), F), D.size());
    std::fclose(F);
  }
  TLoaded FromMemory(D);
  TqdConverterRef C(new TqdDXFConverter(TqdConverterParams{true, {}}));
  const TdxfLoadResult R = LoadDXFFile(Path, *C.get(), {true, {}});
  std::remove(Path.c_str());
  ASSERT_TRUE(R.Ok) << R.Error;
  const TqdDXFBlock* A = C->GetLayout(0)->PaperSpaceBlockField();
  const TqdDXFBlock* B = FromMemory.Conv().GetLayout(0)->PaperSpaceBlockField();
  ASSERT_EQ(A->Count(), 4000);
  ASSERT_EQ(B->Count(), 4000);
  for (int I = 0; I < A->Count(); I += 97) {
    EXPECT_EQ(A->GetEntity(I)->Box().Left, B->GetEntity(I)->Box().Left);
    EXPECT_EQ(A->GetEntity(I)->Layer()->Name(), B->GetEntity(I)->Layer()->Name());
  }
}

// ---------------------------------------------------------------- regressions found by fuzzing

TEST(DxfReaderRegression, layouts_dictionary_holding_an_xrecord) {
  // The second entry of ACAD_LAYOUT is no layout: the end-of-load cleaning met a null layout.
  const TGroups Objects = Concat({Dict("C", "0", {{3, "ACAD_LAYOUT"}, {350, "1A"}}),
                                  Dict("1A", "C", {{3, "Model"}, {350, "22"}, {3, "Odd"}, {350, "23"}}),
                                  {{0, "LAYOUT"}, {5, "22"}, {330, "1A"}, {1, "Model"}},
                                  {{0, "XRECORD"}, {5, "23"}, {330, "1A"}}});
  TLoaded L(TextDXF(Concat({Section("ENTITIES", Line("0", 0, 0, 1, 1)), Section("OBJECTS", Objects), cEOF})));
  ASSERT_TRUE(L.R.Ok) << L.R.Error;
  for (int I = 0; I < L.Conv().LayoutsCount(); ++I) EXPECT_NE(L.Conv().GetLayout(I), nullptr) << I;
  EXPECT_EQ(L.Conv().GetLayout(0)->Count(), 1);
}

}  // namespace

namespace {

TEST(DxfReaderRegression, extended_data_on_vertices_of_a_dropped_polyline) {
  // A polyline where no entity belongs is dropped with its vertices; data filed for a
  // vertex would outlive it in the converter.
  const TGroups Objects = Concat({{{0, "POLYLINE"}, {66, "1"}, {8, "0"}},
                                  {{0, "VERTEX"}, {8, "0"}, {1001, "APP"}, {1000, "x"}},
                                  {{0, "VERTEX"}, {8, "0"}, {102, "{ACAD_XDICTIONARY"}, {360, "99"}, {102, "}"}},
                                  {{0, "SEQEND"}}});
  TLoaded L(TextDXF(Concat({Section("OBJECTS", Objects), Section("ENTITIES", Line("0", 0, 0, 1, 1)), cEOF})));
  ASSERT_TRUE(L.R.Ok) << L.R.Error;
  EXPECT_EQ(L.Types(0), (std::vector<std::string>{"LINE"}));
  L.Conv().Clear();  // walks the per-object data: nothing of the vertices may be left
}

}  // namespace

namespace {

TEST(DxfReader, deep_dictionary_chain_stays_within_the_tree_depth) {
  // Each dictionary lists the next: the chain would be 1100 deep.
  TGroups Objects;
  for (int I = 1; I <= 1100; ++I) {
    char H[16], N[16];
    std::snprintf(H, sizeof H, "%X", 0x100 + I);
    std::snprintf(N, sizeof N, "%X", 0x101 + I);
    Objects.insert(Objects.end(), {{0, "DICTIONARY"}, {5, H}, {3, "NEXT"}, {350, N}});
  }
  TLoaded L(TextDXF(Concat({Section("OBJECTS", Objects), cEOF})));
  ASSERT_TRUE(L.R.Ok) << L.R.Error;
  int Deepest = 0;
  std::function<void(const TqdDXFEntity*, int)> Walk = [&](const TqdDXFEntity* E, int Depth) {
    Deepest = std::max(Deepest, Depth);
    for (int I = 0; I < E->Count(); ++I) Walk(E->GetEntity(I), Depth + 1);
  };
  Walk(L.Conv().Main(), 0);
  EXPECT_LT(Deepest, cnstMaxTreeDepth);
  EXPECT_GT(Deepest, 500);  // the chain itself is kept as far as it may go
}

}  // namespace

namespace {

TEST(DxfReader, layouts_without_their_dictionary_are_still_the_drawings_layouts) {
  // The root lists ACAD_LAYOUT under 1A, but the file never defines 1A.
  const TGroups Objects = Concat({Dict("C", "0", {{3, "ACAD_LAYOUT"}, {350, "1A"}}),
                                  {{0, "LAYOUT"}, {5, "22"}, {330, "1A"}, {1, "Model"}, {330, "1F"}},
                                  {{0, "LAYOUT"}, {5, "1E"}, {330, "1A"}, {1, "Sheet A"}, {330, "1B"}}});
  const TGroups Records = Table("BLOCK_RECORD", Concat({{{0, "BLOCK_RECORD"}, {5, "1F"}, {2, "*Model_Space"}},
                                                        {{0, "BLOCK_RECORD"}, {5, "1B"}, {2, "*Paper_Space"}}}));
  TLoaded L(TextDXF(Concat({Section("TABLES", Records),
                            Section("ENTITIES", Concat({Line("0", 0, 0, 1, 1), Line("0", 0, 0, 1, 1, true)})),
                            Section("OBJECTS", Objects), cEOF})));
  ASSERT_TRUE(L.R.Ok) << L.R.Error;
  EXPECT_EQ(LayoutNames(L.Conv()), (std::vector<std::string>{"Model", "Sheet A"}));
}

}  // namespace

namespace {

TEST(DxfReader, table_items_without_their_table_header_join_their_table) {
  // After ENDTAB of LAYER the LTYPE table's header is missing.
  const TGroups Tables = Concat({Table("LAYER", Layer("A", 1)), {{0, "LTYPE"}, {2, "DASHED"}, {70, "0"}},
                                 {{0, "LAYER"}, {2, "A"}, {62, "5"}}, {{0, "ENDTAB"}}});
  TLoaded L(TextDXF(Concat({Section("TABLES", Tables), cEOF})));
  ASSERT_TRUE(L.R.Ok);
  EXPECT_NE(L.Conv().LTypeByName("DASHED"), nullptr);
  EXPECT_EQ(L.Conv().GetSection(csLayers)->FindEntByName("A")->ColorCAD().IndexValue(), 1);  // first stays
}

}  // namespace

namespace {

TEST(DxfReader, table_outside_any_section_reads_as_if_tables_had_started) {
  TLoaded L(TextDXF(Concat({Table("LAYER", Layer("OUTSIDE", 4)), {{0, "ENDSEC"}},
                            Section("ENTITIES", Line("OUTSIDE", 0, 0, 1, 1)), cEOF})));
  ASSERT_TRUE(L.R.Ok) << L.R.Error;
  const TqdDXFEntity* Layer = L.Conv().GetSection(csLayers)->FindEntByName("OUTSIDE");
  ASSERT_NE(Layer, nullptr);
  EXPECT_EQ(L.Conv().GetEntity(0)->Layer(), Layer);
}

}  // namespace

namespace {

TEST(DxfReader, reader_reads_the_converters_own_source_copy) {
  // The picture's way: the converter holds a copy with its terminator, the reader reads it.
  const std::string D = TextDXF(Concat({Section("ENTITIES", Line("0", 0, 0, 1, 1)), cEOF}));
  RegisterDXFReader();
  TqdConverterRef C(new TqdDXFConverter());
  C->SetSourceStream(D.data(), D.size());
  TdxfReader R(C.get());
  R.Read();
  EXPECT_EQ(C->GetLayout(0)->Count(), 1);
  EXPECT_EQ(C->Status(), stDefault);
  EXPECT_TRUE(R.Warnings().empty());
  EXPECT_EQ(R.FileInfo(), "");
}

TEST(DxfReader, read_error_is_raised_after_the_drawing_is_completed) {
  std::string D = BinaryDXF(Concat({Section("ENTITIES", Line("0", 0, 0, 1, 1))}));
  PutLE(D, 3000, 2);
  RegisterDXFReader();
  TqdConverterRef C(new TqdDXFConverter());
  C->SetSourceStream(D.data(), D.size());
  TdxfBinReader R(C.get(), 2);
  EXPECT_THROW(R.Read(), EdxfReadError);
  // Standard items, layouts and the loaded state are there all the same.
  EXPECT_EQ(C->Status(), stDefault);
  EXPECT_NE(C->LTypeByName("CONTINUOUS"), nullptr);
  EXPECT_EQ(C->GetLayout(0)->Count(), 1);
}

}  // namespace

#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "readers/dxf/DXF.h"
#include "SHXFontList.h"
#include "qdReaders.h"

// Every program that loads a drawing through the shared loader finds fonts kept beside
// it first.
TEST(DrawingFolderFonts, the_loader_puts_the_drawing_folder_first_on_the_shx_path) {
  namespace fs = std::filesystem;
  const fs::path Dir = fs::temp_directory_path() / ("dw-fonts-" + std::to_string(::getpid()));
  fs::create_directories(Dir);
  {
    std::ofstream F(Dir / "a.dxf");
    F << "0\nSECTION\n2\nENTITIES\n0\nENDSEC\n0\nEOF\n";
  }
  RegisterDXFReader();
  TqdConverterRef Ref(new TqdDXFConverter(TqdConverterParams{}));
  const TqdLoadResult R = qdLoadDrawingFile("dxf", (Dir / "a.dxf").string(), *Ref.get(), {});
  EXPECT_TRUE(R.Error.empty()) << R.Error;
  ASSERT_NE(Ref.get()->SHXFonts(), nullptr);
  const auto& Path = Ref.get()->SHXFonts()->SearchPath();
  ASSERT_FALSE(Path.empty());
  EXPECT_EQ(fs::path(Path.front()).lexically_normal(), (fs::absolute(Dir) / "").lexically_normal());
  fs::remove_all(Dir);
}
