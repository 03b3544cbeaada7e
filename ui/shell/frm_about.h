#pragma once

// The About box of the tool set, as a form model.

#include <string>
#include <string_view>
#include <vector>

#include "host/form.h"

namespace orvex::ui {

namespace shell {

/// The version the About box states.
inline constexpr std::string_view kAboutVersion = "1.1";

/// The date this library was built, ISO 8601 ("2026-12-08").
std::string BuildDate();

/// The paragraphs of the About text, in order: the title; "Version 1.1" with the build date;
/// where the software is obtained; the developers with their numbered affiliation; what the
/// tool set does and its two families of home-range models; how to cite it; whom to ask;
/// the licence and distribution terms; the disclaimer as bulleted statements.
std::vector<std::string> AboutParagraphs();

/// The paragraphs joined with a blank line between them (no line break at the end).
std::string AboutText();

}  // namespace shell

/// The dialog: captioned "About TALVO Tools " (trailing blank included), a title label
/// `lblTitle` reading "TALVO: Talvo for ArcGIS", the read-only multi-line text box `txtAbout`
/// filled with the About text when the form loads, and the button `btnExit`, which unloads the
/// form.
class frmAbout final : public host::Form {
 public:
  static constexpr std::string_view kFormName = "frmAbout";
  static constexpr std::string_view kCaption = "About TALVO Tools ";
  static constexpr std::string_view kTitle = "TALVO: Talvo for ArcGIS";

  frmAbout();
  ~frmAbout() override;
};

}  // namespace orvex::ui
