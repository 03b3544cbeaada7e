#include "core/engine/ud_density.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <vector>

#include "core/engine/kernel_math.h"
#include "core/engine/parallel.h"

namespace orvex::core {

namespace {

// Sources are processed in batches so that the axis factors stay small in memory (a batch of
// 512 on a 151-node side is 1.2 MB); nodes are summed in rows blocks that share each source's
// y factors while they are in the first-level cache. Both sizes are fixed, not tied to threads.
constexpr std::size_t kSourceBatch = 512;
constexpr std::size_t kSourcesPerChunk = 32;
constexpr std::size_t kRowBlock = 8;
// Beyond this many bandwidths from its centre an axis factor is exp(< -800) = 0.
constexpr double kZeroFactorRadius = 40.0;

struct AxisWindow {
  std::size_t begin = 0;
  std::size_t end = 0;  // one past the last node whose factor may be non-zero
};

// Fills factors[0..side) with exp(-((origin + i*step - centre) / b)^2 / 2), computing only the
// nodes within kZeroFactorRadius bandwidths (plus two nodes of slack); the rest are exact zeros.
AxisWindow fill_axis(double origin, double step, double centre, double b, std::size_t side, double* factors) {
  const double reach = kZeroFactorRadius * b;
  const double first = std::floor((centre - reach - origin) / step) - 2.0;
  const double last = std::ceil((centre + reach - origin) / step) + 2.0;
  const double top = static_cast<double>(side);
  AxisWindow w;
  w.begin = first <= 0.0 ? 0 : (first >= top ? side : static_cast<std::size_t>(first));
  w.end = last < 0.0 ? 0 : (last + 1.0 >= top ? side : static_cast<std::size_t>(last) + 1);
  if (w.end < w.begin) w.end = w.begin;
  std::fill(factors, factors + w.begin, 0.0);
  for (std::size_t i = w.begin; i < w.end; ++i) {
    const double t = (static_cast<double>(i) * step + origin - centre) / b;
    factors[i] = guarded_exp(-t * t / 2.0);
  }
  std::fill(factors + w.end, factors + side, 0.0);
  return w;
}

}  // namespace

void accumulate_kernel_sums(std::span<const KernelSource> sources, const GridGeometry& grid, std::int32_t S,
                            std::span<double> out, unsigned threads) {
  const std::size_t side = static_cast<std::size_t>(S) + 1;
  std::fill(out.begin(), out.end(), 0.0);
  const std::size_t batch_capacity = std::min(kSourceBatch, sources.size());
  std::vector<double> fx(batch_capacity * side);
  std::vector<double> fy(batch_capacity * side);
  std::vector<AxisWindow> wx(batch_capacity);
  std::vector<AxisWindow> wy(batch_capacity);
  const std::size_t row_blocks = (side + kRowBlock - 1) / kRowBlock;

  for (std::size_t first = 0; first < sources.size(); first += kSourceBatch) {
    const std::size_t count = std::min(kSourceBatch, sources.size() - first);
    run_chunks((count + kSourcesPerChunk - 1) / kSourcesPerChunk, threads, [&](std::size_t chunk) {
      const std::size_t end = std::min(count, (chunk + 1) * kSourcesPerChunk);
      for (std::size_t s = chunk * kSourcesPerChunk; s < end; ++s) {
        const KernelSource& k = sources[first + s];
        wx[s] = fill_axis(grid.ax, grid.dx, k.x, k.bandwidth, side, &fx[s * side]);
        wy[s] = fill_axis(grid.ay, grid.dy, k.y, k.bandwidth, side, &fy[s * side]);
      }
    });
    run_chunks(row_blocks, threads, [&](std::size_t block) {
      const std::size_t i0 = block * kRowBlock;
      const std::size_t i1 = std::min(side, i0 + kRowBlock);
      for (std::size_t s = 0; s < count; ++s) {
        const std::size_t ib = std::max(i0, wx[s].begin);
        const std::size_t ie = std::min(i1, wx[s].end);
        if (ib >= ie || wy[s].begin >= wy[s].end) continue;
        const double weight = sources[first + s].weight;
        const double* ys = &fy[s * side];
        const std::size_t jb = wy[s].begin;
        const std::size_t je = wy[s].end;
        for (std::size_t i = ib; i < ie; ++i) {
          const double a = weight * fx[s * side + i];
          if (a == 0.0) continue;
          double* row = &out[i * side];
          for (std::size_t j = jb; j < je; ++j) row[j] += a * ys[j];
        }
      }
    });
  }
}

}  // namespace orvex::core
