#pragma once

// The host's geometry service on OGR geometries and GEOS.

#include "host/geometry_service.h"

namespace orvex::platform::gdal {

class OgrGeometryService final : public host::GeometryService {
 public:
  bool contains(const host::Geometry& a, const host::Geometry& b) const override;
  bool within(const host::Geometry& a, const host::Geometry& b) const override;
  host::Polygon difference(const host::Polygon& a, const host::Polygon& b) const override;
  host::Polygon unite(const host::Polygon& a, const host::Polygon& b) const override;
  host::Polygon uniteAll(std::span<const host::Polygon> polygons) const override;
  host::Polygon simplify(const host::Polygon& polygon) const override;
  host::Geometry densify(const host::Geometry& g, double maxSegmentLength,
                         double maxDeviation) const override;
  /// The curve passes through every vertex whatever `maxAllowableOffset` is; the offset is
  /// accepted for the interface's sake.
  host::Geometry smooth(const host::Geometry& g, double maxAllowableOffset) const override;
  bool equals(const host::Geometry& a, const host::Geometry& b) const override;
};

}  // namespace orvex::platform::gdal
