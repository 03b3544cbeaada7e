#include "ui/kde/kde_math.h"

#include <stdexcept>

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

}  // namespace orvex::ui
