// Vector layers of any provider as host feature classes: ids as QGIS numbers them, the
// selection, geometry in the project's coordinate system, the layer tree's order.

#include <gtest/gtest.h>

#include <qgslayertree.h>

#include "platform/gdal/gdal_platform.h"
#include "platform/qgis/qgis_map.h"
#include "qgis_host/qgis_data.h"
#include "qgis_host/qgis_host_support.h"

namespace orvex::test {
namespace {

struct LayerCase {
  const char* format;
  /// Every feature id, in stored order, as the provider numbers them (delimited text: the line).
  std::vector<host::ObjectId> ids;
};
// Test listings name the case by its format instead of dumping its bytes.
void PrintTo(const LayerCase& layerCase, std::ostream* out) { *out << layerCase.format; }

class QgisLayers : public ::testing::TestWithParam<LayerCase> {
 protected:
  TempFolder folder;
  QgisHost host;

  QgsVectorLayer* open(const std::string& format) {
    const auto shp = writeTimedPoints(folder.path(), "fixes", walk(6));
    if (format == "shapefile") return host.add(QString::fromStdString(shp.string()), "fixes");
    if (format == "gpkg") {
      const auto gpkg = folder / "fixes.gpkg";
      translate(shp, gpkg, {"-f", "GPKG"});
      deleteFeatures(gpkg, {3});  // GeoPackage ids start at 1; this leaves a gap
      return host.add(QString::fromStdString(gpkg.string()), "fixes");
    }
    const auto csv = folder / "fixes.csv";
    translate(shp, csv, {"-f", "CSV", "-lco", "GEOMETRY=AS_XY"});
    return host.add(QStringLiteral("file://%1?type=csv&xField=X&yField=Y&crs=EPSG:32633")
                        .arg(QString::fromStdString(csv.string())),
                    "fixes", "delimitedtext");
  }
};

TEST_P(QgisLayers, IdsSelectionAndGeometryInTheProjectSystem) {
  const LayerCase& param = GetParam();
  QgsVectorLayer* layer = open(param.format);
  // The project shows the UTM fixes in geographic WGS 84: reads come back transformed.
  QgsProject::instance()->setCrs(QgsCoordinateReferenceSystem("EPSG:4326"));
  const auto map = host.application->document()->focusMap();
  ASSERT_EQ(map->featureLayers().size(), 1u);
  const auto featureLayer = map->featureLayers().front();
  const auto featureClass = featureLayer->featureClass();
  ASSERT_TRUE(featureClass);
  EXPECT_EQ(featureClass->shapeType(), host::GeometryType::Point);
  EXPECT_GE(featureClass->findField("Time2"), 0);
  EXPECT_EQ(featureClass->rowCount(), static_cast<int>(param.ids.size()));

  std::vector<host::ObjectId> ids;
  host::Envelope read{1e300, 1e300, -1e300, -1e300};
  const auto cursor = featureClass->search();
  while (const auto row = cursor->next()) {
    ids.push_back(row->oid());
    const host::Point point = *row->shape().point();
    read = {std::min(read.xmin, point.x), std::min(read.ymin, point.y), std::max(read.xmax, point.x),
            std::max(read.ymax, point.y)};
  }
  EXPECT_EQ(ids, param.ids);
  // The extent is that of the fixes as read (1e-12 degrees: the same transformed values), not
  // the wider box around the transformed outline of the layer's own extent.
  const host::Envelope extent = featureClass->extent();
  for (const auto& [got, want] : {std::pair{extent.xmin, read.xmin},
                                  {extent.ymin, read.ymin},
                                  {extent.xmax, read.xmax},
                                  {extent.ymax, read.ymax}})
    EXPECT_NEAR(got, want, 1e-12);

  // Selection order is the ids' order whatever order QGIS keeps its set in.
  layer->selectByIds({param.ids[2], param.ids[0]});
  const host::SelectionSet selection = featureLayer->selection();
  EXPECT_EQ(std::vector<host::ObjectId>(selection.ids().begin(), selection.ids().end()),
            (std::vector<host::ObjectId>{param.ids[0], param.ids[2]}));

  // Tolerance 1e-9 degrees (0.1 mm): PROJ through OGR and PROJ through QGIS run the same
  // transformation, so only rounding differs.
  const auto row = featureClass->row(param.ids[0]);
  ASSERT_TRUE(row && row->shape().point());
  const auto references = platform::gdal::makeSpatialReferenceFactory();
  const host::Point expected = references->project(host::Point{500000.0, 5600000.0},
                                                   *references->fromEpsg(32633), *references->wgs84());
  EXPECT_NEAR(row->shape().point()->x, expected.x, 1e-9);
  EXPECT_NEAR(row->shape().point()->y, expected.y, 1e-9);
  EXPECT_EQ(featureClass->spatialReference()->epsg(), 4326);
}

INSTANTIATE_TEST_SUITE_P(Providers, QgisLayers,
                         ::testing::Values(LayerCase{"shapefile", {0, 1, 2, 3, 4, 5}},
                                           LayerCase{"gpkg", {1, 2, 4, 5, 6}},
                                           LayerCase{"csv", {2, 3, 4, 5, 6, 7}}),
                         [](const auto& test) { return std::string(test.param.format); });

TEST(QgisMap, LayersInTreeOrderWithGroupsAndEventsFromProjectSignals) {
  TempFolder folder;
  QgisHost host;
  const auto shp = writeTimedPoints(folder.path(), "a", walk(3));
  writeTimedPoints(folder.path(), "b", walk(3));
  std::vector<host::MapEventKind> events;
  host.application->document()->activeView().events().subscribe(
      [&](const host::MapEvent& event) { events.push_back(event.kind); });

  QgsVectorLayer* a = host.add(QString::fromStdString(shp.string()), "a");
  host.add(QString::fromStdString((folder / "b.shp").string()), "b");
  QgsLayerTreeGroup* group = QgsProject::instance()->layerTreeRoot()->addGroup("animals");
  group->addLayer(a);
  QgsProject::instance()->layerTreeRoot()->removeLayer(a);

  const auto map = host.application->document()->focusMap();
  std::vector<std::string> names;
  for (const auto& layer : map->allLayers()) names.push_back(layer->name());
  EXPECT_EQ(names, (std::vector<std::string>{"b", "animals", "a"}));

  events.clear();
  a->selectByIds({0, 1});
  map->clearSelection();
  EXPECT_EQ(events, (std::vector<host::MapEventKind>{host::MapEventKind::SelectionChanged,
                                                     host::MapEventKind::SelectionChanged}));
  EXPECT_TRUE(a->selectedFeatureIds().isEmpty());
}

TEST(LayerNames, ADataFilesExtensionIsLeftOutOtherNamesStayAsGiven) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"mcp95.shp", "mcp95"},     {"UD.TIF", "UD"},     {"fixes.gpkg", "fixes"},
      {"Area 95.5", "Area 95.5"}, {"travel", "travel"}, {".shp", ".shp"}};
  for (const auto& [given, shown] : cases) EXPECT_EQ(platform::qgis::shownLayerName(given), shown) << given;
}

}  // namespace
}  // namespace orvex::test
