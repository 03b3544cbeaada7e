// clsLSCV: href, the LSCV and BCV2 profiles against their formulas, the scan's range, step
// and ends, its stage codes, and the exact and moment pair sums.

#include "ui/kde/cls_lscv.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "kde/kde_test_data.h"

namespace orvex::ui {
namespace {

using test::ScatteredFixes;

// The scores evaluated directly from their formulas over every pair (i < j), with the kernel
// functions of ui/gis. The scan sums in chunks, forms u^2 as d^2 / h^2 and takes e(-u^2/2)
// as e(-u^2/4) squared.
double DirectScore(CrossValidationKind kind, const std::vector<CoordPair>& p, double h) {
  const double n = static_cast<double>(p.size());
  double sum = 0.0;
  for (std::size_t i = 0; i < p.size(); ++i) {
    for (std::size_t j = i + 1; j < p.size(); ++j) {
      const double u = gis::PairDistance(p[i][0], p[i][1], p[j][0], p[j][1]) / h;
      sum += kind == CrossValidationKind::lscv
                 ? gis::ConvolvedKernel(u) - 2.0 * gis::NormalKernel(u)
                 : gis::GuardedExp(-u * u / 2.0) * (std::pow(u, 4) - 8.0 * u * u + 8.0);
    }
  }
  if (kind == CrossValidationKind::lscv) {
    return (2.0 * sum + n * (gis::ConvolvedKernel(0) - 2.0 * gis::NormalKernel(0))) / (n * n * h * h) +
           2.0 * gis::NormalKernel(0) / (n * h * h);
  }
  return 2.0 * sum / (h * h * (n - 2.0) * (n - 1.0) * 8.0 * 3.14159265358979) +
         1.0 / ((n - 1.0) * 12.56637061435916 * h * h);
}

struct Scan {
  clsLSCV lscv;
  CrossValidationProfile profile;
  std::size_t filled = 0;  // columns with h > 0
};

Scan RunScan(CrossValidationKind kind, const std::vector<CoordPair>& fixes,
             const PairScanOptions& options = {}) {
  Scan s;
  s.lscv.SetPairScanOptions(options);
  s.lscv.SetInputCoords(fixes);
  kind == CrossValidationKind::lscv ? s.lscv.CalculateLSCV() : s.lscv.CalculateBCV2();
  s.profile = s.lscv.GetLSCVProfile().value_or(CrossValidationProfile{});
  for (double h : s.profile.h) s.filled += h > 0.0 ? 1 : 0;
  return s;
}

// Fixes whose href is exactly `href`: a scattered set scaled, the factor nudged until the
// computed href reads back exactly.
std::vector<CoordPair> FixesWithHref(double href) {
  const auto base = ScatteredFixes(30);
  double scale = 1.0;
  for (int attempt = 0; attempt < 200; ++attempt) {
    auto scaled = base;
    for (auto& f : scaled) f = {f[0] * scale, f[1] * scale};
    clsLSCV check;
    check.SetInputCoords(scaled);
    check.CalculateHREF();
    if (check.GetHREF() == href) return scaled;
    scale =
        attempt == 0 ? href / check.GetHREF() : std::nextafter(scale, check.GetHREF() < href ? 1e300 : 0.0);
  }
  ADD_FAILURE() << "no scale gives href " << href;
  return base;
}

TEST(LscvHref, SquareOfFourFixes) {
  // Worked example: x and y both {0, 2, 0, 2}, sample variance 4/3, so
  // href = sqrt(4/3) * 4^(-1/6). Tolerance 4e-16 (two ulps).
  clsLSCV lscv;
  EXPECT_EQ(lscv.GetHREF(), -1.0);  // fresh object
  EXPECT_EQ(lscv.GetBandwidth(), -1.0);
  lscv.SetInputCoords(std::vector<CoordPair>{{0, 0}, {2, 0}, {0, 2}, {2, 2}});
  lscv.CalculateHREF();
  EXPECT_EQ(lscv.lErrorStatus, 0);
  EXPECT_NEAR(lscv.GetHREF(), std::sqrt(4.0 / 3.0) * std::pow(4.0, -1.0 / 6.0), 4e-16);
}

class LscvKinds : public ::testing::TestWithParam<CrossValidationKind> {};

TEST_P(LscvKinds, ProfileMatchesTheFormulaAndPicksItsLowestScore) {
  // Tolerance 1e-11 relative: the sums mix terms of both signs, so the few ulps by which each
  // term differs can grow relative to the total.
  const auto fixes = ScatteredFixes(25, 500.0, 2000.0);
  const Scan s = RunScan(GetParam(), fixes);
  ASSERT_EQ(s.lscv.lErrorStatus, 0);
  std::size_t best = 0;
  for (std::size_t k = 0; k < s.filled; ++k) {
    const double expected = DirectScore(GetParam(), fixes, s.profile.h[k]);
    EXPECT_NEAR(s.profile.score[k], expected, 1e-11 * std::abs(expected)) << "column " << k;
    if (s.profile.score[k] < s.profile.score[best]) best = k;
  }
  EXPECT_EQ(s.lscv.GetBandwidth(), s.profile.h[best]);
  EXPECT_EQ(s.lscv.bMinimized, best != 0 && s.profile.h[best] != s.profile.h[s.filled - 1]);
}

TEST_P(LscvKinds, ExactSumsAreTheSameBitsWithAnyThreadCountAndInstructionSet) {
  // 60 fixes = 1,770 pairs in chunks of whole rows of at least 97 pairs: some twenty chunks.
  const auto fixes = ScatteredFixes(60);
  const Scan one = RunScan(
      GetParam(), fixes,
      {.chunkPairs = 97, .threads = 1, .method = PairSumMethod::exact, .simd = numeric::SimdLevel::baseline});
  for (const auto level :
       {numeric::SimdLevel::baseline, numeric::SimdLevel::avx2, numeric::SimdLevel::avx512f}) {
    const Scan three = RunScan(
        GetParam(), fixes, {.chunkPairs = 97, .threads = 3, .method = PairSumMethod::exact, .simd = level});
    EXPECT_EQ(one.profile.h, three.profile.h);
    EXPECT_EQ(one.profile.score, three.profile.score);
    EXPECT_EQ(one.lscv.GetBandwidth(), three.lscv.GetBandwidth());
  }
}

// Fixes in tight clusters with every fourth one repeating its predecessor (a collar at rest).
std::vector<CoordPair> ClusteredFixes(std::size_t n, std::size_t clusters) {
  const auto scatter = ScatteredFixes(n, 3.0, 3.0);
  const auto centres = ScatteredFixes(clusters, 2000.0, 1000.0, 0.0, 0.0, 99);
  std::vector<CoordPair> fixes;
  for (std::size_t i = 0; i < n; ++i) {
    const auto& c = centres[i % clusters];
    fixes.push_back(i % 4 == 3 ? fixes.back() : CoordPair{c[0] + scatter[i][0], c[1] + scatter[i][1]});
  }
  return fixes;
}

// Half the fixes on `dens` positions among scattered ones (dens, a collar left on the ground).
std::vector<CoordPair> DenFixes(std::size_t n, std::size_t dens) {
  auto fixes = ScatteredFixes(n, 300.0, 200.0);
  const auto spots = ScatteredFixes(dens, 300.0, 200.0, 0.0, 0.0, 5);
  for (std::size_t i = 0; i < n; i += 2) fixes[i] = spots[(i / 2) % dens];
  return fixes;
}

TEST_P(LscvKinds, MomentSumsGiveTheExactProfileAndBandwidth) {
  // Every score within 1e-10 relative of the exact scan's (the moments hold each positive
  // Gaussian sum to about 1e-15; the score is a difference of such sums), the candidates near
  // the lowest re-scored exactly, so the chosen bandwidth is the exact scan's.
  // The split sums (forced: near pairs and spectrum) likewise, their bounds about 1e-12.
  for (const auto& fixes :
       {ClusteredFixes(700, 5), ClusteredFixes(400, 1), ScatteredFixes(500), DenFixes(600, 10)}) {
    const Scan exact = RunScan(GetParam(), fixes, {.method = PairSumMethod::exact});
    for (const auto method : {PairSumMethod::moments, PairSumMethod::split}) {
      const Scan moments = RunScan(GetParam(), fixes, {.method = method});
      ASSERT_EQ(moments.lscv.LastPairSumMethod(), method);
      ASSERT_EQ(moments.lscv.lErrorStatus, 0);
      ASSERT_EQ(moments.profile.h, exact.profile.h);
      for (std::size_t k = 0; k < exact.filled; ++k) {
        EXPECT_NEAR(moments.profile.score[k], exact.profile.score[k],
                    1e-10 * std::abs(exact.profile.score[k]))
            << k;
      }
      EXPECT_EQ(moments.lscv.GetBandwidth(), exact.lscv.GetBandwidth());
      EXPECT_EQ(moments.lscv.bMinimized, exact.lscv.bMinimized);
    }
  }
}

TEST_P(LscvKinds, ProgressReportsAndCancels) {
  // The split sums report their near pairs and their spectrum; a stop in either is a cancel.
  for (const auto method : {PairSumMethod::exact, PairSumMethod::moments, PairSumMethod::split}) {
    double last = -1.0;
    bool rising = true;
    clsLSCV lscv;
    lscv.SetPairScanOptions({.chunkPairs = 97, .method = method});
    lscv.SetInputCoords(ScatteredFixes(300));
    lscv.SetProgress([&](double f, std::string_view) {
      rising = rising && f >= last;
      last = f;
      return f < 0.5;
    });
    GetParam() == CrossValidationKind::lscv ? lscv.CalculateLSCV() : lscv.CalculateBCV2();
    EXPECT_TRUE(rising);
    EXPECT_GE(last, 0.5);
    EXPECT_TRUE(lscv.WasCancelled());
    EXPECT_EQ(lscv.lErrorStatus,
              GetParam() == CrossValidationKind::lscv ? clsLSCV::kLscvStart : clsLSCV::kBcvStart);
    EXPECT_EQ(lscv.GetBandwidth(), -1.0);
  }
}

INSTANTIATE_TEST_SUITE_P(Scores, LscvKinds,
                         ::testing::Values(CrossValidationKind::lscv, CrossValidationKind::bcv2),
                         [](const auto& kindInfo) {
                           return std::string(kindInfo.param == CrossValidationKind::lscv ? "Lscv" : "Bcv2");
                         });

TEST(LscvScan, DefaultRangesForHref100) {
  // Worked example: LSCV from 0.05 * 100 = 5 by repeated addition of 195 / 200 = 0.975:
  // 201 values, the last a hair below 200, then exactly 200; 203 columns, 202 used.
  const auto fixes = FixesWithHref(100.0);
  const Scan lscv = RunScan(CrossValidationKind::lscv, fixes);
  ASSERT_EQ(lscv.lscv.lErrorStatus, 0);
  ASSERT_EQ(lscv.profile.h.size(), 203U);
  EXPECT_EQ(lscv.filled, 202U);
  double h = 5.0;
  for (std::size_t k = 0; k <= 200; ++k, h += 0.975) EXPECT_EQ(lscv.profile.h[k], h) << "column " << k;
  EXPECT_LT(lscv.profile.h[200], 200.0);
  EXPECT_GT(lscv.profile.h[200], 200.0 - 1e-9);
  EXPECT_EQ(lscv.profile.h[201], 200.0);
  // BCV2 from 5 to 3 * 100 = 300 in steps of 1.475; here the additions reach 300 exactly and
  // the maximum is then scored once more.
  const Scan bcv = RunScan(CrossValidationKind::bcv2, fixes);
  ASSERT_EQ(bcv.lscv.lErrorStatus, 0);
  EXPECT_EQ(bcv.profile.h[0], 5.0);
  EXPECT_EQ(bcv.profile.h[1], 6.475);
  EXPECT_EQ(bcv.profile.h[bcv.filled - 1], 300.0);
  EXPECT_GT(bcv.profile.h[bcv.filled - 2], 300.0 - 1.475);
}

TEST(LscvScan, NegativeRangeIsStoredAbsoluteAndSwapped) {
  // 2, 3, ..., 10 by addition (10 is not above the maximum), then the maximum again:
  // m = Int(8 / 1) + 2 = 10, eleven columns, the last unused.
  clsLSCV lscv;
  lscv.SetInputCoords(ScatteredFixes(20, 10.0, 10.0));
  lscv.SetSearchRange(-10, -2);
  lscv.SetStepValue(-1);
  lscv.CalculateLSCV();
  ASSERT_EQ(lscv.lErrorStatus, 0);
  const auto profile = *lscv.GetLSCVProfile();
  const std::vector<double> expected{2, 3, 4, 5, 6, 7, 8, 9, 10, 10, 0};
  EXPECT_EQ(profile.h, expected);
}

TEST(LscvScan, LowestScoreAtAnEndIsNotMinimized) {
  const auto fixes = ScatteredFixes(15);
  double closest = 1e300;
  for (std::size_t i = 0; i < fixes.size(); ++i)
    for (std::size_t j = i + 1; j < fixes.size(); ++j)
      closest = std::min(closest, std::hypot(fixes[i][0] - fixes[j][0], fixes[i][1] - fixes[j][1]));
  // Far below the closest pair every pair term is 0 and CV(h) = 1 / (4 pi n h^2) falls to the
  // maximum; far above the spread CV(h) ~ (1/n - 3/4) / (pi h^2) rises from the minimum.
  const struct {
    double minimum, maximum, expected;
  } cases[] = {{closest / 100, closest / 50, closest / 50}, {1e6, 2e6, 1e6}};
  for (const auto& c : cases) {
    clsLSCV lscv;
    lscv.SetInputCoords(fixes);
    lscv.SetSearchRange(c.minimum, c.maximum);
    lscv.CalculateLSCV();
    ASSERT_EQ(lscv.lErrorStatus, 0);
    EXPECT_EQ(lscv.GetBandwidth(), c.expected);
    EXPECT_FALSE(lscv.bMinimized);
  }
}

TEST(LscvScan, BellShapedCloudIsMinimizedInside) {
  const Scan s = RunScan(CrossValidationKind::lscv, test::BellFixes(120));
  ASSERT_EQ(s.lscv.lErrorStatus, 0);
  EXPECT_TRUE(s.lscv.bMinimized);
  EXPECT_GT(s.lscv.GetBandwidth(), 0.05 * s.lscv.GetHREF());
  EXPECT_LT(s.lscv.GetBandwidth(), 2.0 * s.lscv.GetHREF());
}

TEST(LscvStages, FailuresKeepTheirCodeAndBlockLaterCalls) {
  const std::vector<CoordPair> two{{0, 0}, {10, 10}};
  const std::vector<CoordPair> same(5, CoordPair{3, 4});
  const std::vector<CoordPair> one{{1, 1}};
  const struct {
    const char* what;
    std::vector<CoordPair> fixes;
    double minimum, maximum, step;
    CrossValidationKind kind;
    std::int32_t code;
  } cases[] = {
      {"two fixes: BCV2 divides by n - 2", two, 0, 0, 0, CrossValidationKind::bcv2, clsLSCV::kBcvStart},
      {"h = 0 in column 0", ScatteredFixes(10), 0, 100, 0, CrossValidationKind::lscv, clsLSCV::kLscvStart},
      {"identical fixes: href 0, range 0 .. 0, step 0", same, 0, 0, 0, CrossValidationKind::lscv,
       clsLSCV::kLscvStart},
      {"1e9 profile columns", ScatteredFixes(10), 1, 2, 1e-9, CrossValidationKind::lscv, clsLSCV::kLscvStart},
      {"one fix: no href", one, 0, 0, 0, CrossValidationKind::lscv, clsLSCV::kHrefFailed},
      {"no fixes", {}, 0, 0, 0, CrossValidationKind::bcv2, clsLSCV::kNoFixes},
  };
  for (const auto& c : cases) {
    clsLSCV lscv;
    lscv.SetInputCoords(c.fixes);
    lscv.SetSearchRange(c.minimum, c.maximum);
    lscv.SetStepValue(c.step);
    c.kind == CrossValidationKind::lscv ? lscv.CalculateLSCV() : lscv.CalculateBCV2();
    EXPECT_EQ(lscv.lErrorStatus, c.code) << c.what;
    EXPECT_EQ(lscv.GetBandwidth(), -1.0) << c.what;
    EXPECT_FALSE(lscv.GetLSCVProfile().has_value()) << c.what;
    lscv.CalculateLSCV();
    EXPECT_EQ(lscv.lErrorStatus, c.code) << c.what << " (blocked)";
  }
}

}  // namespace
}  // namespace orvex::ui
