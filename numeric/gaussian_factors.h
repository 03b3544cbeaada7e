#pragma once
// The factors of a Gaussian along one axis of a regular grid, for the separable grid sums: the
// centres' distances from the mean, their exponents and their exponentials in one pass, in
// vectors.
//
// Centre i lies at origin + q_i * step, q_i = q0 + direction * i (q0 a whole or half-whole number
// below 2^52 in size, direction +1 or -1, so every q_i is exact), and its factor is
// e^(scale d^2) with d = (origin + q_i * step) - mean, each operation rounded as written (no fused
// multiply-add). Where step^2 > v = -1 / (2 scale) (a spread narrower than a cell: a short
// window) every factor is the exponential of numeric/vector_exp.h, the bits of exp_array on that
// exponent. Otherwise the first factors of every run of 128 are those bits too, and the others
// step on from them by products (the method and its bound in the source): each within 2e-13 of
// its value. The same bits on every instruction set either way.

#include <span>

#include "numeric/simd_level.h"

namespace orvex::numeric {

/// out[i] = e^(scale * d_i * d_i), d_i = (origin + (q0 + direction * i) * step) - mean, for every
/// i < out.size(), as above, at `level`. Meant for windows within 7.5 spreads of the mean (the
/// bound assumes it); scale < 0.
void gaussian_factors(double origin, double q0, double direction, double step, double mean, double scale,
                      std::span<double> out, SimdLevel level = best_simd_level());

}  // namespace orvex::numeric
