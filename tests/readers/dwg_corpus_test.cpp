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
#include <set>
#include <vector>

#include "readers/dwg/DWG.h"
#include "readers/dxf/DXF.h"
#include "qdReaders.h"
#include "readers/dwg/DWG12.h"
#include "Curves.h"
#include "DimStyles.h"
#include "Dimensions.h"
#include "Objects.h"
#include "Others.h"

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

// Differences from the oracle explained from the file. Type "" stands for the
// whole file.
struct TAccepted {
  const char* File;
  const char* Type;
  const char* Reason;
};
constexpr TAccepted cnstAcceptedCounts[] = {
    {"r2000_polyline2d", "LAYOUTPRINTCONFIG",
     "its class record gives item class id 0x1F2 (entity), so it is a proxy entity; the oracle lists it as "
     "unresolved and counts it in no layout"},
    // The oracle left 70 objects of this file unclassified (complete: false): these
    // class-defined entities are among them.
    {"r2004_acadsharp_sample", "ACAD_TABLE", "unclassified by the oracle"},
    {"r2004_acadsharp_sample", "IMAGE", "unclassified by the oracle"},
    {"r2004_acadsharp_sample", "MESH", "unclassified by the oracle"},
    {"r2004_acadsharp_sample", "MULTILEADER", "unclassified by the oracle"},
    {"r2004_acadsharp_sample", "PDFUNDERLAY", "unclassified by the oracle"},
    {"r2004_acadsharp_sample", "WIPEOUT", "unclassified by the oracle"},
};

// Block names: the reader names a block by its record, the oracle by the BLOCK
// entity. They differ where the record is anonymous ("*U", numbered by its position
// in the block table) and the BLOCK entity keeps the name the block had before it
// became anonymous.
struct TAcceptedName {
  const char* File;
  const char* Got;
  const char* Want;
};
constexpr TAcceptedName cnstAcceptedBlockNames[] = {
    {"r14_acadsharp_sample", "*U17", "MY-DYNAMIC-BLOCK"},
    {"r2000_acadsharp_sample", "*U17", "MY-DYNAMIC-BLOCK"},
    {"r2004_acadsharp_sample", "*U17", "MY-DYNAMIC-BLOCK"},
    {"r2007_acadsharp_sample", "*U17", "MY-DYNAMIC-BLOCK"},
    {"r2000_libopencad_lwpolylines", "*U8", "A$CE91157D1"},
    {"r2000_libopencad_lwpolylines", "*U25", "A$C178F64D3"},
};

bool Accepted(const std::string& AFile, const std::string& AType) {
  for (const TAccepted& A : cnstAcceptedCounts)
    if (AFile == A.File && AType == A.Type) return true;
  return false;
}

std::string Upper(std::string S) {
  for (char& Ch : S) Ch = static_cast<char>(std::toupper(static_cast<unsigned char>(Ch)));
  return S;
}

// The strings of the flat array named Key.
std::vector<std::string> Strings(const std::string& J, std::size_t From, const std::string& Key) {
  std::vector<std::string> R;
  std::size_t K = J.find("\"" + Key + "\": [", From);
  if (K == std::string::npos) return R;
  const std::size_t End = J.find(']', K);
  std::size_t P = J.find('[', K) + 1;
  while (true) {
    const std::size_t Q1 = J.find('"', P);
    if (Q1 == std::string::npos || Q1 > End) break;
    const std::size_t Q2 = J.find('"', Q1 + 1);
    R.push_back(J.substr(Q1 + 1, Q2 - Q1 - 1));
    P = Q2 + 1;
  }
  return R;
}

// The type an entity was read as.
std::string TypeOf(const TdwgLoadResult& R, const TqdDXFEntity& E) {
  auto It = R.Names.find(&E);
  std::string N = It != R.Names.end() ? std::string(It->second) : DXFClassName(E);
  // Entities of classes the library has no item for are kept as proxies under their own name.
  if (const auto* P = dynamic_cast<const TqdDXFProxy*>(&E); P && !P->FDXFName.empty()) N = P->FDXFName;
  return N;
}

// Blocks the library makes itself: generated dimension blocks, their auxiliary line,
// and standard arrowheads made when a dimension or leader draws with one.
bool LibraryMade(const std::string& AName, const std::set<std::string>& AOracleNames) {
  if (IsGeneratedDimBlockName(AName) || AName == cnstClosedFilledLineName) return true;
  return !AName.empty() && AName[0] == '_' && ArrowTypeByName(AName, cnstArrowUser) != cnstArrowUser &&
         !AOracleNames.count(Upper(AName));
}

