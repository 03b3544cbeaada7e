#pragma once

#include <optional>

#include "host/row.h"

namespace orvex::host {

/// Forward-only walk over the rows a filter selects, in the table's stored order (or the
/// filter's id order). A cursor keeps its data source open until it is destroyed.
///
/// Rows are read when they are fetched: a row deleted after the cursor was opened but before
/// it is reached is not delivered, so a walk never returns a stale copy of a deleted feature.
/// Shapes of delivered features carry the feature class's spatial reference.
class Cursor {
 public:
  virtual ~Cursor();
  /// The next row, or nothing at the end. Throws `Error` when the source cannot be read.
  virtual std::optional<Row> next() = 0;
};

/// A cursor that can change or delete the row it last delivered.
class UpdateCursor : public Cursor {
 public:
  ~UpdateCursor() override;
  /// Writes `row`'s values and shape over the row last delivered by `next()` (the row's id
  /// must be that row's). Throws `Error` (kInvalidArgument) when no row is current, (kDataError)
  /// when the write fails.
  virtual void updateRow(const Row& row) = 0;
  /// Deletes the row last delivered; the cursor then has no current row.
  virtual void deleteRow() = 0;
};

/// Adds rows to a table. With buffering the platform may hold rows back until `flush()` or
/// destruction; call `flush()` to learn of write failures (destruction flushes and cannot
/// report them).
class InsertCursor {
 public:
  virtual ~InsertCursor();
  /// Adds a row made from `buffer` (a row of the table's fields, from `Table::createRowBuffer`)
  /// and returns its new id. The buffer's id and maintained fields are ignored. A shape whose
  /// type differs from the class's shape type throws `Error` (kInvalidArgument).
  virtual ObjectId insert(const Row& buffer) = 0;
  /// Writes buffered rows through. Throws `Error` (kDataError) on failure.
  virtual void flush() = 0;
};

}  // namespace orvex::host
