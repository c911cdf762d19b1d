// Raw scanning speed of the DXF tokenizers over the synthetic drawing.
#include <benchmark/benchmark.h>

#include <string>

#include "readers/dxf/DXFTokenizer.h"
#include "SyntheticDXF.h"

namespace {
const std::string& Drawing() {
  static const std::string s = MakeSyntheticDXF({200000, 7});
  return s;
}

void BM_TokenizeText(benchmark::State& state) {
  const std::string& s = Drawing();
  for (auto _ : state) {
    TdxfTokenizer t(s.data(), s.size());
    std::size_t groups = 0;
    double sum = 0;
    while (!t.AtEnd()) {
      t.Next();
      ++groups;
      if (t.ValueType() == vtReal) sum += t.FloatValue();
    }
    benchmark::DoNotOptimize(sum);
    benchmark::DoNotOptimize(groups);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(s.size()));
}
BENCHMARK(BM_TokenizeText)->Unit(benchmark::kMillisecond);
} // namespace

BENCHMARK_MAIN();
