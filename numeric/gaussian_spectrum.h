#pragma once
// Gaussian pair sums at small beta (wide kernels) from the power spectrum of the fixes.
//
// With phi(w) = sum_j exp(i w . x_j), for beta > 0 (Fourier transform of a Gaussian):
//   S_0(beta) = sum_{i,j} e^{-beta |x_i - x_j|^2} = 1 / (4 pi beta) Int e^{-t} |phi(w)|^2 dw,
//   t = |w|^2 / (4 beta),
// every ordered pair (i, j), i = j included. Differentiating in beta (x = beta d^2):
//   sum x e^{-x} = -beta dS_0/dbeta  has weight (1 - t) e^{-t},
//   sum x^2 e^{-x}                  has weight (t^2 - 4 t + 2) e^{-t},
// so the BCV2 pair term e^{-x} (4 x^2 - 16 x + 8) has the positive weight 4 t^2 e^{-t}.
//
// Quadrature. The trapezoid rule on the frequencies w = (k1 Dx, k2 Dy), D = 2 pi / L, gives by
// Poisson summation exactly the periodised sum sum_{i,j} sum_m e^{-beta |x_i - x_j + (m1 Lx,
// m2 Ly)|^2}. With L = extent + R on each axis, every image m != 0 lies at least |m| R away, so
// the images add at most n^2 ((1 + 2 q / (1 - q))^2 - 1) ~ 4 n^2 q, q = e^{-beta_min R^2}
// (with the polynomial factor (x^2 + 4x + 2) for the BCV2 terms); R is chosen so that this is
// below eps * n <= eps * S_0 (S_0 >= n from the diagonal). The frequencies are cut at |k1| <=
// Kx, |k2| <= Ky where t = D^2 K^2 / (4 beta_max) = t_K: the weights left out sum to at most
// erfc(sqrt(t_K)) (1 + D / sqrt(4 pi beta)) per axis, times (t_K + 2)^2 for the BCV2
// polynomial, times n^2; t_K makes that below eps * n as well.
//
// Spectrum. |phi|^2 on the (2K+1)^2 frequencies comes from one type-1 non-uniform FFT: each
// fix is spread onto a grid of Nx x Ny >= 2 (2K + 1) cells (spacing L / N, no wrap-around: the
// fixes lie at least W + 1 cells from both ends) with the Gaussian g(u) = e^{-u^2 / (4 tau)}
// (u in cells) truncated at |u| <= W + 1/2, the grid is transformed (numeric/fft.h; a real grid,
// two rows per complex transform; only the modes |k| <= K kept), and each mode divided by the
// kernel's transform ghat(xi) = sqrt(4 pi tau) e^{-tau xi^2}, xi = 2 pi k / N. Relative to
// ghat(0) per axis, the aliased modes add at most 2.1 e^{-tau (2 pi (N - K) / N)^2} <= 2.1
// e^{-22.2 tau} (N >= 4K + 2) and the truncation 2.1 e^{-(W + 1/2)^2 / (4 tau)}; with
// kSpreadHalfWidth W = 16 and tau = (W + 1/2) / 9.42 both are below 1e-16 (eta). The error e_k of
// phi at mode k is then at most n eta_2 A_k, eta_2 = 2 eta (1 + eta), A_k = ghat(0)^2 /
// (ghat(k1) ghat(k2)) the deconvolution's growth (at most e^{2.47 tau} per axis).
//
// Error of a sum. With positive weights v_k (S_w = sum v_k |phi_k|^2), Cauchy-Schwarz gives
//   |S_w(computed) - S_w| <= 2 sqrt(S_w) E + E^2,  E^2 = sum_k v_k |e_k|^2 <= n^2 eta_2^2 C,
// C = sum_k v_k A_k^2, computed for each beta (the weights fall faster than A_k^2 grows: 8 beta
// tau (L / N)^2 < 1 is checked), so the relative error of S_0 is at most 2 eta_2 sqrt(C) n /
// sqrt(S_0) + eta_2^2 C n^2 / S_0 <= 2 eta_2 sqrt(C n) + ..., a few 1e-13 at a million fixes.
// Rounding adds the transform's: |dF|_2 <= 5 eps_mach (log2 Nx + log2 Ny) sqrt(Nx Ny) |f|_2 for
// the grid f (and a few ulps per spread term); its share of E is bounded with max_k v_k A_k^2
// and the grid's 2-norm, measured at build time (an estimate in the usual rounding model, in
// which the rounding errors of the sums do not all share a sign). The stated error of a sum
// is the sum of these bounds.
//
// Determinism: the fixes are spread in a fixed order by strips of grid rows (each strip owns its
// rows), the transforms of rows and columns are independent, and each weighted sum runs in one
// fixed order: the same bits on any number of threads.

#include <cstddef>
#include <optional>
#include <span>
#include <vector>

namespace orvex::numeric {

/// Ordered-pair sums (all i, j; i = j included), x = beta d^2, with bounds on their errors.
struct OrderedGaussianSums {
  double s0 = 0.0;         // sum e^{-x}
  double bcv = 0.0;        // sum e^{-x} (4 x^2 - 16 x + 8)
  double s0_error = 0.0;   // |computed - exact| <= s0_error
  double bcv_error = 0.0;  // likewise for bcv
};

class GaussianSpectrum {
 public:
  /// Half-width of the spreading kernel, in grid cells.
  static constexpr int kSpreadHalfWidth = 16;

  /// Sizes of a spectrum for beta in [beta_min, beta_max] with truncation bounds eps * n.
  struct Plan {
    double lx = 0.0, ly = 0.0;        // periods
    double x0 = 0.0, y0 = 0.0;        // grid origin
    double gap_x = 0.0, gap_y = 0.0;  // period minus extent: the nearest image of a pair
    std::size_t kx = 0, ky = 0, nx = 0, ny = 0;
    double beta_min = 0.0, beta_max = 0.0;
    double t_cut = 0.0;  // t_K
    /// Peak bytes of a build.
    double bytes() const;
  };
  /// nullopt for fewer than 2 fixes, a non-finite or non-positive beta range, or a grid side
  /// beyond 2^28 cells.
  static std::optional<Plan> plan(std::span<const double> x, std::span<const double> y, double beta_min,
                                  double beta_max, double eps);

  /// The spectrum of the fixes for `plan` (threads: 0 = one per hardware thread; the result
  /// does not depend on it). Throws std::bad_alloc when the grid does not fit.
  static GaussianSpectrum build(std::span<const double> x, std::span<const double> y, const Plan& plan,
                                unsigned threads);

  /// The sums at beta within the plan's range.
  OrderedGaussianSums sums(double beta) const;

 private:
  GaussianSpectrum() = default;
  Plan plan_;
  double n_ = 0.0;
  double tau_ = 0.0;
  double eta2_ = 0.0;             // approximation bound per unit n A_k
  double rounding_ = 0.0;         // bound on the 2-norm of the rounding error of the modes
  std::vector<double> power_;     // (kx + 1) x (ky + 1), folded over the signs of k1, k2
  std::vector<double> growth_x_;  // A per axis, k = 0 .. K
  std::vector<double> growth_y_;
};

}  // namespace orvex::numeric
