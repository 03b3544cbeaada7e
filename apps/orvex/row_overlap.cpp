#include "apps/orvex/row_overlap.h"

#include <CLI/CLI.hpp>
#include <array>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "apps/orvex/global_options.h"
#include "apps/orvex/run_summary.h"
#include "host/error.h"
#include "host/text.h"
#include "platform/gdal/density_raster.h"
#include "range/overlap/common_grid.h"
#include "range/overlap/overlap_indices.h"

namespace orvex::cli {
namespace {

namespace fs = std::filesystem;
using range::OverlapIndex;

constexpr std::array<const char*, range::kOverlapIndexCount> kIndexNames{"HR", "PHR",  "VI",
                                                                         "BA", "UDOI", "HD"};

/// The index named `name` (upper case, as kIndexNames spells it); -1 for none.
int indexOf(const std::string& name) {
  for (std::size_t i = 0; i < kIndexNames.size(); ++i)
    if (name == kIndexNames[i]) return static_cast<int>(i);
  return -1;
}

std::optional<double> percentOf(const std::string& text) {
  const std::optional<double> value = host::parseNumber(text);
  if (!value || !(*value > 0.0 && *value <= 100.0)) return std::nullopt;
  return value;
}

/// A CSV field: quoted when it holds a comma, a quote or a line break.
std::string csvField(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string quoted = "\"";
  for (const char c : text) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
  return quoted + '"';
}

/// Full precision: the text reads back as the same double.
std::string numberCell(double value) { return std::isnan(value) ? "NaN" : host::cformat("%.17g", value); }

range::UdGrid udGridOf(const host::RasterSpec& spec) {
  return {.origin_x = spec.originX,
          .origin_y = spec.originY,
          .cell_size = spec.cellSize,
          .columns = static_cast<std::size_t>(spec.columns),
          .rows = static_cast<std::size_t>(spec.rows)};
}

}  // namespace

void declareOverlap(CLI::App& sub, CommandArgs& args) {
  sub.add_option("rasters", args.list("rasters"),
                 "UD rasters (GeoTIFF), two or more; each animal is named by its file's stem")
      ->required()
      ->expected(2, CLI::detail::expected_max_vector_size);
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
            return indexOf(text) >= 0 ? std::string()
                                      : "--method takes HR, PHR, VI, BA, UDOI or HD: '" + text + "'";
          },
          "INDEX"));
  sub.add_flag("--conditional", args.flag("conditional"), "Restrict each UD to its own volume contour");
  sub.add_option("--out-dir", args.text("out-dir"), "Folder for the CSV files (made when missing)")
      ->required();
}

int runOverlap(const CommandArgs& args, const GlobalOptions& global, RunSummary& summary) {
  const std::vector<std::string> files = args.listOf("rasters");
  range::OverlapOptions options;
  if (args.given("percent")) options.percent = *percentOf(args.textOf("percent"));
  options.conditional = args.flagOf("conditional");
  std::vector<std::size_t> indices;
  for (const std::string& name : args.listOf("method")) {
    const auto index = static_cast<std::size_t>(indexOf(name));
    if (std::find(indices.begin(), indices.end(), index) == indices.end()) indices.push_back(index);
  }
  if (indices.empty())
    for (std::size_t i = 0; i < kIndexNames.size(); ++i) indices.push_back(i);

  // Every output is checked before anything is read or written.
  const fs::path folder = fs::absolute(args.textOf("out-dir")).lexically_normal();
  for (const std::size_t index : indices) {
    const fs::path path = folder / (std::string(kIndexNames[index]) + ".csv");
    if (fs::exists(path) && !global.yes)
      throw host::Error(host::kAlreadyExists, path.string() + " exists; --yes replaces it");
  }

  std::vector<std::string> animals;
  std::vector<std::vector<double>> uds;
  std::vector<range::UdGrid> grids;
  for (const std::string& file : files) {
    platform::gdal::DensityRaster raster = platform::gdal::readDensityRaster(file);
    const range::UdGrid grid = udGridOf(raster.grid);
    try {
      range::check_ud_grid(grid);
      range::check_ud(raster.values, grid);
    } catch (const std::invalid_argument& error) {
      throw host::Error(host::kInvalidArgument, file + " is not a UD: " + error.what());
    }
    animals.push_back(fs::path(file).stem().string());
    uds.push_back(std::move(raster.values));
    grids.push_back(grid);
  }

  range::UdGrid grid = grids.front();
  if (std::any_of(grids.begin(), grids.end(),
                  [&](const range::UdGrid& g) { return !(g == grids.front()); })) {
    grid = range::finest_common_grid(grids);
    for (std::size_t i = 0; i < uds.size(); ++i)
      if (!(grids[i] == grid)) uds[i] = range::resample_ud(uds[i], grids[i], grid);
    std::cerr << "orvex: the rasters lie on different grids; each is resampled (nearest cell) to the finest "
                 "common grid: "
              << grid.columns << " x " << grid.rows << " cells of " << host::numberText(grid.cell_size)
              << " from (" << host::numberText(grid.origin_x) << ", " << host::numberText(grid.origin_y)
              << ")\n";
  }

  const std::vector<std::span<const double>> views(uds.begin(), uds.end());
  const range::OverlapMatrices matrices = range::overlap_indices(views, grid, options);

  fs::create_directories(folder);
  const std::size_t n = animals.size();
  for (const std::size_t index : indices) {
    const std::string name = kIndexNames[index];
    const fs::path path = folder / (name + ".csv");
    std::vector<std::vector<double>> rows(n);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << "animal";
    for (const std::string& animal : animals) out << ',' << csvField(animal);
    out << '\n';
    for (std::size_t i = 0; i < n; ++i) {
      out << csvField(animals[i]);
      for (std::size_t j = 0; j < n; ++j) {
        rows[i].push_back(matrices.at(static_cast<OverlapIndex>(index), i, j));
        out << ',' << numberCell(rows[i].back());
      }
      out << '\n';
    }
    out.close();
    if (!out) throw host::Error(host::kDataError, "cannot write " + path.string());
    host::RecordValues values;
    values.percentage = options.percent;
    values.tableIndex = name;
    values.conditional = options.conditional;
    values.animals = animals;
    values.matrix = std::move(rows);
    summary.output(
        {.path = path, .kind = host::OutputKind::Table, .layer = name, .values = std::move(values)});
    std::cout << path.string() << ": " << name << (options.conditional ? " (conditional)" : "") << " between "
              << n << " animals at " << host::numberText(options.percent) << " %\n";
  }
  return kExitSuccess;
}

}  // namespace orvex::cli
