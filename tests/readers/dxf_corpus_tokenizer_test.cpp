// Every DXF of the shared corpus goes through the tokenizers: no exception
// (binary files included), the whole file consumed, and the release and code
// page names read from the header agree with the independent oracle's.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "readers/dxf/DXFTokenizer.h"

namespace fs = std::filesystem;

namespace {

const fs::path cDxfDir = fs::path(DRAFTWELL_CORPUS_DIR) / "dxf";

std::string LoadFile(const fs::path& P) {
  std::ifstream F(P, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(F), {});
}

// The string value of "Key": "..." in the oracle's JSON, or "" when absent or null.
std::string OracleString(const std::string& Json, const std::string& Key) {
  std::string Pat = "\"" + Key + "\": \"";
  size_t P = Json.find(Pat);
  if (P == std::string::npos) return {};
  P += Pat.size();
  return Json.substr(P, Json.find('"', P) - P);
}

struct TScan {
  size_t Groups = 0;
  bool SawEOF = false;
  bool ConsumedAll = false;
  std::string AcadVer, CodePage, Error;
};

TScan Scan(const std::string& D) {
  TScan R;
  TdxfFormatInfo F = DetectDXFFormat(D.data(), D.size());
  std::unique_ptr<TdxfTokenizer> T;
  if (F.Format == dfBinary)
    T = std::make_unique<TdxfBinTokenizer>(D.data(), D.size(), F.Start, F.GroupCodeSize);
  else
    T = std::make_unique<TdxfTokenizer>(D.data(), D.size(), F.Start);
  std::string Var;
  try {
    for (size_t Guard = 0; Guard <= D.size(); ++Guard) {
      T->Next();
      if (T->AtEnd()) {
        R.ConsumedAll = T->Pos() == T->Limit();
        break;
      }
      ++R.Groups;
      if (T->IsEOF()) R.SawEOF = true;
      if (T->Code() == 9) Var = std::string(T->Value());
      else if (Var == "$ACADVER" && T->Code() == 1 && R.AcadVer.empty()) R.AcadVer = T->Value();
      else if (Var == "$DWGCODEPAGE" && T->Code() == 3 && R.CodePage.empty()) R.CodePage = T->Value();
    }
  } catch (const EqdError& E) {
    R.Error = E.what();
  }
  return R;
}

}  // namespace

TEST(DxfCorpusTokenizer, EveryFileScansToTheEnd) {
  if (!fs::is_directory(cDxfDir)) GTEST_SKIP() << "corpus not found at " << cDxfDir;
  int Files = 0, Binary = 0, Compared = 0;
  for (const auto& E : fs::directory_iterator(cDxfDir)) {
    if (E.path().extension() != ".dxf") continue;
    std::string Name = E.path().filename().string();
    SCOPED_TRACE(Name);
    std::string D = LoadFile(E.path());
    ++Files;
    if (DetectDXFFormat(D.data(), D.size()).Format == dfBinary) ++Binary;
    TScan S = Scan(D);
    EXPECT_EQ(S.Error, "");
    EXPECT_TRUE(S.ConsumedAll);
    EXPECT_GT(S.Groups, 0u);

    fs::path Oracle = cDxfDir / "oracle" / (E.path().stem().string() + ".json");
    if (!fs::exists(Oracle)) continue;
    std::string Json = LoadFile(Oracle);
    if (Json.find("\"ok\": true") == std::string::npos) continue;
    // Files the oracle had to recover may end without EOF.
    if (Json.find("\"recovered\": false") != std::string::npos) {
      EXPECT_TRUE(S.SawEOF);
    }
    std::string Ver = OracleString(Json, "acadver");
    if (!Ver.empty()) {
      EXPECT_EQ(S.AcadVer, Ver);
      ++Compared;
    }
    std::string Page = OracleString(Json, "codepage");
    // The oracle reports its default when the file names no code page.
    if (!Page.empty() && D.find("$DWGCODEPAGE") != std::string::npos) {
      EXPECT_EQ(S.CodePage, Page);
    }
  }
  EXPECT_GT(Files, 0);
  RecordProperty("files", Files);
  std::printf("scanned %d DXF files (%d binary), release compared on %d\n", Files, Binary, Compared);
}
