#include <gtest/gtest.h>

#include <fstream>

#include "gis/test_host.h"
#include "host/error.h"
#include "ui/gis/measure_fields.h"
#include "ui/gis/number_field_fit.h"
#include "ui/gis/shapefile_utils.h"

namespace fs = std::filesystem;
using namespace orvex;
using namespace orvex::ui::gis;
using test::TestApplication;

namespace {

void Touch(const fs::path& file) { std::ofstream(file) << "x"; }

host::Polygon Square(double x0, double y0, double side) {
  // Clockwise (the host's outer-ring orientation), closed.
  return host::Polygon{{{{x0, y0}, {x0, y0 + side}, {x0 + side, y0 + side}, {x0 + side, y0}, {x0, y0}}}};
}

std::shared_ptr<host::FeatureClass> PolygonClass(TestApplication& app, const fs::path& folder,
                                                 const char* name, const std::vector<host::Polygon>& shapes) {
  host::SpatialReferencePtr sr;
  auto fc =
      CreateShapefileFeatureClass(app, folder, name, host::GeometryType::Polygon, false, false, sr, false);
  auto cursor = fc->insert(true);
  host::Row buffer = fc->createRowBuffer();
  for (const auto& shape : shapes) {
    buffer.setShape(host::Geometry(shape));
    cursor->insert(buffer);
  }
  cursor->flush();
  return fc;
}

}  // namespace

class ShapefileUtils : public ::testing::Test {
 protected:
  TestApplication app;
  test::TempFolder dir{"utils"};
};

TEST_F(ShapefileUtils, ExistingShapefileIsRefusedOrReplacedWithItsFilesOnly) {
  host::SpatialReferencePtr sr;
  ASSERT_TRUE(CreateShapefileFeatureClass(app, dir.path(), "iso", host::GeometryType::Polygon, false, false,
                                          sr, false));
  Touch(dir.path() / "iso.sbn");         // a side file of the same dataset
  Touch(dir.path() / "iso.shp.xml");     // its metadata
  Touch(dir.path() / "iso.v2.txt");      // another dataset whose name starts the same way
  Touch(dir.path() / "isolated.shp.x");  // and one that only shares a prefix

  EXPECT_FALSE(CreateShapefileFeatureClass(app, dir.path(), "iso", host::GeometryType::Polygon, false, false,
                                           sr, false));
  ASSERT_EQ(app.recordingUi.messages.size(), 1u);
  EXPECT_EQ(app.recordingUi.messages[0].text, "ERROR: file already exists. Cannot create output file.");
  EXPECT_EQ(app.recordingUi.messages[0].title, "File Error");
  EXPECT_EQ(app.recordingUi.messages[0].icon, host::MessageIcon::Critical);
  EXPECT_TRUE(fs::exists(dir.path() / "iso.sbn"));

  auto fc = CreateShapefileFeatureClass(app, dir.path(), "iso", host::GeometryType::Polyline, false, false,
                                        sr, true);
  ASSERT_TRUE(fc);
  EXPECT_EQ(fc->shapeType(), host::GeometryType::Polyline);
  EXPECT_FALSE(fs::exists(dir.path() / "iso.sbn"));
  EXPECT_FALSE(fs::exists(dir.path() / "iso.shp.xml"));
  EXPECT_TRUE(fs::exists(dir.path() / "iso.v2.txt"));
  EXPECT_TRUE(fs::exists(dir.path() / "isolated.shp.x"));
}

TEST_F(ShapefileUtils, NamesReachingOutsideTheFolderAreRefused) {
  host::SpatialReferencePtr sr;
  Touch(dir.path() / "keep.shp");
  fs::create_directories(dir.path() / "sub");
  for (const char* name : {"../keep", "sub/../keep", "", ".."}) {
    EXPECT_THROW(CreateShapefileFeatureClass(app, dir.path() / "sub", name, host::GeometryType::Point, false,
                                             false, sr, true),
                 host::Error)
        << name;
    EXPECT_FALSE(DeleteDataset(app.workspaces(), dir.path() / "sub", name)) << name;
  }
  EXPECT_TRUE(fs::exists(dir.path() / "keep.shp"));
}

