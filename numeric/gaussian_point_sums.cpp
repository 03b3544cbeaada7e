#include "numeric/gaussian_point_sums.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "numeric/fixed_chunks.h"
#include "numeric/simd_kernels.h"
#include "numeric/vector_exp.h"

namespace orvex::numeric {

namespace {

// Cells per fix at most (plus a floor for tiny sets): beyond it the cells grow, so that empty
// cells never cost more than the fixes.
constexpr double kCellsPerFix = 2.0;
constexpr double kMinCells = 64.0;
// Cell side in bandwidths: wider cells hold more fixes per expansion but widen the ring of
// fixes beyond the radius that are still summed one by one.
constexpr double kCellBandwidths = 3.0;
// The gap between two cells is shrunk by this fraction of a cell before it is compared with the
// radius: a fix binned one rounding step off its cell is still covered.
constexpr double kGapMargin = 1e-9;
// Terms formed, exponentiated and added a block at a time (the block stays in the first-level
// cache); a multiple of kSumLanes, so that every block starts at lane 0.
constexpr std::size_t kBlock = 512;
constexpr std::size_t kSumLanes = 8;
// Hermite expansions (see the header): cramer bounds |He_k(t)| e^(-t^2/4) <= kCramer sqrt(k!);
// orders tried up to kMaxOrder; a cell takes its expansion when it holds at least
// order^2 / kExpansionBreakEven fixes (an expansion costs about order^2 multiply-adds at a
// target, a fix one exponential, some kExpansionBreakEven times as much).
constexpr double kCramer = 1.086435;
constexpr std::size_t kMaxOrder = 64;
constexpr std::size_t kExpansionBreakEven = 4;

struct CellGrid {
  double min_x = 0.0;
  double min_y = 0.0;
  double side = 0.0;
  std::int64_t nx = 1;
  std::int64_t ny = 1;
  // Fixes sorted by cell (row by row), index order within a cell; cell c holds
  // sorted positions [start[c], start[c + 1]).
  std::vector<std::size_t> start;
  std::vector<double> x;
  std::vector<double> y;
  std::vector<std::size_t> index;
  // Hermite expansions: order p (0: none), and for each cell the offset of its p x p
  // coefficients in `coefficients`, or kNoExpansion.
  std::size_t order = 0;
  std::size_t stride = 0;  // order rounded up to whole vectors; the padding holds 0
  std::vector<std::size_t> expansion;
  std::vector<double> coefficients;
};

constexpr std::size_t kNoExpansion = static_cast<std::size_t>(-1);

// The smallest order p whose truncation costs every target at most `budget` per fix, for
// sources within `reach` bandwidths of their cell's centre along each axis; 0 when no order up
// to kMaxOrder does. Per axis the tail is at most
//   rho = kCramer * sum_{k >= p} r^k / sqrt(k!) <= kCramer * r^p / sqrt(p!) / (1 - r / sqrt(p + 1)),
// and the product of two axes at most 2 rho + rho^2.
std::size_t expansion_order(double reach, double budget) {
  double term = 1.0;  // r^p / sqrt(p!)
  for (std::size_t p = 1; p <= kMaxOrder; ++p) {
    term *= reach / std::sqrt(static_cast<double>(p));
    const double ratio = reach / std::sqrt(static_cast<double>(p + 1));
    if (ratio >= 1.0) continue;
    const double rho = kCramer * term / (1.0 - ratio);
    if (2.0 * rho + rho * rho <= budget) return p;
  }
  return 0;
}

// For each cell holding enough fixes, the coefficients of
//   sum_j exp(-|t - v_j|^2 / 2) = sum_{a,b < p} A_ab He_a(t_x) He_b(t_y) e^(-|t|^2 / 2) + tail,
// A_ab = sum_j v_jx^a v_jy^b / (a! b!), t and v_j in bandwidths from the cell's centre.
void build_expansions(CellGrid& g, double h, std::size_t n, unsigned threads) {
  // The cell's fixes lie within half a side of its centre (and a rounding step).
  const double reach = g.side / h * 0.5 * (1.0 + kGapMargin);
  g.order = expansion_order(reach, kGaussianPointSumError / static_cast<double>(n));
  const std::size_t cells = g.start.size() - 1;
  g.expansion.assign(cells, kNoExpansion);
  if (g.order == 0) return;
  const std::size_t p = g.order;
  g.stride = (p + kLanes - 1) / kLanes * kLanes;
  const std::size_t min_fixes = std::max<std::size_t>(1, p * p / kExpansionBreakEven);
  std::size_t size = 0;
  for (std::size_t c = 0; c < cells; ++c) {
    if (g.start[c + 1] - g.start[c] < min_fixes) continue;
    g.expansion[c] = size;
    size += p * g.stride;
  }
  g.coefficients.assign(size, 0.0);
  run_fixed_chunks(static_cast<std::size_t>(g.ny), threads, [&](std::size_t row) {
    std::vector<double> px(p);
    std::vector<double> py(p);
    for (std::int64_t cx = 0; cx < g.nx; ++cx) {
      const std::size_t c = row * static_cast<std::size_t>(g.nx) + static_cast<std::size_t>(cx);
      if (g.expansion[c] == kNoExpansion) continue;
      const double centre_x = g.min_x + (static_cast<double>(cx) + 0.5) * g.side;
      const double centre_y = g.min_y + (static_cast<double>(row) + 0.5) * g.side;
      double* a = g.coefficients.data() + g.expansion[c];
      for (std::size_t k = g.start[c]; k < g.start[c + 1]; ++k) {
        const double vx = (g.x[k] - centre_x) / h;
        const double vy = (g.y[k] - centre_y) / h;
        px[0] = 1.0;
        py[0] = 1.0;
        for (std::size_t i = 1; i < p; ++i) {
          px[i] = px[i - 1] * vx / static_cast<double>(i);
          py[i] = py[i - 1] * vy / static_cast<double>(i);
        }
        for (std::size_t i = 0; i < p; ++i) {
          for (std::size_t j = 0; j < p; ++j) a[i * g.stride + j] += px[i] * py[j];
        }
      }
    }
  });
}

struct ExpansionJob {
  const double* coefficients;  // p rows of `stride` values
  const double* hx;            // p values
  const double* hy;            // `stride` values, 0 past p
  std::size_t p;
  std::size_t stride;
};

// sum_a hx[a] sum_b A_ab hy[b]: the rows of A weighted by hx summed lane by lane, then the
// lanes' products with hy added in index order. The same operations on the same lanes on every
// instruction set, so the same bits.
template <class Isa>
[[gnu::always_inline]] inline double expansion_kernel(const ExpansionJob& job) {
  constexpr std::size_t kMaxVectors = (kMaxOrder + kLanes - 1) / kLanes;
  const std::size_t vectors = job.stride / kLanes;
  Doubles8 column[kMaxVectors] = {};
  for (std::size_t a = 0; a < job.p; ++a) {
    const double w = job.hx[a];
    const double* row = job.coefficients + a * job.stride;
    for (std::size_t v = 0; v < vectors; ++v) {
      Doubles8 r;
      std::memcpy(&r, row + v * kLanes, sizeof r);
      column[v] += w * r;
    }
  }
  double sum = 0.0;
  for (std::size_t v = 0; v < vectors; ++v) {
    Doubles8 y;
    std::memcpy(&y, job.hy + v * kLanes, sizeof y);
    const Doubles8 products = column[v] * y;
    for (std::size_t l = 0; l < kLanes; ++l) sum += products[l];
  }
  return sum;
}

ORVEX_SIMD_CLONES(expansion_at, expansion_kernel)

// He_k(t) e^(-t^2 / 2) for k < p, by the recurrence He_{k+1} = t He_k - k He_{k-1}.
void hermite_functions(double t, std::size_t p, double* out) {
  out[0] = std::exp(-0.5 * t * t);
  if (p > 1) out[1] = t * out[0];
  for (std::size_t k = 1; k + 1 < p; ++k) out[k + 1] = t * out[k] - static_cast<double>(k) * out[k - 1];
}

CellGrid bin_fixes(std::span<const std::array<double, 2>> xy, double h) {
  CellGrid g;
  double max_x = xy[0][0];
  double max_y = xy[0][1];
  g.min_x = max_x;
  g.min_y = max_y;
  for (const auto& p : xy) {
    g.min_x = std::min(g.min_x, p[0]);
    g.min_y = std::min(g.min_y, p[1]);
    max_x = std::max(max_x, p[0]);
    max_y = std::max(max_y, p[1]);
  }
  const double width = max_x - g.min_x;
  const double height = max_y - g.min_y;
  const double max_cells = std::max(kMinCells, kCellsPerFix * static_cast<double>(xy.size()));
  g.side = kCellBandwidths * h;
  for (;;) {
    const double nx = std::floor(width / g.side) + 1.0;
    const double ny = std::floor(height / g.side) + 1.0;
    if (nx * ny <= max_cells) {
      g.nx = static_cast<std::int64_t>(nx);
      g.ny = static_cast<std::int64_t>(ny);
      break;
    }
    g.side *= std::max(1.01, std::sqrt(nx * ny / max_cells));
  }
  const auto cells = static_cast<std::size_t>(g.nx * g.ny);
  std::vector<std::size_t> cell_of(xy.size());
  g.start.assign(cells + 1, 0);
  for (std::size_t i = 0; i < xy.size(); ++i) {
    const auto cx = std::min(static_cast<std::int64_t>((xy[i][0] - g.min_x) / g.side), g.nx - 1);
    const auto cy = std::min(static_cast<std::int64_t>((xy[i][1] - g.min_y) / g.side), g.ny - 1);
    cell_of[i] = static_cast<std::size_t>(cy * g.nx + cx);
    ++g.start[cell_of[i] + 1];
  }
  for (std::size_t c = 0; c < cells; ++c) g.start[c + 1] += g.start[c];
  std::vector<std::size_t> next(g.start.begin(), g.start.end() - 1);
  g.x.resize(xy.size());
  g.y.resize(xy.size());
  g.index.resize(xy.size());
  for (std::size_t i = 0; i < xy.size(); ++i) {
    const std::size_t k = next[cell_of[i]]++;
    g.x[k] = xy[i][0];
    g.y[k] = xy[i][1];
    g.index[k] = i;
  }
  return g;
}

// The radius beyond which the fixes of a cell holding m of n fixes may leave sources out.
double cutoff_radius(std::size_t m, std::size_t n, double side, double h) {
  if (m >= n) return 0.0;
  const double own = static_cast<double>(m) * std::exp(-(side / h) * (side / h));
  const double lower = std::max(1.0, own);
  const double ratio = static_cast<double>(n - m) / (kGaussianPointSumError * lower);
  return ratio > 1.0 ? h * std::sqrt(2.0 * std::log(ratio)) : 0.0;
}

// Per-thread buffers of one chunk: the sources a target cell reaches, and one target's terms.
struct Scratch {
  std::vector<double> sx;
  std::vector<double> sy;
  std::vector<double> terms;
  std::vector<std::size_t> expanded;  // cells reached that take their expansion
  // Hermite functions of one target: along x for each column of cells reached (from column
  // first_column), along y for the current row of cells.
  std::int64_t first_column = 0;
  std::vector<double> hx;
  std::vector<char> hx_done;
  std::vector<double> hy;
  SimdLevel level = SimdLevel::baseline;
};

// The expanded cells' part of the sum at (xi, yi), cell by cell in the order reached. A cell
// farther from the fix itself than `radius` (its nearest corner or edge, with the margin) is
// left out like any fix beyond the radius.
double expanded_sum(const CellGrid& g, double xi, double yi, double h, double radius, Scratch& s) {
  const std::size_t p = g.order;
  std::fill(s.hx_done.begin(), s.hx_done.end(), 0);
  const double radius2 = radius * radius;
  const double half = 0.5 * g.side;
  std::int64_t hy_row = -1;
  double total = 0.0;
  for (const std::size_t c : s.expanded) {
    const auto cx = static_cast<std::int64_t>(c) % g.nx;
    const auto cy = static_cast<std::int64_t>(c) / g.nx;
    const double tx = xi - (g.min_x + (static_cast<double>(cx) + 0.5) * g.side);
    const double ty = yi - (g.min_y + (static_cast<double>(cy) + 0.5) * g.side);
    const double gx = std::max(std::abs(tx) - half, 0.0);
    const double gy = std::max(std::abs(ty) - half, 0.0);
    if ((gx * gx + gy * gy) * (1.0 - kGapMargin) * (1.0 - kGapMargin) > radius2) continue;
    // The functions depend on the cell's column or row only: each is formed once per target.
    const auto column = static_cast<std::size_t>(cx - s.first_column);
    double* hx = s.hx.data() + column * g.stride;
    if (s.hx_done[column] == 0) {
      hermite_functions(tx / h, p, hx);
      s.hx_done[column] = 1;
    }
    if (cy != hy_row) {
      hermite_functions(ty / h, p, s.hy.data());
      hy_row = cy;
    }
    const double* a = g.coefficients.data() + g.expansion[c];
    total += expansion_at(s.level, ExpansionJob{a, hx, s.hy.data(), p, g.stride});
  }
  return total;
}

void sum_cell(const CellGrid& g, std::int64_t cx, std::int64_t cy, std::size_t n, double h, Scratch& s,
              std::vector<double>& out) {
  const auto cell = static_cast<std::size_t>(cy * g.nx + cx);
  const std::size_t first = g.start[cell];
  const std::size_t last = g.start[cell + 1];
  if (first == last) return;
  const double radius = cutoff_radius(last - first, n, g.side, h);
  const auto reach = static_cast<std::int64_t>(std::min(
      static_cast<double>(std::max(g.nx, g.ny)), std::ceil(radius / (g.side * (1.0 - kGapMargin))) + 1.0));

  // The sources of the cells whose gap to this one is within the radius, row by row.
  s.sx.clear();
  s.sy.clear();
  s.expanded.clear();
  s.first_column = std::max<std::int64_t>(0, cx - reach);
  const auto columns = static_cast<std::size_t>(std::min(g.nx - 1, cx + reach) - s.first_column + 1);
  s.hx.assign(columns * g.stride, 0.0);
  s.hx_done.assign(columns, 0);
  s.hy.assign(g.stride, 0.0);
  const double radius2 = radius * radius;
  for (std::int64_t oy = std::max<std::int64_t>(0, cy - reach); oy <= std::min(g.ny - 1, cy + reach); ++oy) {
    const double gy = static_cast<double>(std::max<std::int64_t>(std::abs(oy - cy) - 1, 0)) * g.side;
    for (std::int64_t ox = std::max<std::int64_t>(0, cx - reach); ox <= std::min(g.nx - 1, cx + reach);
         ++ox) {
      const double gx = static_cast<double>(std::max<std::int64_t>(std::abs(ox - cx) - 1, 0)) * g.side;
      const double gap2 = (gx * gx + gy * gy) * (1.0 - kGapMargin) * (1.0 - kGapMargin);
      if (gap2 > radius2) continue;
      const auto source = static_cast<std::size_t>(oy * g.nx + ox);
      if (g.expansion[source] != kNoExpansion) {
        s.expanded.push_back(source);
        continue;
      }
      s.sx.insert(s.sx.end(), g.x.begin() + static_cast<std::ptrdiff_t>(g.start[source]),
                  g.x.begin() + static_cast<std::ptrdiff_t>(g.start[source + 1]));
      s.sy.insert(s.sy.end(), g.y.begin() + static_cast<std::ptrdiff_t>(g.start[source]),
                  g.y.begin() + static_cast<std::ptrdiff_t>(g.start[source + 1]));
    }
  }

  const double scale = -0.5 / (h * h);
  const std::size_t count = s.sx.size();
  s.terms.resize(kBlock);
  for (std::size_t k = first; k < last; ++k) {
    const double xi = g.x[k];
    const double yi = g.y[k];
    // Term j goes to running sum j mod kSumLanes, the lanes added in order at the end: a fixed
    // order that does not wait on one long chain of additions.
    std::array<double, kSumLanes> lanes{};
    for (std::size_t block = 0; block < count; block += kBlock) {
      const std::size_t size = std::min(kBlock, count - block);
      const std::span<double> terms(s.terms.data(), size);
      for (std::size_t j = 0; j < size; ++j) {
        const double dx = xi - s.sx[block + j];
        const double dy = yi - s.sy[block + j];
        terms[j] = (dx * dx + dy * dy) * scale;
      }
      exp_array(terms, terms, s.level);
      for (std::size_t j = 0; j < size; ++j) lanes[j % kSumLanes] += terms[j];
    }
    double sum = 0.0;
    for (const double lane : lanes) sum += lane;
    out[g.index[k]] = sum + expanded_sum(g, xi, yi, h, radius, s);
  }
}

// Every pair, as the formula reads: the way for inputs the cells cannot hold (a coordinate or
// bandwidth that is not finite, a bandwidth that is not positive), whose sums come out NaN, 0 or
// n as the formula gives them.
std::vector<double> plain_sums(std::span<const std::array<double, 2>> xy, double h, SimdLevel level) {
  std::vector<double> out(xy.size(), 0.0);
  const double scale = -0.5 / (h * h);
  std::vector<double> terms(xy.size());
  for (std::size_t i = 0; i < xy.size(); ++i) {
    for (std::size_t j = 0; j < xy.size(); ++j) {
      const double dx = xy[i][0] - xy[j][0];
      const double dy = xy[i][1] - xy[j][1];
      terms[j] = (dx * dx + dy * dy) * scale;
    }
    exp_array(terms, terms, level);
    for (const double t : terms) out[i] += t;
  }
  return out;
}

}  // namespace

std::vector<double> gaussian_point_sums(std::span<const std::array<double, 2>> xy, double h, unsigned threads,
                                        SimdLevel level) {
  const std::size_t n = xy.size();
  std::vector<double> out(n, 0.0);
  if (n == 0) return out;
  const bool finite = std::all_of(xy.begin(), xy.end(), [](const std::array<double, 2>& p) {
    return std::isfinite(p[0]) && std::isfinite(p[1]);
  });
  if (!finite || !(h > 0.0) || !std::isfinite(h)) return plain_sums(xy, h, level);
  CellGrid g = bin_fixes(xy, h);
  build_expansions(g, h, n, threads);
  // A chunk is one row of cells. Each target's sum is formed whole by the chunk that owns its
  // cell: no reduction crosses chunks, so the thread count cannot change a bit.
  run_fixed_chunks(static_cast<std::size_t>(g.ny), threads, [&](std::size_t row) {
    Scratch scratch;
    scratch.level = level;
    for (std::int64_t cx = 0; cx < g.nx; ++cx)
      sum_cell(g, cx, static_cast<std::int64_t>(row), n, h, scratch, out);
  });
  return out;
}

}  // namespace orvex::numeric
