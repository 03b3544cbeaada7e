#include "core/mcp/mcp_centres.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace orvex::core {

namespace {

// A strict weak order even with NaN (NaN sorts last), so that a stray NaN can never send the
// standard algorithms out of bounds.
bool lessNanLast(double a, double b) { return a < b || (!std::isnan(a) && std::isnan(b)); }

double medianOf(std::vector<double>& values) {
  const std::size_t k = values.size();
  const auto middle = values.begin() + static_cast<std::ptrdiff_t>(k / 2);
  std::nth_element(values.begin(), middle, values.end(), lessNanLast);
  const double upper = *middle;
  if (k % 2 == 1) return upper;
  // The lower middle element is the largest of the part left of the upper one.
  const double lower = *std::max_element(values.begin(), middle, lessNanLast);
  return lower / 2.0 + upper / 2.0;
}

}  // namespace

McpPoint mcpMeanCentre(std::span<const McpPoint> fixes) {
  McpPoint centre;
  if (fixes.empty()) return centre;
  const auto k = static_cast<double>(fixes.size());
  for (const McpPoint& p : fixes) {
    centre.x += p.x / k;
    centre.y += p.y / k;
  }
  return centre;
}

McpPoint mcpMedianCentre(std::span<const McpPoint> fixes) {
  if (fixes.empty()) return {};
  std::vector<double> xs(fixes.size());
  std::vector<double> ys(fixes.size());
  for (std::size_t i = 0; i < fixes.size(); ++i) {
    xs[i] = fixes[i].x;
    ys[i] = fixes[i].y;
  }
  return {medianOf(xs), medianOf(ys)};
}

double mcpDistance(McpPoint a, McpPoint b) {
  const double dx = a.x - b.x;
  const double dy = a.y - b.y;
  return std::sqrt(dx * dx + dy * dy);
}

std::optional<std::size_t> mcpFarthest(std::span<const McpPoint> fixes, McpPoint centre) {
  std::optional<std::size_t> bestIndex;
  double best = -1.0;
  for (std::size_t i = 0; i < fixes.size(); ++i) {
    const double d = mcpDistance(fixes[i], centre);
    if (d > best) {
      best = d;
      bestIndex = i;
    }
  }
  return bestIndex;
}

std::vector<std::size_t> mcpNearestOrder(std::span<const McpPoint> fixes, McpPoint centre,
                                         std::size_t count) {
  // The distances do not change as fixes are taken, so repeated "nearest, then remove" is a
  // sort by (distance, index); removal by coordinates takes the same element because an earlier
  // fix with equal coordinates would have the same distance and a lower index.
  std::vector<double> distance(fixes.size());
  for (std::size_t i = 0; i < fixes.size(); ++i) distance[i] = mcpDistance(fixes[i], centre);
  std::vector<std::size_t> order(fixes.size());
  std::iota(order.begin(), order.end(), std::size_t{0});
  count = std::min(count, order.size());
  const auto byDistance = [&](std::size_t a, std::size_t b) {
    if (lessNanLast(distance[a], distance[b])) return true;
    if (lessNanLast(distance[b], distance[a])) return false;
    return a < b;
  };
  std::partial_sort(order.begin(), order.begin() + static_cast<std::ptrdiff_t>(count), order.end(),
                    byDistance);
  order.resize(count);
  return order;
}

bool mcpRemoveByCoordinates(std::vector<McpPoint>& fixes, McpPoint point) {
  const auto it = std::find_if(fixes.begin(), fixes.end(),
                               [&](const McpPoint& p) { return p.x == point.x && p.y == point.y; });
  if (it == fixes.end()) return false;
  fixes.erase(it);
  return true;
}

}  // namespace orvex::core
