// clsLSCV: href, the LSCV and BCV2 profiles, the scan's range, step and ends, its stage codes,
// and the stored and on-the-fly pair sums.

#include "ui/kde/cls_lscv.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "kde/kde_test_data.h"
#include "ui/kde/fixed_chunks.h"

namespace orvex::ui {
namespace {

using test::ScatteredFixes;

// Direct evaluation of the scores from their formulas: every pair (i < j), its distance,
// then K, K2 and e() as the module functions give them. The scan's sums are chunked and take
// e(-u^2/2) as e(-u^2/4) squared; both differ from this only by rounding.
double DirectLscv(const std::vector<CoordPair>& p, double h) {
  const double n = static_cast<double>(p.size());
  double sum = 0.0;
  for (std::size_t i = 0; i + 1 < p.size(); ++i) {
    for (std::size_t j = i + 1; j < p.size(); ++j) {
      const double u = gis::PairDistance(p[i][0], p[i][1], p[j][0], p[j][1]) / h;
      sum += gis::ConvolvedKernel(u) - 2.0 * gis::NormalKernel(u);
    }
  }
  return (2.0 * sum + n * (gis::ConvolvedKernel(0) - 2.0 * gis::NormalKernel(0))) / (n * n * h * h) +
         2.0 * gis::NormalKernel(0) / (n * h * h);
}

double DirectBcv2(const std::vector<CoordPair>& p, double h) {
  const double n = static_cast<double>(p.size());
  double sum = 0.0;
  for (std::size_t i = 0; i + 1 < p.size(); ++i) {
    for (std::size_t j = i + 1; j < p.size(); ++j) {
      const double d = gis::PairDistance(p[i][0], p[i][1], p[j][0], p[j][1]) / h;
      sum += gis::GuardedExp(-d * d / 2.0) * (std::pow(d, 4) - 8.0 * d * d + 8.0);
    }
  }
  return 2.0 * sum / (h * h * (n - 2.0) * (n - 1.0) * 8.0 * 3.14159265358979) +
         1.0 / ((n - 1.0) * 12.56637061435916 * h * h);
}

// Columns of a profile that a scan filled (h > 0).
std::size_t FilledColumns(const CrossValidationProfile& profile) {
  std::size_t filled = 0;
  for (double h : profile.h) filled += h > 0.0 ? 1 : 0;
  return filled;
}

// ---------------------------------------------------------------------------------------
// href

TEST(LscvHref, SquareOfFourFixes) {
  // Hand computation: x and y both {0, 2, 0, 2}, mean 1, sample variance 4/3;
  // href = sqrt(4/3) * 4^(-1/6). Tolerance 2 ulps (sqrt and pow are each within 1 ulp).
  clsLSCV lscv;
  lscv.SetInputCoords(std::vector<CoordPair>{{0, 0}, {2, 0}, {0, 2}, {2, 2}});
  lscv.CalculateHREF();
  EXPECT_EQ(lscv.lErrorStatus, 0);
  EXPECT_NEAR(lscv.GetHREF(), std::sqrt(4.0 / 3.0) * std::pow(4.0, -1.0 / 6.0), 4e-16);
}

TEST(LscvHref, UsesTheMeanOfBothVariances) {
  // x spread {0, 6} (variance 18), y constant (variance 0): href = sqrt(9) * 2^(-1/6).
  clsLSCV lscv;
  lscv.SetInputCoords(std::vector<CoordPair>{{0, 5}, {6, 5}});
  lscv.CalculateHREF();
  EXPECT_NEAR(lscv.GetHREF(), 3.0 * std::pow(2.0, -1.0 / 6.0), 1e-15);
}

TEST(LscvHref, FreshObjectAnswersMinusOne) {
  clsLSCV lscv;
  EXPECT_EQ(lscv.GetHREF(), -1.0);
  EXPECT_EQ(lscv.GetBandwidth(), -1.0);
  EXPECT_FALSE(lscv.GetLSCVProfile().has_value());
  EXPECT_FALSE(lscv.bMinimized);
  EXPECT_EQ(lscv.lErrorStatus, 0);
}

TEST(LscvHref, OneFixCannotGiveAVariance) {
  clsLSCV lscv;
  lscv.SetInputCoords(std::vector<CoordPair>{{1, 1}});
  lscv.CalculateHREF();
  EXPECT_EQ(lscv.lErrorStatus, clsLSCV::kHrefFailed);
  EXPECT_EQ(lscv.GetHREF(), -1.0);
  lscv.CalculateLSCV();  // blocked by the status
  EXPECT_EQ(lscv.GetBandwidth(), -1.0);
}

TEST(LscvHref, EmptyInputIsAnError) {
  clsLSCV lscv;
  lscv.SetInputCoords({});
  EXPECT_EQ(lscv.lErrorStatus, clsLSCV::kNoFixes);
  lscv.CalculateLSCV();
  EXPECT_EQ(lscv.lErrorStatus, clsLSCV::kNoFixes);
  EXPECT_EQ(lscv.GetBandwidth(), -1.0);
}

// ---------------------------------------------------------------------------------------
// Scores against the formulas

TEST(LscvScores, LscvProfileMatchesTheFormula) {
  const auto fixes = ScatteredFixes(25);
  clsLSCV lscv;
  lscv.SetInputCoords(fixes);
  lscv.CalculateLSCV();
  ASSERT_EQ(lscv.lErrorStatus, 0);
  const auto profile = lscv.GetLSCVProfile();
  ASSERT_TRUE(profile.has_value());
  // Relative tolerance 1e-11: the sums hold terms of both signs, so a few ulps per term can
  // grow relative to the total; the formulas themselves are identical.
  for (std::size_t k = 0; k < profile->h.size(); ++k) {
    if (profile->h[k] == 0.0) continue;
    const double expected = DirectLscv(fixes, profile->h[k]);
    EXPECT_NEAR(profile->score[k], expected, 1e-11 * std::abs(expected)) << "column " << k;
  }
}

TEST(LscvScores, Bcv2ProfileMatchesTheFormula) {
  const auto fixes = ScatteredFixes(25, 500.0, 2000.0);
  clsLSCV lscv;
  lscv.SetInputCoords(fixes);
  lscv.CalculateBCV2();
  ASSERT_EQ(lscv.lErrorStatus, 0);
  const auto profile = lscv.GetLSCVProfile();
  ASSERT_TRUE(profile.has_value());
  for (std::size_t k = 0; k < profile->h.size(); ++k) {
    if (profile->h[k] == 0.0) continue;
    const double expected = DirectBcv2(fixes, profile->h[k]);
    EXPECT_NEAR(profile->score[k], expected, 1e-11 * std::abs(expected)) << "column " << k;
  }
}

TEST(LscvScores, ChosenBandwidthIsTheLowestScore) {
  const auto fixes = ScatteredFixes(40);
  clsLSCV lscv;
  lscv.SetInputCoords(fixes);
  lscv.CalculateLSCV();
  ASSERT_EQ(lscv.lErrorStatus, 0);
  const auto profile = *lscv.GetLSCVProfile();
  std::size_t best = 0;
  for (std::size_t k = 1; k < profile.h.size(); ++k) {
    if (profile.h[k] > 0.0 && profile.score[k] < profile.score[best]) best = k;
  }
  EXPECT_EQ(lscv.GetBandwidth(), profile.h[best]);
  EXPECT_EQ(lscv.bMinimized, best != 0 && profile.h[best] != profile.h[FilledColumns(profile) - 1]);
}

// ---------------------------------------------------------------------------------------
// The scan's range and step

// Fixes scaled so that href is exactly `href` (a scale factor is nudged until the computed
// href reads back exactly).
std::vector<CoordPair> FixesWithHref(double href) {
  const auto base = ScatteredFixes(30);
  clsLSCV probe;
  probe.SetInputCoords(base);
  probe.CalculateHREF();
  double scale = href / probe.GetHREF();
  for (int attempt = 0; attempt < 200; ++attempt) {
    auto scaled = base;
    for (auto& f : scaled) f = {f[0] * scale, f[1] * scale};
    clsLSCV check;
    check.SetInputCoords(scaled);
    check.CalculateHREF();
    if (check.GetHREF() == href) return scaled;
    scale = std::nextafter(scale, check.GetHREF() < href ? 1e300 : 0.0);
  }
  ADD_FAILURE() << "no scale gives href " << href;
  return base;
}

TEST(LscvScan, DefaultLscvRangeForHref100) {
  // Worked example: 0.05 * 100 = 5 to 2 * 100 = 200 in steps of 195 / 200 = 0.975 by repeated
  // addition: 201 values, the last a hair below 200, then exactly 200; 203 columns, 202 used.
  clsLSCV lscv;
  lscv.SetInputCoords(FixesWithHref(100.0));
  lscv.CalculateLSCV();
  ASSERT_EQ(lscv.lErrorStatus, 0);
  const auto profile = *lscv.GetLSCVProfile();
  ASSERT_EQ(profile.h.size(), 203U);
  EXPECT_EQ(FilledColumns(profile), 202U);
  double h = 5.0;
  for (std::size_t k = 0; k <= 200; ++k) {
    EXPECT_EQ(profile.h[k], h) << "column " << k;
    h += 0.975;
  }
  EXPECT_LT(profile.h[200], 200.0);
  EXPECT_GT(profile.h[200], 200.0 - 1e-9);
  EXPECT_EQ(profile.h[201], 200.0);
  EXPECT_EQ(profile.h[202], 0.0);
}

TEST(LscvScan, DefaultBcvRangeForHref100) {
  // 5 to 3 * 100 = 300 in steps of 295 / 200 = 1.475, ending exactly at 300.
  clsLSCV lscv;
  lscv.SetInputCoords(FixesWithHref(100.0));
  lscv.CalculateBCV2();
  ASSERT_EQ(lscv.lErrorStatus, 0);
  const auto profile = *lscv.GetLSCVProfile();
  const std::size_t filled = FilledColumns(profile);
  ASSERT_GE(filled, 202U);
  EXPECT_EQ(profile.h[0], 5.0);
  EXPECT_EQ(profile.h[1], 5.0 + 1.475);
  // Here the additions reach 300 exactly; the maximum is then scored once more.
  EXPECT_EQ(profile.h[filled - 1], 300.0);
  EXPECT_LE(profile.h[filled - 2], 300.0);
  EXPECT_GT(profile.h[filled - 2], 300.0 - 1.475);
}

TEST(LscvScan, NegativeRangeIsStoredAbsoluteAndSwapped) {
  clsLSCV lscv;
  lscv.SetInputCoords(ScatteredFixes(20, 10.0, 10.0));
  lscv.SetSearchRange(-10, -2);
  lscv.SetStepValue(-1);
  lscv.CalculateLSCV();
  ASSERT_EQ(lscv.lErrorStatus, 0);
  const auto profile = *lscv.GetLSCVProfile();
  // 2, 3, ..., 10 by addition (10 is not above the maximum), then the maximum again:
  // m = Int(8 / 1) + 2 = 10, eleven columns, the last one unused.
  ASSERT_EQ(profile.h.size(), 11U);
  for (std::size_t k = 0; k <= 8; ++k) EXPECT_EQ(profile.h[k], 2.0 + static_cast<double>(k));
  EXPECT_EQ(profile.h[9], 10.0);
  EXPECT_EQ(profile.h[10], 0.0);
}

TEST(LscvScan, ScoreFallingToTheMaximumIsNotMinimized) {
  // Bandwidths far below the closest pair: every pair term is 0 and CV(h) = 1 / (4 pi n h^2)
  // falls all the way to the maximum.
  const auto fixes = ScatteredFixes(15, 1000.0, 1000.0);
  double closest = 1e300;
  for (std::size_t i = 0; i < fixes.size(); ++i)
    for (std::size_t j = i + 1; j < fixes.size(); ++j)
      closest = std::min(closest, gis::PairDistance(fixes[i][0], fixes[i][1], fixes[j][0], fixes[j][1]));
  clsLSCV lscv;
  lscv.SetInputCoords(fixes);
  lscv.SetSearchRange(closest / 100.0, closest / 50.0);
  lscv.CalculateLSCV();
  ASSERT_EQ(lscv.lErrorStatus, 0);
  EXPECT_EQ(lscv.GetBandwidth(), closest / 50.0);
  EXPECT_FALSE(lscv.bMinimized);
}

TEST(LscvScan, ScoreRisingFromTheMinimumIsNotMinimized) {
  // Far above the spread CV(h) ~ (1/n - 3/4) / (pi h^2) rises towards 0: lowest at the minimum.
  clsLSCV lscv;
  lscv.SetInputCoords(ScatteredFixes(15));
  lscv.SetSearchRange(1e6, 2e6);
  lscv.CalculateLSCV();
  ASSERT_EQ(lscv.lErrorStatus, 0);
  EXPECT_EQ(lscv.GetBandwidth(), 1e6);
  EXPECT_FALSE(lscv.bMinimized);
}

TEST(LscvScan, InteriorMinimumIsMinimized) {
  // A bell-shaped cloud (each coordinate the sum of four uniforms) has its LSCV minimum
  // inside 0.05 .. 2 href.
  const auto fixes = test::BellFixes(120);
  clsLSCV lscv;
  lscv.SetInputCoords(fixes);
  lscv.CalculateLSCV();
  ASSERT_EQ(lscv.lErrorStatus, 0);
  EXPECT_TRUE(lscv.bMinimized);
  EXPECT_GT(lscv.GetBandwidth(), 0.05 * lscv.GetHREF());
  EXPECT_LT(lscv.GetBandwidth(), 2.0 * lscv.GetHREF());
}

// ---------------------------------------------------------------------------------------
// Stage codes

TEST(LscvStages, TwoFixesStopBcvAtItsFirstStage) {
  clsLSCV lscv;
  lscv.SetInputCoords(std::vector<CoordPair>{{0, 0}, {10, 10}});
  lscv.CalculateBCV2();  // n - 2 = 0
  EXPECT_EQ(lscv.lErrorStatus, clsLSCV::kBcvStart);
  EXPECT_EQ(lscv.GetBandwidth(), -1.0);
  EXPECT_FALSE(lscv.GetLSCVProfile().has_value());
  lscv.CalculateLSCV();  // blocked
  EXPECT_EQ(lscv.lErrorStatus, clsLSCV::kBcvStart);
}

TEST(LscvStages, ZeroMinimumStopsAtTheFirstStage) {
  clsLSCV lscv;
  lscv.SetInputCoords(ScatteredFixes(10));
  lscv.SetSearchRange(0, 100);  // h = 0 in column 0
  lscv.CalculateLSCV();
  EXPECT_EQ(lscv.lErrorStatus, clsLSCV::kLscvStart);
}

TEST(LscvStages, IdenticalFixesGiveAnEmptyRange) {
  // href = 0, so the default range is 0 .. 0 with step 0: (0 - 0) / 0 fails at stage 961.
  clsLSCV lscv;
  lscv.SetInputCoords(std::vector<CoordPair>(5, CoordPair{3, 4}));
  lscv.CalculateLSCV();
  EXPECT_EQ(lscv.lErrorStatus, clsLSCV::kLscvStart);
  EXPECT_EQ(lscv.GetHREF(), 0.0);
}

TEST(LscvStages, ProfileBeyondItsCapIsAnError) {
  clsLSCV lscv;
  lscv.SetInputCoords(ScatteredFixes(10));
  lscv.SetSearchRange(1, 2);
  lscv.SetStepValue(1e-9);  // 1e9 columns
  lscv.CalculateLSCV();
  EXPECT_EQ(lscv.lErrorStatus, clsLSCV::kLscvStart);
}

TEST(LscvStages, SuccessfulScanEndsAtZero) {
  clsLSCV lscv;
  lscv.SetInputCoords(ScatteredFixes(10));
  lscv.CalculateBCV2();
  EXPECT_EQ(lscv.lErrorStatus, 0);
  EXPECT_GT(lscv.GetBandwidth(), 0.0);
}

// ---------------------------------------------------------------------------------------
// Stored and on-the-fly pair sums

struct ScanResult {
  CrossValidationProfile profile;
  double bandwidth;
  bool stored;
};

ScanResult Scan(const std::vector<CoordPair>& fixes, CrossValidationKind kind,
                const PairScanOptions& options) {
  clsLSCV lscv;
  lscv.SetPairScanOptions(options);
  lscv.SetInputCoords(fixes);
  if (kind == CrossValidationKind::lscv) {
    lscv.CalculateLSCV();
  } else {
    lscv.CalculateBCV2();
  }
  EXPECT_EQ(lscv.lErrorStatus, 0);
  return {lscv.GetLSCVProfile().value_or(CrossValidationProfile{}), lscv.GetBandwidth(),
          lscv.StoresPairDistances()};
}

class PairPaths : public ::testing::TestWithParam<CrossValidationKind> {
 protected:
  void TearDown() override { SetWorkerThreadLimit(0); }
};

TEST_P(PairPaths, OnTheFlyEqualsStoredBitForBit) {
  // 60 fixes = 1,770 pairs; chunks of 97 pairs start in the middle of rows.
  const auto fixes = ScatteredFixes(60);
  const ScanResult stored = Scan(fixes, GetParam(), {.maxStoredPairs = 1'000'000, .chunkPairs = 97});
  const ScanResult streamed = Scan(fixes, GetParam(), {.maxStoredPairs = 1000, .chunkPairs = 97});
  ASSERT_TRUE(stored.stored);
  ASSERT_FALSE(streamed.stored);
  EXPECT_EQ(stored.profile.h, streamed.profile.h);
  EXPECT_EQ(stored.profile.score, streamed.profile.score);
  EXPECT_EQ(stored.bandwidth, streamed.bandwidth);
}

TEST_P(PairPaths, ThreadCountDoesNotChangeTheScores) {
  const auto fixes = ScatteredFixes(80);
  const PairScanOptions options{.maxStoredPairs = 0, .chunkPairs = 64};
  SetWorkerThreadLimit(1);
  const ScanResult one = Scan(fixes, GetParam(), options);
  SetWorkerThreadLimit(3);
  const ScanResult three = Scan(fixes, GetParam(), options);
  EXPECT_EQ(one.profile.score, three.profile.score);
  EXPECT_EQ(one.bandwidth, three.bandwidth);
}

TEST_P(PairPaths, ChunkSizeChangesOnlyRounding) {
  // Different chunk boundaries regroup the same terms: equal to 1e-12 relative.
  const auto fixes = ScatteredFixes(60);
  const ScanResult coarse = Scan(fixes, GetParam(), {.maxStoredPairs = 0, .chunkPairs = 1 << 20});
  const ScanResult fine = Scan(fixes, GetParam(), {.maxStoredPairs = 0, .chunkPairs = 7});
  ASSERT_EQ(coarse.profile.score.size(), fine.profile.score.size());
  for (std::size_t k = 0; k < fine.profile.score.size(); ++k) {
    EXPECT_NEAR(coarse.profile.score[k], fine.profile.score[k], 1e-12 * std::abs(coarse.profile.score[k]));
  }
}

INSTANTIATE_TEST_SUITE_P(Kinds, PairPaths,
                         ::testing::Values(CrossValidationKind::lscv, CrossValidationKind::bcv2),
                         [](const auto& kindInfo) {
                           return kindInfo.param == CrossValidationKind::lscv ? std::string("Lscv")
                                                                              : std::string("Bcv2");
                         });

TEST(PairRows, FirstPairOfEachRow) {
  // n = 5: rows hold 4, 3, 2, 1 pairs.
  EXPECT_EQ(FirstPairOfRow(5, 0), 0U);
  EXPECT_EQ(FirstPairOfRow(5, 1), 4U);
  EXPECT_EQ(FirstPairOfRow(5, 2), 7U);
  EXPECT_EQ(FirstPairOfRow(5, 3), 9U);
  EXPECT_EQ(FirstPairOfRow(5, 4), 10U);
  // 100,000 fixes: 4,999,950,000 pairs, beyond 32 bits.
  EXPECT_EQ(FirstPairOfRow(100'000, 99'999), 4'999'950'000ULL);
}

}  // namespace
}  // namespace orvex::ui
