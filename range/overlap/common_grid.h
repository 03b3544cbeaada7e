#pragma once
// UDs on different grids put onto one, for the overlap indices.
//
// The common grid is the finest: its cells are those of the input grid with the smallest cell
// (the first such grid when several share it), extended by whole cells until they cover every
// input grid. A cell of the common grid takes the density of the input cell that holds its
// centre (nearest cell), and 0 where no input cell does. Densities are kept as they are, so a
// UD whose cells are whole multiples of the finest and aligned with it keeps its volume exactly;
// otherwise each input cell's volume moves by at most the input cells its edges cut through.

#include <span>
#include <vector>

#include "range/overlap/volume_contour.h"

namespace orvex::range {

/// The finest common grid of `grids`. A grid's edges within 1e-9 of a cell of the finest lattice
/// are taken to lie on it. Throws std::invalid_argument for no grids and as check_ud_grid.
UdGrid finest_common_grid(std::span<const UdGrid> grids);

/// `density` on `from`, resampled onto `to` by the nearest-cell rule above (the same values
/// when the grids are equal). Throws as check_ud_grid and check_ud.
std::vector<double> resample_ud(std::span<const double> density, const UdGrid& from, const UdGrid& to);

/// Puts every UD (uds[i] on grids[i]) on one grid: when every grid equals the first, nothing
/// changes and that grid is returned; otherwise each UD not on finest_common_grid is resampled
/// onto it, `resampled` is set, and that grid is returned. Throws as finest_common_grid and
/// resample_ud.
UdGrid to_common_grid(std::vector<std::vector<double>>& uds, std::span<const UdGrid> grids, bool& resampled);

}  // namespace orvex::range
