#include "platform/gdal/movebank_csv.h"

#include <array>
#include <cmath>
#include <istream>
#include <map>
#include <streambuf>

#include "host/error.h"
#include "host/status.h"
#include "host/text.h"
#include "host/value.h"

namespace orvex::platform::gdal {
namespace {

constexpr std::string_view kTimestamp = "timestamp";
constexpr std::string_view kLongitude = "location-long";
constexpr std::string_view kLatitude = "location-lat";
constexpr std::string_view kIndividual = "individual-local-identifier";
constexpr std::string_view kTag = "tag-local-identifier";
constexpr std::string_view kSensor = "sensor-type";
constexpr std::string_view kVisible = "visible";
constexpr std::array<std::string_view, 2> kOutlierColumns{"manually-marked-outlier",
                                                          "algorithm-marked-outlier"};

[[noreturn]] void failAt(std::string_view source, std::size_t line, const std::string& what) {
  throw host::Error(host::kDataError, std::string(source) + ":" + std::to_string(line) + ": " + what);
}

/// Reads one physical line, which ends in LF, CR LF or a lone CR (as programs of old Macs
/// save text). False at the end of the input.
bool readLine(std::istream& in, std::string& line) {
  using Traits = std::char_traits<char>;
  line.clear();
  std::streambuf& buffer = *in.rdbuf();
  int c = buffer.sbumpc();
  if (Traits::eq_int_type(c, Traits::eof())) {
    in.setstate(std::ios::eofbit | std::ios::failbit);
    return false;
  }
  for (; !Traits::eq_int_type(c, Traits::eof()); c = buffer.sbumpc()) {
    if (c == '\n') break;
    if (c == '\r') {
      if (buffer.sgetc() == '\n') buffer.sbumpc();
      break;
    }
    line += Traits::to_char_type(c);
  }
  return true;
}

/// Reads one CSV record; a quoted cell may hold commas, doubled quotes and line breaks.
/// `lines` advances by the physical lines consumed. False at the end of the input. A NUL
/// byte is refused naming the line: it would cut an identifier short where it is written.
bool readRecord(std::istream& in, std::string_view source, std::vector<std::string>& cells,
                std::size_t& lines) {
  cells.clear();
  std::string line;
  // Inside a quoted cell a line break becomes one LF, whichever it was.
  const auto nextLine = [&] {
    if (!readLine(in, line)) return false;
    ++lines;
    if (line.find('\0') != std::string::npos)
      failAt(source, lines, "a NUL byte in the text (the file is damaged or not a CSV file)");
    return true;
  };
  if (!nextLine()) return false;
  std::string cell;
  bool quoted = false;
  for (std::size_t i = 0;; ++i) {
    if (i == line.size()) {
      if (quoted) {  // the quoted cell goes on in the next line
        if (!nextLine()) break;
        cell += '\n';
        i = static_cast<std::size_t>(-1);
        continue;
      }
      break;
    }
    const char c = line[i];
    if (quoted) {
      if (c != '"') {
        cell += c;
      } else if (i + 1 < line.size() && line[i + 1] == '"') {
        cell += '"';
        ++i;
      } else {
        quoted = false;
      }
    } else if (c == '"') {
      quoted = true;
    } else if (c == ',') {
      cells.push_back(std::move(cell));
      cell.clear();
    } else {
      cell += c;
    }
  }
  cells.push_back(std::move(cell));
  return true;
}

bool isTrue(std::string_view text) {
  const std::string word = host::toLowerAscii(host::trim(text));
  return word == "true" || word == "t" || word == "1" || word == "yes";
}

bool isFalse(std::string_view text) {
  const std::string word = host::toLowerAscii(host::trim(text));
  return word == "false" || word == "f" || word == "0" || word == "no";
}

/// Reads exactly `width` digits at `pos`.
std::optional<int> digits(std::string_view text, std::size_t pos, std::size_t width) {
  if (pos + width > text.size()) return std::nullopt;
  int value = 0;
  for (std::size_t i = pos; i < pos + width; ++i) {
    if (text[i] < '0' || text[i] > '9') return std::nullopt;
    value = value * 10 + (text[i] - '0');
  }
  return value;
}

/// The columns of a file, found by name in its header.
struct Columns {
  int timestamp = -1, longitude = -1, latitude = -1, individual = -1, tag = -1, sensor = -1, visible = -1;
  std::array<int, 2> outliers{-1, -1};
};

Columns findColumns(const std::vector<std::string>& header, std::string_view source) {
  std::map<std::string, int> byName;
  for (std::size_t i = 0; i < header.size(); ++i)
    byName.emplace(host::toLowerAscii(host::trim(header[i])), static_cast<int>(i));
  const auto find = [&](std::string_view name) {
    const auto found = byName.find(std::string(name));
    return found == byName.end() ? -1 : found->second;
  };
  Columns columns;
  columns.timestamp = find(kTimestamp);
  columns.longitude = find(kLongitude);
  columns.latitude = find(kLatitude);
  columns.individual = find(kIndividual);
  columns.tag = find(kTag);
  columns.sensor = find(kSensor);
  columns.visible = find(kVisible);
  for (std::size_t i = 0; i < kOutlierColumns.size(); ++i) columns.outliers[i] = find(kOutlierColumns[i]);
  for (const auto& [index, name] :
       {std::pair{columns.timestamp, kTimestamp}, std::pair{columns.longitude, kLongitude},
        std::pair{columns.latitude, kLatitude}})
    if (index < 0)
      failAt(source, 1, "no column \"" + std::string(name) + "\" (is this a Movebank CSV file?)");
  if (columns.individual < 0 && columns.tag < 0)
    failAt(source, 1, "no column \"" + std::string(kIndividual) + "\" nor \"" + std::string(kTag) + "\"");
  return columns;
}

/// A coordinate cell: nothing when empty, else a number within `limit` degrees.
std::optional<double> coordinate(const std::string& cell, std::string_view column, double limit,
                                 std::string_view source, std::size_t line) {
  const std::string_view text = host::trim(cell);
  if (text.empty() || host::iequals(text, "NA") || host::iequals(text, "NaN")) return std::nullopt;
  const std::optional<double> value = host::parseNumber(text);
  if (!value || !std::isfinite(*value))
    failAt(source, line,
           "\"" + std::string(text) + "\" in column \"" + std::string(column) + "\" is not a number");
  if (std::fabs(*value) > limit)
    failAt(source, line,
           "\"" + std::string(text) + "\" in column \"" + std::string(column) + "\" is outside -" +
               host::numberText(limit) + ".." + host::numberText(limit) + " degrees");
  return value;
}

const std::string& cellAt(const std::vector<std::string>& cells, int index) {
  static const std::string kNone;
  return index < 0 ? kNone : cells[static_cast<std::size_t>(index)];
}

}  // namespace

std::optional<std::pair<std::int64_t, double>> parseMovebankTimestamp(std::string_view text) {
  text = host::trim(text);
  if (!text.empty() && (text.back() == 'Z' || text.back() == 'z')) text.remove_suffix(1);
  // YYYY-MM-DD HH:MM:SS, positions fixed; then an optional fraction.
  constexpr std::size_t kWholeLength = 19;
  if (text.size() < kWholeLength || text[4] != '-' || text[7] != '-' ||
      (text[10] != ' ' && text[10] != 'T') || text[13] != ':' || text[16] != ':')
    return std::nullopt;
  const std::optional<host::Date> date = host::Date::parseIso8601(text.substr(0, 10));
  const auto hour = digits(text, 11, 2), minute = digits(text, 14, 2), second = digits(text, 17, 2);
  if (!date || !hour || !minute || !second || *hour > 23 || *minute > 59 || *second > 59) return std::nullopt;
  double fraction = 0.0;
  if (text.size() > kWholeLength) {
    if (text[kWholeLength] != '.' || text.size() == kWholeLength + 1) return std::nullopt;
    double scale = 0.1;
    for (std::size_t i = kWholeLength + 1; i < text.size(); ++i, scale /= 10.0) {
      if (text[i] < '0' || text[i] > '9') return std::nullopt;
      fraction += (text[i] - '0') * scale;
    }
    if (fraction >= 1.0) fraction = std::nextafter(1.0, 0.0);  // "0.9999999999999999999"
  }
  // A whole day's seconds, exact in a double for any four-digit year.
  const std::int64_t seconds =
      static_cast<std::int64_t>(date->unixSeconds()) + *hour * 3600 + *minute * 60 + *second;
  return std::pair{seconds, fraction};
}

void readMovebankCsv(std::istream& in, std::string_view source, const MovebankReadOptions& options,
                     std::vector<MovebankFix>& fixes, MovebankCounts& counts) {
  std::vector<std::string> cells;
  std::size_t lines = 0;
  if (!readRecord(in, source, cells, lines)) failAt(source, 1, "the file is empty");
  if (!cells.empty() && cells.front().starts_with("\xEF\xBB\xBF")) cells.front().erase(0, 3);
  const Columns columns = findColumns(cells, source);
  const std::size_t width = cells.size();
  const std::string sensor = host::toLowerAscii(host::trim(options.sensor));

  while (true) {
    const std::size_t line = lines + 1;
    if (!readRecord(in, source, cells, lines)) break;
    if (cells.size() == 1 && host::trim(cells.front()).empty()) continue;  // a blank line
    if (cells.size() < width)
      failAt(source, line,
             std::to_string(cells.size()) + " cells where the header names " + std::to_string(width) +
                 " columns");
    const std::size_t order = counts.rows++;
    if (columns.sensor >= 0 && host::toLowerAscii(host::trim(cellAt(cells, columns.sensor))) != sensor) {
      ++counts.otherSensor;
      continue;
    }
    bool outlier = columns.visible >= 0 && isFalse(cellAt(cells, columns.visible));
    for (const int column : columns.outliers)
      outlier = outlier || (column >= 0 && isTrue(cellAt(cells, column)));
    if (outlier && !options.keepOutliers) {
      ++counts.outliers;
      continue;
    }
    const auto longitude = coordinate(cellAt(cells, columns.longitude), kLongitude, 180.0, source, line);
    const auto latitude = coordinate(cellAt(cells, columns.latitude), kLatitude, 90.0, source, line);
    if (!longitude || !latitude) {
      ++counts.withoutCoordinates;
      continue;
    }
    const std::string& stamp = cellAt(cells, columns.timestamp);
    const auto time = parseMovebankTimestamp(stamp);
    if (!time)
      failAt(source, line,
             "\"" + stamp + "\" in column \"timestamp\" is not a time YYYY-MM-DD HH:MM:SS[.fff] (UTC)");
    MovebankFix fix;
    fix.animal = std::string(host::trim(cellAt(cells, columns.individual)));
    if (fix.animal.empty()) fix.animal = std::string(host::trim(cellAt(cells, columns.tag)));
    if (fix.animal.empty()) failAt(source, line, "the row names no individual nor tag");
    fix.longitude = *longitude;
    fix.latitude = *latitude;
    fix.seconds = time->first;
    fix.fraction = time->second;
    fix.order = order;
    fixes.push_back(std::move(fix));
  }
}

}  // namespace orvex::platform::gdal
