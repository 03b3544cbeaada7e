#include "range_test_support.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

namespace orvex::range::test {

namespace {

double normal_at(const BridgeSegment& s, double a, double v, double px, double py) {
  const double dx = px - (s.x0 + a * (s.x1 - s.x0));
  const double dy = py - (s.y0 + a * (s.y1 - s.y0));
  return std::exp(-(dx * dx + dy * dy) / (2.0 * v)) / (2.0 * std::numbers::pi * v);
}

}  // namespace

double bridge_density(const BridgeSegment& segment, double px, double py) {
  std::vector<BridgeNode> nodes;
  append_bridge_nodes(segment, nodes);
  double sum = 0.0;
  for (const BridgeNode& node : nodes) sum += node.weight * normal_at(segment, node.a, node.variance, px, py);
  return sum;
}

double distance_to_segment(const BridgeSegment& s, double px, double py) {
  const double dx = s.x1 - s.x0;
  const double dy = s.y1 - s.y0;
  const double length2 = dx * dx + dy * dy;
  const double a =
      length2 > 0.0 ? std::clamp(((px - s.x0) * dx + (py - s.y0) * dy) / length2, 0.0, 1.0) : 0.0;
  return std::hypot(px - (s.x0 + a * dx), py - (s.y0 + a * dy));
}

double reference_bridge_density(const BridgeSegment& segment, double px, double py) {
  static const GaussRule rule = gauss_legendre(10);
  constexpr int kLevels = 48;
  constexpr int kParts = 64;
  auto piece = [&](double a0, double a1) {
    double sum = 0.0;
    const double h = (a1 - a0) / kParts;
    for (int p = 0; p < kParts; ++p) {
      for (std::size_t k = 0; k < rule.nodes.size(); ++k) {
        const double a = a0 + h * (p + rule.nodes[k]);
        sum += h * rule.weights[k] * normal_at(segment, a, segment.variance(a), px, py);
      }
    }
    return sum;
  };
  const double end = std::ldexp(1.0, -kLevels - 1);
  double sum = piece(0.0, end) + piece(1.0 - end, 1.0);
  for (int level = 1; level <= kLevels; ++level) {
    const double lo = std::ldexp(1.0, -level - 1);
    const double hi = std::ldexp(1.0, -level);
    sum += piece(lo, hi) + piece(1.0 - hi, 1.0 - lo);
  }
  return sum;
}

}  // namespace orvex::range::test
