#pragma once
// The set-order sum of quotients x[i] / k with the plain loop's rounding, from integer sums.

#include <span>

#include "numeric/simd_level.h"

namespace orvex::numeric {

/// The bits of the plain loop
///   double s = 0.0;
///   for (const double v : x) s += v / k;
/// (each quotient and each sum rounded to nearest even, in order) for any x and k, NaN and
/// infinities included; 0.0 for an empty x. The same bits on every instruction set.
///
/// Why it is faster, and exact: while the running sum s lies in one binade [2^e, 2^(e+1)) and
/// the quotients q_j share its sign, every sum is a point of the grid g = 2^(e-52) (sums of
/// negative terms mirror those of positive ones), so s_j = g (S_{j-1} + round(q_j / g)) with S an
/// integer: the sum of a block of terms is S plus the integer sum of their own roundings, added
/// in any order, unless a rounding is a tie (q_j / g half-way between integers, where the even
/// S_j wins, so the order matters) or S reaches 2^53 (the sum left the binade; rounding is
/// monotone, so the first block where the integer sum reaches 2^53 holds the plain loop's
/// first step out of the binade). Such blocks, blocks with a term of the other sign, a
/// non-finite term or a term over 2^50 grid steps, and blocks that start from a sum that is 0,
/// below 2^-900 or above 2^900 in magnitude run the plain loop.
///
/// The rounding of q_j / g is taken from t = x_j (fl(1/k) 2^(52-e)), which lies within
/// 3.001 u |t| + 2^-100 of q_j / g (u = 2^-53; three roundings, and a subnormal q_j's absolute
/// error scaled by at most 2^952); wherever t lies within 4 u |t| + 2^-50 of a half-integer,
/// q_j = x_j / k is formed and rounded itself.
double ordered_quotient_sum(std::span<const double> x, double k, SimdLevel level = best_simd_level());

}  // namespace orvex::numeric
