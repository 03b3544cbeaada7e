#include "range/bridge/bridge_likelihood.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using orvex::range::bridge_log_likelihood;
using orvex::range::BridgeTrack;
using orvex::range::estimate_sigma1;
using orvex::range::kNoMaxGap;
using orvex::range::TripletChoice;

struct Fixes {
  std::vector<double> x, y, t;
  std::vector<double> error{5.0};
  [[nodiscard]] BridgeTrack track() const { return {x, y, t, error}; }
};

// The 40-fix wander of bridge_ud_test.
Fixes wander() {
  Fixes f;
  for (int i = 0; i < 40; ++i) {
    f.t.push_back(600.0 * i + 97.0 * (i % 3));
    f.x.push_back(50.0 * i + 80.0 * std::sin(0.7 * i));
    f.y.push_back(120.0 * std::cos(0.45 * i) + 30.0 * std::sin(1.9 * i));
  }
  return f;
}

// A Brownian motion sampled every `dt` seconds, observed with normal errors (fixed seed).
Fixes brownian(std::size_t n, double sigma1, double error, double dt) {
  std::mt19937_64 rng(20070901);
  std::normal_distribution<double> normal;
  Fixes f;
  f.error = {error};
  double x = 0.0;
  double y = 0.0;
  for (std::size_t i = 0; i < n; ++i) {
    f.t.push_back(dt * static_cast<double>(i));
    f.x.push_back(x + error * normal(rng));
    f.y.push_back(y + error * normal(rng));
    x += sigma1 * std::sqrt(dt) * normal(rng);
    y += sigma1 * std::sqrt(dt) * normal(rng);
  }
  return f;
}

TEST(Sigma1Estimate, IsTheMaximumOfTheLikelihoodToOneMillionth) {
  // Fixes every 600 s with one location error: every observation has a = 1/2, variance
  // b s1^2 + c with b = 150 s, c = 5^2 / 2, and the log-likelihood's derivative in s1^2 vanishes
  // where b s1^2 + c is the mean of d_i^2 / 2, so s1 = sqrt((mean d^2 / 2 - c) / b) exactly.
  Fixes f = wander();
  for (std::size_t i = 0; i < f.t.size(); ++i) f.t[i] = 600.0 * static_cast<double>(i);
  for (const TripletChoice choice : {TripletChoice::independent, TripletChoice::all}) {
    double sum = 0.0;
    std::size_t count = 0;
    for (std::size_t i = 1; i + 1 < f.t.size(); i += choice == TripletChoice::all ? 1 : 2, ++count) {
      const double dx = f.x[i] - 0.5 * (f.x[i - 1] + f.x[i + 1]);
      const double dy = f.y[i] - 0.5 * (f.y[i - 1] + f.y[i + 1]);
      sum += 0.5 * (dx * dx + dy * dy);
    }
    const double expected = std::sqrt((sum / static_cast<double>(count) - 12.5) / 300.0);
    const auto estimate = estimate_sigma1(f.track(), choice);
    EXPECT_NEAR(estimate.sigma1, expected, 1e-6 * expected);
    EXPECT_EQ(estimate.triplets, count);
    EXPECT_FALSE(estimate.at_zero);
    // The profile holds every point the search tried, in order, none above the maximum.
    ASSERT_GT(estimate.profile.size(), 33U);
    EXPECT_TRUE(std::is_sorted(estimate.profile.begin(), estimate.profile.end(),
                               [](const auto& a, const auto& b) { return a.sigma1 < b.sigma1; }));
    for (const auto& point : estimate.profile) {
      EXPECT_LE(point.log_likelihood, estimate.log_likelihood + 1e-9);  // rounding of 38 terms
      EXPECT_EQ(point.log_likelihood, bridge_log_likelihood(f.track(), point.sigma1, choice));
    }
  }
}

TEST(Sigma1Estimate, AllTripletsMatchAdehabitatHRLikerWithinItsGridStep) {
  // liker(tr, rangesig1 = c(0.5, 5), sig2 = 5, le = 4501) on the same track, adehabitatHR
  // 0.4.x, computed once: 1.467 on a grid of step 0.001. It counts every interior fix.
  const auto estimate = estimate_sigma1(wander().track(), TripletChoice::all);
  EXPECT_NEAR(estimate.sigma1, 1.467, 0.001);
}

