#pragma once

// The map, view and document of the headless host.

#include <memory>
#include <string>
#include <vector>

#include "host/graphics.h"
#include "host/map.h"

namespace orvex::platform::headless {

/// A map whose layer list and coordinate system the host sets up before a command runs.
/// Changes made through the host interface raise their events on the view's events.
class HeadlessMap final : public host::Map {
 public:
  /// `events` is shared with the view that shows the map.
  HeadlessMap(std::string name, std::shared_ptr<host::MapEvents> events);

  std::string name() const override { return name_; }
  host::SpatialReferencePtr spatialReference() const override { return spatialReference_; }
  void setSpatialReference(host::SpatialReferencePtr reference) { spatialReference_ = std::move(reference); }

  std::vector<std::shared_ptr<host::Layer>> layers() const override { return layers_; }
  std::shared_ptr<host::FeatureLayer> addFeatureLayer(
      std::shared_ptr<host::FeatureClass> featureClass, std::string name,
      host::SpatialReferencePtr spatialReference = {}) override;
  std::shared_ptr<host::RasterLayer> addRasterLayer(std::shared_ptr<host::RasterDataset> raster,
                                                    std::string name) override;
  void removeLayer(const std::shared_ptr<host::Layer>& layer) override;
  void clearSelection() override;

  /// Puts a layer below the others without an event: how the host builds the map it starts
  /// with, so that the layers keep the order they were given in.
  void appendLayer(std::shared_ptr<host::Layer> layer);

 private:
  void insertOnTop(std::shared_ptr<host::Layer> layer);

  std::string name_;
  std::shared_ptr<host::MapEvents> events_;
  host::SpatialReferencePtr spatialReference_;
  std::vector<std::shared_ptr<host::Layer>> layers_;
};

/// What was done to a graphics container, in order.
struct GraphicsOperation {
  enum class Kind { Add, Remove };
  Kind kind = Kind::Add;
  host::ElementId id = 0;
  bool operator==(const GraphicsOperation&) const = default;
};

/// The graphics in memory, with a record of every change (what a test or a later renderer
/// reads).
class RecordingGraphicsContainer final : public host::MemoryGraphicsContainer {
 public:
  host::ElementId add(host::GraphicElement element) override;
  void remove(host::ElementId id) override;

  const std::vector<GraphicsOperation>& operations() const { return operations_; }
  /// Every element ever added, in order, also those removed since.
  const std::vector<host::GraphicElement>& added() const { return added_; }

 private:
  std::vector<GraphicsOperation> operations_;
  std::vector<host::GraphicElement> added_;
};

/// The view of the focus map. Nothing is drawn; refreshes are counted.
class HeadlessActiveView final : public host::ActiveView {
 public:
  HeadlessActiveView() : events_(std::make_shared<host::MapEvents>()) {}

  void refresh() override { ++refreshCount_; }
  void partialRefresh(host::ViewPhase phase) override { partialRefreshes_.push_back(phase); }
  host::GraphicsContainer& graphics() override { return graphics_; }
  host::MapEvents& events() override { return *events_; }

  const std::shared_ptr<host::MapEvents>& sharedEvents() const { return events_; }
  RecordingGraphicsContainer& recordingGraphics() { return graphics_; }
  int refreshCount() const { return refreshCount_; }
  const std::vector<host::ViewPhase>& partialRefreshes() const { return partialRefreshes_; }

 private:
  std::shared_ptr<host::MapEvents> events_;
  RecordingGraphicsContainer graphics_;
  int refreshCount_ = 0;
  std::vector<host::ViewPhase> partialRefreshes_;
};

/// The document: one or more maps, the focus map shown in the view, and the layer selected
/// in the table of contents.
class HeadlessDocument final : public host::Document {
 public:
  /// Name of the map a new document starts with.
  static constexpr const char* kFirstMapName = "Layers";

  HeadlessDocument();

  std::shared_ptr<host::Map> focusMap() const override { return focus_; }
  std::shared_ptr<host::Layer> selectedLayer() const override { return selectedLayer_; }
  host::ActiveView& activeView() override { return view_; }

  const std::shared_ptr<HeadlessMap>& headlessFocusMap() const { return focus_; }
  HeadlessActiveView& headlessView() { return view_; }

  /// Null clears the table-of-contents choice.
  void setSelectedLayer(std::shared_ptr<host::Layer> layer) { selectedLayer_ = std::move(layer); }
  /// A further map (not the focus map).
  std::shared_ptr<HeadlessMap> addMap(std::string name);
  /// Makes one of the document's maps the focus map and raises `FocusMapChanged`. Throws
  /// host::Error (kInvalidArgument) for a map of another document.
  void setFocusMap(const std::shared_ptr<HeadlessMap>& map);

 private:
  HeadlessActiveView view_;
  std::vector<std::shared_ptr<HeadlessMap>> maps_;
  std::shared_ptr<HeadlessMap> focus_;
  std::shared_ptr<host::Layer> selectedLayer_;
};

}  // namespace orvex::platform::headless
