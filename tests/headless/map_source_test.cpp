// The map a command runs on, built from files: layers and their order, the map's coordinate
// system, selections by default, by where-clause and by object id, the table-of-contents
// choice, rasters and vector files that are not shapefiles.

#include <gtest/gtest.h>

#include <fstream>

#include "headless/headless_fixtures.h"
#include "host/error.h"
#include "host/raster.h"
#include "platform/headless/headless_application.h"
#include "platform/headless/map_source.h"

namespace host = orvex::host;
using orvex::platform::headless::HeadlessApplication;
using orvex::platform::headless::loadMapSource;
using orvex::platform::headless::MapSource;
using orvex::platform::headless::parseSpatialReference;
using orvex::test::fiveFixes;
using orvex::test::idsOf;
using orvex::test::quietOptions;
using orvex::test::TempFolder;
using orvex::test::writePoints;

namespace {

class MapSourceTest : public ::testing::Test {
 protected:
  TempFolder folder;
  std::ostringstream out;
  HeadlessApplication app{quietOptions(out)};

  std::shared_ptr<host::FeatureLayer> featureLayer(int index) {
    return std::dynamic_pointer_cast<host::FeatureLayer>(
        app.focusMap().layers().at(static_cast<std::size_t>(index)));
  }
  host::SpatialReferencePtr utm33() { return app.spatialReferences().fromEpsg(32633); }
};

TEST_F(MapSourceTest, EachFileBecomesALayerNamedAfterItInTheOrderGiven) {
  const auto fixes = writePoints(folder.path(), "fixes", fiveFixes(), utm33());
  const auto more = writePoints(folder.path(), "more", {{1, 1, "c"}});
  loadMapSource(app, {.files = {fixes, more}});

  const auto layers = app.focusMap().layers();
  ASSERT_EQ(layers.size(), 2u);
  EXPECT_EQ(layers[0]->name(), "fixes");
  EXPECT_EQ(layers[1]->name(), "more");
  EXPECT_EQ(featureLayer(0)->featureClass()->featureCount(), 5);
  EXPECT_TRUE(out.str().empty());
}

TEST_F(MapSourceTest, WithoutWhereOrIdsEveryFeatureIsSelected) {
  loadMapSource(app, {.files = {writePoints(folder.path(), "fixes", fiveFixes())}});
  EXPECT_EQ(idsOf(featureLayer(0)->selection()), (std::vector<host::ObjectId>{0, 1, 2, 3, 4}));
  EXPECT_EQ(app.focusMap().selectedFeatures().size(), 5u);
}

TEST_F(MapSourceTest, AWhereClauseSelectsTheMatchingFeaturesOfEachLayer) {
  const auto first = writePoints(folder.path(), "first", fiveFixes());
  const auto second = writePoints(folder.path(), "second", {{5, 5, "b"}, {6, 6, "c"}});
  loadMapSource(app, {.files = {first, second}, .where = "AnimalID = 'b'"});
  EXPECT_EQ(idsOf(featureLayer(0)->selection()), (std::vector<host::ObjectId>{3, 4}));
  EXPECT_EQ(idsOf(featureLayer(1)->selection()), (std::vector<host::ObjectId>{0}));
}

TEST_F(MapSourceTest, ObjectIdsSelectInTheOrderGivenSkippingIdsTheLayerLacks) {
  loadMapSource(app, {.files = {writePoints(folder.path(), "fixes", fiveFixes())}, .objectIds = {4, 1, 99}});
  EXPECT_EQ(idsOf(featureLayer(0)->selection()), (std::vector<host::ObjectId>{4, 1}));
}

TEST_F(MapSourceTest, WhereAndIdsTogetherSelectTheIdsThatMatch) {
  loadMapSource(app, {.files = {writePoints(folder.path(), "fixes", fiveFixes())},
                      .where = "Seq >= 3",
                      .objectIds = {0, 2, 4}});
  EXPECT_EQ(idsOf(featureLayer(0)->selection()), (std::vector<host::ObjectId>{2, 4}));
}

TEST_F(MapSourceTest, AWhereClauseNamingAMissingFieldFailsNamingTheLayer) {
  try {
    loadMapSource(app, {.files = {writePoints(folder.path(), "fixes", fiveFixes())}, .where = "Time2 > 0"});
    FAIL() << "an unknown field must be refused";
  } catch (const host::Error& error) {
    EXPECT_NE(error.description().find("Layer 'fixes'"), std::string::npos) << error.description();
  }
}

TEST_F(MapSourceTest, TheMapTakesTheFirstKnownCoordinateSystemUnlessOneIsGiven) {
  const auto unknown = writePoints(folder.path(), "noprj", {{1, 1, "a"}});
  const auto projected = writePoints(folder.path(), "utm", fiveFixes(), utm33());
  loadMapSource(app, {.files = {unknown, projected}});
  ASSERT_TRUE(app.focusMap().spatialReference());
  EXPECT_EQ(app.focusMap().spatialReference()->epsg(), 32633);

  HeadlessApplication other(quietOptions(out));
  loadMapSource(other, {.files = {projected}, .mapCrs = "EPSG:4326"});
  EXPECT_TRUE(other.focusMap().spatialReference()->isGeographic());
}

TEST_F(MapSourceTest, AMapOfLayersWithoutCoordinateSystemHasNone) {
  loadMapSource(app, {.files = {writePoints(folder.path(), "noprj", fiveFixes())}});
  EXPECT_FALSE(app.focusMap().spatialReference());
}

TEST_F(MapSourceTest, TheFirstFeatureLayerIsChosenInTheTableOfContentsUnlessOneIsNamed) {
  const auto first = writePoints(folder.path(), "first", fiveFixes());
  const auto second = writePoints(folder.path(), "second", fiveFixes());
  loadMapSource(app, {.files = {first, second}});
  EXPECT_EQ(app.document()->selectedLayer()->name(), "first");

  HeadlessApplication other(quietOptions(out));
  loadMapSource(other, {.files = {first, second}, .selectedLayer = "second"});
  EXPECT_EQ(other.document()->selectedLayer()->name(), "second");

  HeadlessApplication wrong(quietOptions(out));
  EXPECT_THROW(loadMapSource(wrong, {.files = {first}, .selectedLayer = "Second"}),
               host::Error);  // exact name
}

TEST_F(MapSourceTest, MissingAndUnreadableFilesAreRefusedByName) {
  try {
    loadMapSource(app, {.files = {folder / "absent.shp"}});
    FAIL() << "a missing file must be refused";
  } catch (const host::Error& error) {
    EXPECT_EQ(error.number(), host::kFileNotFound);
    EXPECT_NE(error.description().find("absent.shp"), std::string::npos);
  }
  std::ofstream(folder / "notes.txt") << "not data\n";
  EXPECT_THROW(loadMapSource(app, {.files = {folder / "notes.txt"}}), host::Error);
  std::ofstream(folder / "grid.tiff") << "x";
  EXPECT_THROW(loadMapSource(app, {.files = {folder / "grid.tiff"}}), host::Error);
  EXPECT_TRUE(app.focusMap().layers().empty());
}

TEST_F(MapSourceTest, AGeoTiffBecomesARasterLayer) {
  auto rasters = app.workspaces().openRasterWorkspace(folder.path());
  host::RasterSpec grid;
  grid.name = "ud";
  grid.originX = 500000;
  grid.originY = 6000000;
  grid.cellSize = 10;
  grid.rows = 4;
  grid.columns = 5;
  grid.spatialReference = utm33();
  rasters->createRaster(grid);

  loadMapSource(app, {.files = {folder / "ud.tif"}});
  const auto layers = app.focusMap().rasterLayers();
  ASSERT_EQ(layers.size(), 1u);
  EXPECT_EQ(layers[0]->name(), "ud");
  EXPECT_EQ(layers[0]->raster()->columns(), 5);
  EXPECT_EQ(app.focusMap().spatialReference()->epsg(), 32633);
  EXPECT_FALSE(app.document()->selectedLayer());  // no feature layer to choose
}

TEST_F(MapSourceTest, OtherVectorFilesAreCopiedToShapefilesWithANote) {
  const auto csv = folder / "track.csv";
  std::ofstream(csv)
      << "AnimalID,X,Y,Time2\nA1,500000.5,6000000,100\nA1,500010,6000020,200\nB2,500030,6000000,300\n";
  loadMapSource(app, {.files = {csv}});

  const auto layer = featureLayer(0);
  ASSERT_TRUE(layer);
  EXPECT_EQ(layer->name(), "track");
  EXPECT_EQ(layer->featureClass()->shapeType(), host::GeometryType::Point);
  EXPECT_EQ(idsOf(layer->selection()).size(), 3u);
  auto cursor = layer->featureClass()->search();
  const auto first = cursor->next();
  ASSERT_TRUE(first);
  EXPECT_EQ(first->shape().point()->x, 500000.5);  // exact: the text reads back to this double
  EXPECT_EQ(first->value("AnimalID").toText(), "A1");
  EXPECT_NE(out.str().find("Note: layer 'track' is a shapefile copy of"), std::string::npos) << out.str();
  EXPECT_TRUE(std::filesystem::exists(app.scratchFolder() / "track.shp"));
}

TEST(HeadlessApplicationScratch, TheScratchFolderGoesWithTheApplication) {
  std::ostringstream out;
  std::filesystem::path scratch;
  {
    HeadlessApplication app(quietOptions(out));
    scratch = app.scratchFolder();
    EXPECT_TRUE(std::filesystem::is_directory(scratch));
    EXPECT_EQ(app.scratchFolder(), scratch);  // made once
  }
  EXPECT_FALSE(std::filesystem::exists(scratch));
}

TEST(CoordinateSystemText, ReadsCodesPrjFilesAndWkt) {
  std::ostringstream out;
  HeadlessApplication app(quietOptions(out));
  auto& factory = app.spatialReferences();
  EXPECT_EQ(parseSpatialReference(factory, "EPSG:32642")->epsg(), 32642);
  EXPECT_EQ(parseSpatialReference(factory, "epsg:4326")->epsg(), 4326);
  EXPECT_EQ(parseSpatialReference(factory, " 31467 ")->epsg(), 31467);

  TempFolder folder;
  const std::string wkt = factory.fromEpsg(32633)->wkt();
  std::ofstream(folder / "fixes.prj") << wkt;
  EXPECT_TRUE(
      parseSpatialReference(factory, (folder / "fixes.prj").string())->isSame(*factory.fromEpsg(32633)));
  EXPECT_TRUE(parseSpatialReference(factory, wkt)->isProjected());

  for (const char* text : {"", "EPSG:", "EPSG:999999", "not a system"}) {
    SCOPED_TRACE(text);
    EXPECT_THROW(parseSpatialReference(factory, text), host::Error);
  }
}

// Real telemetry: the albatross tracks (6 animals, 4,400 fixes; counts from the data README).
TEST(MapSourceRealData, AlbatrossFixesAreAllSelectedOrOneAnimalsByWhereClause) {
  const std::filesystem::path shp = std::filesystem::path(ORVEX_SHARED_DATA) / "albatross" / "albatross.shp";
  if (!std::filesystem::exists(shp)) GTEST_SKIP() << "shared telemetry data not found at " << shp;
  std::ostringstream out;
  HeadlessApplication app(quietOptions(out));
  loadMapSource(app, {.files = {shp}});
  EXPECT_EQ(app.focusMap().selectedFeatures().size(), 4400u);
  EXPECT_EQ(app.focusMap().spatialReference()->epsg(), 32642);

  HeadlessApplication one(quietOptions(out));
  loadMapSource(one, {.files = {shp}, .where = "AnimalID = 'balise.8196'"});
  EXPECT_EQ(one.focusMap().selectedFeatures().size(), 726u);
}

}  // namespace
