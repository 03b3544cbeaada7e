#include "numeric/gaussian_spectrum.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <limits>
#include <numbers>
#include <numeric>

#include "numeric/fft.h"
#include "numeric/fixed_chunks.h"

namespace orvex::numeric {

namespace {

using Complex = std::complex<double>;
constexpr double kPi = std::numbers::pi;
constexpr int kW = GaussianSpectrum::kSpreadHalfWidth;
// Kernel width tau = (W + 1/2) / 9.42 balances aliasing e^{-22.2 tau} and truncation
// e^{-(W + 1/2)^2 / (4 tau)} (see the header).
constexpr double kTau = (kW + 0.5) / 9.42;
// Per-axis approximation bound eta (aliasing plus truncation, relative to ghat(0)).
double spread_eta() {
  return 2.1 * std::exp(-22.2 * kTau) + 2.1 * std::exp(-(kW + 0.5) * (kW + 0.5) / (4.0 * kTau));
}
// The transform's rounding constant (see the header).
constexpr double kFftRounding = 5.0;
// Grid side limit (cells).
constexpr double kMaxSide = 0x1p28;
// Grid rows per strip (spread and transformed together; even, so row pairs stay in a strip),
// and columns per chunk of the column transforms.
constexpr std::size_t kStripRows = 32;
constexpr std::size_t kLinesPerChunk = 16;
// Strips, and column chunks, run together between two progress reports (never depends on the
// thread count); the rows' share of the build's work (spreading and the longer set of
// transforms) in the fraction reported.
constexpr std::size_t kStripsPerGroup = 16;
constexpr std::size_t kColumnChunksPerGroup = 16;
constexpr double kRowShare = 0.75;

// The smallest x >= 2 with (x^2 + 4 x + 2) e^{-x} <= c: the BCV2 polynomial's factor bounds
// every term's (|4x^2 - 16x + 8| + 8) e^{-x} / 8 ... and e^{-x} alone.
double tail_argument(double c) {
  double x = std::max(2.0, -std::log(c));
  for (int i = 0; i < 60; ++i) x = std::max(2.0, -std::log(c) + std::log(x * x + 4.0 * x + 2.0));
  return x;
}

// The smallest t with 8 ((t + 2)^2 + 1) erfc(sqrt t) <= c.
double cut_argument(double c) {
  double t = 1.0;
  while (8.0 * ((t + 2.0) * (t + 2.0) + 1.0) * std::erfc(std::sqrt(t)) > c) t += 0.25;
  return t;
}

// Sum over k in Z of e^{-beta (|k| R)^2 ...}: 1 + 2 q / (1 - q) bounds sum_m q^{m^2}.
double image_factor(double q) { return 1.0 + 2.0 * q / (1.0 - std::min(q, 0.5)); }

}  // namespace

double GaussianSpectrum::Plan::bytes() const {
  // The kept modes of every row, the folded spectrum, and a strip and its transform per thread
  // (up to the cap on worker threads).
  return 16.0 * static_cast<double>(ny) * static_cast<double>(kx + 1) +
         8.0 * static_cast<double>(kx + 1) * static_cast<double>(ky + 1) +
         16.0 * (8.0 * static_cast<double>(kStripRows) + 32.0) * static_cast<double>(nx);
}

std::optional<GaussianSpectrum::Plan> GaussianSpectrum::plan(std::span<const double> x,
                                                             std::span<const double> y, double beta_min,
                                                             double beta_max, double eps) {
  if (x.size() < 2 || !(beta_min > 0.0) || !(beta_max >= beta_min) || !std::isfinite(beta_max)) {
    return std::nullopt;
  }
  const double n = static_cast<double>(x.size());
  const auto [xMin, xMax] = std::minmax_element(x.begin(), x.end());
  const auto [yMin, yMax] = std::minmax_element(y.begin(), y.end());
  Plan p;
  p.beta_min = beta_min;
  p.beta_max = beta_max;
  // Images: 4 n^2 q (x^2 + 4x + 2) <= eps n; cut: n^2 8 ((t+2)^2 + 1) erfc(sqrt t) <= eps n.
  const double reach = std::sqrt(tail_argument(eps / (4.0 * n)) / beta_min);
  p.t_cut = cut_argument(eps / n);
  auto axis = [&](double lo, double hi, double& period, double& origin, std::size_t& k, std::size_t& cells,
                  double& gap) {
    const double extent = hi - lo;
    period = extent + reach;
    for (int round = 0; round < 2; ++round) {
      const double d = 2.0 * kPi / period;
      const double kk = std::ceil(2.0 * std::sqrt(beta_max * p.t_cut) / d);
      if (!(kk < kMaxSide / 4.0)) return false;
      k = static_cast<std::size_t>(kk);
      cells = fft_length_at_least(4 * k + 2);
      // The fixes stay W + 1 cells clear of both ends (no wrap-around in the spreading).
      const double margin = 2.0 * (kW + 2) * period / static_cast<double>(cells);
      if (period - extent >= margin) break;
      period = extent + std::max(reach, margin);
    }
    const double margin = 2.0 * (kW + 2) * period / static_cast<double>(cells);
    if (period - extent < margin) return false;
    origin = lo - (period - extent) / 2.0;
    gap = period - extent;
    return true;
  };
  if (!axis(*xMin, *xMax, p.lx, p.x0, p.kx, p.nx, p.gap_x) ||
      !axis(*yMin, *yMax, p.ly, p.y0, p.ky, p.ny, p.gap_y)) {
    return std::nullopt;
  }
  return p;
}

namespace {

// The fixes in grid units, ordered by their nearest grid row (ties in input order).
struct GridFixes {
  std::vector<double> u, v, w;
  std::vector<std::ptrdiff_t> rows;  // nearest row of each fix, in order
};

GridFixes grid_fixes(std::span<const double> x, std::span<const double> y, std::span<const double> weights,
                     const GaussianSpectrum::Plan& p) {
  const std::size_t n = x.size();
  const double sx = static_cast<double>(p.nx) / p.lx;
  const double sy = static_cast<double>(p.ny) / p.ly;
  std::vector<std::pair<std::ptrdiff_t, std::size_t>> order(n);
  for (std::size_t j = 0; j < n; ++j) order[j] = {std::lround((y[j] - p.y0) * sy), j};
  std::sort(order.begin(), order.end());
  GridFixes g;
  g.u.resize(n);
  g.v.resize(n);
  g.w.resize(n);
  g.rows.resize(n);
  for (std::size_t k = 0; k < n; ++k) {
    const std::size_t j = order[k].second;
    g.u[k] = (x[j] - p.x0) * sx;
    g.v[k] = (y[j] - p.y0) * sy;
    g.w[k] = weights.empty() ? 1.0 : weights[j];
    g.rows[k] = order[k].first;
  }
  return g;
}

// Spreads the fixes onto grid rows [first, end) (row-major, nx per row; the buffer is cleared
// first), each fix in order: every cell's sum is formed in the same order whatever the strip
// boundaries' threads.
void spread_strip(const GridFixes& g, std::size_t nx, std::ptrdiff_t first, std::ptrdiff_t end,
                  std::vector<double>& strip) {
  strip.assign(static_cast<std::size_t>(end - first) * nx, 0.0);
  const double inv4tau = 1.0 / (4.0 * kTau);
  const auto lo = std::lower_bound(g.rows.begin(), g.rows.end(), first - kW);
  const auto hi = std::lower_bound(g.rows.begin(), g.rows.end(), end + kW);
  double wx[2 * kW + 1];
  for (auto it = lo; it != hi; ++it) {
    const auto j = static_cast<std::size_t>(it - g.rows.begin());
    const std::ptrdiff_t ry = *it;
    const auto rx = static_cast<std::ptrdiff_t>(std::lround(g.u[j]));
    for (int l = -kW; l <= kW; ++l) {
      const double d = g.u[j] - static_cast<double>(rx + l);
      wx[l + kW] = std::exp(-d * d * inv4tau);
    }
    const std::ptrdiff_t r0 = std::max(first, ry - kW);
    const std::ptrdiff_t r1 = std::min(end, ry + kW + 1);
    for (std::ptrdiff_t r = r0; r < r1; ++r) {
      const double d = g.v[j] - static_cast<double>(r);
      const double wy = g.w[j] * std::exp(-d * d * inv4tau);
      double* line =
          strip.data() + static_cast<std::size_t>(r - first) * nx + static_cast<std::size_t>(rx - kW);
      for (int l = 0; l <= 2 * kW; ++l) line[l] += wy * wx[l];
    }
  }
}

// Rows, a strip at a time: spread, then two real rows per complex transform, the modes 0 .. kx
// of each kept (ny x (kx + 1)). The whole grid is never held. Adds the grid's squared 2-norm to
// `grid_norm2`; nullopt when `progress` stops the pass.
std::optional<std::vector<Complex>> transform_rows(const GridFixes& fixes, const GaussianSpectrum::Plan& plan,
                                                   unsigned threads,
                                                   const std::function<bool(double)>& progress,
                                                   double& grid_norm2) {
  const std::size_t nx = plan.nx, ny = plan.ny, kx = plan.kx;
  std::vector<Complex> rows(ny * (kx + 1));
  const FftPlan fft(nx);
  const std::size_t strips = (ny + kStripRows - 1) / kStripRows;
  std::vector<double> strip_norm2(strips, 0.0);
  const auto spread_and_transform = [&](std::size_t s) {
    const std::size_t first = s * kStripRows, end = std::min(ny, first + kStripRows);
    std::vector<double> strip;
    spread_strip(fixes, nx, static_cast<std::ptrdiff_t>(first), static_cast<std::ptrdiff_t>(end), strip);
    for (const double f : strip) strip_norm2[s] += f * f;
    std::vector<Complex> z(nx), work;
    for (std::size_t ra = first; ra < end; ra += 2) {
      const std::size_t rb = ra + 1;
      const double* a = strip.data() + (ra - first) * nx;
      const double* b = rb < end ? strip.data() + (rb - first) * nx : nullptr;
      for (std::size_t t = 0; t < nx; ++t) z[t] = Complex(a[t], b ? b[t] : 0.0);
      fft.forward(z, work);
      for (std::size_t k = 0; k <= kx; ++k) {
        const Complex zk = z[k];
        const Complex zc = std::conj(z[(nx - k) % nx]);
        rows[ra * (kx + 1) + k] = 0.5 * (zk + zc);
        if (b) {
          const Complex dz = zk - zc;  // times -i / 2
          rows[rb * (kx + 1) + k] = Complex(0.5 * dz.imag(), -0.5 * dz.real());
        }
      }
    }
  };
  for (std::size_t first = 0; first < strips; first += kStripsPerGroup) {
    const std::size_t count = std::min(kStripsPerGroup, strips - first);
    run_fixed_chunks(count, threads, [&](std::size_t k) { spread_and_transform(first + k); });
    const double done = static_cast<double>(first + count) / static_cast<double>(strips);
    if (progress && !progress(kRowShare * done)) return std::nullopt;
  }
  for (const double v : strip_norm2) grid_norm2 += v;
  return rows;
}

}  // namespace

std::optional<GaussianSpectrum> GaussianSpectrum::build(std::span<const double> x, std::span<const double> y,
                                                        const Plan& plan, unsigned threads,
                                                        const std::function<bool(double)>& progress,
                                                        std::span<const double> weights) {
  GaussianSpectrum g;
  g.plan_ = plan;
  g.n_ =
      weights.empty() ? static_cast<double>(x.size()) : std::accumulate(weights.begin(), weights.end(), 0.0);
  const double eta = spread_eta();
  g.eta2_ = 2.0 * eta * (1.0 + eta);
  const std::size_t nx = plan.nx, ny = plan.ny, kx = plan.kx, ky = plan.ky;

  double grid_norm2 = 0.0;
  const std::optional<std::vector<Complex>> transformed_rows =
      transform_rows(grid_fixes(x, y, weights, plan), plan, threads, progress, grid_norm2);
  if (!transformed_rows) return std::nullopt;
  const std::vector<Complex>& rows = *transformed_rows;

  // Growth of the deconvolution per axis: A(k) = e^{tau (2 pi k / N)^2}.
  auto growth = [](std::size_t k_max, std::size_t cells) {
    std::vector<double> a(k_max + 1);
    for (std::size_t k = 0; k <= k_max; ++k) {
      const double xi = 2.0 * kPi * static_cast<double>(k) / static_cast<double>(cells);
      a[k] = std::exp(kTau * xi * xi);
    }
    return a;
  };
  g.growth_x_ = growth(kx, nx);
  g.growth_y_ = growth(ky, ny);
  const double ghat0_2 = 4.0 * kPi * kTau;  // ghat(0)^2 per axis
  const double scale = 1.0 / (ghat0_2 * ghat0_2);

  // Columns: the modes -ky .. ky of each kept column, folded over the signs (see the header).
  g.power_.assign((kx + 1) * (ky + 1), 0.0);
  const FftPlan fft(ny);
  const std::size_t chunks = (kx + 1 + kLinesPerChunk - 1) / kLinesPerChunk;
  const auto transform_columns = [&](std::size_t c) {
    std::vector<Complex> z(ny), work;
    for (std::size_t k1 = c * kLinesPerChunk; k1 < std::min(kx + 1, (c + 1) * kLinesPerChunk); ++k1) {
      for (std::size_t r = 0; r < ny; ++r) z[r] = rows[r * (kx + 1) + k1];
      fft.forward(z, work);
      const double ax = g.growth_x_[k1] * g.growth_x_[k1] * (k1 == 0 ? 1.0 : 2.0) * scale;
      for (std::size_t k2 = 0; k2 <= ky; ++k2) {
        double p2 = std::norm(z[k2]);
        if (k2 > 0) p2 += std::norm(z[ny - k2]);
        g.power_[k2 * (kx + 1) + k1] = p2 * ax * g.growth_y_[k2] * g.growth_y_[k2];
      }
    }
  };
  for (std::size_t first = 0; first < chunks; first += kColumnChunksPerGroup) {
    const std::size_t count = std::min(kColumnChunksPerGroup, chunks - first);
    run_fixed_chunks(count, threads, [&](std::size_t k) { transform_columns(first + k); });
    const double done = static_cast<double>(first + count) / static_cast<double>(chunks);
    if (progress && !progress(kRowShare + (1.0 - kRowShare) * done)) return std::nullopt;
  }
  // 2-norm of the modes' rounding error over ghat(0)^2 (see the header), both folded halves.
  const double levels = std::log2(static_cast<double>(nx)) + std::log2(static_cast<double>(ny));
  g.rounding_ = std::sqrt(2.0) * kFftRounding * std::numeric_limits<double>::epsilon() * levels *
                std::sqrt(static_cast<double>(nx) * static_cast<double>(ny) * grid_norm2) / ghat0_2;
  return g;
}

OrderedGaussianSums GaussianSpectrum::sums(double beta) const {
  const Plan& p = plan_;
  const double dx = 2.0 * kPi / p.lx, dy = 2.0 * kPi / p.ly;
  const double pref = dx * dy / (4.0 * kPi * beta);
  // Per-axis weights e^{-t}, t e^{-t}, t^2 e^{-t} up to the cut for this beta, and the
  // sums that bound the error.
  struct Axis {
    std::vector<double> a, b, c;
    double m[3] = {0, 0, 0};          // sum mult t^m e^{-t} A^2
    double peak0 = 0.0, peak2 = 0.0;  // max e^{-t} A^2, max (1 + t)^2 e^{-t} A^2
    double tail = 0.0;                // erfc bound of the frequencies cut
  };
  auto axis = [&](double d, std::size_t k_max, const std::vector<double>& growth) {
    Axis ax;
    const double c = d * d / (4.0 * beta);
    const auto k_cut = static_cast<std::size_t>(std::ceil(std::sqrt(p.t_cut / c)));
    const std::size_t k_end = std::min(k_max, k_cut);
    for (std::size_t k = 0; k <= k_end; ++k) {
      const double t = c * static_cast<double>(k) * static_cast<double>(k);
      const double e = std::exp(-t);
      ax.a.push_back(e);
      ax.b.push_back(t * e);
      ax.c.push_back(t * t * e);
      const double mult = k == 0 ? 1.0 : 2.0;
      const double a2 = growth[k] * growth[k] * e;
      ax.m[0] += mult * a2;
      ax.m[1] += mult * t * a2;
      ax.m[2] += mult * t * t * a2;
      ax.peak0 = std::max(ax.peak0, a2);
      ax.peak2 = std::max(ax.peak2, (1.0 + t) * (1.0 + t) * a2);
    }
    ax.tail = std::erfc(static_cast<double>(k_end) * std::sqrt(c));
    return ax;
  };
  const Axis ax = axis(dx, p.kx, growth_x_);
  const Axis ay = axis(dy, p.ky, growth_y_);

  double e0 = 0.0, t2 = 0.0;
  for (std::size_t k2 = 0; k2 < ay.a.size(); ++k2) {
    const double* row = power_.data() + k2 * (p.kx + 1);
    double r0 = 0.0, r1 = 0.0, r2 = 0.0;
    for (std::size_t k1 = 0; k1 < ax.a.size(); ++k1) {
      r0 += ax.a[k1] * row[k1];
      r1 += ax.b[k1] * row[k1];
      r2 += ax.c[k1] * row[k1];
    }
    e0 += ay.a[k2] * r0;
    t2 += ay.a[k2] * r2 + 2.0 * ay.b[k2] * r1 + ay.c[k2] * r0;
  }
  OrderedGaussianSums s;
  s.s0 = pref * e0;
  s.bcv = 4.0 * pref * t2;

  // Error bounds: approximation and rounding of the modes (Cauchy-Schwarz), images, cut.
  const double n = n_;
  const double c0 = pref * ax.m[0] * ay.m[0];
  const double cb = 4.0 * pref * (ax.m[2] * ay.m[0] + 2.0 * ax.m[1] * ay.m[1] + ax.m[0] * ay.m[2]);
  const double r_0 = std::sqrt(pref * ax.peak0 * ay.peak0) * rounding_;
  const double r_b = std::sqrt(4.0 * pref * ax.peak2 * ay.peak2) * rounding_;
  const double err0 = n * eta2_ * std::sqrt(c0) + r_0;
  const double errb = n * eta2_ * std::sqrt(cb) + r_b;
  // |dS| <= 2 sqrt(S) E + E^2 with sqrt(S) <= E + sqrt(S_computed + 2 E^2).
  auto cauchy_schwarz = [](double computed, double e) {
    return 2.0 * e * (e + std::sqrt(std::max(computed, 0.0) + 2.0 * e * e)) + e * e;
  };
  s.s0_error = cauchy_schwarz(s.s0, err0);
  s.bcv_error = cauchy_schwarz(s.bcv, errb);
  // Images at least gap away on each axis: n^2 (prod (1 + 2q / (1 - q)) - 1), q = e^{-beta gap^2}.
  const double images =
      n * n *
      (image_factor(std::exp(-beta * p.gap_x * p.gap_x)) * image_factor(std::exp(-beta * p.gap_y * p.gap_y)) -
       1.0);
  const double xg = std::max(2.0, beta * std::min(p.gap_x, p.gap_y) * std::min(p.gap_x, p.gap_y));
  const double cut = n * n *
                     (ax.tail * (1.0 + dy / std::sqrt(4.0 * kPi * beta)) +
                      ay.tail * (1.0 + dx / std::sqrt(4.0 * kPi * beta)));
  s.s0_error += cut + images;
  s.bcv_error +=
      8.0 * ((p.t_cut + 2.0) * (p.t_cut + 2.0) + 1.0) * cut + 4.0 * (xg * xg + 4.0 * xg + 2.0) * images;
  return s;
}

}  // namespace orvex::numeric
