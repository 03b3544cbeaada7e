#include "host/value.h"

#include <cmath>
#include <cstdio>
#include <ctime>
#include <limits>

#include "host/error.h"
#include "host/text.h"

namespace orvex::host {
namespace {

constexpr double kSecondsPerDay = 86400.0;
// Days from 1899-12-30 (serial day 0) to 1970-01-01.
constexpr double kOleEpochToUnixDays = 25569.0;

// Days since 1970-01-01 of a proleptic Gregorian date (H. Hinnant's days_from_civil).
long long daysFromCivil(long long y, long long m, long long d) {
  y -= m <= 2 ? 1 : 0;
  const long long era = (y >= 0 ? y : y - 399) / 400;
  const long long yoe = y - era * 400;
  const long long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const long long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void civilFromDays(long long z, int& year, int& month, int& day) {
  z += 719468;
  const long long era = (z >= 0 ? z : z - 146096) / 146097;
  const long long doe = z - era * 146097;
  const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const long long mp = (5 * doy + 2) / 153;
  const long long d = doy - (153 * mp + 2) / 5 + 1;
  const long long m = mp < 10 ? mp + 3 : mp - 9;
  year = static_cast<int>(yoe + era * 400 + (m <= 2 ? 1 : 0));
  month = static_cast<int>(m);
  day = static_cast<int>(d);
}

bool isLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int daysInMonth(int y, int m) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && isLeap(y) ? 29 : kDays[m - 1];
}

long long floorDiv(long long a, long long b) {
  return a / b - ((a % b != 0) && ((a < 0) != (b < 0)) ? 1 : 0);
}

// Reads exactly `count` digits at text[pos].
bool readDigits(std::string_view text, std::size_t pos, std::size_t count, int& out) {
  if (pos + count > text.size()) return false;
  out = 0;
  for (std::size_t i = pos; i < pos + count; ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    out = out * 10 + (text[i] - '0');
  }
  return true;
}

[[noreturn]] void throwNull() { throw Error(error_number::kInvalidUseOfNull, "Invalid use of Null"); }

}  // namespace

Date Date::fromCivil(const CivilTime& c) {
  if (c.month < 1 || c.month > 12 || c.day < 1 || c.day > daysInMonth(c.year, c.month))
    throw Error(kInvalidArgument, cformat("Invalid date %04d-%02d-%02d", c.year, c.month, c.day));
  const double days = static_cast<double>(daysFromCivil(c.year, c.month, c.day));
  return Date(days * kSecondsPerDay + c.hour * 3600.0 + c.minute * 60.0 + c.second);
}

Date Date::fromTimePoint(std::chrono::system_clock::time_point time, bool local) {
  const auto micros = std::chrono::duration_cast<std::chrono::microseconds>(time.time_since_epoch()).count();
  double seconds = static_cast<double>(micros) / 1e6;
  if (local) {
    const std::time_t whole = std::chrono::system_clock::to_time_t(time);
    std::tm parts{};
    if (localtime_r(&whole, &parts) != nullptr) seconds += static_cast<double>(parts.tm_gmtoff);
  }
  return Date(seconds);
}

Date Date::fromOleSerial(double serial) {
  // Before day 0 the integer part counts backwards while the fraction runs forwards.
  double linearDays = serial;
  if (serial < 0.0) {
    const double whole = std::trunc(serial);
    linearDays = whole + std::fabs(serial - whole);
  }
  return Date((linearDays - kOleEpochToUnixDays) * kSecondsPerDay);
}

double Date::oleSerial() const {
  const double linearDays = seconds_ / kSecondsPerDay + kOleEpochToUnixDays;
  if (linearDays >= 0.0) return linearDays;
  const double whole = std::floor(linearDays);
  return whole - (linearDays - whole);
}

CivilTime Date::toCivil() const {
  const long long ms = std::llround(seconds_ * 1000.0);
  const long long days = floorDiv(ms, 86400000LL);
  long long rest = ms - days * 86400000LL;
  CivilTime c;
  civilFromDays(days, c.year, c.month, c.day);
  c.hour = static_cast<int>(rest / 3600000LL);
  rest -= c.hour * 3600000LL;
  c.minute = static_cast<int>(rest / 60000LL);
  rest -= c.minute * 60000LL;
  c.second = static_cast<double>(rest) / 1000.0;
  return c;
}

std::string Date::toIso8601() const {
  const Date whole = Date(static_cast<double>(std::llround(seconds_)));
  const CivilTime c = whole.toCivil();
  const int second = static_cast<int>(c.second);
  if (c.hour == 0 && c.minute == 0 && second == 0) return cformat("%04d-%02d-%02d", c.year, c.month, c.day);
  return cformat("%04d-%02d-%02dT%02d:%02d:%02d", c.year, c.month, c.day, c.hour, c.minute, second);
}

std::optional<Date> Date::parseIso8601(std::string_view text) {
  text = trim(text);
  CivilTime c;
  if (!readDigits(text, 0, 4, c.year) || text.size() < 10 || text[4] != '-' || text[7] != '-' ||
      !readDigits(text, 5, 2, c.month) || !readDigits(text, 8, 2, c.day))
    return std::nullopt;
  if (c.month < 1 || c.month > 12 || c.day < 1 || c.day > daysInMonth(c.year, c.month)) return std::nullopt;
  if (text.size() > 10) {
    if ((text[10] != 'T' && text[10] != ' ') || text.size() < 16 || text[13] != ':' ||
        !readDigits(text, 11, 2, c.hour) || !readDigits(text, 14, 2, c.minute))
      return std::nullopt;
    if (c.hour > 23 || c.minute > 59) return std::nullopt;
    if (text.size() > 16) {
      int whole = 0;
      if (text[16] != ':' || !readDigits(text, 17, 2, whole) || whole > 59) return std::nullopt;
      c.second = whole;
      if (text.size() > 19) {
        if (text[19] != '.' || text.size() == 20) return std::nullopt;
        double scale = 0.1;
        for (std::size_t i = 20; i < text.size(); ++i, scale /= 10) {
          if (text[i] < '0' || text[i] > '9') return std::nullopt;
          c.second += (text[i] - '0') * scale;
        }
      }
    }
  }
  return fromCivil(c);
}

double Value::toDouble() const {
  switch (type()) {
    case ValueType::Empty:
      throwNull();
    case ValueType::Int32:
      return *int32();
    case ValueType::Double:
      return *real();
    case ValueType::Text:
      if (auto number = parseNumber(*text())) return *number;
      throw Error(error_number::kTypeMismatch, "Type mismatch: '" + *text() + "' is not a number");
    case ValueType::Date:
      return date()->oleSerial();
    case ValueType::Int64:
      return static_cast<double>(*int64());
  }
  return 0.0;
}

std::int32_t Value::toInt32() const {
  if (const auto* i = int32()) return *i;
  if (const auto* wide = int64()) {
    if (*wide < std::numeric_limits<std::int32_t>::min() || *wide > std::numeric_limits<std::int32_t>::max())
      throw Error(error_number::kOverflow, "Overflow: " + std::to_string(*wide) + " is not a 32-bit integer");
    return static_cast<std::int32_t>(*wide);
  }
  const double rounded = roundHalfEven(toDouble());
  if (!(rounded >= static_cast<double>(std::numeric_limits<std::int32_t>::min()) &&
        rounded <= static_cast<double>(std::numeric_limits<std::int32_t>::max())))
    throw Error(error_number::kOverflow, "Overflow: " + numberText(toDouble()) + " is not a 32-bit integer");
  return static_cast<std::int32_t>(rounded);
}

std::int64_t Value::toInt64() const {
  if (const auto* i = int32()) return *i;
  if (const auto* wide = int64()) return *wide;
  const double rounded = roundHalfEven(toDouble());
  // 2^63 is a double; every double below it in magnitude converts exactly.
  constexpr double kLimit = 9223372036854775808.0;
  if (!(rounded >= -kLimit && rounded < kLimit))
    throw Error(error_number::kOverflow, "Overflow: " + numberText(toDouble()) + " is not a 64-bit integer");
  return static_cast<std::int64_t>(rounded);
}

std::string Value::toText() const {
  switch (type()) {
    case ValueType::Empty:
      throwNull();
    case ValueType::Int32:
      return std::to_string(*int32());
    case ValueType::Double:
      return numberText(*real());
    case ValueType::Text:
      return *text();
    case ValueType::Date:
      return date()->toIso8601();
    case ValueType::Int64:
      return std::to_string(*int64());
  }
  return {};
}

}  // namespace orvex::host
