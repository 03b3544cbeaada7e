#pragma once

// Draws the plot models with cairo into SVG and PNG files.

#include <filesystem>

#include "platform/pictures/plot_model.h"

namespace orvex::platform::pictures {

/// Picture size in pixels (SVG user units).
struct PictureSize {
  double width = 800.0;
  double height = 560.0;
};

/// Writes the chart as an SVG file and a PNG file; an empty path skips that format. Series
/// points outside the axes' ranges are clipped; NaN points break a line. Each file is drawn
/// beside its name and renamed into place. Throws host::Error (kDataError) naming the file when
/// cairo cannot draw it (a picture or raster beyond its 32,767-pixel image limit, memory run
/// out) or write it; that file is then not written and an earlier one of its name stays.
void writeChart(const Chart& chart, const std::filesystem::path& svg, const std::filesystem::path& png,
                PictureSize size = {});

/// Writes the map likewise: the raster's cells coloured by `rampColour` over its scale (no-data
/// cells left blank), a legend bar beside the map, then the paths, then the points, north up at
/// one scale in x and y.
void writeMap(const MapPicture& map, const std::filesystem::path& svg, const std::filesystem::path& png,
              PictureSize size = {});

}  // namespace orvex::platform::pictures
