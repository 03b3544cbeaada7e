#include "ui/kde/independence.h"

#include <cmath>
#include <limits>

namespace orvex::ui {

namespace {

constexpr double kUndefined = std::numeric_limits<double>::quiet_NaN();

// Pearson correlation of a[i] with b[i] over i = 0 .. count-1, where a and b are columns of
// the fixes offset by `aStart` and `bStart`. NaN when either variance is 0.
double LagCorrelation(std::span<const CoordPair> points, std::size_t count, std::size_t aStart, int aColumn,
                      std::size_t bStart, int bColumn) {
  const auto a = [&](std::size_t i) { return points[aStart + i][static_cast<std::size_t>(aColumn)]; };
  const auto b = [&](std::size_t i) { return points[bStart + i][static_cast<std::size_t>(bColumn)]; };
  double sumA = 0.0;
  double sumB = 0.0;
  for (std::size_t i = 0; i < count; ++i) {
    sumA += a(i);
    sumB += b(i);
  }
  const double meanA = sumA / static_cast<double>(count);
  const double meanB = sumB / static_cast<double>(count);
  double saa = 0.0;
  double sbb = 0.0;
  double sab = 0.0;
  for (std::size_t i = 0; i < count; ++i) {
    const double da = a(i) - meanA;
    const double db = b(i) - meanB;
    saa += da * da;
    sbb += db * db;
    sab += da * db;
  }
  if (!(saa > 0.0) || !(sbb > 0.0)) return kUndefined;
  return sab / std::sqrt(saa * sbb);
}

}  // namespace

double SchoenerRatio(std::span<const CoordPair> points) {
  const std::size_t n = points.size();
  if (n < 2) return kUndefined;
  double sumX = 0.0;
  double sumY = 0.0;
  for (const CoordPair& p : points) {
    sumX += p[0];
    sumY += p[1];
  }
  const double meanX = sumX / static_cast<double>(n);
  const double meanY = sumY / static_cast<double>(n);
  double spread = 0.0;
  for (const CoordPair& p : points) {
    spread += (p[0] - meanX) * (p[0] - meanX) + (p[1] - meanY) * (p[1] - meanY);
  }
  double steps = 0.0;
  for (std::size_t i = 0; i + 1 < n; ++i) {
    const double dx = points[i][0] - points[i + 1][0];
    const double dy = points[i][1] - points[i + 1][1];
    steps += dx * dx + dy * dy;
  }
  const double divisor = static_cast<double>(n - 1);
  const double r2 = spread / divisor;
  const double t2 = steps / divisor;
  if (!(r2 > 0.0)) return kUndefined;
  return t2 / r2;
}

double SwihartSladeIndex(std::span<const CoordPair> points) {
  if (points.size() < 3) return kUndefined;
  const std::size_t pairs = points.size() - 1;
  // Leading values are fixes 0 .. n-2, lagging values fixes 1 .. n-1.
  const double xx = LagCorrelation(points, pairs, 0, 0, 1, 0);
  const double yy = LagCorrelation(points, pairs, 0, 1, 1, 1);
  const double xy = LagCorrelation(points, pairs, 0, 0, 1, 1);
  const double yx = LagCorrelation(points, pairs, 0, 1, 1, 0);
  return xx + yy + std::fabs(xy) + std::fabs(yx);
}

}  // namespace orvex::ui
