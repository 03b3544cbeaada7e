#pragma once

// The `orvex` command line: reading it and the subcommands of the host itself (register,
// commands, run). `main` only calls `runCommandLine`; each subcommand has a file of its own.

#include <filesystem>
#include <iosfwd>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "apps/orvex/global_options.h"
#include "apps/orvex/subcommand.h"

namespace orvex::cli {

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

/// The generic `run` subcommand: any registered command by its ProgID, its forms scripted
/// with --step, its dialogs answered with -o, --open and --folder.
std::unique_ptr<Subcommand> makeGenericRunSubcommand();

}  // namespace orvex::cli
