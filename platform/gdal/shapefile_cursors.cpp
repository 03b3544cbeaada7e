#include "platform/gdal/shapefile_cursors.h"

#include "host/error.h"
#include "platform/gdal/shapefile_feature_class.h"

namespace orvex::platform::gdal {

ShapefileSearchCursor::ShapefileSearchCursor(std::shared_ptr<const ShapefileFeatureClass> featureClass,
                                             std::vector<host::ObjectId> ids)
    : featureClass_(std::move(featureClass)), ids_(std::move(ids)) {}

std::optional<host::Row> ShapefileSearchCursor::next() {
  while (position_ < ids_.size()) {
    if (auto row = featureClass_->row(ids_[position_++])) return row;
  }
  return std::nullopt;
}

ShapefileUpdateCursor::ShapefileUpdateCursor(std::shared_ptr<ShapefileFeatureClass> featureClass,
                                             std::vector<host::ObjectId> ids)
    : featureClass_(std::move(featureClass)), ids_(std::move(ids)) {}

std::optional<host::Row> ShapefileUpdateCursor::next() {
  current_ = host::kNoObjectId;
  while (position_ < ids_.size()) {
    if (auto row = featureClass_->row(ids_[position_++])) {
      current_ = row->oid();
      return row;
    }
  }
  return std::nullopt;
}

void ShapefileUpdateCursor::updateRow(const host::Row& row) {
  if (current_ == host::kNoObjectId) {
    throw host::Error(host::kInvalidArgument,
                      "no current row to update in \"" + featureClass_->name() + "\"");
  }
  if (row.oid() != current_) {
    throw host::Error(host::kInvalidArgument, "row " + std::to_string(row.oid()) +
                                                  " is not the current row " + std::to_string(current_) +
                                                  " of \"" + featureClass_->name() + "\"");
  }
  featureClass_->writeRow(row);
}

void ShapefileUpdateCursor::deleteRow() {
  if (current_ == host::kNoObjectId) {
    throw host::Error(host::kInvalidArgument,
                      "no current row to delete in \"" + featureClass_->name() + "\"");
  }
  featureClass_->deleteRow(current_);
  current_ = host::kNoObjectId;
}

ShapefileInsertCursor::ShapefileInsertCursor(std::shared_ptr<ShapefileFeatureClass> featureClass)
    : featureClass_(std::move(featureClass)) {}

ShapefileInsertCursor::~ShapefileInsertCursor() {
  try {
    featureClass_->sync();
  } catch (const host::Error&) {
    // A destructor cannot report; callers that must know call flush().
  }
}

host::ObjectId ShapefileInsertCursor::insert(const host::Row& buffer) {
  return featureClass_->appendRow(buffer);
}

void ShapefileInsertCursor::flush() { featureClass_->sync(); }

}  // namespace orvex::platform::gdal
