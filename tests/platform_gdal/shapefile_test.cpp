// Shapefile workspaces and feature classes, checked by reading the files back with OGR.

#include <gtest/gtest.h>
#include <ogrsf_frmts.h>

#include <cmath>
#include <fstream>
#include <set>

#include "host/error.h"
#include "platform/gdal/gdal_platform.h"
#include "support/host_status.h"
#include "support/temp_folder.h"

namespace gdal = orvex::platform::gdal;
namespace host = orvex::host;
using orvex::test::statusOf;
using orvex::test::TempFolder;

namespace {

host::FieldDef field(std::string name, host::FieldType type, int length, int precision, int scale) {
  host::FieldDef f;
  f.name = std::move(name);
  f.type = type;
  f.length = length;
  f.precision = precision;
  f.scale = scale;
  return f;
}

host::FeatureClassSpec classOf(std::string name, host::GeometryType shape,
                               std::vector<host::FieldDef> attributes, host::SpatialReferencePtr srs = {}) {
  host::FeatureClassSpec definition;
  definition.name = std::move(name);
  definition.shapeFieldName = "shape";
  host::FieldDef geometry = field("shape", host::FieldType::Geometry, 0, 0, 0);
  geometry.geometry = host::GeometryDef{shape, false, false, std::move(srs)};
  definition.fields.add(geometry);
  for (auto& a : attributes) definition.fields.add(std::move(a));
  return definition;
}

/// A point class with an integer "V" and a text "S" field, holding points (i, i) with V = 10 i
/// and S = "s<i>" for i = 0 .. count - 1.
std::shared_ptr<host::FeatureClass> pointClass(host::Workspace& ws, const std::string& name, int count) {
  auto fc = ws.createFeatureClass(classOf(
      name, host::GeometryType::Point,
      {field("V", host::FieldType::Integer, 4, 0, 0), field("S", host::FieldType::String, 10, 0, 0)}));
  auto cursor = fc->insert(true);
  for (int i = 0; i < count; ++i) {
    host::Row buffer = fc->createRowBuffer();
    buffer.setValue(buffer.findField("V"), host::Value(10 * i));
    buffer.setValue(buffer.findField("S"), host::Value("s" + std::to_string(i)));
    buffer.setShape(host::Point{static_cast<double>(i), static_cast<double>(i)});
    EXPECT_EQ(cursor->insert(buffer), i);
  }
  cursor->flush();
  return fc;
}

std::vector<host::ObjectId> idsOf(host::Cursor& cursor) {
  std::vector<host::ObjectId> ids;
  while (auto row = cursor.next()) ids.push_back(row->oid());
  return ids;
}

/// Opens a shapefile with OGR directly, independent of the platform under test.
GDALDatasetUniquePtr ogrOpen(const std::filesystem::path& shp) {
  return GDALDatasetUniquePtr(GDALDataset::Open(shp.string().c_str(), GDAL_OF_VECTOR | GDAL_OF_READONLY));
}

}  // namespace

