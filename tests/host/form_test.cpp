#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/error.h"
#include "host/form.h"
#include "platform/common/form_driver.h"
#include "support/host_status.h"

namespace orvex::host {
namespace {

using platform::FormDriver;
using test::errorNumberOf;

// A dialog shaped like the kernel density dialog: option groups in frames, a text box whose
// change handler corrects it, a check box enabling a group.
class DialogModel : public ::testing::Test {
 protected:
  void SetUp() override {
    form.add(ControlKind::Frame, "fraBandwidth", "Bandwidth Selection ");
    form.add(ControlKind::OptionButton, "optBE_LSCV", "LSCV")
        .setContainer("fraBandwidth")
        .setChecked(true, Notify::No);
    form.add(ControlKind::OptionButton, "optBE_MANUAL", "User defined").setContainer("fraBandwidth");
    form.add(ControlKind::TextBox, "txtBW").setContainer("fraBandwidth").setEnabled(false);
    form.add(ControlKind::OptionButton, "optFixed", "Fixed kernel").setChecked(true, Notify::No);
    form.add(ControlKind::OptionButton, "optAdaptive", "Adaptive kernel");
    form.add(ControlKind::TextBox, "txtR").setText("kde", Notify::No);
    form.add(ControlKind::CheckBox, "chkBnds", "Isopleths (%):");
    form.add(ControlKind::TextBox, "txtBnds").setEnabled(false);
    form.add(ControlKind::Button, "btnOK", "OK");

    form.control("optBE_MANUAL").onClick = [this] {
      log.push_back("optBE_MANUAL");
      form.control("txtBW").setEnabled(form.control("optBE_MANUAL").checked());
    };
    form.control("optBE_LSCV").onClick = [this] {
      log.push_back("optBE_LSCV");
      form.control("txtBW").setEnabled(false);
    };
    form.control("txtR").onChange = [this] {
      log.push_back("txtR:" + form.control("txtR").text());
      auto& prefix = form.control("txtR");
      if (prefix.text().size() > 6) {
        ++warnings;
        prefix.setText(prefix.text().substr(0, 6));
      }
    };
    form.control("chkBnds").onClick = [this] {
      log.push_back("chkBnds");
      form.control("txtBnds").setEnabled(form.control("chkBnds").checked());
    };
    form.control("btnOK").onClick = [this] { form.close(dialog_result::kOk); };
    form.load();
  }

