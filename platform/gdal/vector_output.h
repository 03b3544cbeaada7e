#pragma once

// Where a new vector layer goes: a shapefile of its own, or a layer of a GeoPackage that may
// already hold other layers of the same run. (The dataset side is in vector_output_dataset.h.)

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace orvex::platform::gdal {

enum class VectorFormat { Shapefile, GeoPackage };

/// ".shp" -> Shapefile, ".gpkg" -> GeoPackage (letter case ignored). Throws host::Error
/// (kInvalidArgument) naming the file for any other extension.
VectorFormat vectorFormatOf(const std::filesystem::path& file);

/// Copies the one layer of `shapefile` into the GeoPackage `geoPackage` as layer `layer`
/// (fields, geometries and coordinate system as they are), through `openVectorOutput`, then
/// deletes the shapefile. Throws like `openVectorOutput`, and host::Error (kDataError) naming
/// the files when the copy fails. Whatever fails, the GeoPackage keeps the layers it had (a
/// layer being replaced included) and the shapefile stays. A failure GDAL reports after a new
/// layer reached the file (a COMMIT or close SQLite calls failed, the layer reading back whole)
/// is not one: the layer is written.
void moveIntoGeoPackage(const std::filesystem::path& shapefile, const std::filesystem::path& geoPackage,
                        const std::string& layer, bool replace);

/// Deletes the shapefile `shapefile` and its companion files; a file that is not there is no
/// error.
/// The number of features of `layer` of the GeoPackage `geoPackage` read to its end; nullopt
/// when the file or layer is missing or a feature cannot be read.
std::optional<std::int64_t> layerFeatureCount(const std::filesystem::path& geoPackage,
                                              const std::string& layer);

void deleteShapefile(const std::filesystem::path& shapefile);

}  // namespace orvex::platform::gdal
