#include "core/mcp/mcp_options_form.h"

#include <array>

#include "host/number_list.h"
#include "host/text.h"

namespace orvex::core {
namespace {

constexpr const char* kCheck = "chkPercent";
constexpr const char* kPercent = "txtPercent";
constexpr const char* kStyle = "cmbStyle";
constexpr const char* kCentreX = "txtCentreX";
constexpr const char* kCentreY = "txtCentreY";

constexpr const char* kDefaultPercentage = "95";
/// The single run made when "Select Percentage of Points" is unchecked.
constexpr double kAllPoints = 100.0;

constexpr std::array<std::string_view, 6> kStyles{kMcpAreaAdded,    kMcpFixedMean,      kMcpFixedMedian,
                                                  kMcpFloatingMean, kMcpFloatingMedian, kMcpUserCentre};

/// The framework's number check, applied only while a person can type into the box: a
/// disabled centre box is never a reason to keep the dialog open.
host::Validator numberWhileEnabled() {
  return [check = host::numberRequired()](const host::Control& control) -> std::optional<std::string> {
    if (!control.enabled()) return std::nullopt;
    return check(control);
  };
}

}  // namespace

std::string McpOptionsForm::captionFor(const std::optional<std::string>& layerName) {
  return layerName ? "MCP for: " + *layerName : std::string("MCP Options");
}

McpOptionsForm::McpOptionsForm(host::UiServices& ui, std::optional<std::string> layerName, McpPoint centre)
    : host::Form(std::string(kFormName), captionFor(layerName)), ui_(&ui) {
  using host::ControlKind;
  add(ControlKind::CheckBox, kCheck, "Select Percentage of Points").setChecked(true, host::Notify::No);
  add(ControlKind::TextBox, kPercent, "Percentage(s)").setText(kDefaultPercentage, host::Notify::No);
  add(ControlKind::Label, "lblPercent", "Enter percentage(s) separated by commas.  For example 95,90,85");
  host::Control& style = add(ControlKind::ComboBox, kStyle, "Selection Style");
  style.setSorted(true);
  for (const std::string_view name : kStyles) style.addItem(std::string(name));
  style.setSelectedIndex(style.findItem(kMcpFixedMean), host::Notify::No);
  add(ControlKind::Frame, "fraCentre", "User Centre");
  add(ControlKind::TextBox, kCentreX, "X")
      .setContainer("fraCentre")
      .setText(host::numberText(centre.x), host::Notify::No)
      .setValidator(numberWhileEnabled());
  add(ControlKind::TextBox, kCentreY, "Y")
      .setContainer("fraCentre")
      .setText(host::numberText(centre.y), host::Notify::No)
      .setValidator(numberWhileEnabled());
  add(ControlKind::Button, "btnOK", "OK");
  add(ControlKind::Button, "btnCancel", "Cancel");

  control(kCheck).onClick = [this] { enableOptions(control(kCheck).checked()); };
  control("btnOK").onClick = [this] { pressOk(); };
  control("btnCancel").onClick = [this] { cancel(); };
  onAccept = [this] { return acceptOptions(); };
  // A reopened dialog starts without the list of its previous OK.
  onLoad = [this] { data_.percentages.clear(); };
}

void McpOptionsForm::enableOptions(bool enabled) {
  for (const char* name : {kPercent, kStyle, kCentreX, kCentreY}) control(name).setEnabled(enabled);
}

void McpOptionsForm::pressOk() {
  // accept() runs the centre boxes' number check, then acceptOptions(), then closes with OK.
  const host::PageLeave refused = accept();
  if (!refused.allowed && !refused.message.empty()) ui_->messageBox(refused.message);
}

bool McpOptionsForm::refuse(const std::string& message) {
  ui_->messageBox(message);
  setFocus(kPercent);
  return false;
}

bool McpOptionsForm::acceptOptions() {
  data_.selectPercentage = control(kCheck).checked();
  if (data_.selectPercentage) {
    host::NumberList list = host::parseNumberList(control(kPercent).text());
    if (list.errorText == host::kNoDataEntered) return refuse(std::string(kBlankPercentage));
    if (!list.ok()) return refuse(list.errorText);
    data_.percentages = std::move(list.values);
  } else {
    data_.percentages = {kAllPoints};
  }
  data_.style = control(kStyle).text();
  // A disabled centre box escaped the number check; it reads as the standard conversion would.
  data_.userCentre = {host::parseNumberPrefix(control(kCentreX).text()),
                      host::parseNumberPrefix(control(kCentreY).text())};
  return true;
}

}  // namespace orvex::core
