#pragma once

// The map, view and document of the desktop host: the QGIS project's layer tree, its
// coordinate system and the map canvas.

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <qgsmapcanvas.h>
#include <qgsproject.h>
#include <QMetaObject>
#include <QPointer>

#include "host/map.h"
#include "platform/qgis/canvas_graphics.h"
#include "platform/qgis/qgis_feature_class.h"

namespace orvex::platform::qgis {

/// The name the layers panel shows for a layer named `name`: without the extension of a data
/// file ("mcp95.shp" -> "mcp95", "UD.TIF" -> "UD"); other names as given ("Area 95.5").
std::string shownLayerName(const std::string& name);

/// The project's layer tree as the focus map. Layers appear in the tree's order; the map's
/// coordinate system is the project's, as it is now: the features of every layer are read in
/// it and written from it, whatever the layer's own system, and a change of the project's
/// system (or of its transformation settings) takes effect for every layer at once. Project and
/// layer signals raise the host's map events: layers added, removed or moved give
/// ContentsChanged, a layer's selection SelectionChanged.
class QgisMap final : public host::Map {
 public:
  QgisMap(QgsProject& project, host::SpatialReferenceFactory& references, EditSessions& edits,
          std::shared_ptr<host::MapEvents> events);
  ~QgisMap() override;
  QgisMap(const QgisMap&) = delete;
  QgisMap& operator=(const QgisMap&) = delete;

  std::string name() const override;
  host::SpatialReferencePtr spatialReference() const override { return frame()->reference; }
  std::vector<std::shared_ptr<host::Layer>> layers() const override;
  /// The class must be a file the GDAL platform wrote (a shapefile) or a layer of this map.
  /// Both adders name the layer by `shownLayerName`; a file a run wrote replaces, in its place
  /// in the layer tree, any layer that shows the same file (a run writing a file again).
  std::shared_ptr<host::FeatureLayer> addFeatureLayer(
      std::shared_ptr<host::FeatureClass> featureClass, std::string name,
      host::SpatialReferencePtr spatialReference = {}) override;
  std::shared_ptr<host::RasterLayer> addRasterLayer(std::shared_ptr<host::RasterDataset> raster,
                                                    std::string name) override;
  void removeLayer(const std::shared_ptr<host::Layer>& layer) override;
  void clearSelection() override;

  /// The host wrapper of a QGIS layer of the project; null for other kinds of layer.
  std::shared_ptr<host::Layer> wrap(QgsMapLayer* layer) const;
  /// The coordinate system features are read in (the project's, now).
  std::shared_ptr<const MapFrame> frame() const;
  /// Takes the project's coordinate system and transformation settings again when they changed
  /// since they were last taken, and hands them to every layer wrapper. Runs on the project's
  /// signals and at the start of every command run.
  void followProject() const;

 private:
  void watchLayers(const QList<QgsMapLayer*>& layers);
  void placeLayer(QgsMapLayer* layer, bool replaces);
  void raise(host::MapEventKind kind);

  QgsProject& project_;
  host::SpatialReferenceFactory& references_;
  EditSessions& edits_;
  std::shared_ptr<host::MapEvents> events_;
  mutable std::shared_ptr<MapFrame> frame_;
  mutable std::map<QString, std::shared_ptr<host::Layer>> wrappers_;
  std::vector<QMetaObject::Connection> connections_;
  bool quiet_ = false;  ///< set while one host call makes many QGIS changes
};

/// The view of the focus map: the map canvas (absent in tests that need none).
class QgisActiveView final : public host::ActiveView {
 public:
  explicit QgisActiveView(QgsMapCanvas* canvas);

  void refresh() override;
  void partialRefresh(host::ViewPhase phase) override;
  host::GraphicsContainer& graphics() override { return graphics_; }
  host::MapEvents& events() override { return *events_; }

  const std::shared_ptr<host::MapEvents>& sharedEvents() const { return events_; }
  CanvasGraphics& canvasGraphics() { return graphics_; }
  QgsMapCanvas* canvas() const { return canvas_.data(); }

 private:
  QPointer<QgsMapCanvas> canvas_;
  std::shared_ptr<host::MapEvents> events_;
  CanvasGraphics graphics_;
};

class QgisDocument final : public host::Document {
 public:
  /// `currentLayer` answers which layer is chosen in the layers panel (null: none).
  QgisDocument(QgsProject& project, QgsMapCanvas* canvas, host::SpatialReferenceFactory& references,
               EditSessions& edits, std::function<QgsMapLayer*()> currentLayer);

  std::shared_ptr<host::Map> focusMap() const override { return map_; }
  std::shared_ptr<host::Layer> selectedLayer() const override;
  host::ActiveView& activeView() override { return view_; }

  QgisActiveView& qgisView() { return view_; }
  QgisMap& qgisMap() { return *map_; }

 private:
  QgisActiveView view_;
  std::shared_ptr<QgisMap> map_;
  std::function<QgsMapLayer*()> currentLayer_;
};

}  // namespace orvex::platform::qgis
