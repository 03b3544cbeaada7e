// The import: the UTM zone chosen, and the layer written, read back through GDAL.

#include "platform/gdal/movebank_import.h"

#include <gdal_priv.h>
#include <gtest/gtest.h>
#include <ogrsf_frmts.h>

#include <fstream>

#include "host/error.h"
#include "platform/gdal/shapefile_feature_class.h"
#include "support/temp_folder.h"

namespace orvex::platform::gdal {
namespace {

std::vector<MovebankFix> at(std::initializer_list<std::pair<double, double>> places) {
  std::vector<MovebankFix> fixes;
  for (const auto& [lon, lat] : places) fixes.push_back({"A", lon, lat, 0, 0.0, fixes.size()});
  return fixes;
}

TEST(UtmZone, CircularMeanLongitudeAndMedianLatitude) {
  struct Case {
    std::vector<MovebankFix> fixes;
    int epsg;
    bool wide;
  };
  const Case cases[] = {
      {at({{15.0, 51.0}, {15.2, 51.1}, {14.9, 50.9}}), 32633, false},
      // Either side of the date line: the arithmetic mean (0) would give zone 31.
      {at({{179.8, -45.0}, {-179.9, -45.1}, {179.5, -44.9}}), 32760, false},   // mean 179.8
      {at({{-179.9, -45.0}, {-179.6, -45.1}, {179.9, -44.9}}), 32701, false},  // mean -179.87
      // The median, not the mean, of the latitudes: one stray far north does not flip it.
      {at({{-70.0, -10.0}, {-70.1, -12.0}, {-70.2, 60.0}}), 32719, false},
      {at({{0.0, 0.0}}), 32631, false},  // the equator counts as north
      // Fixes 30 degrees apart: far beyond one zone.
      {at({{0.0, 40.0}, {30.0, 40.0}}), 32633, true},
  };
  for (const Case& c : cases) {
    const UtmChoice choice = chooseUtmZone(c.fixes);
    EXPECT_EQ(choice.epsg(), c.epsg) << c.fixes.front().longitude;
    EXPECT_EQ(choice.widestOffset > kWideSpreadDegrees, c.wide) << c.fixes.front().longitude;
  }
  EXPECT_THROW(chooseUtmZone({}), host::Error);
}

class MovebankImportTest : public ::testing::Test {
 protected:
  test::TempFolder folder{"movebank"};

  MovebankImportOptions options(const std::string& output) const {
    MovebankImportOptions o;
    o.inputs = {std::string(ORVEX_TEST_DATA) + "/movebank_three_animals.csv"};
    o.output = folder / output;
    return o;
  }

  static GDALDatasetUniquePtr open(const std::filesystem::path& file) {
    return GDALDatasetUniquePtr(GDALDataset::Open(file.string().c_str(), GDAL_OF_VECTOR));
  }
};

TEST_F(MovebankImportTest, ShapefileSortedWithSixtyFourBitTimesInUtm) {
  const MovebankImportReport report = importMovebank(options("fixes.shp"));
  EXPECT_EQ(report.written, 124u);
  EXPECT_EQ(report.animals, 3u);
  EXPECT_EQ(report.epsg, 32633);
  ASSERT_TRUE(report.utm);

  const auto dataset = open(folder / "fixes.shp");
  ASSERT_TRUE(dataset);
  OGRLayer* layer = dataset->GetLayer(0);
  OGRFeatureDefn* defn = layer->GetLayerDefn();
  const int time2 = defn->GetFieldIndex("Time2");
  ASSERT_GE(time2, 0);
  EXPECT_EQ(defn->GetFieldDefn(time2)->GetType(), OFTInteger64);  // read back as 64-bit
  EXPECT_GT(defn->GetFieldDefn(time2)->GetWidth(), 10);
  EXPECT_EQ(layer->GetFeatureCount(), 124);

  std::string previousAnimal;
  GIntBig previousTime = 0;
  std::vector<std::string> animals;
  OGRFeatureUniquePtr last;
  for (auto& feature : *layer) {
    const std::string animal = feature->GetFieldAsString("AnimalID");
    const GIntBig time = feature->GetFieldAsInteger64(time2);
    if (animal != previousAnimal)
      animals.push_back(animal);
    else
      EXPECT_LE(previousTime, time) << animal;
    previousAnimal = animal;
    previousTime = time;
    last.reset(feature.release());
  }
  EXPECT_EQ(animals, (std::vector<std::string>{"Ida", "Jo", "Kim"}));
  // Kim's last fix: 2040-01-02 03:04:06 UTC (the one a second earlier is an outlier).
  EXPECT_EQ(last->GetFieldAsInteger64(time2), 2209086246);
  // Through the host's feature class: a 64-bit value, not a double.
  const auto features = ShapefileFeatureClass::open(folder / "fixes.shp");
  const host::Value hostTime = features->row(features->rowCount() - 1)->value("Time2");
  ASSERT_NE(hostTime.int64(), nullptr) << hostTime.toText();
  EXPECT_EQ(*hostTime.int64(), 2209086246);
  EXPECT_STREQ(last->GetFieldAsString("Time1"), "03:04:06");
  EXPECT_STREQ(last->GetFieldAsString("Date"), "2040/01/02");
  // 14.99 E 51.01 N in zone 33N: x = 499298.455, y = 5650936.975 by gdaltransform (PROJ); 1 cm.
  const auto* point = last->GetGeometryRef()->toPoint();
  EXPECT_NEAR(point->getX(), 499298.455, 0.01);
  EXPECT_NEAR(point->getY(), 5650936.975, 0.01);
}

TEST_F(MovebankImportTest, GeoPackageLayersSitSideBySide) {
  MovebankImportOptions first = options("study.gpkg");
  importMovebank(first);
  MovebankImportOptions named = first;
  named.crs = "EPSG:3035";
  EXPECT_THROW(importMovebank(named), host::Error);  // the layer "study" exists
  named.replace = true;
  const MovebankImportReport report = importMovebank(named);
  EXPECT_EQ(report.layer, "study");
  EXPECT_EQ(report.epsg, 3035);
  EXPECT_FALSE(report.utm);
  const auto dataset = open(folder / "study.gpkg");
  ASSERT_TRUE(dataset);
  EXPECT_EQ(dataset->GetLayerCount(), 1);
  EXPECT_EQ(dataset->GetLayer(0)->GetFeatureCount(), 124);
}

TEST_F(MovebankImportTest, RefusesOutputsItCannotWriteAndEmptyInput) {
  EXPECT_THROW(importMovebank(options("fixes.csv")), host::Error);
  MovebankImportOptions argos = options("argos.shp");
  argos.read.sensor = "no-such-sensor";
  EXPECT_THROW(importMovebank(argos), host::Error);
  EXPECT_FALSE(std::filesystem::exists(folder / "argos.shp"));
  importMovebank(options("fixes.shp"));
  EXPECT_THROW(importMovebank(options("fixes.shp")), host::Error);  // exists, not replaced
}

}  // namespace
}  // namespace orvex::platform::gdal
