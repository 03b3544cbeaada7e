#pragma once
// The batch run of the Brownian bridge tool: per animal of a point layer, s1 by maximum
// likelihood (or as given), the bridge UD on a grid written as a GeoTIFF "<prefix><position>"
// (cells hold the density at their centres), optional isopleths made by the isopleth class
// of another component library through the host, and the run log "BBMM_ANALYSIS.txt" in the
// output folder.

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "host/geometry.h"
#include "range/bbmm/bbmm_grids.h"
#include "range/bbmm/bbmm_input.h"
#include "range/bbmm/bbmm_settings.h"
#include "range/bridge/bridge_ud.h"

namespace orvex::host {
class Application;
}  // namespace orvex::host

namespace orvex::range {

inline constexpr const char* kBbmmLogName = "BBMM_ANALYSIS.txt";
/// The class that builds isopleths (host/isopleths.h).
inline constexpr const char* kIsoplethProgId = "ORVEX.clsHISO";
/// A grid above this many cells is refused for its animal, as the KDE tool refuses one.
inline constexpr std::int64_t kBbmmMaxCells = 50'000'000;

enum class BbmmBatchResult {
  Completed,    ///< every animal tried; those that failed are failed items of the run record
  CheckFailed,  ///< the settings were refused: nothing touched
  Cancelled,    ///< a raster of the run's names was in the folder, or the host's Cancel
  Failed,       ///< a host error stopped the run; what was written stays
};

/// The whole run on the application's focus map. Each animal that cannot run (bad times, too
/// few fixes, degrees instead of map units, no bridge left) is a failed item naming the animal
/// and the others still run; intervals of zero length or over the largest gap are skipped
/// items of their animal. Messages go through the application's UI services; nothing escapes
/// (unless host::errorsPassThrough()).
BbmmBatchResult RunBbmmBatch(host::Application& application, const BbmmSettings& settings);

}  // namespace orvex::range
