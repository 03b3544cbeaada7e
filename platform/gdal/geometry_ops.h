#pragma once

// Geometry operations on OGR geometries (GEOS underneath for the topological ones), with the
// ring conventions the host holds: outer rings clockwise, holes anticlockwise.

#include <span>

#include "platform/gdal/gdal_handles.h"

namespace orvex::platform::gdal {

/// Whether `outer` contains `inner` (no point of `inner` outside `outer`, one inside).
bool contains(const OGRGeometry& outer, const OGRGeometry& inner);

/// The part of `a` outside `b`, and the union of both. Throws when GEOS fails (invalid input
/// it cannot repair); an empty result is an empty geometry, never null.
GeometryPtr difference(const OGRGeometry& a, const OGRGeometry& b);
GeometryPtr unite(const OGRGeometry& a, const OGRGeometry& b);

/// The union of the polygonal parts of every geometry (GEOS's cascaded union), not yet
/// simplified. A geometry the first one contains is left out before any overlay (a prepared
/// containment test). Throws like `unite`.
GeometryPtr uniteAll(std::span<const OGRGeometry* const> geometries);

/// The polygonal parts of `geometry` as one topologically valid polygon or multipolygon:
/// repeated vertices dropped, rings without area dropped, self-intersections repaired, rings
/// oriented as the host holds them. Each ring that keeps a vertex at one of the input rings'
/// start points starts there again, so a simplified ring starts where it did. Points and lines
/// give an empty polygon.
GeometryPtr simplifyPolygonal(const OGRGeometry& geometry);

/// A copy with vertices added so that no segment is longer than `maxSegmentLength`. A length
/// that is not positive (or not finite) leaves the geometry as it is.
GeometryPtr densify(const OGRGeometry& geometry, double maxSegmentLength);

/// A copy of lines and rings replaced by a smooth curve through every one of their vertices
/// (a Catmull-Rom spline, closed for rings), approximated by kSmoothStepsPerSegment pieces per
/// original segment. Points are returned unchanged.
inline constexpr int kSmoothStepsPerSegment = 8;
GeometryPtr smooth(const OGRGeometry& geometry);

/// Whether two geometries are equal to within `tolerance`: their vertices match coordinate by
/// coordinate within the tolerance (after GEOS normalisation, so ring starts and part order do
/// not matter), or they are topologically equal.
bool equalWithin(const OGRGeometry& a, const OGRGeometry& b, double tolerance);

}  // namespace orvex::platform::gdal
