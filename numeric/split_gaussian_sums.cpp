#include "numeric/split_gaussian_sums.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "numeric/near_pair_moments.h"

namespace orvex::numeric {

namespace {

// Cost model (wall seconds on two cores; only the ratios matter for the choice).
// Measured on the 2-core machine at a million fixes: 1.7 ns per visited pair, 1.7 s for a
// 10,000^2 grid (its transforms dominate), a few tenths of a second for the spreading.
constexpr double kSecondsPerVisit = 2.0e-9;
constexpr double kSecondsPerGridCell = 1.5e-8;
constexpr double kSecondsPerSpreadFix = 4e-7;
constexpr double kSecondsPerModeSum = 1.5e-9;
// Radii tried, from the one at which the near pairs serve only beta_max, by this factor.
constexpr double kRadiusStep = 1.41421356;
constexpr int kMaxRadii = 24;
// The histogram's own sums, stated with margin: 1e-13 of the positive parts.
constexpr double kHistogramRelative = 1e-13;

// The smallest x >= 2 with (x^2 + 4 x + 2) e^{-x} <= c.
double far_argument(double c) {
  double x = std::max(2.0, -std::log(c));
  for (int i = 0; i < 60; ++i) x = std::max(2.0, -std::log(c) + std::log(x * x + 4.0 * x + 2.0));
  return x;
}

// Modelled seconds of a spectrum: its grid, and spreading each distinct position.
double spectrum_cost(const GaussianSpectrum::Plan& plan, double distinct) {
  return kSecondsPerGridCell * static_cast<double>(plan.nx) * static_cast<double>(plan.ny) +
         kSecondsPerSpreadFix * distinct;
}

// The radius of the near pairs (0: spectrum only), the spectrum's plan when it serves any beta,
// and the near part's modelled seconds (for progress, when `with_progress`).
struct SplitChoice {
  double radius = 0.0;
  std::optional<GaussianSpectrum::Plan> plan;
  double near_seconds = 0.0;
};

// The cheapest split by the cost model, or the one `options.radius` forces; nullopt when none
// beats the plain histogram. ux, uy: the distinct positions of x, y.
std::optional<SplitChoice> choose_split(std::span<const double> x, std::span<const double> y,
                                        std::span<const double> ux, std::span<const double> uy,
                                        double beta_min, double beta_max, const SplitOptions& options,
                                        double xf, bool with_progress) {
  const double evaluations = static_cast<double>(options.evaluations);
  const double distinct = static_cast<double>(ux.size());
  const double n = static_cast<double>(x.size());
  auto near_cost = [&](double radius) {
    return kSecondsPerVisit * static_cast<double>(near_pair_visits(ux, uy, radius));
  };

  // Radius 0 stands for "spectrum only"; the largest radius serves every beta from the pairs.
  double best_cost = options.force ? std::numeric_limits<double>::infinity()
                                   : kHistogramSecondsPerPair * n * (n - 1.0) / 2.0;
  std::optional<double> best_radius;
  std::optional<GaussianSpectrum::Plan> best_plan;
  double best_near_cost = 0.0;
  const double r_first = std::sqrt(xf / beta_max);
  const double r_last = std::sqrt(xf / beta_min);
  for (int i = -1; i < kMaxRadii && !(options.radius > 0.0); ++i) {
    const double radius = i < 0 ? 0.0 : std::min(r_last, r_first * std::pow(kRadiusStep, i));
    const double split = radius > 0.0 ? xf / (radius * radius) : std::numeric_limits<double>::infinity();
    double cost = 0.0;
    std::optional<GaussianSpectrum::Plan> plan;
    if (split > beta_min) {
      plan = GaussianSpectrum::plan(x, y, beta_min, std::min(split, beta_max), options.eps);
      if (!plan || plan->bytes() > options.max_bytes) continue;
      cost += spectrum_cost(*plan, distinct) + kSecondsPerModeSum * evaluations *
                                                   static_cast<double>(plan->kx + 1) *
                                                   static_cast<double>(plan->ky + 1);
    }
    if (cost >= best_cost) continue;
    const double visits = radius > 0.0 ? near_cost(radius) : 0.0;
    if (cost + visits < best_cost) {
      best_cost = cost + visits;
      best_radius = radius;
      best_plan = plan;
      best_near_cost = visits;
    }
    if (visits >= best_cost || radius >= r_last) break;  // the visits only grow with the radius
  }
  if (options.radius > 0.0) {
    best_radius = options.radius;
    best_plan.reset();
    if (xf / (options.radius * options.radius) > beta_min) {
      best_plan = GaussianSpectrum::plan(
          x, y, beta_min, std::min(xf / (options.radius * options.radius), beta_max), options.eps);
      if (!best_plan) return std::nullopt;
    }
    best_near_cost = with_progress ? near_cost(options.radius) : 0.0;
  }
  if (!best_radius) return std::nullopt;
  return SplitChoice{*best_radius, best_plan, best_near_cost};
}

}  // namespace

std::optional<SplitGaussianSums> SplitGaussianSums::build(std::span<const double> x,
                                                          std::span<const double> y, double beta_min,
                                                          double beta_max, const SplitOptions& options,
                                                          const ProgressCallback& progress) {
  if (x.size() < 2 || !(beta_min > 0.0) || !(beta_max >= beta_min) || !std::isfinite(beta_max)) {
    return std::nullopt;
  }
  const double n = static_cast<double>(x.size());
  const double xf = far_argument(options.eps / n);
  // Repeated positions once each, with their counts: the cell list's visits and the spreading
  // count distinct positions, every bound still the n fixes'.
  const std::optional<WeightedFixes> grouped = group_repeated_positions(x, y);
  const std::span<const double> ux = grouped ? std::span<const double>(grouped->x) : x;
  const std::span<const double> uy = grouped ? std::span<const double>(grouped->y) : y;
  const std::optional<SplitChoice> choice =
      choose_split(x, y, ux, uy, beta_min, beta_max, options, xf, static_cast<bool>(progress));
  if (!choice) return std::nullopt;
  const double best_radius = choice->radius;
  const std::optional<GaussianSpectrum::Plan>& best_plan = choice->plan;
  const double best_near_cost = choice->near_seconds;
  const double distinct = static_cast<double>(ux.size());

  SplitGaussianSums s;
  s.n_ = n;
  s.far_argument_ = xf;
  s.split_beta_ =
      best_radius > 0.0 ? xf / (best_radius * best_radius) : std::numeric_limits<double>::infinity();
  const bool with_near = s.split_beta_ <= beta_max;
  // The progress reported runs from 0 to 1 over both parts, each in proportion to its modelled cost.
  const double spectrum_seconds = best_plan ? spectrum_cost(*best_plan, distinct) : 0.0;
  const double near_share = !best_plan ? 1.0
                            : !with_near
                                ? 0.0
                                : best_near_cost / std::max(best_near_cost + spectrum_seconds, 1e-300);
  auto part_progress = [&](double from, double share) -> ProgressCallback {
    if (!progress) return {};
    return [&progress, from, share](double fraction) { return progress(from + share * fraction); };
  };
  if (with_near) {
    const double beta_low = std::max(beta_min, s.split_beta_);
    const ProgressCallback near_progress = part_progress(0.0, near_share);
    s.near_ = grouped ? build_near_pair_moments(*grouped, best_radius, beta_low, beta_max, options.threads,
                                                near_progress)
                      : build_near_pair_moments(x, y, best_radius, beta_low, beta_max, options.threads,
                                                near_progress);
    if (!s.near_) return std::nullopt;
  }
  if (best_plan) {
    s.spectrum_ = GaussianSpectrum::build(
        ux, uy, *best_plan, options.threads, part_progress(near_share, 1.0 - near_share),
        grouped ? std::span<const double>(grouped->weights) : std::span<const double>());
    if (!s.spectrum_) return std::nullopt;
  }
  return s;
}

OrderedGaussianSums SplitGaussianSums::sums(double beta) const {
  if (beta < split_beta_ && spectrum_) return spectrum_->sums(beta);
  const auto g = near_->gaussian_sums(beta);
  OrderedGaussianSums s;
  s.s0 = n_ + 2.0 * g[0];
  s.bcv = 8.0 * n_ + 2.0 * (4.0 * g[2] - 16.0 * g[1] + 8.0 * g[0]);
  // Far pairs (at most n^2 / 2 of them; doubled for the ordered sums) and the histogram.
  const double far = n_ * n_ * std::exp(-far_argument_);
  const double xf = far_argument_;
  s.s0_error = far + kHistogramRelative * s.s0;
  s.bcv_error = 4.0 * (xf * xf + 4.0 * xf + 2.0) * far +
                kHistogramRelative * (8.0 * n_ + 2.0 * (4.0 * g[2] + 16.0 * g[1] + 8.0 * g[0]));
  return s;
}

}  // namespace orvex::numeric
