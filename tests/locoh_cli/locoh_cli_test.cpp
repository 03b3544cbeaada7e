// `orvex locoh` end to end: the isopleth shapefiles hold what range::locoh_isopleths gives on
// the same fixes, --json lists them by animal, and bad requests are refused before any file is
// written.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "host/geometry_service.h"
#include "platform/gdal/gdal_platform.h"
#include "range/locoh/locoh_isopleths.h"
#include "robustness/robustness_support.h"
#include "support/orvex_process.h"
#include "support/shapefile_readback.h"
#include "support/temp_folder.h"

namespace orvex {
namespace {

namespace fs = std::filesystem;

constexpr double kX0 = 500000, kY0 = 5000000;

/// A point as the layer writer reads it, to the last bit.
std::string xy(double x, double y) {
  char text[64];
  std::snprintf(text, sizeof text, "XY %.17g %.17g", x, y);
  return text;
}

/// Animal "7": the corners of a 2 x 2 square and its centre (hulls worked by hand in the range
/// tests: k = 3 gives areas 1 at 60 %, 2 at 80 %, 3 at 100 %); animal "12": 40 scattered fixes.
/// A fix without an ID belongs to no animal.
class LocohCommand : public ::testing::Test {
 protected:
  void SetUp() override {
    std::vector<test::TestFeature> features;
    const auto add = [&](const std::string& id, double x, double y) {
      features.push_back({xy(x, y), {{"AnimalID", id}}});
    };
    const double sx[] = {0, 2, 2, 0, 1}, sy[] = {0, 0, 2, 2, 1};
    for (int i = 0; i < 5; ++i) add("7", kX0 + sx[i], kY0 + sy[i]);
    for (int i = 1; i <= 40; ++i) {
      scatterX_.push_back(kX0 + 1000.0 * std::fmod(i * 0.618034, 1.0) + 37.0 * std::sin(i));
      scatterY_.push_back(kY0 + 1000.0 * std::fmod(i * 0.414214, 1.0) + 23.0 * std::cos(3.0 * i));
      add("12", scatterX_.back(), scatterY_.back());
    }
    features.push_back({"XY 0 0", {{"AnimalID", std::nullopt}}});
    layer_ = test::layerOf(features);
    layer_.fields = {{"AnimalID", OFTString}};
    test::writeLayer(input_, layer_);
  }

  test::OrvexRun locoh(std::vector<std::string> args, const std::string& id = "AnimalID") {
    args.insert(args.begin(), {"locoh", input_.string(), "--id", id});
    return test::runOrvex(dir_.path(), args);
  }

