// The LoCoH and overlap dialogs driven as a person would on a headless host: what they write
// is what the estimators give, and what they refuse they refuse before writing anything.

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <sstream>

#include "host/cursor.h"
#include "host/registry.h"
#include "host/table.h"
#include "kde_batch/kde_batch_fixture.h"
#include "platform/gdal/gdal_platform.h"
#include "platform/headless/form_script.h"
#include "range/bbmm/cls_bbmm_tool.h"
#include "range/locoh/cls_locoh_tool.h"
#include "range/locoh/frm_locoh.h"
#include "range/locoh/locoh_isopleths.h"
#include "range/overlap/cls_overlap_tool.h"
#include "range/overlap/frm_overlap.h"

namespace orvex::range {
namespace {

namespace fs = std::filesystem;
using test::BatchHost;
using test::TempFolder;
using test::TestFix;

// Animal "A": 9 fixes on a 3 x 3 lattice of 100 m; "B": 16 on a 4 x 4 lattice of 50 m. Getz et
// al.'s k: round(sqrt(9)) = 3 and round(sqrt(16)) = 4, whose median 3.5 rounds to 4.
std::vector<TestFix> TwoAnimals() {
  std::vector<TestFix> fixes;
  for (int i = 0; i < 9; ++i)
    fixes.push_back({host::Value("A"), 500000.0 + 100.0 * (i % 3), 100.0 * (i / 3)});
  for (int i = 0; i < 16; ++i) fixes.push_back({host::Value("B"), 501000.0 + 50.0 * (i % 4), 50.0 * (i / 4)});
  return fixes;
}

std::vector<double> Column(const fs::path& shapefile, const std::string& field) {
  const auto features = platform::gdal::openShapefileWorkspace(shapefile.parent_path())
                            ->openFeatureClass(shapefile.stem().string());
  std::vector<double> values;
  if (!features) return values;
  const int index = features->findField(field);
  const auto rows = features->search();
  while (const auto row = rows->next()) values.push_back(row->value(index).toDouble());
  return values;
}

// The areas the estimator gives the animal's fixes, for comparison with the dialog's files.
std::vector<double> LibraryAreas(const std::vector<TestFix>& fixes, const std::string& id, double k,
                                 const std::vector<double>& percents) {
  std::vector<double> x, y;
  for (const TestFix& fix : fixes)
    if (fix.id.toText() == id) x.push_back(fix.x), y.push_back(fix.y);
  const auto geometry = platform::gdal::makeGeometryService();
  std::vector<double> areas;
  for (const LocohIsopleth& iso :
       locoh_isopleths(locoh_hulls(x, y, {LocohMethod::k, k, 1}), percents, *geometry, 1))
    areas.push_back(iso.area);
  return areas;
}

// What every range tool's dialog shares, reached through its menu command as the host clicks
// it: nothing before the host creates the command; then the dialog on the focus map, the chosen
// point layer's fields listed (its geometry field "Shape" left out), the folder the person picks in a
// read-only box, and Cancel closing it as cancelled.
TEST(RangeCommands, OpenTheirDialogsWithTheLayersFieldsAndOutputFolder) {
  using platform::headless::FormScript;
  struct Case {
    std::shared_ptr<host::Command> command;
    const char* form;
    FormScript script;  // choosing the point layer, then the output folder, then Cancel
  };
  const Case cases[] = {
      {std::make_shared<clsBBMMTool>(), "frmBBMM",
       FormScript().select("cmbPntL", "fixes").pageOf("btnFolder").click("btnFolder").click("btnCancel")},
      {std::make_shared<clsLOCOHTool>(), "frmLOCOH",
       FormScript().select("cmbPntL", "fixes").click("btnFolder").click("btnCancel")},
      {std::make_shared<clsOverlapTool>(), "frmOVERLAP",
       FormScript()
           .choose("optFixes")
           .pageOf("cmbPntL")
           .select("cmbPntL", "fixes")
           .pageOf("btnFolder")
           .click("btnFolder")
           .click("btnCancel")}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.form);
    EXPECT_EQ(c.command->onClick(), host::kFail);
    TempFolder folder{"range_command"};
    BatchHost host;
    host.load({test::WritePointShapefile(folder.path(), "fixes", TwoAnimals())});
    c.command->onCreate(host.app);
    host.app.scriptedUi().queueFolderAnswer(folder.path());
    host.app.scriptedUi().setFormScript(c.form, c.script);
    std::vector<std::string> fields;
    std::string outFolder;
    bool readOnly = false;
    host.app.scriptedUi().setFormClosedHook([&](const host::Form& form) {
      fields = form.control("cmbUIDFLD").items();
      outFolder = form.control("txtOutFolder").text();
      readOnly = form.control("txtOutFolder").readOnly();
    });
    EXPECT_EQ(c.command->onClick(), host::kOk) << host.messages.str();
    ASSERT_FALSE(host.app.scriptedUi().forms().empty());
    EXPECT_EQ(host.app.scriptedUi().forms().back().name, c.form);
    EXPECT_EQ(host.app.scriptedUi().forms().back().result, host::dialog_result::kCancel);
    EXPECT_EQ(fields, (std::vector<std::string>{"FID", "AnimalID"}));
    EXPECT_EQ(outFolder, folder.path().string());
    EXPECT_TRUE(readOnly);
  }
}

struct LocohDialog : ::testing::Test {
  TempFolder folder{"locoh_dialog"};
  BatchHost host;
  std::unique_ptr<frmLOCOH> form;

