#pragma once

// A folder of shapefiles as a host workspace.

#include <filesystem>
#include <memory>

#include "host/workspace.h"
#include "platform/gdal/gdal_platform.h"

namespace orvex::platform::gdal {

class ShapefileFeatureClass;

/// A folder of shapefiles. Every workspace object on the same folder, and every open of the
/// same name, shares one ShapefileFeatureClass per file for as long as anyone holds it, so a
/// layer in the map, a command's cursor and a selection never see different states of a file.
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
  /// `unreferencedData`: new feature classes labelled with the geographic WGS 84 fallback get
  /// no coordinate system (see GdalWorkspaceFactory::setUnreferencedData).
  /// `failedWrites`: where its files report a failure at close.
  explicit ShapefileWorkspace(std::filesystem::path folder, bool unreferencedData = false,
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
  bool unreferencedData_ = false;
  std::shared_ptr<FailedWriteSink> failedWrites_;
};

}  // namespace orvex::platform::gdal
