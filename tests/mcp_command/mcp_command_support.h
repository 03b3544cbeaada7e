#pragma once

// Helpers of the MCP command tests: convex hulls by GEOS through OGR, besides the shared
// shapefile read-back and `orvex` runner.

#include <ogrsf_frmts.h>

#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "headless/headless_fixtures.h"
#include "support/orvex_process.h"
#include "support/shapefile_readback.h"

namespace orvex::test {

/// Area of the convex hull of the points, by GEOS: an algorithm independent of the gift
/// wrapping under test.
inline double geosHullArea(const std::vector<std::pair<double, double>>& points) {
  OGRMultiPoint multipoint;
  for (const auto& [x, y] : points) {
    OGRPoint p(x, y);
    multipoint.addGeometry(&p);
  }
  std::unique_ptr<OGRGeometry> hull(multipoint.ConvexHull());
  if (!hull || wkbFlatten(hull->getGeometryType()) != wkbPolygon) return 0.0;
  return hull->toPolygon()->get_Area();
}

inline bool contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

inline std::filesystem::path sharedData() { return ORVEX_SHARED_DATA; }

}  // namespace orvex::test
