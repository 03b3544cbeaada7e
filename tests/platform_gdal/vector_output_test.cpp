// Shapefiles moved into one GeoPackage as layers: side by side, an existing layer kept unless
// replacing, and a copy that fails leaving the GeoPackage as it was.

#include <gtest/gtest.h>
#include <ogrsf_frmts.h>

#include <map>

#include "host/error.h"
#include "platform/gdal/vector_output.h"
#include "robustness/robustness_support.h"
#include "support/temp_folder.h"

namespace {

namespace fs = std::filesystem;
using orvex::platform::gdal::moveIntoGeoPackage;
using orvex::test::circleFixes;
using orvex::test::layerOf;
using orvex::test::TempFolder;
using orvex::test::writeLayer;

/// Each layer of the GeoPackage with its feature count.
std::map<std::string, GIntBig> layersOf(const fs::path& gpkg) {
  GDALDatasetUniquePtr dataset(GDALDataset::Open(gpkg.c_str(), GDAL_OF_VECTOR));
  std::map<std::string, GIntBig> layers;
  for (int i = 0; dataset && i < dataset->GetLayerCount(); ++i)
    layers[dataset->GetLayer(i)->GetName()] = dataset->GetLayer(i)->GetFeatureCount();
  return layers;
}

int errorNumberOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const orvex::host::Error& error) {
    return error.number();
  }
  return 0;
}

struct GeoPackageMoves : ::testing::Test {
  TempFolder folder{"gpkg_moves"};
  fs::path gpkg = folder / "study.gpkg";
  fs::path shapefile(const std::string& name, int fixes) {
    const fs::path shp = folder / (name + ".shp");
    writeLayer(shp, layerOf(circleFixes(fixes)));
    return shp;
  }
};

TEST_F(GeoPackageMoves, LayersSitSideBySideAndAnExistingOneIsReplacedOnlyWhenAsked) {
  moveIntoGeoPackage(shapefile("a", 3), gpkg, "a", false);
  moveIntoGeoPackage(shapefile("b", 4), gpkg, "b", false);
  EXPECT_FALSE(fs::exists(folder / "a.shp"));
  EXPECT_EQ(layersOf(gpkg), (std::map<std::string, GIntBig>{{"a", 3}, {"b", 4}}));

  const fs::path again = shapefile("a", 5);
  EXPECT_EQ(errorNumberOf([&] { moveIntoGeoPackage(again, gpkg, "A", false); }), orvex::host::kAlreadyExists);
  EXPECT_TRUE(fs::exists(again));  // nothing was moved
  EXPECT_EQ(layersOf(gpkg), (std::map<std::string, GIntBig>{{"a", 3}, {"b", 4}}));

  moveIntoGeoPackage(again, gpkg, "a", true);
  EXPECT_EQ(layersOf(gpkg), (std::map<std::string, GIntBig>{{"a", 5}, {"b", 4}}));
}

TEST_F(GeoPackageMoves, AFailedCopyLeavesTheLayerItWouldReplaceAndTheOthers) {
  moveIntoGeoPackage(shapefile("a", 3), gpkg, "a", false);
  moveIntoGeoPackage(shapefile("b", 4), gpkg, "b", false);
  // A shapefile whose records are cut off after its header: its features cannot be read.
  const fs::path broken = shapefile("a", 50);
  fs::resize_file(broken, 100 + 28 * 10);
  EXPECT_NE(errorNumberOf([&] { moveIntoGeoPackage(broken, gpkg, "a", true); }), 0);
  EXPECT_TRUE(fs::exists(broken));
  EXPECT_EQ(layersOf(gpkg), (std::map<std::string, GIntBig>{{"a", 3}, {"b", 4}}));
}

}  // namespace
