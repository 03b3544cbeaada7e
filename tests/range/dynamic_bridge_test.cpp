#include "range/bridge/dynamic_bridge.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <optional>
#include <random>
#include <span>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "range/bridge/bridge_likelihood.h"
#include "range/bridge/bridge_ud.h"

namespace {

using orvex::range::BridgeTrack;
using orvex::range::DynamicOptions;
using orvex::range::DynamicSigma1;
using orvex::range::estimate_dynamic_sigma1;
using orvex::range::estimate_sigma1;
using orvex::range::kNoMaxGap;
using orvex::range::TripletChoice;

struct Fixes {
  std::vector<double> x, y, t;
  std::vector<double> error{2.0};
  [[nodiscard]] BridgeTrack track() const { return {x, y, t, error}; }
};

// A Brownian motion sampled every 300 s with s1 = `slow` over the intervals before fix `change`
// and `fast` from it on, observed with 2 m normal errors (fixed seed).
Fixes changing(std::size_t n, std::size_t change, double slow, double fast) {
  std::mt19937_64 rng(20120738);
  std::normal_distribution<double> normal;
  Fixes f;
  double x = 0.0;
  double y = 0.0;
  for (std::size_t i = 0; i < n; ++i) {
    f.t.push_back(300.0 * static_cast<double>(i));
    f.x.push_back(x + 2.0 * normal(rng));
    f.y.push_back(y + 2.0 * normal(rng));
    const double step = (i < change ? slow : fast) * std::sqrt(300.0);
    x += step * normal(rng);
    y += step * normal(rng);
  }
  return f;
}

// The root of the mean s1^2 over fixes [from, to).
double mean_sigma1(const DynamicSigma1& d, std::size_t from, std::size_t to) {
  double sum = 0.0;
  for (std::size_t i = from; i < to; ++i) sum += d.sigma1_per_fix[i] * d.sigma1_per_fix[i];
  return std::sqrt(sum / static_cast<double>(to - from));
}

TEST(DynamicSigma1, FindsAChangeOfMobilityHalfway) {
  // s1 = 1 over the first 500 intervals, then 5: a 25-fold variance.
  const Fixes f = changing(1000, 500, 1.0, 5.0);
  const DynamicSigma1 d = estimate_dynamic_sigma1(f.track(), {31, 11, kNoMaxGap, 1});
  // The windows whose candidates (fixes w + 10 .. w + 20) hold fix 500 all break, within 5 fixes
  // of it; half of them have it as a candidate (the odd-offset ones hold 499 and 501), and most
  // break there.
  std::vector<std::size_t> found;
  for (const auto& b : d.breaks)
    if (b.window_start + 10 <= 500 && 500 <= b.window_start + 20) found.push_back(b.fix);
  auto off = [](std::size_t fix) { return std::abs(static_cast<double>(fix) - 500.0); };
  ASSERT_EQ(found.size(), 11U);
  for (const std::size_t fix : found) EXPECT_LE(off(fix), 5.0) << fix;
  std::nth_element(found.begin(), found.begin() + 5, found.end());
  EXPECT_LE(off(found[5]), 1.0);
  // The per-fix s1 lies on the side of sqrt(1 x 5) of its true value at every fix that all 10 of
  // its windows cover, but for the 3 fixes on either side of the change.
  for (std::size_t i = 20; i < 980; ++i) {
    if (i + 3 >= 500 && i <= 503) continue;
    EXPECT_EQ(d.sigma1_per_fix[i] > std::sqrt(5.0), i >= 500) << "fix " << i << ": " << d.sigma1_per_fix[i];
  }
  // Each side away from the change: some 220 independent observations give s1^2 to about
  // 1 / sqrt(220) ~ 7 % (one standard error; each observation's two coordinates are two
  // degrees of freedom, and windows weigh them unevenly), so s1 to some 3.5 %; 15 % is 4 of
  // those. The observed fix's own error biases s1 up by error^2 / (T s1^2 / 4) <= 3 %.
  EXPECT_NEAR(mean_sigma1(d, 31, 469), 1.0, 0.15);
  EXPECT_NEAR(mean_sigma1(d, 531, 969), 5.0, 0.75);
  // Intervals take the s1 of their first fix.
  EXPECT_TRUE(
      std::equal(d.sigma1_per_interval.begin(), d.sigma1_per_interval.end(), d.sigma1_per_fix.begin()));
  EXPECT_EQ(d.sigma1_per_interval.size(), 999U);

  // Any number of threads gives the same bits.
  const DynamicSigma1 three = estimate_dynamic_sigma1(f.track(), {31, 11, kNoMaxGap, 3});
  EXPECT_TRUE(three.sigma1_per_fix == d.sigma1_per_fix);
  EXPECT_EQ(three.breaks.size(), d.breaks.size());
}

TEST(DynamicSigma1, EachWindowChoosesAsSeparateEstimatesOfItsSidesSay) {
  // A direct evaluation with estimate_sigma1 (independent triplets) on each window of 11 fixes
  // and each side of its breaks (margin 3: breaks at offsets 2, 4, 6, 8), against the table of
  // parts the estimate shares between windows. The track's mobility changes at fix 20 and 40,
  // and a 3 h gap after fix 29 (max_gap 1 h) leaves some sides without a triplet. Both run the
  // same maximiser on the same observations, so they agree to the rounding of the mean: 1e-12
  // relative.
  constexpr std::size_t kWindow = 11;
  constexpr std::size_t kMargin = 3;
  Fixes f = changing(60, 20, 0.5, 4.0);
  const Fixes third = changing(60, 0, 1.5, 1.5);
  std::copy(third.x.begin() + 40, third.x.end(), f.x.begin() + 40);
  std::copy(third.y.begin() + 40, third.y.end(), f.y.begin() + 40);
  for (std::size_t i = 30; i < 60; ++i) f.t[i] += 10800.0;
  auto sigma1 = [&](std::size_t from, std::size_t count) -> std::optional<std::pair<double, double>> {
    const BridgeTrack part{std::span(f.x).subspan(from, count), std::span(f.y).subspan(from, count),
                           std::span(f.t).subspan(from, count), f.error};
    try {
      const auto e = estimate_sigma1(part, TripletChoice::independent, 3600.0);
      return std::pair{e.sigma1, e.log_likelihood};
    } catch (const std::invalid_argument&) {  // no triplet
      return std::nullopt;
    }
  };
  std::vector<double> sum(60, 0.0);
  std::vector<std::size_t> count(60, 0);
  std::size_t breaks = 0;
  const double penalty = std::log(static_cast<double>(kWindow));
  for (std::size_t w = 0; w + kWindow <= 60; ++w) {
    const auto whole = sigma1(w, kWindow);
    if (!whole) continue;
    double best = -2.0 * whole->second + penalty;
    std::pair<double, double> sides{whole->first, whole->first};
    std::size_t split = kWindow;
    for (std::size_t k = kMargin - 1; k <= kWindow - kMargin; k += 2) {
      const auto before = sigma1(w, k + 1);
      const auto after = sigma1(w + k, kWindow - k);
      if (!before || !after) continue;
      const double bic = -2.0 * (before->second + after->second) + 2.0 * penalty;
      if (bic < best) {
        best = bic;
        split = k;
        sides = {before->first, after->first};
      }
    }
    breaks += split < kWindow ? 1 : 0;
    for (std::size_t j = kMargin - 1; j + kMargin < kWindow; ++j) {
      const double s = j < split ? sides.first : sides.second;
      sum[w + j] += s * s;
      ++count[w + j];
    }
  }
  const DynamicSigma1 d = estimate_dynamic_sigma1(f.track(), {kWindow, kMargin, 3600.0, 2});
  EXPECT_EQ(d.breaks.size(), breaks);
  EXPECT_GT(breaks, 10U);
  EXPECT_EQ(d.windows, count);
  for (std::size_t i = 0; i < 60; ++i) {
    // Fixes no window covers (the first 2, the last 3) take their nearest covered neighbour's.
    const std::size_t from = std::clamp<std::size_t>(i, 2, 56);
    const double expected = std::sqrt(sum[from] / static_cast<double>(count[from]));
    EXPECT_NEAR(d.sigma1_per_fix[i], expected, 1e-12 * expected) << "fix " << i;
  }
}

TEST(DynamicSigma1, GivesThePlainBridgesUdWhereTheMobilityNeverChanges) {
  // A zigzag at constant speed: every fix lies 30 m off its neighbours' midpoint, 300 s apart,
  // so every window and side has the same closed-form maximum (bridge_likelihood_test) and no
  // break lowers the BIC.
  Fixes f;
  f.error = {5.0};
  for (int i = 0; i < 80; ++i) {
    f.t.push_back(300.0 * i);
    f.x.push_back(40.0 * i);
    f.y.push_back(i % 2 == 0 ? 15.0 : -15.0);
  }
  const DynamicSigma1 d = estimate_dynamic_sigma1(f.track(), {});
  const double plain = estimate_sigma1(f.track(), TripletChoice::independent).sigma1;
  EXPECT_TRUE(d.breaks.empty());
  // Both are the maximiser within the likelihood's 1e-6 relative.
  for (const double s : d.sigma1_per_interval) EXPECT_NEAR(s, plain, 2e-6 * plain);

  const orvex::range::BridgeGrid grid{-300.0, -300.0, 20.0, 190, 30};
  std::vector<double> dynamic_ud(grid.cell_count());
  std::vector<double> plain_ud(grid.cell_count());
  orvex::range::bridge_ud(f.track(), {plain, kNoMaxGap, 1}, grid, plain_ud);
  orvex::range::bridge_ud(f.track(), {0.0, kNoMaxGap, 1, d.sigma1_per_interval}, grid, dynamic_ud);
  // A normal density moves by at most its peak times the relative change of its variance,
  // here within twice the s1's 2e-6: 4e-6 of the grid's maximum.
  const double max = *std::max_element(plain_ud.begin(), plain_ud.end());
  double worst = 0.0;
  for (std::size_t k = 0; k < plain_ud.size(); ++k)
    worst = std::max(worst, std::abs(dynamic_ud[k] - plain_ud[k]));
  EXPECT_LE(worst, 4e-6 * max);
}

TEST(DynamicSigma1, RefusesWindowsAndTracksItCannotUse) {
  const Fixes f = changing(40, 40, 1.0, 1.0);
  Fixes still = f;
  std::fill(still.t.begin(), still.t.end(), 0.0);
  struct Case {
    const Fixes* fixes;
    DynamicOptions options;
    const char* says;
  };
  const Case cases[] = {
      {&f, {30, 11, kNoMaxGap, 1}, "window (30 fixes) must be odd"},
      {&f, {31, 10, kNoMaxGap, 1}, "margin (10 fixes) must be odd"},
      {&f, {31, 1, kNoMaxGap, 1}, "margin (1 fixes) must be odd and 3 or more"},
      {&f, {21, 11, kNoMaxGap, 1}, "longer than twice the margin (11)"},
      {&f, {31, 11, -1.0, 1}, "largest gap"},
      {&f, {41, 11, kNoMaxGap, 1}, "40 fixes, fewer than the 41 needed"},
      {&still, {31, 11, kNoMaxGap, 1}, "no window of 31 fixes holds a triplet"},
  };
  for (const Case& c : cases) {
    try {
      estimate_dynamic_sigma1(c.fixes->track(), c.options);
      ADD_FAILURE() << "accepted: " << c.says;
    } catch (const std::invalid_argument& error) {
      EXPECT_NE(std::string(error.what()).find(c.says), std::string::npos) << error.what();
    }
  }
}

}  // namespace
