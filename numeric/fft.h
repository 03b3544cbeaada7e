#pragma once
// A complex discrete Fourier transform of lengths 2^a 3^b 5^c (mixed-radix Stockham,
// decimation in frequency), for the Gaussian spectra (numeric/gaussian_spectrum.h).
//
// out[k] = sum_t in[t] exp(-2 pi i t k / N). Every length runs the same sequence of operations
// whatever the caller's threads, so a transform's bits depend only on its input and N. The
// twiddles exp(-2 pi i t / N) are tabulated once per plan from cos and sin of t / N reduced to
// the first octant, each within an ulp or so; the transform's rounding error is then the usual
// O(eps log N) relative to the input's 2-norm times sqrt(N).

#include <complex>
#include <cstddef>
#include <span>
#include <vector>

namespace orvex::numeric {

/// The smallest length >= n whose only prime factors are 2, 3 and 5 (n >= 1).
std::size_t fft_length_at_least(std::size_t n);

class FftPlan {
 public:
  /// A plan for length n (a 2^a 3^b 5^c number, n >= 1); throws std::invalid_argument otherwise.
  explicit FftPlan(std::size_t n);

  std::size_t size() const { return n_; }
  /// Transforms data in place; `work` is resized to n as scratch.
  void forward(std::span<std::complex<double>> data, std::vector<std::complex<double>>& work) const;

 private:
  std::size_t n_;
  std::vector<std::size_t> factors_;
  std::vector<std::complex<double>> twiddles_;  // exp(-2 pi i t / n), t < n
};

}  // namespace orvex::numeric
