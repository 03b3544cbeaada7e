#pragma once

// A read-only workspace of in-memory tables: stands in for Access files whose layout no
// fixture has (tables without coordinate fields, non-integer coordinates).

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "host/error.h"
#include "host/workspace.h"

namespace orvex::test {

class MemoryTable final : public host::Table {
 public:
  MemoryTable(std::string name, host::Fields fields)
      : name_(std::move(name)), fields_(std::make_shared<host::Fields>(std::move(fields))) {}

  std::vector<host::Row> rows;

  std::string name() const override { return name_; }
  const host::Fields& fields() const override { return *fields_; }
  int addField(const host::FieldDef&) override { readOnly(); }
  void deleteField(std::string_view) override { readOnly(); }
  /// Filters are not evaluated: every row counts.
  int rowCount(const host::QueryFilter& = {}) const override { return static_cast<int>(rows.size()); }
  std::unique_ptr<host::Cursor> search(const host::QueryFilter& = {}) const override {
    return std::make_unique<RowsCursor>(rows);
  }
  std::unique_ptr<host::UpdateCursor> update(const host::QueryFilter& = {}) override { readOnly(); }
  std::unique_ptr<host::InsertCursor> insert(bool = true) override { readOnly(); }
  std::optional<host::Row> row(host::ObjectId) const override { return std::nullopt; }
  void deleteRow(host::ObjectId) override { readOnly(); }

 private:
  class RowsCursor final : public host::Cursor {
   public:
    explicit RowsCursor(std::vector<host::Row> rows) : rows_(std::move(rows)) {}
    std::optional<host::Row> next() override {
      if (next_ >= rows_.size()) return std::nullopt;
      return rows_[next_++];
    }

   private:
    std::vector<host::Row> rows_;
    std::size_t next_ = 0;
  };

  [[noreturn]] static void readOnly() { throw host::Error(host::kAccessDenied, "read-only stand-in table"); }

  std::string name_;
  std::shared_ptr<host::Fields> fields_;
};

class MemoryWorkspace final : public host::Workspace {
 public:
  MemoryWorkspace(std::filesystem::path path, std::vector<std::shared_ptr<MemoryTable>> tables)
      : path_(std::move(path)), tables_(std::move(tables)) {}

  host::WorkspaceKind kind() const override { return host::WorkspaceKind::AccessFile; }
  std::filesystem::path path() const override { return path_; }
  std::vector<std::string> tableNames() const override {
    std::vector<std::string> names;
    for (const auto& table : tables_) names.push_back(table->name());
    return names;
  }
  bool exists(std::string_view name) const override { return find(name) != nullptr; }
  std::shared_ptr<host::FeatureClass> openFeatureClass(std::string_view) override { return nullptr; }
  std::shared_ptr<host::Table> openTable(std::string_view name) override { return find(name); }
  std::shared_ptr<host::FeatureClass> createFeatureClass(const host::FeatureClassSpec&) override {
    throw host::Error(host::kAccessDenied, "read-only stand-in workspace");
  }
  bool canDelete(std::string_view) const override { return false; }
  void deleteDataset(std::string_view) override {
    throw host::Error(host::kAccessDenied, "read-only stand-in workspace");
  }

 private:
  std::shared_ptr<MemoryTable> find(std::string_view name) const {
    for (const auto& table : tables_)
      if (table->name() == name) return table;
    return nullptr;
  }

  std::filesystem::path path_;
  std::vector<std::shared_ptr<MemoryTable>> tables_;
};

}  // namespace orvex::test
