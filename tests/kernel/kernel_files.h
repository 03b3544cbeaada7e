#pragma once

// Point shapefiles for the Kernel Analysis command tests, written through the platform.

#include <filesystem>
#include <string>
#include <vector>

#include "headless/headless_fixtures.h"
#include "kernel/kernel_test_support.h"
#include "platform/gdal/gdal_platform.h"

namespace orvex::test {

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
