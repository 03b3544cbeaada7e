#pragma once

// Single-band Float32 GeoTIFF rasters: creation with a north-up grid, row-block reads and
// writes, and statistics over every cell. GDAL types only; the host adapter sits on top.

#include <cstdint>
#include <filesystem>
#include <limits>
#include <optional>
#include <span>
#include <vector>

#include "host/raster.h"
#include "platform/gdal/gdal_handles.h"

namespace orvex::platform::gdal {

/// Minimum, maximum, mean and standard deviation over every cell of a band.
struct BandStatistics {
  double minimum = 0.0;
  double maximum = 0.0;
  double mean = 0.0;
  double standardDeviation = 0.0;
};

/// The metadata item that holds RasterSpec::densityScaling, as the shortest decimal text of it.
inline constexpr const char* kDensityScalingItem = "ORVEX_DENSITY_SCALING";

/// Creates (or replaces) `path` as a single-band Float32 GeoTIFF of the north-up grid of
/// `grid` (its name and spatial reference are not used; its density scaling, when given, is
/// the dataset's metadata item kDensityScalingItem), every cell 0, no no-data value; row
/// 0 is the northernmost row, GDAL's and the pixel blocks' order. `srs` may be null (no
/// spatial reference written). Throws when the grid is empty or the cell size is not
/// positive, or when GDAL fails.
DatasetPtr createFloatGeoTiff(const std::filesystem::path& path, const host::RasterSpec& grid,
                              const OGRSpatialReference* srs);

/// Opens a raster read-only or for update. Throws, naming the file, when GDAL cannot.
DatasetPtr openRaster(const std::filesystem::path& path, bool update);

/// The grid of a north-up dataset (no name, no spatial reference). Throws for a rotated grid or
/// non-square cells, which the host's rasters cannot describe.
host::RasterSpec gridOf(GDALDataset& dataset);

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

/// Statistics of a band's cells fed a block at a time in row order, as they are written, so that
/// a raster just written need not be read back for them. The cells are taken in fixed blocks of
/// kStatisticsBlock, whatever the blocks they arrive in: each block's minimum, maximum, mean and
/// sum of squared deviations from that mean (eight running sums each, in a fixed order), and the
/// blocks merged in order by the pairwise update of Chan, Golub and LeVeque. The result depends
/// only on the cells, never on how they arrive or on threads, and is as accurate as GDAL's own
/// pass over every cell (a running mean updated cell by cell, whose chained divisions take some
/// 20 processor cycles a cell); the two agree to about 1e-13 relative.
class RunningStatistics {
 public:
  static constexpr std::size_t kStatisticsBlock = 4096;

  void add(std::span<const float> cells);
  /// Nothing when a cell was NaN or none was added: GDAL's pass is left to handle those.
  [[nodiscard]] std::optional<BandStatistics> result() const;

 private:
  struct Block {
    double minimum = std::numeric_limits<double>::infinity();
    double maximum = -std::numeric_limits<double>::infinity();
    double mean = 0.0;
    double squares = 0.0;  ///< sum of squared deviations from `mean`
    std::uint64_t count = 0;
  };
  static Block blockOf(std::span<const float> cells);
  static void merge(Block& into, const Block& next);

  Block whole_;
  std::vector<float> partial_;  ///< cells of the block not yet complete
  bool sawNan_ = false;
};

/// Removes a raster dataset and its side files (.aux.xml and the like). False when nothing of
/// that name exists; throws when it exists but cannot be removed.
bool deleteRaster(const std::filesystem::path& path);

}  // namespace orvex::platform::gdal
