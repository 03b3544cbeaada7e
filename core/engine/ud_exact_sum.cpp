#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

#include "core/engine/ud_kernel_factors.h"
#include "numeric/fixed_chunks.h"

namespace orvex::core::ud_detail {

namespace {

// Sources are processed in batches so that their axis factors stay small in memory (a batch of
// 1024 on a 501-node side is 8 MB). The direct sum adds them to blocks of rows that stay in the
// first-level cache; the product runs fixed tiles. Every size is fixed: none depends on the
// thread count, and both ways add each node's terms in source order.
constexpr std::size_t kSourceBatch = 1024;
constexpr std::size_t kSourcesPerChunk = 32;
constexpr std::size_t kRowBlock = 8;

// Relative cost of one multiply-add: the product runs whole vectors in registers, the direct
// sum loads and stores every node it touches but skips the disc's corners and far tails.
// Measured by BM_KernelSumMethod (about 4 to 1 per term); the ratio decides which way runs.
constexpr double kProductCostPerTerm = 1.0;
constexpr double kDirectCostPerTerm = 4.0;

// Where one source's kept terms lie, in node units: the disc of squared radius radius2 (in
// bandwidths) around (cx, cy), and the rows it covers.
struct SourceDisc {
  double cx = 0.0;
  double cy = 0.0;
  double bandwidths_per_row = 0.0;
  double columns_per_bandwidth = 0.0;
  double radius2 = 0.0;
  AxisWindow rows;
};

// Factor values: every one is written before it is read, so the storage is left uninitialised
// (zeroing megabytes that are overwritten at once costs as much as filling them).
class FactorValues {
 public:
  void resize(std::size_t size) {
    if (size > capacity_) {
      values_.reset(new double[size]);
      capacity_ = size;
    }
    size_ = size;
  }
  double* data() { return values_.get(); }
  const double* data() const { return values_.get(); }
  const double& operator[](std::size_t i) const { return values_[i]; }
  operator std::span<const double>() const { return {values_.get(), size_}; }

