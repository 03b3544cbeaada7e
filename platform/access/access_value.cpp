#include "platform/access/access_value.h"

#include <cmath>

namespace orvex::access {

namespace {

constexpr double kSecondsPerDay = 86400.0;
/// OLE serial of 1970-01-01 (25,569 days after 1899-12-30).
constexpr double kUnixEpochSerial = 25569.0;

}  // namespace

std::string_view columnTypeName(ColumnType type) {
  switch (type) {
    case ColumnType::Boolean:
      return "Boolean";
    case ColumnType::Byte:
      return "Byte";
    case ColumnType::Integer:
      return "Integer";
    case ColumnType::LongInteger:
      return "Long Integer";
    case ColumnType::Currency:
      return "Currency";
    case ColumnType::Single:
      return "Single";
    case ColumnType::Double:
      return "Double";
    case ColumnType::DateTime:
      return "Date/Time";
    case ColumnType::Text:
      return "Text";
    case ColumnType::Memo:
      return "Memo";
    case ColumnType::Unsupported:
      break;
  }
  return "Unsupported";
}

double AccessDate::unixSeconds() const {
  // Make the serial linear first: keep the (signed) day, add the time of day forwards.
  const double day = std::trunc(serial);
  const double linear = day + std::fabs(serial - day);
  return std::round((linear - kUnixEpochSerial) * kSecondsPerDay * 1000.0) / 1000.0;
}

AccessDate AccessDate::fromUnixSeconds(double seconds) {
  const double linear = seconds / kSecondsPerDay + kUnixEpochSerial;
  if (linear >= 0.0) return AccessDate{linear};
  // Back to the OLE form: a negative day with a positive time of day.
  const double day = std::floor(linear);
  const double timeOfDay = linear - day;
  return AccessDate{day - timeOfDay};
}

std::optional<double> numericValue(const AccessValue& value) {
  if (const auto* b = std::get_if<bool>(&value)) return *b ? -1.0 : 0.0;
  if (const auto* i = std::get_if<std::int32_t>(&value)) return static_cast<double>(*i);
  if (const auto* f = std::get_if<float>(&value)) return static_cast<double>(*f);
  if (const auto* d = std::get_if<double>(&value)) return *d;
  if (const auto* t = std::get_if<AccessDate>(&value)) return t->serial;
  return std::nullopt;
}

}  // namespace orvex::access