TEST(ShapefileCreate, FieldTypesAndWidthsAreWrittenAsPassed) {
  TempFolder dir;
  auto ws = gdal::openShapefileWorkspace(dir.path());
  auto srs = gdal::makeSpatialReferenceFactory()->fromEpsg(32633);
  // The kernel command's and the collar import's schemas, as they pass them.
  ws->createFeatureClass(classOf(
      "out", host::GeometryType::Polygon,
      {field("Volume", host::FieldType::Double, 8, 20, 12),
       field("KernType", host::FieldType::String, 21, 20, 0),
       field("NPoints", host::FieldType::Integer, 4, 20, 0),
       field("Time2", host::FieldType::Integer, 20, 0, 0), field("DOP", host::FieldType::Single, 20, 20, 1),
       field("Date", host::FieldType::Date, 20, 0, 0)},
      srs));
  auto ds = ogrOpen(dir / "out.shp");
  ASSERT_TRUE(ds);
  OGRLayer* layer = ds->GetLayer(0);
  EXPECT_EQ(wkbFlatten(layer->GetGeomType()), wkbPolygon);
  const OGRFeatureDefn* d = layer->GetLayerDefn();
  ASSERT_EQ(d->GetFieldCount(), 6);
  struct Expect {
    const char* name;
    OGRFieldType type;
    int width;
    int precision;
  };
  // N(20,0) is too wide for OGR's Integer64, so OGR reads it back as Real; Time2 gets the
  // default integer width 11, which OGR reads as Integer64 (wider than 9 digits). OGR reports
  // the .dbf's 8-character date fields as 10 wide (the width of "YYYY/MM/DD").
  const Expect expected[] = {{"Volume", OFTReal, 20, 12}, {"KernType", OFTString, 21, 0},
                             {"NPoints", OFTReal, 20, 0}, {"Time2", OFTInteger64, 11, 0},
                             {"DOP", OFTReal, 20, 1},     {"Date", OFTDate, 10, 0}};
  for (int i = 0; i < 6; ++i) {
    const OGRFieldDefn* f = d->GetFieldDefn(i);
    EXPECT_STREQ(f->GetNameRef(), expected[i].name);
    EXPECT_EQ(f->GetType(), expected[i].type) << expected[i].name;
    EXPECT_EQ(f->GetWidth(), expected[i].width) << expected[i].name;
    EXPECT_EQ(f->GetPrecision(), expected[i].precision) << expected[i].name;
  }
  ASSERT_NE(layer->GetSpatialRef(), nullptr);
  const std::string srsName = layer->GetSpatialRef()->GetName();
  EXPECT_NE(srsName.find("UTM"), std::string::npos) << srsName;
  EXPECT_NE(srsName.find("33N"), std::string::npos) << srsName;
  EXPECT_TRUE(std::filesystem::exists(dir / "out.prj"));
  std::ifstream cpg(dir / "out.cpg");
  std::string encoding;
  cpg >> encoding;
  EXPECT_EQ(encoding, "UTF-8");
}

TEST(ShapefileValues, WideNumbersAreKeptOrRefusedNeverCutShort) {
  TempFolder dir;
  auto ws = gdal::openShapefileWorkspace(dir.path());
  auto fc = ws->createFeatureClass(classOf("a", host::GeometryType::Point,
                                           {field("Area", host::FieldType::Double, 8, 20, 12),
                                            field("Time2", host::FieldType::Integer, 20, 0, 0)}));
  auto cursor = fc->insert();
  host::Row buffer = fc->createRowBuffer();
  buffer.setShape(host::Point{1, 2});
  // 4e12 m^2 (an MCP of a wide-ranging seabird) needs 13 integer digits; "%20.12f" makes 26
  // characters, of which the .dbf keeps the first 20: all integer digits and 6 decimals.
  buffer.setValue(buffer.findField("Area"), host::Value(4e12));
  buffer.setValue(buffer.findField("Time2"), host::Value(std::int32_t{1234567890}));
  cursor->insert(buffer);
  // 1e21 has 22 integer digits: the .dbf writer would cut it to 20 characters and store 1e19.
  buffer.setValue(buffer.findField("Area"), host::Value(1e21));
  EXPECT_EQ(statusOf([&] { cursor->insert(buffer); }), host::kDataError);
  cursor->flush();
  fc.reset();

  auto ds = ogrOpen(dir / "a.shp");
  OGRLayer* layer = ds->GetLayer(0);
  ASSERT_EQ(layer->GetFeatureCount(), 1);
  OGRFeatureUniquePtr f(layer->GetNextFeature());
  EXPECT_EQ(f->GetFieldAsDouble("Area"), 4e12);  // exact: the kept text is "4000000000000.000000"
  EXPECT_EQ(f->GetFieldAsInteger64("Time2"), 1234567890);
}

// A real fits when "%.2f" of it has at most 6 characters before the point, sign included, after
// rounding: on both sides of the 10^(width - 2) below which no value is formatted to check.
TEST(ShapefileValues, RealsAtTheEdgeOfTheirWidthFitAsTheirRoundedTextDoes) {
  TempFolder dir;
  auto ws = gdal::openShapefileWorkspace(dir.path());
  auto fc = ws->createFeatureClass(
      classOf("e", host::GeometryType::Point, {field("R", host::FieldType::Double, 8, 6, 2)}));
  auto cursor = fc->insert();
  host::Row buffer = fc->createRowBuffer();
  buffer.setShape(host::Point{1, 2});
  const struct {
    double value;
    bool fits;
  } cases[] = {{9999.99, true},     {-9999.999, true}, {10000.0, true},
               {999999.99, true},   {-99999.99, true}, {999999.999, false},
               {-99999.999, false}, {1e7, false},      {-100000.0, false}};
  for (const auto& c : cases) {
    buffer.setValue(buffer.findField("R"), host::Value(c.value));
    EXPECT_EQ(statusOf([&] { cursor->insert(buffer); }), c.fits ? host::kOk : host::kDataError) << c.value;
  }
}

