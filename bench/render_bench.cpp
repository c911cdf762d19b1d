// Full redraw time of a CAD image at 1920x1080: the synthetic drawing at 100,000
// and 500,000 entities, and the largest corpus drawings (skipped when absent).
//   render_bench [--threads=N] [--lod] [--benchmark_filter=...]
// --threads=N draws every frame in N bands, a thread each (times are wall time);
// --lod draws as the view does (texts too small to read as lines).
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <fstream>

#include <QGuiApplication>
#include <QImage>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <sstream>
#include <string>

#include "CADImage.h"
#include "Readers.h"
#include "SyntheticDXF.h"
#include "qdDrawCache.h"
#include "qdIterator.h"
#include "qdQtCanvas.h"

#ifndef DRAFTWELL_CORPUS_DIR
#define DRAFTWELL_CORPUS_DIR ""
#endif

namespace {

int GThreads = 1;
bool GLOD = false;

std::map<std::string, std::unique_ptr<TqdCADImage>>& Cache() {
  static const bool Registered = (RegisterReaders(), RegisterCADImages(), true);
  (void)Registered;
  static std::map<std::string, std::unique_ptr<TqdCADImage>> C;
  return C;
}

TqdCADImage* Prepare(TqdCADImage& I) {
  I.SetIsProcessMessages(false);
  I.SetDrawThreads(GThreads);
  I.SetLevelOfDetail(GLOD);
  const int D = I.Converter()->DefaultLayoutIndex();
  if (!I.SelectLayout(std::to_string(D))) I.SelectLayout("0");
  return I.CurrentLayout() ? &I : nullptr;
}

TqdCADImage* Synthetic(int Entities, bool Dashed = false) {
  const std::string Key = "synthetic" + std::to_string(Entities) + (Dashed ? "dashed" : "");
  auto& Slot = Cache()[Key];
  if (!Slot) {
    TSyntheticDXFOptions O;
    O.Entities = Entities;
    O.Dashed = Dashed;
    std::istringstream In(MakeSyntheticDXF(O));
    Slot = std::make_unique<TqdCADdxfImage>();
    Slot->SetIsProcessMessages(false);
    Slot->LoadFromStream(In);
  }
  return Prepare(*Slot);
}

TqdCADImage* FromFile(const std::string& Path) {
  auto& Slot = Cache()[Path];
  if (!Slot) {
    TqdPicture P;
    P.LoadFromFile(Path);
    if (!dynamic_cast<TqdCADImage*>(P.Graphic())) return nullptr;
    Slot.reset(static_cast<TqdCADImage*>(P.TakeGraphic().release()));
  }
  return Prepare(*Slot);
}

// Zoom > 1 draws the picture Zoom times larger about the window centre (a view
// zoomed in: most entities are culled, the visible ones drawn in full).
void Redraw(benchmark::State& State, TqdCADImage* I, int Zoom = 1) {
  if (!I) {
    State.SkipWithError("no drawing");
    return;
  }
  QImage Q(1920, 1080, QImage::Format_RGB32);
  TqdQtCanvas C(&Q);
  const int W = 1920 * Zoom, H = 1080 * Zoom;
  const TqdIntRect R{960 - W / 2, 540 - H / 2, 960 - W / 2 + W, 540 - H / 2 + H};
  for (auto _ : State) {
    I->Draw(C, R);
    benchmark::DoNotOptimize(Q.constBits());
  }
  const auto& S = I->Iterator()->Stats();
  State.counters["entities"] = static_cast<double>(S.Entities);
  State.counters["drawn"] = static_cast<double>(S.Drawn);
  State.counters["pixels"] = static_cast<double>(S.Pixels);
  State.counters["skipped"] = static_cast<double>(S.Skipped);
  State.counters["culled"] = static_cast<double>(S.Culled);
  State.counters["flushes"] = static_cast<double>(S.PixelFlushes);
  State.counters["dashed"] = static_cast<double>(S.Dashed);
  State.counters["text_lines"] = static_cast<double>(S.TextLines);
  State.counters["cache_kb"] = static_cast<double>(I->DrawCache().Bytes()) / 1024.0;
}

void BM_Synthetic(benchmark::State& State) { Redraw(State, Synthetic(static_cast<int>(State.range(0)))); }
BENCHMARK(BM_Synthetic)->Arg(100000)->Arg(500000)->Arg(1000000)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_SyntheticZoomed(benchmark::State& State) {
  Redraw(State, Synthetic(static_cast<int>(State.range(0))), static_cast<int>(State.range(1)));
}
BENCHMARK(BM_SyntheticZoomed)->Args({100000, 4})->Args({500000, 8})->Args({1000000, 8})->Unit(benchmark::kMillisecond)->UseRealTime();

// The full view with one-pixel entities sent before every primitive (none waiting
// past primitives that do not cover them): compare with BM_Synthetic.
void BM_SyntheticFlushEvery(benchmark::State& State) {
  TqdCADIterator::DeferPixels() = false;
  Redraw(State, Synthetic(static_cast<int>(State.range(0))));
  TqdCADIterator::DeferPixels() = true;
}
BENCHMARK(BM_SyntheticFlushEvery)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same drawing with every entity on a dashed linetype (BYLAYER from dashed
// layers; block contents on layer 0, also dashed): compare with BM_Synthetic.
void BM_SyntheticDashed(benchmark::State& State) {
  Redraw(State, Synthetic(static_cast<int>(State.range(0)), true), static_cast<int>(State.range(1)));
}
BENCHMARK(BM_SyntheticDashed)->Args({100000, 1})->Args({100000, 4})->Unit(benchmark::kMillisecond)->UseRealTime();

// Opening a drawing as the editor does: the file read from disk and its first full
// frame at 1920x1080 (the points curves make on first use count in it). Counters:
// open_ms (load), draw_ms (first frame), file_mb, rss_mb (resident after the first
// frame), load_rss_mb (resident before it), base_rss_mb (before the open) and peak_mb (the process's peak since
// the open began).
long long StatusKB(const char* Key) {
  std::ifstream F("/proc/self/status");
  std::string Line;
  const std::size_t N = std::strlen(Key);
  while (std::getline(F, Line))
    if (Line.compare(0, N, Key) == 0) return std::atoll(Line.c_str() + N);
  return -1;
}

void BM_FirstPicture(benchmark::State& State) {
  namespace fs = std::filesystem;
  const int Entities = static_cast<int>(State.range(0));
  const fs::path File = fs::temp_directory_path() / ("draftwell-bench-synthetic-" + std::to_string(Entities) + ".dxf");
  std::error_code EC;
  if (!fs::exists(File, EC)) {
    TSyntheticDXFOptions O;
    O.Entities = Entities;
    if (!WriteSyntheticDXF(File.string(), O)) {
      State.SkipWithError("cannot write the synthetic drawing");
      return;
    }
  }
  static const bool Registered = (RegisterReaders(), RegisterCADImages(), true);
  (void)Registered;
  QImage Q(1920, 1080, QImage::Format_RGB32);
  double OpenMS = 0, DrawMS = 0, RssMB = 0, PeakMB = 0, LoadRssMB = 0, BaseRssMB = 0;
  for (auto _ : State) {
    // Peak resident size counted from here on.
    if (FILE* C = std::fopen("/proc/self/clear_refs", "w")) {
      std::fputs("5", C);
      std::fclose(C);
    }
    BaseRssMB = StatusKB("VmRSS:") / 1024.0;
    const auto T0 = std::chrono::steady_clock::now();
    TqdPicture P;
    P.LoadFromFile(File.string());
    auto* I = dynamic_cast<TqdCADImage*>(P.Graphic());
    if (!I || !Prepare(*I)) {
      State.SkipWithError("no drawing");
      return;
    }
    const auto T1 = std::chrono::steady_clock::now();
    LoadRssMB = StatusKB("VmRSS:") / 1024.0;
    TqdQtCanvas C(&Q);
    I->Draw(C, TqdIntRect{0, 0, 1920, 1080});
    const auto T2 = std::chrono::steady_clock::now();
    OpenMS = std::chrono::duration<double, std::milli>(T1 - T0).count();
    DrawMS = std::chrono::duration<double, std::milli>(T2 - T1).count();
    RssMB = StatusKB("VmRSS:") / 1024.0;
    PeakMB = StatusKB("VmHWM:") / 1024.0;
  }
  State.counters["open_ms"] = OpenMS;
  State.counters["draw_ms"] = DrawMS;
  State.counters["file_mb"] = static_cast<double>(fs::file_size(File, EC)) / (1024.0 * 1024.0);
  State.counters["rss_mb"] = RssMB;
  State.counters["load_rss_mb"] = LoadRssMB;
  State.counters["base_rss_mb"] = BaseRssMB;
  State.counters["peak_mb"] = PeakMB;
}
BENCHMARK(BM_FirstPicture)->Arg(500000)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

// 100,000 single-line texts on a grid, or lines of the same length (the cost of a
// text against a line).
TqdCADImage* TextGrid(int Count, bool AsLines) {
  const std::string Key = std::string(AsLines ? "lines" : "texts") + std::to_string(Count);
  auto& Slot = Cache()[Key];
  if (!Slot) {
    std::ostringstream D;
    D << "0\nSECTION\n2\nENTITIES\n";
    const int Side = static_cast<int>(std::ceil(std::sqrt(Count)));
    for (int K = 0; K < Count; ++K) {
      const double X = (K % Side) * 12.0, Y = (K / Side) * 3.0;
      if (AsLines)
        D << "0\nLINE\n8\n0\n10\n" << X << "\n20\n" << Y << "\n11\n" << X + 9.5 << "\n21\n" << Y << "\n";
      else
        D << "0\nTEXT\n8\n0\n10\n" << X << "\n20\n" << Y << "\n40\n1.0\n1\nText " << K % 1000 << "\n";
    }
    D << "0\nENDSEC\n0\nEOF\n";
    std::istringstream In(D.str());
    Slot = std::make_unique<TqdCADdxfImage>();
    Slot->SetIsProcessMessages(false);
    Slot->LoadFromStream(In);
  }
  return Prepare(*Slot);
}

void BM_Texts(benchmark::State& State) { Redraw(State, TextGrid(static_cast<int>(State.range(0)), false)); }
BENCHMARK(BM_Texts)->Arg(100000)->Unit(benchmark::kMillisecond)->UseRealTime();
void BM_TextLines(benchmark::State& State) { Redraw(State, TextGrid(static_cast<int>(State.range(0)), true)); }
BENCHMARK(BM_TextLines)->Arg(100000)->Unit(benchmark::kMillisecond)->UseRealTime();
void BM_TextsZoomed(benchmark::State& State) {
  Redraw(State, TextGrid(static_cast<int>(State.range(0)), false), static_cast<int>(State.range(1)));
}
BENCHMARK(BM_TextsZoomed)->Args({100000, 8})->Unit(benchmark::kMillisecond)->UseRealTime();
void BM_TextLinesZoomed(benchmark::State& State) {
  Redraw(State, TextGrid(static_cast<int>(State.range(0)), true), static_cast<int>(State.range(1)));
}
BENCHMARK(BM_TextLinesZoomed)->Args({100000, 8})->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_TextFonts(benchmark::State& State) {
  Redraw(State, FromFile((std::filesystem::path(DRAFTWELL_CORPUS_DIR) / "dxf" / "ezdxf-text_fonts.dxf").string()));
}
BENCHMARK(BM_TextFonts)->Unit(benchmark::kMillisecond)->UseRealTime();

// The largest drawings of the corpus.
void RegisterCorpus() {
  namespace fs = std::filesystem;
  const fs::path Dir = fs::path(DRAFTWELL_CORPUS_DIR) / "dxf";
  std::error_code EC;
  if (!fs::is_directory(Dir, EC)) return;
  std::vector<std::pair<std::uintmax_t, std::string>> Files;
  for (const auto& E : fs::directory_iterator(Dir, EC))
    if (E.path().extension() == ".dxf") Files.push_back({E.file_size(EC), E.path().string()});
  std::sort(Files.rbegin(), Files.rend());
  for (std::size_t K = 0; K < Files.size() && K < 4; ++K) {
    const std::string Path = Files[K].second;
    benchmark::RegisterBenchmark(("BM_Corpus/" + fs::path(Path).filename().string()).c_str(),
                                 [Path](benchmark::State& S) { Redraw(S, FromFile(Path)); })
        ->Unit(benchmark::kMillisecond)->UseRealTime();
  }
}

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QGuiApplication App(argc, argv);
  for (int K = 1; K < argc; ++K) {
    const std::string A = argv[K];
    if (A.rfind("--threads=", 0) == 0) GThreads = std::max(1, std::atoi(A.c_str() + 10));
    else if (A == "--lod") GLOD = true;
  }
  RegisterCorpus();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  Cache().clear();
  return 0;
}
