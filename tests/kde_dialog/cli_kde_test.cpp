// `orvex kde` end to end: the built executable on files in a temporary folder, its outputs
// read back with GDAL.

#include <gdal_priv.h>
#include <gtest/gtest.h>
#include <ogrsf_frmts.h>

#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "dialog_fixture.h"
#include "support/orvex_process.h"

namespace orvex::test {
namespace {

namespace fs = std::filesystem;

struct GdalCloser {
  void operator()(GDALDataset* dataset) const { GDALClose(dataset); }
};
using GdalDataset = std::unique_ptr<GDALDataset, GdalCloser>;

GdalDataset OpenRaster(const fs::path& file) {
  GDALAllRegister();
  return GdalDataset(GDALDataset::Open(file.c_str(), GDAL_OF_RASTER | GDAL_OF_READONLY));
}

GdalDataset OpenVector(const fs::path& file) {
  GDALAllRegister();
  return GdalDataset(GDALDataset::Open(file.c_str(), GDAL_OF_VECTOR | GDAL_OF_READONLY));
}

// Sum of the cells times the cell area: the UD volume.
double RasterVolume(GDALDataset& raster) {
  const int columns = raster.GetRasterXSize();
  const int rows = raster.GetRasterYSize();
  std::vector<float> cells(static_cast<std::size_t>(columns) * static_cast<std::size_t>(rows));
  EXPECT_EQ(raster.GetRasterBand(1)->RasterIO(GF_Read, 0, 0, columns, rows, cells.data(), columns, rows,
                                              GDT_Float32, 0, 0),
            CE_None);
  double transform[6] = {};
  raster.GetGeoTransform(transform);
  double sum = 0.0;
  for (const float cell : cells) sum += static_cast<double>(cell);
  return sum * transform[1] * -transform[5];
}

int Lines(const std::string& text, const std::string& fragment) {
  int count = 0;
  for (std::size_t at = text.find(fragment); at != std::string::npos; at = text.find(fragment, at + 1))
    ++count;
  return count;
}

class OrvexKde : public ::testing::Test {
 protected:
  void SetUp() override { points_ = WritePoints(folder_.path(), "tracks", TwoAnimals()); }

  OrvexRun Kde(std::vector<std::string> args) {
    args.insert(args.begin(), {"kde", points_.string(), "--id", "AnimalID"});
    return runOrvex(folder_.path(), args);
  }

  TempFolder folder_;
  fs::path points_;
};

TEST_F(OrvexKde, TwoAnimalsOneRasterAndThreeIsoplethFilesEach) {
  const fs::path out = folder_ / "new" / "out";  // created when missing
  const OrvexRun run =
      Kde({"--extent", "min", "--cell-size", "50", "--isopleths", "95,50", "--out-dir", out.string()});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  for (const char* name : {"kde0.tif", "kde1.tif"}) {
    const GdalDataset raster = OpenRaster(out / name);
    ASSERT_TRUE(raster) << name;
    EXPECT_EQ(Lines(run.out, (out / name).string() + ": raster, " + std::to_string(raster->GetRasterXSize()) +
                                 " columns x " + std::to_string(raster->GetRasterYSize()) + " rows\n"),
              1)
        << run.out;
    // The grid reaches 4 bandwidths beyond every fix and each kernel is cut at 4 bandwidths,
    // so the volume is the scaling factor less the kernel mass beyond that radius (about
    // e^-8 of it) and the discretisation error: 1e6 within 2 %.
    EXPECT_NEAR(RasterVolume(*raster), 1e6, 2e4) << name;
  }
  for (const char* name : {"kde0_iso_line.shp", "kde0_iso_poly.shp", "kde0_iso_donut.shp",
                           "kde1_iso_line.shp", "kde1_iso_poly.shp", "kde1_iso_donut.shp"}) {
    EXPECT_EQ(Lines(run.out, (out / name).string() + ": "), 1) << name << "\n" << run.out;
    const GdalDataset shapes = OpenVector(out / name);
    ASSERT_TRUE(shapes) << name;
    EXPECT_GE(shapes->GetLayer(0)->GetFeatureCount(), 2) << name << ": one level each of 95 and 50";
  }
  EXPECT_EQ(Lines(run.out, "\n"), 8) << run.out;
  EXPECT_TRUE(fs::exists(out / "TALVO_KDE_ANALYSIS.txt"));
  EXPECT_TRUE(fs::exists(out / "TALVO_KERNEL_SETTINGS.txt"));
  EXPECT_NE(run.err.find("Status: Processing complete."), std::string::npos) << run.err;
}

TEST_F(OrvexKde, ExitCodes) {
  const fs::path out = folder_ / "out";
  // A check of the dialog refuses the run: exit 1, its message, nothing written.
  OrvexRun run = Kde({"--isopleths", "95,abc", "--out-dir", out.string()});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.err.find("Error: an invalid isopleth value was detected."), std::string::npos) << run.err;
  EXPECT_TRUE(fs::is_empty(out));

