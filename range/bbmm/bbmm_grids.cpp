#include "range/bbmm/bbmm_grids.h"

#include <algorithm>
#include <cmath>

#include "host/raster.h"
#include "range/bridge/bridge_quadrature.h"

namespace orvex::range {

namespace {

std::size_t GridCount(double value) { return value > 0.0 ? static_cast<std::size_t>(std::floor(value)) : 0; }

}  // namespace

BridgeGrid FullExtentBridgeGrid(const host::Envelope& extent, double buffer, double cell) {
  return {.origin_x = extent.xmin - buffer,
          .origin_y = extent.ymin - buffer,
          .cell_size = cell,
          .columns = GridCount((2.0 * buffer + extent.width()) / cell),
          .rows = GridCount((2.0 * buffer + extent.height()) / cell)};
}

BridgeGrid MinimumExtentBridgeGrid(const BridgeTrack& track, std::span<const std::size_t> used, double sigma1,
                                   double cell) {
  double widest = 0.0;
  for (const std::size_t i : used) {
    const BridgeSegment middle{.duration = track.t[i + 1] - track.t[i],
                               .sigma1 = sigma1,
                               .error0 = track.sigma2_at(i),
                               .error1 = track.sigma2_at(i + 1)};
    widest = std::max(widest, std::sqrt(middle.variance(0.5)));
  }
  const auto [xmin, xmax] = std::minmax_element(track.x.begin(), track.x.end());
  const auto [ymin, ymax] = std::minmax_element(track.y.begin(), track.y.end());
  const double margin = kMinimumExtentDeviations * widest;
  return {.origin_x = *xmin - margin,
          .origin_y = *ymin - margin,
          .cell_size = cell,
          .columns = GridCount((*xmax - *xmin + 2.0 * margin) / cell),
          .rows = GridCount((*ymax - *ymin + 2.0 * margin) / cell)};
}

BridgeGrid ReferenceBridgeGrid(const host::RasterDataset& raster) {
  const host::Envelope extent = raster.extent();
  return {.origin_x = extent.xmin,
          .origin_y = extent.ymin,
          .cell_size = raster.cellSizeX(),
          .columns = static_cast<std::size_t>(raster.columns()),
          .rows = static_cast<std::size_t>(raster.rows())};
}

}  // namespace orvex::range
