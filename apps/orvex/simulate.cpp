#include "apps/orvex/simulate.h"

#include <CLI/CLI.hpp>
#include <cmath>
#include <iostream>
#include <set>

#include "apps/orvex/global_options.h"
#include "host/error.h"
#include "host/text.h"
#include "host/workspace.h"
#include "platform/gdal/gdal_platform.h"
#include "platform/headless/map_source.h"

namespace orvex::cli {
namespace {

constexpr double kEarthRadius = 6371008.8;  // m, the mean radius
constexpr double kDegreesPerRadian = 180.0 / 3.141592653589793;
constexpr std::int64_t kDay = 86400;

std::string timeOfDay(std::int64_t seconds) {
  const std::int64_t ofDay = ((seconds % kDay) + kDay) % kDay;
  return host::cformat("%02d:%02d:%02d", static_cast<int>(ofDay / 3600), static_cast<int>(ofDay / 60 % 60),
                       static_cast<int>(ofDay % 60));
}

host::Date dateOf(std::int64_t seconds) {
  const std::int64_t day = seconds >= 0 ? seconds / kDay : (seconds - kDay + 1) / kDay;
  return host::Date::fromUnixSeconds(static_cast<double>(day * kDay));
}

host::FeatureClassSpec fixesSpec(const host::SpatialReferencePtr& crs) {
  host::FeatureClassSpec definition;
  definition.name = kSimulatedFile;
  definition.fields.add(
      host::FieldDef::shape("Shape", host::GeometryDef{host::GeometryType::Point, false, false, crs}));
  definition.fields.add(host::FieldDef("AnimalID", host::FieldType::String, 20));
  definition.fields.add(host::FieldDef("Time2", host::FieldType::Integer, 4, 10));
  definition.fields.add(host::FieldDef("Time1", host::FieldType::String, 8));
  definition.fields.add(host::FieldDef("Date", host::FieldType::Date));
  return definition;
}

/// "LON,LAT" in degrees; nothing when it is not two numbers in range.
std::optional<std::pair<double, double>> originOf(std::string_view text) {
  const std::size_t comma = text.find(',');
  if (comma == std::string_view::npos) return std::nullopt;
  const auto lon = host::parseNumber(text.substr(0, comma));
  const auto lat = host::parseNumber(text.substr(comma + 1));
  if (!lon || !lat || std::fabs(*lon) > 180.0 || std::fabs(*lat) >= 85.0) return std::nullopt;
  return std::pair{*lon, *lat};
}

}  // namespace

std::size_t writeSimulation(const SimulateRequest& request) {
  const auto references = platform::gdal::makeSpatialReferenceFactory();
  const host::SpatialReferencePtr crs = platform::headless::parseSpatialReference(*references, request.crs);
  const host::SpatialReferencePtr wgs84 = references->wgs84();

  std::filesystem::create_directories(request.folder);
  const auto workspace = platform::gdal::openShapefileWorkspace(request.folder);
  if (workspace->exists(kSimulatedFile)) {
    if (!request.replace)
      throw host::Error(host::kAlreadyExists,
                        (request.folder / kSimulatedFile).string() + " exists; --yes replaces it");
    workspace->deleteDataset(kSimulatedFile);
  }

  const std::vector<SimulatedFix> fixes = simulateTracks(request.model);
  const auto featureClass = workspace->createFeatureClass(fixesSpec(crs));
  const auto cursor = featureClass->insert(true);
  const double metresToLongitude =
      kDegreesPerRadian / (kEarthRadius * std::cos(request.originLatitude / kDegreesPerRadian));
  const double metresToLatitude = kDegreesPerRadian / kEarthRadius;
  host::Row buffer = featureClass->createRowBuffer();
  const int animalField = buffer.findField("AnimalID");
  const int time2Field = buffer.findField("Time2");
  const int time1Field = buffer.findField("Time1");
  const int dateField = buffer.findField("Date");
  for (const SimulatedFix& fix : fixes) {
    const host::Point geographic{request.originLongitude + fix.east * metresToLongitude,
                                 request.originLatitude + fix.north * metresToLatitude};
    buffer.setShape(host::Geometry(references->project(geographic, *wgs84, *crs), crs));
    buffer.setValue(animalField, host::Value(fix.animal));
    buffer.setValue(time2Field, host::Value(static_cast<std::int32_t>(fix.time)));
    buffer.setValue(time1Field, host::Value(timeOfDay(fix.time)));
    buffer.setValue(dateField, host::Value(dateOf(fix.time)));
    cursor->insert(buffer);
  }
  cursor->flush();
  return fixes.size();
}

void declareSimulate(CLI::App& sub, CommandArgs& args) {
  sub.add_option("--out", args.text("out"),
                 "Folder to write " + std::string(kSimulatedFile) + " into (made when missing)")
      ->required();
  sub.add_option("--animals", args.text("animals"), "Number of animals (default 3)")
      ->check(CLI::Range(1, kMaxAnimals));
  sub.add_option("--fixes", args.text("fixes"), "Fixes per animal (default 500)")
      ->check(CLI::Range(1, kMaxFixes));
  sub.add_option("--seed", args.text("seed"),
                 "Seed of the random numbers; the same seed gives the same file (default 1)")
      ->check(CLI::Validator(
          [](const std::string& text) {
            const bool digits = !text.empty() && text.size() <= 19 &&
                                text.find_first_not_of("0123456789") == std::string::npos;
            return digits ? std::string() : "--seed takes a whole number from 0: '" + text + "'";
          },
          "SEED"));
  sub.add_option("--crs", args.text("crs"),
                 "Coordinate system of the points: EPSG:<code>, a .prj file or WKT (default EPSG:32633)");
  sub.add_option("--origin", args.text("origin"),
                 "Centre of the study area LON,LAT in degrees (default 15,51)")
      ->check(CLI::Validator(
          [](const std::string& text) {
            return originOf(text) ? std::string() : "--origin takes LON,LAT in degrees: '" + text + "'";
          },
          "LON,LAT"));
}

int runSimulate(const CommandArgs& args, const GlobalOptions& global, RunSummary& summary) {
  SimulateRequest request;
  request.folder = args.textOf("out");
  if (args.given("animals")) request.model.animals = std::stoi(args.textOf("animals"));
  if (args.given("fixes")) request.model.fixes = std::stoi(args.textOf("fixes"));
  if (args.given("seed")) request.model.seed = std::stoull(args.textOf("seed"));
  if (args.given("crs")) request.crs = args.textOf("crs");
  if (const auto origin = originOf(args.textOf("origin"))) {
    request.originLongitude = origin->first;
    request.originLatitude = origin->second;
  }
  request.replace = global.yes;
  const std::size_t written = writeSimulation(request);
  const std::filesystem::path path =
      std::filesystem::absolute(request.folder / kSimulatedFile).lexically_normal();
  summary.output({.path = path,
                  .kind = host::OutputKind::Shapefile,
                  .layer = path.stem().string(),
                  .features = static_cast<std::int64_t>(written)});
  std::cout << path.string() << ": " << written << " fixes of " << request.model.animals
            << (request.model.animals == 1 ? " animal" : " animals") << " (" << request.crs << ")\n";
  return kExitSuccess;
}

}  // namespace orvex::cli
