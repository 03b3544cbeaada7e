#include "range/locoh/neighbour_grid.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace orvex::range {

NeighbourGrid::NeighbourGrid(std::span<const double> x, std::span<const double> y) : x_(x), y_(y) {
  const std::size_t n = x.size();
  if (n == 0) return;
  const auto [xmin, xmax] = std::minmax_element(x.begin(), x.end());
  const auto [ymin, ymax] = std::minmax_element(y.begin(), y.end());
  west_ = *xmin;
  south_ = *ymin;
  const double width = *xmax - west_;
  const double height = *ymax - south_;
  // About 2 fixes per bucket over the box; a box of no area (fixes on a line) gets buckets along
  // its length, and a single position one bucket.
  const double per_bucket = 2.0 / static_cast<double>(n);
  size_ = width > 0.0 && height > 0.0 ? std::sqrt(width * height * per_bucket)
                                      : std::max(width, height) * per_bucket;
  if (!(size_ > 0.0)) size_ = 1.0;
  const double kMaxSide = 1 << 14;
  size_ = std::max({size_, width / kMaxSide, height / kMaxSide});
  // A tenth of a bucket and many times the rounding of coordinates of this size: far more than
  // column_of and row_of can misplace a fix by.
  const double largest = std::max({std::abs(*xmin), std::abs(*xmax), std::abs(*ymin), std::abs(*ymax)});
  slack_ = 0.1 * size_ + 64.0 * std::numeric_limits<double>::epsilon() * largest;
  columns_ = static_cast<long>(width / size_) + 1;
  rows_ = static_cast<long>(height / size_) + 1;
  std::vector<std::size_t> bucket(n);
  start_.assign(static_cast<std::size_t>(columns_ * rows_) + 1, 0);
  for (std::size_t i = 0; i < n; ++i) {
    bucket[i] = static_cast<std::size_t>(row_of(y[i]) * columns_ + column_of(x[i]));
    ++start_[bucket[i] + 1];
  }
  for (std::size_t b = 1; b < start_.size(); ++b) start_[b] += start_[b - 1];
  order_.resize(n);
  std::vector<std::size_t> next(start_.begin(), start_.end() - 1);
  for (std::size_t i = 0; i < n; ++i) order_[next[bucket[i]]++] = i;
}

long NeighbourGrid::column_of(double x) const {
  return std::min(static_cast<long>((x - west_) / size_), columns_ > 0 ? columns_ - 1 : 0);
}

long NeighbourGrid::row_of(double y) const {
  return std::min(static_cast<long>((y - south_) / size_), rows_ > 0 ? rows_ - 1 : 0);
}

template <class Take>
void NeighbourGrid::visit_block(std::size_t i, long c0, long c1, long r0, long r1, double limit,
                                Take take) const {
  c0 = std::max(c0, 0L);
  r0 = std::max(r0, 0L);
  c1 = std::min(c1, columns_ - 1);
  r1 = std::min(r1, rows_ - 1);
  const double margin = slack_;
  const double reach = limit * (1.0 + 1e-12);
  const auto gap = [margin](double from, double low, double high) {
    return std::max({0.0, low - margin - from, from - high - margin});
  };
  const double px = x_[i] - west_;
  const double py = y_[i] - south_;
  for (long r = r0; r <= r1; ++r) {
    const double dy = gap(py, static_cast<double>(r) * size_, static_cast<double>(r + 1) * size_);
    if (dy > reach) continue;
    for (long c = c0; c <= c1; ++c) {
      const double dx = gap(px, static_cast<double>(c) * size_, static_cast<double>(c + 1) * size_);
      if (dx * dx + dy * dy > reach * reach) continue;
      const auto b = static_cast<std::size_t>(r * columns_ + c);
      for (std::size_t k = start_[b]; k < start_[b + 1]; ++k) take(order_[k]);
    }
  }
}

