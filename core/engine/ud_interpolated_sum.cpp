#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <numeric>
#include <utility>
#include <vector>

#include "core/engine/ud_kernel_factors.h"
#include "numeric/barycentric_weights.h"
#include "numeric/outer_products.h"

namespace orvex::core::ud_detail {

namespace {

// ---- The interpolated sum, for sources sharing one bandwidth b --------------------------------
//
// Along one axis, the factor of a source at X for the node at x is f(X) = exp(-((x - X)/b)^2/2).
// The axis is cut into boxes of width w; inside a box f is replaced by its interpolant at the
// box's p Chebyshev points c_m (first kind): f(X) ~ sum_m f(c_m) L_m(X), with L_m the Lagrange
// polynomials of the box. The p-th derivative of f is b^-p He_p(t) exp(-t^2/2), which Cramer's
// inequality bounds by 1.0865 sqrt(p!) b^-p, so the interpolation error is at most
//   E = 2 * 1.0865 * (w / 4b)^p / sqrt(p!)
// for every node x and source X, whatever their distance. A grid node's sum then becomes
//   sum_k w_k fx(X_k) fy(Y_k) ~ sum_(m,l) fx(c_m) fy(c_l) W[m][l],  W[m][l] = sum_k w_k L_m(X_k) L_l(Y_k)
// over the points of all boxes: W has one entry per pair of points, and the grid is two matrix
// products, T = W Fy (points along x by nodes along y), then out = Fx T, both run by the tiled
// separable product. Each term is off by at most E (1 + E) + E <= 2.1 E times its weight, so a
// node by at most 2.1 E sum_k w_k. Rounding adds about (points + points) * 1.1e-16 * Lambda^2
// of the node's local sum of absolute terms, where Lambda < 4 is the Chebyshev points' Lebesgue
// constant: some 1e-13 of the grid's maximum for a few hundred points per axis.

constexpr double kInterpolationBound = 1e-17;   // wanted E
constexpr double kWantedRelativeError = 1e-12;  // of the grid's maximum, checked after the sum
constexpr double kCramer = 1.0865;
constexpr std::size_t kMaxPoints = 96;
constexpr std::size_t kMinPoints = 4;
// The block of the Lagrange weights: a multiple of every vector width, and kMaxPoints of it.
constexpr std::size_t kPad = numeric::kWeightBlock;
static_assert(kMaxPoints % kPad == 0);
// The sources' shares of the points (see anterpolate) are summed for up to kGroup sources at a
// time by numeric::add_outer_products, which touches whole blocks of kRowRoom rows and
// kTileColumns columns.
constexpr std::size_t kGroup = 32;
constexpr std::size_t kTileColumns = numeric::kOuterProductColumns;
constexpr std::size_t kRowRoom = numeric::kOuterProductRows;
static_assert(kMaxPoints % kRowRoom == 0 && kMaxPoints % kTileColumns == 0);

// One axis: its boxes and the Chebyshev points of the boxes that hold sources.
struct ChebyshevAxis {
  double first = 0.0;  // left edge of box 0
  double width = 1.0;  // of a box
  std::size_t boxes = 1;
  std::size_t points = 0;           // per box
  std::vector<double> nodes;        // on [-1, 1], then infinities up to a multiple of kPad
  std::vector<double> barycentric;  // weights of the barycentric formula (0 past the points)
  std::vector<std::size_t> slot;    // per box: index of its first point among kept ones
  std::vector<double> positions;    // of the kept points, box by box
  double error = 0.0;               // E of this axis
  static constexpr std::size_t kEmpty = static_cast<std::size_t>(-1);

  std::size_t box_of(double x) const {
    const double at = std::floor((x - first) / width);
    if (!(at > 0.0)) return 0;
    return std::min(boxes - 1, static_cast<std::size_t>(at));
  }

