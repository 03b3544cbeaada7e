#pragma once

// A raster read as a utilisation distribution: the first band's cells as doubles, with its
// north-up grid.

#include <filesystem>
#include <optional>
#include <vector>

#include "host/raster.h"

class GDALDataset;

namespace orvex::platform::gdal {

struct DensityRaster {
  host::RasterSpec grid{};        ///< lower-left origin, square cells (no name, no spatial reference)
  std::vector<double> values;     ///< rows * columns, row 0 the northernmost, west to east
  std::optional<double> scaling;  ///< the density scaling recorded with the raster and divided out
};

/// The first band of `path` read at double precision, each cell divided by the density scaling
/// recorded with the raster (kDensityScalingItem of raster_grid.h; a raster without it is read
/// as it stands); cells holding the band's no-data value are 0. Throws host::Error, naming the
/// file, when GDAL cannot open or read it, its grid is not north-up with square cells, or its
/// recorded scaling is not a positive finite number.
DensityRaster readDensityRaster(const std::filesystem::path& path);
/// The same read from a dataset already open (`path` names it in messages).
DensityRaster readDensityRaster(GDALDataset& dataset, const std::filesystem::path& path);

}  // namespace orvex::platform::gdal
