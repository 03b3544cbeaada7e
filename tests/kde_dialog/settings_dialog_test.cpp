// The KDE dialog's OK checks and its "Save Settings" / "Load Settings" buttons: what the user
// sees, and the controls a loaded file leaves behind.

#include <gtest/gtest.h>

#include "dialog_fixture.h"

namespace orvex::test {
namespace {

using ui::frmKDE;

// Each row sets up one failing condition on a dialog whose other options pass.
struct OkCheckCase {
  const char* name;
  std::vector<std::pair<const char*, std::string>> steps;  // control -> "choose", "check:1/0" or text
  const char* message;
};

void Play(platform::FormDriver& driver, const std::vector<std::pair<const char*, std::string>>& steps) {
  for (const auto& [control, action] : steps) {
    if (action == "choose") {
      driver.choose(control);
    } else if (action == "check:1" || action == "check:0") {
      driver.check(control, action == "check:1");
    } else if (action.starts_with("page:")) {
      driver.showPage(action.back() - '0');
    } else {
      driver.type(control, action);
    }
  }
}

TEST(KdeDialogOk, EachCheckStopsTheRunWithItsMessage) {
  const std::vector<OkCheckCase> cases{
      {"proportions",
       {{"", "page:2"}, {"optPropHref", "choose"}, {"txtPropHref", ""}},
       "Error: the proportion(s) of reference bandwidth have not been defined on the Bandwidth tab."},
      {"manual",
       {{"", "page:2"}, {"optBE_MANUAL", "choose"}},
       "Error: the user defined bandwidth has not been defined on the Bandwidth tab."},
      {"buffer",
       {{"", "page:3"}, {"txtBuffer", ""}, {"chkBnds", "check:1"}, {"txtBnds", ""}},
       "Error: the extent buffer has not been defined on the Output Options tab."},
      {"reference",
       {{"", "page:3"}, {"optExtRef", "choose"}},
       "Error: the extent reference layer has not been defined on the Output Options tab."},
      {"isopleths",
       {{"", "page:3"}, {"chkBnds", "check:1"}, {"txtBnds", ""}},
       "Error: the isopleth percentages have not been defined on the Output Options tab."},
      {"invalid isopleth",
       {{"", "page:3"}, {"chkBnds", "check:1"}, {"txtBnds", "95, abc"}},
       "Error: an invalid isopleth value was detected. Please check these values and run the tool again."},
  };
  for (const OkCheckCase& c : cases) {
    SCOPED_TRACE(c.name);
    DialogHost host;
    host.Load(
        {WritePoints(host.folder.path(), "tracks", HandFixes()), WriteRaster(host.folder.path(), "grid")});
    frmKDE& form = host.Open();
    platform::FormDriver driver = host.Driver();
    const std::filesystem::path out = host.folder / "out";
    std::filesystem::create_directory(out);
    host.app.scriptedUi().queueFolderAnswer(out);
    driver.showPage(frmKDE::kTabOutput);
    driver.click("btnFolder");
    driver.showPage(frmKDE::kTabInput);
    host.Choose("tracks", "AnimalID");
    Play(driver, c.steps);

    driver.click("btnOK");
    ASSERT_NE(host.LastMessage(), nullptr);
    EXPECT_EQ(host.LastMessage()->text, c.message);
    EXPECT_EQ(host.LastMessage()->title, "Error");
    EXPECT_EQ(host.LastMessage()->icon, host::MessageIcon::Exclamation);
    EXPECT_TRUE(form.isOpen());
    EXPECT_EQ(form.LastRunResult(), ui::KdeBatchResult::CheckFailed);
    EXPECT_TRUE(std::filesystem::is_empty(out)) << "a run stopped by a check touches nothing";
  }
}

class KdeDialogSettings : public ::testing::Test {
 protected:
  void SetUp() override {
    host_.Load(
        {WritePoints(host_.folder.path(), "tracks", HandFixes()), WriteRaster(host_.folder.path(), "GRID")});
    host_.Open();
  }

