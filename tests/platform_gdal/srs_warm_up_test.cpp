// The hint that rasters will be written (`expectRasterOutputs`) must be harmless: the files
// written and the failures met are the same with and without it, and a helper thread still
// at work when its factory goes is joined, not left running.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "host/error.h"
#include "platform/gdal/gdal_platform.h"
#include "platform/gdal/ogr_spatial_reference.h"
#include "platform/gdal/shapefile_feature_class.h"
#include "platform/gdal/spatial_refs.h"
#include "platform/gdal/srs_summary.h"
#include "support/temp_folder.h"

namespace gdal = orvex::platform::gdal;
namespace host = orvex::host;
namespace fs = std::filesystem;
using orvex::test::TempFolder;

namespace {

/// A reference as a run holds one read from a .prj whose answers are cached: PROJ has not
/// read it yet, so the hint sets a helper to work. `fullWkt` replaces the text it is rebuilt
/// from (a damaged cache record).
host::SpatialReferencePtr cachedReference(int epsg, const std::string& fullWkt = {}) {
  const gdal::SpatialRefPtr parsed = gdal::srsFromEpsg(epsg);
  gdal::SrsSummary summary = gdal::summarise(*parsed, epsg);
  if (!fullWkt.empty()) summary.fullWkt = fullWkt;
  return std::make_shared<gdal::OgrSpatialReference>(summary.shapefilePrj, summary);
}

/// A host's own reference that only gives its text.
class TextReference final : public host::SpatialReference {
 public:
  explicit TextReference(std::string wkt) : wkt_(std::move(wkt)) {}
  std::string name() const override { return "text"; }
  std::string wkt() const override { return wkt_; }
  std::optional<int> epsg() const override { return std::nullopt; }
  bool isGeographic() const override { return false; }
  bool isProjected() const override { return true; }
  double xyTolerance() const override { return 0.001; }
  bool isSame(const host::SpatialReference& other) const override { return other.wkt() == wkt_; }

 private:
  std::string wkt_;
};

host::FeatureClassSpec lineSpec(host::SpatialReferencePtr srs) {
  host::FeatureClassSpec spec;
  spec.name = "iso";
  spec.shapeFieldName = "Shape";
  host::FieldDef shape;
  shape.name = "Shape";
  shape.type = host::FieldType::Geometry;
  shape.geometry = host::GeometryDef{host::GeometryType::Polyline, false, false, std::move(srs)};
  spec.fields.add(shape);
  return spec;
}

/// What a KDE run writes, in small: a raster in `srs`, then a shapefile in the raster's own
/// reference. Returns every file's bytes by name, or the failure's text.
std::map<std::string, std::string> writeOutputs(const host::SpatialReferencePtr& srs, bool hint) {
  TempFolder dir("warm_up");
  auto factory = gdal::makeSpatialReferenceFactory();
  if (hint) factory->expectRasterOutputs(*srs);
  std::map<std::string, std::string> files;
  try {
    auto rasters = gdal::openRasterWorkspace(dir.path());
    host::RasterSpec grid;
    grid.name = "kde0";
    grid.originX = 500000;
    grid.originY = 4000000;
    grid.cellSize = 100;
    grid.rows = 4;
    grid.columns = 5;
    grid.spatialReference = srs;
    auto raster = rasters->createRaster(grid);
    raster->band(0)->writeRows(0, 4, std::vector<float>(20, 1.5f));
    gdal::ShapefileFeatureClass::create(dir / "iso.shp", lineSpec(raster->spatialReference()))->close();
  } catch (const host::Error& e) {
    return {{"failure", std::to_string(e.status()) + " " + e.description()}};
  }
  for (const auto& entry : fs::directory_iterator(dir.path())) {
    std::ifstream in(entry.path(), std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    files[entry.path().filename().string()] = bytes.str();
  }
  return files;
}

}  // namespace

TEST(SrsWarmUp, OutputsAndFailuresAreTheSameWithAndWithoutTheHint) {
  const struct {
    const char* label;
    std::function<host::SpatialReferencePtr()> make;
    bool fails;
  } cases[] = {
      {"cached UTM 33N", [] { return cachedReference(32633); }, false},
      {"cached WGS 84", [] { return cachedReference(4326); }, false},
      {"parsed NZTM", [] { return gdal::makeSpatialReferenceFactory()->fromEpsg(2193); }, false},
      {"host text", [] { return std::make_shared<TextReference>(gdal::srsWkt(*gdal::srsFromEpsg(32633))); },
       false},
      {"damaged cache record", [] { return cachedReference(32633, "PROJCRS[\"cut short"); }, true},
      {"host text PROJ cannot read", [] { return std::make_shared<TextReference>("GEOGCS[nonsense"); }, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    const auto without = writeOutputs(c.make(), false);
    const auto with = writeOutputs(c.make(), true);
    EXPECT_EQ(without.contains("failure"), c.fails);
    EXPECT_EQ(with, without);
  }
}

TEST(SrsWarmUp, AFactoryEndingWhileItsHelperWorksJoinsIt) {
  // Sanitizer builds catch a helper left running into the process's end.
  for (int i = 0; i < 3; ++i)
    gdal::makeSpatialReferenceFactory()->expectRasterOutputs(*cachedReference(32633));
}

TEST(SrsWarmUp, APrjThatDoesNotReadIsRefusedEveryTime) {
  const std::string good = gdal::srsShapefilePrj(*gdal::srsFromEpsg(32633));
  const struct {
    std::string text;
    bool reads;
  } cases[] = {{good, true}, {"PROJCS[\"cut", false}, {good.substr(0, good.size() / 2), false}};
  for (const auto& c : cases) {
    char* lines[] = {const_cast<char*>(c.text.c_str()), nullptr};
    // The second answer may come from what the first learnt; it must be the same.
    EXPECT_EQ(gdal::prjLinesRead(lines), c.reads) << c.text;
    EXPECT_EQ(gdal::prjLinesRead(lines), c.reads) << c.text;
  }
}
