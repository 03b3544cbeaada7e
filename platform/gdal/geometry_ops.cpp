#include "platform/gdal/geometry_ops.h"

#include <cmath>
#include <vector>

#include "platform/gdal/gdal_session.h"

namespace orvex::platform::gdal {
namespace {

OGRwkbGeometryType flat(const OGRGeometry& g) { return wkbFlatten(g.getGeometryType()); }

bool samePoint(const OGRPoint& a, const OGRPoint& b) { return a.getX() == b.getX() && a.getY() == b.getY(); }

/// Appends clones of the polygons found in `g` (directly, in multipolygons or collections).
void collectPolygons(const OGRGeometry& g, std::vector<GeometryPtr>& out) {
  switch (flat(g)) {
    case wkbPolygon:
      out.push_back(GeometryPtr(g.clone()));
      break;
    case wkbMultiPolygon:
    case wkbGeometryCollection:
      for (const OGRGeometry* part : *g.toGeometryCollection()) collectPolygons(*part, out);
      break;
    default:
      break;
  }
}

/// Start points of every ring of the polygons.
std::vector<OGRPoint> ringStarts(const std::vector<GeometryPtr>& polygons) {
  std::vector<OGRPoint> starts;
  for (const auto& g : polygons) {
    for (const OGRLinearRing* ring : *g->toPolygon()) {
      if (ring->getNumPoints() > 0) {
        OGRPoint p;
        ring->getPoint(0, &p);
        starts.push_back(p);
      }
    }
  }
  return starts;
}

/// Drops consecutive repeated vertices; false when fewer than three distinct vertices remain.
/// A ring whose signed area is 0 may still enclose area (a figure of eight), so that is left
/// to the validity repair.
bool cleanRing(OGRLinearRing& ring) {
  std::vector<OGRRawPoint> kept;
  kept.reserve(static_cast<std::size_t>(ring.getNumPoints()));
  for (int i = 0; i < ring.getNumPoints(); ++i) {
    OGRRawPoint p(ring.getX(i), ring.getY(i));
    if (kept.empty() || kept.back().x != p.x || kept.back().y != p.y) kept.push_back(p);
  }
  if (kept.size() > 1 && kept.front().x == kept.back().x && kept.front().y == kept.back().y) kept.pop_back();
  if (kept.size() < 3) return false;
  kept.push_back(kept.front());
  ring.setPoints(static_cast<int>(kept.size()), kept.data());
  return true;
}

/// A polygon without degenerate rings, or null when its exterior ring is degenerate.
GeometryPtr cleanPolygon(const OGRPolygon& polygon) {
  auto out = std::make_unique<OGRPolygon>();
  bool first = true;
  for (const OGRLinearRing* ring : polygon) {
    OGRLinearRing copy(const_cast<OGRLinearRing*>(ring));  // OGR copies from a non-const pointer
    if (!cleanRing(copy)) {
      if (first) return nullptr;
      continue;
    }
    out->addRing(&copy);
    first = false;
  }
  if (first) return nullptr;
  return GeometryPtr(out.release());
}

/// Makes `ring` start at the first of its vertices that is one of `starts`.
void restartRing(OGRLinearRing& ring, const std::vector<OGRPoint>& starts) {
  const int n = ring.getNumPoints() - 1;  // distinct vertices of the closed ring
  if (n < 3) return;
  for (int k = 0; k < n; ++k) {
    OGRPoint p;
    ring.getPoint(k, &p);
    for (const auto& s : starts) {
      if (!samePoint(p, s)) continue;
      if (k == 0) return;
      std::vector<OGRRawPoint> rotated;
      rotated.reserve(static_cast<std::size_t>(n) + 1);
      for (int i = 0; i < n; ++i) rotated.emplace_back(ring.getX((k + i) % n), ring.getY((k + i) % n));
      rotated.push_back(rotated.front());
      ring.setPoints(static_cast<int>(rotated.size()), rotated.data());
      return;
    }
  }
}

void restartRings(OGRGeometry& g, const std::vector<OGRPoint>& starts) {
  if (flat(g) == wkbPolygon) {
    for (OGRLinearRing* ring : *g.toPolygon()) restartRing(*ring, starts);
  } else if (flat(g) == wkbMultiPolygon) {
    for (OGRPolygon* part : *g.toMultiPolygon()) restartRings(*part, starts);
  }
}

/// One polygon, a multipolygon of several, or an empty polygon for none.
GeometryPtr assemble(std::vector<GeometryPtr>& polygons) {
  if (polygons.empty()) return GeometryPtr(new OGRPolygon());
  if (polygons.size() == 1) return std::move(polygons.front());
  auto multi = std::make_unique<OGRMultiPolygon>();
  for (auto& p : polygons) multi->addGeometryDirectly(p.release());
  return GeometryPtr(multi.release());
}

OGRRawPoint catmullRom(const OGRRawPoint& p0, const OGRRawPoint& p1, const OGRRawPoint& p2,
                       const OGRRawPoint& p3, double t) {
  const double t2 = t * t;
  const double t3 = t2 * t;
  auto blend = [&](double a, double b, double c, double d) {
    return 0.5 * (2.0 * b + (-a + c) * t + (2.0 * a - 5.0 * b + 4.0 * c - d) * t2 +
                  (-a + 3.0 * b - 3.0 * c + d) * t3);
  };
  return OGRRawPoint(blend(p0.x, p1.x, p2.x, p3.x), blend(p0.y, p1.y, p2.y, p3.y));
}

void smoothCurve(OGRSimpleCurve& curve) {
  std::vector<OGRRawPoint> v;
  for (int i = 0; i < curve.getNumPoints(); ++i) v.emplace_back(curve.getX(i), curve.getY(i));
  const bool closed = v.size() > 3 && v.front().x == v.back().x && v.front().y == v.back().y;
  if (closed) v.pop_back();
  const int n = static_cast<int>(v.size());
  if (n < 3) return;
  auto at = [&](int i) -> const OGRRawPoint& {
    if (closed) return v[static_cast<std::size_t>((i % n + n) % n)];
    return v[static_cast<std::size_t>(i < 0 ? 0 : (i >= n ? n - 1 : i))];
  };
  std::vector<OGRRawPoint> out;
  const int segments = closed ? n : n - 1;
  out.reserve(static_cast<std::size_t>(segments * kSmoothStepsPerSegment + 1));
  for (int i = 0; i < segments; ++i) {
    out.push_back(at(i));
    for (int k = 1; k < kSmoothStepsPerSegment; ++k) {
      out.push_back(catmullRom(at(i - 1), at(i), at(i + 1), at(i + 2),
                               static_cast<double>(k) / kSmoothStepsPerSegment));
    }
  }
  out.push_back(closed ? v.front() : v.back());
  curve.setPoints(static_cast<int>(out.size()), out.data());
}

void smoothInPlace(OGRGeometry& g) {
  switch (flat(g)) {
    case wkbLineString:
    case wkbLinearRing:
      smoothCurve(*g.toSimpleCurve());
      break;
    case wkbPolygon:
      for (OGRLinearRing* ring : *g.toPolygon()) smoothCurve(*ring);
      break;
    case wkbMultiLineString:
    case wkbMultiPolygon:
    case wkbGeometryCollection:
      for (OGRGeometry* part : *g.toGeometryCollection()) smoothInPlace(*part);
      break;
    default:
      break;
  }
}

bool sameShapeWithin(const OGRGeometry& a, const OGRGeometry& b, double tol) {
  if (flat(a) != flat(b)) return false;
  switch (flat(a)) {
    case wkbPoint: {
      const OGRPoint* p = a.toPoint();
      const OGRPoint* q = b.toPoint();
      return std::fabs(p->getX() - q->getX()) <= tol && std::fabs(p->getY() - q->getY()) <= tol;
    }
    case wkbLineString:
    case wkbLinearRing: {
      const OGRSimpleCurve* c = a.toSimpleCurve();
      const OGRSimpleCurve* d = b.toSimpleCurve();
      if (c->getNumPoints() != d->getNumPoints()) return false;
      for (int i = 0; i < c->getNumPoints(); ++i) {
        if (std::fabs(c->getX(i) - d->getX(i)) > tol || std::fabs(c->getY(i) - d->getY(i)) > tol)
          return false;
      }
      return true;
    }
    case wkbPolygon: {
      const OGRPolygon* p = a.toPolygon();
      const OGRPolygon* q = b.toPolygon();
      if (p->getNumInteriorRings() != q->getNumInteriorRings() || p->IsEmpty() != q->IsEmpty()) return false;
      if (p->IsEmpty()) return true;
      if (!sameShapeWithin(*p->getExteriorRing(), *q->getExteriorRing(), tol)) return false;
      for (int i = 0; i < p->getNumInteriorRings(); ++i) {
        if (!sameShapeWithin(*p->getInteriorRing(i), *q->getInteriorRing(i), tol)) return false;
      }
      return true;
    }
    case wkbMultiPoint:
    case wkbMultiLineString:
    case wkbMultiPolygon:
    case wkbGeometryCollection: {
      const OGRGeometryCollection* c = a.toGeometryCollection();
      const OGRGeometryCollection* d = b.toGeometryCollection();
      if (c->getNumGeometries() != d->getNumGeometries()) return false;
      for (int i = 0; i < c->getNumGeometries(); ++i) {
        if (!sameShapeWithin(*c->getGeometryRef(i), *d->getGeometryRef(i), tol)) return false;
      }
      return true;
    }
    default:
      return false;
  }
}

/// GEOS refuses some invalid inputs (a self-touching contour ring); a repaired copy is
/// topologically what the caller meant.
GeometryPtr repaired(const OGRGeometry& g) {
  if (g.IsValid()) return GeometryPtr(g.clone());
  const bool polygonal = flat(g) == wkbPolygon || flat(g) == wkbMultiPolygon;
  // STRUCTURE keeps what lies inside the outer rings and outside the holes, merging parts
  // that overlap, rather than tracing the linework.
  const char* structure[] = {"METHOD=STRUCTURE", nullptr};
  GeometryPtr fixed(g.MakeValid(polygonal ? structure : nullptr));
  return fixed ? std::move(fixed) : GeometryPtr(g.clone());
}

GeometryPtr overlay(const OGRGeometry& a, const OGRGeometry& b, bool isUnion) {
  ErrorCollector errors;
  auto run = [&](const OGRGeometry& x, const OGRGeometry& y) {
    return GeometryPtr(isUnion ? x.Union(&y) : x.Difference(&y));
  };
  GeometryPtr result = run(a, b);
  if (!result) {
    GeometryPtr fa = repaired(a);
    GeometryPtr fb = repaired(b);
    result = run(*fa, *fb);
  }
  if (!result)
    failWithGdal(isUnion ? "cannot unite the geometries" : "cannot subtract the geometries", &errors);
  return result;
}

/// Signed area of a ring by the shoelace formula: positive when anticlockwise (x east, y
/// north). The ring may be given closed or open.
double signedRingArea(const OGRSimpleCurve& ring) {
  const int n = ring.getNumPoints();
  if (n < 3) return 0.0;
  // Coordinates relative to the first vertex keep the cross products small for projected
  // coordinates in the millions.
  const double x0 = ring.getX(0);
  const double y0 = ring.getY(0);
  double twice = 0.0;
  for (int i = 0; i < n; ++i) {
    const int j = (i + 1) % n;
    twice += (ring.getX(i) - x0) * (ring.getY(j) - y0) - (ring.getX(j) - x0) * (ring.getY(i) - y0);
  }
  return twice / 2.0;
}

/// Reverses rings where needed so that exterior rings run clockwise and interior rings
/// anticlockwise. Reversal keeps each ring's start point. Works on polygons, multipolygons
/// and collections; other geometries are left alone.
void orientRings(OGRGeometry& geometry) {
  switch (flat(geometry)) {
    case wkbPolygon: {
      bool exterior = true;
      for (OGRLinearRing* ring : *geometry.toPolygon()) {
        const double a = signedRingArea(*ring);
        if ((exterior && a > 0.0) || (!exterior && a < 0.0)) ring->reversePoints();
        exterior = false;
      }
      break;
    }
    case wkbMultiPolygon:
    case wkbGeometryCollection:
      for (OGRGeometry* part : *geometry.toGeometryCollection()) orientRings(*part);
      break;
    default:
      break;
  }
}

}  // namespace

bool contains(const OGRGeometry& outer, const OGRGeometry& inner) {
  ErrorCollector quiet;
  // GEOS answers "false" with an error for a self-intersecting ring (a contour closed across
  // itself); the repaired ring answers the question that was meant.
  GeometryPtr a = repaired(outer);
  GeometryPtr b = repaired(inner);
  return a->Contains(b.get()) != FALSE;
}

GeometryPtr difference(const OGRGeometry& a, const OGRGeometry& b) { return overlay(a, b, false); }

GeometryPtr unite(const OGRGeometry& a, const OGRGeometry& b) { return overlay(a, b, true); }

GeometryPtr uniteAll(std::span<const OGRGeometry* const> geometries) {
  ErrorCollector errors;
  OGRPreparedGeometryUniquePtr first;
  if (!geometries.empty() && !geometries.front()->IsEmpty())
    first.reset(
        OGRCreatePreparedGeometry(OGRGeometry::ToHandle(const_cast<OGRGeometry*>(geometries.front()))));
  std::vector<GeometryPtr> parts;
  for (std::size_t i = 0; i < geometries.size(); ++i) {
    const OGRGeometry* g = geometries[i];
    if (i > 0 && first &&
        OGRPreparedGeometryContains(first.get(), OGRGeometry::ToHandle(const_cast<OGRGeometry*>(g))) != 0)
      continue;
    collectPolygons(*g, parts);
  }
  if (parts.empty()) return GeometryPtr(new OGRPolygon());
  if (parts.size() == 1) return std::move(parts.front());
  OGRMultiPolygon multi;
  for (GeometryPtr& part : parts) multi.addGeometryDirectly(part.release());
  GeometryPtr result(multi.UnionCascaded());
  if (!result) {
    // GEOS refuses some invalid parts; their repaired copies are what the caller meant.
    OGRMultiPolygon fixed;
    std::vector<GeometryPtr> repairedParts;
    for (const OGRPolygon* part : multi) collectPolygons(*repaired(*part), repairedParts);
    for (GeometryPtr& part : repairedParts) fixed.addGeometryDirectly(part.release());
    result.reset(fixed.UnionCascaded());
  }
  if (!result) failWithGdal("cannot unite the geometries", &errors);
  return result;
}

GeometryPtr simplifyPolygonal(const OGRGeometry& geometry) {
  std::vector<GeometryPtr> polygons;
  collectPolygons(geometry, polygons);
  const std::vector<OGRPoint> starts = ringStarts(polygons);

  std::vector<GeometryPtr> cleaned;
  for (const auto& p : polygons) {
    if (GeometryPtr c = cleanPolygon(*p->toPolygon())) cleaned.push_back(std::move(c));
  }
  GeometryPtr result = assemble(cleaned);

  ErrorCollector errors;
  if (!result->IsEmpty() && !result->IsValid()) {
    GeometryPtr fixed = repaired(*result);
    if (!fixed || !fixed->IsValid()) fixed.reset(result->Buffer(0.0));
    if (!fixed) failWithGdal("cannot simplify the polygon", &errors);
    std::vector<GeometryPtr> parts;
    collectPolygons(*fixed, parts);
    result = assemble(parts);
  }
  orientRings(*result);
  restartRings(*result, starts);
  return result;
}

GeometryPtr densify(const OGRGeometry& geometry, double maxSegmentLength) {
  GeometryPtr copy(geometry.clone());
  if (std::isfinite(maxSegmentLength) && maxSegmentLength > 0.0) copy->segmentize(maxSegmentLength);
  return copy;
}

GeometryPtr smooth(const OGRGeometry& geometry) {
  GeometryPtr copy(geometry.clone());
  smoothInPlace(*copy);
  return copy;
}

bool equalWithin(const OGRGeometry& a, const OGRGeometry& b, double tolerance) {
  if (a.IsEmpty() || b.IsEmpty()) return a.IsEmpty() && b.IsEmpty();
  if (flat(a) == wkbPoint && flat(b) == wkbPoint) return sameShapeWithin(a, b, tolerance);
  ErrorCollector quiet;
  GeometryPtr na(a.Normalize());
  GeometryPtr nb(b.Normalize());
  if (na && nb && sameShapeWithin(*na, *nb, tolerance)) return true;
  return a.Equals(&b) != FALSE;
}

}  // namespace orvex::platform::gdal
