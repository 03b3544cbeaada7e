#include "numeric/grid_scaling.h"

#include <cstring>

#include "numeric/simd_kernels.h"

namespace orvex::numeric {

namespace {

template <class Isa>
[[gnu::always_inline]] inline double scale_and_sum_kernel(std::span<double> values, double factor,
                                                          double first_divisor, double second_divisor) {
  Doubles8 sums{};
  const std::size_t vectors = values.size() / kLanes;
  for (std::size_t q = 0; q < vectors; ++q) {
    Doubles8 v;
    std::memcpy(&v, values.data() + q * kLanes, sizeof(v));
    v = v * factor / first_divisor / second_divisor;
    std::memcpy(values.data() + q * kLanes, &v, sizeof(v));
    sums += v;
  }
  double lanes[kLanes];
  std::memcpy(lanes, &sums, sizeof lanes);
  for (std::size_t i = vectors * kLanes; i < values.size(); ++i) {
    values[i] = values[i] * factor / first_divisor / second_divisor;
    lanes[i % kLanes] += values[i];
  }
  double total = 0.0;
  for (const double lane : lanes) total += lane;
  return total;
}

ORVEX_SIMD_CLONES(scale_and_sum_at, scale_and_sum_kernel)

}  // namespace

double scale_and_sum(std::span<double> values, double factor, double first_divisor, double second_divisor,
                     SimdLevel level) {
  return scale_and_sum_at(level, values, factor, first_divisor, second_divisor);
}

}  // namespace orvex::numeric
