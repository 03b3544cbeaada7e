// Numeric kernels on each instruction set: the vector exponential against the standard
// library's, in ns per value, and the pair sums, the separable grid product and the outer
// products, and the set-order quotient sum against its plain loop. The argument is the level (0 baseline
// x86-64, 1 AVX2, 2 AVX-512F; capped at the processor's).

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <span>
#include <vector>

#include "numeric/ordered_quotient_sum.h"
#include "numeric/outer_products.h"
#include "numeric/pair_sums.h"
#include "numeric/separable_grid.h"
#include "numeric/vector_exp.h"

namespace {

using orvex::numeric::SimdLevel;

// Arguments of the Gaussian sums: [-40, 0].
std::vector<double> Arguments() {
  std::vector<double> x(4096);
  for (std::size_t i = 0; i < x.size(); ++i)
    x[i] = -40.0 * static_cast<double>(i) / static_cast<double>(x.size());
  return x;
}

void SetNsPerValue(benchmark::State& state, std::size_t values) {
  state.counters["ns per value"] =
      benchmark::Counter(static_cast<double>(values) * 1e-9,
                         benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void BM_StdExp(benchmark::State& state) {
  const auto x = Arguments();
  std::vector<double> y(x.size());
  for (auto _ : state) {
    for (std::size_t i = 0; i < x.size(); ++i) y[i] = std::exp(x[i]);
    benchmark::DoNotOptimize(y.data());
  }
  SetNsPerValue(state, x.size());
}
BENCHMARK(BM_StdExp);

void BM_VectorExp(benchmark::State& state) {
  const auto x = Arguments();
  std::vector<double> y(x.size());
  const auto level = static_cast<SimdLevel>(state.range(0));
  for (auto _ : state) {
    orvex::numeric::exp_array(x, y, level);
    benchmark::DoNotOptimize(y.data());
  }
  SetNsPerValue(state, x.size());
}
BENCHMARK(BM_VectorExp)->DenseRange(0, 2);

// A fixed scatter in [0, 1)^2.
std::vector<double> Coordinates(std::size_t n, std::uint64_t seed) {
  std::vector<double> v(n);
  for (double& c : v) {
    seed = seed * 6364136223846793005ULL + 1442695040888963407ULL;
    c = static_cast<double>(seed >> 11) / 9007199254740992.0;
  }
  return v;
}

// The LSCV pair sums of 2,000 fixes at h = 0.01 (pairs beyond about 0.5 apart are cut off), one thread.
void BM_PairSums(benchmark::State& state) {
  const auto x = Coordinates(2000, 1);
  const auto y = Coordinates(2000, 2);
  const double scale = 1.0 / (0.01 * 0.01);
  double sum = 0.0;
  const orvex::numeric::PairSumOptions options{.threads = 1, .level = static_cast<SimdLevel>(state.range(0))};
  for (auto _ : state) {
    orvex::numeric::pair_term_sums(orvex::numeric::PairTerm::lscv, x, y, std::span(&scale, 1),
                                   std::span(&sum, 1), options);
    benchmark::DoNotOptimize(sum);
  }
}
BENCHMARK(BM_PairSums)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);

// 400 terms of 60-cell spans on a 300 x 300 grid, every tile.
void BM_SeparableProduct(benchmark::State& state) {
  constexpr std::size_t kSide = 300;
  constexpr std::size_t kSpan = 60;
  std::vector<orvex::numeric::FactorSpan> spans;
  for (std::size_t k = 0; k < 400; ++k) {
    const std::size_t begin = (k * 37) % (kSide - kSpan);
    spans.push_back({begin, begin + kSpan, k * kSpan});
  }
  const auto values = Coordinates(spans.size() * kSpan, 3);
  const orvex::numeric::SeparableProduct product(kSide, kSide, {spans, spans, values, values});
  std::vector<double> out(kSide * kSide);
  const auto level = static_cast<SimdLevel>(state.range(0));
  for (auto _ : state) {
    for (std::size_t tile = 0; tile < product.tile_count(); ++tile) product.add_tile(tile, out, level);
    benchmark::DoNotOptimize(out.data());
  }
}
BENCHMARK(BM_SeparableProduct)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);

// 64 weight vectors of 24 points each way into one box, as the interpolated sum spreads a group.
void BM_OuterProducts(benchmark::State& state) {
  constexpr std::size_t kStride = orvex::numeric::kOuterProductRows;
  constexpr std::size_t kPoints = 24;
  auto a = Coordinates(64 * kStride, 4);
  auto b = Coordinates(64 * kStride, 5);
  for (std::size_t j = 0; j < 64; ++j) {
    std::fill(a.begin() + static_cast<std::ptrdiff_t>(j * kStride + kPoints),
              a.begin() + static_cast<std::ptrdiff_t>((j + 1) * kStride), 0.0);
    std::fill(b.begin() + static_cast<std::ptrdiff_t>(j * kStride + kPoints),
              b.begin() + static_cast<std::ptrdiff_t>((j + 1) * kStride), 0.0);
  }
  std::vector<double> out(kStride * kStride);
  const auto level = static_cast<SimdLevel>(state.range(0));
  for (auto _ : state) {
    orvex::numeric::add_outer_products(a.data(), b.data(), 64, kStride, kPoints, kPoints, out.data(), kStride,
                                       level);
    benchmark::DoNotOptimize(out.data());
  }
}
BENCHMARK(BM_OuterProducts)->DenseRange(0, 2);

// A million UTM northings over their count, as the floating mean sums its centre afresh.
std::vector<double> Northings() {
  auto y = Coordinates(1000000, 6);
  for (double& v : y) v = 5e6 + 1e4 * v;
  return y;
}

void BM_OrderedQuotientSum(benchmark::State& state) {
  const auto y = Northings();
  const auto level = static_cast<SimdLevel>(state.range(0));
  for (auto _ : state) benchmark::DoNotOptimize(orvex::numeric::ordered_quotient_sum(y, 999999.0, level));
  SetNsPerValue(state, y.size());
}
BENCHMARK(BM_OrderedQuotientSum)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);

void BM_PlainQuotientSum(benchmark::State& state) {
  const auto y = Northings();
  for (auto _ : state) {
    double s = 0.0;
    for (const double v : y) s += v / 999999.0;
    benchmark::DoNotOptimize(s);
  }
  SetNsPerValue(state, y.size());
}
BENCHMARK(BM_PlainQuotientSum)->Unit(benchmark::kMillisecond);

}  // namespace
