#include "host/pair_moments.h"

#include <algorithm>
#include <bit>
#include <cmath>

#include "host/fixed_chunks.h"

namespace orvex::host {

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
// Chunks of a build run together and are then added in order; the count bounds the
// histograms in memory and never depends on the thread count.
constexpr std::size_t kChunksPerGroup = 16;
constexpr std::uint64_t kPairsPerChunk = std::uint64_t{1} << 20;

std::uint64_t exponentBits(int exponent) { return static_cast<std::uint64_t>(exponent + 1023) << 52; }

// The exact middle of the bin whose low edge has these bits: the bit below the bin's mantissa
// bits set.
double binCentre(std::uint64_t lowEdge) {
  return std::bit_cast<double>(lowEdge | (std::uint64_t{1} << (kMantissaShift - 1)));
}

// Adds s^0 .. s^15 to the 16 moments of one bin. The powers come from a tree of products so
// that none is more than four roundings from s.
void addPowers(double* bin, double s, bool pooled) {
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
  for (std::size_t m = 0; m < PairMoments::kMoments; ++m) bin[m] += p[m];
}

// T_j = sum_m c_m M_{m+j}, j = 0, 1, 2, with c_m = (-X)^m / m!, for a bin whose |s| is at most
// sBound.
std::array<double, 3> seriesSums(const double* bin, double X, double sBound) {
  std::array<double, 3> t{bin[0], bin[1], bin[2]};
  double c = 1.0;
  double bound = 1.0;
  const double y = X * sBound;
  for (std::size_t m = 1; m <= kLastSeriesTerm; ++m) {
    c *= -X / static_cast<double>(m);
    bound *= y / static_cast<double>(m);
    if (bound < kSeriesTermFloor) break;
    t[0] += c * bin[m];
    t[1] += c * bin[m + 1];
    t[2] += c * bin[m + 2];
  }
  return t;
}

}  // namespace

PairMoments::PairMoments(int firstExponent, int octaves)
    : firstExponent_(firstExponent),
      octaves_(octaves),
      pooledScale_(std::ldexp(1.0, firstExponent)),
      firstBits_(exponentBits(firstExponent)),
      endBits_(exponentBits(firstExponent + octaves)),
      moments_((1 + static_cast<std::size_t>(octaves) * kBinsPerOctave) * kMoments, 0.0) {}

std::optional<PairMoments> PairMoments::forBetaRange(double betaMin, double betaMax) {
  if (!(betaMin > 0.0) || !(betaMax >= betaMin) || !std::isfinite(betaMax)) return std::nullopt;
  // 2^first * betaMax <= kSeriesArgumentBound; 2^end * betaMin >= kCutoff.
  const int first = std::max(-1022, static_cast<int>(std::floor(std::log2(kSeriesArgumentBound / betaMax))));
  const int end = std::min(1024, static_cast<int>(std::ceil(std::log2(kCutoff / betaMin))));
  if (end <= first) return PairMoments(first, 0);
  if (end - first > kMaxOctaves) return std::nullopt;
  return PairMoments(first, end - first);
}

void PairMoments::addRows(std::span<const double> x, std::span<const double> y, std::size_t rowBegin,
                          std::size_t rowEnd) {
  const std::size_t n = x.size();
  const double inversePooled = 1.0 / pooledScale_;
  double* const bins = moments_.data();
  for (std::size_t i = rowBegin; i < rowEnd; ++i) {
    const double xi = x[i];
    const double yi = y[i];
    for (std::size_t j = i + 1; j < n; ++j) {
      const double dx = xi - x[j];
      const double dy = yi - y[j];
      const double d2 = dx * dx + dy * dy;
      const auto bits = std::bit_cast<std::uint64_t>(d2);
      if (bits >= endBits_) continue;
      if (bits < firstBits_) {
        addPowers(bins, d2 * inversePooled, true);
        continue;
      }
      const double centre = binCentre(bits >> kMantissaShift << kMantissaShift);
      const std::size_t bin = 1 + static_cast<std::size_t>((bits - firstBits_) >> kMantissaShift);
      addPowers(bins + bin * kMoments, (d2 - centre) / centre, false);
    }
  }
}

void PairMoments::merge(const PairMoments& other) {
  for (std::size_t k = 0; k < moments_.size(); ++k) moments_[k] += other.moments_[k];
}

std::array<double, 3> PairMoments::gaussianSums(double beta) const {
  const double* bin = moments_.data();
  const double pooledX = beta * pooledScale_;
  const auto pooled = seriesSums(bin, pooledX, 1.0);
  std::array<double, 3> g{pooled[0], pooledX * pooled[1], pooledX * pooledX * pooled[2]};

  const std::size_t binCount = static_cast<std::size_t>(octaves_) * kBinsPerOctave;
  for (std::size_t b = 0; b < binCount; ++b) {
    bin += kMoments;
    if (bin[0] == 0.0) continue;
    const double centre = binCentre(firstBits_ + (static_cast<std::uint64_t>(b) << kMantissaShift));
    const double X = beta * centre;
    if (X * (1.0 - kHalfBin) > kCutoff) break;  // this and every later bin add exactly 0
    const auto t = seriesSums(bin, X, kHalfBin);
    const double e = std::exp(-X);
    g[0] += e * t[0];
    g[1] += e * X * (t[0] + t[1]);
    g[2] += e * X * X * (t[0] + 2.0 * t[1] + t[2]);
  }
  return g;
}

std::vector<std::size_t> pairChunkRows(std::size_t n, std::uint64_t pairsPerChunk) {
  std::vector<std::size_t> starts{0};
  std::uint64_t inChunk = 0;
  for (std::size_t i = 0; i + 1 < n; ++i) {
    inChunk += n - 1 - i;
    if (inChunk >= pairsPerChunk) {
      starts.push_back(i + 1);
      inChunk = 0;
    }
  }
  if (starts.back() < n) starts.push_back(n);
  return starts;
}

std::optional<PairMoments> buildPairMoments(std::span<const double> x, std::span<const double> y,
                                            double betaMin, double betaMax, unsigned threads,
                                            const ProgressFn& progress) {
  std::optional<PairMoments> total = PairMoments::forBetaRange(betaMin, betaMax);
  if (!total || x.size() < 2) return total;
  const std::vector<std::size_t> starts = pairChunkRows(x.size(), kPairsPerChunk);
  const std::size_t chunks = starts.size() - 1;
  const PairMoments empty = *total;
  const double n = static_cast<double>(x.size());
  std::vector<PairMoments> group;
  for (std::size_t first = 0; first < chunks; first += kChunksPerGroup) {
    const std::size_t count = std::min(kChunksPerGroup, chunks - first);
    group.assign(count, empty);
    runFixedChunks(count, threads,
                   [&](std::size_t c) { group[c].addRows(x, y, starts[first + c], starts[first + c + 1]); });
    for (const PairMoments& h : group) total->merge(h);
    // Rows early in the order hold more pairs; the fraction counts pairs.
    const double done = static_cast<double>(starts[first + count]);
    const double fraction = done * (2.0 * n - done - 1.0) / (n * (n - 1.0));
    if (progress && !progress(fraction, {})) return std::nullopt;
  }
  return total;
}

}  // namespace orvex::host
