#pragma once
// The numeric steps of the kernel calculator: adaptive local bandwidth factors, window-limited
// density accumulation and normalisation. No host dependency; clsKernelCalculator sequences
// them and turns their errors into its status codes and messages.

#include <cstdint>
#include <span>
#include <vector>

#include "ui/kde/kde_math.h"
#include "ui/kde/kernel_grid.h"

namespace orvex::ui {

/// Where the grid lies, in map units: lower-left origin, square cells of a whole number of
/// units, row 0 at the top.
struct GridPlacement {
  double originX = 0.0;
  double originY = 0.0;
  std::int32_t cellSize = 0;
  std::int32_t columns = 0;
  std::int32_t rows = 0;

  /// originY + rows * cellSize, formed in double (no 32-bit overflow).
  [[nodiscard]] double TopEdgeY() const;
  /// Centre of column 0 and of row 0.
  [[nodiscard]] double FirstColumnX() const;
  [[nodiscard]] double TopRowY() const;
};

/// What the density of one fix set needs besides the grid.
struct DensitySource {
  /// Working coordinates: map units, or map units divided by (sdX, sdY) when rescaled.
  std::span<const CoordPair> coords;
  double sdX = 1.0;
  double sdY = 1.0;
  /// Bandwidth in working units.
  double bandwidth = 0.0;
  /// Half-width of each fix's window in cells: Int(limit radius / cell size) + 1.
  double windowRadius = 1.0;
  /// Per-fix local bandwidth factors (adaptive kernel); empty for the fixed kernel.
  std::span<const double> lambda;
  /// Threads of the sums, as the application sets them (0: one per processor). The grid never
  /// depends on it.
  unsigned threads = 0;
};

/// Window half-width r = Int(limitRadius / cellSize) + 1 (Int rounds towards minus infinity),
/// so with no limit radius (0) each fix reaches the 3 x 3 cells around it.
/// Raises KdeError(division_by_zero) for a cell size of 0.
double WindowRadiusCells(double limitRadius, std::int32_t cellSize);

/// Index of the first fix whose working coordinates are not finite, or -1.
std::int64_t FirstNonFiniteFix(std::span<const CoordPair> coords);

/// Sets every cell to the sum of the fixes' kernels (what the cells held before is neither read
/// nor kept). Each fix adds its kernel, K(d / (lambda h)) / lambda^2, to the cells of its window: columns
/// c - r .. c + r and rows w - r .. w + r around the fix's cell (c, w), clipped to the grid, so
/// a fix more than r cells outside contributes nothing. K(t) = e(-t^2/2) / 2pi is evaluated as
/// the product of its x and y factors (against the direct sqrt-and-exp form this differs by
/// rounding only, pinned by a test), so the grid is a product of factor tables, run tile by
/// tile (numeric::SeparableProduct). Each cell still receives the fixes in index order, one
/// product and one addition each, whatever the thread count or instruction set. The fixes'
/// coordinates must be finite (see FirstNonFiniteFix).
void AccumulateDensity(const GridPlacement& grid, const DensitySource& source, KernelGrid& cells);

/// Multiplies every cell by scalingFactor / (n h^2) / (sdY sdX) and returns the kernel volume:
/// the sum of the new values times cellSize^2. The grid is summed in bands of 32 rows, each band
/// row by row in eight running sums (numeric::scale_and_sum), and the band sums added in band
/// order: the same bits on any number of threads and any instruction set.
/// Raises KdeError(division_by_zero) for n = 0.
double NormaliseDensity(KernelGrid& cells, double scalingFactor, std::size_t n, double bandwidth, double sdX,
                        double sdY, std::int32_t cellSize, unsigned threads = 0);

/// A failure of the local bandwidth factors, with what their error message shows.
class LocalFactorError : public KdeError {
 public:
  LocalFactorError(const KdeError& error, std::int64_t outer, std::int64_t inner, double logSum)
      : KdeError(error), outer_(outer), inner_(inner), logSum_(logSum) {}
  [[nodiscard]] std::int64_t Outer() const { return outer_; }
  [[nodiscard]] std::int64_t Inner() const { return inner_; }
  /// The running log-sum of the pilot densities, or their geometric mean G once formed.
  [[nodiscard]] double LogSum() const { return logSum_; }

 private:
  std::int64_t outer_;
  std::int64_t inner_;
  double logSum_;
};

/// Local bandwidth factors of the adaptive kernel: pilot densities
/// p_i = sum_j K(d_ij / h) / (n h^2) over every fix j (itself included, so p_i > 0), formed
/// within 2e-15 of itself, relatively (numeric::gaussian_point_sums: fixes beyond about 9.5 h
/// left out, dense cells taken as Hermite expansions, so the work no longer grows as n^2),
/// their geometric mean G = e(sum L(p_i) / n), and lambda_i = e(-L(p_i / G) / 2), i.e.
/// (p_i / G)^(-1/2). `status` receives the progress codes 10081, 10082, 10083 and 0 at the
/// end. Raises LocalFactorError (status left at the step reached) when G is 0 or a factor is
/// not a positive finite number.
std::vector<double> LocalBandwidthFactors(std::span<const CoordPair> coords, double bandwidth,
                                          std::int32_t& status, unsigned threads = 0);

}  // namespace orvex::ui
