// GeoTIFF grids and contour lines, read back through GDAL directly.

#include <cpl_string.h>
#include <gdal_alg.h>
#include <gtest/gtest.h>
#include <ogrsf_frmts.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iterator>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "platform/gdal/contour_lines.h"
#include "platform/gdal/raster_grid.h"
#include "platform/gdal/spatial_refs.h"
#include "support/temp_folder.h"

namespace gdal = orvex::platform::gdal;
using orvex::test::TempFolder;

namespace {

/// A 7 x 5 grid (columns x rows) with cell size 10 whose lower-left corner is (500, 4000).
orvex::host::RasterSpec smallGrid() {
  return {.originX = 500.0, .originY = 4000.0, .cellSize = 10.0, .rows = 5, .columns = 7};
}

/// Value of cell (column, row) in the filled test grids: unique per cell.
float cellValue(int column, int row) { return static_cast<float>(row * 100 + column) + 0.25f; }

void fillRows(GDALRasterBand& band, int columns, int rows) {
  std::vector<float> values;
  for (int r = 0; r < rows; ++r)
    for (int c = 0; c < columns; ++c) values.push_back(cellValue(c, r));
  gdal::writeRows(band, 0, rows, values);
}

}  // namespace

TEST(GeoTiffGrid, WritesGeoreferencingSpatialReferenceAndValues) {
  TempFolder dir;
  const auto path = dir / "ud.tif";
  const auto grid = smallGrid();
  {
    auto srs = gdal::srsFromEpsg(32633);
    auto ds = gdal::createFloatGeoTiff(path, grid, srs.get());
    fillRows(*ds->GetRasterBand(1), grid.columns, grid.rows);
  }
  // Independent read with GDAL's C API.
  GDALDatasetH h = GDALOpen(path.string().c_str(), GA_ReadOnly);
  ASSERT_NE(h, nullptr);
  EXPECT_STREQ(GDALGetDriverShortName(GDALGetDatasetDriver(h)), "GTiff");
  EXPECT_EQ(GDALGetRasterXSize(h), 7);
  EXPECT_EQ(GDALGetRasterYSize(h), 5);
  EXPECT_EQ(GDALGetRasterCount(h), 1);
  GDALRasterBandH band = GDALGetRasterBand(h, 1);
  EXPECT_EQ(GDALGetRasterDataType(band), GDT_Float32);
  int hasNoData = 0;
  GDALGetRasterNoDataValue(band, &hasNoData);
  EXPECT_FALSE(hasNoData);
  double t[6];
  ASSERT_EQ(GDALGetGeoTransform(h, t), CE_None);
  // Top-left corner = lower-left origin + rows * cell size; exact in binary.
  EXPECT_EQ(t[0], 500.0);
  EXPECT_EQ(t[3], 4050.0);
  EXPECT_EQ(t[1], 10.0);
  EXPECT_EQ(t[5], -10.0);
  OGRSpatialReference written(GDALGetProjectionRef(h));
  EXPECT_NE(std::string(written.GetName()).find("UTM zone 33N"), std::string::npos);
  float topRight = 0;
  float bottomLeft = 0;
  ASSERT_EQ(GDALRasterIO(band, GF_Read, 6, 0, 1, 1, &topRight, 1, 1, GDT_Float32, 0, 0), CE_None);
  ASSERT_EQ(GDALRasterIO(band, GF_Read, 0, 4, 1, 1, &bottomLeft, 1, 1, GDT_Float32, 0, 0), CE_None);
  EXPECT_EQ(topRight, cellValue(6, 0));  // row 0 is the top row
  EXPECT_EQ(bottomLeft, cellValue(0, 4));
  GDALClose(h);
}

