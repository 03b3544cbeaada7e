// The installed tree knows no absolute path: installed with DESTDIR, then moved, it still finds
// its libraries and its registry, runs the demo, and a user's own registry overrides the
// installed one.

#include <gtest/gtest.h>

#include <cstdlib>

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

}  // namespace
}  // namespace orvex::test
