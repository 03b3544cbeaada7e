#include "apps/orvex/track_svg.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <limits>
#include <numbers>
#include <optional>
#include <string_view>

#include "host/error.h"
#include "host/text.h"
#include "platform/common/output_path.h"

namespace orvex::cli {
namespace {

constexpr const char* kBackground = "#26302a";
constexpr const char* kCaptionColour = "#f2f2f2";
/// An arrow marker's triangle: its length is the marker size, its width this share of it.
constexpr double kArrowWidthShare = 0.75;

std::string number(double value) { return host::cformat("%.2f", value); }

std::string seconds(double value) { return host::cformat("%.3fs", value); }

std::string colour(const host::Color& c) {
  return "rgb(" + std::to_string(c.red) + "," + std::to_string(c.green) + "," + std::to_string(c.blue) + ")";
}

std::string escaped(std::string_view text) {
  std::string out;
  for (const char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&apos;";
        break;
      default:
        // Control characters other than tab and line breaks are not allowed in XML 1.0.
        if (static_cast<unsigned char>(c) >= 0x20 || c == '\t' || c == '\n' || c == '\r') out += c;
    }
  }
  return out;
}

/// Map to picture: uniform scale, y flipped so that north is up, the drawing centred in the
/// map band. A track without width or height (one point, a straight north-south or east-west
/// walk) is scaled by the side it has; one without either is drawn at scale 1.
class Placement {
 public:
  Placement(const host::Envelope& extent, const TrackSvgLayout& layout) : layout_(layout) {
    const double mapWidth = layout.width - 2.0 * layout.margin;
    const bool hasExtent = !extent.isEmpty();
    double scale = std::numeric_limits<double>::infinity();
    if (hasExtent && extent.width() > 0.0) scale = std::min(scale, mapWidth / extent.width());
    if (hasExtent && extent.height() > 0.0) scale = std::min(scale, layout.maxMapHeight / extent.height());
    scale_ = std::isfinite(scale) ? scale : 1.0;
    const double drawnWidth = hasExtent ? extent.width() * scale_ : 0.0;
    const double drawnHeight = hasExtent ? extent.height() * scale_ : 0.0;
    mapHeight_ = drawnHeight > 0.0 ? drawnHeight : layout.maxMapHeight / 4.0;
    xmin_ = hasExtent ? extent.xmin : 0.0;
    ymax_ = hasExtent ? extent.ymax : 0.0;
    left_ = layout.margin + (mapWidth - drawnWidth) / 2.0;
    top_ = layout.margin + (mapHeight_ - drawnHeight) / 2.0;
  }

  double x(double mapX) const { return left_ + (mapX - xmin_) * scale_; }
  double y(double mapY) const { return top_ + (ymax_ - mapY) * scale_; }
  /// Where the caption lines begin.
  double mapBottom() const { return layout_.margin + mapHeight_ + layout_.margin; }

 private:
  TrackSvgLayout layout_;
  double scale_ = 1.0;
  double mapHeight_ = 0.0;
  double xmin_ = 0.0, ymax_ = 0.0, left_ = 0.0, top_ = 0.0;
};

/// The point at `share` of the path's length and the direction of the piece it lies on, in
/// degrees in picture coordinates.
struct MarkerPlace {
  double x = 0.0, y = 0.0, degrees = 0.0;
};

std::optional<MarkerPlace> markerPlace(const std::vector<std::pair<double, double>>& points, double share) {
  double total = 0.0;
  for (std::size_t i = 1; i < points.size(); ++i)
    total += std::hypot(points[i].first - points[i - 1].first, points[i].second - points[i - 1].second);
  if (total <= 0.0) return std::nullopt;
  double wanted = std::clamp(share, 0.0, 1.0) * total;
  for (std::size_t i = 1; i < points.size(); ++i) {
    const double dx = points[i].first - points[i - 1].first;
    const double dy = points[i].second - points[i - 1].second;
    const double piece = std::hypot(dx, dy);
    if (piece <= 0.0) continue;
    if (wanted <= piece || i + 1 == points.size()) {
      const double t = std::min(wanted / piece, 1.0);
      return MarkerPlace{points[i - 1].first + t * dx, points[i - 1].second + t * dy,
                         std::atan2(dy, dx) * 180.0 / std::numbers::pi};
    }
    wanted -= piece;
  }
  return std::nullopt;
}

/// <set> elements showing an element during each run of moments in `shownIn` (sorted).
std::string visibilitySets(const std::vector<std::size_t>& shownIn, std::size_t frameCount, double step) {
  std::string sets;
  for (std::size_t i = 0; i < shownIn.size();) {
    std::size_t last = i;
    while (last + 1 < shownIn.size() && shownIn[last + 1] == shownIn[last] + 1) ++last;
    sets += "<set attributeName=\"visibility\" to=\"visible\" begin=\"" +
            seconds(static_cast<double>(shownIn[i]) * step) + "\" fill=\"freeze\"/>";
    if (shownIn[last] + 1 < frameCount)
      sets += "<set attributeName=\"visibility\" to=\"hidden\" begin=\"" +
              seconds(static_cast<double>(shownIn[last] + 1) * step) + "\" fill=\"freeze\"/>";
    i = last + 1;
  }
  return sets;
}

std::string segmentGroup(const host::GraphicElement& element, const Placement& place,
                         const std::string& sets) {
  const host::Polyline& line = *element.geometry.polyline();
  std::string group = "<g visibility=\"hidden\">" + sets;
  for (const host::Path& path : line.paths) {
    std::vector<std::pair<double, double>> points;
    for (const host::Point& p : path)
      if (!p.isEmpty()) points.emplace_back(place.x(p.x), place.y(p.y));
    if (points.size() < 2) continue;
    group += "<polyline points=\"";
    for (std::size_t i = 0; i < points.size(); ++i)
      group += (i == 0 ? "" : " ") + number(points[i].first) + "," + number(points[i].second);
    group += "\" fill=\"none\" stroke=\"" + colour(element.symbol.color) + "\" stroke-width=\"" +
             number(element.symbol.width) + "\" stroke-linecap=\"round\"/>";
    if (!element.symbol.arrow) continue;
    const host::ArrowMarker& arrow = *element.symbol.arrow;
    if (const auto at = markerPlace(points, arrow.position)) {
      const double half = arrow.size / 2.0;
      const double wing = arrow.size * kArrowWidthShare / 2.0;
      group += "<path d=\"M " + number(-half) + " " + number(-wing) + " L " + number(half) + " 0 L " +
               number(-half) + " " + number(wing) + " Z\" transform=\"translate(" + number(at->x) + " " +
               number(at->y) + ") rotate(" + number(at->degrees) + ")\" fill=\"" + colour(arrow.color) +
               "\"/>";
    }
  }
  return group + "</g>";
}

}  // namespace

