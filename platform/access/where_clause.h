#pragma once

#include <span>
#include <string>
#include <string_view>

#include "platform/access/access_value.h"
#include "platform/common/where_engine.h"

namespace orvex::access {

/// A row filter in the where-clause language of Access queries, compiled against the columns
/// of one table: the shared where-clause engine (see platform/common/where_engine.h for the
/// grammar and its NULL logic) in its Access dialect.
///
/// What the Access dialect adds to the common core:
/// - a literal on either side of a comparison (`0 < ID`), column names in brackets
///   (`[Collar Name]`), "text" in double quotes as well as 'text', TRUE (-1), FALSE (0), NULL;
/// - dates as #yyyy-mm-dd#, #yyyy-mm-dd hh:mm[:ss]# or #m/d/yyyy [hh:mm[:ss]]# (a day past the
///   end of its month is malformed), text in those forms, or a number (an OLE date serial);
/// - text compares without regard to ASCII letter case ('acquiring' = 'Acquiring'), as Access
///   does; `TextComparison::Binary` compares bytes instead (the host's common dialect);
/// - number columns (Boolean, Byte, Integer, Long Integer, Currency, Single, Double) compare
///   as doubles; Boolean true is -1, false 0; a Single cell is widened to double first (as
///   Access does), so `DOP = 1.1` does not match the Single 1.1;
/// - a text column compared with a number, a number column with non-numeric text, or any
///   column of an unsupported type is a type mismatch, reported when the clause is compiled.
class WhereClause {
 public:
  enum class TextComparison { IgnoreCase, Binary };

  /// Compiles `text` against `columns` (the table's columns, in the order of the row values
  /// that `matches` will be given). Throws `AccessError` for a syntax error (with the
  /// character position), an unknown column or a type mismatch; the message quotes the clause.
  static WhereClause compile(std::string_view text, std::span<const AccessColumn> columns,
                             TextComparison textComparison = TextComparison::IgnoreCase);

  WhereClause(WhereClause&&) noexcept;
  WhereClause& operator=(WhereClause&&) noexcept;
  ~WhereClause();

  /// True when the row (one value per column given to `compile`) satisfies the clause.
  bool matches(std::span<const AccessValue> row) const;

  /// True for the clause compiled from blank text.
  bool keepsEveryRow() const;

  const std::string& text() const;

 private:
  explicit WhereClause(platform::where::Clause clause);
  platform::where::Clause clause_;
};

}  // namespace orvex::access