// Entities of one block by type.
std::map<std::string, int> CountBlock(const TdwgLoadResult& AResult, const TqdDXFEntity* B) {
  std::map<std::string, int> R;
  if (B)
    for (int K = 0; K < B->Count(); ++K)
      if (const TqdDXFEntity* E = B->GetEntity(K)) ++R[TypeOf(AResult, *E)];
  return R;
}

// Layers, layouts and entity counts per layout and in the other blocks as the
// oracle has them. Layouts without entities are not kept by the loading passes
// (nor their paper-space blocks), as for DXF files; types the database has no class
// for are counted from the "not drawn" warnings over the whole file.
void CompareWithOracle(const std::string& AFile, const std::string& J, TqdDXFConverter& C, const TdwgLoadResult& R) {
  const std::size_t Lib = J.find("\"libredwg\"");
  ASSERT_NE(Lib, std::string::npos);
  // Layers.
  std::vector<std::string> WantLayers = Strings(J, Lib, "layers"), GotLayers;
  if (const TqdDXFEntity* T = C.GetSection(csLayers))
    for (int I = 0; I < T->Count(); ++I)
      if (const TqdDXFEntity* L = T->GetEntity(I)) GotLayers.push_back(L->Name());
  std::sort(WantLayers.begin(), WantLayers.end());
  std::sort(GotLayers.begin(), GotLayers.end());
  EXPECT_EQ(GotLayers, WantLayers) << "layers; warnings: " << ::testing::PrintToString(R.Warnings);
  // Layouts with entities, and their counts.
  const std::size_t Ents = J.find("\"entities\": {", Lib);
  ASSERT_NE(Ents, std::string::npos);
  const std::size_t ByLayout = J.find("\"by_layout\": {", Ents);
  std::map<std::string, std::map<std::string, int>> Want, Got;
  std::map<std::string, int> WantAll, GotBlocks, WantBlocks = Counts(J, Ents, "blocks");
  for (const char* Where : {"model_space", "paper_space", "blocks"})
    for (const auto& [T, N] : Counts(J, Ents, Where)) WantAll[T] += N;
  if (ByLayout != std::string::npos) {
    const std::size_t End = J.find("\"blocks\":", ByLayout);
    std::size_t P = J.find('{', ByLayout) + 1;
    while (true) {
      const std::size_t Q1 = J.find('"', P);
      if (Q1 == std::string::npos || Q1 >= End) break;
      const std::size_t Q2 = J.find('"', Q1 + 1);
      const std::string Name = J.substr(Q1 + 1, Q2 - Q1 - 1);
      Want[Upper(Name)] = Counts(J, Q2 - Name.size() - 1, Name);
      P = J.find('}', Q2) + 1;
    }
  }
  std::set<const TqdDXFEntity*> LayoutBlocks;
  std::set<std::string> Known;  // types the database has items for
  for (int I = 0; I < C.LayoutsCount(); ++I) {
    const TqdDXFLayout* L = C.GetLayout(I);
    if (!L || !L->PaperSpaceBlockField()) continue;
    LayoutBlocks.insert(L->PaperSpaceBlockField());
    Got[Upper(L->Name())] = CountBlock(R, L->PaperSpaceBlockField());
  }
  std::set<std::string> OracleNames;
  for (const std::string& B : Strings(J, Lib, "blocks")) OracleNames.insert(Upper(B));
  if (const TqdDXFEntity* Blocks = C.GetSection(csBlocks))
    for (int I = 0; I < Blocks->Count(); ++I)
      if (const TqdDXFEntity* B = Blocks->GetEntity(I); B && !LayoutBlocks.count(B) && !LibraryMade(B->Name(), OracleNames))
        for (const auto& [T, N] : CountBlock(R, B)) GotBlocks[T] += N;
  for (auto* M : {&Got, &Want})
    for (auto& [L, Counts] : *M)
      for (auto It = Counts.begin(); It != Counts.end();)
        It = Accepted(AFile, It->first) ? Counts.erase(It) : std::next(It);
  for (const auto& [L, Counts] : Got)
    for (const auto& [T, N] : Counts) Known.insert(T);
  for (const auto& [T, N] : GotBlocks) Known.insert(T);
  std::map<std::string, int> NotDrawn;
  for (const std::string& W : R.Warnings) {
    const std::size_t Colon = W.find(": ");
    if (Colon != std::string::npos && W.size() > 10 && W.compare(W.size() - 10, 10, " not drawn") == 0)
      NotDrawn[W.substr(0, Colon)] = std::atoi(W.c_str() + Colon + 2);
  }
  // Types without items: compared over the whole file.
  for (auto* M : {&Want})
    for (auto& [L, Counts] : *M)
      for (auto It = Counts.begin(); It != Counts.end();)
        It = !Known.count(It->first) ? Counts.erase(It) : std::next(It);
  for (auto It = WantBlocks.begin(); It != WantBlocks.end();)
    It = !Known.count(It->first) || Accepted(AFile, It->first) ? WantBlocks.erase(It) : std::next(It);
  for (auto It = GotBlocks.begin(); It != GotBlocks.end();)
    It = Accepted(AFile, It->first) ? GotBlocks.erase(It) : std::next(It);
  for (const auto& [T, N] : WantAll)
    if (!Known.count(T) && !Accepted(AFile, T)) EXPECT_EQ(NotDrawn[T], N) << T << " (not drawn)";
  for (auto It = Want.begin(); It != Want.end();) It = It->second.empty() ? Want.erase(It) : std::next(It);
  for (auto It = Got.begin(); It != Got.end();) It = It->second.empty() ? Got.erase(It) : std::next(It);
  EXPECT_EQ(Got, Want) << "entities by layout";
  EXPECT_EQ(GotBlocks, WantBlocks) << "entities in blocks";
  // Block names, apart from the paper-space blocks of layouts not kept.
  std::set<std::string> WantNames, GotNames;
  for (const std::string& B : Strings(J, Lib, "blocks")) WantNames.insert(Upper(B));
  if (const TqdDXFEntity* Blocks = C.GetSection(csBlocks))
    for (int I = 0; I < Blocks->Count(); ++I)
      if (const TqdDXFEntity* B = Blocks->GetEntity(I); B && !LibraryMade(B->Name(), WantNames))
        GotNames.insert(Upper(B->Name()));
  for (auto It = WantNames.begin(); It != WantNames.end();)
    It = It->rfind("*PAPER_SPACE", 0) == 0 && !GotNames.count(*It) ? WantNames.erase(It) : std::next(It);
  for (const TAcceptedName& A : cnstAcceptedBlockNames)
    if (AFile == A.File && GotNames.erase(A.Got)) GotNames.insert(A.Want);
  EXPECT_EQ(GotNames, WantNames) << "blocks";
}

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
  TdwgLoadOptions Options;
  Options.RecordNames = true;
  const TdwgLoadResult R = LoadDWGFromMemory(S.data(), S.size(), *C.get(), Options);
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
  // So does DIMDSEP: a separator character (".", ","), or none; anything else would
  // be a neighbour of it read in its place.
  if (Info.Version >= acR2000)
    EXPECT_TRUE(HV.DimProps.DSep == 0 || HV.DimProps.DSep == '.' || HV.DimProps.DSep == ',') << HV.DimProps.DSep;
  CompareWithOracle(P.stem().string(), J, *C.get(), R);
  // Viewports are numbered per layout as a DXF file numbers them (1 is the layout's
  // own): no two of one layout share a number.
  for (int I = 0; I < C->LayoutsCount(); ++I) {
    const TqdDXFLayout* L = C->GetLayout(I);
    const TqdDXFEntity* B = L ? L->PaperSpaceBlockField() : nullptr;
    std::set<int> Ids;
    int N = 0;
    for (int K = 0; B && K < B->Count(); ++K)
      if (const auto* V = dynamic_cast<const TqdDXFViewport*>(B->GetEntity(K))) {
        ++N;
        Ids.insert(V->ThisID());
      }
    EXPECT_EQ(static_cast<int>(Ids.size()), N) << "viewport numbers of " << L->Name();
  }
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

