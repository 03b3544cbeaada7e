#include "platform/pictures/picture_writer.h"

#include <cairo-svg.h>
#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>
#include <string>

#include "host/error.h"
#include "host/text.h"
#include "platform/common/output_path.h"

namespace orvex::platform::pictures {
namespace {

using Draw = std::function<void(cairo_t*)>;

struct SurfaceDeleter {
  void operator()(cairo_surface_t* surface) const noexcept { cairo_surface_destroy(surface); }
};
struct ContextDeleter {
  void operator()(cairo_t* cr) const noexcept { cairo_destroy(cr); }
};
using SurfacePtr = std::unique_ptr<cairo_surface_t, SurfaceDeleter>;
using ContextPtr = std::unique_ptr<cairo_t, ContextDeleter>;

constexpr double kTitleSize = 18.0;
constexpr double kTextSize = 12.0;
constexpr double kTop = 70.0;  // room for the title and the note
constexpr double kMarkerRadius = 2.5;

const Colour kBlack{0.1, 0.1, 0.1};
const Colour kGrid{0.88, 0.88, 0.88};
const Colour kWarning{0.80, 0.05, 0.05};

[[noreturn]] void cannotWrite(const std::filesystem::path& file, cairo_status_t status) {
  throw host::Error(host::kDataError,
                    "cannot write " + file.string() + ": " + cairo_status_to_string(status));
}

/// Thrown while drawing when cairo cannot make a surface (beyond its size limit, or out of
/// memory): the picture cannot be drawn.
struct DrawingFailed {
  cairo_status_t status;
};

/// `surface`, or DrawingFailed when cairo could not make it: a failed surface has no pixels.
cairo_surface_t* checked(cairo_surface_t* surface) {
  if (const cairo_status_t status = cairo_surface_status(surface); status != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(surface);
    throw DrawingFailed{status};
  }
  return surface;
}

/// Draws on `surface`; its status afterwards (a context that failed leaves the surface's).
cairo_status_t paint(cairo_surface_t* surface, const Draw& draw) {
  ContextPtr cr(cairo_create(surface));
  cairo_set_source_rgb(cr.get(), 1.0, 1.0, 1.0);
  cairo_paint(cr.get());
  draw(cr.get());
  const cairo_status_t status = cairo_status(cr.get());
  return status != CAIRO_STATUS_SUCCESS ? status : cairo_surface_status(surface);
}

/// Collects what cairo writes: its own file output drops the errors of the last, buffered
/// writes (a picture cut short on a full disk would pass for whole).
cairo_status_t appendBytes(void* closure, const unsigned char* data, unsigned int length) {
  static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
  return CAIRO_STATUS_SUCCESS;
}

/// Draws into memory, then writes the bytes whole beside `file` and renames them into place,
/// so that a picture that cannot be drawn or written leaves no file (an earlier one of that
/// name stays as it was).
template <class Write>
void writeBeside(const std::filesystem::path& file, Write write) {
  std::string bytes;
  cairo_status_t status = CAIRO_STATUS_SUCCESS;
  try {
    status = write(bytes);
  } catch (const DrawingFailed& failure) {
    status = failure.status;
  }
  if (status != CAIRO_STATUS_SUCCESS) cannotWrite(file, status);
  platform::writeFileWhole(file, bytes, "the picture");
}

void render(const PictureSize& size, const std::filesystem::path& svg, const std::filesystem::path& png,
            const Draw& draw) {
  if (!svg.empty()) {
    writeBeside(svg, [&](std::string& bytes) {
      SurfacePtr surface(
          checked(cairo_svg_surface_create_for_stream(appendBytes, &bytes, size.width, size.height)));
      const cairo_status_t status = paint(surface.get(), draw);
      cairo_surface_finish(surface.get());
      return status != CAIRO_STATUS_SUCCESS ? status : cairo_surface_status(surface.get());
    });
  }
  if (!png.empty()) {
    writeBeside(png, [&](std::string& bytes) {
      SurfacePtr surface(checked(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, static_cast<int>(size.width),
                                                            static_cast<int>(size.height))));
      const cairo_status_t status = paint(surface.get(), draw);
      cairo_surface_flush(surface.get());
      return status != CAIRO_STATUS_SUCCESS
                 ? status
                 : cairo_surface_write_to_png_stream(surface.get(), appendBytes, &bytes);
    });
  }
}

void setColour(cairo_t* cr, const Colour& colour) {
  cairo_set_source_rgb(cr, colour.red, colour.green, colour.blue);
}

enum class Align { Left, Centre, Right };

void text(cairo_t* cr, double x, double y, const std::string& words, double size, Align align = Align::Left,
          bool bold = false) {
  cairo_select_font_face(cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL,
                         bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
  cairo_set_font_size(cr, size);
  cairo_text_extents_t extents;
  cairo_text_extents(cr, words.c_str(), &extents);
  const double shift = align == Align::Left     ? 0.0
                       : align == Align::Centre ? extents.x_advance / 2.0
                                                : extents.x_advance;
  cairo_move_to(cr, x - shift, y);
  cairo_show_text(cr, words.c_str());
}

void heading(cairo_t* cr, const PictureSize& size, const std::string& title, const std::string& note,
             bool warning) {
  setColour(cr, kBlack);
  text(cr, size.width / 2.0, 28.0, title, kTitleSize, Align::Centre, true);
  if (note.empty()) return;
  setColour(cr, warning ? kWarning : kBlack);
  text(cr, size.width / 2.0, 50.0, note, kTextSize + 1.0, Align::Centre, warning);
}

/// A tick's text with as many decimals as the step between ticks needs.
std::string tickText(double value, double step) {
  constexpr double kLargestWhole = 1e10;  // beyond this, whole numbers get too long for a tick
  if (value == 0.0) return "0";
  const double magnitude = std::max(std::fabs(value), std::fabs(step));
  if (std::fabs(step) >= 1.0 && magnitude < kLargestWhole) return host::cformat("%.0f", value);
  if (magnitude >= kLargestWhole || std::fabs(step) < 1e-4) return host::cformat("%.3g", value);
  const int decimals = std::max(0, static_cast<int>(-std::floor(std::log10(std::fabs(step)) + 1e-9)));
  return host::cformat("%.*f", decimals, value);
}

/// Maps data values into the plot rectangle.
struct Frame {
  double left, top, width, height;
  Range x, y;
  double px(double v) const { return left + (v - x.min) / (x.max - x.min) * width; }
  double py(double v) const { return top + height - (v - y.min) / (y.max - y.min) * height; }
};

void drawAxes(cairo_t* cr, const Frame& f, const Axis& xAxis, const Axis& yAxis) {
  cairo_set_line_width(cr, 1.0);
  const double xStep = xAxis.ticks.size() > 1 ? xAxis.ticks[1] - xAxis.ticks[0] : 1.0;
  const double yStep = yAxis.ticks.size() > 1 ? yAxis.ticks[1] - yAxis.ticks[0] : 1.0;
  for (const double tick : xAxis.ticks) {
    setColour(cr, kGrid);
    cairo_move_to(cr, f.px(tick), f.top);
    cairo_line_to(cr, f.px(tick), f.top + f.height);
    cairo_stroke(cr);
    setColour(cr, kBlack);
    text(cr, f.px(tick), f.top + f.height + 18.0, tickText(tick, xStep), kTextSize, Align::Centre);
  }
  for (const double tick : yAxis.ticks) {
    setColour(cr, kGrid);
    cairo_move_to(cr, f.left, f.py(tick));
    cairo_line_to(cr, f.left + f.width, f.py(tick));
    cairo_stroke(cr);
    setColour(cr, kBlack);
    text(cr, f.left - 6.0, f.py(tick) + 4.0, tickText(tick, yStep), kTextSize, Align::Right);
  }
  setColour(cr, kBlack);
  cairo_rectangle(cr, f.left, f.top, f.width, f.height);
  cairo_stroke(cr);
  text(cr, f.left + f.width / 2.0, f.top + f.height + 40.0, xAxis.label, kTextSize + 1.0, Align::Centre);
  cairo_save(cr);
  cairo_move_to(cr, 0.0, 0.0);
  cairo_translate(cr, 16.0, f.top + f.height / 2.0);
  cairo_rotate(cr, -std::acos(0.0));
  text(cr, 0.0, 0.0, yAxis.label, kTextSize + 1.0, Align::Centre);
  cairo_restore(cr);
}

void drawSeries(cairo_t* cr, const Frame& f, const Series& series) {
  setColour(cr, series.colour);
  cairo_set_line_width(cr, 2.0);
  if (series.style != SeriesStyle::Markers) {
    bool drawing = false;
    for (const PlotPoint& p : series.points) {
      if (!std::isfinite(p.x) || !std::isfinite(p.y)) {
        drawing = false;
        continue;
      }
      if (drawing)
        cairo_line_to(cr, f.px(p.x), f.py(p.y));
      else
        cairo_move_to(cr, f.px(p.x), f.py(p.y));
      drawing = true;
    }
    cairo_stroke(cr);
  }
  if (series.style != SeriesStyle::Line) {
    for (const PlotPoint& p : series.points) {
      if (!std::isfinite(p.x) || !std::isfinite(p.y)) continue;
      cairo_new_sub_path(cr);
      cairo_arc(cr, f.px(p.x), f.py(p.y), kMarkerRadius + 0.5, 0.0, 4.0 * std::acos(0.0));
    }
    cairo_fill(cr);
  }
}

void dash(cairo_t* cr, bool dashed) {
  static constexpr double kDash[] = {6.0, 4.0};
  cairo_set_dash(cr, kDash, dashed ? 2 : 0, 0.0);
}

void drawMarks(cairo_t* cr, const Frame& f, const std::vector<Mark>& marks) {
  for (std::size_t i = 0; i < marks.size(); ++i) {
    const Mark& mark = marks[i];
    if (mark.x < f.x.min || mark.x > f.x.max) continue;
    setColour(cr, mark.colour);
    cairo_set_line_width(cr, 1.5);
    dash(cr, mark.dashed);
    cairo_move_to(cr, f.px(mark.x), f.top);
    cairo_line_to(cr, f.px(mark.x), f.top + f.height);
    cairo_stroke(cr);
    dash(cr, false);
    text(cr, f.px(mark.x) + 4.0, f.top + 16.0 + 16.0 * static_cast<double>(i), mark.label, kTextSize);
  }
}

void legendEntry(cairo_t* cr, double x, double y, const Colour& colour, const std::string& name,
                 bool dashed) {
  setColour(cr, colour);
  cairo_set_line_width(cr, 2.0);
  dash(cr, dashed);
  cairo_move_to(cr, x, y - 4.0);
  cairo_line_to(cr, x + 24.0, y - 4.0);
  cairo_stroke(cr);
  dash(cr, false);
  setColour(cr, kBlack);
  text(cr, x + 30.0, y, name, kTextSize);
}

void drawChart(cairo_t* cr, const Chart& chart, const PictureSize& size) {
  heading(cr, size, chart.title, chart.note, chart.noteIsWarning);
  const Frame frame{90.0,          kTop,         size.width - 90.0 - 30.0, size.height - kTop - 60.0,
                    chart.x.range, chart.y.range};
  drawAxes(cr, frame, chart.x, chart.y);
  cairo_save(cr);
  cairo_rectangle(cr, frame.left, frame.top, frame.width, frame.height);
  cairo_clip(cr);
  for (const Series& series : chart.series) drawSeries(cr, frame, series);
  drawMarks(cr, frame, chart.marks);
  cairo_restore(cr);
  double y = frame.top + frame.height - 12.0 - 18.0 * static_cast<double>(chart.series.size() - 1);
  for (const Series& series : chart.series) {
    if (series.name.empty()) continue;
    legendEntry(cr, frame.left + frame.width - 200.0, y, series.colour, series.name, false);
    y += 18.0;
  }
}

// ---- maps

struct MapFrame {
  double left, top, scale;
  Range x, y;
  double px(double v) const { return left + (v - x.min) * scale; }
  double py(double v) const { return top + (y.max - v) * scale; }
};

void drawRaster(cairo_t* cr, const MapFrame& f, const RasterLayer& raster) {
  if (raster.columns <= 0 || raster.rows <= 0 ||
      raster.values.size() !=
          static_cast<std::size_t>(raster.columns) * static_cast<std::size_t>(raster.rows))
    return;
  SurfacePtr image(checked(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, raster.columns, raster.rows)));
  cairo_surface_flush(image.get());
  unsigned char* data = cairo_image_surface_get_data(image.get());
  const int stride = cairo_image_surface_get_stride(image.get());
  const double span = raster.scale.max > raster.scale.min ? raster.scale.max - raster.scale.min : 1.0;
  for (int row = 0; row < raster.rows; ++row) {
    auto* pixels = reinterpret_cast<std::uint32_t*>(data + static_cast<std::ptrdiff_t>(row) * stride);
    for (int column = 0; column < raster.columns; ++column) {
      const double value =
          raster.values[static_cast<std::size_t>(row) * static_cast<std::size_t>(raster.columns) +
                        static_cast<std::size_t>(column)];
      if (!std::isfinite(value)) {
        pixels[column] = 0;  // transparent
        continue;
      }
      const Colour c = rampColour((value - raster.scale.min) / span);
      const auto channel = [](double v) { return static_cast<std::uint32_t>(std::lround(v * 255.0)); };
      pixels[column] = 0xFF000000u | channel(c.red) << 16 | channel(c.green) << 8 | channel(c.blue);
    }
  }
  cairo_surface_mark_dirty(image.get());
  cairo_save(cr);
  cairo_translate(cr, f.px(raster.x.min), f.py(raster.y.max));
  cairo_scale(cr, (raster.x.max - raster.x.min) * f.scale / raster.columns,
              (raster.y.max - raster.y.min) * f.scale / raster.rows);
  cairo_set_source_surface(cr, image.get(), 0.0, 0.0);
  cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_NEAREST);
  cairo_paint(cr);
  cairo_restore(cr);
}

