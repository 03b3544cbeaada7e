// Kernel engine hot loops: the UD grid (fixed and adaptive, S = 150) and an LSCV search.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "core/engine/kernel_engine.h"
#include "core/engine/ud_density.h"

namespace {

using orvex::core::KernelEngine;

// The engine logs every run; keep that log out of the shared temporary folder.
const bool kLogFolderSet = [] {
  const auto folder =
      std::filesystem::temp_directory_path() / ("orvex-bench-engine-" + std::to_string(::getpid()));
  std::filesystem::create_directories(folder);
  ::setenv("TEMP", folder.c_str(), 1);
  return true;
}();

// A home range of three activity centres, as GPS tracks often show.
void load(KernelEngine& engine, std::int32_t n) {
  std::mt19937 random(42);
  auto uniform = [&]() { return (static_cast<double>(random()) + 0.5) / 4294967296.0; };
  const double centres[3][2] = {{500000.0, 4000000.0}, {503000.0, 4001500.0}, {501000.0, 4004000.0}};
  for (std::int32_t k = 0; k < n; ++k) {
    const double r = std::sqrt(-2.0 * std::log(uniform()));
    const double a = 6.283185307179586 * uniform();
    const double* c = centres[k % 3];
    engine.Add_Point(static_cast<float>(c[0] + 800.0 * r * std::cos(a)),
                     static_cast<float>(c[1] + 500.0 * r * std::sin(a)));
  }
  engine.stdize(KernelEngine::STD_Unit);
  engine.set_search_range(0.1, 1.0, 0.05);
}

// The UD grid with every node x fix pair: (S + 1)^2 nodes, n fixes. Arguments: S, n.
// Counter "ns per node x fix": wall time per node and fix (the peer's kernel UD takes 1.48 ns
// on 501 x 501 nodes and 10,000 fixes on the reference machine).
void BM_FixedUd(benchmark::State& state) {
  const auto S = static_cast<std::int32_t>(state.range(0));
  const auto n = static_cast<std::int32_t>(state.range(1));
  KernelEngine engine(n);
  load(engine, n);
  engine.set_h_proportional(1.0);  // href, the peer's default
  engine.init_matrix(S);
  double seconds = 0.0;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    benchmark::DoNotOptimize(engine.kern_fixed());
    seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  }
  const double pairs = (S + 1.0) * (S + 1.0) * n * static_cast<double>(state.iterations());
  state.counters["ns per node x fix"] = seconds * 1e9 / pairs;
}
BENCHMARK(BM_FixedUd)
    ->Args({150, 1000})
    ->Args({150, 10000})
    ->Args({500, 1000})
    ->Args({500, 10000})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The kernel sum alone, one way forced. Arguments: 0 the direct disc sum, 1 the factor-table
// product or 2 the interpolated sum; the bandwidth in tenths of the fixes' spread (1: most node x fix terms
// lie beyond the drop radius, 10: none). S = 500, n = 10,000. Shows the cost ratio the engine's choice rests
// on.
void BM_KernelSumMethod(benchmark::State& state) {
  const auto method =
      std::array{orvex::core::KernelSumMethod::direct, orvex::core::KernelSumMethod::product,
                 orvex::core::KernelSumMethod::interpolated}[static_cast<std::size_t>(state.range(0))];
  std::mt19937 random(7);
  std::normal_distribution<double> normal;
  std::vector<orvex::core::KernelSource> sources(10000);
  const double bandwidth = static_cast<double>(state.range(1)) / 10.0;
  for (auto& k : sources) k = {normal(random), normal(random), 1.0, bandwidth};
  const orvex::core::GridGeometry grid{-6.0, -6.0, 12.0 / 500, 12.0 / 500};
  std::vector<double> out(501 * 501);
  orvex::core::KernelSumWorkspace workspace;
  for (auto _ : state) {
    orvex::core::accumulate_kernel_sums(sources, grid, 500, out, 1, method, &workspace);
    benchmark::DoNotOptimize(out.data());
  }
  state.counters["ns per node x fix"] =
      benchmark::Counter(501.0 * 501.0 * 10000.0 * 1e-9,
                         benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_KernelSumMethod)
    ->Args({0, 1})
    ->Args({1, 1})
    ->Args({1, 10})
    ->Args({2, 1})
    ->Args({2, 10})
    ->Unit(benchmark::kMillisecond);

void BM_AdaptiveUd(benchmark::State& state) {
  const auto n = static_cast<std::int32_t>(state.range(0));
  KernelEngine engine(n);
  load(engine, n);
  engine.set_h_proportional(0.5);
  engine.init_matrix(150);
  for (auto _ : state) benchmark::DoNotOptimize(engine.kern_adaptive());
}
BENCHMARK(BM_AdaptiveUd)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

void BM_LscvSearch(benchmark::State& state) {
  const auto n = static_cast<std::int32_t>(state.range(0));
  KernelEngine engine(n);
  load(engine, n);
  for (auto _ : state) {
    engine.CrossValidation();
    benchmark::DoNotOptimize(engine.h());
  }
}
BENCHMARK(BM_LscvSearch)->Arg(2000)->Unit(benchmark::kMillisecond);

void BM_LscvScore(benchmark::State& state) {
  const auto n = static_cast<std::int32_t>(state.range(0));
  KernelEngine engine(n);
  load(engine, n);
  const double h = 0.5 * engine.gethref();
  for (auto _ : state) benchmark::DoNotOptimize(engine.lscv_score(h));
}
BENCHMARK(BM_LscvScore)->Arg(2000)->Unit(benchmark::kMillisecond);

}  // namespace
