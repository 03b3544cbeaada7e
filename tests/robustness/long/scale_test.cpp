// One animal with 100,000 fixes through every command, and in-place edits of 50,000 fixes
// killed at 32 points spread over their run. Labelled "long".

#include "robustness/kill_support.h"
#include "support/scale_commands.h"
#include "support/shapefile_readback.h"

namespace {

namespace fs = std::filesystem;
using namespace orvex::test;

constexpr int kScaleFixes = 100000;
constexpr int kKillFixes = 50000;
constexpr int kKillPoints = 32;
constexpr int kSwitchKillPoints = 16;

class Scale : public testing::TestWithParam<ScaleCommand> {};

TEST_P(Scale, OneAnimalOfAHundredThousandFixes) {
  TempFolder home("scale");
  const fs::path shp = home / "fixes.shp";
  writeLayer(shp, layerOf(circleFixes(kScaleFixes)));
  fs::create_directories(home / "out");
  std::vector<std::string> args{"--yes"};
  for (std::string& arg : scaleArgs(GetParam(), shp, home / "out")) args.push_back(std::move(arg));
  const OrvexRun run = runOrvex(home.path(), args);
  EXPECT_EQ(run.exitCode, 0) << run.shown();
  EXPECT_EQ(firstUnreadable(home.path()), "");
}

INSTANTIATE_TEST_SUITE_P(Commands, Scale, testing::ValuesIn(scaleCommands()),
                         [](const testing::TestParamInfo<ScaleCommand>& param) {
                           return std::string(param.param.name);
                         });

TEST(KilledLongEdits, Travel) { killAtPointsOf("travel", kKillFixes, kKillPoints, kSwitchKillPoints); }
TEST(KilledLongEdits, DedupTime) { killAtPointsOf("dedup-time", kKillFixes, kKillPoints, kSwitchKillPoints); }
TEST(KilledLongEdits, DedupXy) { killAtPointsOf("dedup-xy", kKillFixes, kKillPoints, kSwitchKillPoints); }

}  // namespace
