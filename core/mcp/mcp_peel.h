#pragma once

// The convex hull of a fix set kept exactly while fixes are removed one at a time, for the
// selection styles that drop the fix farthest from a centre: that fix is always at a vertex of
// the hull of the fixes left (or within rounding of one), so only the hull and a neighbourhood
// of it need to be looked at per removal.

#include <cstddef>
#include <span>
#include <vector>

#include "core/mcp/mcp_polygon.h"

namespace orvex::core {

/// Exact sign of the turn a -> b -> c: +1 anticlockwise, -1 clockwise, 0 collinear (or two of
/// the points equal). Exact for finite coordinates whose products neither overflow nor fall
/// below the smallest normal double.
int mcpOrientation(McpPoint a, McpPoint b, McpPoint c);

/// Fixes grouped by position (equal x and y), the positions indexed in lexicographic (x, y)
/// order, with the hull of the positions that still hold a fix. Coordinates must be finite.
///
/// Removal takes the lowest-indexed fix left at a position. When a position empties and was a
/// hull vertex, the hull is re-peeled locally: only the positions left inside the triangle the
/// vertex spanned with its two neighbours can become vertices. A hull of one or two vertices
/// (everything left collinear) is rebuilt from all the positions left instead.
class McpPeel {
 public:
  static constexpr std::size_t kNone = static_cast<std::size_t>(-1);

  explicit McpPeel(std::span<const McpPoint> fixes);

  std::size_t fixesLeft() const { return fixesLeft_; }
  std::size_t positionCount() const { return positions_.size(); }
  McpPoint position(std::size_t p) const { return positions_[p]; }
  /// The lowest index of a fix left at position p; kNone when p is empty.
  std::size_t firstFix(std::size_t p) const;

  /// Positions of the strict hull (no vertex on an edge) of the positions left, anticlockwise;
  /// one or two entries when everything left is one position or collinear; empty when no fix
  /// is left.
  const std::vector<std::size_t>& hull() const { return hull_; }

  /// Appends every position left whose distance from q is at most r (a few ulps more may be
  /// taken). Positions may repeat across calls; the caller removes duplicates.
  void near(McpPoint q, double r, std::vector<std::size_t>& out) const;

  /// Removes firstFix(p) (p must hold a fix) and updates the hull.
  void removeFirst(std::size_t p);

 private:
  struct Node {
    double xmin, ymin, xmax, ymax;
    std::size_t begin, end;  // range of order_
    std::size_t left = kNone, right = kNone, parent = kNone;
    std::size_t alive = 0;  // positions left below this node
  };
  std::size_t build(std::size_t begin, std::size_t end, std::size_t parent, int depth);
  void inTriangle(McpPoint a, McpPoint b, McpPoint c, std::vector<std::size_t>& out) const;
  /// Appends to `out` every live position of a leaf box that `boxMayHold` keeps whose point
  /// `keep` accepts, descending only into boxes with live fixes that `boxMayHold` keeps.
  template <class BoxMayHold, class Keep>
  void collect(const BoxMayHold& boxMayHold, const Keep& keep, std::vector<std::size_t>& out) const;
  void rebuildHull();
  void repeel(std::size_t slot);

  std::vector<McpPoint> positions_;
  std::vector<std::size_t> fixStart_;  // fixes of position p: fixIndex_[fixStart_[p] .. fixStart_[p+1])
  std::vector<std::size_t> fixIndex_;  // ascending within each position
  std::vector<std::size_t> taken_;     // fixes already removed from each position
  std::vector<std::size_t> order_;     // positions in k-d tree order
  std::vector<McpPoint> slotPoint_;    // positions_[order_[k]]
  std::vector<char> slotAlive_;        // whether position order_[k] holds a fix
  std::vector<std::size_t> slotOf_;    // k of each position
  std::vector<std::size_t> leafOf_;    // node holding each position
  std::vector<Node> nodes_;
  std::vector<std::size_t> hull_;
  std::size_t fixesLeft_ = 0;
};

/// Strict hull (Andrew's monotone chain with exact orientation) of distinct positions given in
/// lexicographic (x, y) order, anticlockwise from the lowest-x (then lowest-y) one; indices into
/// `sorted`. One or two entries for a single position or a collinear set.
std::vector<std::size_t> mcpStrictHull(std::span<const McpPoint> sorted);

}  // namespace orvex::core
