#pragma once
// The s1 likelihood of bridge_likelihood.h on prepared observations: the one maximiser that the
// estimate over a whole track and the dynamic estimate over windows of it (dynamic_bridge.h)
// share, so that both reach their maximum by the same steps and to the same tolerance.

#include <cstddef>
#include <optional>
#include <span>
#include <vector>

#include "range/bridge/bridge_likelihood.h"

namespace orvex::range {

/// One observation: its variance is b s1^2 + c and half its squared distance from the bridge's
/// mean is e.
struct Triplet {
  double b = 0.0;
  double c = 0.0;
  double e = 0.0;
};

/// Fix i (1 <= i < size - 1) as an observation of the bridge between fixes i - 1 and i + 1, or
/// nothing when that bridge has T = 0 or either of its intervals is longer than `max_gap`. The
/// track is taken as check_track passed it.
std::optional<Triplet> triplet_at(const BridgeTrack& track, std::size_t i, double max_gap);

/// The sum of the observations' log densities at `sigma1`, in their order.
double triplets_log_likelihood(std::span<const Triplet> triplets, double sigma1);

struct TripletMaximum {
  double sigma1 = 0.0;
  double log_likelihood = 0.0;
  bool at_zero = false;  ///< as Sigma1Estimate::at_zero
};

/// The maximum of the likelihood of `triplets` (not empty) by the search estimate_sigma1
/// states. When `profile` is given, every point evaluated is appended to it in the order of
/// evaluation (the best scanned point twice: Brent starts from it).
TripletMaximum maximise_triplets(std::span<const Triplet> triplets, std::vector<LikelihoodPoint>* profile);

}  // namespace orvex::range
