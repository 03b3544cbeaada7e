// The MCP Options dialog driven as a person would: initial state, the check box enabling and
// disabling the options, OK with good and refused percentage texts, the centre number check.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/mcp/mcp_options_form.h"
#include "host/error.h"
#include "platform/common/form_driver.h"

namespace {

using orvex::core::McpOptionsForm;
using orvex::platform::FormDriver;
namespace host = orvex::host;
namespace result = orvex::host::dialog_result;

/// Records message boxes; the form needs nothing else of the user interface.
class RecordingUi final : public host::UiServices {
 public:
  std::vector<host::Message> messages;

  host::MessageAnswer show(const host::Message& message) override {
    messages.push_back(message);
    return host::MessageAnswer::Ok;
  }
  std::optional<std::filesystem::path> saveFile(const host::FileDialogOptions&) override { return {}; }
  std::vector<std::filesystem::path> openFiles(const host::FileDialogOptions&) override { return {}; }
  std::optional<std::filesystem::path> browseFolder(const host::FolderDialogOptions&) override { return {}; }
  int showModal(host::Form& form) override { return form.result(); }
  void showModeless(host::Form&) override {}
  void hide(host::Form&) override {}
  void processPendingEvents() override {}
};

class OptionsForm : public ::testing::Test {
 protected:
  RecordingUi ui;
  McpOptionsForm form{ui, std::string("deer"), {1234.5, -20.25}};
  FormDriver person{form};

  void SetUp() override { form.load(); }

