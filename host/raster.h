#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "host/geometry.h"

namespace orvex::host {

/// Geometry of a new single-band 32-bit float raster.
struct RasterSpec {
  std::string name{};
  double originX = 0.0;  ///< lower-left corner
  double originY = 0.0;
  double cellSize = 0.0;                   ///< square cells, > 0
  int rows = 0;                            ///< > 0
  int columns = 0;                         ///< > 0
  SpatialReferencePtr spatialReference{};  ///< may be null
  /// For cells that hold a density multiplied by a factor (a UD written scaled): the factor,
  /// recorded with the raster so that a reader can divide it out. Empty: the cells stand as
  /// they are.
  std::optional<double> densityScaling{};
};

/// Statistics over every cell of a band (no cell skipped, no no-data value).
struct RasterStatistics {
  double minimum = 0.0;
  double maximum = 0.0;
  double mean = 0.0;
  double standardDeviation = 0.0;  ///< population standard deviation
};

/// One contour line and the level it follows.
struct ContourLine {
  Polyline line{};
  double contour = 0.0;  ///< the level value (the "CONTOUR" attribute of the design)
};

/// The single band of a raster. Rows are counted from the top (row 0 is the northernmost);
/// within a row, cells run west to east. Buffers are row-major.
class RasterBand {
 public:
  virtual ~RasterBand();

  virtual int width() const = 0;   ///< columns
  virtual int height() const = 0;  ///< rows
  /// The coordinate system of the band's raster (null: unknown). Platforms override this; the
  /// default answers null.
  virtual SpatialReferencePtr spatialReference() const { return nullptr; }

  /// Reads rows `firstRow` .. `firstRow + rowCount - 1` into `out` (size `rowCount * width()`).
  /// Throws `Error` (kInvalidArgument) for a range outside the band or a wrong buffer size.
  virtual void readRows(int firstRow, int rowCount, std::span<float> out) const = 0;
  /// Writes rows the same way.
  virtual void writeRows(int firstRow, int rowCount, std::span<const float> values) = 0;

  /// Recomputes the statistics over every cell, stores them with the raster and returns them.
  virtual RasterStatistics computeStatistics() = 0;

  /// Traces the band's contours at each of `levels` (any order; levels outside the band's
  /// range give no line). Lines are polylines in map coordinates with the band's spatial
  /// reference, one path each; a contour that leaves the raster ends at its edge (open), one
  /// inside it is closed. The order of the result is the platform's and is stable for the same
  /// input.
  virtual std::vector<ContourLine> contour(std::span<const double> levels) const = 0;
};

/// A raster dataset (single band, 32-bit float, square cells).
class RasterDataset {
 public:
  virtual ~RasterDataset();

  virtual std::string name() const = 0;
  /// The file holding the raster.
  virtual std::filesystem::path path() const = 0;
  virtual int columns() const = 0;
  virtual int rows() const = 0;
  virtual double cellSizeX() const = 0;
  /// Lower-left corner at (xmin, ymin).
  virtual Envelope extent() const = 0;
  virtual SpatialReferencePtr spatialReference() const = 0;
  virtual int bandCount() const = 0;
  /// Band `index` (0 for the first); throws `Error` (kInvalidArgument) when out of range. The
  /// band keeps its dataset open.
  virtual std::shared_ptr<RasterBand> band(int index) = 0;
  /// The first band read as a utilisation distribution: every cell at the precision the raster
  /// holds, divided by the density scaling recorded with it (RasterSpec::densityScaling), cells
  /// of the band's no-data value 0; rows from the top, west to east. The default reads band 0 as
  /// it stands. Throws `Error` when the cells cannot be read or the recorded scaling is not a
  /// positive number.
  virtual std::vector<double> readDensity();
};

/// A folder of rasters. A raster named N is the file "N.tif" in the folder.
class RasterWorkspace {
 public:
  virtual ~RasterWorkspace();

  virtual std::filesystem::path path() const = 0;
  /// True when a raster dataset of that name exists in the folder.
  virtual bool exists(std::string_view name) const = 0;
  /// Creates a single-band 32-bit float raster filled with 0, no no-data value. Throws
  /// `Error` (kAlreadyExists) when a raster of that name exists, (kInvalidArgument) for
  /// non-positive sizes, (kDataError) when writing fails.
  virtual std::shared_ptr<RasterDataset> createRaster(const RasterSpec& raster) = 0;
  /// The raster of that name, or null when there is none.
  virtual std::shared_ptr<RasterDataset> openRaster(std::string_view name) = 0;
  /// Deletes the raster and its side files. Throws `Error` (kNotFound) when absent.
  virtual void deleteRaster(std::string_view name) = 0;
};

}  // namespace orvex::host
