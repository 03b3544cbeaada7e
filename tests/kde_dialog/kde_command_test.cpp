// The KDE command and a whole run started from the dialog's OK button.

#include <gtest/gtest.h>

#include "dialog_fixture.h"
#include "ui/gis/host_references.h"
#include "ui/kde/cls_kde_tool.h"

namespace orvex::test {
namespace {

using ui::frmKDE;

TEST(KdeCommand, AClickShowsTheDialogOnTheRefreshedReferences) {
  ui::clsKDETool command;
  EXPECT_EQ(command.name(), "ORVEX_KDE");
  EXPECT_EQ(command.category(), "ORVEX9");

  DialogHost host;
  host.Load({WritePoints(host.folder.path(), "tracks", HandFixes())});
  ui::gis::ClearHostReferences();
  command.onCreate(host.app);
  host.app.scriptedUi().setFormScript("frmKDE", platform::headless::FormScript().click("btnExit"));
  EXPECT_EQ(command.onClick(), host::kOk);

  ASSERT_EQ(host.app.scriptedUi().forms().size(), 1U);
  const platform::headless::FormRecord& shown = host.app.scriptedUi().forms().front();
  EXPECT_EQ(shown.name, "frmKDE");
  EXPECT_EQ(shown.caption, "Kernel Density Estimation");
  EXPECT_EQ(shown.result, host::dialog_result::kCancel);
  EXPECT_EQ(ui::gis::SharedHostReferences().application, &host.app) << "a click refreshes the references";
  ui::gis::ClearHostReferences();
}

TEST(KdeDialogRun, OkRunsTheBatchOnThePreparedFixesAndClosesTheDialog) {
  DialogHost host;
  host.Load({WritePoints(host.folder.path(), "tracks", TwoAnimals())});
  frmKDE& form = host.Open();
  platform::FormDriver driver = host.Driver();
  const std::filesystem::path out = host.folder / "out";
  std::filesystem::create_directory(out);

  host.Choose("tracks", "AnimalID");
  driver.click("btnCalcIO");
  driver.showPage(frmKDE::kTabOutput);
  driver.choose("optSmall");
  driver.type("txtCellSize", "50");
  driver.check("chkBnds", true);
  driver.type("txtBnds", "95");
  host.app.scriptedUi().queueFolderAnswer(out);
  driver.click("btnFolder");
  driver.click("btnOK");

  EXPECT_EQ(form.LastRunResult(), ui::KdeBatchResult::Completed);
  EXPECT_FALSE(form.isOpen());
  EXPECT_EQ(form.result(), host::dialog_result::kOk);
  EXPECT_EQ(host.LastMessage()->text, "Processing complete.");
  for (const char* file : {"kde0.tif", "kde1.tif", "kde0_iso_poly.shp", "kde1_iso_line.shp",
                           "TALVO_KDE_ANALYSIS.txt", "TALVO_KERNEL_SETTINGS.txt"}) {
    EXPECT_TRUE(std::filesystem::exists(out / file)) << file;
  }
  // The log repeats the tables the dialog built: the independence table only when calculated.
  const std::string log = ReadFile(out / "TALVO_KDE_ANALYSIS.txt");
  EXPECT_NE(log.find("Independence of observation indices:\r\nAnimalID, Count, Schoener, Swihart_Slade\r\n"),
            std::string::npos);
  EXPECT_NE(log.find("Extent setting: smallest extent for each set of points"), std::string::npos);
  EXPECT_EQ(host.Control("prgRun").value(), 0);
}

TEST(KdeDialogRun, ACancelledRunLeavesTheDialogOpenWithOkEnabled) {
  // An overlap question answered No cancels the run: nothing stays in the output folder.
  DialogHost host(platform::headless::ChoicePolicy::No);
  std::vector<Fix> fixes = TwoAnimals();
  fixes.push_back(fixes.front());
  host.Load({WritePoints(host.folder.path(), "tracks", fixes)});
  frmKDE& form = host.Open();
  platform::FormDriver driver = host.Driver();
  const std::filesystem::path out = host.folder / "out";
  std::filesystem::create_directory(out);
  host.Choose("tracks", "AnimalID");
  driver.showPage(frmKDE::kTabOutput);
  driver.choose("optSmall");
  host.app.scriptedUi().queueFolderAnswer(out);
  driver.click("btnFolder");
  driver.click("btnOK");

  EXPECT_EQ(form.LastRunResult(), ui::KdeBatchResult::Cancelled);
  EXPECT_TRUE(form.isOpen());
  EXPECT_TRUE(host.Control("btnOK").enabled());
  EXPECT_EQ(host.Control("txtStatus").text(), "");
  EXPECT_TRUE(std::filesystem::is_empty(out));
}

}  // namespace
}  // namespace orvex::test
