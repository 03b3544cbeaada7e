#pragma once

// The host's spatial references and their factory on OGR/PROJ.

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "host/spatial_reference.h"
#include "platform/gdal/gdal_handles.h"
#include "platform/gdal/spatial_refs.h"
#include "platform/gdal/srs_summary.h"
#include "platform/gdal/srs_warm_up.h"

namespace orvex::platform::gdal {

/// A host spatial reference backed by an OGR one in traditional GIS axis order. Without an
/// OGR reference it is the unknown coordinate system.
///
/// A reference read from a shapefile's .prj whose answers are known from an earlier run (see
/// srs_summary.h) answers from them and builds its OGR reference only when that is asked for.
class OgrSpatialReference final : public host::SpatialReference {
 public:
  /// Takes ownership; null makes the unknown coordinate system.
  explicit OgrSpatialReference(SpatialRefPtr srs);
  /// The reference of a .prj text, described by its summary; parsed on first use of `ogr`.
  OgrSpatialReference(std::string prjText, SrsSummary summary);

  std::string name() const override;
  std::string wkt() const override;
  std::optional<int> epsg() const override;
  bool isGeographic() const override;
  bool isProjected() const override;
  double xyTolerance() const override;
  bool isSame(const host::SpatialReference& other) const override;

  /// The OGR reference; null for the unknown system. Never modify it: references are shared.
  /// Throws when a summarised reference cannot be rebuilt.
  const OGRSpatialReference* ogr() const;

  /// The .prj text a shapefile writer gives this reference, when known without parsing;
  /// null otherwise.
  const std::string* knownShapefilePrj() const { return summary_ ? &summary_->shapefilePrj : nullptr; }

  /// The text `ogr` will build the reference from, while it has not done so; null once the
  /// OGR reference exists (and with it the process's PROJ set-up).
  const std::string* unbuiltText() const {
    return summary_ && !buildDone_.load(std::memory_order_acquire) ? &summary_->fullWkt : nullptr;
  }

 private:
  mutable std::once_flag built_;
  mutable std::atomic<bool> buildDone_{false};
  mutable SpatialRefPtr srs_;
  std::optional<int> epsg_;
  /// Set for a reference read from a .prj whose answers were known: then `srs_` is built late.
  std::optional<SrsSummary> summary_;
  std::string prjText_;
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
  /// Reads the reference once on a helper thread when this process has not yet read it (see
  /// srs_warm_up.h); the helper is joined when the factory ends.
  void expectRasterOutputs(const host::SpatialReference& reference) const override;

 private:
  mutable SrsWarmUp warmUp_;
  // Setting up a PROJ transformation costs far more than using it, and an import projects
  // every fix between the same two systems: the last few are kept, keyed by their WKT.
  static constexpr std::size_t kCachedTransforms = 8;
  mutable std::mutex mutex_;
  mutable std::map<std::string, std::shared_ptr<PointProjector>> projectors_;
};

}  // namespace orvex::platform::gdal
