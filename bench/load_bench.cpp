// DXF load time and memory: the synthetic drawing (written to a temporary file so
// that the load maps it, as in real use) and the largest corpus drawings (skipped
// when the corpus is absent).
//   load_bench [--benchmark_filter=...]
//
// Counters per benchmark:
//   MB/s             file bytes per second of LoadDXFFile (tokenizer, reader objects,
//                    converter steps after reading); the converter is destroyed
//                    outside the timed region
//   entities         entities in the layouts' blocks after the load
//   peak_MB          peak resident memory during the load above the resident memory
//                    before it: VmHWM is reset through /proc/self/clear_refs ("5")
//                    before the load and read from /proc/self/status after it; this
//                    includes the mapped file pages
//   peak_x_file      peak_MB / file size
//   heap_B_per_ent   heap bytes still allocated after the load (mallinfo2 uordblks
//                    plus hblkhd, after minus before) per entity: the model's size
//   peak_B_per_ent   peak_MB in bytes per entity
// The rows of several files give worst_peak_x_file (the file named in the label) and
// heap_B_per_ent over all files; DRAFTWELL_LOAD_BENCH_PEAKS=1 prints every file's peak,
// DRAFTWELL_LOAD_BENCH_WARM=1 loads every file once before measuring.
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <unistd.h>

#include <algorithm>
#include <map>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "readers/dxf/DXF.h"
#include "Readers.h"
#include "qdFileKinds.h"
#include "qdMappedFile.h"
#include "qdReaders.h"
#include "qdProcess.h"
#include "SyntheticDXF.h"

#ifndef DRAFTWELL_CORPUS_DIR
#define DRAFTWELL_CORPUS_DIR ""
#endif

namespace fs = std::filesystem;

namespace {

// The largest corpus files of each format that the oracle timed.
constexpr int cnstCorpusFiles = 6;

std::size_t HeapInUse() {
  const struct mallinfo2 M = mallinfo2();
  return M.uordblks + M.hblkhd;
}

std::size_t EntityCount(TqdDXFConverter& C) {
  std::size_t N = 0;
  for (int I = 0; I < C.LayoutsCount(); ++I)
    if (const TqdDXFLayout* L = C.GetLayout(I))
      if (const TqdDXFBlock* B = L->PaperSpaceBlockField()) N += static_cast<std::size_t>(B->Count());
  return N;
}

void BM_Load(benchmark::State& state, const std::string& APath) {
  static const bool Registered = (RegisterReaders(), true);
  (void)Registered;
  std::error_code EC;
  const auto Size = fs::file_size(APath, EC);
  if (EC) {
    state.SkipWithError(("missing " + APath).c_str());
    return;
  }
  // The reader the content asks for, as every caller loads.
  const std::vector<unsigned char> Head = qdReadFileHead(APath, cnstContentHeadSize);
  std::string Format = qdIdentifyContent(Head.data(), Head.size()).Family;
  // Plot files in a wrapping, or starting with a PJL line, are read by the plotter reader.
  if (Format.empty() || Format == "gzip" || Format == "zip") Format = "hpgl";
  double PeakKB = 0, HeapBytes = 0;
  std::size_t Entities = 0;
  for (auto _ : state) {
    state.PauseTiming();
    malloc_trim(0);
    const bool PeakOk = ResetPeakMemory();
    const long RssBefore = ProcessStatusKB("VmRSS");
    const std::size_t HeapBefore = HeapInUse();
    auto C = std::make_unique<TqdDXFConverter>(TqdConverterParams{true, {}});
    state.ResumeTiming();
    TqdLoadResult R = qdLoadDrawingFile(Format, APath, *C);
    state.PauseTiming();
    if (!R.Ok) {
      state.SkipWithError(("load failed: " + R.Error).c_str());
      break;
    }
    const long Hwm = ProcessStatusKB("VmHWM");
    PeakKB = PeakOk ? static_cast<double>(Hwm - RssBefore) : -1;
    HeapBytes = static_cast<double>(HeapInUse()) - static_cast<double>(HeapBefore);
    Entities = EntityCount(*C);
    C.reset();
    state.ResumeTiming();
  }
  const double Ents = static_cast<double>(std::max<std::size_t>(Entities, 1));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(Size));
  state.counters["file_MB"] = static_cast<double>(Size) / 1e6;
  state.counters["entities"] = static_cast<double>(Entities);
  state.counters["peak_MB"] = PeakKB * 1024 / 1e6;
  state.counters["peak_x_file"] = PeakKB * 1024 / static_cast<double>(Size);
  state.counters["heap_B_per_ent"] = HeapBytes / Ents;
  state.counters["peak_B_per_ent"] = PeakKB * 1024 / Ents;
}

