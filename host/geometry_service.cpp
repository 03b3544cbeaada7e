#include "host/geometry_service.h"

namespace orvex::host {

double GeometryService::area(const Geometry& g) const {
  const Polygon* polygon = g.polygon();
  return polygon ? polygon->area() : 0.0;
}

double GeometryService::length(const Geometry& g) const {
  if (const Polyline* line = g.polyline()) return line->length();
  if (const Polygon* polygon = g.polygon()) return polygon->perimeter();
  return 0.0;
}

}  // namespace orvex::host
