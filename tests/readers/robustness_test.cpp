// Damaged copies of every corpus DXF, DWG and plot file through the whole reader:
// truncated at several cut points, with bytes flipped and with chunks swapped (fixed
// seeds). A clear error is fine; a crash, a sanitizer report, a hang or runaway
// memory is not.
//
// Each file's variants load in a forked child, so that a crash or a hang names the
// file and the variant instead of taking the suite down. The child arms alarm()
// before every load (a hang kills it) and checks its peak resident memory after
// every load (address-space limits do not work with AddressSanitizer). It writes the
// variant it is loading into shared memory, where the parent finds it when the child
// dies. No timing is asserted: the alarm only turns a hang into a failure.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "readers/dwg/DWG.h"
#include "readers/dxf/DXF.h"
#include "HPGL2.h"
#include "dxf_test_util.h"
#include "qdProcess.h"

#include "../sanitizer_allocation_limit.h"

namespace fs = std::filesystem;

namespace {

const fs::path cDxfDir = fs::path(DRAFTWELL_CORPUS_DIR) / "dxf";
const fs::path cDwgDir = fs::path(DRAFTWELL_CORPUS_DIR) / "dwg";
const fs::path cHpglDir = fs::path(DRAFTWELL_CORPUS_DIR) / "hpgl";

// Seconds one load may take, sanitizers included, on a loaded machine.
constexpr unsigned cnstLoadSeconds = 20;
// Peak resident memory one load may add, beyond a multiple of its size.
constexpr long cnstMemoryBaseMB = 768;
constexpr long cnstMemoryPerInputByte = 64;

constexpr int cnstFlipSeeds[] = {1, 2, 3};
constexpr int cnstFlipsPerSeed = 40;

struct TVariant {
  std::string Label;
  std::string Data;
};

// DRAFTWELL_FULL_SWEEP=1 runs the full sweep: 20 cut points, 20 flipped copies and 10
// copies with two chunks swapped, of every file. The regular run keeps a sample (5
// cuts, 3 flipped copies, 1 swap), so that the suite stays short.
bool FullSweep() {
  const char* E = std::getenv("DRAFTWELL_FULL_SWEEP");
  return E && *E && std::strcmp(E, "0") != 0;
}

std::string Flipped(const std::string& S, int ASeed, int AFlips) {
  std::string D = S;
  std::mt19937 G(static_cast<std::uint32_t>(ASeed));
  if (!D.empty())
    for (int I = 0; I < AFlips; ++I) {
      const std::size_t At = G() % D.size();
      D[At] = static_cast<char>(D[At] ^ static_cast<char>(1 + G() % 255));
    }
  return D;
}

// Two chunks of the same length, apart, exchanged: records and sections out of place.
TVariant Swapped(const std::string& S, int ASeed) {
  std::mt19937 G(static_cast<std::uint32_t>(1000 + ASeed));
  const std::size_t N = S.size();
  const std::size_t L = std::max<std::size_t>(1, N / (4 + G() % 29));
  std::string D = S;
  if (N < 2 * L) return {"swap, seed " + std::to_string(ASeed) + " (too short)", D};
  const std::size_t A = G() % (N - 2 * L + 1);
  const std::size_t B = A + L + G() % (N - A - 2 * L + 1);
  std::swap_ranges(D.begin() + static_cast<std::ptrdiff_t>(A), D.begin() + static_cast<std::ptrdiff_t>(A + L),
                   D.begin() + static_cast<std::ptrdiff_t>(B));
  return {"swap, seed " + std::to_string(ASeed) + " (" + std::to_string(L) + " bytes at " + std::to_string(A) +
              " and " + std::to_string(B) + ")",
          std::move(D)};
}

std::vector<TVariant> Variants(const std::string& S, bool AFull = FullSweep()) {
  std::vector<TVariant> V;
  const std::size_t N = S.size();
  const auto Cut = [&](const std::string& AName, std::size_t At) {
    V.push_back({"cut at " + AName + " (" + std::to_string(At) + ")", S.substr(0, At)});
  };
  if (AFull) {
    for (std::size_t K = 1; K < 20; ++K) Cut(std::to_string(K) + "/20", N * K / 20);
  } else {
    const std::pair<const char*, std::size_t> Cuts[] = {{"1/7", N / 7}, {"1/3", N / 3}, {"1/2", N / 2}, {"2/3", N * 2 / 3}};
    for (const auto& [Name, At] : Cuts) Cut(Name, At);
  }
  Cut("end-1", N ? N - 1 : 0);
  if (AFull) {
    // From a single flipped byte, which lets the reader go deep, to heavy damage.
    for (int Seed = 1; Seed <= 20; ++Seed) {
      const int Flips = 1 + (Seed % 4) * 13;
      V.push_back({"flips, seed " + std::to_string(Seed) + " (" + std::to_string(Flips) + ")", Flipped(S, Seed, Flips)});
    }
    for (int Seed = 1; Seed <= 10; ++Seed) V.push_back(Swapped(S, Seed));
  } else {
    for (int Seed : cnstFlipSeeds) V.push_back({"flips, seed " + std::to_string(Seed), Flipped(S, Seed, cnstFlipsPerSeed)});
    V.push_back(Swapped(S, 1));
  }
  return V;
}

// Loads an exact-size copy (reads past the end are caught) and walks the layouts.
void LoadOneDWG(const std::string& AData) {
  std::unique_ptr<char[]> Buf(new char[AData.size() ? AData.size() : 1]);
  if (!AData.empty()) std::memcpy(Buf.get(), AData.data(), AData.size());
  TqdConverterRef C(new TqdDXFConverter(TqdConverterParams{true, {}}));
  const TdwgLoadResult R = LoadDWGFromMemory(Buf.get(), AData.size(), *C.get());
  std::size_t Seen = 0;
  for (int I = 0; I < C->LayoutsCount(); ++I)
    if (const TqdDXFLayout* L = C->GetLayout(I))
      if (const TqdDXFBlock* B = L->PaperSpaceBlockField()) Seen += static_cast<std::size_t>(B->Count());
  if (!R.Ok && R.Error.empty()) _exit(5);  // a failure must say why
  (void)Seen;
}

void LoadOneHPGL(const std::string& AData) {
  std::unique_ptr<char[]> Buf(new char[AData.size() ? AData.size() : 1]);
  if (!AData.empty()) std::memcpy(Buf.get(), AData.data(), AData.size());
  TqdConverterRef C(new TqdDXFConverter(TqdConverterParams{true, {}}));
  const TqdLoadResult R = LoadHPGLDrawing(Buf.get(), AData.size(), *C.get(), {});
  std::size_t Seen = 0;
  for (int I = 0; I < C->LayoutsCount(); ++I)
    if (const TqdDXFLayout* L = C->GetLayout(I))
      if (const TqdDXFBlock* B = L->PaperSpaceBlockField()) Seen += static_cast<std::size_t>(B->Count());
  if (!R.Ok && R.Error.empty()) _exit(5);  // a failure must say why
  (void)Seen;
}

void LoadOne(const std::string& AData) {
  std::unique_ptr<char[]> Buf(new char[AData.size() ? AData.size() : 1]);
  if (!AData.empty()) std::memcpy(Buf.get(), AData.data(), AData.size());
  TqdConverterRef C(new TqdDXFConverter(TqdConverterParams{true, {}}));
  TdxfLoadOptions O;
  O.RecordNames = true;
  TdxfLoadResult R = LoadDXFFromMemory(Buf.get(), AData.size(), *C.get(), O);
  std::size_t Seen = 0;
  for (int I = 0; I < C->LayoutsCount(); ++I)
    if (const TqdDXFLayout* L = C->GetLayout(I))
      if (const TqdDXFBlock* B = L->PaperSpaceBlockField())
        for (int J = 0; J < B->Count(); ++J) Seen += R.DXFNames.count(B->GetEntity(J));
  if (!R.Ok && R.Error.empty()) _exit(5);  // a failure must say why
  (void)Seen;
}

// What the child left in shared memory.
struct TChildNote {
  char Variant[200];
};

// Runs the variants of one input in a child; empty when all of them loaded or
// failed cleanly, else what went wrong.
std::string RunVariants(const std::string& AName, const std::vector<TVariant>& AVariants,
                        void (*ALoad)(const std::string&) = LoadOne) {
  static const bool Registered = (RegisterDXFReader(), RegisterDWGReader(), true);
  (void)Registered;
  void* M = mmap(nullptr, sizeof(TChildNote), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
  if (M == MAP_FAILED) return "mmap failed";
  auto* Note = static_cast<TChildNote*>(M);
  std::memset(Note, 0, sizeof(*Note));
  std::fflush(nullptr);
  const pid_t P = fork();
  if (P < 0) {
    munmap(M, sizeof(TChildNote));
    return "fork failed";
  }
  if (P == 0) {
    for (const TVariant& V : AVariants) {
      std::snprintf(Note->Variant, sizeof(Note->Variant), "%s", V.Label.c_str());
      ResetPeakMemory();
      const long Before = ProcessStatusKB("VmRSS");
      alarm(cnstLoadSeconds);
      ALoad(V.Data);
      alarm(0);
      const long Grown = ProcessStatusKB("VmHWM") - Before;
      if (Grown > (cnstMemoryBaseMB << 10) + static_cast<long>(V.Data.size()) * cnstMemoryPerInputByte / 1024)
        _exit(3);
    }
#ifdef DRAFTWELL_ASAN
    std::snprintf(Note->Variant, sizeof(Note->Variant), "leak check after all variants");
    if (__lsan_do_recoverable_leak_check()) _exit(4);
#endif
    _exit(0);
  }
  int Status = 0;
  while (waitpid(P, &Status, 0) < 0 && errno == EINTR) {
  }
  const std::string Where = AName + ", " + Note->Variant;
  munmap(M, sizeof(TChildNote));
  if (WIFSIGNALED(Status)) {
    const int Sig = WTERMSIG(Status);
    if (Sig == SIGALRM) return Where + ": no result after " + std::to_string(cnstLoadSeconds) + " s (hang)";
    return Where + ": killed by signal " + std::to_string(Sig) + " (" + strsignal(Sig) + ")";
  }
  if (WIFEXITED(Status) && WEXITSTATUS(Status) != 0) {
    switch (WEXITSTATUS(Status)) {
      case 3: return Where + ": peak memory beyond the limit";
      case 4: return Where + ": leaks";
      case 5: return Where + ": failed without an error message";
      default: return Where + ": exit status " + std::to_string(WEXITSTATUS(Status)) + " (sanitizer report above)";
    }
  }
  return {};
}

std::vector<fs::path> CorpusFiles(const fs::path& ADir = cDxfDir, const char* AExt = ".dxf") {
  std::vector<fs::path> R;
  std::error_code EC;
  if (!fs::is_directory(ADir, EC)) return R;
  for (const auto& E : fs::directory_iterator(ADir, EC))
    if (E.is_regular_file() && E.path().extension() == AExt) R.push_back(E.path());
  std::sort(R.begin(), R.end());
  return R;
}

std::string ReadFile(const fs::path& P) {
  std::ifstream F(P, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(F), {});
}

class DXFRobustness : public ::testing::TestWithParam<fs::path> {};

TEST_P(DXFRobustness, DamagedCopiesLoadOrFailCleanly) {
  const fs::path& P = GetParam();
  const std::string S = ReadFile(P);
  ASSERT_FALSE(S.empty()) << "cannot read " << P;
  const std::string Fault = RunVariants(P.filename().string(), Variants(S));
  EXPECT_TRUE(Fault.empty()) << Fault;
}

std::string ParamName(const ::testing::TestParamInfo<fs::path>& I) {
  std::string N = I.param.stem().string();
  for (char& C : N)
    if (!std::isalnum(static_cast<unsigned char>(C))) C = '_';
  return N;
}

INSTANTIATE_TEST_SUITE_P(Corpus, DXFRobustness, ::testing::ValuesIn(CorpusFiles()), ParamName);
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(DXFRobustness);

TEST(DXFRobustnessCorpus, Present) {
  if (CorpusFiles().empty()) GTEST_SKIP() << "no DXF corpus at " << cDxfDir << ": damaged-copy tests skipped";
}

class DWGRobustness : public ::testing::TestWithParam<fs::path> {};

TEST_P(DWGRobustness, DamagedCopiesLoadOrFailCleanly) {
  const fs::path& P = GetParam();
  const std::string S = ReadFile(P);
  ASSERT_FALSE(S.empty()) << "cannot read " << P;
  const std::string Fault = RunVariants(P.filename().string(), Variants(S), LoadOneDWG);
  EXPECT_TRUE(Fault.empty()) << Fault;
}

INSTANTIATE_TEST_SUITE_P(Corpus, DWGRobustness, ::testing::ValuesIn(CorpusFiles(cDwgDir, ".dwg")), ParamName);
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(DWGRobustness);

TEST(DWGRobustnessCorpus, Present) {
  if (CorpusFiles(cDwgDir, ".dwg").empty())
    GTEST_SKIP() << "no DWG corpus at " << cDwgDir << ": damaged-copy tests skipped";
}

// Plot files of every kind: plain, PCL, PJL, gzipped and zipped (the folder and its
// generated/ subfolder; the listing and notes are not plot files).
std::vector<fs::path> PlotFiles() {
  std::vector<fs::path> R;
  std::error_code EC;
  for (const fs::path& D : {cHpglDir, cHpglDir / "generated"}) {
    if (!fs::is_directory(D, EC)) continue;
    for (const auto& E : fs::directory_iterator(D, EC)) {
      const std::string Ext = E.path().extension().string();
      if (E.is_regular_file() && Ext != ".tsv" && Ext != ".md") R.push_back(E.path());
    }
  }
  std::sort(R.begin(), R.end());
  return R;
}

std::string PlotParamName(const ::testing::TestParamInfo<fs::path>& I) {
  std::string N = I.param.filename().string();
  for (char& C : N)
    if (!std::isalnum(static_cast<unsigned char>(C))) C = '_';
  return N;
}

class HPGLRobustness : public ::testing::TestWithParam<fs::path> {};

TEST_P(HPGLRobustness, DamagedCopiesLoadOrFailCleanly) {
  const fs::path& P = GetParam();
  const std::string S = ReadFile(P);
  ASSERT_FALSE(S.empty()) << "cannot read " << P;
  const std::string Fault = RunVariants(P.filename().string(), Variants(S), LoadOneHPGL);
  EXPECT_TRUE(Fault.empty()) << Fault;
}

INSTANTIATE_TEST_SUITE_P(Corpus, HPGLRobustness, ::testing::ValuesIn(PlotFiles()), PlotParamName);
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(HPGLRobustness);

TEST(HPGLRobustnessCorpus, Present) {
  if (PlotFiles().empty()) GTEST_SKIP() << "no plot file corpus at " << cHpglDir << ": damaged-copy tests skipped";
}

// The harness itself: a sound file passes, and the last cut drops exactly one byte.
TEST(DXFRobustnessHarness, SoundFilePassesAndCutsAreExact) {
  EXPECT_EQ(RunVariants("ok", {{"plain", TextDXF({{0, "SECTION"}, {2, "ENTITIES"}, {0, "ENDSEC"}, {0, "EOF"}})}}), "");
  std::vector<TVariant> V = Variants("0\nEOF\n", false);
  ASSERT_EQ(V.size(), 9u);
  EXPECT_EQ(V[4].Data, "0\nEOF");
  EXPECT_EQ(Variants("0\nEOF\n", true).size(), 50u);
  // A swap keeps the bytes, in another order.
  const std::string S = "0123456789abcdefghijklmnopqrstuvwxyz";
  for (int Seed = 1; Seed <= 10; ++Seed) {
    std::string A = Swapped(S, Seed).Data, B = S;
    EXPECT_NE(A, S) << Seed;
    std::sort(A.begin(), A.end());
    std::sort(B.begin(), B.end());
    EXPECT_EQ(A, B) << Seed;
  }
}

} // namespace
