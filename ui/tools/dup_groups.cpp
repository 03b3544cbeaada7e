#include "ui/tools/dup_groups.h"

#include <algorithm>
#include <cmath>
#include <unordered_map>

namespace orvex::ui {
namespace {

/// A cell of the neighbourhood grid.
struct Cell {
  std::int64_t x = 0;
  std::int64_t y = 0;
  bool operator==(const Cell&) const = default;
};

struct CellHash {
  std::size_t operator()(const Cell& cell) const noexcept {
    const auto hx = static_cast<std::uint64_t>(cell.x) * 0x9E3779B97F4A7C15ull;
    const auto hy = static_cast<std::uint64_t>(cell.y) * 0xC2B2AE3D27D4EB4Full;
    return static_cast<std::size_t>(hx ^ (hy >> 7) ^ (hy << 29));
  }
};

/// Grid coordinate of one ordinate. Coordinates too large for the grid share the border cells,
/// which only costs extra comparisons there.
std::int64_t cellOf(double value, double size) {
  constexpr double kLimit = 4.0e18;
  return static_cast<std::int64_t>(std::clamp(std::floor(value / size), -kLimit, kLimit));
}

}  // namespace

std::vector<host::ObjectId> Time2Duplicates(std::span<const TimedFix> fixes) {
  std::unordered_map<std::int64_t, host::ObjectId> highest;
  highest.reserve(fixes.size());
  for (const TimedFix& fix : fixes) {
    const auto [entry, inserted] = highest.try_emplace(fix.time, fix.id);
    if (!inserted && fix.id > entry->second) entry->second = fix.id;
  }
  std::vector<host::ObjectId> doomed;
  for (const TimedFix& fix : fixes) {
    if (highest.at(fix.time) != fix.id) doomed.push_back(fix.id);
  }
  return doomed;
}

std::vector<host::ObjectId> PositionDuplicates(std::span<const PlacedFix> fixes, double tolerance,
                                               const SamePlace& samePlace) {
  // Cells twice the tolerance wide: two points within the tolerance of each other are in the
  // same or in adjacent cells, whatever rounding the division makes.
  const double size = tolerance > 0.0 && std::isfinite(tolerance) ? 2.0 * tolerance : 1.0;
  std::unordered_map<Cell, std::vector<std::size_t>, CellHash> grid;
  std::vector<std::size_t> unplaced;
  std::vector<Cell> cells(fixes.size());
  grid.reserve(fixes.size());
  for (std::size_t i = 0; i < fixes.size(); ++i) {
    const host::Point* point = fixes[i].shape.point();
    if (point == nullptr || point->isEmpty()) {
      unplaced.push_back(i);
      continue;
    }
    cells[i] = {cellOf(point->x, size), cellOf(point->y, size)};
    grid[cells[i]].push_back(i);
  }

  std::vector<bool> deleted(fixes.size(), false);
  std::vector<host::ObjectId> doomed;
  auto visit = [&](std::size_t a, const std::vector<std::size_t>& candidates) {
    for (const std::size_t b : candidates) {
      if (b == a || deleted[b] || fixes[b].id == fixes[a].id) continue;
      if (!samePlace(fixes[a].shape, fixes[b].shape)) continue;
      deleted[b] = true;
      doomed.push_back(fixes[b].id);
    }
  };

  for (std::size_t a = 0; a < fixes.size(); ++a) {
    if (deleted[a]) continue;
    const host::Point* point = fixes[a].shape.point();
    if (point == nullptr || point->isEmpty()) {
      visit(a, unplaced);
      continue;
    }
    for (std::int64_t dx = -1; dx <= 1; ++dx) {
      for (std::int64_t dy = -1; dy <= 1; ++dy) {
        const auto found = grid.find(Cell{cells[a].x + dx, cells[a].y + dy});
        if (found != grid.end()) visit(a, found->second);
      }
    }
  }
  return doomed;
}

}  // namespace orvex::ui
