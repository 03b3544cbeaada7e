// Bandwidth selection: setters, the search bracket, golden-section search, the LSCV and BCV2
// scores against their definitions.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <regex>
#include <vector>

#include "core/engine/bandwidth_search.h"
#include "core/engine/kernel_math.h"
#include "engine_test_support.h"

namespace orvex::core::test {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

// M1(h) over all ordered pairs, i = j included, exactly as defined.
double lscv_by_definition(const KernelEngine& e, double h) {
  const auto fixes = e.Trackingdata();
  const double n = static_cast<double>(fixes.size());
  double S = 0.0;
  for (const auto& a : fixes) {
    for (const auto& b : fixes) {
      const double d2 = (a.x - b.x) * (a.x - b.x) + (a.y - b.y) * (a.y - b.y);
      S += std::exp(-d2 / (4 * std::pow(h, 2))) - 4 * std::exp(-d2 / (2 * std::pow(h, 2)));
    }
  }
  return 1 / (kPi * n * std::pow(h, 2)) + S / (4 * kPi * std::pow(n, 2) * std::pow(h, 2));
}

// M2(h) over the unordered pairs, exactly as defined.
double bcv2_by_definition(const KernelEngine& e, double h) {
  const auto fixes = e.Trackingdata();
  const double n = static_cast<double>(fixes.size());
  double S = 0.0;
  for (std::size_t i = 0; i < fixes.size(); ++i) {
    for (std::size_t j = 0; j < i; ++j) {
      const double D = std::hypot(fixes[i].x - fixes[j].x, fixes[i].y - fixes[j].y) / h;
      S += guarded_exp(-D * D / 2) * (std::pow(D, 4) - 8 * D * D + 8);
    }
  }
  S *= 2;
  return 1 / (4 * kPi * (n - 1) * std::pow(h, 2)) + S / (8 * kPi * (n - 1) * (n - 2) * std::pow(h, 2));
}

Fixes two_groups() {
  Fixes fixes = normal_fixes(60, 0, 0, 1.0, 0.7, 21);
  // A far group: at small h its pairs with the first group are exactly 0 and are skipped.
  for (const auto& f : normal_fixes(25, 400, 30, 2.0, 2.0, 22)) fixes.push_back(f);
  return fixes;
}

TEST(Scores, LscvMatchesItsDefinition) {
  KernelEngine engine(85);
  add_fixes(engine, two_groups());
  for (double h : {0.05, 0.3, 1.0, 4.0, 60.0}) {
    const double expected = lscv_by_definition(engine, h);
    // Pair symmetry, exp(-2u) = exp(-u)^2 and the summation order: 1e-12 relative.
    EXPECT_NEAR(engine.lscv_score(h), expected, 1e-12 * std::fabs(expected)) << h;
  }
}

TEST(Scores, Bcv2MatchesItsDefinition) {
  KernelEngine engine(85);
  add_fixes(engine, two_groups());
  for (double h : {0.05, 0.3, 1.0, 4.0, 60.0}) {
    const double expected = bcv2_by_definition(engine, h);
    EXPECT_NEAR(engine.bcv2_score(h), expected, 1e-12 * std::fabs(expected)) << h;
  }
}

TEST(Scores, UndefinedArgumentsGiveNaN) {
  KernelEngine engine(2);
  add_fixes(engine, {{0, 0}, {1, 1}});
  EXPECT_TRUE(std::isnan(engine.lscv_score(0.0)));
  EXPECT_TRUE(std::isnan(engine.bcv2_score(1.0)));  // divides by n - 2
}

TEST(Golden, ConstantScoreEndsOnTheSecondInteriorPoint) {
  std::vector<double> evaluated;
  const GoldenResult r = golden_section(1.0, 1.5, 2.0, 0.05, [&](double x) {
    evaluated.push_back(x);
    return 7.0;
  });
  // Ties always narrow towards a, so x2 is the point evaluated before the last one.
  ASSERT_GE(evaluated.size(), 3u);
  EXPECT_EQ(r.xmin, r.x2);
  EXPECT_EQ(r.xmin, evaluated[evaluated.size() - 2]);
  EXPECT_EQ(r.fmin, 7.0);
  EXPECT_LE(std::fabs(r.x3 - r.x0), 0.05 * (std::fabs(r.x1) + std::fabs(r.x2)));
  EXPECT_EQ(r.x0, 1.0);
}

TEST(Golden, FindsAParabolaMinimumWithinTolerance) {
  const GoldenResult r = golden_section(0.0, 0.5, 1.0, 1e-8, [](double x) { return (x - 0.3) * (x - 0.3); });
  EXPECT_NEAR(r.xmin, 0.3, 1e-7);  // bracket width <= 1e-8 * 0.6
}

TEST(Golden, ZeroToleranceStillEnds) {
  const GoldenResult r = golden_section(0.0, 0.5, 1.0, 0.0, [](double x) { return std::fabs(x - 0.25); });
  EXPECT_LE(r.evaluations, kMaxGoldenSteps + 2);
}

TEST(Golden, SearchesFromTheDistanceMomentsEndWhereTheExactSearchEnds) {
  // 700 fixes (244,650 pairs, enough for the histogram) in three groups with repeated
  // positions; the exact search runs golden_section on the exact scores. xmin must be equal,
  // the score within 1e-10 relative (the moments' bound is about 1e-15 per positive sum).
  Fixes fixes = normal_fixes(400, 0, 0, 1.0, 0.7, 31);
  for (const auto& f : normal_fixes(200, 9, 3, 0.3, 0.3, 32)) fixes.push_back(f);
  for (std::size_t k = 0; k < 100; ++k) fixes.push_back(fixes[k]);
  KernelEngine engine(static_cast<std::int32_t>(fixes.size()));
  add_fixes(engine, fixes);
  const double href = engine.gethref();
  for (const double tolerance : {0.05, 1e-4}) {
    for (const bool bcv2 : {false, true}) {
      double xmin = 0.0;
      const double a = 0.1 * href, c = 1.5 * href;
      const double f = bcv2 ? engine.GoldenBCV2(a, (a + c) / 2, c, tolerance, xmin)
                            : engine.Golden(a, (a + c) / 2, c, tolerance, xmin);
      const GoldenResult exact = golden_section(a, (a + c) / 2, c, tolerance, [&](double h) {
        return bcv2 ? engine.bcv2_score(h) : engine.lscv_score(h);
      });
      EXPECT_EQ(xmin, exact.xmin) << "bcv2 " << bcv2 << " tolerance " << tolerance;
      EXPECT_NEAR(f, exact.fmin, 1e-10 * std::fabs(exact.fmin));
    }
  }
}

TEST(Bandwidth, HundredFixesAtUnitVarianceGiveTheDocumentedBracket) {
  KernelEngine engine(100);
  add_fixes(engine, normal_fixes(100, 50, -20, 4, 9, 1));
  engine.stdize(KernelEngine::STD_Unit);
  EXPECT_EQ(engine.set_search_range(0.1, 1.0, 0.05), 1);
  // href = 100^(-1/6) = 0.4642; bracket [0.0464, 0.4642]; 1e-12 for the unit variances.
  EXPECT_NEAR(engine.gethref(), std::pow(100.0, -1.0 / 6.0), 1e-12);
  EXPECT_NEAR(engine.lower_bound(), 0.0464, 5e-5);
  EXPECT_NEAR(engine.upper_bound(), 0.4642, 5e-5);
  EXPECT_EQ(engine.tolerance(), 0.05);
}

TEST(Bandwidth, SetterLogLinesAndFlags) {
  TempLogFolder log;
  KernelEngine engine(5);
  add_fixes(engine, {{0, 0}, {1, 0}, {0, 1}, {1, 1}, {0.5, 0.5}});
  engine.seth(0.2);  // href not yet computed: no line
  EXPECT_THAT(log.contents(), Not(HasSubstr("seth:")));
  EXPECT_TRUE(engine.h_set());
  EXPECT_DOUBLE_EQ(engine.set_h_proportional(0.5), 0.5 * engine.gethref());
  EXPECT_THAT(log.contents(), HasSubstr("seth: h/href: 0.500000\n"));
  engine.seth(2.0 * engine.gethref());
  EXPECT_THAT(log.contents(), HasSubstr("seth: h/href: 2.000000\n"));
}

TEST(CrossValidation, LscvSearchLogsAndSetsHInsideTheBracket) {
  TempLogFolder log;
  KernelEngine engine(85);
  add_fixes(engine, two_groups());
  engine.stdize(KernelEngine::STD_Unit);
  engine.set_search_range(0.1, 1.0, 0.05);
  EXPECT_EQ(engine.CrossValidation(), 0);
  EXPECT_TRUE(engine.h_set());
  EXPECT_GE(engine.h(), engine.lower_bound());
  EXPECT_LE(engine.h(), engine.upper_bound());
  double xmin = 0.0;
  const double lo = engine.lower_bound(), hi = engine.upper_bound();
  engine.Golden(lo, (lo + hi) / 2, hi, 0.05, xmin);
  EXPECT_EQ(engine.h(), xmin);
  const std::regex lines(
      "Searching for cross validation choice of h\nbetween +\\d+\\.\\d{3} and +\\d+\\.\\d{3}\n"
      "Optimal choice is hmean= *\\d+\\.\\d{3}\nh/href: \\d+\\.\\d{6}\n");
  EXPECT_TRUE(std::regex_search(log.contents(), lines)) << log.contents();
}

TEST(CrossValidation, Bcv2SearchSetsHInsideTheBracket) {
  TempLogFolder log;
  KernelEngine engine(85);
  add_fixes(engine, two_groups());
  engine.stdize(KernelEngine::STD_Unit);
  engine.set_search_range(0.1, 1.0, 0.05);
  engine.CrossValidationBCV2();
  EXPECT_GE(engine.h(), engine.lower_bound());
  EXPECT_LE(engine.h(), engine.upper_bound());
  EXPECT_THAT(log.contents(), HasSubstr("Searching for BCV2 cross validation choice of h\n"));
}

TEST(CrossValidation, TooFewFixesOrAnEmptyBracketLeaveHUnset) {
  TempLogFolder log;
  KernelEngine engine(2);
  add_fixes(engine, {{0, 0}, {1, 1}});
  engine.CrossValidationBCV2();
  EXPECT_FALSE(engine.h_set());
  KernelEngine same_place(4);
  add_fixes(same_place, {{2, 2}, {2, 2}, {2, 2}, {2, 2}});
  same_place.set_search_range(0.1, 1.0, 0.05);  // href = 0: bracket [0, 0]
  same_place.CrossValidation();
  EXPECT_FALSE(same_place.h_set());
  EXPECT_THAT(log.contents(), HasSubstr("WARNING: The search needs at least 3 fixes; h is left unchanged\n"));
  EXPECT_THAT(log.contents(), HasSubstr("WARNING: The search bracket is not 0 < lower <= upper"));
}

TEST(CrossValidation, UdRunWithoutHChoosesItByLscv) {
  TempLogFolder log;
  KernelEngine engine(85);
  add_fixes(engine, two_groups());
  engine.init_matrix(40);
  engine.kern_fixed();
  EXPECT_TRUE(engine.h_set());
  EXPECT_THAT(log.contents(),
              HasSubstr("Searching for cross validation choice of h\nbetween   0.100 and  10.000\n"));
}

}  // namespace
}  // namespace orvex::core::test
