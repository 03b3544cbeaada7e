// A raster just written is not read back from its file: statistics, row reads and contours come
// from the cells the writer gave. Every answer must be the one the file gives.

#include <gtest/gtest.h>

#include <gdal_priv.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>
#include <random>
#include <span>
#include <string>
#include <vector>

#include "platform/gdal/gdal_platform.h"
#include "platform/gdal/gdal_session.h"
#include "platform/gdal/raster_grid.h"
#include "support/temp_folder.h"

namespace gdal = orvex::platform::gdal;
namespace host = orvex::host;
using orvex::test::TempFolder;

namespace {

constexpr int kColumns = 61;
constexpr int kRows = 47;
constexpr int kBlockRows = 10;

/// The running statistics of `cells` fed in one block.
std::optional<gdal::BandStatistics> statisticsOfCells(std::span<const float> cells) {
  gdal::RunningStatistics statistics;
  statistics.add(cells);
  return statistics.result();
}

// A bump of height `peak` over a floor of zeros with a ripple, so that contours at several
// levels have corners, saddles and edge crossings.
std::vector<float> bumpCells(double peak) {
  std::vector<float> cells;
  for (int r = 0; r < kRows; ++r) {
    for (int c = 0; c < kColumns; ++c) {
      const double d2 = (c - 25.3) * (c - 25.3) + (r - 20.7) * (r - 20.7);
      const double v = std::exp(-d2 / 150.0) * (1.0 + 0.3 * std::sin(c * 0.7) * std::cos(r * 0.5)) - 0.05;
      cells.push_back(static_cast<float>(peak * std::max(v, 0.0)));
    }
  }
  return cells;
}

host::RasterSpec specNamed(const std::string& name) {
  host::RasterSpec spec;
  spec.name = name;
  spec.originX = 300000;
  spec.originY = 5000000;
  spec.cellSize = 250;
  spec.rows = kRows;
  spec.columns = kColumns;
  return spec;
}

// The statistics items stored in the file (minimum, maximum, mean, standard deviation, valid
// percent); an item missing reads as -1.
std::vector<double> storedStatistics(const std::filesystem::path& tif) {
  GDALDatasetUniquePtr ds(GDALDataset::Open(tif.c_str(), GDAL_OF_RASTER | GDAL_OF_READONLY));
  std::vector<double> items;
  for (const char* name : {"STATISTICS_MINIMUM", "STATISTICS_MAXIMUM", "STATISTICS_MEAN", "STATISTICS_STDDEV",
                           "STATISTICS_VALID_PERCENT"}) {
    const char* value = ds->GetRasterBand(1)->GetMetadataItem(name);
    items.push_back(value != nullptr ? std::stod(value) : -1.0);
  }
  return items;
}

// GDAL's own pass over a raster of these cells, for comparison.
gdal::BandStatistics gdalStatistics(const std::vector<float>& cells, int columns) {
  gdal::ensureGdalReady();
  GDALDriver* memory = GetGDALDriverManager()->GetDriverByName("MEM");
  const int rows = static_cast<int>(cells.size()) / columns;
  GDALDatasetUniquePtr ds(memory->Create("", columns, rows, 1, GDT_Float32, nullptr));
  std::vector<float> copy = cells;
  EXPECT_EQ(ds->GetRasterBand(1)->RasterIO(GF_Write, 0, 0, columns, rows, copy.data(), columns, rows,
                                           GDT_Float32, 0, 0, nullptr),
            CE_None);
  return gdal::computeStatistics(*ds->GetRasterBand(1));
}

}  // namespace

