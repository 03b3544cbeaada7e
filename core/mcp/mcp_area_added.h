#pragma once

// The "Area Added" selection style: while more than `target` fixes remain, drop the fix whose
// removal shrinks the MCP most.

#include <cstddef>
#include <span>
#include <vector>

#include "core/mcp/mcp_polygon.h"

namespace orvex::core {

/// Survivors of the "Area Added" reduction, in set order. Definition: while the working set W
/// has more than `target` elements, A = area of MCP_Poly(W); for every index j, d_j = A minus the
/// area of MCP_Poly(W without element j); remove the element with the greatest d_j, equal values
/// going to the lowest index. Nothing is dropped when target >= fixes.size().
///
/// Computed without building n hulls per removal, yet with the same picks as the definition:
/// removing a fix that is not a vertex of W's ring leaves the wrap untouched (d_j = 0 exactly);
/// a ring vertex's wrap is replayed only from its ring neighbour until it is back on the ring,
/// over the fixes that can take those steps (the ring and the pocket the vertex leaves), each
/// step checked against the few other fixes that lie near its directions (a k-d tree finds
/// them; every fix further in provably loses the step), and kept across removals while its
/// neighbours stay. Each d_j is the definition's number: a candidate is summed over its whole
/// ring as the definition sums it unless an interval certain to hold that number (from sums
/// over its pocket and a bound on the ring's rounding) shows it below another candidate's, and
/// such a candidate can neither win nor tie. Where a step cannot be reasoned about the full
/// set is wrapped instead.
/// Coordinates must be finite.
std::vector<McpPoint> mcpAreaAddedKeep(std::span<const McpPoint> fixes, std::size_t target);

/// The indices of the fixes mcpAreaAddedKeep drops, in the order it drops them (none when
/// target >= fixes.size()). The choices never look at the target, so the first n - t of them are
/// what it drops for any larger target t.
std::vector<std::size_t> mcpAreaAddedDrops(std::span<const McpPoint> fixes, std::size_t target);

/// `fixes` without the first `count` fixes of `drops` (indices into `fixes`), in set order.
std::vector<McpPoint> mcpKeptAfterDrops(std::span<const McpPoint> fixes, std::span<const std::size_t> drops,
                                        std::size_t count);

namespace mcp_detail {

/// mcpAreaAddedKeep with every candidate's area summed over its whole ring, none bounded: the
/// reference the bounded choice is held to at sizes the definition cannot reach.
std::vector<McpPoint> areaAddedKeepSummingAll(std::span<const McpPoint> fixes, std::size_t target);

}  // namespace mcp_detail

}  // namespace orvex::core
