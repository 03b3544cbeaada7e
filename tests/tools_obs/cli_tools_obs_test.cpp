// `orvex travel`, `orvex dedup-time` and `orvex dedup-xy` run as a user would on copies of the
// real tracks, the results read back with GDAL and checked against the tools' rules computed
// here independently from the original files.

#include <gdal_priv.h>
#include <gtest/gtest.h>
#include <ogrsf_frmts.h>

#include <cmath>
#include <map>
#include <set>

#include "headless/headless_fixtures.h"
#include "support/orvex_process.h"

namespace {

using orvex::test::OrvexRun;
using orvex::test::readAll;
using orvex::test::runOrvex;
using orvex::test::TempFolder;

struct Fix {
  long long fid = 0;
  double x = 0.0;
  double y = 0.0;
  long long time2 = 0;
  std::map<std::string, std::optional<double>> extra;  ///< the travel fields, when present
  bool operator<(const Fix& other) const { return fid < other.fid; }
};

/// Every feature of a point shapefile, read with GDAL directly (not through the platform).
std::vector<Fix> readFixes(const std::filesystem::path& shp) {
  GDALAllRegister();
  std::vector<Fix> fixes;
  GDALDatasetUniquePtr dataset(GDALDataset::Open(shp.c_str(), GDAL_OF_VECTOR | GDAL_OF_READONLY));
  if (!dataset) return fixes;
  OGRLayer* layer = dataset->GetLayer(0);
  const OGRFeatureDefn* defn = layer->GetLayerDefn();
  for (auto& feature : *layer) {
    Fix fix;
    fix.fid = feature->GetFID();
    const OGRPoint* point = feature->GetGeometryRef()->toPoint();
    fix.x = point->getX();
    fix.y = point->getY();
    fix.time2 = feature->GetFieldAsInteger64("Time2");
    for (int i = 0; i < defn->GetFieldCount(); ++i) {
      const std::string name = defn->GetFieldDefn(i)->GetNameRef();
      if (defn->GetFieldDefn(i)->GetType() != OFTReal) continue;
      fix.extra[name] =
          feature->IsFieldSetAndNotNull(i) ? std::optional(feature->GetFieldAsDouble(i)) : std::nullopt;
    }
    fixes.push_back(fix);
  }
  return fixes;
}

/// Copies every file of a shared track into `folder`; false when the shared data are absent.
bool copyTrack(const std::string& name, const std::filesystem::path& folder) {
  const std::filesystem::path source = std::filesystem::path(ORVEX_SHARED_DATA) / name;
  if (!std::filesystem::exists(source / (name + ".shp"))) return false;
  for (const auto& entry : std::filesystem::directory_iterator(source))
    if (entry.path().stem() == name)
      std::filesystem::copy_file(entry.path(), folder / entry.path().filename());
  return true;
}

/// The positions and times of `fixes` without those of the ids in `gone`, in stored order.
std::vector<std::tuple<double, double, long long>> without(const std::vector<Fix>& fixes,
                                                           const std::set<long long>& gone) {
  std::vector<std::tuple<double, double, long long>> kept;
  for (const Fix& fix : fixes)
    if (!gone.contains(fix.fid)) kept.emplace_back(fix.x, fix.y, fix.time2);
  return kept;
}

std::vector<std::tuple<double, double, long long>> keysOf(const std::vector<Fix>& fixes) {
  return without(fixes, {});
}

class OrvexToolsOnTracks : public ::testing::Test {
 protected:
  TempFolder home;
  TempFolder data;

