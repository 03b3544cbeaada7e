// Writes that fail as on a full disk (a file-size limit, EFBIG) at several points of every
// writing command, and two edits of one file at once.

#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <thread>

#include <fcntl.h>

#include "robustness/kill_support.h"
#include "robustness/robustness_support.h"
#include "support/orvex_process.h"
#include "support/shapefile_readback.h"
#include "support/temp_folder.h"

namespace {

namespace fs = std::filesystem;
using namespace orvex::test;

struct WritingCommand {
  const char* name;
  std::vector<std::string> (*args)(const fs::path& input, const fs::path& out);
  bool inPlace = false;
};

const WritingCommand kWritingCommands[] = {
    {"mcp",
     [](auto& in, auto& out) {
       return std::vector<std::string>{"mcp", in, "--percent", "95,50", "--out", out / "mcp_{percent}.shp"};
     }},
    {"kernel",
     [](auto& in, auto& out) {
       return std::vector<std::string>{
           "--yes", "kernel", in, "--h", "1,0.5", "--out", out / "kernel_{id}_h{h}.shp"};
     }},
    {"kde",
     [](auto& in, auto& out) {
       return std::vector<std::string>{"kde",         in,      "--id",      "AnimalID",
                                       "--isopleths", "95,50", "--out-dir", out};
     }},
    {"track",
     [](auto& in, auto& out) {
       return std::vector<std::string>{"track",          in,      "--save-path",
                                       out / "path.shp", "--svg", out / "track.svg"};
     }},
    {"travel",
     [](auto& in, auto&) {
       return std::vector<std::string>{"--yes", "travel", in};
     },
     true},
    {"dedup-time",
     [](auto& in, auto&) {
       return std::vector<std::string>{"dedup-time", in};
     },
     true},
    {"dedup-xy",
     [](auto& in, auto&) {
       return std::vector<std::string>{"dedup-xy", in};
     },
     true},
    {"simulate",
     [](auto&, auto& out) {
       return std::vector<std::string>{"simulate", "--out", out / "sim", "--fixes", "200"};
     }},
};

/// File-size limits that stop the writing early, midway and late (the inputs are ~8 kB).
constexpr std::uintmax_t kLimits[] = {150, 700, 2500, 9000};

std::vector<TestFeature> fixesWithDuplicates() {
  auto features = circleFixes(200);
  features[7] = features[6];  // one duplicate time and place for the duplicate removals
  return features;
}

class FileSizeFaults : public testing::TestWithParam<WritingCommand> {};

TEST_P(FileSizeFaults, AFailedWriteIsReportedAndRemovedAndEarlierFilesStay) {
  const WritingCommand& command = GetParam();
  for (const std::uintmax_t limit : kLimits) {
    SCOPED_TRACE(std::string(command.name) + " limited to " + std::to_string(limit) + " bytes");
    TempFolder home("fault");
    const fs::path data = home / "data";
    const fs::path out = home / "out";
    fs::create_directories(data);
    fs::create_directories(out);
    writeLayer(data / "fixes.shp", layerOf(fixesWithDuplicates()));
    std::ofstream(out / "earlier.txt") << "an output of an earlier run\n";
    const auto dataBefore = snapshot(data);
    const auto earlier = readAll(out / "earlier.txt");

    auto args = command.args(data / "fixes.shp", out);
    args.insert(args.begin(), {std::to_string(limit), (fs::path(ORVEX_BIN_DIR) / "orvex").string()});
    const OrvexRun run = runOrvex(home.path(), args, {}, FSIZE_LAUNCHER);

    ASSERT_TRUE(run.exitCode == 0 || run.exitCode == 1) << run.shown();
    if (run.exitCode == 1) {
      EXPECT_FALSE(run.err.empty()) << run.shown();
    }
    EXPECT_EQ(firstUnreadable(out), "") << run.shown();
    EXPECT_EQ(firstUnreadable(data), "") << run.shown();
    EXPECT_EQ(readAll(out / "earlier.txt"), earlier);
    if (!command.inPlace || run.exitCode != 0) {
      EXPECT_EQ(changedFiles(dataBefore, snapshot(data)), "") << run.shown();
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Commands, FileSizeFaults, testing::ValuesIn(kWritingCommands),
                         [](const testing::TestParamInfo<WritingCommand>& param) {
                           std::string name = param.param.name;
                           for (char& c : name) c = c == '-' ? '_' : c;
                           return name;
                         });

TEST(ConcurrentEdits, ASecondEditOfAFileBeingEditedIsRefusedAndNothingInterleaves) {
  TempFolder home("concurrent");
  const fs::path shp = home / "fixes.shp";
  writeLayer(shp, layerOf(circleFixes(20000)));
  runOrvex(home.path(), {"--registry", home / "registry.txt", "commands"});  // registers once

  const pid_t first = startOrvex(home.path(), {"--yes", "travel", shp.string()});
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (!fs::exists(home / ".fixes.orvex-lock") && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  const OrvexRun second = runOrvex(home.path(), {"--registry", home / "registry.txt", "dedup-xy", shp});
  int status = 0;
  waitpid(first, &status, 0);

  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_EQ(second.exitCode, 1) << second.shown();
  EXPECT_NE(second.err.find("being edited by another run"), std::string::npos) << second.shown();
  EXPECT_EQ(firstUnreadable(home.path()), "");
  const ShpContents after = readShapefile(shp);
  ASSERT_EQ(after.features.size(), 20000U);
  EXPECT_NE(after.field("Mi_per_hr"), nullptr);  // the first run's result, whole
}

}  // namespace
