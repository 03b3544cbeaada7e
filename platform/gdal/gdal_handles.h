#pragma once

// Owning handles for the GDAL/OGR objects that the platform keeps. Every object that GDAL
// allocates for us is held by one of these, so that no early return or exception leaks it.

#include <gdal_priv.h>
#include <ogr_feature.h>
#include <ogr_geometry.h>
#include <ogr_spatialref.h>

#include <memory>

namespace orvex::platform::gdal {

/// A dataset closed with GDALClose (the deleter GDAL itself ships).
using DatasetPtr = GDALDatasetUniquePtr;

/// A feature destroyed through OGRFeature::DestroyFeature.
using FeaturePtr = OGRFeatureUniquePtr;

/// A geometry destroyed through OGRGeometryFactory::destroyGeometry.
using GeometryPtr = OGRGeometryUniquePtr;

/// Spatial references are reference-counted by OGR (layers and geometries keep their own
/// references), so ownership is released rather than deleted.
struct SpatialRefReleaser {
  void operator()(OGRSpatialReference* srs) const noexcept {
    if (srs != nullptr) srs->Release();
  }
};
using SpatialRefPtr = std::unique_ptr<OGRSpatialReference, SpatialRefReleaser>;

struct TransformDeleter {
  void operator()(OGRCoordinateTransformation* ct) const noexcept {
    OGRCoordinateTransformation::DestroyCT(ct);
  }
};
using TransformPtr = std::unique_ptr<OGRCoordinateTransformation, TransformDeleter>;

/// Text allocated by CPL (exportToWkt and friends) and freed with CPLFree.
struct CplFree {
  void operator()(char* text) const noexcept { CPLFree(text); }
};
using CplText = std::unique_ptr<char, CplFree>;

/// Casts a typed geometry pointer to the owning base handle.
template <class T>
GeometryPtr own(T* geometry) {
  return GeometryPtr(geometry);
}

}  // namespace orvex::platform::gdal
