#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host/geometry.h"

namespace orvex::host {

/// Field type codes as the design numbers them.
enum class FieldType {
  SmallInteger = 0,  ///< 16-bit integer (Access tables); read as Int32 values
  Integer = 1,       ///< 32-bit integer
  Single = 2,        ///< 32-bit float; read as Double values
  Double = 3,
  String = 4,
  Date = 5,
  ObjectId = 6,
  Geometry = 7,
};

/// Shape definition of a geometry field.
struct GeometryDef {
  GeometryType type = GeometryType::Point;
  bool hasZ = false;
  bool hasM = false;
  /// May be null: the unknown coordinate system.
  SpatialReferencePtr spatialReference{};
};

/// Definition of one field, as passed to field creation and reported by a table.
/// `length` is the width in characters for strings and the storage hint for numbers (a
/// shapefile stores a number in at most `precision` digits, `scale` of them decimals; 0 lets
/// the platform choose its default width).
struct FieldDef {
  std::string name{};
  FieldType type = FieldType::Double;
  int length = 0;
  int precision = 0;
  int scale = 0;
  /// Present for `FieldType::Geometry` only.
  std::optional<GeometryDef> geometry{};

  FieldDef() = default;
  FieldDef(std::string fieldName, FieldType fieldType, int fieldLength = 0, int fieldPrecision = 0,
           int fieldScale = 0, std::optional<GeometryDef> geometryDef = std::nullopt)
      : name(std::move(fieldName)),
        type(fieldType),
        length(fieldLength),
        precision(fieldPrecision),
        scale(fieldScale),
        geometry(std::move(geometryDef)) {}
  /// A geometry field.
  static FieldDef shape(std::string fieldName, GeometryDef def) {
    return FieldDef(std::move(fieldName), FieldType::Geometry, 0, 0, 0, std::move(def));
  }
};

/// The ordered fields of a table or row.
class Fields {
 public:
  Fields() = default;
  explicit Fields(std::vector<FieldDef> defs) : defs_(std::move(defs)) {}

  int count() const { return static_cast<int>(defs_.size()); }
  /// Throws `Error` (kSubscriptOutOfRange) for an index outside 0..count()-1.
  const FieldDef& at(int index) const;
  /// Index of the field of that name, letter case ignored; -1 when absent.
  int find(std::string_view name) const;
  /// Appends a field; throws `Error` (kAlreadyExists) when the name is taken (letter case
  /// ignored) and (kInvalidArgument) when it is empty.
  void add(FieldDef def);

  /// Index of the first field of that type, -1 when none (the object-id or the shape field).
  int findType(FieldType type) const;

  auto begin() const { return defs_.begin(); }
  auto end() const { return defs_.end(); }
  const std::vector<FieldDef>& defs() const { return defs_; }

 private:
  std::vector<FieldDef> defs_;
};

}  // namespace orvex::host
