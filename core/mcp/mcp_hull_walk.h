#pragma once

// The gift-wrapping walk behind MCP_Poly, exposed to the "Area Added" selection, which replays it
// on candidate subsets and needs to know what each step compared.

#include <cmath>
#include <cstddef>
#include <optional>
#include <span>
#include <vector>

#include "core/mcp/mcp_polygon.h"

namespace orvex::core::mcp_detail {

/// The angle of the direction (dx, dy) as atan2 gives it, with either sign of a zero component
/// read as +0: a coordinate of -0.0 less one of +0.0 gives -0.0, and atan2(-0, -1) is -pi where
/// atan2(+0, -1) is pi, which would make a turn hang on how a zero was written. Every angle the
/// walk and its replays compare comes from here. atan2(0, 0) is 0: due east.
inline double directionAngle(double dx, double dy) { return std::atan2(dy + 0.0, dx + 0.0); }

/// Turns closer than this (degrees) to a full circle are rounding of a zero turn: a fix straight
/// ahead whose direction came out a hair clockwise of the reference. They count as no turn.
inline constexpr double kFullTurnSnapDegrees = 1e-9;

/// Anticlockwise turn in [0, 360) degrees from the reference direction (its angle in radians, as
/// atan2 returned it) to the direction `from`->`candidate`; a zero-length direction counts as
/// due east.
double turnDegreesFrom(double referenceAngle, McpPoint from, McpPoint candidate);

/// One step of the walk: from `current`, with the reference direction (refDx, refDy) as it was
/// evaluated, the fix at `chosen` won with turn `turn`.
struct HullStep {
  McpPoint current;
  double refDx = 0.0;
  double refDy = 0.0;
  std::size_t chosen = 0;
  double turn = 0.0;
};

struct HullWalk {
  /// Positions (into the walked span) of the vertices in anticlockwise order, the start first.
  std::vector<std::size_t> ring;
  /// True when the last step came back to the start; false when the set ran out first (fewer
  /// than two fixes, every fix on the start's position, or non-finite coordinates).
  bool closed = false;
  std::vector<HullStep> steps;  ///< filled only when asked for
  /// Bounding box of the walked fixes (xmin, ymin, xmax); unset for an empty set.
  double xmin = 0.0, ymin = 0.0, xmax = 0.0;
  /// How many fixes the steps compared: all of them, or those the band kept.
  std::size_t compared = 0;
};

/// Walks the hull of `fixes` without changing them, comparing every fix left at every step:
/// one atan2 per fix per step.
HullWalk walkHullExhaustive(std::span<const McpPoint> fixes, bool recordSteps);

/// Sets smaller than this are walked exhaustively: the filter would not pay for itself.
inline constexpr std::size_t kHullFilterFrom = 256;

/// The same walk as walkHullExhaustive, field for field, in O(n log n) for the hull and the band
/// plus one atan2 per kept fix per step: the steps compare only the fixes near the hull's boundary
/// (on an even disc of 10^6 fixes, a few hundred).
///
/// The filter. H is a convex hull by Andrew's monotone chain over the fixes outside the polygon of
/// the extremes in eight directions, keeping a vertex only where the orientation's sign is certain
/// (|l - r| > 2^-50 (|l| + |r|) + 2^-1000 for the two products, above the 4u (|l| + |r|) the
/// differences and products can err, and what an underflow loses). So H is a convex polygon,
/// anticlockwise, whose vertices are fixes; a true hull vertex lost to rounding only makes H a
/// little smaller, which nothing below needs to exclude (under three vertices: no filter). The band
/// is w = 2^-26 times the larger side of the bounding box. A fix is left out when its computed
/// depth inside every edge line of H exceeds w; the depth errs by a few u times that side, so the
/// disc of radius w/2 round a left-out fix lies inside H. The start and every fix near or outside
/// an edge are kept, in set order.
///
/// Why a left-out fix can never win a step. At a step from P with reference angle A (as
/// computed) the winner turned by T. A computed turn errs from the exact turn measured from A
/// by under 1e-12 degrees: the differences move the direction by u relative, atan2 by a few
/// ulp of pi, the subtraction, the scaling to degrees and the wrap by a few ulp of 360. Let
/// s = 1e-10 degrees. A fix whose exact direction lies outside the wedge from A - snap - s to
/// A + T + s (anticlockwise) computes a turn above T and below the snap, so it neither beats
/// nor ties the winner. Each step is therefore certified before it is taken: with n the right
/// normal of the ray at A + T + s, max over the vertices v of H of n.(v - P) <= w/4; then any
/// left-out x has n.(x - P) <= n.(v - P) - w/2 < 0, strictly left of that ray, so outside a
/// wedge of under half a turn. When the wedge reaches half a turn, x must also lie strictly
/// right of the ray at A - snap - s, tested the same way. The bounds w/4 and w/2 hold against
/// the dot products' rounding (a few u of the box side) and the slack's reach (s in radians
/// times the side, 1.7e-12 of it, well under w/4 = 3.7e-9 of it). Removing fixes that
/// cannot win a step changes no minimum and no first-in-set-order tie, and the fixes removed
/// by earlier steps are the same, so each step picks the same fix.
///
/// Fallback to the exhaustive walk: non-finite coordinates, a box side outside 1e-100..1e100,
/// a hull of under three certified vertices, more than half the fixes in the band, or a step
/// that cannot be certified (e.g. the rounding of the reference direction after a step of a
/// few ulp steering the walk inward).
HullWalk walkHull(std::span<const McpPoint> fixes, bool recordSteps,
                  std::size_t filterFrom = kHullFilterFrom);

/// The closed clockwise ring and its area for a finished walk over `fixes`.
McpRing ringOf(std::span<const McpPoint> fixes, const HullWalk& walk);

}  // namespace orvex::core::mcp_detail
