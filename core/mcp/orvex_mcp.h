#pragma once

// The MCP Analysis command: minimum convex polygons over chosen percentages of the selected
// fixes of every feature layer of the focus map, one shapefile per layer and percentage.

#include <memory>
#include <string>
#include <vector>

#include "core/data/orvex_command.h"
#include "core/mcp/mcp_options_form.h"
#include "core/mcp/mcp_polygon.h"
#include "host/geometry.h"
#include "host/layer.h"

namespace orvex::core {

/// Shown when the focus map holds no feature layer.
inline constexpr const char* kMcpNoLayers = "No layer selected: Analysis cannot be performed";

/// "Only 1 point is selected in layer %s (at least three are required).  This point will not
/// be included in the analysis." (two spaces after the parenthesis).
std::string mcpOnePointMessage(const std::string& layerName);
/// "Only %d points are selected in layer %s (at least three are required).  These points will
/// not be included in the analysis."
std::string mcpFewPointsMessage(int count, const std::string& layerName);

/// Why a layer without a usable fix has no MCP, in the run's record.
inline constexpr const char* kMcpNoFixesReason =
    "it has no selected point fixes with finite coordinates (an empty layer, or one of lines or polygons)";

/// The command "MCP Analysis" (orvex_MCP, ProgID "Orvex8.orvex_MCP"); its properties are those of
/// kOrvexMcp.
///
/// A click refreshes the host context, then analyses every feature layer of the focus map
/// (inside group layers too) in map order:
/// - the valid fixes are the layer's selected simple features whose shape is a point with
///   finite coordinates, in selection order;
/// - 0 valid fixes: the layer is skipped silently; 1 or 2: a message, and the layer is
///   skipped; 3 or more: the MCP Options dialog (McpOptionsForm) opens, its centre preset to
///   the centre of the fixes' bounding box; Cancel skips the layer;
/// - each percentage, in the order entered, runs mcpPercentageAnalysis on the fixes read once
///   for the layer: a percentage too low shows its message and the next one goes on; a result
///   is saved by saveMcpResult (a Cancel in its dialog skips that percentage).
/// Every shapefile written is recorded as an output of the run; every layer or percentage
/// passed over, cancelled or failed as a failure record with the reason.
/// Host failures are shown as the host's text followed by "\norvex_MCP(<line>)"; the analysis
/// goes on with the next percentage. An empty focus map shows kMcpNoLayers.
///
/// Percentages above 100 are accepted: the target count then exceeds the fixes and every fix
/// is kept (the fixed styles' picks are capped at the fixes available), while "NUsed" still
/// reports ceil(n * p / 100).
class orvex_MCP final : public OrvexCommand {
 public:
  orvex_MCP();
  ~orvex_MCP() override;

  /// The flow above. Returns kOk when every step succeeded or was cancelled by the user; the
  /// first host failure's status (already shown) otherwise. Without onCreate: kUnexpected.
  host::Status onClick() override;

 private:
  host::Status analyseLayer(host::FeatureLayer& layer);
  /// Refills the point buffer with the layer's valid selected fixes.
  host::Status fillPointBuffer(host::FeatureLayer& layer);

  /// The valid fixes of the current layer, read once per layer.
  host::Multipoint pointBuffer_;
};

/// A new MCP Analysis command, for the component table and for tests.
std::unique_ptr<host::Command> makeOrvexMCP();

}  // namespace orvex::core
