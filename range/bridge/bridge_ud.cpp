#include "range/bridge/bridge_ud.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <numbers>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "numeric/fixed_chunks.h"
#include "numeric/gaussian_factors.h"
#include "numeric/separable_grid.h"
#include "range/bridge/bridge_quadrature.h"

namespace orvex::range {

namespace {

using numeric::FactorSpan;
using numeric::SeparableProduct;
using numeric::SeparableTerms;

// The bridges are cut into up to kSegments runs of about equal count, each summed onto a grid of
// its own (one run per thread at a time), and the grids are then added in run order: the cut
// depends only on the track and the grid, so the result does not depend on the thread count. The
// runs' grids take at most kSegmentBytes; when only one fits, the tiles of each product share the
// threads instead.
constexpr std::size_t kSegments = 16;
constexpr double kSegmentBytes = 256.0 * 1024.0 * 1024.0;

// Factor values made at once before they are summed onto the grid: 512 KB of doubles stay in
// the second-level cache between their making and their use, and keep the memory O(fixes +
// cells) whatever the track's length. A group ends with the bridge that fills it.
constexpr std::size_t kGroupValues = std::size_t{1} << 16;

// A growing array of factor values whose new values are left unset: each is written right after
// it is made, so clearing it first would only double the stores.
class FactorValues {
 public:
  // `count` more values at the end, to be written through the pointer returned.
  double* grow(std::size_t count) {
    if (size_ + count > capacity_) reserve(std::max(2 * capacity_, size_ + count));
    double* at = values_.get() + size_;
    size_ += count;
    return at;
  }
  void clear() { size_ = 0; }
  [[nodiscard]] std::size_t size() const { return size_; }
  [[nodiscard]] double* data() { return values_.get(); }
  [[nodiscard]] std::span<double> span() { return {values_.get(), size_}; }
  [[nodiscard]] std::span<const double> span() const { return {values_.get(), size_}; }

 private:
  void reserve(std::size_t capacity) {
    std::unique_ptr<double[]> values = std::make_unique_for_overwrite<double[]>(capacity);
    std::copy(values_.get(), values_.get() + size_, values.get());
    values_ = std::move(values);
    capacity_ = capacity;
  }

  std::unique_ptr<double[]> values_;
  std::size_t size_ = 0;
  std::size_t capacity_ = 0;
};

// The terms of a run of bridges, as factor tables, and their product over the grid.
class TermChunk {
 public:
  explicit TermChunk(const BridgeGrid& grid) : grid_(grid) {}

  [[nodiscard]] bool full() const { return row_values_.size() + column_values_.size() >= kGroupValues; }
  [[nodiscard]] bool empty() const { return rows_.empty(); }

  void clear() {
    rows_.clear();
    columns_.clear();
    row_values_.clear();
    column_values_.clear();
  }

  // One quadrature node: weight w times the Gaussian of mean (mx, my) and variance v; its row
  // factors carry w.
  void add(double w, double mx, double my, double v) {
    const double sd = std::sqrt(v);
    const double reach = kWindowDeviations * sd / grid_.cell_size;
    const double top = static_cast<double>(grid_.rows);
    // Row r's centre lies (rows - r - 0.5) cells above the origin; column c's (c + 0.5) to its east.
    const double row_mid = top - (my - grid_.origin_y) / grid_.cell_size - 0.5;
    const double column_mid = (mx - grid_.origin_x) / grid_.cell_size - 0.5;
    const FactorSpan rows = span(row_mid, reach, grid_.rows, row_values_.size());
    const FactorSpan columns = span(column_mid, reach, grid_.columns, column_values_.size());
    if (rows.begin >= rows.end || columns.begin >= columns.end) return;
    const double scale = -0.5 / v;
    // The cell centres as BridgeGrid::row_y and column_x place them: row r's centre lies
    // (rows - r - 0.5) cells above the origin, column c's (c + 0.5) to its east.
    const std::size_t row_count = rows.end - rows.begin;
    double* row_factor = row_values_.grow(row_count);
    numeric::gaussian_factors(grid_.origin_y, static_cast<double>(grid_.rows - rows.begin) - 0.5, -1.0,
                              grid_.cell_size, my, scale, {row_factor, row_count});
    for (std::size_t i = 0; i < row_count; ++i) row_factor[i] *= w;
    const std::size_t column_count = columns.end - columns.begin;
    double* column_factor = column_values_.grow(column_count);
    numeric::gaussian_factors(grid_.origin_x, static_cast<double>(columns.begin) + 0.5, 1.0, grid_.cell_size,
                              mx, scale, {column_factor, column_count});
    rows_.push_back(rows);
    columns_.push_back(columns);
  }

  // Adds the terms to `out`, tile by tile on up to `threads` threads, and empties the chunk.
  void finish(std::span<double> out, unsigned threads) {
    const SeparableProduct product(grid_.rows, grid_.columns,
                                   {rows_, columns_, row_values_.span(), column_values_.span()});
    numeric::run_fixed_chunks(product.tile_count(), threads,
                              [&](std::size_t tile) { product.add_tile(tile, out); });
    clear();
  }

 private:
  // Axis indices within `reach` cells of the fractional index `mid`, clipped to [0, count).
  static FactorSpan span(double mid, double reach, std::size_t count, std::size_t offset) {
    const double lo = std::max(0.0, std::ceil(mid - reach));
    const double hi = std::min(static_cast<double>(count), std::floor(mid + reach) + 1.0);
    if (!(lo < hi)) return {0, 0, offset};
    return {static_cast<std::size_t>(lo), static_cast<std::size_t>(hi), offset};
  }

