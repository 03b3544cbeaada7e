#pragma once

// The arithmetic of the observation fields: time, distance and speed between successive fixes,
// and the reading of a fix's "Time2".

#include <array>
#include <cstdint>
#include <string_view>

#include "host/value.h"

namespace orvex::ui {

/// The six fields the observation tool writes, in the order it adds them. New fields get
/// exactly these names; existing ones are found without regard to letter case.
inline constexpr std::array<std::string_view, 6> kTravelFieldNames = {
    "T_Obs_Sec", "T_Cumul", "Dist", "Dist_Cumul", "Me_per_Sec", "Mi_per_hr"};

/// Decimals kept in each field, in the order of kTravelFieldNames.
inline constexpr std::array<int, 6> kTravelFieldDecimals = {3, 3, 0, 0, 4, 6};

/// Feet per metre and per mile, as the miles-per-hour field has always been computed (3.28,
/// not 3.2808).
inline constexpr double kFeetPerMetre = 3.28;
inline constexpr double kFeetPerMile = 5280.0;

/// The values written for one fix, each rounded to its decimals (halves to even).
struct TravelValues {
  double tObsSec = 0.0;    ///< seconds since the previous fix
  double tCumul = 0.0;     ///< seconds since the first fix, summed step by step
  double dist = 0.0;       ///< straight-line distance from the previous fix (coordinate units)
  double distCumul = 0.0;  ///< distances summed since the first fix
  double mePerSec = 0.0;   ///< dist / tObsSec
  double miPerHr = 0.0;    ///< (dist x 3.28 / 5280) / (tObsSec / 3600)

  /// In the order of kTravelFieldNames.
  std::array<double, 6> inFieldOrder() const { return {tObsSec, tCumul, dist, distCumul, mePerSec, miPerHr}; }
};

/// The rounded values of a step of `elapsed` seconds (not 0) and `distance` units, given the
/// unrounded running sums that already include this step. The speeds come from the unrounded
/// distance, so rounding never compounds.
TravelValues TravelStep(double distance, std::int64_t elapsed, double cumulativeDistance,
                        std::int64_t cumulativeTime);

/// A "Time2" value as whole seconds: numbers rounded to the nearest integer, halves to even,
/// so that 10.5 and 9.5 both read as 10; whole-number values exactly. Held in 64 bits, so times past 2038
/// read as well.
/// @throws host::Error (94) for an empty value, (13) for text that is not a number, (6) for a
/// value beyond the 64-bit range or not finite.
std::int64_t readTime2(const host::Value& value);

/// The name of the field the fixes' times are read from.
inline constexpr std::string_view kTime2Field = "Time2";

}  // namespace orvex::ui
