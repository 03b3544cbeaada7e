#include "range/locoh/locoh_isopleths.h"

#include <algorithm>

#include "host/geometry_service.h"
#include "numeric/fixed_chunks.h"

namespace orvex::range {

namespace {

host::Polygon hull_polygon(const LocohHull& hull) {
  host::Ring ring;
  ring.reserve(hull.x.size() + 1);
  for (std::size_t k = 0; k < hull.x.size(); ++k) ring.push_back({hull.x[k], hull.y[k]});
  ring.push_back(ring.front());
  return host::Polygon{{std::move(ring)}};
}

// `previous` united with the hulls [from, to) that have area.
host::Polygon unite_level(const LocohHulls& hulls, std::size_t from, std::size_t to,
                          const host::Polygon& previous, const host::GeometryService& geometry,
                          unsigned threads) {
  std::vector<std::size_t> with_area;
  for (std::size_t i = from; i < to; ++i)
    if (hulls.hulls[i].x.size() >= 3) with_area.push_back(i);
  if (with_area.empty()) return previous;
  const std::size_t parts = (with_area.size() + kLocohHullsPerPart - 1) / kLocohHullsPerPart;
  std::vector<host::Polygon> united(parts);
  numeric::run_fixed_chunks(parts, threads, [&](std::size_t part) {
    // The previous polygon first, so that the hulls it contains are passed over.
    std::vector<host::Polygon> polygons{previous};
    const std::size_t end = std::min(with_area.size(), (part + 1) * kLocohHullsPerPart);
    for (std::size_t k = part * kLocohHullsPerPart; k < end; ++k)
      polygons.push_back(hull_polygon(hulls.hulls[with_area[k]]));
    united[part] = geometry.uniteAll(polygons);
  });
  if (parts == 1) return std::move(united.front());
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
    previous = unite_level(hulls, done, count, previous, geometry, threads);
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
