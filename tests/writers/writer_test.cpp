// The DXF writer: what it writes reads back as it was, failures never damage an
// existing file, and the older releases get their down-conversions.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <streambuf>

#include "DXFConv.h"
#include "DXFOutput.h"
#include "DXFWriter.h"
#include "Polylines.h"
#include "Properties.h"
#include "Readers.h"
#include "Texts.h"
#include "qdReaders.h"

namespace fs = std::filesystem;

namespace {

struct TTempDir {
  fs::path P;
  TTempDir() {
    P = fs::temp_directory_path() / ("dw-writer-" + std::to_string(::getpid()) + "-" + std::to_string(Next()++));
    fs::create_directories(P);
  }
  ~TTempDir() {
    std::error_code E;
    fs::permissions(P, fs::perms::owner_all, fs::perm_options::add, E);
    fs::remove_all(P, E);
  }
  static int& Next() {
    static int N = 0;
    return N;
  }
};

std::string ReadAll(const fs::path& P) {
  std::ifstream F(P, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(F), {});
}

void WriteText(const fs::path& P, const std::string& S) {
  std::ofstream F(P, std::ios::binary);
  F << S;
}

// Loads a drawing the way every caller does (format from the first bytes).
bool Load(const fs::path& P, TqdConverterRef& C, std::string* AError = nullptr) {
  static const bool Registered = (RegisterReaders(), true);
  (void)Registered;
  const std::string Ext = P.extension().string();
  const TqdLoadResult R = qdLoadDrawingFile(Ext == ".dwg" ? "dwg" : "dxf", P.string(), *C.get(), {});
  if (AError) *AError = R.Error;
  return R.Ok;
}

// The XML form of a drawing with handles (and values naming them) and the release left
// out: a written file may number its items differently, and it is of its own release.
std::string Dump(const TqdDXFConverter& C) {
  std::string S;
  StreamXML(S, C, xmAddSectionEntities | xmAddSubEntities | xmlGetDefaultValue);
  static const std::regex Handle("=\"\\$[0-9A-Fa-f]+\"|ACADVer=\"[0-9.]+\"");
  return std::regex_replace(S, Handle, "=\"\"");
}

// A small drawing written by hand: a layer, a light polyline, a text and an MText.
const char* const cSmall =
    "0\nSECTION\n2\nHEADER\n9\n$ACADVER\n1\nAC1015\n9\n$DWGCODEPAGE\n3\nANSI_1252\n0\nENDSEC\n"
    "0\nSECTION\n2\nTABLES\n0\nTABLE\n2\nSTYLE\n70\n1\n0\nSTYLE\n2\nSTANDARD\n70\n0\n40\n0\n41\n1\n3\ntxt\n0\nENDTAB\n"
    "0\nTABLE\n2\nLAYER\n70\n2\n0\nLAYER\n2\n0\n70\n0\n62\n7\n6\nCONTINUOUS\n0\nLAYER\n2\nWalls\n70\n0\n62\n3\n6\nCONTINUOUS\n0\nENDTAB\n"
    "0\nENDSEC\n"
    "0\nSECTION\n2\nENTITIES\n"
    "0\nLWPOLYLINE\n8\nWalls\n90\n3\n70\n1\n10\n0\n20\n0\n10\n10\n20\n0\n42\n0.5\n10\n10\n20\n5\n"
    "0\nTEXT\n8\nWalls\n10\n1\n20\n2\n40\n2.5\n1\nHello\n"
    "0\nMTEXT\n8\n0\n10\n3\n20\n4\n40\n1\n41\n20\n1\n{\\fArial;One}\\PTwo\n"
    "0\nCIRCLE\n8\n0\n10\n5\n20\n5\n40\n2\n420\n16711680\n"
    "0\nENDSEC\n0\nEOF\n";

struct TSmall {
  TTempDir Dir;
  TqdConverterRef C{new TqdDXFConverter()};
  TSmall() {
    WriteText(Dir.P / "in.dxf", cSmall);
    EXPECT_TRUE(Load(Dir.P / "in.dxf", C));
  }
};

// Writes C with AOptions into Dir/AName and reads it back.
void WriteAndRead(const TqdDXFConverter& C, const fs::path& P, TqdConverterRef& R, const TqdDXFWriteOptions& AOptions = {}) {
  const TqdDXFWriteResult W = SaveDXFFile(C, P.string(), AOptions);
  EXPECT_TRUE(W.Ok) << W.Error;
  std::string Err;
  EXPECT_TRUE(Load(P, R, &Err)) << Err;
}

// A stream whose every write fails (a full disk).
struct TFullDisk : std::streambuf {
  int overflow(int) override { return traits_type::eof(); }
  std::streamsize xsputn(const char*, std::streamsize) override { return 0; }
};

}  // namespace

