#include "platform/access/access_value.h"

#include "platform/common/ole_date.h"

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

double AccessDate::unixSeconds() const { return platform::oleSerialToUnixSeconds(serial); }

AccessDate AccessDate::fromUnixSeconds(double seconds) {
  return AccessDate{platform::unixSecondsToOleSerial(seconds)};
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
