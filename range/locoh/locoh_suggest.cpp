#include "range/locoh/locoh_suggest.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "range/locoh/locoh_hulls.h"
#include "range/locoh/neighbour_grid.h"

namespace orvex::range {

namespace {

// The smallest k the rule gives: a hull needs 3 fixes.
constexpr double kSmallestK = 3.0;

}  // namespace

LocohSuggestion suggest_locoh_parameters(std::span<const double> x, std::span<const double> y) {
  if (x.size() != y.size()) throw std::invalid_argument("LoCoH: x and y differ in size");
  if (x.empty()) throw std::invalid_argument("LoCoH: no fixes");
  std::vector<std::pair<double, double>> points;
  for (std::size_t i = 0; i < x.size(); ++i) {
    if (!std::isfinite(x[i]) || !std::isfinite(y[i]))
      throw std::invalid_argument("LoCoH: fix " + std::to_string(i + 1) +
                                  " has a coordinate that is not finite");
    points.emplace_back(x[i], y[i]);
  }
  std::sort(points.begin(), points.end());
  points.erase(std::unique(points.begin(), points.end()), points.end());
  std::vector<double> px, py;
  for (const auto& [a, b] : points) {
    px.push_back(a);
    py.push_back(b);
  }

  LocohSuggestion out;
  out.distinct_fixes = px.size();
  out.k = std::max(kSmallestK, std::round(std::sqrt(static_cast<double>(px.size()))));
  if (px.size() < 2) return out;

  const NeighbourGrid grid(px, py);
  std::vector<Neighbour> found;
  double farthest_nearest = 0.0;
  for (std::size_t i = 0; i < px.size(); ++i) {
    grid.nearest(i, 2, found);
    farthest_nearest = std::max(farthest_nearest, found.back().first);
  }
  out.r = farthest_nearest / 2.0;

  // The two fixes farthest apart are corners of the convex hull of all.
  std::vector<double> hx, hy;
  convex_hull(px, py, hx, hy);
  for (std::size_t i = 0; i < hx.size(); ++i)
    for (std::size_t j = i + 1; j < hx.size(); ++j)
      out.a = std::max(out.a, fix_distance(hx[i], hy[i], hx[j], hy[j]));
  return out;
}

}  // namespace orvex::range
