#include "platform/gdal/ogr_spatial_reference.h"

#include "host/error.h"
#include "host/geometry.h"
#include "platform/gdal/gdal_session.h"
#include "platform/gdal/spatial_refs.h"

namespace orvex::platform::gdal {
namespace {

/// Name the host gives the unknown coordinate system.
constexpr const char* kUnknownName = "Unknown";

bool isUnknownSrs(const OGRSpatialReference* srs) { return srs == nullptr || srs->IsEmpty(); }

}  // namespace

OgrSpatialReference::OgrSpatialReference(SpatialRefPtr srs) : srs_(std::move(srs)) {
  if (isUnknownSrs(srs_.get())) {
    srs_.reset();
    return;
  }
  srs_->SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
  // Identified once: the lookup asks PROJ's database and the answer never changes.
  epsg_ = srsEpsgCode(*srs_);
}

std::string OgrSpatialReference::name() const {
  if (!srs_) return kUnknownName;
  std::string n = srsName(*srs_);
  return n.empty() ? std::string(kUnknownName) : n;
}

std::string OgrSpatialReference::wkt() const { return srs_ ? srsWkt(*srs_) : std::string(); }

std::optional<int> OgrSpatialReference::epsg() const { return epsg_; }

bool OgrSpatialReference::isGeographic() const { return srs_ && srs_->IsGeographic(); }

bool OgrSpatialReference::isProjected() const { return srs_ && srs_->IsProjected(); }

double OgrSpatialReference::xyTolerance() const { return gdal::xyTolerance(srs_.get()); }

bool OgrSpatialReference::isSame(const host::SpatialReference& other) const {
  if (&other == this) return true;
  SpatialRefPtr theirs = toOgrSrs(&other);
  if (!srs_ || !theirs) return !srs_ && !theirs;
  return sameSrs(*srs_, *theirs);
}

SpatialRefPtr toOgrSrs(const host::SpatialReference* srs) {
  if (srs == nullptr) return nullptr;
  if (const auto* ours = dynamic_cast<const OgrSpatialReference*>(srs)) {
    return ours->ogr() != nullptr ? cloneSrs(*ours->ogr()) : nullptr;
  }
  const std::string text = srs->wkt();
  return text.empty() ? nullptr : srsFromWkt(text);
}

host::SpatialReferencePtr fromOgrSrs(const OGRSpatialReference* srs) {
  return std::make_shared<OgrSpatialReference>(isUnknownSrs(srs) ? nullptr : cloneSrs(*srs));
}

host::SpatialReferencePtr OgrSpatialReferenceFactory::fromEpsg(int code) const {
  try {
    return std::make_shared<OgrSpatialReference>(srsFromEpsg(code));
  } catch (const host::Error& e) {
    throw host::Error(host::kInvalidArgument, e.description());
  }
}

host::SpatialReferencePtr OgrSpatialReferenceFactory::fromWkt(std::string_view wkt) const {
  try {
    return std::make_shared<OgrSpatialReference>(srsFromWkt(wkt));
  } catch (const host::Error& e) {
    throw host::Error(host::kInvalidArgument, e.description());
  }
}

host::SpatialReferencePtr OgrSpatialReferenceFactory::unknown() const {
  return std::make_shared<OgrSpatialReference>(nullptr);
}

host::Point OgrSpatialReferenceFactory::project(const host::Point& point, const host::SpatialReference& from,
                                                const host::SpatialReference& to) const {
  if (point.isEmpty()) return point;
  SpatialRefPtr source = toOgrSrs(&from);
  SpatialRefPtr target = toOgrSrs(&to);
  if (!source && !target) return point;
  if (!source || !target) {
    throw host::Error(host::kFail, "cannot project a point between \"" + from.name() + "\" and \"" +
                                       to.name() + "\": one of them is the unknown coordinate system");
  }
  if (sameSrs(*source, *target)) return point;
  host::Point out = point;
  try {
    const std::string key = srsWkt(*source) + '\n' + srsWkt(*target);
    std::shared_ptr<PointProjector> projector;
    {
      std::lock_guard lock(mutex_);
      auto found = projectors_.find(key);
      if (found != projectors_.end()) {
        projector = found->second;
      } else {
        projector = std::make_shared<PointProjector>(*source, *target);
        if (projectors_.size() >= kCachedTransforms) projectors_.clear();
        projectors_.emplace(key, projector);
      }
    }
    projector->project(out.x, out.y);
  } catch (const host::Error& e) {
    throw host::Error(host::kFail, e.description());
  }
  return out;
}

}  // namespace orvex::platform::gdal