// Every file of a list loaded once per iteration: the sum over a corpus release range.
void BM_LoadSet(benchmark::State& state, const std::vector<std::string>& APaths) {
  static const bool Registered = (RegisterReaders(), true);
  (void)Registered;
  std::int64_t Bytes = 0;
  std::vector<std::string> Formats;
  for (const std::string& P : APaths) {
    std::error_code EC;
    Bytes += static_cast<std::int64_t>(fs::file_size(P, EC));
    const std::vector<unsigned char> Head = qdReadFileHead(P, cnstContentHeadSize);
    Formats.push_back(qdIdentifyContent(Head.data(), Head.size()).Family);
  }
  std::size_t Entities = 0;
  // DRAFTWELL_LOAD_BENCH_WARM=1: every file is loaded once before, so that what the
  // process sets up once (fonts found for the first text, class tables) is not
  // charged to the file that happens to need it first.
  if (std::getenv("DRAFTWELL_LOAD_BENCH_WARM"))
    for (std::size_t I = 0; I < APaths.size(); ++I) {
      auto C = std::make_unique<TqdDXFConverter>(TqdConverterParams{true, {}});
      (void)qdLoadDrawingFile(Formats[I], APaths[I], *C);
    }
  // Memory is taken on the first pass only: the peak of the worst file against its
  // size, and the heap of all models per entity.
  double WorstPeakX = 0, HeapBytes = 0;
  bool First = true, PeakOk = true;
  std::string Worst;
  for (auto _ : state) {
    Entities = 0;
    for (std::size_t I = 0; I < APaths.size(); ++I) {
      long RssBefore = 0;
      std::size_t HeapBefore = 0;
      if (First) {
        state.PauseTiming();
        malloc_trim(0);
        PeakOk = PeakOk && ResetPeakMemory();
        RssBefore = ProcessStatusKB("VmRSS");
        HeapBefore = HeapInUse();
        state.ResumeTiming();
      }
      auto C = std::make_unique<TqdDXFConverter>(TqdConverterParams{true, {}});
      const TqdLoadResult R = qdLoadDrawingFile(Formats[I], APaths[I], *C);
      if (!R.Ok) {
        state.SkipWithError(("load failed: " + APaths[I] + ": " + R.Error).c_str());
        return;
      }
      Entities += EntityCount(*C);
      state.PauseTiming();
      if (First) {
        std::error_code EC;
        const double Size = static_cast<double>(fs::file_size(APaths[I], EC));
        const double X = static_cast<double>(ProcessStatusKB("VmHWM") - RssBefore) * 1024 / std::max(Size, 1.0);
        if (std::getenv("DRAFTWELL_LOAD_BENCH_PEAKS"))
          std::fprintf(stderr, "peak %-48s %8.0f B %6.2f x file %8.3f MB\n", APaths[I].c_str(), Size, X,
                       static_cast<double>(ProcessStatusKB("VmHWM") - RssBefore) / 1024);
        if (X > WorstPeakX) {
          WorstPeakX = X;
          Worst = fs::path(APaths[I]).filename().string();
        }
        HeapBytes += static_cast<double>(HeapInUse()) - static_cast<double>(HeapBefore);
      }
      C.reset();
      state.ResumeTiming();
    }
    First = false;
  }
  if (!Worst.empty()) state.SetLabel("worst peak: " + Worst);
  state.counters["worst_peak_x_file"] = PeakOk ? WorstPeakX : -1;
  state.counters["heap_B_per_ent"] = HeapBytes / static_cast<double>(std::max<std::size_t>(Entities, 1));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * Bytes);
  state.counters["files"] = static_cast<double>(APaths.size());
  state.counters["file_MB"] = static_cast<double>(Bytes) / 1e6;
  state.counters["entities"] = static_cast<double>(Entities);
}