namespace {

// The MESH proxies of a loaded drawing's model space.
std::vector<const TqdDXFProxy*> Meshes(TqdDXFConverter& C) {
  std::vector<const TqdDXFProxy*> R;
  const TqdDXFLayout* L = C.GetLayout(0);
  const TqdDXFEntity* B = L ? L->PaperSpaceBlockField() : nullptr;
  for (int K = 0; B && K < B->Count(); ++K)
    if (const auto* P = dynamic_cast<const TqdDXFProxy*>(B->GetEntity(K)); P && P->FDXFName == "MESH") R.push_back(P);
  return R;
}

}  // namespace

// A MESH keeps the vertices and faces the DXF form of the same drawing has.
TEST(DWGCorpusMesh, VerticesAndFacesAsTheDxfTwin) {
  const fs::path Dxf = fs::path(DRAFTWELL_CORPUS_DIR) / "dxf" / "acadsharp-sample_ac1032_binary.dxf";
  const fs::path Dwg = cDwgDir / "r2018_acadsharp_sample.dwg";
  if (!fs::exists(Dxf) || !fs::exists(Dwg)) GTEST_SKIP() << "corpus files absent: " << Dwg << ", " << Dxf;
  TqdConverterRef A(new TqdDXFConverter(TqdConverterParams{true, {}}));
  TqdConverterRef B(new TqdDXFConverter(TqdConverterParams{true, {}}));
  const std::string S = ReadFile(Dwg);
  ASSERT_TRUE(LoadDWGFromMemory(S.data(), S.size(), *A.get(), {}).Ok);
  const std::string T = ReadFile(Dxf);
  ASSERT_TRUE(LoadDXFFromMemory(T.data(), T.size(), *B.get(), {true, {}}).Ok);
  const auto MA = Meshes(*A.get()), MB = Meshes(*B.get());
  ASSERT_EQ(MA.size(), MB.size());
  ASSERT_FALSE(MA.empty());
  for (std::size_t I = 0; I < MA.size(); ++I) {
    EXPECT_FALSE(MA[I]->FMeshVertices.empty());
    ASSERT_EQ(MA[I]->FMeshVertices.size(), MB[I]->FMeshVertices.size());
    for (std::size_t K = 0; K < MA[I]->FMeshVertices.size(); ++K)
      EXPECT_NEAR(MA[I]->FMeshVertices[K].X, MB[I]->FMeshVertices[K].X, 1e-9);
    EXPECT_EQ(MA[I]->FMeshFaces, MB[I]->FMeshFaces);
  }
}

