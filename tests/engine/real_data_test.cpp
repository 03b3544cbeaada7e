// The whole engine run, as the Kernel Analysis command drives it, on real telemetry.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>

#include "engine_test_support.h"

namespace orvex::core::test {
namespace {

using ::testing::HasSubstr;

// Loads an engine the way the command does: every fix, then STD_Unit.
void load(KernelEngine& engine, const Fixes& fixes) {
  add_fixes(engine, fixes);
  engine.stdize(KernelEngine::STD_Unit);
}

TEST(RealData, BearAdaptiveRunWithASheetEngineAlive) {
  const auto data = shared_data();
  if (!data) GTEST_SKIP() << "shared telemetry folder not found at " << ORVEX_SHARED_DATA;
  const Fixes fixes = read_track_csv(*data / "bear" / "bear.csv");
  ASSERT_EQ(fixes.size(), 1000u);  // W0208, as documented with the data set
  const auto n = static_cast<std::int32_t>(fixes.size());

  TempLogFolder log;
  KernelEngine sheet(n);
  load(sheet, fixes);
  const double ss = sheet.swihart_slade_index();
  const double schoener = sheet.schoener_ratio();
  EXPECT_TRUE(std::isfinite(ss));
  EXPECT_LT(schoener, 1.6);  // 30-minute GPS fixes are strongly autocorrelated
  sheet.set_search_range(0.1, 1.0, 0.05);
  sheet.set_h_proportional(1.0);

  KernelEngine run(n);
  load(run, fixes);
  run.stdize(KernelEngine::STD_Unit);
  run.set_search_range(0.1, 1.0, 0.05);
  run.set_h_proportional(0.5);
  ASSERT_EQ(run.init_matrix(150), 1);
  run.set_contour_levels("0.1, 0.2, 0.3, 0.4, 0.5, 0.6, 0.7, 0.8, 0.9");
  EXPECT_TRUE(run.kern_adaptive());
  const std::int32_t rings = run.AVMakeContour();
  ASSERT_GT(rings, 0);

  // Walking down from the last ring, each level starts once; volumes fall as we go.
  int levels = 0;
  double previous = 2.0;
  for (std::int32_t r = rings - 1; r >= 0; --r) {
    if (!run.start_of_level(r)) continue;
    ++levels;
    EXPECT_LT(run.ring_volume(r), previous);
    previous = run.ring_volume(r);
  }
  EXPECT_EQ(levels, 9);
  // The rings are in map units: inside the grid laid over the raw fixes.
  for (std::int32_t k = 0; k < run.ring_point_count(rings - 1); ++k) {
    const RingPoint p = run.ring_point(rings - 1, k);
    EXPECT_GT(p.x, run.ax());
    EXPECT_LT(p.x, run.ax() + 150 * run.dx());
  }

  const std::string text = log.contents();
  EXPECT_EQ(text.find('\0'), std::string::npos);
  EXPECT_THAT(text, HasSubstr("Swihart and Slades independence index = "));
  EXPECT_THAT(text, HasSubstr("returning coordinate matrix to Non-standardized position\n"));
}

TEST(RealData, LscvOnAGpsTrackStopsWithinOneStepOfTheFallingEnd) {
  const auto data = shared_data();
  if (!data) GTEST_SKIP() << "shared telemetry folder not found at " << ORVEX_SHARED_DATA;
  const Fixes fixes = read_track_csv(*data / "deer" / "deer.csv");
  ASSERT_EQ(fixes.size(), 826u);
  KernelEngine engine(static_cast<std::int32_t>(fixes.size()));
  load(engine, fixes);
  engine.set_search_range(0.1, 1.0, 0.05);
  // Serially correlated GPS fixes (and repeated positions) make the LSCV score fall all the way
  // to the lower end of the bracket; the search then stops within one tolerance step of it:
  // the final bracket is at most 0.05 * (x1 + x2), about 0.1 h, wide.
  ASSERT_LT(engine.lscv_score(engine.lower_bound()), engine.lscv_score(engine.upper_bound()));
  engine.CrossValidation();
  EXPECT_GE(engine.h(), engine.lower_bound());
  EXPECT_LE(engine.h() - engine.lower_bound(), 0.1 * engine.h());
}

}  // namespace
}  // namespace orvex::core::test
