#include "core/mcp/mcp_centres.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace orvex::core {

namespace {

// A strict weak order even with NaN (NaN sorts last), so that a stray NaN can never send the
// standard algorithms out of bounds.
bool less_nan_last(double a, double b) { return a < b || (!std::isnan(a) && std::isnan(b)); }

double median_of(std::vector<double>& values) {
  const std::size_t k = values.size();
  const auto middle = values.begin() + static_cast<std::ptrdiff_t>(k / 2);
  std::nth_element(values.begin(), middle, values.end(), less_nan_last);
  const double upper = *middle;
  if (k % 2 == 1) return upper;
  // The lower middle element is the largest of the part left of the upper one.
  const double lower = *std::max_element(values.begin(), middle, less_nan_last);
  return lower / 2.0 + upper / 2.0;
}

}  // namespace

McpPoint mcp_mean_centre(std::span<const McpPoint> fixes) {
  McpPoint centre;
  if (fixes.empty()) return centre;
  const auto k = static_cast<double>(fixes.size());
  for (const McpPoint& p : fixes) {
    centre.x += p.x / k;
    centre.y += p.y / k;
  }
  return centre;
}

McpPoint mcp_median_centre(std::span<const McpPoint> fixes) {
  if (fixes.empty()) return {};
  std::vector<double> xs(fixes.size());
  std::vector<double> ys(fixes.size());
  for (std::size_t i = 0; i < fixes.size(); ++i) {
    xs[i] = fixes[i].x;
    ys[i] = fixes[i].y;
  }
  return {median_of(xs), median_of(ys)};
}

double mcp_distance(McpPoint a, McpPoint b) {
  const double dx = a.x - b.x;
  const double dy = a.y - b.y;
  return std::sqrt(dx * dx + dy * dy);
}

std::optional<std::size_t> mcp_farthest(std::span<const McpPoint> fixes, McpPoint centre) {
  std::optional<std::size_t> best_index;
  double best = -1.0;
  for (std::size_t i = 0; i < fixes.size(); ++i) {
    const double d = mcp_distance(fixes[i], centre);
    if (d > best) {
      best = d;
      best_index = i;
    }
  }
  return best_index;
}

std::vector<std::size_t> mcp_nearest_order(std::span<const McpPoint> fixes, McpPoint centre,
                                           std::size_t count) {
  // The distances do not change as fixes are taken, so repeated "nearest, then remove" is a
  // sort by (distance, index); removal by coordinates takes the same element because an earlier
  // fix with equal coordinates would have the same distance and a lower index.
  std::vector<double> distance(fixes.size());
  for (std::size_t i = 0; i < fixes.size(); ++i) distance[i] = mcp_distance(fixes[i], centre);
  std::vector<std::size_t> order(fixes.size());
  std::iota(order.begin(), order.end(), std::size_t{0});
  count = std::min(count, order.size());
  const auto by_distance = [&](std::size_t a, std::size_t b) {
    if (less_nan_last(distance[a], distance[b])) return true;
    if (less_nan_last(distance[b], distance[a])) return false;
    return a < b;
  };
  std::partial_sort(order.begin(), order.begin() + static_cast<std::ptrdiff_t>(count), order.end(),
                    by_distance);
  order.resize(count);
  return order;
}

bool mcp_remove_by_coordinates(std::vector<McpPoint>& fixes, McpPoint point) {
  const auto it = std::find_if(fixes.begin(), fixes.end(),
                               [&](const McpPoint& p) { return p.x == point.x && p.y == point.y; });
  if (it == fixes.end()) return false;
  fixes.erase(it);
  return true;
}

}  // namespace orvex::core
