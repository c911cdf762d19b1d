// Selection on the 500,000-entity synthetic drawing in a 1000 x 700 view
// (offscreen): a frame with and without the selection raster, a click (hit
// test, selection, markers), select all with its markers, and dragging the
// whole selection (moving every entity, then the next frame).
//   selection_bench [--benchmark_filter=...]
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <cstdlib>
#include <memory>
#include <sstream>

#include "CADImage.h"
#include "Readers.h"
#include "SyntheticDXF.h"
#include "qdDrawingNavigator.h"
#include "qdSManager.h"
#include "qdSelection.h"

namespace {

struct TView {
  std::unique_ptr<TqdDrawingNavigator> N;
  std::unique_ptr<TqdSelectionManager> M;
  QImage Screen{1000, 700, QImage::Format_RGB32};
};

TView& View() {
  static TView V = [] {
    RegisterReaders();
    RegisterCADImages();
    TView R;
    R.N = std::make_unique<TqdDrawingNavigator>();
    R.N->resize(1000, 700);
    TSyntheticDXFOptions O;
    if (const char* E = std::getenv("DRAFTWELL_SELECTION_BENCH_ENTITIES")) O.Entities = std::atoi(E);
    std::istringstream In(MakeSyntheticDXF(O));
    auto I = std::make_unique<TqdCADdxfImage>();
    I->SetIsProcessMessages(false);
    I->LoadFromStream(In);
    I->SelectLayout("0");
    R.N->LoadFromConverter(std::move(I));
    R.N->FitToSize();
    R.M = std::make_unique<TqdSelectionManager>();
    R.M->SetDNavigator(R.N.get());
    return R;
  }();
  return V;
}

void Frame(TView& V) {
  V.N->Invalidate();
  V.N->RefreshFrame();
}

// What a paint of the widget adds to the frame: the markers.
void Markers(TView& V) {
  QPainter P(&V.Screen);
  V.M->Paint(V.N.get(), P);
}

void BM_FrameWithoutRaster(benchmark::State& S) {
  TView& V = View();
  V.N->SetSelectionMatrix(nullptr);
  for (auto _ : S) Frame(V);
  V.N->SetSelectionMatrix(V.M->Matrix());
}

void BM_FrameWithRaster(benchmark::State& S) {
  TView& V = View();
  for (auto _ : S) Frame(V);
  S.counters["numbers"] = static_cast<double>(V.M->Matrix()->Entities().size());
}

void BM_Click(benchmark::State& S) {
  TView& V = View();
  Frame(V);
  int Found = 0;
  for (auto _ : S) {
    // A walk over the view so that the hit test meets busy and empty places.
    for (int K = 0; K < 10; ++K) {
      V.M->DeselectAll();
      if (TqdDXFEntity* E = V.M->FindEntity(QPoint(50 + K * 90, 40 + K * 60))) Found += V.M->Select(E);
      Markers(V);
    }
  }
  S.counters["hit_per_10"] = static_cast<double>(Found) / static_cast<double>(S.iterations());
  S.SetItemsProcessed(S.iterations() * 10);
}

void BM_SelectAll(benchmark::State& S) {
  TView& V = View();
  Frame(V);
  for (auto _ : S) {
    V.M->DeselectAll();
    V.M->SelectAll();
    Markers(V);
  }
  S.counters["selected"] = static_cast<double>(V.M->Entities().size());
}

void BM_MarkersAll(benchmark::State& S) {
  TView& V = View();
  Frame(V);
  V.M->SelectAll();
  for (auto _ : S) Markers(V);
  V.M->DeselectAll();
}

void BM_MoveAll(benchmark::State& S) {
  TView& V = View();
  V.M->SelectAll();
  double D = 1;
  for (auto _ : S) {
    V.M->MoveSelection({D, D, 0});
    D = -D;
  }
  V.M->DeselectAll();
}

void BM_DragAll(benchmark::State& S) {
  TView& V = View();
  V.M->SelectAll();
  double D = 1;
  for (auto _ : S) {
    V.M->MoveSelection({D, D, 0});
    D = -D;
    Frame(V);
    Markers(V);
  }
  V.M->DeselectAll();
}

BENCHMARK(BM_FrameWithoutRaster)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_FrameWithRaster)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_Click)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_SelectAll)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_MarkersAll)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_MoveAll)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_DragAll)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication App(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
