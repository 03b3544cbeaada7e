#pragma once

// What a picture shows, as data: a chart (axes with their ranges, series of points, marks such
// as a chosen bandwidth) or a map (a raster under a colour ramp with its legend, outlines and
// points). Tests check these models; `picture_writer.h` draws them.

#include <optional>
#include <string>
#include <vector>

namespace orvex::platform::pictures {

struct Colour {
  double red = 0.0, green = 0.0, blue = 0.0;  ///< 0..1
  bool operator==(const Colour&) const = default;
};

struct PlotPoint {
  double x = 0.0;
  double y = 0.0;
  bool operator==(const PlotPoint&) const = default;
};

struct Range {
  double min = 0.0;
  double max = 1.0;
  bool operator==(const Range&) const = default;
};

struct Axis {
  std::string label{};
  Range range{};
  std::vector<double> ticks{};  ///< values inside `range` where labelled ticks go
};

enum class SeriesStyle { Line, Markers, LineAndMarkers };

struct Series {
  std::string name{};  ///< shown in the legend
  std::vector<PlotPoint> points{};
  SeriesStyle style = SeriesStyle::Line;
  Colour colour{};
};

/// A vertical line across the plot at `x` (a chosen or reference bandwidth), labelled.
struct Mark {
  double x = 0.0;
  std::string label{};
  Colour colour{};
  bool dashed = false;
};

struct Chart {
  std::string title{};
  /// A second line under the title; for a warning such as a failed minimisation.
  std::string note{};
  bool noteIsWarning = false;  ///< drawn in red
  Axis x{}, y{};
  std::vector<Series> series{};
  std::vector<Mark> marks{};
};

/// A single-band raster in map units: `values` row by row from the top (north) row, NaN for
/// no data.
struct RasterLayer {
  int columns = 0;
  int rows = 0;
  Range x{}, y{};  ///< the raster's extent
  std::vector<double> values{};
  std::string legendTitle{};
  Range scale{};  ///< the values the colour ramp spans (bottom to top of the legend)
};

/// Polylines or rings in map units.
struct PathLayer {
  std::string name{};  ///< shown in the legend
  std::vector<std::vector<PlotPoint>> parts{};
  Colour colour{};
  double width = 1.5;  ///< pixels
};

struct MapPicture {
  std::string title{};
  std::string note{};
  Range x{}, y{};  ///< the extent drawn (kept at equal scale in x and y)
  std::optional<RasterLayer> raster{};
  std::vector<PathLayer> paths{};
  std::vector<PlotPoint> points{};
  std::string pointsName = "fixes";
  Colour pointColour{};
};

/// A range padded out to round numbers (1, 2 or 5 times a power of ten) with the tick values
/// inside it: about `wanted` ticks. An empty range (min == max) is widened around its value;
/// NaN or infinite ends give 0..1.
Axis niceAxis(std::string label, double min, double max, int wanted = 6);

/// The smallest range holding every point of the series (and every mark's x), or nothing when
/// there is no finite point.
std::optional<Range> xRangeOf(const Chart& chart);
std::optional<Range> yRangeOf(const Chart& chart);

/// The colour ramp of UD maps for t in 0..1 (clamped): pale yellow through orange to dark
/// red, the high densities darkest.
Colour rampColour(double t);

}  // namespace orvex::platform::pictures
