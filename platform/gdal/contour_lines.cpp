#include "platform/gdal/contour_lines.h"

#include <cpl_string.h>
#include <gdal_alg.h>
#include <ogrsf_frmts.h>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "numeric/fixed_chunks.h"
#include "numeric/zeroed_buffer.h"

#include "platform/gdal/gdal_session.h"

namespace orvex::platform::gdal {
namespace {

constexpr const char* kMemoryDriver = "Memory";

/// Shortest round-trip text of a level, independent of the C locale's decimal separator.
std::string levelText(double level) {
  char buffer[64];
  CPLsnprintf(buffer, sizeof buffer, "%.17g", level);
  return buffer;
}

/// GDAL's marching squares nudges a cell value lying within a fixed absolute distance (about
/// 1e-6) of a level before interpolating. On a band whose values are themselves that small
/// (utilisation densities of wide kernels) every value is "near" every level and no line is
/// found. Such a band's values are scaled by a power of two as the contourer reads them, which
/// changes no digit of the values or of the interpolation, only their exponent.
constexpr double kSmallBandMaximum = 1.0;
constexpr int kScaledBandExponent = 10;  // the scaled maximum lies in [2^10, 2^11)

/// The power of two to multiply the band by before contouring (1 for ordinary bands).
double contourScale(GDALRasterBand& band, const std::optional<std::array<double, 2>>& valueRange) {
  double minMax[2] = {0.0, 0.0};
  if (valueRange) {
    minMax[0] = (*valueRange)[0];
    minMax[1] = (*valueRange)[1];
  } else if (band.ComputeRasterMinMax(FALSE, minMax) != CE_None) {
    return 1.0;
  }
  const double largest = std::max(std::fabs(minMax[0]), std::fabs(minMax[1]));
  if (!(largest > 0.0) || largest >= kSmallBandMaximum || !std::isfinite(largest)) return 1.0;
  int exponent = 0;
  std::frexp(largest, &exponent);  // largest = m * 2^exponent, 0.5 <= m < 1
  return std::ldexp(1.0, kScaledBandExponent + 1 - exponent);
}

/// A window of a band's cells: rows [firstRow, firstRow + rows), columns likewise.
struct CellWindow {
  int firstColumn = 0;
  int firstRow = 0;
  int columns = 0;
  int rows = 0;
  [[nodiscard]] bool empty() const { return columns <= 0 || rows <= 0; }
};

/// The cells of a window of a band as a one-band raster of Float64 for the contourer, read in
/// place and multiplied by a power of two as they are read: no copy of the cells is made. The
/// dataset holds the window's georeferencing (the contour layer takes the band's spatial
/// reference itself).
class WindowDataset final : public GDALDataset {
 public:
  WindowDataset(GDALRasterBand& band, const CellWindow& window) {
    nRasterXSize = window.columns;
    nRasterYSize = window.rows;
    eAccess = GA_ReadOnly;
    if (GDALDataset* source = band.GetDataset()) {
      hasTransform_ = source->GetGeoTransform(transform_) == CE_None;
      if (hasTransform_ && (window.firstColumn != 0 || window.firstRow != 0)) {
        // The window's corner: the band's own transform when the window starts at 0.
        transform_[0] += window.firstColumn * transform_[1] + window.firstRow * transform_[2];
        transform_[3] += window.firstColumn * transform_[4] + window.firstRow * transform_[5];
      }
    }
  }
  /// Takes ownership of the dataset's one band.
  void setBand(GDALRasterBand* band) { SetBand(1, band); }
  CPLErr GetGeoTransform(double* transform) override {
    std::copy(std::begin(transform_), std::end(transform_), transform);
    return hasTransform_ ? CE_None : CE_Failure;
  }

