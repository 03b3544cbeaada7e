#pragma once

// Centre and distance operations of the MCP selection styles. Every tie is broken by set order,
// so the results are reproducible for a given fix order.

#include <cstddef>
#include <optional>
#include <span>
#include <vector>

#include "core/mcp/mcp_polygon.h"

namespace orvex::core {

/// Mean centre: each coordinate is the sum, in set order, of x_i / k (each term divided before
/// it is added, which can differ in the last bit from sum(x_i) / k). Empty set: (0, 0).
McpPoint mcpMeanCentre(std::span<const McpPoint> fixes);

/// Median centre: x and y sorted separately; odd k takes element k / 2, even k averages the two
/// middle elements as a / 2 + b / 2 (no overflow for huge coordinates). Empty set: (0, 0).
/// Non-finite coordinates are tolerated (they sort last) but give a meaningless centre.
McpPoint mcpMedianCentre(std::span<const McpPoint> fixes);

/// Euclidean distance in the map plane.
double mcpDistance(McpPoint a, McpPoint b);

/// Index of the fix farthest from `centre`; equal distances go to the lowest index. Empty set:
/// nullopt.
std::optional<std::size_t> mcpFarthest(std::span<const McpPoint> fixes, McpPoint centre);

/// Indices of the `count` fixes nearest to `centre` in the order repeated "take the nearest,
/// remove it" would pick them: by distance, equal distances by lowest index. `count` is capped
/// at the number of fixes.
std::vector<std::size_t> mcpNearestOrder(std::span<const McpPoint> fixes, McpPoint centre, std::size_t count);

/// Removes the first element, in set order, whose x and y both equal those of `point` exactly.
/// Returns false (and removes nothing) when no element matches.
bool mcpRemoveByCoordinates(std::vector<McpPoint>& fixes, McpPoint point);

}  // namespace orvex::core
