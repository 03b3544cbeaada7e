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
// erfc(sqrt(t_K)) (1 + D / sqrt(4 pi beta)) per axis (the sum beyond K below the integral),
// times 8 ((t_K + 2)^2 + 1) for the BCV2 weight, times n^2; t_K makes that below eps * n too.
// (Both bounds are evaluated again at each beta asked for and added to its stated error.)
//
// Spectrum. |phi|^2 on the (2K+1)^2 frequencies comes from one type-1 non-uniform FFT: each
// fix is spread onto a grid of Nx x Ny >= 4K + 2 cells a side (spacing L / N; the fixes lie
// at least W + 1 cells from both ends, so nothing wraps around) with the Gaussian g(u) =
// e^{-u^2 / (4 tau)} (u in cells) truncated at |u| <= W + 1/2; each row is transformed
// (numeric/fft.h; two real rows per complex transform, a strip of rows at a time so that the
// whole grid is never held; only the modes 0 .. K kept), then each kept column; each mode is
// divided by the kernel's transform ghat(xi) = sqrt(4 pi tau) e^{-tau xi^2}, xi = 2 pi k / N.
// Relative to ghat(0) per axis, the aliased modes add at most 2.1 e^{-tau (2 pi (N - K) / N)^2}
// <= 2.1 e^{-22.2 tau} (as N >= 4K + 2) and the truncation at most 2.1 e^{-(W + 1/2)^2 /
// (4 tau)}; with kSpreadHalfWidth W = 16 and tau = (W + 1/2) / 9.42 both are below 1e-16 (eta).
// The error e_k of phi at mode k is then at most n eta_2 A_k, eta_2 = 2 eta (1 + eta), where
// A_k = ghat(0)^2 / (ghat(k1) ghat(k2)) is the deconvolution's growth (at most e^{2.47 tau} =
// e^{4.3} per axis).
//
// Error of a sum. A sum is S_w = sum_k v_k |phi_k|^2 with positive weights v_k (e^{-t} or
// 4 t^2 e^{-t}, times Dx Dy / (4 pi beta)). By Cauchy-Schwarz
//   |S_w(computed) - S_w| <= 2 sqrt(S_w) E + E^2,   E = sqrt(sum_k v_k |e_k|^2),
// and sqrt(S_w) <= E + sqrt(S_w(computed) + 2 E^2). The approximation's share of E is at most
// n eta_2 sqrt(C), C = sum_k v_k A_k^2, computed exactly for each beta (one pass per axis):
// relative to S_0 >= n this is 2 eta_2 sqrt(C n) (C ~ 1), below 1e-12 for a million fixes.
// Rounding: the transform's error has 2-norm at most 5 eps_mach (log2 Nx + log2 Ny) sqrt(Nx Ny)
// |f|_2 over the grid f (the usual bound for these transforms; |f|_2 is summed while
// spreading), and its share of E is at most that times sqrt(max_k v_k A_k^2) / ghat(0)^2 (both
// halves of the folded spectrum). The spreading rounds each grid term to a few ulps; over the
// many terms of a cell these errors are taken as the usual rounding model has them (not all of
// one sign): this share is not bounded separately. The frequencies cut and the images add the
// bounds above, computed at the beta asked for. The stated error of a sum is the total.
//
// Repeated positions: a fix of weight w is spread once with its kernel times w, which is the
// spectrum of w fixes there; every bound above holds with n the total weight.
//
// Determinism: the fixes are spread in a fixed order (by grid row, ties in input order) by
// strips of grid rows (each strip owns its rows), the transforms of rows and columns are
// independent, and each weighted sum runs in one fixed order: the same bits on any number of
// threads.

#include <cstddef>
#include <functional>
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
  /// does not depend on it). With `weights` (one per fix, whole numbers) fix j stands for
  /// weights[j] fixes at its position (phi sums weights[j] exp(i w . x_j); n is their total, and
  /// the plan must have been made for that n); empty weights count each fix once. `progress`
  /// hears the fraction done after each group of grid strips and of columns; when it returns
  /// false the build stops and returns nullopt. Throws std::bad_alloc when the grid does not fit.
  static std::optional<GaussianSpectrum> build(std::span<const double> x, std::span<const double> y,
                                               const Plan& plan, unsigned threads,
                                               const std::function<bool(double)>& progress = {},
                                               std::span<const double> weights = {});

  /// The sums at beta within the plan's range.
  OrderedGaussianSums sums(double beta) const;

 private:
  GaussianSpectrum() = default;
  Plan plan_;
  double n_ = 0.0;
  double eta2_ = 0.0;             // approximation bound per unit n A_k
  double rounding_ = 0.0;         // bound on the 2-norm of the rounding error of the modes
  std::vector<double> power_;     // (kx + 1) x (ky + 1), folded over the signs of k1, k2
  std::vector<double> growth_x_;  // A per axis, k = 0 .. K
  std::vector<double> growth_y_;
};

}  // namespace orvex::numeric