TEST_F(ShapefileUtils, AddFieldReportsTheStepItFailedAt) {
  EXPECT_EQ(AddField(app.ui(), "AREA", nullptr, host::FieldType::Double, 16, 0), -1);
  ASSERT_EQ(app.recordingUi.messages.size(), 1u);
  const auto& m = app.recordingUi.messages[0];
  EXPECT_EQ(m.text.rfind("AddNewField: B\nName: AREA, Type: 3\n91\n", 0), 0u) << m.text;
  EXPECT_EQ(m.title, "Error");
  EXPECT_EQ(m.icon, host::MessageIcon::Information);

  auto fc = PolygonClass(app, dir.path(), "p", {});
  EXPECT_EQ(AddField(app.ui(), "AREA", fc.get(), host::FieldType::Double, 16, 0), 2);  // after FID, Shape
  EXPECT_EQ(AddField(app.ui(), "AREA", fc.get(), host::FieldType::Double), -1);        // taken
  EXPECT_EQ(app.recordingUi.messages.back().text.rfind("AddNewField: B\nName: AREA, Type: 3\n", 0), 0u);
}

// An area of 4e12 m2 needs 13 integer digits: 4e12 with the default 15 decimals is 29
// characters, more than the default width, and 1e17 does not fit 16 digits. The field is
// widened and the value reads back exactly.
TEST_F(ShapefileUtils, DoubleFieldsGrowToHoldTheirValues) {
  auto fc = PolygonClass(app, dir.path(), "wide", {Square(0, 0, 1)});
  const std::vector<double> big{4e12, 0.125};
  const std::vector<double> huge{1e17};
  const int a = AddDoubleField(app.ui(), "BIG", fc.get(), 0, 0, big);
  const int b = AddDoubleField(app.ui(), "HUGE", fc.get(), 16, 0, huge);
  ASSERT_GE(a, 0);
  ASSERT_GE(b, 0);
  EXPECT_EQ(test::FieldNames(*fc), (std::vector<std::string>{"FID", "Shape", "BIG", "HUGE"}));
  EXPECT_TRUE(FitsNumberField({fc->fields().at(a).precision, fc->fields().at(a).scale}, big));
  {
    auto cursor = fc->update();
    auto row = cursor->next();
    row->setValue(a, 4e12);
    row->setValue(b, 1e17);
    cursor->updateRow(*row);
  }
  const auto rows = test::ReadAll(*fc);
  EXPECT_EQ(rows.at(0).value("BIG").toDouble(), 4e12);
  EXPECT_EQ(rows.at(0).value("HUGE").toDouble(), 1e17);
}

TEST_F(ShapefileUtils, DeleteDatasetTriesShapefileRasterAndFile) {
  std::string status;
  PolygonClass(app, dir.path(), "poly", {Square(0, 0, 1)});
  EXPECT_TRUE(DeleteDataset(app.workspaces(), dir.path(), "poly", &status));
  EXPECT_EQ(status, "DeleteFile\nDetected shapefile.");
  EXPECT_FALSE(fs::exists(dir.path() / "poly.shp"));
  EXPECT_FALSE(fs::exists(dir.path() / "poly.dbf"));

  host::RasterSpec grid;
  grid.name = "ud";
  grid.cellSize = 1;
  grid.rows = 2;
  grid.columns = 2;
  app.workspaces().openRasterWorkspace(dir.path())->createRaster(grid);
  EXPECT_TRUE(DeleteDataset(app.workspaces(), dir.path(), "ud", &status));
  EXPECT_EQ(status, "DeleteFile\nDetected raster.");
  EXPECT_FALSE(app.workspaces().openRasterWorkspace(dir.path())->exists("ud"));

  Touch(dir.path() / "notes.txt");
  EXPECT_TRUE(DeleteDataset(app.workspaces(), dir.path(), "notes.txt", &status));
  EXPECT_EQ(status, "DeleteFile\nDetected regular file.");
  EXPECT_FALSE(fs::exists(dir.path() / "notes.txt"));

  EXPECT_FALSE(DeleteDataset(app.workspaces(), dir.path(), "missing", &status));
  EXPECT_FALSE(DeleteDataset(app.workspaces(), dir.path() / "no_such_folder", "x"));
}

