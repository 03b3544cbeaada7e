#include "range/shell/range_menu.h"

#include <iterator>

namespace orvex::range {
namespace {

constexpr const char* kMenuItems[] = {"ORVEX.clsBBMMTool", "ORVEX.clsLOCOHTool", "ORVEX.clsOverlapTool"};

}  // namespace

int RangeMenu::itemCount() const { return static_cast<int>(std::size(kMenuItems)); }

bool RangeToolbar::itemInfo(int position, host::ItemInfo& info) const {
  if (position != 0) return false;
  info = host::ItemInfo{"ORVEX.RangeMenu", false, 0};
  return true;
}

bool RangeMenu::itemInfo(int position, host::ItemInfo& info) const {
  if (position < 0 || position >= itemCount()) return false;
  info = host::ItemInfo{kMenuItems[position], false, 0};
  return true;
}

}  // namespace orvex::range
