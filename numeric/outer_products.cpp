#include "numeric/outer_products.h"

#include <cstring>

#include "numeric/simd_kernels.h"

namespace orvex::numeric {

namespace {

// A register tile: kOuterProductColumns columns by kTileVectors vectors of rows.
constexpr std::size_t kTileVectors = kOuterProductRows / kLanes;
static_assert(kOuterProductRows % kLanes == 0);

struct OuterJob {
  const double* a;
  const double* b;
  std::size_t count;
  std::size_t weight_stride;
  std::size_t rows;
  std::size_t columns;
  double* out;
  std::size_t out_stride;
};

[[gnu::always_inline]] inline void outer_products_kernel(const OuterJob& job) {
  const std::size_t vectors = (job.rows + kLanes - 1) / kLanes;
  for (std::size_t c0 = 0; c0 < job.columns; c0 += kOuterProductColumns) {
    for (std::size_t v0 = 0; v0 < vectors; v0 += kTileVectors) {
      Doubles8 sums[kOuterProductColumns][kTileVectors] = {};
      for (std::size_t j = 0; j < job.count; ++j) {
        Doubles8 from[kTileVectors];
        std::memcpy(&from, job.a + j * job.weight_stride + v0 * kLanes, sizeof from);
        const double* const scales = job.b + j * job.weight_stride + c0;
        for (std::size_t c = 0; c < kOuterProductColumns; ++c)
          for (std::size_t v = 0; v < kTileVectors; ++v) sums[c][v] += scales[c] * from[v];
      }
      for (std::size_t c = 0; c < kOuterProductColumns; ++c) {
        double* const to = job.out + (c0 + c) * job.out_stride + v0 * kLanes;
        Doubles8 now[kTileVectors];
        std::memcpy(&now, to, sizeof now);
        for (std::size_t v = 0; v < kTileVectors; ++v) now[v] += sums[c][v];
        std::memcpy(to, &now, sizeof now);
      }
    }
  }
}

ORVEX_SIMD_CLONES(outer_products_at, outer_products_kernel)

}  // namespace

void add_outer_products(const double* a, const double* b, std::size_t count, std::size_t weight_stride,
                        std::size_t rows, std::size_t columns, double* out, std::size_t out_stride,
                        SimdLevel level) {
  outer_products_at(level, OuterJob{a, b, count, weight_stride, rows, columns, out, out_stride});
}

}  // namespace orvex::numeric
