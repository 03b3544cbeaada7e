#pragma once

// `orvex mcp --curve`: per layer (per animal with --by), the MCP area against the percentage
// of fixes kept (10 to 100, the chosen style), the check of whether the home range has
// levelled off, and the area over all fixes against the number of fixes taken in time order.
// The areas come from the MCP command itself, run again on the same fixes into a scratch
// folder: the areas it records, as its shapefiles' "Area" field holds them.

#include <filesystem>
#include <string>
#include <vector>

#include "apps/orvex/geopackage_output.h"
#include "apps/orvex/subcommand.h"
#include "platform/pictures/plot_model.h"

namespace orvex::cli {

/// The percentages of the percentage curve.
std::vector<double> curvePercentages();

/// The numbers of fixes of the time-order curve for a layer of `count` fixes: about
/// `wanted` steps from 3 (the fewest an MCP needs) to `count`, ascending, without repeats.
/// Empty below 3 fixes.
std::vector<std::size_t> curveFixCounts(std::size_t count, std::size_t wanted = 20);

/// One layer's curves: (percentage, area) and (number of fixes, area), points whose MCP was
/// not made left out.
struct McpCurves {
  std::string layer{};
  std::string style{};
  std::vector<platform::pictures::PlotPoint> byPercentage{};
  std::vector<platform::pictures::PlotPoint> byFixCount{};
};

platform::pictures::Chart percentageChart(const McpCurves& curves);
platform::pictures::Chart fixCountChart(const McpCurves& curves);

/// Runs the curves for the layers `args` describe, writes "<layer>_mcp_curve" and
/// "<layer>_mcp_fixes" pictures (.svg and .png) into `folder` and returns their paths.
std::vector<std::filesystem::path> writeMcpCurves(const CommandArgs& args, const GlobalOptions& global,
                                                  const std::filesystem::path& folder);

/// `orvex mcp` into a GeoPackage: the polygons are written as shapefiles into a scratch folder,
/// named by `target`'s template, then moved into the GeoPackage as layers of those names and
/// recorded in `summary` as its layers (with the failures of the run).
int runMcpIntoGeoPackage(const CommandArgs& args, const GlobalOptions& global, const GeoPackageTarget& target,
                         RunSummary& summary);

}  // namespace orvex::cli
