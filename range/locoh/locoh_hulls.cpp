#include "range/locoh/locoh_hulls.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <limits>
#include <memory>
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

// The local set of fix i (indices into the distinct fixes) into `found`, the farthest (distance,
// fix) pair last: in (distance, fix) order for r and a; for k in the grid's order, since neither the
// hull nor the counts depend on the order of a set (sorting the k nearest took a fifth of the time).
void local_set(const NeighbourGrid& grid, std::size_t i, const LocohOptions& options,
               std::vector<Neighbour>& found) {
  switch (options.method) {
    case LocohMethod::k:
      grid.nearest_set(i, static_cast<std::size_t>(options.parameter), found);
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
}

double ring_area(std::span<const std::uint32_t> corners, std::span<const double> x,
                 std::span<const double> y) {
  if (corners.size() < 3) return 0.0;
  double twice = 0.0;
  for (std::size_t k = 0, prev = corners.size() - 1; k < corners.size(); prev = k++)
    twice += x[corners[prev]] * y[corners[k]] - x[corners[k]] * y[corners[prev]];
  return std::abs(twice) / 2.0;
}

struct HullPoint {
  double x, y;
  std::uint32_t index;
};

// The points that may be corners of the hull: all but those strictly inside the octagon of the
// points extreme west, south-west, south, south-east, east, north-east, north and north-west
// (Akl & Toussaint's quadrilateral with its corners cut: a local set's hull is round, and the
// octagon leaves about a tenth of it for the sort). A point within rounding of an edge is kept.
void hull_candidates(std::span<const double> x, std::span<const double> y, std::vector<HullPoint>& p) {
  p.clear();
  if (x.empty()) return;
  // Anticlockwise from the west; each extreme's value is kept as computed for its point, so that
  // every comparison is the one of the point against the point.
  const auto directions = [&](std::size_t i) {
    return std::array<double, 8>{x[i], x[i] + y[i], y[i], x[i] - y[i], x[i], x[i] + y[i], y[i], x[i] - y[i]};
  };
  std::array<std::size_t, 8> octagon{};
  std::array<double, 8> extreme = directions(0);
  for (std::size_t i = 1; i < x.size(); ++i) {
    const std::array<double, 8> v = directions(i);
    for (std::size_t d = 0; d < 8; ++d) {
      // West, south-west, south and north-west are minima; the others maxima.
      const bool lower = d < 3 || d == 7;
      if (lower ? v[d] < extreme[d] : v[d] > extreme[d]) {
        extreme[d] = v[d];
        octagon[d] = i;
      }
    }
  }
  // One corner for a point extreme in neighbouring directions: an edge of no length would keep
  // every point.
  std::array<std::size_t, 8> corner{};
  std::size_t corners = 0;
  for (std::size_t c = 0; c < 8; ++c)
    if (corners == 0 || octagon[c] != corner[corners - 1]) corner[corners++] = octagon[c];
  while (corners > 1 && corner[corners - 1] == corner[0]) --corners;
  // Each edge's start and direction, taken once rather than for every point.
  std::array<double, 8> ax{}, ay{}, dx{}, dy{};
  for (std::size_t c = 0; c < corners; ++c) {
    const std::size_t a = corner[c];
    const std::size_t b = corner[(c + 1) % corners];
    ax[c] = x[a];
    ay[c] = y[a];
    dx[c] = x[b] - x[a];
    dy[c] = y[b] - y[a];
  }
  const bool octagon_filters = x.size() >= 8 && corners >= 3;
  for (std::size_t k = 0; k < x.size(); ++k) {
    bool inside = octagon_filters;
    for (std::size_t c = 0; c < corners && inside; ++c)
      inside = dx[c] * (y[k] - ay[c]) - dy[c] * (x[k] - ax[c]) > 0.0;
    if (!inside) p.push_back({x[k], y[k], static_cast<std::uint32_t>(k)});
  }
}

}  // namespace

