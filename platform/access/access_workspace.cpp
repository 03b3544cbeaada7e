#include "platform/access/access_workspace.h"

#include <algorithm>
#include <map>
#include <optional>
#include <utility>
#include <vector>

#include "host/error.h"
#include "platform/access/access_database.h"

namespace orvex::access {

namespace {

/// Turns a reader error into the host's error, keeping the reader's message as the text shown.
[[noreturn]] void rethrowAsHost(const AccessError& e) {
  host::Status status = host::kDataError;
  switch (e.kind()) {
    case AccessError::Kind::FileNotFound:
      status = host::kFileNotFound;
      break;
    case AccessError::Kind::NoSuchTable:
      status = host::kNotFound;
      break;
    case AccessError::Kind::BadClause:
      status = host::kInvalidArgument;
      break;
    case AccessError::Kind::NotAccess:
    case AccessError::Kind::Damaged:
      break;
  }
  throw host::Error(status, e.what());
}

template <typename F>
auto translated(F&& f) -> decltype(f()) {
  try {
    return f();
  } catch (const AccessError& e) {
    rethrowAsHost(e);
  }
}

[[noreturn]] void readOnly(const std::filesystem::path& path, const std::string& what) {
  throw host::Error(host::kAccessDenied, "Access file '" + path.string() + "' is read-only: cannot " + what);
}

std::optional<host::FieldDef> fieldFor(const AccessColumn& column) {
  host::FieldDef def;
  def.name = column.name;
  switch (column.type) {
    case ColumnType::LongInteger:
      def.type = host::FieldType::Integer;
      break;
    case ColumnType::Integer:
    case ColumnType::Byte:
    case ColumnType::Boolean:
      def.type = host::FieldType::SmallInteger;
      break;
    case ColumnType::Single:
      def.type = host::FieldType::Single;
      break;
    case ColumnType::Double:
    case ColumnType::Currency:
      def.type = host::FieldType::Double;
      break;
    case ColumnType::DateTime:
      def.type = host::FieldType::Date;
      break;
    case ColumnType::Text:
      def.type = host::FieldType::String;
      def.length = column.size;
      break;
    case ColumnType::Memo:
      def.type = host::FieldType::String;
      break;
    case ColumnType::Unsupported:
      return std::nullopt;
  }
  return def;
}

host::Value hostValue(const AccessValue& value) {
  struct Convert {
    host::Value operator()(std::monostate) const { return {}; }
    host::Value operator()(bool b) const { return host::Value(std::int32_t{b ? -1 : 0}); }
    host::Value operator()(std::int32_t i) const { return host::Value(i); }
    host::Value operator()(float f) const { return host::Value(static_cast<double>(f)); }
    host::Value operator()(double d) const { return host::Value(d); }
    host::Value operator()(const std::string& s) const { return host::Value(s); }
    host::Value operator()(const AccessDate& d) const {
      return host::Value(host::Date::fromUnixSeconds(d.unixSeconds()));
    }
  };
  return std::visit(Convert{}, value);
}

/// The table shared by the workspace's callers; its cursors keep it (and the file) alive.
class AccessHostTable : public host::Table {
 public:
  explicit AccessHostTable(AccessTable table) : table_(std::move(table)) {
    std::vector<host::FieldDef> defs;
    for (std::size_t c = 0; c < table_.columns().size(); ++c) {
      if (auto def = fieldFor(table_.columns()[c])) {
        defs.push_back(std::move(*def));
        columnOfField_.push_back(c);
      }
    }
    fields_ = std::make_shared<const host::Fields>(std::move(defs));
  }

  std::string name() const override { return table_.name(); }
  const host::Fields& fields() const override { return *fields_; }

  int addField(const host::FieldDef& field) override {
    readOnly(table_.path(), "add field '" + field.name + "'");
  }
  void deleteField(std::string_view name) override {
    readOnly(table_.path(), "delete field '" + std::string(name) + "'");
  }

  int rowCount(const host::QueryFilter& filter) const override {
    auto cursor = search(filter);
    int n = 0;
    while (cursor->next()) ++n;
    return n;
  }

  std::unique_ptr<host::Cursor> search(const host::QueryFilter& filter) const override;

  std::unique_ptr<host::UpdateCursor> update(const host::QueryFilter&) override {
    readOnly(table_.path(), "update table '" + table_.name() + "'");
  }
  std::unique_ptr<host::InsertCursor> insert(bool) override {
    readOnly(table_.path(), "insert into table '" + table_.name() + "'");
  }
  void deleteRow(host::ObjectId) override {
    readOnly(table_.path(), "delete from table '" + table_.name() + "'");
  }

  std::optional<host::Row> row(host::ObjectId id) const override {
    if (id < 1) return std::nullopt;
    AccessCursor cursor = translated([&] { return table_.search(); });
    for (host::ObjectId position = 1; translated([&] { return cursor.next(); }); ++position) {
      if (position == id) return toRow(cursor.row(), id);
    }
    return std::nullopt;
  }

