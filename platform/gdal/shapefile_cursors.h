#pragma once

// Cursors over a shapefile feature class.

#include <memory>
#include <vector>

#include "host/cursor.h"

namespace orvex::platform::gdal {

class ShapefileFeatureClass;

/// Walks the ids a filter selected when the cursor was opened, reading each row when it is
/// reached: a row deleted in between is skipped, never delivered stale. Independent of OGR's
/// single read position, so any number of cursors on one file can be open at once (the
/// duplicate-removal tools nest two walks over the same selection).
class ShapefileSearchCursor final : public host::Cursor {
 public:
  ShapefileSearchCursor(std::shared_ptr<const ShapefileFeatureClass> featureClass,
                        std::vector<host::ObjectId> ids);
  std::optional<host::Row> next() override;

 private:
  std::shared_ptr<const ShapefileFeatureClass> featureClass_;
  std::vector<host::ObjectId> ids_;
  std::size_t position_ = 0;
};

/// A search cursor that can rewrite or delete the row it last delivered.
class ShapefileUpdateCursor final : public host::UpdateCursor {
 public:
  ShapefileUpdateCursor(std::shared_ptr<ShapefileFeatureClass> featureClass, std::vector<host::ObjectId> ids);
  std::optional<host::Row> next() override;
  void updateRow(const host::Row& row) override;
  void deleteRow() override;

 private:
  std::shared_ptr<ShapefileFeatureClass> featureClass_;
  std::vector<host::ObjectId> ids_;
  std::size_t position_ = 0;
  host::ObjectId current_ = host::kNoObjectId;
};

/// Appends rows. Each row is handed to OGR at once (its id is known then, and a refused write
/// is reported by the insert that caused it); flush() writes the file headers through.
class ShapefileInsertCursor final : public host::InsertCursor {
 public:
  explicit ShapefileInsertCursor(std::shared_ptr<ShapefileFeatureClass> featureClass);
  ~ShapefileInsertCursor() override;
  host::ObjectId insert(const host::Row& buffer) override;
  void flush() override;

 private:
  std::shared_ptr<ShapefileFeatureClass> featureClass_;
};

}  // namespace orvex::platform::gdal
