#include "ui/tools/orvexobs_travel.h"

#include <cmath>

#include "host/error.h"
#include "host/text.h"

namespace orvex::ui {
namespace {

// Doubles at or beyond 2^63 do not convert to a 64-bit integer.
constexpr double kInt64Limit = 9223372036854775808.0;

}  // namespace

TravelValues TravelStep(double distance, std::int64_t elapsed, double cumulativeDistance,
                        std::int64_t cumulativeTime) {
  const auto seconds = static_cast<double>(elapsed);
  const double metresPerSecond = distance / seconds;
  // Written as the formula reads: feet to miles first, then seconds to hours.
  const double milesPerHour = (distance * kFeetPerMetre / kFeetPerMile) / (seconds / 60.0 / 60.0);

  const TravelValues raw{seconds,         static_cast<double>(cumulativeTime),
                         distance,        cumulativeDistance,
                         metresPerSecond, milesPerHour};
  const auto unrounded = raw.inFieldOrder();
  std::array<double, 6> kept{};
  for (std::size_t i = 0; i < kept.size(); ++i)
    kept[i] = host::roundHalfEven(unrounded[i], kTravelFieldDecimals[i]);
  return {kept[0], kept[1], kept[2], kept[3], kept[4], kept[5]};
}

std::int64_t readTime2(const host::Value& value) {
  // Whole numbers are taken exactly: through a double, two times near the 64-bit limits that
  // differ by less than 2^-53 of their size would read as one.
  if (value.type() == host::ValueType::Int32 || value.type() == host::ValueType::Int64)
    return value.toInt64();
  const double whole = host::roundHalfEven(value.toDouble());
  if (!std::isfinite(whole) || whole >= kInt64Limit || whole < -kInt64Limit) {
    throw host::Error(host::error_number::kOverflow,
                      "the Time2 value " + host::numberText(value.toDouble()) + " is not a usable time");
  }
  return static_cast<std::int64_t>(whole);
}

}  // namespace orvex::ui
