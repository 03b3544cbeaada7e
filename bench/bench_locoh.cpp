// LoCoH's ordered hulls (k = the square root of n, Getz et al.'s suggestion) on 20,000 and
// 100,000 fixes, with 1 and 2 threads; then the whole estimate, hulls and the isopleths 10 to
// 100 % united through the GDAL platform's geometry service, as `orvex locoh` runs it (and as
// adehabitatHR's LoCoH.k computes its table).

#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <vector>

#include "platform/gdal/gdal_platform.h"
#include "range/locoh/locoh_hulls.h"
#include "range/locoh/locoh_isopleths.h"

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

void BM_LocohKIsopleths(benchmark::State& state) {
  const Walk walk(static_cast<std::size_t>(state.range(0)));
  const double k = std::round(std::sqrt(static_cast<double>(walk.x.size())));
  const auto threads = static_cast<unsigned>(state.range(1));
  const auto geometry = orvex::platform::gdal::makeGeometryService();
  const std::vector<double> levels{10, 20, 30, 40, 50, 60, 70, 80, 90, 100};
  for (auto _ : state) {
    const auto hulls = orvex::range::locoh_hulls(walk.x, walk.y, {orvex::range::LocohMethod::k, k, threads});
    const auto isopleths = orvex::range::locoh_isopleths(hulls, levels, *geometry, threads);
    benchmark::DoNotOptimize(isopleths.data());
  }
  state.counters["k"] = k;
}
BENCHMARK(BM_LocohKIsopleths)
    ->ArgNames({"fixes", "threads"})
    ->Args({2000, 1})
    ->Args({20000, 1})
    ->Args({20000, 2})
    ->Args({100000, 2})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
