// How the batch run stops, cancels and carries on: questions, refusals, failed animals and
// input that needs care.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "host/environment.h"
#include "host/text.h"
#include "kde_batch/batch_support.h"
#include "ui/kde/kde_batch.h"

namespace orvex::ui {
namespace {

using platform::headless::ChoicePolicy;
using test::LineValue;
using test::ReadCrLfLines;
using test::TestFix;

// A folder with an input layer "fixes" and an empty output folder, and settings for it.
class BatchCase {
 public:
  explicit BatchCase(const std::vector<TestFix>& fixes, ChoicePolicy choices = ChoicePolicy::Ask)
      : host(choices) {
    std::filesystem::create_directories(folder / "input");
    std::filesystem::create_directories(out);
    host.load({test::WritePointShapefile(folder / "input", "fixes", fixes)});
    settings.pointLayer = "fixes";
    settings.idField = "AnimalID";
    settings.outputFolder = out.string();
    settings.cellSize = "50";
  }

  KdeBatchResult run() { return RunKdeBatch(host.app, settings); }
  std::vector<std::string> log() const { return ReadCrLfLines(out / "TALVO_KDE_ANALYSIS.txt"); }
  bool exists(const std::string& name) const { return std::filesystem::exists(out / name); }
  int lineCount(const std::string& line) const {
    const auto lines = log();
    return static_cast<int>(std::count(lines.begin(), lines.end(), line));
  }