  test::TempFolder dir_{"locoh_cli"};
  fs::path input_ = dir_ / "fixes.shp";
  test::TestLayer layer_;
  std::vector<double> scatterX_, scatterY_;
};

TEST_F(LocohCommand, WritesTheIsoplethsOfEachAnimalAndListsThemByAnimal) {
  const fs::path out = dir_ / "out";
  const test::OrvexRun run = locoh({"--method", "k", "--param", "3", "--isopleths", "60,100,80", "--out-dir",
                                    out.string(), "--hulls", "--json"});
  ASSERT_EQ(run.exitCode, 0) << run.shown();

  const auto geometry = platform::gdal::makeGeometryService();
  const std::vector<double> percents{60, 100, 80};
  const auto expected = range::locoh_isopleths(
      range::locoh_hulls(scatterX_, scatterY_, {range::LocohMethod::k, 3, 1}), percents, *geometry, 1);
  struct Animal {
    std::string id;
    std::vector<double> areas;
    std::vector<double> fixes;
  };
  // Text IDs in text order: "12" before "7".
  const Animal animals[] = {
      {"12",
       {expected[0].area, expected[1].area, expected[2].area},
       {double(expected[0].fixes), double(expected[1].fixes), double(expected[2].fixes)}},
      {"7", {1, 3, 2}, {3, 5, 4}},
  };
  const nlohmann::json summary = nlohmann::json::parse(run.out);
  ASSERT_EQ(summary["outputs"].size(), 4u) << run.out;  // isopleths and hulls of each, in ID order
  for (std::size_t a = 0; a < 2; ++a) {
    const fs::path shp = out / (animals[a].id + "_locoh.shp");
    const nlohmann::json& listed = summary["outputs"][2 * a];
    EXPECT_EQ(listed["path"], shp.string());
    EXPECT_EQ(listed["kind"], "shapefile");
    EXPECT_EQ(listed["animal"], animals[a].id);
    EXPECT_EQ(summary["outputs"][2 * a + 1]["animal"], animals[a].id);
    const test::ShpContents contents = test::readShapefile(shp);
    ASSERT_EQ(contents.features.size(), 3u) << shp;
    EXPECT_EQ(contents.epsg, 32642);
    for (std::size_t i = 0; i < 3; ++i) {
      const test::ShpFeature& f = contents.features[i];
      const double area = animals[a].areas[i];
      EXPECT_EQ(f.numberOf("Percent"), percents[i]);
      EXPECT_EQ(f.numberOf("NFixes"), animals[a].fixes[i]);
      EXPECT_NEAR(f.numberOf("Area"), area, 5e-7);  // the table keeps 6 decimals
      EXPECT_NEAR(listed["areas"][i].get<double>(), area, 1e-9 * area);
      EXPECT_NEAR(f.area, area, 1e-9 * area);  // the polygon itself, measured by GEOS
    }
  }
  EXPECT_EQ(test::readShapefile(out / "7_locoh_hulls.shp").features.size(), 5u);
}

TEST_F(LocohCommand, SuggestsAndScansWithoutWritingFiles) {
  const test::OrvexRun suggest = locoh({"--method", "k", "--suggest"});
  ASSERT_EQ(suggest.exitCode, 0) << suggest.shown();
  // Animal 7 by hand: round(sqrt 5) = 2, raised to 3; nearest neighbours all sqrt 2 apart; the
  // diagonal 2 sqrt 2.
  EXPECT_NE(suggest.out.find("animal,fixes,k,r,a\n12,40,6,"), std::string::npos) << suggest.out;
  std::istringstream lines(suggest.out.substr(suggest.out.find("\n7,")));
  std::string line;
  std::getline(lines, line);
  std::getline(lines, line);
  double r = 0, a = 0;
  ASSERT_EQ(std::sscanf(line.c_str(), "7,5,3,%lf,%lf", &r, &a), 2) << line;
  EXPECT_NEAR(r, std::sqrt(2.0) / 2, 1e-12);  // printed to 17 digits
  EXPECT_NEAR(a, 2 * std::sqrt(2.0), 1e-12);

  const test::OrvexRun scan = locoh({"--method", "k", "--scan", "3,10", "--isopleths", "100"});
  ASSERT_EQ(scan.exitCode, 0) << scan.shown();
  // k = 10 is all five fixes of animal 7: the square.
  EXPECT_NE(scan.out.find("animal,k,area100\n12,3,"), std::string::npos) << scan.out;
  EXPECT_NE(scan.out.find("\n7,3,3\n7,10,4\n"), std::string::npos) << scan.out;
  EXPECT_FALSE(fs::exists(dir_ / "out"));
}

// A GeoPackage layer, each animal with its own starting k (--param auto): animal 7's is 3 (see
// above), animal 12's round(sqrt 40) = 6.
TEST_F(LocohCommand, ReadsAGeoPackageAndTakesEachAnimalsStartingValue) {
  input_ = dir_ / "fixes.gpkg";
  test::writeLayer(input_, layer_);
  const fs::path out = dir_ / "out";
  const test::OrvexRun run =
      locoh({"--method", "k", "--param", "auto", "--isopleths", "100", "--out-dir", out.string()});
  ASSERT_EQ(run.exitCode, 0) << run.shown();
  const auto geometry = platform::gdal::makeGeometryService();
  const std::vector<double> all{100.0};
  const auto expected = range::locoh_isopleths(
      range::locoh_hulls(scatterX_, scatterY_, {range::LocohMethod::k, 6, 1}), all, *geometry, 1);
  using Case = std::tuple<std::string, std::string, double>;  // animal, its report, its area
  for (const auto& [id, k, area] :
       std::vector<Case>{{"7", "k = 3,", 3.0}, {"12", "k = 6,", expected[0].area}}) {
    EXPECT_NE(run.out.find(k), std::string::npos) << run.out;
    const test::ShpContents contents = test::readShapefile(out / (id + "_locoh.shp"));
    ASSERT_EQ(contents.features.size(), 1u) << id;
    EXPECT_NEAR(contents.features[0].area, area, 1e-9 * area) << id;  // GEOS's area of the polygon
  }
}

TEST_F(LocohCommand, RefusesBadRequestsBeforeWritingAnything) {
  const fs::path out = dir_ / "out";
  fs::create_directories(out);
  std::ofstream(out / "12_locoh.shp") << "kept";
  test::writeLayer(dir_ / "degrees.shp", test::layerOf({{"XY 10 50", {{"AnimalID", "A"}}}}, wkbPoint, 4326));
  struct Case {
    std::vector<std::string> args;
    int exit;
    std::string message;
    std::string id = "AnimalID";
  };
  const std::vector<Case> cases{
      {{"--method", "x", "--param", "3"}, 2, "--method"},
      {{"--method", "k", "--param", "2.5"}, 2, "whole number"},
      {{"--method", "r", "--param", "-1"}, 2, "positive"},
      {{"--method", "k"}, 2, "--param"},
      {{"--method", "k", "--param", "3", "--isopleths", "0,50"}, 2, "(0, 100]"},
      {{"--method", "a", "--scan", "100,x"}, 2, "--scan"},
      {{"--method", "k", "--param", "3"}, 1, "'Nope'", "Nope"},
      {{"--method", "k", "--param", "3"}, 1, "--yes replaces it"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = c.args;
    args.insert(args.end(), {"--out-dir", out.string()});
    const test::OrvexRun run = locoh(args, c.id);
    EXPECT_EQ(run.exitCode, c.exit) << run.shown();
    EXPECT_NE(run.err.find(c.message), std::string::npos) << run.shown();
  }
  const test::OrvexRun degrees = test::runOrvex(
      dir_.path(),
      {"locoh", (dir_ / "degrees.shp").string(), "--id", "AnimalID", "--method", "k", "--suggest"});
  EXPECT_EQ(degrees.exitCode, 1) << degrees.shown();
  EXPECT_NE(degrees.err.find("degrees"), std::string::npos) << degrees.shown();
  EXPECT_EQ(test::readAll(out / "12_locoh.shp"), "kept");
  EXPECT_FALSE(fs::exists(out / "7_locoh.shp"));
}

}  // namespace
}  // namespace orvex
