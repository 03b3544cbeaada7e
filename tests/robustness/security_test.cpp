// What a run loads and where it keeps its copies: nothing is read or loaded from the current
// folder unless the user named it, every scratch folder comes from mkdtemp under TMPDIR, and a
// run stopped by a signal removes its scratch folders.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <regex>
#include <set>
#include <thread>

#include "robustness/kill_support.h"
#include "robustness/robustness_support.h"
#include "support/orvex_process.h"
#include "support/temp_folder.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using namespace orvex::test;

const fs::path kOrvex = fs::path(ORVEX_BIN_DIR) / "orvex";

/// A registry that fails every run that reads it: its first class header is no class id.
void plantRegistry(const fs::path& folder) {
  fs::create_directories(folder / "orvex");
  std::ofstream(folder / "orvex" / "registry") << "[planted by another user]\nInprocServer32=evil.so\n";
}

struct Environment {
  const char* name;
  std::vector<std::string> env;  ///< `env` arguments: -u NAME first, then NAME=VALUE
};

// With HOME unset, empty or relative, or XDG_CONFIG_HOME relative, the registry path resolved
// to ./.config/orvex/registry: a data folder holding one made the run load its libraries. The
// run now reads no registry from the current folder and finds its own components.
TEST(Security, NoRegistryIsReadFromTheCurrentFolder) {
  const Environment cases[] = {
      {"HOME unset", {"-u", "HOME", "-u", "XDG_CONFIG_HOME"}},
      {"HOME empty", {"-u", "XDG_CONFIG_HOME", "HOME="}},
      {"HOME relative", {"-u", "XDG_CONFIG_HOME", "HOME=."}},
      {"XDG_CONFIG_HOME relative", {"XDG_CONFIG_HOME=.config", "HOME=."}},
  };
  TempFolder home("security");
  const fs::path data = home / "data";
  plantRegistry(data / ".config");
  for (const Environment& environment : cases) {
    SCOPED_TRACE(environment.name);
    std::vector<std::string> args = environment.env;
    args.insert(args.end(), {kOrvex.string(), "commands"});
    const OrvexRun run = runOrvex(home.path(), args, {}, "/usr/bin/env", data);
    EXPECT_EQ(run.exitCode, 0) << run.shown();
    EXPECT_EQ(run.err.find("registry"), std::string::npos) << run.shown();
    EXPECT_NE(run.out.find("orvex_kernel"), std::string::npos) << run.shown();
  }
}

// Where /proc/self/exe cannot be read (a /proc of its own in a mount namespace), the
// executable's folder fell back to the current folder and every component library there was
// loaded. A copy of the core library in the current folder now stays unloaded.
TEST(Security, NoLibraryIsLoadedFromTheCurrentFolderWithoutProc) {
  if (::geteuid() != 0 || std::system("unshare --mount --fork true >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "needs root and unshare to hide /proc";
  TempFolder home("security");
  const fs::path data = home / "data";
  fs::create_directories(data);
  fs::copy_file(fs::path(ORVEX_BIN_DIR) / "liborvexcore.so", data / "liborvexcore.so");
  // Without /proc the loader cannot expand $ORIGIN: the build's libraries are named.
  const OrvexRun run =
      runOrvex(home.path(),
               {"--mount", "--fork", "sh", "-c",
                "mount -t tmpfs none /proc && LD_LIBRARY_PATH=" + std::string(ORVEX_BIN_DIR) + " exec " +
                    kOrvex.string() + " commands"},
               {}, "/usr/bin/unshare", data);
  EXPECT_EQ(run.out.find("orvex_kernel"), std::string::npos) << run.shown();
}

/// Starts `orvex args...` with TEMP and TMPDIR at `temporary`, the stop signals at their
/// defaults (a test runner may ignore SIGINT) and its output discarded.
pid_t startWithTemporary(const fs::path& home, const fs::path& temporary,
                         const std::vector<std::string>& args) {
  std::vector<std::string> env{"HOME=" + home.string(), "XDG_CONFIG_HOME=" + home.string(),
                               "TEMP=" + temporary.string(), "TMPDIR=" + temporary.string(),
                               "PATH=/usr/bin:/bin"};
  std::vector<std::string> words{kOrvex.string(), "--quiet"};
  words.insert(words.end(), args.begin(), args.end());
  std::vector<char*> argv, envp;
  for (auto& word : words) argv.push_back(word.data());
  for (auto& entry : env) envp.push_back(entry.data());
  argv.push_back(nullptr);
  envp.push_back(nullptr);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t defaults;
  sigemptyset(&defaults);
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&defaults, signal);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = -1;
  posix_spawn(&pid, argv[0], &actions, &attributes, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  return pid;
}

/// The folders in `folder`.
std::vector<std::string> foldersIn(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder))
    if (entry.is_directory()) names.push_back(entry.path().filename().string());
  return names;
}