void drawRampLegend(cairo_t* cr, double left, double top, double height, const RasterLayer& raster) {
  constexpr double kBarWidth = 18.0;
  constexpr int kSteps = 64;
  setColour(cr, kBlack);
  text(cr, left, top - 10.0, raster.legendTitle, kTextSize);
  for (int i = 0; i < kSteps; ++i) {
    const double t = (i + 0.5) / kSteps;
    setColour(cr, rampColour(t));
    cairo_rectangle(cr, left, top + height * (1.0 - static_cast<double>(i + 1) / kSteps), kBarWidth,
                    height / kSteps + 0.5);
    cairo_fill(cr);
  }
  setColour(cr, kBlack);
  cairo_set_line_width(cr, 1.0);
  cairo_rectangle(cr, left, top, kBarWidth, height);
  cairo_stroke(cr);
  text(cr, left + kBarWidth + 4.0, top + 10.0, host::cformat("%.3g", raster.scale.max), kTextSize);
  text(cr, left + kBarWidth + 4.0, top + height, host::cformat("%.3g", raster.scale.min), kTextSize);
}

void drawMap(cairo_t* cr, const MapPicture& map, const PictureSize& size) {
  heading(cr, size, map.title, map.note, false);
  constexpr double kMargin = 20.0;
  constexpr double kLegendWidth = 170.0;
  const double areaWidth = size.width - 2.0 * kMargin - kLegendWidth;
  const double areaHeight = size.height - kTop - kMargin;
  const double dx = map.x.max > map.x.min ? map.x.max - map.x.min : 1.0;
  const double dy = map.y.max > map.y.min ? map.y.max - map.y.min : 1.0;
  const double scale = std::min(areaWidth / dx, areaHeight / dy);
  const MapFrame frame{kMargin + (areaWidth - dx * scale) / 2.0, kTop + (areaHeight - dy * scale) / 2.0,
                       scale, map.x, map.y};
  cairo_save(cr);
  cairo_rectangle(cr, frame.left, frame.top, dx * scale, dy * scale);
  cairo_clip(cr);
  if (map.raster) drawRaster(cr, frame, *map.raster);
  for (const PathLayer& layer : map.paths) {
    setColour(cr, layer.colour);
    cairo_set_line_width(cr, layer.width);
    for (const auto& part : layer.parts) {
      for (std::size_t i = 0; i < part.size(); ++i)
        (i == 0 ? cairo_move_to : cairo_line_to)(cr, frame.px(part[i].x), frame.py(part[i].y));
      cairo_stroke(cr);
    }
  }
  setColour(cr, map.pointColour);
  for (const PlotPoint& p : map.points) {
    cairo_new_sub_path(cr);
    cairo_arc(cr, frame.px(p.x), frame.py(p.y), kMarkerRadius, 0.0, 4.0 * std::acos(0.0));
  }
  cairo_fill(cr);
  cairo_restore(cr);
  setColour(cr, kBlack);
  cairo_set_line_width(cr, 1.0);
  cairo_rectangle(cr, frame.left, frame.top, dx * scale, dy * scale);
  cairo_stroke(cr);

  const double legendLeft = size.width - kMargin - kLegendWidth + 16.0;
  double y = kTop + 20.0;
  if (map.raster) {
    drawRampLegend(cr, legendLeft, y + 10.0, 160.0, *map.raster);
    y += 200.0;
  }
  for (const PathLayer& layer : map.paths) {
    legendEntry(cr, legendLeft, y, layer.colour, layer.name, false);
    y += 18.0;
  }
  if (!map.points.empty()) {
    setColour(cr, map.pointColour);
    cairo_arc(cr, legendLeft + 12.0, y - 4.0, kMarkerRadius + 0.5, 0.0, 4.0 * std::acos(0.0));
    cairo_fill(cr);
    setColour(cr, kBlack);
    text(cr, legendLeft + 30.0, y, map.pointsName, kTextSize);
  }
}

}  // namespace

void writeChart(const Chart& chart, const std::filesystem::path& svg, const std::filesystem::path& png,
                PictureSize size) {
  render(size, svg, png, [&](cairo_t* cr) { drawChart(cr, chart, size); });
}

void writeMap(const MapPicture& map, const std::filesystem::path& svg, const std::filesystem::path& png,
              PictureSize size) {
  render(size, svg, png, [&](cairo_t* cr) { drawMap(cr, map, size); });
}

}  // namespace orvex::platform::pictures