  const BridgeGrid& grid_;
  std::vector<FactorSpan> rows_;
  std::vector<FactorSpan> columns_;
  FactorValues row_values_;
  FactorValues column_values_;
};

void check_run(const BridgeOptions& options, std::size_t fixes, const BridgeGrid& grid,
               std::span<const double> out) {
  if (!(grid.cell_size > 0.0) || !std::isfinite(grid.cell_size))
    throw std::invalid_argument("the cell size must be a positive number");
  if (grid.columns == 0 || grid.rows == 0) throw std::invalid_argument("the grid has no cells");
  if (!std::isfinite(grid.origin_x) || !std::isfinite(grid.origin_y))
    throw std::invalid_argument("the grid origin is not a number");
  if (out.size() != grid.cell_count())
    throw std::invalid_argument("the output does not hold one value per cell");
  if (!(options.sigma1 >= 0.0) || !std::isfinite(options.sigma1))
    throw std::invalid_argument("sigma1 must be a number, 0 or more");
  const std::span<const double> per_interval = options.sigma1_per_interval;
  if (per_interval.empty()) return;
  if (per_interval.size() != fixes - 1)
    throw std::invalid_argument("sigma1 per interval holds " + std::to_string(per_interval.size()) +
                                " values for " + std::to_string(fixes - 1) + " intervals");
  for (std::size_t i = 0; i < per_interval.size(); ++i) {
    if (!(per_interval[i] >= 0.0) || !std::isfinite(per_interval[i]))
      throw std::invalid_argument("interval " + std::to_string(i) + ": sigma1 must be a number, 0 or more");
  }
}

}  // namespace

double BridgeGrid::column_x(std::size_t c) const {
  return origin_x + (static_cast<double>(c) + 0.5) * cell_size;
}

double BridgeGrid::row_y(std::size_t r) const {
  return origin_y + (static_cast<double>(rows - r) - 0.5) * cell_size;
}

BridgeUdSummary bridge_ud(const BridgeTrack& track, const BridgeOptions& options, const BridgeGrid& grid,
                          std::span<double> out) {
  check_track(track, 2);
  check_run(options, track.size(), grid, out);
  BridgeUdSummary summary;
  summary.intervals = classify_intervals(track.t, options.max_gap);
  const BridgeIntervals& intervals = summary.intervals;
  if (intervals.used.empty())
    throw std::invalid_argument("no interval carries a bridge (" +
                                std::to_string(intervals.zero_length.size()) + " of zero length, " +
                                std::to_string(intervals.over_gap.size()) + " longer than the largest gap)");

  const auto segment_of = [&](std::size_t i) {
    return BridgeSegment{
        track.x[i],
        track.y[i],
        track.x[i + 1],
        track.y[i + 1],
        track.t[i + 1] - track.t[i],
        options.sigma1_per_interval.empty() ? options.sigma1 : options.sigma1_per_interval[i],
        track.sigma2_at(i),
        track.sigma2_at(i + 1)};
  };
  // Sums bridges [first, last) of the used ones onto `grid_out` (zeroed here) and counts their nodes.
  const auto sum_bridges = [&](std::size_t first, std::size_t last, std::span<double> grid_out,
                               unsigned tile_threads) {
    std::fill(grid_out.begin(), grid_out.end(), 0.0);
    TermChunk chunk(grid);
    std::vector<BridgeNode> nodes;
    std::size_t node_count = 0;
    for (std::size_t b = first; b < last; ++b) {
      const BridgeSegment segment = segment_of(intervals.used[b]);
      const double share = segment.duration / intervals.used_time;
      nodes.clear();
      append_bridge_nodes(segment, nodes);
      node_count += nodes.size();
      for (const BridgeNode& node : nodes) {
        const double mx = segment.x0 + node.a * (segment.x1 - segment.x0);
        const double my = segment.y0 + node.a * (segment.y1 - segment.y0);
        chunk.add(share * node.weight / (2.0 * std::numbers::pi * node.variance), mx, my, node.variance);
      }
      if (chunk.full()) chunk.finish(grid_out, tile_threads);
    }
    if (!chunk.empty()) chunk.finish(grid_out, tile_threads);
    return node_count;
  };

  const std::size_t bridges = intervals.used.size();
  const double grid_bytes = static_cast<double>(grid.cell_count()) * sizeof(double);
  const auto fitting =
      static_cast<std::size_t>(std::clamp(kSegmentBytes / grid_bytes, 1.0, double{kSegments}));
  const std::size_t segments = std::min(bridges, fitting);
  if (segments <= 1) {
    summary.nodes = sum_bridges(0, bridges, out, options.threads);
    return summary;
  }
  // Run 0 sums onto `out` itself, the others onto grids of their own, added to it in run order.
  std::vector<double> others((segments - 1) * grid.cell_count());
  std::vector<std::size_t> nodes(segments);
  numeric::run_fixed_chunks(segments, options.threads, [&](std::size_t k) {
    const std::span<double> grid_out =
        k == 0 ? out : std::span<double>(others).subspan((k - 1) * grid.cell_count(), grid.cell_count());
    nodes[k] = sum_bridges(bridges * k / segments, bridges * (k + 1) / segments, grid_out, 1);
  });
  for (std::size_t k = 1; k < segments; ++k) {
    const double* add = others.data() + (k - 1) * grid.cell_count();
    for (std::size_t cell = 0; cell < out.size(); ++cell) out[cell] += add[cell];
  }
  for (const std::size_t n : nodes) summary.nodes += n;
  return summary;
}

}  // namespace orvex::range
