#include "platform/qgis/qgis_feature_class.h"

#include <limits>

#include <qgscoordinatetransform.h>
#include <qgsexpression.h>
#include <qgsexpressioncontextutils.h>
#include <qgsproviderregistry.h>
#include <qgsvectordataprovider.h>
#include <qgsvectorlayereditbuffer.h>
#include <QFileInfo>

#include "host/error.h"
#include "platform/qgis/qgis_convert.h"

namespace orvex::platform::qgis {
namespace {

host::ObjectId toObjectId(QgsFeatureId id) {
  if (id < std::numeric_limits<host::ObjectId>::min() || id > std::numeric_limits<host::ObjectId>::max())
    throw host::Error(host::kDataError,
                      "Feature id " + std::to_string(id) + " does not fit the 32-bit ids the tools use");
  return static_cast<host::ObjectId>(id);
}

host::GeometryType shapeTypeOf(const QgsVectorLayer& layer) {
  switch (layer.geometryType()) {
    case QgsWkbTypes::PointGeometry:
      return QgsWkbTypes::isMultiType(layer.wkbType()) ? host::GeometryType::Multipoint
                                                       : host::GeometryType::Point;
    case QgsWkbTypes::LineGeometry:
      return host::GeometryType::Polyline;
    case QgsWkbTypes::PolygonGeometry:
      return host::GeometryType::Polygon;
    default:
      return host::GeometryType::Null;
  }
}

bool sameValue(const host::Value& a, const host::Value& b) { return a.variant() == b.variant(); }

class SearchCursor : public host::UpdateCursor {
 public:
  SearchCursor(const QgisFeatureClass& owner, std::vector<QgsFeatureId> ids, QgisFeatureClass* writer)
      : owner_(owner), writer_(writer), ids_(std::move(ids)) {}

  std::optional<host::Row> next() override {
    current_.reset();
    while (position_ < ids_.size()) {
      if (auto row = owner_.read(ids_[position_++])) {
        current_ = row;
        return row;
      }
    }
    return std::nullopt;
  }
  void updateRow(const host::Row& row) override {
    requireCurrent();
    if (row.oid() != current_->oid())
      throw host::Error(host::kInvalidArgument, "The row given to updateRow is not the cursor's current row");
    writer_->write(row, *current_);
    current_ = row;
  }
  void deleteRow() override {
    requireCurrent();
    writer_->remove(current_->oid());
    current_.reset();
  }

 private:
  void requireCurrent() const {
    if (writer_ == nullptr) throw host::Error(host::kAccessDenied, "A search cursor cannot write");
    if (!current_) throw host::Error(host::kInvalidArgument, "The cursor has no current row");
  }
  const QgisFeatureClass& owner_;
  QgisFeatureClass* writer_;
  std::vector<QgsFeatureId> ids_;
  std::size_t position_ = 0;
  std::optional<host::Row> current_;
};

class AppendCursor : public host::InsertCursor {
 public:
  explicit AppendCursor(QgisFeatureClass& owner) : owner_(owner) {}
  host::ObjectId insert(const host::Row& buffer) override { return owner_.append(buffer); }
  void flush() override {}  // the editing session holds the rows until the run commits

