#pragma once

// What every `orvex` subcommand shares: the global options and the exit codes.

#include <filesystem>
#include <string>

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
  bool json = false;                   ///< --json: a summary of the outputs on standard output
  bool progressLines = false;          ///< --progress-lines: progress as lines on standard error
  std::filesystem::path registryFile;  ///< --registry: instead of the default file

  /// The registry file in use: --registry, else the default one.
  std::filesystem::path registryPath() const;
  /// The classes the host can create: the registry file when it exists; without --registry,
  /// else the registry installed with the component libraries; else the component libraries
  /// themselves (beside the executable in a build tree, in ../lib/orvex when installed).
  host::ComponentRegistry openRegistry() const;
};

}  // namespace orvex::cli
