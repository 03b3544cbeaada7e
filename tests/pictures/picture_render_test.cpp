// The cairo writer's files, and the SVGs as a browser shows them: headless Chromium renders
// the plots and the track animation, and the screenshots must not be blank.

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include "apps/orvex/track_svg.h"
#include "platform/pictures/picture_writer.h"
#include "png_pixels.h"
#include "support/files.h"
#include "support/orvex_process.h"
#include "support/temp_folder.h"

namespace orvex::platform::pictures {
namespace {

Chart sampleChart() {
  Chart chart;
  chart.title = "LSCV score against h";
  chart.note = "function could not be minimized";
  chart.noteIsWarning = true;
  chart.series.push_back(
      {"score", {{1, 3}, {2, 1}, {NAN, NAN}, {3, 2}, {4, 4}}, SeriesStyle::LineAndMarkers, {0, 0, 1}});
  chart.marks.push_back({2.0, "h = 2", {0, 0.6, 0}, false});
  chart.x = niceAxis("h", 0, 5);
  chart.y = niceAxis("score", 0, 4);
  return chart;
}

MapPicture sampleMap() {
  MapPicture map;
  map.title = "UD";
  map.x = {0, 300};
  map.y = {0, 200};
  RasterLayer raster;
  raster.columns = 3;
  raster.rows = 2;
  raster.x = map.x;
  raster.y = map.y;
  raster.values = {1, 2, 3, NAN, 5, 6};
  raster.scale = {0, 6};
  raster.legendTitle = "density";
  map.raster = raster;
  map.paths.push_back({"isopleths", {{{50, 50}, {250, 50}, {250, 150}, {50, 50}}}, {0, 0, 0}, 2.0});
  map.points = {{100, 100}, {200, 120}};
  return map;
}

TEST(PictureWriter, WritesSvgAndPngThatAreNotBlank) {
  const test::TempFolder folder("pictures");
  writeChart(sampleChart(), folder / "chart.svg", folder / "chart.png");
  writeMap(sampleMap(), folder / "map.svg", folder / "map.png");
  for (const char* name : {"chart.svg", "map.svg"})
    EXPECT_NE(test::readAll(folder / name).find("<svg"), std::string::npos);
  EXPECT_GT(test::distinctColours(folder / "chart.png"), 4u);
  EXPECT_GT(test::distinctColours(folder / "map.png"), 6u);  // at least the five raster colours and more
  EXPECT_THROW(writeChart(sampleChart(), {}, folder / "no-such-folder" / "chart.png"), std::exception);
}

/// Chromium's screenshot of `svg`, or an empty path when it could not make one.
std::filesystem::path screenshot(const std::filesystem::path& svg, const std::filesystem::path& folder) {
  const std::filesystem::path png = folder / (svg.stem().string() + "_browser.png");
  const std::string command =
      "chromium --headless --no-sandbox --disable-gpu --hide-scrollbars "
      "--user-data-dir=" +
      test::shellQuoted((folder / "profile").string()) +
      " --window-size=800,600 --screenshot=" + test::shellQuoted(png.string()) + " " +
      test::shellQuoted("file://" + svg.string()) + " >/dev/null 2>&1";
  return std::system(command.c_str()) == 0 && std::filesystem::exists(png) ? png : std::filesystem::path();
}

TEST(BrowserRendering, PlotsAndTrackAnimationAreNotBlank) {
  if (std::system("command -v chromium >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "chromium is not installed: the SVGs are not rendered in a browser";
  const test::TempFolder folder("browser");
  writeChart(sampleChart(), folder / "chart.svg", {});
  writeMap(sampleMap(), folder / "map.svg", {});
  cli::TrackAnimation track;
  host::Polyline line;
  line.paths.push_back({host::Point{0, 0}, host::Point{100, 50}});
  track.drawn = {
      {1, {host::Geometry(std::move(line)), host::Symbol{{200, 0, 0}, 3.0, std::nullopt}, std::nullopt}}};
  track.frames = {{{1}, {"1/1"}}};
  cli::writeTrackSvg(folder / "track.svg", track);
  for (const char* name : {"chart.svg", "map.svg", "track.svg"}) {
    const auto shot = screenshot(folder / name, folder.path());
    ASSERT_FALSE(shot.empty()) << "chromium made no screenshot of " << name;
    EXPECT_GT(test::distinctColours(shot), 2u) << name << " renders blank";
  }
}

}  // namespace
}  // namespace orvex::platform::pictures
