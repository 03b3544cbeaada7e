#include "ui/shell/frm_about.h"

#include <array>

namespace orvex::ui {
namespace shell {
namespace {

constexpr std::string_view kParagraphSeparator = "\n\n";

constexpr std::string_view kTitleParagraph = "TALVO Tools: home-range analysis for wildlife telemetry";

constexpr std::string_view kObtainParagraph =
    "TALVO Tools is part of Orvex, which the Orvex developers distribute as source code together "
    "with its documentation. The README file that comes with the source tells how to build and "
    "install it.";

constexpr std::string_view kDevelopersParagraph =
    "Developed by the Orvex developers (1).\n"
    "(1) The Orvex project, an open-source project for the analysis of animal movement and home "
    "ranges.";

constexpr std::string_view kDescriptionParagraph =
    "TALVO Tools estimates the home ranges of animals from telemetry fixes with two families of "
    "models. Minimum convex polygons enclose chosen percentages of each animal's fixes, the "
    "outlying fixes being left out by their distance from a centre or by the area they add. "
    "Kernel methods estimate the utilisation distribution with fixed or adaptive bivariate "
    "normal kernels, choose the bandwidth from the reference bandwidth, a proportion of it, a "
    "value of your own, least-squares or biased cross-validation, and draw percent-volume "
    "isopleths as lines, polygons and donuts. The tools also import GPS-collar databases, "
    "add travel time, distance and speed fields to a point layer, remove duplicate fixes and "
    "display an animal's track step by step.";

constexpr std::string_view kCitationParagraph =
    "Please cite as: the Orvex developers. TALVO Tools: home-range analysis for wildlife "
    "telemetry, version 1.1.";

constexpr std::string_view kContactParagraph =
    "Questions, suggestions and problem reports: please write to the Orvex developers through "
    "the project's issue tracker.";

constexpr std::string_view kLicenceParagraph =
    "Licence and distribution\n"
    "TALVO Tools is free software: you may redistribute it and/or modify it under the terms of "
    "the GNU General Public License, version 2 or (at your option) any later version "
    "(GPL-2.0-or-later). A copy of the licence comes with the program in the file LICENSE. If "
    "you pass the program on, pass on its source code and this licence with it.";

constexpr std::string_view kDisclaimerParagraph =
    "Disclaimer\n"
    "- TALVO Tools is distributed in the hope that it will be useful, but WITHOUT ANY WARRANTY; "
    "without even the implied warranty of MERCHANTABILITY or FITNESS FOR A PARTICULAR PURPOSE. "
    "See the GNU General Public License for more details.\n"
    "- The Orvex developers accept no liability for any loss or damage that results from using "
    "the program or its results.\n"
    "- Home-range estimates depend on the fixes and on the settings chosen; check that they "
    "suit your data before you rely on them.\n"
    "- Estimates from few fixes, or from fixes that are not independent of one another, can be "
    "misleading.";

/// __DATE__ ("Dec  8 2026", the day padded with a blank) as "2026-12-08".
std::string IsoDate(std::string_view compilerDate) {
  static constexpr std::array<std::string_view, 12> kMonths = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                               "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  int month = 0;
  while (month < 12 && kMonths[static_cast<std::size_t>(month)] != compilerDate.substr(0, 3)) ++month;
  std::string iso(compilerDate.substr(7, 4));
  iso += '-';
  iso += static_cast<char>('0' + (month + 1) / 10);
  iso += static_cast<char>('0' + (month + 1) % 10);
  iso += '-';
  iso += compilerDate[4] == ' ' ? '0' : compilerDate[4];
  iso += compilerDate[5];
  return iso;
}

}  // namespace

std::string BuildDate() { return IsoDate(__DATE__); }

std::vector<std::string> AboutParagraphs() {
  std::string version = "Version ";
  version.append(kAboutVersion);
  version += " (built " + BuildDate() + ")";
  return {std::string(kTitleParagraph),       version,
          std::string(kObtainParagraph),      std::string(kDevelopersParagraph),
          std::string(kDescriptionParagraph), std::string(kCitationParagraph),
          std::string(kContactParagraph),     std::string(kLicenceParagraph),
          std::string(kDisclaimerParagraph)};
}

std::string AboutText() {
  std::string text;
  for (const std::string& paragraph : AboutParagraphs()) {
    if (!text.empty()) text.append(kParagraphSeparator);
    text += paragraph;
  }
  return text;
}

}  // namespace shell

frmAbout::frmAbout() : host::Form(std::string(kFormName), std::string(kCaption)) {
  add(host::ControlKind::Label, "lblTitle", std::string(kTitle));
  // Read-only: the text can be selected and copied, not edited.
  add(host::ControlKind::TextBox, "txtAbout").setReadOnly(true).setMultiLine(true);
  add(host::ControlKind::Button, "btnExit", "Exit").onClick = [this] { close(host::dialog_result::kOk); };
  onLoad = [this] { control("txtAbout").setText(shell::AboutText(), host::Notify::No); };
}

frmAbout::~frmAbout() = default;

}  // namespace orvex::ui