  // The command line itself is wrong: exit 2.
  EXPECT_EQ(runOrvex(folder_.path(), {"kde", points_.string(), "--out-dir", out.string()}).exitCode, 2);
  EXPECT_EQ(Kde({"--out-dir", out.string(), "--bandwidth", "wide"}).exitCode, 2);
  EXPECT_EQ(Kde({"--out-dir", out.string(), "--selected-only"}).exitCode, 2) << "needs --where";

  // An ID field the layer does not offer.
  run = runOrvex(folder_.path(), {"kde", points_.string(), "--id", "Weight", "--out-dir", out.string()});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.err.find("Weight"), std::string::npos) << run.err;
}

TEST_F(OrvexKde, QuestionsTakeYesNoOrTheDefault) {
  std::vector<Fix> fixes = TwoAnimals();
  fixes.push_back(fixes.back());  // "west" gets two fixes at one place
  points_ = WritePoints(folder_.path(), "overlap", fixes);

  OrvexRun run =
      runOrvex(folder_.path(), {"--no", "kde", points_.string(), "--id", "AnimalID", "--extent", "min",
                                "--cell-size", "50", "--out-dir", (folder_ / "no").string()});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.err.find("overlapping points were detected for the following animals:\r1  \r"),
            std::string::npos)
      << run.err;
  EXPECT_TRUE(fs::is_empty(folder_ / "no")) << "a cancelled run removes its log and settings copy";

  // No answer and no terminal: the question's default, Yes.
  run = Kde({"--extent", "min", "--cell-size", "50", "--out-dir", (folder_ / "default").string()});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_TRUE(fs::exists(folder_ / "default" / "kde1.tif"));
}

TEST_F(OrvexKde, SettingsFilesTablesAndIndependence) {
  const fs::path settings = folder_ / "saved.txt";
  const fs::path csv = folder_ / "indices.csv";
  OrvexRun run = Kde({"--extent", "min", "--cell-size", "50", "--prefix", "ab", "--bandwidth", "href",
                      "--save-settings", settings.string(), "--tables", "--independence", csv.string(),
                      "--out-dir", (folder_ / "first").string()});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  const std::string saved = ReadFile(settings);
  EXPECT_NE(saved.find("[HREF]\r\nTRUE\r\n"), std::string::npos) << saved;
  EXPECT_NE(saved.find("[PREFIX]\r\nab\r\n[CELLSIZE]\r\n50\r\n"), std::string::npos) << saved;
  EXPECT_NE(
      run.out.find("Variances of x and y coordinates:\n  AnimalID, Count, StdDev(x), StdDev(y), Ratio(x:y)\n"
                   "  east, 40, "),
      std::string::npos)
      << run.out;
  EXPECT_NE(run.out.find("Reference bandwidths:\n  AnimalID, Count, href\n  east, 40, "), std::string::npos);
  EXPECT_NE(run.out.find("Independence of observation indices:\n"), std::string::npos);
  const std::string indices = ReadFile(csv);
  EXPECT_EQ(indices.substr(0, 39), "AnimalID,Count,Schoener,Swihart_Slade\r\n");
  EXPECT_EQ(Lines(indices, "\r\n"), 3);
  EXPECT_TRUE(fs::exists(folder_ / "first" / "ab0.tif"));

  // Loaded first, then overridden: the loaded prefix is upper case, the cell size the flag's.
  run = Kde({"--load-settings", settings.string(), "--cell-size", "40", "--out-dir",
             (folder_ / "second").string()});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  const std::string log = ReadFile(folder_ / "second" / "TALVO_KDE_ANALYSIS.txt");
  EXPECT_NE(log.find("Bandwidth estimtor: HREF\r\n"), std::string::npos) << log;
  EXPECT_NE(log.find("Raster prefix name: AB\r\nRaster cell size: 40\r\n"), std::string::npos) << log;
  EXPECT_NE(log.find("Extent setting: smallest extent for each set of points\r\n"), std::string::npos);
  EXPECT_TRUE(fs::exists(folder_ / "second" / "AB1.tif"));
}

