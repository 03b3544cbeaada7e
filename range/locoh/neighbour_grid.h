#pragma once
// A bucket grid over distinct fixes for the local sets of LoCoH: the k nearest fixes and the
// fixes within a radius, each as (distance, index) pairs sorted by distance, then index.
// Distances are sqrt(dx^2 + dy^2) with the two squares added in long double, as R's sum adds
// them, so that the order and the cut at r or a fall where adehabitatHR puts them.

#include <cmath>
#include <cstddef>
#include <span>
#include <utility>
#include <vector>

namespace orvex::range {

using Neighbour = std::pair<double, std::size_t>;  // distance, index

// Inline: the grid measures every candidate of every local set with it.
inline double fix_distance(double x0, double y0, double x1, double y1) {
  const double dx = x1 - x0;
  const double dy = y1 - y0;
  return std::sqrt(
      static_cast<double>(static_cast<long double>(dx * dx) + static_cast<long double>(dy * dy)));
}

class NeighbourGrid {
 public:
  /// Fixes must be finite; about 2 per bucket.
  NeighbourGrid(std::span<const double> x, std::span<const double> y);

  /// The min(k, size) nearest fixes to fix i, i itself included, into `out` (sorted).
  void nearest(std::size_t i, std::size_t k, std::vector<Neighbour>& out) const;
  /// The same fixes as `nearest`, the farthest last and the others in no particular order (but
  /// the same on every call): for a caller that needs the set, not its order.
  void nearest_set(std::size_t i, std::size_t k, std::vector<Neighbour>& out) const;
  /// Every fix within `radius` of fix i (distance <= radius), into `out` (sorted).
  void within(std::size_t i, double radius, std::vector<Neighbour>& out) const;
  /// The fixes whose (distance, index) pair from fix i is at most `bound`, into `out` in no
  /// particular order. Distances clearly inside or beyond the bound are told from a plain sum of
  /// squares; only those within rounding of it are measured as `fix_distance` measures them.
  void up_to(std::size_t i, Neighbour bound, std::vector<std::size_t>& out) const;

 private:
  // Calls take(j) for the fixes j of buckets [c0, c1] x [r0, r1] (clamped), passing over a
  // bucket whose every fix lies farther than `limit` from fix i.
  template <class Take>
  void visit_block(std::size_t i, long c0, long c1, long r0, long r1, double limit, Take take) const;
  // Adds the fixes of those buckets to `out` with their distances.
  void add_block(std::size_t i, long c0, long c1, long r0, long r1, double limit,
                 std::vector<Neighbour>& out) const;
  [[nodiscard]] long column_of(double x) const;
  // Buckets at most `distance` away from a fix's own, counted by coordinate.
  [[nodiscard]] long bucket_reach(double distance) const;
  [[nodiscard]] long row_of(double y) const;

  std::span<const double> x_, y_;
  double west_ = 0.0, south_ = 0.0, size_ = 1.0;
  double slack_ = 0.0;  // how far beyond its bucket's box a fix may be taken to lie
  long columns_ = 1, rows_ = 1;
  std::vector<std::size_t> start_;  // bucket b holds order_[start_[b] .. start_[b + 1])
  std::vector<std::size_t> order_;
};

}  // namespace orvex::range
