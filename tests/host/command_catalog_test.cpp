#include <gtest/gtest.h>

#include <filesystem>

#include "host/application.h"
#include "host/command_catalog.h"
#include "host/error.h"

namespace orvex::host {
namespace {

// The catalog only hands the application to the commands' creation hooks.
class NoServices : public Application {
 public:
  std::string name() const override { return "test host"; }
  std::shared_ptr<Document> document() const override { return nullptr; }
  UiServices& ui() override { throw Error(kNotImplemented, "no UI"); }
  StatusBar& statusBar() override { throw Error(kNotImplemented, "no status bar"); }
  Clock& clock() override { throw Error(kNotImplemented, "no clock"); }
  WorkspaceFactory& workspaces() override { throw Error(kNotImplemented, "no data"); }
  SpatialReferenceFactory& spatialReferences() override { throw Error(kNotImplemented, "no references"); }
  GeometryService& geometry() override { throw Error(kNotImplemented, "no geometry"); }
};

class Catalog : public ::testing::Test {
 protected:
  NoServices application;
  ComponentRegistry registry =
      ComponentRegistry::fromFolder(std::filesystem::path(ORVEX_TEST_COMPONENT).parent_path());
};

TEST_F(Catalog, ToolbarsExpandIntoMenusAndCommands) {
  CommandCatalog catalog(registry, application);
  ASSERT_EQ(catalog.toolbars().size(), 1u) << (catalog.problems().empty() ? "" : catalog.problems()[0]);
  const CommandBar& bar = catalog.toolbars()[0];
  EXPECT_EQ(bar.definition->caption(), "Test Tools");
  ASSERT_EQ(bar.items.size(), 3u);
  const CommandItem& menu = bar.items[0];
  ASSERT_NE(menu.menu, nullptr);
  EXPECT_EQ(menu.menu->caption(), "Test Menu");
  ASSERT_EQ(menu.items.size(), 2u);
  EXPECT_EQ(menu.items[0].command->name(), "TestCommand");
  EXPECT_TRUE(menu.items[1].info.beginGroup);
  EXPECT_EQ(menu.items[1].problem, "'TESTLIB.Worker' is neither a command nor a menu");
  EXPECT_EQ(bar.items[2].problem, "'TESTLIB.Nothing' is not registered");
}

TEST_F(Catalog, EachCommandIsMadeOnceAndCreatedOnce) {
  CommandCatalog catalog(registry, application);
  const auto& bar = catalog.toolbars()[0];
  // The menu names the command by one ProgID, the toolbar by another in other letters.
  EXPECT_EQ(bar.items[0].items[0].command, bar.items[1].command);
  EXPECT_EQ(bar.items[1].command->message(), "created 1");
  EXPECT_EQ(catalog.command("{3F1C2A10-5B7D-4E61-9A0C-1D2E3F405162}"), bar.items[1].command);
  // The command category adds the command that no toolbar lists.
  ASSERT_EQ(catalog.commands().size(), 2u);
  EXPECT_EQ(catalog.commands()[1]->name(), "FailingCommand");
  EXPECT_EQ(catalog.problems().size(), 2u);
}

}  // namespace
}  // namespace orvex::host