TEST(ShapefileValues, TextLongerThanItsFieldIsRefused) {
  TempFolder dir;
  auto ws = gdal::openShapefileWorkspace(dir.path());
  auto fc = pointClass(*ws, "p", 0);
  host::Row buffer = fc->createRowBuffer();
  buffer.setValue(buffer.findField("S"), host::Value("eleven char"));  // "S" is 10 wide
  EXPECT_EQ(statusOf([&] { fc->insert()->insert(buffer); }), host::kDataError);
  EXPECT_EQ(fc->rowCount(), 0);
}

TEST(ShapefileValues, ValueFaultsKeepTheirNumberAndNameTheField) {
  TempFolder dir;
  auto ws = gdal::openShapefileWorkspace(dir.path());
  auto fc = pointClass(*ws, "p", 0);
  auto cursor = fc->insert();
  host::Row buffer = fc->createRowBuffer();
  buffer.setValue(buffer.findField("V"), host::Value("abc"));
  try {
    cursor->insert(buffer);
    FAIL() << "text that is no number went into an integer field";
  } catch (const host::Error& e) {
    EXPECT_EQ(e.number(), host::error_number::kTypeMismatch);
    EXPECT_NE(e.description().find("\"V\""), std::string::npos) << e.description();
  }
  buffer.setValue(buffer.findField("V"), host::Value(3e9));
  try {
    cursor->insert(buffer);
    FAIL() << "3e9 went into a 32-bit integer field";
  } catch (const host::Error& e) {
    EXPECT_EQ(e.number(), host::error_number::kOverflow);
  }
  EXPECT_EQ(fc->rowCount(), 0);
}

TEST(ShapefileRows, ReadBackValuesShapesAndIds) {
  TempFolder dir;
  auto ws = gdal::openShapefileWorkspace(dir.path());
  auto fc = pointClass(*ws, "p", 3);
  const host::Fields& f = fc->fields();
  ASSERT_EQ(f.count(), 4);
  EXPECT_EQ(f.at(0).name, "FID");
  EXPECT_EQ(f.at(0).type, host::FieldType::ObjectId);
  EXPECT_EQ(f.at(1).name, "Shape");
  EXPECT_EQ(f.at(1).type, host::FieldType::Geometry);
  EXPECT_EQ(fc->findField("v"), 2);  // letter case ignored
  EXPECT_EQ(fc->findField("missing"), -1);

  auto row = fc->row(2);
  ASSERT_TRUE(row);
  EXPECT_EQ(row->oid(), 2);
  EXPECT_EQ(row->value("V"), host::Value(20));
  EXPECT_EQ(row->value("S"), host::Value("s2"));
  ASSERT_NE(row->shape().point(), nullptr);
  EXPECT_EQ(row->shape().point()->x, 2.0);
  EXPECT_FALSE(fc->row(3));
  EXPECT_FALSE(fc->row(-1));
  EXPECT_EQ(fc->extent(), (host::Envelope{0, 0, 2, 2}));
}

TEST(ShapefileRows, ObjectIdsStayStableAfterDeletesUntilTheFileIsReleased) {
  TempFolder dir;
  auto ws = gdal::openShapefileWorkspace(dir.path());
  auto fc = pointClass(*ws, "p", 6);
  fc->deleteRow(1);
  {
    auto cursor = fc->update();
    while (auto row = cursor->next()) {
      if (row->oid() == 3) cursor->deleteRow();
    }
  }
  EXPECT_EQ(statusOf([&] { fc->deleteRow(3); }), host::kNotFound);
  EXPECT_EQ(idsOf(*fc->search()), (std::vector<host::ObjectId>{0, 2, 4, 5}));
  EXPECT_EQ(fc->rowCount(), 4);
  // Adding a field rewrites the .dbf: the deleted records and every id must survive it.
  fc->addField(field("Extra", host::FieldType::Double, 8, 0, 0));
  EXPECT_EQ(idsOf(*fc->search()), (std::vector<host::ObjectId>{0, 2, 4, 5}));
  EXPECT_EQ(fc->row(4)->value("V"), host::Value(40));
  EXPECT_FALSE(fc->row(1));

  // An update through the cursor lands on the right record.
  {
    auto cursor = fc->update("V = 40");
    auto row = cursor->next();
    ASSERT_TRUE(row);
    row->setValue(row->findField("Extra"), host::Value(2.5));
    cursor->updateRow(*row);
  }
  EXPECT_EQ(fc->row(4)->value("Extra"), host::Value(2.5));

  fc.reset();  // the last holder (cursors hold it too): the deleted records are packed away
  auto ds = ogrOpen(dir / "p.shp");
  EXPECT_EQ(ds->GetLayer(0)->GetFeatureCount(), 4);
}

