// The MCP Analysis command in the headless host: layers and their valid fixes, the messages,
// the save dialog, the output schema and values read back with GDAL, overwrite and append.

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "core/mcp/orvex_mcp.h"
#include "core/mcp/orvex_mcp_output.h"
#include "mcp_command/mcp_command_support.h"
#include "platform/gdal/gdal_platform.h"
#include "platform/headless/form_script.h"
#include "platform/headless/headless_application.h"
#include "platform/headless/map_source.h"

namespace {

namespace host = orvex::host;
using orvex::platform::headless::FormScript;
using orvex::platform::headless::HeadlessApplication;
using orvex::platform::headless::loadMapSource;
using orvex::test::readShapefile;
using orvex::test::TempFolder;
using orvex::test::TestFix;
using orvex::test::writePoints;

constexpr const char* kOptionsForm = "frmMCPOptions";

/// Ten fixes of one animal: a 4 x 3 rectangle's corners, two points on its edges and four
/// inside. Hull area 12 (worked by hand).
std::vector<TestFix> rectangleFixes() {
  return {{0, 0, "r"}, {4, 0, "r"}, {4, 3, "r"}, {0, 3, "r"}, {2, 0, "r"},
          {4, 1, "r"}, {1, 1, "r"}, {2, 2, "r"}, {3, 1, "r"}, {1, 2, "r"}};
}

class McpCommand : public ::testing::Test {
 protected:
  TempFolder folder;
  std::ostringstream out;
  HeadlessApplication app{orvex::test::quietOptions(out)};

  std::filesystem::path points(const std::string& name, const std::vector<TestFix>& fixes, int epsg = 32633) {
    return writePoints(folder.path(), name, fixes, epsg ? app.spatialReferences().fromEpsg(epsg) : nullptr);
  }
  void load(const std::vector<std::filesystem::path>& files) { loadMapSource(app, {.files = files}); }
  void options(const FormScript& script) { app.scriptedUi().setFormScript(kOptionsForm, script); }
  void save(const std::string& name) { app.scriptedUi().queueSaveAnswer(folder / name); }

