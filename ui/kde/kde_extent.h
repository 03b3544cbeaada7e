#pragma once
// The grid of a KDE batch run: the shared extent over every animal's fixes plus a buffer, or
// one animal's own box widened by four bandwidths, and the checks made before any kernel.

#include <cstdint>
#include <optional>
#include <vector>

#include "host/geometry.h"
#include "ui/kde/kde_math.h"
#include "ui/kde/kde_settings.h"

namespace orvex::ui {

/// Minimum-extent margin: bandwidths beyond the outermost fix.
inline constexpr double kLimitRadiusBandwidths = 4.0;

/// Columns, rows and lower-left corner of a kernel grid.
struct KdeGrid {
  std::int32_t columns = 0;
  std::int32_t rows = 0;
  double originX = 0.0;
  double originY = 0.0;
};

/// Int(x) of a grid size: rounded towards minus infinity, held in the 32-bit range (a larger
/// count is refused by the size check anyway).
std::int32_t GridCount(double value);

/// True when two of the points are closer than a millionth of a map unit.
bool HasOverlap(const std::vector<CoordPair>& points);

/// The buffer the full extent should have: `quantity` is the bandwidth it is measured in (the
/// largest list value of a manual run, href times the largest proportion, or the largest href)
/// and `recommended` the whole number the question offers.
struct BufferAdvice {
  double quantity = 0.0;
  std::int64_t recommended = 0;
};
BufferAdvice RecommendBuffer(KdeBandwidthChoice bandwidth, double largestListValue, double largestHref);

/// The full extent of the layer widened by `buffer` on every side in cells of `cell`; nothing
/// when the grid would exceed `maxCells`.
std::optional<KdeGrid> FullExtentGrid(const host::Envelope& extent, double buffer, double cell,
                                      std::int64_t maxCells);

/// One animal's bounding box widened by four bandwidths `h` on every side.
KdeGrid AnimalExtentGrid(const std::vector<CoordPair>& points, double h, double cell);

}  // namespace orvex::ui
