#pragma once
// Gaussian sums at the fixes themselves: s_i = sum over every fix j (i included) of
// exp(-d_ij^2 / (2 h^2)), the unnormalised fixed-kernel density at each fix (the pilot of an
// adaptive kernel). The plain loop costs n^2 exponentials; this one skips the fixes that are
// too far away to matter, with a bound on what that costs.
//
// Method: the fixes are binned into square cells of side at least h (larger when the fixes
// spread over so many bandwidths that cells would outnumber fixes). For the fixes of one cell C
// holding m fixes, every j leaves out only fixes farther than a radius R_C, so each left-out
// term is below exp(-R_C^2 / (2 h^2)) and there are at most n - m of them. Every fix counts
// itself (a term of 1), and two fixes of one cell lie within side * sqrt(2) of each other, so
// s_i >= L_C = max(1, m exp(-side^2 / h^2)) for every i in C. R_C is chosen so that
//   (n - m) exp(-R_C^2 / (2 h^2)) <= kGaussianPointSumError * L_C,
// so the fixes left out cost at most kGaussianPointSumError of each sum.
//
// Within the radius, a cell of many fixes (when cells are of side h) enters as one Hermite
// expansion about its centre c instead of one exponential per fix: with t = (x_i - c) / h and
// v_j = (x_j - c) / h, exp(-(t - v)^2 / 2) = sum_k v^k / k! He_k(t) e^(-t^2/2) along each axis,
// and Cramer's inequality |He_k(t)| e^(-t^2/4) <= 1.086435 sqrt(k!) bounds the tail after p
// terms by rho = 1.086435 sum_{k>=p} |v|^k / sqrt(k!), so a fix's two-axis term is off by at
// most 2 rho + rho^2 for any t. With |v| <= 1/2 the order p (about 26 for a million fixes) is
// the least that makes this at most kGaussianPointSumError / n per fix: all expansions together
// cost at most kGaussianPointSumError absolutely, which is at most that much of each sum
// (every sum is at least 1). Every sum is therefore within 2 kGaussianPointSumError of its
// exact value, relatively, before rounding. The expansions' own rounding is relative to terms
// of size e^(-t^2/4) per fix, absolute again, of the order of 1e-16 per fix reached. Source cells are skipped only when the gap between the two cells, shrunk by a
// margin that covers the rounding of the cell indices, exceeds R_C.
//
// Each kept term is exp(-(dx^2 + dy^2) * (1 / (2 h^2))) with numeric/vector_exp.h's exponential
// (within 1 ulp); the terms of one fix are added in a fixed order (source cells row by row,
// fixes of a cell in index order, term k to running sum k mod 8, the eight added in order). The sums therefore depend neither on the number of
// threads nor on the instruction set. Against the plain loop in index order they differ by the
// rounding of the terms' arguments and of the summation order: a few units in the last place
// times the number of terms at worst, about 1e-14 relative in practice.

#include <array>
#include <span>
#include <vector>

namespace orvex::numeric {

/// Relative bound on what the left-out fixes contribute to each sum, and again on what the
/// expansions' truncation costs it.
inline constexpr double kGaussianPointSumError = 1e-15;

/// s_i as above for the fixes `xy` and bandwidth h, on up to `threads` threads (0: one per
/// hardware thread). 0 fixes give an empty vector; 1 fix gives {1}; with finite coordinates and
/// a positive finite h every sum is at least 1. A coordinate or h that is not finite, or h <= 0,
/// takes the plain n^2 loop, whose sums are NaN, 0 or n as the formula gives.
std::vector<double> gaussian_point_sums(std::span<const std::array<double, 2>> xy, double h, unsigned threads);

}  // namespace orvex::numeric
