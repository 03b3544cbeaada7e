#pragma once
// Starting values of the LoCoH parameters, by the rules of thumb Getz et al. (2007, PLoS ONE
// 2:e207) give, over the distinct positions of the fixes (a repeated position counts once):
//   k = round(sqrt(n)), at least 3;
//   r = half the largest nearest-neighbour distance (every fix then has a neighbour within 2r);
//   a = the largest distance between two fixes (the span of the fixes).
// They are where a scan of the parameter starts, not an answer: the area against the parameter
// shows where the range levels off.

#include <cstddef>
#include <span>

namespace orvex::range {

struct LocohSuggestion {
  std::size_t distinct_fixes = 0;
  double k = 0.0;
  double r = 0.0;  ///< 0 for one distinct fix
  double a = 0.0;  ///< 0 for one distinct fix
};

/// Throws std::invalid_argument as locoh_hulls does for its arrays (sizes, none, not finite).
LocohSuggestion suggest_locoh_parameters(std::span<const double> x, std::span<const double> y);

}  // namespace orvex::range
