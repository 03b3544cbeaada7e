#pragma once

// A QGIS vector layer as a host feature class.
//
// Any vector layer QGIS opens qualifies (shapefile, GeoPackage, delimited text, ...). Feature
// ids are QGIS's: 64-bit and not necessarily 0..n-1 (GeoPackage starts at 1 and has gaps);
// they cross the host boundary as they are while they fit 32 bits, and a feature whose id does
// not is refused with host::Error (kDataError).
//
// Geometry is read and written in the map's coordinate system, the way QGIS draws the layer:
// `spatialReference()` is the map's, and QGIS transforms from and to the layer's own on the
// fly. Writes go through the layer's editing session (see EditSessions).

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <qgscoordinatetransformcontext.h>
#include <qgsfeaturerequest.h>
#include <qgsvectorlayer.h>
#include <QMetaObject>
#include <QPointer>

#include "host/table.h"
#include "platform/qgis/edit_sessions.h"

namespace orvex::platform::qgis {

/// The coordinate system features are read and written in, and the sessions writes open.
struct MapFrame {
  QgsCoordinateReferenceSystem crs{};  ///< invalid: the layer's own
  host::SpatialReferencePtr reference{};
  QgsCoordinateTransformContext transformContext{};
  EditSessions* edits = nullptr;
};

class QgisFeatureClass final : public host::FeatureClass {
 public:
  /// The fields follow the layer's: a field added or deleted outside a run (in the attribute
  /// table, by Edit > Undo of a run) is seen by the next run.
  QgisFeatureClass(QgsVectorLayer& layer, std::shared_ptr<const MapFrame> frame);
  ~QgisFeatureClass() override;
  QgisFeatureClass(const QgisFeatureClass&) = delete;
  QgisFeatureClass& operator=(const QgisFeatureClass&) = delete;

  std::string name() const override;
  const host::Fields& fields() const override { return *fields_; }
  int addField(const host::FieldDef& field) override;
  void deleteField(std::string_view name) override;
  int rowCount(const host::QueryFilter& filter = {}) const override;
  std::unique_ptr<host::Cursor> search(const host::QueryFilter& filter = {}) const override;
  std::unique_ptr<host::UpdateCursor> update(const host::QueryFilter& filter = {}) override;
  std::unique_ptr<host::InsertCursor> insert(bool useBuffering = true) override;
  std::optional<host::Row> row(host::ObjectId id) const override;
  void deleteRow(host::ObjectId id) override;
  host::Row createRowBuffer() const override { return host::Row(fields_); }

  host::GeometryType shapeType() const override { return shapeType_; }
  host::Envelope extent() const override;
  host::SpatialReferencePtr spatialReference() const override { return frame_->reference; }

  /// Reads and writes the features in `frame`'s system from now on; the shape field's
  /// reference follows.
  void setFrame(std::shared_ptr<const MapFrame> frame);

  /// The layer; throws host::Error (kNotFound) when it was removed from the project.
  QgsVectorLayer& layer() const;

  // For the cursors.

  /// Ids of the features the filter selects, in the layer's order or the filter's id order.
  std::vector<QgsFeatureId> matchingIds(const host::QueryFilter& filter) const;
  /// The feature of that id as a host row; nothing when it does not exist (or was deleted in
  /// the editing session).
  std::optional<host::Row> read(QgsFeatureId id) const;
  /// Writes the values and shape of `row` that differ from `before` over the feature.
  void write(const host::Row& row, const host::Row& before);
  host::ObjectId append(const host::Row& buffer);
  void remove(QgsFeatureId id);

 private:
  void rebuildFields();
  /// Starts (or joins) the run's editing session after checking the layer can `capability`.
  void beginEdit(int capability);
  QgsFeatureRequest request() const;

  QPointer<QgsVectorLayer> layer_;
  std::shared_ptr<const MapFrame> frame_;
  std::shared_ptr<const host::Fields> fields_;
  /// QGIS attribute index of each host field; -1 for the object id and the shape.
  std::vector<int> attributeOf_;
  host::GeometryType shapeType_ = host::GeometryType::Null;
  QMetaObject::Connection fieldsChanged_;
};

}  // namespace orvex::platform::qgis