  // Loads `text` through the button, as if the user picked a file holding it.
  void LoadText(const std::string& text) {
    const std::filesystem::path file = host_.folder / "loaded.txt";
    WriteFile(file, text);
    host_.app.scriptedUi().queueOpenAnswer({file});
    host_.Driver().click("btnLoadSettings");
  }

  DialogHost host_;
};

TEST_F(KdeDialogSettings, SaveWritesTheFileAndALoadInAFreshDialogRestoresTheOptions) {
  platform::FormDriver driver = host_.Driver();
  driver.showPage(frmKDE::kTabKernel);
  driver.check("chkRescale", true);
  driver.choose("optAdaptive");
  driver.showPage(frmKDE::kTabBandwidth);
  driver.choose("optBE_MANUAL");
  driver.type("txtBW", "250, 500");
  driver.showPage(frmKDE::kTabOutput);
  driver.choose("optExtRef");
  driver.select("cmbExtRef", "GRID");
  driver.check("chkBnds", true);
  driver.type("txtBnds", "95, 50");
  driver.check("chkDonuts", false);
  host_.app.scriptedUi().queueFolderAnswer(host_.folder.path());
  driver.click("btnFolder");
  driver.type("txtR", "ab1");
  driver.type("txtCellSize", "25");
  driver.type("txtScaling", "1000");
  driver.check("chkVerbose", true);
  driver.check("chkSilent", true);
  const ui::KdeSettings saved = host_.form->Settings();

  const std::filesystem::path file = host_.folder / "saved.txt";
  host_.app.scriptedUi().queueSaveAnswer(file);
  driver.click("btnSaveSettings");
  EXPECT_EQ(host_.Control("txtStatus").text(), "Settings saved");
  const auto& dialog = host_.app.scriptedUi().dialogs().back();
  EXPECT_EQ(dialog.title, "Save Settings File");
  EXPECT_EQ(ReadFile(file).substr(0, 24), "[RESCALE]\r\n1\r\n[KERNEL]\r\n");

  // A fresh dialog on the same map.
  host_.Open();
  LoadText(ReadFile(file));
  EXPECT_EQ(host_.Control("txtStatus").text(), "Settings loaded");
  ui::KdeSettings expected = saved;
  expected.prefix = "AB1";  // values are read upper-cased
  EXPECT_EQ(host_.form->Settings(), expected);
  // The enabling rules followed the loaded choices.
  EXPECT_TRUE(host_.Control("txtBW").enabled());
  EXPECT_TRUE(host_.Control("cmbExtRef").enabled());
  EXPECT_TRUE(host_.Control("txtBnds").enabled());
}

TEST_F(KdeDialogSettings, CancelledDialogs) {
  const ui::KdeSettings before = host_.form->Settings();
  host_.app.scriptedUi().queueOpenAnswer({});
  host_.Driver().click("btnLoadSettings");
  EXPECT_TRUE(host_.MessageTexts().empty());
  EXPECT_EQ(host_.form->Settings(), before);
  EXPECT_EQ(host_.Control("txtStatus").text(), "");

  host_.app.scriptedUi().queueSaveAnswer(std::nullopt);
  host_.Driver().click("btnSaveSettings");
  ASSERT_NE(host_.LastMessage(), nullptr);
  EXPECT_EQ(host_.LastMessage()->text, "Warning: no file specified therefore settings not saved.");
  EXPECT_EQ(host_.LastMessage()->title, "Warning");
}

TEST_F(KdeDialogSettings, LoadedChoicesActLikeClicks) {
  LoadText("[MANUAL]\r\n250\r\n[ISO]\r\n1\r\n90\r\n0\r\n1\r\n1\r\n[EXTENT]\r\nMIN\r\n[SILENT]\r\nTRUE\r\n");
  EXPECT_TRUE(host_.Control("optBE_MANUAL").checked());
  EXPECT_EQ(host_.Control("txtBW").text(), "250");
  EXPECT_TRUE(host_.Control("txtBW").enabled());
  EXPECT_TRUE(host_.Control("chkBnds").checked());
  EXPECT_TRUE(host_.Control("txtBnds").enabled());
  EXPECT_EQ(host_.Control("txtBnds").text(), "90");
  EXPECT_FALSE(host_.Control("chkLines").checked());
  EXPECT_TRUE(host_.Control("optSmall").checked());
  EXPECT_FALSE(host_.Control("txtBuffer").enabled());
  EXPECT_TRUE(host_.Control("chkSilent").checked());

  // Isopleths off: the box is unchecked, the group disabled, its values left as they were.
  LoadText("[ISO]\r\n0\r\n[LSCV]\r\nTRUE\r\n[EXTENT]\r\nFULL\r\nabc\r\n");
  EXPECT_FALSE(host_.Control("chkBnds").checked());
  EXPECT_FALSE(host_.Control("txtBnds").enabled());
  EXPECT_EQ(host_.Control("txtBnds").text(), "90");
  EXPECT_TRUE(host_.Control("optBE_LSCV").checked());
  EXPECT_FALSE(host_.Control("txtBW").enabled());
  EXPECT_TRUE(host_.Control("optFull").checked());
  EXPECT_TRUE(host_.Control("txtBuffer").enabled());
  EXPECT_EQ(host_.Control("txtBuffer").text(), "2000") << "a buffer that is not a number is skipped";
}

TEST_F(KdeDialogSettings, AFileWithoutABandwidthBlockKeepsTheChoiceAndAFinalKeyIsIgnored) {
  // As saved with the proportion option: no bandwidth block. Blank and unknown lines between
  // the blocks, and a last line that is a key without its value.
  host_.Driver().showPage(frmKDE::kTabBandwidth);
  host_.Driver().choose("optBE_BCV");
  LoadText("[RESCALE]\r\n1\r\n\r\nnot a key\r\n[KERNEL]\r\nFalse\r\n[VERBOSE]\r\n1\r\n[SILENT]");
  EXPECT_TRUE(host_.Control("optBE_BCV").checked());
  EXPECT_TRUE(host_.Control("chkRescale").checked());
  EXPECT_TRUE(host_.Control("optAdaptive").checked());
  EXPECT_TRUE(host_.Control("chkVerbose").checked());
  EXPECT_FALSE(host_.Control("chkSilent").checked());
  EXPECT_EQ(host_.Control("txtStatus").text(), "Settings loaded");
}

TEST_F(KdeDialogSettings, ReferenceLayerAndOutputFolder) {
  LoadText("[EXTENT]\r\nREF\r\nGRID\r\n[OUTFOLDER]\r\n" + host_.folder.path().string() + "\r\n");
  EXPECT_TRUE(host_.Control("optExtRef").checked());
  EXPECT_EQ(host_.Control("cmbExtRef").text(), "GRID");
  EXPECT_TRUE(host_.Control("cmbExtRef").enabled());
  EXPECT_EQ(host_.form->OutputFolder(), host_.folder.path().string());
  EXPECT_EQ(host_.Control("txtOutFolder").text(), host_.folder.path().string());

  // A folder that does not exist leaves the setting as it was, and the status line says so.
  LoadText("[OUTFOLDER]\r\n" + (host_.folder / "missing").string() + "\r\n[VERBOSE]\r\n1\r\n");
  EXPECT_EQ(host_.form->OutputFolder(), host_.folder.path().string());
  EXPECT_NE(host_.Control("txtStatus").text().find("Output folder does not exist"), std::string::npos);
  EXPECT_TRUE(host_.Control("chkVerbose").checked());
}

}  // namespace
}  // namespace orvex::test
