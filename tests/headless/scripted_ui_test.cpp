// The scripted user interface: printed and recorded message boxes, answers by policy, by a
// person at a terminal or by default, dialog answers and forms played from scripts.

#include <gtest/gtest.h>

#include <sstream>

#include "host/error.h"
#include "host/form.h"
#include "platform/headless/scripted_ui.h"

namespace host = orvex::host;
using host::MessageAnswer;
using host::MessageButtons;
using orvex::platform::headless::ChoicePolicy;
using orvex::platform::headless::defaultAnswer;
using orvex::platform::headless::DialogKind;
using orvex::platform::headless::FormScript;
using orvex::platform::headless::ScriptedUi;

namespace {

class ScriptedUiTest : public ::testing::Test {
 protected:
  std::ostringstream out;
  ScriptedUi ui{out, "Orvex"};

  MessageAnswer ask(MessageButtons buttons, std::string text = "Go on?",
                    std::optional<std::string> title = "Q") {
    return ui.show(host::Message{std::move(text), std::move(title), buttons, host::MessageIcon::Question});
  }
};

// --- message boxes -------------------------------------------------------------------------

TEST_F(ScriptedUiTest, PrintsTitleAndTextOrTheTextAloneWhenTheTitleIsEmpty) {
  ui.messageBox("You must select a point layer", std::string("Display Tracks"));
  ui.messageBox("You must select the points to track", std::string(""));
  ui.messageBox("Processing complete.");  // no title: the host's own
  EXPECT_EQ(out.str(),
            "Display Tracks: You must select a point layer\n"
            "You must select the points to track\n"
            "Orvex: Processing complete.\n");
}

TEST_F(ScriptedUiTest, RecordsEveryMessageWithItsAnswer) {
  ui.messageBox("one", std::string("A"));
  ui.setChoicePolicy(ChoicePolicy::No);
  ask(MessageButtons::YesNo, "two");
  ASSERT_EQ(ui.messages().size(), 2u);
  EXPECT_EQ(ui.messages()[0].message.text, "one");
  EXPECT_EQ(ui.messages()[0].answer, MessageAnswer::Ok);
  EXPECT_EQ(ui.messages()[1].message.text, "two");
  EXPECT_EQ(ui.messages()[1].message.buttons, MessageButtons::YesNo);
  EXPECT_EQ(ui.messages()[1].answer, MessageAnswer::No);
  ui.clearRecords();
  EXPECT_TRUE(ui.messages().empty());
}

TEST_F(ScriptedUiTest, YesAndNoFlagsAnswerYesNoQuestionsOnly) {
  ui.setChoicePolicy(ChoicePolicy::Yes);
  EXPECT_EQ(ask(MessageButtons::YesNo), MessageAnswer::Yes);
  EXPECT_EQ(ask(MessageButtons::YesNoCancel), MessageAnswer::Yes);
  ui.setChoicePolicy(ChoicePolicy::No);
  EXPECT_EQ(ask(MessageButtons::YesNo), MessageAnswer::No);
  EXPECT_EQ(ask(MessageButtons::YesNoCancel), MessageAnswer::No);
  // Not a Yes/No question: the flag does not turn OK/Cancel into Cancel.
  EXPECT_EQ(ask(MessageButtons::OkCancel), MessageAnswer::Ok);
}

TEST_F(ScriptedUiTest, WithoutAPersonTheDialogsDefaultIsTaken) {
  EXPECT_EQ(ask(MessageButtons::Ok), MessageAnswer::Ok);
  EXPECT_EQ(ask(MessageButtons::YesNo), MessageAnswer::Yes);
  EXPECT_EQ(ask(MessageButtons::YesNoCancel), MessageAnswer::Yes);
  EXPECT_EQ(ask(MessageButtons::OkCancel), MessageAnswer::Ok);
  EXPECT_EQ(ask(MessageButtons::AbortRetryIgnore), MessageAnswer::Abort);
  // Retry unattended would repeat the failing step for ever.
  EXPECT_EQ(ask(MessageButtons::RetryCancel), MessageAnswer::Cancel);
  EXPECT_EQ(defaultAnswer(MessageButtons::RetryCancel), MessageAnswer::Cancel);
}

TEST_F(ScriptedUiTest, APersonAtTheTerminalAnswersByWordOrBeginning) {
  std::istringstream person("n\nYES\nc\n");
  ui.setPromptInput(&person);
  EXPECT_EQ(ask(MessageButtons::YesNo), MessageAnswer::No);
  EXPECT_EQ(ask(MessageButtons::YesNo), MessageAnswer::Yes);
  EXPECT_EQ(ask(MessageButtons::YesNoCancel), MessageAnswer::Cancel);
  EXPECT_NE(out.str().find("Q: Go on?\n(yes/no) [yes]: "), std::string::npos) << out.str();
}

TEST_F(ScriptedUiTest, APromptIsRepeatedForUnreadableRepliesAndAnEmptyReplyTakesTheDefault) {
  std::istringstream person("maybe\nno\n\n");
  ui.setPromptInput(&person);
  EXPECT_EQ(ask(MessageButtons::YesNo), MessageAnswer::No);
  EXPECT_EQ(ask(MessageButtons::RetryCancel), MessageAnswer::Cancel);  // empty line
}

TEST_F(ScriptedUiTest, AmbiguousBeginningsAreAskedAgainAndEndOfInputTakesTheDefault) {
  std::istringstream person("");  // nothing to read at all
  ui.setPromptInput(&person);
  EXPECT_EQ(ask(MessageButtons::OkCancel), MessageAnswer::Ok);

  std::istringstream unsure("x\ny\nz\n");  // three unreadable replies in a row
  ui.setPromptInput(&unsure);
  EXPECT_EQ(ask(MessageButtons::AbortRetryIgnore), MessageAnswer::Abort);
}

TEST_F(ScriptedUiTest, FlagsWinOverThePersonAndOkBoxesReadNothing) {
  std::istringstream person("no\n");
  ui.setPromptInput(&person);
  ui.setChoicePolicy(ChoicePolicy::Yes);
  EXPECT_EQ(ask(MessageButtons::Ok), MessageAnswer::Ok);
  EXPECT_EQ(ask(MessageButtons::YesNo), MessageAnswer::Yes);
  ui.setChoicePolicy(ChoicePolicy::Ask);
  EXPECT_EQ(ask(MessageButtons::YesNo), MessageAnswer::No);  // the line is still unread
}

// --- file and folder dialogs --------------------------------------------------------------

host::FileDialogOptions saveOptions(std::string title) {
  host::FileDialogOptions options;
  options.title = std::move(title);
  options.filter = "Shapefiles (*.shp)|*.shp";
  options.defaultExtension = "shp";
  options.overwritePrompt = true;
  return options;
}

TEST_F(ScriptedUiTest, SaveDialogsTakeQueuedAnswersInOrderWithTheDefaultExtension) {
  ui.queueSaveAnswer(std::filesystem::path("/data/out/mcp95"));
  ui.queueSaveAnswer(std::nullopt);  // the person cancels the second
  ui.queueSaveAnswer(std::filesystem::path("/data/out/mcp90.shp"));
  EXPECT_EQ(ui.saveFile(saveOptions("Save As for h = 1.0")), std::filesystem::path("/data/out/mcp95.shp"));
  EXPECT_EQ(ui.saveFile(saveOptions("second")), std::nullopt);
  EXPECT_EQ(ui.saveFile(saveOptions("third")), std::filesystem::path("/data/out/mcp90.shp"));

  ASSERT_EQ(ui.dialogs().size(), 3u);
  EXPECT_EQ(ui.dialogs()[0].kind, DialogKind::Save);
  EXPECT_EQ(ui.dialogs()[0].title, "Save As for h = 1.0");
  EXPECT_TRUE(ui.dialogs()[1].answer.empty());
  EXPECT_EQ(out.str(), "");  // answered dialogs print nothing
}

TEST_F(ScriptedUiTest, ASaveDialogWithoutAnAnswerIsCancelledAndSaysSo) {
  EXPECT_EQ(ui.saveFile(saveOptions("Save As  for h = 0.5")), std::nullopt);
  EXPECT_EQ(out.str(), "Save As  for h = 0.5: no file given; cancelled\n");
}

TEST_F(ScriptedUiTest, RelativeAnswersBecomeAbsolute) {
  ui.queueSaveAnswer(std::filesystem::path("out/kernel"));
  const auto chosen = ui.saveFile(saveOptions("t"));
  ASSERT_TRUE(chosen);
  EXPECT_TRUE(chosen->is_absolute());
  EXPECT_EQ(chosen->filename(), "kernel.shp");
}

TEST_F(ScriptedUiTest, ACallbackAnswersBeforeTheQueue) {
  ui.queueSaveAnswer(std::filesystem::path("/queued.shp"));
  ui.setSaveAnswers([](const host::FileDialogOptions& options) -> std::optional<std::filesystem::path> {
    return std::filesystem::path("/out") / (options.title + ".shp");
  });
  EXPECT_EQ(ui.saveFile(saveOptions("h1")), std::filesystem::path("/out/h1.shp"));
}

TEST_F(ScriptedUiTest, OpenDialogsKeepOneFileUnlessSeveralAreAllowed) {
  host::FileDialogOptions options;
  options.title = "Select Lotek files";
  ui.queueOpenAnswer({"/a.mdb", "/b.mdb"});
  EXPECT_EQ(ui.openFiles(options), std::vector<std::filesystem::path>{"/a.mdb"});
  options.allowMultiple = true;
  ui.queueOpenAnswer({"/a.mdb", "/b.mdb"});
  EXPECT_EQ(ui.openFiles(options).size(), 2u);
  EXPECT_TRUE(ui.openFiles(options).empty());
  EXPECT_EQ(out.str(), "Select Lotek files: no file given; cancelled\n");
}

// --- forms ---------------------------------------------------------------------------------

/// A dialog with a text box that must hold a number, a check box enabling it, and OK/Cancel
/// buttons; its handlers are the behaviour under test's stand-in for a real dialog.
struct NumberDialog {
  host::Form form{"frmNumber", "Number Options"};
  std::string accepted;
  std::vector<std::string> events;

