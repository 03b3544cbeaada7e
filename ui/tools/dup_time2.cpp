#include "ui/tools/dup_time2.h"

#include "ui/tools/orvexobs_travel.h"

namespace orvex::ui {

FIndDupTime2::FIndDupTime2()
    : DuplicateRemoval(command::kDupTime2Command,
                       {"Please select points layer", "You must select points layer with a Time2 field",
                        "find and remove dups sub Error number: ", "CalcFeatures sub Error number: "}) {}

bool FIndDupTime2::suits(const host::FeatureClass& featureClass) const {
  return featureClass.findField(kTime2Field) >= 0 && featureClass.shapeType() == host::GeometryType::Point;
}

void FIndDupTime2::collect(const host::Feature& feature) {
  fixes_.push_back({feature.oid(), readTime2(feature.value(kTime2Field))});
}

}  // namespace orvex::ui
