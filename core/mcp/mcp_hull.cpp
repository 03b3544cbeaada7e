#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <numbers>
#include <optional>
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

double direction(double dx, double dy) { return directionAngle(dx, dy); }

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

namespace {

/// The bounding box and the start: the first fix of smallest turn from the lower-left corner
/// against due east, i.e. the first fix of the smallest y. One pass over every fix.
HullWalk frameOf(std::span<const McpPoint> fixes, std::size_t& start) {
  HullWalk walk;
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
  // Scanning in set order with a strict comparison keeps the earliest on ties.
  start = 0;
  double best = kNoTurnYet;
  const double east = direction(lowerRight.x - lowerLeft.x, lowerRight.y - lowerLeft.y);
  for (std::size_t i = 0; i < fixes.size(); ++i) {
    const double t = turnDegreesFrom(east, lowerLeft, fixes[i]);
    if (t < best) {
      best = t;
      start = i;
    }
  }
  return walk;
}

/// The wrap from `start` over the fixes at `remaining` (positions in set order, the start among
/// them). After each step `certify(from, referenceAngle, turn)` says whether no fix outside
/// `remaining` could have won it; `missing` is true when fixes were left out. Returns false
/// (the walk then unfinished) as soon as a step cannot be certified.
template <class Certify>
bool wrap(std::span<const McpPoint> fixes, std::size_t start, std::vector<std::size_t> remaining,
          bool missing, bool recordSteps, HullWalk& walk, Certify&& certify) {
  walk.ring.push_back(start);
  std::size_t current = start;
  McpPoint reference{walk.xmax, walk.ymin};  // due east of the lower-left corner
  // Every step that does not close the ring removes one fix, so this ends after n steps.
  for (;;) {
    const McpPoint from = fixes[current];
    const double refDx = reference.x - from.x;
    const double refDy = reference.y - from.y;
    const double referenceAngle = direction(refDx, refDy);
    std::size_t next = fixes.size();
    double best = kNoTurnYet;
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
    if (next == fixes.size()) return !missing;  // nothing comparable left (a left-out fix would be)
    if (!certify(from, referenceAngle, best)) return false;
    if (recordSteps) walk.steps.push_back({from, refDx, refDy, next, best});
    if (next == start) {
      walk.closed = true;
      return true;
    }
    walk.ring.push_back(next);
    // The reference direction at the new vertex continues the step just taken.
    reference = {2.0 * fixes[next].x - from.x, 2.0 * fixes[next].y - from.y};
    remaining.erase(std::find(remaining.begin(), remaining.end(), next));
    current = next;
  }
}

// The rounding of one computed turn is below 1e-12 degrees (see the header); the certificate
// allows this much, and the band is wide enough for the slack to cost nothing.
constexpr double kTurnSlackDegrees = 1e-10;
constexpr double kBandOfExtent = 0x1p-26;  // band width w as a share of the larger box side

/// b - a cross c - a, and whether its sign is certain: the bound covers the rounding of the
/// differences and products (a few units in the last place of each product, taken as 2^-50),
/// and its absolute term the products that underflow.
double orientation(McpPoint a, McpPoint b, McpPoint c, bool& certain) {
  const double l = (b.x - a.x) * (c.y - a.y);
  const double r = (b.y - a.y) * (c.x - a.x);
  certain = std::abs(l - r) > 0x1p-50 * (std::abs(l) + std::abs(r)) + 0x1p-1000;
  return l - r;
}

/// The convex hull anticlockwise (Andrew's monotone chain), keeping only certified strict left
/// turns, so it is a convex polygon whose vertices are fixes; empty if it has under three
/// vertices or a turn at the seams cannot be certified.
std::vector<McpPoint> certifiedHull(std::span<const McpPoint> fixes) {
  // Fixes strictly inside the polygon of the extremes in eight directions are no hull vertices
  // and skip the sort. Rounding here can only drop a true vertex that lies within rounding of
  // that polygon's edge: the hull is then a little smaller, which the filter allows (it needs
  // a convex polygon of fixes, not the exact hull), and that fix stays in the band.
  std::array<McpPoint, 8> extreme;
  extreme.fill(fixes[0]);
  const auto key = [](McpPoint q, int d) {
    constexpr std::array<double, 8> ax{0, 1, 1, 1, 0, -1, -1, -1};
    constexpr std::array<double, 8> ay{-1, -1, 0, 1, 1, 1, 0, -1};
    return ax[static_cast<std::size_t>(d)] * q.x + ay[static_cast<std::size_t>(d)] * q.y;
  };
  for (const McpPoint& q : fixes) {
    for (int d = 0; d < 8; ++d) {
      if (key(q, d) > key(extreme[static_cast<std::size_t>(d)], d)) extreme[static_cast<std::size_t>(d)] = q;
    }
  }
  std::vector<McpPoint> octagon;
  for (const McpPoint& q : extreme) {
    if (octagon.empty() || !(q == octagon.back())) octagon.push_back(q);
  }
  while (octagon.size() > 1 && octagon.back() == octagon.front()) octagon.pop_back();
  const auto inside = [&](McpPoint q) {
    if (octagon.size() < 3) return false;
    for (std::size_t j = 0; j < octagon.size(); ++j) {
      const McpPoint a = octagon[j], b = octagon[(j + 1) % octagon.size()];
      if (!((b.x - a.x) * (q.y - a.y) - (b.y - a.y) * (q.x - a.x) > 0.0)) return false;
    }
    return true;
  };
  std::vector<McpPoint> p;
  for (const McpPoint& q : fixes) {
    if (!inside(q)) p.push_back(q);
  }
  if (p.size() < 3) return {};
  std::sort(p.begin(), p.end(),
            [](McpPoint a, McpPoint b) { return a.x < b.x || (a.x == b.x && a.y < b.y); });
  std::vector<McpPoint> h(2 * p.size());
  std::size_t k = 0;
  bool certain = false;
  const auto leftTurn = [&](McpPoint a, McpPoint b, McpPoint c) {
    return orientation(a, b, c, certain) > 0 && certain;
  };
  for (std::size_t i = 0; i < p.size(); ++i) {
    while (k >= 2 && !leftTurn(h[k - 2], h[k - 1], p[i])) --k;
    h[k++] = p[i];
  }
  for (std::size_t i = p.size() - 1, lower = k + 1; i-- > 0;) {
    while (k >= lower && !leftTurn(h[k - 2], h[k - 1], p[i])) --k;
    h[k++] = p[i];
  }
  h.resize(k > 0 ? k - 1 : 0);  // the last equals the first
  if (h.size() < 3) return {};
  for (std::size_t i = 0; i < h.size(); ++i) {
    if (!leftTurn(h[i], h[(i + 1) % h.size()], h[(i + 2) % h.size()])) return {};
  }
  return h;
}

/// The filtered walk, or nothing when the filter keeps too many fixes or a step is not certified.
std::optional<HullWalk> filteredWalk(std::span<const McpPoint> fixes, bool recordSteps) {
  if (fixes.size() < 3) return std::nullopt;
  for (const McpPoint& p : fixes) {
    if (!std::isfinite(p.x) || !std::isfinite(p.y)) return std::nullopt;
  }
  const std::vector<McpPoint> hull = certifiedHull(fixes);
  if (hull.empty()) return std::nullopt;

  std::size_t start = 0;
  HullWalk walk = frameOf(fixes, start);
  double ymax = fixes[0].y;
  for (const McpPoint& p : fixes) ymax = std::max(ymax, p.y);
  // Within these extents no product below underflows or overflows.
  const double extent = std::max(walk.xmax - walk.xmin, ymax - walk.ymin);
  if (!(extent > 1e-100 && extent < 1e100)) return std::nullopt;
  const double band = kBandOfExtent * extent;

  // Unit edge directions; a fix is left out when it is deeper than the band inside every edge.
  // A disc round the vertex mean, inside every edge by `inner`, settles most fixes at once.
  const std::size_t h = hull.size();
  std::vector<McpPoint> unit(h);
  McpPoint centre{0.0, 0.0};
  for (const McpPoint& v : hull)
    centre = {centre.x + v.x / static_cast<double>(h), centre.y + v.y / static_cast<double>(h)};
  double inner = std::numeric_limits<double>::infinity();
  const auto depth = [&](std::size_t j, McpPoint q) {
    return unit[j].x * (q.y - hull[j].y) - unit[j].y * (q.x - hull[j].x);
  };
  for (std::size_t j = 0; j < h; ++j) {
    const McpPoint b = hull[(j + 1) % h];
    const double len = std::hypot(b.x - hull[j].x, b.y - hull[j].y);
    unit[j] = {(b.x - hull[j].x) / len, (b.y - hull[j].y) / len};
    inner = std::min(inner, depth(j, centre));
  }
  const double clear = inner - 2.0 * band;
  const double clear2 = clear > 0.0 ? clear * clear : -1.0;
  std::vector<std::size_t> kept;
  for (std::size_t i = 0; i < fixes.size(); ++i) {
    const double dx = fixes[i].x - centre.x, dy = fixes[i].y - centre.y;
    bool keep = i == start;
    if (!keep && !(dx * dx + dy * dy < clear2)) {
      for (std::size_t j = 0; j < h && !keep; ++j) keep = !(depth(j, fixes[i]) > band);
    }
    if (keep) {
      kept.push_back(i);
      if (kept.size() > fixes.size() / 2) return std::nullopt;
    }
  }
  walk.compared = kept.size();

  // Every left-out fix x has the disc of radius band/2 round it inside the hull, so for a unit
  // n, n.x <= max over hull vertices of n.v - band/2. A step is certified when every such x is
  // strictly left of the ray from the vertex at the winning turn plus the slack and, if the
  // excluded wedge reaches half a turn, strictly right of the ray at the reference minus the
  // snap and the slack: then no left-out fix turns by the winner's turn or less, nor snaps.
  const double toRadians = std::numbers::pi / kHalfTurn;
  const auto beyond = [&](McpPoint from, double angle, double side) {
    const double nx = side * std::sin(angle), ny = -side * std::cos(angle);
    double most = -std::numeric_limits<double>::infinity();
    for (const McpPoint& v : hull) most = std::max(most, nx * (v.x - from.x) + ny * (v.y - from.y));
    return most <= 0.25 * band;
  };
  const auto certify = [&](McpPoint from, double referenceAngle, double turn) {
    if (!beyond(from, referenceAngle + (turn + kTurnSlackDegrees) * toRadians, 1.0)) return false;
    const double wedge = turn + 2.0 * kTurnSlackDegrees + kFullTurnSnapDegrees;
    return wedge < kHalfTurn - 1.0 ||
           beyond(from, referenceAngle - (kFullTurnSnapDegrees + kTurnSlackDegrees) * toRadians, -1.0);
  };
  if (!wrap(fixes, start, std::move(kept), true, recordSteps, walk, certify)) return std::nullopt;
  return walk;
}

}  // namespace

HullWalk walkHullExhaustive(std::span<const McpPoint> fixes, bool recordSteps) {
  if (fixes.empty()) return {};
  std::size_t start = 0;
  HullWalk walk = frameOf(fixes, start);
  walk.compared = fixes.size();
  std::vector<std::size_t> remaining(fixes.size());
  for (std::size_t i = 0; i < remaining.size(); ++i) remaining[i] = i;
  wrap(fixes, start, std::move(remaining), false, recordSteps, walk,
       [](McpPoint, double, double) { return true; });
  return walk;
}

HullWalk walkHull(std::span<const McpPoint> fixes, bool recordSteps, std::size_t filterFrom) {
  if (fixes.size() >= filterFrom) {
    if (std::optional<HullWalk> walk = filteredWalk(fixes, recordSteps)) return std::move(*walk);
  }
  return walkHullExhaustive(fixes, recordSteps);
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
