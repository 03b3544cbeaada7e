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
class EditSessions;

/// The files and choices the map is built from.
struct MapSource {
  /// Data files, one layer each, in table-of-contents order from the top: shapefiles (.shp),
  /// GeoTIFF rasters (.tif) and any other vector file GDAL reads (one layer per layer of the
  /// file; those are copied to shapefiles first, see `loadMapSource`). "FILE|layername=NAME"
  /// names one layer of a file of several (a GeoPackage holding a study's layers).
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
  /// The command computes kernels, distances or areas from the fixes: a map in geographic
  /// coordinates (degrees) or in Web Mercator (whose metres are not ground metres) is refused.
  bool measuresFixes = false;
  /// Set for a command that changes its layers in place: every vector file is edited in an
  /// edit session of `edits` (the caller commits it after the command). Layers are then never
  /// projected: the command sees the file's own coordinates.
  EditSessions* edits = nullptr;
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
/// written back to the file (with `edits`, a GeoPackage's are, when the session commits).
///
/// Coordinates: a feature layer whose coordinate system is known and differs from the map's is
/// projected into the map's when it is loaded (a scratch copy), so that the fixes a command
/// reads are in the map's units and outputs labelled with the map's system hold them. A map
/// left without a coordinate system while it shows data marks the application's data as
/// unreferenced: outputs are then written without a coordinate system (see
/// gdal::GdalWorkspaceFactory::setUnreferencedData).
///
/// Throws host::Error naming the file: (kFileNotFound) for a missing file, (kNotImplemented)
/// for a file GDAL reads as neither vector nor GeoTIFF raster, (kInvalidArgument) for a
/// malformed where-clause, an unknown selected layer, fixes in degrees or Web Mercator for a
/// command that measures them, and a file that cannot be edited in place (CSV and other
/// formats besides shapefiles and GeoPackages).
void loadMapSource(HeadlessApplication& application, const MapSource& source);

/// A coordinate system from the command line: "EPSG:<code>" or a bare code, a file holding WKT
/// (a .prj file), or WKT / PROJ text itself. Throws host::Error (kInvalidArgument) quoting the
/// text when it is none of these.
host::SpatialReferencePtr parseSpatialReference(host::SpatialReferenceFactory& factory,
                                                std::string_view text);

}  // namespace orvex::platform::headless
