// The six overlap indices between every pair of 200 animals' UDs on 200 x 200 cells (19,900
// pairs), plain and conditional on the 95 % contours, with 1 and 2 threads.

#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <span>
#include <vector>

#include "range/overlap/overlap_indices.h"

namespace {

using orvex::range::UdGrid;

constexpr UdGrid kGrid{0.0, 0.0, 25.0, 200, 200};

// Each animal a normal density of spread 300 to 800 m about a random point of the 5 km square.
std::vector<std::vector<double>> simulated_uds(std::size_t animals) {
  std::mt19937_64 rng(42);
  std::uniform_real_distribution<double> where(1000.0, 4000.0);
  std::uniform_real_distribution<double> spread(300.0, 800.0);
  std::vector<std::vector<double>> uds(animals, std::vector<double>(kGrid.cell_count()));
  for (auto& ud : uds) {
    const double mx = where(rng);
    const double my = where(rng);
    const double s = spread(rng);
    for (std::size_t r = 0; r < kGrid.rows; ++r) {
      const double dy = kGrid.origin_y + (static_cast<double>(kGrid.rows - r) - 0.5) * kGrid.cell_size - my;
      for (std::size_t c = 0; c < kGrid.columns; ++c) {
        const double dx = kGrid.origin_x + (static_cast<double>(c) + 0.5) * kGrid.cell_size - mx;
        ud[r * kGrid.columns + c] = std::exp(-(dx * dx + dy * dy) / (2.0 * s * s)) / (2.0 * M_PI * s * s);
      }
    }
  }
  return uds;
}

void BM_OverlapAllPairs(benchmark::State& state) {
  static const std::vector<std::vector<double>> uds = simulated_uds(200);
  const std::vector<std::span<const double>> spans(uds.begin(), uds.end());
  const orvex::range::OverlapOptions options{95.0, state.range(0) != 0,
                                             static_cast<unsigned>(state.range(1))};
  for (auto _ : state) {
    const auto m = orvex::range::overlap_indices(spans, kGrid, options);
    benchmark::DoNotOptimize(m.values[0].data());
  }
  state.counters["pairs"] = 200.0 * 199.0 / 2.0;
}
BENCHMARK(BM_OverlapAllPairs)
    ->ArgNames({"conditional", "threads"})
    ->Args({0, 1})
    ->Args({0, 2})
    ->Args({1, 2})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
