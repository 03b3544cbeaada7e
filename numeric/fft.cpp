#include "numeric/fft.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <stdexcept>
#include <tuple>
#include <utility>

namespace orvex::numeric {

namespace {

using Complex = std::complex<double>;

// exp(-2 pi i t / n) with the angle reduced to [0, pi / 4] so that cos and sin see small
// arguments (the symmetries are exact).
Complex root(std::size_t t, std::size_t n) {
  // The angle 2 pi t / n is pi / 4 (octant + r), r in [0, 1); a and b are its distances to the
  // octant's two ends, each at most pi / 4.
  const std::size_t eight_t = 8 * t;
  const std::size_t octant = eight_t / n;
  const double r = static_cast<double>(eight_t - octant * n) / static_cast<double>(n);  // [0, 1)
  auto cs = [](double a) { return std::pair{std::cos(a), std::sin(a)}; };
  double c = 0.0;
  double s = 0.0;
  const double quarter = std::numbers::pi / 4.0;
  const double a = quarter * r;
  const double b = quarter * (1.0 - r);
  switch (octant) {
    case 0:
      std::tie(c, s) = cs(a);
      break;
    case 1: {
      auto [cb, sb] = cs(b);
      c = sb;
      s = cb;
      break;
    }
    case 2: {
      auto [ca, sa] = cs(a);
      c = -sa;
      s = ca;
      break;
    }
    case 3: {
      auto [cb, sb] = cs(b);
      c = -cb;
      s = sb;
      break;
    }
    case 4: {
      auto [ca, sa] = cs(a);
      c = -ca;
      s = -sa;
      break;
    }
    case 5: {
      auto [cb, sb] = cs(b);
      c = -sb;
      s = -cb;
      break;
    }
    case 6: {
      auto [ca, sa] = cs(a);
      c = sa;
      s = -ca;
      break;
    }
    default: {
      auto [cb, sb] = cs(b);
      c = cb;
      s = -sb;
      break;
    }
  }
  return {c, -s};
}

// The plain complex product (std::complex's operator* also repairs infinities and NaNs, which
// the transform never meets, through a slow library call).
inline Complex mul(Complex a, Complex b) {
  return {a.real() * b.real() - a.imag() * b.imag(), a.real() * b.imag() + a.imag() * b.real()};
}

}  // namespace

std::size_t fft_length_at_least(std::size_t n) {
  for (std::size_t m = std::max<std::size_t>(n, 1);; ++m) {
    std::size_t r = m;
    for (const std::size_t p : {2, 3, 5}) {
      while (r % p == 0) r /= p;
    }
    if (r == 1) return m;
  }
}

FftPlan::FftPlan(std::size_t n) : n_(n) {
  if (n == 0) throw std::invalid_argument("FFT length 0");
  std::size_t r = n;
  while (r % 4 == 0) factors_.push_back(4), r /= 4;
  for (const std::size_t p : {2, 3, 5}) {
    while (r % p == 0) factors_.push_back(p), r /= p;
  }
  if (r != 1) throw std::invalid_argument("FFT length with a prime factor above 5");
  twiddles_.resize(n);
  for (std::size_t t = 0; t < n; ++t) twiddles_[t] = root(t, n);
}

void FftPlan::forward(std::span<Complex> data, std::vector<Complex>& work) const {
  const std::size_t n = n_;
  work.resize(n);
  Complex* x = data.data();
  Complex* y = work.data();
  std::size_t m = 1;  // length of the sub-transforms already done
  for (const std::size_t p : factors_) {
    const std::size_t l = n / (m * p);
    const std::size_t step = n / (l * p);  // twiddle index step for w = exp(-2 pi i / (l p))
    const std::size_t pstep = n / p;       // root of unity of order p
    Complex roots[5][5];                   // roots[t][q] = exp(-2 pi i t q / p)
    for (std::size_t t = 0; t < p; ++t) {
      for (std::size_t q = 0; q < p; ++q) roots[t][q] = twiddles_[((t * q) % p) * pstep];
    }
    const double sin60 = -roots[1][1].imag();  // for p = 3: sin(2 pi / 3)
    for (std::size_t j = 0; j < l; ++j) {
      Complex w[5];  // w^q, q j step < n
      for (std::size_t q = 1; q < p; ++q) w[q] = twiddles_[q * j * step];
      const Complex* in = x + j * m;
      Complex* out = y + j * p * m;
      for (std::size_t k = 0; k < m; ++k) {
        Complex c[5];
        for (std::size_t q = 0; q < p; ++q) c[q] = in[k + q * l * m];
        Complex d[5];
        if (p == 2) {
          d[0] = c[0] + c[1];
          d[1] = c[0] - c[1];
        } else if (p == 4) {
          const Complex s02 = c[0] + c[2], d02 = c[0] - c[2];
          const Complex s13 = c[1] + c[3], d13 = c[1] - c[3];
          const Complex md13{d13.imag(), -d13.real()};  // -i d13
          d[0] = s02 + s13;
          d[1] = d02 + md13;
          d[2] = s02 - s13;
          d[3] = d02 - md13;
        } else if (p == 3) {
          const Complex t1 = c[1] + c[2];
          const Complex t2 = c[0] - 0.5 * t1;
          const Complex t3 = sin60 * (c[1] - c[2]);
          const Complex mt3{t3.imag(), -t3.real()};  // -i t3
          d[0] = c[0] + t1;
          d[1] = t2 + mt3;
          d[2] = t2 - mt3;
        } else {
          for (std::size_t q = 0; q < p; ++q) {
            Complex sum = c[0];
            for (std::size_t t = 1; t < p; ++t) sum += mul(c[t], roots[t][q]);
            d[q] = sum;
          }
        }
        out[k] = d[0];
        for (std::size_t q = 1; q < p; ++q) out[k + q * m] = j == 0 ? d[q] : mul(d[q], w[q]);
      }
    }
    m *= p;
    std::swap(x, y);
  }
  if (x != data.data()) std::copy(x, x + n, data.data());
}

}  // namespace orvex::numeric
