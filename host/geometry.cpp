#include "host/geometry.h"

#include <algorithm>

namespace orvex::host {
namespace {

template <class Points>
Envelope envelopeOf(const Points& points) {
  Envelope e;
  for (const Point& p : points) e.expand(p);
  return e;
}

double pathLength(std::span<const Point> path) {
  double total = 0.0;
  for (std::size_t i = 1; i < path.size(); ++i) total += distance(path[i - 1], path[i]);
  return total;
}

}  // namespace

double distance(const Point& a, const Point& b) { return std::hypot(b.x - a.x, b.y - a.y); }

void Envelope::expand(const Point& p) {
  if (p.isEmpty()) return;
  if (isEmpty()) {
    xmin = xmax = p.x;
    ymin = ymax = p.y;
    return;
  }
  xmin = std::min(xmin, p.x);
  xmax = std::max(xmax, p.x);
  ymin = std::min(ymin, p.y);
  ymax = std::max(ymax, p.y);
}

void Envelope::expand(const Envelope& other) {
  if (other.isEmpty()) return;
  expand(Point{other.xmin, other.ymin});
  expand(Point{other.xmax, other.ymax});
}

bool Envelope::contains(const Point& p) const {
  return !isEmpty() && !p.isEmpty() && p.x >= xmin && p.x <= xmax && p.y >= ymin && p.y <= ymax;
}

Envelope Multipoint::envelope() const { return envelopeOf(points); }

bool Polyline::isEmpty() const {
  return std::all_of(paths.begin(), paths.end(), [](const Path& p) { return p.empty(); });
}

Envelope Polyline::envelope() const {
  Envelope e;
  for (const Path& path : paths) e.expand(envelopeOf(path));
  return e;
}

double Polyline::length() const {
  double total = 0.0;
  for (const Path& path : paths) total += pathLength(path);
  return total;
}

bool Polygon::isEmpty() const {
  return std::all_of(rings.begin(), rings.end(), [](const Ring& r) { return r.empty(); });
}

Envelope Polygon::envelope() const {
  Envelope e;
  for (const Ring& ring : rings) e.expand(envelopeOf(ring));
  return e;
}

double Polygon::area() const {
  double total = 0.0;
  for (const Ring& ring : rings) total += signedRingArea(ring);
  return total;
}

double Polygon::perimeter() const {
  double total = 0.0;
  for (const Ring& ring : rings) total += ringLength(ring);
  return total;
}

double signedRingArea(std::span<const Point> ring) {
  if (ring.size() < 3) return 0.0;
  // Shoelace sum relative to the first vertex, which keeps precision for coordinates far from
  // the origin (UTM northings of millions of metres). The shoelace is positive for
  // anticlockwise travel; the host's positive orientation is clockwise.
  const Point origin = ring[0];
  double twiceArea = 0.0;
  for (std::size_t i = 1; i + 1 < ring.size(); ++i) {
    const double ax = ring[i].x - origin.x;
    const double ay = ring[i].y - origin.y;
    const double bx = ring[i + 1].x - origin.x;
    const double by = ring[i + 1].y - origin.y;
    twiceArea += ax * by - bx * ay;
  }
  return -twiceArea / 2.0;
}

void closeRing(Ring& ring) {
  if (ring.size() < 2) return;
  if (!(ring.front() == ring.back())) ring.push_back(ring.front());
}

void reverseRing(Ring& ring) {
  if (ring.size() < 3) return;
  const bool closed = ring.front() == ring.back();
  const auto last = closed ? ring.end() - 1 : ring.end();
  std::reverse(ring.begin() + 1, last);
}

void orientRing(Ring& ring, bool clockwise) {
  const double area = signedRingArea(ring);
  if (area == 0.0) return;
  if ((area > 0.0) != clockwise) reverseRing(ring);
}

double ringLength(std::span<const Point> ring) {
  if (ring.size() < 2) return 0.0;
  double total = pathLength(ring);
  if (!(ring.front() == ring.back())) total += distance(ring.back(), ring.front());
  return total;
}

GeometryType Geometry::type() const {
  switch (shape_.index()) {
    case 1:
      return GeometryType::Point;
    case 2:
      return GeometryType::Multipoint;
    case 3:
      return GeometryType::Polyline;
    case 4:
      return GeometryType::Polygon;
    default:
      return GeometryType::Null;
  }
}

bool Geometry::isEmpty() const {
  return std::visit(
      [](const auto& s) {
        using T = std::decay_t<decltype(s)>;
        if constexpr (std::is_same_v<T, std::monostate>)
          return true;
        else
          return s.isEmpty();
      },
      shape_);
}

Envelope Geometry::envelope() const {
  return std::visit(
      [](const auto& s) {
        using T = std::decay_t<decltype(s)>;
        if constexpr (std::is_same_v<T, std::monostate>) {
          return Envelope{};
        } else if constexpr (std::is_same_v<T, Point>) {
          Envelope e;
          e.expand(s);
          return e;
        } else {
          return s.envelope();
        }
      },
      shape_);
}

}  // namespace orvex::host
