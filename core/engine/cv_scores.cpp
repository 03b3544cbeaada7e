#include "core/engine/cv_scores.h"

#include <cmath>

namespace orvex::core {

namespace {

// One bandwidth's exact pair sum.
double exact_sum(numeric::PairTerm term, std::span<const double> x, std::span<const double> y, double h,
                 unsigned threads, numeric::SimdLevel level) {
  const double scale = 1.0 / std::pow(h, 2);
  double sum = 0.0;
  numeric::pair_term_sums(term, x, y, std::span(&scale, 1), std::span(&sum, 1),
                          {.threads = threads, .level = level});
  return sum;
}

}  // namespace

double lscv_pair_sum(std::span<const double> x, std::span<const double> y, double h, unsigned threads,
                     numeric::SimdLevel level) {
  const double n = static_cast<double>(x.size());
  return -3.0 * n + 2.0 * exact_sum(numeric::PairTerm::lscv, x, y, h, threads, level);
}

double bcv2_pair_sum(std::span<const double> x, std::span<const double> y, double h, unsigned threads,
                     numeric::SimdLevel level) {
  return exact_sum(numeric::PairTerm::bcv2, x, y, h, threads, level);
}

std::optional<CvMomentSums> CvMomentSums::build(std::span<const double> x, std::span<const double> y,
                                                double h_low, double h_high, unsigned threads) {
  // LSCV needs beta = 1 / (4 h^2) and 1 / (2 h^2); BCV2 1 / (2 h^2).
  auto moments = numeric::build_pair_moments(x, y, 1.0 / (4.0 * h_high * h_high), 1.0 / (2.0 * h_low * h_low),
                                             threads, {});
  if (!moments) return std::nullopt;
  return CvMomentSums(std::move(*moments), static_cast<double>(x.size()));
}

numeric::PairSumEstimate CvMomentSums::lscv(double h) const {
  const auto e = numeric::pair_term_sum_from_moments(numeric::PairTerm::lscv, moments_, 1.0 / (h * h));
  return {-3.0 * n_ + 2.0 * e.sum, 2.0 * e.error};
}

numeric::PairSumEstimate CvMomentSums::bcv2(double h) const {
  return numeric::pair_term_sum_from_moments(numeric::PairTerm::bcv2, moments_, 1.0 / (h * h));
}

}  // namespace orvex::core
