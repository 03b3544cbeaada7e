#include "platform/access/access_database.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <tuple>
#include <utility>

#include "host/text.h"
#include "platform/access/mdb_state.h"

namespace orvex::access {

namespace {

using detail::DatabaseState;
using detail::TableState;

/// The catalog table every Access file keeps its object list in, on a fixed page.
constexpr std::uint32_t kCatalogPage = 2;
constexpr char kCatalogName[] = "MSysObjects";

/// Row offsets on a data page: the low 13 bits are the offset, 0x8000 marks a deleted row and
/// 0x4000 a row moved to another page (its slot holds only a pointer).
constexpr std::uint32_t kOffsetMask = 0x1FFF;
constexpr std::uint32_t kDeletedRow = 0x8000;
constexpr std::uint32_t kOverflowRow = 0x4000;
constexpr unsigned char kDataPage = 0x01;

/// The T (an integer or floating-point type) stored least significant byte first at `p`, read
/// the same on any host.
template <class T>
T readLittleEndian(const unsigned char* p) {
  std::array<unsigned char, sizeof(T)> bytes{};
  std::memcpy(bytes.data(), p, bytes.size());
  if constexpr (std::endian::native == std::endian::big) std::reverse(bytes.begin(), bytes.end());
  T value;
  std::memcpy(&value, bytes.data(), sizeof value);
  return value;
}

std::uint32_t u16(const unsigned char* p) { return readLittleEndian<std::uint16_t>(p); }

ColumnType columnTypeOf(int mdbType) {
  switch (mdbType) {
    case MDB_BOOL:
      return ColumnType::Boolean;
    case MDB_BYTE:
      return ColumnType::Byte;
    case MDB_INT:
      return ColumnType::Integer;
    case MDB_LONGINT:
      return ColumnType::LongInteger;
    case MDB_MONEY:
      return ColumnType::Currency;
    case MDB_FLOAT:
      return ColumnType::Single;
    case MDB_DOUBLE:
      return ColumnType::Double;
    case MDB_DATETIME:
      return ColumnType::DateTime;
    case MDB_TEXT:
      return ColumnType::Text;
    case MDB_MEMO:
      return ColumnType::Memo;
    default:
      return ColumnType::Unsupported;
  }
}

/// Bytes a fixed-size value occupies; 0 for variable-size and unsupported types.
std::size_t fixedSize(ColumnType type) {
  switch (type) {
    case ColumnType::Byte:
      return 1;
    case ColumnType::Integer:
      return 2;
    case ColumnType::LongInteger:
    case ColumnType::Single:
      return 4;
    case ColumnType::Currency:
    case ColumnType::Double:
    case ColumnType::DateTime:
      return 8;
    default:
      return 0;
  }
}

/// Reads a table definition and its columns with libmdb, after checking its pages.
detail::MdbTablePtr readTable(const DatabaseState& db, MdbCatalogEntry& entry, const std::string& name) {
  detail::checkTableDefinition(db, static_cast<std::uint32_t>(entry.table_pg), name);
  detail::MdbTablePtr table(mdb_read_table(&entry));
  if (!table) throw AccessError(db.describe() + ": the definition of table '" + name + "' cannot be read");
  if (mdb_read_columns(table.get()) == nullptr || table->columns == nullptr ||
      table->columns->len != table->num_cols) {
    throw AccessError(db.describe() + ": the columns of table '" + name + "' cannot be read");
  }
  return table;
}

std::vector<AccessColumn> describeColumns(const MdbTableDef& table) {
  std::vector<AccessColumn> columns;
  columns.reserve(table.num_cols);
  for (unsigned i = 0; i < table.num_cols; ++i) {
    const auto* col = static_cast<const MdbColumn*>(g_ptr_array_index(table.columns, i));
    AccessColumn column;
    column.name = col->name;
    column.rawType = col->col_type;
    column.type = columnTypeOf(col->col_type);
    column.size = col->col_size;
    if (column.type == ColumnType::Text) column.size = col->col_size / (IS_JET3(table.entry->mdb) ? 1 : 2);
    columns.push_back(std::move(column));
  }
  return columns;
}

/// Opens a table for reading: its definition, columns and checked data pages.
std::shared_ptr<TableState> openTableState(const std::shared_ptr<DatabaseState>& db, MdbCatalogEntry& entry) {
  auto table = std::make_shared<TableState>();
  table->db = db;
  table->name = entry.object_name;
  table->table = readTable(*db, entry, table->name);
  table->columns = describeColumns(*table->table);
  table->dataPages = detail::tableDataPages(*db, *table->table, table->name);
  return table;
}

/// Catalog object types and flags: a user table is a table (type 1) without the system or
/// hidden-system flags.
constexpr int kTableObject = 1;
constexpr int kObjectTypeMask = 0x7F;
constexpr std::uint32_t kSystemObjectFlags = 0x80000002u;
/// The catalog's Id column holds the table definition page in its low 24 bits.
constexpr std::uint32_t kPageOfId = 0x00FFFFFF;

/// Reads the user tables from the catalog table with the reader's own checked row reader.
void readCatalog(const std::shared_ptr<DatabaseState>& state) {
  MdbCatalogEntry catalogEntry{};
  catalogEntry.mdb = state->mdb.get();
  catalogEntry.object_type = MDB_TABLE;
  catalogEntry.table_pg = kCatalogPage;
  std::strncpy(catalogEntry.object_name, kCatalogName, MDB_MAX_OBJ_NAME);
  AccessTable catalog(openTableState(state, catalogEntry));

  const int id = catalog.findColumn("Id"), name = catalog.findColumn("Name"),
            type = catalog.findColumn("Type"), flags = catalog.findColumn("Flags");
  if (id < 0 || name < 0 || type < 0 || flags < 0) {
    throw AccessError(state->describe() +
                      " is damaged: its catalog table lacks the Id, Name, Type or Flags column");
  }
  AccessCursor cursor = catalog.search();
  int objects = 0;
  while (cursor.next()) {
    ++objects;
    const auto& row = cursor.row();
    const auto objectType = numericValue(row[static_cast<std::size_t>(type)]);
    const auto objectId = numericValue(row[static_cast<std::size_t>(id)]);
    const auto objectFlags = numericValue(row[static_cast<std::size_t>(flags)]);
    const auto* objectName = std::get_if<std::string>(&row[static_cast<std::size_t>(name)]);
    if (!objectType || !objectId || objectName == nullptr || objectName->empty()) continue;
    if ((static_cast<int>(*objectType) & kObjectTypeMask) != kTableObject) continue;
    const auto flagBits = static_cast<std::uint32_t>(static_cast<std::int64_t>(objectFlags.value_or(0.0)));
    if (flagBits & kSystemObjectFlags) continue;

    auto entry = std::make_unique<MdbCatalogEntry>();
    *entry = MdbCatalogEntry{};
    entry->mdb = state->mdb.get();
    entry->object_type = MDB_TABLE;
    entry->table_pg = static_cast<std::uint32_t>(static_cast<std::int64_t>(*objectId)) & kPageOfId;
    entry->flags = static_cast<int>(flagBits);
    std::strncpy(entry->object_name, objectName->c_str(), MDB_MAX_OBJ_NAME);
    state->tableNames.emplace_back(entry->object_name);
    state->userTables.push_back(std::move(entry));
  }
  if (objects == 0) throw AccessError(state->describe() + " is damaged: its catalog lists no objects");
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// AccessDatabase

AccessDatabase::AccessDatabase(std::shared_ptr<DatabaseState> state) : state_(std::move(state)) {}

AccessDatabase AccessDatabase::open(const std::filesystem::path& file) {
  auto state = std::make_shared<DatabaseState>();
  state->path = file;
  std::uint64_t fileSize = 0;
  const std::size_t pageSize = detail::checkFileShape(file, fileSize);

  state->mdb.reset(mdb_open(file.c_str(), MDB_NOFLAGS));
  if (!state->mdb)
    throw AccessError(state->describe() + " cannot be opened as an Access database",
                      AccessError::Kind::NotAccess);
  if (static_cast<std::size_t>(state->mdb->fmt->pg_size) != pageSize) {
    throw AccessError(state->describe() + " has a page size that does not match its version");
  }
  state->pageSize = pageSize;
  state->pageCount = static_cast<std::uint32_t>(fileSize / pageSize);

  detail::checkGlobalPageMap(*state);
  readCatalog(state);
  return AccessDatabase(std::move(state));
}

const std::filesystem::path& AccessDatabase::path() const { return state_->path; }

const std::vector<std::string>& AccessDatabase::tableNames() const { return state_->tableNames; }

AccessTable AccessDatabase::openTable(std::string_view name) const {
  for (const auto& entry : state_->userTables) {
    if (!host::iequals(entry->object_name, name)) continue;
    return AccessTable(openTableState(state_, *entry));
  }
  throw AccessError(state_->describe() + " has no table '" + std::string(name) + "'",
                    AccessError::Kind::NoSuchTable);
}

// ---------------------------------------------------------------------------------------------
// AccessTable

AccessTable::AccessTable(std::shared_ptr<TableState> state) : state_(std::move(state)) {}

const std::string& AccessTable::name() const { return state_->name; }

const std::filesystem::path& AccessTable::path() const { return state_->db->path; }

const std::vector<AccessColumn>& AccessTable::columns() const { return state_->columns; }

int AccessTable::findColumn(std::string_view name) const {
  for (std::size_t i = 0; i < state_->columns.size(); ++i) {
    if (host::iequals(state_->columns[i].name, name)) return static_cast<int>(i);
  }
  return -1;
}

AccessCursor AccessTable::search(std::string_view where) const {
  try {
    return AccessCursor(state_, WhereClause::compile(where, state_->columns));
  } catch (const AccessError& e) {
    throw AccessError(state_->db->describe() + ", table '" + state_->name + "': " + e.what(), e.kind());
  }
}

std::int64_t AccessTable::count(std::string_view where) const {
  AccessCursor cursor = search(where);
  std::int64_t n = 0;
  while (cursor.next()) ++n;
  return n;
}

// ---------------------------------------------------------------------------------------------
// AccessCursor

AccessCursor::AccessCursor(std::shared_ptr<TableState> table, WhereClause filter)
    : table_(std::move(table)), filter_(std::move(filter)) {}
AccessCursor::AccessCursor(AccessCursor&&) noexcept = default;
AccessCursor& AccessCursor::operator=(AccessCursor&&) noexcept = default;
AccessCursor::~AccessCursor() = default;

const std::vector<AccessValue>& AccessCursor::row() const { return row_; }

const std::vector<AccessColumn>& AccessCursor::columns() const { return table_->columns; }

bool AccessCursor::next() {
  while (!done_) {
    if (page_ >= table_->dataPages.size()) break;
    MdbHandle* mdb = table_->db->mdb.get();
    const std::size_t pageSize = table_->db->pageSize;
    const std::uint32_t pageNumber = table_->dataPages[page_];
    // Another cursor on the same file may have used libmdb's page buffer since; reading
    // through the cache check would trust a page number that no longer matches the buffer.
    mdb->cur_pg = 0;
    if (mdb_read_pg(mdb, pageNumber) != static_cast<ssize_t>(pageSize)) {
      throw AccessError(table_->db->describe() + ": page " + std::to_string(pageNumber) + " of table '" +
                        table_->name + "' cannot be read");
    }
    if (rowsOnPage_ < 0) {
      const std::size_t countOffset = mdb->fmt->row_count_offset;
      rowsOnPage_ = static_cast<int>(u16(mdb->pg_buf + countOffset));
      // The offset table must fit in the page before the rows it points to.
      if (countOffset + 2 + 2 * static_cast<std::size_t>(rowsOnPage_) > pageSize) {
        throw AccessError(table_->db->describe() + " is damaged or truncated: page " +
                          std::to_string(pageNumber) + " of table '" + table_->name + "' claims " +
                          std::to_string(rowsOnPage_) + " rows");
      }
      rowOnPage_ = 0;
    }
    if (rowOnPage_ >= rowsOnPage_) {
      ++page_;
      rowsOnPage_ = -1;
      continue;
    }
    const int rowIndex = rowOnPage_++;
    if (!readRow(page_, rowIndex)) continue;
    if (filter_.matches(row_)) return true;
  }
  done_ = true;
  row_.clear();
  return false;
}

namespace {

/// Names a row in the errors of a damaged file.
struct RowFault {
  const DatabaseState& db;
  const std::string& table;
  int rowIndex;
  std::uint32_t pageNumber;

  AccessError operator()(const std::string& what) const {
    return AccessError(db.describe() + " is damaged or truncated: row " + std::to_string(rowIndex) +
                       " on page " + std::to_string(pageNumber) + " of table '" + table + "' " + what);
  }
};

using RowSpan = std::pair<std::size_t, std::size_t>;  ///< [start, end) of a row in the page buffer

/// Rows fill a page from its end: a row runs up to the start of the row before it.
RowSpan rowBounds(const MdbHandle* mdb, std::size_t pageSize, int index, int rowsOnPage,
                  const RowFault& fault) {
  const std::size_t offsets = mdb->fmt->row_count_offset + 2;
  const std::size_t at = offsets + 2 * static_cast<std::size_t>(index);
  const std::size_t from = u16(mdb->pg_buf + at) & kOffsetMask;
  const std::size_t to = index == 0 ? pageSize : (u16(mdb->pg_buf + at - 2) & kOffsetMask);
  const std::size_t headerEnd = offsets + 2 * static_cast<std::size_t>(rowsOnPage);
  if (from < headerEnd || to > pageSize || from >= to) throw fault("has an impossible position");
  return {from, to};
}

/// A moved row's slot holds only a pointer to where the row now lives: one byte of row number,
/// three of page number. The row there is flagged deleted so that a scan meets it only this
/// way. Reads the target page into libmdb's buffer and returns the row's bounds there.
RowSpan followMovedRow(MdbHandle* mdb, const DatabaseState& db, std::uint32_t ownerPage, RowSpan pointer,
                       const RowFault& fault) {
  const auto [start, end] = pointer;
  if (end - start < 4) throw fault("was moved to another page, but its pointer is cut short");
  const int targetRow = mdb->pg_buf[start];
  const std::uint32_t targetPage = static_cast<std::uint32_t>(mdb->pg_buf[start + 1]) |
                                   static_cast<std::uint32_t>(mdb->pg_buf[start + 2]) << 8 |
                                   static_cast<std::uint32_t>(mdb->pg_buf[start + 3]) << 16;
  const std::string where =
      "was moved to row " + std::to_string(targetRow) + " of page " + std::to_string(targetPage);
  if (targetPage >= db.pageCount) throw fault(where + ", beyond the end of the file");
  mdb->cur_pg = 0;
  if (mdb_read_pg(mdb, targetPage) != static_cast<ssize_t>(db.pageSize))
    throw fault(where + ", which cannot be read");
  if (mdb->pg_buf[0] != kDataPage || readLittleEndian<std::uint32_t>(mdb->pg_buf + 4) != ownerPage) {
    throw fault(where + ", which is not a page of this table");
  }
  const std::size_t offsets = mdb->fmt->row_count_offset + 2;
  const int targetRows = static_cast<int>(u16(mdb->pg_buf + mdb->fmt->row_count_offset));
  if (targetRow >= targetRows || offsets + 2 * static_cast<std::size_t>(targetRows) > db.pageSize) {
    throw fault(where + ", which does not exist");
  }
  return rowBounds(mdb, db.pageSize, targetRow, targetRows, fault);
}

/// The value of a non-null field of a decoded type, its bytes checked to lie in the row.
AccessValue decodeValue(MdbHandle* mdb, const AccessColumn& column, const MdbField& field, RowSpan row,
                        const RowFault& fault) {
  if (field.start < 0 || field.siz < 0 ||
      static_cast<std::size_t>(field.start) + static_cast<std::size_t>(field.siz) > row.second ||
      static_cast<std::size_t>(field.start) < row.first) {
    throw fault("has a value of column '" + column.name + "' outside the row");
  }
  const unsigned char* bytes = mdb->pg_buf + field.start;
  const std::size_t size = static_cast<std::size_t>(field.siz);
  if (const std::size_t need = fixedSize(column.type); need != 0 && size < need) {
    throw fault("has a short value of column '" + column.name + "'");
  }
  switch (column.type) {
    case ColumnType::Byte:
      return static_cast<std::int32_t>(bytes[0]);
    case ColumnType::Integer:
      return static_cast<std::int32_t>(readLittleEndian<std::int16_t>(bytes));
    case ColumnType::LongInteger:
      return readLittleEndian<std::int32_t>(bytes);
    case ColumnType::Currency:
      // Stored as a count of ten-thousandths.
      return static_cast<double>(readLittleEndian<std::int64_t>(bytes)) / 10000.0;
    case ColumnType::Single:
      return readLittleEndian<float>(bytes);
    case ColumnType::Double:
      return readLittleEndian<double>(bytes);
    case ColumnType::DateTime:
      return AccessDate{readLittleEndian<double>(bytes)};
    case ColumnType::Text:
    case ColumnType::Memo: {
      // libmdb undoes Jet 4's compressed Unicode and converts to UTF-8.
      const int mdbType = column.type == ColumnType::Text ? MDB_TEXT : MDB_MEMO;
      detail::GCharPtr text(mdb_col_to_string(mdb, mdb->pg_buf, field.start, mdbType, field.siz));
      return std::string(text ? text.get() : "");
    }
    default:
      return AccessValue{};
  }
}

}  // namespace

bool AccessCursor::readRow(std::size_t pageIndex, int rowIndex) {
  const DatabaseState& db = *table_->db;
  MdbHandle* mdb = db.mdb.get();
  const RowFault fault{db, table_->name, rowIndex, table_->dataPages[pageIndex]};

  const std::size_t offsets = mdb->fmt->row_count_offset + 2;
  const std::uint32_t entry = u16(mdb->pg_buf + offsets + 2 * static_cast<std::size_t>(rowIndex));
  if (entry & kDeletedRow) return false;
  RowSpan span = rowBounds(mdb, db.pageSize, rowIndex, rowsOnPage_, fault);
  if (entry & kOverflowRow) {
    span = followMovedRow(mdb, db, static_cast<std::uint32_t>(table_->table->entry->table_pg), span, fault);
  }

  std::array<MdbField, MDB_MAX_COLS> fields{};
  const int fieldCount = mdb_crack_row(table_->table.get(), static_cast<int>(span.first),
                                       span.second - span.first, fields.data());
  if (fieldCount < 0 || static_cast<std::size_t>(fieldCount) > table_->columns.size()) {
    throw fault("cannot be decoded");
  }

  row_.assign(table_->columns.size(), AccessValue{});
  for (int f = 0; f < fieldCount; ++f) {
    const MdbField& field = fields[static_cast<std::size_t>(f)];
    if (field.colnum < 0 || static_cast<std::size_t>(field.colnum) >= table_->columns.size()) {
      throw fault("names a column that does not exist");
    }
    const AccessColumn& column = table_->columns[static_cast<std::size_t>(field.colnum)];
    AccessValue& cell = row_[static_cast<std::size_t>(field.colnum)];
    // A Yes/No value lives in the row's null mask itself: a set bit ("not null") is Yes.
    if (column.type == ColumnType::Boolean) {
      cell = !field.is_null;
      continue;
    }
    if (field.is_null || column.type == ColumnType::Unsupported) continue;
    cell = decodeValue(mdb, column, field, span, fault);
  }
  return true;
}

}  // namespace orvex::access
