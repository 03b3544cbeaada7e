#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace orvex::access {

/// Column types of an Access table, as Access names them. Types the reader does not decode
/// (OLE objects, binary, replication IDs, decimals, complex columns) are `Unsupported`: their
/// cells read as empty values.
enum class ColumnType {
  Boolean,      ///< Yes/No: `bool`, never NULL.
  Byte,         ///< 0..255: `std::int32_t`.
  Integer,      ///< 16-bit: `std::int32_t`.
  LongInteger,  ///< 32-bit: `std::int32_t`.
  Currency,     ///< 64-bit count of 1/10,000 units: `double` (exact up to 2^53 / 10,000).
  Single,       ///< 32-bit float: `float`.
  Double,       ///< 64-bit float: `double`.
  DateTime,     ///< `AccessDate`.
  Text,         ///< Up to 255 characters: `std::string`, UTF-8.
  Memo,         ///< Long text: `std::string`, UTF-8.
  Unsupported,
};

/// Access's own name of a type ("Long Integer", "Date/Time", ...).
std::string_view columnTypeName(ColumnType type);

/// One column of a table, in the table's column order.
struct AccessColumn {
  std::string name;
  ColumnType type = ColumnType::Unsupported;
  int size = 0;     ///< Bytes for fixed types; maximum characters for Text; 0 for Memo.
  int rawType = 0;  ///< The type code stored in the file (kept for `Unsupported` columns).
  bool operator==(const AccessColumn&) const = default;
};

/// An Access Date/Time value. Access stores an OLE Automation date: days since
/// 1899-12-30 00:00, the fraction being the time of day. Before that day the integer part
/// counts backwards while the fraction still runs forwards (-1.25 is 1899-12-29 06:00), so the
/// serial is not a linear time scale there; `unixSeconds` takes care of it.
struct AccessDate {
  double serial = 0.0;

  /// Seconds since 1970-01-01T00:00:00 of the stored wall-clock time (Access keeps no time
  /// zone; Lotek files hold UTC). Rounded to the nearest millisecond: the double serial carries
  /// about a microsecond of resolution in this era, and a stored whole second must come back
  /// as a whole number.
  double unixSeconds() const;

  /// The date value whose `unixSeconds` is the given number.
  static AccessDate fromUnixSeconds(double seconds);

  bool operator==(const AccessDate&) const = default;
};

/// One cell. `std::monostate` is NULL (and the value of every `Unsupported` cell).
using AccessValue = std::variant<std::monostate, bool, std::int32_t, float, double, std::string, AccessDate>;

inline bool isNull(const AccessValue& value) { return std::holds_alternative<std::monostate>(value); }

/// The cell as a number: integers, floats, booleans (Access's true is -1) and dates (the OLE
/// serial). Empty for NULL and for text.
std::optional<double> numericValue(const AccessValue& value);

}  // namespace orvex::access
