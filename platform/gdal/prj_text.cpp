#include "platform/gdal/prj_text.h"

#include <cpl_error.h>
#include <cpl_string.h>
#include <ogr_spatialref.h>

#include <algorithm>

namespace orvex::platform::gdal {
namespace {

/// The longest part of a bad .prj quoted in its message.
constexpr std::size_t kQuoted = 60;

bool isTextByte(unsigned char c) { return c >= 0x20 || c == '\t' || c == '\n' || c == '\r'; }

/// The text as printable ASCII, cut short, for a message.
std::string quoted(std::string_view text) {
  std::string shown;
  for (const char c : text.substr(0, kQuoted)) {
    const auto byte = static_cast<unsigned char>(c);
    shown += byte >= 0x20 && byte < 0x7F ? c : ' ';
  }
  return "\"" + shown + (text.size() > kQuoted ? "...\"" : "\"");
}

}  // namespace

std::optional<std::string> prjTextProblem(std::string_view text) {
  if (text.size() > kMaxPrjBytes)
    return "is larger than " + std::to_string(kMaxPrjBytes / 1024) +
           " KiB, far more than a coordinate system takes";
  if (std::all_of(text.begin(), text.end(),
                  [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }))
    return std::string("is empty");
  const auto binary = std::find_if(text.begin(), text.end(),
                                   [](char c) { return !isTextByte(static_cast<unsigned char>(c)); });
  if (binary != text.end())
    return "holds binary bytes (the first at byte " + std::to_string(binary - text.begin()) + "), not text";
  // The lines as the shapefile reader passes them (CPLReadLine drops CR and LF).
  CPLStringList lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find_first_of("\r\n", start);
    if (end == std::string_view::npos) end = text.size();
    lines.AddString(std::string(text.substr(start, end - start)).c_str());
    start = text.find_first_not_of("\r\n", end);
    if (start == std::string_view::npos) break;
  }
  OGRSpatialReference srs;
  CPLPushErrorHandler(CPLQuietErrorHandler);
  const bool read = srs.importFromESRI(lines.List()) == OGRERR_NONE && !srs.IsEmpty();
  CPLPopErrorHandler();
  if (read) return std::nullopt;
  return "is not a coordinate system GDAL reads: " + quoted(text);
}

}  // namespace orvex::platform::gdal
