#pragma once
// The overlap indices of Fieberg & Kochanny (2005, J. Wildl. Manage. 69:1346) between UDs on
// one grid (volume_contour.h: densities as they stand, no rescaling), read as adehabitatHR's
// kerneloverlaphr reads them. With A_i the P % volume contour of UD i, u_i its density and the
// sums over cells times the cell area:
//
//   HR[i][j]   = area(A_i and A_j) / area(A_i): the share of i's range that j's range covers
//   PHR[i][j]  = sum over A_i of u_j: the probability of finding j in i's range
//   VI         = sum of min(u_i, u_j): the volume both UDs share
//   BA         = sum of sqrt(u_i u_j): Bhattacharyya's affinity, 0 (disjoint) to 1 (identical)
//   UDOI       = area(A_i and A_j) x sum of u_i u_j: 0 when disjoint, 1 for two uniform UDs on
//                one range, above 1 when both use the same small part of it
//   HD         = sqrt(sum of (sqrt u_i - sqrt u_j)^2): Hellinger's distance, 0 when identical
//
// HR and PHR are not symmetric; the others are. Conditional indices replace each u_i by u_i
// inside A_i and 0 outside it (HR is the same either way; UDOI keeps its area factor). The
// diagonal holds each UD against itself, as kerneloverlaphr does. An empty contour makes HR's
// row NaN (0 / 0), as in R.

#include <array>
#include <cstddef>
#include <span>
#include <vector>

#include "range/overlap/volume_contour.h"

namespace orvex::range {

enum class OverlapIndex : std::size_t { hr, phr, vi, ba, udoi, hd };
inline constexpr std::size_t kOverlapIndexCount = 6;

struct OverlapOptions {
  double percent = 95.0;     ///< the volume contour, in (0, 100]
  bool conditional = false;  ///< each UD restricted to its own contour
  unsigned threads = 0;      ///< 0: one per processor; the values never depend on it
};

/// The six indices between every pair of n UDs, each an n x n matrix stored row by row.
struct OverlapMatrices {
  std::size_t animals = 0;
  std::array<std::vector<double>, kOverlapIndexCount> values;

  [[nodiscard]] double at(OverlapIndex index, std::size_t i, std::size_t j) const {
    return values[static_cast<std::size_t>(index)][i * animals + j];
  }
};

/// The indices between every pair of `uds` (each grid.cell_count() densities on `grid`). Each
/// contour is found once per UD; pairs are then summed a block of rows and a tile of cells at a
/// time, so memory beyond the inputs and the matrices is two doubles per cell of each UD (the
/// square root of its density and its contour as 0 or 1). Each pair adds its cells in the same
/// order whichever thread takes it, so the matrices never depend on the thread count.
/// Throws std::invalid_argument for fewer than 2 UDs, a percent outside (0, 100] or NaN, and as
/// check_ud_grid and check_ud (naming the first bad UD); std::bad_alloc when the working arrays
/// do not fit.
OverlapMatrices overlap_indices(std::span<const std::span<const double>> uds, const UdGrid& grid,
                                const OverlapOptions& options);

}  // namespace orvex::range
