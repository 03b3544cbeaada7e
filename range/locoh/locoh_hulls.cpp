#include "range/locoh/locoh_hulls.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>
#include <stdexcept>
#include <string>

#include "numeric/fixed_chunks.h"
#include "range/locoh/neighbour_grid.h"

namespace orvex::range {

namespace {

// Fixes per chunk of the local-set pass: a count fixed by the problem, never the thread count.
constexpr std::size_t kChunkFixes = 256;

void check_input(std::span<const double> x, std::span<const double> y, const LocohOptions& options) {
  if (x.size() != y.size()) throw std::invalid_argument("LoCoH: x and y differ in size");
  if (x.empty()) throw std::invalid_argument("LoCoH: no fixes");
  // Local sets hold fix numbers in 32 bits.
  if (x.size() > std::numeric_limits<std::uint32_t>::max())
    throw std::invalid_argument("LoCoH: too many fixes");
  for (std::size_t i = 0; i < x.size(); ++i) {
    if (!std::isfinite(x[i]) || !std::isfinite(y[i])) {
      throw std::invalid_argument("LoCoH: fix " + std::to_string(i + 1) +
                                  " has a coordinate that is not finite");
    }
  }
  const double p = options.parameter;
  if (!std::isfinite(p) || p < 0.0)
    throw std::invalid_argument("LoCoH: the parameter must be finite and >= 0");
  if (options.method == LocohMethod::k && (p < 1.0 || p != std::floor(p))) {
    throw std::invalid_argument("LoCoH: k must be a whole number >= 1");
  }
}

// The first copy of each position, in input order.
std::vector<std::size_t> distinct_positions(std::span<const double> x, std::span<const double> y) {
  std::vector<std::size_t> order(x.size());
  std::iota(order.begin(), order.end(), std::size_t{0});
  std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
    return x[a] < x[b] || (x[a] == x[b] && y[a] < y[b]);
  });
  std::vector<std::size_t> kept;
  for (std::size_t k = 0; k < order.size(); ++k) {
    if (k == 0 || x[order[k]] != x[order[k - 1]] || y[order[k]] != y[order[k - 1]]) kept.push_back(order[k]);
  }
  std::sort(kept.begin(), kept.end());
  return kept;
}

// The local set of fix i (indices into the distinct fixes), in distance order.
void local_set(const NeighbourGrid& grid, std::size_t i, const LocohOptions& options,
               std::vector<Neighbour>& found, std::vector<std::uint32_t>& set) {
  switch (options.method) {
    case LocohMethod::k:
      grid.nearest(i, static_cast<std::size_t>(options.parameter), found);
      break;
    case LocohMethod::r:
      grid.within(i, options.parameter, found);
      break;
    case LocohMethod::a: {
      // Every fix the running sum admits lies within a, so a radius query finds them all.
      grid.within(i, options.parameter, found);
      long double running = 0.0L;
      std::size_t keep = 0;
      while (keep < found.size()) {
        running += static_cast<long double>(found[keep].first);
        if (!(static_cast<double>(running) <= options.parameter)) break;
        ++keep;
      }
      found.resize(keep);
      break;
    }
  }
  set.clear();
  for (const Neighbour& n : found) set.push_back(static_cast<std::uint32_t>(n.second));
}

double ring_area(const std::vector<double>& x, const std::vector<double>& y) {
  if (x.size() < 3) return 0.0;
  double twice = 0.0;
  for (std::size_t k = 0, prev = x.size() - 1; k < x.size(); prev = k++)
    twice += x[prev] * y[k] - x[k] * y[prev];
  return std::abs(twice) / 2.0;
}

// The points that may be corners of the hull: all but those strictly inside the quadrilateral of
// the westmost, southmost, eastmost and northmost points (Akl & Toussaint), which the sort then
// skips. A point within rounding of the quadrilateral's edge is kept.
void hull_candidates(std::span<const double> x, std::span<const double> y,
                     std::vector<std::pair<double, double>>& p) {
  p.clear();
  p.reserve(x.size());
  std::size_t w = 0, s = 0, e = 0, n = 0;
  for (std::size_t i = 1; i < x.size(); ++i) {
    if (x[i] < x[w]) w = i;
    if (x[i] > x[e]) e = i;
    if (y[i] < y[s]) s = i;
    if (y[i] > y[n]) n = i;
  }
  const std::size_t quad[] = {w, s, e, n};  // anticlockwise
  for (std::size_t k = 0; k < x.size(); ++k) {
    bool inside = x.size() >= 8;
    for (std::size_t c = 0; c < 4 && inside; ++c) {
      const std::size_t a = quad[c];
      const std::size_t b = quad[(c + 1) % 4];
      inside = (x[b] - x[a]) * (y[k] - y[a]) - (y[b] - y[a]) * (x[k] - x[a]) > 0.0;
    }
    if (!inside) p.emplace_back(x[k], y[k]);
  }
}

}  // namespace

