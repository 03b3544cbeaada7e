#pragma once

// Runs the built `orvex` executable as a user would, with its own configuration folders so
// that nothing reads or writes the real home, and collects its output and exit code.

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "support/files.h"

namespace orvex::test {

struct OrvexRun {
  int exitCode = -1;
  std::string out;  ///< standard output
  std::string err;  ///< standard error

  /// The exit code and both streams, for failure messages.
  std::string shown() const {
    return "exit " + std::to_string(exitCode) + "\n--- stdout\n" + out + "--- stderr\n" + err;
  }
};

inline std::string shellQuoted(const std::string& text) {
  std::string quoted = "'";
  for (const char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

/// Runs `orvex args...` with HOME and XDG_CONFIG_HOME set to `home`, the variables that steer
/// registries and errors cleared, standard input empty (no terminal, so nobody is asked), and
/// `environment` added. `executable` empty: the built orvex. `workingFolder` empty: the
/// tests' own working directory. Standard output and error are kept in `home`.
inline OrvexRun runOrvex(const std::filesystem::path& home, const std::vector<std::string>& args,
                         const std::map<std::string, std::string>& environment = {},
                         std::filesystem::path executable = {},
                         const std::filesystem::path& workingFolder = {}) {
  const std::filesystem::path orvex =
      executable.empty() ? std::filesystem::path(ORVEX_BIN_DIR) / "orvex" : std::move(executable);
  std::string command =
      workingFolder.empty() ? std::string() : "cd " + shellQuoted(workingFolder.string()) + " && ";
  command += "env -u ORVEX_REGISTRY -u ORVEX_THROW HOME=" + shellQuoted(home.string()) +
             " XDG_CONFIG_HOME=" + shellQuoted(home.string());
  for (const auto& [name, value] : environment) command += " " + name + "=" + shellQuoted(value);
  command += " " + shellQuoted(orvex.string());
  for (const auto& arg : args) command += " " + shellQuoted(arg);
  const auto out = home / "orvex.stdout";
  const auto err = home / "orvex.stderr";
  command += " </dev/null >" + shellQuoted(out.string()) + " 2>" + shellQuoted(err.string());

  OrvexRun run;
  const int status = std::system(command.c_str());
  run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  run.out = readAll(out);
  run.err = readAll(err);
  return run;
}

/// `orvex args...` run inside `folder` (its working directory), otherwise as runOrvex does.
inline OrvexRun runOrvexIn(const std::filesystem::path& folder, const std::filesystem::path& home,
                           const std::vector<std::string>& args) {
  return runOrvex(home, args, {}, {}, folder);
}

}  // namespace orvex::test
