#pragma once
// What the KDE tool's numeric classes add to the kernel functions of ui/gis/kernel_math.h:
// the fix type, the run-time error they report, and the checked arithmetic behind it.

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <utility>

#include "host/error.h"
#include "ui/gis/kernel_math.h"

namespace orvex::ui {

/// One fix: x at [0], y at [1], in map units (or in rescaled units once divided by the
/// standard deviations).
using CoordPair = std::array<double, 2>;

/// Run-time error numbers of the numeric classes, reported with their description in the
/// callers' error boxes ("CalcLSCV: 961" + CR + description).
enum class KdeErrorNumber : std::int32_t {
  invalid_argument = 5,
  overflow = 6,
  out_of_memory = 7,
  subscript_out_of_range = 9,
  division_by_zero = 11,
  user_interrupt = 18,  // a progress callback asked to stop
};

/// A run-time error inside a KDE computation: the host's error type with a run-time error
/// number, so that a caller's handler for host errors sees it as it sees every other.
class KdeError : public host::Error {
 public:
  KdeError(KdeErrorNumber number, std::string description)
      : host::Error(static_cast<std::int32_t>(number), std::move(description)) {}
};

/// a / b, raising KdeError(division_by_zero) when b is 0: the arithmetic the KDE classes
/// report as a run-time error instead of carrying an infinity or NaN forward.
double CheckedDivide(double a, double b);

/// Sample variance (divisor n - 1) of column 0 (x) or 1 (y); any other column gives 0.
/// Raises KdeError(division_by_zero) for fewer than 2 fixes (0/0).
double CheckedSampleVariance(std::span<const CoordPair> coords, int column);

}  // namespace orvex::ui
