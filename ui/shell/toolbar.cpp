#include "ui/shell/toolbar.h"

#include <cstddef>
#include <iterator>

namespace orvex::ui {
namespace {

using shell::MenuItem;

constexpr MenuItem kToolBarItems[] = {{shell::kToolsMenuItemId, false}};

// The two "Orvex8." items are commands of orvexcore (MCP analysis, Lotek import); the Lotek
// import and the About entry begin groups.
constexpr MenuItem kMenuItems[] = {
    {"ORVEX.clsKDETool", false},   {"Orvex8.orvex_MCP", false}, {"ORVEX.orvexobs", false},
    {"ORVEX.FindDupTime2", false}, {"ORVEX.FindDupxy", false},  {"ORVEX.MOLE", false},
    {"Orvex8.orvex_import", true}, {"ORVEX.clsAbout", true},
};

// A position from the host is checked before it indexes anything: a stale or hostile
// position must not read past the table.
bool fill(std::span<const MenuItem> items, int position, host::ItemInfo& info) {
  if (position < 0 || static_cast<std::size_t>(position) >= items.size()) return false;
  const MenuItem& item = items[static_cast<std::size_t>(position)];
  info.id = std::string(item.id);
  info.beginGroup = item.beginGroup;
  info.subType = 0;
  return true;
}

}  // namespace

std::string Orvex9ui::name() const { return "ORVEXTools"; }
std::string Orvex9ui::caption() const { return "Talvo Arcgis 9"; }
int Orvex9ui::itemCount() const { return static_cast<int>(std::size(kToolBarItems)); }
bool Orvex9ui::itemInfo(int position, host::ItemInfo& info) const {
  return fill(kToolBarItems, position, info);
}

std::string ToolsMenu::name() const { return "Tools"; }
std::string ToolsMenu::caption() const { return "TALVO Tools"; }
int ToolsMenu::itemCount() const { return static_cast<int>(std::size(kMenuItems)); }
bool ToolsMenu::itemInfo(int position, host::ItemInfo& info) const {
  return fill(kMenuItems, position, info);
}

}  // namespace orvex::ui
