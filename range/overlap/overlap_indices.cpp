#include "range/overlap/overlap_indices.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>
#include <string>

#include "numeric/fixed_chunks.h"

namespace orvex::range {

namespace {

// What a pair needs of each UD, found once: the square root of its density and its contour.
struct PreparedUd {
  std::span<const double> density;
  std::vector<double> root;
  std::vector<unsigned char> inside;
  std::size_t inside_count = 0;
};

// The cell sums of one pair (a = UD i, b = UD j), before the cell area is applied.
struct PairSums {
  std::size_t both = 0;
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
constexpr std::size_t kSums = 6;

template <bool kConditional>
PairSums pair_sums(const PreparedUd& a, const PreparedUd& b) {
  const std::size_t cells = a.root.size();
  double acc[kSums][kLanes] = {};
  std::size_t both = 0;
  const auto add = [&](std::size_t cell, std::size_t lane) {
    const double ma = a.inside[cell];
    const double mb = b.inside[cell];
    // Conditional: each UD is 0 outside its own contour (its root was masked when prepared).
    const double ua = kConditional ? a.density[cell] * ma : a.density[cell];
    const double ub = kConditional ? b.density[cell] * mb : b.density[cell];
    const double ra = a.root[cell];
    const double rb = b.root[cell];
    both += static_cast<std::size_t>(a.inside[cell] & b.inside[cell]);
    acc[0][lane] += ub * ma;
    acc[1][lane] += ua * mb;
    acc[2][lane] += std::min(ua, ub);
    acc[3][lane] += ra * rb;
    acc[4][lane] += ua * ub;
    acc[5][lane] += (ra - rb) * (ra - rb);
  };
  std::size_t cell = 0;
  for (; cell + kLanes <= cells; cell += kLanes) {
    for (std::size_t lane = 0; lane < kLanes; ++lane) add(cell + lane, lane);
  }
  for (std::size_t lane = 0; cell < cells; ++cell, ++lane) add(cell, lane);
  double total[kSums] = {};
  for (std::size_t s = 0; s < kSums; ++s) {
    for (std::size_t lane = 0; lane < kLanes; ++lane) total[s] += acc[s][lane];
  }
  return {both, total[0], total[1], total[2], total[3], total[4], total[5]};
}

PreparedUd prepare(std::span<const double> density, const UdGrid& grid, const OverlapOptions& options,
                   std::size_t animal) {
  PreparedUd ud;
  ud.density = density;
  try {
    ud.inside = volume_contour(density, grid, options.percent);
  } catch (const std::invalid_argument& e) {
    throw std::invalid_argument("overlap: UD " + std::to_string(animal + 1) + ": " + e.what());
  }
  ud.root.resize(density.size());
  for (std::size_t cell = 0; cell < density.size(); ++cell) {
    const bool kept = !options.conditional || ud.inside[cell] != 0;
    ud.root[cell] = kept ? std::sqrt(density[cell]) : 0.0;
    ud.inside_count += ud.inside[cell];
  }
  return ud;
}

void set(OverlapMatrices& m, OverlapIndex index, std::size_t i, std::size_t j, double value) {
  m.values[static_cast<std::size_t>(index)][i * m.animals + j] = value;
}

void store_pair(OverlapMatrices& m, std::size_t i, std::size_t j, const PreparedUd& a, const PreparedUd& b,
                const PairSums& s, double area) {
  const auto both = static_cast<double>(s.both);
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
  std::vector<PreparedUd> prepared;
  prepared.reserve(uds.size());
  for (std::size_t k = 0; k < uds.size(); ++k) prepared.push_back(prepare(uds[k], grid, options, k));

  OverlapMatrices m;
  m.animals = uds.size();
  for (auto& values : m.values)
    values.assign(m.animals * m.animals, std::numeric_limits<double>::quiet_NaN());
  const double area = grid.cell_area();
  // Chunk i holds the pairs (i, j <= i); each writes only its own two matrix cells per index.
  numeric::run_fixed_chunks(m.animals, options.threads, [&](std::size_t i) {
    for (std::size_t j = 0; j <= i; ++j) {
      const PairSums s = options.conditional ? pair_sums<true>(prepared[i], prepared[j])
                                             : pair_sums<false>(prepared[i], prepared[j]);
      store_pair(m, i, j, prepared[i], prepared[j], s, area);
    }
  });
  return m;
}

}  // namespace orvex::range