void convex_hull(std::span<const double> x, std::span<const double> y, std::vector<double>& hull_x,
                 std::vector<double>& hull_y) {
  std::vector<std::pair<double, double>> p;
  hull_candidates(x, y, p);
  std::sort(p.begin(), p.end());
  p.erase(std::unique(p.begin(), p.end()), p.end());
  hull_x.clear();
  hull_y.clear();
  if (p.size() < 3) {
    for (const auto& [px, py] : p) {
      hull_x.push_back(px);
      hull_y.push_back(py);
    }
    return;
  }
  const auto cross = [](const auto& o, const auto& a, const auto& b) {
    return (a.first - o.first) * (b.second - o.second) - (a.second - o.second) * (b.first - o.first);
  };
  // Anticlockwise: lower chain west to east, then upper chain back; collinear corners dropped.
  std::vector<std::pair<double, double>> h(2 * p.size());
  std::size_t n = 0;
  for (std::size_t k = 0; k < p.size(); ++k) {
    while (n >= 2 && cross(h[n - 2], h[n - 1], p[k]) <= 0.0) --n;
    h[n++] = p[k];
  }
  for (std::size_t k = p.size() - 1, lower = n + 1; k-- > 0;) {
    while (n >= lower && cross(h[n - 2], h[n - 1], p[k]) <= 0.0) --n;
    h[n++] = p[k];
  }
  --n;  // the first corner closes the chain
  // Clockwise, as the host holds an outer ring.
  for (std::size_t k = n; k-- > 0;) {
    hull_x.push_back(h[k].first);
    hull_y.push_back(h[k].second);
  }
}

LocohHulls locoh_hulls(std::span<const double> x, std::span<const double> y, const LocohOptions& options) {
  check_input(x, y, options);
  const std::vector<std::size_t> kept = distinct_positions(x, y);
  const std::size_t n = kept.size();
  std::vector<double> kx(n), ky(n);
  for (std::size_t i = 0; i < n; ++i) {
    kx[i] = x[kept[i]];
    ky[i] = y[kept[i]];
  }
  const NeighbourGrid grid(kx, ky);

  // Each fix's local set (stored flat, by fix) and hull; each chunk writes only its own fixes.
  LocohHulls result;
  result.distinct_fixes = n;
  result.hulls.resize(n);
  std::vector<std::vector<std::uint32_t>> sets(n);
  const std::size_t chunks = (n + kChunkFixes - 1) / kChunkFixes;
  numeric::run_fixed_chunks(chunks, options.threads, [&](std::size_t chunk) {
    std::vector<Neighbour> found;
    std::vector<double> sx, sy;
    for (std::size_t i = chunk * kChunkFixes; i < std::min(n, (chunk + 1) * kChunkFixes); ++i) {
      local_set(grid, i, options, found, sets[i]);
      sx.clear();
      sy.clear();
      for (const std::uint32_t j : sets[i]) {
        sx.push_back(kx[j]);
        sy.push_back(ky[j]);
      }
      LocohHull& hull = result.hulls[i];
      hull.fix = kept[i];
      hull.set_size = sets[i].size();
      convex_hull(sx, sy, hull.x, hull.y);
      hull.area = ring_area(hull.x, hull.y);
    }
  });

  std::vector<std::size_t> order(n);
  std::iota(order.begin(), order.end(), std::size_t{0});
  const auto& h = result.hulls;
  if (options.method == LocohMethod::k) {
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return h[a].area < h[b].area; });
  } else {
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
      return h[a].set_size > h[b].set_size || (h[a].set_size == h[b].set_size && h[a].area < h[b].area);
    });
  }
  std::vector<LocohHull> ordered;
  ordered.reserve(n);
  std::vector<unsigned char> seen(n, 0);
  std::size_t count = 0;
  for (const std::size_t i : order) {
    for (const std::uint32_t j : sets[i]) {
      count += seen[j] == 0 ? 1 : 0;
      seen[j] = 1;
    }
    ordered.push_back(std::move(result.hulls[i]));
    ordered.back().cumulative_fixes = count;
  }
  // The r method counts at most the fixes whose hulls have area, as adehabitatHR's LoCoH.r
  // reports its percents.
  if (options.method == LocohMethod::r) {
    const auto lone =
        static_cast<std::size_t>(std::count_if(ordered.begin(), ordered.end(), [](const LocohHull& hull) {
          return hull.area < std::numeric_limits<double>::epsilon();
        }));
    for (LocohHull& hull : ordered) hull.cumulative_fixes = std::min(hull.cumulative_fixes, n - lone);
  }
  result.hulls = std::move(ordered);
  return result;
}

std::vector<std::size_t> isopleth_hull_counts(const LocohHulls& hulls, std::span<const double> percents) {
  std::vector<std::size_t> counts;
  const auto total = static_cast<double>(hulls.distinct_fixes);
  for (const double p : percents) {
    if (!(p > 0.0 && p <= 100.0))
      throw std::invalid_argument("LoCoH: an isopleth percent must lie in (0, 100]");
    std::size_t m = 0;
    while (m < hulls.hulls.size() &&
           !(100.0 * static_cast<double>(hulls.hulls[m].cumulative_fixes) / total >= p))
      ++m;
    counts.push_back(std::min(m + 1, hulls.hulls.size()));
  }
  return counts;
}

}  // namespace orvex::range
