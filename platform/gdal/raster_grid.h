#pragma once

// Single-band Float32 GeoTIFF rasters: creation with a north-up grid, row-block reads and
// writes, and statistics over every cell. GDAL types only; the host adapter sits on top.

#include <cstdint>
#include <filesystem>
#include <limits>
#include <optional>
#include <span>

#include "platform/gdal/gdal_handles.h"

namespace orvex::platform::gdal {

/// A north-up grid. The origin is the lower-left corner of the lower-left cell; row 0 is the
/// northernmost row (GDAL's and the pixel blocks' order).
struct GridGeometry {
  double originX = 0.0;
  double originY = 0.0;
  double cellSize = 0.0;
  int rows = 0;
  int columns = 0;

  double topY() const noexcept { return originY + rows * cellSize; }
};

/// Minimum, maximum, mean and standard deviation over every cell of a band.
struct BandStatistics {
  double minimum = 0.0;
  double maximum = 0.0;
  double mean = 0.0;
  double standardDeviation = 0.0;
};

/// Creates (or replaces) `path` as a single-band Float32 GeoTIFF of that grid, every cell 0,
/// no no-data value. `srs` may be null (no spatial reference written).
/// Throws when the grid is empty or the cell size is not positive, or when GDAL fails.
DatasetPtr createFloatGeoTiff(const std::filesystem::path& path, const GridGeometry& grid,
                              const OGRSpatialReference* srs);

/// Opens a raster read-only or for update. Throws, naming the file, when GDAL cannot.
DatasetPtr openRaster(const std::filesystem::path& path, bool update);

/// The grid of a north-up dataset. Throws for a rotated grid or non-square cells, which the
/// host's rasters cannot describe.
GridGeometry gridOf(GDALDataset& dataset);

/// Writes `rowCount` whole rows from `firstRow` down; `values` holds them row after row.
/// Throws when the block leaves the band or `values` has the wrong size.
void writeRows(GDALRasterBand& band, int firstRow, int rowCount, std::span<const float> values);

/// Reads a block of `rowCount` rows and `columnCount` columns whose top-left cell is
/// (`firstColumn`, `firstRow`), row after row. Same checks as writeRows.
void readBlock(GDALRasterBand& band, int firstColumn, int firstRow, int columnCount, int rowCount,
               std::span<float> values);

/// Statistics over every cell (never GDAL's approximate overview statistics); they are also
/// stored with the dataset. Throws when the band cannot be read.
BandStatistics computeStatistics(GDALRasterBand& band);

/// The statistics computeStatistics stores for a band, computed the way GDAL's own pass over
/// every cell computes them (its running mean and sum of squared deviations, cell by cell in
/// row order), so that the same bits reach the file without reading it back. Cells are fed a
/// block at a time, in row order.
class RunningStatistics {
 public:
  void add(std::span<const float> cells);
  /// Nothing when a cell was NaN or none was added: GDAL's pass is left to handle those.
  [[nodiscard]] std::optional<BandStatistics> result() const;

 private:
  double minimum_ = std::numeric_limits<double>::infinity();
  double maximum_ = -std::numeric_limits<double>::infinity();
  double mean_ = 0.0;
  double squares_ = 0.0;
  std::uint64_t count_ = 0;
  bool sawNan_ = false;
};

/// RunningStatistics of `cells` in one block.
std::optional<BandStatistics> statisticsOfCells(std::span<const float> cells);

/// Removes a raster dataset and its side files (.aux.xml and the like). False when nothing of
/// that name exists; throws when it exists but cannot be removed.
bool deleteRaster(const std::filesystem::path& path);

}  // namespace orvex::platform::gdal
