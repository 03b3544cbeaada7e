#pragma once

// The map a command runs on, built from files named on the command line.

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "host/row.h"
#include "host/spatial_reference.h"

namespace orvex::platform::headless {

class HeadlessApplication;

/// The files and choices the map is built from.
struct MapSource {
  /// Data files, one layer each, in table-of-contents order from the top: shapefiles (.shp),
  /// GeoTIFF rasters (.tif) and any other vector file GDAL reads (one layer per layer of the
  /// file; those are copied to shapefiles first, see `loadMapSource`).
  std::vector<std::filesystem::path> files{};
  /// The map's coordinate system (`parseSpatialReference`); empty: that of the first layer
  /// that has one, or none.
  std::string mapCrs{};
  /// Selects the features of each feature layer that match (host::QueryFilter dialect).
  std::string where{};
  /// Selects these object ids of each feature layer, in this order (ids a layer does not
  /// hold are skipped). With `where` as well, the ids that also match it.
  std::vector<host::ObjectId> objectIds{};
  /// The layer chosen in the table of contents, by name; empty: the first feature layer.
  std::string selectedLayer{};
};

/// Adds a layer per file at the bottom of the focus map, sets the map's coordinate system,
/// the selections and the table-of-contents choice. No map event is raised: nobody listens
/// before a command runs.
///
/// Selections: with neither `where` nor `objectIds`, every feature of each layer is selected,
/// so that a command working on selections works on whole files.
///
/// A vector file that is not a shapefile is copied to a shapefile in the application's
/// scratch folder and the layer shows the copy; a note says that changes made to it are not
/// written back to the file.
///
/// Throws host::Error naming the file: (kFileNotFound) for a missing file, (kNotImplemented)
/// for a file GDAL reads as neither vector nor GeoTIFF raster, (kInvalidArgument) for a
/// malformed where-clause or an unknown selected layer.
void loadMapSource(HeadlessApplication& application, const MapSource& source);

/// A coordinate system from the command line: "EPSG:<code>" or a bare code, a file holding WKT
/// (a .prj file), or WKT / PROJ text itself. Throws host::Error (kInvalidArgument) quoting the
/// text when it is none of these.
host::SpatialReferencePtr parseSpatialReference(host::SpatialReferenceFactory& factory,
                                                std::string_view text);

}  // namespace orvex::platform::headless
