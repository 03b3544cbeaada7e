#include "range/bridge/bridge_quadrature.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

#include "range_test_support.h"

namespace {

using orvex::range::BridgeSegment;
using orvex::range::gauss_legendre;
using orvex::range::test::bridge_density;
using orvex::range::test::reference_bridge_density;

TEST(GaussLegendre, IntegratesPolynomialsUpToItsDegreeExactly) {
  for (const std::size_t n : {1U, 2U, 5U, 10U, 16U}) {
    const auto rule = gauss_legendre(n);
    ASSERT_TRUE(std::is_sorted(rule.nodes.begin(), rule.nodes.end())) << n;
    for (std::size_t k = 0; k < 2 * n; ++k) {
      double sum = 0.0;
      for (std::size_t i = 0; i < n; ++i)
        sum += rule.weights[i] * std::pow(rule.nodes[i], static_cast<double>(k));
      // ∫0..1 a^k da = 1 / (k + 1), exact for k < 2n; 1e-14 covers the rounding of n terms.
      EXPECT_NEAR(sum, 1.0 / static_cast<double>(k + 1), 1e-14) << "n " << n << " degree " << k;
    }
  }
}

// Bridges from stationary to long steps, with even, uneven and tiny location errors: the rule
// against a fixed, far finer mesh (range_test_support.h) at points along and across the
// bridge. Tolerance: 1e-12 of the bridge's largest density 1 / (2 pi min v), the header's
// measured bound.
TEST(BridgeQuadrature, MatchesAFarFinerRuleAlongAndAcrossTheBridge) {
  struct Case {
    double step, duration, sigma1, error0, error1;
  };
  const Case cases[] = {
      {0.0, 3600.0, 1.0, 10.0, 10.0}, {100.0, 3600.0, 1.0, 10.0, 10.0}, {600.0, 3600.0, 1.0, 10.0, 10.0},
      {300.0, 600.0, 2.0, 5.0, 30.0}, {50.0, 60.0, 0.1, 1.0, 1.0},      {400.0, 1800.0, 0.0, 20.0, 20.0},
      {200.0, 7200.0, 3.0, 0.5, 0.5}, {1000.0, 900.0, 0.5, 40.0, 15.0},
  };
  for (const Case& c : cases) {
    const BridgeSegment s{0.0, 0.0, c.step * 0.8, c.step * 0.6, c.duration, c.sigma1, c.error0, c.error1};
    double min_v = std::min(s.variance(0.0), s.variance(1.0));
    for (int k = 1; k < 100; ++k) min_v = std::min(min_v, s.variance(k / 100.0));
    const double peak = 1.0 / (2.0 * std::numbers::pi * min_v);
    const double spread = std::sqrt(s.variance(0.5));
    for (double along = -0.25; along <= 1.25; along += 0.125) {
      for (const double across : {0.0, 0.3, 1.0, 3.0}) {
        const double px = along * s.x1 - across * spread * 0.6;
        const double py = along * s.y1 + across * spread * 0.8;
        EXPECT_NEAR(bridge_density(s, px, py), reference_bridge_density(s, px, py), 1e-12 * peak)
            << "step " << c.step << " at " << along << ", " << across;
      }
    }
  }
}

TEST(BridgeQuadrature, MatchesClosedFormsOfABridgeThatStaysPut) {
  // s1 = 0 and both fixes at one place: v = e^2 ((1 - a)^2 + a^2), and at the fix
  // ∫0..1 da / (2 pi v) = (1 / (2 pi e^2)) (pi / 2) = 1 / (4 e^2).
  const BridgeSegment still{5.0, 5.0, 5.0, 5.0, 100.0, 0.0, 2.0, 2.0};
  EXPECT_NEAR(bridge_density(still, 5.0, 5.0), 1.0 / 16.0, 1e-15);  // rounding of ~100 terms

  // Location error tiny beside T s1^2 = 1: with a = 1 / (1 + e^-u), ∫0..1 e^{-c / (a (1 - a))} da /
  // (a (1 - a)) = 2 e^{-2c} K0(2c), so the density at distance r is e^{-2c} K0(2c) / (pi T s1^2),
  // c = r^2 / (2 T s1^2). The error of 1e-6 changes it by about 1e-12 relative; 1e-9 relative
  // covers that and the rule's error.
  const BridgeSegment diffusing{0.0, 0.0, 0.0, 0.0, 4.0, 0.5, 1e-6, 1e-6};
  for (const double r : {0.05, 0.2, 0.5, 1.0, 2.0, 3.0}) {
    const double c = r * r / 2.0;
    const double expected = std::exp(-2.0 * c) * std::cyl_bessel_k(0.0, 2.0 * c) / std::numbers::pi;
    EXPECT_NEAR(bridge_density(diffusing, r, 0.0), expected, 1e-9 * expected) << "r " << r;
  }
}

}  // namespace