  void Open(std::vector<TestFix> fixes, host::SpatialReferencePtr crs = {}) {
    host.load({test::WritePointShapefile(folder.path(), "fixes", fixes, std::move(crs))});
    form = std::make_unique<frmLOCOH>(host.app, host.app.document()->focusMap());
    form->load();
    form->control("cmbPntL").setSelectedIndex(0);
    form->control("cmbUIDFLD").setSelectedIndex(form->control("cmbUIDFLD").findItem("AnimalID"));
    fs::create_directories(folder / "out");
    host.app.scriptedUi().queueFolderAnswer(folder / "out");
    form->control("btnFolder").press();
  }
};

TEST_F(LocohDialog, SuggestsTheMedianAndWritesTheEstimatorsAreasPerAnimal) {
  Open(TwoAnimals());
  EXPECT_EQ(form->control("txtParam").text(), "4");
  EXPECT_EQ(form->control("lblSuggest").caption(), "Suggested k = 4 (the median over 2 animals)");
  form->control("txtBnds").setText("50,100");
  form->control("chkHulls").setChecked(true);
  form->control("btnOK").press();
  ASSERT_EQ(form->LastResult(), LocohBatchResult::Completed) << host.messages.str();
  EXPECT_FALSE(form->isOpen());
  // The dialog writes the areas the estimator computes (to the 6 decimals the field keeps).
  for (const std::string id : {"A", "B"}) {
    const fs::path file = folder / "out" / (id + "_locoh.shp");
    const std::vector<double> expected = LibraryAreas(TwoAnimals(), id, 4.0, {50.0, 100.0});
    const std::vector<double> written = Column(file, "Area");
    ASSERT_EQ(written.size(), expected.size()) << id;
    for (std::size_t i = 0; i < expected.size(); ++i) EXPECT_NEAR(written[i], expected[i], 1e-6) << id;
    EXPECT_EQ(Column(file, "Percent"), (std::vector<double>{50.0, 100.0}));
    EXPECT_TRUE(fs::exists(folder / "out" / (id + "_locoh_hulls.shp")));
  }
  EXPECT_TRUE(fs::exists(folder / "out" / kLocohLogName));
}

TEST_F(LocohDialog, EachAnimalItsOwnSuggestedK) {
  Open(TwoAnimals());
  form->control("chkOwnParam").setChecked(true);
  EXPECT_FALSE(form->control("txtParam").enabled());
  form->control("txtParam").setText("not read");
  form->control("txtBnds").setText("100");
  form->control("btnOK").press();
  ASSERT_EQ(form->LastResult(), LocohBatchResult::Completed) << host.messages.str();
  EXPECT_NEAR(Column(folder / "out" / "A_locoh.shp", "Area").at(0),
              LibraryAreas(TwoAnimals(), "A", 3.0, {100.0})[0], 1e-6);
  EXPECT_NEAR(Column(folder / "out" / "B_locoh.shp", "Area").at(0),
              LibraryAreas(TwoAnimals(), "B", 4.0, {100.0})[0], 1e-6);
}

TEST_F(LocohDialog, RefusesBeforeWriting) {
  struct Case {
    const char* param;
    const char* isopleths;
    bool clash;  // a file of the run's names already in the folder
    LocohBatchResult result;
  };
  for (const Case& c : {Case{"2.5", "50", false, LocohBatchResult::CheckFailed},
                        Case{"3", "0,50", false, LocohBatchResult::CheckFailed},
                        Case{"3", "50", true, LocohBatchResult::Cancelled}}) {
    SCOPED_TRACE(std::string(c.param) + " " + c.isopleths);
    TempFolder run{"locoh_refusal"};
    BatchHost refusing;
    refusing.load({test::WritePointShapefile(run.path(), "fixes", TwoAnimals())});
    frmLOCOH dialog(refusing.app, refusing.app.document()->focusMap());
    dialog.load();
    dialog.control("cmbPntL").setSelectedIndex(0);
    dialog.control("cmbUIDFLD").setSelectedIndex(dialog.control("cmbUIDFLD").findItem("AnimalID"));
    dialog.control("txtParam").setText(c.param);
    dialog.control("txtBnds").setText(c.isopleths);
    fs::create_directories(run / "out");
    if (c.clash) std::ofstream(run / "out" / "B_locoh.shp") << "x";
    refusing.app.scriptedUi().queueFolderAnswer(run / "out");
    dialog.control("btnFolder").press();
    dialog.control("btnOK").press();
    EXPECT_EQ(dialog.LastResult(), c.result);
    EXPECT_TRUE(dialog.isOpen());
    EXPECT_FALSE(fs::exists(run / "out" / "A_locoh.shp"));
  }
}

TEST_F(LocohDialog, RefusesALayerInDegrees) {
  std::vector<TestFix> fixes = TwoAnimals();
  for (TestFix& fix : fixes) fix.x = fix.x / 1e4, fix.y = fix.y / 1e4;
  Open(fixes, platform::gdal::makeSpatialReferenceFactory()->wgs84());
  form->control("btnOK").press();
  EXPECT_EQ(form->LastResult(), LocohBatchResult::Failed);
  EXPECT_TRUE(host.shown("degrees"));
}

// UDs on a 4 x 4 grid of 0.5 cells (area 0.25), each of volume 1 with densities exact in float:
// "west" and "east" hold 0.5 in their half of the columns. Written as a GeoTIFF, optionally
// multiplied by a recorded density scaling, or on a 2 x 2 grid of 1-unit cells over the same
// extent (then resampled onto the finest grid, the same west half).
fs::path WriteUd(const fs::path& folder, const std::string& name, bool west, double cell = 0.5,
                 std::optional<double> scaling = std::nullopt) {
  const int side = static_cast<int>(2.0 / cell);
  const auto raster = platform::gdal::openRasterWorkspace(folder)->createRaster({.name = name,
                                                                                 .originX = 10.0,
                                                                                 .originY = 20.0,
                                                                                 .cellSize = cell,
                                                                                 .rows = side,
                                                                                 .columns = side,
                                                                                 .densityScaling = scaling});
  std::vector<float> cells(static_cast<std::size_t>(side * side));
  const double density = 0.5 * scaling.value_or(1.0);
  for (int i = 0; i < side * side; ++i)
    if (((i % side) < side / 2) == west) cells[static_cast<std::size_t>(i)] = static_cast<float>(density);
  raster->band(0)->writeRows(0, side, cells);
  return folder / (name + ".tif");
}

// Rows of a CSV matrix without its header row and first column.
std::vector<std::vector<double>> ReadMatrix(const fs::path& file) {
  std::ifstream in(file);
  std::string line;
  std::getline(in, line);
  std::vector<std::vector<double>> rows;
  while (std::getline(in, line)) {
    std::istringstream cells(line);
    std::string cell;
    std::getline(cells, cell, ',');
    rows.emplace_back();
    while (std::getline(cells, cell, ',')) rows.back().push_back(std::stod(cell));
  }
  return rows;
}

TEST(OverlapDialog, ComparesLayersAndFilesScaledAndOnOtherGrids) {
  TempFolder folder{"overlap_dialog"};
  BatchHost host;
  host.load({WriteUd(folder.path(), "west", true), WriteUd(folder.path(), "scaled", true, 0.5, 1e6)});
  frmOVERLAP form(host.app, host.app.document()->focusMap());
  form.load();
  for (const char* layer : {"west", "scaled", "west"}) {  // the second "west" is not listed twice
    form.control("cmbRaster").setSelectedIndex(form.control("cmbRaster").findItem(layer));
    form.control("btnAddLayer").press();
  }
  host.app.scriptedUi().queueOpenAnswer(
      {WriteUd(folder.path(), "east", false), WriteUd(folder.path(), "coarse", true, 1.0)});
  form.control("btnAddFile").press();
  ASSERT_EQ(form.control("lstUDs").items().size(), 4u);
  fs::create_directories(folder / "out");
  host.app.scriptedUi().queueFolderAnswer(folder / "out");
  form.control("btnFolder").press();
  form.control("chkVI").setChecked(false);
  form.control("btnOK").press();
  ASSERT_EQ(form.LastResult(), OverlapBatchResult::Completed) << host.messages.str();
  EXPECT_FALSE(fs::exists(folder / "out" / "VI.csv"));
  // Worked by hand: west, scaled and coarse are one UD (0.5 over the west half), east the other
  // half. BA = sum sqrt(u v) x 0.25 = 8 x 0.5 x 0.25 = 1 or 0; HD = 0 or sqrt(1 + 1); the 95 %
  // contour is 7 of the 8 cells (12.5 % each), so UDOI = 7 x 0.25 x (8 x 0.25 x 0.25) = 0.875.
  const double r2 = std::sqrt(2.0);
  const std::vector<std::vector<double>> ba{{1, 1, 0, 1}, {1, 1, 0, 1}, {0, 0, 1, 0}, {1, 1, 0, 1}};
  const std::vector<std::vector<double>> hd{{0, 0, r2, 0}, {0, 0, r2, 0}, {r2, r2, 0, r2}, {0, 0, r2, 0}};
  for (const auto& [name, expected] : {std::pair{"BA", ba}, std::pair{"HD", hd}}) {
    const auto matrix = ReadMatrix(folder / "out" / (std::string(name) + ".csv"));
    ASSERT_EQ(matrix.size(), 4u) << name;
    for (std::size_t i = 0; i < 4; ++i)
      for (std::size_t j = 0; j < 4; ++j) EXPECT_NEAR(matrix[i][j], expected[i][j], 1e-12) << name << i << j;
  }
  EXPECT_NEAR(ReadMatrix(folder / "out" / "UDOI.csv")[0][3], 0.875, 1e-12);
  std::ifstream log(folder / "out" / kOverlapLogName);
  const std::string text((std::istreambuf_iterator<char>(log)), std::istreambuf_iterator<char>());
  EXPECT_NE(text.find("resampled (nearest cell)"), std::string::npos) << text;
}

TEST(OverlapDialog, RefusesBeforeWriting) {
  struct Case {
    std::vector<std::string> rasters;
    const char* percent;
    bool clash;
    OverlapBatchResult result;
  };
  TempFolder folder{"overlap_refusal"};
  const std::string west = WriteUd(folder.path(), "west", true).string();
  const std::string east = WriteUd(folder.path(), "east", false).string();
  const auto negative = platform::gdal::openRasterWorkspace(folder.path())
                            ->createRaster({.name = "negative", .cellSize = 1.0, .rows = 1, .columns = 2});
  negative->band(0)->writeRows(0, 1, std::vector<float>{1.0F, -1.0F});
  for (const Case& c :
       {Case{{west}, "95", false, OverlapBatchResult::CheckFailed},
        Case{{west, east}, "0", false, OverlapBatchResult::CheckFailed},
        Case{{west, east}, "95", true, OverlapBatchResult::Cancelled},
        Case{{west, (folder / "negative.tif").string()}, "95", false, OverlapBatchResult::Failed}}) {
    SCOPED_TRACE(std::to_string(c.rasters.size()) + " " + c.percent);
    TempFolder out{"overlap_refusal_out"};
    if (c.clash) std::ofstream(out / "HR.csv") << "x";
    BatchHost host;
    OverlapSettings settings;
    settings.rasters = c.rasters;
    settings.percent = c.percent;
    settings.outputFolder = out.path().string();
    EXPECT_EQ(RunOverlapBatch(host.app, settings), c.result) << host.messages.str();
    EXPECT_FALSE(fs::exists(out / "BA.csv"));
  }
}

TEST(OverlapDialog, MakesKdeUdsFromFixesThroughTheKdeLibrary) {
  TempFolder folder{"overlap_fixes"};
  BatchHost host;
  const host::ComponentRegistry registry = host::ComponentRegistry::fromFolder(ORVEX_BIN_DIR);
  host.app.setComponents(&registry);
  host.load({test::WritePointShapefile(folder.path(), "fixes", TwoAnimals())});
  frmOVERLAP form(host.app, host.app.document()->focusMap());
  form.load();
  form.control("optFixes").setChecked(true);
  EXPECT_FALSE(form.control("fraRasters").enabled());
  form.control("cmbPntL").setSelectedIndex(0);
  form.control("cmbUIDFLD").setSelectedIndex(form.control("cmbUIDFLD").findItem("AnimalID"));
  form.control("cmbBandwidth").setText("href");
  form.control("txtBuffer").setText("300");
  form.control("txtCellSize").setText("25");
  host.app.scriptedUi().queueFolderAnswer(folder.path());
  form.control("btnFolder").press();
  form.control("btnOK").press();
  ASSERT_EQ(form.LastResult(), OverlapBatchResult::Completed) << host.messages.str();
  int rasters = 0;
  for (const auto& entry : fs::directory_iterator(folder / kOverlapUdFolder))
    rasters += entry.path().extension() == ".tif" ? 1 : 0;
  EXPECT_EQ(rasters, 2);
  // One grid for both animals 1 km apart, each h = href of its own fixes: each range is its own
  // (HR diagonal 1) and they barely touch.
  const auto hr = ReadMatrix(folder / "HR.csv");
  ASSERT_EQ(hr.size(), 2u);
  EXPECT_EQ(hr[0][0], 1.0);
  EXPECT_EQ(hr[1][1], 1.0);
  EXPECT_LT(hr[0][1], 0.05);
}

}  // namespace
}  // namespace orvex::range
