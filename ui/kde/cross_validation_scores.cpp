#include "ui/kde/cross_validation_scores.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "numeric/fixed_chunks.h"
#include "numeric/pair_moments.h"
#include "numeric/split_gaussian_sums.h"

namespace orvex::ui {

namespace {

// The moments pay off when the bandwidths are many: building the histogram costs about as many
// exact sums as numeric::kPairMomentsCostInExactSums, the exact re-scoring at least one more, and
// a few tens of thousands of pairs make its fixed cost (clearing and reading every bin) small.
constexpr double kMomentsOverheadInExactSums = numeric::kPairMomentsCostInExactSums + 2.0;
constexpr std::uint64_t kMinPairsForMoments = 20'000;
// Candidates of the split sums are re-scored exactly only while that costs at most this many
// pair terms (a few seconds); beyond, the candidate with the lowest score is taken.
constexpr double kMaxExactRescoreTerms = 2e9;

// The score of bandwidth h from the kind's pair sum (formulas of the two scores).
double ScoreFromPairSum(CrossValidationKind kind, double sum, double n, double h) {
  const double h2 = h * h;
  if (kind == CrossValidationKind::lscv) {
    const double k0 = 1.0 / gis::kTwoPi;    // K(0)
    const double k20 = 1.0 / gis::kFourPi;  // K2(0)
    return (2.0 * sum + n * (k20 - 2.0 * k0)) / (n * n * h2) + 2.0 * k0 / (n * h2);
  }
  return 2.0 * sum / (h2 * (n - 2.0) * (n - 1.0) * 8.0 * gis::kPi) + 1.0 / ((n - 1.0) * gis::kFourPi * h2);
}

// The numeric library's pair term of each kind: the LSCV sum is K2(u) - 2 K(u) summed, which
// is that term over 4 pi.
numeric::PairTerm TermOf(CrossValidationKind kind) {
  return kind == CrossValidationKind::lscv ? numeric::PairTerm::lscv : numeric::PairTerm::bcv2;
}
double TermFactor(CrossValidationKind kind) {
  return kind == CrossValidationKind::lscv ? 1.0 / gis::kFourPi : 1.0;
}

}  // namespace

void PairDistanceSet::Assign(std::span<const CoordPair> coords, const PairScanOptions& options) {
  coords_.assign(coords.begin(), coords.end());
  x_.resize(coords_.size());
  y_.resize(coords_.size());
  for (std::size_t i = 0; i < coords_.size(); ++i) x_[i] = coords_[i][0], y_[i] = coords_[i][1];
  const std::uint64_t n = coords_.size();
  pairCount_ = n < 2 ? 0 : n * (n - 1) / 2;
  chunkPairs_ = options.chunkPairs;
  threads_ = options.threads;
  method_ = options.method;
  allowSplit_ = options.allowSplit;
  simd_ = options.simd;
}

bool PairDistanceSet::PairSums(CrossValidationKind kind, std::span<const double> bandwidths,
                               std::span<double> sums, const host::ProgressFn& progress) const {
  // (d / h)^2 is formed as d^2 * (1 / h^2): no square root or division per pair and bandwidth,
  // a few ulps from the quotient squared.
  std::vector<double> scales(bandwidths.size());
  for (std::size_t m = 0; m < bandwidths.size(); ++m) scales[m] = 1.0 / (bandwidths[m] * bandwidths[m]);
  const bool done = numeric::pair_term_sums(
      TermOf(kind), x_, y_, scales, sums, {.chunk_pairs = chunkPairs_, .threads = threads_, .level = simd_},
      [&](double fraction) { return !progress || progress(fraction, {}); });
  for (double& sum : sums) sum *= TermFactor(kind);
  return done;
}

bool PairDistanceSet::Scores(CrossValidationKind kind, std::span<const double> bandwidths,
                             std::span<double> scores, const host::ProgressFn& progress) const {
  const bool moments = method_ == PairSumMethod::moments || method_ == PairSumMethod::split ||
                       (method_ == PairSumMethod::automatic && MomentsPayOff(bandwidths.size()));
  lastMethod_ = moments ? PairSumMethod::moments : PairSumMethod::exact;
  return moments ? MomentScores(kind, bandwidths, scores, progress)
                 : ExactScores(kind, bandwidths, scores, progress);
}

bool PairDistanceSet::MomentsPayOff(std::size_t bandwidthCount) const {
  return pairCount_ >= kMinPairsForMoments &&
         static_cast<double>(bandwidthCount) > kMomentsOverheadInExactSums;
}

bool PairDistanceSet::ExactScores(CrossValidationKind kind, std::span<const double> bandwidths,
                                  std::span<double> scores, const host::ProgressFn& progress) const {
  const double n = static_cast<double>(coords_.size());
  std::vector<double> sums(kScoresPerPass);
  const double passes =
      std::ceil(static_cast<double>(bandwidths.size()) / static_cast<double>(kScoresPerPass));
  for (std::size_t start = 0; start < bandwidths.size(); start += kScoresPerPass) {
    const std::size_t count = std::min(kScoresPerPass, bandwidths.size() - start);
    const auto pass = bandwidths.subspan(start, count);
    const double done = static_cast<double>(start / kScoresPerPass);
    if (!PairSums(kind, pass, std::span(sums).first(count),
                  host::scaledProgress(progress, done / passes, (done + 1.0) / passes))) {
      return false;
    }
    for (std::size_t k = 0; k < count; ++k) scores[start + k] = ScoreFromPairSum(kind, sums[k], n, pass[k]);
  }
  return true;
}

bool PairDistanceSet::MomentScores(CrossValidationKind kind, std::span<const double> bandwidths,
                                   std::span<double> scores, const host::ProgressFn& progress) const {
  if (bandwidths.empty()) return true;
  const auto [hMin, hMax] = std::minmax_element(bandwidths.begin(), bandwidths.end());
  const double betaMin =
      kind == CrossValidationKind::lscv ? 1.0 / (4.0 * *hMax * *hMax) : 1.0 / (2.0 * *hMax * *hMax);
  const double betaMax = 1.0 / (2.0 * *hMin * *hMin);
  // h = 0, a NaN or a range too wide for the histogram: the exact sums say what the formulas
  // give there.
  if (!std::isfinite(betaMax) || !(betaMin > 0.0) ||
      !numeric::PairMoments::fits_beta_range(betaMin, betaMax)) {
    return ExactScores(kind, bandwidths, scores, progress);
  }
  const double n = static_cast<double>(coords_.size());
  std::vector<numeric::PairSumEstimate> estimates(bandwidths.size());
  if (method_ == PairSumMethod::split || (method_ == PairSumMethod::automatic && allowSplit_)) {
    // The split sums (near pairs and spectrum) when they cost less than the histogram.
    const std::size_t evaluations = bandwidths.size() * (kind == CrossValidationKind::lscv ? 2 : 1);
    // The build reports its near pairs and spectrum; the rare exact re-scoring the rest. A stop
    // in the build is a cancel, not a reason to try the histogram.
    constexpr double kSplitShare = 0.95;
    const host::ProgressFn splitProgress = host::scaledProgress(progress, 0.0, kSplitShare);
    bool cancelled = false;
    const auto split = numeric::SplitGaussianSums::build(
        x_, y_, betaMin, betaMax,
        {.evaluations = evaluations, .threads = threads_, .force = method_ == PairSumMethod::split},
        [&](double fraction) {
          cancelled = splitProgress && !splitProgress(fraction, {});
          return !cancelled;
        });
    if (cancelled) return false;
    if (split) {
      lastMethod_ = PairSumMethod::split;
      numeric::run_fixed_chunks(bandwidths.size(), threads_, [&](std::size_t k) {
        const double h = bandwidths[k];
        if (kind == CrossValidationKind::lscv) {
          // sum_{i<j} (e_q - 4 e_h) = (S_q - 4 S_h + 3 n) / 2 from the ordered sums.
          const auto q = split->sums(1.0 / (4.0 * h * h));
          const auto half = split->sums(1.0 / (2.0 * h * h));
          estimates[k] = {(q.s0 - 4.0 * half.s0 + 3.0 * n) / 2.0, (q.s0_error + 4.0 * half.s0_error) / 2.0};
        } else {
          const auto b = split->sums(1.0 / (2.0 * h * h));
          estimates[k] = {(b.bcv - 8.0 * n) / 2.0, b.bcv_error / 2.0};
        }
      });
      return ScoresFromEstimates(kind, bandwidths, estimates, scores,
                                 host::scaledProgress(progress, kSplitShare, 1.0), true);
    }
  }
  // Building the histogram is about as much work as the exact re-scoring pass (see the costs).
  constexpr double kBuildShare = 0.75;
  const host::ProgressFn buildProgress = host::scaledProgress(progress, 0.0, kBuildShare);
  const auto moments = numeric::build_pair_moments(x_, y_, betaMin, betaMax, threads_, [&](double fraction) {
    return !buildProgress || buildProgress(fraction, {});
  });
  if (!moments) return false;
  numeric::run_fixed_chunks(bandwidths.size(), threads_, [&](std::size_t k) {
    const double h = bandwidths[k];
    estimates[k] = numeric::pair_term_sum_from_moments(TermOf(kind), *moments, 1.0 / (h * h));
  });
  return ScoresFromEstimates(kind, bandwidths, estimates, scores,
                             host::scaledProgress(progress, kBuildShare, 1.0), false);
}

bool PairDistanceSet::ScoresFromEstimates(CrossValidationKind kind, std::span<const double> bandwidths,
                                          std::span<const numeric::PairSumEstimate> estimates,
                                          std::span<double> scores, const host::ProgressFn& progress,
                                          bool keepSoleCandidate) const {
  const double n = static_cast<double>(coords_.size());
  std::vector<double> errors(bandwidths.size());
  double lowestReach = std::numeric_limits<double>::infinity();
  for (std::size_t k = 0; k < bandwidths.size(); ++k) {
    const double sum = estimates[k].sum * TermFactor(kind);
    const double error = estimates[k].error * TermFactor(kind);
    scores[k] = ScoreFromPairSum(kind, sum, n, bandwidths[k]);
    // The score is affine in the sum: its error is the sum's error times the sum's factor.
    errors[k] = std::abs(ScoreFromPairSum(kind, sum + error, n, bandwidths[k]) - scores[k]) +
                4.0 * std::numeric_limits<double>::epsilon() * std::abs(scores[k]);
    if (std::isfinite(scores[k])) lowestReach = std::min(lowestReach, scores[k] + errors[k]);
  }

  // Every candidate whose exact score could be the lowest is scored exactly.
  std::vector<std::size_t> candidates;
  std::vector<double> candidateH;
  for (std::size_t k = 0; k < bandwidths.size(); ++k) {
    if (!std::isfinite(scores[k]) || scores[k] - errors[k] <= lowestReach) {
      candidates.push_back(k);
      candidateH.push_back(bandwidths[k]);
    }
  }
  // A sole candidate is the exact scan's choice already (every other score is clear of it).
  if (keepSoleCandidate &&
      (candidates.size() == 1 ||
       static_cast<double>(pairCount_) * static_cast<double>(candidates.size()) > kMaxExactRescoreTerms)) {
    return true;
  }
  std::vector<double> exact(candidates.size());
  if (!ExactScores(kind, candidateH, exact, progress)) return false;
  for (std::size_t c = 0; c < candidates.size(); ++c) scores[candidates[c]] = exact[c];
  return true;
}

}  // namespace orvex::ui
