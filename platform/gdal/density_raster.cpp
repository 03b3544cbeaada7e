#include "platform/gdal/density_raster.h"

#include <gdal_priv.h>

#include <algorithm>
#include <cmath>

#include "host/error.h"
#include "host/text.h"
#include "platform/gdal/gdal_session.h"
#include "platform/gdal/raster_grid.h"

namespace orvex::platform::gdal {
namespace {

std::optional<double> recordedScaling(GDALDataset& dataset, const std::filesystem::path& path) {
  const char* text = dataset.GetMetadataItem(kDensityScalingItem);
  if (text == nullptr) return std::nullopt;
  const std::optional<double> scaling = host::parseNumber(text);
  if (!scaling || !(*scaling > 0.0) || !std::isfinite(*scaling))
    throw host::Error(host::kDataError, "raster \"" + path.string() + "\" records a density scaling of '" +
                                            std::string(text) + "', not a positive number");
  return scaling;
}

}  // namespace

DensityRaster readDensityRaster(const std::filesystem::path& path) {
  const DatasetPtr dataset = openRaster(path, false);
  return readDensityRaster(*dataset, path);
}

DensityRaster readDensityRaster(GDALDataset& dataset, const std::filesystem::path& path) {
  DensityRaster raster;
  raster.grid = gridOf(dataset);
  GDALRasterBand* band = dataset.GetRasterBand(1);
  const auto columns = static_cast<std::size_t>(raster.grid.columns);
  const auto rows = static_cast<std::size_t>(raster.grid.rows);
  raster.values.assign(columns * rows, 0.0);
  ErrorCollector errors;
  if (band->RasterIO(GF_Read, 0, 0, raster.grid.columns, raster.grid.rows, raster.values.data(),
                     raster.grid.columns, raster.grid.rows, GDT_Float64, 0, 0) != CE_None)
    failWithGdal("cannot read raster \"" + path.string() + "\"", &errors);
  int hasNoData = 0;
  const double noData = band->GetNoDataValue(&hasNoData);
  if (hasNoData != 0) {
    // A NaN no-data value matches NaN cells, which compare unequal to everything.
    const bool nanNoData = std::isnan(noData);
    std::replace_if(
        raster.values.begin(), raster.values.end(),
        [&](double value) { return nanNoData ? std::isnan(value) : value == noData; }, 0.0);
  }
  raster.scaling = recordedScaling(dataset, path);
  if (raster.scaling)
    for (double& value : raster.values) value /= *raster.scaling;
  return raster;
}

}  // namespace orvex::platform::gdal
