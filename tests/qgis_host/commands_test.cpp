// The commands of the menu run in the desktop host as the plug-in runs them, on the same input
// as in the headless host: the files they write and the layers they edit must come out the same.

#include <gtest/gtest.h>

#include <qgsvectorlayereditbuffer.h>
#include <QTreeWidget>
#include <QUndoStack>

#include "platform/headless/command_runner.h"
#include "platform/headless/form_script.h"
#include "platform/headless/headless_application.h"
#include "platform/headless/map_source.h"
#include "qgis_host/qgis_data.h"
#include "qgis_host/qgis_host_support.h"
#include "support/files.h"

namespace orvex::test {
namespace {

using platform::headless::FormScript;

const std::vector<std::string> kTravelFields = {"Time2",      "T_Obs_Sec",  "T_Cumul",  "Dist",
                                                "Dist_Cumul", "Me_per_Sec", "Mi_per_hr"};

/// Every feature of the layer as QGIS reads it (edit buffer included): id, position, values.
std::vector<std::string> layerTexts(QgsVectorLayer& layer) {
  std::vector<std::string> rows;
  QgsFeatureIterator features = layer.getFeatures();
  for (QgsFeature feature; features.nextFeature(feature);) {
    std::string row = std::to_string(feature.id()) + " " + feature.geometry().asWkt().toStdString();
    for (const QVariant& value : feature.attributes()) row += " | " + value.toString().toStdString();
    rows.push_back(row);
  }
  return rows;
}

class QgisCommands : public ::testing::Test {
 protected:
  /// The walk as a shapefile in its own folder (each host edits its own copy).
  std::filesystem::path fixes(const std::string& folderName, int count = 20) {
    std::filesystem::create_directories(folder / folderName);
    return writeTimedPoints(folder / folderName, "fixes", walk(count));
  }
  QgsVectorLayer* showAll(const std::filesystem::path& file) {
    QgsVectorLayer* layer = host.add(QString::fromStdString(file.string()), "fixes");
    layer->selectAll();
    QgsProject::instance()->setCrs(layer->crs());  // what QGIS does for a project's first layer
    return layer;
  }