TEST(ShapefileRows, NestedCursorsNeverDeliverARowDeletedByTheInnerOne) {
  // The position-duplicate pattern: for each row of an outer walk, an inner walk over the same
  // rows deletes the others; the outer walk must not deliver them afterwards.
  TempFolder dir;
  auto ws = gdal::openShapefileWorkspace(dir.path());
  auto fc = pointClass(*ws, "p", 4);
  std::vector<host::ObjectId> visited;
  auto outer = fc->search();
  while (auto a = outer->next()) {
    visited.push_back(a->oid());
    auto inner = fc->update();
    while (auto b = inner->next()) {
      if (b->oid() != a->oid()) inner->deleteRow();
    }
  }
  EXPECT_EQ(visited, (std::vector<host::ObjectId>{0}));
  EXPECT_EQ(fc->rowCount(), 1);
}

TEST(ShapefileQueries, WhereClausesAndIdListsSelectRows) {
  TempFolder dir;
  auto ws = gdal::openShapefileWorkspace(dir.path());
  auto fc = pointClass(*ws, "p", 5);
  {
    auto c = fc->update("V = 20");
    auto row = c->next();
    row->setValue(row->findField("S"), host::Value());  // empty
    c->updateRow(*row);
  }
  auto count = [&](const host::QueryFilter& q) { return fc->rowCount(q); };
  EXPECT_EQ(count("V >= 20"), 3);
  EXPECT_EQ(count("v >= 20 AND NOT (V = 30)"), 2);  // field names ignore letter case
  EXPECT_EQ(count("S = 's1'"), 1);
  EXPECT_EQ(count("S = 'S1'"), 0);   // text comparison is case-sensitive
  EXPECT_EQ(count("S <> 's1'"), 3);  // the empty S of row 2 compares false
  EXPECT_EQ(count("S IS NULL"), 1);
  EXPECT_EQ(count("FID = 3"), 1);
  EXPECT_EQ(statusOf([&] { count("Nope = 1"); }), host::kInvalidArgument);
  EXPECT_EQ(statusOf([&] { count("V >>= 1"); }), host::kInvalidArgument);

  host::QueryFilter ids;
  ids.objectIds = std::vector<host::ObjectId>{4, 0, 9, 2, 4};
  auto c = fc->search(ids);
  EXPECT_EQ(idsOf(*c), (std::vector<host::ObjectId>{4, 0, 2}));  // given order, missing and repeats dropped
  ids.where = "V < 40";
  auto d = fc->search(ids);
  EXPECT_EQ(idsOf(*d), (std::vector<host::ObjectId>{0, 2}));
}

TEST(ShapefileQueries, SelectionSetsSkipRowsDeletedAfterTheSelection) {
  TempFolder dir;
  auto ws = gdal::openShapefileWorkspace(dir.path());
  auto fc = pointClass(*ws, "p", 5);
  host::SelectionSet selection = fc->select("V >= 20");
  EXPECT_EQ(std::vector<host::ObjectId>(selection.ids().begin(), selection.ids().end()),
            (std::vector<host::ObjectId>{2, 3, 4}));
  fc->deleteRow(3);
  auto cursor = selection.search("V < 40");
  EXPECT_EQ(idsOf(*cursor), (std::vector<host::ObjectId>{2}));
  auto all = selection.search();
  EXPECT_EQ(idsOf(*all), (std::vector<host::ObjectId>{2, 4}));
}