// DWG files of the releases the reader decodes: each of the largest, and all in sum.
void RegisterDWG() {
  const fs::path Dir = fs::path(DRAFTWELL_CORPUS_DIR) / "dwg";
  std::error_code EC;
  if (!fs::is_directory(Dir, EC)) return;
  std::vector<std::pair<std::uintmax_t, fs::path>> Files;
  for (const auto& E : fs::directory_iterator(Dir, EC)) {
    const std::string N = E.path().filename().string();
    if (E.is_regular_file() && E.path().extension() == ".dwg" &&
        (N.rfind("r13_", 0) == 0 || N.rfind("r14_", 0) == 0 || N.rfind("r2000_", 0) == 0))
      Files.emplace_back(E.file_size(), E.path());
  }
  std::sort(Files.rbegin(), Files.rend());
  std::vector<std::string> All;
  for (const auto& [Size, P] : Files) All.push_back(P.string());
  benchmark::RegisterBenchmark("BM_Load/dwg_r13_r2000_all", BM_LoadSet, All)->Unit(benchmark::kMillisecond)->MinTime(1.0);
  // The container releases: each release, and the two groups the speed goals name.
  {
    std::map<std::string, std::vector<std::string>> ByRelease;
    for (const auto& E : fs::directory_iterator(Dir, EC)) {
      const std::string N = E.path().filename().string();
      if (!E.is_regular_file() || E.path().extension() != ".dwg") continue;
      for (const char* R : {"r2004", "r2007", "r2010", "r2013", "r2018"})
        if (N.rfind(std::string(R) + "_", 0) == 0) ByRelease[R].push_back(E.path().string());
    }
    for (auto& [R, V] : ByRelease) std::sort(V.begin(), V.end());
    const auto Group = [&](std::initializer_list<const char*> ARel) {
      std::vector<std::string> G;
      for (const char* R : ARel) G.insert(G.end(), ByRelease[R].begin(), ByRelease[R].end());
      return G;
    };
    for (const char* R : {"r2004", "r2007", "r2010", "r2013", "r2018"})
      if (!ByRelease[R].empty())
        benchmark::RegisterBenchmark(("BM_Load/dwg_" + std::string(R) + "_all").c_str(), BM_LoadSet, ByRelease[R])
            ->Unit(benchmark::kMillisecond)
            ->MinTime(1.0);
    benchmark::RegisterBenchmark("BM_Load/dwg_r2004_r2007_all", BM_LoadSet, Group({"r2004", "r2007"}))
        ->Unit(benchmark::kMillisecond)
        ->MinTime(1.0);
    benchmark::RegisterBenchmark("BM_Load/dwg_r2010_r2018_all", BM_LoadSet, Group({"r2010", "r2013", "r2018"}))
        ->Unit(benchmark::kMillisecond)
        ->MinTime(1.0);
  }
  if (Files.size() > cnstCorpusFiles) Files.resize(cnstCorpusFiles);
  for (const auto& [Size, P] : Files)
    benchmark::RegisterBenchmark(("BM_Load/" + P.filename().string()).c_str(), BM_Load, P.string())
        ->Unit(benchmark::kMillisecond)
        ->MinTime(1.0);
}

// The synthetic drawing lives in a temporary file removed at exit.
struct TSyntheticFile {
  std::string Path;
  TSyntheticFile() {
    const char* Env = std::getenv("DRAFTWELL_LOAD_BENCH_ENTITIES");
    const int N = Env ? std::atoi(Env) : 500000;
    Path = (fs::temp_directory_path() / ("draftwell-load-bench-" + std::to_string(getpid()) + ".dxf")).string();
    if (!WriteSyntheticDXF(Path, {N, 7})) Path.clear();
  }
  ~TSyntheticFile() {
    if (!Path.empty()) std::remove(Path.c_str());
  }
};

// The largest plot files of the corpus (HP-GL/2, PE-encoded, PCL with PJL).
void RegisterHPGL() {
  const fs::path Dir = fs::path(DRAFTWELL_CORPUS_DIR) / "hpgl";
  std::error_code EC;
  if (!fs::is_directory(Dir, EC)) return;
  std::vector<std::pair<std::uintmax_t, fs::path>> Files;
  for (const auto& E : fs::directory_iterator(Dir, EC))
    if (E.is_regular_file() && E.path().extension() != ".tsv" && E.path().extension() != ".gz")
      Files.emplace_back(E.file_size(), E.path());
  std::sort(Files.rbegin(), Files.rend());
  if (Files.size() > 3) Files.resize(3);
  for (const auto& [Size, P] : Files)
    benchmark::RegisterBenchmark(("BM_Load/" + P.filename().string()).c_str(), BM_Load, P.string())
        ->Unit(benchmark::kMillisecond)
        ->MinTime(1.0);
}

void RegisterAll() {
  RegisterDWG();
  RegisterHPGL();
  static TSyntheticFile Synthetic;
  benchmark::RegisterBenchmark("BM_Load/synthetic", BM_Load, Synthetic.Path)
      ->Unit(benchmark::kMillisecond)
      ->Iterations(3);

  // The largest text and binary files of the corpus.
  const fs::path Dir = fs::path(DRAFTWELL_CORPUS_DIR) / "dxf";
  std::error_code EC;
  if (!fs::is_directory(Dir, EC)) {
    std::fprintf(stderr, "corpus not found at %s: corpus benchmarks skipped\n", Dir.c_str());
    return;
  }
  std::vector<std::pair<std::uintmax_t, fs::path>> Files;
  for (const auto& E : fs::directory_iterator(Dir, EC))
    if (E.is_regular_file() && E.path().extension() == ".dxf") Files.emplace_back(E.file_size(), E.path());
  std::sort(Files.rbegin(), Files.rend());
  if (Files.size() > cnstCorpusFiles) Files.resize(cnstCorpusFiles);
  for (const auto& [Size, P] : Files)
    benchmark::RegisterBenchmark(("BM_Load/" + P.filename().string()).c_str(), BM_Load, P.string())
        ->Unit(benchmark::kMillisecond)
        ->MinTime(1.0);
}

} // namespace

int main(int argc, char** argv) {
  RegisterAll();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
