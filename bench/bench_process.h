#pragma once
// Runs the built orvex program as a user would, for the benchmarks that time whole processes.

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <filesystem>
#include <string>
#include <vector>

extern char** environ;

namespace orvex::bench {

/// What one run of a program cost, from the kernel's account of the finished child.
struct ProcessCost {
  bool ok = false;           ///< it exited with status 0
  double peakMegabytes = 0;  ///< peak resident memory
  double cpuSeconds = 0;     ///< user plus system time: unlike wall time, not inflated by other loads
};

/// Runs `program` with `args`, its output sent to /dev/null, and waits for it.
inline ProcessCost runProcess(const std::filesystem::path& program, const std::vector<std::string>& args) {
  std::vector<std::string> words{program.string()};
  words.insert(words.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = -1;
  const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ProcessCost cost;
  if (spawned != 0) return cost;
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  auto seconds = [](const timeval& t) {
    return static_cast<double>(t.tv_sec) + 1e-6 * static_cast<double>(t.tv_usec);
  };
  cost.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  cost.peakMegabytes = static_cast<double>(usage.ru_maxrss) / 1024.0;
  cost.cpuSeconds = seconds(usage.ru_utime) + seconds(usage.ru_stime);
  return cost;
}

}  // namespace orvex::bench
