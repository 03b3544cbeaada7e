// The KDE numeric classes on a real track: one brown bear, 1,000 GPS fixes (13 repeated
// positions, coordinates near 6.8e6), from the shared test data.

#include <gtest/gtest.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "ui/kde/cls_kernel_calculator.h"

namespace orvex::ui {
namespace {

TEST(BearTrack, BothPairSumMethodsAndAFullExtentGrid) {
  const std::filesystem::path file = std::filesystem::path(ORVEX_SHARED_DATA) / "bear" / "bear.csv";
  if (!std::filesystem::exists(file)) GTEST_SKIP() << "shared test data not found: " << file;
  std::ifstream in(file);
  std::string line;
  std::getline(in, line);  // AnimalID,X,Y,...
  std::vector<CoordPair> fixes;
  while (std::getline(in, line)) {  // locale-independent parse of X and Y
    const auto x = line.find(',') + 1, y = line.find(',', x) + 1;
    CoordPair& f = fixes.emplace_back();
    std::from_chars(line.data() + x, line.data() + y - 1, f[0]);
    std::from_chars(line.data() + y, line.data() + line.find(',', y), f[1]);
  }
  ASSERT_EQ(fixes.size(), 1000U);

  // Far from the origin the distances lose digits, so both pair-sum methods must form them
  // the same way: scores within 1e-10 relative (the moments' error bound is about 1e-15 on
  // each positive sum; the LSCV sum is a difference of two) and the same bandwidth
  // (first 300 fixes, to keep the test short).
  const std::vector<CoordPair> first(fixes.begin(), fixes.begin() + 300);
  std::vector<double> scores[2];
  double chosen[2] = {0, 0};
  for (const PairSumMethod method : {PairSumMethod::exact, PairSumMethod::moments}) {
    const auto m = static_cast<std::size_t>(method == PairSumMethod::moments);
    clsLSCV lscv;
    lscv.SetPairScanOptions({.chunkPairs = 4099, .method = method});
    lscv.SetInputCoords(first);
    lscv.CalculateLSCV();
    ASSERT_EQ(lscv.lErrorStatus, 0);
    scores[m] = lscv.GetLSCVProfile()->score;
    chosen[m] = lscv.GetBandwidth();
  }
  for (std::size_t k = 0; k < scores[0].size(); ++k)
    EXPECT_NEAR(scores[1][k], scores[0][k], 1e-10 * std::abs(scores[0][k]));
  EXPECT_EQ(chosen[0], chosen[1]);

  // The batch run's full extent: the fixes' extent plus 4 h each side, limit radius 4 h.
  // Volume within 2e-3 of the scaling factor (kernel mass beyond 4 h <= e^-8, cell sum).
  clsKernelCalculator calc;
  calc.SetInputCoords(fixes);
  calc.CalculateHREF();
  const double h = calc.GetScaledBandwidth();
  const auto [xmin, xmax] =
      std::minmax_element(fixes.begin(), fixes.end(), [](auto& a, auto& b) { return a[0] < b[0]; });
  const auto [ymin, ymax] =
      std::minmax_element(fixes.begin(), fixes.end(), [](auto& a, auto& b) { return a[1] < b[1]; });
  calc.SetCellSize(std::max(1.0, h / 5));
  const double c = calc.GetCellSize();
  calc.SetColumns(static_cast<std::int32_t>((8 * h + (*xmax)[0] - (*xmin)[0]) / c));
  calc.SetRows(static_cast<std::int32_t>((8 * h + (*ymax)[1] - (*ymin)[1]) / c));
  calc.SetOriginCoords((*xmin)[0] - 4 * h, (*ymin)[1] - 4 * h);
  calc.SetLimitRadius(4 * h);
  calc.CalculateKernel();
  ASSERT_EQ(calc.lErrorStatus, 0) << calc.WarningMessages();
  EXPECT_NEAR(calc.GetKernelVolume(), 1e6, 2e3);
}

// Every animal of the shared telemetry, by file and AnimalID (map units as written).
std::map<std::string, std::vector<CoordPair>> SharedAnimals() {
  std::map<std::string, std::vector<CoordPair>> animals;
  const std::filesystem::path root(ORVEX_SHARED_DATA);
  if (!std::filesystem::is_directory(root)) return animals;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
    if (entry.path().extension() != ".csv") continue;
    std::ifstream in(entry.path());
    std::string line;
    std::getline(in, line);
    if (line.rfind("AnimalID,X,Y", 0) != 0) continue;
    while (std::getline(in, line)) {
      const auto x = line.find(',') + 1, y = line.find(',', x) + 1;
      CoordPair f{};
      std::from_chars(line.data() + x, line.data() + y - 1, f[0]);
      std::from_chars(line.data() + y, line.data() + line.find(',', y), f[1]);
      animals[entry.path().stem().string() + "/" + line.substr(0, x - 1)].push_back(f);
    }
  }
  return animals;
}

// The scan's score of one bandwidth as the scalar loop formed it before the sums ran in
// vectors: u^2 = d^2 * (1 / h^2), std::exp, e(-u^2/2) as e(-u^2/4) squared, pairs i < j in order.
double ScalarScore(CrossValidationKind kind, const std::vector<CoordPair>& p, double h) {
  const double inverse = 1.0 / (h * h);
  double sum = 0.0;
  for (std::size_t i = 0; i < p.size(); ++i) {
    for (std::size_t j = i + 1; j < p.size(); ++j) {
      const double dx = p[i][0] - p[j][0], dy = p[i][1] - p[j][1];
      const double u2 = (dx * dx + dy * dy) * inverse;
      if (kind == CrossValidationKind::lscv) {
        const double a = std::exp(-u2 / 4.0);
        sum += a / gis::kFourPi - 2.0 * (a * a / gis::kTwoPi);
      } else if (u2 <= 1492.0) {
        sum += std::exp(-u2 / 2.0) * (u2 * u2 - 8.0 * u2 + 8.0);
      }
    }
  }
  const double n = static_cast<double>(p.size());
  if (kind == CrossValidationKind::lscv) {
    return (2.0 * sum + n * (1.0 / gis::kFourPi - 2.0 / gis::kTwoPi)) / (n * n * h * h) +
           2.0 / gis::kTwoPi / (n * h * h);
  }
  return 2.0 * sum / (h * h * (n - 2.0) * (n - 1.0) * 8.0 * gis::kPi) +
         1.0 / ((n - 1.0) * gis::kFourPi * h * h);
}

TEST(SharedAnimals, VectorScanKeepsTheScalarScoresAndBandwidths) {
  // All 19 animals, LSCV and BCV2, exact sums in vectors against the scalar loop: scores within
  // 1e-10 relative (each term differs by the vector exponential's 1 ulp), and the same chosen
  // bandwidth. The scalar scores are formed at every 16th column, and at every column whose
  // vector score lies within 1e-9 of the lowest, the only ones that could take its place.
  const auto animals = SharedAnimals();
  if (animals.empty()) GTEST_SKIP() << "shared test data not found at " << ORVEX_SHARED_DATA;
  EXPECT_EQ(animals.size(), 19U);
  for (const auto& [name, fixes] : animals) {
    for (const auto kind : {CrossValidationKind::lscv, CrossValidationKind::bcv2}) {
      clsLSCV lscv;
      lscv.SetPairScanOptions({.method = PairSumMethod::exact});
      lscv.SetInputCoords(fixes);
      kind == CrossValidationKind::lscv ? lscv.CalculateLSCV() : lscv.CalculateBCV2();
      ASSERT_EQ(lscv.lErrorStatus, 0) << name;
      auto profile = *lscv.GetLSCVProfile();
      profile.h.resize(static_cast<std::size_t>(
          std::count_if(profile.h.begin(), profile.h.end(), [](double h) { return h > 0.0; })));
      std::size_t best = 0;
      for (std::size_t k = 0; k < profile.h.size(); ++k)
        best = profile.score[k] < profile.score[best] ? k : best;
      ASSERT_EQ(lscv.GetBandwidth(), profile.h[best]) << name;
      // The split sums (forced) choose the exact scan's bandwidth.
      clsLSCV split;
      split.SetPairScanOptions({.method = PairSumMethod::split});
      split.SetInputCoords(fixes);
      kind == CrossValidationKind::lscv ? split.CalculateLSCV() : split.CalculateBCV2();
      EXPECT_EQ(split.GetBandwidth(), lscv.GetBandwidth()) << name;
      std::size_t scalarBest = best;
      double scalarLowest = ScalarScore(kind, fixes, profile.h[best]);
      for (std::size_t k = 0; k < profile.h.size(); ++k) {
        const bool contender = profile.score[k] - profile.score[best] <= 1e-9 * std::abs(profile.score[best]);
        if (k == best || (k % 16 != 0 && !contender)) continue;
        const double scalar = ScalarScore(kind, fixes, profile.h[k]);
        EXPECT_NEAR(profile.score[k], scalar, 1e-10 * std::abs(scalar)) << name << " column " << k;
        if (scalar < scalarLowest || (scalar == scalarLowest && k < scalarBest))
          scalarBest = k, scalarLowest = scalar;
      }
      EXPECT_EQ(scalarBest, best) << name << (kind == CrossValidationKind::lscv ? " LSCV" : " BCV2");
    }
  }
}

}  // namespace
}  // namespace orvex::ui
