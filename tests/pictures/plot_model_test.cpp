// Axes, ramps, the KDE log's animal blocks and the profile chart built from them.

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "apps/orvex/kde_plots.h"
#include "platform/pictures/plot_model.h"

namespace orvex::platform::pictures {
namespace {

// Expected ranges worked out by hand: steps of 1, 2 or 5 times a power of ten.
TEST(NiceAxis, RoundRangesAndTicks) {
  struct Case {
    double min, max;
    Range range;
    double step;
  };
  const Case cases[] =
      {
          {0.0, 100.0, {0.0, 100.0}, 20.0},   {3.2, 97.0, {0.0, 100.0}, 20.0},
          {0.013, 0.061, {0.01, 0.07}, 0.01}, {-7.0, 3.0, {-8.0, 4.0}, 2.0},
          {5.0, 5.0, {4.4, 5.6}, 0.2},  // an empty range widened by 10 % either side, then rounded
          {NAN, 1.0, {0.0, 1.0}, 0.2},  // unreadable ends: 0..1
      };
  for (const Case& c : cases) {
    const Axis axis = niceAxis("x", c.min, c.max);
    EXPECT_DOUBLE_EQ(axis.range.min, c.range.min) << c.min << ".." << c.max;
    EXPECT_DOUBLE_EQ(axis.range.max, c.range.max) << c.min << ".." << c.max;
    ASSERT_GE(axis.ticks.size(), 2u);
    EXPECT_NEAR(axis.ticks[1] - axis.ticks[0], c.step, c.step * 1e-9);
    EXPECT_DOUBLE_EQ(axis.ticks.front(), axis.range.min);
    EXPECT_NEAR(axis.ticks.back(), axis.range.max, c.step * 1e-9);
  }
}

TEST(RampColour, PaleForLowDarkForHighClampedOutside) {
  const Colour low = rampColour(0.0), high = rampColour(1.0);
  EXPECT_GT(low.red + low.green + low.blue, high.red + high.green + high.blue);
  EXPECT_EQ(rampColour(-3.0), low);
  EXPECT_EQ(rampColour(7.0), high);
  EXPECT_EQ(rampColour(NAN), low);
}

constexpr const char* kLog =
    "Unique ID: A1\r\n"
    "Sample size: 40\r\n"
    "Bandwidth: 120.5\r\n"
    "HREF (for reference): 200\r\n"
    "Bandwidth represents minimized LSCV\r\n"
    "LSCV Profile:\r\n"
    "h,LSCV_value\r\n"
    "10, -1E-07\r\n"
    "120.5, -3E-07\r\n"
    "400, -2E-07\r\n"
    "Columns, Rows: 10, 12\r\n"
    "Raster name: kde0\r\n"
    "Kernel calculated successfully.\r\n"
    "\r\n"
    "Unique ID: B2\r\n"
    "Bandwidth: 90\r\n"
    "HREF (for reference): 90\r\n"
    "LSCV function could not be minimized. HREF bandwidth used.\r\n"
    "LSCV Profile:\r\n"
    "h,LSCV_value\r\n"
    "4.5, -5E-07\r\n"
    "180, -1E-07\r\n"
    "Raster name: kde1\r\n"
    "\r\n"
    "Unique ID: C3\r\n"
    "Error encountered while calculating kernel! (code: 5001)\r\n"
    "\r\n";

TEST(KdeAnalysisLog, AnimalBlocksWithTheirProfiles) {
  std::istringstream in(kLog);
  const auto runs = cli::readKdeAnalysisLog(in);
  ASSERT_EQ(runs.size(), 2u);  // C3 wrote no raster
  EXPECT_EQ(runs[0].animal, "A1");
  EXPECT_EQ(runs[0].raster, "kde0");
  EXPECT_EQ(runs[0].h, 120.5);
  EXPECT_EQ(runs[0].href, 200.0);
  EXPECT_TRUE(runs[0].minimized);
  EXPECT_EQ(runs[0].profile, (std::vector<PlotPoint>{{10, -1e-7}, {120.5, -3e-7}, {400, -2e-7}}));
  EXPECT_FALSE(runs[1].minimized);
  EXPECT_EQ(runs[1].estimator, "LSCV");
  EXPECT_EQ(runs[1].profile.size(), 2u);
}

TEST(ProfileChart, MarksTheChosenHAndHrefAndShowsAFailedMinimisation) {
  std::istringstream in(kLog);
  const auto runs = cli::readKdeAnalysisLog(in);
  const auto minimized = cli::profileChart(runs[0]);
  ASSERT_TRUE(minimized);
  ASSERT_EQ(minimized->marks.size(), 2u);
  EXPECT_EQ(minimized->marks[0].x, 120.5);
  EXPECT_EQ(minimized->marks[1].x, 200.0);
  EXPECT_FALSE(minimized->noteIsWarning);
  EXPECT_LE(minimized->x.range.min, 10.0);
  EXPECT_GE(minimized->x.range.max, 400.0);
  EXPECT_LE(minimized->y.range.min, -3e-7);
  EXPECT_GE(minimized->y.range.max, -1e-7);

  const auto failed = cli::profileChart(runs[1]);
  ASSERT_TRUE(failed);
  EXPECT_TRUE(failed->noteIsWarning);
  EXPECT_NE(failed->note.find("could not be minimized"), std::string::npos);
  ASSERT_EQ(failed->marks.size(), 3u);
  EXPECT_EQ(failed->marks[2].x, 4.5);  // the lowest score, at the start of the range

  cli::KdeAnimalRun noProfile = runs[0];
  noProfile.profile.clear();
  EXPECT_FALSE(cli::profileChart(noProfile));
}

TEST(UdMap, EmptyCellsBlankAndTheRampUpToTheLargestDensity) {
  cli::UdMapData data;
  data.raster.columns = 2;
  data.raster.rows = 2;
  data.raster.x = {0, 200};
  data.raster.y = {0, 200};
  data.raster.values = {0.0, 4.0, 1.0, -0.0};
  const MapPicture map = cli::udMap(cli::KdeAnimalRun{}, data);
  ASSERT_TRUE(map.raster);
  EXPECT_EQ(map.raster->scale, (Range{0.0, 4.0}));
  EXPECT_TRUE(std::isnan(map.raster->values[0]));
  EXPECT_TRUE(std::isnan(map.raster->values[3]));
  // Cells with density: the top right and bottom left, so the whole raster (the margin is cut
  // at the raster's edge).
  EXPECT_EQ(map.x, (Range{0, 200}));
  EXPECT_EQ(map.y, (Range{0, 200}));

  data.raster.values = {0.0, 4.0, 0.0, 0.0};  // only the top right cell: x 100..200, y 100..200
  const MapPicture zoomed = cli::udMap(cli::KdeAnimalRun{}, data);
  EXPECT_DOUBLE_EQ(zoomed.x.min, 90.0);  // a margin of 10 % of the 100-unit cell
  EXPECT_DOUBLE_EQ(zoomed.x.max, 200.0);
  EXPECT_DOUBLE_EQ(zoomed.y.min, 90.0);
}

}  // namespace
}  // namespace orvex::platform::pictures
