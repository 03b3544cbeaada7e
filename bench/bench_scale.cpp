// One animal of 100,000 fixes through every command of `orvex`, run as a user would: the
// wall time of each run and the peak resident memory of the orvex process.

#include <benchmark/benchmark.h>
#include <gdal_priv.h>
#include <ogrsf_frmts.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "bench_process.h"

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
    if (layer->CreateFeature(feature.get()) != OGRERR_NONE) return;  // the run then reports a short input
  }
}

/// Runs orvex with `args`; its peak resident memory in megabytes (negative when it failed).
double runOrvex(const std::vector<std::string>& args) {
  std::vector<std::string> words{"--quiet", "--yes"};
  words.insert(words.end(), args.begin(), args.end());
  const auto cost = orvex::bench::runProcess(fs::path(ORVEX_BIN_DIR) / "orvex", words);
  return cost.ok ? cost.peakMegabytes : -1;
}

/// Each iteration runs the command on a fresh copy of the fixes (the copy is not timed).
void scaleRun(benchmark::State& state, std::vector<std::string> args) {
  const fs::path folder = fs::temp_directory_path() / ("orvex_bench_scale_" + std::to_string(::getpid()));
  fs::create_directories(folder);
  writeFixes(folder / "original.shp");
  double peak = 0;
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
    peak = runOrvex(run);
    if (peak < 0) state.SkipWithError("orvex failed");
  }
  state.counters["peak_rss_MB"] = peak;
  fs::remove_all(folder);
}

BENCHMARK_CAPTURE(scaleRun, mcp_fixed_mean,
                  std::vector<std::string>{"mcp", "IN", "--percent", "95,50", "--out",
                                           "OUT/mcp_{percent}.shp"})
    ->Unit(benchmark::kSecond)
    ->Iterations(1);
BENCHMARK_CAPTURE(scaleRun, mcp_area_added,
                  std::vector<std::string>{"mcp", "IN", "--percent", "95,50", "--style", "Area Added",
                                           "--out", "OUT/mcp_{percent}.shp"})
    ->Unit(benchmark::kSecond)
    ->Iterations(1);
BENCHMARK_CAPTURE(scaleRun, kernel,
                  std::vector<std::string>{"kernel", "IN", "--h", "1", "--out", "OUT/kernel_{id}_h{h}.shp"})
    ->Unit(benchmark::kSecond)
    ->Iterations(1);
BENCHMARK_CAPTURE(scaleRun, kde_user_h,
                  std::vector<std::string>{"kde", "IN", "--id", "AnimalID", "--bandwidth", "manual:300",
                                           "--isopleths", "95,50", "--out-dir", "OUT"})
    ->Unit(benchmark::kSecond)
    ->Iterations(1);
BENCHMARK_CAPTURE(scaleRun, travel, std::vector<std::string>{"travel", "IN"})
    ->Unit(benchmark::kSecond)
    ->Iterations(1);
BENCHMARK_CAPTURE(scaleRun, dedup_time, std::vector<std::string>{"dedup-time", "IN"})
    ->Unit(benchmark::kSecond)
    ->Iterations(1);
BENCHMARK_CAPTURE(scaleRun, dedup_xy, std::vector<std::string>{"dedup-xy", "IN"})
    ->Unit(benchmark::kSecond)
    ->Iterations(1);

}  // namespace
