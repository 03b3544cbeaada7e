#include "apps/orvex/row_overlap.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <array>
#include <cmath>
#include <filesystem>
#include <iostream>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "apps/orvex/global_options.h"
#include "apps/orvex/overlap_from.h"
#include "apps/orvex/run_summary.h"
#include "host/environment.h"
#include "host/error.h"
#include "host/text.h"
#include "platform/gdal/density_raster.h"
#include "range/overlap/common_grid.h"
#include "range/overlap/overlap_indices.h"
#include "range/overlap/overlap_table.h"

namespace orvex::cli {
namespace {

namespace fs = std::filesystem;
using range::OverlapIndex;

using range::kOverlapIndexNames;
using range::overlap_index_of;

std::optional<double> percentOf(const std::string& text) {
  const std::optional<double> value = host::parseNumber(text);
  if (!value || !(*value > 0.0 && *value <= 100.0)) return std::nullopt;
  return value;
}

range::UdGrid udGridOf(const host::RasterSpec& spec) {
  return {.origin_x = spec.originX,
          .origin_y = spec.originY,
          .cell_size = spec.cellSize,
          .columns = static_cast<std::size_t>(spec.columns),
          .rows = static_cast<std::size_t>(spec.rows)};
}

/// The UDs to compare, each named, on their grids as read.
struct NamedUds {
  std::vector<std::string> animals;
  std::vector<std::vector<double>> uds;
  std::vector<range::UdGrid> grids;
};

void readUd(NamedUds& named, const fs::path& file, std::string animal) {
  platform::gdal::DensityRaster raster = platform::gdal::readDensityRaster(file);
  const range::UdGrid grid = udGridOf(raster.grid);
  try {
    range::check_ud_grid(grid);
    range::check_ud(raster.values, grid);
  } catch (const std::invalid_argument& error) {
    throw host::Error(host::kInvalidArgument, file.string() + " is not a UD: " + error.what());
  }
  named.animals.push_back(std::move(animal));
  named.uds.push_back(std::move(raster.values));
  named.grids.push_back(grid);
}

/// The grid every UD is on after resampling the others to the finest common grid.
range::UdGrid commonGrid(NamedUds& named) {
  bool resampled = false;
  const range::UdGrid grid = range::to_common_grid(named.uds, named.grids, resampled);
  if (resampled)
    std::cerr << "orvex: the rasters lie on different grids; each is resampled (nearest cell) to the finest "
                 "common grid: "
              << grid.columns << " x " << grid.rows << " cells of " << host::numberText(grid.cell_size)
              << " from (" << host::numberText(grid.origin_x) << ", " << host::numberText(grid.origin_y)
              << ")\n";
  return grid;
}

/// A file name for an animal's kept UD: the ID value, a path separator or NUL replaced.
std::string keptName(const std::string& animal) {
  std::string name = animal.empty() || animal == "." || animal == ".." ? "_" + animal : animal;
  for (char& c : name) c = c == '/' || c == '\0' ? '_' : c;
  return name + ".tif";
}

void refuseExisting(const fs::path& path, bool yes) {
  if (fs::exists(path) && !yes)
    throw host::Error(host::kAlreadyExists, path.string() + " exists; --yes replaces it");
}

void writeMatrix(const fs::path& path, const std::string& name, const std::vector<std::string>& animals,
                 const range::OverlapMatrices& matrices, const range::OverlapOptions& options,
                 std::size_t index, RunSummary& summary) {
  const std::size_t n = animals.size();
  std::vector<std::vector<double>> rows =
      range::write_overlap_csv(path, animals, matrices, static_cast<OverlapIndex>(index));
  host::RecordValues values;
  values.percentage = options.percent;
  values.tableIndex = name;
  values.conditional = options.conditional;
  values.animals = animals;
  values.matrix = std::move(rows);
  summary.output({.path = path, .kind = host::OutputKind::Table, .layer = name, .values = std::move(values)});
  std::cout << path.string() << ": " << name << (options.conditional ? " (conditional)" : "") << " between "
            << n << " animals at " << host::numberText(options.percent) << " %\n";
}

class OverlapSubcommand final : public Subcommand {
 public:
  void declare(CLI::App& sub, CommandArgs& args) override;
  int run(const CommandArgs& args, const GlobalOptions& global) override;

