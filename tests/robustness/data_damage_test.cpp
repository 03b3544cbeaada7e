// Edits of a user's file that damaged it silently: every edit keeps what it does not change
// (Z, M) and leaves the file as it was when it fails.

#include <gtest/gtest.h>

#include <fstream>
#include <set>

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

// A travel that fails (no UTM coordinate system, a fix without a position) added six empty
// fields to the user's file, or the fields of the fixes before the failure; only the design's
// stop at two fixes of one time keeps what it wrote. Each failure now leaves the set byte for
// byte as it was, with exit 1 naming the file.
TEST(DataDamage, AFailedTravelChangesNothing) {
  struct Case {
    const char* name;
    int epsg;
    const char* prj;  ///< written over the .prj when not null
    bool nullShape;
  };
  const Case cases[] = {
      {"degrees", 4326, nullptr, false},
      {"no .prj", 0, nullptr, false},
      {"garbage .prj", 32633, "PROJCS[garbage", false},
      {"a fix without a position", 32633, nullptr, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempFolder home("damage");
    auto features = circleFixes(30, c.epsg == 4326 ? 15.0 : 500000, c.epsg == 4326 ? 45.0 : 5000000);
    if (c.nullShape) features[12].wkt.clear();
    writeLayer(home / "fixes.shp", layerOf(features, wkbPoint, c.epsg));
    if (c.prj != nullptr) std::ofstream(home / "fixes.prj", std::ios::trunc) << c.prj;
    const auto before = snapshot(home.path());
    const OrvexRun run = runOrvex(home.path(), {"--yes", "travel", home / "fixes.shp"});
    EXPECT_EQ(run.exitCode, 1) << run.shown();
    EXPECT_NE(run.err.find("nothing was written for fixes.shp"), std::string::npos) << run.shown();
    auto after = snapshot(home.path());
    std::erase_if(after,
                  [](const auto& entry) { return entry.first.filename().string().starts_with("orvex."); });
    std::erase_if(after, [&](const auto& entry) { return !before.contains(entry.first); });
    EXPECT_EQ(changedFiles(before, after), "") << run.shown();
  }
}

}  // namespace

