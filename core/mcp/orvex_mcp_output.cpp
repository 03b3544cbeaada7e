#include "core/mcp/orvex_mcp_output.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <limits>
#include <memory>

#include "core/data/host_failure.h"
#include "core/data/orvex_utility.h"
#include "core/data/shapefile_output.h"
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

host::Polygon polygonOf(const McpRing& ring) {
  host::Ring hostRing;
  hostRing.reserve(ring.vertices.size());
  for (const McpPoint& p : ring.vertices) hostRing.push_back(host::Point{p.x, p.y});
  host::Polygon polygon;
  if (!hostRing.empty()) polygon.rings.push_back(std::move(hostRing));
  return polygon;
}

}  // namespace

host::Fields mcpOutputFields(host::SpatialReferencePtr spatialReference, double area) {
  host::Fields fields;
  fields.add(host::FieldDef::shape(
      "shape", host::GeometryDef{host::GeometryType::Polygon, false, false, std::move(spatialReference)}));
  const NumberFormat areaFormat = fitNumberFormat(kMcpAreaFormat, area);
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

  host::FileDialogOptions dialog = shapefileSaveDialog(mcpSaveTitle(percentage, layerName));
  dialog.layer = layerName;
  dialog.values.inputLayer = layerName;
  dialog.values.percentage = percentage;
  std::optional<OutputTarget> target;
  const host::Status chosen = chooseOutputTarget(application, dialog, mcpItemName(percentage, layerName),
                                                 kMcpSource, kMcpWorkspaceLine, target);
  if (!target) return chosen;

  const double area = std::isfinite(result.ring.area) ? result.ring.area : 0.0;
  HostFailure failure;
  const std::shared_ptr<host::FeatureClass> featureClass =
      createOutputFeatureClass(*target, mcpOutputFields(context.spatialReference(), area), failure);
  if (!featureClass) return reportHostFailure(ui, failure, kMcpSource, __LINE__);

  try {
    const std::unique_ptr<host::InsertCursor> cursor = featureClass->insert(true);
    host::Row buffer = featureClass->createRowBuffer();
    buffer.setShape(polygon);
    for (const auto& [field, value] : {std::pair<const char*, host::Value>{"NPoints", result.nPoints},
                                       {"NUsed", result.nUsed},
                                       {"Area", area}}) {
      const host::Status written = setNamedValue(ui, buffer, field, value);
      if (host::failed(written)) return written;  // shown by setNamedValue
    }
    cursor->insert(buffer);
    cursor->flush();
  } catch (const host::Error& error) {
    return reportHostFailure(ui, error, kMcpSource, __LINE__);
  }

  host::RecordValues values = std::move(dialog.values);
  values.areas = {area};
  values.areaDecimals = fitNumberFormat(kMcpAreaFormat, area).decimals;
  const host::Status shown =
      recordAndShowOutput(context, *target, featureClass, 1, std::move(values), kMcpSource, __LINE__);
  return host::failed(shown) ? shown : host::kOk;
}

std::string mcpItemName(double percentage, std::string_view layerName) {
  return std::string(layerName) + ", " + host::numberText(percentage) + " percent";
}

}  // namespace orvex::core
