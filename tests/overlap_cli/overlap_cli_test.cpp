// `orvex overlap` end to end: the CSV matrices it writes hold, to the last bit, the indices that
// range::overlap_indices gives on the same arrays.

#include <gdal_priv.h>
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "platform/gdal/raster_grid.h"
#include "range/overlap/common_grid.h"
#include "range/overlap/overlap_indices.h"
#include "support/orvex_process.h"
#include "support/temp_folder.h"

namespace orvex {
namespace {

namespace fs = std::filesystem;

constexpr const char* kIndexNames[] = {"HR", "PHR", "VI", "BA", "UDOI", "HD"};

/// Writes a Float32 GeoTIFF of `values` (row 0 northernmost) and returns the cells as the
/// command must read them: float-rounded, and 0 where the cell holds `noData`.
std::vector<double> writeTiff(const fs::path& path, const range::UdGrid& grid,
                              const std::vector<float>& values, std::optional<double> noData = std::nullopt) {
  host::RasterSpec spec;
  spec.originX = grid.origin_x;
  spec.originY = grid.origin_y;
  spec.cellSize = grid.cell_size;
  spec.columns = static_cast<int>(grid.columns);
  spec.rows = static_cast<int>(grid.rows);
  const auto dataset = platform::gdal::createFloatGeoTiff(path, spec, nullptr);
  GDALRasterBand& band = *dataset->GetRasterBand(1);
  if (noData) band.SetNoDataValue(*noData);
  platform::gdal::writeRows(band, 0, spec.rows, values);
  std::vector<double> read;
  for (const float v : values)
    read.push_back(noData && static_cast<double>(v) == *noData ? 0.0 : static_cast<double>(v));
  return read;
}

/// The numbers of a CSV matrix written by the command, row by row, after checking its names.
std::vector<double> readMatrix(const fs::path& path, const std::vector<std::string>& animals) {
  std::ifstream in(path);
  std::string line;
  std::getline(in, line);
  std::string header = "animal";
  for (const std::string& animal : animals) header += "," + animal;
  EXPECT_EQ(line, header) << path;
  std::vector<double> values;
  for (const std::string& animal : animals) {
    std::getline(in, line);
    std::istringstream cells(line);
    std::string cell;
    std::getline(cells, cell, ',');
    EXPECT_EQ(cell, animal) << path;
    while (std::getline(cells, cell, ',')) values.push_back(cell == "NaN" ? std::nan("") : std::stod(cell));
  }
  return values;
}

/// Two overlapping bumps and a third raster on a grid twice as coarse, aligned with theirs but
/// a row taller: the command must resample all three as resample_ud does.
class OverlapCommand : public ::testing::Test {
 protected:
  void SetUp() override {
    const range::UdGrid fine{
        .origin_x = 100.0, .origin_y = 200.0, .cell_size = 10.0, .columns = 6, .rows = 5};
    const range::UdGrid coarse{
        .origin_x = 100.0, .origin_y = 200.0, .cell_size = 20.0, .columns = 3, .rows = 3};
    std::vector<float> a, b, c;
    for (std::size_t r = 0; r < fine.rows; ++r)
      for (std::size_t col = 0; col < fine.columns; ++col) {
        const double dx = static_cast<double>(col), dy = static_cast<double>(r);
        a.push_back(static_cast<float>(1e-3 * std::exp(-((dx - 2) * (dx - 2) + (dy - 2) * (dy - 2)) / 3)));
        b.push_back(
            static_cast<float>(1e-3 * std::exp(-((dx - 3.5) * (dx - 3.5) + (dy - 1) * (dy - 1)) / 2)));
      }
    b[0] = -9999.0f;  // no-data: read as 0
    for (std::size_t i = 0; i < coarse.cell_count(); ++i)
      c.push_back(static_cast<float>(1e-4 * static_cast<double>(1 + i % 4)));
    uds_ = {writeTiff(dir_ / "ewe.tif", fine, a), writeTiff(dir_ / "ram.tif", fine, b, -9999.0),
            writeTiff(dir_ / "lamb.tif", coarse, c)};
    const range::UdGrid common = range::finest_common_grid(std::vector<range::UdGrid>{fine, fine, coarse});
    const range::UdGrid grids[] = {fine, fine, coarse};
    for (std::size_t i = 0; i < 3; ++i) uds_[i] = range::resample_ud(uds_[i], grids[i], common);
    grid_ = common;
  }

