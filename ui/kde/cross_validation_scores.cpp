#include "ui/kde/cross_validation_scores.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <limits>
#include <numeric>

#include "host/fixed_chunks.h"
#include "host/pair_moments.h"
#include "host/vector_exp.h"

namespace orvex::ui {

namespace {

// exp(t) is 0 in double arithmetic for t below about -745.13, so a pair whose exponent
// argument is below -746 adds exactly 0 to every sum and is skipped. (The guarded exponential
// of the formulas cuts at -1000, below the underflow, so the skip changes no bit.)
constexpr double kExpUnderflowArgument = 746.0;

// K2(u) - 2 K(u) of the LSCV sum, for a vector of u^2. e(-u^2/2) is taken as e(-u^2/4)
// squared: both arguments are exact scalings of u^2, so the square differs from a second exp by
// a few ulps (pinned by a test) and halves the exponentials of the scan.
struct LscvTerm {
  static constexpr double kCutoff = 4.0 * kExpUnderflowArgument;
  template <class V>
  [[gnu::always_inline]] static V Eval(V u2) {
    const V a = host::VectorExp(-u2 / 4.0);
    return a / gis::kFourPi - 2.0 * (a * a / gis::kTwoPi);
  }
};

// e(-D^2/2) (D^4 - 8 D^2 + 8) of the BCV2 sum.
struct Bcv2Term {
  static constexpr double kCutoff = 2.0 * kExpUnderflowArgument;
  template <class V>
  [[gnu::always_inline]] static V Eval(V u2) {
    return host::VectorExp(-u2 / 2.0) * (u2 * u2 - 8.0 * u2 + 8.0);
  }
};

std::uint64_t CeilDiv(std::uint64_t a, std::uint64_t b) { return a / b + (a % b != 0 ? 1 : 0); }

// Pairs of the exact sums whose distances are formed before their terms.
constexpr std::size_t kPairBlock = 1024;

// Chunks of the exact sums run between two progress reports (a count of the problem, never of
// the threads).
constexpr std::size_t kChunksPerReport = 64;

// Relative error assumed for each positive Gaussian sum from the moments: a thousand times the
// bound of the histogram's error analysis (about 1e-15), so that candidates that might hold the
// lowest exact score are never ruled out.
constexpr double kMomentSumTolerance = 1e-12;
// The moments pay off when the bandwidths are many: building the histogram costs about as many
// exact sums as host::kPairMomentsCostInExactSums, the exact re-scoring at least one more, and
// a few tens of thousands of pairs make its fixed cost (clearing and reading every bin) small.
constexpr double kMomentsOverheadInExactSums = host::kPairMomentsCostInExactSums + 2.0;
constexpr std::uint64_t kMinPairsForMoments = 20'000;

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

// The kind's pair sum from the Gaussian sums of the moments, and a bound on its error:
// LSCV: sum e(-u^2/4) / 4 pi - 2 e(-u^2/2) / 2 pi, u^2 = d^2 / h^2;
// BCV2: sum e(-D^2/2) (D^4 - 8 D^2 + 8) = 4 G2 - 16 G1 + 8 G0 with x = D^2 / 2.
struct MomentSum {
  double sum;
  double error;
};

MomentSum PairSumFromMoments(CrossValidationKind kind, const host::PairMoments& moments, double h) {
  const double h2 = h * h;
  if (kind == CrossValidationKind::lscv) {
    const double k2Part = moments.gaussianSums(1.0 / (4.0 * h2))[0] / gis::kFourPi;
    const double kPart = 2.0 * (moments.gaussianSums(1.0 / (2.0 * h2))[0] / gis::kTwoPi);
    return {k2Part - kPart, kMomentSumTolerance * (k2Part + kPart)};
  }
  const auto g = moments.gaussianSums(1.0 / (2.0 * h2));
  return {4.0 * g[2] - 16.0 * g[1] + 8.0 * g[0],
          kMomentSumTolerance * (4.0 * g[2] + 16.0 * g[1] + 8.0 * g[0])};
}

}  // namespace

std::uint64_t FirstPairOfRow(std::uint64_t n, std::uint64_t i) {
  // Rows 0 .. i-1 hold (n-1) + (n-2) + ... + (n-i) pairs; i(2n - i - 1) is always even.
  return i * (2 * n - i - 1) / 2;
}

namespace {

// dx^2 + dy^2: the one formula of both pair paths, so that they give the same bits.
double SquaredDistance(const CoordPair& a, const CoordPair& b) {
  const double dx = a[0] - b[0];
  const double dy = a[1] - b[1];
  return dx * dx + dy * dy;
}

// Visits the squared distances of pairs [first, last) computed from the fixes, in pair order.
template <class Visit>
[[gnu::always_inline]] inline void VisitPairsFromCoords(std::span<const CoordPair> coords,
                                                        std::uint64_t first, std::uint64_t last,
                                                        Visit&& visit) {
  const std::uint64_t n = coords.size();
  // The row of `first`: the largest i with FirstPairOfRow(n, i) <= first.
  std::uint64_t lo = 0;
  std::uint64_t hi = n - 1;
  while (hi - lo > 1) {
    const std::uint64_t mid = lo + (hi - lo) / 2;
    if (FirstPairOfRow(n, mid) <= first) {
      lo = mid;
    } else {
      hi = mid;
    }
  }
  std::size_t i = lo;
  std::size_t j = static_cast<std::size_t>(i + 1 + (first - FirstPairOfRow(n, i)));
  for (std::uint64_t p = first; p < last; ++p) {
    visit(SquaredDistance(coords[i], coords[j]));
    if (++j == n) {
      ++i;
      j = i + 1;
    }
  }
}

}  // namespace

void PairDistanceSet::Assign(std::span<const CoordPair> coords, const PairScanOptions& options) {
  coords_.assign(coords.begin(), coords.end());
  const std::uint64_t n = coords_.size();
  pairCount_ = n < 2 ? 0 : n * (n - 1) / 2;
  chunkPairs_ = std::max<std::uint64_t>({options.chunkPairs, CeilDiv(pairCount_, kMaxPairChunks), 1});
  threads_ = options.threads;
  method_ = options.method;
  simd_ = options.simd;
}

namespace {

// Adds the pair terms of pairs [first, last) to partial[m] for the bandwidths given as
// inverseSquares[m] = 1 / h^2, ascending (largest h first). The pairs run in vectors of
// kPairLanes: pair first + k goes to lane k mod kPairLanes, each lane adds its terms in pair
// order, and the lanes are added in lane order at the end. The lane count is fixed (the
// vector type is the same on every instruction set; only the instructions differ), so the
// sums are the same bits on every level.
template <class V, class Term>
[[gnu::always_inline]] inline void AccumulatePairs(Term, std::span<const CoordPair> coords,
                                                   std::uint64_t first, std::uint64_t last,
                                                   std::span<const double> inverseSquares, double* partial) {
  using Pairs = host::Doubles8;
  constexpr std::size_t kLanes = host::kLanes<Pairs>;
  static_assert(kPairBlock % kLanes == 0);
  const std::size_t count = inverseSquares.size();
  std::vector<double> laneSums(count * kLanes, 0.0);  // bandwidth m's lanes at m * kLanes
  alignas(64) std::array<double, kPairBlock> d2;
  for (std::uint64_t blockFirst = first; blockFirst < last; blockFirst += kPairBlock) {
    const auto filled = static_cast<std::size_t>(std::min<std::uint64_t>(kPairBlock, last - blockFirst));
    std::size_t k = 0;
    double nearest = std::numeric_limits<double>::infinity();
    VisitPairsFromCoords(
        coords, blockFirst, blockFirst + filled, [&](double v) __attribute__((always_inline)) {
          d2[k++] = v;
          nearest = std::min(nearest, v);
        });
    // The lanes of the last vector past the block hold an infinite distance: a term of 0.
    const std::size_t vectors = (filled + kLanes - 1) / kLanes;
    std::fill(d2.begin() + static_cast<std::ptrdiff_t>(filled),
              d2.begin() + static_cast<std::ptrdiff_t>(vectors * kLanes),
              std::numeric_limits<double>::infinity());
    for (std::size_t m = 0; m < count; ++m) {
      // u^2 = d^2 / h^2 only grows along the bandwidths: once the block's nearest pair is past
      // the cutoff, it adds exactly 0 here and to every later bandwidth.
      if (nearest * inverseSquares[m] > Term::kCutoff) break;
      const double inverse = inverseSquares[m];
      Pairs sum;
      std::memcpy(&sum, laneSums.data() + m * kLanes, sizeof(Pairs));
      for (std::size_t q = 0; q < vectors; ++q) {
        Pairs u2;
        std::memcpy(&u2, d2.data() + q * kLanes, sizeof(Pairs));
        u2 *= inverse;
        sum += u2 > Term::kCutoff ? Pairs{} : Term::template Eval<Pairs>(u2);
      }
      std::memcpy(laneSums.data() + m * kLanes, &sum, sizeof(Pairs));
    }
  }
  for (std::size_t m = 0; m < count; ++m) {
    double total = 0.0;
    for (std::size_t l = 0; l < kLanes; ++l) total += laneSums[m * kLanes + l];
    partial[m] += total;
  }
}

ORVEX_SIMD_CLONES(AccumulatePairsAt, AccumulatePairs)

}  // namespace

bool PairDistanceSet::PairSums(CrossValidationKind kind, std::span<const double> bandwidths,
                               std::span<double> sums, const host::ProgressFn& progress) const {
  const std::size_t count = bandwidths.size();
  std::fill(sums.begin(), sums.end(), 0.0);
  if (pairCount_ == 0 || count == 0) return true;

  // (d / h)^2 is formed as d^2 * (1 / h^2): no square root or division per pair and bandwidth,
  // a few ulps from the quotient squared. The bandwidths are taken from the largest down.
  std::vector<std::size_t> descending(count);
  std::iota(descending.begin(), descending.end(), std::size_t{0});
  std::stable_sort(descending.begin(), descending.end(),
                   [&](std::size_t a, std::size_t b) { return bandwidths[a] > bandwidths[b]; });
  const std::size_t padded = count;
  std::vector<double> inverseSquares(count);
  for (std::size_t m = 0; m < count; ++m) {
    const double h = bandwidths[descending[m]];
    inverseSquares[m] = 1.0 / (h * h);
  }

  const auto chunks = static_cast<std::size_t>(CeilDiv(pairCount_, chunkPairs_));
  std::vector<double> partials(chunks * padded, 0.0);
  for (std::size_t first = 0; first < chunks; first += kChunksPerReport) {
    const std::size_t group = std::min(kChunksPerReport, chunks - first);
    host::runFixedChunks(group, threads_, [&](std::size_t g) {
      const std::uint64_t c = first + g;
      const std::uint64_t begin = c * chunkPairs_;
      const std::uint64_t end = std::min(begin + chunkPairs_, pairCount_);
      double* const partial = partials.data() + c * padded;
      if (kind == CrossValidationKind::lscv) {
        AccumulatePairsAt(simd_, LscvTerm{}, coords_, begin, end, inverseSquares, partial);
      } else {
        AccumulatePairsAt(simd_, Bcv2Term{}, coords_, begin, end, inverseSquares, partial);
      }
    });
    const double fraction = static_cast<double>(first + group) / static_cast<double>(chunks);
    if (progress && !progress(fraction, {})) return false;
  }
  for (std::size_t c = 0; c < chunks; ++c) {
    for (std::size_t m = 0; m < count; ++m) sums[descending[m]] += partials[c * padded + m];
  }
  return true;
}

bool PairDistanceSet::Scores(CrossValidationKind kind, std::span<const double> bandwidths,
                             std::span<double> scores, const host::ProgressFn& progress) const {
  const bool moments = method_ == PairSumMethod::moments ||
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
  if (!std::isfinite(betaMax) || !(betaMin > 0.0) || !host::PairMoments::forBetaRange(betaMin, betaMax)) {
    return ExactScores(kind, bandwidths, scores, progress);
  }
  std::vector<double> x(coords_.size());
  std::vector<double> y(coords_.size());
  for (std::size_t i = 0; i < coords_.size(); ++i) x[i] = coords_[i][0], y[i] = coords_[i][1];
  // Building the histogram is about as much work as the exact re-scoring pass (see the costs).
  constexpr double kBuildShare = 0.75;
  const auto moments = host::buildPairMoments(x, y, betaMin, betaMax, threads_,
                                              host::scaledProgress(progress, 0.0, kBuildShare));
  if (!moments) return false;

  const double n = static_cast<double>(coords_.size());
  std::vector<double> errors(bandwidths.size());
  double lowestReach = std::numeric_limits<double>::infinity();
  std::vector<MomentSum> estimates(bandwidths.size());
  host::runFixedChunks(bandwidths.size(), threads_, [&](std::size_t k) {
    estimates[k] = PairSumFromMoments(kind, *moments, bandwidths[k]);
  });
  for (std::size_t k = 0; k < bandwidths.size(); ++k) {
    const MomentSum& s = estimates[k];
    scores[k] = ScoreFromPairSum(kind, s.sum, n, bandwidths[k]);
    // The score is affine in the sum: its error is the sum's error times the sum's factor.
    errors[k] = std::abs(ScoreFromPairSum(kind, s.sum + s.error, n, bandwidths[k]) - scores[k]) +
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
  std::vector<double> exact(candidates.size());
  if (!ExactScores(kind, candidateH, exact, host::scaledProgress(progress, kBuildShare, 1.0))) return false;
  for (std::size_t c = 0; c < candidates.size(); ++c) scores[candidates[c]] = exact[c];
  return true;
}

}  // namespace orvex::ui
