#include "ui/tools/orvexobs.h"

#include <algorithm>
#include <cstdint>
#include <limits>

#include "host/error.h"
#include "host/text.h"
#include "ui/tools/orvexobs_errors.h"
#include "ui/tools/orvexobs_travel.h"

namespace orvex::ui {
namespace {

constexpr const char* kNoLayer = "Please select a points layer";
constexpr const char* kNoLayerTitle = "Display Tracks";
constexpr const char* kWrongLayer = "You must select a points layer with a Time2 field";
constexpr const char* kQuestionTitle = "Add Time and Distance Fields";
constexpr const char* kQuestion =
    "This will add the following fields to the selected layer.\n"
    "\n"
    "T_Obs_Sec = Time since last observation in seconds\n"
    "T_Cumul = Time cumulative in seconds\n"
    "Dist = Distance from last observation in meters\n"
    "Dist_Cumul = Distance cumulative in meters\n"
    "Me_Per_Sec = Meters per second from last obs.\n"
    "Mi_Per_Hr = Miles per hour from last obs.\n";
constexpr const char* kNoTime2OnFeature =
    "Can not calculate fields.  There is not a Time2 field in the table";
constexpr const char* kNotUtm =
    "The fields have not been calculated! The data needs to be in and defined with a UTM projection.";
constexpr const char* kSameTime =
    "Divide by zero!!  Check your data.  \n"
    "You can not have a value of zero in the time2 field \n"
    "or two observartions that were taken at the same time.";
constexpr const char* kCalcObsFieldsError = "calcobsfields sub Error number: ";
constexpr const char* kCalcFeaturesError = "CalcFeatures sub Error number: ";

/// The pattern the coordinate system's name must match ("*UTM*", letter case counts).
constexpr std::string_view kUtmMark = "UTM";

bool IsUtm(const host::SpatialReferencePtr& reference) {
  return reference && reference->name().find(kUtmMark) != std::string::npos;
}

/// A fix's position; a fix without one cannot be measured from or to.
host::Point PositionOf(const host::Feature& feature) {
  const host::Point* point = feature.shape().point();
  if (point == nullptr || point->isEmpty()) {
    throw host::Error(host::error_number::kInvalidUseOfNull,
                      "fix " + std::to_string(feature.oid()) + " has no position");
  }
  return *point;
}

int FieldIndex(const host::Feature& feature, std::string_view name) {
  const int index = feature.findField(name);
  if (index < 0) throw host::Error(host::kNotFound, "the layer has no field \"" + std::string(name) + "\"");
  return index;
}

int ProgressValue(std::int64_t counter) {
  return static_cast<int>(std::min<std::int64_t>(counter, std::numeric_limits<int>::max()));
}

}  // namespace

host::Status ORVEXOBS::onClick() {
  CalcObsFields();
  return host::kOk;
}

std::shared_ptr<host::FeatureLayer> ORVEXOBS::SelectedFeatureLayer() const {
  const auto document = this->document() ? this->document() : application().document();
  if (!document) return nullptr;
  return std::dynamic_pointer_cast<host::FeatureLayer>(document->selectedLayer());
}

std::shared_ptr<host::FeatureClass> ORVEXOBS::SelectedFeatureClass() const {
  const auto layer = SelectedFeatureLayer();
  auto featureClass = layer ? layer->featureClass() : nullptr;
  if (!featureClass) throw host::Error(host::error_number::kObjectNotSet, "no feature layer is selected");
  return featureClass;
}

void ORVEXOBS::CalcObsFields() {
  host::UiServices& ui = application().ui();
  try {
    const auto layer = SelectedFeatureLayer();
    if (!layer) {
      ui.messageBox(kNoLayer, std::string(kNoLayerTitle), host::MessageButtons::Ok);
      return;
    }
    const auto featureClass = layer->featureClass();
    if (!featureClass || featureClass->findField(kTime2Field) < 0 ||
        featureClass->shapeType() != host::GeometryType::Point) {
      ui.messageBox(kWrongLayer);
      return;
    }
    progress_.SetMaximum(featureClass->featureCount());

    if (ui.messageBox(kQuestion, std::string(kQuestionTitle), host::MessageButtons::YesNo) !=
        host::MessageAnswer::Yes)
      return;

    Addfields();
    const auto cursor = GetAndSelectAllFromActiveLayer();
    CalcFeatures(*cursor);
  } catch (...) {
    if (host::errorsPassThrough()) throw;
    ui.messageBox(ErrorReport(kCalcObsFieldsError, std::current_exception()));
  }
}

void ORVEXOBS::Addfields() {
  const auto featureClass = SelectedFeatureClass();
  for (const std::string_view name : kTravelFieldNames) {
    if (featureClass->findField(name) < 0)
      featureClass->addField(host::FieldDef(std::string(name), host::FieldType::Double));
  }
}

std::unique_ptr<host::UpdateCursor> ORVEXOBS::GetAndSelectAllFromActiveLayer() {
  return SelectedFeatureClass()->update();
}

void ORVEXOBS::CalcFeatures(host::UpdateCursor& cursor) {
  host::UiServices& ui = application().ui();
  const ShownWhileAlive shown(progress_, ui);
  try {
    std::int64_t counter = 0;
    host::Point previousPoint;
    std::int64_t previousTime = 0;
    double cumulativeDistance = 0.0;
    std::int64_t cumulativeTime = 0;

    auto feature = cursor.next();
    while (feature) {
      ++counter;
      if (counter == 1) {
        previousPoint = PositionOf(*feature);
        const int time2 = feature->findField(kTime2Field);
        if (time2 < 0) {
          ui.messageBox(kNoTime2OnFeature, std::string());
          return;
        }
        previousTime = readTime2(feature->value(time2));
        cumulativeTime = 0;
        feature->setValue(FieldIndex(*feature, kTravelFieldNames[0]), host::Value(0.0));
        feature->setValue(FieldIndex(*feature, kTravelFieldNames[1]), host::Value(0.0));
      } else {
        progress_.SetProgress(ProgressValue(counter));
        const host::Point point = PositionOf(*feature);
        if (!IsUtm(feature->shape().spatialReference())) {
          ui.messageBox(kNotUtm, std::string());
          return;
        }
        const double distance = host::distance(previousPoint, point);
        cumulativeDistance += distance;
        const std::int64_t time = readTime2(feature->value(FieldIndex(*feature, kTime2Field)));
        std::int64_t elapsed = 0;
        if (__builtin_sub_overflow(time, previousTime, &elapsed) ||
            __builtin_add_overflow(cumulativeTime, elapsed, &cumulativeTime)) {
          throw host::Error(host::error_number::kOverflow, "the Time2 values are too far apart");
        }
        if (elapsed == 0) {
          ui.messageBox(kSameTime, std::string());
          return;
        }
        const TravelValues values = TravelStep(distance, elapsed, cumulativeDistance, cumulativeTime);
        previousTime = time;
        const auto written = values.inFieldOrder();
        for (std::size_t i = 0; i < written.size(); ++i)
          feature->setValue(FieldIndex(*feature, kTravelFieldNames[i]), host::Value(written[i]));
        previousPoint = point;
      }
      cursor.updateRow(*feature);
      feature = cursor.next();
    }
  } catch (...) {
    if (host::errorsPassThrough()) throw;
    ui.messageBox(ErrorReport(kCalcFeaturesError, std::current_exception()));
  }
}

}  // namespace orvex::ui
