// Setting h: directly, in proportion to href, or by least-squares or biased cross-validation.

#include "core/engine/bandwidth_search.h"

#include <cmath>
#include <limits>
#include <new>
#include <vector>

#include "core/engine/cv_scores.h"
#include "core/engine/kernel_engine.h"
#include "core/engine/kernel_math.h"

namespace orvex::core {

namespace {

constexpr std::int32_t kLscvMinFixes = 2;
// M2 divides by (n - 1)(n - 2).
constexpr std::int32_t kBcv2MinFixes = 3;

struct Coordinates {
  std::vector<double> x;
  std::vector<double> y;
};

// The histogram of pair distances pays off against the ~10 exact evaluations of a search once
// the pairs are this many (below, clearing and reading its bins weighs).
constexpr double kMinPairsForMoments = 20'000;
// A search whose comparisons came too close for the bounds is run again on exact scores only
// while that costs at most this many pair terms (about 40 evaluations of 5e8 pairs, a minute);
// beyond, the bounded search's end is kept (its scores are within about 1e-12 of the exact).
constexpr double kMaxExactSearchPairs = 5e8;

double lscv_from_sum(double S, double n, double h2) {
  return 1.0 / (kPi * n * h2) + S / (4.0 * kPi * n * n * h2);
}

double bcv2_from_sum(double S, double n, double h2) {
  return 1.0 / (4.0 * kPi * (n - 1.0) * h2) + S / (8.0 * kPi * (n - 1.0) * (n - 2.0) * h2);
}

// A score from the distance moments with a bound on its error. Comparing two of them notes
// whether the bounds overlap: the search's path is then not certainly the exact one's.
struct BoundedScore {
  double value;
  double error;
  bool* too_close;

