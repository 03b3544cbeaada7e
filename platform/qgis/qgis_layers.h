#pragma once

// The layers of the QGIS project as host layers. Wrappers are made by QgisMap and cached per
// QGIS layer, so a layer keeps one feature class (and selections over it stay valid) for as
// long as the layer is in the project.

#include <memory>
#include <string>
#include <vector>

#include <qgsrasterlayer.h>
#include <qgsvectorlayer.h>
#include <QPointer>

#include "host/layer.h"
#include "platform/qgis/qgis_feature_class.h"

namespace orvex::platform::qgis {

/// A vector layer; its selection is QGIS's selection of the layer, ordered by feature id
/// (QGIS keeps selections as unordered sets).
class QgisFeatureLayer final : public host::FeatureLayer {
 public:
  QgisFeatureLayer(QgsVectorLayer& layer, std::shared_ptr<const MapFrame> frame);

  std::string name() const override;
  void setName(std::string name) override;
  bool visible() const override;
  host::SpatialReferencePtr spatialReference() const override { return featureClass_->spatialReference(); }
  std::shared_ptr<host::FeatureClass> featureClass() const override;
  host::SelectionSet selection() const override;
  void setSelection(host::SelectionSet selection) override;
  /// Reads and writes the features in `frame`'s system from now on (the map's changed).
  void setFrame(std::shared_ptr<const MapFrame> frame) { featureClass_->setFrame(std::move(frame)); }
  /// The field chosen on the layer's "Orvex" properties page, read at each call.
  std::string animalField() const override;

 private:
  QPointer<QgsVectorLayer> layer_;
  std::shared_ptr<QgisFeatureClass> featureClass_;
};

/// A raster layer over a GDAL-readable file.
class QgisRasterLayer final : public host::RasterLayer {
 public:
  QgisRasterLayer(QgsRasterLayer& layer, host::SpatialReferencePtr reference);

  std::string name() const override;
  void setName(std::string name) override;
  bool visible() const override;
  host::SpatialReferencePtr spatialReference() const override { return reference_; }
  /// The raster through the GDAL platform; null when the layer is not a readable GeoTIFF.
  std::shared_ptr<host::RasterDataset> raster() const override;

 private:
  QPointer<QgsRasterLayer> layer_;
  host::SpatialReferencePtr reference_;
};

/// A group of the layer tree.
class QgisGroupLayer final : public host::GroupLayer {
 public:
  QgisGroupLayer(std::string name, std::vector<std::shared_ptr<host::Layer>> members)
      : name_(std::move(name)), members_(std::move(members)) {}

  std::string name() const override { return name_; }
  void setName(std::string name) override { name_ = std::move(name); }
  bool visible() const override { return true; }
  host::SpatialReferencePtr spatialReference() const override;
  std::vector<std::shared_ptr<host::Layer>> layers() const override { return members_; }

 private:
  std::string name_;
  std::vector<std::shared_ptr<host::Layer>> members_;
};

}  // namespace orvex::platform::qgis
