#pragma once

// `orvex menu` and `orvex about`: the toolbar shell of orvexui as the host shows it.

#include <iosfwd>
#include <string_view>

#include "apps/orvex/subcommand.h"

namespace orvex::host {
class CommandCatalog;
}

namespace orvex::cli {

inline constexpr std::string_view kAboutProgId = "ORVEX.clsAbout";

/// The line drawn for a separator (an item that begins a group).
inline constexpr std::string_view kMenuSeparator = "----";

/// Writes every toolbar of `catalog` with its menus: one line per toolbar and menu
/// (`<caption> [<name>]`), one per command (`<caption> (<item ID>)`), the separator line before
/// each item that begins a group, and `[<item ID>] not available` for an item the host could
/// not make. Returns the number of such items.
int printToolbars(const host::CommandCatalog& catalog, std::ostream& out);

/// Builds the host's toolbars from the registry as a host does at start-up, prints them and
/// the start-up problems (standard error). Exit code 1 when an item could not be made or no
/// toolbar is registered.
int runMenu(const CommandArgs& args, const GlobalOptions& global, RunSummary& summary);

/// Clicks the About command, closes its box with the exit button and prints what the box
/// showed: the title, a blank line and the text. Exit code 1 when the box was not shown.
int runAbout(const CommandArgs& args, const GlobalOptions& global, RunSummary& summary);

}  // namespace orvex::cli
