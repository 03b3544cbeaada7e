#include "ui/kde/kernel_density.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numeric>
#include <vector>

#include "numeric/fixed_chunks.h"
#include "numeric/gaussian_point_sums.h"
#include "numeric/grid_scaling.h"
#include "numeric/separable_grid.h"
#include "numeric/vector_exp.h"
#include "numeric/zeroed_buffer.h"
#include "ui/gis/kernel_math.h"

namespace orvex::ui {

namespace {

// Grid rows per work chunk of the normalisation.
constexpr std::int32_t kBandRows = 32;
// Fixes per work chunk of the factor tables, and the most factor values one batch of fixes
// holds (32 MB): a grid of any size is computed in bounded memory.
constexpr std::size_t kFactorChunk = 64;
constexpr std::size_t kFactorBudget = std::size_t{1} << 22;

struct Window {
  std::int32_t firstColumn = 0;
  std::int32_t lastColumn = -1;
  std::int32_t firstRow = 0;
  std::int32_t lastRow = -1;
  [[nodiscard]] bool Empty() const { return firstColumn > lastColumn || firstRow > lastRow; }
};

// The window of cells around cell index `centre` (a double: a fix far outside the grid gives a
// huge index that must not overflow an integer), clipped to 0 .. count - 1.
void ClipWindow(double centre, double radius, std::int32_t count, std::int32_t& first, std::int32_t& last) {
  const double lo = std::max(centre - radius, 0.0);
  const double hi = std::min(centre + radius, static_cast<double>(count) - 1.0);
  if (!(lo <= hi)) {
    first = 0;
    last = -1;
    return;
  }
  first = static_cast<std::int32_t>(lo);
  last = static_cast<std::int32_t>(hi);
}

std::size_t CeilDiv(std::size_t a, std::size_t b) { return a / b + (a % b != 0 ? 1 : 0); }

}  // namespace

double GridPlacement::TopEdgeY() const { return originY + static_cast<double>(rows) * cellSize; }
double GridPlacement::FirstColumnX() const { return originX + cellSize / 2.0; }
double GridPlacement::TopRowY() const { return TopEdgeY() - cellSize / 2.0; }

double WindowRadiusCells(double limitRadius, std::int32_t cellSize) {
  return std::floor(CheckedDivide(limitRadius, static_cast<double>(cellSize))) + 1.0;
}

std::int64_t FirstNonFiniteFix(std::span<const CoordPair> coords) {
  for (std::size_t i = 0; i < coords.size(); ++i) {
    if (!std::isfinite(coords[i][0]) || !std::isfinite(coords[i][1])) return static_cast<std::int64_t>(i);
  }
  return -1;
}

void AccumulateDensity(const GridPlacement& grid, const DensitySource& source, KernelGrid& cells) {
  const std::size_t n = source.coords.size();
  const double cellSize = grid.cellSize;
  const double topEdge = grid.TopEdgeY();
  const double x0 = grid.FirstColumnX();
  const double y0 = grid.TopRowY();

  // Each fix's cell from its map coordinates, and its clipped window.
  std::vector<Window> windows(n);
  for (std::size_t i = 0; i < n; ++i) {
    const double column = std::floor((source.coords[i][0] * source.sdX - grid.originX) / cellSize);
    const double row = std::floor((topEdge - source.coords[i][1] * source.sdY) / cellSize);
    ClipWindow(column, source.windowRadius, grid.columns, windows[i].firstColumn, windows[i].lastColumn);
    ClipWindow(row, source.windowRadius, grid.rows, windows[i].firstRow, windows[i].lastRow);
  }

  // K(t) / lambda^2 = e(-tx^2/2) e(-ty^2/2) / 2pi / lambda^2 with t^2 = tx^2 + ty^2: each fix is
  // a row factor times a column factor over its window, so the grid is a product of factor
  // tables. A factor or product below e(-1000) underflows to 0, as the guarded exponential
  // gives. Fixes go through in batches whose factor tables stay within kFactorBudget values.
  for (std::size_t first = 0; first < n;) {
    std::size_t last = first;
    std::size_t values = 0;
    std::vector<numeric::FactorSpan> rowSpans;
    std::vector<numeric::FactorSpan> columnSpans;
    std::size_t rowLength = 0;
    std::size_t columnLength = 0;
    while (last < n && (last == first || values < kFactorBudget)) {
      const Window& w = windows[last++];
      numeric::FactorSpan r;
      numeric::FactorSpan c;
      if (!w.Empty()) {
        r = {static_cast<std::size_t>(w.firstRow), static_cast<std::size_t>(w.lastRow) + 1, rowLength};
        c = {static_cast<std::size_t>(w.firstColumn), static_cast<std::size_t>(w.lastColumn) + 1,
             columnLength};
        rowLength += r.end - r.begin;
        columnLength += c.end - c.begin;
      }
      rowSpans.push_back(r);
      columnSpans.push_back(c);
      values = rowLength + columnLength;
    }
    // Every value is written below; fresh pages spare the zero fill (megabytes per batch).
    numeric::ZeroedArray<double> rowFactors(rowLength);
    numeric::ZeroedArray<double> columnFactors(columnLength);
    numeric::run_fixed_chunks(CeilDiv(last - first, kFactorChunk), source.threads, [&](std::size_t chunk) {
      const std::size_t end = std::min(last - first, (chunk + 1) * kFactorChunk);
      for (std::size_t k = chunk * kFactorChunk; k < end; ++k) {
        const std::size_t i = first + k;
        const double lambda = source.lambda.empty() ? 1.0 : source.lambda[i];
        const double scale = lambda * source.bandwidth;
        const double norm = 1.0 / gis::kTwoPi / (lambda * lambda);
        // The exponents first, then their exponentials in vectors.
        const numeric::FactorSpan& c = columnSpans[k];
        const std::span<double> columnsOut(columnFactors.data() + c.offset, c.end - c.begin);
        for (std::size_t col = c.begin; col < c.end; ++col) {
          const double xc = (x0 + static_cast<double>(col) * cellSize) / source.sdX;
          const double t = (source.coords[i][0] - xc) / scale;
          columnsOut[col - c.begin] = -(t * t) / 2.0;
        }
        numeric::exp_array(columnsOut, columnsOut);
        for (double& f : columnsOut) f *= norm;
        const numeric::FactorSpan& r = rowSpans[k];
        const std::span<double> rowsOut(rowFactors.data() + r.offset, r.end - r.begin);
        for (std::size_t row = r.begin; row < r.end; ++row) {
          const double yc = (y0 - static_cast<double>(row) * cellSize) / source.sdY;
          const double t = (source.coords[i][1] - yc) / scale;
          rowsOut[row - r.begin] = -(t * t) / 2.0;
        }
        numeric::exp_array(rowsOut, rowsOut);
      }
    });
    const numeric::SeparableProduct product(static_cast<std::size_t>(grid.rows),
                                            static_cast<std::size_t>(grid.columns),
                                            {rowSpans, columnSpans, rowFactors.span(), columnFactors.span()});
    // The first batch writes every cell, so the grid is touched once and never read before.
    const bool overwrite = first == 0;
    numeric::run_fixed_chunks(product.tile_count(), source.threads, [&](std::size_t tile) {
      if (overwrite) {
        product.write_tile(tile, cells.Values());
      } else {
        product.add_tile(tile, cells.Values());
      }
    });
    first = last;
  }
  if (n == 0) std::fill(cells.Values().begin(), cells.Values().end(), 0.0);
}

double NormaliseDensity(KernelGrid& cells, double scalingFactor, std::size_t n, double bandwidth, double sdX,
                        double sdY, std::int32_t cellSize, unsigned threads) {
  const double nh2 = static_cast<double>(n) * bandwidth * bandwidth;
  const double sdXY = sdY * sdX;
  CheckedDivide(1.0, nh2);
  CheckedDivide(1.0, sdXY);

  // The volume is summed band by band while the band is at hand, and the bands in order. (All
  // terms are positive, so any order is within a few units in the last place of the exact sum.)
  const auto bands = CeilDiv(static_cast<std::size_t>(cells.Rows()), kBandRows);
  std::vector<double> bandVolumes(bands, 0.0);
  numeric::run_fixed_chunks(bands, threads, [&](std::size_t band) {
    const auto first = static_cast<std::int32_t>(band) * kBandRows;
    const std::int32_t last = std::min(first + kBandRows, cells.Rows());
    const auto width = static_cast<std::size_t>(cells.Columns());
    const std::span<double> bandCells = cells.Values().subspan(
        static_cast<std::size_t>(first) * width, static_cast<std::size_t>(last - first) * width);
    bandVolumes[band] = numeric::scale_and_sum(bandCells, scalingFactor, nh2, sdXY);
  });
  const double volume = std::accumulate(bandVolumes.begin(), bandVolumes.end(), 0.0);
  return cellSize * volume * cellSize;
}

std::vector<double> LocalBandwidthFactors(std::span<const CoordPair> coords, double bandwidth,
                                          std::int32_t& status, unsigned threads) {
  const std::size_t n = coords.size();
  const auto count = static_cast<std::int64_t>(n);
  std::vector<double> lambda(n, 0.0);
  status = 10081;

  // Within 2e-15 of the sum over every pair, relatively (numeric/gaussian_point_sums.h states
  // the bound): far fixes left out, dense cells taken as expansions.
  std::vector<double> pilot = numeric::gaussian_point_sums(coords, bandwidth, threads);
  for (double& p : pilot) p /= gis::kTwoPi;

  status = 10082;
  const double nh2 = static_cast<double>(n) * bandwidth * bandwidth;
  double logSum = 0.0;
  for (std::size_t i = 0; i < n; ++i) {
    try {
      pilot[i] = CheckedDivide(pilot[i], nh2);
    } catch (const KdeError& e) {
      throw LocalFactorError(e, static_cast<std::int64_t>(i), count, logSum);
    }
    logSum += gis::GuardedLog(pilot[i]);
  }
  double g = 0.0;
  try {
    g = gis::GuardedExp(CheckedDivide(logSum, static_cast<double>(n)));
  } catch (const KdeError& e) {
    throw LocalFactorError(e, count, count, logSum);
  }

  status = 10083;
  for (std::size_t i = 0; i < n; ++i) {
    try {
      lambda[i] = gis::GuardedExp(-0.5 * gis::GuardedLog(CheckedDivide(pilot[i], g)));
      if (!(lambda[i] > 0.0) || !std::isfinite(lambda[i]))
        throw KdeError(KdeErrorNumber::overflow, "Overflow");
    } catch (const KdeError& e) {
      throw LocalFactorError(e, static_cast<std::int64_t>(i), count, g);
    }
  }
  status = 0;
  return lambda;
}

}  // namespace orvex::ui
