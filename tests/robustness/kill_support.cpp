// Starting orvex in the background for the kill and concurrency tests.

#include <fcntl.h>
#include <spawn.h>

#include "robustness/kill_support.h"

extern char** environ;

namespace orvex::test {

pid_t startOrvex(const std::filesystem::path& home, const std::vector<std::string>& args) {
  const std::string orvex = (std::filesystem::path(ORVEX_BIN_DIR) / "orvex").string();
  std::vector<std::string> words{orvex, "--registry", (home / "registry.txt").string(), "--quiet"};
  words.insert(words.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = -1;
  posix_spawn(&pid, orvex.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

}  // namespace orvex::test
