#include "range/shell/batch_frame.h"

#include <system_error>

#include "host/application.h"
#include "host/layer.h"
#include "host/map.h"
#include "host/text.h"
#include "host/value.h"

namespace orvex::range {

namespace fs = std::filesystem;

void RefuseSettings(host::Application& application, const std::string& error) {
  application.ui().messageBox(error, "Error", host::MessageButtons::Ok, host::MessageIcon::Exclamation);
  application.runRecord().failure({.item = "the settings", .reason = error});
}

void ReportRunFailure(host::Application& application, std::string_view tool, const std::string& description) {
  application.ui().messageBox(std::string(tool) + ": " + description, "Error", host::MessageButtons::Ok,
                              host::MessageIcon::Critical);
  application.runRecord().failure({.item = "the run", .reason = description});
}

std::string LogNumber(double value) { return host::cformat("%.10g", value); }

std::string LogTime(host::Application& application) {
  return host::Date::fromTimePoint(application.clock().now(), true).toIso8601();
}

std::shared_ptr<host::FeatureLayer> FocusPointLayer(host::Application& application, const std::string& name) {
  auto layer =
      std::dynamic_pointer_cast<host::FeatureLayer>(application.document()->focusMap()->findLayer(name));
  if (!layer || !layer->featureClass())
    throw host::Error(host::kNotFound, "The point layer '" + name + "' is not in the map");
  return layer;
}

host::SpatialReferencePtr LayerReference(const host::FeatureLayer& layer) {
  return layer.spatialReference() ? layer.spatialReference() : layer.featureClass()->spatialReference();
}

void RefuseDegrees(const host::SpatialReferencePtr& reference, const std::string& layer) {
  if (reference && reference->isGeographic())
    throw host::Error(
        host::kInvalidArgument,
        "The layer '" + layer + "' has coordinates in degrees: project it to map units (metres) first");
}

fs::path ExistingOutputFolder(const std::string& folder) {
  std::error_code error;
  if (!fs::is_directory(folder, error))
    throw host::Error(host::kPathNotFound, "The output folder '" + folder + "' does not exist");
  return folder;
}

host::Error NoFixesError(const std::string& idField, const std::string& layer) {
  return host::Error(host::kNotFound, "No fixes with a value in the field '" + idField +
                                          "' were found in the layer '" + layer + "'");
}

void RefuseNamingConflict(host::Application& application, std::string_view output) {
  const std::string kind(output);
  application.ui().messageBox("Error: naming conflict detected (pre-existing " + kind +
                                  " in output folder). You should use a new, empty folder for the output of "
                                  "this tool. Exiting...",
                              "User error", host::MessageButtons::Ok, host::MessageIcon::Exclamation);
  application.runRecord().failure(
      {.item = "the run", .reason = "a " + kind + " of this run's names is in the output folder"});
}

void RecordStopped(host::Application& application) {
  application.runRecord().failure(
      {.item = "the run", .reason = "the run was stopped by the user", .kind = host::FailureKind::Cancelled});
}

void ReportComplete(host::Application& application) {
  application.ui().messageBox("Processing complete.", "Status", host::MessageButtons::Ok,
                              host::MessageIcon::Information);
}

RunLog::RunLog(const fs::path& file, std::string failure)
    : path_(file), failure_(std::move(failure)), out_(file, std::ios::binary | std::ios::trunc) {
  if (!out_) throw host::Error(host::kFail, failure_);
}

void RunLog::close() {
  out_.close();
  if (out_.fail()) throw host::Error(host::kFail, failure_);
}

}  // namespace orvex::range
