// DXF writing speed: the synthetic drawing loaded once, then written to memory (the
// writer alone) and to a file beside the others in the temporary folder (the writer
// with the file system, as Save does).
//   writer_bench [--benchmark_filter=...]
//
// Counters: MB/s (bytes written per second), out_MB (size of one written file),
// entities (in the layouts' blocks).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <sstream>
#include <string>

#include "DXFConv.h"
#include "DXFWriter.h"
#include "Readers.h"
#include "SyntheticDXF.h"
#include "qdReaders.h"

namespace fs = std::filesystem;

namespace {

// One loaded drawing per size, kept for every benchmark of the run.
TqdDXFConverter* Synthetic(int AEntities) {
  static std::map<int, std::unique_ptr<TqdDXFConverter>> Cache;
  auto& Slot = Cache[AEntities];
  if (!Slot) {
    static const bool Registered = (RegisterReaders(), true);
    (void)Registered;
    TSyntheticDXFOptions O;
    O.Entities = AEntities;
    const fs::path P = fs::temp_directory_path() / ("draftwell-writer-bench-" + std::to_string(AEntities) + ".dxf");
    if (!WriteSyntheticDXF(P.string(), O)) return nullptr;
    Slot = std::make_unique<TqdDXFConverter>(TqdConverterParams{true, {}});
    const TqdLoadResult R = qdLoadDrawingFile("dxf", P.string(), *Slot);
    fs::remove(P);
    if (!R.Ok) Slot.reset();
  }
  return Slot.get();
}

std::size_t EntityCount(const TqdDXFConverter& C) {
  std::size_t N = 0;
  for (int I = 0; I < C.LayoutsCount(); ++I)
    if (const TqdDXFLayout* L = C.GetLayout(I))
      if (const TqdDXFBlock* B = L->PaperSpaceBlockField()) N += static_cast<std::size_t>(B->Count());
  return N;
}

void Report(benchmark::State& State, const TqdDXFConverter& C, std::size_t ABytes) {
  State.SetBytesProcessed(static_cast<std::int64_t>(State.iterations() * ABytes));
  State.counters["out_MB"] = static_cast<double>(ABytes) / 1e6;
  State.counters["entities"] = static_cast<double>(EntityCount(C));
}

TqdDWGVersion Release(int AIndex) { return AIndex == 0 ? acR2018 : AIndex == 1 ? acR2000 : acR12; }

// The writer alone: into a string stream reserved once.
void BM_WriteToMemory(benchmark::State& State) {
  TqdDXFConverter* C = Synthetic(static_cast<int>(State.range(0)));
  if (!C) return State.SkipWithError("the synthetic drawing did not load");
  TqdDXFWriteOptions O;
  O.Release = Release(static_cast<int>(State.range(1)));
  O.Binary = State.range(2) != 0;
  std::size_t Bytes = 0;
  for (auto _ : State) {
    std::ostringstream Out;
    const TqdDXFWriteResult R = WriteDXF(*C, Out, O);
    if (!R.Ok) return State.SkipWithError(("write failed: " + R.Error).c_str());
    Bytes = Out.view().size();
    benchmark::DoNotOptimize(Bytes);
  }
  Report(State, *C, Bytes);
}
BENCHMARK(BM_WriteToMemory)
    ->ArgsProduct({{500000}, {0}, {0, 1}})
    ->Args({500000, 1, 0})
    ->Args({500000, 2, 0})
    ->ArgNames({"entities", "release", "binary"})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// As Save writes: a temporary file renamed over the target.
void BM_SaveFile(benchmark::State& State) {
  TqdDXFConverter* C = Synthetic(static_cast<int>(State.range(0)));
  if (!C) return State.SkipWithError("the synthetic drawing did not load");
  const fs::path P = fs::temp_directory_path() / "draftwell-writer-bench-out.dxf";
  std::size_t Bytes = 0;
  for (auto _ : State) {
    const TqdDXFWriteResult R = SaveDXFFile(*C, P.string());
    if (!R.Ok) return State.SkipWithError(("save failed: " + R.Error).c_str());
    State.PauseTiming();
    std::error_code EC;
    Bytes = static_cast<std::size_t>(fs::file_size(P, EC));
    State.ResumeTiming();
  }
  fs::remove(P);
  Report(State, *C, Bytes);
}
BENCHMARK(BM_SaveFile)->Arg(500000)->ArgNames({"entities"})->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
