// The toolbar and menu definitions as the host reads them, position by position.

#include <gtest/gtest.h>

#include <climits>

#include "ui/shell/toolbar.h"

namespace orvex::ui {
namespace {

TEST(ToolBarDefinition, HoldsTheMenuAsItsOnlyItem) {
  const Orvex9ui toolbar;
  EXPECT_EQ(toolbar.name(), "ORVEXTools");
  EXPECT_EQ(toolbar.caption(), "Talvo Arcgis 9");
  ASSERT_EQ(toolbar.itemCount(), 1);
  host::ItemInfo info;
  ASSERT_TRUE(toolbar.itemInfo(0, info));
  EXPECT_EQ(info, (host::ItemInfo{"ORVEX.toolsMenu", false, 0}));
}

TEST(MenuDefinition, ListsTheEightCommandsWithSeparatorsBeforeImportAndAbout) {
  const ToolsMenu menu;
  EXPECT_EQ(menu.name(), "Tools");
  EXPECT_EQ(menu.caption(), "TALVO Tools");
  const host::ItemInfo expected[] = {
      {"ORVEX.clsKDETool", false, 0},   {"Orvex8.orvex_MCP", false, 0}, {"ORVEX.orvexobs", false, 0},
      {"ORVEX.FindDupTime2", false, 0}, {"ORVEX.FindDupxy", false, 0},  {"ORVEX.MOLE", false, 0},
      {"Orvex8.orvex_import", true, 0}, {"ORVEX.clsAbout", true, 0},
  };
  ASSERT_EQ(menu.itemCount(), 8);
  for (int position = 0; position < 8; ++position) {
    host::ItemInfo info{"stale", true, 7};  // every field must be overwritten
    ASSERT_TRUE(menu.itemInfo(position, info)) << position;
    EXPECT_EQ(info, expected[position]) << position;
  }
}

// A position outside the definition must neither read past its items nor change the caller's
// item: hosts reuse one item record while they walk a definition.
TEST(Definitions, PositionsOutsideTheItemsSetNothing) {
  const Orvex9ui toolbar;
  const ToolsMenu menu;
  const host::ItemInfo untouched{"kept", true, 3};
  for (const int position : {-1, 8, 9, 100, INT_MAX, INT_MIN}) {
    host::ItemInfo info = untouched;
    EXPECT_FALSE(menu.itemInfo(position, info)) << position;
    EXPECT_EQ(info, untouched) << position;
  }
  for (const int position : {-1, 1, INT_MAX, INT_MIN}) {
    host::ItemInfo info = untouched;
    EXPECT_FALSE(toolbar.itemInfo(position, info)) << position;
    EXPECT_EQ(info, untouched) << position;
  }
}

}  // namespace
}  // namespace orvex::ui