namespace {

/// Makes record `index` of the point shapefile `shp` unreadable: its shape type says polygon.
void damageRecord(const fs::path& shp, int index) {
  std::fstream file(shp, std::ios::in | std::ios::out | std::ios::binary);
  file.seekp(100 + 28 * index + 8);  // header, 28-byte point records, 8-byte record header
  const char polygon[4] = {5, 0, 0, 0};
  file.write(polygon, sizeof polygon);
}

// dedup-time and dedup-xy deleted duplicates around a fix without a position (dedup-xy took two
// such fixes for one place). Each in-place command now stops at a fix without a position or
// whose record cannot be read: exit 1, and the folder byte for byte as it was.
TEST(DataDamage, AnEditMeetingAFixWithoutAShapeChangesNothing) {
  for (const char* command : {"travel", "dedup-time", "dedup-xy"}) {
    for (const bool unreadable : {false, true}) {
      SCOPED_TRACE(std::string(command) + (unreadable ? " on an unreadable record" : " on a NULL shape"));
      TempFolder home("damage");
      const fs::path data = home / "data";
      fs::create_directories(data);
      auto features = circleFixes(40);
      if (std::string(command) != "travel") features[6] = features[5];  // travel stops there by design
      if (!unreadable) features[20].wkt.clear();
      writeLayer(data / "fixes.shp", layerOf(features, wkbPoint, 32633));
      if (unreadable) damageRecord(data / "fixes.shp", 20);
      const auto before = snapshot(data);
      const OrvexRun run = runOrvex(home.path(), {"--yes", command, data / "fixes.shp"});
      EXPECT_EQ(run.exitCode, 1) << run.shown();
      EXPECT_EQ(changedFiles(before, snapshot(data)), "") << run.shown();
    }
  }
}

// A GeoPackage was read through a shapefile copy that cut its field names to 10 characters:
// `--by individual_local_identifier` found no such field. The names now stay whole for --by,
// --where and --id, and an edit in place keeps them in the file.
TEST(DataDamage, GeoPackageFieldsKeepTheirLongNames) {
  TempFolder home("damage");
  TestLayer layer = layerOf(circleFixes(60));
  layer.fields = {{"individual_local_identifier", OFTString},
                  {"individual_taxon_canonical_name", OFTString},
                  {"Time2", OFTInteger}};
  for (std::size_t i = 0; i < layer.features.size(); ++i)
    layer.features[i].values = {{"individual_local_identifier", i % 2 == 0 ? "A" : "B"},
                                {"individual_taxon_canonical_name", "Canis lupus"},
                                {"Time2", std::to_string(1000000 + 3600 * i)}};
  writeLayer(home / "fixes.gpkg", layer);

  const OrvexRun mcp =
      runOrvex(home.path(),
               {"mcp", home / "fixes.gpkg", "--by", "individual_local_identifier", "--where",
                "individual_taxon_canonical_name = 'Canis lupus'", "--out", home / "out" / "m_{layer}.shp"});
  EXPECT_EQ(mcp.exitCode, 0) << mcp.shown();
  EXPECT_TRUE(fs::exists(home / "out" / "m_A.shp") && fs::exists(home / "out" / "m_B.shp")) << mcp.shown();
  const OrvexRun kde =
      runOrvex(home.path(), {"kde", home / "fixes.gpkg", "--id", "individual_local_identifier", "--bandwidth",
                             "href", "--out-dir", home / "kde"});
  EXPECT_EQ(kde.exitCode, 0) << kde.shown();

  const OrvexRun travel = runOrvex(home.path(), {"--yes", "travel", home / "fixes.gpkg"});
  EXPECT_EQ(travel.exitCode, 0) << travel.shown();
  GDALDatasetUniquePtr edited(GDALDataset::Open((home / "fixes.gpkg").c_str(), GDAL_OF_VECTOR));
  ASSERT_TRUE(edited);
  const OGRFeatureDefn* fields = edited->GetLayer(0)->GetLayerDefn();
  EXPECT_GE(fields->GetFieldIndex("individual_local_identifier"), 0);
  EXPECT_GE(fields->GetFieldIndex("individual_taxon_canonical_name"), 0);
  EXPECT_EQ(fields->GetFieldCount(), 3 + 6);  // the six travel fields added
}

// dedup-time compared 64-bit times as doubles: 2^53 and 2^53 + 1 were one time, and so were
// 10^18 - 2 and 10^18 - 1. Only the true repeat (2^53 + 1 twice) is deleted now. (A .dbf number
// field of 18 digits is the widest GDAL reads as whole numbers; wider ones it reads as reals.)
TEST(DataDamage, DedupTimeComparesSixtyFourBitTimesExactly) {
  TempFolder home("damage");
  const char* times[] = {"1000",
                         "9007199254740992",
                         "9007199254740993",
                         "9007199254740993",
                         "999999999999999998",
                         "999999999999999999"};
  TestLayer layer = layerOf(circleFixes(6));
  layer.fields = {{"AnimalID", OFTString}, {"Time2", OFTInteger64}};
  layer.widths = {{"Time2", 18}};
  for (std::size_t i = 0; i < layer.features.size(); ++i) layer.features[i].values["Time2"] = times[i];
  writeLayer(home / "fixes.shp", layer);
  const OrvexRun run = runOrvex(home.path(), {"--yes", "dedup-time", home / "fixes.shp"});
  EXPECT_EQ(run.exitCode, 0) << run.shown();
  EXPECT_NE(run.out.find("1 feature deleted"), std::string::npos) << run.shown();
  EXPECT_EQ(shapesOf(home / "fixes.shp").size(), 5U) << run.shown();
}

// A GeoPackage is read through a shapefile copy, which keeps a 64-bit field past 18 digits only
// as real numbers: two nanosecond times a few units apart became one, and dedup-time deleted a
// valid fix. An edit now refuses such a layer unchanged; a reading run says what it reads.
TEST(DataDamage, GeoPackageTimesOfNineteenDigitsAreNeverRounded) {
  TempFolder home("damage");
  TestLayer layer = layerOf(circleFixes(3));
  layer.fields = {{"AnimalID", OFTString}, {"Time2", OFTInteger64}};
  const char* times[] = {"1000", "9223372036854775806", "9223372036854775807"};
  for (std::size_t i = 0; i < layer.features.size(); ++i) layer.features[i].values["Time2"] = times[i];
  writeLayer(home / "fixes.gpkg", layer);
  const std::string before = readAll(home / "fixes.gpkg");
  const OrvexRun edit = runOrvex(home.path(), {"--yes", "dedup-time", home / "fixes.gpkg"});
  EXPECT_EQ(edit.exitCode, 1) << edit.shown();
  EXPECT_NE(edit.err.find("\"Time2\" hold whole numbers of more than 18 digits"), std::string::npos)
      << edit.shown();
  EXPECT_TRUE(readAll(home / "fixes.gpkg") == before) << edit.shown();
  const OrvexRun read = runOrvex(
      home.path(), {"mcp", home / "fixes.gpkg", "--percent", "100", "--out", (home / "m.shp").string()});
  EXPECT_EQ(read.exitCode, 0) << read.shown();
  EXPECT_NE(read.err.find("read as real numbers"), std::string::npos) << read.shown();
}

// import-movebank wrote shapefiles in GDAL's default code page, Latin-1, without a .cpg: two
// animals named in Chinese became one animal "?". The text is UTF-8 now, said by the .cpg.
TEST(DataDamage, AMovebankImportKeepsIdentifiersInAnyScript) {
  TempFolder home("damage");
  std::ofstream(home / "fixes.csv")
      << "event-id,timestamp,location-long,location-lat,individual-local-identifier\n"
         "1,2024-05-01 00:00:00,15.0,51.0,\xE7\x8B\xBC\xE4\xB8\x80\n"
         "2,2024-05-01 01:00:00,15.1,51.1,\xE7\x8B\xBC\xE4\xB8\x80\n"
         "3,2024-05-01 00:00:00,15.2,51.2,\xE7\x8B\xBC\xE4\xBA\x8C\n"
         "4,2024-05-01 01:00:00,15.3,51.3,\xE7\x8B\xBC\xE4\xBA\x8C\n";
  const OrvexRun run =
      runOrvex(home.path(), {"import-movebank", home / "fixes.csv", "--out", home / "out" / "fixes.shp"});
  ASSERT_EQ(run.exitCode, 0) << run.shown();
  EXPECT_EQ(readAll(home / "out" / "fixes.cpg"), "UTF-8");
  GDALAllRegister();
  GDALDatasetUniquePtr dataset(GDALDataset::Open((home / "out" / "fixes.shp").c_str(), GDAL_OF_VECTOR));
  ASSERT_TRUE(dataset);
  std::set<std::string> animals;
  for (auto& feature : *dataset->GetLayer(0)) animals.insert(feature->GetFieldAsString("AnimalID"));
  EXPECT_EQ(animals, (std::set<std::string>{"\xE7\x8B\xBC\xE4\xB8\x80", "\xE7\x8B\xBC\xE4\xBA\x8C"}));
}

}  // namespace
