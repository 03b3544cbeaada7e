// `orvex simulate` and `orvex demo`: the same seed gives the same files, the tracks look like
// telemetry (schedule, gaps, time fields, home ranges of a few square kilometres), existing
// outputs are kept without --yes, and the demo runs end to end.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>

#include "apps/orvex/simulate_model.h"
#include "mcp_command/mcp_command_support.h"

namespace {

using orvex::cli::SimulatedFix;
using orvex::cli::simulateTracks;
using orvex::cli::SimulationOptions;
using orvex::test::contains;
using orvex::test::readShapefile;
using orvex::test::runOrvex;
using orvex::test::TempFolder;

std::map<std::string, std::vector<SimulatedFix>> byAnimal(const std::vector<SimulatedFix>& fixes) {
  std::map<std::string, std::vector<SimulatedFix>> animals;
  for (const auto& fix : fixes) animals[fix.animal].push_back(fix);
  return animals;
}

TEST(SimulationRandom, IsTheSameSequenceForTheSameSeed) {
  orvex::cli::SimulationRandom a(42), b(42), c(43);
  for (int i = 0; i < 100; ++i) {
    const auto x = a.next();
    EXPECT_EQ(x, b.next());
    EXPECT_NE(x, c.next());
  }
  // Moments of 100000 deviates: the mean within 4 standard errors (4 / sqrt(n) = 0.013), the
  // variance within 0.02 of 1 (its standard error is sqrt(2 / n) = 0.0045).
  double sum = 0.0, squares = 0.0;
  constexpr int kDraws = 100000;
  for (int i = 0; i < kDraws; ++i) {
    const double z = a.normal();
    sum += z;
    squares += z * z;
  }
  EXPECT_NEAR(sum / kDraws, 0.0, 0.013);
  EXPECT_NEAR(squares / kDraws, 1.0, 0.02);
}

TEST(SimulateTracks, LooksLikeScheduledTelemetryWithGaps) {
  const auto fixes = simulateTracks({.animals = 4, .fixes = 600, .seed = 9});
  const auto animals = byAnimal(fixes);
  ASSERT_EQ(animals.size(), 4u);
  for (const auto& [id, track] : animals) {
    ASSERT_EQ(track.size(), 600u) << id;
    std::vector<std::int64_t> steps;
    for (std::size_t i = 1; i < track.size(); ++i) steps.push_back(track[i].time - track[i - 1].time);
    // Every 2, 3 or 4 hours with up to 2 minutes of jitter either side; missed fixes and
    // outages make longer steps, never shorter ones.
    const std::int64_t shortest = *std::min_element(steps.begin(), steps.end());
    const std::int64_t longest = *std::max_element(steps.begin(), steps.end());
    EXPECT_GE(shortest, 2 * 3600 - 240) << id;
    EXPECT_LE(shortest, 4 * 3600 + 240) << id;
    EXPECT_GE(longest, 12 * 3600) << id << ": 600 fixes without one long gap";

    // Home range: positions spread by hundreds of metres to a few kilometres.
    double mx = 0, my = 0;
    for (const auto& f : track)
      mx += f.east / static_cast<double>(track.size()), my += f.north / static_cast<double>(track.size());
    double spread = 0;
    for (const auto& f : track) spread += (f.east - mx) * (f.east - mx) + (f.north - my) * (f.north - my);
    spread = std::sqrt(spread / static_cast<double>(track.size()));
    EXPECT_GT(spread, 300.0) << id;
    EXPECT_LT(spread, 5000.0) << id;
    EXPECT_LT(std::hypot(mx, my), 20000.0)
        << id << ": homes lie within 15 km of the origin, plus the centre gap";
  }
}

class OrvexSimulate : public ::testing::Test {
 protected:
  TempFolder home;
  TempFolder data;
};

TEST_F(OrvexSimulate, TheSameSeedWritesTheSameFiles) {
  const auto first = runOrvex(home.path(), {"simulate", "--out", (data / "one").string(), "--seed", "7"});
  const auto second = runOrvex(home.path(), {"simulate", "--out", (data / "two").string(), "--seed", "7"});
  const auto other = runOrvex(home.path(), {"simulate", "--out", (data / "three").string(), "--seed", "8"});
  ASSERT_EQ(first.exitCode, 0) << first.shown();
  ASSERT_EQ(second.exitCode, 0) << second.shown();
  ASSERT_EQ(other.exitCode, 0) << other.shown();
  for (const char* part : {"fixes.shp", "fixes.shx", "fixes.dbf", "fixes.prj"}) {
    const std::string bytes = orvex::test::readAll(data / "one" / part);
    EXPECT_FALSE(bytes.empty()) << part;
    EXPECT_EQ(bytes, orvex::test::readAll(data / "two" / part)) << part;
  }
  EXPECT_NE(orvex::test::readAll(data / "one" / "fixes.shp"),
            orvex::test::readAll(data / "three" / "fixes.shp"));
  EXPECT_EQ(first.out, (data / "one" / "fixes.shp").string() + ": 1500 fixes of 3 animals (EPSG:32633)\n");
}

TEST_F(OrvexSimulate, WritesTelemetryFieldsInTheChosenCoordinateSystem) {
  const auto run = runOrvex(home.path(), {"simulate", "--out", data.path().string(), "--animals", "2",
                                          "--fixes", "100", "--crs", "EPSG:32633"});
  ASSERT_EQ(run.exitCode, 0) << run.shown();
  const auto written = readShapefile(data / "fixes.shp");
  ASSERT_TRUE(written.opened);
  EXPECT_EQ(written.geometry, wkbPoint);
  EXPECT_EQ(written.epsg, 32633);
  ASSERT_EQ(written.fields.size(), 4u);
  EXPECT_EQ(written.fields[0].name, "AnimalID");
  EXPECT_EQ(written.fields[0].type, OFTString);
  EXPECT_EQ(written.fields[1].name, "Time2");
  EXPECT_EQ(written.fields[1].width, 10);
  EXPECT_EQ(written.fields[2].name, "Time1");
  EXPECT_EQ(written.fields[2].width, 8);
  EXPECT_EQ(written.fields[3].name, "Date");
  EXPECT_EQ(written.fields[3].type, OFTDate);
  ASSERT_EQ(written.features.size(), 200u);

  std::map<std::string, double> lastTime;
  for (const auto& fix : written.features) {
    const double t = fix.number.at("Time2");
    const std::string id = fix.text.at("AnimalID");
    if (lastTime.count(id)) {
      EXPECT_GT(t, lastTime[id]) << id;
    }
    lastTime[id] = t;
    // Time1 and Date say the same instant as Time2 (UTC).
    const auto seconds = static_cast<long long>(t);
    const long long ofDay = seconds % 86400;
    char clock[16];
    std::snprintf(clock, sizeof clock, "%02lld:%02lld:%02lld", ofDay / 3600, ofDay / 60 % 60, ofDay % 60);
    EXPECT_EQ(fix.text.at("Time1"), clock);
    const std::time_t day = static_cast<std::time_t>(seconds);
    std::tm utc{};
    gmtime_r(&day, &utc);
    char date[16];
    std::strftime(date, sizeof date, "%Y/%m/%d", &utc);
    EXPECT_EQ(fix.text.at("Date"), date);
    // 15 E 51 N lies at about (500000, 5650000) in UTM zone 33 N; homes are within ~20 km.
    EXPECT_NEAR(fix.x, 500000.0, 30000.0);
    EXPECT_NEAR(fix.y, 5650000.0, 30000.0);
  }
  EXPECT_EQ(lastTime.size(), 2u);
}

TEST_F(OrvexSimulate, AnExistingOutputIsKeptWithoutYes) {
  const std::string folder = data.path().string();
  ASSERT_EQ(runOrvex(home.path(), {"simulate", "--out", folder, "--fixes", "10"}).exitCode, 0);
  const auto again = runOrvex(home.path(), {"simulate", "--out", folder, "--fixes", "20"});
  EXPECT_EQ(again.exitCode, 1) << again.shown();
  EXPECT_TRUE(contains(again.err, "exists; --yes replaces it")) << again.shown();
  EXPECT_EQ(readShapefile(data / "fixes.shp").features.size(), 30u);

  const auto replaced = runOrvex(home.path(), {"--yes", "simulate", "--out", folder, "--fixes", "20"});
  EXPECT_EQ(replaced.exitCode, 0) << replaced.shown();
  EXPECT_EQ(readShapefile(data / "fixes.shp").features.size(), 60u);
}

TEST(OrvexDemo, SimulatesAndRunsTheAnalysesTwice) {
  TempFolder home;
  TempFolder data;
  const auto folder = data / "demo";
  for (int run = 0; run < 2; ++run) {  // the second run replaces the first one's outputs
    const auto demo = runOrvex(home.path(), {"demo", "--out", folder.string()});
    ASSERT_EQ(demo.exitCode, 0) << demo.shown();
    EXPECT_TRUE(contains(demo.out, "] Simulate")) << demo.shown();
    EXPECT_TRUE(contains(demo.out, "] Minimum convex polygons")) << demo.shown();
    EXPECT_TRUE(contains(demo.out, "The demo's outputs are in " + folder.string())) << demo.shown();
    for (const char* animal : {"A1", "A2", "A3"}) {
      for (const char* percent : {"95", "50"}) {
        const auto file = folder / "mcp" / (std::string(animal) + "_mcp" + percent + ".shp");
        const auto written = readShapefile(file);
        ASSERT_EQ(written.features.size(), 1u) << file;
        EXPECT_EQ(written.features[0].number.at("NPoints"), 500);
        EXPECT_TRUE(contains(demo.out, file.string() + ": 1 feature, Area ")) << demo.shown();
      }
      // 50 percent of the fixes span less than 95 percent of them.
      EXPECT_LT(readShapefile(folder / "mcp" / (std::string(animal) + "_mcp50.shp")).features[0].area,
                readShapefile(folder / "mcp" / (std::string(animal) + "_mcp95.shp")).features[0].area);
    }
  }
}

}  // namespace
