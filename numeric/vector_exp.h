#pragma once
// The exponential on arrays of doubles, for the Gaussian sums of both component libraries.
//
// Method: x = k ln2 + r with k = rint(x / ln2) and ln2 split in two parts (Cody and Waite; the
// high part has 32 significant bits, so k * ln2hi and x - k * ln2hi are exact), |r| <= 0.3466;
// e^r = 1 + (r + r^2 q(r)) with q the Taylor polynomial of degree 11 (terms to r^13, whose
// remainder is below 5e-18 relative); the result is e^r * 2^k1 * 2^k2, k1 + k2 = k, so that
// the first product is exact and a subnormal result is rounded once.
// Error: at most 1 ulp (measured maximum 0.83 ulp over 10^7 arguments on [-745, 709] and
// [-40, 0] against a long-double reference; 1 ulp of the smallest subnormal below 2^-1022).
// Exact cases: e^0 = 1, e^x = 0 for x <= -746 and -infinity, +infinity for x >= 709.8 and
// +infinity, NaN for NaN.
// No fused multiply-add and the same operations on every lane: the result is the same bits on
// every instruction set, and each value's bits do not depend on its neighbours.

#include <span>

#include "numeric/simd_level.h"

namespace orvex::numeric {

/// out[i] = e^in[i] (same sizes; out may be in), at `level`.
void exp_array(std::span<const double> in, std::span<double> out, SimdLevel level = best_simd_level());

}  // namespace orvex::numeric
