#pragma once

// `orvex simulate`: a synthetic telemetry set written as a point shapefile.

#include <cstddef>
#include <filesystem>
#include <string>

#include "apps/orvex/simulate_model.h"
#include "apps/orvex/subcommand.h"

namespace orvex::cli {

/// The file `orvex simulate` writes into its output folder.
inline constexpr const char* kSimulatedFile = "fixes.shp";

struct SimulateRequest {
  SimulationOptions model{};
  std::filesystem::path folder{};  ///< created when missing
  std::string crs = "EPSG:32633";  ///< EPSG:<code>, a .prj file or WKT
  double originLongitude = 15.0;   ///< the study area, degrees (WGS 84)
  double originLatitude = 51.0;
  bool replace = false;  ///< replace an existing output
};

/// Writes folder/fixes.shp: one point per fix with "AnimalID" (text), "Time2" (whole seconds
/// since 1970-01-01T00:00:00Z), "Time1" (UTC time of day, "HH:MM:SS") and "Date" (UTC date), in
/// the coordinate system `crs`. Positions are metres from the origin, turned into degrees on a
/// sphere (a few kilometres around the origin, where that is accurate enough for synthetic
/// data) and projected into `crs`. Returns the number of fixes written.
/// Throws host::Error: (kAlreadyExists) when the output exists and `replace` is false,
/// (kInvalidArgument) for an unreadable coordinate system, and the platform's write errors.
std::size_t writeSimulation(const SimulateRequest& request);

void declareSimulate(CLI::App& subcommand, CommandArgs& args);
/// Reads the options, writes the file and prints "<path>: <n> fixes of <k> animals (<crs>)".
int runSimulate(const CommandArgs& args, const GlobalOptions& global, RunSummary& summary);

}  // namespace orvex::cli
