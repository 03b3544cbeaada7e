#include "apps/orvex/import_movebank.h"

#include <CLI/CLI.hpp>
#include <iostream>

#include "apps/orvex/geopackage_output.h"
#include "apps/orvex/global_options.h"
#include "host/error.h"
#include "host/text.h"
#include "platform/common/output_path.h"
#include "platform/gdal/movebank_import.h"
#include "platform/gdal/vector_output.h"

namespace orvex::cli {
namespace {

namespace gdal = platform::gdal;

std::string plural(std::size_t count, const char* one, const char* many) {
  return std::to_string(count) + " " + (count == 1 ? one : many);
}

void printReport(const gdal::MovebankImportOptions& options, const gdal::MovebankImportReport& report) {
  const gdal::MovebankCounts& counts = report.counts;
  std::cout << "Read " << plural(counts.rows, "row", "rows") << " from "
            << plural(options.inputs.size(), "file", "files") << ": "
            << plural(report.written, "fix", "fixes") << " kept (sensor " << options.read.sensor
            << "); left out: " << counts.otherSensor << " of other sensors, " << counts.outliers
            << (options.read.keepOutliers ? " outliers or not visible (kept: --keep-outliers), "
                                          : " outliers or not visible, ")
            << counts.withoutCoordinates << " without coordinates\n";
  std::cout << "Coordinate system: " << report.crsName;
  if (report.epsg != 0) std::cout << " (EPSG:" << report.epsg << ")";
  if (report.utm)
    std::cout << host::cformat(
        ", chosen automatically: the UTM zone of the central longitude %.3f, %s by the "
        "median latitude %.3f",
        report.utm->centralLongitude, report.utm->north ? "north" : "south", report.utm->medianLatitude);
  std::cout << '\n';
  if (report.wideSpread)
    std::cerr << host::cformat(
        "warning: fixes lie up to %.1f degrees of longitude from the central meridian of "
        "UTM zone %d; areas that far out are distorted (name an equal-area system "
        "with --crs)\n",
        report.utm->widestOffset, report.utm->zone);
  std::cout << std::filesystem::absolute(report.output).lexically_normal().string();
  if (gdal::vectorFormatOf(report.output) == gdal::VectorFormat::GeoPackage)
    std::cout << " (layer " << report.layer << ")";
  std::cout << ": " << plural(report.written, "fix", "fixes") << " of "
            << plural(report.animals, "animal", "animals") << '\n';
}

}  // namespace

void declareImportMovebank(CLI::App& sub, CommandArgs& args) {
  sub.add_option("csv", args.list("csv"), "Movebank CSV files (read in this order)")->required();
  sub.add_option("--out", args.text("out"), "The point layer to write: OUT.shp, or OUT.gpkg (layer OUT)")
      ->required();
  declareFormat(sub, args, "the fixes become the layer OUT of OUT.gpkg");
  sub.add_option("--crs", args.text("crs"),
                 "auto (default): the WGS 84 UTM zone of the fixes; or EPSG:<code>, WKT or PROJ text");
  sub.add_option("--sensor", args.text("sensor"), "The sensor type kept (default gps)");
  sub.add_flag("--keep-outliers", args.flag("keep-outliers"), "Keep rows marked as outliers or not visible");
}

int runImportMovebank(const CommandArgs& args, const GlobalOptions& global, RunSummary& summary) {
  gdal::MovebankImportOptions options;
  for (const std::string& file : args.listOf("csv")) options.inputs.emplace_back(file);
  options.output = singleGeoPackage(args).value_or(std::filesystem::path(args.textOf("out")));
  if (args.given("crs")) options.crs = args.textOf("crs");
  if (args.given("sensor")) options.read.sensor = args.textOf("sensor");
  options.read.keepOutliers = args.flagOf("keep-outliers");
  options.replace = global.yes;
  // A folder of the output's name, or a file of an input, is never replaced (the existing-file
  // question is the import's own, with --yes).
  if (const auto refusal = platform::outputRefusal(options.output, options.inputs, true))
    throw host::Error(host::kInvalidArgument, "--out " + options.output.string() + " " + *refusal);
  const gdal::MovebankImportReport report = gdal::importMovebank(options);
  printReport(options, report);
  summary.output({.path = std::filesystem::absolute(report.output).lexically_normal(),
                  .kind = host::OutputKind::Shapefile,
                  .layer = report.layer,
                  .features = static_cast<std::int64_t>(report.written)});
  return kExitSuccess;
}

}  // namespace orvex::cli
