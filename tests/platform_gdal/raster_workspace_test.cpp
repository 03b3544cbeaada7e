// The host's raster workspace on GeoTIFF files.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "host/error.h"
#include "platform/gdal/gdal_platform.h"
#include "support/host_status.h"
#include "support/temp_folder.h"

namespace gdal = orvex::platform::gdal;
namespace host = orvex::host;
using orvex::test::statusOf;
using orvex::test::TempFolder;

namespace {

// 30 columns by 20 rows of 10 map units from (1000, 2000).
host::RasterSpec gridAt1000(const std::string& name) {
  host::RasterSpec grid;
  grid.name = name;
  grid.originX = 1000;
  grid.originY = 2000;
  grid.cellSize = 10;
  grid.rows = 20;
  grid.columns = 30;
  return grid;
}

}  // namespace

TEST(RasterWorkspace, CreateWriteStatisticsContourAndDelete) {
  TempFolder dir;
  auto ws = gdal::openRasterWorkspace(dir.path());
  host::RasterSpec grid = gridAt1000("ud_a1");
  grid.spatialReference = gdal::makeSpatialReferenceFactory()->fromEpsg(32633);
  auto ds = ws->createRaster(grid);
  EXPECT_TRUE(ws->exists("ud_a1"));
  EXPECT_TRUE(std::filesystem::exists(dir / "ud_a1.tif"));
  EXPECT_EQ(ds->extent(), (host::Envelope{1000, 2000, 1300, 2200}));
  EXPECT_EQ(ds->cellSizeX(), 10.0);
  EXPECT_EQ(ds->bandCount(), 1);
  EXPECT_TRUE(ds->spatialReference()->isSame(*grid.spatialReference));
  EXPECT_EQ(statusOf([&] { ws->createRaster(grid); }), host::kAlreadyExists);

  // A cone: value = max(0, 100 - distance to the centre cell in map units).
  auto band = ds->band(0);
  std::vector<float> values;
  for (int r = 0; r < grid.rows; ++r) {
    for (int c = 0; c < grid.columns; ++c) {
      const double d = std::hypot((c - 15) * 10.0, (r - 10) * 10.0);
      values.push_back(static_cast<float>(std::max(0.0, 100.0 - d)));
    }
  }
  band->writeRows(0, grid.rows, values);
  const auto s = band->computeStatistics();
  EXPECT_EQ(s.minimum, 0.0);
  EXPECT_EQ(s.maximum, 100.0);

  // A second open of the same raster sees what was written.
  auto again = ws->openRaster("ud_a1.tif");
  ASSERT_NE(again, nullptr);
  std::vector<float> row(30);
  again->band(0)->readRows(10, 1, row);
  EXPECT_EQ(row[15], 100.0f);
  EXPECT_EQ(statusOf([&] { again->band(0)->readRows(20, 1, row); }), host::kInvalidArgument);
  EXPECT_EQ(statusOf([&] { again->band(1); }), host::kInvalidArgument);

  // The 50 contour of the cone is a circle of radius 50 around the centre cell's centre
  // (1155, 2095). The contourer interpolates linearly between cell centres h = 10 apart; along
  // such a line the cone's second derivative is at most 1/r = 1/50, so the error is at most
  // h^2/8 * 1/50 = 0.25 map units. Tolerance 0.5 map units.
  const std::vector<double> levels{50.0};
  const auto lines = band->contour(levels);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].contour, 50.0);
  const auto& path = lines[0].line.paths.at(0);
  EXPECT_EQ(path.front(), path.back());
  for (const auto& p : path) EXPECT_NEAR(std::hypot(p.x - 1155.0, p.y - 2095.0), 50.0, 0.5);

  again.reset();
  band.reset();
  ds.reset();
  ws->deleteRaster("ud_a1");
  EXPECT_FALSE(ws->exists("ud_a1"));
  EXPECT_EQ(ws->openRaster("ud_a1"), nullptr);
  EXPECT_EQ(statusOf([&] { ws->deleteRaster("ud_a1"); }), host::kNotFound);
  grid.rows = 0;
  EXPECT_EQ(statusOf([&] { ws->createRaster(grid); }), host::kInvalidArgument);
  grid.rows = 1;
  grid.name = "../escape";
  EXPECT_EQ(statusOf([&] { ws->createRaster(grid); }), host::kInvalidArgument);
  EXPECT_EQ(statusOf([&] { gdal::openRasterWorkspace(dir / "missing"); }), host::kPathNotFound);
}

// Statistics are kept with an open raster until it is written; a raster opened again takes
// them from its file. Contouring takes the band's range from them. A tiny-valued cone exercises the
// contourer's scaled copy, whose scale comes from that range.
TEST(RasterWorkspace, StatisticsLastUntilTheRasterChanges) {
  TempFolder dir;
  auto ws = gdal::openRasterWorkspace(dir.path());
  const host::RasterSpec grid = gridAt1000("ud");
  std::vector<float> cone;
  for (int r = 0; r < grid.rows; ++r) {
    for (int c = 0; c < grid.columns; ++c) {
      cone.push_back(
          static_cast<float>(1e-9 * std::max(0.0, 100.0 - std::hypot((c - 15) * 10.0, (r - 10) * 10.0))));
    }
  }
  auto expectStatistics = [](host::RasterBand& band, double minimum, double maximum) {
    const auto s = band.computeStatistics();
    EXPECT_EQ(s.minimum, minimum);
    EXPECT_EQ(s.maximum, maximum);
  };
  {
    auto band = ws->createRaster(grid)->band(0);
    band->writeRows(0, grid.rows, std::vector<float>(cone.size(), 2.0f));
    expectStatistics(*band, 2.0, 2.0);
    band->writeRows(0, grid.rows, cone);  // a write after the statistics voids them
    expectStatistics(*band, 0.0, static_cast<double>(1e-7f));
  }
  {
    // Reopened unchanged: the same statistics; the 50e-9 line of the cone is the circle of
    // radius 50 around the centre cell's centre, within 0.5 as in the test above.
    auto band = ws->openRaster("ud")->band(0);
    expectStatistics(*band, 0.0, static_cast<double>(1e-7f));
    const std::vector<double> levels{50e-9};
    const auto lines = band->contour(levels);
    ASSERT_EQ(lines.size(), 1u);
    for (const auto& p : lines[0].line.paths.at(0))
      EXPECT_NEAR(std::hypot(p.x - 1155.0, p.y - 2095.0), 50.0, 0.5);
    band->writeRows(0, grid.rows, std::vector<float>(cone.size(), 3.0f));
  }
  expectStatistics(*ws->openRaster("ud")->band(0), 3.0, 3.0);
}
