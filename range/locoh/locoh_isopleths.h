#pragma once
// LoCoH isopleths: the P % isopleth is the union of the ordered hulls up to the first at which
// the fixes they hold reach P % (see locoh_hulls.h). The union goes through the host's geometry
// service (a polygon library), level by level from the smallest: each level unites the previous
// level's polygon with the union of its new hulls, so that the previous polygon's boundary is
// overlaid once a level. A level's new hulls are cut into parts of a fixed number of neighbouring
// hulls (in Z-order of their centres), each part united on its own thread, then the previous
// polygon and the parts united in part order: the parts depend only on the hulls, never on the
// thread count, so the polygons do not either. Parts contained in the previous polygon cost no
// overlay.

#include <cstddef>
#include <span>
#include <vector>

#include "host/geometry.h"
#include "range/locoh/locoh_hulls.h"

namespace orvex::host {
class GeometryService;
}

namespace orvex::range {

struct LocohIsopleth {
  double percent = 0.0;     ///< the level asked for
  std::size_t hulls = 0;    ///< hulls united, from the front of the order
  std::size_t fixes = 0;    ///< distinct fixes in those hulls' local sets
  host::Polygon polygon{};  ///< the union (host orientation); empty when no hull has area
  double area = 0.0;        ///< of `polygon`
};

/// Hulls per part of a level's union: a count of the problem, never of the threads.
inline constexpr std::size_t kLocohHullsPerPart = 256;

/// One isopleth per percent, in the order given (a percent given twice gives the same polygon
/// twice). Hulls of fewer than 3 corners add their fixes but no area. Throws
/// std::invalid_argument for a percent outside (0, 100] or NaN (before any union), and what the
/// geometry service throws.
std::vector<LocohIsopleth> locoh_isopleths(const LocohHulls& hulls, std::span<const double> percents,
                                           const host::GeometryService& geometry, unsigned threads);

}  // namespace orvex::range
