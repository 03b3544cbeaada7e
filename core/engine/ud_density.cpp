#include "core/engine/ud_density.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <vector>

#include "host/fixed_chunks.h"

namespace orvex::core {

namespace {

// Sources are processed in batches so that their axis factors stay small in memory (a batch of
// 512 on a 151-node side is 1.2 MB); nodes are summed in blocks of rows that stay in the
// first-level cache while every source of the batch adds its terms, in order. Both sizes are
// fixed: none depends on the thread count.
constexpr std::size_t kSourceBatch = 512;
constexpr std::size_t kSourcesPerChunk = 32;
constexpr std::size_t kRowBlock = 8;

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

// Fills factors[0..side) with exp(-t^2 / 2), t = (origin + i*step - centre) / b, and 0 where
// t^2 > kDropRadius2.
void fill_axis(double origin, double step, double centre, double b, std::size_t side, double* factors) {
  // One node of slack against rounding; the test on t decides.
  const AxisWindow w = node_window((centre - origin) / step, std::sqrt(kDropRadius2) * b / step + 1.0, side);
  std::fill(factors, factors + side, 0.0);
  for (std::size_t i = w.begin; i < w.end; ++i) {
    const double t = (static_cast<double>(i) * step + origin - centre) / b;
    if (t * t <= kDropRadius2) factors[i] = std::exp(-t * t / 2.0);
  }
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

}  // namespace

void accumulate_kernel_sums(std::span<const KernelSource> sources, const GridGeometry& grid, std::int32_t S,
                            std::span<double> out, unsigned threads) {
  const std::size_t side = static_cast<std::size_t>(S) + 1;
  const std::size_t row_blocks = (side + kRowBlock - 1) / kRowBlock;
  const std::size_t batch = std::min(kSourceBatch, sources.size());
  std::vector<double> fx(batch * side);
  std::vector<double> fy(batch * side);
  std::vector<SourceDisc> discs(batch);
  std::fill(out.begin(), out.end(), 0.0);  // only once nothing can fail any more

  for (std::size_t first = 0; first < sources.size(); first += kSourceBatch) {
    const std::size_t count = std::min(kSourceBatch, sources.size() - first);
    const std::span<const KernelSource> here = sources.subspan(first, count);
    host::runFixedChunks((count + kSourcesPerChunk - 1) / kSourcesPerChunk, threads, [&](std::size_t chunk) {
      const std::size_t end = std::min(count, (chunk + 1) * kSourcesPerChunk);
      for (std::size_t s = chunk * kSourcesPerChunk; s < end; ++s) {
        const KernelSource& k = here[s];
        fill_axis(grid.ax, grid.dx, k.x, k.bandwidth, side, &fx[s * side]);
        fill_axis(grid.ay, grid.dy, k.y, k.bandwidth, side, &fy[s * side]);
        SourceDisc& d = discs[s];
        d.cx = (k.x - grid.ax) / grid.dx;
        d.cy = (k.y - grid.ay) / grid.dy;
        d.bandwidths_per_row = grid.dx / k.bandwidth;
        d.columns_per_bandwidth = k.bandwidth / grid.dy;
        d.radius2 = kDropRadius2 + 2.0 * std::log(std::min(k.weight, 1.0));
        d.rows = d.radius2 >= 0.0 ? node_window(d.cx, std::sqrt(d.radius2) / d.bandwidths_per_row, side)
                                  : AxisWindow{};
      }
    });
    host::runFixedChunks(row_blocks, threads, [&](std::size_t block) {
      const std::size_t i0 = block * kRowBlock;
      const std::size_t i1 = std::min(side, i0 + kRowBlock);
      for (std::size_t s = 0; s < count; ++s) {
        const SourceDisc& d = discs[s];
        const std::size_t ib = std::max(i0, d.rows.begin);
        const std::size_t ie = std::min(i1, d.rows.end);
        const double weight = here[s].weight;
        const double* ys = &fy[s * side];
        for (std::size_t i = ib; i < ie; ++i) {
          const double u = (static_cast<double>(i) - d.cx) * d.bandwidths_per_row;
          const double room = d.radius2 - u * u;
          if (!(room >= 0.0)) continue;
          const AxisWindow cols = node_window(d.cy, std::sqrt(room) * d.columns_per_bandwidth, side);
          const double a = weight * fx[s * side + i];
          double* row = &out[i * side];
          for (std::size_t j = cols.begin; j < cols.end; ++j) row[j] += a * ys[j];
        }
      }
    });
  }
}

}  // namespace orvex::core
