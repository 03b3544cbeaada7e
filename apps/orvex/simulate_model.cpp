#include "apps/orvex/simulate_model.h"

#include <algorithm>
#include <cmath>

namespace orvex::cli {
namespace {

constexpr double kPi = 3.141592653589793;
constexpr double kHour = 3600.0;
constexpr std::int64_t kDay = 86400;

// The animals and their collars (see simulateTracks).
constexpr double kHomeRadius = 15000.0;  // m, homes around the origin
constexpr double kTwoCentreShare = 0.6;  // animals with a day and a night centre
constexpr double kCentreGapMin = 1500.0;
constexpr double kCentreGapMax = 4000.0;
constexpr double kReversionMin = 4.0 * kHour;
constexpr double kReversionMax = 12.0 * kHour;
constexpr double kSpreadMin = 400.0;
constexpr double kSpreadMax = 1200.0;
constexpr int kIntervalsHours[] = {2, 3, 4};
constexpr double kJitter = 120.0;  // s
constexpr double kMissedShare = 0.15;
constexpr double kOutageShare = 0.01;
constexpr double kOutageMin = 12.0 * kHour;
constexpr double kOutageMax = 72.0 * kHour;
constexpr double kLocationError = 15.0;  // m
constexpr std::int64_t kDayStart = 6 * 3600;
constexpr std::int64_t kNightStart = 18 * 3600;

std::uint64_t splitmix64(std::uint64_t& state) {
  std::uint64_t z = (state += 0x9E3779B97F4A7C15ULL);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
  return z ^ (z >> 31);
}

std::uint64_t rotl(std::uint64_t x, int k) { return (x << k) | (x >> (64 - k)); }

struct Point {
  double east = 0.0;
  double north = 0.0;
};

/// One animal's fixed traits.
struct Animal {
  Point centres[2];
  int centreCount = 1;
  double reversion = 0.0;  // s
  double spread = 0.0;     // m
  double interval = 0.0;   // s
};

Animal drawAnimal(SimulationRandom& random) {
  Animal animal;
  const double radius = kHomeRadius * std::sqrt(random.uniform());
  const double angle = random.uniform(0.0, 2.0 * kPi);
  animal.centres[0] = {radius * std::cos(angle), radius * std::sin(angle)};
  animal.centres[1] = animal.centres[0];
  if (random.uniform() < kTwoCentreShare) {
    animal.centreCount = 2;
    const double gap = random.uniform(kCentreGapMin, kCentreGapMax);
    const double direction = random.uniform(0.0, 2.0 * kPi);
    animal.centres[1] = {animal.centres[0].east + gap * std::cos(direction),
                         animal.centres[0].north + gap * std::sin(direction)};
  }
  animal.reversion = random.uniform(kReversionMin, kReversionMax);
  animal.spread = random.uniform(kSpreadMin, kSpreadMax);
  const auto pick = static_cast<std::size_t>(random.uniform() * std::size(kIntervalsHours));
  animal.interval = kIntervalsHours[std::min(pick, std::size(kIntervalsHours) - 1)] * kHour;
  return animal;
}

/// The centre the animal is drawn to at `time`: the first by day, the second by night.
const Point& centreAt(const Animal& animal, std::int64_t time) {
  const std::int64_t ofDay = ((time % kDay) + kDay) % kDay;
  const bool day = ofDay >= kDayStart && ofDay < kNightStart;
  return animal.centres[day || animal.centreCount == 1 ? 0 : 1];
}

}  // namespace

SimulationRandom::SimulationRandom(std::uint64_t seed) {
  std::uint64_t mix = seed;
  for (auto& word : state_) word = splitmix64(mix);
}

std::uint64_t SimulationRandom::next() {
  const std::uint64_t result = rotl(state_[1] * 5, 7) * 9;
  const std::uint64_t t = state_[1] << 17;
  state_[2] ^= state_[0];
  state_[3] ^= state_[1];
  state_[1] ^= state_[2];
  state_[0] ^= state_[3];
  state_[2] ^= t;
  state_[3] = rotl(state_[3], 45);
  return result;
}

double SimulationRandom::uniform() { return static_cast<double>(next() >> 11) * 0x1.0p-53; }

double SimulationRandom::normal() {
  if (haveSpare_) {
    haveSpare_ = false;
    return spare_;
  }
  // 1 - u lies in (0, 1], so the logarithm is finite.
  const double radius = std::sqrt(-2.0 * std::log(1.0 - uniform()));
  const double angle = 2.0 * kPi * uniform();
  spare_ = radius * std::sin(angle);
  haveSpare_ = true;
  return radius * std::cos(angle);
}

std::vector<SimulatedFix> simulateTracks(const SimulationOptions& options) {
  const int animals = std::clamp(options.animals, 1, kMaxAnimals);
  const int fixes = std::clamp(options.fixes, 1, kMaxFixes);
  std::vector<SimulatedFix> track;
  track.reserve(static_cast<std::size_t>(animals) * static_cast<std::size_t>(fixes));

  for (int a = 0; a < animals; ++a) {
    // Each animal its own stream: a seed mixed with its number.
    std::uint64_t mix = options.seed ^ (0xD1B54A32D192ED03ULL * static_cast<std::uint64_t>(a + 1));
    SimulationRandom random(splitmix64(mix));
    const Animal animal = drawAnimal(random);
    const std::string id = "A" + std::to_string(a + 1);

    // The schedule starts at a random hour of the first day.
    double scheduled = static_cast<double>(options.start) + std::floor(random.uniform(0.0, 24.0)) * kHour;
    std::int64_t time = static_cast<std::int64_t>(scheduled);
    std::int64_t lastFix = time - 1;
    Point position = centreAt(animal, time);
    position.east += animal.spread * random.normal();
    position.north += animal.spread * random.normal();

    for (int taken = 0; taken < fixes;) {
      scheduled += animal.interval;
      if (random.uniform() < kOutageShare)
        scheduled += std::floor(random.uniform(kOutageMin, kOutageMax) / animal.interval) * animal.interval;
      const auto next =
          static_cast<std::int64_t>(std::llround(scheduled + random.uniform(-kJitter, kJitter)));

      // Exact transition of the Ornstein-Uhlenbeck process over the elapsed time.
      const double decay = std::exp(-static_cast<double>(next - time) / animal.reversion);
      const double step = animal.spread * std::sqrt(1.0 - decay * decay);
      const Point& centre = centreAt(animal, next);
      position.east = centre.east + (position.east - centre.east) * decay + step * random.normal();
      position.north = centre.north + (position.north - centre.north) * decay + step * random.normal();
      time = next;

      if (random.uniform() < kMissedShare || time <= lastFix) continue;
      track.push_back({id, position.east + kLocationError * random.normal(),
                       position.north + kLocationError * random.normal(), time});
      lastFix = time;
      ++taken;
    }
  }
  return track;
}

}  // namespace orvex::cli
