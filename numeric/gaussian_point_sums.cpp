#include "numeric/gaussian_point_sums.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "numeric/fixed_chunks.h"
#include "numeric/vector_exp.h"

namespace orvex::numeric {

namespace {

// Cells per fix at most (plus a floor for tiny sets): beyond it the cells grow, so that empty
// cells never cost more than the fixes.
constexpr double kCellsPerFix = 2.0;
constexpr double kMinCells = 64.0;
// The gap between two cells is shrunk by this fraction of a cell before it is compared with the
// radius: a fix binned one rounding step off its cell is still covered.
constexpr double kGapMargin = 1e-9;
// Terms formed, exponentiated and added a block at a time (the block stays in the first-level
// cache); a multiple of kLanes, so that every block starts at lane 0.
constexpr std::size_t kBlock = 512;
constexpr std::size_t kLanes = 8;

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
};

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
  g.side = h;
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
};

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
  const double radius2 = radius * radius;
  for (std::int64_t oy = std::max<std::int64_t>(0, cy - reach); oy <= std::min(g.ny - 1, cy + reach); ++oy) {
    const double gy = static_cast<double>(std::max<std::int64_t>(std::abs(oy - cy) - 1, 0)) * g.side;
    for (std::int64_t ox = std::max<std::int64_t>(0, cx - reach); ox <= std::min(g.nx - 1, cx + reach); ++ox) {
      const double gx = static_cast<double>(std::max<std::int64_t>(std::abs(ox - cx) - 1, 0)) * g.side;
      const double gap2 = (gx * gx + gy * gy) * (1.0 - kGapMargin) * (1.0 - kGapMargin);
      if (gap2 > radius2) continue;
      const auto source = static_cast<std::size_t>(oy * g.nx + ox);
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
    // Term j goes to running sum j mod kLanes, the lanes added in order at the end: a fixed
    // order that does not wait on one long chain of additions.
    std::array<double, kLanes> lanes{};
    for (std::size_t block = 0; block < count; block += kBlock) {
      const std::size_t size = std::min(kBlock, count - block);
      const std::span<double> terms(s.terms.data(), size);
      for (std::size_t j = 0; j < size; ++j) {
        const double dx = xi - s.sx[block + j];
        const double dy = yi - s.sy[block + j];
        terms[j] = (dx * dx + dy * dy) * scale;
      }
      exp_array(terms, terms);
      for (std::size_t j = 0; j < size; ++j) lanes[j % kLanes] += terms[j];
    }
    double sum = 0.0;
    for (const double lane : lanes) sum += lane;
    out[g.index[k]] = sum;
  }
}

// Every pair, as the formula reads: the way for inputs the cells cannot hold (a coordinate or
// bandwidth that is not finite, a bandwidth that is not positive), whose sums come out NaN, 0 or
// n as the formula gives them.
std::vector<double> plain_sums(std::span<const std::array<double, 2>> xy, double h) {
  std::vector<double> out(xy.size(), 0.0);
  const double scale = -0.5 / (h * h);
  std::vector<double> terms(xy.size());
  for (std::size_t i = 0; i < xy.size(); ++i) {
    for (std::size_t j = 0; j < xy.size(); ++j) {
      const double dx = xy[i][0] - xy[j][0];
      const double dy = xy[i][1] - xy[j][1];
      terms[j] = (dx * dx + dy * dy) * scale;
    }
    exp_array(terms, terms);
    for (const double t : terms) out[i] += t;
  }
  return out;
}

}  // namespace

std::vector<double> gaussian_point_sums(std::span<const std::array<double, 2>> xy, double h, unsigned threads) {
  const std::size_t n = xy.size();
  std::vector<double> out(n, 0.0);
  if (n == 0) return out;
  const bool finite = std::all_of(xy.begin(), xy.end(), [](const std::array<double, 2>& p) {
    return std::isfinite(p[0]) && std::isfinite(p[1]);
  });
  if (!finite || !(h > 0.0) || !std::isfinite(h)) return plain_sums(xy, h);
  const CellGrid g = bin_fixes(xy, h);
  // A chunk is one row of cells. Each target's sum is formed whole by the chunk that owns its
  // cell: no reduction crosses chunks, so the thread count cannot change a bit.
  run_fixed_chunks(static_cast<std::size_t>(g.ny), threads, [&](std::size_t row) {
    Scratch scratch;
    for (std::int64_t cx = 0; cx < g.nx; ++cx) sum_cell(g, cx, static_cast<std::int64_t>(row), n, h, scratch, out);
  });
  return out;
}

}  // namespace orvex::numeric