TEST(GeoTiffGrid, ReopensWithItsGridAndReadsBlocksAndStatistics) {
  TempFolder dir;
  const auto path = dir / "g.tif";
  const auto grid = smallGrid();
  {
    auto ds = gdal::createFloatGeoTiff(path, grid, nullptr);
    fillRows(*ds->GetRasterBand(1), grid.columns, grid.rows);
  }
  auto ds = gdal::openRaster(path, false);
  const auto back = gdal::gridOf(*ds);
  EXPECT_EQ(back.originX, 500.0);
  EXPECT_EQ(back.originY, 4000.0);
  EXPECT_EQ(back.cellSize, 10.0);
  EXPECT_EQ(back.rows, 5);
  EXPECT_EQ(back.columns, 7);

  std::vector<float> row(3);
  gdal::readBlock(*ds->GetRasterBand(1), 2, 3, 3, 1, row);
  EXPECT_EQ(row, (std::vector<float>{cellValue(2, 3), cellValue(3, 3), cellValue(4, 3)}));

  // Every cell counts: minimum is cell (0, 0), maximum cell (6, 4); mean of r*100+c+0.25
  // over the grid is 2*100 + 3 + 0.25 (worked by hand).
  const auto s = gdal::computeStatistics(*ds->GetRasterBand(1));
  EXPECT_DOUBLE_EQ(s.minimum, 0.25);
  EXPECT_DOUBLE_EQ(s.maximum, 406.25);
  EXPECT_NEAR(s.mean, 203.25, 1e-9);
}

// Whole strips are handed to the driver without the block cache: the file must hold the same
// bytes as GDAL's cached writing gives, and a block cached by an earlier read must not come back
// over rows written since. Rows of 61 cells share a strip; rows of 3,000 cells have one each.
TEST(GeoTiffGrid, WholeStripsWrittenDirectlyMakeTheSameFile) {
  for (const int columns : {61, 3000}) {
    SCOPED_TRACE(columns);
    TempFolder dir;
    const orvex::host::RasterSpec grid{
        .originX = 500.0, .originY = 4000.0, .cellSize = 10.0, .rows = 70, .columns = columns};
    std::vector<float> first;
    for (int i = 0; i < grid.rows * columns; ++i) first.push_back(static_cast<float>(i % 977) * 0.5f);
    const std::vector<float> second(static_cast<std::size_t>(columns) * 40, -3.0f);
    std::vector<float> expected = first;
    std::copy(second.begin(), second.end(), expected.begin());
    const auto write = [&](const std::filesystem::path& path, bool throughGdal) {
      auto ds = gdal::createFloatGeoTiff(path, grid, nullptr);
      GDALRasterBand& band = *ds->GetRasterBand(1);
      std::vector<float> row(static_cast<std::size_t>(columns));
      if (throughGdal) {
        ASSERT_EQ(band.RasterIO(GF_Write, 0, 0, columns, grid.rows, first.data(), columns, grid.rows,
                                GDT_Float32, 0, 0, nullptr),
                  CE_None);
        gdal::readBlock(band, 0, 5, columns, 1, row);
        auto again = second;
        ASSERT_EQ(
            band.RasterIO(GF_Write, 0, 0, columns, 40, again.data(), columns, 40, GDT_Float32, 0, 0, nullptr),
            CE_None);
      } else {
        gdal::writeRows(band, 0, grid.rows, first);
        gdal::readBlock(band, 0, 5, columns, 1, row);  // caches the block of row 5
        gdal::writeRows(band, 0, 40, second);
      }
      std::vector<float> all(expected.size());
      gdal::readBlock(band, 0, 0, columns, grid.rows, all);
      EXPECT_EQ(all, expected);
    };
    write(dir / "direct.tif", false);
    write(dir / "cached.tif", true);
    std::ifstream direct(dir / "direct.tif", std::ios::binary);
    std::ifstream cached(dir / "cached.tif", std::ios::binary);
    EXPECT_TRUE(
        std::equal(std::istreambuf_iterator<char>(direct), {}, std::istreambuf_iterator<char>(cached), {}));
  }
}

// Cells never written read 0, while the raster is open and after it is closed.
TEST(GeoTiffGrid, CellsNeverWrittenAreZero) {
  TempFolder dir;
  const auto path = dir / "g.tif";
  const auto grid = smallGrid();
  const std::vector<float> zeros(static_cast<std::size_t>(grid.columns), 0.0f);
  std::vector<float> row(static_cast<std::size_t>(grid.columns));
  {
    auto ds = gdal::createFloatGeoTiff(path, grid, nullptr);
    gdal::writeRows(*ds->GetRasterBand(1), 1, 1, std::vector<float>(row.size(), 5.0f));
    gdal::readBlock(*ds->GetRasterBand(1), 0, 3, grid.columns, 1, row);
    EXPECT_EQ(row, zeros);
  }
  auto ds = gdal::openRaster(path, false);
  for (int r : {0, 2, 4}) {
    gdal::readBlock(*ds->GetRasterBand(1), 0, r, grid.columns, 1, row);
    EXPECT_EQ(row, zeros) << "row " << r;
  }
  const auto s = gdal::computeStatistics(*ds->GetRasterBand(1));
  EXPECT_EQ(s.minimum, 0.0);
  EXPECT_EQ(s.maximum, 5.0);
}

