// `orvex import-lotek` and `orvex commands` run as a user runs them; outputs read back with GDAL.

#include <gdal_priv.h>
#include <gtest/gtest.h>
#include <ogrsf_frmts.h>

#include <filesystem>
#include <string>

#include "access/lotek_fixture.h"
#include "core_data/core_test_host.h"
#include "core_data/shapefile_reader.h"
#include "support/orvex_process.h"

namespace orvex::core {
namespace {

using access::testing::lotekFolder;

class ImportLotekCli : public ::testing::Test {
 protected:
  void SetUp() override { ORVEX_REQUIRE_LOTEK(); }

  test::OrvexRun orvex(std::vector<std::string> args) { return test::runOrvex(home.path(), args); }
  std::string mdb(const std::string& name) const { return (lotekFolder() / (name + ".mdb")).string(); }

  test::TempFolder home;
  test::TempFolder work;
};

TEST_F(ImportLotekCli, TwoFilesIntoOneProjectedShapefile) {
  const auto out = work / "fixes.shp";
  const auto run = orvex({"import-lotek", mdb("collar_a"), mdb("collar_b"), "--out",
                          (work / "fixes").string(), "--map-crs", "EPSG:32642"});
  ASSERT_EQ(run.exitCode, 0) << run.shown();
  EXPECT_EQ(run.out, out.string() + ": 454 features\n");
  EXPECT_EQ(run.err, "");

  // Positions are compared with the expected ones by the in-process tests; here the file is
  // checked as a whole.
  const auto shape = test::readShapefile(out);
  EXPECT_EQ(shape.points.size(), 454u);
  EXPECT_EQ(shape.points.front().values.at("CollarID"), "3301");
  EXPECT_EQ(shape.points.back().values.at("CollarID"), "3302");
  EXPECT_EQ(shape.epsg, 32642);
}

TEST_F(ImportLotekCli, AcquiringChoiceAndDefaultCoordinateSystem) {
  const auto out = work / "all.shp";
  auto run = orvex({"import-lotek", mdb("collar_a"), "--out", out.string(), "--acquiring", "include"});
  ASSERT_EQ(run.exitCode, 0) << run.shown();
  EXPECT_EQ(run.out, out.string() + ": 300 features\n");
  EXPECT_EQ(test::readShapefile(out).epsg, 4326);  // no --map-crs: WGS 1984

  // Cancel at "Keepers?": the command ends, the empty output stays, nothing is reported written.
  const auto cancelled = work / "cancelled.shp";
  run = orvex({"import-lotek", mdb("collar_a"), "--out", cancelled.string(), "--acquiring", "cancel"});
  EXPECT_EQ(run.exitCode, 1) << run.shown();
  EXPECT_EQ(run.out, "");
  EXPECT_TRUE(test::readShapefile(cancelled).points.empty());

  run = orvex({"import-lotek", mdb("collar_a"), "--out", out.string(), "--acquiring", "sometimes"});
  EXPECT_EQ(run.exitCode, 2) << run.shown();
}

TEST_F(ImportLotekCli, ExistingOutputIsReplacedOnlyWithYes) {
  const auto out = work / "fixes.shp";
  ASSERT_EQ(orvex({"import-lotek", mdb("collar_nulls"), "--out", out.string()}).exitCode, 0);

  auto run = orvex({"import-lotek", mdb("collar_second_table"), "--out", out.string()});
  EXPECT_EQ(run.exitCode, 1) << run.shown();
  EXPECT_NE(run.err.find(out.string() + " exists; not replaced (--yes replaces it)"), std::string::npos)
      << run.shown();
  EXPECT_EQ(test::readShapefile(out).points.size(), 19u);  // untouched

  run = orvex({"import-lotek", mdb("collar_second_table"), "--out", out.string(), "--yes"});
  EXPECT_EQ(run.exitCode, 0) << run.shown();
  EXPECT_EQ(run.out, out.string() + ": 27 features\n");
  EXPECT_EQ(test::readShapefile(out).points.size(), 27u);
}

// The layer OUT of OUT.gpkg, kept unless --yes as an existing shapefile is, beside a layer
// another command put there.
TEST_F(ImportLotekCli, IntoAGeoPackageLayerReplacedOnlyWithYes) {
  const auto gpkg = work / "study.gpkg";
  const auto count = [&gpkg](const char* layer) {
    GDALAllRegister();
    GDALDatasetUniquePtr dataset(GDALDataset::Open(gpkg.c_str(), GDAL_OF_VECTOR));
    OGRLayer* found = dataset ? dataset->GetLayerByName(layer) : nullptr;
    return found != nullptr ? found->GetFeatureCount() : GIntBig{-1};
  };
  auto run = orvex({"import-lotek", mdb("collar_nulls"), "--out", gpkg.string()});
  ASSERT_EQ(run.exitCode, 0) << run.shown();
  EXPECT_EQ(run.out, gpkg.string() + ": layer study, 19 features\n");
  run = orvex({"mcp", gpkg.string(), "--all-points", "--out", gpkg.string(), "--map-crs", "EPSG:32741"});
  ASSERT_EQ(run.exitCode, 0) << run.shown();
  EXPECT_EQ(count("study_mcp100"), 1) << run.shown();

  run = orvex(
      {"import-lotek", mdb("collar_second_table"), "--out", (work / "study").string(), "--format", "gpkg"});
  EXPECT_EQ(run.exitCode, 1) << run.shown();
  EXPECT_NE(run.err.find("already holds the layer study; not replaced (--yes replaces it)"),
            std::string::npos)
      << run.shown();
  EXPECT_EQ(count("study"), 19);
  run = orvex({"import-lotek", mdb("collar_second_table"), "--out", gpkg.string(), "--yes"});
  EXPECT_EQ(run.exitCode, 0) << run.shown();
  EXPECT_EQ(count("study"), 27);
  EXPECT_EQ(count("study_mcp100"), 1);
}

TEST_F(ImportLotekCli, ADamagedFileFailsTheRunAfterTheOthersAreImported) {
  const auto out = work / "partial.shp";
  const auto run = orvex({"import-lotek", mdb("collar_a"), mdb("corrupt_truncated"), "--out", out.string()});
  EXPECT_EQ(run.exitCode, 1) << run.shown();
  EXPECT_EQ(run.out, out.string() + ": 270 features\n");  // collar_a's fixes, Acquiring excluded
  EXPECT_TRUE(run.err.ends_with("orvex: 1 item failed: corrupt_truncated.mdb\n")) << run.shown();
}

TEST(CommandsListing, ShowsTheOrvexcoreCommandsWithTheirProperties) {
  test::TempFolder home;
  const auto run = test::runOrvex(home.path(), {"commands"});
  const char* expected[][5] = {
      {"Orvex8.orvex_import", "Import Lotek MDB Files", "Import Lotek MDB Files", "Import Lotek",
       "Imports points from a set of Lotek MDB data files"},
      {"Orvex8.orvex_kernel", "Kernel Analysis", "Kernel Analysis", "Kernel Analysis",
       "Performs kernel analysis on a selection of points"},
      {"Orvex8.orvex_MCP", "MCP Analysis", "MCP Analysis", "MCP Analysis",
       "Performs Minimum Convex Polygon analysis on a selection of points"},
  };
  for (const auto& command : expected) {
    const std::string block = std::string(command[0]) + "\n  Name: " + command[1] +
                              "\n  Caption: " + command[2] + "\n  Tooltip: " + command[3] +
                              "\n  Message: " + command[4] + "\n  Category: Orvex\n";
    EXPECT_NE(run.out.find(block), std::string::npos) << block << "\n" << run.shown();
  }
  EXPECT_EQ(run.exitCode, 0) << run.shown();
}

}  // namespace
}  // namespace orvex::core
