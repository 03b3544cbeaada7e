// One animal of 100,000 fixes through every command of `orvex`, run as a user would: the
// wall time of each run, and the CPU time and peak resident memory of the orvex process.

#include <benchmark/benchmark.h>
#include <gdal_priv.h>
#include <ogrsf_frmts.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/orvex_spawn.h"

namespace {

namespace fs = std::filesystem;

constexpr int kFixes = 100000;

/// A point shapefile of one animal's fixes, an hour apart, spread over a few kilometres.
void writeFixes(const fs::path& shp) {
  GDALAllRegister();
  GDALDriver* driver = GetGDALDriverManager()->GetDriverByName("ESRI Shapefile");
  GDALDatasetUniquePtr dataset(driver->Create(shp.c_str(), 0, 0, 0, GDT_Unknown, nullptr));
  OGRSpatialReference utm;
  utm.importFromEPSG(32633);
  OGRLayer* layer = dataset->CreateLayer("fixes", &utm, wkbPoint, nullptr);
  OGRFieldDefn id("AnimalID", OFTString);
  OGRFieldDefn time("Time2", OFTInteger);
  layer->CreateField(&id);
  layer->CreateField(&time);
  for (int i = 0; i < kFixes; ++i) {
    OGRFeatureUniquePtr feature(OGRFeature::CreateFeature(layer->GetLayerDefn()));
    const double radius = 3000.0 * std::sqrt((i * 7919 % kFixes + 0.5) / kFixes);
    feature->SetGeometryDirectly(
        new OGRPoint(500000 + radius * std::cos(2.399963 * i), 5000000 + radius * std::sin(2.399963 * i)));
    feature->SetField("AnimalID", "A");
    feature->SetField("Time2", 1000000 + 3600 * i);
    if (layer->CreateFeature(feature.get()) != OGRERR_NONE)
      throw std::runtime_error("cannot write " + shp.string());
  }
}

/// Runs orvex with `args` to its end.
orvex::test::Finished runOrvex(const std::vector<std::string>& args) {
  std::vector<std::string> words{(fs::path(ORVEX_BIN_DIR) / "orvex").string(), "--quiet", "--yes"};
  words.insert(words.end(), args.begin(), args.end());
  const pid_t pid = orvex::test::spawnQuiet(std::move(words));
  return pid < 0 ? orvex::test::Finished{} : orvex::test::waitFor(pid);
}

/// Each iteration runs the command on a fresh copy of the fixes (the copy is not timed).
void scaleRun(benchmark::State& state, std::vector<std::string> args) {
  const fs::path folder = fs::temp_directory_path() / ("orvex_bench_scale_" + std::to_string(::getpid()));
  fs::create_directories(folder);
  writeFixes(folder / "original.shp");
  orvex::test::Finished finished;
  for (auto _ : state) {
    state.PauseTiming();
    fs::remove_all(folder / "run");
    fs::create_directories(folder / "run");
    for (const char* extension : {".shp", ".shx", ".dbf", ".prj"})
      fs::copy_file(folder / (std::string("original") + extension),
                    folder / "run" / (std::string("fixes") + extension));
    std::vector<std::string> run;
    for (const auto& arg : args)
      run.push_back(arg == "IN"    ? (folder / "run" / "fixes.shp").string()
                    : arg == "OUT" ? (folder / "run").string()
                                   : arg);
    state.ResumeTiming();
    finished = runOrvex(run);
    if (finished.exitCode != 0) state.SkipWithError("orvex failed");
  }
  state.counters["peak_rss_MB"] = finished.peakMegabytes;
  state.counters["cpu_s"] = finished.cpuSeconds;
  fs::remove_all(folder);
}

struct ScaleCommand {
  const char* name;
  std::vector<std::string> args;  ///< IN: the fixes, OUT: the output folder
};

std::vector<std::string> mcpStyle(const char* style, const char* stem) {
  return {"mcp",     "IN",  "--percent", "95,50",
          "--style", style, "--out",     std::string("OUT/") + stem + "_{percent}.shp"};
}

const bool kRegistered = [] {
  const std::vector<ScaleCommand> commands{
      {"mcp_fixed_mean", mcpStyle("Fixed Mean", "fm")},
      {"mcp_floating_mean", mcpStyle("Floating Mean", "flm")},
      {"mcp_fixed_median", mcpStyle("Fixed Median", "fmd")},
      {"mcp_floating_median", mcpStyle("Floating Median", "flmd")},
      // Area Added at 99.9 % only (100 removals): it rewraps the hull for every ring vertex at every
      // removal, so that even 100 removals take minutes of CPU.
      {"mcp_area_added",
       {"mcp", "IN", "--percent", "99.9", "--style", "Area Added", "--out", "OUT/aa_{percent}.shp"}},
      {"mcp_user_centre",
       {"mcp", "IN", "--percent", "95,50", "--style", "User Centre", "--centre", "500000,5000000", "--out",
        "OUT/uc_{percent}.shp"}},
      {"kernel", {"kernel", "IN", "--h", "1", "--out", "OUT/kernel_{id}_h{h}.shp"}},
      {"kde_user_h",
       {"kde", "IN", "--id", "AnimalID", "--bandwidth", "manual:300", "--isopleths", "95,50", "--out-dir",
        "OUT"}},
      {"travel", {"travel", "IN"}},
      {"dedup_time", {"dedup-time", "IN"}},
      {"dedup_xy", {"dedup-xy", "IN"}},
  };
  for (const ScaleCommand& command : commands)
    benchmark::RegisterBenchmark(command.name, scaleRun, command.args)
        ->Unit(benchmark::kSecond)
        ->Iterations(1);
  return true;
}();

}  // namespace
