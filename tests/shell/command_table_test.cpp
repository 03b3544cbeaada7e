// The six orvexui menu commands as the host sees them: created by ProgID from the component
// libraries, whichever part of the library implements them.

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "host/command.h"
#include "host/error.h"
#include "platform/headless/headless_application.h"
#include "shell/shell_registry.h"
#include "ui/command/ui_commands.h"
#include "ui/shell/cls_about.h"

namespace orvex::ui {
namespace {

struct ExpectedCommand {
  const char* progId;  // as the menu names it
  const char* name;
  const char* caption;
  const char* tooltip;
  const char* message;
};

// The command property table of the menu commands, as the host must see them.
const ExpectedCommand kExpected[] = {
    {"ORVEX.clsKDETool", "ORVEX_KDE", "Kernel Density Estimation", "Kernel Density Estimation",
     "Kernel Density Estimation"},
    {"ORVEX.orvexobs", "CalcOBS", "Calculate Travel Times and Distances", "Calc Observation Fields",
     "Calculate Travel Times and Distances"},
    {"ORVEX.FindDupTime2", "RemoveDupsByTime2", "Remove Time2 Field Duplicates",
     "Finds and Removes Duplicate points using the time2 field.",
     "Finds and Removes Duplicate points using the time2 field."},
    {"ORVEX.FindDupxy", "RemoveDupsByxy", "Remove X/Y Duplicates", "Finds and Removes Duplicate points.",
     "Finds and Removes Duplicate points using the xy field."},
    {"ORVEX.MOLE", "MOLE", "Display Travel", "Display Travel", "Display Travel"},
    {"ORVEX.clsAbout", "ORVEX_About", "About...", "About...", "About..."},
};

void expectProperties(const host::Command& command, const ExpectedCommand& expected) {
  EXPECT_EQ(command.name(), expected.name);
  EXPECT_EQ(command.caption(), expected.caption);
  EXPECT_EQ(command.tooltip(), expected.tooltip);
  EXPECT_EQ(command.message(), expected.message);
  EXPECT_EQ(command.category(), "ORVEX9");
  EXPECT_TRUE(command.enabled());
  EXPECT_FALSE(command.checked());
  EXPECT_TRUE(command.bitmap().isNone());
  EXPECT_EQ(command.helpFile(), std::optional<std::string>(""));
  EXPECT_EQ(command.helpContextId(), std::optional<int>(0));
}

TEST(CommandTable, EveryMenuCommandReportsItsPropertiesBeforeAndAfterCreation) {
  std::ostringstream messages;
  platform::headless::HeadlessApplication application({.messages = &messages});
  for (const ExpectedCommand& expected : kExpected) {
    SCOPED_TRACE(expected.progId);
    std::shared_ptr<host::Command> command;
    try {
      command = test::buildRegistry().createAs<host::Command>(expected.progId);
    } catch (const host::Error& error) {
      ADD_FAILURE() << error.description();
      continue;
    }
    expectProperties(*command, expected);
    // An empty map changes nothing: each click handler does its own checks.
    command->onCreate(application);
    expectProperties(*command, expected);
  }
}

// Reads what the base class kept at creation.
class KeptProbe final : public command::UiCommand {
 public:
  using UiCommand::UiCommand;
  host::Status onClick() override { return host::kOk; }
  using UiCommand::application;
  using UiCommand::document;
  using UiCommand::extension;
  using UiCommand::focusMap;
};

TEST(CommandTable, CreationKeepsWhatEachRowNames) {
  std::ostringstream messages;
  platform::headless::HeadlessApplication application({.messages = &messages});

  KeptProbe about(command::kAboutCommand);
  about.onCreate(application);
  EXPECT_EQ(&about.application(), &application);
  EXPECT_EQ(about.document(), application.document());
  EXPECT_EQ(about.focusMap(), application.document()->focusMap());
  EXPECT_EQ(about.extension(), nullptr);  // no extension of that identity exists

  KeptProbe obs(command::kObsCommand);
  obs.onCreate(application);
  EXPECT_EQ(obs.document(), application.document());
  EXPECT_EQ(obs.focusMap(), nullptr);

  KeptProbe mole(command::kMoleCommand);
  mole.onCreate(application);
  EXPECT_EQ(&mole.application(), &application);
  EXPECT_EQ(mole.document(), nullptr);
}

TEST(CommandTable, AClickBeforeCreationIsAnErrorNamingTheCommand) {
  clsAbout about;
  try {
    about.onClick();
    FAIL() << "no error";
  } catch (const host::Error& error) {
    EXPECT_EQ(error.status(), host::kUnexpected);
    EXPECT_NE(error.description().find("ORVEX_About"), std::string::npos) << error.description();
  }
}

}  // namespace
}  // namespace orvex::ui
