#pragma once

// The `orvex` command line: global options, subcommands and exit codes. `main` only calls
// `runCommandLine`; the pieces are split by subject over this folder.

#include <filesystem>
#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

#include "apps/orvex/command_table.h"
#include "host/registry.h"

namespace orvex::cli {

/// Exit codes of `orvex`.
inline constexpr int kExitSuccess = 0;
inline constexpr int kExitCommandFailed = 1;  ///< a negative status or a host error
inline constexpr int kExitUsage = 2;          ///< the command line could not be read

/// Options that apply to every subcommand.
struct GlobalOptions {
  std::string mapCrs;                  ///< --map-crs: the map's coordinate system
  std::filesystem::path tempFolder;    ///< --temp: becomes TEMP for the process
  bool yes = false;                    ///< --yes: Yes to every Yes/No question
  bool no = false;                     ///< --no: No to every Yes/No question
  bool quiet = false;                  ///< --quiet: no progress bar
  std::filesystem::path registryFile;  ///< --registry: instead of the default file

  /// The registry file in use: --registry, else the default one.
  std::filesystem::path registryPath() const;
  /// The classes the host can create: the registry file when it exists; without --registry,
  /// else the registry installed with the component libraries; else the component libraries
  /// themselves (beside the executable in a build tree, in ../lib/orvex when installed).
  host::ComponentRegistry openRegistry() const;
};

/// Parses the command line, runs the subcommand and returns the exit code. Every failure is
/// turned into a message on standard error and an exit code in one place; with the developer
/// switch ORVEX_THROW set, errors of commands propagate instead (for a debugger).
int runCommandLine(int argc, char** argv);

/// `register` / `unregister`: the given component libraries, or those beside the executable,
/// into or out of the registry file. Prints one line per library to `out`.
int registerLibraries(const GlobalOptions& global, const std::vector<std::string>& libraries, bool unregister,
                      std::ostream& out);

/// `commands`: every class of the command category with its properties.
int listCommands(const GlobalOptions& global, std::ostream& out);

/// Runs the command `progId` in the headless host on the map `args` describe: builds the
/// map and selections, queues the --output answers, applies `script` (may be null), clicks
/// the command once. Returns kExitSuccess, or kExitCommandFailed for a negative status; when
/// `after` is given, what it returns.
int runHostedCommand(std::string_view progId, const CommandArgs& args, const GlobalOptions& global,
                     ScriptFn script, AfterFn after = nullptr);

/// Form steps, dialog answers and the ProgID of the generic `run` subcommand, read from its
/// slots in `args`.
void scriptGenericRun(const CommandArgs& args, platform::headless::HeadlessApplication& application);

}  // namespace orvex::cli
