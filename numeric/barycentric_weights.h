#pragma once
// The Lagrange weights of a set of interpolation points at one position, by the barycentric
// formula: the interpolated UD sum spreads every source onto the points of its box with them.

#include <cstddef>

#include "numeric/simd_level.h"

namespace orvex::numeric {

/// Points per block of the weights: the node and weight arrays are padded to a multiple of it.
inline constexpr std::size_t kWeightBlock = 8;

/// out[m] = (barycentric[m] / (s - nodes[m])) / total * factor for m < padded, total the sum of
/// the quotients (quotient m added to running sum m mod 8, the eight sums then added pairwise:
/// the same bits on every instruction set). `padded` is a multiple of kWeightBlock; nodes past
/// the first `points` are infinities with barycentric weight 0, so their out is -0 or 0. When s
/// is one of the first `points` nodes, out is `factor` there and 0 elsewhere.
void barycentric_weights(double s, const double* nodes, const double* barycentric, std::size_t points,
                         std::size_t padded, double factor, double* out, SimdLevel level = best_simd_level());

}  // namespace orvex::numeric
