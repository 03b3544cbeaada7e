// The Brownian bridge UD of one animal of 10,000 fixes on 500 x 500 cells, in ns per node and
// segment (the unit adehabitatHR's kernelbb spends 25 Gaussians on), with 1 and 2 threads; the
// sigma1 search on 100,000 fixes; and the dynamic s1 (window 31, margin 11) on 10,000 and
// 100,000 fixes with 1 and 2 threads.

#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <vector>

#include "range/bridge/bridge_likelihood.h"
#include "range/bridge/bridge_ud.h"
#include "range/bridge/dynamic_bridge.h"

namespace {

using orvex::range::BridgeGrid;
using orvex::range::BridgeTrack;

// Fixes every 10 minutes of a diffusion (s1 = 1 m per root second, 10 m location error) drawn
// back towards the middle of a 5 km square, so that it stays on the grid.
struct Simulated {
  std::vector<double> x, y, t;
  std::vector<double> error{10.0};
  explicit Simulated(std::size_t n) {
    std::mt19937_64 rng(42);
    std::normal_distribution<double> normal;
    double px = 2500.0;
    double py = 2500.0;
    for (std::size_t i = 0; i < n; ++i) {
      t.push_back(600.0 * static_cast<double>(i));
      x.push_back(px + 10.0 * normal(rng));
      y.push_back(py + 10.0 * normal(rng));
      px += 0.002 * (2500.0 - px) + std::sqrt(600.0) * normal(rng);
      py += 0.002 * (2500.0 - py) + std::sqrt(600.0) * normal(rng);
    }
  }
  [[nodiscard]] BridgeTrack track() const { return {x, y, t, error}; }
};

void BM_BridgeUd(benchmark::State& state) {
  const Simulated fixes(10000);
  const BridgeGrid grid{0.0, 0.0, 10.0, 500, 500};
  std::vector<double> out(grid.cell_count());
  const orvex::range::BridgeOptions options{1.0, orvex::range::kNoMaxGap,
                                            static_cast<unsigned>(state.range(0))};
  std::size_t nodes = 0;
  for (auto _ : state) {
    nodes = orvex::range::bridge_ud(fixes.track(), options, grid, out).nodes;
    benchmark::DoNotOptimize(out.data());
  }
  const double node_segments =
      static_cast<double>(grid.cell_count()) * static_cast<double>(fixes.t.size() - 1);
  state.counters["ns per node x segment"] = benchmark::Counter(
      node_segments * 1e-9, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
  state.counters["quadrature nodes per segment"] =
      static_cast<double>(nodes) / static_cast<double>(fixes.t.size() - 1);
}
BENCHMARK(BM_BridgeUd)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Sigma1Search(benchmark::State& state) {
  const Simulated fixes(100000);
  double sigma1 = 0.0;
  for (auto _ : state) {
    sigma1 = orvex::range::estimate_sigma1(fixes.track(), orvex::range::TripletChoice::independent).sigma1;
    benchmark::DoNotOptimize(sigma1);
  }
  state.counters["sigma1"] = sigma1;
}
BENCHMARK(BM_Sigma1Search)->Unit(benchmark::kMillisecond);

void BM_DynamicSigma1(benchmark::State& state) {
  const Simulated fixes(static_cast<std::size_t>(state.range(0)));
  const orvex::range::DynamicOptions options{31, 11, orvex::range::kNoMaxGap,
                                             static_cast<unsigned>(state.range(1))};
  std::size_t breaks = 0;
  for (auto _ : state) {
    const auto dynamic = orvex::range::estimate_dynamic_sigma1(fixes.track(), options);
    breaks = dynamic.breaks.size();
    benchmark::DoNotOptimize(dynamic.sigma1_per_fix.data());
  }
  state.counters["windows with a break"] = static_cast<double>(breaks);
}
BENCHMARK(BM_DynamicSigma1)
    ->ArgsProduct({{10000, 100000}, {1, 2}})
    ->ArgNames({"fixes", "threads"})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
