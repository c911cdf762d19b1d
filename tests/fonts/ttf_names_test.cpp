#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "TTFNames.h"

namespace {

struct TNameRec {
  std::uint16_t Platform, Encoding, Language, NameId;
  std::string Bytes; // stored as given
};

std::string Utf16BE(const std::u16string& S) {
  std::string out;
  for (char16_t c : S) {
    out += static_cast<char>(c >> 8);
    out += static_cast<char>(c & 0xFF);
  }
  return out;
}

void Put16(std::string& S, unsigned V) {
  S += static_cast<char>((V >> 8) & 0xFF);
  S += static_cast<char>(V & 0xFF);
}
void Put32(std::string& S, std::uint32_t V) {
  Put16(S, V >> 16);
  Put16(S, V & 0xFFFF);
}

// A font file with an offset table, one filler table and a naming table.
std::string MakeFont(const std::vector<TNameRec>& ARecords, std::uint32_t AVersion = 0x00010000,
                     const char* ANameTag = "name", unsigned AFormat = 0) {
  std::string name;
  Put16(name, AFormat);
  Put16(name, static_cast<unsigned>(ARecords.size()));
  Put16(name, static_cast<unsigned>(6 + 12 * ARecords.size()));
  std::string strings;
  for (const TNameRec& r : ARecords) {
    Put16(name, r.Platform);
    Put16(name, r.Encoding);
    Put16(name, r.Language);
    Put16(name, r.NameId);
    Put16(name, static_cast<unsigned>(r.Bytes.size()));
    Put16(name, static_cast<unsigned>(strings.size()));
    strings += r.Bytes;
  }
  name += strings;

  std::string f;
  Put32(f, AVersion);
  Put16(f, 2); // tables
  Put16(f, 0);
  Put16(f, 0);
  Put16(f, 0);
  const std::uint32_t nameAt = 12 + 2 * 16 + 4;
  f += "head";
  Put32(f, 0);
  Put32(f, 12 + 2 * 16);
  Put32(f, 4);
  f += ANameTag;
  Put32(f, 0);
  Put32(f, nameAt);
  Put32(f, static_cast<std::uint32_t>(name.size()));
  f += std::string(4, '\0'); // the filler table
  return f + name;
}

// Read from an exact-size copy, so that any read past the end is caught.
bool Read(const std::string& AData, std::string& AName, unsigned AFace = 0) {
  std::unique_ptr<char[]> buf(new char[AData.size() ? AData.size() : 1]);
  if (!AData.empty()) std::memcpy(buf.get(), AData.data(), AData.size());
  return ReadTTFFullName(buf.get(), AData.size(), AName, AFace);
}

const TNameRec cWinEnglish{3, 1, 1033, 4, Utf16BE(u"Face One")};
const TNameRec cWinGerman{3, 1, 1031, 4, Utf16BE(u"Schrift Eins")};
const TNameRec cMac{1, 0, 0, 4, "Mac Face \xA5"}; // 0xA5 is a bullet in Mac Roman
const TNameRec cFamily{3, 1, 1033, 1, Utf16BE(u"Family")};

struct TReadCase {
  const char* Name;
  std::string File;
  bool Ok;
  std::string Expected;
};

class NameTable : public ::testing::TestWithParam<TReadCase> {};

TEST_P(NameTable, ReadsTheFullName) {
  std::string name = "stale";
  EXPECT_EQ(Read(GetParam().File, name), GetParam().Ok);
  EXPECT_EQ(name, GetParam().Expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, NameTable,
    ::testing::Values(
        TReadCase{"windows_english", MakeFont({cFamily, cWinEnglish}), true, "Face One"},
        TReadCase{"english_replaces_an_earlier_language", MakeFont({cWinGerman, cWinEnglish}), true,
                  "Face One"},
        TReadCase{"first_language_kept_without_english", MakeFont({cWinGerman}), true,
                  "Schrift Eins"},
        TReadCase{"macintosh_roman", MakeFont({cMac}), true, "Mac Face \xE2\x80\xA2"},
        TReadCase{"language_zero_replaces_english", MakeFont({cWinEnglish, cMac}), true,
                  "Mac Face \xE2\x80\xA2"},
        TReadCase{"surrogate_pair", MakeFont({{3, 1, 1033, 4, Utf16BE(u"A\U0001D400")}}), true,
                  "A\xF0\x9D\x90\x80"},
        TReadCase{"tag_compared_without_case", MakeFont({cWinEnglish}, 0x00010000, "NAME"), true,
                  "Face One"},
        TReadCase{"compact_outlines_header", MakeFont({cWinEnglish}, 0x4F54544F), true, "Face One"},
        TReadCase{"full_name_only_under_ucs4_encoding",
                  MakeFont({{3, 10, 1033, 4, Utf16BE(u"Wide")}}), false, ""},
        TReadCase{"no_full_name", MakeFont({cFamily}), false, ""},
        TReadCase{"empty_full_name_skipped", MakeFont({{3, 1, 1033, 4, ""}}), false, ""},
        TReadCase{"wrong_version", MakeFont({cWinEnglish}, 0x00020000), false, ""},
        TReadCase{"naming_table_format_1", MakeFont({cWinEnglish}, 0x00010000, "name", 1), false,
                  ""},
        TReadCase{"no_naming_table", MakeFont({cWinEnglish}, 0x00010000, "nome"), false, ""},
        TReadCase{"empty_data", std::string(), false, ""}),
    [](const auto& I) { return std::string(I.param.Name); });

// Every count, offset and length is checked against the data: each cut of a
// sound file, and each field of it set to the largest value, gives a name or no
// name, and never a read outside the data.
TEST(NameTable, EveryTruncationAndHostileFieldIsBounded) {
  const std::string good = MakeFont({cWinGerman, cFamily, cWinEnglish});
  std::string name;
  ASSERT_TRUE(Read(good, name));
  for (std::size_t n = 0; n < good.size(); ++n) {
    EXPECT_FALSE(Read(good.substr(0, n), name)) << "cut at " << n;
    EXPECT_TRUE(name.empty());
  }
  for (std::size_t at = 0; at + 1 < good.size(); ++at) {
    std::string bad = good;
    bad[at] = '\xFF';
    bad[at + 1] = '\xFF';
    Read(bad, name); // must not crash or read outside
  }
}

TEST(NameTable, HostileCountsGiveNoName) {
  const std::string good = MakeFont({cWinEnglish});
  struct TPatch {
    const char* What;
    std::size_t At;
  } patches[] = {{"table offset", 12 + 16 + 8},
                 {"record count", 12 + 32 + 4 + 2},
                 {"string offset", 12 + 32 + 4 + 4},
                 {"record length", 12 + 32 + 4 + 6 + 8},
                 {"record offset", 12 + 32 + 4 + 6 + 10}};
  for (const TPatch& p : patches) {
    std::string bad = good;
    bad[p.At] = '\x7F';
    bad[p.At + 1] = '\xF0';
    std::string name;
    EXPECT_FALSE(Read(bad, name)) << p.What;
    EXPECT_TRUE(name.empty()) << p.What;
  }
  // A table count far beyond the data, with no naming table among the real ones.
  std::string bad = MakeFont({cWinEnglish}, 0x00010000, "nome");
  bad[4] = '\xFF';
  std::string name;
  EXPECT_FALSE(Read(bad, name));
}

TEST(NameTable, CollectionFaces) {
  const std::string face = MakeFont({cWinEnglish});
  // "ttcf" header with two faces, both at the same offset table.
  std::string ttc = "ttcf";
  Put32(ttc, 0x00010000);
  Put32(ttc, 2);
  Put32(ttc, 20);
  Put32(ttc, 20);
  // Table offsets in a collection are from the start of the file.
  std::string shifted = face;
  const std::uint32_t nameAt = 12 + 32 + 4 + 20;
  shifted[12 + 16 + 8] = static_cast<char>(nameAt >> 24);
  shifted[12 + 16 + 9] = static_cast<char>(nameAt >> 16);
  shifted[12 + 16 + 10] = static_cast<char>(nameAt >> 8);
  shifted[12 + 16 + 11] = static_cast<char>(nameAt);
  ttc += shifted;
  std::string name;
  EXPECT_TRUE(Read(ttc, name, 1));
  EXPECT_EQ(name, "Face One");
  EXPECT_FALSE(Read(ttc, name, 2));
  EXPECT_FALSE(Read(face, name, 1));
}

TEST(NameTable, InstalledLiberationSans) {
  const char* path = "/usr/share/fonts/truetype/liberation2/LiberationSans-Regular.ttf";
  std::string name;
  if (!ReadTTFFullNameFromFile(path, name) && name.empty()) {
    FILE* f = std::fopen(path, "rb");
    if (!f) GTEST_SKIP() << "Liberation Sans is not installed (Debian fonts-liberation2)";
    std::fclose(f);
  }
  EXPECT_EQ(name, "Liberation Sans");
}

struct TSuffixCase {
  const char* Name;
  const char* Face;
  const char* Stripped;
  unsigned Styles;
};

class StyleSuffixes : public ::testing::TestWithParam<TSuffixCase> {};

TEST_P(StyleSuffixes, SplitFromTheFaceName) {
  EXPECT_EQ(StripFontStyleSuffixes(GetParam().Face), GetParam().Stripped);
  EXPECT_EQ(FontStylesFromSuffixes(GetParam().Face), GetParam().Styles);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, StyleSuffixes,
    ::testing::Values(TSuffixCase{"plain", "Arial", "Arial", 0},
                      TSuffixCase{"bold", "Arial Bold", "Arial", fstBold},
                      TSuffixCase{"bold_italic", "Arial Bold Italic", "Arial", fstBold | fstItalic},
                      TSuffixCase{"italic_then_bold", "Arial Italic Bold", "Arial",
                                  fstBold | fstItalic},
                      TSuffixCase{"display_kind", " Times New Roman (TrueType) ", "Times New Roman",
                                  0},
                      TSuffixCase{"bold_alone_is_a_name", "Bold", "Bold", 0},
                      TSuffixCase{"any_case", "arial BOLD", "arial", fstBold}),
    [](const auto& I) { return std::string(I.param.Name); });

TEST(FontNames, TypesByExtension) {
  EXPECT_EQ(FontTypeByFileName("ARIAL.TTF"), fttTrueType);
  EXPECT_EQ(FontTypeByFileName("cambria.ttc"), fttCollection);
  EXPECT_EQ(FontTypeByFileName("modern.fon"), fttRaster);
  EXPECT_EQ(FontTypeByFileName("txt.shx"), fttShape);
  EXPECT_EQ(FontTypeByFileName("Caladea-Regular.otf"), fttOpenType);
  EXPECT_EQ(FontTypeByFileName("readme.txt"), fttUnknown);
  EXPECT_TRUE(IsOutlineFontType(fttOpenType));
  EXPECT_FALSE(IsOutlineFontType(fttShape));
  EXPECT_EQ(FontFileNameOnly("C:\\Windows\\Fonts\\arial.ttf"), "arial.ttf");
  EXPECT_EQ(FontFileNameOnly("/usr/share/fonts/a.ttf"), "a.ttf");
}

TEST(FontNames, WindowsStandIns) {
  EXPECT_EQ(WindowsFamilySubstitute("Arial"), "Liberation Sans");
  EXPECT_EQ(WindowsFamilySubstitute("times new roman"), "Liberation Serif");
  EXPECT_EQ(WindowsFamilySubstitute("Courier New"), "Liberation Mono");
  EXPECT_EQ(WindowsFamilySubstitute("Liberation Sans"), "");
  std::string family;
  unsigned styles = 99;
  ASSERT_TRUE(WindowsFileSubstitute("ARIALBI.TTF", family, styles));
  EXPECT_EQ(family, "Liberation Sans");
  EXPECT_EQ(styles, fstBold | fstItalic);
  ASSERT_TRUE(WindowsFileSubstitute("C:\\Windows\\Fonts\\times.ttf", family, styles));
  EXPECT_EQ(family, "Liberation Serif");
  EXPECT_EQ(styles, 0u);
  EXPECT_FALSE(WindowsFileSubstitute("simplex.shx", family, styles));
}

} // namespace
