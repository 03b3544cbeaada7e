#include "core/engine/cv_scores.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <limits>
#include <numeric>
#include <vector>

#include "core/engine/kernel_math.h"
#include "host/fixed_chunks.h"
#include "host/vector_exp.h"

namespace orvex::core {

namespace {

// The pairs are cut into this many chunks of about equal work, whatever the thread count;
// chunk sums are added in chunk order.
constexpr std::size_t kPairChunks = 64;
// exp(-708) ~ 3.3e-308 is still a normal double; exp(-709) is not.
constexpr double kLastNormalExponent = 708.0;
// Beyond exp(-40), e - 4 e^2 rounds to e.
constexpr double kSquareNegligible = 40.0;
// Error bound taken for each positive Gaussian sum of the moments: a thousand times the
// histogram's own bound, so that a comparison it calls clear-cut is one.
constexpr double kMomentSumTolerance = 1e-12;

// The fixes sorted by x, followed by kPadding fixes at x = +infinity, so that a row's pairs run
// in whole vectors and the padding ends every row.
constexpr std::size_t kPadding = host::kLanes<host::Doubles8>;

struct SortedFixes {
  std::vector<double> x;
  std::vector<double> y;
};

// Sorting by x lets the inner loop stop at the first partner whose x distance alone makes
// every further term exactly 0.
SortedFixes sort_by_x(std::span<const double> x, std::span<const double> y) {
  std::vector<std::size_t> order(x.size());
  std::iota(order.begin(), order.end(), std::size_t{0});
  std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return x[a] < x[b]; });
  SortedFixes s;
  s.x.reserve(x.size() + kPadding);
  s.y.reserve(y.size() + kPadding);
  for (std::size_t k : order) {
    s.x.push_back(x[k]);
    s.y.push_back(y[k]);
  }
  s.x.insert(s.x.end(), kPadding, std::numeric_limits<double>::infinity());
  s.y.insert(s.y.end(), kPadding, 0.0);
  return s;
}

// First row of each chunk, so that every chunk holds about the same number of forward pairs.
std::vector<std::size_t> chunk_starts(std::size_t n) {
  const double total = static_cast<double>(n) * static_cast<double>(n - 1) / 2.0;
  const std::size_t chunks = std::min(kPairChunks, n);
  std::vector<std::size_t> starts{0};
  double done = 0.0;
  for (std::size_t i = 0; i < n && starts.size() < chunks; ++i) {
    done += static_cast<double>(n - 1 - i);
    if (done >= total * static_cast<double>(starts.size()) / static_cast<double>(chunks))
      starts.push_back(i + 1);
  }
  starts.push_back(n);
  return starts;
}

// Sum of term(d^2 * scale) over the pairs (i, j), i in [row_begin, row_end), j > i, added in
// the order of j; pairs with dx^2 * scale > cutoff are known to contribute exactly 0 and end
// the row. The terms are formed a vector of partners at a time and added one by one, so the
// sum is the scalar loop's whatever the vector width.
template <class V, class Term>
[[gnu::always_inline]] inline double rows_sum(Term, const SortedFixes& s, std::size_t row_begin,
                                              std::size_t row_end, double scale, double cutoff) {
  constexpr std::size_t kWidth = host::kLanes<V>;
  double sum = 0.0;
  for (std::size_t i = row_begin; i < row_end; ++i) {
    const double xi = s.x[i];
    const double yi = s.y[i];
    for (std::size_t j = i + 1;; j += kWidth) {
      V px;
      V py;
      std::memcpy(&px, s.x.data() + j, sizeof(V));
      std::memcpy(&py, s.y.data() + j, sizeof(V));
      const V ddx = px - xi;
      const V dx2 = ddx * ddx;
      const V ddy = py - yi;
      const V beyond = dx2 * scale;
      const V term = Term::template eval<V>((dx2 + ddy * ddy) * scale);
      std::size_t lane = 0;
      for (; lane < kWidth && !(beyond[lane] > cutoff); ++lane) sum += term[lane];
      if (lane < kWidth) break;
    }
  }
  return sum;
}

ORVEX_SIMD_CLONES(rows_sum_at, rows_sum)

