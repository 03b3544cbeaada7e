#pragma once

// Inputs of the Kernel Analysis tests: deterministic point clouds with known distributions,
// engines loaded the way the command loads them, and point shapefiles of the clouds.

#include <cmath>
#include <filesystem>
#include <numbers>
#include <string>
#include <vector>

#include "core/engine/kernel_engine.h"
#include "core/kernel/kernel_fixes.h"
#include "headless/headless_fixtures.h"
#include "platform/gdal/gdal_platform.h"

namespace orvex::test {

struct XY {
  double x;
  double y;
};

/// `n` points whose empirical distribution follows a circular bivariate normal of standard
/// deviation `sigma` around (cx, cy) closely: point i lies at the radius of the (i + 0.5) / n
/// quantile of the Rayleigh distribution, r = sigma * sqrt(-2 ln(1 - u)), at the golden-angle
/// turn i * 2 pi / phi^2, so radius and angle are spread evenly instead of sampled.
inline std::vector<XY> gaussianCloud(int n, double sigma, double cx = 0.0, double cy = 0.0) {
  std::vector<XY> points;
  const double goldenAngle = 2.0 * std::numbers::pi * (2.0 - std::numbers::phi);
  for (int i = 0; i < n; ++i) {
    const double u = (i + 0.5) / n;
    const double r = sigma * std::sqrt(-2.0 * std::log(1.0 - u));
    const double theta = goldenAngle * i;
    points.push_back({cx + r * std::cos(theta), cy + r * std::sin(theta)});
  }
  return points;
}

/// The five fixes of the engine's worked example: the unit square's corners and its centre
/// (variances 0.25 and 0.25, href 0.5 / 5^(1/6)).
inline std::vector<XY> squareFixes() { return {{0, 0}, {1, 0}, {0, 1}, {1, 1}, {0.5, 0.5}}; }

inline std::vector<core::KernelFix> fixesOf(const std::vector<XY>& points) {
  std::vector<core::KernelFix> fixes;
  for (const XY& p : points)
    fixes.push_back({static_cast<float>(p.x), static_cast<float>(p.y), std::nullopt});
  return fixes;
}

/// An engine loaded as the command loads its sheet engine (held at unit variance).
inline core::KernelEngine loadedEngine(const std::vector<XY>& points) {
  core::KernelEngine engine(static_cast<std::int32_t>(points.size()));
  core::loadKernelEngine(engine, fixesOf(points));
  return engine;
}

/// Area of the p-volume contour of a circular bivariate normal of variance s2 per axis: the
/// circle of radius sqrt(-2 s2 ln(1 - p)).
inline double normalContourArea(double s2, double p) {
  return -2.0 * std::numbers::pi * s2 * std::log(1.0 - p);
}

/// Writes "<name>.shp" in `folder` with the points, every one of them of animal `animal`, in
/// WGS 84 / UTM zone 33N (metres).
inline std::filesystem::path writeCloud(const std::filesystem::path& folder, const std::string& name,
                                        const std::vector<XY>& points, const std::string& animal = "a1") {
  std::vector<TestFix> fixes;
  for (const XY& p : points) fixes.push_back({p.x, p.y, animal});
  const auto utm33 = platform::gdal::makeSpatialReferenceFactory()->fromEpsg(32633);
  return writePoints(folder, name, fixes, utm33);
}

/// The reference bandwidth of points as the engine sees them (single precision), computed
/// independently: sqrt((var x + var y) / 2) / n^(1/6), sample variances.
inline double hrefOf(const std::vector<XY>& points) {
  const auto single = [](double v) { return static_cast<double>(static_cast<float>(v)); };
  const double n = static_cast<double>(points.size());
  double mx = 0.0, my = 0.0;
  for (const XY& p : points) {
    mx += single(p.x);
    my += single(p.y);
  }
  mx /= n;
  my /= n;
  double vx = 0.0, vy = 0.0;
  for (const XY& p : points) {
    vx += (single(p.x) - mx) * (single(p.x) - mx);
    vy += (single(p.y) - my) * (single(p.y) - my);
  }
  return std::sqrt((vx / (n - 1) + vy / (n - 1)) / 2.0) / std::pow(n, 1.0 / 6.0);
}

}  // namespace orvex::test
