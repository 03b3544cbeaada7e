#pragma once

// Vector files of other formats (GeoPackage, GeoJSON, CSV with coordinate columns, ...) as
// shapefiles, which is what the host's workspaces hold.

#include <filesystem>
#include <string>
#include <vector>

namespace orvex::platform::headless {

/// One layer of the source, copied.
struct CopiedLayer {
  std::string layerName;      ///< the layer's name in the source
  std::filesystem::path shp;  ///< the shapefile holding the copy
  /// The source's names of the copy's attribute fields, in order, when the copy had to change
  /// any (a shapefile's names hold 10 characters); empty when they are the copy's own.
  std::vector<std::string> sourceFieldNames{};
  /// The source's 64-bit whole-number fields that hold a value of more than 18 digits: a
  /// shapefile keeps such a field only as real numbers, exact to about 16 digits.
  std::vector<std::string> inexactFields{};
};

/// A data file as named on the command line: "FILE|layername=NAME" names one layer of a file
/// of several (as GIS programs write it); otherwise every layer of the file.
struct NamedFile {
  std::filesystem::path file;
  std::string layer;  ///< empty: every layer
  /// The name of the file's copies: the layer's when one is named.
  std::string baseName() const { return layer.empty() ? file.stem().string() : layer; }
};

NamedFile namedFile(const std::filesystem::path& named);

/// True when GDAL opens `file` as a vector data set.
bool isVectorFile(const std::filesystem::path& file);

/// Copies every layer with geometry of the vector file `source` into a shapefile in `folder`,
/// named from `baseName` (plus the layer name when the file has several), in the source's
/// layer order. CSV files take their points from columns named X/Y, Easting/Northing or
/// Longitude/Latitude, and their column types from the values. With `targetWkt`, the shapes
/// are projected into that coordinate system on the way (the source's own must be known).
/// Features keep the source's reading order, so the n-th record of a copy is the n-th feature
/// read from its source layer.
///
/// With `onlyLayer`, only the layer of that name (letter case ignored) is copied, named
/// `baseName`.
///
/// Throws host::Error naming the file: (kDataError) when GDAL cannot read or copy it,
/// (kInvalidArgument) when no layer has geometry or the file holds no layer `onlyLayer`.
std::vector<CopiedLayer> copyToShapefiles(const std::filesystem::path& source,
                                          const std::filesystem::path& folder, const std::string& baseName,
                                          const std::string& targetWkt = {},
                                          const std::string& onlyLayer = {});

/// The layers of a data file named on the command line (`namedFile`), copied into `folder` as
/// `loadMapSource` copies them, so each copy is named as the map's layer of it is. Throws as
/// `copyToShapefiles`.
std::vector<CopiedLayer> copyNamedFile(const std::filesystem::path& named,
                                       const std::filesystem::path& folder);

}  // namespace orvex::platform::headless
