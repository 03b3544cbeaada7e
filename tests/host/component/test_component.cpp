// A small component library for the registry tests: one command, one menu definition and one
// class that is neither, declared through the same class table the real libraries use.

#include <string>

#include "host/command.h"
#include "host/component_library.h"

namespace {

using orvex::host::Application;
using orvex::host::Guid;
using orvex::host::guid;
using orvex::host::ItemInfo;
using orvex::host::Status;

class TestCommand : public orvex::host::Command {
 public:
  std::string name() const override { return "TestCommand"; }
  std::string caption() const override { return "Test Command"; }
  std::string tooltip() const override { return "Test"; }
  std::string message() const override { return "Runs the test"; }
  std::string category() const override { return "Tests"; }
  void onCreate(Application&) override {}
  Status onClick() override { return orvex::host::kOk; }
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
};

}  // namespace

ORVEX_COMPONENT_LIBRARY(kClasses)
