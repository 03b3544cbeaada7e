#pragma once

#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "host/cursor.h"
#include "host/field.h"
#include "host/query.h"
#include "host/row.h"

namespace orvex::host {

class SelectionSet;

/// A table of rows (an Access table, a shapefile's attribute table). Tables are shared:
/// workspaces, layers and selection sets hold them by `std::shared_ptr`.
///
/// Every operation that fails throws `Error`: (kDataError) when the source refuses a read or
/// write, (kAccessDenied) for a write to a read-only source (Access workspaces are read-only).
class Table : public std::enable_shared_from_this<Table> {
 public:
  virtual ~Table();

  /// The dataset name (a shapefile's file name without ".shp").
  virtual std::string name() const = 0;
  /// Fields in stored order. For shapefiles: the object-id field "FID" (ObjectId) first, the
  /// geometry field "Shape" second, then the attribute fields.
  virtual const Fields& fields() const = 0;
  /// Index of a field, letter case ignored; -1 when absent.
  int findField(std::string_view name) const { return fields().find(name); }

  /// Adds a field and returns its index. Existing rows get Empty values. Throws `Error`
  /// (kAlreadyExists) when a field of that name exists.
  virtual int addField(const FieldDef& field) = 0;
  /// Deletes the named field and its values. Throws `Error` (kNotFound) when absent,
  /// (kInvalidArgument) for the object-id and geometry fields.
  virtual void deleteField(std::string_view name) = 0;

  /// Number of rows the filter selects.
  virtual int rowCount(const QueryFilter& filter = {}) const = 0;
  virtual std::unique_ptr<Cursor> search(const QueryFilter& filter = {}) const = 0;
  virtual std::unique_ptr<UpdateCursor> update(const QueryFilter& filter = {}) = 0;
  virtual std::unique_ptr<InsertCursor> insert(bool useBuffering = true) = 0;
  /// The row of that id, or nothing when there is none.
  virtual std::optional<Row> row(ObjectId id) const = 0;
  /// Deletes one row. Throws `Error` (kNotFound) when there is no row of that id.
  virtual void deleteRow(ObjectId id) = 0;

  /// A new row buffer of this table's fields (every value Empty, null shape). Platforms may
  /// override it to share one field list between buffers.
  virtual Row createRowBuffer() const;
  /// The ids of the rows the filter selects, in search order, as a selection of this table.
  SelectionSet select(const QueryFilter& filter = {}) const;

 protected:
  /// The ids `select` keeps: those of the rows `search(filter)` yields, in its order. This
  /// walk reads every row; a source that can find the same ids without reading the rows
  /// (their shapes above all) overrides it.
  virtual std::vector<ObjectId> selectedIds(const QueryFilter& filter) const;
};

/// A table whose rows carry one shape each.
class FeatureClass : public Table {
 public:
  ~FeatureClass() override;

  /// Point, Polyline or Polygon (Multipoint for multipoint classes).
  virtual GeometryType shapeType() const = 0;
  virtual FeatureType featureType() const { return FeatureType::Simple; }
  /// Bounding box of every feature (not only a selection); empty for an empty class.
  virtual Envelope extent() const = 0;
  /// May be null (unknown coordinate system).
  virtual SpatialReferencePtr spatialReference() const = 0;
  int featureCount(const QueryFilter& filter = {}) const { return rowCount(filter); }
};

/// `ids` in their order with the repeats of each id after its first dropped. Strictly rising ids
/// (those of a walk of a table) come back as they are, without a pass through a hash set.
std::vector<ObjectId> withoutRepeatedIds(std::vector<ObjectId> ids);

/// An ordered set of object ids of one table: a layer's selection or the result of a query.
/// A plain value; changing it changes no layer until it is given to
/// `FeatureLayer::setSelection`.
class SelectionSet {
 public:
  SelectionSet() = default;
  /// Ids are kept in the given order; duplicates after the first are dropped.
  SelectionSet(std::shared_ptr<const Table> table, std::vector<ObjectId> ids);

  const std::shared_ptr<const Table>& table() const { return table_; }
  std::span<const ObjectId> ids() const { return ids_; }
  int count() const { return static_cast<int>(ids_.size()); }
  bool isEmpty() const { return ids_.empty(); }
  bool contains(ObjectId id) const;
  void clear() { ids_.clear(); }

  /// The selected rows still present, in selection order, further restricted by `filter.where`
  /// (its `objectIds` must be absent). An empty selection, or one without a table, yields a
  /// cursor that is at its end at once.
  std::unique_ptr<Cursor> search(const QueryFilter& filter = {}) const;

 private:
  std::shared_ptr<const Table> table_;
  std::vector<ObjectId> ids_;
};

}  // namespace orvex::host
