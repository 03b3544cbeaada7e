#include "platform/gdal/spatial_refs.h"

#include <cpl_conv.h>

#include <cmath>
#include <cstdlib>
#include <sstream>

#include "platform/gdal/gdal_session.h"

namespace orvex::platform::gdal {
namespace {

/// One millimetre, the finest distance a field survey of animal locations can tell apart.
constexpr double kToleranceMetres = 0.001;
/// WGS 1984 semi-major axis, for turning the metric tolerance into an angle.
constexpr double kEquatorialRadiusMetres = 6378137.0;
constexpr double kPi = 3.14159265358979323846;
/// Tolerance of projected and unknown systems, in their own units.
constexpr double kPlanarTolerance = 0.001;

SpatialRefPtr newTraditional() {
  ensureGdalReady();
  SpatialRefPtr srs(new OGRSpatialReference());
  srs->SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
  return srs;
}

std::string shortened(std::string_view text) {
  constexpr std::size_t kShown = 60;
  return text.size() <= kShown ? std::string(text) : std::string(text.substr(0, kShown)) + "...";
}

}  // namespace

SpatialRefPtr srsFromEpsg(int code) {
  SpatialRefPtr srs = newTraditional();
  ErrorCollector errors;
  if (srs->importFromEPSG(code) != OGRERR_NONE) {
    failWithGdal("unknown spatial reference EPSG:" + std::to_string(code), &errors);
  }
  return srs;
}

SpatialRefPtr srsFromWkt(std::string_view wkt) {
  SpatialRefPtr srs = newTraditional();
  ErrorCollector errors;
  const std::string text(wkt);
  // SetFromUserInput recognises both WKT dialects; restricting it to WKT keeps it from
  // treating arbitrary text as a file name or URL.
  if (text.empty() ||
      srs->SetFromUserInput(text.c_str(), OGRSpatialReference::SET_FROM_USER_INPUT_LIMITATIONS_get()) !=
          OGRERR_NONE) {
    failWithGdal("not a spatial reference in WKT: \"" + shortened(text) + "\"", &errors);
  }
  return srs;
}

SpatialRefPtr cloneSrs(const OGRSpatialReference& srs) {
  SpatialRefPtr copy(srs.Clone());
  copy->SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
  return copy;
}

std::string srsName(const OGRSpatialReference& srs) {
  const char* name = srs.GetName();
  return name != nullptr ? std::string(name) : std::string();
}

std::string srsWkt(const OGRSpatialReference& srs) {
  char* raw = nullptr;
  ErrorCollector errors;
  const OGRErr err = srs.exportToWkt(&raw);
  CplText owned(raw);
  if (err != OGRERR_NONE || !owned) failWithGdal("cannot write the spatial reference as WKT", &errors);
  return owned.get();
}

std::optional<int> srsEpsgCode(const OGRSpatialReference& srs) {
  auto codeOf = [](const OGRSpatialReference& s) -> std::optional<int> {
    const char* authority = s.GetAuthorityName(nullptr);
    const char* code = s.GetAuthorityCode(nullptr);
    if (authority != nullptr && code != nullptr && EQUAL(authority, "EPSG")) return std::atoi(code);
    return std::nullopt;
  };
  if (auto code = codeOf(srs)) return code;
  // A .prj file carries no authority; ask PROJ for the one match it is sure of.
  SpatialRefPtr copy = cloneSrs(srs);
  ErrorCollector quiet;
  if (copy->AutoIdentifyEPSG() == OGRERR_NONE) return codeOf(*copy);
  return std::nullopt;
}

bool sameSrs(const OGRSpatialReference& a, const OGRSpatialReference& b) {
  const char* options[] = {"IGNORE_DATA_AXIS_TO_SRS_AXIS_MAPPING=YES", nullptr};
  return a.IsSame(&b, options) != 0;
}

double xyTolerance(const OGRSpatialReference* srs) {
  if (srs == nullptr || srs->IsEmpty() || !srs->IsGeographic()) return kPlanarTolerance;
  const double radiansPerUnit = srs->GetAngularUnits(nullptr);
  const double radians = kToleranceMetres / kEquatorialRadiusMetres;
  return radiansPerUnit > 0.0 ? radians / radiansPerUnit : radians * 180.0 / kPi;
}

PointProjector::PointProjector(const OGRSpatialReference& from, const OGRSpatialReference& to) {
  SpatialRefPtr source = cloneSrs(from);
  SpatialRefPtr target = cloneSrs(to);
  ErrorCollector errors;
  transform_.reset(OGRCreateCoordinateTransformation(source.get(), target.get()));
  if (!transform_) {
    failWithGdal("no transformation from \"" + srsName(from) + "\" to \"" + srsName(to) + "\"", &errors);
  }
}

void PointProjector::project(double& x, double& y) const {
  double px = x;
  double py = y;
  int ok = 0;
  ErrorCollector errors;
  if (!transform_->Transform(1, &px, &py, nullptr, &ok) || !ok || !std::isfinite(px) || !std::isfinite(py)) {
    std::ostringstream where;
    where.imbue(std::locale::classic());
    where.precision(17);
    where << "cannot project the point (" << x << ", " << y << ")";
    failWithGdal(where.str(), &errors);
  }
  x = px;
  y = py;
}

}  // namespace orvex::platform::gdal
