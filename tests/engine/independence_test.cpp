// Independence of successive observations: Schoener's ratio and the Swihart and Slade index.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "engine_test_support.h"

namespace orvex::core::test {
namespace {

using ::testing::HasSubstr;

KernelEngine engine_with(const Fixes& fixes) {
  KernelEngine engine(static_cast<std::int32_t>(fixes.size()));
  add_fixes(engine, fixes);
  return engine;
}

TEST(Schoener, StraightLineWorkedExample) {
  TempLogFolder log;
  KernelEngine engine = engine_with({{0, 0}, {1, 0}, {2, 0}, {3, 0}, {4, 0}});
  // r2 = 10 / 4 = 2.5, t2 = 4 / 3, ratio = 0.5333.
  EXPECT_NEAR(engine.schoener_ratio(), (4.0 / 3.0) / 2.5, 1e-15);
  EXPECT_THAT(log.contents(), HasSubstr("Geometric center (x,y) = (  2.0,  0.0)\n"
                                        "Mean squared distance from the center r2 =   2.5\n"
                                        "Mean squared distance between succesive observations z2 =   1.3\n"
                                        "z2 / r2 = 0.533\n"));
}

TEST(Schoener, FourFixHandExample) {
  // Worked by hand: centre (1.75, 1.5), r2 = 13.75 / 3, steps 5 + 5 + 10 over 2: t2 = 10,
  // ratio 24 / 11.
  KernelEngine engine = engine_with({{0, 0}, {2, 1}, {1, 3}, {4, 2}});
  EXPECT_NEAR(engine.schoener_ratio(), 24.0 / 11.0, 1e-14);
}

TEST(SwihartSlade, FourFixHandExample) {
  TempLogFolder log;
  // Lags (0,0) (2,1) (1,3), leads (2,1) (1,3) (4,2): Sxl = Syd = 2, Syl = Sxd = 14/3,
  // Cxx = -1, Cyy = 1, Cyx = 11/3, Cxy = 2: index = 0 + 11/14 + 1 = 25/14.
  KernelEngine engine = engine_with({{0, 0}, {2, 1}, {1, 3}, {4, 2}});
  EXPECT_NEAR(engine.swihart_slade_index(), 25.0 / 14.0, 1e-14);
  EXPECT_THAT(log.contents(), HasSubstr("Swihart and Slades independence index = 1.78571429\n"));
}

TEST(Indices, ReversalKeepsBothShufflingChangesThem) {
  const Fixes fixes = normal_fixes(30, 0, 0, 5, 2, 17);
  Fixes reversed(fixes.rbegin(), fixes.rend());
  Fixes shuffled = fixes;
  std::rotate(shuffled.begin(), shuffled.begin() + 7, shuffled.end());
  std::swap(shuffled[3], shuffled[20]);
  KernelEngine a = engine_with(fixes), b = engine_with(reversed), c = engine_with(shuffled);
  // Same sums in another order: 1e-12.
  EXPECT_NEAR(a.schoener_ratio(), b.schoener_ratio(), 1e-12);
  EXPECT_NEAR(a.swihart_slade_index(), b.swihart_slade_index(), 1e-12);
  EXPECT_GT(std::fabs(a.schoener_ratio() - c.schoener_ratio()), 1e-6);
  EXPECT_GT(std::fabs(a.swihart_slade_index() - c.swihart_slade_index()), 1e-6);
}

TEST(SwihartSlade, ScalingAnAxisChangesNothing) {
  const Fixes fixes = normal_fixes(30, 3, -1, 2, 2, 8);
  Fixes stretched;
  for (const auto& [x, y] : fixes) stretched.emplace_back(x, 10 * y);
  KernelEngine a = engine_with(fixes), b = engine_with(stretched);
  // Correlations are scale-free; the inputs pass through float: 1e-6.
  EXPECT_NEAR(a.swihart_slade_index(), b.swihart_slade_index(), 1e-6);
}

TEST(Indices, UndefinedCasesGiveNaNNotAFault) {
  TempLogFolder log;
  KernelEngine two = engine_with({{0, 0}, {1, 1}});
  EXPECT_TRUE(std::isnan(two.schoener_ratio()));
  EXPECT_TRUE(std::isnan(two.swihart_slade_index()));
  KernelEngine line = engine_with({{0, 0}, {1, 0}, {2, 0}, {3, 0}, {4, 0}});
  EXPECT_TRUE(std::isnan(line.swihart_slade_index()));  // y constant
  KernelEngine none = engine_with({});
  EXPECT_TRUE(std::isnan(none.schoener_ratio()));
  EXPECT_THAT(log.contents(), HasSubstr("Swihart and Slades independence index =        nan\n"));
}

}  // namespace
}  // namespace orvex::core::test
