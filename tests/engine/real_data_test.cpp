// The whole engine run, as the Kernel Analysis command drives it, on real telemetry.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <map>
#include <set>
#include <string>

#include "core/engine/bandwidth_search.h"
#include "core/engine/cv_scores.h"
#include "core/engine/kernel_math.h"

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

// The pair sums as the scalar loop formed them before they ran in vectors: pairs i < j in
// order, std::exp.
double scalar_pair_sum(const std::vector<double>& x, const std::vector<double>& y, double h, bool bcv2) {
  double sum = 0.0;
  for (std::size_t i = 0; i < x.size(); ++i) {
    for (std::size_t j = i + 1; j < x.size(); ++j) {
      const double d2 = (x[i] - x[j]) * (x[i] - x[j]) + (y[i] - y[j]) * (y[i] - y[j]);
      if (bcv2) {
        const double u = d2 / (h * h);
        sum += u > 1416.0 ? 0.0 : std::exp(-u / 2.0) * (u * u - 8.0 * u + 8.0);
      } else {
        const double e = std::exp(-d2 / (4.0 * h * h));
        sum += e - 4.0 * (e * e);
      }
    }
  }
  return bcv2 ? sum : -3.0 * static_cast<double>(x.size()) + 2.0 * sum;
}

TEST(RealData, VectorPairSumsKeepEveryAnimalsSearch) {
  // Every animal of the shared telemetry at unit variance, LSCV and BCV2: the golden search on
  // the vector pair sums ends at the same h as on the scalar ones, with sums within 1e-10
  // relative (each term differs by the vector exponential's 1 ulp; the LSCV sum is a
  // difference). The scores are the engine's formulas of the sums, the engine's formulas of the sums.
  const auto data = shared_data();
  if (!data) GTEST_SKIP() << "shared telemetry folder not found at " << ORVEX_SHARED_DATA;
  int animals = 0;
  for (const char* name : {"albatross", "bear", "deer", "ibex", "porpoise", "puechcirc", "sh"}) {
    const auto file = *data / name / (std::string(name) + ".csv");
    std::ifstream in(file);
    std::set<std::string> ids;
    std::string line;
    std::getline(in, line);
    while (std::getline(in, line)) ids.insert(line.substr(0, line.find(',')));
    for (const std::string& id : ids) {
      ++animals;
      const Fixes fixes = read_track_csv(file, id);
      std::vector<double> x, y;
      for (const auto& [fx, fy] : fixes) x.push_back(fx), y.push_back(fy);
      for (auto* axis : {&x, &y}) {
        double mean = 0.0, sq = 0.0;
        for (double v : *axis) mean += v / static_cast<double>(axis->size());
        for (double v : *axis) sq += (v - mean) * (v - mean);
        for (double& v : *axis) v /= std::sqrt(sq / static_cast<double>(axis->size() - 1));
      }
      const double n = static_cast<double>(x.size());
      for (const bool bcv2 : {false, true}) {
        auto score = [&](double sum, double h) {
          return bcv2 ? (1.0 / (n - 1.0) + sum / ((n - 1.0) * (n - 2.0))) / (4.0 * kPi * h * h)
                      : (1.0 / n + sum / (4.0 * n * n)) / (kPi * h * h);
        };
        std::map<double, double> scalar_sums;  // the two searches mostly visit the same h
        auto scalar_sum = [&](double h) {
          const auto [at, added] = scalar_sums.try_emplace(h, 0.0);
          if (added) at->second = scalar_pair_sum(x, y, h, bcv2);
          return at->second;
        };
        double worst = 0.0;
        const auto vector = golden_section(0.05, 0.5, 1.5, 1e-3, [&](double h) {
          const double s = bcv2 ? bcv2_pair_sum(x, y, h, 2) : lscv_pair_sum(x, y, h, 2);
          worst = std::max(worst, std::fabs(s - scalar_sum(h)) / std::fabs(scalar_sum(h)));
          // Every instruction set gives the same bits.
          EXPECT_EQ(s, bcv2 ? bcv2_pair_sum(x, y, h, 1, numeric::SimdLevel::baseline)
                            : lscv_pair_sum(x, y, h, 1, numeric::SimdLevel::baseline));
          return score(s, h);
        });
        const auto scalar =
            golden_section(0.05, 0.5, 1.5, 1e-3, [&](double h) { return score(scalar_sum(h), h); });
        EXPECT_EQ(vector.xmin, scalar.xmin) << id << (bcv2 ? " BCV2" : " LSCV");
        EXPECT_LE(worst, 1e-10) << id;
        // The split sums (near pairs and spectrum, forced): the same search end, each sum within
        // its stated bound and 1e-10 relative of the scalar loop's.
        const auto split = CvMomentSums::build(x, y, 0.05, 1.5, 2, CvMomentSums::Path::split);
        ASSERT_TRUE(split) << id;
        const auto fast = golden_section(0.05, 0.5, 1.5, 1e-3, [&](double h) {
          const numeric::PairSumEstimate e = bcv2 ? split->bcv2(h) : split->lscv(h);
          EXPECT_LE(std::fabs(e.sum - scalar_sum(h)), std::max(e.error, 1e-10 * std::fabs(scalar_sum(h))))
              << id << " h " << h;
          EXPECT_NEAR(e.sum, scalar_sum(h), 1e-10 * std::fabs(scalar_sum(h))) << id << " h " << h;
          return score(e.sum, h);
        });
        EXPECT_EQ(fast.xmin, scalar.xmin) << id << (bcv2 ? " BCV2 split" : " LSCV split");
      }
    }
  }
  EXPECT_EQ(animals, 19);
}

}  // namespace
}  // namespace orvex::core::test
