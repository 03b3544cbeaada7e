// `orvex menu` and `orvex about`, run as a user runs them.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "headless/headless_fixtures.h"
#include "support/orvex_process.h"

namespace {

using orvex::test::OrvexRun;
using orvex::test::runOrvex;
using orvex::test::TempFolder;

// The whole menu: the captions of the six orvexui commands and of the two orvexcore commands,
// which the host resolves through the registry, with a separator before each new group; then
// the toolbar of orvexrange (toolbars go in ProgID order), with a menu of its own.
constexpr const char* kMenu =
    "Talvo Arcgis 9 [ORVEXTools]\n"
    "  TALVO Tools [Tools]\n"
    "    Kernel Density Estimation (ORVEX.clsKDETool)\n"
    "    MCP Analysis (Orvex8.orvex_MCP)\n"
    "    Calculate Travel Times and Distances (ORVEX.orvexobs)\n"
    "    Remove Time2 Field Duplicates (ORVEX.FindDupTime2)\n"
    "    Remove X/Y Duplicates (ORVEX.FindDupxy)\n"
    "    Display Travel (ORVEX.MOLE)\n"
    "    ----\n"
    "    Import Lotek MDB Files (Orvex8.orvex_import)\n"
    "    ----\n"
    "    About... (ORVEX.clsAbout)\n"
    "Orvex Range [ORVEXRange]\n"
    "  Range Tools [Range]\n"
    "    Brownian Bridge Home Range (ORVEX.clsBBMMTool)\n"
    "    LoCoH Home Range (ORVEX.clsLOCOHTool)\n"
    "    Home Range Overlap (ORVEX.clsOverlapTool)\n";

TEST(MenuCommand, ShowsTheToolbarAndItsEightItemsFromTheLibrariesBesideOrvex) {
  TempFolder home;  // no registry file there: the libraries beside orvex are used
  const auto run = runOrvex(home.path(), {"menu"});
  EXPECT_EQ(run.exitCode, 0) << run.shown();
  EXPECT_EQ(run.out, kMenu);
  EXPECT_EQ(run.err, "");
}

TEST(MenuCommand, ItemsOfALibraryThatIsNotRegisteredAreShownAsUnavailable) {
  TempFolder home;
  const std::string registry = (home / "registry").string();
  const std::string ui = (std::filesystem::path(ORVEX_BIN_DIR) / "liborvexui.so").string();
  ASSERT_EQ(runOrvex(home.path(), {"--registry", registry, "register", ui}).exitCode, 0);

  const auto run = runOrvex(home.path(), {"--registry", registry, "menu"});
  EXPECT_EQ(run.exitCode, 1) << run.shown();
  EXPECT_NE(run.out.find("    Kernel Density Estimation (ORVEX.clsKDETool)\n"
                         "    [Orvex8.orvex_MCP] not available\n"),
            std::string::npos)
      << run.shown();
  EXPECT_NE(run.out.find("    ----\n"
                         "    [Orvex8.orvex_import] not available\n"
                         "    ----\n"
                         "    About... (ORVEX.clsAbout)\n"),
            std::string::npos)
      << run.shown();
  EXPECT_NE(run.err.find("Orvex8.orvex_MCP"), std::string::npos) << run.shown();
}

TEST(MenuCommand, NoRegisteredToolbarIsAFailure) {
  TempFolder home;
  const auto registry = home / "registry";
  { std::ofstream empty(registry); }  // an existing, empty registry: nothing is registered
  const auto run = runOrvex(home.path(), {"--registry", registry.string(), "menu"});
  EXPECT_EQ(run.exitCode, 1) << run.shown();
  EXPECT_EQ(run.out, "");
  EXPECT_NE(run.err.find("no toolbar is registered"), std::string::npos) << run.shown();
}

TEST(AboutCommand, PrintsTheTitleAndTheTextOfTheAboutBox) {
  TempFolder home;
  const auto run = runOrvex(home.path(), {"about"});
  EXPECT_EQ(run.exitCode, 0) << run.shown();
  EXPECT_EQ(
      run.out.rfind("TALVO: Talvo for ArcGIS\n\nTALVO Tools: home-range analysis for wildlife telemetry\n\n"
                    "Version 1.1 (built ",
                    0),
      0u)
      << run.shown();
  EXPECT_NE(run.out.find("GPL-2.0-or-later"), std::string::npos);
  EXPECT_NE(run.out.find("\n\nDisclaimer\n- "), std::string::npos);
  EXPECT_EQ(run.err, "");  // closed by its exit button: no note of a form left open
}

}  // namespace
