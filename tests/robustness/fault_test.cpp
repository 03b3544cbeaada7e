// Writes that fail as on a full disk (a file-size limit, EFBIG) at several points of every
// writing command, and two edits of one file at once.

#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <chrono>
#include <cstring>
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

/// File-size limits that stop the writing early, midway and late (the inputs are ~8 kB).
constexpr std::uintmax_t kLimits[] = {150, 700, 2500, 9000};

std::vector<TestFeature> fixesWithDuplicates() {
  auto features = circleFixes(200);
  features[7] = features[6];  // one duplicate time and place for the duplicate removals
  return features;
}

class FileSizeFaults : public testing::TestWithParam<CommandLine> {};

TEST_P(FileSizeFaults, AFailedWriteIsReportedAndRemovedAndEarlierFilesStay) {
  const CommandLine& command = GetParam();
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

INSTANTIATE_TEST_SUITE_P(Commands, FileSizeFaults, testing::ValuesIn(commandLines()),
                         [](const testing::TestParamInfo<CommandLine>& param) {
                           return testName(param.param.name);
                         });

/// `orvex args...` with writes limited to `limit` bytes.
OrvexRun runLimited(const fs::path& home, std::uintmax_t limit, std::vector<std::string> args) {
  args.insert(args.begin(), {std::to_string(limit), (fs::path(ORVEX_BIN_DIR) / "orvex").string()});
  return runOrvex(home, args, {}, FSIZE_LAUNCHER);
}

// The Lotek import stopped by the limit early, midway and late: it says which file it could
// not write, exits 1, removes that file whole and claims no feature written. (The limit holds
// for the captured standard error too, so it must leave room for the messages.)
TEST(FileSizeFaults, ImportLotekRemovesTheShapefileItCouldNotWrite) {
  const fs::path mdb = fs::path(ORVEX_SHARED_DATA) / "lotek" / "collar_a.mdb";
  if (!fs::exists(mdb)) GTEST_SKIP() << "Lotek fixtures not found";
  for (const std::uintmax_t limit : {std::uintmax_t{2500}, std::uintmax_t{9000}, std::uintmax_t{30000}}) {
    SCOPED_TRACE("limited to " + std::to_string(limit) + " bytes");
    TempFolder home("fault");
    fs::create_directories(home / "out");
    fs::copy_file(mdb, home / "collar_a.mdb");
    std::ofstream(home / "out" / "earlier.txt") << "an output of an earlier run\n";
    const auto before = snapshot(home / "out");
    const std::string collar = readAll(home / "collar_a.mdb");

    const OrvexRun run = runLimited(
        home.path(), limit, {"import-lotek", home / "collar_a.mdb", "--out", home / "out" / "fixes.shp"});
    EXPECT_EQ(run.exitCode, 1) << run.shown();
    EXPECT_NE(run.err.find("orvex: nothing was written for " + (home / "out" / "fixes.shp").string()),
              std::string::npos)
        << run.shown();
    EXPECT_EQ(run.out.find("fixes.shp:"), std::string::npos) << run.shown();  // no feature count claimed
    EXPECT_EQ(changedFiles(before, snapshot(home / "out")), "") << run.shown();
    EXPECT_EQ(readAll(home / "collar_a.mdb"), collar);
  }
}

// A GeoPackage is analysed through a shapefile copy built in memory and then written to the
// scratch folder: a copy the disk cannot take fails the run with the reason, never leaves a
// truncated copy to be analysed as the whole layer.
TEST(FileSizeFaults, AScratchCopyThatCannotBeWrittenFailsTheRun) {
  TempFolder home("fault");
  writeLayer(home / "fixes.gpkg", layerOf(circleFixes(2000)));  // a copy of some 60 kB
  const OrvexRun run =
      runLimited(home.path(), 20000, {"mcp", home / "fixes.gpkg", "--out", (home / "m.shp").string()});
  EXPECT_EQ(run.exitCode, 1) << run.shown();
  EXPECT_NE(run.err.find("Cannot copy layer"), std::string::npos) << run.shown();
  EXPECT_NE(run.err.find(std::strerror(EFBIG)), std::string::npos) << run.shown();
  EXPECT_FALSE(fs::exists(home / "m.shp")) << run.shown();
}

// The KDE tool's analysis log, appended to by a second run on a full disk: the first run's
// text stays whole and the log never ends in a broken line; the settings copy of the first run
// and a table saved before stay as they were.
TEST(FileSizeFaults, KdeLogAppendedOnAFullDiskKeepsWholeLines) {
  TempFolder home("fault");
  const fs::path out = home / "out";
  writeLayer(home / "fixes.shp", layerOf(fixesWithDuplicates()));
  const std::vector<std::string> kde{"kde",
                                     home / "fixes.shp",
                                     "--id",
                                     "AnimalID",
                                     "--bandwidth",
                                     "href",
                                     "--out-dir",
                                     out,
                                     "--independence=" + (home / "table.csv").string()};
  ASSERT_EQ(runOrvex(home.path(), kde).exitCode, 0);
  const fs::path log = out / "TALVO_KDE_ANALYSIS.txt";
  const std::string firstLog = readAll(log);
  const std::string settings = readAll(out / "TALVO_KERNEL_SETTINGS.txt");
  const std::string table = readAll(home / "table.csv");
  ASSERT_FALSE(table.empty());
  // Limits that stop the second run in the separator, in its header and after it.
  for (const std::uintmax_t extra : {std::uintmax_t{5}, std::uintmax_t{300}, std::uintmax_t{1500}}) {
    SCOPED_TRACE("log may grow by " + std::to_string(extra) + " bytes");
    auto again = kde;  // new raster names: the same ones would be refused as a naming conflict
    again.insert(again.end(), {"--prefix", "k" + std::to_string(extra)});
    const OrvexRun run = runLimited(home.path(), fs::file_size(log) + extra, again);
    EXPECT_EQ(run.exitCode, 1) << run.shown();
    const std::string text = readAll(log);
    EXPECT_EQ(text.substr(0, firstLog.size()), firstLog) << run.shown();
    EXPECT_TRUE(text.size() == firstLog.size() || text.ends_with("\r\n")) << run.shown();
    EXPECT_EQ(readAll(out / "TALVO_KERNEL_SETTINGS.txt"), settings);
    EXPECT_EQ(readAll(home / "table.csv"), table) << run.shown();
    EXPECT_EQ(firstUnreadable(out), "") << run.shown();
    fs::resize_file(log, firstLog.size());
  }
}

TEST(ConcurrentEdits, ASecondEditOfAFileBeingEditedIsRefusedAndNothingInterleaves) {
  TempFolder home("concurrent");
  const fs::path shp = home / "fixes.shp";
  writeLayer(shp, layerOf(circleFixes(50000)));
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
  ASSERT_EQ(after.features.size(), 50000U);
  EXPECT_NE(after.field("Mi_per_hr"), nullptr);  // the first run's result, whole
}

}  // namespace
