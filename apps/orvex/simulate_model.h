#pragma once

// Synthetic telemetry: animals moving as Ornstein-Uhlenbeck processes around one or two
// activity centres, located every few hours by a collar that sometimes misses a fix and now
// and then fails for a day or more. Plain computation, the same for the same seed on every
// machine: the random numbers come from our own generator, not from library distributions
// whose output may change between library versions.

#include <cstdint>
#include <string>
#include <vector>

namespace orvex::cli {

/// xoshiro256** seeded through splitmix64: small, fast and fully specified.
class SimulationRandom {
 public:
  explicit SimulationRandom(std::uint64_t seed);
  std::uint64_t next();
  /// Uniform in [0, 1) with 53 random bits.
  double uniform();
  /// Uniform in [low, high).
  double uniform(double low, double high) { return low + (high - low) * uniform(); }
  /// Standard normal deviate (Box-Muller; the second deviate of each pair is kept for the next
  /// call).
  double normal();

 private:
  std::uint64_t state_[4];
  bool haveSpare_ = false;
  double spare_ = 0.0;
};

inline constexpr int kMaxAnimals = 1000;
inline constexpr int kMaxFixes = 20000;

struct SimulationOptions {
  int animals = 3;
  int fixes = 500;  ///< successful fixes per animal
  std::uint64_t seed = 1;
  /// First scheduled fix time, seconds since 1970-01-01T00:00:00Z (2021-05-01T00:00:00Z).
  std::int64_t start = 1619827200;
};

/// One fix: the position in metres east and north of the study area's origin, and its time.
struct SimulatedFix {
  std::string animal;  ///< "A1", "A2", ...
  double east = 0.0;
  double north = 0.0;
  std::int64_t time = 0;  ///< seconds since 1970-01-01T00:00:00Z, strictly increasing per animal
};

/// The fixes of every animal, animal by animal, each in time order.
///
/// Each animal (its own random stream, derived from the seed and its number, so adding animals
/// leaves the earlier ones unchanged) has a home within 15 km of the origin, one activity
/// centre or (more often) two, 1.5 to 4 km apart, used by day (06:00 to 18:00 UTC) and by
/// night; it reverts towards the current centre with a time scale of 4 to 12 h and spreads 400
/// to 1200 m around it (the process's stationary standard deviation). Fixes are scheduled every
/// 2, 3 or 4 h (per animal) with up to two minutes of jitter; 15 % of the attempts fail, and
/// after 1 % of them the collar is silent for 12 to 72 h. Each fix carries a location error of
/// 15 m (standard deviation). Options outside 1..kMaxAnimals animals or 1..kMaxFixes fixes
/// are clamped into that range; kMaxFixes keeps every time within 32-bit seconds.
std::vector<SimulatedFix> simulateTracks(const SimulationOptions& options);

}  // namespace orvex::cli
