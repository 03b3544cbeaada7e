#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/access/access_error.h"
#include "platform/access/access_value.h"
#include "platform/access/where_clause.h"

namespace orvex::access {

namespace detail {
struct DatabaseState;
struct TableState;
}  // namespace detail

class AccessTable;
class AccessCursor;

/// A read-only Access (.mdb) database, read with libmdb (Jet 3 and Jet 4 files, and the later
/// formats libmdb understands).
///
/// Damaged files are refused with an `AccessError` naming the file, never a crash, a hang or
/// a silently shortened table: the file must be whole pages, and every page that a table's
/// definition or page map points to must lie inside the file before libmdb is let at it.
///
/// Tables and cursors keep the database open; any of them may outlive this object. One
/// database and everything opened from it must be used from one thread at a time (libmdb keeps
/// one page buffer per file).
class AccessDatabase {
 public:
  /// Opens `file`. Throws `AccessError` when it is missing, not an Access file, or damaged.
  static AccessDatabase open(const std::filesystem::path& file);

  const std::filesystem::path& path() const;

  /// The user tables, in the order the file's catalog holds them (the order `mdb-tables`
  /// prints). System tables, queries and linked tables are not listed.
  const std::vector<std::string>& tableNames() const;

  /// Opens a user table by name, ignoring case as Access does. Throws `AccessError` when the
  /// file holds no such table or its definition or pages are damaged.
  AccessTable openTable(std::string_view name) const;

 private:
  explicit AccessDatabase(std::shared_ptr<detail::DatabaseState> state);
  std::shared_ptr<detail::DatabaseState> state_;
};

/// One table: its columns and a way to read its rows.
class AccessTable {
 public:
  const std::string& name() const;
  const std::filesystem::path& path() const;

  /// The columns in the table's order (the order of each row's values).
  const std::vector<AccessColumn>& columns() const;

  /// Index of the column with this name, ignoring case; -1 when there is none.
  int findColumn(std::string_view name) const;

  /// Made by `AccessDatabase::openTable`; the state type is internal to the reader.
  explicit AccessTable(std::shared_ptr<detail::TableState> state);

  /// A cursor over the rows that satisfy `where` (see `WhereClause`; blank keeps every row),
  /// in the file's order. Throws `AccessError` for a bad clause.
  AccessCursor search(std::string_view where = {}) const;

  /// The number of rows that satisfy `where` (reads the whole table).
  std::int64_t count(std::string_view where = {}) const;

 private:
  std::shared_ptr<detail::TableState> state_;
};

/// A forward-only cursor. `next()` moves to the next matching row; `row()` then holds one
/// value per column. Throws `AccessError` when it meets a damaged page or row.
class AccessCursor {
 public:
  AccessCursor(AccessCursor&&) noexcept;
  AccessCursor& operator=(AccessCursor&&) noexcept;
  ~AccessCursor();

  /// Advances to the next row that satisfies the filter. False at the end of the table.
  bool next();

  /// The current row; empty before the first `next()` and after the end.
  const std::vector<AccessValue>& row() const;

  const std::vector<AccessColumn>& columns() const;

 private:
  friend class AccessTable;
  AccessCursor(std::shared_ptr<detail::TableState> table, WhereClause filter);
  bool readRow(std::size_t pageIndex, int rowIndex);

  std::shared_ptr<detail::TableState> table_;
  WhereClause filter_;
  std::size_t page_ = 0;  ///< index into the table's data pages
  int rowOnPage_ = 0;
  int rowsOnPage_ = -1;  ///< -1: page not read yet
  std::vector<AccessValue> row_;
  bool done_ = false;
};

}  // namespace orvex::access