  explicit NumberDialog(host::UiServices& ui) {
    auto& use = form.add(host::ControlKind::CheckBox, "chkUse", "Use a number");
    auto& text = form.add(host::ControlKind::TextBox, "txtNumber");
    auto& ok = form.add(host::ControlKind::Button, "btnOK", "OK");
    auto& cancel = form.add(host::ControlKind::Button, "btnCancel", "Cancel");
    form.onLoad = [this, &use, &text] {
      use.setChecked(true, host::Notify::No);
      text.setText("95", host::Notify::No);
      events.push_back("load");
    };
    use.onClick = [this, &use, &text] {
      text.setEnabled(use.checked());
      events.push_back("use");
    };
    ok.onClick = [this, &ui, &text] {
      if (text.text().empty()) {
        ui.messageBox("Percentage value cannot be blank");
        return;
      }
      accepted = text.text();
      form.close(host::dialog_result::kOk);
    };
    cancel.onClick = [this] { form.close(host::dialog_result::kCancel); };
  }
};

TEST_F(ScriptedUiTest, AFormIsShownByPlayingItsScriptThroughTheControlsEvents) {
  NumberDialog dialog(ui);
  ui.setFormScript("frmNumber", FormScript().type("txtNumber", "90,85").click("btnOK"));
  EXPECT_EQ(ui.showModal(dialog.form), host::dialog_result::kOk);
  EXPECT_EQ(dialog.accepted, "90,85");
  ASSERT_EQ(ui.forms().size(), 1u);
  EXPECT_EQ(ui.forms()[0].name, "frmNumber");
  EXPECT_EQ(ui.forms()[0].caption, "Number Options");
  EXPECT_EQ(ui.forms()[0].result, host::dialog_result::kOk);
}

TEST_F(ScriptedUiTest, TheStandingScriptPlaysAtEveryShowingAndQueuedOnesComeFirst) {
  NumberDialog dialog(ui);
  ui.setFormScript("frmNumber", FormScript().click("btnOK"));
  ui.queueFormScript("frmNumber", FormScript().type("txtNumber", "50").click("btnOK"));
  ui.showModal(dialog.form);
  EXPECT_EQ(dialog.accepted, "50");
  ui.showModal(dialog.form);  // loaded again: the default text, then the standing script
  EXPECT_EQ(dialog.accepted, "95");
  EXPECT_EQ(dialog.events, (std::vector<std::string>{"load", "load"}));
}

TEST_F(ScriptedUiTest, AFormWithoutAScriptOrLeftOpenIsCancelledWithANote) {
  NumberDialog dialog(ui);
  EXPECT_EQ(ui.showModal(dialog.form), host::dialog_result::kCancel);
  EXPECT_FALSE(dialog.form.isOpen());
  EXPECT_EQ(out.str(), "Number Options: no answers given; cancelled\n");

  out.str("");
  ui.setFormScript("frmNumber", FormScript().type("txtNumber", ""));
  EXPECT_EQ(ui.showModal(dialog.form), host::dialog_result::kCancel);
  EXPECT_EQ(out.str(), "Number Options: still open after its answers; cancelled\n");
}

TEST_F(ScriptedUiTest, TheClosedHookSeesTheFormAsItsScriptLeftIt) {
  NumberDialog dialog(ui);
  std::vector<std::string> seen;
  ui.setFormClosedHook([&](const host::Form& form) {
    seen.push_back(form.name() + " " + form.control("txtNumber").text() + " " +
                   std::to_string(form.result()));
  });
  ui.setFormScript("frmNumber", FormScript().type("txtNumber", "60").click("btnCancel"));
  ui.showModal(dialog.form);
  ui.setFormScript("frmNumber", FormScript().type("txtNumber", ""));  // left open: cancelled by the host
  ui.showModal(dialog.form);
  EXPECT_EQ(seen, (std::vector<std::string>{"frmNumber 60 2", "frmNumber  2"}));
}

TEST_F(ScriptedUiTest, MessagesTheFormShowsAppearInScriptOrder) {
  NumberDialog dialog(ui);
  ui.setFormScript("frmNumber",
                   FormScript().type("txtNumber", "").click("btnOK").type("txtNumber", "80").click("btnOK"));
  EXPECT_EQ(ui.showModal(dialog.form), host::dialog_result::kOk);
  EXPECT_EQ(dialog.accepted, "80");
  EXPECT_EQ(out.str(), "Orvex: Percentage value cannot be blank\n");
}

TEST_F(ScriptedUiTest, AStepOnADisabledControlFailsAndLeavesTheFormClosed) {
  NumberDialog dialog(ui);
  ui.setFormScript("frmNumber", FormScript().check("chkUse", false).type("txtNumber", "70").click("btnOK"));
  try {
    ui.showModal(dialog.form);
    FAIL() << "typing into a disabled box must fail";
  } catch (const host::Error& error) {
    EXPECT_EQ(error.number(), host::kAccessDenied);
    EXPECT_NE(error.description().find("txtNumber"), std::string::npos);
  }
  EXPECT_FALSE(dialog.form.isOpen());
  EXPECT_EQ(ui.forms().back().result, host::dialog_result::kCancel);
  EXPECT_EQ(dialog.events, (std::vector<std::string>{"load", "use"}));
}

TEST_F(ScriptedUiTest, AFormThatClosesItselfWhileLoadingNeedsNoScript) {
  host::Form form("frmGone", "Gone");
  form.onLoad = [&form] { form.close(host::dialog_result::kAbort); };
  EXPECT_EQ(ui.showModal(form), host::dialog_result::kAbort);
  EXPECT_EQ(out.str(), "");
}

TEST_F(ScriptedUiTest, ValidatorRefusalsAreShownAsMessagesTitledWithTheCaption) {
  host::Form sheet("frmSheet", "Kernel Analysis Parameters", host::FormKind::PropertySheet);
  sheet.addPage("Contour");
  sheet.add(host::ControlKind::TextBox, "txtRes").setPage(0).setValidator(host::integerRange(40, 100000));
  ui.setFormScript("frmSheet", FormScript().type("txtRes", "20").ok().type("txtRes", "150").ok());
  EXPECT_EQ(ui.showModal(sheet), host::dialog_result::kOk);
  ASSERT_EQ(ui.messages().size(), 1u);
  EXPECT_EQ(ui.messages()[0].message.title, "Kernel Analysis Parameters");
  EXPECT_EQ(out.str(), "Kernel Analysis Parameters: Please enter an integer between 40 and 100000.\n");
}

// --- pending events ------------------------------------------------------------------------

TEST_F(ScriptedUiTest, PostedEventsRunAtTheNextPassAndThoseTheyPostWaitForTheOneAfter) {
  std::vector<int> ran;
  ui.postEvent([&] {
    ran.push_back(1);
    ui.postEvent([&] { ran.push_back(3); });
  });
  ui.postEvent([&] { ran.push_back(2); });
  ui.processPendingEvents();
  EXPECT_EQ(ran, (std::vector<int>{1, 2}));
  ui.processPendingEvents();
  EXPECT_EQ(ran, (std::vector<int>{1, 2, 3}));
}

TEST_F(ScriptedUiTest, AnEventThatThrowsKeepsTheRestWaiting) {
  std::vector<int> ran;
  ui.postEvent([] { throw host::Error(host::kFail, "boom"); });
  ui.postEvent([&] { ran.push_back(2); });
  EXPECT_THROW(ui.processPendingEvents(), host::Error);
  ui.processPendingEvents();
  EXPECT_EQ(ran, std::vector<int>{2});
}

}  // namespace
