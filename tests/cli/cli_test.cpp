// The `orvex` executable: golden runs of --version and --help, usage errors, the registry
// round trip, and commands run in the headless host with answers given on the command line.

#include <gtest/gtest.h>

#include <filesystem>

#include "headless/headless_fixtures.h"
#include "host/version.h"
#include "support/orvex_process.h"

using orvex::test::fiveFixes;
using orvex::test::OrvexRun;
using orvex::test::readAll;
using orvex::test::runOrvex;
using orvex::test::TempFolder;
using orvex::test::writePoints;

namespace {

const std::string kProbeLibrary = ORVEX_CLI_PROBE;

/// Text of a run for failure messages.

bool contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// --- golden runs and usage errors -----------------------------------------------------------

TEST(CliGolden, VersionPrintsTheNameAndVersionOnly) {
  TempFolder home;
  const auto run = runOrvex(home.path(), {"--version"});
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.out, std::string("orvex ") + orvex::kVersion + "\n");
  EXPECT_EQ(run.err, "");
}

TEST(CliGolden, HelpListsTheSubcommandsGlobalOptionsAndExitCodes) {
  TempFolder home;
  const auto run = runOrvex(home.path(), {"--help"});
  EXPECT_EQ(run.exitCode, 0) << run.shown();
  for (const char* part :
       {"register", "unregister", "commands", "run", "--map-crs", "--temp", "--yes", "--no", "--quiet",
        "--registry", "--version", "Exit status: 0 success, 1 the command failed"})
    EXPECT_TRUE(contains(run.out, part)) << part << "\n" << run.shown();
}

TEST(CliGolden, SubcommandHelpDescribesItsOwnOptions) {
  TempFolder home;
  const auto run = runOrvex(home.path(), {"run", "--help"});
  EXPECT_EQ(run.exitCode, 0) << run.shown();
  for (const char* part : {"--step", "--where", "--oid", "--layer", "--output", "--open", "--folder"})
    EXPECT_TRUE(contains(run.out, part)) << part << "\n" << run.shown();
}

TEST(CliGolden, UsageErrorsExitWithTwoAndAMessage) {
  TempFolder home;
  const std::vector<std::vector<std::string>> wrong = {
      {},                                                  // no subcommand
      {"nosuch"},                                          // unknown subcommand
      {"--bogus", "commands"},                             // unknown option
      {"--yes", "--no", "commands"},                       // contradictory answers
      {"--temp", (home / "absent").string(), "commands"},  // no such folder
      {"run"},                                             // no ProgID
      {"run", "X.Y", "--oid", "three"},                    // not a number
      {"run", "X.Y", "--step", "frmA"},                    // no step
      {"run", "X.Y", "--step", "frmA.btnOK=press"},        // unknown action
  };
  for (const auto& args : wrong) {
    const auto run = runOrvex(home.path(), args);
    std::string line;
    for (const auto& arg : args) line += arg + " ";
    EXPECT_EQ(run.exitCode, 2) << line << "\n" << run.shown();
    EXPECT_FALSE(run.err.empty()) << line;
  }
}

// --- registry ------------------------------------------------------------------------------

TEST(CliRegistry, RegisterListUnregisterRoundTrip) {
  TempFolder home;
  const std::string registry = (home / "registry.txt").string();

  const auto registered = runOrvex(home.path(), {"--registry", registry, "register", kProbeLibrary});
  ASSERT_EQ(registered.exitCode, 0) << registered.shown();
  EXPECT_TRUE(contains(registered.out, "Registered " + kProbeLibrary));
  EXPECT_TRUE(contains(readAll(registry), kProbeLibrary));

  const auto listed = runOrvex(home.path(), {"--registry", registry, "commands"});
  ASSERT_EQ(listed.exitCode, 0) << listed.shown();
  EXPECT_TRUE(contains(listed.out,
                       "ORVEXPROBE.Probe\n"
                       "  Name: Probe\n"
                       "  Caption: Probe Probe\n"
                       "  Tooltip: Probe tooltip\n"
                       "  Message: Reports what the host gives it\n"
                       "  Category: Probes\n"))
      << listed.shown();
  EXPECT_TRUE(contains(listed.out, "ORVEXPROBE.Fail\n"));
  EXPECT_TRUE(contains(listed.out, "ORVEXPROBE.Throw\n"));

  const auto unregistered = runOrvex(home.path(), {"--registry", registry, "unregister", kProbeLibrary});
  ASSERT_EQ(unregistered.exitCode, 0) << unregistered.shown();
  const auto after = runOrvex(home.path(), {"--registry", registry, "commands"});
  EXPECT_EQ(after.exitCode, 0) << after.shown();
  EXPECT_FALSE(contains(after.out, "ORVEXPROBE")) << after.shown();
  EXPECT_FALSE(std::filesystem::exists(home / "orvex"));  // the default registry was never touched
}

