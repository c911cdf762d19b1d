// The XML dump against the load it follows: for a synthetic drawing and the largest
// corpus drawings (skipped when the corpus is absent), the time of LoadDXFFromMemory
// and the time of StreamXML over the loaded drawing (what `draftwell-cli dump --xml`
// adds to the load).
//   xml_bench [--benchmark_filter=...]
// Counters: MB/s (input bytes for the load, output bytes for the dump), out_MB.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "readers/dxf/DXF.h"
#include "Properties.h"
#include "SyntheticDXF.h"

#ifndef DRAFTWELL_CORPUS_DIR
#define DRAFTWELL_CORPUS_DIR ""
#endif

namespace fs = std::filesystem;

namespace {

constexpr TqdXMLMode cModes = xmAddSubEntities | xmAddSectionEntities | xmlGetDefaultValue;

void BM_Load(benchmark::State& state, const std::string* AData) {
  for (auto _ : state) {
    auto* C = new TqdDXFConverter(TqdConverterParams{});
    LoadDXFFromMemory(AData->data(), AData->size(), *C);
    state.PauseTiming();
    C->Release();
    state.ResumeTiming();
  }
  state.counters["MB/s"] =
      benchmark::Counter(static_cast<double>(AData->size()) / 1e6, benchmark::Counter::kIsIterationInvariantRate);
}

void BM_DumpXML(benchmark::State& state, const std::string* AData) {
  TqdConverterRef C(new TqdDXFConverter(TqdConverterParams{}));
  LoadDXFFromMemory(AData->data(), AData->size(), *C.get());
  std::size_t Size = 0;
  for (auto _ : state) {
    std::string Out;
    StreamXML(Out, *C.get(), cModes);
    Size = Out.size();
    benchmark::DoNotOptimize(Out.data());
  }
  state.counters["out_MB"] = static_cast<double>(Size) / 1e6;
  state.counters["MB/s"] =
      benchmark::Counter(static_cast<double>(Size) / 1e6, benchmark::Counter::kIsIterationInvariantRate);
}

std::vector<std::string>& Inputs() {
  static std::vector<std::string> V;
  return V;
}

void RegisterAll() {
  RegisterDXFReader();
  std::vector<std::pair<std::string, std::string>> Files;
  Files.emplace_back("synthetic", MakeSyntheticDXF({200000, 7}));
  std::error_code EC;
  const fs::path Dir = fs::path(DRAFTWELL_CORPUS_DIR) / "dxf";
  std::vector<fs::path> Corpus;
  if (fs::is_directory(Dir, EC))
    for (const auto& E : fs::directory_iterator(Dir, EC))
      if (E.path().extension() == ".dxf") Corpus.push_back(E.path());
  std::sort(Corpus.begin(), Corpus.end(),
            [](const fs::path& A, const fs::path& B) { return fs::file_size(A) > fs::file_size(B); });
  if (Corpus.size() > 4) Corpus.resize(4);
  for (const fs::path& P : Corpus) {
    std::ifstream In(P, std::ios::binary);
    Files.emplace_back(P.filename().string(), std::string(std::istreambuf_iterator<char>(In), {}));
  }
  Inputs().reserve(Files.size());
  for (auto& [Name, Data] : Files) {
    Inputs().push_back(std::move(Data));
    const std::string* D = &Inputs().back();
    benchmark::RegisterBenchmark(("BM_Load/" + Name).c_str(), BM_Load, D)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(("BM_DumpXML/" + Name).c_str(), BM_DumpXML, D)->Unit(benchmark::kMillisecond);
  }
}

}  // namespace

int main(int argc, char** argv) {
  RegisterAll();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
