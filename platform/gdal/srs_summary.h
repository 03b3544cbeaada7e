#pragma once

// What a run needs to know of a shapefile's coordinate system, kept across runs.
//
// Reading a .prj costs a fresh process tens of millions of instructions: PROJ opens its
// database, parses its schema and looks the file's names up among their aliases. A command
// that only carries the coordinate system from its input to its outputs needs none of that
// once the answers are known. They are kept per .prj text in the user's cache folder
// ($XDG_CACHE_HOME/orvex, else ~/.cache/orvex), keyed also by the GDAL and PROJ releases and
// the settings that change how a .prj reads, so that an upgrade or another PROJ database
// never reuses an old answer. A cache that cannot be read or written only costs the parse.

#include <optional>
#include <string>
#include <string_view>

class OGRSpatialReference;

namespace orvex::platform::gdal {

/// The answers of a parsed coordinate system, and the texts that stand for it.
struct SrsSummary {
  std::string name;
  std::optional<int> epsg;
  bool geographic = false;
  bool projected = false;
  double xyTolerance = 0;
  /// OGC WKT1, as `srsWkt` gives it.
  std::string wkt;
  /// The .prj a shapefile writer writes for it (ESRI WKT1, no line end).
  std::string shapefilePrj;
  /// Lossless WKT2, from which the reference is rebuilt when a run needs PROJ after all.
  std::string fullWkt;

  bool operator==(const SrsSummary&) const = default;
};

/// The summary of a parsed reference whose EPSG identification is already known (it costs a
/// look-up in PROJ's database). Throws when OGR cannot write the reference out.
SrsSummary summarise(const OGRSpatialReference& srs, std::optional<int> epsg);

/// The summary stored for the text of a .prj file, if any.
std::optional<SrsSummary> cachedSummary(std::string_view prjText);

/// Stores the summary of a .prj text; failures are ignored (the next run parses again).
void storeSummary(std::string_view prjText, const SrsSummary& summary);

}  // namespace orvex::platform::gdal
