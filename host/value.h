#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace orvex::host {

/// Calendar date and time of day without a time zone (telemetry stores wall-clock UTC).
struct CivilTime {
  int year = 1970;
  int month = 1;  ///< 1..12
  int day = 1;    ///< 1..31
  int hour = 0;
  int minute = 0;
  double second = 0.0;  ///< 0 <= second < 60, may carry a fraction
  bool operator==(const CivilTime&) const = default;
};

/// A date value of a field: a linear count of seconds since 1970-01-01T00:00:00 (proleptic
/// Gregorian calendar, no time zone, no leap seconds).
class Date {
 public:
  Date() = default;
  static Date fromUnixSeconds(double seconds) { return Date(seconds); }
  /// A clock reading as wall-clock time of the machine's time zone (`local` true, what the
  /// logs show as the current time) or of UTC.
  static Date fromTimePoint(std::chrono::system_clock::time_point time, bool local);
  /// Throws `Error` (kInvalidArgument) for a month outside 1..12 or a day outside the month.
  static Date fromCivil(const CivilTime& civil);
  /// The serial day number of desktop databases and spreadsheets: days since 1899-12-30, the
  /// fraction being the time of day. Before that day the integer part counts backwards while
  /// the fraction still runs forwards (-1.25 is 1899-12-29 06:00); both directions honour it.
  static Date fromOleSerial(double serial);

  double unixSeconds() const { return seconds_; }
  double oleSerial() const;
  /// Broken-down time; seconds are rounded to the nearest millisecond first so that a stored
  /// whole second comes back whole.
  CivilTime toCivil() const;
  /// "YYYY-MM-DD" when the time of day is 00:00:00, else "YYYY-MM-DDTHH:MM:SS" (whole seconds,
  /// rounded to the nearest).
  std::string toIso8601() const;
  /// Reads "YYYY-MM-DD", "YYYY-MM-DDTHH:MM[:SS[.fff]]" or the same with a space for the 'T'.
  static std::optional<Date> parseIso8601(std::string_view text);

  bool operator==(const Date&) const = default;
  auto operator<=>(const Date&) const = default;

 private:
  explicit Date(double seconds) : seconds_(seconds) {}
  double seconds_ = 0.0;
};

enum class ValueType { Empty, Int32, Double, Text, Date, Int64 };

/// The value of one field of one row. `Empty` is the database null: a missing value, and the
/// value of every field a new row buffer has not been given yet.
///
/// The `to...` conversions behave as the design's run-time conversions do, and throw `Error`
/// with a positive `error_number`:
/// - an Empty value: `kInvalidUseOfNull` (94) from every conversion;
/// - text that is not a number (surrounding blanks allowed): `kTypeMismatch` (13);
/// - a number outside the 32-bit range in `toInt32`, or the 64-bit range in `toInt64`:
///   `kOverflow` (6).
///
/// Int64 holds whole numbers past the 32-bit range exactly (times in seconds past 2038, ids);
/// readers give Int32 for the values that fit it.
class Value {
 public:
  using Variant = std::variant<std::monostate, std::int32_t, double, std::string, Date, std::int64_t>;

  Value() = default;
  Value(std::int32_t v) : v_(v) {}                   // NOLINT: implicit by design
  Value(double v) : v_(v) {}                         // NOLINT
  Value(std::string v) : v_(std::move(v)) {}         // NOLINT
  Value(std::string_view v) : v_(std::string(v)) {}  // NOLINT
  Value(const char* v) : v_(std::string(v)) {}       // NOLINT
  Value(Date v) : v_(v) {}                           // NOLINT
  Value(std::int64_t v) : v_(v) {}                   // NOLINT

  ValueType type() const { return static_cast<ValueType>(v_.index()); }
  bool isEmpty() const { return v_.index() == 0; }
  bool isNumeric() const {
    return type() == ValueType::Int32 || type() == ValueType::Int64 || type() == ValueType::Double;
  }
  bool isText() const { return type() == ValueType::Text; }

  /// The stored alternative, or nullptr when the value holds another type.
  const std::int32_t* int32() const { return std::get_if<std::int32_t>(&v_); }
  const std::int64_t* int64() const { return std::get_if<std::int64_t>(&v_); }
  const double* real() const { return std::get_if<double>(&v_); }
  const std::string* text() const { return std::get_if<std::string>(&v_); }
  const Date* date() const { return std::get_if<Date>(&v_); }
  const Variant& variant() const { return v_; }

  /// Int32, Int64 and Double as they are (Int64 rounded to the nearest double); Text parsed as a whole
  /// decimal number; Date as its OLE serial day number.
  double toDouble() const;
  /// `toDouble`, rounded half to even, range-checked.
  std::int32_t toInt32() const;
  /// Int32 and Int64 exactly; otherwise `toDouble`, rounded half to even, range-checked.
  std::int64_t toInt64() const;
  /// Int32 and Int64 in decimal, Double in the default number text (`numberText`), Text as it is,
  /// Date in ISO 8601 (`Date::toIso8601`).
  std::string toText() const;

  bool operator==(const Value&) const = default;

 private:
  Variant v_;
};

}  // namespace orvex::host
