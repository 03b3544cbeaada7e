#pragma once

// Entry points of the GDAL platform: the data side of the host interface (shapefile and
// raster workspaces, geometry operations, spatial references). Everything else in this folder
// is reached through these.

#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "host/geometry_service.h"
#include "host/raster.h"
#include "host/spatial_reference.h"
#include "host/workspace.h"

namespace orvex::platform::gdal {

/// Where the files of a host's workspaces report a write that failed where nothing could be
/// thrown: a file closed by its last holder, whose last writes GDAL reports only then. The
/// host points it at its run's record and clears it when that record goes; a failure with
/// nobody to take it is printed on standard error, never dropped.
class FailedWriteSink {
 public:
  using Receiver = std::function<void(const std::filesystem::path& file, const std::string& reason)>;
  void setReceiver(Receiver receiver);
  /// `reason` says what failed, naming the file, and whether the incomplete file was removed.
  void report(const std::filesystem::path& file, const std::string& reason) const;

 private:
  mutable std::mutex mutex_;
  Receiver receiver_;
};

class OpenShapefiles;

/// A shapefile workspace on a folder, sharing its open files with no other workspace: a
/// program's own reading or writing outside any application. Throws host::Error
/// (kPathNotFound) when the folder does not exist.
std::shared_ptr<host::Workspace> openShapefileWorkspace(const std::filesystem::path& folder);

/// A raster workspace on a folder (rasters are "<name>.tif"), its rasters' statistics and
/// contours on up to `threads` threads (0: one per processor). Throws host::Error
/// (kPathNotFound) when the folder does not exist.
std::shared_ptr<host::RasterWorkspace> openRasterWorkspace(const std::filesystem::path& folder,
                                                           bool unreferencedData = false,
                                                           std::shared_ptr<FailedWriteSink> failedWrites = {},
                                                           unsigned threads = 0);

/// The coordinate system a new dataset is labelled with: none (null) for the geographic
/// WGS 84 that stands in for a missing system when the data is unreferenced, else `given`.
host::SpatialReferencePtr outputReference(host::SpatialReferencePtr given, bool unreferencedData);

/// The geometry service (GEOS through OGR).
std::shared_ptr<host::GeometryService> makeGeometryService();

/// The spatial-reference factory (PROJ through OGR).
std::shared_ptr<host::SpatialReferenceFactory> makeSpatialReferenceFactory();

/// A workspace factory for shapefile and raster folders, one per application: its shapefile
/// workspaces share one object per open file. Access files are another platform's: `openAccess`
/// opens them, and without it they are refused with host::Error (kNotImplemented). `threads` is
/// the application's thread count (0: one per processor), for the rasters' statistics and contours.
class GdalWorkspaceFactory final : public host::WorkspaceFactory {
 public:
  using AccessOpener = std::function<std::shared_ptr<host::Workspace>(const std::filesystem::path&)>;

  explicit GdalWorkspaceFactory(AccessOpener openAccess = {}, unsigned threads = 0);

  std::shared_ptr<host::Workspace> openShapefileWorkspace(const std::filesystem::path& folder) override;
  std::shared_ptr<host::Workspace> openAccessWorkspace(const std::filesystem::path& file) override;
  std::shared_ptr<host::RasterWorkspace> openRasterWorkspace(const std::filesystem::path& folder) override;

  /// Declares that the data being worked on has no coordinate system (a map without one, made
  /// from files without .prj). A command then falls back on geographic WGS 84 where it needs
  /// a reference object, but coordinates stay in the data's own units: new shapefiles and
  /// rasters of workspaces opened from now on are written without a coordinate system rather
  /// than labelled WGS 84.
  void setUnreferencedData(bool unreferenced) { unreferencedData_ = unreferenced; }

  /// Where the files of this factory's workspaces report a failure at close.
  const std::shared_ptr<FailedWriteSink>& failedWrites() const { return failedWrites_; }

  /// Writes through and closes every shapefile still open through this factory's workspaces
  /// (held by a command object that outlives its click), each failure going to its file's sink:
  /// a host calls this when a command's run is over, while the run's record can still take them.
  void closeOpenShapefiles();

 private:
  AccessOpener openAccess_;
  bool unreferencedData_ = false;
  unsigned threads_ = 0;
  std::shared_ptr<FailedWriteSink> failedWrites_ = std::make_shared<FailedWriteSink>();
  std::shared_ptr<OpenShapefiles> openShapefiles_;
};

}  // namespace orvex::platform::gdal