// A GeoPackage is analysed through a scratch copy: the copy's folder is made by mkdtemp under
// TMPDIR (a prefix and six random characters, not the process id), and a run stopped by
// SIGINT, SIGTERM or SIGHUP removes it (30 kills left 242 MB behind) and ends by that signal.
TEST(Security, AStoppedRunRemovesItsMkdtempScratchFolder) {
  TempFolder home("security");
  writeLayer(home / "fixes.gpkg", layerOf(circleFixes(50000)));
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
    SCOPED_TRACE(strsignal(signal));
    const fs::path temporary = home / ("tmp" + std::to_string(signal));
    fs::create_directories(temporary);
    const pid_t pid = startWithTemporary(home.path(), temporary,
                                         {"kde", (home / "fixes.gpkg").string(), "--id", "AnimalID",
                                          "--bandwidth", "lscv", "--out-dir", (home / "out").string()});
    ASSERT_GT(pid, 0);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (foldersIn(temporary).empty() && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    const std::vector<std::string> made = foldersIn(temporary);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));  // the copy under way or done
    ::kill(pid, signal);
    int status = 0;
    ::waitpid(pid, &status, 0);

    ASSERT_EQ(made.size(), 1U);
    EXPECT_TRUE(std::regex_match(made.front(), std::regex("orvex-host-[A-Za-z0-9]{6}"))) << made.front();
    EXPECT_EQ(made.front().find(std::to_string(pid)), std::string::npos) << made.front();
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << "status " << status;
    EXPECT_TRUE(foldersIn(temporary).empty()) << "left: " << foldersIn(temporary).front();
  }
}

/// The names of the entries of `folder`, hidden ones included.
std::set<std::string> namesIn(const fs::path& folder) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) names.insert(entry.path().filename().string());
  return names;
}

// An in-place edit stopped by SIGINT, SIGTERM or SIGHUP left its lock and its working copy (a
// whole copy of the layer) beside the user's file. The handler removes both; the file is the
// original or, when the signal came during the switch, the whole result.
TEST(Security, AStoppedEditLeavesNothingBesideTheFile) {
  TempFolder home("security");
  auto features = circleFixes(50000);
  for (std::size_t i = 0; i + 1 < features.size(); i += 97) features[i + 1] = features[i];
  writeLayer(home / "original.shp", layerOf(features));
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
    SCOPED_TRACE(strsignal(signal));
    const fs::path data = home / ("data" + std::to_string(signal));
    fs::create_directories(data);
    for (const char* extension : {".shp", ".shx", ".dbf", ".prj", ".cpg"})
      fs::copy_file(home / ("original" + std::string(extension)), data / ("fixes" + std::string(extension)));
    const auto names = namesIn(data);
    const pid_t pid = startOrvex(home.path(), {"--yes", "dedup-xy", (data / "fixes.shp").string()});
    ASSERT_GT(pid, 0);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!fs::exists(data / ".fixes.orvex-edit" / "new" / "fixes.dbf") &&
           std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ::kill(pid, signal);
    int status = 0;
    ::waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << "status " << status;
    EXPECT_EQ(namesIn(data), names);
    EXPECT_EQ(firstUnreadable(data), "");
  }
}