TEST(CliRegistry, WithoutARegistryFileTheLibrariesBesideOrvexAreUsed) {
  // A folder of its own holding orvex, the libraries it links and the probe library as the
  // only component library, so that the answer does not depend on what else is built.
  TempFolder home;
  const auto bin = home / "bin";
  std::filesystem::create_directories(bin);
  const std::filesystem::path built(ORVEX_BIN_DIR);
  std::filesystem::copy_file(built / "orvex", bin / "orvex");
  for (const char* library : {"liborvexhost.so", "liborvexplatform.so"})
    std::filesystem::create_symlink(built / library, bin / library);
  std::filesystem::copy_file(kProbeLibrary, bin / "liborvex_cli_probe.so");

  const auto absent = home / "none" / "registry";
  const auto run = runOrvex(home.path(), {"--registry", absent.string(), "commands"}, {}, bin / "orvex");
  EXPECT_EQ(run.exitCode, 0) << run.shown();
  EXPECT_TRUE(contains(run.out, "ORVEXPROBE.Probe\n  Name: Probe\n")) << run.shown();
  EXPECT_FALSE(std::filesystem::exists(absent));  // listing writes nothing
}

TEST(CliRegistry, RegisterWithoutLibrariesTakesThoseBesideOrvexIntoTheDefaultRegistry) {
  TempFolder home;
  const auto run = runOrvex(home.path(), {"register"});
  ASSERT_EQ(run.exitCode, 0) << run.shown();
  EXPECT_TRUE(contains(run.out, "/liborvexcore.so in " + (home / "orvex" / "registry").string()))
      << run.shown();
  EXPECT_TRUE(contains(run.out, "/liborvexui.so in ")) << run.shown();
  // ${XDG_CONFIG_HOME}/orvex/registry, holding what the libraries offer
  EXPECT_TRUE(contains(readAll(home / "orvex" / "registry"), "liborvexui.so"));
}

TEST(CliRegistry, ALibraryThatCannotBeLoadedFailsWithOne) {
  TempFolder home;
  const auto run =
      runOrvex(home.path(), {"--registry", (home / "r").string(), "register", (home / "no.so").string()});
  EXPECT_EQ(run.exitCode, 1) << run.shown();
  EXPECT_TRUE(contains(run.err, "orvex: ")) << run.shown();
}

// --- running commands ----------------------------------------------------------------------

/// A registry holding the probe commands and a shapefile of five fixes (animals a and b).
class CliRun : public ::testing::Test {
 protected:
  TempFolder home;
  std::string registry = (home / "registry.txt").string();
  std::string fixes;

  void SetUp() override {
    ASSERT_EQ(runOrvex(home.path(), {"--registry", registry, "register", kProbeLibrary}).exitCode, 0);
    fixes = writePoints(home.path(), "fixes", fiveFixes()).string();
  }

  OrvexRun probe(std::vector<std::string> args, const std::string& progId = "ORVEXPROBE.Probe") {
    args.insert(args.begin(), {"--registry", registry, "run", progId});
    return runOrvex(home.path(), args);
  }
};

TEST_F(CliRun, TheCommandSeesTheMapAndTheAnswersGiven) {
  const auto run = probe({fixes, "--yes", "-o", (home / "out" / "result").string(), "--step",
                          "frmProbe.txtValue=type:42", "--step", "frmProbe.btnOK=click"});
  ASSERT_EQ(run.exitCode, 0) << run.shown();
  EXPECT_EQ(run.err,
            "Probe: Layers: 1, selected: 5\n"
            "Probe: Map: none\n"
            "Probe: Chosen layer: fixes\n"
            "Probe: TEMP=" +
                std::string(std::getenv("TEMP") != nullptr ? std::getenv("TEMP") : "") +
                "\n"
                "Question: Go on?\n"
                "Probe: Saved to: " +
                (home / "out" / "result.shp").string() +
                "\n"
                "Probe: Value: 42\n");
}

TEST_F(CliRun, SelectionsComeFromWhereClausesAndObjectIds) {
  EXPECT_TRUE(contains(probe({fixes, "--no", "--where", "AnimalID = 'b'"}).err, "selected: 2\n"));
  EXPECT_TRUE(contains(probe({fixes, "--no", "--oid", "0,2"}).err, "selected: 2\n"));
  EXPECT_TRUE(
      contains(probe({fixes, "--no", "--oid", "4", "--oid", "3", "--oid", "0"}).err, "selected: 3\n"));
  EXPECT_TRUE(contains(probe({fixes, "--no", "--where", "Seq > 1", "--oid", "0,1"}).err, "selected: 1\n"));
}

