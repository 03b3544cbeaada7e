#include "platform/qgis/qgis_map.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <filesystem>
#include <system_error>

#include <qgslayertree.h>
#include <qgsrasterlayer.h>
#include <qgsvectorlayer.h>

#include "host/error.h"
#include "platform/gdal/geotiff_raster.h"
#include "platform/gdal/shapefile_feature_class.h"
#include "platform/qgis/layer_styles.h"
#include "platform/qgis/qgis_convert.h"
#include "platform/qgis/qgis_layers.h"

namespace orvex::platform::qgis {
namespace {

// The extensions of the data files a layer is named after, which the layers panel leaves out.
constexpr std::array<std::string_view, 12> kDataExtensions = {
    ".shp", ".tif", ".tiff", ".gpkg", ".csv", ".dbf", ".img", ".asc", ".geojson", ".gml", ".kml", ".mdb"};

/// A file's path as compared between layers: absolute and normal, without a provider's
/// "|layername=..." suffix.
std::string comparablePath(const QString& source) {
  std::error_code error;  // a source that is no path (a database, an empty one) matches no file
  const std::filesystem::path path = std::filesystem::absolute(toStd(source.section('|', 0, 0)), error);
  return error ? toStd(source) : path.lexically_normal().string();
}

/// Removes the project's layers that show the file `source` (a run that writes the same file
/// again) and returns where the first of them was, for its successor to take its place: its
/// group (null when there was none) and its position in it.
std::pair<QgsLayerTreeGroup*, int> removeLayersShowing(QgsProject& project, const QString& source) {
  const std::string wanted = comparablePath(source);
  std::pair<QgsLayerTreeGroup*, int> place{nullptr, 0};
  QStringList stale;
  for (QgsMapLayer* layer : project.mapLayers().values()) {
    if (comparablePath(layer->source()) != wanted) continue;
    stale << layer->id();
    QgsLayerTreeLayer* node = project.layerTreeRoot()->findLayer(layer->id());
    auto* group = node != nullptr ? qobject_cast<QgsLayerTreeGroup*>(node->parent()) : nullptr;
    if (place.first == nullptr && group != nullptr) place = {group, group->children().indexOf(node)};
  }
  project.removeMapLayers(stale);
  return place;
}

}  // namespace

std::string shownLayerName(const std::string& name) {
  const std::filesystem::path path(name);
  std::string extension = path.extension().string();
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  const bool dataFile =
      std::find(kDataExtensions.begin(), kDataExtensions.end(), extension) != kDataExtensions.end();
  return dataFile && !path.stem().empty() ? path.stem().string() : name;
}

QgisMap::QgisMap(QgsProject& project, host::SpatialReferenceFactory& references, EditSessions& edits,
                 std::shared_ptr<host::MapEvents> events)
    : project_(project), references_(references), edits_(edits), events_(std::move(events)) {
  const auto contentsChanged = [this] {
    if (!quiet_) raise(host::MapEventKind::ContentsChanged);
  };
  connections_.push_back(QObject::connect(&project_, &QgsProject::layersAdded,
                                          [this, contentsChanged](const QList<QgsMapLayer*>& added) {
                                            watchLayers(added);
                                            contentsChanged();
                                          }));
  connections_.push_back(QObject::connect(&project_, &QgsProject::layersRemoved,
                                          [this, contentsChanged](const QStringList& ids) {
                                            for (const QString& id : ids) wrappers_.erase(id);
                                            contentsChanged();
                                          }));
  connections_.push_back(
      QObject::connect(project_.layerTreeRoot(), &QgsLayerTree::layerOrderChanged, contentsChanged));
  connections_.push_back(QObject::connect(&project_, &QgsProject::crsChanged, [this] { followProject(); }));
  connections_.push_back(
      QObject::connect(&project_, &QgsProject::transformContextChanged, [this] { followProject(); }));
  watchLayers(project_.mapLayers().values());
}

QgisMap::~QgisMap() {
  for (const auto& connection : connections_) QObject::disconnect(connection);
}

void QgisMap::watchLayers(const QList<QgsMapLayer*>& layers) {
  for (QgsMapLayer* layer : layers)
    if (auto* vector = qobject_cast<QgsVectorLayer*>(layer))
      connections_.push_back(QObject::connect(vector, &QgsVectorLayer::selectionChanged, [this] {
        if (!quiet_) raise(host::MapEventKind::SelectionChanged);
      }));
}

void QgisMap::raise(host::MapEventKind kind) { events_->raise(host::MapEvent{kind}); }

std::string QgisMap::name() const {
  const QString title = project_.title();
  return title.isEmpty() ? std::string("Layers") : toStd(title);
}

std::shared_ptr<const MapFrame> QgisMap::frame() const {
  followProject();
  return frame_;
}

void QgisMap::followProject() const {
  if (frame_ && frame_->crs == project_.crs() && frame_->transformContext == project_.transformContext())
    return;
  auto next = std::make_shared<MapFrame>();
  next->crs = project_.crs();
  next->reference = toHostCrs(next->crs, references_);
  next->transformContext = project_.transformContext();
  next->edits = &edits_;
  frame_ = std::move(next);
  // The wrappers stay (selections and feature classes handed out keep their identity); their
  // features are read from now on in the project's new system.
  for (const auto& [id, wrapper] : wrappers_)
    if (auto* layer = dynamic_cast<QgisFeatureLayer*>(wrapper.get())) layer->setFrame(frame_);
}

std::shared_ptr<host::Layer> QgisMap::wrap(QgsMapLayer* layer) const {
  if (layer == nullptr) return nullptr;
  const auto found = wrappers_.find(layer->id());
  if (found != wrappers_.end()) return found->second;
  std::shared_ptr<host::Layer> wrapper;
  if (auto* vector = qobject_cast<QgsVectorLayer*>(layer))
    wrapper = std::make_shared<QgisFeatureLayer>(*vector, frame());
  else if (auto* raster = qobject_cast<QgsRasterLayer*>(layer))
    wrapper = std::make_shared<QgisRasterLayer>(*raster, toHostCrs(raster->crs(), references_));
  if (wrapper) wrappers_.emplace(layer->id(), wrapper);
  return wrapper;
}

std::vector<std::shared_ptr<host::Layer>> QgisMap::layers() const {
  followProject();
  std::function<std::vector<std::shared_ptr<host::Layer>>(const QgsLayerTreeGroup&)> walk =
      [&](const QgsLayerTreeGroup& group) {
        std::vector<std::shared_ptr<host::Layer>> result;
        for (QgsLayerTreeNode* node : group.children()) {
          if (QgsLayerTree::isGroup(node)) {
            const QgsLayerTreeGroup* member = QgsLayerTree::toGroup(node);
            result.push_back(std::make_shared<QgisGroupLayer>(toStd(member->name()), walk(*member)));
          } else if (QgsLayerTree::isLayer(node)) {
            if (auto wrapper = wrap(QgsLayerTree::toLayer(node)->layer()))
              result.push_back(std::move(wrapper));
          }
        }
        return result;
      };
  return walk(*project_.layerTreeRoot());
}

std::shared_ptr<host::FeatureLayer> QgisMap::addFeatureLayer(std::shared_ptr<host::FeatureClass> featureClass,
                                                             std::string name,
                                                             host::SpatialReferencePtr spatialReference) {
  (void)spatialReference;  // QGIS draws every layer in the project's system
  QString source;
  QString provider = QStringLiteral("ogr");
  bool written = false;  // a file a run wrote, rather than a layer of the project shown again
  if (auto* shapefile = dynamic_cast<gdal::ShapefileFeatureClass*>(featureClass.get())) {
    shapefile->sync();  // QGIS opens the file on its own: everything written must be on disk
    source = QString::fromStdString(shapefile->shpPath().string());
    written = true;
  } else if (const auto* existing = dynamic_cast<const QgisFeatureClass*>(featureClass.get())) {
    source = existing->layer().source();
    provider = existing->layer().providerType();
  } else {
    throw host::Error(host::kNotImplemented,
                      "The layer \"" + name + "\" cannot be shown: its data is not a file");
  }
  auto* layer = new QgsVectorLayer(source, toQString(shownLayerName(name)), provider);
  if (!layer->isValid()) {
    delete layer;
    throw host::Error(host::kDataError, "QGIS cannot open \"" + toStd(source) + "\"");
  }
  applyDefaultStyle(*layer);
  placeLayer(layer, written);
  return std::dynamic_pointer_cast<host::FeatureLayer>(wrap(layer));
}

std::shared_ptr<host::RasterLayer> QgisMap::addRasterLayer(std::shared_ptr<host::RasterDataset> raster,
                                                           std::string name) {
  if (!raster) throw host::Error(host::kInvalidArgument, "No raster to show as \"" + name + "\"");
  const QString source = QString::fromStdString(raster->path().string());
  auto* layer = new QgsRasterLayer(source, toQString(shownLayerName(name)), QStringLiteral("gdal"));
  if (!layer->isValid()) {
    delete layer;
    throw host::Error(host::kDataError, "QGIS cannot open \"" + toStd(source) + "\"");
  }
  applyDefaultStyle(*layer);
  placeLayer(layer, true);
  return std::dynamic_pointer_cast<host::RasterLayer>(wrap(layer));
}

void QgisMap::placeLayer(QgsMapLayer* layer, bool replaces) {
  // A file written again replaces the layer that showed it, in its place: a layer never shows
  // the file's old contents, and a re-run adds no second copy. The project owns the layer
  // from here; its signals raise ContentsChanged.
  const auto [group, index] =
      replaces ? removeLayersShowing(project_, layer->source()) : std::pair<QgsLayerTreeGroup*, int>{};
  if (group == nullptr) {
    project_.addMapLayer(layer);
    return;
  }
  project_.addMapLayer(layer, false);
  group->insertLayer(index, layer);
}

void QgisMap::removeLayer(const std::shared_ptr<host::Layer>& layer) {
  for (const auto& [id, wrapper] : wrappers_) {
    if (wrapper != layer) continue;
    const QString found = id;  // the erase in the removal signal invalidates `id`
    project_.removeMapLayer(found);
    return;
  }
}

void QgisMap::clearSelection() {
  quiet_ = true;
  for (QgsMapLayer* layer : project_.mapLayers().values())
    if (auto* vector = qobject_cast<QgsVectorLayer*>(layer)) vector->removeSelection();
  quiet_ = false;
  raise(host::MapEventKind::SelectionChanged);
}

QgisActiveView::QgisActiveView(QgsMapCanvas* canvas)
    : canvas_(canvas), events_(std::make_shared<host::MapEvents>()), graphics_(canvas) {}

void QgisActiveView::refresh() {
  if (canvas_) canvas_->refresh();
}

void QgisActiveView::partialRefresh(host::ViewPhase phase) {
  if (!canvas_) return;
  if (phase == host::ViewPhase::Graphics)
    canvas_->scene()->update();  // canvas items repaint without re-rendering the layers
  else
    canvas_->refresh();
}

QgisDocument::QgisDocument(QgsProject& project, QgsMapCanvas* canvas,
                           host::SpatialReferenceFactory& references, EditSessions& edits,
                           std::function<QgsMapLayer*()> currentLayer)
    : view_(canvas),
      map_(std::make_shared<QgisMap>(project, references, edits, view_.sharedEvents())),
      currentLayer_(std::move(currentLayer)) {}

std::shared_ptr<host::Layer> QgisDocument::selectedLayer() const {
  return currentLayer_ ? map_->wrap(currentLayer_()) : nullptr;
}

}  // namespace orvex::platform::qgis
