#pragma once
// The batch run of the overlap dialog: the UDs (rasters of the map or files, or one per animal
// made from a point layer by the KDE tool or the Brownian bridge on one grid), put on one grid,
// their overlap indices (overlap_indices.h) written as one CSV per index into the output folder
// (overlap_table.h, the files the command line writes) and the run log "OVERLAP_ANALYSIS.txt".

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "range/overlap/overlap_indices.h"

namespace orvex::host {
class Application;
}

namespace orvex::range {

inline constexpr const char* kOverlapLogName = "OVERLAP_ANALYSIS.txt";
/// The KDE tool's class that makes UDs from fixes (host/ud_maker.h).
inline constexpr const char* kKdeUdsProgId = "ORVEX.clsKDEUDs";
/// The folder inside the output folder that the UDs made from fixes are written to.
inline constexpr const char* kOverlapUdFolder = "uds";

enum class OverlapSource { Rasters, Fixes };
enum class OverlapEstimator { Kde, Bridge };

/// The texts and choices of the dialog's controls.
struct OverlapSettings {
  OverlapSource source = OverlapSource::Rasters;
  /// Rasters: each a raster layer of the focus map by name, or else a raster file's path. An
  /// animal is named by the raster file's stem.
  std::vector<std::string> rasters{};
  // Fixes: one UD per value of the ID field, every one on the layer's extent plus the buffer.
  std::string pointLayer{};
  std::string idField{};
  bool useSelectedOnly = false;
  OverlapEstimator estimator = OverlapEstimator::Kde;
  std::string bandwidth = "lscv";   ///< KDE: "href", "lscv", "bcv" or a bandwidth in map units
  bool adaptive = false;            ///< KDE: the adaptive kernel
  bool rescale = false;             ///< KDE: unit variance first
  std::string timeField = "Time2";  ///< bridge: seconds
  std::string sigma2{};             ///< bridge: the location error of every fix (map units)
  std::string sigma1 = "auto";      ///< bridge: "auto" (maximum likelihood) or a value
  std::string buffer = "2000";
  std::string cellSize = "100";
  // The indices.
  std::string percent = "95";
  std::array<bool, kOverlapIndexCount> indices{true, true, true, true, true, true};
  bool conditional = false;
  std::string outputFolder{};
};

/// The percent read, or the message that refuses the settings: fewer than two rasters; no
/// layer or ID field; a percent outside (0, 100]; no index chosen; no output folder.
struct OverlapSettingsCheck {
  double percent = 0.0;
  std::optional<std::string> error{};
};
OverlapSettingsCheck CheckOverlapSettings(const OverlapSettings& settings);

enum class OverlapBatchResult {
  Completed,    ///< the tables were written
  CheckFailed,  ///< the settings were refused: nothing touched
  Cancelled,    ///< a table of the run's names was in the folder, or the host's Cancel
  Failed,       ///< fewer than two UDs, a raster that is not a UD, or a host error
};

/// The whole run. Rasters on different grids are resampled to the finest common grid (said in
/// the log). Made UDs are kept in kOverlapUdFolder and reported by their estimator; an animal
/// it could not estimate is left out of the tables. Messages go through the application's UI
/// services, progress through its run record; nothing escapes (unless
/// host::errorsPassThrough()).
OverlapBatchResult RunOverlapBatch(host::Application& application, const OverlapSettings& settings);

}  // namespace orvex::range