TEST(Sigma1Estimate, RecoversTheDiffusionOfASimulatedTrack) {
  // 2,001 fixes: 1,000 independent observations give s1 to about 1/sqrt(2 x 1000) ~ 2 %
  // (one standard error); 6 % is three of them. The model leaves out the observed fix's own
  // error (as Horne et al. and adehabitatHR do), which biases s1 up by (error^2 / 2) / (T s1^2 / 4),
  // ~1 % here: the simulated errors stay small beside the movement.
  for (const auto& [sigma1, error] : {std::pair{2.0, 3.0}, std::pair{0.5, 1.0}}) {
    const auto estimate =
        estimate_sigma1(brownian(2001, sigma1, error, 300.0).track(), TripletChoice::independent);
    EXPECT_NEAR(estimate.sigma1, sigma1, 0.06 * sigma1) << "error " << error;
  }
}

TEST(Sigma1Estimate, IsZeroWhenTheFixesLieOnTheirBridgesMeans) {
  // Straight at constant speed: every d_i = 0, each observation's density falls with s1.
  Fixes f;
  for (int i = 0; i < 9; ++i) {
    f.t.push_back(60.0 * i);
    f.x.push_back(10.0 * i);
    f.y.push_back(-4.0 * i);
  }
  const auto estimate = estimate_sigma1(f.track(), TripletChoice::all);
  EXPECT_TRUE(estimate.at_zero);
  EXPECT_EQ(estimate.sigma1, 0.0);
  // 7 observations of variance 25 / 2, distance 0: 7 (-ln(2 pi 12.5)).
  EXPECT_NEAR(estimate.log_likelihood, -7.0 * std::log(2.0 * std::numbers::pi * 12.5), 1e-12);
}

TEST(Sigma1Estimate, CountsTheTripletsEachChoiceUses) {
  // Ten fixes a minute apart; the interval 4-5 is 2 h long (a gap beyond 1 h), and fixes 7 and
  // 8 share their time with fix 6 (the triplet around fix 7 has T = 0).
  std::vector<double> t{0, 60, 120, 180, 240, 7440, 7500, 7500, 7500, 7560};
  Fixes f;
  f.t = t;
  for (std::size_t i = 0; i < t.size(); ++i) {
    f.x.push_back(std::cos(static_cast<double>(i)) * 50.0);
    f.y.push_back(std::sin(3.0 * static_cast<double>(i)) * 50.0);
  }
  struct Case {
    TripletChoice choice;
    double max_gap;
    std::size_t triplets;
  };
  // independent: fixes 1, 3, 5, 7 (7 has T = 0); all: fixes 1 to 8 (7 has T = 0); the gap
  // removes fix 5 (and 4 for `all`).
  for (const Case& c :
       {Case{TripletChoice::independent, kNoMaxGap, 3}, Case{TripletChoice::all, kNoMaxGap, 7},
        Case{TripletChoice::independent, 3600.0, 2}, Case{TripletChoice::all, 3600.0, 5}}) {
    EXPECT_EQ(estimate_sigma1(f.track(), c.choice, c.max_gap).triplets, c.triplets)
        << (c.choice == TripletChoice::all ? "all" : "independent") << " gap " << c.max_gap;
  }
}

TEST(Sigma1Estimate, RefusesTracksItCannotUse) {
  Fixes two;
  two.x = {0, 1};
  two.y = {0, 1};
  two.t = {0, 60};
  Fixes still;
  still.x = {0, 1, 2};
  still.y = {0, 1, 2};
  still.t = {5, 5, 5};
  for (const auto& [fixes, says] : {std::pair{two, "fewer than the 3"}, std::pair{still, "no triplet"}}) {
    try {
      estimate_sigma1(fixes.track(), TripletChoice::all);
      ADD_FAILURE() << "accepted: " << says;
    } catch (const std::invalid_argument& error) {
      EXPECT_NE(std::string(error.what()).find(says), std::string::npos) << error.what();
    }
  }
  EXPECT_THROW(bridge_log_likelihood(wander().track(), -1.0, TripletChoice::all), std::invalid_argument);
}

}  // namespace
