#pragma once
// The diffusion parameter s1 of the Brownian bridge by maximum likelihood (Horne, Garton, Krone
// and Lewis 2007): each chosen fix i is an observation of the bridge between fixes i - 1 and
// i + 1, normal with mean z[i-1] + a (z[i+1] - z[i-1]), a = (t[i] - t[i-1]) / T, T = t[i+1] - t[i-1],
// and variance T a (1 - a) s1^2 + (1 - a)^2 e[i-1]^2 + a^2 e[i+1]^2 (e the location errors).
// The log-likelihood is the sum of the chosen fixes' log densities.

#include <cstddef>
#include <span>
#include <vector>

#include "range/bridge/bridge_track.h"

namespace orvex::range {

/// Which fixes are observations. `independent`: fixes 1, 3, 5, ... (0-based; the second,
/// fourth, ... fix), so that no fix is both an observation and a bridge end. `all`: every fix
/// but the first and last, overlapping triplets, as adehabitatHR's `liker` counts them.
enum class TripletChoice { independent, all };

/// A triplet is left out when T = 0 (both its intervals of zero length) or when either of its
/// intervals is longer than `max_gap`.
struct LikelihoodPoint {
  double sigma1 = 0.0;
  double log_likelihood = 0.0;
};

/// The log-likelihood of `sigma1` (>= 0). Throws as check_track (3 fixes at least) and when
/// no triplet is left (std::invalid_argument).
double bridge_log_likelihood(const BridgeTrack& track, double sigma1, TripletChoice choice,
                             double max_gap = kNoMaxGap);

/// The log-likelihood at each value of `sigma1s`, in their order (for a profile plot).
std::vector<LikelihoodPoint> likelihood_profile(const BridgeTrack& track, std::span<const double> sigma1s,
                                                TripletChoice choice, double max_gap = kNoMaxGap);

struct Sigma1Estimate {
  double sigma1 = 0.0;          ///< the maximiser, within kSigma1Tolerance relative
  double log_likelihood = 0.0;  ///< at sigma1
  std::size_t triplets = 0;     ///< observations used
  /// The data are no more scattered than the location errors explain: the likelihood rises
  /// towards s1 = 0 over the whole search and sigma1 is 0.
  bool at_zero = false;
  /// Every point the search evaluated, by increasing sigma1: a profile around the maximum.
  std::vector<LikelihoodPoint> profile;
};

inline constexpr double kSigma1Tolerance = 1e-6;

/// The maximum likelihood s1. Each observation's log density, as a function of u = s1^2, rises
/// up to u_i = (d_i^2 / 2 - c_i) / b_i (d_i its distance from the bridge's mean, b_i and c_i its
/// variance's s1^2 coefficient and constant) and falls beyond, so the maximum lies in
/// [min u_i, max u_i]. That range is scanned at 33 points evenly spaced in log s1 (its lower end
/// taken as 1e-9 of the upper one when min u_i <= 0), and the best point's neighbours bracket
/// Brent's search on log s1, run until the bracket is below kSigma1Tolerance relative.
/// Throws as bridge_log_likelihood.
Sigma1Estimate estimate_sigma1(const BridgeTrack& track, TripletChoice choice, double max_gap = kNoMaxGap);

}  // namespace orvex::range
