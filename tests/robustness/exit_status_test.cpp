// Runs that failed, skipped or half-wrote an item and still ended with exit 0: each now ends
// with exit 1 and names the item, and writes nothing for it.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <nlohmann/json.hpp>
#include <regex>
#include <set>

#include "robustness/robustness_support.h"
#include "support/orvex_process.h"
#include "support/temp_folder.h"

namespace {

namespace fs = std::filesystem;
using namespace orvex::test;

/// The input a case runs on.
enum class Input {
  Fixes,       ///< two animals of 60 fixes in UTM
  MultiPoint,  ///< the same fixes as one-point MultiPoints
  Empty,       ///< no feature
  Truncated,   ///< the fixes with the .shp cut at half its records
};

/// Two animals "A" and "B" of 60 fixes each, a few km apart.
TestLayer twoAnimals(OGRwkbGeometryType type) {
  auto features = circleFixes(60);
  for (auto& fix : circleFixes(60, 506000, 5004000)) {
    fix.values["AnimalID"] = "B";
    features.push_back(std::move(fix));
  }
  if (type == wkbMultiPoint)
    for (auto& fix : features) fix.wkt = "MULTIPOINT (" + fix.wkt.substr(6) + ")";
  return layerOf(std::move(features), type);
}

void writeInput(const fs::path& shp, Input input) {
  switch (input) {
    case Input::Fixes:
    case Input::Truncated:
      writeLayer(shp, twoAnimals(wkbPoint));
      break;
    case Input::MultiPoint:
      writeLayer(shp, twoAnimals(wkbMultiPoint));
      break;
    case Input::Empty:
      writeLayer(shp, layerOf({}));
      break;
  }
  // A point record is 28 bytes after the 100-byte header: the second animal's are cut off.
  if (input == Input::Truncated) fs::resize_file(shp, 100 + 28 * 90);
}

struct ExitCase {
  const char* name;
  Input input;
  std::vector<std::string> args;  ///< "IN" is the input file, a leading "OUT/" the output folder
  const char* says;               ///< in standard error
  const char* none = "";          ///< an extension no file of the output folder has
};

// Each case used to exit 0 (an isopleth percentage past 100, a file that could not be written,
// +Inf rasters, an empty shapefile, MCPs of half a truncated file, `--by` giving no layer).
TEST(ExitStatus, AFailedOrSkippedItemIsAFailedRun) {
  const std::vector<ExitCase> cases{
      {"isopleth above 100",
       Input::Fixes,
       {"kde", "IN", "--id", "AnimalID", "--bandwidth", "href", "--isopleths", "95,101", "--out-dir", "OUT/"},
       "nothing was written for isopleths of kde0: the isopleths could not be built (isopleth percentage "
       "101"},
      {"settings file in a missing folder",
       Input::Fixes,
       {"kde", "IN", "--id", "AnimalID", "--bandwidth", "href", "--save-settings", "OUT/no/s.txt",
        "--out-dir", "OUT/"},
       "nothing was written for s.txt: Cannot create the settings file"},
      {"independence table in a missing folder",
       Input::Fixes,
       {"kde", "IN", "--id", "AnimalID", "--bandwidth", "href", "--out-dir", "OUT/",
        "--independence=OUT/no/i.csv"},
       "nothing was written for i.csv: Cannot create the table"},
      {"scaling past a Float32 cell",
       Input::Fixes,
       {"kde", "IN", "--id", "AnimalID", "--bandwidth", "href", "--scaling", "1e308", "--out-dir", "OUT/"},
       "exceeds the largest value a raster cell holds",
       ".tif"},
      {"kernel h tracing no contour",
       Input::Fixes,
       {"--yes", "kernel", "IN", "--h", "1e-4", "--out", "OUT/k_{h}.shp"},
       "nothing was written for h = 1e-04: h = 0.0001 traces no contour on the grid",
       ".shp"},
      {"mcp --by on MultiPoints",
       Input::MultiPoint,
       {"mcp", "IN", "--by", "AnimalID", "--out", "OUT/m_{layer}.shp"},
       "nothing was written for in: it has no selected point fixes"},
      {"mcp --by on an empty layer",
       Input::Empty,
       {"mcp", "IN", "--by", "AnimalID", "--out", "OUT/m_{layer}.shp"},
       "nothing was written for in: it has no selected point fixes"},
      {"mcp --by where nothing is selected",
       Input::Fixes,
       {"mcp", "IN", "--by", "AnimalID", "--where", "AnimalID = 'Z'", "--out", "OUT/m_{layer}.shp"},
       "nothing was written for in: it has no selected point fixes"},
      {"mcp on a truncated file",
       Input::Truncated,
       {"mcp", "IN", "--out", "OUT/m.shp"},
       "cannot be read",
       ".shp"},
      {"mcp --by on a truncated file",
       Input::Truncated,
       {"mcp", "IN", "--by", "AnimalID", "--out", "OUT/m_{layer}.shp"},
       "The shape of row 90 of 'in.shp' cannot be read"},
      {"track on a truncated file",
       Input::Truncated,
       {"track", "IN", "--save-path", "OUT/path.shp"},
       "The shape of row 90 of 'in.shp' cannot be read"},
  };
  for (const ExitCase& c : cases) {
    SCOPED_TRACE(c.name);
    TempFolder home("exit");
    const fs::path out = home / "out";
    fs::create_directories(out);
    writeInput(home / "in.shp", c.input);
    std::vector<std::string> args;
    for (const std::string& arg : c.args)
      args.push_back(arg == "IN" ? (home / "in.shp").string()
                     : arg.starts_with("OUT/") || arg.find("=OUT/") != std::string::npos
                         ? std::regex_replace(arg, std::regex("OUT/"), out.string() + "/")
                         : arg);
    const OrvexRun run = runOrvex(home.path(), args);
    EXPECT_EQ(run.exitCode, 1) << run.shown();
    EXPECT_NE(run.err.find(c.says), std::string::npos) << run.shown();
    for (const auto& entry : fs::directory_iterator(out)) EXPECT_NE(entry.path().extension(), c.none);
  }
}

// Text that is not UTF-8 (a Latin-1 folder name, Latin-1 identifiers under a .cpg that says
// UTF-8) made --json end in a library exception after the outputs were written: no JSON, exit
// 1. Each byte that is not UTF-8 is now read as Latin-1 and the summary is valid JSON.
TEST(ExitStatus, JsonIsValidWhateverTheTextsBytes) {
  TempFolder home("exit");
  const fs::path out = home / "caf\xE9";  // "café" in Latin-1
  fs::create_directories(out);
  auto fixes = twoAnimals(wkbPoint);
  for (auto& fix : fixes.features)
    fix.values["AnimalID"] = *fix.values["AnimalID"] == "A" ? "\xE9lan" : "\xFF";
  writeLayer(home / "in.shp", fixes);
  const OrvexRun run = runOrvex(home.path(), {"--json", "--yes", "mcp", home / "in.shp", "--by", "AnimalID",
                                              "--out", out / "m_{layer}.shp"});
  EXPECT_EQ(run.exitCode, 0) << run.shown();
  nlohmann::json summary;
  ASSERT_NO_THROW(summary = nlohmann::json::parse(run.out)) << run.shown();
  ASSERT_EQ(summary["outputs"].size(), 2u) << run.shown();
  std::set<std::string> paths;
  for (const auto& output : summary["outputs"]) paths.insert(output["path"].get<std::string>());
  EXPECT_EQ(paths.size(), 2u) << run.shown();  // the two animals stay apart
  EXPECT_NE(paths.begin()->find("caf\u00E9"), std::string::npos) << run.shown();  // U+00E9 in UTF-8
}

// On a full disk (a file-size limit) SQLite can fail a COMMIT or the close after a layer has
// reached the GeoPackage: the layer was then reported "nothing was written" with exit 1. At
// each limit the layers in the file are now exactly those reported, and exit 0 when all are.
TEST(ExitStatus, GeoPackageLayersReportedAreThoseInTheFile) {
  for (const int limit : {80000, 90000, 100000, 104000, 110000}) {
    SCOPED_TRACE("limited to " + std::to_string(limit) + " bytes");
    TempFolder home("exit");
    writeInput(home / "in.shp", Input::Fixes);
    const fs::path gpkg = home / "out" / "s.gpkg";
    const OrvexRun run =
        runOrvex(home.path(),
                 {std::to_string(limit), (fs::path(ORVEX_BIN_DIR) / "orvex").string(), "--yes", "mcp",
                  (home / "in.shp").string(), "--by", "AnimalID", "--out", gpkg.string()},
                 {}, FSIZE_LAUNCHER);
    std::set<std::string> reported;
    for (const char* layer : {"A_mcp95", "B_mcp95"})
      if (run.out.find("layer " + std::string(layer)) != std::string::npos) reported.insert(layer);
    std::set<std::string> inFile;
    CPLPushErrorHandler(CPLQuietErrorHandler);
    if (GDALDatasetUniquePtr dataset{GDALDataset::Open(gpkg.c_str(), GDAL_OF_VECTOR)})
      for (OGRLayer* layer : dataset->GetLayers())
        if (layer->GetFeatureCount() == 1) inFile.insert(layer->GetName());
    CPLPopErrorHandler();
    EXPECT_EQ(inFile, reported) << run.shown();
    EXPECT_EQ(run.exitCode, reported.size() == 2 ? 0 : 1) << run.shown();
  }
}

// Two results of one run that a template names alike (`{h}` keeps one decimal: 0.75 and 0.8
// are both "0.8"; the animals "wolf/1" and "wolf_1" are both "wolf_1") went into one file, the
// second appended to the first with --yes. The second is now refused as a failed item, the
// first kept whole.
TEST(ExitStatus, TwoResultsOfOneNameAreRefused) {
  struct Case {
    const char* name;
    std::vector<std::string> args;  ///< after the input; "OUT/" the output folder
    const char* file;               ///< the one file of the name
  };
  const std::vector<Case> cases{
      {"kernel h 0.75 and 0.8", {"kernel", "--h", "0.75,0.8", "--out", "OUT/k{h}.shp"}, "k0.8.shp"},
      {"mcp of wolf/1 and wolf_1", {"mcp", "--by", "AnimalID", "--out", "OUT/m_{layer}.shp"}, "m_wolf_1.shp"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempFolder home("exit");
    auto fixes = twoAnimals(wkbPoint);
    for (auto& fix : fixes.features)
      fix.values["AnimalID"] = *fix.values["AnimalID"] == "A" ? "wolf/1" : "wolf_1";
    writeLayer(home / "in.shp", fixes);
    std::vector<std::string> args{"--yes", c.args.front(), (home / "in.shp").string()};
    for (std::size_t i = 1; i < c.args.size(); ++i)
      args.push_back(std::regex_replace(c.args[i], std::regex("OUT/"), (home / "out").string() + "/"));
    const OrvexRun run = runOrvex(home.path(), args);
    EXPECT_EQ(run.exitCode, 1) << run.shown();
    EXPECT_NE(run.err.find("is already an output of this run"), std::string::npos) << run.shown();
    GDALDatasetUniquePtr written(GDALDataset::Open((home / "out" / c.file).c_str(), GDAL_OF_VECTOR));
    ASSERT_TRUE(written) << run.shown();
    // One MCP polygon, or the kernel's nine default levels of one h: nothing appended.
    const GIntBig features = written->GetLayer(0)->GetFeatureCount();
    EXPECT_TRUE(features == 1 || features == 9) << features << "\n" << run.shown();
  }
}

// `import-movebank --out X.shp` where X.shp is a folder emptied it or wrote inside it: it is
// now refused naming the folder, which stays as it was.
TEST(ExitStatus, AnImportOverAFolderIsRefused) {
  TempFolder home("exit");
  const fs::path folder = home / "x.shp";
  fs::create_directories(folder);
  std::ofstream(folder / "keep.txt") << "a file of the user's\n";
  const auto before = snapshot(folder);
  const OrvexRun run = runOrvex(
      home.path(), {"--yes", "import-movebank", std::string(ORVEX_TEST_DATA) + "/movebank_three_animals.csv",
                    "--out", folder.string()});
  EXPECT_EQ(run.exitCode, 1) << run.shown();
  EXPECT_NE(run.err.find(folder.string() + " is a folder"), std::string::npos) << run.shown();
  EXPECT_EQ(changedFiles(before, snapshot(folder)), "") << run.shown();
}

// `--load-settings /dev/zero` or a FIFO read for ever; each is refused as a usage error.
TEST(ExitStatus, SettingsFromADeviceOrAFifoAreRefused) {
  TempFolder home("exit");
  writeInput(home / "in.shp", Input::Fixes);
  ASSERT_EQ(::mkfifo((home / "fifo").c_str(), 0600), 0);
  for (const fs::path& settings : {fs::path("/dev/zero"), home / "fifo"}) {
    SCOPED_TRACE(settings.string());
    const OrvexRun run =
        runOrvex(home.path(), {"kde", (home / "in.shp").string(), "--id", "AnimalID", "--load-settings",
                               settings.string(), "--out-dir", home / "out"});
    EXPECT_EQ(run.exitCode, 2) << run.shown();
    EXPECT_NE(run.err.find("is not a regular file"), std::string::npos) << run.shown();
  }
}

}  // namespace

namespace {

// import-lotek stopped when its output folder did not exist; it makes the folder now.
TEST(ExitStatus, ImportLotekMakesAMissingOutputFolder) {
  const fs::path mdb = fs::path(ORVEX_SHARED_DATA) / "lotek" / "collar_a.mdb";
  if (!fs::exists(mdb)) GTEST_SKIP() << "Lotek fixtures not found";
  TempFolder home("exit");
  const fs::path shp = home / "new" / "deeper" / "fixes.shp";
  const OrvexRun run = runOrvex(home.path(), {"import-lotek", mdb.string(), "--out", shp.string()});
  EXPECT_EQ(run.exitCode, 0) << run.shown();
  EXPECT_EQ(firstUnreadable(home / "new"), "") << run.shown();
  EXPECT_TRUE(fs::exists(shp)) << run.shown();
}

}  // namespace
