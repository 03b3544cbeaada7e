#include "platform/gdal/gdal_platform.h"

#include <cstdio>

#include "host/error.h"
#include "platform/gdal/gdal_session.h"
#include "platform/gdal/geotiff_raster.h"
#include "platform/gdal/ogr_geometry_service.h"
#include "platform/gdal/ogr_spatial_reference.h"
#include "platform/gdal/shapefile_workspace.h"

namespace orvex::platform::gdal {

void FailedWriteSink::setReceiver(Receiver receiver) {
  const std::lock_guard lock(mutex_);
  receiver_ = std::move(receiver);
}

void FailedWriteSink::report(const std::filesystem::path& file, const std::string& reason) const {
  const std::lock_guard lock(mutex_);
  if (receiver_) {
    receiver_(file, reason);
    return;
  }
  std::fprintf(stderr, "orvex: %s\n", reason.c_str());
}

void reportFailedWrite(const std::shared_ptr<FailedWriteSink>& sink, const std::filesystem::path& file,
                       const std::string& reason) {
  if (sink) {
    sink->report(file, reason);
  } else {
    FailedWriteSink().report(file, reason);
  }
}

std::shared_ptr<host::Workspace> openShapefileWorkspace(const std::filesystem::path& folder) {
  ensureGdalReady();
  return std::make_shared<ShapefileWorkspace>(folder);
}

std::shared_ptr<host::RasterWorkspace> openRasterWorkspace(const std::filesystem::path& folder,
                                                           bool unreferencedData,
                                                           std::shared_ptr<FailedWriteSink> failedWrites,
                                                           unsigned threads) {
  ensureGdalReady();
  return std::make_shared<GeoTiffRasterWorkspace>(folder, unreferencedData, std::move(failedWrites), threads);
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

GdalWorkspaceFactory::GdalWorkspaceFactory(AccessOpener openAccess, unsigned threads)
    : openAccess_(std::move(openAccess)),
      threads_(threads),
      openShapefiles_(std::make_shared<OpenShapefiles>()) {}

std::shared_ptr<host::Workspace> GdalWorkspaceFactory::openShapefileWorkspace(
    const std::filesystem::path& folder) {
  ensureGdalReady();
  return std::make_shared<ShapefileWorkspace>(folder, openShapefiles_, unreferencedData_, failedWrites_);
}

void GdalWorkspaceFactory::closeOpenShapefiles() { openShapefiles_->closeAll(); }

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
  return gdal::openRasterWorkspace(folder, unreferencedData_, failedWrites_, threads_);
}

}  // namespace orvex::platform::gdal