void convex_hull_corners(std::span<const double> x, std::span<const double> y,
                         std::vector<std::uint32_t>& corners) {
  // Scratch of each thread, kept between calls: a hull is made for every fix.
  thread_local std::vector<HullPoint> p, h;
  hull_candidates(x, y, p);
  const auto before = [](const HullPoint& a, const HullPoint& b) {
    return a.x < b.x || (a.x == b.x && a.y < b.y);
  };
  std::sort(p.begin(), p.end(), before);
  p.erase(std::unique(p.begin(), p.end(),
                      [](const HullPoint& a, const HullPoint& b) { return a.x == b.x && a.y == b.y; }),
          p.end());
  corners.clear();
  if (p.size() < 3) {
    for (const HullPoint& q : p) corners.push_back(q.index);
    return;
  }
  const auto cross = [](const HullPoint& o, const HullPoint& a, const HullPoint& b) {
    return (a.x - o.x) * (b.y - o.y) - (a.y - o.y) * (b.x - o.x);
  };
  // Anticlockwise: lower chain west to east, then upper chain back; collinear corners dropped.
  h.resize(2 * p.size());
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
  for (std::size_t k = n; k-- > 0;) corners.push_back(h[k].index);
}

void convex_hull(std::span<const double> x, std::span<const double> y, std::vector<double>& hull_x,
                 std::vector<double>& hull_y) {
  std::vector<std::uint32_t> corners;
  convex_hull_corners(x, y, corners);
  hull_x.clear();
  hull_y.clear();
  for (const std::uint32_t k : corners) {
    hull_x.push_back(x[k]);
    hull_y.push_back(y[k]);
  }
}

namespace {

// The hulls' union order, as fix numbers: k by area from the smallest; r and a by set size from
// the largest, then by area; remaining ties by fix.
std::vector<std::size_t> union_order(const std::vector<LocohHull>& by_fix, LocohMethod method) {
  std::vector<std::size_t> order(by_fix.size());
  std::iota(order.begin(), order.end(), std::size_t{0});
  if (method == LocohMethod::k) {
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return by_fix[a].area < by_fix[b].area; });
  } else {
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
      return by_fix[a].set_size > by_fix[b].set_size ||
             (by_fix[a].set_size == by_fix[b].set_size && by_fix[a].area < by_fix[b].area);
    });
  }
  return order;
}

