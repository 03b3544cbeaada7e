#include "ui/gis/kernel_math.h"

#include <cmath>

namespace orvex::ui::gis {

double GuardedExp(double t) { return t < kExpFloor ? 0.0 : std::exp(t); }

double NormalKernel(double u) { return GuardedExp(-u * u / 2.0) / kTwoPi; }

double ConvolvedKernel(double u) { return GuardedExp(-u * u / 4.0) / kFourPi; }

double PairDistance(double x1, double y1, double x2, double y2) {
  const double dx = x1 - x2;
  const double dy = y1 - y2;
  return std::sqrt(dx * dx + dy * dy);
}

double NaturalLog(double x) { return std::log(x) / std::log(kTruncatedE); }

double GuardedLog(double x) { return x > 0.0 ? NaturalLog(x) : kLogOfNonPositive; }

}  // namespace orvex::ui::gis
