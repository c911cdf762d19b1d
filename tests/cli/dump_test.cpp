// draftwell-cli dump: the XML form of a drawing or one item, checked by our parser on
// files written here and by a second, independent parser (xmllint) on the corpus.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "Info.h"
#include "qdXMLParser.h"

namespace fs = std::filesystem;

namespace {

struct TRun {
  int Status;
  std::string Out, Err;
};

TRun Dump(std::vector<std::string> Args) {
  TRun R;
  Args.insert(Args.begin(), "dump");
  R.Status = RunCli(Args, R.Out, R.Err);
  return R;
}

fs::path Temp(const std::string& Name) {
  return fs::temp_directory_path() / ("draftwell_dump_" + std::to_string(::getpid()) + "_" + Name);
}

const char* const cSmall =
    "0\nSECTION\n2\nENTITIES\n"
    "0\nLINE\n5\n2A\n8\n0\n10\n0\n20\n0\n30\n0\n11\n3\n21\n4\n31\n0\n"
    "0\nTEXT\n5\n2B\n8\n0\n10\n0\n20\n0\n30\n0\n40\n1\n1\nA & B <\"c\">\n"
    "0\nENDSEC\n0\nEOF\n";

class DumpSmall : public testing::Test {
protected:
  void SetUp() override { std::ofstream(File, std::ios::binary) << cSmall; }
  void TearDown() override { fs::remove(File); }
  fs::path File = Temp("small.dxf");
};

TEST_F(DumpSmall, whole_drawing_reads_back) {
  TRun R = Dump({File.string(), "--xml"});
  ASSERT_EQ(R.Status, 0) << R.Err;
  TqdParser P;
  ASSERT_TRUE(P.LoadFromString(R.Out)) << P.DebugInfo();
  const TqdNode* Conv = P.ROOT().GetChildNode(0);
  EXPECT_EQ(Conv->GetName(), "vnxConverter");
  TqdNode Sample("vnxLine");
  TqdData D;
  D.SetValueAsStr("3,4");
  Sample.AddAttribNV("Point1", D);
  const auto Lines = TqdFindByNode(Sample).Find(*Conv);
  ASSERT_EQ(Lines.size(), 1u);
  EXPECT_EQ(Lines[0]->GetAttributeByName("Length")->GetText(), "5");
  EXPECT_NE(R.Out.find("Text=\"A &amp; B &lt;&quot;c&quot;&gt;\""), std::string::npos);
}

TEST_F(DumpSmall, one_item_by_handle) {
  TRun R = Dump({File.string(), "--xml", "--handle", "2A"});
  ASSERT_EQ(R.Status, 0) << R.Err;
  TqdParser P;
  ASSERT_TRUE(P.LoadFromString(R.Out)) << P.DebugInfo();
  ASSERT_EQ(P.ROOT().GetChildNodesCount(), 1);
  EXPECT_EQ(P.ROOT().GetChildNode(0)->GetName(), "vnxLine");
  EXPECT_EQ(P.ROOT().GetChildNode(0)->GetAttributeByName("Handle")->GetText(), "$2A");
}

TEST_F(DumpSmall, faults) {
  EXPECT_EQ(Dump({File.string(), "--xml", "--handle", "FFFF"}).Status, 1);
  EXPECT_EQ(Dump({File.string(), "--xml", "--handle", "zz"}).Status, 2);
  EXPECT_EQ(Dump({File.string(), "--xml", "--handle"}).Status, 2);
  EXPECT_EQ(Dump({"--xml"}).Status, 2);
  EXPECT_EQ(Dump({File.string(), "--yaml"}).Status, 2);
  EXPECT_EQ(Dump({(fs::temp_directory_path() / "no_such_drawing.dxf").string(), "--xml"}).Status, 1);
  TRun Plain = Dump({File.string()});
  EXPECT_EQ(Plain.Status, 0);
  EXPECT_NE(Plain.Out.find("TqdDXFLine"), std::string::npos);
  TRun Help;
  Help.Status = RunCli({"help"}, Help.Out, Help.Err);
  EXPECT_NE(Help.Out.find("dump FILE --xml"), std::string::npos);
}

std::vector<std::string> CorpusFiles() {
  std::vector<std::string> R;
  const fs::path Dir = fs::path(DRAFTWELL_CORPUS_DIR) / "dxf";
  std::error_code EC;
  if (!fs::is_directory(Dir, EC)) return R;
  for (const auto& E : fs::directory_iterator(Dir, EC))
    if (E.path().extension() == ".dxf") R.push_back(E.path().filename().string());
  std::sort(R.begin(), R.end());
  return R;
}

bool HaveXmllint() { return std::system("xmllint --version >/dev/null 2>&1") == 0; }

class DumpCorpus : public testing::TestWithParam<std::string> {};

TEST_P(DumpCorpus, writes_well_formed_xml) {
  if (!HaveXmllint()) GTEST_SKIP() << "xmllint is not installed (Debian: libxml2-utils)";
  const fs::path In = fs::path(DRAFTWELL_CORPUS_DIR) / "dxf" / GetParam();
  TRun R = Dump({In.string(), "--xml"});
  ASSERT_NE(R.Status, 2) << R.Err;
  ASSERT_FALSE(R.Out.empty()) << R.Err;
  const fs::path Out = Temp(GetParam() + ".xml");
  std::ofstream(Out, std::ios::binary) << R.Out;
  const int Lint = std::system(("xmllint --noout --huge '" + Out.string() + "' 2>&1").c_str());
  fs::remove(Out);
  EXPECT_EQ(Lint, 0) << GetParam();
}

INSTANTIATE_TEST_SUITE_P(Dxf, DumpCorpus, testing::ValuesIn(CorpusFiles()), [](const auto& I) {
  std::string N = I.param;
  for (char& Ch : N)
    if (!std::isalnum(static_cast<unsigned char>(Ch))) Ch = '_';
  return N;
});
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(DumpCorpus);

}  // namespace
