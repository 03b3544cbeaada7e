// Indices of serial autocorrelation of the fixes in insertion order: Schoener's ratio and the
// Swihart and Slade index.

#include <cmath>
#include <cstddef>
#include <limits>

#include "core/engine/kernel_engine.h"

namespace orvex::core {

namespace {

constexpr double kUndefined = std::numeric_limits<double>::quiet_NaN();

}  // namespace

double KernelEngine::schoener_ratio() {
  const auto fixes = Trackingdata();
  const std::size_t n = fixes.size();
  double mean_x = kUndefined;
  double mean_y = kUndefined;
  if (n > 0) {
    mean_x = 0.0;
    mean_y = 0.0;
    for (const auto& f : fixes) {
      mean_x += f.x;
      mean_y += f.y;
    }
    mean_x /= static_cast<double>(n);
    mean_y /= static_cast<double>(n);
  }
  log_.print("Geometric center (x,y) = (%5.1f,%5.1f)\n", {mean_x, mean_y});

  double r2 = kUndefined;
  if (n >= 2) {
    double sum = 0.0;
    for (const auto& f : fixes) sum += (f.x - mean_x) * (f.x - mean_x) + (f.y - mean_y) * (f.y - mean_y);
    r2 = sum / static_cast<double>(n - 1);
  }
  log_.print("Mean squared distance from the center r2 = %5.1f\n", {r2});

  // n - 1 successive steps averaged over n - 2: undefined below three fixes.
  double t2 = kUndefined;
  if (n >= 3) {
    double sum = 0.0;
    for (std::size_t j = 0; j + 1 < n; ++j) {
      const double ddx = fixes[j].x - fixes[j + 1].x;
      const double ddy = fixes[j].y - fixes[j + 1].y;
      sum += ddx * ddx + ddy * ddy;
    }
    t2 = sum / static_cast<double>(n - 2);
  }
  log_.print("Mean squared distance between succesive observations z2 = %5.1f\n", {t2});

  const double ratio = r2 > 0.0 ? t2 / r2 : kUndefined;
  log_.print("z2 / r2 = %5.3f\n", {ratio});
  return ratio;
}

double KernelEngine::swihart_slade_index() {
  const auto fixes = Trackingdata();
  const std::size_t n = fixes.size();
  double index = kUndefined;
  if (n >= 3) {
    const auto pairs = static_cast<double>(n - 1);
    double lag_x = 0.0, lag_y = 0.0, lead_x = 0.0, lead_y = 0.0;
    for (std::size_t i = 1; i < n; ++i) {
      lag_x += fixes[i - 1].x;
      lag_y += fixes[i - 1].y;
      lead_x += fixes[i].x;
      lead_y += fixes[i].y;
    }
    lag_x /= pairs;
    lag_y /= pairs;
    lead_x /= pairs;
    lead_y /= pairs;
    double sxl = 0.0, syl = 0.0, sxd = 0.0, syd = 0.0;
    double cxx = 0.0, cyy = 0.0, cyx = 0.0, cxy = 0.0;
    for (std::size_t i = 1; i < n; ++i) {
      const double xl = fixes[i - 1].x - lag_x;
      const double yl = fixes[i - 1].y - lag_y;
      const double xd = fixes[i].x - lead_x;
      const double yd = fixes[i].y - lead_y;
      sxl += xl * xl;
      syl += yl * yl;
      sxd += xd * xd;
      syd += yd * yd;
      cxx += xl * xd;
      cyy += yl * yd;
      cyx += yl * xd;
      cxy += xl * yd;
    }
    // A coordinate constant over the lags or the leads has no correlation to speak of.
    if (sxl > 0.0 && syl > 0.0 && sxd > 0.0 && syd > 0.0) {
      index = cxx / std::sqrt(sxd * sxl) + cyy / std::sqrt(syd * syl) +
              std::fabs(cyx / std::sqrt(sxd * syl)) + std::fabs(cxy / std::sqrt(sxl * syd));
    }
  }
  log_.print("Swihart and Slades independence index = %10.8f\n", {index});
  return index;
}

}  // namespace orvex::core
