#pragma once

// `orvex locoh`: local convex hull (LoCoH) home ranges of each animal's fixes (range/locoh),
// one polygon shapefile of isopleths per animal, the hulls on request, a suggestion of the
// parameter and an area-against-parameter scan.

#include "apps/orvex/subcommand.h"

namespace orvex::cli {

void declareLocoh(CLI::App& subcommand, CommandArgs& args);
/// Reads the point shapefile's fixes by the values of --id (projected coordinates only) and,
/// per animal in ascending ID order: with --suggest prints k, r and a by Getz et al.'s rules;
/// with --scan prints the isopleth areas for each parameter value; otherwise writes
/// "<id>_locoh.shp" into --out-dir, one feature per isopleth with "Percent", "Area" and
/// "NFixes" (and with --hulls "<id>_locoh_hulls.shp"). Every output is checked before any is
/// written (an existing one is replaced only with --yes). An animal that cannot run fails by
/// name and the others still run.
int runLocoh(const CommandArgs& args, const GlobalOptions& global, RunSummary& summary);

}  // namespace orvex::cli
