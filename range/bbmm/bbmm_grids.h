#pragma once
// The grids of the Brownian bridge tool: the layer's full extent, an animal's minimum extent and
// a reference raster's grid.

#include <cstddef>
#include <span>

#include "host/geometry.h"
#include "range/bridge/bridge_ud.h"

namespace orvex::host {
class RasterDataset;
}  // namespace orvex::host

namespace orvex::range {

/// Minimum extent: the animal's box widened by this many of its widest bridge's standard
/// deviations (at the middle of its longest used interval).
inline constexpr double kMinimumExtentDeviations = 4.0;

/// The full extent of the layer widened by `buffer` on every side, cells of `cell`
/// (columns = floor((width + 2 buffer) / cell), as the KDE tool's full extent).
BridgeGrid FullExtentBridgeGrid(const host::Envelope& extent, double buffer, double cell);
/// An animal's own box widened by kMinimumExtentDeviations of its widest used bridge.
BridgeGrid MinimumExtentBridgeGrid(const BridgeTrack& track, std::span<const std::size_t> used, double sigma1,
                                   double cell);
/// The grid of a reference raster: its extent, cell size and size.
BridgeGrid ReferenceBridgeGrid(const host::RasterDataset& raster);

}  // namespace orvex::range
