// "Area Added" against its plain definition: the fast reduction must drop the same fixes.

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "core/mcp/mcp_area_added.h"
#include "core/mcp/mcp_polygon.h"
#include "mcp/mcp_test_support.h"

namespace orvex::core {
namespace {

using Fixes = std::vector<McpPoint>;

// The definition, one full hull per candidate removal.
Fixes area_added_by_definition(Fixes w, std::size_t target) {
  const auto area_of = [](Fixes set) { return MCP_Poly(set).area; };
  while (w.size() > target) {
    const double a = area_of(w);
    std::size_t best = 0;
    double bestD = -1.0;
    for (std::size_t j = 0; j < w.size(); ++j) {
      Fixes without = w;
      without.erase(without.begin() + static_cast<std::ptrdiff_t>(j));
      const double d = a - area_of(without);
      if (d > bestD) {
        bestD = d;
        best = j;
      }
    }
    w.erase(w.begin() + static_cast<std::ptrdiff_t>(best));
  }
  return w;
}

void expect_same_as_definition(const Fixes& fixes, double percentage) {
  const auto target = static_cast<std::size_t>(mcpTargetCount(fixes.size(), percentage));
  EXPECT_EQ(mcpAreaAddedKeep(fixes, target), area_added_by_definition(fixes, target));
}

TEST(McpAreaAdded, MatchesDefinitionOnScatteredFixes) {
  std::mt19937_64 rng(20240611);
  std::normal_distribution<double> offset(0.0, 800.0);
  for (int trial = 0; trial < 6; ++trial) {
    Fixes fixes;
    for (int i = 0; i < 40; ++i) fixes.push_back({512000.0 + offset(rng), 6780000.0 + offset(rng)});
    expect_same_as_definition(fixes, 60);
  }
}

TEST(McpAreaAdded, MatchesDefinitionOnGridFixesWithTiesAndDuplicates) {
  // Whole coordinates on a small grid: duplicates, fixes along ring edges, equal d values and, on
  // the 3 x 3 grid, rings that repeat a position.
  std::mt19937_64 rng(7);
  for (const int side : {3, 7}) {
    std::uniform_int_distribution<int> cell(0, side - 1);
    for (int trial = 0; trial < 8; ++trial) {
      Fixes fixes;
      for (int i = 0; i < 30; ++i) fixes.push_back({double(cell(rng)), double(cell(rng))});
      expect_same_as_definition(fixes, 50);
    }
  }
}

TEST(McpAreaAdded, MatchesDefinitionOnRealTracks) {
  if (!std::filesystem::exists(mcp_test::shared_data())) GTEST_SKIP() << "shared telemetry data not found";
  // ibex: GPS fixes with Lambert coordinates; puechcirc: repeated positions.
  for (const char* track : {"ibex", "puechcirc"}) {
    const auto path = mcp_test::shared_data() / track / (std::string(track) + ".csv");
    for (const auto& [animal, fixes] : mcp_test::read_track(path)) {
      SCOPED_TRACE(std::string(track) + " " + animal);
      expect_same_as_definition(fixes, 80);
    }
  }
}

TEST(McpAreaAdded, MatchesDefinitionOnLargeRingsAndLongRuns) {
  // Sets whose rings are long (fixes on a spiral's rim), whose pockets hold repeated positions,
  // and tracks whose lowest fix goes early: the replayed walks, the walks kept across removals
  // and the walk without the start all come into play over many removals.
  std::mt19937_64 rng(42);
  std::normal_distribution<double> step(0.0, 40.0);
  const auto spiral = [](int n) {
    Fixes f;
    for (int i = 0; i < n; ++i) {
      const double r = 3000.0 * std::sqrt((i * 7919 % n + 0.5) / n);
      f.push_back({500000.0 + r * std::cos(2.399963 * i), 5000000.0 + r * std::sin(2.399963 * i)});
    }
    return f;
  };
  const auto walk = [&](int n) {
    Fixes f;
    double x = 0.0, y = 0.0;
    for (int i = 0; i < n; ++i) {
      x += step(rng) - 0.02 * x;
      y += step(rng) - 0.02 * y;
      f.push_back({620000.0 + x, 5100000.0 + y});
      if (i % 5 == 4) f.push_back(f.back());  // a repeated position
    }
    return f;
  };
  const auto lattice = [&](int n) {
    std::uniform_int_distribution<int> cell(0, 12);
    Fixes f;
    for (int i = 0; i < n; ++i) f.push_back({double(cell(rng)) * 25.0, double(cell(rng)) * 25.0});
    return f;
  };
  const std::pair<const char*, Fixes> sets[] = {{"spiral", spiral(160)},
                                                {"walk", walk(140)},
                                                {"lattice", lattice(160)},
                                                {"walk, kept 20 %", walk(100)}};
  for (const auto& [name, fixes] : sets) {
    SCOPED_TRACE(name);
    expect_same_as_definition(fixes, std::string(name).find("20 %") != std::string::npos ? 20 : 55);
  }
}

TEST(McpAreaAdded, DropsNothingWhenTargetCoversTheSet) {
  const Fixes fixes{{0, 0}, {1, 0}, {0, 1}};
  EXPECT_EQ(mcpAreaAddedKeep(fixes, 3), fixes);
  EXPECT_EQ(mcpAreaAddedKeep(fixes, 10), fixes);
}

}  // namespace
}  // namespace orvex::core