 private:
  double transform_[6] = {0, 1, 0, 0, 0, 1};
  bool hasTransform_ = false;
};

template <class T>
class WindowBand final : public GDALRasterBand {
 public:
  /// `first` is the window's first cell; rows lie `lineLength` values apart.
  WindowBand(WindowDataset& dataset, const T* first, std::size_t lineLength, double scale)
      : first_(first), lineLength_(lineLength), scale_(scale) {
    poDS = &dataset;
    nBand = 1;
    eDataType = GDT_Float64;
    nRasterXSize = dataset.GetRasterXSize();
    nRasterYSize = dataset.GetRasterYSize();
    nBlockXSize = nRasterXSize;
    nBlockYSize = 1;
  }

 protected:
  CPLErr IReadBlock(int /*blockColumn*/, int blockRow, void* out) override {
    readRow(blockRow, 0, nRasterXSize, static_cast<double*>(out));
    return CE_None;
  }
  // Whole rows read as Float64, the contourer's only request, skip the block cache.
  CPLErr IRasterIO(GDALRWFlag flag, int x, int y, int width, int height, void* data, int bufferWidth,
                   int bufferHeight, GDALDataType type, GSpacing pixelSpacing, GSpacing lineSpacing,
                   GDALRasterIOExtraArg* extra) override {
    if (flag != GF_Read || type != GDT_Float64 || bufferWidth != width || bufferHeight != height ||
        pixelSpacing != static_cast<GSpacing>(sizeof(double))) {
      return GDALRasterBand::IRasterIO(flag, x, y, width, height, data, bufferWidth, bufferHeight, type,
                                       pixelSpacing, lineSpacing, extra);
    }
    for (int r = 0; r < height; ++r)
      readRow(y + r, x, width, reinterpret_cast<double*>(static_cast<GByte*>(data) + r * lineSpacing));
    return CE_None;
  }

