#pragma once
// What the Brownian bridge dialog hands to its run: the texts of its controls, and those texts
// read into numbers and checked before anything is touched.

#include <optional>
#include <string>
#include <vector>

#include "range/bridge/bridge_likelihood.h"
#include "range/bridge/dynamic_bridge.h"

namespace orvex::range {

enum class BbmmExtent { Full, Minimum, Reference };

struct BbmmSettings {
  std::string pointLayer{};
  std::string idField{};
  std::string timeField = "Time2";  ///< seconds, a number field
  std::string sigma2{};             ///< one location error for every fix (map units) ...
  std::string sigma2Field{};        ///< ... or a field of per-fix errors; exactly one of them
  std::string sigma1 = "auto";      ///< "auto": maximum likelihood; else a value
  bool allTriplets = false;         ///< overlapping triplets (every interior fix)
  bool dynamic = false;             ///< s1 per fix from a sliding window (s1 must be auto)
  std::string window = "31";        ///< dynamic: fixes per window, odd
  std::string margin = "11";        ///< dynamic: fixes a break keeps from a window's ends, odd
  std::string maxGap{};             ///< seconds; empty: no largest gap
  BbmmExtent extent = BbmmExtent::Full;
  std::string buffer = "2000";  ///< full extent: map units beyond the layer's extent
  std::string referenceLayer{};
  std::string cellSize = "100";
  std::string isopleths{};  ///< volume percentages; empty: none
  bool lines = true;
  bool polygons = true;
  bool useSelectedOnly = false;
  std::string outputFolder{};
  std::string prefix = "bbmm";  ///< rasters are prefix + the animal's position
};

/// The settings read into numbers.
struct BbmmRunValues {
  std::optional<double> sigma2{};  ///< absent: read per fix from the field
  std::optional<double> sigma1{};  ///< absent: estimated per animal
  TripletChoice triplets = TripletChoice::independent;
  std::optional<DynamicOptions> dynamic{};  ///< present: the dynamic bridge (max_gap, threads unset)
  double maxGap = kNoMaxGap;
  double buffer = 0.0;
  double cellSize = 0.0;
  std::vector<double> isopleths{};  ///< ascending, each in (0, 100]
};

/// The settings read, or the message that refuses them (naming the box and its text): no
/// layer or ID field, neither or both of s2 and its field, a number that is not positive
/// (s1 may be 0; the buffer may be 0), a percentage outside (0, 100], no output folder, and for
/// the dynamic bridge a given s1 or a window and margin that are not odd whole numbers with
/// margin >= 3 and window > 2 x margin.
struct BbmmSettingsCheck {
  BbmmRunValues values{};
  std::optional<std::string> error{};
};
BbmmSettingsCheck CheckBbmmSettings(const BbmmSettings& settings);

}  // namespace orvex::range
