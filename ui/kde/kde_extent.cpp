#include "ui/kde/kde_extent.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>

namespace orvex::ui {

namespace {

/// Points closer than this (map units) count as overlapping.
constexpr double kOverlapDistance = 0.000001;

}  // namespace

std::int32_t GridCount(double value) {
  const double whole = std::floor(value);
  if (!(whole >= 0.0)) return 0;
  if (whole >= static_cast<double>(std::numeric_limits<std::int32_t>::max())) {
    return std::numeric_limits<std::int32_t>::max();
  }
  return static_cast<std::int32_t>(whole);
}

// Sorted by x, only pairs whose x differ by less than the distance can qualify; the answer is
// that of testing every pair.
bool HasOverlap(const std::vector<CoordPair>& points) {
  std::vector<std::size_t> order(points.size());
  std::iota(order.begin(), order.end(), std::size_t{0});
  std::sort(order.begin(), order.end(),
            [&](std::size_t a, std::size_t b) { return points[a][0] < points[b][0]; });
  for (std::size_t i = 0; i < order.size(); ++i) {
    const CoordPair& a = points[order[i]];
    for (std::size_t j = i + 1; j < order.size(); ++j) {
      const CoordPair& b = points[order[j]];
      if (b[0] - a[0] >= kOverlapDistance) break;
      if (std::hypot(b[0] - a[0], b[1] - a[1]) < kOverlapDistance) return true;
    }
  }
  return false;
}

BufferAdvice RecommendBuffer(KdeBandwidthChoice bandwidth, double largestListValue, double largestHref) {
  if (bandwidth == KdeBandwidthChoice::Manual) {
    return {.quantity = largestListValue,
            .recommended = static_cast<std::int64_t>(std::floor(kBufferBandwidths * largestListValue + 0.5))};
  }
  const double quantity =
      bandwidth == KdeBandwidthChoice::ProportionOfHref ? largestListValue * largestHref : largestHref;
  return {.quantity = quantity,
          .recommended = static_cast<std::int64_t>(std::floor(kBufferBandwidths * quantity))};
}

std::optional<KdeGrid> FullExtentGrid(const host::Envelope& extent, double buffer, double cell,
                                      std::int64_t maxCells) {
  const double columns = std::floor((2.0 * buffer + extent.width()) / cell);
  const double rows = std::floor((2.0 * buffer + extent.height()) / cell);
  if (columns * rows > static_cast<double>(maxCells)) return std::nullopt;
  return KdeGrid{.columns = GridCount(columns),
                 .rows = GridCount(rows),
                 .originX = extent.xmin - buffer,
                 .originY = extent.ymin - buffer};
}

KdeGrid AnimalExtentGrid(const std::vector<CoordPair>& points, double h, double cell) {
  double xmin = std::numeric_limits<double>::infinity();
  double ymin = xmin;
  double xmax = -xmin;
  double ymax = -xmin;
  for (const CoordPair& p : points) {
    xmin = std::min(xmin, p[0]);
    xmax = std::max(xmax, p[0]);
    ymin = std::min(ymin, p[1]);
    ymax = std::max(ymax, p[1]);
  }
  const double margin = 2.0 * kLimitRadiusBandwidths * h;
  return {.columns = GridCount((xmax - xmin + margin) / cell),
          .rows = GridCount((ymax - ymin + margin) / cell),
          .originX = xmin - kLimitRadiusBandwidths * h,
          .originY = ymin - kLimitRadiusBandwidths * h};
}

}  // namespace orvex::ui
