#pragma once

// Shared helpers of the MCP tests: the real-track reader and an independent hull.

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "core/mcp/mcp_polygon.h"

namespace orvex::core::mcp_test {

inline std::filesystem::path shared_data() { return ORVEX_SHARED_DATA; }

/// Fixes of one track CSV (header AnimalID,X,Y,...) grouped by animal, in file order.
inline std::map<std::string, std::vector<McpPoint>> read_track(const std::filesystem::path& csv) {
  std::map<std::string, std::vector<McpPoint>> animals;
  std::ifstream in(csv);
  std::string line;
  std::getline(in, line);  // header
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::string id, x, y;
    std::getline(fields, id, ',');
    std::getline(fields, x, ',');
    std::getline(fields, y, ',');
    animals[id].push_back({std::stod(x), std::stod(y)});
  }
  return animals;
}

/// Area of the convex hull by Andrew's monotone chain: an algorithm independent of the gift
/// wrapping under test.
inline double monotone_chain_area(std::vector<McpPoint> p) {
  if (p.size() < 3) return 0.0;
  std::sort(p.begin(), p.end(),
            [](const McpPoint& a, const McpPoint& b) { return a.x < b.x || (a.x == b.x && a.y < b.y); });
  const auto turn = [](McpPoint o, McpPoint a, McpPoint b) {
    return (a.x - o.x) * (b.y - o.y) - (a.y - o.y) * (b.x - o.x);
  };
  std::vector<McpPoint> h(2 * p.size());
  std::size_t k = 0;
  for (std::size_t i = 0; i < p.size(); ++i) {
    while (k >= 2 && turn(h[k - 2], h[k - 1], p[i]) <= 0) --k;
    h[k++] = p[i];
  }
  for (std::size_t i = p.size() - 1, lower = k + 1; i-- > 0;) {
    while (k >= lower && turn(h[k - 2], h[k - 1], p[i]) <= 0) --k;
    h[k++] = p[i];
  }
  if (k < 4) return 0.0;
  double twice = 0.0;
  for (std::size_t i = 0; i + 1 < k; ++i) {
    twice += (h[i].x - h[0].x) * (h[i + 1].y - h[0].y) - (h[i + 1].x - h[0].x) * (h[i].y - h[0].y);
  }
  return twice / 2.0;
}

}  // namespace orvex::core::mcp_test
