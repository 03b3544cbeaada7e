#pragma once

// `orvex kde --plots`: per animal, the cross-validation profile (score against h with the
// chosen h and href marked) and a map of the UD raster with its isopleths and the fixes, each
// as SVG and PNG in the output folder.

#include <filesystem>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "host/run_record.h"
#include "platform/pictures/plot_model.h"

namespace orvex::cli {

/// What a KDE run tells about one animal's raster.
struct KdeAnimalRun {
  std::string animal{};  ///< the unique ID as the run names it
  std::string raster{};  ///< the raster's name in the output folder
  std::filesystem::path rasterFile{};
  std::vector<std::filesystem::path> isoplethFiles{};  ///< the isopleth polygons (not donuts)
  double h = 0.0;                                      ///< the bandwidth used (or s1 of a bridge)
  double href = 0.0;                                   ///< NaN: none to mark
  std::string parameter = "h";                         ///< the profile's x: "h", or "s1" for a bridge
  double blankFraction = 0.0;  ///< the map leaves blank the cells at or below this fraction of the largest
  std::string estimator{};     ///< "LSCV", "BCV", or empty for other bandwidth choices
  bool minimized = false;      ///< the score's minimum lay inside the scanned range
  std::vector<platform::pictures::PlotPoint> profile{};  ///< (h, score), in scan order
};

/// The rasters a KDE run recorded, one run each in record order, with the isopleth polygon
/// files recorded for the same raster. `estimator` ("LSCV" or "BCV") names the score of the
/// profiles; a raster without a profile gets an empty estimator.
std::vector<KdeAnimalRun> kdeRunsOf(const host::RunRecord& record, const std::string& estimator);

/// The rasters of a Brownian bridge run as runs whose profile is the s1 log-likelihood (its
/// maximum is the chosen s1) and which have no href.
std::vector<KdeAnimalRun> bridgeRunsOf(const host::RunRecord& record);

/// The profile chart: the scores as a line over the scanned h, the chosen h as a solid mark
/// and href as a dashed one. When the minimisation failed the note says so in red and the
/// lowest score, at an end of the range, is marked. Nothing without a profile.
std::optional<platform::pictures::Chart> profileChart(const KdeAnimalRun& run);

/// The UD map of one raster, its isopleth outlines and the animal's fixes.
struct UdMapData {
  platform::pictures::RasterLayer raster{};
  std::vector<std::vector<platform::pictures::PlotPoint>> isopleths{};
  std::vector<platform::pictures::PlotPoint> fixes{};
};
/// The map: the raster's extent, cells of no density (0 or less, or up to the run's
/// blankFraction of the largest) left blank, the ramp spanning
/// 0 to the largest density.
platform::pictures::MapPicture udMap(const KdeAnimalRun& run, UdMapData data);

/// Writes "<raster>_profile" and "<raster>_map" pictures (.svg and .png) beside each raster,
/// reading the raster and isopleths back and the fixes of `pointFile` (field `idField`; only a
/// shapefile, other files give a map without fixes), records each in `record` and returns
/// their paths. A picture that cannot be drawn (a raster beyond cairo's image size, memory
/// run out) or written is a failed item of `record` named by its SVG file, and leaves no file.
std::vector<std::filesystem::path> writeKdePlots(const std::vector<KdeAnimalRun>& runs,
                                                 const std::filesystem::path& pointFile,
                                                 const std::string& idField, host::RunRecord& record);

}  // namespace orvex::cli