TEST(GeoTiffGrid, RefusesBadGridsAndBlocksOutsideTheRaster) {
  TempFolder dir;
  EXPECT_ANY_THROW(
      gdal::createFloatGeoTiff(dir / "a.tif", {.cellSize = 0.0, .rows = 3, .columns = 3}, nullptr));
  EXPECT_ANY_THROW(
      gdal::createFloatGeoTiff(dir / "b.tif", {.cellSize = 1.0, .rows = 0, .columns = 3}, nullptr));
  auto ds = gdal::createFloatGeoTiff(dir / "c.tif", smallGrid(), nullptr);
  std::vector<float> values(7);
  EXPECT_ANY_THROW(gdal::writeRows(*ds->GetRasterBand(1), 5, 1, values));  // past the last row
  EXPECT_ANY_THROW(gdal::writeRows(*ds->GetRasterBand(1), 0, 1, std::span(values).first(6)));  // short row
  EXPECT_ANY_THROW(gdal::readBlock(*ds->GetRasterBand(1), -1, 0, 1, 1, std::span(values).first(1)));
  EXPECT_ANY_THROW(gdal::openRaster(dir / "missing.tif", false));
}

TEST(GeoTiffGrid, DeleteRemovesTheDatasetAndItsSideFiles) {
  TempFolder dir;
  const auto path = dir / "d.tif";
  { auto ds = gdal::createFloatGeoTiff(path, smallGrid(), nullptr); }
  {
    auto ds = gdal::openRaster(path, false);
    gdal::computeStatistics(*ds->GetRasterBand(1));  // may leave d.tif.aux.xml beside it
  }
  EXPECT_TRUE(gdal::deleteRaster(path));
  EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
  EXPECT_FALSE(gdal::deleteRaster(path));
}

namespace {

/// A Gaussian bump exp(-r^2 / (2 sigma^2)) on a 101 x 101 grid of cell size 2 whose peak sits
/// on the centre of cell (50, 50), at (1101, 5101).
constexpr double kSigma = 15.0;
constexpr double kPeakX = 1101.0;
constexpr double kPeakY = 5101.0;

gdal::DatasetPtr gaussianRaster(const std::filesystem::path& path, double peakX = kPeakX) {
  const orvex::host::RasterSpec grid{
      .originX = 1000.0, .originY = 5000.0, .cellSize = 2.0, .rows = 101, .columns = 101};
  auto ds = gdal::createFloatGeoTiff(path, grid, nullptr);
  std::vector<float> values;
  for (int r = 0; r < grid.rows; ++r) {
    for (int c = 0; c < grid.columns; ++c) {
      const double x = grid.originX + (c + 0.5) * grid.cellSize;
      const double y = grid.originY + grid.rows * grid.cellSize - (r + 0.5) * grid.cellSize;
      const double r2 = (x - peakX) * (x - peakX) + (y - kPeakY) * (y - kPeakY);
      values.push_back(static_cast<float>(std::exp(-r2 / (2 * kSigma * kSigma))));
    }
  }
  gdal::writeRows(*ds->GetRasterBand(1), 0, grid.rows, values);
  return ds;
}

struct ContourLine {
  double level;
  std::vector<OGRRawPoint> points;
};

std::vector<ContourLine> linesOf(GDALDataset& contours) {
  std::vector<ContourLine> out;
  OGRLayer* layer = contours.GetLayerByName(gdal::kContourLayer);
  for (auto& feature : *layer) {
    ContourLine line{feature->GetFieldAsDouble(gdal::kContourField), {}};
    const OGRLineString* ls = feature->GetGeometryRef()->toLineString();
    for (int i = 0; i < ls->getNumPoints(); ++i) line.points.emplace_back(ls->getX(i), ls->getY(i));
    out.push_back(std::move(line));
  }
  return out;
}

}  // namespace

