#include "core/mcp/orvex_mcp.h"

#include <algorithm>
#include <cmath>
#include <optional>

#include "core/data/host_failure.h"
#include "core/mcp/orvex_mcp_output.h"
#include "host/error.h"
#include "host/map.h"
#include "host/table.h"
#include "host/text.h"

namespace orvex::core {
namespace {

/// A fix the analysis can use: a simple feature whose shape is a point with both coordinates
/// finite. An empty point (NaN) is no location, and neither is an infinite coordinate, which
/// would make every distance and area meaningless.
std::optional<host::Point> validFix(const host::Row& feature) {
  if (feature.featureType() != host::FeatureType::Simple) return std::nullopt;
  const host::Point* point = feature.shape().point();
  if (point == nullptr || !std::isfinite(point->x) || !std::isfinite(point->y)) return std::nullopt;
  return *point;
}

std::vector<McpPoint> fixesOf(const host::Multipoint& buffer) {
  std::vector<McpPoint> fixes;
  fixes.reserve(buffer.points.size());
  for (const host::Point& p : buffer.points) fixes.push_back({p.x, p.y});
  return fixes;
}

McpPoint boxCentre(const host::Multipoint& buffer) {
  const host::Envelope box = buffer.envelope();
  return {(box.xmin + box.xmax) / 2.0, (box.ymin + box.ymax) / 2.0};
}

}  // namespace

std::string mcpOnePointMessage(const std::string& layerName) {
  return "Only 1 point is selected in layer " + layerName +
         " (at least three are required).  This point will not be included in the analysis.";
}

std::string mcpFewPointsMessage(int count, const std::string& layerName) {
  return "Only " + std::to_string(count) + " points are selected in layer " + layerName +
         " (at least three are required).  These points will not be included in the analysis.";
}

orvex_MCP::orvex_MCP() : OrvexCommand(kOrvexMcp) {}
orvex_MCP::~orvex_MCP() = default;

host::Status orvex_MCP::onClick() {
  const host::Status refreshed = context().refresh();
  if (host::failed(refreshed)) return refreshed;  // shown by the context

  host::UiServices& ui = context().application().ui();
  std::vector<std::shared_ptr<host::FeatureLayer>> layers;
  try {
    layers = context().focusMap()->featureLayers();
  } catch (const host::Error& error) {
    return reportHostFailure(ui, error, kMcpSource, __LINE__);
  }
  if (layers.empty()) {
    ui.messageBox(kMcpNoLayers);
    return host::kOk;
  }

  // Each layer takes an equal share of the run's progress; the host may stop between layers.
  host::RunRecord& record = context().application().runRecord();
  host::Status outcome = host::kOk;
  const double share = 1.0 / static_cast<double>(layers.size());
  for (std::size_t i = 0; i < layers.size(); ++i) {
    if (!record.report(static_cast<double>(i) * share, "MCP Analysis")) {
      record.failure(
          {.item = "the run", .reason = "stopped by the user", .kind = host::FailureKind::Cancelled});
      return outcome;
    }
    const host::Status status = analyseLayer(*layers[i]);
    if (host::failed(status) && host::succeeded(outcome)) outcome = status;
  }
  record.report(1.0, "MCP Analysis");
  return outcome;
}

host::Status orvex_MCP::fillPointBuffer(host::FeatureLayer& layer) {
  pointBuffer_.points.clear();
  try {
    const std::unique_ptr<host::Cursor> cursor = layer.selection().search();
    while (std::optional<host::Row> feature = cursor->next()) {
      if (const auto fix = validFix(*feature)) pointBuffer_.points.push_back(*fix);
    }
  } catch (const host::Error& error) {
    pointBuffer_.points.clear();
    return reportHostFailure(context().application().ui(), error, kMcpSource, __LINE__);
  }
  return host::kOk;
}

host::Status orvex_MCP::analyseLayer(host::FeatureLayer& layer) {
  host::UiServices& ui = context().application().ui();
  std::string layerName;
  try {
    layerName = layer.name();
  } catch (const host::Error& error) {
    return reportHostFailure(ui, error, kMcpSource, __LINE__);
  }

  host::RunRecord& record = context().application().runRecord();
  const auto passOver = [&](std::string reason, host::FailureKind kind) {
    record.failure(
        {.item = layerName, .reason = std::move(reason), .kind = kind, .values = {.inputLayer = layerName}});
    return host::kOk;
  };
  if (const host::Status filled = fillPointBuffer(layer); host::failed(filled)) {
    passOver("its fixes could not be read", host::FailureKind::Failed);
    return filled;
  }
  const int count = static_cast<int>(pointBuffer_.points.size());
  // Layers without usable fixes are passed over without a word to the user, by design; the
  // record still says why nothing was written for them.
  if (count == 0) return passOver(kMcpNoFixesReason, host::FailureKind::Skipped);
  if (count < kMcpMinimumFixes) {
    const std::string message =
        count == 1 ? mcpOnePointMessage(layerName) : mcpFewPointsMessage(count, layerName);
    ui.messageBox(message);
    return passOver(message, host::FailureKind::Skipped);
  }

  McpOptionsForm options(ui, layerName, boxCentre(pointBuffer_));
  if (ui.showModal(options) != host::dialog_result::kOk)
    return passOver("the options were not accepted", host::FailureKind::Cancelled);
  const McpOptionsData& chosen = options.data();

  host::Status outcome = host::kOk;
  // The layer is read once; the analysis takes the fixes read-only, so every percentage sees
  // the same set.
  const std::vector<McpPoint> fixes = fixesOf(pointBuffer_);
  // A reducing style's drops for the fewest fixes kept serve every percentage.
  McpSharedDrops shared;
  shared.floor = fixes.size();
  for (const double percentage : chosen.percentages) {
    const int target = mcpTargetCount(fixes.size(), percentage);
    if (target >= kMcpMinimumFixes) shared.floor = std::min(shared.floor, static_cast<std::size_t>(target));
  }
  for (const double percentage : chosen.percentages) {
    McpOptions run;
    run.percentage = percentage;
    run.style = chosen.style;
    run.userCentre = chosen.userCentre;
    const McpResult result = mcpPercentageAnalysis(fixes, run, shared);
    const host::RecordValues values{.inputLayer = layerName, .percentage = percentage};
    if (result.status == McpStatus::percentageTooLow) {
      ui.messageBox(mcpTooLowMessage(percentage));
      record.failure({.item = mcpItemName(percentage, layerName),
                      .reason = mcpTooLowMessage(percentage),
                      .kind = host::FailureKind::Skipped,
                      .values = values});
      continue;
    }
    // The other failures cannot occur: at least 3 finite fixes are handed over.
    if (result.status != McpStatus::ok) continue;

    const host::Status saved = saveMcpResult(context(), result, percentage, layerName);
    if (host::failed(saved)) {
      record.failure({.item = mcpItemName(percentage, layerName),
                      .reason = "the shapefile could not be written",
                      .values = values});
      if (host::succeeded(outcome)) outcome = saved;
    }
  }
  return outcome;
}

std::unique_ptr<host::Command> makeOrvexMCP() { return std::make_unique<orvex_MCP>(); }

}  // namespace orvex::core