// A HELIX reads its spline and its own fields as the DXF form of the same drawing has them.
TEST(DWGCorpusHelix, AsTheDxfTwin) {
  const fs::path Dxf = fs::path(DRAFTWELL_CORPUS_DIR) / "dxf" / "ldwg-2007_helix.dxf";
  const fs::path Dwg = cDwgDir / "r2010_helix.dwg";
  if (!fs::exists(Dxf) || !fs::exists(Dwg)) GTEST_SKIP() << "corpus files absent: " << Dwg << ", " << Dxf;
  TqdConverterRef A(new TqdDXFConverter(TqdConverterParams{true, {}}));
  TqdConverterRef B(new TqdDXFConverter(TqdConverterParams{true, {}}));
  const std::string S = ReadFile(Dwg), T = ReadFile(Dxf);
  ASSERT_TRUE(LoadDWGFromMemory(S.data(), S.size(), *A.get(), {}).Ok);
  ASSERT_TRUE(LoadDXFFromMemory(T.data(), T.size(), *B.get(), {true, {}}).Ok);
  const auto First = [](TqdDXFConverter& C) -> const TqdCADHelix* {
    const TqdDXFLayout* L = C.GetLayout(0);
    const TqdDXFEntity* Bl = L ? L->PaperSpaceBlockField() : nullptr;
    for (int K = 0; Bl && K < Bl->Count(); ++K)
      if (const auto* H = dynamic_cast<const TqdCADHelix*>(Bl->GetEntity(K))) return H;
    return nullptr;
  };
  const TqdCADHelix *HA = First(*A.get()), *HB = First(*B.get());
  ASSERT_TRUE(HA && HB);
  EXPECT_NEAR(HA->Radius(), HB->Radius(), 1e-9);
  EXPECT_NEAR(HA->Turns(), HB->Turns(), 1e-9);
  EXPECT_NEAR(HA->StartPoint().X, HB->StartPoint().X, 1e-9);
  // The twin was written by another program from an older copy: its control points
  // are not compared, only that the spline part was read.
  EXPECT_GT(HA->Controls().Count(), 0);
}

