#include "host/map.h"

namespace orvex::host {
namespace {

void collect(const std::vector<std::shared_ptr<Layer>>& layers, std::vector<std::shared_ptr<Layer>>& out) {
  for (const auto& layer : layers) {
    if (!layer) continue;
    out.push_back(layer);
    if (auto group = std::dynamic_pointer_cast<GroupLayer>(layer)) collect(group->layers(), out);
  }
}

}  // namespace

std::vector<std::shared_ptr<Layer>> Map::allLayers() const {
  std::vector<std::shared_ptr<Layer>> out;
  collect(layers(), out);
  return out;
}

std::vector<std::shared_ptr<FeatureLayer>> Map::featureLayers() const {
  std::vector<std::shared_ptr<FeatureLayer>> out;
  for (const auto& layer : allLayers())
    if (auto feature = std::dynamic_pointer_cast<FeatureLayer>(layer); feature && feature->featureClass())
      out.push_back(std::move(feature));
  return out;
}

std::vector<std::shared_ptr<FeatureLayer>> Map::featureLayers(GeometryType shapeType) const {
  std::vector<std::shared_ptr<FeatureLayer>> out;
  for (auto& layer : featureLayers())
    if (layer->featureClass()->shapeType() == shapeType) out.push_back(std::move(layer));
  return out;
}

std::vector<std::shared_ptr<RasterLayer>> Map::rasterLayers() const {
  std::vector<std::shared_ptr<RasterLayer>> out;
  for (const auto& layer : allLayers())
    if (auto raster = std::dynamic_pointer_cast<RasterLayer>(layer)) out.push_back(std::move(raster));
  return out;
}

std::shared_ptr<Layer> Map::findLayer(std::string_view name) const {
  for (const auto& layer : allLayers())
    if (layer->name() == name) return layer;
  return nullptr;
}

std::vector<Feature> Map::selectedFeatures() const {
  std::vector<Feature> out;
  for (const auto& layer : featureLayers()) {
    auto cursor = layer->selection().search();
    while (auto feature = cursor->next()) out.push_back(std::move(*feature));
  }
  return out;
}

}  // namespace orvex::host
