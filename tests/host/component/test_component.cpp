// A small component library for the registry and catalog tests: a toolbar, a menu, two commands
// and a class that is neither, declared through the same class table the real libraries use.

#include <string>

#include "host/command.h"
#include "host/component_library.h"
#include "host/error.h"

namespace {

using orvex::host::Application;
using orvex::host::Guid;
using orvex::host::guid;
using orvex::host::ItemInfo;
using orvex::host::Status;

// Counts its creation hooks in its message, so a test can see that the host called it once.
class TestCommand : public orvex::host::Command {
 public:
  std::string name() const override { return "TestCommand"; }
  std::string caption() const override { return "Test Command"; }
  std::string tooltip() const override { return "Test"; }
  std::string message() const override { return "created " + std::to_string(creations_); }
  std::string category() const override { return "Tests"; }
  void onCreate(Application&) override { ++creations_; }
  Status onClick() override { return orvex::host::kFalse; }

 private:
  int creations_ = 0;
};

class FailingCommand : public orvex::host::Command {
 public:
  std::string name() const override { return "FailingCommand"; }
  std::string caption() const override { return "Failing"; }
  std::string tooltip() const override { return "Failing"; }
  std::string message() const override { return "Fails"; }
  std::string category() const override { return "Tests"; }
  void onCreate(Application&) override {}
  Status onClick() override {
    throw orvex::host::Error(orvex::host::kAccessDenied, "The output folder is read-only");
  }
};

class TestToolBar : public orvex::host::ToolBarDef {
 public:
  std::string name() const override { return "TestTools"; }
  std::string caption() const override { return "Test Tools"; }
  int itemCount() const override { return 3; }
  bool itemInfo(int position, ItemInfo& info) const override {
    static const char* const kItems[] = {"testlib.testmenu", "TESTLIB.TESTCOMMAND.1", "TESTLIB.Nothing"};
    if (position < 0 || position >= 3) return false;
    info = {kItems[position], false, 0};
    return true;
  }
};

class TestMenu : public orvex::host::MenuDef {
 public:
  std::string name() const override { return "TestMenu"; }
  std::string caption() const override { return "Test Menu"; }
  int itemCount() const override { return 2; }
  bool itemInfo(int position, ItemInfo& info) const override {
    if (position == 0) {
      info = {"TESTLIB.TestCommand", false, 0};
      return true;
    }
    if (position == 1) {
      info = {"TESTLIB.Worker", true, 0};
      return true;
    }
    return false;
  }
};

class Worker : public orvex::host::Component {};

constexpr Guid kCommandCategories[] = {orvex::host::kCommandCategory};
constexpr Guid kMenuCategories[] = {orvex::host::kMenuCategory};
constexpr Guid kToolBarCategories[] = {orvex::host::kToolBarCategory};

const orvex::host::ClassEntry kClasses[] = {
    {guid("{3F1C2A10-5B7D-4E61-9A0C-1D2E3F405162}"), "TestCommand", "TestCommand Class",
     "TESTLIB.TestCommand.1", "TESTLIB.TestCommand", kCommandCategories,
     &orvex::host::createComponent<TestCommand>},
    {guid("{3F1C2A10-5B7D-4E61-9A0C-1D2E3F405163}"), "TestMenu", "TestMenu Class", "", "TESTLIB.TestMenu",
     kMenuCategories, &orvex::host::createComponent<TestMenu>},
    {guid("{3F1C2A10-5B7D-4E61-9A0C-1D2E3F405164}"),
     "Worker",
     "Worker Class",
     "TESTLIB.Worker.1",
     "TESTLIB.Worker",
     {},
     &orvex::host::createComponent<Worker>},
    {guid("{3F1C2A10-5B7D-4E61-9A0C-1D2E3F405165}"), "FailingCommand", "FailingCommand Class", "",
     "TESTLIB.FailingCommand", kCommandCategories, &orvex::host::createComponent<FailingCommand>},
    {guid("{3F1C2A10-5B7D-4E61-9A0C-1D2E3F405166}"), "TestToolBar", "TestToolBar Class", "",
     "TESTLIB.TestToolBar", kToolBarCategories, &orvex::host::createComponent<TestToolBar>},
};

}  // namespace

ORVEX_COMPONENT_LIBRARY(kClasses)
