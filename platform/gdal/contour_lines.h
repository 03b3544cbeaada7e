#pragma once

// Contour lines of a raster band at a list of levels, traced by GDAL's marching-squares
// contourer into an in-memory layer.

#include <array>
#include <optional>
#include <span>

#include "platform/gdal/gdal_handles.h"

namespace orvex::platform::gdal {

/// Name of the field that holds each line's level.
inline constexpr const char* kContourField = "CONTOUR";
/// Name of the field that numbers the lines from 0.
inline constexpr const char* kContourIdField = "ID";
/// Name of the one layer of the returned dataset.
inline constexpr const char* kContourLayer = "contour";

/// Traces the contours of `band` at each of `levels` into a new in-memory dataset holding one
/// line-string layer (kContourLayer) with the fields kContourIdField (integer) and
/// kContourField (double), in the band's georeferenced coordinates and spatial reference.
///
/// The levels may come in any order and may repeat: GDAL's fixed-level walk needs them
/// ascending and distinct, so they are sorted and de-duplicated here. Non-finite levels are
/// refused. A level outside the band's range yields no line; no levels yield an empty layer.
/// Lines that stay inside the raster come back closed; lines that meet the raster's edge stay
/// open. Every cell takes part: a band's no-data value is ignored, as the host's rasters have
/// none.
///
/// `valueRange`, when given, is the band's exact minimum and maximum, known to the caller from
/// its statistics; otherwise they are read from the band. `cells`, when not empty, are the
/// band's values row after row, held by the caller: they are traced instead of reading the band
/// (the same values give the same lines). Either way only the window of cells that reach the
/// lowest level is traced, which gives the whole band's lines. The cells are scanned for that
/// window on up to `threads` threads (0: one per processor); the lines do not depend on it.
DatasetPtr contourBand(GDALRasterBand& band, std::span<const double> levels,
                       const std::optional<std::array<double, 2>>& valueRange = std::nullopt,
                       std::span<const float> cells = {}, unsigned threads = 0);

}  // namespace orvex::platform::gdal
