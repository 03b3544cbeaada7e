#include "ui/gis/measure_fields.h"

#include <vector>

#include "host/progress.h"
#include "ui/gis/shapefile_utils.h"

namespace orvex::ui::gis {

namespace {

enum class Measure { Length, Area, Perimeter };

struct MeasuredRow {
  host::ObjectId id;
  double value;
};

/// Hides the status bar's progress however the walk ends.
class ProgressGuard {
 public:
  explicit ProgressGuard(host::StatusBar* bar) : bar_(bar) {}
  ~ProgressGuard() {
    if (bar_ != nullptr) bar_->hideProgress();
  }
  ProgressGuard(const ProgressGuard&) = delete;
  ProgressGuard& operator=(const ProgressGuard&) = delete;

 private:
  host::StatusBar* bar_;
};

double MeasureOf(const host::GeometryService& geometry, Measure measure, const host::Geometry& shape) {
  return measure == Measure::Area ? geometry.area(shape) : geometry.length(shape);
}

bool FillMeasureField(host::Application& application, host::FeatureClass& featureClass, Measure measure,
                      std::string fieldName, double factor, bool showProgress) {
  if (factor == 0.0) factor = 1.0;
  if (measure == Measure::Length && fieldName.empty()) fieldName = "LENGTH";
  const host::GeometryService& geometry = application.geometry();

  // Measure first, so that the field can be made wide enough for every value it will hold.
  std::vector<MeasuredRow> measured;
  {
    auto cursor = featureClass.search();
    while (auto row = cursor->next()) {
      measured.push_back({row->oid(), MeasureOf(geometry, measure, row->shape()) * factor});
    }
  }
  std::vector<double> values;
  values.reserve(measured.size());
  for (const auto& m : measured) values.push_back(m.value);

  if (featureClass.findField(fieldName) >= 0) featureClass.deleteField(fieldName);
  AddDoubleField(application.ui(), fieldName, &featureClass, kMeasureFieldPrecision, kMeasureFieldScale,
                 values);
  const int index = featureClass.findField(fieldName);
  if (index < 0) {
    if (measure == Measure::Length) {
      application.ui().messageBox(kLengthFieldMessage, "Error", host::MessageButtons::Ok,
                                  host::MessageIcon::Exclamation);
    }
    return false;
  }

  const int count = featureClass.featureCount();
  if (count == 0) return true;

  const char* message = measure == Measure::Length ? "Calculating length field..."
                        : measure == Measure::Area ? "Calculating areas..."
                                                   : "Calculating perimeters...";
  host::StatusBar* bar = showProgress ? &application.statusBar() : nullptr;
  ProgressGuard hideAtEnd(bar);
  host::StepProgressor progressor(bar != nullptr ? bar->progress() : host::ProgressFn{}, 0.0,
                                  static_cast<double>(count), message);

  auto cursor = featureClass.update();
  std::size_t next = 0;
  int done = 0;
  while (auto row = cursor->next()) {
    // Rows come back in the order of the measuring walk; a row that does not match (the class
    // changed in between) is measured afresh.
    double value = 0.0;
    if (next < measured.size() && measured[next].id == row->oid()) {
      value = measured[next++].value;
    } else {
      value = MeasureOf(geometry, measure, row->shape()) * factor;
    }
    row->setValue(index, host::Value(value));
    cursor->updateRow(*row);
    ++done;
    if (bar != nullptr) progressor.setPosition(static_cast<double>(done));
  }
  return true;
}

}  // namespace

bool CalculateLengthField(host::Application& application, host::FeatureClass& featureClass, bool showProgress,
                          std::string fieldName, double factor) {
  return FillMeasureField(application, featureClass, Measure::Length, std::move(fieldName), factor,
                          showProgress);
}

bool CalculateAreaField(host::Application& application, host::FeatureClass& featureClass,
                        std::string fieldName, double factor, bool showProgress) {
  return FillMeasureField(application, featureClass, Measure::Area, std::move(fieldName), factor,
                          showProgress);
}

bool CalculatePerimeterField(host::Application& application, host::FeatureClass& featureClass,
                             std::string fieldName, double factor, bool showProgress) {
  return FillMeasureField(application, featureClass, Measure::Perimeter, std::move(fieldName), factor,
                          showProgress);
}

}  // namespace orvex::ui::gis
