// What `orvex mcp` says about its run as a whole: inputs that gave nothing fail the run and are
// named, and --json gives every output as data on standard output (parsed back here).

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "mcp_command/mcp_command_support.h"

namespace {

using orvex::test::contains;
using orvex::test::runOrvex;
using orvex::test::TempFolder;

/// "<name>.shp" holding one two-vertex line: a layer with features but no fixes.
std::filesystem::path writeLines(const std::filesystem::path& folder, const std::string& name) {
  auto workspace = orvex::platform::gdal::openShapefileWorkspace(folder);
  orvex::host::FeatureClassSpec definition;
  definition.name = name;
  definition.fields.add(orvex::host::FieldDef::shape(
      "Shape", orvex::host::GeometryDef{orvex::host::GeometryType::Polyline, false, false, {}}));
  auto featureClass = workspace->createFeatureClass(definition);
  auto cursor = featureClass->insert(true);
  orvex::host::Row buffer = featureClass->createRowBuffer();
  buffer.setShape(orvex::host::Polyline{{{{0, 0}, {10, 10}}}});
  cursor->insert(buffer);
  cursor->flush();
  return folder / (name + ".shp");
}

TEST(McpRunSummary, AFileThatGaveNoPolygonFailsTheRunAndIsNamedLast) {
  TempFolder home;
  TempFolder data;
  const auto lines = writeLines(data.path(), "lines");
  const auto empty = orvex::test::writePoints(data.path(), "empty", {});
  for (const auto& input : {lines, empty}) {
    const auto run = runOrvex(home.path(), {"mcp", input.string(), "--out", (data / "{layer}.shp").string()});
    const std::string layer = input.stem().string();
    EXPECT_EQ(run.exitCode, 1) << run.shown();
    EXPECT_TRUE(
        contains(run.err, "orvex: nothing was written for " + layer + ": it has no selected point fixes"))
        << run.shown();
    EXPECT_TRUE(run.err.ends_with("orvex: 1 item failed: " + layer + "\n")) << run.shown();
    EXPECT_EQ(run.out, "");
  }
}

TEST(McpRunSummary, JsonListsEveryOutputWithItsValuesAndNothingElseOnStandardOutput) {
  TempFolder home;
  TempFolder data;
  // The rectangle 4 x 3 of cli_mcp_test.cpp: its 100 percent hull has area 12 (by hand).
  const auto input = orvex::test::writePoints(
      data.path(), "rect", {{0, 0, "r"}, {4, 0, "r"}, {4, 3, "r"}, {0, 3, "r"}, {2, 1, "r"}});
  const auto run = runOrvex(home.path(), {"mcp", input.string(), "--percent", "100,92.7", "--json", "--out",
                                          (data / "{layer}_{percent}.shp").string()});
  ASSERT_EQ(run.exitCode, 0) << run.shown();
  const auto summary = nlohmann::json::parse(run.out);  // throws when anything else is there
  EXPECT_EQ(summary.at("exit"), 0);
  EXPECT_TRUE(summary.at("failures").empty());
  const auto& outputs = summary.at("outputs");
  ASSERT_EQ(outputs.size(), 2u) << run.out;
  EXPECT_EQ(outputs[0].at("path"), (data / "rect_100.shp").string());
  EXPECT_EQ(outputs[0].at("kind"), "shapefile");
  EXPECT_EQ(outputs[0].at("features"), 1);
  EXPECT_EQ(outputs[0].at("input_layer"), "rect");
  EXPECT_EQ(outputs[0].at("areas"), nlohmann::json::array({12.0}));  // exact: small whole coordinates
  EXPECT_EQ(outputs[1].at("percentage"), 92.7);  // as given, not the 92 of the dialog's title
  EXPECT_EQ(outputs[1].at("path"), (data / "rect_92.7.shp").string());
  // The human report moved to standard error.
  EXPECT_TRUE(contains(run.err, (data / "rect_100.shp").string() + ": 1 feature, Area 12\n")) << run.shown();
}

TEST(McpRunSummary, JsonNamesTheFailedItemsAndTheExitCode) {
  TempFolder home;
  TempFolder data;
  const auto lines = writeLines(data.path(), "lines");
  const auto run = runOrvex(home.path(), {"mcp", lines.string(), "--json"});
  EXPECT_EQ(run.exitCode, 1) << run.shown();
  const auto summary = nlohmann::json::parse(run.out);
  EXPECT_EQ(summary.at("exit"), 1);
  ASSERT_EQ(summary.at("failures").size(), 1u);
  EXPECT_EQ(summary.at("failures")[0].at("item"), "lines");
  EXPECT_EQ(summary.at("failures")[0].at("kind"), "skipped");
}

}  // namespace
