#pragma once
// Gaussian pair sums for many bandwidths from one pass over the pairs.
//
// The cross-validation scores need, for every candidate bandwidth, sums over all pairs of fixes
// of x^k e^{-x} with x = beta * d2 (d2 the squared pair distance, beta = 1 / (2 h^2) or
// 1 / (4 h^2), k = 0, 1, 2). Summing the pairs once per bandwidth costs n^2 x bandwidths.
// Instead one O(n^2) pass sorts every d2 into a bin by its floating-point bits (exponent and
// the top kMantissaBits of the mantissa, so a bin spans 2^-10 of its values) and keeps per bin
// the moments sum s^m, m = 0 .. kMoments - 1, of s = (d2 - c) / c about the bin centre c. Each
// bandwidth then costs one pass over the bins:
//
//   sum over the bin of x^k e^{-x} = e^{-X} X^k sum_m (-X)^m / m! * sum_pairs s^m (1 + s)^k,
//   X = beta * c,
//
// Error: |s| <= 2^-11, and bins with X > kCutoff (every term below e^-745, which is 0 in double
// arithmetic) are dropped, so |X s| <= 746 * 2^-11 < 0.365. The series of e^{-Xs} is cut after
// the first term below 2^-60 of the leading one; for |Xs| < 0.365 that is at m <= 13, and the
// remainder, with e^{|Xs|} < 1.45 for the Lagrange factor, stays below 2e-17 relative to the
// bin's sum. The moments are sums of positive-and-negative powers below 2^-11 each, formed with
// a relative error of a few ulps per power, so every bin's sum is within a few 1e-16 relative
// of the exact one, and every G_k (all its terms positive) within about 1e-15 relative.
// Squared distances below 2^E0, where beta_max * 2^E0 < 0.365, share one bin centred at 0
// (s = d2 / 2^E0 in [0, 1), series in -beta 2^E0 s, the same bound); d2 = 0 (repeated
// positions) contributes exactly 1 to G_0 and 0 to G_1, G_2. Distances beyond the last octave
// in which beta_min * d2 can stay below kCutoff add nothing and are not stored. The bins are
// read in increasing d2 and the reading stops once all remaining pairs together add less than
// 2^-64 of every sum so far.
//
// The fixes are first put in Z order (nearby fixes next to each other), so that a few rows
// against a block of columns fill few bins and the bins stay in cache. Distances, bins and s are formed
// eight partners at a time, and the sixteen powers of a pair are added to its bin as two vectors
// of eight (numeric/simd_kernels.h), with the products and additions of the pair-by-pair loop: the same
// bits on every instruction set. Pairs are then cut into
// chunks of rows that depend only on n; each chunk fills its own histogram, and the histograms
// are added in chunk order, so the result is the same with any number of threads.

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <utility>
#include <vector>

namespace orvex::numeric {

/// Moments of the squared pair distances of a fix set, per bin of d2.
class PairMoments {
 public:
  static constexpr int kMantissaBits = 10;
  static constexpr std::size_t kBinsPerOctave = std::size_t{1} << kMantissaBits;
  static constexpr std::size_t kMoments = 16;
  /// Arguments x above this give e^{-x} = 0 in double arithmetic (e^{-745.14} is the last
  /// subnormal); their pairs are dropped.
  static constexpr double kCutoff = 746.0;
  /// Largest histogram (octaves) built; a beta range that needs more is left to the exact sum.
  static constexpr int kMaxOctaves = 96;

  /// An empty histogram for sums at beta in [beta_min, beta_max] (0 < beta_min <= beta_max,
  /// finite); nullopt when the range needs more than kMaxOctaves octaves.
  static std::optional<PairMoments> for_beta_range(double beta_min, double beta_max);
  /// Whether for_beta_range gives a histogram, without making one (it holds megabytes).
  static bool fits_beta_range(double beta_min, double beta_max);
  /// As for_beta_range, for pairs with d2 < d2_limit only (limit_distance(d2_limit) applied):
  /// the octaves above the limit, which would stay empty, are not held.
  static std::optional<PairMoments> for_beta_range_below(double beta_min, double beta_max, double d2_limit);

