// Speed of the KDE tool's fixed- and adaptive-kernel grids (the profile scans are in bench_cv.cpp), and of
// the tool end to end as a person runs it: `orvex kde` on one albatross of the shared test data, href,
// isopleths 95 and 50.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench_fixes.h"
#include "bench_process.h"
#include "ui/kde/cls_kernel_calculator.h"

namespace {

using orvex::ui::clsKernelCalculator;
using orvex::ui::CoordPair;

using orvex::bench::BellFixes;

// 500 x 500 cells of 4 units over (-500, -500) .. (1500, 1500), on the thread limit of the
// benchmark's second argument (0 = all cores).
void SetBenchGrid(clsKernelCalculator& calc, const benchmark::State& state) {
  calc.SetWorkerThreads(static_cast<unsigned>(state.range(1)));
  calc.SetCellSize(4);
  calc.SetColumns(500);
  calc.SetRows(500);
  calc.SetOriginCoords(-500, -500);
}

// Arguments: number of fixes, thread limit (0 = all cores).
void BM_FixedKernelGrid(benchmark::State& state) {
  const auto fixes = BellFixes(static_cast<std::size_t>(state.range(0)));
  // 500 x 500 cells of 4 units over (-500, -500) .. (1500, 1500); bandwidth href (about 41),
  // limit radius 4 h as the batch run sets it: 85 x 85 cells per fix.
  clsKernelCalculator calc;
  SetBenchGrid(calc, state);
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

// The adaptive kernel's grid with its pilot densities at the fixes. Arguments: number of
// fixes, thread limit (0 = all cores). Same grid and bell-shaped fixes as above; href shrinks
// as n^(-1/6), so the pilot's cut-off radius (about 9.5 h) covers less of the cloud as n grows.
void BM_AdaptiveKernelGrid(benchmark::State& state) {
  const auto fixes = BellFixes(static_cast<std::size_t>(state.range(0)));
  clsKernelCalculator calc;
  SetBenchGrid(calc, state);
  calc.SetFixedKernel(false);
  for (auto _ : state) {
    calc.SetInputCoords(fixes);
    calc.CalculateHREF();
    calc.SetLimitRadius(4 * calc.GetScaledBandwidth());
    calc.CalculateKernel();
    benchmark::DoNotOptimize(calc.GetKernelVolume());
  }
  if (calc.lErrorStatus != 0) state.SkipWithError("kernel calculation failed");
}
BENCHMARK(BM_AdaptiveKernelGrid)
    ->Args({10000, 0})
    ->Args({100000, 0})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1);

// The whole `orvex kde` process on the first albatross (930 Argos fixes over some 3,000 km):
// href, 2 km cells over the fixes' extent, isopleth lines, polygons and donuts at 95 and 50 %.
// The peer's kernel UD with its vertices takes 28.3 s on the reference machine.
void BM_KdeToolOneAlbatross(benchmark::State& state) {
  const std::filesystem::path data = std::filesystem::path(ORVEX_SHARED_DATA) / "albatross" / "albatross.shp";
  if (!std::filesystem::exists(data)) {
    state.SkipWithError(("shared test data not found: " + data.string()).c_str());
    return;
  }
  const std::filesystem::path out = std::filesystem::temp_directory_path() / "orvex-bench-kde-albatross";
  // A registry beside this build's libraries keeps the run on them whatever else is registered.
  const std::filesystem::path bin = ORVEX_BIN_DIR;
  const std::vector<std::string> args{"--registry",
                                      (bin / "bench-registry.txt").string(),
                                      "--quiet",
                                      "--yes",
                                      "kde",
                                      data.string(),
                                      "--where",
                                      "AnimalID = 'balise.11378'",
                                      "--selected-only",
                                      "--id",
                                      "AnimalID",
                                      "--bandwidth",
                                      "href",
                                      "--extent",
                                      "min",
                                      "--cell-size",
                                      "2000",
                                      "--isopleths",
                                      "95,50",
                                      "--silent",
                                      "--out-dir",
                                      out.string()};
  double cpu = 0;
  double faults = 0;
  double peak = 0;
  for (auto _ : state) {
    std::filesystem::remove_all(out);
    const auto cost = orvex::bench::runProcess(bin / "orvex", args);
    if (!cost.ok) {
      state.SkipWithError("orvex kde failed");
      break;
    }
    cpu += cost.cpuSeconds;
    faults += cost.minorFaults;
    peak = std::max(peak, cost.peakMegabytes);
  }
  // CPU time and page faults of the process: other loads on the machine inflate them far less
  // than the wall time.
  const auto runs = static_cast<double>(std::max<benchmark::IterationCount>(state.iterations(), 1));
  state.counters["cpu_ms"] = 1e3 * cpu / runs;
  state.counters["faults"] = faults / runs;
  state.counters["peak_MB"] = peak;
  std::filesystem::remove_all(out);
}
BENCHMARK(BM_KdeToolOneAlbatross)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
