#include "numeric/near_pair_moments.h"

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

#include "numeric/fixed_chunks.h"

namespace orvex::numeric {

namespace {

// Cells per axis at most (cells wider than the radius only add visits).
constexpr double kMaxCellsPerAxis = 0x1p30;
// Visited pairs per chunk, and chunks run together before their histograms are added in order
// (bounds the histograms in memory; never depends on the thread count).
constexpr std::uint64_t kVisitsPerChunk = std::uint64_t{1} << 21;
constexpr std::size_t kChunksPerGroup = 16;

struct Block {
  std::size_t row_begin, row_end, col_begin, col_end;
};

// The fixes sorted by cell, and the blocks of (cell, cell) pairs to visit, in order.
struct CellList {
  std::vector<double> x, y, weights;
  std::vector<Block> blocks;
  std::vector<std::uint64_t> block_visits;
};

CellList make_cell_list(std::span<const double> x, std::span<const double> y, std::span<const double> weights,
                        double radius) {
  const auto [xMin, xMax] = std::minmax_element(x.begin(), x.end());
  const auto [yMin, yMax] = std::minmax_element(y.begin(), y.end());
  const double extent = std::max(*xMax - *xMin, *yMax - *yMin);
  const double side = std::max(radius, extent / kMaxCellsPerAxis);
  std::vector<std::pair<std::uint64_t, std::size_t>> keys(x.size());
  for (std::size_t i = 0; i < x.size(); ++i) {
    const auto cx = static_cast<std::uint64_t>(std::floor((x[i] - *xMin) / side));
    const auto cy = static_cast<std::uint64_t>(std::floor((y[i] - *yMin) / side));
    keys[i] = {(cy << 32) | cx, i};
  }
  std::sort(keys.begin(), keys.end());
  CellList c;
  c.x.resize(x.size());
  c.y.resize(x.size());
  c.weights.resize(weights.size());
  std::vector<std::uint64_t> cell_keys;
  std::vector<std::size_t> starts;
  for (std::size_t i = 0; i < keys.size(); ++i) {
    c.x[i] = x[keys[i].second];
    c.y[i] = y[keys[i].second];
    if (!weights.empty()) c.weights[i] = weights[keys[i].second];
    if (i == 0 || keys[i].first != keys[i - 1].first) {
      cell_keys.push_back(keys[i].first);
      starts.push_back(i);
    }
  }
  starts.push_back(keys.size());
  auto find = [&](std::uint64_t key) -> std::optional<std::size_t> {
    const auto it = std::lower_bound(cell_keys.begin(), cell_keys.end(), key);
    if (it == cell_keys.end() || *it != key) return std::nullopt;
    return static_cast<std::size_t>(it - cell_keys.begin());
  };
  constexpr std::uint64_t kRow = std::uint64_t{1} << 32;
  for (std::size_t a = 0; a < cell_keys.size(); ++a) {
    const std::uint64_t key = cell_keys[a];
    const std::uint64_t count = starts[a + 1] - starts[a];
    c.blocks.push_back({starts[a], starts[a + 1], starts[a], starts[a + 1]});
    c.block_visits.push_back(count * (count - 1) / 2);
    const bool hasLeft = (key & (kRow - 1)) > 0;
    for (const std::uint64_t other : {key + 1, key + kRow - 1, key + kRow, key + kRow + 1}) {
      if (other == key + kRow - 1 && !hasLeft) continue;
      if (const auto b = find(other)) {
        c.blocks.push_back({starts[a], starts[a + 1], starts[*b], starts[*b + 1]});
        c.block_visits.push_back(count * (starts[*b + 1] - starts[*b]));
      }
    }
  }
  return c;
}

std::optional<PairMoments> build_near(std::span<const double> x, std::span<const double> y,
                                      std::span<const double> weights, double coincident_pairs, double radius,
                                      double beta_min, double beta_max, unsigned threads,
                                      const ProgressCallback& progress) {
  std::optional<PairMoments> total = PairMoments::for_beta_range_below(beta_min, beta_max, radius * radius);
  if (!total) return total;
  if (x.size() >= 2) {
    const CellList c = make_cell_list(x, y, weights, radius);
    // Chunk c holds blocks [chunk_starts[c], chunk_starts[c + 1]).
    std::vector<std::size_t> chunk_starts{0};
    std::uint64_t all = 0;
    for (std::size_t b = 0, in_chunk = 0; b < c.blocks.size(); ++b) {
      in_chunk += c.block_visits[b];
      all += c.block_visits[b];
      if (in_chunk >= kVisitsPerChunk) chunk_starts.push_back(b + 1), in_chunk = 0;
    }
    if (chunk_starts.back() != c.blocks.size()) chunk_starts.push_back(c.blocks.size());
    const std::size_t chunks = chunk_starts.size() - 1;
    ChunkHistograms group(*total, chunks);
    std::uint64_t done = 0;
    for (std::size_t first = 0; first < chunks; first += kChunksPerGroup) {
      const std::size_t count = std::min(kChunksPerGroup, chunks - first);
      group.start(first, count);
      run_fixed_chunks(count, threads, [&](std::size_t k) {
        for (std::size_t b = chunk_starts[first + k]; b < chunk_starts[first + k + 1]; ++b) {
          const Block& block = c.blocks[b];
          group.of(k).add_block(c.x, c.y, c.weights, block.row_begin, block.row_end, block.col_begin,
                                block.col_end);
        }
      });
      group.merge();
      for (std::size_t b = chunk_starts[first]; b < chunk_starts[first + count]; ++b)
        done += c.block_visits[b];
      if (progress && !progress(all > 0 ? static_cast<double>(done) / static_cast<double>(all) : 1.0)) {
        return std::nullopt;
      }
    }
  }
  total->add_coincident_pairs(coincident_pairs);
  total->index_bins();
  return total;
}

}  // namespace

std::optional<WeightedFixes> group_repeated_positions(std::span<const double> x, std::span<const double> y) {
  // Sorted by position (then input order), each run of equal positions is one group; the groups
  // are then put in the order of their first fix.
  std::vector<std::size_t> order(x.size());
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
    if (x[a] != x[b]) return x[a] < x[b];
    if (y[a] != y[b]) return y[a] < y[b];
    return a < b;
  });
  std::vector<std::pair<std::size_t, double>> groups;  // first fix, count
  for (std::size_t k = 0; k < order.size(); ++k) {
    const bool same = k > 0 && x[order[k]] == x[order[k - 1]] && y[order[k]] == y[order[k - 1]];
    if (same) {
      groups.back().second += 1.0;
    } else {
      groups.emplace_back(order[k], 1.0);
    }
  }
  if (groups.size() == x.size()) return std::nullopt;
  std::sort(groups.begin(), groups.end());
  WeightedFixes f;
  f.x.reserve(groups.size());
  f.y.reserve(groups.size());
  f.weights.reserve(groups.size());
  for (const auto& [first, count] : groups) {
    f.x.push_back(x[first]);
    f.y.push_back(y[first]);
    f.weights.push_back(count);
    f.coincident_pairs += count * (count - 1.0) / 2.0;
  }
  return f;
}

std::uint64_t near_pair_visits(std::span<const double> x, std::span<const double> y, double radius) {
  if (x.size() < 2) return 0;
  const CellList c = make_cell_list(x, y, {}, radius);
  std::uint64_t visits = 0;
  for (const std::uint64_t v : c.block_visits) visits += v;
  return visits;
}

std::optional<PairMoments> build_near_pair_moments(std::span<const double> x, std::span<const double> y,
                                                   double radius, double beta_min, double beta_max,
                                                   unsigned threads, const ProgressCallback& progress) {
  return build_near(x, y, {}, 0.0, radius, beta_min, beta_max, threads, progress);
}

std::optional<PairMoments> build_near_pair_moments(const WeightedFixes& fixes, double radius, double beta_min,
                                                   double beta_max, unsigned threads,
                                                   const ProgressCallback& progress) {
  return build_near(fixes.x, fixes.y, fixes.weights, fixes.coincident_pairs, radius, beta_min, beta_max,
                    threads, progress);
}

}  // namespace orvex::numeric
