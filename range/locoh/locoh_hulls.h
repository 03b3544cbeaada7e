#pragma once
// Local convex hulls (LoCoH: Getz & Wilmers 2004, Ecography 27:489; Getz et al. 2007, PLoS ONE
// 2:e207) as functions on arrays: each fix's local set and its convex hull, the hulls in the
// order their union is taken, and how many hulls each isopleth takes. The union itself is left
// to the caller (a polygon union, through the host's geometry service).
//
// Positions are compared exactly; a position given more than once is one fix, the first of its
// copies in input order, and every count (k, the percents) is of these distinct fixes. Nothing
// is jittered, so a run gives the same hulls every time.
//
// Local sets, with distances sqrt(dx^2 + dy^2) and ties taken by input order (the fix itself
// comes first, at distance 0):
//   k: the fix and its k - 1 nearest neighbours (all fixes when there are fewer than k);
//   r: every fix within distance r (<= r);
//   a: the nearest fixes, in order, while the running sum of their distances stays <= a.
// Order (Getz et al. 2007): k by hull area from the smallest; r and a by local set size from the
// largest, then by area from the smallest; remaining ties by input order. A set whose hull has
// fewer than 3 corners (1 or 2 fixes, or all on a line) has area 0: it adds its fixes to the
// counts but no area. With r, the cumulative count stops at the fixes whose hulls have area (all
// fixes less the hulls of area 0), so a radius that leaves fixes alone never reaches 100 %. These
// are adehabitatHR's LoCoH.k, LoCoH.r and LoCoH.a rules, so the counts it reports as "percent"
// are the same.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace orvex::range {

enum class LocohMethod { k, r, a };

struct LocohOptions {
  LocohMethod method = LocohMethod::k;
  double parameter = 0.0;  ///< k (a whole number >= 1), r or a (finite, >= 0)
  unsigned threads = 0;    ///< 0: one per processor; the hulls never depend on it
};

/// One coordinate of a hull's corners, read through the numbers of the distinct fixes that are
/// its corners (4 bytes a corner, where the coordinates would take 16).
class LocohCornerAxis {
 public:
  LocohCornerAxis() = default;
  LocohCornerAxis(const std::uint32_t* corners, std::uint32_t count, const double* axis)
      : corners_(corners), axis_(axis), count_(count) {}
  [[nodiscard]] std::size_t size() const { return count_; }
  [[nodiscard]] bool empty() const { return count_ == 0; }
  double operator[](std::size_t k) const { return axis_[corners_[k]]; }

 private:
  const std::uint32_t* corners_ = nullptr;
  const double* axis_ = nullptr;
  std::uint32_t count_ = 0;
};

struct LocohHull {
  std::size_t fix = 0;               ///< the fix whose local set this is, as an input index
  std::size_t set_size = 0;          ///< fixes in the local set
  double area = 0.0;                 ///< of the hull (0 below 3 corners)
  LocohCornerAxis x, y;              ///< the hull's corners, clockwise, not closed (in `corners`)
  std::size_t cumulative_fixes = 0;  ///< distinct fixes in this hull's set and all before it
};

/// What the hulls' corners are read from: the distinct fixes, and each hull's corners as their
/// numbers in a few flat blocks.
struct LocohCorners {
  std::vector<double> x, y;
  std::vector<std::vector<std::uint32_t>> blocks;
};

struct LocohHulls {
  std::size_t distinct_fixes = 0;
  std::vector<LocohHull> hulls;  ///< one per distinct fix, in union order
  /// Never changed once made and shared by copies, so that the views in `hulls` stay valid.
  std::shared_ptr<const LocohCorners> corners{};
};

/// The ordered hulls of the fixes (x[i], y[i]). Memory: the corners and a fixed record per fix;
/// the local sets are made twice (once for the hulls, once for the counts in union order) and
/// never held. Throws std::invalid_argument for arrays of
/// different sizes, no fixes or more than 2^32 - 1, a coordinate that is not finite (naming the fix), and a
/// parameter that is not finite, negative, or (k) not a whole number >= 1.
LocohHulls locoh_hulls(std::span<const double> x, std::span<const double> y, const LocohOptions& options);

/// For each percent P (in (0, 100]), how many hulls from the front the P % isopleth unites: the
/// first count at which 100 x cumulative_fixes / distinct_fixes reaches P. Throws
/// std::invalid_argument for a percent outside (0, 100] or NaN.
std::vector<std::size_t> isopleth_hull_counts(const LocohHulls& hulls, std::span<const double> percents);

/// The convex hull of the points, clockwise, without collinear corners (Andrew's monotone chain).
/// Equal points count once; 1 or 2 distinct points come back as they are.
void convex_hull(std::span<const double> x, std::span<const double> y, std::vector<double>& hull_x,
                 std::vector<double>& hull_y);
/// The same hull as the points' numbers (of equal points, one of them).
void convex_hull_corners(std::span<const double> x, std::span<const double> y,
                         std::vector<std::uint32_t>& corners);

}  // namespace orvex::range
