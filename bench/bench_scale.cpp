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

#include "bench_process.h"
#include "support/scale_commands.h"

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
orvex::bench::ProcessCost runOrvex(const std::vector<std::string>& args) {
  std::vector<std::string> words{"--quiet", "--yes"};
  words.insert(words.end(), args.begin(), args.end());
  return orvex::bench::runProcess(fs::path(ORVEX_BIN_DIR) / "orvex", words);
}

/// Each iteration runs the command on a fresh copy of the fixes (the copy is not timed).
void scaleRun(benchmark::State& state, const orvex::test::ScaleCommand& command) {
  const fs::path folder = fs::temp_directory_path() / ("orvex_bench_scale_" + std::to_string(::getpid()));
  fs::create_directories(folder);
  writeFixes(folder / "original.shp");
  orvex::bench::ProcessCost finished;
  for (auto _ : state) {
    state.PauseTiming();
    fs::remove_all(folder / "run");
    fs::create_directories(folder / "run");
    for (const char* extension : {".shp", ".shx", ".dbf", ".prj"})
      fs::copy_file(folder / (std::string("original") + extension),
                    folder / "run" / (std::string("fixes") + extension));
    state.ResumeTiming();
    finished = runOrvex(orvex::test::scaleArgs(command, folder / "run" / "fixes.shp", folder / "run"));
    if (!finished.ok) state.SkipWithError("orvex failed");
  }
  state.counters["peak_rss_MB"] = finished.peakMegabytes;
  state.counters["cpu_s"] = finished.cpuSeconds;
  fs::remove_all(folder);
}

const bool kRegistered = [] {
  for (const orvex::test::ScaleCommand& command : orvex::test::scaleCommands())
    benchmark::RegisterBenchmark(command.name, scaleRun, command)->Unit(benchmark::kSecond)->Iterations(1);
  return true;
}();

}  // namespace
