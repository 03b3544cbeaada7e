#pragma once
// Gaussian pair sums of a fix set for every beta of a range at a cost near n log n: the range is
// split at beta_F.
//
// - beta >= beta_F (narrow kernels): only pairs closer than R = sqrt(x_F / beta_F) matter. The
//   pairs farther away add at most n^2 / 2 * 4 (x_F^2 + 4 x_F + 2) e^{-x_F} to the BCV2 term's
//   positive parts and n^2 / 2 e^{-x_F} to G_0 (x^k e^{-x} falls for x >= 2), and x_F is chosen
//   so that this is at most eps * n / 2 <= eps * S / 2 (S >= n from the diagonal). Those pairs
//   go into a pair-moment histogram through a cell list (numeric/near_pair_moments.h), whose
//   sums are within about 1e-15 of the near pairs' own (numeric/pair_moments.h; stated here as
//   1e-13 of the positive parts).
// - beta < beta_F (wide kernels): the power spectrum of the fixes (numeric/gaussian_spectrum.h)
//   with its stated error bound.
// R (hence beta_F) is chosen by cost: the cell list's visited pairs grow as R^2, the spectrum's
// grid as 1 / R^2; the spectrum must also fit in `max_bytes`. When no split costs less than the
// plain histogram of every pair, build returns nullopt and the caller keeps that histogram.
//
// Repeated positions: fixes at one position are grouped first (numeric/near_pair_moments.h)
// and both parts take each position once with its count as weight, so a den holding most of
// the fixes costs as one point. The cost model counts what the work counts: the cell list's
// visits between distinct positions, the spreading per distinct position, the grid by its
// cells; the plain histogram it is weighed against, and every error bound, count all n fixes.
//
// Progress: the near pairs report first, then the spectrum's strips and columns, each over its
// share of the modelled cost, so the fraction runs from 0 to 1; a false from the callback stops
// whichever part is running.
//
// The sums are of ordered pairs (i = j included), as OrderedGaussianSums. They do not depend on
// the number of threads.

#include <cstddef>
#include <optional>
#include <span>

#include "numeric/gaussian_spectrum.h"
#include "numeric/pair_moments.h"

namespace orvex::numeric {

struct SplitOptions {
  /// Each truncation (far pairs, spectrum images and cut) stays below eps * n.
  double eps = 1e-13;
  /// Largest spectrum grid build (bytes).
  double max_bytes = 512.0 * 1024.0 * 1024.0;
  /// Sums the caller will ask for (their cost enters the choice).
  std::size_t evaluations = 402;
  unsigned threads = 0;
  /// Build the split even when the plain histogram looks cheaper (tests).
  bool force = false;
  /// A fixed near-pair radius instead of the cheapest (tests); 0 chooses.
  double radius = 0.0;
};

class SplitGaussianSums {
 public:
  /// The sums for beta in [beta_min, beta_max] (0 < beta_min <= beta_max, finite); nullopt for
  /// fewer than 2 fixes, a range the histogram cannot hold, or (unless forced) when the plain
  /// histogram of every pair is cheaper. `progress` may stop the build (nullopt).
  static std::optional<SplitGaussianSums> build(std::span<const double> x, std::span<const double> y,
                                                double beta_min, double beta_max, const SplitOptions& options,
                                                const ProgressCallback& progress = {});

  /// The ordered sums at beta in the range, with their error bounds.
  OrderedGaussianSums sums(double beta) const;

  /// beta_F: the near pairs serve beta >= split_beta, the spectrum the rest.
  double split_beta() const { return split_beta_; }

 private:
  SplitGaussianSums() = default;
  double n_ = 0.0;
  double split_beta_ = 0.0;
  double far_argument_ = 0.0;  // x_F
  std::optional<PairMoments> near_;
  std::optional<GaussianSpectrum> spectrum_;
};

/// Wall seconds per pair of the plain histogram on two cores, the baseline of the choice.
inline constexpr double kHistogramSecondsPerPair = 2.7e-9;

}  // namespace orvex::numeric
