#pragma once

// Minimum convex polygon (MCP) home range of one fix set: keep a percentage of the fixes by a
// selection style, wrap the kept fixes in their convex hull and measure its area.
//
// Plain computation on coordinates: no host types. The MCP command converts the result to host
// geometry (a multipoint for the kept set, a one-ring polygon for the ring).

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace orvex::core {

/// One fix in map units. Two fixes with equal coordinates are still two elements of a set.
struct McpPoint {
  double x = 0.0;
  double y = 0.0;
  friend bool operator==(const McpPoint&, const McpPoint&) = default;
};

/// The six selection style names. A style is matched by exact, case-sensitive text; any other
/// text keeps every fix.
inline constexpr std::string_view kMcpFixedMean = "Fixed Mean";
inline constexpr std::string_view kMcpFixedMedian = "Fixed Median";
inline constexpr std::string_view kMcpUserCentre = "User Centre";
inline constexpr std::string_view kMcpFloatingMean = "Floating Mean";
inline constexpr std::string_view kMcpFloatingMedian = "Floating Median";
inline constexpr std::string_view kMcpAreaAdded = "Area Added";

/// The fewest fixes a polygon is built from.
inline constexpr int kMcpMinimumFixes = 3;

/// What one percentage run is asked to do (one instance per percentage of the options dialog).
struct McpOptions {
  double percentage = 95.0;          ///< share of the fixes to keep, in percent
  std::string style{kMcpFixedMean};  ///< one of the six names above, or any text
  McpPoint userCentre{};             ///< used by "User Centre" only
};

enum class McpStatus {
  ok,
  percentageTooLow,    ///< target count below 3 (every percentage of 0 or below, NaN too)
  tooFewFixes,         ///< fewer than 3 fixes were handed over
  invalidCoordinates,  ///< a fix has a NaN or infinite coordinate
};

/// The hull of a point set as the host polygon receives it.
struct McpRing {
  /// Hull vertices in clockwise order, closed (the last vertex repeats the first). The first
  /// vertex is the start of the wrap: the first fix, in set order, with the smallest y.
  /// Empty for an empty set; {p, p} for one fix; {a, b, a} for two. Fixes on fewer than three
  /// distinct positions, or all on one line, give a degenerate ring of area 0.
  std::vector<McpPoint> vertices;
  double area = 0.0;  ///< enclosed area, non-negative, squared map units
};

/// Result of one percentage run.
struct McpResult {
  McpStatus status = McpStatus::ok;
  int nPoints = 0;  ///< NPoints: the fixes handed over (n)
  /// NUsed: the target count O = ceil(n * p / 100) as a 32-bit integer (saturated, never
  /// capped at n). Filled for every status but invalidCoordinates.
  int nUsed = 0;
  /// The kept set. Fixed styles: the picked fixes, nearest to the centre first. Floating styles
  /// and "Area Added": the survivors in set order. Unknown style: every fix in set order.
  /// Empty when status is not ok.
  std::vector<McpPoint> kept;
  McpRing ring;  ///< MCP_Poly of the kept set; empty when status is not ok
};

/// O = ceil(n * p / 100), evaluated in that order in double precision and converted to a 32-bit
/// integer. Saturates at the int range instead of overflowing; NaN gives 0.
int mcpTargetCount(std::size_t n, double percentage);

/// Runs one percentage of the MCP analysis on a fresh copy of `fixes` (set order matters for
/// every tie). Status and consequences:
/// - O < 3: percentageTooLow (shown to the user as mcpTooLowMessage()); nothing kept.
/// - fewer than 3 fixes with O >= 3 (only possible above 100 percent): tooFewFixes.
/// - a non-finite coordinate: invalidCoordinates (the command drops empty points first).
/// - otherwise ok. A percentage above 100 gives O > n: the fixed styles then pick every fix
///   (their picks are capped at n), the floating styles and "Area Added" drop nothing, and
///   nUsed still reports O.
/// Duplicate fixes stay separate elements. Collinear or identical kept fixes give a degenerate
/// ring of area 0 (up to rounding of the coordinates).
McpResult mcpPercentageAnalysis(std::span<const McpPoint> fixes, const McpOptions& options);

/// The fixes "Area Added" drops from one set, kept between the percentages of a run over that
/// set. The style's choices never look at the target: a run down to t fixes drops the first
/// n - t fixes of a run down to fewer, in the same order. `floor` is the fewest fixes any of the
/// run's percentages keeps (set by the caller); the first analysis that needs drops makes them
/// down to it (or to its own target, when that is lower), and the later ones take a prefix.
struct McpSharedDrops {
  std::size_t floor = 0;
  std::vector<std::size_t> order;  ///< indices into the set, in the order dropped
};

/// mcpPercentageAnalysis, with "Area Added" taking its drops from `shared` (made there when
/// missing or too short). Every other style ignores `shared`. The result is the same as without.
McpResult mcpPercentageAnalysis(std::span<const McpPoint> fixes, const McpOptions& options,
                                McpSharedDrops& shared);

/// "The MCP Analysis Percentage (%.2f) is too low - no polygon can be generated)." with the
/// percentage in place of %.2f, independent of the process locale.
std::string mcpTooLowMessage(double percentage);

/// Convex hull by gift wrapping with turn angles in degrees. Consumes its input: every hull
/// vertex it chooses other than the start is removed from `fixes` (the others keep their order),
/// so pass a copy when the set is still needed.
///
/// Ties: the start is the first fix, in set order, with the smallest y; at each step the fix with
/// the smallest anticlockwise turn wins and equal turns go to the earlier fix, so fixes on a hull
/// edge are vertices or not by set order. A fix equal to the current vertex lies due east of it
/// (zero-length direction) and may be chosen; the wrap then continues due east. The wrap never
/// closes on a zero-length edge: from a duplicate of the start, the start is no candidate (the
/// ring would otherwise collapse to area 0 whenever the lowest fix is repeated).
/// Degenerate input: 0 fixes give an empty ring, 1 fix {p, p}, 2 fixes {a, b, a}; collinear or
/// identical fixes a degenerate ring of area 0. Non-finite coordinates never crash; the ring is
/// then unspecified.
McpRing MCP_Poly(std::vector<McpPoint>& fixes);

/// Enclosed area of a closed ring (either orientation), non-negative.
double mcpRingArea(std::span<const McpPoint> closedRing);

}  // namespace orvex::core
