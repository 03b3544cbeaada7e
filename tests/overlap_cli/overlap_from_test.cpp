// `orvex overlap --from`: the UDs the real estimators make from fixes, compared as the same
// rasters given by name would be; and KDE rasters read as densities whatever scaling they were
// written with.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <memory>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "platform/gdal/raster_grid.h"
#include "support/orvex_process.h"
#include "support/temp_folder.h"

namespace orvex {
namespace {

namespace fs = std::filesystem;

constexpr const char* kIndexNames[] = {"HR", "PHR", "VI", "BA", "UDOI", "HD"};

/// A CSV matrix as the command writes it: its header line, then each row's name and numbers.
struct Matrix {
  std::string header;
  std::vector<std::string> animals;
  std::vector<double> values;
};

Matrix readMatrix(const fs::path& path) {
  Matrix matrix;
  std::ifstream in(path);
  std::getline(in, matrix.header);
  for (std::string line; std::getline(in, line);) {
    std::istringstream cells(line);
    std::string cell;
    std::getline(cells, cell, ',');
    matrix.animals.push_back(cell);
    while (std::getline(cells, cell, ',')) matrix.values.push_back(std::stod(cell));
  }
  return matrix;
}

/// The GeoTIFFs of a folder, by name.
std::vector<std::string> rastersIn(const fs::path& folder) {
  std::vector<std::string> rasters;
  for (const auto& entry : fs::directory_iterator(folder))
    if (entry.path().extension() == ".tif") rasters.push_back(entry.path().string());
  std::sort(rasters.begin(), rasters.end());
  return rasters;
}

/// Three simulated animals of 200 fixes, made once; every run's TEMP is a folder of the test,
/// so that a scratch folder left behind shows.
class OverlapFromFixes : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    data_ = std::make_unique<test::TempFolder>("overlap_from_data");
    const test::OrvexRun run = test::runOrvex(
        data_->path(), {"simulate", "--out", data_->path().string(), "--fixes", "200", "--seed", "3"});
    ASSERT_EQ(run.exitCode, 0) << run.shown();
  }
  static void TearDownTestSuite() { data_.reset(); }

  void SetUp() override { fs::create_directories(temp_); }

  static std::string fixes() { return (data_->path() / "fixes.shp").string(); }

  test::OrvexRun orvex(std::vector<std::string> args) const {
    return test::runOrvex(dir_.path(), args, {{"TEMP", temp_.string()}});
  }
  /// `orvex overlap` on `inputs` into `out`, which must succeed.
  void overlap(std::vector<std::string> inputs, const fs::path& out) const {
    std::vector<std::string> args{"overlap", "--out-dir", out.string()};
    args.insert(args.end(), inputs.begin(), inputs.end());
    const test::OrvexRun run = orvex(args);
    ASSERT_EQ(run.exitCode, 0) << run.shown();
  }
  bool scratchLeft() const { return !fs::is_empty(temp_); }

  static inline std::unique_ptr<test::TempFolder> data_;
  test::TempFolder dir_{"overlap_from"};
  fs::path temp_ = dir_ / "temp";
};

TEST_F(OverlapFromFixes, KdeUdsGiveTheSameIndicesWhateverTheirScalingAndWhoeverMadeThem) {
  for (const char* scaling : {"1", "1000000"}) {
    const test::OrvexRun kde =
        orvex({"kde", fixes(), "--id", "AnimalID", "--bandwidth", "href", "--scaling", scaling, "--out-dir",
               (dir_ / ("kde" + std::string(scaling))).string()});
    ASSERT_EQ(kde.exitCode, 0) << kde.shown();
    overlap(rastersIn(dir_ / ("kde" + std::string(scaling))), dir_ / ("scaled" + std::string(scaling)));
  }
  const test::OrvexRun from =
      orvex({"overlap", "--from", fixes(), "--id", "AnimalID", "--bandwidth", "href", "--keep-uds",
             (dir_ / "kept").string(), "--out-dir", (dir_ / "from").string(), "--json"});
  ASSERT_EQ(from.exitCode, 0) << from.shown();
  EXPECT_FALSE(scratchLeft());
  overlap(rastersIn(dir_ / "kept"), dir_ / "again");

  const std::vector<std::string> animals{"A1", "A2", "A3"};
  const nlohmann::json summary = nlohmann::json::parse(from.out);
  ASSERT_EQ(summary["outputs"].size(), 9u) << from.out;  // three kept UDs, six tables
  for (std::size_t i = 0; i < 3; ++i) EXPECT_EQ(summary["outputs"][i]["animal"], animals[i]);
  for (std::size_t index = 0; index < 6; ++index) {
    const std::string csv = std::string(kIndexNames[index]) + ".csv";
    EXPECT_EQ(summary["outputs"][3 + index]["animals"], animals);
    const Matrix unscaled = readMatrix(dir_ / "scaled1" / csv),
                 scaled = readMatrix(dir_ / "scaled1000000" / csv);
    const Matrix made = readMatrix(dir_ / "from" / csv), kept = readMatrix(dir_ / "again" / csv);
    EXPECT_EQ(made.animals, animals);
    EXPECT_EQ(kept.header, made.header);
    ASSERT_EQ(made.values.size(), 9u);
    for (std::size_t k = 0; k < 9; ++k) {
      // Tolerance 0: the same Float32 cells divided by the same recorded scaling.
      EXPECT_EQ(made.values[k], scaled.values[k]) << csv << " cell " << k;
      EXPECT_EQ(kept.values[k], made.values[k]) << csv << " cell " << k;
      // Cells of d and of 1e6 d each rounded to Float32 (relative 2^-24 each): sums of them
      // agree to well within 1e-6 relative.
      EXPECT_NEAR(scaled.values[k], unscaled.values[k], 1e-6 * std::max(1.0, std::abs(unscaled.values[k])))
          << csv << " cell " << k;
    }
  }
}

