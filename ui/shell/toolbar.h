#pragma once

// The toolbar and menu definitions of orvexui: the toolbar `Orvex9ui` holds one drop-down
// menu, `ToolsMenu`, whose eight items are the library's six commands and two commands of
// orvexcore. Items name their commands by ProgID only; the host resolves them (letter case
// ignored), so this library never reaches into orvexcore.

#include <span>
#include <string>
#include <string_view>

#include "host/command.h"

namespace orvex::ui {

namespace shell {

/// The menu's ProgID as the toolbar names it (registered as "ORVEX.ToolsMenu").
inline constexpr std::string_view kToolsMenuItemId = "ORVEX.toolsMenu";

/// One item of a definition, as `itemInfo` reports it.
struct MenuItem {
  std::string_view id{};    ///< the ProgID, written as the definition returns it
  bool beginGroup = false;  ///< the host draws a separator before the item
};

}  // namespace shell

/// The toolbar definition: "ORVEXTools", captioned "Talvo Arcgis 9", one item (the menu).
class Orvex9ui final : public host::ToolBarDef {
 public:
  std::string name() const override;
  std::string caption() const override;
  int itemCount() const override;
  /// Position 0 is the menu; any other position leaves `info` untouched and returns false.
  bool itemInfo(int position, host::ItemInfo& info) const override;
};

/// The menu definition: "Tools", captioned "TALVO Tools", eight items.
class ToolsMenu final : public host::MenuDef {
 public:
  std::string name() const override;
  std::string caption() const override;
  int itemCount() const override;
  /// Positions 0 to 7; any other position leaves `info` untouched and returns false.
  bool itemInfo(int position, host::ItemInfo& info) const override;
};

}  // namespace orvex::ui
