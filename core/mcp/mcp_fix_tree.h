#pragma once

// The fixes of the "Area Added" reduction in a k-d tree whose boxes shrink as fixes go, and the
// half-plane tests its queries use.

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <numeric>
#include <span>
#include <vector>

#include "core/mcp/mcp_polygon.h"

namespace orvex::core::mcp_detail {

inline double cross(double ax, double ay, double bx, double by) { return ax * by - ay * bx; }

struct Box {
  double xmin, ymin, xmax, ymax;
};

constexpr Box kEmptyBox{HUGE_VAL, HUGE_VAL, -HUGE_VAL, -HUGE_VAL};

inline Box grown(const Box& box, McpPoint p) {
  return {std::min(box.xmin, p.x), std::min(box.ymin, p.y), std::max(box.xmax, p.x), std::max(box.ymax, p.y)};
}

inline Box joined(const Box& a, const Box& b) {
  return {std::min(a.xmin, b.xmin), std::min(a.ymin, b.ymin), std::max(a.xmax, b.xmax),
          std::max(a.ymax, b.ymax)};
}

// The least cross(d, q - c) over the points q of a box: the function is linear in q, so it is
// taken at the corner farthest right of d.
inline double leastCross(double dx, double dy, McpPoint c, const Box& box) {
  return cross(dx, dy, (dy >= 0.0 ? box.xmax : box.xmin) - c.x, (dx >= 0.0 ? box.ymin : box.ymax) - c.y);
}

// The fixes in a k-d tree, each alive until removed; queries walk only boxes that still hold one.
// The fixes are copied in tree order, so that a leaf's are scanned from consecutive memory, and
// the nodes are laid out depth first (a node's left child follows it). Up to 2^32 - 1 fixes.
class FixTree {
 public:
  explicit FixTree(std::span<const McpPoint> fixes)
      : alive_(fixes.size(), 1),
        order_(fixes.size()),
        placeOf_(fixes.size()),
        points_(fixes.size()),
        livePlace_(fixes.size(), 1) {
    std::iota(order_.begin(), order_.end(), std::size_t{0});
    if (fixes.empty()) return;
    build(fixes, 0, fixes.size(), kNoNode);
    for (std::size_t k = 0; k < order_.size(); ++k) {
      placeOf_[order_[k]] = k;
      points_[k] = fixes[order_[k]];
    }
  }

  bool alive(std::size_t fix) const { return alive_[fix] != 0; }

  // Each box shrinks to the live fixes under it, so that queries near what is left of the set
  // no longer walk the boxes of the fixes gone.
  void remove(std::size_t fix) {
    alive_[fix] = 0;
    livePlace_[placeOf_[fix]] = 0;
    std::size_t n = leafOf(placeOf_[fix]);
    Node& leaf = nodes_[n];
    --leaf.alive;
    leaf.box = kEmptyBox;
    for (std::size_t k = leaf.begin; k < leaf.end; ++k) {
      if (livePlace_[k]) leaf.box = grown(leaf.box, points_[k]);
    }
    for (n = leaf.parent; n != kNoNode; n = nodes_[n].parent) {
      Node& up = nodes_[n];
      --up.alive;
      up.box = kEmptyBox;
      for (const std::size_t child : {n + 1, static_cast<std::size_t>(up.right)}) {
        if (nodes_[child].alive != 0) up.box = joined(up.box, nodes_[child].box);
      }
    }
  }

  /// Appends every live fix of a box `boxMayHold` keeps that `keep` accepts.
  template <class BoxMayHold, class Keep>
  void collect(const BoxMayHold& boxMayHold, const Keep& keep, std::vector<std::size_t>& out) const {
    if (nodes_.empty()) return;
    const auto open = [&](std::size_t id) { return nodes_[id].alive != 0 && boxMayHold(nodes_[id].box); };
    if (!open(0)) return;
    // Each node on the stack has passed its test; an inner node goes on to its left child
    // directly and leaves its right child for later.
    std::vector<std::size_t>& stack = stack_;
    stack.assign(1, 0);
    while (!stack.empty()) {
      std::size_t id = stack.back();
      stack.pop_back();
      for (;;) {
        const Node& node = nodes_[id];
        if (node.right == kLeaf) {
          for (std::size_t k = node.begin; k < node.end; ++k) {
            if (livePlace_[k] && keep(points_[k])) out.push_back(order_[k]);
          }
          break;
        }
        const bool left = open(id + 1);
        if (open(node.right)) {
          if (!left) {
            id = node.right;
            continue;
          }
          stack.push_back(node.right);
        }
        if (!left) break;
        id = id + 1;
      }
    }
  }

 private:
  static constexpr std::size_t kNoNode = static_cast<std::size_t>(-1);
  static constexpr std::uint32_t kLeaf = static_cast<std::uint32_t>(-1);

  struct Node {
    Box box;
    std::uint32_t begin, end;  // the node's places in tree order
    std::uint32_t right;       // kLeaf for a leaf; the left child is the next node
    std::uint32_t alive;
    std::size_t parent;
  };

  // The leaf holding tree place k: the descent the build made.
  std::size_t leafOf(std::size_t k) const {
    std::size_t n = 0;
    while (nodes_[n].right != kLeaf) n = k < nodes_[n + 1].end ? n + 1 : nodes_[n].right;
    return n;
  }

  std::size_t build(std::span<const McpPoint> fixes, std::size_t begin, std::size_t end, std::size_t parent) {
    const std::size_t id = nodes_.size();
    nodes_.push_back({});
    Node node{kEmptyBox, static_cast<std::uint32_t>(begin),       static_cast<std::uint32_t>(end),
              kLeaf,     static_cast<std::uint32_t>(end - begin), parent};
    for (std::size_t k = begin; k < end; ++k) node.box = grown(node.box, fixes[order_[k]]);
    if (end - begin > kLeafSize) {
      const bool byX = node.box.xmax - node.box.xmin >= node.box.ymax - node.box.ymin;
      const std::size_t mid = begin + (end - begin) / 2;
      std::nth_element(order_.begin() + static_cast<std::ptrdiff_t>(begin),
                       order_.begin() + static_cast<std::ptrdiff_t>(mid),
                       order_.begin() + static_cast<std::ptrdiff_t>(end), [&](std::size_t i, std::size_t j) {
                         return byX ? fixes[i].x < fixes[j].x : fixes[i].y < fixes[j].y;
                       });
      build(fixes, begin, mid, id);
      node.right = static_cast<std::uint32_t>(build(fixes, mid, end, id));
    }
    nodes_[id] = node;
    return id;
  }

  std::vector<char> alive_;           // by fix
  std::vector<std::size_t> order_;    // the fix at each tree place
  std::vector<std::size_t> placeOf_;  // each fix's tree place
  std::vector<McpPoint> points_;      // the fixes in tree order
  std::vector<char> livePlace_;       // alive_ in tree order
  // Fixes per leaf.
  static constexpr std::size_t kLeafSize = 8;
  std::vector<Node> nodes_;
  mutable std::vector<std::size_t> stack_;  // a query's nodes to visit, kept to spare allocations
};

}  // namespace orvex::core::mcp_detail
