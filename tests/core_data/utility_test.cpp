// Host context, field, value, workspace and layer utilities of orvexcore.

#include <gtest/gtest.h>

#include <string>

#include "core/data/host_context.h"
#include "core/data/host_failure.h"
#include "core/data/orvex_utility.h"
#include "core_data/core_test_host.h"
#include "host/error.h"

namespace orvex::core {
namespace {

using test::TestApplication;

TEST(HostFailureReport, AppendsSourceAndLineAfterTheHostText) {
  EXPECT_EQ(hostFailureText("Cannot open 'x': 100% gone", "orvex_import", 171),
            "Cannot open 'x': 100% gone\norvex_import(171)");
  TestApplication app;
  const host::Status status =
      reportHostFailure(app.ui(), host::Error(host::kPathNotFound, "No such folder"), "orvex_MCP", 465);
  EXPECT_EQ(status, host::kPathNotFound);
  ASSERT_EQ(app.recordingUi.messages.size(), 1u);
  EXPECT_EQ(app.recordingUi.messages[0].text, "No such folder\norvex_MCP(465)");
  EXPECT_FALSE(app.recordingUi.messages[0].title.has_value());  // the host's default title
}

// --- host context ---------------------------------------------------------------------------

TEST(HostContext, MapWithoutCoordinateSystemGetsWgs84) {
  TestApplication app;
  HostContext context(app);
  ASSERT_EQ(context.refresh(), host::kOk);
  ASSERT_TRUE(context.spatialReference());
  EXPECT_EQ(context.spatialReference()->epsg(), 4326);
  EXPECT_TRUE(context.spatialReference()->isGeographic());
  EXPECT_EQ(context.focusMap(), app.doc->map);
  EXPECT_EQ(context.activeView(), &app.doc->view);
  EXPECT_TRUE(app.recordingUi.messages.empty());

  // The unknown coordinate system counts as none: nothing can be projected into it.
  app.doc->map->reference = app.spatialReferences().unknown();
  ASSERT_EQ(context.refresh(), host::kOk);
  EXPECT_EQ(context.spatialReference()->epsg(), 4326);
}

TEST(HostContext, EachRefreshTakesTheMapsCurrentCoordinateSystem) {
  TestApplication app;
  HostContext context(app);
  ASSERT_EQ(context.refresh(), host::kOk);
  app.doc->map->reference = app.spatialReferences().fromEpsg(32642);
  ASSERT_EQ(context.refresh(), host::kOk);
  EXPECT_EQ(context.spatialReference()->epsg(), 32642);
}

TEST(HostContext, HostFailuresAreShownWithTheirStep) {
  {
    TestApplication app;
    app.documentFailure = host::Error(host::kUnexpected, "No document is open");
    HostContext context(app);
    EXPECT_EQ(context.refresh(), host::kUnexpected);
    EXPECT_EQ(app.recordingUi.texts(), std::vector<std::string>{"No document is open\norvex_utility(67)"});
    EXPECT_FALSE(context.focusMap());
  }
  {
    TestApplication app;
    app.doc->map->referenceFailure = host::Error(host::kDataError, "Coordinate system unreadable");
    HostContext context(app);
    EXPECT_EQ(context.refresh(), host::kDataError);
    EXPECT_EQ(app.recordingUi.texts(),
              std::vector<std::string>{"Coordinate system unreadable\norvex_utility(79)"});
    EXPECT_FALSE(context.spatialReference());
  }
}

TEST(HostContext, NoFallbackReferenceGivesMinusOneQuietly) {
  TestApplication app;
  app.references().failing = true;
  HostContext context(app);
  EXPECT_EQ(context.refresh(), -1);
  EXPECT_TRUE(app.recordingUi.messages.empty());
  EXPECT_FALSE(context.spatialReference());

  HostContext orphan;  // never given an application
  EXPECT_EQ(orphan.refresh(), host::kUnexpected);
}

// --- fields and values -----------------------------------------------------------------------

TEST(AddField, AppendsTheFieldExactlyAsDescribed) {
  host::Fields fields;
  ASSERT_EQ(addField(fields, "DOP", host::FieldType::Single, 20, 20, 1), host::kOk);
  ASSERT_EQ(addField(fields, "CollarID", host::FieldType::String, 20, 0, 0), host::kOk);
  ASSERT_EQ(fields.count(), 2);
  const host::FieldDef& dop = fields.at(0);
  EXPECT_EQ(dop.name, "DOP");
  EXPECT_EQ(dop.type, host::FieldType::Single);
  EXPECT_EQ(dop.length, 20);
  EXPECT_EQ(dop.precision, 20);
  EXPECT_EQ(dop.scale, 1);
  EXPECT_EQ(fields.at(1).name, "CollarID");

  // A name taken (letter case ignored) fails without touching the collection.
  HostFailure failure;
  EXPECT_EQ(addField(fields, "dop", host::FieldType::Integer, 0, 0, 0, &failure), host::kAlreadyExists);
  EXPECT_EQ(failure.status, host::kAlreadyExists);
  EXPECT_FALSE(failure.text.empty());
  EXPECT_EQ(fields.count(), 2);
}

host::Row bufferWithFields() {
  auto fields = std::make_shared<host::Fields>();
  fields->add({"FID", host::FieldType::ObjectId});
  fields->add({"Name", host::FieldType::String, 20});
  fields->add({"Count", host::FieldType::Integer});
  return host::Row(fields);
}

TEST(NamedValues, WritesByNameAndReportsAbsentFieldsAsOne) {
  TestApplication app;
  host::Row row = bufferWithFields();
  EXPECT_EQ(setNamedValue(app.ui(), row, "name", host::Value("balise")), host::kOk);
  EXPECT_EQ(row.value(1), host::Value("balise"));
  EXPECT_EQ(setNamedValue(app.ui(), row, "Missing", host::Value(5)), 1);
  EXPECT_EQ(row.value(2), host::Value());
  EXPECT_TRUE(app.recordingUi.messages.empty());
}

TEST(NamedValues, HostRefusalIsShownWithItsSourceLine) {
  TestApplication app;
  host::Row row = bufferWithFields();
  // The object id is the host's to maintain: writing it is refused.
  const host::Status status = setNamedValue(app.ui(), row, "FID", host::Value(3));
  EXPECT_TRUE(host::failed(status));
  ASSERT_EQ(app.recordingUi.messages.size(), 1u);
  const std::string& text = app.recordingUi.messages[0].text;
  EXPECT_TRUE(text.ends_with("\norvex_utility(227)")) << text;
}

TEST(NamedValues, FindAndReadText) {
  TestApplication app;
  host::Row row = bufferWithFields();
  row.setValue(1, host::Value("3301"));
  row.setValue(2, host::Value(7));

  int index = 99;
  EXPECT_EQ(findField(app.ui(), row, "COUNT", index), host::kOk);
  EXPECT_EQ(index, 2);
  EXPECT_EQ(findField(app.ui(), row, "Temperature", index), host::kOk);
  EXPECT_EQ(index, -1);

  std::string text = "unchanged";
  EXPECT_EQ(readTextValue(row, "Name", text), host::kOk);
  EXPECT_EQ(text, "3301");
  text = "unchanged";
  EXPECT_EQ(readTextValue(row, "Count", text), -1);  // a number is not text
  EXPECT_EQ(readTextValue(row, "AnimalID", text), -1);
  row.setValue(1, host::Value());
  EXPECT_EQ(readTextValue(row, "Name", text), -1);  // empty
  EXPECT_EQ(text, "unchanged");
}

// --- workspaces and layers -------------------------------------------------------------------

std::shared_ptr<host::FeatureClass> makePointClass(host::Workspace& workspace, const std::string& name,
                                                   host::SpatialReferencePtr reference) {
  host::FeatureClassSpec spec;
  spec.name = name;
  spec.shapeFieldName = "shape";
  spec.fields.add(
      host::FieldDef::shape("shape", {host::GeometryType::Point, false, false, std::move(reference)}));
  spec.fields.add({"Name", host::FieldType::String, 12});
  return workspace.createFeatureClass(spec);
}

TEST(Workspaces, OpenFailuresComeBackWithoutAMessage) {
  TestApplication app;
  test::TempFolder folder;
  std::shared_ptr<host::Workspace> workspace;
  HostFailure failure;
  EXPECT_TRUE(host::failed(openShapefileWorkspace(app, folder / "no_such_folder", workspace, &failure)));
  EXPECT_FALSE(workspace);
  EXPECT_EQ(failure.status, host::kPathNotFound);
  EXPECT_TRUE(host::failed(openAccessWorkspace(app, folder / "none.mdb", workspace, &failure)));
  EXPECT_EQ(failure.status, host::kFileNotFound);
  EXPECT_TRUE(app.recordingUi.messages.empty());

  ASSERT_EQ(openShapefileWorkspace(app, folder.path(), workspace), host::kOk);
  EXPECT_EQ(workspace->kind(), host::WorkspaceKind::ShapefileFolder);
}

TEST(Workspaces, DeleteExistingFeatureClassRemovesOnlyThatDataset) {
  TestApplication app;
  test::TempFolder folder;
  std::shared_ptr<host::Workspace> workspace;
  ASSERT_EQ(openShapefileWorkspace(app, folder.path(), workspace), host::kOk);
  makePointClass(*workspace, "fixes", app.spatialReferences().wgs84());
  makePointClass(*workspace, "other", app.spatialReferences().wgs84());

  deleteExistingFeatureClass(*workspace, "absent");  // nothing to do, nothing thrown
  deleteExistingFeatureClass(*workspace, "fixes");
  EXPECT_FALSE(std::filesystem::exists(folder / "fixes.shp"));
  EXPECT_FALSE(std::filesystem::exists(folder / "fixes.dbf"));
  EXPECT_TRUE(std::filesystem::exists(folder / "other.shp"));
}

TEST(Layers, NewLayerTakesTheContextsCoordinateSystem) {
  TestApplication app;
  test::TempFolder folder;
  HostContext context(app);
  ASSERT_EQ(context.refresh(), host::kOk);  // map without a system: WGS 1984
  std::shared_ptr<host::Workspace> workspace;
  ASSERT_EQ(openShapefileWorkspace(app, folder.path(), workspace), host::kOk);
  auto featureClass = makePointClass(*workspace, "fixes", context.spatialReference());

  ASSERT_EQ(addFeatureLayer(context, featureClass, "fixes.shp"), host::kOk);
  ASSERT_EQ(app.doc->map->added.size(), 1u);
  EXPECT_EQ(app.doc->map->added[0].name, "fixes.shp");
  EXPECT_EQ(app.doc->map->added[0].featureClass, featureClass);
  ASSERT_TRUE(app.doc->map->added[0].spatialReference);
  EXPECT_EQ(app.doc->map->added[0].spatialReference->epsg(), 4326);
  // The shapefile itself was written in that system too.
  EXPECT_EQ(featureClass->spatialReference()->epsg(), 4326);

  HostContext stale(app);  // not refreshed: no map to add to
  EXPECT_TRUE(host::failed(addFeatureLayer(stale, featureClass, "x")));
  EXPECT_TRUE(host::failed(addFeatureLayer(context, nullptr, "x")));
}

}  // namespace
}  // namespace orvex::core