// ---------------------------------------------------------------- forms and releases

TEST(DXFWriter, r2018_reads_back_to_the_same_xml) {
  TSmall S;
  TqdConverterRef R(new TqdDXFConverter());
  WriteAndRead(*S.C.get(), S.Dir.P / "out.dxf", R);
  EXPECT_EQ(Dump(*S.C.get()), Dump(*R.get()));
}

TEST(DXFWriter, binary_output_reads_back_equal_to_the_ascii_output) {
  TSmall S;
  TqdDXFWriteOptions Bin;
  Bin.Binary = true;
  TqdConverterRef A(new TqdDXFConverter());
  WriteAndRead(*S.C.get(), S.Dir.P / "a.dxf", A);
  TqdConverterRef B(new TqdDXFConverter());
  WriteAndRead(*S.C.get(), S.Dir.P / "b.dxf", B, Bin);
  EXPECT_EQ(ReadAll(S.Dir.P / "b.dxf").substr(0, 18), "AutoCAD Binary DXF");
  EXPECT_EQ(Dump(*A.get()), Dump(*B.get()));
}

TEST(DXFWriter, r2000_in_code_page_1252_escapes_characters_outside_it) {
  TSmall S;
  auto* T = dynamic_cast<TqdDXFText*>(S.C->ModelSpace()->GetEntity(1));
  ASSERT_NE(T, nullptr);
  T->SetText("caf\xC3\xA9 \xE6\x97\xA5");  // "café 日"
  TqdDXFWriteOptions O;
  O.Release = acR2000;
  TqdConverterRef R(new TqdDXFConverter());
  WriteAndRead(*S.C.get(), S.Dir.P / "cp.dxf", R, O);
  const std::string Bytes = ReadAll(S.Dir.P / "cp.dxf");
  EXPECT_NE(Bytes.find("caf\xE9 \\U+65E5"), std::string::npos) << "é in 1252, 日 escaped";
  auto* Back = dynamic_cast<TqdDXFText*>(R->ModelSpace()->GetEntity(1));
  ASSERT_NE(Back, nullptr);
  EXPECT_EQ(Back->Text(), T->Text());
}

TEST(DXFWriter, r12_down_converts_what_it_has_no_place_for) {
  TSmall S;
  TqdDXFWriteOptions O;
  O.Release = acR12;
  const fs::path P = S.Dir.P / "r12.dxf";
  TqdDXFWriteResult W = SaveDXFFile(*S.C.get(), P.string(), O);
  ASSERT_TRUE(W.Ok) << W.Error;
  const std::string Bytes = ReadAll(P);
  struct TRow {
    const char* Name;
    const char* Text;
    bool Present;
  };
  const TRow Rows[] = {{"release", "\nAC1009\n", true},
                       {"light polyline becomes POLYLINE", "\nLWPOLYLINE\n", false},
                       {"... with its vertices", "\nVERTEX\n", true},
                       {"mtext becomes TEXT", "\nMTEXT\n", false},
                       {"no objects section", "\nOBJECTS\n", false},
                       {"no classes section", "\nCLASSES\n", false},
                       {"no true colour", "\n420\n", false},
                       {"no lineweights or subclass markers", "\n100\n", false}};
  for (const TRow& R : Rows) EXPECT_EQ(Bytes.find(R.Text) != std::string::npos, R.Present) << R.Name;
  bool Warned = false;
  for (const std::string& X : W.Warnings) Warned |= X.find("multi-line texts") != std::string::npos;
  EXPECT_TRUE(Warned) << "the down-conversion is reported";
  TqdConverterRef Back(new TqdDXFConverter());
  ASSERT_TRUE(Load(P, Back));
  const TqdDXFEntity* MS = Back->ModelSpace();
  ASSERT_EQ(MS->Count(), 4);
  EXPECT_NE(dynamic_cast<const TqdDXFPolyline*>(MS->GetEntity(0)), nullptr);
  EXPECT_EQ(dynamic_cast<const TqdDXFLWPolyline*>(MS->GetEntity(0)), nullptr);
  const auto* T = dynamic_cast<const TqdDXFText*>(MS->GetEntity(2));
  ASSERT_NE(T, nullptr);
  EXPECT_EQ(dynamic_cast<const TqdDXFMText*>(T), nullptr);
  EXPECT_EQ(T->Text(), "One Two") << "formatting dropped, lines joined";
}

