#pragma once

#include <memory>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>

namespace orvex::platform::where {

/// One where-clause engine (tokenizer, parser, evaluator) for every data source; what a source
/// accepts beyond the common core is its `Dialect`.
///
/// Grammar (keywords and names case-insensitive):
///
///     clause     := [ or ]                      (blank text keeps every row)
///     or         := and { OR and }
///     and        := not { AND not }
///     not        := NOT not | '(' or ')' | comparison
///     comparison := name op literal | name IS [NOT] NULL
///                 | literal op name             (dialects with `literalOnEitherSide`)
///     op         := = | <> | != | < | <= | > | >=
///     name       := word | [any text]           (brackets: `bracketedNames`)
///                 | "any text"                  (`DoubleQuotes::Name`)
///     literal    := [+|-] number | 'text'
///                 | "text"                      (`DoubleQuotes::Text`)
///                 | #date#                      (`hashDates`)
///                 | TRUE | FALSE | NULL         (`keywordLiterals`; TRUE is -1, FALSE 0)
///
/// Quotes double to contain themselves ('O''Neil'). Numbers read the same in every locale;
/// a number that is not finite is refused. A clause holds at most 4,096 terms and 200 levels
/// of nesting, so hostile text cannot exhaust the stack.
///
/// Semantics: SQL's three-valued logic. A comparison with a null cell or with NULL is unknown,
/// and a row is kept only when the whole clause is true, so `X <> 'a'` drops rows where X is
/// null. Number columns compare as doubles with a number, or with text that reads wholly as a
/// number. Text columns compare with text only, by bytes or ignoring ASCII letter case as the
/// dialect says. Date columns compare with a date literal or text that reads as a date (in the
/// dialect's forms), or with a number when the dialect reads numbers as OLE date serials.
/// Any other pairing, a column of a type that cannot be compared, and two names or two
/// literals compared with each other are refused when the clause is compiled.

/// What a column holds, as far as comparisons go.
enum class ValueKind { Number, Text, Date, Unsupported };

struct Column {
  std::string name;
  ValueKind kind = ValueKind::Unsupported;
  std::string typeName;  ///< the source's own name of the type, for messages ("Long Integer")
};

/// The column index a clause uses for the object id (see `Dialect::objectIdName`).
inline constexpr int kObjectIdColumn = -2;

/// What a source accepts beyond the common core, and how it compares text.
struct Dialect {
  enum class DoubleQuotes { Text, Name };
  enum class DateForms {
    Iso8601,           ///< yyyy-mm-dd[(T| )hh:mm[:ss[.fff]]]
    IsoOrMonthDayYear  ///< y-m-d or m/d/yyyy, each with an optional [ hh:mm[:ss]]
  };
  enum class TextComparison { Binary, IgnoreAsciiCase };

  bool literalOnEitherSide = false;
  bool bracketedNames = false;
  bool hashDates = false;
  bool keywordLiterals = false;
  /// A number compared with a Date column is an OLE date serial (37622.5 is 2003-01-01 12:00).
  bool numbersAreOleDates = false;
  DoubleQuotes doubleQuotes = DoubleQuotes::Name;
  DateForms dateForms = DateForms::Iso8601;
  TextComparison textComparison = TextComparison::Binary;
  /// A name that stands for the object id unless a column has that name; empty for none.
  std::string objectIdName;

  /// The query language of Access files: literals on either side, [names], #dates#,
  /// TRUE/FALSE/NULL, "x" is text, text compares without regard to ASCII case.
  static Dialect access();
  /// The host's dialect on OGR layers: "x" is a name, FID is the object id, text compares by
  /// bytes, dates are ISO 8601 text.
  static Dialect ogr();
};

/// A malformed clause, an unknown name or a type mismatch. The message quotes the clause
/// (and, for syntax errors, the 1-based character position); sources wrap it in their own
/// error type.
class ClauseError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

/// One row's cells as the evaluator reads them. Column indexes are those of the column list
/// the clause was compiled against, or `kObjectIdColumn`.
class RowCells {
 public:
  virtual ~RowCells() = default;
  virtual bool isNull(int column) const = 0;
  /// Number columns: the value; Date columns: seconds since 1970-01-01T00:00:00. Empty when
  /// the cell holds no such value.
  virtual std::optional<double> number(int column) const = 0;
  /// Text columns: the bytes. Empty when the cell holds no text.
  virtual std::optional<std::string_view> text(int column) const = 0;
};

/// A compiled clause.
class Clause {
 public:
  /// Compiles `text` against `columns` (names matched without regard to ASCII case). Throws
  /// `ClauseError`.
  static Clause compile(std::string_view text, std::span<const Column> columns, const Dialect& dialect);

  Clause(Clause&&) noexcept;
  Clause& operator=(Clause&&) noexcept;
  ~Clause();

  /// True when the whole clause is true for the row (not false, not unknown).
  bool matches(const RowCells& row) const;
  /// True for the clause compiled from blank text.
  bool keepsEveryRow() const;
  const std::string& text() const;

  struct Program;

 private:
  explicit Clause(std::unique_ptr<Program> program);
  std::unique_ptr<Program> program_;
};

}  // namespace orvex::platform::where
