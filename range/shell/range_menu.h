#pragma once
// The toolbar and menu of orvexrange: a toolbar "Orvex Range" holding one drop-down menu,
// "Range Tools", whose items are the library's commands. They sit beside the design's toolbar
// and leave its "TALVO Tools" menu as it is.

#include <string>

#include "host/command.h"

namespace orvex::range {

/// "ORVEXRange", captioned "Orvex Range": one item, the menu "ORVEX.RangeMenu".
class RangeToolbar final : public host::ToolBarDef {
 public:
  std::string name() const override { return "ORVEXRange"; }
  std::string caption() const override { return "Orvex Range"; }
  int itemCount() const override { return 1; }
  bool itemInfo(int position, host::ItemInfo& info) const override;
};

/// "Range", captioned "Range Tools": the Brownian bridge, LoCoH and overlap commands.
class RangeMenu final : public host::MenuDef {
 public:
  std::string name() const override { return "Range"; }
  std::string caption() const override { return "Range Tools"; }
  int itemCount() const override;
  bool itemInfo(int position, host::ItemInfo& info) const override;
};

}  // namespace orvex::range
