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
#include "range/bbmm/bbmm_input.h"
#include "range/bbmm/bbmm_settings.h"
#include "range/bridge/bridge_ud.h"

namespace orvex::host {
class Application;
class RasterDataset;
}  // namespace orvex::host

namespace orvex::range {

inline constexpr const char* kBbmmLogName = "BBMM_ANALYSIS.txt";
/// The class that builds isopleths (host/isopleths.h).
inline constexpr const char* kIsoplethProgId = "ORVEX.clsHISO";
/// A grid above this many cells is refused for its animal, as the KDE tool refuses one.
inline constexpr std::int64_t kBbmmMaxCells = 50'000'000;
/// Minimum extent: the animal's box widened by this many of its widest bridge's standard
/// deviations (at the middle of its longest used interval).
inline constexpr double kMinimumExtentDeviations = 4.0;

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

/// The full extent of the layer widened by `buffer` on every side, cells of `cell`
/// (columns = floor((width + 2 buffer) / cell), as the KDE tool's full extent).
BridgeGrid FullExtentBridgeGrid(const host::Envelope& extent, double buffer, double cell);
/// An animal's own box widened by kMinimumExtentDeviations of its widest used bridge.
BridgeGrid MinimumExtentBridgeGrid(const BridgeTrack& track, std::span<const std::size_t> used, double sigma1,
                                   double cell);
/// The grid of a reference raster: its extent, cell size and size.
BridgeGrid ReferenceBridgeGrid(const host::RasterDataset& raster);

}  // namespace orvex::range
