#pragma once

#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "platform/access/access_value.h"

namespace orvex::access {

/// A row filter in the simple where-clause language of Access queries, compiled against the
/// columns of one table.
///
/// Grammar (keywords and column names case-insensitive):
///
///     clause     := [ or ]                      (blank text keeps every row)
///     or         := and { OR and }
///     and        := not { AND not }
///     not        := NOT not | '(' or ')' | comparison
///     comparison := operand op operand          (one side a column, the other a literal)
///                 | column IS [NOT] NULL
///     op         := = | <> | != | < | <= | > | >=
///     column     := name | [name with spaces]
///     literal    := number | -number | 'text' | "text" | #date# | TRUE | FALSE | NULL
///
/// Text literals double their quote to contain it ('O''Neil'). Dates are #yyyy-mm-dd#,
/// #yyyy-mm-dd hh:mm[:ss]# or #m/d/yyyy [hh:mm[:ss]]#. Numbers are read the same in every
/// locale. A clause holds at most 4,096 terms and 200 levels of nesting.
///
/// Semantics follow the query language of Access:
/// - a comparison with a NULL cell (or with the literal NULL) is unknown, and a row is kept
///   only when the whole clause is true, so `X <> 'a'` drops rows where X is NULL;
/// - text compares without regard to ASCII letter case ('acquiring' = 'Acquiring'), as Access
///   does; `TextComparison::Binary` compares bytes instead (the host's common dialect);
/// - number columns (Boolean, Byte, Integer, Long Integer, Currency, Single, Double) compare
///   as doubles with a number literal, or with a text literal that reads fully as a number;
///   Boolean true is -1, false 0; a Single cell is widened to double first (as Access does),
///   so `DOP = 1.1` does not match the Single 1.1;
/// - Date/Time columns compare with date literals, text that reads as a date, or a number
///   (an OLE date serial);
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
  struct Program;
  explicit WhereClause(std::unique_ptr<Program> program);
  std::unique_ptr<Program> program_;
};

}  // namespace orvex::access
