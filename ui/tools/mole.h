#pragma once

// The command "Display Travel" (MOLE): opens the track display over the fixes selected on the
// point layer chosen in the table of contents.

#include <optional>
#include <string>

#include "host/application.h"
#include "host/command.h"
#include "host/row.h"
#include "host/table.h"

namespace orvex::ui {

namespace track {
inline constexpr const char* kMoleNoPointLayer = "You must select a point layer";
inline constexpr const char* kMoleNothingSelected = "You must select the points to track";
inline constexpr const char* kMoleOneSelected = "You must select more then one point to track";

/// The object id of the last feature of the class, walking every feature in stored order;
/// kNoObjectId for an empty class.
host::ObjectId LastObjectId(const host::FeatureClass& featureClass);
}  // namespace track

/// The MOLE command (ProgID "ORVEX.MOLE"): name "MOLE", caption, tooltip and message
/// "Display Travel", category "ORVEX9", always enabled, never checked, no bitmap, an empty help
/// file and help context 0.
///
/// A click checks the table-of-contents layer and its selection, then shows `frmORVEX`
/// modally:
/// - no point feature layer chosen (none, not a feature layer, missing data, or shapes that
///   are not points): kMoleNoPointLayer, titled "Display Tracks";
/// - no feature selected: kMoleNothingSelected; one: kMoleOneSelected (both with an empty
///   title).
/// Failures are shown as "MOLE_Click sub ERROR: <description>"; the click then returns kOk, as
/// it does after every message. Without onCreate it returns kUnexpected.
class MOLE final : public host::Command {
 public:
  std::string name() const override { return "MOLE"; }
  std::string caption() const override { return "Display Travel"; }
  std::string tooltip() const override { return "Display Travel"; }
  std::string message() const override { return "Display Travel"; }
  std::string category() const override { return "ORVEX9"; }
  std::optional<std::string> helpFile() const override { return std::string(); }
  std::optional<int> helpContextId() const override { return 0; }

  void onCreate(host::Application& application) override { application_ = &application; }
  host::Status onClick() override;

 private:
  void OpenTrackDisplay();

  host::Application* application_ = nullptr;
};

}  // namespace orvex::ui
