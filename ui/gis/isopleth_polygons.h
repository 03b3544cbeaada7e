#pragma once

#include <optional>
#include <span>

#include "host/geometry.h"
#include "host/geometry_service.h"

namespace orvex::ui::gis {

/// The polygon a contour line encloses: each path of the line becomes a ring, closed by
/// joining its last vertex to its first when the contour left the raster, and the result is
/// simplified (valid, host orientation, ring starts kept). A degenerate line (fewer than three
/// distinct vertices, no area) gives an empty polygon.
/// @throws host::Error when the geometry service cannot build the polygon.
host::Polygon PolygonFromContour(const host::GeometryService& geometry, const host::Polyline& line);

/// The polygon of one isopleth level from the polygons of that level's contour lines, taken
/// in line order: each further part P is, with respect to the polygon A built so far, the outer
/// ring of A when P contains A (A becomes P minus A), a hole when P lies within A (A minus P),
/// and otherwise a separate island. An island is added as the symmetric difference
/// (A minus P united with P minus A), which is the plain union whenever P and A are disjoint
/// and also resolves a ring lying in a hole of A, or a hole reached before the island inside
/// it, whatever the order of the lines. The result is simplified.
///
/// Returns nothing for a level without contour lines; empty parts (degenerate lines) are
/// skipped, so a level whose lines are all degenerate gives an empty polygon.
std::optional<host::Polygon> AssembleLevelPolygon(const host::GeometryService& geometry,
                                                  std::span<const host::Polygon> parts);

}  // namespace orvex::ui::gis
