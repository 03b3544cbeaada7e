// The installed tree knows no absolute path: installed with DESTDIR, then moved, it still finds
// its libraries and its registry, runs the demo, and a user's own registry overrides the
// installed one.

#include <gtest/gtest.h>

#include <cstdlib>
#include <utility>

#include "support/files.h"
#include "support/orvex_process.h"
#include "support/temp_folder.h"

namespace orvex::test {
namespace {

namespace fs = std::filesystem;

TEST(Install, MovedTreeRunsTheDemoOnItsOwnRegistry) {
  const TempFolder folder("install");
  const fs::path staged = folder / "stage";
  const std::string install = "DESTDIR=" + shellQuoted(staged.string()) + " " + shellQuoted(ORVEX_CMAKE) +
                              " --install " + shellQuoted(ORVEX_BUILD_DIR) + " --prefix /usr >" +
                              shellQuoted((folder / "install.log").string()) + " 2>&1";
  ASSERT_EQ(std::system(install.c_str()), 0) << readAll(folder / "install.log");

  const fs::path root = folder / "moved";
  fs::rename(staged / "usr", root);  // nothing may point into the staging folder
  for (const char* file :
       {"bin/orvex", "lib/orvex/liborvexcore.so", "lib/orvex/liborvexui.so", "lib/orvex/registry",
        "share/man/man1/orvex.1.gz", "share/man/man1/orvex-import-movebank.1.gz"})
    EXPECT_TRUE(fs::exists(root / file)) << file;
  const std::string registry = readAll(root / "lib/orvex/registry");
  EXPECT_NE(registry.find("InprocServer32=liborvexcore.so"), std::string::npos) << registry;
  EXPECT_EQ(registry.find("InprocServer32=/"), std::string::npos) << registry;

#ifdef ORVEX_PYTHON
  // The Python package, where Debian's python3 looks for prefix /usr, finds its libraries.
  const std::string python = "PYTHONPATH=" + shellQuoted((root / "lib/python3/dist-packages").string()) +
                             " " + ORVEX_PYTHON +
                             " -c 'import orvex; print(orvex.mcp([0, 2, 2, 0], [0, 0, 2, 2], 100).area)' >" +
                             shellQuoted((folder / "python.log").string()) + " 2>&1";
  EXPECT_EQ(std::system(python.c_str()), 0) << readAll(folder / "python.log");
  EXPECT_EQ(readAll(folder / "python.log"), "4.0\n");
#endif

  const fs::path home = folder / "home";
  fs::create_directories(home);
  const fs::path orvex = root / "bin/orvex";
  OrvexRun run = runOrvex(home, {"commands"}, {}, orvex);
  ASSERT_EQ(run.exitCode, 0) << run.shown();
  EXPECT_NE(run.out.find("ORVEX.clsKDETool"), std::string::npos) << run.shown();

  run = runOrvex(home, {"demo", "--out", (folder / "demo").string()}, {}, orvex);
  ASSERT_EQ(run.exitCode, 0) << run.shown();
  bool profile = false;
  for (const auto& entry : fs::directory_iterator(folder / "demo" / "kde"))
    profile = profile || entry.path().filename().string().ends_with("_profile.png");
  EXPECT_TRUE(profile) << run.shown();

  // A user's registry, here of the core library only, wins over the installed one.
  run = runOrvex(home, {"register", (root / "lib/orvex/liborvexcore.so").string()}, {}, orvex);
  ASSERT_EQ(run.exitCode, 0) << run.shown();
  run = runOrvex(home, {"commands"}, {}, orvex);
  EXPECT_EQ(run.out.find("ORVEX.clsKDETool"), std::string::npos) << run.shown();
  EXPECT_NE(run.out.find("Orvex8.orvex_MCP"), std::string::npos) << run.shown();
}

// The package `make package` leaves in the build folder: its dependencies are Debian packages
// this machine knows, and unpacked into a root of its own the program runs the demo.
TEST(Install, DebianPackageUnpackedRunsTheDemo) {
  fs::path deb;
  for (const auto& entry : fs::directory_iterator(ORVEX_BUILD_DIR))
    if (entry.path().extension() == ".deb" && entry.path().filename().string().starts_with("orvex_"))
      deb = entry.path();
  if (deb.empty()) GTEST_SKIP() << "no package: make package builds it";
  if (fs::last_write_time(deb) < fs::last_write_time(fs::path(ORVEX_BIN_DIR) / "orvex"))
    GTEST_SKIP() << deb << " is older than the program: make package builds it again";

  const TempFolder folder("deb");
  const auto shell = [&folder](const std::string& command) {
    const int status =
        std::system((command + " >" + shellQuoted((folder / "out.txt").string()) + " 2>&1").c_str());
    return std::pair{status, readAll(folder / "out.txt")};
  };
  const auto [fieldStatus, depends] = shell("dpkg-deb -f " + shellQuoted(deb.string()) + " Depends");
  ASSERT_EQ(fieldStatus, 0) << depends;
  // "libgdal32 (>= 3.6.2), proj-data, ...": each name a package apt knows (one query for all,
  // which shows one record per package it knows).
  std::string name, names;
  std::size_t count = 0;
  for (const char c : depends + ",") {
    if (c == ',' || c == '|' || c == ' ' || c == '(') {
      if (!name.empty() && name.find_first_of("<>=)") == std::string::npos) {
        ++count;
        names += " " + shellQuoted(name);
      }
      name.clear();
    } else if (c != '\n') {
      name += c;
    }
  }
  EXPECT_GE(count, 3u) << depends;  // GDAL, PROJ's data, the C++ runtime at least
  const auto [queried, shown] = shell("apt-cache show --no-all-versions" + names);
  std::size_t records = 0;
  for (std::size_t at = shown.find("Package: "); at != std::string::npos;
       at = shown.find("\nPackage: ", at + 1))
    ++records;
  EXPECT_EQ(records, count) << names << "\n" << shown.substr(0, 2000);

  const fs::path root = folder / "root";
  const auto [unpacked, log] =
      shell("dpkg-deb -x " + shellQuoted(deb.string()) + " " + shellQuoted(root.string()));
  ASSERT_EQ(unpacked, 0) << log;
  const fs::path home = folder / "home";
  fs::create_directories(home);
  const OrvexRun run =
      runOrvex(home, {"demo", "--out", (folder / "demo").string()}, {}, root / "usr/bin/orvex");
  ASSERT_EQ(run.exitCode, 0) << run.shown();
  EXPECT_TRUE(fs::exists(folder / "demo" / "fixes.shp")) << run.shown();
}

}  // namespace
}  // namespace orvex::test
