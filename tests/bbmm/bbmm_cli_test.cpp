// `orvex bbmm` end to end: the built executable on shapefiles in a temporary folder, its
// rasters read back with GDAL and compared with the estimator called on the same arrays.

#include <gdal_priv.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "host/field.h"
#include "host/table.h"
#include "host/workspace.h"
#include "platform/headless/headless_application.h"
#include "range/bridge/bridge_likelihood.h"
#include "range/bridge/bridge_ud.h"
#include "range/bridge/dynamic_bridge.h"
#include "support/orvex_process.h"
#include "support/temp_folder.h"

namespace orvex::test {
namespace {

namespace fs = std::filesystem;

struct TrackFix {
  std::string id;
  double x = 0.0;
  double y = 0.0;
  std::optional<double> time;  ///< empty: no value
};

struct TrackFile {
  host::FieldType timeType = host::FieldType::Integer;  ///< String: times written as text
  int epsg = 32633;
};

fs::path WriteTrack(const fs::path& folder, const std::vector<TrackFix>& fixes, TrackFile file = {}) {
  platform::headless::HeadlessApplication app;
  host::FeatureClassSpec spec;
  spec.name = "fixes";
  spec.fields.add(
      host::FieldDef::shape("Shape", host::GeometryDef{host::GeometryType::Point, false, false,
                                                       app.spatialReferences().fromEpsg(file.epsg)}));
  spec.fields.add(host::FieldDef("AnimalID", host::FieldType::String, 20));
  spec.fields.add(host::FieldDef("Time2", file.timeType, 12));
  auto features = app.workspaces().openShapefileWorkspace(folder)->createFeatureClass(spec);
  auto insert = features->insert(true);
  host::Row row = features->createRowBuffer();
  for (const TrackFix& fix : fixes) {
    row.setValue(features->findField("AnimalID"), host::Value(fix.id));
    host::Value time;
    if (fix.time && file.timeType == host::FieldType::String)
      time = host::Value(std::to_string(static_cast<long>(*fix.time)));
    if (fix.time && file.timeType != host::FieldType::String)
      time = host::Value(static_cast<std::int32_t>(*fix.time));
    row.setValue(features->findField("Time2"), time);
    row.setShape(host::Geometry(host::Point{fix.x, fix.y}));
    insert->insert(row);
  }
  insert->flush();
  return folder / "fixes.shp";
}

// A winding walk of `count` fixes 600 s apart, stored newest first so that the command must
// sort them; deterministic, so the expected values can be recomputed.
std::vector<TrackFix> Walk(const std::string& id, int count, double x0) {
  std::vector<TrackFix> fixes;
  for (int i = count - 1; i >= 0; --i)
    fixes.push_back(
        {id, x0 + 300.0 * std::sin(0.37 * i) + 7.0 * i, 5'000'000.0 + 250.0 * std::cos(0.23 * i), 600.0 * i});
  return fixes;
}

std::vector<float> ReadCells(const fs::path& file, std::array<double, 6>& transform) {
  GDALAllRegister();
  std::unique_ptr<GDALDataset> raster(GDALDataset::Open(file.c_str(), GDAL_OF_RASTER | GDAL_OF_READONLY));
  if (!raster) return {};
  raster->GetGeoTransform(transform.data());
  const int columns = raster->GetRasterXSize();
  const int rows = raster->GetRasterYSize();
  std::vector<float> cells(static_cast<std::size_t>(columns) * static_cast<std::size_t>(rows));
  EXPECT_EQ(raster->GetRasterBand(1)->RasterIO(GF_Read, 0, 0, columns, rows, cells.data(), columns, rows,
                                               GDT_Float32, 0, 0),
            CE_None);
  return cells;
}

class OrvexBbmm : public ::testing::Test {
 protected:
  OrvexRun Bbmm(const fs::path& points, std::vector<std::string> args) {
    args.insert(args.begin(), {"bbmm", points.string(), "--id", "AnimalID", "--out-dir", out_.string()});
    return runOrvex(folder_.path(), args);
  }
  TempFolder folder_;
  fs::path out_ = folder_ / "out";
};

// The raster at `path` against bridge_ud of `track` with `options` on the raster's own grid.
// Float32 storage: each cell within half an ulp of a float, at most largest * 2^-24.
void ExpectRasterIsTheBridgeUd(const fs::path& path, const range::BridgeTrack& track,
                               const range::BridgeOptions& options) {
  std::array<double, 6> gt{};
  const std::vector<float> cells = ReadCells(path, gt);
  ASSERT_FALSE(cells.empty());
  GDALAllRegister();
  std::unique_ptr<GDALDataset> dataset(GDALDataset::Open(path.c_str(), GDAL_OF_RASTER));
  const auto columns = static_cast<std::size_t>(dataset->GetRasterXSize());
  const auto rows = static_cast<std::size_t>(dataset->GetRasterYSize());
  const range::BridgeGrid same{.origin_x = gt[0],
                               .origin_y = gt[3] + gt[5] * static_cast<double>(rows),
                               .cell_size = gt[1],
                               .columns = columns,
                               .rows = rows};
  std::vector<double> expected(same.cell_count());
  range::bridge_ud(track, options, same, expected);
  const double largest = *std::max_element(expected.begin(), expected.end());
  double worst = 0.0;
  for (std::size_t i = 0; i < expected.size(); ++i)
    worst = std::max(worst, std::abs(static_cast<double>(cells[i]) - expected[i]));
  EXPECT_LE(worst, largest * 0x1p-24);
  EXPECT_GT(largest, 0.0);
}

struct TimeOrdered {
  std::vector<double> x, y, t;
  std::vector<double> error{15.0};
  explicit TimeOrdered(std::vector<TrackFix> fixes) {
    std::reverse(fixes.begin(), fixes.end());  // Walk writes the latest fix first
    for (const TrackFix& fix : fixes) {
      x.push_back(fix.x);
      y.push_back(fix.y);
      t.push_back(*fix.time);
    }
  }
  [[nodiscard]] range::BridgeTrack track() const { return {x, y, t, error}; }
};

TEST_F(OrvexBbmm, RasterIsTheBridgeUdOfTheSortedTrackWithTheLikelihoodS1) {
  const std::vector<TrackFix> fixes = Walk("A", 40, 500'000.0);
  const fs::path points = WriteTrack(folder_.path(), fixes);
  const OrvexRun run = Bbmm(points, {"--sigma2", "15", "--extent", "min", "--cell-size", "25", "--json"});
  ASSERT_EQ(run.exitCode, 0) << run.shown();

  const TimeOrdered ordered(fixes);
  const double sigma1 = range::estimate_sigma1(ordered.track(), range::TripletChoice::independent).sigma1;
  const nlohmann::json summary = nlohmann::json::parse(run.out);
  const nlohmann::json& raster = summary["outputs"][0];
  EXPECT_EQ(raster["kind"], "raster");
  EXPECT_EQ(raster["path"], (out_ / "bbmm0.tif").string());
  EXPECT_EQ(raster["animal"], "A");
  EXPECT_EQ(raster["sigma1"].get<double>(), sigma1);
  EXPECT_EQ(raster["sigma2"].get<double>(), 15.0);
  ExpectRasterIsTheBridgeUd(out_ / "bbmm0.tif", ordered.track(), {.sigma1 = sigma1});
}

TEST_F(OrvexBbmm, DynamicRasterIsTheBridgeUdWithTheWindowsS1PerInterval) {
  const std::vector<TrackFix> fixes = Walk("A", 40, 500'000.0);
  const fs::path points = WriteTrack(folder_.path(), fixes);
  const OrvexRun run = Bbmm(points, {"--sigma2", "15", "--dynamic", "--window", "11", "--margin", "3",
                                     "--extent", "min", "--cell-size", "25"});
  ASSERT_EQ(run.exitCode, 0) << run.shown();
  const TimeOrdered ordered(fixes);
  const range::DynamicSigma1 dynamic =
      range::estimate_dynamic_sigma1(ordered.track(), {.window = 11, .margin = 3});
  ExpectRasterIsTheBridgeUd(out_ / "bbmm0.tif", ordered.track(),
                            {.sigma1 = 1.0, .sigma1_per_interval = dynamic.sigma1_per_interval});
  // The default window of 31 fixes cannot run on 20: the animal is named, exit 1.
  const fs::path other = folder_ / "short";
  fs::create_directories(other);
  const OrvexRun shortTrack =
      Bbmm(WriteTrack(other, Walk("B", 20, 500'000.0)), {"--sigma2", "15", "--dynamic", "--yes"});
  EXPECT_EQ(shortTrack.exitCode, 1) << shortTrack.shown();
  EXPECT_NE(shortTrack.shown().find("B"), std::string::npos) << shortTrack.shown();
}

TEST_F(OrvexBbmm, BadInputFailsItsAnimalByNameAndTheOthersStillRun) {
  struct Case {
    const char* what;
    std::vector<TrackFix> bad;  // fixes of animal "B"
    TrackFile file;
    bool goodRuns;         // animal "A" still gets its raster
    const char* fragment;  // of the reason given for animal B
  };
  std::vector<TrackFix> missing = Walk("B", 10, 520'000.0);
  missing[3].time.reset();
  std::vector<TrackFix> flat = Walk("B", 10, 520'000.0);
  for (TrackFix& fix : flat) fix.time = 1200.0;
  const std::vector<TrackFix> two = Walk("B", 2, 520'000.0);
  const Case cases[] = {
      {"time missing", missing, {}, true, "has no time in 'Time2'"},
      {"times not increasing", flat, {}, true, "times do not increase"},
      {"fewer than three fixes", two, {}, true, "it has 2 fixes; a bridge needs 3 at least"},
      {"time field of text",
       Walk("B", 10, 520'000.0),
       {.timeType = host::FieldType::String},
       false,
       "holds text, not seconds"},
      {"degrees", Walk("B", 10, 12.0), {.epsg = 4326}, false, "in degrees"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const TempFolder folder;
    std::vector<TrackFix> fixes = c.file.epsg == 4326 ? Walk("A", 10, 11.0) : Walk("A", 10, 500'000.0);
    if (c.file.epsg == 4326)
      for (TrackFix& fix : fixes) fix.y = 48.0;
    fixes.insert(fixes.end(), c.bad.begin(), c.bad.end());
    const fs::path points = WriteTrack(folder.path(), fixes, c.file);
    const fs::path out = folder / "out";
    const OrvexRun run = runOrvex(folder.path(), {"bbmm", points.string(), "--id", "AnimalID", "--sigma2",
                                                  "10", "--extent", "min", "--out-dir", out.string()});
    EXPECT_EQ(run.exitCode, 1) << run.shown();
    const std::size_t line = run.err.find("for animal B: ");
    ASSERT_NE(line, std::string::npos) << run.shown();
    EXPECT_NE(run.err.substr(line, run.err.find('\n', line) - line).find(c.fragment), std::string::npos)
        << run.shown();
    EXPECT_EQ(fs::exists(out / "bbmm0.tif"), c.goodRuns);
    EXPECT_FALSE(fs::exists(out / "bbmm1.tif"));
  }
}

TEST_F(OrvexBbmm, ZeroLengthAndLongIntervalsAreReportedAndCarryNoBridge) {
  std::vector<TrackFix> fixes = Walk("A", 12, 500'000.0);
  fixes[4].time = fixes[5].time;  // stored newest first: fixes 6 and 7 of the track share a time
  *fixes[0].time += 100'000.0;    // the last interval is far longer than the others
  const fs::path points = WriteTrack(folder_.path(), fixes);
  const OrvexRun run = Bbmm(points, {"--sigma2", "10", "--max-gap", "3600", "--extent", "min", "--json"});
  ASSERT_EQ(run.exitCode, 0) << run.shown();
  const nlohmann::json summary = nlohmann::json::parse(run.out);
  std::vector<std::string> reasons;
  for (const nlohmann::json& failure : summary["failures"]) {
    EXPECT_EQ(failure["kind"], "skipped");
    EXPECT_EQ(failure["animal"], "A");
    reasons.push_back(failure["reason"]);
  }
  ASSERT_EQ(reasons.size(), 2u) << run.out;
  EXPECT_EQ(reasons[0].rfind("1 intervals of zero length", 0), 0u) << reasons[0];
  EXPECT_EQ(reasons[1].rfind("1 intervals over the largest gap", 0), 0u) << reasons[1];
  EXPECT_TRUE(fs::exists(out_ / "bbmm0.tif"));
}

TEST_F(OrvexBbmm, CommandLineRefusals) {
  const fs::path points = WriteTrack(folder_.path(), Walk("A", 10, 500'000.0));
  struct Case {
    std::vector<std::string> args;
    const char* fragment;
  };
  const Case cases[] = {
      {{}, "--sigma2 S or --sigma2-field FIELD"},
      {{"--sigma2", "10", "--window", "11"}, "belong to --dynamic"},
      {{"--sigma2", "10", "--sigma2-field", "Err"}, "excludes"},
      {{"--sigma2", "10", "--triplets", "even"}, "--triplets"},
  };
  for (const Case& c : cases) {
    const OrvexRun run = Bbmm(points, c.args);
    EXPECT_EQ(run.exitCode, 2) << run.shown();
    EXPECT_NE(run.err.find(c.fragment), std::string::npos) << run.shown();
  }
}

}  // namespace
}  // namespace orvex::test
