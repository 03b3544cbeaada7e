#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "host/field.h"
#include "host/table.h"

namespace orvex::host {

class RasterWorkspace;

enum class WorkspaceKind {
  ShapefileFolder,  ///< a folder of shapefiles; one feature class per .shp
  AccessFile,       ///< an Access .mdb file, read-only
};

/// What `Workspace::createFeatureClass` needs. `fields` must hold exactly one geometry field
/// whose name is `shapeFieldName` and whose `geometry` definition gives the shape type and
/// spatial reference; an object-id field is optional (a shapefile always gets "FID").
struct FeatureClassSpec {
  std::string name{};
  Fields fields{};
  std::string shapeFieldName = "Shape";
  FeatureType featureType = FeatureType::Simple;
  /// Storage keyword; meaningless for shapefiles and ignored by them.
  std::string configKeyword{};
};

/// A container of tables and feature classes.
///
/// Dataset names: for shapefile folders the file name with or without ".shp" ("mcp95.shp" and
/// "mcp95" are the same dataset), matched as the file system matches file names. Access tables
/// by their exact name.
class Workspace {
 public:
  virtual ~Workspace();

  virtual WorkspaceKind kind() const = 0;
  /// The folder or file the workspace was opened on.
  virtual std::filesystem::path path() const = 0;

  /// Names of the tables (Access: user tables; shapefile folder: the shapefiles) in the order
  /// the source stores them (Access: catalogue order; folder: file name order).
  virtual std::vector<std::string> tableNames() const = 0;
  /// True when a dataset of that name exists.
  virtual bool exists(std::string_view name) const = 0;

  /// The feature class of that name, or null when there is none. Throws `Error` (kDataError)
  /// when it exists but cannot be read.
  virtual std::shared_ptr<FeatureClass> openFeatureClass(std::string_view name) = 0;
  /// The table of that name (a feature class is also a table), or null when there is none.
  virtual std::shared_ptr<Table> openTable(std::string_view name) = 0;

  /// Creates a new, empty feature class. Throws `Error` (kAlreadyExists) when a dataset of
  /// that name exists, (kInvalidArgument) for a definition without its geometry field,
  /// (kAccessDenied) on a read-only workspace, (kDataError) when writing fails.
  virtual std::shared_ptr<FeatureClass> createFeatureClass(const FeatureClassSpec& definition) = 0;

  /// True when the named dataset exists and this workspace could delete it now (not
  /// read-only, files writable). Never throws.
  virtual bool canDelete(std::string_view name) const = 0;
  /// Deletes the dataset with all its files. Throws `Error` (kNotFound) when absent,
  /// (kAccessDenied) when it cannot be deleted.
  virtual void deleteDataset(std::string_view name) = 0;
};

/// Opens workspaces. Each call opens a new workspace object on the path.
class WorkspaceFactory {
 public:
  virtual ~WorkspaceFactory();

  /// Throws `Error` (kPathNotFound) when the folder does not exist.
  virtual std::shared_ptr<Workspace> openShapefileWorkspace(const std::filesystem::path& folder) = 0;
  /// Read-only. Throws `Error` (kFileNotFound) when the file does not exist, (kDataError) when
  /// it is not an Access database.
  virtual std::shared_ptr<Workspace> openAccessWorkspace(const std::filesystem::path& file) = 0;
  /// Throws `Error` (kPathNotFound) when the folder does not exist.
  virtual std::shared_ptr<RasterWorkspace> openRasterWorkspace(const std::filesystem::path& folder) = 0;
};

}  // namespace orvex::host