// A selection is found without reading the rows; it must still hold exactly the ids a search
// of the same filter yields, deleted rows and ids that name no row left out.
TEST(ShapefileQueries, SelectKeepsTheIdsOfTheSearch) {
  TempFolder dir;
  auto ws = gdal::openShapefileWorkspace(dir.path());
  auto fc = pointClass(*ws, "p", 6);
  fc->deleteRow(1);
  std::vector<host::QueryFilter> filters{host::QueryFilter(), host::QueryFilter("V >= 20"),
                                         host::QueryFilter("V > 1000")};
  for (std::string where : {"", "V < 40"}) {
    host::QueryFilter ids(where);
    ids.objectIds = std::vector<host::ObjectId>{4, 1, 0, 9, 2, 4};
    filters.push_back(ids);
  }
  for (const auto& filter : filters) {
    const host::SelectionSet selection = fc->select(filter);
    auto cursor = fc->search(filter);
    EXPECT_EQ(std::vector<host::ObjectId>(selection.ids().begin(), selection.ids().end()), idsOf(*cursor))
        << filter.where << (filter.objectIds ? " with ids" : "");
  }
}

TEST(ShapefileFields, AddAndDeleteOnAnExistingFile) {
  TempFolder dir;
  {
    auto ws = gdal::openShapefileWorkspace(dir.path());
    pointClass(*ws, "p", 2);
  }
  auto ws = gdal::openShapefileWorkspace(dir.path());
  auto fc = ws->openFeatureClass("p.shp");
  ASSERT_TRUE(fc);
  EXPECT_EQ(fc->addField(field("T_Obs_Sec", host::FieldType::Double, 8, 0, 0)), 4);
  EXPECT_EQ(statusOf([&] { fc->addField(field("t_obs_sec", host::FieldType::Double, 8, 0, 0)); }),
            host::kAlreadyExists);
  fc->deleteField("S");
  EXPECT_EQ(statusOf([&] { fc->deleteField("S"); }), host::kNotFound);
  EXPECT_EQ(statusOf([&] { fc->deleteField("FID"); }), host::kInvalidArgument);
  fc.reset();
  auto ds = ogrOpen(dir / "p.shp");
  const OGRFeatureDefn* d = ds->GetLayer(0)->GetLayerDefn();
  ASSERT_EQ(d->GetFieldCount(), 2);
  EXPECT_STREQ(d->GetFieldDefn(0)->GetNameRef(), "V");
  EXPECT_STREQ(d->GetFieldDefn(1)->GetNameRef(), "T_Obs_Sec");
}

TEST(ShapefilePolygons, RingsKeepTheirRolesOnDisk) {
  TempFolder dir;
  auto ws = gdal::openShapefileWorkspace(dir.path());
  auto fc = ws->createFeatureClass(classOf("poly", host::GeometryType::Polygon, {}));
  // Outer 10 x 10 clockwise, hole 2 x 2 anticlockwise, and a separate 1 x 1 island.
  host::Polygon polygon{{{{0, 0}, {0, 10}, {10, 10}, {10, 0}, {0, 0}},
                         {{4, 4}, {6, 4}, {6, 6}, {4, 6}, {4, 4}},
                         {{20, 0}, {20, 1}, {21, 1}, {21, 0}, {20, 0}}}};
  host::Row buffer = fc->createRowBuffer();
  buffer.setShape(polygon);
  fc->insert()->insert(buffer);
  buffer.setShape(host::Point{1, 1});
  EXPECT_EQ(statusOf([&] { fc->insert()->insert(buffer); }), host::kInvalidArgument);
  fc.reset();

  auto ds = ogrOpen(dir / "poly.shp");
  OGRFeatureUniquePtr f(ds->GetLayer(0)->GetNextFeature());
  const OGRGeometry* g = f->GetGeometryRef();
  ASSERT_EQ(wkbFlatten(g->getGeometryType()), wkbMultiPolygon);
  const OGRMultiPolygon* mp = g->toMultiPolygon();
  ASSERT_EQ(mp->getNumGeometries(), 2);
  EXPECT_EQ(mp->getGeometryRef(0)->getNumInteriorRings(), 1);
  EXPECT_DOUBLE_EQ(mp->get_Area(), 100.0 - 4.0 + 1.0);  // worked by hand

  auto back = ws->openFeatureClass("poly")->row(0);
  ASSERT_TRUE(back && back->shape().polygon());
  EXPECT_DOUBLE_EQ(back->shape().polygon()->area(), 97.0);
}

