#pragma once

// The host's raster workspace, datasets and bands on single-band Float32 GeoTIFF files.

#include <filesystem>
#include <future>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "host/raster.h"
#include "numeric/zeroed_buffer.h"
#include "platform/gdal/gdal_handles.h"
#include "platform/gdal/gdal_platform.h"
#include "platform/gdal/raster_grid.h"

namespace orvex::platform::gdal {

/// The cells of a raster as this process wrote them, kept with the open raster so that
/// statistics, reads and contours of a raster just written need not read it back; they go when
/// the raster is closed, and a raster opened again is read from its file. The copy follows whole
/// rows written from the top down, each once (how a new raster is filled); any other write
/// drops it, and the file is read as usual. The statistics of the rows are brought up to date
/// on a helper thread while the next rows go to the file.
struct ResidentCells {
  numeric::ZeroedArray<float> values;
  int width = 0;
  int height = 0;
  int rowsWritten = 0;  ///< rows 0 .. rowsWritten - 1 hold the file's values
  [[nodiscard]] bool complete() const { return rowsWritten == height; }
  [[nodiscard]] std::span<const float> rows(int first, int count) const {
    return values.span().subspan(static_cast<std::size_t>(first) * static_cast<std::size_t>(width),
                                 static_cast<std::size_t>(count) * static_cast<std::size_t>(width));
  }
  /// Copies rows that continue the cells and starts their statistics (on a helper thread
  /// unless `threads` is 1).
  void append(std::span<const float> newRows, int rowCount, unsigned threads);
  /// The statistics of every row appended, once the helper is done with them.
  [[nodiscard]] std::optional<BandStatistics> statistics();

 private:
  RunningStatistics running_;
  std::future<void> pending_;  // last: a helper still reading the values is waited for first
};

/// An open GeoTIFF shared by its dataset object and its band objects. Closed when its last
/// holder lets go: GDAL reports a failure of the last writes only through its error state,
/// which is checked then; a raster this process created whose writing failed is removed
/// rather than left truncated, and the failure goes to `failedWrites`.
struct RasterFile {
  std::filesystem::path path;
  DatasetPtr dataset;
  bool readOnly = false;
  bool created = false;
  bool writeFailed = false;
  /// The band's statistics, kept from when they were last computed until the next write.
  std::optional<BandStatistics> statistics;
  std::shared_ptr<FailedWriteSink> failedWrites;
  /// Threads its statistics and contours may use (0: one per processor).
  unsigned threads = 0;
  /// The band's cells while they are known without reading the file (see ResidentCells).
  std::shared_ptr<ResidentCells> cells;
  std::mutex mutex;

  /// The resident cells when they hold the whole band, else null.
  [[nodiscard]] const ResidentCells* completeCells() const {
    return cells && cells->complete() ? cells.get() : nullptr;
  }

  RasterFile() = default;
  RasterFile(const RasterFile&) = delete;
  RasterFile& operator=(const RasterFile&) = delete;
  ~RasterFile();
};

class GeoTiffRasterBand final : public host::RasterBand {
 public:
  explicit GeoTiffRasterBand(std::shared_ptr<RasterFile> file);

  int width() const override;
  int height() const override;
  void readRows(int firstRow, int rowCount, std::span<float> out) const override;
  /// Written through to the file at once, so that another open of the same raster reads it.
  void writeRows(int firstRow, int rowCount, std::span<const float> values) override;
  host::RasterStatistics computeStatistics() override;
  /// Lines in the order GDAL's contourer produces them, which depends only on the band and
  /// the levels.
  std::vector<host::ContourLine> contour(std::span<const double> levels) const override;

 private:
  GDALRasterBand& band() const;
  std::shared_ptr<RasterFile> file_;
};

class GeoTiffRasterDataset final : public host::RasterDataset {
 public:
  explicit GeoTiffRasterDataset(std::shared_ptr<RasterFile> file);

  std::string name() const override;
  std::filesystem::path path() const override { return file_->path; }
  int columns() const override;
  int rows() const override;
  double cellSizeX() const override;
  host::Envelope extent() const override;
  host::SpatialReferencePtr spatialReference() const override { return spatialReference_; }
  int bandCount() const override;
  std::shared_ptr<host::RasterBand> band(int index) override;
  /// As readDensityRaster reads a file (density_raster.h).
  std::vector<double> readDensity() override;

 private:
  std::shared_ptr<RasterFile> file_;
  host::SpatialReferencePtr spatialReference_;
};

/// A folder of rasters; the raster named N is "N.tif" (a name may also be given with its
/// ".tif"). Names that are empty or reach outside the folder name no raster.
class GeoTiffRasterWorkspace final : public host::RasterWorkspace {
 public:
  /// Throws host::Error (kPathNotFound) when the folder does not exist.
  /// `unreferencedData`: see ShapefileWorkspace.
  /// `failedWrites`: where its files report a failure at close.
  /// `threads`: what its rasters' statistics and contours may use (0: one per processor).
  explicit GeoTiffRasterWorkspace(std::filesystem::path folder, bool unreferencedData = false,
                                  std::shared_ptr<FailedWriteSink> failedWrites = {}, unsigned threads = 0);

  std::filesystem::path path() const override { return folder_; }
  bool exists(std::string_view name) const override;
  std::shared_ptr<host::RasterDataset> createRaster(const host::RasterSpec& raster) override;
  std::shared_ptr<host::RasterDataset> openRaster(std::string_view name) override;
  void deleteRaster(std::string_view name) override;

 private:
  std::optional<std::filesystem::path> tifPathOf(std::string_view name) const;
  std::filesystem::path folder_;
  bool unreferencedData_ = false;
  std::shared_ptr<FailedWriteSink> failedWrites_;
  unsigned threads_ = 0;
};

}  // namespace orvex::platform::gdal
