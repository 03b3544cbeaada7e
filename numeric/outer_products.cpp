#include "numeric/outer_products.h"

#include <cstring>

#include "numeric/simd_kernels.h"

namespace orvex::numeric {

namespace {

// A register tile: kOuterProductColumns columns by kTileRegisters registers of rows (whichever
// the set, 16 accumulators and 4 loads fit the registers of SSE2 and AVX2).
constexpr std::size_t kTileRegisters = 4;
static_assert(kOuterProductRows % (kTileRegisters * kLanes) == 0);
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

template <class Isa>
[[gnu::always_inline]] inline void outer_products_kernel(const OuterJob& job) {
  using V = typename Isa::Register;
  constexpr std::size_t kTileRows = kTileRegisters * kRegisterLanes<Isa>;
  // Whole blocks of kOuterProductRows rows, as the header promises.
  const std::size_t rows = (job.rows + kOuterProductRows - 1) / kOuterProductRows * kOuterProductRows;
  for (std::size_t c0 = 0; c0 < job.columns; c0 += kOuterProductColumns) {
    for (std::size_t r0 = 0; r0 < rows; r0 += kTileRows) {
      V sums[kOuterProductColumns][kTileRegisters] = {};
      for (std::size_t j = 0; j < job.count; ++j) {
        V from[kTileRegisters];
        std::memcpy(&from, job.a + j * job.weight_stride + r0, sizeof from);
        const double* const scales = job.b + j * job.weight_stride + c0;
        for (std::size_t c = 0; c < kOuterProductColumns; ++c)
          for (std::size_t v = 0; v < kTileRegisters; ++v) sums[c][v] += scales[c] * from[v];
      }
      for (std::size_t c = 0; c < kOuterProductColumns; ++c) {
        double* const to = job.out + (c0 + c) * job.out_stride + r0;
        V now[kTileRegisters];
        std::memcpy(&now, to, sizeof now);
        for (std::size_t v = 0; v < kTileRegisters; ++v) now[v] += sums[c][v];
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