  Form form{"frmKDE", "Kernel Density Estimation"};
  FormDriver user{form};
  std::vector<std::string> log;
  int warnings = 0;
};

TEST_F(DialogModel, ChoosingAnOptionRunsItsHandlerAndReleasesTheOthersOfItsGroup) {
  user.choose("optBE_MANUAL");
  EXPECT_TRUE(form.control("optBE_MANUAL").checked());
  EXPECT_FALSE(form.control("optBE_LSCV").checked());
  EXPECT_TRUE(form.control("optFixed").checked()) << "another group is untouched";
  EXPECT_TRUE(form.control("txtBW").enabled());
  EXPECT_EQ(log, std::vector<std::string>{"optBE_MANUAL"});  // no event for the released option
}

TEST_F(DialogModel, ClickingTheChosenOptionFiresAgain) {
  user.choose("optBE_LSCV");
  EXPECT_EQ(log, std::vector<std::string>{"optBE_LSCV"});
  EXPECT_TRUE(form.control("optBE_LSCV").checked());
}

TEST_F(DialogModel, ProgramSettersFireOnlyOnChange) {
  form.control("chkBnds").setChecked(true);
  form.control("chkBnds").setChecked(true);
  EXPECT_EQ(log, std::vector<std::string>{"chkBnds"});
  form.control("txtR").setText("kde");  // unchanged text
  form.control("txtR").setText("abc", Notify::No);
  EXPECT_EQ(log.size(), 1u);
  EXPECT_TRUE(form.control("txtBnds").enabled());
}

TEST_F(DialogModel, AHandlerCorrectingItsOwnTextSeesTheCorrection) {
  user.type("txtR", "abcdefgh");
  EXPECT_EQ(form.control("txtR").text(), "abcdef");
  EXPECT_EQ(warnings, 1);
  EXPECT_EQ(log, (std::vector<std::string>{"txtR:abcdefgh", "txtR:abcdef"}));
}

TEST_F(DialogModel, UserCannotReachDisabledControls) {
  EXPECT_EQ(errorNumberOf([&] { user.type("txtBW", "250"); }), kAccessDenied);
  form.control("optBE_MANUAL").setChecked(true);
  EXPECT_NO_THROW(user.type("txtBW", "250"));
  // A disabled frame blocks everything inside it, whatever the controls' own state.
  form.control("fraBandwidth").setEnabled(false);
  EXPECT_EQ(errorNumberOf([&] { user.type("txtBW", "300"); }), kAccessDenied);
  EXPECT_EQ(errorNumberOf([&] { user.choose("optBE_LSCV"); }), kAccessDenied);
  EXPECT_EQ(form.control("txtBW").text(), "250");
  form.control("txtR").setReadOnly(true);
  EXPECT_EQ(errorNumberOf([&] { user.type("txtR", "x"); }), kAccessDenied);
  EXPECT_EQ(errorNumberOf([&] { user.click("btnMissing"); }), kNotFound);
}

TEST_F(DialogModel, CheckBoxClicksOnlyWhenTheStateDiffers) {
  user.check("chkBnds", false);
  EXPECT_TRUE(log.empty());
  user.check("chkBnds", true);
  user.click("chkBnds");
  EXPECT_EQ(log, (std::vector<std::string>{"chkBnds", "chkBnds"}));
  EXPECT_FALSE(form.control("chkBnds").checked());
}

TEST_F(DialogModel, ButtonClosesTheFormAndAClosedFormRefusesUsers) {
  bool unloaded = false;
  form.onUnload = [&] { unloaded = true; };
  user.click("btnOK");
  EXPECT_FALSE(form.isOpen());
  EXPECT_EQ(form.result(), dialog_result::kOk);
  EXPECT_TRUE(unloaded);
  EXPECT_EQ(errorNumberOf([&] { user.click("btnOK"); }), kAccessDenied);
  form.load();  // a closed form can be shown again
  EXPECT_TRUE(form.isOpen());
  EXPECT_EQ(form.result(), dialog_result::kNone);
}

TEST_F(DialogModel, FocusMovesWithTheUserLostBeforeGot) {
  std::vector<std::string> focus;
  form.control("txtR").onLostFocus = [&] { focus.push_back("lost txtR"); };
  form.control("chkBnds").onGotFocus = [&] { focus.push_back("got chkBnds"); };
  user.focus("txtR");
  user.click("chkBnds");
  EXPECT_EQ(focus, (std::vector<std::string>{"lost txtR", "got chkBnds"}));
  EXPECT_EQ(form.focused(), "chkBnds");
}

TEST(FormControls, ListsSortWithoutRegardToCaseAndSelectionSetsTheText) {
  Form form("frm");
  auto& combo = form.add(ControlKind::ComboBox, "cmbStyle").setSorted(true);
  int clicks = 0;
  combo.onClick = [&] { ++clicks; };
  for (const char* item : {"Fixed Mean", "area Added", "User Centre", "Floating Median"}) combo.addItem(item);
  EXPECT_EQ(combo.items(),
            (std::vector<std::string>{"area Added", "Fixed Mean", "Floating Median", "User Centre"}));
  form.load();
  FormDriver(form).select("cmbStyle", "User Centre");
  EXPECT_EQ(combo.selectedIndex(), 3);
  EXPECT_EQ(combo.text(), "User Centre");
  EXPECT_EQ(clicks, 1);
  combo.addItem("Abc");  // inserted before the chosen item: the choice follows it
  EXPECT_EQ(combo.selectedIndex(), 4);
  EXPECT_EQ(errorNumberOf([&] { combo.setSelectedIndex(9); }), error_number::kInvalidPropertyValue);
  EXPECT_EQ(errorNumberOf([&] { FormDriver(form).select("cmbStyle", "Nope"); }), kNotFound);
}

TEST(FormControls, ValuesOfTheWrongKindAreRefused) {
  Form form("frm");
  auto& text = form.add(ControlKind::TextBox, "txtA");
  EXPECT_EQ(errorNumberOf([&] { text.setChecked(true); }), kInvalidArgument);
  EXPECT_EQ(errorNumberOf([&] { text.setGrid({}); }), kInvalidArgument);
  auto& slider = form.add(ControlKind::Slider, "SlideSec").setRange(0, 99);
  EXPECT_EQ(errorNumberOf([&] { slider.setValue(100); }), error_number::kInvalidPropertyValue);
  slider.setValue(50);
  slider.setRange(0, 10);
  EXPECT_EQ(slider.value(), 10);
  EXPECT_EQ(errorNumberOf([&] { form.add(ControlKind::Label, "txtA"); }), kAlreadyExists);
}

TEST(FormControls, HandlersThatKeepFiringEachOtherAreStopped) {
  Form form("frm");
  auto& a = form.add(ControlKind::TextBox, "txtA");
  auto& b = form.add(ControlKind::TextBox, "txtB");
  a.onChange = [&] { b.setText(a.text() + "a"); };
  b.onChange = [&] { a.setText(b.text() + "b"); };
  EXPECT_EQ(errorNumberOf([&] { a.setText("x"); }), kUnexpected);
  // The guard recovers: a later, finite chain runs normally.
  b.onChange = nullptr;
  EXPECT_NO_THROW(a.setText("y"));
  EXPECT_EQ(b.text(), "ya");
}

TEST(FormLifecycle, AFormMayCloseItselfWhileLoading) {
  Form form("frmORVEX");
  int loads = 0;
  form.onLoad = [&] {
    ++loads;
    form.close(dialog_result::kCancel);
  };
  form.load();
  EXPECT_FALSE(form.isOpen());
  EXPECT_TRUE(form.isLoaded());
  EXPECT_EQ(loads, 1);
}

// A sheet like the kernel analysis parameters: four pages, a number range on the last, a page
// that refuses to be left while its list is empty.
class PropertySheet : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* caption : {"Information", "Standardization", "Smoothing", "Contour"})
      sheet.addPage(caption);
    sheet.add(ControlKind::TextBox, "txtH").setPage(2).setText("1.0", Notify::No);
    sheet.add(ControlKind::TextBox, "txtResolution")
        .setPage(3)
        .setText("150", Notify::No)
        .setValidator(integerRange(40, 100000));
    sheet.add(ControlKind::TextBox, "txtDensify")
        .setPage(3)
        .setText("1.0", Notify::No)
        .setValidator(numberRequired());
    sheet.onPageLeave = [this](int page) { return page != 2 || !sheet.control("txtH").text().empty(); };
    sheet.onPageChanged = [this](int previous) { changes.push_back(previous); };
    sheet.onAccept = [this] { return ++accepts > 0; };
    sheet.load();
  }

  Form sheet{"KernelSheet", "Kernel Analysis Parameters", FormKind::PropertySheet};
  FormDriver user{sheet};
  std::vector<int> changes;
  int accepts = 0;
};

