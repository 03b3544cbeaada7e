// Start-up of the orvex program: the process alone (`orvex --version`), and the process that
// reads 10,000 fixes of one animal and draws the one polygon around them all (`orvex mcp
// --all-points`), the smallest whole run over that input. Counter cpu_ms: the child's user
// plus system time, which other loads on the machine inflate far less than the wall time.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "bench_process.h"

namespace {

namespace fs = std::filesystem;

const fs::path kOrvex = fs::path(ORVEX_BIN_DIR) / "orvex";

/// Runs orvex with `args` once per iteration; the mean CPU time as the counter cpu_ms.
void timeRuns(benchmark::State& state, const std::vector<std::string>& args) {
  double cpu = 0;
  for (auto _ : state) {
    const auto cost = orvex::bench::runProcess(kOrvex, args);
    if (!cost.ok) {
      state.SkipWithError("orvex failed");
      return;
    }
    cpu += cost.cpuSeconds;
  }
  state.counters["cpu_ms"] = 1e3 * cpu / static_cast<double>(state.iterations());
}

void BM_StartUp(benchmark::State& state) { timeRuns(state, {"--version"}); }
BENCHMARK(BM_StartUp)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_StartUpRead10000Fixes(benchmark::State& state) {
  const fs::path folder = fs::temp_directory_path() / ("orvex_bench_startup_" + std::to_string(::getpid()));
  fs::remove_all(folder);
  const auto made = orvex::bench::runProcess(
      kOrvex, {"--quiet", "simulate", "--out", folder.string(), "--animals", "1", "--fixes", "10000"});
  if (!made.ok) {
    state.SkipWithError("orvex simulate failed");
    return;
  }
  timeRuns(state, {"--quiet", "--yes", "mcp", (folder / "fixes.shp").string(), "--all-points", "--out",
                   (folder / "mcp_{percent}.shp").string()});
  fs::remove_all(folder);
}
BENCHMARK(BM_StartUpRead10000Fixes)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
