#pragma once

// `orvex import-movebank`: Movebank CSV downloads into one projected point layer with
// "AnimalID", "Time2", "Time1" and "Date", ready for the other subcommands.

#include "apps/orvex/subcommand.h"

namespace orvex::cli {

/// The CSV files (positional), --out, --crs, --sensor and --keep-outliers.
void declareImportMovebank(CLI::App& subcommand, CommandArgs& args);
/// Imports and prints what was kept and left out, the coordinate system (and how it was
/// chosen) and "<path>: <n> fixes of <k> animals"; a warning on standard error when the fixes
/// spread far beyond one UTM zone. An existing output is replaced with --yes only. The layer
/// written is recorded in `summary`.
int runImportMovebank(const CommandArgs& args, const GlobalOptions& global, RunSummary& summary);

}  // namespace orvex::cli
