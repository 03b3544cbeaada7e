// Starting orvex in the background for the kill and concurrency tests.

#include "robustness/kill_support.h"

#include "support/orvex_spawn.h"

namespace orvex::test {

pid_t startOrvex(const std::filesystem::path& home, const std::vector<std::string>& args) {
  std::vector<std::string> words{(std::filesystem::path(ORVEX_BIN_DIR) / "orvex").string(), "--registry",
                                 (home / "registry.txt").string(), "--quiet"};
  words.insert(words.end(), args.begin(), args.end());
  return spawnQuiet(std::move(words));
}

}  // namespace orvex::test