 private:
  QgisFeatureClass& owner_;
};

}  // namespace

QgisFeatureClass::QgisFeatureClass(QgsVectorLayer& layer, std::shared_ptr<const MapFrame> frame)
    : layer_(&layer), frame_(std::move(frame)), shapeType_(shapeTypeOf(layer)) {
  rebuildFields();
  fieldsChanged_ = QObject::connect(&layer, &QgsVectorLayer::updatedFields, [this] { rebuildFields(); });
}

QgisFeatureClass::~QgisFeatureClass() { QObject::disconnect(fieldsChanged_); }

void QgisFeatureClass::setFrame(std::shared_ptr<const MapFrame> frame) {
  frame_ = std::move(frame);
  if (!layer_.isNull()) rebuildFields();
}

QgsVectorLayer& QgisFeatureClass::layer() const {
  if (layer_.isNull()) throw host::Error(host::kNotFound, "The layer was removed from the project");
  return *layer_;
}

std::string QgisFeatureClass::name() const {
  const QgsVectorLayer& source = layer();
  const QVariantMap parts =
      QgsProviderRegistry::instance()->decodeUri(source.providerType(), source.source());
  const QString layerName = parts.value(QStringLiteral("layerName")).toString();
  if (!layerName.isEmpty()) return toStd(layerName);
  const QString path = parts.value(QStringLiteral("path")).toString();
  if (!path.isEmpty()) return toStd(QFileInfo(path).completeBaseName());
  return toStd(source.name());
}

void QgisFeatureClass::rebuildFields() {
  const QgsVectorLayer& source = layer();
  const QgsFields qgsFields = source.fields();
  // A provider's integer key (GeoPackage's "fid") is the object-id field under its own name.
  int keyAttribute = -1;
  const QgsAttributeList keys = source.primaryKeyAttributes();
  if (keys.size() == 1 && qgsFields.at(keys.front()).isNumeric()) keyAttribute = keys.front();

  std::vector<host::FieldDef> defs;
  attributeOf_.clear();
  defs.emplace_back(keyAttribute >= 0 ? toStd(qgsFields.at(keyAttribute).name()) : std::string("FID"),
                    host::FieldType::ObjectId);
  attributeOf_.push_back(-1);
  if (shapeType_ != host::GeometryType::Null) {
    defs.push_back(
        host::FieldDef::shape("Shape", host::GeometryDef{shapeType_, false, false, frame_->reference}));
    attributeOf_.push_back(-1);
  }
  for (int i = 0; i < qgsFields.count(); ++i) {
    if (i == keyAttribute) continue;
    defs.push_back(toHostField(qgsFields.at(i)));
    attributeOf_.push_back(i);
  }
  fields_ = std::make_shared<const host::Fields>(std::move(defs));
}

QgsFeatureRequest QgisFeatureClass::request() const {
  QgsFeatureRequest request;
  if (frame_->crs.isValid()) request.setDestinationCrs(frame_->crs, frame_->transformContext);
  return request;
}

std::vector<QgsFeatureId> QgisFeatureClass::matchingIds(const host::QueryFilter& filter) const {
  QgsVectorLayer& source = layer();
  std::optional<QgsExpression> expression;
  QgsExpressionContext context(QgsExpressionContextUtils::globalProjectLayerScopes(&source));
  if (filter.where.find_first_not_of(" \t\r\n") != std::string::npos) {
    expression.emplace(toQString(filter.where));
    if (expression->hasParserError() || !expression->prepare(&context) || expression->hasEvalError())
      throw host::Error(host::kInvalidArgument,
                        "The condition \"" + filter.where + "\" cannot be used on the layer \"" +
                            toStd(source.name()) + "\": " +
                            toStd(expression->hasParserError() ? expression->parserErrorString()
                                                               : expression->evalErrorString()));
  }
  const auto keep = [&](const QgsFeature& feature) {
    if (!expression) return true;
    context.setFeature(feature);
    return expression->evaluate(&context).toBool();
  };

  std::vector<QgsFeatureId> ids;
  QgsFeatureRequest walk;
  walk.setFlags(QgsFeatureRequest::NoGeometry);
  if (!expression) walk.setNoAttributes();
  if (filter.objectIds) {
    for (const host::ObjectId id : *filter.objectIds) {
      QgsFeature feature;
      if (source.getFeatures(QgsFeatureRequest(walk).setFilterFid(id)).nextFeature(feature) && keep(feature))
        ids.push_back(feature.id());
    }
    return ids;
  }
  QgsFeatureIterator features = source.getFeatures(walk);
  QgsFeature feature;
  while (features.nextFeature(feature))
    if (keep(feature)) ids.push_back(feature.id());
  return ids;
}

std::optional<host::Row> QgisFeatureClass::read(QgsFeatureId id) const {
  QgsVectorLayer& source = layer();
  if (source.editBuffer() != nullptr && source.editBuffer()->isFeatureDeleted(id)) return std::nullopt;
  QgsFeature feature;
  if (!source.getFeatures(request().setFilterFid(id)).nextFeature(feature)) return std::nullopt;
  host::Row row(fields_);
  row.setOid(toObjectId(feature.id()));
  for (int i = 0; i < fields_->count(); ++i) {
    const int attribute = attributeOf_[static_cast<std::size_t>(i)];
    if (attribute >= 0) row.setRawValue(i, toHostValue(feature.attribute(attribute), fields_->at(i).type));
  }
  if (shapeType_ != host::GeometryType::Null)
    row.setShape(toHostGeometry(feature.geometry(), frame_->reference));
  return row;
}

int QgisFeatureClass::rowCount(const host::QueryFilter& filter) const {
  if (filter.where.empty() && !filter.objectIds) return static_cast<int>(layer().featureCount());
  return static_cast<int>(matchingIds(filter).size());
}

std::unique_ptr<host::Cursor> QgisFeatureClass::search(const host::QueryFilter& filter) const {
  return std::make_unique<SearchCursor>(*this, matchingIds(filter), nullptr);
}

std::unique_ptr<host::UpdateCursor> QgisFeatureClass::update(const host::QueryFilter& filter) {
  return std::make_unique<SearchCursor>(*this, matchingIds(filter), this);
}

std::unique_ptr<host::InsertCursor> QgisFeatureClass::insert(bool useBuffering) {
  (void)useBuffering;
  return std::make_unique<AppendCursor>(*this);
}

std::optional<host::Row> QgisFeatureClass::row(host::ObjectId id) const { return read(id); }

void QgisFeatureClass::deleteRow(host::ObjectId id) {
  if (!read(id)) throw host::Error(host::kNotFound, "No feature with id " + std::to_string(id));
  remove(id);
}

void QgisFeatureClass::beginEdit(int capability) {
  QgsVectorLayer& target = layer();
  if (const std::string refusal = readOnlyRefusal(target, capability); !refusal.empty())
    throw host::Error(host::kAccessDenied, refusal);
  if (frame_->edits == nullptr) throw host::Error(host::kAccessDenied, "Layers cannot be edited here");
  frame_->edits->begin(target);
}

int QgisFeatureClass::addField(const host::FieldDef& field) {
  if (fields_->find(field.name) >= 0)
    throw host::Error(host::kAlreadyExists, "The field \"" + field.name + "\" already exists");
  beginEdit(QgsVectorDataProvider::AddAttributes);
  if (!layer().addAttribute(toQgsField(field)))
    throw host::Error(host::kDataError, "The field \"" + field.name + "\" could not be added");
  rebuildFields();
  return fields_->find(field.name);
}

void QgisFeatureClass::deleteField(std::string_view name) {
  const int index = fields_->find(name);
  if (index < 0) throw host::Error(host::kNotFound, "No field \"" + std::string(name) + "\"");
  const int attribute = attributeOf_[static_cast<std::size_t>(index)];
  if (attribute < 0) throw host::Error(host::kInvalidArgument, "The id and shape fields cannot be deleted");
  beginEdit(QgsVectorDataProvider::DeleteAttributes);
  if (!layer().deleteAttribute(attribute))
    throw host::Error(host::kDataError, "The field \"" + std::string(name) + "\" could not be deleted");
  rebuildFields();
}

void QgisFeatureClass::write(const host::Row& row, const host::Row& before) {
  beginEdit(QgsVectorDataProvider::ChangeAttributeValues);
  QgsVectorLayer& target = layer();
  const QgsFields qgsFields = target.fields();
  for (int i = 0; i < fields_->count(); ++i) {
    const int attribute = attributeOf_[static_cast<std::size_t>(i)];
    if (attribute < 0) continue;
    const int source = row.findField(fields_->at(i).name);
    if (source < 0 || sameValue(row.value(source), before.value(i))) continue;
    if (!target.changeAttributeValue(row.oid(), attribute,
                                     toQVariant(row.value(source), qgsFields.at(attribute).type())))
      throw host::Error(host::kDataError, "Feature " + std::to_string(row.oid()) + " could not be changed");
  }
  if (shapeType_ == host::GeometryType::Null) return;
  QgsGeometry shape = toQgsGeometry(row.shape());
  if (shape.equals(toQgsGeometry(before.shape()))) return;
  if (frame_->crs.isValid() && frame_->crs != target.crs())
    shape.transform(QgsCoordinateTransform(frame_->crs, target.crs(), frame_->transformContext));
  if (!target.changeGeometry(row.oid(), shape))
    throw host::Error(host::kDataError,
                      "The shape of feature " + std::to_string(row.oid()) + " could not be changed");
}

host::ObjectId QgisFeatureClass::append(const host::Row& buffer) {
  beginEdit(QgsVectorDataProvider::AddFeatures);
  QgsVectorLayer& target = layer();
  const QgsFields qgsFields = target.fields();
  QgsFeature feature(qgsFields);
  QgsAttributes attributes(qgsFields.count());  // sized before values are set by index
  for (int i = 0; i < fields_->count(); ++i) {
    const int attribute = attributeOf_[static_cast<std::size_t>(i)];
    const int source = buffer.findField(fields_->at(i).name);
    if (attribute >= 0 && source >= 0)
      attributes[attribute] = toQVariant(buffer.value(source), qgsFields.at(attribute).type());
  }
  feature.setAttributes(attributes);
  if (shapeType_ != host::GeometryType::Null) {
    if (!buffer.shape().isEmpty() && buffer.shape().type() != shapeType_)
      throw host::Error(host::kInvalidArgument, "The shape's type differs from the layer's");
    QgsGeometry shape = toQgsGeometry(buffer.shape());
    if (frame_->crs.isValid() && frame_->crs != target.crs())
      shape.transform(QgsCoordinateTransform(frame_->crs, target.crs(), frame_->transformContext));
    feature.setGeometry(shape);
  }
  if (!target.addFeature(feature)) throw host::Error(host::kDataError, "A feature could not be added");
  return toObjectId(feature.id());
}

void QgisFeatureClass::remove(QgsFeatureId id) {
  beginEdit(QgsVectorDataProvider::DeleteFeatures);
  if (!layer().deleteFeature(id))
    throw host::Error(host::kDataError, "Feature " + std::to_string(id) + " could not be deleted");
}

host::Envelope QgisFeatureClass::extent() const {
  QgsVectorLayer& source = layer();
  QgsRectangle box = source.extent();
  if (box.isNull() || source.featureCount() == 0) return {};
  if (frame_->crs.isValid() && frame_->crs != source.crs()) {
    // The features' own extent in the map's system: the source's box transformed would be the
    // box around a curved outline, wider than the features, and grids laid over it would move.
    box.setMinimal();
    QgsFeatureRequest walk = request();
    walk.setNoAttributes();
    QgsFeatureIterator features = source.getFeatures(walk);
    for (QgsFeature feature; features.nextFeature(feature);)
      if (feature.hasGeometry() && !feature.geometry().isEmpty())
        box.combineExtentWith(feature.geometry().boundingBox());
    if (box.xMaximum() < box.xMinimum()) return {};  // no feature has a shape
  }
  return host::Envelope{box.xMinimum(), box.yMinimum(), box.xMaximum(), box.yMaximum()};
}

}  // namespace orvex::platform::qgis
