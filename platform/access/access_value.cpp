#include "platform/access/access_value.h"

#include <cmath>

#include "host/value.h"

namespace orvex::access {

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
  return std::round(host::Date::fromOleSerial(serial).unixSeconds() * 1000.0) / 1000.0;
}

AccessDate AccessDate::fromUnixSeconds(double seconds) {
  return AccessDate{host::Date::fromUnixSeconds(seconds).oleSerial()};
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
