#include "ui/gis/volume_histogram.h"

#include <cmath>
#include <stdexcept>
#include <string>

namespace orvex::ui::gis {

namespace {
constexpr double kBinsPerRange = static_cast<double>(kHistogramTop);

/// The bin of a value strictly above the minimum. Its scaled offset x is positive, so
/// floor(x) is the truncation the conversion to int makes once x is below the top bin: the
/// same bin as BinOf without a call to floor.
int BinAboveMinimum(double value, double minimum, double range) {
  const double x = (value - minimum) * kBinsPerRange / range;
  if (x >= kBinsPerRange) return kHistogramTop;
  return static_cast<int>(x);
}
}  // namespace

VolumeHistogram::VolumeHistogram(double minimum, double maximum)
    : minimum_(minimum), range_(maximum - minimum), counts_(static_cast<std::size_t>(kHistogramTop) + 1, 0) {
  if (!std::isfinite(minimum) || !std::isfinite(maximum) || !(range_ > 0.0) || !std::isfinite(range_)) {
    throw std::domain_error("raster minimum (" + std::to_string(minimum) + ") and maximum (" +
                            std::to_string(maximum) + ") leave no range to split into volume levels");
  }
}

int VolumeHistogram::BinOf(double value, double minimum, double range) {
  const double k = std::floor((value - minimum) * kBinsPerRange / range);
  if (!(k > 0.0)) return 0;  // below the minimum (or exactly on it)
  if (k >= kBinsPerRange) return kHistogramTop;
  return static_cast<int>(k);
}

void VolumeHistogram::Add(double value) {
  if (std::isnan(value)) return;
  ++counts_[static_cast<std::size_t>(BinOf(value, minimum_, range_))];
}

void VolumeHistogram::AddRow(std::span<const float> row) {
  // Most cells of a utilisation distribution lie on the minimum (the empty land and sea
  // around the fixes): they are counted apart, without the bin arithmetic.
  std::uint64_t atMinimum = 0;
  for (const float cell : row) {
    const double value = static_cast<double>(cell);
    if (value <= minimum_) {
      ++atMinimum;
    } else if (!std::isnan(value)) {
      ++counts_[static_cast<std::size_t>(BinAboveMinimum(value, minimum_, range_))];
    }
  }
  counts_[0] += atMinimum;
}

double VolumeHistogram::TotalVolume() const {
  double volume = 0.0;
  for (int k = 1; k <= kHistogramTop; ++k) {
    volume += static_cast<double>(counts_[static_cast<std::size_t>(k)]) * static_cast<double>(k);
  }
  return volume;
}

double VolumeHistogram::LevelValue(double percent) const { return LevelValue(percent, TotalVolume()); }

double VolumeHistogram::LevelValue(double percent, double totalVolume) const {
  const double target = percent / 100.0 * totalVolume;
  int k = kHistogramTop + 1;
  double cumulative = 0.0;
  // Bin 0 weighs nothing, so the walk stops at bin 1 at the latest; below it the index
  // would leave the histogram.
  while (cumulative < target && k > 1) {
    --k;
    cumulative += static_cast<double>(counts_[static_cast<std::size_t>(k)]) * static_cast<double>(k);
  }
  if (cumulative < target && percent > 100.0) {
    throw std::domain_error("isopleth percentage " + std::to_string(percent) +
                            " is above 100: the cumulative volume never reaches it");
  }
  return static_cast<double>(k) * range_ / kBinsPerRange + minimum_;
}

std::vector<double> VolumeHistogram::LevelValues(std::span<const double> percents) const {
  std::vector<double> levels;
  levels.reserve(percents.size());
  const double volume = TotalVolume();
  for (const double p : percents) levels.push_back(LevelValue(p, volume));
  return levels;
}

int NearestLevelIndex(std::span<const double> levels, double value) {
  if (levels.empty()) return -1;
  int best = 0;
  double bestDifference = std::fabs(levels[0] - value);
  for (std::size_t i = 1; i < levels.size(); ++i) {
    const double difference = std::fabs(levels[i] - value);
    if (difference < bestDifference) {
      bestDifference = difference;
      best = static_cast<int>(i);
    }
  }
  return best;
}

void EdgeMaximum::Offer(float cell) {
  if (static_cast<double>(cell) > value_) value_ = static_cast<double>(cell);
}

void EdgeMaximum::AddRow(std::span<const float> row, int r, int height) {
  if (row.empty()) return;
  if (r == 0 || r == height - 1) {
    for (const float cell : row) Offer(cell);
  } else {
    Offer(row.front());
    Offer(row.back());
  }
}

}  // namespace orvex::ui::gis
