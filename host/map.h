#pragma once

#include <memory>
#include <string>
#include <vector>

#include "host/graphics.h"
#include "host/layer.h"
#include "host/map_events.h"

namespace orvex::host {

class Map;

/// Parts of a view a partial refresh redraws.
enum class ViewPhase { Geography, Graphics, Selection };

/// The view that displays the focus map.
class ActiveView {
 public:
  virtual ~ActiveView();

  /// Redraws everything.
  virtual void refresh() = 0;
  /// Redraws one phase (the commands refresh the geography after adding a layer).
  virtual void partialRefresh(ViewPhase phase) = 0;
  virtual GraphicsContainer& graphics() = 0;
  /// Events of the view's maps: contents, focus map and selection changes.
  virtual MapEvents& events() = 0;
};

/// A map: an ordered list of layers over one coordinate system.
class Map {
 public:
  virtual ~Map();

  virtual std::string name() const = 0;
  /// The map's coordinate system; null when it has none.
  virtual SpatialReferencePtr spatialReference() const = 0;

  /// Top-level layers in table-of-contents order.
  virtual std::vector<std::shared_ptr<Layer>> layers() const = 0;

  /// Makes a feature layer for `featureClass`, named `name`, drawn in `spatialReference`
  /// (null: the class's own), adds it on top of the map and raises `ContentsChanged`.
  virtual std::shared_ptr<FeatureLayer> addFeatureLayer(std::shared_ptr<FeatureClass> featureClass,
                                                        std::string name,
                                                        SpatialReferencePtr spatialReference = {}) = 0;
  /// The same for a raster layer.
  virtual std::shared_ptr<RasterLayer> addRasterLayer(std::shared_ptr<RasterDataset> raster,
                                                      std::string name) = 0;
  /// Removes a layer (also from a group); raises `ContentsChanged`. Unknown layers are ignored.
  virtual void removeLayer(const std::shared_ptr<Layer>& layer) = 0;

  /// Empties the selection of every feature layer; raises `SelectionChanged` once.
  virtual void clearSelection() = 0;

  // Plain walks over `layers()`:

  /// Every layer, group members included (depth first, table-of-contents order); groups
  /// themselves are listed before their members.
  std::vector<std::shared_ptr<Layer>> allLayers() const;
  /// Every feature layer with a feature class, inside groups too, in table-of-contents order.
  std::vector<std::shared_ptr<FeatureLayer>> featureLayers() const;
  /// Feature layers whose class has the given shape type (point layers: GeometryType::Point).
  std::vector<std::shared_ptr<FeatureLayer>> featureLayers(GeometryType shapeType) const;
  std::vector<std::shared_ptr<RasterLayer>> rasterLayers() const;
  /// The first layer, in `allLayers()` order, whose name equals `name` exactly (letter case
  /// counts); null when none.
  std::shared_ptr<Layer> findLayer(std::string_view name) const;
  /// The selected features of every feature layer, layer by layer in `featureLayers()`
  /// order, each layer's in selection order.
  std::vector<Feature> selectedFeatures() const;
};

/// The open map document.
class Document {
 public:
  virtual ~Document();

  /// The map shown and edited; never null while a document is open.
  virtual std::shared_ptr<Map> focusMap() const = 0;
  /// The layer selected in the table of contents; null when none is selected.
  virtual std::shared_ptr<Layer> selectedLayer() const = 0;
  /// The view of the focus map.
  virtual ActiveView& activeView() = 0;
};

}  // namespace orvex::host
