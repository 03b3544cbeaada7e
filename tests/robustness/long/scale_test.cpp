// One animal of a million fixes through every command, each checked for plausible outputs, and
// in-place edits of 50,000 fixes killed at 32 points spread over their run. Labelled "long",
// and run only with ORVEX_LONG_TESTS=1 (ORVEX_LONG_FIXES sets another size for the first).

#include <cmath>
#include <cstdlib>
#include <functional>
#include <map>
#include <numbers>

#include "robustness/kill_support.h"
#include "support/scale_commands.h"

namespace {

namespace fs = std::filesystem;
using namespace orvex::test;

constexpr int kScaleFixes = 1000000;
constexpr int kKillFixes = 50000;
constexpr int kKillPoints = 32;
constexpr int kSwitchKillPoints = 16;
/// The fixes fill a disc of radius 3 km: no range or isopleth of them can be much larger.
constexpr double kDiscArea = std::numbers::pi * 3000.0 * 3000.0;

bool longTestsWanted() {
  const char* wanted = std::getenv("ORVEX_LONG_TESTS");
  return wanted != nullptr && std::string(wanted) == "1";
}

int scaleFixes() {
  const char* fixes = std::getenv("ORVEX_LONG_FIXES");
  return fixes != nullptr ? std::atoi(fixes) : kScaleFixes;
}

/// A shapefile opened with GDAL directly.
struct Layer {
  GDALDatasetUniquePtr dataset;
  OGRLayer* layer = nullptr;
  explicit Layer(const fs::path& shp)
      : dataset(GDALDataset::Open(shp.c_str(), GDAL_OF_VECTOR | GDAL_OF_READONLY)) {
    if (dataset) layer = dataset->GetLayer(0);
  }
  GIntBig count() const { return layer != nullptr ? layer->GetFeatureCount() : -1; }
  /// The area of the largest (multi)polygon, the widest of nested ranges; -1 when there is none.
  double largestArea() const {
    double largest = -1.0;
    if (layer == nullptr) return largest;
    for (auto& feature : *layer) {
      const OGRGeometry* g = feature->GetGeometryRef();
      const OGRwkbGeometryType type = g != nullptr ? wkbFlatten(g->getGeometryType()) : wkbUnknown;
      if (type == wkbPolygon) largest = std::max(largest, g->toPolygon()->get_Area());
      if (type == wkbMultiPolygon) largest = std::max(largest, g->toMultiPolygon()->get_Area());
    }
    return largest;
  }
};

/// The shapefiles under `folder` whose names contain `part`.
std::vector<fs::path> shapefilesIn(const fs::path& folder, const std::string& part) {
  std::vector<fs::path> found;
  for (const auto& entry : fs::recursive_directory_iterator(folder))
    if (entry.path().extension() == ".shp" &&
        entry.path().filename().string().find(part) != std::string::npos)
      found.push_back(entry.path());
  std::sort(found.begin(), found.end());
  return found;
}

/// Every polygon shapefile under `folder` named with `part`: at least `least` of them, the
/// widest range of each no larger than the disc the fixes fill (`slack` times: a smoothed one
/// reaches beyond it).
void expectRanges(const fs::path& folder, const std::string& part, std::size_t least, double slack) {
  const auto files = shapefilesIn(folder, part);
  EXPECT_GE(files.size(), least) << part;
  for (const fs::path& shp : files) {
    const double area = Layer(shp).largestArea();
    EXPECT_GT(area, 0.0) << shp;
    EXPECT_LT(area, slack * kDiscArea) << shp;
  }
}

bool holdsRaster(const fs::path& folder) {
  if (!fs::exists(folder)) return false;
  for (const auto& entry : fs::recursive_directory_iterator(folder))
    if (entry.path().extension() == ".tif") return true;
  return false;
}

/// What a finished run of each command must have left: `fixes` is the input, `out` the
/// output folder, `n` the number of fixes.
using Check = std::function<void(const fs::path& fixes, const fs::path& out, int n)>;

const std::map<std::string, Check>& checks() {
  static const std::map<std::string, Check> table{
      {"mcp", [](const fs::path&, const fs::path& out, int) { expectRanges(out, "mcp_", 1, 1.0); }},
      {"kde",
       [](const fs::path&, const fs::path& out, int) {
         EXPECT_TRUE(holdsRaster(out));
         expectRanges(out, "_iso_poly", 1, 2.0);
       }},
      {"kernel", [](const fs::path&, const fs::path& out, int) { expectRanges(out, "kernel_", 1, 2.0); }},
      {"bbmm", [](const fs::path&, const fs::path& out, int) { EXPECT_TRUE(holdsRaster(out / "bbmm")); }},
      {"locoh", [](const fs::path&, const fs::path& out, int) { expectRanges(out, "", 1, 1.0); }},
      {"travel",
       [](const fs::path& fixes, const fs::path&, int n) {
         const Layer layer(fixes);
         ASSERT_EQ(layer.count(), n);
         const OGRFeatureUniquePtr last(layer.layer->GetFeature(n - 1));
         ASSERT_TRUE(last);
         // The fixes are a minute apart: exact in the field's 15 decimals.
         EXPECT_EQ(last->GetFieldAsDouble("T_Cumul"), static_cast<double>(kScaleInterval) * (n - 1));
         EXPECT_GT(last->GetFieldAsDouble("Dist_Cumul"), 0.0);
       }},
      {"dedup-time",
       [](const fs::path& fixes, const fs::path&, int n) { EXPECT_EQ(Layer(fixes).count(), n); }},
      {"dedup-xy", [](const fs::path& fixes, const fs::path&,
                      int n) { EXPECT_EQ(Layer(fixes).count(), n - n / kScaleRepeatEvery); }},
      {"track",
       [](const fs::path&, const fs::path& out, int) { EXPECT_GE(Layer(out / "path.shp").count(), 1); }},
      {"import-movebank", [](const fs::path&, const fs::path& out,
                             int n) { EXPECT_EQ(Layer(out / "imported.shp").count(), n); }},
  };
  return table;
}

class Scale : public testing::TestWithParam<ScaleCommand> {
 protected:
  static void SetUpTestSuite() {
    if (!longTestsWanted()) return;
    home_ = std::make_unique<TempFolder>("scale");
    fs::create_directories(*home_ / "original");
    writeScaleFixes(*home_ / "original" / "fixes.shp", scaleFixes());
  }
  static void TearDownTestSuite() { home_.reset(); }
  static inline std::unique_ptr<TempFolder> home_;
};

TEST_P(Scale, OneAnimalOfAMillionFixes) {
  if (!longTestsWanted()) GTEST_SKIP() << "set ORVEX_LONG_TESTS=1 to run";
  const fs::path run = *home_ / GetParam().name;
  fs::create_directories(run / "out");
  for (const auto& entry : fs::directory_iterator(*home_ / "original"))
    fs::copy_file(entry.path(), run / entry.path().filename());
  std::vector<std::string> args{"--yes"};
  for (std::string& arg : scaleArgs(GetParam(), run / "fixes.shp", run / "out"))
    args.push_back(std::move(arg));
  const OrvexRun result = runOrvex(home_->path(), args);
  ASSERT_EQ(result.exitCode, 0) << result.shown();
  EXPECT_EQ(firstUnreadable(run), "");
  checks().at(GetParam().args.front())(run / "fixes.shp", run / "out", scaleFixes());
  fs::remove_all(run);
}

INSTANTIATE_TEST_SUITE_P(Commands, Scale, testing::ValuesIn(scaleCommands()),
                         [](const testing::TestParamInfo<ScaleCommand>& param) {
                           return std::string(param.param.name);
                         });

TEST(KilledLongEdits, Travel) { killAtPointsOf("travel", kKillFixes, kKillPoints, kSwitchKillPoints); }
TEST(KilledLongEdits, DedupTime) { killAtPointsOf("dedup-time", kKillFixes, kKillPoints, kSwitchKillPoints); }
TEST(KilledLongEdits, DedupXy) { killAtPointsOf("dedup-xy", kKillFixes, kKillPoints, kSwitchKillPoints); }

}  // namespace