TEST_F(OrvexKde, ReferenceRasterFileSetsTheGrid) {
  // A 240 x 80 grid of 50-unit cells over both animals: every UD is computed on it.
  platform::headless::HeadlessApplication app;
  host::RasterSpec definition;
  definition.name = "reference";
  definition.originX = 8000.0;
  definition.originY = 8000.0;
  definition.cellSize = 50.0;
  definition.rows = 80;
  definition.columns = 240;
  app.workspaces().openRasterWorkspace(folder_.path())->createRaster(definition);

  const OrvexRun run = Kde(
      {"--extent", "ref:" + (folder_ / "reference.tif").string(), "--out-dir", (folder_ / "out").string()});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  const GdalDataset raster = OpenRaster(folder_ / "out" / "kde0.tif");
  ASSERT_TRUE(raster);
  EXPECT_EQ(raster->GetRasterXSize(), 240);
  EXPECT_EQ(raster->GetRasterYSize(), 80);
  EXPECT_NE(ReadFile(folder_ / "out" / "TALVO_KDE_ANALYSIS.txt")
                .find("Extent setting: reference layer (reference)"),
            std::string::npos);
}

TEST(OrvexKdeRealData, AlbatrossAcceptanceRun) {
  const fs::path shapefile = fs::path(ORVEX_SHARED_DATA) / "albatross" / "albatross.shp";
  if (!fs::exists(shapefile)) GTEST_SKIP() << "shared data not found: " << shapefile.string();
  TempFolder folder;
  const fs::path out = folder / "out";
  const OrvexRun run =
      runOrvex(folder.path(), {"--yes", "kde", shapefile.string(), "--id", "AnimalID", "--extent", "min",
                               "--cell-size", "2000", "--isopleths", "95,50", "--out-dir", out.string()});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  // Six animals (albatross README): one raster and three isopleth shapefiles each.
  for (int p = 0; p < 6; ++p) {
    const std::string name = "kde" + std::to_string(p);
    EXPECT_TRUE(OpenRaster(out / (name + ".tif"))) << name;
    for (const char* kind : {"_iso_line.shp", "_iso_poly.shp", "_iso_donut.shp"}) {
      EXPECT_TRUE(OpenVector(out / (name + kind))) << name << kind;
    }
  }
  EXPECT_EQ(Lines(run.out, "\n"), 24) << run.out;
  EXPECT_TRUE(fs::exists(out / "TALVO_KERNEL_SETTINGS.txt"));
  const std::string log = ReadFile(out / "TALVO_KDE_ANALYSIS.txt");
  EXPECT_EQ(log.find("Error"), std::string::npos) << log;
  EXPECT_EQ(Lines(log, "Kernel calculated successfully."), 6);
  // --exact keeps the pair-by-pair sums: the same bandwidth for every animal.
  const fs::path exactOut = folder / "exact";
  const OrvexRun exact =
      runOrvex(folder.path(), {"--yes", "kde", shapefile.string(), "--id", "AnimalID", "--extent", "min",
                               "--cell-size", "2000", "--exact", "--out-dir", exactOut.string()});
  ASSERT_EQ(exact.exitCode, 0) << exact.err;
  auto bandwidths = [](const std::string& text) {
    std::vector<std::string> lines;
    for (std::size_t at = text.find("Bandwidth: "); at != std::string::npos;
         at = text.find("Bandwidth: ", at + 1))
      lines.push_back(text.substr(at, text.find('\n', at) - at));
    return lines;
  };
  EXPECT_EQ(bandwidths(ReadFile(exactOut / "TALVO_KDE_ANALYSIS.txt")), bandwidths(log));
  EXPECT_EQ(bandwidths(log).size(), 6U);
}

TEST_F(OrvexKde, JsonCarriesEachAnimalsBandwidthSearchWithItsRasterAndTheLog) {
  const fs::path out = folder_ / "json";
  const OrvexRun run = Kde({"--json", "--extent", "min", "--cell-size", "50", "--out-dir", out.string()});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  const auto summary = nlohmann::json::parse(run.out);
  std::map<std::string, int> kinds;
  for (const auto& output : summary.at("outputs")) {
    ++kinds[output.at("kind").get<std::string>()];
    if (output.at("kind") != "raster") continue;
    SCOPED_TRACE(output.dump());
    EXPECT_GT(output.at("h").get<double>(), 0.0);
    EXPECT_GT(output.at("href").get<double>(), 0.0);
    EXPECT_TRUE(output.at("minimised").is_boolean());  // LSCV is the default search
    EXPECT_FALSE(output.at("profile").empty());
    EXPECT_TRUE(fs::exists(output.at("path").get<std::string>()));
  }
  EXPECT_EQ(kinds["raster"], 2);
  EXPECT_EQ(kinds["log"], 1);
}

}  // namespace
}  // namespace orvex::test
