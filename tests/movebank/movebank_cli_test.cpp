// A Movebank download of three animals through import, duplicate removal, travel, MCP with its
// curves and KDE with its pictures, none of the steps needing a hand edit of the data.

#include <gtest/gtest.h>

#include <ogrsf_frmts.h>

#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <set>

#include "support/orvex_process.h"
#include "support/temp_folder.h"

namespace orvex::test {
namespace {

namespace fs = std::filesystem;

const std::string kFixture = std::string(ORVEX_TEST_DATA) + "/movebank_three_animals.csv";

bool nonEmpty(const fs::path& file) { return fs::exists(file) && fs::file_size(file) > 0; }

/// Each layer of a GeoPackage with its feature count.
std::map<std::string, GIntBig> layersOf(const fs::path& gpkg) {
  GDALAllRegister();
  GDALDatasetUniquePtr dataset(GDALDataset::Open(gpkg.c_str(), GDAL_OF_VECTOR));
  std::map<std::string, GIntBig> layers;
  for (int i = 0; dataset && i < dataset->GetLayerCount(); ++i)
    layers[dataset->GetLayer(i)->GetName()] = dataset->GetLayer(i)->GetFeatureCount();
  return layers;
}

/// The layers of `gpkg` that a --json summary lists as outputs.
std::set<std::string> layersListed(const std::string& json, const std::string& gpkg) {
  std::set<std::string> layers;
  const auto summary = nlohmann::json::parse(json);
  for (const auto& output : summary["outputs"])
    if (output["path"] == gpkg) layers.insert(output["layer"].get<std::string>());
  return layers;
}

TEST(OrvexMovebank, ThreeAnimalsThroughEveryStep) {
  const TempFolder folder("movebank_cli");
  const std::string fixes = (folder / "fixes.shp").string();
  OrvexRun run = runOrvex(folder.path(), {"import-movebank", kFixture, "--out", fixes});
  ASSERT_EQ(run.exitCode, 0) << run.shown();
  for (const char* said :
       {"Read 158 rows from 1 file: 124 fixes kept (sensor gps)", "15 of other sensors",
        "7 outliers or not visible", "12 without coordinates", "(EPSG:32633), chosen automatically",
        "north by the median latitude", ": 124 fixes of 3 animals"})
    EXPECT_NE(run.out.find(said), std::string::npos) << said << '\n' << run.shown();

  // Time2 is shared between animals (they were fixed at the same moments), so duplicates are
  // removed per animal: each has one repeated timestamp. Travel refuses repeated times, so it
  // comes after.
  for (const char* animal : {"Ida", "Jo", "Kim"}) {
    run =
        runOrvex(folder.path(), {"dedup-time", fixes, "--where", "AnimalID = '" + std::string(animal) + "'"});
    ASSERT_EQ(run.exitCode, 0) << run.shown();
    EXPECT_NE(run.err.find("Deleted 1 duplicate feature"), std::string::npos) << run.shown();
  }
  run = runOrvex(folder.path(), {"travel", fixes});
  ASSERT_EQ(run.exitCode, 0) << run.shown();

  // With --json the pictures are outputs of the summary, the report lines on standard error.
  const fs::path mcp = folder / "mcp";
  run = runOrvex(folder.path(), {"mcp", fixes, "--by", "AnimalID", "--percent", "95", "--curve", "--json",
                                 "--out", (mcp / "{layer}_mcp{percent}.shp").string()});
  ASSERT_EQ(run.exitCode, 0) << run.shown();
  std::set<std::string> pictures;
  const auto curves = nlohmann::json::parse(run.out);
  for (const auto& output : curves["outputs"])
    if (output["kind"] == "picture") pictures.insert(output["path"].get<std::string>());
  EXPECT_EQ(pictures.size(), 12u) << run.shown();  // 3 animals x 2 curves x (SVG, PNG)
  for (const char* animal : {"Ida", "Jo", "Kim"}) {
    EXPECT_TRUE(nonEmpty(mcp / (std::string(animal) + "_mcp95.shp"))) << animal;
    for (const char* picture : {"_mcp_curve.png", "_mcp_fixes.svg"}) {
      const fs::path file = mcp / (animal + std::string(picture));
      EXPECT_TRUE(nonEmpty(file)) << file;
      EXPECT_TRUE(pictures.contains(file.string())) << file;
      EXPECT_NE(run.err.find(file.string() + ": picture"), std::string::npos) << run.shown();
    }
  }

  const fs::path kde = folder / "kde";
  run = runOrvex(folder.path(), {"kde", fixes, "--id", "AnimalID", "--out-dir", kde.string(), "--isopleths",
                                 "95,50", "--silent", "--plots"});
  ASSERT_EQ(run.exitCode, 0) << run.shown();
  std::size_t profiles = 0, maps = 0;
  for (const auto& entry : fs::directory_iterator(kde)) {
    const std::string name = entry.path().filename().string();
    profiles += name.ends_with("_profile.png") && nonEmpty(entry.path()) ? 1 : 0;
    maps += name.ends_with("_map.png") && nonEmpty(entry.path()) ? 1 : 0;
  }
  EXPECT_EQ(profiles, 3u) << run.shown();
  EXPECT_EQ(maps, 3u) << run.shown();
}

// The same chain on one GeoPackage: the fixes edited in place, the polygons and isopleths
// added to it as layers beside them, an existing layer kept unless --yes.
TEST(OrvexMovebank, ThreeAnimalsThroughOneGeoPackage) {
  const TempFolder folder("movebank_gpkg");
  const std::string study = (folder / "study.gpkg").string();
  OrvexRun run = runOrvex(folder.path(), {"import-movebank", kFixture, "--out", study});
  ASSERT_EQ(run.exitCode, 0) << run.shown();
  for (const char* animal : {"Ida", "Jo", "Kim"}) {
    run =
        runOrvex(folder.path(), {"dedup-time", study, "--where", "AnimalID = '" + std::string(animal) + "'"});
    ASSERT_EQ(run.exitCode, 0) << run.shown();
  }
  run = runOrvex(folder.path(), {"travel", study});
  ASSERT_EQ(run.exitCode, 0) << run.shown();

  // The isopleths join the fixes in their GeoPackage; the rasters stay files.
  const fs::path kde = folder / "kde";
  run = runOrvex(folder.path(), {"kde", study, "--id", "AnimalID", "--out-dir", kde.string(), "--isopleths",
                                 "95", "--no-lines", "--no-donuts", "--silent", "--json", "--out", study});
  ASSERT_EQ(run.exitCode, 0) << run.shown();
  EXPECT_EQ(layersListed(run.out, study).size(), 3u) << run.shown();  // one polygon layer per animal
  std::size_t rasters = 0;
  for (const auto& entry : fs::directory_iterator(kde)) {
    EXPECT_NE(entry.path().extension(), ".shp") << entry.path();  // every isopleth became a layer
    rasters += entry.path().extension() == ".tif" ? 1 : 0;
  }
  EXPECT_EQ(rasters, 3u);
  // 124 imported fixes less one repeated time per animal, the travel fields added in place.
  const std::map<std::string, GIntBig> layers = layersOf(study);
  EXPECT_EQ(layers.size(), 4u);
  EXPECT_EQ(layers.at("study"), 121);
  {  // Kim's last fix (2040) came back from the edits with its 64-bit time
    GDALDatasetUniquePtr dataset(GDALDataset::Open(study.c_str(), GDAL_OF_VECTOR));
    OGRLayer* fixes = dataset->GetLayerByName("study");
    GIntBig latest = 0;
    for (const auto& feature : *fixes) latest = std::max(latest, feature->GetFieldAsInteger64("Time2"));
    EXPECT_EQ(latest, 2209086246);
  }

  // The MCPs into a GeoPackage of their own (--format gpkg: mcp.gpkg beside the template),
  // with the curves of the GeoPackage's fixes beside it.
  const std::string homes = (folder / "mcp.gpkg").string();
  const std::vector<std::string> mcp{"--json", "mcp",      study + "|layername=study",
                                     "--by",   "AnimalID", "--percent",
                                     "95",     "--curve",  "--format",
                                     "gpkg",   "--out",    (folder / "{layer}_mcp{percent}.shp").string()};
  run = runOrvex(folder.path(), mcp);
  ASSERT_EQ(run.exitCode, 0) << run.shown();
  const std::map<std::string, GIntBig> homeLayers{{"Ida_mcp95", 1}, {"Jo_mcp95", 1}, {"Kim_mcp95", 1}};
  EXPECT_EQ(layersListed(run.out, homes).size(), 3u) << run.shown();
  EXPECT_EQ(layersOf(homes), homeLayers);
  std::size_t pictures = 0;
  const nlohmann::json listed = nlohmann::json::parse(run.out);
  for (const auto& output : listed["outputs"])
    pictures += output["kind"] == "picture" && nonEmpty(output["path"].get<std::string>()) ? 1 : 0;
  EXPECT_EQ(pictures, 12u) << run.shown();  // 3 animals x 2 curves x (SVG, PNG)

  // The Kernel Analysis contours: one layer per animal (one h each).
  const std::string kernel = (folder / "kernel.gpkg").string();
  run = runOrvex(folder.path(), {"--json", "kernel", study + "|layername=study", "--by", "AnimalID",
                                 "--h-choice", "href", "--resolution", "40", "--out", kernel});
  ASSERT_EQ(run.exitCode, 0) << run.shown();
  EXPECT_EQ(layersListed(run.out, kernel).size(), 3u) << run.shown();
  EXPECT_EQ(layersOf(kernel).size(), 3u);

  // Again: the layers exist; without --yes they stay and nothing is written.
  run = runOrvex(folder.path(), mcp);
  EXPECT_EQ(run.exitCode, 1) << run.shown();
  EXPECT_NE(run.err.find("already holds the layer Ida_mcp95; not replaced (--yes replaces it)"),
            std::string::npos)
      << run.shown();
  std::vector<std::string> replacing = mcp;
  replacing.push_back("--yes");
  EXPECT_EQ(runOrvex(folder.path(), replacing).exitCode, 0);
  EXPECT_EQ(layersOf(homes), homeLayers);
  EXPECT_EQ(layersOf(study), layers);
}

TEST(OrvexMovebank, ErrorsNameTheLineAndExistingOutputsNeedYes) {
  const TempFolder folder("movebank_errors");
  const fs::path bad = folder / "bad.csv";
  std::ofstream(bad) << "timestamp,location-long,location-lat,individual-local-identifier\n"
                        "2024-05-01 00:00:00,15,51,A\n"
                        "2024-05-01 25:00:00,15,51,A\n";
  OrvexRun run =
      runOrvex(folder.path(), {"import-movebank", bad.string(), "--out", (folder / "x.shp").string()});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.err.find("bad.csv:3: \"2024-05-01 25:00:00\""), std::string::npos) << run.shown();

  const std::string out = (folder / "study.gpkg").string();
  ASSERT_EQ(runOrvex(folder.path(), {"import-movebank", kFixture, "--out", out}).exitCode, 0);
  run = runOrvex(folder.path(), {"import-movebank", kFixture, "--out", out, "--crs", "EPSG:3035"});
  EXPECT_EQ(run.exitCode, 1) << run.shown();
  run = runOrvex(folder.path(), {"import-movebank", kFixture, "--out", out, "--crs", "EPSG:3035", "--yes"});
  EXPECT_EQ(run.exitCode, 0) << run.shown();
  EXPECT_NE(run.out.find("(layer study): 124 fixes"), std::string::npos) << run.shown();
}

}  // namespace
}  // namespace orvex::test
