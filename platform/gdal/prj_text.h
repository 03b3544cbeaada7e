#pragma once

// The text of a shapefile's .prj, checked before its layer is read: GDAL takes a .prj it
// cannot read as "no coordinate system" without a word, so a damaged one went unnoticed.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace orvex::platform::gdal {

/// The largest .prj read: the longest coordinate systems in WKT take a few KiB.
inline constexpr std::size_t kMaxPrjBytes = 64 * 1024;

/// What is wrong with `text`, the bytes of a .prj (the first kMaxPrjBytes + 1 of them, so that
/// a larger file is told as such), as a phrase that follows the file's name ("is empty",
/// "holds binary bytes ...", "is larger than ...", "is not a coordinate system GDAL reads:
/// ..."); nothing when GDAL reads it as a coordinate system, as the shapefile reader does
/// (the ESRI and OGC WKT dialects and the older ESRI keyword form). Never throws for any bytes.
std::optional<std::string> prjTextProblem(std::string_view text);

}  // namespace orvex::platform::gdal
