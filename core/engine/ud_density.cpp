#include "core/engine/ud_density.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <vector>

#include "core/engine/parallel.h"
#include "host/separable_grid.h"

namespace orvex::core {

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
// Measured by the UD benchmarks (S = 150 and 500); the ratio decides which way runs.
constexpr double kProductCostPerTerm = 1.0;
constexpr double kDirectCostPerTerm = 4.0;

// A term w * exp(-t^2 / 2), t its distance in bandwidths, is dropped once it is below about
// exp(-705) ~ 1.4e-306, that is when t^2 > kDropRadius2 + 2 ln(min(w, 1)). Smaller terms would
// be subnormal arithmetic (a hundred times slower on common processors) and can only matter
// to nodes whose kernel sum is itself below ~1e-290. Kept terms and all partial sums are
// normal numbers.
constexpr double kDropRadius2 = 1410.0;

struct AxisWindow {
  std::size_t begin = 0;
  std::size_t end = 0;  // one past the last node in the window
};

// Clamps a node position (possibly far outside) to [0, side].
std::size_t clamp_node(double position, std::size_t side) {
  if (!(position > 0.0)) return 0;
  const double top = static_cast<double>(side);
  return position >= top ? side : static_cast<std::size_t>(position);
}

// The nodes i with |i - centre| <= half_width (in node units).
AxisWindow node_window(double centre, double half_width, std::size_t side) {
  AxisWindow w;
  w.begin = clamp_node(std::ceil(centre - half_width), side);
  w.end = clamp_node(std::floor(centre + half_width) + 1.0, side);
  if (w.end < w.begin) w.end = w.begin;
  return w;
}

// The nodes of one axis where a source's factor is kept, and the factors there:
// exp(-t^2 / 2), t = (origin + i*step - centre) / b, times `scale`, and 0 where t^2 >
// kDropRadius2. Appends the factors to `values` and returns where they lie.
host::FactorSpan fill_axis(double origin, double step, double centre, double b, double scale,
                           std::size_t side, std::vector<double>& values) {
  // One node of slack against rounding; the test on t decides.
  const AxisWindow w = node_window((centre - origin) / step, std::sqrt(kDropRadius2) * b / step + 1.0, side);
  const host::FactorSpan span{w.begin, w.end, values.size()};
  for (std::size_t i = w.begin; i < w.end; ++i) {
    const double t = (static_cast<double>(i) * step + origin - centre) / b;
    values.push_back(t * t <= kDropRadius2 ? scale * std::exp(-t * t / 2.0) : 0.0);
  }
  return span;
}

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

// One batch of sources: factor spans and values along x (weight folded in) and y, and discs.
struct SourceBatch {
  std::vector<host::FactorSpan> x_spans;
  std::vector<host::FactorSpan> y_spans;
  std::vector<double> x_values;
  std::vector<double> y_values;
  std::vector<SourceDisc> discs;
};

// The factors of sources [chunk * kSourcesPerChunk, ...) of `here`, into chunk-local arrays
// (the offsets are made global once every chunk is done).
void fill_chunk(std::span<const KernelSource> here, const GridGeometry& grid, std::size_t side,
                std::size_t first, std::size_t end, SourceBatch& part) {
  for (std::size_t s = first; s < end; ++s) {
    const KernelSource& k = here[s];
    part.x_spans.push_back(fill_axis(grid.ax, grid.dx, k.x, k.bandwidth, k.weight, side, part.x_values));
    part.y_spans.push_back(fill_axis(grid.ay, grid.dy, k.y, k.bandwidth, 1.0, side, part.y_values));
    SourceDisc d;
    d.cx = (k.x - grid.ax) / grid.dx;
    d.cy = (k.y - grid.ay) / grid.dy;
    d.bandwidths_per_row = grid.dx / k.bandwidth;
    d.columns_per_bandwidth = k.bandwidth / grid.dy;
    d.radius2 = kDropRadius2 + 2.0 * std::log(std::min(k.weight, 1.0));
    d.rows = d.radius2 >= 0.0 ? node_window(d.cx, std::sqrt(d.radius2) / d.bandwidths_per_row, side)
                              : AxisWindow{};
    part.discs.push_back(d);
  }
}

SourceBatch make_batch(std::span<const KernelSource> here, const GridGeometry& grid, std::size_t side,
                       unsigned threads) {
  const std::size_t chunks = (here.size() + kSourcesPerChunk - 1) / kSourcesPerChunk;
  std::vector<SourceBatch> parts(chunks);
  run_chunks(chunks, threads, [&](std::size_t chunk) {
    fill_chunk(here, grid, side, chunk * kSourcesPerChunk,
               std::min(here.size(), (chunk + 1) * kSourcesPerChunk), parts[chunk]);
  });
  SourceBatch batch;
  for (SourceBatch& part : parts) {
    for (host::FactorSpan& span : part.x_spans) span.offset += batch.x_values.size();
    for (host::FactorSpan& span : part.y_spans) span.offset += batch.y_values.size();
    batch.x_spans.insert(batch.x_spans.end(), part.x_spans.begin(), part.x_spans.end());
    batch.y_spans.insert(batch.y_spans.end(), part.y_spans.begin(), part.y_spans.end());
    batch.x_values.insert(batch.x_values.end(), part.x_values.begin(), part.x_values.end());
    batch.y_values.insert(batch.y_values.end(), part.y_values.begin(), part.y_values.end());
    batch.discs.insert(batch.discs.end(), part.discs.begin(), part.discs.end());
  }
  return batch;
}

// The multiply-adds of the direct sum over the discs (a disc covers pi/4 of its square).
double direct_work(const SourceBatch& batch, std::size_t side) {
  double work = 0.0;
  for (std::size_t s = 0; s < batch.discs.size(); ++s) {
    const AxisWindow& rows = batch.discs[s].rows;
    const host::FactorSpan& y = batch.y_spans[s];
    work += 0.785 * static_cast<double>(rows.end - rows.begin) *
            static_cast<double>(std::min(side, y.end - y.begin));
  }
  return work;
}

// Adds every source of the batch, in order, to the nodes of its disc.
void direct_sum(const SourceBatch& batch, std::size_t side, std::span<double> out, unsigned threads) {
  const std::size_t row_blocks = (side + kRowBlock - 1) / kRowBlock;
  run_chunks(row_blocks, threads, [&](std::size_t block) {
    const std::size_t i0 = block * kRowBlock;
    const std::size_t i1 = std::min(side, i0 + kRowBlock);
    for (std::size_t s = 0; s < batch.discs.size(); ++s) {
      const SourceDisc& d = batch.discs[s];
      const host::FactorSpan& xs = batch.x_spans[s];
      const host::FactorSpan& ys = batch.y_spans[s];
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
        const double* y = &batch.y_values[ys.offset] - ys.begin;
        double* row = &out[i * side];
        for (std::size_t j = jb; j < je; ++j) row[j] += a * y[j];
      }
    }
  });
}

}  // namespace

void accumulate_kernel_sums(std::span<const KernelSource> sources, const GridGeometry& grid, std::int32_t S,
                            std::span<double> out, unsigned threads, KernelSumMethod method) {
  const std::size_t side = static_cast<std::size_t>(S) + 1;
  std::fill(out.begin(), out.end(), 0.0);
  for (std::size_t first = 0; first < sources.size(); first += kSourceBatch) {
    const std::size_t count = std::min(kSourceBatch, sources.size() - first);
    const SourceBatch batch = make_batch(sources.subspan(first, count), grid, side, threads);
    const host::SeparableProduct product(side, side,
                                         {batch.x_spans, batch.y_spans, batch.x_values, batch.y_values});
    const bool use_product =
        method == KernelSumMethod::cheaper
            ? product.Work() * kProductCostPerTerm < direct_work(batch, side) * kDirectCostPerTerm
            : method == KernelSumMethod::product;
    if (use_product) {
      run_chunks(product.TileCount(), threads, [&](std::size_t tile) { product.AddTile(tile, out); });
    } else {
      direct_sum(batch, side, out, threads);
    }
  }
}

}  // namespace orvex::core
