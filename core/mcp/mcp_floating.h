#pragma once

// The floating selection styles ("Floating Mean", "Floating Median"): drop the fix farthest from
// the centre of the fixes left, one at a time, recomputing the centre before every removal.

#include <cstddef>
#include <span>
#include <vector>

#include "core/mcp/mcp_polygon.h"

namespace orvex::core {

enum class McpFloatingCentre { mean, median };

/// What a reduction did beyond its result, for tests and benchmarks.
struct McpFloatingStats {
  /// Rounds whose pick the mean's rounding bound could not settle, so that one or both of the
  /// centre's coordinates were summed afresh over every fix left (always 0 for the median).
  std::size_t exactCentres = 0;
  /// Coordinates summed afresh in those rounds: one or two per round.
  std::size_t exactAxes = 0;
};

/// Indices of the fixes dropped, in the order they are dropped, until `target` fixes remain
/// (none when target >= fixes.size()). Coordinates must be finite.
///
/// Definition: while more than `target` fixes are left, the centre c of the fixes left in set
/// order (mcpMeanCentre or mcpMedianCentre) is computed, and the fix with the greatest
/// mcpDistance(fix, c) is dropped, equal distances going to the lowest index.
///
/// Computed without visiting every fix per round, with the same picks: the farthest fix lies at
/// a vertex of the hull of the fixes left, or within rounding of one (McpPeel finds those
/// positions); the median comes from counts over the sorted coordinates; the mean from running
/// double-double sums whose distance from the set-order sum is bounded rigorously, and when that
/// bound cannot separate two positions the set-order sum is taken afresh, exactly and in vectors
/// (numeric::ordered_quotient_sum): first the coordinate whose bound is wider, then the other only
/// when the first alone does not settle the pick.
std::vector<std::size_t> mcpFloatingRemovals(std::span<const McpPoint> fixes, std::size_t target,
                                             McpFloatingCentre centre, McpFloatingStats* stats = nullptr);

/// The fixes left after mcpFloatingRemovals, in set order.
std::vector<McpPoint> mcpFloatingKeep(std::span<const McpPoint> fixes, std::size_t target,
                                      McpFloatingCentre centre);

}  // namespace orvex::core
