#pragma once
// The pair sums of the cross-validation scores: O(n^2) per evaluation, the hot loop of the
// bandwidth searches.

#include <optional>
#include <span>
#include <utility>

#include "numeric/pair_moments.h"
#include "numeric/pair_sums.h"
#include "numeric/simd_level.h"
#include "numeric/split_gaussian_sums.h"

namespace orvex::core {

/// S of the LSCV score: the sum over all ordered pairs (i, j), i = j included, of
/// exp(-d^2 / (4 h^2)) - 4 exp(-d^2 / (2 h^2)). Computed as -3 n plus twice the sum over the
/// unordered pairs, with exp(-d^2/(2h^2)) taken as the square of exp(-d^2/(4h^2)), and pairs
/// whose terms are below 2^-1021 dropped: equal to the plain double sum within rounding of the
/// summation order (numeric::pair_term_sums, whose sums do not depend on `threads` or
/// `level`). h must be positive; x and y of equal length, finite.
double lscv_pair_sum(std::span<const double> x, std::span<const double> y, double h, unsigned threads,
                     numeric::SimdLevel level = numeric::best_simd_level());

/// The sum over the unordered pairs of g(-D^2/2) * (D^4 - 8 D^2 + 8), D = d / h, g the guarded
/// exponential (the BCV2 score's S is twice this), terms with D^2 / 2 > 708 dropped. Same
/// conditions as above.
double bcv2_pair_sum(std::span<const double> x, std::span<const double> y, double h, unsigned threads,
                     numeric::SimdLevel level = numeric::best_simd_level());

/// The two pair sums above for any h of a bracket, with a bound on their errors: from one pass
/// over the pairs (numeric::PairMoments: each Gaussian sum within about 1e-15 relative of the
/// exact one; the stated error is a thousand times that bound, taken over the sums' positive
/// parts), or, for large sets where it costs less, from the split sums
/// (numeric/split_gaussian_sums.h: near pairs and power spectrum, about n log n, each sum within
/// its stated bound of about 1e-12 relative).
class CvMomentSums {
 public:
  /// Evaluations a golden search makes, for the cost model of the split sums.
  static constexpr std::size_t kSearchEvaluations = 80;

  /// Which sums build takes: the cheaper, the histogram, or the split sums whatever they cost.
  enum class Path { cheapest, histogram, split };

  /// Built for h in [h_low, h_high] (0 < h_low <= h_high, finite); nullopt when that range is
  /// too wide for the histogram (or, forced, for the split sums).
  static std::optional<CvMomentSums> build(std::span<const double> x, std::span<const double> y, double h_low,
                                           double h_high, unsigned threads, Path path = Path::cheapest);

  /// lscv_pair_sum(h) and bcv2_pair_sum(h), for h within the bracket.
  numeric::PairSumEstimate lscv(double h) const;
  numeric::PairSumEstimate bcv2(double h) const;

 private:
  CvMomentSums(std::optional<numeric::PairMoments> moments, std::optional<numeric::SplitGaussianSums> split,
               double n)
      : moments_(std::move(moments)), split_(std::move(split)), n_(n) {}
  std::optional<numeric::PairMoments> moments_;
  std::optional<numeric::SplitGaussianSums> split_;
  double n_;
};

}  // namespace orvex::core
