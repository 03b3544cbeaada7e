#pragma once

// Spatial references on OGR/PROJ, always in traditional GIS axis order (x = easting or
// longitude), whatever order the authority defines.

#include <optional>
#include <string>
#include <string_view>

#include "platform/gdal/gdal_handles.h"

namespace orvex::platform::gdal {

/// A reference from an EPSG code. Throws, naming the code, when PROJ does not know it.
SpatialRefPtr srsFromEpsg(int code);

/// A reference from WKT in the OGC dialect or in the dialect that .prj files hold, or from a
/// PROJ string. Throws when PROJ cannot read the text.
SpatialRefPtr srsFromWkt(std::string_view wkt);

/// An independent copy in traditional GIS order.
SpatialRefPtr cloneSrs(const OGRSpatialReference& srs);

/// The reference's own name ("WGS 84 / UTM zone 33N" for EPSG 32633, the PROJCS name of a
/// .prj). Empty for a reference without a name.
std::string srsName(const OGRSpatialReference& srs);

/// OGC WKT (WKT1, the form shapefile readers understand best). Throws when OGR cannot export.
std::string srsWkt(const OGRSpatialReference& srs);

/// The EPSG code when the reference is, or can be identified as, an EPSG definition.
std::optional<int> srsEpsgCode(const OGRSpatialReference& srs);

/// Whether two references describe the same coordinate system (axis order ignored).
bool sameSrs(const OGRSpatialReference& a, const OGRSpatialReference& b);

/// The xy tolerance within which two coordinates count as equal: for a geographic system the
/// angle that 1 mm spans on the WGS 1984 equator (8.983153e-9 degrees, in the system's angular
/// unit); 0.001 of the system's own unit for projected systems and when the reference is
/// absent or unknown.
double xyTolerance(const OGRSpatialReference* srs);

/// Projects points from one reference to another, in traditional GIS order on both sides.
class PointProjector {
 public:
  /// Throws when PROJ finds no transformation between the two.
  PointProjector(const OGRSpatialReference& from, const OGRSpatialReference& to);

  /// Projects one point in place. Throws with the coordinates when the point cannot be
  /// projected (for example a latitude beyond 90 degrees).
  void project(double& x, double& y) const;

 private:
  TransformPtr transform_;
};

}  // namespace orvex::platform::gdal
