// Speed of the KDE tool's fixed-kernel grid (the profile scans are in bench_cv.cpp).

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench_fixes.h"
#include "host/fixed_chunks.h"
#include "ui/kde/cls_kernel_calculator.h"

namespace {

using orvex::ui::clsKernelCalculator;
using orvex::ui::CoordPair;

using orvex::bench::BellFixes;

// The host's thread setting, as a host sets it (0 = all cores).
void setThreads(std::int64_t threads) {
  ::setenv(orvex::host::kWorkerThreadsVariable, std::to_string(threads).c_str(), 1);
}

// Arguments: number of fixes, thread limit (0 = all cores).
void BM_FixedKernelGrid(benchmark::State& state) {
  const auto fixes = BellFixes(static_cast<std::size_t>(state.range(0)));
  setThreads(state.range(1));
  // 500 x 500 cells of 4 units over (-500, -500) .. (1500, 1500); bandwidth href (about 41),
  // limit radius 4 h as the batch run sets it: 85 x 85 cells per fix.
  clsKernelCalculator calc;
  calc.SetCellSize(4);
  calc.SetColumns(500);
  calc.SetRows(500);
  calc.SetOriginCoords(-500, -500);
  for (auto _ : state) {
    calc.SetInputCoords(fixes);
    calc.CalculateHREF();
    calc.SetLimitRadius(4 * calc.GetScaledBandwidth());
    calc.CalculateKernel();
    benchmark::DoNotOptimize(calc.GetKernelVolume());
  }
  if (calc.lErrorStatus != 0) state.SkipWithError("kernel calculation failed");
}
BENCHMARK(BM_FixedKernelGrid)->Args({2000, 0})->Args({2000, 1})->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
