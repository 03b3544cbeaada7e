#pragma once
// Least-squares (LSCV) and biased (BCV2) cross-validation scores of a fix set for a list of
// candidate bandwidths, summed over every pair of fixes.
//
// The squared pair distances are stored once per fix set while they fit in the configured
// memory budget and are computed on the fly beyond it, so that an animal with 100,000 fixes (5e9
// pairs) needs no 40 GB distance array. Both ways visit the pairs in the same order
// (i outer, j inner), cut into the same fixed chunks, and sum each chunk and then the chunks
// in order, so they give the same bits, whatever the number of threads.

#include <cstdint>
#include <span>
#include <vector>

#include "ui/kde/kde_math.h"

namespace orvex::ui {

enum class CrossValidationKind { lscv, bcv2 };

/// Memory and work split of the pair sums. The defaults suit a 24 GiB machine; tests shrink
/// them to force the on-the-fly path and chunk boundaries inside a row of pairs.
struct PairScanOptions {
  /// Largest number of pair distances kept in memory (8 bytes each); 2^25 = 256 MiB, about
  /// 8,200 fixes.
  std::uint64_t maxStoredPairs = std::uint64_t{1} << 25;
  /// Pairs per chunk of the sums (raised automatically so that a fix set never has more than
  /// kMaxPairChunks chunks).
  std::uint64_t chunkPairs = std::uint64_t{1} << 18;
  /// Threads of the sums; 0 means the host's setting. Results never depend on it.
  unsigned threads = 0;
};

/// The fixes of one animal and, when they fit, their squared pair distances.
class PairDistanceSet {
 public:
  /// Upper bound on the number of chunks, which bounds the per-chunk partial sums.
  static constexpr std::uint64_t kMaxPairChunks = 16384;
  /// Bandwidths scored in one pass over the pairs.
  static constexpr std::size_t kScoresPerPass = 256;

  /// Copies the fixes and stores the n(n-1)/2 squared distances (i < j, i outer) if they fit.
  void Assign(std::span<const CoordPair> coords, const PairScanOptions& options);

  [[nodiscard]] std::size_t FixCount() const { return coords_.size(); }
  [[nodiscard]] std::uint64_t PairCount() const { return pairCount_; }
  [[nodiscard]] bool StoresDistances() const { return stored_; }
  [[nodiscard]] std::span<const CoordPair> Coords() const { return coords_; }

  /// scores[k] = the LSCV or BCV2 score of bandwidths[k] (same sizes). A score the formulas
  /// cannot give (h = 0, n = 2 for BCV2, overflow) comes back as an infinity or NaN; the
  /// caller treats a non-finite score as the run-time error of that bandwidth.
  void Scores(CrossValidationKind kind, std::span<const double> bandwidths, std::span<double> scores) const;

 private:
  // Sum over pairs of the kind's pair term, one sum per bandwidth (at most kScoresPerPass).
  void PairSums(CrossValidationKind kind, std::span<const double> bandwidths, std::span<double> sums) const;
  // Adds the chunk's pair terms for the bandwidths given as 1 / h^2, largest h first.
  template <class Term>
  void AccumulateChunk(std::uint64_t chunk, std::span<const double> inverseSquares,
                       std::span<double> partial) const;

  std::vector<CoordPair> coords_;
  std::vector<double> squaredDistances_;
  std::uint64_t pairCount_ = 0;
  std::uint64_t chunkPairs_ = 1;
  unsigned threads_ = 0;
  bool stored_ = false;
};

/// Index of the first pair of row i (the pairs (i, j), j > i) among the n(n-1)/2 pairs.
std::uint64_t FirstPairOfRow(std::uint64_t n, std::uint64_t i);

}  // namespace orvex::ui
