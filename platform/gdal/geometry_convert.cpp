#include "platform/gdal/geometry_convert.h"

#include <vector>

namespace orvex::platform::gdal {
namespace {

OGRwkbGeometryType flat(const OGRGeometry& g) { return wkbFlatten(g.getGeometryType()); }

void setCurvePoints(OGRSimpleCurve& curve, const std::vector<host::Point>& points) {
  std::vector<OGRRawPoint> raw;
  raw.reserve(points.size());
  for (const auto& p : points) raw.emplace_back(p.x, p.y);
  curve.setPoints(static_cast<int>(raw.size()), raw.data());
}

std::vector<host::Point> curvePoints(const OGRSimpleCurve& curve) {
  std::vector<host::Point> points;
  points.reserve(static_cast<std::size_t>(curve.getNumPoints()));
  for (int i = 0; i < curve.getNumPoints(); ++i) points.push_back({curve.getX(i), curve.getY(i)});
  return points;
}

/// Even-odd ray test of a point against a closed ring.
bool ringHolds(const host::Ring& ring, const host::Point& p) {
  bool inside = false;
  for (std::size_t i = 0, j = ring.size() - 1; i < ring.size(); j = i++) {
    const host::Point& a = ring[i];
    const host::Point& b = ring[j];
    if ((a.y > p.y) != (b.y > p.y) && p.x < (b.x - a.x) * (p.y - a.y) / (b.y - a.y) + a.x) inside = !inside;
  }
  return inside;
}

/// Collects the parts of `g` of one dimension (2 polygons, 1 lines, 0 points), linearised.
void collect(const OGRGeometry& g, int dimension, std::vector<const OGRGeometry*>& out,
             std::vector<GeometryPtr>& keepAlive) {
  if (g.IsEmpty()) return;
  if (g.hasCurveGeometry()) {
    keepAlive.emplace_back(g.getLinearGeometry());
    collect(*keepAlive.back(), dimension, out, keepAlive);
    return;
  }
  switch (flat(g)) {
    case wkbPoint:
      if (dimension == 0) out.push_back(&g);
      break;
    case wkbLineString:
    case wkbLinearRing:
      if (dimension == 1) out.push_back(&g);
      break;
    case wkbPolygon:
    case wkbTriangle:
      if (dimension == 2) out.push_back(&g);
      break;
    default:
      if (OGR_GT_IsSubClassOf(flat(g), wkbGeometryCollection)) {
        for (const OGRGeometry* part : *g.toGeometryCollection()) collect(*part, dimension, out, keepAlive);
      }
      break;
  }
}

}  // namespace

GeometryPtr toOgr(const host::Polygon& polygon) {
  struct Part {
    host::Ring outer;
    double area;
    std::vector<host::Ring> holes;
  };
  std::vector<Part> parts;
  std::vector<host::Ring> holes;
  for (host::Ring ring : polygon.rings) {
    if (ring.empty()) continue;
    host::closeRing(ring);
    const double a = host::signedRingArea(ring);
    if (a < 0.0) {
      holes.push_back(std::move(ring));
    } else {
      parts.push_back({std::move(ring), a, {}});
    }
  }
  for (auto& hole : holes) {
    Part* home = nullptr;
    for (auto& part : parts) {
      if (ringHolds(part.outer, hole.front()) && (home == nullptr || part.area < home->area)) home = &part;
    }
    if (home != nullptr) {
      home->holes.push_back(std::move(hole));
    } else {
      parts.push_back({std::move(hole), 0.0, {}});
    }
  }

  auto makePolygon = [](const Part& part) {
    auto p = std::make_unique<OGRPolygon>();
    OGRLinearRing outer;
    setCurvePoints(outer, part.outer);
    p->addRing(&outer);
    for (const auto& h : part.holes) {
      OGRLinearRing ring;
      setCurvePoints(ring, h);
      p->addRing(&ring);
    }
    return p;
  };
  if (parts.empty()) return GeometryPtr(new OGRPolygon());
  if (parts.size() == 1) return GeometryPtr(makePolygon(parts.front()).release());
  auto multi = std::make_unique<OGRMultiPolygon>();
  for (const auto& part : parts) multi->addGeometryDirectly(makePolygon(part).release());
  return GeometryPtr(multi.release());
}

GeometryPtr toOgr(const host::Polyline& polyline) {
  if (polyline.paths.size() == 1) {
    auto line = std::make_unique<OGRLineString>();
    setCurvePoints(*line, polyline.paths.front());
    return GeometryPtr(line.release());
  }
  auto multi = std::make_unique<OGRMultiLineString>();
  for (const auto& path : polyline.paths) {
    auto line = std::make_unique<OGRLineString>();
    setCurvePoints(*line, path);
    multi->addGeometryDirectly(line.release());
  }
  return GeometryPtr(multi.release());
}

GeometryPtr toOgr(const host::Geometry& geometry) {
  if (const auto* p = geometry.point()) {
    return p->isEmpty() ? GeometryPtr(new OGRPoint()) : GeometryPtr(new OGRPoint(p->x, p->y));
  }
  if (const auto* m = geometry.multipoint()) {
    auto multi = std::make_unique<OGRMultiPoint>();
    for (const auto& p : m->points) {
      if (!p.isEmpty()) multi->addGeometryDirectly(new OGRPoint(p.x, p.y));
    }
    return GeometryPtr(multi.release());
  }
  if (const auto* l = geometry.polyline()) return toOgr(*l);
  if (const auto* g = geometry.polygon()) return toOgr(*g);
  return nullptr;
}

host::Polygon polygonFromOgr(const OGRGeometry& geometry) {
  std::vector<const OGRGeometry*> polygons;
  std::vector<GeometryPtr> keepAlive;
  collect(geometry, 2, polygons, keepAlive);
  host::Polygon out;
  for (const OGRGeometry* g : polygons) {
    bool exterior = true;
    for (const OGRLinearRing* ring : *g->toPolygon()) {
      host::Ring r = curvePoints(*ring);
      if (r.empty()) continue;
      host::closeRing(r);
      host::orientRing(r, exterior);
      out.rings.push_back(std::move(r));
      exterior = false;
    }
  }
  return out;
}

host::Polyline polylineFromOgr(const OGRGeometry& geometry) {
  std::vector<const OGRGeometry*> lines;
  std::vector<GeometryPtr> keepAlive;
  collect(geometry, 1, lines, keepAlive);
  host::Polyline out;
  for (const OGRGeometry* g : lines) out.paths.push_back(curvePoints(*g->toSimpleCurve()));
  return out;
}

host::Geometry fromOgr(const OGRGeometry* geometry, host::SpatialReferencePtr srs) {
  if (geometry == nullptr) return host::Geometry(host::Geometry::Shape{}, std::move(srs));
  switch (flat(*geometry)) {
    case wkbPoint: {
      const OGRPoint* p = geometry->toPoint();
      return host::Geometry(p->IsEmpty() ? host::Point{} : host::Point{p->getX(), p->getY()}, std::move(srs));
    }
    case wkbMultiPoint: {
      host::Multipoint m;
      for (const OGRPoint* p : *geometry->toMultiPoint()) {
        if (!p->IsEmpty()) m.points.push_back({p->getX(), p->getY()});
      }
      return host::Geometry(std::move(m), std::move(srs));
    }
    case wkbLineString:
    case wkbMultiLineString:
    case wkbCircularString:
    case wkbCompoundCurve:
    case wkbMultiCurve:
      return host::Geometry(polylineFromOgr(*geometry), std::move(srs));
    case wkbPolygon:
    case wkbMultiPolygon:
    case wkbCurvePolygon:
    case wkbMultiSurface:
      return host::Geometry(polygonFromOgr(*geometry), std::move(srs));
    default: {
      // A collection mixing kinds, as an overlay of touching polygons can return.
      host::Polygon polygon = polygonFromOgr(*geometry);
      if (!polygon.rings.empty()) return host::Geometry(std::move(polygon), std::move(srs));
      host::Polyline line = polylineFromOgr(*geometry);
      if (!line.paths.empty()) return host::Geometry(std::move(line), std::move(srs));
      std::vector<const OGRGeometry*> points;
      std::vector<GeometryPtr> keepAlive;
      collect(*geometry, 0, points, keepAlive);
      host::Multipoint m;
      for (const OGRGeometry* p : points) m.points.push_back({p->toPoint()->getX(), p->toPoint()->getY()});
      return host::Geometry(std::move(m), std::move(srs));
    }
  }
}

}  // namespace orvex::platform::gdal
