#include "range/overlap/common_grid.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace orvex::range {

namespace {

// Edges this close to the lattice (in cells) are on it: a grid written as text rounds them.
constexpr double kLatticeSlack = 1e-9;

}  // namespace

UdGrid finest_common_grid(std::span<const UdGrid> grids) {
  if (grids.empty()) throw std::invalid_argument("common grid: no grids");
  for (const UdGrid& g : grids) check_ud_grid(g);
  const UdGrid& finest = *std::min_element(
      grids.begin(), grids.end(), [](const UdGrid& a, const UdGrid& b) { return a.cell_size < b.cell_size; });
  double west = finest.origin_x;
  double south = finest.origin_y;
  double east = west;
  double north = south;
  for (const UdGrid& g : grids) {
    west = std::min(west, g.origin_x);
    south = std::min(south, g.origin_y);
    east = std::max(east, g.origin_x + static_cast<double>(g.columns) * g.cell_size);
    north = std::max(north, g.origin_y + static_cast<double>(g.rows) * g.cell_size);
  }
  const double h = finest.cell_size;
  const double steps_west = std::floor((west - finest.origin_x) / h + kLatticeSlack);
  const double steps_south = std::floor((south - finest.origin_y) / h + kLatticeSlack);
  UdGrid common{finest.origin_x + steps_west * h, finest.origin_y + steps_south * h, h, 0, 0};
  common.columns = static_cast<std::size_t>(std::ceil((east - common.origin_x) / h - kLatticeSlack));
  common.rows = static_cast<std::size_t>(std::ceil((north - common.origin_y) / h - kLatticeSlack));
  return common;
}

std::vector<double> resample_ud(std::span<const double> density, const UdGrid& from, const UdGrid& to) {
  check_ud_grid(from);
  check_ud_grid(to);
  check_ud(density, from);
  if (from == to) return {density.begin(), density.end()};
  std::vector<double> out(to.cell_count(), 0.0);
  for (std::size_t r = 0; r < to.rows; ++r) {
    const double y = to.origin_y + (static_cast<double>(to.rows - r) - 0.5) * to.cell_size;
    const double up = std::floor((y - from.origin_y) / from.cell_size);
    if (up < 0.0 || up >= static_cast<double>(from.rows)) continue;
    const std::size_t from_row = from.rows - 1 - static_cast<std::size_t>(up);
    for (std::size_t c = 0; c < to.columns; ++c) {
      const double x = to.origin_x + (static_cast<double>(c) + 0.5) * to.cell_size;
      const double east = std::floor((x - from.origin_x) / from.cell_size);
      if (east < 0.0 || east >= static_cast<double>(from.columns)) continue;
      out[r * to.columns + c] = density[from_row * from.columns + static_cast<std::size_t>(east)];
    }
  }
  return out;
}

UdGrid to_common_grid(std::vector<std::vector<double>>& uds, std::span<const UdGrid> grids, bool& resampled) {
  resampled = false;
  if (grids.empty()) throw std::invalid_argument("common grid: no grids");
  if (std::all_of(grids.begin(), grids.end(), [&](const UdGrid& g) { return g == grids.front(); }))
    return grids.front();
  const UdGrid grid = finest_common_grid(grids);
  for (std::size_t i = 0; i < uds.size(); ++i)
    if (!(grids[i] == grid)) uds[i] = resample_ud(uds[i], grids[i], grid);
  resampled = true;
  return grid;
}

}  // namespace orvex::range