template <class Term>
double pair_sum(std::span<const double> x, std::span<const double> y, double scale, double cutoff,
                unsigned threads, host::SimdLevel level) {
  const std::size_t n = x.size();
  if (n < 2) return 0.0;
  const SortedFixes s = sort_by_x(x, y);
  const std::vector<std::size_t> starts = chunk_starts(n);
  std::vector<double> partial(starts.size() - 1, 0.0);
  host::runFixedChunks(partial.size(), threads, [&](std::size_t c) {
    partial[c] = rows_sum_at(level, Term{}, s, starts[c], starts[c + 1], scale, cutoff);
  });
  double total = 0.0;
  for (double p : partial) total += p;
  return total;
}

// Terms are e - 4 e^2 with e = exp(-u), u = d^2 / (4 h^2). Beyond u = 40, 4 e^2 is below a
// quarter of an ulp of e, so the term is e itself, bit for bit; this also keeps e^2 out of the
// subnormal range. Beyond u = kLastNormalExponent, e is below 2^-1021 and is dropped: such
// terms are subnormal arithmetic and cannot move the score by an ulp.
struct LscvTerm {
  template <class V>
  [[gnu::always_inline]] static V eval(V u) {
    const V e = host::VectorExp(-u);
    const V term = u > kSquareNegligible ? e : e - 4.0 * (e * e);
    return u > kLastNormalExponent ? V{} : term;
  }
};

// Terms are g(-D^2/2) (D^4 - 8 D^2 + 8); those with D^2 / 2 beyond kLastNormalExponent (g below
// 2^-1021, and a polynomial that may overflow) are dropped.
struct Bcv2Term {
  template <class V>
  [[gnu::always_inline]] static V eval(V d2) {
    const V term = host::VectorExp(-d2 / 2.0) * (d2 * d2 - 8.0 * d2 + 8.0);
    return d2 > 2.0 * kLastNormalExponent ? V{} : term;
  }
};

}  // namespace

double lscv_pair_sum(std::span<const double> x, std::span<const double> y, double h, unsigned threads,
                     host::SimdLevel level) {
  const double n = static_cast<double>(x.size());
  const double scale = 1.0 / (4.0 * std::pow(h, 2));
  return -3.0 * n + 2.0 * pair_sum<LscvTerm>(x, y, scale, kLastNormalExponent, threads, level);
}

double bcv2_pair_sum(std::span<const double> x, std::span<const double> y, double h, unsigned threads,
                     host::SimdLevel level) {
  const double scale = 1.0 / std::pow(h, 2);
  return pair_sum<Bcv2Term>(x, y, scale, 2.0 * kLastNormalExponent, threads, level);
}

std::optional<CvMomentSums> CvMomentSums::build(std::span<const double> x, std::span<const double> y,
                                                double h_low, double h_high, unsigned threads) {
  // LSCV needs beta = 1 / (4 h^2) and 1 / (2 h^2); BCV2 1 / (2 h^2).
  auto moments =
      host::buildPairMoments(x, y, 1.0 / (4.0 * h_high * h_high), 1.0 / (2.0 * h_low * h_low), threads, {});
  if (!moments) return std::nullopt;
  return CvMomentSums(std::move(*moments), static_cast<double>(x.size()));
}

PairSumEstimate CvMomentSums::lscv(double h) const {
  const double h2 = h * h;
  const double quarter = moments_.gaussianSums(1.0 / (4.0 * h2))[0];
  const double half = 4.0 * moments_.gaussianSums(1.0 / (2.0 * h2))[0];
  return {-3.0 * n_ + 2.0 * (quarter - half), 2.0 * kMomentSumTolerance * (quarter + half)};
}

PairSumEstimate CvMomentSums::bcv2(double h) const {
  const auto g = moments_.gaussianSums(1.0 / (2.0 * h * h));
  // x = D^2 / 2: D^4 - 8 D^2 + 8 = 4 x^2 - 16 x + 8.
  return {4.0 * g[2] - 16.0 * g[1] + 8.0 * g[0],
          kMomentSumTolerance * (4.0 * g[2] + 16.0 * g[1] + 8.0 * g[0])};
}

}  // namespace orvex::core
