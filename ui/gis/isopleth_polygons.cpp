#include "ui/gis/isopleth_polygons.h"

namespace orvex::ui::gis {

host::Polygon PolygonFromContour(const host::GeometryService& geometry, const host::Polyline& line) {
  host::Polygon polygon;
  for (const host::Path& path : line.paths) {
    if (path.size() < 3) continue;  // a segment or a point encloses nothing
    host::Ring ring = path;
    host::closeRing(ring);
    polygon.rings.push_back(std::move(ring));
  }
  if (polygon.rings.empty()) return polygon;
  return geometry.simplify(polygon);
}

std::optional<host::Polygon> AssembleLevelPolygon(const host::GeometryService& geometry,
                                                  std::span<const host::Polygon> parts) {
  if (parts.empty()) return std::nullopt;
  std::optional<host::Polygon> accumulated;
  for (const host::Polygon& part : parts) {
    if (part.isEmpty()) continue;
    if (!accumulated) {
      accumulated = part;
      continue;
    }
    const host::Geometry a(*accumulated);
    const host::Geometry p(part);
    if (geometry.contains(p, a)) {
      accumulated = geometry.difference(part, *accumulated);
    } else if (geometry.within(p, a)) {
      accumulated = geometry.difference(*accumulated, part);
    } else {
      accumulated =
          geometry.unite(geometry.difference(*accumulated, part), geometry.difference(part, *accumulated));
    }
  }
  if (!accumulated) return host::Polygon{};
  return geometry.simplify(*accumulated);
}

}  // namespace orvex::ui::gis
