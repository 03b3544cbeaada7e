#include "numeric/vector_exp.h"

#include <cstring>

#include "numeric/simd_kernels.h"

namespace orvex::numeric {

namespace {

template <class Isa>
[[gnu::always_inline]] inline void exp_array_kernel(std::span<const double> in, std::span<double> out) {
  const std::size_t n = in.size();
  std::size_t i = 0;
  for (; i + kLanes <= n; i += kLanes) {
    Doubles8 v;
    std::memcpy(&v, in.data() + i, sizeof(v));
    v = vector_exp<Isa>(v);
    std::memcpy(out.data() + i, &v, sizeof(v));
  }
  if (i < n) {  // the tail through one padded vector, so that it gets the same bits
    Doubles8 v{};
    std::memcpy(&v, in.data() + i, (n - i) * sizeof(double));
    v = vector_exp<Isa>(v);
    std::memcpy(out.data() + i, &v, (n - i) * sizeof(double));
  }
}

ORVEX_SIMD_CLONES(exp_array_at, exp_array_kernel)

}  // namespace

void exp_array(std::span<const double> in, std::span<double> out, SimdLevel level) {
  exp_array_at(level, in, out);
}

}  // namespace orvex::numeric
