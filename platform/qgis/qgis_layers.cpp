#include "platform/qgis/qgis_layers.h"

#include <algorithm>

#include <qgslayertree.h>
#include <qgsproject.h>
#include <QFileInfo>

#include "host/error.h"
#include "platform/gdal/gdal_platform.h"
#include "platform/qgis/animal_field_page.h"
#include "platform/qgis/qgis_convert.h"

namespace orvex::platform::qgis {
namespace {

bool treeVisible(const QgsMapLayer* layer) {
  if (layer == nullptr) return false;
  const QgsLayerTreeLayer* node = QgsProject::instance()->layerTreeRoot()->findLayer(layer->id());
  return node == nullptr || node->isVisible();
}

}  // namespace

QgisFeatureLayer::QgisFeatureLayer(QgsVectorLayer& layer, std::shared_ptr<const MapFrame> frame)
    : layer_(&layer), featureClass_(std::make_shared<QgisFeatureClass>(layer, std::move(frame))) {}

std::string QgisFeatureLayer::name() const { return layer_ ? toStd(layer_->name()) : std::string(); }
void QgisFeatureLayer::setName(std::string name) {
  if (layer_) layer_->setName(toQString(name));
}
bool QgisFeatureLayer::visible() const { return treeVisible(layer_.data()); }

std::string QgisFeatureLayer::animalField() const { return layer_ ? animalFieldOf(*layer_) : std::string(); }

std::shared_ptr<host::FeatureClass> QgisFeatureLayer::featureClass() const {
  return layer_ && layer_->isValid() ? featureClass_ : nullptr;
}

host::SelectionSet QgisFeatureLayer::selection() const {
  if (!layer_) return {};
  const QgsFeatureIds selected = layer_->selectedFeatureIds();
  std::vector<QgsFeatureId> sorted(selected.begin(), selected.end());
  std::sort(sorted.begin(), sorted.end());
  std::vector<host::ObjectId> ids;
  ids.reserve(sorted.size());
  for (const QgsFeatureId id : sorted) {
    if (id < std::numeric_limits<host::ObjectId>::min() || id > std::numeric_limits<host::ObjectId>::max())
      throw host::Error(host::kDataError, "Feature id " + std::to_string(id) + " of the layer \"" + name() +
                                              "\" does not fit the 32-bit ids the tools use");
    ids.push_back(static_cast<host::ObjectId>(id));
  }
  return host::SelectionSet(featureClass_, std::move(ids));
}

void QgisFeatureLayer::setSelection(host::SelectionSet selection) {
  if (!layer_) throw host::Error(host::kNotFound, "The layer was removed from the project");
  if (!selection.isEmpty() && selection.table() != featureClass_)
    throw host::Error(host::kInvalidArgument,
                      "The selection belongs to another table than the layer \"" + name() + "\"");
  QgsFeatureIds ids;
  for (const host::ObjectId id : selection.ids()) ids.insert(id);
  layer_->selectByIds(ids);  // QGIS signals the change; the map turns it into the host's event
}

QgisRasterLayer::QgisRasterLayer(QgsRasterLayer& layer, host::SpatialReferencePtr reference)
    : layer_(&layer), reference_(std::move(reference)) {}

std::string QgisRasterLayer::name() const { return layer_ ? toStd(layer_->name()) : std::string(); }
void QgisRasterLayer::setName(std::string name) {
  if (layer_) layer_->setName(toQString(name));
}
bool QgisRasterLayer::visible() const { return treeVisible(layer_.data()); }

std::shared_ptr<host::RasterDataset> QgisRasterLayer::raster() const {
  if (!layer_ || !layer_->isValid()) return nullptr;
  const QFileInfo file(layer_->source());
  if (!file.exists()) return nullptr;
  try {
    return gdal::openRasterWorkspace(file.absolutePath().toStdString())
        ->openRaster(toStd(file.completeBaseName()));
  } catch (const host::Error&) {
    return nullptr;  // not a raster the platform reads: the layer counts as broken
  }
}

host::SpatialReferencePtr QgisGroupLayer::spatialReference() const {
  for (const auto& member : members_)
    if (auto reference = member->spatialReference()) return reference;
  return nullptr;
}

}  // namespace orvex::platform::qgis
