// Axes, ramps, the rasters a KDE run recorded and the profile chart and UD map built from them.

#include <gtest/gtest.h>

#include <cmath>

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

// A KDE run's record: two rasters (one minimised, one not) and the isopleth files of the first.
host::RunRecord kdeRecord() {
  host::RunRecord record;
  const auto raster = [&](const char* name, const char* animal, double h, double href, bool minimised,
                          std::vector<host::ProfilePoint> profile) {
    record.output(
        {.path = std::string("/out/") + name + ".tif",
         .kind = host::OutputKind::Raster,
         .layer = name,
         .values = {.animal = animal, .h = h, .href = href, .minimised = minimised, .profile = profile}});
  };
  raster("kde0", "A1", 120.5, 200.0, true, {{10, -1e-7}, {120.5, -3e-7}, {400, -2e-7}});
  for (const char* isopleths : {"kde0_iso_line", "kde0_iso_poly", "kde0_iso_donut"})
    record.output({.path = std::string("/out/") + isopleths + ".shp", .kind = host::OutputKind::Shapefile});
  raster("kde1", "B2", 90.0, 90.0, false, {{4.5, -5e-7}, {180, -1e-7}});
  record.output({.path = "/out/TALVO_KDE_ANALYSIS.txt", .kind = host::OutputKind::Log});
  return record;
}

TEST(KdeRuns, OneRunPerRasterWithItsProfileAndIsoplethPolygons) {
  const auto runs = cli::kdeRunsOf(kdeRecord(), "LSCV");
  ASSERT_EQ(runs.size(), 2u);
  EXPECT_EQ(runs[0].animal, "A1");
  EXPECT_EQ(runs[0].raster, "kde0");
  EXPECT_EQ(runs[0].h, 120.5);
  EXPECT_EQ(runs[0].href, 200.0);
  EXPECT_TRUE(runs[0].minimized);
  EXPECT_EQ(runs[0].estimator, "LSCV");
  EXPECT_EQ(runs[0].profile, (std::vector<PlotPoint>{{10, -1e-7}, {120.5, -3e-7}, {400, -2e-7}}));
  EXPECT_EQ(runs[0].isoplethFiles, (std::vector<std::filesystem::path>{"/out/kde0_iso_poly.shp"}));
  EXPECT_FALSE(runs[1].minimized);
  EXPECT_TRUE(runs[1].isoplethFiles.empty());
}

TEST(ProfileChart, MarksTheChosenHAndHrefAndShowsAFailedMinimisation) {
  const auto runs = cli::kdeRunsOf(kdeRecord(), "LSCV");
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