TEST_F(CliRun, NoAnswersAQuestionWithNoWhereverTheOptionStands) {
  const auto run = probe({fixes, "--no"});  // a global option after the subcommand
  EXPECT_EQ(run.exitCode, 0) << run.shown();
  EXPECT_TRUE(contains(run.err, "Question: Go on?\nProbe: Stopped\n")) << run.shown();
  EXPECT_FALSE(contains(run.err, "Save Probe"));
}

TEST_F(CliRun, WithoutAnswersTheDefaultsAreTakenAndDialogsCancelled) {
  const auto run = probe({fixes});
  EXPECT_EQ(run.exitCode, 0) << run.shown();
  EXPECT_TRUE(contains(run.err,
                       "Question: Go on?\n"  // no terminal: the default, Yes
                       "Save Probe: no file given; cancelled\n"
                       "Probe: No file\n"
                       "Probe Form: no answers given; cancelled\n"
                       "Probe: Form cancelled\n"))
      << run.shown();
}

TEST_F(CliRun, TheMapCoordinateSystemAndTheTemporaryFolderCanBeGiven) {
  const auto temp = home / "scratch";
  std::filesystem::create_directories(temp);
  const auto run = probe({fixes, "--no", "--map-crs", "EPSG:4326", "--temp", temp.string()});
  EXPECT_EQ(run.exitCode, 0) << run.shown();
  EXPECT_TRUE(contains(run.err, "Probe: Map: WGS 84\n")) << run.shown();
  EXPECT_TRUE(contains(run.err, "Probe: TEMP=" + temp.string() + "\n")) << run.shown();
}

TEST_F(CliRun, TheChosenLayerCanBeNamed) {
  const auto other = writePoints(home.path(), "other", {{1, 1, "c"}});
  const auto run = probe({fixes, other.string(), "--no", "--layer", "other"});
  EXPECT_TRUE(contains(run.err, "Layers: 2, selected: 6\n")) << run.shown();
  EXPECT_TRUE(contains(run.err, "Chosen layer: other\n")) << run.shown();
}

TEST_F(CliRun, AFailureStatusExitsWithOne) {
  const auto run = probe({}, "ORVEXPROBE.Fail");
  EXPECT_EQ(run.exitCode, 1) << run.shown();
  EXPECT_EQ(run.err, "orvex: ORVEXPROBE.Fail failed (status 0x80004005)\n");
}

TEST_F(CliRun, AHostErrorExitsWithOneAndItsText) {
  const auto run = probe({}, "orvexprobe.throw");  // ProgIDs ignore letter case
  EXPECT_EQ(run.exitCode, 1) << run.shown();
  EXPECT_EQ(run.err, "orvex: Probe failure on purpose\n");
}

TEST_F(CliRun, UnknownCommandsAndMissingFilesExitWithOne) {
  const auto unknown = probe({}, "ORVEXPROBE.Nothing");
  EXPECT_EQ(unknown.exitCode, 1) << unknown.shown();
  EXPECT_TRUE(contains(unknown.err, "ORVEXPROBE.Nothing")) << unknown.shown();

  const auto missing = probe({(home / "absent.shp").string()});
  EXPECT_EQ(missing.exitCode, 1) << missing.shown();
  EXPECT_TRUE(contains(missing.err, "absent.shp")) << missing.shown();
  EXPECT_FALSE(contains(missing.err, "Probe:"));  // the command never ran
}

TEST_F(CliRun, AStepTheFormCannotTakeFailsTheCommand) {
  const auto run = probe({fixes, "--yes", "--step", "frmProbe.txtMissing=type:1"});
  EXPECT_EQ(run.exitCode, 1) << run.shown();
  EXPECT_TRUE(contains(run.err, "txtMissing")) << run.shown();
}

}  // namespace

// --- progress for a program that runs orvex ------------------------------------------------

TEST(CliProgressLines, EachStepIsOneLineOnStandardErrorBesideTheJsonSummary) {
  TempFolder home;
  const std::string fixes =
      writePoints(
          home.path(), "fixes",
          {{0, 0, "a"}, {10, 0, "a"}, {10, 10, "a"}, {100, 100, "b"}, {110, 100, "b"}, {110, 110, "b"}})
          .string();
  const auto run = runOrvex(home.path(), {"--progress-lines", "--json", "mcp", fixes, "--by", "AnimalID",
                                          "--all-points", "--out", (home / "{layer}_mcp.shp").string()});
  ASSERT_EQ(run.exitCode, 0) << run.shown();
  // Two layers, each half of the run, then the end; no bar redrawn with carriage returns.
  EXPECT_TRUE(contains(run.err,
                       "orvex-progress 0 MCP Analysis\norvex-progress 50 MCP Analysis\n"
                       "orvex-progress 100 MCP Analysis\n"))
      << run.shown();
  EXPECT_FALSE(contains(run.err, "\r"));
  EXPECT_TRUE(run.out.starts_with("{")) << run.shown();
}
