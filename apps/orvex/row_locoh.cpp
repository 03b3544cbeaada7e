#include "apps/orvex/row_locoh.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <iostream>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "apps/orvex/global_options.h"
#include "apps/orvex/run_summary.h"
#include "host/environment.h"
#include "host/error.h"
#include "host/geometry_service.h"
#include "host/number_list.h"
#include "host/text.h"
#include "host/workspace.h"
#include "platform/common/output_path.h"
#include "platform/gdal/gdal_platform.h"
#include "platform/headless/vector_copy.h"
#include "range/locoh/locoh_files.h"
#include "range/locoh/locoh_isopleths.h"
#include "range/locoh/locoh_suggest.h"

namespace orvex::cli {
namespace {

namespace fs = std::filesystem;
using range::LocohMethod;

using range::locoh_method_name;
using range::locoh_parameter_problem;
using range::locoh_percents_of;

using Animal = range::LocohAnimal;

struct Fixes {
  std::vector<Animal> animals;
  host::SpatialReferencePtr crs;
};

/// The fixes of `file`: a shapefile, or the first layer of another vector file (the one named by
/// "FILE|layername=NAME") through a shapefile copy in `scratch`.
Fixes readFixes(const fs::path& file, const std::string& idField, const fs::path& scratch) {
  if (!fs::is_regular_file(platform::headless::namedFile(file).file))
    throw host::Error(host::kFileNotFound, file.string() + ": no such file");
  const fs::path shapefile = host::iequals(file.extension().string(), ".shp")
                                 ? file
                                 : platform::headless::copyNamedFile(file, scratch).front().shp;
  const fs::path folder = shapefile.parent_path().empty() ? fs::path(".") : shapefile.parent_path();
  const auto features =
      platform::gdal::openShapefileWorkspace(folder)->openFeatureClass(shapefile.stem().string());
  if (!features) throw host::Error(host::kFileNotFound, file.string() + " is not a point layer");
  if (features->shapeType() != host::GeometryType::Point)
    throw host::Error(host::kInvalidArgument, file.string() + " holds no points");
  const int idIndex = features->findField(idField);
  if (idIndex < 0)
    throw host::Error(host::kNotFound, "The ID field '" + idField + "' is not in " + file.string());
  Fixes fixes;
  fixes.crs = features->spatialReference();
  if (fixes.crs && fixes.crs->isGeographic())
    throw host::Error(host::kInvalidArgument, file.string() +
                                                  " has coordinates in degrees; LoCoH needs a projected "
                                                  "coordinate system (areas in map units)");
  const auto rows = features->search();
  fixes.animals = range::read_locoh_animals(*rows, idIndex);
  return fixes;
}

struct Request {
  LocohMethod method = LocohMethod::k;
  double parameter = 0.0;
  bool suggested = false;  ///< each animal's starting value (--param auto) instead of `parameter`
  std::vector<double> percents;
  fs::path folder;
  bool hulls = false;
  bool replace = false;
};

void printSuggestions(const std::vector<Animal>& animals, RunSummary& summary) {
  std::cout << "animal,fixes,k,r,a\n";
  for (const Animal& animal : animals) {
    try {
      const range::LocohSuggestion s = range::suggest_locoh_parameters(animal.x, animal.y);
      std::cout << animal.id << ',' << s.distinct_fixes << ',' << host::numberText(s.k) << ','
                << host::cformat("%.17g", s.r) << ',' << host::cformat("%.17g", s.a) << '\n';
    } catch (const std::invalid_argument& error) {
      summary.failure(
          {.item = "animal " + animal.id, .reason = error.what(), .values = {.animal = animal.id}});
    }
  }
}

void printScan(const std::vector<Animal>& animals, const Request& request, const std::vector<double>& values,
               const host::GeometryService& geometry, RunSummary& summary) {
  std::cout << "animal," << locoh_method_name(request.method);
  for (const double p : request.percents) std::cout << ",area" << host::numberText(p);
  std::cout << '\n';
  for (const Animal& animal : animals) {
    try {
      for (const double value : values) {
        const auto hulls = range::locoh_hulls(animal.x, animal.y, {request.method, value, 0});
        std::cout << animal.id << ',' << host::numberText(value);
        for (const auto& isopleth : range::locoh_isopleths(hulls, request.percents, geometry, 0))
          std::cout << ',' << host::cformat("%.17g", isopleth.area);
        std::cout << '\n';
      }
    } catch (const std::invalid_argument& error) {
      summary.failure(
          {.item = "animal " + animal.id, .reason = error.what(), .values = {.animal = animal.id}});
    }
  }
}

/// The parameter of an animal's run: the one given, or its starting value of the method.
double parameterOf(const Animal& animal, const Request& request) {
  if (!request.suggested) return request.parameter;
  const range::LocohSuggestion s = range::suggest_locoh_parameters(animal.x, animal.y);
  return request.method == LocohMethod::k ? s.k : request.method == LocohMethod::r ? s.r : s.a;
}

void writeAnimal(const Animal& animal, const std::string& stem, const Request& request,
                 host::Workspace& workspace, const host::SpatialReferencePtr& crs,
                 const host::GeometryService& geometry, RunSummary& summary) {
  const double parameter = parameterOf(animal, request);
  const range::LocohHulls hulls = range::locoh_hulls(animal.x, animal.y, {request.method, parameter, 0});
  const auto isopleths = range::locoh_isopleths(hulls, request.percents, geometry, 0);
  const std::string name = stem + "_locoh";
  host::RecordValues values{.animal = animal.id};
  values.areas = range::write_locoh_isopleths(workspace, name, crs, isopleths);
  const auto features = static_cast<std::int64_t>(isopleths.size());
  summary.output({.path = request.folder / (name + ".shp"),
                  .kind = host::OutputKind::Shapefile,
                  .layer = name,
                  .features = features,
                  .values = values});
  std::cout << (request.folder / (name + ".shp")).string() << ": " << isopleths.size()
            << " isopleths of animal " << animal.id << " (" << hulls.distinct_fixes << " distinct fixes, "
            << locoh_method_name(request.method) << " = " << host::numberText(parameter) << ", largest area "
            << host::numberText(*std::max_element(values.areas.begin(), values.areas.end())) << ")\n";
  if (!request.hulls) return;
  range::write_locoh_hulls(workspace, name + "_hulls", crs, hulls, animal.oids);
  summary.output({.path = request.folder / (name + "_hulls.shp"),
                  .kind = host::OutputKind::Shapefile,
                  .layer = name + "_hulls",
                  .values = {.animal = animal.id}});
  std::cout << (request.folder / (name + "_hulls.shp")).string() << ": the hulls of animal " << animal.id
            << '\n';
}

}  // namespace

void declareLocoh(CLI::App& sub, CommandArgs& args) {
  sub.add_option("fixes", args.text("fixes"),
                 "Point layer of the fixes in projected coordinates: a shapefile or another vector file "
                 "(FILE.gpkg|layername=NAME for one layer of several)")
      ->required();
  sub.add_option("--id", args.text("id"), "Field of the animal IDs (one range per value)")->required();
  sub.add_option("--method", args.text("method"),
                 "Local sets: k (each fix and its k-1 nearest), r (fixes within radius r), a (nearest fixes "
                 "whose distances sum to at most a)")
      ->required()
      ->check(CLI::IsMember({"k", "r", "a"}));
  sub.add_option("--param", args.text("param"),
                 "The value of k, r or a (see --suggest and --scan), or auto: each animal's starting value "
                 "as --suggest prints it");
  sub.add_option("--isopleths", args.text("isopleths"),
                 "Isopleth percents of fixes, each in (0, 100] (default " +
                     std::string(range::kLocohDefaultIsopleths) + ")")
      ->check(CLI::Validator(
          [](const std::string& text) {
            return locoh_percents_of(text) ? std::string()
                                           : "--isopleths takes numbers in (0, 100]: '" + text + "'";
          },
          "LIST"));
  sub.add_option("--out-dir", args.text("out-dir"), "Folder for the shapefiles (made when missing)");
  sub.add_flag("--hulls", args.flag("hulls"), "Also write each animal's hulls in union order");
  sub.add_option("--scan", args.text("scan"),
                 "Print the isopleth areas for each of these parameter values (comma-separated) instead of "
                 "writing files");
  sub.add_flag(
      "--suggest", args.flag("suggest"),
      "Print the starting values k = round(sqrt(n)) (at least 3), r = half the largest nearest-neighbour "
      "distance and a = the largest distance between two fixes, over each animal's n distinct "
      "positions, instead of writing files");
}

int runLocoh(const CommandArgs& args, const GlobalOptions& global, RunSummary& summary) {
  Request request;
  request.method = *range::locoh_method_of(args.textOf("method"));
  request.percents =
      *locoh_percents_of(args.given("isopleths") ? args.textOf("isopleths") : range::kLocohDefaultIsopleths);
  request.hulls = args.flagOf("hulls");
  request.replace = global.yes;
  const bool suggest = args.flagOf("suggest");
  std::vector<double> scan;
  if (args.given("scan")) {
    scan = host::parseNumberList(args.textOf("scan"), host::kWholeNumberList).values;
    for (const double value : scan)
      if (const std::string problem = locoh_parameter_problem(request.method, value); !problem.empty())
        throw CLI::ValidationError("--scan", problem + ": '" + args.textOf("scan") + "'");
    if (scan.empty()) throw CLI::ValidationError("--scan", "takes a list of parameter values");
  }
  if (!suggest && scan.empty()) {
    if (!args.given("param")) throw CLI::ValidationError("--param", "is required unless --suggest or --scan");
    request.suggested = args.textOf("param") == "auto";
    const std::optional<double> value = host::parseNumber(args.textOf("param"));
    if (const std::string problem = locoh_parameter_problem(request.method, value);
        !request.suggested && !problem.empty())
      throw CLI::ValidationError("--param", problem + ": '" + args.textOf("param") + "'");
    request.parameter = value.value_or(0.0);
    if (!args.given("out-dir")) throw CLI::ValidationError("--out-dir", "is required to write the isopleths");
  }

  const fs::path input = fs::absolute(args.textOf("fixes")).lexically_normal();
  const host::ScratchFolder copies;
  const Fixes fixes = readFixes(input, args.textOf("id"), copies.path());
  if (fixes.animals.empty()) throw host::Error(host::kNotFound, input.string() + " has no fixes with an ID");
  const auto geometry = platform::gdal::makeGeometryService();
  if (suggest) {
    printSuggestions(fixes.animals, summary);
    return kExitSuccess;
  }
  if (!scan.empty()) {
    printScan(fixes.animals, request, scan, *geometry, summary);
    return kExitSuccess;
  }

  // Every output is checked before anything is written; two animals whose IDs make one file
  // name fail by name after the first.
  request.folder = fs::absolute(args.textOf("out-dir")).lexically_normal();
  std::map<std::string, std::string> stems;  // file name part -> the animal that has it
  std::vector<std::string> animalStems;
  const std::vector<fs::path> inputs{input};
  for (const Animal& animal : fixes.animals) {
    const std::string stem = range::locoh_file_stem(animal.id);
    animalStems.push_back(stems.emplace(stem, animal.id).second ? stem : std::string());
    if (animalStems.back().empty()) continue;
    for (const std::string suffix : {"_locoh.shp", "_locoh_hulls.shp"}) {
      if (!request.hulls && suffix != std::string("_locoh.shp")) continue;
      const fs::path path = request.folder / (stem + suffix);
      if (const auto refusal = platform::outputRefusal(path, inputs, request.replace))
        throw host::Error(host::kAlreadyExists, path.string() + " " + *refusal);
    }
  }
  fs::create_directories(request.folder);
  const auto workspace = platform::gdal::openShapefileWorkspace(request.folder);
  for (std::size_t i = 0; i < fixes.animals.size(); ++i) {
    const Animal& animal = fixes.animals[i];
    if (animalStems[i].empty()) {
      summary.failure(
          {.item = "animal " + animal.id,
           .reason = "its ID names the same files as animal " + stems[range::locoh_file_stem(animal.id)],
           .values = {.animal = animal.id}});
      continue;
    }
    try {
      writeAnimal(animal, animalStems[i], request, *workspace, fixes.crs, *geometry, summary);
    } catch (const std::invalid_argument& error) {
      summary.failure(
          {.item = "animal " + animal.id, .reason = error.what(), .values = {.animal = animal.id}});
    }
  }
  return kExitSuccess;
}

}  // namespace orvex::cli