TEST(DXFWriter, mtext_columns_not_written_are_reported) {
  TSmall S;
  auto* M = dynamic_cast<TqdDXFMText*>(S.C->ModelSpace()->GetEntity(2));
  ASSERT_NE(M, nullptr);
  std::ostringstream Plain;
  const TqdDXFWriteResult A = WriteDXF(*S.C.get(), Plain);
  ASSERT_TRUE(A.Ok) << A.Error;
  for (const std::string& X : A.Warnings) EXPECT_EQ(X.find("columns"), std::string::npos) << X;
  TqdMTextColumns Cols;
  Cols.Type = 1;
  Cols.Count = 2;
  Cols.Width = 5;
  M->SetColumns(Cols);
  std::ostringstream Out;
  const TqdDXFWriteResult W = WriteDXF(*S.C.get(), Out);
  ASSERT_TRUE(W.Ok) << W.Error;
  bool Warned = false;
  for (const std::string& X : W.Warnings) Warned |= X.find("columns of multi-line texts") != std::string::npos;
  EXPECT_TRUE(Warned);
}

TEST(DXFWriter, r2000_keeps_light_polylines_and_drops_true_colour) {
  TSmall S;
  TqdDXFWriteOptions O;
  O.Release = acR2000;
  const fs::path P = S.Dir.P / "r2000.dxf";
  ASSERT_TRUE(SaveDXFFile(*S.C.get(), P.string(), O).Ok);
  const std::string Bytes = ReadAll(P);
  EXPECT_NE(Bytes.find("\nAC1015\n"), std::string::npos);
  EXPECT_NE(Bytes.find("\nLWPOLYLINE\n"), std::string::npos);
  EXPECT_EQ(Bytes.find("\n420\n"), std::string::npos);
}

TEST(DXFOutput, binary_dxf_code_255_escape) {
  // R12 binary codes are one byte; 255 and above take an escape and 16 bits.
  std::ostringstream S;
  {
    TqdDXFOutput O(S, true, acR12, 0);
    O.Int(70, 5);
    O.Str(1001, "APP");
    O.Flush();
  }
  const std::string B = S.str().substr(22);
  ASSERT_EQ(B.size(), 1u + 2u + 3u + 4u);
  EXPECT_EQ(static_cast<unsigned char>(B[0]), 70);
  EXPECT_EQ(static_cast<unsigned char>(B[3]), 255);
  EXPECT_EQ(static_cast<unsigned char>(B[4]) | (static_cast<unsigned char>(B[5]) << 8), 1001);
  EXPECT_EQ(B.substr(6), std::string("APP\0", 4));
}

TEST(DXFOutput, values_keep_their_kind_and_never_break_a_line) {
  std::ostringstream S;
  {
    TqdDXFOutput O(S, false, acR2018, 0);
    O.Dbl(40, 2);
    O.Dbl(41, -0.0);
    O.Str(1, "two\nlines");
    O.Handle(5, 0x2AF);
    O.Flush();
  }
  EXPECT_EQ(S.str(), " 40\n2.0\n 41\n0.0\n  1\ntwo^Jlines\n  5\n2AF\n");
}

// ---------------------------------------------------------------- safety

TEST(DXFWriterSafety, a_failing_stream_is_an_error) {
  TSmall S;
  TFullDisk Buf;
  std::ostream Out(&Buf);
  const TqdDXFWriteResult R = WriteDXF(*S.C.get(), Out);
  EXPECT_FALSE(R.Ok);
  EXPECT_FALSE(R.Error.empty());
}

TEST(DXFWriterSafety, a_cancelled_save_leaves_the_old_file_byte_for_byte) {
  TSmall S;
  const fs::path P = S.Dir.P / "keep.dxf";
  WriteText(P, "the old file");
  TqdDXFWriteOptions O;
  int Calls = 0;
  // Cancelled at the third report: the header and tables are written by then.
  O.Progress = [&Calls](int) { return ++Calls < 3; };
  const TqdDXFWriteResult R = SaveDXFFile(*S.C.get(), P.string(), O);
  EXPECT_FALSE(R.Ok);
  EXPECT_TRUE(R.Cancelled);
  EXPECT_EQ(ReadAll(P), "the old file");
  EXPECT_EQ(std::distance(fs::directory_iterator(S.Dir.P), {}), 2) << "no temporary file left behind";
}

