#include "range/locoh/locoh_isopleths.h"

#include <algorithm>
#include <cstdint>
#include <utility>

#include "host/geometry_service.h"
#include "numeric/fixed_chunks.h"

namespace orvex::range {

namespace {

// Cells per axis of the grid the parts' order is taken on: 2^16, so that two codes fit in 64 bits
// and only hulls of nearly one centre share a cell.
constexpr double kMortonCells = 65535.0;

host::Polygon hull_polygon(const LocohHull& hull) {
  host::Ring ring;
  ring.reserve(hull.x.size() + 1);
  for (std::size_t k = 0; k < hull.x.size(); ++k) ring.push_back({hull.x[k], hull.y[k]});
  ring.push_back(ring.front());
  return host::Polygon{{std::move(ring)}};
}

// The bits of `v` (below 2^16) at the even places of the result.
std::uint64_t spread_bits(std::uint32_t v) {
  std::uint64_t b = v;
  b = (b | (b << 8U)) & 0x00FF00FFU;
  b = (b | (b << 4U)) & 0x0F0F0F0FU;
  b = (b | (b << 2U)) & 0x33333333U;
  b = (b | (b << 1U)) & 0x55555555U;
  return b;
}

// The hulls [from, to) that have area, in the order the parts take them: by the Z-order (Morton)
// code of their boxes' centres on a grid over the level, ties by union order. Neighbouring hulls
// then fall in one part, each part's union is a few compact pieces, and the union of the parts
// meets only along the seams between them. Parts cut from the union order (by area) would each
// spread over the whole range, and their union would redo most of the overlay.
std::vector<std::size_t> spatial_order(const LocohHulls& hulls, std::size_t from, std::size_t to) {
  std::vector<std::size_t> with_area;
  std::vector<host::Point> centres;
  host::Envelope box;
  for (std::size_t i = from; i < to; ++i) {
    const LocohHull& hull = hulls.hulls[i];
    if (hull.x.size() < 3) continue;
    host::Envelope extent;
    for (std::size_t k = 0; k < hull.x.size(); ++k) extent.expand(host::Point{hull.x[k], hull.y[k]});
    with_area.push_back(i);
    centres.push_back({(extent.xmin + extent.xmax) / 2.0, (extent.ymin + extent.ymax) / 2.0});
    box.expand(centres.back());
  }
  const auto cell = [](double v, double low, double width) {
    return width > 0.0 ? static_cast<std::uint32_t>((v - low) / width * kMortonCells) : 0U;
  };
  std::vector<std::pair<std::uint64_t, std::size_t>> keyed;
  keyed.reserve(with_area.size());
  for (std::size_t k = 0; k < with_area.size(); ++k) {
    const std::uint32_t cx = cell(centres[k].x, box.xmin, box.width());
    const std::uint32_t cy = cell(centres[k].y, box.ymin, box.height());
    keyed.emplace_back(spread_bits(cx) | (spread_bits(cy) << 1U), with_area[k]);
  }
  std::sort(keyed.begin(), keyed.end());
  for (std::size_t k = 0; k < keyed.size(); ++k) with_area[k] = keyed[k].second;
  return with_area;
}

// `previous` united with the hulls [from, to) that have area: each part's union on any thread,
// then one union of `previous` and the parts in part order.
host::Polygon unite_level(const LocohHulls& hulls, std::size_t from, std::size_t to, host::Polygon previous,
                          const host::GeometryService& geometry, unsigned threads) {
  const std::vector<std::size_t> order = spatial_order(hulls, from, to);
  if (order.empty()) return previous;
  const std::size_t parts = (order.size() + kLocohHullsPerPart - 1) / kLocohHullsPerPart;
  // The previous polygon first, so that the parts it contains cost no overlay.
  std::vector<host::Polygon> united(parts + 1);
  united.front() = std::move(previous);
  numeric::run_fixed_chunks(parts, threads, [&](std::size_t part) {
    std::vector<host::Polygon> polygons;
    const std::size_t end = std::min(order.size(), (part + 1) * kLocohHullsPerPart);
    for (std::size_t k = part * kLocohHullsPerPart; k < end; ++k)
      polygons.push_back(hull_polygon(hulls.hulls[order[k]]));
    united[part + 1] = geometry.uniteAll(polygons);
  });
  if (parts == 1 && united.front().isEmpty()) return std::move(united.back());
  return geometry.uniteAll(united);
}

}  // namespace

std::vector<LocohIsopleth> locoh_isopleths(const LocohHulls& hulls, std::span<const double> percents,
                                           const host::GeometryService& geometry, unsigned threads) {
  const std::vector<std::size_t> counts = isopleth_hull_counts(hulls, percents);
  std::vector<std::size_t> levels = counts;
  std::sort(levels.begin(), levels.end());
  levels.erase(std::unique(levels.begin(), levels.end()), levels.end());

  std::vector<host::Polygon> polygons;
  host::Polygon previous;
  std::size_t done = 0;
  for (const std::size_t count : levels) {
    previous = unite_level(hulls, done, count, std::move(previous), geometry, threads);
    polygons.push_back(previous);
    done = count;
  }

  std::vector<LocohIsopleth> isopleths;
  for (std::size_t i = 0; i < counts.size(); ++i) {
    const auto level =
        static_cast<std::size_t>(std::lower_bound(levels.begin(), levels.end(), counts[i]) - levels.begin());
    LocohIsopleth& out = isopleths.emplace_back();
    out.percent = percents[i];
    out.hulls = counts[i];
    out.fixes = counts[i] == 0 ? 0 : hulls.hulls[counts[i] - 1].cumulative_fixes;
    out.polygon = polygons[level];
    out.area = out.polygon.area();
  }
  return isopleths;
}

}  // namespace orvex::range
