// Host context, failure report, field, value, workspace and layer utilities of orvexcore.

#include <gtest/gtest.h>

#include <string>

#include "core/data/host_context.h"
#include "core/data/host_failure.h"
#include "core/data/orvex_utility.h"
#include "core_data/core_test_host.h"
#include "host/error.h"

namespace orvex::core {
namespace {

using test::ProbeApplication;
using Texts = std::vector<std::string>;

TEST(HostFailureReport, AppendsSourceAndLineAfterTheHostText) {
  ProbeApplication app;
  // A '%' in the host's text must not be taken for a format.
  const host::Status status =
      reportHostFailure(app.ui(), host::Error(host::kPathNotFound, "No 100% folder"), "orvex_MCP", 465);
  EXPECT_EQ(status, host::kPathNotFound);
  EXPECT_EQ(app.messages(), Texts{"No 100% folder\norvex_MCP(465)"});
  EXPECT_FALSE(app.scriptedUi().messages()[0].message.title.has_value());  // the host's default title
}

// --- host context ---------------------------------------------------------------------------

TEST(HostContext, MapWithoutCoordinateSystemGetsWgs84) {
  ProbeApplication app;
  HostContext context(app);
  ASSERT_EQ(context.refresh(), host::kOk);
  EXPECT_EQ(context.spatialReference()->epsg(), 4326);
  EXPECT_EQ(context.focusMap().get(), &app.map());
  EXPECT_EQ(context.activeView(), &app.headless.view());

  // The unknown coordinate system counts as none: nothing can be projected into it.
  app.map().setSpatialReference(app.spatialReferences().unknown());
  ASSERT_EQ(context.refresh(), host::kOk);
  EXPECT_EQ(context.spatialReference()->epsg(), 4326);

  // Each refresh takes the map's system of the moment.
  app.setMapEpsg(32642);
  ASSERT_EQ(context.refresh(), host::kOk);
  EXPECT_EQ(context.spatialReference()->epsg(), 32642);
  EXPECT_TRUE(app.messages().empty());
}

TEST(HostContext, FailuresAreShownWithTheirStepOrEndQuietly) {
  ProbeApplication app;
  app.documentFailure = host::Error(host::kUnexpected, "No document is open");
  HostContext context(app);
  EXPECT_EQ(context.refresh(), host::kUnexpected);
  EXPECT_EQ(app.messages(), Texts{"No document is open\norvex_utility(67)"});
  EXPECT_FALSE(context.focusMap());

  // Without even the fallback reference: -1 and no message.
  app.documentFailure.reset();
  app.referencesFail = true;
  EXPECT_EQ(context.refresh(), -1);
  EXPECT_EQ(app.messages().size(), 1u);
  EXPECT_FALSE(context.spatialReference());

  HostContext orphan;  // never given an application
  EXPECT_EQ(orphan.refresh(), host::kUnexpected);
}

// --- fields and values -----------------------------------------------------------------------

TEST(AddField, AppendsTheFieldAsGivenAndRefusesATakenName) {
  host::Fields fields;
  ASSERT_EQ(addField(fields, "DOP", host::FieldType::Single, 20, 20, 1), host::kOk);
  const host::FieldDef& dop = fields.at(0);
  EXPECT_EQ(std::tie(dop.name, dop.type, dop.length, dop.precision, dop.scale),
            std::make_tuple(std::string("DOP"), host::FieldType::Single, 20, 20, 1));

  HostFailure failure;
  EXPECT_EQ(addField(fields, "dop", host::FieldType::Integer, 0, 0, 0, &failure), host::kAlreadyExists);
  EXPECT_EQ(failure.status, host::kAlreadyExists);
  EXPECT_EQ(fields.count(), 1);
}

host::Row bufferWithFields() {
  auto fields = std::make_shared<host::Fields>();
  fields->add({"FID", host::FieldType::ObjectId});
  fields->add({"Name", host::FieldType::String, 20});
  fields->add({"Count", host::FieldType::Integer});
  return host::Row(fields);
}

TEST(NamedValues, WriteByNameAbsentFieldIsOneHostRefusalIsReported) {
  ProbeApplication app;
  host::Row row = bufferWithFields();
  EXPECT_EQ(setNamedValue(app.ui(), row, "name", host::Value("balise")), host::kOk);
  EXPECT_EQ(row.value(1), host::Value("balise"));
  EXPECT_EQ(setNamedValue(app.ui(), row, "Missing", host::Value(5)), 1);
  EXPECT_EQ(row.value(2), host::Value());
  EXPECT_TRUE(app.messages().empty());

  // The object id is the host's to maintain: writing it is refused.
  EXPECT_TRUE(host::failed(setNamedValue(app.ui(), row, "FID", host::Value(3))));
  ASSERT_EQ(app.messages().size(), 1u);
  EXPECT_TRUE(app.messages()[0].ends_with("\norvex_utility(227)")) << app.messages()[0];
}

TEST(NamedValues, FindFieldAndReadText) {
  ProbeApplication app;
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
  host::FeatureClassSpec definition;
  definition.name = name;
  definition.shapeFieldName = "shape";
  definition.fields.add(
      host::FieldDef::shape("shape", {host::GeometryType::Point, false, false, std::move(reference)}));
  return workspace.createFeatureClass(definition);
}

TEST(Workspaces, OpenFailuresComeBackWithoutAMessage) {
  ProbeApplication app;
  test::TempFolder folder;
  std::shared_ptr<host::Workspace> workspace;
  HostFailure failure;
  EXPECT_TRUE(host::failed(openShapefileWorkspace(app, folder / "no_such_folder", workspace, &failure)));
  EXPECT_FALSE(workspace);
  EXPECT_EQ(failure.status, host::kPathNotFound);
  EXPECT_TRUE(host::failed(openAccessWorkspace(app, folder / "none.mdb", workspace, &failure)));
  EXPECT_EQ(failure.status, host::kFileNotFound);
  EXPECT_TRUE(app.messages().empty());
}

TEST(Workspaces, DeleteExistingFeatureClassRemovesOnlyAnUnusedDataset) {
  ProbeApplication app;
  test::TempFolder folder;
  std::shared_ptr<host::Workspace> workspace;
  ASSERT_EQ(openShapefileWorkspace(app, folder.path(), workspace), host::kOk);
  makePointClass(*workspace, "fixes", app.spatialReferences().wgs84());
  const auto held = makePointClass(*workspace, "held", app.spatialReferences().wgs84());

  deleteExistingFeatureClass(*workspace, "absent");  // nothing to do, nothing thrown
  deleteExistingFeatureClass(*workspace, "fixes");
  deleteExistingFeatureClass(*workspace, "held");  // still open here: not deletable, kept quietly
  EXPECT_FALSE(std::filesystem::exists(folder / "fixes.shp"));
  EXPECT_FALSE(std::filesystem::exists(folder / "fixes.dbf"));
  EXPECT_TRUE(std::filesystem::exists(folder / "held.shp"));
}

TEST(Layers, NewLayerTakesTheContextsCoordinateSystem) {
  ProbeApplication app;
  test::TempFolder folder;
  HostContext context(app);
  ASSERT_EQ(context.refresh(), host::kOk);  // map without a system: WGS 1984
  std::shared_ptr<host::Workspace> workspace;
  ASSERT_EQ(openShapefileWorkspace(app, folder.path(), workspace), host::kOk);
  auto featureClass = makePointClass(*workspace, "fixes", context.spatialReference());

  std::shared_ptr<host::FeatureLayer> layer;
  ASSERT_EQ(addFeatureLayer(context, featureClass, "fixes.shp", &layer), host::kOk);
  ASSERT_EQ(app.map().layers().size(), 1u);
  EXPECT_EQ(app.map().layers()[0], layer);
  EXPECT_EQ(layer->name(), "fixes.shp");
  EXPECT_EQ(layer->featureClass(), featureClass);
  EXPECT_EQ(layer->spatialReference()->epsg(), 4326);

  HostContext stale(app);  // not refreshed: no map to add to
  EXPECT_TRUE(host::failed(addFeatureLayer(stale, featureClass, "x")));
  EXPECT_TRUE(host::failed(addFeatureLayer(context, nullptr, "x")));
}

}  // namespace
}  // namespace orvex::core