// The engine's log has a fixed name in the temporary folder, and was opened with fopen "wb":
// a link planted there by another user made the run empty and overwrite the link's target (any
// file of the user's), and another user's file there took the log. Neither is written now.
TEST(Security, TheEngineLogNeverWritesThroughAPlantedFile) {
  TempFolder home("security");
  writeLayer(home / "fixes.shp", layerOf(circleFixes(40)));
  const fs::path temporary = home / "tmp";
  fs::create_directories(temporary);
  std::ofstream(home / "precious.txt") << "the user's own file\n";
  fs::create_symlink(home / "precious.txt", temporary / "logfile");
  const OrvexRun linked = runOrvex(home.path(), {"--temp", temporary, "--yes", "kernel", home / "fixes.shp",
                                                 "--h", "1", "--out", home / "k.shp"});
  EXPECT_EQ(linked.exitCode, 0) << linked.shown();
  EXPECT_EQ(readAll(home / "precious.txt"), "the user's own file\n");

  if (::geteuid() != 0) return;  // only root can give the file to another user
  fs::remove(temporary / "logfile");
  std::ofstream(temporary / "logfile") << "another user's file\n";
  ASSERT_EQ(::chown((temporary / "logfile").c_str(), 65534, 65534), 0);
  const OrvexRun foreign = runOrvex(home.path(), {"--temp", temporary, "--yes", "kernel", home / "fixes.shp",
                                                  "--h", "1", "--out", home / "k2.shp"});
  EXPECT_EQ(foreign.exitCode, 0) << foreign.shown();
  EXPECT_EQ(readAll(temporary / "logfile"), "another user's file\n");
}

/// An output named on the command line, and the file already at that name.
struct ExistingOutput {
  const char* name;
  std::vector<std::string> args;  ///< "IN": the input .shp, "OUT": the output, "OUTDIR": a folder
  const char* target;             ///< the output's name in the data folder
  const char* linkTo;             ///< not null: the output is a symbolic link to this file
  bool yes;                       ///< the run is given --yes
  const char* says;               ///< in standard error
};

// `track --svg`, `kde --save-settings` and `kde --independence=FILE` replaced any file, the
// input under analysis and a link's target included (`track in.shp --svg in.dbf` destroyed the
// attribute table). An input's file is now never an output, and another file is replaced only
// with --yes; each refusal is a failed item (exit 1) and the file stays byte for byte.
TEST(Security, AnOutputNeverReplacesAnInputOrAnUnconfirmedFile) {
  const std::vector<std::string> kde{"kde",         "IN",   "--id",      "AnimalID",
                                     "--bandwidth", "href", "--out-dir", "OUTDIR"};
  const auto withKde = [&](std::vector<std::string> rest) {
    std::vector<std::string> args = kde;
    args.insert(args.end(), rest.begin(), rest.end());
    return args;
  };
  const std::vector<ExistingOutput> cases{
      {"track picture over the input's table",
       {"track", "IN", "--svg", "OUT"},
       "in.dbf",
       nullptr,
       true,
       "is a file of the input in.shp"},
      {"track picture through a link to the input",
       {"track", "IN", "--svg", "OUT"},
       "picture.svg",
       "in.shx",
       true,
       "is a file of the input in.shp"},
      {"track picture over a file, no --yes",
       {"track", "IN", "--svg", "OUT"},
       "old.svg",
       nullptr,
       false,
       "exists; not replaced (--yes replaces it)"},
      {"settings over a file, no --yes", withKde({"--save-settings", "OUT"}), "s.txt", nullptr, false,
       "exists; not replaced (--yes replaces it)"},
      {"settings over the input's .prj", withKde({"--save-settings", "OUT"}), "in.prj", nullptr, true,
       "is a file of the input in.shp"},
      {"independence table over a file, no --yes", withKde({"--independence=OUT"}), "i.csv", nullptr, false,
       "exists; not replaced (--yes replaces it)"},
  };
  for (const ExistingOutput& c : cases) {
    SCOPED_TRACE(c.name);
    TempFolder home("security");
    const fs::path data = home / "data";
    fs::create_directories(data);
    writeLayer(data / "in.shp", layerOf(circleFixes(60)));
    const fs::path target = data / c.target;
    if (c.linkTo != nullptr)
      fs::create_symlink(data / c.linkTo, target);
    else if (!fs::exists(target))
      std::ofstream(target) << "an earlier file\n";
    const auto before = snapshot(data);
    std::vector<std::string> args;
    if (c.yes) args.push_back("--yes");
    for (const std::string& arg : c.args)
      args.push_back(arg == "IN"                   ? (data / "in.shp").string()
                     : arg == "OUT"                ? target.string()
                     : arg == "OUTDIR"             ? (home / "out").string()
                     : arg == "--independence=OUT" ? "--independence=" + target.string()
                                                   : arg);
    const OrvexRun run = runOrvex(home.path(), args);
    EXPECT_EQ(run.exitCode, 1) << run.shown();
    EXPECT_NE(run.err.find(c.says), std::string::npos) << run.shown();
    EXPECT_EQ(changedFiles(before, snapshot(data)), "") << run.shown();
  }
}

}  // namespace