TEST_F(PropertySheet, OpensOnTheFirstPageAndReportsThePageLeft) {
  EXPECT_EQ(sheet.currentPage(), 0);
  EXPECT_TRUE(user.showPage(2));
  EXPECT_TRUE(user.showPage(3));
  EXPECT_EQ(changes, (std::vector<int>{0, 2}));
  EXPECT_TRUE(user.showPage(3));  // the current page: nothing happens
  EXPECT_EQ(changes.size(), 2u);
}

TEST_F(PropertySheet, ControlsOfOtherPagesCannotBeReached) {
  EXPECT_EQ(errorNumberOf([&] { user.type("txtH", "0.5"); }), kAccessDenied);
  user.showPage(2);
  EXPECT_NO_THROW(user.type("txtH", "0.5"));
}

TEST_F(PropertySheet, APageHandlerCanKeepThePageOpen) {
  user.showPage(2);
  user.type("txtH", "");
  EXPECT_FALSE(user.showPage(3));
  EXPECT_EQ(sheet.currentPage(), 2);
  EXPECT_FALSE(user.ok());
  EXPECT_TRUE(sheet.isOpen());
  EXPECT_EQ(accepts, 0);
  user.type("txtH", "1.0, 0.5");
  EXPECT_TRUE(user.ok());
  EXPECT_EQ(sheet.result(), dialog_result::kOk);
  EXPECT_EQ(accepts, 1);
}

TEST_F(PropertySheet, RangeChecksRefuseWithAMessageAndFocusTheControl) {
  user.showPage(3);
  user.type("txtResolution", "39");
  EXPECT_FALSE(user.showPage(0));
  EXPECT_EQ(user.lastRefusal().message, "Please enter an integer between 40 and 100000.");
  EXPECT_EQ(user.lastRefusal().control, "txtResolution");
  EXPECT_EQ(sheet.focused(), "txtResolution");
  user.type("txtResolution", "150.5");
  EXPECT_FALSE(user.ok());
  user.type("txtResolution", " 100000 ");
  user.type("txtDensify", "abc");
  EXPECT_FALSE(user.ok());
  EXPECT_EQ(user.lastRefusal().message, "Please enter a number.");
  user.type("txtDensify", "2.5");
  EXPECT_TRUE(user.ok());
}

TEST_F(PropertySheet, CancelClosesWithoutAccepting) {
  bool cancelled = false;
  sheet.onCancel = [&] { cancelled = true; };
  user.cancel();
  EXPECT_TRUE(cancelled);
  EXPECT_EQ(sheet.result(), dialog_result::kCancel);
  EXPECT_EQ(accepts, 0);
}

}  // namespace
}  // namespace orvex::host
