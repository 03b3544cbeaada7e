// The toolbar and menu definitions read by position. Their items, captions and group flags as
// a host shows them are pinned by the `orvex menu` test.

#include <gtest/gtest.h>

#include <climits>

#include "ui/shell/toolbar.h"

namespace orvex::ui {
namespace {

// A position outside the definition must neither read past its items nor change the caller's
// item: hosts reuse one item record while they walk a definition.
TEST(Definitions, PositionsOutsideTheItemsSetNothing) {
  const Orvex9ui toolbar;
  const ToolsMenu menu;
  ASSERT_EQ(toolbar.itemCount(), 1);
  ASSERT_EQ(menu.itemCount(), 8);
  const host::ItemInfo untouched{"kept", true, 3};
  for (const int position : {-1, 8, 9, INT_MAX, INT_MIN}) {
    host::ItemInfo info = untouched;
    EXPECT_FALSE(menu.itemInfo(position, info)) << position;
    EXPECT_EQ(info, untouched) << position;
  }
  for (const int position : {-1, 1, INT_MAX, INT_MIN}) {
    host::ItemInfo info = untouched;
    EXPECT_FALSE(toolbar.itemInfo(position, info)) << position;
    EXPECT_EQ(info, untouched) << position;
  }
  // A valid position overwrites every field of a reused record.
  host::ItemInfo info = untouched;
  ASSERT_TRUE(menu.itemInfo(0, info));
  EXPECT_EQ(info, (host::ItemInfo{"ORVEX.clsKDETool", false, 0}));
}

}  // namespace
}  // namespace orvex::ui
