#pragma once
// Independent evaluations of a bridge's density for the tests: the library's own nodes summed
// at one point, and a fixed mesh far finer than the library's rule.

#include "range/bridge/bridge_quadrature.h"

namespace orvex::range::test {

/// sum over append_bridge_nodes of weight x the normal density at (px, py).
double bridge_density(const BridgeSegment& segment, double px, double py);

/// The same integral on a fixed mesh: 48 pieces halving towards each end from a = 1/2 down to
/// 2^-48, each cut into 64 equal parts with the 10-point Gauss-Legendre rule (61,440 nodes),
/// accurate to below 1e-14 of the largest density for steps up to some 30 bridge spreads.
double reference_bridge_density(const BridgeSegment& segment, double px, double py);

/// Distance from (px, py) to the segment between the bridge's fixes.
double distance_to_segment(const BridgeSegment& segment, double px, double py);

}  // namespace orvex::range::test