TEST_F(ShapefileUtils, UniqueValuesAreDistinctAndSorted) {
  host::SpatialReferencePtr sr;
  auto fc =
      CreateShapefileFeatureClass(app, dir.path(), "ids", host::GeometryType::Point, false, false, sr, false);
  const int id = AddField(app.ui(), "AnimalID", fc.get(), host::FieldType::String);
  {
    auto cursor = fc->insert(true);
    host::Row buffer = fc->createRowBuffer();
    for (const char* v : {"b", "a", "b", "", "c", "a"}) {
      buffer.setShape(host::Geometry(host::Point{1, 2}));
      buffer.setValue(id, *v ? host::Value(v) : host::Value());
      cursor->insert(buffer);
    }
    cursor->flush();
  }
  auto cursor = fc->search();
  const auto values = UniqueValues(app.ui(), *cursor, "AnimalID");
  ASSERT_EQ(values.size(), 3u);
  EXPECT_EQ(values[0], host::Value("a"));
  EXPECT_EQ(values[2], host::Value("c"));

  auto again = fc->search();
  EXPECT_TRUE(UniqueValues(app.ui(), *again, "NoSuchField").empty());
  ASSERT_FALSE(app.recordingUi.messages.empty());
  EXPECT_EQ(app.recordingUi.messages.back().text.rfind("GetUniqueValues: ", 0), 0u);
  EXPECT_EQ(app.recordingUi.messages.back().title, "Error");
}

// A 10 x 10 square with a 2 x 2 hole: area 100 - 4 = 96, boundary 40 + 8 = 48 (exact in
// binary, tolerance 1e-9).
TEST_F(ShapefileUtils, MeasurementFieldsReplaceOldFieldsAndShowProgress) {
  host::Polygon holed = Square(0, 0, 10);
  host::Ring hole{{4, 4}, {6, 4}, {6, 6}, {4, 6}, {4, 4}};  // anticlockwise
  holed.rings.push_back(hole);
  auto fc = PolygonClass(app, dir.path(), "m", {holed, Square(100, 100, 2)});
  AddField(app.ui(), "LENGTH", fc.get(), host::FieldType::Integer, 5);  // an old field of another type

  ASSERT_TRUE(CalculateLengthField(app, *fc, true));  // empty name: "LENGTH", factor 0: 1.0
  ASSERT_TRUE(CalculateAreaField(app, *fc, "AREA", 2.0, false));
  const auto rows = test::ReadAll(*fc);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(fc->fields().at(fc->findField("LENGTH")).type, host::FieldType::Double);
  EXPECT_NEAR(rows[0].value("LENGTH").toDouble(), 48.0, 1e-9);
  EXPECT_NEAR(rows[1].value("LENGTH").toDouble(), 8.0, 1e-9);
  EXPECT_NEAR(rows[0].value("AREA").toDouble(), 192.0, 1e-9);
  EXPECT_NEAR(rows[1].value("AREA").toDouble(), 8.0, 1e-9);

  ASSERT_FALSE(app.bar.progressMessages.empty());
  EXPECT_EQ(app.bar.progressMessages.back(), "Calculating length field...");
  EXPECT_DOUBLE_EQ(app.bar.lastFraction, 1.0);
  EXPECT_EQ(app.bar.hidden, 1);  // only the run that showed progress hides it

  EXPECT_FALSE(CalculateLengthField(app, *fc, false, "NOT A VALID FIELD NAME!"));
  EXPECT_EQ(app.recordingUi.messages.back().text, kLengthFieldMessage);
}

TEST(NumberFieldFit, WidensFirstThenGivesUpDecimals) {
  const std::vector<double> area{4e12};
  EXPECT_EQ(NumberTextWidth(4e12, 12), 26);  // 13 digits, point, 12 decimals
  EXPECT_EQ(FitNumberField({20, 12}, area), (NumberFieldFormat{26, 12}));
  EXPECT_EQ(FitNumberField({30, 12}, area), (NumberFieldFormat{30, 12}));  // already fits
  EXPECT_EQ(FitNumberField({0, 0}, area), (NumberFieldFormat{0, 0}));      // platform default
  const std::vector<double> negative{-12345.5};
  EXPECT_EQ(FitNumberField({5, 1}, negative), (NumberFieldFormat{8, 1}));  // sign counts
  // 1e240 has 241 digits: 15 decimals would need 257 > 254, so 12 are kept (254 characters).
  const std::vector<double> giant{1e240};
  EXPECT_EQ(FitNumberField({24, 15}, giant), (NumberFieldFormat{254, 12}));
  const std::vector<double> nonFinite{std::nan(""), 1.0 / 0.0};
  EXPECT_TRUE(FitsNumberField({3, 1}, nonFinite));
}
