#include "platform/headless/headless_layers.h"

#include <algorithm>

#include "host/error.h"
#include "host/table.h"

namespace orvex::platform::headless {

HeadlessFeatureLayer::HeadlessFeatureLayer(std::shared_ptr<host::FeatureClass> featureClass, std::string name,
                                           host::SpatialReferencePtr spatialReference)
    : featureClass_(std::move(featureClass)),
      name_(std::move(name)),
      spatialReference_(std::move(spatialReference)) {}

host::SpatialReferencePtr HeadlessFeatureLayer::spatialReference() const {
  if (spatialReference_) return spatialReference_;
  return featureClass_ ? featureClass_->spatialReference() : nullptr;
}

host::SelectionSet HeadlessFeatureLayer::selection() const {
  return host::SelectionSet(featureClass_, selected_);
}

void HeadlessFeatureLayer::replaceSelection(host::SelectionSet selection) {
  const auto* ownTable = static_cast<const host::Table*>(featureClass_.get());
  if (selection.table() && selection.table().get() != ownTable)
    throw host::Error(host::kInvalidArgument, "Layer '" + name_ + "' cannot select rows of table '" +
                                                  selection.table()->name() + "'");
  if (!selection.table() && !selection.isEmpty())
    throw host::Error(host::kInvalidArgument,
                      "Layer '" + name_ + "' was given object ids without their table");
  selected_.assign(selection.ids().begin(), selection.ids().end());
}

void HeadlessFeatureLayer::setSelection(host::SelectionSet selection) {
  replaceSelection(std::move(selection));
  if (auto events = events_.lock()) events->raise({host::MapEventKind::SelectionChanged});
}

HeadlessRasterLayer::HeadlessRasterLayer(std::shared_ptr<host::RasterDataset> raster, std::string name)
    : raster_(std::move(raster)), name_(std::move(name)) {}

host::SpatialReferencePtr HeadlessRasterLayer::spatialReference() const {
  return raster_ ? raster_->spatialReference() : nullptr;
}

host::SpatialReferencePtr HeadlessGroupLayer::spatialReference() const {
  for (const auto& member : members_)
    if (auto reference = member->spatialReference()) return reference;
  return nullptr;
}

void HeadlessGroupLayer::append(std::shared_ptr<host::Layer> layer) {
  if (layer) members_.push_back(std::move(layer));
}

bool HeadlessGroupLayer::removeMember(const std::shared_ptr<host::Layer>& layer) {
  if (auto found = std::find(members_.begin(), members_.end(), layer); found != members_.end()) {
    members_.erase(found);
    return true;
  }
  for (const auto& member : members_)
    if (auto group = std::dynamic_pointer_cast<HeadlessGroupLayer>(member);
        group && group->removeMember(layer))
      return true;
  return false;
}

void attachLayerEvents(const std::shared_ptr<host::Layer>& layer,
                       const std::weak_ptr<host::MapEvents>& events) {
  if (auto feature = std::dynamic_pointer_cast<HeadlessFeatureLayer>(layer)) {
    feature->attach(events);
  } else if (auto group = std::dynamic_pointer_cast<host::GroupLayer>(layer)) {
    for (const auto& member : group->layers()) attachLayerEvents(member, events);
  }
}

}  // namespace orvex::platform::headless
