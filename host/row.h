#pragma once

#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "host/field.h"
#include "host/geometry.h"
#include "host/value.h"

namespace orvex::host {

/// Object id of a row. Stable from the moment a command starts until it returns, also across
/// deletions of other rows (a deleted row's id is not reused during the command).
using ObjectId = std::int32_t;
inline constexpr ObjectId kNoObjectId = -1;

/// Feature types (the design's "simple" is 1).
enum class FeatureType { Simple = 1, Annotation = 11 };

/// One row of a table or feature class, or a buffer for a new one: a value per field, in the
/// order of `fields()`, plus the shape when the table has a geometry field.
///
/// Rows are plain values. Changing one changes nothing on disk until it is given back to an
/// update or insert cursor.
///
/// - The object-id field's value is the row's id as an Int32 value (Empty in a new buffer).
/// - The geometry field's value is always Empty: the shape lives in `shape()`.
class Row {
 public:
  Row() = default;
  /// A buffer with every value Empty and the null geometry.
  explicit Row(std::shared_ptr<const Fields> fields);

  const Fields& fields() const { return *fields_; }
  /// Index of a field by name, letter case ignored; -1 when absent.
  int findField(std::string_view name) const { return fields_->find(name); }

  /// Throws `Error` (kSubscriptOutOfRange) for an index outside the fields.
  const Value& value(int index) const;
  /// Throws like `value`; also (kInvalidArgument) for the object-id and geometry fields, which
  /// the host maintains.
  void setValue(int index, Value value);
  /// The value of the named field; throws `Error` (kNotFound) when there is no such field.
  const Value& value(std::string_view fieldName) const;

  ObjectId oid() const { return oid_; }
  FeatureType featureType() const { return featureType_; }
  const Geometry& shape() const { return shape_; }
  Geometry& shape() { return shape_; }
  void setShape(Geometry shape) { shape_ = std::move(shape); }

  // For the platform filling rows it reads: set the id (also written to the object-id field's
  // value) and the feature type.
  void setOid(ObjectId oid);
  void setFeatureType(FeatureType type) { featureType_ = type; }
  /// Writes any field's value, including the maintained ones. Platform use only.
  void setRawValue(int index, Value value);

 private:
  std::shared_ptr<const Fields> fields_ = std::make_shared<const Fields>();
  std::vector<Value> values_;
  Geometry shape_;
  ObjectId oid_ = kNoObjectId;
  FeatureType featureType_ = FeatureType::Simple;
};

/// Features are rows of a feature class.
using Feature = Row;

}  // namespace orvex::host