  bool clear_of(const BoundedScore& other) const {
    return std::fabs(value - other.value) > error + other.error || !std::isfinite(value - other.value);
  }
  friend bool operator<(const BoundedScore& a, const BoundedScore& b) {
    if (!a.clear_of(b)) *a.too_close = true;
    return a.value < b.value;
  }
  friend bool operator>(const BoundedScore& a, const BoundedScore& b) { return b < a; }
  operator double() const { return value; }  // NOLINT: the search keeps the value
};

Coordinates working_coordinates(std::span<const FixRecord> fixes) {
  Coordinates c;
  c.x.reserve(fixes.size());
  c.y.reserve(fixes.size());
  for (const auto& f : fixes) {
    c.x.push_back(f.x);
    c.y.push_back(f.y);
  }
  return c;
}

}  // namespace

void KernelEngine::mark_h_set() {
  h_set_ = true;
  ud_made_ = false;
}

double KernelEngine::seth(double h) {
  h_ = h;
  if (href_valid_) log_.print("seth: h/href: %f\n", {h_ / href_});
  mark_h_set();
  return h_;
}

double KernelEngine::set_h_proportional(double f) {
  if (!href_valid_) gethref();
  h_ = f * href_;
  log_.print("seth: h/href: %f\n", {h_ / href_});
  mark_h_set();
  return h_;
}

std::int32_t KernelEngine::set_search_range(double lower, double upper, double tolerance) {
  if (!href_valid_) gethref();
  lower_bound_ = lower * href_;
  upper_bound_ = upper * href_;
  tolerance_ = tolerance;
  return 1;
}

double KernelEngine::lscv_score(double h) const {
  if (!(h > 0.0) || fix_count_ < 1) return std::numeric_limits<double>::quiet_NaN();
  try {
    const Coordinates c = working_coordinates(Trackingdata());
    const double n = static_cast<double>(fix_count_);
    const double S = lscv_pair_sum(c.x, c.y, h, worker_threads_);
    return lscv_from_sum(S, n, std::pow(h, 2));
  } catch (const std::bad_alloc&) {
    return std::numeric_limits<double>::quiet_NaN();
  }
}

double KernelEngine::bcv2_score(double h) const {
  if (!(h > 0.0) || fix_count_ < kBcv2MinFixes) return std::numeric_limits<double>::quiet_NaN();
  try {
    const Coordinates c = working_coordinates(Trackingdata());
    const double n = static_cast<double>(fix_count_);
    const double S = 2.0 * bcv2_pair_sum(c.x, c.y, h, worker_threads_);
    return bcv2_from_sum(S, n, std::pow(h, 2));
  } catch (const std::bad_alloc&) {
    return std::numeric_limits<double>::quiet_NaN();
  }
}

double KernelEngine::Golden(double a, double b, double c, double tolerance, double& xmin) const {
  return golden_search(false, a, b, c, tolerance, xmin);
}

double KernelEngine::GoldenBCV2(double a, double b, double c, double tolerance, double& xmin) const {
  return golden_search(true, a, b, c, tolerance, xmin);
}

double KernelEngine::golden_search(bool bcv2, double a, double b, double c, double tolerance,
                                   double& xmin) const {
  // Large sets: every score of the search from one histogram of the pair distances. When no
  // comparison of the search came within the scores' error bounds, every step went the way the
  // exact scores would have sent it, so xmin is the exact search's; otherwise the search is run
  // again on exact scores.
  const double n = static_cast<double>(fix_count_);
  const double low = std::fmin(a, c);
  const double high = std::fmax(a, c);
  if (n * (n - 1.0) / 2.0 >= kMinPairsForMoments && low > 0.0 && std::isfinite(high) &&
      fix_count_ >= (bcv2 ? kBcv2MinFixes : kLscvMinFixes)) {
    try {
      const Coordinates co = working_coordinates(Trackingdata());
      const auto sums = CvMomentSums::build(
          co.x, co.y, low, high, worker_threads_,
          exact_pair_sums_ ? CvMomentSums::Path::histogram : CvMomentSums::Path::cheapest);
      if (sums) {
        bool too_close = false;
        const GoldenResult r = golden_section(a, b, c, tolerance, [&](double h) {
          const double h2 = std::pow(h, 2);
          if (bcv2) {
            const numeric::PairSumEstimate e = sums->bcv2(h);
            const double value = bcv2_from_sum(2.0 * e.sum, n, h2);
            return BoundedScore{value, std::fabs(bcv2_from_sum(2.0 * (e.sum + e.error), n, h2) - value),
                                &too_close};
          }
          const numeric::PairSumEstimate e = sums->lscv(h);
          const double value = lscv_from_sum(e.sum, n, h2);
          return BoundedScore{value, std::fabs(lscv_from_sum(e.sum + e.error, n, h2) - value), &too_close};
        });
        if (!too_close || (!exact_pair_sums_ && n * (n - 1.0) / 2.0 > kMaxExactSearchPairs)) {
          xmin = r.xmin;
          return r.fmin;
        }
      }
    } catch (const std::bad_alloc&) {
      // The exact search below needs no histogram.
    }
  }
  const GoldenResult r =
      golden_section(a, b, c, tolerance, [&](double h) { return bcv2 ? bcv2_score(h) : lscv_score(h); });
  xmin = r.xmin;
  return r.fmin;
}

std::int32_t KernelEngine::CrossValidation() { return run_search(false); }

std::int32_t KernelEngine::CrossValidationBCV2() { return run_search(true); }

std::int32_t KernelEngine::run_search(bool bcv2) {
  log_.write(bcv2 ? "Searching for BCV2 cross validation choice of h\n"
                  : "Searching for cross validation choice of h\n");
  log_.print("between %7.3f and %7.3f\n", {lower_bound_, upper_bound_});
  const std::int32_t needed = bcv2 ? kBcv2MinFixes : kLscvMinFixes;
  if (fix_count_ < needed) {
    warning(format_log_text("The search needs at least %d fixes; h is left unchanged", {needed}));
    return 0;
  }
  // A score at h <= 0 divides by zero; href = 0 (no spread) gives exactly such a bracket.
  if (!(lower_bound_ > 0.0) || !(upper_bound_ >= lower_bound_) || !std::isfinite(upper_bound_)) {
    warning("The search bracket is not 0 < lower <= upper; h is left unchanged");
    return 0;
  }
  double xmin = 0.0;
  const double middle = (lower_bound_ + upper_bound_) / 2.0;
  if (bcv2) {
    GoldenBCV2(lower_bound_, middle, upper_bound_, tolerance_, xmin);
  } else {
    Golden(lower_bound_, middle, upper_bound_, tolerance_, xmin);
  }
  h_ = xmin;
  log_.print("Optimal choice is hmean=%6.3f\n", {h_});
  if (href_valid_) log_.print("h/href: %f\n", {h_ / href_});
  mark_h_set();
  return 0;
}

}  // namespace orvex::core
