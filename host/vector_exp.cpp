#include "host/vector_exp.h"

#include <cmath>
#include <cstring>

namespace orvex::host {

namespace {

template <class V>
[[gnu::always_inline]] inline void ExpArrayKernel(std::span<const double> in, std::span<double> out) {
  constexpr std::size_t kWidth = kLanes<V>;
  const std::size_t n = in.size();
  std::size_t i = 0;
  for (; i + kWidth <= n; i += kWidth) {
    V v;
    std::memcpy(&v, in.data() + i, sizeof(V));
    v = VectorExp(v);
    std::memcpy(out.data() + i, &v, sizeof(V));
  }
  if (i < n) {  // the tail through one padded vector, so that it gets the same bits
    V v{};
    std::memcpy(&v, in.data() + i, (n - i) * sizeof(double));
    v = VectorExp(v);
    std::memcpy(out.data() + i, &v, (n - i) * sizeof(double));
  }
}

ORVEX_SIMD_CLONES(ExpArrayAt, ExpArrayKernel)

}  // namespace

void ExpArray(std::span<const double> in, std::span<double> out, SimdLevel level) {
  ExpArrayAt(level, in, out);
}

}  // namespace orvex::host
