#pragma once

// An animated SVG of a track display: the line graphics the display drew, each appearing and
// disappearing at the moments it was shown, with the fix labels of each moment as captions.
// Plain SVG with SMIL <set> elements and begin times, no script, so any browser plays it.

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "host/graphics.h"

namespace orvex::cli {

/// One recorded moment of the display: the graphics on screen and the labels shown.
struct TrackFrame {
  std::vector<host::ElementId> shown{};
  std::vector<std::string> captions{};
  bool operator==(const TrackFrame&) const = default;
};

/// What the animation is made of.
struct TrackAnimation {
  /// Every graphic drawn, in drawing order, with the id it had in the graphics container.
  std::vector<std::pair<host::ElementId, host::GraphicElement>> drawn{};
  /// The moments in order; moment i begins at i x `stepSeconds`.
  std::vector<TrackFrame> frames{};
  double stepSeconds = 0.25;
  std::string title = "Display Travel";
};

/// Drawing sizes of the picture, in pixels.
struct TrackSvgLayout {
  double width = 800.0;         ///< of the whole picture
  double maxMapHeight = 800.0;  ///< the map part is scaled down to stay within this
  double margin = 24.0;         ///< around the map part
  double captionLine = 20.0;    ///< height of one caption line, below the map
  double captionFontSize = 14.0;
};

/// The SVG text.
///
/// - Map coordinates are scaled uniformly into the picture, north up; the extent is that of
///   every drawn polyline (a track that is one point, or none, still gets a picture).
/// - Each polyline graphic that was on screen in at least one moment becomes one group, hidden
///   at first, shown by a <set> at the start of each run of moments in which it was on screen
///   and hidden again when a run ends: one animated element per drawn segment. Its line takes
///   the symbol's colour and width; the arrow marker is a triangle of the marker's size and
///   colour at its position along the line, turned to the direction of travel. Graphics that
///   were added and removed between two moments never reached the screen and are left out.
/// - The captions of each moment form one group shown during that moment; the last moment's
///   stay.
/// Texts are XML-escaped; numbers are written in the C locale.
std::string trackSvg(const TrackAnimation& animation, const TrackSvgLayout& layout = {});

/// Writes `trackSvg` to `path` whole (platform::writeFileWhole), replacing a file
/// there. Throws host::Error (kDataError) naming the file when it cannot be written.
void writeTrackSvg(const std::filesystem::path& path, const TrackAnimation& animation,
                   const TrackSvgLayout& layout = {});

}  // namespace orvex::cli