// For each place r of the union order, how many fixes its hull counts first: fix j is first
// counted by the earliest hull whose local set holds it. The sets are made again rather than held
// (k x fixes numbers): every rule takes the fixes in (distance, fix) order up to some pair
// (`bounds`, each set's farthest), so a set is the fixes within that pair's distance up to it.
// Each chunk lowers the earliest place of the fixes its sets hold: a minimum, the same whichever
// thread gets there first.
std::vector<std::size_t> newly_counted(const NeighbourGrid& grid, const std::vector<Neighbour>& bounds,
                                       const std::vector<std::size_t>& order, unsigned threads) {
  const std::size_t n = order.size();
  const std::size_t chunks = (n + kChunkFixes - 1) / kChunkFixes;
  std::vector<std::uint32_t> position(n);
  for (std::size_t r = 0; r < n; ++r) position[order[r]] = static_cast<std::uint32_t>(r);
  std::vector<std::uint32_t> first(n, std::numeric_limits<std::uint32_t>::max());
  numeric::run_fixed_chunks(chunks, threads, [&](std::size_t chunk) {
    std::vector<std::size_t> members;
    for (std::size_t i = chunk * kChunkFixes; i < std::min(n, (chunk + 1) * kChunkFixes); ++i) {
      grid.up_to(i, bounds[i], members);
      const std::uint32_t r = position[i];
      for (const std::size_t j : members) {
        std::atomic_ref<std::uint32_t> earliest(first[j]);
        std::uint32_t seen = earliest.load(std::memory_order_relaxed);
        while (r < seen && !earliest.compare_exchange_weak(seen, r, std::memory_order_relaxed)) {
        }
      }
    }
  });
  std::vector<std::size_t> newly(n, 0);
  for (const std::uint32_t r : first) ++newly[r];  // every fix is in its own set
  return newly;
}

}  // namespace

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
  const std::size_t chunks = (n + kChunkFixes - 1) / kChunkFixes;
  const auto chunk_end = [n](std::size_t chunk) { return std::min(n, (chunk + 1) * kChunkFixes); };

  // Each fix's hull, by fix; each chunk writes only its own fixes and its own block of corners,
  // which the hulls view once the block is complete.
  std::vector<LocohHull> by_fix(n);
  std::vector<Neighbour> bounds(n);  // each local set's farthest (distance, fix) pair
  std::vector<std::vector<std::uint32_t>> blocks(chunks);
  numeric::run_fixed_chunks(chunks, options.threads, [&](std::size_t chunk) {
    std::vector<Neighbour> found;
    std::vector<double> sx, sy;
    std::vector<std::uint32_t> hull, block;
    std::vector<std::size_t> offsets;
    for (std::size_t i = chunk * kChunkFixes; i < chunk_end(chunk); ++i) {
      local_set(grid, i, options, found);
      sx.clear();
      sy.clear();
      for (const Neighbour& neighbour : found) {
        sx.push_back(kx[neighbour.second]);
        sy.push_back(ky[neighbour.second]);
      }
      bounds[i] = found.back();  // the fix itself is always in its set
      convex_hull_corners(sx, sy, hull);
      offsets.push_back(block.size());
      for (const std::uint32_t k : hull) block.push_back(static_cast<std::uint32_t>(found[k].second));
      by_fix[i].fix = kept[i];
      by_fix[i].set_size = found.size();
      by_fix[i].area = ring_area(std::span(block).subspan(offsets.back()), kx, ky);
    }
    block.shrink_to_fit();
    offsets.push_back(block.size());
    for (std::size_t i = chunk * kChunkFixes, h = 0; i < chunk_end(chunk); ++i, ++h) {
      const std::uint32_t* corners = block.data() + offsets[h];
      const auto count = static_cast<std::uint32_t>(offsets[h + 1] - offsets[h]);
      by_fix[i].x = LocohCornerAxis(corners, count, kx.data());
      by_fix[i].y = LocohCornerAxis(corners, count, ky.data());
    }
    blocks[chunk] = std::move(block);  // moving keeps the buffer the views point into
  });

  const std::vector<std::size_t> order = union_order(by_fix, options.method);
  const std::vector<std::size_t> newly = newly_counted(grid, bounds, order, options.threads);
  bounds.clear();
  bounds.shrink_to_fit();

  LocohHulls result;
  result.distinct_fixes = n;
  result.hulls.reserve(n);
  std::size_t count = 0;
  for (std::size_t r = 0; r < n; ++r) {
    count += newly[r];
    result.hulls.push_back(by_fix[order[r]]);
    result.hulls.back().cumulative_fixes = count;
  }
  // The r method counts at most the fixes whose hulls have area, as adehabitatHR's LoCoH.r
  // reports its percents.
  if (options.method == LocohMethod::r) {
    const auto lone = static_cast<std::size_t>(std::count_if(
        result.hulls.begin(), result.hulls.end(),
        [](const LocohHull& hull) { return hull.area < std::numeric_limits<double>::epsilon(); }));
    for (LocohHull& hull : result.hulls) hull.cumulative_fixes = std::min(hull.cumulative_fixes, n - lone);
  }
  // Moving keeps the buffers the views point into.
  result.corners = std::make_shared<const LocohCorners>(
      LocohCorners{.x = std::move(kx), .y = std::move(ky), .blocks = std::move(blocks)});
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
