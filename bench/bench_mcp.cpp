// MCP "Area Added" on 500 fixes: the reduction as built, and its plain definition (one full hull
// per candidate removal) for comparison. The floating styles at 10^4 to 10^6 fixes, and their
// plain definition (a full centre and farthest-fix scan per removal) at 10^4. The hull walk on
// an even disc, through its band filter and exhaustively.

#include <benchmark/benchmark.h>

#include <cmath>
#include <numbers>
#include <random>
#include <vector>

#include "core/mcp/mcp_centres.h"
#include "core/mcp/mcp_floating.h"
#include "core/mcp/mcp_hull_walk.h"
#include "core/mcp/mcp_polygon.h"

namespace {

using orvex::core::McpOptions;
using orvex::core::McpPoint;

// A home-range-like cloud: a bivariate normal around a UTM-sized origin, fixed seed.
std::vector<McpPoint> cloud(std::size_t n) {
  std::mt19937_64 rng(500);
  std::normal_distribution<double> offset(0.0, 1500.0);
  std::vector<McpPoint> fixes(n);
  for (McpPoint& p : fixes) p = {430000.0 + offset(rng), 5210000.0 + offset(rng)};
  return fixes;
}

void BM_AreaAdded(benchmark::State& state) {
  const auto fixes = cloud(static_cast<std::size_t>(state.range(0)));
  const McpOptions options{static_cast<double>(state.range(1)), "Area Added", {}};
  for (auto _ : state) benchmark::DoNotOptimize(orvex::core::mcpPercentageAnalysis(fixes, options));
}
BENCHMARK(BM_AreaAdded)->Args({500, 95})->Args({500, 50})->Unit(benchmark::kMillisecond)->Repetitions(5);

// The definition: n hulls per removal.
void BM_AreaAddedByDefinition(benchmark::State& state) {
  const auto fixes = cloud(static_cast<std::size_t>(state.range(0)));
  const auto target = static_cast<std::size_t>(orvex::core::mcpTargetCount(fixes.size(), 95));
  for (auto _ : state) {
    std::vector<McpPoint> w = fixes;
    while (w.size() > target) {
      std::vector<McpPoint> copy = w;
      const double a = orvex::core::MCP_Poly(copy).area;
      std::size_t best = 0;
      double bestD = -1.0;
      for (std::size_t j = 0; j < w.size(); ++j) {
        copy = w;
        copy.erase(copy.begin() + static_cast<std::ptrdiff_t>(j));
        const double d = a - orvex::core::MCP_Poly(copy).area;
        if (d > bestD) {
          bestD = d;
          best = j;
        }
      }
      w.erase(w.begin() + static_cast<std::ptrdiff_t>(best));
    }
    benchmark::DoNotOptimize(w);
  }
}
BENCHMARK(BM_AreaAddedByDefinition)->Arg(500)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(3);

// Floating Mean (0) or Floating Median (1) down to 95 percent and to 50 percent.
void BM_Floating(benchmark::State& state) {
  const auto fixes = cloud(static_cast<std::size_t>(state.range(0)));
  const char* style = state.range(1) == 0 ? "Floating Mean" : "Floating Median";
  for (auto _ : state) {
    for (const double percent : {95.0, 50.0}) {
      benchmark::DoNotOptimize(orvex::core::mcpPercentageAnalysis(fixes, McpOptions{percent, style, {}}));
    }
  }
}
// At 10^6 the mean's rounding bound is wide against the gaps between the farthest fixes, and
// thousands of rounds sum the centre afresh over every fix (in vectors, as integer steps).
BENCHMARK(BM_Floating)
    ->Args({10000, 0})
    ->Args({10000, 1})
    ->Args({100000, 0})
    ->Args({100000, 1})
    ->Args({1000000, 0})
    ->Args({1000000, 1})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

// The definition at 95 and 50 percent.
void BM_FloatingByDefinition(benchmark::State& state) {
  const auto fixes = cloud(static_cast<std::size_t>(state.range(0)));
  const bool mean = state.range(1) == 0;
  for (auto _ : state) {
    for (const double percent : {95.0, 50.0}) {
      const auto target = static_cast<std::size_t>(orvex::core::mcpTargetCount(fixes.size(), percent));
      std::vector<McpPoint> w = fixes;
      while (w.size() > target) {
        const McpPoint c = mean ? orvex::core::mcpMeanCentre(w) : orvex::core::mcpMedianCentre(w);
        w.erase(w.begin() + static_cast<std::ptrdiff_t>(*orvex::core::mcpFarthest(w, c)));
      }
      benchmark::DoNotOptimize(w);
    }
  }
}
BENCHMARK(BM_FloatingByDefinition)
    ->ArgsProduct({{10000}, {0, 1}})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

// An even disc of radius 3 km round a UTM-sized origin, fixed seed.
std::vector<McpPoint> disc(std::size_t n) {
  std::mt19937_64 rng(501);
  std::uniform_real_distribution<double> u(0.0, 1.0);
  std::vector<McpPoint> fixes(n);
  for (McpPoint& p : fixes) {
    const double r = 3000.0 * std::sqrt(u(rng)), a = 2.0 * std::numbers::pi * u(rng);
    p = {500000.0 + r * std::cos(a), 5000000.0 + r * std::sin(a)};
  }
  return fixes;
}

// The walk through its band filter (1) or over every fix at every step (0).
void BM_HullWalk(benchmark::State& state) {
  const auto fixes = disc(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) {
    benchmark::DoNotOptimize(state.range(1) == 1 ? orvex::core::mcp_detail::walkHull(fixes, false)
                                                 : orvex::core::mcp_detail::walkHullExhaustive(fixes, false));
  }
}
BENCHMARK(BM_HullWalk)
    ->ArgsProduct({{10000, 100000, 1000000}, {0, 1}})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

}  // namespace
