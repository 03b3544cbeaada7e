#pragma once

// Conversion between the host's geometries and OGR geometries.

#include "host/geometry.h"
#include "platform/gdal/gdal_handles.h"

namespace orvex::platform::gdal {

/// The OGR form of a host shape: a point, a multipoint, a line string (one path) or multi line
/// string, a polygon (one outer ring) or multipolygon. Null for the null geometry. No spatial
/// reference is attached.
///
/// A host polygon is a list of rings whose orientation tells their role: clockwise rings are
/// outer rings, anticlockwise ones holes. Each hole goes to the smallest outer ring that holds
/// its first vertex; a hole that no outer ring holds is taken as an outer ring drawn the wrong
/// way round. Open rings are closed.
GeometryPtr toOgr(const host::Geometry& geometry);
GeometryPtr toOgr(const host::Polygon& polygon);
GeometryPtr toOgr(const host::Polyline& polyline);

/// The host form of an OGR geometry, carrying `srs`. Curves are approximated by line segments;
/// polygon rings are oriented as the host holds them (outer clockwise, holes anticlockwise,
/// start vertices kept). Null gives the null geometry. A collection mixing kinds keeps its
/// polygonal parts when it has any, else its lines, else its points.
host::Geometry fromOgr(const OGRGeometry* geometry, host::SpatialReferencePtr srs = {});

/// The polygonal parts of an OGR geometry as one host polygon (empty when there are none).
host::Polygon polygonFromOgr(const OGRGeometry& geometry);

/// The linear parts of an OGR geometry as one host polyline (empty when there are none).
host::Polyline polylineFromOgr(const OGRGeometry& geometry);

}  // namespace orvex::platform::gdal