  // The Lagrange weights of the box's points at x (x in box `box`) times `factor`, into `out`:
  // `points` values, then -0 or 0 up to the next multiple of kPad.
  void weights(double x, std::size_t box, double factor, double* out) const {
    const double s = (x - (first + (static_cast<double>(box) + 0.5) * width)) / (0.5 * width);
    numeric::barycentric_weights(s, nodes.data(), barycentric.data(), points, nodes.size(), factor, out);
  }
};

// log of the bound E for boxes `c` bandwidths wide and p points.
double log_interpolation_bound(double c, std::size_t p) {
  const double pd = static_cast<double>(p);
  return std::log(2.0 * kCramer) + pd * std::log(c / 4.0) - 0.5 * std::lgamma(pd + 1.0);
}

// The widest box, in bandwidths, whose p points keep E <= kInterpolationBound.
double widest_box(std::size_t p) {
  return 4.0 *
         std::exp((std::log(kInterpolationBound) - log_interpolation_bound(4.0, p)) / static_cast<double>(p));
}

// The fewest boxes of p points that cover `extent` bandwidths with E <= kInterpolationBound.
double boxes_needed(double extent, std::size_t p) { return std::max(1.0, std::ceil(extent / widest_box(p))); }

// Lays out one axis over [low, high] for bandwidth b with p points per box.
ChebyshevAxis plan_axis(double low, double high, double b, std::size_t p) {
  ChebyshevAxis axis;
  const double extent = (high - low) / b;
  axis.points = p;
  axis.boxes = static_cast<std::size_t>(boxes_needed(extent, p));
  // Sources all at one position get one box centred on them.
  axis.width = extent > 0.0 ? (high - low) / static_cast<double>(axis.boxes) : widest_box(p) * b;
  axis.first = extent > 0.0 ? low : low - 0.5 * axis.width;
  axis.error = std::exp(log_interpolation_bound(axis.width / b, axis.points));
  const double pi = 3.141592653589793;
  for (std::size_t m = 0; m < axis.points; ++m) {
    const double angle = (2.0 * static_cast<double>(m) + 1.0) * pi / (2.0 * static_cast<double>(axis.points));
    axis.nodes.push_back(std::cos(angle));
    axis.barycentric.push_back((m % 2 == 0 ? 1.0 : -1.0) * std::sin(angle));
  }
  // Padding points at infinity with weight 0: their Lagrange weights are -0.
  const std::size_t padded = (axis.points + kPad - 1) / kPad * kPad;
  axis.nodes.resize(padded, std::numeric_limits<double>::infinity());
  axis.barycentric.resize(padded, 0.0);
  axis.slot.assign(axis.boxes, ChebyshevAxis::kEmpty);
  return axis;
}

// Cost of the interpolated sum, in multiply-adds of the tiled product: the sources' shares
// (whole register tiles: p_y columns rounded up to kTileColumns, p_x rows rounded up to
// kRowRoom; about 2 product multiply-adds each, measured by BM_KernelSumMethod, whatever set
// the processor offers, so that the choice and with it the sums do not depend on it), then both
// products over the factors' windows (`rows` nodes per point).
double interpolated_cost(std::size_t n, std::size_t px, std::size_t py, double vx, double vy,
                         std::size_t side, double rows) {
  const std::size_t columns = (py + kTileColumns - 1) / kTileColumns * kTileColumns;
  const std::size_t lanes = (px + kRowRoom - 1) / kRowRoom * kRowRoom;
  return 2.0 * static_cast<double>(n * columns * lanes) + vx * vy * static_cast<double>(side) +
         vx * rows * static_cast<double>(side);
}

// Points per box along x and y that make the interpolated sum cheapest for these extents (in
// bandwidths).
std::pair<std::size_t, std::size_t> cheapest_points(std::size_t n, double extent_x, double extent_y,
                                                    std::size_t side, double rows) {
  std::pair<std::size_t, std::size_t> best{kMaxPoints, kMaxPoints};
  double best_cost = std::numeric_limits<double>::infinity();
  for (std::size_t px = kMinPoints; px <= kMaxPoints; ++px) {
    const double vx = boxes_needed(extent_x, px) * static_cast<double>(px);
    for (std::size_t py = kMinPoints; py <= kMaxPoints; ++py) {
      const double vy = boxes_needed(extent_y, py) * static_cast<double>(py);
      const double cost = interpolated_cost(n, px, py, vx, vy, side, rows);
      if (cost < best_cost) {
        best_cost = cost;
        best = {px, py};
      }
    }
  }
  return best;
}

// Keeps the points of the boxes that hold a source (`used`), box by box.
void keep_boxes(ChebyshevAxis& axis, const std::vector<bool>& used) {
  for (std::size_t box = 0; box < axis.boxes; ++box) {
    if (!used[box]) continue;
    axis.slot[box] = axis.positions.size();
    const double centre = axis.first + (static_cast<double>(box) + 0.5) * axis.width;
    for (std::size_t m = 0; m < axis.points; ++m)
      axis.positions.push_back(centre + 0.5 * axis.width * axis.nodes[m]);
  }
}

// Multiply-adds of the exact sum: every source's square of kept terms.
double exact_cost(std::span<const KernelSource> sources, const GridGeometry& grid, std::size_t side) {
  double cost = 0.0;
  for (const KernelSource& k : sources) {
    const AxisWindow wx = axis_window(grid.ax, grid.dx, k.x, k.bandwidth, side);
    const AxisWindow wy = axis_window(grid.ay, grid.dy, k.y, k.bandwidth, side);
    cost += static_cast<double>(wx.end - wx.begin) * static_cast<double>(wy.end - wy.begin);
  }
  return cost;
}

// The sources' shares of the points: W[m][l] = sum_k w_k L_m(X_k) L_l(Y_k). Sources come box
// by box; the weights of up to kGroup sources of one pair of boxes are held at once, and their
// shares are summed in source order, then added to W. Rows and columns past a box's last point
// have weights 0 (or -0), so the extra rows and columns of a block add 0 to the next box's
// entries or to the room W keeps after its rows (kRowRoom) and columns (kTileColumns).

struct AnterpolationJob {
  std::span<const KernelSource> sources;
  const std::vector<std::size_t>& order;  // of the sources: box by box
  const std::vector<std::size_t>& box_x;
  const std::vector<std::size_t>& box_y;
  const ChebyshevAxis& ax;
  const ChebyshevAxis& ay;
  double* w;
  std::size_t stride;
};

void anterpolate(const AnterpolationJob& job) {
  // Weights of the group's sources, a row of kMaxPoints each; entries never written stay 0.
  std::vector<double> lx(kGroup * kMaxPoints, 0.0);
  std::vector<double> ly(kGroup * kMaxPoints, 0.0);
  for (std::size_t at = 0; at < job.order.size();) {
    const std::size_t bx = job.box_x[job.order[at]];
    const std::size_t by = job.box_y[job.order[at]];
    std::size_t count = 0;
    for (; count < kGroup && at + count < job.order.size(); ++count) {
      const std::size_t k = job.order[at + count];
      if (job.box_x[k] != bx || job.box_y[k] != by) break;
      job.ax.weights(job.sources[k].x, bx, 1.0, lx.data() + count * kMaxPoints);
      job.ay.weights(job.sources[k].y, by, job.sources[k].weight, ly.data() + count * kMaxPoints);
    }
    double* const block = job.w + job.ay.slot[by] * job.stride + job.ax.slot[bx];
    numeric::add_outer_products(lx.data(), ly.data(), count, kMaxPoints, job.ax.points, job.ay.points, block,
                                job.stride);
    at += count;
  }
}

// Threads for a step of `work` multiply-adds: below a millisecond or so of work, starting and
// joining threads costs more than they save. (The factor tables, a few hundred rows of
// exponentials, are filled on one.)
unsigned threads_for(double work, unsigned threads) { return work < 4e6 ? 1U : threads; }

// Factor tables of points along one axis: each point's window of nodes as a span into `values`,
// and its factors exp(-t^2 / 2) there.
void fill_point_factors(std::span<const double> positions, double origin, double step, double b,
                        std::size_t side, std::vector<numeric::FactorSpan>& spans,
                        std::vector<double>& values) {
  spans.resize(positions.size());
  std::size_t length = 0;
  for (std::size_t i = 0; i < positions.size(); ++i) {
    const AxisWindow window = axis_window(origin, step, positions[i], b, side);
    spans[i] = {window.begin, window.end, length};
    length += window.end - window.begin;
  }
  values.resize(length);
  for (std::size_t i = 0; i < positions.size(); ++i)
    fill_axis(origin, step, positions[i], b, 1.0, spans[i], values.data());
}

// The sources' extent and total weight.
struct SourceExtent {
  double x0 = 0.0;
  double x1 = 0.0;
  double y0 = 0.0;
  double y1 = 0.0;
  double weight = 0.0;
};

SourceExtent extent_of(std::span<const KernelSource> sources) {
  SourceExtent e{sources.front().x, sources.front().x, sources.front().y, sources.front().y, 0.0};
  for (const KernelSource& k : sources) {
    e.x0 = std::min(e.x0, k.x);
    e.x1 = std::max(e.x1, k.x);
    e.y0 = std::min(e.y0, k.y);
    e.y1 = std::max(e.y1, k.y);
    e.weight += k.weight;
  }
  return e;
}

// Puts every source in its pair of boxes (scratch.box_x, box_y) and keeps the points of the
// boxes that hold one.
void place_sources(std::span<const KernelSource> sources, ChebyshevAxis& ax, ChebyshevAxis& ay,
                   KernelSumWorkspace& scratch) {
  scratch.box_x.resize(sources.size());
  scratch.box_y.resize(sources.size());
  std::vector<bool> used_x(ax.boxes, false), used_y(ay.boxes, false);
  for (std::size_t k = 0; k < sources.size(); ++k) {
    scratch.box_x[k] = ax.box_of(sources[k].x);
    scratch.box_y[k] = ay.box_of(sources[k].y);
    used_x[scratch.box_x[k]] = true;
    used_y[scratch.box_y[k]] = true;
  }
  keep_boxes(ax, used_x);
  keep_boxes(ay, used_y);
}

// Lists the sources box by box, in source order within a box (a counting sort on the pair of
// boxes, into scratch.order), and for every column l of W the rows [low, high) that a box
// holding sources can reach.
void order_by_boxes(std::size_t n, const ChebyshevAxis& ax, const ChebyshevAxis& ay,
                    KernelSumWorkspace& scratch) {
  const std::vector<std::size_t>& box_x = scratch.box_x;
  const std::vector<std::size_t>& box_y = scratch.box_y;
  std::vector<std::size_t>& starts = scratch.starts;
  starts.assign(ax.boxes * ay.boxes + 1, 0);
  for (std::size_t k = 0; k < n; ++k) ++starts[box_y[k] * ax.boxes + box_x[k] + 1];
  scratch.low.assign(ay.positions.size(), ax.positions.size());
  scratch.high.assign(ay.positions.size(), 0);
  for (std::size_t by = 0; by < ay.boxes; ++by) {
    for (std::size_t bx = 0; bx < ax.boxes; ++bx) {
      if (starts[by * ax.boxes + bx + 1] == 0) continue;
      for (std::size_t column = ay.slot[by]; column < ay.slot[by] + ay.points; ++column) {
        scratch.low[column] = std::min(scratch.low[column], ax.slot[bx]);
        scratch.high[column] = std::max(scratch.high[column], ax.slot[bx] + ax.points);
      }
    }
  }
  std::partial_sum(starts.begin(), starts.end(), starts.begin());
  scratch.order.resize(n);
  for (std::size_t k = 0; k < n; ++k) scratch.order[starts[box_y[k] * ax.boxes + box_x[k]]++] = k;
}

}  // namespace

bool interpolated_sum(std::span<const KernelSource> sources, const GridGeometry& grid, std::size_t side,
                      std::span<double> out, unsigned threads, bool forced, KernelSumWorkspace& scratch) {
  const double b = sources.front().bandwidth;
  const SourceExtent extent = extent_of(sources);
  // Nodes along x within a point's window; and the nodes of the quarter of a source's square
  // that stays inside the grid wherever the source lies.
  const double reach = std::sqrt(kDropRadius2) * b / grid.dx + 1.0;
  const double rows = std::min(static_cast<double>(side), 2.0 * reach + 1.0);
  const double inside = std::min(static_cast<double>(side), reach + 1.0) *
                        std::min(static_cast<double>(side), std::sqrt(kDropRadius2) * b / grid.dy + 2.0);
  if (!forced) {
    // Every plan costs at least one box of the fewest points along each axis. When that
    // already loses, no plan is made: a bandwidth far below the node spacing would ask for
    // more boxes than memory (or a size_t) holds.
    constexpr auto kFewest = static_cast<double>(kMinPoints);
    const double least =
        interpolated_cost(sources.size(), kMinPoints, kMinPoints, kFewest, kFewest, side, rows);
    if (!(least < 0.5 * static_cast<double>(sources.size()) * inside) &&
        !(least < 0.5 * exact_cost(sources, grid, side)))
      return false;
  }
  const auto [px, py] =
      cheapest_points(sources.size(), (extent.x1 - extent.x0) / b, (extent.y1 - extent.y0) / b, side, rows);
  ChebyshevAxis ax = plan_axis(extent.x0, extent.x1, b, px);
  ChebyshevAxis ay = plan_axis(extent.y0, extent.y1, b, py);
  place_sources(sources, ax, ay, scratch);
  const std::size_t vx = ax.positions.size();
  const std::size_t vy = ay.positions.size();
  if (!forced) {
    // The exact sum costs at least the quarter of each source's square of kept terms that lies
    // inside the grid; its full cost is counted only when that does not decide.
    const double cost = interpolated_cost(sources.size(), px, py, static_cast<double>(vx),
                                          static_cast<double>(vy), side, rows);
    if (!(cost < 0.5 * static_cast<double>(sources.size()) * inside) &&
        !(cost < 0.5 * exact_cost(sources, grid, side)))
      return false;
  }

  // W, column by column: entry (m, l) at l * stride + m.
  const std::size_t stride = vx + kRowRoom;
  scratch.w.assign(stride * (vy + kTileColumns), 0.0);
  order_by_boxes(sources.size(), ax, ay, scratch);
  anterpolate(AnterpolationJob{sources, scratch.order, scratch.box_x, scratch.box_y, ax, ay, scratch.w.data(),
                               stride});

  // T = W Fy: vx rows (points along x) by side columns (nodes along y).
  scratch.w_spans.resize(vy);
  for (std::size_t l = 0; l < vy; ++l) {
    const std::size_t first = std::min(scratch.low[l], scratch.high[l]);
    scratch.w_spans[l] = {first, scratch.high[l], l * stride + first};
  }
  fill_point_factors(ay.positions, grid.ay, grid.dy, b, side, scratch.fy_spans, scratch.fy);
  scratch.t.assign(vx * side, 0.0);
  const numeric::SeparableProduct first_product(vx, side,
                                                {scratch.w_spans, scratch.fy_spans, scratch.w, scratch.fy});
  add_product(first_product, scratch.t, threads_for(first_product.work(), threads));

  // out = Fx T.
  fill_point_factors(ax.positions, grid.ax, grid.dx, b, side, scratch.fx_spans, scratch.fx);
  scratch.t_spans.resize(vx);
  for (std::size_t m = 0; m < vx; ++m) scratch.t_spans[m] = {0, side, m * side};
  const numeric::SeparableProduct second_product(side, side,
                                                 {scratch.fx_spans, scratch.t_spans, scratch.fx, scratch.t});
  add_product(second_product, out, threads_for(second_product.work(), threads));

  // Exact sums are never negative; rounding and interpolation may leave tiny negatives far out.
  double largest = 0.0;
  for (double& value : out) {
    value = std::max(value, 0.0);
    largest = std::max(largest, value);
  }
  const double error = std::max(ax.error, ay.error);
  return forced || (2.1 * error * extent.weight <= kWantedRelativeError * largest);
}

}  // namespace orvex::core::ud_detail
