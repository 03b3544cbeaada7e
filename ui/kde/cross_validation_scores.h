#pragma once
// Least-squares (LSCV) and biased (BCV2) cross-validation scores of a fix set for a list of
// candidate bandwidths, summed over every pair of fixes.
//
// Nothing of size n^2 is stored: the pairs are formed from the fixes as they are visited, so an
// animal with 100,000 fixes (5e9 pairs) needs memory for its fixes only. Two ways to the sums:
// - exact: every pair and every bandwidth (numeric/pair_sums.h: the same bits whatever the
//   number of threads or the instruction set);
// - moments: one pass over the pairs builds a histogram of squared distances with per-bin
//   moments (numeric/pair_moments.h), from which every bandwidth's Gaussian sums follow within
//   about 1e-15 relative; the candidates whose scores could be the lowest within that error
//   are then scored exactly, so the bandwidth chosen from the profile is the exact one's.
// - split: for large sets, the near pairs' moments for narrow kernels and the fixes' power
//   spectrum for wide ones (numeric/split_gaussian_sums.h), each sum within about 1e-12 of
//   the exact one with a stated bound; when the bounds leave one candidate for the lowest score,
//   it is the exact scan's choice and no exact sum is needed; several are scored exactly while
//   that stays affordable (else the lowest is taken).
// The automatic choice takes the cheapest: exact for few bandwidths or pairs, then the moments,
// then the split sums (chosen by their cost model).

#include <cstdint>
#include <span>
#include <vector>

#include "host/progress.h"
#include "numeric/pair_sums.h"
#include "numeric/simd_level.h"
#include "ui/kde/kde_math.h"

namespace orvex::ui {

enum class CrossValidationKind { lscv, bcv2 };

/// How the pair sums of a set of bandwidths are formed (see above).
enum class PairSumMethod { automatic, exact, moments, split };

/// Work split and method of the pair sums. Tests shrink the chunks to put chunk boundaries
/// inside a row of pairs, and force a method.
struct PairScanOptions {
  /// Pairs per chunk of the sums (chunks are whole rows of pairs; raised automatically so that
  /// a fix set never has more than numeric::kMaxPairChunks chunks).
  std::uint64_t chunkPairs = std::uint64_t{1} << 18;
  /// Threads of the sums, as the application sets them; 0 means one per hardware thread.
  /// Results never depend on it.
  unsigned threads = 0;
  PairSumMethod method = PairSumMethod::automatic;
  /// Whether the automatic choice may take the split sums (off: the pair-by-pair paths only).
  bool allowSplit = true;
  /// Vector instruction set of the exact sums (capped at what the processor runs). Every level
  /// gives the same bits.
  numeric::SimdLevel simd = numeric::best_simd_level();
};

/// The fixes of one animal and the pair sums of their cross-validation scores.
class PairDistanceSet {
 public:
  /// Bandwidths scored in one pass over the pairs.
  static constexpr std::size_t kScoresPerPass = 256;

  /// Copies the fixes.
  void Assign(std::span<const CoordPair> coords, const PairScanOptions& options);

  [[nodiscard]] std::span<const CoordPair> Coords() const { return coords_; }

  /// scores[k] = the LSCV or BCV2 score of bandwidths[k] (same sizes). A score the formulas
  /// cannot give (h = 0, n = 2 for BCV2, overflow) comes back as an infinity or NaN; the
  /// caller treats a non-finite score as the run-time error of that bandwidth.
  /// `progress` is called on the calling thread while the pairs are visited; when it returns
  /// false the scoring stops and Scores returns false (the scores are then unset).
  bool Scores(CrossValidationKind kind, std::span<const double> bandwidths, std::span<double> scores,
              const host::ProgressFn& progress = {}) const;
  /// The method the last Scores call used (exact, moments or split).
  [[nodiscard]] PairSumMethod LastMethod() const { return lastMethod_; }

 private:
  bool ExactScores(CrossValidationKind kind, std::span<const double> bandwidths, std::span<double> scores,
                   const host::ProgressFn& progress) const;
  bool MomentScores(CrossValidationKind kind, std::span<const double> bandwidths, std::span<double> scores,
                    const host::ProgressFn& progress) const;
  // Scores from estimates with error bounds; the candidates that could be the lowest are scored
  // exactly (a sole one kept as it is when keepSoleCandidate).
  bool ScoresFromEstimates(CrossValidationKind kind, std::span<const double> bandwidths,
                           std::span<const numeric::PairSumEstimate> estimates, std::span<double> scores,
                           const host::ProgressFn& progress, bool keepSoleCandidate) const;
  [[nodiscard]] bool MomentsPayOff(std::size_t bandwidthCount) const;
  // Sum over pairs of the kind's pair term, one sum per bandwidth (at most kScoresPerPass).
  bool PairSums(CrossValidationKind kind, std::span<const double> bandwidths, std::span<double> sums,
                const host::ProgressFn& progress) const;

  std::vector<CoordPair> coords_;
  std::vector<double> x_;
  std::vector<double> y_;
  std::uint64_t pairCount_ = 0;
  std::uint64_t chunkPairs_ = 1;
  unsigned threads_ = 0;
  PairSumMethod method_ = PairSumMethod::automatic;
  bool allowSplit_ = true;
  numeric::SimdLevel simd_ = numeric::best_simd_level();
  mutable PairSumMethod lastMethod_ = PairSumMethod::exact;
};

}  // namespace orvex::ui
