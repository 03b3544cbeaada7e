#include "core/data/shapefile_output.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <utility>

#include "core/data/orvex_utility.h"
#include "host/error.h"

namespace orvex::core {
namespace {

/// Storage keyword of the output feature classes; shapefiles ignore it.
constexpr const char* kConfigKeyword = "augh";

/// Characters "%.*f" takes; the decimal separator is one character in every locale and %f has
/// no digit grouping, so the count does not depend on the locale.
int numberTextWidth(double value, int decimals) {
  const int n = std::snprintf(nullptr, 0, "%.*f", std::max(decimals, 0), value);
  return std::max(n, 0);
}

}  // namespace

NumberFormat fitNumberFormat(NumberFormat requested, double value) {
  if (requested.width <= 0 || !std::isfinite(value)) return requested;
  NumberFormat fitted = requested;
  fitted.decimals = std::max(fitted.decimals, 0);
  int needed = numberTextWidth(value, fitted.decimals);
  if (needed <= requested.width) return requested;
  while (needed > kMaxNumberWidth && fitted.decimals > 0) {
    --fitted.decimals;
    needed = numberTextWidth(value, fitted.decimals);
  }
  fitted.width = std::max(requested.width, std::min(needed, kMaxNumberWidth));
  return fitted;
}

host::FileDialogOptions shapefileSaveDialog(std::string title) {
  host::FileDialogOptions dialog;
  dialog.title = std::move(title);
  dialog.filter = "Shapefiles (*.shp)|*.shp";
  dialog.defaultExtension = "shp";
  dialog.hideReadOnly = true;
  dialog.overwritePrompt = true;
  return dialog;
}

host::Status chooseOutputTarget(host::Application& application, const host::FileDialogOptions& dialog,
                                const std::string& item, std::string_view source, int workspaceLine,
                                std::optional<OutputTarget>& target) {
  target.reset();
  const std::optional<std::filesystem::path> chosen = application.ui().saveFile(dialog);
  if (!chosen) {
    application.runRecord().failure({.item = item,
                                     .reason = "no file was chosen to save it in",
                                     .kind = host::FailureKind::Cancelled,
                                     .values = dialog.values});
    return host::kOk;
  }

  OutputTarget chosenTarget{.chosen = *chosen, .workspace = nullptr, .name = chosen->filename().string()};
  std::filesystem::path folder = chosen->parent_path();
  if (folder.empty()) folder = ".";
  HostFailure failure;
  const host::Status opened = openShapefileWorkspace(application, folder, chosenTarget.workspace, &failure);
  if (host::failed(opened)) return reportHostFailure(application.ui(), failure, source, workspaceLine);
  if (!chosenTarget.workspace) return host::kFail;
  deleteExistingFeatureClass(*chosenTarget.workspace, chosenTarget.name);
  target = std::move(chosenTarget);
  return opened;
}

std::shared_ptr<host::FeatureClass> createOutputFeatureClass(OutputTarget& target, const host::Fields& fields,
                                                             HostFailure& failure) {
  host::FeatureClassSpec definition;
  definition.name = target.name;
  definition.fields = fields;
  definition.shapeFieldName = "shape";
  definition.featureType = host::FeatureType::Simple;
  definition.configKeyword = kConfigKeyword;
  try {
    if (auto created = target.workspace->createFeatureClass(definition)) return created;
  } catch (const host::Error& error) {
    failure = HostFailure::from(error);
  }
  try {
    auto existing = target.workspace->openFeatureClass(target.name);
    target.appended = existing != nullptr;
    return existing;
  } catch (const host::Error& error) {
    failure = HostFailure::from(error);
  }
  return nullptr;
}

host::Status recordAndShowOutput(HostContext& context, const OutputTarget& target,
                                 std::shared_ptr<host::FeatureClass> featureClass, std::int64_t features,
                                 host::RecordValues values, std::string_view source, int line) {
  host::Application& application = context.application();
  host::RunRecord& record = application.runRecord();
  const std::filesystem::path path = host::withDefaultExtension(target.chosen, "shp");
  if (target.appended) {
    features = featureClass->featureCount();
    const auto earlier = std::find_if(record.outputs().begin(), record.outputs().end(),
                                      [&](const host::OutputRecord& output) { return output.path == path; });
    if (earlier != record.outputs().end()) {
      values.areas.insert(values.areas.begin(), earlier->values.areas.begin(), earlier->values.areas.end());
      values.areaDecimals = earlier->values.areaDecimals;
    }
  }
  record.output({.path = path,
                 .kind = host::OutputKind::Shapefile,
                 .layer = target.name,
                 .features = features,
                 .values = std::move(values)});
  HostFailure failure;
  const host::Status added =
      addFeatureLayer(context, std::move(featureClass), target.name, nullptr, &failure);
  if (host::failed(added)) return reportHostFailure(application.ui(), failure, source, line);
  if (host::ActiveView* view = context.activeView()) view->partialRefresh(host::ViewPhase::Geography);
  return added;
}

}  // namespace orvex::core
