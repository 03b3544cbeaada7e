// One animal with 100,000 fixes through every command, and in-place edits of 50,000 fixes
// killed at 32 points spread over their run. Labelled "long".

#include "robustness/kill_support.h"
#include "support/shapefile_readback.h"

namespace {

namespace fs = std::filesystem;
using namespace orvex::test;

constexpr int kScaleFixes = 100000;
constexpr int kKillFixes = 50000;
constexpr int kKillPoints = 32;
constexpr int kSwitchKillPoints = 16;

struct ScaleRun {
  const char* name;
  std::vector<std::string> (*args)(const fs::path& input, const fs::path& out);
};

const ScaleRun kScaleRuns[] = {
    {"mcp_fixed_mean",
     [](auto& in, auto& out) {
       return std::vector<std::string>{"mcp",     in,           "--percent", "95,50",
                                       "--style", "Fixed Mean", "--out",     out / "mcp_fm_{percent}.shp"};
     }},
    {"mcp_floating_mean",
     [](auto& in, auto& out) {
       return std::vector<std::string>{"mcp",       in,
                                       "--percent", "95,50",
                                       "--style",   "Floating Mean",
                                       "--out",     out / "mcp_flm_{percent}.shp"};
     }},
    {"mcp_fixed_median",
     [](auto& in, auto& out) {
       return std::vector<std::string>{"mcp",       in,
                                       "--percent", "95,50",
                                       "--style",   "Fixed Median",
                                       "--out",     out / "mcp_fmd_{percent}.shp"};
     }},
    {"mcp_floating_median",
     [](auto& in, auto& out) {
       return std::vector<std::string>{"mcp",       in,
                                       "--percent", "95,50",
                                       "--style",   "Floating Median",
                                       "--out",     out / "mcp_flmd_{percent}.shp"};
     }},
    // Area Added rewraps the hull for every ring vertex at every removal: 0.1 % of 100,000 fixes
    // (100 removals) here, which already takes minutes of CPU.
    {"mcp_area_added",
     [](auto& in, auto& out) {
       return std::vector<std::string>{"mcp",     in,           "--percent", "99.9",
                                       "--style", "Area Added", "--out",     out / "mcp_aa_{percent}.shp"};
     }},
    {"mcp_user_centre",
     [](auto& in, auto& out) {
       return std::vector<std::string>{
           "mcp",         in,         "--percent",      "95,50", "--style",
           "User Centre", "--centre", "500000,5000000", "--out", out / "mcp_uc_{percent}.shp"};
     }},
    {"kernel",
     [](auto& in, auto& out) {
       return std::vector<std::string>{
           "--yes", "kernel", in, "--h", "1", "--out", out / "kernel_{id}_h{h}.shp"};
     }},
    {"kde_user_h",
     [](auto& in, auto& out) {
       return std::vector<std::string>{"kde",         in,           "--id",        "AnimalID",
                                       "--bandwidth", "manual:300", "--isopleths", "95,50",
                                       "--out-dir",   out};
     }},
    {"travel",
     [](auto& in, auto&) {
       return std::vector<std::string>{"--yes", "travel", in};
     }},
    {"dedup_time",
     [](auto& in, auto&) {
       return std::vector<std::string>{"dedup-time", in};
     }},
    {"dedup_xy",
     [](auto& in, auto&) {
       return std::vector<std::string>{"dedup-xy", in};
     }},
};

class Scale : public testing::TestWithParam<ScaleRun> {};

TEST_P(Scale, OneAnimalOfAHundredThousandFixes) {
  TempFolder home("scale");
  const fs::path shp = home / "fixes.shp";
  writeLayer(shp, layerOf(circleFixes(kScaleFixes)));
  fs::create_directories(home / "out");
  const OrvexRun run = runOrvex(home.path(), GetParam().args(shp, home / "out"));
  EXPECT_EQ(run.exitCode, 0) << run.shown();
  EXPECT_EQ(firstUnreadable(home.path()), "");
}

INSTANTIATE_TEST_SUITE_P(Commands, Scale, testing::ValuesIn(kScaleRuns),
                         [](const testing::TestParamInfo<ScaleRun>& param) {
                           return std::string(param.param.name);
                         });

TEST(KilledLongEdits, Travel) { killAtPointsOf("travel", kKillFixes, kKillPoints, kSwitchKillPoints); }
TEST(KilledLongEdits, DedupTime) { killAtPointsOf("dedup-time", kKillFixes, kKillPoints, kSwitchKillPoints); }
TEST(KilledLongEdits, DedupXy) { killAtPointsOf("dedup-xy", kKillFixes, kKillPoints, kSwitchKillPoints); }

}  // namespace
