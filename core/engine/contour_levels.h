#pragma once
// Contour levels: the level text, and the conversions between a volume level and a density
// threshold over the sorted UD table.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "core/engine/kernel_engine.h"

namespace orvex::core {

/// The nine default volume levels 0.9, 0.8, ..., 0.1, in that order.
void reset_contour_levels(std::array<double, kMaxContourLevels>& levels, std::int32_t& count);

/// A decimal number read at `pos` like strtod in the "C" locale: leading white space skipped,
/// an optional sign, the longest numeric prefix. `end` is the position after the number, or
/// `pos` itself when there is none (the value is then 0).
struct DecimalPrefix {
  double value = 0.0;
  std::size_t end = 0;
};
DecimalPrefix read_decimal_prefix(std::string_view text, std::size_t pos);

/// Applies a level text (see KernelEngine::set_contour_levels) to `levels`/`count`.
void apply_contour_level_text(std::string_view text, std::array<double, kMaxContourLevels>& levels,
                              std::int32_t& count);

/// The density threshold whose superlevel set holds volume `v` of the UD, from the densities
/// in descending order (`sorted`, (S + 1)^2 entries) and the cell sides. Walks at most
/// `walk_limit` (S * S) entries. Returns nullopt when the level falls within the first two
/// entries (too coarse a grid for it) or the table holds no positive density. A threshold
/// that is not positive falls back to the smallest positive density in the table, so that the
/// outermost ring is still traced.
std::optional<double> volume_to_density(std::span<const double> sorted, std::int64_t walk_limit, double dx,
                                        double dy, float v);

/// UD volume of the nodes above density `q` (the first entry always counted), with the cell
/// area taken in single precision.
double density_to_volume(std::span<const double> sorted, double dx, double dy, double q);

/// Node indices ordered by descending density; equal densities keep ascending index order.
void stable_descending_order(std::span<const double> densities, std::span<std::uint32_t> order);

}  // namespace orvex::core
