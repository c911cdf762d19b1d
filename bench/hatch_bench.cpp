// Hatch loading and pattern generation.
//   hatch_bench [--benchmark_filter=...]
//
//   BM_HatchDXFLoad/N      a DXF with one solid HATCH of N line edges given in a
//                          scrambled order, every other one reversed, read from memory
//                          (reader, loop building, finishing passes)
//   BM_HatchLoops/N        the loop builder alone on the same edges (Loaded of a solid
//                          curve polygon)
//   BM_HatchDensePattern   a 1000 x 1000 square, 45 degree dashed lines 0.5 apart
//                          (2,828 lines, about 1.4 million output points)
//   BM_HatchHostile        spacing 1e-6 over a million units: stops at the memory limit
// Counters: points (generated pattern points), fallback (1 when a limit stopped it).
#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <string>

#include "readers/dxf/DXF.h"
#include "DXFConv.h"
#include "Hatches.h"

namespace {

TF2DPoint Vertex(int I, int N) {
  const double A = 2 * 3.14159265358979323846 * I / N;
  return {100 * std::cos(A), 100 * std::sin(A)};
}

// Edge K of the scrambled order.
int Scrambled(int K, int N) { return static_cast<int>((static_cast<long long>(K) * 7919) % N); }

std::string HatchDXF(int N) {
  std::string S = "0\nSECTION\n2\nENTITIES\n0\nHATCH\n8\n0\n10\n0\n20\n0\n30\n0\n2\nSOLID\n70\n1\n71\n0\n91\n1\n92\n1\n93\n" +
                  std::to_string(N) + "\n";
  char Buf[200];
  for (int K = 0; K < N; ++K) {
    const int I = Scrambled(K, N);
    TF2DPoint A = Vertex(I, N), B = Vertex(I + 1, N);
    if (I % 2) std::swap(A, B);
    std::snprintf(Buf, sizeof Buf, "72\n1\n10\n%.17g\n20\n%.17g\n11\n%.17g\n21\n%.17g\n", A.X, A.Y, B.X, B.Y);
    S += Buf;
  }
  S += "97\n0\n75\n0\n76\n1\n98\n0\n0\nENDSEC\n0\nEOF\n";
  return S;
}

void BM_HatchDXFLoad(benchmark::State& State) {
  const int N = static_cast<int>(State.range(0));
  const std::string D = HatchDXF(N);
  RegisterDXFReader();
  for (auto _ : State) {
    auto C = std::make_unique<TqdConverterRef>(new TqdDXFConverter(TqdConverterParams{true, {}}));
    LoadDXFFromMemory(D.data(), D.size(), *C->get(), {true, {}});
    State.PauseTiming();
    C.reset();
    State.ResumeTiming();
  }
}
BENCHMARK(BM_HatchDXFLoad)->Arg(10000)->Unit(benchmark::kMillisecond);

void BM_HatchLoops(benchmark::State& State) {
  const int N = static_cast<int>(State.range(0));
  TqdCADCurvePolygon P;
  Tqd2DBoundaryList* L = P.AddBoundaryList(1);
  for (int K = 0; K < N; ++K) {
    const int I = Scrambled(K, N);
    auto E = std::make_unique<Tqd2DLine>();
    E->SetStartPoint(Vertex(I % 2 ? I + 1 : I, N));
    E->SetEndPoint(Vertex(I % 2 ? I : I + 1, N));
    L->Add(std::move(E));
  }
  for (auto _ : State) {
    P.Loaded(nullptr);
    benchmark::DoNotOptimize(P.LoopCount());
  }
  State.counters["loop_points"] = static_cast<double>(P.LoopCount() ? P.Loop(0).size() : 0);
}
BENCHMARK(BM_HatchLoops)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

void AddSquare(TqdCADHatch& H, double X0, double Y0, double X1, double Y1) {
  Tqd2DBoundaryList* L = H.AddBoundaryList(1);
  const TF2DPoint P[4] = {{X0, Y0}, {X1, Y0}, {X1, Y1}, {X0, Y1}};
  for (int I = 0; I < 4; ++I) {
    auto E = std::make_unique<Tqd2DLine>();
    E->SetStartPoint(P[I]);
    E->SetEndPoint(P[(I + 1) % 4]);
    L->Add(std::move(E));
  }
}

void RunPattern(benchmark::State& State, TqdCADHatch& H) {
  for (auto _ : State) {
    H.Loaded(nullptr);
    benchmark::DoNotOptimize(H.ParsedLines().data());
  }
  State.counters["points"] = static_cast<double>(H.ParsedLines().size());
  State.counters["fallback"] = H.PatternFallback() != pfNone ? 1 : 0;
}

void BM_HatchDensePattern(benchmark::State& State) {
  TqdCADHatch H;
  AddSquare(H, 0, 0, 1000, 1000);
  TqdHatchPatternData D;
  D.LineAngle = 45;
  D.Offset = {-0.5 / std::sqrt(2.0), 0.5 / std::sqrt(2.0), 0};
  D.Lines = {2, -1};
  D.DashNum = 2;
  D.IsDash = true;
  H.HatchPatternData().push_back(D);
  RunPattern(State, H);
}
BENCHMARK(BM_HatchDensePattern)->Unit(benchmark::kMillisecond);

void BM_HatchHostile(benchmark::State& State) {
  TqdCADHatch H;
  AddSquare(H, -5e5, -5e5, 5e5, 5e5);
  TqdHatchPatternData D;
  D.LineAngle = 30;
  D.Offset = {0, 1e-6, 0};
  H.HatchPatternData().push_back(D);
  RunPattern(State, H);
}
BENCHMARK(BM_HatchHostile)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
