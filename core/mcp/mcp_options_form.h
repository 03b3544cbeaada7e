#pragma once

// The MCP Options dialog: which percentages of a layer's fixes to keep, by which selection
// style, around which user centre. One dialog per layer, as a form model that a host renders
// and a script or a person drives through its controls' events.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/mcp/mcp_polygon.h"
#include "host/form.h"
#include "host/ui_services.h"

namespace orvex::core {

/// What the dialog hands back on OK (one instance per layer).
struct McpOptionsData {
  /// "Select Percentage of Points": unchecked means one run over every fix (100 percent).
  bool selectPercentage = true;
  /// The percentages in the order entered; filled on OK, empty before.
  std::vector<double> percentages{};
  /// The text of the style box as it stood at OK: one of the six style names or anything typed.
  std::string style{kMcpFixedMean};
  McpPoint userCentre{};
};

/// The dialog "MCP for: <layer>" ("MCP Options" without a layer name).
///
/// Controls (name: kind, caption, initial state):
/// - chkPercent: check box "Select Percentage of Points", checked. Clicking it enables the
///   percentage box, the style box and both centre boxes when it becomes checked and disables
///   them when it becomes unchecked.
/// - txtPercent: text box "Percentage(s)", "95".
/// - lblPercent: label "Enter percentage(s) separated by commas.  For example 95,90,85".
/// - cmbStyle: combo box "Selection Style" with a typing field and a sorted list of the six
///   style names; "Fixed Mean".
/// - fraCentre: frame "User Centre" holding txtCentreX ("X") and txtCentreY ("Y"): number boxes
///   preset with the centre passed in (the centre of the layer's fixes' bounding box).
/// - btnOK "OK", btnCancel "Cancel".
///
/// OK, checked: the percentage text is trimmed and one trailing comma dropped; an empty text
/// shows "Percentage value cannot be blank", a text the number-list parser refuses shows the
/// parser's error ("Text entered () is not a valid numeric value"); either way the focus goes
/// back to txtPercent and the dialog stays open. OK, unchecked: the list is the single value
/// 100. A centre box that is enabled and does not hold a number is refused with the form
/// framework's "Please enter a number." before anything else. Messages are shown through `ui`
/// with the host's default title. The style and centre are read as they stand at OK.
class McpOptionsForm final : public host::Form {
 public:
  static constexpr std::string_view kFormName = "frmMCPOptions";
  static constexpr std::string_view kBlankPercentage = "Percentage value cannot be blank";

  /// `layerName` empty (nullopt): the caption "MCP Options". `ui` outlives the form.
  McpOptionsForm(host::UiServices& ui, std::optional<std::string> layerName, McpPoint centre);

  /// The dialog's data; complete once the form closed with OK.
  const McpOptionsData& data() const { return data_; }

  /// "MCP for: <name>", or "MCP Options" without a name.
  static std::string captionFor(const std::optional<std::string>& layerName);

 private:
  void enableOptions(bool enabled);
  void pressOk();
  bool acceptOptions();
  bool refuse(const std::string& message);

  host::UiServices* ui_;
  McpOptionsData data_;
};

}  // namespace orvex::core