  /// Types the percentage text and presses OK.
  void okWith(const std::string& percentages) {
    person.type("txtPercent", percentages);
    person.click("btnOK");
  }
  std::string lastMessage() const { return ui.messages.empty() ? std::string() : ui.messages.back().text; }
};

TEST_F(OptionsForm, OpensWithTheDesignDefaultsAndTheCentreOfTheFixes) {
  EXPECT_EQ(form.name(), "frmMCPOptions");
  EXPECT_EQ(form.caption(), "MCP for: deer");
  EXPECT_EQ(McpOptionsForm::captionFor(std::nullopt), "MCP Options");

  EXPECT_EQ(form.control("chkPercent").caption(), "Select Percentage of Points");
  EXPECT_TRUE(form.control("chkPercent").checked());
  EXPECT_EQ(form.control("txtPercent").caption(), "Percentage(s)");
  EXPECT_EQ(form.control("txtPercent").text(), "95");
  EXPECT_EQ(form.control("lblPercent").caption(),
            "Enter percentage(s) separated by commas.  For example 95,90,85");
  const host::Control& style = form.control("cmbStyle");
  EXPECT_EQ(style.caption(), "Selection Style");
  EXPECT_EQ(style.text(), "Fixed Mean");
  EXPECT_EQ(style.items(), (std::vector<std::string>{"Area Added", "Fixed Mean", "Fixed Median",
                                                     "Floating Mean", "Floating Median", "User Centre"}));
  EXPECT_EQ(form.control("fraCentre").caption(), "User Centre");
  EXPECT_EQ(form.control("txtCentreX").text(), "1234.5");
  EXPECT_EQ(form.control("txtCentreY").text(), "-20.25");
  EXPECT_EQ(form.control("btnOK").caption(), "OK");
  EXPECT_EQ(form.control("btnCancel").caption(), "Cancel");
  EXPECT_TRUE(form.data().percentages.empty());  // filled on OK only
}

TEST_F(OptionsForm, TheCheckBoxEnablesAndDisablesEveryOptionBox) {
  const std::vector<std::string> boxes{"txtPercent", "cmbStyle", "txtCentreX", "txtCentreY"};
  person.check("chkPercent", false);
  for (const auto& box : boxes) EXPECT_FALSE(form.control(box).enabled()) << box;
  EXPECT_THROW(person.type("txtPercent", "50"), host::Error);  // a person cannot reach it now

  person.check("chkPercent", true);
  for (const auto& box : boxes) EXPECT_TRUE(form.control(box).enabled()) << box;

  person.click("btnCancel");
  EXPECT_EQ(form.result(), result::kCancel);
  EXPECT_TRUE(form.data().percentages.empty());
}

TEST_F(OptionsForm, OkReadsTheListInOrderIgnoringSpacesAndOneTrailingComma) {
  okWith(" 95, 90,85 , ");
  ASSERT_FALSE(form.isOpen());
  EXPECT_EQ(form.result(), result::kOk);
  EXPECT_EQ(form.data().percentages, (std::vector<double>{95, 90, 85}));
  EXPECT_TRUE(form.data().selectPercentage);
  EXPECT_EQ(form.data().style, "Fixed Mean");
  EXPECT_EQ(form.data().userCentre.x, 1234.5);
  EXPECT_EQ(form.data().userCentre.y, -20.25);
  EXPECT_TRUE(ui.messages.empty());
}

TEST_F(OptionsForm, RefusedPercentageTextsKeepTheDialogOpenWithTheFocusOnTheList) {
  struct Case {
    const char* text;
    const char* message;
  };
  for (const Case& c :
       {Case{"", "Percentage value cannot be blank"}, Case{"  ,  ", "Percentage value cannot be blank"},
        Case{"95,,90", "Text entered () is not a valid numeric value"},
        Case{",95", "Text entered () is not a valid numeric value"}}) {
    person.focus("cmbStyle");
    okWith(c.text);
    EXPECT_TRUE(form.isOpen()) << c.text;
    EXPECT_EQ(lastMessage(), c.message) << c.text;
    EXPECT_FALSE(ui.messages.back().title.has_value()) << "the host's default title";
    EXPECT_EQ(form.focused(), "txtPercent") << c.text;
  }
  okWith("abc, 92.7x");  // pieces read as their leading number; the command refuses 0 as too low
  EXPECT_EQ(form.result(), result::kOk);
  EXPECT_EQ(form.data().percentages, (std::vector<double>{0, 92.7}));
}

TEST_F(OptionsForm, UncheckedMeansOneRunOverEveryFixWithTheStyleChosenBefore) {
  person.select("cmbStyle", "Floating Median");
  person.type("txtPercent", "");  // ignored once unchecked
  person.check("chkPercent", false);
  person.click("btnOK");
  EXPECT_EQ(form.result(), result::kOk);
  EXPECT_FALSE(form.data().selectPercentage);
  EXPECT_EQ(form.data().percentages, (std::vector<double>{100}));
  EXPECT_EQ(form.data().style, "Floating Median");
}

TEST_F(OptionsForm, AnyTypedStyleTextAndCentreAreTakenAsTheyStand) {
  person.type("cmbStyle", "fixed mean");  // not one of the six names: the algorithm keeps every fix
  person.type("txtCentreX", " 500000 ");
  person.type("txtCentreY", "-1e3");
  okWith("80");
  EXPECT_EQ(form.result(), result::kOk);
  EXPECT_EQ(form.data().style, "fixed mean");
  EXPECT_EQ(form.data().userCentre.x, 500000.0);
  EXPECT_EQ(form.data().userCentre.y, -1000.0);
}

TEST_F(OptionsForm, CentreBoxesAcceptNumbersOnlyWhileEnabled) {
  person.type("txtCentreY", "north");
  okWith("95");
  EXPECT_TRUE(form.isOpen());
  EXPECT_EQ(lastMessage(), "Please enter a number.");
  EXPECT_EQ(form.focused(), "txtCentreY");

  // Disabled, the box is no reason to refuse; its text reads as the standard conversion would.
  person.check("chkPercent", false);
  person.click("btnOK");
  EXPECT_EQ(form.result(), result::kOk);
  EXPECT_EQ(form.data().userCentre.y, 0.0);
}

}  // namespace
