// Every entity of every corpus drawing (DXF and DWG): its XML form read into a fresh
// item of its class writes the same attributes again; the drawing's streamed form
// parses.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <set>
#include <string>
#include <vector>

#include "readers/dwg/DWG.h"
#include "readers/dxf/DXF.h"
#include "DXFConv.h"
#include "Properties.h"

namespace fs = std::filesystem;

namespace {

// "dxf/NAME" and "dwg/NAME".
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

void Load(const fs::path& P, TqdDXFConverter& C) {
  if (P.extension() == ".dxf") {
    LoadDXFFile(P.string(), C, {});
    return;
  }
  std::ifstream F(P, std::ios::binary);
  std::stringstream S;
  S << F.rdbuf();
  const std::string Bytes = S.str();
  LoadDWGFromMemory(Bytes.data(), Bytes.size(), C);
}

// Handles differ by design: a fresh item has none, and FromXML never sets one.
void DropHandles(TqdNode& N) {
  TqdNodeIterator It(N);
  while (TqdNode* X = It.Next()) X->RemoveAttributeByName("Handle");
}

std::string Text(const TqdNode& N) {
  std::string S;
  WriteXMLNode(S, N, true);
  return S.size() > 3000 ? S.substr(0, 3000) + "..." : S;
}

class XMLCorpus : public testing::TestWithParam<std::string> {};

TEST_P(XMLCorpus, round_trip_keeps_every_attribute) {
  const fs::path P = fs::path(DRAFTWELL_CORPUS_DIR) / GetParam();
  RegisterDXFReader();
  TqdConverterRef Ref(new TqdDXFConverter(TqdConverterParams{}));
  TqdDXFConverter& C = *Ref.get();
  Load(P, C);
  const TqdXMLMode Modes = xmAddSubEntities | xmlGetDefaultValue;
  TqdDXFEntity* Blocks = C.GetSection(csBlocks);
  if (!Blocks) GTEST_SKIP() << "no blocks read";
  int Checked = 0, Failed = 0;
  for (int B = 0; B < Blocks->Count(); ++B) {
    const TqdDXFEntity* Block = Blocks->GetEntity(B);
    if (!Block) continue;
    for (int I = 0; I < Block->Count(); ++I) {
      const TqdDXFEntity* E = Block->GetEntity(I);
      if (!E) continue;
      TqdNode First, Second;
      const TqdNode* N1 = E->ToXML(First, Modes);
      ASSERT_NE(N1, nullptr);
      std::unique_ptr<TqdDXFEntity> Fresh = E->NewInstance();
      Fresh->SetConverter(&C);
      TqdXMLResult R;
      Fresh->FromXML(*N1, &R);
      Fresh->ToXML(Second, Modes);
      DropHandles(First);
      DropHandles(Second);
      ++Checked;
      if (First.Compare(Second) != 0 && ++Failed <= 3)
        ADD_FAILURE() << E->ClassName() << " $" << std::hex << E->Handle() << "\nwritten:\n"
                      << Text(First) << "\nread back:\n"
                      << Text(Second) << "\nmessages: " << (R.Messages.empty() ? "" : R.Messages[0]);
    }
  }
  EXPECT_EQ(Failed, 0) << "of " << Checked;
  // The whole drawing, as a dump writes it, is well-formed.
  std::string Dump;
  StreamXML(Dump, C, xmAddSectionEntities | xmAddSubEntities | xmlGetDefaultValue);
  TqdParser Parser;
  ASSERT_TRUE(Parser.LoadFromString(Dump)) << Parser.DebugInfo();
  // Read back into the drawing it came from, it changes nothing and meets no fault.
  const TqdNode* Root = Parser.ROOT().GetChildByName("vnxConverter");
  ASSERT_NE(Root, nullptr);
  TqdXMLResult R;
  EXPECT_EQ(C.FromXML(*Root, &R), xsDone);
  std::string Kinds;
  std::set<std::string> Seen;
  for (const std::string& M : R.Messages)
    if (Seen.insert(M.substr(M.find(": ") + 2)).second && Seen.size() <= 4) Kinds += "\n  " + M;
  EXPECT_TRUE(R.Messages.empty()) << R.Messages.size() << " messages:" << Kinds;
  std::string Again;
  StreamXML(Again, C, xmAddSectionEntities | xmAddSubEntities | xmlGetDefaultValue);
  EXPECT_TRUE(Again == Dump) << "the drawing's XML changed";
}

INSTANTIATE_TEST_SUITE_P(Corpus, XMLCorpus, testing::ValuesIn(CorpusFiles()), [](const auto& I) {
  std::string N = I.param;
  for (char& Ch : N)
    if (!std::isalnum(static_cast<unsigned char>(Ch))) Ch = '_';
  return N;
});
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(XMLCorpus);

TEST(XMLCorpusPresence, corpus) {
  if (CorpusFiles().empty()) GTEST_SKIP() << "no corpus at " << DRAFTWELL_CORPUS_DIR << " (dxf, dwg)";
  SUCCEED();
}

}  // namespace
