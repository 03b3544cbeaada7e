#include "platform/headless/headless_map.h"

#include <algorithm>

#include "host/error.h"
#include "platform/headless/headless_layers.h"

namespace orvex::platform::headless {

HeadlessMap::HeadlessMap(std::string name, std::shared_ptr<host::MapEvents> events)
    : name_(std::move(name)), events_(std::move(events)) {}

void HeadlessMap::insertOnTop(std::shared_ptr<host::Layer> layer) {
  attachLayerEvents(layer, events_);
  layers_.insert(layers_.begin(), std::move(layer));
  events_->raise({host::MapEventKind::ContentsChanged});
}

std::shared_ptr<host::FeatureLayer> HeadlessMap::addFeatureLayer(
    std::shared_ptr<host::FeatureClass> featureClass, std::string name,
    host::SpatialReferencePtr spatialReference) {
  auto layer = std::make_shared<HeadlessFeatureLayer>(std::move(featureClass), std::move(name),
                                                      std::move(spatialReference));
  insertOnTop(layer);
  return layer;
}

std::shared_ptr<host::RasterLayer> HeadlessMap::addRasterLayer(std::shared_ptr<host::RasterDataset> raster,
                                                               std::string name) {
  auto layer = std::make_shared<HeadlessRasterLayer>(std::move(raster), std::move(name));
  insertOnTop(layer);
  return layer;
}

void HeadlessMap::removeLayer(const std::shared_ptr<host::Layer>& layer) {
  bool removed = false;
  if (auto found = std::find(layers_.begin(), layers_.end(), layer); found != layers_.end()) {
    layers_.erase(found);
    removed = true;
  } else {
    for (const auto& top : layers_)
      if (auto group = std::dynamic_pointer_cast<HeadlessGroupLayer>(top);
          group && group->removeMember(layer)) {
        removed = true;
        break;
      }
  }
  if (!removed) return;
  attachLayerEvents(layer, {});
  events_->raise({host::MapEventKind::ContentsChanged});
}

void HeadlessMap::clearSelection() {
  for (const auto& layer : featureLayers()) {
    if (auto own = std::dynamic_pointer_cast<HeadlessFeatureLayer>(layer))
      own->replaceSelection({});
    else
      layer->setSelection({});
  }
  events_->raise({host::MapEventKind::SelectionChanged});
}

void HeadlessMap::appendLayer(std::shared_ptr<host::Layer> layer) {
  if (!layer) return;
  attachLayerEvents(layer, events_);
  layers_.push_back(std::move(layer));
}

host::ElementId RecordingGraphicsContainer::add(host::GraphicElement element) {
  added_.push_back(element);
  const host::ElementId id = MemoryGraphicsContainer::add(std::move(element));
  operations_.push_back({GraphicsOperation::Kind::Add, id});
  return id;
}

void RecordingGraphicsContainer::remove(host::ElementId id) {
  MemoryGraphicsContainer::remove(id);
  operations_.push_back({GraphicsOperation::Kind::Remove, id});
}

HeadlessDocument::HeadlessDocument() {
  focus_ = std::make_shared<HeadlessMap>(kFirstMapName, view_.sharedEvents());
  maps_.push_back(focus_);
}

std::shared_ptr<HeadlessMap> HeadlessDocument::addMap(std::string name) {
  auto map = std::make_shared<HeadlessMap>(std::move(name), view_.sharedEvents());
  maps_.push_back(map);
  return map;
}

void HeadlessDocument::setFocusMap(const std::shared_ptr<HeadlessMap>& map) {
  if (std::find(maps_.begin(), maps_.end(), map) == maps_.end())
    throw host::Error(host::kInvalidArgument, "The map is not one of this document's maps");
  if (map == focus_) return;
  focus_ = map;
  view_.events().raise({host::MapEventKind::FocusMapChanged});
}

}  // namespace orvex::platform::headless
