// Outputs labelled with the coordinates they hold, and in-place edits that reach the user's
// file whatever its format allows.

#include <gtest/gtest.h>

#include "robustness/robustness_support.h"
#include "support/orvex_process.h"
#include "support/shapefile_readback.h"
#include "support/temp_folder.h"

namespace {

namespace fs = std::filesystem;
using namespace orvex::test;

/// 20 fixes on a circle of 0.01 degrees around 57.7 E, 46.4 S (the Crozet islands).
std::vector<TestFeature> degreeCircle() {
  std::vector<TestFeature> features;
  for (int i = 0; i < 20; ++i) {
    const double angle = 2 * M_PI * i / 20;
    features.push_back({"XY " + std::to_string(57.7 + 0.01 * std::cos(angle)) + " " +
                            std::to_string(-46.4 + 0.01 * std::sin(angle)),
                        {{"AnimalID", "A"}, {"Time2", std::to_string(1000 + 3600 * i)}}});
  }
  return features;
}

TEST(OutputCoordinates, ALayerInDegreesIsProjectedIntoTheMapsSystem) {
  TempFolder home("coords");
  writeLayer(home / "degrees.shp", layerOf(degreeCircle(), wkbPoint, 4326));
  const OrvexRun run = runOrvex(home.path(), {"--map-crs", "EPSG:32642", "mcp", home / "degrees.shp",
                                              "--percent", "100", "--out", home / "mcp.shp"});
  ASSERT_EQ(run.exitCode, 0) << run.shown();
  const ShpContents mcp = readShapefile(home / "mcp.shp");
  ASSERT_EQ(mcp.features.size(), 1U);
  EXPECT_EQ(mcp.epsg, 32642);
  // The circle is an ellipse of radii 0.01 degree of longitude (767 m at 46.4 S) and of
  // latitude (1112 m): pi * 767 * 1112 = 2.68e6 m2; the 20-gon inside it holds 98.4 % of that
  // (20 sin(2 pi / 20) / (2 pi)), 2.64e6 m2. Tolerance 2 % for the UTM scale at 11 degrees
  // from the central meridian.
  EXPECT_NEAR(mcp.features[0].area, 2.64e6, 0.02 * 2.64e6);
}

TEST(OutputCoordinates, AnOutputOfDataWithoutACoordinateSystemGetsNoPrj) {
  TempFolder home("coords");
  writeLayer(home / "noprj.shp", layerOf(circleFixes(20), wkbPoint, 0));
  const OrvexRun run =
      runOrvex(home.path(), {"mcp", home / "noprj.shp", "--percent", "95", "--out", home / "mcp.shp"});
  ASSERT_EQ(run.exitCode, 0) << run.shown();
  EXPECT_TRUE(fs::exists(home / "mcp.shp"));
  EXPECT_FALSE(fs::exists(home / "mcp.prj"));
}

TEST(InPlaceFormats, AGeoPackageIsEditedAndACsvRefused) {
  TempFolder home("formats");
  auto features = circleFixes(30);
  features[4] = features[3];  // one fix twice: same place, same time
  writeLayer(home / "fixes.gpkg", layerOf(features));
  writeLayer(home / "fixes.csv", layerOf(features));
  const std::string csv = readAll(home / "fixes.csv");

  const OrvexRun dedup = runOrvex(home.path(), {"dedup-xy", home / "fixes.gpkg"});
  EXPECT_EQ(dedup.exitCode, 0) << dedup.shown();
  GDALAllRegister();
  {
    GDALDatasetUniquePtr gpkg(GDALDataset::Open((home / "fixes.gpkg").c_str(), GDAL_OF_VECTOR));
    ASSERT_TRUE(gpkg);
    EXPECT_EQ(gpkg->GetLayer(0)->GetFeatureCount(), 29);
  }
  const OrvexRun travel = runOrvex(home.path(), {"--yes", "travel", home / "fixes.gpkg"});
  EXPECT_EQ(travel.exitCode, 0) << travel.shown();
  {
    GDALDatasetUniquePtr gpkg(GDALDataset::Open((home / "fixes.gpkg").c_str(), GDAL_OF_VECTOR));
    OGRLayer* layer = gpkg->GetLayer(0);
    ASSERT_GE(layer->GetLayerDefn()->GetFieldIndex("Dist_Cumul"), 0);
    double last = -1;
    for (auto& feature : *layer) last = feature->GetFieldAsDouble("T_Cumul");
    EXPECT_EQ(last, 3600.0 * 29);  // 30 fixes an hour apart, one removed (exact: whole seconds)
  }

  const OrvexRun refused = runOrvex(home.path(), {"--yes", "travel", home / "fixes.csv"});
  EXPECT_EQ(refused.exitCode, 1) << refused.shown();
  EXPECT_NE(refused.err.find("cannot be edited in place"), std::string::npos) << refused.shown();
  EXPECT_EQ(readAll(home / "fixes.csv"), csv);
}

}  // namespace
