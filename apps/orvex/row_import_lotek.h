#pragma once

// `orvex import-lotek`: Lotek collar files (.mdb) imported into one point shapefile by the
// Lotek import command, in the map's coordinate system (--map-crs; WGS 1984 without one).

#include <filesystem>
#include <memory>
#include <string_view>

#include "apps/orvex/subcommand.h"

namespace orvex::cli {

inline constexpr std::string_view kImportLotekProgId = "Orvex8.orvex_import";

/// `orvex import-lotek`: the collar files (positional, instead of map layers) answer the open
/// dialog, --out the save dialog (an existing output only with --yes, or a Yes typed at a
/// terminal) and --acquiring the "Keepers?" question; prints "<path>: <n> features" for the
/// shapefile written. A collar file that could not be read fails the run, after the others
/// are imported.
std::unique_ptr<Subcommand> makeImportLotekSubcommand();

/// The output path --out names: made absolute, ".shp" added when it has no extension.
std::filesystem::path importLotekOutput(const CommandArgs& args);

}  // namespace orvex::cli
