#pragma once

// Entry points of the GDAL platform: the data side of the host interface (shapefile and
// raster workspaces, geometry operations, spatial references). Everything else in this folder
// is reached through these.

#include <filesystem>
#include <functional>
#include <memory>

#include "host/geometry_service.h"
#include "host/raster.h"
#include "host/spatial_reference.h"
#include "host/workspace.h"

namespace orvex::platform::gdal {

/// A shapefile workspace on a folder. Throws host::Error (kPathNotFound) when the folder does
/// not exist.
std::shared_ptr<host::Workspace> openShapefileWorkspace(const std::filesystem::path& folder);

/// A raster workspace on a folder (rasters are "<name>.tif"). Throws host::Error
/// (kPathNotFound) when the folder does not exist.
std::shared_ptr<host::RasterWorkspace> openRasterWorkspace(const std::filesystem::path& folder);

/// The geometry service (GEOS through OGR).
std::shared_ptr<host::GeometryService> makeGeometryService();

/// The spatial-reference factory (PROJ through OGR).
std::shared_ptr<host::SpatialReferenceFactory> makeSpatialReferenceFactory();

/// A workspace factory for shapefile and raster folders. Access files are another platform's:
/// `openAccess` opens them, and without it they are refused with host::Error (kNotImplemented).
class GdalWorkspaceFactory final : public host::WorkspaceFactory {
 public:
  using AccessOpener = std::function<std::shared_ptr<host::Workspace>(const std::filesystem::path&)>;

  explicit GdalWorkspaceFactory(AccessOpener openAccess = {}) : openAccess_(std::move(openAccess)) {}

  std::shared_ptr<host::Workspace> openShapefileWorkspace(const std::filesystem::path& folder) override;
  std::shared_ptr<host::Workspace> openAccessWorkspace(const std::filesystem::path& file) override;
  std::shared_ptr<host::RasterWorkspace> openRasterWorkspace(const std::filesystem::path& folder) override;

 private:
  AccessOpener openAccess_;
};

}  // namespace orvex::platform::gdal
