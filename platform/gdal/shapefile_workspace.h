#pragma once

// A folder of shapefiles as a host workspace.

#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "host/workspace.h"
#include "platform/gdal/gdal_platform.h"

namespace orvex::platform::gdal {

class ShapefileFeatureClass;

/// The shapefiles open through the workspaces of one application (or of one workspace made on
/// its own), by absolute path: one object per file for as long as anyone holds it. A file is
/// closed when its last holder lets go, or by `closeAll`.
class OpenShapefiles {
 public:
  /// The object open for `shp`; null when none is, or when it was closed.
  std::shared_ptr<ShapefileFeatureClass> find(const std::filesystem::path& shp);
  void add(const std::filesystem::path& shp, const std::shared_ptr<ShapefileFeatureClass>& featureClass);
  void forget(const std::filesystem::path& shp);
  /// Writes through and closes every file still held by someone, each failure going to its
  /// file's sink.
  void closeAll();

 private:
  static std::string key(const std::filesystem::path& shp);

  std::mutex mutex_;
  std::map<std::string, std::weak_ptr<ShapefileFeatureClass>> open_;
};

/// A folder of shapefiles. Every workspace object that shares `openFiles` (those of one
/// application), and every open of the same name, shares one ShapefileFeatureClass per file for
/// as long as anyone holds it, so a layer in the map, a command's cursor and a selection never
/// see different states of a file.
///
/// Dataset names are file names with or without ".shp". A name that is empty or reaches
/// outside the folder (a path separator, "." or "..") names no dataset: `exists` is false and
/// creating it is refused.
///
/// Deletion is refused (`canDelete` false) while the file is held by anyone besides at most
/// one holder, the caller that opened it to check: a layer still showing the file keeps it.
/// The one allowed holder's object is closed by the deletion and answers kNotFound from then
/// on.
class ShapefileWorkspace final : public host::Workspace {
 public:
  /// Throws host::Error (kPathNotFound) when the folder does not exist.
  /// `openFiles`: the files open through this workspace and its siblings (none: its own).
  /// `unreferencedData`: new feature classes labelled with the geographic WGS 84 fallback get
  /// no coordinate system (see GdalWorkspaceFactory::setUnreferencedData).
  /// `failedWrites`: where its files report a failure at close.
  explicit ShapefileWorkspace(std::filesystem::path folder, std::shared_ptr<OpenShapefiles> openFiles = {},
                              bool unreferencedData = false,
                              std::shared_ptr<FailedWriteSink> failedWrites = {});

  host::WorkspaceKind kind() const override { return host::WorkspaceKind::ShapefileFolder; }
  std::filesystem::path path() const override { return folder_; }
  std::vector<std::string> tableNames() const override;
  bool exists(std::string_view name) const override;
  std::shared_ptr<host::FeatureClass> openFeatureClass(std::string_view name) override;
  std::shared_ptr<host::Table> openTable(std::string_view name) override;
  std::shared_ptr<host::FeatureClass> createFeatureClass(const host::FeatureClassSpec& definition) override;
  bool canDelete(std::string_view name) const override;
  void deleteDataset(std::string_view name) override;

 private:
  /// The .shp path of a dataset name; nothing for a name that is not a plain file name.
  std::optional<std::filesystem::path> shpPathOf(std::string_view name) const;

  std::filesystem::path folder_;
  std::shared_ptr<OpenShapefiles> openFiles_;
  bool unreferencedData_ = false;
  std::shared_ptr<FailedWriteSink> failedWrites_;
};

}  // namespace orvex::platform::gdal
