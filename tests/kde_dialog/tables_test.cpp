// The KDE dialog's tables: variance and bandwidth tables and the recommended buffer on a tab
// change, the independence table and its CSV export, and what discards them.
//
// Expected values are worked by hand from the fixes of HandFixes():
//   A: (0,0) (4,0) (4,3) (0,3): sd x = sqrt(16/3) = 2.3094, sd y = sqrt(3) = 1.7321, ratio 1.3333;
//      href = ((2.3094 + 1.7321) / 2) * 4^(-1/6) = 1.60385; Schoener = 41 / 25 = 1.64;
//      Swihart and Slade = -0.5 + 0.5 + |1| + |-1| = 2.
//   B: (100,100) (103,100) (100,104): sd x = 1.7321, sd y = 2.3094, ratio 0.75;
//      href = 2.02073 * 3^(-1/6) = 1.68262; Schoener = 51 / 25 = 2.04; Swihart and Slade
//      undefined (the two leading y values are equal).
//   C: one fix.
// Table values are compared as the rounded text the grids show, so the tolerance is the
// rounding step (0.01, 0.001, 0.00001).

#include <gtest/gtest.h>

#include <cmath>

#include "dialog_fixture.h"
#include "ui/kde/independence.h"

namespace orvex::test {
namespace {

using ui::frmKDE;

TEST(KdeDialogTables, VarianceAndBandwidthTablesWithNaRows) {
  DialogHost host;
  frmKDE& form = host.OpenOnHandLayer();
  host.Choose("tracks", "AnimalID");
  platform::FormDriver driver = host.Driver();
  ASSERT_TRUE(driver.showPage(frmKDE::kTabKernel));

  EXPECT_EQ(GridLines(host.Control("datagridVar")),
            (std::vector<std::string>{"AnimalID|Count|StdDev(x)|StdDev(y)|Ratio(x:y)", "A|4|2.31|1.73|1.33",
                                      "B|3|1.73|2.31|0.75", "C|1|N/A|N/A|N/A"}));
  EXPECT_EQ(GridLines(host.Control("datagridHref")),
            (std::vector<std::string>{"AnimalID|Count|href", "A|4|1.604", "B|3|1.683", "C|1|N/A"}));
  // The single fix does not count; B's unrounded href is the largest.
  EXPECT_NEAR(form.LargestHref(), 1.682624, 1e-6);
  EXPECT_TRUE(form.VarianceTableBuilt());
  EXPECT_TRUE(form.BandwidthTableBuilt());
}

TEST(KdeDialogTables, RescaledHrefIsTheSixthRootOfOneOverN) {
  DialogHost host;
  frmKDE& form = host.OpenOnHandLayer();
  host.Choose("tracks", "Num");
  platform::FormDriver driver = host.Driver();
  driver.showPage(frmKDE::kTabKernel);
  EXPECT_EQ(host.Control("datagridHref").grid().columns[2], "href");
  driver.check("chkRescale", true);
  EXPECT_FALSE(form.BandwidthTableBuilt());
  driver.showPage(frmKDE::kTabBandwidth);
  // 4^(-1/6) = 0.7937, 3^(-1/6) = 0.8327; numeric IDs in the first column.
  EXPECT_EQ(GridLines(host.Control("datagridHref")),
            (std::vector<std::string>{"Num|Count|href (scaled)", "1|4|0.794", "2|3|0.833", "3|1|N/A"}));
  // The buffer recommendation stays a distance on the map: B's href in map units.
  EXPECT_NEAR(form.LargestHref(), 1.682624, 1e-6);
}

TEST(KdeDialogTables, RecommendedBufferFollowsTheBandwidthChoice) {
  // LSCV: Int(3.5 * 1.68262 + 0.5) = 6; manual 10, 20: Int(3.5 * 20 + 0.5) = 70;
  // proportions 0.5, 2: Int(3.5 * 2 * 1.68262 + 0.5) = 12.
  DialogHost host;
  host.OpenOnHandLayer();
  host.Choose("tracks", "AnimalID");
  platform::FormDriver driver = host.Driver();

  driver.showPage(frmKDE::kTabOutput);
  EXPECT_EQ(host.Control("txtBuffer").text(), "6");
  driver.type("txtBuffer", "5000");
  driver.showPage(frmKDE::kTabBandwidth);
  EXPECT_EQ(host.Control("txtBuffer").text(), "5000") << "leaving Output Options keeps a typed buffer";
  driver.choose("optBE_MANUAL");
  driver.type("txtBW", "10, 20");
  driver.showPage(frmKDE::kTabOutput);
  EXPECT_EQ(host.Control("txtBuffer").text(), "70") << "entering it replaces the buffer";
  driver.showPage(frmKDE::kTabBandwidth);
  driver.choose("optPropHref");
  driver.type("txtPropHref", "0.5, 2");
  driver.showPage(frmKDE::kTabOutput);
  EXPECT_EQ(host.Control("txtBuffer").text(), "12");

  // A list being typed recommends nothing rather than a buffer of 0.
  driver.showPage(frmKDE::kTabBandwidth);
  driver.type("txtPropHref", "");
  driver.showPage(frmKDE::kTabOutput);
  EXPECT_EQ(host.Control("txtBuffer").text(), "12");
}

TEST(KdeDialogTables, NoTableWithoutALayerAndAField) {
  DialogHost host;
  frmKDE& form = host.OpenOnHandLayer();
  platform::FormDriver driver = host.Driver();
  driver.select("cmbPntL", "tracks");
  driver.showPage(frmKDE::kTabOutput);
  EXPECT_FALSE(form.VarianceTableBuilt());
  EXPECT_EQ(host.Control("txtBuffer").text(), "2000");
  EXPECT_EQ(form.PreparedAnimals(), nullptr);
}

TEST(KdeDialogTables, AnotherLayerFieldOrSelectionChoiceDiscardsEveryTable) {
  DialogHost host;
  host.Load({WritePoints(host.folder.path(), "tracks", HandFixes()),
             WritePoints(host.folder.path(), "other", {{"Z", 9, 1, 1}})},
            "AnimalID <> 'C'");
  frmKDE& form = host.Open();
  platform::FormDriver driver = host.Driver();
  const auto buildAll = [&](const char* field) {
    host.Choose("tracks", field);
    driver.click("btnCalcIO");
    driver.showPage(frmKDE::kTabKernel);
    driver.showPage(frmKDE::kTabInput);
    ASSERT_TRUE(form.IndependenceTableBuilt());
    ASSERT_TRUE(form.VarianceTableBuilt());
  };
  const auto expectDiscarded = [&](const char* what) {
    EXPECT_FALSE(form.IndependenceTableBuilt()) << what;
    EXPECT_FALSE(form.VarianceTableBuilt()) << what;
    EXPECT_FALSE(form.BandwidthTableBuilt()) << what;
    EXPECT_EQ(form.PreparedAnimals(), nullptr) << what;
    EXPECT_TRUE(host.Control("datagridIO").grid().rows.empty()) << what;
  };

  buildAll("AnimalID");
  ASSERT_EQ(form.PreparedAnimals()->animals.size(), 3U);
  driver.select("cmbUIDFLD", "Num");
  expectDiscarded("another field");

  buildAll("Num");
  driver.check("chkUseSel", true);
  expectDiscarded("the selection box");
  driver.showPage(frmKDE::kTabKernel);
  // Prepared again from the selected fixes only: C is not selected.
  ASSERT_NE(form.PreparedAnimals(), nullptr);
  EXPECT_EQ(form.PreparedAnimals()->animals.size(), 2U);

  driver.showPage(frmKDE::kTabInput);
  buildAll("AnimalID");
  driver.select("cmbPntL", "other");
  expectDiscarded("the layer");
}

TEST(KdeDialogIndependence, TableValuesAndNa) {
  DialogHost host;
  frmKDE& form = host.OpenOnHandLayer();
  platform::FormDriver driver = host.Driver();

  driver.click("btnCalcIO");
  ASSERT_NE(host.LastMessage(), nullptr);
  EXPECT_EQ(
      host.LastMessage()->text,
      "Warning: a point feature layer and a unique ID field must be identified prior to calculating the "
      "independence of observation indices.");
  EXPECT_EQ(host.LastMessage()->title, "Cannot calculate");
  EXPECT_FALSE(form.IndependenceTableBuilt());

  host.Choose("tracks", "AnimalID");
  driver.click("btnCalcIO");
  EXPECT_EQ(GridLines(host.Control("datagridIO")),
            (std::vector<std::string>{"AnimalID|Count|Schoener|Swihart_Slade", "A|4|1.64|2", "B|3|2.04|N/A",
                                      "C|1|N/A|N/A"}));
  for (const char* name : {"btnIOSave", "lblIO1", "lblIO2"})
    EXPECT_TRUE(host.Control(name).enabled()) << name;
}

TEST(KdeDialogIndependence, CsvExport) {
  DialogHost host;
  host.OpenOnHandLayer();
  platform::FormDriver driver = host.Driver();
  host.Choose("tracks", "AnimalID");

  // Save As before a calculation: the button is not yet enabled for a person; a program
  // pressing it meets the message.
  host.Control("btnIOSave").press();
  EXPECT_EQ(host.LastMessage()->text, "The independence of observation data has not yet been calculated.");

  driver.click("btnCalcIO");
  host.app.scriptedUi().queueSaveAnswer(std::nullopt);
  driver.click("btnIOSave");
  EXPECT_EQ(host.LastMessage()->text, "Warning: no file specified therefore data not saved.");

  const std::filesystem::path csv = host.folder / "indices.csv";
  host.app.scriptedUi().queueSaveAnswer(csv);
  driver.click("btnIOSave");
  EXPECT_EQ(host.app.scriptedUi().dialogs().back().title, "Save Data As...");
  EXPECT_EQ(ReadFile(csv),
            "AnimalID,Count,Schoener,Swihart_Slade\r\nA,4,1.64,2\r\nB,3,2.04,N/A\r\nC,1,N/A,N/A\r\n");
}

TEST(KdeDialogIndependence, CsvKeepsATextIdWithACommaInOneColumn) {
  EXPECT_EQ(ui::IndependenceCsvText("ID", {{"a,b", "2", "1.5", "0.1"}, {"say \"x\"", "3", "N/A", "N/A"}}),
            "ID,Count,Schoener,Swihart_Slade\r\n\"a,b\",2,1.5,0.1\r\n\"say \"\"x\"\"\",3,N/A,N/A\r\n");
}

TEST(KdeDialogIndependence, IndicesOfStraightAndShuffledTracks) {
  // Five equally spaced fixes on a line: the sum of squared distances from the centre is 10,
  // of squared steps 4, both over n - 1, so the ratio is 0.4 (exact in binary to 1 ulp).
  const std::vector<ui::CoordPair> line{{0, 0}, {1, 0}, {2, 0}, {3, 0}, {4, 0}};
  EXPECT_NEAR(ui::SchoenerRatio(line), 0.4, 1e-15);
  // y does not vary: its correlations are undefined.
  EXPECT_TRUE(std::isnan(ui::SwihartSladeIndex(line)));

  const std::vector<ui::CoordPair> track{{0, 0}, {4, 1}, {5, 5}, {1, 6}, {-2, 3}, {2, -1}};
  std::vector<ui::CoordPair> reversed(track.rbegin(), track.rend());
  std::vector<ui::CoordPair> stretched = track;
  for (auto& p : stretched) p[1] *= 10.0;
  // Reversal leaves both indices unchanged; stretching y leaves the correlations unchanged
  // (within a few ulps of the sums) but not Schoener's ratio.
  EXPECT_NEAR(ui::SchoenerRatio(reversed), ui::SchoenerRatio(track), 1e-12);
  EXPECT_NEAR(ui::SwihartSladeIndex(reversed), ui::SwihartSladeIndex(track), 1e-12);
  EXPECT_NEAR(ui::SwihartSladeIndex(stretched), ui::SwihartSladeIndex(track), 1e-12);
  EXPECT_GT(std::fabs(ui::SchoenerRatio(stretched) - ui::SchoenerRatio(track)), 0.1);
  EXPECT_TRUE(std::isnan(ui::SchoenerRatio(std::vector<ui::CoordPair>{{1, 1}, {1, 1}})));
}

TEST(KdeDialogTables, RoundingIsHalfUp) {
  // Halves exact in binary, so that the rounding direction alone decides.
  EXPECT_EQ(ui::TableValueText(0.125, 2), "0.13");
  EXPECT_EQ(ui::TableValueText(-0.125, 2), "-0.12");
  EXPECT_EQ(ui::TableValueText(-2.5, 0), "-2");
  EXPECT_EQ(ui::TableValueText(std::nan(""), 3), "N/A");
}

}  // namespace
}  // namespace orvex::test