  test::TempFolder folder;
  std::filesystem::path out = folder / "out";
  test::BatchHost host;
  KdeSettings settings;
};

std::vector<TestFix> Join(std::vector<std::vector<TestFix>> parts) {
  std::vector<TestFix> all;
  for (auto& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

class RecordingView final : public KdeRunView {
 public:
  std::vector<std::string> statuses;
  std::vector<bool> okStates;
  int maximum = -1;
  int lastValue = -1;
  int highestValue = -1;
  std::vector<std::string> buffers;
  void setStatus(std::string_view text) override { statuses.emplace_back(text); }
  void setProgressRange(int, int max) override { maximum = max; }
  void setProgressValue(int value) override {
    lastValue = value;
    highestValue = std::max(highestValue, value);
  }
  void setOkEnabled(bool enabled) override { okStates.push_back(enabled); }
  void settingsChanged(const KdeSettings& s) override { buffers.push_back(s.buffer); }
};

TEST(BatchFaults, FailedBandwidthSearchGetsItsErrorLineAndTheBatchGoesOn) {
  // B has one fix: its LSCV search cannot even compute href. It follows A, so a run that kept
  // the previous bandwidth would write a raster for B with A's bandwidth.
  BatchCase c(Join({test::GaussianFixes("A", 30, 0, 0, 300, 3),
                    {TestFix{"B", 100, 100}},
                    test::GaussianFixes("C", 30, 3000, 0, 300, 4)}));
  ASSERT_EQ(c.run(), KdeBatchResult::Completed) << c.host.messages.str();
  const auto log = c.log();
  const auto blockOf = [&log](const std::string& id) {
    return static_cast<std::size_t>(std::find(log.begin(), log.end(), "Unique ID: " + id) - log.begin());
  };
  EXPECT_EQ(LineValue(log, "Bandwidth: ", blockOf("B")), "0");
  EXPECT_EQ(LineValue(log, "Error encountered while calculating kernel! (code: ", blockOf("B")), "2900)");
  EXPECT_EQ(c.lineCount("Error encountered while calculating kernel! (code: 2900)"), 1);
  EXPECT_TRUE(c.exists("kde0.tif"));
  EXPECT_FALSE(c.exists("kde1.tif"));
  EXPECT_TRUE(c.exists("kde2.tif"));
  EXPECT_EQ(c.lineCount("Kernel calculated successfully."), 2);
}

TEST(BatchFaults, BandwidthBelowTheCellSizeIsLoggedAndShown) {
  BatchCase c(Join({test::GaussianFixes(7, 20, 0, 0, 300, 5), test::GaussianFixes(9, 20, 5000, 0, 300, 6)}));
  c.settings.bandwidth = KdeBandwidthChoice::Manual;
  c.settings.manualBandwidths = "10, 400";
  c.settings.isopleths = true;
  c.settings.isoplethPercentages = "95";
  ASSERT_EQ(c.run(), KdeBatchResult::Completed) << c.host.messages.str();
  // Numeric IDs: the log shows the value, the names the position.
  EXPECT_EQ(c.lineCount("Unique ID: 7"), 2);
  EXPECT_EQ(c.lineCount("Error encountered while calculating kernel! (code: 5002)"), 2);
  EXPECT_FALSE(c.exists("kde0_b1.tif"));
  EXPECT_FALSE(c.exists("kde0_b1_iso_poly.shp"));
  EXPECT_TRUE(c.exists("kde0_b2.tif"));
  EXPECT_TRUE(c.exists("kde1_b2_iso_poly.shp"));
  EXPECT_TRUE(
      c.host.shown("The bandwidth (10) is smaller than the cell size (50). Processing aborted.\r\r"
                   "(Animal ID: 7)"));
  EXPECT_EQ(c.host.app.scriptedUi().messages().front().message.title, "Warnings");

  // Silent mode shows no warning boxes, only the final message.
  BatchCase quiet(Join({test::GaussianFixes(7, 20, 0, 0, 300, 5)}));
  quiet.settings.bandwidth = KdeBandwidthChoice::Manual;
  quiet.settings.manualBandwidths = "10";
  quiet.settings.silent = true;
  ASSERT_EQ(quiet.run(), KdeBatchResult::Completed);
  EXPECT_EQ(quiet.host.messageTexts(), std::vector<std::string>{"Processing complete."});
}

TEST(BatchFaults, RecommendedBufferIsOfferedWithoutPreparedTables) {
  // One animal, href from the variance table's formula ((sd x + sd y) / 2) n^(-1/6); the run
  // computes it itself, so LSCV runs get the question too.
  const auto fixes = test::GaussianFixes("A", 50, 0, 0, 400, 8);
  BatchCase c(fixes, ChoicePolicy::Yes);
  c.settings.buffer = "10";
  RecordingView view;
  ASSERT_EQ(RunKdeBatch(c.host.app, c.settings, {}, &view), KdeBatchResult::Completed)
      << c.host.messages.str();
  std::vector<double> xs;
  std::vector<double> ys;
  for (const TestFix& f : fixes) {
    xs.push_back(f.x);
    ys.push_back(f.y);
  }
  const auto sd = [](const std::vector<double>& v) {
    double m = 0;
    for (double x : v) m += x;
    m /= double(v.size());
    double s = 0;
    for (double x : v) s += (x - m) * (x - m);
    return std::sqrt(s / double(v.size() - 1));
  };
  const double href = (sd(xs) + sd(ys)) / 2.0 * std::pow(50.0, -1.0 / 6.0);
  const std::string question = c.host.messageTexts().front();
  EXPECT_EQ(
      question,
      "Warning: the extent buffer distance you have provided may not be large enough to capture the full "
      "extent of the utilization distribution. This data truncation can profoundly distort the isopleths. It "
      "is recommended you use a buffer distance of at least " +
          std::to_string(static_cast<int>(std::floor(3.5 * href))) +
          " for this dataset. Do you wish to use this recommended value?");
  EXPECT_EQ(c.host.app.scriptedUi().messages().front().message.buttons, host::MessageButtons::YesNoCancel);
  // Yes: the unrounded recommendation becomes the buffer, shown and logged.
  const double buffer = host::parseNumber(c.settings.buffer).value_or(-1);
  EXPECT_NEAR(buffer, 3.5 * href, 1e-9 * href);
  EXPECT_EQ(view.buffers, std::vector<std::string>{c.settings.buffer});
  EXPECT_EQ(LineValue(c.log(), "Extent setting: full extent + "), c.settings.buffer);
  EXPECT_EQ(view.okStates, std::vector<bool>{false});
  EXPECT_EQ(view.maximum, 2);  // one animal, no isopleths: k + 1
  EXPECT_EQ(view.lastValue, 0);
  EXPECT_EQ(view.highestValue, 1);
  EXPECT_NE(std::find(view.statuses.begin(), view.statuses.end(), "Calculating LSCV..."),
            view.statuses.end());
}

TEST(BatchFaults, CancelledRunLeavesAnEarlierRunsFilesAsTheyWere) {
  BatchCase c(test::GaussianFixes("A", 30, 0, 0, 400, 9));
  ASSERT_EQ(c.run(), KdeBatchResult::Completed);
  const std::string log = test::readAll(c.out / "TALVO_KDE_ANALYSIS.txt");
  const std::string settingsCopy = test::readAll(c.out / "TALVO_KERNEL_SETTINGS.txt");

  // Cancel on the buffer question, after the log was opened for appending.
  std::istringstream answers("cancel\n");
  c.host.app.scriptedUi().setPromptInput(&answers);
  c.settings.prefix = "two";
  c.settings.buffer = "1";
  RecordingView view;
  ASSERT_EQ(RunKdeBatch(c.host.app, c.settings, {}, &view), KdeBatchResult::Cancelled);
  EXPECT_EQ(test::readAll(c.out / "TALVO_KDE_ANALYSIS.txt"), log);
  EXPECT_EQ(test::readAll(c.out / "TALVO_KERNEL_SETTINGS.txt"), settingsCopy);
  EXPECT_EQ(view.okStates, (std::vector<bool>{false, true}));
  ASSERT_FALSE(view.statuses.empty());
  EXPECT_EQ(view.statuses.back(), "");
  EXPECT_FALSE(c.exists("two0.tif"));
}

TEST(BatchFaults, NoToTheOverlapQuestionUndoesTheRun) {
  // Two fixes of animal 4 lie 0.0000005 apart.
  auto fixes =
      Join({test::GaussianFixes(3, 20, 0, 0, 300, 10), test::GaussianFixes(4, 20, 3000, 0, 300, 11)});
  fixes.push_back(TestFix{4, 3000.25, 10.0});
  fixes.push_back(TestFix{4, 3000.2500005, 10.0});
  BatchCase c(fixes, ChoicePolicy::No);
  ASSERT_EQ(c.run(), KdeBatchResult::Cancelled);
  ASSERT_EQ(c.host.messageTexts().size(), 1u);
  EXPECT_EQ(c.host.messageTexts()[0],
            "Warning: overlapping points were detected for the following animals:\r4  \rThis may prevent "
            "reasonable "
            "estimation of the bandwidth. Would you like to continue anyway?");
  EXPECT_FALSE(c.exists("TALVO_KDE_ANALYSIS.txt"));
  EXPECT_FALSE(c.exists("TALVO_KERNEL_SETTINGS.txt"));
  EXPECT_TRUE(std::filesystem::is_empty(c.out));

  // 0.0000011 apart is no overlap.
  fixes.back().x = 3000.2500011;
  BatchCase apart(fixes, ChoicePolicy::No);
  EXPECT_EQ(apart.run(), KdeBatchResult::Completed) << apart.host.messages.str();
}

TEST(BatchFaults, GridAboveTheCellLimitIsRefusedBeforeAnyAnimal) {
  BatchCase c(test::GaussianFixes("A", 30, 0, 0, 400, 12));
  c.settings.buffer = "100000";
  c.settings.cellSize = "10";  // (200,000 + width) / 10 squared: over 400 million cells
  ASSERT_EQ(c.run(), KdeBatchResult::Cancelled);
  EXPECT_EQ(c.host.messageTexts(),
            std::vector<std::string>{"Output raster is too large (> 50 million cells). Kernel could not be "
                                     "calculated. Please increase the output cell size."});
  EXPECT_TRUE(std::filesystem::is_empty(c.out));
}

TEST(BatchFaults, ReferenceLayerGivesTheGridAndItsCellSize) {
  BatchCase c(test::GaussianFixes("A", 30, 1000, 1000, 300, 19));
  host::RasterSpec grid;
  grid.name = "Ref";
  grid.originX = -2000;
  grid.originY = -1000;
  grid.cellSize = 40;
  grid.rows = 120;
  grid.columns = 150;
  platform::gdal::openRasterWorkspace(c.folder / "input")->createRaster(grid);
  c.host.load({c.folder / "input" / "Ref.tif"});
  c.settings.extent = KdeExtentChoice::Reference;
  c.settings.referenceLayer = "Ref";
  ASSERT_EQ(c.run(), KdeBatchResult::Completed) << c.host.messages.str();
  EXPECT_EQ(c.settings.cellSize, "40");
  const auto log = c.log();
  EXPECT_EQ(LineValue(log, "Extent setting: "), "reference layer (Ref)");
  EXPECT_EQ(LineValue(log, "Raster cell size: "), "50");  // written before the layer was read
  EXPECT_EQ(LineValue(log, "Columns, Rows: "), "150, 120");
  EXPECT_EQ(LineValue(log, "Origin of raster (lower left x, y): "), "-2000, -1000");

  // The same layer at 40,000 x 40,000 cells is refused before any animal.
  BatchCase large(test::GaussianFixes("A", 30, 1000, 1000, 300, 19));
  grid.rows = 40000;
  grid.columns = 1300;
  grid.name = "Big";
  platform::gdal::openRasterWorkspace(large.folder / "input")->createRaster(grid);
  large.host.load({large.folder / "input" / "Big.tif"});
  large.settings.extent = KdeExtentChoice::Reference;
  large.settings.referenceLayer = "Big";
  EXPECT_EQ(large.run(), KdeBatchResult::Cancelled);
  EXPECT_TRUE(large.host.shown("Output raster is too large"));
  EXPECT_TRUE(std::filesystem::is_empty(large.out));
}

TEST(BatchFaults, NamingConflictWithAFolderOfTheRasterName) {
  BatchCase c(test::GaussianFixes("A", 30, 0, 0, 400, 13));
  std::filesystem::create_directory(c.out / "kde0");
  RecordingView view;
  ASSERT_EQ(RunKdeBatch(c.host.app, c.settings, {}, &view), KdeBatchResult::Cancelled);
  EXPECT_TRUE(c.host.shown("naming conflict"));
  EXPECT_FALSE(c.exists("TALVO_KDE_ANALYSIS.txt"));
  EXPECT_EQ(view.okStates, std::vector<bool>{true});

  // A list run checks the names it writes: P + p + "_b" + j.
  BatchCase list(test::GaussianFixes("A", 30, 0, 0, 400, 13));
  list.settings.bandwidth = KdeBandwidthChoice::Manual;
  list.settings.manualBandwidths = "300, 400";
  std::ofstream(list.out / "kde0_b2.tif") << "earlier raster";
  EXPECT_EQ(list.run(), KdeBatchResult::Cancelled);
  EXPECT_EQ(test::readAll(list.out / "kde0_b2.tif"), "earlier raster");
}

TEST(BatchFaults, InputThatStopsTheRun) {
  // A feature without a point.
  auto fixes = test::GaussianFixes("A", 10, 0, 0, 400, 14);
  fixes.push_back(TestFix{"A", 0, 0, true});
  BatchCase nullShape(fixes);
  EXPECT_EQ(nullShape.run(), KdeBatchResult::InputFailed);
  EXPECT_EQ(
      nullShape.host.messageTexts(),
      std::vector<std::string>{"Error: null geometry detected in point layer. Please correct or remove these "
                               "null geometries before using this tool."});
  EXPECT_TRUE(std::filesystem::is_empty(nullShape.out));

  // Failures inside the run show "KDE: " and the step reached.
  BatchCase missingFolder(test::GaussianFixes("A", 10, 0, 0, 400, 15));
  missingFolder.settings.outputFolder = (missingFolder.folder / "nowhere").string();
  EXPECT_EQ(missingFolder.run(), KdeBatchResult::Failed);
  ASSERT_EQ(missingFolder.host.messageTexts().size(), 1u);
  EXPECT_EQ(missingFolder.host.messageTexts()[0].rfind("KDE: 300\r", 0), 0u);

  BatchCase badField(test::GaussianFixes("A", 10, 0, 0, 400, 15));
  badField.settings.idField = "Nope";
  EXPECT_EQ(badField.run(), KdeBatchResult::Failed);
  EXPECT_EQ(badField.host.messageTexts()[0].rfind("KDE: 200\r", 0), 0u);

  BatchCase badCell(test::GaussianFixes("A", 10, 0, 0, 400, 15));
  badCell.settings.cellSize = "ten";
  EXPECT_EQ(badCell.run(), KdeBatchResult::Failed);
  EXPECT_EQ(badCell.host.messageTexts()[0].rfind("KDE: 500\r", 0), 0u);
  EXPECT_EQ(badCell.host.app.scriptedUi().messages()[0].message.icon, host::MessageIcon::Critical);

  // A check failure touches nothing.
  BatchCase check(test::GaussianFixes("A", 10, 0, 0, 400, 15));
  check.settings.buffer.clear();
  EXPECT_EQ(check.run(), KdeBatchResult::CheckFailed);
  EXPECT_EQ(
      check.host.messageTexts(),
      std::vector<std::string>{"Error: the extent buffer has not been defined on the Output Options tab."});
}

TEST(BatchFaults, SelectedFeaturesWithQuotedTextIds) {
  // IDs holding a quote select their own fixes; only the selection is used, through a scratch
  // copy that is removed afterwards.
  const auto fixes =
      Join({test::GaussianFixes("O'Hara", 25, 0, 0, 300, 16), test::GaussianFixes("B", 25, 4000, 0, 300, 17),
            test::GaussianFixes("C", 25, 0, 4000, 300, 18)});
  BatchCase c(fixes);
  // The scratch copy goes into a temporary folder of the test's own.
  const test::TempFolder temp("kde_temp");
  const std::optional<std::string> oldTemp =
      std::getenv("TEMP") != nullptr ? std::optional<std::string>(std::getenv("TEMP")) : std::nullopt;
  ::setenv("TEMP", temp.path().c_str(), 1);
  test::BatchHost selected;
  selected.load({c.folder / "input" / "fixes.shp"}, "AnimalID <> 'B'");
  c.settings.useSelectedOnly = true;
  ASSERT_EQ(RunKdeBatch(selected.app, c.settings), KdeBatchResult::Completed) << selected.messages.str();
  const auto log = c.log();
  EXPECT_NE(std::find(log.begin(), log.end(), "(Using selected features only)"), log.end());
  EXPECT_EQ(c.lineCount("Unique ID: O'Hara"), 1);
  EXPECT_EQ(c.lineCount("Unique ID: B"), 0);
  EXPECT_EQ(c.lineCount("Sample size: 25"), 2);
  EXPECT_NE(std::find(log.begin(), log.end(), "O'Hara     1"), log.end());  // "C" sorts before "O'Hara"
  // The scratch folder is gone.
  EXPECT_TRUE(std::filesystem::is_empty(temp.path()));
  if (oldTemp)
    ::setenv("TEMP", oldTemp->c_str(), 1);
  else
    ::unsetenv("TEMP");
}

}  // namespace
}  // namespace orvex::ui
