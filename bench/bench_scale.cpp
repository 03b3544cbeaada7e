// Every command of `orvex` on one animal of 10,000, 100,000 and 1,000,000 fixes, run as a user
// would, with R's peer beside it where the field has one: wall time and peak resident memory of
// each whole process (reading and writing included). Google Benchmark reports each run; the
// scaling table follows its report.
//
// A run expected to take longer than kBudgetSeconds (its growth read off the smaller sizes) is
// not run, and the table says so, as it says of a run stopped at kStopSeconds and of a peer that
// needs an n x n table past kPeerPairLimit fixes. Small sets run kSmallRuns times (the table
// shows the mean), larger ones once.

#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "bench_process.h"
#include "support/scale_commands.h"

namespace {

namespace fs = std::filesystem;
using orvex::test::ScaleCommand;

constexpr std::array<int, 3> kSizes{10000, 100000, 1000000};
constexpr int kSmallSize = 10000;
constexpr int kSmallRuns = 3;
/// "A few minutes": a run expected to take longer is left out.
constexpr double kBudgetSeconds = 240.0;
/// A run that takes longer than expected is stopped here.
constexpr double kStopSeconds = 2 * kBudgetSeconds;
/// adehabitatHR's cross-validation holds an n x n table: 37 GiB at 100,000 fixes.
constexpr int kPeerPairLimit = 20000;
constexpr const char* kRscript = "/usr/bin/Rscript";

/// A peer of one command: what it runs and its R code on `xy` (coordinates), `t2` (the
/// "Time2" values) and `n`. Its results stay in memory: it writes no file.
struct Peer {
  const char* what;
  const char* code;
  bool pairTable = false;  ///< builds an n x n table
};

const std::map<std::string, Peer>& peers() {
  static const std::map<std::string, Peer> table{
      {"mcp_fixed_mean", {"adehabitatHR mcp", "p <- SpatialPoints(xy); a <- mcp(p, 95); b <- mcp(p, 50)"}},
      {"kde_user_h",
       {"ks kde, binned",
        "k <- kde(xy, H = diag(c(300^2, 300^2)), gridsize = c(100, 100));"
        "c <- contourLevels(k, cont = c(95, 50))"}},
      {"kde_href",
       {"adehabitatHR kernelUD",
        "u <- kernelUD(SpatialPoints(xy), h = 'href', grid = 100);"
        "a <- getverticeshr(u, 95); b <- getverticeshr(u, 50)"}},
      {"kde_lscv",
       {"adehabitatHR kernelUD",
        "u <- kernelUD(SpatialPoints(xy), h = 'LSCV', grid = 100);"
        "a <- getverticeshr(u, 95); b <- getverticeshr(u, 50)",
        true}},
      {"travel",
       {"adehabitatLT as.ltraj",
        "tr <- as.ltraj(xy, date = as.POSIXct(t2, origin = '1970-01-01', tz = 'UTC'),"
        "id = 'A')"}},
  };
  return table;
}

bool peersInstalled() {
  const orvex::bench::ProcessCost probe = orvex::bench::runProcess(
      kRscript, {"-e", "suppressMessages({library(adehabitatHR); library(ks); library(sf)})"});
  return probe.ok;
}

/// What one row of the table ran and cost.
struct Cost {
  std::optional<double> wall;  ///< mean seconds; empty when not run
  double peakMegabytes = 0;
  std::string note;  ///< why it was not run, or how it ended
};

struct Row {
  std::string command;
  int fixes = 0;
  int runs = 0;
  Cost ours;
  std::string peer;  ///< empty: no peer
  Cost peerCost;
};

/// Seconds a run at `fixes` is expected to take from the runs at smaller sizes: growth as n^e,
/// e read off the last two sizes (at least 1), or 1 when only one size ran (a run that grows
/// faster is stopped at kStopSeconds).
double expectedSeconds(const std::vector<std::pair<int, double>>& done, int fixes) {
  if (done.empty()) return 0.0;
  double exponent = 1.0;
  if (done.size() >= 2) {
    const auto& [n0, t0] = done[done.size() - 2];
    const auto& [n1, t1] = done.back();
    exponent = std::max(1.0, std::log(t1 / t0) / std::log(static_cast<double>(n1) / n0));
  }
  return done.back().second * std::pow(static_cast<double>(fixes) / done.back().first, exponent);
}

std::string stoppedText() { return "stopped after " + std::to_string(static_cast<int>(kStopSeconds)) + " s"; }

std::string notRun(double expected) {
  char text[64];
  std::snprintf(text, sizeof text, "not run: about %.0f s expected", expected);
  return text;
}

/// The input sets, the runs' history and the table, for one run of the program.
class ScaleBench {
 public:
  ScaleBench() {
    std::string pattern = (fs::temp_directory_path() / "orvex_bench_scale_XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("cannot make a scratch folder");
    folder_ = pattern;
    peersInstalled_ = peersInstalled();
  }
  ~ScaleBench() {
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
  }
  ScaleBench(const ScaleBench&) = delete;
  ScaleBench& operator=(const ScaleBench&) = delete;

  void run(benchmark::State& state, const ScaleCommand& command, int fixes);
  void print(std::ostream& out) const;

 private:
  /// The fixes of `fixes` fixes, written on first use and kept for the program's run.
  fs::path input(int fixes) {
    const fs::path shp = folder_ / ("fixes_" + std::to_string(fixes)) / "fixes.shp";
    if (!fs::exists(shp)) {
      fs::create_directories(shp.parent_path());
      orvex::test::writeScaleFixes(shp, fixes);
    }
    return shp;
  }
  /// A fresh copy of the fixes of `fixes` fixes (an in-place command changes its input).
  fs::path freshCopy(int fixes) {
    const fs::path original = input(fixes);
    const fs::path run = folder_ / "run";
    fs::remove_all(run);
    fs::create_directories(run / "out");
    for (const char* extension : {".shp", ".shx", ".dbf", ".prj", ".csv"})
      fs::copy_file(fs::path(original).replace_extension(extension),
                    run / (std::string("fixes") + extension));
    return run / "fixes.shp";
  }
  Cost runPeer(const std::string& command, const Peer& peer, int fixes);

  fs::path folder_;
  bool peersInstalled_ = false;
  std::map<std::string, std::vector<std::pair<int, double>>> ours_;
  std::map<std::string, std::vector<std::pair<int, double>>> peerRuns_;
  std::vector<Row> rows_;
};

void ScaleBench::run(benchmark::State& state, const ScaleCommand& command, int fixes) {
  Row row;
  row.command = command.name;
  row.fixes = fixes;
  const double expected = expectedSeconds(ours_[command.name], fixes);
  if (expected > kBudgetSeconds) {
    row.ours.note = notRun(expected);
    state.SkipWithError(row.ours.note.c_str());
  }
  double wall = 0.0;
  for (auto _ : state) {
    state.PauseTiming();
    const fs::path shp = freshCopy(fixes);
    state.ResumeTiming();
    std::vector<std::string> args{"--quiet", "--yes"};
    for (std::string& arg : orvex::test::scaleArgs(command, shp, shp.parent_path() / "out"))
      args.push_back(std::move(arg));
    const orvex::bench::ProcessCost cost =
        orvex::bench::runProcess(fs::path(ORVEX_BIN_DIR) / "orvex", args, kStopSeconds);
    if (!cost.ok) {
      row.ours.note = cost.timedOut ? stoppedText() : "failed";
      state.SkipWithError(row.ours.note.c_str());
      break;
    }
    ++row.runs;
    wall += cost.wallSeconds;
    row.ours.peakMegabytes = std::max(row.ours.peakMegabytes, cost.peakMegabytes);
    state.counters["peak_rss_MB"] = cost.peakMegabytes;
    state.counters["cpu_s"] = cost.cpuSeconds;
  }
  if (row.runs > 0) {
    row.ours.wall = wall / row.runs;
    ours_[command.name].emplace_back(fixes, *row.ours.wall);
  }
  if (const auto peer = peers().find(command.name); peer != peers().end()) {
    row.peer = peer->second.what;
    row.peerCost = runPeer(command.name, peer->second, fixes);
    if (row.peerCost.wall) {
      state.counters["peer_s"] = *row.peerCost.wall;
      state.counters["peer_MB"] = row.peerCost.peakMegabytes;
    }
  }
  rows_.push_back(std::move(row));
}

Cost ScaleBench::runPeer(const std::string& command, const Peer& peer, int fixes) {
  Cost cost;
  if (!peersInstalled_) {
    cost.note = "not installed";
    return cost;
  }
  if (peer.pairTable && fixes > kPeerPairLimit) {
    cost.note = "not run: n x n table";
    return cost;
  }
  if (const double expected = expectedSeconds(peerRuns_[command], fixes); expected > kBudgetSeconds) {
    cost.note = notRun(expected);
    return cost;
  }
  const std::string script =
      "suppressMessages({library(sf); library(adehabitatHR); library(adehabitatLT); library(ks)});"
      "f <- st_read('" +
      input(fixes).string() +
      "', quiet = TRUE); xy <- st_coordinates(f)[, 1:2];"
      "t2 <- f$Time2; n <- nrow(xy);" +
      peer.code;
  const orvex::bench::ProcessCost run = orvex::bench::runProcess(kRscript, {"-e", script}, kStopSeconds);
  if (!run.ok) {
    cost.note = run.timedOut ? stoppedText() : "failed";
    return cost;
  }
  cost.wall = run.wallSeconds;
  cost.peakMegabytes = run.peakMegabytes;
  peerRuns_[command].emplace_back(fixes, run.wallSeconds);
  return cost;
}

void ScaleBench::print(std::ostream& out) const {
  const auto cell = [](const Cost& cost, char* text, std::size_t size) {
    if (cost.wall)
      std::snprintf(text, size, "%9.2f %9.0f", *cost.wall, cost.peakMegabytes);
    else
      std::snprintf(text, size, "%s", cost.note.c_str());
  };
  out << "\nScaling: one animal, each run a whole process (reading and writing included).\n"
         "wall s: the mean of the runs counted; MiB: peak resident memory. The peer is R, reading the same\n"
         "shapefile with sf and keeping its results in memory.\n\n";
  char line[256];
  std::snprintf(line, sizeof line, "%-20s %8s %5s %9s %9s   %-24s %9s %9s\n", "command", "fixes", "runs",
                "wall s", "MiB", "peer", "wall s", "MiB");
  out << line;
  for (const Row& row : rows_) {
    char ours[96];
    char peer[96] = "";
    cell(row.ours, ours, sizeof ours);
    if (!row.peer.empty()) cell(row.peerCost, peer, sizeof peer);
    std::snprintf(line, sizeof line, "%-20s %8d %5d %-19s   %-24s %s\n", row.command.c_str(), row.fixes,
                  row.runs, ours, row.peer.empty() ? "-" : row.peer.c_str(), peer);
    out << line;
  }
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  ScaleBench bench;
  // Sizes inside commands: each command's larger runs are judged by its smaller ones.
  for (const ScaleCommand& command : orvex::test::scaleCommands())
    for (const int fixes : kSizes)
      benchmark::RegisterBenchmark(
          (std::string(command.name) + "/fixes:" + std::to_string(fixes)).c_str(),
          [&bench, command, fixes](benchmark::State& state) { bench.run(state, command, fixes); })
          ->Unit(benchmark::kSecond)
          ->UseRealTime()
          ->Iterations(fixes == kSmallSize ? kSmallRuns : 1);
  benchmark::RunSpecifiedBenchmarks();
  bench.print(std::cout);
  benchmark::Shutdown();
  return 0;
}
