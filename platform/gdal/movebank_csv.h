#pragma once

// Reading telemetry downloaded from Movebank as CSV: one row per event, the standard columns
// "event-id", "timestamp", "location-long", "location-lat", "individual-local-identifier",
// "tag-local-identifier", "sensor-type", and when present "visible",
// "manually-marked-outlier" and "algorithm-marked-outlier". Other columns are ignored.

#include <cstddef>
#include <cstdint>
#include <istream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orvex::platform::gdal {

/// One kept row: a located fix of the chosen sensor.
struct MovebankFix {
  std::string animal{};      ///< "individual-local-identifier", else "tag-local-identifier"
  double longitude = 0.0;    ///< degrees, WGS 84
  double latitude = 0.0;     ///< degrees, WGS 84
  std::int64_t seconds = 0;  ///< whole seconds since 1970-01-01T00:00:00Z, rounded down
  double fraction = 0.0;     ///< the fraction of a second dropped from `seconds`, 0 <= f < 1
  std::size_t order = 0;     ///< position among the rows read, across files
};

/// What was read and why rows were left out.
struct MovebankCounts {
  std::size_t rows = 0;                ///< data rows read
  std::size_t otherSensor = 0;         ///< of a sensor type other than the chosen one
  std::size_t outliers = 0;            ///< marked outliers or not visible (and not kept)
  std::size_t withoutCoordinates = 0;  ///< of the chosen sensor, longitude or latitude empty
  bool operator==(const MovebankCounts&) const = default;
};

struct MovebankReadOptions {
  /// The "sensor-type" kept, letter case ignored. A file without that column is taken as
  /// all of the chosen sensor.
  std::string sensor = "gps";
  /// Keep rows marked as outliers or not visible.
  bool keepOutliers = false;
};

/// Reads one CSV file (RFC 4180 quoting, lines ending in LF, CR LF or a lone CR, a UTF-8
/// byte-order mark skipped; identifiers kept as their bytes, in any script) and
/// appends its kept fixes and counts to `fixes` and `counts`. `source` names the file in
/// messages. Rows are counted in `counts.rows` before any is left out, so a second file
/// continues the `order` of the first.
///
/// A row is left out, in this order of tests, when its sensor type differs, when it is marked
/// as an outlier ("manually-marked-outlier" or "algorithm-marked-outlier" true) or "visible"
/// is false (unless kept), and when its longitude or latitude is empty. Repeated timestamps
/// are kept. A row with no animal identifier takes the tag's.
///
/// Throws host::Error (kDataError) naming `source` and the line: a missing required column
/// ("timestamp", "location-long", "location-lat", and one of the two identifiers), a
/// timestamp that is not "YYYY-MM-DD HH:MM:SS[.fff]" (a 'T' instead of the space and a final
/// 'Z' accepted), a coordinate that is not a number or is out of range, a row with fewer
/// cells than the header, a NUL byte.
void readMovebankCsv(std::istream& in, std::string_view source, const MovebankReadOptions& options,
                     std::vector<MovebankFix>& fixes, MovebankCounts& counts);

/// A Movebank timestamp as whole seconds since 1970 (rounded down) and the fraction dropped;
/// nothing when the text is not one (or names no calendar day or time).
std::optional<std::pair<std::int64_t, double>> parseMovebankTimestamp(std::string_view text);

}  // namespace orvex::platform::gdal
