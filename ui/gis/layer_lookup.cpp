#include "ui/gis/layer_lookup.h"

namespace orvex::ui::gis {

std::shared_ptr<host::Layer> FindLayerByName(const host::Map& map, std::string_view name) {
  return map.findLayer(name);
}

bool ListLayers(const host::Map& map, int kind, std::vector<std::string>& names) {
  using host::GeometryType;
  const auto addFeatureLayers = [&](GeometryType type) {
    for (const auto& layer : map.featureLayers(type)) names.push_back(layer->name());
  };
  switch (static_cast<LayerListKind>(kind)) {
    case LayerListKind::AnyLayer:
      for (const auto& layer : map.allLayers()) names.push_back(layer->name());
      return true;
    case LayerListKind::FeatureLayer:
      for (const auto& layer : map.featureLayers()) {
        const GeometryType type = layer->featureClass()->shapeType();
        if (type != GeometryType::Null) names.push_back(layer->name());
      }
      return true;
    case LayerListKind::PointLayer:
      addFeatureLayers(GeometryType::Point);
      return true;
    case LayerListKind::LineLayer:
      addFeatureLayers(GeometryType::Polyline);
      return true;
    case LayerListKind::PolygonLayer:
      addFeatureLayers(GeometryType::Polygon);
      return true;
    case LayerListKind::RasterLayer:
      for (const auto& layer : map.rasterLayers()) names.push_back(layer->name());
      return true;
  }
  return false;
}

}  // namespace orvex::ui::gis
