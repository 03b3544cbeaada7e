#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

#include "core/mcp/mcp_hull_walk.h"
#include "core/mcp/mcp_polygon.h"
#include "host/geometry.h"

namespace orvex::core {

namespace mcp_detail {

namespace {

constexpr double kNoTurnYet = 361.0;  // above every turn, so the first candidate always wins
constexpr double kFullTurn = 360.0;
constexpr double kHalfTurn = 180.0;

double direction(double dx, double dy) { return std::atan2(dy, dx); }  // atan2(0, 0) is 0: east

}  // namespace

double turnDegreesFrom(double referenceAngle, McpPoint from, McpPoint candidate) {
  double t =
      (direction(candidate.x - from.x, candidate.y - from.y) - referenceAngle) * kHalfTurn / std::numbers::pi;
  if (t >= kFullTurn) t -= kFullTurn;
  if (t < 0.0) t += kFullTurn;
  // Without this a fix straight ahead could read as almost a full turn and be passed over,
  // leaving it outside the ring.
  if (t > kFullTurn - kFullTurnSnapDegrees) t = 0.0;
  return t;
}

HullWalk walkHull(std::span<const McpPoint> fixes, bool recordSteps) {
  HullWalk walk;
  if (fixes.empty()) return walk;

  walk.xmin = fixes[0].x;
  walk.ymin = fixes[0].y;
  walk.xmax = fixes[0].x;
  for (const McpPoint& p : fixes) {
    walk.xmin = std::min(walk.xmin, p.x);
    walk.ymin = std::min(walk.ymin, p.y);
    walk.xmax = std::max(walk.xmax, p.x);
  }
  const McpPoint lowerLeft{walk.xmin, walk.ymin};
  const McpPoint lowerRight{walk.xmax, walk.ymin};

  // Start: smallest turn from the lower-left corner against due east, i.e. the first fix with
  // the smallest y. Scanning in set order with a strict comparison keeps the earliest on ties.
  std::size_t start = 0;
  double best = kNoTurnYet;
  const double east = direction(lowerRight.x - lowerLeft.x, lowerRight.y - lowerLeft.y);
  for (std::size_t i = 0; i < fixes.size(); ++i) {
    const double t = turnDegreesFrom(east, lowerLeft, fixes[i]);
    if (t < best) {
      best = t;
      start = i;
    }
  }

  // The fixes still in play, in set order. The start stays so that the wrap can close on it.
  std::vector<std::size_t> remaining(fixes.size());
  for (std::size_t i = 0; i < remaining.size(); ++i) remaining[i] = i;

  walk.ring.push_back(start);
  std::size_t current = start;
  McpPoint reference = lowerRight;
  // Every step that does not close the ring removes one fix, so this ends after n steps.
  for (;;) {
    const McpPoint from = fixes[current];
    const double refDx = reference.x - from.x;
    const double refDy = reference.y - from.y;
    const double referenceAngle = direction(refDx, refDy);
    std::size_t next = fixes.size();
    best = kNoTurnYet;
    for (const std::size_t i : remaining) {
      if (i == current) continue;
      // A duplicate of the start reads as due east with no turn, so it could close the wrap on a
      // zero-length edge before anything else was visited (area 0 for any set whose lowest fix
      // is repeated). From a vertex on the start's position the start is therefore no candidate.
      if (i == start && fixes[i] == from) continue;
      const double t = turnDegreesFrom(referenceAngle, from, fixes[i]);
      if (t < best) {
        best = t;
        next = i;
      }
    }
    if (next == fixes.size()) break;  // nothing comparable left
    if (recordSteps) walk.steps.push_back({from, refDx, refDy, next, best});
    if (next == start) {
      walk.closed = true;
      break;
    }
    walk.ring.push_back(next);
    // The reference direction at the new vertex continues the step just taken.
    reference = {2.0 * fixes[next].x - from.x, 2.0 * fixes[next].y - from.y};
    remaining.erase(std::find(remaining.begin(), remaining.end(), next));
    current = next;
  }
  return walk;
}

McpRing ringOf(std::span<const McpPoint> fixes, const HullWalk& walk) {
  McpRing ring;
  if (walk.ring.empty()) return ring;
  // The walk runs anticlockwise; the host holds outer rings clockwise, from the same start.
  ring.vertices.reserve(walk.ring.size() + 1);
  ring.vertices.push_back(fixes[walk.ring.front()]);
  for (auto it = walk.ring.rbegin(); it != walk.ring.rend(); ++it) ring.vertices.push_back(fixes[*it]);
  ring.area = mcpRingArea(ring.vertices);
  return ring;
}

}  // namespace mcp_detail

McpRing MCP_Poly(std::vector<McpPoint>& fixes) {
  const mcp_detail::HullWalk walk = mcp_detail::walkHull(fixes, false);
  McpRing ring = mcp_detail::ringOf(fixes, walk);
  if (walk.ring.size() > 1) {
    std::vector<bool> chosen(fixes.size(), false);
    for (std::size_t k = 1; k < walk.ring.size(); ++k) chosen[walk.ring[k]] = true;
    std::size_t out = 0;
    for (std::size_t i = 0; i < fixes.size(); ++i) {
      if (!chosen[i]) fixes[out++] = fixes[i];
    }
    fixes.resize(out);
  }
  return ring;
}

double mcpRingArea(std::span<const McpPoint> closedRing) {
  if (closedRing.size() < 4) return 0.0;  // fewer than three distinct corners enclose nothing
  std::vector<host::Point> ring;
  ring.reserve(closedRing.size());
  for (const McpPoint& p : closedRing) ring.push_back({p.x, p.y});
  return std::abs(host::signedRingArea(ring));
}

}  // namespace orvex::core
