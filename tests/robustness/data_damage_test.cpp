// Edits of a user's file that damaged it silently: every edit keeps what it does not change
// (Z, M) and leaves the file as it was when it fails.

#include <gtest/gtest.h>

#include "robustness/robustness_support.h"
#include "support/orvex_process.h"
#include "support/temp_folder.h"

namespace {

namespace fs = std::filesystem;
using namespace orvex::test;

/// Each remaining feature's geometry as ISO WKT, in file order.
std::vector<std::string> shapesOf(const fs::path& file) {
  GDALDatasetUniquePtr dataset(GDALDataset::Open(file.c_str(), GDAL_OF_VECTOR));
  std::vector<std::string> shapes;
  if (!dataset) return shapes;
  for (auto& feature : *dataset->GetLayer(0)) {
    const OGRGeometry* shape = feature->GetGeometryRef();
    shapes.push_back(shape == nullptr ? "" : shape->exportToWkt(OGRWktOptions()));
  }
  return shapes;
}

/// 40 fixes with Z = 100 + i and M = i / 2 (kept as the type allows); with `duplicate` the 7th
/// at the time and place of the 6th (for dedup-time and dedup-xy), with `stop` the 30th at the
/// time of the 29th (where travel stops by design, the earlier fixes written).
TestLayer measuredFixes(OGRwkbGeometryType type, bool duplicate, bool stop) {
  std::vector<TestFeature> features = circleFixes(40);
  for (std::size_t i = 0; i < features.size(); ++i) {
    const std::string point = features[i].wkt.substr(7, features[i].wkt.size() - 8);
    const std::string z = std::to_string(100 + i);
    const std::string m = std::to_string(0.5 * static_cast<double>(i));
    features[i].wkt = OGR_GT_HasZ(type) && OGR_GT_HasM(type) ? "POINT ZM (" + point + " " + z + " " + m + ")"
                      : OGR_GT_HasZ(type)                    ? "POINT Z (" + point + " " + z + ")"
                                                             : "POINT M (" + point + " " + m + ")";
  }
  if (duplicate) features[6] = features[5];
  if (stop) features[29].values["Time2"] = *features[28].values["Time2"];
  return layerOf(std::move(features), type);
}

struct MeasuredEdit {
  const char* command;
  OGRwkbGeometryType type;
  bool stop;
};

// travel on a PointZ shapefile set every Z to 0 and on PointM dropped M, on success and when it
// stops at equal times; every in-place command keeps each remaining fix's shape whole.
TEST(DataDamage, InPlaceEditsKeepZAndM) {
  const MeasuredEdit cases[] = {
      {"travel", wkbPoint25D, false},  {"travel", wkbPointM, false},     {"travel", wkbPointZM, false},
      {"travel", wkbPoint25D, true},   {"travel", wkbPointM, true},      {"dedup-time", wkbPointZM, false},
      {"dedup-xy", wkbPointZM, false}, {"dedup-time", wkbPointM, false},
  };
  for (const MeasuredEdit& edit : cases) {
    SCOPED_TRACE(std::string(edit.command) + " on " + OGRGeometryTypeToName(edit.type) +
                 (edit.stop ? " stopping at equal times" : ""));
    TempFolder home("damage");
    const bool travel = std::string(edit.command) == "travel";
    writeLayer(home / "fixes.shp", measuredFixes(edit.type, !travel, edit.stop));
    const auto before = shapesOf(home / "fixes.shp");
    const OrvexRun run = runOrvex(home.path(), {"--yes", edit.command, home / "fixes.shp"});
    EXPECT_EQ(run.exitCode, edit.stop ? 1 : 0) << run.shown();
    auto after = shapesOf(home / "fixes.shp");
    if (!travel) after.insert(after.begin() + 6, before[6]);  // the duplicate removed
    EXPECT_EQ(after, before) << run.shown();
  }
}

// A GeoPackage whose layer holds 3 geometry blobs GDAL cannot read: each edit used to be
// committed (12 rows deleted, six fields added) and then reported as "nothing was changed".
// Every edit now stops with exit 1 and the file is byte for byte as it was.
TEST(DataDamage, AGeoPackageEditGdalComplainsAboutChangesNothing) {
  for (const char* command : {"travel", "dedup-time", "dedup-xy"}) {
    SCOPED_TRACE(command);
    TempFolder home("damage");
    auto features = circleFixes(60);
    for (std::size_t i = 10; i < features.size(); i += 5) features[i + 1] = features[i];  // duplicates
    writeLayer(home / "fixes.gpkg", layerOf(features));
    {
      GDALDatasetUniquePtr dataset(
          GDALDataset::Open((home / "fixes.gpkg").c_str(), GDAL_OF_VECTOR | GDAL_OF_UPDATE));
      ASSERT_TRUE(dataset);
      dataset->ExecuteSQL("UPDATE fixes SET geom = X'4750000100000000DEADBEEF' WHERE fid IN (3, 4, 5)",
                          nullptr, nullptr);
    }
    const std::string before = readAll(home / "fixes.gpkg");
    const OrvexRun run = runOrvex(home.path(), {"--yes", command, home / "fixes.gpkg"});
    EXPECT_EQ(run.exitCode, 1) << run.shown();
    EXPECT_NE(run.err.find("nothing was changed"), std::string::npos) << run.shown();
    EXPECT_TRUE(readAll(home / "fixes.gpkg") == before) << run.shown();
  }
}

}  // namespace
