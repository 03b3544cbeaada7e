#include "platform/gdal/contour_lines.h"

#include <cpl_string.h>
#include <gdal_alg.h>
#include <ogrsf_frmts.h>

#include <algorithm>
#include <cmath>
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

/// An in-memory single-band raster over `cells` (width x height values, row after row), with
/// the georeferencing of `band`. The dataset reads the cells in place; they must outlive it.
template <class T>
DatasetPtr memoryBand(GDALRasterBand& band, T* cells, ErrorCollector& errors) {
  GDALDriver* driver = GetGDALDriverManager()->GetDriverByName("MEM");
  if (driver == nullptr) fail("GDAL has no in-memory raster driver");
  constexpr GDALDataType kType = std::is_same_v<T, float> ? GDT_Float32 : GDT_Float64;
  DatasetPtr copy(driver->Create("", band.GetXSize(), band.GetYSize(), 0, kType, nullptr));
  if (!copy) failWithGdal("cannot copy the band to contour", &errors);
  char pointer[64] = {};
  CPLPrintPointer(pointer, cells, static_cast<int>(sizeof pointer - 1));
  CPLStringList bandOptions;
  bandOptions.SetNameValue("DATAPOINTER", pointer);
  if (copy->AddBand(kType, bandOptions.List()) != CE_None) {
    failWithGdal("cannot copy the band to contour", &errors);
  }
  if (GDALDataset* source = band.GetDataset()) {
    double transform[6];
    if (source->GetGeoTransform(transform) == CE_None) copy->SetGeoTransform(transform);
    if (const OGRSpatialReference* srs = source->GetSpatialRef()) copy->SetSpatialRef(srs);
  }
  return copy;
}

/// Cells per slice of the scaled copy (one huge page of floats).
constexpr std::size_t kScaleSlice = host::kHugePageBytes / sizeof(float);

/// What is traced: the band itself, or an in-memory raster of its values times `scale` (or of
/// the caller's cells). Values reach the contourer as doubles either way, and a Float32 value
/// times a power of two is exact in Float32 as in Float64 (the scaled maximum lies far below
/// Float32's overflow, and scaling up loses no bit even of a subnormal), so every source gives
/// the contourer the same numbers.
struct TracedBand {
  host::ZeroedArray<float> scaledCells;  // declared before the dataset that reads it
  host::ZeroedArray<double> readCells;
  DatasetPtr memory;
  GDALRasterBand* band = nullptr;
};

void prepareTracedBand(TracedBand& traced, GDALRasterBand& band, double scale, std::span<const float> cells,
                       ErrorCollector& errors) {
  traced.band = &band;
  if (!cells.empty()) {
    const float* values = cells.data();
    if (scale != 1.0) {
      traced.scaledCells = host::ZeroedArray<float>(cells.size());
      // In fixed slices on the host's threads: the fresh pages are faulted in side by side.
      const std::size_t slices = (cells.size() + kScaleSlice - 1) / kScaleSlice;
      host::runFixedChunks(slices, 0, [&](std::size_t slice) {
        const auto from =
            cells.subspan(slice * kScaleSlice, std::min(kScaleSlice, cells.size() - slice * kScaleSlice));
        std::transform(from.begin(), from.end(), traced.scaledCells.data() + slice * kScaleSlice,
                       [scale](float v) { return static_cast<float>(static_cast<double>(v) * scale); });
      });
      values = traced.scaledCells.data();
    }
    // GDAL's in-memory band takes a writable pointer; the contourer only reads it.
    traced.memory = memoryBand(band, const_cast<float*>(values), errors);
  } else if (scale != 1.0) {
    // One read of the whole band, not a row at a time: the same values, a fraction of the calls.
    traced.readCells = host::ZeroedArray<double>(static_cast<std::size_t>(band.GetXSize()) *
                                                 static_cast<std::size_t>(band.GetYSize()));
    if (band.RasterIO(GF_Read, 0, 0, band.GetXSize(), band.GetYSize(), traced.readCells.data(),
                      band.GetXSize(), band.GetYSize(), GDT_Float64, 0, 0, nullptr) != CE_None) {
      failWithGdal("cannot read the band to contour", &errors);
    }
    for (double& v : traced.readCells.span()) v *= scale;
    traced.memory = memoryBand(band, traced.readCells.data(), errors);
  }
  if (traced.memory) traced.band = traced.memory->GetRasterBand(1);
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
  prepareTracedBand(traced, band, scale, cells, errors);
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
