#pragma once

// One animal's fixes at any size, and the commands they go through, as the long scale test and
// the scale benchmark both run them. In the arguments "IN" stands for the fixes (a point
// shapefile), "CSV" for the same fixes as a Movebank CSV, and a leading "OUT" for the output
// folder.

#include <gdal_priv.h>
#include <ogrsf_frmts.h>

#include <cmath>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

namespace orvex::test {

struct ScaleCommand {
  /// Test lists name a case by its name, not by the bytes of its members.
  friend void PrintTo(const ScaleCommand& command, std::ostream* os) { *os << command.name; }
  const char* name;
  std::vector<std::string> args;
};

/// Every command that one animal's fixes can be fed to: each MCP style, the KDE tool with each
/// bandwidth choice and kernel, Kernel Analysis, the Brownian bridge, LoCoH, travel, both
/// duplicate removals, the track and the Movebank import. (Overlap needs two animals; the
/// Lotek import reads Access files, which cannot be written here.)
inline std::vector<ScaleCommand> scaleCommands() {
  const auto mcp = [](const char* style, const char* stem) {
    return std::vector<std::string>{
        "mcp",     "IN",  "--percent", "95,50",
        "--style", style, "--out",     std::string("OUT/mcp_") + stem + "_{percent}.shp"};
  };
  const auto kde = [](const char* stem, std::vector<std::string> choice) {
    std::vector<std::string> args{"kde", "IN",          "--id",  "AnimalID",  "--prefix",
                                  stem,  "--isopleths", "95,50", "--out-dir", "OUT/" + std::string(stem)};
    args.insert(args.end(), choice.begin(), choice.end());
    return args;
  };
  return {
      {"mcp_fixed_mean", mcp("Fixed Mean", "fm")},
      {"mcp_floating_mean", mcp("Floating Mean", "flm")},
      {"mcp_fixed_median", mcp("Fixed Median", "fmd")},
      {"mcp_floating_median", mcp("Floating Median", "flmd")},
      {"mcp_area_added", mcp("Area Added", "aa")},
      {"mcp_user_centre",
       {"mcp", "IN", "--percent", "95,50", "--style", "User Centre", "--centre", "500000,5000000", "--out",
        "OUT/mcp_uc_{percent}.shp"}},
      {"kde_user_h", kde("kdeuh", {"--bandwidth", "manual:300"})},
      {"kde_href", kde("kdehr", {"--bandwidth", "href"})},
      // Cross-validation picks about 50 m at a million fixes; the design refuses cells wider than that.
      {"kde_lscv", kde("kdelv", {"--bandwidth", "lscv", "--cell-size", "20"})},
      {"kde_adaptive_href", kde("kdeah", {"--bandwidth", "href", "--kernel", "adaptive"})},
      {"kernel_fixed_lscv",
       {"kernel", "IN", "--kernel", "fixed", "--h-choice", "lscv", "--out", "OUT/kernel_{id}_lscv.shp"}},
      {"bbmm",
       {"bbmm", "IN", "--id", "AnimalID", "--sigma2", "10", "--isopleths", "95,50", "--out-dir", "OUT/bbmm"}},
      {"locoh_k",
       {"locoh", "IN", "--id", "AnimalID", "--method", "k", "--param", "auto", "--out-dir", "OUT"}},
      {"travel", {"travel", "IN"}},
      {"dedup_time", {"dedup-time", "IN"}},
      {"dedup_xy", {"dedup-xy", "IN"}},
      {"track", {"track", "IN", "--save-path", "OUT/path.shp"}},
      {"import_movebank", {"import-movebank", "CSV", "--out", "OUT/imported.shp"}},
  };
}

/// The arguments of `command` for the fixes `input` (with the Movebank CSV beside it, of the
/// same stem) and the output folder `out`.
inline std::vector<std::string> scaleArgs(const ScaleCommand& command, const std::filesystem::path& input,
                                          const std::filesystem::path& out) {
  std::vector<std::string> args;
  for (const std::string& arg : command.args) {
    if (arg == "IN")
      args.push_back(input.string());
    else if (arg == "CSV")
      args.push_back(std::filesystem::path(input).replace_extension(".csv").string());
    else if (arg == "OUT" || arg.starts_with("OUT/"))
      args.push_back(out.string() + arg.substr(3));
    else
      args.push_back(arg);
  }
  return args;
}

/// Every this many fixes, one stands at the place of the one before (a minute later):
/// dedup-xy deletes those, nothing else has a twin.
constexpr int kScaleRepeatEvery = 1000;
/// The fixes with a twin lie this share of the radius from the centre, inside every range the
/// MCP styles keep: a twin pair on a hull would hold it (removing one of two fixes at one place
/// takes no area away), which no real set does a thousand times over.
constexpr double kScaleTwinRadiusShare = 0.2;
/// Seconds between fixes, as a collar fixing every minute gives.
constexpr int kScaleInterval = 60;

/// Writes `fixes` fixes of animal "A" as the point shapefile `shp` (UTM zone 33N; fields
/// "AnimalID" and "Time2", a minute apart from 1,000,000 s) spread evenly over a disc of 3 km
/// radius, and the same fixes as a Movebank CSV beside it (same stem, longitude and latitude
/// in WGS 84, timestamps from 2020-01-01 00:00:00). Throws std::runtime_error when GDAL fails.
inline void writeScaleFixes(const std::filesystem::path& shp, int fixes) {
  GDALAllRegister();
  GDALDriver* driver = GetGDALDriverManager()->GetDriverByName("ESRI Shapefile");
  GDALDatasetUniquePtr dataset(driver->Create(shp.c_str(), 0, 0, 0, GDT_Unknown, nullptr));
  if (!dataset) throw std::runtime_error("cannot create " + shp.string());
  OGRSpatialReference utm;
  utm.importFromEPSG(32633);
  utm.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
  OGRSpatialReference wgs84;
  wgs84.importFromEPSG(4326);
  wgs84.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
  const std::unique_ptr<OGRCoordinateTransformation> toDegrees(
      OGRCreateCoordinateTransformation(&utm, &wgs84));
  OGRLayer* layer = dataset->CreateLayer(shp.stem().c_str(), &utm, wkbPoint, nullptr);
  OGRFieldDefn id("AnimalID", OFTString);
  OGRFieldDefn time("Time2", OFTInteger);
  if (layer == nullptr || !toDegrees || layer->CreateField(&id) != OGRERR_NONE ||
      layer->CreateField(&time) != OGRERR_NONE)
    throw std::runtime_error("cannot write " + shp.string());
  std::ofstream csv(std::filesystem::path(shp).replace_extension(".csv"));
  csv << "event-id,timestamp,location-long,location-lat,sensor-type,individual-local-identifier\n";
  csv.precision(10);
  double x = 0.0;
  double y = 0.0;
  for (std::int64_t i = 0; i < fixes; ++i) {
    if (i % kScaleRepeatEvery != kScaleRepeatEvery - 1) {
      // The golden angle and a scrambled radius spread the fixes evenly over the disc.
      double radius = 3000.0 * std::sqrt(static_cast<double>((i * 7919) % fixes) / fixes + 0.5 / fixes);
      if (i % kScaleRepeatEvery == kScaleRepeatEvery - 2) radius *= kScaleTwinRadiusShare;
      x = 500000.0 + radius * std::cos(2.399963 * static_cast<double>(i));
      y = 5000000.0 + radius * std::sin(2.399963 * static_cast<double>(i));
    }
    OGRFeatureUniquePtr feature(OGRFeature::CreateFeature(layer->GetLayerDefn()));
    feature->SetGeometryDirectly(new OGRPoint(x, y));
    feature->SetField("AnimalID", "A");
    feature->SetField("Time2", static_cast<int>(1000000 + kScaleInterval * i));
    if (layer->CreateFeature(feature.get()) != OGRERR_NONE)
      throw std::runtime_error("cannot write " + shp.string());
    double longitude = x;
    double latitude = y;
    toDegrees->Transform(1, &longitude, &latitude);
    const std::time_t when = 1577836800 + kScaleInterval * i;  // 2020-01-01 00:00:00 UTC
    std::tm parts{};
    gmtime_r(&when, &parts);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &parts);
    csv << i + 1 << ',' << stamp << ',' << longitude << ',' << latitude << ",gps,A\n";
  }
  if (!csv) throw std::runtime_error("cannot write the Movebank copy of " + shp.string());
}

}  // namespace orvex::test
