#pragma once
// Runs the built orvex program as a user would, for the benchmarks that time whole processes.

#include <filesystem>
#include <string>
#include <vector>

#include "support/orvex_spawn.h"

namespace orvex::bench {

/// What one run of a program cost, from the kernel's account of the finished child.
struct ProcessCost {
  bool ok = false;           ///< it exited with status 0
  double peakMegabytes = 0;  ///< peak resident memory
  double cpuSeconds = 0;     ///< user plus system time: unlike wall time, not inflated by other loads
  double minorFaults = 0;    ///< first-touch page faults: a count other loads do not inflate
};

/// Runs `program` with `args`, its output sent to /dev/null, and waits for it.
inline ProcessCost runProcess(const std::filesystem::path& program, const std::vector<std::string>& args) {
  std::vector<std::string> words{program.string()};
  words.insert(words.end(), args.begin(), args.end());
  const pid_t pid = orvex::test::spawnQuiet(std::move(words));
  if (pid < 0) return {};
  const orvex::test::Finished finished = orvex::test::waitFor(pid);
  return {.ok = finished.exitCode == 0,
          .peakMegabytes = finished.peakMegabytes,
          .cpuSeconds = finished.cpuSeconds,
          .minorFaults = finished.minorFaults};
}

}  // namespace orvex::bench