TEST(Contouring, GaussianLevelsGiveClosedRingsAtTheExpectedRadius) {
  TempFolder dir;
  auto ds = gaussianRaster(dir / "bump.tif");
  // Given in descending order, as the isopleth builder passes them.
  const std::vector<double> levels{0.9, 0.5, 0.1};
  auto contours = gdal::contourBand(*ds->GetRasterBand(1), levels);
  const auto lines = linesOf(*contours);
  ASSERT_EQ(lines.size(), 3u);
  for (const auto& line : lines) {
    // Closed form: exp(-r^2/(2 sigma^2)) = L  =>  r = sigma * sqrt(-2 ln L).
    const double expected = kSigma * std::sqrt(-2.0 * std::log(line.level));
    ASSERT_GT(line.points.size(), 8u);
    EXPECT_EQ(line.points.front().x, line.points.back().x);
    EXPECT_EQ(line.points.front().y, line.points.back().y);
    // Tolerance 0.1 map units (5 % of a cell). The contourer interpolates linearly between
    // cell centres 2 units apart; doing the same interpolation on the closed form along every
    // cell edge gives a worst radial error of 0.066 units (level 0.9), and the Float32 cells
    // add about 1e-6 units.
    for (const auto& p : line.points) {
      EXPECT_NEAR(std::hypot(p.x - kPeakX, p.y - kPeakY), expected, 0.1) << "level " << line.level;
    }
  }
}

TEST(Contouring, LinesThatLeaveTheRasterStayOpenAndUnreachedLevelsGiveNone) {
  TempFolder dir;
  // Peak on the western edge: the 0.5 contour runs off the raster.
  auto ds = gaussianRaster(dir / "edge.tif", 1001.0);
  const std::vector<double> levels{0.5, 0.5, 2.0};  // a repeat, and a level above the maximum
  auto contours = gdal::contourBand(*ds->GetRasterBand(1), levels);
  const auto lines = linesOf(*contours);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].level, 0.5);
  const auto& a = lines[0].points.front();
  const auto& b = lines[0].points.back();
  EXPECT_FALSE(a.x == b.x && a.y == b.y);
}

TEST(Contouring, NoLevelsGiveAnEmptyLayerAndNonFiniteLevelsAreRefused) {
  TempFolder dir;
  auto ds = gaussianRaster(dir / "bump.tif");
  auto contours = gdal::contourBand(*ds->GetRasterBand(1), {});
  EXPECT_EQ(contours->GetLayerByName(gdal::kContourLayer)->GetFeatureCount(), 0);
  const std::vector<double> bad{0.5, std::nan("")};
  EXPECT_ANY_THROW(gdal::contourBand(*ds->GetRasterBand(1), bad));
}

namespace {

struct Bump {
  double column;
  double row;
  double sigma;
  double height;
};

constexpr int kWideColumns = 120;
constexpr int kWideRows = 90;

// Bumps over a zero floor; a flat top at `plateau` cuts every value above it.
std::vector<float> bumpsCells(const std::vector<Bump>& bumps, double scale, double plateau = 1e300) {
  std::vector<float> cells;
  for (int r = 0; r < kWideRows; ++r) {
    for (int c = 0; c < kWideColumns; ++c) {
      double v = 0;
      for (const Bump& b : bumps) {
        const double d2 = (c - b.column) * (c - b.column) + (r - b.row) * (r - b.row);
        v += b.height * std::exp(-d2 / (2 * b.sigma * b.sigma));
      }
      cells.push_back(static_cast<float>(scale * std::min(v, plateau)));
    }
  }
  return cells;
}

// GDAL's contourer run over the whole band, its values and levels times `factor`.
std::vector<ContourLine> wholeBandLines(GDALDataset& ds, const std::vector<float>& cells,
                                        std::vector<double> levels, double factor) {
  GDALDatasetUniquePtr memory(GetGDALDriverManager()->GetDriverByName("MEM")->Create(
      "", kWideColumns, kWideRows, 1, GDT_Float32, nullptr));
  std::vector<float> scaled;
  for (float v : cells) scaled.push_back(static_cast<float>(static_cast<double>(v) * factor));
  EXPECT_EQ(memory->GetRasterBand(1)->RasterIO(GF_Write, 0, 0, kWideColumns, kWideRows, scaled.data(),
                                               kWideColumns, kWideRows, GDT_Float32, 0, 0, nullptr),
            CE_None);
  double t[6];
  ds.GetGeoTransform(t);
  memory->SetGeoTransform(t);
  GDALDatasetUniquePtr out(
      GetGDALDriverManager()->GetDriverByName("Memory")->Create("", 0, 0, 0, GDT_Unknown, nullptr));
  OGRLayer* layer = out->CreateLayer(gdal::kContourLayer, nullptr, wkbLineString, nullptr);
  OGRFieldDefn id(gdal::kContourIdField, OFTInteger);
  OGRFieldDefn value(gdal::kContourField, OFTReal);
  layer->CreateField(&id);
  layer->CreateField(&value);
  std::sort(levels.begin(), levels.end());
  std::string fixed = "FIXED_LEVELS=";
  for (double level : levels) fixed += CPLSPrintf("%.17g,", level * factor);
  fixed.pop_back();
  CPLStringList options;
  options.AddString(fixed.c_str());
  options.SetNameValue("ID_FIELD", "0");
  options.SetNameValue("ELEV_FIELD", "1");
  EXPECT_EQ(GDALContourGenerateEx(memory->GetRasterBand(1), layer, options.List(), nullptr, nullptr),
            CE_None);
  auto lines = linesOf(*out);
  for (auto& line : lines) line.level /= factor;
  return lines;
}

}  // namespace