TEST(DXFWriterSafety, a_missing_folder_is_an_error_with_the_reason) {
  TSmall S;
  const TqdDXFWriteResult R = SaveDXFFile(*S.C.get(), (S.Dir.P / "no" / "such" / "x.dxf").string());
  EXPECT_FALSE(R.Ok);
  EXPECT_NE(R.Error.find("No such file or directory"), std::string::npos) << R.Error;
}

TEST(DXFWriterSafety, a_read_only_folder_leaves_the_old_file) {
  if (::geteuid() == 0) GTEST_SKIP() << "root writes into read-only folders";
  TSmall S;
  const fs::path Dir = S.Dir.P / "ro";
  fs::create_directories(Dir);
  WriteText(Dir / "keep.dxf", "the old file");
  fs::permissions(Dir, fs::perms::owner_read | fs::perms::owner_exec);
  const TqdDXFWriteResult R = SaveDXFFile(*S.C.get(), (Dir / "keep.dxf").string());
  fs::permissions(Dir, fs::perms::owner_all);
  EXPECT_FALSE(R.Ok);
  EXPECT_NE(R.Error.find("Permission denied"), std::string::npos) << R.Error;
  EXPECT_EQ(ReadAll(Dir / "keep.dxf"), "the old file");
}

TEST(DXFWriterSafety, a_successful_save_replaces_the_file) {
  TSmall S;
  const fs::path P = S.Dir.P / "new.dxf";
  WriteText(P, "the old file");
  ASSERT_TRUE(SaveDXFFile(*S.C.get(), P.string()).Ok);
  EXPECT_NE(ReadAll(P).find("\nEOF\n"), std::string::npos);
}

// ---------------------------------------------------------------- corpus

namespace {

std::vector<std::string> CorpusFiles() {
  std::vector<std::string> R;
  for (const char* Kind : {"dxf", "dwg"}) {
    const fs::path Dir = fs::path(DRAFTWELL_CORPUS_DIR) / Kind;
    std::error_code EC;
    if (!fs::is_directory(Dir, EC)) continue;
    for (const auto& E : fs::directory_iterator(Dir, EC))
      if (E.path().extension() == std::string(".") + Kind) R.push_back(std::string(Kind) + "/" + E.path().filename().string());
  }
  std::sort(R.begin(), R.end());
  return R;
}

// Per layout: name and entity count.
std::vector<std::pair<std::string, int>> Layouts(const TqdDXFConverter& C) {
  std::vector<std::pair<std::string, int>> R;
  for (int I = 0; I < C.LayoutsCount(); ++I)
    if (const TqdDXFEntity* L = C.GetLayout(I)) R.emplace_back(L->Name(), L->Count());
  return R;
}

class WriterCorpus : public testing::TestWithParam<std::string> {};

}  // namespace

// Every drawing we read is written as R2018 and read back with the same layouts and
// entity counts; whether the whole XML form is equal is reported (the share is in the
// closing note of the writer's work).
TEST_P(WriterCorpus, r2018_round_trip) {
  const fs::path Src = fs::path(DRAFTWELL_CORPUS_DIR) / GetParam();
  TqdConverterRef C(new TqdDXFConverter());
  if (!Load(Src, C)) GTEST_SKIP() << "not read";
  TTempDir Dir;
  TqdConverterRef R(new TqdDXFConverter());
  WriteAndRead(*C.get(), Dir.P / "out.dxf", R);
  EXPECT_EQ(Layouts(*C.get()), Layouts(*R.get()));
  const std::string A = Dump(*C.get()), B = Dump(*R.get());
  std::size_t D = 0;
  while (D < A.size() && D < B.size() && A[D] == B[D]) ++D;
  if (A == B) {
    std::cout << "XML-EQUAL " << GetParam() << "\n";
  } else {
    const std::size_t From = D > 200 ? D - 200 : 0;
    std::cout << "XML-DIFF " << GetParam() << "\n  source:  " << A.substr(From, 300) << "\n  written: " << B.substr(From, 300)
              << "\n";
  }
}

INSTANTIATE_TEST_SUITE_P(Corpus, WriterCorpus, testing::ValuesIn(CorpusFiles()), [](const auto& I) {
  std::string N = I.param;
  for (char& Ch : N)
    if (!std::isalnum(static_cast<unsigned char>(Ch))) Ch = '_';
  return N;
});
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(WriterCorpus);

TEST(WriterCorpusPresence, corpus) {
  if (CorpusFiles().empty()) GTEST_SKIP() << "no corpus at " << DRAFTWELL_CORPUS_DIR << " (dxf, dwg)";
}
