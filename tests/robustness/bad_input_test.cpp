// Every `orvex` subcommand against every bad input: no crash, exit 1 with a message naming
// the file or field for what cannot be analysed, the inputs unchanged byte for byte (except
// a successful in-place edit), and no half-written file left behind.

#include <gtest/gtest.h>
#include <unistd.h>

#include <functional>
#include <limits>
#include <ostream>
#include <sstream>

#include "robustness/robustness_support.h"
#include "support/orvex_process.h"
#include "support/temp_folder.h"

namespace {

namespace fs = std::filesystem;
using namespace orvex::test;

/// A bad input: how to make it in a folder (returns the path given to orvex) and whether
/// every command must refuse it.
struct BadInput {
  /// Test lists name a case by its name, not by the bytes of its members.
  friend void PrintTo(const BadInput& input, std::ostream* os) { *os << input.name; }
  const char* name;
  std::function<fs::path(const fs::path& folder)> make;
  /// Every command exits 1 naming the file: files that are no layer of points to the host.
  /// (Empty, line and polygon layers have their exact outcomes in `noFixesOutcome`.)
  bool refused;
  bool refusedByMeasuring = false;  ///< the measuring commands exit 1 naming the file
};

TestLayer fixes(std::vector<TestFeature> features) { return layerOf(std::move(features)); }

TestLayer latin1(const std::vector<TestFeature>& features, bool cpg) {
  TestLayer spec = layerOf(features);
  for (auto& feature : spec.features) feature.values["AnimalID"] = "Chèvre é";
  spec.encoding = "ISO-8859-1";
  spec.cpg = cpg;
  return spec;
}

fs::path layer(const fs::path& folder, const std::string& name, const TestLayer& spec) {
  writeLayer(folder / name, spec);
  return folder / name;
}

TestFeature at(const std::string& wkt, const std::string& time, std::optional<std::string> id = "A") {
  return {wkt, {{"AnimalID", std::move(id)}, {"Time2", time}}};
}

std::vector<TestFeature> withExtra(std::vector<TestFeature> features, TestFeature extra) {
  features.push_back(std::move(extra));
  return features;
}

const std::vector<BadInput>& badInputs() {
  static const std::vector<BadInput> table{
      {"missing_file", [](auto& f) { return f / "absent.shp"; }, true},
      {"folder",
       [](auto& f) {
         fs::create_directories(f / "folder.shp");
         return f / "folder.shp";
       },
       true},
      {"not_gis",
       [](auto& f) {
         std::ofstream(f / "notes.shp") << "not a shapefile\n";
         return f / "notes.shp";
       },
       true},
      {"empty_layer", [](auto& f) { return layer(f, "empty.shp", fixes({})); }, false},
      {"line_layer",
       [](auto& f) {
         return layer(f, "lines.shp", layerOf({at("LINESTRING (0 0,1000 1000)", "1")}, wkbLineString));
       },
       false},
      {"polygon_layer",
       [](auto& f) {
         return layer(f, "polys.shp", layerOf({at("POLYGON ((0 0,0 1000,1000 1000,0 0))", "1")}, wkbPolygon));
       },
       false},
      {"null_geometry",
       [](auto& f) { return layer(f, "nullgeom.shp", fixes(withExtra(circleFixes(20), at("", "9999999")))); },
       false},
      {"empty_geometry",
       [](auto& f) {
         return layer(f, "emptygeom.shp", fixes(withExtra(circleFixes(20), at("POINT EMPTY", "9999999"))));
       },
       false},
      {"nan_coordinates",
       [](auto& f) {
         return layer(f, "nan.shp", fixes(withExtra(circleFixes(20), at("XY nan nan", "9999999"))));
       },
       false},
      // A shapefile cannot hold an infinite coordinate (GDAL refuses to write one): a CSV can.
      {"inf_coordinates",
       [](auto& f) {
         std::ofstream(f / "inf.csv") << "AnimalID,Time2,X,Y\nA,1000,500000,5000000\nA,4600,500100,5000300\n"
                                         "A,8200,inf,5000000\nA,11800,500200,-inf\n";
         return f / "inf.csv";
       },
       false},
      {"huge_coordinates", [](auto& f) { return layer(f, "huge.shp", fixes(circleFixes(20, 1e15, 1e15))); },
       false},
      {"one_fix", [](auto& f) { return layer(f, "one.shp", fixes(circleFixes(1))); }, false},
      {"two_fixes", [](auto& f) { return layer(f, "two.shp", fixes(circleFixes(2))); }, false},
      {"one_place",
       [](auto& f) {
         std::vector<TestFeature> same;
         for (int i = 0; i < 10; ++i) same.push_back(at("POINT (500000 5000000)", std::to_string(1000 + i)));
         return layer(f, "oneplace.shp", fixes(same));
       },
       false},
      {"id_nulls",
       [](auto& f) {
         auto features = circleFixes(20);
         for (int i = 0; i < 20; i += 3)
           features[static_cast<std::size_t>(i)].values["AnimalID"] = std::nullopt;
         return layer(f, "idnulls.shp", fixes(features));
       },
       false},
      {"time2_text",
       [](auto& f) {
         TestLayer spec = fixes(circleFixes(20));
         spec.fields = {{"AnimalID", OFTString}, {"Time2", OFTString}};
         spec.features[3].values["Time2"] = "noon";
         return layer(f, "timetext.shp", spec);
       },
       false},
      {"negative_and_equal_times",
       [](auto& f) {
         auto features = circleFixes(20);
         features[5].values["Time2"] = "-500";
         features[9].values["Time2"] = *features[8].values["Time2"];
         return layer(f, "times.shp", fixes(features));
       },
       false},
      {"geographic",
       [](auto& f) { return layer(f, "degrees.shp", layerOf(circleFixes(20, 57.7, -46.4), wkbPoint, 4326)); },
       false, true},
      {"web_mercator",
       [](auto& f) { return layer(f, "webmerc.shp", layerOf(circleFixes(20), wkbPoint, 3857)); }, false,
       true},
      {"no_spatial_reference",
       [](auto& f) { return layer(f, "noprj.shp", layerOf(circleFixes(20), wkbPoint, 0)); }, false},
      {"latin1_with_cpg", [](auto& f) { return layer(f, "latin1.shp", latin1(circleFixes(20), true)); },
       false},
      {"latin1_without_cpg",
       [](auto& f) { return layer(f, "latin1nocpg.shp", latin1(circleFixes(20), false)); }, false},
      {"non_ascii_and_space_path",
       [](auto& f) {
         fs::create_directories(f / "Données été");
         auto features = circleFixes(20);
         for (auto& feature : features) feature.values["AnimalID"] = "Loup gris ö";
         return layer(f / "Données été", "fixes ö 1.shp", fixes(features));
       },
       false},
  };
  return table;
}

bool mentions(const OrvexRun& run, const fs::path& input) {
  const std::string text = run.out + run.err;
  return text.find(input.filename().string()) != std::string::npos ||
         text.find(input.stem().string()) != std::string::npos;
}

/// Files an edit leaves beside its shapefile; none may outlive a run.
bool editLeftovers(const fs::path& folder) {
  std::error_code error;
  for (const auto& entry : fs::recursive_directory_iterator(folder, error)) {
    const std::string name = entry.path().filename().string();
    if (name.find(".orvex-edit") != std::string::npos || name.find(".orvex-lock") != std::string::npos)
      return true;
  }
  return false;
}

/// The exit status and the closing lines of a run.
struct Outcome {
  int exitCode;
  std::string closing;  ///< the last lines of standard error; of standard output for a success
};

/// What each command says, exactly, of a layer without point fixes: an empty point layer, or a
/// layer of lines or polygons. The failed item is the file given ({file}), the layer ({stem}),
/// or the command's own item qualified by the file; the reason is the command's message.
std::optional<Outcome> noFixesOutcome(const std::string& input, const std::string& command,
                                      const fs::path& file) {
  if (input != "empty_layer" && input != "line_layer" && input != "polygon_layer") return std::nullopt;
  const bool empty = input == "empty_layer";
  struct Row {
    const char* command;
    const char* emptyItem;  ///< null: the command succeeds on an empty layer
    const char* emptyReason;
    const char* otherItem;
    const char* otherReason;
  };
  constexpr const char* kNoFixes =
      "it has no selected point fixes with finite coordinates (an empty layer, or one of lines or polygons)";
  constexpr const char* kNoSelection =
      "You must select/highlight some points in the map to test. No points were "
      "tested or removed!!";
  static const Row rows[] = {
      {"mcp", "{stem}", kNoFixes, "{stem}", kNoFixes},
      {"kernel", "the selection of {file}",
       "A selection is required.  Please select some features and try again.", "the selection of {file}",
       "A larger selection is required.  Please select more features and try again."},
      {"kde", "the run on {file}",
       "No fixes with a value in the field 'AnimalID' were found in the layer '{stem}'", "{file}",
       "Warning: no point layers are present in map (nothing to work with)."},
      {"travel", nullptr, nullptr, "{file}", "You must select a points layer with a Time2 field"},
      {"dedup-time", "{file}", kNoSelection, "{file}", "You must select points layer with a Time2 field"},
      {"dedup-xy", "{file}", kNoSelection, "{file}", "You must select a points layer"},
      {"track", "{file}", "You must select the points to track", "{file}", "You must select a point layer"},
  };
  const auto named = [&file](std::string text) {
    for (const auto& [key, value] : {std::pair<std::string, std::string>{"{stem}", file.stem().string()},
                                     {"{file}", file.filename().string()}})
      if (const auto at = text.find(key); at != std::string::npos) text.replace(at, key.size(), value);
    return text;
  };
  for (const Row& row : rows) {
    if (row.command != command) continue;
    // Travel adds its fields to an empty layer and has no fix to fill: a complete result.
    if (empty && row.emptyItem == nullptr)
      return Outcome{0, named("{stem}: travel fields written for 0 fixes")};
    const std::string item = named(empty ? row.emptyItem : row.otherItem);
    return Outcome{1, "orvex: nothing was written for " + item + ": " +
                          named(empty ? row.emptyReason : row.otherReason) +
                          "\norvex: 1 item failed: " + item};
  }
  return std::nullopt;
}

/// The last `count` lines of `text`, joined by line breaks.
std::string lastLines(const std::string& text, std::size_t count) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  std::string last;
  for (std::size_t i = lines.size() - std::min(count, lines.size()); i < lines.size(); ++i)
    last += (last.empty() ? "" : "\n") + lines[i];
  return last;
}

