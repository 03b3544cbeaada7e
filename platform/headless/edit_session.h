#pragma once

// The host's edit session around a command that changes its layer in place (adds fields,
// writes values, deletes features): the command edits a working copy, and only a command
// that returned has its edits switched into the user's file, whole.

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "host/table.h"

namespace orvex::platform::headless {

class HeadlessApplication;

/// The edits of one command run, one per file edited. Destroying it without `commit` rolls
/// every edit back: the user's files stay as they were.
class EditSessions {
 public:
  EditSessions();
  ~EditSessions();
  EditSessions(const EditSessions&) = delete;
  EditSessions& operator=(const EditSessions&) = delete;

  /// Starts editing the shapefile `shp` (lock, working copy; see gdal::ShapefileEdit) and
  /// returns the working copy's .shp, which the map's layer must show. Throws host::Error
  /// naming the file while another run edits it or when the copy cannot be made.
  std::filesystem::path beginShapefile(const std::filesystem::path& shp);

  /// Starts editing the layer `layerName` of the GeoPackage `source` through its shapefile copy
  /// `copy` (made by copyToShapefiles, features in the source's reading order). Reads the copy
  /// once to know later what the command changed.
  void beginGeoPackage(const std::filesystem::path& source, const std::string& layerName,
                       const std::shared_ptr<host::FeatureClass>& copy);

  /// Remembers the feature class a shapefile edit's layer shows, so that `commit` can close it.
  void attach(const std::filesystem::path& workingShp, std::shared_ptr<host::FeatureClass> featureClass);

  /// Closes the working copies, checking that every write reached them, and switches each edit
  /// into its file: a shapefile through its journal, a GeoPackage in one transaction (fields the
  /// command added are created, values it changed written, features it deleted deleted). Throws
  /// host::Error naming the file when a working copy is incomplete or its file cannot take the
  /// edit; that file is then unchanged (edits switched in before it stay).
  void commit();

  bool empty() const;

  /// One file's edit (defined with the session kinds).
  struct Edit;

 private:
  std::vector<std::unique_ptr<Edit>> edits_;
};

}  // namespace orvex::platform::headless
