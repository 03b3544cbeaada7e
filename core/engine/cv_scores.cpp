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
                                                double h_low, double h_high, unsigned threads, Path path) {
  // LSCV needs beta = 1 / (4 h^2) and 1 / (2 h^2); BCV2 1 / (2 h^2).
  const double beta_min = 1.0 / (4.0 * h_high * h_high);
  const double beta_max = 1.0 / (2.0 * h_low * h_low);
  const double n = static_cast<double>(x.size());
  if (path != Path::histogram) {
    auto sums = numeric::SplitGaussianSums::build(
        x, y, beta_min, beta_max,
        {.evaluations = kSearchEvaluations, .threads = threads, .force = path == Path::split});
    if (sums || path == Path::split) {
      if (!sums) return std::nullopt;
      return CvMomentSums(std::nullopt, std::move(sums), n);
    }
  }
  auto moments = numeric::build_pair_moments(x, y, beta_min, beta_max, threads, {});
  if (!moments) return std::nullopt;
  return CvMomentSums(std::move(moments), std::nullopt, n);
}

numeric::PairSumEstimate CvMomentSums::lscv(double h) const {
  if (split_) {
    // The ordered sums: lscv_pair_sum = S(1 / (4 h^2)) - 4 S(1 / (2 h^2)).
    const auto q = split_->sums(1.0 / (4.0 * h * h));
    const auto half = split_->sums(1.0 / (2.0 * h * h));
    return {q.s0 - 4.0 * half.s0, q.s0_error + 4.0 * half.s0_error};
  }
  const auto e = numeric::pair_term_sum_from_moments(numeric::PairTerm::lscv, *moments_, 1.0 / (h * h));
  return {-3.0 * n_ + 2.0 * e.sum, 2.0 * e.error};
}

numeric::PairSumEstimate CvMomentSums::bcv2(double h) const {
  if (split_) {
    const auto b = split_->sums(1.0 / (2.0 * h * h));
    return {(b.bcv - 8.0 * n_) / 2.0, b.bcv_error / 2.0};
  }
  return numeric::pair_term_sum_from_moments(numeric::PairTerm::bcv2, *moments_, 1.0 / (h * h));
}

}  // namespace orvex::core
