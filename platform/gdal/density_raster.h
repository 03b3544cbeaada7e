#pragma once

// A raster read as a utilisation distribution: the first band's cells as doubles, with its
// north-up grid.

#include <filesystem>
#include <vector>

#include "host/raster.h"

namespace orvex::platform::gdal {

struct DensityRaster {
  host::RasterSpec grid{};     ///< lower-left origin, square cells (no name, no spatial reference)
  std::vector<double> values;  ///< rows * columns, row 0 the northernmost, west to east
};

/// The first band of `path` as it stands, read at double precision; cells holding the band's
/// no-data value are 0. Throws host::Error, naming the file, when GDAL cannot open or read it or
/// its grid is not north-up with square cells.
DensityRaster readDensityRaster(const std::filesystem::path& path);

}  // namespace orvex::platform::gdal
