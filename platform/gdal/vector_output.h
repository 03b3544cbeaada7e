#pragma once

// Where a new vector layer goes: a shapefile of its own, or a layer of a GeoPackage that may
// already hold other layers of the same run. (The dataset side is in vector_output_dataset.h.)

#include <filesystem>
#include <string>

namespace orvex::platform::gdal {

enum class VectorFormat { Shapefile, GeoPackage };

/// ".shp" -> Shapefile, ".gpkg" -> GeoPackage (letter case ignored). Throws host::Error
/// (kInvalidArgument) naming the file for any other extension.
VectorFormat vectorFormatOf(const std::filesystem::path& file);

/// Copies the one layer of `shapefile` into the GeoPackage `geoPackage` as layer `layer`
/// (fields, geometries and coordinate system as they are), through `openVectorOutput`, then
/// deletes the shapefile. Throws like `openVectorOutput`, and host::Error (kDataError) naming
/// the files when the copy fails (the shapefile then stays).
void moveIntoGeoPackage(const std::filesystem::path& shapefile, const std::filesystem::path& geoPackage,
                        const std::string& layer, bool replace);

}  // namespace orvex::platform::gdal
