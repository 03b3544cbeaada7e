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
  std::call_once(built_, [] {});
  if (isUnknownSrs(srs_.get())) {
    srs_.reset();
    return;
  }
  srs_->SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
  // Identified once: the lookup asks PROJ's database and the answer never changes.
  epsg_ = srsEpsgCode(*srs_);
}

OgrSpatialReference::OgrSpatialReference(std::string prjText, SrsSummary summary)
    : epsg_(summary.epsg), summary_(std::move(summary)), prjText_(std::move(prjText)) {}

const OGRSpatialReference* OgrSpatialReference::ogr() const {
  // Rebuilt from the lossless WKT2 of the reference the .prj gave when it was parsed.
  std::call_once(built_, [this] {
    srs_ = srsFromWkt(summary_->fullWkt);
    buildDone_.store(true, std::memory_order_release);
  });
  return srs_.get();
}

std::string OgrSpatialReference::name() const {
  if (summary_) return summary_->name.empty() ? std::string(kUnknownName) : summary_->name;
  if (!srs_) return kUnknownName;
  std::string n = srsName(*srs_);
  return n.empty() ? std::string(kUnknownName) : n;
}

std::string OgrSpatialReference::wkt() const {
  if (summary_) return summary_->wkt;
  return srs_ ? srsWkt(*srs_) : std::string();
}

std::optional<int> OgrSpatialReference::epsg() const { return epsg_; }

bool OgrSpatialReference::isGeographic() const {
  return summary_ ? summary_->geographic : srs_ && srs_->IsGeographic();
}

bool OgrSpatialReference::isProjected() const {
  return summary_ ? summary_->projected : srs_ && srs_->IsProjected();
}

double OgrSpatialReference::xyTolerance() const {
  return summary_ ? summary_->xyTolerance : gdal::xyTolerance(srs_.get());
}

bool OgrSpatialReference::isSame(const host::SpatialReference& other) const {
  if (&other == this) return true;
  const auto* ours = dynamic_cast<const OgrSpatialReference*>(&other);
  // Two readings of the same .prj text are the same system.
  if (ours != nullptr && summary_ && ours->summary_ && prjText_ == ours->prjText_) return true;
  SpatialRefPtr theirs = toOgrSrs(&other);
  const OGRSpatialReference* mine = ogr();
  if (mine == nullptr || !theirs) return mine == nullptr && !theirs;
  return sameSrs(*mine, *theirs);
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

void OgrSpatialReferenceFactory::expectRasterOutputs(const host::SpatialReference& reference) const {
  if (const auto* ours = dynamic_cast<const OgrSpatialReference*>(&reference)) {
    // A reference built already has set PROJ up; one that is unknown never needs it.
    if (const std::string* text = ours->unbuiltText()) warmUp_.start(*text);
    return;
  }
  if (!reference.isUnknown()) warmUp_.start(reference.wkt());
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
