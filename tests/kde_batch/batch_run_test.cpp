// A whole batch on a small two-animal set: rasters, isopleth shapefiles, the analysis log
// and the settings copy, and what a second run into the same folder does.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numeric>
#include <string>
#include <vector>

#include "host/text.h"
#include "kde_batch/batch_support.h"
#include "ui/kde/kde_batch.h"
#include "ui/kde/settings_file.h"

namespace orvex::ui {
namespace {

using test::LineValue;
using test::ReadCrLfLines;
using test::TestFix;

constexpr double kCell = 50.0;
constexpr double kBuffer = 2000.0;

double Mean(const std::vector<double>& v) {
  return std::accumulate(v.begin(), v.end(), 0.0) / double(v.size());
}
double SampleSd(const std::vector<double>& v) {
  const double m = Mean(v);
  double s = 0.0;
  for (double x : v) s += (x - m) * (x - m);
  return std::sqrt(s / double(v.size() - 1));
}
std::string Rounded2(double v) { return host::numberText(std::floor(v * 100.0 + 0.5) / 100.0); }

class TwoAnimalBatch : public ::testing::Test {
 protected:
  void SetUp() override {
    animals_ = {test::GaussianFixes("A", 40, 500000, 4000000, 300, 1),
                test::GaussianFixes("B", 40, 504000, 4001000, 300, 2)};
    std::vector<TestFix> all;
    for (const auto& a : animals_) all.insert(all.end(), a.begin(), a.end());
    std::filesystem::create_directories(folder_ / "input");
    std::filesystem::create_directories(out_);
    const auto shp = test::WritePointShapefile(folder_ / "input", "fixes", all,
                                               host_.app.spatialReferences().fromEpsg(32633));
    host_.load({shp});
    settings_.pointLayer = "fixes";
    settings_.idField = "AnimalID";
    settings_.outputFolder = out_.string();
    settings_.cellSize = "50";
    settings_.isopleths = true;
    settings_.isoplethPercentages = "95, 50";
  }

  std::vector<double> Column(int animal, int column) const {
    std::vector<double> v;
    for (const TestFix& f : animals_[static_cast<std::size_t>(animal)]) v.push_back(column == 0 ? f.x : f.y);
    return v;
  }
  host::Envelope Extent() const {
    host::Envelope e;
    for (const auto& a : animals_) {
      for (const TestFix& f : a) e.expand(host::Point{f.x, f.y});
    }
    return e;
  }