  /// Adds the pairs (i, j), i < j, of rows i in [row_begin, row_end).
  void add_rows(std::span<const double> x, std::span<const double> y, std::size_t row_begin,
                std::size_t row_end);
  /// Adds the pairs of fixes rows [row_begin, row_end) x columns [col_begin, col_end); a block
  /// against itself (equal ranges) adds each pair (i, j), i < j, once. With `weights` (one per
  /// fix, whole numbers: fixes standing for that many at one position) pair (i, j) counts
  /// weights[i] * weights[j] times; empty weights count each pair once.
  void add_block(std::span<const double> x, std::span<const double> y, std::span<const double> weights,
                 std::size_t row_begin, std::size_t row_end, std::size_t col_begin, std::size_t col_end);
  /// Adds `count` pairs at distance 0 (repeated positions): each adds exactly 1 to G_0, 0 to
  /// G_1 and G_2. `count` is a whole number below 2^53.
  void add_coincident_pairs(double count) { moments_[0] += count; }
  /// Pairs added from now on with d2 >= d2_limit are left out (the near-pair histogram).
  void limit_distance(double d2_limit);
  /// Adds another histogram of the same range, bin by bin. Merged into an empty histogram, a
  /// histogram keeps its bits (0 + v = v), so a pass may fill the first of its parts in place.
  void merge(const PairMoments& other);

  /// {sum x^0 e^-x, sum x e^-x, sum x^2 e^-x} over the pairs added, x = beta * d2. beta must
  /// lie in the range given at construction.
  std::array<double, 3> gaussian_sums(double beta) const;
  /// Lists the mantissa bins that hold pairs, so that gaussian_sums visits only those (the same
  /// bins in the same order, so the same sums): call it once the pairs are all added. Adding
  /// or merging pairs afterwards drops the list; coincident pairs, which only the pooled bin
  /// holds, leave it as it is.
  void index_bins();

  /// Bytes held.
  std::size_t byte_size() const { return moments_.size() * sizeof(double); }
  /// Octaves held (the cost of one gaussian_sums call is proportional to them).
  int octaves() const { return octaves_; }

 private:
  PairMoments(int first_exponent, int octaves);
  // The first exponent and octaves for the beta range; nullopt as for_beta_range.
  static std::optional<std::pair<int, int>> octave_range(double beta_min, double beta_max);

  // Bin 0 is the pooled bin below 2^first_exponent_; bin 1 + k is the k-th mantissa bin.
  int first_exponent_ = 0;
  int octaves_ = 0;
  double pooled_scale_ = 1.0;  // 2^first_exponent_
  std::uint64_t first_bits_ = 0;
  std::uint64_t end_bits_ = 0;           // bits of 2^(first_exponent_ + octaves_)
  std::vector<double> moments_;          // (1 + octaves * kBinsPerOctave) x kMoments
  std::uint64_t binned_pairs_ = 0;       // pairs in the mantissa bins
  std::vector<std::uint32_t> occupied_;  // mantissa bins holding pairs, ascending, when indexed_
  bool indexed_ = false;
};

/// The histograms of one pass's chunks, a group of chunks at a time, merged into the pass's
/// histogram in chunk order so that the sums never depend on the threads. The pass's first chunk
/// fills the pass's histogram (still empty) in place, as merging it into zeros would keep its
/// bits: a pass of one chunk, a small set, copies no histogram at all.
class ChunkHistograms {
 public:
  /// `total` must be empty; it is filled by the chunks of the groups started.
  ChunkHistograms(PairMoments& total, std::size_t chunks);
  /// A group of `count` chunks from chunk `first`, each in an empty histogram.
  void start(std::size_t first, std::size_t count);
  /// The histogram of the group's k-th chunk; distinct k may be filled on distinct threads.
  PairMoments& of(std::size_t k) { return k < in_place_ ? total_ : parts_[k - in_place_]; }
  /// Adds the group's histograms, in chunk order, to the pass's.
  void merge();

 private:
  PairMoments& total_;
  std::optional<PairMoments> empty_;
  std::vector<PairMoments> parts_;
  std::size_t in_place_ = 0;  // 1 while the group holds the pass's first chunk
};

/// Progress of a long pass: called with the fraction done (0 to 1) between groups of chunks;
/// returning false stops the pass. An empty function reports nothing.
using ProgressCallback = std::function<bool(double fraction)>;

/// The histogram of every pair of the fixes (x[i], y[i]) for sums at beta in [beta_min,
/// beta_max], built in fixed chunks on up to `threads` threads (0 = one per hardware thread).
/// When `progress` returns false the build stops and nullopt is returned. Also nullopt when the
/// beta range needs too many octaves.
std::optional<PairMoments> build_pair_moments(std::span<const double> x, std::span<const double> y,
                                              double beta_min, double beta_max, unsigned threads,
                                              const ProgressCallback& progress);

/// Building a histogram costs about as much as this many exact pair sums of one bandwidth each
/// (measured in CPU time: some 5.4 ns per pair for the build, 1.9 ns per pair and bandwidth for
/// the exact sums in AVX-512 vectors, on the same 2-core x86-64 machine); a caller uses it to
/// choose by cost.
inline constexpr double kPairMomentsCostInExactSums = 3.0;

}  // namespace orvex::numeric
