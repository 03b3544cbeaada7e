#include "range/bridge/bridge_likelihood.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "range/bridge/triplet_likelihood.h"

namespace orvex::range {

namespace {

std::vector<Triplet> triplets_of(const BridgeTrack& track, TripletChoice choice, double max_gap) {
  check_track(track, 3);
  if (!(max_gap >= 0.0))
    throw std::invalid_argument("the largest gap must be a number of seconds, 0 or more");
  std::vector<Triplet> triplets;
  const std::size_t stride = choice == TripletChoice::independent ? 2 : 1;
  for (std::size_t i = 1; i + 1 < track.size(); i += stride) {
    if (const auto triplet = triplet_at(track, i, max_gap)) triplets.push_back(*triplet);
  }
  if (triplets.empty()) throw std::invalid_argument("no triplet of fixes to estimate sigma1 from");
  return triplets;
}

}  // namespace

double bridge_log_likelihood(const BridgeTrack& track, double sigma1, TripletChoice choice, double max_gap) {
  if (!(sigma1 >= 0.0) || !std::isfinite(sigma1))
    throw std::invalid_argument("sigma1 must be a number, 0 or more");
  return triplets_log_likelihood(triplets_of(track, choice, max_gap), sigma1);
}

std::vector<LikelihoodPoint> likelihood_profile(const BridgeTrack& track, std::span<const double> sigma1s,
                                                TripletChoice choice, double max_gap) {
  const std::vector<Triplet> triplets = triplets_of(track, choice, max_gap);
  std::vector<LikelihoodPoint> profile;
  for (const double s : sigma1s) {
    if (!(s >= 0.0) || !std::isfinite(s)) throw std::invalid_argument("sigma1 must be a number, 0 or more");
    profile.push_back({s, triplets_log_likelihood(triplets, s)});
  }
  return profile;
}

Sigma1Estimate estimate_sigma1(const BridgeTrack& track, TripletChoice choice, double max_gap) {
  const std::vector<Triplet> triplets = triplets_of(track, choice, max_gap);
  Sigma1Estimate estimate;
  estimate.triplets = triplets.size();
  const TripletMaximum maximum = maximise_triplets(triplets, &estimate.profile);
  estimate.sigma1 = maximum.sigma1;
  estimate.log_likelihood = maximum.log_likelihood;
  estimate.at_zero = maximum.at_zero;
  std::sort(estimate.profile.begin(), estimate.profile.end(),
            [](const LikelihoodPoint& a, const LikelihoodPoint& b) { return a.sigma1 < b.sigma1; });
  // Brent starts from the best scanned point, so that point is evaluated twice.
  const auto repeated =
      std::unique(estimate.profile.begin(), estimate.profile.end(),
                  [](const LikelihoodPoint& a, const LikelihoodPoint& b) { return a.sigma1 == b.sigma1; });
  estimate.profile.erase(repeated, estimate.profile.end());
  return estimate;
}

}  // namespace orvex::range
