#pragma once
// Workload fixes shared by the benchmark programs.

#include <array>
#include <cstdint>
#include <vector>

namespace orvex::bench {

/// n fixes whose coordinates are each the sum of four uniforms on [0, 250): a bell-shaped cloud
/// around (500, 500), standard deviation about 144, from a fixed sequence.
inline std::vector<std::array<double, 2>> BellFixes(std::size_t n) {
  std::uint64_t state = 777;
  auto uniform = [&state] {
    state = state * 6364136223846793005ULL + 1442695040888963407ULL;
    return static_cast<double>(state >> 11) / 9007199254740992.0;
  };
  std::vector<std::array<double, 2>> fixes(n, std::array<double, 2>{0.0, 0.0});
  for (auto& f : fixes) {
    for (int k = 0; k < 4; ++k) {
      f[0] += 250.0 * uniform();
      f[1] += 250.0 * uniform();
    }
  }
  return fixes;
}

}  // namespace orvex::bench
