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

/// A folder of 10,000 simulated fixes of one animal, removed with the object.
class SimulatedFixes {
 public:
  SimulatedFixes()
      : folder_(fs::temp_directory_path() / ("orvex_bench_startup_" + std::to_string(::getpid()))) {
    fs::remove_all(folder_);
    made_ = orvex::bench::runProcess(kOrvex, {"--quiet", "simulate", "--out", folder_.string(), "--animals",
                                              "1", "--fixes", "10000"})
                .ok;
  }
  ~SimulatedFixes() { fs::remove_all(folder_); }
  bool made() const { return made_; }
  std::vector<std::string> mcpArgs() const {
    return {"--quiet",
            "--yes",
            "mcp",
            (folder_ / "fixes.shp").string(),
            "--all-points",
            "--out",
            (folder_ / "mcp_{percent}.shp").string()};
  }

 private:
  fs::path folder_;
  bool made_ = false;
};

/// The mcp run over 10,000 fixes.
void BM_StartUpRead10000Fixes(benchmark::State& state) {
  SimulatedFixes fixes;
  if (!fixes.made()) {
    state.SkipWithError("orvex simulate failed");
    return;
  }
  timeRuns(state, fixes.mcpArgs());
}
BENCHMARK(BM_StartUpRead10000Fixes)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
