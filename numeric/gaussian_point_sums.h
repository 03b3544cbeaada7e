#pragma once
// Gaussian sums at the fixes themselves: s_i = sum over every fix j (i included) of
// exp(-d_ij^2 / (2 h^2)), the unnormalised fixed-kernel density at each fix (the pilot of an
// adaptive kernel). The plain loop costs n^2 exponentials; this one skips the fixes that are
// too far away to matter, with a bound on what that costs.
//
// Method: the fixes are binned into square cells of side 3 h (larger when the fixes spread over
// so many bandwidths that cells would outnumber fixes twice).
//
// Cut-off. For the fixes of one cell C holding m fixes, the sum leaves out only fixes farther
// than a radius R_C, so each left-out term is below exp(-R_C^2 / (2 h^2)) and there are at most
// n - m of them. Every fix counts itself (a term of 1), and two fixes of one cell lie within
// side * sqrt(2) of each other, so s_i >= L_C = max(1, m exp(-side^2 / h^2)) for every i in C.
// R_C is chosen so that (n - m) exp(-R_C^2 / (2 h^2)) <= kGaussianPointSumError * L_C: the fixes
// left out cost at most kGaussianPointSumError of each sum. A source cell is skipped only when
// the gap between the two cells, shrunk by a margin that covers the rounding of the cell
// indices, exceeds R_C; a cell taken as an expansion (below) also when its distance from the
// fix itself, shrunk likewise, does.
//
// Expansions. Within the radius, a cell of many fixes (cells of 3 h or less) enters as one
// Hermite expansion about its centre c instead of one exponential per fix: with t = (x_i - c) / h
// and v = (x_j - c) / h along one axis, exp(-(t - v)^2 / 2) = sum_k v^k / k! He_k(t) e^(-t^2/2),
// and Cramer's inequality |He_k(t)| e^(-t^2/4) <= 1.086435 sqrt(k!) bounds the tail after p terms
// by rho = 1.086435 sum_{k>=p} |v|^k / sqrt(k!), for every t. A fix's two-axis term is then off
// by at most 2 rho + rho^2. The order p (about 50 for a million fixes, |v| <= 1.5) is the least
// that makes this at most kGaussianPointSumError / n per fix, so all expansions together cost at
// most kGaussianPointSumError absolutely, which is at most that much of each sum (each is >= 1).
//
// So every sum is within 2 kGaussianPointSumError of its exact value, relatively, before
// rounding. A kept fix's term is exp(-(dx^2 + dy^2) * (1 / (2 h^2))) with numeric/vector_exp.h's
// exponential (within 1 ulp). An expansion's rounding is absolute, relative to the sizes of its
// terms, at most (1.1 * 8)^2 e^(-|t|^2/4) per fix it stands for (|v| <= 1.5): a few 1e-14 of
// each sum in practice, and the tests hold every sum to 1e-13 of the plain one. Each fix's sum
// is formed in a fixed order (source cells row by row; fixes of a cell in index order, term k to
// running sum k mod 8, the eight added in order; then the expansions in cell order), so the sums
// depend neither on the number of threads nor on the instruction set. Against the plain loop in
// index order they differ by rounding: about 1e-14 relative in practice.

#include <array>
#include <span>
#include <vector>

#include "numeric/simd_level.h"

namespace orvex::numeric {

/// Relative bound on what the left-out fixes contribute to each sum, and again on what the
/// expansions' truncation costs it.
inline constexpr double kGaussianPointSumError = 1e-15;

/// s_i as above for the fixes `xy` and bandwidth h, on up to `threads` threads (0: one per
/// hardware thread). 0 fixes give an empty vector; 1 fix gives {1}; with finite coordinates and
/// a positive finite h every sum is at least 1. A coordinate or h that is not finite, or h <= 0,
/// takes the plain n^2 loop, whose sums are NaN, 0 or n as the formula gives. `level` caps the
/// instruction set (tests pass lower ones); every level gives the same bits.
std::vector<double> gaussian_point_sums(std::span<const std::array<double, 2>> xy, double h, unsigned threads,
                                        SimdLevel level = best_simd_level());

}  // namespace orvex::numeric
