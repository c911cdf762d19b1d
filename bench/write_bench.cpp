// DXF write speed: the 500,000-entity synthetic drawing, loaded once, written to a
// counting stream (no disk) and to a file, ASCII R2018, binary R2018 and ASCII R2000.
//   write_bench [--benchmark_filter=...]
// Counters: MB/s of output bytes, out_MB the size of one write.
// DRAFTWELL_WRITE_BENCH_ENTITIES sets the entity count (default 500000).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <ostream>
#include <streambuf>
#include <string>

#include "DXFConv.h"
#include "DXFWriter.h"
#include "Readers.h"
#include "SyntheticDXF.h"
#include "qdReaders.h"

namespace fs = std::filesystem;

namespace {

// Counts what it is given and keeps nothing: the writer's own cost.
struct TCountingBuf : std::streambuf {
  std::uint64_t Bytes = 0;
  std::streamsize xsputn(const char*, std::streamsize N) override {
    Bytes += static_cast<std::uint64_t>(N);
    return N;
  }
  int overflow(int C) override {
    if (C != traits_type::eof()) ++Bytes;
    return C;
  }
};

struct TDrawing {
  std::unique_ptr<TqdDXFConverter> C;
  std::string Error;
  TDrawing() {
    const char* Env = std::getenv("DRAFTWELL_WRITE_BENCH_ENTITIES");
    const int N = Env ? std::atoi(Env) : 500000;
    const std::string Path = (fs::temp_directory_path() / ("draftwell-write-bench-" + std::to_string(getpid()) + ".dxf")).string();
    if (!WriteSyntheticDXF(Path, {N, 7})) {
      Error = "cannot write the synthetic drawing";
      return;
    }
    RegisterReaders();
    C = std::make_unique<TqdDXFConverter>();
    const TqdLoadResult R = qdLoadDrawingFile("dxf", Path, *C);
    std::remove(Path.c_str());
    if (!R.Ok) Error = "load failed: " + R.Error;
  }
};

TDrawing& Drawing() {
  static TDrawing D;
  return D;
}

void BM_WriteStream(benchmark::State& state, TqdDWGVersion ARelease, bool ABinary) {
  TDrawing& D = Drawing();
  if (!D.Error.empty()) {
    state.SkipWithError(D.Error.c_str());
    return;
  }
  TqdDXFWriteOptions O;
  O.Release = ARelease;
  O.Binary = ABinary;
  std::uint64_t Bytes = 0;
  for (auto _ : state) {
    TCountingBuf Buf;
    std::ostream S(&Buf);
    const TqdDXFWriteResult R = WriteDXF(*D.C, S, O);
    if (!R.Ok) {
      state.SkipWithError(R.Error.c_str());
      break;
    }
    Bytes = Buf.Bytes;
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * Bytes));
  state.counters["out_MB"] = static_cast<double>(Bytes) / 1e6;
}

void BM_SaveFile(benchmark::State& state) {
  TDrawing& D = Drawing();
  if (!D.Error.empty()) {
    state.SkipWithError(D.Error.c_str());
    return;
  }
  const std::string Path = (fs::temp_directory_path() / ("draftwell-write-bench-out-" + std::to_string(getpid()) + ".dxf")).string();
  std::uint64_t Bytes = 0;
  for (auto _ : state) {
    const TqdDXFWriteResult R = SaveDXFFile(*D.C, Path);
    if (!R.Ok) {
      state.SkipWithError(R.Error.c_str());
      break;
    }
    Bytes = fs::file_size(Path);
  }
  std::remove(Path.c_str());
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * Bytes));
  state.counters["out_MB"] = static_cast<double>(Bytes) / 1e6;
}

}  // namespace

BENCHMARK_CAPTURE(BM_WriteStream, ascii_r2018, acR2018, false)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK_CAPTURE(BM_WriteStream, binary_r2018, acR2018, true)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK_CAPTURE(BM_WriteStream, ascii_r2000, acR2000, false)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_SaveFile)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK_MAIN();