  host::Status click() {
    auto command = orvex::core::makeOrvexMCP();
    command->onCreate(app);
    return command->onClick();
  }
  std::vector<std::string> messages() {
    std::vector<std::string> texts;
    for (const auto& record : app.scriptedUi().messages()) texts.push_back(record.message.text);
    return texts;
  }
};

TEST_F(McpCommand, AnEmptyMapIsReported) {
  EXPECT_EQ(click(), host::kOk);
  EXPECT_EQ(messages(), (std::vector<std::string>{"No layer selected: Analysis cannot be performed"}));
  EXPECT_TRUE(app.scriptedUi().forms().empty());
}

TEST_F(McpCommand, LayersWithFewerThanThreeFixesAreReportedAndTheOthersGoOn) {
  load({points("none", {}), points("one", {{1, 1, "x"}}), points("two", {{1, 1, "x"}, {2, 2, "x"}}),
        points("five", orvex::test::fiveFixes())});
  options(FormScript().click("btnOK"));
  save("five_95.shp");
  EXPECT_EQ(click(), host::kOk);
  EXPECT_EQ(messages(),
            (std::vector<std::string>{
                "Only 1 point is selected in layer one (at least three are required).  This point "
                "will not be included in the analysis.",
                "Only 2 points are selected in layer two (at least three are required).  These "
                "points will not be included in the analysis.",
            }));
  ASSERT_EQ(app.scriptedUi().forms().size(), 1u);
  EXPECT_EQ(app.scriptedUi().forms()[0].caption, "MCP for: five");
  EXPECT_EQ(readShapefile(folder / "five_95.shp").features.size(), 1u);
}

TEST_F(McpCommand, OnlySelectedPointsWithCoordinatesCount) {
  // Write a layer with an empty point among four real ones, then select three of the real ones.
  auto workspace = orvex::platform::gdal::openShapefileWorkspace(folder.path());
  host::FeatureClassSpec definition;
  definition.name = "gaps";
  definition.fields.add(host::FieldDef::shape("Shape", host::GeometryDef{host::GeometryType::Point}));
  auto featureClass = workspace->createFeatureClass(definition);
  {
    auto cursor = featureClass->insert(true);
    for (const host::Point p :
         {host::Point{0, 0}, host::Point{}, host::Point{5, 0}, host::Point{0, 5}, host::Point{9, 9}}) {
      host::Row row = featureClass->createRowBuffer();
      row.setShape(p);
      cursor->insert(row);
    }
    cursor->flush();
  }
  loadMapSource(app, {.files = {folder / "gaps.shp"}, .objectIds = {0, 1, 2, 3}});
  options(FormScript().check("chkPercent", false).click("btnOK"));
  save("gaps_all.shp");
  ASSERT_EQ(click(), host::kOk);
  const auto written = readShapefile(folder / "gaps_all.shp");
  ASSERT_EQ(written.features.size(), 1u);
  EXPECT_EQ(written.features[0].number.at("NPoints"), 3);
  EXPECT_EQ(written.features[0].number.at("NUsed"), 3);
  EXPECT_DOUBLE_EQ(written.features[0].area, 12.5);  // the triangle (0,0) (5,0) (0,5), by hand
}

TEST_F(McpCommand, WritesTheSchemaAndTheValuesOfEachPercentage) {
  load({points("rect", rectangleFixes())});
  options(FormScript().type("txtPercent", "100, 50").click("btnOK"));
  save("rect_100.shp");
  save("rect_50.shp");
  ASSERT_EQ(click(), host::kOk);

  const auto all = readShapefile(folder / "rect_100.shp");
  ASSERT_TRUE(all.opened);
  EXPECT_EQ(all.geometry, wkbPolygon);
  EXPECT_EQ(all.epsg, 32633);  // the focus map's coordinate system
  ASSERT_EQ(all.fields.size(), 3u);
  EXPECT_EQ(all.fields[0].name, "NPoints");
  EXPECT_EQ(all.fields[1].name, "NUsed");
  EXPECT_EQ(all.fields[2].name, "Area");
  for (int i : {0, 1}) {
    // Integer fields of 20 digits: GDAL reports .dbf numbers that wide as reals without decimals.
    EXPECT_EQ(all.fields[i].width, 20) << all.fields[i].name;
    EXPECT_EQ(all.fields[i].precision, 0) << all.fields[i].name;
  }
  EXPECT_EQ(all.fields[2].type, OFTReal);
  EXPECT_EQ(all.fields[2].width, 20);
  EXPECT_EQ(all.fields[2].precision, 12);
  ASSERT_EQ(all.features.size(), 1u);
  EXPECT_EQ(all.features[0].number.at("NPoints"), 10);
  EXPECT_EQ(all.features[0].number.at("NUsed"), 10);
  EXPECT_DOUBLE_EQ(all.features[0].number.at("Area"), 12.0);  // 4 x 3, by hand
  EXPECT_DOUBLE_EQ(all.features[0].area, 12.0);

  // 50 percent of 10 by "Fixed Mean": the 5 fixes nearest the mean centre (2.1, 1.3).
  const auto half = readShapefile(folder / "rect_50.shp");
  ASSERT_EQ(half.features.size(), 1u);
  EXPECT_EQ(half.features[0].number.at("NPoints"), 10);
  EXPECT_EQ(half.features[0].number.at("NUsed"), 5);
  EXPECT_LT(half.features[0].area, 12.0);
  EXPECT_NEAR(half.features[0].number.at("Area"), half.features[0].area, 1e-9);

  // Each file became a layer named with the file name, on top of the map, and the view's
  // geography was refreshed for each.
  const auto layers = app.focusMap().layers();
  ASSERT_EQ(layers.size(), 3u);
  EXPECT_EQ(layers[0]->name(), "rect_50.shp");
  EXPECT_EQ(layers[1]->name(), "rect_100.shp");
  EXPECT_EQ(app.view().partialRefreshes(),
            (std::vector<host::ViewPhase>{host::ViewPhase::Geography, host::ViewPhase::Geography}));
}

TEST_F(McpCommand, TheHundredPercentPolygonIsTheConvexHull) {
  // 200 scattered fixes (a fixed linear congruential sequence); the hull area by GEOS is the
  // independent reference, to a relative 1e-12 (both are sums of the same cross products).
  std::vector<TestFix> fixes;
  std::vector<std::pair<double, double>> xy;
  std::uint32_t state = 12345;
  const auto next = [&] { return (state = state * 1664525u + 1013904223u) / 4294967296.0; };
  for (int i = 0; i < 200; ++i) {
    const double x = 500000 + 3000 * next() * std::cos(6.283 * next());
    const double y = 5600000 + 2000 * next() * std::sin(6.283 * next());
    fixes.push_back({x, y, "s"});
    xy.emplace_back(x, y);
  }
  load({points("scatter", fixes)});
  options(FormScript().check("chkPercent", false).click("btnOK"));
  save("scatter_all.shp");
  ASSERT_EQ(click(), host::kOk);
  const auto written = readShapefile(folder / "scatter_all.shp");
  ASSERT_EQ(written.features.size(), 1u);
  const double hull = orvex::test::geosHullArea(xy);
  EXPECT_NEAR(written.features[0].area, hull, hull * 1e-12);
  EXPECT_NEAR(written.features[0].number.at("Area"), hull, hull * 1e-12);
}

TEST_F(McpCommand, AContinentSizedAreaIsStoredWhole) {
  // A 2000 km square: 4e12 m2, far beyond the 7 integer digits of a 20-wide field with 12
  // decimals. The field is widened so that every digit of the value is kept.
  load({points("albatross", {{-1e6, -1e6, "a"}, {1e6, -1e6, "a"}, {1e6, 1e6, "a"}, {-1e6, 1e6, "a"}})});
  options(FormScript().check("chkPercent", false).click("btnOK"));
  save("huge.shp");
  ASSERT_EQ(click(), host::kOk);
  EXPECT_TRUE(messages().empty()) << messages().front();

  const auto written = readShapefile(folder / "huge.shp");
  const auto* area = written.field("Area");
  ASSERT_NE(area, nullptr);
  EXPECT_EQ(area->precision, 12);       // no decimals given up
  EXPECT_EQ(area->width, 13 + 1 + 12);  // "4000000000000." and 12 decimals
  ASSERT_EQ(written.features.size(), 1u);
  EXPECT_EQ(written.features[0].number.at("Area"), 4e12);  // exact: the square's area is exact
  EXPECT_EQ(written.features[0].text.at("Area").find('*'), std::string::npos);
}

TEST_F(McpCommand, TooLowPercentagesAreReportedAndTheNextOneGoesOn) {
  load({points("tri", {{0, 0, "t"}, {4, 0, "t"}, {0, 4, "t"}})});
  // 3 fixes: 50 percent gives ceil(1.5) = 2 < 3; "abc" reads as 0; 95 gives 3.
  options(FormScript().type("txtPercent", "50,abc,95").click("btnOK"));
  save("tri_95.shp");
  ASSERT_EQ(click(), host::kOk);
  EXPECT_EQ(messages(), (std::vector<std::string>{
                            "The MCP Analysis Percentage (50.00) is too low - no polygon can be generated).",
                            "The MCP Analysis Percentage (0.00) is too low - no polygon can be generated).",
                        }));
  ASSERT_EQ(app.scriptedUi().dialogs().size(), 1u);  // only 95 reached its save dialog
  EXPECT_EQ(readShapefile(folder / "tri_95.shp").features.at(0).number.at("NUsed"), 3);
}

TEST_F(McpCommand, TheSaveDialogNamesTheTruncatedPercentageAndTheLayer) {
  load({points("rect", rectangleFixes())});
  options(FormScript().type("txtPercent", "92.7").click("btnOK"));
  app.scriptedUi().queueSaveAnswer(std::nullopt);
  ASSERT_EQ(click(), host::kOk);
  ASSERT_EQ(app.scriptedUi().dialogs().size(), 1u);
  EXPECT_EQ(app.scriptedUi().dialogs()[0].title, "Save As MCP 92 percent analysis for layer = rect");

  EXPECT_EQ(orvex::core::mcpSaveTitle(92.7, ""), "Save As    MCP 92 percent analysis");
  EXPECT_EQ(orvex::core::mcpSaveTitle(-0.5, "a"), "Save As MCP 0 percent analysis for layer = a");
  EXPECT_EQ(
      orvex::core::mcpSaveTitle(1e300, "a"),
      "Save As MCP " + std::to_string(std::numeric_limits<long>::max()) + " percent analysis for layer = a");
}

TEST_F(McpCommand, CancelInASaveDialogSkipsOnlyThatPercentage) {
  load({points("rect", rectangleFixes())});
  options(FormScript().type("txtPercent", "95,90").click("btnOK"));
  app.scriptedUi().queueSaveAnswer(std::nullopt);
  save("rect_90.shp");
  ASSERT_EQ(click(), host::kOk);
  EXPECT_FALSE(std::filesystem::exists(folder / "rect_95.shp"));
  EXPECT_EQ(readShapefile(folder / "rect_90.shp").features.size(), 1u);
  EXPECT_TRUE(messages().empty());
}

TEST_F(McpCommand, CancelInTheOptionsSkipsTheLayer) {
  load({points("a", rectangleFixes()), points("b", rectangleFixes())});
  app.scriptedUi().queueFormScript(kOptionsForm, FormScript().click("btnCancel"));
  options(FormScript().click("btnOK"));
  save("b_95.shp");
  ASSERT_EQ(click(), host::kOk);
  ASSERT_EQ(app.scriptedUi().dialogs().size(), 1u);
  EXPECT_EQ(app.scriptedUi().dialogs()[0].title, "Save As MCP 95 percent analysis for layer = b");
}

TEST_F(McpCommand, SavingOverTheFileOfAnEarlierClickReplacesIt) {
  load({points("rect", rectangleFixes())});
  options(FormScript().type("txtPercent", "100").click("btnOK"));
  save("same.shp");
  ASSERT_EQ(click(), host::kOk);
  app.focusMap().removeLayer(app.focusMap().layers().front());  // the first output's layer

  options(FormScript().type("txtPercent", "50").click("btnOK"));
  save("same.shp");
  ASSERT_EQ(click(), host::kOk);
  const auto written = readShapefile(folder / "same.shp");
  ASSERT_EQ(written.features.size(), 1u);
  EXPECT_EQ(written.features[0].number.at("NUsed"), 5);
}

TEST_F(McpCommand, AFileThatCannotBeDeletedIsAppendedTo) {
  // The first percentage's file is shown in the map when the second one is saved over it: the
  // host keeps files in use, so the polygon is appended.
  load({points("rect", rectangleFixes())});
  options(FormScript().type("txtPercent", "100,50").click("btnOK"));
  save("kept.shp");
  save("kept.shp");
  ASSERT_EQ(click(), host::kOk);
  const auto written = readShapefile(folder / "kept.shp");
  ASSERT_EQ(written.features.size(), 2u);
  EXPECT_EQ(written.features[0].number.at("NUsed"), 10);
  EXPECT_EQ(written.features[1].number.at("NUsed"), 5);
  EXPECT_TRUE(messages().empty());
  // Recorded as the file holds it: both polygons, the whole rectangle's area (12) first.
  const auto& outputs = app.runRecord().outputs();
  ASSERT_EQ(outputs.size(), 1u);
  EXPECT_EQ(outputs[0].features, 2);
  ASSERT_EQ(outputs[0].values.areas.size(), 2u);
  EXPECT_EQ(outputs[0].values.areas[0], 12.0);
  EXPECT_NEAR(outputs[0].values.areas[1], written.features[1].number.at("Area"), 1e-12);  // 12 decimals kept
}

TEST_F(McpCommand, AFolderThatCannotBeOpenedIsReportedWithTheSourceLine) {
  load({points("rect", rectangleFixes())});
  options(FormScript().type("txtPercent", "100,90").click("btnOK"));
  app.scriptedUi().queueSaveAnswer(folder / "no" / "such" / "x.shp");
  save("rect_90.shp");
  const host::Status status = click();
  EXPECT_TRUE(host::failed(status));
  ASSERT_EQ(messages().size(), 1u);
  EXPECT_TRUE(messages()[0].ends_with("\norvex_MCP(465)")) << messages()[0];
  EXPECT_EQ(readShapefile(folder / "rect_90.shp").features.size(), 1u);  // the next one went on
}

}  // namespace
