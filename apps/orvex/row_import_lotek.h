#pragma once

// `orvex import-lotek`: Lotek collar files (.mdb) imported into one point shapefile by the
// Lotek import command, in the map's coordinate system (--map-crs; WGS 1984 without one).

#include <filesystem>
#include <string_view>

#include "apps/orvex/command_table.h"

namespace orvex::cli {

inline constexpr std::string_view kImportLotekProgId = "Orvex8.orvex_import";

/// The collar files (positional, instead of map layers), --out and --acquiring.
void declareImportLotek(CLI::App& subcommand, CommandArgs& args);
/// Answers the open dialog with the collar files and the save dialog with --out (an existing
/// output only with --yes, or a Yes typed at a terminal), and the "Keepers?" question with
/// --acquiring.
void scriptImportLotek(const CommandArgs& args, platform::headless::HeadlessApplication& application);
/// Prints "<path>: <n> features" for the shapefile written.
int afterImportLotek(const CommandArgs& args, platform::headless::HeadlessApplication& application,
                     int exitCode);

/// The output path --out names: made absolute, ".shp" added when it has no extension.
std::filesystem::path importLotekOutput(const CommandArgs& args);

}  // namespace orvex::cli
