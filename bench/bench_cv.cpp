// Cross-validation scans of the KDE tool, one animal: the profile of 202 LSCV scores over all
// pairs, with "ns per pair per bandwidth" (wall time over n(n-1)/2 pairs x scored bandwidths)
// as the counter that compares across n and with other programs.

#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <vector>

#include "bench_fixes.h"
#include "ui/kde/cls_lscv.h"

namespace {

using orvex::ui::clsLSCV;
using orvex::ui::PairSumMethod;

using orvex::bench::BellFixes;

// Arguments: number of fixes, method (0 = chosen by cost, 1 = exact sums, 2 = chosen by cost
// without the split sums: the pair-by-pair paths that `--exact` keeps).
void BM_KdeLscvScan(benchmark::State& state) {
  const auto n = static_cast<std::size_t>(state.range(0));
  const auto fixes = BellFixes(n);
  const PairSumMethod method = state.range(1) == 1 ? PairSumMethod::exact : PairSumMethod::automatic;
  const bool allowSplit = state.range(1) == 0;
  double seconds = 0.0;
  double bandwidths = 0.0;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    clsLSCV lscv;
    lscv.SetPairScanOptions({.method = method, .allowSplit = allowSplit});
    lscv.SetInputCoords(fixes);
    lscv.CalculateLSCV();
    benchmark::DoNotOptimize(lscv.GetBandwidth());
    seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    bandwidths = 0.0;
    for (double h : lscv.GetLSCVProfile().value_or(orvex::ui::CrossValidationProfile{}).h)
      bandwidths += h > 0.0;
    if (lscv.lErrorStatus != 0) state.SkipWithError("scan failed");
  }
  const double pairs = static_cast<double>(n) * static_cast<double>(n - 1) / 2.0;
  state.counters["ns_pair_bw"] =
      1e9 * seconds / (static_cast<double>(state.iterations()) * pairs * bandwidths);
  state.counters["bandwidths"] = bandwidths;
}
// Arguments: number of fixes. Half of them on 1,000 dens packed in a 20 m square in the middle
// of the bell (sd about 144 m): the split sums take each den once, weighted by its count.
void BM_KdeLscvScanDens(benchmark::State& state) {
  const auto n = static_cast<std::size_t>(state.range(0));
  auto fixes = BellFixes(n);
  for (std::size_t i = 0; i < n; i += 2) {
    const double den = static_cast<double>((i / 2) % 1000);
    fixes[i] = {490.0 + std::fmod(den * 7.31, 20.0), 490.0 + std::fmod(den * 3.17, 20.0)};
  }
  for (auto _ : state) {
    clsLSCV lscv;
    lscv.SetInputCoords(fixes);
    lscv.CalculateLSCV();
    benchmark::DoNotOptimize(lscv.GetBandwidth());
  }
}
BENCHMARK(BM_KdeLscvScanDens)
    ->Arg(100000)
    ->Arg(1000000)
    ->Unit(benchmark::kSecond)
    ->UseRealTime()
    ->Iterations(1);

// Small animals take the exact sums (too few pairs for the distance moments to pay off); beside
// each automatic case from 2,000 fixes, the same without the split sums (small n got no slower).
BENCHMARK(BM_KdeLscvScan)
    ->Args({200, 0})
    ->Args({500, 1})
    ->Args({2000, 0})
    ->Args({2000, 1})
    ->Args({2000, 2})
    ->Args({5000, 0})
    ->Args({5000, 2})
    ->Args({10000, 0})
    ->Args({10000, 2})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(0.5);
// Large animals: the split sums (near pairs and spectrum) against the pair histogram.
BENCHMARK(BM_KdeLscvScan)
    ->Args({100000, 0})
    ->Args({100000, 2})
    ->Args({1000000, 0})
    ->Unit(benchmark::kSecond)
    ->UseRealTime()
    ->Iterations(1);

}  // namespace
