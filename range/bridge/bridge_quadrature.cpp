#include "range/bridge/bridge_quadrature.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <utility>

namespace orvex::range {

namespace {

// Pieces narrower than this are taken as they are (see the header).
constexpr double kNarrowestPiece = 0x1p-50;

// Half-width, in the piece's own variable t in [-1, 1], of the Bernstein ellipse of parameter 3:
// (3 + 1/3) / 2.
constexpr double kEllipseReach = 5.0 / 3.0;

// The piece [a0, a1] is fine when the mean moves at most kMeanStep standard deviations over it
// and, written as v(t) = v_m + g t + h t^2 on t in [-1, 1], |g| R + |h| R^2 <= v_m / 2 with R =
// kEllipseReach: then inside the ellipse v keeps a real part of at least v_m / 2 and an
// argument within 45 degrees, so the density has no singularity there and its exponential
// factor stays at most 1 in size.
bool piece_is_fine(const BridgeSegment& s, double step, double a0, double a1) {
  const double half = 0.5 * (a1 - a0);
  const double mid = a0 + half;
  const double t_s1 = s.duration * s.sigma1 * s.sigma1;
  const double e0 = s.error0 * s.error0;
  const double e1 = s.error1 * s.error1;
  const double curvature = e0 + e1 - t_s1;  // v = curvature a^2 + (t_s1 - 2 e0) a + e0
  const double v_m = s.variance(mid);
  const double g = (2.0 * curvature * mid + t_s1 - 2.0 * e0) * half;
  const double h = curvature * half * half;
  if (std::abs(g) * kEllipseReach + std::abs(h) * kEllipseReach * kEllipseReach > 0.5 * v_m) return false;
  // On the piece itself |g| + |h| <= 0.3 v_m, so sqrt(v_m / 2) is below its least standard deviation.
  return step * (a1 - a0) <= kMeanStep * std::sqrt(0.5 * v_m);
}

// Legendre polynomial P_n(x) and its derivative, by the three-term recurrence.
std::pair<double, double> legendre(std::size_t n, double x) {
  double p0 = 1.0;
  double p1 = x;
  for (std::size_t k = 2; k <= n; ++k) {
    const double kk = static_cast<double>(k);
    const double p2 = ((2.0 * kk - 1.0) * x * p1 - (kk - 1.0) * p0) / kk;
    p0 = p1;
    p1 = p2;
  }
  const double nn = static_cast<double>(n);
  const double derivative = nn * (x * p1 - p0) / (x * x - 1.0);
  return {n == 0 ? 1.0 : p1, derivative};
}

}  // namespace

double BridgeSegment::variance(double a) const {
  const double b = 1.0 - a;
  return duration * a * b * sigma1 * sigma1 + b * b * error0 * error0 + a * a * error1 * error1;
}

GaussRule gauss_legendre(std::size_t n) {
  GaussRule rule;
  rule.nodes.resize(n);
  rule.weights.resize(n);
  const double nn = static_cast<double>(n);
  for (std::size_t i = 0; i < (n + 1) / 2; ++i) {
    // Root i of P_n on [-1, 1], from the largest down (Tricomi's first guess), then Newton.
    double x = std::cos(std::numbers::pi * (static_cast<double>(i) + 0.75) / (nn + 0.5));
    double derivative = 1.0;
    for (int iteration = 0; iteration < 100; ++iteration) {
      const auto [p, dp] = legendre(n, x);
      const double dx = p / dp;
      x -= dx;
      derivative = dp;
      if (std::abs(dx) <= 1e-16) {
        derivative = legendre(n, x).second;
        break;
      }
    }
    const double w = 2.0 / ((1.0 - x * x) * derivative * derivative);
    // On [0, 1]: node (1 + x) / 2, weight w / 2; mirror images share the weight.
    rule.nodes[n - 1 - i] = 0.5 + 0.5 * x;
    rule.nodes[i] = 0.5 - 0.5 * x;
    rule.weights[n - 1 - i] = 0.5 * w;
    rule.weights[i] = 0.5 * w;
  }
  if (n % 2 == 1) rule.nodes[n / 2] = 0.5;
  return rule;
}

void append_bridge_nodes(const BridgeSegment& segment, std::vector<BridgeNode>& nodes) {
  static const GaussRule kRule = gauss_legendre(kGaussOrder);
  const double step = std::hypot(segment.x1 - segment.x0, segment.y1 - segment.y0);
  // Depth first, left half first, so that the pieces come out in increasing a.
  std::vector<std::pair<double, double>> pending{{0.0, 1.0}};
  while (!pending.empty()) {
    const auto [a0, a1] = pending.back();
    pending.pop_back();
    if (a1 - a0 > kNarrowestPiece && !piece_is_fine(segment, step, a0, a1)) {
      const double middle = 0.5 * (a0 + a1);
      pending.emplace_back(middle, a1);
      pending.emplace_back(a0, middle);
      continue;
    }
    const double width = a1 - a0;
    for (std::size_t k = 0; k < kGaussOrder; ++k) {
      const double a = a0 + width * kRule.nodes[k];
      nodes.push_back({a, width * kRule.weights[k], segment.variance(a)});
    }
  }
}

}  // namespace orvex::range