// Only the window of cells that reach the lowest level is traced: the lines must be those of the
// whole band, in the same order with the same vertices (placed from the window's corner, which
// may change a coordinate's last bit: 1e-12 relative), whether the cells come from the caller
// or from the file.
TEST(Contouring, TheWindowOfTheLevelsGivesTheWholeBandsLines) {
  const double tiny = 1e-7;  // small densities are traced through a copy times 2^31
  const double tinyFactor = std::ldexp(1.0, 31);
  const struct {
    const char* what;
    std::vector<float> cells;
    std::vector<double> levels;
    double factor;  // what the contourer's values are multiplied by
  } cases[] = {
      {"one bump inside", bumpsCells({{60, 40, 6, 5}}, 1), {4, 2, 0.5}, 1},
      {"bump on the western edge", bumpsCells({{1, 50, 8, 5}}, 1), {3, 0.2}, 1},
      {"bump in a corner", bumpsCells({{118, 88, 5, 5}}, 1), {1}, 1},
      {"two bumps apart", bumpsCells({{20, 20, 4, 5}, {95, 70, 5, 3}}, 1), {2, 0.7}, 1},
      {"saddle between two bumps", bumpsCells({{50, 45, 6, 5}, {66, 45, 6, 5}}, 1), {4.9, 4.1, 1}, 1},
      {"plateau at a level", bumpsCells({{60, 40, 9, 5}}, 1, 3.0), {3, 1}, 1},
      {"small densities", bumpsCells({{40, 30, 7, 5}, {70, 60, 4, 2}}, tiny), {3 * tiny, tiny}, tinyFactor},
      {"no cell reaches the level", bumpsCells({{60, 40, 6, 5}}, 1), {7}, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TempFolder dir;
    const orvex::host::RasterSpec grid{.originX = 300000.0,
                                       .originY = 5000000.0,
                                       .cellSize = 25.0,
                                       .rows = kWideRows,
                                       .columns = kWideColumns};
    auto ds = gdal::createFloatGeoTiff(dir / "w.tif", grid, nullptr);
    gdal::writeRows(*ds->GetRasterBand(1), 0, kWideRows, c.cells);
    const auto expected = wholeBandLines(*ds, c.cells, c.levels, c.factor);
    for (const auto& [fromCells, threads] : {std::pair{true, 1u}, {true, 3u}, {false, 1u}, {false, 3u}}) {
      SCOPED_TRACE(std::string(fromCells ? "cells given" : "band read") + ", threads " +
                   std::to_string(threads));
      auto contours =
          gdal::contourBand(*ds->GetRasterBand(1), c.levels, std::nullopt,
                            fromCells ? std::span<const float>(c.cells) : std::span<const float>(), threads);
      const auto lines = linesOf(*contours);
      ASSERT_EQ(lines.size(), expected.size());
      for (std::size_t i = 0; i < lines.size(); ++i) {
        EXPECT_EQ(lines[i].level, expected[i].level);
        ASSERT_EQ(lines[i].points.size(), expected[i].points.size()) << "line " << i;
        for (std::size_t k = 0; k < lines[i].points.size(); ++k) {
          EXPECT_NEAR(lines[i].points[k].x, expected[i].points[k].x,
                      1e-12 * std::fabs(expected[i].points[k].x));
          EXPECT_NEAR(lines[i].points[k].y, expected[i].points[k].y,
                      1e-12 * std::fabs(expected[i].points[k].y));
        }
      }
    }
  }
}
