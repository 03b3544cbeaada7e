#pragma once
// Runs the built orvex program as a user would, for the benchmarks that time whole processes.

#include <signal.h>
#include <sys/wait.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "support/orvex_spawn.h"

namespace orvex::bench {

/// What one run of a program cost, from the kernel's account of the finished child.
struct ProcessCost {
  bool ok = false;           ///< it exited with status 0
  double peakMegabytes = 0;  ///< peak resident memory
  double cpuSeconds = 0;     ///< user plus system time: unlike wall time, not inflated by other loads
  double minorFaults = 0;    ///< first-touch page faults: a count other loads do not inflate
  double wallSeconds = 0;    ///< from start to end
  bool timedOut = false;     ///< stopped at its time limit
};

/// Runs `program` with `args`, its output sent to /dev/null, and waits for it; one that runs
/// longer than `limitSeconds` (when positive) is killed and counted as timed out.
inline ProcessCost runProcess(const std::filesystem::path& program, const std::vector<std::string>& args,
                              double limitSeconds = 0) {
  std::vector<std::string> words{program.string()};
  words.insert(words.end(), args.begin(), args.end());
  const auto start = std::chrono::steady_clock::now();
  const pid_t pid = orvex::test::spawnQuiet(std::move(words));
  if (pid < 0) return {};
  const auto elapsed = [&] {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  };
  bool timedOut = false;
  if (limitSeconds > 0) {
    // Polled rather than waited for: wait4 cannot time out.
    int status = 0;
    while (::waitpid(pid, &status, WNOHANG | WNOWAIT) == 0 && !timedOut) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      timedOut = elapsed() > limitSeconds;
    }
    if (timedOut) ::kill(pid, SIGKILL);
  }
  const orvex::test::Finished finished = orvex::test::waitFor(pid);
  return {.ok = finished.exitCode == 0 && !timedOut,
          .peakMegabytes = finished.peakMegabytes,
          .cpuSeconds = finished.cpuSeconds,
          .minorFaults = finished.minorFaults,
          .wallSeconds = elapsed(),
          .timedOut = timedOut};
}

}  // namespace orvex::bench
