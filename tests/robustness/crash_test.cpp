// Inputs that crashed a run: each must end as a named failure (exit 1) or a refusal, with no
// empty or half-written file left.

#include <gtest/gtest.h>

#include "robustness/robustness_support.h"
#include "support/orvex_process.h"
#include "support/temp_folder.h"

namespace {

namespace fs = std::filesystem;
using namespace orvex::test;

/// `count` fixes along a line `length` m long and 50 m wide: at 1 m cells its raster is wider
/// than cairo's 32,767-pixel image limit.
std::vector<TestFeature> thinLine(int count, double length) {
  std::vector<TestFeature> features;
  for (int i = 0; i < count; ++i) {
    const double x = 500000 + length * i / (count - 1);
    const double y = 5000000 + 50.0 * ((i * 37) % 100) / 100.0;
    features.push_back({"POINT (" + std::to_string(x) + " " + std::to_string(y) + ")",
                        {{"AnimalID", "A"}, {"Time2", std::to_string(1000000 + 3600 * i)}}});
  }
  return features;
}

// The UD map of a raster 40,020 cells wide cannot be drawn: the picture is a failed item named
// by its file, the raster stays a result, and no picture file is left (an empty SVG was).
TEST(Crashes, KdePlotsOfARasterWiderThanCairosLimitAreANamedFailure) {
  TempFolder home("crash");
  writeLayer(home / "wide.shp", layerOf(thinLine(300, 40000.0)));
  const OrvexRun run = runOrvex(
      home.path(), {"--no", "kde", home / "wide.shp", "--id", "AnimalID", "--bandwidth", "href",
                    "--cell-size", "1", "--extent", "full:10", "--plots", "--out-dir", home / "out"});
  EXPECT_EQ(run.exitCode, 1) << run.shown();
  EXPECT_NE(run.err.find("orvex: 1 item failed: kde0_map.svg"), std::string::npos) << run.shown();
  EXPECT_TRUE(fs::exists(home / "out" / "kde0.tif")) << run.shown();
  for (const char* picture : {"kde0_map.svg", "kde0_map.png", "kde0_map.svg.partial"})
    EXPECT_FALSE(fs::exists(home / "out" / picture)) << picture;
}

/// A bandwidth too small for the grid, as each command takes it.
struct TinyBandwidth {
  const char* name;
  std::vector<std::string> args;  ///< after the input file
};

// h far below the grid's node spacing: no node is within the kernel's reach of a fix, so no UD
// exists (1e-20 of href crashed the interpolated sum; 1e-5 wrote an empty shapefile with exit 0).
// Each is refused naming h, nothing written.
TEST(Crashes, ABandwidthTooSmallForTheGridIsRefused) {
  const std::vector<TinyBandwidth> cases{
      {"kernel fixed 1e-20", {"--h", "1e-20", "--kernel", "fixed"}},
      {"kernel adaptive 1e-20", {"--h", "1e-20", "--kernel", "adaptive"}},
      {"kernel fixed 1e-300", {"--h", "1e-300", "--kernel", "fixed"}},
      {"kernel fixed 1e-5", {"--h", "1e-5", "--kernel", "fixed"}},
      {"kernel adaptive 1e-12", {"--h", "1e-12", "--kernel", "adaptive"}},
      {"kernel map units 1e-9", {"--h", "1e-9", "--no-proportional", "--std", "none"}},
  };
  TempFolder home("crash");
  writeLayer(home / "fixes.shp", layerOf(circleFixes(120)));
  for (const TinyBandwidth& tiny : cases) {
    SCOPED_TRACE(tiny.name);
    const fs::path out = home / "out";
    fs::create_directories(out);
    std::vector<std::string> args{"--yes", "kernel", home / "fixes.shp", "--out", out / "k_{h}.shp"};
    args.insert(args.end(), tiny.args.begin(), tiny.args.end());
    const OrvexRun run = runOrvex(home.path(), args);
    EXPECT_EQ(run.exitCode, 1) << run.shown();
    EXPECT_NE(run.err.find("too small for the grid"), std::string::npos) << run.shown();
    EXPECT_TRUE(fs::is_empty(out)) << run.shown();
    fs::remove_all(out);
  }
}

// Memory run out while the UD grid is filled was said as "no kernel was computed (status
// 1015)"; it is named as such now. The program's own start needs little: --version runs under a
// limit of 200 MB (it aborted on an allocation failure). Address space limits and the
// sanitizers' shadow memory do not go together: skipped under them.
TEST(Crashes, MemoryRunOutIsNamed) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "an address-space limit and AddressSanitizer do not go together";
#endif
  TempFolder home("crash");
  writeLayer(home / "fixes.shp", layerOf(circleFixes(60)));
  const auto limited = [&](const std::string& kilobytes, const std::vector<std::string>& args) {
    std::vector<std::string> words{"-c", "ulimit -v " + kilobytes + " && exec \"$0\" \"$@\"",
                                   (fs::path(ORVEX_BIN_DIR) / "orvex").string()};
    words.insert(words.end(), args.begin(), args.end());
    return runOrvex(home.path(), words, {{"ORVEX_THREADS", "1"}}, "/bin/sh");
  };
  const OrvexRun version = limited("200000", {"--version"});
  EXPECT_EQ(version.exitCode, 0) << version.shown();
  // 6,000 x 6,000 cells of 1 m (the fixes' 2 km and a 2 km buffer around them): 288 MB of grid.
  const OrvexRun kde =
      limited("400000", {"kde", (home / "fixes.shp").string(), "--id", "AnimalID", "--bandwidth", "href",
                         "--cell-size", "1", "--out-dir", (home / "out").string()});
  EXPECT_EQ(kde.exitCode, 1) << kde.shown();
  EXPECT_NE(kde.err.find("nothing was written for animal A: no kernel was computed: Out of memory"),
            std::string::npos)
      << kde.shown();
}

}  // namespace