class BadInputs : public testing::TestWithParam<BadInput> {};

TEST_P(BadInputs, EveryCommandFailsCleanlyAndLeavesTheInputAlone) {
  const BadInput& input = GetParam();
  for (const CommandLine& command : commandLines()) {
    if (!command.readsInput) continue;
    SCOPED_TRACE(std::string(command.name) + " on " + input.name);
    TempFolder home("robust");
    const fs::path data = home / "data";
    const fs::path out = home / "out";
    fs::create_directories(data);
    fs::create_directories(out);
    const fs::path file = input.make(data);
    const auto before = snapshot(data);
    const std::string unreadableBefore = firstUnreadable(data);

    const OrvexRun run = runOrvex(home.path(), command.args(file, out));
    ASSERT_TRUE(run.exitCode == 0 || run.exitCode == 1) << run.shown();
    if (input.refused || (input.refusedByMeasuring && command.measures)) {
      EXPECT_EQ(run.exitCode, 1) << run.shown();
      EXPECT_TRUE(mentions(run, file)) << run.shown();
    }
    if (run.exitCode == 1) {
      EXPECT_FALSE(run.err.empty()) << run.shown();
    }
    if (const auto outcome = noFixesOutcome(input.name, command.name, file)) {
      EXPECT_EQ(run.exitCode, outcome->exitCode) << run.shown();
      const std::size_t lines = outcome->exitCode == 0 ? 1 : 2;
      EXPECT_EQ(lastLines(run.exitCode == 0 ? run.out : run.err, lines), outcome->closing) << run.shown();
    }
    // An in-place command that stops part-way by design keeps what it wrote before the stop.
    if (!command.inPlace) {
      EXPECT_EQ(changedFiles(before, snapshot(data)), "") << run.shown();
    }
    EXPECT_EQ(firstUnreadable(out), "") << run.shown();
    EXPECT_EQ(firstUnreadable(data), unreadableBefore) << run.shown();
    EXPECT_FALSE(editLeftovers(data)) << run.shown();
  }
}

