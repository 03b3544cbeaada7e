// Checks that keep libmdb on pages that exist. libmdb reports a page read past the end of the
// file only on stderr and then carries on as if the table had ended (a truncated file lists no
// tables, or a shortened table), and one of its page-map paths exits the process. So every
// page a table definition or page map names is checked here first.

#include <cstring>
#include <fstream>
#include <string_view>
#include <system_error>

#include "platform/access/access_error.h"
#include "platform/access/mdb_state.h"

namespace orvex::access::detail {

namespace {

constexpr std::size_t kJet3PageSize = 2048;
constexpr std::size_t kJet4PageSize = 4096;
/// Header page, global page map, catalog table definition.
constexpr std::uint32_t kMinimumPages = 3;
constexpr std::size_t kSignatureOffset = 4;
constexpr std::size_t kVersionOffset = 0x14;
constexpr std::string_view kJetSignature{"Standard Jet DB\0", 16};
constexpr std::string_view kAceSignature{"Standard ACE DB\0", 16};

constexpr std::uint32_t kGlobalMapPage = 1;
constexpr unsigned char kDataPage = 0x01;
constexpr unsigned char kTableDefinitionPage = 0x02;
constexpr unsigned char kPageMapPage = 0x05;
constexpr int kInlineMap = 0;
constexpr int kIndirectMap = 1;
/// Bytes before the bitmap: map type, then the first page the bitmap covers.
constexpr std::size_t kInlineMapHeader = 5;
/// Bytes before the bitmap of a page-map page.
constexpr std::size_t kMapPageHeader = 4;

std::uint32_t u32(const unsigned char* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

std::uint32_t u16(const unsigned char* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8;
}

[[noreturn]] void damaged(const DatabaseState& db, const std::string& detail) {
  throw AccessError(db.describe() + " is damaged or truncated: " + detail);
}

std::string pageText(std::uint32_t page) { return "page " + std::to_string(page); }

}  // namespace

std::string DatabaseState::describe() const { return "Access file '" + path.string() + "'"; }

std::size_t checkFileShape(const std::filesystem::path& path, std::uint64_t& fileSize) {
  const std::string what = "Access file '" + path.string() + "'";
  std::error_code ec;
  if (!std::filesystem::exists(path, ec))
    throw AccessError(what + " does not exist", AccessError::Kind::FileNotFound);
  if (!std::filesystem::is_regular_file(path, ec))
    throw AccessError(what + " is not a regular file", AccessError::Kind::NotAccess);
  fileSize = std::filesystem::file_size(path, ec);
  if (ec) throw AccessError(what + " cannot be read: " + ec.message(), AccessError::Kind::NotAccess);

  std::ifstream in(path, std::ios::binary);
  char header[kVersionOffset + 1] = {};
  if (!in || !in.read(header, sizeof header)) {
    if (in.is_open() && fileSize < sizeof header) {
      throw AccessError(what + " is not an Access database (only " + std::to_string(fileSize) + " bytes)",
                        AccessError::Kind::NotAccess);
    }
    throw AccessError(what + " cannot be read", AccessError::Kind::NotAccess);
  }
  const std::string_view signature(header + kSignatureOffset, kJetSignature.size());
  if (header[0] != 0 || (signature != kJetSignature && signature != kAceSignature)) {
    throw AccessError(what + " is not an Access database (no Jet or ACE signature)",
                      AccessError::Kind::NotAccess);
  }
  const std::size_t pageSize = header[kVersionOffset] == 0 ? kJet3PageSize : kJet4PageSize;
  if (fileSize % pageSize != 0 || fileSize < kMinimumPages * pageSize) {
    throw AccessError(what + " is damaged or truncated: its size, " + std::to_string(fileSize) +
                      " bytes, is not a whole number of " + std::to_string(pageSize) + "-byte pages" +
                      (fileSize % pageSize == 0 ? " (too few pages)" : ""));
  }
  return pageSize;
}

void readPage(const DatabaseState& db, std::uint32_t page, std::vector<unsigned char>& out) {
  if (page >= db.pageCount) {
    damaged(db,
            pageText(page) + " lies beyond the end of the file (" + std::to_string(db.pageCount) + " pages)");
  }
  if (mdb_read_alt_pg(db.mdb.get(), page) != static_cast<ssize_t>(db.pageSize)) {
    damaged(db, pageText(page) + " cannot be read");
  }
  out.assign(db.mdb->alt_pg_buf, db.mdb->alt_pg_buf + db.pageSize);
}

void checkGlobalPageMap(const DatabaseState& db) {
  // Page 1 holds the file's own page map as the first row of a data page. A clear bit marks a
  // page in use; a page in use at or past the end of the file means the file was cut short.
  // Only the inline form is read; files large enough to need the indirect form are checked
  // table by table instead.
  std::vector<unsigned char> page;
  readPage(db, kGlobalMapPage, page);
  const std::size_t countOffset = db.mdb->fmt->row_count_offset;
  if (page[0] != kDataPage || u16(&page[countOffset]) == 0) return;
  const std::size_t start = u16(&page[countOffset + 2]) & 0x1FFF;
  if (start + kInlineMapHeader > db.pageSize || page[start] != kInlineMap) return;
  const std::uint64_t base = u32(&page[start + 1]);
  std::uint64_t lastInUse = 0;
  bool pastEnd = false;
  for (std::size_t i = start + kInlineMapHeader; i < db.pageSize; ++i) {
    for (unsigned bit = 0; bit < 8; ++bit) {
      if (page[i] & (1u << bit)) continue;
      const std::uint64_t number = base + (i - start - kInlineMapHeader) * 8 + bit;
      if (number >= db.pageCount) {
        pastEnd = true;
        lastInUse = number;
      }
    }
  }
  if (pastEnd) {
    damaged(db, "it has " + std::to_string(db.pageCount) + " pages, but its page map has pages up to " +
                    std::to_string(lastInUse) + " in use");
  }
}

void checkTableDefinition(const DatabaseState& db, std::uint32_t tdefPage, const std::string& tableName) {
  const std::string table = "table '" + tableName + "'";
  const MdbFormatConstants& fmt = *db.mdb->fmt;
  if (tdefPage == 0 || tdefPage >= db.pageCount) {
    damaged(db, "the definition of " + table + " is on " + pageText(tdefPage) +
                    ", beyond the end of the file (" + std::to_string(db.pageCount) + " pages)");
  }
  std::vector<unsigned char> page;
  readPage(db, tdefPage, page);
  if (page[0] != kTableDefinitionPage) {
    damaged(db, pageText(tdefPage) + " should hold the definition of " + table + " but does not");
  }
  const std::uint32_t columns = u16(&page[fmt.tab_num_cols_offset]);
  if (columns > MDB_MAX_COLS) {
    damaged(db, table + " claims " + std::to_string(columns) + " columns (at most " +
                    std::to_string(MDB_MAX_COLS) + " are possible)");
  }
  // The page-map records (one byte of row number, three of page number).
  for (const std::size_t offset :
       {std::size_t{fmt.tab_usage_map_offset}, std::size_t{fmt.tab_usage_map_offset} + 4}) {
    const std::uint32_t mapPage = u32(&page[offset]) >> 8;
    if (mapPage >= db.pageCount) {
      damaged(db, "the page map of " + table + " is on " + pageText(mapPage) +
                      ", beyond the end of the file (" + std::to_string(db.pageCount) + " pages)");
    }
  }
  // A long definition continues on further pages; a chain longer than the file is a loop.
  std::uint32_t next = u32(&page[4]);
  for (std::uint32_t hops = 0; next != 0; ++hops) {
    if (hops >= db.pageCount) damaged(db, "the definition pages of " + table + " form a loop");
    if (next >= db.pageCount) {
      damaged(db, "the definition of " + table + " continues on " + pageText(next) +
                      ", beyond the end of the file (" + std::to_string(db.pageCount) + " pages)");
    }
    readPage(db, next, page);
    if (page[0] != kTableDefinitionPage) {
      damaged(db, "the definition of " + table + " continues on " + pageText(next) +
                      ", which is not a definition page");
    }
    next = u32(&page[4]);
  }
}

std::vector<std::uint32_t> tableDataPages(const DatabaseState& db, const MdbTableDef& table,
                                          const std::string& tableName) {
  const std::string what = "the page map of table '" + tableName + "'";
  const auto* map = static_cast<const unsigned char*>(table.usage_map);
  const std::size_t mapSize = table.map_sz;
  if (map == nullptr || mapSize < 1) damaged(db, what + " cannot be read");
  const std::uint32_t owner = static_cast<std::uint32_t>(table.entry->table_pg);

  std::vector<std::uint32_t> pages;
  std::vector<unsigned char> page;
  auto consider = [&](std::uint64_t candidate) {
    if (candidate >= db.pageCount) {
      damaged(db, what + " names page " + std::to_string(candidate) + ", beyond the end of the file (" +
                      std::to_string(db.pageCount) + " pages)");
    }
    const auto number = static_cast<std::uint32_t>(candidate);
    readPage(db, number, page);
    if (page[0] == kDataPage && u32(&page[4]) == owner) pages.push_back(number);
  };
  auto scanBitmap = [&](const unsigned char* bits, std::size_t bytes, std::uint64_t firstPage) {
    for (std::size_t i = 0; i < bytes; ++i) {
      if (bits[i] == 0) continue;
      for (unsigned bit = 0; bit < 8; ++bit) {
        if (bits[i] & (1u << bit)) consider(firstPage + i * 8 + bit);
      }
    }
  };

  if (map[0] == kInlineMap) {
    if (mapSize < kInlineMapHeader) damaged(db, what + " is too short");
    scanBitmap(map + kInlineMapHeader, mapSize - kInlineMapHeader, u32(map + 1));
  } else if (map[0] == kIndirectMap) {
    const std::size_t pagesPerMapPage = (db.pageSize - kMapPageHeader) * 8;
    std::vector<unsigned char> mapPage;
    for (std::size_t k = 0; 1 + 4 * k + 4 <= mapSize; ++k) {
      const std::uint32_t mapPageNumber = u32(map + 1 + 4 * k);
      if (mapPageNumber == 0) continue;
      if (mapPageNumber >= db.pageCount) {
        damaged(db, what + " continues on " + pageText(mapPageNumber) + ", beyond the end of the file (" +
                        std::to_string(db.pageCount) + " pages)");
      }
      readPage(db, mapPageNumber, mapPage);
      if (mapPage[0] != kPageMapPage)
        damaged(db, what + " names " + pageText(mapPageNumber) + ", not a map page");
      scanBitmap(mapPage.data() + kMapPageHeader, db.pageSize - kMapPageHeader,
                 static_cast<std::uint64_t>(k) * pagesPerMapPage);
    }
  } else {
    damaged(db, what + " is of unknown type " + std::to_string(map[0]));
  }
  return pages;
}

}  // namespace orvex::access::detail
