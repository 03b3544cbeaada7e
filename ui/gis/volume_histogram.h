#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace orvex::ui::gis {

/// Highest bin index of the volume histogram. The histogram has kHistogramTop + 1 bins
/// (0 to 100,000): the raster maximum falls into the last one, so levels are quantised to
/// range / 100,000.
inline constexpr int kHistogramTop = 100000;

/// Distribution of a utilisation-distribution raster's volume over 100,001 equal bins
/// between the raster minimum and maximum. Bin k weighs k (its lower edge above the
/// minimum, in units of range / 100,000), so bin 0 carries no volume.
///
/// The histogram replaces a sorted copy of all cell values: memory stays fixed whatever the
/// raster size, at the price of level values quantised to one bin.
class VolumeHistogram {
 public:
  /// minimum and maximum are the band statistics over every cell.
  /// @throws std::domain_error when either is not finite or maximum <= minimum (a flat
  ///         raster has no volume to split).
  VolumeHistogram(double minimum, double maximum);

  /// Counts one cell in bin floor((value - minimum) * 100000 / range). A value outside
  /// [minimum, maximum] (a no-data marker, or a Float32 cell a hair past statistics kept in
  /// double) is clamped into bin 0 or bin 100,000 rather than indexing outside the
  /// histogram; a NaN cell is not counted.
  void Add(double value);
  void AddRow(std::span<const float> row);

  /// Counter of bin k (0 <= k <= kHistogramTop).
  std::uint64_t Count(int bin) const { return counts_.at(static_cast<std::size_t>(bin)); }
  static int BinOf(double value, double minimum, double range);

  /// V = sum over k = 1..100,000 of count[k] * k, formed in 64-bit floating point.
  double TotalVolume() const;

  /// The density above which percent % of the volume lies: the lower edge of the bin, walked
  /// down from the top, at which the cumulative volume first reaches percent / 100 * V.
  /// percent = 100 gives bin 1 (range / 100,000 above the minimum) on a raster with volume in
  /// bin 1; percent <= 0 gives bin 100,001, a value above the maximum that no contour
  /// reaches.
  /// @throws std::domain_error when percent > 100: the cumulative volume never reaches
  ///         the target.
  double LevelValue(double percent) const;

  /// LevelValue for each percentage, in list order (ascending percentages give descending
  /// levels).
  std::vector<double> LevelValues(std::span<const double> percents) const;

 private:
  double LevelValue(double percent, double totalVolume) const;

  double minimum_;
  double range_;
  // 64-bit counters: a 32-bit counter would wrap after 4.3e9 cells in one bin.
  std::vector<std::uint64_t> counts_;
};

/// Index i of the level closest to value (smallest |levels[i] - value|), scanning from 0
/// upward and replacing only on a strictly smaller difference, so a tie keeps the lower
/// index. Returns -1 for an empty list; a NaN value maps to index 0.
int NearestLevelIndex(std::span<const double> levels, double value);

/// Largest cell on the outer rows and columns of a raster, starting from 0: a cell replaces
/// the current value only when strictly greater, so an all-zero (or negative, or NaN) edge
/// leaves 0.
class EdgeMaximum {
 public:
  /// Row r of a raster with the given height: every cell of the first and last row, the
  /// first and last cell of every other row.
  void AddRow(std::span<const float> row, int r, int height);
  double Value() const { return value_; }

 private:
  void Offer(float cell);
  double value_ = 0.0;
};

}  // namespace orvex::ui::gis
