#include "core/mcp/orvex_mcp_output.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <memory>

#include "core/data/host_failure.h"
#include "core/data/orvex_utility.h"
#include "host/error.h"
#include "host/geometry.h"
#include "host/text.h"
#include "host/ui_services.h"
#include "host/workspace.h"

namespace orvex::core {
namespace {

// The schema's integer and double storage sizes and precisions.
constexpr int kIntegerLength = 4;
constexpr int kIntegerPrecision = 20;
constexpr int kDoubleLength = 8;

/// Storage keyword of the feature class; shapefiles ignore it.
constexpr const char* kConfigKeyword = "augh";

/// Characters "%.*f" takes; the decimal separator is one character in every locale and %f has
/// no digit grouping, so the count does not depend on the locale.
int numberTextWidth(double value, int decimals) {
  const int n = std::snprintf(nullptr, 0, "%.*f", std::max(decimals, 0), value);
  return std::max(n, 0);
}

host::Polygon polygonOf(const McpRing& ring) {
  host::Ring hostRing;
  hostRing.reserve(ring.vertices.size());
  for (const McpPoint& p : ring.vertices) hostRing.push_back(host::Point{p.x, p.y});
  host::Polygon polygon;
  if (!hostRing.empty()) polygon.rings.push_back(std::move(hostRing));
  return polygon;
}

/// Opens the feature class the polygon goes into: a new one, or, when the name is still taken
/// (an old file that could not be deleted), the existing one, which the polygon is appended to.
std::shared_ptr<host::FeatureClass> outputFeatureClass(host::Workspace& workspace, const std::string& name,
                                                       const host::Fields& fields, HostFailure& failure) {
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

}  // namespace

McpNumberFormat fitMcpNumberFormat(McpNumberFormat requested, double value) {
  if (requested.width <= 0 || !std::isfinite(value)) return requested;
  McpNumberFormat fitted = requested;
  fitted.decimals = std::max(fitted.decimals, 0);
  int needed = numberTextWidth(value, fitted.decimals);
  if (needed <= requested.width) return requested;
  while (needed > kMcpMaxNumberWidth && fitted.decimals > 0) {
    --fitted.decimals;
    needed = numberTextWidth(value, fitted.decimals);
  }
  fitted.width = std::max(requested.width, std::min(needed, kMcpMaxNumberWidth));
  return fitted;
}

host::Fields mcpOutputFields(host::SpatialReferencePtr spatialReference, double area) {
  host::Fields fields;
  fields.add(host::FieldDef::shape(
      "shape", host::GeometryDef{host::GeometryType::Polygon, false, false, std::move(spatialReference)}));
  const McpNumberFormat areaFormat = fitMcpNumberFormat(kMcpAreaFormat, area);
  // The names are fixed and distinct, so the collection cannot refuse them.
  addField(fields, "NPoints", host::FieldType::Integer, kIntegerLength, kIntegerPrecision, 0);
  addField(fields, "NUsed", host::FieldType::Integer, kIntegerLength, kIntegerPrecision, 0);
  addField(fields, "Area", host::FieldType::Double, kDoubleLength, areaFormat.width, areaFormat.decimals);
  return fields;
}

std::string mcpSaveTitle(double percentage, std::string_view layerName) {
  // Truncation toward zero as the design's conversion to a whole number does; clamped so that a
  // huge or non-finite percentage never converts out of range.
  constexpr double kLongMax = static_cast<double>(std::numeric_limits<long>::max());
  const double whole = std::isnan(percentage) ? 0.0 : std::clamp(std::trunc(percentage), -kLongMax, kLongMax);
  const long shown = whole >= kLongMax ? std::numeric_limits<long>::max() : static_cast<long>(whole);
  if (layerName.empty()) return host::cformat("Save As    MCP %ld percent analysis", shown);
  return host::cformat("Save As MCP %ld percent analysis for layer = %s", shown,
                       std::string(layerName).c_str());
}

host::Status saveMcpResult(HostContext& context, const McpResult& result, double percentage,
                           const std::string& layerName) {
  host::Application& application = context.application();
  host::UiServices& ui = application.ui();
  const host::Geometry polygon(polygonOf(result.ring), context.spatialReference());

  host::FileDialogOptions dialog;
  dialog.title = mcpSaveTitle(percentage, layerName);
  dialog.filter = "Shapefiles (*.shp)|*.shp";
  dialog.defaultExtension = "shp";
  dialog.hideReadOnly = true;
  dialog.overwritePrompt = true;
  const std::optional<std::filesystem::path> chosen = ui.saveFile(dialog);
  if (!chosen) return host::kOk;

  std::filesystem::path folder = chosen->parent_path();
  if (folder.empty()) folder = ".";
  const std::string name = chosen->filename().string();

  std::shared_ptr<host::Workspace> workspace;
  HostFailure failure;
  if (host::failed(openShapefileWorkspace(application, folder, workspace, &failure)))
    return reportHostFailure(ui, failure, kMcpSource, kMcpWorkspaceLine);
  if (!workspace) return host::kFail;

  deleteExistingFeatureClass(*workspace, name);
  const double area = std::isfinite(result.ring.area) ? result.ring.area : 0.0;
  const std::shared_ptr<host::FeatureClass> featureClass =
      outputFeatureClass(*workspace, name, mcpOutputFields(context.spatialReference(), area), failure);
  if (!featureClass) return reportHostFailure(ui, failure, kMcpSource, __LINE__);

  try {
    const std::unique_ptr<host::InsertCursor> cursor = featureClass->insert(true);
    host::Row buffer = featureClass->createRowBuffer();
    buffer.setShape(polygon);
    for (const auto& [field, value] : {std::pair<const char*, host::Value>{"NPoints", result.n_points},
                                       {"NUsed", result.n_used},
                                       {"Area", area}}) {
      const host::Status written = setNamedValue(ui, buffer, field, value);
      if (host::failed(written)) return written;  // shown by setNamedValue
    }
    cursor->insert(buffer);
    cursor->flush();
  } catch (const host::Error& error) {
    return reportHostFailure(ui, error, kMcpSource, __LINE__);
  }

  if (host::failed(addFeatureLayer(context, featureClass, name, nullptr, &failure)))
    return reportHostFailure(ui, failure, kMcpSource, __LINE__);
  if (host::ActiveView* view = context.activeView()) view->partialRefresh(host::ViewPhase::Geography);
  return host::kOk;
}

}  // namespace orvex::core
