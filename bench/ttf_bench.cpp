// TrueType text as geometry: 10,000 texts of one face measured and outlined at
// varying heights. The first pass outlines each glyph once; the rest reuse it.
//   ttf_bench [--benchmark_filter=...]
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "TTF.h"
#include "qdFunction.h"

namespace {

std::vector<std::u16string> Texts() {
  std::vector<std::u16string> t;
  for (int i = 0; i < 10000; ++i)
    t.push_back(TTFUtf8ToUtf16("Room " + std::to_string(i) + " - Area " + std::to_string(i * 7 % 997) + ".5 m2"));
  return t;
}

// Box and contours of every text, as the database computes them on load.
void BM_TextOutlines10k(benchmark::State& State) {
  const TqdTTFResolution R = ResolveTTFFace("Arial");
  if (R.Kind == trkNone) {
    State.SkipWithError("no TrueType face is installed");
    return;
  }
  const std::vector<std::u16string> texts = Texts();
  int outlined = 0, glyphs = 0;
  std::size_t points = 0;
  for (auto _ : State) {
    State.PauseTiming();
    TqdTextGlyph set; // a fresh glyph set: the first texts pay for the outlines
    set.SetFontParams("Arial", 0);
    State.ResumeTiming();
    points = 0;
    for (std::size_t i = 0; i < texts.size(); ++i) {
      const double k = set.HeightScale(1.0 + double(i % 9));
      const TFMatrix m = ScalingMatrix(k, k, k);
      TFRect box;
      set.GetBoxW(u"", texts[i], box, m);
      std::vector<TFPointList> lines;
      set.GetPolyPolylineW(u"", texts[i], nullptr, lines, m, 0);
      for (const TFPointList& l : lines) points += static_cast<std::size_t>(l.Count());
      benchmark::DoNotOptimize(box);
    }
    outlined = set.OutlinedCount();
    glyphs = set.GlyphCount();
  }
  State.counters["texts"] = double(texts.size());
  State.counters["glyphs_outlined"] = outlined;
  State.counters["glyphs"] = glyphs;
  State.counters["points"] = double(points);
  State.counters["texts_per_s"] =
      benchmark::Counter(double(texts.size()), benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_TextOutlines10k)->Unit(benchmark::kMillisecond);

// One glyph outlined by the font engine and turned into contours.
void BM_OutlineGlyph(benchmark::State& State) {
  TqdTextGlyph set;
  set.SetFontParams("Arial", 0);
  if (!set.HasFace()) {
    State.SkipWithError("no TrueType face is installed");
    return;
  }
  char32_t c = 0x20;
  for (auto _ : State) {
    State.PauseTiming();
    if (++c > 0x24F) {
      set.SetFontParams("Arial", 0);
      c = 0x21;
    }
    State.ResumeTiming();
    benchmark::DoNotOptimize(set.Glyph(c));
  }
}
BENCHMARK(BM_OutlineGlyph)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