  TempFolder folder;
  QgisHost host;
};

TEST_F(QgisCommands, TravelFieldsAndDuplicateRemovalEditTheLayerAsTheHeadlessHostDoes) {
  // The edits stay in the layer's edit buffer as one undo step; the user saves them.
  for (const std::string progId : {"ORVEX.orvexobs", "ORVEX.FindDupxy", "ORVEX.FindDupTime2"}) {
    SCOPED_TRACE(progId);
    const auto headlessShp = fixes("headless-" + progId);
    const auto qgisShp = fixes("qgis-" + progId);
    {
      HeadlessRun headless(headlessShp);  // closed before its file is read back
      ASSERT_EQ(headless.run(progId), host::kOk);
    }
    QgsVectorLayer* layer = showAll(qgisShp);
    ASSERT_EQ(host.run(progId), host::kOk);
    EXPECT_EQ(layer->undoStack()->count(), 1);
    ASSERT_TRUE(layer->commitChanges());
    EXPECT_EQ(fieldTexts(qgisShp, kTravelFields), fieldTexts(headlessShp, kTravelFields)) << host.out.str();
    QgsProject::instance()->removeAllMapLayers();
  }
}

TEST_F(QgisCommands, DuplicateRemovalOnAGeoPackageWithGapsDeletesTheSameFixes) {
  const auto shp = fixes("source");
  const auto gpkg = folder / "fixes.gpkg";
  translate(shp, gpkg, {"-f", "GPKG"});
  {
    HeadlessRun headless(shp);
    ASSERT_EQ(headless.run("ORVEX.FindDupxy"), host::kOk);
  }
  QgsVectorLayer* layer = showAll(gpkg);
  ASSERT_EQ(host.run("ORVEX.FindDupxy"), host::kOk);
  ASSERT_TRUE(layer->commitChanges());
  const auto times = [](const std::filesystem::path& file) {
    std::vector<double> values;
    for (const auto& row : fieldTexts(file, {"Time2"})) values.push_back(std::stod(row[0]));
    return values;
  };
  EXPECT_EQ(times(gpkg), times(shp));
}

// Edit > Undo after travel or a duplicate removal gives back the layer as it was: its fields,
// values and features; the run made again gives what it gave.
TEST_F(QgisCommands, UndoAfterTravelOrDuplicateRemovalRestoresTheLayer) {
  for (const std::string progId : {"ORVEX.orvexobs", "ORVEX.FindDupTime2", "ORVEX.FindDupxy"}) {
    SCOPED_TRACE(progId);
    QgsVectorLayer* layer = showAll(fixes(progId));
    const auto before = layerTexts(*layer);
    ASSERT_EQ(host.run(progId), host::kOk);
    ASSERT_NE(layerTexts(*layer), before) << "the run changed something";
    ASSERT_EQ(layer->undoStack()->count(), 1);
    const auto after = layerTexts(*layer);
    layer->undoStack()->undo();
    EXPECT_EQ(layerTexts(*layer), before);
    EXPECT_FALSE(layer->isModified());
    layer->selectAll();  // a duplicate removal clears the selection
    ASSERT_EQ(host.run(progId), host::kOk) << "the undone fields are not taken for the layer's";
    EXPECT_EQ(layerTexts(*layer), after);
    QgsProject::instance()->removeAllMapLayers();
  }
}

// A run that fails changes nothing: travel on a fix without a position (the design's error
// 94) and the duplicate removals on it; the stop at two fixes of one time keeps the fixes
// before them, as the design does, as one undo step.
TEST_F(QgisCommands, AFailedInPlaceRunLeavesTheLayerAsItWas) {
  for (const std::string progId : {"ORVEX.orvexobs", "ORVEX.FindDupTime2", "ORVEX.FindDupxy"}) {
    SCOPED_TRACE(progId);
    QgsVectorLayer* layer = showAll(fixes(progId));
    QgsGeometry none;
    ASSERT_TRUE(layer->startEditing() && layer->changeGeometry(3, none) && layer->commitChanges());
    const auto before = layerTexts(*layer);
    host.scripted.clearRecords();
    ASSERT_EQ(host.run(progId), host::kOk);
    EXPECT_NE(host.messages().back().find("Error number: 94"), std::string::npos) << host.messages().back();
    EXPECT_FALSE(layer->isEditable());
    EXPECT_EQ(layerTexts(*layer), before);
    QgsProject::instance()->removeAllMapLayers();
  }

  std::vector<TimedPoint> fixesWithARepeat = walk(8);
  fixesWithARepeat[5].time2 = fixesWithARepeat[4].time2;
  std::filesystem::create_directories(folder / "same-time");
  QgsVectorLayer* layer = showAll(writeTimedPoints(folder / "same-time", "fixes", fixesWithARepeat));
  ASSERT_EQ(host.run("ORVEX.orvexobs"), host::kOk);
  EXPECT_NE(host.messages().back().find("Divide by zero!!"), std::string::npos);
  ASSERT_EQ(layer->undoStack()->count(), 1);
  const int dist = layer->fields().indexOf("Dist");
  EXPECT_FALSE(layer->getFeature(4).attribute(dist).isNull()) << "the fix before the pair is written";
  EXPECT_TRUE(layer->getFeature(5).attribute(dist).isNull()) << "the second of the pair is not";
  layer->undoStack()->undo();
  EXPECT_EQ(layer->fields().indexOf("Dist"), -1);
}

TEST_F(QgisCommands, McpWritesTheSameShapefileAndAddsItAsAStyledLayer) {
  const auto shp = fixes("source");
  host.scripted.setFormScript("frmMCPOptions", FormScript().check("chkPercent", false).click("btnOK"));
  host.scripted.queueSaveAnswer(folder / "qgis-mcp.shp");
  showAll(shp);
  ASSERT_EQ(host.run("Orvex8.orvex_MCP"), host::kOk);

  {
    HeadlessRun headless(shp);
    headless.application.scriptedUi().setFormScript("frmMCPOptions",
                                                    FormScript().check("chkPercent", false).click("btnOK"));
    headless.application.scriptedUi().queueSaveAnswer(folder / "headless-mcp.shp");
    ASSERT_EQ(headless.run("Orvex8.orvex_MCP"), host::kOk);
  }

  // The shapes are written by the same platform from the same points: byte for byte.
  EXPECT_EQ(readAll(folder / "qgis-mcp.shp"), readAll(folder / "headless-mcp.shp"));
  EXPECT_EQ(readAll(folder / "qgis-mcp.dbf"), readAll(folder / "headless-mcp.dbf"));
  EXPECT_EQ(QgsProject::instance()->mapLayersByName("fixes").size(), 1);
  EXPECT_EQ(QgsProject::instance()->mapLayers().size(), 2) << "the polygon layer was added";
  EXPECT_NE(std::find(host.rendering.rendered.begin(), host.rendering.rendered.end(), "frmMCPOptions"),
            host.rendering.rendered.end());
}

TEST_F(QgisCommands, McpSaysOnceWhenNothingIsSelectedAndARerunReplacesItsLayer) {
  QgsVectorLayer* fixesLayer = showAll(fixes("source"));
  host.add(QString::fromStdString(fixes("other").string()), "other fixes");  // never selected
  fixesLayer->removeSelection();
  ASSERT_EQ(host.run("Orvex8.orvex_MCP"), host::kOk);
  EXPECT_EQ(host.messages(), std::vector<std::string>{platform::qgis::kMcpNothingSelected});
  QTreeWidget& panel = host.application->resultsPanel().tree();
  EXPECT_EQ(panel.topLevelItemCount(), 0) << "nothing to list";

  // Twice into the same file: one layer, named without ".shp"; the panel lists the polygon,
  // not the unselected layer.
  fixesLayer->selectAll();
  host.scripted.clearRecords();
  host.scripted.setFormScript("frmMCPOptions", FormScript().check("chkPercent", false).click("btnOK"));
  for (int run = 0; run < 2; ++run) {
    host.scripted.queueSaveAnswer(folder / "mcp.shp");
    ASSERT_EQ(host.run("Orvex8.orvex_MCP"), host::kOk);
  }
  EXPECT_TRUE(host.messages().empty());
  EXPECT_EQ(QgsProject::instance()->mapLayersByName("mcp").size(), 1);
  EXPECT_EQ(QgsProject::instance()->mapLayers().size(), 3);
  ASSERT_EQ(panel.topLevelItemCount(), 2);
  ASSERT_EQ(panel.topLevelItem(0)->childCount(), 1);
  EXPECT_EQ(panel.topLevelItem(0)->child(0)->text(0), "mcp.shp");
}

TEST_F(QgisCommands, KernelsAndAreasRefuseDegreesAndWebMercator) {
  const auto shp = fixes("source");
  showAll(shp);
  for (const char* crs : {"EPSG:4326", "EPSG:3857"}) {
    QgsProject::instance()->setCrs(QgsCoordinateReferenceSystem(crs));
    host.scripted.clearRecords();
    EXPECT_EQ(host.run("Orvex8.orvex_MCP"), host::kOk);
    ASSERT_EQ(host.messages().size(), 1u) << crs;
    EXPECT_NE(host.messages()[0].find("Project > Properties > CRS"), std::string::npos);
    EXPECT_TRUE(host.rendering.rendered.empty()) << "no options dialog before the refusal";
  }
}

TEST_F(QgisCommands, DisplayTravelDrawsOnTheCanvasAndClearsOnReset) {
  showAll(fixes("source", 8));
  int drawn = -1;
  host.scripted.setFormScript("frmORVEX", FormScript().type("TxtSec", "0").click("CmdTrackMoose").cancel());
  host.scripted.setFormClosedHook([&](const host::Form&) {
    drawn = host.application->qgisDocument().qgisView().canvasGraphics().itemCount();
  });
  ASSERT_EQ(host.run("ORVEX.MOLE"), host::kOk);
  EXPECT_GT(drawn, 0) << "track segments drawn as canvas items";
  const auto& graphics = host.application->qgisDocument().qgisView().canvasGraphics();
  EXPECT_EQ(graphics.itemCount(), graphics.count()) << "one canvas item per element";
}

TEST_F(QgisCommands, APathKeptByOneDisplayTravelIsDeletedFromTheNext) {
  showAll(fixes("source", 8));
  host.scripted.setFormScript(
      "frmORVEX",
      FormScript().type("TxtSec", "0").check("CBKeepGraphic", true).click("CmdTrackMoose").cancel());
  ASSERT_EQ(host.run("ORVEX.MOLE"), host::kOk);
  const auto& graphics = host.application->qgisDocument().qgisView().canvasGraphics();
  ASSERT_GT(graphics.itemCount(), 0) << "the kept path stays on the map";
  host.scripted.setFormScript("frmORVEX", FormScript().click("cmdDeleteGraphic").cancel());
  ASSERT_EQ(host.run("ORVEX.MOLE"), host::kOk);
  EXPECT_EQ(graphics.itemCount(), 0);
  EXPECT_EQ(graphics.count(), 0);
}

}  // namespace
}  // namespace orvex::test