  std::vector<std::string> rasters() const {
    return {(dir_ / "ewe.tif").string(), (dir_ / "ram.tif").string(), (dir_ / "lamb.tif").string()};
  }

  test::TempFolder dir_{"overlap_cli"};
  std::vector<std::vector<double>> uds_;
  range::UdGrid grid_;
};

TEST_F(OverlapCommand, CsvMatricesAreTheIndicesOfTheArraysExactly) {
  const std::vector<std::string> animals{"ewe", "ram", "lamb"};
  const std::vector<std::span<const double>> views(uds_.begin(), uds_.end());
  for (const bool conditional : {false, true}) {
    const fs::path out = dir_ / (conditional ? "conditional" : "plain");
    std::vector<std::string> args{"overlap"};
    for (const std::string& raster : rasters()) args.push_back(raster);
    args.insert(args.end(), {"--percent", "90", "--out-dir", out.string(), "--json"});
    if (conditional) args.push_back("--conditional");
    const test::OrvexRun run = test::runOrvex(dir_.path(), args);
    ASSERT_EQ(run.exitCode, 0) << run.shown();
    EXPECT_NE(run.err.find("finest common grid"), std::string::npos) << run.err;

    const range::OverlapMatrices expected =
        range::overlap_indices(views, grid_, {.percent = 90.0, .conditional = conditional, .threads = 1});
    const nlohmann::json summary = nlohmann::json::parse(run.out);
    ASSERT_EQ(summary["outputs"].size(), 6u) << run.out;
    for (std::size_t index = 0; index < 6; ++index) {
      const std::vector<double> csv = readMatrix(out / (std::string(kIndexNames[index]) + ".csv"), animals);
      const nlohmann::json& table = summary["outputs"][index];
      EXPECT_EQ(table["kind"], "table");
      EXPECT_EQ(table["index"], kIndexNames[index]);
      EXPECT_EQ(table["conditional"], conditional);
      EXPECT_EQ(table["animals"], animals);
      ASSERT_EQ(csv.size(), 9u);
      for (std::size_t k = 0; k < 9; ++k) {
        // Tolerance 0: the CSV keeps 17 significant digits, which read back as the same double.
        EXPECT_EQ(csv[k], expected.values[index][k]) << kIndexNames[index] << " cell " << k;
        EXPECT_EQ(table["values"][k / 3][k % 3].get<double>(), csv[k]);
      }
    }
  }
}

TEST_F(OverlapCommand, RefusesBadRequestsWithTheirExitCode) {
  const fs::path out = dir_ / "out";
  const std::string one = rasters()[0], two = rasters()[1];
  fs::create_directories(out);
  std::ofstream(out / "VI.csv") << "kept\n";
  std::ofstream(dir_ / "broken.tif") << "not a raster\n";
  struct Case {
    std::vector<std::string> args;
    int exit;
    std::string message;
  };
  const std::vector<Case> cases{
      {{one}, 2, "rasters"},
      {{one, two, "--percent", "0"}, 2, "(0, 100]"},
      {{one, two, "--percent", "100.5"}, 2, "(0, 100]"},
      {{one, two, "--method", "HR,XX"}, 2, "HR, PHR"},
      {{one, (dir_ / "broken.tif").string(), "--method", "HR"}, 1, "broken.tif"},
      {{one, (dir_ / "missing.tif").string(), "--method", "HR"}, 1, "missing.tif"},
      {{one, two, "--method", "VI"}, 1, "--yes replaces it"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args{"overlap"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    args.insert(args.end(), {"--out-dir", out.string()});
    const test::OrvexRun run = test::runOrvex(dir_.path(), args);
    EXPECT_EQ(run.exitCode, c.exit) << run.shown();
    EXPECT_NE(run.err.find(c.message), std::string::npos) << run.shown();
  }
  EXPECT_EQ(test::readAll(out / "VI.csv"), "kept\n");
  EXPECT_FALSE(fs::exists(out / "HR.csv"));
}

}  // namespace
}  // namespace orvex
