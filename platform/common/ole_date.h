#pragma once

#include <cmath>

namespace orvex::platform {

/// OLE Automation dates (the Date/Time of Access files): days since 1899-12-30 00:00, the
/// fraction being the time of day. Before that day the integer part counts backwards while the
/// fraction still runs forwards (-1.25 is 1899-12-29 06:00), so the serial is not a linear
/// time scale there.

inline constexpr double kSecondsPerDay = 86400.0;
/// OLE serial of 1970-01-01 (25,569 days after 1899-12-30).
inline constexpr double kUnixEpochSerial = 25569.0;

/// Seconds since 1970-01-01T00:00:00 of a serial, rounded to the nearest millisecond: the
/// double serial carries about a microsecond of resolution in this era, and a stored whole
/// second must come back as a whole number.
inline double oleSerialToUnixSeconds(double serial) {
  const double day = std::trunc(serial);
  const double linear = day + std::fabs(serial - day);
  return std::round((linear - kUnixEpochSerial) * kSecondsPerDay * 1000.0) / 1000.0;
}

/// The serial whose `oleSerialToUnixSeconds` is `seconds`.
inline double unixSecondsToOleSerial(double seconds) {
  const double linear = seconds / kSecondsPerDay + kUnixEpochSerial;
  if (linear >= 0.0) return linear;
  const double day = std::floor(linear);
  return day - (linear - day);
}

}  // namespace orvex::platform
