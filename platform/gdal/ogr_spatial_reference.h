#pragma once

// The host's spatial references and their factory on OGR/PROJ.

#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "host/spatial_reference.h"
#include "platform/gdal/gdal_handles.h"
#include "platform/gdal/spatial_refs.h"

namespace orvex::platform::gdal {

/// A host spatial reference backed by an OGR one in traditional GIS axis order. Without an
/// OGR reference it is the unknown coordinate system.
class OgrSpatialReference final : public host::SpatialReference {
 public:
  /// Takes ownership; null makes the unknown coordinate system.
  explicit OgrSpatialReference(SpatialRefPtr srs);

  std::string name() const override;
  std::string wkt() const override;
  std::optional<int> epsg() const override;
  bool isGeographic() const override;
  bool isProjected() const override;
  double xyTolerance() const override;
  bool isSame(const host::SpatialReference& other) const override;

  /// The OGR reference; null for the unknown system. Never modify it: references are shared.
  const OGRSpatialReference* ogr() const { return srs_.get(); }

 private:
  SpatialRefPtr srs_;
  std::optional<int> epsg_;
};

/// An OGR copy of any host reference (ours are cloned, others read through their WKT); null for
/// a null or unknown reference.
SpatialRefPtr toOgrSrs(const host::SpatialReference* srs);

/// A host reference for an OGR one (cloned); the unknown system for null or an empty one.
host::SpatialReferencePtr fromOgrSrs(const OGRSpatialReference* srs);

/// The spatial-reference factory of the GDAL platform.
class OgrSpatialReferenceFactory final : public host::SpatialReferenceFactory {
 public:
  host::SpatialReferencePtr fromEpsg(int code) const override;
  host::SpatialReferencePtr fromWkt(std::string_view wkt) const override;
  host::SpatialReferencePtr unknown() const override;
  host::Point project(const host::Point& point, const host::SpatialReference& from,
                      const host::SpatialReference& to) const override;

 private:
  // Setting up a PROJ transformation costs far more than using it, and an import projects
  // every fix between the same two systems: the last few are kept, keyed by their WKT.
  static constexpr std::size_t kCachedTransforms = 8;
  mutable std::mutex mutex_;
  mutable std::map<std::string, std::shared_ptr<PointProjector>> projectors_;
};

}  // namespace orvex::platform::gdal
