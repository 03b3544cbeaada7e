#pragma once
// One animal's track as the Brownian bridge estimators take it: arrays of fixes in time order,
// and the intervals between successive fixes sorted into those that carry a bridge and those
// that do not (zero length, or longer than the largest gap the caller allows).

#include <cstddef>
#include <limits>
#include <span>
#include <vector>

namespace orvex::range {

/// No largest gap: every interval of positive length carries a bridge.
inline constexpr double kNoMaxGap = std::numeric_limits<double>::infinity();

/// The fixes of one animal, sorted by time by the caller. x and y in map units, t in seconds;
/// sigma2 is the location error in map units, one value for every fix or one per fix.
struct BridgeTrack {
  std::span<const double> x;
  std::span<const double> y;
  std::span<const double> t;
  std::span<const double> sigma2;

  [[nodiscard]] std::size_t size() const { return t.size(); }
  [[nodiscard]] double sigma2_at(std::size_t fix) const {
    return sigma2.size() == 1 ? sigma2[0] : sigma2[fix];
  }
};

/// Throws std::invalid_argument, naming the first offending fix by its 0-based position, when
/// the track has fewer than `min_fixes` fixes, x, y and t differ in size, sigma2 holds neither
/// one value nor one per fix, a coordinate or time is not finite, a sigma2 is not a positive
/// finite number, or a time is earlier than the one before it. Equal successive times pass:
/// they make a zero-length interval.
void check_track(const BridgeTrack& track, std::size_t min_fixes);

/// The intervals (i, i + 1) of a track, by the index i of their first fix, in order.
struct BridgeIntervals {
  std::vector<std::size_t> used;         ///< positive length, not longer than the largest gap
  std::vector<std::size_t> zero_length;  ///< t[i + 1] == t[i]: no bridge
  std::vector<std::size_t> over_gap;     ///< t[i + 1] - t[i] > max_gap: no bridge
  double used_time = 0.0;                ///< sum of the used intervals' lengths, in order
};

/// Sorts the intervals of the non-decreasing times `t` (checked by check_track) against
/// `max_gap` (seconds; kNoMaxGap for none; a NaN or negative value is refused with
/// std::invalid_argument). An interval of exactly max_gap is used.
BridgeIntervals classify_intervals(std::span<const double> t, double max_gap);

}  // namespace orvex::range