TEST(ShapefileWorkspace, NamesExistenceSharingAndDeletion) {
  TempFolder dir;
  EXPECT_EQ(statusOf([&] { gdal::openShapefileWorkspace(dir / "missing"); }), host::kPathNotFound);
  gdal::GdalWorkspaceFactory application;
  auto ws = application.openShapefileWorkspace(dir.path());
  pointClass(*ws, "b", 1);
  pointClass(*ws, "a", 1);
  EXPECT_EQ(ws->tableNames(), (std::vector<std::string>{"a", "b"}));
  EXPECT_TRUE(ws->exists("a"));
  EXPECT_TRUE(ws->exists("a.shp"));
  EXPECT_FALSE(ws->exists("c"));
  EXPECT_FALSE(ws->exists("../a"));
  EXPECT_EQ(ws->openFeatureClass("c"), nullptr);
  EXPECT_EQ(statusOf([&] { pointClass(*ws, "a", 0); }), host::kAlreadyExists);
  EXPECT_EQ(statusOf([&] { pointClass(*ws, "../escape", 0); }), host::kInvalidArgument);

  // Two workspaces of one application on one folder share the open file; another
  // application's workspace opens its own.
  auto other = application.openShapefileWorkspace(dir.path());
  auto held = ws->openFeatureClass("a");
  EXPECT_EQ(other->openFeatureClass("a.shp"), held);
  gdal::GdalWorkspaceFactory secondApplication;
  EXPECT_NE(secondApplication.openShapefileWorkspace(dir.path())->openFeatureClass("a"), held);

  // Held by the caller and by a second holder (a layer): not deletable.
  auto layerCopy = held;
  EXPECT_FALSE(ws->canDelete("a"));
  EXPECT_EQ(statusOf([&] { ws->deleteDataset("a"); }), host::kAccessDenied);
  layerCopy.reset();
  EXPECT_TRUE(ws->canDelete("a"));
  ws->deleteDataset("a");
  EXPECT_FALSE(ws->exists("a"));
  EXPECT_EQ(statusOf([&] { held->rowCount(); }), host::kNotFound);
  std::set<std::string> left;
  for (const auto& e : std::filesystem::directory_iterator(dir.path()))
    left.insert(e.path().filename().string());
  EXPECT_EQ(left, (std::set<std::string>{"b.cpg", "b.dbf", "b.shp", "b.shx"}));
  EXPECT_EQ(statusOf([&] { ws->deleteDataset("a"); }), host::kNotFound);
  EXPECT_FALSE(ws->canDelete("a"));
}

TEST(ShapefileSharedData, ReadsTheRedDeerFixes) {
  const std::filesystem::path shp = std::filesystem::path(ORVEX_SHARED_DATA) / "sh" / "sh.shp";
  if (!std::filesystem::exists(shp)) GTEST_SKIP() << "shared data not found: " << shp;
  auto ws = gdal::openShapefileWorkspace(shp.parent_path());
  auto fc = ws->openFeatureClass("sh");
  ASSERT_TRUE(fc);
  EXPECT_EQ(fc->shapeType(), host::GeometryType::Point);
  EXPECT_EQ(fc->rowCount(), 1500);  // README: 1,500 fixes, none dropped
  const int time2 = fc->findField("Time2");
  ASSERT_GE(time2, 0);
  // Time2 is N(10,0), which OGR reports as Integer64; the platform reads it as an integer.
  EXPECT_EQ(fc->fields().at(time2).type, host::FieldType::Integer);
  EXPECT_EQ(fc->fields().at(fc->findField("Date")).type, host::FieldType::Date);
  ASSERT_NE(fc->spatialReference(), nullptr);
  EXPECT_TRUE(fc->spatialReference()->isProjected());

  // The first row against the first line of sh.csv, read here as plain text.
  std::ifstream csv(shp.parent_path() / "sh.csv");
  std::string header, line;
  std::getline(csv, header);
  std::getline(csv, line);
  std::vector<std::string> cells;
  std::stringstream ss(line);
  for (std::string cell; std::getline(ss, cell, ',');) cells.push_back(cell);
  ASSERT_GE(cells.size(), 5u);  // AnimalID,X,Y,DateTime,Time2,Time1
  auto first = fc->search()->next();
  ASSERT_TRUE(first);
  EXPECT_EQ(first->oid(), 0);
  EXPECT_EQ(first->value("AnimalID"), host::Value(cells[0]));
  ASSERT_NE(first->value(time2).int32(), nullptr);
  EXPECT_EQ(*first->value(time2).int32(), std::stoi(cells[4]));
  EXPECT_EQ(first->shape().point()->x, std::stod(cells[1]));
  EXPECT_EQ(first->shape().point()->y, std::stod(cells[2]));
  EXPECT_EQ(first->value("Date").toText(), cells[3].substr(0, 10));
}
