#include "platform/access/where_clause.h"

#include <utility>
#include <vector>

#include "platform/access/access_error.h"

namespace orvex::access {

namespace where = platform::where;

namespace {

where::ValueKind kindOf(ColumnType type) {
  switch (type) {
    case ColumnType::Text:
    case ColumnType::Memo:
      return where::ValueKind::Text;
    case ColumnType::DateTime:
      return where::ValueKind::Date;
    case ColumnType::Unsupported:
      return where::ValueKind::Unsupported;
    default:
      return where::ValueKind::Number;
  }
}

/// A row of Access cells as the engine reads it. A cell missing from a short row is NULL.
class AccessRowCells final : public where::RowCells {
 public:
  explicit AccessRowCells(std::span<const AccessValue> row) : row_(row) {}

  bool isNull(int column) const override {
    const AccessValue* cell = at(column);
    return cell == nullptr || orvex::access::isNull(*cell);
  }
  std::optional<double> number(int column) const override {
    const AccessValue* cell = at(column);
    if (cell == nullptr) return std::nullopt;
    if (const auto* date = std::get_if<AccessDate>(cell)) return date->unixSeconds();
    return numericValue(*cell);
  }
  std::optional<std::string_view> text(int column) const override {
    const AccessValue* cell = at(column);
    const auto* text = cell == nullptr ? nullptr : std::get_if<std::string>(cell);
    if (text == nullptr) return std::nullopt;
    return *text;
  }

 private:
  const AccessValue* at(int column) const {
    if (column < 0 || static_cast<std::size_t>(column) >= row_.size()) return nullptr;
    return &row_[static_cast<std::size_t>(column)];
  }
  std::span<const AccessValue> row_;
};

}  // namespace

WhereClause::WhereClause(where::Clause clause) : clause_(std::move(clause)) {}
WhereClause::WhereClause(WhereClause&&) noexcept = default;
WhereClause& WhereClause::operator=(WhereClause&&) noexcept = default;
WhereClause::~WhereClause() = default;

WhereClause WhereClause::compile(std::string_view text, std::span<const AccessColumn> columns,
                                 TextComparison textComparison) {
  std::vector<where::Column> described;
  described.reserve(columns.size());
  for (const auto& c : columns)
    described.push_back({c.name, kindOf(c.type), std::string(columnTypeName(c.type))});
  where::Dialect dialect = where::Dialect::access();
  if (textComparison == TextComparison::Binary)
    dialect.textComparison = where::Dialect::TextComparison::Binary;
  try {
    return WhereClause(where::Clause::compile(text, described, dialect));
  } catch (const where::ClauseError& e) {
    throw AccessError(e.what(), AccessError::Kind::BadClause);
  }
}

bool WhereClause::matches(std::span<const AccessValue> row) const {
  return clause_.matches(AccessRowCells(row));
}

bool WhereClause::keepsEveryRow() const { return clause_.keepsEveryRow(); }

const std::string& WhereClause::text() const { return clause_.text(); }

}  // namespace orvex::access
