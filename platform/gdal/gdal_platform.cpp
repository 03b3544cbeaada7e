#include "platform/gdal/gdal_platform.h"

#include "host/error.h"
#include "platform/gdal/gdal_session.h"
#include "platform/gdal/geotiff_raster.h"
#include "platform/gdal/ogr_geometry_service.h"
#include "platform/gdal/ogr_spatial_reference.h"
#include "platform/gdal/shapefile_workspace.h"

namespace orvex::platform::gdal {

std::shared_ptr<host::Workspace> openShapefileWorkspace(const std::filesystem::path& folder,
                                                        bool unreferencedData) {
  ensureGdalReady();
  return std::make_shared<ShapefileWorkspace>(folder, unreferencedData);
}

std::shared_ptr<host::RasterWorkspace> openRasterWorkspace(const std::filesystem::path& folder,
                                                           bool unreferencedData) {
  ensureGdalReady();
  return std::make_shared<GeoTiffRasterWorkspace>(folder, unreferencedData);
}

host::SpatialReferencePtr outputReference(host::SpatialReferencePtr given, bool unreferencedData) {
  if (unreferencedData && given && given->isGeographic() && given->epsg() == host::kWgs84Epsg) return nullptr;
  return given;
}

std::shared_ptr<host::GeometryService> makeGeometryService() {
  ensureGdalReady();
  return std::make_shared<OgrGeometryService>();
}

std::shared_ptr<host::SpatialReferenceFactory> makeSpatialReferenceFactory() {
  ensureGdalReady();
  return std::make_shared<OgrSpatialReferenceFactory>();
}

std::shared_ptr<host::Workspace> GdalWorkspaceFactory::openShapefileWorkspace(
    const std::filesystem::path& folder) {
  return gdal::openShapefileWorkspace(folder, unreferencedData_);
}

std::shared_ptr<host::Workspace> GdalWorkspaceFactory::openAccessWorkspace(
    const std::filesystem::path& file) {
  if (!openAccess_) {
    throw host::Error(host::kNotImplemented,
                      "cannot open \"" + file.string() + "\": no Access support in this host");
  }
  return openAccess_(file);
}

std::shared_ptr<host::RasterWorkspace> GdalWorkspaceFactory::openRasterWorkspace(
    const std::filesystem::path& folder) {
  return gdal::openRasterWorkspace(folder, unreferencedData_);
}

}  // namespace orvex::platform::gdal
