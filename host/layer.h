#pragma once

#include <memory>
#include <string>
#include <vector>

#include "host/raster.h"
#include "host/spatial_reference.h"
#include "host/table.h"

namespace orvex::host {

enum class LayerKind { Vector, Raster, Group };  ///< Vector: a feature layer

/// An entry of a map's table of contents. Layers are shared by the map and whoever reads them.
class Layer {
 public:
  virtual ~Layer();

  virtual LayerKind kind() const = 0;
  virtual std::string name() const = 0;
  virtual void setName(std::string name) = 0;
  virtual bool visible() const = 0;
  /// The layer's coordinate system (may be null).
  virtual SpatialReferencePtr spatialReference() const = 0;
};

/// A layer drawing a feature class, with its own feature selection.
class FeatureLayer : public Layer {
 public:
  ~FeatureLayer() override;
  LayerKind kind() const override { return LayerKind::Vector; }

  /// The layer's data; null when the data source is missing (a broken layer).
  virtual std::shared_ptr<FeatureClass> featureClass() const = 0;
  /// The selected features: a set over `featureClass()` (empty when nothing is selected).
  virtual SelectionSet selection() const = 0;
  /// Replaces the selection (ids of other tables are refused with `Error`
  /// (kInvalidArgument)); the map raises `SelectionChanged`.
  virtual void setSelection(SelectionSet selection) = 0;
  /// The field that tells the animals of the layer apart, for the tools that work per animal
  /// where a layer holds several (travel, duplicate removal); empty when the layer is taken as
  /// one animal, as it is by default. The name may be one the feature class no longer has: a
  /// tool checks it before use.
  virtual std::string animalField() const { return {}; }
};

/// A layer drawing a raster dataset.
class RasterLayer : public Layer {
 public:
  ~RasterLayer() override;
  LayerKind kind() const override { return LayerKind::Raster; }

  /// Null when the data source is missing.
  virtual std::shared_ptr<RasterDataset> raster() const = 0;
};

/// A layer holding other layers.
class GroupLayer : public Layer {
 public:
  ~GroupLayer() override;
  LayerKind kind() const override { return LayerKind::Group; }

  /// Direct members in table-of-contents order.
  virtual std::vector<std::shared_ptr<Layer>> layers() const = 0;
};

}  // namespace orvex::host
