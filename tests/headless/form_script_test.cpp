// Form scripts: the written form of a step, and playing steps on a form.

#include <gtest/gtest.h>

#include "host/error.h"
#include "host/form.h"
#include "platform/headless/form_script.h"

namespace host = orvex::host;
using orvex::platform::headless::FormAction;
using orvex::platform::headless::formatFormStep;
using orvex::platform::headless::FormScript;
using orvex::platform::headless::FormStep;
using orvex::platform::headless::parseFormStep;
using orvex::platform::headless::playFormScript;

namespace {

TEST(FormStepText, ReadsEveryActionWithItsValue) {
  EXPECT_EQ(parseFormStep("btnOK=click"), (FormStep{"btnOK", FormAction::Click, ""}));
  EXPECT_EQ(parseFormStep("chkBnds=check:1"), (FormStep{"chkBnds", FormAction::Check, "1"}));
  EXPECT_EQ(parseFormStep("optBE_LSCV=Choose"), (FormStep{"optBE_LSCV", FormAction::Choose, ""}));
  // Only the first colon separates: the value keeps the rest, commas and colons included.
  EXPECT_EQ(parseFormStep("txtBnds=type:50, 95:x"), (FormStep{"txtBnds", FormAction::Type, "50, 95:x"}));
  EXPECT_EQ(parseFormStep("cmbStyle=select:Fixed Median"),
            (FormStep{"cmbStyle", FormAction::Select, "Fixed Median"}));
  EXPECT_EQ(parseFormStep("SlideSec=slide:20"), (FormStep{"SlideSec", FormAction::Slide, "20"}));
  EXPECT_EQ(parseFormStep("page:2"), (FormStep{"", FormAction::Page, "2"}));
  EXPECT_EQ(parseFormStep("txtRes=page"), (FormStep{"txtRes", FormAction::Page, ""}));
  EXPECT_EQ(parseFormStep(" OK "), (FormStep{"", FormAction::Ok, ""}));
  EXPECT_EQ(parseFormStep("cancel"), (FormStep{"", FormAction::Cancel, ""}));
  EXPECT_EQ(parseFormStep("txtBW=type:"), (FormStep{"txtBW", FormAction::Type, ""}));  // an empty text
}

TEST(FormStepText, RefusesWhatIsNotAStep) {
  for (const char* text :
       {"", "btnOK", "btnOK=press", "=click", "click", "btnOK=ok", "page:x", "page", "txtRes=page:1"}) {
    SCOPED_TRACE(text);
    EXPECT_THROW(parseFormStep(text), host::Error);
  }
}

TEST(FormStepText, FormattingReadsBackToTheSameStep) {
  const FormScript script = FormScript()
                                .click("btnOK")
                                .check("chkRescale", false)
                                .choose("optFixed")
                                .type("txtPct", "95,90")
                                .select("cmbPntL", "#2")
                                .slide("Slider", 3)
                                .focus("txtBW")
                                .page(1)
                                .pageOf("txtRes")
                                .ok()
                                .cancel();
  for (const FormStep& step : script.steps()) EXPECT_EQ(parseFormStep(formatFormStep(step)), step);
}

/// A property sheet with two pages: a list and a slider on page 0; on page 1 a number box
/// whose validator refuses values under 40.
struct Sheet {
  host::Form form{"frmSheet", "Sheet", host::FormKind::PropertySheet};
  Sheet() {
    form.addPage("One");
    form.addPage("Two");
    form.add(host::ControlKind::ComboBox, "cmbLayer").setPage(0).addItem("fixes").addItem("roads");
    form.add(host::ControlKind::Slider, "Slider").setPage(0).setRange(0, 10);
    form.add(host::ControlKind::TextBox, "txtRes").setPage(1).setValidator(host::integerRange(40, 1000));
    form.load();
  }
};

TEST(FormScriptPlay, SelectsItemsByTextOrByIndexAndMovesSliders) {
  Sheet sheet;
  playFormScript(sheet.form, FormScript().select("cmbLayer", "roads").slide("Slider", 7));
  EXPECT_EQ(sheet.form.control("cmbLayer").selectedIndex(), 1);
  EXPECT_EQ(sheet.form.control("Slider").value(), 7);
  playFormScript(sheet.form, FormScript().select("cmbLayer", "#0"));
  EXPECT_EQ(sheet.form.control("cmbLayer").text(), "fixes");
}

TEST(FormScriptPlay, ReportsRefusalsAndWhetherTheFormStayedOpen) {
  Sheet sheet;
  std::vector<std::string> shown;
  const auto outcome =
      playFormScript(sheet.form, FormScript().page(1).type("txtRes", "12").page(0).ok().type("txtRes", "150"),
                     [&](const std::string& message) { shown.push_back(message); });
  ASSERT_EQ(outcome.refusals.size(), 2u);  // leaving page 1, then OK
  EXPECT_EQ(shown, outcome.refusals);
  EXPECT_EQ(shown[0], "Please enter an integer between 40 and 1000.");
  EXPECT_TRUE(outcome.leftOpen);
  EXPECT_EQ(sheet.form.currentPage(), 1);

  const auto accepted = playFormScript(sheet.form, FormScript().ok().click("cmbLayer"));
  EXPECT_TRUE(accepted.refusals.empty());
  EXPECT_FALSE(accepted.leftOpen);  // the steps after the closing one are not played
  EXPECT_EQ(sheet.form.result(), host::dialog_result::kOk);
}

TEST(FormScriptPlay, MissingControlsItemsAndBadValuesNameTheStep) {
  Sheet sheet;
  EXPECT_THROW(playFormScript(sheet.form, FormScript().click("btnNothing")), host::Error);
  EXPECT_THROW(playFormScript(sheet.form, FormScript().select("cmbLayer", "rivers")), host::Error);
  EXPECT_THROW(playFormScript(sheet.form, FormScript().add({"Slider", FormAction::Slide, "fast"})),
               host::Error);
  EXPECT_THROW(playFormScript(sheet.form, FormScript().add({"cmbLayer", FormAction::Check, "maybe"})),
               host::Error);
  // A control on another page cannot be reached.
  EXPECT_THROW(playFormScript(sheet.form, FormScript().type("txtRes", "50")), host::Error);
}

TEST(FormScriptPlay, APageIsFoundByAControlOnItAndAMissingControlFailsTheScript) {
  Sheet sheet;
  playFormScript(sheet.form, FormScript().pageOf("txtRes").type("txtRes", "50"));
  EXPECT_EQ(sheet.form.currentPage(), 1);
  EXPECT_EQ(sheet.form.control("txtRes").text(), "50");
  // A script written for a control the form no longer has fails instead of typing elsewhere.
  EXPECT_THROW(playFormScript(sheet.form, FormScript().pageOf("txtResolution")), host::Error);
}

}  // namespace
