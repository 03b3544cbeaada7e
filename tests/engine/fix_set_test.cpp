// The fix set: capacity, single precision, href, standardisation, variances.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "engine_test_support.h"

namespace orvex::core::test {
namespace {

using ::testing::HasSubstr;

const Fixes kFiveFixes{{0, 0}, {1, 0}, {0, 1}, {1, 1}, {0.5, 0.5}};

TEST(FixSet, EngineForNCasesHoldsNPlusOneFixesThenWarns) {
  TempLogFolder log;
  {
    KernelEngine engine(5);
    EXPECT_EQ(engine.capacity(), 5);
    EXPECT_EQ(engine.animal_id(), "None");
    for (int k = 0; k < 6; ++k) EXPECT_EQ(engine.Add_Point(static_cast<float>(k), 1.0f), k + 1);
    EXPECT_EQ(engine.Add_Point(7.0f, 7.0f), 6);
    EXPECT_EQ(engine.fix_count(), 6);
    EXPECT_EQ(engine.Trackingdata().back().x, 5.0);
  }
  EXPECT_THAT(log.contents(), HasSubstr("WARNING: More points Added than were allocated for (6)\n"));
}

TEST(FixSet, FailedAllocationRefusesEveryFix) {
  KernelEngine engine(-1);
  EXPECT_EQ(engine.avmain(-3), 0);
  EXPECT_EQ(engine.Add_Point(1.0f, 2.0f), 0);
  EXPECT_EQ(engine.fix_count(), 0);
}

TEST(FixSet, CoordinatesPassThroughSinglePrecision) {
  KernelEngine engine(1);
  // 5000000.3 has no float; the nearest (spacing 0.5 at this magnitude) is 5000000.5.
  engine.Add_Point(5000000.3f, -2.1f);
  EXPECT_EQ(engine.Trackingdata()[0].x, 5000000.5);
  EXPECT_EQ(engine.Trackingdata()[0].y, static_cast<double>(-2.1f));
  EXPECT_EQ(engine.Trackingdata()[0].lambda, 0.0);
}

TEST(Href, FiveFixWorkedExample) {
  TempLogFolder log;
  KernelEngine engine(5);
  add_fixes(engine, kFiveFixes);
  // var x = var y = 0.25, s = 0.5, href = 0.5 / 5^(1/6) = 0.3824 (to four places).
  EXPECT_NEAR(engine.gethref(), 0.3824, 5e-5);
  EXPECT_DOUBLE_EQ(engine.gethref(), 0.5 / std::pow(5.0, 1.0 / 6.0));
  EXPECT_THAT(log.contents(),
              HasSubstr("gethref: \tmean (0.500000,0.500000),\n\tvariance (0.250000,0.250000),\n"
                        "\ts 0.500000, href 0.382362\n"));
}

TEST(Href, UnitVarianceGivesNToMinusOneSixth) {
  KernelEngine engine(5);
  add_fixes(engine, kFiveFixes);
  engine.gethref();
  EXPECT_EQ(engine.stdize(KernelEngine::STD_Unit), KernelEngine::STD_Unit);
  EXPECT_FALSE(engine.href_valid());
  // Both variances are 1 after STD_Unit: href = 5^(-1/6) = 0.7647; 1e-12 allows rounding.
  EXPECT_NEAR(engine.gethref(), std::pow(5.0, -1.0 / 6.0), 1e-12);
  EXPECT_NEAR(engine.gethref(), 0.7647, 5e-5);
}

TEST(Href, FewerThanTwoFixesGiveZeroNotNaN) {
  KernelEngine none(3);
  EXPECT_EQ(none.gethref(), 0.0);
  KernelEngine one(3);
  one.Add_Point(4.0f, 5.0f);
  EXPECT_EQ(one.gethref(), 0.0);
  EXPECT_EQ(one.variance_x(), 0.0);
}

TEST(Stdize, ModesNeverStackAndUnstandardizeRestoresBitForBit) {
  const Fixes fixes{{3.7, -1.25}, {10.1, 4.5}, {-2.3, 0.75}, {8.8, 2.0}, {0.1, -3.3}};
  KernelEngine engine(5);
  add_fixes(engine, fixes);
  const std::vector<FixRecord> loaded(engine.Trackingdata().begin(), engine.Trackingdata().end());

  engine.stdize(KernelEngine::STD_Unit);
  EXPECT_EQ(engine.stdize(KernelEngine::STD_X), KernelEngine::STD_X);
  // STD_X after STD_Unit: x is the loaded x again; only y is rescaled, to the variance of x.
  const double sd_x = std::sqrt(engine.variance_x());
  const double sd_y = std::sqrt(engine.variance_y());
  EXPECT_DOUBLE_EQ(engine.sd_x(), sd_x);
  for (std::size_t k = 0; k < loaded.size(); ++k) {
    EXPECT_EQ(engine.Trackingdata()[k].x, loaded[k].x);
    EXPECT_NEAR(engine.Trackingdata()[k].y, loaded[k].y / sd_y * sd_x, 1e-12);
  }
  EXPECT_EQ(engine.Unstandardize(), 0);
  EXPECT_EQ(engine.standardisation_mode(), KernelEngine::NONE);
  EXPECT_EQ(std::memcmp(engine.Trackingdata().data(), loaded.data(), loaded.size() * sizeof(FixRecord)), 0);
}

TEST(Stdize, VariancesForDisplayAreOfTheLoadedCoordinates) {
  KernelEngine engine(5);
  add_fixes(engine, kFiveFixes);
  engine.stdize(KernelEngine::STD_Unit);
  // The five-fix set: 0.25 on both axes, worked by hand; 1e-15 for rounding.
  EXPECT_NEAR(engine.variance_x(), 0.25, 1e-15);
  EXPECT_NEAR(engine.variance_y(), 0.25, 1e-15);
}

TEST(Stdize, ProjectedCoordinatesKeepTheirVarianceDigits) {
  // Fixes 5e6 m from the origin spread over 10 m: the one-pass sum of squares would lose the
  // digits the Standardization page shows. Expected: var of {0, 2, 4, 6, 8} = 10 exactly.
  KernelEngine engine(5);
  for (int k = 0; k < 5; ++k) engine.Add_Point(5000000.0f + static_cast<float>(2 * k), 1000.0f);
  EXPECT_DOUBLE_EQ(engine.variance_x(), 10.0);
}

TEST(Stdize, RepeatedNoneAndUnknownModes) {
  TempLogFolder log;
  KernelEngine engine(5);
  add_fixes(engine, kFiveFixes);
  engine.stdize(KernelEngine::STD_Y);
  EXPECT_EQ(engine.stdize(7), 7);  // undoes STD_Y and nothing else
  EXPECT_EQ(engine.standardisation_mode(), KernelEngine::NONE);
  EXPECT_EQ(engine.Trackingdata()[4].x, 0.5);
  EXPECT_EQ(engine.stdize(KernelEngine::NONE), KernelEngine::NONE);
  EXPECT_EQ(engine.stdize(KernelEngine::NONE), KernelEngine::NONE);
  const std::string text = log.contents();
  EXPECT_THAT(text, HasSubstr("Standardizing to STD_Y\nstdize_x: mean x,y: 0.500000 0.500000\n"
                              "stdize: var  x,y: 0.250000 0.250000\nsd(x,y) : 0.500000 0.500000\n"));
  EXPECT_THAT(text, HasSubstr("Standardizing to NONE\nStandardizing to NONE\n"));
}

TEST(Stdize, AxisWithoutSpreadIsLeftUnscaledNotDividedByZero) {
  TempLogFolder log;
  KernelEngine engine(4);
  add_fixes(engine, {{1, 7}, {2, 7}, {4, 7}, {5, 7}});
  engine.stdize(KernelEngine::STD_Unit);
  for (const auto& fix : engine.Trackingdata()) EXPECT_EQ(fix.y, 7.0);
  EXPECT_TRUE(std::isfinite(engine.gethref()));
  EXPECT_THAT(log.contents(),
              HasSubstr("WARNING: stdize: the y coordinates have no spread; y is left unscaled\n"));
}

}  // namespace
}  // namespace orvex::core::test
