// Every corpus DWG through the reader: recognised by its version string; R13 to R2018
// files (R2004 on through their containers) read their header variables as the
// oracle (LibreDWG) reports them and count entities by type as it does; the other
// releases fail with their version named. Skips when the corpus is absent.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>

#include "DWG.h"
#include "qdReaders.h"
#include "DWG12.h"

namespace fs = std::filesystem;

namespace {

const fs::path cDwgDir = fs::path(DRAFTWELL_CORPUS_DIR) / "dwg";

std::string ReadFile(const fs::path& P) {
  std::ifstream F(P, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(F), {});
}

std::vector<fs::path> CorpusFiles() {
  std::vector<fs::path> R;
  std::error_code EC;
  if (!fs::is_directory(cDwgDir, EC)) return R;
  for (const auto& E : fs::directory_iterator(cDwgDir, EC))
    if (E.is_regular_file() && E.path().extension() == ".dwg") R.push_back(E.path());
  std::sort(R.begin(), R.end());
  return R;
}

// The few oracle values the test needs, found by key after the "header" object (the
// oracle files are plain JSON written by one tool).
std::optional<double> Number(const std::string& J, std::size_t From, const std::string& Key) {
  const std::size_t K = J.find("\"" + Key + "\":", From);
  if (K == std::string::npos) return std::nullopt;
  return std::strtod(J.c_str() + K + Key.size() + 3, nullptr);
}

std::optional<TFPoint> Point(const std::string& J, std::size_t Header, const std::string& Key) {
  const std::size_t K = J.find("\"" + Key + "\":", Header);
  if (K == std::string::npos) return std::nullopt;
  const auto X = Number(J, K, "x"), Y = Number(J, K, "y"), Z = Number(J, K, "z");
  if (!X || !Y || !Z) return std::nullopt;
  return TFPoint{*X, *Y, *Z};
}

// The "NAME": count pairs of the flat object named Key after From.
std::map<std::string, int> Counts(const std::string& J, std::size_t From, const std::string& Key) {
  std::map<std::string, int> R;
  std::size_t K = J.find("\"" + Key + "\": {", From);
  if (K == std::string::npos) return R;
  const std::size_t End = J.find('}', K);
  std::size_t P = J.find('{', K) + 1;
  while (true) {
    const std::size_t Q1 = J.find('"', P);
    if (Q1 == std::string::npos || Q1 > End) break;
    const std::size_t Q2 = J.find('"', Q1 + 1);
    R[J.substr(Q1 + 1, Q2 - Q1 - 1)] += std::atoi(J.c_str() + J.find(':', Q2) + 1);
    P = J.find_first_of(",}", Q2);
    if (P == std::string::npos || P >= End) break;
    ++P;
  }
  return R;
}

// Entity types the oracle counts otherwise, with the reason found in the file.
struct TAccepted {
  const char* File;
  const char* Type;
  const char* Reason;
};
constexpr TAccepted cnstAcceptedCounts[] = {
    {"r2000_polyline2d", "LAYOUTPRINTCONFIG",
     "its class record gives item class id 0x1F2 (entity); the oracle files the object as a non-entity"},
    // The oracle left 70 objects of this file unclassified (complete: false): these
    // class-defined entities are among them.
    {"r2004_acadsharp_sample", "ACAD_TABLE", "unclassified by the oracle"},
    {"r2004_acadsharp_sample", "IMAGE", "unclassified by the oracle"},
    {"r2004_acadsharp_sample", "MESH", "unclassified by the oracle"},
    {"r2004_acadsharp_sample", "MULTILEADER", "unclassified by the oracle"},
    {"r2004_acadsharp_sample", "PDFUNDERLAY", "unclassified by the oracle"},
    {"r2004_acadsharp_sample", "WIPEOUT", "unclassified by the oracle"},
};

bool Near(double A, double B) { return std::fabs(A - B) <= 1e-9 * std::max(1.0, std::fabs(B)); }

void ExpectPoint(const TFPoint& Got, const std::optional<TFPoint>& Want, const char* Name) {
  ASSERT_TRUE(Want.has_value()) << Name << " missing in the oracle";
  EXPECT_TRUE(Near(Got.X, Want->X) && Near(Got.Y, Want->Y) && Near(Got.Z, Want->Z))
      << Name << ": read (" << Got.X << ", " << Got.Y << ", " << Got.Z << "), oracle (" << Want->X << ", " << Want->Y
      << ", " << Want->Z << ")";
}

class DWGCorpus : public ::testing::TestWithParam<fs::path> {};

TEST_P(DWGCorpus, VersionAndHeaderAsTheOracle) {
  const fs::path& P = GetParam();
  const std::string S = ReadFile(P);
  ASSERT_GE(S.size(), 6u);
  const TdwgVersionInfo Info = DWGVersionFromBytes(S.data(), S.size());
  TqdConverterRef C(new TqdDXFConverter(TqdConverterParams{true, {}}));
  const TdwgLoadResult R = LoadDWGFromMemory(S.data(), S.size(), *C.get());
  EXPECT_EQ(R.Version, S.substr(0, 6));
  if (Info.Class != vcSupported) {
    EXPECT_FALSE(R.Ok);
    EXPECT_NE(R.Error.find(S.substr(0, 6)), std::string::npos) << R.Error;
    return;
  }
  if (IsDWG12Release(Info)) GTEST_SKIP() << "R9-R12 files are compared in the dwg12 tests";
  if (Info.Version < acR13) {
    EXPECT_FALSE(R.Ok);
    EXPECT_EQ(R.Error, NotSupportedYetMessage(Info));
    return;
  }
  ASSERT_TRUE(R.Ok) << R.Error;
  for (const std::string& W : R.Warnings)
    EXPECT_EQ(W.find("cut short"), std::string::npos) << W;
  const fs::path O = cDwgDir / "oracle" / (P.stem().string() + ".json");
  const std::string J = ReadFile(O);
  if (J.empty()) GTEST_SKIP() << "no oracle for " << P.filename();
  const std::size_t H = J.find("\"header\":");
  ASSERT_NE(H, std::string::npos);
  const TqdHeadVarStruct& HV = C->HeadVarStruct();
  ExpectPoint(HV.ExtMim, Point(J, H, "EXTMIN"), "EXTMIN");
  ExpectPoint(HV.ExtMax, Point(J, H, "EXTMAX"), "EXTMAX");
  ExpectPoint(HV.InsBase, Point(J, H, "INSBASE"), "INSBASE");
  EXPECT_EQ(HV.TileMode, Number(J, H, "TILEMODE").value_or(-1));
  // INSUNITS exists from R2000 on.
  if (Info.Version >= acR2000) EXPECT_EQ(HV.InsUnits, Number(J, H, "INSUNITS").value_or(-1));
  // Entity objects by type, wherever they sit, as the oracle counts them.
  std::map<std::string, int> Want;
  const std::size_t Ents = J.find("\"entities\": {");
  ASSERT_NE(Ents, std::string::npos);
  for (const char* Where : {"model_space", "paper_space", "blocks"})
    for (const auto& [T, N] : Counts(J, Ents, Where)) Want[T] += N;
  std::map<std::string, int> Got;
  for (const std::string& W : R.Warnings) {
    const std::size_t Colon = W.find(": ");
    if (Colon != std::string::npos && W.size() > 10 && W.compare(W.size() - 10, 10, " not drawn") == 0)
      Got[W.substr(0, Colon)] = std::atoi(W.c_str() + Colon + 2);
  }
  // Plus those that became drawing items.
  if (const TqdDXFEntity* Blocks = C->GetSection(csBlocks))
    for (int I = 0; I < Blocks->Count(); ++I)
      if (const TqdDXFEntity* B = Blocks->GetEntity(I))
        for (int K = 0; K < B->Count(); ++K)
          if (const TqdDXFEntity* E = B->GetEntity(K)) ++Got[DXFClassName(*E)];
  for (const TAccepted& A : cnstAcceptedCounts)
    if (P.stem() == A.File) Got.erase(A.Type);
  EXPECT_EQ(Got, Want);
  // Metric comes from the measurement record, never from ISOLINES.
  // From R2004 on the value lives in the template section; a file without one has
  // no measurement record (-1), which the oracle reports as its default 0.
  const double WantMm = Number(J, H, "MEASUREMENT").value_or(-2);
  if (!(Info.Version >= acR2004 && R.Millimetres == -1 && WantMm == 0)) EXPECT_EQ(R.Millimetres, WantMm);
  EXPECT_EQ(HV.Measurement ? 1 : 0, Number(J, H, "MEASUREMENT").value_or(-2));
}

std::string ParamName(const ::testing::TestParamInfo<fs::path>& I) {
  std::string N = I.param.stem().string();
  for (char& Ch : N)
    if (!std::isalnum(static_cast<unsigned char>(Ch))) Ch = '_';
  return N;
}

INSTANTIATE_TEST_SUITE_P(Corpus, DWGCorpus, ::testing::ValuesIn(CorpusFiles()), ParamName);
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(DWGCorpus);

TEST(DWGCorpusPresent, Present) {
  if (CorpusFiles().empty()) GTEST_SKIP() << "no DWG corpus at " << cDwgDir << ": corpus tests skipped";
}

} // namespace
