#pragma once

// `orvex kernel`: the Kernel Analysis command on the selected fixes of point files (or on
// each animal's fixes in turn), its parameter sheet filled from the command line and its save
// dialogs answered from a file-name template.

#include <optional>
#include <string>
#include <string_view>

#include "apps/orvex/command_table.h"

namespace orvex::cli {

inline constexpr std::string_view kKernelProgId = "Orvex8.orvex_kernel";
inline constexpr std::string_view kKernelDefaultTemplate = "kernel_{id}_h{h}.shp";

void declareKernel(CLI::App& subcommand, CommandArgs& args);
/// Selects the fixes of the run's animal (--by), writes the parameter sheet's script and
/// answers the save dialogs; with --info, prints the sheet's first pages and cancels it.
void scriptKernel(const CommandArgs& args, platform::headless::HeadlessApplication& application);
/// Prints one line per file written; a refused parameter sheet makes the exit code 1.
int afterKernel(const CommandArgs& args, platform::headless::HeadlessApplication& application, int exitCode);

/// Runs `orvex kernel` with `args` as if typed: one click, or with --by one click per distinct
/// value of the field among the selected fixes (ascending), that value's fixes selected. The
/// exit code is that of the first run that failed, else 0.
int runKernel(const CommandArgs& args, const GlobalOptions& global);

/// The h text of a save title "Save As  for h = <h>"; nothing for any other title.
std::optional<std::string> readKernelSaveTitle(std::string_view title);

/// `outputTemplate` with every "{id}" and "{h}" replaced.
std::string expandKernelTemplate(std::string_view outputTemplate, std::string_view id, std::string_view h);

}  // namespace orvex::cli