void NeighbourGrid::add_block(std::size_t i, long c0, long c1, long r0, long r1, double limit,
                              std::vector<Neighbour>& out) const {
  visit_block(i, c0, c1, r0, r1, limit,
              [&](std::size_t j) { out.emplace_back(fix_distance(x_[i], y_[i], x_[j], y_[j]), j); });
}

void NeighbourGrid::nearest(std::size_t i, std::size_t k, std::vector<Neighbour>& out) const {
  nearest_set(i, k, out);
  // A partial sort's heap is slower than sorting the k.
  std::sort(out.begin(), out.end());
}

void NeighbourGrid::nearest_set(std::size_t i, std::size_t k, std::vector<Neighbour>& out) const {
  out.clear();
  k = std::min(k, x_.size());
  const long c = column_of(x_[i]);
  const long r = row_of(y_[i]);
  // Ring by ring: once k fixes are found and the k-th is nearer than any bucket not yet visited
  // can be (ring buckets away, since the fix lies inside its own bucket), the k are final. The
  // k-th found so far tells how many rings at most remain, so they are added before looking again,
  // leaving out the buckets that lie wholly beyond it.
  double limit = std::numeric_limits<double>::infinity();
  const auto add_ring = [&](long ring) {
    if (ring == 0) {
      add_block(i, c, c, r, r, limit, out);
      return;
    }
    add_block(i, c - ring, c + ring, r + ring, r + ring, limit, out);
    add_block(i, c - ring, c + ring, r - ring, r - ring, limit, out);
    add_block(i, c - ring, c - ring, r - ring + 1, r + ring - 1, limit, out);
    add_block(i, c + ring, c + ring, r - ring + 1, r + ring - 1, limit, out);
  };
  const auto everything = [&](long ring) {
    return c - ring <= 0 && r - ring <= 0 && c + ring >= columns_ - 1 && r + ring >= rows_ - 1;
  };
  long ring = 0;
  add_ring(0);
  for (;;) {
    long target = ring + 1;
    if (out.size() >= k) {
      std::nth_element(out.begin(), out.begin() + static_cast<long>(k - 1), out.end());
      const double kth = out[k - 1].first;
      limit = kth;
      if (everything(ring) || kth < static_cast<double>(ring) * size_) break;
      target = std::max(target, static_cast<long>(std::min(kth / size_, 1e9)) + 1);
    }
    while (ring < target && !everything(ring)) add_ring(++ring);
  }
  // The loop leaves only after nth_element: the first k are the k nearest, the k-th of them last.
  out.resize(k);
}

long NeighbourGrid::bucket_reach(double distance) const {
  // Clamped before conversion so that a huge distance stays in range.
  return static_cast<long>(std::min(distance / size_ + 1.0, 1e9));
}

void NeighbourGrid::within(std::size_t i, double radius, std::vector<Neighbour>& out) const {
  out.clear();
  const long c = column_of(x_[i]);
  const long r = row_of(y_[i]);
  const long span = bucket_reach(radius);
  add_block(i, c - span, c + span, r - span, r + span, radius, out);
  std::erase_if(out, [radius](const Neighbour& n) { return !(n.first <= radius); });
  std::sort(out.begin(), out.end());
}

void NeighbourGrid::up_to(std::size_t i, Neighbour bound, std::vector<std::size_t>& out) const {
  out.clear();
  const long c = column_of(x_[i]);
  const long r = row_of(y_[i]);
  const long span = bucket_reach(bound.first);
  // fix_distance rounds the sum of squares twice and the root once: far less than a part in 10^9.
  const double square = bound.first * bound.first;
  const double inside = square * (1.0 - 1e-9);
  const double beyond = square * (1.0 + 1e-9);
  visit_block(i, c - span, c + span, r - span, r + span, bound.first, [&](std::size_t j) {
    const double dx = x_[j] - x_[i];
    const double dy = y_[j] - y_[i];
    const double sum = dx * dx + dy * dy;
    if (sum < inside ||
        (!(sum > beyond) && !(bound < Neighbour(fix_distance(x_[i], y_[i], x_[j], y_[j]), j))))
      out.push_back(j);
  });
}

}  // namespace orvex::range
