#pragma once

#include <span>

#include "host/geometry.h"

namespace orvex::host {

/// Geometry operations the host provides (planar, in the geometries' own coordinates). Results
/// carry the spatial reference of the first argument. Inputs of a type an operation does not
/// take throw `Error` (kInvalidArgument).
///
/// `area`, `length` and `boundingBox` have plain implementations here; the others are the
/// platform's (a computational-geometry library).
class GeometryService {
 public:
  virtual ~GeometryService();

  /// Polygon area, outer rings minus holes (`Polygon::area`); 0 for other types and for the
  /// null geometry.
  virtual double area(const Geometry& g) const;
  /// Polyline length or polygon perimeter (every ring); 0 for points and the null geometry.
  virtual double length(const Geometry& g) const;
  /// Bounding box; empty for empty geometries.
  virtual Envelope boundingBox(const Geometry& g) const { return g.envelope(); }

  /// True when `b` lies in `a` with no point of `b` in `a`'s exterior and at least one interior
  /// point in common (a polygon does not contain its own boundary line). Empty: false.
  virtual bool contains(const Geometry& a, const Geometry& b) const = 0;
  /// `within(a, b)` is `contains(b, a)`.
  virtual bool within(const Geometry& a, const Geometry& b) const = 0;
  /// `a` minus `b` for polygons, simplified (host orientation). Empty when nothing is left.
  virtual Polygon difference(const Polygon& a, const Polygon& b) const = 0;
  /// `a` united with `b` for polygons, simplified (host orientation).
  virtual Polygon unite(const Polygon& a, const Polygon& b) const = 0;
  /// The union of every polygon, simplified (host orientation); empty for none. A polygon the
  /// first one contains adds nothing and costs no overlay: pass the union so far first.
  virtual Polygon uniteAll(std::span<const Polygon> polygons) const = 0;
  /// Makes a polygon valid and oriented by the host's rule: self-intersections resolved,
  /// repeated vertices and zero-area rings removed, outer rings clockwise, holes anticlockwise,
  /// every ring closed. A ring that needs no repair keeps its start vertex and its vertex
  /// order apart from the orientation fix.
  virtual Polygon simplify(const Polygon& polygon) const = 0;
  /// Inserts vertices so that no segment is longer than `maxSegmentLength` (> 0; otherwise the
  /// geometry is returned unchanged). Straight segments stay straight, so `maxDeviation` is
  /// accepted for curves and has no effect on them. Points and multipoints are returned as
  /// they are.
  virtual Geometry densify(const Geometry& g, double maxSegmentLength, double maxDeviation) const = 0;
  /// Smooths polylines and polygon rings into curves through their vertices, approximated by
  /// dense vertices (ends, ring starts and orientation kept). `maxAllowableOffset` 0 keeps the
  /// curve as densely sampled as the platform's default.
  virtual Geometry smooth(const Geometry& g, double maxAllowableOffset) const = 0;
  /// Same type and the same coordinates within the xy tolerance of `a`'s spatial reference
  /// (0.001 units when `a` has none). Two empty geometries of the same type are equal.
  virtual bool equals(const Geometry& a, const Geometry& b) const = 0;
};

}  // namespace orvex::host
