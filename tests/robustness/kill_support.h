#pragma once

// Kills an in-place edit at points spread over its run and checks after each kill that the
// next `orvex` run finds the shapefile whole: byte for byte the original or the full result.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <chrono>
#include <thread>

#include "robustness/robustness_support.h"
#include "support/orvex_process.h"
#include "support/temp_folder.h"

namespace orvex::test {

/// Starts `orvex args...` in the background with its output discarded; the process id.
pid_t startOrvex(const std::filesystem::path& home, const std::vector<std::string>& args);

/// The files of the shapefile set `stem` in `folder`, by extension, with their bytes.
inline std::map<std::string, std::string> shapefileSet(const std::filesystem::path& folder,
                                                       const std::string& stem) {
  std::map<std::string, std::string> set;
  for (const char* extension : {".shp", ".shx", ".dbf", ".prj", ".cpg"})
    if (std::filesystem::exists(folder / (stem + extension)))
      set[extension] = readAll(folder / (stem + extension));
  return set;
}

/// Starts `args` and kills it once the journal of the edit of `work`/fixes.shp appears and
/// `delay` more has passed (or when it ends first).
inline void killAfterJournal(const std::filesystem::path& home, const std::vector<std::string>& args,
                             const std::filesystem::path& work, std::chrono::microseconds delay) {
  const std::filesystem::path journal = work / ".fixes.orvex-edit" / "journal";
  const pid_t pid = startOrvex(home, args);
  int status = 0;
  while (!std::filesystem::exists(journal) && ::waitpid(pid, &status, WNOHANG) == 0)
    std::this_thread::sleep_for(std::chrono::microseconds(50));
  std::this_thread::sleep_for(delay);
  ::kill(pid, SIGKILL);
  ::waitpid(pid, &status, 0);
}

/// Runs `command` (an in-place subcommand) on a file of `fixes` fixes, killed at `points`
/// moments spread evenly over an uninterrupted run's duration, then at `switchPoints` moments
/// of the switch itself (it takes the last few milliseconds of a run, which even spreading
/// hardly ever hits): from the journal's appearance on, 0.5 ms apart.
inline void killAtPointsOf(const std::string& command, int fixes, int points, int switchPoints = 0) {
  namespace fs = std::filesystem;
  TempFolder home("kill");
  const fs::path original = home / "original";
  const fs::path result = home / "result";
  fs::create_directories(original);
  fs::create_directories(result);
  auto features = circleFixes(fixes);
  // Travel stops at two fixes of one time by design; the duplicate removals need some.
  if (command != "travel")
    for (int i = 0; i + 1 < fixes; i += 97)
      features[static_cast<std::size_t>(i) + 1] = features[static_cast<std::size_t>(i)];
  writeLayer(original / "fixes.shp", layerOf(features));
  for (const auto& entry : fs::directory_iterator(original))
    fs::copy_file(entry.path(), result / entry.path().filename());
  const std::string registry = (home / "registry.txt").string();
  const std::vector<std::string> edit{"--yes", command};

  // The uninterrupted run: its duration and its result.
  const auto start = std::chrono::steady_clock::now();
  auto args = edit;
  args.push_back((result / "fixes.shp").string());
  args.insert(args.begin(), {"--registry", registry});
  const OrvexRun full = runOrvex(home.path(), args);
  const auto duration = std::chrono::steady_clock::now() - start;
  ASSERT_EQ(full.exitCode, 0) << full.shown();
  const auto before = shapefileSet(original, "fixes");
  const auto after = shapefileSet(result, "fixes");
  ASSERT_NE(before, after);

  int originals = 0;
  int results = 0;
  for (int point = 1; point <= points + switchPoints; ++point) {
    const fs::path work = home / ("run" + std::to_string(point));
    fs::create_directories(work);
    for (const auto& entry : fs::directory_iterator(original))
      fs::copy_file(entry.path(), work / entry.path().filename());
    auto killed = edit;
    killed.push_back((work / "fixes.shp").string());
    if (point > points) {
      killAfterJournal(home.path(), killed, work, std::chrono::microseconds(500) * (point - points - 1));
    } else {
      const pid_t pid = startOrvex(home.path(), killed);
      std::this_thread::sleep_for(duration * point / (points + 1));
      ::kill(pid, SIGKILL);
      int status = 0;
      ::waitpid(pid, &status, 0);
    }

    // The next orvex run opens the file, finishing or rolling back the edit it finds.
    const OrvexRun next = runOrvex(home.path(), {"--registry", registry, "mcp", (work / "fixes.shp").string(),
                                                 "--percent", "95", "--out", (work / "mcp.shp").string()});
    EXPECT_EQ(next.exitCode, 0) << "kill point " << point << "\n" << next.shown();
    const auto now = shapefileSet(work, "fixes");
    EXPECT_TRUE(now == before || now == after) << "kill point " << point << ": a mixed or damaged set";
    originals += now == before ? 1 : 0;
    results += now == after ? 1 : 0;
    EXPECT_EQ(firstUnreadable(work), "") << "kill point " << point;
    fs::remove_all(work);
  }
  // A kill after the journal is rolled forward: the switch points must give results.
  if (switchPoints > 0) {
    EXPECT_GT(results, 0);
  }
  std::cout << command << ", " << fixes << " fixes, " << points << " kill points over the run and "
            << switchPoints << " in its switch, a run of "
            << std::chrono::duration_cast<std::chrono::milliseconds>(duration).count() << " ms: " << originals
            << " left the original, " << results << " the result\n";
}

}  // namespace orvex::test
