#pragma once
// The pair-moment histogram (numeric/pair_moments.h) of only the pairs closer than a radius R,
// found with a cell list, for the sums at large beta.
//
// For beta >= beta_F every pair at distance d >= R adds e^{-beta d^2} <= e^{-beta_F R^2}, and
// x^k e^{-x} <= x_F^k e^{-x_F} (x_F = beta_F R^2 >= 2, where x^k e^{-x}, k <= 2, falls), so
// the pairs left out add at most P_far x_F^k e^{-x_F} to G_k, P_far <= n (n - 1) / 2.
// near_pair_radius chooses R so that this is at most eps * n / 2 for G_0 (the ordered sum S =
// n + 2 G_0 >= n), and the callers state the bound of each G_k.
//
// Cells have side R (at least the extent over 2^30); each fix sees its own cell and the
// four "forward" neighbours (right; and the three above), so each pair within R is visited
// once. Fixes are ordered by cell row, then cell column (input order within a cell). The cells
// are cut into chunks of about a fixed number of visited pairs that depend only on the fixes and
// R; each chunk fills its own histogram and the histograms are added in chunk order, so the
// result is the same on any number of threads.

#include <cstdint>
#include <optional>
#include <span>

#include "numeric/pair_moments.h"

namespace orvex::numeric {

/// Pairs a cell-list pass with radius `radius` visits (distances formed), the cost of
/// build_near_pair_moments; 0 for fewer than 2 fixes.
std::uint64_t near_pair_visits(std::span<const double> x, std::span<const double> y, double radius);

/// The histogram, for sums at beta in [beta_min, beta_max], of the pairs of the fixes closer
/// than `radius` (> 0). nullopt when the beta range needs too many octaves or `progress`
/// stops the pass.
std::optional<PairMoments> build_near_pair_moments(std::span<const double> x, std::span<const double> y,
                                                   double radius, double beta_min, double beta_max,
                                                   unsigned threads, const ProgressCallback& progress);

}  // namespace orvex::numeric
