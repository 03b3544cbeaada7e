#include "range/shell/range_menu.h"

namespace orvex::range {
namespace {

bool One(const char* id, int position, host::ItemInfo& info) {
  if (position != 0) return false;
  info = host::ItemInfo{id, false, 0};
  return true;
}

}  // namespace

bool RangeToolbar::itemInfo(int position, host::ItemInfo& info) const {
  return One("ORVEX.RangeMenu", position, info);
}

bool RangeMenu::itemInfo(int position, host::ItemInfo& info) const {
  return One("ORVEX.clsBBMMTool", position, info);
}

}  // namespace orvex::range
