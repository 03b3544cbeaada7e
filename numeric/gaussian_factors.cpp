#include "numeric/gaussian_factors.h"

#include <cstring>

#include "numeric/simd_kernels.h"

namespace orvex::numeric {

namespace {

// Keeps the lanes of `x` that fall inside out[i, n).
inline void store(const Doubles8& x, double* out, std::size_t i, std::size_t n) {
  if (i + kLanes <= n) {
    std::memcpy(out + i, &x, sizeof x);
  } else {
    for (std::size_t lane = 0; lane < n - i; ++lane) out[i + lane] = x[lane];
  }
}

template <class Isa>
[[gnu::always_inline]] inline void gaussian_factors_kernel(double origin, double q0, double direction,
                                                           double step, double mean, double scale,
                                                           std::span<double> out) {
  const Doubles8 lanes{0.0, 1.0, 2.0, 3.0, 4.0, 5.0, 6.0, 7.0};
  const std::size_t n = out.size();
  // Distances as the header states them; q is exact (whole and half-whole numbers below 2^52).
  const auto distance = [&](std::size_t i) __attribute__((always_inline)) {
    const Doubles8 q = q0 + direction * (static_cast<double>(i) + lanes);
    return (origin + q * step) - mean;
  };
  // Vectors of centres lie shift = 8 direction step apart. With u = d0 + m shift (d0 the
  // distances of a vector done exactly), e^(scale (u + shift)^2) = e^(scale u^2) g(u), where
  // g(u) = e^(scale (2 u shift + shift^2)) and g(u + shift) = g(u) e^(2 scale shift^2): two
  // products per vector instead of an exponential. The distances d differ from u by the
  // rounding of the centres, eta (a few ulps of the coordinates: not negligible beside a narrow
  // spread), so each value is taken as e^(scale u^2) (1 + scale eta (d + u)), which leaves out
  // only (scale eta (d + u))^2 / 2, far below an ulp.
  //
  // This runs only where step^2 <= v (= -1 / (2 scale)), and each run starts afresh after
  // kRun vectors. A window reaches at most 7.5 sd, so a run of m <= min(kRun, 2 sd / step + 1)
  // vectors has m |scale (2 u shift + shift^2)| <= 288 and m^2 |2 scale shift^2| <= 530; the
  // value at its end carries the exponentials' errors (1 ulp each plus their arguments'
  // rounding) times at most m and m^2 / 2 and m products' roundings: within 2e-13 of it.
  constexpr std::size_t kRun = 16;
  const double shift = static_cast<double>(kLanes) * direction * step;
  // A single vector (most narrow nodes) needs only its own exponentials.
  const bool recur = n > kLanes && step * step * (-2.0 * scale) <= 1.0;
  Doubles8 growth{};
  if (recur) growth = vector_exp<Isa>(Doubles8{} + 2.0 * scale * (shift * shift));
  Doubles8 d0{};
  Doubles8 f{};
  Doubles8 g{};
  for (std::size_t i = 0, m = 0; i < n; i += kLanes, ++m) {
    const Doubles8 d = distance(i);
    if (!recur || m % kRun == 0) {
      d0 = d;
      f = vector_exp<Isa>(scale * d * d);
      store(f, out.data(), i, n);
      if (recur && i + kLanes < n) g = vector_exp<Isa>(scale * (2.0 * d0 * shift + shift * shift));
      continue;
    }
    f = f * g;
    g = g * growth;
    const Doubles8 u = d0 + static_cast<double>(m % kRun) * shift;
    const Doubles8 eta = d - u;
    store(f * (1.0 + scale * eta * (d + u)), out.data(), i, n);
  }
}

ORVEX_SIMD_CLONES(gaussian_factors_at, gaussian_factors_kernel)

}  // namespace

void gaussian_factors(double origin, double q0, double direction, double step, double mean, double scale,
                      std::span<double> out, SimdLevel level) {
  gaussian_factors_at(level, origin, q0, direction, step, mean, scale, out);
}

}  // namespace orvex::numeric