namespace {

// The viewports of every layout, in layout then block order, keyed by layout name.
std::vector<std::pair<std::string, const TqdDXFViewport*>> Viewports(TqdDXFConverter& C) {
  std::vector<std::pair<std::string, const TqdDXFViewport*>> R;
  for (int I = 0; I < C.LayoutsCount(); ++I) {
    const TqdDXFLayout* L = C.GetLayout(I);
    const TqdDXFEntity* B = L ? L->PaperSpaceBlockField() : nullptr;
    for (int K = 0; B && K < B->Count(); ++K)
      if (const auto* V = dynamic_cast<const TqdDXFViewport*>(B->GetEntity(K))) R.emplace_back(Upper(L->Name()), V);
  }
  std::stable_sort(R.begin(), R.end(), [](const auto& A, const auto& B) { return A.first < B.first; });
  return R;
}

// Names of the layers a viewport freezes, sorted.
std::vector<std::string> FrozenNames(TqdDXFConverter& C, const TqdDXFViewport& V) {
  std::vector<std::string> R;
  for (int I = 0; I < C.GetCount(csLayers); ++I)
    if (const TqdDXFLayer* L = C.GetLayer(I); L && std::count(V.FrozenLayers().begin(), V.FrozenLayers().end(), L->Handle()))
      R.push_back(L->Name());
  std::sort(R.begin(), R.end());
  return R;
}

}  // namespace

// Viewports read as the DXF form of the same drawing has them: their numbers, view,
// status and the layers frozen in them, through every release.
TEST(DWGCorpusViewport, AsTheDxfTwin) {
  const fs::path Dxf = fs::path(DRAFTWELL_CORPUS_DIR) / "dxf" / "acadsharp-sample_ac1032_binary.dxf";
  if (!fs::exists(Dxf)) GTEST_SKIP() << "corpus file absent: " << Dxf;
  RegisterDXFReader();
  TqdConverterRef B(new TqdDXFConverter(TqdConverterParams{true, {}}));
  const std::string T = ReadFile(Dxf);
  ASSERT_TRUE(LoadDXFFromMemory(T.data(), T.size(), *B.get(), {true, {}}).Ok);
  const auto VB = Viewports(*B.get());
  ASSERT_FALSE(VB.empty());
  for (const char* Name : {"r2000_acadsharp_sample", "r2004_acadsharp_sample", "r2007_acadsharp_sample",
                           "r2010_acadsharp_sample", "r2013_acadsharp_sample", "r2018_acadsharp_sample"}) {
    const fs::path Dwg = cDwgDir / (std::string(Name) + ".dwg");
    if (!fs::exists(Dwg)) continue;
    SCOPED_TRACE(Name);
    TqdConverterRef A(new TqdDXFConverter(TqdConverterParams{true, {}}));
    const std::string S = ReadFile(Dwg);
    ASSERT_TRUE(LoadDWGFromMemory(S.data(), S.size(), *A.get(), {}).Ok);
    const auto VA = Viewports(*A.get());
    ASSERT_EQ(VA.size(), VB.size());
    for (std::size_t I = 0; I < VA.size(); ++I) {
      const TqdDXFViewport &X = *VA[I].second, &Y = *VB[I].second;
      EXPECT_EQ(VA[I].first, VB[I].first);
      EXPECT_EQ(X.ThisID(), Y.ThisID()) << VA[I].first;
      EXPECT_NEAR(X.PSpaceCenter().X, Y.PSpaceCenter().X, 1e-9);
      EXPECT_NEAR(X.PSpaceCenter().Y, Y.PSpaceCenter().Y, 1e-9);
      EXPECT_NEAR(X.PSpaceWidth(), Y.PSpaceWidth(), 1e-9);
      EXPECT_NEAR(X.PSpaceHeight(), Y.PSpaceHeight(), 1e-9);
      EXPECT_NEAR(X.MSpaceCenter().X, Y.MSpaceCenter().X, 1e-6);
      EXPECT_NEAR(X.MSpaceCenter().Y, Y.MSpaceCenter().Y, 1e-6);
      EXPECT_NEAR(X.MSpaceHeight(), Y.MSpaceHeight(), 1e-6);
      EXPECT_NEAR(X.ViewDirection().Z, Y.ViewDirection().Z, 1e-9);
      EXPECT_NEAR(X.ViewTwistAngle(), Y.ViewTwistAngle(), 1e-5);
      EXPECT_EQ(X.Flags(), Y.Flags());
      EXPECT_EQ(X.StatusField(), Y.StatusField()) << X.ThisID();
      EXPECT_EQ(FrozenNames(*A.get(), X), FrozenNames(*B.get(), Y));
    }
  }
}

