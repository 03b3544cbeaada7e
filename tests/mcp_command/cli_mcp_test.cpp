// `orvex mcp` run as a user would: outputs named by the template, grouping by a field, the
// messages on standard error, overwriting only with --yes, the exit codes, and the albatross
// tracks against GEOS hulls.

#include <gtest/gtest.h>

#include <map>

#include "mcp_command/mcp_command_support.h"

namespace {

using orvex::test::contains;
using orvex::test::readShapefile;
using orvex::test::runOrvex;
using orvex::test::runOrvexIn;
using orvex::test::TempFolder;
using orvex::test::TestFix;
using orvex::test::writePoints;

std::vector<TestFix> rectangle(const std::string& animal) {
  return {{0, 0, animal}, {4, 0, animal}, {4, 3, animal}, {0, 3, animal}, {2, 0, animal},
          {4, 1, animal}, {1, 1, animal}, {2, 2, animal}, {3, 1, animal}, {1, 2, animal}};
}

class OrvexMcp : public ::testing::Test {
 protected:
  TempFolder home;
  TempFolder data;

  std::string points(const std::string& name, const std::vector<TestFix>& fixes) {
    return writePoints(data.path(), name, fixes).string();
  }
  std::string out(const std::string& name) const { return (data / name).string(); }
};

TEST_F(OrvexMcp, WritesTheDefaultNamesInTheWorkingFolderAndReportsEachFile) {
  const std::string input = points("rect", rectangle("r"));
  const auto run = runOrvexIn(data.path(), home.path(), {"mcp", input, "--percent", "100,92.7"});
  ASSERT_EQ(run.exitCode, 0) << run.shown();
  const auto all = data / "rect_mcp100.shp";
  const auto most = data / "rect_mcp92.7.shp";  // the percentage as given, not truncated
  // One line per file, in the order written.
  EXPECT_TRUE(
      run.out.starts_with(all.string() + ": 1 feature, Area 12\n" + most.string() + ": 1 feature, Area "))
      << run.shown();
  EXPECT_EQ(readShapefile(all).features.at(0).number.at("NUsed"), 10);
  EXPECT_EQ(readShapefile(most).features.at(0).number.at("NUsed"), 10);  // ceil(9.27)
  EXPECT_EQ(run.err, "");
}

// Each area is reported as the file holds it (12 decimals), not as computed: the triangle
// (0,0) (1,0) (0,1/3) has area 1/6, which the file holds as 0.166666666667.
TEST_F(OrvexMcp, ReportsTheAreaAsTheFileHoldsIt) {
  const std::string input = points("tri", {{0, 0, "t"}, {1, 0, "t"}, {0, 1.0 / 3.0, "t"}});
  const auto run = runOrvexIn(data.path(), home.path(), {"mcp", input, "--all-points"});
  ASSERT_EQ(run.exitCode, 0) << run.shown();
  const auto file = data / "tri_mcp100.shp";
  EXPECT_EQ(readShapefile(file).features.at(0).number.at("Area"), 0.166666666667);
  EXPECT_TRUE(contains(run.out, file.string() + ": 1 feature, Area 0.166666666667\n")) << run.shown();
}

TEST_F(OrvexMcp, ByFieldMakesOneLayerPerValue) {
  std::vector<TestFix> fixes = rectangle("b");
  for (const TestFix& fix : orvex::test::fiveFixes()) fixes.push_back(fix);  // "a" 3 fixes, then "b" 2 more
  fixes.push_back({7, 7, "c"});
  const std::string input = points("herd", fixes);
  const auto run = runOrvex(home.path(), {"mcp", input, "--by", "AnimalID", "--all-points", "--out",
                                          out("by/{layer}_{percent}.shp")});
  ASSERT_EQ(run.exitCode, 0) << run.shown();
  const auto a = readShapefile(data / "by" / "a_100.shp");
  const auto b = readShapefile(data / "by" / "b_100.shp");
  ASSERT_EQ(a.features.size(), 1u);
  ASSERT_EQ(b.features.size(), 1u);
  EXPECT_EQ(a.features[0].number.at("NPoints"), 3);
  EXPECT_EQ(b.features[0].number.at("NPoints"), 12);
  EXPECT_DOUBLE_EQ(a.features[0].area, 50.0);  // (0,0) (10,0) (10,10), by hand
  // Hull (0,0) (4,0) (110,100) (100,100) (0,3): shoelace by hand, (400 + 1000 + 300) / 2.
  EXPECT_DOUBLE_EQ(b.features[0].area, 850.0);
  EXPECT_FALSE(std::filesystem::exists(data / "by" / "c_100.shp"));
  EXPECT_TRUE(contains(run.err,
                       "Orvex: Only 1 point is selected in layer c (at least three are required).  "
                       "This point will not be included in the analysis.\n"))
      << run.shown();
}

TEST_F(OrvexMcp, AnExistingOutputIsReplacedOnlyWithYes) {
  const std::string input = points("rect", rectangle("r"));
  const std::string template_ = out("{layer}_{percent}.shp");
  ASSERT_EQ(runOrvex(home.path(), {"mcp", input, "--all-points", "--out", template_}).exitCode, 0);
  const auto target = data / "rect_100.shp";
  const std::string before = orvex::test::readAll(target);

  // Another run over the same name, given as a plain answer this time: without --yes it is
  // skipped with a message.
  const auto kept = runOrvex(home.path(), {"mcp", input, "--percent", "50", "-o", out("rect_100")});
  EXPECT_EQ(kept.exitCode, 0) << kept.shown();
  EXPECT_TRUE(contains(kept.err, target.string() + " exists; not replaced (--yes replaces it)"))
      << kept.shown();
  EXPECT_EQ(kept.out, "");
  EXPECT_EQ(orvex::test::readAll(target), before);

  const auto replaced =
      runOrvex(home.path(), {"--yes", "mcp", input, "--percent", "50", "--out", out("rect_100.shp")});
  EXPECT_EQ(replaced.exitCode, 0) << replaced.shown();
  EXPECT_EQ(readShapefile(target).features.at(0).number.at("NUsed"), 5);
  EXPECT_TRUE(contains(replaced.out, target.string() + ": 1 feature, Area ")) << replaced.shown();
}

TEST_F(OrvexMcp, RefusedOptionsFailTheRun) {
  const std::string input = points("rect", rectangle("r"));
  const auto run = runOrvex(home.path(), {"mcp", input, "--percent", "95,,90", "--out", out("x.shp")});
  EXPECT_EQ(run.exitCode, 1) << run.shown();
  EXPECT_TRUE(contains(run.err, "Orvex: Text entered () is not a valid numeric value\n")) << run.shown();
  EXPECT_FALSE(std::filesystem::exists(data / "x.shp"));

  const auto blank = runOrvex(home.path(), {"mcp", input, "--percent", " , ", "--out", out("x.shp")});
  EXPECT_EQ(blank.exitCode, 1) << blank.shown();
  EXPECT_TRUE(contains(blank.err, "Orvex: Percentage value cannot be blank\n")) << blank.shown();
}

TEST_F(OrvexMcp, ACentreAloneChoosesTheUserCentreStyle) {
  const std::string input = points("rect", rectangle("r"));
  const auto run =
      runOrvex(home.path(), {"mcp", input, "--centre", "4,3", "--percent", "40", "--out", out("uc.shp")});
  ASSERT_EQ(run.exitCode, 0) << run.shown();
  // The 4 fixes nearest (4, 3) span a quadrilateral of area 2.5 (worked by hand).
  EXPECT_DOUBLE_EQ(readShapefile(data / "uc.shp").features.at(0).area, 2.5);
}

TEST_F(OrvexMcp, UsageErrorsAndHelp) {
  EXPECT_EQ(runOrvex(home.path(), {"mcp", "--centre", "4"}).exitCode, 2);
  EXPECT_EQ(runOrvex(home.path(), {"mcp", "--all-points", "--percent", "50"}).exitCode, 2);
  const auto help = runOrvex(home.path(), {"mcp", "--help"});
  EXPECT_EQ(help.exitCode, 0);
  for (const char* part : {"--by", "--percent", "--all-points", "--style", "--centre", "--out", "--where",
                           "Above 100 every fix", "{layer}_mcp{percent}.shp"})
    EXPECT_TRUE(contains(help.out, part)) << part << "\n" << help.shown();
}

TEST_F(OrvexMcp, AlbatrossHullsMatchGeosAndKeepTheirAreasWhole) {
  const auto source = orvex::test::sharedData() / "albatross" / "albatross.shp";
  if (!std::filesystem::exists(source)) GTEST_SKIP() << "shared data not found: " << source;
  const auto run = runOrvex(
      home.path(), {"mcp", source.string(), "--by", "AnimalID", "--all-points", "--out", out("{layer}.shp")});
  ASSERT_EQ(run.exitCode, 0) << run.shown();

  std::map<std::string, std::vector<std::pair<double, double>>> tracks;
  for (const auto& fix : readShapefile(source).features)
    tracks[fix.text.at("AnimalID")].emplace_back(fix.x, fix.y);
  ASSERT_EQ(tracks.size(), 6u);
  for (const auto& [animal, fixes] : tracks) {
    const auto written = readShapefile(data / (animal + ".shp"));
    ASSERT_EQ(written.features.size(), 1u) << animal;
    EXPECT_EQ(written.epsg, 32642) << animal;
    EXPECT_EQ(written.features[0].number.at("NPoints"), static_cast<double>(fixes.size())) << animal;
    // Reference: GEOS's hull of the same fixes. Both sum the same cross products of
    // coordinates around 1e6 m, so they agree to a relative 1e-9 at worst.
    const double hull = orvex::test::geosHullArea(fixes);
    EXPECT_NEAR(written.features[0].area, hull, hull * 1e-9) << animal;
    // Areas of 1e11 to 1e13 m2 need 12 to 14 integer digits: stored whole, never starred.
    EXPECT_GT(hull, 1e11) << animal;
    EXPECT_NEAR(written.features[0].number.at("Area"), hull, hull * 1e-9) << animal;
    EXPECT_EQ(written.features[0].text.at("Area").find('*'), std::string::npos) << animal;
    EXPECT_TRUE(contains(run.out, (data / (animal + ".shp")).string() + ": 1 feature, Area ")) << animal;
  }
}

}  // namespace
