#include "range/bridge/bridge_track.h"

#include <cmath>
#include <stdexcept>
#include <string>

namespace orvex::range {

namespace {

[[noreturn]] void refuse_fix(std::size_t fix, const std::string& what) {
  throw std::invalid_argument("fix " + std::to_string(fix) + ": " + what);
}

}  // namespace

void check_track(const BridgeTrack& track, std::size_t min_fixes) {
  const std::size_t n = track.t.size();
  if (track.x.size() != n || track.y.size() != n)
    throw std::invalid_argument("x, y and time hold different numbers of fixes");
  if (track.sigma2.size() != 1 && track.sigma2.size() != n)
    throw std::invalid_argument("the location error needs one value or one per fix");
  if (n < min_fixes)
    throw std::invalid_argument(std::to_string(n) + " fixes, fewer than the " + std::to_string(min_fixes) +
                                " needed");
  for (std::size_t i = 0; i < n; ++i) {
    if (!std::isfinite(track.x[i]) || !std::isfinite(track.y[i])) refuse_fix(i, "coordinate is not a number");
    if (!std::isfinite(track.t[i])) refuse_fix(i, "time is not a number");
    if (i > 0 && track.t[i] < track.t[i - 1]) refuse_fix(i, "time is earlier than the fix before it");
  }
  for (std::size_t i = 0; i < track.sigma2.size(); ++i) {
    const double s = track.sigma2[i];
    if (!(s > 0.0) || !std::isfinite(s)) refuse_fix(i, "location error must be a positive number");
  }
}

BridgeIntervals classify_intervals(std::span<const double> t, double max_gap) {
  if (!(max_gap >= 0.0))
    throw std::invalid_argument("the largest gap must be a number of seconds, 0 or more");
  BridgeIntervals intervals;
  for (std::size_t i = 0; i + 1 < t.size(); ++i) {
    const double length = t[i + 1] - t[i];
    if (length == 0.0) {
      intervals.zero_length.push_back(i);
    } else if (length > max_gap) {
      intervals.over_gap.push_back(i);
    } else {
      intervals.used.push_back(i);
      intervals.used_time += length;
    }
  }
  return intervals;
}

}  // namespace orvex::range
