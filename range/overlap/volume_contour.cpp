#include "range/overlap/volume_contour.h"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <stdexcept>
#include <string>

namespace orvex::range {

void check_ud_grid(const UdGrid& grid) {
  if (!std::isfinite(grid.cell_size) || grid.cell_size <= 0.0) {
    throw std::invalid_argument("UD grid: the cell size must be positive and finite");
  }
  if (!std::isfinite(grid.origin_x) || !std::isfinite(grid.origin_y)) {
    throw std::invalid_argument("UD grid: the origin must be finite");
  }
  if (grid.cell_count() == 0) throw std::invalid_argument("UD grid: the grid has no cells");
}

void check_ud(std::span<const double> density, const UdGrid& grid) {
  if (density.size() != grid.cell_count()) {
    throw std::invalid_argument("UD: " + std::to_string(density.size()) + " densities for a grid of " +
                                std::to_string(grid.cell_count()) + " cells");
  }
  for (std::size_t cell = 0; cell < density.size(); ++cell) {
    if (!std::isfinite(density[cell]) || density[cell] < 0.0) {
      throw std::invalid_argument("UD: the density of cell " + std::to_string(cell) +
                                  " is negative or not finite");
    }
  }
}

std::vector<double> cumulative_volume(std::span<const double> density, const UdGrid& grid) {
  check_ud_grid(grid);
  check_ud(density, grid);
  // The tie order (west to east, south to north) is the cells' order in this list, so a stable
  // sort by decreasing density gives it.
  std::vector<std::size_t> order;
  order.reserve(grid.cell_count());
  for (std::size_t c = 0; c < grid.columns; ++c) {
    for (std::size_t r = grid.rows; r-- > 0;) order.push_back(r * grid.columns + c);
  }
  std::stable_sort(order.begin(), order.end(),
                   [&](std::size_t a, std::size_t b) { return density[a] > density[b]; });
  // Density times the cell size twice, not times the area: the same bits as adehabitatHR.
  const double size = grid.cell_size;
  std::vector<double> percent(grid.cell_count());
  long double running = 0.0L;
  for (const std::size_t cell : order) {
    running += static_cast<long double>(density[cell] * size * size);
    percent[cell] = static_cast<double>(running) * 100.0;
  }
  return percent;
}

std::vector<unsigned char> volume_contour(std::span<const double> density, const UdGrid& grid,
                                          double percent) {
  if (!(percent > 0.0 && percent <= 100.0)) {
    throw std::invalid_argument("volume contour: the percent must lie in (0, 100]");
  }
  const std::vector<double> volume = cumulative_volume(density, grid);
  std::vector<unsigned char> inside(volume.size());
  std::transform(volume.begin(), volume.end(), inside.begin(),
                 [percent](double v) { return static_cast<unsigned char>(v <= percent ? 1 : 0); });
  return inside;
}

}  // namespace orvex::range
