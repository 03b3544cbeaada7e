#pragma once

// Starting a program in the background with its input empty and its output discarded, and
// waiting for it with its resource use: the kill and concurrency tests and the scale
// benchmark start `orvex` this way.

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/types.h>
#include <sys/wait.h>

#include <string>
#include <vector>

extern char** environ;

namespace orvex::test {

/// Starts `words[0]` (a path) with the arguments `words`; the process id, or -1 when it could
/// not be started.
inline pid_t spawnQuiet(std::vector<std::string> words) {
  std::vector<char*> argv;
  for (auto& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = -1;
  const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  return spawned == 0 ? pid : -1;
}

/// How a waited-for process ended and what it used.
struct Finished {
  int exitCode = -1;         ///< -1 when a signal ended it
  double peakMegabytes = 0;  ///< peak resident memory
  double cpuSeconds = 0;     ///< user and system time
  double minorFaults = 0;    ///< pages mapped on first touch: dear in a virtual machine
};

/// Waits for `pid` to end.
inline Finished waitFor(pid_t pid) {
  int status = 0;
  rusage usage{};
  Finished finished;
  if (wait4(pid, &status, 0, &usage) != pid) return finished;
  finished.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  finished.peakMegabytes = static_cast<double>(usage.ru_maxrss) / 1024.0;  // ru_maxrss is in kB
  const auto seconds = [](const timeval& t) {
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
  };
  finished.cpuSeconds = seconds(usage.ru_utime) + seconds(usage.ru_stime);
  finished.minorFaults = static_cast<double>(usage.ru_minflt);
  return finished;
}

}  // namespace orvex::test
