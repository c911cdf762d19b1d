// The DWG file structure: version dispatch, the file header and its locators, the
// object map and classes sections, and the faults a damaged file can carry.
#include <gtest/gtest.h>

#include "Entities.h"
#include "dwg_test_util.h"

namespace {

TdwgLoadResult Load(const std::string& S) {
  TqdConverterRef C(new TqdDXFConverter(TqdConverterParams{true, {}}));
  // An exact-size copy, so that any read past the end is caught.
  std::unique_ptr<char[]> Buf(new char[S.size() ? S.size() : 1]);
  if (!S.empty()) std::memcpy(Buf.get(), S.data(), S.size());
  return LoadDWGFromMemory(Buf.get(), S.size(), *C.get());
}

// ---------------------------------------------------------------- versions

struct TVersionRow {
  const char* Name;
  std::string Bytes;
  TdwgVersionClass Class;
  TqdDWGVersion Version;
};

class DWGVersions : public ::testing::TestWithParam<TVersionRow> {};

TEST_P(DWGVersions, Classifies) {
  const TVersionRow& R = GetParam();
  const TdwgVersionInfo I = DWGVersionFromBytes(R.Bytes.data(), R.Bytes.size());
  EXPECT_EQ(I.Class, R.Class);
  if (R.Class == vcSupported) EXPECT_EQ(I.Version, R.Version);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, DWGVersions,
    ::testing::Values(TVersionRow{"ac1015_r2000", "AC1015", vcSupported, acR2000},
                      TVersionRow{"ac1012_r13", "AC1012", vcSupported, acR13},
                      TVersionRow{"ac1013_r14", "AC1013", vcSupported, acR14},
                      TVersionRow{"ac1032_r2018", "AC1032", vcSupported, acR2018},
                      TVersionRow{"ac1016_new", "AC1016", vcNew, acR2000},
                      TVersionRow{"ac1000_old", "AC1000", vcOld, acR2000},
                      TVersionRow{"ac1_50_old", "AC1.50", vcOld, acR2000},
                      TVersionRow{"ac2_10_r9_family", "AC2.10", vcSupported, acR09},
                      TVersionRow{"ac2_11_old", "AC2.11", vcOld, acR2000},
                      TVersionRow{"low_nibbles_only", "AC10Q5", vcSupported, acR2000},
                      TVersionRow{"five_chars_old", "AC101", vcOld, acR2000},
                      TVersionRow{"empty_old", "", vcOld, acR2000}),
    [](const auto& I) { return std::string(I.param.Name); });

TEST(DWGDispatch, MessagesNameTheVersion) {
  struct Row {
    const char* Name;
    std::string Data;
    std::string Error;
  } Rows[] = {
      {"new", std::string("AC1016") + std::string(300, '\0'), "Unsupported new DWG version ID: \"AC1016\""},
      {"old", std::string("AC1.40") + std::string(300, '\0'), "Unsupported old DWG version ID: \"AC1.40\""},
      {"r2004_zeros", std::string("AC1018") + std::string(300, '\0'), "DWG file header is corrupted"},
      {"r2007_short", std::string("AC1021") + std::string(300, '\0'),
       "DWG file is cut short: it ends at byte 306, before the end of its header"},
      {"r2007_zeros", std::string("AC1021") + std::string(0x500, '\0'), "DWG file header is corrupted"},
      {"r12_short", std::string("AC1009") + std::string(300, '\0'),
       "DWG file is cut short: it ends at byte 306, before the end of its header"},
      {"r2_10_not_yet", std::string("AC2.10") + std::string(300, '\0'), "DWG AC2.10 (R2.10) is not supported yet"},
      {"header_24_bytes", std::string("AC1015") + std::string(18, '\0'),
       "DWG file is cut short: it ends at byte 24, before the end of its header"},
      {"r2004_short", std::string("AC1018") + std::string(100, '\0'),
       "DWG file is cut short: it ends at byte 106, before the end of its header"},
      {"r2004_password", std::string("AC1018") + std::string(18, '\0') + "\x01" + std::string(300, '\0'),
       "Encrypted by password"},
  };
  for (const Row& R : Rows) {
    const TdwgLoadResult L = Load(R.Data);
    EXPECT_FALSE(L.Ok) << R.Name;
    EXPECT_EQ(L.Error, R.Error) << R.Name;
  }
}

// ---------------------------------------------------------------- locators

TEST(DWGFileHeader, LocatorCountAndSectionBounds) {
  // A count that would mean a 36 GB allocation.
  std::string Huge = DWGFile("AC1015", {});
  PutLE32(Huge, 21, 0xFFFFFFFF);
  EXPECT_EQ(Load(Huge).Error, "DWG file header is corrupted");
  // No sections: nothing that makes a drawing.
  EXPECT_EQ(Load(DWGFile("AC1015", {}) + std::string(100, '\0')).Error, "DWG file header is corrupted");
  // Seeker + size wraps in 32 bits.
  std::string Wrap = DWGFile("AC1015", {{2, MapEnd()}});
  PutLE32(Wrap, 26, 0xFFFFFFF0);
  PutLE32(Wrap, 30, 0x20);
  EXPECT_EQ(Load(Wrap).Error, "DWG file header is corrupted");
  // A section running past the end: the file was cut.
  std::string Cut = DWGFile("AC1015", {{2, MapEnd()}});
  PutLE32(Cut, 30, 0x1000);
  EXPECT_EQ(Load(Cut).Error, "DWG file is cut short: it ends at byte " + std::to_string(Cut.size()) +
                                 ", before the end of its object map section");
  // Measurement needs its four bytes.
  const TdwgLoadResult M = Load(DWGFile("AC1015", {{4, "\x01"}}));
  EXPECT_TRUE(M.Ok) << M.Error;
  EXPECT_EQ(M.Millimetres, -1);
  const TdwgLoadResult M4 = Load(DWGFile("AC1015", {{4, std::string("\x01\0\0\0", 4)}}));
  EXPECT_EQ(M4.Millimetres, 1);
}

TEST(DWGFileHeader, HeaderWithoutSentinelKeepsDefaults) {
  TqdConverterRef C(new TqdDXFConverter(TqdConverterParams{true, {}}));
  const std::string S = DWGFile("AC1015", {{0, std::string(64, '\x55')}});
  const TdwgLoadResult R = LoadDWGFromMemory(S.data(), S.size(), *C.get());
  EXPECT_TRUE(R.Ok) << R.Error;
  EXPECT_EQ(C->HeadVarStruct().LTScale, 1.0);
  EXPECT_EQ(C->HeadVarStruct().TileMode, 1);
  EXPECT_EQ(C->HeadVarStruct().CodePage, 1252);
}

TEST(DWGFileHeader, HeaderSizeBeyondItsSectionIsSkipped) {
  std::string H(reinterpret_cast<const char*>(cnstDWGHeaderSentinel), 16);
  H += std::string("\xFF\xFF\x00\x00", 4);  // 65535 bytes in a section of 40
  H += std::string(20, '\0');
  TqdConverterRef C(new TqdDXFConverter(TqdConverterParams{true, {}}));
  const std::string S = DWGFile("AC1015", {{0, H}});
  const TdwgLoadResult R = LoadDWGFromMemory(S.data(), S.size(), *C.get());
  EXPECT_TRUE(R.Ok) << R.Error;
  EXPECT_EQ(C->HeadVarStruct().LTScale, 1.0);
  ASSERT_FALSE(R.Warnings.empty());
}

// ---------------------------------------------------------------- object map

struct TMapRead {
  TdwgLoadResult Result;
  std::vector<std::pair<std::uint64_t, std::int64_t>> Entries;
};

TMapRead ReadMap(const std::string& AMap) {
  TMapRead M;
  const std::string S = DWGFile("AC1015", {{2, AMap}});
  TqdConverterRef C(new TqdDXFConverter(TqdConverterParams{true, {}}));
  TdwgReader R(*C.get(), reinterpret_cast<const std::uint8_t*>(S.data()), S.size(), acR2000);
  try {
    R.ReadFile();
    M.Result.Ok = true;
  } catch (const std::exception& X) {
    M.Result.Error = X.what();
  }
  M.Result.Warnings = R.Warnings();
  for (std::size_t I = 0; I < R.ObjMap().Count(); ++I)
    M.Entries.emplace_back(R.ObjMap()[I].Handle, R.ObjMap()[I].Location);
  return M;
}

using TEntries = std::vector<std::pair<std::uint64_t, std::int64_t>>;

TEST(DWGObjectMap, PairsAccumulatePerBlock) {
  const TMapRead M = ReadMap(MapBlock({{5, 100}, {2, -40}}) + MapBlock({{9, 10}}) + MapEnd());
  EXPECT_TRUE(M.Result.Ok);
  EXPECT_EQ(M.Entries, (TEntries{{5, 100}, {7, 60}, {9, 10}}));
}

TEST(DWGObjectMap, BlockOfSizeTwoEndsTheMap) {
  const TMapRead M = ReadMap(MapBlock({{5, 100}}) + MapEnd() + MapBlock({{9, 10}}));
  EXPECT_EQ(M.Entries, (TEntries{{5, 100}}));
}

TEST(DWGObjectMap, BlockCrossingTheSectionEndKeepsWhatWasRead) {
  std::string Cut = MapBlock({{9, 10}, {1, 1}});
  Cut.resize(Cut.size() - 4);
  const TMapRead M = ReadMap(MapBlock({{5, 100}}) + Cut);
  EXPECT_TRUE(M.Result.Ok);
  EXPECT_EQ(M.Entries, (TEntries{{5, 100}}));
  EXPECT_FALSE(M.Result.Warnings.empty());
}

TEST(DWGObjectMap, DuplicateHandlesKeepTheLastEntry) {
  const TMapRead M = ReadMap(MapBlock({{5, 100}, {0, 8}}) + MapBlock({{5, 300}, {1, 1}}) + MapEnd());
  EXPECT_EQ(M.Entries, (TEntries{{5, 300}, {6, 301}}));
  ASSERT_FALSE(M.Result.Warnings.empty());
  EXPECT_NE(M.Result.Warnings[0].find("more than once"), std::string::npos);
}

TEST(DWGObjectMap, EndlessMCRunIsDamageNotAHang) {
  std::string B = MapBlock({{5, 100}});
  std::string Bad(600, '\xFF');
  std::string Block;
  Block.push_back(static_cast<char>((Bad.size() + 2) >> 8));
  Block.push_back(static_cast<char>((Bad.size() + 2) & 0xFF));
  const TMapRead M = ReadMap(B + Block + Bad + std::string(2, '\0'));
  EXPECT_EQ(M.Entries, (TEntries{{5, 100}}));
}

TEST(DWGObjectMap, LocationsOutsideTheImageFailTheObject) {
  const std::string S = DWGFile("AC1015", {{2, MapBlock({{1, -10}, {1, 1000000}, {1, -999990}}) + MapEnd()}});
  TqdConverterRef C(new TqdDXFConverter(TqdConverterParams{true, {}}));
  TdwgReader R(*C.get(), reinterpret_cast<const std::uint8_t*>(S.data()), S.size(), acR2000);
  R.ReadFile();
  ASSERT_EQ(R.ObjMap().Count(), 3u);
  TdwgBitCursor D;
  std::string E;
  EXPECT_FALSE(R.ObjectData(0, D, E)) << "negative location";
  EXPECT_FALSE(R.ObjectData(1, D, E)) << "beyond the image";
  // At 0: the version string reads as an MS size that runs past the file.
  EXPECT_FALSE(R.ObjectData(2, D, E));
  EXPECT_FALSE(E.empty());
}

TEST(DWGObjectMap, OverlappingObjectsAreCheckedOnce) {
  // A thousand handles that all name one object of 30000 bytes: checking each would
  // read the object a thousand times.
  std::vector<std::pair<std::uint64_t, std::int32_t>> Pairs(1000, {1, 0});
  Pairs[0].second = 2000;
  const std::size_t HeadSize = DWGFile("AC1015", {{2, MapBlock(Pairs) + MapEnd()}}).size();
  Pairs[0].second = static_cast<std::int32_t>(HeadSize);  // same encoded length
  std::string S = DWGFile("AC1015", {{2, MapBlock(Pairs) + MapEnd()}});
  ASSERT_EQ(S.size(), HeadSize);
  S += std::string("\x30\x75", 2) + std::string(30000, '\x11') + std::string(2, '\0');
  const TdwgLoadResult R = Load(S);
  EXPECT_TRUE(R.Ok) << R.Error;
  bool Noted = false;
  for (const std::string& W : R.Warnings) Noted |= W.find("overlap others") != std::string::npos;
  EXPECT_TRUE(Noted);
}

// ---------------------------------------------------------------- classes

std::string ClassesSection(const std::string& AData, std::uint32_t ASize) {
  std::string S(reinterpret_cast<const char*>(cnstDWGClassesSentinel), 16);
  std::string N(4, '\0');
  PutLE32(N, 0, ASize);
  return S + N + AData + std::string(2, '\0') + std::string(16, '\0');
}

TEST(DWGClasses, RecordsAndSizeChecks) {
  TBitWriter W;
  for (int K = 0; K < 2; ++K) {
    W.BS(500 + K);
    W.BS(0);
    W.TV("ObjectDBX Classes");
    W.TV(K ? "AcDbDictionaryWithDefault" : "AcDbPlaceHolder");
    W.TV(K ? "ACDBDICTIONARYWDFLT" : "ACDBPLACEHOLDER");
    W.B(0);
    W.BS(0x1F3);
  }
  const std::string Data = W.Str();
  {
    const std::string S = DWGFile("AC1015", {{1, ClassesSection(Data, static_cast<std::uint32_t>(Data.size()))}});
    TqdConverterRef C(new TqdDXFConverter(TqdConverterParams{true, {}}));
    TdwgReader R(*C.get(), reinterpret_cast<const std::uint8_t*>(S.data()), S.size(), acR2000);
    R.ReadFile();
    ASSERT_EQ(R.Classes().size(), 2u);
    EXPECT_EQ(R.Classes()[1].Number, 501);
    EXPECT_EQ(R.Classes()[1].DXFName, "ACDBDICTIONARYWDFLT");
    EXPECT_EQ(R.Classes()[0].ItemClassID, 0x1F3);
  }
  for (std::uint32_t Bad : {0u, 19u, 0xFFFFFFF0u, 0xFFFFFFFFu}) {
    const std::string S = DWGFile("AC1015", {{1, ClassesSection(Data, Bad)}});
    TqdConverterRef C(new TqdDXFConverter(TqdConverterParams{true, {}}));
    TdwgReader R(*C.get(), reinterpret_cast<const std::uint8_t*>(S.data()), S.size(), acR2000);
    R.ReadFile();
    EXPECT_TRUE(R.Classes().empty()) << Bad;
    EXPECT_FALSE(R.Warnings().empty()) << Bad;
  }
}

// ---------------------------------------------------------------- later sections

TEST(DWGLaterSections, SummaryInformationAndTemplate) {
  TBitWriter W;
  for (const char* T : {"Title", "Subject", "Me", "k", "c", "saver", "7", "http://x"}) {
    W.RS(static_cast<int>(std::strlen(T)));
    W.Bytes(T);
  }
  W.RL(1);
  W.RL(1000);  // editing time
  W.RL(2440588);
  W.RL(0);  // created
  W.RL(0xFFFFFFFF);
  W.RL(0);  // modified: outside the calendar
  W.RS(1);
  W.RS(3);
  W.Bytes("Key");
  W.RS(5);
  W.Bytes("Value");
  const std::string S = DWGFile("AC1018", {{4, W.Str()}});
  TqdConverterRef C(new TqdDXFConverter(TqdConverterParams{true, {}}));
  TdwgReader R(*C.get(), reinterpret_cast<const std::uint8_t*>(S.data()), S.size(), acR2004);
  R.ReadFile();
  EXPECT_EQ(C->DrwProp(2), "Title");
  EXPECT_EQ(C->DrwProp(7), "k");
  EXPECT_EQ(C->DrwProp(1), "http://x");
  EXPECT_EQ(C->FDrwPropCreatedDateTime, 4 * 3600);
  EXPECT_EQ(C->FDrwPropTotalEditingTime, 86400 + 1);
  ASSERT_EQ(C->DrwPropCustomSummaryInfo().size(), 1u);
  EXPECT_EQ(C->DrwPropCustomSummaryInfo()[0].second, "Value");

  // Template: a UTF-16 description, then the measurement.
  TBitWriter T;
  T.RS(2);
  T.RS('a');
  T.RS('b');
  T.RS(1);
  const std::string S7 = DWGFile("AC1021", {{5, T.Str()}});
  TqdConverterRef C7(new TqdDXFConverter(TqdConverterParams{true, {}}));
  TdwgReader R7(*C7.get(), reinterpret_cast<const std::uint8_t*>(S7.data()), S7.size(), acR2007);
  R7.ReadFile();
  EXPECT_EQ(R7.Millimetres(), 1);
  // A description longer than the section leaves the measurement unknown.
  TBitWriter Long;
  Long.RS(30000);
  const std::string SL = DWGFile("AC1021", {{5, Long.Str()}});
  TdwgReader RL(*C7.get(), reinterpret_cast<const std::uint8_t*>(SL.data()), SL.size(), acR2007);
  RL.ReadFile();
  EXPECT_EQ(RL.Millimetres(), -1);
}

TEST(DWGLaterSections, Metadata) {
  std::string S = std::string("AC1024") + std::string(250, '\0');
  S[11] = 4;
  S[24] = 0;
  S[32] = 0x20;
  TqdDWGMeatadata M;
  ASSERT_TRUE(ReadDWGMetadata(reinterpret_cast<const std::uint8_t*>(S.data()), S.size(), M));
  EXPECT_EQ(M.Version, "AC1024");
  EXPECT_EQ(M.ReleaseVersion, 4);
  EXPECT_EQ(M.SummaryInfoAddress, 0x20u);
  EXPECT_FALSE(ReadDWGMetadata(reinterpret_cast<const std::uint8_t*>(S.data()), 43, M));
  TqdConverterRef C(new TqdDXFConverter(TqdConverterParams{true, {}}));
  TdwgReader R(*C.get(), reinterpret_cast<const std::uint8_t*>(S.data()), S.size(), acR2010);
  R.SetMetadata(M);
  EXPECT_TRUE(R.LateSized());
  M.ReleaseVersion = 3;
  R.SetMetadata(M);
  EXPECT_FALSE(R.LateSized());
}

// ---------------------------------------------------------------- objects

// An R2000 LINE in model space: the common entity data, the line, the handles.
std::string LineObject(std::uint64_t AHandle, int AReactors, int AEEDSize = 0) {
  std::uint32_t HandlesAt = 0;
  TBitWriter W;
  for (int Pass = 0; Pass < 2; ++Pass) {
    W = TBitWriter();
    W.BS(0x13);      // type
    W.RL(HandlesAt);  // size of the data in bits
    W.H(0, AHandle);
    W.BS(AEEDSize);
    if (AEEDSize) {
      W.H(5, 0x12);
      W.Bytes("ab");
      W.BS(0);
    }
    W.B(0);              // no graphic
    W.BB(2);             // model space
    W.BL(AReactors);
    W.B(1);              // no links
    W.BS(256);           // colour by layer
    W.BD(1.0);           // linetype scale
    W.BB(0);
    W.BB(0);
    W.BS(0);             // visible
    W.RC(29);            // lineweight by layer
    W.B(1);              // Z's are zero
    W.RD(1.5);
    W.BB(0);             // end x = start x
    W.RD(2.5);
    W.BB(1);
    W.RL(0);             // end y: low bytes replaced
    W.B(1);              // no thickness
    W.B(1);              // default extrusion
    HandlesAt = static_cast<std::uint32_t>(W.BitCount());
  }
  W.H(3, 0);      // extension dictionary
  W.H(5, 0x10);   // layer
  std::string Body = W.Str();
  std::string S;
  S.push_back(static_cast<char>(Body.size() & 0xFF));
  S.push_back(static_cast<char>((Body.size() >> 8) & 0x7F));
  S += Body;
  const std::uint16_t C = CRC8(cnstDWGCRCSeed, S.data(), S.size());
  S.push_back(static_cast<char>(C & 0xFF));
  S.push_back(static_cast<char>(C >> 8));
  return S;
}

// A file with the objects after a one-block map; returns what the load made.
struct TObjectsLoad {
  TdwgLoadResult Result;
  std::vector<std::pair<TFPoint, TFPoint>> Lines;
};

TObjectsLoad LoadObjects(const std::vector<std::string>& AObjects) {
  std::vector<std::pair<std::uint64_t, std::int32_t>> Pairs(AObjects.size(), {1, 0});
  std::size_t HeadSize = 0;
  for (int Pass = 0; Pass < 2; ++Pass) {
    std::int32_t Loc = static_cast<std::int32_t>(HeadSize);
    for (std::size_t I = 0; I < AObjects.size(); ++I) {
      Pairs[I] = {I == 0 ? 0x20 : 1, I == 0 ? Loc : static_cast<std::int32_t>(AObjects[I - 1].size())};
    }
    HeadSize = DWGFile("AC1015", {{2, MapBlock(Pairs) + MapEnd()}}).size();
  }
  std::string S = DWGFile("AC1015", {{2, MapBlock(Pairs) + MapEnd()}});
  for (const std::string& O : AObjects) S += O;
  TObjectsLoad L;
  TqdConverterRef C(new TqdDXFConverter(TqdConverterParams{true, {}}));
  L.Result = LoadDWGFromMemory(S.data(), S.size(), *C.get());
  if (const TqdDXFBlock* M = C->ModelSpace())
    for (int I = 0; I < M->Count(); ++I)
      if (const auto* Ln = dynamic_cast<const TqdDXFLine*>(M->GetEntity(I))) L.Lines.push_back(Ln->Line());
  return L;
}

TEST(DWGObjects, LineOfModelSpace) {
  const TObjectsLoad L = LoadObjects({LineObject(0x20, 0)});
  ASSERT_TRUE(L.Result.Ok) << L.Result.Error;
  ASSERT_EQ(L.Lines.size(), 1u);
  EXPECT_EQ(L.Lines[0].first, (TFPoint{1.5, 2.5, 0}));
  EXPECT_EQ(L.Lines[0].second.X, 1.5);
}

TEST(DWGObjects, DamagedObjectsFailAloneAndAreNamed) {
  // A reactor count beyond the handle stream, and extended data larger than the object.
  const TObjectsLoad L = LoadObjects({LineObject(0x20, 1000000), LineObject(0x21, 0, 3000), LineObject(0x22, 0)});
  ASSERT_TRUE(L.Result.Ok) << L.Result.Error;
  EXPECT_EQ(L.Lines.size(), 1u);
  bool Named = false;
  for (const std::string& W : L.Result.Warnings)
    Named |= W.find("Entity handle = $20.") != std::string::npos && W.find("not read: 2") != std::string::npos;
  EXPECT_TRUE(Named);
}

// ---------------------------------------------------------------- errors

TEST(DWGErrors, DeferredMessageNamesClassAndHandle) {
  EXPECT_EQ(DeferredObjectErrorMessage("EdwgError", 0x2F), "EdwgError: Entity handle = $2F.");
  EXPECT_EQ(DeferredObjectErrorMessage("EDWGBitsError", 0), "EDWGBitsError.");
}

} // namespace
