#include "numeric/pair_moments.h"

#include "numeric/near_pair_moments.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

namespace orvex::numeric {
namespace {

struct Fixes {
  std::vector<double> x, y;
};

// A fixed sequence in [0, 1).
struct Uniform {
  std::uint64_t state;
  double operator()() {
    state = state * 6364136223846793005ULL + 1442695040888963407ULL;
    return static_cast<double>(state >> 11) / 9007199254740992.0;
  }
};

// n fixes in `clusters` tight clusters (spread 1) over a 5000-unit square, every fifth fix
// repeating the one before it (a collar at rest).
Fixes ClusteredFixes(std::size_t n, std::size_t clusters) {
  Uniform u{42};
  std::vector<double> cx(clusters), cy(clusters);
  for (std::size_t c = 0; c < clusters; ++c) cx[c] = 5000.0 * u(), cy[c] = 5000.0 * u();
  Fixes f;
  for (std::size_t i = 0; i < n; ++i) {
    if (i % 5 == 4) {
      f.x.push_back(f.x.back());
      f.y.push_back(f.y.back());
      continue;
    }
    const std::size_t c = i % clusters;
    f.x.push_back(cx[c] + u() - 0.5);
    f.y.push_back(cy[c] + u() - 0.5);
  }
  return f;
}

// The sums of the histogram's contract, pair by pair in long double (so that the reference's
// own rounding over a million terms stays below the tolerance); terms beyond the cutoff dropped.
std::array<double, 3> ExactSums(const Fixes& f, double beta) {
  std::array<long double, 3> g{0, 0, 0};
  for (std::size_t i = 0; i < f.x.size(); ++i) {
    for (std::size_t j = i + 1; j < f.x.size(); ++j) {
      const double dx = f.x[i] - f.x[j], dy = f.y[i] - f.y[j];
      const double x = beta * (dx * dx + dy * dy);
      if (x > PairMoments::kCutoff) continue;
      const long double e = std::exp(-static_cast<long double>(x));
      g[0] += e, g[1] += x * e, g[2] += x * x * e;
    }
  }
  return {static_cast<double>(g[0]), static_cast<double>(g[1]), static_cast<double>(g[2])};
}

// Tolerance 1e-13 relative: the error analysis of the histogram bounds each sum (all terms
// positive) by about 1e-15 relative; the pair-by-pair reference adds rounding of its own.
TEST(PairMoments, GaussianSumsMatchThePairByPairSums) {
  const struct {
    const char* name;
    Fixes fixes;
  } sets[] = {{"clustered", ClusteredFixes(1500, 7)},
              {"one cluster", ClusteredFixes(600, 1)},
              {"spread", ClusteredFixes(800, 800)}};
  for (const auto& set : sets) {
    // Bandwidths from 0.05 to 3000 units: beta = 1 / (2 h^2) over a 4000^2-fold range.
    const double betaMin = 1.0 / (2.0 * 3000.0 * 3000.0);
    const double betaMax = 1.0 / (2.0 * 0.05 * 0.05);
    const auto moments = build_pair_moments(set.fixes.x, set.fixes.y, betaMin, betaMax, 2, {});
    ASSERT_TRUE(moments) << set.name;
    for (double h : {0.05, 0.3, 1.0, 7.0, 60.0, 400.0, 3000.0}) {
      const double beta = 1.0 / (2.0 * h * h);
      const auto fast = moments->gaussian_sums(beta);
      const auto exact = ExactSums(set.fixes, beta);
      for (int k = 0; k < 3; ++k) {
        EXPECT_NEAR(fast[k], exact[k], 1e-13 * exact[k]) << set.name << " h " << h << " k " << k;
      }
    }
  }
}

TEST(PairMoments, ResultDoesNotDependOnTheThreadCount) {
  const Fixes f = ClusteredFixes(2000, 3);  // 2 million pairs: two chunks
  const auto one = build_pair_moments(f.x, f.y, 1e-6, 1e2, 1, {});
  const auto three = build_pair_moments(f.x, f.y, 1e-6, 1e2, 3, {});
  for (double beta : {1e-6, 1e-3, 1.0}) EXPECT_EQ(one->gaussian_sums(beta), three->gaussian_sums(beta));
}

TEST(PairMoments, StopsWhenProgressSaysStopAndRefusesHugeRanges) {
  const Fixes f = ClusteredFixes(2000, 3);
  int calls = 0;
  EXPECT_FALSE(build_pair_moments(f.x, f.y, 1e-6, 1e2, 1, [&](double) { return ++calls < 1; }));
  EXPECT_EQ(calls, 1);
  // The check without a histogram answers as making one does.
  for (const auto& [low, high] : {std::pair{1e-40, 1e40}, {0.0, 1.0}, {1e-6, 1e2}, {2.0, 1.0}}) {
    EXPECT_EQ(PairMoments::fits_beta_range(low, high), PairMoments::for_beta_range(low, high).has_value())
        << low << " " << high;
  }
  EXPECT_FALSE(PairMoments::for_beta_range(1e-40, 1e40));
  EXPECT_FALSE(PairMoments::for_beta_range(0.0, 1.0));
  EXPECT_TRUE(PairMoments::fits_beta_range(1e-6, 1e2));
}

// A histogram that lists its occupied bins, and one that holds only the octaves below its
// distance limit, give the very sums of the full histogram scanned bin by bin (bit for bit: the
// same bins in the same order).
TEST(PairMoments, IndexedAndTrimmedHistogramsKeepEveryBit) {
  const Fixes f = ClusteredFixes(1200, 5);
  const double betaMin = 1e-7, betaMax = 1e3;
  for (const double d2Limit : {0.25, 4.0, 1e4, 1e9, HUGE_VAL}) {
    auto full = PairMoments::for_beta_range(betaMin, betaMax);
    auto trimmed = PairMoments::for_beta_range_below(betaMin, betaMax, d2Limit);
    ASSERT_TRUE(full && trimmed);
    full->limit_distance(d2Limit);
    full->add_rows(f.x, f.y, 0, f.x.size());
    trimmed->add_rows(f.x, f.y, 0, f.x.size());
    trimmed->index_bins();
    EXPECT_LE(trimmed->byte_size(), full->byte_size());
    for (double beta = betaMin; beta <= betaMax; beta *= 7.0) {
      EXPECT_EQ(full->gaussian_sums(beta), trimmed->gaussian_sums(beta)) << d2Limit << " " << beta;
    }
  }
}

// The cell list finds every pair closer than the radius exactly once: the near histogram's
// G_0 against a pair-by-pair count in long double of the pairs with d^2 < R^2. Tolerance 1e-13
// relative (the histogram's own bound, as above). A lattice of unit spacing puts fixes on the
// cell edges (radius 1: the pairs at exactly 1 are left out; 1.5: they and the diagonal ones
// are in), a radius beyond the extent makes one cell, a tiny one leaves every fix alone.
TEST(NearPairMoments, EveryPairWithinTheRadiusOnce) {
  Fixes lattice;
  for (int i = 0; i < 900; ++i) lattice.x.push_back(i % 30), lattice.y.push_back(i / 30);
  const struct {
    const char* name;
    Fixes fixes;
    double radius;
  } cases[] = {{"lattice, radius 1", lattice, 1.0},
               {"lattice, radius 1.5", lattice, 1.5},
               {"lattice, one cell", lattice, 100.0},
               {"clustered", ClusteredFixes(1500, 7), 2.0},
               {"clustered, tiny", ClusteredFixes(1500, 7), 1e-9}};
  for (const auto& c : cases) {
    const double beta = 0.3 / (c.radius * c.radius);
    const auto near = build_near_pair_moments(c.fixes.x, c.fixes.y, c.radius, beta, beta, 2, {});
    ASSERT_TRUE(near) << c.name;
    long double expected = 0;
    for (std::size_t i = 0; i < c.fixes.x.size(); ++i) {
      for (std::size_t j = i + 1; j < c.fixes.x.size(); ++j) {
        const double dx = c.fixes.x[i] - c.fixes.x[j], dy = c.fixes.y[i] - c.fixes.y[j];
        const double d2 = dx * dx + dy * dy;
        if (d2 < c.radius * c.radius) expected += std::exp(-static_cast<long double>(beta * d2));
      }
    }
    EXPECT_NEAR(near->gaussian_sums(beta)[0], static_cast<double>(expected),
                1e-13 * static_cast<double>(expected))
        << c.name;
  }
}

}  // namespace
}  // namespace orvex::numeric
