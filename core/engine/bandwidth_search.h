#pragma once
// Golden-section minimisation, as the bandwidth searches use it.

#include <cmath>

namespace orvex::core {

/// The golden-section constants, as written (C is not derived from R).
inline constexpr double kGoldenR = 0.61803399;
inline constexpr double kGoldenC = 0.38196601;
/// Steps after which a search stops whatever its tolerance: 0.618^200 shrinks any bracket far
/// below double resolution, so only a tolerance of 0 or less ever reaches it.
inline constexpr int kMaxGoldenSteps = 200;

struct GoldenResult {
  double xmin = 0.0;
  double fmin = 0.0;
  // The final bracket x0 < x1 < x2 < x3 (in that order when a < b < c).
  double x0 = 0.0;
  double x1 = 0.0;
  double x2 = 0.0;
  double x3 = 0.0;
  int evaluations = 0;
};

/// Minimises score over the bracket a < b < c until |x3 - x0| <= tolerance * (|x1| + |x2|).
/// Ties go to the lower interior point while narrowing and to x2 at the end, so a constant
/// score returns the second interior point of the final bracket. A NaN tolerance stops at
/// once; a tolerance of 0 or less stops after kMaxGoldenSteps. `score` may return any type
/// that compares with < and > and converts to double (a score with an error bound that notes
/// comparisons too close to call).
template <class Score>
GoldenResult golden_section(double a, double b, double c, double tolerance, Score&& score) {
  GoldenResult r;
  r.x0 = a;
  r.x3 = c;
  if (std::fabs(b - a) > std::fabs(c - b)) {
    r.x2 = b;
    r.x1 = b - kGoldenC * (b - a);
  } else {
    r.x1 = b;
    r.x2 = b + kGoldenC * (c - b);
  }
  auto f1 = score(r.x1);
  auto f2 = score(r.x2);
  r.evaluations = 2;
  for (int step = 0;
       step < kMaxGoldenSteps && std::fabs(r.x3 - r.x0) > tolerance * (std::fabs(r.x1) + std::fabs(r.x2));
       ++step) {
    if (!(f2 < f1)) {
      r.x3 = r.x2;
      r.x2 = r.x1;
      r.x1 = kGoldenR * r.x1 + kGoldenC * r.x0;
      f2 = f1;
      f1 = score(r.x1);
    } else {
      r.x0 = r.x1;
      r.x1 = r.x2;
      r.x2 = kGoldenR * r.x2 + kGoldenC * r.x3;
      f1 = f2;
      f2 = score(r.x2);
    }
    ++r.evaluations;
  }
  if (!(f2 > f1)) {
    r.xmin = r.x2;
    r.fmin = f2;
  } else {
    r.xmin = r.x1;
    r.fmin = f1;
  }
  return r;
}

}  // namespace orvex::core
