#include "ui/kde/kde_math.h"

#include <charconv>
#include <system_error>

#include "ui/gis/sample_stats.h"

namespace orvex::ui {

double CheckedDivide(double a, double b) {
  if (b == 0.0) throw KdeError(KdeErrorNumber::division_by_zero, "Division by zero");
  return a / b;
}

double CheckedSampleVariance(std::span<const CoordPair> coords, int column) {
  try {
    return gis::SampleVariance(coords, column);
  } catch (const std::domain_error&) {
    throw KdeError(KdeErrorNumber::division_by_zero, "Division by zero");
  }
}

std::string NumberText(double value) {
  char buffer[64];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  if (result.ec != std::errc{}) return "?";
  return std::string(buffer, result.ptr);
}

}  // namespace orvex::ui
