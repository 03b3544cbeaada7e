#include "numeric/barycentric_weights.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "numeric/simd_kernels.h"

namespace orvex::numeric {

namespace {

static_assert(kWeightBlock == kLanes);

struct WeightsJob {
  double s;
  const double* nodes;
  const double* barycentric;
  std::size_t points;
  std::size_t padded;
  double factor;
  double* out;
};

// Loops without branches over whole blocks, so that they run in vectors.
template <class Isa>
[[gnu::always_inline]] inline void weights_kernel(const WeightsJob& job) {
  double* const out = job.out;
  for (std::size_t m = 0; m < job.padded; ++m) out[m] = job.barycentric[m] / (job.s - job.nodes[m]);
  std::array<double, kWeightBlock> part{};
  for (std::size_t m = 0; m < job.padded; m += kWeightBlock)
    for (std::size_t j = 0; j < kWeightBlock; ++j) part[j] += out[m + j];
  const double total =
      ((part[0] + part[1]) + (part[2] + part[3])) + ((part[4] + part[5]) + (part[6] + part[7]));
  if (!std::isfinite(total)) {  // s on one of the points: a division by 0 above
    std::fill(out, out + job.padded, 0.0);
    out[std::find(job.nodes, job.nodes + job.points, job.s) - job.nodes] = 1.0;
  } else {
    const double scale = 1.0 / total;
    for (std::size_t m = 0; m < job.padded; ++m) out[m] *= scale;
  }
  for (std::size_t m = 0; m < job.padded; ++m) out[m] *= job.factor;
}

ORVEX_SIMD_CLONES(weights_at, weights_kernel)

}  // namespace

void barycentric_weights(double s, const double* nodes, const double* barycentric, std::size_t points,
                         std::size_t padded, double factor, double* out, SimdLevel level) {
  weights_at(level, WeightsJob{s, nodes, barycentric, points, padded, factor, out});
}

}  // namespace orvex::numeric
