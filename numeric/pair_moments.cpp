#include "numeric/pair_moments.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <type_traits>
#include <utility>

#include "numeric/fixed_chunks.h"
#include "numeric/pair_chunks.h"
#include "numeric/simd_kernels.h"

namespace orvex::numeric {

namespace {

constexpr int kMantissaShift = 52 - PairMoments::kMantissaBits;
// |beta * d2 * s| bound at which the series is built (see the header): the pooled bin below
// 2^E0 keeps beta_max * 2^E0 under it.
constexpr double kSeriesArgumentBound = 0.365;
// The series stops at the first term whose bound falls below 2^-60 of the leading term, or at
// the last index the stored moments allow for k = 2.
constexpr double kSeriesTermFloor = 0x1p-60;
constexpr std::size_t kLastSeriesTerm = PairMoments::kMoments - 3;
// Powers of a pooled s below this add under 2^-128 relative and would be subnormal.
constexpr double kPooledPowerFloor = 0x1p-64;
// |s| within a mantissa bin.
constexpr double kHalfBin = 0x1p-11;
// e^{X |s|} <= e^{0.365} < 1.45 within a bin that is evaluated.
constexpr double kWithinBinGrowth = 1.45;
// The bins come in increasing X. Once every pair still to come adds, all together, less than
// 2^-64 of each sum so far, the rest is left out: for x >= 2 each x^k e^{-x} (k <= 2) falls with
// x, so the remaining pairs add at most remaining * X^2 e^{-X} * kWithinBinGrowth.
constexpr double kNegligibleRest = 0x1p-64;
constexpr double kFallingFrom = 2.0;

// 1 / m for the series coefficients.
constexpr auto kInverse = [] {
  std::array<double, PairMoments::kMoments> inverse{};
  for (std::size_t m = 1; m < inverse.size(); ++m) inverse[m] = 1.0 / static_cast<double>(m);
  return inverse;
}();
// Chunks of a build run together and are then added in order; the count bounds the
// histograms in memory and never depends on the thread count.
constexpr std::size_t kChunksPerGroup = 16;
constexpr std::uint64_t kPairsPerChunk = std::uint64_t{1} << 20;
constexpr std::size_t kColumnBlock = 256;
// Cells per side of the grid on which the space-filling order is taken.
constexpr double kOrderCells = 65535.0;

// Interleaves the bits of two 16-bit cell numbers (a Z-order key).
std::uint32_t z_order_key(std::uint32_t cx, std::uint32_t cy) {
  auto spread = [](std::uint32_t v) {
    v = (v | (v << 8)) & 0x00FF00FFU;
    v = (v | (v << 4)) & 0x0F0F0F0FU;
    v = (v | (v << 2)) & 0x33333333U;
    return (v | (v << 1)) & 0x55555555U;
  };
  return spread(cx) | (spread(cy) << 1);
}

// The fixes in Z order over their bounding box (ties in input order). The pairs are the same
// pairs in any order; this one makes the distances of nearby rows and columns alike.
void z_order(std::span<const double> x, std::span<const double> y, std::vector<double>& ox,
             std::vector<double>& oy) {
  const auto [xMin, xMax] = std::minmax_element(x.begin(), x.end());
  const auto [yMin, yMax] = std::minmax_element(y.begin(), y.end());
  const double sx = *xMax > *xMin ? kOrderCells / (*xMax - *xMin) : 0.0;
  const double sy = *yMax > *yMin ? kOrderCells / (*yMax - *yMin) : 0.0;
  std::vector<std::pair<std::uint32_t, std::size_t>> keys(x.size());
  for (std::size_t i = 0; i < x.size(); ++i) {
    const auto cx = static_cast<std::uint32_t>(std::clamp((x[i] - *xMin) * sx, 0.0, kOrderCells));
    const auto cy = static_cast<std::uint32_t>(std::clamp((y[i] - *yMin) * sy, 0.0, kOrderCells));
    keys[i] = {z_order_key(cx, cy), i};
  }
  std::sort(keys.begin(), keys.end());
  ox.resize(x.size());
  oy.resize(y.size());
  for (std::size_t i = 0; i < keys.size(); ++i) {
    ox[i] = x[keys[i].second];
    oy[i] = y[keys[i].second];
  }
}

std::uint64_t exponent_bits(int exponent) { return static_cast<std::uint64_t>(exponent + 1023) << 52; }

// The exact middle of the bin whose low edge has these bits: the bit below the bin's mantissa
// bits set.
double bin_centre(std::uint64_t low_edge) {
  return std::bit_cast<double>(low_edge | (std::uint64_t{1} << (kMantissaShift - 1)));
}

// Adds w s^0 .. w s^15 to the 16 moments of one bin (w = 1 adds the powers' own bits). The
// powers come from a tree of products so that none is more than four roundings from s.
void add_powers(double* bin, double s, bool pooled, double w) {
  std::array<double, PairMoments::kMoments> p{};
  p[0] = 1.0;
  p[1] = s;
  if (!(pooled && s < kPooledPowerFloor)) {
    p[2] = s * s;
    p[3] = p[2] * s;
    p[4] = p[2] * p[2];
    p[5] = p[4] * s;
    p[6] = p[4] * p[2];
    p[7] = p[4] * p[3];
    p[8] = p[4] * p[4];
    for (std::size_t m = 9; m < PairMoments::kMoments; ++m) p[m] = p[8] * p[m - 8];
  }
  for (std::size_t m = 0; m < PairMoments::kMoments; ++m) bin[m] += w * p[m];
}

// T_j = sum_m c_m M_{m+j}, j = 0, 1, 2, with c_m = (-X)^m / m!, for a bin whose |s| is at most
// sBound.
std::array<double, 3> series_sums(const double* bin, double X, double sBound) {
  std::array<double, 3> t{bin[0], bin[1], bin[2]};
  double c = 1.0;
  double bound = 1.0;
  const double y = X * sBound;
  for (std::size_t m = 1; m <= kLastSeriesTerm; ++m) {
    c *= -X * kInverse[m];
    bound *= y * kInverse[m];
    if (bound < kSeriesTermFloor) break;
    t[0] += c * bin[m];
    t[1] += c * bin[m + 1];
    t[2] += c * bin[m + 2];
  }
  return t;
}

}  // namespace

PairMoments::PairMoments(int first_exponent, int octaves)
    : first_exponent_(first_exponent),
      octaves_(octaves),
      pooled_scale_(std::ldexp(1.0, first_exponent)),
      first_bits_(exponent_bits(first_exponent)),
      end_bits_(exponent_bits(first_exponent + octaves)),
      moments_((1 + static_cast<std::size_t>(octaves) * kBinsPerOctave) * kMoments, 0.0) {}

std::optional<std::pair<int, int>> PairMoments::octave_range(double beta_min, double beta_max) {
  if (!(beta_min > 0.0) || !(beta_max >= beta_min) || !std::isfinite(beta_max)) return std::nullopt;
  // 2^first * beta_max <= kSeriesArgumentBound; 2^end * beta_min >= kCutoff.
  const int first = std::max(-1022, static_cast<int>(std::floor(std::log2(kSeriesArgumentBound / beta_max))));
  const int end = std::min(1024, static_cast<int>(std::ceil(std::log2(kCutoff / beta_min))));
  if (end <= first) return std::pair{first, 0};
  if (end - first > kMaxOctaves) return std::nullopt;
  return std::pair{first, end - first};
}

std::optional<PairMoments> PairMoments::for_beta_range(double beta_min, double beta_max) {
  const auto range = octave_range(beta_min, beta_max);
  if (!range) return std::nullopt;
  return PairMoments(range->first, range->second);
}

bool PairMoments::fits_beta_range(double beta_min, double beta_max) {
  return octave_range(beta_min, beta_max).has_value();
}

std::optional<PairMoments> PairMoments::for_beta_range_below(double beta_min, double beta_max,
                                                             double d2_limit) {
  const auto range = octave_range(beta_min, beta_max);
  if (!range) return std::nullopt;
  auto [first, octaves] = *range;
  if (d2_limit > 0.0 && std::isfinite(d2_limit)) {
    // d2_limit <= 2^e: every pair kept lies below 2^(first + octaves) with octaves = e - first.
    int e = 0;
    std::frexp(d2_limit, &e);
    octaves = std::clamp(e - first, 0, octaves);
  }
  PairMoments h(first, octaves);
  h.limit_distance(d2_limit);
  return h;
}

ChunkHistograms::ChunkHistograms(PairMoments& total, std::size_t chunks) : total_(total) {
  if (chunks > 1) empty_ = total;
}

void ChunkHistograms::start(std::size_t first, std::size_t count) {
  in_place_ = first == 0 && count > 0 ? 1 : 0;
  if (count > in_place_) {
    parts_.assign(count - in_place_, *empty_);
  } else {
    parts_.clear();
  }
}

void ChunkHistograms::merge() {
  for (const PairMoments& part : parts_) total_.merge(part);
}

namespace {

using Powers = Doubles8;  // s^0 .. s^7 (and s^8 .. s^15 as a second vector)

// Adds s^0 .. s^15 to the 16 moments of a mantissa bin, as add_powers does and with its products
// (s^2 = s s, s^3 = s^2 s, s^4 = s^2 s^2, s^5 .. s^7 = s^4 s^m, s^(8+m) = (s^4 s^4) s^m), formed
// by a prefix product over one vector: the same bits, in two vector additions. Weighted, each
// power is then multiplied by the pair's weight w (whole, so w = 1 leaves every bit).
template <bool Weighted>
[[gnu::always_inline]] inline void add_powers_in_vectors(double* bin, double s, double w) {
  const Powers ones = Powers{} + 1.0;
  Powers p = Powers{} + s;
  p[0] = 1.0;
  p = p * __builtin_shufflevector(p, ones, 8, 0, 1, 2, 3, 4, 5, 6);    // 1 s s^2 s^2 ...
  p = p * __builtin_shufflevector(p, ones, 8, 9, 0, 1, 2, 3, 4, 5);    // ... s^3 s^4 s^4 ...
  p = p * __builtin_shufflevector(p, ones, 8, 9, 10, 11, 0, 1, 2, 3);  // s^0 .. s^7
  const double s8 = p[4] * p[4];
  Powers low;
  Powers high;
  std::memcpy(&low, bin, sizeof(Powers));
  std::memcpy(&high, bin + 8, sizeof(Powers));
  if constexpr (Weighted) {
    low += p * w;
    high += p * s8 * w;
  } else {
    low += p;
    high += p * s8;
  }
  std::memcpy(bin, &low, sizeof(Powers));
  std::memcpy(bin + 8, &high, sizeof(Powers));
}

// Rows [row_begin, row_end) against columns [col_begin, col_end); `triangular` keeps only the
// columns j > i (one block of fixes against itself or the rows of a pass against all later rows).
struct RowsJob {
  std::span<const double> x;
  std::span<const double> y;
  std::size_t row_begin;
  std::size_t row_end;
  std::size_t col_begin;
  std::size_t col_end;
  bool triangular;
  const double* weights;  // one per fix, or nullptr (each pair once)
  double inverse_pooled;
  std::uint64_t first_bits;
  std::uint64_t end_bits;
  double* bins;
  std::uint64_t* binned_pairs;
};

template <class Isa, bool Weighted>
[[gnu::always_inline]] inline void add_rows_kernel(const RowsJob& job, std::bool_constant<Weighted>) {
  const double* x = job.x.data();
  const double* y = job.y.data();
  const double* w = job.weights;
  std::uint64_t binned = 0;
  // Columns in blocks: with the fixes in a space-filling order (see build_pair_moments), a few
  // rows against a block of columns are two small regions whose distances fill few bins, so the
  // bins stay in cache.
  for (std::size_t block_begin = job.col_begin; block_begin < job.col_end; block_begin += kColumnBlock) {
    const std::size_t block_end = std::min(job.col_end, block_begin + kColumnBlock);
    for (std::size_t i = job.row_begin; i < job.row_end && (!job.triangular || i + 1 < block_end); ++i) {
      const double xi = x[i];
      const double yi = y[i];
      double wi = 1.0;
      if constexpr (Weighted) wi = w[i];
      // One pair, its d2, its bits, its s about the bin centre given and its weight.
      auto add = [&](double d2, std::uint64_t bits, double s, double wij) __attribute__((always_inline)) {
        if (bits >= job.end_bits) return;
        if (bits < job.first_bits) {
          add_powers(job.bins, d2 * job.inverse_pooled, true, wij);
          return;
        }
        const std::size_t bin = 1 + static_cast<std::size_t>((bits - job.first_bits) >> kMantissaShift);
        add_powers_in_vectors<Weighted>(job.bins + bin * PairMoments::kMoments, s, wij);
        if constexpr (Weighted) {
          binned += static_cast<std::uint64_t>(wij);
        } else {
          ++binned;
        }
      };
      std::size_t j = job.triangular ? std::max(block_begin, i + 1) : block_begin;
      // Eight partners at a time: distances, bin centres and s in vectors (the same operations
      // as one at a time), then each pair to its bin in order.
      for (; j + kLanes <= block_end; j += kLanes) {
        Doubles8 px;
        Doubles8 py;
        std::memcpy(&px, x + j, sizeof(px));
        std::memcpy(&py, y + j, sizeof(py));
        const Doubles8 dx = xi - px;
        const Doubles8 dy = yi - py;
        const Doubles8 d2 = dx * dx + dy * dy;
        const auto bits = vector_bit_cast<Bits8>(d2);
        const Bits8 centre_bits =
            (bits >> kMantissaShift << kMantissaShift) | (std::uint64_t{1} << (kMantissaShift - 1));
        const auto centre = vector_bit_cast<Doubles8>(centre_bits);
        const Doubles8 s = (d2 - centre) / centre;
        if constexpr (Weighted) {
          Doubles8 pw;
          std::memcpy(&pw, w + j, sizeof(pw));
          const Doubles8 wij = wi * pw;
          for (std::size_t l = 0; l < kLanes; ++l) add(d2[l], bits[l], s[l], wij[l]);
        } else {
          for (std::size_t l = 0; l < kLanes; ++l) add(d2[l], bits[l], s[l], 1.0);
        }
      }
      for (; j < block_end; ++j) {
        const double dx = xi - x[j];
        const double dy = yi - y[j];
        const double d2 = dx * dx + dy * dy;
        const auto bits = std::bit_cast<std::uint64_t>(d2);
        const double centre = bin_centre(bits >> kMantissaShift << kMantissaShift);
        double wij = 1.0;
        if constexpr (Weighted) wij = wi * w[j];
        add(d2, bits, (d2 - centre) / centre, wij);
      }
    }
  }
  *job.binned_pairs += binned;
}

ORVEX_SIMD_CLONES(add_rows_at, add_rows_kernel)

}  // namespace

void PairMoments::add_rows(std::span<const double> x, std::span<const double> y, std::size_t row_begin,
                           std::size_t row_end) {
  indexed_ = false;
  static_assert(kMoments == 16, "the moments of a bin are two vectors of eight");
  add_rows_at(best_simd_level(),
              RowsJob{x, y, row_begin, row_end, row_begin + 1, x.size(), true, nullptr, 1.0 / pooled_scale_,
                      first_bits_, end_bits_, moments_.data(), &binned_pairs_},
              std::false_type{});
}

void PairMoments::add_block(std::span<const double> x, std::span<const double> y,
                            std::span<const double> weights, std::size_t row_begin, std::size_t row_end,
                            std::size_t col_begin, std::size_t col_end) {
  indexed_ = false;
  const bool same = row_begin == col_begin && row_end == col_end;
  const RowsJob job{x,
                    y,
                    row_begin,
                    row_end,
                    same ? row_begin + 1 : col_begin,
                    col_end,
                    same,
                    weights.empty() ? nullptr : weights.data(),
                    1.0 / pooled_scale_,
                    first_bits_,
                    end_bits_,
                    moments_.data(),
                    &binned_pairs_};
  if (weights.empty()) {
    add_rows_at(best_simd_level(), job, std::false_type{});
  } else {
    add_rows_at(best_simd_level(), job, std::true_type{});
  }
}

void PairMoments::limit_distance(double d2_limit) {
  // Positive doubles order as their bits.
  if (d2_limit > 0.0) end_bits_ = std::min(end_bits_, std::bit_cast<std::uint64_t>(d2_limit));
}

void PairMoments::merge(const PairMoments& other) {
  indexed_ = false;
  for (std::size_t k = 0; k < moments_.size(); ++k) moments_[k] += other.moments_[k];
  binned_pairs_ += other.binned_pairs_;
}

std::array<double, 3> PairMoments::gaussian_sums(double beta) const {
  const double* bin = moments_.data();
  const double pooled_x = beta * pooled_scale_;
  const auto pooled = series_sums(bin, pooled_x, 1.0);
  std::array<double, 3> g{pooled[0], pooled_x * pooled[1], pooled_x * pooled_x * pooled[2]};

  const std::size_t bin_count =
      indexed_ ? occupied_.size() : static_cast<std::size_t>(octaves_) * kBinsPerOctave;
  double remaining = static_cast<double>(binned_pairs_);
  for (std::size_t k = 0; k < bin_count; ++k) {
    const std::size_t b = indexed_ ? occupied_[k] : k;
    bin = moments_.data() + (1 + b) * kMoments;
    if (bin[0] == 0.0) continue;
    const double centre = bin_centre(first_bits_ + (static_cast<std::uint64_t>(b) << kMantissaShift));
    const double X = beta * centre;
    if (X * (1.0 - kHalfBin) > kCutoff) break;  // this and every later bin add exactly 0
    const double e = std::exp(-X);
    if (X * (1.0 - kHalfBin) >= kFallingFrom &&
        remaining * X * X * e * kWithinBinGrowth <= kNegligibleRest * std::min({g[0], g[1], g[2]})) {
      break;
    }
    remaining -= bin[0];
    const auto t = series_sums(bin, X, kHalfBin);
    g[0] += e * t[0];
    g[1] += e * X * (t[0] + t[1]);
    g[2] += e * X * X * (t[0] + 2.0 * t[1] + t[2]);
  }
  return g;
}

void PairMoments::index_bins() {
  occupied_.clear();
  const std::size_t bin_count = static_cast<std::size_t>(octaves_) * kBinsPerOctave;
  for (std::size_t b = 0; b < bin_count; ++b) {
    if (moments_[(1 + b) * kMoments] != 0.0) occupied_.push_back(static_cast<std::uint32_t>(b));
  }
  indexed_ = true;
}

std::optional<PairMoments> build_pair_moments(std::span<const double> x, std::span<const double> y,
                                              double beta_min, double beta_max, unsigned threads,
                                              const ProgressCallback& progress) {
  std::optional<PairMoments> total = PairMoments::for_beta_range(beta_min, beta_max);
  if (!total || x.size() < 2) return total;
  std::vector<double> ox;
  std::vector<double> oy;
  z_order(x, y, ox, oy);
  const std::vector<std::size_t> starts = pair_chunk_rows(x.size(), kPairsPerChunk);
  const std::size_t chunks = starts.size() - 1;
  const double n = static_cast<double>(x.size());
  ChunkHistograms group(*total, chunks);
  for (std::size_t first = 0; first < chunks; first += kChunksPerGroup) {
    const std::size_t count = std::min(kChunksPerGroup, chunks - first);
    group.start(first, count);
    run_fixed_chunks(count, threads, [&](std::size_t c) {
      group.of(c).add_rows(ox, oy, starts[first + c], starts[first + c + 1]);
    });
    group.merge();
    // Rows early in the order hold more pairs; the fraction counts pairs.
    const double done = static_cast<double>(starts[first + count]);
    const double fraction = done * (2.0 * n - done - 1.0) / (n * (n - 1.0));
    if (progress && !progress(fraction)) return std::nullopt;
  }
  total->index_bins();
  return total;
}

}  // namespace orvex::numeric
