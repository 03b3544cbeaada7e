#pragma once

// `orvex overlap`: the overlap indices between every pair of UDs (range/overlap), one CSV
// matrix per index. The UDs are rasters, or are made from fixes on one grid (overlap_from.h).

#include <memory>

#include "apps/orvex/subcommand.h"

namespace orvex::cli {

/// Reads each raster as the density it holds (divided by the density scaling recorded with it,
/// no-data cells 0), or with --from makes every animal's UD into a scratch folder that goes
/// with the run (--keep-uds copies them out as <animal>.tif first); puts them on the finest
/// common grid when their grids differ (said on standard error), and writes <INDEX>.csv into
/// --out-dir for each index asked for: the animals (the files' stems, or the ID values) as
/// header row and first column, row i and column j the index of animal i against animal j.
/// Refuses to replace a file without --yes: a CSV before anything is made, a kept UD before
/// anything is written. An animal the
/// estimator failed is a failed item; the others are still compared when two or more remain.
std::unique_ptr<Subcommand> makeOverlapSubcommand();

}  // namespace orvex::cli
