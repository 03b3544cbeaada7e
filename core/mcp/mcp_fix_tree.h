#pragma once

// The fixes of the "Area Added" reduction in a k-d tree whose boxes shrink as fixes go, and the
// half-plane tests its queries use.

#include <algorithm>
#include <cmath>
#include <cstddef>
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
class FixTree {
 public:
  static constexpr std::size_t kNoNode = static_cast<std::size_t>(-1);

  explicit FixTree(std::span<const McpPoint> fixes) : fixes_(fixes), alive_(fixes.size(), 1) {
    order_.resize(fixes.size());
    std::iota(order_.begin(), order_.end(), std::size_t{0});
    leafOf_.assign(fixes.size(), kNoNode);
    if (!fixes.empty()) build(0, fixes.size(), kNoNode);
  }

  bool alive(std::size_t fix) const { return alive_[fix] != 0; }

  // Each box shrinks to the live fixes under it, so that queries near what is left of the set
  // no longer walk the boxes of the fixes gone.
  void remove(std::size_t fix) {
    alive_[fix] = 0;
    const std::size_t leaf = leafOf_[fix];
    Node& node = nodes_[leaf];
    --node.alive;
    node.box = kEmptyBox;
    for (std::size_t k = node.begin; k < node.end; ++k) {
      if (alive_[order_[k]]) node.box = grown(node.box, fixes_[order_[k]]);
    }
    for (std::size_t n = node.parent; n != kNoNode; n = nodes_[n].parent) {
      Node& up = nodes_[n];
      --up.alive;
      up.box = kEmptyBox;
      for (const std::size_t child : {up.left, up.right}) {
        if (nodes_[child].alive != 0) up.box = joined(up.box, nodes_[child].box);
      }
    }
  }

  /// Appends every live fix of a box `boxMayHold` keeps that `keep` accepts.
  template <class BoxMayHold, class Keep>
  void collect(const BoxMayHold& boxMayHold, const Keep& keep, std::vector<std::size_t>& out) const {
    if (nodes_.empty()) return;
    std::vector<std::size_t>& stack = stack_;
    stack.assign(1, 0);
    while (!stack.empty()) {
      const Node& node = nodes_[stack.back()];
      stack.pop_back();
      if (node.alive == 0 || !boxMayHold(node.box)) continue;
      if (node.left != kNoNode) {
        stack.push_back(node.left);
        stack.push_back(node.right);
        continue;
      }
      for (std::size_t k = node.begin; k < node.end; ++k) {
        const std::size_t i = order_[k];
        if (alive_[i] && keep(fixes_[i])) out.push_back(i);
      }
    }
  }

 private:
  struct Node {
    Box box;
    std::size_t begin, end;
    std::size_t left = kNoNode, right = kNoNode, parent = kNoNode;
    std::size_t alive = 0;
  };

  std::size_t build(std::size_t begin, std::size_t end, std::size_t parent) {
    const std::size_t id = nodes_.size();
    nodes_.push_back({});
    Node node{kEmptyBox, begin, end, kNoNode, kNoNode, parent, end - begin};
    for (std::size_t k = begin; k < end; ++k) node.box = grown(node.box, fixes_[order_[k]]);
    if (end - begin <= kLeafSize) {
      for (std::size_t k = begin; k < end; ++k) leafOf_[order_[k]] = id;
    } else {
      const bool byX = node.box.xmax - node.box.xmin >= node.box.ymax - node.box.ymin;
      const std::size_t mid = begin + (end - begin) / 2;
      std::nth_element(order_.begin() + static_cast<std::ptrdiff_t>(begin),
                       order_.begin() + static_cast<std::ptrdiff_t>(mid),
                       order_.begin() + static_cast<std::ptrdiff_t>(end), [&](std::size_t i, std::size_t j) {
                         return byX ? fixes_[i].x < fixes_[j].x : fixes_[i].y < fixes_[j].y;
                       });
      node.left = build(begin, mid, id);
      node.right = build(mid, end, id);
    }
    nodes_[id] = node;
    return id;
  }

  std::span<const McpPoint> fixes_;
  std::vector<char> alive_;
  std::vector<std::size_t> order_;
  std::vector<std::size_t> leafOf_;
  // Fixes per leaf.
  static constexpr std::size_t kLeafSize = 8;
  std::vector<Node> nodes_;
  mutable std::vector<std::size_t> stack_;  // a query's nodes to visit, kept to spare allocations
};

}  // namespace orvex::core::mcp_detail
