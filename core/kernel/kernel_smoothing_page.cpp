// The Smoothing page of the "Kernel Analysis Parameters" sheet: the h box, how it is filled
// (user, h_ref, LSCV, BCV), the proportion box and the reading of the h list.

#include <cmath>

#include "core/kernel/kernel_sheet.h"
#include "host/number_list.h"
#include "host/text.h"

namespace orvex::core {
namespace {

namespace names = kernel_controls;
using host::ControlKind;
using host::Notify;

constexpr const char* kHChoiceGroup = "grpHChoice";

constexpr const char* kSmoothingText =
    "Choosing a smoothing parameter (h) is the most important step in a kernel analysis. Depending on "
    "your data, the following options may oversmooth or undersmooth the utilization distribution.";

/// The default list runs from 1.0 down to 0.1 href in tenths.
constexpr int kDefaultHCount = 10;

/// The text of "h_ref": one run at h = href (or 1.0 map unit without the proportion box).
constexpr const char* kHrefText = "1.0";

}  // namespace

std::string KernelSheet::defaultHText() {
  std::string text;
  for (int k = 0; k < kDefaultHCount; ++k) {
    const double value = static_cast<double>(kDefaultHCount - k) / kDefaultHCount;
    text += k == 0 ? host::cformat("%0.1f", value) : host::cformat(",%0.1f", value);
  }
  return text;
}

std::string KernelSheet::nonPositiveHMessage(double value) {
  return "Each h value must be a number greater than 0 (the list holds " + host::numberText(value) + ").";
}

void KernelSheet::buildSmoothingPage() {
  const int page = addPage("Smoothing");
  add(ControlKind::Label, "lblSmoothing", kSmoothingText).setPage(page);
  add(ControlKind::CheckBox, names::kProportion, "Show h as a proportion of h_ref (")
      .setPage(page)
      .setChecked(true, Notify::No);
  add(ControlKind::TextBox, names::kHref).setPage(page).setReadOnly(true);
  add(ControlKind::Label, "lblHrefClose", ")").setPage(page);
  add(ControlKind::TextBox, names::kH, "h:").setPage(page).setText(defaultHText(), Notify::No);

  const auto frame = [&](const char* name, const char* caption) {
    add(ControlKind::Frame, name, caption).setPage(page);
  };
  const auto option = [&](const char* name, const char* caption, const char* frameName) -> host::Control& {
    return add(ControlKind::OptionButton, name, caption).setPage(page).setContainer(frameName);
  };
  frame("fraManual", "Manual choice");
  option(names::kChooseHref, "h_ref", "fraManual").setGroup(kHChoiceGroup);
  option(names::kChooseUser, "User", "fraManual").setGroup(kHChoiceGroup).setChecked(true, Notify::No);
  frame("fraAutomatic", "Automatic choice");
  option(names::kChooseLscv, "Least squares cross-validation", "fraAutomatic").setGroup(kHChoiceGroup);
  option(names::kChooseBcv, "Biased cross-validation", "fraAutomatic").setGroup(kHChoiceGroup);
  frame("fraApplication", "Smoothing Application");
  option(names::kAdaptive, "Adaptive", "fraApplication").setChecked(true, Notify::No);
  option(names::kFixed, "Fixed", "fraApplication");

  control(names::kChooseUser).onClick = [this] { chooseUserH(); };
  control(names::kChooseHref).onClick = [this] { chooseHref(); };
  control(names::kChooseLscv).onClick = [this] { chooseSearch(false); };
  control(names::kChooseBcv).onClick = [this] { chooseSearch(true); };
  control(names::kProportion).onClick = [this] { rewriteHFromEngine(); };

  engine_->set_search_range(kSearchLower, kSearchUpper, kSearchTolerance);
  engine_->set_h_proportional(1.0);
  showHref();
}

void KernelSheet::chooseUserH() { control(names::kH).setEnabled(true); }

void KernelSheet::chooseHref() { control(names::kH).setEnabled(false).setText(kHrefText); }

void KernelSheet::chooseSearch(bool bcv) {
  control(names::kH).setEnabled(false);
  if (bcv)
    engine_->CrossValidationBCV2();
  else
    engine_->CrossValidation();
  rewriteHFromEngine();
}

void KernelSheet::rewriteHFromEngine() {
  double h = engine_->h();
  if (control(names::kProportion).checked()) h /= engine_->gethref();
  control(names::kH).setText(host::cformat("%17.15f", h));
}

bool KernelSheet::readHList() {
  const std::string& text = control(names::kH).text();
  const bool proportional = control(names::kProportion).checked();
  host::NumberList list = host::parseNumberList(text);
  // A bandwidth of 0 or below (or beyond the doubles) has no kernel: refused here rather than
  // handed to runs that could only fail.
  for (const double value : list.values) {
    if (value > 0.0 && std::isfinite(value)) continue;
    ui_->messageBox(nonPositiveHMessage(value));
    setFocus(names::kH);
    return false;
  }

  const double first = host::parseNumberPrefix(text);
  if (first > 0.0 && std::isfinite(first)) {
    if (proportional)
      engine_->set_h_proportional(first);
    else
      engine_->seth(first);
  }
  options_.hValues = std::move(list.values);
  return true;
}

}  // namespace orvex::core