// The statistics taken from the cells are printed into the file with 14 digits beside those of
// GDAL's own pass over a file: minimum and maximum the same bits, mean and standard deviation
// within 1e-13 of the largest magnitude (both passes err by a few units in the 16th digit).
TEST(RasterCells, StatisticsAgreeWithGdalsPass) {
  std::mt19937_64 random(11);
  std::lognormal_distribution<double> spread(-18.0, 4.0);
  std::vector<float> mixed(50000);
  for (float& v : mixed)
    v = (random() % 3 == 0) ? 0.0f : static_cast<float>(spread(random) * ((random() & 1) ? 1 : -1));
  const float tiny = std::numeric_limits<float>::denorm_min();
  const struct {
    const char* what;
    std::vector<float> cells;
    int columns;
  } cases[] = {
      {"density bump", bumpCells(6.9e-7), kColumns},
      {"mixed signs and magnitudes", mixed, 100},
      {"one cell", {3.5f}, 1},
      {"constant", std::vector<float>(30000, 0.1f), 300},
      {"subnormals", {tiny, 0.0f, 5 * tiny, tiny}, 2},
      {"offset far from zero", std::vector<float>(9000, 1e6f), 90},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const auto ours = statisticsOfCells(c.cells);
    ASSERT_TRUE(ours.has_value());
    const gdal::BandStatistics theirs = gdalStatistics(c.cells, c.columns);
    const double tolerance = 1e-13 * std::max(std::fabs(theirs.minimum), std::fabs(theirs.maximum));
    EXPECT_EQ(ours->minimum, theirs.minimum);
    EXPECT_EQ(ours->maximum, theirs.maximum);
    EXPECT_NEAR(ours->mean, theirs.mean, tolerance);
    EXPECT_NEAR(ours->standardDeviation, theirs.standardDeviation, tolerance);
  }
  // A constant band has no spread at all, not a rounding residue.
  EXPECT_EQ(statisticsOfCells(std::vector<float>(30000, 0.1f))->standardDeviation, 0.0);
  // Fed in uneven blocks, as rows arrive, the running statistics are the same bits.
  for (const std::size_t step : {777, 4096, 10000}) {
    gdal::RunningStatistics blocks;
    for (std::size_t first = 0; first < mixed.size(); first += step)
      blocks.add(std::span(mixed).subspan(first, std::min<std::size_t>(step, mixed.size() - first)));
    const auto whole = statisticsOfCells(mixed);
    EXPECT_EQ(blocks.result()->mean, whole->mean);
    EXPECT_EQ(blocks.result()->standardDeviation, whole->standardDeviation);
  }
  // NaN cells and empty bands are left to GDAL's own pass.
  EXPECT_FALSE(statisticsOfCells(std::vector<float>{1.0f, std::nanf(""), 2.0f}).has_value());
  EXPECT_FALSE(statisticsOfCells({}).has_value());
}

// The same raster written top down (its cells kept) and bottom up a row at a time
// (the copy dropped: everything read from the file) gives, asked while it is still open, the
// same rows and contour vertices, and the same statistics stored in the file once it is
// closed, for ordinary values and for densities small enough to be contoured through a scaled
// copy.
TEST(RasterCells, KeptCellsAnswerAsTheFileDoes) {
  for (const double peak : {100.0, 6.9e-7}) {
    SCOPED_TRACE(peak);
    const std::vector<float> cells = bumpCells(peak);
    const std::vector<double> levels{0.5 * peak, 0.2 * peak, 0.03 * peak};
    TempFolder kept("kept");
    TempFolder read("read");
    struct Answers {
      std::vector<double> statistics;
      std::vector<float> rows;
      std::vector<host::ContourLine> lines;
    };
    auto answers = [&](const std::filesystem::path& folder, bool topDown) {
      auto ws = gdal::openRasterWorkspace(folder);
      Answers a{{}, std::vector<float>(cells.size()), {}};
      {
        auto band = ws->createRaster(specNamed("ud"))->band(0);
        if (topDown) {
          // Blocks of rows, as the KDE tool writes: the statistics follow block by block.
          for (int r = 0; r < kRows; r += kBlockRows) {
            const int count = std::min(kBlockRows, kRows - r);
            band->writeRows(r, count,
                            std::span(cells).subspan(static_cast<std::size_t>(r) * kColumns,
                                                     static_cast<std::size_t>(count) * kColumns));
          }
        } else {
          for (int r = kRows - 1; r >= 0; --r)
            band->writeRows(r, 1, std::span(cells).subspan(static_cast<std::size_t>(r) * kColumns, kColumns));
        }
        band->computeStatistics();
        a.lines = band->contour(levels);
        band->readRows(0, kRows, a.rows);
      }
      a.statistics = storedStatistics(folder / "ud.tif");
      return a;
    };
    const Answers fromCells = answers(kept.path(), true);
    const Answers fromFile = answers(read.path(), false);
    // The file route is GDAL's own pass: see StatisticsAgreeWithGdalsPass for the tolerance.
    ASSERT_EQ(fromCells.statistics.size(), 5u);
    for (const std::size_t exact : {0, 1, 4})
      EXPECT_EQ(fromCells.statistics[exact], fromFile.statistics[exact]);
    for (const std::size_t near : {2, 3})
      EXPECT_NEAR(fromCells.statistics[near], fromFile.statistics[near], 1e-13 * peak);
    EXPECT_EQ(fromCells.rows, cells);
    EXPECT_EQ(fromFile.rows, cells);
    ASSERT_EQ(fromCells.lines.size(), fromFile.lines.size());
    ASSERT_GE(fromCells.lines.size(), levels.size());
    for (std::size_t i = 0; i < fromCells.lines.size(); ++i) {
      EXPECT_EQ(fromCells.lines[i].contour, fromFile.lines[i].contour);
      EXPECT_EQ(fromCells.lines[i].line.paths, fromFile.lines[i].line.paths);
    }
  }
}
