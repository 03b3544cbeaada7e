#pragma once

// The output of the MCP Analysis command: one polygon shapefile per layer and percentage,
// chosen in a save dialog, holding the MCP ring and "NPoints", "NUsed", "Area".

#include <string>
#include <string_view>

#include "core/data/host_context.h"
#include "core/data/shapefile_output.h"
#include "core/mcp/mcp_polygon.h"
#include "host/field.h"
#include "host/spatial_reference.h"
#include "host/status.h"

namespace orvex::core {

/// Source name of the command's host-failure reports, and the line of the workspace step.
inline constexpr const char* kMcpSource = "orvex_MCP";
inline constexpr int kMcpWorkspaceLine = 465;

/// "Area" as the schema asks for it: 20 characters, 12 of them decimals, which leaves room for
/// areas below 10^7 only (10 km2 in metres).
inline constexpr NumberFormat kMcpAreaFormat{20, 12};

/// The fields of an MCP shapefile, in creation order: "shape" (polygon, `spatialReference`),
/// "NPoints" and "NUsed" (integer, length 4, precision 20), "Area" (double, length 8, the
/// format of kMcpAreaFormat fitted to `area` by fitNumberFormat).
host::Fields mcpOutputFields(host::SpatialReferencePtr spatialReference, double area);

/// "Save As MCP %ld percent analysis for layer = %s" with the percentage truncated to a whole
/// number (92.7 gives 92; beyond the range of a long it is clamped), or "Save As    MCP %ld
/// percent analysis" when the layer name is empty.
std::string mcpSaveTitle(double percentage, std::string_view layerName);

/// How a run's item names a layer's percentage in failure records: "rect, 92.7 percent".
std::string mcpItemName(double percentage, std::string_view layerName);

/// Saves one successful percentage run of a layer, with the context refreshed for this click:
/// asks for the file in a save dialog (Cancel: nothing written, kOk), opens the folder as a
/// shapefile workspace (a failure is shown as the host's text followed by "\norvex_MCP(465)"),
/// replaces a deletable feature class of that name, or appends to it when it stays, inserts
/// the polygon with n, O and its area, adds the file as a layer named with the file name on
/// top of the focus map and refreshes the view's geography. The dialog carries the layer and
/// percentage; the file written is recorded as an output of the run (a cancelled dialog as a
/// cancelled item).
/// @return kOk when written or cancelled; a failure (already shown to the user) otherwise.
host::Status saveMcpResult(HostContext& context, const McpResult& result, double percentage,
                           const std::string& layerName);

}  // namespace orvex::core
