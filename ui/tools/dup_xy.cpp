#include "ui/tools/dup_xy.h"

#include <algorithm>

namespace orvex::ui {

FindDupxy::FindDupxy()
    : DuplicateRemoval(
          command::kDupXyCommand,
          {"Please select a points layer with some points selected.", "You must select a points layer",
           "Findandremovedups sub Error number: ", "Calcfeatures sub Error number: "}) {}

bool FindDupxy::suits(const host::FeatureClass& featureClass) const {
  return featureClass.shapeType() == host::GeometryType::Point;
}

void FindDupxy::collect(const host::Feature& feature) { fixes_.push_back({feature.oid(), feature.shape()}); }

std::vector<host::ObjectId> FindDupxy::duplicates() {
  // The widest tolerance among the shapes' coordinate systems bounds the neighbourhood; the
  // host's equality decides.
  double tolerance = 0.0;
  for (const PlacedFix& fix : fixes_) {
    const auto& reference = fix.shape.spatialReference();
    tolerance = std::max(tolerance, reference ? reference->xyTolerance() : kDefaultTolerance);
  }
  const host::GeometryService& geometry = application().geometry();
  return PositionDuplicates(fixes_, tolerance, [&geometry](const host::Geometry& a, const host::Geometry& b) {
    return geometry.equals(a, b);
  });
}

}  // namespace orvex::ui
