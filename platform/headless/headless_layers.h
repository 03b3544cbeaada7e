#pragma once

// The layers of the headless host's maps.

#include <memory>
#include <string>
#include <vector>

#include "host/layer.h"
#include "host/map_events.h"

namespace orvex::platform::headless {

/// A feature layer. Its selection is a set over its own feature class; changing it raises
/// `SelectionChanged` on the events of the map the layer belongs to (none while it belongs to
/// no map).
class HeadlessFeatureLayer final : public host::FeatureLayer {
 public:
  /// `spatialReference` null: the feature class's own.
  HeadlessFeatureLayer(std::shared_ptr<host::FeatureClass> featureClass, std::string name,
                       host::SpatialReferencePtr spatialReference = {});

  std::string name() const override { return name_; }
  void setName(std::string name) override { name_ = std::move(name); }
  bool visible() const override { return true; }
  host::SpatialReferencePtr spatialReference() const override;

  std::shared_ptr<host::FeatureClass> featureClass() const override { return featureClass_; }
  host::SelectionSet selection() const override;
  /// Throws host::Error (kInvalidArgument) for a set over another table, or for ids without a
  /// table.
  void setSelection(host::SelectionSet selection) override;
  /// The same without an event (the map raises one event for several layers).
  void replaceSelection(host::SelectionSet selection);

  std::string animalField() const override { return animalField_; }
  /// Names the field that tells the layer's animals apart (empty: the layer is one animal).
  void setAnimalField(std::string field) { animalField_ = std::move(field); }

  /// The events changes are raised on; empty when the layer is in no map.
  void attach(std::weak_ptr<host::MapEvents> events) { events_ = std::move(events); }

 private:
  std::shared_ptr<host::FeatureClass> featureClass_;
  std::string name_;
  host::SpatialReferencePtr spatialReference_;
  std::vector<host::ObjectId> selected_;
  std::weak_ptr<host::MapEvents> events_;
  std::string animalField_;
};

/// A raster layer; its coordinate system is the raster's.
class HeadlessRasterLayer final : public host::RasterLayer {
 public:
  HeadlessRasterLayer(std::shared_ptr<host::RasterDataset> raster, std::string name);

  std::string name() const override { return name_; }
  void setName(std::string name) override { name_ = std::move(name); }
  bool visible() const override { return true; }
  host::SpatialReferencePtr spatialReference() const override;
  std::shared_ptr<host::RasterDataset> raster() const override { return raster_; }

 private:
  std::shared_ptr<host::RasterDataset> raster_;
  std::string name_;
};

/// A group of layers; its coordinate system is that of its first member that has one.
class HeadlessGroupLayer final : public host::GroupLayer {
 public:
  explicit HeadlessGroupLayer(std::string name) : name_(std::move(name)) {}

  std::string name() const override { return name_; }
  void setName(std::string name) override { name_ = std::move(name); }
  bool visible() const override { return true; }
  host::SpatialReferencePtr spatialReference() const override;
  std::vector<std::shared_ptr<host::Layer>> layers() const override { return members_; }

  /// Appends a member (no event: a group is filled before it is put in a map).
  void append(std::shared_ptr<host::Layer> layer);
  /// Removes `layer` from this group or a group inside it; true when found.
  bool removeMember(const std::shared_ptr<host::Layer>& layer);

 private:
  std::string name_;
  std::vector<std::shared_ptr<host::Layer>> members_;
};

/// Points the feature layers of `layer` (the layer itself, or a group's members at any
/// depth) at `events`; an empty pointer detaches them.
void attachLayerEvents(const std::shared_ptr<host::Layer>& layer,
                       const std::weak_ptr<host::MapEvents>& events);

}  // namespace orvex::platform::headless
