#pragma once
// The time integral along one Brownian bridge, as a weighted sum of Gaussians.
//
// The animal's position at fraction a of an interval of length T between fixes z0 and z1 is
// normal with mean z0 + a (z1 - z0) and variance
//   v(a) = T a (1 - a) s1^2 + (1 - a)^2 e0^2 + a^2 e1^2,
// e0 and e1 the location errors of the two fixes. The bridge's density at a point p is
// ∫0..1 N(p; mean(a), v(a)) da, and this header replaces the integral by sum_k w_k N(p;
// mean(a_k), v(a_k)) with nodes and weights that do not depend on p.
//
// Quadrature: [0, 1] is halved, and its halves halved, until on every piece
//   (1) the mean moves at most kMeanStep = 2 standard deviations, and
//   (2) written in the piece's own variable t in [-1, 1] as v = v_m + g t + h t^2, the variance
//       has |g| R + |h| R^2 <= v_m / 2, R = 5/3 the half-width of the Bernstein ellipse of
//       parameter 3,
// and each piece takes the kGaussOrder = 8 point Gauss-Legendre rule. The pieces shrink
// geometrically towards a fix whose location error is small beside the bridge's spread, and
// number about |z1 - z0| / (2 sqrt(v)) along a step long beside the spread.
//
// Error: by (2) the variance keeps a real part of at least v_m / 2 and an argument within 45
// degrees inside the ellipse, so a piece's integrand is analytic there, bounded by some M of the
// order of its largest density, and the rule's error on the piece is at most
// (64/15) M 3^-16 / 8 < 1.3e-8 M times half the piece's width (Trefethen, Approximation Theory
// and Approximation Practice, th. 19.3). The bound is loose: over 300 random bridges (spreads
// 1/50 to 50 location errors, steps up to 25 spreads) at 12,000 points, the largest error
// measured against a fixed mesh some 100 times finer was 3.4e-13 of the bridge's largest
// density 1 / (2 pi min v); tests/range holds it to 1e-12.
//
// s1 = 0 is allowed (the mean still moves; the variance comes from the location errors alone).
// The location errors must be positive: with a zero error the density at the fix itself is
// infinite.

#include <cstddef>
#include <vector>

namespace orvex::range {

inline constexpr std::size_t kGaussOrder = 8;
inline constexpr double kMeanStep = 2.0;

/// One bridge: its two fixes, its length in seconds and the diffusion and location errors.
struct BridgeSegment {
  double x0 = 0.0;
  double y0 = 0.0;
  double x1 = 0.0;
  double y1 = 0.0;
  double duration = 0.0;  ///< T > 0, seconds
  double sigma1 = 0.0;    ///< map units per square root of a second, >= 0
  double error0 = 0.0;    ///< location error of the first fix, > 0
  double error1 = 0.0;    ///< location error of the second fix, > 0

  /// v(a) of the header.
  [[nodiscard]] double variance(double a) const;
};

/// One node of a bridge's rule: the fraction of the interval, its weight (the weights of a
/// bridge sum to 1 up to rounding) and the variance there.
struct BridgeNode {
  double a = 0.0;
  double weight = 0.0;
  double variance = 0.0;
};

/// Appends the nodes of `segment`'s rule to `nodes`, pieces in increasing a. Arguments are
/// taken as stated above (check_track ensures them for a track); a piece narrower than 2^-50
/// is not halved further, which only a step of some 10^15 location errors would need.
void append_bridge_nodes(const BridgeSegment& segment, std::vector<BridgeNode>& nodes);

/// The n-point Gauss-Legendre rule on [0, 1] (n >= 1): nodes in increasing order and weights
/// summing to 1, each within a few ulps (Newton's iteration on the Legendre polynomial).
struct GaussRule {
  std::vector<double> nodes;
  std::vector<double> weights;
};
GaussRule gauss_legendre(std::size_t n);

}  // namespace orvex::range
