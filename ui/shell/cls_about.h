#pragma once

// The "About..." menu command.

#include "host/status.h"
#include "ui/command/ui_commands.h"

namespace orvex::ui {

/// Command "ORVEX_About" (ProgID "ORVEX.clsAbout"); properties from `command::kAboutCommand`.
/// Creation keeps the application, its document, the focus map and the extension
/// "ORVEX9.clsAbout" (normally none). A click refreshes the library's shared host references,
/// then shows `frmAbout` modally and returns kOk; a click before creation throws host::Error
/// (kUnexpected).
class clsAbout final : public command::UiCommand {
 public:
  clsAbout() : UiCommand(command::kAboutCommand) {}
  ~clsAbout() override;

  host::Status onClick() override;
};

}  // namespace orvex::ui
