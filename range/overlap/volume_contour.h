#pragma once
// Utilisation distributions on one regular grid, and their volume contours.
//
// A UD is one density per cell, read as it stands: a cell's volume is its density times the
// cell's area, and nothing is rescaled to sum 1. The cumulative volume of a cell is the sum of
// the volumes of every cell of higher density and of the cell itself, as a percentage; the P %
// volume contour is the cells whose cumulative volume does not exceed P. Cells of equal density
// are taken west to east, and within a column south to north, so the first of them counts only
// itself among its ties. These are adehabitatHR's getvolumeUD conventions, down to the running
// sum kept in long double and rounded to double before it is multiplied by 100, so that the
// cells at the contour's edge are the same ones.

#include <cstddef>
#include <span>
#include <vector>

#include "range/bridge/bridge_ud.h"

namespace orvex::range {

/// A UD's grid: the layout the bridge writes (row 0 the northernmost, cells row by row).
using UdGrid = BridgeGrid;

/// Throws std::invalid_argument for a cell size that is not positive and finite, an origin that
/// is not finite or an empty grid.
void check_ud_grid(const UdGrid& grid);

/// Throws std::invalid_argument when `density` does not hold grid.cell_count() values or holds
/// one that is negative or not finite (naming the cell).
void check_ud(std::span<const double> density, const UdGrid& grid);

/// The cumulative volume of every cell, in percent (the last cell in the order reaches 100
/// times the UD's total volume). Throws as check_ud_grid and check_ud.
std::vector<double> cumulative_volume(std::span<const double> density, const UdGrid& grid);

/// 1 for the cells of the `percent` % volume contour, 0 elsewhere. Throws as
/// cumulative_volume, and std::invalid_argument for a percent outside (0, 100] or NaN.
std::vector<unsigned char> volume_contour(std::span<const double> density, const UdGrid& grid,
                                          double percent);

}  // namespace orvex::range
