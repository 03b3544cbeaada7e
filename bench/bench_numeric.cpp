// Numeric kernels: the vector exponential on each instruction set against the
// standard library's, in ns per value.

#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

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

// Argument: the level (0 baseline x86-64, 1 AVX2, 2 AVX-512F; capped at the processor's).
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

}  // namespace
