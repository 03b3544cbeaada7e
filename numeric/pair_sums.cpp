#include "numeric/pair_sums.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>
#include <numeric>
#include <vector>

#include "numeric/fixed_chunks.h"
#include "numeric/pair_chunks.h"
#include "numeric/simd_kernels.h"

namespace orvex::numeric {

namespace {

// Beyond exp(-40), e - 4 e^2 rounds to e.
constexpr double kSquareNegligible = 40.0;
// Pairs whose squared distances are formed before their terms.
constexpr std::size_t kPairBlock = 1024;
static_assert(kPairBlock % kLanes == 0);
// Chunks run between two progress reports (a count of the problem, never of the threads).
constexpr std::size_t kChunksPerReport = 64;
// Relative error taken for each positive Gaussian sum from the moments (see the header).
constexpr double kMomentSumTolerance = 1e-12;

// u2 beyond which a term is dropped.
constexpr double cutoff_of(PairTerm term) {
  return term == PairTerm::lscv ? 4.0 * kLastNormalExponent : 2.0 * kLastNormalExponent;
}

// The term of u2 lane by lane on any vector of doubles; 0 past the cutoff.
template <PairTerm kTerm, class V>
[[gnu::always_inline]] inline V term_of(V u2) {
  if constexpr (kTerm == PairTerm::lscv) {
    const V u = u2 / 4.0;
    const V e = vector_exp_lanes(-u);
    const V t = u > kSquareNegligible ? e : e - 4.0 * (e * e);
    return u2 > cutoff_of(kTerm) ? V{} : t;
  } else {
    const V t = vector_exp_lanes(-u2 / 2.0) * (u2 * u2 - 8.0 * u2 + 8.0);
    return u2 > cutoff_of(kTerm) ? V{} : t;
  }
}

// One chunk: rows [row_begin, row_end) of fixes sorted by x, against scales ascending.
struct ChunkJob {
  PairTerm term;
  const double* x;
  const double* y;
  std::size_t n;
  std::size_t row_begin;
  std::size_t row_end;
  std::span<const double> scales;
  double* partial;  // one per scale
};

template <PairTerm kTerm, class Isa>
[[gnu::always_inline]] inline void chunk_sums(const ChunkJob& job) {
  constexpr double kCutoff = cutoff_of(kTerm);
  const std::size_t count = job.scales.size();
  const double smallest = job.scales.front();
  std::vector<double> lane_sums(count * kLanes, 0.0);  // scale m's lanes at m * kLanes
  alignas(64) std::array<double, kPairBlock> d2;
  std::size_t filled = 0;
  // The smallest d2 in the block: `nearest`, and lane by lane over the partners appended a
  // register at a time (the minimum is exact, so the grouping does not matter).
  using R = typename Isa::Register;
  constexpr std::size_t kStep = kRegisterLanes<Isa>;
  constexpr double kInfinity = std::numeric_limits<double>::infinity();
  double nearest = kInfinity;
  R nearest_lanes = R{} + kInfinity;
  auto flush = [&]() __attribute__((always_inline)) {
    for (std::size_t l = 0; l < kStep; ++l) nearest = std::min(nearest, nearest_lanes[l]);
    // The lanes of the last vector past the block hold an infinite distance: a term of 0.
    const std::size_t vectors = (filled + kLanes - 1) / kLanes;
    std::fill(d2.begin() + static_cast<std::ptrdiff_t>(filled),
              d2.begin() + static_cast<std::ptrdiff_t>(vectors * kLanes), kInfinity);
    for (std::size_t m = 0; m < count; ++m) {
      // u2 only grows along the scales: once the block's nearest pair is past the cutoff, it
      // adds exactly 0 here and to every later scale.
      const double scale = job.scales[m];
      if (nearest * scale > kCutoff) break;
      Doubles8 sum;
      std::memcpy(&sum, lane_sums.data() + m * kLanes, sizeof(sum));
      for (std::size_t q = 0; q < vectors; ++q) {
        Doubles8 u2;
        std::memcpy(&u2, d2.data() + q * kLanes, sizeof(u2));
        u2 *= scale;
        sum += by_register<Isa>(
            u2, [](auto v) __attribute__((always_inline)) { return term_of<kTerm>(v); });
      }
      std::memcpy(lane_sums.data() + m * kLanes, &sum, sizeof(sum));
    }
    filled = 0;
    nearest = kInfinity;
    nearest_lanes = R{} + kInfinity;
  };
  for (std::size_t i = job.row_begin; i < job.row_end; ++i) {
    const double xi = job.x[i];
    const double yi = job.y[i];
    for (std::size_t j = i + 1; j < job.n;) {
      // A register of partners at once while none ends the row and the block has room for
      // them: the same d2, appended in the same order, as one at a time below.
      if (j + kStep <= job.n && filled + kStep <= kPairBlock) {
        R px;
        R py;
        std::memcpy(&px, job.x + j, sizeof(R));
        std::memcpy(&py, job.y + j, sizeof(R));
        const R dx = px - xi;
        const R dx2 = dx * dx;
        const R dy = py - yi;
        const R v = dx2 + dy * dy;
        const auto far = dx2 * smallest > kCutoff;
        bool any_far = false;
        for (std::size_t l = 0; l < kStep; ++l) any_far |= far[l] != 0;
        if (!any_far) {
          std::memcpy(d2.data() + filled, &v, sizeof(R));
          nearest_lanes = v < nearest_lanes ? v : nearest_lanes;
          filled += kStep;
          j += kStep;
          if (filled == kPairBlock) flush();
          continue;
        }
      }
      const double dx = job.x[j] - xi;
      // Sorted by x: this and every later partner of the row add exactly 0 for every scale
      // (d^2 >= dx^2, and the product rounds monotonically).
      if (dx * dx * smallest > kCutoff) break;
      const double dy = job.y[j] - yi;
      const double v = dx * dx + dy * dy;
      d2[filled++] = v;
      nearest = std::min(nearest, v);
      if (filled == kPairBlock) flush();
      ++j;
    }
  }
  if (filled > 0) flush();
  for (std::size_t m = 0; m < count; ++m) {
    double total = 0.0;
    for (std::size_t l = 0; l < kLanes; ++l) total += lane_sums[m * kLanes + l];
    job.partial[m] += total;
  }
}

template <class Isa>
[[gnu::always_inline]] inline void chunk_sums_kernel(const ChunkJob& job) {
  if (job.term == PairTerm::lscv) {
    chunk_sums<PairTerm::lscv, Isa>(job);
  } else {
    chunk_sums<PairTerm::bcv2, Isa>(job);
  }
}

ORVEX_SIMD_CLONES(chunk_sums_at, chunk_sums_kernel)

}  // namespace

bool pair_term_sums(PairTerm term, std::span<const double> x, std::span<const double> y,
                    std::span<const double> scales, std::span<double> sums, const PairSumOptions& options,
                    const ProgressCallback& progress) {
  const std::size_t n = x.size();
  const std::size_t count = scales.size();
  std::fill(sums.begin(), sums.end(), 0.0);
  if (n < 2 || count == 0) return true;

  // The scales ascending (the bandwidths from the largest down), and the fixes by x, so that a
  // row stops at its first partner beyond every scale's cutoff.
  std::vector<std::size_t> ascending(count);
  std::iota(ascending.begin(), ascending.end(), std::size_t{0});
  std::stable_sort(ascending.begin(), ascending.end(),
                   [&](std::size_t a, std::size_t b) { return scales[a] < scales[b]; });
  std::vector<double> sorted_scales(count);
  for (std::size_t m = 0; m < count; ++m) sorted_scales[m] = scales[ascending[m]];
  std::vector<std::size_t> order(n);
  std::iota(order.begin(), order.end(), std::size_t{0});
  std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return x[a] < x[b]; });
  std::vector<double> sx(n);
  std::vector<double> sy(n);
  for (std::size_t i = 0; i < n; ++i) sx[i] = x[order[i]], sy[i] = y[order[i]];

  const std::uint64_t pairs = static_cast<std::uint64_t>(n) * (n - 1) / 2;
  const std::uint64_t chunk_pairs =
      std::max<std::uint64_t>({options.chunk_pairs, pairs / kMaxPairChunks + 1, 1});
  const std::vector<std::size_t> starts = pair_chunk_rows(n, chunk_pairs);
  const std::size_t chunks = starts.size() - 1;
  std::vector<double> partials(chunks * count, 0.0);
  for (std::size_t first = 0; first < chunks; first += kChunksPerReport) {
    const std::size_t group = std::min(kChunksPerReport, chunks - first);
    run_fixed_chunks(group, options.threads, [&](std::size_t g) {
      const std::size_t c = first + g;
      chunk_sums_at(options.level, ChunkJob{term, sx.data(), sy.data(), n, starts[c], starts[c + 1],
                                            sorted_scales, partials.data() + c * count});
    });
    const double fraction = static_cast<double>(first + group) / static_cast<double>(chunks);
    if (progress && !progress(fraction)) return false;
  }
  for (std::size_t c = 0; c < chunks; ++c) {
    for (std::size_t m = 0; m < count; ++m) sums[ascending[m]] += partials[c * count + m];
  }
  return true;
}

PairSumEstimate pair_term_sum_from_moments(PairTerm term, const PairMoments& moments, double scale) {
  if (term == PairTerm::lscv) {
    const double quarter = moments.gaussian_sums(scale / 4.0)[0];
    const double half = 4.0 * moments.gaussian_sums(scale / 2.0)[0];
    return {quarter - half, kMomentSumTolerance * (quarter + half)};
  }
  // x = u2 / 2: u2^2 - 8 u2 + 8 = 4 x^2 - 16 x + 8.
  const auto g = moments.gaussian_sums(scale / 2.0);
  return {4.0 * g[2] - 16.0 * g[1] + 8.0 * g[0],
          kMomentSumTolerance * (4.0 * g[2] + 16.0 * g[1] + 8.0 * g[0])};
}

}  // namespace orvex::numeric
