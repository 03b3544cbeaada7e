// Numbers written to and read from files must not depend on the process locale.

#include <gtest/gtest.h>
#include <ogrsf_frmts.h>

#include <clocale>
#include <cmath>
#include <string>

#include "platform/gdal/contour_lines.h"
#include "platform/gdal/gdal_platform.h"
#include "platform/gdal/raster_grid.h"
#include "support/temp_folder.h"

namespace gdal = orvex::platform::gdal;
namespace host = orvex::host;
using orvex::test::TempFolder;

namespace {

/// Switches the whole process to a decimal-comma locale for one test.
class DecimalCommaLocale {
 public:
  DecimalCommaLocale() : saved_(std::setlocale(LC_ALL, nullptr)) {
    active_ = std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr;
  }
  ~DecimalCommaLocale() { std::setlocale(LC_ALL, saved_.c_str()); }
  bool active() const { return active_; }

 private:
  std::string saved_;
  bool active_ = false;
};

}  // namespace

TEST(DecimalCommaLocale, ShapefileNumbersWhereClausesAndContourLevelsAreUnchanged) {
  DecimalCommaLocale locale;
  if (!locale.active()) GTEST_SKIP() << "locale de_DE.UTF-8 is not installed";
  TempFolder dir;
  auto ws = gdal::openShapefileWorkspace(dir.path());
  host::FeatureClassSpec definition;
  definition.name = "d";
  host::FieldDef shape;
  shape.name = "Shape";
  shape.type = host::FieldType::Geometry;
  shape.geometry = host::GeometryDef{host::GeometryType::Point, false, false, {}};
  definition.fields.add(shape);
  host::FieldDef dist;
  dist.name = "Dist";
  dist.type = host::FieldType::Double;
  dist.precision = 12;
  dist.scale = 3;
  definition.fields.add(dist);
  auto fc = ws->createFeatureClass(definition);
  host::Row buffer = fc->createRowBuffer();
  buffer.setShape(host::Point{0.5, 0.25});
  buffer.setValue(buffer.findField("Dist"), host::Value(1234.5));
  fc->insert()->insert(buffer);
  EXPECT_EQ(fc->rowCount("Dist > 1234.25"), 1);
  EXPECT_EQ(fc->rowCount("Dist > 1234.75"), 0);
  fc.reset();

  GDALDatasetUniquePtr ds(GDALDataset::Open((dir / "d.shp").c_str(), GDAL_OF_VECTOR));
  OGRFeatureUniquePtr f(ds->GetLayer(0)->GetNextFeature());
  EXPECT_EQ(f->GetFieldAsDouble("Dist"), 1234.5);
  EXPECT_EQ(f->GetGeometryRef()->toPoint()->getX(), 0.5);

  // Levels go to GDAL as text: 0.5 must not become "0,5".
  auto raster = gdal::createFloatGeoTiff(dir / "r.tif", {.cellSize = 1, .rows = 3, .columns = 3}, nullptr);
  const std::vector<float> cone{0, 0, 0, 0, 1, 0, 0, 0, 0};
  gdal::writeRows(*raster->GetRasterBand(1), 0, 3, cone);
  const std::vector<double> levels{0.5};
  auto lines = gdal::contourBand(*raster->GetRasterBand(1), levels);
  OGRLayer* layer = lines->GetLayerByName(gdal::kContourLayer);
  ASSERT_EQ(layer->GetFeatureCount(), 1);
  OGRFeatureUniquePtr line(layer->GetNextFeature());
  EXPECT_EQ(line->GetFieldAsDouble(gdal::kContourField), 0.5);
}
