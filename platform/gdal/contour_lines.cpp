#include "platform/gdal/contour_lines.h"

#include <cpl_string.h>
#include <gdal_alg.h>
#include <ogrsf_frmts.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <type_traits>
#include <vector>

#include "host/fixed_chunks.h"
#include "host/zeroed_pages.h"

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
/// found. Such a band is contoured through a copy scaled by a power of two, which changes no
/// digit of the values or of the interpolation, only their exponent.
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

/// An in-memory single-band raster over `window.columns` x `window.rows` values from `first`,
/// `lineLength` values apart from row to row, georeferenced as that window of `band`. The
/// dataset reads the values in place; they must outlive it.
template <class T>
DatasetPtr memoryBand(GDALRasterBand& band, T* first, std::size_t lineLength, const CellWindow& window,
                      ErrorCollector& errors) {
  GDALDriver* driver = GetGDALDriverManager()->GetDriverByName("MEM");
  if (driver == nullptr) fail("GDAL has no in-memory raster driver");
  constexpr GDALDataType kType = std::is_same_v<T, float> ? GDT_Float32 : GDT_Float64;
  DatasetPtr copy(driver->Create("", window.columns, window.rows, 0, kType, nullptr));
  if (!copy) failWithGdal("cannot copy the band to contour", &errors);
  char pointer[64] = {};
  CPLPrintPointer(pointer, first, static_cast<int>(sizeof pointer - 1));
  CPLStringList bandOptions;
  bandOptions.SetNameValue("DATAPOINTER", pointer);
  bandOptions.SetNameValue("PIXELOFFSET", std::to_string(sizeof(T)).c_str());
  bandOptions.SetNameValue("LINEOFFSET", std::to_string(lineLength * sizeof(T)).c_str());
  if (copy->AddBand(kType, bandOptions.List()) != CE_None) {
    failWithGdal("cannot copy the band to contour", &errors);
  }
  if (GDALDataset* source = band.GetDataset()) {
    double t[6];
    if (source->GetGeoTransform(t) == CE_None) {
      // The window's corner: the whole band's own transform when the window starts at 0.
      if (window.firstColumn != 0 || window.firstRow != 0) {
        t[0] += window.firstColumn * t[1] + window.firstRow * t[2];
        t[3] += window.firstColumn * t[4] + window.firstRow * t[5];
      }
      copy->SetGeoTransform(t);
    }
    if (const OGRSpatialReference* srs = source->GetSpatialRef()) copy->SetSpatialRef(srs);
  }
  return copy;
}

/// Rows per slice when the cells are looked at on the host's threads.
constexpr int kSliceRows = 64;

