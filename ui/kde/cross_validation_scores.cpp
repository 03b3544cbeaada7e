#include "ui/kde/cross_validation_scores.h"

#include <algorithm>
#include <cmath>
#include <numeric>

#include "host/fixed_chunks.h"

namespace orvex::ui {

namespace {

// exp(t) is 0 in double arithmetic for t below about -745.13, so a pair whose exponent
// argument is below -746 adds exactly 0 to every sum and is skipped. (The guarded exponential
// of the formulas cuts at -1000, below the underflow, so the skip changes no bit.)
constexpr double kExpUnderflowArgument = 746.0;

// K2(u) - 2 K(u) of the LSCV sum. e(-u^2/2) is taken as e(-u^2/4) squared: both arguments are
// exact scalings of u^2, so the square differs from a second exp by a few ulps (pinned by a
// test) and halves the exponentials of the scan.
struct LscvTerm {
  static constexpr double kCutoff = 4.0 * kExpUnderflowArgument;
  static double Eval(double u2) {
    const double a = std::exp(-u2 / 4.0);
    return a / gis::kFourPi - 2.0 * (a * a / gis::kTwoPi);
  }
};

// e(-D^2/2) (D^4 - 8 D^2 + 8) of the BCV2 sum.
struct Bcv2Term {
  static constexpr double kCutoff = 2.0 * kExpUnderflowArgument;
  static double Eval(double u2) { return std::exp(-u2 / 2.0) * (u2 * u2 - 8.0 * u2 + 8.0); }
};

std::uint64_t CeilDiv(std::uint64_t a, std::uint64_t b) { return a / b + (a % b != 0 ? 1 : 0); }

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
void VisitPairsFromCoords(std::span<const CoordPair> coords, std::uint64_t first, std::uint64_t last,
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
  squaredDistances_.clear();
  squaredDistances_.shrink_to_fit();
  const std::uint64_t n = coords_.size();
  pairCount_ = n < 2 ? 0 : n * (n - 1) / 2;
  chunkPairs_ = std::max<std::uint64_t>({options.chunkPairs, CeilDiv(pairCount_, kMaxPairChunks), 1});
  threads_ = options.threads;
  stored_ = pairCount_ <= options.maxStoredPairs;
  if (!stored_ || pairCount_ == 0) return;

  squaredDistances_.resize(static_cast<std::size_t>(pairCount_));
  const std::uint64_t chunks = CeilDiv(pairCount_, chunkPairs_);
  host::runFixedChunks(static_cast<std::size_t>(chunks), threads_, [&](std::size_t c) {
    const std::uint64_t first = c * chunkPairs_;
    const std::uint64_t last = std::min(first + chunkPairs_, pairCount_);
    double* out = squaredDistances_.data() + first;
    VisitPairsFromCoords(coords_, first, last, [&](double d) { *out++ = d; });
  });
}

template <class Term>
void PairDistanceSet::AccumulateChunk(std::uint64_t chunk, std::span<const double> inverseSquares,
                                      std::span<double> partial) const {
  const std::uint64_t first = chunk * chunkPairs_;
  const std::uint64_t last = std::min(first + chunkPairs_, pairCount_);
  const std::size_t count = inverseSquares.size();
  auto visit = [&](double d2) {
    // Bandwidths from the largest down: u^2 = d^2 / h^2 only grows, so once a term underflows
    // to 0 every later one does too.
    for (std::size_t m = 0; m < count; ++m) {
      const double u2 = d2 * inverseSquares[m];
      if (u2 > Term::kCutoff) break;
      partial[m] += Term::Eval(u2);
    }
  };
  if (stored_) {
    for (std::uint64_t p = first; p < last; ++p) visit(squaredDistances_[static_cast<std::size_t>(p)]);
  } else {
    VisitPairsFromCoords(coords_, first, last, visit);
  }
}

void PairDistanceSet::PairSums(CrossValidationKind kind, std::span<const double> bandwidths,
                               std::span<double> sums) const {
  const std::size_t count = bandwidths.size();
  std::fill(sums.begin(), sums.end(), 0.0);
  if (pairCount_ == 0 || count == 0) return;

  // (d / h)^2 is formed as d^2 * (1 / h^2): no square root or division per pair and bandwidth,
  // a few ulps from the quotient squared. The bandwidths are taken from the largest down.
  std::vector<std::size_t> descending(count);
  std::iota(descending.begin(), descending.end(), std::size_t{0});
  std::stable_sort(descending.begin(), descending.end(),
                   [&](std::size_t a, std::size_t b) { return bandwidths[a] > bandwidths[b]; });
  std::vector<double> inverseSquares(count);
  for (std::size_t m = 0; m < count; ++m) {
    const double h = bandwidths[descending[m]];
    inverseSquares[m] = 1.0 / (h * h);
  }

  const auto chunks = static_cast<std::size_t>(CeilDiv(pairCount_, chunkPairs_));
  std::vector<double> partials(chunks * count, 0.0);
  host::runFixedChunks(chunks, threads_, [&](std::size_t c) {
    const std::span<double> partial(partials.data() + c * count, count);
    if (kind == CrossValidationKind::lscv) {
      AccumulateChunk<LscvTerm>(c, inverseSquares, partial);
    } else {
      AccumulateChunk<Bcv2Term>(c, inverseSquares, partial);
    }
  });
  for (std::size_t c = 0; c < chunks; ++c) {
    for (std::size_t m = 0; m < count; ++m) sums[descending[m]] += partials[c * count + m];
  }
}

void PairDistanceSet::Scores(CrossValidationKind kind, std::span<const double> bandwidths,
                             std::span<double> scores) const {
  const double n = static_cast<double>(coords_.size());
  std::vector<double> sums(kScoresPerPass);
  for (std::size_t start = 0; start < bandwidths.size(); start += kScoresPerPass) {
    const std::size_t count = std::min(kScoresPerPass, bandwidths.size() - start);
    const auto pass = bandwidths.subspan(start, count);
    PairSums(kind, pass, std::span(sums).first(count));
    for (std::size_t k = 0; k < count; ++k) {
      const double h = pass[k];
      const double h2 = h * h;
      double score = 0.0;
      if (kind == CrossValidationKind::lscv) {
        const double k0 = 1.0 / gis::kTwoPi;    // K(0)
        const double k20 = 1.0 / gis::kFourPi;  // K2(0)
        score = (2.0 * sums[k] + n * (k20 - 2.0 * k0)) / (n * n * h2) + 2.0 * k0 / (n * h2);
      } else {
        score = 2.0 * sums[k] / (h2 * (n - 2.0) * (n - 1.0) * 8.0 * gis::kPi) +
                1.0 / ((n - 1.0) * gis::kFourPi * h2);
      }
      scores[start + k] = score;
    }
  }
}

}  // namespace orvex::ui
