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
//
// Repeated positions (a den, a collar at rest) would make the visits grow as the square of the
// fixes at one spot. group_repeated_positions keeps each distinct position once with its count;
// the histogram then counts a pair of positions w_a w_b times (each such pair has the same d2,
// so every bin gets the same sums, within the histogram's rounding), and the w (w - 1) / 2
// pairs inside a group, at d2 = 0, add exactly 1 each to G_0 and nothing to G_1, G_2.

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "numeric/pair_moments.h"

namespace orvex::numeric {

/// Distinct positions of a fix set, each with the number of fixes at it, in the order of their
/// first fix.
struct WeightedFixes {
  std::vector<double> x, y, weights;
  /// Pairs of fixes at one position: sum over the positions of w (w - 1) / 2 (exact).
  double coincident_pairs = 0.0;
};

/// The distinct positions (equal x and equal y) of the fixes; nullopt when every fix has its
/// own (the fixes themselves are then the set, each of weight 1).
std::optional<WeightedFixes> group_repeated_positions(std::span<const double> x, std::span<const double> y);

/// Pairs a cell-list pass with radius `radius` visits (distances formed), the cost of
/// build_near_pair_moments; 0 for fewer than 2 fixes.
std::uint64_t near_pair_visits(std::span<const double> x, std::span<const double> y, double radius);

/// The histogram, for sums at beta in [beta_min, beta_max], of the pairs of the fixes closer
/// than `radius` (> 0). nullopt when the beta range needs too many octaves or `progress`
/// stops the pass.
std::optional<PairMoments> build_near_pair_moments(std::span<const double> x, std::span<const double> y,
                                                   double radius, double beta_min, double beta_max,
                                                   unsigned threads, const ProgressCallback& progress);
/// The same for grouped fixes: every pair of the fixes they stand for, those within a group
/// included.
std::optional<PairMoments> build_near_pair_moments(const WeightedFixes& fixes, double radius, double beta_min,
                                                   double beta_max, unsigned threads,
                                                   const ProgressCallback& progress);

}  // namespace orvex::numeric
