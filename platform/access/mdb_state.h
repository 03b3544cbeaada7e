#pragma once

// Internal to the Access reader: libmdb handles and the checks that keep libmdb on whole,
// existing pages. Nothing outside platform/access includes this header.

// glib must come first: mdbtools.h includes it inside an extern "C" block, which breaks
// glib's C++ templates.
#include <glib.h>
#include <mdbtools.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/access/access_value.h"

namespace orvex::access::detail {

struct MdbHandleDeleter {
  void operator()(MdbHandle* mdb) const { mdb_close(mdb); }
};
struct MdbTableDeleter {
  void operator()(MdbTableDef* table) const { mdb_free_tabledef(table); }
};
struct GFreeDeleter {
  void operator()(void* p) const { g_free(p); }
};

using MdbHandlePtr = std::unique_ptr<MdbHandle, MdbHandleDeleter>;
using MdbTablePtr = std::unique_ptr<MdbTableDef, MdbTableDeleter>;
using GCharPtr = std::unique_ptr<char, GFreeDeleter>;

struct DatabaseState {
  std::filesystem::path path;
  MdbHandlePtr mdb;
  std::size_t pageSize = 0;
  std::uint32_t pageCount = 0;
  /// User tables in catalog order. The reader builds these entries itself from the catalog
  /// table (libmdb's own catalog reader also parses object property blobs, and a damaged blob
  /// makes it allocate without bound); libmdb's table definitions point into them.
  std::vector<std::unique_ptr<MdbCatalogEntry>> userTables;
  std::vector<std::string> tableNames;

  /// "Access file '<path>'" for the front of every message.
  std::string describe() const;
};

struct TableState {
  std::shared_ptr<DatabaseState> db;
  MdbTablePtr table;
  std::string name;
  std::vector<AccessColumn> columns;
  std::vector<std::uint32_t> dataPages;  ///< checked to lie inside the file, in page order
};

/// Checks the file before libmdb opens it: readable, an Access signature, whole pages.
/// Returns the page size. Throws AccessError.
std::size_t checkFileShape(const std::filesystem::path& path, std::uint64_t& fileSize);

/// Checks the file's own page map (page 1) against the file's length: a file cut short still
/// records its lost pages as in use. Throws AccessError.
void checkGlobalPageMap(const DatabaseState& db);

/// Checks the table definition at `tdefPage` (and its continuation pages and page-map
/// records) before libmdb reads it. Throws AccessError naming `tableName`.
void checkTableDefinition(const DatabaseState& db, std::uint32_t tdefPage, const std::string& tableName);

/// The data pages of a table read by libmdb, from its page map, every one checked to lie
/// inside the file. Pages the map names that are not data pages of this table are left out,
/// as Access itself ignores them. Throws AccessError naming `tableName`.
std::vector<std::uint32_t> tableDataPages(const DatabaseState& db, const MdbTableDef& table,
                                          const std::string& tableName);

/// Copies page `page` (decrypted by libmdb where the file is encoded) into `out`; the page
/// must lie inside the file. Uses libmdb's alternate page buffer, leaving the current page alone.
void readPage(const DatabaseState& db, std::uint32_t page, std::vector<unsigned char>& out);

}  // namespace orvex::access::detail
