#pragma once

#include <cmath>
#include <limits>
#include <span>
#include <variant>
#include <vector>

#include "host/spatial_reference.h"

namespace orvex::host {

/// Geometry type codes as the design numbers them.
enum class GeometryType { Null = 0, Point = 1, Multipoint = 2, Polyline = 3, Polygon = 4 };

/// A position. Empty when either coordinate is NaN (the default).
struct Point {
  double x = std::numeric_limits<double>::quiet_NaN();
  double y = std::numeric_limits<double>::quiet_NaN();

  bool isEmpty() const { return std::isnan(x) || std::isnan(y); }
  /// Exact coordinate equality (NaN never equal); tolerance-aware equality is
  /// `GeometryService::equals`.
  bool operator==(const Point& other) const { return x == other.x && y == other.y; }
};

/// Euclidean distance; NaN when either point is empty.
double distance(const Point& a, const Point& b);

/// Axis-aligned bounding box. Empty (all NaN) until a non-empty point is added.
struct Envelope {
  double xmin = std::numeric_limits<double>::quiet_NaN();
  double ymin = std::numeric_limits<double>::quiet_NaN();
  double xmax = std::numeric_limits<double>::quiet_NaN();
  double ymax = std::numeric_limits<double>::quiet_NaN();

  bool isEmpty() const {
    return std::isnan(xmin) || std::isnan(ymin) || std::isnan(xmax) || std::isnan(ymax);
  }
  double width() const { return isEmpty() ? 0.0 : xmax - xmin; }
  double height() const { return isEmpty() ? 0.0 : ymax - ymin; }
  /// Grows to hold the point; empty points are ignored.
  void expand(const Point& p);
  void expand(const Envelope& other);
  bool contains(const Point& p) const;  ///< boundary included
  bool operator==(const Envelope&) const = default;
};

/// An ordered set of points (the MCP point buffer). Order is insertion order.
struct Multipoint {
  std::vector<Point> points{};

  bool isEmpty() const { return points.empty(); }
  Envelope envelope() const;
};

/// A connected sequence of vertices.
using Path = std::vector<Point>;

/// One or more paths (contour lines, track segments).
struct Polyline {
  std::vector<Path> paths{};

  bool isEmpty() const;
  Envelope envelope() const;
  /// Planar length: the sum of segment lengths of every path.
  double length() const;
};

/// A closed path: the last vertex repeats the first. The host holds outer rings clockwise and
/// holes anticlockwise (y axis pointing north).
using Ring = std::vector<Point>;

/// Rings of one polygon: outer rings clockwise, holes anticlockwise, as the host holds them
/// after `GeometryService::simplify`. Several outer rings make a multi-part polygon.
struct Polygon {
  std::vector<Ring> rings{};

  bool isEmpty() const;
  Envelope envelope() const;
  /// Planar area: the sum of `signedRingArea` over the rings, i.e. outer rings minus holes when
  /// orientation follows the host's rule. Positive for a correctly oriented polygon.
  double area() const;
  /// Planar boundary length: the sum of the lengths of every ring.
  double perimeter() const;
};

// Plain-ring helpers. A ring passed here may or may not repeat its first vertex at the end;
// the closing segment is always included.

/// Shoelace area of a ring, positive when the ring runs clockwise (the host's outer-ring
/// orientation), negative when anticlockwise, 0 for fewer than 3 distinct vertices.
double signedRingArea(std::span<const Point> ring);
/// Appends the first vertex when the ring does not already end on it; rings of fewer than
/// 2 vertices are left alone.
void closeRing(Ring& ring);
/// Reverses the direction of travel keeping the start vertex first (and last, when closed):
/// [a b c d a] becomes [a d c b a].
void reverseRing(Ring& ring);
/// Makes the ring clockwise (`clockwise` true) or anticlockwise by `reverseRing` when needed;
/// a ring without area is left alone.
void orientRing(Ring& ring, bool clockwise);
/// Length of the ring including the closing segment.
double ringLength(std::span<const Point> ring);

/// A shape with its spatial reference. The null geometry (no shape) is what a feature without
/// geometry holds.
class Geometry {
 public:
  using Shape = std::variant<std::monostate, Point, Multipoint, Polyline, Polygon>;

  Geometry() = default;
  Geometry(Shape shape, SpatialReferencePtr spatialReference = {})  // NOLINT: implicit by design
      : shape_(std::move(shape)), spatialReference_(std::move(spatialReference)) {}
  Geometry(Point p, SpatialReferencePtr sr = {}) : Geometry(Shape(p), std::move(sr)) {}  // NOLINT
  Geometry(Multipoint m, SpatialReferencePtr sr = {})
      : Geometry(Shape(std::move(m)), std::move(sr)) {}  // NOLINT
  Geometry(Polyline l, SpatialReferencePtr sr = {})
      : Geometry(Shape(std::move(l)), std::move(sr)) {}  // NOLINT
  Geometry(Polygon p, SpatialReferencePtr sr = {})
      : Geometry(Shape(std::move(p)), std::move(sr)) {}  // NOLINT

  GeometryType type() const;
  /// True for the null geometry and for a shape without coordinates (an empty point, a
  /// polygon without rings).
  bool isEmpty() const;

  /// The shape when it has that type, else nullptr.
  const Point* point() const { return std::get_if<Point>(&shape_); }
  const Multipoint* multipoint() const { return std::get_if<Multipoint>(&shape_); }
  const Polyline* polyline() const { return std::get_if<Polyline>(&shape_); }
  const Polygon* polygon() const { return std::get_if<Polygon>(&shape_); }
  Point* point() { return std::get_if<Point>(&shape_); }
  Multipoint* multipoint() { return std::get_if<Multipoint>(&shape_); }
  Polyline* polyline() { return std::get_if<Polyline>(&shape_); }
  Polygon* polygon() { return std::get_if<Polygon>(&shape_); }

  const Shape& shape() const { return shape_; }
  Shape& shape() { return shape_; }

  /// May be null (no coordinate system attached).
  const SpatialReferencePtr& spatialReference() const { return spatialReference_; }
  void setSpatialReference(SpatialReferencePtr sr) { spatialReference_ = std::move(sr); }

  Envelope envelope() const;

 private:
  Shape shape_;
  SpatialReferencePtr spatialReference_;
};

}  // namespace orvex::host