 private:
  /// The UDs --from makes: read from the scratch folder, and copied to --keep-uds when given.
  bool makeUds(const CommandArgs& args, const GlobalOptions& global, NamedUds& named);
};

void OverlapSubcommand::declare(CLI::App& sub, CommandArgs& args) {
  sub.add_option("rasters", args.list("rasters"),
                 "UD rasters (GeoTIFF), two or more; each animal is named by its file's stem");
  sub.add_option("--percent", args.text("percent"), "The volume contour, in (0, 100] (default 95)")
      ->check(CLI::Validator(
          [](const std::string& text) {
            return percentOf(text) ? std::string() : "--percent takes a number in (0, 100]: '" + text + "'";
          },
          "PERCENT"));
  sub.add_option("--method", args.list("method"), "Indices to write: HR,PHR,VI,BA,UDOI,HD (default all)")
      ->delimiter(',')
      ->check(CLI::Validator(
          [](const std::string& text) {
            return overlap_index_of(text) >= 0 ? std::string()
                                               : "--method takes HR, PHR, VI, BA, UDOI or HD: '" + text + "'";
          },
          "INDEX"));
  sub.add_flag("--conditional", args.flag("conditional"), "Restrict each UD to its own volume contour");
  sub.add_option("--out-dir", args.text("out-dir"), "Folder for the CSV files (made when missing)")
      ->required();
  declareOverlapFrom(sub, args);
  sub.add_option("--keep-uds", args.text("keep-uds"),
                 "With --from: also keep each animal's UD raster in this folder as <animal>.tif");
}

bool OverlapSubcommand::makeUds(const CommandArgs& args, const GlobalOptions& global, NamedUds& named) {
  const host::ScratchFolder scratch("orvex-overlap-");
  const std::vector<MadeUd> made = makeUdsFromFixes(args, global, scratch.path(), summary());
  if (made.size() < 2) {
    summary().failure({.item = "the overlap",
                       .reason = std::to_string(made.size()) + " UD made from " + args.textOf("from") +
                                 ": the indices need two or more",
                       .path = fs::absolute(args.textOf("from"))});
    return false;
  }
  for (const MadeUd& ud : made) readUd(named, ud.raster, ud.animal);
  if (!args.given("keep-uds")) return true;
  const fs::path keep = fs::absolute(args.textOf("keep-uds")).lexically_normal();
  for (const MadeUd& ud : made) refuseExisting(keep / keptName(ud.animal), global.yes);
  fs::create_directories(keep);
  for (std::size_t i = 0; i < made.size(); ++i) {
    const fs::path path = keep / keptName(made[i].animal);
    fs::copy_file(made[i].raster, path, fs::copy_options::overwrite_existing);
    summary().output({.path = path,
                      .kind = host::OutputKind::Raster,
                      .layer = path.stem().string(),
                      .columns = static_cast<int>(named.grids[i].columns),
                      .rows = static_cast<int>(named.grids[i].rows),
                      .values = {.animal = made[i].animal}});
    std::cout << path.string() << ": UD of " << made[i].animal << '\n';
  }
  return true;
}

int OverlapSubcommand::run(const CommandArgs& args, const GlobalOptions& global) {
  const std::vector<std::string> files = args.listOf("rasters");
  const bool from = args.given("from");
  std::string usage = from && !files.empty() ? "give rasters or --from, not both"
                      : from                 ? overlapFromUsageError(args)
                      : files.size() < 2     ? "give two or more UD rasters, or --from FIXES"
                                             : std::string();
  if (usage.empty() && !from && args.given("keep-uds")) usage = "--keep-uds belongs to --from";
  if (!usage.empty()) {
    std::cerr << "orvex: overlap: " << usage << '\n';
    return kExitUsage;
  }
  range::OverlapOptions options;
  if (args.given("percent")) options.percent = *percentOf(args.textOf("percent"));
  options.conditional = args.flagOf("conditional");
  std::vector<std::size_t> indices;
  for (const std::string& name : args.listOf("method")) {
    const auto index = static_cast<std::size_t>(overlap_index_of(name));
    if (std::find(indices.begin(), indices.end(), index) == indices.end()) indices.push_back(index);
  }
  if (indices.empty())
    for (std::size_t i = 0; i < kOverlapIndexNames.size(); ++i) indices.push_back(i);

  // Every output is checked before anything is made, read or written.
  const fs::path folder = fs::absolute(args.textOf("out-dir")).lexically_normal();
  for (const std::size_t index : indices)
    refuseExisting(folder / (std::string(kOverlapIndexNames[index]) + ".csv"), global.yes);

  NamedUds named;
  if (from) {
    if (!makeUds(args, global, named)) return kExitCommandFailed;
  } else {
    for (const std::string& file : files) readUd(named, file, fs::path(file).stem().string());
  }
  const range::UdGrid grid = commonGrid(named);
  const std::vector<std::span<const double>> views(named.uds.begin(), named.uds.end());
  const range::OverlapMatrices matrices = range::overlap_indices(views, grid, options);

  fs::create_directories(folder);
  for (const std::size_t index : indices) {
    const std::string name = kOverlapIndexNames[index];
    writeMatrix(folder / (name + ".csv"), name, named.animals, matrices, options, index, summary());
  }
  return kExitSuccess;
}

}  // namespace

std::unique_ptr<Subcommand> makeOverlapSubcommand() { return std::make_unique<OverlapSubcommand>(); }

}  // namespace orvex::cli
