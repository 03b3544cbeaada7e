// What orvexui offers a host: its class table, the registry records it writes, and every class
// created by ProgID in any letter case, answering the interface its kind promises.

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "headless/headless_fixtures.h"
#include "host/command.h"
#include "host/component_library.h"
#include "host/registry.h"
#include "host/text.h"
#include "host/ud_maker.h"
#include "shell/shell_registry.h"
#include "ui/gis/cls_hiso.h"
#include "ui/kde/cls_kernel_calculator.h"
#include "ui/kde/cls_lscv.h"
#include "ui/shell/toolbar.h"

// The module's entry points, linked directly from liborvexui.
extern "C" orvex::host::Status orvex_register_server(const char*);
extern "C" orvex::host::Status orvex_unregister_server(const char*);

namespace orvex::ui {
namespace {

enum class Kind { ToolBar, Menu, Command, Calculator, Lscv, Hiso, KdeUds };

// Every public class of the library with the category it is listed under.
const std::map<std::string, Kind> kClasses{
    {"Orvex9ui", Kind::ToolBar}, {"ToolsMenu", Kind::Menu},       {"clsKDETool", Kind::Command},
    {"ORVEXOBS", Kind::Command}, {"FIndDupTime2", Kind::Command}, {"FindDupxy", Kind::Command},
    {"MOLE", Kind::Command},     {"clsAbout", Kind::Command},     {"clsKernelCalculator", Kind::Calculator},
    {"clsLSCV", Kind::Lscv},     {"clsHISO", Kind::Hiso},         {"clsKDEUDs", Kind::KdeUds},
};

std::vector<host::Guid> categoriesOf(Kind kind) {
  switch (kind) {
    case Kind::ToolBar:
      return {host::kToolBarCategory};
    case Kind::Menu:
      return {host::kMenuCategory};
    case Kind::Command:
      return {host::guid("{B56A7C42-83D4-11D2-A2E9-080009B6F22B}")};
    default:
      return {};
  }
}

bool answersItsKind(const std::shared_ptr<host::Component>& object, Kind kind) {
  switch (kind) {
    case Kind::ToolBar:
      return std::dynamic_pointer_cast<host::ToolBarDef>(object) != nullptr;
    case Kind::Menu:
      return std::dynamic_pointer_cast<host::MenuDef>(object) != nullptr;
    case Kind::Command:
      return std::dynamic_pointer_cast<host::Command>(object) != nullptr;
    case Kind::Calculator:
      return std::dynamic_pointer_cast<clsKernelCalculator>(object) != nullptr;
    case Kind::Lscv:
      return std::dynamic_pointer_cast<clsLSCV>(object) != nullptr;
    case Kind::Hiso:
      return std::dynamic_pointer_cast<clsHISO>(object) != nullptr;
    case Kind::KdeUds:
      return std::dynamic_pointer_cast<host::KdeUdMaker>(object) != nullptr;
  }
  return false;
}

TEST(Registration, RegistryRecordsEveryPublicClassWithItsProgIdAndCategory) {
  test::TempFolder folder;
  const auto registry = folder / "registry";
  ASSERT_EQ(orvex_register_server(registry.c_str()), host::kOk);
  const auto records = host::readRegistryFile(registry);
  ASSERT_EQ(records.size(), kClasses.size());
  for (const host::ClassRecord& record : records) {
    SCOPED_TRACE(record.className);
    const auto known = kClasses.find(record.className);
    ASSERT_NE(known, kClasses.end());
    EXPECT_EQ(record.versionIndependentProgId, "ORVEX." + record.className);
    EXPECT_EQ(record.categories, categoriesOf(known->second));
    EXPECT_EQ(record.library.filename(), "liborvexui.so");
  }
  ASSERT_EQ(orvex_unregister_server(registry.c_str()), host::kOk);
  EXPECT_TRUE(host::readRegistryFile(registry).empty());
}

TEST(Registration, HostCreatesEveryClassByProgIdInAnyLetterCase) {
  const host::ComponentRegistry& registry = test::buildRegistry();
  for (const auto& [className, kind] : kClasses) {
    const std::string progId = "ORVEX." + className;
    for (const std::string& spelling : {progId, host::toLowerAscii(progId), host::toUpperAscii(progId)}) {
      SCOPED_TRACE(spelling);
      const host::ClassRecord* record = registry.findByProgId(spelling);
      ASSERT_NE(record, nullptr);
      EXPECT_EQ(record->className, className);
      EXPECT_TRUE(answersItsKind(registry.create(spelling), kind));
    }
  }
}

// The menu names its items as the definitions return them, in letter cases and (for two of
// them) a library of their own; each must still lead the host to a class.
TEST(Registration, EveryMenuItemResolvesToARegisteredCommand) {
  const host::ComponentRegistry& registry = test::buildRegistry();
  const std::map<std::string, std::string> expectedClass{
      {"ORVEX.clsKDETool", "clsKDETool"},      {"Orvex8.orvex_MCP", "orvex_MCP"},
      {"ORVEX.orvexobs", "ORVEXOBS"},          {"ORVEX.FindDupTime2", "FIndDupTime2"},
      {"ORVEX.FindDupxy", "FindDupxy"},        {"ORVEX.MOLE", "MOLE"},
      {"Orvex8.orvex_import", "orvex_import"}, {"ORVEX.clsAbout", "clsAbout"},
  };
  const ToolsMenu tools;
  ASSERT_EQ(static_cast<std::size_t>(tools.itemCount()), expectedClass.size());
  for (int position = 0; position < tools.itemCount(); ++position) {
    host::ItemInfo item;
    ASSERT_TRUE(tools.itemInfo(position, item));
    SCOPED_TRACE(item.id);
    const host::ClassRecord* record = registry.findByProgId(item.id);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->className, expectedClass.at(std::string(item.id)));
    EXPECT_NE(registry.createAs<host::Command>(item.id), nullptr);
  }
  const host::ClassRecord* menu = registry.findByProgId(shell::kToolsMenuItemId);
  ASSERT_NE(menu, nullptr);
  EXPECT_EQ(menu->className, "ToolsMenu");
}

}  // namespace
}  // namespace orvex::ui