INSTANTIATE_TEST_SUITE_P(Inputs, BadInputs, testing::ValuesIn(badInputs()),
                         [](const testing::TestParamInfo<BadInput>& param) {
                           return std::string(param.param.name);
                         });

// An output path that exists as a folder: refused, naming it, the folder untouched.
TEST(BadOutputs, AnOutputPathThatIsAFolderIsRefused) {
  TempFolder home("robust");
  const fs::path input = layer(home.path(), "fixes.shp", fixes(circleFixes(20)));
  fs::create_directories(home / "mcp_95.shp");
  const OrvexRun run =
      runOrvex(home.path(), {"--yes", "mcp", input, "--percent", "95", "--out", home / "mcp_{percent}.shp"});
  EXPECT_EQ(run.exitCode, 1) << run.shown();
  EXPECT_TRUE(run.out.find("mcp_95") != std::string::npos || run.err.find("mcp_95") != std::string::npos)
      << run.shown();
  EXPECT_TRUE(fs::is_directory(home / "mcp_95.shp"));
}

// Root ignores permissions, so the read-only folder is tried as an unprivileged user.
TEST(BadOutputs, AReadOnlyOutputFolderIsReportedWithNothingHalfWritten) {
  if (::geteuid() != 0 || !fs::exists("/usr/bin/setpriv"))
    GTEST_SKIP() << "needs root and setpriv to run orvex as an unprivileged user";
  TempFolder home("robust");
  fs::permissions(home.path(), fs::perms::all);  // the unprivileged run writes its registry here
  const fs::path input = layer(home.path(), "fixes.shp", fixes(circleFixes(20)));
  const fs::path out = home / "readonly";
  fs::create_directories(out);
  fs::permissions(out, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                           fs::perms::others_read | fs::perms::others_exec);
  const fs::path orvex = fs::path(ORVEX_BIN_DIR) / "orvex";
  for (const CommandLine& command : commandLines()) {
    if (command.inPlace) continue;
    SCOPED_TRACE(command.name);
    auto args = command.args(input, out);
    args.insert(args.begin(), {"--reuid=65534", "--regid=65534", "--clear-groups", orvex.string()});
    const OrvexRun run = runOrvex(home.path(), args, {}, "/usr/bin/setpriv");
    EXPECT_EQ(run.exitCode, 1) << run.shown();
    EXPECT_FALSE(run.err.empty()) << run.shown();
    EXPECT_TRUE(fs::is_empty(out)) << run.shown();
  }
}

}  // namespace
