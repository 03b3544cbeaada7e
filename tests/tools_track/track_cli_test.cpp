// `orvex track` end to end: the built executable on a track file in a temporary folder, the
// saved travel path read back with GDAL and the SVG with an XML parser.

#include <gtest/gtest.h>

#include <cstdlib>

#include "host/text.h"
#include "support/orvex_process.h"
#include "svg_reader.h"
#include "track_support.h"

namespace test = orvex::test;
using test::OrvexRun;
using test::readSvg;
using test::TrackFix;

namespace {

bool contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

class TrackCli : public ::testing::Test {
 protected:
  test::TempFolder folder;
  std::filesystem::path home = folder / "home";
  std::filesystem::path input;

  void SetUp() override {
    std::filesystem::create_directories(home);
    std::vector<TrackFix> fixes;
    for (int i = 0; i < 6; ++i)
      fixes.push_back({100.0 * i, 50.0 * (i % 2), 0.5 * i, 100.0, "2021-05-01", "10:00:00"});
    input = test::writeTrack(folder.path(), "walk", fixes);
  }
  OrvexRun track(std::vector<std::string> args) {
    args.insert(args.begin(), {"track", input.string()});
    return test::runOrvex(home, args);
  }
};

TEST_F(TrackCli, RunsToTheEndSavesThePathAndAnimatesEverySegment) {
  const auto saved = folder / "out" / "travel.shp";  // a folder that does not exist yet
  const auto picture = folder / "walk.svg";
  const OrvexRun run = track({"--keep-path", "--save-path", saved.string(), "--svg", picture.string()});
  ASSERT_EQ(run.exitCode, 0) << run.shown();
  EXPECT_TRUE(contains(run.err, "Display Tracks: No more steps. Please reset.")) << run.shown();
  EXPECT_TRUE(contains(run.out, saved.string() + ": 5 features")) << run.shown();

  // One line per step, from each fix to the next.
  EXPECT_EQ(
      test::readSegments(saved),
      (std::vector<test::Segment>{
          {0, 0, 100, 50}, {100, 50, 200, 0}, {200, 0, 300, 50}, {300, 50, 400, 0}, {400, 0, 500, 50}}));

  // A second run leaves that file alone and says so.
  const OrvexRun again = track({"--save-path", saved.string()});
  EXPECT_EQ(again.exitCode, 1) << again.shown();
  EXPECT_TRUE(contains(again.err, "exists; the travel path was not saved")) << again.shown();

  const auto svg = readSvg(test::readAll(picture));
  ASSERT_TRUE(svg.has_value());
  ASSERT_EQ(svg->segments.size(), 5u);
  for (std::size_t i = 0; i < svg->segments.size(); ++i) {
    // Kept path: each segment appears at its step (0.25 s each at pace 0) and stays.
    ASSERT_EQ(svg->segments[i].sets.size(), 1u);
    EXPECT_EQ(svg->segments[i].sets[0].begin,
              orvex::host::cformat("%.3fs", 0.25 * static_cast<double>(i + 1)));
  }
  // The moment the form opened, then one per step, each with the three fix labels.
  ASSERT_EQ(svg->captions.size(), 6u);
  EXPECT_EQ(svg->captions[2].texts, (std::vector<std::string>{"3/6", "Date: 2021-05-01 at 10:00:00",
                                                              "Meters per sec: 1 Distance: 100"}));
}

TEST_F(TrackCli, ASelectionOfOneFixIsRefusedAndNothingIsWritten) {
  const auto picture = folder / "walk.svg";
  const OrvexRun run = track({"--oid", "2", "--svg", picture.string()});
  EXPECT_EQ(run.exitCode, 1) << run.shown();
  EXPECT_TRUE(contains(run.err, "You must select more then one point to track")) << run.shown();
  EXPECT_FALSE(std::filesystem::exists(picture));
}

TEST_F(TrackCli, ARealTrackDrawsOneSegmentPerStepOfTheAnimal) {
  const std::filesystem::path ibex = std::filesystem::path(ORVEX_SHARED_DATA) / "ibex" / "ibex.shp";
  if (!std::filesystem::exists(ibex)) GTEST_SKIP() << "shared telemetry data not found: " << ibex;
  const auto picture = folder / "ibex.svg";
  const OrvexRun run = test::runOrvex(home, {"track", ibex.string(), "--where", "AnimalID = 'A153'",
                                             "--keep-path", "--svg", picture.string()});
  ASSERT_EQ(run.exitCode, 0) << run.shown();
  const auto svg = readSvg(test::readAll(picture));
  ASSERT_TRUE(svg.has_value());
  // A153 has 71 fixes (data README): 70 steps, 71 moments.
  EXPECT_EQ(svg->segments.size(), 70u);
  ASSERT_EQ(svg->captions.size(), 71u);
  EXPECT_EQ(svg->captions[0].texts.at(1), "Date: 2003-05-31 at 22:00:00");
}

// Renders the picture once in a headless browser when one is installed; never needed by CI.
TEST_F(TrackCli, TheSvgOpensInAHeadlessBrowserWhenOneIsInstalled) {
  const char* browsers[] = {"chromium", "chromium-browser", "google-chrome"};
  std::string browser;
  for (const char* name : browsers)
    if (std::system((std::string("command -v ") + name + " >/dev/null 2>&1").c_str()) == 0) browser = name;
  if (browser.empty()) GTEST_SKIP() << "no headless browser installed";
  const auto picture = folder / "walk.svg";
  ASSERT_EQ(track({"--keep-path", "--svg", picture.string()}).exitCode, 0);
  const auto png = folder / "walk.png";
  const std::string command =
      browser + " --headless --disable-gpu --no-sandbox --screenshot=" + test::shellQuoted(png.string()) +
      " --window-size=800,600 " + test::shellQuoted("file://" + picture.string()) + " >/dev/null 2>&1";
  EXPECT_EQ(std::system(command.c_str()), 0);
  EXPECT_TRUE(std::filesystem::exists(png));
}

}  // namespace
