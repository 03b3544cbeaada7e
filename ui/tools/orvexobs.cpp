#include "ui/tools/orvexobs.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <map>
#include <optional>
#include <unordered_map>
#include <vector>

#include "host/error.h"
#include "host/layer.h"
#include "host/text.h"
#include "ui/gis/shapefile_utils.h"
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

/// What a run of the whole layer says when some intervals came out negative.
std::string NegativeIntervalsWarning(std::int64_t count) {
  return "T_Obs_Sec is negative for " + std::to_string(count) + (count == 1 ? " fix" : " fixes") +
         ": the layer's stored order goes back in time, as it does when the layer holds several "
         "animals one after another. Name the layer's animal field to compute travel per animal, in "
         "time order.";
}

/// One fix of an animal, as the per-animal run reads it before computing anything.
struct AnimalFix {
  host::ObjectId id = host::kNoObjectId;
  std::int64_t time = 0;
  host::Point point;
  bool utm = false;
};

/// The values to write to one fix, in the order of kTravelFieldNames; an empty one is left as
/// it is (the first fix of an animal gets the two times only).
using TravelRow = std::array<std::optional<double>, kTravelFieldNames.size()>;

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
    const std::string animalField = layer->animalField();
    if (!animalField.empty() && featureClass->findField(animalField) < 0) {
      application().runRecord().warning("The layer '" + layer->name() + "' has no field \"" + animalField +
                                        "\" to tell its animals apart: travel was computed over the whole "
                                        "layer, in stored order.");
    } else if (!animalField.empty()) {
      CalcFeaturesByAnimal(*featureClass, animalField);
      return;
    }
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
  std::int64_t negative = 0;
  // Said however the walk ends: the intervals already written are in the layer.
  const auto warnNegative = [&] {
    if (negative > 0) application().runRecord().warning(NegativeIntervalsWarning(negative));
  };
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
          warnNegative();
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
          warnNegative();
          ui.messageBox(kSameTime, std::string());
          return;
        }
        if (elapsed < 0) ++negative;
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
    warnNegative();
  } catch (...) {
    if (host::errorsPassThrough()) throw;
    warnNegative();
    ui.messageBox(ErrorReport(kCalcFeaturesError, std::current_exception()));
  }
}

namespace {

/// The fixes of each animal, animals in the unique-value order, each animal's fixes in time
/// order (equal times in stored order, so that the walk meets them side by side). Fixes
/// without an animal are counted in `withoutAnimal`.
/// @throws host::Error for a fix without a position or a "Time2" that cannot be read.
std::map<host::Value, std::vector<AnimalFix>, gis::UniqueValueOrder> ReadAnimals(
    const host::FeatureClass& featureClass, const std::string& animalField, std::int64_t& withoutAnimal) {
  std::map<host::Value, std::vector<AnimalFix>, gis::UniqueValueOrder> animals;
  const auto cursor = featureClass.search();
  while (const auto feature = cursor->next()) {
    const host::Value& animal = feature->value(FieldIndex(*feature, animalField));
    if (animal.isEmpty()) {
      ++withoutAnimal;
      continue;
    }
    animals[animal].push_back({feature->oid(), readTime2(feature->value(FieldIndex(*feature, kTime2Field))),
                               PositionOf(*feature), IsUtm(feature->shape().spatialReference())});
  }
  for (auto& [animal, fixes] : animals)
    std::stable_sort(fixes.begin(), fixes.end(),
                     [](const AnimalFix& a, const AnimalFix& b) { return a.time < b.time; });
  return animals;
}

/// Writes the computed rows over the features of the same id, in one walk of the layer.
void WriteTravelRows(host::FeatureClass& featureClass,
                     const std::unordered_map<host::ObjectId, TravelRow>& rows) {
  if (rows.empty()) return;
  const auto cursor = featureClass.update();
  while (auto feature = cursor->next()) {
    const auto found = rows.find(feature->oid());
    if (found == rows.end()) continue;
    for (std::size_t i = 0; i < found->second.size(); ++i)
      if (found->second[i])
        feature->setValue(FieldIndex(*feature, kTravelFieldNames[i]), host::Value(*found->second[i]));
    cursor->updateRow(*feature);
  }
}

}  // namespace

void ORVEXOBS::CalcFeaturesByAnimal(host::FeatureClass& featureClass, const std::string& animalField) {
  host::UiServices& ui = application().ui();
  const ShownWhileAlive shown(progress_, ui);
  try {
    std::int64_t withoutAnimal = 0;
    const auto animals = ReadAnimals(featureClass, animalField, withoutAnimal);
    if (withoutAnimal > 0)
      application().runRecord().warning(std::to_string(withoutAnimal) +
                                        (withoutAnimal == 1 ? " fix has" : " fixes have") + " no value of " +
                                        animalField + ": left as they were.");

    // Computed in full before anything is written; a stop keeps what was computed before it,
    // as the design keeps the rows stored before the fix it stops at.
    std::unordered_map<host::ObjectId, TravelRow> rows;
    const auto compute = [&]() -> const char* {
      std::int64_t counter = 0;
      for (const auto& [animal, fixes] : animals) {
        double cumulativeDistance = 0.0;
        std::int64_t cumulativeTime = 0;
        for (std::size_t i = 0; i < fixes.size(); ++i) {
          progress_.SetProgress(ProgressValue(++counter));
          const AnimalFix& fix = fixes[i];
          if (i == 0) {
            rows[fix.id] = TravelRow{0.0, 0.0};
            continue;
          }
          if (!fix.utm) return kNotUtm;
          const double distance = host::distance(fixes[i - 1].point, fix.point);
          cumulativeDistance += distance;
          std::int64_t elapsed = 0;
          if (__builtin_sub_overflow(fix.time, fixes[i - 1].time, &elapsed))
            throw host::Error(host::error_number::kOverflow, "the Time2 values are too far apart");
          if (elapsed == 0) return kSameTime;
          if (__builtin_add_overflow(cumulativeTime, elapsed, &cumulativeTime))
            throw host::Error(host::error_number::kOverflow, "the Time2 values are too far apart");
          const auto values =
              TravelStep(distance, elapsed, cumulativeDistance, cumulativeTime).inFieldOrder();
          rows[fix.id] = TravelRow{values[0], values[1], values[2], values[3], values[4], values[5]};
        }
      }
      return nullptr;
    };
    const char* stop = compute();
    WriteTravelRows(featureClass, rows);
    if (stop != nullptr) ui.messageBox(stop, std::string());
  } catch (...) {
    if (host::errorsPassThrough()) throw;
    ui.messageBox(ErrorReport(kCalcFeaturesError, std::current_exception()));
  }
}

}  // namespace orvex::ui