std::string trackSvg(const TrackAnimation& animation, const TrackSvgLayout& layout) {
  host::Envelope extent;
  for (const auto& [id, element] : animation.drawn)
    if (const host::Polyline* line = element.geometry.polyline()) extent.expand(line->envelope());
  const Placement place(extent, layout);

  std::size_t captionLines = 0;
  for (const TrackFrame& frame : animation.frames)
    captionLines = std::max(captionLines, frame.captions.size());
  // Half a margin below the captions keeps the descenders of the last line inside.
  const double height =
      place.mapBottom() + static_cast<double>(captionLines) * layout.captionLine + layout.margin / 2.0;
  const double step = animation.stepSeconds > 0.0 ? animation.stepSeconds : 0.25;

  std::string svg = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  svg += "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + number(layout.width) + "\" height=\"" +
         number(height) + "\" viewBox=\"0 0 " + number(layout.width) + " " + number(height) + "\">\n";
  svg += "<title>" + escaped(animation.title) + "</title>\n";
  svg += "<rect x=\"0\" y=\"0\" width=\"" + number(layout.width) + "\" height=\"" + number(height) +
         "\" fill=\"" + kBackground + "\"/>\n";

  svg += "<g id=\"segments\">\n";
  for (const auto& [id, element] : animation.drawn) {
    if (element.geometry.polyline() == nullptr) continue;
    std::vector<std::size_t> shownIn;
    for (std::size_t f = 0; f < animation.frames.size(); ++f) {
      const auto& shown = animation.frames[f].shown;
      if (std::find(shown.begin(), shown.end(), id) != shown.end()) shownIn.push_back(f);
    }
    if (shownIn.empty()) continue;
    svg += segmentGroup(element, place, visibilitySets(shownIn, animation.frames.size(), step)) + "\n";
  }
  svg += "</g>\n";

  svg += "<g id=\"captions\" font-family=\"sans-serif\" font-size=\"" + number(layout.captionFontSize) +
         "\" fill=\"" + kCaptionColour + "\">\n";
  for (std::size_t f = 0; f < animation.frames.size(); ++f) {
    const TrackFrame& frame = animation.frames[f];
    svg += "<g visibility=\"hidden\">" + visibilitySets({f}, animation.frames.size(), step);
    for (std::size_t line = 0; line < frame.captions.size(); ++line) {
      const double baseline = place.mapBottom() + (static_cast<double>(line) + 0.75) * layout.captionLine;
      svg += "<text x=\"" + number(layout.margin) + "\" y=\"" + number(baseline) + "\">" +
             escaped(frame.captions[line]) + "</text>";
    }
    svg += "</g>\n";
  }
  svg += "</g>\n</svg>\n";
  return svg;
}

void writeTrackSvg(const std::filesystem::path& path, const TrackAnimation& animation,
                   const TrackSvgLayout& layout) {
  platform::writeFileWhole(path, trackSvg(animation, layout), "the track picture");
}

}  // namespace orvex::cli