  test::TempFolder folder_;
  std::filesystem::path out_ = folder_ / "out";
  test::BatchHost host_;
  KdeSettings settings_;
  std::vector<std::vector<TestFix>> animals_;
};

TEST_F(TwoAnimalBatch, WritesRastersIsoplethsLogAndSettingsCopy) {
  ASSERT_EQ(RunKdeBatch(host_.app, settings_), KdeBatchResult::Completed) << host_.messages.str();
  ASSERT_EQ(host_.messageTexts(), std::vector<std::string>{"Processing complete."});
  EXPECT_EQ(host_.app.scriptedUi().messages().back().message.title, "Status");

  const auto log = ReadCrLfLines(out_ / "TALVO_KDE_ANALYSIS.txt");
  const host::Envelope extent = Extent();
  const int columns = static_cast<int>(std::floor((2 * kBuffer + extent.width()) / kCell));
  const int rows = static_cast<int>(std::floor((2 * kBuffer + extent.height()) / kCell));

  // The log, line by line. Times, bandwidths and volumes are checked numerically below.
  std::vector<std::string> expected{"TALVO KERNEL DENSITY ANALYSIS",
                                    "",
                                    "Start time: " + LineValue(log, "Start time: "),
                                    "Input data: fixes",
                                    "Unique ID field: AnimalID",
                                    "(Text based unique ID field detected - unique numerical ID's generated "
                                    "automatically)",
                                    "",
                                    "Unique ID name remapping (unique ID, naming ID):",
                                    "A     0",
                                    "B     1",
                                    "",
                                    "Variances of x and y coordinates: ",
                                    "AnimalID, Count, StdDev_X, StdDev_Y, Ratio(x:y)"};
  for (int a = 0; a < 2; ++a) {
    const double sx = SampleSd(Column(a, 0));
    const double sy = SampleSd(Column(a, 1));
    expected.push_back(std::string(a == 0 ? "A" : "B") + ", 40, " + Rounded2(sx) + ", " + Rounded2(sy) +
                       ", " + Rounded2(sx / sy));
  }
  for (const char* line : {"", "KERNEL SETTINGS", "Kernel type: fixed", "Bandwidth estimtor: LSCV"}) {
    expected.emplace_back(line);
  }
  expected.push_back("Output folder: " + out_.string());
  for (const char* line : {"Raster prefix name: kde", "Raster cell size: 50", "Scaling factor: 1000000",
                           "Extent setting: full extent + 2000",
                           "Isopleths: 95, 50( lines  polygons  donuts )", "", "Case specific settings:"}) {
    expected.emplace_back(line);
  }
  std::vector<std::size_t> blockStarts;
  for (int a = 0; a < 2; ++a) {
    blockStarts.push_back(expected.size());
    const std::string p = std::to_string(a);
    const std::size_t from = expected.size();
    expected.push_back(std::string("Unique ID: ") + (a == 0 ? "A" : "B"));
    expected.push_back("Unique numerical ID used for naming output: " + p);
    expected.emplace_back("Sample size: 40");
    expected.push_back("Bandwidth: " + LineValue(log, "Bandwidth: ", from));
    expected.push_back("HREF (for reference): " + LineValue(log, "HREF (for reference): ", from));
    expected.emplace_back("Bandwidth represents minimized LSCV");
    expected.push_back("Columns, Rows: " + std::to_string(columns) + ", " + std::to_string(rows));
    expected.push_back("Origin of raster (lower left x, y): " + host::numberText(extent.xmin - kBuffer) +
                       ", " + host::numberText(extent.ymin - kBuffer));
    expected.push_back("Raster name: kde" + p);
    expected.emplace_back("Kernel calculated successfully.");
    expected.push_back("Volume: " + LineValue(log, "Volume: ", from));
    expected.emplace_back("");
  }
  expected.push_back("Finish time: " + LineValue(log, "Finish time: "));
  expected.emplace_back("Processing complete");
  expected.emplace_back("");
  EXPECT_EQ(log, expected);
  ASSERT_TRUE(host::Date::parseIso8601(LineValue(log, "Start time: ")).has_value());

  // The settings copy, byte for byte.
  EXPECT_EQ(test::readAll(out_ / "TALVO_KERNEL_SETTINGS.txt"),
            SettingsFileText(settings_));  // its layout is pinned in settings_file_test
  EXPECT_NE(test::readAll(out_ / "TALVO_KERNEL_SETTINGS.txt")
                .find("[CELLSIZE]\r\n50\r\n[SCALING]\r\n1000000\r\n[VERBOSE]\r\n0\r\n[EXTENT]"
                      "\r\nFULL\r\n2000\r\n[ISO]"
                      "\r\n1\r\n95, 50\r\n1\r\n1\r\n1\r\n[SILENT]\r\nFALSE\r\n"),
            std::string::npos);

  for (int a = 0; a < 2; ++a) {
    SCOPED_TRACE("animal " + std::to_string(a));
    const std::size_t from = blockStarts[static_cast<std::size_t>(a)];
    const double h = host::parseNumber(LineValue(log, "Bandwidth: ", from)).value_or(-1);
    const double href = host::parseNumber(LineValue(log, "HREF (for reference): ", from)).value_or(-1);
    const std::vector<double> xs = Column(a, 0);
    const std::vector<double> ys = Column(a, 1);
    const double n = 40.0;
    // href = sqrt((var x + var y) / 2) * n^(-1/6), computed here from the fixes; 1e-12 relative
    // covers the order of summation.
    const double sx = SampleSd(xs);
    const double sy = SampleSd(ys);
    EXPECT_NEAR(href, std::sqrt((sx * sx + sy * sy) / 2.0) * std::pow(n, -1.0 / 6.0), 1e-12 * href);
    EXPECT_GT(h, 0.05 * href);  // the LSCV scan range
    EXPECT_LT(h, 2.0 * href);

    test::RasterRead raster;
    ASSERT_TRUE(test::ReadRaster(out_ / ("kde" + std::to_string(a) + ".tif"), raster));
    EXPECT_EQ(raster.columns, columns);
    EXPECT_EQ(raster.rows, rows);
    const double originX = extent.xmin - kBuffer;
    const double top = extent.ymin - kBuffer + rows * kCell;
    EXPECT_DOUBLE_EQ(raster.transform[0], originX);
    EXPECT_DOUBLE_EQ(raster.transform[1], kCell);
    EXPECT_DOUBLE_EQ(raster.transform[3], top);
    EXPECT_DOUBLE_EQ(raster.transform[5], -kCell);
    EXPECT_NE(raster.projection.find("32633"), std::string::npos);
    EXPECT_FALSE(raster.hasNoData);
    EXPECT_EQ(raster.at(0, 0), 0.0f);

    // Cells against a sum computed here: each fix adds K(d / h) / (n h^2) * 1e6 to the cells
    // within Int(4h / cell) + 1 cells of its own cell, K the bivariate standard normal density.
    // Tolerance 2e-6 relative: the raster holds 32-bit floats.
    const int reach = static_cast<int>(std::floor(4.0 * h / kCell)) + 1;
    const int meanColumn = static_cast<int>(std::floor((Mean(xs) - originX) / kCell));
    const int meanRow = static_cast<int>(std::floor((top - Mean(ys)) / kCell));
    double volume = 0.0;
    for (float v : raster.cells) volume += double(v);
    volume *= kCell * kCell;
    for (const auto& [dc, dr] : {std::pair{0, 0}, std::pair{3, -2}, std::pair{-7, 5}, std::pair{12, 12}}) {
      const int col = meanColumn + dc;
      const int row = meanRow + dr;
      const double cx = originX + kCell / 2 + col * kCell;
      const double cy = top - kCell / 2 - row * kCell;
      double sum = 0.0;
      for (std::size_t i = 0; i < xs.size(); ++i) {
        const int ic = static_cast<int>(std::floor((xs[i] - originX) / kCell));
        const int ir = static_cast<int>(std::floor((top - ys[i]) / kCell));
        if (std::abs(ic - col) > reach || std::abs(ir - row) > reach) continue;
        const double t = std::hypot(xs[i] - cx, ys[i] - cy) / h;
        sum += std::exp(-t * t / 2.0) / (2.0 * M_PI);
      }
      const double expectedCell = sum * 1e6 / (n * h * h);
      EXPECT_NEAR(raster.at(col, row), expectedCell, 2e-6 * expectedCell + 1e-12) << col << ", " << row;
    }
    // The grid holds (nearly) the whole distribution: volume about the scaling factor. 0.5 %
    // allows for the 4h window; the log's volume is the double sum of the same cells.
    EXPECT_NEAR(volume, 1e6, 5e3);
    EXPECT_NEAR(host::parseNumber(
                    LineValue(log, "Volume: ", from).substr(0, LineValue(log, "Volume: ", from).find(" /")))
                    .value_or(-1),
                volume, 1e-5 * volume);

    // Isopleths: fields, the polygons from the largest percentage, the donuts from the smallest.
    const std::string iso = "kde" + std::to_string(a) + "_iso";
    test::ShapefileRead lines;
    test::ShapefileRead polys;
    test::ShapefileRead donuts;
    ASSERT_TRUE(test::ReadShapefile(out_, iso + "_line", lines));
    ASSERT_TRUE(test::ReadShapefile(out_, iso + "_poly", polys));
    ASSERT_TRUE(test::ReadShapefile(out_, iso + "_donut", donuts));
    EXPECT_EQ(lines.fieldNames, (std::vector<std::string>{"ISOPLETH", "PERCENT", "LENGTH"}));
    EXPECT_EQ(polys.fieldNames, (std::vector<std::string>{"ISOPLETH", "PERCENT", "AREA", "PERIMETER"}));
    EXPECT_EQ(donuts.fieldNames, (std::vector<std::string>{"ISOPLETH1", "ISOPLETH2", "PERCENT1", "PERCENT2",
                                                           "AREA", "PERIMETER"}));
    ASSERT_FALSE(lines.rows.empty());
    for (std::size_t i = 0; i < lines.rows.size(); ++i) {
      const double percent = lines.value(i, "PERCENT");
      EXPECT_TRUE(percent == 95.0 || percent == 50.0) << percent;
    }
    ASSERT_EQ(polys.rows.size(), 2u);
    EXPECT_EQ(polys.value(0, "PERCENT"), 95.0);
    EXPECT_EQ(polys.value(1, "PERCENT"), 50.0);
    EXPECT_LT(polys.value(0, "ISOPLETH"), polys.value(1, "ISOPLETH"));
    EXPECT_GT(polys.value(0, "AREA"), polys.value(1, "AREA"));
    ASSERT_EQ(donuts.rows.size(), 2u);
    EXPECT_EQ(donuts.value(0, "PERCENT1"), 0.0);
    EXPECT_EQ(donuts.value(0, "PERCENT2"), 50.0);
    EXPECT_EQ(donuts.value(1, "PERCENT1"), 50.0);
    EXPECT_EQ(donuts.value(1, "PERCENT2"), 95.0);
    const float maximum = *std::max_element(raster.cells.begin(), raster.cells.end());
    EXPECT_NEAR(donuts.value(0, "ISOPLETH1"), double(maximum), 1e-6 * double(maximum));
    // The two rings tile the 95 % polygon (areas stored with about 16 digits).
    EXPECT_NEAR(donuts.value(0, "AREA") + donuts.value(1, "AREA"), polys.value(0, "AREA"),
                1e-6 * polys.value(0, "AREA"));
  }
}

TEST_F(TwoAnimalBatch, SecondRunAppendsBehindTheSeparatorAndKeepsTheSettingsCopy) {
  ASSERT_EQ(RunKdeBatch(host_.app, settings_), KdeBatchResult::Completed);
  const std::string firstLog = test::readAll(out_ / "TALVO_KDE_ANALYSIS.txt");
  const std::string firstSettings = test::readAll(out_ / "TALVO_KERNEL_SETTINGS.txt");

  KdeSettings second = settings_;
  second.prefix = "run2_";
  second.isopleths = false;
  ASSERT_EQ(RunKdeBatch(host_.app, second), KdeBatchResult::Completed) << host_.messages.str();
  const std::string log = test::readAll(out_ / "TALVO_KDE_ANALYSIS.txt");
  ASSERT_EQ(log.substr(0, firstLog.size()), firstLog);
  const std::string separator =
      "\r\n\r\n\r\n" + std::string(60, '=') + "\r\n\r\n\r\n\r\nTALVO KERNEL DENSITY ANALYSIS\r\n";
  EXPECT_EQ(log.substr(firstLog.size(), separator.size()), separator);
  EXPECT_NE(log.find("Raster name: run2_1\r\n"), std::string::npos);
  EXPECT_EQ(test::readAll(out_ / "TALVO_KERNEL_SETTINGS.txt"), firstSettings);
  EXPECT_TRUE(std::filesystem::exists(out_ / "run2_0.tif"));

  // A third run with the first prefix meets the first run's rasters: nothing of the earlier
  // runs is lost, and nothing is added.
  host_.app.scriptedUi().clearRecords();
  KdeSettings third = settings_;
  ASSERT_EQ(RunKdeBatch(host_.app, third), KdeBatchResult::Cancelled);
  ASSERT_EQ(host_.app.scriptedUi().messages().size(), 1u);
  const auto& conflict = host_.app.scriptedUi().messages()[0].message;
  EXPECT_EQ(
      conflict.text,
      "Error: naming conflict detected (pre-existing raster in output folder). You should use a new, empty "
      "folder for the output of this tool. Exiting...");
  EXPECT_EQ(conflict.title, "User error");
  EXPECT_EQ(test::readAll(out_ / "TALVO_KDE_ANALYSIS.txt"), log);
  EXPECT_EQ(test::readAll(out_ / "TALVO_KERNEL_SETTINGS.txt"), firstSettings);
}

TEST_F(TwoAnimalBatch, ProportionListRunsValueByValueOnTheMinimumExtent) {
  settings_.bandwidth = KdeBandwidthChoice::ProportionOfHref;
  settings_.proportionsOfHref = "0.5, 1.0";
  settings_.extent = KdeExtentChoice::Minimum;
  settings_.isopleths = false;
  ASSERT_EQ(RunKdeBatch(host_.app, settings_), KdeBatchResult::Completed) << host_.messages.str();
  const auto log = ReadCrLfLines(out_ / "TALVO_KDE_ANALYSIS.txt");
  std::vector<std::string> names;
  for (const std::string& line : log) {
    if (line.rfind("Raster name: ", 0) == 0) names.push_back(line.substr(13));
  }
  EXPECT_EQ(names, (std::vector<std::string>{"kde0_b1", "kde1_b1", "kde0_b2", "kde1_b2"}));
  for (const std::string& name : names) EXPECT_TRUE(std::filesystem::exists(out_ / (name + ".tif"))) << name;
  EXPECT_NE(std::find(log.begin(), log.end(), "Bandwidth estimtor: Proportion(s) of HREF (0.5, 1.0)"),
            log.end());
  EXPECT_NE(std::find(log.begin(), log.end(), "Extent setting: smallest extent for each set of points"),
            log.end());

  // The first block: animal A at half its href; its grid is its own box widened by 4 href
  // (the limit radius uses the href before the proportion) on every side.
  const double href = host::parseNumber(LineValue(log, "HREF (for reference): ")).value_or(-1);
  EXPECT_NEAR(host::parseNumber(LineValue(log, "Bandwidth: ")).value_or(-1), 0.5 * href, 1e-12 * href);
  const auto xs = Column(0, 0);
  const auto ys = Column(0, 1);
  const auto [xmin, xmax] = std::minmax_element(xs.begin(), xs.end());
  const auto [ymin, ymax] = std::minmax_element(ys.begin(), ys.end());
  EXPECT_EQ(LineValue(log, "Columns, Rows: "),
            std::to_string(int(std::floor((*xmax - *xmin + 8 * href) / kCell))) + ", " +
                std::to_string(int(std::floor((*ymax - *ymin + 8 * href) / kCell))));
  EXPECT_EQ(LineValue(log, "Origin of raster (lower left x, y): "),
            host::numberText(*xmin - 4 * href) + ", " + host::numberText(*ymin - 4 * href));
}

TEST_F(TwoAnimalBatch, IsoplethsOfARasterWithTinyValues) {
  // Scaling 1 and a wide kernel leave densities near 1e-8 per square unit, far below the
  // perturbation the contour tracer applies near its levels; the isopleths must still be
  // found, at levels in the raster's own units.
  settings_.scaling = "1";
  settings_.bandwidth = KdeBandwidthChoice::Manual;
  settings_.manualBandwidths = "300";
  ASSERT_EQ(RunKdeBatch(host_.app, settings_), KdeBatchResult::Completed) << host_.messages.str();
  test::RasterRead raster;
  ASSERT_TRUE(test::ReadRaster(out_ / "kde0_b1.tif", raster));
  const float maximum = *std::max_element(raster.cells.begin(), raster.cells.end());
  ASSERT_LT(maximum, 1e-6f);
  test::ShapefileRead polys;
  ASSERT_TRUE(test::ReadShapefile(out_, "kde0_b1_iso_poly", polys));
  ASSERT_EQ(polys.rows.size(), 2u);
  EXPECT_GT(polys.value(1, "ISOPLETH"), 0.0);
  EXPECT_LT(polys.value(1, "ISOPLETH"), double(maximum));
  test::ShapefileRead lines;
  ASSERT_TRUE(test::ReadShapefile(out_, "kde0_b1_iso_line", lines));
  ASSERT_FALSE(lines.rows.empty());
  for (std::size_t i = 0; i < lines.rows.size(); ++i) {
    const double level = lines.value(i, "ISOPLETH");
    EXPECT_TRUE(level == polys.value(0, "ISOPLETH") || level == polys.value(1, "ISOPLETH")) << level;
  }
}

}  // namespace
}  // namespace orvex::ui
