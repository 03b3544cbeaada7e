#pragma once
// The Brownian bridge utilisation distribution of one animal on a regular grid.
//
// Each used interval of the track (bridge_track.h) is a bridge, weighted by its length over
// the used intervals' total; the UD at a point is the sum over bridges of weight times the
// bridge's density there (bridge_quadrature.h). Each cell holds that density at its centre
// (no rescaling), so cells times cell area sum to 1 over a grid wide enough to hold the track
// and a few bridge spreads around it.
//
// Each quadrature node is a Gaussian that splits into a row and a column factor; it is left out
// at cells further than kWindowDeviations = 7 standard deviations from its mean along either
// axis, where it is below e^-24.5 < 3e-11 of its own peak. The sum runs as a product of factor
// tables over tiles of cells (numeric/separable_grid.h). The used bridges are cut into up to 16
// runs of about equal count (fewer where their grids would take over 256 MB); each run is summed
// onto a grid of its own, each cell taking its nodes in track order, and the grids are added in
// run order. The cut depends only on the track and the grid, so the grid is the same bits with
// any number of threads. Against one plain sum in track order it differs by that regrouping and
// by the stepped exponentials of numeric/gaussian_factors.h (within 2e-13 of each factor): about
// 1e-14 of the grid's maximum in practice.

#include <cstddef>
#include <span>

#include "range/bridge/bridge_track.h"

namespace orvex::range {

inline constexpr double kWindowDeviations = 7.0;

/// A grid of columns x rows square cells whose lower-left corner is (origin_x, origin_y);
/// row 0 is the northernmost, cells stored row by row, west to east.
struct BridgeGrid {
  double origin_x = 0.0;
  double origin_y = 0.0;
  double cell_size = 0.0;
  std::size_t columns = 0;
  std::size_t rows = 0;

  [[nodiscard]] std::size_t cell_count() const { return columns * rows; }
  [[nodiscard]] double cell_area() const { return cell_size * cell_size; }
  [[nodiscard]] bool operator==(const BridgeGrid&) const = default;
  /// Centre of column c and of row r.
  [[nodiscard]] double column_x(std::size_t c) const;
  [[nodiscard]] double row_y(std::size_t r) const;
};

struct BridgeOptions {
  double sigma1 = 0.0;         ///< map units per square root of a second, finite, >= 0
  double max_gap = kNoMaxGap;  ///< seconds; longer intervals carry no bridge
  unsigned threads = 0;        ///< 0: one per processor; the grid never depends on it
  /// Empty: `sigma1` for every interval. Otherwise one s1 per interval (i, i + 1) of the track,
  /// by i (size - 1 values, each finite and >= 0; those of intervals that carry no bridge are
  /// checked all the same), as the dynamic estimate gives them (dynamic_bridge.h).
  std::span<const double> sigma1_per_interval{};
};

/// What a run did, for the caller to report.
struct BridgeUdSummary {
  BridgeIntervals intervals;
  std::size_t nodes = 0;  ///< quadrature nodes of all bridges, on the grid or not
};

/// Writes the UD of `track` into `out` (grid.cell_count() values, every one written).
/// Throws std::invalid_argument as check_track does (2 fixes at least), for a cell size that is
/// not positive and finite, an empty grid, a wrong `out` size, a negative or non-finite sigma1
/// (scalar or per interval, naming the interval), a per-interval list of the wrong size or a
/// bad max_gap, and when no interval carries a bridge (all zero-length or over the gap):
/// the summary would list them, so the message says how many of each there were.
/// Throws std::bad_alloc when the working arrays do not fit.
BridgeUdSummary bridge_ud(const BridgeTrack& track, const BridgeOptions& options, const BridgeGrid& grid,
                          std::span<double> out);

}  // namespace orvex::range
