#include "range/overlap/overlap_indices.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>
#include <string>

#include "numeric/fixed_chunks.h"

namespace orvex::range {

namespace {

// What a pair needs of each UD, found once: its contour as 0 or 1 and the square root of its
// density (both as doubles, so that the pair loop runs in vector registers).
struct PreparedUd {
  std::span<const double> density;
  std::vector<double> root;
  std::vector<double> inside;
  std::size_t inside_count = 0;
};

// The cell sums of one pair (a = UD i, b = UD j), before the cell area is applied.
struct PairSums {
  double both = 0.0;    // cells in both contours: a whole number, exact in a double
  double b_in_a = 0.0;  // u_j over A_i
  double a_in_b = 0.0;  // u_i over A_j
  double shared = 0.0;
  double affinity = 0.0;
  double product = 0.0;
  double distance = 0.0;
};

// Cells are summed in kLanes interleaved partial sums (cell c into lane c % kLanes) added at the
// end in lane order: a fixed order the compiler can keep in vector registers.
constexpr std::size_t kLanes = 4;
constexpr std::size_t kSums = 7;
// Rows of pairs per chunk and cells per tile: 16 rows' tiles of 3 x 1,024 doubles (384 KB) stay
// in cache while the tiles of the other UDs stream past. Fixed, so the sums never depend on the
// thread count.
constexpr std::size_t kRowsPerChunk = 16;
constexpr std::size_t kTileCells = 1024;

// Adds the sums over cells [begin, end) to `sums`.
template <bool kConditional>
void add_pair_sums(const PreparedUd& a, const PreparedUd& b, std::size_t begin, std::size_t end,
                   PairSums& sums) {
  const double* da = a.density.data();
  const double* db = b.density.data();
  const double* ma = a.inside.data();
  const double* mb = b.inside.data();
  const double* ra = a.root.data();
  const double* rb = b.root.data();
  double acc[kSums][kLanes] = {};
  const auto add = [&](std::size_t cell, std::size_t lane) {
    // Conditional: each UD is 0 outside its own contour (its root was masked when prepared).
    const double ua = kConditional ? da[cell] * ma[cell] : da[cell];
    const double ub = kConditional ? db[cell] * mb[cell] : db[cell];
    const double gap = ra[cell] - rb[cell];
    acc[0][lane] += ma[cell] * mb[cell];
    acc[1][lane] += ub * ma[cell];
    acc[2][lane] += ua * mb[cell];
    acc[3][lane] += ua < ub ? ua : ub;
    acc[4][lane] += ra[cell] * rb[cell];
    acc[5][lane] += ua * ub;
    acc[6][lane] += gap * gap;
  };
  std::size_t cell = begin;
  for (; cell + kLanes <= end; cell += kLanes) {
    for (std::size_t lane = 0; lane < kLanes; ++lane) add(cell + lane, lane);
  }
  for (std::size_t lane = 0; cell < end; ++cell, ++lane) add(cell, lane);
  double total[kSums] = {};
  for (std::size_t s = 0; s < kSums; ++s) {
    for (std::size_t lane = 0; lane < kLanes; ++lane) total[s] += acc[s][lane];
  }
  sums.both += total[0];
  sums.b_in_a += total[1];
  sums.a_in_b += total[2];
  sums.shared += total[3];
  sums.affinity += total[4];
  sums.product += total[5];
  sums.distance += total[6];
}

PreparedUd prepare(std::span<const double> density, const UdGrid& grid, const OverlapOptions& options) {
  PreparedUd ud;
  ud.density = density;
  const std::vector<unsigned char> inside = volume_contour(density, grid, options.percent);
  ud.inside.assign(inside.begin(), inside.end());
  ud.root.resize(density.size());
  for (std::size_t cell = 0; cell < density.size(); ++cell) {
    const bool kept = !options.conditional || ud.inside[cell] != 0.0;
    ud.root[cell] = kept ? std::sqrt(density[cell]) : 0.0;
    ud.inside_count += ud.inside[cell] != 0.0 ? 1 : 0;
  }
  return ud;
}

void set(OverlapMatrices& m, OverlapIndex index, std::size_t i, std::size_t j, double value) {
  m.values[static_cast<std::size_t>(index)][i * m.animals + j] = value;
}

void store_pair(OverlapMatrices& m, std::size_t i, std::size_t j, const PreparedUd& a, const PreparedUd& b,
                const PairSums& s, double area) {
  const double both = s.both;
  set(m, OverlapIndex::hr, i, j, both / static_cast<double>(a.inside_count));
  set(m, OverlapIndex::hr, j, i, both / static_cast<double>(b.inside_count));
  set(m, OverlapIndex::phr, i, j, s.b_in_a * area);
  set(m, OverlapIndex::phr, j, i, s.a_in_b * area);
  // The symmetric indices are written to both cells from the one value.
  const double both_area = both * area;
  const double symmetric[] = {s.shared * area, s.affinity * area, both_area * s.product * area,
                              std::sqrt(s.distance * area)};
  const OverlapIndex names[] = {OverlapIndex::vi, OverlapIndex::ba, OverlapIndex::udoi, OverlapIndex::hd};
  for (std::size_t k = 0; k < 4; ++k) {
    set(m, names[k], i, j, symmetric[k]);
    set(m, names[k], j, i, symmetric[k]);
  }
}

}  // namespace

OverlapMatrices overlap_indices(std::span<const std::span<const double>> uds, const UdGrid& grid,
                                const OverlapOptions& options) {
  if (uds.size() < 2) throw std::invalid_argument("overlap: at least 2 UDs are needed");
  check_ud_grid(grid);
  // Checked in order first, so that a bad UD is named the same way with any number of threads.
  if (!(options.percent > 0.0 && options.percent <= 100.0)) {
    throw std::invalid_argument("overlap: the percent must lie in (0, 100]");
  }
  for (std::size_t k = 0; k < uds.size(); ++k) {
    try {
      check_ud(uds[k], grid);
    } catch (const std::invalid_argument& e) {
      throw std::invalid_argument("overlap: UD " + std::to_string(k + 1) + ": " + e.what());
    }
  }
  std::vector<PreparedUd> prepared(uds.size());
  numeric::run_fixed_chunks(uds.size(), options.threads,
                            [&](std::size_t k) { prepared[k] = prepare(uds[k], grid, options); });

  OverlapMatrices m;
  m.animals = uds.size();
  for (auto& values : m.values)
    values.assign(m.animals * m.animals, std::numeric_limits<double>::quiet_NaN());
  const double area = grid.cell_area();
  // Chunk c holds the pairs (i, j <= i) of kRowsPerChunk rows i, taken tile by tile of cells so
  // that each tile of UD j, once read, serves every row of the chunk from cache. A pair's sum adds
  // its tiles in cell order whichever thread runs the chunk.
  const std::size_t n = m.animals;
  const std::size_t cells = grid.cell_count();
  const std::size_t chunks = (n + kRowsPerChunk - 1) / kRowsPerChunk;
  numeric::run_fixed_chunks(chunks, options.threads, [&](std::size_t chunk) {
    const std::size_t first = chunk * kRowsPerChunk;
    const std::size_t last = std::min(n, first + kRowsPerChunk);
    std::vector<PairSums> sums((last - first) * last);
    for (std::size_t begin = 0; begin < cells; begin += kTileCells) {
      const std::size_t end = std::min(cells, begin + kTileCells);
      for (std::size_t j = 0; j < last; ++j) {
        for (std::size_t i = std::max(first, j); i < last; ++i) {
          PairSums& s = sums[(i - first) * last + j];
          if (options.conditional) {
            add_pair_sums<true>(prepared[i], prepared[j], begin, end, s);
          } else {
            add_pair_sums<false>(prepared[i], prepared[j], begin, end, s);
          }
        }
      }
    }
    for (std::size_t i = first; i < last; ++i) {
      for (std::size_t j = 0; j <= i; ++j)
        store_pair(m, i, j, prepared[i], prepared[j], sums[(i - first) * last + j], area);
    }
  });
  return m;
}

}  // namespace orvex::range
