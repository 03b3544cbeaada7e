// libFuzzer targets for the where-clause engine, one per dialect (ORVEX_FUZZ_DIALECT selects it
// at compile time): a clause is compiled against a fixed column set and run over rows holding
// every kind of cell, nulls included. The only acceptable failure is a ClauseError; a clause
// that compiles must evaluate every row without fault.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/common/where_engine.h"

namespace {

using namespace orvex::platform::where;

const std::vector<Column> kColumns = {
    {"ID", ValueKind::Number, "Long Integer"}, {"FixStatus", ValueKind::Text, "Text"},
    {"DOP", ValueKind::Number, "Single"},      {"Date", ValueKind::Date, "Date/Time"},
    {"Collar Name", ValueKind::Text, "Text"},  {"Blob", ValueKind::Unsupported, "OLE Object"}};

struct Cell {
  std::optional<double> number;
  std::optional<std::string> text;
};

/// One row of cells; column -2 (the object id) reads as the row's number.
class Row final : public RowCells {
 public:
  Row(std::vector<Cell> cells, double objectId) : cells_(std::move(cells)), objectId_(objectId) {}
  bool isNull(int column) const override {
    if (column == kObjectIdColumn) return false;
    const Cell& c = cells_.at(static_cast<std::size_t>(column));
    return !c.number && !c.text;
  }
  std::optional<double> number(int column) const override {
    if (column == kObjectIdColumn) return objectId_;
    return cells_.at(static_cast<std::size_t>(column)).number;
  }
  std::optional<std::string_view> text(int column) const override {
    const auto& t = cells_.at(static_cast<std::size_t>(column)).text;
    if (!t) return std::nullopt;
    return std::string_view(*t);
  }

 private:
  std::vector<Cell> cells_;
  double objectId_;
};

const std::vector<Row>& rows() {
  static const std::vector<Row> kRows = {
      Row({{1.0, {}}, {{}, "Acquiring"}, {1.5, {}}, {1041422400.0, {}}, {{}, "Collar 7"}, {}}, 0.0),
      Row({{}, {}, {}, {}, {}, {}}, 1.0),
      Row({{-7.0, {}}, {{}, ""}, {-0.0, {}}, {-2209075200.0, {}}, {{}, "\xc3\xa9t\xc3\xa9"}, {}}, 2.0)};
  return kRows;
}

const Dialect& dialect() {
#if ORVEX_FUZZ_DIALECT_ACCESS
  static const Dialect d = Dialect::access();
#else
  static const Dialect d = Dialect::ogr();
#endif
  return d;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  try {
    const Clause clause = Clause::compile(text, kColumns, dialect());
    for (const Row& row : rows()) (void)clause.matches(row);
  } catch (const ClauseError&) {
  }
  return 0;
}
