#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace orvex::host {

struct Point;

/// A coordinate system. Immutable and shared: geometries, feature classes, layers and maps hold
/// it by `SpatialReferencePtr`. Coordinates are always in traditional GIS axis order: x is the
/// easting or longitude, y the northing or latitude, whatever the authority's axis order.
class SpatialReference {
 public:
  virtual ~SpatialReference();

  /// The coordinate system's own name, e.g. "WGS 84 / UTM zone 12N" or "WGS 84"; "Unknown" for
  /// the unknown coordinate system. The observation-fields tool tests it for the text "UTM".
  virtual std::string name() const = 0;
  /// Well-known text (WKT1 as shapefile .prj files hold it); empty for the unknown system.
  virtual std::string wkt() const = 0;
  /// The EPSG code when the system is identified with one (4326 for WGS 1984).
  virtual std::optional<int> epsg() const = 0;
  virtual bool isGeographic() const = 0;
  virtual bool isProjected() const = 0;
  /// True for the unknown coordinate system (neither geographic nor projected).
  bool isUnknown() const { return !isGeographic() && !isProjected(); }
  /// XY tolerance in the system's units: two coordinates closer than this are equal for
  /// `GeometryService::equals`. Geographic systems: 8.983153e-9 degrees (about 1 mm); projected
  /// and unknown ones: 0.001 units.
  virtual double xyTolerance() const = 0;
  /// Same coordinate system (same datum, projection, parameters and units); names may differ.
  virtual bool isSame(const SpatialReference& other) const = 0;
};

using SpatialReferencePtr = std::shared_ptr<const SpatialReference>;

/// EPSG code of the geographic WGS 1984 system.
inline constexpr int kWgs84Epsg = 4326;

/// Makes spatial references and projects points between them.
class SpatialReferenceFactory {
 public:
  virtual ~SpatialReferenceFactory();

  /// Throws `Error` (kInvalidArgument) when the code is not a known coordinate system.
  virtual SpatialReferencePtr fromEpsg(int code) const = 0;
  /// Accepts WKT1, WKT2 and PROJ strings; throws `Error` (kInvalidArgument) when unreadable.
  virtual SpatialReferencePtr fromWkt(std::string_view wkt) const = 0;
  /// The unknown coordinate system (what a shapefile without .prj has).
  virtual SpatialReferencePtr unknown() const = 0;
  /// Geographic WGS 1984, code 4326.
  SpatialReferencePtr wgs84() const { return fromEpsg(kWgs84Epsg); }

  /// Projects one point. An empty point stays empty; the same system on both sides returns the
  /// point unchanged. Throws `Error` (kFail) when either system is unknown while they differ, or
  /// when the transformation fails for this point.
  virtual Point project(const Point& point, const SpatialReference& from,
                        const SpatialReference& to) const = 0;
};

}  // namespace orvex::host
