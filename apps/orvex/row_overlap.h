#pragma once

// `orvex overlap`: the overlap indices between every pair of UD rasters (range/overlap), one
// CSV matrix per index.

#include "apps/orvex/subcommand.h"

namespace orvex::cli {

void declareOverlap(CLI::App& subcommand, CommandArgs& args);
/// Reads each raster as the density it holds (no-data cells 0), puts them on the finest common
/// grid when their grids differ (said on standard error), and writes <INDEX>.csv into --out-dir
/// for each index asked for: the animals (the files' stems) as header row and first column,
/// row i and column j the index of animal i against animal j. Refuses to replace a file without
/// --yes, before writing any.
int runOverlap(const CommandArgs& args, const GlobalOptions& global, RunSummary& summary);

}  // namespace orvex::cli