namespace {

// The modeller data of the model space's solids, regions and bodies, in order.
std::vector<std::string> AcisData(TqdDXFConverter& C) {
  std::vector<std::string> R;
  const TqdDXFLayout* L = C.GetLayout(0);
  const TqdDXFEntity* B = L ? L->PaperSpaceBlockField() : nullptr;
  for (int K = 0; B && K < B->Count(); ++K)
    if (const auto* S = dynamic_cast<const TqdDXFRegion*>(B->GetEntity(K))) R.push_back(S->FAcisData);
  return R;
}

}  // namespace

// Solids, regions and surfaces keep their modeller data: the text of an R2000 file as
// its DXF twin has it; the binary data of later ones, inline or (R2013 on) from the
// data-segment file.
TEST(DWGCorpusAcis, ModellerDataAsTheDxfTwinOrBinary) {
  const fs::path DxfDir = fs::path(DRAFTWELL_CORPUS_DIR) / "dxf";
  RegisterDXFReader();
  const std::pair<const char*, const char*> Twins[] = {{"r2000_acadsharp_sample", "acadsharp-sample_ac1015_binary.dxf"}};
  bool Any = false;
  for (const auto& [Dwg, Dxf] : Twins) {
    if (!fs::exists(cDwgDir / (std::string(Dwg) + ".dwg")) || !fs::exists(DxfDir / Dxf)) continue;
    SCOPED_TRACE(Dwg);
    Any = true;
    TqdConverterRef A(new TqdDXFConverter(TqdConverterParams{true, {}}));
    TqdConverterRef B(new TqdDXFConverter(TqdConverterParams{true, {}}));
    const std::string S = ReadFile(cDwgDir / (std::string(Dwg) + ".dwg")), T = ReadFile(DxfDir / Dxf);
    ASSERT_TRUE(LoadDWGFromMemory(S.data(), S.size(), *A.get(), {}).Ok);
    ASSERT_TRUE(LoadDXFFromMemory(T.data(), T.size(), *B.get(), {true, {}}).Ok);
    const auto DA = AcisData(*A.get()), DB = AcisData(*B.get());
    ASSERT_EQ(DA.size(), DB.size());
    ASSERT_FALSE(DA.empty());
    // The twins were saved by another program on another day: the second line, which
    // names the program and the date, differs.
    const auto Body = [](const std::string& D) {
      const std::size_t A = D.find('\n'), B = A == std::string::npos ? A : D.find('\n', A + 1);
      return B == std::string::npos ? std::string() : D.substr(0, A) + D.substr(B);
    };
    for (std::size_t I = 0; I < DA.size(); ++I) {
      EXPECT_GT(DA[I].size(), 1000u) << I;
      EXPECT_EQ(Body(DA[I]), Body(DB[I])) << I;
    }
  }
  for (const char* Dwg : {"r2004_surface", "r2010_acadsharp_surfaces", "r2004_acadsharp_sample", "r2007_acadsharp_sample", "r2010_acadsharp_sample", "r2013_acadsharp_sample",
                          "r2018_acadsharp_sample"}) {
    if (!fs::exists(cDwgDir / (std::string(Dwg) + ".dwg"))) continue;
    SCOPED_TRACE(Dwg);
    Any = true;
    TqdConverterRef A(new TqdDXFConverter(TqdConverterParams{true, {}}));
    const std::string S = ReadFile(cDwgDir / (std::string(Dwg) + ".dwg"));
    ASSERT_TRUE(LoadDWGFromMemory(S.data(), S.size(), *A.get(), {}).Ok);
    const auto DA = AcisData(*A.get());
    ASSERT_FALSE(DA.empty());
    // Binary data, kept as hex: "ACIS BinaryFile" or "ASM BinaryFile" first.
    for (const std::string& D : DA)
      EXPECT_TRUE(D.rfind("414349532042696E61727946696C65", 0) == 0 || D.rfind("41534D2042696E61727946696C65", 0) == 0)
          << D.substr(0, 60);
  }
  if (!Any) GTEST_SKIP() << "corpus files absent under " << cDwgDir;
}
