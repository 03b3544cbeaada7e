#pragma once
// The fixes of a Brownian bridge run, read through the host: grouped by animal, each animal's
// in time order, with the reason an animal cannot run when it cannot.

#include <optional>
#include <string>
#include <vector>

#include "range/bbmm/bbmm_settings.h"

namespace orvex::host {
class FeatureLayer;
}

namespace orvex::range {

struct BbmmAnimal {
  std::string id{};  ///< the ID value as text, as messages name the animal
  std::vector<double> x{};
  std::vector<double> y{};
  std::vector<double> t{};       ///< non-decreasing once read
  std::vector<double> sigma2{};  ///< one per fix with an error field; else empty
  /// Why the animal cannot run (names the fix by its object id where one is to blame).
  std::optional<std::string> problem{};
};

/// Reads the layer's fixes (only its selected features with `useSelectedOnly`) into animals by
/// the values of the ID field, in ascending ID order (numbers by value, text by text); fixes
/// without an ID belong to no animal. Each animal's fixes are sorted by time, equal times in
/// reading order. An animal gets a problem, and is otherwise left as read, for: a time that is
/// text, empty or not a finite number; a per-fix error that is empty or not positive; a fix
/// without a point; fewer than 3 fixes; times that never increase.
/// Throws host::Error (kNotFound) when the layer has no ID, time or error field of that name.
std::vector<BbmmAnimal> ReadBbmmAnimals(const host::FeatureLayer& layer, const BbmmSettings& settings);

}  // namespace orvex::range
