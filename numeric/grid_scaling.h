#pragma once
// Scaling a grid of densities in place and summing it in the same pass.

#include <span>

#include "numeric/simd_level.h"

namespace orvex::numeric {

/// values[i] = values[i] * factor / first_divisor / second_divisor (three roundings, in that
/// order), and returns the sum of the new values, value i added to running sum i mod 8 and the
/// eight sums then added in order: the same bits on every instruction set.
double scale_and_sum(std::span<double> values, double factor, double first_divisor, double second_divisor,
                     SimdLevel level = best_simd_level());

}  // namespace orvex::numeric
