#include "platform/pictures/plot_model.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace orvex::platform::pictures {
namespace {

/// The round step nearest to `rough`: 1, 2 or 5 times a power of ten.
double niceStep(double rough) {
  const double power = std::pow(10.0, std::floor(std::log10(rough)));
  const double fraction = rough / power;
  const double nice = fraction < 1.5 ? 1.0 : fraction < 3.0 ? 2.0 : fraction < 7.0 ? 5.0 : 10.0;
  return nice * power;
}

void widen(std::optional<Range>& range, double value) {
  if (!std::isfinite(value)) return;
  if (!range) range = Range{value, value};
  range->min = std::min(range->min, value);
  range->max = std::max(range->max, value);
}

}  // namespace

Axis niceAxis(std::string label, double min, double max, int wanted) {
  Axis axis;
  axis.label = std::move(label);
  if (!std::isfinite(min) || !std::isfinite(max)) {
    min = 0.0;
    max = 1.0;
  }
  if (min > max) std::swap(min, max);
  if (min == max) {
    const double half = min == 0.0 ? 1.0 : std::fabs(min) * 0.1;
    min -= half;
    max += half;
  }
  const double step = niceStep((max - min) / std::max(wanted - 1, 1));
  axis.range = {std::floor(min / step) * step, std::ceil(max / step) * step};
  // Ticks by index, not by repeated addition, so that 0.1 steps land on 0.3 and not 0.30000000000000004.
  const auto count = static_cast<long>(std::llround((axis.range.max - axis.range.min) / step));
  for (long i = 0; i <= count; ++i) {
    const double tick = axis.range.min + static_cast<double>(i) * step;
    axis.ticks.push_back(std::fabs(tick) < step * 1e-9 ? 0.0 : tick);
  }
  return axis;
}

std::optional<Range> xRangeOf(const Chart& chart) {
  std::optional<Range> range;
  for (const Series& series : chart.series)
    for (const PlotPoint& point : series.points)
      if (std::isfinite(point.y)) widen(range, point.x);
  for (const Mark& mark : chart.marks) widen(range, mark.x);
  return range;
}

std::optional<Range> yRangeOf(const Chart& chart) {
  std::optional<Range> range;
  for (const Series& series : chart.series)
    for (const PlotPoint& point : series.points)
      if (std::isfinite(point.x)) widen(range, point.y);
  return range;
}

Colour rampColour(double t) {
  static constexpr std::array<Colour, 5> kStops{
      {{1.00, 1.00, 0.80}, {1.00, 0.85, 0.46}, {0.99, 0.55, 0.24}, {0.89, 0.10, 0.11}, {0.50, 0.00, 0.15}}};
  t = std::isfinite(t) ? std::clamp(t, 0.0, 1.0) : 0.0;
  const double scaled = t * static_cast<double>(kStops.size() - 1);
  const auto low = std::min(static_cast<std::size_t>(scaled), kStops.size() - 2);
  const double f = scaled - static_cast<double>(low);
  const Colour& a = kStops[low];
  const Colour& b = kStops[low + 1];
  return {a.red + (b.red - a.red) * f, a.green + (b.green - a.green) * f, a.blue + (b.blue - a.blue) * f};
}

}  // namespace orvex::platform::pictures