 private:
  void readRow(int row, int column, int count, double* out) const {
    const T* from = first_ + static_cast<std::size_t>(row) * lineLength_ + static_cast<std::size_t>(column);
    for (int c = 0; c < count; ++c) out[c] = static_cast<double>(from[c]) * scale_;
  }
  const T* first_;
  std::size_t lineLength_;
  double scale_;
};

/// Rows per slice when the cells are looked at on the host's threads.
constexpr int kSliceRows = 64;

/// The smallest window holding every cell whose value is `threshold` or more, widened by one cell on every
/// side and kept inside the band. The contourer finds a line only in a square of four neighbouring cells one
/// of which reaches the level, so the lines of the window are the band's: the same vertices in the same
/// order, only placed from the window's corner (which may change their last bit). A band with a NaN cell is
/// traced whole; a band with no cell at the threshold yields an empty window.
template <class T>
CellWindow linesWindow(std::span<const T> cells, int columns, int rows, double threshold, unsigned threads) {
  const CellWindow whole{0, 0, columns, rows};
  struct Reach {
    int firstRow = std::numeric_limits<int>::max();
    int lastRow = -1;
    int firstColumn = std::numeric_limits<int>::max();
    int lastColumn = -1;
    bool nan = false;
  };
  const auto slices = static_cast<std::size_t>((rows + kSliceRows - 1) / kSliceRows);
  std::vector<Reach> reach(slices);
  numeric::run_fixed_chunks(slices, threads, [&](std::size_t slice) {
    Reach& r = reach[slice];
    const int first = static_cast<int>(slice) * kSliceRows;
    for (int row = first; row < std::min(rows, first + kSliceRows); ++row) {
      const std::span<const T> line =
          cells.subspan(static_cast<std::size_t>(row) * static_cast<std::size_t>(columns),
                        static_cast<std::size_t>(columns));
      int firstHit = -1;
      int lastHit = -1;
      for (int c = 0; c < columns; ++c) {
        const auto v = static_cast<double>(line[static_cast<std::size_t>(c)]);
        if (v >= threshold) {
          if (firstHit < 0) firstHit = c;
          lastHit = c;
        } else if (std::isnan(v)) {
          r.nan = true;
        }
      }
      if (firstHit < 0) continue;
      r.firstRow = std::min(r.firstRow, row);
      r.lastRow = row;
      r.firstColumn = std::min(r.firstColumn, firstHit);
      r.lastColumn = std::max(r.lastColumn, lastHit);
    }
  });
  Reach all;
  for (const Reach& r : reach) {
    if (r.nan) return whole;
    all.firstRow = std::min(all.firstRow, r.firstRow);
    all.lastRow = std::max(all.lastRow, r.lastRow);
    all.firstColumn = std::min(all.firstColumn, r.firstColumn);
    all.lastColumn = std::max(all.lastColumn, r.lastColumn);
  }
  if (all.lastRow < 0) return {};
  const int firstRow = std::max(all.firstRow - 1, 0);
  const int firstColumn = std::max(all.firstColumn - 1, 0);
  return {firstColumn, firstRow, std::min(all.lastColumn + 1, columns - 1) - firstColumn + 1,
          std::min(all.lastRow + 1, rows - 1) - firstRow + 1};
}

/// What is traced: the window of the band's values that holds its lines, times `scale` where
/// the values are small. The values are the caller's cells, or else the band read whole in its
/// own precision (Float32, or Float64 for any other type). Values reach the contourer as
/// doubles either way, and a value times a power of two is exact (the scaled maximum lies far
/// below overflow, and scaling up loses no bit even of a subnormal), so every source gives the
/// contourer the same numbers.
struct TracedBand {
  numeric::ZeroedArray<float> floatCells;  // declared before the dataset that reads them
  numeric::ZeroedArray<double> doubleCells;
  std::unique_ptr<WindowDataset> dataset;
  GDALRasterBand* band = nullptr;  ///< null: no cell comes near the levels, nothing to trace
  unsigned threads = 0;            ///< for the scan of the cells
};

template <class T>
void traceWindowOf(TracedBand& traced, GDALRasterBand& band, const T* values, double scale,
                   double lowestLevel) {
  const int columns = band.GetXSize();
  const int rows = band.GetYSize();
  const auto lineLength = static_cast<std::size_t>(columns);
  // The contourer nudges a value within 1e-6 of a level (in the traced values) above it; the
  // margin below the lowest level is far wider.
  const double tracedLevel = lowestLevel * scale;
  const double threshold = (tracedLevel - (1e-3 + 1e-6 * std::fabs(tracedLevel))) / scale;
  const CellWindow window =
      linesWindow(std::span<const T>(values, lineLength * static_cast<std::size_t>(rows)), columns, rows,
                  threshold, traced.threads);
  if (window.empty()) return;
  const T* first = values + static_cast<std::size_t>(window.firstRow) * lineLength +
                   static_cast<std::size_t>(window.firstColumn);
  traced.dataset = std::make_unique<WindowDataset>(band, window);
  traced.dataset->setBand(new WindowBand<T>(*traced.dataset, first, lineLength, scale));
  traced.band = traced.dataset->GetRasterBand(1);
}

void prepareTracedBand(TracedBand& traced, GDALRasterBand& band, double scale, double lowestLevel,
                       std::span<const float> cells, ErrorCollector& errors) {
  if (!cells.empty()) {
    traceWindowOf(traced, band, cells.data(), scale, lowestLevel);
    return;
  }
  // One read of the whole band, not a row at a time: the same values, a fraction of the calls.
  const auto traceRead = [&]<class T>(numeric::ZeroedArray<T>& into, GDALDataType type) {
    into = numeric::ZeroedArray<T>(static_cast<std::size_t>(band.GetXSize()) *
                                   static_cast<std::size_t>(band.GetYSize()));
    if (band.RasterIO(GF_Read, 0, 0, band.GetXSize(), band.GetYSize(), into.data(), band.GetXSize(),
                      band.GetYSize(), type, 0, 0, nullptr) != CE_None) {
      failWithGdal("cannot read the band to contour", &errors);
    }
    traceWindowOf(traced, band, into.data(), scale, lowestLevel);
  };
  if (band.GetRasterDataType() == GDT_Float32) {
    traceRead(traced.floatCells, GDT_Float32);
  } else {
    traceRead(traced.doubleCells, GDT_Float64);
  }
}

}  // namespace

DatasetPtr contourBand(GDALRasterBand& band, std::span<const double> levels,
                       const std::optional<std::array<double, 2>>& valueRange, std::span<const float> cells,
                       unsigned threads) {
  ensureGdalReady();
  std::vector<double> sorted(levels.begin(), levels.end());
  for (double level : sorted) {
    if (!std::isfinite(level)) fail("cannot contour at a level that is not a finite number");
  }
  std::sort(sorted.begin(), sorted.end());
  sorted.erase(std::unique(sorted.begin(), sorted.end()), sorted.end());

  ErrorCollector errors;
  GDALDriver* driver = GetGDALDriverManager()->GetDriverByName(kMemoryDriver);
  if (driver == nullptr) fail("GDAL has no in-memory vector driver");
  DatasetPtr out(driver->Create(kContourLayer, 0, 0, 0, GDT_Unknown, nullptr));
  if (!out) failWithGdal("cannot create the contour layer", &errors);

  GDALDataset* source = band.GetDataset();
  const OGRSpatialReference* srs = source != nullptr ? source->GetSpatialRef() : nullptr;
  OGRLayer* layer =
      out->CreateLayer(kContourLayer, const_cast<OGRSpatialReference*>(srs), wkbLineString, nullptr);
  if (layer == nullptr) failWithGdal("cannot create the contour layer", &errors);
  OGRFieldDefn id(kContourIdField, OFTInteger);
  OGRFieldDefn value(kContourField, OFTReal);
  if (layer->CreateField(&id) != OGRERR_NONE || layer->CreateField(&value) != OGRERR_NONE) {
    failWithGdal("cannot create the fields of the contour layer", &errors);
  }
  if (sorted.empty()) return out;

  const double scale = contourScale(band, valueRange);
  if (cells.size() != static_cast<std::size_t>(band.GetXSize()) * static_cast<std::size_t>(band.GetYSize()))
    cells = {};
  TracedBand traced;
  traced.threads = threads;
  prepareTracedBand(traced, band, scale, sorted.front(), cells, errors);
  if (traced.band == nullptr) return out;
  std::string fixed = "FIXED_LEVELS=";
  for (std::size_t i = 0; i < sorted.size(); ++i) {
    if (i > 0) fixed += ',';
    fixed += levelText(sorted[i] * scale);
  }
  CPLStringList options;
  options.AddString(fixed.c_str());
  options.SetNameValue("ID_FIELD", "0");
  options.SetNameValue("ELEV_FIELD", "1");
  if (GDALContourGenerateEx(GDALRasterBand::ToHandle(traced.band), OGRLayer::ToHandle(layer), options.List(),
                            nullptr, nullptr) != CE_None) {
    const std::string name =
        source != nullptr ? std::string(source->GetDescription()) : std::string("raster");
    failWithGdal("cannot contour \"" + name + "\"", &errors);
  }
  if (scale != 1.0) {
    // Back to the band's own values: exact, the scale being a power of two.
    layer->ResetReading();
    const int valueField = layer->GetLayerDefn()->GetFieldIndex(kContourField);
    for (FeaturePtr feature(layer->GetNextFeature()); feature; feature.reset(layer->GetNextFeature())) {
      feature->SetField(valueField, feature->GetFieldAsDouble(valueField) / scale);
      if (layer->SetFeature(feature.get()) != OGRERR_NONE)
        failWithGdal("cannot write a contour level", &errors);
    }
    layer->ResetReading();
  }
  return out;
}

}  // namespace orvex::platform::gdal
