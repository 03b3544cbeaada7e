// LoCoH's ordered hulls (k = the square root of n, Getz et al.'s suggestion) on 20,000 and
// 100,000 fixes, with 1 and 2 threads; the union of the hulls is the caller's and not timed.

#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <vector>

#include "range/locoh/locoh_hulls.h"

namespace {

// A random walk drawn back towards the middle of a 5 km square, fixes 1 m apart at least on
// average (no two at one place in practice).
struct Walk {
  std::vector<double> x, y;
  explicit Walk(std::size_t n) {
    std::mt19937_64 rng(7);
    std::normal_distribution<double> step(0.0, 60.0);
    double px = 2500.0;
    double py = 2500.0;
    for (std::size_t i = 0; i < n; ++i) {
      x.push_back(px);
      y.push_back(py);
      px += 0.01 * (2500.0 - px) + step(rng);
      py += 0.01 * (2500.0 - py) + step(rng);
    }
  }
};

void BM_LocohK(benchmark::State& state) {
  const Walk walk(static_cast<std::size_t>(state.range(0)));
  const double k = std::round(std::sqrt(static_cast<double>(walk.x.size())));
  const orvex::range::LocohOptions options{orvex::range::LocohMethod::k, k,
                                           static_cast<unsigned>(state.range(1))};
  for (auto _ : state) {
    const auto hulls = orvex::range::locoh_hulls(walk.x, walk.y, options);
    benchmark::DoNotOptimize(hulls.hulls.data());
  }
  state.counters["k"] = k;
}
BENCHMARK(BM_LocohK)
    ->ArgNames({"fixes", "threads"})
    ->Args({20000, 1})
    ->Args({20000, 2})
    ->Args({100000, 2})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