TEST_F(OverlapFromFixes, BridgesMadeFromTheFixesAreComparedAsTheyStand) {
  overlap(
      {"--from", fixes(), "--id", "AnimalID", "--estimator", "bbmm", "--sigma2", "15", "--method", "VI,HD"},
      dir_ / "bbmm");
  EXPECT_FALSE(scratchLeft());
  const Matrix vi = readMatrix(dir_ / "bbmm" / "VI.csv"), hd = readMatrix(dir_ / "bbmm" / "HD.csv");
  ASSERT_EQ(vi.values.size(), 9u);
  for (std::size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(hd.values[i * 4], 0.0);  // an animal against itself: exactly 0
    for (std::size_t j = 0; j < 3; ++j) EXPECT_EQ(vi.values[i * 3 + j], vi.values[j * 3 + i]);
  }
  EXPECT_FALSE(fs::exists(dir_ / "bbmm" / "HR.csv"));
}

TEST_F(OverlapFromFixes, RefusesBadRequestsWithTheirExitCode) {
  const fs::path out = dir_ / "out";
  fs::create_directories(dir_ / "kept");
  std::ofstream(dir_ / "kept" / "A2.tif") << "kept\n";
  host::RasterSpec grid{.cellSize = 10.0, .rows = 2, .columns = 2, .densityScaling = 0.0};
  platform::gdal::createFloatGeoTiff(dir_ / "zero.tif", grid, nullptr);
  grid.densityScaling.reset();
  platform::gdal::createFloatGeoTiff(dir_ / "plain.tif", grid, nullptr);
  const std::string zero = (dir_ / "zero.tif").string(), plain = (dir_ / "plain.tif").string();
  const std::vector<std::string> from{"--from", fixes(), "--id", "AnimalID"};
  const auto with = [&](std::vector<std::string> more) {
    std::vector<std::string> args = from;
    args.insert(args.end(), more.begin(), more.end());
    return args;
  };
  struct Case {
    std::vector<std::string> args;
    int exit;
    std::string message;
  };
  const std::vector<Case> cases{
      {{}, 2, "two or more UD rasters, or --from"},
      {with({plain}), 2, "not both"},
      {{"--from", fixes()}, 2, "--id FIELD"},
      {{plain, zero, "--keep-uds", "k"}, 2, "--keep-uds belongs to --from"},
      {with({"--sigma2", "15"}), 2, "--sigma2 belongs to --estimator bbmm"},
      {with({"--estimator", "bbmm", "--sigma2", "15", "--rescale"}), 2,
       "--rescale belongs to --estimator kde"},
      {with({"--estimator", "bbmm"}), 2, "location error"},
      {with({"--extent", "min"}), 2, "one grid"},
      {with({"--bandwidth", "manual:100,200"}), 2, "one value"},
      {{plain, zero}, 1, "density scaling of '0'"},
      {{"--from", fixes(), "--id", "NoSuchField", "--bandwidth", "href"}, 1, "NoSuchField"},
      {with({"--bandwidth", "href", "--where", "AnimalID = 'A1'"}), 1, "1 UD made from"},
      {with({"--bandwidth", "href", "--keep-uds", (dir_ / "kept").string()}), 1, "--yes replaces it"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args{"overlap", "--out-dir", out.string()};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const test::OrvexRun run = orvex(args);
    EXPECT_EQ(run.exitCode, c.exit) << run.shown();
    EXPECT_NE(run.err.find(c.message), std::string::npos) << run.shown();
    EXPECT_FALSE(scratchLeft()) << run.shown();
  }
  EXPECT_EQ(test::readAll(dir_ / "kept" / "A2.tif"), "kept\n");
  EXPECT_FALSE(fs::exists(dir_ / "kept" / "A1.tif"));
  EXPECT_FALSE(fs::exists(out / "HR.csv"));
}

}  // namespace
}  // namespace orvex
