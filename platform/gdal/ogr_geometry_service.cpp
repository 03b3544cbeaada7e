#include "platform/gdal/ogr_geometry_service.h"

#include <vector>

#include "host/error.h"
#include "platform/gdal/gdal_session.h"
#include "platform/gdal/geometry_convert.h"
#include "platform/gdal/geometry_ops.h"

namespace orvex::platform::gdal {
namespace {

/// Tolerance when the first geometry carries no spatial reference.
constexpr double kDefaultTolerance = 0.001;

GeometryPtr required(const host::Geometry& g, const char* operation) {
  GeometryPtr out = toOgr(g);
  if (!out) throw host::Error(host::kInvalidArgument, std::string(operation) + " needs a geometry, got none");
  return out;
}

host::Polygon simplified(const OGRGeometry& g) { return polygonFromOgr(*simplifyPolygonal(g)); }

}  // namespace

bool OgrGeometryService::contains(const host::Geometry& a, const host::Geometry& b) const {
  ensureGdalReady();
  if (a.isEmpty() || b.isEmpty()) return false;
  return gdal::contains(*required(a, "contains"), *required(b, "contains"));
}

bool OgrGeometryService::within(const host::Geometry& a, const host::Geometry& b) const {
  return contains(b, a);
}

host::Polygon OgrGeometryService::difference(const host::Polygon& a, const host::Polygon& b) const {
  ensureGdalReady();
  if (a.isEmpty()) return {};
  if (b.isEmpty()) return simplify(a);
  return simplified(*gdal::difference(*toOgr(a), *toOgr(b)));
}

host::Polygon OgrGeometryService::unite(const host::Polygon& a, const host::Polygon& b) const {
  ensureGdalReady();
  if (a.isEmpty()) return simplify(b);
  if (b.isEmpty()) return simplify(a);
  return simplified(*gdal::unite(*toOgr(a), *toOgr(b)));
}

host::Polygon OgrGeometryService::uniteAll(std::span<const host::Polygon> polygons) const {
  ensureGdalReady();
  std::vector<GeometryPtr> owned;
  std::vector<const OGRGeometry*> geometries;
  for (const host::Polygon& polygon : polygons) {
    if (polygon.isEmpty()) continue;
    owned.push_back(toOgr(polygon));
    geometries.push_back(owned.back().get());
  }
  if (geometries.empty()) return {};
  return simplified(*gdal::uniteAll(geometries));
}

host::Polygon OgrGeometryService::simplify(const host::Polygon& polygon) const {
  ensureGdalReady();
  if (polygon.isEmpty()) return {};
  return simplified(*toOgr(polygon));
}

host::Geometry OgrGeometryService::densify(const host::Geometry& g, double maxSegmentLength,
                                           double /*maxDeviation*/) const {
  if (g.polyline() == nullptr && g.polygon() == nullptr) return g;
  GeometryPtr dense = gdal::densify(*toOgr(g), maxSegmentLength);
  if (g.polygon() != nullptr) return host::Geometry(polygonFromOgr(*dense), g.spatialReference());
  return host::Geometry(polylineFromOgr(*dense), g.spatialReference());
}

host::Geometry OgrGeometryService::smooth(const host::Geometry& g, double /*maxAllowableOffset*/) const {
  if (const auto* line = g.polyline()) {
    return host::Geometry(polylineFromOgr(*gdal::smooth(*toOgr(*line))), g.spatialReference());
  }
  if (const auto* polygon = g.polygon()) {
    // Smoothing ring by ring keeps each ring's start and role; going through OGR's polygon
    // structure would regroup them.
    host::Polygon out;
    for (const host::Ring& ring : polygon->rings) {
      host::Ring closed = ring;
      host::closeRing(closed);
      host::Polyline asLine{{closed}};
      host::Polyline smoothLine = polylineFromOgr(*gdal::smooth(*toOgr(asLine)));
      host::Ring smoothRing = smoothLine.paths.empty() ? closed : smoothLine.paths.front();
      if (host::signedRingArea(smoothRing) * host::signedRingArea(closed) < 0.0)
        host::reverseRing(smoothRing);
      out.rings.push_back(std::move(smoothRing));
    }
    return host::Geometry(std::move(out), g.spatialReference());
  }
  return g;
}

bool OgrGeometryService::equals(const host::Geometry& a, const host::Geometry& b) const {
  if (a.type() != b.type()) return false;
  if (a.isEmpty() || b.isEmpty()) return a.isEmpty() && b.isEmpty();
  ensureGdalReady();
  const double tolerance = a.spatialReference() ? a.spatialReference()->xyTolerance() : kDefaultTolerance;
  return equalWithin(*toOgr(a), *toOgr(b), tolerance);
}

}  // namespace orvex::platform::gdal
