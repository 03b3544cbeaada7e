#pragma once

// Movebank CSV files into one projected point layer that every command of the tool set reads
// directly: "AnimalID", "Time2", "Time1" and "Date", sorted by animal and time.

#include <cstddef>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/gdal/movebank_csv.h"

namespace orvex::platform::gdal {

/// The WGS 84 UTM zone chosen for a set of fixes.
struct UtmChoice {
  int zone = 0;                   ///< 1..60
  bool north = true;              ///< by the median latitude (0 counts as north)
  double centralLongitude = 0.0;  ///< circular mean of the longitudes, degrees in [-180, 180)
  double medianLatitude = 0.0;    ///< degrees
  /// The largest distance in longitude of a fix from the zone's central meridian, degrees.
  double widestOffset = 0.0;
  int epsg() const { return (north ? 32600 : 32700) + zone; }
};

/// Beyond this distance in longitude from the central meridian (one and a half zones) the
/// UTM scale factor exceeds about 1.012 at the equator, so areas there grow by more than 2 %:
/// the import warns. (Within a zone, at 3 degrees, the area error stays below 0.3 %.)
inline constexpr double kWideSpreadDegrees = 9.0;

/// The zone of the circular mean longitude, so that fixes either side of the date line
/// (179.9 and -179.9) fall in zone 60 or 1 rather than in zone 31; north or south by the
/// median latitude. Throws host::Error (kInvalidArgument) for no fixes.
UtmChoice chooseUtmZone(std::span<const MovebankFix> fixes);

struct MovebankImportOptions {
  std::vector<std::filesystem::path> inputs{};  ///< CSV files, read in this order
  /// A ".shp" file, or a ".gpkg" file receiving a layer named as the file (without the
  /// extension); an existing GeoPackage keeps its other layers.
  std::filesystem::path output{};
  /// "auto" (or empty): the UTM zone of `chooseUtmZone`; else EPSG:<code>, WKT or PROJ text.
  std::string crs = "auto";
  MovebankReadOptions read{};
  bool replace = false;  ///< replace an existing output (file, or layer of a GeoPackage)
};

struct MovebankImportReport {
  MovebankCounts counts{};
  std::size_t written = 0;
  std::size_t animals = 0;
  std::string crsName{};           ///< the coordinate system's name
  int epsg = 0;                    ///< its EPSG code, 0 when it has none
  std::optional<UtmChoice> utm{};  ///< set when the zone was chosen automatically
  bool wideSpread = false;         ///< `utm` set and its widest offset past kWideSpreadDegrees
  std::filesystem::path output{};  ///< the file written
  std::string layer{};             ///< the layer written
};

/// Reads every input, projects the kept fixes and writes them.
///
/// Fields: "AnimalID" (text, wide enough for the longest identifier), "Time2" (seconds since
/// 1970-01-01T00:00:00Z, the fraction dropped, a 64-bit integer field of 14 digits so dates
/// past 2038 fit), "Time1" (UTC time of day "HH:MM:SS") and "Date" (UTC date). Features are
/// sorted by animal identifier, then by time with the fraction, then by their order in the
/// files (so repeated timestamps keep their order).
///
/// Throws host::Error: (kDataError) from the reader and for no fix left to write,
/// (kAlreadyExists) when the output exists and `replace` is false, (kInvalidArgument) for an
/// unreadable `crs` or an output that is neither .shp nor .gpkg, (kFileNotFound) for a missing
/// input, and GDAL's write errors.
MovebankImportReport importMovebank(const MovebankImportOptions& options);

}  // namespace orvex::platform::gdal
