#pragma once
// The "Kernel Density Estimation" menu command: opens the KDE dialog.

#include "host/command.h"
#include "ui/command/ui_commands.h"

namespace orvex::ui {

/// Command "ORVEX_KDE" (ProgID "ORVEX.clsKDETool"), category "ORVEX9"; caption, tooltip and
/// status-bar message "Kernel Density Estimation" (row `command::kKdeToolCommand`). Creation
/// keeps the application, its document, the focus map and the extension "ORVEX9.clsKDE"
/// (normally none).
///
/// A click refreshes the library's shared host references and shows the KDE dialog modally on
/// the shared focus map. The dialog reports its own failures, so a click returns kOk unless
/// the host itself fails (host::Error).
class clsKDETool final : public command::UiCommand {
 public:
  clsKDETool() : UiCommand(command::kKdeToolCommand) {}
  host::Status onClick() override;
};

}  // namespace orvex::ui
