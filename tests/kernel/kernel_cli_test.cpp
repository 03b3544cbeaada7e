// `orvex kernel` end to end: the executable run on point files in a temporary folder, its
// shapefiles read back with GDAL.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "host/text.h"
#include "kernel/kernel_shapefile.h"
#include "kernel/kernel_test_support.h"
#include "support/orvex_process.h"

namespace {

using orvex::test::OrvexRun;
using orvex::test::runOrvex;
using orvex::test::TempFolder;

bool contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

/// Runs `orvex kernel <args>` with the engine log in `folder`; "@/" at the start of an
/// argument stands for the folder. Without --out the outputs get the default names, in the
/// folder.
OrvexRun kernel(const TempFolder& folder, std::vector<std::string> args) {
  std::vector<std::string> line{"--temp", folder.path().string(), "kernel"};
  line.insert(line.end(), args.begin(), args.end());
  if (std::find(args.begin(), args.end(), "--out") == args.end()) {
    line.push_back("--out");
    line.push_back("@/kernel_{id}_h{h}.shp");
  }
  for (auto& arg : line)
    if (arg.starts_with("@/")) arg = (folder.path() / arg.substr(2)).string();
  return runOrvex(folder.path(), line);
}

// --- the output ---------------------------------------------------------------------------------

TEST(KernelCli, FixedKernelAreasOfANormalCloudMatchTheClosedForm) {
  // Fixes following a circular normal of sd 100 m, a fixed kernel of h = 30 m: the UD is their
  // convolution, a circular normal of variance 100^2 + 30^2, whose p-volume contour is the
  // circle of area -2 pi (sigma^2 + h^2) ln(1 - p). Tolerance: 1 % of that area (2000 evenly
  // spread fixes stand for the distribution) plus three grid cells (a level's density is
  // interpolated between cells of the sorted UD); the grid spans the fixes' range plus 10.5 h
  // each side in 150 cells.
  TempFolder folder;
  const double sigma = 100.0;
  const double h = 30.0;
  const int n = 2000;
  orvex::test::writeCloud(folder.path(), "cloud", orvex::test::gaussianCloud(n, sigma, 500000.0, 5000000.0));
  const auto run = kernel(folder, {"@/cloud.shp", "--std", "none", "--no-proportional", "--h", "30",
                                   "--kernel", "fixed", "--out", "@/fixed_h{h}.shp"});
  ASSERT_EQ(run.exitCode, 0) << run.shown();
  const auto file = orvex::test::readKernelShapefile(folder / "fixed_h30.0.shp");
  ASSERT_EQ(file.rows.size(), 9u) << run.shown();
  const double outermost = sigma * std::sqrt(-2.0 * std::log(0.5 / n));
  const double cell = (2.0 * outermost + 21.0 * h) / 150.0;
  for (const auto& row : file.rows) {
    const double expected = orvex::test::normalContourArea(sigma * sigma + h * h, row.volume);
    EXPECT_NEAR(row.area, expected, 0.01 * expected + 3.0 * cell * cell) << "volume " << row.volume;
    EXPECT_NEAR(row.h, h, 1e-9);
  }
  // The line printed for the file names it with its features and areas.
  EXPECT_TRUE(contains(run.out, (folder / "fixed_h30.0.shp").string() + ": 9 features, Area ")) << run.out;
}

TEST(KernelCli, FieldsFeatureOrderAndValuesReadBackFromTheDbf) {
  TempFolder folder;
  orvex::test::writeCloud(folder.path(), "cloud", orvex::test::gaussianCloud(300, 50.0, 400000.0, 6000000.0));
  const auto run = kernel(folder, {"@/cloud.shp", "--h", "0.5"});
  ASSERT_EQ(run.exitCode, 0) << run.shown();
  const auto file = orvex::test::readKernelShapefile(folder / "kernel_cloud_h0.5.shp");
  ASSERT_TRUE(file.opened) << run.shown();

  // Field names, widths and decimals as the .dbf stores them (GDAL reads a 20-digit number
  // without decimals as a real).
  const struct {
    const char* name;
    int width, precision;
  } expected[] = {{"Volume", 20, 12}, {"Density", 20, 12}, {"KernType", 21, 0}, {"h", 20, 12},
                  {"href", 20, 12},   {"NPoints", 20, 0},  {"Area", 20, 12}};
  ASSERT_EQ(file.fields.size(), 7u);
  for (std::size_t i = 0; i < file.fields.size(); ++i) {
    SCOPED_TRACE(expected[i].name);
    EXPECT_EQ(file.fields[i].name, expected[i].name);
    EXPECT_EQ(file.fields[i].width, expected[i].width);
    EXPECT_EQ(file.fields[i].precision, expected[i].precision);
  }
  EXPECT_EQ(file.fields[2].type, OFTString);

  // Volume 0.9 first (the largest polygon), then downwards; unit variance, h = 0.5 href.
  ASSERT_EQ(file.rows.size(), 9u);
  const double href = std::pow(300.0, -1.0 / 6.0);
  for (std::size_t k = 0; k < file.rows.size(); ++k) {
    const auto& row = file.rows[k];
    EXPECT_NEAR(row.volume, 0.9 - 0.1 * static_cast<double>(k), 1e-7) << "single-precision levels";
    EXPECT_EQ(row.kernType, "Adaptive");
    EXPECT_NEAR(row.href, href, 1e-9);
    EXPECT_NEAR(row.h, 0.5 * href, 1e-9);
    EXPECT_EQ(row.nPoints, 300);
    EXPECT_NEAR(row.area, row.polygonArea, 1e-9 * row.polygonArea);
    if (k > 0) {
      EXPECT_LT(row.area, file.rows[k - 1].area);
    }
  }
}

TEST(KernelCli, AreasBeyondTheSchemasWidthAreWrittenWhole) {
  // A range of about 600 km sd: the 90 % polygon covers some 5e12 m2, whose "%.12f" text takes
  // 26 characters; the Area field is widened to hold it instead of cutting or starring it.
  TempFolder folder;
  orvex::test::writeCloud(folder.path(), "wide",
                          orvex::test::gaussianCloud(400, 600000.0, 500000.0, 5000000.0));
  const auto run = kernel(folder, {"@/wide.shp", "--h", "0.5", "--levels", "0.5, 0.9"});
  ASSERT_EQ(run.exitCode, 0) << run.shown();
  const auto file = orvex::test::readKernelShapefile(folder / "kernel_wide_h0.5.shp");
  ASSERT_EQ(file.rows.size(), 2u) << run.shown();
  EXPECT_GT(file.rows[0].area, 1e12);
  EXPECT_EQ(file.fields.back().name, "Area");
  EXPECT_GE(file.fields.back().width, 26);
  EXPECT_EQ(file.fields.back().precision, 12);
  // Read back to the full precision of the polygon's own area (relative 1e-12).
  for (const auto& row : file.rows) EXPECT_NEAR(row.area, row.polygonArea, 1e-12 * row.polygonArea);
}

// --- dialogs and refusals -------------------------------------------------------------------------

TEST(KernelCli, AnExistingOutputIsReplacedOnlyWithYes) {
  TempFolder folder;
  orvex::test::writeCloud(folder.path(), "cloud", orvex::test::gaussianCloud(100, 20.0));
  ASSERT_EQ(kernel(folder, {"@/cloud.shp", "--h", "1.0", "--levels", "0.5"}).exitCode, 0);
  const auto before = std::filesystem::last_write_time(folder / "kernel_cloud_h1.0.dbf");

  // Without --yes the existing file's run is skipped with a message; the new one is written.
  const auto skipped = kernel(folder, {"@/cloud.shp", "--h", "1.0, 0.5", "--levels", "0.5"});
  EXPECT_EQ(skipped.exitCode, 0) << skipped.shown();
  EXPECT_TRUE(contains(skipped.err, "kernel_cloud_h1.0.shp exists; run skipped (--yes replaces it)"))
      << skipped.shown();
  EXPECT_EQ(std::filesystem::last_write_time(folder / "kernel_cloud_h1.0.dbf"), before);
  EXPECT_TRUE(std::filesystem::exists(folder / "kernel_cloud_h0.5.shp"));
  EXPECT_FALSE(contains(skipped.out, "kernel_cloud_h1.0.shp:")) << "only files written are listed";

  const auto replaced = kernel(folder, {"--yes", "@/cloud.shp", "--h", "1.0", "--levels", "0.5"});
  EXPECT_EQ(replaced.exitCode, 0) << replaced.shown();
  EXPECT_TRUE(contains(replaced.out, "kernel_cloud_h1.0.shp: 1 feature, Area ")) << replaced.shown();
}

TEST(KernelCli, RefusedParametersAndUsageErrors) {
  TempFolder folder;
  orvex::test::writeCloud(folder.path(), "cloud", orvex::test::gaussianCloud(100, 20.0));
  const auto refused = kernel(folder, {"@/cloud.shp", "--h", "0.5,0"});
  EXPECT_EQ(refused.exitCode, 1) << refused.shown();
  EXPECT_TRUE(contains(refused.err, "Each h value must be a number greater than 0 (the list holds 0)."))
      << refused.shown();
  EXPECT_FALSE(std::filesystem::exists(folder / "kernel_cloud_h0.5.shp"));

  // The range of the resolution is the sheet's: a whole number outside it is refused there.
  const auto coarse = kernel(folder, {"@/cloud.shp", "--resolution", "39"});
  EXPECT_EQ(coarse.exitCode, 1) << coarse.shown();
  EXPECT_TRUE(contains(coarse.err, "40")) << coarse.shown();

  for (const std::vector<std::string>& args :
       std::vector<std::vector<std::string>>{{"--resolution", "1.5e3"},
                                             {"--std", "x"},
                                             {"--densify", "long"},
                                             {"--proportional", "--no-proportional"},
                                             {"--h-choice", "lscv", "--h", "0.5"}}) {
    std::vector<std::string> line{"@/cloud.shp"};
    line.insert(line.end(), args.begin(), args.end());
    EXPECT_EQ(kernel(folder, line).exitCode, 2) << args[0];
  }
}

TEST(KernelCli, InfoPrintsTheFirstPagesAndWritesNothing) {
  TempFolder folder;
  orvex::test::writeCloud(folder.path(), "cloud", orvex::test::gaussianCloud(64, 20.0), "Rex");
  const auto run = kernel(folder, {"@/cloud.shp", "--info", "--std", "none"});
  ASSERT_EQ(run.exitCode, 0) << run.shown();
  // href of 64 unstandardised fixes: sqrt((var x + var y) / 2) / 64^(1/6) (computed here).
  const std::string href =
      orvex::host::cformat("%.8g", orvex::test::hrefOf(orvex::test::gaussianCloud(64, 20.0)));
  for (const std::string& line :
       {std::string("Animal ID: Rex\nNumber of points for analysis: 64\nSwihart & Slade"),
        std::string(" (value < 1.6 or > 2.4 indicates significant autocorrelation)\n"),
        "Standardization: None\nh_ref: " + href + "\n"})
    EXPECT_TRUE(contains(run.out, line)) << line << run.shown();
  EXPECT_FALSE(std::filesystem::exists(folder / "kernel_cloud_h1.0.shp"));
}

TEST(KernelCli, ByRunsOncePerAnimalWithItsFixesSelected) {
  TempFolder folder;
  std::vector<orvex::test::TestFix> fixes;
  for (const auto& p : orvex::test::gaussianCloud(40, 20.0)) fixes.push_back({p.x, p.y, "ann"});
  for (const auto& p : orvex::test::gaussianCloud(25, 20.0, 1000.0, 0.0)) fixes.push_back({p.x, p.y, "bob"});
  orvex::test::writePoints(folder.path(), "two", fixes);
  const auto run = kernel(folder, {"@/two.shp", "--by", "AnimalID", "--h", "0.6", "--levels", "0.5"});
  ASSERT_EQ(run.exitCode, 0) << run.shown();
  for (const auto& [animal, count] : {std::pair{"ann", 40}, std::pair{"bob", 25}}) {
    const auto file =
        orvex::test::readKernelShapefile(folder / ("kernel_" + std::string(animal) + "_h0.6.shp"));
    ASSERT_EQ(file.rows.size(), 1u) << animal << run.shown();
    EXPECT_EQ(file.rows[0].nPoints, count);
  }
}

// --- real tracks ----------------------------------------------------------------------------------

std::filesystem::path sharedTrack(const std::string& name) {
  return std::filesystem::path(ORVEX_SHARED_DATA) / name / (name + ".shp");
}

TEST(KernelCliRealTracks, BearHomeRangeAtHref) {
  const auto bear = sharedTrack("bear");
  if (!std::filesystem::exists(bear)) GTEST_SKIP() << "shared data not found: " << bear;
  TempFolder folder;
  const auto info = kernel(folder, {bear.string(), "--info"});
  ASSERT_EQ(info.exitCode, 0) << info.shown();
  EXPECT_TRUE(contains(info.out, "Animal ID: W0208\nNumber of points for analysis: 1000\n")) << info.out;

  const auto run = kernel(folder, {bear.string(), "--h-choice", "href", "--out", "@/bear_{id}_{h}.shp"});
  ASSERT_EQ(run.exitCode, 0) << run.shown();
  const auto file = orvex::test::readKernelShapefile(folder / "bear_bear_1.0.shp");
  ASSERT_EQ(file.rows.size(), 9u) << run.shown();
  // 1000 fixes at unit variance: href = 1000^(-1/6) = 0.316228 (worked formula), h = href.
  for (const auto& row : file.rows) {
    EXPECT_EQ(row.nPoints, 1000);
    EXPECT_NEAR(row.href, std::pow(1000.0, -1.0 / 6.0), 1e-9);
    EXPECT_NEAR(row.h, row.href, 1e-9);
  }
}

TEST(KernelCliRealTracks, AlbatrossesOneFilePerAnimalWithWideAreas) {
  const auto albatross = sharedTrack("albatross");
  if (!std::filesystem::exists(albatross)) GTEST_SKIP() << "shared data not found: " << albatross;
  TempFolder folder;
  const auto run = kernel(folder, {albatross.string(), "--by", "AnimalID", "--h", "0.5", "--kernel", "fixed",
                                   "--levels", "0.5, 0.95", "--out", "@/{id}.shp"});
  ASSERT_EQ(run.exitCode, 0) << run.shown();
  // Fix counts per animal from the data set's README.
  for (const auto& [animal, count] :
       {std::pair{"balise.11378", 930}, std::pair{"balise.11380", 574}, std::pair{"balise.16256", 690},
        std::pair{"balise.25070", 813}, std::pair{"balise.8196", 726}, std::pair{"balise.8337", 667}}) {
    SCOPED_TRACE(animal);
    const auto file = orvex::test::readKernelShapefile(folder / (std::string(animal) + ".shp"));
    ASSERT_EQ(file.rows.size(), 2u) << run.shown();
    EXPECT_EQ(file.rows[0].nPoints, count);
    // Ocean-wide ranges: the 95 % polygon covers more than 10^11 m2, written whole.
    EXPECT_GT(file.rows[0].area, 1e11);
    EXPECT_NEAR(file.rows[0].area, file.rows[0].polygonArea, 1e-12 * file.rows[0].polygonArea);
  }
}

}  // namespace
