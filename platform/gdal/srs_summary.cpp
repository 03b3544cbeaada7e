#include "platform/gdal/srs_summary.h"

#include <cpl_conv.h>
#include <gdal.h>
#include <ogr_spatialref.h>
#include <ogr_srs_api.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/gdal/gdal_handles.h"
#include "platform/gdal/gdal_session.h"
#include "platform/gdal/spatial_refs.h"

namespace orvex::platform::gdal {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kFormat = "orvex srs summary 1";

/// Everything besides the .prj text that decides how it reads.
std::string environmentKey() {
  int major = 0;
  int minor = 0;
  int patch = 0;
  OSRGetPROJVersion(&major, &minor, &patch);
  std::string key = std::string("gdal ") + GDALVersionInfo("VERSION_NUM") + "; proj " +
                    std::to_string(major) + "." + std::to_string(minor) + "." + std::to_string(patch);
  key += "; find matches " + std::string(CPLGetConfigOption("USE_OSR_FIND_MATCHES", "YES"));
  for (const char* variable : {"PROJ_DATA", "PROJ_LIB"}) {
    const char* value = std::getenv(variable);
    key += std::string("; ") + variable + " " + (value != nullptr ? value : "");
  }
  return key;
}

std::optional<fs::path> cacheFolder() {
  if (const char* xdg = std::getenv("XDG_CACHE_HOME"); xdg != nullptr && *xdg == '/')
    return fs::path(xdg) / "orvex" / "srs";
  if (const char* home = std::getenv("HOME"); home != nullptr && *home == '/')
    return fs::path(home) / ".cache" / "orvex" / "srs";
  return std::nullopt;
}

/// 64-bit FNV-1a: names the file; the file itself holds the whole key.
std::string hashName(std::string_view text) {
  std::uint64_t hash = 0xcbf29ce484222325ULL;
  for (unsigned char c : text) {
    hash ^= c;
    hash *= 0x100000001b3ULL;
  }
  char name[17];
  std::snprintf(name, sizeof name, "%016llx", static_cast<unsigned long long>(hash));
  return name;
}

/// Fields are written as "<length>\n<bytes>\n", so any text survives.
void putField(std::ostream& out, std::string_view text) { out << text.size() << '\n' << text << '\n'; }

bool getField(std::istream& in, std::string& text) {
  std::size_t length = 0;
  if (!(in >> length) || in.get() != '\n' || length > (1U << 20)) return false;
  text.assign(length, '\0');
  return in.read(text.data(), static_cast<std::streamsize>(length)) && in.get() == '\n';
}

std::string record(std::string_view key, const SrsSummary& s) {
  std::ostringstream out;
  out.imbue(std::locale::classic());
  for (std::string_view field :
       {std::string_view(kFormat), key, std::string_view(s.name), std::string_view(s.wkt),
        std::string_view(s.shapefilePrj), std::string_view(s.fullWkt)})
    putField(out, field);
  char tolerance[40];
  std::snprintf(tolerance, sizeof tolerance, "%a", s.xyTolerance);
  putField(out, s.epsg ? std::to_string(*s.epsg) : std::string());
  putField(out, std::string(s.geographic ? "g" : "") + (s.projected ? "p" : ""));
  putField(out, tolerance);
  return out.str();
}

std::optional<SrsSummary> parseRecord(std::istream& in, std::string_view key) {
  std::string format;
  std::string storedKey;
  SrsSummary s;
  std::string epsg;
  std::string kind;
  std::string tolerance;
  if (!getField(in, format) || format != kFormat || !getField(in, storedKey) || storedKey != key ||
      !getField(in, s.name) || !getField(in, s.wkt) || !getField(in, s.shapefilePrj) ||
      !getField(in, s.fullWkt) || !getField(in, epsg) || !getField(in, kind) || !getField(in, tolerance) ||
      s.fullWkt.empty())
    return std::nullopt;
  char* end = nullptr;
  if (!epsg.empty()) {
    const long code = std::strtol(epsg.c_str(), &end, 10);
    if (*end != '\0' || code <= 0 || code > INT32_MAX) return std::nullopt;
    s.epsg = static_cast<int>(code);
  }
  s.geographic = kind.find('g') != std::string::npos;
  s.projected = kind.find('p') != std::string::npos;
  s.xyTolerance = std::strtod(tolerance.c_str(), &end);
  if (tolerance.empty() || *end != '\0') return std::nullopt;
  return s;
}

}  // namespace

SrsSummary summarise(const OGRSpatialReference& srs, std::optional<int> epsg) {
  SrsSummary s;
  s.name = srsName(srs);
  s.epsg = epsg;
  s.geographic = srs.IsGeographic() != 0;
  s.projected = srs.IsProjected() != 0;
  s.xyTolerance = xyTolerance(&srs);
  s.wkt = srsWkt(srs);
  s.shapefilePrj = srsShapefilePrj(srs);
  s.fullWkt = srsWkt(srs, "FORMAT=WKT2_2019");
  return s;
}

std::optional<SrsSummary> cachedSummary(std::string_view prjText) {
  const auto folder = cacheFolder();
  if (!folder) return std::nullopt;
  const std::string key = environmentKey() + '\n' + std::string(prjText);
  std::ifstream in(*folder / hashName(key), std::ios::binary);
  if (!in) return std::nullopt;
  in.imbue(std::locale::classic());
  return parseRecord(in, key);
}

void storeSummary(std::string_view prjText, const SrsSummary& summary) {
  const auto folder = cacheFolder();
  if (!folder) return;
  const std::string key = environmentKey() + '\n' + std::string(prjText);
  std::error_code ec;
  fs::create_directories(*folder, ec);
  if (ec) return;
  const fs::path target = *folder / hashName(key);
  // Written beside and renamed over: a reader sees a whole record or none.
  const fs::path part = target.string() + "." + std::to_string(::getpid()) + ".part";
  {
    std::ofstream out(part, std::ios::binary | std::ios::trunc);
    out << record(key, summary);
    out.flush();
    if (!out) {
      fs::remove(part, ec);
      return;
    }
  }
  fs::rename(part, target, ec);
  if (ec) fs::remove(part, ec);
}

}  // namespace orvex::platform::gdal