  void SetUp() override {
    if (!copyTrack("sh", data.path()))
      GTEST_SKIP() << "shared telemetry data not found in " << ORVEX_SHARED_DATA;
  }
  std::string sh() const { return (data / "sh.shp").string(); }
};

TEST_F(OrvexToolsOnTracks, DedupTimeDeletesAllButTheHighestFidOfEachTime) {
  const auto before = readFixes(sh());
  // Independently: per Time2, every fix but the one of the highest FID.
  std::map<long long, long long> highest;
  for (const Fix& fix : before) highest[fix.time2] = std::max(highest[fix.time2], fix.fid);
  std::set<long long> expected;
  for (const Fix& fix : before)
    if (highest[fix.time2] != fix.fid) expected.insert(fix.fid);
  ASSERT_EQ(expected.size(), 7u);  // the data set's 7 exact duplicate fixes

  const auto run = runOrvex(home.path(), {"dedup-time", sh()});
  ASSERT_EQ(run.exitCode, 0) << run.shown();
  EXPECT_NE(run.err.find("Deleted 7 duplicate features\n"), std::string::npos) << run.shown();
  for (const long long fid : expected)
    EXPECT_NE(run.out.find("deleted FID " + std::to_string(fid) + " ("), std::string::npos) << run.shown();
  EXPECT_EQ(keysOf(readFixes(sh())), without(before, expected));
}

TEST_F(OrvexToolsOnTracks, DedupXyDeletesEveryRepeatOfAnEarlierPosition) {
  const auto before = readFixes(sh());
  // Independently: in stored order, a fix at a position met before is a repeat. Distinct
  // positions of the set are metres apart, so exact equality matches the 1 mm tolerance.
  std::set<std::pair<double, double>> seen;
  std::set<long long> expected;
  for (const Fix& fix : before)
    if (!seen.insert({fix.x, fix.y}).second) expected.insert(fix.fid);
  ASSERT_EQ(expected.size(), 15u);  // the data set's 15 repeated positions

  const auto run = runOrvex(home.path(), {"dedup-xy", sh()});
  ASSERT_EQ(run.exitCode, 0) << run.shown();
  EXPECT_NE(run.out.find("15 features deleted\n"), std::string::npos) << run.shown();
  EXPECT_EQ(keysOf(readFixes(sh())), without(before, expected));
}

TEST_F(OrvexToolsOnTracks, DryRunReportsAndChangesNothingWhereSelectsTheCandidates) {
  const std::string dbf = readAll(data / "sh.dbf");
  const std::string shp = readAll(data / "sh.shp");
  // The first two duplicate pairs are at 1208088054 (FIDs 64, 65) and 1208109714 (66, 67).
  const auto run = runOrvex(home.path(), {"dedup-time", sh(), "--dry-run", "--where", "Time2 < 1208131226"});
  ASSERT_EQ(run.exitCode, 0) << run.shown();
  EXPECT_EQ(run.out,
            "would delete FID 64 (3555968, 5999530; Time2 1208088054)\n"
            "would delete FID 66 (3556064, 5999723; Time2 1208109714)\n"
            "2 features would be deleted\n")
      << run.shown();
  EXPECT_EQ(readAll(data / "sh.dbf"), dbf);
  EXPECT_EQ(readAll(data / "sh.shp"), shp);
}

TEST_F(OrvexToolsOnTracks, TravelRefusesCoordinatesOutsideUtm) {
  // sh is in Gauss-Kruger coordinates: the design stops at the first fix, and a failure changes
  // nothing in the user's file (no empty fields are added).
  const std::string dbf = readAll(std::filesystem::path(sh()).replace_extension(".dbf"));
  const auto run = runOrvex(home.path(), {"travel", sh()});
  EXPECT_EQ(run.exitCode, 1) << run.shown();
  EXPECT_NE(
      run.err.find("The fields have not been calculated! The data needs to be in and defined with a UTM "
                   "projection.\n"),
      std::string::npos)
      << run.shown();
  EXPECT_EQ(readAll(std::filesystem::path(sh()).replace_extension(".dbf")), dbf);
}

TEST(OrvexTravel, FillsTheSixFieldsOfAUtmTrack) {
  TempFolder home;
  TempFolder data;
  if (!copyTrack("albatross", data.path()))
    GTEST_SKIP() << "shared telemetry data not found in " << ORVEX_SHARED_DATA;
  const auto shp = data / "albatross.shp";
  const auto before = readFixes(shp);
  const auto run = runOrvex(home.path(), {"travel", shp.string()});
  ASSERT_EQ(run.exitCode, 0) << run.shown();
  EXPECT_EQ(run.out, "albatross: travel fields written for 4400 fixes\n");

  const auto after = readFixes(shp);
  ASSERT_EQ(after.size(), before.size());
  EXPECT_EQ(after[0].extra.at("T_Obs_Sec"), 0.0);
  EXPECT_EQ(after[0].extra.at("T_Cumul"), 0.0);
  EXPECT_FALSE(after[0].extra.at("Dist").has_value());
  // Every later fix, recomputed here from the coordinates and times read with GDAL. Tolerances:
  // half the last kept decimal, plus a little for the stored text.
  double distSum = 0.0;
  long long timeSum = 0;
  for (std::size_t i = 1; i < after.size(); ++i) {
    SCOPED_TRACE("fix " + std::to_string(i));
    const double dist = std::hypot(before[i].x - before[i - 1].x, before[i].y - before[i - 1].y);
    const long long dt = before[i].time2 - before[i - 1].time2;
    distSum += dist;
    timeSum += dt;
    const auto& e = after[i].extra;
    ASSERT_TRUE(e.at("Mi_per_hr").has_value());
    EXPECT_EQ(*e.at("T_Obs_Sec"), static_cast<double>(dt));
    EXPECT_EQ(*e.at("T_Cumul"), static_cast<double>(timeSum));
    EXPECT_NEAR(*e.at("Dist"), dist, 0.5 + 1e-9);
    EXPECT_NEAR(*e.at("Dist_Cumul"), distSum, 0.5 + 1e-6);
    EXPECT_NEAR(*e.at("Me_per_Sec"), dist / static_cast<double>(dt), 0.00005 + 1e-12);
    EXPECT_NEAR(*e.at("Mi_per_hr"), dist * 3.28 / 5280 / (static_cast<double>(dt) / 3600), 0.0000005 + 1e-9);
  }
}

}  // namespace
