#pragma once

// `orvex overlap --from FIXES`: every animal's UD made on one grid by the real `orvex kde` or
// `orvex bbmm` run, for the overlap indices to be read from as from rasters a user brings.

#include <filesystem>
#include <string>
#include <vector>

#include "apps/orvex/command_args.h"
#include "apps/orvex/global_options.h"
#include "apps/orvex/run_summary.h"

namespace CLI {
class App;
}

namespace orvex::cli {

/// One animal's UD raster as the estimator wrote it.
struct MadeUd {
  std::string animal;            ///< the value of the animal-ID field
  std::filesystem::path raster;  ///< the GeoTIFF in the run's folder
};

/// Declares --from, --id, --where, --estimator and the options of `orvex kde` and `orvex bbmm`
/// that shape a UD (bandwidth, kernel, rescaling, extent, cell size; s1, s2, time field,
/// triplets, largest gap, the dynamic bridge), each with the meaning it has there.
void declareOverlapFrom(CLI::App& subcommand, CommandArgs& args);

/// Why the --from options cannot be run, as one sentence; empty when they can. Refused: no
/// --id, the other estimator's options, --extent min (each UD would have a grid of its own), a
/// list of more than one bandwidth (one UD per animal), bbmm without a location error.
std::string overlapFromUsageError(const CommandArgs& args);

/// Runs the estimator on --from with its UDs written into `folder` (an empty folder the caller
/// owns): its report is not shown, its messages and progress are. Items it failed, cancelled
/// or skipped (an animal with too few fixes) are added to `summary`; its other outputs are
/// not. Returns the rasters in the order the run wrote them, one per animal.
std::vector<MadeUd> makeUdsFromFixes(const CommandArgs& args, const GlobalOptions& global,
                                     const std::filesystem::path& folder, RunSummary& summary);

}  // namespace orvex::cli
