#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

#include "core/mcp/mcp_area_added.h"
#include "core/mcp/mcp_centres.h"
#include "core/mcp/mcp_floating.h"
#include "core/mcp/mcp_polygon.h"

namespace orvex::core {

namespace {

// Fixed styles: the `picks` fixes nearest to a centre computed once, nearest first.
std::vector<McpPoint> keepNearest(std::span<const McpPoint> fixes, McpPoint centre, std::size_t picks) {
  std::vector<McpPoint> kept;
  for (const std::size_t i : mcpNearestOrder(fixes, centre, picks)) kept.push_back(fixes[i]);
  return kept;
}

bool allFinite(std::span<const McpPoint> fixes) {
  for (const McpPoint& p : fixes) {
    if (!std::isfinite(p.x) || !std::isfinite(p.y)) return false;
  }
  return true;
}

// The set without the first n - target fixes of `shared`, in set order; the drops are made
// first when `shared` does not reach that far.
std::vector<McpPoint> keepAfterSharedDrops(std::span<const McpPoint> fixes, std::size_t target,
                                           McpSharedDrops& shared) {
  const std::size_t dropping = fixes.size() - target;
  if (shared.order.size() < dropping) {
    // Never below the fewest fixes a polygon is built from: no target asks for fewer.
    const std::size_t down =
        std::max(std::min(shared.floor, target), static_cast<std::size_t>(kMcpMinimumFixes));
    shared.order = mcpAreaAddedDrops(fixes, down);
  }
  return mcpKeptAfterDrops(fixes, shared.order, dropping);
}

}  // namespace

McpResult mcpPercentageAnalysis(std::span<const McpPoint> fixes, const McpOptions& options) {
  McpSharedDrops own;  // drops down to this percentage only
  own.floor = fixes.size();
  return mcpPercentageAnalysis(fixes, options, own);
}

int mcpTargetCount(std::size_t n, double percentage) {
  const double target = std::ceil(static_cast<double>(n) * percentage / 100.0);
  if (std::isnan(target)) return 0;
  // Converting an out-of-range double is undefined; a huge percentage saturates instead.
  constexpr auto kMax = std::numeric_limits<int>::max();
  constexpr auto kMin = std::numeric_limits<int>::min();
  if (target >= static_cast<double>(kMax)) return kMax;
  if (target <= static_cast<double>(kMin)) return kMin;
  return static_cast<int>(target);
}

McpResult mcpPercentageAnalysis(std::span<const McpPoint> fixes, const McpOptions& options,
                                McpSharedDrops& shared) {
  McpResult result;
  result.nPoints = static_cast<int>(std::min<std::size_t>(fixes.size(), std::numeric_limits<int>::max()));
  if (!allFinite(fixes)) {
    result.status = McpStatus::invalidCoordinates;
    return result;
  }
  result.nUsed = mcpTargetCount(fixes.size(), options.percentage);
  if (result.nUsed < kMcpMinimumFixes) {
    result.status = McpStatus::percentageTooLow;
    return result;
  }
  if (fixes.size() < static_cast<std::size_t>(kMcpMinimumFixes)) {
    result.status = McpStatus::tooFewFixes;
    return result;
  }

  // Above 100 percent O exceeds n: the fixed styles cannot pick more fixes than there are, the
  // reducing styles have nothing to drop.
  const auto target = std::min(static_cast<std::size_t>(result.nUsed), fixes.size());
  const std::string_view style = options.style;
  if (style == kMcpFixedMean) {
    result.kept = keepNearest(fixes, mcpMeanCentre(fixes), target);
  } else if (style == kMcpFixedMedian) {
    result.kept = keepNearest(fixes, mcpMedianCentre(fixes), target);
  } else if (style == kMcpUserCentre) {
    result.kept = keepNearest(fixes, options.userCentre, target);
  } else if (style == kMcpFloatingMean) {
    result.kept = mcpFloatingKeep(fixes, target, McpFloatingCentre::mean);
  } else if (style == kMcpFloatingMedian) {
    result.kept = mcpFloatingKeep(fixes, target, McpFloatingCentre::median);
  } else if (style == kMcpAreaAdded) {
    result.kept = keepAfterSharedDrops(fixes, target, shared);
  } else {
    result.kept.assign(fixes.begin(), fixes.end());  // unknown style: nothing dropped
  }

  std::vector<McpPoint> buffer = result.kept;  // MCP_Poly consumes its input
  result.ring = MCP_Poly(buffer);
  return result;
}

std::string mcpTooLowMessage(double percentage) {
  // std::to_chars ignores the process locale, unlike printf's %.2f.
  char number[400];
  const auto [end, ec] =
      std::to_chars(number, number + sizeof number, percentage, std::chars_format::fixed, 2);
  const std::string text = ec == std::errc{} ? std::string(number, end) : std::string("nan");
  return "The MCP Analysis Percentage (" + text + ") is too low - no polygon can be generated).";
}

}  // namespace orvex::core
