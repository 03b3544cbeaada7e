#include "apps/orvex/geopackage_output.h"

#include <CLI/CLI.hpp>
#include <iostream>
#include <map>

#include "apps/orvex/global_options.h"
#include "host/environment.h"
#include "host/error.h"
#include "host/text.h"
#include "platform/gdal/vector_output.h"

namespace orvex::cli {
namespace {

namespace fs = std::filesystem;
namespace gdal = platform::gdal;

constexpr const char* kGeoPackage = "gpkg";

/// Whether --format or --out asks for a GeoPackage; refuses the two disagreeing.
bool wantsGeoPackage(const CommandArgs& args) {
  const bool out = args.given("out") && endsInGpkg(args.textOf("out"));
  const std::string format = host::toLowerAscii(args.textOf("format"));
  if (out && format == "shp")
    throw CLI::ValidationError("--format", "shp does not go with a GeoPackage --out");
  return out || format == kGeoPackage;
}

}  // namespace

bool endsInGpkg(const fs::path& path) { return host::toLowerAscii(path.extension().string()) == ".gpkg"; }

void declareFormat(CLI::App& sub, CommandArgs& args, const std::string& where) {
  sub.add_option("--format", args.text("format"), "Vector results as shp (default) or gpkg: " + where)
      ->check(CLI::IsMember({"shp", kGeoPackage}, CLI::ignore_case));
}

std::optional<GeoPackageTarget> geoPackageTarget(const CommandArgs& args, std::string_view defaultTemplate,
                                                 std::string_view command, const fs::path& defaultFolder) {
  if (!wantsGeoPackage(args)) return std::nullopt;
  const fs::path out = args.textOf("out");
  if (endsInGpkg(out)) return GeoPackageTarget{fs::absolute(out), std::string(defaultTemplate)};
  const fs::path folder = args.given("out") ? out.parent_path() : defaultFolder;
  return GeoPackageTarget{fs::absolute(folder / (std::string(command) + ".gpkg")),
                          args.given("out") ? out.filename().string() : std::string(defaultTemplate)};
}

std::optional<fs::path> singleGeoPackage(const CommandArgs& args) {
  if (!wantsGeoPackage(args)) return std::nullopt;
  return fs::absolute(fs::path(args.textOf("out")).replace_extension(".gpkg"));
}

int gatherIntoGeoPackage(RunSummary& summary, const fs::path& geoPackage, bool replace, int exitCode) {
  std::map<fs::path, std::string> moved;  // a file recorded twice is one layer
  std::size_t kept = 0;
  for (host::OutputRecord& output : summary.takeOutputs()) {
    const bool shapefile = output.kind == host::OutputKind::Shapefile &&
                           host::toLowerAscii(output.path.extension().string()) == ".shp";
    if (!shapefile || (!moved.contains(output.path) && !fs::exists(output.path))) {
      summary.output(std::move(output));
      continue;
    }
    const std::string layer = output.path.stem().string();
    if (!moved.contains(output.path)) {
      try {
        gdal::moveIntoGeoPackage(output.path, geoPackage, layer, replace);
      } catch (const host::Error& error) {
        const bool exists = error.number() == host::kAlreadyExists;
        std::string reason = error.description();
        if (exists) {
          ++kept;
          gdal::deleteShapefile(output.path);
          reason = geoPackage.string() + " already holds the layer " + layer +
                   "; not replaced (--yes replaces it)";
        } else {
          exitCode = kExitCommandFailed;
        }
        std::cerr << "orvex: " << reason << '\n';
        summary.failure({.item = layer,
                         .reason = std::move(reason),
                         .kind = exists ? host::FailureKind::Cancelled : host::FailureKind::Failed,
                         .path = geoPackage,
                         .values = output.values});
        continue;
      }
      moved.emplace(output.path, layer);
      std::cout << geoPackage.string() << ": layer " << layer;
      if (output.features)
        std::cout << ", " << *output.features << (*output.features == 1 ? " feature" : " features");
      std::cout << '\n';
    }
    output.path = geoPackage;
    output.layer = layer;
    summary.output(std::move(output));
  }
  // As with a file not replaced: a run that had results and wrote none of them did nothing.
  if (kept > 0 && moved.empty()) exitCode = kExitCommandFailed;
  return exitCode;
}

}  // namespace orvex::cli
