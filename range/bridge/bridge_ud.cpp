#include "range/bridge/bridge_ud.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <stdexcept>
#include <string>
#include <vector>

#include "numeric/fixed_chunks.h"
#include "numeric/separable_grid.h"
#include "numeric/vector_exp.h"
#include "range/bridge/bridge_quadrature.h"

namespace orvex::range {

namespace {

using numeric::FactorSpan;
using numeric::SeparableProduct;

// Factor values held at once before the terms are summed onto the grid: 16 MB of doubles keeps
// the memory O(fixes + cells) whatever the track's length. Batches only cut the term list; each
// cell still adds every term in track order.
constexpr std::size_t kBatchValues = std::size_t{1} << 21;

// The terms of a run of bridges, as factor tables: values hold exponents until `finish`.
class TermBatch {
 public:
  explicit TermBatch(const BridgeGrid& grid) : grid_(grid) {}

  [[nodiscard]] bool full() const { return row_values_.size() + column_values_.size() >= kBatchValues; }
  [[nodiscard]] bool empty() const { return weights_.empty(); }

  // One quadrature node: weight w times the Gaussian of mean (mx, my) and variance v.
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
    for (std::size_t r = rows.begin; r < rows.end; ++r) {
      const double d = grid_.row_y(r) - my;
      row_values_.push_back(scale * d * d);
    }
    for (std::size_t c = columns.begin; c < columns.end; ++c) {
      const double d = grid_.column_x(c) - mx;
      column_values_.push_back(scale * d * d);
    }
    rows_.push_back(rows);
    columns_.push_back(columns);
    weights_.push_back(w);
  }

  // Adds the batch's terms to `out` and empties the batch.
  void finish(std::span<double> out, unsigned threads) {
    numeric::exp_array(row_values_, row_values_);
    numeric::exp_array(column_values_, column_values_);
    for (std::size_t k = 0; k < weights_.size(); ++k) {
      const FactorSpan& rows = rows_[k];
      for (std::size_t i = 0; i < rows.end - rows.begin; ++i) row_values_[rows.offset + i] *= weights_[k];
    }
    const SeparableProduct product(grid_.rows, grid_.columns, {rows_, columns_, row_values_, column_values_});
    const std::vector<std::size_t> tiles = tiles_met();
    numeric::run_fixed_chunks(tiles.size(), threads, [&](std::size_t i) { product.add_tile(tiles[i], out); });
    rows_.clear();
    columns_.clear();
    row_values_.clear();
    column_values_.clear();
    weights_.clear();
  }

 private:
  // Axis indices within `reach` cells of the fractional index `mid`, clipped to [0, count).
  static FactorSpan span(double mid, double reach, std::size_t count, std::size_t offset) {
    const double lo = std::max(0.0, std::ceil(mid - reach));
    const double hi = std::min(static_cast<double>(count), std::floor(mid + reach) + 1.0);
    if (!(lo < hi)) return {0, 0, offset};
    return {static_cast<std::size_t>(lo), static_cast<std::size_t>(hi), offset};
  }

  // The tiles some term reaches, in tile order: the others keep their cells as they are.
  [[nodiscard]] std::vector<std::size_t> tiles_met() const {
    const std::size_t tile_columns =
        (grid_.columns + SeparableProduct::kTileColumns - 1) / SeparableProduct::kTileColumns;
    const std::size_t tile_rows =
        (grid_.rows + SeparableProduct::kTileRows - 1) / SeparableProduct::kTileRows;
    std::vector<char> met(tile_rows * tile_columns, 0);
    for (std::size_t k = 0; k < weights_.size(); ++k) {
      for (std::size_t band = rows_[k].begin / SeparableProduct::kTileRows;
           band <= (rows_[k].end - 1) / SeparableProduct::kTileRows; ++band) {
        for (std::size_t tc = columns_[k].begin / SeparableProduct::kTileColumns;
             tc <= (columns_[k].end - 1) / SeparableProduct::kTileColumns; ++tc) {
          met[band * tile_columns + tc] = 1;
        }
      }
    }
    std::vector<std::size_t> tiles;
    for (std::size_t i = 0; i < met.size(); ++i)
      if (met[i] != 0) tiles.push_back(i);
    return tiles;
  }

  const BridgeGrid& grid_;
  std::vector<FactorSpan> rows_;
  std::vector<FactorSpan> columns_;
  std::vector<double> row_values_;
  std::vector<double> column_values_;
  std::vector<double> weights_;
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

  std::fill(out.begin(), out.end(), 0.0);
  TermBatch batch(grid);
  std::vector<BridgeNode> nodes;
  for (const std::size_t i : intervals.used) {
    const BridgeSegment segment{
        track.x[i],
        track.y[i],
        track.x[i + 1],
        track.y[i + 1],
        track.t[i + 1] - track.t[i],
        options.sigma1_per_interval.empty() ? options.sigma1 : options.sigma1_per_interval[i],
        track.sigma2_at(i),
        track.sigma2_at(i + 1)};
    const double share = segment.duration / intervals.used_time;
    nodes.clear();
    append_bridge_nodes(segment, nodes);
    summary.nodes += nodes.size();
    for (const BridgeNode& node : nodes) {
      const double mx = segment.x0 + node.a * (segment.x1 - segment.x0);
      const double my = segment.y0 + node.a * (segment.y1 - segment.y0);
      batch.add(share * node.weight / (2.0 * std::numbers::pi * node.variance), mx, my, node.variance);
    }
    if (batch.full()) batch.finish(out, options.threads);
  }
  if (!batch.empty()) batch.finish(out, options.threads);
  return summary;
}

}  // namespace orvex::range
