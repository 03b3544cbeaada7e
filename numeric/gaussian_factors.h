#pragma once
// The factors of a Gaussian along one axis of a regular grid, for the separable grid sums: the
// centres' distances from the mean, their exponents and their exponentials in one pass, in
// vectors.
//
// Centre i lies at origin + q_i * step, q_i = q0 + direction * i (q0 a whole or half-whole number
// below 2^52 in size, direction +1 or -1, so every q_i is exact), and its factor is
// e^(scale d^2) with d = (origin + q_i * step) - mean, each operation rounded as written (no fused
// multiply-add) and the exponential of numeric/vector_exp.h: the same bits as that expression
// evaluated value by value and passed to exp_array, on every instruction set.

#include <span>

#include "numeric/simd_level.h"

namespace orvex::numeric {

/// out[i] = e^(scale * d_i * d_i), d_i = (origin + (q0 + direction * i) * step) - mean, for every
/// i < out.size(), at `level`.
void gaussian_factors(double origin, double q0, double direction, double step, double mean, double scale,
                      std::span<double> out, SimdLevel level = best_simd_level());

}  // namespace orvex::numeric
