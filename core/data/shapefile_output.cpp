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

host::Status openOutputWorkspace(host::Application& application, const std::filesystem::path& chosen,
                                 std::shared_ptr<host::Workspace>& workspace, std::string& name,
                                 HostFailure& failure) {
  std::filesystem::path folder = chosen.parent_path();
  if (folder.empty()) folder = ".";
  name = chosen.filename().string();
  const host::Status opened = openShapefileWorkspace(application, folder, workspace, &failure);
  if (host::failed(opened)) return opened;
  if (workspace) deleteExistingFeatureClass(*workspace, name);
  return opened;
}

std::shared_ptr<host::FeatureClass> createOutputFeatureClass(host::Workspace& workspace,
                                                             const std::string& name,
                                                             const host::Fields& fields,
                                                             HostFailure& failure) {
  host::FeatureClassSpec definition;
  definition.name = name;
  definition.fields = fields;
  definition.shapeFieldName = "shape";
  definition.featureType = host::FeatureType::Simple;
  definition.configKeyword = kConfigKeyword;
  try {
    if (auto created = workspace.createFeatureClass(definition)) return created;
  } catch (const host::Error& error) {
    failure = HostFailure::from(error);
  }
  try {
    return workspace.openFeatureClass(name);
  } catch (const host::Error& error) {
    failure = HostFailure::from(error);
  }
  return nullptr;
}

host::Status showOutputLayer(HostContext& context, std::shared_ptr<host::FeatureClass> featureClass,
                             const std::string& name, HostFailure& failure) {
  const host::Status added = addFeatureLayer(context, std::move(featureClass), name, nullptr, &failure);
  if (host::failed(added)) return added;
  if (host::ActiveView* view = context.activeView()) view->partialRefresh(host::ViewPhase::Geography);
  return added;
}

}  // namespace orvex::core
