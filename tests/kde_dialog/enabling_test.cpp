// The KDE dialog before a run: what loading shows, which boxes each click enables or
// disables, the layer and field lists, and the prefix rule.

#include <gtest/gtest.h>

#include "dialog_fixture.h"

namespace orvex::test {
namespace {

using ui::frmKDE;

TEST(KdeDialogLoad, InitialStateOnAMapWithPointsAndNoRaster) {
  DialogHost host;
  frmKDE& form = host.OpenOnHandLayer();

  EXPECT_EQ(form.caption(), "Kernel Density Estimation");
  EXPECT_EQ(form.currentPage(), frmKDE::kTabInput);
  EXPECT_EQ(host.Control("cmbPntL").items(), std::vector<std::string>{"tracks"});
  EXPECT_EQ(host.Control("cmbKernelForm").text(), "Gaussian (bivariate normal)");
  for (const char* name : {"chkUseSel", "cmbUIDFLD", "btnIOSave", "lblIO1", "lblIO2", "txtBW", "txtPropHref",
                           "txtBnds", "chkLines", "chkPolys", "chkDonuts", "cmbExtRef", "optExtRef"}) {
    EXPECT_FALSE(host.Control(name).enabled()) << name;
  }
  EXPECT_TRUE(host.Control("txtBuffer").enabled());
  EXPECT_TRUE(host.MessageTexts().empty());
  // The controls hold the options' initial values.
  EXPECT_EQ(form.Settings(), ui::KdeSettings{});
}

TEST(KdeDialogLoad, WarnsWithoutPointLayersAndOffersRasterLayers) {
  DialogHost host;
  host.Load({WriteRaster(host.folder.path(), "grid")});
  host.Open();
  ASSERT_NE(host.LastMessage(), nullptr);
  EXPECT_EQ(host.LastMessage()->text, "Warning: no point layers are present in map (nothing to work with).");
  EXPECT_EQ(host.LastMessage()->title, "Warning");
  EXPECT_EQ(host.Control("cmbExtRef").items(), std::vector<std::string>{"grid"});
  EXPECT_TRUE(host.Control("optExtRef").enabled());
  EXPECT_FALSE(host.Control("cmbExtRef").enabled());  // until its option is chosen
}

TEST(KdeDialogEnabling, BandwidthOptionsEnableTheirOwnBoxOnly) {
  DialogHost host;
  host.OpenOnHandLayer();
  platform::FormDriver driver = host.Driver();
  driver.showPage(frmKDE::kTabBandwidth);

  struct Case {
    const char* option;
    bool bandwidthBox;
    bool proportionBox;
  };
  for (const Case& c : {Case{"optBE_MANUAL", true, false}, Case{"optBE_HREF", false, false},
                        Case{"optPropHref", false, true}, Case{"optBE_BCV", false, false},
                        Case{"optPropHref", false, true}, Case{"optBE_LSCV", false, false}}) {
    driver.choose(c.option);
    EXPECT_EQ(host.Control("txtBW").enabled(), c.bandwidthBox) << c.option;
    EXPECT_EQ(host.Control("txtPropHref").enabled(), c.proportionBox) << c.option;
  }
}

TEST(KdeDialogEnabling, ExtentOptionsAndIsoplethGroup) {
  DialogHost host;
  host.Load(
      {WritePoints(host.folder.path(), "tracks", HandFixes()), WriteRaster(host.folder.path(), "grid")});
  host.Open();
  platform::FormDriver driver = host.Driver();
  driver.showPage(frmKDE::kTabOutput);

  driver.choose("optSmall");
  EXPECT_FALSE(host.Control("txtBuffer").enabled());
  EXPECT_FALSE(host.Control("cmbExtRef").enabled());
  driver.choose("optExtRef");
  EXPECT_TRUE(host.Control("cmbExtRef").enabled());
  driver.select("cmbExtRef", "grid");
  driver.choose("optFull");
  EXPECT_TRUE(host.Control("txtBuffer").enabled());
  EXPECT_FALSE(host.Control("cmbExtRef").enabled());

  driver.check("chkBnds", true);
  for (const char* name : {"txtBnds", "chkLines", "chkPolys", "chkDonuts"}) {
    EXPECT_TRUE(host.Control(name).enabled()) << name;
  }
  driver.check("chkBnds", false);
  EXPECT_FALSE(host.Control("txtBnds").enabled());
}

TEST(KdeDialogEnabling, LayerChoiceFillsTheIdFieldsAndOffersTheSelectionOnlyWhenThereIsOne) {
  DialogHost host;
  // Only A's fixes are selected in the first layer; nothing in the second.
  host.Load({WritePoints(host.folder.path(), "tracks", HandFixes()),
             WritePoints(host.folder.path(), "other", {{"Z", 9, 1, 1}})},
            "AnimalID = 'A'");
  host.Open();
  platform::FormDriver driver = host.Driver();

  driver.select("cmbPntL", "tracks");
  EXPECT_TRUE(host.Control("cmbUIDFLD").enabled());
  EXPECT_TRUE(host.Control("chkUseSel").enabled());
  // Whole numbers and text only: the object id and the real-number field are not IDs.
  EXPECT_EQ(host.Control("cmbUIDFLD").items(), (std::vector<std::string>{"AnimalID", "Num"}));

  driver.check("chkUseSel", true);
  driver.select("cmbPntL", "other");
  EXPECT_FALSE(host.Control("chkUseSel").enabled());
  EXPECT_FALSE(host.Control("chkUseSel").checked()) << "a box nobody can reach must not keep applying";
  EXPECT_EQ(host.Control("cmbUIDFLD").text(), "");
}

TEST(KdeDialogPrefix, ASeventhCharacterIsRemovedWithAWarning) {
  DialogHost host;
  host.OpenOnHandLayer();
  platform::FormDriver driver = host.Driver();
  driver.showPage(frmKDE::kTabOutput);

  driver.type("txtR", "abcdef");
  EXPECT_EQ(host.Control("txtR").text(), "abcdef");
  EXPECT_TRUE(host.MessageTexts().empty());

  driver.type("txtR", "abcdefg");
  EXPECT_EQ(host.Control("txtR").text(), "abcdef");
  ASSERT_NE(host.LastMessage(), nullptr);
  EXPECT_EQ(
      host.LastMessage()->text,
      "Warning: raster name prefix cannot be longer than 6 characters. This is necessary because of the "
      "automatic naming convention for output rasters.");
  EXPECT_EQ(host.LastMessage()->title, "Warning");

  // Characters, not bytes: six two-byte letters stay whole, and a seventh is cut whole.
  driver.type("txtR", "\u00e9\u00e9\u00e9\u00e9\u00e9\u00e9\u00e9");
  EXPECT_EQ(host.Control("txtR").text(), "\u00e9\u00e9\u00e9\u00e9\u00e9\u00e9");
}

TEST(KdeDialogFolder, TheBrowserFillsTheBoxAndTheDialogsFolder) {
  DialogHost host;
  ui::frmKDE& form = host.OpenOnHandLayer();
  platform::FormDriver driver = host.Driver();
  driver.showPage(frmKDE::kTabOutput);

  host.app.scriptedUi().queueFolderAnswer(std::nullopt);
  driver.click("btnFolder");
  EXPECT_EQ(form.OutputFolder(), "");

  host.app.scriptedUi().queueFolderAnswer(host.folder.path());
  driver.click("btnFolder");
  EXPECT_EQ(form.OutputFolder(), host.folder.path().string());
  EXPECT_EQ(host.Control("txtOutFolder").text(), host.folder.path().string());
  EXPECT_EQ(host.app.scriptedUi().dialogs().back().title, "Select output folder...");
}

}  // namespace
}  // namespace orvex::test