/// The smallest window holding every cell whose value is `threshold` or more, widened by one cell on every
/// side and kept inside the band. The contourer finds a line only in a square of four neighbouring cells one
/// of which reaches the level, so the lines of the window are the band's: the same vertices in the same
/// order, only placed from the window's corner (which may change their last bit). A band with a NaN cell is
/// traced whole; a band with no cell at the threshold yields an empty window.
template <class T>
CellWindow linesWindow(std::span<const T> cells, int columns, int rows, double threshold) {
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
  host::runFixedChunks(slices, 0, [&](std::size_t slice) {
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

/// What is traced: an in-memory raster over the window of the band's values that holds its
/// lines, times `scale` where the values are small. The values are the caller's cells, or else
/// the band read whole in its own precision (Float32, or Float64 for any other type). Values
/// reach the contourer as doubles either way, and a value times a power of two is exact in its
/// own type (the scaled maximum lies far below overflow, and scaling up loses no bit even of a
/// subnormal), so every source gives the contourer the same numbers.
struct TracedBand {
  host::ZeroedArray<float> floatCells;  // declared before the dataset that reads them
  host::ZeroedArray<double> doubleCells;
  DatasetPtr memory;
  GDALRasterBand* band = nullptr;  ///< null: no cell comes near the levels, nothing to trace
};

template <class T>
void traceWindowOf(TracedBand& traced, host::ZeroedArray<T>& scaledCopy, GDALRasterBand& band, T* values,
                   double scale, double lowestLevel, ErrorCollector& errors) {
  const int columns = band.GetXSize();
  const int rows = band.GetYSize();
  const auto lineLength = static_cast<std::size_t>(columns);
  // The contourer nudges a value within 1e-6 of a level (in the traced values) above it; the
  // margin below the lowest level is far wider.
  const double tracedLevel = lowestLevel * scale;
  const double threshold = (tracedLevel - (1e-3 + 1e-6 * std::fabs(tracedLevel))) / scale;
  const CellWindow window = linesWindow(
      std::span<const T>(values, lineLength * static_cast<std::size_t>(rows)), columns, rows, threshold);
  if (window.empty()) return;
  const std::size_t windowColumns = static_cast<std::size_t>(window.columns);
  T* first = values + static_cast<std::size_t>(window.firstRow) * lineLength +
             static_cast<std::size_t>(window.firstColumn);
  if (scale == 1.0) {
    traced.memory = memoryBand(band, first, lineLength, window, errors);
  } else {
    // Only the window is copied, in fixed slices of rows on the host's threads.
    scaledCopy = host::ZeroedArray<T>(windowColumns * static_cast<std::size_t>(window.rows));
    const auto slices = static_cast<std::size_t>((window.rows + kSliceRows - 1) / kSliceRows);
    host::runFixedChunks(slices, 0, [&](std::size_t slice) {
      const int begin = static_cast<int>(slice) * kSliceRows;
      for (int r = begin; r < std::min(window.rows, begin + kSliceRows); ++r) {
        const T* from = first + static_cast<std::size_t>(r) * lineLength;
        std::transform(from, from + windowColumns,
                       scaledCopy.data() + static_cast<std::size_t>(r) * windowColumns,
                       [scale](T v) { return static_cast<T>(static_cast<double>(v) * scale); });
      }
    });
    traced.memory = memoryBand(band, scaledCopy.data(), windowColumns, window, errors);
  }
  traced.band = traced.memory->GetRasterBand(1);
}

void prepareTracedBand(TracedBand& traced, GDALRasterBand& band, double scale, double lowestLevel,
                       std::span<const float> cells, ErrorCollector& errors) {
  const auto count = static_cast<std::size_t>(band.GetXSize()) * static_cast<std::size_t>(band.GetYSize());
  if (!cells.empty()) {
    // GDAL's in-memory band takes a writable pointer; the contourer only reads it.
    traceWindowOf(traced, traced.floatCells, band, const_cast<float*>(cells.data()), scale, lowestLevel,
                  errors);
    return;
  }
  // One read of the whole band, not a row at a time: the same values, a fraction of the calls.
  const auto readWhole = [&](auto& into, GDALDataType type) {
    if (band.RasterIO(GF_Read, 0, 0, band.GetXSize(), band.GetYSize(), into.data(), band.GetXSize(),
                      band.GetYSize(), type, 0, 0, nullptr) != CE_None) {
      failWithGdal("cannot read the band to contour", &errors);
    }
  };
  if (band.GetRasterDataType() == GDT_Float32) {
    host::ZeroedArray<float> read(count);
    readWhole(read, GDT_Float32);
    host::ZeroedArray<float> scaled;
    traceWindowOf(traced, scaled, band, read.data(), scale, lowestLevel, errors);
    traced.floatCells = scale != 1.0 ? std::move(scaled) : std::move(read);
  } else {
    host::ZeroedArray<double> read(count);
    readWhole(read, GDT_Float64);
    host::ZeroedArray<double> scaled;
    traceWindowOf(traced, scaled, band, read.data(), scale, lowestLevel, errors);
    traced.doubleCells = scale != 1.0 ? std::move(scaled) : std::move(read);
  }
}

}  // namespace

DatasetPtr contourBand(GDALRasterBand& band, std::span<const double> levels,
                       const std::optional<std::array<double, 2>>& valueRange, std::span<const float> cells) {
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
