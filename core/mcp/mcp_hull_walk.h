#pragma once

// The gift-wrapping walk behind MCP_Poly, exposed to the "Area Added" selection, which replays it
// on candidate subsets and needs to know what each step compared.

#include <cstddef>
#include <optional>
#include <span>
#include <vector>

#include "core/mcp/mcp_polygon.h"

namespace orvex::core::mcp_detail {

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
};

/// Walks the hull of `fixes` without changing them.
HullWalk walkHull(std::span<const McpPoint> fixes, bool recordSteps);

/// The closed clockwise ring and its area for a finished walk over `fixes`.
McpRing ringOf(std::span<const McpPoint> fixes, const HullWalk& walk);

}  // namespace orvex::core::mcp_detail