  host::Row toRow(const std::vector<AccessValue>& values, host::ObjectId id) const {
    host::Row row(fields_);
    for (std::size_t f = 0; f < columnOfField_.size(); ++f) {
      row.setRawValue(static_cast<int>(f), hostValue(values[columnOfField_[f]]));
    }
    row.setOid(id);
    return row;
  }

  const AccessTable& table() const { return table_; }

 private:
  AccessTable table_;
  std::shared_ptr<const host::Fields> fields_;
  std::vector<std::size_t> columnOfField_;
};

/// Walks the table in stored order, numbering every row (matching or not) so that object ids
/// do not depend on the filter; the where clause is applied here rather than in the reader.
class AccessHostCursor : public host::Cursor {
 public:
  AccessHostCursor(std::shared_ptr<const AccessHostTable> table, WhereClause where)
      : table_(std::move(table)),
        cursor_(translated([&] { return table_->table().search(); })),
        where_(std::move(where)) {}

  std::optional<host::Row> next() override {
    while (translated([&] { return cursor_.next(); })) {
      const host::ObjectId id = ++position_;
      if (where_.matches(cursor_.row())) return table_->toRow(cursor_.row(), id);
    }
    return std::nullopt;
  }

 private:
  std::shared_ptr<const AccessHostTable> table_;
  AccessCursor cursor_;
  WhereClause where_;
  host::ObjectId position_ = 0;
};

/// Delivers the rows of a list of ids in the list's order, skipping ids of no row.
class IdListCursor : public host::Cursor {
 public:
  explicit IdListCursor(std::vector<host::Row> rows) : rows_(std::move(rows)) {}
  std::optional<host::Row> next() override {
    if (next_ >= rows_.size()) return std::nullopt;
    return std::move(rows_[next_++]);
  }

 private:
  std::vector<host::Row> rows_;
  std::size_t next_ = 0;
};

std::unique_ptr<host::Cursor> AccessHostTable::search(const host::QueryFilter& filter) const {
  WhereClause where = translated([&] {
    try {
      return WhereClause::compile(filter.where, table_.columns(), WhereClause::TextComparison::Binary);
    } catch (const AccessError& e) {
      throw AccessError(
          "Access file '" + table_.path().string() + "', table '" + table_.name() + "': " + e.what(),
          e.kind());
    }
  });
  auto self = std::static_pointer_cast<const AccessHostTable>(shared_from_this());
  if (!filter.objectIds) return std::make_unique<AccessHostCursor>(std::move(self), std::move(where));

  // Read the matching rows once, then hand them out in the order of the ids asked for.
  std::map<host::ObjectId, host::Row> found;
  for (const host::ObjectId id : *filter.objectIds) found.emplace(id, host::Row{});
  AccessHostCursor all(self, std::move(where));
  while (auto row = all.next()) {
    if (auto it = found.find(row->oid()); it != found.end()) it->second = std::move(*row);
  }
  std::vector<host::Row> rows;
  for (const host::ObjectId id : *filter.objectIds) {
    auto it = found.find(id);
    if (it != found.end() && it->second.oid() == id) {
      rows.push_back(std::move(it->second));
      found.erase(it);  // a repeated id is delivered once
    }
  }
  return std::make_unique<IdListCursor>(std::move(rows));
}

class AccessWorkspace : public host::Workspace {
 public:
  explicit AccessWorkspace(AccessDatabase database) : database_(std::move(database)) {}

  host::WorkspaceKind kind() const override { return host::WorkspaceKind::AccessFile; }
  std::filesystem::path path() const override { return database_.path(); }
  std::vector<std::string> tableNames() const override { return database_.tableNames(); }

  bool exists(std::string_view name) const override {
    const auto& names = database_.tableNames();
    return std::find(names.begin(), names.end(), name) != names.end();
  }

  std::shared_ptr<host::FeatureClass> openFeatureClass(std::string_view) override { return nullptr; }

  std::shared_ptr<host::Table> openTable(std::string_view name) override {
    if (!exists(name)) return nullptr;
    return std::make_shared<AccessHostTable>(translated([&] { return database_.openTable(name); }));
  }

  std::shared_ptr<host::FeatureClass> createFeatureClass(const host::FeatureClassSpec& request) override {
    readOnly(database_.path(), "create feature class '" + request.name + "'");
  }
  bool canDelete(std::string_view) const override { return false; }
  void deleteDataset(std::string_view name) override {
    if (!exists(name)) {
      throw host::Error(host::kNotFound, "Access file '" + database_.path().string() + "' has no table '" +
                                             std::string(name) + "'");
    }
    readOnly(database_.path(), "delete table '" + std::string(name) + "'");
  }

 private:
  AccessDatabase database_;
};

}  // namespace

std::shared_ptr<host::Workspace> openAccessWorkspace(const std::filesystem::path& file) {
  return std::make_shared<AccessWorkspace>(translated([&] { return AccessDatabase::open(file); }));
}

}  // namespace orvex::access
