#pragma once
// Small deterministic fix sets for the KDE tests.

#include <cstdint>
#include <vector>

#include "ui/kde/kde_math.h"

namespace orvex::ui::test {

/// n fixes scattered over [x0, x0 + width) x [y0, y0 + height) by a fixed linear
/// congruential sequence: the same numbers on every platform.
inline std::vector<CoordPair> ScatteredFixes(std::size_t n, double width = 1000.0, double height = 1000.0,
                                             double x0 = 0.0, double y0 = 0.0, std::uint64_t seed = 12345) {
  std::uint64_t state = seed;
  auto next = [&state] {
    state = state * 6364136223846793005ULL + 1442695040888963407ULL;
    return static_cast<double>(state >> 11) / 9007199254740992.0;  // [0, 1)
  };
  std::vector<CoordPair> fixes(n);
  for (auto& f : fixes) {
    f[0] = x0 + width * next();
    f[1] = y0 + height * next();
  }
  return fixes;
}

/// n fixes whose coordinates are each the sum of four uniforms on [0, 250): a bell-shaped
/// cloud around (500, 500) with a standard deviation of about 144.
inline std::vector<CoordPair> BellFixes(std::size_t n, std::uint64_t seed = 777) {
  const auto uniforms = ScatteredFixes(4 * n, 250.0, 250.0, 0.0, 0.0, seed);
  std::vector<CoordPair> fixes(n, CoordPair{0.0, 0.0});
  for (std::size_t i = 0; i < uniforms.size(); ++i) {
    fixes[i / 4][0] += uniforms[i][0];
    fixes[i / 4][1] += uniforms[i][1];
  }
  return fixes;
}

}  // namespace orvex::ui::test
