// Whole batches on real tracks from the shared test data (skipped when it is absent).

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "kde_batch/batch_support.h"
#include "ui/kde/kde_batch.h"

namespace orvex::ui {
namespace {

std::filesystem::path SharedFile(const std::string& set) {
  return std::filesystem::path(ORVEX_SHARED_DATA) / set / (set + ".shp");
}

int Count(const std::vector<std::string>& lines, const std::string& prefix) {
  return static_cast<int>(std::count_if(lines.begin(), lines.end(),
                                        [&](const std::string& l) { return l.rfind(prefix, 0) == 0; }));
}

// Six albatrosses tracked by Argos, 574 to 930 fixes each, spread over thousands of km, with
// repeated positions (the overlap question, answered Yes).
TEST(RealTracks, AlbatrossMinimumExtentWithIsopleths) {
  const auto shp = SharedFile("albatross");
  if (!std::filesystem::exists(shp)) GTEST_SKIP() << "shared test data not found: " << shp;
  test::TempFolder out;
  test::BatchHost host(platform::headless::ChoicePolicy::Yes);
  host.load({shp});
  KdeSettings settings;
  settings.pointLayer = "albatross";
  settings.idField = "AnimalID";
  settings.outputFolder = out.path().string();
  settings.extent = KdeExtentChoice::Minimum;
  settings.cellSize = "2000";
  settings.isopleths = true;
  settings.isoplethPercentages = "95,50";
  settings.silent = true;
  ASSERT_EQ(RunKdeBatch(host.app, settings), KdeBatchResult::Completed) << host.messages.str();
  EXPECT_TRUE(host.shown("overlapping points"));

  const auto log = test::ReadCrLfLines(out / "TALVO_KDE_ANALYSIS.txt");
  EXPECT_EQ(Count(log, "Error encountered"), 0);
  EXPECT_EQ(Count(log, "Kernel calculated successfully."), 6);
  // These irregular Argos tracks have no LSCV minimum inside 0.05 to 2 href: href is used,
  // with the calculator's warning logged.
  EXPECT_EQ(Count(log, "LSCV function could not be minimized. HREF bandwidth used."), 6);
  EXPECT_EQ(Count(log, "Warning: the LSCV function failed to minimize"), 6);
  for (int p = 0; p < 6; ++p) {
    const std::string name = "kde" + std::to_string(p);
    EXPECT_TRUE(std::filesystem::exists(out / (name + ".tif"))) << name;
    for (const char* kind : {"_iso_line", "_iso_poly", "_iso_donut"}) {
      EXPECT_TRUE(std::filesystem::exists(out / (name + kind + ".shp"))) << name << kind;
    }
    test::ShapefileRead polys;
    ASSERT_TRUE(test::ReadShapefile(out.path(), name + "_iso_poly", polys));
    ASSERT_EQ(polys.rows.size(), 2u) << name << host.messages.str();
    EXPECT_EQ(polys.value(0, "PERCENT"), 95.0);
  }
  EXPECT_FALSE(std::filesystem::exists(out / "kde6.tif"));
}

// One brown bear, 1,000 GPS fixes with 13 repeated positions; the initial settings with
// isopleths.
TEST(RealTracks, BearWithInitialSettings) {
  const auto shp = SharedFile("bear");
  if (!std::filesystem::exists(shp)) GTEST_SKIP() << "shared test data not found: " << shp;
  test::TempFolder out;
  test::BatchHost host(platform::headless::ChoicePolicy::Yes);
  host.load({shp});
  KdeSettings settings;
  settings.pointLayer = "bear";
  settings.idField = "AnimalID";
  settings.outputFolder = out.path().string();
  settings.isopleths = true;
  ASSERT_EQ(RunKdeBatch(host.app, settings), KdeBatchResult::Completed) << host.messages.str();
  const auto log = test::ReadCrLfLines(out / "TALVO_KDE_ANALYSIS.txt");
  EXPECT_EQ(Count(log, "Unique ID: W0208"), 1);
  EXPECT_EQ(Count(log, "Sample size: 1000"), 1);
  EXPECT_EQ(Count(log, "Kernel calculated successfully."), 1);
  test::RasterRead raster;
  ASSERT_TRUE(test::ReadRaster(out / "kde0.tif", raster));
  double volume = 0.0;
  for (float v : raster.cells) volume += double(v);
  // The full extent plus the buffer holds the distribution: volume within 1 % of 1e6.
  EXPECT_NEAR(volume * 100.0 * 100.0, 1e6, 1e4);
  test::ShapefileRead donuts;
  ASSERT_TRUE(test::ReadShapefile(out.path(), "kde0_iso_donut", donuts));
  EXPECT_EQ(donuts.rows.size(), 3u);
}

}  // namespace
}  // namespace orvex::ui
