#pragma once

// Vector results of a run gathered as layers of one GeoPackage. The commands write shapefiles
// as they always do (into a scratch folder where the command line chooses the names); the
// shapefiles are then moved into the GeoPackage as layers named as the files, and the run's
// record says the GeoPackage and the layer. Rasters, logs and pictures stay files.

#include <filesystem>
#include <iostream>
#include <optional>
#include <streambuf>
#include <string>
#include <string_view>

#include "apps/orvex/command_args.h"
#include "apps/orvex/run_summary.h"
#include "host/environment.h"

namespace CLI {
class App;
}

namespace orvex::cli {

/// Keeps standard output quiet while it lives (a command run again, or into a scratch folder).
class MutedOutput {
 public:
  MutedOutput() : saved_(std::cout.rdbuf(&sink_)) {}
  ~MutedOutput() { std::cout.rdbuf(saved_); }
  MutedOutput(const MutedOutput&) = delete;
  MutedOutput& operator=(const MutedOutput&) = delete;

 private:
  struct Sink : std::streambuf {
    int overflow(int c) override { return c; }
  } sink_;
  std::streambuf* saved_;
};

/// Whether `path` names a GeoPackage (extension ".gpkg", any case).
bool endsInGpkg(const std::filesystem::path& path);

/// Declares "--format shp|gpkg" (slot "format"), `where` saying where the GeoPackage goes.
void declareFormat(CLI::App& subcommand, CommandArgs& args, const std::string& where);

/// Where a command whose "--out" is a shapefile template gathers its layers.
struct GeoPackageTarget {
  std::filesystem::path geoPackage{};  ///< absolute
  std::string fileTemplate{};          ///< the file-name part of the template the layers are named by
};

/// For a command whose "--out" is a file template (default `defaultTemplate`):
/// - "--out NAME.gpkg": that GeoPackage, the layers named as `defaultTemplate` names the files;
/// - "--format gpkg": "<command>.gpkg" in the template's folder (`defaultFolder` without --out),
///   the layers named as the template names the files;
/// - otherwise nothing: shapefiles as the template says.
/// Throws CLI::ValidationError for "--format shp" with a .gpkg --out.
std::optional<GeoPackageTarget> geoPackageTarget(const CommandArgs& args, std::string_view defaultTemplate,
                                                 std::string_view command,
                                                 const std::filesystem::path& defaultFolder = {});

/// For a command whose "--out" names one file: the GeoPackage "OUT.gpkg" (the extension of
/// OUT replaced) when --out ends in .gpkg or --format is gpkg; otherwise nothing.
std::optional<std::filesystem::path> singleGeoPackage(const CommandArgs& args);

/// Moves every shapefile output of `summary` that exists into `geoPackage` as a layer named
/// as the file (without extension) and records it as that layer, with one report line each.
/// A layer the GeoPackage already holds is replaced with `replace`; otherwise it stays, the
/// new shapefile is deleted and the item recorded as cancelled ("not replaced"), as an
/// existing shapefile is. A layer that cannot be written is a failed item (its shapefile
/// stays where it was; the GeoPackage keeps its other layers). Returns `exitCode`, or 1 when
/// a layer failed or when every layer was kept (the run wrote nothing).
int gatherIntoGeoPackage(RunSummary& summary, const std::filesystem::path& geoPackage, bool replace,
                         int exitCode);

}  // namespace orvex::cli