 private:
  std::unique_ptr<double[]> values_;
  std::size_t size_ = 0;
  std::size_t capacity_ = 0;
};

// One batch of sources: factor spans and values along x (weight folded in) and y, and discs.
struct SourceBatch {
  std::vector<numeric::FactorSpan> x_spans;
  std::vector<numeric::FactorSpan> y_spans;
  FactorValues x_values;
  FactorValues y_values;
  std::vector<SourceDisc> discs;
};

// Lays out the batch (spans, discs) and fills its factors; the value arrays keep their
// capacity from one batch to the next.
void make_batch(std::span<const KernelSource> here, const GridGeometry& grid, std::size_t side,
                unsigned threads, SourceBatch& batch) {
  batch.x_spans.clear();
  batch.y_spans.clear();
  batch.discs.clear();
  std::size_t x_length = 0;
  std::size_t y_length = 0;
  for (const KernelSource& k : here) {
    const AxisWindow wx = axis_window(grid.ax, grid.dx, k.x, k.bandwidth, side);
    const AxisWindow wy = axis_window(grid.ay, grid.dy, k.y, k.bandwidth, side);
    batch.x_spans.push_back({wx.begin, wx.end, x_length});
    batch.y_spans.push_back({wy.begin, wy.end, y_length});
    x_length += wx.end - wx.begin;
    y_length += wy.end - wy.begin;
    SourceDisc d;
    d.cx = (k.x - grid.ax) / grid.dx;
    d.cy = (k.y - grid.ay) / grid.dy;
    d.bandwidths_per_row = grid.dx / k.bandwidth;
    d.columns_per_bandwidth = k.bandwidth / grid.dy;
    d.radius2 = kDropRadius2 + 2.0 * std::log(std::min(k.weight, 1.0));
    d.rows = d.radius2 >= 0.0 ? node_window(d.cx, std::sqrt(d.radius2) / d.bandwidths_per_row, side)
                              : AxisWindow{};
    batch.discs.push_back(d);
  }
  batch.x_values.resize(x_length);
  batch.y_values.resize(y_length);
  numeric::run_fixed_chunks(
      (here.size() + kSourcesPerChunk - 1) / kSourcesPerChunk, threads, [&](std::size_t chunk) {
        const std::size_t end = std::min(here.size(), (chunk + 1) * kSourcesPerChunk);
        for (std::size_t s = chunk * kSourcesPerChunk; s < end; ++s) {
          const KernelSource& k = here[s];
          fill_axis(grid.ax, grid.dx, k.x, k.bandwidth, k.weight, batch.x_spans[s], batch.x_values.data());
          fill_axis(grid.ay, grid.dy, k.y, k.bandwidth, 1.0, batch.y_spans[s], batch.y_values.data());
        }
      });
}

// The multiply-adds of the direct sum over the discs (a disc covers pi/4 of its square).
double direct_work(const SourceBatch& batch, std::size_t side) {
  double work = 0.0;
  for (std::size_t s = 0; s < batch.discs.size(); ++s) {
    const AxisWindow& rows = batch.discs[s].rows;
    const numeric::FactorSpan& y = batch.y_spans[s];
    work += 0.785 * static_cast<double>(rows.end - rows.begin) *
            static_cast<double>(std::min(side, y.end - y.begin));
  }
  return work;
}

// Adds every source of the batch, in order, to the nodes of its disc.
void direct_sum(const SourceBatch& batch, std::size_t side, std::span<double> out, unsigned threads) {
  const std::size_t row_blocks = (side + kRowBlock - 1) / kRowBlock;
  numeric::run_fixed_chunks(row_blocks, threads, [&](std::size_t block) {
    const std::size_t i0 = block * kRowBlock;
    const std::size_t i1 = std::min(side, i0 + kRowBlock);
    for (std::size_t s = 0; s < batch.discs.size(); ++s) {
      const SourceDisc& d = batch.discs[s];
      const numeric::FactorSpan& xs = batch.x_spans[s];
      const numeric::FactorSpan& ys = batch.y_spans[s];
      // The disc lies inside the factor spans, which reach one node beyond the drop radius.
      const std::size_t ib = std::max({i0, d.rows.begin, xs.begin});
      const std::size_t ie = std::min({i1, d.rows.end, xs.end});
      for (std::size_t i = ib; i < ie; ++i) {
        const double u = (static_cast<double>(i) - d.cx) * d.bandwidths_per_row;
        const double room = d.radius2 - u * u;
        if (!(room >= 0.0)) continue;
        const AxisWindow cols = node_window(d.cy, std::sqrt(room) * d.columns_per_bandwidth, side);
        const std::size_t jb = std::max(cols.begin, ys.begin);
        const std::size_t je = std::min(cols.end, ys.end);
        const double a = batch.x_values[xs.offset + (i - xs.begin)];
        const double* y = batch.y_values.data() + ys.offset;
        double* row = &out[i * side];
        for (std::size_t j = jb; j < je; ++j) row[j] += a * y[j - ys.begin];
      }
    }
  });
}

}  // namespace

void exact_sum(std::span<const KernelSource> sources, const GridGeometry& grid, std::size_t side,
               std::span<double> out, unsigned threads, KernelSumMethod method) {
  SourceBatch batch;
  for (std::size_t first = 0; first < sources.size(); first += kSourceBatch) {
    const std::size_t count = std::min(kSourceBatch, sources.size() - first);
    make_batch(sources.subspan(first, count), grid, side, threads, batch);
    const numeric::SeparableProduct product(side, side,
                                            {batch.x_spans, batch.y_spans, batch.x_values, batch.y_values});
    const bool use_product =
        method == KernelSumMethod::cheaper
            ? product.work() * kProductCostPerTerm < direct_work(batch, side) * kDirectCostPerTerm
            : method == KernelSumMethod::product;
    if (use_product) {
      add_product(product, out, threads);
    } else {
      direct_sum(batch, side, out, threads);
    }
  }
}

}  // namespace orvex::core::ud_detail
