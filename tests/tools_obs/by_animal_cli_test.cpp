// `--by FIELD` of `orvex travel`, `dedup-time` and `dedup-xy` on a layer of three animals whose
// fixes are interleaved in stored order, as collar exports and Movebank files arrive: travel
// per animal equals travel on each animal alone, duplicates are found within an animal only,
// and without --by the whole-layer results stay with a warning of negative intervals.

#include <gdal_priv.h>
#include <gtest/gtest.h>
#include <ogrsf_frmts.h>

#include <algorithm>
#include <map>
#include <ostream>
#include <set>
#include <string>

#include "headless/headless_fixtures.h"
#include "support/orvex_process.h"

namespace {

using orvex::test::runOrvex;
using orvex::test::TempFolder;

constexpr const char* kTravelFields[] = {"T_Obs_Sec",  "T_Cumul",    "Dist",
                                         "Dist_Cumul", "Me_per_Sec", "Mi_per_hr"};

struct AnimalFix {
  int animal = 0;  ///< 1, 2, 3: stored as "A1" ... in a text field, as the number in an integer one; 0: none
  double x = 0.0;
  double y = 0.0;
  long long time2 = 0;
};

/// Writes a point shapefile in UTM 33N with "AnimalID" of `idType` and an integer "Time2";
/// FIDs follow the order given.
std::filesystem::path writeAnimals(const std::filesystem::path& folder, const std::string& name,
                                   const std::vector<AnimalFix>& fixes, OGRFieldType idType) {
  GDALAllRegister();
  const std::filesystem::path path = folder / (name + ".shp");
  GDALDriver* driver = GetGDALDriverManager()->GetDriverByName("ESRI Shapefile");
  GDALDatasetUniquePtr dataset(driver->Create(path.c_str(), 0, 0, 0, GDT_Unknown, nullptr));
  OGRSpatialReference utm;
  utm.importFromEPSG(32633);
  OGRLayer* layer = dataset->CreateLayer(name.c_str(), &utm, wkbPoint, nullptr);
  OGRFieldDefn id("AnimalID", idType);
  OGRFieldDefn time("Time2", OFTInteger64);
  layer->CreateField(&id);
  layer->CreateField(&time);
  for (const AnimalFix& fix : fixes) {
    OGRFeature feature(layer->GetLayerDefn());
    if (fix.animal == 0)
      ;  // no animal: the field left empty
    else if (idType == OFTString)
      feature.SetField("AnimalID", ("A" + std::to_string(fix.animal)).c_str());
    else
      feature.SetField("AnimalID", fix.animal);
    feature.SetField("Time2", static_cast<GIntBig>(fix.time2));
    OGRPoint point(fix.x, fix.y);
    feature.SetGeometry(&point);
    EXPECT_EQ(layer->CreateFeature(&feature), OGRERR_NONE);
  }
  return path;
}

/// Per FID: the six travel fields (nothing for an empty value).
using TravelRows = std::map<long long, std::vector<std::optional<double>>>;

TravelRows readTravel(const std::filesystem::path& shp) {
  TravelRows rows;
  GDALDatasetUniquePtr dataset(GDALDataset::Open(shp.c_str(), GDAL_OF_VECTOR | GDAL_OF_READONLY));
  if (!dataset) return rows;
  for (auto& feature : *dataset->GetLayer(0)) {
    auto& row = rows[feature->GetFID()];
    for (const char* field : kTravelFields) {
      const int index = feature->GetFieldIndex(field);
      row.push_back(index >= 0 && feature->IsFieldSetAndNotNull(index)
                        ? std::optional(feature->GetFieldAsDouble(index))
                        : std::nullopt);
    }
  }
  return rows;
}

/// The place and time of every fix (deletions renumber a shapefile's FIDs).
std::set<std::tuple<double, double, long long>> keysOf(const std::filesystem::path& shp) {
  std::set<std::tuple<double, double, long long>> keys;
  GDALDatasetUniquePtr dataset(GDALDataset::Open(shp.c_str(), GDAL_OF_VECTOR | GDAL_OF_READONLY));
  for (auto& feature : *dataset->GetLayer(0)) {
    const OGRPoint* point = feature->GetGeometryRef()->toPoint();
    keys.emplace(point->getX(), point->getY(), feature->GetFieldAsInteger64("Time2"));
  }
  return keys;
}

/// Three animals of four fixes, interleaved A1 A2 A3 A1 A2 A3 ...; A3's second and third fixes
/// are stored out of time order. Each animal moves 50 m (a 30-40-50 triangle) per step.
std::vector<AnimalFix> interleavedTrack() {
  const std::map<int, std::vector<long long>> times{{1, {1000, 1600, 2200, 2800}},
                                                    {2, {3000000, 3000900, 3001800, 3002700}},
                                                    {3, {7000000, 7001200, 7000600, 7001800}}};
  std::vector<AnimalFix> fixes;
  for (std::size_t step = 0; step < 4; ++step)
    for (const auto& [animal, animalTimes] : times) {
      // Positions follow time, so a fix stored out of order is also out of place in the walk.
      const auto rank = static_cast<double>(std::count_if(
          animalTimes.begin(), animalTimes.end(), [&](long long t) { return t < animalTimes[step]; }));
      fixes.push_back(
          {animal, 500000.0 + 10000.0 * animal + 30.0 * rank, 5000000.0 + 40.0 * rank, animalTimes[step]});
    }
  return fixes;
}

class TravelByAnimal : public ::testing::TestWithParam<OGRFieldType> {
 protected:
  TempFolder home;
  TempFolder data;
};

TEST_P(TravelByAnimal, RestartsAtEachAnimalAndEqualsEachAnimalAlone) {
  const auto fixes = interleavedTrack();
  const auto shp = writeAnimals(data.path(), "fixes", fixes, GetParam());
  const auto run = runOrvex(home.path(), {"travel", shp.string(), "--by", "AnimalID"});
  ASSERT_EQ(run.exitCode, 0) << run.shown();
  EXPECT_EQ(run.err.find("warning"), std::string::npos) << run.shown();
  const TravelRows byAnimal = readTravel(shp);

  for (int animal = 1; animal <= 3; ++animal) {
    SCOPED_TRACE("animal " + std::to_string(animal));
    // The animal alone, its fixes stored in time order: the design's whole-layer run.
    std::vector<std::pair<AnimalFix, long long>> own;  // fix, FID in the mixed layer
    for (std::size_t i = 0; i < fixes.size(); ++i)
      if (fixes[i].animal == animal) own.emplace_back(fixes[i], static_cast<long long>(i));
    std::sort(own.begin(), own.end(),
              [](const auto& a, const auto& b) { return a.first.time2 < b.first.time2; });
    std::vector<AnimalFix> alone;
    for (const auto& entry : own) alone.push_back(entry.first);
    TempFolder folder;
    const auto aloneShp = writeAnimals(folder.path(), "alone", alone, GetParam());
    const auto aloneRun = runOrvex(home.path(), {"travel", aloneShp.string()});
    ASSERT_EQ(aloneRun.exitCode, 0) << aloneRun.shown();
    const TravelRows aloneRows = readTravel(aloneShp);

    for (std::size_t k = 0; k < own.size(); ++k) {
      const auto& row = byAnimal.at(own[k].second);
      // Same arithmetic in the same order, written to fields of the same width: equal exactly.
      EXPECT_EQ(row, aloneRows.at(static_cast<long long>(k))) << "fix " << k << " in time order";
      ASSERT_TRUE(row[0].has_value());
      EXPECT_GE(*row[0], 0.0);
    }
    // The first fix restarts the animal: times 0, the other four fields left empty.
    const auto& first = byAnimal.at(own.front().second);
    EXPECT_EQ(first[0], 0.0);
    EXPECT_EQ(first[1], 0.0);
    EXPECT_FALSE(first[2].has_value());
    // Cumulative sums of the animal's own steps: 3 steps of 50 m; its last time minus its first.
    const auto& last = byAnimal.at(own.back().second);
    EXPECT_EQ(last[3], 150.0);
    EXPECT_EQ(last[1], static_cast<double>(own.back().first.time2 - own.front().first.time2));
  }
}

TEST_P(TravelByAnimal, WithoutByKeepsTheStoredOrderAndWarnsOfNegativeIntervals) {
  const auto fixes = interleavedTrack();
  const auto shp = writeAnimals(data.path(), "fixes", fixes, GetParam());
  const auto run = runOrvex(home.path(), {"travel", shp.string()});
  ASSERT_EQ(run.exitCode, 0) << run.shown();
  const TravelRows rows = readTravel(shp);
  // Independently, the design's walk over stored order: intervals from each fix to the next.
  int negative = 0;
  long long sum = 0;
  for (std::size_t i = 1; i < fixes.size(); ++i) {
    const long long dt = fixes[i].time2 - fixes[i - 1].time2;
    negative += dt < 0 ? 1 : 0;
    sum += dt;
    EXPECT_EQ(rows.at(static_cast<long long>(i))[0], static_cast<double>(dt)) << "fix " << i;
    EXPECT_EQ(rows.at(static_cast<long long>(i))[1], static_cast<double>(sum)) << "fix " << i;
  }
  ASSERT_EQ(negative, 3);  // each return to A1
  EXPECT_NE(run.err.find("orvex: warning: T_Obs_Sec is negative for 3 fixes"), std::string::npos)
      << run.shown();
}

INSTANTIATE_TEST_SUITE_P(AnimalFieldTypes, TravelByAnimal, ::testing::Values(OFTString, OFTInteger),
                         [](const auto& test) {
                           return std::string(OGRFieldDefn::GetFieldTypeName(test.param));
                         });

TEST(ByAnimalCli, ANameTheLayerLacksFailsBeforeAnythingChanges) {
  TempFolder home;
  TempFolder data;
  const auto shp = writeAnimals(data.path(), "fixes", interleavedTrack(), OFTString);
  for (const char* command : {"travel", "dedup-time", "dedup-xy"}) {
    const auto run = runOrvex(home.path(), {command, shp.string(), "--by", "Animal"});
    EXPECT_NE(run.exitCode, 0) << command;
    EXPECT_NE(run.err.find("has no field \"Animal\" (--by)"), std::string::npos) << run.shown();
  }
  EXPECT_EQ(readTravel(shp).at(0)[0], std::nullopt);
  EXPECT_EQ(keysOf(shp).size(), 12u);
}

TEST(ByAnimalCli, FixesWithoutAnAnimalAreLeftAsTheyWereWithAWarning) {
  TempFolder home;
  TempFolder data;
  // FID 1 has no animal; it shares A1's time and place, and would be A1's duplicate otherwise.
  const auto shp = writeAnimals(
      data.path(), "fixes", {{1, 600000, 5100000, 100}, {0, 600000, 5100000, 100}, {1, 600030, 5100040, 160}},
      OFTString);
  const auto travel = runOrvex(home.path(), {"travel", shp.string(), "--by", "AnimalID"});
  ASSERT_EQ(travel.exitCode, 0) << travel.shown();
  EXPECT_NE(travel.err.find("orvex: warning: 1 fix has no value of AnimalID: left as they were."),
            std::string::npos)
      << travel.shown();
  const TravelRows rows = readTravel(shp);
  EXPECT_EQ(rows.at(1), std::vector<std::optional<double>>(6));  // untouched
  EXPECT_EQ(rows.at(2)[0], 60.0);                                // A1's step skips it
  EXPECT_EQ(rows.at(2)[2], 50.0);
  for (const char* command : {"dedup-time", "dedup-xy"}) {
    const auto run = runOrvex(home.path(), {command, shp.string(), "--by", "AnimalID"});
    ASSERT_EQ(run.exitCode, 0) << run.shown();
    EXPECT_NE(run.err.find("1 selected fix has no value of AnimalID: not compared, not deleted."),
              std::string::npos)
        << run.shown();
    EXPECT_EQ(readTravel(shp).size(), 3u) << command;  // nothing deleted
  }
}

/// Duplicates shared by two animals (kept with --by), and duplicates within one (deleted).
std::vector<AnimalFix> duplicatesTrack() {
  return {
      {1, 600000, 5100000, 5000},  // 0: A1's time 5000, also A3's (FID 2)
      {2, 600100, 5100000, 8000},  // 1: A2's pair at 8000 (with FID 4)
      {3, 600200, 5100000, 5000},  // 2
      {1, 600300, 5100000, 6000},  // 3: A1's place, also A2's (FID 5)
      {2, 600400, 5100000, 8000},  // 4
      {2, 600300, 5100000, 9000},  // 5
      {3, 600500, 5100000, 7000},  // 6: A3's place twice (with FID 7)
      {3, 600500, 5100000, 7500},  // 7
  };
}

struct DedupCase {
  /// Test lists name a case by its command and scope, not by the bytes of its members.
  friend void PrintTo(const DedupCase& c, std::ostream* os) {
    *os << c.command << (c.byAnimal ? " --by" : "");
  }
  const char* command;
  bool byAnimal;
  std::set<long long> deleted;
};

class DedupByAnimal : public ::testing::TestWithParam<DedupCase> {};

TEST_P(DedupByAnimal, ComparesWithinEachAnimalOnlyWithBy) {
  const DedupCase& c = GetParam();
  TempFolder home;
  TempFolder data;
  const auto shp = writeAnimals(data.path(), "fixes", duplicatesTrack(), OFTString);
  std::vector<std::string> args{c.command, shp.string()};
  if (c.byAnimal) args.insert(args.end(), {"--by", "AnimalID"});
  const auto run = runOrvex(home.path(), args);
  ASSERT_EQ(run.exitCode, 0) << run.shown();
  std::set<std::tuple<double, double, long long>> expected;
  const auto track = duplicatesTrack();
  for (std::size_t fid = 0; fid < track.size(); ++fid)
    if (!c.deleted.contains(static_cast<long long>(fid)))
      expected.emplace(track[fid].x, track[fid].y, track[fid].time2);
  EXPECT_EQ(keysOf(shp), expected) << run.shown();
}

// Time: of a shared time the highest FID stays; place: the first met stays.
INSTANTIATE_TEST_SUITE_P(Tools, DedupByAnimal,
                         ::testing::Values(DedupCase{"dedup-time", true, {1}},
                                           DedupCase{"dedup-time", false, {0, 1}},
                                           DedupCase{"dedup-xy", true, {7}},
                                           DedupCase{"dedup-xy", false, {5, 7}}),
                         [](const ::testing::TestParamInfo<DedupCase>& param) {
                           std::string name = std::string(param.param.command) +
                                              (param.param.byAnimal ? "_by_animal" : "_whole_layer");
                           std::replace(name.begin(), name.end(), '-', '_');
                           return name;
                         });

}  // namespace
